// ole_date_test.cpp: reading date text in its forms, printing it back, and the round trips.
#include "ole/ole_date.h"
#include "ole/ole_variant.h"
#include "test_support.h"
#include "tk/tk_exception.h"

#include <cstdio>
#include <gtest/gtest.h>
#include <string>

namespace
{

struct read_case
{
    std::string text;
    int kind;
    std::string printed; // to_string(true)
};

TEST(OleDate, ReaderAcceptsEachFormAndPrintsTheCanonicalText)
{
    const read_case cases[] = {
        {"20201225101112", 1, "2020-12-25 10:11:12"},
        {"20201225101112x", 0, ""},
        {"20201225", 2, "2020-12-25"},
        {"  2020-12-25 10:11:12  ", 1, "2020-12-25 10:11:12"},
        {"25-12-2020 10:11:12.5", 1, "2020-12-25 10:11:12.500"},
        {"25-12-2020 10:11:12 500", 1, "2020-12-25 10:11:12.500"},
        {"2020-12-25 10:11:12.005", 1, "2020-12-25 10:11:12.005"},
        {"2020-12-25 10:11:12.123456", 1, "2020-12-25 10:11:12.123456"},
        {"2020-12-25 10:11:12.0005", 1, "2020-12-25 10:11:12.000500"},
        {"2020-12-25 10:11:12.9999996", 1, "2020-12-25 10:11:12.999999"},
        {"2020-12-25 10:11:12.1234565", 1, "2020-12-25 10:11:12.123457"},
        {"2020/12/25 10:11:12", 1, "2020-12-25 10:11:12"},
        {"2020.12.25", 2, "2020-12-25"},
        {"2020-12-25 3:00:00 PM", 1, "2020-12-25 15:00:00"},
        {"2020-12-25 12:00:00 PM", 1, "2020-12-25 12:00:00"},
        {"2020-12-25 00:00:00", 2, "2020-12-25"},
        {"2020-12-25 00:00:00.500", 1, "2020-12-25 00:00:00.500"},
        {"12:30 AM", 3, "0000-00-00 00:30:00"},
        {"12:30 PM", 3, "0000-00-00 12:30:00"},
        {"10:11", 3, "0000-00-00 10:11:00"},
        {"10:11:12.100", 3, "0000-00-00 10:11:12.100"},
        {"60:00", 3, "0000-00-00 60:00:00"},
        {"12/25/2020", 2, "2020-12-25"},
        {"Dec 25 2020 10:11AM", 1, "2020-12-25 10:11:00"},
        {"December 25, 2020 10:11 PM", 1, "2020-12-25 22:11:00"},
        {"2020-12-25T10:11:12", 1, "2020-12-25 10:11:12"},
        {"1753-01-01", 2, "1753-01-01"},
        {"9999-12-31 23:59:59", 1, "9999-12-31 23:59:59"},
        {"1899-12-30", 2, "1899-12-30"},
        {"49-01-02", 2, "2049-01-02"},
        {"50-01-02", 2, "1950-01-02"},
        {"2020-13-01", 0, ""},
        {"2020-00-01", 0, ""},
        {"now()", 0, ""},
        {"abcd", 0, ""},
        {"", 0, ""},
        {"99999:00", 0, ""},
        {"-5:10:00", 0, ""},
        {"10:11:-5", 0, ""},
    };
    for (const read_case& c : cases)
    {
        SCOPED_TRACE("'" + c.text + "'");
        const ole_date date(c.text);
        EXPECT_EQ(date.kind, c.kind);
        EXPECT_EQ(date.is_valid(), c.kind != 0);
        EXPECT_EQ(date.to_string(true), c.printed);
    }
}

TEST(OleDate, EveryMillisecondTextReadsExactly)
{
    int wrong = 0;
    for (int second = 0; second < 60; ++second)
    {
        for (int millisecond = 0; millisecond < 1000; ++millisecond)
        {
            char text[40];
            std::snprintf(text, sizeof text, "2020-12-25 10:11:%02d.%03d", second, millisecond);
            const ole_date date{std::string(text)};
            // Whole seconds print without a fraction.
            const std::string printed = millisecond == 0 ? std::string(text, 19) : text;
            if (date.systemtime.wSecond != second || date.systemtime.wMilliseconds != millisecond ||
                date.to_string(true) != printed)
            {
                if (++wrong < 5)
                {
                    ADD_FAILURE() << text << " read as " << date.systemtime.wSecond << "."
                                  << date.systemtime.wMilliseconds;
                }
            }
        }
    }
    EXPECT_EQ(wrong, 0);
}

using test_support::system_time;

TEST(OleDate, PrintedTextReadsBackToTheSameValue)
{
    const SYSTEMTIME cases[] = {
        system_time(2020, 12, 25, 10, 11, 12, 5), system_time(2020, 12, 25, 10, 11, 12, 0),
        system_time(1753, 1, 1, 0, 0, 0, 0),      system_time(9999, 12, 31, 23, 59, 59, 999),
        system_time(1899, 12, 30, 0, 0, 0, 0),    system_time(0, 0, 0, 10, 11, 12, 50),
        system_time(0, 0, 0, 0, 0, 0, 1),         system_time(2000, 2, 29, 0, 0, 0, 40),
    };
    for (const SYSTEMTIME& time : cases)
    {
        const ole_date date(time);
        const std::string text = date.to_string(true);
        SCOPED_TRACE(text);
        const ole_date back(text);
        EXPECT_EQ(back.kind, date.kind);
        EXPECT_EQ(back.systemtime, time);
        EXPECT_EQ(ole_date(date.to_wstring(true)).systemtime, time);
    }
}

TEST(OleDate, MidnightAndMillisecondsFollowTheSwitches)
{
    ole_date date(system_time(2020, 12, 25, 0, 0, 0, 0));
    EXPECT_EQ(date.kind, 2);
    date.kind = 1;
    EXPECT_EQ(date.to_string(true), "2020-12-25");
    date.date_only_at_midnight = false;
    EXPECT_EQ(date.to_string(true), "2020-12-25 00:00:00");

    const ole_date with_ms(system_time(2020, 12, 25, 10, 11, 12, 500));
    EXPECT_EQ(with_ms.to_string(false), "2020-12-25 10:11:12");
    EXPECT_EQ(with_ms.to_wstring(true), L"2020-12-25 10:11:12.500");
    // A time alone shows its milliseconds even when not asked.
    EXPECT_EQ(ole_date(system_time(0, 0, 0, 1, 2, 3, 4)).to_string(false),
              "0000-00-00 01:02:03.004");
}

TEST(OleDate, PrintingLeavesTheStoredValueAlone)
{
    // A two-digit year is widened when it is read; printing never changes a year.
    const ole_date old_year(std::string("49-01-02"));
    EXPECT_EQ(old_year.to_string(false), "2049-01-02");
    EXPECT_EQ(old_year.systemtime.wYear, 2049);
    const ole_date time(std::string("10:11"));
    EXPECT_EQ(time.to_string(false), "0000-00-00 10:11:00");
    EXPECT_EQ(time.to_string(false), "0000-00-00 10:11:00");
    EXPECT_TRUE(time.is_valid());
}

struct text_form_case
{
    const char* name;
    SYSTEMTIME time;
    std::uint16_t microseconds;
    std::string printed; // to_string(true), and the value's own text form
};

class OleDateTextForms : public testing::TestWithParam<text_form_case>
{
};

// Every text form shows the year with its four digits and the whole fraction, and reads back to
// the same value.
TEST_P(OleDateTextForms, KeepEarlyYearsAndWholeFractions)
{
    const text_form_case& c = GetParam();
    const ole_date date(c.time, c.microseconds);
    EXPECT_EQ(date.to_string(true), c.printed);
    EXPECT_EQ(date.to_wstring(true), std::wstring(c.printed.begin(), c.printed.end()));

    const ole_variant value(c.time, c.microseconds);
    EXPECT_EQ(value.to_string(), c.printed);
    ole_variant as_text = value;
    as_text.change_type(VT_BSTR);
    EXPECT_EQ(as_text.to_string(), c.printed);

    const ole_date back(c.printed);
    EXPECT_EQ(back.systemtime, c.time);
    EXPECT_EQ(back.microseconds, c.microseconds);
    ole_variant read;
    read.from_string(c.printed, VT_DATE);
    EXPECT_EQ(read.get_systemtime(), c.time);
    EXPECT_EQ(read.microseconds, c.microseconds);
    as_text.change_type(VT_DATE);
    EXPECT_EQ(as_text.microseconds, c.microseconds);
}

INSTANTIATE_TEST_SUITE_P(
    OleDate, OleDateTextForms,
    testing::Values(
        text_form_case{"YearNinetyNine", system_time(99, 1, 1, 0, 0, 0, 0), 0, "0099-01-01"},
        text_form_case{"YearOne", system_time(1, 1, 1, 0, 0, 0, 0), 0, "0001-01-01"},
        text_form_case{"YearFortyNineWithTime", system_time(49, 12, 31, 10, 0, 0, 0), 0,
                       "0049-12-31 10:00:00"},
        text_form_case{"MicrosecondsAtMidnight", system_time(2020, 1, 1, 0, 0, 0, 0), 123,
                       "2020-01-01 00:00:00.000123"},
        text_form_case{"MillisecondsAndMicroseconds", system_time(2020, 1, 1, 10, 11, 12, 345), 678,
                       "2020-01-01 10:11:12.345678"},
        text_form_case{"MillisecondsAlone", system_time(2020, 1, 1, 10, 11, 12, 340), 0,
                       "2020-01-01 10:11:12.340"},
        text_form_case{"TimeOfOneMicrosecond", system_time(0, 0, 0, 0, 0, 0, 0), 1,
                       "0000-00-00 00:00:00.000001"},
        text_form_case{"EarlyYearWithFraction", system_time(5, 3, 4, 1, 2, 3, 4), 5,
                       "0005-03-04 01:02:03.004005"}),
    [](const testing::TestParamInfo<text_form_case>& param_info) { return param_info.param.name; });

TEST(OleDate, FractionWithoutMillisecondsIsNotADateAlone)
{
    // Not asked for the fraction, the text still keeps the time of day it belongs to.
    const ole_date date(system_time(2020, 1, 1, 0, 0, 0, 0), 500);
    EXPECT_EQ(date.kind, ole_date::kind_date_time);
    EXPECT_EQ(date.to_string(false), "2020-01-01 00:00:00");
}

TEST(OleDate, LongSecondsTextIsReadSafely)
{
    const ole_date date("1:2:" + std::string(5000, 'x'));
    EXPECT_EQ(date.kind, 3);
    EXPECT_EQ(date.to_string(true), "0000-00-00 01:02:00");
    const ole_date digits("2020-12-25 10:11:" + std::string(5000, '9'));
    EXPECT_FALSE(digits.is_valid());
}

TEST(OleDate, FromVariantAndBack)
{
    const std::pair<double, std::string> cases[] = {
        {44190.0 + 36672.0 / 86400.0, "2020-12-25 10:11:12"},
        {0.0, "1899-12-30"},
        {-1.25, "1899-12-29 06:00:00"},
        {-53688.0, "1753-01-01"},
        {2958465.0, "9999-12-31"},
    };
    for (const auto& [number, text] : cases)
    {
        SCOPED_TRACE(text);
        VARIANT value;
        value.vt = VT_DATE;
        value.date = number;
        const ole_date date(value);
        EXPECT_EQ(date.to_string(true), text);
        const ole_variant back = ole_date(text).to_variant();
        EXPECT_EQ(back.get_type(), VT_DATE);
        EXPECT_DOUBLE_EQ(back.value.date, number);
    }
    VARIANT out_of_range;
    out_of_range.vt = VT_DATE;
    out_of_range.date = 1e9;
    EXPECT_FALSE(ole_date(out_of_range).is_valid());
    EXPECT_FALSE(ole_date(VARIANT{}).is_valid());
    VARIANT number;
    number.vt = VT_I4;
    EXPECT_THROW(ole_date{number}, tk_mail_assertion);
}

} // namespace
