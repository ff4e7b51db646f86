// tk_thread.h: a worker thread that runs a functor, with a cooperative stop.
#pragma once

#include <atomic>
#include <exception>
#include <memory>
#include <thread>

/// The work a tk_thread runs. The base loops on 100 ms sleeps until it is asked to stop.
class tk_thread_functor
{
public:
    virtual ~tk_thread_functor() = default;

    /// The thread body: step() until is_done() (at least once) or a stop request, then finish().
    virtual void run();
    virtual bool is_done();
    virtual void step();
    virtual void finish();

    /// Asks the functor to stop at its next check; then cancel() interrupts a blocking call.
    void request_stop();
    bool stop_requested() const { return m_stop_requested.load(); }
    /// Called by the owner after request_stop(); a functor that blocks in a database call
    /// overrides it to cancel that call. Must be safe to call from another thread.
    virtual void cancel() {}

protected:
    void clear_stop_request() { m_stop_requested = false; }

private:
    std::atomic<bool> m_stop_requested{false};
};

/// One worker thread. A derived class overrides create_functor() to hand out its work.
class tk_thread
{
public:
    explicit tk_thread(bool owns_functor);
    /// Stops a running thread (cooperatively) and waits for it.
    virtual ~tk_thread();
    tk_thread(const tk_thread&) = delete;
    tk_thread& operator=(const tk_thread&) = delete;

    /// The thread was started and its routine has not returned yet.
    bool is_running() const;
    /// Throws tk_mail_assertion when running or when create_functor() gives null, and
    /// tk_exception (severity 1) when the system cannot start a thread.
    void start();
    /// Asks the functor to stop, cancels its blocking call and waits for the thread; throws
    /// tk_mail_assertion when the thread is not running.
    void terminate();
    /// Releases a finished run; throws tk_mail_assertion while the thread runs.
    void cleanup();
    /// What the last run's functor threw, if anything (the thread itself never lets it escape).
    std::exception_ptr failure() const { return m_failure; }

protected:
    /// The functor to run; the base hands out a new base functor and takes ownership of it.
    virtual tk_thread_functor* create_functor();
    void set_owns_functor(bool owns) { m_owns_functor = owns; }

private:
    static void routine(tk_thread* self, tk_thread_functor* functor);

    std::thread m_thread;
    std::atomic<bool> m_finished{false};
    bool m_owns_functor;
    tk_thread_functor* m_functor = nullptr;
    std::unique_ptr<tk_thread_functor> m_owned_functor;
    std::exception_ptr m_failure;
};
