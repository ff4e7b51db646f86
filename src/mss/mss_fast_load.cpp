// mss_fast_load.cpp: opening, filling, inserting and committing the rows of a bulk load.
#include "mss/mss_fast_load.h"

#include "plat/oledb/oledb_com.h"
#include "plat/oledb/oledb_link.h"
#include "plat/plat_fmt.h"
#include "tk/tk_exception.h"
#include "tk/tk_logger.h"
#include "tk/tk_thread.h"

#include <algorithm>
#include <atomic>
#include <charconv>
#include <cmath>
#include <condition_variable>
#include <cstring>
#include <functional>
#include <mutex>
#include <optional>

namespace
{

// A loader was abandoned with its thread in the driver.
std::atomic<bool> some_left_behind{false};

// When a stop was asked, the time by which every commit waited for is given up.
std::atomic<std::chrono::steady_clock::rep> hurried_until{0};

std::chrono::steady_clock::time_point hurried_deadline()
{
    const auto until = hurried_until.load();
    return until == 0
               ? std::chrono::steady_clock::time_point::max()
               : std::chrono::steady_clock::time_point(std::chrono::steady_clock::duration(until));
}

} // namespace

/// The body of the loader's commit thread: runs the commit each time it is asked, and keeps
/// what it threw for the loader's caller. COM is initialised for the thread, whose error records
/// the failed commit reads.
class mss_fast_load::committer final : public tk_thread_functor
{
public:
    void run() override
    {
        CoInitialize(nullptr);
        std::unique_lock lock(m_mutex);
        for (;;)
        {
            m_changed.wait(lock, [this] { return m_work || stop_requested(); });
            if (!m_work)
            {
                break;
            }
            const std::function<void()> work = std::exchange(m_work, nullptr);
            lock.unlock();
            std::exception_ptr failure;
            try
            {
                work();
            }
            catch (...)
            {
                failure = std::current_exception();
            }
            lock.lock();
            m_failure = failure;
            m_ended = true;
            m_ended_seen = true;
            m_changed.notify_all();
        }
        lock.unlock();
        CoUninitialize();
    }

    void cancel() override
    {
        // The stop request was set before: a thread about to wait sees it, a waiting one wakes.
        const std::lock_guard lock(m_mutex);
        m_changed.notify_all();
    }

    void begin(std::function<void()> work)
    {
        const std::lock_guard lock(m_mutex);
        m_work = std::move(work);
        m_ended = false;
        m_ended_seen = false;
        m_failure = nullptr;
        m_changed.notify_all();
    }

    /// Asked once a row, without the lock.
    bool ended() const { return m_ended_seen.load(std::memory_order_acquire); }

    /// Waits at most `limit` for the commit asked for; false when it has not ended by then.
    /// `failure` is what it threw, if anything.
    bool wait(std::chrono::milliseconds limit, std::exception_ptr& failure)
    {
        const auto given_up = std::chrono::steady_clock::now() + limit;
        std::unique_lock lock(m_mutex);
        // In slices, so that a stop asked meanwhile (hurry) shortens the wait.
        while (!m_ended)
        {
            const auto now = std::chrono::steady_clock::now();
            const auto deadline = std::min(given_up, hurried_deadline());
            if (now >= deadline)
            {
                return false;
            }
            m_changed.wait_for(lock, std::min<std::chrono::steady_clock::duration>(
                                         deadline - now, std::chrono::milliseconds(100)));
        }
        m_ended = false;
        failure = std::exchange(m_failure, nullptr);
        return true;
    }

private:
    std::mutex m_mutex;
    std::condition_variable m_changed;
    std::function<void()> m_work;
    bool m_ended = false;
    std::atomic<bool> m_ended_seen{false};
    std::exception_ptr m_failure;
};

/// The thread that runs the committer; stopped and joined when it goes.
class mss_fast_load::commit_thread final : public tk_thread
{
public:
    explicit commit_thread(committer& body)
        : tk_thread(false)
        , m_body(body)
    {
    }
    ~commit_thread() override
    {
        if (is_running())
        {
            terminate();
        }
    }
    commit_thread(const commit_thread&) = delete;
    commit_thread& operator=(const commit_thread&) = delete;

protected:
    tk_thread_functor* create_functor() override { return &m_body; }

private:
    committer& m_body;
};

mss_fast_load_exception::mss_fast_load_exception(HRESULT hr, std::uint32_t rows_to_replay)
    : odb_exception(hr)
    , m_rows_to_replay(rows_to_replay)
{
}

mss_fast_load_exception::mss_fast_load_exception(const odb_exception& cause,
                                                 std::uint32_t rows_to_replay)
    : odb_exception(cause)
    , m_rows_to_replay(rows_to_replay)
{
}

mss_fast_load_exception::mss_fast_load_exception(const std::wstring& text,
                                                 std::uint32_t rows_to_replay)
    : odb_exception(text)
    , m_rows_to_replay(rows_to_replay)
{
}

namespace
{

// The provider's count of the rows to write again after a failure; `pending` when it has none.
std::uint32_t replay_count(IRowsetFastLoad* rowset, std::uint32_t pending)
{
    ole_com_ptr<IFastLoadReplay> replay;
    DBCOUNTITEM rows = pending;
    if (!odb_refused(rowset->QueryInterface(IID_IFastLoadReplay, replay.put_void())) && replay &&
        odb_refused(replay->GetRowsToReplay(&rows)))
    {
        rows = pending;
    }
    return static_cast<std::uint32_t>(rows);
}

} // namespace

void mss_fast_load::hurry(std::optional<std::chrono::milliseconds> limit)
{
    hurried_until =
        limit ? (std::chrono::steady_clock::now() + *limit).time_since_epoch().count() : 0;
}

std::chrono::milliseconds mss_fast_load::answer_limit()
{
    return plat::oledb::answer_limit();
}

void mss_fast_load::set_answer_limit(std::chrono::milliseconds limit)
{
    plat::oledb::set_answer_limit(limit);
}

mss_fast_load_exception mss_fast_load_exception::no_answer(std::uint32_t rows_in_doubt)
{
    const auto seconds = static_cast<int>(plat::oledb::answer_limit_seconds());
    mss_fast_load_exception failure(
        plat::wformat_w(L"SQL Server did not answer for %d seconds", seconds), rows_in_doubt);
    failure.set_in_commit();
    failure.set_connection_lost(true);
    failure.m_silent_seconds = seconds;
    return failure;
}

mss_fast_load::mss_fast_load()
{
    tk_log(2, "mss_fast_load::ctor");
}

mss_fast_load::~mss_fast_load()
{
    tk_log(2, "mss_fast_load::dtor");
    if (m_abandoned)
    {
        return;
    }
    if (commit_running() && m_committer)
    {
        // A commit still running ends first (the thread uses the rowset), within the limit.
        std::exception_ptr ignored;
        if (!m_committer->wait(answer_limit(), ignored))
        {
            tk_log(3, "A commit got no answer while its load was ended: it is left behind");
            abandon();
            return;
        }
        m_committing = 0;
    }
    m_thread.reset();
    m_accessor.release();
    tk_log(1, "mss_fast_load::dtor - at the end");
    m_fast_load.reset();
}

void mss_fast_load::open_table(IOpenRowset* session, DBID* table_id, const udb_schema& schema,
                               const mss_target& target, const std::vector<bool>& wanted,
                               bool check_constraints)
{
    tk_log(2, "mss_fast_load::open_table");
    if (m_open)
    {
        throw tk_mail_assertion("mss_floa", 140);
    }
    if (table_id == nullptr)
    {
        throw tk_mail_assertion("mss_floa", 141);
    }
    // KEEPNULLS as well: without it the server stores a column's default where a row holds
    // NULL, so a NULL of the source would arrive as a value.
    DBPROP props[4];
    props[0].dwPropertyID = SSPROP_IRowsetFastLoad;
    props[0].vValue.vt = VT_BOOL;
    props[0].vValue.boolVal = VARIANT_TRUE;
    props[1].dwPropertyID = SSPROP_FASTLOADKEEPIDENTITY;
    props[1].vValue.vt = VT_BOOL;
    props[1].vValue.boolVal = VARIANT_TRUE;
    props[2].dwPropertyID = SSPROP_FASTLOADKEEPNULLS;
    props[2].vValue.vt = VT_BOOL;
    props[2].vValue.boolVal = VARIANT_TRUE;
    props[3].dwPropertyID = SSPROP_FASTLOADOPTIONS;
    props[3].vValue.vt = VT_BSTR;
    props[3].vValue.bstrVal = L"CHECK_CONSTRAINTS";
    DBPROPSET set{props, check_constraints ? 4u : 3u, DBPROPSET_SQLSERVERROWSET};
    odb_check(session->OpenRowset(nullptr, table_id, nullptr, IID_IRowsetFastLoad, 1, &set,
                                  m_fast_load.put_unknown()),
              [this](HRESULT hr)
              {
                  odb_exception refusal(hr);
                  m_fast_load.reset();
                  return refusal;
              });
    try
    {
        m_accessor.BindColumns(m_fast_load.get(), schema, target, wanted);
    }
    catch (...)
    {
        // Half open would let the next bind write through a buffer that is not there.
        m_accessor.release();
        m_fast_load.reset();
        throw;
    }
    tk_log(1, "b_open_table->true");
    m_open = true;
    m_rows = 0;
}

bool mss_fast_load::bind_data3(const void* data, std::uint32_t size, std::uint32_t length,
                               std::uint32_t ordinal)
{
    tk_log(2, "mss_fast_load::bind_data3(%d,%d,%d)", size, length, ordinal);
    if (!m_open)
    {
        throw tk_mail_assertion("mss_floa", 70);
    }
    if (ordinal == 0 || !m_accessor.is_bound(ordinal - 1))
    {
        return false;
    }
    const DBBINDING& binding = m_accessor.binding(ordinal - 1);
    if (size > binding.cbMaxLen)
    {
        tk_log(2, "The value (%d bytes) is larger than column %d's slot (%d bytes)", size, ordinal,
               binding.cbMaxLen);
        return false;
    }
    std::uint8_t* row = m_accessor.buffer();
    const DBLENGTH stored_length = length;
    std::memcpy(row + binding.obLength, &stored_length, sizeof stored_length);
    const DBSTATUS status = size != 0 || data != nullptr ? DBSTATUS_S_OK : DBSTATUS_S_ISNULL;
    std::memcpy(row + binding.obStatus, &status, sizeof status);
    if (binding.wType == DBTYPE_IUNKNOWN)
    {
        IUnknown* previous = nullptr;
        std::memcpy(&previous, row + binding.obValue, sizeof previous);
        if (previous != nullptr)
        {
            previous->Release();
        }
        std::memset(row + binding.obValue, 0, sizeof previous);
    }
    if (data != nullptr && size > 0)
    {
        std::memcpy(row + binding.obValue, data, size);
    }
    tk_log(1, "BindData: type=%d, prec=%d, scale=%d", binding.wType, binding.bPrecision,
           binding.bScale);
    return true;
}

bool mss_fast_load::bind_data2(const void* data, std::uint32_t size, std::uint32_t ordinal)
{
    tk_log(2, "mss_fast_load::bind_data2");
    return bind_data3(data, size, size, ordinal);
}

void mss_fast_load::bind_data1(double value, std::uint32_t ordinal)
{
    tk_log(2, "mss_fast_load::bind_data1");
    const auto cast_failure = [ordinal]()
    {
        tk_log(2, "mss_table::fast_append. Conversion error. Decimal type. Column#: %d", ordinal);
        return tk_exception(std::string("Cannot cast types.\n") + mss_contact_support,
                            tk_severity::recoverable);
    };
    if (!std::isfinite(value) || ordinal == 0 || !m_accessor.is_bound(ordinal - 1) ||
        m_accessor.binding(ordinal - 1).wType != DBTYPE_WSTR)
    {
        throw cast_failure();
    }
    // Decimal text in C-locale form: the loader rounds it to the column's scale.
    char digits[64];
    const auto result = std::to_chars(digits, digits + sizeof digits, value);
    std::u16string text(digits, result.ptr);
    const auto bytes = static_cast<std::uint32_t>(text.size() * 2);
    if (!bind_data3(text.data(), bytes, bytes, ordinal))
    {
        throw cast_failure();
    }
}

std::uint32_t mss_fast_load::rows_to_replay(std::uint32_t pending)
{
    return replay_count(m_fast_load.get(), pending);
}

load_row_path mss_fast_load::row_path() const
{
    ole_com_ptr<IFastLoadReplay> replay;
    load_row_path path = load_row_path::batch;
    if (odb_refused(m_fast_load->QueryInterface(IID_IFastLoadReplay, replay.put_void())) ||
        !replay || odb_refused(replay->GetRowPath(&path)))
    {
        return load_row_path::batch;
    }
    return path;
}

mss_fast_load_exception mss_fast_load::insert_failure(HRESULT hr)
{
    if (m_row_path == load_row_path::apart_failed)
    {
        // The rows before it were committed; the row's own statement failed. A lost answer may
        // have stored it: the caller counts it as sent; else the caller writes it again (its
        // own statement reports a refusal of the row itself).
        m_rows = 0;
        mss_fast_load_exception failure(hr, 1);
        failure.set_row_path(m_row_path);
        return failure;
    }
    const std::uint32_t lost = rows_to_replay(m_rows);
    m_rows -= std::min(m_rows, lost);
    mss_fast_load_exception failure(hr, lost + 1);
    failure.set_row_path(m_row_path);
    if (m_row_path == load_row_path::commit_failed)
    {
        // The rows before the row were being committed: a lost answer may have stored them.
        failure.set_in_commit();
    }
    return failure;
}

void mss_fast_load::insert_data()
{
    insert_row(m_accessor.buffer());
}

void mss_fast_load::insert_data(const std::uint8_t* row)
{
    insert_row(row);
}

void mss_fast_load::insert_row(const std::uint8_t* row)
{
    tk_log(1, "mss_fast_load::insert_data");
    if (!m_open)
    {
        throw tk_mail_assertion("mss_floa", 105);
    }
    if (!m_fast_load)
    {
        throw tk_mail_assertion("mss_floa", 106);
    }
    if (commit_running())
    {
        throw tk_mail_assertion("mss_floa", 107);
    }
    m_row_path = load_row_path::batch;
    const HRESULT hr = m_fast_load->InsertRow(m_accessor.handle(), const_cast<std::uint8_t*>(row));
    if (hr != S_OK)
    {
        m_row_path = row_path();
    }
    odb_check(hr, [this](HRESULT failed) { return insert_failure(failed); });
    if (m_row_path == load_row_path::apart)
    {
        // The rows before it were committed and the row written: nothing is pending.
        m_rows = 0;
        return;
    }
    if (m_row_path == load_row_path::after_commit)
    {
        m_rows = 0;
    }
    m_rows = (m_rows + 1) % commit_every;
    if (m_rows == 0)
    {
        periodic_commit();
    }
}

void mss_fast_load::periodic_commit()
{
    if (m_committer)
    {
        begin_on_thread(false, commit_every);
        if (!m_overlap)
        {
            finish_commit();
        }
        return;
    }
    odb_check(m_fast_load->Commit(0),
              [this](HRESULT hr) { return commit_failure(m_fast_load.get(), hr, commit_every); });
}

void mss_fast_load::begin_on_thread(bool done, std::uint32_t pending)
{
    m_committing = pending;
    // The work holds the rowset, not the loader: a commit left behind may end after the
    // loader is gone.
    IRowsetFastLoad* rowset = m_fast_load.get();
    m_committer->begin(
        [rowset, done, pending]()
        {
            if (done)
            {
                // Read whole, with the SQLSTATEs: a commit that lost the connection must say so.
                odb_check(rowset->Commit(1),
                          [rowset, pending](HRESULT hr)
                          {
                              mss_fast_load_exception failure(odb_exception::with_all_texts(hr),
                                                              replay_count(rowset, pending));
                              failure.set_in_commit();
                              return failure;
                          });
                return;
            }
            odb_check(rowset->Commit(0), [rowset, pending](HRESULT hr)
                      { return commit_failure(rowset, hr, pending); });
        });
}

void mss_fast_load::commit_on_thread(bool done, std::uint32_t pending)
{
    begin_on_thread(done, pending);
    finish_commit();
}

void mss_fast_load::abandon()
{
    // The driver call on the loader's thread still uses the thread, the rowset and what the
    // rowset refers to: they are left to it, and the process may end with it still there. A
    // driver time-out or cancel cannot end it: the bulk copy runs on the connection, which the
    // driver manager keeps to one call at a time.
    struct left_behind
    {
        ole_com_ptr<IRowsetFastLoad> rowset;
        std::unique_ptr<CDynamicAccessorEx> accessor;
        std::unique_ptr<committer> body;
        std::unique_ptr<commit_thread> thread;
    };
    // Kept for the life of the process, never destroyed (destroying would join or release).
    static std::mutex mutex;
    static auto* const kept = new std::vector<left_behind*>();
    auto* left = new left_behind{std::move(m_fast_load), std::move(m_accessor_owned),
                                 std::move(m_committer), std::move(m_thread)};
    {
        const std::lock_guard lock(mutex);
        kept->push_back(left);
    }
    some_left_behind = true;
    m_abandoned = true;
    m_open = false;
    m_committing = 0;
    m_rows = 0;
}

bool mss_fast_load::left_behind()
{
    return some_left_behind.load();
}

void mss_fast_load::take_row(std::uint8_t* into) const
{
    std::memcpy(into, m_accessor.buffer_data(), m_accessor.row_size());
}

bool mss_fast_load::rows_copyable() const
{
    for (std::uint32_t column_idx = 0; column_idx < m_accessor.column_count(); ++column_idx)
    {
        if (m_accessor.is_bound(column_idx) && m_accessor.is_stream(column_idx))
        {
            return false;
        }
    }
    return true;
}

void mss_fast_load::set_background_commits(bool on)
{
    if (commit_running())
    {
        throw tk_mail_assertion("mss_floa", 107);
    }
    m_overlap = on;
    if (m_committer)
    {
        return;
    }
    m_committer = std::make_unique<committer>();
    m_thread = std::make_unique<commit_thread>(*m_committer);
    try
    {
        m_thread->start();
    }
    catch (const tk_exception& error)
    {
        tk_log(2, "The commits run in line: %s", error.message());
        m_thread.reset();
        m_committer.reset();
    }
}

bool mss_fast_load::commit_ended() const
{
    return !commit_running() || m_committer->ended();
}

void mss_fast_load::finish_commit()
{
    if (!commit_running())
    {
        return;
    }
    std::exception_ptr failure;
    if (!m_committer->wait(answer_limit(), failure))
    {
        const std::uint32_t in_doubt = m_committing;
        tk_log(3, "A commit of %d rows got no answer: the load is given up", in_doubt);
        abandon();
        throw mss_fast_load_exception::no_answer(in_doubt);
    }
    m_committing = 0;
    if (failure)
    {
        std::rethrow_exception(failure);
    }
}

mss_fast_load_exception mss_fast_load::commit_failure(IRowsetFastLoad* rowset, HRESULT hr,
                                                      std::uint32_t pending)
{
    mss_fast_load_exception failure(hr, replay_count(rowset, pending));
    failure.set_in_commit();
    return failure;
}

void mss_fast_load::commit()
{
    tk_log(1, "mss_fast_load::commit");
    if (!m_open || !m_fast_load)
    {
        throw tk_mail_assertion("mss_floa", 105);
    }
    if (commit_running())
    {
        throw tk_mail_assertion("mss_floa", 107);
    }
    if (m_rows == 0)
    {
        return;
    }
    // The rows of a failed commit are the caller's to write again: none stays pending here.
    const std::uint32_t pending = m_rows;
    m_rows = 0;
    if (m_committer)
    {
        commit_on_thread(false, pending);
        return;
    }
    odb_check(m_fast_load->Commit(0), [this, pending](HRESULT hr)
              { return commit_failure(m_fast_load.get(), hr, pending); });
}

void mss_fast_load::close_table()
{
    tk_log(2, "mss_fast_load::close_table");
    if (!m_open)
    {
        throw tk_mail_assertion("mss_floa", 189);
    }
    if (commit_running())
    {
        throw tk_mail_assertion("mss_floa", 107);
    }
    tk_log(1, "Right before m_spFastLoad->Commit");
    // The rowset is released whatever the commit answers; its failure is thrown afterwards.
    std::optional<mss_fast_load_exception> failure;
    if (m_committer)
    {
        // On the loader's thread, to wait for its answer within the limit (a commit without
        // an answer throws here, the loader given up).
        const std::uint32_t pending = std::exchange(m_rows, 0);
        try
        {
            commit_on_thread(true, pending);
        }
        catch (const mss_fast_load_exception& error)
        {
            if (m_abandoned)
            {
                throw;
            }
            failure.emplace(error);
        }
        // No commit runs: the thread has nothing more to do.
        m_thread.reset();
        m_committer.reset();
    }
    else
        try
        {
            odb_check(m_fast_load->Commit(1),
                      [this](HRESULT hr)
                      {
                          const std::uint32_t lost = rows_to_replay(m_rows);
                          // Read whole, with the SQLSTATEs: a commit that lost the connection must
                          // say so.
                          mss_fast_load_exception commit_failure(odb_exception::with_all_texts(hr),
                                                                 lost);
                          commit_failure.set_in_commit();
                          return commit_failure;
                      });
        }
        catch (const mss_fast_load_exception& error)
        {
            failure.emplace(error);
        }
    tk_log(1, "Right after m_spFastLoad->Commit");
    const HRESULT released = m_accessor.release();
    m_fast_load.reset();
    m_open = false;
    m_rows = 0;
    tk_log(1, "mss_fast_load::close_table - at the end");
    if (failure)
    {
        throw *failure;
    }
    odb_check(released);
}
