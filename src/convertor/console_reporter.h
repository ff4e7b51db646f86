// console_reporter.h: the run's progress as console lines, the agent's form of the reporter.
#pragma once

#include "convertor/conversion_reporter.h"

#include <ostream>

class tk_converter;

/// Writes the run's lines to an output and an error stream as UTF-8. Nothing is written while
/// the converter's silent flag is set (it is read at each line, so a later --silent counts).
class console_reporter final : public conversion_reporter
{
public:
    console_reporter(std::ostream& out, std::ostream& err, const tk_converter& converter);

    /// The console has no timer: nothing happens.
    void start() override;
    /// "Converting database <name>(<n> tables)" and "Converting table <key>(<n> records)" in the
    /// console's own wording; the schema line as the run words it. Standard output.
    void progress_line(const conversion_progress& line) override;
    /// "Table <key> not exists", or "Table <key> " + what the name is, on the error stream.
    void table_missing(const std::wstring& table, const std::wstring& what) override;
    /// Logs "ERROR:\n<text>" and writes the text on the error stream.
    void run_failed(const std::string& text) override;
    /// "Error: index <index> of table <key> was not created: <reason>" on standard output, as
    /// the other problems of a table.
    void index_failed(const std::wstring& table, const std::wstring& index,
                      const std::wstring& reason) override;

private:
    void write(std::ostream& stream, const std::string& line);

    std::ostream& m_out;
    std::ostream& m_err;
    const tk_converter& m_converter;
};
