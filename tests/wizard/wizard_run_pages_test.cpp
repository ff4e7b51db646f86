// wizard_run_pages_test.cpp: the progress page running the conversion over fake sides, its bar,
// the move to the finish page, the finish page's texts, buttons and profile save, and Cancel
// during a run (also part of the ThreadSanitizer build).
#include "convertor_fakes.h"
#include "wizard/gui_finish_page.h"
#include "wizard/progress_page.h"
#include "wizard/wizard_shell.h"
#include "wizard/zov_sel_tables_page.h"
#include "wizard_test_support.h"

#include <QAbstractButton>
#include <QApplication>
#include <QLabel>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QTest>
#include <QTimer>
#include <chrono>
#include <climits>
#include <condition_variable>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <gtest/gtest.h>
#include <mutex>
#include <sstream>

using namespace wizard_test;

namespace
{

struct percent_case
{
    int tables_total;
    int tables_done;
    std::int64_t records_total;
    std::int64_t records_done;
    int percent;
};

class ProgressPercent : public testing::TestWithParam<percent_case>
{
};

TEST_P(ProgressPercent, TablesThenRowsInWholePerCentNeverOverAHundred)
{
    const percent_case& c = GetParam();
    EXPECT_EQ(progress_percent(c.tables_total, c.tables_done, c.records_total, c.records_done),
              c.percent);
}

INSTANTIATE_TEST_SUITE_P(
    Counters, ProgressPercent,
    testing::Values(
        percent_case{4, 1, 200, 50, 31}, // 25 + 6: each share truncated
        percent_case{0, 0, 200, 50, 0}, percent_case{0, 3, 0, 0, 0}, percent_case{3, 2, 0, 0, 66},
        percent_case{3, 2, 3, 2, 88}, percent_case{1, 0, 3, 3, 100}, percent_case{2, 5, 0, 0, 100},
        percent_case{2, 1, 10, 40, 100}, percent_case{2, -1, 10, -5, 0},
        percent_case{INT_MAX, INT_MAX, INT_MAX, INT_MAX, 100},
        // Half of 100 million rows of the first of two tables: no product wrapped at 32 bits.
        percent_case{2, 0, 100000000, 50000000, 25},
        // A table of more rows than 32 bits count, three quarters through.
        percent_case{1, 0, 8000000000, 6000000000, 75}));

const char* const success_text = "Wizard has migrated your PostgreSQL database to\nMicrosoft SQL "
                                 "server successfully.\n\nClick 'Finish' to exit the wizard.";
const char* const error_text =
    "There were some errors while converting the database.\nClick 'Finish' to exit the wizard.";
const char* const ended_early_text =
    "The conversion ended before every table was converted. The errors are listed below.";

class RunPages : public testing::Test
{
protected:
    void SetUp() override
    {
        process.converter().set_src(L"sales");
        process.converter().set_dest(L"target");
        destination.exists = false;
    }

    /// Installs the fake sides and starts the wizard at the table page with every table moved
    /// to Selected, then presses Next there: the run starts.
    void run_from_tables_page()
    {
        process.converter().set_source(std::make_unique<conv_test::fake_source>(source, events));
        process.converter().set_destination(
            std::make_unique<conv_test::fake_destination>(destination, events));
        wizard.shell().setStartId(page_id::tables);
        wizard.shell().show();
        ASSERT_TRUE(wait_until([&] { return wizard.shell().currentId() == page_id::tables; }));
        ASSERT_TRUE(QTest::qWaitForWindowActive(&wizard.shell()));
        wizard.tables().findChild<QPushButton*>("add_all_button")->click();
        wizard.shell().button(QWizard::NextButton)->click();
        ASSERT_EQ(wizard.shell().currentId(), page_id::progress);
    }

    /// Starts a run that stays inside the first index it creates, as in a statement the server
    /// does not end, until release_index().
    void run_held_in_an_index()
    {
        destination.on_index = [this](const std::wstring&)
        {
            std::unique_lock lock(m_hold_mutex);
            m_held = true;
            m_hold_changed.notify_all();
            m_hold_changed.wait(lock, [this] { return m_released; });
        };
        source.tables = {{L"public.a", 10}};
        source.tables[0].text_key = true;
        run_from_tables_page();
        ASSERT_TRUE(wait_until(
            [this]
            {
                const std::lock_guard lock(m_hold_mutex);
                return m_held;
            },
            20000));
    }

    void release_index()
    {
        const std::lock_guard lock(m_hold_mutex);
        m_released = true;
        m_hold_changed.notify_all();
    }

    // A test that failed while the run was held must still let it end.
    void TearDown() override { release_index(); }

    void wait_for_finish_page()
    {
        ASSERT_TRUE(
            wait_until([&] { return wizard.shell().currentId() == page_id::finish; }, 20000));
    }

    QString finish_text() { return control<QLabel>(wizard.finish(), "finish_text")->text(); }
    QPlainTextEdit& error_box() { return *control<QPlainTextEdit>(wizard.finish(), "error_box"); }
    QString log_text()
    {
        return control<QPlainTextEdit>(wizard.progress(), "log_box")->toPlainText();
    }

    /// True when the button is there for the user to press.
    bool usable(QWizard::WizardButton which)
    {
        QAbstractButton* button = wizard.shell().button(which);
        return button->isVisible() && button->isEnabled();
    }

    // Before the wizard: the held run uses them until the wizard has waited for it.
    std::mutex m_hold_mutex;
    std::condition_variable m_hold_changed;
    bool m_held = false;
    bool m_released = false;
    scripted_prompts prompts;
    wizard_process process{prompts};
    conv_test::source_setup source;
    conv_test::destination_setup destination;
    conv_test::event_log events;
    vandrel_wizard wizard{prompts, false};
};

TEST_F(RunPages, ARunWithAnErrorLogsItsLinesAndListsTheErrorOnTheFinishPage)
{
    source.tables = {{L"public.a", 2}, {L"public.b", 3}};
    destination.faults.integrity_rows = {2};
    destination.faults.failing_tables = {L"[dbo].[b]"};
    prompts.continue_result = 2;
    run_from_tables_page();
    EXPECT_FALSE(usable(QWizard::BackButton));
    wait_for_finish_page();
    const std::string integrity =
        "public.b, record #2: The specified record violates the integrity constraints. See "
        "'Troubleshooting' article of the product documentation for solution.";
    EXPECT_EQ(prompts.lines(),
              std::vector<std::string>{"continue Corlamig 1.5  Error|" + integrity});
    EXPECT_EQ(log_text(), "Converting database sales (2 tables)\n"
                          "Creating schema if necessary: 'dbo'\n"
                          "Converting table public.a (2 records)\n"
                          "Creating schema if necessary: 'dbo'\n"
                          "Converting table public.b (3 records)\n");
    EXPECT_EQ(finish_text(), error_text);
    EXPECT_TRUE(error_box().isVisible());
    EXPECT_TRUE(error_box().isReadOnly());
    EXPECT_EQ(error_box().toPlainText().toStdString(), integrity + "\n\n");
    EXPECT_FALSE(usable(QWizard::BackButton));
    EXPECT_FALSE(usable(QWizard::CancelButton));
    EXPECT_FALSE(usable(QWizard::HelpButton));
    EXPECT_TRUE(usable(QWizard::FinishButton));
    EXPECT_TRUE(wait_until(
        [&]
        { return QApplication::focusWidget() == wizard.shell().button(QWizard::FinishButton); }));
    EXPECT_FALSE(wizard.progress().running());
    EXPECT_EQ(control<QProgressBar>(wizard.progress(), "progress_bar")->value(), 0);

    // The box's first focus, when the page opened, went on to Finish without a selection; a
    // later visit stays.
    EXPECT_FALSE(error_box().textCursor().hasSelection());
    error_box().setFocus();
    QTest::qWait(50);
    EXPECT_EQ(QApplication::focusWidget(), &error_box());
}

TEST_F(RunPages, ARunWithoutErrorsShowsTheSuccessText)
{
    source.tables = {{L"public.a", 2}};
    run_from_tables_page();
    wait_for_finish_page();
    EXPECT_EQ(finish_text(), success_text);
    EXPECT_FALSE(error_box().isVisible());
    EXPECT_TRUE(prompts.lines().empty());
    EXPECT_EQ(conv_test::filtered(events, {"append"}),
              (conv_test::event_log{"append [dbo].[a] 1", "append [dbo].[a] 2"}));
}

TEST_F(RunPages, ATraceLogThatCouldNotBeWrittenIsListedOnceOnTheFinishPage)
{
    if (!std::filesystem::exists("/dev/full"))
    {
        GTEST_SKIP() << "this system has no /dev/full";
    }
    process.converter().set_logfile("/dev/full");
    source.tables = {{L"public.a", 2}};
    run_from_tables_page();
    wait_for_finish_page();
    // The rows arrived; only the log lost its lines.
    EXPECT_EQ(conv_test::filtered(events, {"append"}),
              (conv_test::event_log{"append [dbo].[a] 1", "append [dbo].[a] 2"}));
    EXPECT_EQ(error_box().toPlainText(), "The trace log /dev/full could not be written (No space "
                                         "left on device); some of its lines are missing.\n\n");
}

TEST_F(RunPages, EachErrorIsOneLineFollowedByABlankLine)
{
    source.tables = {{L"public.a", 1}, {L"public.b", 1}};
    source.tables[0].fail_open = true;
    source.tables[1].fail_open = true;
    process.converter().selected() = {{L"public.gone", L""}};
    run_from_tables_page();
    wait_for_finish_page();
    EXPECT_EQ(error_box().toPlainText(), "public.a: cannot open public.a\n\n"
                                         "public.b: cannot open public.b\n\n"
                                         "Table public.gone not exists\n\n");
    EXPECT_TRUE(log_text().endsWith("Table public.gone not exists\n"));
}

TEST_F(RunPages, ARunEndedByAForeignFailureDoesNotEndOnTheSuccessText)
{
    source.throw_foreign_failure = true;
    run_from_tables_page();
    wait_for_finish_page();
    // Once when the table page lists, once when the run opens the source.
    EXPECT_EQ(prompts.lines(),
              (std::vector<std::string>{"error Corlamig 1.5  Error|disk on fire",
                                        "error Corlamig 1.5  Error|disk on fire"}));
    EXPECT_EQ(finish_text(), ended_early_text);
    EXPECT_EQ(error_box().toPlainText(), "disk on fire\n\n");
}

TEST_F(RunPages, AbortEndsTheRunAndTheFinishPageListsWhatHappened)
{
    source.tables = {{L"public.a", 1}, {L"public.b", 1}};
    source.tables[0].fail_open = true;
    prompts.continue_result = 1;
    run_from_tables_page();
    wait_for_finish_page();
    EXPECT_EQ(error_box().toPlainText(), "public.a: cannot open public.a\n\n");
    EXPECT_TRUE(conv_test::filtered(events, {"get_table public.b"}).empty());
}

struct outcome_case
{
    const char* name;
    std::function<void(conv_test::source_setup&, conv_test::destination_setup&)> arrange;
    int continue_result; ///< the answer to every continue/abort dialog: 2 Continue, 1 Abort
    const char* title;
    const char* text;
    const char* listed; ///< a part of the error list; empty: no list
};

/// Shows a case by its name in failure messages.
void PrintTo(const outcome_case& test, std::ostream* out)
{
    *out << test.name;
}

class RunOutcome : public RunPages, public testing::WithParamInterface<outcome_case>
{
};

TEST_P(RunOutcome, TheFinishPageTitleAndTextTellWhetherTheRunWentThrough)
{
    const outcome_case& c = GetParam();
    c.arrange(source, destination);
    prompts.continue_result = c.continue_result;
    run_from_tables_page();
    wait_for_finish_page();
    EXPECT_EQ(control<QLabel>(wizard.finish(), "finish_title")->text(), c.title);
    EXPECT_EQ(finish_text(), c.text);
    EXPECT_EQ(error_box().isVisible(), *c.listed != '\0');
    EXPECT_TRUE(error_box().toPlainText().contains(c.listed))
        << error_box().toPlainText().toStdString();
    EXPECT_EQ(process.converter().ended_early(), std::string(c.title) != "Conversion is Completed");
}

INSTANTIATE_TEST_SUITE_P(
    Outcomes, RunOutcome,
    testing::Values(
        // The server refuses to list the destination's tables: nothing was converted.
        outcome_case{"AListingThatFails",
                     [](conv_test::source_setup& source, conv_test::destination_setup& destination)
                     {
                         source.tables = {{L"public.a", 2}};
                         destination.fail_list_tables = true;
                     },
                     2, "Conversion did not complete", ended_early_text,
                     "Incorrect syntax near 'q'."},
        outcome_case{"Abort",
                     [](conv_test::source_setup& source, conv_test::destination_setup&)
                     {
                         source.tables = {{L"public.a", 1}, {L"public.b", 1}};
                         source.tables[0].fail_open = true;
                     },
                     1, "Conversion did not complete", ended_early_text,
                     "public.a: cannot open public.a"},
        outcome_case{"ALostServer",
                     [](conv_test::source_setup& source, conv_test::destination_setup& destination)
                     {
                         source.tables = {{L"public.a", 3}, {L"public.b", 1}};
                         destination.faults.lost_rows = {2};
                     },
                     2, "Conversion did not complete", ended_early_text, "Communication link"},
        // Every table was gone through; one row was refused and is listed.
        outcome_case{"OneRefusedRow",
                     [](conv_test::source_setup& source, conv_test::destination_setup& destination)
                     {
                         source.tables = {{L"public.a", 3}};
                         destination.faults.integrity_rows = {2};
                     },
                     2, "Conversion is Completed", error_text,
                     "public.a, record #2: The specified record violates"},
        outcome_case{"Clean",
                     [](conv_test::source_setup& source, conv_test::destination_setup&) {
                         source.tables = {{L"public.a", 2}};
                     },
                     2, "Conversion is Completed", success_text, ""}),
    [](const testing::TestParamInfo<outcome_case>& param_info) { return param_info.param.name; });

TEST_F(RunPages, SaveSettingsWritesTheProfileWithItsExtension)
{
    source.tables = {{L"public.a", 1}};
    run_from_tables_page();
    wait_for_finish_page();
    const std::filesystem::path folder = std::filesystem::path(process.home().file("x"));
    std::filesystem::create_directories(folder);
    prompts.file_answers = {QString::fromStdString((folder / "p.zov").string())};
    prompts.clear();
    control<QPushButton>(wizard.finish(), "save_settings_button")->click();
    EXPECT_EQ(prompts.lines(), std::vector<std::string>{"save Select Profile File"});
    EXPECT_EQ(prompts.last_filter,
              QString("Profile Files (.zov)|*.zov|All Files (*.*)|*.*|").replace('|', QChar(0)));
    const std::string saved = test_support::read_file((folder / "p.zov").string());
    EXPECT_NE(saved.find("src=sales"), std::string::npos) << saved;
    EXPECT_NE(saved.find("public.a"), std::string::npos) << saved;
    EXPECT_EQ(wizard.shell().currentId(), page_id::finish);
}

TEST_F(RunPages, AProfileThatCannotBeWrittenIsReported)
{
    run_from_tables_page();
    wait_for_finish_page();
    const std::string path = process.home().file("no/such/folder/p.zov");
    prompts.file_answers = {QString::fromStdString(path)};
    prompts.clear();
    control<QPushButton>(wizard.finish(), "save_settings_button")->click();
    EXPECT_EQ(prompts.lines(),
              (std::vector<std::string>{"save Select Profile File",
                                        "error Corlamig 1.5  Error|The settings could not be "
                                        "saved to " +
                                            path + "."}));
    EXPECT_TRUE(wizard.shell().isVisible());
}

TEST_F(RunPages, CancelDuringARunStopsItWaitsForItAndCloses)
{
    const std::string log = process.home().file("run.log");
    process.converter().set_logfile(log);
    // A table long enough to run until it is stopped.
    source.tables = {{L"public.endless", INT_MAX}};
    run_from_tables_page();
    ASSERT_TRUE(wait_until([&] { return process.converter().records_done() > 10; }, 20000));
    ASSERT_TRUE(wait_until(
        [&]
        {
            return control<QLabel>(wizard.progress(), "status_label")->text() ==
                   "Processing table 'public.endless'";
        }));
    // No keeps the run going.
    prompts.question_answers = {false};
    wizard.shell().button(QWizard::CancelButton)->click();
    EXPECT_TRUE(wizard.progress().running());
    EXPECT_TRUE(wizard.shell().isVisible());
    const std::int64_t before = process.converter().records_done();
    ASSERT_TRUE(wait_until([&] { return process.converter().records_done() > before; }));

    prompts.question_answers = {true};
    wizard.shell().button(QWizard::CancelButton)->click();
    EXPECT_FALSE(wizard.progress().running());
    EXPECT_TRUE(process.converter().done());
    EXPECT_FALSE(wizard.shell().isVisible());
    EXPECT_FALSE(wizard.shell().timer_running());
    EXPECT_EQ(prompts.lines(),
              (std::vector<std::string>{
                  "question Corlamig 1.5  Question|Are you sure you want to exit the wizard?",
                  "question Corlamig 1.5  Question|Are you sure you want to exit the wizard?"}));
    // The trace says that the run was stopped, and how far the table got, before its end.
    std::vector<std::string> lines;
    std::istringstream text(test_support::read_file(log));
    for (std::string line; std::getline(text, line);)
    {
        if (line.ends_with('\r'))
        {
            line.pop_back();
        }
        if (line.starts_with("Conversion "))
        {
            // Without the times.
            lines.push_back(line.substr(0, line.find(" on ")));
        }
    }
    const std::string stored = std::to_string(process.converter().records_done());
    EXPECT_EQ(lines,
              (std::vector<std::string>{"Conversion started",
                                        "Conversion stopped by the user in table public.endless: " +
                                            stored + " of its 2147483647 records were stored",
                                        "Conversion ended"}));
}

// A statement that the server does not end (an index on a big table, or one that gets no
// answer) holds no Cancel: after the stop's wait the program ends without the run, which is left
// to the server.
TEST_F(RunPages, CancelDuringAStatementThatDoesNotEndEndsTheProgramAfterTheStopsWait)
{
    progress_page::set_stop_wait(std::chrono::milliseconds(500));
    run_held_in_an_index();
    // Let go long after the stop's wait, from the events that waiting for the run serves.
    bool ended_while_held = false;
    QTimer::singleShot(3000,
                       [&]
                       {
                           ended_while_held = prompts.lines_starting("end ").size() == 1;
                           release_index();
                       });
    prompts.question_answers = {true};
    const auto started = std::chrono::steady_clock::now();
    wizard.shell().button(QWizard::CancelButton)->click();
    EXPECT_TRUE(ended_while_held);
    EXPECT_EQ(prompts.lines_starting("end "), (std::vector<std::string>{"end 0"}));
    EXPECT_LT(std::chrono::steady_clock::now() - started, std::chrono::seconds(20));
    EXPECT_FALSE(wizard.progress().running());
    progress_page::set_stop_wait(std::chrono::seconds(12));
}

// The stop waits for the run with the GUI's events running: a second Cancel, Escape or the close
// box then must neither ask again nor end anything, and the page says that the run is stopping.
TEST_F(RunPages, AfterYesFurtherCancelEscapeAndCloseAskNothingWhileTheRunStops)
{
    progress_page::set_stop_wait(std::chrono::seconds(30));
    run_held_in_an_index();
    QLabel* status = control<QLabel>(wizard.progress(), "status_label");
    const std::string stopping = "Stopping the conversion...";

    // No to the first question leaves the run going.
    prompts.question_answers = {false};
    wizard.shell().button(QWizard::CancelButton)->click();
    EXPECT_TRUE(wizard.progress().running());
    EXPECT_TRUE(wizard.shell().isVisible());
    EXPECT_NE(status->text().toStdString(), stopping);

    std::string status_while_stopping;
    bool going_while_stopping = false;
    QTimer::singleShot(300,
                       [&]
                       {
                           status_while_stopping = status->text().toStdString();
                           wizard.shell().button(QWizard::CancelButton)->click();
                           QTest::keyClick(&wizard.shell(), Qt::Key_Escape);
                           wizard.shell().close();
                           going_while_stopping =
                               wizard.progress().running() && wizard.shell().isVisible();
                           release_index();
                       });
    // Yes to the first question; the answers after it would be No.
    prompts.question_answers = {true};
    wizard.shell().button(QWizard::CancelButton)->click();
    EXPECT_EQ(status_while_stopping, stopping);
    EXPECT_TRUE(going_while_stopping);
    EXPECT_EQ(prompts.lines_starting("question "),
              (std::vector<std::string>{
                  "question Corlamig 1.5  Question|Are you sure you want to exit the wizard?",
                  "question Corlamig 1.5  Question|Are you sure you want to exit the wizard?"}));
    EXPECT_TRUE(prompts.lines_starting("end ").empty());
    EXPECT_FALSE(wizard.progress().running());
    EXPECT_FALSE(wizard.shell().isVisible());
    progress_page::set_stop_wait(std::chrono::seconds(12));
}

TEST_F(RunPages, CancelWhileTheRunWaitsForTheGuiStillStopsIt)
{
    // Every row fails and asks the user (scripted: Continue), so the run spends its time in
    // blocking calls to the GUI thread while Cancel waits for it.
    source.tables = {{L"public.a", 200000}};
    for (int row = 1; row <= 200000; ++row)
    {
        destination.faults.integrity_rows.insert(row);
    }
    run_from_tables_page();
    ASSERT_TRUE(wait_until([&] { return prompts.lines_starting("continue ").size() > 20; }, 20000));
    prompts.question_answers = {true};
    wizard.shell().button(QWizard::CancelButton)->click();
    EXPECT_FALSE(wizard.progress().running());
    EXPECT_FALSE(wizard.shell().isVisible());
    EXPECT_EQ(prompts.lines_starting("question ").size(), 1U);
}

TEST_F(RunPages, TheWizardGoingAwayDuringARunStopsAndJoinsIt)
{
    source.tables = {{L"public.endless", INT_MAX}};
    run_from_tables_page();
    ASSERT_TRUE(wait_until([&] { return process.converter().records_done() > 10; }, 20000));
    // The fixture's teardown destroys the wizard while the run goes on.
}

TEST_F(RunPages, TheBarAndStatusFollowTheRunWhileOnlyCancelIsOffered)
{
    source.tables = {{L"public.a", 3}, {L"public.endless", INT_MAX}};
    run_from_tables_page();
    QProgressBar* bar = control<QProgressBar>(wizard.progress(), "progress_bar");
    EXPECT_EQ(bar->minimum(), 0);
    EXPECT_EQ(bar->maximum(), 100);
    // One table of two done, a few rows of the second: 50 + 0.
    ASSERT_TRUE(wait_until([&] { return bar->value() == 50; }, 20000));
    EXPECT_EQ(control<QLabel>(wizard.progress(), "status_label")->text(),
              "Processing table 'public.endless'");
    EXPECT_FALSE(usable(QWizard::NextButton) || usable(QWizard::CommitButton));
    EXPECT_FALSE(usable(QWizard::BackButton));
    EXPECT_TRUE(usable(QWizard::CancelButton));
    EXPECT_EQ(wizard.shell().currentId(), page_id::progress);
}

} // namespace
