// tk_string.h: narrow (UTF-8) and wide strings with the toolkit's conversions, trims and case.
#pragma once

#include <cstddef>
#include <optional>
#include <string>

/// A narrow string; narrow text is UTF-8 throughout the system.
class tk_string : public std::string
{
public:
    using std::string::string;
    tk_string() = default;
    tk_string(const std::string& text)
        : std::string(text)
    {
    }

    /// Wide to UTF-8; the result ends at the first NUL. Never fails for any wide text.
    static std::string to_utf8(const std::wstring& text);
    /// Wide to the ANSI code page, which is UTF-8 here; `code_page` is -1 (the default) or 65001.
    static std::string to_ansi(const std::wstring& text, int code_page = -1);

    /// Lower-cases the ASCII letters in place and returns a copy.
    std::string to_lower();
    /// Case-insensitive order: negative, 0 or positive.
    static int compare_no_case(const std::string& a, const std::string& b);
};

/// A wide string (UTF-32 code points).
class tk_wstring : public std::wstring
{
public:
    using std::wstring::wstring;
    tk_wstring() = default;
    tk_wstring(const std::wstring& text)
        : std::wstring(text)
    {
    }

    /// Strict UTF-8 to wide; throws tk_exception_ex "Cannot convert to UNICODE string: ..."
    /// (severity 0, code EILSEQ) for invalid UTF-8. The result ends at the first NUL.
    static std::wstring from_utf8(const std::string& text);
    /// The ANSI code page is UTF-8 here: the same as from_utf8.
    static std::wstring from_ansi(const std::string& text);

    /// Lower-cases the ASCII letters in place and returns a copy.
    std::wstring to_lower();
    tk_wstring& trim_left();
    tk_wstring& trim_right();

    static bool ends_with(const std::wstring& text, const std::wstring& suffix,
                          bool case_sensitive);
    /// Replaces every `old_text` by `new_text`, resuming after the inserted text; an empty
    /// `old_text` leaves the text as it is.
    static std::wstring replace_all(const std::wstring& text, const std::wstring& old_text,
                                    const std::wstring& new_text);
};

/// Wide to narrow; nothing for a null input.
std::optional<std::string> tk_to_narrow(const wchar_t* text);
/// Narrow to wide; nothing for a null input or invalid UTF-8.
std::optional<std::wstring> tk_to_wide(const char* text);

/// Trims blanks (U+0020 only; tabs stay).
std::string tk_ltrim(const std::string& text);
std::string tk_rtrim(const std::string& text);
std::string tk_trim(const std::string& text);
std::wstring tk_ltrim_w(const std::wstring& text);
std::wstring tk_rtrim_w(const std::wstring& text);
std::wstring tk_trim_w(const std::wstring& text);

/// Each byte as two upper-case hex digits.
std::string tk_hex_encode(std::size_t length, const unsigned char* bytes);
