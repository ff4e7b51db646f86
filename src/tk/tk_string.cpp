// tk_string.cpp: code-page conversions, trims, case and replacement of the toolkit.
#include "tk/tk_string.h"

#include "plat/plat_text.h"
#include "tk/tk_exception.h"
#include "tk/tk_logger.h"

namespace
{

template <class Text>
Text up_to_nul(Text text)
{
    const auto nul = text.find(typename Text::value_type{});
    if (nul != Text::npos)
    {
        text.resize(nul);
    }
    return text;
}

template <class Text>
Text left_trimmed(const Text& text)
{
    const auto first = text.find_first_not_of(typename Text::value_type(' '));
    return first == Text::npos ? Text() : text.substr(first);
}

template <class Text>
Text right_trimmed(const Text& text)
{
    const auto last = text.find_last_not_of(typename Text::value_type(' '));
    if (last == Text::npos)
    {
        if (!text.empty())
        {
            tk_log(1, "Special processing for all-spaces-string");
        }
        return Text();
    }
    return text.substr(0, last + 1);
}

} // namespace

std::string tk_string::to_utf8(const std::wstring& text)
{
    return up_to_nul(plat::wide_to_utf8(text));
}

std::string tk_string::to_ansi(const std::wstring& text, int code_page)
{
    if (code_page != -1 && code_page != 65001)
    {
        tk_log(1, "tk_string::to_ansi: code page %d is taken as UTF-8", code_page);
    }
    return to_utf8(text);
}

std::string tk_string::to_lower()
{
    tk_log(1, "tk_string::to_lower(%s)", static_cast<const std::string&>(*this));
    plat::ascii_lower(*this);
    return *this;
}

int tk_string::compare_no_case(const std::string& a, const std::string& b)
{
    return plat::compare_ci(std::string_view(a), std::string_view(b));
}

std::wstring tk_wstring::from_utf8(const std::string& text)
{
    std::wstring wide;
    if (!plat::utf8_to_wide(text, wide))
    {
        throw tk_exception_ex("Cannot convert to UNICODE string: ", tk_severity::recoverable);
    }
    return up_to_nul(std::move(wide));
}

std::wstring tk_wstring::from_ansi(const std::string& text)
{
    return from_utf8(text);
}

std::wstring tk_wstring::to_lower()
{
    tk_wlog(1, L"tk_wstring::to_lower(%s)", static_cast<const std::wstring&>(*this));
    plat::ascii_lower(*this);
    return *this;
}

tk_wstring& tk_wstring::trim_left()
{
    assign(left_trimmed<std::wstring>(*this));
    return *this;
}

tk_wstring& tk_wstring::trim_right()
{
    assign(right_trimmed<std::wstring>(*this));
    return *this;
}

bool tk_wstring::ends_with(const std::wstring& text, const std::wstring& suffix,
                           bool case_sensitive)
{
    if (suffix.empty())
    {
        return true;
    }
    if (suffix.size() > text.size())
    {
        return false;
    }
    const std::wstring_view tail = std::wstring_view(text).substr(text.size() - suffix.size());
    return case_sensitive ? tail == suffix : plat::equal_ci(tail, std::wstring_view(suffix));
}

std::wstring tk_wstring::replace_all(const std::wstring& text, const std::wstring& old_text,
                                     const std::wstring& new_text)
{
    tk_wlog(1, L"tk_wstring::replace_all(%s,%s)", old_text, new_text);
    if (old_text.empty())
    {
        return text;
    }
    std::wstring result = text;
    std::size_t pos = result.find(old_text);
    while (pos != std::wstring::npos)
    {
        result.replace(pos, old_text.size(), new_text);
        pos = result.find(old_text, pos + new_text.size());
    }
    return result;
}

std::optional<std::string> tk_to_narrow(const wchar_t* text)
{
    if (text == nullptr)
    {
        return std::nullopt;
    }
    return plat::wide_to_utf8(text);
}

std::optional<std::wstring> tk_to_wide(const char* text)
{
    std::wstring wide;
    if (text == nullptr || !plat::utf8_to_wide(text, wide))
    {
        return std::nullopt;
    }
    return wide;
}

std::string tk_ltrim(const std::string& text)
{
    return left_trimmed(text);
}
std::string tk_rtrim(const std::string& text)
{
    return right_trimmed(text);
}
std::string tk_trim(const std::string& text)
{
    return tk_ltrim(tk_rtrim(text));
}
std::wstring tk_ltrim_w(const std::wstring& text)
{
    return left_trimmed(text);
}
std::wstring tk_rtrim_w(const std::wstring& text)
{
    return right_trimmed(text);
}
std::wstring tk_trim_w(const std::wstring& text)
{
    return tk_ltrim_w(tk_rtrim_w(text));
}

std::string tk_hex_encode(std::size_t length, const unsigned char* bytes)
{
    static constexpr char digits[] = "0123456789ABCDEF";
    if (bytes == nullptr && length > 0)
    {
        throw tk_mail_assertion("tk_utils", 808);
    }
    std::string hex;
    hex.reserve(length * 2);
    for (std::size_t idx = 0; idx < length; ++idx)
    {
        hex += digits[bytes[idx] >> 4];
        hex += digits[bytes[idx] & 0x0F];
    }
    return hex;
}
