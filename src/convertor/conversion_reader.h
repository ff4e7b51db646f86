// conversion_reader.h: the rows of one source table read ahead on a thread of their own and handed
// to the run in order through a queue bounded in rows and bytes.
#pragma once

#include "udb/udb_record.h"

#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <deque>
#include <exception>
#include <functional>
#include <mutex>
#include <optional>
#include <thread>

class udb_recordset;

/// What the reader found at one position of the source, in the order the source gave it.
struct conversion_row
{
    enum class kind
    {
        /// `record` holds the row.
        record,
        /// get_item threw udb_value_exception (in `error`): the row has no record.
        value_error,
        /// No row is left.
        end,
        /// Reading failed (`error`): nothing follows.
        failure
    };

    kind what = kind::end;
    udb_record record;
    std::exception_ptr error;
    /// What moving past this row threw; the run rethrows it once the row is handled. Nothing
    /// follows it.
    std::exception_ptr next_failure;
    /// The row's share of the queue's byte bound.
    std::size_t bytes = 0;
};

/// The rows between the reading thread and the run. Bounded in rows and bytes so that memory
/// stays flat however fast the source reads; one row always fits, however wide. A full queue
/// lets its producer go on once it has drained to half, and each side is woken only while it
/// waits, so that the threads do not take turns row by row. The last
/// position (end or failure) waits in a slot of its own, so handing it over can neither block
/// nor fail.
class conversion_row_queue
{
public:
    conversion_row_queue(std::size_t max_rows, std::size_t max_bytes);

    /// Adds a row, waiting while the queue is full (then until it has drained to half). False when
    /// the queue was closed: the row is dropped and the reader stops.
    bool push(conversion_row&& row);
    /// Sets the last position (end or failure), never waiting.
    void finish(conversion_row&& row) noexcept;
    /// The next position; waits at most `wait`, then answers nothing.
    std::optional<conversion_row> pop(std::chrono::milliseconds wait);
    /// The consumer is gone: a waiting push wakes and every push answers false.
    void close() noexcept;

    /// Rows and bytes held now (for tests and the log).
    std::size_t rows() const;
    std::size_t bytes() const;
    /// True while a push waits for room.
    bool producer_waiting() const;
    /// True once close() was called.
    bool closed() const;

private:
    bool fits(std::size_t bytes) const;
    bool drained() const;

    std::size_t m_max_rows;
    std::size_t m_max_bytes;
    mutable std::mutex m_mutex;
    std::condition_variable m_room;
    std::condition_variable m_ready;
    std::deque<conversion_row> m_rows;
    std::size_t m_bytes = 0;
    std::optional<conversion_row> m_last;
    bool m_closed = false;
    bool m_producer_waiting = false;
    bool m_consumer_waiting = false;
};

/// Reads a source recordset on a thread it owns while the run writes the rows already read. The
/// recordset must have been reset; from construction until this object is gone only the reading
/// thread touches it (and, through it, the source's connection). The destructor closes the
/// queue and joins the thread, whichever way the run leaves: no thread outlives it.
class conversion_reader
{
public:
    /// At most this many rows wait in the queue.
    static constexpr std::size_t default_max_rows = 2048;
    /// At most about this many bytes of values wait in the queue (one row always fits).
    static constexpr std::size_t default_max_bytes = 8u << 20;

    /// Starts reading `rows`. Throws tk_exception (severity 1) when no thread can be started.
    explicit conversion_reader(udb_recordset& rows, std::size_t max_rows = default_max_rows,
                               std::size_t max_bytes = default_max_bytes);
    ~conversion_reader();

    conversion_reader(const conversion_reader&) = delete;
    conversion_reader& operator=(const conversion_reader&) = delete;

    /// The next position in the source's order, waiting for it; while it waits `idle` is
    /// called every few milliseconds (a stop request throws from there). After end or failure
    /// it answers end.
    conversion_row take(const std::function<void()>& idle);

    const conversion_row_queue& queue() const { return m_queue; }

private:
    void read() noexcept;

    udb_recordset& m_rows;
    conversion_row_queue m_queue;
    bool m_finished = false;
    /// Last: started once the queue exists, joined before it goes.
    std::jthread m_thread;
};
