// mss_load_rows.cpp: the states of the rows the table writer holds on the bulk path.
#include "mss/mss_load_rows.h"

#include "tk/tk_exception.h"

#include <algorithm>
#include <iterator>

void mss_load_rows::send(mss_load_row&& row)
{
    if (waiting() > 0)
    {
        throw tk_mail_assertion("mss_rows", 10);
    }
    ++m_handed;
    m_batch_bytes += row.bytes;
    m_rows.push_back(std::move(row));
    ++m_open;
}

void mss_load_rows::wait(mss_load_row&& row, const std::uint8_t* buffer, std::size_t row_size)
{
    if (waiting() == 0)
    {
        m_copies.clear();
        m_copy_first = 0;
        m_copy_size = row_size;
    }
    if (row_size != m_copy_size)
    {
        throw tk_mail_assertion("mss_rows", 20);
    }
    ++m_handed;
    m_copies.insert(m_copies.end(), buffer, buffer + row_size);
    m_waiting_bytes += row.bytes + row_size;
    m_rows.push_back(std::move(row));
}

const std::uint8_t* mss_load_rows::send_waiting()
{
    if (waiting() == 0 || m_committing > 0)
    {
        throw tk_mail_assertion("mss_rows", 30);
    }
    mss_load_row& row = m_rows[m_committing + m_open];
    m_waiting_bytes -= row.bytes + m_copy_size;
    m_batch_bytes += row.bytes;
    ++m_open;
    const std::uint8_t* copy = m_copies.data() + m_copy_first;
    m_copy_first += m_copy_size;
    return copy;
}

mss_load_row mss_load_rows::refuse_last()
{
    if (m_open == 0)
    {
        throw tk_mail_assertion("mss_rows", 40);
    }
    // The last open row; rows may still wait behind it.
    const auto last = m_rows.begin() + static_cast<std::ptrdiff_t>(m_committing + m_open - 1);
    mss_load_row row = std::move(*last);
    m_rows.erase(last);
    --m_open;
    m_batch_bytes -= row.bytes;
    ++m_reported;
    return row;
}

void mss_load_rows::begin_commit(std::size_t keep_open)
{
    if (m_committing > 0 || keep_open > m_open)
    {
        throw tk_mail_assertion("mss_rows", 50);
    }
    m_committing = m_open - keep_open;
    m_open = keep_open;
}

void mss_load_rows::commit_stored()
{
    for (std::size_t row_idx = 0; row_idx < m_committing; ++row_idx)
    {
        mss_load_row& row = m_rows.front();
        m_batch_bytes -= row.bytes;
        m_to_release.push_back(std::move(row.record));
        m_rows.pop_front();
    }
    m_stored += static_cast<std::int64_t>(m_committing);
    m_committing = 0;
}

std::vector<mss_load_row> mss_load_rows::fail(std::size_t lost, std::size_t& missing)
{
    const std::size_t in_batches = m_committing + m_open;
    const std::size_t taken = std::min(lost, in_batches);
    missing = lost - taken;
    std::vector<mss_load_row> rows;
    const auto first = m_rows.begin() + static_cast<std::ptrdiff_t>(in_batches - taken);
    const auto end = m_rows.begin() + static_cast<std::ptrdiff_t>(in_batches);
    for (auto row = first; row != end; ++row)
    {
        m_batch_bytes -= row->bytes;
    }
    std::move(first, end, std::back_inserter(rows));
    m_rows.erase(first, end);
    m_replaying += taken;
    // The rows left before the failed ones: a commit's were stored with the rows before the
    // failure, an open batch's are still the loader's.
    const std::size_t kept_committing = std::min(m_committing, in_batches - taken);
    m_open = in_batches - taken - kept_committing;
    m_committing = kept_committing;
    if (m_committing > 0 && m_open > 0)
    {
        // The committing rows come first: with open rows left, the failure was the open
        // batch's, and the commit before it had ended.
        throw tk_mail_assertion("mss_rows", 60);
    }
    commit_stored();
    return rows;
}

void mss_load_rows::settle_replaying(std::int64_t& outcome)
{
    if (m_replaying == 0)
    {
        throw tk_mail_assertion("mss_rows", 70);
    }
    --m_replaying;
    ++outcome;
}

mss_rows_lost mss_load_rows::lose(bool commit_in_doubt, std::size_t replay_in_doubt)
{
    mss_rows_lost lost;
    lost.not_stored = static_cast<std::int64_t>(m_rows.size() + m_replaying);
    lost.in_doubt = static_cast<std::int64_t>((commit_in_doubt ? m_committing : 0) +
                                              std::min(replay_in_doubt, m_replaying));
    m_rows.clear();
    m_committing = 0;
    m_open = 0;
    m_replaying = 0;
    m_batch_bytes = 0;
    m_waiting_bytes = 0;
    m_copies.clear();
    m_copy_first = 0;
    m_not_stored += lost.not_stored;
    m_in_doubt += lost.in_doubt;
    return lost;
}

std::int64_t mss_load_rows::drop_waiting()
{
    const std::size_t dropped = waiting();
    m_rows.erase(m_rows.end() - static_cast<std::ptrdiff_t>(dropped), m_rows.end());
    m_waiting_bytes = 0;
    m_copies.clear();
    m_copy_first = 0;
    m_not_stored += static_cast<std::int64_t>(dropped);
    return static_cast<std::int64_t>(dropped);
}

void mss_load_rows::release(udb_record_pool* pool)
{
    for (udb_record& record : m_to_release)
    {
        if (pool != nullptr)
        {
            // Stored for good: the reader may fill the record again.
            pool->give(std::move(record));
        }
        ++m_released;
    }
    m_to_release.clear();
}

void mss_load_rows::check(std::int64_t loader_rows) const
{
    const auto held = static_cast<std::int64_t>(m_rows.size() + m_replaying);
    if (m_handed != held + m_stored + m_reported + m_not_stored || m_in_doubt > m_not_stored ||
        m_released + static_cast<std::int64_t>(m_to_release.size()) > m_stored)
    {
        throw tk_mail_assertion("mss_rows", 80);
    }
    if (loader_rows >= 0 && static_cast<std::int64_t>(m_committing + m_open) != loader_rows)
    {
        throw tk_mail_assertion("mss_rows", 81);
    }
}
