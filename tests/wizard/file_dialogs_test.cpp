// file_dialogs_test.cpp: the start folder and name, the filter, the extension rule, and the real
// open and save dialogs with the question before a file is replaced.
#include "tk/tk_exception.h"
#include "wizard/file_dialogs.h"
#include "wizard_test_support.h"

#include <QAbstractButton>
#include <QApplication>
#include <QDir>
#include <QFileDialog>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QTimer>
#include <gtest/gtest.h>

using namespace wizard_test;

namespace
{

/// Calls `act` with the active modal window every 10 ms until it answers true.
void on_modal(std::function<bool(QWidget*)> act)
{
    auto* poll = new QTimer(qApp);
    QObject::connect(poll, &QTimer::timeout, poll,
                     [poll, act = std::move(act)]
                     {
                         if (act(QApplication::activeModalWidget()))
                         {
                             poll->stop();
                             poll->deleteLater();
                         }
                     });
    poll->start(10);
}

struct split_case
{
    const char* path;
    const char* folder;
    const char* name;
};

class InitialPath : public testing::TestWithParam<split_case>
{
};

TEST_P(InitialPath, SplitsIntoFolderAndNameWithoutExtension)
{
    const file_dialog_start start = split_initial_path(GetParam().path);
    EXPECT_EQ(start.folder.toStdString(), GetParam().folder);
    EXPECT_EQ(start.name.toStdString(), GetParam().name);
}

INSTANTIATE_TEST_SUITE_P(Paths, InitialPath,
                         testing::Values(split_case{"/d/x.log", "/d", "x"},
                                         split_case{"/d/e/a.b.zov", "/d/e", "a.b"},
                                         split_case{"/d/plain", "/d", "plain"},
                                         split_case{"/x.log", "/", "x"}));

TEST(InitialPath, EmptyPathIsTheLastChosenFolderElseHomeAndNoName)
{
    remember_chosen_file("");
    EXPECT_EQ(split_initial_path("").folder, QDir::homePath());
    EXPECT_EQ(split_initial_path("").name, "");
    remember_chosen_file("/d/e/p.zov");
    EXPECT_EQ(split_initial_path("").folder, "/d/e");
    EXPECT_EQ(split_initial_path("").name, "");
    // A path given still rules.
    EXPECT_EQ(split_initial_path("/x/run.log").folder, "/x");
    remember_chosen_file("");
}

TEST(InitialPath, RelativePathIsMadeFull)
{
    const file_dialog_start start = split_initial_path("logs/run.log");
    EXPECT_EQ(start.folder, QDir::current().absoluteFilePath("logs"));
    EXPECT_EQ(start.name, "run");
}

struct extension_case
{
    const char* chosen;
    const char* saved;
};

class DefaultExtension : public testing::TestWithParam<extension_case>
{
};

TEST_P(DefaultExtension, IsAppendedWhenItOccursNowhere)
{
    EXPECT_EQ(with_default_extension(GetParam().chosen, ".zov").toStdString(), GetParam().saved);
}

INSTANTIATE_TEST_SUITE_P(Names, DefaultExtension,
                         testing::Values(extension_case{"/d/p", "/d/p.zov"},
                                         extension_case{"/d/p.zov", "/d/p.zov"},
                                         extension_case{"/d/p.ZOV", "/d/p.ZOV.zov"},
                                         extension_case{"/d/a.zov.bak", "/d/a.zov.bak"},
                                         extension_case{"/d.zov/p", "/d.zov/p"},
                                         extension_case{"/d/p.", "/d/p..zov"}));

TEST(DefaultExtension, GetsItsDotAndMustBeGiven)
{
    EXPECT_EQ(dotted_extension("zov"), ".zov");
    EXPECT_EQ(dotted_extension(".zov"), ".zov");
    EXPECT_THROW(dotted_extension(""), tk_mail_assertion);
    EXPECT_THROW(save_file_dialog(nullptr, profile_filter("zov"), "t", "", ""), tk_mail_assertion);
}

TEST(FileFilter, ProfilePairsBecomeQtFilters)
{
    EXPECT_EQ(profile_filter("zov"),
              QString("Profile Files (.zov)|*.zov|All Files (*.*)|*.*|").replace('|', QChar(0)));
    EXPECT_EQ(qt_file_filter(profile_filter("zov")),
              "Profile Files (.zov) (*.zov);;All Files (*.*) (*)");
    EXPECT_EQ(qt_file_filter(
                  QString("Log Files (.log)|*.log|All Files (*.*)|*.*|").replace('|', QChar(0))),
              "Log Files (.log) (*.log);;All Files (*.*) (*)");
}

TEST(FileFilter, ProfileExtensionOfThreeOrFourCharactersOnly)
{
    EXPECT_NO_THROW(profile_filter("json"));
    EXPECT_THROW(profile_filter("zo"), tk_mail_assertion);
    EXPECT_THROW(profile_filter("zovzo"), tk_mail_assertion);
}

class RealFileDialog : public testing::Test
{
protected:
    test_support::temp_dir folder;
    QString path(const char* name) const { return QString::fromStdString(folder.file(name)); }
};

TEST_F(RealFileDialog, OpenStartsInTheFolderWithTheNameAndCancelChoosesNothing)
{
    test_support::write_file(folder.file("run.log"), "x");
    open_file_dialog dialog(
        nullptr, QString("Log Files (.log)|*.log|All Files (*.*)|*.*|").replace('|', QChar(0)),
        "Select Log File", path("run.log"));
    QString shown_folder;
    QString title;
    QFileDialog::FileMode mode = QFileDialog::AnyFile;
    on_modal(
        [&](QWidget* modal)
        {
            auto* file_dialog = qobject_cast<QFileDialog*>(modal);
            if (file_dialog == nullptr)
            {
                return false;
            }
            shown_folder = file_dialog->directory().absolutePath();
            title = file_dialog->windowTitle();
            mode = file_dialog->fileMode();
            file_dialog->reject();
            return true;
        });
    EXPECT_FALSE(dialog.run());
    EXPECT_EQ(shown_folder, QString::fromStdString(folder.path().string()));
    EXPECT_EQ(title, "Select Log File");
    EXPECT_EQ(mode, QFileDialog::ExistingFile);
}

TEST_F(RealFileDialog, TheNextDialogWithoutAPathStartsWhereTheLastFileWasChosen)
{
    remember_chosen_file("");
    const QString filter = profile_filter("zov");
    QStringList shown_folders;
    on_modal(
        [&](QWidget* modal)
        {
            auto* file_dialog = qobject_cast<QFileDialog*>(modal);
            if (file_dialog == nullptr)
            {
                return false;
            }
            shown_folders.push_back(file_dialog->directory().absolutePath());
            if (shown_folders.size() == 1)
            {
                // The name typed into the dialog, as a user does.
                auto* name = file_dialog->findChild<QLineEdit*>("fileNameEdit");
                EXPECT_NE(name, nullptr);
                if (name != nullptr)
                {
                    name->setText(path("p"));
                }
                QMetaObject::invokeMethod(file_dialog, "accept");
                return false;
            }
            file_dialog->reject();
            return true;
        });
    save_file_dialog first(nullptr, filter, "Select Profile File", "", "zov");
    ASSERT_TRUE(first.run());
    EXPECT_EQ(first.file_name(), path("p.zov"));
    open_file_dialog second(nullptr, filter, "Select Profile File", "");
    EXPECT_FALSE(second.run());
    // Home at first, not the program's folder; then where the profile was saved.
    EXPECT_EQ(shown_folders,
              (QStringList{QDir::homePath(), QString::fromStdString(folder.path().string())}));
    remember_chosen_file("");
}

TEST_F(RealFileDialog, SaveAppendsTheExtension)
{
    save_file_dialog dialog(nullptr, profile_filter("zov"), "Select Profile File", path("p"),
                            "zov");
    on_modal(
        [&](QWidget* modal)
        {
            auto* file_dialog = qobject_cast<QFileDialog*>(modal);
            if (file_dialog == nullptr)
            {
                return false;
            }
            file_dialog->selectFile(path("p"));
            QMetaObject::invokeMethod(file_dialog, "accept");
            return true;
        });
    ASSERT_TRUE(dialog.run());
    EXPECT_EQ(dialog.file_name(), path("p.zov"));
}

TEST_F(RealFileDialog, SaveAsksBeforeReplacingTheFinalName)
{
    // "p" is typed, "p.zov" exists: Qt alone would not ask, because "p" does not exist.
    test_support::write_file(folder.file("p.zov"), "[Generic settings]\r\n");
    save_file_dialog dialog(nullptr, profile_filter("zov"), "Select Profile File", path("p"),
                            "zov");
    int file_dialogs = 0;
    QString question;
    bool no_is_default = false;
    on_modal(
        [&](QWidget* modal)
        {
            if (auto* file_dialog = qobject_cast<QFileDialog*>(modal))
            {
                ++file_dialogs;
                if (file_dialogs == 1)
                {
                    file_dialog->selectFile(path("p"));
                    QMetaObject::invokeMethod(file_dialog, "accept");
                    return false;
                }
                file_dialog->reject();
                return true;
            }
            if (auto* box = qobject_cast<QMessageBox*>(modal); box != nullptr && question.isEmpty())
            {
                question = box->text();
                no_is_default = static_cast<QAbstractButton*>(box->defaultButton()) ==
                                box->button(QMessageBox::No);
                box->button(QMessageBox::No)->click();
            }
            return false;
        });
    EXPECT_FALSE(dialog.run());
    EXPECT_EQ(question, QDir::toNativeSeparators(path("p.zov")) +
                            " already exists.\nDo you want to replace it?");
    EXPECT_TRUE(no_is_default);
    EXPECT_EQ(file_dialogs, 2);
}

} // namespace
