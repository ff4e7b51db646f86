// agent_options_test.cpp: the options read in-process: the tokenizer, the connection settings
// they give, mode and port checks, profile precedence and the masked log of the arguments.
#include "agent_options_fixture.h"
#include "zovagent/agent_cmd_line.h"

#include <gtest/gtest.h>

namespace
{

using agent_test::AgentOptions;

TEST(AgentCmdLine, PrefixesMatchInTableOrderAndUnmatchedArgumentsAreKept)
{
    const cmd_line_option table[] = {
        {1, "--help"}, {12, "--silent"}, {14, "--src="}, {16, "--tab_file="}, {-1, ""}};
    std::vector<std::string> texts{"prog",      "--helpme",    "x--help", "--src=a=b",
                                   "--silentX", "--tab_file=", "--SRC=a"};
    std::vector<char*> argv;
    for (std::string& text : texts)
    {
        argv.push_back(text.data());
    }
    ansi_cmd_line line(static_cast<int>(argv.size()), argv.data(), table);
    std::vector<std::pair<int, std::string>> seen;
    while (line.has_more())
    {
        seen.emplace_back(line.id(), line.value());
        line.next();
    }
    EXPECT_EQ(seen,
              (std::vector<std::pair<int, std::string>>{
                  {1, "me"}, {-1, "x--help"}, {14, "a=b"}, {12, "X"}, {16, ""}, {-1, "--SRC=a"}}));
    EXPECT_EQ(line.unmatched(), (std::vector<std::string>{"x--help", "--SRC=a"}));
    EXPECT_THROW(line.next(), tk_mail_assertion);
}

struct pgs_expected
{
    std::string host;
    std::string user;
    std::string password;
    int port;
};

struct mss_expected
{
    bool sec_log;
    std::wstring host;
    std::wstring user;
    std::wstring password;
};

struct connection_case
{
    const char* name;
    std::vector<std::string> arguments;
    pgs_expected pgs;
    mss_expected mss;
};

/// Shows a case by its name in failure messages.
void PrintTo(const connection_case& test, std::ostream* out)
{
    *out << test.name;
}

class AgentConnectionOptions : public AgentOptions,
                               public testing::WithParamInterface<connection_case>
{
};

TEST_P(AgentConnectionOptions, GiveTheConverterItsConnectionSettings)
{
    const connection_case& test = GetParam();
    std::vector<std::string> arguments{"--src=s", "--dest=d"};
    arguments.insert(arguments.end(), test.arguments.begin(), test.arguments.end());
    ASSERT_TRUE(parse(arguments));
    EXPECT_EQ(m_converter.pgs_host(), test.pgs.host);
    EXPECT_EQ(m_converter.pgs_user(), test.pgs.user);
    EXPECT_EQ(m_converter.pgs_password(), test.pgs.password);
    EXPECT_EQ(m_converter.port(), test.pgs.port);
    EXPECT_EQ(m_converter.sec_log(), test.mss.sec_log);
    EXPECT_EQ(m_converter.mss_host(), test.mss.host);
    EXPECT_EQ(m_converter.mss_user(), test.mss.user);
    EXPECT_EQ(m_converter.mss_password(), test.mss.password);
    EXPECT_EQ(m_err.str(), "");
}

const pgs_expected default_pgs{"", "", "", 5432};
const mss_expected windows_login{true, L"", L"", L""};

INSTANTIATE_TEST_SUITE_P(
    Options, AgentConnectionOptions,
    testing::Values(
        connection_case{"NoneGivenIsThePort5432AndWindowsLogin", {}, default_pgs, windows_login},
        connection_case{
            "EmptyPortIsTheDriversDefault", {"--pgport="}, {"", "", "", 0}, windows_login},
        connection_case{"PortGiven", {"--pgport=6543"}, {"", "", "", 6543}, windows_login},
        connection_case{
            "LastOfTwoPortsCounts", {"--pgport=1", "--pgport=2"}, {"", "", "", 2}, windows_login},
        connection_case{"PostgresLogin",
                        {"--posgsh=db.example", "--posgsu=ana", "--posgsp=s3 cret"},
                        {"db.example", "ana", "s3 cret", 5432},
                        windows_login},
        connection_case{
            "ServerAloneIsWindowsLogin", {"--mssqlh=h"}, default_pgs, {true, L"h", L"", L""}},
        connection_case{"PasswordAloneIsSqlLoginWithEmptyUser",
                        {"--mssqlh=h", "--mssqlp=x"},
                        default_pgs,
                        {false, L"h", L"", L"x"}},
        connection_case{"UserAloneIsSqlLogin",
                        {"--mssqlu=J\xC3\xBCrgen"},
                        default_pgs,
                        {false, L"", L"J\u00FCrgen", L""}},
        connection_case{"EmptyUserAndPasswordAreWindowsLogin",
                        {"--mssqlu=", "--mssqlp="},
                        default_pgs,
                        windows_login}),
    [](const testing::TestParamInfo<connection_case>& param_info)
    { return param_info.param.name; });

TEST_F(AgentOptions, ModeTakesOnlyThePlainDigitsZeroToFour)
{
    for (int mode = 0; mode <= 4; ++mode)
    {
        SCOPED_TRACE(mode);
        ASSERT_TRUE(parse({"--src=s", "--dest=d", "--mode=" + std::to_string(mode)}));
        EXPECT_EQ(m_converter.mode(), mode);
    }
    for (const char* text :
         {"5", "-1", "04", "+1", "1x", "", " 1", "-0", "99999999999", "-99999999999999999999"})
    {
        SCOPED_TRACE(text);
        m_err.str("");
        EXPECT_THROW(parse({"--src=s", "--dest=d", std::string("--mode=") + text}), process_exit);
        EXPECT_EQ(m_err.str(), "Invalid merge/overwrite mode\n");
    }
}

TEST_F(AgentOptions, PortThatIsNoPortNumberIsRefused)
{
    for (const char* text : {"abc", "5432x", "-1", "+5432", "65536", "99999999999", " 5432"})
    {
        SCOPED_TRACE(text);
        m_err.str("");
        EXPECT_THROW(parse({"--src=s", "--dest=d", std::string("--pgport=") + text}), process_exit);
        EXPECT_EQ(m_err.str(), "Invalid port number\n");
    }
    ASSERT_TRUE(parse({"--src=s", "--dest=d", "--pgport=65535"}));
    EXPECT_EQ(m_converter.port(), 65535);
}

TEST_F(AgentOptions, UnmatchedArgumentsAnswerFalseAfterTheWholeLineActed)
{
    std::vector<std::string> arguments{"--src=s", "stray"};
    for (int index = 0; index < 24; ++index)
    {
        arguments.push_back("-x" + std::to_string(index));
    }
    arguments.push_back("--dest=d");
    arguments.push_back("--tab_def");
    EXPECT_FALSE(parse(arguments));
    EXPECT_EQ(m_converter.dest(), L"d");
    EXPECT_TRUE(m_converter.tab_def());
    EXPECT_EQ(m_err.str(), "");
}

TEST_F(AgentOptions, OptionTextThatIsNotUtf8IsRefused)
{
    EXPECT_THROW(parse({"--src=s", "--dest=caf\xE9"}), process_exit);
    EXPECT_EQ(m_err.str(), "The value of --dest= is not valid UTF-8 text.\n");
    EXPECT_EQ(m_converter.dest(), L"");
}

TEST_F(AgentOptions, ProfileSetsTheConnectionAndLaterOptionsStillAct)
{
    const std::string profile = m_dir.file("shop.zov");
    test_support::write_file(profile, "[Generic settings]\r\n"
                                      "src=psrc\r\n"
                                      "dest=pdest\r\n"
                                      "mode=3\r\n"
                                      "[pgs settings]\r\n"
                                      "host=phost\r\n"
                                      "user=puser\r\n"
                                      "port=6000\r\n"
                                      "[MS SQL Server settings]\r\n"
                                      "server=pms\r\n"
                                      "windows authentication=0\r\n"
                                      "login=plogin\r\n"
                                      "password=ppw\r\n");
    ASSERT_TRUE(
        parse({"--posgsh=cmdhost", "--src=early", "--mode=2", "--profile=" + profile, "--dest=late",
               "--mssqlh=cmdms", "--pgport=1", "--mssqlu=", "--tab_def", "--skip_idx"}));
    // The profile overrides what came before it; what comes after it overrides the profile.
    EXPECT_EQ(m_converter.src(), L"psrc");
    EXPECT_EQ(m_converter.dest(), L"late");
    EXPECT_EQ(m_converter.mode(), 3);
    EXPECT_TRUE(m_converter.tab_def());
    EXPECT_TRUE(m_converter.skip_idx());
    // The connection options are ignored wherever they stand.
    EXPECT_EQ(m_converter.pgs_host(), "phost");
    EXPECT_EQ(m_converter.pgs_user(), "puser");
    EXPECT_EQ(m_converter.port(), 6000);
    EXPECT_EQ(m_converter.mss_host(), L"pms");
    EXPECT_FALSE(m_converter.sec_log());
    EXPECT_EQ(m_converter.mss_user(), L"plogin");
    EXPECT_EQ(m_converter.mss_password(), L"ppw");
}

TEST_F(AgentOptions, OptionsAfterTheProfileOverrideIt)
{
    const std::string profile = m_dir.file("shop.zov");
    test_support::write_file(profile, "[Generic settings]\r\nsrc=psrc\r\ndest=pdest\r\nmode=3\r\n");
    ASSERT_TRUE(parse({"--profile=" + profile, "--src=late", "--mode=1"}));
    EXPECT_EQ(m_converter.src(), L"late");
    EXPECT_EQ(m_converter.dest(), L"pdest");
    EXPECT_EQ(m_converter.mode(), 1);
}

TEST_F(AgentOptions, ProfileModeIsADigitFromZeroToFourAndAnEmptyOneKeepsTheOption)
{
    const std::string profile = m_dir.file("mode.zov");
    const std::vector<std::pair<std::string, int>> cases{
        {"mode=0", 0}, {"mode=1", 1},    {"mode=2", 2}, {"mode=3", 3},
        {"mode=4", 4}, {"mode = 2 ", 2}, {"mode=", 1}};
    for (const auto& [line, mode] : cases)
    {
        SCOPED_TRACE(line);
        // With a setting beside it: a file with no value at all is no profile.
        test_support::write_file(profile, "[Generic settings]\r\n" + line + "\r\nsrc=s\r\n");
        ASSERT_TRUE(parse({"--src=s", "--dest=d", "--mode=1", "--profile=" + profile}));
        EXPECT_EQ(m_converter.mode(), mode);
    }
}

TEST_F(AgentOptions, ProfileThatCannotBeReadEndsTheProgram)
{
    const std::string profile = m_dir.file("broken.zov");
    // A key before any section: the file is no profile.
    test_support::write_file(profile, "mode=3\r\n[Generic settings]\r\nsrc=psrc\r\n");
    EXPECT_THROW(parse({"--src=s", "--dest=d", "--profile=" + profile}), process_exit);
    EXPECT_EQ(m_err.str(),
              "Profile cannot be read. Please verify that the file is a conversion profile.\n");
}

TEST_F(AgentOptions, LoggedArgumentsHideBothPasswords)
{
    ASSERT_TRUE(parse({"--src=s", "--dest=d", "--posgsp=pg-secret", "--mssqlp=ms-secret",
                       "--mssqlp=", "--posgsu=ana"}));
    const std::vector<std::string> lines = log_lines_starting("parameter #");
    EXPECT_EQ(lines,
              (std::vector<std::string>{"parameter #0: zovagent", "parameter #1: --src=s",
                                        "parameter #2: --dest=d", "parameter #3: --posgsp=***",
                                        "parameter #4: --mssqlp=***",
                                        "parameter #5: --mssqlp=", "parameter #6: --posgsu=ana"}));
    EXPECT_EQ(log_text().find("secret"), std::string::npos);
}

} // namespace
