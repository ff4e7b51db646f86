// conversion_run_test.cpp: the conversion run over fake sides: naming, modes, error levels,
// progress and every way out.
#include "convertor/console_error_handler.h"
#include "convertor_fakes.h"

#include <atomic>
#include <gtest/gtest.h>
#include <set>
#include <sstream>
#include <thread>

namespace
{

using conv_test::event_log;
using conv_test::filtered;
using conv_test::run_bench;

const std::string integrity_text =
    "The specified record violates the integrity constraints. See 'Troubleshooting' article of "
    "the product documentation for solution.";
const std::string overflow_text =
    "Literal value overflowed the range of the type of the associated column.";

/// "append <table> <id>" for each id.
event_log appends(const std::string& table, std::initializer_list<int> ids)
{
    event_log lines;
    for (const int id : ids)
    {
        lines.push_back("append " + table + " " + std::to_string(id));
    }
    return lines;
}

event_log joined(std::initializer_list<event_log> parts)
{
    event_log all;
    for (const event_log& part : parts)
    {
        all.insert(all.end(), part.begin(), part.end());
    }
    return all;
}

TEST(ConversionRun, OneTableGoesThroughEveryStepInOrder)
{
    run_bench bench;
    bench.converter().set_mode(3);
    bench.source.tables = {{L"public.orders", 2}};
    bench.destination.tables = {L"[dbo].[orders]"};
    bench.run();

    EXPECT_EQ(bench.events,
              (event_log{"begin_run", "open_source shop schema=public", "is_db_exist shop_copy",
                         "open_db shop_copy mode=8", "get_table public.orders mode=1",
                         "create_schema dbo", "create_table [dbo].[orders] columns=2 indexes=1",
                         "append [dbo].[orders] 1", "append [dbo].[orders] 2",
                         "flush [dbo].[orders]", "release [dbo].[orders]",
                         "release rows public.orders", "release destination", "release source"}));
    EXPECT_EQ(bench.reporter->lines,
              (std::vector<std::string>{"start", "database shop 1", "schema dbo",
                                        "table public.orders 2 done=0/1"}));
    EXPECT_EQ(bench.reporter->text, L"Converting database shop (1 tables)\n"
                                    L"Creating schema if necessary: 'dbo'\n"
                                    L"Converting table public.orders (2 records)\n");
    EXPECT_TRUE(bench.handler->messages.empty());
    EXPECT_TRUE(bench.converter().done());
    EXPECT_EQ(bench.converter().tables_total(), 0);
    EXPECT_EQ(bench.converter().tables_done(), 0);
    EXPECT_EQ(bench.converter().records_done(), 2);
}

struct naming_case
{
    const char* name;
    std::wstring key;
    bool no_schema;
    event_log expected;
};

class DestinationNames : public testing::TestWithParam<naming_case>
{
};

TEST_P(DestinationNames, FollowTheSchemaRulesAndStaySafe)
{
    const naming_case& test = GetParam();
    run_bench bench;
    bench.converter().set_no_schema(test.no_schema);
    bench.source.tables = {{test.key, 0}};
    bench.run();
    EXPECT_EQ(filtered(bench.events, {"create_schema", "create_table", "mapped"}), test.expected);
    EXPECT_TRUE(bench.handler->messages.empty());
}

INSTANTIATE_TEST_SUITE_P(
    Keys, DestinationNames,
    testing::Values(
        naming_case{"PublicBecomesDbo",
                    L"public.orders",
                    false,
                    {"create_schema dbo", "create_table [dbo].[orders] columns=2 indexes=1"}},
        naming_case{"OtherSchemaIsKept",
                    L"Sales.orders",
                    false,
                    {"create_schema Sales", "create_table [Sales].[orders] columns=2 indexes=1"}},
        naming_case{"SysInAnyCaseBecomesDbo",
                    L"SYS.x",
                    false,
                    {"create_schema dbo", "create_table [dbo].[x] columns=2 indexes=1"}},
        naming_case{"PublicInAnyCaseBecomesDbo",
                    L"PUBLIC.Orders",
                    false,
                    {"create_schema dbo", "create_table [dbo].[Orders] columns=2 indexes=1"}},
        naming_case{"ClosingBracketIsDoubled",
                    L"public.a]b",
                    false,
                    {"create_schema dbo", "create_table [dbo].[a]]b] columns=2 indexes=1"}},
        naming_case{"InjectionStaysInsideTheName",
                    L"Sales.x]; DROP TABLE y; --",
                    false,
                    {"create_schema Sales",
                     "create_table [Sales].[x]]; DROP TABLE y; --] columns=2 indexes=1"}},
        naming_case{"TableNameWithADot",
                    L"public.a.b",
                    false,
                    {"create_schema dbo", "create_table [dbo].[a.b] columns=2 indexes=1"}},
        naming_case{"QuotedSchemaWithADot",
                    L"\"sch.dot\".t",
                    false,
                    {"create_schema sch.dot", "create_table [sch.dot].[t] columns=2 indexes=1",
                     "mapped \"sch.dot\".t -> [sch.dot].[t]"}},
        naming_case{"QuotedTableWithADot",
                    L"a.\"b.c\"",
                    false,
                    {"create_schema a", "create_table [a].[b.c] columns=2 indexes=1"}},
        naming_case{"BracketedKey",
                    L"[Sales].[x y]",
                    false,
                    {"create_schema Sales", "create_table [Sales].[x y] columns=2 indexes=1"}},
        naming_case{"KeyWithoutSchema",
                    L"orders",
                    false,
                    {"create_schema dbo", "create_table [dbo].[orders] columns=2 indexes=1"}},
        naming_case{"NoSchemaGoesToDbo",
                    L"orders",
                    true,
                    {"create_table [dbo].[orders] columns=2 indexes=1"}},
        naming_case{"NoSchemaKeepsDotsInTheName",
                    L"a.b",
                    true,
                    {"create_table [dbo].[a.b] columns=2 indexes=1"}},
        naming_case{
            "NoSchemaUnacceptableKeyIsMapped",
            L"1abc",
            true,
            {"create_table [dbo].[1abc] columns=2 indexes=1", "mapped 1abc -> [dbo].[1abc]"}},
        naming_case{"NoSchemaBracketedKeyIsUnwrapped",
                    L"[#tmp]",
                    true,
                    {"create_table [dbo].[#tmp] columns=2 indexes=1"}},
        naming_case{"NoSchemaMappingAlsoCoversTheKeyWithoutBrackets",
                    L"1[x]",
                    true,
                    {"create_table [dbo].[1[x]]] columns=2 indexes=1",
                     "mapped 1[x] -> [dbo].[1[x]]]", "mapped 1x -> [dbo].[1[x]]]"}},
        naming_case{
            "NonAsciiNames",
            L"Ventes.Çà_été",
            false,
            {"create_schema Ventes", "create_table [Ventes].[Çà_été] columns=2 indexes=1"}}),
    [](const testing::TestParamInfo<naming_case>& param_info) { return param_info.param.name; });

TEST(ConversionRun, TablesMeetingInOneDestinationNameGetNamesOfTheirOwn)
{
    run_bench bench;
    bench.converter().set_mode(1);
    bench.source.tables = {{L"public.Orders", 1}, {L"public.orders", 1}, {L"sys.orders", 1}};
    bench.run();
    EXPECT_EQ(filtered(bench.events, {"create_table", "mapped"}),
              (event_log{"create_table [dbo].[Orders] columns=2 indexes=1",
                         "create_table [dbo].[_orders] columns=2 indexes=1",
                         "create_table [dbo].[1_orders] columns=2 indexes=1",
                         "mapped public.orders -> [dbo].[_orders]",
                         "mapped sys.orders -> [dbo].[1_orders]"}));
    EXPECT_TRUE(bench.handler->messages.empty());
}

// The server keeps keys as objects of their schema, whose names compare without case there.
TEST(ConversionRun, TablesMeetingInOneDestinationNameGetKeyNamesOfTheirOwn)
{
    run_bench bench;
    bench.source.tables = {{L"public.Orders", 1}, {L"public.orders", 1}, {L"Sales.orders", 1}};
    // Reported as not created, each key under the name it was given.
    bench.destination.failing_indexes = {L"pk", L"_pk"};
    bench.run();
    EXPECT_EQ(filtered(bench.reporter->lines, {"index"}),
              (event_log{"index Sales.orders pk: too wide", "index public.Orders pk: too wide",
                         "index public.orders _pk: too wide"}));
}

struct mode_case
{
    const char* name;
    int mode;
    bool table_exists;
    bool batched;
    event_log expected_events;
    std::vector<std::string> expected_messages;
};

class ModesOverAnExistingTable : public testing::TestWithParam<mode_case>
{
};

TEST_P(ModesOverAnExistingTable, HandleTheTableAndTheViolatingRow)
{
    const mode_case& test = GetParam();
    run_bench bench;
    bench.converter().set_mode(test.mode);
    bench.source.tables = {{L"public.orders", 9}, {L"public.zeta", 1}};
    if (test.table_exists)
    {
        bench.destination.tables = {L"[dbo].[orders]"};
    }
    bench.destination.faults.integrity_rows = {7};
    bench.destination.faults.batched = test.batched;
    bench.run();
    EXPECT_EQ(filtered(bench.events,
                       {"open_db", "delete_tab", "create_table", "append", "update", "flush"}),
              test.expected_events);
    EXPECT_EQ(bench.handler->messages, test.expected_messages);
    EXPECT_TRUE(bench.converter().done());
}

const event_log zeta = {"create_table [dbo].[zeta] columns=2 indexes=1", "append [dbo].[zeta] 1",
                        "flush [dbo].[zeta]"};
const std::string create_orders = "create_table [dbo].[orders] columns=2 indexes=1";
const std::string record_7 = "public.orders, record #7: " + integrity_text;

INSTANTIATE_TEST_SUITE_P(
    Modes, ModesOverAnExistingTable,
    testing::Values(
        mode_case{"OverwriteDatabaseReports",
                  0,
                  false,
                  false,
                  joined({{"open_db shop_copy mode=4", create_orders},
                          appends("[dbo].[orders]", {1, 2, 3, 4, 5, 6, 8, 9}),
                          {"flush [dbo].[orders]"},
                          zeta}),
                  {record_7}},
        mode_case{"OverwriteTablesDropsAndReports",
                  1,
                  true,
                  false,
                  joined({{"open_db shop_copy mode=8", "delete_tab [dbo].[orders]", create_orders},
                          appends("[dbo].[orders]", {1, 2, 3, 4, 5, 6, 8, 9}),
                          {"flush [dbo].[orders]"},
                          zeta}),
                  {record_7}},
        mode_case{
            "SkipLeavesTheTable", 2, true, false, joined({{"open_db shop_copy mode=8"}, zeta}), {}},
        mode_case{"MergeDropsTheRowSilently",
                  3,
                  true,
                  false,
                  joined({{"open_db shop_copy mode=8", create_orders},
                          appends("[dbo].[orders]", {1, 2, 3, 4, 5, 6, 8, 9}),
                          {"flush [dbo].[orders]"},
                          zeta}),
                  {}},
        mode_case{"MergeWithUpdateUpdatesTheRow",
                  4,
                  true,
                  false,
                  joined({{"open_db shop_copy mode=8", create_orders},
                          appends("[dbo].[orders]", {1, 2, 3, 4, 5, 6}),
                          {"update [dbo].[orders] 7"},
                          appends("[dbo].[orders]", {8, 9}),
                          {"flush [dbo].[orders]"},
                          zeta}),
                  {}},
        mode_case{"ProfileOnlyModeMergesAndReports",
                  7,
                  true,
                  false,
                  joined({{"open_db shop_copy mode=8", create_orders},
                          appends("[dbo].[orders]", {1, 2, 3, 4, 5, 6, 8, 9}),
                          {"flush [dbo].[orders]"},
                          zeta}),
                  {record_7}},
        mode_case{"BatchedOverwriteTablesReportsTheRowItsOwnNumber",
                  1,
                  true,
                  true,
                  joined({{"open_db shop_copy mode=8", "delete_tab [dbo].[orders]", create_orders,
                           "flush [dbo].[orders]"},
                          appends("[dbo].[orders]", {1, 2, 3, 4, 5, 6, 8, 9}),
                          {zeta[0], zeta[2], zeta[1]}}),
                  {record_7}},
        mode_case{"BatchedMergeDropsTheRowSilently",
                  3,
                  true,
                  true,
                  joined({{"open_db shop_copy mode=8", create_orders, "flush [dbo].[orders]"},
                          appends("[dbo].[orders]", {1, 2, 3, 4, 5, 6, 8, 9}),
                          {zeta[0], zeta[2], zeta[1]}}),
                  {}},
        mode_case{"BatchedMergeWithUpdateUpdatesTheRow",
                  4,
                  true,
                  true,
                  joined({{"open_db shop_copy mode=8", create_orders, "flush [dbo].[orders]"},
                          appends("[dbo].[orders]", {1, 2, 3, 4, 5, 6}),
                          {"update [dbo].[orders] 7"},
                          appends("[dbo].[orders]", {8, 9}),
                          {zeta[0], zeta[2], zeta[1]}}),
                  {}}),
    [](const testing::TestParamInfo<mode_case>& param_info) { return param_info.param.name; });

TEST(ConversionRun, SkippedTableCountsAsDoneWithoutATableLine)
{
    run_bench bench;
    bench.converter().set_mode(2);
    bench.source.tables = {{L"public.a", 1}, {L"public.b", 1}};
    bench.destination.tables = {L"[dbo].[a]"};
    bench.run();
    EXPECT_EQ(bench.reporter->lines,
              (std::vector<std::string>{"start", "database shop 2", "schema dbo", "schema dbo",
                                        "table public.b 1 done=1/2"}));
}

TEST(ConversionRun, DefinitionsOnlyCreatesTheTableAndShowsTheTrueRowCount)
{
    run_bench bench;
    bench.converter().set_tab_def(true);
    bench.source.tables = {{L"public.orders", 5}};
    bench.run();
    EXPECT_EQ(
        filtered(bench.events, {"create_table", "append", "flush"}),
        (event_log{"create_table [dbo].[orders] columns=2 indexes=1", "flush [dbo].[orders]"}));
    EXPECT_EQ(bench.reporter->lines.back(), "table public.orders 5 done=0/1");
}

TEST(ConversionRun, RowCountsBeyondThirtyTwoBitsAreCarriedWhole)
{
    run_bench bench;
    bench.converter().set_tab_def(true);
    conv_test::source_table big{L"public.events", 1};
    big.reported_rows = 5'000'000'123LL;
    bench.source.tables = {big};
    bench.run();
    EXPECT_EQ(bench.reporter->lines.back(), "table public.events 5000000123 done=0/1");
    EXPECT_NE(bench.reporter->text.find(L"Converting table public.events (5000000123 records)\n"),
              std::wstring::npos);
}

TEST(ConversionRun, SkippingIndexesCreatesTheTableWithoutThem)
{
    run_bench bench;
    bench.converter().set_skip_idx(true);
    bench.source.tables = {{L"public.orders", 1}};
    bench.run();
    EXPECT_EQ(filtered(bench.events, {"create_table"}),
              (event_log{"create_table [dbo].[orders] columns=2 indexes=0"}));
}

TEST(ConversionRun, UnboundedKeyTextIsMeasuredBeforeANewTableAndFailedIndexesReported)
{
    run_bench bench;
    bench.source.tables = {{L"public.orders", 1}};
    bench.source.tables[0].text_key = true;
    bench.destination.failing_indexes = {L"ix_code"};
    bench.run();
    EXPECT_EQ(filtered(bench.events, {"longest", "create_table", "measured"}),
              (event_log{"longest public.orders code",
                         "create_table [dbo].[orders] columns=3 indexes=2", "measured code=7"}));
    EXPECT_EQ(bench.reporter->lines,
              (std::vector<std::string>{"start", "database shop 1", "schema dbo",
                                        "index public.orders ix_code: too wide",
                                        "table public.orders 1 done=0/1"}));
}

TEST(ConversionRun, ExistingTableIsNotMeasured)
{
    run_bench bench;
    bench.converter().set_mode(3);
    bench.source.tables = {{L"public.orders", 1}};
    bench.source.tables[0].text_key = true;
    bench.destination.tables = {L"[dbo].[orders]"};
    bench.run();
    EXPECT_EQ(filtered(bench.events, {"longest", "create_table", "measured"}),
              (event_log{"create_table [dbo].[orders] columns=3 indexes=2"}));
}

struct decimal_measure_case
{
    const char* name;
    udb_decimal_extent extent;
    ole_variant amount_default;
    std::string created;
};

class ConversionRunDecimals : public testing::TestWithParam<decimal_measure_case>
{
};

// A decimal without a declared precision is measured with the key text in one read, before the
// table is created (definitions only too), and its default counts as one of its values.
TEST_P(ConversionRunDecimals, NumericWithoutPrecisionIsMeasuredBeforeANewTable)
{
    const decimal_measure_case& c = GetParam();
    run_bench bench;
    bench.converter().set_tab_def(true);
    bench.source.tables = {{L"public.orders", 1}};
    bench.source.tables[0].text_key = true;
    bench.source.tables[0].decimal_amount = true;
    bench.source.tables[0].amount_extent = c.extent;
    bench.source.tables[0].amount_default = c.amount_default;
    bench.run();
    EXPECT_EQ(filtered(bench.events, {"longest", "digits", "create_table", "measured", "decimal"}),
              (event_log{"longest public.orders code", "digits public.orders amount",
                         "create_table [dbo].[orders] columns=4 indexes=2", "measured code=7",
                         "decimal amount" + c.created}));
    EXPECT_TRUE(bench.handler->messages.empty());
}

INSTANTIATE_TEST_SUITE_P(
    ConversionRun, ConversionRunDecimals,
    testing::Values(decimal_measure_case{"SmallIntegers", {3, 0}, {}, "(3,0)"},
                    decimal_measure_case{"MoreThan38IntegerDigits", {41, 1}, {}, "(38,0)"},
                    decimal_measure_case{"NoValues", {}, {}, "(38,10)"},
                    decimal_measure_case{
                        "NoValuesButADefault", {}, ole_variant(L"-12.345", VT_DECIMAL), "(5,3)"},
                    decimal_measure_case{"DefaultWiderThanTheValues",
                                         {2, 1},
                                         ole_variant(L"100000.125", VT_DECIMAL),
                                         "(9,3)"}),
    [](const testing::TestParamInfo<decimal_measure_case>& param_info)
    { return param_info.param.name; });

TEST(ConversionRun, DecimalOfAnExistingTableIsNotMeasured)
{
    run_bench bench;
    bench.converter().set_mode(3);
    bench.source.tables = {{L"public.orders", 1}};
    bench.source.tables[0].decimal_amount = true;
    bench.source.tables[0].amount_extent = {3, 2};
    bench.destination.tables = {L"[dbo].[orders]"};
    bench.run();
    EXPECT_EQ(
        filtered(bench.events, {"digits", "create_table", "decimal"}),
        (event_log{"create_table [dbo].[orders] columns=3 indexes=1", "decimal amount(0,0)"}));
}

TEST(ConversionRun, QueryEntryFillsATableNamedAfterItsKey)
{
    run_bench bench;
    bench.converter().selected() = {{L"q_sales", L"SELECT id, name FROM sales"}};
    bench.run();
    EXPECT_EQ(
        filtered(bench.events, {"get_", "create_", "append", "flush"}),
        (event_log{"get_query q_sales: SELECT id, name FROM sales mode=1", "create_schema dbo",
                   "create_table [dbo].[q_sales] columns=2 indexes=1", "append [dbo].[q_sales] 1",
                   "append [dbo].[q_sales] 2", "flush [dbo].[q_sales]"}));
}

TEST(ConversionRun, TableThatCannotBeOpenedIsReportedAndTheRunGoesOn)
{
    run_bench bench;
    bench.source.tables = {{L"public.bad", 3, -1, true}, {L"public.good", 1}};
    bench.run();
    EXPECT_EQ(bench.handler->messages,
              (std::vector<std::string>{"public.bad: cannot open public.bad"}));
    EXPECT_EQ(
        filtered(bench.events, {"create_table", "append"}),
        (event_log{"create_table [dbo].[good] columns=2 indexes=1", "append [dbo].[good] 1"}));
    EXPECT_TRUE(bench.converter().done());
    EXPECT_EQ(bench.log_lines_starting("Conversion ended on ").size(), 1u);
}

TEST(ConversionRun, WriterFailureAtEveryRowIsReportedWithItsNumber)
{
    for (const bool batched : {false, true})
    {
        for (int failing_row = 1; failing_row <= 5; ++failing_row)
        {
            SCOPED_TRACE(testing::Message() << "batched=" << batched << " row=" << failing_row);
            run_bench bench;
            bench.source.tables = {{L"public.a", 5}, {L"public.b", 1}};
            bench.destination.faults.overflow_rows = {failing_row};
            bench.destination.faults.failing_tables = {L"[dbo].[a]"};
            bench.destination.faults.batched = batched;
            bench.run();
            event_log expected;
            for (int id = 1; id <= 5; ++id)
            {
                if (id != failing_row)
                {
                    expected.push_back("append [dbo].[a] " + std::to_string(id));
                }
            }
            expected.push_back("append [dbo].[b] 1");
            EXPECT_EQ(filtered(bench.events, {"append"}), expected);
            EXPECT_EQ(bench.handler->messages,
                      (std::vector<std::string>{"public.a, record #" + std::to_string(failing_row) +
                                                ": " + overflow_text}));
        }
    }
}

TEST(ConversionRun, SourceFailureAtEveryRowEndsOnlyThatTable)
{
    for (int failing_row = 1; failing_row <= 5; ++failing_row)
    {
        SCOPED_TRACE(testing::Message() << "row=" << failing_row);
        run_bench bench;
        bench.source.tables = {{L"public.a", 5, -1, false, 0, failing_row}, {L"public.b", 1}};
        bench.run();
        event_log expected;
        for (int id = 1; id <= failing_row; ++id)
        {
            expected.push_back("append [dbo].[a] " + std::to_string(id));
        }
        expected.insert(expected.end(), {"release [dbo].[a]", "append [dbo].[b] 1",
                                         "flush [dbo].[b]", "release [dbo].[b]"});
        EXPECT_EQ(filtered(bench.events, {"append", "flush", "release [dbo]"}), expected);
        EXPECT_EQ(bench.handler->messages, (std::vector<std::string>{"public.a: fetch failed at " +
                                                                     std::to_string(failing_row)}));
    }
}

struct value_failure_case
{
    const char* name;
    std::set<int> source_rows; ///< rows whose value the reader cannot form
    std::set<int> writer_ids;  ///< rows whose value the writer cannot write
    std::set<int> update_ids;  ///< rows that are duplicates and cannot be written by UPDATE
    int mode;
    std::vector<int> stored;
    std::vector<std::string> messages;
    std::set<int> refused_update_ids = {}; ///< duplicates whose UPDATE changes no row
};

class ValueFailures : public testing::TestWithParam<value_failure_case>
{
};

TEST_P(ValueFailures, LoseOnlyTheirRowWhichIsReportedWithItsNumber)
{
    const value_failure_case& test = GetParam();
    run_bench bench;
    bench.converter().set_mode(test.mode);
    bench.source.tables = {{L"public.a", 5}};
    bench.source.value_error_rows[L"public.a"] = test.source_rows;
    bench.destination.faults.value_ids = test.writer_ids;
    bench.destination.faults.update_value_ids = test.update_ids;
    bench.destination.faults.integrity_rows = test.update_ids;
    bench.destination.faults.update_refused_ids = test.refused_update_ids;
    bench.destination.faults.integrity_rows.insert(test.refused_update_ids.begin(),
                                                   test.refused_update_ids.end());
    bench.run();
    event_log expected;
    for (const int id : test.stored)
    {
        expected.push_back("append [dbo].[a] " + std::to_string(id));
    }
    EXPECT_EQ(filtered(bench.events, {"append"}), expected);
    EXPECT_EQ(bench.handler->messages, test.messages);
    // Every source row is counted once, written or not: the progress reaches the total.
    EXPECT_EQ(bench.converter().records_done(), 5);
    EXPECT_EQ(filtered(bench.events, {"flush"}), (event_log{"flush [dbo].[a]"}));
}

INSTANTIATE_TEST_SUITE_P(
    Rows, ValueFailures,
    testing::Values(value_failure_case{"ReaderFailsFirstAndLast",
                                       {1, 5},
                                       {},
                                       {},
                                       0,
                                       {2, 3, 4},
                                       {"public.a, record #1: no form for row 1",
                                        "public.a, record #5: no form for row 5"}},
                    value_failure_case{"ReaderFailsTwoInARow",
                                       {2, 3},
                                       {},
                                       {},
                                       0,
                                       {1, 4, 5},
                                       {"public.a, record #2: no form for row 2",
                                        "public.a, record #3: no form for row 3"}},
                    value_failure_case{"WriterFailsAfterAReaderFailure",
                                       {2},
                                       {4},
                                       {},
                                       0,
                                       {1, 3, 5},
                                       {"public.a, record #2: no form for row 2",
                                        "public.a, record #4: no literal for id 4"}},
                    value_failure_case{"UpdateOfADuplicateFails",
                                       {},
                                       {},
                                       {1},
                                       4,
                                       {2, 3, 4, 5},
                                       {"public.a, record #1: no literal for id 1"}},
                    value_failure_case{"UpdateThatChangesNoRowIsReported",
                                       {},
                                       {},
                                       {},
                                       4,
                                       {1, 3, 4, 5},
                                       {"public.a, record #2: no row of key 2 was updated"},
                                       {2}}),
    [](const testing::TestParamInfo<value_failure_case>& param_info)
    { return param_info.param.name; });

TEST(ConversionRun, FailureAtTheEndOfTheLoadIsThatTablesError)
{
    run_bench bench;
    bench.source.tables = {{L"public.a", 2}, {L"public.b", 1}};
    bench.destination.faults.fail_flush = {L"[dbo].[a]"};
    bench.run();
    EXPECT_EQ(bench.handler->messages, (std::vector<std::string>{"public.a: Errors occurred."}));
    EXPECT_EQ(filtered(bench.events, {"append [dbo].[b]"}), (event_log{"append [dbo].[b] 1"}));
}

TEST(ConversionRun, AbortDuringATableEndsTheRun)
{
    for (const bool batched : {false, true})
    {
        SCOPED_TRACE(testing::Message() << "batched=" << batched);
        run_bench bench;
        bench.handler->abort_at = 1;
        bench.source.tables = {{L"public.a", 3}, {L"public.b", 1}};
        bench.destination.faults.overflow_rows = {2};
        bench.destination.faults.batched = batched;
        bench.run();
        EXPECT_EQ(bench.handler->messages,
                  (std::vector<std::string>{"public.a, record #2: " + overflow_text}));
        EXPECT_EQ(
            filtered(bench.events, {"create_table", "get_table"}),
            (event_log{"get_table public.a mode=1", "create_table [dbo].[a] columns=2 indexes=1"}));
        EXPECT_TRUE(bench.converter().done());
        EXPECT_EQ(bench.log_lines_starting("Conversion ended on ").size(), 1u);
    }
}

TEST(ConversionRun, MissingSourceTableIsReportedAndSkippedInBothPrograms)
{
    for (const convertor_flavour flavour : {convertor_flavour::agent, convertor_flavour::wizard})
    {
        SCOPED_TRACE(flavour == convertor_flavour::agent ? "agent" : "wizard");
        run_bench bench(flavour);
        bench.converter().tables() = {L"public.gone", L"public.here"};
        bench.source.tables = {{L"public.here", 1}};
        bench.run();
        EXPECT_EQ(bench.reporter->lines,
                  (std::vector<std::string>{"start", "database shop 2", "missing public.gone",
                                            "schema dbo", "table public.here 1 done=1/2"}));
        EXPECT_EQ(filtered(bench.events, {"get_table"}),
                  (event_log{"get_table public.here mode=1"}));
        EXPECT_TRUE(bench.handler->messages.empty());
    }
}

TEST(ConversionRun, OnlyTheAgentConvertsEverySourceTableWhenNoneIsSelected)
{
    {
        run_bench agent(convertor_flavour::agent);
        agent.source.tables = {{L"public.b", 1}, {L"public.a", 1}};
        agent.run();
        EXPECT_EQ(filtered(agent.events, {"get_table"}),
                  (event_log{"get_table public.a mode=1", "get_table public.b mode=1"}));
        EXPECT_EQ(agent.converter().tables(),
                  (std::vector<std::wstring>{L"public.b", L"public.a"}));
    }
    run_bench wizard(convertor_flavour::wizard);
    wizard.source.tables = {{L"public.b", 1}, {L"public.a", 1}};
    wizard.run();
    EXPECT_TRUE(filtered(wizard.events, {"get_table"}).empty());
    EXPECT_EQ(wizard.reporter->lines, (std::vector<std::string>{"start", "database shop 0"}));
}

TEST(ConversionRun, ProgressNeverPassesItsTotal)
{
    run_bench bench;
    bench.converter().tables() = {L"public.a"};
    bench.converter().selected() = {{L"public.b", L""}, {L"q", L"SELECT 1"}};
    bench.source.tables = {{L"public.a", 1}, {L"public.b", 1}};
    bench.run();
    EXPECT_EQ(filtered(bench.reporter->lines, {"database", "table"}),
              (std::vector<std::string>{"database shop 3", "table public.a 1 done=0/3",
                                        "table public.b 1 done=1/3", "table q 2 done=2/3"}));
}

struct way_out
{
    const char* name;
    std::function<void(run_bench&)> arrange;
    std::vector<std::string> expected_messages;
    std::vector<std::string> expected_reports;
};

class WaysOutOfTheRun : public testing::TestWithParam<way_out>
{
};

TEST_P(WaysOutOfTheRun, AllLogTheEndAndSetDone)
{
    const way_out& test = GetParam();
    run_bench bench;
    bench.source.tables = {{L"public.a", 2}, {L"public.b", 1}};
    test.arrange(bench);
    bench.run();
    EXPECT_TRUE(bench.converter().done());
    EXPECT_EQ(bench.log_lines_starting("Conversion started on ").size(), 1u);
    EXPECT_EQ(bench.log_lines_starting("Conversion ended on ").size(), 1u);
    EXPECT_EQ(bench.handler->messages, test.expected_messages);
    EXPECT_EQ(bench.reporter->lines, test.expected_reports);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, WaysOutOfTheRun,
    testing::Values(way_out{"Normal",
                            [](run_bench&) {},
                            {},
                            {"start", "database shop 2", "schema dbo", "table public.a 2 done=0/2",
                             "schema dbo", "table public.b 1 done=1/2"}},
                    way_out{"SourceCannotBeOpened",
                            [](run_bench& bench) { bench.source.fail_open_db = true; },
                            {"database shop is gone [final]"},
                            {"start"}},
                    way_out{"DestinationCannotBeCreated",
                            [](run_bench& bench)
                            {
                                bench.destination.exists = false;
                                bench.destination.fail_create_db = true;
                            },
                            {"Errors occurred. [final]"},
                            {"start"}},
                    way_out{"ForeignFailure",
                            [](run_bench& bench) { bench.source.throw_foreign_failure = true; },
                            {},
                            {"start", "failed disk on fire"}},
                    way_out{"AbortAtTheFirstError",
                            [](run_bench& bench)
                            {
                                bench.handler->abort_at = 1;
                                bench.source.tables[0].fail_open = true;
                            },
                            {"public.a: cannot open public.a"},
                            {"start", "database shop 2"}},
                    way_out{"StopRequested",
                            [](run_bench& bench) { bench.converter().request_stop(); },
                            {},
                            {"start", "database shop 2"}}),
    [](const testing::TestParamInfo<way_out>& param_info) { return param_info.param.name; });

TEST(ConversionRun, AgentsSevereErrorEndsTheProgramAfterTheRunIsClosed)
{
    std::ostringstream out;
    run_bench bench(convertor_flavour::agent, false);
    console_error_handler handler(oledb_error_texts(), out);
    bench.source.tables = {{L"public.a", 1, -1, true, 1}, {L"public.b", 1}};
    EXPECT_THROW(bench.run(), process_exit);
    EXPECT_EQ(out.str(), "Error:\npublic.a: cannot open public.a\n");
    EXPECT_TRUE(filtered(bench.events, {"get_table public.b"}).empty());
    EXPECT_EQ(filtered(bench.events, {"release"}),
              (event_log{"release destination", "release source"}));
    EXPECT_TRUE(bench.converter().done());
    EXPECT_EQ(bench.log_lines_starting("Conversion ended on ").size(), 1u);
}

TEST(ConversionRun, WithoutAnErrorHandlerNothingIsOpenedAndTheReporterIsTold)
{
    run_bench bench(convertor_flavour::agent, false);
    bench.run();
    EXPECT_EQ(bench.reporter->lines,
              (std::vector<std::string>{
                  "start", "failed " + tk_mail_assertion("..\\TK/tk_singl", 59).message()}));
    EXPECT_TRUE(bench.events.empty());
    EXPECT_TRUE(bench.converter().done());
}

TEST(ConversionRun, ProgressIsReadableFromAnotherThreadWhileTheRunWrites)
{
    run_bench bench;
    bench.source.tables = {{L"public.a", 3000}, {L"public.b", 3000}, {L"public.c", 3000}};
    bench.converter().set_source(
        std::make_unique<conv_test::fake_source>(bench.source, bench.events));
    bench.converter().set_destination(
        std::make_unique<conv_test::fake_destination>(bench.destination, bench.events));
    bench.converter().set_done(false);
    std::set<std::wstring> seen;
    std::thread worker([&] { bench.converter().run(); });
    while (!bench.converter().done())
    {
        seen.insert(bench.converter().current_table());
        EXPECT_LE(bench.converter().records_done(), 3000);
        EXPECT_LE(bench.converter().tables_done(), 3);
    }
    worker.join();
    for (const std::wstring& name : seen)
    {
        EXPECT_TRUE(name.empty() || name == L"public.a" || name == L"public.b" ||
                    name == L"public.c");
    }
    EXPECT_EQ(bench.converter().current_table(), L"public.c");
}

// Destination names are chosen per run: tables whose destination names meet (a schema taken as
// dbo, names that differ only by case, names the renaming makes) are converted only all of them
// together into destination tables that are all theirs or none yet; the others go on.
struct namesake_case
{
    const char* name;
    int mode;
    std::vector<std::wstring> source;
    std::vector<std::wstring> listed; ///< the run's table list; empty: every table
    std::vector<std::wstring> existing;
    event_log expected_events;
    std::vector<std::string> expected_messages;
};

class NamesakesAcrossRuns : public testing::TestWithParam<namesake_case>
{
};

TEST_P(NamesakesAcrossRuns, ConvertOnlyWholeIntoTheirOwnTables)
{
    const namesake_case& test = GetParam();
    run_bench bench;
    bench.converter().set_mode(test.mode);
    for (const std::wstring& key : test.source)
    {
        bench.source.tables.push_back({key, 1});
    }
    bench.converter().tables() = test.listed;
    bench.destination.tables = test.existing;
    bench.run();
    EXPECT_EQ(filtered(bench.events, {"delete_tab", "create_table", "append"}),
              test.expected_events);
    EXPECT_EQ(bench.handler->messages, test.expected_messages);
    EXPECT_EQ(bench.converter().failures_reported(), test.expected_messages.size());
}

std::string create_of(const std::string& name)
{
    return "create_table " + name + " columns=2 indexes=1";
}

std::string namesake_refusal(const std::string& key, const std::string& sources,
                             const std::string& destinations, const std::string& reason)
{
    return key + ": Table " + key + " was not converted: it has namesakes in the source (" +
           sources + ") whose destination names are chosen by each run (" + destinations +
           "), and " + reason +
           "; convert all of them together, or into a new database with --mode=0.";
}

INSTANTIATE_TEST_SUITE_P(
    Runs, NamesakesAcrossRuns,
    testing::Values(
        namesake_case{"WholeGroupIntoNoTablesYet",
                      1,
                      {L"dbo.t", L"public.t"},
                      {},
                      {},
                      {create_of("[dbo].[t]"), "append [dbo].[t] 1", create_of("[dbo].[_t]"),
                       "append [dbo].[_t] 1"},
                      {}},
        namesake_case{"RerunWithTheSameListOverwritesTheirOwnTables",
                      1,
                      {L"dbo.t", L"public.t"},
                      {L"dbo.t", L"public.t"},
                      {L"[dbo].[t]", L"[dbo].[_t]"},
                      {"delete_tab [dbo].[t]", create_of("[dbo].[t]"), "append [dbo].[t] 1",
                       "delete_tab [dbo].[_t]", create_of("[dbo].[_t]"), "append [dbo].[_t] 1"},
                      {}},
        namesake_case{"PartOfTheGroupIsRefusedAndTheRestGoesOn",
                      1,
                      {L"dbo.t", L"public.t", L"public.u"},
                      {L"public.t", L"public.u"},
                      {L"[dbo].[t]", L"[dbo].[_t]", L"[dbo].[u]"},
                      {"delete_tab [dbo].[u]", create_of("[dbo].[u]"), "append [dbo].[u] 1"},
                      {namesake_refusal("public.t", "dbo.t, public.t", "public.t into [dbo].[t]",
                                        "this run does not convert dbo.t")}},
        namesake_case{
            "NamesakeAddedSinceTheLastRunRefusesTheGroup",
            3,
            {L"public.MIXED", L"public.Mixed", L"public.mixed"},
            {},
            {L"[dbo].[Mixed]", L"[dbo].[_mixed]"},
            {},
            {namesake_refusal("public.MIXED", "public.MIXED, public.Mixed, public.mixed",
                              "public.MIXED into [dbo].[MIXED], public.Mixed into [dbo].[_Mixed], "
                              "public.mixed into [dbo].[1_mixed]",
                              "the destination holds [dbo].[Mixed], [dbo].[_mixed], not the "
                              "tables this run gives them"),
             namesake_refusal("public.Mixed", "public.MIXED, public.Mixed, public.mixed",
                              "public.MIXED into [dbo].[MIXED], public.Mixed into [dbo].[_Mixed], "
                              "public.mixed into [dbo].[1_mixed]",
                              "the destination holds [dbo].[Mixed], [dbo].[_mixed], not the "
                              "tables this run gives them"),
             namesake_refusal("public.mixed", "public.MIXED, public.Mixed, public.mixed",
                              "public.MIXED into [dbo].[MIXED], public.Mixed into [dbo].[_Mixed], "
                              "public.mixed into [dbo].[1_mixed]",
                              "the destination holds [dbo].[Mixed], [dbo].[_mixed], not the "
                              "tables this run gives them")}},
        namesake_case{
            "RenamedNameOfAnotherTableJoinsTheGroup",
            2,
            {L"public._t", L"public.t"},
            {L"public.t"},
            {},
            {},
            {namesake_refusal("public.t", "public._t, public.t", "public.t into [dbo].[t]",
                              "this run does not convert public._t")}},
        namesake_case{"NamesThatOnlyLookRenamedAreNoNamesakes",
                      1,
                      {L"public.2020_t", L"public.t"},
                      {L"public.t"},
                      {L"[dbo].[t]"},
                      {"delete_tab [dbo].[t]", create_of("[dbo].[t]"), "append [dbo].[t] 1"},
                      {}},
        namesake_case{"NewDatabaseModeConvertsAsBefore",
                      0,
                      {L"dbo.t", L"public.t"},
                      {L"public.t"},
                      {},
                      {create_of("[dbo].[t]"), "append [dbo].[t] 1"},
                      {}}),
    [](const testing::TestParamInfo<namesake_case>& param_info) { return param_info.param.name; });

} // namespace
