// agent_process_test.cpp: the built program run as a process: each refusal's exact text on its
// stream and the exit status.
#include "agent_test_support.h"
#include "test_support.h"

#include <filesystem>
#include <gtest/gtest.h>
#include <optional>
#include <unistd.h>

namespace
{

using agent_test::agent_result;
using agent_test::run_process;

const std::string usage =
    "zovagent v1.5: converts a PostgreSQL database to a Microsoft SQL Server database\n"
    "Usage: ZOVAGENT.EXE OPTIONS\n"
    "\n"
    "   --dest=...     Microsoft SQL database name\n"
    "   --help         display this help message and exit\n"
    "   --logfile=...  path to the file where execution trace will be written\n"
    "   --mode=...     how to process an existing MySQL database\n"
    "                  (0 - overwrite the entire database, 1 - overwrite\n"
    "                  existing tables only, 2 - skip existing tables,\n"
    "                  3 - merge)\n"
    "   --mssqlh=...   MS SQL server IP address or network name\n"
    "   --mssqlu=...   MS SQL user name\n"
    "   --mssqlp=...   MS SQL user password\n"
    "   --pgport=...   PostgreSQL port\n"
    "   --posgsh=...   PostgreSQL server IP address or network name\n"
    "   --posgsu=...   PostgreSQL user name\n"
    "   --posgsp=...   PostgreSQL user password\n"
    "   --profile=...  path to the file to load conversion settings from\n"
    "   --silent       disable program output\n"
    "   --skip_idx     skip converting indexes\n"
    "   --src=...      PostgreSQL database name\n"
    "   --tab_def      convert table definitions only\n"
    "   --tab_file=... file containing the list of tables to convert\n"
    "                  (one table name per line)\n"
    "\n"
    "NOTES:\n"
    "   1) You can omit 'posgsh' or 'mssqlh' to connect local database server.\n"
    "   2) It is necessary to specify 'port' parameter only if it deffers from\n"
    "      the default PostgreSQL port 5432.\n"
    "   3) If you omit 'tab_file' parameter, all database tables will be converted.\n"
    "   4) If you omit 'mode' parameter, default mode 'overwrite the entire\n"
    "      database' will be used.\n";

void expect_result(const agent_result& result, int status, const std::string& out,
                   const std::string& err)
{
    EXPECT_EQ(result.status, status);
    EXPECT_EQ(result.out, out);
    EXPECT_EQ(result.err, err);
}

struct process_case
{
    const char* name;
    std::vector<std::string> arguments;
    std::string out;
    std::string err;
};

/// Shows a case by its name in failure messages.
void PrintTo(const process_case& test, std::ostream* out)
{
    *out << test.name;
}

class AgentProcess : public testing::TestWithParam<process_case>
{
};

TEST_P(AgentProcess, EndsWith255AndItsExactText)
{
    const process_case& test = GetParam();
    expect_result(run_process(test.arguments), 255, test.out, test.err);
}

std::vector<std::string> unmatched_after_valid_ones(int count)
{
    std::vector<std::string> arguments{"--src=a", "--dest=b"};
    for (int index = 0; index < count; ++index)
    {
        arguments.push_back("extra" + std::to_string(index));
    }
    return arguments;
}

INSTANTIATE_TEST_SUITE_P(
    Refusals, AgentProcess,
    testing::Values(
        process_case{"NoArgument", {}, "", usage}, process_case{"Help", {"--help"}, "", usage},
        process_case{"ArgumentThatBeginsWithHelp", {"--helpme"}, "", usage},
        process_case{"HelpAfterSilent", {"--silent", "--help"}, "", ""},
        process_case{"UnmatchedAfterValidOnes", {"--src=a", "--dest=b", "--bogus"}, "", usage},
        process_case{"TwentyOneUnmatched", unmatched_after_valid_ones(21), "", usage},
        process_case{"MissingSource",
                     {"--dest=b"},
                     "",
                     "You should enter source PostgreSQL database name\n"},
        process_case{"MissingDestination",
                     {"--src=a"},
                     "",
                     "You should enter destination MS SQL database name\n"},
        process_case{"MissingTableListFile",
                     {"--src=a", "--dest=b", "--tab_file=/nonexistent/tables.txt"},
                     "",
                     "Table names file does not exist.\n"
                     "Please verify the correct path/name was given.\n"},
        process_case{"MissingProfile",
                     {"--src=a", "--dest=b", "--profile=/nonexistent.zov"},
                     "",
                     "Error:\n"
                     "Profile does not exist. Please verify the correct path/name was given.\n"},
        process_case{"MissingLogDirectory",
                     {"--logfile=/nonexistent/dir/trace.log", "--src=a", "--dest=b"},
                     "",
                     "Error:\n--logfile=/nonexistent/dir/trace.log: Logfile path does not "
                     "exist. Please verify the correct path was given.\n"},
        process_case{"InvalidPortOption",
                     {"--src=a", "--dest=b", "--pgport=99999999999"},
                     "",
                     "Invalid port number\n"}),
    [](const testing::TestParamInfo<process_case>& param_info) { return param_info.param.name; });

TEST(AgentProcessMode, EachBadModeIsRefusedUnlessSilentCameFirst)
{
    for (const std::string mode : {"5", "-1", "04", "+1", "1x", ""})
    {
        SCOPED_TRACE("--mode=" + mode);
        const std::string option = "--mode=" + mode;
        expect_result(run_process({"--src=a", "--dest=b", option}), 255, "",
                      "Invalid merge/overwrite mode\n");
        expect_result(run_process({"--silent", "--src=a", "--dest=b", option}), 255, "", "");
        expect_result(run_process({"--src=a", "--dest=b", option, "--silent"}), 255, "",
                      "Invalid merge/overwrite mode\n");
    }
}

TEST(AgentProcessProfile, InvalidPortInTheProfileEndsTheProgram)
{
    test_support::temp_dir dir;
    const std::string profile = dir.file("bad_port.zov");
    test_support::write_file(profile, "[pgs settings]\r\nport=abc\r\n");
    expect_result(run_process({"--src=a", "--dest=b", "--profile=" + profile}), 255, "",
                  "Error:\nInvalid port number \"abc\" in the key \"port\" of [pgs settings]: a "
                  "whole number from 1 to 65535 is expected.\n");
    expect_result(run_process({"--silent", "--src=a", "--dest=b", "--profile=" + profile}), 255, "",
                  "");
}

TEST(AgentProcessProfile, ModeTheProfileCannotReadEndsTheProgramBeforeConnecting)
{
    test_support::temp_dir dir;
    // A server that would refuse the connection: had the agent tried it, it would say so.
    const std::string port = std::to_string(agent_test::unused_port());
    for (const std::string value : {"02", "10", "7", "x"})
    {
        SCOPED_TRACE(value);
        const std::string profile = dir.file("mode.zov");
        test_support::write_file(
            profile, "[Generic settings]\r\nmode=" + value +
                         "\r\n[pgs settings]\r\nhost=127.0.0.1\r\nport=" + port + "\r\n");
        expect_result(
            run_process({"--src=a", "--dest=b", "--mode=1", "--profile=" + profile}), 255, "",
            "Error:\nInvalid conversion mode in profile " + profile + ": '" + value + "'\n");
    }
}

TEST(AgentProcessRefusal, EachRefusalIsOnStandardErrorAndSilentFirstSilencesIt)
{
    test_support::temp_dir dir;
    const std::string folder = dir.path().string();
    struct refusal
    {
        const char* name;
        /// The profile's bytes; none for no profile.
        std::optional<std::string> profile;
        std::vector<std::string> options;
        std::string message;
    };
    const std::string profile = dir.file("refused.zov");
    const std::vector<refusal> refusals{
        {"MissingProfile",
         std::nullopt,
         {"--profile=" + folder + "/missing.zov"},
         "Profile does not exist. Please verify the correct path/name was given."},
        {"ProfileNotUtf8",
         "[Generic settings]\r\nsrc=\xFF\xFE\r\n",
         {"--profile=" + profile},
         "Cannot convert to UNICODE string: Invalid or incomplete multibyte or wide character"},
        {"ProfileMode",
         "[Generic settings]\r\nmode=9\r\n",
         {"--profile=" + profile},
         "Invalid conversion mode in profile " + profile + ": '9'"},
        {"ProfilePort",
         "[pgs settings]\r\nport=0\r\n",
         {"--profile=" + profile},
         "Invalid port number \"0\" in the key \"port\" of [pgs settings]: a whole number from 1 "
         "to 65535 is expected."},
        {"ProfileLogFile",
         "[Generic settings]\r\nlogfile=" + folder + "\r\n",
         {"--profile=" + profile},
         "Logfile name specifies a directory: " + folder},
        {"LogFileOption",
         std::nullopt,
         {"--logfile=" + folder},
         "--logfile=" + folder + ": Logfile name specifies a directory: " + folder}};
    for (const refusal& test : refusals)
    {
        SCOPED_TRACE(test.name);
        if (test.profile)
        {
            test_support::write_file(profile, *test.profile);
        }
        std::vector<std::string> arguments{"--src=a", "--dest=b"};
        arguments.insert(arguments.end(), test.options.begin(), test.options.end());
        expect_result(run_process(arguments), 255, "", "Error:\n" + test.message + "\n");
        arguments.insert(arguments.begin(), "--silent");
        expect_result(run_process(arguments), 255, "", "");
    }
}

// A file the agent would read no setting from is no profile: the run would otherwise go on with
// the options alone (mode 0 drops the destination). Nothing connects: the server named would
// refuse, and the agent would say so.
TEST(AgentProcessProfile, AFileThatHoldsNoSettingIsRefusedBeforeConnecting)
{
    test_support::temp_dir dir;
    const std::string port = std::to_string(agent_test::unused_port());
    for (const std::string& content :
         {std::string(), std::string("[core]\n\tbare = false\n"), std::string(16, '\0'),
          std::string("[Generic settings]\r\nfoo=1\r\n")})
    {
        SCOPED_TRACE(testing::PrintToString(content));
        const std::string profile = dir.file("none.zov");
        test_support::write_file(profile, content);
        expect_result(run_process({"--src=a", "--dest=b", "--posgsh=127.0.0.1", "--pgport=" + port,
                                   "--profile=" + profile}),
                      255, "",
                      "Profile cannot be read. Please verify that the file is a conversion "
                      "profile.\n");
    }
}

TEST(AgentProcessLog, LogFileThatCannotBeWrittenIsRefusedNamingTheOption)
{
    test_support::temp_dir dir;
    const std::string folder = dir.path().string();
    expect_result(run_process({"--logfile=" + folder, "--src=a", "--dest=b"}), 255, "",
                  "Error:\n--logfile=" + folder +
                      ": Logfile name specifies a directory: " + folder + "\n");
    if (::geteuid() == 0)
    {
        GTEST_SKIP() << "run as root, which may write into a read-only directory";
    }
    const std::filesystem::path locked = dir.path() / "locked";
    std::filesystem::create_directory(locked);
    std::filesystem::permissions(locked, std::filesystem::perms::owner_read |
                                             std::filesystem::perms::owner_exec);
    const std::string path = (locked / "trace.log").string();
    expect_result(run_process({"--logfile=" + path, "--src=a", "--dest=b"}), 255, "",
                  "Error:\n--logfile=" + path + ": Logfile cannot be written: " + path +
                      " (Permission denied)\n");
    std::filesystem::permissions(locked, std::filesystem::perms::owner_all);
}

TEST(AgentProcessConnection, RefusedPostgresConnectionIsAFailure)
{
    const std::string port = std::to_string(agent_test::unused_port());
    expect_result(run_process({"--src=a", "--dest=b", "--posgsh=127.0.0.1", "--pgport=" + port}),
                  255,
                  "Error:\nconnection to server at \"127.0.0.1\", port " + port +
                      " failed: Connection refused \tIs the server running on that host and "
                      "accepting TCP/IP connections? \n",
                  "");
}

class AgentProcessServer : public agent_test::server_test<>
{
};

TEST_F(AgentProcessServer, MissingSourceDatabaseEndsTheProgram)
{
    const std::string name = pgs_test::unique_name("zov_nosuch");
    std::vector<std::string> arguments{"--src=" + name, "--dest=b"};
    for (const std::string& option : agent_test::server_options(m_server))
    {
        arguments.push_back(option);
    }
    expect_result(run_process(arguments), 255, "", "Database '" + name + "' does not exist\n");
}

} // namespace
