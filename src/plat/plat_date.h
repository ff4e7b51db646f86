// plat_date.h: the automation DATE (days since 1899-12-30), SYSTEMTIME and their conversions.
#pragma once

#include "plat/plat_hresult.h"

#include <cstdint>
#include <string>
#include <string_view>

/// Days since 1899-12-30 00:00. Before that day the integer part is the day and the fraction is
/// the time of day taken as an absolute value: -1.25 is 1899-12-29 06:00.
using DATE = double;

/// Calendar fields, 16 bits each, in the platform's order; wDayOfWeek counts from Sunday = 0.
struct SYSTEMTIME
{
    std::uint16_t wYear = 0;
    std::uint16_t wMonth = 0;
    std::uint16_t wDayOfWeek = 0;
    std::uint16_t wDay = 0;
    std::uint16_t wHour = 0;
    std::uint16_t wMinute = 0;
    std::uint16_t wSecond = 0;
    std::uint16_t wMilliseconds = 0;

    bool operator==(const SYSTEMTIME&) const = default;
};
static_assert(sizeof(SYSTEMTIME) == 16);

namespace plat
{

/// The DATE range, both ends excluded: above date_floor (the times of 0100-01-01 lie between
/// -657434 and -657435) and below date_limit (10000-01-01).
inline constexpr DATE date_floor = -657435.0;
inline constexpr DATE date_limit = 2958466.0;

/// SystemTimeToVariantTime: false unless the year is 100-9999 and month, day, hour, minute and
/// second form a real calendar time (hour 0-23, minute and second 0-59). Milliseconds and the
/// day of week are ignored. `out` changes only on success.
bool system_time_to_variant_time(const SYSTEMTIME& time, DATE& out);

/// VariantTimeToSystemTime: the calendar fields, rounded to the nearest second, milliseconds 0,
/// the day of week filled in. False for NaN, outside
/// (date_floor, date_limit) and when rounding reaches the year 10000.
bool variant_time_to_system_time(DATE date, SYSTEMTIME& out);

/// VarDateFromStr with fixed en-US rules. Reads "M/D/Y" (also with '-' or '.'), "Y-M-D" and
/// "Y/M/D" (four-digit year first), month names ("Dec 25 2020", "25 December 2020",
/// "December 25, 2020", "25-Dec-2020", a leading weekday name is skipped), each optionally
/// followed by a time "h:mm[:ss[.fff]]" with AM/PM; ISO "Y-M-DThh:mm:ss"; a time alone (on
/// 1899-12-30). Two-digit years: 00-29 are 20xx, 30-99 are 19xx. Anything else, or a date that
/// does not exist, is DISP_E_TYPEMISMATCH. `out` changes only on success.
HRESULT var_date_from_str(std::wstring_view text, DATE& out);

/// VarBstrFromDate with en-US rules: "12/25/2020 10:11:12 AM"; the date alone at midnight, the
/// time alone on 1899-12-30. DISP_E_OVERFLOW outside the DATE range.
HRESULT var_bstr_from_date(DATE date, std::wstring& out);

/// Days in a month of the proleptic Gregorian calendar (0 for a month outside 1-12).
int days_in_month(int year, int month);

} // namespace plat
