// tk_logger.h: the trace log, a text file of levelled lines in the system's printf dialect.
#pragma once

#include "plat/plat_fmt.h"
#include "tk/tk_singleton.h"

#include <atomic>
#include <functional>
#include <mutex>
#include <string>
#include <string_view>

/// The trace log. Built disabled at program start; enabled when a log file is named; emptied at
/// the first line after that; every line is appended by open-write-close with "\r\n".
class tk_logger : public tk_singleton<tk_logger>
{
public:
    /// A null `file_name` takes default_file_name(); an enabled logger empties its file at once.
    tk_logger(const char* file_name, bool enabled, int threshold, bool time_stamp);
    ~tk_logger() override;

    /// The program's path with its extension replaced by ".log".
    static std::string default_file_name();

    /// Throws tk_mail_assertion for a null name.
    void set_file_name(const char* name);
    void set_enabled(bool enabled);
    void set_threshold(int threshold);

    const std::string& file_name() const { return m_file_name; }
    bool enabled() const { return m_enabled; }
    int threshold() const { return m_threshold; }

    /// Whether a call at `level` has anything to do (write, or empty the file first); lets the
    /// callers skip formatting cheaply on hot paths.
    bool wants(int level) const noexcept
    {
        return m_enabled.load(std::memory_order_relaxed) &&
               (level >= m_threshold.load(std::memory_order_relaxed) ||
                !m_truncated.load(std::memory_order_relaxed));
    }

    /// Writes one line made by `make_text` (called only when the level passes the threshold).
    /// Never throws: a file that cannot be opened or written loses the line, and write_failed()
    /// says so from then on.
    void write(int level, const std::function<std::string()>& make_text);

    /// Whether a line was lost since the program started because the file could not be
    /// emptied, opened or written (a full disk); read by the programs at the end, from any
    /// thread. write_error() is the system's error code of the first loss.
    bool write_failed() const { return m_write_error.load(std::memory_order_acquire) != 0; }
    int write_error() const { return m_write_error.load(std::memory_order_acquire); }
    /// What the programs say once at the end when write_failed(): the file, the system's text of
    /// the first error, and that lines are missing.
    std::string write_failure_text() const;

private:
    void empty_file();
    /// Records the first lost line's error code (errno; EIO when the system gave none).
    void note_write_failure(int error);

    mutable std::mutex m_mutex;
    std::string m_file_name;
    std::atomic<int> m_threshold;
    bool m_append_crlf = true;
    std::atomic<bool> m_enabled;
    std::atomic<bool> m_truncated = false;
    bool m_time_stamp;
    std::atomic<int> m_write_error{0};
};

/// Whether a line at `level` would be written: a caller whose arguments cost something to build
/// (a value's text, a hex dump) asks first.
inline bool tk_log_on(int level)
{
    const tk_logger* logger = tk_logger::find();
    return logger != nullptr && logger->wants(level);
}

/// Writes a narrow line (UTF-8) formatted in the system's printf dialect. No logger: nothing.
template <class... Args>
void tk_log(int level, const char* format, const Args&... args)
{
    tk_logger* logger = tk_logger::find();
    if (logger != nullptr && logger->wants(level))
    {
        logger->write(level, [&] { return plat::format(format, args...); });
    }
}

/// Writes a wide line (wide format: %s is a wide string), stored as UTF-8.
template <class... Args>
void tk_wlog(int level, const wchar_t* format, const Args&... args)
{
    tk_logger* logger = tk_logger::find();
    if (logger != nullptr && logger->wants(level))
    {
        logger->write(level, [&] { return plat::wformat(format, args...); });
    }
}
