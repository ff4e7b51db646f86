// tk_error_report.cpp: error-code texts, clipboard copy and the mailed error report.
#include "tk/tk_error_report.h"

#include "plat/plat_desktop.h"
#include "plat/plat_err.h"
#include "tk/tk_exception.h"
#include "tk/tk_file.h"
#include "tk/tk_logger.h"

tk_error_converter::tk_error_converter(std::size_t count, const tk_error_pair* pairs)
{
    tk_log(2, "tk_error_converter::ctor (map size=%d)", count);
    load_map(count, pairs);
}

tk_error_converter::tk_error_converter(std::span<const tk_error_pair> pairs)
    : tk_error_converter(pairs.size(), pairs.data())
{
}

void tk_error_converter::load_map(std::size_t count, const tk_error_pair* pairs)
{
    tk_log(2, "tk_error_converter::load_map (map size=%d)", count);
    if (pairs == nullptr)
    {
        throw tk_mail_assertion("tk_errco", 43);
    }
    for (std::size_t idx = 0; idx < count; ++idx)
    {
        m_map.emplace(pairs[idx].code, pairs[idx].text != nullptr ? pairs[idx].text : "");
    }
}

std::string tk_error_converter::convert(int code) const
{
    tk_log(2, "tk_error_converter::convert(%d)", code);
    const auto found = m_map.find(code);
    if (found == m_map.end())
    {
        tk_log(1, "Error message not found!");
        return {};
    }
    tk_log(1, "Error message has been found: %s", found->second);
    return found->second;
}

void tk_copy_to_clipboard2(const std::wstring& text)
{
    tk_wlog(2, L"tk_copy_to_clipboard2(%s)", text);
    if (plat::copy_to_clipboard(text))
    {
        tk_log(2, "OpenClipboard succeeded");
    }
    else
    {
        tk_log(2, "GetLastError() returns %08X", plat::last_error());
    }
}

int tk_send_bug(const std::string& title, const std::string& text)
{
    tk_log(2, "tk_send_bug(%s|%s)", title, text);
    // The mail program may change the working directory; it is restored afterwards.
    const tk_temp_chdir keep_dir(".");
    // The mail program stamps the date itself; the report is subject, text and one recipient.
    const int result = plat::send_mail("Bug report on " + title, text, tk_bug_report_recipient);
    if (result < 0)
    {
        // No desktop mail program (xdg-email) on this machine: nothing is sent.
        tk_log(2, "Failed to locate xdg-email");
        return result;
    }
    tk_log(2, "xdg-email returns %d", result);
    return result;
}
