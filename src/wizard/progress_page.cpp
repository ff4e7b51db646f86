// progress_page.cpp: the conversion run on the page's worker, the tick that shows it, and the
// cooperative stop on Cancel.
#include "wizard/progress_page.h"

#include "convertor/vandrel_convertor.h"
#include "mss/mss_fast_load.h"
#include "plat/plat_text.h"
#include "tk/tk_logger.h"
#include "wizard/help_topics.h"
#include "wizard/wizard_prompts.h"
#include "wizard/wizard_shell.h"

#include <QCoreApplication>
#include <QLabel>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QVBoxLayout>
#include <algorithm>
#include <atomic>
#include <cstdint>

namespace
{

std::atomic<std::int64_t> stop_wait_ms{12000};

} // namespace

int progress_percent(int tables_total, int tables_done, std::int64_t records_total,
                     std::int64_t records_done)
{
    // Unsigned division in whole per cent, each share truncated before they are added; 64 bits,
    // so that a table of more than 42 million rows does not wrap the product around.
    const auto count = [](std::int64_t value)
    { return static_cast<std::uint64_t>(std::max<std::int64_t>(value, 0)); };
    std::uint64_t percent = 0;
    if (count(tables_total) != 0)
    {
        percent = count(tables_done) * 100 / count(tables_total);
        if (count(records_total) != 0)
        {
            percent += count(records_done) * 100 / count(records_total) / count(tables_total);
        }
    }
    return static_cast<int>(std::min<std::uint64_t>(percent, 100));
}

void wizard_reporter::start()
{
    wizard_shell::instance().start_timer(wizard_shell::timer_period);
}

void wizard_reporter::progress_line(const conversion_progress& line)
{
    wizard_shell::instance().write_log(line.text);
}

void wizard_reporter::table_missing(const std::wstring& table, const std::wstring& what)
{
    wizard_shell& shell = wizard_shell::instance();
    const std::wstring text = L"Table " + table + L" " + (what.empty() ? L"not exists" : what);
    tk_wlog(3, L"%s", text);
    shell.write_log(text + L"\n");
    shell.append_error(plat::wide_to_utf8(text));
}

void wizard_reporter::index_failed(const std::wstring& table, const std::wstring& index,
                                   const std::wstring& reason)
{
    // The console's wording, in the log box and in the finish page's error list.
    wizard_shell& shell = wizard_shell::instance();
    const std::wstring text =
        L"Error: index " + index + L" of table " + table + L" was not created: " + reason;
    tk_wlog(3, L"%s", text);
    shell.write_log(text + L"\n");
    shell.append_error(plat::wide_to_utf8(text));
}

void wizard_reporter::run_failed(const std::string& text)
{
    wizard_shell& shell = wizard_shell::instance();
    tk_log(3, "ERROR:\n%s", text);
    // Kept as well: a run that failed must not end on the success text.
    shell.append_error(text);
    shell.error_a(text);
}

progress_page::progress_page()
    : wizard_page("Step 6 of 6", "Database conversion is in progress", help_topic::none, true)
    , m_log(new QPlainTextEdit(this))
    , m_status(new QLabel(this))
    , m_bar(new QProgressBar(this))
{
    setObjectName("progress_page");
    // Once the run has started there is no way back.
    setCommitPage(true);
    setButtonText(QWizard::CommitButton, "&Next >");
    m_log->setObjectName("log_box");
    m_log->setReadOnly(true);
    m_log->setLineWrapMode(QPlainTextEdit::NoWrap);
    m_status->setObjectName("status_label");
    m_status->setTextFormat(Qt::PlainText);
    m_bar->setObjectName("progress_bar");
    m_bar->setRange(0, 100);
    m_bar->setValue(0);

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(new QLabel("Database converting is in progress. Please wait until the "
                                 "wizard completes\nconverting your PostgreSQL database into MS "
                                 "SQL format.",
                                 this));
    layout->addWidget(m_log, 1);
    layout->addWidget(m_status);
    layout->addWidget(m_bar);
}

progress_page::~progress_page()
{
    join_worker();
    if (vandrel_convertor* settings = vandrel_convertor::find())
    {
        settings->set_reporter(nullptr);
    }
}

bool progress_page::page_init()
{
    tk_log(2, "progress_page::page_init");
    m_bar->setValue(0);
    m_status->clear();
    if (m_finished || m_worker.running())
    {
        return true;
    }
    vandrel_convertor& settings = converter();
    settings.set_reporter(&m_reporter);
    settings.set_done(false);
    emit completeChanged();
    m_worker.start([this] { run_conversion(); });
    return true;
}

void progress_page::run_conversion()
{
    vandrel_convertor& settings = vandrel_convertor::instance();
    wizard_shell& owner = wizard_shell::instance();
    std::string failure;
    try
    {
        const com_scope com;
        // The one place of the wizard that drops a database: the overwrite dialog only chose
        // the mode, so that Back, another destination or Cancel before this page lose nothing.
        settings.check_dest();
    }
    catch (const std::exception& error)
    {
        failure = "The conversion did not start: the destination database '" +
                  plat::wide_to_utf8(settings.dest()) + "' could not be dropped.";
        if (const std::string driver_text = error.what(); !driver_text.empty())
        {
            failure += "\n\n" + driver_text;
        }
    }
    owner.set_run_started(failure.empty());
    if (failure.empty())
    {
        settings();
        return;
    }
    try
    {
        owner.append_error(failure);
        owner.error_a(failure);
        // The tick that follows sees the run done and moves on to the finish page.
        m_reporter.start();
    }
    catch (const std::exception& error)
    {
        tk_log(3, "progress_page: %s", error.what());
    }
    settings.set_done(true);
}

void progress_page::tick()
{
    if (m_stopping || m_finished)
    {
        return;
    }
    const vandrel_convertor& settings = converter();
    const bool done = settings.done();
    m_bar->setValue(progress_percent(settings.tables_total(), settings.tables_done(),
                                     settings.records_total(), settings.records_done()));
    if (!done)
    {
        const QString table = QString::fromStdWString(settings.current_table());
        m_status->setText(table.isEmpty() ? QString()
                                          : QString("Processing table '%1'").arg(table).left(255));
        return;
    }
    shell().stop_timer();
    // The run's last lines were queued before `done` was set: they belong in this page's box.
    QCoreApplication::sendPostedEvents(&shell().bridge(), QEvent::MetaCall);
    m_worker.join();
    if (const tk_logger* logger = tk_logger::find(); logger != nullptr && logger->write_failed())
    {
        shell().append_error(logger->write_failure_text());
    }
    m_finished = true;
    emit completeChanged();
    shell().next();
}

bool progress_page::isComplete() const
{
    return m_finished;
}

bool progress_page::on_cancel()
{
    // The stop waits for the run with the GUI's events running: a further Cancel, Escape or
    // close box then comes here again. The stop under way answers it; asking again would offer a
    // No that cannot take the first Yes back.
    if (m_stopping)
    {
        tk_log(2, "progress_page: the run is already stopping");
        return false;
    }
    if (!m_worker.running())
    {
        return wizard_page::on_cancel();
    }
    if (!wizard_page::on_cancel())
    {
        return false;
    }
    tk_log(2, "progress_page: stopping the run");
    shell().stop_timer();
    m_stopping = true;
    m_status->setText("Stopping the conversion...");
    join_worker();
    return true;
}

void progress_page::join_worker()
{
    if (m_worker.running())
    {
        m_stopping = true;
        if (vandrel_convertor* settings = vandrel_convertor::find())
        {
            settings->request_stop();
            settings->cancel();
        }
        // A commit that is still answering ends within 10 s; one that is not is given up then
        // (left to the driver), so that the run ends and the window closes.
        mss_fast_load::hurry(std::chrono::seconds(10));
        // Waits with the GUI's events running: the run may be inside a call to this thread.
        if (!m_worker.join_for(std::chrono::milliseconds(stop_wait_ms.load())))
        {
            // A statement that the server is still running (an index on a big table, or one
            // that gets no answer) has no limit of its own, and no call reaches it: the driver
            // manager keeps the connection to one call at a time. It is left to the server,
            // which rolls it back once the connection closes with the program.
            tk_log(2, "Conversion stopped by the user while SQL Server was still running a "
                      "statement: the program ends without waiting for it");
            prompts().end_process(0);
        }
    }
    m_worker.join();
}

void progress_page::set_stop_wait(std::chrono::milliseconds wait)
{
    stop_wait_ms = wait.count();
}
