// agent_lost_test.cpp: a server that goes away in the middle of a conversion, through a relay
// that cuts the connection: the source mid-table (in-process, against the test PostgreSQL) and,
// with ZOV_TEST_MSSQL set, the destination mid-batch and mid-commit (the built program). Each
// ends within seconds with one error for the table and exit status 255, and a rerun converts
// everything. Also the exit statuses 0, 1 and 255 of the program against the real server.
#include "agent_sqlserver_check.h"
#include "agent_test_support.h"
#include "convertor_fakes.h"
#include "mss/mss_database.h"
#include "mss/odb_command.h"
#include "plat/oledb/oledb_providers.h"
#include "plat/plat_text.h"
#include "tcp_relay.h"
#include "test_support.h"

#include <arpa/inet.h>
#include <chrono>
#include <future>
#include <gtest/gtest.h>
#include <regex>
#include <unistd.h>

namespace
{

using agent_test::agent_result;
using conv_test::event_log;
using relay_way = test_support::tcp_relay::direction;

/// A loss must end the program this soon (the bulk of it is the rest of the run's shutdown).
constexpr auto lost_limit = std::chrono::seconds(20);

std::size_t count_of(const std::string& text, const std::string& part)
{
    std::size_t count = 0;
    for (std::size_t at = text.find(part); at != std::string::npos;
         at = text.find(part, at + part.size()))
    {
        ++count;
    }
    return count;
}

bool numeric_address(const std::string& host)
{
    in_addr address{};
    return ::inet_pton(AF_INET, host.c_str(), &address) == 1;
}

/// Sets up a source database of three tables: big (60,000 rows of about 100 bytes), small
/// (900 rows of about 300 bytes) and tail (1 row).
std::unique_ptr<pgs_test::scratch_database> lost_source(const pgs_test::server_settings& server)
{
    auto database = std::make_unique<pgs_test::scratch_database>(server, "zov_lost");
    database->execute("CREATE TABLE big (id int PRIMARY KEY, filler varchar(200));"
                      "INSERT INTO big SELECT n, repeat('b', 90) || n FROM generate_series(1, "
                      "60000) AS n;"
                      "CREATE TABLE small (id int PRIMARY KEY, filler varchar(400));"
                      "INSERT INTO small SELECT n, repeat('s', 290) || n FROM generate_series(1, "
                      "900) AS n;"
                      "CREATE TABLE tail (id int PRIMARY KEY);"
                      "INSERT INTO tail VALUES (1);");
    return database;
}

class AgentLostSource : public agent_test::server_test<>
{
};

TEST_F(AgentLostSource, MidTableEndsWithinSecondsAndARerunConvertsEverything)
{
    if (!numeric_address(m_server.host))
    {
        GTEST_SKIP() << "PGHOST is not a numeric address; the relay forwards to one";
    }
    const std::unique_ptr<pgs_test::scratch_database> source = lost_source(m_server);
    const auto run = [&](int port, event_log& events)
    {
        pgs_test::server_settings through = m_server;
        through.port = port;
        std::vector<std::string> arguments = agent_test::server_options(through);
        arguments.insert(arguments.end(), {"--src=" + source->name(), "--dest=copy"});
        return agent_test::run_in_process(arguments,
                                          [&](vandrel_convertor& converter)
                                          {
                                              converter.set_destination(
                                                  std::make_unique<conv_test::fake_destination>(
                                                      conv_test::destination_setup{}, events));
                                          });
    };

    event_log cut_events;
    agent_result cut;
    std::chrono::steady_clock::duration took{};
    {
        test_support::tcp_relay relay(m_server.host, m_server.port);
        // Well past the catalog and the row counts, well before the end of big's rows.
        relay.cut_after(relay_way::to_client, 2'000'000);
        const auto start = std::chrono::steady_clock::now();
        cut = run(relay.port(), cut_events);
        took = std::chrono::steady_clock::now() - start;
        EXPECT_TRUE(relay.is_cut());
    }
    EXPECT_EQ(cut.status, 255) << cut.out << cut.err;
    EXPECT_LT(took, lost_limit);
    EXPECT_EQ(count_of(cut.out, "Error:\n"), 1u) << cut.out;
    EXPECT_NE(
        cut.out.find("Error:\npublic.big: The connection to the PostgreSQL server was lost: "),
        std::string::npos)
        << cut.out;
    EXPECT_NE(cut.out.find(" rows of this table had been stored; the conversion stops.\n"),
              std::string::npos)
        << cut.out;
    EXPECT_EQ(cut.out.find("public.small"), std::string::npos) << cut.out;
    const std::size_t rows_before = conv_test::filtered(cut_events, {"append [dbo].[big] "}).size();
    EXPECT_GT(rows_before, 0u);
    EXPECT_LT(rows_before, 60000u);

    event_log events;
    const agent_result rerun = run(m_server.port, events);
    EXPECT_EQ(rerun.status, 0) << rerun.out << rerun.err;
    EXPECT_EQ(conv_test::filtered(events, {"append [dbo].[big] "}).size(), 60000u);
    EXPECT_EQ(conv_test::filtered(events, {"append [dbo].[small] "}).size(), 900u);
    EXPECT_EQ(conv_test::filtered(events, {"append [dbo].[tail] "}).size(), 1u);
}

/// The program against the SQL Server of ZOV_TEST_MSSQL, reached directly or through a relay.
class AgentLostSqlServer : public testing::Test
{
protected:
    void SetUp() override
    {
        const std::optional<agent_test::mssql_login> login = agent_test::mssql_login_from_env();
        if (!login)
        {
            GTEST_SKIP() << "ZOV_TEST_MSSQL is unset (\"server;user;password\"): no SQL Server "
                            "to lose";
        }
        m_login = *login;
        const std::size_t comma = m_login.server.find(',');
        m_host = m_login.server.substr(0, comma);
        m_port = comma == std::string::npos ? 1433 : std::stoi(m_login.server.substr(comma + 1));
        if (m_host == "localhost" || m_host == "(local)" || m_host == ".")
        {
            m_host = "127.0.0.1";
        }
        if (!numeric_address(m_host))
        {
            GTEST_SKIP() << "the relay forwards to a numeric address, not " << m_host;
        }
        const std::optional<pgs_test::server_settings> server = pgs_test::server_from_env();
        ASSERT_TRUE(server) << "ZOV_TEST_MSSQL is set, but PGHOST is not: the conversion needs "
                               "the test PostgreSQL server too";
        m_server = *server;
        m_source = lost_source(m_server);
        plat::oledb::register_providers(m_classes);
        m_engine = std::make_unique<mss_engine>(true);
        drop_destination();
        m_ready = true;
    }

    void TearDown() override
    {
        if (m_ready)
        {
            drop_destination();
        }
    }

    void drop_destination()
    {
        m_engine->connect(plat::utf8_to_wide_lossy(m_login.server),
                          plat::utf8_to_wide_lossy(m_login.user),
                          plat::utf8_to_wide_lossy(m_login.password), true);
        const std::wstring name = plat::utf8_to_wide_lossy(m_dest);
        if (m_engine->is_db_exist(name))
        {
            m_engine->delete_db(name);
        }
    }

    /// Runs the program on the tables of `tables` (a list file) into the destination, through
    /// `port` of 127.0.0.1 or, with 0, straight to the server.
    agent_result convert(const std::string& tables, int port,
                         const std::vector<std::string>& more = {})
    {
        const std::string list = m_dir.file("tables.txt");
        test_support::write_file(list, tables);
        std::vector<std::string> arguments = agent_test::server_options(m_server);
        const std::string server = port == 0 ? m_login.server : "127.0.0.1," + std::to_string(port);
        arguments.insert(arguments.end(), {"--src=" + m_source->name(), "--dest=" + m_dest,
                                           "--mssqlh=" + server, "--mssqlu=" + m_login.user,
                                           "--mssqlp=" + m_login.password, "--tab_file=" + list});
        arguments.insert(arguments.end(), more.begin(), more.end());
        return agent_test::run_process(arguments);
    }

    /// Runs the program on `tables` in `mode` straight to the server, with the answer limit
    /// shortened to 5 s, while `holder` keeps the transaction `begin` opened; it is rolled back
    /// when the run ends, or after 60 s whatever happens, so that a run that waits for it ends.
    agent_result convert_while_held(mss_database& holder, const std::wstring& begin,
                                    const std::string& tables, const std::string& mode)
    {
        odb_command(holder.session()).execute(begin);
        std::promise<void> run_ended;
        std::future<void> release =
            std::async(std::launch::async,
                       [&holder, ended = run_ended.get_future()]
                       {
                           ended.wait_for(std::chrono::seconds(60));
                           odb_command(holder.session()).execute(L"ROLLBACK");
                       });
        ::setenv("ZOV_TEST_ANSWER_LIMIT_MS", "5000", 1);
        const auto start = std::chrono::steady_clock::now();
        const agent_result result = convert(tables, 0, {mode});
        EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(35));
        ::unsetenv("ZOV_TEST_ANSWER_LIMIT_MS");
        run_ended.set_value();
        release.get();
        return result;
    }

    /// Converts through a relay armed by `arm`; expects one error for `table`, exit status 255
    /// within the limit, and nothing of the table after it; then a rerun converts all.
    void expect_loss_and_rerun(const std::function<void(test_support::tcp_relay&)>& arm,
                               const std::string& table, long rows)
    {
        agent_result cut;
        {
            test_support::tcp_relay relay(m_host, m_port);
            arm(relay);
            const auto start = std::chrono::steady_clock::now();
            cut = convert("public." + table + "\npublic.tail\n", relay.port());
            EXPECT_LT(std::chrono::steady_clock::now() - start, lost_limit);
            EXPECT_TRUE(relay.is_cut());
        }
        EXPECT_EQ(cut.status, 255) << cut.out << cut.err;
        EXPECT_EQ(count_of(cut.out, "Error:\n"), 1u) << cut.out;
        EXPECT_NE(
            cut.out.find("Error:\npublic." + table + ": The connection to SQL Server was lost: "),
            std::string::npos)
            << cut.out;
        EXPECT_EQ(cut.out.find("public.tail"), std::string::npos) << cut.out;
        // The report tells what the table holds: the rows stored, and those whose commit got no
        // answer and which the server may have stored all the same.
        std::smatch stored;
        ASSERT_TRUE(std::regex_search(
            cut.out, stored,
            std::regex("([0-9]+) rows of this table had been stored(, and ([0-9]+) more may)?")))
            << cut.out;
        const long at_least = std::stol(stored[1].str());
        const long at_most = at_least + (stored[3].matched ? std::stol(stored[3].str()) : 0);
        const long held = agent_test::destination_reader(*m_engine, m_dest).row_count(table);
        EXPECT_GE(held, at_least) << cut.out;
        EXPECT_LE(held, at_most) << cut.out;
        if (!stored[2].matched)
        {
            EXPECT_EQ(held, at_least) << cut.out;
        }

        const agent_result rerun = convert("public." + table + "\npublic.tail\n", 0);
        EXPECT_EQ(rerun.status, 0) << rerun.out << rerun.err;
        agent_test::destination_reader reader(*m_engine, m_dest);
        EXPECT_EQ(reader.row_count(table), rows);
        EXPECT_EQ(reader.row_count("tail"), 1);
    }

    agent_test::mssql_login m_login;
    std::string m_host;
    int m_port = 1433;
    std::string m_dest = "lost_" + std::to_string(::getpid());
    pgs_test::server_settings m_server;
    std::unique_ptr<pgs_test::scratch_database> m_source;
    plat::oledb::class_table m_classes;
    std::unique_ptr<mss_engine> m_engine;
    test_support::temp_dir m_dir;
    bool m_ready = false;
};

// A server that stops answering, in both forms, at each kind of call that moves rows: the commit
// of a bulk batch (small's rows fit the sockets' buffers), a bulk send (broad's rows back up
// before any commit when the server stops reading), the INSERT of a row too wide for the bulk
// copy, a bulk load among whose rows every 200th is too wide for the bulk copy (the loader
// commits the rows before each and writes it apart: the report counts those commits), and
// INSERT statements (rows written one by one). The run ends
// within the limit (shortened here) plus 30 s, with one report and status 255, and the table
// holds what the report says it may.
TEST_F(AgentLostSqlServer, AServerThatStopsAnsweringEndsTheRunWithinTheLimit)
{
    // broad's rows are 8 values of 3,900 bytes, each small enough for the bulk copy: 600 rows
    // are far more than the sockets' buffers hold before the first commit. long's rows of
    // 400 kB are too wide for it: each goes by an INSERT of its own.
    m_source->execute("CREATE TABLE broad (id int PRIMARY KEY, b1 bytea, b2 bytea, b3 bytea, "
                      "b4 bytea, b5 bytea, b6 bytea, b7 bytea, b8 bytea);"
                      "INSERT INTO broad SELECT n, v, v, v, v, v, v, v, v FROM "
                      "generate_series(1, 600) AS n, decode(repeat('ab', 3900), 'hex') AS v;"
                      "CREATE TABLE mixed (id int PRIMARY KEY, filler text);"
                      "INSERT INTO mixed SELECT n, CASE WHEN n % 200 = 0 THEN repeat('m', 5000) "
                      "ELSE 'm' || n END FROM generate_series(1, 20000) AS n;"
                      "CREATE TABLE long (id int PRIMARY KEY, filler text);"
                      "INSERT INTO long SELECT n, repeat('w', 400000) || n FROM generate_series(1, "
                      "60) AS n;");
    const struct
    {
        const char* name;
        const char* table;
        bool inserts;
    } calls[] = {{"a bulk commit", "small", false},
                 {"a bulk send", "broad", false},
                 {"a wide row's INSERT", "long", false},
                 {"a bulk load with rows written apart", "mixed", false},
                 {"an INSERT statement", "small", true}};
    const struct
    {
        const char* name;
        test_support::tcp_relay::stall how;
    } stalls[] = {{"stop reading", test_support::tcp_relay::stall::stop_reading},
                  {"read and discard", test_support::tcp_relay::stall::discard}};
    ::setenv("ZOV_TEST_ANSWER_LIMIT_MS", "5000", 1);
    for (const auto& call : calls)
    {
        for (const auto& stall : stalls)
        {
            SCOPED_TRACE(std::string(call.name) + ", " + stall.name);
            const std::string table = call.table;
            drop_destination();
            if (call.inserts)
            {
                ::setenv("ZOV_NO_FAST_LOAD", "1", 1);
            }
            agent_result silent;
            {
                test_support::tcp_relay relay(m_host, m_port);
                relay.stall_after(call.inserts       ? 60'000
                                  : table == "mixed" ? 400'000
                                                     : 150'000,
                                  stall.how);
                const auto start = std::chrono::steady_clock::now();
                silent = convert("public." + table + "\npublic.tail\n", relay.port());
                EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(35));
                EXPECT_TRUE(relay.is_stalled());
            }
            ::unsetenv("ZOV_NO_FAST_LOAD");
            EXPECT_EQ(silent.status, 255) << silent.out << silent.err;
            EXPECT_EQ(count_of(silent.out, "Error:\n"), 1u) << silent.out;
            std::smatch stored;
            ASSERT_TRUE(std::regex_search(
                silent.out, stored,
                std::regex("Error:\npublic." + table +
                           ": SQL Server did not answer for 5 seconds while storing public." +
                           table +
                           ": ([0-9]+) rows stored(, ([0-9]+) more may have been)?; the "
                           "conversion stops.")))
                << silent.out;
            EXPECT_EQ(silent.out.find("public.tail"), std::string::npos) << silent.out;
            const long at_least = std::stol(stored[1].str());
            const long at_most = at_least + (stored[3].matched ? std::stol(stored[3].str()) : 0);
            const long held = agent_test::destination_reader(*m_engine, m_dest).row_count(table);
            EXPECT_GE(held, at_least) << silent.out;
            EXPECT_LE(held, at_most) << silent.out;
            if (!stored[3].matched)
            {
                EXPECT_EQ(held, at_least) << silent.out;
            }
        }
    }
    ::unsetenv("ZOV_TEST_ANSWER_LIMIT_MS");
}

// A merge into a table on which another session holds a lock (an uncommitted ALTER TABLE): the
// look at the table's columns waits no longer than the limit (shortened here), and the table
// ends as on a silent server, with one report and status 255, nothing stored by the run. The
// lock is given up after 60 seconds whatever happens, so that a run that waits for it ends.
TEST_F(AgentLostSqlServer, ALockHeldOnTheTableEndsAMergeWithinTheLimit)
{
    drop_destination();
    const agent_result created = convert("public.tail\n", 0);
    ASSERT_EQ(created.status, 0) << created.out << created.err;
    const std::unique_ptr<mss_database> holder =
        m_engine->open_db(plat::utf8_to_wide_lossy(m_dest), udb_open_mode::append);
    const agent_result locked = convert_while_held(
        *holder, L"BEGIN TRAN; ALTER TABLE [dbo].[tail] ADD x int", "public.tail\n", "--mode=3");
    EXPECT_EQ(locked.status, 255) << locked.out << locked.err;
    EXPECT_EQ(count_of(locked.out, "Error:\n"), 1u) << locked.out;
    EXPECT_NE(locked.out.find("Error:\npublic.tail: SQL Server did not answer for 5 seconds while "
                              "storing public.tail: 0 rows stored; the conversion stops."),
              std::string::npos)
        << locked.out;
    // The row of the first run, and none of this one.
    EXPECT_EQ(agent_test::destination_reader(*m_engine, m_dest).row_count("tail"), 1);
}

// A merge of mode 4 into an existing table with a column of its own (its rows go by INSERT
// statements of several rows) and a unique index on v: the rows 1 and 2 are new, the rows 3 to 5
// conflict with stored rows on the key. The statement of the five rows fails on row 3's key;
// they are written again one by one: 1 and 2 stored, and row 3's update waits, no longer than
// the limit (shortened here), for another session's uncommitted row holding row 3's new v. The
// table ends as on a silent server with one report, rows 4 and 5 never written; the report's
// counts hold what the table has of the run's rows once the other session has given up: those
// stored at least, those in doubt at most.
TEST_F(AgentLostSqlServer, ALockedKeyEndsAnUpdatingMergeWithTheRowsItStored)
{
    m_source->execute("CREATE TABLE k6 (id int PRIMARY KEY, v varchar(20));"
                      "INSERT INTO k6 SELECT n, 'n' || n FROM generate_series(1, 5) AS n;");
    drop_destination();
    const agent_result created = convert("public.k6\n", 0);
    ASSERT_EQ(created.status, 0) << created.out << created.err;
    const std::unique_ptr<mss_database> holder =
        m_engine->open_db(plat::utf8_to_wide_lossy(m_dest), udb_open_mode::append);
    odb_command(holder->session())
        .execute(L"ALTER TABLE [dbo].[k6] ADD extra int NULL; DELETE FROM [dbo].[k6] WHERE id < 3; "
                 L"UPDATE [dbo].[k6] SET v = 'old' + CAST(id AS varchar(10)); CREATE UNIQUE INDEX "
                 L"k6_v ON [dbo].[k6] (v)");
    const agent_result merged = convert_while_held(
        *holder, L"BEGIN TRAN; INSERT INTO [dbo].[k6] (id, v) VALUES (100, 'n3')", "public.k6\n",
        "--mode=4");
    EXPECT_EQ(merged.status, 255) << merged.out << merged.err;
    EXPECT_EQ(count_of(merged.out, "Error:\n"), 1u) << merged.out;
    std::smatch stored;
    ASSERT_TRUE(std::regex_search(
        merged.out, stored,
        std::regex("Error:\npublic.k6: SQL Server did not answer for 5 seconds while storing "
                   "public.k6: ([0-9]+) rows stored(, ([0-9]+) more may have been)?; the "
                   "conversion stops.")))
        << merged.out;
    EXPECT_EQ(stored[0].str(), "Error:\npublic.k6: SQL Server did not answer for 5 seconds while "
                               "storing public.k6: 2 rows stored, 1 more may have been; the "
                               "conversion stops.");
    const long at_least = std::stol(stored[1].str());
    const long at_most = at_least + (stored[3].matched ? std::stol(stored[3].str()) : 0);
    const std::vector<std::vector<std::string>> run_rows =
        agent_test::destination_reader(*m_engine, m_dest)
            .query("SELECT COUNT(*) FROM [dbo].[k6] WHERE v = 'n' + CAST(id AS varchar(10))");
    ASSERT_EQ(run_rows.size(), 1u);
    const long held = std::stol(run_rows[0].at(0));
    EXPECT_GE(held, at_least) << merged.out;
    EXPECT_LE(held, at_most) << merged.out;
}

// One test, its steps in turn: the server's catalog refuses databases created side by side.
TEST_F(AgentLostSqlServer, EndsWithinSecondsAndTheExitStatusTellsWhatArrived)
{
    {
        SCOPED_TRACE("mid-batch");
        // big's rows are some 6 MB on the way: the cut falls among them.
        expect_loss_and_rerun([](test_support::tcp_relay& relay)
                              { relay.cut_after(relay_way::to_server, 3'000'000); },
                              "big", 60000);
    }
    {
        SCOPED_TRACE("mid-commit");
        // small's rows (some 270 kB, one batch) stream to the server without an answer; the
        // first answer after them is the commit's, and the server is gone before it arrives.
        expect_loss_and_rerun([](test_support::tcp_relay& relay)
                              { relay.cut_at_answer_after(150'000); },
                              "small", 900);
    }
    SCOPED_TRACE("exit statuses");
    const agent_result complete = convert("public.tail\n", 0);
    EXPECT_EQ(complete.status, 0) << complete.out << complete.err;
    const agent_result missing = convert("public.tail\npublic.nowhere\n", 0);
    EXPECT_EQ(missing.status, 1) << missing.out << missing.err;
    EXPECT_EQ(missing.err, "Table public.nowhere not exists\n");
    test_support::tcp_relay relay(m_host, m_port);
    relay.cut_now();
    const agent_result gone = convert("public.tail\n", relay.port());
    EXPECT_EQ(gone.status, 255) << gone.out << gone.err;
}

} // namespace
