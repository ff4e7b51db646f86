// conversion_reader_test.cpp: the read-ahead thread and its bounded queue: order, failures in
// order, the bounds, and leaving while the queue is full or empty.
#include "convertor/conversion_reader.h"
#include "pgs/pgs_exception.h"
#include "plat/plat_text.h"
#include "tk/tk_exception.h"
#include "udb/udb_recordset.h"
#include "udb/udb_value_exception.h"

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <gtest/gtest.h>
#include <mutex>
#include <set>
#include <string>
#include <thread>
#include <vector>

namespace
{

using namespace std::chrono_literals;

/// A source of numbered rows (an "id" field, and a binary "payload" of `payload_bytes`) with
/// faults at chosen rows, and a gate that holds get_item of one row until it is opened.
class scripted_rows : public udb_recordset
{
public:
    explicit scripted_rows(int rows)
        : udb_recordset(L"scripted", 1)
        , m_rows(rows)
    {
    }

    std::set<int> value_error_rows;
    int fail_get_at = 0;
    int fail_next_at = 0;
    std::size_t payload_bytes = 0;
    /// get_item of this row waits until open_gate(); 0: never.
    int gate_row = 0;

    void append_record(udb_record&) override {}
    bool is_eof() override { return m_position >= m_rows; }
    udb_record* get_item() override
    {
        const int id = m_position + 1;
        m_reads = id;
        if (id == gate_row)
        {
            std::unique_lock lock(m_gate_mutex);
            m_at_gate = true;
            m_gate_changed.notify_all();
            m_gate_changed.wait(lock, [&] { return m_gate_open; });
        }
        if (id == fail_get_at)
        {
            throw tk_exception("read failed at " + std::to_string(id), tk_severity::recoverable);
        }
        if (value_error_rows.count(id) != 0)
        {
            throw udb_value_exception("no form for row " + std::to_string(id));
        }
        m_record = udb_record();
        m_record.add_field(std::make_unique<udb_field>(L"id", 0, ole_variant(id), true, false));
        if (payload_bytes > 0)
        {
            const std::vector<std::uint8_t> bytes(payload_bytes, 0x5A);
            m_record.add_field(std::make_unique<udb_field>(
                L"payload", 0, ole_variant(bytes.size(), bytes.data()), false, false));
        }
        return &m_record;
    }
    void next() override
    {
        ++m_position;
        if (m_position == fail_next_at)
        {
            pgs_exception lost("server closed the connection unexpectedly");
            lost.set_connection_lost(true);
            throw lost;
        }
    }

    /// The highest row get_item was called for.
    int reads() const { return m_reads; }
    void wait_at_gate()
    {
        std::unique_lock lock(m_gate_mutex);
        m_gate_changed.wait(lock, [&] { return m_at_gate; });
    }
    void open_gate()
    {
        const std::lock_guard lock(m_gate_mutex);
        m_gate_open = true;
        m_gate_changed.notify_all();
    }

private:
    int m_rows;
    int m_position = 0;
    std::atomic<int> m_reads{0};
    udb_record m_record;
    std::mutex m_gate_mutex;
    std::condition_variable m_gate_changed;
    bool m_at_gate = false;
    bool m_gate_open = false;
};

std::string exception_text(const std::exception_ptr& error)
{
    try
    {
        std::rethrow_exception(error);
    }
    catch (const tk_exception& failure)
    {
        return failure.message();
    }
}

/// Every position the reader hands over, as text: "1 2 value(no form for row 3) 4
/// next(server ...) end".
std::string drain(conversion_reader& reader)
{
    std::string seen;
    while (true)
    {
        conversion_row row = reader.take([] {});
        if (!seen.empty())
        {
            seen += ' ';
        }
        switch (row.what)
        {
        case conversion_row::kind::end:
            return seen + "end";
        case conversion_row::kind::failure:
            seen += "failure(" + exception_text(row.error) + ")";
            break;
        case conversion_row::kind::value_error:
            seen += "value(" + exception_text(row.error) + ")";
            break;
        case conversion_row::kind::record:
            seen += plat::wide_to_utf8(row.record.at(0)->to_wstring());
            break;
        }
        if (row.next_failure != nullptr)
        {
            seen += " next(" + exception_text(row.next_failure) + ")";
        }
    }
}

/// Waits (at most a few seconds) until `ready` holds.
template <class Predicate>
bool eventually(Predicate ready)
{
    for (int attempt = 0; attempt < 500; ++attempt)
    {
        if (ready())
        {
            return true;
        }
        std::this_thread::sleep_for(10ms);
    }
    return ready();
}

struct sequence_case
{
    const char* name;
    int rows;
    std::set<int> value_error_rows;
    int fail_get_at;
    int fail_next_at;
    std::string expected;
};

class ReadAheadSequence : public testing::TestWithParam<sequence_case>
{
};

TEST_P(ReadAheadSequence, CrossesTheQueueInTheSourcesOrder)
{
    const sequence_case& test = GetParam();
    scripted_rows rows(test.rows);
    rows.value_error_rows = test.value_error_rows;
    rows.fail_get_at = test.fail_get_at;
    rows.fail_next_at = test.fail_next_at;
    conversion_reader reader(rows, 2, 1u << 20);
    EXPECT_EQ(drain(reader), test.expected);
    // After the last position the reader only answers end.
    EXPECT_EQ(reader.take([] {}).what, conversion_row::kind::end);
}

INSTANTIATE_TEST_SUITE_P(
    Positions, ReadAheadSequence,
    testing::Values(
        sequence_case{"Empty", 0, {}, 0, 0, "end"},
        sequence_case{"Rows", 5, {}, 0, 0, "1 2 3 4 5 end"},
        sequence_case{"ValueErrorsFirstMiddleLast",
                      5,
                      {1, 3, 5},
                      0,
                      0,
                      "value(no form for row 1) 2 value(no form for row 3) 4 "
                      "value(no form for row 5) end"},
        sequence_case{"ReadFailureEndsTheRows", 5, {}, 4, 0, "1 2 3 failure(read failed at 4) end"},
        sequence_case{"LostConnectionAfterARowComesWithIt",
                      5,
                      {},
                      0,
                      3,
                      "1 2 3 next(server closed the connection unexpectedly) end"},
        sequence_case{"LostConnectionAfterAValueError",
                      5,
                      {2},
                      0,
                      2,
                      "1 value(no form for row 2) next(server closed the connection "
                      "unexpectedly) end"}),
    [](const testing::TestParamInfo<sequence_case>& param_info) { return param_info.param.name; });

TEST(ConversionReader, KeepsTheOrderOverManyRows)
{
    constexpr int row_count = 20000;
    scripted_rows rows(row_count);
    conversion_reader reader(rows, 7, 1u << 20);
    for (int id = 1; id <= row_count; ++id)
    {
        conversion_row row = reader.take([] {});
        ASSERT_EQ(row.what, conversion_row::kind::record) << "row " << id;
        ASSERT_EQ(row.record.at(0)->to_wstring(), std::to_wstring(id));
    }
    EXPECT_EQ(reader.take([] {}).what, conversion_row::kind::end);
}

TEST(ConversionReader, WaitsWhenTheQueueHoldsItsRowsUntilItHasDrainedToHalf)
{
    scripted_rows rows(100);
    conversion_reader reader(rows, 5, 1u << 30);
    ASSERT_TRUE(eventually([&] { return reader.queue().producer_waiting(); }));
    EXPECT_EQ(reader.queue().rows(), 5u);
    // The sixth row is read and waits for room; nothing beyond it is read.
    std::this_thread::sleep_for(50ms);
    EXPECT_EQ(rows.reads(), 6);
    EXPECT_EQ(reader.take([] {}).record.at(0)->to_wstring(), L"1");
    EXPECT_EQ(reader.take([] {}).record.at(0)->to_wstring(), L"2");
    // One or two free places do not wake the reader ...
    std::this_thread::sleep_for(50ms);
    EXPECT_EQ(rows.reads(), 6);
    EXPECT_EQ(reader.queue().rows(), 3u);
    // ... half of them do: it fills the queue again and waits with the ninth row.
    EXPECT_EQ(reader.take([] {}).record.at(0)->to_wstring(), L"3");
    ASSERT_TRUE(eventually([&] { return rows.reads() == 9 && reader.queue().producer_waiting(); }));
    EXPECT_EQ(reader.queue().rows(), 5u);
    EXPECT_EQ(reader.take([] {}).record.at(0)->to_wstring(), L"4");
}

TEST(ConversionReader, WaitsWhenTheQueueHoldsItsBytes)
{
    scripted_rows rows(100);
    rows.payload_bytes = 1000;
    udb_record sample;
    sample.add_field(std::make_unique<udb_field>(L"id", 0, ole_variant(1), true, false));
    const std::vector<std::uint8_t> bytes(1000, 0x5A);
    sample.add_field(std::make_unique<udb_field>(
        L"payload", 0, ole_variant(bytes.size(), bytes.data()), false, false));
    const std::size_t row_bytes = sample.value_bytes();
    ASSERT_GT(row_bytes, 1000u);
    conversion_reader reader(rows, 1000, 3 * row_bytes + row_bytes / 2);
    ASSERT_TRUE(eventually([&] { return reader.queue().producer_waiting(); }));
    EXPECT_EQ(reader.queue().rows(), 3u);
    EXPECT_EQ(reader.queue().bytes(), 3 * row_bytes);
    EXPECT_EQ(rows.reads(), 4);
}

TEST(ConversionReader, OneRowWiderThanTheBoundStillPasses)
{
    scripted_rows rows(3);
    rows.payload_bytes = 4096;
    conversion_reader reader(rows, 1000, 100);
    EXPECT_EQ(drain(reader), "1 2 3 end");
}

TEST(ConversionReader, LeavingWhileTheQueueIsFullEndsTheReader)
{
    scripted_rows rows(1000000);
    bool left = false;
    try
    {
        conversion_reader reader(rows, 4, 1u << 20);
        ASSERT_TRUE(eventually([&] { return reader.queue().producer_waiting(); }));
        // The run's thread leaves (a stop request, a destination failure): the destructor
        // wakes the waiting reader and joins it.
        throw tk_final_exception();
    }
    catch (const tk_final_exception&)
    {
        left = true;
    }
    EXPECT_TRUE(left);
    // Rows 1 to 4 waited in the queue, row 5 for room; it was dropped and nothing more read.
    EXPECT_EQ(rows.reads(), 5);
}

TEST(ConversionReader, StopRequestWhileTheQueueIsEmptyEndsTheWait)
{
    scripted_rows rows(1000);
    rows.gate_row = 3;
    int idle_calls = 0;
    std::thread canceller;
    {
        conversion_reader reader(rows, 100, 1u << 20);
        EXPECT_EQ(reader.take([] {}).record.at(0)->to_wstring(), L"1");
        EXPECT_EQ(reader.take([] {}).record.at(0)->to_wstring(), L"2");
        rows.wait_at_gate();
        // What cancelling the source's blocking call does once the run has left: it returns.
        canceller = std::thread(
            [&]
            {
                eventually([&] { return reader.queue().closed(); });
                rows.open_gate();
            });
        // The source is busy with row 3: the run waits on an empty queue and sees the stop
        // request at its next look.
        EXPECT_THROW(reader.take(
                         [&]
                         {
                             if (++idle_calls == 3)
                             {
                                 throw tk_final_exception();
                             }
                         }),
                     tk_final_exception);
    }
    canceller.join();
    EXPECT_EQ(idle_calls, 3);
    // Row 3 came back after the run had left; the closed queue refused it and the reader
    // stopped.
    EXPECT_EQ(rows.reads(), 3);
}

TEST(ConversionReader, TheSourceIsReadOnlyOnTheReadersThread)
{
    class thread_checking_rows : public scripted_rows
    {
    public:
        thread_checking_rows()
            : scripted_rows(50)
        {
        }
        udb_record* get_item() override
        {
            threads.insert(std::this_thread::get_id());
            return scripted_rows::get_item();
        }
        std::set<std::thread::id> threads;
    };
    thread_checking_rows rows;
    {
        conversion_reader reader(rows, 3, 1u << 20);
        EXPECT_EQ(drain(reader),
                  []
                  {
                      std::string all;
                      for (int id = 1; id <= 50; ++id)
                      {
                          all += std::to_string(id) + " ";
                      }
                      return all + "end";
                  }());
    }
    ASSERT_EQ(rows.threads.size(), 1u);
    EXPECT_NE(*rows.threads.begin(), std::this_thread::get_id());
}

} // namespace
