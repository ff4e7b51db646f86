// plat_fmt_test.cpp: the printf dialect of the system's texts, formatted type-safely.
#include "plat/plat_fmt.h"

#include <clocale>
#include <cstdint>
#include <gtest/gtest.h>

namespace
{

TEST(PlatFormat, NarrowConversionsMatchPrintf)
{
    const std::int32_t hresult = static_cast<std::int32_t>(0x80040E2F);
    struct
    {
        std::string got;
        std::string expected;
    } cases[] = {
        {plat::format("Error code: %08X", hresult), "Error code: 80040E2F"},
        {plat::format("%d rows", 42), "42 rows"},
        {plat::format("%5d|%-5d|", 7, 7), "    7|7    |"},
        {plat::format("%I64d", INT64_MIN), "-9223372036854775808"},
        {plat::format("%I64u", UINT64_MAX), "18446744073709551615"},
        {plat::format("%u", -1), "4294967295"},
        {plat::format("%x", static_cast<short>(-1)), "ffff"},
        {plat::format("%ld of %lu", 3L, 4UL), "3 of 4"},
        {plat::format("%.2f %e", 2.5, 1000.0), "2.50 1.000000e+03"},
        {plat::format("%s=%s", "key", std::string("val")), "key=val"},
        {plat::format("%s", std::wstring(L"caf\u00E9")), "caf\xC3\xA9"},
        {plat::format("100%%"), "100%"},
        {plat::format("%c%c", 'o', 'k'), "ok"},
        {plat::format("%*d", 4, 9), "   9"},
        {plat::format("%.3s|%5s", "abcdef", "\xC3\xA9"), "abc|    \xC3\xA9"},
        {plat::format("missing %d and %s"), "missing  and "},
        {plat::format("trailing %"), "trailing %"},
        {plat::format("%d", true), "1"},
    };
    for (const auto& test : cases)
    {
        EXPECT_EQ(test.got, test.expected);
    }
}

TEST(PlatFormat, WideFormatTakesWideStringsAndGivesUtf8)
{
    EXPECT_EQ(plat::wformat(L"Field '%s' not found", std::wstring(L"\u00E9t\u00E9")),
              "Field '\xC3\xA9t\xC3\xA9' not found");
    EXPECT_EQ(plat::wformat(L"%s|%S", L"w\U0001F600", "n"), "w\xF0\x9F\x98\x80|n");
    EXPECT_EQ(plat::wformat(L"[%c]", L'\u20AC'), "[\xE2\x82\xAC]");
    EXPECT_EQ(plat::wformat_w(L"%s%05d", std::wstring(L"t"), 42), L"t00042");
}

TEST(PlatFormat, NumbersIgnoreTheProcessLocale)
{
    // A German locale would print 2,5; the log and SQL texts must keep the point.
    if (std::setlocale(LC_NUMERIC, "de_DE.UTF-8") == nullptr)
    {
        std::setlocale(LC_NUMERIC, "C");
        GTEST_SKIP() << "locale de_DE.UTF-8 is not installed";
    }
    const std::string text = plat::format("%.1f", 2.5);
    std::setlocale(LC_NUMERIC, "C");
    EXPECT_EQ(text, "2.5");
}

} // namespace
