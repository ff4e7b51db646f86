// conversion_long_table_test.cpp: the run over fake sides with tables of thousands of rows:
// order, row numbers, failures deep in a table and stops.
#include "convertor_fakes.h"

#include <algorithm>
#include <gtest/gtest.h>

namespace
{

using conv_test::event_log;
using conv_test::filtered;
using conv_test::run_bench;

/// Several of the writer's batches and of the source's blocks.
constexpr int long_table = 6000;

/// "append <table> <id>" for the ids from..to except `skipped`.
event_log appends(const std::string& table, int from, int to, const std::set<int>& skipped = {})
{
    event_log lines;
    for (int id = from; id <= to; ++id)
    {
        if (skipped.count(id) == 0)
        {
            lines.push_back("append " + table + " " + std::to_string(id));
        }
    }
    return lines;
}

TEST(LongTables, LongTableArrivesInOrderWithUnreadableRowsReportedByNumber)
{
    run_bench bench;
    bench.source.tables = {{L"public.a", long_table}, {L"public.b", 2}};
    const std::set<int> unreadable = {1, 2048, 2049, 4097, long_table};
    bench.source.value_error_rows[L"public.a"] = unreadable;
    bench.run();
    event_log expected = appends("[dbo].[a]", 1, long_table, unreadable);
    const event_log table_b = appends("[dbo].[b]", 1, 2);
    expected.insert(expected.end(), table_b.begin(), table_b.end());
    EXPECT_EQ(filtered(bench.events, {"append"}), expected);
    std::vector<std::string> messages;
    for (const int row : unreadable)
    {
        messages.push_back("public.a, record #" + std::to_string(row) + ": no form for row " +
                           std::to_string(row));
    }
    EXPECT_EQ(bench.handler->messages, messages);
    EXPECT_EQ(bench.converter().failures_reported(), 5);
}

TEST(LongTables, WriterFailuresDeepInALongTableKeepTheirRowNumbers)
{
    run_bench bench;
    bench.converter().set_mode(3);
    bench.source.tables = {{L"public.a", long_table}};
    bench.destination.faults.integrity_rows = {3000};
    bench.destination.faults.overflow_rows = {5000};
    bench.run();
    EXPECT_EQ(filtered(bench.events, {"append"}),
              appends("[dbo].[a]", 1, long_table, {3000, 5000}));
    EXPECT_EQ(bench.handler->messages,
              (std::vector<std::string>{
                  "public.a, record #5000: Literal value overflowed the range of the type of the "
                  "associated column."}));
    EXPECT_EQ(bench.converter().records_done(), long_table);
}

TEST(LongTables, SourceFailureCrossesAfterTheRowsBeforeIt)
{
    run_bench bench;
    bench.source.tables = {{L"public.a", long_table, -1, false, 0, 4500}, {L"public.b", 1}};
    bench.run();
    event_log expected = appends("[dbo].[a]", 1, 4500);
    expected.insert(expected.end(), {"release [dbo].[a]", "append [dbo].[b] 1", "flush [dbo].[b]",
                                     "release [dbo].[b]"});
    EXPECT_EQ(filtered(bench.events, {"append", "flush", "release [dbo]"}), expected);
    EXPECT_EQ(bench.handler->messages,
              (std::vector<std::string>{"public.a: fetch failed at 4500"}));
}

TEST(LongTables, LostSourceConnectionEndsTheRunAfterTheRowsBeforeIt)
{
    run_bench bench;
    bench.source.tables = {{L"public.a", long_table}, {L"public.b", 1}};
    bench.source.tables[0].lose_connection_at = 5001;
    bench.run();
    EXPECT_EQ(bench.handler->messages,
              (std::vector<std::string>{
                  "public.a: The connection to the PostgreSQL server was lost: server closed the "
                  "connection unexpectedly This probably means the server terminated abnormally. "
                  "5001 rows of this table had been stored; the conversion stops."}));
    EXPECT_EQ(filtered(bench.events, {"append"}), appends("[dbo].[a]", 1, 5001));
    EXPECT_TRUE(bench.converter().connection_lost());
}

TEST(LongTables, DestinationLostEarlyInALongTableEndsTheRun)
{
    run_bench bench;
    bench.source.tables = {{L"public.a", 200000}, {L"public.b", 1}};
    bench.destination.faults.lost_rows = {10};
    bench.run();
    EXPECT_EQ(bench.handler->messages,
              (std::vector<std::string>{
                  "public.a: The connection to SQL Server was lost: Communication link failure. 9 "
                  "rows of this table had been stored, and 1 more may have been (their commit "
                  "got no answer); the conversion stops."}));
    event_log expected = appends("[dbo].[a]", 1, 9);
    expected.push_back("release rows public.a");
    EXPECT_EQ(filtered(bench.events, {"append", "release rows"}), expected);
    EXPECT_TRUE(bench.converter().done());
}

/// Asks the run to stop when the table line of `table` is reported, before any row is written.
class stopping_reporter : public conv_test::recording_reporter
{
public:
    stopping_reporter(vandrel_convertor& converter, std::wstring table)
        : recording_reporter(converter)
        , m_converter(converter)
        , m_table(std::move(table))
    {
    }
    void progress_line(const conversion_progress& line) override
    {
        recording_reporter::progress_line(line);
        if (line.kind == progress_kind::table && line.name == m_table)
        {
            m_converter.request_stop();
        }
    }

private:
    vandrel_convertor& m_converter;
    std::wstring m_table;
};

TEST(LongTables, StopRequestBeforeALongTableIsCopiedEndsTheRunQuietly)
{
    run_bench bench;
    bench.reporter = std::make_unique<stopping_reporter>(bench.converter(), L"public.b");
    bench.converter().set_reporter(bench.reporter.get());
    bench.source.tables = {{L"public.a", 3}, {L"public.b", 200000}, {L"public.c", 1}};
    bench.run();
    EXPECT_EQ(filtered(bench.events, {"append", "flush", "release"}),
              (event_log{"append [dbo].[a] 1", "append [dbo].[a] 2", "append [dbo].[a] 3",
                         "flush [dbo].[a]", "release [dbo].[a]", "release rows public.a",
                         "flush [dbo].[b]", "release [dbo].[b]", "release rows public.b",
                         "release destination", "release source"}));
    EXPECT_TRUE(bench.handler->messages.empty());
    EXPECT_EQ(bench.converter().records_done(), 0);
    EXPECT_TRUE(bench.converter().done());
    EXPECT_EQ(bench.log_lines_starting("Conversion stopped"),
              std::vector<std::string>{"Conversion stopped by the user in table public.b: 0 of "
                                       "its 200000 records were stored"});
}

TEST(LongTables, StopRequestBetweenTablesSaysHowManyWereConverted)
{
    run_bench bench;
    // The table line of the empty table comes after it was created; no row is left to stop at.
    bench.reporter = std::make_unique<stopping_reporter>(bench.converter(), L"public.b");
    bench.converter().set_reporter(bench.reporter.get());
    bench.source.tables = {{L"public.a", 3}, {L"public.b", 0}, {L"public.c", 1}};
    bench.run();
    EXPECT_TRUE(filtered(bench.events, {"append [dbo].[c]"}).empty());
    const std::vector<std::string> lines = bench.log_lines();
    const auto stop =
        std::find(lines.begin(), lines.end(), "Conversion stopped by the user after 2 of 3 tables");
    ASSERT_NE(stop, lines.end()) << testing::PrintToString(lines);
    // Before the run's last line.
    EXPECT_TRUE(std::any_of(stop, lines.end(),
                            [](const std::string& line)
                            { return line.starts_with("Conversion ended on "); }));
}

/// Records each message and then asks the run to stop, as a user who cancels on seeing it.
class stopping_handler : public conv_test::recording_handler
{
public:
    explicit stopping_handler(vandrel_convertor& converter)
        : m_converter(converter)
    {
    }
    void handle(const tk_exception& error, bool final_stage) override
    {
        recording_handler::handle(error, final_stage);
        m_converter.request_stop();
    }

private:
    vandrel_convertor& m_converter;
};

TEST(LongTables, StopInsideATableCountsTheRowsStoredNotTheRowsRead)
{
    run_bench bench(convertor_flavour::agent, false);
    stopping_handler handler(bench.converter());
    bench.source.tables = {{L"public.b", 5}};
    bench.destination.faults.integrity_rows = {3};
    bench.run();
    EXPECT_EQ(handler.messages, std::vector<std::string>{
                                    "public.b, record #3: The specified record violates the "
                                    "integrity constraints. See 'Troubleshooting' article of the "
                                    "product documentation for solution."});
    EXPECT_EQ(filtered(bench.events, {"append"}), appends("[dbo].[b]", 1, 2));
    EXPECT_EQ(bench.log_lines_starting("Conversion stopped"),
              std::vector<std::string>{"Conversion stopped by the user in table public.b: 2 of "
                                       "its 5 records were stored"});
}

} // namespace
