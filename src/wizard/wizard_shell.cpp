// wizard_shell.cpp: the wizard window and its services to the pages, the run and the handler.
#include "wizard/wizard_shell.h"

#include "plat/plat_text.h"
#include "tk/tk_exception.h"
#include "tk/tk_logger.h"
#include "wizard/wizard_art.h"
#include "wizard/wizard_page.h"
#include "wizard/wizard_prompts.h"

#include <QAbstractButton>
#include <QApplication>
#include <QDir>
#include <QFileInfo>
#include <QPlainTextEdit>
#include <QScreen>
#include <QShortcut>
#include <QTextCursor>

wizard_shell::wizard_shell(const QString& title, wizard_prompts& prompts, QWidget* parent)
    : QWizard(parent)
    , m_title(title)
    , m_prompts(prompts)
    , m_help_folder(default_help_folder())
{
    tk_wlog(1, L"wizard_shell::ctor(%s)", title.toStdWString());
    setObjectName("wizard_shell");
    setWizardStyle(QWizard::ModernStyle);
    setOptions(QWizard::HaveHelpButton | QWizard::NoBackButtonOnStartPage);
    // The watermark belongs to the pages without a header (wizard_page sets it there); it is
    // stretched to the column's height.
    new watermark_stretch(*this);
    setPixmap(QWizard::LogoPixmap, logo_pixmap());
    setMinimumSize(620, 460);
    m_timer.setObjectName("progress_timer");
    connect(&m_timer, &QTimer::timeout, this, &wizard_shell::forward_tick);
    connect(this, &QWizard::currentIdChanged, this, &wizard_shell::activate_page);
    connect(this, &QWizard::helpRequested, this, &wizard_shell::help_requested);
    auto* f1 = new QShortcut(QKeySequence(Qt::Key_F1), this);
    f1->setContext(Qt::WindowShortcut);
    connect(f1, &QShortcut::activated, this, &wizard_shell::help_requested);
}

wizard_shell::~wizard_shell()
{
    tk_log(1, "wizard_shell::dtor");
    m_timer.stop();
    join_workers();
    m_initialized = false;
    m_current_page = nullptr;
}

void wizard_shell::add_page(int id, wizard_page* page)
{
    setPage(id, page);
}

void wizard_shell::join_workers()
{
    for (const int id : pageIds())
    {
        if (auto* page = dynamic_cast<wizard_page*>(this->page(id)))
        {
            page->join_worker();
        }
    }
}

void wizard_shell::start_timer(int period)
{
    m_bridge.call(
        [this, period]
        {
            if (m_timer.isActive())
            {
                throw tk_mail_assertion("g_wiz_sh", 260);
            }
            m_timer.start(period);
        });
}

void wizard_shell::stop_timer()
{
    m_bridge.call([this] { m_timer.stop(); });
}

bool wizard_shell::timer_running() const
{
    return m_timer.isActive();
}

bool wizard_shell::is_initialized() const
{
    tk_log(1, "wizard_shell::is_initialized");
    return m_initialized.load(std::memory_order_acquire);
}

void wizard_shell::init_window()
{
    if (m_initialized.load(std::memory_order_acquire))
    {
        return;
    }
    setWindowTitle(m_title);
    setWindowIcon(window_icon());
    if (QScreen* screen = this->screen())
    {
        QRect frame = frameGeometry();
        frame.moveCenter(screen->availableGeometry().center());
        move(frame.topLeft());
    }
    m_initialized.store(true, std::memory_order_release);
}

void wizard_shell::write_log(const std::wstring& text)
{
    tk_wlog(1, L"wizard_shell::write_log(%s)", text);
    m_bridge.post(
        [this, line = QString::fromStdWString(text)]
        {
            if (m_current_page == nullptr)
            {
                return;
            }
            QPlainTextEdit* box = m_current_page->log_box();
            if (box == nullptr)
            {
                tk_log(1, "Editbox failed to be initialized");
                return;
            }
            box->moveCursor(QTextCursor::End);
            box->ensureCursorVisible();
            box->insertPlainText(line);
        });
}

QString wizard_shell::caption(const QString& kind) const
{
    return is_initialized() ? m_title + " " + kind : kind;
}

QWidget* wizard_shell::box_owner()
{
    if (QWidget* modal = QApplication::activeModalWidget())
    {
        return modal;
    }
    return is_initialized() ? this : nullptr;
}

void wizard_shell::error(const std::wstring& text)
{
    tk_wlog(1, L"wizard_shell::error(%s)", text);
    m_bridge.call(
        [this, &text]
        { m_prompts.error(box_owner(), caption("Error"), QString::fromStdWString(text)); });
    tk_wlog(3, L"%s", text);
}

void wizard_shell::error_a(const std::string& text)
{
    error(plat::utf8_to_wide_lossy(text));
}

void wizard_shell::message(const std::wstring& text)
{
    tk_wlog(1, L"wizard_shell::message(%s)", text);
    m_bridge.call(
        [this, &text]
        { m_prompts.message(box_owner(), caption("Message"), QString::fromStdWString(text)); });
    tk_wlog(3, L"%s", text);
}

bool wizard_shell::question(const std::wstring& text)
{
    bool yes = false;
    m_bridge.call(
        [this, &text, &yes] {
            yes =
                m_prompts.question(box_owner(), caption("Question"), QString::fromStdWString(text));
        });
    return yes;
}

int wizard_shell::error_continue(const std::string& text, bool& do_not_show)
{
    int result = 0;
    m_bridge.call(
        [this, &text, &do_not_show, &result]
        {
            result = m_prompts.error_continue(box_owner(), caption("Error"),
                                              QString::fromStdString(text), do_not_show);
        });
    return result;
}

int wizard_shell::overwrite(const std::wstring& text, int help_topic, int& mode)
{
    int result = 0;
    m_bridge.call(
        [this, &text, help_topic, &mode, &result]
        {
            result = m_prompts.overwrite(box_owner(), m_title + " Warning",
                                         QString::fromStdWString(text), help_topic, mode);
        });
    return result;
}

int wizard_shell::internal_error(const std::string& text)
{
    int result = 0;
    m_bridge.call(
        [this, &text, &result]
        {
            result = m_prompts.internal_error(box_owner(), caption("Error"),
                                              is_initialized() ? m_title : QString(),
                                              QString::fromStdString(text));
        });
    return result;
}

void wizard_shell::display_help(int topic)
{
    if (topic == help_topic::none)
    {
        tk_log(1, "wizard_shell::display_help");
    }
    else
    {
        tk_log(1, "wizard_shell::display_help(%d)", topic);
    }
    if (!QFileInfo(m_help_folder).isDir())
    {
        error(L"Help file does not exist. Reinstall the program.");
        return;
    }
    const QString file = help_file(m_help_folder, topic);
    bool opened = false;
    m_bridge.call([this, &file, &opened] { opened = m_prompts.open_help(file); });
    if (!opened)
    {
        // No launcher for the desktop (xdg-open missing): Qt only says so on standard error.
        // Once a launcher has started, a failure of its own cannot be seen from here.
        error(L"The help topic could not be opened: no program to show it was found. Open "
              L"this file in a web browser:\n" +
              QDir::toNativeSeparators(file).toStdWString());
    }
}

void wizard_shell::enable_button(QWizard::WizardButton which, bool on)
{
    m_bridge.call(
        [this, which, on]
        {
            QAbstractButton* target = button(which);
            tk_log(2, "wizard_shell::enable_button(%08X)", static_cast<unsigned>(which));
            if (target != nullptr)
            {
                target->setEnabled(on);
            }
        });
}

void wizard_shell::append_error(const std::string& text)
{
    const std::lock_guard lock(m_errors_mutex);
    if (m_errors.size() < max_errors)
    {
        m_errors.push_back(text);
    }
}

std::vector<std::string> wizard_shell::errors() const
{
    const std::lock_guard lock(m_errors_mutex);
    return m_errors;
}

void wizard_shell::reject()
{
    bool leave = true;
    if (m_current_page != nullptr)
    {
        leave = m_current_page->guarded_on_cancel();
    }
    if (leave)
    {
        QWizard::reject();
    }
}

void wizard_shell::done(int result)
{
    // Leaving the wizard never runs the pages' checks: QWizard's reject cleans up every page the
    // user went through, which here runs its Back handler, so a log file whose folder is gone
    // was refused again, over an emptied page, after the user had said Yes to leaving. So the
    // fields on show are not stored either: Cancel keeps nothing of the page it leaves.
    m_leaving = result == QDialog::Rejected;
    QWizard::done(result);
    m_leaving = false;
}

void wizard_shell::help_requested()
{
    if (m_current_page != nullptr)
    {
        m_current_page->guarded_on_help();
    }
}

void wizard_shell::activate_page(int id)
{
    auto* page = dynamic_cast<wizard_page*>(this->page(id));
    if (page == nullptr)
    {
        return;
    }
    m_current_page = page;
    page->activate();
}

void wizard_shell::forward_tick()
{
    if (m_current_page != nullptr)
    {
        m_current_page->guarded_tick();
    }
}
