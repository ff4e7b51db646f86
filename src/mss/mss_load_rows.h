// mss_load_rows.h: the rows the table writer holds on the bulk path, each in one state, and the
// counts of what became of the rows it holds no longer.
#pragma once

#include "udb/udb_record.h"

#include <cstddef>
#include <cstdint>
#include <deque>
#include <vector>

/// A row handed to the bulk load: its number within the table, its record (whose fields are
/// the writer's until the row is stored or reported) and the bytes its values hold.
struct mss_load_row
{
    std::int64_t number = 0;
    udb_record record;
    std::size_t bytes = 0;
};

/// What a lost connection (or a server that stopped answering) cost: the rows not known to be
/// stored, and of them the rows whose commit got no answer, which may have arrived.
struct mss_rows_lost
{
    std::int64_t not_stored = 0;
    std::int64_t in_doubt = 0;
};

/// Every row the table writer holds on the bulk path is in exactly one state, in the order the
/// rows were handed over:
///  - committing: in the batch the loader commits;
///  - open: sent into the loader's batch that is not being committed yet;
///  - waiting: bound while the loader commits, its row buffer copied here; not sent yet;
///  - replaying: taken out of a failed batch, being written again by INSERT statements.
/// A row the writer holds no longer is counted once: stored, reported (its own failure went to
/// the caller or the row-failure handler), or lost with the connection (not stored; of those,
/// some in doubt). Rows settled without being held (an INSERT detour) are counted the same.
/// check() tells whether every row handed over is accounted for, and whether the rows in the
/// loader's batches are as many as the loader counts. The loader keeps its own counts (it
/// needs them for the 1000-row cadence and for the provider's count of rows to write again);
/// the writer moves its rows here after each loader call and check() compares the two.
class mss_load_rows
{
public:
    // --- transitions ---
    /// A row sent into the open batch. No row may be waiting (they go first).
    void send(mss_load_row&& row);
    /// A row bound while a commit runs: it waits with a copy of its `row_size` bytes of buffer.
    void wait(mss_load_row&& row, const std::uint8_t* buffer, std::size_t row_size);
    /// The first waiting row goes into the open batch; the copy of its buffer (valid until
    /// the next transition).
    const std::uint8_t* send_waiting();
    /// The last row sent was refused on its own: it is reported (the caller reports it).
    /// Rows waiting behind it keep waiting.
    mss_load_row refuse_last();
    /// The loader began a commit of its open batch, all but the last `keep_open` rows (a
    /// row the loader writes apart, after committing the rows before it).
    void begin_commit(std::size_t keep_open = 0);
    /// The loader committed the open rows before the last one sent, which stays open (or is
    /// settled by its own transition).
    void store_before_last()
    {
        begin_commit(1);
        commit_stored();
    }
    /// The running commit stored its rows; their records wait for release().
    void commit_stored();
    /// A batch failed: the last `lost` rows of the committing and open ones are to be written
    /// again (returned in order, each to be settled by replayed_*); of the rows before them,
    /// the committing ones were stored, the open ones stay open. `missing` is set to the rows
    /// the provider counts that the writer did not hold.
    std::vector<mss_load_row> fail(std::size_t lost, std::size_t& missing);
    /// A replayed row was written by its INSERT statement / refused on its own.
    void replayed_stored() { settle_replaying(m_stored); }
    void replayed_reported() { settle_replaying(m_reported); }
    /// The connection went (or the server stopped answering): every row held, and every row
    /// still to replay, is lost; the committing rows are in doubt when `commit_in_doubt`,
    /// and `replay_in_doubt` replaying rows were sent when the answer was lost.
    mss_rows_lost lose(bool commit_in_doubt, std::size_t replay_in_doubt = 0);
    /// The table stops before the waiting rows: they are not written (counted as not stored).
    std::int64_t drop_waiting();
    /// A row handed over and settled without being held: stored by an INSERT detour or the
    /// INSERT path, or reported, or lost (the bound row when the connection went).
    void stored_outside() { ++m_handed, ++m_stored; }
    void reported_outside() { ++m_handed, ++m_reported; }
    void lost_outside() { ++m_handed, ++m_not_stored; }
    /// Gives the records of stored rows back to `pool` (dropped without one).
    void release(udb_record_pool* pool);

    // --- what the states hold ---
    std::size_t committing() const { return m_committing; }
    std::size_t open() const { return m_open; }
    std::size_t waiting() const { return m_rows.size() - m_committing - m_open; }
    std::size_t replaying() const { return m_replaying; }
    /// Bytes of the committing and open rows (what a failure writes again).
    std::size_t batch_bytes() const { return m_batch_bytes; }
    /// Bytes of the waiting rows and their buffer copies.
    std::size_t waiting_bytes() const { return m_waiting_bytes; }
    std::int64_t handed() const { return m_handed; }
    std::int64_t stored() const { return m_stored; }
    std::int64_t reported() const { return m_reported; }
    std::int64_t not_stored() const { return m_not_stored; }
    std::int64_t in_doubt() const { return m_in_doubt; }
    /// Records given back to a pool (or dropped) after their rows were stored.
    std::int64_t released() const { return m_released; }

    /// Every row handed over is held in one state or counted once, and, when the loader is
    /// open (`loader_rows` >= 0, its rows since its last commit), it holds as many rows in
    /// its batches as the committing and open rows here. Throws tk_mail_assertion.
    void check(std::int64_t loader_rows) const;

private:
    void settle_replaying(std::int64_t& outcome);

    // Held rows: m_committing, then m_open, then the waiting ones.
    std::deque<mss_load_row> m_rows;
    std::size_t m_committing = 0;
    std::size_t m_open = 0;
    std::size_t m_replaying = 0;
    std::size_t m_batch_bytes = 0;
    std::size_t m_waiting_bytes = 0;
    // Buffer copies of the waiting rows; the first waiting row's copy at m_copy_first.
    std::vector<std::uint8_t> m_copies;
    std::size_t m_copy_first = 0;
    std::size_t m_copy_size = 0;
    // Records of stored rows not yet released.
    std::vector<udb_record> m_to_release;
    std::int64_t m_handed = 0;
    std::int64_t m_stored = 0;
    std::int64_t m_reported = 0;
    std::int64_t m_not_stored = 0;
    std::int64_t m_in_doubt = 0;
    std::int64_t m_released = 0;
};
