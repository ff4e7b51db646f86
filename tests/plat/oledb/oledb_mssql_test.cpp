// oledb_mssql_test.cpp: the stand-in against a real SQL Server through each installed driver,
// when ZOV_TEST_MSSQL names one ("server;user;password", the server may be "host,port").
#include "oledb_driver_fixture.h"
#include "plat/oledb/odbc_link.h"
#include "plat/plat_text.h"

#include <cstdlib>
#include <optional>
#include <unistd.h>

using namespace oledb_test;

namespace
{

using test_support::mssql_login;

class SqlServer : public driver_fixture, public testing::WithParamInterface<const char*>
{
};

TEST_P(SqlServer, VersionCommandAndSchemaRowsets)
{
    const std::optional<mssql_login> login = test_support::mssql_login_from_env();
    if (!login)
    {
        GTEST_SKIP() << "ZOV_TEST_MSSQL is unset (\"server;user;password\"): no SQL Server to "
                        "test against";
    }
    OLEDB_USE_DRIVER_OR_SKIP(GetParam());
    com_ref<IDBInitialize> source;
    ASSERT_EQ(connect(login->server, login->user, login->password, L"tempdb", source), S_OK)
        << plat::wide_to_utf8(error_records_text());
    com_ref<IOpenRowset> session = open_session(source.get());
    com_ref<IRowset> rowset;
    ASSERT_EQ(execute(session.get(), L"SELECT @@VERSION", &rowset), S_OK);
    const rowset_contents version = read_rowset(rowset.get());
    ASSERT_EQ(version.rows.size(), 1u);
    // Babelfish, a TDS server over PostgreSQL, names itself instead of SQL Server.
    const bool babelfish = version.rows[0][0]->rfind(L"Babelfish", 0) == 0;
    if (!babelfish)
    {
        EXPECT_EQ(version.rows[0][0]->rfind(L"Microsoft SQL", 0), 0u);
    }

    const std::wstring table = L"zov_oledb_" + std::to_wstring(getpid());
    ASSERT_EQ(execute(session.get(),
                      L"CREATE TABLE dbo." + table + L" (id INT CONSTRAINT PK_" + table +
                          L" PRIMARY KEY, ref INT CONSTRAINT FK_" + table + L" REFERENCES dbo." +
                          table + L" (id), name NVARCHAR(MAX))",
                      nullptr),
              S_OK)
        << plat::wide_to_utf8(error_records_text());
    IDBSchemaRowset* schema_raw = nullptr;
    ASSERT_EQ(session->QueryInterface(IID_IDBSchemaRowset, reinterpret_cast<void**>(&schema_raw)),
              S_OK);
    com_ref<IDBSchemaRowset> schema = com_ref<IDBSchemaRowset>::attach(schema_raw);
    VARIANT owner;
    owner.vt = VT_BSTR;
    owner.bstrVal = L"dbo";
    VARIANT name;
    name.vt = VT_BSTR;
    name.bstrVal = table;
    VARIANT type;
    type.vt = VT_BSTR;
    type.bstrVal = L"TABLE";
    struct schema_case
    {
        const GUID* schema;
        std::vector<VARIANT> restrictions;
        std::size_t name_column;
        std::wstring expected;
    };
    const std::vector<schema_case> cases = {
        {&DBSCHEMA_TABLES, {VARIANT{}, owner, name, type}, 2, table},
        {&DBSCHEMA_PRIMARY_KEYS, {VARIANT{}, owner, name}, 7, L"PK_" + table},
        {&DBSCHEMA_INDEXES, {VARIANT{}, owner, VARIANT{}, VARIANT{}, name}, 5, L"PK_" + table},
        {&DBSCHEMA_FOREIGN_KEYS, {VARIANT{}, owner, name}, 16, L"FK_" + table}};
    for (const schema_case& c : cases)
    {
        IUnknown* raw = nullptr;
        ASSERT_EQ(schema->GetRowset(nullptr, *c.schema, static_cast<ULONG>(c.restrictions.size()),
                                    c.restrictions.data(), IID_IRowset, 0, nullptr, &raw),
                  S_OK)
            << plat::wide_to_utf8(error_records_text());
        com_ref<IRowset> result = com_ref<IRowset>::attach(static_cast<IRowset*>(raw));
        const rowset_contents contents = read_rowset(result.get());
        if (babelfish && c.schema == &DBSCHEMA_TABLES)
        {
            // The table name is a search pattern there, its underscores escaped; the driver
            // sends them as [_], which SQL Server's sp_tables matches as LIKE does and
            // Babelfish's sp_tables takes literally, so it finds no table.
            EXPECT_TRUE(contents.rows.empty());
            continue;
        }
        ASSERT_FALSE(contents.rows.empty());
        if (babelfish)
        {
            // Babelfish keeps constraint names lower-cased.
            EXPECT_TRUE(plat::equal_ci(*contents.rows[0][c.name_column], c.expected))
                << plat::wide_to_utf8(*contents.rows[0][c.name_column]);
            continue;
        }
        EXPECT_EQ(*contents.rows[0][c.name_column], c.expected);
    }
    EXPECT_EQ(execute(session.get(), L"DROP TABLE dbo." + table, nullptr), S_OK);
}

INSTANTIATE_TEST_SUITE_P(Drivers, SqlServer,
                         testing::Values("ODBC Driver 18 for SQL Server",
                                         "ODBC Driver 17 for SQL Server", "FreeTDS"),
                         [](const testing::TestParamInfo<const char*>& param_info)
                         {
                             std::string name;
                             for (const char* c = param_info.param; *c != '\0'; ++c)
                             {
                                 name.push_back(std::isalnum(static_cast<unsigned char>(*c)) ? *c
                                                                                             : '_');
                             }
                             return name;
                         });

} // namespace
