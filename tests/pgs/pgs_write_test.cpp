// pgs_write_test.cpp: tables made from a neutral schema, rows by COPY and INSERT, updates by key.
#include "pgs/pgs_exception.h"
#include "pgs/pgs_recordset.h"
#include "pgs/pgs_schema_initializer.h"
#include "pgs_test_server.h"
#include "test_support.h"

#include <memory>
#include <optional>
#include <pqxx/transaction>
#include <string>
#include <vector>

namespace
{

using pgs_test::server_test;
using row_text = std::vector<std::optional<std::string>>;

const std::uint8_t some_bytes[] = {0x00, 0x5c, 0x27, 0xff};

ole_variant date_value(int year, int month, int day, int hour, int minute, int second,
                       int milliseconds, int microseconds)
{
    return ole_variant(
        test_support::system_time(year, month, day, hour, minute, second, milliseconds),
        static_cast<std::uint16_t>(microseconds));
}

// The source side of a conversion: an auto-increment key with a default the target must not
// keep, a column name PostgreSQL's rules refuse, one with a dot they allow, and a long text.
udb_schema source_schema()
{
    udb_schema schema;
    const auto add = [&](int size, const wchar_t* name, VARTYPE vartype, bool not_null,
                         bool auto_num, const ole_variant& default_value, int reserved)
    {
        schema.adopt(std::make_unique<t_ftd>(size, name, vartype, not_null, auto_num, default_value,
                                             reserved, L""));
    };
    add(0, L"id", VT_I4, false, true, ole_variant(5), 0);
    add(20, L"bad-name", VT_BSTR, false, false, ole_variant(), 0);
    add(0, L"note", VT_BSTR, false, false, ole_variant(), 0);
    add(10, L"code", VT_BSTR, true, false, ole_variant(L"x"), 0);
    add(0, L"amount", VT_DECIMAL, false, false, ole_variant(), t_ftd::make_precision_scale(10, 2));
    add(0, L"born", VT_DATE, false, false, ole_variant(), t_ftd::date_only);
    add(0, L"stamp", VT_DATE, false, false, ole_variant(), 1);
    add(0, L"ratio", VT_R8, false, false, ole_variant(), 0);
    add(0, L"data", VT_BLOB, false, false, ole_variant(), 0);
    add(0, L"unit.price", VT_R4, false, false, ole_variant(), 0);
    return schema;
}

udb_indexes source_indexes()
{
    udb_indexes indexes;
    indexes.push_back(udb_index(L"items_pkey", true, true, {L"id"}));
    indexes.push_back(udb_index(L"idx_note", false, false, {L"note"}));
    indexes.push_back(udb_index(L"idx_code_amount", false, false, {L"code", L"amount"}));
    indexes.push_back(udb_index(L"idx_code", false, false, {L"code"}));
    indexes.push_back(udb_index(L"idx_code_u", true, false, {L"code"}));
    indexes.push_back(udb_index(L"idx_bad", false, false, {L"bad-name"}));
    return indexes;
}

// The first fields of a row of the source schema; with `whole`, NULL in the others.
udb_record make_record(const std::vector<ole_variant>& values, bool whole = true)
{
    const udb_schema schema = source_schema();
    udb_record record;
    for (std::size_t position = 0; position < (whole ? schema.size() : values.size()); ++position)
    {
        const t_ftd& column = *schema[position];
        record.add_field(std::make_unique<udb_field>(
            column.name, column.size, position < values.size() ? values[position] : ole_variant(),
            column.b_not_null, column.b_auto_num));
    }
    return record;
}

class PgsWrite : public server_test
{
protected:
    void SetUp() override
    {
        server_test::SetUp();
        if (IsSkipped() || HasFatalFailure())
        {
            return;
        }
        connect_engine();
        m_target =
            m_engine->open_db(std::wstring(m_database->name().begin(), m_database->name().end()),
                              udb_open_mode::created, L"public");
    }

    void TearDown() override
    {
        m_target.reset();
        server_test::TearDown();
    }

    std::unique_ptr<udb_recordset> create_items()
    {
        return m_target->create_table(L"public.items", source_schema(), source_indexes());
    }

    std::vector<row_text> read(const std::string& sql)
    {
        pqxx::work transaction(m_engine->connection());
        std::vector<row_text> rows;
        for (const auto& row : transaction.exec(sql))
        {
            row_text values;
            for (const auto& field : row)
            {
                values.push_back(field.is_null() ? std::nullopt
                                                 : std::optional<std::string>(field.c_str()));
            }
            rows.push_back(values);
        }
        return rows;
    }

    std::unique_ptr<pgs_database> m_target;
};

TEST_F(PgsWrite, TableFromNeutralSchemaRenamesColumnsAndSkipsUnusableIndexes)
{
    const pgs_schema_initializer table(L"public.items", source_schema(), source_indexes());
    EXPECT_EQ(table.create_table_sql(),
              L"CREATE TABLE \"public\".\"items\" (\"id\" INTEGER NOT NULL, \"bad_name\" "
              L"VARCHAR(20) , \"note\" TEXT, \"code\" VARCHAR(10)  DEFAULT 'x' NOT NULL, "
              L"\"amount\" DECIMAL(10,2), \"born\" DATE, \"stamp\" TIMESTAMP, \"ratio\" DOUBLE "
              L"PRECISION, \"data\" BYTEA, \"unit.price\" REAL)");

    const auto items = create_items();
    ASSERT_EQ(items->schema().size(), 10u);
    EXPECT_EQ(items->schema()[1]->name, L"bad_name");
    EXPECT_TRUE(m_target->is_table_exist(L"public.items"));
    EXPECT_EQ(m_target->names_map().get_fn_mapped_name(L"public.items", L"bad-name", true),
              L"bad_name");
    EXPECT_EQ(read("SELECT indexdef FROM pg_indexes WHERE tablename = 'items' ORDER BY 1"),
              (std::vector<row_text>{
                  {"CREATE INDEX items_bad_name_idx ON public.items USING btree (bad_name)"},
                  {"CREATE INDEX items_code_amount_idx ON public.items USING btree (code, "
                   "amount)"},
                  {"CREATE UNIQUE INDEX items_code_idx ON public.items USING btree (code)"},
                  {"CREATE UNIQUE INDEX items_pkey ON public.items USING btree (id)"}}));
    EXPECT_EQ(read("SELECT is_nullable, column_default FROM information_schema.columns"
                   " WHERE table_name = 'items' AND column_name = 'id'"),
              (std::vector<row_text>{{"NO", std::nullopt}}));
}

TEST_F(PgsWrite, ExistingTableIsInternalErrorUnlessAppending)
{
    create_items();
    EXPECT_THROW(create_items(), tk_mail_assertion);
}

class PgsWriteRows : public PgsWrite, public testing::WithParamInterface<bool>
{
};

TEST_P(PgsWriteRows, RowsReadBackValueByValue)
{
    m_engine->set_fast_append_enabled(GetParam());
    const auto items = create_items();
    std::vector<udb_record> rows;
    rows.push_back(
        make_record({ole_variant(1), ole_variant(L"tab\there"),
                     ole_variant(L"line\nfeed, back\\slash, \\N, cr\r"), ole_variant(L"O'Brien"),
                     ole_variant(L"12.34", VT_DECIMAL), date_value(1850, 3, 1, 0, 0, 0, 0, 0),
                     date_value(1899, 12, 29, 23, 59, 58, 123, 456), ole_variant(0.5),
                     ole_variant(sizeof some_bytes, some_bytes), ole_variant(1.25F)}));
    // NULL everywhere it may be; the text of a NOT NULL column empty.
    rows.push_back(make_record({ole_variant(2), ole_variant(), ole_variant(), ole_variant(L"")}));
    rows.push_back(make_record({ole_variant(3), ole_variant(L""), ole_variant(L"Grüße, Σ, 日本"),
                                ole_variant(L"\"q\""), ole_variant(L"-0.01", VT_DECIMAL),
                                date_value(45, 6, 7, 0, 0, 0, 0, 0),
                                date_value(1600, 2, 29, 12, 0, 0, 0, 1), ole_variant(-1e300),
                                ole_variant(std::size_t{0}, some_bytes), ole_variant(-0.5F)}));
    for (udb_record& row : rows)
    {
        items->append_record(row);
    }
    items->flush();
    EXPECT_EQ(read("SELECT id::text, bad_name, note, code, amount::text, born::text, stamp::text,"
                   " ratio::text, encode(data, 'hex'), \"unit.price\"::text FROM items"
                   " ORDER BY id"),
              (std::vector<row_text>{
                  {"1", "tab\there", "line\nfeed, back\\slash, \\N, cr\r", "O'Brien", "12.34",
                   "1850-03-01", "1899-12-29 23:59:58.123456", "0.5", "005c27ff", "1.25"},
                  {"2", std::nullopt, std::nullopt, "", std::nullopt, std::nullopt, std::nullopt,
                   std::nullopt, std::nullopt, std::nullopt},
                  {"3", "", "Grüße, Σ, 日本", "\"q\"", "-0.01", "0045-06-07",
                   "1600-02-29 12:00:00.000001", "-1e+300", "", "-0.5"}}));
}

INSTANTIATE_TEST_SUITE_P(CopyAndInsert, PgsWriteRows, testing::Bool(),
                         [](const testing::TestParamInfo<bool>& param_info)
                         { return param_info.param ? "Copy" : "Insert"; });

TEST_F(PgsWrite, BadRowFailsTheWholeCopyWhenItEnds)
{
    const auto items = create_items();
    udb_record row =
        make_record({ole_variant(1), ole_variant(L"a"), ole_variant(), ole_variant(L"c")});
    items->append_record(row);
    items->append_record(row); // the same key again
    try
    {
        items->flush();
        FAIL() << "no exception";
    }
    catch (const pgs_exception& error)
    {
        const std::string expected = "The load of public.items failed; the 2 rows written in "
                                     "it are not stored: ERROR:  duplicate key value";
        EXPECT_EQ(std::string(error.what()).substr(0, expected.size()), expected);
    }
    EXPECT_EQ(read("SELECT count(*) FROM items"), (std::vector<row_text>{{"0"}}));
    // The connection is free again, and the next load starts afresh.
    items->append_record(row);
    items->flush();
    EXPECT_EQ(read("SELECT count(*) FROM items"), (std::vector<row_text>{{"1"}}));
}

TEST_F(PgsWrite, RecordsetEndingMidLoadStoresTheRows)
{
    {
        const auto items = create_items();
        udb_record row =
            make_record({ole_variant(7), ole_variant(L"a"), ole_variant(), ole_variant(L"c")});
        items->append_record(row);
    }
    EXPECT_EQ(read("SELECT id FROM items"), (std::vector<row_text>{{"7"}}));
}

TEST_F(PgsWrite, UpdateByKeyChangesOneRowAndReportsFailure)
{
    const auto items = create_items();
    ASSERT_GE(items->key_index(), 0);
    ASSERT_EQ(items->indexes()[static_cast<std::size_t>(items->key_index())].columns,
              std::vector<std::wstring>{L"id"});
    for (int id = 1; id <= 2; ++id)
    {
        udb_record row = make_record({ole_variant(id), ole_variant(L"old"), ole_variant(),
                                      ole_variant(L"c" + std::to_wstring(id))});
        items->append_record(row);
    }
    udb_record change = make_record(
        {ole_variant(2), ole_variant(L"new"), ole_variant(L"it's"), ole_variant(L"d")}, false);
    items->update(change);
    udb_record no_match = make_record({ole_variant(9), ole_variant(L"none")}, false);
    items->update(no_match);
    EXPECT_EQ(read("SELECT id::text, bad_name, note, code FROM items ORDER BY id"),
              (std::vector<row_text>{{"1", "old", std::nullopt, "c1"}, {"2", "new", "it's", "d"}}));

    udb_record too_long = make_record(
        {ole_variant(1), ole_variant(L"x"), ole_variant(), ole_variant(L"elevenchars")}, false);
    try
    {
        items->update(too_long);
        FAIL() << "no exception";
    }
    catch (const pgs_exception& error)
    {
        const std::string expected = "Cannot update a row of public.items: ERROR:  value too "
                                     "long for type character varying(10)\n";
        EXPECT_EQ(std::string(error.what()).substr(0, expected.size()), expected);
    }
    EXPECT_EQ(read("SELECT bad_name FROM items WHERE id = 1"), (std::vector<row_text>{{"old"}}));
}

TEST_F(PgsWrite, BareTableNameIsMadeInPublicAndOpened)
{
    const auto items = m_target->create_table(L"items", source_schema(), source_indexes());
    EXPECT_EQ(items->name(), L"public.items");
    EXPECT_EQ(m_target->names_map().get_fn_mapped_name(L"items", L"bad-name", true), L"bad_name");
    udb_record row =
        make_record({ole_variant(1), ole_variant(L"a"), ole_variant(), ole_variant(L"c")});
    items->append_record(row);
    items->flush();
    EXPECT_EQ(read("SELECT bad_name FROM public.items"), (std::vector<row_text>{{"a"}}));
}

TEST_F(PgsWrite, IndexOfAnotherTableWithTheSameNameStays)
{
    m_database->execute("CREATE TABLE other (x integer); CREATE INDEX idx_bad ON other (x)");
    create_items();
    EXPECT_EQ(read("SELECT indexname FROM pg_indexes WHERE tablename = 'other'"),
              (std::vector<row_text>{{"idx_bad"}}));
}

class PgsWriteCaseNames : public PgsWrite, public testing::WithParamInterface<bool>
{
};

TEST_P(PgsWriteCaseNames, ColumnsDifferingOnlyInCaseKeepTheirOwnValues)
{
    m_engine->set_fast_append_enabled(GetParam());
    udb_schema schema;
    schema.adopt(std::make_unique<t_ftd>(0, L"Code", VT_I4, false, false, ole_variant(), 0, L""));
    schema.adopt(std::make_unique<t_ftd>(0, L"code", VT_I4, false, false, ole_variant(), 0, L""));
    udb_indexes indexes;
    indexes.push_back(udb_index(L"by_upper", false, false, {L"Code"}));
    indexes.push_back(udb_index(L"by_lower", false, false, {L"code", L"Code"}));
    const auto pair = m_target->create_table(L"public.pair", schema, indexes);
    ASSERT_EQ(pair->schema().size(), 2u);
    EXPECT_EQ(pair->schema()[1]->name, L"code00000");
    udb_record record;
    record.add_field(std::make_unique<udb_field>(L"Code", 0, ole_variant(1), false, false));
    record.add_field(std::make_unique<udb_field>(L"code", 0, ole_variant(2), false, false));
    pair->append_record(record);
    pair->flush();
    EXPECT_EQ(read("SELECT \"Code\"::text, code00000::text FROM pair"),
              (std::vector<row_text>{{"1", "2"}}));
    EXPECT_EQ(read("SELECT indexdef FROM pg_indexes WHERE tablename = 'pair' ORDER BY 1"),
              (std::vector<row_text>{
                  {"CREATE INDEX \"pair_Code_idx\" ON public.pair USING btree (\"Code\")"},
                  {"CREATE INDEX \"pair_code00000_Code_idx\" ON public.pair USING btree "
                   "(code00000, \"Code\")"}}));
}

INSTANTIATE_TEST_SUITE_P(CopyAndInsert, PgsWriteCaseNames, testing::Bool(),
                         [](const testing::TestParamInfo<bool>& param_info)
                         { return param_info.param ? "Copy" : "Insert"; });

class PgsWriteExtraField : public PgsWrite, public testing::WithParamInterface<bool>
{
};

TEST_P(PgsWriteExtraField, FieldTheTableLacksIsStructureError)
{
    m_engine->set_fast_append_enabled(GetParam());
    const auto items = create_items();
    udb_record row = make_record({ole_variant(1), ole_variant(), ole_variant(), ole_variant(L"c")});
    row.add_field(std::make_unique<udb_field>(L"extra", 0, ole_variant(1), false, false));
    try
    {
        items->append_record(row);
        FAIL() << "no exception";
    }
    catch (const tk_exception& error)
    {
        EXPECT_STREQ(error.what(),
                     "The structure of data source does not conform to the destination table.");
        EXPECT_EQ(error.severity(), 0);
    }
}

INSTANTIATE_TEST_SUITE_P(CopyAndInsert, PgsWriteExtraField, testing::Bool(),
                         [](const testing::TestParamInfo<bool>& param_info)
                         { return param_info.param ? "Copy" : "Insert"; });

} // namespace
