// gui_finish_page.cpp: the last page: the outcome, the errors and saving the settings.
#include "wizard/gui_finish_page.h"

#include "convertor/vandrel_convertor.h"
#include "tk/tk_exception.h"
#include "tk/tk_logger.h"
#include "wizard/file_dialogs.h"
#include "wizard/help_topics.h"
#include "wizard/wizard_prompts.h"
#include "wizard/wizard_shell.h"

#include <QAbstractButton>
#include <QEvent>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTextCursor>
#include <QTimer>
#include <QVBoxLayout>

namespace
{

/// Above the errors of a run that ended before every table was converted.
constexpr const char* ended_early_text =
    "The conversion ended before every table was converted. The errors are listed below.";

} // namespace

gui_finish_page::gui_finish_page(const QString& success_text, const QString& error_text,
                                 const QString& extension)
    : wizard_page(QString(), QString(), help_topic::none, false)
    , m_success_text(success_text)
    , m_error_text(error_text)
    , m_extension(extension)
    , m_title(new QLabel("Conversion is Completed", this))
    , m_text(new QLabel(this))
    , m_errors(new QPlainTextEdit(this))
    , m_save(new QPushButton("&Save Settings...", this))
{
    tk_log(2, "gui_finish_page::ctor");
    setObjectName("gui_finish_page");
    setFinalPage(true);
    m_title->setObjectName("finish_title");
    m_text->setObjectName("finish_text");
    m_text->setTextFormat(Qt::PlainText);
    m_text->setWordWrap(true);
    m_errors->setObjectName("error_box");
    m_errors->setReadOnly(true);
    m_errors->setVisible(false);
    m_errors->installEventFilter(this);
    m_save->setObjectName("save_settings_button");

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(m_title);
    layout->addSpacing(12);
    layout->addWidget(m_text);
    layout->addWidget(m_errors, 1);
    auto* save_row = new QHBoxLayout;
    save_row->addWidget(m_save);
    save_row->addStretch(1);
    layout->addStretch(0);
    layout->addLayout(save_row);

    connect(m_save, &QPushButton::clicked, this, [this] { run_guarded([this] { on_store(); }); });
}

bool gui_finish_page::page_init()
{
    tk_log(2, "gui_finish_page::page_init");
    m_title->setFont(title_font());
    // A run that stopped at its start, or before every table was converted, must not read as
    // completed: the title and the text say which, over the errors that tell why.
    const bool ended_early = shell().run_started() && converter().ended_early();
    m_title->setText(!shell().run_started() ? "Conversion did not start"
                     : ended_early          ? "Conversion did not complete"
                                            : "Conversion is Completed");
    shell().enable_button(QWizard::CancelButton, false);
    shell().enable_button(QWizard::HelpButton, false);
    const std::vector<std::string> errors = shell().errors();
    m_errors->clear();
    if (errors.empty() && !ended_early)
    {
        tk_log(2, "Display success-message");
        m_text->setText(m_success_text);
        m_errors->setVisible(false);
    }
    else
    {
        tk_log(2, "Display errors");
        m_text->setText(ended_early ? ended_early_text : m_error_text);
        m_errors->setVisible(true);
        QString listing;
        for (const std::string& error : errors)
        {
            listing += QString::fromStdString(error).replace('\n', ' ') + "\n\n";
        }
        m_errors->setPlainText(listing);
        m_errors->moveCursor(QTextCursor::Start);
    }
    // After the window has placed its own focus: Finish is the first thing Enter presses.
    QTimer::singleShot(0, this, [this] { focus_finish(); });
    return true;
}

bool gui_finish_page::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == m_errors && event->type() == QEvent::FocusIn && m_first_focus)
    {
        tk_log(1, "gui_finish_page::on_eb_focus");
        m_first_focus = false;
        QTextCursor cursor = m_errors->textCursor();
        cursor.clearSelection();
        m_errors->setTextCursor(cursor);
        QTimer::singleShot(0, this, [this] { focus_finish(); });
    }
    return wizard_page::eventFilter(watched, event);
}

void gui_finish_page::focus_finish()
{
    if (wizard() == nullptr || wizard()->currentPage() != this)
    {
        return;
    }
    if (QAbstractButton* finish = wizard()->button(QWizard::FinishButton))
    {
        finish->setFocus(Qt::OtherFocusReason);
    }
}

void gui_finish_page::on_store()
{
    tk_wlog(
        1, L"gui_finish_page_t::on_store(%s)",
        QString("Profile Files (.%1)|*.%1|All Files (*.*)|*.*|").arg(m_extension).toStdWString());
    if (m_extension.size() < 3 || m_extension.size() > 4)
    {
        throw tk_mail_assertion("g_finish", 141);
    }
    const std::optional<QString> chosen =
        prompts().save_file(shell().box_owner(), profile_filter(m_extension), "Select Profile File",
                            QString(), m_extension);
    if (!chosen)
    {
        return;
    }
    if (!converter().save_profile_file(chosen->toStdWString()))
    {
        shell().error(L"The settings could not be saved to " + chosen->toStdWString() + L".");
    }
}
