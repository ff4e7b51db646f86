// conversion_reader.cpp: the bounded row queue and the thread that reads a source into it.
#include "convertor/conversion_reader.h"

#include "tk/tk_exception.h"
#include "tk/tk_logger.h"
#include "udb/udb_recordset.h"
#include "udb/udb_value_exception.h"

#include <system_error>
#include <utility>

conversion_row_queue::conversion_row_queue(std::size_t max_rows, std::size_t max_bytes)
    : m_max_rows(max_rows > 0 ? max_rows : 1)
    , m_max_bytes(max_bytes)
{
}

bool conversion_row_queue::fits(std::size_t bytes) const
{
    return m_rows.empty() || (m_rows.size() < m_max_rows && m_bytes + bytes <= m_max_bytes);
}

bool conversion_row_queue::drained() const
{
    return m_rows.size() <= m_max_rows / 2 && m_bytes <= m_max_bytes / 2;
}

bool conversion_row_queue::push(conversion_row&& row)
{
    std::unique_lock lock(m_mutex);
    if (!fits(row.bytes))
    {
        // Woken only once the queue has drained to half: each wake-up then moves many rows.
        // Waking for every free place would cost both threads a switch per row.
        m_producer_waiting = true;
        m_room.wait(lock,
                    [&] { return m_closed || m_rows.empty() || (drained() && fits(row.bytes)); });
        m_producer_waiting = false;
    }
    if (m_closed)
    {
        return false;
    }
    m_bytes += row.bytes;
    m_rows.push_back(std::move(row));
    if (m_consumer_waiting)
    {
        m_ready.notify_one();
    }
    return true;
}

void conversion_row_queue::finish(conversion_row&& row) noexcept
{
    const std::lock_guard lock(m_mutex);
    m_last.emplace(std::move(row));
    m_ready.notify_one();
}

std::optional<conversion_row> conversion_row_queue::pop(std::chrono::milliseconds wait)
{
    std::unique_lock lock(m_mutex);
    const auto ready = [&] { return !m_rows.empty() || m_last.has_value(); };
    if (!ready())
    {
        m_consumer_waiting = true;
        const bool woken = m_ready.wait_for(lock, wait, ready);
        m_consumer_waiting = false;
        if (!woken)
        {
            return std::nullopt;
        }
    }
    std::optional<conversion_row> row;
    if (!m_rows.empty())
    {
        row.emplace(std::move(m_rows.front()));
        m_rows.pop_front();
        m_bytes -= row->bytes;
        if (m_producer_waiting && drained())
        {
            m_room.notify_one();
        }
    }
    else
    {
        row = std::move(m_last);
        m_last.reset();
    }
    return row;
}

void conversion_row_queue::close() noexcept
{
    const std::lock_guard lock(m_mutex);
    m_closed = true;
    m_room.notify_all();
}

std::size_t conversion_row_queue::rows() const
{
    const std::lock_guard lock(m_mutex);
    return m_rows.size();
}

std::size_t conversion_row_queue::bytes() const
{
    const std::lock_guard lock(m_mutex);
    return m_bytes;
}

bool conversion_row_queue::producer_waiting() const
{
    const std::lock_guard lock(m_mutex);
    return m_producer_waiting;
}

bool conversion_row_queue::closed() const
{
    const std::lock_guard lock(m_mutex);
    return m_closed;
}

conversion_reader::conversion_reader(udb_recordset& rows, std::size_t max_rows,
                                     std::size_t max_bytes)
    : m_rows(rows)
    , m_queue(max_rows, max_bytes)
{
    try
    {
        m_thread = std::jthread([this] { read(); });
    }
    catch (const std::system_error& error)
    {
        throw tk_exception(std::string("Cannot start the thread that reads the rows: ") +
                               error.what(),
                           tk_severity::ends_run);
    }
}

conversion_reader::~conversion_reader()
{
    m_queue.close();
    if (m_thread.joinable())
    {
        m_thread.join();
    }
}

conversion_row conversion_reader::take(const std::function<void()>& idle)
{
    if (m_finished)
    {
        return conversion_row{};
    }
    // The stop request is a flag nobody signals: it is looked at between short waits.
    constexpr std::chrono::milliseconds poll(20);
    std::optional<conversion_row> row = m_queue.pop(poll);
    while (!row)
    {
        idle();
        row = m_queue.pop(poll);
    }
    m_finished = row->what == conversion_row::kind::end ||
                 row->what == conversion_row::kind::failure || row->next_failure != nullptr;
    return std::move(*row);
}

void conversion_reader::read() noexcept
{
    tk_wlog(1, L"Reading the rows of %s ahead of the writer", m_rows.name());
    conversion_row last;
    try
    {
        while (!m_rows.is_eof())
        {
            conversion_row row;
            try
            {
                udb_record* record = m_rows.get_item();
                if (record == nullptr)
                {
                    break;
                }
                row.what = conversion_row::kind::record;
                // The source makes its next record anew: this one moves to the queue whole.
                row.record = std::move(*record);
                row.bytes = row.record.value_bytes();
            }
            catch (const udb_value_exception&)
            {
                // The source stays on this row, so next() still moves on to the following one.
                row.what = conversion_row::kind::value_error;
                row.error = std::current_exception();
            }
            try
            {
                m_rows.next();
            }
            catch (...)
            {
                row.next_failure = std::current_exception();
            }
            const bool go_on = row.next_failure == nullptr;
            if (!m_queue.push(std::move(row)) || !go_on)
            {
                // Closed: the run left. Or the row carries the failure that ends the reading.
                return;
            }
        }
    }
    catch (...)
    {
        last.what = conversion_row::kind::failure;
        last.error = std::current_exception();
    }
    m_queue.finish(std::move(last));
}
