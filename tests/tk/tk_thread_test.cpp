// tk_thread_test.cpp: starting, restarting, stopping and cleaning up worker threads.
#include "tk/tk_exception.h"
#include "tk/tk_thread.h"

#include <atomic>
#include <chrono>
#include <gtest/gtest.h>

namespace
{

// Counts its runs and how many instances are alive.
class counting_functor : public tk_thread_functor
{
public:
    explicit counting_functor(std::atomic<int>& alive, std::atomic<int>& runs, bool throws = false)
        : m_alive(alive)
        , m_runs(runs)
        , m_throws(throws)
    {
        ++m_alive;
    }
    ~counting_functor() override { --m_alive; }

    void run() override
    {
        ++m_runs;
        if (m_throws)
        {
            throw tk_exception(std::string("worker failed"), 1);
        }
    }

private:
    std::atomic<int>& m_alive;
    std::atomic<int>& m_runs;
    bool m_throws;
};

class owning_thread : public tk_thread
{
public:
    owning_thread(std::atomic<int>& alive, std::atomic<int>& runs, bool throws = false)
        : tk_thread(true)
        , m_alive(alive)
        , m_runs(runs)
        , m_throws(throws)
    {
    }

protected:
    tk_thread_functor* create_functor() override
    {
        return new counting_functor(m_alive, m_runs, m_throws);
    }

private:
    std::atomic<int>& m_alive;
    std::atomic<int>& m_runs;
    bool m_throws;
};

// Hands out a functor it does not own, as the progress page does with the converter.
class borrowing_thread : public tk_thread
{
public:
    explicit borrowing_thread(tk_thread_functor& functor)
        : tk_thread(false)
        , m_functor(functor)
    {
    }

protected:
    tk_thread_functor* create_functor() override { return &m_functor; }

private:
    tk_thread_functor& m_functor;
};

void wait_until_finished(const tk_thread& thread)
{
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (thread.is_running() && std::chrono::steady_clock::now() < deadline)
    {
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    ASSERT_FALSE(thread.is_running());
}

TEST(TkThread, RestartsAfterFinishAndDeletesOwnedFunctors)
{
    std::atomic<int> alive = 0;
    std::atomic<int> runs = 0;
    {
        owning_thread thread(alive, runs);
        thread.start();
        wait_until_finished(thread);
        EXPECT_THROW(thread.terminate(), tk_mail_assertion);
        thread.start();
        wait_until_finished(thread);
        EXPECT_EQ(runs, 2);
        EXPECT_EQ(alive, 1);
        thread.cleanup();
        EXPECT_EQ(alive, 0);
    }
    EXPECT_EQ(alive, 0);
}

TEST(TkThread, BorrowedFunctorSurvivesCleanup)
{
    std::atomic<int> alive = 0;
    std::atomic<int> runs = 0;
    counting_functor functor(alive, runs);
    {
        borrowing_thread thread(functor);
        thread.start();
        wait_until_finished(thread);
        thread.cleanup();
    }
    EXPECT_EQ(alive, 1);
    EXPECT_EQ(runs, 1);
}

TEST(TkThread, StartWhileRunningIsAnInternalError)
{
    tk_thread_functor endless;
    borrowing_thread thread(endless);
    thread.start();
    EXPECT_TRUE(thread.is_running());
    EXPECT_THROW(thread.start(), tk_mail_assertion);
    EXPECT_THROW(thread.cleanup(), tk_mail_assertion);
    thread.terminate();
    EXPECT_FALSE(thread.is_running());
}

TEST(TkThread, DestroyingARunningThreadStopsItPromptly)
{
    const auto started = std::chrono::steady_clock::now();
    {
        tk_thread thread(true); // the base functor loops until stopped
        thread.start();
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
        EXPECT_TRUE(thread.is_running());
    }
    EXPECT_LT(std::chrono::steady_clock::now() - started, std::chrono::seconds(1));
}

TEST(TkThread, FailureOfTheFunctorReachesTheOwner)
{
    std::atomic<int> alive = 0;
    std::atomic<int> runs = 0;
    owning_thread thread(alive, runs, true);
    thread.start();
    wait_until_finished(thread);
    ASSERT_TRUE(thread.failure());
    try
    {
        std::rethrow_exception(thread.failure());
    }
    catch (const tk_exception& error)
    {
        EXPECT_EQ(error.message(), "worker failed");
        EXPECT_EQ(error.severity(), 1);
    }
}

} // namespace
