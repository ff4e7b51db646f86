// mss_table_server_test.cpp: the table writer through real drivers: against the SQL Server that
// ZOV_TEST_MSSQL names ("server;user;password"), 10001 rows by the engine's loading path, 100 by
// INSERT statements into the reopened table, one update by key and every value read back; and an
// update by key through SQLite ODBC (the other statements of the writer are T-SQL).
#include "mss/mss_database.h"
#include "mss/mss_engine.h"
#include "mss/mss_table.h"
#include "mss/mss_table_hook.h"
#include "mss/odb_command.h"
#include "mss/odb_exception.h"
#include "mss_server_fixture.h"
#include "plat/oledb/odbc_link.h"
#include "plat/oledb/oledb_providers.h"
#include "plat/plat_text.h"
#include "test_support.h"

#include <cstdlib>
#include <gtest/gtest.h>
#include <optional>
#include <unistd.h>

namespace
{

using test_support::mssql_login;

t_ftd column(const wchar_t* name, VARTYPE vt, int size, std::int32_t reserved = 0,
             bool auto_num = false)
{
    return t_ftd(size, name, vt, false, auto_num, ole_variant(), reserved, L"");
}

const std::wstring null_text = L"<null>";

std::wstring text_of(const udb_field& field)
{
    return field.get_type() == VT_NULL || field.get_type() == VT_EMPTY ? null_text
                                                                       : field.to_wstring();
}

std::vector<std::uint8_t> bytes_of(int id)
{
    std::vector<std::uint8_t> bytes(id % 1000 == 0 ? 9000 : 3);
    for (std::size_t byte_idx = 0; byte_idx < bytes.size(); ++byte_idx)
    {
        bytes[byte_idx] = static_cast<std::uint8_t>((id + byte_idx * 7) & 0xFF);
    }
    return bytes;
}

// The row of one id, with NULLs, long values, an early date and Unicode text among them.
udb_record row_of(int id, const std::wstring& name_override = L"")
{
    udb_record record;
    const auto add = [&record](const wchar_t* name, const ole_variant& value)
    { record.add_field(std::make_unique<udb_field>(name, 0, value, false, false)); };
    ole_variant null_value;
    null_value.value.vt = VT_NULL;
    const std::wstring name = !name_override.empty() ? name_override
                              : id % 97 == 0         ? std::wstring()
                                                     : L"név ÆØÅ " + std::to_wstring(id);
    add(L"id", ole_variant(id));
    add(L"name", name.empty() ? null_value : ole_variant(name));
    add(L"big", ole_variant(9007199254740993LL + id));
    add(L"small", ole_variant(static_cast<short>(id % 30000 - 15000)));
    add(L"ratio", ole_variant(id + 0.5));
    CY price{};
    price.int64 = id * 10000LL + 1234;
    add(L"price", ole_variant(price));
    add(L"amount", ole_variant(std::to_wstring(id) + L".5", VT_DECIMAL));
    add(L"flag", ole_variant(id % 2 == 1));
    SYSTEMTIME created{};
    created.wYear = 2001;
    created.wMonth = 2;
    created.wDay = static_cast<std::uint16_t>(1 + id % 28);
    created.wHour = 4;
    created.wMinute = 5;
    created.wSecond = 6;
    created.wMilliseconds = 123;
    add(L"created", ole_variant(created));
    SYSTEMTIME born{};
    born.wYear = id % 500 == 0 ? 1500 : 2020;
    born.wMonth = 6;
    born.wDay = static_cast<std::uint16_t>(1 + id % 28);
    add(L"born", ole_variant(born));
    const std::wstring notes =
        id % 1000 == 0 ? std::wstring(5000, L'ß') : L"note " + std::to_wstring(id);
    add(L"notes", id % 3 == 0 ? null_value : ole_variant(notes));
    const std::vector<std::uint8_t> data = bytes_of(id);
    add(L"data", ole_variant(data.size(), data.data()));
    return record;
}

std::vector<std::wstring> expected_row(int id, const std::wstring& name_override = L"")
{
    const udb_record record = row_of(id, name_override);
    wchar_t day[3];
    std::swprintf(day, 3, L"%02d", 1 + id % 28);
    return {std::to_wstring(id),
            text_of(*record[1]),
            std::to_wstring(9007199254740993LL + id),
            std::to_wstring(id % 30000 - 15000),
            std::to_wstring(2 * id + 1),
            std::to_wstring(id * 10000LL + 1234),
            std::to_wstring(10LL * id + 5),
            id % 2 == 1 ? L"1" : L"0",
            std::wstring(L"2001-02-") + day + L" 04:05:06.123",
            (id % 500 == 0 ? L"1500-06-" : L"2020-06-") + std::wstring(day),
            text_of(*record[10]),
            record[11]->to_wstring()};
}

class SqlServerWriter : public mss_server_fixture
{
protected:
    SqlServerWriter()
        : mss_server_fixture(L"zov_writer_")
    {
    }

    void append(udb_recordset& writer, int first, int last)
    {
        writer.set_row_failure_handler(
            [this](udb_record&, std::int64_t number, const tk_exception& error)
            { m_failures.push_back(std::to_string(number) + ": " + error.what()); });
        for (int id = first; id <= last; ++id)
        {
            udb_record record = row_of(id);
            writer.append_record(record);
        }
        writer.flush();
    }

    std::vector<std::string> m_failures;
};

TEST_F(SqlServerWriter, RowsByBothPathsAnUpdateByKeyAndEveryValueReadBack)
{
    const std::vector<t_ftd> columns{
        column(L"id", VT_I4, 0, 0, true),
        column(L"name", VT_BSTR, 40),
        column(L"big", VT_I8, 0),
        column(L"small", VT_I2, 0),
        column(L"ratio", VT_R8, 0),
        column(L"price", VT_CY, 0),
        column(L"amount", VT_DECIMAL, 0, t_ftd::make_precision_scale(18, 4)),
        column(L"flag", VT_BOOL, 0),
        column(L"created", VT_DATE, 0, 1),
        column(L"born", VT_DATE, 0, t_ftd::date_only),
        column(L"notes", VT_BSTR, 0),
        column(L"data", VT_BLOB, 0)};
    udb_schema schema;
    for (const t_ftd& entry : columns)
    {
        schema.adopt(entry.clone());
    }
    udb_indexes indexes;
    indexes.push_back(udb_index(L"PK_writer", true, true, {L"id"}));
    const std::wstring table = L"[dbo].[writer]";
    const int loaded = 10001;
    {
        std::unique_ptr<mss_database> database = m_engine.create_db(m_name);
        std::unique_ptr<udb_recordset> writer = database->create_table(table, schema, indexes);
        append(*writer, 1, loaded);
    }
    EXPECT_EQ(m_failures, std::vector<std::string>{});

    // A run in append mode reopens the table; these rows go by INSERT statements.
    m_engine.set_fast_load(false);
    std::unique_ptr<mss_database> database = m_engine.open_db(m_name, udb_open_mode::append);
    std::unique_ptr<odb_recordset> version = database->open_query(L"SELECT @@VERSION");
    version->reset();
    const bool babelfish = !version->is_eof() && version->get_item()->at(0)->to_wstring().find(
                                                     L"Babelfish") != std::wstring::npos;
    std::unique_ptr<udb_recordset> reopened = database->create_table(table, schema, indexes);
    ASSERT_GE(reopened->key_index(), 0);
    if (!babelfish)
    {
        EXPECT_TRUE(dynamic_cast<const mss_table&>(*reopened).has_identity());
        append(*reopened, loaded + 1, loaded + 100);
    }
    else
    {
        // Babelfish's sp_columns reports an identity column's type without "identity", so the
        // reopened writer cannot know it: the rows go through the writer of a created table.
        std::unique_ptr<odb_table> writer =
            mss_new_table_writer(table, database->session(), schema, *database);
        append(*writer, loaded + 1, loaded + 100);
    }
    EXPECT_EQ(m_failures, std::vector<std::string>{});
    udb_record changed = row_of(77, L"geändert");
    reopened->convert_record(changed);
    reopened->update(changed);
    reopened.reset();

    std::unique_ptr<odb_recordset> rows = database->open_query(
        L"SELECT id, name, big, small, CAST(ratio * 2 AS bigint), CAST(price * 10000 AS bigint), "
        L"CAST(amount * 10 AS bigint), CAST(flag AS int), CONVERT(nvarchar(23), created, 121), "
        L"CONVERT(nvarchar(10), born, 23), notes, data FROM [dbo].[writer] ORDER BY id");
    int id = 0;
    for (rows->reset(); !rows->is_eof(); rows->next())
    {
        ++id;
        std::vector<std::wstring> values;
        for (const std::unique_ptr<udb_field>& field : *rows->get_item())
        {
            values.push_back(text_of(*field));
        }
        const std::vector<std::wstring> expected =
            id == 77 ? expected_row(id, L"geändert") : expected_row(id);
        ASSERT_EQ(values, expected) << "row " << id;
    }
    EXPECT_EQ(id, loaded + 100);
}

// A source t(id, first, last) merged into an existing t(id, last, first, note): every value lands
// in the column of its name, and the column the source lacks keeps its default.
TEST_F(SqlServerWriter, MergeIntoATableWhoseColumnsStandInAnotherOrder)
{
    {
        std::unique_ptr<mss_database> created = m_engine.create_db(m_name);
        odb_command command(created->session());
        command.execute(L"CREATE TABLE [dbo].[people] (id int NOT NULL PRIMARY KEY, last "
                        L"nvarchar(20) NULL, first nvarchar(20) NULL, note nvarchar(10) NULL "
                        L"DEFAULT 'none')");
    }
    udb_schema schema;
    schema.adopt(column(L"id", VT_I4, 0).clone());
    schema.adopt(column(L"first", VT_BSTR, 20).clone());
    schema.adopt(column(L"last", VT_BSTR, 20).clone());
    std::unique_ptr<mss_database> database = m_engine.open_db(m_name, udb_open_mode::append);
    {
        std::unique_ptr<udb_recordset> writer =
            database->create_table(L"[dbo].[people]", schema, udb_indexes());
        writer->set_row_failure_handler(
            [this](udb_record&, std::int64_t number, const tk_exception& error)
            { m_failures.push_back(std::to_string(number) + ": " + error.what()); });
        for (int id = 1; id <= 3; ++id)
        {
            udb_record record;
            record.add_field(std::make_unique<udb_field>(L"id", 0, ole_variant(id), false, false));
            record.add_field(std::make_unique<udb_field>(
                L"first", 0, ole_variant(L"First" + std::to_wstring(id)), false, false));
            record.add_field(std::make_unique<udb_field>(
                L"last", 0, ole_variant(L"Last" + std::to_wstring(id)), false, false));
            writer->append_record(record);
        }
        writer->flush();
    }
    EXPECT_EQ(m_failures, std::vector<std::string>{});
    std::unique_ptr<odb_recordset> rows =
        database->open_query(L"SELECT id, first, last, note FROM [dbo].[people] ORDER BY id");
    std::vector<std::wstring> seen;
    for (rows->reset(); !rows->is_eof(); rows->next())
    {
        std::wstring line;
        for (const std::unique_ptr<udb_field>& field : *rows->get_item())
        {
            line += (line.empty() ? L"" : L"|") + text_of(*field);
        }
        seen.push_back(line);
    }
    EXPECT_EQ(seen, (std::vector<std::wstring>{L"1|First1|Last1|none", L"2|First2|Last2|none",
                                               L"3|First3|Last3|none"}));
}

// Row 1250 repeats the key of row 1: its batch is rolled back and written again, the other
// 2,499 rows land and the one is reported with its number.
TEST_F(SqlServerWriter, BadRowInTheMiddleOfABulkLoadIsReportedAndTheRestLand)
{
    udb_schema schema;
    schema.adopt(column(L"id", VT_I4, 0).clone());
    schema.adopt(column(L"label", VT_BSTR, 20).clone());
    udb_indexes indexes;
    indexes.push_back(udb_index(L"PK_bulk", true, true, {L"id"}));
    std::unique_ptr<mss_database> database = m_engine.create_db(m_name);
    {
        std::unique_ptr<udb_recordset> writer =
            database->create_table(L"[dbo].[bulk]", schema, indexes);
        writer->set_row_failure_handler(
            [this](udb_record&, std::int64_t number, const tk_exception&)
            { m_failures.push_back(std::to_string(number)); });
        for (int number = 1; number <= 2500; ++number)
        {
            const int id = number == 1250 ? 1 : number;
            udb_record record;
            record.add_field(std::make_unique<udb_field>(L"id", 0, ole_variant(id), false, false));
            record.add_field(std::make_unique<udb_field>(
                L"label", 0, ole_variant(L"row " + std::to_wstring(number)), false, false));
            writer->set_next_row_number(number);
            writer->append_record(record);
        }
        writer->flush();
        EXPECT_EQ(dynamic_cast<const mss_table&>(*writer).rows_written(), 2499);
    }
    EXPECT_EQ(m_failures, std::vector<std::string>{"1250"});
    std::unique_ptr<odb_recordset> rows = database->open_query(
        L"SELECT COUNT(*), SUM(CAST(id AS bigint)) FROM [dbo].[bulk] WHERE label <> 'row 1250'");
    rows->reset();
    ASSERT_FALSE(rows->is_eof());
    EXPECT_EQ(rows->get_item()->at(0)->to_wstring(), L"2499");
    EXPECT_EQ(rows->get_item()->at(1)->to_wstring(), std::to_wstring(2500LL * 2501 / 2 - 1250));
}

// A NULL of the source stays NULL in a column that has a default, by the bulk load (which
// would otherwise store the default in its place) and by INSERT statements alike; a value
// stays the value.
TEST_F(SqlServerWriter, NullInAColumnWithADefaultArrivesAsNull)
{
    udb_schema schema;
    schema.adopt(column(L"id", VT_I4, 0).clone());
    schema.adopt(
        t_ftd(20, L"label", VT_BSTR, false, false, ole_variant(L"fallback"), 0, L"").clone());
    schema.adopt(t_ftd(0, L"amount", VT_DECIMAL, false, false, ole_variant(L"12.5"),
                       t_ftd::make_precision_scale(10, 2), L"")
                     .clone());
    std::unique_ptr<mss_database> database = m_engine.create_db(m_name);
    const auto load = [&](mss_database& target, int first)
    {
        std::unique_ptr<udb_recordset> writer =
            target.create_table(L"[dbo].[defaults]", schema, udb_indexes());
        writer->set_row_failure_handler(
            [this](udb_record&, std::int64_t number, const tk_exception& error)
            { m_failures.push_back(std::to_string(number) + ": " + error.what()); });
        ole_variant null_value;
        null_value.value.vt = VT_NULL;
        for (int id = first; id < first + 2; ++id)
        {
            const bool null_row = id % 2 == 1;
            udb_record record;
            record.add_field(std::make_unique<udb_field>(L"id", 0, ole_variant(id), false, false));
            record.add_field(std::make_unique<udb_field>(
                L"label", 0, null_row ? null_value : ole_variant(L"given"), false, false));
            record.add_field(std::make_unique<udb_field>(
                L"amount", 0, null_row ? null_value : ole_variant(L"3.25", VT_DECIMAL), false,
                false));
            writer->append_record(record);
        }
        writer->flush();
    };
    load(*database, 1);
    // Reopened as a run in append mode does, without fast load: INSERT statements.
    m_engine.set_fast_load(false);
    std::unique_ptr<mss_database> reopened = m_engine.open_db(m_name, udb_open_mode::append);
    load(*reopened, 3);
    EXPECT_EQ(m_failures, std::vector<std::string>{});
    std::unique_ptr<odb_recordset> rows =
        reopened->open_query(L"SELECT id, label, amount FROM [dbo].[defaults] ORDER BY id");
    std::vector<std::vector<std::wstring>> got;
    for (rows->reset(); !rows->is_eof(); rows->next())
    {
        udb_record& record = *rows->get_item();
        got.push_back({text_of(*record[0]), text_of(*record[1]), text_of(*record[2])});
    }
    EXPECT_EQ(got, (std::vector<std::vector<std::wstring>>{{L"1", null_text, null_text},
                                                           {L"2", L"given", L"3.25"},
                                                           {L"3", null_text, null_text},
                                                           {L"4", L"given", L"3.25"}}));
}

// Values at the edges of their kinds through the bulk load and back: text outside the BMP,
// empty text and NULL apart, decimals at the limits of their precision (beyond 96 bits too),
// binary with zero bytes and empty binary.
TEST_F(SqlServerWriter, EdgeValuesArriveExactThroughTheBulkLoad)
{
    udb_schema schema;
    schema.adopt(column(L"id", VT_I4, 0).clone());
    schema.adopt(column(L"label", VT_BSTR, 40).clone());
    schema.adopt(column(L"notes", VT_BSTR, 0).clone());
    schema.adopt(column(L"small", VT_DECIMAL, 0, t_ftd::make_precision_scale(12, 2)).clone());
    schema.adopt(column(L"large", VT_DECIMAL, 0, t_ftd::make_precision_scale(38, 2)).clone());
    schema.adopt(column(L"data", VT_BLOB, 0).clone());
    udb_indexes indexes;
    indexes.push_back(udb_index(L"PK_edges", true, true, {L"id"}));
    ole_variant null_value;
    null_value.value.vt = VT_NULL;
    const std::wstring smile = L"\U0001F600";
    const std::vector<std::uint8_t> zero_bytes{0x00, 0x41, 0x00};
    const std::vector<std::uint8_t> no_bytes;
    struct edge_row
    {
        ole_variant label;
        ole_variant notes;
        const char* small;
        const char* large;
        ole_variant data;
    };
    const std::vector<edge_row> given{
        {ole_variant(L"a" + smile + L"b\u00e9"), ole_variant(smile + std::wstring(100, L'x')),
         "9999999999.99", "999999999999999999999999999999999999.99",
         ole_variant(zero_bytes.size(), zero_bytes.data())},
        {ole_variant(L""), ole_variant(L""), "-9999999999.99",
         "-123456789012345678901234567890123456.78", ole_variant(no_bytes.size(), no_bytes.data())},
        {null_value, null_value, "0.01", "-0.01", null_value}};
    std::unique_ptr<mss_database> database = m_engine.create_db(m_name);
    {
        std::unique_ptr<udb_recordset> writer =
            database->create_table(L"[dbo].[edges]", schema, indexes);
        writer->set_row_failure_handler(
            [this](udb_record&, std::int64_t number, const tk_exception& error)
            { m_failures.push_back(std::to_string(number) + ": " + error.what()); });
        for (std::size_t row_idx = 0; row_idx < given.size(); ++row_idx)
        {
            const edge_row& row = given[row_idx];
            udb_record record;
            const auto add = [&record](const wchar_t* name, const ole_variant& value)
            { record.add_field(std::make_unique<udb_field>(name, 0, value, false, false)); };
            add(L"id", ole_variant(static_cast<int>(row_idx + 1)));
            add(L"label", row.label);
            add(L"notes", row.notes);
            ole_variant small;
            ASSERT_TRUE(small.set_decimal_text(row.small));
            add(L"small", small);
            ole_variant large;
            ASSERT_TRUE(large.set_decimal_text(row.large));
            add(L"large", large);
            add(L"data", row.data);
            writer->append_record(record);
        }
        writer->flush();
    }
    EXPECT_EQ(m_failures, std::vector<std::string>{});
    std::unique_ptr<odb_recordset> rows = database->open_query(
        L"SELECT label, notes, CAST(small AS nvarchar(50)), CAST(large AS nvarchar(50)), data "
        L"FROM [dbo].[edges] ORDER BY id");
    std::size_t row_idx = 0;
    for (rows->reset(); !rows->is_eof(); rows->next(), ++row_idx)
    {
        ASSERT_LT(row_idx, given.size());
        const edge_row& row = given[row_idx];
        std::vector<std::wstring> values;
        for (const std::unique_ptr<udb_field>& field : *rows->get_item())
        {
            values.push_back(text_of(*field));
        }
        const auto text = [](const ole_variant& value)
        { return value.get_type() == VT_NULL ? null_text : value.to_wstring(); };
        EXPECT_EQ(values, (std::vector<std::wstring>{
                              text(row.label), text(row.notes), plat::utf8_to_wide_lossy(row.small),
                              plat::utf8_to_wide_lossy(row.large), text(row.data)}))
            << "row " << row_idx + 1;
    }
    EXPECT_EQ(row_idx, given.size());
}

// Through SQLite ODBC: the UPDATE statement by key, one that finds no row of its key, and a
// record of its key alone whose row exists.
TEST(SqliteWriter, UpdateByKeyRewritesTheRow)
{
    if (!plat::oledb::odbc_driver_installed(plat::oledb::make_odbc_environment(), L"SQLite3"))
    {
        GTEST_SKIP() << "the ODBC driver \"SQLite3\" is not registered with unixODBC "
                        "(scripts/setup installs it)";
    }
    test_support::temp_dir dir;
    test_support::scoped_env drivers("ZOV_ODBC_DRIVERS", "SQLite3");
    plat::oledb::class_table table;
    plat::oledb::register_providers(table);
    mss_engine engine{true};
    engine.set_unicode(false);
    ole_com_ptr<IDBInitialize> source;
    engine.initializer().test_connection(source, plat::utf8_to_wide_lossy(dir.file("w.db")), L"",
                                         L"", L"");
    ole_com_ptr<IDBCreateSession> create;
    odb_check(source->QueryInterface(IID_IDBCreateSession, create.put_void()));
    ole_com_ptr<IOpenRowset> session;
    odb_check(create->CreateSession(nullptr, IID_IOpenRowset, session.put_unknown()));
    odb_command command(session.get());
    command.execute(L"CREATE TABLE t (id INTEGER PRIMARY KEY, name TEXT, ratio REAL)");
    command.execute(L"INSERT INTO t VALUES (5, 'old', 1.5)");

    udb_schema schema;
    schema.adopt(column(L"id", VT_I4, 0).clone());
    schema.adopt(column(L"name", VT_BSTR, 20).clone());
    schema.adopt(column(L"ratio", VT_R8, 0).clone());
    udb_relationships relationships;
    mss_table writer(L"[t]", session.get(), schema, relationships, engine.target());
    writer.add_index(udb_index(L"pk", true, true, {L"id"}));
    udb_record record;
    record.add_field(std::make_unique<udb_field>(L"id", 0, ole_variant(5), false, false));
    record.add_field(std::make_unique<udb_field>(L"name", 0, ole_variant(L"it's"), false, false));
    record.add_field(std::make_unique<udb_field>(L"ratio", 0, ole_variant(2.25), false, false));
    writer.update(record);
    udb_record missing;
    missing.add_field(std::make_unique<udb_field>(L"id", 0, ole_variant(6), false, false));
    missing.add_field(std::make_unique<udb_field>(L"name", 0, ole_variant(L"new"), false, false));
    // No row has the key: the driver's row count says so, and the row is not taken in silence.
    EXPECT_THROW(writer.update(missing), odb_exception);
    udb_record key_alone;
    key_alone.add_field(std::make_unique<udb_field>(L"id", 0, ole_variant(5), false, false));
    writer.update(key_alone);

    ole_com_ptr<IRowset> rowset;
    command.execute(L"SELECT id, name, ratio FROM t", rowset.put());
    odb_recordset rows(rowset.get());
    rows.reset();
    ASSERT_FALSE(rows.is_eof());
    const udb_record& row = *rows.get_item();
    EXPECT_EQ(row[0]->to_wstring(), L"5");
    EXPECT_EQ(row[1]->to_wstring(), L"it's");
    EXPECT_EQ(row[2]->to_double(), 2.25);
    rows.next();
    EXPECT_TRUE(rows.is_eof());
}

// Rows merged into an existing table with a CHECK constraint and no foreign key go by the bulk
// load with the server asked to check the constraint (FreeTDS sends it with KEEP_NULLS in one
// hint text): the row that breaks it is refused and reported, the others land. Without the
// hint the bulk copy would store it, on SQL Server and on the TDS test server alike.
TEST_F(SqlServerWriter, ACheckConstraintOfAnExistingTableHoldsOnTheBulkPath)
{
    {
        std::unique_ptr<mss_database> created = m_engine.create_db(m_name);
        odb_command command(created->session());
        command.execute(L"CREATE TABLE [dbo].[checked] (id int NOT NULL PRIMARY KEY, amount int "
                        L"NULL, CONSTRAINT CK_checked_amount CHECK (amount >= 0))");
    }
    udb_schema schema;
    schema.adopt(column(L"id", VT_I4, 0).clone());
    schema.adopt(column(L"amount", VT_I4, 0).clone());
    std::unique_ptr<mss_database> database = m_engine.open_db(m_name, udb_open_mode::append);
    {
        std::unique_ptr<udb_recordset> writer =
            database->create_table(L"[dbo].[checked]", schema, udb_indexes());
        writer->set_row_failure_handler(
            [this](udb_record&, std::int64_t number, const tk_exception&)
            { m_failures.push_back(std::to_string(number)); });
        for (int id = 1; id <= 3; ++id)
        {
            udb_record record;
            record.add_field(std::make_unique<udb_field>(L"id", 0, ole_variant(id), false, false));
            record.add_field(std::make_unique<udb_field>(
                L"amount", 0, ole_variant(id == 2 ? -5 : id * 10), false, false));
            writer->set_next_row_number(id);
            writer->append_record(record);
        }
        writer->flush();
    }
    std::unique_ptr<odb_recordset> rows =
        database->open_query(L"SELECT id, amount FROM [dbo].[checked] ORDER BY id");
    std::vector<std::wstring> seen;
    for (rows->reset(); !rows->is_eof(); rows->next())
    {
        seen.push_back(text_of(*rows->get_item()->at(0)) + L"|" +
                       text_of(*rows->get_item()->at(1)));
    }
    EXPECT_EQ(m_failures, std::vector<std::string>{"2"});
    EXPECT_EQ(seen, (std::vector<std::wstring>{L"1|10", L"3|30"}));
}

} // namespace
