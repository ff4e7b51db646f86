// mss_exact_text.cpp: the strict readers of numbers, dates, times and GUIDs in text bound for a
// column of an existing table.
#include "mss/mss_exact_text.h"

#include "plat/oledb/oledb_text.h"

#include <string>

namespace
{

template <class Char>
bool is_blank(Char c)
{
    return c == Char(' ') || c == Char('\t');
}

template <class Char>
bool is_digit(Char c)
{
    return c >= Char('0') && c <= Char('9');
}

template <class Char>
std::basic_string_view<Char> trimmed(std::basic_string_view<Char> text)
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

// Longer exponents only move the point past every column's digits; the limit keeps a text of
// a few characters from growing into a string of millions of zeros.
constexpr long max_exponent = 400;

template <class Char>
std::optional<mss_decimal_parts> read_number(std::basic_string_view<Char> text, bool with_exponent)
{
    text = trimmed(text);
    std::size_t pos = 0;
    mss_decimal_parts parts;
    if (pos < text.size() && (text[pos] == Char('+') || text[pos] == Char('-')))
    {
        parts.negative = text[pos] == Char('-');
        ++pos;
    }
    std::string digits;
    long point_at = -1;
    for (; pos < text.size(); ++pos)
    {
        if (is_digit(text[pos]))
        {
            digits += static_cast<char>(text[pos]);
        }
        else if (text[pos] == Char('.') && point_at < 0)
        {
            point_at = static_cast<long>(digits.size());
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
    long exponent = 0;
    if (with_exponent && pos < text.size() && (text[pos] == Char('e') || text[pos] == Char('E')))
    {
        ++pos;
        bool negative_exponent = false;
        if (pos < text.size() && (text[pos] == Char('+') || text[pos] == Char('-')))
        {
            negative_exponent = text[pos] == Char('-');
            ++pos;
        }
        const std::size_t exponent_start = pos;
        for (; pos < text.size() && is_digit(text[pos]); ++pos)
        {
            if (exponent > max_exponent)
            {
                return std::nullopt;
            }
            exponent = exponent * 10 + (text[pos] - Char('0'));
        }
        if (pos == exponent_start || exponent > max_exponent)
        {
            return std::nullopt;
        }
        exponent = negative_exponent ? -exponent : exponent;
    }
    if (pos != text.size())
    {
        return std::nullopt;
    }
    long whole_digits = (point_at < 0 ? static_cast<long>(digits.size()) : point_at) + exponent;
    if (whole_digits < 0)
    {
        digits.insert(0, static_cast<std::size_t>(-whole_digits), '0');
        whole_digits = 0;
    }
    if (whole_digits > static_cast<long>(digits.size()))
    {
        digits.append(static_cast<std::size_t>(whole_digits) - digits.size(), '0');
    }
    parts.integer = digits.substr(0, static_cast<std::size_t>(whole_digits));
    parts.fraction = digits.substr(static_cast<std::size_t>(whole_digits));
    parts.integer.erase(0, std::min(parts.integer.find_first_not_of('0'), parts.integer.size()));
    const std::size_t last = parts.fraction.find_last_not_of('0');
    parts.fraction.resize(last == std::string::npos ? 0 : last + 1);
    parts.negative = parts.negative && !(parts.integer.empty() && parts.fraction.empty());
    return parts;
}

// Exactly `count` digits at `pos`, read as a number; -1 when they are not there.
int fixed_digits(std::wstring_view text, std::size_t pos, std::size_t count)
{
    if (pos + count > text.size())
    {
        return -1;
    }
    int number = 0;
    for (std::size_t idx = pos; idx < pos + count; ++idx)
    {
        if (!is_digit(text[idx]))
        {
            return -1;
        }
        number = number * 10 + (text[idx] - L'0');
    }
    return number;
}

// "HH:MM" or "HH:MM:SS[.f{1,6}]", the whole of `text`, into `date`.
bool read_clock(std::wstring_view text, mss_text_date& date)
{
    const int hour = fixed_digits(text, 0, 2);
    const int minute = fixed_digits(text, 3, 2);
    if (hour < 0 || minute < 0 || text[2] != L':' || hour > 23 || minute > 59)
    {
        return false;
    }
    int second = 0;
    long micro = 0;
    if (text.size() > 5)
    {
        second = fixed_digits(text, 6, 2);
        if (text[5] != L':' || second < 0 || second > 59)
        {
            return false;
        }
        if (text.size() > 8)
        {
            const std::wstring_view fraction = text.substr(9);
            // A seventh digit would be rounded or cut by the column: no form of its own.
            if (text[8] != L'.' || fraction.empty() || fraction.size() > 6)
            {
                return false;
            }
            long unit = 100000;
            for (const wchar_t c : fraction)
            {
                if (!is_digit(c))
                {
                    return false;
                }
                micro += (c - L'0') * unit;
                unit /= 10;
            }
        }
    }
    else if (text.size() != 5)
    {
        return false;
    }
    date.time.wHour = static_cast<std::uint16_t>(hour);
    date.time.wMinute = static_cast<std::uint16_t>(minute);
    date.time.wSecond = static_cast<std::uint16_t>(second);
    date.time.wMilliseconds = static_cast<std::uint16_t>(micro / 1000);
    date.microseconds = static_cast<std::uint16_t>(micro % 1000);
    return true;
}

} // namespace

std::string mss_decimal_parts::text() const
{
    return (negative ? "-" : "") + (integer.empty() ? std::string("0") : integer) +
           (fraction.empty() ? std::string() : "." + fraction);
}

std::optional<mss_decimal_parts> mss_read_number(std::wstring_view text, bool with_exponent)
{
    return read_number(text, with_exponent);
}

std::optional<mss_decimal_parts> mss_read_number(std::string_view text, bool with_exponent)
{
    return read_number(text, with_exponent);
}

std::optional<mss_text_date> mss_read_time_of_day(std::wstring_view text)
{
    mss_text_date date;
    if (!read_clock(trimmed(text), date))
    {
        return std::nullopt;
    }
    return date;
}

std::optional<mss_text_date> mss_read_date(std::wstring_view text)
{
    text = trimmed(text);
    const int year = fixed_digits(text, 0, 4);
    const int month = fixed_digits(text, 5, 2);
    const int day = fixed_digits(text, 8, 2);
    if (year < 1 || month < 1 || day < 1 || text[4] != L'-' || text[7] != L'-' ||
        day > plat::days_in_month(year, month))
    {
        return std::nullopt;
    }
    mss_text_date date;
    if (text.size() > 10 &&
        ((text[10] != L' ' && text[10] != L'T') || !read_clock(text.substr(11), date)))
    {
        return std::nullopt;
    }
    date.time.wYear = static_cast<std::uint16_t>(year);
    date.time.wMonth = static_cast<std::uint16_t>(month);
    date.time.wDay = static_cast<std::uint16_t>(day);
    return date;
}

std::optional<std::wstring> mss_read_guid(std::wstring_view text)
{
    text = trimmed(text);
    GUID guid;
    if (!plat::oledb::parse_guid(text, guid))
    {
        return std::nullopt;
    }
    return std::wstring(text.size() == 38 ? text.substr(1, 36) : text);
}
