// conversion_lost_test.cpp: a run that loses a server ends at once with one report, a table
// whose rows keep failing alike stops with one line, and the run counts what it reported.
#include "convertor_fakes.h"

#include <gtest/gtest.h>

namespace
{

using conv_test::event_log;
using conv_test::filtered;
using conv_test::run_bench;

const std::string overflow_text =
    "Literal value overflowed the range of the type of the associated column.";

struct lost_case
{
    const char* name;
    /// Source row after which the source's connection breaks; 0: never.
    int source_lost_at;
    /// Destination row whose write loses the connection; 0: never.
    int destination_lost_at;
    /// Rows of public.a that fail with an overflow first.
    std::set<int> overflow_rows;
    std::vector<std::string> messages;
    event_log appended;
    /// Rows of public.a whose values the source cannot read.
    std::set<int> unreadable_rows = {};
    /// The destination row whose write ends the table after a commit answered with an error.
    int failed_commit_at = 0;
};

void PrintTo(const lost_case& test, std::ostream* out)
{
    *out << test.name;
}

class LostConnection : public testing::TestWithParam<lost_case>
{
};

TEST_P(LostConnection, EndsTheRunWithOneReportOfTheTable)
{
    const lost_case& test = GetParam();
    run_bench bench;
    bench.source.tables = {{L"public.a", 6}, {L"public.b", 1}};
    bench.source.tables[0].lose_connection_at = test.source_lost_at;
    if (test.destination_lost_at != 0)
    {
        bench.destination.faults.lost_rows = {test.destination_lost_at};
    }
    if (test.failed_commit_at != 0)
    {
        bench.destination.faults.failed_commit_rows = {test.failed_commit_at};
    }
    bench.destination.faults.overflow_rows = test.overflow_rows;
    bench.source.value_error_rows[L"public.a"] = test.unreadable_rows;
    bench.destination.faults.failing_tables = {L"[dbo].[a]"};
    bench.run();
    EXPECT_EQ(bench.handler->messages, test.messages);
    // Nothing is tried after the loss: no later row, no later table.
    EXPECT_EQ(filtered(bench.events, {"append", "get_table"}), test.appended);
    EXPECT_TRUE(bench.converter().connection_lost());
    EXPECT_EQ(bench.converter().failures_reported(),
              static_cast<std::int64_t>(test.messages.size()));
    EXPECT_TRUE(bench.converter().done());
    EXPECT_EQ(bench.log_lines_starting("Conversion ended on ").size(), 1u);
}

INSTANTIATE_TEST_SUITE_P(
    Sides, LostConnection,
    testing::Values(
        lost_case{"DestinationMidTable",
                  0,
                  3,
                  {},
                  {"public.a: The connection to SQL Server was lost: Communication link failure. 2 "
                   "rows of this table had been stored, and 1 more may have been (their commit "
                   "got no answer); the conversion stops."},
                  {"get_table public.a mode=1", "append [dbo].[a] 1", "append [dbo].[a] 2"}},
        lost_case{"DestinationAfterAFailedRow",
                  0,
                  4,
                  {2},
                  {"public.a, record #2: " + overflow_text,
                   "public.a: The connection to SQL Server was lost: Communication link failure. 2 "
                   "rows of this table had been stored, and 1 more may have been (their commit "
                   "got no answer); the conversion stops."},
                  {"get_table public.a mode=1", "append [dbo].[a] 1", "append [dbo].[a] 3"}},
        // A row the source could not read was not stored either.
        lost_case{"DestinationAfterAnUnreadableRow",
                  0,
                  3,
                  {},
                  {"public.a, record #2: no form for row 2",
                   "public.a: The connection to SQL Server was lost: Communication link failure. 2 "
                   "rows of this table had been stored, and 1 more may have been (their commit "
                   "got no answer); the conversion stops."},
                  {"get_table public.a mode=1", "append [dbo].[a] 1", "append [dbo].[a] 3"},
                  {2}},
        // The commit was answered, with the driver's error: that text, not "no answer".
        lost_case{"DestinationCommitAnsweredWithAnError",
                  0,
                  0,
                  {},
                  {"public.a: The connection to SQL Server was lost: Unexpected EOF from the "
                   "server. 2 rows of this table had been stored, and 1 more may have been (their "
                   "commit failed: Unexpected EOF from the server); the conversion stops."},
                  {"get_table public.a mode=1", "append [dbo].[a] 1", "append [dbo].[a] 2"},
                  {},
                  3},
        lost_case{"SourceMidTable",
                  3,
                  0,
                  {},
                  {"public.a: The connection to the PostgreSQL server was lost: server closed the "
                   "connection unexpectedly This probably means the server terminated abnormally. "
                   "3 rows of this table had been stored; the conversion stops."},
                  {"get_table public.a mode=1", "append [dbo].[a] 1", "append [dbo].[a] 2",
                   "append [dbo].[a] 3"}}),
    [](const testing::TestParamInfo<lost_case>& param_info) { return param_info.param.name; });

TEST(LostConnection, AnOrdinaryTableErrorLetsTheRunGoOn)
{
    run_bench bench;
    bench.source.tables = {{L"public.a", 3, -1, false, 0, 2}, {L"public.b", 1}};
    bench.run();
    EXPECT_EQ(bench.handler->messages, (std::vector<std::string>{"public.a: fetch failed at 2"}));
    EXPECT_EQ(filtered(bench.events, {"append [dbo].[b]"}), (event_log{"append [dbo].[b] 1"}));
    EXPECT_FALSE(bench.converter().connection_lost());
    EXPECT_EQ(bench.converter().failures_reported(), 1);
}

struct streak_case
{
    const char* name;
    std::set<int> overflow_rows;
    bool batched;
    /// Row messages before the table's summary line (none when the table was not stopped).
    int row_messages;
    std::string summary;
};

void PrintTo(const streak_case& test, std::ostream* out)
{
    *out << test.name;
}

class SameFailure : public testing::TestWithParam<streak_case>
{
};

std::set<int> rows_between(int first, int last)
{
    std::set<int> rows;
    for (int row = first; row <= last; ++row)
    {
        rows.insert(row);
    }
    return rows;
}

TEST_P(SameFailure, OnConsecutiveRowsStopsTheTableWithOneLine)
{
    const streak_case& test = GetParam();
    run_bench bench;
    bench.source.tables = {{L"public.a", 300}, {L"public.b", 1}};
    bench.destination.faults.overflow_rows = test.overflow_rows;
    bench.destination.faults.failing_tables = {L"[dbo].[a]"};
    bench.destination.faults.batched = test.batched;
    bench.run();
    const std::vector<std::string>& messages = bench.handler->messages;
    ASSERT_EQ(messages.size(),
              static_cast<std::size_t>(test.row_messages) + (test.summary.empty() ? 0 : 1));
    if (!test.summary.empty())
    {
        EXPECT_EQ(messages.back(), test.summary);
    }
    // The next table is converted either way.
    EXPECT_EQ(filtered(bench.events, {"append [dbo].[b]"}), (event_log{"append [dbo].[b] 1"}));
    EXPECT_FALSE(bench.converter().connection_lost());
    EXPECT_EQ(bench.converter().failures_reported(), static_cast<std::int64_t>(messages.size()));
}

INSTANTIATE_TEST_SUITE_P(
    Streaks, SameFailure,
    testing::Values(
        streak_case{"HundredInARow", rows_between(1, 300), false, 99,
                    "public.a, records #1 to #100 (100 consecutive rows failed alike; the rest of "
                    "the table was not converted): " +
                        overflow_text},
        streak_case{"HundredInARowOfABatch", rows_between(11, 300), true, 99,
                    "public.a, records #11 to #110 (100 consecutive rows failed alike; the rest of "
                    "the table was not converted): " +
                        overflow_text},
        streak_case{"BrokenByAGoodRow",
                    []
                    {
                        std::set<int> rows = rows_between(1, 150);
                        rows.erase(60);
                        return rows;
                    }(),
                    false, 149, ""}),
    [](const testing::TestParamInfo<streak_case>& param_info) { return param_info.param.name; });

TEST(RunOutcome, CountsEveryReportedFailureAndNothingTheUserChose)
{
    {
        run_bench bench;
        bench.converter().set_mode(3);
        bench.converter().tables() = {L"public.gone", L"public.a", L"public.b"};
        bench.source.tables = {{L"public.a", 4}, {L"public.b", 2}};
        bench.destination.tables = {L"[dbo].[a]"};
        // Duplicates dropped by the merge mode are the user's choice, not failures.
        bench.destination.faults.integrity_rows = {1, 2};
        bench.destination.faults.overflow_rows = {3};
        bench.destination.faults.failing_tables = {L"[dbo].[a]"};
        bench.run();
        EXPECT_EQ(bench.handler->messages,
                  (std::vector<std::string>{"public.a, record #3: " + overflow_text}));
        EXPECT_EQ(bench.converter().failures_reported(), 2); // the row and the missing table
        EXPECT_FALSE(bench.converter().connection_lost());
    }
    run_bench clean;
    clean.source.tables = {{L"public.a", 2}};
    clean.run();
    EXPECT_EQ(clean.converter().failures_reported(), 0);
}

} // namespace
