// mss_table_lost_test.cpp: the table writer over the scripted link when the connection goes: on
// an INSERT, on a bulk commit (while the next rows wait for it) and on the reconnect after a
// failed batch, on a merge's update or key lookup while a failed batch is written again. Nothing
// is written again and nothing is reported row by row; one failure tells what is not stored, the
// rows that waited for the commit among them. And a row send the driver fails, with a new
// connection to be had: its batch is written again by INSERT.
#include "mss/mss_table.h"
#include "mss/odb_exception.h"
#include "mss_table_fixture.h"
#include "tk/tk_logger.h"

#include <atomic>
#include <chrono>
#include <functional>
#include <gtest/gtest.h>
#include <map>
#include <optional>
#include <thread>

namespace
{

using namespace mss_test;

struct lost_case
{
    const char* name;
    bool fast_load;
    int rows;
    /// Arms the script once the first row is appended (the loader is connected by then).
    std::function<void(fake_script&)> after_first_row;
    /// Scripts the failure before any row.
    std::function<void(fake_script&)> before;
    /// The row whose append throws; 0: flush throws.
    int failing_append;
    /// -1: a plain OLE DB failure with the connection lost (the caller counts the row).
    std::int64_t rows_not_stored;
    std::string text;
    /// Of those, the rows whose commit got no answer (-1 for a plain failure).
    std::int64_t rows_in_doubt = -1;
    /// The first commit is held until this row has been appended (the rows after the batch
    /// wait for it); 0: not held.
    int hold_until = 0;
};

void PrintTo(const lost_case& test, std::ostream* out)
{
    *out << test.name;
}

class MssTableLost : public MssTable, public testing::WithParamInterface<lost_case>
{
};

TEST_P(MssTableLost, EndsTheLoadWithOneFailureAndWritesNothingAgain)
{
    const lost_case& test = GetParam();
    open(test.fast_load, test.fast_load, {described(L"id", sql_type::integer)});
    if (test.before)
    {
        test.before(*m_script);
    }
    if (test.hold_until > 0)
    {
        m_gate.hold(*m_script);
    }
    std::unique_ptr<odb_table> table = writer({column(L"id", VT_I4)});
    bool thrown = false;
    const auto check = [&](const odb_exception& error)
    {
        thrown = true;
        EXPECT_TRUE(error.connection_lost());
        EXPECT_EQ(error.message(), test.text);
        const auto* lost = dynamic_cast<const mss_connection_lost*>(&error);
        EXPECT_EQ(lost != nullptr ? lost->rows_not_stored() : -1, test.rows_not_stored);
        EXPECT_EQ(lost != nullptr ? lost->rows_in_doubt() : -1, test.rows_in_doubt);
        if (lost != nullptr && lost->rows_in_doubt() > 0)
        {
            // Their commit was answered, with this error.
            EXPECT_EQ(plat::wide_to_utf8(lost->commit_failure()), test.text);
        }
    };
    int appended = 0;
    try
    {
        for (int id = 1; id <= test.rows; ++id)
        {
            udb_record record = row_of({{L"id", ole_variant(id)}});
            table->append_record(record);
            appended = id;
            if (id == 1 && test.after_first_row)
            {
                test.after_first_row(*m_script);
            }
            if (id == test.hold_until)
            {
                m_gate.open();
            }
        }
        table->flush();
    }
    catch (const odb_exception& error)
    {
        check(error);
    }
    m_gate.open();
    EXPECT_TRUE(thrown);
    EXPECT_EQ(appended, test.failing_append == 0 ? test.rows : test.failing_append - 1);
    EXPECT_TRUE(m_failures.empty());
    if (test.fast_load)
    {
        EXPECT_TRUE(trace_of({L"INSERT"}).empty());
    }
}

void lose_batches(fake_script& script)
{
    script.failing_batches = {1};
    script.batches_lose_connection = true;
}

INSTANTIATE_TEST_SUITE_P(
    Links, MssTableLost,
    testing::Values(
        lost_case{"OnAnInsertStatement",
                  false,
                  5,
                  {},
                  [](fake_script& script)
                  {
                      fake_result lost;
                      lost.reached = oledb_test::statement_failure(
                          L"08S01", L"[FreeTDS][SQL Server]Communication link failure");
                      script.batches[L"INSERT INTO [dbo].[t]([id]) VALUES( 3)"] = {lost};
                  },
                  3,
                  -1,
                  "Communication link failure"},
        lost_case{
            "OnTheFinalCommit", true, 3, {}, lose_batches, 0, 3, "Communication link failure", 3},
        // The rows after the batch wait for its commit: the failure is seen at the end.
        lost_case{"OnACommitMidTable",
                  true,
                  1003,
                  {},
                  lose_batches,
                  0,
                  1003,
                  "Communication link failure",
                  1000,
                  1003},
        // A whole batch waits: the next row waits for the commit and meets its failure.
        lost_case{"OnACommitWithTheNextBatchWaiting",
                  true,
                  2005,
                  {},
                  lose_batches,
                  2001,
                  2001,
                  "Communication link failure",
                  1000,
                  2000},
        lost_case{"OnARowMidBatch",
                  true,
                  1600,
                  {},
                  [](fake_script& script) { script.lose_connection_at_row = 1500; },
                  0,
                  600,
                  "Write to the server failed",
                  0,
                  1600},
        // A waiting row is sent after the commit and loses the connection: the rows after it
        // and the row being appended are not stored either.
        lost_case{"OnAWaitingRowSentAfterTheCommit",
                  true,
                  2005,
                  {},
                  [](fake_script& script) { script.lose_connection_at_row = 1200; },
                  2001,
                  1001,
                  "Write to the server failed",
                  0,
                  2000},
        lost_case{"OnTheReconnectAfterAFailedBatch", true, 1003,
                  [](fake_script& script) { script.refuse_connections = true; },
                  [](fake_script& script) { script.failing_batches = {1}; }, 0, 1003,
                  "Unable to connect: Adaptive Server is unavailable or does not exist", 1000,
                  1003},
        // A row send the driver fails ends its batch; no new connection can be made: the
        // table ends as on a lost server, told by the send's own error, and nothing is written
        // again by INSERT.
        lost_case{"OnARowSendTheDriverFailsWithoutANewConnection", true, 600,
                  [](fake_script& script) { script.refuse_connections = true; },
                  [](fake_script& script) { script.failing_sends = {500}; }, 500, 500,
                  "General driver error", 0},
        lost_case{"OnTheReconnectAfterAFailedFinalBatch", true, 3,
                  [](fake_script& script) { script.refuse_connections = true; },
                  [](fake_script& script) { script.failing_batches = {1}; }, 0, 3,
                  "Unable to connect: Adaptive Server is unavailable or does not exist", 3}),
    [](const testing::TestParamInfo<lost_case>& param_info) { return param_info.param.name; });

TEST(OdbExceptionState, ConnectionClassesAreTheLostConnection)
{
    for (const auto& [state, lost] : std::vector<std::pair<std::wstring, bool>>{{L"08S01", true},
                                                                                {L"08001", true},
                                                                                {L"08003", true},
                                                                                {L"HYT00", true},
                                                                                {L"HYT01", true},
                                                                                {L"23000", false},
                                                                                {L"42000", false},
                                                                                {L"HY000", false},
                                                                                {L"", false}})
    {
        plat::oledb::error_record record;
        record.description = L"text";
        record.sqlstate = state;
        record.minor = 7;
        plat::oledb::post_errors({record});
        const odb_exception error(E_FAIL);
        EXPECT_EQ(error.connection_lost(), lost) << plat::wide_to_utf8(state);
        EXPECT_EQ(error.sqlstate(), state);
        EXPECT_EQ(error.native_error(), state.empty() ? 0 : 7);
    }
}

TEST(OdbExceptionState, ARealTextWinsOverUnknownErrorAndALostConnectionOverBoth)
{
    const auto record = [](const wchar_t* state, const wchar_t* text)
    {
        plat::oledb::error_record entry;
        entry.description = text;
        entry.sqlstate = std::wstring(state);
        return entry;
    };
    plat::oledb::post_errors(
        {record(L"HY000", L"Unknown error"), record(L"42000", L"Incorrect syntax near 'x'.")});
    EXPECT_STREQ(odb_exception(E_FAIL).what(), "Incorrect syntax near 'x'.");
    plat::oledb::post_errors({record(L"HY000", L"Unknown error")});
    EXPECT_STREQ(odb_exception(E_FAIL).what(), "Unknown error");
    plat::oledb::post_errors({record(L"23000", L"Violation of PRIMARY KEY constraint."),
                              record(L"08S01", L"Communication link failure")});
    const odb_exception lost(E_FAIL);
    EXPECT_STREQ(lost.what(), "Communication link failure");
    EXPECT_EQ(lost.sqlstate(), L"23000");
    EXPECT_TRUE(lost.connection_lost());
}

} // namespace

namespace
{

using namespace mss_test;

// A commit on the loader's thread that gets no answer within the limit: the table ends as on a
// lost connection, the commit's rows in doubt and never written again, the rows that waited for
// it not stored; the call that waited returns.
TEST_F(MssTable, ACommitWithoutAnAnswerEndsTheLoadWithItsRowsInDoubt)
{
    open(true, true, {described(L"id", sql_type::integer)});
    mss_fast_load::set_answer_limit(std::chrono::milliseconds(300));
    m_gate.hold(*m_script);
    const auto hold = m_script->on_batch_end;
    std::atomic<bool> returned{false};
    m_script->on_batch_end = [hold, &returned](int call)
    {
        hold(call);
        returned = call == 1 || returned;
    };
    bool thrown = false;
    const auto started = std::chrono::steady_clock::now();
    {
        std::unique_ptr<odb_table> table = writer({column(L"id", VT_I4)});
        try
        {
            for (int id = 1; id <= 1500; ++id)
            {
                udb_record record = row_of({{L"id", ole_variant(id)}});
                table->append_record(record);
            }
            table->flush();
        }
        catch (const mss_connection_lost& lost)
        {
            thrown = true;
            EXPECT_EQ(lost.silent_seconds(), 1);
            EXPECT_EQ(lost.rows_not_stored(), 1500);
            EXPECT_EQ(lost.rows_in_doubt(), 1000);
            EXPECT_EQ(lost.message(), "SQL Server did not answer for 1 seconds");
            EXPECT_EQ(dynamic_cast<const mss_table&>(*table).rows_written(), 0);
        }
    }
    EXPECT_LT(std::chrono::steady_clock::now() - started, std::chrono::seconds(5));
    mss_fast_load::set_answer_limit(std::chrono::seconds(120));
    // The commit left behind ends once let go, before the link goes.
    m_gate.open();
    while (!returned)
    {
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    EXPECT_TRUE(thrown);
    EXPECT_TRUE(trace_of({L"INSERT"}).empty());
    EXPECT_TRUE(m_failures.empty());
}

} // namespace

// Every call that moves rows waits for the server at most the limit: the load's own connection
// limits every wait on it, and each statement of the writer (its INSERTs, key lookups and
// switches) carries the limit.
class MssTableLimits : public MssTable
{
protected:
    void expect_limited(bool fast_load, int links_limited)
    {
        open(fast_load, fast_load, {described(L"id", sql_type::integer)});
        {
            std::unique_ptr<odb_table> table = writer({column(L"id", VT_I4)});
            for (int id = 1; id <= 3; ++id)
            {
                udb_record record = row_of({{L"id", ole_variant(id)}});
                table->append_record(record);
            }
            table->flush();
        }
        EXPECT_EQ(m_script->links_limited, links_limited);
        std::size_t writer_statements = 0;
        for (const std::wstring& sql : m_script->executed)
        {
            if (!sql.starts_with(L"SET QUOTED_IDENTIFIER") && !sql.starts_with(L"INSERT INTO"))
            {
                continue; // the database's own statements, and the load's look at the columns
            }
            ++writer_statements;
            const auto limit = m_script->time_limits.find(sql);
            ASSERT_NE(limit, m_script->time_limits.end()) << plat::wide_to_utf8(sql);
            EXPECT_EQ(limit->second, 120u) << plat::wide_to_utf8(sql);
        }
        EXPECT_EQ(writer_statements, fast_load ? 1u : 3u);
    }
};

TEST_F(MssTableLimits, ByInsertStatements)
{
    expect_limited(false, 0);
}

TEST_F(MssTableLimits, ByBulkCopy)
{
    expect_limited(true, 1);
}

// A row's INSERT that got no answer in time ends the table as a silent server does, its row in
// doubt.
TEST_F(MssTableLimits, AStatementWithoutAnAnswerEndsTheTableAsASilentServer)
{
    open(false, false, {described(L"id", sql_type::integer)});
    m_script->silent_on = L"VALUES( 2)";
    std::unique_ptr<odb_table> table = writer({column(L"id", VT_I4)});
    udb_record first = row_of({{L"id", ole_variant(1)}});
    table->append_record(first);
    udb_record second = row_of({{L"id", ole_variant(2)}});
    try
    {
        table->append_record(second);
        ADD_FAILURE() << "a statement without an answer was taken as stored";
    }
    catch (const odb_exception& error)
    {
        EXPECT_TRUE(error.connection_lost());
        const mss_connection_lost lost(error, 1, 1);
        EXPECT_EQ(lost.silent_seconds(), 120);
    }
    EXPECT_EQ(dynamic_cast<const mss_table&>(*table).rows_written(), 1);
}

// The row-failure handler meets a lost connection while the rows of a failed batch are written
// again (a merge's update of the row's key that got no answer): the table ends there, the rows
// still to write again counted with the handler's row, and none of them is written.
TEST_F(MssTable, ALostConnectionMetByTheHandlerDuringAReplayCountsTheRowsStillToWrite)
{
    open(true, true, {described(L"id", sql_type::integer)});
    m_script->failing_batches = {1};
    m_script->refuse_statement = [](const std::wstring& sql)
    { return sql.find(L"VALUES( 2)") != std::wstring::npos; };
    std::unique_ptr<odb_table> table = writer({column(L"id", VT_I4)});
    std::vector<std::int64_t> handled;
    table->set_row_failure_handler(
        [&handled](udb_record&, std::int64_t number, const tk_exception&)
        {
            handled.push_back(number);
            plat::oledb::error_record silent;
            silent.description = L"Timeout expired";
            silent.sqlstate = L"HYT00";
            plat::oledb::post_errors({silent});
            // As the run does with an update that may have run before its answer was lost.
            throw mss_connection_lost(odb_exception(E_FAIL), 1, 1);
        });
    for (int id = 1; id <= 5; ++id)
    {
        udb_record record = row_of({{L"id", ole_variant(id)}});
        table->append_record(record);
    }
    try
    {
        table->flush();
        ADD_FAILURE() << "the lost connection was not thrown";
    }
    catch (const mss_connection_lost& lost)
    {
        EXPECT_EQ(lost.rows_not_stored(), 4);
        EXPECT_EQ(lost.rows_in_doubt(), 1);
        EXPECT_EQ(lost.silent_seconds(), static_cast<int>(plat::oledb::answer_limit_seconds()));
    }
    EXPECT_EQ(handled, std::vector<std::int64_t>{2});
    // Nothing after the handler's row was written again.
    for (const std::wstring& sql : m_script->executed)
    {
        EXPECT_EQ(sql.find(L"VALUES( 3)"), std::wstring::npos) << plat::wide_to_utf8(sql);
    }
    const auto& writer_rows = dynamic_cast<mss_table&>(*table).load_rows();
    EXPECT_EQ(writer_rows.stored(), 1);
    writer_rows.check(-1);
}

struct failed_send_case
{
    const char* name;
    // The row (of 1,200) whose send the driver fails.
    int failing_row;
};

void PrintTo(const failed_send_case& test, std::ostream* out)
{
    *out << test.name;
}

class MssTableFailedSend : public MssTable, public testing::WithParamInterface<failed_send_case>
{
};

// A row send the driver fails mid-batch (its connection closed under the loader): the batch, that
// row included, is written again by INSERT on a new connection, and the rows after it go by bulk
// copy again, not one by one; the trace log tells of the failure once, not once per later row.
TEST_P(MssTableFailedSend, WritesItsBatchAgainOnANewConnection)
{
    const failed_send_case& test = GetParam();
    const test_support::temp_dir dir;
    tk_logger logger(dir.file("trace.log").c_str(), true, 0, false);
    open(true, true, {described(L"id", sql_type::integer)});
    m_script->failing_sends = {test.failing_row};
    std::unique_ptr<odb_table> table = writer({column(L"id", VT_I4)});
    const int links_before = m_script->links_made;
    for (int id = 1; id <= 1200; ++id)
    {
        udb_record record = row_of({{L"id", ole_variant(id)}});
        table->append_record(record);
    }
    table->flush();
    EXPECT_EQ(dynamic_cast<const mss_table&>(*table).rows_written(), 1200);
    // The failed batch's first row: batches hold 1,000 rows.
    const int batch_start = (test.failing_row - 1) / 1000 * 1000 + 1;
    std::map<int, int> inserted;
    std::map<int, int> sent;
    bool rolled_back = false;
    for (const std::wstring& line : m_script->trace)
    {
        rolled_back = rolled_back || line == L"rollback";
        if (line.starts_with(L"row("))
        {
            ++sent[std::stoi(line.substr(4))];
        }
        else if (const std::size_t values = line.find(L"VALUES( "); values != std::wstring::npos)
        {
            ++inserted[std::stoi(line.substr(values + 8))];
        }
    }
    // A batch with rows sent before the failed one is rolled back with its connection.
    EXPECT_EQ(rolled_back, test.failing_row > batch_start);
    for (int id = 1; id <= 1200; ++id)
    {
        const bool replayed = id >= batch_start && id <= test.failing_row;
        EXPECT_EQ(inserted[id], replayed ? 1 : 0) << "row " << id;
        if (id > test.failing_row)
        {
            EXPECT_EQ(sent[id], 1) << "row " << id << " did not go by bulk copy";
        }
    }
    // The load's first connection, and one new one after the failure.
    EXPECT_EQ(m_script->links_made - links_before, 2);
    const std::string log = test_support::read_file(dir.file("trace.log"));
    std::size_t told = 0;
    for (std::size_t at = log.find("General driver error"); at != std::string::npos;
         at = log.find("General driver error", at + 1))
    {
        ++told;
    }
    // The driver's error (its message and its record) and the batch it ended, once each.
    EXPECT_EQ(told, 3U) << log.substr(0, 4000);
    const std::string batch_line = "A batch of [dbo].[t] was not stored (" +
                                   std::to_string(test.failing_row - batch_start + 1) +
                                   " rows): General driver error";
    EXPECT_NE(log.find(batch_line), std::string::npos) << batch_line;
}

INSTANTIATE_TEST_SUITE_P(Sends, MssTableFailedSend,
                         testing::Values(failed_send_case{"FirstRowOfTheLoad", 1},
                                         failed_send_case{"MidBatch", 500},
                                         failed_send_case{"LastRowOfABatch", 1000},
                                         failed_send_case{"MidSecondBatch", 1100}),
                         [](const testing::TestParamInfo<failed_send_case>& param_info)
                         { return std::string(param_info.param.name); });

struct merge_loss_case
{
    const char* name;
    // Updates the row of a conflicting key (else looks its key up).
    bool update;
    bool silent;
    // The statement ran before its answer was lost.
    bool ran;
    std::int64_t rows_not_stored;
    std::int64_t rows_in_doubt;
};

void PrintTo(const merge_loss_case& test, std::ostream* out)
{
    *out << test.name;
}

class MssTableMergeLoss : public MssTable, public testing::WithParamInterface<merge_loss_case>
{
};

// An existing table's bulk batch of 5 rows fails on a stored key; its rows are written again
// one by one, and row 3 conflicts with a stored row: the run updates it (or looks its key up) as
// a merge does, and that statement finds the server lost or silent. The table ends there, as it
// would anywhere else: rows 4 and 5, still to be written again, are counted with row 3, and the
// table holds at least the rows the run would report stored and at most those in doubt besides.
TEST_P(MssTableMergeLoss, EndsTheTableWithTheRowsStillToWriteCounted)
{
    const merge_loss_case& test = GetParam();
    m_script->batches[sp_columns_sql] = {sp_columns_rows({
        sp_row(L"t", L"id", L"int", L"10", L"4", L"0", std::nullopt),
        sp_row(L"t", L"name", L"nvarchar", L"20", L"40", std::nullopt, std::nullopt),
    })};
    fake_result keys;
    for (const wchar_t* name :
         {L"TABLE_CAT", L"TABLE_SCHEM", L"TABLE_NAME", L"COLUMN_NAME", L"KEY_SEQ", L"PK_NAME"})
    {
        keys.columns.push_back(described(name, sql_type::wvarchar, 128));
    }
    // The key lookup runs a statement only for a key that compares by collation.
    keys.rows = {{text(u"shop"), text(u"dbo"), text(u"t"), text(test.update ? u"id" : u"name"),
                  text(u"1"), text(u"PK_t")}};
    m_script->catalog[L"primary_keys"] = keys;
    open(true, true,
         {described(L"id", sql_type::integer, 10), described(L"name", sql_type::wvarchar, 20)});
    std::unique_ptr<odb_table> table = existing(udb_open_mode::append);
    auto& writer = dynamic_cast<mss_table&>(*table);
    m_script->failing_batches = {1};
    m_script->stay_dead = true;
    m_script->refuse_statement = [](const std::wstring& sql)
    { return sql.starts_with(L"INSERT") && sql.find(L"VALUES( 3,") != std::wstring::npos; };
    m_script->lost_statements_silent = test.silent;
    m_script->lost_statements_ran = test.ran;
    m_script->lose_statement = [update = test.update](const std::wstring& sql)
    {
        return update ? sql.starts_with(L"UPDATE")
                      : sql.starts_with(L"SELECT") && sql.find(L"N'n3'") != std::wstring::npos;
    };
    std::int64_t refused = 0;
    // What the run does with a row that conflicts with a stored key.
    table->set_row_failure_handler(
        [&](udb_record& record, std::int64_t number, const tk_exception&)
        {
            EXPECT_EQ(number, 3);
            std::int64_t not_stored = 1;
            std::int64_t in_doubt = 1;
            try
            {
                if (test.update)
                {
                    writer.update(record);
                }
                else
                {
                    // A duplicate is dropped: the row counts as refused.
                    ++refused;
                    not_stored = 0;
                    in_doubt = 0;
                    writer.check_duplicate(record);
                }
            }
            catch (const odb_exception& error)
            {
                ASSERT_TRUE(error.connection_lost()) << error.what();
                const auto* lost = dynamic_cast<const mss_connection_lost*>(&error);
                ASSERT_NE(lost, nullptr) << "the writer did not count the rows it holds";
                throw mss_connection_lost(*lost, lost->rows_not_stored() + not_stored,
                                          lost->rows_in_doubt() + in_doubt);
            }
        });
    std::optional<mss_connection_lost> lost;
    try
    {
        for (int id = 1; id <= 5; ++id)
        {
            udb_record record = row_of(
                {{L"id", ole_variant(id)}, {L"name", ole_variant(L"n" + std::to_wstring(id))}});
            table->set_next_row_number(id);
            table->append_record(record);
        }
        table->flush();
    }
    catch (const mss_connection_lost& error)
    {
        lost.emplace(error);
    }
    ASSERT_TRUE(lost) << "the table did not end";
    EXPECT_EQ(lost->rows_not_stored(), test.rows_not_stored);
    EXPECT_EQ(lost->rows_in_doubt(), test.rows_in_doubt);
    EXPECT_EQ(lost->silent_seconds() > 0, test.silent);
    // What the link holds: the rows written again, and the update where it ran.
    std::int64_t held = 0;
    for (const std::wstring& line : m_script->trace)
    {
        const bool refused_line =
            std::find(m_script->refused_statements.begin(), m_script->refused_statements.end(),
                      line) != m_script->refused_statements.end();
        held += !refused_line &&
                (line.find(L"INSERT INTO") != std::wstring::npos || line.starts_with(L"UPDATE"));
    }
    const std::int64_t stored = 5 - refused - lost->rows_not_stored();
    EXPECT_EQ(stored, 2);
    EXPECT_LE(stored, held);
    EXPECT_LE(held, stored + lost->rows_in_doubt());
    for (const std::wstring& sql : m_script->executed)
    {
        EXPECT_EQ(sql.find(L"VALUES( 4,"), std::wstring::npos) << plat::wide_to_utf8(sql);
    }
}

INSTANTIATE_TEST_SUITE_P(
    Merges, MssTableMergeLoss,
    testing::Values(merge_loss_case{"AnUpdateThatDidNotRun", true, false, false, 3, 1},
                    merge_loss_case{"AnUpdateThatRanBeforeItsAnswerWasLost", true, false, true, 3,
                                    1},
                    merge_loss_case{"AnUpdateWithoutAnAnswer", true, true, true, 3, 1},
                    merge_loss_case{"AKeyLookupOnALostConnection", false, false, false, 2, 0},
                    merge_loss_case{"AKeyLookupWithoutAnAnswer", false, true, false, 2, 0}),
    [](const testing::TestParamInfo<merge_loss_case>& param_info)
    { return std::string(param_info.param.name); });
