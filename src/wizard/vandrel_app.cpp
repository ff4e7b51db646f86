// vandrel_app.cpp: the start-up order, the quick launch and the teardown.
#include "wizard/vandrel_app.h"

#include "convertor/vandrel_convertor.h"
#include "plat/oledb/oledb_providers.h"
#include "plat/plat_desktop.h"
#include "tk/tk_logger.h"
#include "wizard/conv_settings_page.h"
#include "wizard/gui_finish_page.h"
#include "wizard/mssql_settings_page.h"
#include "wizard/pgs_settings_page.h"
#include "wizard/progress_page.h"
#include "wizard/sel_file_page.h"
#include "wizard/welcome_page.h"
#include "wizard/wizard_error_handler.h"
#include "wizard/wizard_prompts.h"
#include "wizard/wizard_shell.h"
#include "wizard/zov_sel_tables_page.h"

#include <QClipboard>
#include <QGuiApplication>

namespace
{

constexpr const char* success_text = "Wizard has migrated your PostgreSQL database to\nMicrosoft "
                                     "SQL server successfully.\n\nClick 'Finish' to exit the "
                                     "wizard.";
constexpr const char* failure_text =
    "There were some errors while converting the database.\nClick 'Finish' to exit the wizard.";

/// The clipboard of the internal-error dialog, for as long as the program runs.
class clipboard_scope
{
public:
    clipboard_scope()
    {
        plat::set_clipboard_hook(
            [](const std::wstring& text)
            {
                QClipboard* clipboard = QGuiApplication::clipboard();
                if (clipboard == nullptr)
                {
                    return false;
                }
                clipboard->setText(QString::fromStdWString(text));
                return true;
            });
    }
    ~clipboard_scope() { plat::set_clipboard_hook({}); }
    clipboard_scope(const clipboard_scope&) = delete;
    clipboard_scope& operator=(const clipboard_scope&) = delete;
};

} // namespace

QString wizard_title()
{
    return QString("Corlamig %1.%2 %3").arg(1).arg(5).arg(QString());
}

vandrel_wizard::vandrel_wizard(wizard_prompts& prompts, bool quick_launch)
    : m_shell(std::make_unique<wizard_shell>(wizard_title(), prompts))
{
    auto welcome = std::make_unique<welcome_page>(profile_extension);
    auto pgs = std::make_unique<pgs_settings_page>();
    auto mssql = std::make_unique<mssql_settings_page>();
    auto databases = std::make_unique<sel_file_page>();
    auto options = std::make_unique<conv_settings_page>();
    auto tables = std::make_unique<zov_sel_tables_page>();
    m_welcome = welcome.get();
    m_pgs_settings = pgs.get();
    m_mssql_settings = mssql.get();
    m_databases = databases.get();
    m_options = options.get();
    m_tables = tables.get();
    if (quick_launch)
    {
        m_unshown.push_back(std::move(welcome));
        m_unshown.push_back(std::move(pgs));
        m_unshown.push_back(std::move(mssql));
        m_unshown.push_back(std::move(databases));
        m_unshown.push_back(std::move(options));
        m_unshown.push_back(std::move(tables));
    }
    else
    {
        // From here the window owns them.
        m_shell->add_page(page_id::welcome, welcome.release());
        m_shell->add_page(page_id::pgs_settings, pgs.release());
        m_shell->add_page(page_id::mssql_settings, mssql.release());
        m_shell->add_page(page_id::databases, databases.release());
        m_shell->add_page(page_id::options, options.release());
        m_shell->add_page(page_id::tables, tables.release());
    }
    auto progress = std::make_unique<progress_page>();
    m_progress = progress.get();
    m_shell->add_page(page_id::progress, progress.release());
    auto finish = std::make_unique<gui_finish_page>(success_text, failure_text, profile_extension);
    m_finish = finish.get();
    m_shell->add_page(page_id::finish, finish.release());
}

vandrel_wizard::~vandrel_wizard()
{
    m_shell->join_workers();
    for (auto page = m_unshown.rbegin(); page != m_unshown.rend(); ++page)
    {
        page->get()->join_worker();
        page->reset();
    }
    m_shell.reset();
}

int vandrel_wizard::exec()
{
    return m_shell->exec();
}

int vandrel_run(const QString& command_line, wizard_prompts& prompts, const vandrel_hooks& hooks)
{
    tk_logger logger(nullptr, false, 3, false);
    // Before the converter: its SQL Server engine creates a platform object at construction.
    plat::oledb::class_table classes;
    plat::oledb::register_providers(classes);
    wizard_error_handler handler(oledb_error_texts(), prompts);
    handler.load_err_map(pgs_error_texts());
    const clipboard_scope clipboard;
    vandrel_convertor converter(convertor_flavour::wizard);
    const bool quick_launch = !command_line.isEmpty();
    // A quick launch has failed until both connections are made; the destination is checked
    // (dropped in mode 0) by the progress page when the run starts, as in the wizard.
    int result = quick_launch ? -1 : 0;
    std::unique_ptr<vandrel_wizard> wizard;
    try
    {
        if (hooks.prepare)
        {
            hooks.prepare(converter);
        }
        if (quick_launch)
        {
            tk_wlog(2, L"QUICK LAUNCH: profile=%s", command_line.toStdWString());
            if (!converter.load_profile_file(command_line.toStdWString()))
            {
                throw tk_exception(L"The file is not a profile of this program: " +
                                       command_line.toStdWString(),
                                   tk_severity::ends_run);
            }
            // Only the wizard's pages let the user agree to a run without tables; a quick launch
            // would convert nothing and, in mode 0, still drop the destination.
            if (converter.selected().empty() && converter.tables().empty())
            {
                throw tk_exception(L"The profile selects no table: " + command_line.toStdWString() +
                                       L" (a quick launch converts only the tables its profile "
                                       L"selects; the agent, zovagent --profile=, converts every "
                                       L"table with it)",
                                   tk_severity::ends_run);
            }
        }
        wizard = std::make_unique<vandrel_wizard>(prompts, quick_launch);
        bool ready = true;
        if (quick_launch)
        {
            converter.connect_pgs_server();
            ready = wizard->mssql_settings().connect_with_wait();
        }
        if (ready)
        {
            result = hooks.run ? hooks.run(*wizard) : wizard->exec();
        }
    }
    catch (const tk_exception& error)
    {
        handler.handle(error, true);
    }
    catch (const std::exception& error)
    {
        if (wizard_shell* shell = wizard_shell::find())
        {
            shell->error_a(error.what());
        }
        else
        {
            prompts.error(nullptr, "Error", QString::fromStdString(error.what()));
        }
    }
    wizard.reset();
    return result;
}
