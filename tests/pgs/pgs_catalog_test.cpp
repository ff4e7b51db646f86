// pgs_catalog_test.cpp: columns, defaults, keys, indexes and foreign keys read from the catalog.
#include "pgs/pgs_exception.h"
#include "pgs/pgs_recordset.h"
#include "pgs_test_server.h"

#include <algorithm>
#include <string>
#include <vector>

namespace
{

using pgs_test::server_test;
using names = std::vector<std::wstring>;

struct column_case
{
    std::wstring name;
    VARTYPE vartype;
    int size;
    bool not_null;
    bool auto_num;
    int reserved;
    VARTYPE default_type;
    std::wstring default_text;
    std::string type_name;
};

void expect_columns(const udb_recordset& recordset, const std::vector<column_case>& expected)
{
    ASSERT_EQ(recordset.schema().size(), expected.size());
    for (std::size_t position = 0; position < expected.size(); ++position)
    {
        const column_case& want = expected[position];
        const auto& column = dynamic_cast<const pgs_ftd&>(*recordset.schema()[position]);
        SCOPED_TRACE(column.type_name);
        EXPECT_EQ(column.name, want.name);
        EXPECT_EQ(column.vartype, want.vartype);
        EXPECT_EQ(column.size, want.size);
        EXPECT_EQ(column.b_not_null, want.not_null);
        EXPECT_EQ(column.b_auto_num, want.auto_num);
        EXPECT_EQ(column.dw_reserved, want.reserved);
        EXPECT_EQ(column.default_value.get_type(), want.default_type);
        EXPECT_EQ(column.default_value.to_wstring(), want.default_text);
        EXPECT_EQ(column.type_name, want.type_name);
    }
}

void expect_index(const udb_index& index, const std::wstring& name, bool primary,
                  const names& columns)
{
    EXPECT_EQ(index.name, name);
    EXPECT_EQ(index.primary, primary);
    EXPECT_EQ(index.unique, primary);
    EXPECT_EQ(index.columns, columns);
}

void expect_relationship(const udb_relationship& relationship, const std::wstring& name,
                         const std::wstring& table, const names& columns,
                         const std::wstring& referenced_table, const names& referenced_columns,
                         const std::wstring& rules)
{
    EXPECT_EQ(relationship.name, name);
    EXPECT_EQ(relationship.key_name, L"");
    EXPECT_EQ(relationship.table, table);
    EXPECT_EQ(relationship.columns, columns);
    EXPECT_EQ(relationship.referenced_table, referenced_table);
    EXPECT_EQ(relationship.referenced_columns, referenced_columns);
    EXPECT_EQ(relationship.rules, rules);
}

class PgsCatalog : public server_test
{
};

TEST_F(PgsCatalog, ColumnsCarryTypesFlagsAndOnlyLiteralDefaults)
{
    const auto database = open_fixture("pgs_catalog.sql");
    const auto parent = database->get_table(L"public.parent", udb_table_mode::read_only);
    expect_columns(
        *parent,
        {
            {L"id", VT_I4, 0, true, true, 0, VT_EMPTY, L"", "integer"},
            {L"code", VT_BSTR, 20, false, false, 0, VT_EMPTY, L"", "character varying"},
            {L"label", VT_BSTR, 40, false, false, 0, VT_BSTR, L"n/a", "character varying"},
            {L"score", VT_I4, 0, false, false, 0, VT_I4, L"-1", "integer"},
            {L"owner_name", VT_BSTR, 40, false, false, 0, VT_BSTR, L"O'Brien", "character varying"},
            {L"created", VT_DATE, 0, false, false, 1, VT_BSTR, L"CURRENT_TIMESTAMP",
             "timestamp without time zone"},
            {L"token", VT_BSTR, 0, false, false, t_ftd::guid_column, VT_EMPTY, L"", "uuid"},
            {L"active", VT_BOOL, 0, false, false, 0, VT_BOOL, L"1", "boolean"},
            {L"total", VT_DECIMAL, 0, false, false, (10 << 8) | 2, VT_DECIMAL, L"1.5", "numeric"},
            {L"odd_text", VT_BSTR, 0, false, false, 0, VT_BSTR, L"a'::b", "text"},
            {L"computed", VT_I4, 0, false, false, 0, VT_EMPTY, L"", "integer"},
            {L"day", VT_DATE, 0, false, false, 2, VT_BSTR, L"CURRENT_TIMESTAMP", "date"},
            {L"parent_id", VT_I4, 0, false, false, 0, VT_EMPTY, L"", "integer"},
            // '$12.50'::money, read back as a number by the server; 'NaN'::double precision:
            // no literal a target can take.
            {L"price", VT_DECIMAL, 0, false, false, (19 << 8) | 2, VT_DECIMAL, L"12.5", "money"},
            {L"ratio", VT_R8, 0, false, false, 0, VT_EMPTY, L"", "double precision"},
        });
    EXPECT_EQ(parent->record_count(), 2);
}

TEST_F(PgsCatalog, IdentityColumnIsAutoNumberAndOddNamesSurvive)
{
    const auto database = open_fixture("pgs_catalog.sql");
    const auto items = database->get_table(L"Sales.Order Items", udb_table_mode::read_only);
    expect_columns(*items, {
                               {L"Item Id", VT_I4, 0, true, true, 0, VT_EMPTY, L"", "integer"},
                               {L"Qty", VT_I4, 0, true, false, 0, VT_I4, L"1", "integer"},
                               {L"O'Name", VT_BSTR, 0, false, false, 0, VT_EMPTY, L"", "text"},
                               {L"Order Date", VT_DATE, 0, false, false, 1, VT_EMPTY, L"",
                                "timestamp without time zone"},
                               {L"Price", VT_DECIMAL, 0, false, false, (12 << 8) | 2, VT_EMPTY, L"",
                                "numeric"},
                           });
    ASSERT_EQ(items->indexes().size(), 1u);
    expect_index(items->indexes()[0], L"Order Items_pkey", true, {L"Item Id"});
    EXPECT_EQ(items->key_index(), 0);
}

TEST_F(PgsCatalog, DroppedColumnAndCompositeKeyInKeyOrder)
{
    const auto database = open_fixture("pgs_catalog.sql");
    const auto child = database->get_table(L"public.child", udb_table_mode::read_only);
    ASSERT_EQ(child->schema().size(), 4u);
    EXPECT_EQ(child->schema()[2]->name, L"c");
    EXPECT_EQ(child->schema()[3]->name, L"p_id");
    // The expression index is left out; the partial index keeps its key column only.
    ASSERT_EQ(child->indexes().size(), 3u);
    expect_index(child->indexes()[0], L"child_pkey", true, {L"b", L"a"});
    expect_index(child->indexes()[1], L"child_c_idx", false, {L"c"});
    expect_index(child->indexes()[2], L"child_partial_idx", false, {L"p_id"});
    EXPECT_EQ(child->key_index(), 0);
    ASSERT_EQ(database->relationships().size(), 1u);
    expect_relationship(database->relationships()[0], L"child_parent_fk", L"public.child",
                        {L"p_id"}, L"public.parent", {L"id"}, L"CASCADE");
}

TEST_F(PgsCatalog, SameNamedTableInAnotherSchemaKeepsItsOwnKeys)
{
    const auto database = open_fixture("pgs_catalog.sql");
    const auto child = database->get_table(L"other.child", udb_table_mode::read_only);
    ASSERT_EQ(child->schema().size(), 2u);
    ASSERT_EQ(child->indexes().size(), 2u);
    expect_index(child->indexes()[0], L"child_pkey", true, {L"x"});
    expect_index(child->indexes()[1], L"child_c_idx", false, {L"y"});
    EXPECT_TRUE(database->relationships().empty());
}

TEST_F(PgsCatalog, CrossSchemaForeignKeysPairColumnsInKeyOrder)
{
    const auto database = open_fixture("pgs_catalog.sql");
    const auto xref = database->get_table(L"other.xref", udb_table_mode::read_only);
    ASSERT_EQ(database->relationships().size(), 2u);
    expect_relationship(database->relationships()[0], L"xref_child_fk", L"other.xref",
                        {L"child_b", L"child_a"}, L"public.child", {L"b", L"a"}, L"");
    expect_relationship(database->relationships()[1], L"xref_parent_fk", L"other.xref",
                        {L"parent_ref"}, L"public.parent", {L"id"}, L"SET NULL");
    // Opening the table again adds nothing twice.
    database->get_table(L"other.xref", udb_table_mode::read_only);
    EXPECT_EQ(database->relationships().size(), 2u);
}

TEST_F(PgsCatalog, SelfAndCyclicForeignKeysEndReading)
{
    const auto database = open_fixture("pgs_catalog.sql");
    database->get_table(L"public.parent", udb_table_mode::read_only);
    database->get_table(L"public.cycle_a", udb_table_mode::read_only);
    database->get_table(L"public.cycle_b", udb_table_mode::read_only);
    ASSERT_EQ(database->relationships().size(), 3u);
    expect_relationship(database->relationships()[0], L"parent_parent_id_fkey", L"public.parent",
                        {L"parent_id"}, L"public.parent", {L"id"}, L"");
    expect_relationship(database->relationships()[1], L"cycle_a_b_fk", L"public.cycle_a", {L"b_id"},
                        L"public.cycle_b", {L"id"}, L"RESTRICT");
    expect_relationship(database->relationships()[2], L"cycle_b_a_id_fkey", L"public.cycle_b",
                        {L"a_id"}, L"public.cycle_a", {L"id"}, L"");
}

TEST_F(PgsCatalog, ForeignKeyNamesTablesWithoutSchemaUnderNoSchema)
{
    m_engine->set_no_schema(true);
    const auto database = open_fixture("pgs_catalog.sql");
    database->get_table(L"xref", udb_table_mode::read_only);
    ASSERT_EQ(database->relationships().size(), 2u);
    expect_relationship(database->relationships()[1], L"xref_parent_fk", L"xref", {L"parent_ref"},
                        L"parent", {L"id"}, L"SET NULL");
}

TEST_F(PgsCatalog, PartitionedTableCountsItsPartitionsRowsOnce)
{
    const auto database = open_fixture("pgs_catalog.sql");
    const auto measure = database->get_table(L"public.measure", udb_table_mode::read_only);
    EXPECT_EQ(measure->record_count(), 3);
    EXPECT_EQ(dynamic_cast<pgs_recordset&>(*measure).get_select_sql(),
              L"SELECT \"id\", \"taken\" FROM \"public\".\"measure\"");
}

TEST(PgsDeleteRule, ActionLettersGiveRuleWords)
{
    EXPECT_EQ(pgs_recordset::get_delete_rule('c'), L"CASCADE");
    EXPECT_EQ(pgs_recordset::get_delete_rule('d'), L"SET DEFAULT");
    EXPECT_EQ(pgs_recordset::get_delete_rule('n'), L"SET NULL");
    EXPECT_EQ(pgs_recordset::get_delete_rule('r'), L"RESTRICT");
    EXPECT_EQ(pgs_recordset::get_delete_rule('a'), L"");
}

TEST_F(PgsCatalog, LongestTextIsMeasuredInUtf16Units)
{
    // One unit a character, two for one beyond the basic plane: plain letters, an accented
    // word (2 bytes a letter), 450 CJK characters (3 bytes each: 900 bytes as nvarchar, a
    // primary key's limit) and 451, emoji (4 bytes, two units), and no value.
    m_database->execute(
        "CREATE TABLE words (id integer, plain text, accented varchar, astral text, empty text,"
        " cjk text);"
        " INSERT INTO words VALUES (1, 'abcdefghij', 'ééé', E'a\U0001F600b', NULL,"
        " repeat('日', 450)),"
        " (2, 'xy', 'e', NULL, NULL, repeat('本', 449) || '𝄞'),"
        " (3, 'xy', 'e', repeat(E'\U0001F600', 225), NULL, repeat('語', 300));"
        " CREATE TABLE nothing (t text);"
        " CREATE TABLE edge (t text); INSERT INTO edge VALUES (repeat('日', 450));");
    connect_engine();
    const auto database = m_engine->open_db(
        std::wstring(m_database->name().begin(), m_database->name().end()), 1, L"public");
    const auto words = database->get_table(L"public.words", udb_table_mode::read_only);
    EXPECT_EQ(words->longest_text({L"plain", L"accented", L"astral", L"empty", L"cjk"}),
              (std::vector<std::int32_t>{10, 3, 450, 0, 451}));
    EXPECT_EQ(database->get_table(L"public.edge", udb_table_mode::read_only)->longest_text({L"t"}),
              (std::vector<std::int32_t>{450}));
    EXPECT_EQ(
        database->get_table(L"public.nothing", udb_table_mode::read_only)->longest_text({L"t"}),
        (std::vector<std::int32_t>{0}));
    EXPECT_THROW(words->longest_text({L"missing"}), pgs_exception);
}

struct default_case
{
    const char* name;
    std::string declaration; ///< the column's type and default
    VARTYPE vartype;
    int reserved;
    VARTYPE default_type;
    std::wstring default_text;
};

class PgsNumberDefaults : public server_test, public testing::WithParamInterface<default_case>
{
};

// Money defaults print in the server's currency format and are read back as numbers by it; a
// numeric without a precision waits for its values (precision 0) and keeps its literal default.
TEST_P(PgsNumberDefaults, MoneyAndNumericDefaultsArriveAsNumbers)
{
    const default_case& c = GetParam();
    m_database->execute("CREATE TABLE t (v " + c.declaration + ")");
    connect_engine();
    const auto database = m_engine->open_db(
        std::wstring(m_database->name().begin(), m_database->name().end()), 1, L"public");
    const auto table = database->get_table(L"public.t", udb_table_mode::read_only);
    ASSERT_EQ(table->schema().size(), 1u);
    const t_ftd& column = *table->schema()[0];
    EXPECT_EQ(column.vartype, c.vartype);
    EXPECT_EQ(column.dw_reserved, c.reserved);
    EXPECT_EQ(column.default_value.get_type(), c.default_type);
    EXPECT_EQ(column.default_value.to_wstring(), c.default_text);
}

INSTANTIATE_TEST_SUITE_P(
    PgsCatalog, PgsNumberDefaults,
    testing::Values(
        default_case{"MoneyCurrencyText", "money DEFAULT '12.50'", VT_DECIMAL, (19 << 8) | 2,
                     VT_DECIMAL, L"12.5"},
        default_case{"MoneyNegativeGrouped", "money DEFAULT '-$1,234.56'", VT_DECIMAL,
                     (19 << 8) | 2, VT_DECIMAL, L"-1234.56"},
        default_case{"MoneyLargest", "money DEFAULT '92233720368547758.07'", VT_DECIMAL,
                     (19 << 8) | 2, VT_DECIMAL, L"92233720368547758.07"},
        default_case{"MoneyPlainNumber", "money DEFAULT 12.5", VT_DECIMAL, (19 << 8) | 2,
                     VT_DECIMAL, L"12.5"},
        default_case{"MoneyExpression", "money DEFAULT (1.5 * 2)::money", VT_DECIMAL, (19 << 8) | 2,
                     VT_EMPTY, L""},
        default_case{"MoneyWithoutDefault", "money", VT_DECIMAL, (19 << 8) | 2, VT_EMPTY, L""},
        default_case{"NumericLiteral", "numeric DEFAULT 1.50", VT_DECIMAL, 0, VT_DECIMAL, L"1.5"},
        default_case{"NumericQuoted", "numeric DEFAULT '1e5'", VT_DECIMAL, 0, VT_DECIMAL,
                     L"100000"},
        default_case{"NumericNaN", "numeric DEFAULT 'NaN'", VT_DECIMAL, 0, VT_EMPTY, L""},
        default_case{"NumericDeclared", "numeric(12,3) DEFAULT 0", VT_DECIMAL, (12 << 8) | 3,
                     VT_DECIMAL, L"0"}),
    [](const testing::TestParamInfo<default_case>& param_info) { return param_info.param.name; });

TEST_F(PgsCatalog, OneQueryMeasuresKeyTextAndTheDigitsOfNumericsWithoutPrecision)
{
    m_database->execute(
        "CREATE TABLE amounts (code text PRIMARY KEY, small numeric, fraction numeric,"
        " wide numeric, huge numeric, nulls numeric, specials numeric);"
        " INSERT INTO amounts VALUES"
        " ('a', 1, 0.5, 123456789012345678901234567890.12345678, 1e40, NULL, 'NaN'),"
        " ('bb', -42, -0.000000000000000000000000000001, -12345678901234567890123456789012345678,"
        "  1, NULL, 'Infinity'),"
        " ('ccc', 300, 3.14159265358979323846, 0, 2.5, NULL, '-Infinity'),"
        " ('dd', NULL, NULL, NULL, NULL, NULL, 12.25);"
        " CREATE TABLE none_yet (v numeric);");
    connect_engine();
    const auto database = m_engine->open_db(
        std::wstring(m_database->name().begin(), m_database->name().end()), 1, L"public");
    const auto amounts = database->get_table(L"public.amounts", udb_table_mode::read_only);
    EXPECT_TRUE(amounts->schema()[1]->is_unmeasured_decimal());
    const udb_column_measures measures = amounts->measure_columns(
        {L"code"}, {L"small", L"fraction", L"wide", L"huge", L"nulls", L"specials"});
    EXPECT_EQ(measures.longest_units, std::vector<std::int32_t>{3});
    std::vector<std::pair<int, int>> extents;
    for (const udb_decimal_extent& extent : measures.decimals)
    {
        extents.emplace_back(extent.integer_digits, extent.scale);
    }
    EXPECT_EQ(extents, (std::vector<std::pair<int, int>>{
                           {3, 0}, {1, 30}, {38, 8}, {41, 1}, {-1, -1}, {2, 2}}));

    const auto none_yet = database->get_table(L"public.none_yet", udb_table_mode::read_only);
    const udb_column_measures empty = none_yet->measure_columns({}, {L"v"});
    EXPECT_TRUE(empty.longest_units.empty());
    ASSERT_EQ(empty.decimals.size(), 1u);
    EXPECT_TRUE(empty.decimals[0].empty());
    EXPECT_THROW(amounts->measure_columns({}, {L"missing"}), pgs_exception);
}

TEST_F(PgsCatalog, AQueryEntryIsMeasuredThroughTheQuery)
{
    m_database->execute("CREATE TABLE sums (amount numeric);"
                        " INSERT INTO sums VALUES (10.5), (20.25), (NULL);");
    connect_engine();
    const auto database = m_engine->open_db(
        std::wstring(m_database->name().begin(), m_database->name().end()), 1, L"public");
    const auto query = database->get_query(
        L"totals", L"SELECT sum(amount) * 1000 AS total, 1::money AS unit FROM sums",
        udb_table_mode::read_only);
    ASSERT_EQ(query->schema().size(), 2u);
    EXPECT_TRUE(query->schema()[0]->is_unmeasured_decimal());
    EXPECT_EQ(query->schema()[1]->vartype, VT_DECIMAL);
    EXPECT_EQ(query->schema()[1]->dw_reserved, (19 << 8) | 2);
    const udb_column_measures measures = query->measure_columns({}, {L"total"});
    ASSERT_EQ(measures.decimals.size(), 1u);
    EXPECT_EQ(measures.decimals[0].integer_digits, 5);
    EXPECT_EQ(measures.decimals[0].scale, 2);
}

} // namespace

namespace
{

// The UTF-16 units of the longest value of each column as the reader reads the rows.
std::vector<std::int32_t> longest_as_read(udb_recordset& table, const names& columns)
{
    std::vector<std::int32_t> longest(columns.size(), 0);
    table.reset();
    for (; !table.is_eof(); table.next())
    {
        for (const auto& field : *table.get_item())
        {
            const auto at = std::find(columns.begin(), columns.end(), field->name());
            if (at == columns.end() || field->get_type() != VT_BSTR)
            {
                continue;
            }
            std::int32_t units = 0;
            for (const wchar_t c : field->to_wstring())
            {
                units += static_cast<std::uint32_t>(c) > 0xFFFF ? 2 : 1;
            }
            std::int32_t& most = longest[static_cast<std::size_t>(at - columns.begin())];
            most = std::max(most, units);
        }
    }
    return longest;
}

struct encoding_case
{
    const char* name;
    std::string encoding;
    /// Rows of (k text primary key, c char(10), v varchar(300)).
    std::string rows;
    /// What measure_columns gives for k, c and v.
    std::vector<std::int32_t> measured;
};

class PgsMeasureEncoding : public server_test, public testing::WithParamInterface<encoding_case>
{
};

// Key text is measured in the units the reader's rows take, whatever the database's encoding;
// a char(n) with its padding. SQL_ASCII leaves its bytes uninterpreted: they are counted.
TEST_P(PgsMeasureEncoding, KeyTextIsMeasuredAsTheRowsAreRead)
{
    const encoding_case& c = GetParam();
    pgs_test::scratch_database source(m_settings, "zov_measure", c.encoding);
    source.execute("CREATE TABLE tk (k text PRIMARY KEY, c char(10), v varchar(300));"
                   " INSERT INTO tk VALUES " +
                   c.rows);
    m_engine->connect(m_settings.host, m_settings.user, m_settings.password, source.name(),
                      m_settings.port);
    const auto database =
        m_engine->open_db(std::wstring(source.name().begin(), source.name().end()), 1, L"public");
    const auto table = database->get_table(L"public.tk", udb_table_mode::read_only);
    const names columns{L"k", L"c", L"v"};
    const std::vector<std::int32_t> measured = table->measure_columns(columns, {}).longest_units;
    EXPECT_EQ(measured, c.measured);
    const std::vector<std::int32_t> read = longest_as_read(*table, columns);
    if (c.encoding == "SQL_ASCII")
    {
        for (std::size_t column_idx = 0; column_idx < read.size(); ++column_idx)
        {
            EXPECT_GE(measured[column_idx], read[column_idx]);
        }
    }
    else
    {
        EXPECT_EQ(measured, read);
    }
}

INSTANTIATE_TEST_SUITE_P(
    PgsCatalog, PgsMeasureEncoding,
    testing::Values(
        encoding_case{"Utf8",
                      "UTF8",
                      "('a😀b', 'x😀', 'héllo'), (repeat('😀', 3) || 'x', NULL, 'z')",
                      {7, 11, 5}},
        encoding_case{"Latin1",
                      "LATIN1",
                      "('café', 'é', 'Größe straße'), ('über alles', 'ab', NULL)",
                      {10, 10, 12}},
        encoding_case{
            "Win1252", "WIN1252", "('€uro', '€', 'naïve – “q”'), ('x', NULL, NULL)", {4, 10, 11}},
        // Bytes: é takes 2 and an emoji 4 where the reader's text takes 1 and 2 units.
        encoding_case{"SqlAscii", "SQL_ASCII", "('é😀', 'é', '😀'), ('ab', 'a', NULL)", {6, 10, 4}},
        // U+20B9F has a form in EUC_JIS_2004 (two bytes there, two UTF-16 units).
        encoding_case{"EucJis2004",
                      "EUC_JIS_2004",
                      "(repeat('𠮟', 4), '𠮟', '日本𠮟'), ('日本語', NULL, NULL)",
                      {8, 11, 4}}),
    [](const testing::TestParamInfo<encoding_case>& param_info) { return param_info.param.name; });

struct setting_case
{
    const char* name;
    std::string setting;
    std::string table;
};

class PgsMeasureSettings : public server_test, public testing::WithParamInterface<setting_case>
{
};

// The database's own output settings do not change the text measured: it is the reader's.
TEST_P(PgsMeasureSettings, KeyTextIsMeasuredUnderTheReadersSettings)
{
    const setting_case& c = GetParam();
    m_database->execute("ALTER DATABASE " + m_database->name() + " SET " + c.setting);
    m_database->execute(c.table);
    connect_engine();
    const auto database = m_engine->open_db(
        std::wstring(m_database->name().begin(), m_database->name().end()), 1, L"public");
    const auto table = database->get_table(L"public.t", udb_table_mode::read_only);
    ASSERT_EQ(table->schema()[0]->vartype, VT_BSTR);
    const names columns{L"k"};
    const std::vector<std::int32_t> measured = table->measure_columns(columns, {}).longest_units;
    EXPECT_EQ(measured, longest_as_read(*table, columns));
}

INSTANTIATE_TEST_SUITE_P(
    PgsCatalog, PgsMeasureSettings,
    testing::Values(
        setting_case{"IntervalIso8601", "IntervalStyle = 'iso_8601'",
                     "CREATE TABLE t (k interval PRIMARY KEY, note text); INSERT INTO t VALUES"
                     " ('1 year 2 months 3 days 04:05:06', 'a'), ('-7 days', 'b'),"
                     " ('1 day 00:00:00.5', 'c')"},
        setting_case{"FewerFloatDigits", "extra_float_digits = -15",
                     "CREATE TABLE t (k float8[], n int); CREATE INDEX ON t (k);"
                     " INSERT INTO t VALUES ('{0.1234567890123456789,2.5}', 1),"
                     " ('{1e-300}', 2)"},
        setting_case{"ByteaEscape", "bytea_output = 'escape'",
                     "CREATE TABLE t (k bytea[], n int); CREATE INDEX ON t (k);"
                     " INSERT INTO t VALUES (ARRAY['\\x00ff41'::bytea, 'abc'::bytea], 1)"}),
    [](const testing::TestParamInfo<setting_case>& param_info) { return param_info.param.name; });

} // namespace
