// mss_sqlserver_test.cpp: the engine and the destination database against a real SQL Server,
// when ZOV_TEST_MSSQL names one ("server;user;password", the server may be "host,port"):
// create and drop a database, a schema, the fixture table with every column kind, identity,
// defaults, key and indexes, and the catalog read back.
#include "mss/mss_database.h"
#include "mss/mss_engine.h"
#include "mss/odb_table.h"
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

class SqlServerDestination : public testing::Test
{
protected:
    void SetUp() override
    {
        m_login = test_support::mssql_login_from_env();
        if (!m_login)
        {
            GTEST_SKIP() << "ZOV_TEST_MSSQL is unset (\"server;user;password\"): no SQL Server to "
                            "test against";
        }
        plat::oledb::register_providers(m_table);
        m_engine.connect(m_login->server, m_login->user, m_login->password, true);
        m_engine.set_view_owned(false);
        if (m_engine.is_db_exist(m_name))
        {
            m_engine.delete_db(m_name);
        }
    }

    void TearDown() override
    {
        // Cleaning up, a refusal for a concurrent catalog change is tried again.
        for (int attempt = 0; m_login && m_engine.connected() && m_engine.is_db_exist(m_name);
             ++attempt)
        {
            try
            {
                m_engine.delete_db(m_name);
            }
            catch (const tk_exception& error)
            {
                if (attempt == 4 || !test_support::is_concurrent_catalog_refusal(error.what()))
                {
                    throw;
                }
                ::usleep(200000);
            }
        }
    }

    // Reopens the database as a run in append mode does and checks what it reads.
    void read_back_catalog();

    std::optional<mssql_login> m_login;
    plat::oledb::class_table m_table;
    mss_engine m_engine{true};
    const std::wstring m_name = L"zov_mssdb_" + std::to_wstring(getpid());
};

TEST_F(SqlServerDestination, DatabaseSchemaFixtureTableAndCatalog)
{
    EXPECT_GE(m_engine.version_code(), mss_engine::version_2005);
    {
        std::unique_ptr<mss_database> database;
        try
        {
            database = m_engine.create_db(m_name);
            database->create_schema(L"zov_sales");
        }
        catch (const tk_exception& error)
        {
            if (test_support::is_concurrent_catalog_refusal(error.what()))
            {
                GTEST_SKIP() << test_support::concurrent_catalog_skip;
            }
            throw;
        }
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
    try
    {
        m_engine.delete_db(m_name);
    }
    catch (const tk_exception& error)
    {
        if (test_support::is_concurrent_catalog_refusal(error.what()))
        {
            GTEST_SKIP() << test_support::concurrent_catalog_skip;
        }
        throw;
    }
    EXPECT_FALSE(m_engine.is_db_exist(m_name));
}

void SqlServerDestination::read_back_catalog()
{
    std::unique_ptr<mss_database> reopened = m_engine.open_db(m_name, udb_open_mode::append);
    EXPECT_TRUE(reopened->is_table_exist(L"[zov_sales].[fixture]"));
    const auto& types = reopened->column_types().at(L"[zov_sales].[fixture]");
    const std::map<std::wstring, std::wstring> expected_types{
        {L"id", L"int"},           {L"code", L"nvarchar"},     {L"name", L"nvarchar"},
        {L"small", L"smallint"},   {L"tiny", L"tinyint"},      {L"big", L"bigint"},
        {L"real_value", L"float"}, {L"ratio", L"float"},       {L"price", L"money"},
        {L"amount", L"numeric"},   {L"free_number", L"float"}, {L"flag", L"bit"},
        {L"notes", L"nvarchar"},   {L"created", L"datetime2"}, {L"stamp", L"datetime2"},
        {L"born", L"date"},        {L"alarm", L"time"},        {L"digest", L"varbinary"},
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

    odb_table table(L"[zov_sales].[fixture]", reopened->session(), 1, reopened->relationships());
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
