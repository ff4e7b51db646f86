// plat_text_test.cpp: the UTF-8 codec and the locale-independent comparison.
#include "plat/plat_err.h"
#include "plat/plat_text.h"

#include <cerrno>
#include <clocale>
#include <gtest/gtest.h>

namespace
{

struct round_trip_case
{
    const char* name;
    std::string utf8;
    std::wstring wide;
    std::size_t utf16_units;
};

class PlatUtf8RoundTrip : public testing::TestWithParam<round_trip_case>
{
};

TEST_P(PlatUtf8RoundTrip, DecodesEncodesAndCountsUtf16Units)
{
    const round_trip_case& test = GetParam();
    std::wstring decoded;
    ASSERT_TRUE(plat::utf8_to_wide(test.utf8, decoded));
    EXPECT_EQ(decoded, test.wide);
    EXPECT_EQ(plat::wide_to_utf8(decoded), test.utf8);
    const std::u16string utf16 = plat::wide_to_utf16(decoded);
    EXPECT_EQ(utf16.size(), test.utf16_units);
    EXPECT_EQ(plat::utf16_to_wide(utf16), test.wide);
    EXPECT_EQ(plat::utf16_to_utf8(utf16), test.utf8);
    // Into a buffer that held something longer before: its content is replaced.
    std::string reused = "stale text longer than any case";
    plat::utf16_to_utf8(utf16, reused);
    EXPECT_EQ(reused, test.utf8);
    std::u16string reused16 = u"stale text longer than any case";
    plat::wide_to_utf16(decoded, reused16);
    EXPECT_EQ(reused16, utf16);
}

INSTANTIATE_TEST_SUITE_P(
    Texts, PlatUtf8RoundTrip,
    testing::Values(round_trip_case{"ascii", "Orders", L"Orders", 6},
                    round_trip_case{"two_byte", "caf\xC3\xA9", L"caf\u00E9", 4},
                    round_trip_case{"three_byte", "\xE2\x82\xAC", L"\u20AC", 1},
                    round_trip_case{"four_byte", "\xF0\x9F\x98\x80", L"\U0001F600", 2},
                    round_trip_case{"embedded_nul", std::string("a\0b", 3),
                                    std::wstring(L"a\0b", 3), 3},
                    round_trip_case{"empty", "", L"", 0}),
    [](const testing::TestParamInfo<round_trip_case>& param_info)
    { return param_info.param.name; });

TEST(PlatUtf8, RejectsEveryIllFormedSequenceWithEilseq)
{
    const std::string invalid[] = {
        "\xC0\x80",         // overlong NUL
        "\x80",             // lone continuation byte
        "\xED\xA0\x80",     // UTF-16 surrogate
        "\xF4\x90\x80\x80", // above U+10FFFF
        "\xE2\x82",         // truncated
        "ok\xFF",           // byte that never starts a sequence
        "\xE0\x80\xAF",     // overlong three-byte form
    };
    for (const std::string& bytes : invalid)
    {
        SCOPED_TRACE(testing::PrintToString(bytes));
        plat::set_last_error(0);
        std::wstring out = L"stale";
        EXPECT_FALSE(plat::utf8_to_wide(bytes, out));
        EXPECT_TRUE(out.empty());
        EXPECT_EQ(plat::last_error(), EILSEQ);
    }
}

TEST(PlatUtf8, LoneSurrogatesOfUtf16BecomeReplacementCharacters)
{
    const std::u16string lone_high = {u'a', static_cast<char16_t>(0xD83D), u'b'};
    const std::u16string lone_low_last = {u'a', static_cast<char16_t>(0xDE00)};
    EXPECT_EQ(plat::utf16_to_utf8(lone_high), "a\xEF\xBF\xBD"
                                              "b");
    EXPECT_EQ(plat::utf16_to_utf8(lone_low_last), "a\xEF\xBF\xBD");
}

TEST(PlatUtf8, EncodingReplacesInvalidCodePoints)
{
    const std::wstring bad = {L'a', static_cast<wchar_t>(0xD800), static_cast<wchar_t>(0x110000)};
    EXPECT_EQ(plat::wide_to_utf8(bad), "a\xEF\xBF\xBD\xEF\xBF\xBD");
    EXPECT_EQ(plat::utf8_to_wide_lossy("a\xFF"), L"a\uFFFD");
}

TEST(PlatCompare, FoldsBeyondAsciiWhateverTheProcessLocale)
{
    // A GUI toolkit switches the process locale; comparison must not follow it.
    std::setlocale(LC_ALL, "C");
    struct
    {
        std::wstring a;
        std::wstring b;
        bool equal;
    } cases[] = {
        {L"ORDERS", L"orders", true}, {L"\u00C9T\u00C9", L"\u00E9t\u00E9", true},
        {L"\u03A3", L"\u03C3", true}, {L"Orders", L"Order", false},
        {L"a_b", L"A-B", false},      {L"", L"", true},
    };
    for (const auto& test : cases)
    {
        SCOPED_TRACE(plat::wide_to_utf8(test.a) + " vs " + plat::wide_to_utf8(test.b));
        EXPECT_EQ(plat::equal_ci(test.a, test.b), test.equal);
        EXPECT_EQ(plat::compare_ci(test.a, test.b) == 0, test.equal);
        EXPECT_EQ(plat::equal_ci(plat::wide_to_utf8(test.a), plat::wide_to_utf8(test.b)),
                  test.equal);
    }
    EXPECT_LT(plat::compare_ci(std::wstring_view(L"abc"), std::wstring_view(L"ABD")), 0);
    EXPECT_GT(plat::compare_ci(std::wstring_view(L"abcd"), std::wstring_view(L"ABC")), 0);
}

TEST(PlatCompare, CharacterClassesAndAsciiLowering)
{
    EXPECT_TRUE(plat::is_alnum(L'\u00C9'));
    EXPECT_TRUE(plat::is_alnum(L'\u03A3'));
    EXPECT_TRUE(plat::is_alnum(L'7'));
    EXPECT_FALSE(plat::is_alnum(L'_'));
    EXPECT_FALSE(plat::is_alnum(L' '));
    std::wstring text = L"\u00C9Tat ABC";
    plat::ascii_lower(text);
    EXPECT_EQ(text, L"\u00C9tat abc");
}

} // namespace
