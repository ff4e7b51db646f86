// console_reporter.cpp: the console lines of a conversion run.
#include "convertor/console_reporter.h"

#include "plat/plat_text.h"
#include "tk/tk_converter.h"
#include "tk/tk_logger.h"

console_reporter::console_reporter(std::ostream& out, std::ostream& err,
                                   const tk_converter& converter)
    : m_out(out)
    , m_err(err)
    , m_converter(converter)
{
}

void console_reporter::start() {}

void console_reporter::progress_line(const conversion_progress& line)
{
    switch (line.kind)
    {
    case progress_kind::database:
        write(m_out, "Converting database " + plat::wide_to_utf8(line.name) + "(" +
                         std::to_string(line.count) + " tables)\n");
        break;
    case progress_kind::schema:
        write(m_out, plat::wide_to_utf8(line.text));
        break;
    case progress_kind::table:
        write(m_out, "Converting table " + plat::wide_to_utf8(line.name) + "(" +
                         std::to_string(line.count) + " records)\n");
        break;
    }
}

void console_reporter::table_missing(const std::wstring& table, const std::wstring& what)
{
    write(m_err, "Table " + plat::wide_to_utf8(table) + " " +
                     (what.empty() ? std::string("not exists") : plat::wide_to_utf8(what)) + "\n");
}

void console_reporter::run_failed(const std::string& text)
{
    tk_log(3, "ERROR:\n%s", text);
    write(m_err, text + "\n");
}

void console_reporter::index_failed(const std::wstring& table, const std::wstring& index,
                                    const std::wstring& reason)
{
    write(m_out, "Error: index " + plat::wide_to_utf8(index) + " of table " +
                     plat::wide_to_utf8(table) + " was not created: " + plat::wide_to_utf8(reason) +
                     "\n");
}

void console_reporter::write(std::ostream& stream, const std::string& line)
{
    if (m_converter.silent())
    {
        return;
    }
    // Flushed at once: the agent may end the process right after a line.
    stream << line << std::flush;
}
