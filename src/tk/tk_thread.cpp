// tk_thread.cpp: the worker thread and the base functor.
#include "tk/tk_thread.h"

#include "tk/tk_exception.h"
#include "tk/tk_logger.h"

#include <chrono>
#include <system_error>

void tk_thread_functor::run()
{
    if (!is_done())
    {
        do
        {
            step();
        } while (!is_done() && !stop_requested());
    }
    finish();
}

bool tk_thread_functor::is_done()
{
    return false;
}

void tk_thread_functor::step()
{
    // Sleeps 100 ms in short slices so that a stop request is seen at once.
    for (int slice = 0; slice < 10 && !stop_requested(); ++slice)
    {
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
}

void tk_thread_functor::finish() {}

void tk_thread_functor::request_stop()
{
    m_stop_requested = true;
}

tk_thread::tk_thread(bool owns_functor)
    : m_owns_functor(owns_functor)
{
}

tk_thread::~tk_thread()
{
    try
    {
        if (is_running())
        {
            terminate();
        }
        else
        {
            cleanup();
        }
    }
    catch (...)
    {
        // Neither call can fail in these states; a destructor must not throw in any case.
    }
    if (m_thread.joinable())
    {
        m_thread.join();
    }
}

bool tk_thread::is_running() const
{
    return m_thread.joinable() && !m_finished.load();
}

tk_thread_functor* tk_thread::create_functor()
{
    m_owns_functor = true;
    return new tk_thread_functor;
}

void tk_thread::start()
{
    if (is_running())
    {
        throw tk_mail_assertion("tk_threa", 92);
    }
    cleanup();
    tk_thread_functor* functor = create_functor();
    if (functor == nullptr)
    {
        throw tk_mail_assertion("tk_threa", 105);
    }
    m_functor = functor;
    if (m_owns_functor)
    {
        m_owned_functor.reset(functor);
    }
    m_finished = false;
    m_failure = nullptr;
    try
    {
        m_thread = std::thread(&tk_thread::routine, this, functor);
    }
    catch (const std::system_error& error)
    {
        m_finished = true;
        throw tk_exception(std::string("Cannot start a worker thread: ") + error.what(),
                           tk_severity::ends_run);
    }
}

void tk_thread::routine(tk_thread* self, tk_thread_functor* functor)
{
    // Nothing may escape a thread function: a failure is kept for the owner and logged.
    try
    {
        if (functor == nullptr)
        {
            throw tk_mail_assertion("tk_threa", 149);
        }
        functor->run();
    }
    catch (const tk_exception& error)
    {
        self->m_failure = std::current_exception();
        tk_log(3, "%s", error.message());
    }
    catch (const std::exception& error)
    {
        self->m_failure =
            std::make_exception_ptr(tk_exception(error.what(), tk_severity::internal));
        tk_log(3, "%s", error.what());
    }
    catch (...)
    {
        self->m_failure = std::make_exception_ptr(tk_exception(tk_severity::internal));
    }
    self->m_finished = true;
}

void tk_thread::terminate()
{
    if (!is_running())
    {
        throw tk_mail_assertion("tk_threa", 55);
    }
    m_functor->request_stop();
    m_functor->cancel();
    m_thread.join();
    cleanup();
}

void tk_thread::cleanup()
{
    if (is_running())
    {
        throw tk_mail_assertion("tk_threa", 71);
    }
    if (m_thread.joinable())
    {
        m_thread.join();
    }
    m_owned_functor.reset();
    m_functor = nullptr;
}
