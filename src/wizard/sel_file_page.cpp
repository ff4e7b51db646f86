// sel_file_page.cpp: the databases page: the source list, the destination and log fields, and
// the checks of Next.
#include "wizard/sel_file_page.h"

#include "convertor/error_handler.h"
#include "convertor/vandrel_convertor.h"
#include "plat/plat_text.h"
#include "tk/tk_exception.h"
#include "tk/tk_logger.h"
#include "wizard/help_topics.h"
#include "wizard/popup_combo.h"
#include "wizard/wizard_prompts.h"
#include "wizard/wizard_shell.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

namespace
{

/// A field's label above it, with the field's accelerator.
QLabel* buddy_label(const QString& text, QWidget* field, QWidget* parent)
{
    auto* label = new QLabel(text, parent);
    label->setBuddy(field);
    return label;
}

} // namespace

sel_file_page::sel_file_page()
    : wizard_page("Step 3 of 6", "Select databases", help_topic::databases, true)
    , m_source(new popup_combo(this))
    , m_destination(new QLineEdit(this))
    , m_log_file(new QLineEdit(this))
    , m_browse(new QPushButton("Browse...", this))
{
    setObjectName("sel_file_page");
    m_source->setObjectName("source_combo");
    m_destination->setObjectName("destination_edit");
    m_destination->setMaxLength(259);
    m_log_file->setObjectName("log_file_edit");
    m_log_file->setMaxLength(259);
    m_browse->setObjectName("browse_button");

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(new QLabel("Enter source and destination database names. Drop down the "
                                 "combo box to see\nall available PostgreSQL databases (you must "
                                 "have sufficient permissions).",
                                 this));
    layout->addSpacing(8);
    layout->addWidget(buddy_label("Postgre&SQL database:", m_source, this));
    layout->addWidget(m_source);
    layout->addWidget(buddy_label("&Microsoft SQL database:", m_destination, this));
    layout->addWidget(m_destination);
    layout->addWidget(buddy_label("&Logfile (leave blank to disable logging):", m_log_file, this));
    auto* log_row = new QHBoxLayout;
    log_row->addWidget(m_log_file, 1);
    log_row->addWidget(m_browse);
    layout->addLayout(log_row);
    layout->addStretch(1);

    m_lister = [this](std::vector<std::wstring>& names) { converter().get_databases(names); };
    m_source_exists = [this](const std::wstring& name)
    { return converter().pgs().is_db_exist(name); };

    connect(m_source, &popup_combo::about_to_popup, this,
            [this] { run_guarded([this] { on_dropdown(); }); });
    connect(m_source, &QComboBox::activated, this,
            [this] { run_guarded([this] { on_sel_change(); }); });
    connect(m_browse, &QPushButton::clicked, this,
            [this] { run_guarded([this] { browse_log_file(); }); });
}

sel_file_page::~sel_file_page()
{
    m_worker.join();
}

bool sel_file_page::page_init()
{
    tk_log(1, "sel_file_page::page_init");
    if (!m_filled)
    {
        m_source->clear();
    }
    const vandrel_convertor& settings = converter();
    if (!settings.src().empty() || !settings.dest().empty())
    {
        m_source->setEditText(QString::fromStdWString(settings.src()));
        // The stored name as it stands: a dot or a slash is part of a database name.
        m_destination->setText(
            QString::fromStdWString(settings.dest().empty() ? settings.src() : settings.dest()));
        if (!settings.log_file().empty())
        {
            m_log_file->setText(QString::fromStdString(settings.log_file()));
        }
    }
    return true;
}

void sel_file_page::on_dropdown()
{
    tk_log(1, "sel_file_page::on_dropdown");
    if (m_filled)
    {
        return;
    }
    const std::vector<std::wstring> names =
        list_behind_wait(shell().box_owner(), m_worker, m_lister, m_wait_observer);
    m_source->set_names(to_string_list(names));
    m_filled = true;
    // Only right after listing: a later drop-down keeps what the user chose meanwhile.
    m_source->select_prefix(QString::fromStdWString(converter().src()), false);
}

void sel_file_page::on_sel_change()
{
    tk_log(1, "sel_file_page::on_sel_change");
    m_destination->setText(m_source->currentText());
    vandrel_convertor& settings = converter();
    settings.tables().clear();
    settings.selected().clear();
    settings.available_queries().clear();
}

void sel_file_page::browse_log_file()
{
    const QString filter =
        QString("Log Files (.log)|*.log|All Files (*.*)|*.*|").replace('|', QChar(0));
    if (const std::optional<QString> chosen =
            prompts().open_file(shell().box_owner(), filter, "Select Log File", m_log_file->text()))
    {
        m_log_file->setText(*chosen);
    }
}

void sel_file_page::store_file_info(bool check_log)
{
    tk_log(2, "sel_file_page::store_file_info");
    vandrel_convertor& settings = converter();
    settings.set_src(m_source->currentText().toStdWString());
    settings.set_dest(m_destination->text().toStdWString());
    tk_wlog(1, L"src=%s, dest=%s", settings.src(), settings.dest());
    const std::string log_file = m_log_file->text().toStdString();
    if (!check_log)
    {
        // Back keeps the path for the user's return; Next checks it and turns the log on.
        settings.remember_log_file(log_file);
        return;
    }
    settings.set_logfile(log_file);
    tk_logger* logger = tk_logger::find();
    if (log_file.empty() && logger != nullptr)
    {
        // No log file: the trace log is off, not still writing to an earlier file.
        logger->set_enabled(false);
    }
}

int sel_file_page::on_back()
{
    m_filled = false;
    store_file_info(false);
    return 0;
}

int sel_file_page::on_next()
{
    tk_log(2, "sel_file_page::on_next");
    try
    {
        store_file_info();
        return check_databases();
    }
    catch (const tk_exception& error)
    {
        shell().error_a(mapped_error_text(oledb_error_texts(), error));
        return -1;
    }
}

int sel_file_page::check_databases()
{
    vandrel_convertor& settings = converter();
    if (settings.src().empty())
    {
        shell().message(L"You should enter PostgreSQL database name");
        return -1;
    }
    if (settings.dest().empty())
    {
        shell().message(L"You should enter MS SQL database name");
        return -1;
    }
    if (!m_source_exists(settings.src()))
    {
        shell().message(L"PostgreSQL database does not exist");
        return -1;
    }
    conversion_destination& destination = settings.destination();
    if (!destination.is_db_exist(settings.dest()))
    {
        tk_log(2, "Creating new MS SQL DB...");
        return 0;
    }
    tk_log(2, "MS SQL DB exists...");
    int mode = settings.mode();
    if (shell().overwrite(overwrite_text, help_topic::overwrite, mode) != 1)
    {
        return -1;
    }
    // Mode 0 drops the database only when the run starts (the progress page's check_dest): a
    // user who goes Back, names another destination or cancels still has it.
    tk_log(1, "udb_converter::set_mode(%d)", mode);
    settings.set_mode(mode);
    return 0;
}
