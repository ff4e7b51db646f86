// wizard_quick_launch_test.cpp: a quick launch refuses a file that is no profile and a profile
// that selects no table before it connects anywhere, leaving the remembered destination alone.
#include "agent_sqlserver_check.h"
#include "mss/mss_database.h"
#include "mss/odb_command.h"
#include "pgs_test_server.h"
#include "plat/plat_text.h"
#include "tk/tk_logger.h"
#include "wizard/wizard_shell.h"
#include "wizard_test_support.h"

#include <QAbstractButton>
#include <algorithm>
#include <gtest/gtest.h>

using namespace wizard_test;

namespace
{

/// Settings a wizard session left behind: both servers (by default where nothing listens) and
/// a destination in mode 0, which drops it.
struct remembered
{
    pgs_test::server_settings pgs{"127.0.0.1", "nobody", "x", 1};
    std::wstring mss_server = L"127.0.0.1,1";
    std::wstring mss_user = L"sa";
    std::wstring mss_password = L"x";
    std::wstring src = L"src";
    std::wstring dest = L"shop";
};

/// Stores them as the wizard does when it ends, in the caller's XDG_CONFIG_HOME, where the
/// launch reads them.
void remember(const remembered& settings)
{
    tk_logger logger(nullptr, false, 3, false);
    vandrel_convertor converter(convertor_flavour::wizard);
    converter.pgs_converter_impl::set_connection(settings.pgs.host, settings.pgs.user,
                                                 settings.pgs.password, settings.pgs.port);
    converter.set_sec_log(false);
    converter.mssql_converter_impl::set_connection(settings.mss_server, settings.mss_user,
                                                   settings.mss_password);
    converter.set_src(settings.src);
    converter.set_dest(settings.dest);
    converter.set_mode(0);
}

/// The body of a profile that selects no table: the wizard writes such a file after a run with
/// nothing selected, a user one without the section.
std::string without_tables()
{
    return "[Available Queries]\r\n\r\n[Generic settings]\r\ndest=shop\r\nmode=0\r\n"
           "src=src\r\n\r\n[Selected Tables]\r\n\r\n";
}

struct refused_case
{
    const char* name;
    std::string content;
    /// The refusal after the path, or empty for "The file is not a profile of this program".
    std::string no_table;
};

class QuickLaunchRefusal : public testing::TestWithParam<refused_case>
{
};

const char* const no_table_text = " (a quick launch converts only the tables its profile "
                                  "selects; the agent, zovagent --profile=, converts every table "
                                  "with it)";

// Had the launch connected, the remembered servers (where nothing listens) would have been
// reported; only the refusal is, and no window opens.
TEST_P(QuickLaunchRefusal, EndsWithFailureBeforeAnyConnection)
{
    const refused_case& test = GetParam();
    const test_support::temp_dir home;
    const test_support::scoped_env config("XDG_CONFIG_HOME", home.path().string());
    remember({});
    const std::string path = home.file("launched.zov");
    test_support::write_file(path, test.content);
    scripted_prompts prompts;
    bool window_shown = false;
    vandrel_hooks hooks;
    hooks.run = [&](vandrel_wizard&)
    {
        window_shown = true;
        return 1;
    };
    EXPECT_EQ(vandrel_run(QString::fromStdString(path), prompts, hooks), -1);
    EXPECT_FALSE(window_shown);
    const std::string expected =
        test.no_table.empty() ? "error Error|The file is not a profile of this program: " + path
                              : "error Error|The profile selects no table: " + path + no_table_text;
    EXPECT_EQ(prompts.lines(), std::vector<std::string>{expected});
}

INSTANTIATE_TEST_SUITE_P(
    Files, QuickLaunchRefusal,
    testing::Values(
        refused_case{"EmptyFile", "", ""},
        refused_case{"ForeignSections",
                     "[core]\n\trepositoryformatversion = 0\n[user]\n\tname = someone\n", ""},
        refused_case{"NulBytes", std::string(32, '\0'), ""},
        refused_case{"UnknownKeysOnly", "[Generic settings]\r\nfoo=1\r\n", ""},
        refused_case{"SavedWithNothingSelected", without_tables(), "yes"},
        refused_case{"WithoutTheSection",
                     "[Generic settings]\r\nsrc=src\r\ndest=shop\r\nmode=0\r\n", "yes"},
        refused_case{"OnlyAvailableQueries",
                     "[Available Queries]\r\nq=SELECT 1\r\n[Generic settings]\r\ndest=shop\r\n",
                     "yes"}),
    [](const testing::TestParamInfo<refused_case>& param_info) { return param_info.param.name; });

// A query entry is a selection: the launch goes on to connect (and fails there).
TEST(WizardQuickLaunchSelection, AQueryEntryIsASelection)
{
    const test_support::temp_dir home;
    const test_support::scoped_env config("XDG_CONFIG_HOME", home.path().string());
    remember({});
    const std::string path = home.file("query.zov");
    test_support::write_file(path, "[Selected Tables]\r\nq=SELECT 1\r\n");
    scripted_prompts prompts;
    EXPECT_EQ(vandrel_run(QString::fromStdString(path), prompts), -1);
    const std::vector<std::string> shown = prompts.lines();
    ASSERT_EQ(shown.size(), 1U);
    EXPECT_TRUE(shown[0].starts_with("continue Error|")) << shown[0];
}

// Against the real servers: the remembered destination holds a table, and a quick launch of a
// file that is no profile, or of a profile without tables, leaves it there. Had the launch run,
// mode 0 would have dropped and created the database again.
TEST(WizardQuickLaunchSqlServer, TheRememberedDestinationKeepsItsTable)
{
    const std::optional<agent_test::conversion_servers> servers =
        agent_test::conversion_servers_or_skip();
    if (!servers)
    {
        return;
    }
    const std::wstring name = L"wizq_kept";
    const pgs_test::scratch_database source(servers->source, "wizq_src");
    const test_support::temp_dir home;
    const test_support::scoped_env config("XDG_CONFIG_HOME", home.path().string());
    const auto wide = [](const std::string& text) { return plat::utf8_to_wide_lossy(text); };
    const auto connect = [&](vandrel_convertor& converter)
    {
        converter.set_sec_log(false);
        converter.mssql_converter_impl::set_connection(
            wide(servers->login.server), wide(servers->login.user), wide(servers->login.password));
        converter.connect_mssql_server();
    };
    {
        scripted_prompts prompts;
        wizard_process process(prompts);
        vandrel_convertor& converter = process.converter();
        connect(converter);
        if (converter.mss().is_db_exist(name))
        {
            converter.mss().delete_db(name);
        }
        const std::unique_ptr<mss_database> database = converter.mss().create_db(name);
        odb_command(database->session()).execute_counted(L"CREATE TABLE dbo.kept (id int)");
    }
    remember({servers->source, wide(servers->login.server), wide(servers->login.user),
              wide(servers->login.password), wide(source.name()), name});
    for (const std::string& content : {std::string(), without_tables()})
    {
        SCOPED_TRACE(content.empty() ? "empty file" : "no table");
        const std::string path = home.file("launched.zov");
        test_support::write_file(path, content);
        scripted_prompts prompts;
        vandrel_hooks hooks;
        // What the shown window would do: the progress page runs, the finish page ends it.
        hooks.run = [&](vandrel_wizard& wizard)
        {
            wizard.shell().show();
            wait_until([&] { return wizard.shell().currentId() == page_id::finish; }, 60000);
            return 1;
        };
        EXPECT_EQ(vandrel_run(QString::fromStdString(path), prompts, hooks), -1);
        EXPECT_EQ(prompts.lines().size(), 1U) << testing::PrintToString(prompts.lines());
    }
    scripted_prompts prompts;
    wizard_process process(prompts);
    vandrel_convertor& converter = process.converter();
    connect(converter);
    EXPECT_EQ(agent_test::destination_reader(converter.mss(), "wizq_kept").tables(),
              std::vector<std::string>{"dbo.kept"});
    converter.mss().delete_db(name);
}

} // namespace
