// ole_date_test.cpp: reading date text in its forms, printing it back, and the round trips.
#include "ole/ole_date.h"
#include "ole/ole_variant.h"
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
        {"2020-12-25 10:11:12.123456", 1, "2020-12-25 10:11:12.123"},
        {"2020-12-25 10:11:12.0005", 1, "2020-12-25 10:11:12.001"},
        {"2020-12-25 10:11:12.9996", 1, "2020-12-25 10:11:12.999"},
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

SYSTEMTIME make_time(int year, int month, int day, int hour, int minute, int second,
                     int milliseconds)
{
    SYSTEMTIME time;
    time.wYear = static_cast<std::uint16_t>(year);
    time.wMonth = static_cast<std::uint16_t>(month);
    time.wDay = static_cast<std::uint16_t>(day);
    time.wHour = static_cast<std::uint16_t>(hour);
    time.wMinute = static_cast<std::uint16_t>(minute);
    time.wSecond = static_cast<std::uint16_t>(second);
    time.wMilliseconds = static_cast<std::uint16_t>(milliseconds);
    return time;
}

TEST(OleDate, PrintedTextReadsBackToTheSameValue)
{
    const SYSTEMTIME cases[] = {
        make_time(2020, 12, 25, 10, 11, 12, 5), make_time(2020, 12, 25, 10, 11, 12, 0),
        make_time(1753, 1, 1, 0, 0, 0, 0),      make_time(9999, 12, 31, 23, 59, 59, 999),
        make_time(1899, 12, 30, 0, 0, 0, 0),    make_time(0, 0, 0, 10, 11, 12, 50),
        make_time(0, 0, 0, 0, 0, 0, 1),         make_time(2000, 2, 29, 0, 0, 0, 40),
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
    ole_date date(make_time(2020, 12, 25, 0, 0, 0, 0));
    EXPECT_EQ(date.kind, 2);
    date.kind = 1;
    EXPECT_EQ(date.to_string(true), "2020-12-25");
    date.date_only_at_midnight = false;
    EXPECT_EQ(date.to_string(true), "2020-12-25 00:00:00");

    const ole_date with_ms(make_time(2020, 12, 25, 10, 11, 12, 500));
    EXPECT_EQ(with_ms.to_string(false), "2020-12-25 10:11:12");
    EXPECT_EQ(with_ms.to_wstring(true), L"2020-12-25 10:11:12.500");
    // A time alone shows its milliseconds even when not asked.
    EXPECT_EQ(ole_date(make_time(0, 0, 0, 1, 2, 3, 4)).to_string(false), "0000-00-00 01:02:03.004");
}

TEST(OleDate, PrintingLeavesTheStoredValueAlone)
{
    const ole_date old_year(std::string("49-01-02"));
    EXPECT_EQ(old_year.to_string(false), "2049-01-02");
    EXPECT_EQ(old_year.systemtime.wYear, 49);
    const ole_date time(std::string("10:11"));
    EXPECT_EQ(time.to_string(false), "0000-00-00 10:11:00");
    EXPECT_EQ(time.to_string(false), "0000-00-00 10:11:00");
    EXPECT_TRUE(time.is_valid());
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
