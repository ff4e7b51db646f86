// agent_console.cpp: the fatal exit and the agent's reporter and error handler.
#include "zovagent/agent_console.h"

#include "convertor/vandrel_convertor.h"
#include "tk/tk_logger.h"

void fatal_exit(const agent_context& context, const std::string& text)
{
    tk_log(3, "%s", text);
    if (!context.converter.silent())
    {
        context.err << text << '\n';
    }
    // Nothing may be lost when the program ends right after this line.
    context.out.flush();
    context.err.flush();
    throw process_exit{-1};
}

agent_error_handler::agent_error_handler(std::span<const tk_error_pair> table, std::ostream& out,
                                         std::ostream& err)
    : console_error_handler(table, out)
    , m_err(err)
{
}

void agent_error_handler::refuse(const tk_exception& error)
{
    handle_on(m_err, error);
    // Severity 0 comes back: nothing was connected or converted, and the program must still
    // not report success.
    m_err.flush();
    throw process_exit{-1};
}

void agent_error_handler::handle(const tk_exception& error, bool final_stage)
{
    // Only the run level hands an error over with final_stage set: the run ends there.
    if (final_stage)
    {
        m_run_ended_by_error = true;
    }
    console_error_handler::handle(error, final_stage);
}

agent_reporter::agent_reporter(std::ostream& out, std::ostream& err, const tk_converter& converter)
    : m_console(out, err, converter)
{
}

void agent_reporter::start()
{
    m_console.start();
}

void agent_reporter::progress_line(const conversion_progress& line)
{
    m_console.progress_line(line);
}

void agent_reporter::table_missing(const std::wstring& table, const std::wstring& what)
{
    m_console.table_missing(table, what);
}

void agent_reporter::index_failed(const std::wstring& table, const std::wstring& index,
                                  const std::wstring& reason)
{
    m_console.index_failed(table, index, reason);
}

void agent_reporter::run_failed(const std::string& text)
{
    m_run_failed = true;
    m_console.run_failed(text);
}
