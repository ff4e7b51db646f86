// wizard_pages_test.cpp: the welcome page's profile load and the two connection pages, driven
// through the wizard's buttons with scripted prompts and fake or real servers.
#include "convertor/conversion_sides.h"
#include "mss/odb_exception.h"
#include "oledb_fake_link.h"
#include "plat/oledb/odbc_check.h"
#include "plat/plat_text.h"
#include "tk/tk_exception.h"
#include "wizard/mssql_settings_page.h"
#include "wizard/pgs_settings_page.h"
#include "wizard/welcome_page.h"
#include "wizard/wizard_dialogs.h"
#include "wizard/wizard_shell.h"
#include "wizard_test_support.h"

#include <QAbstractButton>
#include <QApplication>
#include <QCheckBox>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTest>
#include <cstdlib>
#include <filesystem>
#include <gtest/gtest.h>
#include <optional>
#include <thread>

using namespace wizard_test;

namespace
{

/// The SQL Server side of a test: records connects (and their thread), fails as told.
class connect_recorder : public conversion_destination
{
public:
    enum class failure
    {
        none,
        host_not_found, ///< odb_exception whose code's low word is E_FAIL's
        login_refused,  ///< odb_exception code 0x80E4D
        severity_one,   ///< tk_exception severity 1
        library,        ///< std::runtime_error
        internal        ///< tk_mail_assertion
    };

    explicit connect_recorder(failure fail)
        : m_fail(fail)
    {
    }

    void connect(const std::wstring& server, const std::wstring& user, const std::wstring&,
                 bool windows_auth) override
    {
        connect_thread = std::this_thread::get_id();
        calls.push_back(plat::wide_to_utf8(server) + "|" + plat::wide_to_utf8(user) + "|" +
                        (windows_auth ? "windows" : "sql"));
        switch (m_fail)
        {
        case failure::none:
            return;
        case failure::host_not_found:
            throw odb_exception(static_cast<HRESULT>(0x80004005));
        case failure::login_refused:
            throw odb_exception(static_cast<HRESULT>(0x80040E4D));
        case failure::severity_one:
            throw tk_exception("This build of the program cannot reach MS SQL Server.", 1);
        case failure::library:
            throw std::runtime_error("driver library went away");
        case failure::internal:
            throw tk_mail_assertion("mss_engi", 173);
        }
    }
    bool is_db_exist(const std::wstring&) override { return false; }
    void delete_db(const std::wstring&) override {}
    std::unique_ptr<udb_database> open_db(const std::wstring&, int) override { return nullptr; }
    std::unique_ptr<udb_database> create_db(const std::wstring&) override { return nullptr; }
    void begin_run() override {}

    std::vector<std::string> calls;
    std::thread::id connect_thread;

private:
    failure m_fail;
};

class WizardPages : public testing::Test
{
protected:
    /// Shows the wizard at page `id`.
    void show_at(int id)
    {
        wizard.shell().setStartId(id);
        wizard.shell().show();
        ASSERT_TRUE(wait_until([&] { return wizard.shell().currentId() == id; }));
        ASSERT_TRUE(QTest::qWaitForWindowActive(&wizard.shell()));
    }

    void next() { wizard.shell().button(QWizard::NextButton)->click(); }
    void back() { wizard.shell().button(QWizard::BackButton)->click(); }

    connect_recorder& install_destination(connect_recorder::failure fail)
    {
        auto destination = std::make_unique<connect_recorder>(fail);
        connect_recorder& installed = *destination;
        process.converter().set_destination(std::move(destination));
        return installed;
    }

    scripted_prompts prompts;
    wizard_process process{prompts};
    vandrel_wizard wizard{prompts, false};
};

TEST_F(WizardPages, WelcomeLoadsTheChosenProfile)
{
    const std::string profile = process.home().file("saved.zov");
    process.converter().set_src(L"pagila");
    process.converter().set_dest(L"pagila_copy");
    ASSERT_TRUE(process.converter().save_profile_file(plat::utf8_to_wide_lossy(profile)));
    process.converter().set_src(L"");
    process.converter().set_dest(L"");
    show_at(page_id::welcome);
    prompts.file_answers = {QString::fromStdString(profile)};
    control<QPushButton>(wizard.welcome(), "load_settings_button")->click();
    EXPECT_EQ(prompts.lines(), std::vector<std::string>{"open Select Profile File"});
    EXPECT_EQ(prompts.last_filter,
              QString("Profile Files (.zov)|*.zov|All Files (*.*)|*.*|").replace('|', QChar(0)));
    EXPECT_EQ(process.converter().src(), L"pagila");
    EXPECT_EQ(process.converter().dest(), L"pagila_copy");
}

TEST_F(WizardPages, WelcomeCancelledLoadChangesNothing)
{
    process.converter().set_src(L"kept");
    show_at(page_id::welcome);
    control<QPushButton>(wizard.welcome(), "load_settings_button")->click();
    EXPECT_EQ(process.converter().src(), L"kept");
    EXPECT_EQ(prompts.lines(), std::vector<std::string>{"open Select Profile File"});
}

TEST_F(WizardPages, WelcomeReportsAFileThatIsNotAProfile)
{
    const std::string bogus = process.home().file("notes.zov");
    test_support::write_file(bogus, "this is not a profile\r\n");
    process.converter().set_src(L"kept");
    show_at(page_id::welcome);
    prompts.file_answers = {QString::fromStdString(bogus)};
    control<QPushButton>(wizard.welcome(), "load_settings_button")->click();
    EXPECT_EQ(process.converter().src(), L"kept");
    EXPECT_EQ(prompts.lines_starting("error "),
              std::vector<std::string>{"error Corlamig 1.5  Error|The file is not a profile of "
                                       "this program: " +
                                       bogus});
}

struct load_mode_case
{
    const char* name;
    std::string line;
    /// The mode after loading; none when the profile is refused.
    std::optional<int> mode;
};

class WelcomeLoadMode : public WizardPages, public testing::WithParamInterface<load_mode_case>
{
};

TEST_P(WelcomeLoadMode, TakesADigitFromZeroToFourOrChangesNothing)
{
    const load_mode_case& test = GetParam();
    const std::string profile = process.home().file("mode.zov");
    const std::string log = process.home().file("loaded.log");
    test_support::write_file(profile, "[Selected Tables]\r\npublic.theirs\r\n"
                                      "[Generic settings]\r\nsrc=loaded\r\nlogfile=" +
                                          log + "\r\n" + test.line + "\r\n");
    process.converter().set_src(L"kept");
    process.converter().set_mode(2);
    process.converter().tables() = {L"public.mine"};
    show_at(page_id::welcome);
    prompts.file_answers = {QString::fromStdString(profile)};
    control<QPushButton>(wizard.welcome(), "load_settings_button")->click();
    if (test.mode)
    {
        EXPECT_TRUE(prompts.lines_starting("error ").empty());
        EXPECT_EQ(process.converter().mode(), *test.mode);
        EXPECT_EQ(process.converter().src(), L"loaded");
        // The profile's selection replaces the one before it.
        EXPECT_EQ(process.converter().tables(), std::vector<std::wstring>{L"public.theirs"});
        return;
    }
    const std::string quoted = test.line.substr(test.line.find('=') + 1);
    EXPECT_EQ(prompts.lines_starting("error "),
              std::vector<std::string>{"error Corlamig 1.5  Error|Invalid conversion mode in "
                                       "profile " +
                                       profile + ": '" + quoted + "'"});
    EXPECT_EQ(process.converter().src(), L"kept");
    EXPECT_EQ(process.converter().mode(), 2);
    EXPECT_EQ(process.converter().tables(), std::vector<std::wstring>{L"public.mine"});
    EXPECT_EQ(process.converter().log_file(), "");
    EXPECT_FALSE(std::filesystem::exists(log));
}

INSTANTIATE_TEST_SUITE_P(Values, WelcomeLoadMode,
                         testing::Values(load_mode_case{"Zero", "mode=0", 0},
                                         load_mode_case{"Four", "mode=4", 4},
                                         load_mode_case{"BlanksAround", "mode = 3 ", 3},
                                         load_mode_case{"EmptyKeepsTheMode", "mode=", 2},
                                         load_mode_case{"LeadingZero", "mode=02", std::nullopt},
                                         load_mode_case{"Ten", "mode=10", std::nullopt},
                                         load_mode_case{"Seven", "mode=7", std::nullopt}),
                         [](const testing::TestParamInfo<load_mode_case>& param_info)
                         { return param_info.param.name; });

TEST_F(WizardPages, WelcomeReportsAMissingProfile)
{
    show_at(page_id::welcome);
    prompts.file_answers = {QString::fromStdString(process.home().file("gone.zov"))};
    control<QPushButton>(wizard.welcome(), "load_settings_button")->click();
    EXPECT_EQ(prompts.lines_starting("error "),
              std::vector<std::string>{"error Corlamig 1.5  Error|Profile does not exist. Please "
                                       "verify the correct path/name was given."});
    EXPECT_EQ(wizard.shell().currentId(), page_id::welcome);
}

struct port_refusal_case
{
    const char* name;
    const char* text;
};

class PostgreSqlPortRefused : public WizardPages,
                              public testing::WithParamInterface<port_refusal_case>
{
};

TEST_P(PostgreSqlPortRefused, NextSaysWhyKeepsThePageAndTriesNoConnection)
{
    process.converter().pgs_converter_impl::set_connection("127.0.0.1", "nobody", "x", 6000);
    show_at(page_id::pgs_settings);
    control<QLineEdit>(wizard.pgs_settings(), "port_edit")->setText(GetParam().text);
    next();
    EXPECT_EQ(wizard.shell().currentId(), page_id::pgs_settings);
    // Only the refusal: a connection tried on 127.0.0.1 would have added its error box.
    EXPECT_EQ(prompts.lines(),
              std::vector<std::string>{"message Corlamig 1.5  Message|Invalid port number \"" +
                                       std::string(GetParam().text) +
                                       "\" in the field 'Port': enter a whole number from 1 to "
                                       "65535, or leave the field empty for the default port "
                                       "5432."});
    EXPECT_EQ(process.converter().port(), 6000);
    EXPECT_EQ(process.converter().pgs_host(), "127.0.0.1");
}

INSTANTIATE_TEST_SUITE_P(Texts, PostgreSqlPortRefused,
                         testing::Values(port_refusal_case{"Letters", "abc"},
                                         port_refusal_case{"DigitsThenLetters", "55499abc"},
                                         port_refusal_case{"Zero", "0"},
                                         port_refusal_case{"TooLarge", "65536"},
                                         port_refusal_case{"Negative", "-1"}),
                         [](const testing::TestParamInfo<port_refusal_case>& param_info)
                         { return std::string(param_info.param.name); });

TEST_F(WizardPages, PostgreSqlDefaultPortShowsAsAnEmptyField)
{
    process.converter().pgs_converter_impl::set_connection("db.example", "u", "p", 0);
    show_at(page_id::pgs_settings);
    EXPECT_TRUE(control<QRadioButton>(wizard.pgs_settings(), "remote_radio")->isChecked());
    EXPECT_EQ(control<QLineEdit>(wizard.pgs_settings(), "port_edit")->text(), "");
}

TEST_F(WizardPages, PostgreSqlPageOpensLocalWithHostAndPortDisabled)
{
    process.converter().pgs_converter_impl::set_connection("", "postgres", "secret", 0);
    show_at(page_id::pgs_settings);
    QWidget& page = wizard.pgs_settings();
    EXPECT_TRUE(control<QRadioButton>(page, "local_radio")->isChecked());
    EXPECT_FALSE(control<QLineEdit>(page, "host_edit")->isEnabled());
    EXPECT_FALSE(control<QLineEdit>(page, "port_edit")->isEnabled());
    EXPECT_EQ(control<QLineEdit>(page, "user_edit")->text(), "postgres");
    EXPECT_EQ(control<QLineEdit>(page, "password_edit")->text(), "secret");
    EXPECT_EQ(control<QLineEdit>(page, "password_edit")->echoMode(), QLineEdit::Password);
}

TEST_F(WizardPages, PostgreSqlPageOpensRemoteWithFocusOnThePort)
{
    process.converter().pgs_converter_impl::set_connection("db.example", "u", "p", 5433);
    show_at(page_id::pgs_settings);
    ASSERT_TRUE(QTest::qWaitForWindowActive(&wizard.shell()));
    QWidget& page = wizard.pgs_settings();
    EXPECT_TRUE(control<QRadioButton>(page, "remote_radio")->isChecked());
    EXPECT_EQ(control<QLineEdit>(page, "host_edit")->text(), "db.example");
    EXPECT_EQ(control<QLineEdit>(page, "port_edit")->text(), "5433");
    EXPECT_TRUE(control<QLineEdit>(page, "host_edit")->isEnabled());
    EXPECT_EQ(QApplication::focusWidget(), control<QLineEdit>(page, "port_edit"));
}

struct store_case
{
    const char* name;
    bool remote;
    const char* host;
    const char* port;
    std::string stored_host;
    int stored_port;
};

class PostgreSqlStore : public WizardPages, public testing::WithParamInterface<store_case>
{
};

TEST_P(PostgreSqlStore, BackStoresTheFieldsWithoutConnecting)
{
    process.converter().pgs_converter_impl::set_connection("old.example", "u", "p", 1);
    show_at(page_id::welcome);
    next();
    ASSERT_EQ(wizard.shell().currentId(), page_id::pgs_settings);
    QWidget& page = wizard.pgs_settings();
    const store_case& c = GetParam();
    control<QRadioButton>(page, "remote_radio")->click();
    control<QLineEdit>(page, "host_edit")->setText(c.host);
    control<QLineEdit>(page, "port_edit")->setText(c.port);
    control<QLineEdit>(page, "user_edit")->setText("alice");
    control<QLineEdit>(page, "password_edit")->setText("pw");
    if (!c.remote)
    {
        control<QRadioButton>(page, "local_radio")->click();
        EXPECT_FALSE(control<QLineEdit>(page, "host_edit")->isEnabled());
    }
    back();
    EXPECT_EQ(wizard.shell().currentId(), page_id::welcome);
    EXPECT_EQ(process.converter().pgs_host(), c.stored_host);
    EXPECT_EQ(process.converter().port(), c.stored_port);
    EXPECT_EQ(process.converter().pgs_user(), "alice");
    EXPECT_EQ(process.converter().pgs_password(), "pw");
    EXPECT_TRUE(prompts.lines().empty());
}

INSTANTIATE_TEST_SUITE_P(
    Fields, PostgreSqlStore,
    testing::Values(store_case{"LocalForgetsHostAndPort", false, "typed.example", "5433", "", 0},
                    store_case{"RemoteKeepsThem", true, "db.example", "5433", "db.example", 5433},
                    store_case{"PortWithBlanksAround", true, "h", " 5433 ", "h", 5433},
                    store_case{"EmptyPortIsTheDefault", true, "h", "", "h", 0},
                    // A port the field cannot name is not stored: the last one stays.
                    store_case{"PortWithLetters", true, "h", "5433x", "h", 1},
                    store_case{"PortStartingWithALetter", true, "h", "x1", "h", 1}),
    [](const testing::TestParamInfo<store_case>& param_info) { return param_info.param.name; });

TEST_F(WizardPages, PostgreSqlFailedConnectShowsTheReasonAndKeepsThePage)
{
    // Port 1 on the loopback: nothing listens, the connection is refused at once.
    process.converter().pgs_converter_impl::set_connection("127.0.0.1", "nobody", "x", 1);
    show_at(page_id::pgs_settings);
    next();
    EXPECT_EQ(wizard.shell().currentId(), page_id::pgs_settings);
    const std::vector<std::string> errors = prompts.lines_starting("error ");
    ASSERT_EQ(errors.size(), 1U);
    EXPECT_TRUE(errors[0].starts_with("error Corlamig 1.5  Error|")) << errors[0];
    EXPECT_NE(errors[0].find("Connection refused"), std::string::npos) << errors[0];
}

TEST_F(WizardPages, PostgreSqlConnectsToTheTestServer)
{
    const char* host = std::getenv("PGHOST");
    const char* port = std::getenv("PGPORT");
    if (host == nullptr || port == nullptr || std::getenv("PGPASSWORD") == nullptr)
    {
        GTEST_SKIP() << "no PostgreSQL test server (PGHOST, PGPORT, PGPASSWORD unset; "
                        "scripts/test starts one)";
    }
    const char* user = std::getenv("PGUSER");
    process.converter().pgs_converter_impl::set_connection(
        host, user != nullptr ? user : "postgres", std::getenv("PGPASSWORD"), std::atoi(port));
    show_at(page_id::pgs_settings);
    next();
    EXPECT_EQ(wizard.shell().currentId(), page_id::mssql_settings);
    EXPECT_TRUE(prompts.lines().empty());
}

TEST_F(WizardPages, SqlServerWindowsAuthenticationDisablesLoginAndPassword)
{
    process.converter().set_sec_log(false);
    show_at(page_id::mssql_settings);
    QWidget& page = wizard.mssql_settings();
    EXPECT_TRUE(control<QRadioButton>(page, "sql_auth_radio")->isChecked());
    EXPECT_TRUE(control<QLineEdit>(page, "login_edit")->isEnabled());
    control<QRadioButton>(page, "windows_auth_radio")->click();
    EXPECT_FALSE(control<QLineEdit>(page, "login_edit")->isEnabled());
    EXPECT_FALSE(control<QLineEdit>(page, "password_edit")->isEnabled());
    control<QRadioButton>(page, "sql_auth_radio")->click();
    EXPECT_TRUE(control<QLineEdit>(page, "password_edit")->isEnabled());
}

TEST(WizardSqlServerPage, DatabaseOwnerIsOffAtEveryStart)
{
    scripted_prompts prompts;
    const test_support::temp_dir home;
    const test_support::scoped_env config("XDG_CONFIG_HOME", home.path().string());
    {
        wizard_process first(prompts);
        first.converter().mss().set_as_dbo(true);
    }
    wizard_process second(prompts);
    vandrel_wizard wizard(prompts, false);
    wizard.shell().setStartId(page_id::mssql_settings);
    wizard.shell().show();
    ASSERT_TRUE(wait_until([&] { return wizard.shell().currentId() == page_id::mssql_settings; }));
    auto* as_dbo = wizard.mssql_settings().findChild<QCheckBox*>("as_dbo_check_box");
    ASSERT_NE(as_dbo, nullptr);
    EXPECT_FALSE(as_dbo->isChecked());
}

TEST_F(WizardPages, SqlServerBackStoresTheFieldsWithoutConnecting)
{
    connect_recorder& destination = install_destination(connect_recorder::failure::none);
    show_at(page_id::mssql_settings);
    QWidget& page = wizard.mssql_settings();
    control<QLineEdit>(page, "server_edit")->setText("sql.example,1444");
    control<QRadioButton>(page, "sql_auth_radio")->click();
    control<QLineEdit>(page, "login_edit")->setText("migrator");
    control<QLineEdit>(page, "password_edit")->setText("pw");
    control<QCheckBox>(page, "as_dbo_check_box")->click();
    // What Back does on this page (reaching it through Next would need a PostgreSQL server).
    wizard.mssql_settings().cleanupPage();
    EXPECT_FALSE(process.converter().sec_log());
    EXPECT_EQ(process.converter().mss_host(), L"sql.example,1444");
    EXPECT_EQ(process.converter().mss_user(), L"migrator");
    EXPECT_EQ(process.converter().mss_password(), L"pw");
    EXPECT_TRUE(process.converter().mss().as_dbo());
    EXPECT_TRUE(destination.calls.empty());
}

TEST_F(WizardPages, SqlServerConnectsOffTheGuiThreadAndMovesOn)
{
    connect_recorder& destination = install_destination(connect_recorder::failure::none);
    process.converter().set_sec_log(true);
    process.converter().mssql_converter_impl::set_connection(L"sql.example", L"", L"");
    bool waited = false;
    wizard.mssql_settings().set_wait_observer([&](dlg_animation&) { waited = true; });
    show_at(page_id::mssql_settings);
    next();
    EXPECT_EQ(wizard.shell().currentId(), page_id::databases);
    EXPECT_EQ(destination.calls, std::vector<std::string>{"sql.example||windows"});
    EXPECT_NE(destination.connect_thread, std::this_thread::get_id());
    EXPECT_EQ(QApplication::activeModalWidget(), nullptr);
    EXPECT_TRUE(prompts.lines().empty());
    (void)waited;
}

struct mssql_failure_case
{
    const char* name;
    connect_recorder::failure fail;
    std::vector<std::string> shown;
};

class SqlServerFailure : public WizardPages, public testing::WithParamInterface<mssql_failure_case>
{
};

/// True while a wait dialog is on show.
bool wait_dialog_shown()
{
    for (QWidget* window : QApplication::topLevelWidgets())
    {
        if (qobject_cast<dlg_animation*>(window) != nullptr && window->isVisible())
        {
            return true;
        }
    }
    return false;
}

TEST_P(SqlServerFailure, IsShownOnTheGuiThreadAfterTheWaitAndThePageStays)
{
    install_destination(GetParam().fail);
    show_at(page_id::mssql_settings);
    std::vector<bool> wait_shown_at_box;
    prompts.on_error = [&] { wait_shown_at_box.push_back(wait_dialog_shown()); };
    next();
    EXPECT_EQ(wait_shown_at_box, std::vector<bool>(prompts.lines_starting("error ").size(), false));
    EXPECT_EQ(wizard.shell().currentId(), page_id::mssql_settings);
    EXPECT_EQ(QApplication::activeModalWidget(), nullptr);
    EXPECT_EQ(prompts.lines(), GetParam().shown);
    if (!prompts.lines_starting("error ").empty())
    {
        EXPECT_EQ(prompts.error_thread, std::this_thread::get_id());
    }
}

INSTANTIATE_TEST_SUITE_P(
    Kinds, SqlServerFailure,
    testing::Values(
        mssql_failure_case{"HostNotFound",
                           connect_recorder::failure::host_not_found,
                           {"error Corlamig 1.5  Error|MS SQL Server does not exist or access "
                            "denied.\nCheck to verify the correct host was given."}},
        mssql_failure_case{"LoginRefusedUsesTheMap",
                           connect_recorder::failure::login_refused,
                           {"error Corlamig 1.5  Error|Invalid user name or password."}},
        mssql_failure_case{"SeverityOneStays",
                           connect_recorder::failure::severity_one,
                           {"error Corlamig 1.5  Error|This build of the program cannot reach MS "
                            "SQL Server."}},
        mssql_failure_case{"LibraryExceptionStays",
                           connect_recorder::failure::library,
                           {"error Corlamig 1.5  Error|driver library went away"}},
        mssql_failure_case{"InternalErrorEndsTheProgram",
                           connect_recorder::failure::internal,
                           {"internal Corlamig 1.5  Error|Corlamig 1.5 |Internal error: "
                            "\ncode=6d73735f656e67695c313733",
                            "end 255"}}),
    [](const testing::TestParamInfo<mssql_failure_case>& param_info)
    { return param_info.param.name; });

TEST_F(WizardPages, SqlServerClosedPortShowsTheDriversTextUnderTheWizards)
{
    // The real driver; nothing listens on port 1 of the loopback.
    process.converter().set_sec_log(false);
    process.converter().mssql_converter_impl::set_connection(L"127.0.0.1,1", L"sa", L"x");
    QString wait_text;
    wizard.mssql_settings().set_wait_observer([&](dlg_animation& dialog)
                                              { wait_text = dialog.text(); });
    bool wait_shown_at_box = true;
    prompts.on_error = [&] { wait_shown_at_box = wait_dialog_shown(); };
    show_at(page_id::mssql_settings);
    next();
    EXPECT_EQ(wizard.shell().currentId(), page_id::mssql_settings);
    EXPECT_EQ(wait_text, "Connecting to MS SQL server. Please wait...");
    EXPECT_FALSE(wait_shown_at_box);
    const std::vector<std::string> errors = prompts.lines_starting("error ");
    ASSERT_EQ(errors.size(), 1U);
    const std::string head = "error Corlamig 1.5  Error|MS SQL Server does not exist or access "
                             "denied.\nCheck to verify the correct host was given.\n\n";
    ASSERT_TRUE(errors[0].starts_with(head)) << errors[0];
    // FreeTDS's own words, every record's, the one that says why first.
    EXPECT_EQ(errors[0].substr(head.size()),
              "Unable to connect: Adaptive Server is unavailable or does not exist\nUnable to "
              "connect to data source");
}

struct login_refusal_case
{
    const char* name;
    std::vector<plat::oledb::diag_record> records;
};

/// Shows a case by its name in failure messages.
void PrintTo(const login_refusal_case& test, std::ostream* out)
{
    *out << test.name;
}

class SqlServerLoginRefusal : public WizardPages,
                              public testing::WithParamInterface<login_refusal_case>
{
};

TEST_P(SqlServerLoginRefusal, NamesTheRefusedLoginWithTheServersTextUnderIt)
{
    // The real SQL Server side over the scripted driver link.
    auto script = std::make_shared<oledb_test::fake_script>();
    script->connect_status = plat::oledb::failure_from_diagnostics(
        GetParam().records, plat::oledb::odbc_call::connect, L"FreeTDS");
    oledb_test::register_scripted_providers(*plat::oledb::class_table::current(), script, true);
    process.converter().set_sec_log(false);
    process.converter().mssql_converter_impl::set_connection(L"sql.example", L"sa", L"wrong");
    show_at(page_id::mssql_settings);
    next();
    EXPECT_EQ(wizard.shell().currentId(), page_id::mssql_settings);
    EXPECT_EQ(
        prompts.lines(),
        std::vector<std::string>{"error Corlamig 1.5  Error|Invalid user name or password.\n\n"
                                 "Login failed for user 'sa'.\nUnable to connect to data source"});
}

INSTANTIATE_TEST_SUITE_P(
    Drivers, SqlServerLoginRefusal,
    testing::Values(
        login_refusal_case{
            "FreeTds",
            {{L"42000", 18456, L"[FreeTDS][SQL Server]Login failed for user 'sa'."},
             {L"08001", 0, L"[FreeTDS][SQL Server]Unable to connect to data source"}}},
        login_refusal_case{
            "Microsoft",
            {{L"08001", 0,
              L"[Microsoft][ODBC Driver 18 for SQL Server]Unable to connect to data "
              L"source"},
             {L"28000", 18456,
              L"[Microsoft][ODBC Driver 18 for SQL Server][SQL Server]Login failed for user "
              L"'sa'."}}}),
    [](const testing::TestParamInfo<login_refusal_case>& param_info)
    { return param_info.param.name; });

TEST_F(WizardPages, SqlServerConnectsToTheRealServer)
{
    const std::optional<test_support::mssql_login> login = test_support::mssql_login_from_env();
    if (!login)
    {
        GTEST_SKIP() << "ZOV_TEST_MSSQL is not set (server;user;password)";
    }
    show_at(page_id::mssql_settings);
    QWidget& page = wizard.mssql_settings();
    control<QLineEdit>(page, "server_edit")->setText(QString::fromStdWString(login->server));
    control<QRadioButton>(page, "sql_auth_radio")->click();
    control<QLineEdit>(page, "login_edit")->setText(QString::fromStdWString(login->user));
    control<QLineEdit>(page, "password_edit")->setText(QString::fromStdWString(login->password));
    next();
    EXPECT_EQ(prompts.lines(), std::vector<std::string>{});
    EXPECT_EQ(wizard.shell().currentId(), page_id::databases);
    EXPECT_TRUE(process.converter().mss().connected());
}

TEST_F(WizardPages, SqlServerRealServerRefusesAWrongPassword)
{
    const std::optional<test_support::mssql_login> login = test_support::mssql_login_from_env();
    if (!login)
    {
        GTEST_SKIP() << "ZOV_TEST_MSSQL is not set (server;user;password)";
    }
    process.converter().set_sec_log(false);
    process.converter().mssql_converter_impl::set_connection(login->server, login->user,
                                                             login->password + L"-wrong");
    show_at(page_id::mssql_settings);
    next();
    EXPECT_EQ(wizard.shell().currentId(), page_id::mssql_settings);
    // A refused login is named as such, not blamed on the host; the server's own words follow
    // and name the login it refused.
    const std::vector<std::string> errors = prompts.lines_starting("error ");
    ASSERT_EQ(errors.size(), 1U);
    const std::string head = "error Corlamig 1.5  Error|Invalid user name or password.\n\n";
    EXPECT_TRUE(errors[0].starts_with(head)) << errors[0];
    EXPECT_NE(errors[0].find(plat::wide_to_utf8(login->user), head.size()), std::string::npos)
        << errors[0];
}

} // namespace

namespace
{

TEST(WizardWelcomePage, AnExtensionOtherThanThreeOrFourCharactersIsAnInternalError)
{
    scripted_prompts prompts;
    wizard_process process(prompts);
    wizard_shell shell(wizard_title(), prompts);
    auto* page = new welcome_page("zo");
    shell.add_page(page_id::welcome, page);
    shell.show();
    ASSERT_TRUE(wait_until([&] { return shell.is_initialized(); }));
    page->findChild<QPushButton*>("load_settings_button")->click();
    EXPECT_EQ(prompts.lines(), (std::vector<std::string>{"internal Corlamig 1.5  Error|Corlamig "
                                                         "1.5 |Internal error: \ncode=675f66696e"
                                                         "6973685c323636",
                                                         "end 255"}));
}

TEST(WizardQuickLaunchProfile, AFileThatIsNotAProfileEndsWithFailure)
{
    scripted_prompts prompts;
    const test_support::temp_dir home;
    const test_support::scoped_env config("XDG_CONFIG_HOME", home.path().string());
    const std::string bogus = home.file("notes.zov");
    test_support::write_file(bogus, "no sections here\r\n");
    EXPECT_EQ(vandrel_run(QString::fromStdString(bogus), prompts), -1);
    EXPECT_EQ(prompts.lines(),
              std::vector<std::string>{"error Error|The file is not a profile of this program: " +
                                       bogus});
}

} // namespace
