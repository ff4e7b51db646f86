// mss_table_columns_test.cpp: the table writer pairs fields with columns by name on every load
// path, leaves out the columns the source lacks, keeps every uncommitted row until it is stored
// or reported, and ends a bulk batch early when its rows hold many bytes.
#include "mss/mss_table.h"
#include "mss/odb_exception.h"
#include "mss_table_fixture.h"

#include <gtest/gtest.h>

namespace
{

using namespace mss_test;

enum class load_path
{
    bulk_copy,
    insert_batches,
    insert_statements
};

struct path_case
{
    const char* name;
    load_path path;
    std::vector<std::wstring> expected;
};

class MssTableColumnOrder : public MssTable, public testing::WithParamInterface<path_case>
{
};

// The destination t(id, last, first) filled from a source t(id, first, last).
TEST_P(MssTableColumnOrder, FieldsGoToTheColumnsOfTheirName)
{
    const load_path path = GetParam().path;
    open(path != load_path::insert_statements, path == load_path::bulk_copy,
         {described(L"id", sql_type::integer), described(L"last", sql_type::varchar, 20),
          described(L"first", sql_type::varchar, 20)});
    std::unique_ptr<odb_table> table =
        writer({column(L"id", VT_I4), column(L"last", VT_BSTR, 20), column(L"first", VT_BSTR, 20)});
    udb_record record = row_of({{L"id", ole_variant(1)},
                                {L"first", ole_variant(L"John")},
                                {L"last", ole_variant(L"Smith")}});
    table->append_record(record);
    table->flush();
    EXPECT_EQ(trace_of({L"row(", L"INSERT", L"SET QUOTED_IDENTIFIER OFF; INSERT"}),
              GetParam().expected);
    EXPECT_TRUE(m_failures.empty());
}

INSTANTIATE_TEST_SUITE_P(
    LoadPaths, MssTableColumnOrder,
    testing::Values(path_case{"BulkCopy", load_path::bulk_copy, {L"row(1|Smith|John)"}},
                    path_case{"InsertBatches",
                              load_path::insert_batches,
                              {L"INSERT INTO [dbo].[t] ([id], [last], [first]) VALUES (?, ?, ?) <- "
                               L"1|Smith|John"}},
                    path_case{
                        "InsertStatements",
                        load_path::insert_statements,
                        {L"SET QUOTED_IDENTIFIER OFF; INSERT INTO [dbo].[t]([id], [last], [first]) "
                         L"VALUES( 1, N'Smith', N'John')"}}),
    [](const testing::TestParamInfo<path_case>& param_info)
    { return std::string(param_info.param.name); });

struct missing_case
{
    const char* name;
    load_path path;
    std::vector<std::pair<const wchar_t*, ole_variant>> fields;
    // The load's statements and rows; empty with `refused`.
    std::vector<std::wstring> expected;
    bool refused;
};

class MssTableMissingColumns : public MssTable, public testing::WithParamInterface<missing_case>
{
};

// The destination t(id, note NULL, rank NOT NULL DEFAULT 5, code NOT NULL).
TEST_P(MssTableMissingColumns, AbsentColumnsKeepTheirDefaultsOrRefuseTheTable)
{
    const missing_case& param = GetParam();
    open(param.path != load_path::insert_statements, param.path == load_path::bulk_copy,
         {described(L"id", sql_type::integer), described(L"note", sql_type::varchar, 20),
          described(L"rank", sql_type::integer), described(L"code", sql_type::varchar, 5)});
    std::unique_ptr<odb_table> table = writer({column(L"id", VT_I4), column(L"note", VT_BSTR, 20),
                                               column(L"rank", VT_I4, 0, true, ole_variant(5)),
                                               column(L"code", VT_BSTR, 5, true)});
    udb_record record = row_of(param.fields);
    try
    {
        table->append_record(record);
        table->flush();
        EXPECT_FALSE(param.refused) << "no exception";
    }
    catch (const odb_exception& error)
    {
        ADD_FAILURE() << "a row-level failure: " << error.what();
    }
    catch (const tk_exception& error)
    {
        EXPECT_TRUE(param.refused);
        EXPECT_STREQ(error.what(),
                     "The structure of data source does not conform to the destination table.");
    }
    EXPECT_EQ(trace_of({L"bind(", L"row(", L"INSERT", L"SET QUOTED_IDENTIFIER OFF; INSERT"}),
              param.expected);
}

INSTANTIATE_TEST_SUITE_P(
    Sources, MssTableMissingColumns,
    testing::Values(
        // Bulk copy would send every column: the load goes by INSERT batches instead.
        missing_case{"BulkLoadNamesOnlyTheFilledColumns",
                     load_path::bulk_copy,
                     {{L"code", ole_variant(L"X")}, {L"id", ole_variant(1)}},
                     {L"INSERT INTO [dbo].[t] ([id], [code]) VALUES (?, ?) <- 1|X"},
                     false},
        missing_case{"InsertBatchesNameOnlyTheFilledColumns",
                     load_path::insert_batches,
                     {{L"code", ole_variant(L"X")}, {L"id", ole_variant(1)}},
                     {L"INSERT INTO [dbo].[t] ([id], [code]) VALUES (?, ?) <- 1|X"},
                     false},
        missing_case{"InsertStatementsNameOnlyTheFilledColumns",
                     load_path::insert_statements,
                     {{L"code", ole_variant(L"X")}, {L"id", ole_variant(1)}},
                     {L"SET QUOTED_IDENTIFIER OFF; INSERT INTO [dbo].[t]([id], [code]) VALUES( 1, "
                      L"N'X')"},
                     false},
        missing_case{"NotNullColumnWithoutDefaultMissingOnBulkCopy",
                     load_path::bulk_copy,
                     {{L"id", ole_variant(1)}, {L"note", ole_variant(L"n")}},
                     {},
                     true},
        missing_case{"NotNullColumnWithoutDefaultMissingOnInsert",
                     load_path::insert_statements,
                     {{L"id", ole_variant(1)}, {L"note", ole_variant(L"n")}},
                     {},
                     true},
        missing_case{
            "SourceColumnTheDestinationLacks",
            load_path::bulk_copy,
            {{L"id", ole_variant(1)}, {L"code", ole_variant(L"X")}, {L"size", ole_variant(3)}},
            {},
            true},
        missing_case{
            "SourceColumnTheDestinationLacksOnInsert",
            load_path::insert_statements,
            {{L"id", ole_variant(1)}, {L"code", ole_variant(L"X")}, {L"size", ole_variant(3)}},
            {},
            true}),
    [](const testing::TestParamInfo<missing_case>& param_info)
    { return std::string(param_info.param.name); });

// The identity column left to the server: identity insertion would refuse every row.
TEST_F(MssTable, IdentityColumnTheSourceLacksTakesNoIdentityInsertion)
{
    open(false, false, {described(L"id", sql_type::integer, 10, true)});
    std::unique_ptr<odb_table> table =
        writer({column(L"id", VT_I4, 0, true, {}, 0, true), column(L"name", VT_BSTR, 20)});
    udb_record record = row_of({{L"name", ole_variant(L"a")}});
    table->append_record(record);
    table->flush();
    EXPECT_EQ(m_script->trace,
              std::vector<std::wstring>{
                  L"SET QUOTED_IDENTIFIER OFF; INSERT INTO [dbo].[t]([name]) VALUES( N'a')"});
}

// Row 4 is refused by the loader (it overflows numeric(5,2)) and fails again as an INSERT; the
// final commit then rolls back rows 1-3 and 5-6, which must all be written again.
TEST_F(MssTable, RowRefusedByTheLoaderThenAFailedCommitLosesNoEarlierRow)
{
    plat::oledb::column_desc amount = described(L"amount", sql_type::decimal, 5);
    amount.decimal_digits = 2;
    open(true, true, {described(L"id", sql_type::integer), amount});
    m_script->failing_batches = {1};
    fake_result overflow;
    overflow.reached = oledb_test::statement_failure(L"22003", L"Arithmetic overflow.");
    m_script->batches[L"INSERT INTO [dbo].[t]([id], [amount]) VALUES( 4, 12345.5)"] = {overflow};
    std::unique_ptr<odb_table> table =
        writer({column(L"id", VT_I4),
                column(L"amount", VT_R8, 0, false, {}, t_ftd::make_precision_scale(5, 2))});
    for (int id = 1; id <= 6; ++id)
    {
        udb_record record =
            row_of({{L"id", ole_variant(id)}, {L"amount", ole_variant(id == 4 ? 12345.5 : 1.5)}});
        table->append_record(record);
    }
    table->flush();
    EXPECT_EQ(m_failures, (std::vector<failure_seen>{{4, 0x80E14, L"4"}}));
    std::vector<std::wstring> ids;
    for (const std::wstring& line : trace_of({L"SET QUOTED_IDENTIFIER OFF; INSERT", L"INSERT"}))
    {
        const std::size_t values = line.find(L"VALUES( ");
        ids.push_back(line.substr(values + 8, line.find(L',', values) - values - 8));
    }
    EXPECT_EQ(ids, (std::vector<std::wstring>{L"4", L"1", L"2", L"3", L"5", L"6"}));
    EXPECT_EQ(dynamic_cast<const mss_table&>(*table).rows_written(), 5);
}

TEST_F(MssTable, BatchEndsEarlyWhenItsRowsPassTheByteBudget)
{
    open(true, false,
         {described(L"id", sql_type::integer), described(L"body", sql_type::varchar, 8000)});
    std::unique_ptr<odb_table> table =
        writer({column(L"id", VT_I4), column(L"body", VT_BSTR, 8000)});
    dynamic_cast<mss_table&>(*table).set_batch_byte_budget(2 * 600 * sizeof(wchar_t));
    for (int id = 1; id <= 5; ++id)
    {
        udb_record record =
            row_of({{L"id", ole_variant(id)}, {L"body", ole_variant(std::wstring(600, L'b'))}});
        table->append_record(record);
    }
    table->flush();
    std::vector<std::size_t> rows_per_statement;
    for (const std::wstring& line : trace_of({L"INSERT"}))
    {
        rows_per_statement.push_back(
            static_cast<std::size_t>(std::count(line.begin(), line.end(), L'(') - 1));
    }
    EXPECT_EQ(rows_per_statement, (std::vector<std::size_t>{2, 2, 1}));
    EXPECT_TRUE(m_failures.empty());
}

} // namespace
