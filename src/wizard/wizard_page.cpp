// wizard_page.cpp: the page template's activation, guarded hooks and control helpers.
#include "wizard/wizard_page.h"

#include "convertor/error_handler.h"
#include "convertor/vandrel_convertor.h"
#include "tk/tk_logger.h"
#include "wizard/wizard_art.h"
#include "wizard/wizard_shell.h"

#include <QAbstractButton>
#include <QCheckBox>
#include <QFont>
#include <QLineEdit>

void show_caught(std::exception_ptr failure)
{
    try
    {
        try
        {
            std::rethrow_exception(failure);
        }
        catch (const tk_exception& error)
        {
            if (error_handler* handler = error_handler::find())
            {
                handler->handle(error, true);
            }
            else if (wizard_shell* shell = wizard_shell::find())
            {
                shell->error_a(error.message());
            }
        }
        catch (const tk_final_exception&)
        {
            // A run's end signal has already been reported by whoever raised it.
        }
        catch (const std::exception& error)
        {
            if (wizard_shell* shell = wizard_shell::find())
            {
                shell->error_a(error.what());
            }
        }
    }
    catch (...)
    {
        // Showing the failure failed as well; the trace log is all that is left.
        tk_log(3, "show_caught: the failure could not be shown");
    }
}

wizard_page::wizard_page(const QString& title, const QString& subtitle, int help_topic,
                         bool has_help)
    : m_help_topic(help_topic)
    , m_has_help(has_help)
{
    setTitle(title);
    setSubTitle(subtitle);
    if (title.isEmpty() && subtitle.isEmpty())
    {
        setPixmap(QWizard::WatermarkPixmap, watermark_pixmap());
    }
}

wizard_page::~wizard_page()
{
    tk_log(2, "wizard_page::dtor");
}

void wizard_page::activate()
{
    tk_log(1, "wizard_page::OnSetActive");
    run_guarded(
        [this]
        {
            wizard_shell& owner = shell();
            owner.init_window();
            if (QAbstractButton* help = owner.button(QWizard::HelpButton))
            {
                help->setEnabled(m_has_help);
            }
            page_init();
        });
}

bool wizard_page::on_cancel()
{
    tk_log(2, "wizard_page::on_cancel");
    return shell().question(L"Are you sure you want to exit the wizard?");
}

void wizard_page::page_on_help()
{
    if (m_has_help)
    {
        shell().display_help(m_help_topic);
    }
}

bool wizard_page::guarded_on_cancel()
{
    bool leave = false;
    run_guarded([this, &leave] { leave = on_cancel(); });
    return leave;
}

void wizard_page::guarded_on_help()
{
    run_guarded([this] { page_on_help(); });
}

void wizard_page::guarded_tick()
{
    run_guarded([this] { tick(); });
}

bool wizard_page::validatePage()
{
    int result = -1;
    run_guarded([this, &result] { result = on_next(); });
    return result == 0;
}

void wizard_page::cleanupPage()
{
    if (wizard_shell* owner = wizard_shell::find(); owner != nullptr && owner->leaving())
    {
        return;
    }
    run_guarded([this] { on_back(); });
}

bool wizard_page::run_guarded(const std::function<void()>& work)
{
    try
    {
        work();
        return true;
    }
    catch (...)
    {
        show_caught(std::current_exception());
        return false;
    }
}

wizard_shell& wizard_page::shell() const
{
    return wizard_shell::instance();
}

vandrel_convertor& wizard_page::converter() const
{
    return vandrel_convertor::instance();
}

wizard_prompts& wizard_page::prompts() const
{
    return shell().prompts();
}

void wizard_page::invert_chbox(QCheckBox* box)
{
    tk_log(1, "wizard_page::invert_chbox(%d)", 0);
    box->setChecked(box->checkState() != Qt::Checked);
}

void wizard_page::enable_ctrl(QWidget* control, bool on)
{
    tk_log(1, "wizard_page::enable_ctrl(%d=%d)", 0, on ? 1 : 0);
    control->setEnabled(on);
    if (on)
    {
        control->setFocus();
    }
}

QLineEdit* wizard_page::line_edit(QWidget* parent, const char* name, bool secret)
{
    auto* edit = new QLineEdit(parent);
    edit->setObjectName(name);
    edit->setMaxLength(259);
    if (secret)
    {
        edit->setEchoMode(QLineEdit::Password);
    }
    return edit;
}

QFont wizard_page::title_font()
{
    QFont font;
    font.setPointSize(13);
    font.setBold(true);
    return font;
}

std::string mapped_error_text(std::span<const tk_error_pair> table, const tk_exception& error)
{
    for (const tk_error_pair& pair : table)
    {
        if (pair.code == error.code())
        {
            return pair.text;
        }
    }
    return error.message();
}
