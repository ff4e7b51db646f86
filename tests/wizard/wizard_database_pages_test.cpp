// wizard_database_pages_test.cpp: the databases page (source list, destination, log file, the
// checks of Next) and the options page (schema list, options), driven through the wizard with
// scripted prompts and the converter suite's fake sides.
#include "convertor_fakes.h"
#include "mss/mss_database.h"
#include "tk/tk_exception.h"
#include "wizard/conv_settings_page.h"
#include "wizard/gui_finish_page.h"
#include "wizard/popup_combo.h"
#include "wizard/sel_file_page.h"
#include "wizard/wizard_shell.h"
#include "wizard/zov_sel_tables_page.h"
#include "wizard_test_support.h"

#include <QAbstractButton>
#include <QApplication>
#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>
#include <algorithm>
#include <gtest/gtest.h>

using namespace wizard_test;

namespace
{

const std::string message_prefix = "message Corlamig 1.5  Message|";

class DatabasePages : public testing::Test
{
protected:
    void SetUp() override
    {
        process.converter().set_source(std::make_unique<conv_test::fake_source>(source, events));
        install_destination(true);
        wizard.databases().set_database_lister(
            [this](std::vector<std::wstring>& list)
            {
                ++list_calls;
                list = databases;
            });
        wizard.databases().set_source_checker(
            [this](const std::wstring& name)
            { return std::find(databases.begin(), databases.end(), name) != databases.end(); });
        wizard.databases().set_wait_observer([this](dlg_animation&) { ++waits; });
        wizard.options().set_wait_observer([this](dlg_animation&) { ++waits; });
    }

    void install_destination(bool exists)
    {
        conv_test::destination_setup setup;
        setup.exists = exists;
        process.converter().set_destination(
            std::make_unique<conv_test::fake_destination>(setup, events));
    }

    void show_at(int id)
    {
        wizard.shell().setStartId(id);
        wizard.shell().show();
        ASSERT_TRUE(wait_until([&] { return wizard.shell().currentId() == id; }));
        ASSERT_TRUE(QTest::qWaitForWindowActive(&wizard.shell()));
    }

    popup_combo& source_combo()
    {
        return *control<popup_combo>(wizard.databases(), "source_combo");
    }
    QLineEdit& destination_edit()
    {
        return *control<QLineEdit>(wizard.databases(), "destination_edit");
    }
    popup_combo& schema_combo() { return *control<popup_combo>(wizard.options(), "schema_combo"); }

    /// Drops `combo` down (listing behind the wait dialog the first time) and closes it again.
    static void drop_down(popup_combo& combo)
    {
        combo.showPopup();
        combo.hidePopup();
    }

    static QStringList entries(const QComboBox& combo)
    {
        QStringList list;
        for (int index = 0; index < combo.count(); ++index)
        {
            list.push_back(combo.itemText(index));
        }
        return list;
    }

    /// Fills the page's fields and presses Next.
    void next_with(const QString& src, const QString& dest)
    {
        source_combo().setEditText(src);
        destination_edit().setText(dest);
        next();
    }

    void next() { wizard.shell().button(QWizard::NextButton)->click(); }
    void back() { wizard.shell().button(QWizard::BackButton)->click(); }

    conv_test::event_log drops() const { return conv_test::filtered(events, {"delete_db"}); }

    scripted_prompts prompts;
    wizard_process process{prompts};
    conv_test::source_setup source;
    conv_test::event_log events;
    vandrel_wizard wizard{prompts, false};
    std::vector<std::wstring> databases = {L"archive", L"sales_db", L"sales", L"Sales2"};
    int list_calls = 0;
    int waits = 0;
};

struct refusal_case
{
    const char* name;
    const char* src;
    const char* dest;
    const char* message;
};

class DatabasesNextRefuses : public DatabasePages, public testing::WithParamInterface<refusal_case>
{
};

TEST_P(DatabasesNextRefuses, ShowsTheReasonAndStays)
{
    show_at(page_id::databases);
    next_with(GetParam().src, GetParam().dest);
    EXPECT_EQ(wizard.shell().currentId(), page_id::databases);
    EXPECT_EQ(prompts.lines(), std::vector<std::string>{message_prefix + GetParam().message});
    EXPECT_TRUE(drops().empty());
}

INSTANTIATE_TEST_SUITE_P(Fields, DatabasesNextRefuses,
                         testing::Values(refusal_case{"EmptySource", "", "target",
                                                      "You should enter PostgreSQL database name"},
                                         refusal_case{"EmptyDestination", "sales", "",
                                                      "You should enter MS SQL database name"},
                                         refusal_case{"MissingSource", "nosuch", "target",
                                                      "PostgreSQL database does not exist"}),
                         [](const testing::TestParamInfo<refusal_case>& param_info)
                         { return std::string(param_info.param.name); });

const std::string overwrite_line =
    "overwrite Corlamig 1.5  Warning|The destination database already exists. Select one of "
    "the options below. Click 'Help' button for more information.|1014";

TEST_F(DatabasePages, ExistingDestinationCancelledStaysAndDropsNothing)
{
    process.converter().set_mode(3);
    show_at(page_id::databases);
    prompts.overwrite_result = 2;
    next_with("sales", "target");
    EXPECT_EQ(wizard.shell().currentId(), page_id::databases);
    EXPECT_EQ(prompts.lines(), std::vector<std::string>{overwrite_line});
    EXPECT_TRUE(drops().empty());
    EXPECT_EQ(process.converter().mode(), 3);
}

class DatabasesOverwrite : public DatabasePages, public testing::WithParamInterface<int>
{
};

TEST_P(DatabasesOverwrite, TheChosenModeIsOnlyStoredNothingIsDropped)
{
    show_at(page_id::databases);
    prompts.overwrite_mode = GetParam();
    next_with("sales", "target");
    EXPECT_EQ(wizard.shell().currentId(), page_id::options);
    EXPECT_EQ(prompts.lines(), std::vector<std::string>{overwrite_line});
    EXPECT_TRUE(drops().empty());
    EXPECT_EQ(process.converter().mode(), GetParam());
}

INSTANTIATE_TEST_SUITE_P(Modes, DatabasesOverwrite, testing::Values(0, 1, 2, 3));

/// What the user does after choosing "Overwrite the entire database" for "target".
enum class after_mode_zero
{
    back_to_the_sql_server_page,
    another_destination,
    cancel_on_the_tables_page
};

class DatabasesModeZero : public DatabasePages, public testing::WithParamInterface<after_mode_zero>
{
};

TEST_P(DatabasesModeZero, NothingIsDroppedBeforeTheRun)
{
    show_at(page_id::mssql_settings);
    next();
    ASSERT_TRUE(wait_until([&] { return wizard.shell().currentId() == page_id::databases; }));
    prompts.overwrite_mode = 0;
    next_with("sales", "target");
    ASSERT_EQ(wizard.shell().currentId(), page_id::options);
    switch (GetParam())
    {
    case after_mode_zero::back_to_the_sql_server_page:
        back();
        back();
        EXPECT_EQ(wizard.shell().currentId(), page_id::mssql_settings);
        break;
    case after_mode_zero::another_destination:
        back();
        prompts.overwrite_mode = 2;
        next_with("sales", "elsewhere");
        EXPECT_EQ(wizard.shell().currentId(), page_id::options);
        break;
    case after_mode_zero::cancel_on_the_tables_page:
        next();
        ASSERT_EQ(wizard.shell().currentId(), page_id::tables);
        prompts.question_answers = {true};
        wizard.shell().button(QWizard::CancelButton)->click();
        EXPECT_FALSE(wizard.shell().isVisible());
        break;
    }
    EXPECT_TRUE(drops().empty()) << testing::PrintToString(events);
}

INSTANTIATE_TEST_SUITE_P(Leaving, DatabasesModeZero,
                         testing::Values(after_mode_zero::back_to_the_sql_server_page,
                                         after_mode_zero::another_destination,
                                         after_mode_zero::cancel_on_the_tables_page),
                         [](const testing::TestParamInfo<after_mode_zero>& param_info)
                         {
                             switch (param_info.param)
                             {
                             case after_mode_zero::back_to_the_sql_server_page:
                                 return std::string("BackTwoPages");
                             case after_mode_zero::another_destination:
                                 return std::string("AnotherDestination");
                             case after_mode_zero::cancel_on_the_tables_page:
                                 break;
                             }
                             return std::string("CancelOnTheTablesPage");
                         });

TEST_F(DatabasePages, ModeZeroDropsOnceWhenTheRunStarts)
{
    source.tables = {{L"public.a", 2}};
    process.converter().set_source(std::make_unique<conv_test::fake_source>(source, events));
    show_at(page_id::databases);
    prompts.overwrite_mode = 0;
    next_with("sales", "target");
    next();
    ASSERT_EQ(wizard.shell().currentId(), page_id::tables);
    control<QPushButton>(wizard.tables(), "add_all_button")->click();
    EXPECT_TRUE(drops().empty());
    next();
    ASSERT_TRUE(wait_until([&] { return wizard.shell().currentId() == page_id::finish; }, 20000));
    // Dropped before the run opened anything, then created again by the run.
    EXPECT_EQ(conv_test::filtered(events, {"delete_db", "begin_run", "create_db", "open_db"}),
              (conv_test::event_log{"delete_db target", "begin_run", "create_db target"}));
    EXPECT_TRUE(wizard.shell().errors().empty());
    EXPECT_EQ(control<QLabel>(wizard.finish(), "finish_title")->text(), "Conversion is Completed");
}

TEST_F(DatabasePages, AFailingDropIsShownWithTheDriversTextAndTheRunDoesNotStart)
{
    conv_test::destination_setup in_use;
    in_use.exists = true;
    in_use.fail_delete_db = true;
    process.converter().set_destination(
        std::make_unique<conv_test::fake_destination>(in_use, events));
    process.converter().set_src(L"sales");
    process.converter().set_dest(L"target");
    process.converter().set_mode(0);
    show_at(page_id::tables);
    next();
    ASSERT_TRUE(wait_until([&] { return wizard.shell().currentId() == page_id::finish; }, 20000));
    const std::string text = "The conversion did not start: the destination database 'target' "
                             "could not be dropped.\n\nCannot drop database \"target\" because "
                             "it is currently in use.";
    EXPECT_EQ(prompts.lines(), std::vector<std::string>{"error Corlamig 1.5  Error|" + text});
    EXPECT_EQ(drops(), conv_test::event_log{"delete_db target"});
    EXPECT_TRUE(conv_test::filtered(events, {"begin_run", "create_db", "open_db"}).empty())
        << testing::PrintToString(events);
    EXPECT_EQ(wizard.shell().errors(), std::vector<std::string>{text});
    EXPECT_EQ(control<QLabel>(wizard.finish(), "finish_title")->text(), "Conversion did not start");
    EXPECT_EQ(control<QLabel>(wizard.finish(), "finish_text")->text(),
              "There were some errors while converting the database.\nClick 'Finish' to exit "
              "the wizard.");
}

TEST_F(DatabasePages, NewDestinationMovesOnWithoutAsking)
{
    install_destination(false);
    process.converter().set_mode(2);
    show_at(page_id::databases);
    next_with("sales", "target");
    EXPECT_EQ(wizard.shell().currentId(), page_id::options);
    EXPECT_TRUE(prompts.lines().empty());
    EXPECT_EQ(process.converter().src(), L"sales");
    EXPECT_EQ(process.converter().dest(), L"target");
    EXPECT_EQ(process.converter().mode(), 2);
}

TEST_F(DatabasePages, TheStoredDestinationIsShownAndStoredVerbatim)
{
    install_destination(false);
    process.converter().set_src(L"sales");
    process.converter().set_dest(L"sales.2020");
    show_at(page_id::databases);
    EXPECT_EQ(source_combo().currentText(), "sales");
    EXPECT_EQ(destination_edit().text(), "sales.2020");
    next();
    EXPECT_EQ(wizard.shell().currentId(), page_id::options);
    EXPECT_EQ(process.converter().dest(), L"sales.2020");
    EXPECT_EQ(conv_test::filtered(events, {"is_db_exist"}),
              conv_test::event_log{"is_db_exist sales.2020"});
}

TEST_F(DatabasePages, WithoutADestinationTheSourceNameIsOffered)
{
    process.converter().set_src(L"sales");
    process.converter().set_dest(L"");
    show_at(page_id::databases);
    EXPECT_EQ(destination_edit().text(), "sales");
}

TEST_F(DatabasePages, TheListIsReadOnceUntilBackThenAgain)
{
    install_destination(false);
    process.converter().set_src(L"SALES");
    show_at(page_id::mssql_settings);
    next();
    ASSERT_TRUE(wait_until([&] { return wizard.shell().currentId() == page_id::databases; }));
    EXPECT_EQ(source_combo().count(), 0);
    drop_down(source_combo());
    EXPECT_EQ(list_calls, 1);
    EXPECT_EQ(waits, 1);
    EXPECT_EQ(entries(source_combo()), (QStringList{"archive", "sales_db", "sales", "Sales2"}));
    // The first name that begins with the stored one, in any letter case.
    EXPECT_EQ(source_combo().currentText(), "sales_db");
    drop_down(source_combo());
    EXPECT_EQ(list_calls, 1);

    // Next and Back from the options page keep the list.
    next();
    ASSERT_EQ(wizard.shell().currentId(), page_id::options);
    back();
    ASSERT_EQ(wizard.shell().currentId(), page_id::databases);
    drop_down(source_combo());
    EXPECT_EQ(list_calls, 1);
    EXPECT_EQ(source_combo().count(), 4);

    // Back from this page forgets it: it is read again after the SQL Server page.
    back();
    ASSERT_EQ(wizard.shell().currentId(), page_id::mssql_settings);
    next();
    ASSERT_TRUE(wait_until([&] { return wizard.shell().currentId() == page_id::databases; }));
    EXPECT_EQ(source_combo().count(), 0);
    drop_down(source_combo());
    EXPECT_EQ(list_calls, 2);
    EXPECT_EQ(source_combo().count(), 4);
}

TEST_F(DatabasePages, WithoutAMatchTheTypedTextStays)
{
    process.converter().set_src(L"zzz");
    show_at(page_id::databases);
    source_combo().setEditText("typed");
    drop_down(source_combo());
    EXPECT_EQ(source_combo().currentIndex(), -1);
    EXPECT_EQ(source_combo().currentText(), "typed");
}

TEST_F(DatabasePages, ChoosingASourceSetsTheDestinationAndEmptiesTheSelection)
{
    vandrel_convertor& converter = process.converter();
    converter.tables() = {L"public.a"};
    converter.selected() = {{L"public.a", L""}, {L"q", L"select 1"}};
    converter.available_queries() = {{L"q", L"select 1"}};
    show_at(page_id::databases);
    drop_down(source_combo());
    source_combo().setCurrentIndex(2);
    emit source_combo().activated(2);
    EXPECT_EQ(destination_edit().text(), "sales");
    EXPECT_TRUE(converter.tables().empty());
    EXPECT_TRUE(converter.selected().empty());
    EXPECT_TRUE(converter.available_queries().empty());
}

struct lister_failure_case
{
    const char* name;
    int kind; ///< 0: tk_exception severity 0 (Abort chosen), 1: severity 1, 2: std::exception
    std::string line;
};

class DatabasesListFails : public DatabasePages,
                           public testing::WithParamInterface<lister_failure_case>
{
};

TEST_P(DatabasesListFails, TheErrorIsShownTheWaitEndsAndThePartialListStays)
{
    const int kind = GetParam().kind;
    wizard.databases().set_database_lister(
        [kind](std::vector<std::wstring>& list)
        {
            list.push_back(L"first");
            if (kind == 2)
            {
                throw std::runtime_error("the catalog went away");
            }
            throw tk_exception("listing refused", kind);
        });
    prompts.continue_result = 1; // Abort: the handler ends the listing with its final exception
    show_at(page_id::databases);
    drop_down(source_combo());
    EXPECT_EQ(prompts.lines(), std::vector<std::string>{GetParam().line});
    EXPECT_EQ(entries(source_combo()), QStringList{"first"});
    EXPECT_EQ(waits, 1);
    EXPECT_EQ(QApplication::activeModalWidget(), nullptr);
    EXPECT_TRUE(wizard.shell().isVisible());
    EXPECT_EQ(wizard.shell().currentId(), page_id::databases);
}

INSTANTIATE_TEST_SUITE_P(
    Failures, DatabasesListFails,
    testing::Values(
        lister_failure_case{"Continuable", 0, "continue Corlamig 1.5  Error|listing refused"},
        lister_failure_case{"Severe", 1, "error Corlamig 1.5  Error|listing refused"},
        lister_failure_case{"Foreign", 2, "error Corlamig 1.5  Error|the catalog went away"}),
    [](const testing::TestParamInfo<lister_failure_case>& param_info)
    { return std::string(param_info.param.name); });

TEST_F(DatabasePages, BrowseFillsTheLogFileAndNextTurnsTheLogOn)
{
    install_destination(false);
    const QString log = QString::fromStdString(process.home().file("run.log"));
    show_at(page_id::databases);
    prompts.file_answers = {log};
    control<QPushButton>(wizard.databases(), "browse_button")->click();
    EXPECT_EQ(prompts.lines(), std::vector<std::string>{"open Select Log File"});
    EXPECT_EQ(prompts.last_filter,
              QString("Log Files (.log)|*.log|All Files (*.*)|*.*|").replace('|', QChar(0)));
    EXPECT_EQ(control<QLineEdit>(wizard.databases(), "log_file_edit")->text(), log);
    next_with("sales", "target");
    EXPECT_EQ(wizard.shell().currentId(), page_id::options);
    EXPECT_EQ(process.converter().log_file(), log.toStdString());
    EXPECT_TRUE(tk_logger::instance().enabled());
}

TEST_F(DatabasePages, ARefusedLogFileIsShownAndThePageStays)
{
    show_at(page_id::databases);
    control<QLineEdit>(wizard.databases(), "log_file_edit")
        ->setText(QString::fromStdString(process.home().file("missing/run.log")));
    next_with("sales", "target");
    EXPECT_EQ(wizard.shell().currentId(), page_id::databases);
    EXPECT_EQ(prompts.lines(),
              std::vector<std::string>{"error Corlamig 1.5  Error|Logfile path does not exist.\n"
                                       "Please verify the correct path was given."});
}

TEST_F(DatabasePages, ALogFileThatIsADirectoryIsRefusedOnNextAndKeptOnBack)
{
    show_at(page_id::mssql_settings);
    next();
    ASSERT_TRUE(wait_until([&] { return wizard.shell().currentId() == page_id::databases; }));
    prompts.clear();
    const std::string folder = process.home().path().string();
    control<QLineEdit>(wizard.databases(), "log_file_edit")
        ->setText(QString::fromStdString(folder));
    next_with("sales", "target");
    EXPECT_EQ(wizard.shell().currentId(), page_id::databases);
    EXPECT_EQ(prompts.lines(),
              std::vector<std::string>{"error Corlamig 1.5  Error|Logfile name specifies a "
                                       "directory: " +
                                       folder});
    EXPECT_EQ(process.converter().log_file(), "");
    prompts.clear();
    back();
    EXPECT_EQ(wizard.shell().currentId(), page_id::mssql_settings);
    EXPECT_TRUE(prompts.lines().empty());
    EXPECT_EQ(process.converter().log_file(), folder);
    EXPECT_NE(tk_logger::instance().file_name(), folder);
}

TEST_F(DatabasePages, LeavingWithARefusedLogFileAsksOnlyWhetherToLeave)
{
    show_at(page_id::databases);
    control<QLineEdit>(wizard.databases(), "log_file_edit")
        ->setText(QString::fromStdString(process.home().file("missing/run.log")));
    prompts.question_answers = {true};
    wizard.shell().button(QWizard::CancelButton)->click();
    EXPECT_FALSE(wizard.shell().isVisible());
    EXPECT_EQ(prompts.lines(),
              std::vector<std::string>{
                  "question Corlamig 1.5  Question|Are you sure you want to exit the wizard?"});
}

TEST_F(DatabasePages, TheSchemaListStartsEmptyAndSelectsTheStoredSchema)
{
    process.converter().set_src(L"sales");
    process.converter().set_schema(L"sa");
    show_at(page_id::options);
    EXPECT_EQ(schema_combo().currentText(), "");
    drop_down(schema_combo());
    EXPECT_EQ(entries(schema_combo()), (QStringList{"", "public", "Sales"}));
    EXPECT_EQ(schema_combo().currentText(), "Sales");
    drop_down(schema_combo());
    EXPECT_EQ(waits, 1);
    EXPECT_EQ(conv_test::filtered(events, {"open_source"}),
              conv_test::event_log{"open_source sales schema="});
}

TEST_F(DatabasePages, AnUnknownSchemaSelectsTheEmptyEntry)
{
    process.converter().set_schema(L"nothing");
    show_at(page_id::options);
    drop_down(schema_combo());
    EXPECT_EQ(schema_combo().currentIndex(), 0);
    next();
    EXPECT_EQ(process.converter().get_schema(), L"");
}

TEST_F(DatabasePages, OptionsShowAndStoreTheirChoices)
{
    vandrel_convertor& converter = process.converter();
    converter.set_tab_def(true);
    converter.set_skip_idx(false);
    converter.set_no_schema(true);
    show_at(page_id::options);
    QCheckBox* tab_def = control<QCheckBox>(wizard.options(), "tab_def_check_box");
    QCheckBox* skip_idx = control<QCheckBox>(wizard.options(), "skip_indexes_check_box");
    EXPECT_TRUE(tab_def->isChecked());
    EXPECT_FALSE(skip_idx->isChecked());
    tab_def->click();
    skip_idx->click();
    drop_down(schema_combo());
    schema_combo().setCurrentIndex(1);
    next();
    EXPECT_EQ(wizard.shell().currentId(), page_id::tables);
    EXPECT_FALSE(converter.tab_def());
    EXPECT_TRUE(converter.skip_idx());
    EXPECT_EQ(converter.get_schema(), L"public");
    EXPECT_FALSE(converter.no_schema());
    EXPECT_FALSE(converter.pgs().no_schema());
}

TEST_F(DatabasePages, AFailingSchemaListIsShownAndLeavesTheEmptyEntry)
{
    conv_test::source_setup failing;
    failing.throw_foreign_failure = true;
    process.converter().set_source(std::make_unique<conv_test::fake_source>(failing, events));
    show_at(page_id::options);
    drop_down(schema_combo());
    EXPECT_EQ(prompts.lines(), std::vector<std::string>{"error Corlamig 1.5  Error|disk on fire"});
    EXPECT_EQ(entries(schema_combo()), QStringList{""});
    EXPECT_TRUE(wizard.shell().isVisible());
}

} // namespace

namespace
{

TEST(WizardSqlServerModeZero, CancelOnTheTablesPageKeepsTheExistingDatabase)
{
    const std::optional<test_support::mssql_login> login = test_support::mssql_login_from_env();
    if (!login)
    {
        GTEST_SKIP() << "ZOV_TEST_MSSQL is not set (server;user;password)";
    }
    const std::wstring name = L"wizd_keep_on_cancel";
    scripted_prompts prompts;
    wizard_process process(prompts);
    conv_test::event_log events;
    conv_test::source_setup source;
    source.tables = {{L"public.a", 1}};
    vandrel_convertor& converter = process.converter();
    converter.set_source(std::make_unique<conv_test::fake_source>(source, events));
    converter.set_sec_log(false);
    converter.mssql_converter_impl::set_connection(login->server, login->user, login->password);
    converter.connect_mssql_server();
    if (!converter.mss().is_db_exist(name))
    {
        converter.mss().create_db(name);
    }
    {
        vandrel_wizard wizard(prompts, false);
        wizard.databases().set_source_checker([](const std::wstring&) { return true; });
        wizard.shell().setStartId(page_id::databases);
        wizard.shell().show();
        ASSERT_TRUE(wait_until([&] { return wizard.shell().currentId() == page_id::databases; }));
        control<popup_combo>(wizard.databases(), "source_combo")->setEditText("sales");
        control<QLineEdit>(wizard.databases(), "destination_edit")
            ->setText(QString::fromStdWString(name));
        prompts.overwrite_mode = 0;
        wizard.shell().button(QWizard::NextButton)->click();
        ASSERT_EQ(wizard.shell().currentId(), page_id::options);
        wizard.shell().button(QWizard::NextButton)->click();
        ASSERT_EQ(wizard.shell().currentId(), page_id::tables);
        prompts.question_answers = {true};
        wizard.shell().button(QWizard::CancelButton)->click();
        EXPECT_FALSE(wizard.shell().isVisible());
    }
    EXPECT_EQ(prompts.lines_starting("overwrite ").size(), 1U);
    // The server's list, read again.
    converter.connect_mssql_server();
    EXPECT_TRUE(converter.mss().is_db_exist(name));
    converter.mss().delete_db(name);
}

} // namespace
