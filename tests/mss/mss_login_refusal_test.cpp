// mss_login_refusal_test.cpp: a refused connection over the scripted driver link, in the record
// orders of both drivers: a refused login is told by its native error or SQLSTATE wherever its
// record stands, and every distinct record's text is kept, the most specific first.
#include "mss/mss_engine.h"
#include "mss/odb_exception.h"
#include "oledb_fake_link.h"
#include "plat/oledb/odbc_check.h"
#include "plat/plat_text.h"
#include "test_support.h"

#include <gtest/gtest.h>

namespace
{

using plat::oledb::diag_record;

struct refusal_case
{
    const char* name;
    std::vector<diag_record> records;
    int code;
    const char* text;
};

/// Shows a case by its name in failure messages.
void PrintTo(const refusal_case& test, std::ostream* out)
{
    *out << test.name;
}

class MssConnectionRefusal : public testing::TestWithParam<refusal_case>
{
};

constexpr int e_fail_code = 0x84005;

const wchar_t* const tds_login = L"[FreeTDS][SQL Server]Login failed for user 'sa'.";
const wchar_t* const tds_unable = L"[FreeTDS][SQL Server]Unable to connect to data source";
const wchar_t* const msodbc_login =
    L"[Microsoft][ODBC Driver 18 for SQL Server][SQL Server]Login failed for user 'sa'.";
const wchar_t* const msodbc_unable =
    L"[Microsoft][ODBC Driver 18 for SQL Server]Unable to connect to data source";

TEST_P(MssConnectionRefusal, GivesTheCodeAndEveryDistinctTextMostSpecificFirst)
{
    const refusal_case& c = GetParam();
    auto script = std::make_shared<oledb_test::fake_script>();
    script->connect_status = plat::oledb::failure_from_diagnostics(
        c.records, plat::oledb::odbc_call::connect, L"FreeTDS");
    plat::oledb::class_table table;
    oledb_test::register_scripted_providers(table, script, true);
    mss_engine engine{true};
    try
    {
        engine.connect(L"srv", L"sa", L"wrong", true);
        FAIL() << "connected";
    }
    catch (const odb_exception& error)
    {
        EXPECT_EQ(error.code(), c.code);
        EXPECT_STREQ(error.what(), c.text);
    }
    EXPECT_FALSE(engine.connected());
}

INSTANTIATE_TEST_SUITE_P(
    Drivers, MssConnectionRefusal,
    testing::Values(
        // FreeTDS gives the server's refusal SQLSTATE 42000, which maps to nothing, so its own
        // 08001 made the result E_FAIL: the native error tells the refused login.
        refusal_case{"FreeTdsServerRecordFirst",
                     {{L"42000", 18456, tds_login}, {L"08001", 0, tds_unable}},
                     odb_auth_failed_code,
                     "Login failed for user 'sa'.\nUnable to connect to data source"},
        refusal_case{"FreeTdsDriverRecordFirst",
                     {{L"08001", 0, tds_unable}, {L"42000", 18456, tds_login}},
                     odb_auth_failed_code,
                     "Login failed for user 'sa'.\nUnable to connect to data source"},
        // Microsoft's driver gives it 28000.
        refusal_case{"MicrosoftServerRecordFirst",
                     {{L"28000", 18456, msodbc_login}, {L"08001", 0, msodbc_unable}},
                     odb_auth_failed_code,
                     "Login failed for user 'sa'.\nUnable to connect to data source"},
        refusal_case{"MicrosoftDriverRecordFirst",
                     {{L"08001", 0, msodbc_unable}, {L"28000", 18456, msodbc_login}},
                     odb_auth_failed_code,
                     "Login failed for user 'sa'.\nUnable to connect to data source"},
        refusal_case{"SqlStateAloneTellsTheLogin",
                     {{L"08001", 0, msodbc_unable}, {L"28000", 0, msodbc_login}},
                     odb_auth_failed_code,
                     "Unable to connect to data source\nLogin failed for user 'sa'."},
        // Not a login: the numbered message of the driver library says why, before the
        // driver's own sentence; a text repeated by a second record is kept once.
        refusal_case{"ClosedPortIsNoLoginFailure",
                     {{L"08001", 0, tds_unable},
                      {L"08001", 20009,
                       L"[FreeTDS][SQL Server]Unable to connect: Adaptive Server is unavailable "
                       L"or does not exist"},
                      {L"08001", 0, tds_unable}},
                     e_fail_code,
                     "Unable to connect: Adaptive Server is unavailable or does not exist\n"
                     "Unable to connect to data source"},
        refusal_case{
            "UnknownErrorComesLast",
            {{L"HY000", 0, L"[FreeTDS][SQL Server]Unknown error"}, {L"08001", 0, tds_unable}},
            e_fail_code,
            "Unable to connect to data source\nUnknown error"}),
    [](const testing::TestParamInfo<refusal_case>& param_info) { return param_info.param.name; });

TEST(MssConnectionRefusalSqlServer, AWrongPasswordIsARefusedLoginNamingTheUser)
{
    const std::optional<test_support::mssql_login> login = test_support::mssql_login_from_env();
    if (!login)
    {
        GTEST_SKIP() << "ZOV_TEST_MSSQL is not set (server;user;password)";
    }
    plat::oledb::class_table table;
    plat::oledb::register_providers(table);
    mss_engine engine{true};
    try
    {
        engine.connect(login->server, login->user, login->password + L"-wrong", true);
        FAIL() << "connected with a wrong password";
    }
    catch (const odb_exception& error)
    {
        EXPECT_EQ(error.code(), odb_auth_failed_code) << error.what();
        // The server's own words name the login it refused.
        EXPECT_NE(std::string(error.what()).find(plat::wide_to_utf8(login->user)),
                  std::string::npos)
            << error.what();
    }
}

} // namespace
