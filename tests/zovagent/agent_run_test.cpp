// agent_run_test.cpp: the agent in-process against the test PostgreSQL server and a recording
// destination: the connect sequence, the console lines of a run, and which endings are
// failures (exit 255) and which are not.
#include "agent_test_support.h"
#include "convertor_fakes.h"
#include "mss/odb_exception.h"
#include "oledb_fake_link.h"
#include "plat/oledb/odbc_check.h"
#include "test_support.h"

#include <filesystem>
#include <gtest/gtest.h>
#include <map>

namespace
{

using agent_test::agent_result;
using conv_test::event_log;

/// A recording destination that fails at one step of the connect sequence.
class failing_destination : public conv_test::fake_destination
{
public:
    enum class step
    {
        connect,
        check
    };

    failing_destination(step failing, event_log& events)
        : fake_destination({}, events)
        , m_failing(failing)
    {
    }

    void connect(const std::wstring& server, const std::wstring& user, const std::wstring& password,
                 bool windows_auth) override
    {
        if (m_failing == step::connect)
        {
            throw odb_exception(L"Login failed for user 'sa'.");
        }
        fake_destination::connect(server, user, password, windows_auth);
    }
    bool is_db_exist(const std::wstring& name) override
    {
        if (m_failing == step::check)
        {
            throw odb_exception(L"The server is shutting down.");
        }
        return fake_destination::is_db_exist(name);
    }

private:
    step m_failing;
};

class AgentRun : public agent_test::server_test<>
{
protected:
    void SetUp() override
    {
        server_test::SetUp();
        if (IsSkipped() || HasFatalFailure())
        {
            return;
        }
        m_database = std::make_unique<pgs_test::scratch_database>(m_server, "zov_agent");
        m_database->execute("CREATE TABLE t1 (id int PRIMARY KEY, name text);"
                            "INSERT INTO t1 VALUES (1, 'one'), (2, 'two');"
                            "CREATE TABLE t3 (id int PRIMARY KEY);"
                            "INSERT INTO t3 VALUES (3);"
                            "CREATE TABLE \"Été\" (id int PRIMARY KEY);");
    }

    /// The options for the scratch database as source and "copy" as destination, then `more`.
    std::vector<std::string> options(const std::vector<std::string>& more) const
    {
        std::vector<std::string> arguments = agent_test::server_options(m_server);
        arguments.push_back("--src=" + m_database->name());
        arguments.push_back("--dest=copy");
        arguments.insert(arguments.end(), more.begin(), more.end());
        return arguments;
    }

    /// Runs the agent with the real source and a recording destination.
    agent_result run(const std::vector<std::string>& more,
                     const conv_test::destination_setup& destination = {})
    {
        return agent_test::run_in_process(
            options(more),
            [&](vandrel_convertor& converter)
            {
                converter.set_destination(
                    std::make_unique<conv_test::fake_destination>(destination, m_events));
            });
    }

    /// A profile's [pgs settings] for the test server: a loaded profile's connection settings
    /// stand in for the connection options.
    std::string profile_connection() const
    {
        return "[pgs settings]\r\nhost=" + m_server.host + "\r\nuser=" + m_server.user +
               "\r\npassword=" + m_server.password + "\r\nport=" + std::to_string(m_server.port) +
               "\r\n";
    }

    std::string database_line(int tables) const
    {
        return "Converting database " + m_database->name() + "(" + std::to_string(tables) +
               " tables)\n";
    }

    std::unique_ptr<pgs_test::scratch_database> m_database;
    test_support::temp_dir m_dir;
    event_log m_events;
};

constexpr const char* dbo_line = "Creating schema if necessary: 'dbo'\n";

TEST_F(AgentRun, TableListWithAMissingTableConvertsTheOthers)
{
    const std::string list = m_dir.file("tables.txt");
    test_support::write_file(list, "public.t1\r\npublic.t2\r\npublic.t3\r\n");
    const agent_result result = run({"--tab_file=" + list});
    // A listed table the source lacks is a failure of the run that still went through.
    EXPECT_EQ(result.status, 1);
    EXPECT_EQ(result.out, database_line(3) + dbo_line + "Converting table public.t1(2 records)\n" +
                              dbo_line + "Converting table public.t3(1 records)\n");
    EXPECT_EQ(result.err, "Table public.t2 not exists\n");
    EXPECT_EQ(conv_test::filtered(m_events, {"create_table", "append"}),
              (event_log{"create_table [dbo].[t1] columns=2 indexes=1", "append [dbo].[t1] 1",
                         "append [dbo].[t1] 2", "create_table [dbo].[t3] columns=1 indexes=1",
                         "append [dbo].[t3] 3"}));
}

// A view or a partition exists, but is no table the run converts alone: the console says what
// it is.
TEST_F(AgentRun, ViewAndPartitionInTheListAreCalledWhatTheyAre)
{
    m_database->execute(
        "CREATE VIEW v AS SELECT 1 AS x;"
        "CREATE TABLE m (id int, d date) PARTITION BY RANGE (d);"
        "CREATE TABLE m_2020 PARTITION OF m FOR VALUES FROM ('2020-01-01') TO ('2021-01-01');");
    const std::string list = m_dir.file("tables.txt");
    test_support::write_file(list, "public.m_2020\r\npublic.t3\r\npublic.v\r\n");
    const agent_result result = run({"--tab_file=" + list});
    EXPECT_EQ(result.status, 1);
    EXPECT_EQ(result.err, "Table public.m_2020 is a partition of public.m: its rows arrive with "
                          "public.m\nTable public.v is a view: views are not converted\n");
    EXPECT_EQ(conv_test::filtered(m_events, {"create_table"}),
              (event_log{"create_table [dbo].[t3] columns=1 indexes=1"}));
}

TEST_F(AgentRun, WithoutAListEveryTableIsConvertedInNameOrder)
{
    const agent_result result = run({"--tab_def"});
    EXPECT_EQ(result.status, 0);
    EXPECT_EQ(result.out, database_line(3) + dbo_line + "Converting table public.t1(2 records)\n" +
                              dbo_line + "Converting table public.t3(1 records)\n" + dbo_line +
                              "Converting table public.Été(0 records)\n");
    EXPECT_EQ(result.err, "");
    EXPECT_TRUE(conv_test::filtered(m_events, {"append"}).empty());
}

TEST_F(AgentRun, SilentRunWritesNothing)
{
    const std::string list = m_dir.file("tables.txt");
    test_support::write_file(list, "public.t1\npublic.t2\n");
    const agent_result result = run({"--silent", "--tab_file=" + list});
    EXPECT_EQ(result.status, 1);
    EXPECT_EQ(result.out, "");
    EXPECT_EQ(result.err, "");
    EXPECT_EQ(conv_test::filtered(m_events, {"append"}).size(), 2u);
}

struct order_case
{
    const char* name;
    /// Options in command-line order; "P1", "P2" and "P0" stand for profiles selecting
    /// public.t1, public.Été and no table, "L" for a table list of public.t3.
    std::vector<std::string> options;
    event_log tables_created;
};

/// Shows a case by its name in failure messages.
void PrintTo(const order_case& test, std::ostream* out)
{
    *out << test.name;
}

class AgentSelectionOrder : public AgentRun, public testing::WithParamInterface<order_case>
{
};

TEST_P(AgentSelectionOrder, TheLaterSelectionReplacesTheEarlier)
{
    const std::map<std::string, std::pair<std::string, std::string>> files{
        {"P1", {"--profile=", "[Selected Tables]\r\npublic.t1\r\n"}},
        {"P2", {"--profile=", "[Selected Tables]\r\npublic.\xC3\x89t\xC3\xA9\r\n"}},
        {"P0", {"--profile=", "[Generic settings]\r\nskip indexes=1\r\n"}},
        {"L", {"--tab_file=", "public.t3\r\n"}}};
    std::vector<std::string> options{"--tab_def"};
    for (const std::string& name : GetParam().options)
    {
        const auto& [option, text] = files.at(name);
        const std::string path = m_dir.file(name);
        test_support::write_file(path, option == "--profile=" ? text + profile_connection() : text);
        options.push_back(option + path);
    }
    const agent_result result = run(options);
    EXPECT_EQ(result.status, 0);
    EXPECT_EQ(result.err, "");
    EXPECT_EQ(conv_test::filtered(m_events, {"create_table"}), GetParam().tables_created);
}

const std::string t1_created = "create_table [dbo].[t1] columns=2 indexes=1";
const std::string t3_created = "create_table [dbo].[t3] columns=1 indexes=1";

INSTANTIATE_TEST_SUITE_P(
    Orders, AgentSelectionOrder,
    testing::Values(order_case{"ListAfterAProfileReplacesItsTables", {"P1", "L"}, {t3_created}},
                    order_case{"ProfileAfterAListReplacesItsTables", {"L", "P1"}, {t1_created}},
                    order_case{"SecondProfileReplacesTheFirst",
                               {"P1", "P2"},
                               {"create_table [dbo].[\u00C9t\u00E9] columns=1 indexes=1"}},
                    order_case{"ProfileWithoutTablesKeepsTheList",
                               {"L", "P0"},
                               {"create_table [dbo].[t3] columns=1 indexes=0"}}),
    [](const testing::TestParamInfo<order_case>& param_info) { return param_info.param.name; });

struct profile_connection_case
{
    const char* name;
    /// The profile, after "[Selected Tables]\r\npublic.t1\r\n"; "{pgs}" stands for the test
    /// server's [pgs settings].
    std::string profile;
    /// Options after the test server's, the source and the destination.
    std::vector<std::string> options;
    int status;
    /// The destination's connect event, when the run got that far.
    event_log connects;
};

/// Shows a case by its name in failure messages.
void PrintTo(const profile_connection_case& test, std::ostream* out)
{
    *out << test.name;
}

class AgentProfileConnection : public AgentRun,
                               public testing::WithParamInterface<profile_connection_case>
{
};

TEST_P(AgentProfileConnection, OptionsApplyToEachServerTheProfileGivesNoConnection)
{
    const profile_connection_case& test = GetParam();
    // The local defaults lead nowhere: only settings the agent was given reach the server.
    const test_support::scoped_env host("PGHOST", "/nonexistent/socket/dir");
    const test_support::scoped_env port("PGPORT", "1");
    const test_support::scoped_env user("PGUSER", "nobody_here");
    const test_support::scoped_env password("PGPASSWORD", "wrong");
    std::string text = "[Selected Tables]\r\npublic.t1\r\n" + test.profile;
    if (const std::size_t at = text.find("{pgs}"); at != std::string::npos)
    {
        text.replace(at, 5, profile_connection());
    }
    const std::string profile = m_dir.file("connection.zov");
    test_support::write_file(profile, text);
    std::vector<std::string> more{"--mssqlh=optsrv", "--mssqlu=optuser", "--mssqlp=optpw",
                                  "--tab_def", "--profile=" + profile};
    more.insert(more.end(), test.options.begin(), test.options.end());
    const agent_result result = run(more);
    EXPECT_EQ(result.status, test.status) << result.out << result.err;
    EXPECT_EQ(conv_test::filtered(m_events, {"connect"}), test.connects);
    EXPECT_EQ(conv_test::filtered(m_events, {"create_table"}),
              test.status == 0 ? event_log{"create_table [dbo].[t1] columns=2 indexes=1"}
                               : event_log{});
}

const std::string options_connect = "connect optsrv optuser optpw";

INSTANTIATE_TEST_SUITE_P(
    Keys, AgentProfileConnection,
    testing::Values(
        profile_connection_case{"NoConnectionKeys",
                                "[Generic settings]\r\nonly definitions=1\r\n",
                                {},
                                0,
                                {options_connect}},
        profile_connection_case{"EmptyKeysAsTheWizardWritesThem",
                                "[MS SQL Server settings]\r\nserver=\r\nlogin=\r\n"
                                "connect as DBO=0\r\n[pgs settings]\r\nschema=public\r\n"
                                "host=\r\nport=\r\n",
                                {},
                                0,
                                {options_connect}},
        profile_connection_case{"SqlServerKeysKeepThatServersProfileConnectionWhole",
                                "[MS SQL Server settings]\r\nserver=profsrv\r\nlogin=profuser\r\n"
                                "windows authentication=0\r\n",
                                {},
                                0,
                                {"connect profsrv profuser "}},
        profile_connection_case{"WindowsAuthenticationAloneKeepsTheProfileConnection",
                                "[MS SQL Server settings]\r\nwindows authentication=1\r\n",
                                {},
                                0,
                                {"connect  windows"}},
        profile_connection_case{
            "PostgresKeysKeepThatServersProfileConnectionWhole",
            "{pgs}",
            {"--posgsh=127.0.0.1", "--pgport=" + std::to_string(agent_test::unused_port())},
            0,
            {options_connect}},
        // The profile's password alone stands: host, port and user are the local defaults,
        // which lead nowhere here.
        profile_connection_case{"PostgresPasswordAloneKeepsTheProfileConnection",
                                "[pgs settings]\r\npassword=anything\r\n",
                                {},
                                255,
                                {}}),
    [](const testing::TestParamInfo<profile_connection_case>& param_info)
    { return param_info.param.name; });

TEST_F(AgentRun, ListedTablesKeepTheirSchemaAndDottedNamesTheirPair)
{
    m_database->execute("CREATE SCHEMA s2; CREATE TABLE s2.t (id int); INSERT INTO s2.t VALUES (7);"
                        "CREATE SCHEMA \"sch.dot\"; CREATE TABLE \"sch.dot\".t (id int);"
                        "INSERT INTO \"sch.dot\".t VALUES (8);"
                        "CREATE SCHEMA a; CREATE TABLE a.\"b.c\" (id int);"
                        "INSERT INTO a.\"b.c\" VALUES (9);"
                        "CREATE SCHEMA \"a.b\"; CREATE TABLE \"a.b\".c (id int);"
                        "INSERT INTO \"a.b\".c VALUES (10);");
    const std::string list = m_dir.file("tables.txt");
    test_support::write_file(list, "s2.t\n\"sch.dot\".t\na.\"b.c\"\n\"a.b\".c\n");
    const agent_result result = run({"--tab_file=" + list});
    EXPECT_EQ(result.status, 0);
    EXPECT_EQ(result.err, "");
    EXPECT_EQ(conv_test::filtered(m_events, {"append"}),
              (event_log{"append [a.b].[c] 10", "append [sch.dot].[t] 8", "append [a].[b.c] 9",
                         "append [s2].[t] 7"}));

    // The same pair from a profile's selection with the schema of the dotted name.
    m_events.clear();
    const std::string profile = m_dir.file("dot.zov");
    test_support::write_file(profile, "[Selected Tables]\r\n\"sch.dot\".t\r\n" +
                                          profile_connection() + "schema=sch.dot\r\n");
    const agent_result from_profile = run({"--profile=" + profile});
    EXPECT_EQ(from_profile.err, "");
    EXPECT_EQ(conv_test::filtered(m_events, {"append"}), event_log{"append [sch.dot].[t] 8"});
}

TEST_F(AgentRun, TraceLogThatCannotBeWrittenIsSaidOnceAndTheRunStillSucceeds)
{
    if (!std::filesystem::exists("/dev/full"))
    {
        GTEST_SKIP() << "this system has no /dev/full";
    }
    const agent_result result = run({"--tab_def", "--logfile=/dev/full"});
    EXPECT_EQ(result.status, 0);
    EXPECT_EQ(result.err, "The trace log /dev/full could not be written (No space left on "
                          "device); some of its lines are missing.\n");
    EXPECT_EQ(run({"--silent", "--tab_def", "--logfile=/dev/full"}).err, "");
    const agent_result discarded = run({"--tab_def", "--logfile=/dev/null"});
    EXPECT_EQ(discarded.status, 0);
    EXPECT_EQ(discarded.err, "");
}

struct sequence_case
{
    const char* name;
    std::vector<std::string> options;
    bool destination_exists;
    event_log events;
};

/// Shows a case by its name in failure messages.
void PrintTo(const sequence_case& test, std::ostream* out)
{
    *out << test.name;
}

class AgentConnectSequence : public agent_test::server_test<testing::TestWithParam<sequence_case>>
{
};

TEST_P(AgentConnectSequence, ConnectsChecksAndRunsInOrder)
{
    const sequence_case& test = GetParam();
    std::vector<std::string> arguments = agent_test::server_options(m_server);
    arguments.insert(arguments.end(), {"--src=postgres", "--dest=copy"});
    arguments.insert(arguments.end(), test.options.begin(), test.options.end());
    event_log events;
    conv_test::destination_setup destination;
    destination.exists = test.destination_exists;
    const agent_result result = agent_test::run_in_process(
        arguments,
        [&](vandrel_convertor& converter)
        {
            // The source database is checked on the real server; the run reads a fake one.
            converter.set_source(std::make_unique<conv_test::fake_source>(
                conv_test::source_setup{{{L"public.a", 1}}}, events));
            converter.set_destination(
                std::make_unique<conv_test::fake_destination>(destination, events));
        });
    EXPECT_EQ(result.status, 0);
    EXPECT_EQ(conv_test::filtered(events, {"connect", "is_db_exist", "delete_db", "begin_run",
                                           "open_db", "create_db", "append"}),
              test.events);
}

INSTANTIATE_TEST_SUITE_P(
    Sequences, AgentConnectSequence,
    testing::Values(
        sequence_case{"WindowsLoginDropsAnExistingDestinationInModeZero",
                      {"--mssqlh=sql.example"},
                      true,
                      {"connect sql.example windows", "is_db_exist copy", "delete_db copy",
                       "begin_run", "is_db_exist copy", "create_db copy", "append [dbo].[a] 1"}},
        sequence_case{"SqlLoginMergesIntoAnExistingDestination",
                      {"--mssqlh=sql.example", "--mssqlu=sa", "--mssqlp=pw", "--mode=3"},
                      true,
                      {"connect sql.example sa pw", "is_db_exist copy", "begin_run",
                       "is_db_exist copy", "open_db copy mode=8", "append [dbo].[a] 1"}},
        sequence_case{"MissingDestinationIsCreated",
                      {"--mssqlp=pw"},
                      false,
                      {"connect   pw", "is_db_exist copy", "begin_run", "is_db_exist copy",
                       "create_db copy", "append [dbo].[a] 1"}}),
    [](const testing::TestParamInfo<sequence_case>& param_info) { return param_info.param.name; });

struct ending_case
{
    const char* name;
    std::function<void(vandrel_convertor&, event_log&)> prepare;
    int status;
    std::string out;
    std::string err;
};

/// Shows a case by its name in failure messages.
void PrintTo(const ending_case& test, std::ostream* out)
{
    *out << test.name;
}

class AgentEnding : public agent_test::server_test<testing::TestWithParam<ending_case>>
{
};

TEST_P(AgentEnding, OnlyARunThatWentThroughIsASuccess)
{
    const ending_case& test = GetParam();
    std::vector<std::string> arguments = agent_test::server_options(m_server);
    arguments.insert(arguments.end(), {"--src=postgres", "--dest=copy"});
    event_log events;
    const agent_result result = agent_test::run_in_process(
        arguments, [&](vandrel_convertor& converter) { test.prepare(converter, events); });
    EXPECT_EQ(result.status, test.status);
    EXPECT_EQ(result.out, test.out);
    EXPECT_EQ(result.err, test.err);
}

void sides(vandrel_convertor& converter, event_log& events, conv_test::source_setup source,
           conv_test::destination_setup destination = {})
{
    converter.set_source(std::make_unique<conv_test::fake_source>(std::move(source), events));
    converter.set_destination(
        std::make_unique<conv_test::fake_destination>(std::move(destination), events));
}

INSTANTIATE_TEST_SUITE_P(
    Endings, AgentEnding,
    testing::Values(
        ending_case{"TableErrorCompletesTheRunWithFailures",
                    [](vandrel_convertor& converter, event_log& events)
                    {
                        conv_test::source_setup source{{{L"public.a", 1}, {L"public.b", 1}}};
                        source.tables[0].fail_open = true;
                        sides(converter, events, source);
                    },
                    1,
                    "Converting database postgres(2 tables)\n"
                    "Error:\npublic.a: cannot open public.a\n"
                    "Creating schema if necessary: 'dbo'\n"
                    "Converting table public.b(1 records)\n",
                    ""},
        ending_case{"EveryRowArrivedIsASuccess",
                    [](vandrel_convertor& converter, event_log& events) {
                        sides(converter, events, {{{L"public.a", 2}}});
                    },
                    0,
                    "Converting database postgres(1 tables)\n"
                    "Creating schema if necessary: 'dbo'\n"
                    "Converting table public.a(2 records)\n",
                    ""},
        ending_case{"DuplicatesDroppedByTheMergeModeAreASuccess",
                    [](vandrel_convertor& converter, event_log& events)
                    {
                        converter.set_mode(3);
                        conv_test::destination_setup destination;
                        destination.faults.integrity_rows = {1};
                        sides(converter, events, {{{L"public.a", 2}}}, destination);
                    },
                    0,
                    "Converting database postgres(1 tables)\n"
                    "Creating schema if necessary: 'dbo'\n"
                    "Converting table public.a(2 records)\n",
                    ""},
        ending_case{"RowErrorCompletesTheRunWithFailures",
                    [](vandrel_convertor& converter, event_log& events)
                    {
                        conv_test::destination_setup destination;
                        destination.faults.overflow_rows = {1};
                        sides(converter, events, {{{L"public.a", 2}}}, destination);
                    },
                    1,
                    "Converting database postgres(1 tables)\n"
                    "Creating schema if necessary: 'dbo'\n"
                    "Converting table public.a(2 records)\n"
                    "Error:\npublic.a, record #1: Literal value overflowed the range of the type "
                    "of the associated column.\n",
                    ""},
        ending_case{
            "LostDestinationEndsTheRunAtOnce",
            [](vandrel_convertor& converter, event_log& events)
            {
                conv_test::destination_setup destination;
                destination.faults.lost_rows = {2};
                sides(converter, events, {{{L"public.a", 3}, {L"public.b", 1}}}, destination);
            },
            255,
            "Converting database postgres(2 tables)\n"
            "Creating schema if necessary: 'dbo'\n"
            "Converting table public.a(3 records)\n"
            "Error:\npublic.a: The connection to SQL Server was lost: Communication link "
            "failure. 1 rows of this table had been stored, and 1 more may have been (their "
            "commit got no answer); the conversion stops.\n",
            ""},
        ending_case{"LostSourceEndsTheRunAtOnce",
                    [](vandrel_convertor& converter, event_log& events)
                    {
                        conv_test::source_setup source{{{L"public.a", 3}, {L"public.b", 1}}};
                        source.tables[0].lose_connection_at = 1;
                        sides(converter, events, source);
                    },
                    255,
                    "Converting database postgres(2 tables)\n"
                    "Creating schema if necessary: 'dbo'\n"
                    "Converting table public.a(3 records)\n"
                    "Error:\npublic.a: The connection to the PostgreSQL server was lost: server "
                    "closed the connection unexpectedly This probably means the server terminated "
                    "abnormally. 1 rows of this table had been stored; the conversion stops.\n",
                    ""},
        ending_case{"RunEndedByAnErrorIsAFailure",
                    [](vandrel_convertor& converter, event_log& events)
                    {
                        conv_test::destination_setup destination;
                        destination.exists = false;
                        destination.fail_create_db = true;
                        sides(converter, events, {{{L"public.a", 1}}}, destination);
                    },
                    255, "Error:\nErrors occurred.\n", ""},
        ending_case{"RunEndedByAForeignFailureIsAFailure",
                    [](vandrel_convertor& converter, event_log& events)
                    {
                        conv_test::source_setup source;
                        source.throw_foreign_failure = true;
                        sides(converter, events, source);
                    },
                    255, "", "disk on fire\n"},
        ending_case{"FailedSqlServerConnectionIsAFailure",
                    [](vandrel_convertor& converter, event_log& events)
                    {
                        converter.set_destination(std::make_unique<failing_destination>(
                            failing_destination::step::connect, events));
                    },
                    255, "Error:\nLogin failed for user 'sa'.\n", ""},
        // The server's refusal and the driver's record in FreeTDS's order, over the real SQL
        // Server side: the refused login is named, and both texts follow.
        ending_case{"RefusedLoginIsNamedWithTheServersText",
                    [](vandrel_convertor&, event_log&)
                    {
                        auto script = std::make_shared<oledb_test::fake_script>();
                        script->connect_status = plat::oledb::failure_from_diagnostics(
                            {{L"42000", 18456, L"[FreeTDS][SQL Server]Login failed for user 'sa'."},
                             {L"08001", 0,
                              L"[FreeTDS][SQL Server]Unable to connect to data source"}},
                            plat::oledb::odbc_call::connect, L"FreeTDS");
                        oledb_test::register_scripted_providers(
                            *plat::oledb::class_table::current(), script, true);
                    },
                    255,
                    "Error:\nInvalid user name or password. Login failed for user 'sa'. Unable to "
                    "connect to data source\n",
                    ""},
        ending_case{"FailedDestinationCheckIsAFailure",
                    [](vandrel_convertor& converter, event_log& events)
                    {
                        converter.set_destination(std::make_unique<failing_destination>(
                            failing_destination::step::check, events));
                    },
                    255, "Error:\nThe server is shutting down.\n", ""},
        ending_case{"SevereTableErrorEndsTheProgram",
                    [](vandrel_convertor& converter, event_log& events)
                    {
                        conv_test::source_setup source{{{L"public.a", 1}, {L"public.b", 1}}};
                        source.tables[0].fail_open = true;
                        source.tables[0].fail_severity = 1;
                        sides(converter, events, source);
                    },
                    255,
                    "Converting database postgres(2 tables)\n"
                    "Error:\npublic.a: cannot open public.a\n",
                    ""}),
    [](const testing::TestParamInfo<ending_case>& param_info) { return param_info.param.name; });

} // namespace
