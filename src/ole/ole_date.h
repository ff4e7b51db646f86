// ole_date.h: the system's reader and printer of date and time text.
#pragma once

#include "plat/plat_variant.h"

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

    /// From a VT_DATE VARIANT (to the second); VT_EMPTY and VT_NULL give an invalid date; throws
    /// tk_mail_assertion for other kinds.
    explicit ole_date(const VARIANT& value);
    explicit ole_date(const SYSTEMTIME& time);
    /// Reads date text (see the .cpp for the forms, tried in order). Text that no form reads
    /// gives an invalid date.
    explicit ole_date(const std::string& text);
    explicit ole_date(const std::wstring& text);

    bool is_valid() const;
    /// The VT_DATE value of `systemtime`.
    ole_variant to_variant() const;
    /// "YYYY-MM-DD hh:mm:ss", with ".mmm" when `with_ms` and the milliseconds are not 0;
    /// "YYYY-MM-DD" for a date; "0000-00-00 hh:mm:ss[.mmm]" for a time (milliseconds whenever
    /// not 0); empty when invalid. Years below 100 print as 20xx (below 50) or 19xx.
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
};
