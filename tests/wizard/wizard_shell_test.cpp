// wizard_shell_test.cpp: page order and headers, captions, help, the log box, the timer, the
// bridge, Cancel and the quick launch's failures.
#include "plat/plat_text.h"
#include "tk/tk_exception.h"
#include "wizard/help_topics.h"
#include "wizard/wizard_page.h"
#include "wizard/wizard_shell.h"
#include "wizard_test_support.h"

#include <QAbstractButton>
#include <QApplication>
#include <QDir>
#include <QFileInfo>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTest>
#include <QThread>
#include <filesystem>
#include <gtest/gtest.h>
#include <stdexcept>
#include <thread>

using namespace wizard_test;

namespace
{

const QString title = "Corlamig 1.5 ";

/// A page with a log box and a tick counter.
class log_page : public wizard_page
{
public:
    log_page()
        : wizard_page("Log", "A page with a log", help_topic::none)
        , m_box(new QPlainTextEdit(this))
    {
    }
    QPlainTextEdit* log_box() override { return m_box; }
    void tick() override { ++ticks; }

    std::atomic<int> ticks{0};

private:
    QPlainTextEdit* m_box;
};

/// A page that counts its activations, Nexts and Backs, and refuses Next when told to.
class counting_page : public wizard_page
{
public:
    explicit counting_page(const QString& title)
        : wizard_page(title, "Counts", help_topic::none)
    {
    }
    bool page_init() override
    {
        ++inits;
        return true;
    }
    int on_next() override
    {
        ++nexts;
        if (throw_next)
        {
            throw std::runtime_error("disk gone");
        }
        return refuse_next ? -1 : 0;
    }
    int on_back() override
    {
        ++backs;
        return 0;
    }

    int inits = 0;
    int nexts = 0;
    int backs = 0;
    bool refuse_next = false;
    bool throw_next = false;
};

class WizardShell : public testing::Test
{
protected:
    scripted_prompts prompts;
    wizard_process process{prompts};
};

/// Shows the wizard at page `id` and waits until that page has been activated.
void show_at(wizard_shell& shell, int id)
{
    shell.setStartId(id);
    shell.show();
    ASSERT_TRUE(wait_until([&] { return shell.currentId() == id && shell.is_initialized(); }));
    ASSERT_TRUE(QTest::qWaitForWindowActive(&shell));
}

} // namespace

TEST_F(WizardShell, PagesFollowEachOtherWithTheirHeaders)
{
    vandrel_wizard wizard(prompts, false);
    struct expected_page
    {
        int id;
        const char* title;
        const char* subtitle;
    };
    const expected_page pages[] = {
        {page_id::welcome, "", ""},
        {page_id::pgs_settings, "Step 1 of 6", "Connect to PostgreSQL server"},
        {page_id::mssql_settings, "Step 2 of 6", "Connect to MS SQL server"},
        {page_id::databases, "Step 3 of 6", "Select databases"},
        {page_id::options, "Step 4 of 6", "Customize conversion settings"},
        {page_id::tables, "Step 5 of 6", "Select tables to convert"},
        {page_id::progress, "Step 6 of 6", "Database conversion is in progress"},
        {page_id::finish, "", ""},
    };
    QList<int> expected_ids;
    for (const expected_page& page : pages)
    {
        expected_ids << page.id;
        SCOPED_TRACE(page.id);
        ASSERT_NE(wizard.shell().page(page.id), nullptr);
        EXPECT_EQ(wizard.shell().page(page.id)->title().toStdString(), page.title);
        EXPECT_EQ(wizard.shell().page(page.id)->subTitle().toStdString(), page.subtitle);
    }
    EXPECT_EQ(wizard.shell().pageIds(), expected_ids);
    EXPECT_EQ(wizard_title(), title);
    show_at(wizard.shell(), page_id::welcome);
    EXPECT_EQ(wizard.shell().windowTitle(), title);
    EXPECT_EQ(wizard.shell().wizardStyle(), QWizard::ModernStyle);
    EXPECT_TRUE(wizard.shell().button(QWizard::HelpButton)->isVisible());
}

TEST_F(WizardShell, TheWatermarkFillsItsColumnWhateverTheWindowsHeight)
{
    vandrel_wizard wizard(prompts, false);
    wizard_shell& shell = wizard.shell();
    show_at(shell, page_id::welcome);
    QWizardPage& page = *shell.page(page_id::welcome);
    // The colour of the column just above the page's lower edge, beside the page.
    const auto column_bottom = [&]
    {
        const QPoint corner = page.mapTo(&shell, QPoint(0, page.height() - 4));
        return shell.grab().toImage().pixelColor(corner.x() / 2, corner.y());
    };
    const auto is_sky = [](const QColor& colour)
    { return colour.blue() > 120 && colour.red() < 120; };
    for (const QSize& size : {QSize(1100, 900), QSize(620, 460), QSize(900, 760)})
    {
        SCOPED_TRACE(testing::Message() << size.width() << "x" << size.height());
        shell.resize(size);
        ASSERT_TRUE(wait_until([&] { return shell.size() == size; }));
        QTest::qWait(50);
        EXPECT_TRUE(wait_until([&] { return is_sky(column_bottom()); }))
            << column_bottom().name().toStdString();
    }
    // The finish page shows it too, at the window's height.
    shell.setStartId(page_id::finish);
    shell.restart();
    ASSERT_TRUE(wait_until([&] { return shell.currentId() == page_id::finish; }));
    QWizardPage& finish = *shell.page(page_id::finish);
    const QPoint corner = finish.mapTo(&shell, QPoint(0, finish.height() - 4));
    EXPECT_TRUE(wait_until(
        [&] { return is_sky(shell.grab().toImage().pixelColor(corner.x() / 2, corner.y())); }));
}

TEST_F(WizardShell, EveryVisitActivatesThePageBackIncluded)
{
    wizard_shell shell(title, prompts);
    auto* first = new counting_page("First");
    auto* second = new counting_page("Second");
    shell.add_page(0, first);
    shell.add_page(1, second);
    show_at(shell, 0);
    shell.button(QWizard::NextButton)->click();
    ASSERT_EQ(shell.currentId(), 1);
    shell.button(QWizard::BackButton)->click();
    ASSERT_EQ(shell.currentId(), 0);
    shell.button(QWizard::NextButton)->click();
    EXPECT_EQ(first->inits, 2);
    EXPECT_EQ(first->nexts, 2);
    EXPECT_EQ(second->inits, 2);
    EXPECT_EQ(second->backs, 1);
    EXPECT_EQ(shell.current_wizard_page(), second);
}

TEST_F(WizardShell, NextRefusedOrThrowingKeepsThePage)
{
    wizard_shell shell(title, prompts);
    auto* first = new counting_page("First");
    shell.add_page(0, first);
    shell.add_page(1, new counting_page("Second"));
    show_at(shell, 0);
    first->refuse_next = true;
    shell.button(QWizard::NextButton)->click();
    EXPECT_EQ(shell.currentId(), 0);
    EXPECT_EQ(first->nexts, 1);
    EXPECT_TRUE(prompts.lines().empty());
    first->refuse_next = false;
    first->throw_next = true;
    shell.button(QWizard::NextButton)->click();
    EXPECT_EQ(shell.currentId(), 0);
    EXPECT_EQ(prompts.lines(), std::vector<std::string>{"error Corlamig 1.5  Error|disk gone"});
}

TEST_F(WizardShell, QuickLaunchShowsOnlyProgressAndFinish)
{
    vandrel_wizard wizard(prompts, true);
    EXPECT_EQ(wizard.shell().pageIds(), (QList<int>{page_id::progress, page_id::finish}));
}

TEST_F(WizardShell, CaptionsAreBareUntilTheFirstPageShows)
{
    vandrel_wizard wizard(prompts, false);
    wizard_shell& shell = wizard.shell();
    EXPECT_FALSE(shell.is_initialized());
    shell.error(L"before");
    shell.message(L"note");
    shell.question(L"sure?");
    show_at(shell, page_id::welcome);
    shell.error(L"after");
    shell.message(L"note");
    shell.question(L"sure?");
    EXPECT_EQ(prompts.lines(), (std::vector<std::string>{
                                   "error Error|before",
                                   "message Message|note",
                                   "question Question|sure?",
                                   "error Corlamig 1.5  Error|after",
                                   "message Corlamig 1.5  Message|note",
                                   "question Corlamig 1.5  Question|sure?",
                               }));
}

TEST_F(WizardShell, RealErrorBoxCarriesTheCaption)
{
    wizard_prompts real;
    wizard_shell shell(title, real);
    auto* page = new log_page;
    shell.add_page(0, page);
    show_at(shell, 0);
    QString caption;
    bool critical = false;
    when_idle(
        [&]
        {
            auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
            ASSERT_NE(box, nullptr);
            caption = box->windowTitle();
            critical = box->icon() == QMessageBox::Critical;
            box->accept();
        });
    shell.error(L"disk full");
    EXPECT_EQ(caption, "Corlamig 1.5  Error");
    EXPECT_TRUE(critical);
}

struct help_case
{
    int page;
    std::vector<std::string> expected; ///< after F1, then after the Help button
};

class WizardHelp : public WizardShell, public testing::WithParamInterface<help_case>
{
};

TEST_P(WizardHelp, F1AndHelpButtonOpenThePagesTopic)
{
    vandrel_wizard wizard(prompts, false);
    wizard_shell& shell = wizard.shell();
    show_at(shell, GetParam().page);
    QTest::keyClick(&shell, Qt::Key_F1);
    QAbstractButton* help = shell.button(QWizard::HelpButton);
    if (help->isEnabled())
    {
        help->click();
    }
    EXPECT_EQ(prompts.lines_starting("help "), GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(
    EveryPage, WizardHelp,
    testing::Values(help_case{page_id::welcome, {"help 1013.html", "help 1013.html"}},
                    help_case{page_id::pgs_settings, {"help 1010.html", "help 1010.html"}},
                    help_case{page_id::mssql_settings, {"help 1017.html", "help 1017.html"}},
                    help_case{page_id::databases, {"help 1016.html", "help 1016.html"}},
                    help_case{page_id::options, {"help 1011.html", "help 1011.html"}},
                    help_case{page_id::tables, {"help 1015.html", "help 1015.html"}},
                    help_case{page_id::progress, {"help index.html", "help index.html"}},
                    help_case{page_id::finish, {}}));

TEST_F(WizardShell, EveryHelpTopicHasItsFile)
{
    const QString folder = default_help_folder();
    for (const int topic : {help_topic::none, help_topic::welcome, help_topic::pgs_settings,
                            help_topic::mssql_settings, help_topic::databases, help_topic::options,
                            help_topic::tables, help_topic::overwrite})
    {
        EXPECT_TRUE(QFileInfo::exists(help_file(folder, topic)))
            << help_file(folder, topic).toStdString();
    }
}

TEST_F(WizardShell, MissingHelpFolderIsReported)
{
    vandrel_wizard wizard(prompts, false);
    wizard.shell().set_help_folder(QString::fromStdString(process.home().file("no-such-help")));
    show_at(wizard.shell(), page_id::pgs_settings);
    QTest::keyClick(&wizard.shell(), Qt::Key_F1);
    EXPECT_EQ(prompts.lines(),
              (std::vector<std::string>{
                  "error Corlamig 1.5  Error|Help file does not exist. Reinstall the program."}));
}

TEST_F(WizardShell, HelpThatCannotBeOpenedSaysWhereTheTopicIs)
{
    vandrel_wizard wizard(prompts, false);
    prompts.help_opens = false;
    show_at(wizard.shell(), page_id::pgs_settings);
    QTest::keyClick(&wizard.shell(), Qt::Key_F1);
    const QString file = QDir::toNativeSeparators(help_file(default_help_folder(), 1010));
    EXPECT_EQ(prompts.lines(),
              (std::vector<std::string>{"help 1010.html",
                                        "error Corlamig 1.5  Error|The help topic could not be "
                                        "opened: no program to show it was found. Open this "
                                        "file in a web browser:\n" +
                                            file.toStdString()}));
}

TEST_F(WizardShell, WriteLogAppendsVerbatimInOrderFromAnyThread)
{
    wizard_shell shell(title, prompts);
    auto* page = new log_page;
    shell.add_page(0, page);
    shell.write_log(L"lost: no page yet\n");
    show_at(shell, 0);
    shell.write_log(L"a");
    shell.write_log(L"b\n");
    std::thread worker(
        [&shell]
        {
            for (int line_idx = 0; line_idx < 50; ++line_idx)
            {
                shell.write_log(std::to_wstring(line_idx) + L",");
            }
        });
    worker.join();
    QString expected = "ab\n";
    for (int line_idx = 0; line_idx < 50; ++line_idx)
    {
        expected += QString::number(line_idx) + ",";
    }
    EXPECT_TRUE(wait_until([&] { return page->log_box()->toPlainText() == expected; }))
        << page->log_box()->toPlainText().toStdString();
}

TEST_F(WizardShell, TimerStartsFromAWorkerTicksTheCurrentPageAndRefusesASecondStart)
{
    wizard_shell shell(title, prompts);
    auto* page = new log_page;
    shell.add_page(0, page);
    show_at(shell, 0);
    wizard_worker worker;
    worker.start([&shell] { shell.start_timer(wizard_shell::timer_period); });
    worker.join();
    EXPECT_FALSE(worker.failure());
    EXPECT_TRUE(shell.timer_running());
    EXPECT_THROW(shell.start_timer(wizard_shell::timer_period), tk_mail_assertion);
    EXPECT_TRUE(wait_until([&] { return page->ticks >= 2; }));
    shell.stop_timer();
    EXPECT_FALSE(shell.timer_running());
}

TEST_F(WizardShell, BridgeRunsWorkOnTheGuiThreadAndCarriesItsFailureBack)
{
    gui_bridge bridge;
    const std::thread::id gui_thread = std::this_thread::get_id();
    std::thread::id ran_on;
    bool rethrown = false;
    wizard_worker worker;
    worker.start(
        [&]
        {
            bridge.call([&] { ran_on = std::this_thread::get_id(); });
            try
            {
                bridge.call([] { throw tk_exception("refused", 1); });
            }
            catch (const tk_exception& error)
            {
                rethrown = error.message() == "refused";
            }
        });
    worker.join();
    EXPECT_EQ(ran_on, gui_thread);
    EXPECT_TRUE(rethrown);
    // On the GUI thread the call is direct (a blocking queued call would dead-lock).
    bridge.call([&] { ran_on = std::this_thread::get_id(); });
    EXPECT_EQ(ran_on, gui_thread);
}

struct cancel_case
{
    bool answer;
    bool visible_after;
};

class WizardCancel : public WizardShell, public testing::WithParamInterface<cancel_case>
{
};

TEST_P(WizardCancel, CancelAsksAndOnlyYesCloses)
{
    vandrel_wizard wizard(prompts, false);
    show_at(wizard.shell(), page_id::pgs_settings);
    prompts.question_answers = {GetParam().answer};
    QTest::keyClick(&wizard.shell(), Qt::Key_Escape);
    EXPECT_EQ(prompts.lines(),
              (std::vector<std::string>{
                  "question Corlamig 1.5  Question|Are you sure you want to exit the wizard?"}));
    EXPECT_EQ(wizard.shell().isVisible(), GetParam().visible_after);
    if (!GetParam().visible_after)
    {
        EXPECT_EQ(wizard.shell().result(), QDialog::Rejected);
    }
}

INSTANTIATE_TEST_SUITE_P(YesAndNo, WizardCancel,
                         testing::Values(cancel_case{false, true}, cancel_case{true, false}));

TEST_F(WizardShell, TheCloseBoxAsksToo)
{
    vandrel_wizard wizard(prompts, false);
    show_at(wizard.shell(), page_id::mssql_settings);
    prompts.question_answers = {false, true};
    wizard.shell().close();
    EXPECT_TRUE(wizard.shell().isVisible());
    wizard.shell().close();
    EXPECT_FALSE(wizard.shell().isVisible());
    EXPECT_EQ(prompts.lines_starting("question ").size(), 2U);
}

TEST_F(WizardShell, RealCancelQuestionHasNoAsDefault)
{
    wizard_prompts real;
    wizard_shell shell(title, real);
    shell.add_page(0, new log_page);
    show_at(shell, 0);
    bool no_is_default = false;
    when_idle(
        [&]
        {
            auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
            ASSERT_NE(box, nullptr);
            no_is_default =
                static_cast<QAbstractButton*>(box->defaultButton()) == box->button(QMessageBox::No);
            QTest::keyClick(box, Qt::Key_Return);
        });
    shell.button(QWizard::CancelButton)->click();
    EXPECT_TRUE(no_is_default);
    EXPECT_TRUE(shell.isVisible());
}

TEST(WizardQuickLaunch, MissingProfileEndsWithFailureBeforeAnyWindow)
{
    scripted_prompts prompts;
    const test_support::temp_dir home;
    const test_support::scoped_env config("XDG_CONFIG_HOME", home.path().string());
    const QString missing = QString::fromStdString(home.file("no such profile.zov"));
    EXPECT_EQ(vandrel_run(missing, prompts), -1);
    EXPECT_EQ(prompts.lines(),
              (std::vector<std::string>{"error Error|Profile does not exist. Please verify the "
                                        "correct path/name was given."}));
}

TEST(WizardQuickLaunch, AProfilePortThatNamesNoPortIsRefusedNamingTheKey)
{
    scripted_prompts prompts;
    const test_support::temp_dir home;
    const test_support::scoped_env config("XDG_CONFIG_HOME", home.path().string());
    const std::string profile = home.file("bad port.zov");
    test_support::write_file(profile, "[Generic settings]\r\nsrc=a\r\ndest=b\r\n[pgs "
                                      "settings]\r\nhost=127.0.0.1\r\nport=55499abc\r\n");
    EXPECT_EQ(vandrel_run(QString::fromStdString(profile), prompts), -1);
    EXPECT_EQ(prompts.lines(),
              (std::vector<std::string>{"error Error|Invalid port number \"55499abc\" in the key "
                                        "\"port\" of [pgs settings]: a whole number from 1 to "
                                        "65535 is expected."}));
}

TEST(WizardQuickLaunch, AProfileModeThatCannotBeReadIsRefusedAndNothingRuns)
{
    for (const std::string value : {"02", "10", "7", "x"})
    {
        SCOPED_TRACE(value);
        scripted_prompts prompts;
        const test_support::temp_dir home;
        const test_support::scoped_env config("XDG_CONFIG_HOME", home.path().string());
        const std::string profile = home.file("bad mode.zov");
        const std::string log = home.file("quick.log");
        test_support::write_file(profile, "[Generic settings]\r\nsrc=a\r\ndest=b\r\nlogfile=" +
                                              log + "\r\nmode=" + value + "\r\n");
        EXPECT_EQ(vandrel_run(QString::fromStdString(profile), prompts), -1);
        EXPECT_EQ(prompts.lines(),
                  (std::vector<std::string>{"error Error|Invalid conversion mode in profile " +
                                            profile + ": '" + value + "'"}));
        EXPECT_FALSE(std::filesystem::exists(log));
    }
}

TEST(WizardQuickLaunch, FailedPostgreSqlConnectionEndsWithFailure)
{
    scripted_prompts prompts;
    const test_support::temp_dir home;
    const test_support::scoped_env config("XDG_CONFIG_HOME", home.path().string());
    const std::string profile = home.file("closed port.zov");
    {
        wizard_process process(prompts);
        // Port 1: nothing listens there, so the connection is refused at once.
        process.converter().pgs_converter_impl::set_connection("127.0.0.1", "nobody", "x", 1);
        process.converter().set_src(L"src");
        process.converter().set_dest(L"dest");
        process.converter().tables() = {L"public.t"};
        ASSERT_TRUE(process.converter().save_profile_file(plat::utf8_to_wide_lossy(profile)));
    }
    bool window_shown = false;
    vandrel_hooks hooks;
    hooks.run = [&](vandrel_wizard&)
    {
        window_shown = true;
        return 1;
    };
    EXPECT_EQ(vandrel_run(QString::fromStdString(profile), prompts, hooks), -1);
    EXPECT_FALSE(window_shown);
    const std::vector<std::string> shown = prompts.lines();
    ASSERT_EQ(shown.size(), 1U);
    // A severity-0 failure during start-up still offers Continue/Abort; it cannot go on anyway.
    EXPECT_TRUE(shown[0].starts_with("continue Error|")) << shown[0];
}
