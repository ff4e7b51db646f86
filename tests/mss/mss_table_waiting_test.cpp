// mss_table_waiting_test.cpp: the table writer over the scripted link while the loader commits a
// batch on its own thread and the next rows wait for it: order, failed batches written again
// exactly once with their rows' own numbers, and the end of a load with rows still waiting.
#include "mss/mss_table.h"
#include "mss_table_fixture.h"

#include <gtest/gtest.h>
#include <set>
#include <thread>

namespace
{

using namespace mss_test;

struct waiting_case
{
    const char* name;
    int rows;
    /// The first commit is held until this row has been appended.
    int hold_until;
    /// Batch ends (counted from 1) the server rolls back with a duplicate key.
    std::set<int> failing_batches;
    /// Rows whose INSERT, when their batch is written again, breaks the key too.
    std::set<int> refused_inserts;
    /// The writer is flushed; else it is destroyed with the rows it holds (a stop).
    bool flush;
    /// The calls expected, as "row a-b", "batch", "insert a-b", "done".
    std::vector<std::string> calls;
};

void PrintTo(const waiting_case& test, std::ostream* out)
{
    *out << test.name;
}

class MssTableWaiting : public MssTable, public testing::WithParamInterface<waiting_case>
{
protected:
    // The trace of rows sent by bulk copy, batch ends and INSERT statements, with runs of
    // consecutive rows folded into "row a-b" and "insert a-b".
    std::vector<std::string> calls() const
    {
        std::vector<std::string> folded;
        std::string kind;
        int first = 0;
        int last = 0;
        const auto close_run = [&]()
        {
            if (!kind.empty())
            {
                folded.push_back(kind + " " + std::to_string(first) + "-" + std::to_string(last));
                kind.clear();
            }
        };
        const std::wstring insert = L"INSERT INTO [dbo].[t]([id]) VALUES( ";
        for (const std::wstring& line : trace_of({L"row(", L"batch", L"done", insert}))
        {
            std::string line_kind;
            int id = 0;
            if (line.starts_with(L"row("))
            {
                line_kind = "row";
                id = std::stoi(line.substr(4));
            }
            else if (line.starts_with(insert))
            {
                line_kind = "insert";
                id = std::stoi(line.substr(insert.size()));
            }
            if (line_kind.empty())
            {
                close_run();
                folded.push_back(plat::wide_to_utf8(line));
                continue;
            }
            if (line_kind == kind && id == last + 1)
            {
                last = id;
                continue;
            }
            close_run();
            kind = line_kind;
            first = id;
            last = id;
        }
        close_run();
        return folded;
    }
};

TEST_P(MssTableWaiting, RowsArriveInOrderAndAFailedBatchIsWrittenAgainOnce)
{
    const waiting_case& test = GetParam();
    open(true, true, {described(L"id", sql_type::integer)});
    m_script->failing_batches = test.failing_batches;
    for (const int row : test.refused_inserts)
    {
        fake_result duplicate;
        duplicate.reached = oledb_test::statement_failure(L"23000", L"Violation of PRIMARY KEY.");
        m_script->batches[L"INSERT INTO [dbo].[t]([id]) VALUES( " + std::to_wstring(row) + L")"] = {
            duplicate};
    }
    m_gate.hold(*m_script);
    std::int64_t written = -1;
    {
        std::unique_ptr<odb_table> table = writer({column(L"id", VT_I4)});
        for (int id = 1; id <= test.rows; ++id)
        {
            udb_record record = row_of({{L"id", ole_variant(id)}});
            table->set_next_row_number(id);
            table->append_record(record);
            if (id == test.hold_until)
            {
                // The rows after the first batch wait: nothing of them was sent yet.
                EXPECT_EQ(m_script->rows_sent, 1000);
                m_gate.open();
            }
        }
        if (test.flush)
        {
            table->flush();
            written = dynamic_cast<const mss_table&>(*table).rows_written();
        }
    }
    EXPECT_EQ(calls(), test.calls);
    std::vector<failure_seen> expected;
    for (const int row : test.refused_inserts)
    {
        expected.push_back({row, 0x80E2F, std::to_wstring(row)});
    }
    EXPECT_EQ(m_failures, expected);
    if (test.flush)
    {
        EXPECT_EQ(written, test.rows - static_cast<std::int64_t>(test.refused_inserts.size()));
    }
}

INSTANTIATE_TEST_SUITE_P(
    Batches, MssTableWaiting,
    testing::Values(
        waiting_case{"NextRowsWaitForTheCommit",
                     2500,
                     1500,
                     {},
                     {},
                     true,
                     {"row 1-1000", "batch", "row 1001-2000", "batch", "row 2001-2500", "done"}},
        waiting_case{"FailedBatchIsWrittenAgainBeforeTheRowsThatWaited",
                     1600,
                     1600,
                     {1},
                     {7},
                     true,
                     {"row 1-1000", "batch", "insert 1-1000", "row 1001-1600", "done"}},
        // A whole batch waits; the one after fails too: each failed row is written once more,
        // by INSERT, and the refused ones are reported with their own numbers.
        waiting_case{"TwoFailedBatchesWithAFullBatchWaiting",
                     2500,
                     2000,
                     {1, 2},
                     {7, 1500},
                     true,
                     {"row 1-1000", "batch", "insert 1-1000", "row 1001-2000", "batch",
                      "insert 1001-2000", "row 2001-2500", "done"}},
        // A stop: the writer goes without flush while rows wait; they are sent and committed.
        waiting_case{"StoppedWhileRowsWait",
                     1500,
                     1500,
                     {},
                     {},
                     false,
                     {"row 1-1000", "batch", "row 1001-1500", "done"}}),
    [](const testing::TestParamInfo<waiting_case>& param_info) { return param_info.param.name; });

TEST_F(MssTable, RowsHoldingStreamsDoNotWaitForACommit)
{
    // A stream belongs to the row buffer it is bound in: such rows are sent at once, after the
    // commit before them.
    open(true, true,
         {described(L"id", sql_type::integer), described(L"body", sql_type::wvarchar, 1073741823)});
    m_gate.hold(*m_script);
    std::unique_ptr<odb_table> table = writer({column(L"id", VT_I4), column(L"body", VT_BSTR)});
    std::thread opener(
        [this]()
        {
            std::this_thread::sleep_for(std::chrono::milliseconds(200));
            m_gate.open();
        });
    for (int id = 1; id <= 1001; ++id)
    {
        udb_record record = row_of({{L"id", ole_variant(id)}, {L"body", ole_variant(L"b")}});
        table->append_record(record);
        if (id == 1000)
        {
            EXPECT_EQ(m_script->batch_calls, 1);
        }
    }
    opener.join();
    EXPECT_EQ(m_script->rows_sent, 1001);
    table->flush();
}

} // namespace

namespace
{

using namespace mss_test;

// The row just after a full batch does not fit its slot and goes by an INSERT statement while
// that batch commits; the first full batch of the load that follows fails at its commit. Its
// rows are written again by INSERT (one refused there too), and the rest of the table follows.
TEST_F(MssTable, AFailedBatchAfterAnInsertDetourIsWrittenAgainAndTheTableGoesOn)
{
    open(true, true,
         {described(L"id", sql_type::integer), described(L"label", sql_type::wvarchar, 5)});
    m_script->failing_batches = {3};
    fake_result too_long;
    too_long.reached =
        oledb_test::statement_failure(L"22001", L"String or binary data would be truncated.");
    m_script->batches[L"SET QUOTED_IDENTIFIER OFF; INSERT INTO [dbo].[t]([id], [label]) VALUES( "
                      L"1001, N'much too long')"] = {too_long};
    fake_result overflow;
    overflow.reached = oledb_test::statement_failure(
        L"22008", L"The conversion of a datetime2 data type to a smalldatetime data type "
                  L"resulted in an out-of-range value.");
    m_script->batches[L"INSERT INTO [dbo].[t]([id], [label]) VALUES( 1500, N'l500')"] = {overflow};
    std::unique_ptr<odb_table> table = writer({column(L"id", VT_I4), column(L"label", VT_BSTR, 5)});
    std::vector<std::int64_t> refused;
    for (int id = 1; id <= 3000; ++id)
    {
        const std::wstring label =
            id == 1001 ? L"much too long" : L"l" + std::to_wstring(id % 1000);
        udb_record record = row_of({{L"id", ole_variant(id)}, {L"label", ole_variant(label)}});
        table->set_next_row_number(id);
        try
        {
            table->append_record(record);
        }
        catch (const odb_exception&)
        {
            // The row's own failure comes back to the caller with its number.
            refused.push_back(id);
        }
    }
    table->flush();
    for (const failure_seen& seen : m_failures)
    {
        refused.push_back(seen.number);
    }
    EXPECT_EQ(refused, (std::vector<std::int64_t>{1001, 1500}));
    EXPECT_EQ(dynamic_cast<const mss_table&>(*table).rows_written(), 2998);
    // Every row but the two is stored once: by the bulk load or by an INSERT.
    std::multiset<int> stored;
    const std::wstring insert = L"INSERT INTO [dbo].[t]([id], [label]) VALUES( ";
    int batch_end = 0;
    std::vector<int> pending;
    for (const std::wstring& line : m_script->trace)
    {
        if (line.starts_with(L"row("))
        {
            pending.push_back(std::stoi(line.substr(4)));
        }
        else if (line == L"batch" || line == L"done")
        {
            if (m_script->failing_batches.count(++batch_end) == 0)
            {
                stored.insert(pending.begin(), pending.end());
            }
            pending.clear();
        }
        else if (const std::size_t at = line.find(insert); at != std::wstring::npos)
        {
            const int id = std::stoi(line.substr(at + insert.size()));
            if (id != 1001 && id != 1500)
            {
                stored.insert(id);
            }
        }
    }
    EXPECT_EQ(stored.size(), 2998U);
    EXPECT_EQ(std::set<int>(stored.begin(), stored.end()).size(), 2998U);
}

} // namespace
