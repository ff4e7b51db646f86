// plat_date.cpp: DATE serial numbers to and from calendar fields, and DATE text in en-US form.
#include "plat/plat_date.h"

#include "plat/plat_date_calc.h"

#include <cmath>

namespace plat
{

long long days_from_civil(int year, int month, int day)
{
    // Counts in 400-year eras that start on March 1st, so the leap day ends a year.
    const long long y = static_cast<long long>(year) - (month <= 2 ? 1 : 0);
    const long long era = (y >= 0 ? y : y - 399) / 400;
    const long long year_of_era = y - era * 400;
    const long long day_of_year = (153 * (month + (month > 2 ? -3 : 9)) + 2) / 5 + day - 1;
    const long long day_of_era =
        year_of_era * 365 + year_of_era / 4 - year_of_era / 100 + day_of_year;
    return era * 146097 + day_of_era - 719468;
}

void civil_from_days(long long days, int& year, int& month, int& day)
{
    days += 719468;
    const long long era = (days >= 0 ? days : days - 146096) / 146097;
    const long long day_of_era = days - era * 146097;
    const long long year_of_era =
        (day_of_era - day_of_era / 1460 + day_of_era / 36524 - day_of_era / 146096) / 365;
    const long long day_of_year =
        day_of_era - (365 * year_of_era + year_of_era / 4 - year_of_era / 100);
    const long long shifted_month = (5 * day_of_year + 2) / 153;
    day = static_cast<int>(day_of_year - (153 * shifted_month + 2) / 5 + 1);
    month = static_cast<int>(shifted_month < 10 ? shifted_month + 3 : shifted_month - 9);
    year = static_cast<int>(year_of_era + era * 400 + (month <= 2 ? 1 : 0));
}

long long date_epoch_days()
{
    return days_from_civil(1899, 12, 30);
}

int days_in_month(int year, int month)
{
    static constexpr int lengths[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    if (month < 1 || month > 12)
    {
        return 0;
    }
    const bool leap = (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
    return month == 2 && leap ? 29 : lengths[month - 1];
}

DATE date_from_parts(long long day_number, double seconds_of_day)
{
    const double fraction = seconds_of_day / 86400.0;
    const auto whole = static_cast<double>(day_number);
    return day_number >= 0 ? whole + fraction : whole - fraction;
}

bool system_time_to_variant_time(const SYSTEMTIME& time, DATE& out)
{
    if (time.wYear < 100 || time.wYear > 9999 || time.wMonth < 1 || time.wMonth > 12 ||
        time.wDay < 1 || time.wDay > days_in_month(time.wYear, time.wMonth) || time.wHour > 23 ||
        time.wMinute > 59 || time.wSecond > 59)
    {
        return false;
    }
    const long long day_number =
        days_from_civil(time.wYear, time.wMonth, time.wDay) - date_epoch_days();
    out = date_from_parts(day_number, time.wHour * 3600 + time.wMinute * 60 + time.wSecond);
    return true;
}

bool variant_time_to_system_time(DATE date, SYSTEMTIME& out)
{
    if (!(date > date_floor && date < date_limit))
    {
        return false;
    }
    const double whole = std::trunc(date);
    long long day_number = static_cast<long long>(whole);
    long long seconds = std::llround(std::fabs(date - whole) * 86400.0);
    // The fraction is the time of day on both sides of the epoch, so a carry is a day later.
    if (seconds >= 86400)
    {
        seconds -= 86400;
        ++day_number;
    }
    const long long civil_days = day_number + date_epoch_days();
    int year = 0;
    int month = 0;
    int day = 0;
    civil_from_days(civil_days, year, month, day);
    if (year > 9999)
    {
        return false;
    }
    SYSTEMTIME result;
    result.wYear = static_cast<std::uint16_t>(year);
    result.wMonth = static_cast<std::uint16_t>(month);
    result.wDay = static_cast<std::uint16_t>(day);
    // 1970-01-01 was a Thursday.
    result.wDayOfWeek = static_cast<std::uint16_t>(((civil_days + 4) % 7 + 7) % 7);
    result.wHour = static_cast<std::uint16_t>(seconds / 3600);
    result.wMinute = static_cast<std::uint16_t>(seconds / 60 % 60);
    result.wSecond = static_cast<std::uint16_t>(seconds % 60);
    out = result;
    return true;
}

HRESULT var_bstr_from_date(DATE date, std::wstring& out)
{
    SYSTEMTIME time;
    if (!variant_time_to_system_time(date, time))
    {
        return DISP_E_OVERFLOW;
    }
    const bool has_date = !(time.wYear == 1899 && time.wMonth == 12 && time.wDay == 30);
    const bool has_time = time.wHour != 0 || time.wMinute != 0 || time.wSecond != 0;
    std::wstring text;
    if (has_date)
    {
        text = std::to_wstring(time.wMonth) + L"/" + std::to_wstring(time.wDay) + L"/" +
               std::to_wstring(time.wYear);
    }
    if (has_time || !has_date)
    {
        const int hour12 = time.wHour % 12 == 0 ? 12 : time.wHour % 12;
        const auto two = [](int value)
        { return (value < 10 ? L"0" : L"") + std::to_wstring(value); };
        if (!text.empty())
        {
            text += L' ';
        }
        text += std::to_wstring(hour12) + L":" + two(time.wMinute) + L":" + two(time.wSecond) +
                (time.wHour < 12 ? L" AM" : L" PM");
    }
    out = std::move(text);
    return S_OK;
}

} // namespace plat
