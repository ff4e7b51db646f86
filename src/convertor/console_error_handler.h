// console_error_handler.h: the error handler's console form, which prints and ends the program.
#pragma once

#include "convertor/error_handler.h"

#include <ostream>

/// Thrown to end the program with `code`. Deliberately outside the exception family, so that no
/// handler of ordinary failures can catch it; only the program's main function does.
struct process_exit
{
    int code;
};

/// Prints errors to a stream. Severity 0 goes on; severity 1 and 2 end the program (-1).
class console_error_handler : public error_handler
{
public:
    console_error_handler(std::span<const tk_error_pair> table, std::ostream& out);

    /// Throws process_exit{-1} for severity 1 and 2.
    void handle(const tk_exception& error, bool final_stage) override;

protected:
    /// handle() writing to `stream` instead of the handler's own stream.
    void handle_on(std::ostream& stream, const tk_exception& error);

private:
    std::ostream& m_out;
};
