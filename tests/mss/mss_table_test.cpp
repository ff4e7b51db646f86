// mss_table_test.cpp: the table writer over the stand-in's scripted link: INSERT statements and
// their session prefix, bulk load with NULL substitution and dates, rows routed to INSERT in
// order, a failed batch written again row by row, the end of the load, and updates by key.
#include "mss/odb_exception.h"
#include "mss_table_fixture.h"
#include "udb/udb_value_exception.h"

#include <gtest/gtest.h>

namespace
{

using namespace mss_test;

TEST_F(MssTable, RecordWithAnExtraFieldIsRefusedForTheWholeTable)
{
    open(false, false, {described(L"id", sql_type::integer)});
    std::unique_ptr<odb_table> table = writer({column(L"id", VT_I4)});
    udb_record record = row_of({{L"id", ole_variant(1)}, {L"extra", ole_variant(2)}});
    try
    {
        table->append_record(record);
        FAIL() << "no exception";
    }
    catch (const odb_exception&)
    {
        FAIL() << "a row-level failure";
    }
    catch (const tk_exception& error)
    {
        EXPECT_STREQ(error.what(),
                     "The structure of data source does not conform to the destination table.");
    }
    EXPECT_TRUE(m_script->trace.empty());
}

struct prefix_case
{
    const char* name;
    bool identity;
    std::vector<std::wstring> statements;
};

class MssTableInsertPath : public MssTable, public testing::WithParamInterface<prefix_case>
{
};

TEST_P(MssTableInsertPath, PrefixGoesWithTheFirstRowAndIdentityIsSwitchedOffOnce)
{
    open(false, false, {described(L"id", sql_type::integer, 10, GetParam().identity)});
    {
        std::unique_ptr<odb_table> table =
            writer({column(L"id", VT_I4, 0, true, {}, 0, GetParam().identity),
                    column(L"name", VT_BSTR, 20)});
        udb_record first = row_of({{L"id", ole_variant(1)}, {L"name", ole_variant(L"it's")}});
        udb_record second = row_of({{L"id", ole_variant(2)}, {L"name", null_value()}});
        table->append_record(first);
        table->append_record(second);
        table->flush();
    }
    EXPECT_EQ(m_script->trace, GetParam().statements);
}

INSTANTIATE_TEST_SUITE_P(
    Identity, MssTableInsertPath,
    testing::Values(
        prefix_case{"WithIdentity",
                    true,
                    {L"SET QUOTED_IDENTIFIER OFF; SET IDENTITY_INSERT [dbo].[t] ON; INSERT INTO "
                     L"[dbo].[t]([id], [name]) VALUES( 1, N'it''s')",
                     L"INSERT INTO [dbo].[t]([id], [name]) VALUES( 2, NULL)",
                     L"SET IDENTITY_INSERT [dbo].[t] OFF;"}},
        prefix_case{"WithoutIdentity",
                    false,
                    {L"SET QUOTED_IDENTIFIER OFF; INSERT INTO [dbo].[t]([id], [name]) VALUES( 1, "
                     L"N'it''s')",
                     L"INSERT INTO [dbo].[t]([id], [name]) VALUES( 2, NULL)"}}),
    [](const testing::TestParamInfo<prefix_case>& param_info)
    { return std::string(param_info.param.name); });

class MssTableBulkIdentity : public MssTable, public testing::WithParamInterface<bool>
{
};

// Whether or not the provider knows the identity column (and switches identity insertion off
// with the load's end), the writer that switched it on switches it off.
TEST_P(MssTableBulkIdentity, BulkLoadTakesTheRowsAndEndsWithTheFlush)
{
    const bool provider_knows = GetParam();
    open(true, true,
         {described(L"id", sql_type::integer, 10, provider_knows),
          described(L"name", sql_type::wvarchar, 20)});
    {
        std::unique_ptr<odb_table> table =
            writer({column(L"id", VT_I4, 0, true, {}, 0, true), column(L"name", VT_BSTR, 20)});
        for (int id = 1; id <= 2; ++id)
        {
            udb_record record = row_of(
                {{L"id", ole_variant(id)}, {L"name", ole_variant(L"név " + std::to_wstring(id))}});
            table->append_record(record);
        }
        table->flush();
        std::vector<std::wstring> expected{
            L"SET QUOTED_IDENTIFIER OFF; SET IDENTITY_INSERT [dbo].[t] ON; ",
            L"init([dbo].[t])",
            L"keep_identity",
            L"keep_nulls",
            L"bind(1,56)",
            L"bind(2,47)",
            L"row(1|név 1)",
            L"row(2|név 2)",
            L"done"};
        if (provider_knows)
        {
            expected.push_back(L"SET IDENTITY_INSERT [dbo].[t] OFF");
        }
        expected.push_back(L"SET IDENTITY_INSERT [dbo].[t] OFF;");
        EXPECT_EQ(m_script->trace, expected);
        m_script->trace.clear();
    }
    EXPECT_TRUE(m_script->trace.empty());
    EXPECT_TRUE(m_failures.empty());
}

INSTANTIATE_TEST_SUITE_P(ProviderKnowsIdentity, MssTableBulkIdentity, testing::Bool());

TEST_F(MssTable, NullStaysNullInANotNullColumn)
{
    open(true, false,
         {described(L"qty", sql_type::integer), described(L"label", sql_type::wvarchar, 10),
          described(L"rank", sql_type::integer)});
    std::unique_ptr<odb_table> table =
        writer({column(L"qty", VT_I4, 0, true), column(L"label", VT_BSTR, 10, true),
                column(L"rank", VT_I4, 0, true, ole_variant(5))});
    udb_record record =
        row_of({{L"qty", null_value()}, {L"label", null_value()}, {L"rank", ole_variant()}});
    table->append_record(record);
    table->flush();
    EXPECT_EQ(trace_of({L"INSERT"}),
              std::vector<std::wstring>{L"INSERT INTO [dbo].[t] ([qty], [label], [rank]) VALUES "
                                        L"(?, ?, ?) <- NULL|NULL|NULL"});
}

TEST_F(MssTable, EarlyDatesKeepTheirYearInTheNewerDateTypes)
{
    plat::oledb::column_desc stamp =
        described(L"stamp", sql_type::type_timestamp, 23, false, L"datetime2");
    stamp.decimal_digits = 3;
    open(true, false, {described(L"born", sql_type::type_date, 10), stamp});
    std::unique_ptr<odb_table> table =
        writer({column(L"born", VT_DATE, 0, false, {}, t_ftd::date_only),
                column(L"stamp", VT_DATE, 0, false, {}, 1)});
    udb_record early = row_of({{L"born", ole_variant(system_time(1500, 6, 15))},
                               {L"stamp", ole_variant(system_time(1600, 5, 6, 10, 20, 30, 40))}});
    udb_record later = row_of({{L"born", ole_variant(system_time(2020, 1, 2))},
                               {L"stamp", ole_variant(system_time(2021, 3, 4, 5, 6, 7, 8))}});
    table->append_record(early);
    table->append_record(later);
    table->flush();
    // The stand-in writes a row with a date before 1600-03-01 as literals, in order.
    EXPECT_EQ(trace_of({L"INSERT"}),
              (std::vector<std::wstring>{
                  L"INSERT INTO [dbo].[t] ([born], [stamp]) VALUES ('1500-06-15', '1600-05-06 "
                  L"10:20:30.040')",
                  L"INSERT INTO [dbo].[t] ([born], [stamp]) VALUES (?, ?) <- 2020-1-2 "
                  L"0:0:0.0|2021-3-4 5:6:7.8000000"}));
}

SYSTEMTIME with_microseconds_base(int year, int month, int day)
{
    return system_time(year, month, day, 10, 0, 0, 123);
}

// The fraction goes to the loader in nanoseconds: 123 ms and 456 us are 123456000, and a row
// written as a literal carries all six digits of datetime2(6).
TEST_F(MssTable, MicrosecondsReachDatetime2ThroughBulkLoadAndLiterals)
{
    plat::oledb::column_desc stamp =
        described(L"stamp", sql_type::type_timestamp, 27, false, L"datetime2");
    stamp.decimal_digits = 6;
    open(true, false, {stamp});
    std::unique_ptr<odb_table> table = writer({column(L"stamp", VT_DATE, 0, false, {}, 1)});
    udb_record early = row_of({{L"stamp", ole_variant(with_microseconds_base(1500, 6, 15), 456)}});
    udb_record later = row_of({{L"stamp", ole_variant(with_microseconds_base(2020, 1, 2), 456)}});
    udb_record fine = row_of({{L"stamp", ole_variant(system_time(2020, 1, 2, 10), 7)}});
    table->append_record(early);
    table->append_record(later);
    table->append_record(fine);
    table->flush();
    EXPECT_EQ(trace_of({L"INSERT"}),
              (std::vector<std::wstring>{
                  L"INSERT INTO [dbo].[t] ([stamp]) VALUES ('1500-06-15 10:00:00.123456')",
                  L"INSERT INTO [dbo].[t] ([stamp]) VALUES (?), (?) <- 2020-1-2 "
                  L"10:0:0.123456000|2020-1-2 10:0:0.7000"}));
}

// A numeric of 30 to 38 digits goes to decimal(38, s) as its exact text on both paths; one the
// column cannot hold fails its row only, never rounded.
TEST_F(MssTable, DecimalsBeyondNinetySixBitsReachDecimalThirtyEightExactly)
{
    plat::oledb::column_desc amount = described(L"amount", sql_type::numeric, 38);
    amount.decimal_digits = 2;
    for (const bool bulk : {true, false})
    {
        SCOPED_TRACE(bulk ? "bulk copy" : "INSERT");
        m_script = std::make_shared<fake_script>();
        m_failures.clear();
        open(bulk, bulk, {described(L"id", sql_type::integer), amount});
        std::unique_ptr<odb_table> table =
            writer({column(L"id", VT_I4), column(L"amount", VT_DECIMAL, 0, false, {},
                                                 t_ftd::make_precision_scale(38, 2))});
        const auto row = [](int id, const std::string& digits)
        {
            ole_variant amount_value;
            EXPECT_TRUE(amount_value.set_decimal_text(digits));
            return row_of({{L"id", ole_variant(id)}, {L"amount", amount_value}});
        };
        int refused = 0;
        for (udb_record record :
             {row(1, "-123456789012345678901234567890123456.78"),
              row(2, "1234567890123456789012345678901234567.8"), row(3, "1.001")})
        {
            try
            {
                table->append_record(record);
            }
            catch (const udb_value_exception&)
            {
                ++refused;
            }
        }
        table->flush();
        EXPECT_EQ(refused, 2);
        // Bulk copy gets the numeric struct of every digit (precision 38, scale 2, negative,
        // the 128-bit magnitude), the INSERT path the digits as they stand.
        EXPECT_EQ(trace_of({L"row(", L"SET QUOTED_IDENTIFIER OFF; INSERT"}),
                  (std::vector<std::wstring>{
                      bulk ? L"row(1|0x2602004EF338DE509049C4133302F0F6B04909)"
                           : L"SET QUOTED_IDENTIFIER OFF; INSERT INTO [dbo].[t]([id], [amount]) "
                             L"VALUES( 1, -123456789012345678901234567890123456.78)"}));
    }
}

// datetime holds no microseconds and refuses a fraction finer than its own: the milliseconds go.
TEST_F(MssTable, DatetimeTakesTheMillisecondsOfAFinerValue)
{
    open(true, false, {described(L"stamp", sql_type::type_timestamp, 23, false, L"datetime")},
         u"Microsoft SQL Server  2000 - 8.00.2039 (Intel X86)");
    std::unique_ptr<odb_table> table = writer({column(L"stamp", VT_DATE, 0, false, {}, 1)});
    udb_record record = row_of({{L"stamp", ole_variant(with_microseconds_base(2020, 1, 2), 456)}});
    table->append_record(record);
    table->flush();
    EXPECT_EQ(trace_of({L"INSERT"}),
              std::vector<std::wstring>{
                  L"INSERT INTO [dbo].[t] ([stamp]) VALUES (?) <- 2020-1-2 10:0:0.123000000"});
}

TEST_F(MssTable, DatetimeRefusesAYearBefore1753AndATimeAloneTakesDecember1899)
{
    open(true, false,
         {described(L"stamp", sql_type::type_timestamp, 23, false, L"datetime"),
          described(L"alarm", sql_type::type_timestamp, 23, false, L"datetime")},
         u"Microsoft SQL Server  2000 - 8.00.2039 (Intel X86)");
    std::unique_ptr<odb_table> table =
        writer({column(L"stamp", VT_DATE, 0, false, {}, 1),
                column(L"alarm", VT_DATE, 0, false, {}, t_ftd::time_only)});
    udb_record early = row_of({{L"stamp", ole_variant(system_time(1600, 5, 6, 10, 20, 30))},
                               {L"alarm", ole_variant(system_time(0, 0, 0, 7, 8, 9))}});
    try
    {
        table->append_record(early);
        FAIL() << "no exception";
    }
    catch (const udb_value_exception& error)
    {
        EXPECT_STREQ(error.what(), "The value '1600-05-06 10:20:30' has no form in column stamp: "
                                   "it holds the years 1753 to 9999");
    }
    udb_record later = row_of({{L"stamp", ole_variant(system_time(1753, 1, 1))},
                               {L"alarm", ole_variant(system_time(0, 0, 0, 7, 8, 9))}});
    table->append_record(later);
    table->flush();
    EXPECT_EQ(trace_of({L"INSERT"}),
              std::vector<std::wstring>{L"INSERT INTO [dbo].[t] ([stamp], [alarm]) VALUES (?, ?) "
                                        L"<- 1753-1-1 0:0:0.0|1899-12-30 7:8:9.0"});
}

// A row as the trace shows it: "row(<id>" for bulk copy, "INSERT <id>" for a statement.
std::wstring summary(const std::wstring& line)
{
    if (line.starts_with(L"row("))
    {
        return line.substr(0, line.find(L'|'));
    }
    const std::size_t values = line.find(L"VALUES");
    const std::size_t first = line.find_first_of(L"0123456789", values);
    return L"INSERT " + line.substr(first, line.find(L',', first) - first);
}

TEST_F(MssTable, RowsTheStandInRoutesAwayFromBulkCopyKeepTheirOrder)
{
    open(true, true,
         {described(L"id", sql_type::integer), described(L"name", sql_type::wvarchar, 4000),
          described(L"born", sql_type::type_date, 10)});
    std::unique_ptr<odb_table> table =
        writer({column(L"id", VT_I4), column(L"name", VT_BSTR, 4000),
                column(L"born", VT_DATE, 0, false, {}, t_ftd::date_only)});
    for (int id = 1; id <= 5; ++id)
    {
        const std::wstring name = id == 2 ? std::wstring(3000, L'L') : L"n" + std::to_wstring(id);
        const int year = id == 4 ? 1200 : 2020;
        udb_record record = row_of({{L"id", ole_variant(id)},
                                    {L"name", ole_variant(name)},
                                    {L"born", ole_variant(system_time(year, 1, 2))}});
        table->append_record(record);
    }
    table->flush();
    std::vector<std::wstring> order;
    for (const std::wstring& line : trace_of({L"row(", L"INSERT"}))
    {
        order.push_back(summary(line));
    }
    EXPECT_EQ(order,
              (std::vector<std::wstring>{L"row(1", L"INSERT 2", L"row(3", L"INSERT 4", L"row(5"}));
    EXPECT_TRUE(m_failures.empty());
}

TEST_F(MssTable, GuidTextGoesIntoTheBulkLoadAsAGuid)
{
    open(true, true, {described(L"id", sql_type::guid)});
    std::unique_ptr<odb_table> table =
        writer({column(L"id", VT_BSTR, 0, true, {}, t_ftd::guid_column)});
    for (const wchar_t* text :
         {L"a0eebc99-9c0b-4ef8-bb6d-6bb9bd380a11", L"{B1FFCD88-8D1A-4EF8-BB6D-6BB9BD380A22}"})
    {
        udb_record record = row_of({{L"id", ole_variant(text)}});
        table->append_record(record);
    }
    table->flush();
    // The GUID's own layout: its first three groups in the machine's (little-endian) order.
    EXPECT_EQ(trace_of({L"row", L"SET QUOTED_IDENTIFIER OFF; INSERT"}),
              (std::vector<std::wstring>{L"row(0x99BCEEA00B9CF84EBB6D6BB9BD380A11)",
                                         L"row(0x88CDFFB11A8DF84EBB6D6BB9BD380A22)"}));
}

TEST_F(MssTable, TextWiderThanItsSlotGoesByAnInsertBetweenBulkBatches)
{
    open(true, true,
         {described(L"id", sql_type::integer), described(L"code", sql_type::varchar, 5)});
    std::unique_ptr<odb_table> table = writer({column(L"id", VT_I4), column(L"code", VT_BSTR, 5)});
    const std::vector<std::wstring> codes{L"abc", plat::utf8_to_wide_lossy("ÀÉÎÕÜ"), L"def"};
    for (int id = 1; id <= 3; ++id)
    {
        udb_record record =
            row_of({{L"id", ole_variant(id)}, {L"code", ole_variant(codes[id - 1])}});
        table->append_record(record);
    }
    table->flush();
    EXPECT_EQ(m_script->trace,
              (std::vector<std::wstring>{
                  L"SET QUOTED_IDENTIFIER OFF; ", L"init([dbo].[t])", L"keep_identity",
                  L"keep_nulls", L"bind(1,56)", L"bind(2,47)", L"row(1|abc)", L"done",
                  L"SET QUOTED_IDENTIFIER OFF; INSERT INTO [dbo].[t]([id], [code]) VALUES( 2, N'" +
                      codes[1] + L"')",
                  L"SET QUOTED_IDENTIFIER OFF; ", L"init([dbo].[t])", L"keep_identity",
                  L"keep_nulls", L"bind(1,56)", L"bind(2,47)", L"row(3|def)", L"done"}));
}

TEST_F(MssTable, ValueWithoutAFormInItsColumnFailsItsRowOnly)
{
    open(true, true, {described(L"id", sql_type::smallint)});
    std::unique_ptr<odb_table> table = writer({column(L"id", VT_I2)});
    for (int id : {1, 70000, 3})
    {
        udb_record record = row_of({{L"id", ole_variant(id)}});
        if (id != 70000)
        {
            table->append_record(record);
            continue;
        }
        try
        {
            table->append_record(record);
            FAIL() << "no exception";
        }
        catch (const udb_value_exception& error)
        {
            EXPECT_STREQ(error.what(), "The value '70000' has no form in column id: it does not "
                                       "convert to the column's type");
        }
    }
    table->flush();
    EXPECT_EQ(trace_of({L"row("}), (std::vector<std::wstring>{L"row(1)", L"row(3)"}));
}

TEST_F(MssTable, FailedBatchIsWrittenAgainAndTheHandlerGetsRowSevenWithItsNumber)
{
    open(true, true,
         {described(L"id", sql_type::integer), described(L"name", sql_type::wvarchar, 20)});
    m_script->failing_batches = {1};
    fake_result duplicate;
    duplicate.reached = oledb_test::statement_failure(L"23000", L"Violation of PRIMARY KEY.");
    m_script->batches[L"INSERT INTO [dbo].[t]([id], [name]) VALUES( 7, N'n7')"] = {duplicate};
    std::unique_ptr<odb_table> table = writer({column(L"id", VT_I4), column(L"name", VT_BSTR, 20)});
    const int rows = 1003;
    for (int id = 1; id <= rows; ++id)
    {
        udb_record record =
            row_of({{L"id", ole_variant(id)}, {L"name", ole_variant(L"n" + std::to_wstring(id))}});
        table->append_record(record);
    }
    table->flush();
    EXPECT_EQ(m_failures, (std::vector<failure_seen>{{7, 0x80E2F, L"7"}}));
    std::vector<std::wstring> inserts = trace_of({L"INSERT"});
    ASSERT_EQ(inserts.size(), 1000u);
    for (std::size_t row_idx = 0; row_idx < inserts.size(); ++row_idx)
    {
        const std::wstring id = std::to_wstring(row_idx + 1);
        EXPECT_EQ(inserts[row_idx],
                  L"INSERT INTO [dbo].[t]([id], [name]) VALUES( " + id + L", N'n" + id + L"')");
    }
    // The loader goes on after the failed batch: the last rows come by bulk copy again.
    const std::vector<std::wstring> tail(m_script->trace.end() - 4, m_script->trace.end());
    EXPECT_EQ(tail, (std::vector<std::wstring>{L"row(1001|n1001)", L"row(1002|n1002)",
                                               L"row(1003|n1003)", L"done"}));
}

TEST_F(MssTable, FailedRowIsNamedByTheSourceRowNumberItCameWith)
{
    // Source rows refused before they reached the writer must not shift the numbers it reports.
    open(true, true,
         {described(L"id", sql_type::integer), described(L"name", sql_type::wvarchar, 20)});
    m_script->failing_batches = {1};
    fake_result duplicate;
    duplicate.reached = oledb_test::statement_failure(L"23000", L"Violation of PRIMARY KEY.");
    m_script->batches[L"INSERT INTO [dbo].[t]([id], [name]) VALUES( 7, N'n7')"] = {duplicate};
    std::unique_ptr<odb_table> table = writer({column(L"id", VT_I4), column(L"name", VT_BSTR, 20)});
    for (int id = 1; id <= 10; ++id)
    {
        udb_record record =
            row_of({{L"id", ole_variant(id)}, {L"name", ole_variant(L"n" + std::to_wstring(id))}});
        table->set_next_row_number(id + 2);
        table->append_record(record);
    }
    table->flush();
    EXPECT_EQ(m_failures, (std::vector<failure_seen>{{9, 0x80E2F, L"7"}}));
}

TEST_F(MssTable, FailedFinalBatchIsWrittenAgainByFlush)
{
    open(true, true, {described(L"id", sql_type::integer, 10, true)});
    m_script->failing_batches = {1};
    fake_result duplicate;
    duplicate.reached = oledb_test::statement_failure(L"23000", L"Violation of PRIMARY KEY.");
    m_script->batches[L"INSERT INTO [dbo].[t]([id]) VALUES( 2)"] = {duplicate};
    {
        std::unique_ptr<odb_table> table = writer({column(L"id", VT_I4, 0, true, {}, 0, true)});
        for (int id = 1; id <= 3; ++id)
        {
            udb_record record = row_of({{L"id", ole_variant(id)}});
            table->append_record(record);
        }
        m_script->trace.clear();
        table->flush();
        EXPECT_EQ(m_failures, (std::vector<failure_seen>{{2, 0x80E2F, L"2"}}));
        EXPECT_EQ(
            trace_of({L"SET", L"INSERT"}),
            (std::vector<std::wstring>{
                L"SET IDENTITY_INSERT [dbo].[t] OFF",
                L"SET QUOTED_IDENTIFIER OFF; SET IDENTITY_INSERT [dbo].[t] ON; INSERT INTO "
                L"[dbo].[t]([id]) VALUES( 1)",
                L"INSERT INTO [dbo].[t]([id]) VALUES( 2)",
                L"INSERT INTO [dbo].[t]([id]) VALUES( 3)", L"SET IDENTITY_INSERT [dbo].[t] OFF;"}));
        m_script->trace.clear();
    }
    EXPECT_TRUE(m_script->trace.empty());
}

TEST_F(MssTable, WithoutAHandlerAFailedRowIsThrownOnceTheBatchIsWritten)
{
    open(true, true, {described(L"id", sql_type::integer)});
    m_script->failing_batches = {1};
    fake_result duplicate;
    duplicate.reached = oledb_test::statement_failure(L"23000", L"Violation of PRIMARY KEY.");
    m_script->batches[L"INSERT INTO [dbo].[t]([id]) VALUES( 2)"] = {duplicate};
    std::unique_ptr<odb_table> table = writer({column(L"id", VT_I4)});
    table->set_row_failure_handler({});
    for (int id = 1; id <= 3; ++id)
    {
        udb_record record = row_of({{L"id", ole_variant(id)}});
        table->append_record(record);
    }
    try
    {
        table->flush();
        FAIL() << "no exception";
    }
    catch (const tk_exception& error)
    {
        EXPECT_STREQ(error.what(),
                     "Row 2 of [dbo].[t] could not be stored: Violation of PRIMARY KEY.");
    }
    EXPECT_EQ(trace_of({L"INSERT"}).back(), L"INSERT INTO [dbo].[t]([id]) VALUES( 3)");
}

TEST_F(MssTable, DestructorEndsAFailedLoadWithoutThrowing)
{
    open(true, true, {described(L"id", sql_type::integer)});
    m_script->failing_batches = {1};
    {
        std::unique_ptr<odb_table> table = writer({column(L"id", VT_I4)});
        udb_record record = row_of({{L"id", ole_variant(1)}});
        table->append_record(record);
        m_script->trace.clear();
    }
    // The row of the failed final batch is written again, not lost with it.
    EXPECT_EQ(m_script->trace,
              (std::vector<std::wstring>{
                  L"done", L"SET QUOTED_IDENTIFIER OFF; INSERT INTO [dbo].[t]([id]) VALUES( 1)"}));
    EXPECT_TRUE(m_failures.empty());
}

} // namespace
