// pgs_stream_test.cpp: rows streamed through the cursor: block edges, the one-transaction rule,
// named queries, odd names and a whole sample database.
#include "pgs/pgs_exception.h"
#include "pgs/pgs_recordset.h"
#include "pgs_test_server.h"
#include "test_support.h"

#include <algorithm>
#include <cstdint>
#include <memory>
#if defined(__SANITIZE_ADDRESS__)
#include <sanitizer/lsan_interface.h>
#endif

#include <pqxx/connection>
#include <pqxx/nontransaction>
#include <string>
#include <string_view>
#include <typeinfo>
#include <utility>
#include <vector>

namespace
{

using pgs_test::server_test;

class PgsStream : public server_test
{
};

struct volume_case
{
    std::wstring table;
    std::int64_t rows;
};

struct block_case
{
    std::wstring table;
    std::int64_t rows;
    std::size_t largest_block;
};

// Blocks start at one row and grow while the rows are narrow; rows of a megabyte of text each
// (half a megabyte of bytea) come by no more than 32 MiB's worth, and a row wider than that alone.
TEST_F(PgsStream, BlocksAreBoundedByBytesAsWellAsRows)
{
    m_database->load_sql(R"(
        CREATE TABLE wide AS SELECT n AS id, decode(repeat('ab', 524288), 'hex') AS payload
            FROM generate_series(1, 150) AS n;
        CREATE TABLE narrow AS SELECT n AS id FROM generate_series(1, 30000) AS n;
        CREATE TABLE edges AS SELECT n AS id FROM generate_series(1, 97) AS n;
        CREATE TABLE huge AS SELECT n AS id, repeat('x', 33 << 20) AS payload
            FROM generate_series(1, 3) AS n;
    )");
    connect_engine();
    const auto database =
        m_engine->open_db(std::wstring(m_database->name().begin(), m_database->name().end()),
                          udb_open_mode::source, L"");
    const std::vector<block_case> cases = {
        // 32 MiB / (1 MiB + 2 of hex text + bookkeeping) = 31 rows.
        {L"public.wide", 150, 31},
        {L"public.narrow", 30000, pgs_recordset::block_rows},
        // Exactly the first three blocks (1, 32 and 64 rows): the fourth fetch finds nothing.
        {L"public.edges", 97, 64},
        {L"public.huge", 3, 1},
    };
    for (const block_case& entry : cases)
    {
        SCOPED_TRACE(std::string(entry.table.begin(), entry.table.end()));
        const auto recordset = database->get_table(entry.table, udb_table_mode::read_only);
        auto& rows = dynamic_cast<pgs_recordset&>(*recordset);
        std::int64_t count = 0;
        std::int64_t id_sum = 0;
        std::size_t largest = 0;
        rows.reset();
        EXPECT_EQ(rows.block_size(), static_cast<std::size_t>(pgs_recordset::first_block_rows));
        for (; !rows.is_eof(); rows.next())
        {
            largest = std::max(largest, rows.block_size());
            id_sum += (*rows.get_item())[0]->to_long();
            ++count;
        }
        EXPECT_EQ(count, entry.rows);
        EXPECT_EQ(id_sum, entry.rows * (entry.rows + 1) / 2);
        EXPECT_EQ(largest, entry.largest_block);
    }
}

// A taken row frees its block when it is the block's last (blocks of 1, 32 and 64 rows here):
// that row can be read no more, which fails loudly; any other row reads again as before, and
// every row still arrives once.
TEST_F(PgsStream, TakenLastRowOfABlockFreesTheBlock)
{
    m_database->load_sql("CREATE TABLE edges AS SELECT n AS id FROM generate_series(1, 97) AS n;");
    connect_engine();
    const auto database =
        m_engine->open_db(std::wstring(m_database->name().begin(), m_database->name().end()),
                          udb_open_mode::source, L"");
    const auto recordset = database->get_table(L"public.edges", udb_table_mode::read_only);
    auto& rows = dynamic_cast<pgs_recordset&>(*recordset);
    const std::vector<std::int64_t> last_of_blocks{1, 33, 97};
    std::int64_t id_sum = 0;
    std::vector<std::int64_t> freed;
    for (rows.reset(); !rows.is_eof(); rows.next())
    {
        const std::int64_t id = (*rows.get_item())[0]->to_long();
        id_sum += id;
        rows.row_taken();
        try
        {
            EXPECT_EQ((*rows.get_item())[0]->to_long(), id);
        }
        catch (const tk_exception&)
        {
            freed.push_back(id);
        }
    }
    EXPECT_EQ(id_sum, 97 * 98 / 2);
    EXPECT_EQ(freed, last_of_blocks);
}

TEST_F(PgsStream, EveryRowArrivesOnceAcrossBlockEdges)
{
    const std::vector<volume_case> cases = {
        {L"public.rows_0", 0},         {L"public.rows_1", 1},         {L"public.rows_9999", 9999},
        {L"public.rows_10000", 10000}, {L"public.rows_10001", 10001}, {L"public.rows_20001", 20001},
    };
    const auto database = open_fixture("pgs_volume.sql");
    for (const volume_case& entry : cases)
    {
        SCOPED_TRACE(entry.rows);
        const auto recordset = database->get_table(entry.table, udb_table_mode::read_only);
        EXPECT_EQ(recordset->record_count(), entry.rows);
        recordset->reset();
        std::int64_t count = 0;
        std::int64_t id_sum = 0;
        while (!recordset->is_eof())
        {
            const udb_record* record = recordset->get_item();
            ASSERT_NE(record, nullptr);
            ASSERT_EQ(record->size(), 2u);
            id_sum += (*record)[0]->to_long();
            ++count;
            recordset->next();
        }
        EXPECT_EQ(count, entry.rows);
        EXPECT_EQ(id_sum, entry.rows * (entry.rows + 1) / 2);
        EXPECT_EQ(recordset->get_item(), nullptr);
        recordset->next(); // past the end: stays at the end
        EXPECT_TRUE(recordset->is_eof());
    }
}

TEST_F(PgsStream, ReadingHoldsTheConnectionsOnlyTransaction)
{
    const auto database = open_fixture("pgs_volume.sql");
    auto reading = database->get_table(L"public.rows_20001", udb_table_mode::read_only);
    reading->reset();
    EXPECT_THROW(database->get_table(L"public.rows_1", udb_table_mode::read_only), pgs_exception);
    reading.reset();
    const auto after = database->get_table(L"public.rows_1", udb_table_mode::read_only);
    EXPECT_EQ(after->record_count(), 1);
}

TEST_F(PgsStream, EachGetItemBuildsAFreshRecord)
{
    const auto database = open_fixture("pgs_volume.sql");
    const auto recordset = database->get_table(L"public.rows_1", udb_table_mode::read_only);
    EXPECT_EQ(recordset->get_item(), nullptr); // nothing is read before reset()
    recordset->reset();
    const udb_record* first = recordset->get_item();
    const udb_record copy = *first;
    const udb_record* second = recordset->get_item();
    EXPECT_NE(first, second);
    ASSERT_EQ(second->size(), 2u);
    EXPECT_EQ((*second)[1]->to_wstring(), L"row 1");
    EXPECT_EQ(copy[1]->to_wstring(), L"row 1");
}

struct pool_case
{
    const char* label;
    // What the writer gives back before each row is read.
    udb_record (*given)();
    bool fields_reused;
};

udb_record stored_row()
{
    udb_record record;
    record.add_field(std::make_unique<udb_field>(L"other name", 99, ole_variant(5), true, true));
    record.add_field(std::make_unique<udb_field>(L"x", 1, ole_variant(L"old"), true, false));
    return record;
}

// A side's own field: the reader does not fill it as a plain one.
class engine_field : public udb_field
{
public:
    using udb_field::udb_field;
    std::unique_ptr<udb_field> clone() const override
    {
        return std::make_unique<engine_field>(*this);
    }
};

udb_record engine_row()
{
    udb_record record = stored_row();
    record[1] = std::make_unique<engine_field>(L"x", 1, ole_variant(L"old"), false, false);
    return record;
}

udb_record short_row()
{
    udb_record record = stored_row();
    record.pop_back();
    return record;
}

// Fields kept from rows a writer stored are filled again only when they fit the columns, and
// then hold exactly what new ones would.
TEST_F(PgsStream, RecordsFromThePoolAreFilledLikeNewOnes)
{
    const std::vector<pool_case> cases = {
        {"stored rows", stored_row, true},
        {"a field of a side's own", engine_row, false},
        {"too few fields", short_row, false},
    };
    const auto database = open_fixture("pgs_volume.sql");
    for (const pool_case& entry : cases)
    {
        SCOPED_TRACE(entry.label);
        std::vector<udb_record> expected;
        {
            // One reading recordset at a time: the connection has one transaction.
            const auto fresh = database->get_table(L"public.rows_10001", udb_table_mode::read_only);
            fresh->reset();
            while (!fresh->is_eof())
            {
                expected.push_back(*fresh->get_item());
                fresh->next();
            }
        }
        const auto pooled = database->get_table(L"public.rows_10001", udb_table_mode::read_only);
        const auto pool = std::make_shared<udb_record_pool>(4);
        pooled->set_record_pool(pool);
        pooled->reset();
        std::size_t row = 0;
        while (!pooled->is_eof())
        {
            pool->give(entry.given());
            udb_record given;
            ASSERT_TRUE(pool->take(given));
            const udb_field* first_given = given[0].get();
            pool->give(std::move(given));
            udb_record& record = *pooled->get_item();
            EXPECT_EQ(pool->size(), 0u);
            ASSERT_LT(row, expected.size());
            ASSERT_EQ(record.size(), expected[row].size());
            if (entry.fields_reused)
            {
                // Only this way round: a field made anew may take the address just freed.
                EXPECT_EQ(record[0].get(), first_given);
            }
            for (std::size_t position = 0; position < record.size(); ++position)
            {
                const udb_field& got = *record[position];
                const udb_field& want = *expected[row][position];
                EXPECT_EQ(typeid(got), typeid(udb_field));
                EXPECT_EQ(got.name(), want.name());
                EXPECT_EQ(got.size(), want.size());
                EXPECT_EQ(got.is_not_null(), want.is_not_null());
                EXPECT_EQ(got.is_auto_num(), want.is_auto_num());
                EXPECT_EQ(got.get_type(), want.get_type());
                EXPECT_EQ(got.to_wstring(), want.to_wstring());
            }
            // As the writer does: it takes the row's fields.
            udb_record taken(std::move(record));
            pooled->next();
            ++row;
        }
        EXPECT_EQ(row, expected.size());
    }
}

TEST_F(PgsStream, QuotesAndBlanksInTableAndColumnNames)
{
    const auto database = open_fixture("pgs_catalog.sql");
    auto items = database->get_table(L"Sales.Order Items", udb_table_mode::read_only);
    items->reset();
    ASSERT_FALSE(items->is_eof());
    const udb_record& first = *items->get_item();
    EXPECT_EQ(first.get_field(L"Qty").to_long(), 3);
    EXPECT_EQ(first.get_field(L"O'Name").to_wstring(), L"Tea");
    EXPECT_EQ(first.get_field(L"Order Date").to_wstring(), L"2021-03-04 05:06:07.089");
    EXPECT_EQ(first.get_field(L"Price").to_wstring(), L"12.5");
    items.reset(); // the connection's transaction is free again

    const auto quoted = database->get_table(L"Sales.O'Name", udb_table_mode::read_only);
    ASSERT_EQ(quoted->schema().size(), 2u);
    EXPECT_EQ(quoted->schema()[1]->name, L"Say \"hi\"");
    quoted->reset();
    ASSERT_FALSE(quoted->is_eof());
    EXPECT_EQ(quoted->get_item()->get_field(L"Say \"hi\"").to_wstring(), L"quote \"this\"");
}

TEST_F(PgsStream, InheritanceChildrenAreReadAsTheirOwnTables)
{
    m_database->execute("CREATE TABLE base (id integer); CREATE TABLE derived () INHERITS (base);"
                        " INSERT INTO base VALUES (1); INSERT INTO derived VALUES (2), (3);");
    connect_engine();
    const auto database = m_engine->open_db(
        std::wstring(m_database->name().begin(), m_database->name().end()), 1, L"public");
    EXPECT_EQ(database->get_table(L"public.base", udb_table_mode::read_only)->record_count(), 1);
    EXPECT_EQ(database->get_table(L"public.derived", udb_table_mode::read_only)->record_count(), 2);
}

TEST_F(PgsStream, TableWithoutColumnsStillCountsAndStreamsItsRows)
{
    m_database->execute("CREATE TABLE no_columns (); INSERT INTO no_columns DEFAULT VALUES;"
                        " INSERT INTO no_columns DEFAULT VALUES;");
    connect_engine();
    const auto database = m_engine->open_db(
        std::wstring(m_database->name().begin(), m_database->name().end()), 1, L"public");
    const auto recordset = database->get_table(L"public.no_columns", udb_table_mode::read_only);
    EXPECT_TRUE(recordset->schema().empty());
    EXPECT_EQ(recordset->record_count(), 2);
    recordset->reset();
    int rows = 0;
    for (; !recordset->is_eof(); recordset->next())
    {
        EXPECT_TRUE(recordset->get_item()->empty());
        ++rows;
    }
    EXPECT_EQ(rows, 2);
}

TEST_F(PgsStream, NamedQueryStreamsItsRowsWithItsColumnTypes)
{
    const auto database = open_fixture("pgs_catalog.sql");
    const auto query = database->get_query(
        L"priced items",
        L"SELECT \"Qty\", \"Price\", \"Order Date\", \"Qty\" * 2 AS \"Qty\", true AS flag"
        L" FROM \"Sales\".\"Order Items\" ORDER BY \"Item Id\";  ",
        udb_open_mode::source);
    EXPECT_TRUE(query->is_query());
    EXPECT_EQ(query->record_count(), 2);
    ASSERT_EQ(query->schema().size(), 5u);
    EXPECT_EQ(query->schema()[1]->vartype, VT_DECIMAL);
    EXPECT_EQ(query->schema()[1]->dw_reserved, (12 << 8) | 2);
    EXPECT_EQ(query->schema()[2]->vartype, VT_DATE);
    EXPECT_EQ(query->schema()[4]->vartype, VT_BOOL);
    query->reset();
    std::vector<std::wstring> texts;
    for (; !query->is_eof(); query->next())
    {
        for (const auto& field : *query->get_item())
        {
            texts.push_back(field->name() + L"=" + field->to_wstring());
        }
    }
    EXPECT_EQ(texts, (std::vector<std::wstring>{
                         L"Qty=3", L"Price=12.5", L"Order Date=2021-03-04 05:06:07.089", L"Qty=6",
                         L"flag=1", L"Qty=1", L"Price=", L"Order Date=", L"Qty=2", L"flag=1"}));
}

TEST_F(PgsStream, FailingNamedQueryIsAnErrorNotZeroRows)
{
    const auto database = open_fixture("pgs_catalog.sql");
    try
    {
        database->get_query(L"broken", L"SELECT nosuch FROM public.parent", 1);
        ADD_FAILURE() << "get_query did not fail";
    }
    catch (const pgs_exception& error)
    {
        EXPECT_EQ(std::string(error.what()).substr(0, 64),
                  "Cannot read the query 'broken': ERROR:  column \"nosuch\" does not");
    }
}

TEST_F(PgsStream, LostConnectionFailsNextAndTheDestructorStaysQuiet)
{
    const auto database = open_fixture("pgs_volume.sql");
    auto recordset = database->get_table(L"public.rows_20001", udb_table_mode::read_only);
    recordset->reset();
    {
        pqxx::connection admin(pgs_test::conninfo(m_settings, "postgres"));
        pqxx::nontransaction work(admin);
        work.exec("SELECT pg_terminate_backend(pid) FROM pg_stat_activity WHERE datname = " +
                  work.quote(m_database->name()));
    }
#if defined(__SANITIZE_ADDRESS__)
    // libpqxx 6.4 drops the PGresult of a fetch that fails on a lost connection.
    __lsan::ScopedDisabler library_leak;
#endif
    // The block after the one in hand may have left the server already; a later one cannot.
    EXPECT_THROW(
        {
            for (int row = 0; row < 20001; ++row)
            {
                recordset->next();
            }
        },
        pgs_exception);
    recordset.reset();
}

// The rows of a dump: the lines between each "COPY ... FROM stdin;" and its "\\.".
std::int64_t dump_rows(const std::string& dump)
{
    std::int64_t rows = 0;
    bool in_copy = false;
    std::size_t start = 0;
    while (start < dump.size())
    {
        std::size_t end = dump.find('\n', start);
        end = end == std::string::npos ? dump.size() : end;
        const std::string_view line(dump.data() + start, end - start);
        if (in_copy)
        {
            in_copy = line != "\\.";
            rows += in_copy ? 1 : 0;
        }
        else
        {
            in_copy = line.starts_with("COPY ") && line.ends_with(" FROM stdin;");
        }
        start = end + 1;
    }
    return rows;
}

TEST_F(PgsStream, SampleDatabaseOpensEveryTableAndStreamsEveryRow)
{
    const std::string data = test_support::read_file(pgs_test::pagila_dir() / "pagila-data.sql");
    m_database->load_file(pgs_test::pagila_dir() / "pagila-schema.sql");
    m_database->load_sql(data);
    connect_engine();
    const auto database = m_engine->open_db(
        std::wstring(m_database->name().begin(), m_database->name().end()), 1, L"");
    const std::vector<std::wstring> tables = database->get_tables();
    EXPECT_EQ(tables.size(), 15u);
    std::int64_t total = 0;
    for (const std::wstring& table : tables)
    {
        SCOPED_TRACE(std::string(table.begin(), table.end()));
        const auto recordset = database->get_table(table, udb_table_mode::read_only);
        recordset->reset();
        std::int32_t rows = 0;
        for (; !recordset->is_eof(); recordset->next())
        {
            ASSERT_EQ(recordset->get_item()->size(), recordset->schema().size());
            ++rows;
        }
        EXPECT_EQ(rows, recordset->record_count());
        total += rows;
    }
    // The partitions of payment are not listed: their rows arrive once, through payment.
    EXPECT_EQ(total, dump_rows(data));
}

} // namespace
