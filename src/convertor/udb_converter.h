// udb_converter.h: the engine-neutral part of the converter: mode, options, table selection and
// the progress of a run.
#pragma once

#include "tk/tk_converter.h"

#include <atomic>
#include <cstdint>
#include <map>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

class udb_profile;

/// What a run does with an existing destination. The values are the numbers that profiles,
/// the agent's --mode= and mode() use.
enum class conversion_mode : int
{
    /// Drop an existing destination database before the run.
    overwrite_database = 0,
    /// Drop and create again each existing destination table.
    overwrite_tables = 1,
    /// Leave an existing destination table alone and do not convert it.
    skip_tables = 2,
    /// Append to existing tables; a row that violates a constraint is dropped silently.
    merge = 3,
    /// Like merge, but a row that violates a constraint updates the existing row.
    merge_update = 4,
};

/// Table name -> query text; an empty query means the whole table. Ordered by plain
/// wide-character comparison, which is the order a run converts the entries in.
using udb_table_selection = std::map<std::wstring, std::wstring>;

/// What a conversion converts and how, and how far a run has got. The progress (counters and
/// current table) is written by the run's thread and may be read from any other thread.
class udb_converter : public tk_converter
{
public:
    udb_converter();
    ~udb_converter() override;

    /// Runs `sql` on the source side without keeping its effects; true when it runs.
    virtual bool test_query(const std::wstring& sql) = 0;

    /// What happens to an existing destination (the numbers of conversion_mode). No range
    /// check: the agent's option and the profile check their values before.
    void set_mode(int mode);
    void set_mode(conversion_mode mode) { set_mode(static_cast<int>(mode)); }
    int mode() const { return m_mode; }
    /// mode() by name; a number outside 0-4 names none of the values.
    conversion_mode mode_kind() const { return static_cast<conversion_mode>(m_mode); }

    /// The selected tables (whole tables) and the selection with queries; a run converts both.
    std::vector<std::wstring>& tables() { return m_tables; }
    const std::vector<std::wstring>& tables() const { return m_tables; }
    udb_table_selection& selected() { return m_selected; }
    const udb_table_selection& selected() const { return m_selected; }
    /// Named queries (name -> SQL text), kept with the profile only.
    std::map<std::wstring, std::wstring>& available_queries() { return m_available_queries; }
    const std::map<std::wstring, std::wstring>& available_queries() const
    {
        return m_available_queries;
    }

    /// Create the tables only, copy no rows.
    bool tab_def() const { return m_tab_def; }
    void set_tab_def(bool on) { m_tab_def = on; }
    /// Create no indexes.
    bool skip_idx() const { return m_skip_idx; }
    void set_skip_idx(bool on) { m_skip_idx = on; }
    /// Kept with the settings only; no step of a run reads it.
    bool convert_views() const { return m_convert_views; }
    void set_convert_views(bool on) { m_convert_views = on; }

    /// The key of the table being converted (a copy, safe from any thread).
    std::wstring current_table() const;
    std::int64_t records_total() const { return m_records_total.load(std::memory_order_acquire); }
    std::int64_t records_done() const { return m_records_done.load(std::memory_order_acquire); }
    int tables_total() const { return m_tables_total.load(std::memory_order_acquire); }
    int tables_done() const { return m_tables_done.load(std::memory_order_acquire); }

    /// Failures the last run reported and went on after (rows, tables, tables the source
    /// lacks). A front-end that reports a failure of its own during the run (an index that
    /// could not be created) adds it with count_failure(), so that the run is not taken for a
    /// complete one.
    std::int64_t failures_reported() const
    {
        return m_failures_reported.load(std::memory_order_acquire);
    }
    void count_failure() { m_failures_reported.fetch_add(1, std::memory_order_acq_rel); }
    /// The last run ended because the connection to a server was lost.
    bool connection_lost() const { return m_connection_lost.load(std::memory_order_acquire); }
    /// The last run ended before it had gone through every selected table: a failed check or
    /// listing of the destination, a lost server, Abort or Cancel, a failure that ended it. The
    /// cases in which the agent ends with -1 after a run; read once `done` is set.
    bool ended_early() const { return m_ended_early.load(std::memory_order_acquire); }

protected:
    /// For the run, at its start and when a server is gone.
    void reset_outcome()
    {
        m_failures_reported.store(0, std::memory_order_release);
        m_connection_lost.store(false, std::memory_order_release);
    }
    void set_connection_lost() { m_connection_lost.store(true, std::memory_order_release); }
    /// For the run: true from its start, false once it has gone through every table.
    void set_ended_early(bool ended_early)
    {
        m_ended_early.store(ended_early, std::memory_order_release);
    }

    /// For the run, the counters' only writer.
    void set_current_table(const std::wstring& name);
    void set_records_total(std::int64_t count)
    {
        m_records_total.store(count, std::memory_order_release);
    }
    void set_records_done(std::int64_t count)
    {
        m_records_done.store(count, std::memory_order_release);
    }
    void set_tables_total(int count) { m_tables_total.store(count, std::memory_order_release); }
    void set_tables_done(int count) { m_tables_done.store(count, std::memory_order_release); }

    /// Writes [Available Queries], [Selected Tables] and [Generic settings] but "no schema".
    bool store_profile(udb_profile& profile) const;
    /// Throws tk_exception (severity 1) for a "mode" or "logfile" value of [Generic settings]
    /// that load_profile would refuse; changes nothing. `path` names the file in the message.
    static void check_profile(const std::wstring& path, const udb_profile& profile);
    /// Reads [Selected Tables] (replacing the selection when it names a table), [Available
    /// Queries] (replacing them when it holds any), then src, dest, logfile, only definitions,
    /// mode and skip indexes of [Generic settings]. Call check_profile first: what it refuses
    /// throws here after earlier keys were applied.
    bool load_profile(const std::wstring& path, const udb_profile& profile);

private:
    /// The "mode" of a profile: one digit 0-4, blanks around it allowed; none for an empty
    /// value. Throws tk_exception "Invalid conversion mode in profile <file>: '<value>'"
    /// (severity 1) for any other value.
    static std::optional<int> profile_mode(const std::wstring& path, const udb_profile& profile);

    int m_mode = 0;
    mutable std::mutex m_current_table_mutex;
    std::wstring m_current_table;
    std::atomic<std::int64_t> m_records_total{0};
    std::atomic<std::int64_t> m_records_done{0};
    std::atomic<int> m_tables_total{0};
    std::atomic<int> m_tables_done{0};
    std::atomic<std::int64_t> m_failures_reported{0};
    std::atomic<bool> m_connection_lost{false};
    std::atomic<bool> m_ended_early{false};
    std::vector<std::wstring> m_tables;
    udb_table_selection m_selected;
    std::map<std::wstring, std::wstring> m_available_queries;
    bool m_tab_def = false;
    bool m_skip_idx = false;
    bool m_convert_views = false;
};

/// Section and key names of a profile.
namespace profile_keys
{
inline constexpr const wchar_t* available_queries = L"Available Queries";
inline constexpr const wchar_t* selected_tables = L"Selected Tables";
inline constexpr const wchar_t* generic = L"Generic settings";
inline constexpr const wchar_t* mssql = L"MS SQL Server settings";
inline constexpr const wchar_t* pgs = L"pgs settings";
} // namespace profile_keys
