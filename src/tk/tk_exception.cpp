// tk_exception.cpp: the exception family's constructors.
#include "tk/tk_exception.h"

#include "plat/plat_err.h"
#include "plat/plat_text.h"
#include "tk/tk_logger.h"

#include <cstdio>

namespace
{
const char unknown_text[] = "Unknown exception";
}

tk_exception::tk_exception(int severity)
    : m_message(unknown_text)
    , m_severity(severity)
{
}

tk_exception::tk_exception(const std::string& text, int severity)
    : m_message(text.empty() ? unknown_text : text)
    , m_severity(severity)
{
}

tk_exception::tk_exception(const std::wstring& text, int severity)
    : m_message(plat::wide_to_utf8(text))
    , m_severity(severity)
{
}

tk_exception_ex::tk_exception_ex()
    : tk_exception(tk_severity::ends_run)
{
    append_last_error("");
}

tk_exception_ex::tk_exception_ex(const std::string& prefix, int severity)
    : tk_exception(severity)
{
    append_last_error(prefix);
}

void tk_exception_ex::append_last_error(const std::string& prefix)
{
    set_code(plat::last_error());
    const std::string system_text = plat::error_text(code());
    if (!system_text.empty())
    {
        set_message(prefix + system_text);
        tk_log(2, "GetLastError: %s", system_text);
    }
}

tk_mail_assertion::tk_mail_assertion(const char* source_file, int line)
    : tk_exception(tk_severity::internal)
{
    const std::string file = source_file != nullptr ? source_file : "";
    tk_log(2, "make_err_meggase(%s, %d)", file, line);
    std::string position = file + "\\" + std::to_string(line);
    if (position.size() > 275)
    {
        position.resize(275);
    }
    tk_log(2, "result=%s", position);
    std::string hex;
    for (unsigned char c : position)
    {
        char digits[3];
        std::snprintf(digits, sizeof digits, "%02x", c);
        hex += digits;
    }
    set_message("Internal error: \ncode=" + hex);
    tk_log(2, "tk_mail_assertion::ctor(%s)", file);
}

tk_final_exception::tk_final_exception()
{
    tk_log(2, "tk_final_exception::ctor");
}
