// mss_table_model_test.cpp: the table writer's bulk path against a simple model, over the
// scripted link, along paths drawn from a seed: writers one after another sharing a record pool
// and a session; rows that fit, rows too long for their slot (an INSERT detour), rows refused
// before the load; rows the loader itself writes apart after committing the rows before them (a
// value wider than the bulk copy takes, a date before 1600-03-01); batches whose commit fails or
// loses the connection; row sends the driver fails (the batch goes with its connection); rows
// whose INSERT is refused; statements writing rows (written again, written apart) whose answer
// is lost, before or after they ran; stops part way and writers destroyed without flush. The link
// decides when each commit on the loader's thread ends: it holds it until the writer has taken a
// number of rows the seed chose (or has stopped taking rows). After each writer: every row handed
// over is stored exactly once, or reported once with its own number, or counted in the one report
// of a lost connection; rows_written() is the rows stored; the pool got each stored record once.
//
// ZOV_MODEL_SEED=<n> runs that seed alone; ZOV_MODEL_SEEDS=<n> runs seeds 1..n (60 unless told);
// ZOV_MODEL_TRACE=1 prints what the link saw.
#include "mss/mss_table.h"
#include "mss/odb_exception.h"
#include "mss_table_fixture.h"
#include "udb/udb_value_exception.h"

#include <algorithm>
#include <atomic>
#include <cstdlib>
#include <gtest/gtest.h>
#include <limits>
#include <map>
#include <optional>
#include <random>
#include <set>
#include <sstream>
#include <thread>

namespace
{

using namespace mss_test;

const std::wstring insert_head = L"INSERT INTO [dbo].[t](";
// A row the loader writes apart, as literals.
const std::wstring apart_head = L"INSERT INTO [dbo].[t] (";
const std::wstring apart_values = L") VALUES (";

// The id a bulk row or an INSERT statement of the model's table carries; 0 for none.
int id_of(const std::wstring& line)
{
    if (line.starts_with(L"row("))
    {
        return std::stoi(line.substr(4));
    }
    const std::size_t values = line.find(L"VALUES( ");
    if (line.find(insert_head) != std::wstring::npos && values != std::wstring::npos)
    {
        return std::stoi(line.substr(values + 8));
    }
    const std::size_t literals = line.find(apart_values);
    if (line.starts_with(apart_head) && line.find(L" <- ") == std::wstring::npos &&
        literals != std::wstring::npos && line[literals + apart_values.size()] != L'?')
    {
        return std::stoi(line.substr(literals + apart_values.size()));
    }
    return 0;
}

enum class row_kind
{
    fits,
    too_long,
    refused,
    // Written apart by the loader: a value wider than the bulk copy's column limit, an early
    // date.
    wide,
    early
};

struct writer_plan
{
    bool streams = false;
    int rows = 0;
    std::size_t byte_budget = mss_table::batch_byte_budget;
    std::map<int, row_kind> kinds; // by row within the writer; fits when absent
    enum class ending
    {
        flush,
        stop,
        destroy
    } end = ending::flush;
    int stop_at = 0;
};

class MssTableModel : public MssTable
{
protected:
    // One case: the writers of the seed one after another.
    void run_seed(unsigned seed);

private:
    writer_plan draw(std::mt19937& rng) const;
    void run_writer(std::mt19937& rng, const writer_plan& plan);

    std::shared_ptr<udb_record_pool> m_pool = std::make_shared<udb_record_pool>(1U << 22);
    int m_next_id = 1;
    std::int64_t m_bulk_stored = 0;
    std::set<int> m_refused_ids;
    // The gate of the commits on the loader's thread.
    std::mutex m_mutex;
    std::condition_variable m_changed;
    int m_appended = 0;
    bool m_released = false;
    bool m_fail_next = false;
    std::vector<int> m_holds;
    std::thread::id m_main;
    // The model's statements the link has seen, for the one that loses its answer.
    std::shared_ptr<std::atomic<int>> m_statements_seen = std::make_shared<std::atomic<int>>(0);
};

writer_plan MssTableModel::draw(std::mt19937& rng) const
{
    const auto chance = [&rng](int one_in) { return rng() % static_cast<unsigned>(one_in) == 0; };
    writer_plan plan;
    plan.streams = chance(4);
    static const int sizes[] = {999, 1000, 1001, 2000, 2001, 3000, 3001};
    plan.rows = chance(2) ? sizes[rng() % std::size(sizes)] : 1 + static_cast<int>(rng() % 3200);
    if (chance(4))
    {
        // Early commits: a batch ends once its rows pass a few hundred.
        plan.byte_budget = 30000 + rng() % 60000;
    }
    // Rows the current load has taken: a detour ends the load, and the next row starts one.
    int loaded = 0;
    int quiet_until = 0;
    for (int row = 1; row <= plan.rows; ++row)
    {
        // Detours weighted towards the rows at and one past a batch boundary of the load.
        const bool boundary = loaded > 0 && (loaded % 1000 == 999 || loaded % 1000 == 0);
        if (row <= quiet_until)
        {
            ++loaded;
        }
        else if (chance(boundary ? 3 : 700))
        {
            // The loader's own detours restart its count of rows too.
            static const row_kind detours[] = {row_kind::too_long, row_kind::wide, row_kind::early};
            plan.kinds[row] = detours[rng() % std::size(detours)];
            loaded = 0;
            if (boundary && chance(2))
            {
                // A full batch of the load that follows, whose end may fail.
                quiet_until = row + 1000;
                plan.rows = std::max(plan.rows, row + 1001);
            }
        }
        else if (chance(400))
        {
            plan.kinds[row] = row_kind::refused;
        }
        else
        {
            ++loaded;
        }
    }
    const unsigned end = rng() % 6;
    if (end == 0)
    {
        plan.end = writer_plan::ending::stop;
        plan.stop_at = 1 + static_cast<int>(rng() % static_cast<unsigned>(plan.rows));
    }
    else if (end == 1)
    {
        plan.end = writer_plan::ending::destroy;
    }
    return plan;
}

void MssTableModel::run_writer(std::mt19937& rng, const writer_plan& plan)
{
    const auto chance = [&rng](int one_in) { return rng() % static_cast<unsigned>(one_in) == 0; };
    // Batch ends of this writer: the link counts them over every writer.
    const int first_call = m_script->batch_calls + 1;
    const int calls = plan.rows / 100 + 4;
    m_script->failing_batches.clear();
    m_script->losing_batches.clear();
    m_script->lose_connection_at_row = 0;
    m_script->failing_sends.clear();
    m_script->dead = false;
    if (chance(3))
    {
        // Row sends the driver fails: their batch goes with the connection.
        for (int send = 0; send < 1 + plan.rows / 1500; ++send)
        {
            m_script->failing_sends.insert(
                m_script->rows_sent + 1 +
                static_cast<int>(rng() % static_cast<unsigned>(plan.rows)));
        }
    }
    for (int call = first_call; call < first_call + calls; ++call)
    {
        if (chance(5))
        {
            m_script->failing_batches.insert(call);
        }
    }
    if (chance(6))
    {
        if (chance(2))
        {
            m_script->losing_batches.insert(first_call + static_cast<int>(rng() % calls));
        }
        else
        {
            m_script->lose_connection_at_row =
                m_script->rows_sent + 1 +
                static_cast<int>(rng() % static_cast<unsigned>(plan.rows));
        }
    }
    m_script->lose_statement = nullptr;
    *m_statements_seen = 0;
    bool lost_statement_ran = false;
    int lose_at = std::numeric_limits<int>::max();
    if (chance(3))
    {
        // A statement writing one of the model's rows (a row of a failed batch written again,
        // a row written apart, a detour) loses its answer: the connection is gone, or the
        // server does not answer; the statement ran before that, or did not.
        lose_at = 1 + static_cast<int>(rng() % 40);
        m_script->lost_statements_silent = chance(2);
        m_script->lost_statements_ran = lost_statement_ran = chance(2);
        m_script->lose_statement = [seen = m_statements_seen, lose_at](const std::wstring& sql)
        {
            return (sql.find(insert_head) != std::wstring::npos || sql.starts_with(apart_head)) &&
                   ++*seen == lose_at;
        };
    }
    {
        const std::lock_guard lock(m_mutex);
        m_holds.clear();
        for (int call = 0; call < calls; ++call)
        {
            m_holds.push_back(chance(3) ? 0 : static_cast<int>(rng() % 1200));
        }
        m_appended = 0;
        m_released = false;
    }
    m_fail_next = false;
    m_script->on_batch_end = [this, first_call](int call)
    {
        {
            const std::lock_guard lock(m_mutex);
            if (std::exchange(m_fail_next, false))
            {
                // Read by the link right after this call, on this thread.
                m_script->failing_batches.insert(call);
            }
        }
        if (std::this_thread::get_id() == m_main)
        {
            return; // a commit in line: the writer itself waits for it
        }
        std::unique_lock lock(m_mutex);
        const std::size_t index = static_cast<std::size_t>(call - first_call);
        const int target = m_appended + (index < m_holds.size() ? m_holds[index] : 0);
        // Until the writer has taken the rows the seed chose, or takes none for a while (it
        // waits for this commit).
        int seen = m_appended;
        while (!m_released && m_appended < target)
        {
            if (!m_changed.wait_for(lock, std::chrono::milliseconds(30),
                                    [&] { return m_released || m_appended != seen; }))
            {
                break;
            }
            seen = m_appended;
        }
    };
    std::vector<bool> fail_after_detour(static_cast<std::size_t>(plan.rows) + 1);
    for (std::size_t row = 0; row < fail_after_detour.size(); ++row)
    {
        fail_after_detour[row] = chance(2);
    }
    const std::size_t trace_from = m_script->trace.size();
    const std::size_t refused_from = m_script->refused_statements.size();
    std::vector<int> handed;
    std::set<int> reported;
    std::optional<mss_connection_lost> lost;
    std::int64_t written = -1;
    {
        udb_schema schema;
        schema.adopt(column(L"id", VT_I4).clone());
        schema.adopt(column(L"label", VT_BSTR, 5).clone());
        schema.adopt(column(L"note", VT_BSTR, 2100).clone());
        schema.adopt(column(L"born", VT_DATE, 0, false, {}, t_ftd::date_only).clone());
        if (plan.streams)
        {
            schema.adopt(column(L"body", VT_BSTR).clone());
        }
        fake_result described_table;
        described_table.columns = {described(L"id", sql_type::integer),
                                   described(L"label", sql_type::wvarchar, 5),
                                   described(L"note", sql_type::wvarchar, 2100),
                                   described(L"born", sql_type::type_date, 10)};
        if (plan.streams)
        {
            described_table.columns.push_back(described(L"body", sql_type::wvarchar, 1073741823));
        }
        m_script->batches[describe_sql] = {described_table};
        std::unique_ptr<odb_table> table =
            mss_new_table_writer(table_name, m_database->session(), schema, *m_database);
        table->set_record_pool(m_pool);
        std::set<int>* handler_seen = &reported;
        table->set_row_failure_handler(
            [handler_seen](udb_record& record, std::int64_t number, const tk_exception&)
            {
                EXPECT_TRUE(handler_seen->insert(static_cast<int>(number)).second)
                    << "row " << number << " reported twice";
                EXPECT_EQ(record[0]->to_wstring(), std::to_wstring(number));
            });
        auto& writer = dynamic_cast<mss_table&>(*table);
        writer.set_batch_byte_budget(plan.byte_budget);
        const int last = plan.end == writer_plan::ending::stop ? plan.stop_at : plan.rows;
        try
        {
            for (int row = 1; row <= last; ++row)
            {
                const int id = m_next_id++;
                const auto kind = plan.kinds.find(row);
                const row_kind what = kind == plan.kinds.end() ? row_kind::fits : kind->second;
                if (what == row_kind::too_long)
                {
                    const std::lock_guard lock(m_mutex);
                    // The detour ends the load: it waits for the commit.
                    m_released = true;
                    m_changed.notify_all();
                }
                std::vector<std::pair<const wchar_t*, ole_variant>> values;
                values.emplace_back(L"id", what == row_kind::refused ? ole_variant(L"x")
                                                                     : ole_variant(id));
                values.emplace_back(L"label", what == row_kind::too_long
                                                  ? ole_variant(L"much too long")
                                                  : ole_variant(L"l" + std::to_wstring(id % 97)));
                // 2,001 characters are 4,002 bytes on the way: over the bulk copy's 4,000.
                values.emplace_back(L"note", what == row_kind::wide
                                                 ? ole_variant(std::wstring(2001, L'w'))
                                                 : ole_variant(L"n"));
                values.emplace_back(L"born",
                                    ole_variant(what == row_kind::early ? system_time(1500, 6, 15)
                                                                        : system_time(2020, 1, 2)));
                if (plan.streams)
                {
                    values.emplace_back(L"body", ole_variant(L"b" + std::to_wstring(id)));
                }
                udb_record record = row_of(values);
                table->set_next_row_number(id);
                handed.push_back(id);
                try
                {
                    table->append_record(record);
                }
                catch (const mss_connection_lost&)
                {
                    throw;
                }
                catch (const udb_value_exception&)
                {
                    EXPECT_TRUE(reported.insert(id).second);
                }
                catch (const odb_exception& error)
                {
                    if (error.connection_lost())
                    {
                        // A detour's own statement: the row is all the writer held (the rows
                        // before it were committed), counted as the run counts it.
                        throw mss_connection_lost(error, 1, 1);
                    }
                    EXPECT_TRUE(reported.insert(id).second);
                }
                if (what == row_kind::too_long && fail_after_detour[static_cast<std::size_t>(row)])
                {
                    // The first batch end of the load that follows the detour fails.
                    const std::lock_guard lock(m_mutex);
                    m_fail_next = true;
                }
                {
                    const std::lock_guard lock(m_mutex);
                    ++m_appended;
                    m_released = false;
                    m_changed.notify_all();
                }
            }
            {
                const std::lock_guard lock(m_mutex);
                m_released = true;
                m_changed.notify_all();
            }
            if (plan.end != writer_plan::ending::destroy)
            {
                table->flush();
                written = writer.rows_written();
                writer.load_rows().check(-1);
            }
        }
        catch (const mss_connection_lost& error)
        {
            lost.emplace(error);
        }
        {
            const std::lock_guard lock(m_mutex);
            m_released = true;
            m_changed.notify_all();
        }
    }
    // What the link stored: the rows of each batch that ended well, and the INSERT statements
    // it ran.
    std::multiset<int> stored;
    std::vector<int> pending;
    std::multiset<std::wstring> refused_statements(m_script->refused_statements.begin() +
                                                       static_cast<std::ptrdiff_t>(refused_from),
                                                   m_script->refused_statements.end());
    int call = first_call;
    std::int64_t bulk_stored = 0;
    for (std::size_t line_idx = trace_from; line_idx < m_script->trace.size(); ++line_idx)
    {
        const std::wstring& line = m_script->trace[line_idx];
        if (line.starts_with(L"row("))
        {
            pending.push_back(id_of(line));
        }
        else if (line == L"rollback")
        {
            // A connection closed with rows sent and not committed.
            pending.clear();
        }
        else if (line == L"batch" || line == L"done")
        {
            if (m_script->failed_batch_calls.count(call++) == 0)
            {
                stored.insert(pending.begin(), pending.end());
                bulk_stored += static_cast<std::int64_t>(pending.size());
            }
            pending.clear();
        }
        else if (const std::size_t values = line.find(L" <- ");
                 line.starts_with(L"INSERT INTO [dbo].[t] (") && values != std::wstring::npos)
        {
            // The stand-in's rows sent as one parameterised statement (a table with a stream
            // column): stored unless the statement was refused.
            const auto refusal = refused_statements.find(line);
            if (refusal != refused_statements.end())
            {
                refused_statements.erase(refusal);
                continue;
            }
            const std::wstring columns = line.substr(0, line.find(L')'));
            const auto per_row = 1 + std::count(columns.begin(), columns.end(), L',');
            std::wistringstream cells(line.substr(values + 4));
            std::wstring cell;
            for (long cell_idx = 0; std::getline(cells, cell, L'|'); ++cell_idx)
            {
                if (cell_idx % per_row == 0)
                {
                    stored.insert(std::stoi(cell));
                    ++bulk_stored;
                }
            }
        }
        else if (line.find(insert_head) != std::wstring::npos || id_of(line) != 0)
        {
            const auto refusal = refused_statements.find(line);
            if (refusal != refused_statements.end())
            {
                refused_statements.erase(refusal);
            }
            else
            {
                stored.insert(id_of(line));
                // A row the loader wrote apart is one of the load's: its record goes back to
                // the pool like a committed row's.
                bulk_stored += line.starts_with(apart_head) ? 1 : 0;
            }
        }
    }
    m_bulk_stored += bulk_stored;
    if (std::getenv("ZOV_MODEL_TRACE") != nullptr)
    {
        for (std::size_t line_idx = trace_from; line_idx < m_script->trace.size(); ++line_idx)
        {
            std::cerr << plat::wide_to_utf8(m_script->trace[line_idx]) << "\n";
        }
    }
    for (const int id : stored)
    {
        EXPECT_EQ(stored.count(id), 1U) << "row " << id << " stored more than once";
        EXPECT_EQ(reported.count(id), 0U) << "row " << id << " stored and reported";
    }
    std::int64_t missing = 0;
    for (const int id : handed)
    {
        if (stored.count(id) == 0 && reported.count(id) == 0)
        {
            ++missing;
        }
    }
    if (lost)
    {
        // The table holds the rows the report counts as stored, and at most those in doubt
        // besides: exactly those when no statement ran before its answer was lost (a commit in
        // doubt never stores its rows here).
        EXPECT_LE(missing, lost->rows_not_stored()) << "the lost connection's count";
        EXPECT_GE(missing, lost->rows_not_stored() - lost->rows_in_doubt())
            << "the lost connection's count";
        if (!lost_statement_ran || lost->rows_in_doubt() == 0)
        {
            EXPECT_EQ(lost->rows_not_stored(), missing) << "the lost connection's count";
        }
        EXPECT_LE(lost->rows_in_doubt(), lost->rows_not_stored());
    }
    else if (plan.end != writer_plan::ending::destroy || *m_statements_seen < lose_at)
    {
        // A writer destroyed without flush can only log a loss met while it ends: its table
        // has failed already.
        EXPECT_EQ(missing, 0) << "rows neither stored nor reported";
    }
    if (written >= 0)
    {
        EXPECT_EQ(written, static_cast<std::int64_t>(stored.size()));
    }
    // Only records of rows the bulk load stored, each once (the pool never hands them out here).
    EXPECT_LE(static_cast<std::int64_t>(m_pool->size()), m_bulk_stored)
        << "records given back to the pool";
}

void MssTableModel::run_seed(unsigned seed)
{
    std::mt19937 rng(seed);
    m_main = std::this_thread::get_id();
    open(true, true,
         {described(L"id", sql_type::integer), described(L"label", sql_type::wvarchar, 5),
          described(L"note", sql_type::wvarchar, 2100), described(L"born", sql_type::type_date, 10),
          described(L"body", sql_type::wvarchar, 1073741823)});
    m_script->stay_dead = true;
    m_script->refuse_statement = [this](const std::wstring& sql)
    {
        const int id = id_of(sql);
        return id != 0 && m_refused_ids.count(id) > 0;
    };
    const int writers = 1 + static_cast<int>(rng() % 3);
    for (int writer = 0; writer < writers && !HasFailure(); ++writer)
    {
        const writer_plan plan = draw(rng);
        for (int row = 0; row < plan.rows; ++row)
        {
            if (rng() % 60 == 0)
            {
                m_refused_ids.insert(m_next_id + row);
            }
        }
        run_writer(rng, plan);
    }
    m_script->on_batch_end = nullptr;
}

std::vector<unsigned> seeds()
{
    if (const char* one = std::getenv("ZOV_MODEL_SEED"); one != nullptr && *one != '\0')
    {
        return {static_cast<unsigned>(std::strtoul(one, nullptr, 10))};
    }
    unsigned count = 60;
    if (const char* many = std::getenv("ZOV_MODEL_SEEDS"); many != nullptr && *many != '\0')
    {
        count = static_cast<unsigned>(std::strtoul(many, nullptr, 10));
    }
    std::vector<unsigned> list;
    for (unsigned seed = 1; seed <= count; ++seed)
    {
        list.push_back(seed);
    }
    return list;
}

class MssTableModelSeed : public MssTableModel, public testing::WithParamInterface<unsigned>
{
};

TEST_P(MssTableModelSeed, EveryRowIsStoredOnceReportedOnceOrCountedLost)
{
    SCOPED_TRACE("rerun with ZOV_MODEL_SEED=" + std::to_string(GetParam()));
    run_seed(GetParam());
    if (HasFailure())
    {
        std::cerr << "The writer's model failed for seed " << GetParam()
                  << "; rerun it with ZOV_MODEL_SEED=" << GetParam() << "\n";
    }
}

INSTANTIATE_TEST_SUITE_P(Seeds, MssTableModelSeed, testing::ValuesIn(seeds()));

} // namespace
