// plat_text.cpp: the UTF-8 / UTF-32 / UTF-16 codec and comparison in a fixed C.UTF-8 locale.
#include "plat/plat_text.h"

#include "plat/plat_err.h"

#include <cerrno>
#include <clocale>
#include <cwctype>
#include <locale.h>
#include <wctype.h>

namespace plat
{

namespace
{

constexpr char32_t replacement_char = 0xFFFD;

bool is_valid_code_point(char32_t c)
{
    return c <= 0x10FFFF && (c < 0xD800 || c > 0xDFFF);
}

// Decodes one sequence at `pos`; answers false for any ill-formed input and leaves `pos` on it.
bool decode_one(std::string_view in, std::size_t& pos, char32_t& out)
{
    const auto lead = static_cast<unsigned char>(in[pos]);
    std::size_t length = 0;
    char32_t value = 0;
    char32_t minimum = 0;
    if (lead < 0x80)
    {
        out = lead;
        ++pos;
        return true;
    }
    if ((lead & 0xE0) == 0xC0)
    {
        length = 2;
        value = lead & 0x1F;
        minimum = 0x80;
    }
    else if ((lead & 0xF0) == 0xE0)
    {
        length = 3;
        value = lead & 0x0F;
        minimum = 0x800;
    }
    else if ((lead & 0xF8) == 0xF0)
    {
        length = 4;
        value = lead & 0x07;
        minimum = 0x10000;
    }
    else
    {
        return false;
    }
    if (pos + length > in.size())
    {
        return false;
    }
    for (std::size_t idx = 1; idx < length; ++idx)
    {
        const auto next = static_cast<unsigned char>(in[pos + idx]);
        if ((next & 0xC0) != 0x80)
        {
            return false;
        }
        value = (value << 6) | (next & 0x3F);
    }
    if (value < minimum || !is_valid_code_point(value))
    {
        return false;
    }
    out = value;
    pos += length;
    return true;
}

void encode_one(char32_t c, std::string& out)
{
    if (!is_valid_code_point(c))
    {
        c = replacement_char;
    }
    if (c < 0x80)
    {
        out += static_cast<char>(c);
    }
    else if (c < 0x800)
    {
        out += static_cast<char>(0xC0 | (c >> 6));
        out += static_cast<char>(0x80 | (c & 0x3F));
    }
    else if (c < 0x10000)
    {
        out += static_cast<char>(0xE0 | (c >> 12));
        out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (c & 0x3F));
    }
    else
    {
        out += static_cast<char>(0xF0 | (c >> 18));
        out += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
        out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (c & 0x3F));
    }
}

// The one locale used for case folding and character classes, whatever the process locale is.
locale_t utf8_locale()
{
    static const locale_t locale = []
    {
        locale_t made = ::newlocale(LC_CTYPE_MASK, "C.UTF-8", static_cast<locale_t>(nullptr));
        return made != static_cast<locale_t>(nullptr)
                   ? made
                   : ::newlocale(LC_CTYPE_MASK, "C", static_cast<locale_t>(nullptr));
    }();
    return locale;
}

template <class Text>
int compare_folded(const Text& a, const Text& b)
{
    const std::size_t common = std::min(a.size(), b.size());
    for (std::size_t idx = 0; idx < common; ++idx)
    {
        const wchar_t left = fold_case(a[idx]);
        const wchar_t right = fold_case(b[idx]);
        if (left != right)
        {
            return left < right ? -1 : 1;
        }
    }
    if (a.size() == b.size())
    {
        return 0;
    }
    return a.size() < b.size() ? -1 : 1;
}

} // namespace

bool utf8_to_wide(std::string_view in, std::wstring& out)
{
    out.clear();
    out.reserve(in.size());
    std::size_t pos = 0;
    while (pos < in.size())
    {
        char32_t c = 0;
        if (!decode_one(in, pos, c))
        {
            out.clear();
            set_last_error(EILSEQ);
            return false;
        }
        out += static_cast<wchar_t>(c);
    }
    return true;
}

std::wstring utf8_to_wide_lossy(std::string_view in)
{
    std::wstring out;
    out.reserve(in.size());
    std::size_t pos = 0;
    while (pos < in.size())
    {
        char32_t c = 0;
        if (decode_one(in, pos, c))
        {
            out += static_cast<wchar_t>(c);
        }
        else
        {
            out += static_cast<wchar_t>(replacement_char);
            ++pos;
        }
    }
    return out;
}

std::string wide_to_utf8(std::wstring_view in)
{
    std::string out;
    out.reserve(in.size());
    for (wchar_t c : in)
    {
        encode_one(static_cast<char32_t>(c), out);
    }
    return out;
}

std::u16string wide_to_utf16(std::wstring_view in)
{
    std::u16string out;
    out.reserve(in.size());
    wide_to_utf16(in, out);
    return out;
}

void wide_to_utf16(std::wstring_view in, std::u16string& out)
{
    out.clear();
    for (wchar_t wc : in)
    {
        auto c = static_cast<char32_t>(wc);
        if (!is_valid_code_point(c))
        {
            c = replacement_char;
        }
        if (c < 0x10000)
        {
            out += static_cast<char16_t>(c);
        }
        else
        {
            c -= 0x10000;
            out += static_cast<char16_t>(0xD800 + (c >> 10));
            out += static_cast<char16_t>(0xDC00 + (c & 0x3FF));
        }
    }
}

void utf16_to_utf8(std::u16string_view in, std::string& out)
{
    out.clear();
    for (std::size_t idx = 0; idx < in.size(); ++idx)
    {
        const char16_t unit = in[idx];
        char32_t c = unit;
        if (unit >= 0xD800 && unit <= 0xDBFF && idx + 1 < in.size() && in[idx + 1] >= 0xDC00 &&
            in[idx + 1] <= 0xDFFF)
        {
            c = 0x10000 + ((unit - 0xD800) << 10) + (in[idx + 1] - 0xDC00);
            ++idx;
        }
        else if (unit >= 0xD800 && unit <= 0xDFFF)
        {
            c = replacement_char;
        }
        encode_one(c, out);
    }
}

std::string utf16_to_utf8(std::u16string_view in)
{
    std::string out;
    out.reserve(in.size());
    utf16_to_utf8(in, out);
    return out;
}

std::wstring utf16_to_wide(std::u16string_view in)
{
    std::wstring out;
    out.reserve(in.size());
    for (std::size_t idx = 0; idx < in.size(); ++idx)
    {
        const char16_t unit = in[idx];
        if (unit >= 0xD800 && unit <= 0xDBFF && idx + 1 < in.size() && in[idx + 1] >= 0xDC00 &&
            in[idx + 1] <= 0xDFFF)
        {
            const char32_t c = 0x10000 + ((unit - 0xD800) << 10) + (in[idx + 1] - 0xDC00);
            out += static_cast<wchar_t>(c);
            ++idx;
        }
        else if (unit >= 0xD800 && unit <= 0xDFFF)
        {
            out += static_cast<wchar_t>(replacement_char);
        }
        else
        {
            out += static_cast<wchar_t>(unit);
        }
    }
    return out;
}

wchar_t fold_case(wchar_t c)
{
    if (c < 0x80)
    {
        return (c >= L'A' && c <= L'Z') ? static_cast<wchar_t>(c + (L'a' - L'A')) : c;
    }
    return static_cast<wchar_t>(::towlower_l(static_cast<wint_t>(c), utf8_locale()));
}

bool is_alnum(wchar_t c)
{
    return ::iswalnum_l(static_cast<wint_t>(c), utf8_locale()) != 0;
}

bool equal_ci(std::wstring_view a, std::wstring_view b)
{
    return a.size() == b.size() && compare_folded(a, b) == 0;
}

int compare_ci(std::wstring_view a, std::wstring_view b)
{
    return compare_folded(a, b);
}

bool equal_ci(std::string_view a, std::string_view b)
{
    return equal_ci(std::wstring_view(utf8_to_wide_lossy(a)),
                    std::wstring_view(utf8_to_wide_lossy(b)));
}

int compare_ci(std::string_view a, std::string_view b)
{
    return compare_ci(std::wstring_view(utf8_to_wide_lossy(a)),
                      std::wstring_view(utf8_to_wide_lossy(b)));
}

void ascii_lower(std::string& text)
{
    for (char& c : text)
    {
        if (c >= 'A' && c <= 'Z')
        {
            c = static_cast<char>(c + ('a' - 'A'));
        }
    }
}

void ascii_lower(std::wstring& text)
{
    for (wchar_t& c : text)
    {
        if (c >= L'A' && c <= L'Z')
        {
            c = static_cast<wchar_t>(c + (L'a' - L'A'));
        }
    }
}

} // namespace plat
