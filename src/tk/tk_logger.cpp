// tk_logger.cpp: the trace log's file handling.
#include "tk/tk_logger.h"

#include "plat/plat_err.h"
#include "plat/plat_fs.h"

#include <cerrno>
#include <cstdio>
#include <ctime>

namespace
{

// Wide lines are cut at this many characters, as the log always has.
constexpr std::size_t max_line_chars = 10239;

// Cuts UTF-8 text after `max_chars` characters, never inside a character.
void cut_characters(std::string& text, std::size_t max_chars)
{
    std::size_t chars = 0;
    for (std::size_t pos = 0; pos < text.size(); ++pos)
    {
        if ((static_cast<unsigned char>(text[pos]) & 0xC0) != 0x80)
        {
            if (chars == max_chars)
            {
                text.resize(pos);
                return;
            }
            ++chars;
        }
    }
}

} // namespace

tk_logger::tk_logger(const char* file_name, bool enabled, int threshold, bool time_stamp)
    : m_file_name(file_name != nullptr ? file_name : default_file_name())
    , m_threshold(threshold)
    , m_enabled(enabled)
    , m_time_stamp(time_stamp)
{
    if (m_enabled)
    {
        empty_file();
    }
}

tk_logger::~tk_logger() = default;

std::string tk_logger::default_file_name()
{
    plat::path_parts parts = plat::split_path(plat::module_path());
    parts.ext = ".log";
    return plat::make_path(parts);
}

void tk_logger::set_file_name(const char* name)
{
    if (name == nullptr)
    {
        throw tk_mail_assertion("..\\TK/tk_log", 82);
    }
    std::lock_guard lock(m_mutex);
    m_file_name = name;
}

void tk_logger::set_enabled(bool enabled)
{
    std::lock_guard lock(m_mutex);
    m_enabled = enabled;
}

void tk_logger::set_threshold(int threshold)
{
    std::lock_guard lock(m_mutex);
    m_threshold = threshold;
}

void tk_logger::note_write_failure(int error)
{
    int none = 0;
    m_write_error.compare_exchange_strong(none, error != 0 ? error : EIO,
                                          std::memory_order_acq_rel);
}

std::string tk_logger::write_failure_text() const
{
    std::string name;
    {
        std::lock_guard lock(m_mutex);
        name = m_file_name;
    }
    return "The trace log " + name + " could not be written (" + plat::error_text(write_error()) +
           "); some of its lines are missing.";
}

void tk_logger::empty_file()
{
    errno = 0;
    if (std::FILE* file = std::fopen(m_file_name.c_str(), "wb"))
    {
        if (std::fclose(file) != 0)
        {
            note_write_failure(errno);
        }
    }
    else
    {
        note_write_failure(errno);
    }
    m_truncated = true;
}

void tk_logger::write(int level, const std::function<std::string()>& make_text)
{
    std::lock_guard lock(m_mutex);
    if (!m_enabled)
    {
        return;
    }
    if (!m_truncated)
    {
        empty_file();
    }
    if (level < m_threshold)
    {
        return;
    }
    std::string text;
    try
    {
        text = make_text();
    }
    catch (...)
    {
        // Logging never throws; a line that cannot be made is lost like an unwritable one.
        return;
    }
    cut_characters(text, max_line_chars);
    errno = 0;
    std::FILE* file = std::fopen(m_file_name.c_str(), "ab");
    if (file == nullptr)
    {
        note_write_failure(errno);
        return;
    }
    bool written = true;
    if (m_time_stamp)
    {
        const std::time_t now = std::time(nullptr);
        std::tm local{};
        ::localtime_r(&now, &local);
        written =
            std::fprintf(file, "%02d:%02d:%02d ", local.tm_hour, local.tm_min, local.tm_sec) >= 0;
    }
    written = std::fwrite(text.data(), 1, text.size(), file) == text.size() && written;
    if (m_append_crlf)
    {
        written = std::fwrite("\r\n", 1, 2, file) == 2 && written;
    }
    // The buffer reaches the file at fclose: a full disk shows there.
    written = std::fclose(file) == 0 && written;
    if (!written)
    {
        note_write_failure(errno);
    }
}
