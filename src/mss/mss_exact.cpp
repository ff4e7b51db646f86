// mss_exact.cpp: the rules by which an existing column holds a value unchanged, or refuses it.
#include "mss/mss_exact.h"

#include "ole/ole_exception.h"
#include "plat/plat_fmt.h"
#include "plat/plat_text.h"
#include "tk/tk_logger.h"
#include "udb/udb_value_exception.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdint>
#include <functional>
#include <iconv.h>
#include <limits>
#include <optional>
#include <string>
#include <string_view>

namespace
{

enum class type_family
{
    integer,
    bit,
    floating,
    date,
    smalldatetime,
    datetime,
    datetime2,
    time,
    narrow_text,
    wide_text,
    other,
};

type_family family_of(const std::wstring& name)
{
    if (name == L"tinyint" || name == L"smallint" || name == L"int" || name == L"bigint")
    {
        return type_family::integer;
    }
    if (name == L"bit")
    {
        return type_family::bit;
    }
    if (name == L"real" || name == L"float")
    {
        return type_family::floating;
    }
    if (name == L"date")
    {
        return type_family::date;
    }
    if (name == L"smalldatetime")
    {
        return type_family::smalldatetime;
    }
    if (name == L"datetime")
    {
        return type_family::datetime;
    }
    if (name == L"datetime2")
    {
        return type_family::datetime2;
    }
    if (name == L"time")
    {
        return type_family::time;
    }
    if (name == L"char" || name == L"varchar" || name == L"text")
    {
        return type_family::narrow_text;
    }
    if (name == L"nchar" || name == L"nvarchar" || name == L"ntext")
    {
        return type_family::wide_text;
    }
    return type_family::other;
}

bool is_blank(wchar_t c)
{
    return c == L' ' || c == L'\t';
}

std::wstring_view trimmed(std::wstring_view text)
{
    while (!text.empty() && is_blank(text.front()))
    {
        text.remove_prefix(1);
    }
    while (!text.empty() && is_blank(text.back()))
    {
        text.remove_suffix(1);
    }
    return text;
}

// A text that reads whole as a whole number: blanks around it, an optional sign, digits.
std::optional<std::int64_t> whole_text(std::wstring_view text)
{
    text = trimmed(text);
    bool negative = false;
    if (!text.empty() && (text.front() == L'+' || text.front() == L'-'))
    {
        negative = text.front() == L'-';
        text.remove_prefix(1);
    }
    if (text.empty())
    {
        return std::nullopt;
    }
    // Accumulated negative: the most negative number has no positive counterpart.
    std::int64_t number = 0;
    for (const wchar_t c : text)
    {
        if (c < L'0' || c > L'9')
        {
            return std::nullopt;
        }
        const int digit = c - L'0';
        if (number < (std::numeric_limits<std::int64_t>::min() + digit) / 10)
        {
            return std::nullopt;
        }
        number = number * 10 - digit;
    }
    if (!negative && number == std::numeric_limits<std::int64_t>::min())
    {
        return std::nullopt;
    }
    return negative ? number : -number;
}

// The whole number a value is, when it is one; booleans are none (the bit rule takes them).
std::optional<std::int64_t> whole_number(const ole_variant& value)
{
    switch (value.get_type())
    {
    case VT_I1:
    case VT_I2:
    case VT_I4:
    case VT_INT:
    case VT_UI1:
    case VT_UI2:
    case VT_UI4:
    case VT_UINT:
    case VT_I8:
    {
        ole_variant wide = value;
        wide.change_type(VT_I8);
        return wide.i64_value;
    }
    case VT_UI8:
        if (value.u64_value > static_cast<std::uint64_t>(std::numeric_limits<std::int64_t>::max()))
        {
            return std::nullopt;
        }
        return static_cast<std::int64_t>(value.u64_value);
    case VT_R4:
    case VT_R8:
    {
        const double number = value.get_type() == VT_R4 ? value.value.fltVal : value.value.dblVal;
        // 2^63 is the first double beyond the range.
        if (!std::isfinite(number) || std::trunc(number) != number ||
            number >= 9.2233720368547758e18 || number < -9.2233720368547758e18)
        {
            return std::nullopt;
        }
        return static_cast<std::int64_t>(number);
    }
    case VT_DECIMAL:
    {
        // A decimal with a fraction of zeros only (2.00) is the whole number it shows.
        std::string text = value.to_string();
        if (const std::size_t point = text.find('.'); point != std::string::npos)
        {
            if (text.find_first_not_of('0', point + 1) != std::string::npos)
            {
                return std::nullopt;
            }
            text.erase(point);
        }
        return whole_text(plat::utf8_to_wide_lossy(text));
    }
    case VT_CY:
        if (value.value.cyVal.int64 % 10000 != 0)
        {
            return std::nullopt;
        }
        return value.value.cyVal.int64 / 10000;
    case VT_BSTR:
        return whole_text(value.to_wstring());
    default:
        return std::nullopt;
    }
}

struct integer_range
{
    std::int64_t low;
    std::int64_t high;
};

integer_range range_of(const std::wstring& name)
{
    if (name == L"tinyint")
    {
        return {0, 255};
    }
    if (name == L"smallint")
    {
        return {-32768, 32767};
    }
    if (name == L"int")
    {
        return {std::numeric_limits<std::int32_t>::min(), std::numeric_limits<std::int32_t>::max()};
    }
    return {std::numeric_limits<std::int64_t>::min(), std::numeric_limits<std::int64_t>::max()};
}

// A number's text as sign, significant digits and the power of ten of the first of them
// ("-0.0250" and "-2.5e-2" are both "-25e-2"); nullopt for text that is no number.
std::optional<std::string> canonical_number(std::string_view text)
{
    while (!text.empty() && text.front() == ' ')
    {
        text.remove_prefix(1);
    }
    while (!text.empty() && text.back() == ' ')
    {
        text.remove_suffix(1);
    }
    bool negative = false;
    if (!text.empty() && (text.front() == '+' || text.front() == '-'))
    {
        negative = text.front() == '-';
        text.remove_prefix(1);
    }
    std::string digits;
    long long point_at = -1;
    std::size_t pos = 0;
    for (; pos < text.size(); ++pos)
    {
        const char c = text[pos];
        if (c >= '0' && c <= '9')
        {
            digits += c;
        }
        else if (c == '.' && point_at < 0)
        {
            point_at = static_cast<long long>(digits.size());
        }
        else
        {
            break;
        }
    }
    if (digits.empty())
    {
        return std::nullopt;
    }
    long long exponent = 0;
    if (pos < text.size())
    {
        if (text[pos] != 'e' && text[pos] != 'E')
        {
            return std::nullopt;
        }
        std::string_view rest = text.substr(pos + 1);
        if (!rest.empty() && rest.front() == '+')
        {
            rest.remove_prefix(1);
        }
        const auto [end, error] = std::from_chars(rest.data(), rest.data() + rest.size(), exponent);
        if (error != std::errc() || end != rest.data() + rest.size() || rest.empty())
        {
            return std::nullopt;
        }
    }
    if (point_at < 0)
    {
        point_at = static_cast<long long>(digits.size());
    }
    const std::size_t first = digits.find_first_not_of('0');
    if (first == std::string::npos)
    {
        return std::string("0");
    }
    const std::size_t last = digits.find_last_not_of('0');
    const long long power = point_at - static_cast<long long>(first) - 1 + exponent;
    return (negative ? "-" : "") + digits.substr(first, last - first + 1) + "e" +
           std::to_string(power);
}

template <typename Number>
std::string shortest_text(Number number)
{
    char buffer[64];
    const auto result = std::to_chars(buffer, buffer + sizeof buffer, number);
    return std::string(buffer, result.ptr);
}

// The number a value shows, as a decimal text; nullopt for a value that shows none.
std::optional<std::string> number_text(const ole_variant& value)
{
    switch (value.get_type())
    {
    case VT_R4:
        return shortest_text(value.value.fltVal);
    case VT_R8:
        return shortest_text(value.value.dblVal);
    case VT_DECIMAL:
    case VT_CY:
        return value.to_string();
    case VT_BSTR:
        return plat::wide_to_utf8(value.to_wstring());
    case VT_BOOL:
    case VT_DATE:
    case VT_EMPTY:
    case VT_NULL:
        return std::nullopt;
    default:
        if (const std::optional<std::int64_t> whole = whole_number(value))
        {
            return std::to_string(*whole);
        }
        return std::nullopt;
    }
}

bool is_time_alone(const SYSTEMTIME& time)
{
    return time.wYear == 0 && time.wMonth == 0 && time.wDay == 0;
}

// The microseconds within the second.
long fraction_of(const ole_variant& date)
{
    return static_cast<long>(date.systemtime.wMilliseconds) * 1000 + date.microseconds;
}

bool fits_digits(long microseconds, int digits)
{
    long unit = 1;
    for (int digit = std::max(digits, 0); digit < 6; ++digit)
    {
        unit *= 10;
    }
    return microseconds % unit == 0;
}

// Null for a date that the type holds, else why it does not.
const wchar_t* date_refusal(type_family family, const ole_variant& date, int scale)
{
    const SYSTEMTIME& time = date.systemtime;
    const bool time_alone = is_time_alone(time);
    const long fraction = fraction_of(date);
    switch (family)
    {
    case type_family::date:
        if (time_alone)
        {
            return L"a date column holds no time of day alone";
        }
        if (time.wHour != 0 || time.wMinute != 0 || time.wSecond != 0 || fraction != 0)
        {
            return L"a date column holds no time of day";
        }
        return nullptr;
    case type_family::smalldatetime:
        if (time.wSecond != 0 || fraction != 0)
        {
            return L"a smalldatetime holds whole minutes";
        }
        if (!time_alone &&
            (time.wYear < 1900 || time.wYear > 2079 ||
             (time.wYear == 2079 && (time.wMonth > 6 || (time.wMonth == 6 && time.wDay > 6)))))
        {
            return L"a smalldatetime holds 1900-01-01 to 2079-06-06";
        }
        return nullptr;
    case type_family::datetime:
    {
        if (!time_alone && (time.wYear < 1753 || time.wYear > 9999))
        {
            return L"a datetime holds the years 1753 to 9999";
        }
        const int last_digit = time.wMilliseconds % 10;
        if (date.microseconds != 0 || (last_digit != 0 && last_digit != 3 && last_digit != 7))
        {
            return L"a datetime holds whole milliseconds ending in 0, 3 or 7";
        }
        return nullptr;
    }
    case type_family::datetime2:
        if (!fits_digits(fraction, scale))
        {
            return L"it has more fractional digits of seconds than the column holds";
        }
        return nullptr;
    case type_family::time:
        if (!time_alone)
        {
            return L"a time column holds no date";
        }
        if (!fits_digits(fraction, scale))
        {
            return L"it has more fractional digits of seconds than the column holds";
        }
        return nullptr;
    default:
        return nullptr;
    }
}

// The bytes `text` takes in `code_page`; nullopt when a character has no form there that reads
// back as itself.
std::optional<std::size_t> code_page_bytes(const std::wstring& text, int code_page)
{
    const std::string utf8 = plat::wide_to_utf8(text);
    if (code_page == mss_utf8_code_page)
    {
        return utf8.size();
    }
    bool ascii = true;
    for (const wchar_t c : text)
    {
        ascii = ascii && c >= 0 && c < 0x80;
    }
    if (ascii)
    {
        // Every code page a collation names keeps ASCII as it is, one byte a character.
        return text.size();
    }
    if (code_page <= 0)
    {
        return std::nullopt;
    }
    const std::string name = "CP" + std::to_string(code_page);
    const auto convert = [](const std::string& to, const std::string& from,
                            const std::string& in) -> std::optional<std::string>
    {
        iconv_t converter = iconv_open(to.c_str(), from.c_str());
        if (converter == reinterpret_cast<iconv_t>(-1))
        {
            return std::nullopt;
        }
        std::string out(in.size() * 4 + 16, '\0');
        char* in_ptr = const_cast<char*>(in.data());
        std::size_t in_left = in.size();
        char* out_ptr = out.data();
        std::size_t out_left = out.size();
        const std::size_t done = iconv(converter, &in_ptr, &in_left, &out_ptr, &out_left);
        iconv_close(converter);
        if (done == static_cast<std::size_t>(-1) || in_left != 0)
        {
            return std::nullopt;
        }
        out.resize(out.size() - out_left);
        return out;
    };
    const std::optional<std::string> encoded = convert(name, "UTF-8", utf8);
    if (!encoded)
    {
        return std::nullopt;
    }
    const std::optional<std::string> decoded = convert("UTF-8", name, *encoded);
    if (!decoded || *decoded != utf8)
    {
        return std::nullopt;
    }
    return encoded->size();
}

void convert_checked(ole_variant& value, VARTYPE vartype, const std::function<void()>& refuse)
{
    try
    {
        value.change_type(vartype);
    }
    catch (const ole_cast_exception&)
    {
        refuse();
    }
    catch (const ole_type_exception&)
    {
        refuse();
    }
}

} // namespace

bool mss_code_page_holds(const std::wstring& text, int code_page)
{
    return code_page_bytes(text, code_page).has_value();
}

void mss_convert_exact(ole_variant& value, const t_ftd& column, const mss_column_type& type)
{
    const VARTYPE source_kind = value.get_type();
    if (source_kind == VT_EMPTY || source_kind == VT_NULL)
    {
        return;
    }
    const auto refuse = [&](const std::wstring& reason)
    {
        throw udb_value_exception(
            plat::wformat_w(L"The value '%s' has no form in column %s (%s): %s", value.to_wstring(),
                            column.name, type.name, reason));
    };
    const auto no_conversion = [&]() { refuse(L"it does not convert to the column's type"); };
    switch (family_of(type.name))
    {
    case type_family::integer:
    case type_family::bit:
    {
        const bool bit = type.name == L"bit";
        std::optional<std::int64_t> number;
        if (source_kind == VT_BOOL)
        {
            if (!bit)
            {
                refuse(L"a boolean is no number of an integer column");
            }
            number = value.to_bool() ? 1 : 0;
        }
        else
        {
            number = whole_number(value);
        }
        if (!number)
        {
            refuse(L"it is no whole number");
        }
        const integer_range range = bit ? integer_range{0, 1} : range_of(type.name);
        if (*number < range.low || *number > range.high)
        {
            refuse(plat::wformat_w(L"the column holds the whole numbers %lld to %lld",
                                   static_cast<long long>(range.low),
                                   static_cast<long long>(range.high)));
        }
        ole_variant exact =
            bit ? ole_variant(*number != 0) : ole_variant(static_cast<long long>(*number));
        convert_checked(exact, column.vartype, no_conversion);
        value = std::move(exact);
        return;
    }
    case type_family::floating:
    {
        const std::optional<std::string> source_text = number_text(value);
        const std::optional<std::string> source_number =
            source_text ? canonical_number(*source_text) : std::nullopt;
        if (!source_number)
        {
            refuse(L"it is no number");
        }
        ole_variant stored = value;
        convert_checked(stored, type.name == L"real" ? VT_R4 : VT_R8, no_conversion);
        const std::string stored_text = stored.get_type() == VT_R4
                                            ? shortest_text(stored.value.fltVal)
                                            : shortest_text(stored.value.dblVal);
        if (canonical_number(stored_text) != source_number)
        {
            refuse(plat::wformat_w(L"the column would hold it as %s",
                                   plat::utf8_to_wide_lossy(stored_text)));
        }
        convert_checked(stored, column.vartype, no_conversion);
        value = std::move(stored);
        return;
    }
    case type_family::date:
    case type_family::smalldatetime:
    case type_family::datetime:
    case type_family::datetime2:
    case type_family::time:
    {
        if (source_kind != VT_DATE && source_kind != VT_BSTR)
        {
            refuse(L"it is no date or time");
        }
        ole_variant date = value;
        convert_checked(date, VT_DATE, no_conversion);
        if (date.get_type() != VT_DATE)
        {
            refuse(L"it is no date or time");
        }
        if (const wchar_t* reason = date_refusal(family_of(type.name), date, type.scale))
        {
            refuse(reason);
        }
        convert_checked(date, column.vartype, no_conversion);
        value = std::move(date);
        return;
    }
    case type_family::narrow_text:
    case type_family::wide_text:
    {
        convert_checked(value, VT_BSTR, no_conversion);
        const std::wstring text = value.to_wstring();
        std::size_t bytes = 0;
        if (family_of(type.name) == type_family::wide_text)
        {
            bytes = plat::wide_to_utf16(text).size() * 2;
        }
        else
        {
            const std::optional<std::size_t> narrow = code_page_bytes(text, type.code_page);
            if (!narrow)
            {
                refuse(
                    type.code_page > 0
                        ? plat::wformat_w(L"a character has no form in the column's code page %d",
                                          type.code_page)
                        : std::wstring(L"the column's code page is not known, so it takes "
                                       L"ASCII text only"));
            }
            bytes = *narrow;
        }
        // text and ntext report the size of their pointer, not of what they hold.
        const bool bounded = type.name != L"text" && type.name != L"ntext";
        if (bounded && type.max_length >= 0 && bytes > static_cast<std::size_t>(type.max_length))
        {
            refuse(
                plat::wformat_w(L"it takes %d bytes, the column holds %d", bytes, type.max_length));
        }
        convert_checked(value, column.vartype, no_conversion);
        return;
    }
    case type_family::other:
        convert_checked(value, column.vartype, no_conversion);
        return;
    }
}
