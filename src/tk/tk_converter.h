// tk_converter.h: the toolkit base of the converter: a functor with the run's names and log file.
#pragma once

#include "tk/tk_thread.h"

#include <atomic>
#include <string>

/// A conversion as a thread functor: source and target names, the log file, the silent flag
/// and the `done` flag that a watcher polls while the run goes on.
class tk_converter : public tk_thread_functor
{
public:
    tk_converter();

    virtual void set_silent(bool silent) { m_silent = silent; }
    bool silent() const { return m_silent; }

    /// Checks and stores the log file and points the logger at it. Throws tk_exception
    /// (severity 1) as check_logfile does; an empty path is stored and leaves the logger as it
    /// is.
    void set_logfile(const std::string& path);
    /// Throws tk_exception (severity 1) for a log file that could not be written: an existing
    /// read-only file, a missing directory, a directory, or a file that cannot be created or
    /// opened for appending. Changes no file; an empty path passes.
    static void check_logfile(const std::string& path);
    const std::string& log_file() const { return m_log_file; }
    /// Keeps a log file path without checking it or enabling the log (settings being loaded).
    void remember_log_file(const std::string& path) { m_log_file = path; }

    bool done() const { return m_done.load(); }
    void set_done(bool done) { m_done = done; }

    const std::wstring& src() const { return m_src; }
    const std::wstring& dest() const { return m_dest; }
    void set_src(const std::wstring& name) { m_src = name; }
    void set_dest(const std::wstring& name) { m_dest = name; }

private:
    std::atomic<bool> m_done{false};
    bool m_silent = false;
    std::wstring m_src;
    std::wstring m_dest;
    std::string m_log_file;
};
