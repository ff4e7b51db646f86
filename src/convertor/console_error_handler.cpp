// console_error_handler.cpp: the error handler's console form.
#include "convertor/console_error_handler.h"

#include "tk/tk_logger.h"

console_error_handler::console_error_handler(std::span<const tk_error_pair> table,
                                             std::ostream& out)
    : error_handler(table)
    , m_out(out)
{
}

void console_error_handler::handle(const tk_exception& error, bool /*final_stage*/)
{
    handle_on(m_out, error);
}

void console_error_handler::handle_on(std::ostream& stream, const tk_exception& error)
{
    tk_log(2, "error_handler::handle");
    if (error.level() == tk_severity::internal)
    {
        tk_log(3, "Internal error:\n%s", error.message());
        stream << "Internal error: " << error.message() << std::endl;
        throw process_exit{-1};
    }
    const std::string message = build_message(error);
    if (!quiet())
    {
        stream << "Error:" << std::endl << message << std::endl;
    }
    if (error.level() == tk_severity::ends_run)
    {
        tk_log(2, "Got 1-level error");
        stream.flush();
        throw process_exit{-1};
    }
    tk_log(2, "Got 0-level error");
}
