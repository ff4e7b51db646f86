// ole_date.h: the system's reader and printer of date and time text.
#pragma once

#include "plat/plat_variant.h"

#include <cstdint>
#include <string>
#include <string_view>

class ole_variant;

/// A calendar value with its kind, read from the many forms date text takes and printed in one
/// canonical form "YYYY-MM-DD hh:mm:ss[.mmm]". Every operation writes its name to the trace log.
class ole_date
{
public:
    static constexpr int kind_invalid = 0;
    static constexpr int kind_date_time = 1;
    static constexpr int kind_date = 2;
    static constexpr int kind_time = 3;

    /// A date-and-time value whose hour, minute, second and millisecond are 0 prints as a date
    /// alone.
    bool date_only_at_midnight = true;
    /// kind_invalid, kind_date_time, kind_date or kind_time.
    int kind = kind_invalid;
    /// The value; a time alone has year, month and day 0.
    SYSTEMTIME systemtime{};
    /// The microseconds within `systemtime.wMilliseconds` (0-999): text and the engines carry
    /// six decimals of a second, SYSTEMTIME three.
    std::uint16_t microseconds = 0;

    /// From a VT_DATE VARIANT (to the second); VT_EMPTY and VT_NULL give an invalid date; throws
    /// tk_mail_assertion for other kinds.
    explicit ole_date(const VARIANT& value);
    /// `sub_millisecond` above 999 counts as 999.
    explicit ole_date(const SYSTEMTIME& time, std::uint16_t sub_millisecond = 0);
    /// Reads date text (see the .cpp for the forms, tried in order). Text that no form reads
    /// gives an invalid date.
    explicit ole_date(const std::string& text);
    explicit ole_date(const std::wstring& text);

    bool is_valid() const;
    /// The VT_DATE value of `systemtime` and `microseconds`.
    ole_variant to_variant() const;
    /// "YYYY-MM-DD hh:mm:ss", with the fraction when `with_ms` and it is not 0 (".mmm", or
    /// ".mmmuuu" when there are microseconds); "YYYY-MM-DD" for a date; "0000-00-00
    /// hh:mm:ss[.fraction]" for a time (the fraction whenever not 0); empty when invalid. The
    /// year always has four digits as stored (0099 is the year 99); text with a year of one or
    /// two digits ("49-01-02") reads as 2000-2049 or 1950-1999.
    std::wstring to_wstring(bool with_ms) const;
    std::string to_string(bool with_ms) const;

private:
    void read_text(const std::string& text);
    bool import(const std::string& text);
    bool try_digits(const std::string& text);
    bool try_time(const std::string& text);
    bool try_date_time(const std::string& text, int format_idx);
    bool try_platform(const std::string& text);
    void process_milliseconds(std::string_view seconds_text);
    void refine_type();
    std::string print(bool with_ms) const;

    /// How many digits the text gave the year field and the day field (0: not read from
    /// separated fields), so that a two-digit year can be told from the year 0049.
    int m_year_digits = 0;
    int m_day_digits = 0;
};
