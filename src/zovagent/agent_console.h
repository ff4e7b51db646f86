// agent_console.h: the agent's console: its streams, the fatal exit, and the console forms of
// the run's reporter and error handler, which remember whether the run failed as a whole.
#pragma once

#include "convertor/console_error_handler.h"
#include "convertor/console_reporter.h"

#include <ostream>
#include <string>

class vandrel_convertor;

/// What the agent's steps write to and act on. The objects belong to the agent's main function.
struct agent_context
{
    std::ostream& out;
    std::ostream& err;
    vandrel_convertor& converter;
    error_handler& handler;
};

/// Logs `text` at level 3, writes it and a line end to the error stream unless the converter is
/// already silent, and ends the program with -1 by throwing process_exit{-1}, which only the
/// agent's main function catches.
[[noreturn]] void fatal_exit(const agent_context& context, const std::string& text);

/// The console error handler that also remembers an error which ended a run (one handled at the
/// run level), so that the program does not report such a run as a success.
class agent_error_handler final : public console_error_handler
{
public:
    /// Errors of the connections and the run go to `out`, refusals to `err`.
    agent_error_handler(std::span<const tk_error_pair> table, std::ostream& out, std::ostream& err);

    /// As the console handler; throws process_exit{-1} for severity 1 and 2.
    void handle(const tk_exception& error, bool final_stage) override;
    /// Says why an option, a profile or a table list was refused, on the error stream with the
    /// other refusals (unless quiet), and ends the program with -1.
    [[noreturn]] void refuse(const tk_exception& error);

    bool run_ended_by_error() const { return m_run_ended_by_error; }

private:
    std::ostream& m_err;
    bool m_run_ended_by_error = false;
};

/// The console reporter that also remembers a run that ended through a failure outside the
/// system's exception family.
class agent_reporter final : public conversion_reporter
{
public:
    agent_reporter(std::ostream& out, std::ostream& err, const tk_converter& converter);

    void start() override;
    void progress_line(const conversion_progress& line) override;
    void table_missing(const std::wstring& table, const std::wstring& what) override;
    void run_failed(const std::string& text) override;
    void index_failed(const std::wstring& table, const std::wstring& index,
                      const std::wstring& reason) override;

    bool run_failed_seen() const { return m_run_failed; }

private:
    console_reporter m_console;
    bool m_run_failed = false;
};
