// mss_engine_ops_test.cpp: version detection, connecting, the database list, creating, dropping
// and opening databases, and two-part table names, against the pretend server.
#include "mss/mss_database.h"
#include "mss/mss_engine.h"
#include "mss/odb_exception.h"
#include "mss_fake_server.h"

#include <gtest/gtest.h>

namespace
{

using mss_test::fake_server;

struct version_case
{
    const wchar_t* text;
    int code;
};

class MssVersionText : public testing::TestWithParam<version_case>
{
};

TEST_P(MssVersionText, GivesItsCode)
{
    EXPECT_EQ(mss_engine::version_code_of(GetParam().text), GetParam().code);
}

INSTANTIATE_TEST_SUITE_P(
    Releases, MssVersionText,
    testing::Values(
        version_case{L"Microsoft SQL Server 2008 R2 (SP2) - 10.50.4000.0 (X64)", 5},
        version_case{L"Microsoft SQL Server  2000 - 8.00.2039 (Intel X86)", 3},
        version_case{L"Microsoft SQL Server  7.00 - 7.00.623 (Intel X86)", 2},
        version_case{L"Microsoft SQL Server 2005 - 9.00.5000.00 (Intel X86)", 4},
        version_case{L"Microsoft SQL Server 2012 - 11.0.2100.60 (X64)", 8},
        // Every release from 2014 on takes the newest paths, never the oldest ones.
        version_case{L"Microsoft SQL Server 2014 - 12.0.2000.8 (X64)", 8},
        version_case{L"Microsoft SQL Server 2019 (RTM-CU15) (KB5008996) - 15.0.4198.2 (X64)", 8},
        version_case{L"Microsoft SQL Server 2022 (RTM) - 16.0.1000.6 (X64)", 8},
        version_case{L"Microsoft SQL Server vNext (CTP2.0) - 14.0.500.272 (X64)", 8},
        version_case{L"Microsoft SQL Server  6.50 - 6.50.201 (Intel X86)", 1},
        version_case{L"Microsoft SQL Azure (RTM) - 11.0.9216.62", 100},
        // Exactly the prefix and ten characters: not read by year, and no version number.
        version_case{L"Microsoft SQL Server 2014 - 12", 1},
        version_case{L"Some other server - 12.0.2000.8", 8}, version_case{L"", 1}));

class MssEngineOps : public testing::Test
{
protected:
    void SetUp() override { mss_test::install_fake_server(m_table, m_server, m_fast_load); }

    // Connects with a SQL login to a server of that version holding those databases.
    void connect(const std::wstring& version, const std::vector<std::wstring>& databases)
    {
        m_server->answer(L"SELECT @@VERSION", L"", {version});
        std::vector<std::optional<std::wstring>> names(databases.begin(), databases.end());
        m_server->answer(L"SELECT name from master.sys.databases", L"name", names);
        m_engine.connect(L"db.example,1533", L"bob", L"secret", true);
    }

    std::shared_ptr<fake_server> m_server = std::make_shared<fake_server>();
    bool m_fast_load = false;
    plat::oledb::class_table m_table;
    mss_engine m_engine{true};
};

TEST_F(MssEngineOps, ConnectStoresLoginVersionAndDatabaseList)
{
    connect(mss_test::version_2019, {L"master", L"Sales"});
    EXPECT_TRUE(m_engine.connected());
    EXPECT_EQ(m_engine.version_code(), mss_engine::version_2012);
    EXPECT_EQ(m_engine.user(), L"bob");
    EXPECT_TRUE(m_engine.is_native_client());
    EXPECT_FALSE(m_engine.fast_load());
    EXPECT_EQ(m_engine.get_contents(), (std::vector<std::wstring>{L"master", L"Sales"}));
    EXPECT_EQ(
        m_server->statements(),
        (std::vector<std::wstring>{L"SELECT @@VERSION", L"SELECT name from master.sys.databases"}));
    EXPECT_EQ(m_server->connection_strings.front(),
              L"Driver={FreeTDS};Server={db.example};Port={1533};UID={bob};PWD={secret};"
              L"TDS_Version=7.4;ClientCharset=UTF-8;");
}

TEST_F(MssEngineOps, OldServerFallsBackToTheOldDatabaseCatalog)
{
    m_server->fail(L"SELECT name from master.sys.sysdatabases", L"42S02",
                   L"Invalid object name 'master.sys.sysdatabases'.");
    m_server->answer(L"SELECT name from master.dbo.sysdatabases", L"name", {L"pubs"});
    m_server->answer(L"SELECT @@VERSION", L"", {mss_test::version_2000});
    m_engine.connect(L"old", L"sa", L"pw", true);
    EXPECT_EQ(m_engine.version_code(), mss_engine::version_2000);
    EXPECT_EQ(m_engine.get_contents(), std::vector<std::wstring>{L"pubs"});
}

TEST_F(MssEngineOps, ServerWithoutAVersionNumberTakesTheOldestPaths)
{
    m_server->answer(L"SELECT @@VERSION", L"", {L"Adaptive Server Enterprise"});
    m_engine.connect(L"s", L"bob", L"pw", true);
    EXPECT_EQ(m_engine.version_code(), mss_engine::version_other);
    EXPECT_EQ(m_server->statements(),
              (std::vector<std::wstring>{L"SELECT @@VERSION",
                                         L"SELECT name from master.sys.sysdatabases"}));
}

TEST_F(MssEngineOps, FailedDatabaseListOnModernServerLeavesEngineDisconnected)
{
    m_server->answer(L"SELECT @@VERSION", L"", {mss_test::version_2019});
    m_server->fail(L"SELECT name from master.sys.databases", L"42000", L"denied");
    EXPECT_THROW(m_engine.connect(L"s", L"bob", L"pw", true), odb_exception);
    EXPECT_FALSE(m_engine.connected());
    EXPECT_THROW(m_engine.get_contents(), tk_mail_assertion);
}

TEST_F(MssEngineOps, WindowsConnectForgetsEarlierSqlLogin)
{
    connect(mss_test::version_2019, {L"master"});
    m_engine.connect(L"other", true);
    EXPECT_TRUE(m_engine.windows_auth());
    EXPECT_EQ(m_engine.user(), L"");
    EXPECT_EQ(m_engine.password(), L"");
    m_server->connection_strings.clear();
    m_engine.open_db(L"master", udb_open_mode::existing);
    EXPECT_EQ(m_server->connection_strings.front(),
              L"Driver={FreeTDS};Server={other};Port={1433};Database={master};"
              L"Trusted_Connection=yes;TDS_Version=7.4;ClientCharset=UTF-8;");
}

TEST_F(MssEngineOps, AcceptedFastLoadIsRemembered)
{
    plat::oledb::class_table::current()->unregister_class(CLSID_SQLNCLI11);
    mss_test::install_fake_server(*plat::oledb::class_table::current(), m_server, true);
    connect(mss_test::version_2019, {});
    EXPECT_TRUE(m_engine.fast_load());
}

TEST_F(MssEngineOps, ExistenceNeedsTheListAndALogin)
{
    connect(mss_test::version_2019, {L"Sales", L"Locked"});
    m_server->refused_databases.push_back(L"Locked");
    EXPECT_TRUE(m_engine.is_db_exist(L"sales"));
    EXPECT_FALSE(m_engine.is_db_exist(L"Missing"));
    try
    {
        m_engine.is_db_exist(L"Locked");
        FAIL() << "no exception";
    }
    catch (const mss_no_perm_exception& error)
    {
        EXPECT_STREQ(error.what(),
                     "User 'bob' does not have permission to access database 'Locked'");
    }
}

TEST_F(MssEngineOps, AzureHasNoListAndTestsByConnecting)
{
    m_server->answer(L"SELECT @@VERSION", L"", {mss_test::version_azure});
    m_engine.connect(L"x.database.windows.net", L"bob", L"pw", true);
    EXPECT_EQ(m_server->statements(), std::vector<std::wstring>{L"SELECT @@VERSION"});
    try
    {
        m_engine.get_contents();
        FAIL() << "no exception";
    }
    catch (const tk_exception& error)
    {
        EXPECT_STREQ(
            error.what(),
            "Azure SQL does not allow to list databases.\r\nEnter database name directly.");
        EXPECT_EQ(error.severity(), 1);
    }
    EXPECT_TRUE(m_engine.is_db_exist(L"Orders"));
    m_server->refused_databases.push_back(L"Nope");
    EXPECT_THROW(m_engine.is_db_exist(L"Nope"), mss_no_perm_exception);
}

TEST_F(MssEngineOps, CreateQuotesTheNameListsItAndOpensIt)
{
    connect(mss_test::version_2019, {L"master"});
    const std::size_t before = m_server->sent.size();
    std::unique_ptr<mss_database> created = m_engine.create_db(L"new]db");
    ASSERT_NE(created, nullptr);
    EXPECT_EQ(created->open_mode(), udb_open_mode::created);
    EXPECT_EQ(m_server->statements(before).front(), L"CREATE DATABASE [new]]db]");
    EXPECT_TRUE(m_engine.is_db_exist(L"NEW]DB"));
}

TEST_F(MssEngineOps, DropRunsEvenForAnUnlistedNameAndUnlistsAListedOne)
{
    connect(mss_test::version_2019, {L"Sales"});
    std::size_t before = m_server->sent.size();
    m_engine.delete_db(L"elsewhere");
    EXPECT_EQ(m_server->statements(before),
              std::vector<std::wstring>{L"DROP DATABASE [elsewhere]"});
    m_engine.delete_db(L"SALES");
    EXPECT_TRUE(m_engine.get_contents().empty());
}

TEST_F(MssEngineOps, OperationsBeforeConnectAreInternalErrors)
{
    EXPECT_THROW(m_engine.is_db_exist(L"a"), tk_mail_assertion);
    EXPECT_THROW(m_engine.create_db(L"a"), tk_mail_assertion);
    EXPECT_THROW(m_engine.delete_db(L"a"), tk_mail_assertion);
    EXPECT_THROW(m_engine.open_db(L"a", udb_open_mode::existing), tk_mail_assertion);
    EXPECT_TRUE(m_server->sent.empty());
}

struct safe_name_case
{
    const wchar_t* name;
    const wchar_t* user;
    bool as_dbo;
    bool view_owned;
    const wchar_t* expected;
};

class MssSafeTableName : public testing::TestWithParam<safe_name_case>
{
};

TEST_P(MssSafeTableName, NamesOwnerAndTable)
{
    const safe_name_case& c = GetParam();
    EXPECT_EQ(mss_engine::get_safe_tname(c.name, c.user, c.as_dbo, c.view_owned), c.expected);
}

INSTANTIATE_TEST_SUITE_P(
    Logins, MssSafeTableName,
    testing::Values(safe_name_case{L"t", L"SA", false, true, L"[dbo].[t]"},
                    safe_name_case{L"t", L"bob", false, true, L"[bob].[t]"},
                    safe_name_case{L"t", L"bob", true, true, L"[dbo].[t]"},
                    safe_name_case{L"t", L"", false, true, L"[dbo].[t]"},
                    safe_name_case{L"[sales].[t]", L"bob", false, true, L"[sales].[t]"},
                    safe_name_case{L"[sa]]les].[t]", L"", false, false, L"[sa]]les].[t]"},
                    safe_name_case{L"sales.t", L"", false, false, L"[sales].[t]"},
                    safe_name_case{L"sales.t", L"", false, true, L"[dbo].[sales.t]"},
                    safe_name_case{L"a]", L"b]ob", false, true, L"[b]]ob].[a]]]"}));

} // namespace
