// wizard_test_support.h: scripted prompts and a wizard built over a throwaway settings store.
#pragma once

#include "convertor/vandrel_convertor.h"
#include "plat/oledb/oledb_providers.h"
#include "test_support.h"
#include "tk/tk_logger.h"
#include "wizard/vandrel_app.h"
#include "wizard/wizard_error_handler.h"
#include "wizard/wizard_prompts.h"

#include <QString>
#include <QWidget>
#include <deque>
#include <functional>
#include <gtest/gtest.h>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

namespace wizard_test
{

/// Records every prompt as a line and answers from scripts. Lines: "error <caption>|<text>",
/// "message <caption>|<text>", "question <caption>|<text>", "continue <caption>|<text>",
/// "overwrite <caption>|<text>|<topic>", "internal <caption>|<title>|<text>", "open <title>",
/// "save <title>", "help <file name>", "bug <title>|<text>", "end <code>".
class scripted_prompts : public wizard_prompts
{
public:
    void error(QWidget* owner, const QString& caption, const QString& text) override;
    void message(QWidget* owner, const QString& caption, const QString& text) override;
    bool question(QWidget* owner, const QString& caption, const QString& text) override;
    int error_continue(QWidget* owner, const QString& caption, const QString& text,
                       bool& do_not_show) override;
    int overwrite(QWidget* owner, const QString& caption, const QString& text, int help_topic,
                  int& mode) override;
    int internal_error(QWidget* owner, const QString& caption, const QString& product_title,
                       const QString& text) override;
    std::optional<QString> open_file(QWidget* owner, const QString& filter_pairs,
                                     const QString& title, const QString& initial_path) override;
    std::optional<QString> save_file(QWidget* owner, const QString& filter_pairs,
                                     const QString& title, const QString& initial_path,
                                     const QString& default_ext) override;
    bool open_help(const QString& file) override;
    void send_bug(const QString& title, const QString& text) override;
    void end_process(int code) override;

    /// The lines so far.
    std::vector<std::string> lines() const;
    /// The lines that start with `prefix`.
    std::vector<std::string> lines_starting(const std::string& prefix) const;
    void clear();

    /// Answers of question(), in order; false when none is left.
    std::deque<bool> question_answers;
    /// Answers of error_continue(): the result and the check box.
    int continue_result = 2;
    bool continue_do_not_show = false;
    /// Answers of overwrite(): the result and the mode chosen with OK.
    int overwrite_result = 1;
    int overwrite_mode = 0;
    /// Answers of the file dialogs, in order; nothing (cancel) when none is left.
    std::deque<std::optional<QString>> file_answers;
    /// The filter pairs of the last file dialog.
    QString last_filter;
    /// The thread of the last error box's caller (the GUI thread, through the bridge).
    std::thread::id error_thread;
    /// Called inside each error box, on the GUI thread.
    std::function<void()> on_error;
    /// What open_help answers: false is a desktop without a program to open the topic.
    bool help_opens = true;

private:
    void add(std::string line);

    mutable std::mutex m_mutex;
    std::vector<std::string> m_lines;
};

/// The process objects the program builds before its window, over a settings store in a
/// temporary folder: logger, providers, the wizard's error handler and the converter.
class wizard_process
{
public:
    explicit wizard_process(scripted_prompts& prompts);
    ~wizard_process();

    vandrel_convertor& converter() { return *m_converter; }
    const test_support::temp_dir& home() const { return m_home; }

private:
    test_support::temp_dir m_home;
    test_support::scoped_env m_config_home;
    tk_logger m_logger{nullptr, false, 3, false};
    plat::oledb::class_table m_classes;
    std::unique_ptr<wizard_error_handler> m_handler;
    std::unique_ptr<vandrel_convertor> m_converter;
};

/// Runs the GUI's events until `condition` holds or `timeout_ms` passes; answers the condition.
bool wait_until(const std::function<bool()>& condition, int timeout_ms = 5000);

/// The child of `page` named `name`; a failed expectation (and null) when there is none.
template <class T>
T* control(QWidget& page, const char* name)
{
    T* found = page.findChild<T*>(name);
    EXPECT_NE(found, nullptr) << name;
    return found;
}

/// Runs `action` once the GUI's event loop is next entered (inside a modal exec()).
void when_idle(std::function<void()> action);

} // namespace wizard_test
