// mss_sqlserver_test.cpp: the engine and the destination database against a real SQL Server,
// when ZOV_TEST_MSSQL names one ("server;user;password", the server may be "host,port"):
// create and drop a database, a schema, the fixture table with every column kind, identity,
// defaults, key and indexes, and the catalog read back; tables keyed by GUIDs and by text without
// a length, created, filled and found with their keys in the catalog.
#include "mss/mss_database.h"
#include "mss/mss_engine.h"
#include "mss/mss_key_sizes.h"
#include "mss/odb_table.h"
#include "mss_server_fixture.h"
#include "plat/oledb/oledb_providers.h"
#include "plat/plat_text.h"
#include "test_support.h"

#include <cstdlib>
#include <gtest/gtest.h>
#include <optional>

namespace
{

using test_support::mssql_login;

t_ftd column(const wchar_t* name, VARTYPE vt, int size, bool not_null = false,
             const ole_variant& default_value = ole_variant(), std::int32_t reserved = 0,
             bool auto_num = false)
{
    return t_ftd(size, name, vt, not_null, auto_num, default_value, reserved, L"");
}

std::vector<std::wstring> first_row(odb_database& database, const std::wstring& sql)
{
    std::unique_ptr<odb_recordset> rows = database.open_query(sql);
    std::vector<std::wstring> values;
    rows->reset();
    if (!rows->is_eof())
    {
        for (const auto& field : *rows->get_item())
        {
            values.push_back(field->to_wstring());
        }
    }
    return values;
}

// The TDS server that speaks T-SQL over PostgreSQL, which differs from SQL Server in places the
// assertions name.
bool babelfish(odb_database& database)
{
    const std::vector<std::wstring> version = first_row(database, L"SELECT @@VERSION");
    return !version.empty() && version[0].find(L"Babelfish") != std::wstring::npos;
}

class SqlServerDestination : public mss_server_fixture
{
protected:
    SqlServerDestination()
        : mss_server_fixture(L"zov_mssdb_")
    {
    }

    // Reopens the database as a run in append mode does and checks what it reads.
    void read_back_catalog();
};

TEST_F(SqlServerDestination, DatabaseSchemaFixtureTableAndCatalog)
{
    EXPECT_GE(m_engine.version_code(), mss_engine::version_2005);
    {
        std::unique_ptr<mss_database> database = m_engine.create_db(m_name);
        database->create_schema(L"zov_sales");
        EXPECT_TRUE(m_engine.is_db_exist(m_name));
        database->create_schema(L"zov_sales"); // a second time: already there, no failure
        EXPECT_EQ(first_row(*database, L"SELECT CASE WHEN SCHEMA_ID(N'zov_sales') IS NULL THEN "
                                       L"0 ELSE 1 END"),
                  std::vector<std::wstring>{L"1"});
        // Babelfish numbers principals past the range SQL Server gives user schemas.
        if (!babelfish(*database))
        {
            std::vector<std::wstring> schemas;
            database->get_schema_info(schemas);
            EXPECT_NE(std::find(schemas.begin(), schemas.end(), L"zov_sales"), schemas.end());
        }

        std::vector<t_ftd> columns{
            column(L"id", VT_I4, 0, false, {}, 0, true),
            column(L"code", VT_BSTR, 12),
            column(L"name", VT_BSTR, 40, true, ole_variant(L"it's")),
            column(L"small", VT_I2, 0, false, ole_variant(L"-7")),
            column(L"tiny", VT_UI1, 0),
            column(L"big", VT_I8, 0, false, ole_variant(L"9007199254740993")),
            column(L"real_value", VT_R4, 0),
            column(L"ratio", VT_R8, 0, false, ole_variant(L"0.1")),
            column(L"price", VT_CY, 0, false, ole_variant(L"12.3456")),
            column(L"amount", VT_DECIMAL, 0, false, ole_variant(L"1234.5"),
                   t_ftd::make_precision_scale(18, 4)),
            column(L"free_number", VT_DECIMAL, 0),
            column(L"flag", VT_BOOL, 0),
            column(L"notes", VT_BSTR, 0),
            column(L"created", VT_DATE, 0, false, ole_variant(L"2010-01-02 03:04:05"), 1),
            column(L"stamp", VT_DATE, 0, false, ole_variant(L"current_timestamp"), 1),
            column(L"born", VT_DATE, 0, false, ole_variant(L"1500-06-15"), t_ftd::date_only),
            column(L"alarm", VT_DATE, 0, false, ole_variant(L"10:20:30"), t_ftd::time_only),
            column(L"digest", VT_BLOB, 16),
            column(L"data", VT_BLOB, 0)};
        udb_schema schema;
        for (t_ftd& entry : columns)
        {
            schema.push_back(&entry);
        }
        udb_indexes indexes;
        indexes.push_back(udb_index(L"PK_fixture", true, true, {L"id", L"code"}));
        indexes.push_back(udb_index(L"ux_name", true, false, {L"name"}));
        indexes.push_back(udb_index(L"ix_created", false, false, {L"created", L"small"}));
        database->create_table(L"[zov_sales].[fixture]", schema, indexes);
        EXPECT_TRUE(database->is_table_exist(L"[zov_sales].[fixture]"));

        // Every default takes effect, the identity counts, the key column is case-sensitive.
        database->query(
            L"INSERT INTO [zov_sales].[fixture] ([code], [name]) VALUES (N'k', N'first')");
        database->query(L"INSERT INTO [zov_sales].[fixture] ([code]) VALUES (N'K')");
        EXPECT_EQ(first_row(*database,
                            L"SELECT id, name, small, big, CAST(ratio AS numeric(10,4)), price, "
                            L"amount, CONVERT(nvarchar(19), created, 120), CONVERT(nvarchar(10), "
                            L"born, 23), CONVERT(nvarchar(8), alarm) FROM [zov_sales].[fixture] "
                            L"WHERE id = 2"),
                  (std::vector<std::wstring>{L"2", L"it's", L"-7", L"9007199254740993", L"0.1",
                                             L"12.3456", L"1234.5", L"2010-01-02 03:04:05",
                                             L"1500-06-15", L"10:20:30"}));
        EXPECT_EQ(first_row(*database, L"SELECT id FROM [zov_sales].[fixture] WHERE code = "
                                       L"N'K'"),
                  std::vector<std::wstring>{L"2"});
        EXPECT_EQ(first_row(*database, L"SELECT COLUMNPROPERTY(OBJECT_ID(N'zov_sales.fixture'), "
                                       L"'id', 'IsIdentity')"),
                  std::vector<std::wstring>{L"1"});
    }

    read_back_catalog();
    m_engine.delete_db(m_name);
    EXPECT_FALSE(m_engine.is_db_exist(m_name));
}

t_ftd measured_text(const wchar_t* name, int longest_units)
{
    t_ftd text = column(name, VT_BSTR, 0);
    text.longest_units = longest_units;
    return text;
}

udb_record key_row(const std::vector<std::pair<const wchar_t*, ole_variant>>& values)
{
    udb_record record;
    for (const auto& [name, value] : values)
    {
        record.add_field(std::make_unique<udb_field>(name, 0, value, false, false));
    }
    return record;
}

TEST_F(SqlServerDestination, GuidAndUnboundedTextKeysAreCreatedFilledAndInTheCatalog)
{
    std::unique_ptr<mss_database> database = m_engine.create_db(m_name);
    const bool on_babelfish = babelfish(*database);
    struct table_case
    {
        const wchar_t* name;
        std::vector<t_ftd> columns;
        std::vector<udb_index> indexes;
        std::vector<udb_record> rows;
    };
    std::vector<table_case> tables;
    tables.push_back(
        {L"[dbo].[by_guid]",
         {column(L"id", VT_BSTR, 0, true, {}, t_ftd::guid_column), measured_text(L"name", 5)},
         {udb_index(L"pk_by_guid", true, true, {L"id"})},
         {}});
    tables.back().rows.push_back(
        key_row({{L"id", ole_variant(L"a0eebc99-9c0b-4ef8-bb6d-6bb9bd380a11")},
                 {L"name", ole_variant(L"one")}}));
    tables.back().rows.push_back(
        key_row({{L"id", ole_variant(L"b1ffcd88-8d1a-4ef8-bb6d-6bb9bd380a22")},
                 {L"name", ole_variant(L"two")}}));
    tables.push_back({L"[dbo].[by_text]",
                      {measured_text(L"code", 3), column(L"memo", VT_BSTR, 0)},
                      {udb_index(L"pk_by_text", true, true, {L"code"})},
                      {}});
    // Keys that differ in case only stay apart, as in the source.
    tables.back().rows.push_back(
        key_row({{L"code", ole_variant(L"abc")}, {L"memo", ole_variant(L"lower")}}));
    tables.back().rows.push_back(
        key_row({{L"code", ole_variant(L"ABC")}, {L"memo", ole_variant(L"upper")}}));
    tables.push_back({L"[dbo].[by_mix]",
                      {measured_text(L"region", 6), column(L"id", VT_I4, 0, true),
                       measured_text(L"wide_a", 600), measured_text(L"wide_b", 400)},
                      {udb_index(L"pk_by_mix", true, true, {L"region", L"id"}),
                       udb_index(L"ix_by_mix_region", false, false, {L"region"}),
                       udb_index(L"ix_by_mix_wide", false, false, {L"wide_a", L"wide_b", L"id"})},
                      {}});
    tables.back().rows.push_back(key_row({{L"region", ole_variant(L"north")},
                                          {L"id", ole_variant(1)},
                                          {L"wide_a", ole_variant(L"a")},
                                          {L"wide_b", ole_variant(L"b")}}));
    tables.back().rows.push_back(key_row({{L"region", ole_variant(L"north")},
                                          {L"id", ole_variant(2)},
                                          {L"wide_a", ole_variant(L"a")},
                                          {L"wide_b", ole_variant(L"b")}}));

    for (table_case& table : tables)
    {
        SCOPED_TRACE(plat::wide_to_utf8(table.name));
        udb_schema schema;
        for (t_ftd& entry : table.columns)
        {
            schema.push_back(&entry);
        }
        udb_indexes indexes;
        for (const udb_index& index : table.indexes)
        {
            indexes.push_back(index);
        }
        std::unique_ptr<udb_recordset> writer = database->create_table(table.name, schema, indexes);
        writer->set_row_failure_handler(
            [](udb_record&, std::int64_t number, const tk_exception& error)
            { ADD_FAILURE() << "row " << number << ": " << error.what(); });
        for (udb_record& row : table.rows)
        {
            writer->append_record(row);
        }
        writer->flush();
    }
    // The key over 600 + 400 units of text and an integer takes 2,004 bytes, more than any index.
    std::vector<std::wstring> failures;
    for (const udb_index_failure& failure : database->take_index_failures())
    {
        failures.push_back(failure.table + L" " + failure.index + L": " + failure.reason);
    }
    const int limit = mss_max_key_bytes(false, m_engine.target());
    EXPECT_EQ(failures,
              std::vector<std::wstring>{
                  L"[dbo].[by_mix] ix_by_mix_wide: its key takes 2004 bytes, more than the " +
                  std::to_wstring(limit) + L" bytes SQL Server allows in an index key"});

    for (const wchar_t* table : {L"by_guid", L"by_text", L"by_mix"})
    {
        SCOPED_TRACE(plat::wide_to_utf8(table));
        EXPECT_EQ(
            first_row(*database, std::wstring(L"SELECT COUNT(*) FROM [dbo].[") + table + L"]"),
            std::vector<std::wstring>{L"2"});
        // Babelfish keeps no clustered indexes: its primary keys are nonclustered.
        EXPECT_EQ(first_row(*database,
                            std::wstring(L"SELECT LOWER(i.name), i.type_desc FROM sys.indexes i "
                                         L"WHERE i.is_primary_key = 1 AND i.object_id = "
                                         L"OBJECT_ID(N'dbo.") +
                                table + L"')"),
                  (std::vector<std::wstring>{std::wstring(L"pk_") + table,
                                             on_babelfish ? L"NONCLUSTERED" : L"CLUSTERED"}));
    }
    EXPECT_EQ(first_row(*database, L"SELECT TYPE_NAME(system_type_id) FROM sys.columns WHERE "
                                   L"object_id = OBJECT_ID(N'dbo.by_guid') AND name = N'id'"),
              std::vector<std::wstring>{L"uniqueidentifier"});
    // Babelfish names the binary collation after itself.
    EXPECT_EQ(first_row(*database, L"SELECT collation_name, max_length FROM sys.columns WHERE "
                                   L"object_id = OBJECT_ID(N'dbo.by_text') AND name = N'code'"),
              (std::vector<std::wstring>{
                  on_babelfish ? L"bbf_unicode_bin2" : L"Latin1_General_100_BIN2", L"6"}));
    EXPECT_EQ(first_row(*database, L"SELECT COUNT(*) FROM sys.indexes WHERE object_id = "
                                   L"OBJECT_ID(N'dbo.by_mix') AND LOWER(name) LIKE "
                                   L"N'ix[_]by[_]mix[_]region%'"),
              std::vector<std::wstring>{L"1"});
}

// A varchar(300) key created as wide as its values need (300 units, 600 bytes, not 1,200) takes
// every value of up to 300 units and refuses a longer one, row by row.
TEST_F(SqlServerDestination, NarrowedTextKeyRefusesALaterLongerValue)
{
    std::unique_ptr<mss_database> database = m_engine.create_db(m_name);
    t_ftd key = column(L"k", VT_BSTR, 300, true);
    key.longest_units = 300;
    t_ftd value = column(L"v", VT_I4, 0);
    udb_schema schema;
    schema.push_back(&key);
    schema.push_back(&value);
    udb_indexes indexes;
    indexes.push_back(udb_index(L"pk_later", true, true, {L"k"}));
    std::unique_ptr<udb_recordset> writer =
        database->create_table(L"[dbo].[later]", schema, indexes);
    EXPECT_TRUE(database->take_index_failures().empty());
    std::vector<std::int64_t> refused;
    writer->set_row_failure_handler([&](udb_record&, std::int64_t number, const tk_exception&)
                                    { refused.push_back(number); });
    const std::wstring astral = L"\U0001F600";
    const std::vector<std::wstring> keys = {
        std::wstring(300, L'x'),                     // 300 units: the widest that fits
        std::wstring(301, L'y'),                     // 301 characters
        std::wstring(299, L'z') + astral,            // 300 characters, 301 units
        std::wstring(298, L'w') + astral, L"short"}; // 300 units, and a short one
    for (std::size_t row = 0; row < keys.size(); ++row)
    {
        writer->set_next_row_number(static_cast<std::int64_t>(row) + 1);
        udb_record record = key_row(
            {{L"k", ole_variant(keys[row])}, {L"v", ole_variant(static_cast<int>(row) + 1)}});
        try
        {
            writer->append_record(record);
        }
        catch (const tk_exception&)
        {
            refused.push_back(static_cast<std::int64_t>(row) + 1);
        }
    }
    writer->flush();
    // 300 characters of 301 units are refused too: the writer counts the units itself, where
    // the test server would count characters.
    EXPECT_EQ(refused, (std::vector<std::int64_t>{2, 3}));
    EXPECT_EQ(first_row(*database, L"SELECT max_length FROM sys.columns WHERE object_id = "
                                   L"OBJECT_ID(N'dbo.later') AND name = N'k'"),
              std::vector<std::wstring>{L"600"});
    EXPECT_EQ(first_row(*database, L"SELECT COUNT(*) FROM [dbo].[later]"),
              std::vector<std::wstring>{L"3"});
}

// A decimal's text in one form for comparing: no trailing zeros in the fraction, no lone point,
// a zero before it, no sign on zero ("-.50" and "-0.5000" are "-0.5").
std::wstring plain_decimal(std::wstring text)
{
    if (text.find(L'.') != std::wstring::npos)
    {
        text.erase(text.find_last_not_of(L'0') + 1);
        if (text.back() == L'.')
        {
            text.pop_back();
        }
    }
    const bool negative = !text.empty() && text.front() == L'-';
    std::wstring digits = negative ? text.substr(1) : text;
    if (digits.empty() || digits.front() == L'.')
    {
        digits.insert(digits.begin(), L'0');
    }
    return (negative && digits != L"0" ? L"-" : L"") + digits;
}

// Money at its extremes and numerics of 1 to 38 digits, created as the numerics the source's
// values need, arrive exactly by the bulk load and by INSERT statements; a numeric whose
// precision was never measured is numeric(38,10), never float.
TEST_F(SqlServerDestination, MoneyAndNumericsWithoutPrecisionArriveExactlyByBothPaths)
{
    const std::vector<std::string> money = {
        "92233720368547758.07", "-92233720368547758.08", "0.01", "-0.01", "0", "1234.5"};
    const std::vector<std::string> free = {"123.4567890123", "-0.0000000001",
                                           "1234567890123456789012345678"};
    const std::string digits = "12345678901234567890123456789012345678";
    const std::string fraction_digits = "98765432109876543210987654321098765432";
    const auto value_of = [&](int column, int row)
    {
        const int k = (row - 1) % 38 + 1;
        switch (column)
        {
        case 0:
            return k <= static_cast<int>(money.size()) ? money[k - 1] : std::string();
        case 1:
            return (k % 2 == 0 ? "-" : "") + digits.substr(0, k);
        case 2:
            return (k % 2 == 1 ? "-0." : "0.") + fraction_digits.substr(0, k);
        default:
            return k <= static_cast<int>(free.size()) ? free[k - 1] : std::string();
        }
    };
    std::vector<t_ftd> columns{
        column(L"id", VT_I4, 0, true),
        column(L"amount", VT_DECIMAL, 0, false, {}, t_ftd::make_precision_scale(19, 2)),
        column(L"whole", VT_DECIMAL, 0, false, {}, t_ftd::make_precision_scale(38, 0)),
        column(L"fraction", VT_DECIMAL, 0, false, {}, t_ftd::make_precision_scale(38, 38)),
        column(L"free", VT_DECIMAL, 0)};
    udb_schema schema;
    for (t_ftd& entry : columns)
    {
        schema.push_back(&entry);
    }
    udb_indexes indexes;
    indexes.push_back(udb_index(L"PK_numbers", true, true, {L"id"}));
    std::vector<std::string> failures;
    const auto fill = [&](udb_recordset& writer, int first, int last)
    {
        writer.set_row_failure_handler(
            [&](udb_record&, std::int64_t number, const tk_exception& error)
            { failures.push_back(std::to_string(number) + ": " + error.what()); });
        for (int row = first; row <= last; ++row)
        {
            udb_record record;
            record.add_field(std::make_unique<udb_field>(L"id", 0, ole_variant(row), true, false));
            for (int column_idx = 0; column_idx < 4; ++column_idx)
            {
                ole_variant value;
                const std::string text = value_of(column_idx, row);
                if (!text.empty())
                {
                    EXPECT_TRUE(value.set_decimal_text(text)) << text;
                }
                record.add_field(std::make_unique<udb_field>(
                    columns[static_cast<std::size_t>(column_idx) + 1].name, 0, value, false,
                    false));
            }
            writer.set_next_row_number(row);
            writer.append_record(record);
        }
        writer.flush();
    };
    const std::wstring table = L"[dbo].[numbers]";
    {
        std::unique_ptr<mss_database> database = m_engine.create_db(m_name);
        fill(*database->create_table(table, schema, indexes), 1, 38);
    }
    // A run in append mode reopens the table; these rows go by INSERT statements.
    m_engine.set_fast_load(false);
    std::unique_ptr<mss_database> database = m_engine.open_db(m_name, udb_open_mode::append);
    fill(*database->create_table(table, schema, indexes), 39, 76);
    EXPECT_EQ(failures, std::vector<std::string>{});

    std::vector<std::wstring> types;
    std::unique_ptr<odb_recordset> described = database->open_query(
        L"SELECT name, TYPE_NAME(system_type_id), precision, scale FROM sys.columns WHERE "
        L"object_id = OBJECT_ID(N'dbo.numbers') AND name <> N'id' ORDER BY column_id");
    for (described->reset(); !described->is_eof(); described->next())
    {
        std::wstring line;
        for (const auto& field : *described->get_item())
        {
            line += (line.empty() ? L"" : L" ") + field->to_wstring();
        }
        types.push_back(line);
    }
    EXPECT_EQ(types, (std::vector<std::wstring>{L"amount numeric 19 2", L"whole numeric 38 0",
                                                L"fraction numeric 38 38", L"free numeric 38 10"}));

    std::unique_ptr<odb_recordset> rows = database->open_query(
        L"SELECT id, CAST(amount AS nvarchar(60)), CAST(whole AS nvarchar(60)), CAST(fraction AS "
        L"nvarchar(60)), CAST(free AS nvarchar(60)) FROM [dbo].[numbers] ORDER BY id");
    int row = 0;
    for (rows->reset(); !rows->is_eof(); rows->next())
    {
        ++row;
        const udb_record& read = *rows->get_item();
        ASSERT_EQ(read.size(), 5u);
        EXPECT_EQ(read[0]->to_wstring(), std::to_wstring(row));
        for (int column_idx = 0; column_idx < 4; ++column_idx)
        {
            const std::string given = value_of(column_idx, row);
            const udb_field& field = *read[static_cast<std::size_t>(column_idx) + 1];
            EXPECT_EQ(field.get_type() == VT_EMPTY || field.get_type() == VT_NULL
                          ? std::wstring(L"<null>")
                          : plain_decimal(field.to_wstring()),
                      given.empty() ? std::wstring(L"<null>")
                                    : plain_decimal(plat::utf8_to_wide_lossy(given)))
                << "row " << row << ", column " << column_idx + 1;
        }
    }
    EXPECT_EQ(row, 76);
}

void SqlServerDestination::read_back_catalog()
{
    std::unique_ptr<mss_database> reopened = m_engine.open_db(m_name, udb_open_mode::append);
    EXPECT_TRUE(reopened->is_table_exist(L"[zov_sales].[fixture]"));
    const auto& types = reopened->column_types().at(L"[zov_sales].[fixture]");
    // free_number's precision was never measured: numeric(38,10), not float.
    const std::map<std::wstring, std::wstring> expected_types{
        {L"id", L"int"},           {L"code", L"nvarchar"},       {L"name", L"nvarchar"},
        {L"small", L"smallint"},   {L"tiny", L"tinyint"},        {L"big", L"bigint"},
        {L"real_value", L"float"}, {L"ratio", L"float"},         {L"price", L"money"},
        {L"amount", L"numeric"},   {L"free_number", L"numeric"}, {L"flag", L"bit"},
        {L"notes", L"nvarchar"},   {L"created", L"datetime2"},   {L"stamp", L"datetime2"},
        {L"born", L"date"},        {L"alarm", L"time"},          {L"digest", L"varbinary"},
        {L"data", L"varbinary"}};
    EXPECT_EQ(types, expected_types);
    const bool on_babelfish = babelfish(*reopened);
    if (!on_babelfish)
    {
        EXPECT_EQ(first_row(*reopened, L"SELECT collation_name FROM INFORMATION_SCHEMA.COLUMNS "
                                       L"WHERE table_schema = N'zov_sales' AND table_name = "
                                       L"N'fixture' AND column_name = N'code'"),
                  std::vector<std::wstring>{L"Latin1_General_100_BIN2"});
    }

    odb_table table(L"[zov_sales].[fixture]", reopened->session(), 1, reopened->relationships(),
                    reopened->target());
    EXPECT_EQ(table.record_count(), 2);
    table.init_indexes(L"fixture", L"zov_sales");
    ASSERT_EQ(table.indexes().size(), 3u);
    const std::vector<udb_index> expected_indexes{
        udb_index(L"PK_fixture", true, true, {L"id", L"code"}),
        udb_index(L"ux_name", true, false, {L"name"}),
        udb_index(L"ix_created", false, false, {L"created", L"small"})};
    for (std::size_t index_idx = 0; index_idx < expected_indexes.size(); ++index_idx)
    {
        const udb_index& read = table.indexes()[index_idx];
        const udb_index& expected = expected_indexes[index_idx];
        SCOPED_TRACE(plat::wide_to_utf8(read.name));
        // Babelfish lower-cases key names and adds the table name and a hash to index names.
        if (on_babelfish)
        {
            EXPECT_TRUE(plat::equal_ci(read.name.substr(0, expected.name.size()), expected.name));
        }
        else
        {
            EXPECT_EQ(read.name, expected.name);
        }
        EXPECT_EQ(read.unique, expected.unique);
        EXPECT_EQ(read.primary, expected.primary);
        EXPECT_EQ(read.columns, expected.columns);
    }
}

} // namespace
