// conversion_writer_test.cpp: the run over the fake source into the real SQL Server side, whose
// bulk loader commits on its own thread over the stand-in's scripted link: a failed batch while
// the next rows are read, the identical-failure stop and a stop at the user's request.
#include "convertor/mss_conversion_destination.h"
#include "convertor_fakes.h"
#include "mss/mss_fast_load.h"
#include "oledb_fake_link.h"
#include "plat/oledb/oledb_providers.h"

#include <atomic>
#include <chrono>
#include <gtest/gtest.h>
#include <thread>

namespace
{

using conv_test::run_bench;
using oledb_test::fake_result;
using oledb_test::fake_script;

const std::string violation =
    "The specified record violates the integrity constraints. See 'Troubleshooting' article of "
    "the product documentation for solution. Violation of PRIMARY KEY.";

std::wstring insert_of(int id)
{
    return L"INSERT INTO [dbo].[a]([id], [name]) VALUES( " + std::to_wstring(id) + L", N'row " +
           std::to_wstring(id) + L"')";
}

struct writer_case
{
    const char* name;
    int rows;
    /// Batch ends the server rolls back with a duplicate key.
    std::set<int> failing_batches;
    /// Rows whose INSERT, when their batch is written again, breaks the key too.
    std::pair<int, int> refused_inserts;
    /// Rows the source cannot read.
    std::set<int> unreadable;
    /// The user stops the run at this message (0: never).
    int abort_at;
    /// The ids sent by bulk copy, in order (first..last runs).
    std::vector<std::pair<int, int>> sent;
    /// The last rows sent were committed by the load's end ("done").
    bool ended;
    /// The INSERT statements (first..last runs).
    std::vector<std::pair<int, int>> inserted;
    std::size_t messages;
    std::string last_message;
};

void PrintTo(const writer_case& test, std::ostream* out)
{
    *out << test.name;
}

class RunIntoTheWriter : public testing::TestWithParam<writer_case>
{
protected:
    void SetUp() override
    {
        m_script->bulk_copy = true;
        // The first commit takes its time, on the loader's thread: the rows read meanwhile wait.
        m_script->on_batch_end = [](int call)
        {
            if (call == 1)
            {
                std::this_thread::sleep_for(std::chrono::milliseconds(300));
            }
        };
        fake_result version;
        version.columns = {oledb_test::text_column(L"v")};
        version.rows = {{oledb_test::text(u"Microsoft SQL Server 2019 (RTM) - 15.0.2000.5 (X64)")}};
        m_script->batches[L"SELECT @@VERSION"] = {version};
        fake_result table;
        plat::oledb::column_desc id;
        id.name = L"id";
        id.sql_type = plat::oledb::sql_type::integer;
        plat::oledb::column_desc name;
        name.name = L"name";
        name.sql_type = plat::oledb::sql_type::wvarchar;
        name.size = 40;
        table.columns = {id, name};
        m_script->batches[L"SELECT * FROM [dbo].[a] WHERE 1=0"] = {table};
        oledb_test::register_scripted_providers(m_classes, m_script, true);
        vandrel_convertor& converter = m_bench.converter();
        converter.set_connection(L"srv", L"sa", L"pw");
        converter.connect_mssql_server();
        m_script->trace.clear();
    }

    // Runs of consecutive ids in the trace lines that begin with `prefix` and go on with the id.
    std::vector<std::pair<int, int>> runs_of(const std::wstring& prefix) const
    {
        std::vector<std::pair<int, int>> runs;
        for (const std::wstring& line : m_script->trace)
        {
            if (!line.starts_with(prefix))
            {
                continue;
            }
            const int id = std::stoi(line.substr(prefix.size()));
            if (!runs.empty() && runs.back().second + 1 == id)
            {
                runs.back().second = id;
            }
            else
            {
                runs.emplace_back(id, id);
            }
        }
        return runs;
    }

    std::shared_ptr<fake_script> m_script = std::make_shared<fake_script>();
    plat::oledb::class_table m_classes;
    run_bench m_bench;
};

TEST_P(RunIntoTheWriter, RowsAfterAFailureOrAStopAreWrittenOnlyAsTheRunPromises)
{
    const writer_case& test = GetParam();
    m_bench.source.tables = {{L"public.a", test.rows}};
    if (!test.unreadable.empty())
    {
        m_bench.source.value_error_rows[L"public.a"] = test.unreadable;
    }
    m_bench.handler->abort_at = test.abort_at;
    m_script->failing_batches = test.failing_batches;
    for (int id = test.refused_inserts.first; id > 0 && id <= test.refused_inserts.second; ++id)
    {
        fake_result duplicate;
        duplicate.reached = oledb_test::statement_failure(L"23000", L"Violation of PRIMARY KEY.");
        m_script->batches[insert_of(id)] = {duplicate};
    }
    m_bench.run(std::make_unique<mss_conversion_destination>(m_bench.converter().mss()));
    EXPECT_EQ(runs_of(L"row("), test.sent);
    EXPECT_EQ(runs_of(L"INSERT INTO [dbo].[a]([id], [name]) VALUES( "), test.inserted);
    const std::vector<std::string>& messages = m_bench.handler->messages;
    ASSERT_EQ(messages.size(), test.messages);
    if (!messages.empty())
    {
        EXPECT_EQ(messages.back(), test.last_message);
    }
    EXPECT_EQ(m_script->trace.back() == L"done", test.ended);
}

INSTANTIATE_TEST_SUITE_P(
    Loads, RunIntoTheWriter,
    testing::Values(
        // Row 1500 is refused when its batch is written again, after the rows read while that
        // batch was committed: reported with its own number, the rest stored.
        writer_case{"FailedBatchWhileTheNextIsRead",
                    2500,
                    {2},
                    {1500, 1500},
                    {},
                    0,
                    {{1, 2500}},
                    true,
                    {{1001, 2000}},
                    1,
                    "public.a, record #1500: " + violation},
        // A hundred rows of the failed batch fail alike: the table stops there, and the rows
        // read after the batch are not written.
        writer_case{"SameFailureStopsBeforeTheRowsThatWaited",
                    1600,
                    {1},
                    {101, 300},
                    {},
                    0,
                    {{1, 1000}},
                    false,
                    {{1, 200}},
                    100,
                    "public.a, records #101 to #200 (100 consecutive rows failed alike; the rest "
                    "of the table was not converted): " +
                        violation},
        // The user stops at an unreadable row: every row read before it is stored.
        writer_case{"StopStoresTheRowsReadBefore",
                    1600,
                    {},
                    {0, 0},
                    {1500},
                    1,
                    {{1, 1499}},
                    true,
                    {},
                    1,
                    "public.a, record #1500: no form for row 1500"}),
    [](const testing::TestParamInfo<writer_case>& param_info) { return param_info.param.name; });

} // namespace

namespace
{

class StopWithoutAnswer : public RunIntoTheWriter
{
};

// The user stops the run while a commit gets no answer, with a full batch of rows waiting for
// it (3000 rows) or at the table's end (1500): the run gives the commit the stop's wait, then
// gives it up and ends as stopped; the trace log counts its rows as in doubt.
TEST_P(StopWithoutAnswer, EndsWithinTheStopsWait)
{
    const int rows = GetParam().rows;
    std::atomic<bool> committing{false};
    std::atomic<bool> returned{false};
    m_script->on_batch_end = [&committing, &returned](int call)
    {
        if (call == 1)
        {
            committing = true;
            std::this_thread::sleep_for(std::chrono::seconds(4));
            returned = true;
        }
    };
    m_bench.source.tables = {{L"public.a", rows}};
    vandrel_convertor& converter = m_bench.converter();
    std::thread stopper(
        [&converter, &committing]()
        {
            // The stop comes once the first batch's commit is under way, however slowly the
            // rows before it were read (a sanitizer build on a busy machine).
            const auto give_up = std::chrono::steady_clock::now() + std::chrono::seconds(10);
            while (!committing && std::chrono::steady_clock::now() < give_up)
            {
                std::this_thread::sleep_for(std::chrono::milliseconds(5));
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(100));
            converter.request_stop();
            mss_fast_load::hurry(std::chrono::milliseconds(300));
        });
    const auto started = std::chrono::steady_clock::now();
    m_bench.run(std::make_unique<mss_conversion_destination>(m_bench.converter().mss()));
    const auto took = std::chrono::steady_clock::now() - started;
    stopper.join();
    mss_fast_load::hurry(std::nullopt);
    EXPECT_LT(took, std::chrono::seconds(3));
    const std::vector<std::string> lines =
        m_bench.log_lines_starting("Conversion stopped by the user in table public.a: ");
    ASSERT_EQ(lines.size(), 1u);
    EXPECT_NE(lines[0].find("0 of its " + std::to_string(rows) +
                            " records were stored, 1000 more may have been"),
              std::string::npos)
        << lines[0];
    EXPECT_TRUE(m_bench.handler->messages.empty());
    // The commit left behind ends before the link goes.
    while (!returned)
    {
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
}

INSTANTIATE_TEST_SUITE_P(
    Stops, StopWithoutAnswer,
    testing::Values(writer_case{"WithRowsWaiting", 3000, {}, {0, 0}, {}, 0, {}, false, {}, 0, ""},
                    writer_case{"AtTheTablesEnd", 1500, {}, {0, 0}, {}, 0, {}, false, {}, 0, ""}),
    [](const testing::TestParamInfo<writer_case>& param_info) { return param_info.param.name; });

} // namespace
