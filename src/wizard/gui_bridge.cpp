// gui_bridge.cpp: blocking queued calls to the GUI thread, the page workers and the wait.
#include "wizard/gui_bridge.h"

#include "plat/oledb/oledb_com.h"
#include "tk/tk_exception.h"
#include "tk/tk_logger.h"
#include "wizard/wizard_dialogs.h"

#include <QCoreApplication>
#include <QEventLoop>
#include <QThread>
#include <QTimer>

namespace
{

void log_dropped(const char* where)
{
    try
    {
        throw;
    }
    catch (const std::exception& error)
    {
        tk_log(3, "%s: %s", where, error.what());
    }
    catch (...)
    {
        tk_log(3, "%s: Unknown exception", where);
    }
}

} // namespace

gui_bridge::gui_bridge(QObject* parent)
    : QObject(parent)
{
}

bool gui_bridge::on_gui_thread() const
{
    return QThread::currentThread() == thread();
}

void gui_bridge::call(const std::function<void()>& work)
{
    if (on_gui_thread())
    {
        work();
        return;
    }
    std::exception_ptr failure;
    // Qt's own queue and wait already order the two threads; the flags state it in terms the
    // thread sanitizer sees (Qt is not built with it), and `ran` tells a call that never ran.
    std::atomic<bool> posted{false};
    std::atomic<bool> ran{false};
    posted.store(true, std::memory_order_release);
    const bool queued = QMetaObject::invokeMethod(
        this,
        [&work, &failure, &posted, &ran]
        {
            (void)posted.load(std::memory_order_acquire);
            try
            {
                work();
            }
            catch (...)
            {
                failure = std::current_exception();
            }
            ran.store(true, std::memory_order_release);
        },
        Qt::BlockingQueuedConnection);
    if (!queued || !ran.load(std::memory_order_acquire))
    {
        // The GUI thread could not take the call: nothing was shown or answered.
        throw tk_mail_assertion("g_bridge", 1);
    }
    if (failure)
    {
        std::rethrow_exception(failure);
    }
}

void gui_bridge::post(std::function<void()> work)
{
    auto guarded = [work = std::move(work)]
    {
        try
        {
            work();
        }
        catch (...)
        {
            log_dropped("gui_bridge::post");
        }
    };
    if (on_gui_thread())
    {
        guarded();
        return;
    }
    QMetaObject::invokeMethod(this, std::move(guarded), Qt::QueuedConnection);
}

wizard_worker::~wizard_worker()
{
    try
    {
        join();
    }
    catch (...)
    {
        // join() only throws what std::thread::join throws for a thread that cannot be joined;
        // nothing more can be done in a destructor.
    }
}

void wizard_worker::start(std::function<void()> body)
{
    if (running())
    {
        throw tk_mail_assertion("g_worker", 2);
    }
    join();
    m_failure = nullptr;
    m_finished.store(false, std::memory_order_release);
    m_thread = std::thread(
        [this, body = std::move(body)]
        {
            try
            {
                body();
            }
            catch (...)
            {
                m_failure = std::current_exception();
                log_dropped("wizard_worker");
            }
            m_finished.store(true, std::memory_order_release);
        });
}

bool wizard_worker::running() const
{
    return m_thread.joinable() && !m_finished.load(std::memory_order_acquire);
}

void wizard_worker::join()
{
    join_for(std::nullopt);
}

bool wizard_worker::join_for(std::optional<std::chrono::milliseconds> limit)
{
    if (!m_thread.joinable())
    {
        return true;
    }
    QCoreApplication* application = QCoreApplication::instance();
    if (application != nullptr && QThread::currentThread() == application->thread())
    {
        // The worker may be inside a blocking call to this thread: keep serving it.
        QEventLoop loop;
        QTimer poll;
        const auto given_up =
            std::chrono::steady_clock::now() + limit.value_or(std::chrono::milliseconds::zero());
        QObject::connect(&poll, &QTimer::timeout, &loop,
                         [this, &loop, limit, given_up]
                         {
                             if (m_finished.load(std::memory_order_acquire) ||
                                 (limit && std::chrono::steady_clock::now() >= given_up))
                             {
                                 loop.quit();
                             }
                         });
        poll.start(5);
        if (!m_finished.load(std::memory_order_acquire))
        {
            loop.exec();
        }
    }
    else if (limit)
    {
        const auto given_up = std::chrono::steady_clock::now() + *limit;
        while (!m_finished.load(std::memory_order_acquire) &&
               std::chrono::steady_clock::now() < given_up)
        {
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        }
    }
    if (limit && !m_finished.load(std::memory_order_acquire))
    {
        return false;
    }
    m_thread.join();
    return true;
}

com_scope::com_scope()
{
    CoInitialize(nullptr);
}

com_scope::~com_scope()
{
    CoUninitialize();
}

void run_with_wait_dialog(QWidget* owner, const QString& text, wizard_worker& worker,
                          std::function<void()> work,
                          const std::function<void(dlg_animation&)>& dialog_shown)
{
    dlg_animation dialog(owner, text);
    // The dialog outlives the worker: exec() returns only through the worker's done(0), and
    // the worker is joined before the dialog goes.
    dlg_animation* target = &dialog;
    worker.start(
        [work = std::move(work), target]
        {
            try
            {
                work();
            }
            catch (...)
            {
                log_dropped("run_with_wait_dialog");
            }
            // Queued: it runs inside the dialog's own loop, even when posted before exec().
            QMetaObject::invokeMethod(
                target, [target] { target->done(0); }, Qt::QueuedConnection);
        });
    if (dialog_shown)
    {
        QTimer::singleShot(0, &dialog, [&dialog, &dialog_shown] { dialog_shown(dialog); });
    }
    dialog.exec();
    worker.join();
}
