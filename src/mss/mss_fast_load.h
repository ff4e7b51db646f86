// mss_fast_load.h: the bulk loader of a destination table, and the failure that tells the table
// writer which rows to write again.
#pragma once

#include "mss/mss_dynamic_accessor.h"
#include "mss/odb_exception.h"
#include "mss/ole_com_ptr.h"
#include "plat/oledb/oledb_interfaces.h"
#include "udb/udb_schema.h"

#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <vector>

/// A bulk-load call failed: the last rows_to_replay() rows given to insert_data (for a failed
/// insert_data, its own row included) are not stored; their batch was rolled back. The loader
/// can load again (close_table aside); the caller writes those rows another way, in order.
class mss_fast_load_exception : public odb_exception
{
public:
    /// From the failing HRESULT and the thread's error object.
    mss_fast_load_exception(HRESULT hr, std::uint32_t rows_to_replay);
    /// From a text already read (code 0).
    mss_fast_load_exception(const std::wstring& text, std::uint32_t rows_to_replay);
    /// From an error object already read.
    mss_fast_load_exception(const odb_exception& cause, std::uint32_t rows_to_replay);

    /// The server did not answer the commit within the loader's limit: its rows are in doubt,
    /// the loader was given up. The limit in seconds; 0 for any other failure.
    static mss_fast_load_exception no_answer(std::uint32_t rows_in_doubt);
    int silent_seconds() const { return m_silent_seconds; }

    std::uint32_t rows_to_replay() const { return m_rows_to_replay; }
    /// The failing call was a commit: the server may have stored the rows before its answer
    /// was lost.
    bool in_commit() const { return m_in_commit; }
    void set_in_commit() { m_in_commit = true; }
    /// For a failed insert_data: what the provider did with the row and the rows before it
    /// (a commit of them that failed, a row written apart that failed after they were stored:
    /// rows_to_replay() is then that row alone).
    load_row_path row_path() const { return m_row_path; }
    void set_row_path(load_row_path path) { m_row_path = path; }

private:
    std::uint32_t m_rows_to_replay;
    bool m_in_commit = false;
    load_row_path m_row_path = load_row_path::batch;
    int m_silent_seconds = 0;
};

/// Loads one table through IRowsetFastLoad: open_table, then per row bind_data* and
/// insert_data (a commit every 1000 rows), then close_table. With background commits on, the
/// commit every 1000 rows runs on a thread of the loader's own (COM initialised there, its
/// failure built there with that thread's error records and handed over by finish_commit),
/// while the caller prepares the next rows; no other call may be made until finish_commit.
class mss_fast_load
{
public:
    static constexpr std::uint32_t commit_every = 1000;

    /// How long a commit may go without an answer before the loader gives it up: 120 seconds
    /// (as the INSERT statements of rows), unless a test set another limit (set_answer_limit,
    /// or ZOV_TEST_ANSWER_LIMIT_MS for a program under test).
    static std::chrono::milliseconds answer_limit();
    static void set_answer_limit(std::chrono::milliseconds limit);
    /// A stop: every commit waited for from now on, the one waited for now included, is given
    /// up once `limit` from now has passed without its answer (the window's Cancel).
    /// Without a limit: the waits are as long as answer_limit() again.
    static void hurry(std::optional<std::chrono::milliseconds> limit);

    mss_fast_load();
    /// Waits for a commit still running, then releases without committing: close_table commits.
    ~mss_fast_load();
    mss_fast_load(const mss_fast_load&) = delete;
    mss_fast_load& operator=(const mss_fast_load&) = delete;

    /// Opens the table for bulk load (identity values taken from the rows) and binds its
    /// columns, narrowing date and time columns as `target` says. Already open:
    /// tk_mail_assertion ("mss_floa", 140); no table id: ("mss_floa", 141). A refusal throws
    /// odb_exception and leaves the loader closed. With `wanted` not empty only the columns it
    /// marks (by position) are loaded, the others take the table's defaults. With
    /// `check_constraints` the server checks the table's constraints on the rows (the
    /// CHECK_CONSTRAINTS fast-load option); a provider that cannot pass it loads them by
    /// statements, which are checked anyway.
    void open_table(IOpenRowset* session, DBID* table_id, const udb_schema& schema,
                    const mss_target& target, const std::vector<bool>& wanted = {},
                    bool check_constraints = false);

    /// Puts `size` bytes of `data` into the value of column `ordinal` (1-based) and `length`
    /// into its length; no data and size 0 is NULL. False for an ordinal that names no loaded
    /// column and for more bytes than the column's slot holds. A stream column takes the address of
    /// a CSeqStream (size = pointer size) and the loader takes over that reference. Not open:
    /// tk_mail_assertion ("mss_floa", 70).
    bool bind_data3(const void* data, std::uint32_t size, std::uint32_t length,
                    std::uint32_t ordinal);
    /// bind_data3 with length = size.
    bool bind_data2(const void* data, std::uint32_t size, std::uint32_t ordinal);
    /// The value of a NUMERIC column (1-based ordinal), written as C-locale decimal text. A
    /// value that is not finite or a column that takes no text throws tk_exception "Cannot
    /// cast types." with the support sentence.
    void bind_data1(double value, std::uint32_t ordinal);

    /// Inserts the bound row, committing every 1000 rows. A failure throws
    /// mss_fast_load_exception. Not open: tk_mail_assertion ("mss_floa", 105); a commit
    /// running: ("mss_floa", 107). The provider may commit the rows before the row itself
    /// and write the row apart (last_row_path).
    void insert_data();
    /// insert_data of a row bound earlier and copied out of the row buffer (take_row).
    void insert_data(const std::uint8_t* row);
    /// Copies the bound row out of the row buffer, for insert_data later. Only for a loader
    /// whose rows can be copied (rows_copyable).
    void take_row(std::uint8_t* into) const;
    /// No column is bound as a stream, whose object the row buffer owns: a bound row can be
    /// copied and inserted later.
    bool rows_copyable() const;

    /// Runs the commits on the loader's own thread, where their answer is waited for at most
    /// answer_limit(). With `on`, the commit every 1000 rows runs there while the caller goes
    /// on (insert_data begins it and returns); without, insert_data waits for it. When the
    /// thread cannot start the commits run in line, without a limit.
    void set_background_commits(bool on);
    /// A commit begun by insert_data waits for finish_commit.
    bool commit_running() const { return m_committing != 0; }
    /// That commit has ended on its thread: finish_commit will not wait.
    bool commit_ended() const;
    /// Waits for the running commit and takes its outcome: a failure throws
    /// mss_fast_load_exception (rows_to_replay counts rows of that commit's batch, the last
    /// ones given to insert_data). Nothing when no commit is running. A commit that gets no
    /// answer within answer_limit() is given up (abandoned()) and thrown as no_answer.
    void finish_commit();
    /// Commits the rows inserted since the last commit before the 1000-row cadence would (the
    /// table writer ends a batch early when its rows hold many bytes). A failure throws
    /// mss_fast_load_exception; either way the next row starts a new batch. Not open:
    /// tk_mail_assertion ("mss_floa", 105).
    void commit();
    /// Commits the last batch, frees the row and releases the rowset; a failed commit is
    /// thrown afterwards as mss_fast_load_exception with the provider's text. Not open:
    /// tk_mail_assertion ("mss_floa", 189).
    void close_table();

    bool is_open() const { return m_open; }
    /// A commit got no answer in time: its thread, the rowset and the row buffer are left to
    /// the driver call that still holds them (never joined or released); the loader is closed.
    bool abandoned() const { return m_abandoned; }
    /// Some loader of this process was abandoned: its thread may still be inside the driver,
    /// and may come out of it at any time. The program then ends without tearing down what
    /// that thread may still use (std::_Exit once its output is flushed).
    static bool left_behind();
    /// Rows inserted since the last successful commit (the most a failure can cost), those of a
    /// running commit included.
    std::uint32_t rows_since_commit() const { return m_committing + m_rows; }
    /// What the last successful insert_data did besides taking its row into the batch: the
    /// rows before it committed (after_commit), or they and the row itself stored (apart).
    load_row_path last_row_path() const { return m_row_path; }
    const CDynamicAccessorEx& accessor() const { return m_accessor; }

private:
    /// The provider's count of the rows to write again after a failure; `pending` when it has
    /// none.
    std::uint32_t rows_to_replay(std::uint32_t pending);
    load_row_path row_path() const;
    // The failure of an InsertRow, with the rows it cost as the provider tells them.
    mss_fast_load_exception insert_failure(HRESULT hr);
    // A failed commit of `pending` rows, to be written again as the provider counts them.
    // Reads the rowset only: it runs on the loader's thread, which may outlive the loader.
    static mss_fast_load_exception commit_failure(IRowsetFastLoad* rowset, HRESULT hr,
                                                  std::uint32_t pending);
    // Commits the `pending` rows on the loader's thread (`done`: the final commit) and waits.
    void commit_on_thread(bool done, std::uint32_t pending);
    void begin_on_thread(bool done, std::uint32_t pending);
    // Leaves the thread, the rowset and the row buffer to a commit that got no answer.
    void abandon();
    void insert_row(const std::uint8_t* row);
    // The commit of the 1000 rows just inserted: on the loader's thread when it runs, else here.
    void periodic_commit();

    class committer;
    class commit_thread;

    bool m_open = false;
    bool m_abandoned = false;
    // Commits overlap the next rows (else insert_data waits for each).
    bool m_overlap = false;
    std::unique_ptr<CDynamicAccessorEx> m_accessor_owned =
        std::make_unique<CDynamicAccessorEx>(8000);
    CDynamicAccessorEx& m_accessor = *m_accessor_owned;
    ole_com_ptr<IRowsetFastLoad> m_fast_load;
    std::uint32_t m_rows = 0;
    load_row_path m_row_path = load_row_path::batch;
    // Rows of the commit running on the loader's thread; 0 when none runs.
    std::uint32_t m_committing = 0;
    std::unique_ptr<committer> m_committer;
    std::unique_ptr<commit_thread> m_thread; // after m_committer: stopped before it goes
};
