// tk_exception.h: the exception family every failure of the system travels in.
#pragma once

#include <exception>
#include <string>

/// How far a failure reaches. The values are the numbers severity() answers.
enum class tk_severity : int
{
    /// This value, row, table or step failed; the user may let the run go on.
    recoverable = 0,
    /// The run cannot go on.
    ends_run = 1,
    /// An internal error (an impossible state) that ends the program.
    internal = 2,
};

/// The base of every failure the system reports: a message, a numeric code and a severity
/// (tk_severity's numbers).
class tk_exception : public std::exception
{
public:
    explicit tk_exception(int severity);
    explicit tk_exception(tk_severity severity)
        : tk_exception(static_cast<int>(severity))
    {
    }
    /// An empty text gives "Unknown exception".
    tk_exception(const std::string& text, int severity);
    tk_exception(const std::string& text, tk_severity severity)
        : tk_exception(text, static_cast<int>(severity))
    {
    }
    /// Wide text is stored as UTF-8.
    tk_exception(const std::wstring& text, int severity);
    tk_exception(const std::wstring& text, tk_severity severity)
        : tk_exception(text, static_cast<int>(severity))
    {
    }

    const char* what() const noexcept override { return m_message.c_str(); }

    const std::string& message() const { return m_message; }
    int code() const { return m_code; }
    int severity() const { return m_severity; }
    /// severity() by name; a number outside 0-2 names none of the values.
    tk_severity level() const { return static_cast<tk_severity>(m_severity); }

    /// The failure took the connection to a server with it: nothing more can be done over that
    /// connection, so the run ends instead of trying the next row or table. Set where a
    /// library's error is translated, and kept by every exception that wraps another.
    bool connection_lost() const { return m_connection_lost; }
    void set_connection_lost(bool lost) { m_connection_lost = lost; }

protected:
    void set_message(std::string message) { m_message = std::move(message); }
    void set_code(int code) { m_code = code; }
    void set_severity(int severity) { m_severity = severity; }

private:
    std::string m_message;
    int m_code = 0;
    int m_severity = 0;
    bool m_connection_lost = false;
};

/// A failure that carries the last system error: code = plat::last_error(), message = prefix +
/// the system's text for it ("Unknown exception" when there is none).
class tk_exception_ex : public tk_exception
{
public:
    tk_exception_ex();
    tk_exception_ex(const std::string& prefix, int severity);
    tk_exception_ex(const std::string& prefix, tk_severity severity)
        : tk_exception_ex(prefix, static_cast<int>(severity))
    {
    }

private:
    void append_last_error(const std::string& prefix);
};

/// An impossible state: "Internal error: \ncode=" + the hex of "file\line"; severity 2.
class tk_mail_assertion : public tk_exception
{
public:
    tk_mail_assertion(const char* source_file, int line);
};

/// The signal that ends a conversion run. Deliberately not a tk_exception, so that handlers of
/// ordinary failures inside a run cannot swallow it.
class tk_final_exception : public std::exception
{
public:
    tk_final_exception();
    const char* what() const noexcept override { return "Unknown exception"; }
};
