// wizard_test_support.cpp: the scripted prompts, the process objects and the event helpers.
#include "wizard_test_support.h"

#include <QApplication>
#include <QFileInfo>
#include <QTest>
#include <QTimer>

namespace wizard_test
{

void scripted_prompts::add(std::string line)
{
    const std::lock_guard lock(m_mutex);
    m_lines.push_back(std::move(line));
}

std::vector<std::string> scripted_prompts::lines() const
{
    const std::lock_guard lock(m_mutex);
    return m_lines;
}

std::vector<std::string> scripted_prompts::lines_starting(const std::string& prefix) const
{
    std::vector<std::string> found;
    for (const std::string& line : lines())
    {
        if (line.starts_with(prefix))
        {
            found.push_back(line);
        }
    }
    return found;
}

void scripted_prompts::clear()
{
    const std::lock_guard lock(m_mutex);
    m_lines.clear();
}

void scripted_prompts::error(QWidget*, const QString& caption, const QString& text)
{
    error_thread = std::this_thread::get_id();
    add("error " + caption.toStdString() + "|" + text.toStdString());
    if (on_error)
    {
        on_error();
    }
}

void scripted_prompts::message(QWidget*, const QString& caption, const QString& text)
{
    add("message " + caption.toStdString() + "|" + text.toStdString());
}

bool scripted_prompts::question(QWidget*, const QString& caption, const QString& text)
{
    add("question " + caption.toStdString() + "|" + text.toStdString());
    if (question_answers.empty())
    {
        return false;
    }
    const bool answer = question_answers.front();
    question_answers.pop_front();
    return answer;
}

int scripted_prompts::error_continue(QWidget*, const QString& caption, const QString& text,
                                     bool& do_not_show)
{
    add("continue " + caption.toStdString() + "|" + text.toStdString());
    do_not_show = continue_do_not_show;
    return continue_result;
}

int scripted_prompts::overwrite(QWidget*, const QString& caption, const QString& text,
                                int help_topic, int& mode)
{
    add("overwrite " + caption.toStdString() + "|" + text.toStdString() + "|" +
        std::to_string(help_topic));
    if (overwrite_result == 1)
    {
        mode = overwrite_mode;
    }
    return overwrite_result;
}

int scripted_prompts::internal_error(QWidget*, const QString& caption, const QString& product_title,
                                     const QString& text)
{
    add("internal " + caption.toStdString() + "|" + product_title.toStdString() + "|" +
        text.toStdString());
    return 1;
}

std::optional<QString> scripted_prompts::open_file(QWidget*, const QString& filter_pairs,
                                                   const QString& title, const QString&)
{
    add("open " + title.toStdString());
    last_filter = filter_pairs;
    if (file_answers.empty())
    {
        return std::nullopt;
    }
    std::optional<QString> answer = file_answers.front();
    file_answers.pop_front();
    return answer;
}

std::optional<QString> scripted_prompts::save_file(QWidget*, const QString& filter_pairs,
                                                   const QString& title, const QString&,
                                                   const QString&)
{
    add("save " + title.toStdString());
    last_filter = filter_pairs;
    if (file_answers.empty())
    {
        return std::nullopt;
    }
    std::optional<QString> answer = file_answers.front();
    file_answers.pop_front();
    return answer;
}

bool scripted_prompts::open_help(const QString& file)
{
    add("help " + QFileInfo(file).fileName().toStdString());
    return help_opens;
}

void scripted_prompts::send_bug(const QString& title, const QString& text)
{
    add("bug " + title.toStdString() + "|" + text.toStdString());
}

void scripted_prompts::end_process(int code)
{
    add("end " + std::to_string(code));
}

wizard_process::wizard_process(scripted_prompts& prompts)
    : m_config_home("XDG_CONFIG_HOME", m_home.path().string())
{
    plat::oledb::register_providers(m_classes);
    m_handler = std::make_unique<wizard_error_handler>(oledb_error_texts(), prompts);
    m_handler->load_err_map(pgs_error_texts());
    m_converter = std::make_unique<vandrel_convertor>(convertor_flavour::wizard);
}

wizard_process::~wizard_process()
{
    m_converter.reset();
    m_handler.reset();
}

bool wait_until(const std::function<bool()>& condition, int timeout_ms)
{
    for (int waited = 0; waited < timeout_ms; waited += 10)
    {
        if (condition())
        {
            return true;
        }
        QTest::qWait(10);
    }
    return condition();
}

void when_idle(std::function<void()> action)
{
    QTimer::singleShot(0, qApp, std::move(action));
}

} // namespace wizard_test
