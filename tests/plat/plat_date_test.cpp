// plat_date_test.cpp: DATE serial numbers, calendar fields and en-US date text.
#include "plat/plat_date.h"
#include "test_support.h"

#include <cmath>
#include <gtest/gtest.h>
#include <string>

namespace
{

using test_support::system_time;

std::string fields(const SYSTEMTIME& t)
{
    char text[64];
    std::snprintf(text, sizeof text, "%04d-%02d-%02d %02d:%02d:%02d.%03d dow%d", t.wYear, t.wMonth,
                  t.wDay, t.wHour, t.wMinute, t.wSecond, t.wMilliseconds, t.wDayOfWeek);
    return text;
}

struct to_date_case
{
    SYSTEMTIME time;
    bool ok;
    double date;
};

TEST(PlatDate, SystemTimeToVariantTimeCountsDaysFromTheEpochWithAbsoluteFractions)
{
    const to_date_case cases[] = {
        {system_time(1899, 12, 30), true, 0.0},
        {system_time(1899, 12, 30, 6), true, 0.25},
        {system_time(1899, 12, 29, 6), true, -1.25}, // before the epoch the fraction is absolute
        {system_time(1899, 12, 29, 18), true, -1.75},
        {system_time(1753, 1, 1), true, -53688.0},
        {system_time(100, 1, 1), true, -657434.0},
        {system_time(9999, 12, 31, 23, 59, 59), true, 2958465.0 + 86399.0 / 86400.0},
        {system_time(2020, 12, 25, 10, 11, 12), true, 44190.0 + 36672.0 / 86400.0},
        {system_time(2020, 2, 29), true, 43890.0},
        {system_time(1899, 12, 30, 12, 0, 0, 999), true, 0.5}, // milliseconds are ignored
        {system_time(99, 12, 31), false, 0},
        {system_time(10000, 1, 1), false, 0},
        {system_time(2020, 13, 1), false, 0},
        {system_time(2020, 0, 1), false, 0},
        {system_time(2021, 2, 29), false, 0},
        {system_time(2020, 1, 0), false, 0},
        {system_time(2020, 1, 1, 24), false, 0},
        {system_time(2020, 1, 1, 0, 60), false, 0},
        {system_time(2020, 1, 1, 0, 0, 60), false, 0},
        {system_time(0, 0, 0, 10, 11, 12), false, 0}, // a time alone has no date number
    };
    for (const to_date_case& c : cases)
    {
        SCOPED_TRACE(fields(c.time));
        DATE date = 123.0;
        ASSERT_EQ(plat::system_time_to_variant_time(c.time, date), c.ok);
        EXPECT_DOUBLE_EQ(date, c.ok ? c.date : 123.0);
    }
}

struct from_date_case
{
    double date;
    bool ok;
    const char* fields;
};

TEST(PlatDate, VariantTimeToSystemTimeRoundsToTheSecond)
{
    const from_date_case cases[] = {
        {0.0, true, "1899-12-30 00:00:00.000 dow6"},
        {-1.25, true, "1899-12-29 06:00:00.000 dow5"},
        {-0.25, true, "1899-12-30 06:00:00.000 dow6"},
        {-53688.0, true, "1753-01-01 00:00:00.000 dow1"},
        {-657434.0, true, "0100-01-01 00:00:00.000 dow5"},
        {2958465.99999, true, "9999-12-31 23:59:59.000 dow5"},
        {44190.0 + 36672.4 / 86400.0, true, "2020-12-25 10:11:12.000 dow5"},
        {44190.0 + 36672.6 / 86400.0, true, "2020-12-25 10:11:13.000 dow5"},
        {1.0 + 59.6 / 86400.0, true, "1899-12-31 00:01:00.000 dow0"},
        // The last second of 1899-12-29 rounds up into the next day, also below zero.
        {-1.0 - 86399.6 / 86400.0, true, "1899-12-30 00:00:00.000 dow6"},
        {2958465.999999, false, ""}, // rounds into the year 10000
        {2958466.0, false, ""},
        {-657434.5, true, "0100-01-01 12:00:00.000 dow5"}, // the fraction is the time of day
        {-657435.0, false, ""},
        {std::nan(""), false, ""},
        {HUGE_VAL, false, ""},
    };
    for (const from_date_case& c : cases)
    {
        SCOPED_TRACE(c.date);
        SYSTEMTIME time = system_time(1, 2, 3);
        ASSERT_EQ(plat::variant_time_to_system_time(c.date, time), c.ok);
        EXPECT_EQ(fields(time), c.ok ? c.fields : fields(system_time(1, 2, 3)));
    }
}

TEST(PlatDate, EveryDayFromYear100To9999RoundTrips)
{
    int mismatches = 0;
    DATE previous = plat::date_floor;
    for (int year = 100; year <= 9999; ++year)
    {
        for (int month = 1; month <= 12; ++month)
        {
            for (int day = 1; day <= plat::days_in_month(year, month); ++day)
            {
                const SYSTEMTIME time = system_time(year, month, day, 13, 14, 15);
                DATE date = 0;
                SYSTEMTIME back;
                if (!plat::system_time_to_variant_time(time, date) ||
                    !plat::variant_time_to_system_time(date, back) || back.wYear != year ||
                    back.wMonth != month || back.wDay != day || back.wHour != 13 ||
                    back.wMinute != 14 || back.wSecond != 15 ||
                    std::trunc(date) != std::trunc(previous) + 1)
                {
                    if (++mismatches < 5)
                    {
                        ADD_FAILURE() << fields(time) << " -> " << date;
                    }
                }
                previous = date;
            }
        }
    }
    EXPECT_EQ(mismatches, 0);
}

struct text_case
{
    const wchar_t* text;
    HRESULT hr;
    const char* fields; // after variant_time_to_system_time
};

TEST(PlatDate, VarDateFromStrReadsTheEnUsForms)
{
    const text_case cases[] = {
        {L"12/25/2020", S_OK, "2020-12-25 00:00:00.000 dow5"},
        {L"12/25/2020 10:11:12", S_OK, "2020-12-25 10:11:12.000 dow5"},
        {L"12/25/20 10:11 PM", S_OK, "2020-12-25 22:11:00.000 dow5"},
        {L"12-25-2020", S_OK, "2020-12-25 00:00:00.000 dow5"},
        {L"Dec 25 2020 10:11AM", S_OK, "2020-12-25 10:11:00.000 dow5"},
        {L"25 December 2020", S_OK, "2020-12-25 00:00:00.000 dow5"},
        {L"December 25, 2020", S_OK, "2020-12-25 00:00:00.000 dow5"},
        {L"25-Dec-2020", S_OK, "2020-12-25 00:00:00.000 dow5"},
        {L"Fri, Dec 25 2020", S_OK, "2020-12-25 00:00:00.000 dow5"},
        {L"2020-12-25T10:11:12", S_OK, "2020-12-25 10:11:12.000 dow5"},
        {L"2020-12-25 10:11", S_OK, "2020-12-25 10:11:00.000 dow5"},
        {L"2020/12/25", S_OK, "2020-12-25 00:00:00.000 dow5"},
        {L"  1/1/30  ", S_OK, "1930-01-01 00:00:00.000 dow3"},
        {L"1/1/29", S_OK, "2029-01-01 00:00:00.000 dow1"},
        {L"1/1/00", S_OK, "2000-01-01 00:00:00.000 dow6"},
        {L"2/29/2020", S_OK, "2020-02-29 00:00:00.000 dow6"},
        {L"10:11:12", S_OK, "1899-12-30 10:11:12.000 dow6"},
        {L"12:30 AM", S_OK, "1899-12-30 00:30:00.000 dow6"},
        {L"12:00 PM", S_OK, "1899-12-30 12:00:00.000 dow6"},
        {L"10 PM", S_OK, "1899-12-30 22:00:00.000 dow6"},
        {L"1/1/1753 00:00:00", S_OK, "1753-01-01 00:00:00.000 dow1"},
        {L"12/31/9999 23:59:59", S_OK, "9999-12-31 23:59:59.000 dow5"},
        {L"now()", DISP_E_TYPEMISMATCH, ""},
        {L"", DISP_E_TYPEMISMATCH, ""},
        {L"2/30/2020", DISP_E_TYPEMISMATCH, ""},
        {L"13/1/2020", DISP_E_TYPEMISMATCH, ""},
        {L"12/25", DISP_E_TYPEMISMATCH, ""},
        {L"25:00", DISP_E_TYPEMISMATCH, ""},
        {L"13:00 PM", DISP_E_TYPEMISMATCH, ""},
        {L"10:11 PM extra", DISP_E_TYPEMISMATCH, ""},
        {L"Dec 2020", DISP_E_TYPEMISMATCH, ""},
        {L"1/1/99999", DISP_E_TYPEMISMATCH, ""},
        {L"1/1/1 10:11:12 5000000000", DISP_E_TYPEMISMATCH, ""},
    };
    for (const text_case& c : cases)
    {
        SCOPED_TRACE(testing::Message() << "text '" << std::wstring(c.text) << "'");
        DATE date = -5.0;
        ASSERT_EQ(plat::var_date_from_str(c.text, date), c.hr);
        if (c.hr != S_OK)
        {
            EXPECT_EQ(date, -5.0);
            continue;
        }
        SYSTEMTIME time;
        ASSERT_TRUE(plat::variant_time_to_system_time(date, time));
        EXPECT_EQ(fields(time), c.fields);
    }
}

TEST(PlatDate, VarBstrFromDatePrintsEnUsText)
{
    const std::pair<double, const wchar_t*> cases[] = {
        {44190.0 + 36672.0 / 86400.0, L"12/25/2020 10:11:12 AM"},
        {44190.0 + 79872.0 / 86400.0, L"12/25/2020 10:11:12 PM"},
        {44190.0, L"12/25/2020"},
        {0.5, L"12:00:00 PM"},
        {0.0, L"12:00:00 AM"},
        {-53688.0, L"1/1/1753"},
    };
    for (const auto& [date, text] : cases)
    {
        SCOPED_TRACE(date);
        std::wstring out;
        ASSERT_EQ(plat::var_bstr_from_date(date, out), S_OK);
        EXPECT_EQ(out, text);
        DATE back = 0;
        ASSERT_EQ(plat::var_date_from_str(out, back), S_OK);
        EXPECT_NEAR(back, date, 0.5 / 86400);
    }
    std::wstring out = L"kept";
    EXPECT_EQ(plat::var_bstr_from_date(1e7, out), DISP_E_OVERFLOW);
    EXPECT_EQ(out, L"kept");
}

} // namespace
