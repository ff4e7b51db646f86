// mss_exact.cpp: the rules by which an existing column holds a value unchanged, or refuses it.
#include "mss/mss_exact.h"

#include "mss/mss_exact_text.h"
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

// The decimals a money or smallmoney column keeps.
constexpr std::size_t money_decimals = 4;

enum class type_family
{
    integer,
    bit,
    decimal,
    money,
    floating,
    date,
    smalldatetime,
    datetime,
    datetime2,
    datetimeoffset,
    time,
    guid,
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
    if (name == L"decimal" || name == L"numeric")
    {
        return type_family::decimal;
    }
    if (name == L"money" || name == L"smallmoney")
    {
        return type_family::money;
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
    if (name == L"datetimeoffset")
    {
        return type_family::datetimeoffset;
    }
    if (name == L"time")
    {
        return type_family::time;
    }
    if (name == L"uniqueidentifier")
    {
        return type_family::guid;
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

// The exact decimal number a value is, for a decimal or money column; nullopt, with `why` told,
// for a value that is none. A float is the number its shortest round-trip text shows.
std::optional<mss_decimal_parts> exact_decimal(const ole_variant& value, const wchar_t*& why)
{
    switch (value.get_type())
    {
    case VT_BSTR:
        why = L"it is not one number as a whole";
        return mss_read_number(value.to_wstring(), false);
    case VT_R4:
    case VT_R8:
    {
        const double number = value.get_type() == VT_R4 ? value.value.fltVal : value.value.dblVal;
        if (!std::isfinite(number))
        {
            why = L"it is not a finite number";
            return std::nullopt;
        }
        return mss_read_number(value.get_type() == VT_R4 ? shortest_text(value.value.fltVal)
                                                         : shortest_text(value.value.dblVal),
                               true);
    }
    case VT_DECIMAL:
        return mss_read_number(value.to_string(), false);
    case VT_CY:
    {
        const std::int64_t units = value.value.cyVal.int64;
        const std::uint64_t magnitude =
            units < 0 ? ~static_cast<std::uint64_t>(units) + 1 : static_cast<std::uint64_t>(units);
        std::string digits = std::to_string(magnitude);
        digits.insert(0, digits.size() < 5 ? 5 - digits.size() : 0, '0');
        digits.insert(digits.size() - money_decimals, ".");
        return mss_read_number((units < 0 ? "-" : "") + digits, false);
    }
    case VT_UI8:
        return mss_read_number(std::to_string(value.u64_value), false);
    case VT_BOOL:
        why = L"a boolean is no number of a decimal or money column";
        return std::nullopt;
    case VT_DATE:
        why = L"a date is no number";
        return std::nullopt;
    default:
        if (const std::optional<std::int64_t> whole = whole_number(value))
        {
            return mss_read_number(std::to_string(*whole), false);
        }
        why = L"it is no number";
        return std::nullopt;
    }
}

// The number in ten-thousandths when money (or smallmoney) holds it; nullopt beyond the range.
std::optional<std::int64_t> money_units(const mss_decimal_parts& parts, bool small)
{
    std::string digits = parts.integer + parts.fraction;
    digits.append(money_decimals - parts.fraction.size(), '0');
    digits.erase(0, std::min(digits.find_first_not_of('0'), digits.size()));
    // 2^63 has 19 digits: anything longer is out of both ranges.
    if (digits.size() > 19)
    {
        return std::nullopt;
    }
    const std::uint64_t magnitude = digits.empty() ? 0 : std::stoull(digits);
    const std::uint64_t high = small ? 2147483647ULL : 9223372036854775807ULL;
    if (magnitude > high + (parts.negative ? 1 : 0))
    {
        return std::nullopt;
    }
    return parts.negative ? static_cast<std::int64_t>(~magnitude + 1)
                          : static_cast<std::int64_t>(magnitude);
}

// A number's text without the blanks around it and a leading +, as from_chars reads it.
std::string plain_number_text(const std::wstring& text)
{
    std::string narrow = plat::wide_to_utf8(text);
    const std::size_t first = narrow.find_first_not_of(" \t");
    narrow = narrow.substr(first, narrow.find_last_not_of(" \t") - first + 1);
    if (narrow.front() == '+')
    {
        narrow.erase(0, 1);
    }
    return narrow;
}

// The float or double that `text` (a number as mss_read_number takes it) reads as; nullopt
// beyond the type's range.
std::optional<double> read_float(const std::string& text, bool single)
{
    const char* end = text.data() + text.size();
    if (single)
    {
        float number = 0;
        const auto result = std::from_chars(text.data(), end, number);
        if (result.ec != std::errc() || result.ptr != end || !std::isfinite(number))
        {
            return std::nullopt;
        }
        return number;
    }
    double number = 0;
    const auto result = std::from_chars(text.data(), end, number);
    if (result.ec != std::errc() || result.ptr != end || !std::isfinite(number))
    {
        return std::nullopt;
    }
    return number;
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
    case type_family::datetimeoffset:
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
    case type_family::decimal:
    {
        const wchar_t* why = L"it is no number";
        const std::optional<mss_decimal_parts> parts = exact_decimal(value, why);
        if (!parts)
        {
            refuse(why);
        }
        const int precision = type.precision > 0 ? type.precision : column.get_precision();
        const int scale = std::clamp(type.scale, 0, precision);
        if (parts->fraction.size() > static_cast<std::size_t>(scale))
        {
            refuse(plat::wformat_w(L"the column keeps %d decimals", scale));
        }
        if (parts->integer.size() > static_cast<std::size_t>(precision - scale))
        {
            refuse(
                plat::wformat_w(L"the column holds %d digits before the point", precision - scale));
        }
        ole_variant exact;
        if (!exact.set_decimal_text(parts->text()))
        {
            no_conversion();
        }
        convert_checked(exact, column.vartype, no_conversion);
        value = std::move(exact);
        return;
    }
    case type_family::money:
    {
        const wchar_t* why = L"it is no number";
        const std::optional<mss_decimal_parts> parts = exact_decimal(value, why);
        if (!parts)
        {
            refuse(why);
        }
        if (parts->fraction.size() > money_decimals)
        {
            refuse(L"money keeps 4 decimals");
        }
        const bool small = type.name == L"smallmoney";
        const std::optional<std::int64_t> units = money_units(*parts, small);
        if (!units)
        {
            refuse(small ? L"a smallmoney holds -214748.3648 to 214748.3647"
                         : L"a money holds -922337203685477.5808 to 922337203685477.5807");
        }
        CY currency{};
        currency.int64 = *units;
        ole_variant exact(currency);
        convert_checked(exact, column.vartype, no_conversion);
        value = std::move(exact);
        return;
    }
    case type_family::floating:
    {
        const bool single = type.name == L"real";
        std::optional<std::string> source_text;
        ole_variant stored;
        if (source_kind == VT_BSTR)
        {
            // Read here, not by the value's own conversion, which takes more forms than one
            // number.
            const std::wstring text = value.to_wstring();
            if (!mss_read_number(text, true))
            {
                refuse(L"it is not one number as a whole");
            }
            source_text = plain_number_text(text);
            const std::optional<double> number = read_float(*source_text, single);
            if (!number)
            {
                refuse(L"it is beyond the column's range");
            }
            stored = single ? ole_variant(static_cast<float>(*number)) : ole_variant(*number);
        }
        else
        {
            source_text = number_text(value);
            stored = value;
            if (source_text)
            {
                convert_checked(stored, single ? VT_R4 : VT_R8, no_conversion);
            }
        }
        const std::optional<std::string> source_number =
            source_text ? canonical_number(*source_text) : std::nullopt;
        if (!source_number)
        {
            refuse(L"it is no number");
        }
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
    case type_family::datetimeoffset:
    case type_family::time:
    {
        const type_family family = family_of(type.name);
        ole_variant date;
        if (source_kind == VT_BSTR)
        {
            const std::wstring text = value.to_wstring();
            const std::optional<mss_text_date> read =
                family == type_family::time ? mss_read_time_of_day(text) : mss_read_date(text);
            if (!read)
            {
                refuse(family == type_family::time
                           ? L"a time column takes text of a time of day alone, HH:MM or "
                             L"HH:MM:SS with up to 6 fractional digits"
                           : L"the column takes text of a date YYYY-MM-DD, optionally followed "
                             L"by a blank or T and a time of day HH:MM or HH:MM:SS with up to 6 "
                             L"fractional digits");
            }
            date = ole_variant(read->time, read->microseconds);
        }
        else if (source_kind == VT_DATE)
        {
            date = value;
        }
        else
        {
            refuse(L"it is no date or time");
        }
        if (const wchar_t* reason = date_refusal(family, date, type.scale))
        {
            refuse(reason);
        }
        if (is_time_alone(date.systemtime) && family != type_family::time)
        {
            // The day SQL Server gives a time of day converted to a type with a date, by the
            // bulk load and by INSERT statements alike.
            SYSTEMTIME on_day = date.systemtime;
            on_day.wYear = 1900;
            on_day.wMonth = 1;
            on_day.wDay = 1;
            date = ole_variant(on_day, date.microseconds);
        }
        // datetimeoffset is read as text: the date itself keeps every digit on both paths, and
        // the server gives it the offset +00:00 as before. A year before 1753, which the
        // writer's later check would take for one a datetime cannot hold, goes as its text as
        // it always did.
        if (family != type_family::datetimeoffset || column.vartype == VT_DATE ||
            date.systemtime.wYear < 1753)
        {
            convert_checked(date, column.vartype, no_conversion);
        }
        value = std::move(date);
        return;
    }
    case type_family::guid:
        if (source_kind == VT_BSTR)
        {
            const std::optional<std::wstring> guid = mss_read_guid(value.to_wstring());
            if (!guid)
            {
                refuse(L"a uniqueidentifier takes text of one GUID, 36 characters with or "
                       L"without braces");
            }
            ole_variant exact(*guid);
            convert_checked(exact, column.vartype, no_conversion);
            value = std::move(exact);
            return;
        }
        convert_checked(value, column.vartype, no_conversion);
        return;
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
