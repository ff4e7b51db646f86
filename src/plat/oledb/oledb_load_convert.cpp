// oledb_load_convert.cpp: decimal texts and the conversion of bound values into the forms their
// columns take (numbers, dates, identifiers and text each as the column holds them).
#include "plat/oledb/oledb_load_text.h"
#include "plat/oledb/oledb_text.h"
#include "plat/plat_text.h"

#include <charconv>
#include <cmath>
#include <cstdio>

namespace plat::oledb
{
namespace
{

__extension__ typedef unsigned __int128 uint128;

std::string u128_text(uint128 value)
{
    std::string digits;
    do
    {
        digits.insert(digits.begin(), static_cast<char>('0' + static_cast<int>(value % 10)));
        value /= 10;
    } while (value != 0);
    return digits;
}

std::string narrow_of(const load_value& raw)
{
    if (const auto* narrow = std::get_if<load_utf8>(&raw))
    {
        return narrow->text;
    }
    if (const auto* wide = std::get_if<std::u16string>(&raw))
    {
        return utf16_to_utf8(*wide);
    }
    return {};
}

bool is_text(const load_value& raw)
{
    return std::holds_alternative<load_utf8>(raw) || std::holds_alternative<std::u16string>(raw);
}

std::string trimmed(std::string text)
{
    const auto first = text.find_first_not_of(" \t");
    if (first == std::string::npos)
    {
        return {};
    }
    return text.substr(first, text.find_last_not_of(" \t") - first + 1);
}

int days_in_month(int year, int month)
{
    static constexpr int days[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    const bool leap = (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
    return month == 2 && leap ? 29 : days[month - 1];
}

bool valid(const load_timestamp& stamp)
{
    return stamp.year >= 1 && stamp.year <= 9999 && stamp.month >= 1 && stamp.month <= 12 &&
           stamp.day >= 1 && stamp.day <= days_in_month(stamp.year, stamp.month) &&
           stamp.hour < 24 && stamp.minute < 60 && stamp.second < 60 &&
           stamp.fraction_ns < 1000000000;
}

// "YYYY-MM-DD", "YYYY-MM-DD hh:mm:ss[.fffffffff]" (or with 'T') and "hh:mm:ss[.f]".
bool parse_timestamp(const std::string& text, load_timestamp& stamp)
{
    int year = 1900, month = 1, day = 1, hour = 0, minute = 0, second = 0, used = 0;
    std::string rest;
    if (std::sscanf(text.c_str(), "%4d-%2d-%2d%n", &year, &month, &day, &used) == 3)
    {
        rest = text.substr(static_cast<std::size_t>(used));
        if (!rest.empty() && (rest[0] == ' ' || rest[0] == 'T'))
        {
            rest = rest.substr(1);
        }
    }
    else
    {
        rest = text;
    }
    std::uint32_t fraction = 0;
    if (!rest.empty())
    {
        used = 0;
        if (std::sscanf(rest.c_str(), "%2d:%2d:%2d%n", &hour, &minute, &second, &used) != 3)
        {
            return false;
        }
        std::string tail = rest.substr(static_cast<std::size_t>(used));
        if (!tail.empty())
        {
            if (tail[0] != '.' || tail.size() > 10 ||
                tail.find_first_not_of("0123456789", 1) != std::string::npos)
            {
                return false;
            }
            tail = tail.substr(1);
            tail.resize(9, '0');
            fraction = static_cast<std::uint32_t>(std::stoul(tail));
        }
    }
    stamp = load_timestamp{static_cast<std::int16_t>(year),
                           static_cast<std::uint16_t>(month),
                           static_cast<std::uint16_t>(day),
                           static_cast<std::uint16_t>(hour),
                           static_cast<std::uint16_t>(minute),
                           static_cast<std::uint16_t>(second),
                           fraction};
    return true;
}

HRESULT fail(HRESULT hr, std::wstring& reason, const std::wstring& what, const load_column& column)
{
    reason = what + L" for column " + column.desc.name + L".";
    return hr;
}

// Text for a text column from any other kind of value.
std::u16string text_of(const load_value& raw)
{
    if (const auto* number = std::get_if<std::int64_t>(&raw))
    {
        return ascii_to_u16(std::to_string(*number));
    }
    if (const auto* flag = std::get_if<bool>(&raw))
    {
        return *flag ? u"1" : u"0";
    }
    if (const auto* real = std::get_if<double>(&raw))
    {
        return format_double(*real);
    }
    if (const auto* decimal = std::get_if<load_decimal>(&raw))
    {
        return ascii_to_u16(decimal->text);
    }
    if (const auto* stamp = std::get_if<load_timestamp>(&raw))
    {
        return format_date(stamp->year, stamp->month, stamp->day) + u" " +
               format_time(stamp->hour, stamp->minute, stamp->second, stamp->fraction_ns, true);
    }
    const auto& guid = std::get<GUID>(raw);
    const std::u16string braced = format_guid(guid.Data1, guid.Data2, guid.Data3, guid.Data4);
    return braced.substr(1, 36);
}

} // namespace

std::string scaled_integer_text(std::int64_t value, int scale)
{
    const bool negative = value < 0;
    const std::uint64_t magnitude =
        negative ? ~static_cast<std::uint64_t>(value) + 1 : static_cast<std::uint64_t>(value);
    std::string digits = std::to_string(magnitude);
    if (digits.size() <= static_cast<std::size_t>(scale))
    {
        digits.insert(0, static_cast<std::size_t>(scale) + 1 - digits.size(), '0');
    }
    digits.insert(digits.size() - static_cast<std::size_t>(scale), ".");
    return (negative ? "-" : "") + digits;
}

std::string numeric_text(const DB_NUMERIC& value)
{
    uint128 magnitude = 0;
    for (int byte_idx = 15; byte_idx >= 0; --byte_idx)
    {
        magnitude = (magnitude << 8) | value.val[byte_idx];
    }
    std::string digits = u128_text(magnitude);
    const std::size_t scale = value.scale;
    if (scale > 0)
    {
        if (digits.size() <= scale)
        {
            digits.insert(0, scale + 1 - digits.size(), '0');
        }
        digits.insert(digits.size() - scale, ".");
    }
    return (value.sign == 0 && magnitude != 0 ? "-" : "") + digits;
}

bool normalise_decimal(std::string_view input, int precision, int scale, std::string& out,
                       HRESULT& hr)
{
    hr = DB_E_CANTCONVERTVALUE;
    const std::string text = trimmed(std::string(input));
    std::size_t pos = 0;
    bool negative = false;
    if (pos < text.size() && (text[pos] == '-' || text[pos] == '+'))
    {
        negative = text[pos++] == '-';
    }
    std::string digits;
    long point = -1;
    for (; pos < text.size() &&
           (std::isdigit(static_cast<unsigned char>(text[pos])) || (text[pos] == '.' && point < 0));
         ++pos)
    {
        if (text[pos] == '.')
        {
            point = static_cast<long>(digits.size());
        }
        else
        {
            digits.push_back(text[pos]);
        }
    }
    if (digits.empty())
    {
        return false;
    }
    long exponent = 0;
    if (pos < text.size() && (text[pos] == 'e' || text[pos] == 'E'))
    {
        const auto result = std::from_chars(text.data() + pos + (text[pos + 1] == '+' ? 2 : 1),
                                            text.data() + text.size(), exponent);
        if (result.ec != std::errc() || result.ptr != text.data() + text.size() ||
            std::labs(exponent) > 400)
        {
            return false;
        }
        pos = text.size();
    }
    if (pos != text.size())
    {
        return false;
    }
    long integer_digits = (point < 0 ? static_cast<long>(digits.size()) : point) + exponent;
    if (integer_digits < 0)
    {
        digits.insert(0, static_cast<std::size_t>(-integer_digits), '0');
        integer_digits = 0;
    }
    if (integer_digits > static_cast<long>(digits.size()))
    {
        digits.append(static_cast<std::size_t>(integer_digits) - digits.size(), '0');
    }
    std::string whole = digits.substr(0, static_cast<std::size_t>(integer_digits));
    std::string fraction = digits.substr(static_cast<std::size_t>(integer_digits));
    if (scale >= 0)
    {
        const bool round_up = fraction.size() > static_cast<std::size_t>(scale) &&
                              fraction[static_cast<std::size_t>(scale)] >= '5';
        fraction.resize(static_cast<std::size_t>(scale), '0');
        if (round_up)
        {
            std::string all = whole + fraction;
            std::size_t idx = all.size();
            while (idx > 0 && all[idx - 1] == '9')
            {
                all[--idx] = '0';
            }
            if (idx == 0)
            {
                all.insert(all.begin(), '1');
            }
            else
            {
                ++all[idx - 1];
            }
            whole = all.substr(0, all.size() - fraction.size());
            fraction = all.substr(all.size() - fraction.size());
        }
    }
    const auto first = whole.find_first_not_of('0');
    whole = first == std::string::npos ? std::string() : whole.substr(first);
    const int kept_scale = static_cast<int>(fraction.size());
    if (precision > 0 && static_cast<int>(whole.size()) > precision - kept_scale)
    {
        hr = DB_E_DATAOVERFLOW;
        return false;
    }
    const bool zero = whole.empty() && fraction.find_first_not_of('0') == std::string::npos;
    out = (negative && !zero ? "-" : "") + (whole.empty() ? std::string("0") : whole) +
          (fraction.empty() ? std::string() : "." + fraction);
    hr = S_OK;
    return true;
}

namespace
{

// Each step below takes a value that is not NULL and answers it in its column's form.

HRESULT to_integer(const load_value& raw, const load_column& column, load_value& value,
                   std::wstring& reason)
{
    std::int64_t number = 0;
    if (const auto* whole = std::get_if<std::int64_t>(&raw))
    {
        number = *whole;
    }
    else if (const auto* flag = std::get_if<bool>(&raw))
    {
        number = *flag ? 1 : 0;
    }
    else if (const auto* real = std::get_if<double>(&raw))
    {
        if (std::trunc(*real) != *real || std::fabs(*real) > 9.2e18)
        {
            return fail(DB_E_CANTCONVERTVALUE, reason, L"A fraction or too large a number", column);
        }
        number = static_cast<std::int64_t>(*real);
    }
    else
    {
        const std::string text = std::holds_alternative<load_decimal>(raw)
                                     ? std::get<load_decimal>(raw).text
                                     : trimmed(narrow_of(raw));
        std::string digits;
        HRESULT hr = S_OK;
        if (text.empty() || !normalise_decimal(text, 0, -1, digits, hr) ||
            (digits.find('.') != std::string::npos &&
             digits.find_first_not_of('0', digits.find('.') + 1) != std::string::npos))
        {
            return fail(DB_E_CANTCONVERTVALUE, reason, L"Not a whole number", column);
        }
        digits = digits.substr(0, digits.find('.'));
        const auto result = std::from_chars(digits.data(), digits.data() + digits.size(), number);
        if (result.ec != std::errc())
        {
            return fail(DB_E_DATAOVERFLOW, reason, L"Too large a number", column);
        }
    }
    if (number < column.min || number > column.max)
    {
        return fail(DB_E_DATAOVERFLOW, reason, L"A number out of range", column);
    }
    value = number;
    return S_OK;
}

HRESULT to_bit(const load_value& raw, const load_column& column, load_value& value,
               std::wstring& reason)
{
    if (const auto* flag = std::get_if<bool>(&raw))
    {
        value = *flag;
    }
    else if (const auto* whole = std::get_if<std::int64_t>(&raw))
    {
        value = *whole != 0;
    }
    else if (const auto* real = std::get_if<double>(&raw))
    {
        value = *real != 0;
    }
    else
    {
        const std::string text = trimmed(narrow_of(raw));
        if (text == "1" || equal_ci(std::string_view(text), std::string_view("true")))
        {
            value = true;
        }
        else if (text == "0" || equal_ci(std::string_view(text), std::string_view("false")))
        {
            value = false;
        }
        else
        {
            return fail(DB_E_CANTCONVERTVALUE, reason, L"Not a bit value", column);
        }
    }
    return S_OK;
}

HRESULT to_real(const load_value& raw, const load_column& column, load_value& value,
                std::wstring& reason)
{
    if (const auto* real = std::get_if<double>(&raw))
    {
        value = *real;
        return S_OK;
    }
    if (const auto* whole = std::get_if<std::int64_t>(&raw))
    {
        value = static_cast<double>(*whole);
        return S_OK;
    }
    if (const auto* flag = std::get_if<bool>(&raw))
    {
        value = *flag ? 1.0 : 0.0;
        return S_OK;
    }
    const std::string text = std::holds_alternative<load_decimal>(raw)
                                 ? std::get<load_decimal>(raw).text
                                 : trimmed(narrow_of(raw));
    double number = 0;
    const auto result = std::from_chars(text.data(), text.data() + text.size(), number);
    if (text.empty() || result.ec != std::errc() || result.ptr != text.data() + text.size() ||
        !std::isfinite(number))
    {
        return fail(DB_E_CANTCONVERTVALUE, reason, L"Not a number", column);
    }
    value = number;
    return S_OK;
}

HRESULT to_decimal(const load_value& raw, const load_column& column, load_value& value,
                   std::wstring& reason)
{
    std::string text;
    if (const auto* decimal = std::get_if<load_decimal>(&raw))
    {
        text = decimal->text;
    }
    else if (const auto* whole = std::get_if<std::int64_t>(&raw))
    {
        text = std::to_string(*whole);
    }
    else if (const auto* flag = std::get_if<bool>(&raw))
    {
        text = *flag ? "1" : "0";
    }
    else if (const auto* real = std::get_if<double>(&raw))
    {
        text = utf16_to_utf8(format_double(*real));
    }
    else if (is_text(raw))
    {
        text = narrow_of(raw);
    }
    else
    {
        return fail(DB_E_CANTCONVERTVALUE, reason, L"Not a number", column);
    }
    std::string normal;
    HRESULT hr = S_OK;
    if (!normalise_decimal(text, column.precision, column.precision > 0 ? column.scale : -1, normal,
                           hr))
    {
        return fail(hr, reason, hr == DB_E_DATAOVERFLOW ? L"A number too large" : L"Not a number",
                    column);
    }
    value = load_decimal{std::move(normal)};
    return S_OK;
}

HRESULT to_date_time(const load_value& raw, const load_column& column, load_value& value,
                     std::wstring& reason)
{
    load_timestamp stamp;
    if (const auto* given = std::get_if<load_timestamp>(&raw))
    {
        stamp = *given;
    }
    else if (!is_text(raw) || !parse_timestamp(trimmed(narrow_of(raw)), stamp))
    {
        return fail(DB_E_CANTCONVERTVALUE, reason, L"Not a date or time", column);
    }
    if (!valid(stamp))
    {
        return fail(DB_E_CANTCONVERTVALUE, reason, L"An invalid date or time", column);
    }
    value = stamp;
    return S_OK;
}

// Text around the digits is taken as it always was: spaces and tabs are trimmed.
bool guid_of_text(const load_value& raw, GUID& guid)
{
    const auto trim = [](auto text)
    {
        while (!text.empty() && (text.front() == ' ' || text.front() == '\t'))
        {
            text.remove_prefix(1);
        }
        while (!text.empty() && (text.back() == ' ' || text.back() == '\t'))
        {
            text.remove_suffix(1);
        }
        return text;
    };
    if (const auto* wide = std::get_if<std::u16string>(&raw))
    {
        return parse_guid(trim(std::u16string_view(*wide)), guid);
    }
    if (const auto* narrow = std::get_if<load_utf8>(&raw))
    {
        return parse_guid(trim(std::string_view(narrow->text)), guid);
    }
    return false;
}

HRESULT to_guid(const load_value& raw, const load_column& column, load_value& value,
                std::wstring& reason)
{
    GUID guid;
    if (const auto* given = std::get_if<GUID>(&raw))
    {
        guid = *given;
    }
    else if (!guid_of_text(raw, guid))
    {
        return fail(DB_E_CANTCONVERTVALUE, reason, L"Not a GUID", column);
    }
    value = guid;
    return S_OK;
}

HRESULT to_binary(load_value& raw, const load_column& column, load_value& value,
                  std::wstring& reason)
{
    if (auto* bytes = std::get_if<std::vector<std::uint8_t>>(&raw))
    {
        value = std::move(*bytes);
    }
    else if (const auto* narrow = std::get_if<load_utf8>(&raw))
    {
        value = std::vector<std::uint8_t>(narrow->text.begin(), narrow->text.end());
    }
    else if (const auto* wide = std::get_if<std::u16string>(&raw))
    {
        std::vector<std::uint8_t> little_endian;
        little_endian.reserve(wide->size() * 2);
        for (const char16_t unit : *wide)
        {
            little_endian.push_back(static_cast<std::uint8_t>(unit & 0xFF));
            little_endian.push_back(static_cast<std::uint8_t>(unit >> 8));
        }
        value = std::move(little_endian);
    }
    else
    {
        return fail(DB_E_CANTCONVERTVALUE, reason, L"Not binary data", column);
    }
    return S_OK;
}

HRESULT to_text(load_value& raw, const load_column& column, load_value& value, std::wstring& reason)
{
    if (is_text(raw))
    {
        value = std::move(raw);
    }
    else if (std::holds_alternative<std::vector<std::uint8_t>>(raw))
    {
        return fail(DB_E_CANTCONVERTVALUE, reason, L"Binary data", column);
    }
    else
    {
        value = text_of(raw);
    }
    return S_OK;
}

} // namespace

HRESULT to_column_form(load_value raw, const load_column& column, load_value& value,
                       std::wstring& reason)
{
    value = std::monostate{};
    if (std::holds_alternative<std::monostate>(raw))
    {
        return S_OK;
    }
    switch (column.kind)
    {
    case load_class::integer:
        return to_integer(raw, column, value, reason);
    case load_class::bit:
        return to_bit(raw, column, value, reason);
    case load_class::real:
        return to_real(raw, column, value, reason);
    case load_class::decimal:
        return to_decimal(raw, column, value, reason);
    case load_class::date_time:
        return to_date_time(raw, column, value, reason);
    case load_class::guid:
        return to_guid(raw, column, value, reason);
    case load_class::binary:
        return to_binary(raw, column, value, reason);
    default:
        return to_text(raw, column, value, reason);
    }
}

std::size_t utf8_length(const std::u16string& text)
{
    std::size_t bytes = 0;
    for (const char16_t unit : text)
    {
        bytes += unit < 0x80 ? 1 : unit < 0x800 ? 2 : (unit >= 0xD800 && unit < 0xE000) ? 2 : 3;
    }
    return bytes;
}

std::size_t utf16_units(const std::string& text)
{
    std::size_t units = 0;
    for (const char byte : text)
    {
        const auto code = static_cast<unsigned char>(byte);
        if ((code & 0xC0) != 0x80)
        {
            units += code >= 0xF0 ? 2 : 1;
        }
    }
    return units;
}

} // namespace plat::oledb
