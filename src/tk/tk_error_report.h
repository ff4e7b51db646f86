// tk_error_report.h: error-code texts, and the error report by clipboard or mail.
#pragma once

#include <map>
#include <span>
#include <string>

/// One entry of an error-code table.
struct tk_error_pair
{
    int code;
    const char* text;
};

/// Maps an exception's code to a friendlier text.
class tk_error_converter
{
public:
    /// Throws tk_mail_assertion for a null table.
    tk_error_converter(std::size_t count, const tk_error_pair* pairs);
    explicit tk_error_converter(std::span<const tk_error_pair> pairs);

    /// Adds the pairs in order; a code already present keeps its first text. Throws
    /// tk_mail_assertion for a null table.
    void load_map(std::size_t count, const tk_error_pair* pairs);
    void load_map(std::span<const tk_error_pair> pairs) { load_map(pairs.size(), pairs.data()); }

    /// The text for `code`; empty when the table has none.
    std::string convert(int code) const;

private:
    std::map<int, std::string> m_map;
};

/// Where error reports are mailed to.
inline constexpr char tk_bug_report_recipient[] = "zov-bugs@example.com";

/// Puts the text on the clipboard where a front-end provides one; failures are only logged.
void tk_copy_to_clipboard2(const std::wstring& text);

/// Hands an error report to the user's mail program; answers what the mail program answered
/// (-1 when there is none). Never throws.
int tk_send_bug(const std::string& title, const std::string& text);
