// mss_table_existing_load_test.cpp: the way to an existing table's load: every look at the table
// (its columns, catalog, keys and constraints) waits at most the answer limit and a wait
// without an answer ends the table as a silent server; and the bulk copy asks the server to
// check the table's constraints where it has CHECK constraints and no foreign key.
#include "mss/mss_table.h"
#include "mss/odb_exception.h"
#include "mss_table_fixture.h"

#include <gtest/gtest.h>

namespace
{

using namespace mss_test;

const std::wstring constraints_sql =
    L"SELECT (SELECT COUNT(*) FROM sys.check_constraints WHERE parent_object_id = "
    L"OBJECT_ID(N'[dbo].[t]')), (SELECT COUNT(*) FROM sys.foreign_keys WHERE parent_object_id = "
    L"OBJECT_ID(N'[dbo].[t]'))";

fake_result counts(const std::u16string& checks, const std::u16string& foreign_keys)
{
    fake_result result;
    result.columns = {described(L"checks", sql_type::integer),
                      described(L"foreign_keys", sql_type::integer)};
    result.rows = {{text(checks), text(foreign_keys)}};
    return result;
}

class MssTableExistingLoad : public MssTable
{
protected:
    // [dbo].[t] (id int, name nvarchar(20)) exists; its constraints are counted as given.
    void open_existing(bool bulk, const std::u16string& checks = u"0",
                       const std::u16string& foreign_keys = u"0")
    {
        m_script->batches[sp_columns_sql] = {sp_columns_rows({
            sp_row(L"t", L"id", L"int", L"10", L"4", L"0", std::nullopt),
            sp_row(L"t", L"name", L"nvarchar", L"20", L"40", std::nullopt, std::nullopt),
        })};
        m_script->batches[constraints_sql] = {counts(checks, foreign_keys)};
        open(bulk, bulk,
             {described(L"id", sql_type::integer, 10), described(L"name", sql_type::wvarchar, 20)});
    }

    void load(udb_recordset& table, int rows)
    {
        for (int id = 1; id <= rows; ++id)
        {
            udb_record record = row_of(
                {{L"id", ole_variant(id)}, {L"name", ole_variant(L"n" + std::to_wstring(id))}});
            table.append_record(record);
        }
        table.flush();
    }
};

// The columns (the empty SELECT that a lock held by another session on the table keeps
// waiting), sp_columns, sys.columns, the keys' and indexes' catalog calls and the constraints
// each carry the answer limit.
TEST_F(MssTableExistingLoad, EveryLookAtTheTableCarriesTheAnswerLimit)
{
    open_existing(true);
    std::unique_ptr<odb_table> table = existing(udb_open_mode::append);
    const std::vector<std::wstring> looks{describe_sql,           sp_columns_sql,
                                          L"primary_keys(dbo|t)", L"foreign_keys(dbo|t)",
                                          L"statistics(dbo|t)",   constraints_sql};
    for (const std::wstring& look : looks)
    {
        const auto limit = m_script->time_limits.find(look);
        ASSERT_NE(limit, m_script->time_limits.end()) << plat::wide_to_utf8(look);
        EXPECT_EQ(limit->second, 120u) << plat::wide_to_utf8(look);
    }
    const auto sys_columns =
        std::find_if(m_script->time_limits.begin(), m_script->time_limits.end(),
                     [](const auto& entry)
                     { return entry.first.find(L"FROM sys.columns") != std::wstring::npos; });
    EXPECT_NE(sys_columns, m_script->time_limits.end());
}

class MssTableSilentLook : public MssTableExistingLoad,
                           public testing::WithParamInterface<const wchar_t*>
{
};

// Each look without an answer within the limit ends the table, before any row, as a silent
// server does: no row stored, none in doubt; a failure of the keys' catalog calls is no longer
// taken for a table without keys.
TEST_P(MssTableSilentLook, EndsTheTableAsASilentServer)
{
    open_existing(true);
    m_script->silent_on = GetParam();
    try
    {
        existing(udb_open_mode::append);
        ADD_FAILURE() << "a look without an answer was taken for one";
    }
    catch (const mss_connection_lost& lost)
    {
        EXPECT_EQ(lost.silent_seconds(), 120);
        EXPECT_EQ(lost.rows_not_stored(), 0);
        EXPECT_EQ(lost.rows_in_doubt(), 0);
        EXPECT_EQ(lost.sqlstate(), L"HYT00");
    }
    catch (const std::exception& error)
    {
        ADD_FAILURE() << "not a silent server: " << error.what();
    }
}

INSTANTIATE_TEST_SUITE_P(Looks, MssTableSilentLook,
                         testing::Values(L"WHERE 1=0", L"sp_columns", L"FROM sys.columns",
                                         L"primary_keys(", L"foreign_keys(", L"statistics(",
                                         L"sys.check_constraints"));

struct constraints_case
{
    const char* name;
    std::u16string checks;
    std::u16string foreign_keys;
    bool checked;
};

void PrintTo(const constraints_case& given, std::ostream* out)
{
    *out << given.name;
}

class MssTableConstraints : public MssTableExistingLoad,
                            public testing::WithParamInterface<constraints_case>
{
};

// The bulk copy asks for the constraints to be checked where the table has CHECK constraints
// and no foreign key: the server would check foreign keys too, refusing a child's rows before
// the rows of its parent table arrive. Other tables load as before.
TEST_P(MssTableConstraints, TheBulkCopyAsksForThemWhereTheTableHasChecksAndNoForeignKey)
{
    const constraints_case& given = GetParam();
    open_existing(true, given.checks, given.foreign_keys);
    {
        std::unique_ptr<odb_table> table = existing(udb_open_mode::append);
        load(*table, 2);
    }
    std::vector<std::wstring> expected{L"init([dbo].[t])", L"keep_identity", L"keep_nulls"};
    if (given.checked)
    {
        expected.push_back(L"check_constraints");
    }
    expected.insert(expected.end(), {L"row(1|n1)", L"row(2|n2)", L"done"});
    EXPECT_EQ(trace_of({L"init", L"keep", L"check", L"row", L"done", L"INSERT"}), expected);
    EXPECT_TRUE(m_failures.empty());
}

INSTANTIATE_TEST_SUITE_P(Tables, MssTableConstraints,
                         testing::Values(constraints_case{"checks", u"2", u"0", true},
                                         constraints_case{"checks_and_foreign_key", u"2", u"1",
                                                          false},
                                         constraints_case{"foreign_keys", u"0", u"3", false},
                                         constraints_case{"none", u"0", u"0", false}),
                         [](const testing::TestParamInfo<constraints_case>& tested)
                         { return tested.param.name; });

// Where the driver cannot pass the hint, such a table is loaded by INSERT batches, which the
// server checks anyway.
TEST_F(MssTableExistingLoad, ADriverThatCannotAskForTheChecksLoadsByInsertBatches)
{
    open_existing(true, u"1", u"0");
    m_script->no_check_constraints = true;
    {
        std::unique_ptr<odb_table> table = existing(udb_open_mode::append);
        load(*table, 2);
    }
    EXPECT_TRUE(trace_of({L"row", L"done"}).empty()) << testing::PrintToString(m_script->trace);
    EXPECT_EQ(trace_of({L"INSERT"}),
              (std::vector<std::wstring>{L"INSERT INTO [dbo].[t] ([id], [name]) VALUES (?, ?), "
                                         L"(?, ?) <- 1|n1|2|n2"}));
    EXPECT_TRUE(m_failures.empty());
}

// A table the run has just created has no constraints of its own: nothing is asked.
TEST_F(MssTableExistingLoad, ANewTableIsNotAskedAbout)
{
    open_existing(true, u"1", u"0");
    {
        std::unique_ptr<odb_table> table =
            writer({column(L"id", VT_I4), column(L"name", VT_BSTR, 20)});
        load(*table, 1);
    }
    EXPECT_TRUE(trace_of({L"check"}).empty());
    EXPECT_EQ(std::count(m_script->executed.begin(), m_script->executed.end(), constraints_sql), 0);
}

} // namespace
