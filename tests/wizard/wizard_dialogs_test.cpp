// wizard_dialogs_test.cpp: the overwrite, continue, internal-error and waiting dialogs, driven
// through their real buttons and keys, and the wait protocol.
#include "plat/plat_desktop.h"
#include "wizard/gui_bridge.h"
#include "wizard/wizard_dialogs.h"
#include "wizard_test_support.h"

#include <QAbstractButton>
#include <QApplication>
#include <QCheckBox>
#include <QClipboard>
#include <QLabel>
#include <QPushButton>
#include <QTest>
#include <QTimer>
#include <chrono>
#include <gtest/gtest.h>
#include <thread>

using namespace wizard_test;

namespace
{

template <class T>
T* child(QWidget& parent, const char* name)
{
    T* found = parent.findChild<T*>(name);
    EXPECT_NE(found, nullptr) << name;
    return found;
}

/// Runs `dialog` modally while `drive` acts on it from inside its loop; answers exec()'s result.
int exec_driven(QDialog& dialog, std::function<void()> drive)
{
    when_idle(std::move(drive));
    return dialog.exec();
}

struct overwrite_case
{
    const char* name;
    int radio;          ///< the radio clicked before the button; -1 none
    const char* button; ///< "ok_button", "cancel_button", or "" for Escape
    int expected_result;
    int expected_mode; ///< the dialog's mode afterwards (0 from the start)
};

class OverwriteDialog : public testing::TestWithParam<overwrite_case>
{
};

TEST_P(OverwriteDialog, ButtonsGiveResultAndMode)
{
    std::vector<int> helped;
    overwrite_dlg2 dialog(nullptr, 1014, "Database 'x' already exists.", "Corlamig 1.5  Warning",
                          [&](int topic) { helped.push_back(topic); });
    const overwrite_case& c = GetParam();
    bool first_checked = false;
    const int result = exec_driven(dialog,
                                   [&]
                                   {
                                       first_checked = dialog.mode_button(0)->isChecked();
                                       if (c.radio >= 0)
                                       {
                                           dialog.mode_button(c.radio)->click();
                                       }
                                       if (std::string(c.button).empty())
                                       {
                                           QTest::keyClick(&dialog, Qt::Key_Escape);
                                       }
                                       else
                                       {
                                           child<QPushButton>(dialog, c.button)->click();
                                       }
                                   });
    EXPECT_TRUE(first_checked);
    EXPECT_EQ(result, c.expected_result);
    EXPECT_EQ(dialog.mode(), c.expected_mode);
    EXPECT_TRUE(helped.empty());
    EXPECT_EQ(dialog.windowTitle(), "Corlamig 1.5  Warning");
}

INSTANTIATE_TEST_SUITE_P(
    Choices, OverwriteDialog,
    testing::Values(overwrite_case{"OkKeepsTheFirstMode", -1, "ok_button", 1, 0},
                    overwrite_case{"Tables", 1, "ok_button", 1, 1},
                    overwrite_case{"Skip", 2, "ok_button", 1, 2},
                    overwrite_case{"Merge", 3, "ok_button", 1, 3},
                    overwrite_case{"CancelKeepsTheMode", 3, "cancel_button", 2, 0},
                    overwrite_case{"EscapeIsCancel", 2, "", 2, 0}),
    [](const testing::TestParamInfo<overwrite_case>& param_info) { return param_info.param.name; });

TEST(OverwriteDialogHelp, HelpOpensTheTopicAndTheDialogStays)
{
    std::vector<int> helped;
    overwrite_dlg2 dialog(nullptr, 1014, "exists", "T Warning",
                          [&](int topic) { helped.push_back(topic); });
    bool visible_after_help = false;
    const int result = exec_driven(dialog,
                                   [&]
                                   {
                                       child<QPushButton>(dialog, "help_button")->click();
                                       visible_after_help = dialog.isVisible();
                                       dialog.mode_button(3)->click();
                                       child<QPushButton>(dialog, "ok_button")->click();
                                   });
    EXPECT_EQ(helped, std::vector<int>{1014});
    EXPECT_TRUE(visible_after_help);
    EXPECT_EQ(result, 1);
    EXPECT_EQ(dialog.mode(), 3);
}

TEST(ContinueDialog, EscapeMeansContinue)
{
    dlg_error_continue dialog(nullptr, "orders, record #7: Invalid value.", "Error");
    const int result = exec_driven(dialog, [&] { QTest::keyClick(&dialog, Qt::Key_Escape); });
    EXPECT_EQ(result, dlg_error_continue::continue_result);
    EXPECT_FALSE(dialog.do_not_show());
}

TEST(ContinueDialog, TheCheckBoxIsKeptAfterAbort)
{
    dlg_error_continue dialog(nullptr, "text", "Error");
    const int result = exec_driven(dialog,
                                   [&]
                                   {
                                       child<QCheckBox>(dialog, "do_not_show_check_box")->click();
                                       child<QPushButton>(dialog, "abort_button")->click();
                                   });
    EXPECT_EQ(result, dlg_error_continue::abort_result);
    EXPECT_TRUE(dialog.do_not_show());
}

TEST(ContinueDialog, ContinueIsTheDefault)
{
    dlg_error_continue dialog(nullptr, "text", "Error");
    const int result = exec_driven(dialog, [&] { QTest::keyClick(&dialog, Qt::Key_Return); });
    EXPECT_EQ(result, dlg_error_continue::continue_result);
}

TEST(InternalErrorDialog, EscapeAndCloseLeaveItOpen)
{
    dlg_error_ex dialog(nullptr, "Internal error: \ncode=x", "Error", "", {});
    bool open_after = false;
    const int result = exec_driven(dialog,
                                   [&]
                                   {
                                       QTest::keyClick(&dialog, Qt::Key_Escape);
                                       dialog.close();
                                       open_after = dialog.isVisible();
                                       child<QPushButton>(dialog, "ok_button")->click();
                                   });
    EXPECT_TRUE(open_after);
    EXPECT_EQ(result, dlg_error_ex::ok_result);
}

TEST(InternalErrorDialog, CopyPutsTheTextOnTheClipboard)
{
    plat::set_clipboard_hook(
        [](const std::wstring& text)
        {
            QGuiApplication::clipboard()->setText(QString::fromStdWString(text));
            return true;
        });
    QGuiApplication::clipboard()->clear();
    dlg_error_ex dialog(nullptr, "Internal error: \ncode=5c", "Error", "", {});
    const int result =
        exec_driven(dialog, [&] { child<QPushButton>(dialog, "copy_button")->click(); });
    plat::set_clipboard_hook({});
    EXPECT_EQ(result, dlg_error_ex::copy_result);
    EXPECT_EQ(QGuiApplication::clipboard()->text(), "Internal error: \ncode=5c");
}

TEST(InternalErrorDialog, SendBugIsTheDefaultAndMailsTitleAndText)
{
    std::vector<std::string> sent;
    dlg_error_ex dialog(nullptr, "boom", "Corlamig 1.5  Error", "Corlamig 1.5 ",
                        [&](const QString& title, const QString& text)
                        { sent.push_back(title.toStdString() + "|" + text.toStdString()); });
    const int result = exec_driven(dialog, [&] { QTest::keyClick(&dialog, Qt::Key_Return); });
    EXPECT_EQ(result, dlg_error_ex::send_bug_result);
    EXPECT_EQ(sent, std::vector<std::string>{"Corlamig 1.5 |boom"});
}

TEST(WaitDialog, FramesWrapAfterTheEighth)
{
    dlg_animation dialog(nullptr, dlg_animation::pgs_text);
    EXPECT_EQ(dialog.frame(), -1);
    EXPECT_EQ(dialog.text(), "Connecting to PostgreSQL server. Please wait...");
    std::vector<int> frames;
    exec_driven(dialog,
                [&]
                {
                    frames.push_back(dialog.frame());
                    for (int step = 0; step < 8; ++step)
                    {
                        dialog.advance();
                        frames.push_back(dialog.frame());
                    }
                    dialog.done(0);
                });
    EXPECT_EQ(frames, (std::vector<int>{0, 1, 2, 3, 4, 5, 6, 7, 0}));
    EXPECT_EQ(dialog.frame(), -1);
}

TEST(WaitDialog, EscapeDoesNotEndTheWait)
{
    wizard_worker worker;
    std::atomic<bool> release{false};
    bool visible_after_escape = false;
    run_with_wait_dialog(
        nullptr, dlg_animation::pgs_text, worker,
        [&]
        {
            while (!release)
            {
                std::this_thread::sleep_for(std::chrono::milliseconds(5));
            }
        },
        [&](dlg_animation& dialog)
        {
            QTest::keyClick(&dialog, Qt::Key_Escape);
            dialog.close();
            visible_after_escape = dialog.isVisible();
            release = true;
        });
    EXPECT_TRUE(visible_after_escape);
}

struct wait_case
{
    const char* name;
    int work_ms;
};

class WaitProtocol : public testing::TestWithParam<wait_case>
{
};

TEST_P(WaitProtocol, TheWorkersEndClosesTheDialog)
{
    // A dialog the worker failed to close would wait forever: the watchdog ends it and says so.
    bool hung = false;
    QTimer watchdog;
    watchdog.setSingleShot(true);
    QObject::connect(&watchdog, &QTimer::timeout,
                     [&hung]
                     {
                         if (auto* dialog =
                                 qobject_cast<QDialog*>(QApplication::activeModalWidget()))
                         {
                             hung = true;
                             dialog->done(-1);
                         }
                     });
    watchdog.start(GetParam().work_ms + 5000);
    wizard_worker worker;
    std::thread::id work_thread;
    bool frame_seen = false;
    run_with_wait_dialog(
        nullptr, dlg_animation::pgs_text, worker,
        [&]
        {
            work_thread = std::this_thread::get_id();
            std::this_thread::sleep_for(std::chrono::milliseconds(GetParam().work_ms));
        },
        [&](dlg_animation& dialog) { frame_seen = dialog.frame() >= 0; });
    watchdog.stop();
    EXPECT_FALSE(hung);
    EXPECT_NE(work_thread, std::this_thread::get_id());
    EXPECT_FALSE(worker.running());
    EXPECT_EQ(QApplication::activeModalWidget(), nullptr);
    if (GetParam().work_ms > 100)
    {
        EXPECT_TRUE(frame_seen);
    }
}

INSTANTIATE_TEST_SUITE_P(Timing, WaitProtocol,
                         testing::Values(wait_case{"FinishesBeforeTheDialogOpens", 0},
                                         wait_case{"Brief", 20}, wait_case{"Longer", 700}),
                         [](const testing::TestParamInfo<wait_case>& param_info)
                         { return param_info.param.name; });

TEST(WaitProtocol, AWorkerAskingTheGuiIsServedDuringTheWait)
{
    gui_bridge bridge;
    wizard_worker worker;
    int answered = 0;
    run_with_wait_dialog(nullptr, dlg_animation::pgs_text, worker,
                         [&] { bridge.call([&] { answered = 42; }); });
    EXPECT_EQ(answered, 42);
}

TEST(WizardWorker, JoiningOnTheGuiThreadServesABlockingCall)
{
    gui_bridge bridge;
    wizard_worker worker;
    std::atomic<bool> asked{false};
    worker.start([&] { bridge.call([&] { asked = true; }); });
    worker.join();
    EXPECT_TRUE(asked);
}

TEST(WizardWorker, AFailureStaysInTheWorker)
{
    wizard_worker worker;
    worker.start([] { throw std::runtime_error("lost connection"); });
    worker.join();
    ASSERT_TRUE(worker.failure());
    EXPECT_THROW(std::rethrow_exception(worker.failure()), std::runtime_error);
}

} // namespace
