// wizard_shell.h: the wizard window: pages, progress timer, log, message boxes, help, errors.
#pragma once

#include "tk/tk_singleton.h"
#include "wizard/gui_bridge.h"
#include "wizard/help_topics.h"

#include <QString>
#include <QTimer>
#include <QWizard>
#include <atomic>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

class wizard_page;
class wizard_prompts;

/// Page ids of the wizard, in the order the pages follow each other.
namespace page_id
{
inline constexpr int welcome = 0;
inline constexpr int pgs_settings = 1;
inline constexpr int mssql_settings = 2;
inline constexpr int databases = 3;
inline constexpr int options = 4;
inline constexpr int tables = 5;
inline constexpr int progress = 6;
inline constexpr int finish = 7;
} // namespace page_id

/// The wizard window, one per process (tk_singleton<wizard_shell>). Also the user-interface
/// side of a conversion run: the run's thread and the page workers reach it from any thread;
/// every call that shows something goes through its bridge to the GUI thread.
class wizard_shell : public QWizard, public tk_singleton<wizard_shell>
{
    Q_OBJECT
public:
    /// The errors kept for the finish page.
    static constexpr std::size_t max_errors = 20;
    /// The progress tick.
    static constexpr int timer_period = 200;

    /// Built on the GUI thread; `prompts` must outlive the shell.
    wizard_shell(const QString& title, wizard_prompts& prompts, QWidget* parent = nullptr);
    ~wizard_shell() override;

    /// The live shell or null (QWidget::find hides the singleton's own).
    static wizard_shell* find() { return tk_singleton<wizard_shell>::find(); }
    static wizard_shell& instance() { return tk_singleton<wizard_shell>::instance(); }

    /// Adds `page` under `id` (see page_id); the shell's window then owns it.
    void add_page(int id, wizard_page* page);
    /// The page on show (the one activated last), or null.
    wizard_page* current_wizard_page() const { return m_current_page; }

    const QString& title() const { return m_title; }
    wizard_prompts& prompts() const { return m_prompts; }
    gui_bridge& bridge() { return m_bridge; }

    /// Starts the progress timer, whose ticks go to the current page; from any thread. Throws
    /// tk_mail_assertion ("g_wiz_sh", 260) when it runs already.
    void start_timer(int period);
    /// Stops the timer when it runs; from any thread.
    void stop_timer();
    bool timer_running() const;

    /// True once the first page has been shown (see init_window). Any thread.
    bool is_initialized() const;
    /// The first call only: caption, icon, centring; then is_initialized() is true.
    void init_window();

    /// Appends `text` as it stands to the current page's log box (no line end added); nothing
    /// when the page has none. Any thread; lines keep their order.
    void write_log(const std::wstring& text);

    /// The caption of a box of `kind` ("Error", "Message", "Question", "Warning"): the title, a
    /// blank and the kind once initialised, the bare kind before.
    QString caption(const QString& kind) const;
    /// The window that owns a box shown now: the active modal window, else the shell once it is
    /// initialised; null before.
    QWidget* box_owner();

    /// Message boxes; any thread (a worker waits until the box is closed).
    void error(const std::wstring& text);
    void error_a(const std::string& text);
    void message(const std::wstring& text);
    /// Yes/No with No as the default; true for Yes.
    bool question(const std::wstring& text);
    /// The continue/abort dialog (see wizard_prompts::error_continue); any thread.
    int error_continue(const std::string& text, bool& do_not_show);
    /// The overwrite dialog (see wizard_prompts::overwrite); any thread.
    int overwrite(const std::wstring& text, int help_topic, int& mode);
    /// The internal-error dialog; any thread. Its callers end the process afterwards.
    int internal_error(const std::string& text);

    /// Opens the help topic (help_topic::none: the index) from the help folder; a missing
    /// folder gives "Help file does not exist. Reinstall the program.", a topic that cannot be
    /// handed to a program an error box with the topic file's path. Any thread.
    void display_help(int topic = help_topic::none);
    const QString& help_folder() const { return m_help_folder; }
    void set_help_folder(const QString& folder) { m_help_folder = folder; }

    /// Enables or disables a button of the window. Any thread.
    void enable_button(QWizard::WizardButton which, bool on);

    /// Keeps `text` for the finish page while fewer than max_errors are kept. Any thread.
    void append_error(const std::string& text);
    /// A copy of the kept errors.
    std::vector<std::string> errors() const;
    /// Whether the last run got past its start (the drop of the destination in mode 0); the
    /// finish page does not call a run that never started completed. Any thread.
    void set_run_started(bool started) { m_run_started = started; }
    bool run_started() const { return m_run_started; }

    /// Cancel, Escape and the close box: the current page asks first.
    void reject() override;
    /// Ends the window; leaving through Cancel runs no page's Back handler (see leaving()).
    void done(int result) override;
    /// True while the window is being left through Cancel: QWizard then cleans up every page
    /// the user went through, and wizard_page skips its Back handler, which would store the
    /// fields and run their checks on the way out.
    bool leaving() const { return m_leaving; }

    /// Joins every page's worker (wizard_page::join_worker); the destructor does it too.
    void join_workers();

    /// For tests: the window's F1 shortcut.
    void help_requested();

private:
    void activate_page(int id);
    void forward_tick();

    QString m_title;
    wizard_prompts& m_prompts;
    gui_bridge m_bridge;
    QTimer m_timer;
    wizard_page* m_current_page = nullptr;
    std::atomic<bool> m_initialized{false};
    std::atomic<bool> m_run_started{true};
    bool m_leaving = false;
    QString m_help_folder;
    mutable std::mutex m_errors_mutex;
    std::vector<std::string> m_errors;
};
