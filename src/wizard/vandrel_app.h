// vandrel_app.h: the wizard program's start-up: the objects it builds, in order, and its result.
#pragma once

#include <QString>
#include <functional>
#include <memory>
#include <vector>

class conv_settings_page;
class gui_finish_page;
class mssql_settings_page;
class pgs_settings_page;
class progress_page;
class sel_file_page;
class vandrel_convertor;
class welcome_page;
class wizard_page;
class wizard_prompts;
class wizard_shell;
class zov_sel_tables_page;

/// The wizard's caption: "Corlamig 1.5 " (the empty edition leaves the trailing blank).
QString wizard_title();

/// The profile extension of the load and save dialogs.
inline constexpr const char* profile_extension = "zov";

/// The shell and its eight pages, built after the converter. A normal start adds every page in
/// order; a quick launch adds only the progress and finish pages (the others exist, unshown).
/// Destroyed in reverse order; every page's worker is joined first.
class vandrel_wizard
{
public:
    vandrel_wizard(wizard_prompts& prompts, bool quick_launch);
    ~vandrel_wizard();
    vandrel_wizard(const vandrel_wizard&) = delete;
    vandrel_wizard& operator=(const vandrel_wizard&) = delete;

    wizard_shell& shell() { return *m_shell; }
    welcome_page& welcome() { return *m_welcome; }
    pgs_settings_page& pgs_settings() { return *m_pgs_settings; }
    mssql_settings_page& mssql_settings() { return *m_mssql_settings; }
    sel_file_page& databases() { return *m_databases; }
    conv_settings_page& options() { return *m_options; }
    zov_sel_tables_page& tables() { return *m_tables; }
    progress_page& progress() { return *m_progress; }
    gui_finish_page& finish() { return *m_finish; }

    /// Runs the window modally: 1 after Finish, 0 after Cancel.
    int exec();

private:
    std::unique_ptr<wizard_shell> m_shell;
    // The pages the window does not own (a quick launch's first six), for their teardown.
    std::vector<std::unique_ptr<wizard_page>> m_unshown;
    welcome_page* m_welcome = nullptr;
    pgs_settings_page* m_pgs_settings = nullptr;
    mssql_settings_page* m_mssql_settings = nullptr;
    sel_file_page* m_databases = nullptr;
    conv_settings_page* m_options = nullptr;
    zov_sel_tables_page* m_tables = nullptr;
    progress_page* m_progress = nullptr;
    gui_finish_page* m_finish = nullptr;
};

/// What tests change in a start: `prepare` runs on the new converter (fake sides), `run` takes
/// the place of the modal exec().
struct vandrel_hooks
{
    std::function<void(vandrel_convertor&)> prepare;
    std::function<int(vandrel_wizard&)> run;
};

/// The program: logger, error handler, converter (settings loaded), then the normal wizard or,
/// with a non-empty `command_line` (a profile path), the quick launch. Answers 1 after Finish,
/// 0 after Cancel or a failure of the normal start, -1 when a quick launch cannot load its
/// profile or connect to either server. The converter stores its settings at the end.
int vandrel_run(const QString& command_line, wizard_prompts& prompts,
                const vandrel_hooks& hooks = {});
