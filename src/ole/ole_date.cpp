// ole_date.cpp: reading date and time text in its many forms and printing the canonical form.
//
// Forms tried in order, the first valid one wins: 14 digits (YYYYMMDDhhmmss), 8 digits
// (YYYYMMDD), "h:m[:s[.fff]]", then "Y-M-D[ h:m:s]" with '-', '/' or '.' as date separator, then
// the platform's en-US reader ("12/25/2020 10:11", "Dec 25 2020"). Day-first text ("25-12-2020")
// reads into the year field and is swapped afterwards; AM and PM are cut off first and applied
// last.
#include "ole/ole_date.h"

#include "ole/ole_variant.h"
#include "plat/plat_text.h"
#include "tk/tk_exception.h"
#include "tk/tk_logger.h"
#include "tk/tk_string.h"

#include <algorithm>
#include <array>
#include <cstdio>

namespace
{

bool is_space(char c)
{
    return c == ' ' || (c >= '\t' && c <= '\r');
}

bool is_digit(char c)
{
    return c >= '0' && c <= '9';
}

// What a scan read: the numbers in order, the seconds text, and where reading stopped.
struct scan_result
{
    int fields = 0;
    std::array<long, 5> numbers{};
    std::array<int, 5> digits{};
    std::string seconds;
    std::size_t end = 0;
};

// Reads `text` the way sscanf reads the formats used here, spelt 'd' for %hd (white space, then
// digits up to 32767; a sign or a larger number stops the scan), 's' for %s (white space, then
// any number of non-blank characters), ' ' for any white space (none included); other characters
// must match. The number of fields read is what the caller tests.
scan_result scan(std::string_view text, std::string_view format)
{
    scan_result result;
    std::size_t pos = 0;
    for (const char item : format)
    {
        if (item == ' ' || item == 'd' || item == 's')
        {
            while (pos < text.size() && is_space(text[pos]))
            {
                ++pos;
            }
        }
        if (item == ' ')
        {
            continue;
        }
        const std::size_t start = pos;
        if (item == 'd')
        {
            long number = 0;
            while (pos < text.size() && is_digit(text[pos]))
            {
                number = number * 10 + (text[pos++] - '0');
                if (number > 32767)
                {
                    return result;
                }
            }
            if (pos == start)
            {
                return result;
            }
            result.numbers[static_cast<std::size_t>(result.fields)] = number;
            result.digits[static_cast<std::size_t>(result.fields)] = static_cast<int>(pos - start);
        }
        else if (item == 's')
        {
            while (pos < text.size() && !is_space(text[pos]))
            {
                ++pos;
            }
            if (pos == start)
            {
                return result;
            }
            result.seconds.assign(text.substr(start, pos - start));
        }
        else
        {
            if (pos == text.size() || text[pos] != item)
            {
                return result;
            }
            ++pos;
            continue;
        }
        ++result.fields;
        result.end = pos;
    }
    return result;
}

constexpr std::array<const char*, 3> date_time_formats = {"d-d-d d:d:s", "d/d/d d:d:s",
                                                          "d.d.d d:d:s"};

std::uint16_t field(long number)
{
    return static_cast<std::uint16_t>(number);
}

} // namespace

ole_date::ole_date(const VARIANT& value)
{
    tk_log(1, "ole_date::ole_date(VARIANT, vt=%d)", value.vt);
    if (value.vt == VT_EMPTY || value.vt == VT_NULL)
    {
        return;
    }
    if (value.vt != VT_DATE)
    {
        throw tk_mail_assertion("ole_date", 74);
    }
    if (!plat::variant_time_to_system_time(value.date, systemtime))
    {
        tk_log(2, "Failed to convert VARIANT->SYSTEMTIME");
        return;
    }
    kind = kind_date_time;
    refine_type();
}

ole_date::ole_date(const SYSTEMTIME& time, std::uint16_t sub_millisecond)
    : kind(kind_date_time)
    , systemtime(time)
    , microseconds(std::min<std::uint16_t>(sub_millisecond, 999))
{
    tk_log(1, "ole_date::ole_date(SYSTEMTIME)");
    refine_type();
}

ole_date::ole_date(const std::string& text)
{
    read_text(text);
}

ole_date::ole_date(const std::wstring& text)
    : ole_date(plat::wide_to_utf8(text))
{
}

void ole_date::read_text(const std::string& text)
{
    tk_log(1, "ole_date::ole_date('%s')", text);
    std::string work = tk_trim(text);
    tk_log(1, "After tk_trim: %s", work);
    bool morning = false;
    for (const char* marker : {"AM", "PM", "am", "pm"})
    {
        const std::size_t found = work.find(marker);
        if (found != std::string::npos)
        {
            morning = marker[0] == 'A' || marker[0] == 'a';
            work = tk_trim(work.substr(0, found));
            break;
        }
    }
    tk_log(1, "Again buf1=%s", work);
    if (work.size() <= 4 || !import(work))
    {
        tk_log(2, "Invalid date/time format: '%s'", text);
        return;
    }
    // Day-first text read its day into the year field.
    if ((kind == kind_date_time || kind == kind_date) && systemtime.wDay > 31 &&
        systemtime.wYear < 32)
    {
        std::swap(systemtime.wDay, systemtime.wYear);
        std::swap(m_day_digits, m_year_digits);
    }
    // A year written with one or two digits is one of this century's or the last; "0099" is
    // the year 99.
    if ((kind == kind_date_time || kind == kind_date) && m_year_digits > 0 && m_year_digits <= 2 &&
        systemtime.wYear < 100)
    {
        systemtime.wYear =
            static_cast<std::uint16_t>(systemtime.wYear + (systemtime.wYear < 50 ? 2000 : 1900));
    }
    const bool afternoon =
        text.find("PM") != std::string::npos || text.find("pm") != std::string::npos;
    if (afternoon && systemtime.wHour <= 11)
    {
        systemtime.wHour = static_cast<std::uint16_t>(systemtime.wHour + 12);
    }
    else if (!afternoon && morning && systemtime.wHour == 12)
    {
        systemtime.wHour = 0; // "12:30 AM" is half past midnight
    }
}

bool ole_date::import(const std::string& text)
{
    if (try_digits(text) || try_time(text))
    {
        return true;
    }
    for (int format_idx = 0; format_idx < static_cast<int>(date_time_formats.size()); ++format_idx)
    {
        if (try_date_time(text, format_idx))
        {
            return true;
        }
    }
    return try_platform(text);
}

bool ole_date::try_digits(const std::string& text)
{
    const bool timestamp = text.size() == 14;
    if (!timestamp && text.size() != 8)
    {
        return false;
    }
    tk_log(1, timestamp ? "Trying timestamp format (1)..." : "Trying timestamp format (2)...");
    if (!std::all_of(text.begin(), text.end(), is_digit))
    {
        return false;
    }
    const auto number = [&](std::size_t pos, std::size_t length)
    { return field(std::stol(text.substr(pos, length))); };
    systemtime.wYear = number(0, 4);
    systemtime.wMonth = number(4, 2);
    systemtime.wDay = number(6, 2);
    kind = kind_date;
    if (timestamp)
    {
        systemtime.wHour = number(8, 2);
        systemtime.wMinute = number(10, 2);
        systemtime.wSecond = number(12, 2);
        kind = kind_date_time;
    }
    if (is_valid())
    {
        return true;
    }
    systemtime = SYSTEMTIME{};
    microseconds = 0;
    kind = kind_invalid;
    return false;
}

bool ole_date::try_time(const std::string& text)
{
    tk_log(1, "Trying pure time format...");
    const scan_result read = scan(text, "d:d:s");
    if (read.fields == 3 || read.fields == 2)
    {
        systemtime.wHour = field(read.numbers[0]);
        systemtime.wMinute = field(read.numbers[1]);
        kind = kind_time;
        if (read.fields == 3 && is_valid())
        {
            process_milliseconds(read.seconds);
        }
        if (is_valid())
        {
            return true;
        }
    }
    systemtime = SYSTEMTIME{};
    microseconds = 0;
    kind = kind_invalid;
    return false;
}

bool ole_date::try_date_time(const std::string& text, int format_idx)
{
    tk_log(1, "Trying datetime format #%d", format_idx);
    const scan_result read = scan(text, date_time_formats[static_cast<std::size_t>(format_idx)]);
    // An ISO "T" before the time is left to the platform reader, which keeps the time.
    const bool iso_time = read.fields == 3 && read.end + 1 < text.size() && text[read.end] == 'T' &&
                          is_digit(text[read.end + 1]);
    if ((read.fields == 3 && !iso_time) || read.fields == 6)
    {
        systemtime.wYear = field(read.numbers[0]);
        systemtime.wMonth = field(read.numbers[1]);
        systemtime.wDay = field(read.numbers[2]);
        m_year_digits = read.digits[0];
        m_day_digits = read.digits[2];
        kind = kind_date;
        tk_log(1, "Format #%d succeeded (%d items)", format_idx, read.fields);
        if (read.fields == 6)
        {
            systemtime.wHour = field(read.numbers[3]);
            systemtime.wMinute = field(read.numbers[4]);
            kind = kind_date_time;
            if (is_valid())
            {
                std::string seconds = read.seconds;
                // The source database's "SS MS" form puts the milliseconds after a blank.
                const std::string rest = tk_trim(text.substr(read.end));
                if (seconds.find('.') == std::string::npos && rest.size() == 3 &&
                    std::all_of(rest.begin(), rest.end(), is_digit))
                {
                    seconds += "." + rest;
                }
                process_milliseconds(seconds);
                refine_type();
            }
        }
        if (is_valid())
        {
            return true;
        }
    }
    systemtime = SYSTEMTIME{};
    microseconds = 0;
    m_year_digits = 0;
    m_day_digits = 0;
    kind = kind_invalid;
    return false;
}

bool ole_date::try_platform(const std::string& text)
{
    DATE date = 0;
    SYSTEMTIME time;
    if (FAILED(plat::var_date_from_str(plat::utf8_to_wide_lossy(text), date)) ||
        !plat::variant_time_to_system_time(date, time))
    {
        return false;
    }
    tk_log(1, "Got datetime using Microsoft API");
    systemtime = time;
    kind = kind_date_time;
    refine_type();
    return true;
}

void ole_date::process_milliseconds(std::string_view seconds_text)
{
    tk_log(1, "ole_date::process_milliseconds");
    tk_log(1, "Got row sec: '%s'", std::string(seconds_text));
    std::size_t pos = 0;
    if (pos < seconds_text.size() && seconds_text[pos] == '+')
    {
        ++pos;
    }
    long seconds = 0;
    if (pos < seconds_text.size() && seconds_text[pos] == '-')
    {
        seconds = 0xFFFF; // a negative second is no time of day
    }
    for (; pos < seconds_text.size() && is_digit(seconds_text[pos]); ++pos)
    {
        seconds = std::min(seconds * 10 + (seconds_text[pos] - '0'), 0xFFFFL);
    }
    // The digits after the point are read as text, so "12.100" is 100 ms exactly (a double
    // would give 99). Six digits are kept, rounded at the seventh, never up into the next second.
    long fraction = 0; // in microseconds
    if (pos < seconds_text.size() && seconds_text[pos] == '.')
    {
        ++pos;
        int digits = 0;
        for (; pos < seconds_text.size() && is_digit(seconds_text[pos]) && digits < 7; ++pos)
        {
            const int digit = seconds_text[pos] - '0';
            if (digits < 6)
            {
                fraction = fraction * 10 + digit;
            }
            else if (digit >= 5)
            {
                fraction = std::min(fraction + 1, 999999L);
            }
            ++digits;
        }
        for (; digits < 6; ++digits)
        {
            fraction *= 10;
        }
    }
    const long milliseconds = fraction / 1000;
    microseconds = static_cast<std::uint16_t>(fraction % 1000);
    systemtime.wSecond = field(seconds);
    systemtime.wMilliseconds = field(milliseconds);
    tk_log(1, "Got sec: %d", seconds);
    tk_log(1, "Got msec: %d", milliseconds);
}

void ole_date::refine_type()
{
    const SYSTEMTIME& t = systemtime;
    tk_log(1, "ole_date::refine_type(%d,%d,%d,%d,%d,%d)", t.wYear, t.wMonth, t.wDay, t.wHour,
           t.wMinute, t.wSecond);
    if (t.wYear == 0 && t.wMonth == 0 && t.wDay == 0)
    {
        kind = kind_time;
    }
    // Milliseconds count as time: half a second past midnight is not a date alone.
    else if (t.wHour == 0 && t.wMinute == 0 && t.wSecond == 0 && t.wMilliseconds == 0 &&
             microseconds == 0 && t.wYear != 0 && t.wMonth != 0 && t.wDay != 0)
    {
        kind = kind_date;
    }
}

bool ole_date::is_valid() const
{
    tk_log(1, "ole_date::is_valid");
    if (kind == kind_invalid)
    {
        return false;
    }
    const SYSTEMTIME& t = systemtime;
    if (t.wDay == 0 && t.wMonth == 0 && t.wYear == 0)
    {
        tk_log(1, "DATETIME is a pute time");
    }
    else
    {
        if (t.wMonth < 1 || t.wMonth > 12)
        {
            tk_log(1, "Invalid month");
            return false;
        }
        if (t.wDay == 0 || t.wYear == 0 || (t.wDay > 31 && t.wYear > 31))
        {
            tk_log(1, "Invalid day and/or year");
            return false;
        }
    }
    if (t.wHour > 60 || t.wMinute > 60 || t.wSecond > 60)
    {
        tk_log(1, "Invalid time");
        return false;
    }
    return true;
}

ole_variant ole_date::to_variant() const
{
    tk_log(1, "ole_date::to_variant");
    return ole_variant(systemtime, microseconds);
}

std::string ole_date::print(bool with_ms) const
{
    const SYSTEMTIME& t = systemtime;
    char text[64] = {};
    const bool has_fraction = t.wMilliseconds != 0 || microseconds != 0;
    const bool show_fraction = with_ms && has_fraction;
    switch (kind)
    {
    case kind_date_time:
        tk_log(1, "printing datetime...");
        if (t.wHour != 0 || t.wMinute != 0 || t.wSecond != 0 || has_fraction ||
            !date_only_at_midnight)
        {
            std::snprintf(text, sizeof text, "%04d-%02d-%02d %02d:%02d:%02d", t.wYear, t.wMonth,
                          t.wDay, t.wHour, t.wMinute, t.wSecond);
            break;
        }
        std::snprintf(text, sizeof text, "%04d-%02d-%02d", t.wYear, t.wMonth, t.wDay);
        return text;
    case kind_date:
        tk_log(1, "printing date...");
        std::snprintf(text, sizeof text, "%04d-%02d-%02d", t.wYear, t.wMonth, t.wDay);
        return text;
    case kind_time:
        tk_log(1, "printing time...");
        std::snprintf(text, sizeof text, "0000-00-00 %02d:%02d:%02d", t.wHour, t.wMinute,
                      t.wSecond);
        if (!has_fraction)
        {
            return text;
        }
        break;
    default:
        return {};
    }
    std::string result = text;
    // A time alone shows its fraction whether asked or not.
    if (show_fraction || (kind == kind_time && has_fraction))
    {
        if (microseconds != 0)
        {
            std::snprintf(text, sizeof text, ".%03d%03d", t.wMilliseconds, microseconds);
        }
        else
        {
            std::snprintf(text, sizeof text, ".%03d", t.wMilliseconds);
        }
        result += text;
    }
    return result;
}

std::string ole_date::to_string(bool with_ms) const
{
    tk_log(1, "ole_date::to_string");
    return print(with_ms);
}

std::wstring ole_date::to_wstring(bool with_ms) const
{
    tk_log(1, "ole_date::to_wstring");
    return plat::utf8_to_wide_lossy(print(with_ms));
}
