// gui_bridge.h: the one way from any thread to the GUI thread, and the wizard's worker thread.
#pragma once

#include <QObject>
#include <atomic>
#include <chrono>
#include <exception>
#include <functional>
#include <optional>
#include <thread>

/// Runs work on the GUI thread (the thread the bridge was made on). From the GUI thread a call
/// runs at once; from a worker it is a blocking queued call, so the worker waits until the GUI
/// has handled it, and whatever the work threw is thrown again on the worker. Nothing the work
/// throws leaves the GUI thread's event handling.
class gui_bridge : public QObject
{
    Q_OBJECT
public:
    explicit gui_bridge(QObject* parent = nullptr);

    /// True on the thread the bridge belongs to.
    bool on_gui_thread() const;
    /// Runs `work` on the GUI thread and waits for it; rethrows its exception on this thread.
    void call(const std::function<void()>& work);
    /// Queues `work` for the GUI thread without waiting (order is kept); on the GUI thread it
    /// runs at once. Its exception is swallowed after being logged.
    void post(std::function<void()> work);
};

/// A worker thread of a page. Its body never lets an exception out; waiting for it on the GUI
/// thread keeps the event loop running, so a worker inside a blocking bridge call is served.
/// The destructor joins, so a page that owns one never leaves a thread running.
class wizard_worker
{
public:
    wizard_worker() = default;
    ~wizard_worker();
    wizard_worker(const wizard_worker&) = delete;
    wizard_worker& operator=(const wizard_worker&) = delete;

    /// Starts `body` on a new thread; joins an earlier, finished run first. Throws
    /// tk_mail_assertion when a run is still under way.
    void start(std::function<void()> body);
    /// The thread was started and its body has not returned.
    bool running() const;
    /// Waits for the body to return, running the GUI's events meanwhile when called on the GUI
    /// thread, then joins. Does nothing when no thread was started.
    void join();
    /// join, waiting at most `limit` (none: as long as it takes); false, the thread left as it
    /// is, when the body has not returned by then.
    bool join_for(std::optional<std::chrono::milliseconds> limit);
    /// What the last body threw, if anything.
    std::exception_ptr failure() const { return m_failure; }

private:
    std::thread m_thread;
    std::atomic<bool> m_finished{true};
    std::exception_ptr m_failure;
};

/// Initialises COM for a worker's thread for as long as the worker talks to the SQL Server side.
class com_scope
{
public:
    com_scope();
    ~com_scope();
    com_scope(const com_scope&) = delete;
    com_scope& operator=(const com_scope&) = delete;
};

class dlg_animation;
class QString;
class QWidget;

/// The waiting protocol: runs `work` on `worker` while the wait dialog (owned by `owner`, saying
/// `text`) animates, and returns when both have ended. The worker's end closes the dialog through a
/// queued call, so a worker that ends before the dialog opens cannot leave it open. `work`
/// must handle its own failures (they are logged and dropped here). `dialog_shown`, when
/// given, is called with the dialog once it has been shown (tests and pictures).
void run_with_wait_dialog(QWidget* owner, const QString& text, wizard_worker& worker,
                          std::function<void()> work,
                          const std::function<void(dlg_animation&)>& dialog_shown = {});
