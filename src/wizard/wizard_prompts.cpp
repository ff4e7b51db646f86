// wizard_prompts.cpp: the real prompts: Qt message boxes, the wizard's dialogs and the desktop.
#include "wizard/wizard_prompts.h"

#include "tk/tk_error_report.h"
#include "wizard/file_dialogs.h"
#include "wizard/wizard_dialogs.h"
#include "wizard/wizard_shell.h"

#include <QDesktopServices>
#include <QMessageBox>
#include <QUrl>
#include <cstdio>
#include <cstdlib>
#include <iostream>

void wizard_prompts::error(QWidget* owner, const QString& caption, const QString& text)
{
    QMessageBox box(QMessageBox::Critical, caption, text, QMessageBox::Ok, owner);
    box.exec();
}

void wizard_prompts::message(QWidget* owner, const QString& caption, const QString& text)
{
    QMessageBox box(QMessageBox::Information, caption, text, QMessageBox::Ok, owner);
    box.exec();
}

bool wizard_prompts::question(QWidget* owner, const QString& caption, const QString& text)
{
    QMessageBox box(QMessageBox::Question, caption, text, QMessageBox::Yes | QMessageBox::No,
                    owner);
    box.setDefaultButton(QMessageBox::No);
    return box.exec() == QMessageBox::Yes;
}

int wizard_prompts::error_continue(QWidget* owner, const QString& caption, const QString& text,
                                   bool& do_not_show)
{
    dlg_error_continue dialog(owner, text, caption);
    const int result = dialog.exec();
    do_not_show = dialog.do_not_show();
    return result;
}

int wizard_prompts::overwrite(QWidget* owner, const QString& caption, const QString& text,
                              int help_topic, int& mode)
{
    overwrite_dlg2 dialog(owner, help_topic, text, caption,
                          [](int topic)
                          {
                              if (wizard_shell* shell = wizard_shell::find())
                              {
                                  shell->display_help(topic);
                              }
                          });
    const int result = dialog.exec();
    if (result == overwrite_dlg2::ok_result)
    {
        mode = dialog.mode();
    }
    return result;
}

int wizard_prompts::internal_error(QWidget* owner, const QString& caption,
                                   const QString& product_title, const QString& text)
{
    dlg_error_ex dialog(owner, text, caption, product_title,
                        [this](const QString& title, const QString& body)
                        { send_bug(title, body); });
    return dialog.exec();
}

std::optional<QString> wizard_prompts::open_file(QWidget* owner, const QString& filter_pairs,
                                                 const QString& title, const QString& initial_path)
{
    open_file_dialog dialog(owner, filter_pairs, title, initial_path);
    if (!dialog.run())
    {
        return std::nullopt;
    }
    return dialog.file_name();
}

std::optional<QString> wizard_prompts::save_file(QWidget* owner, const QString& filter_pairs,
                                                 const QString& title, const QString& initial_path,
                                                 const QString& default_ext)
{
    save_file_dialog dialog(owner, filter_pairs, title, initial_path, default_ext);
    if (!dialog.run())
    {
        return std::nullopt;
    }
    return dialog.file_name();
}

bool wizard_prompts::open_help(const QString& file)
{
    return QDesktopServices::openUrl(QUrl::fromLocalFile(file));
}

void wizard_prompts::send_bug(const QString& title, const QString& text)
{
    tk_send_bug(title.toStdString(), text.toStdString());
}

void wizard_prompts::end_process(int code)
{
    std::cout.flush();
    std::cerr.flush();
    std::fflush(nullptr);
    std::_Exit(code);
}
