// tk_string_test.cpp: trims, case, suffixes, replacement and hex of the toolkit's strings.
#include "test_support.h"
#include "tk/tk_logger.h"
#include "tk/tk_string.h"

#include <gtest/gtest.h>

namespace
{

TEST(TkString, TrimsOnlyBlanks)
{
    struct
    {
        std::wstring text;
        std::wstring left;
        std::wstring right;
        std::wstring both;
    } cases[] = {
        {L"  a b  ", L"a b  ", L"  a b", L"a b"},
        {L"   ", L"", L"", L""},
        {L"\ta ", L"\ta ", L"\ta", L"\ta"},
        {L"", L"", L"", L""},
        {L"x", L"x", L"x", L"x"},
    };
    for (const auto& test : cases)
    {
        EXPECT_EQ(tk_ltrim_w(test.text), test.left);
        EXPECT_EQ(tk_rtrim_w(test.text), test.right);
        EXPECT_EQ(tk_trim_w(test.text), test.both);
        EXPECT_EQ(tk_trim(tk_string::to_utf8(test.text)), tk_string::to_utf8(test.both));
        tk_wstring in_place(test.text);
        EXPECT_EQ(in_place.trim_right().trim_left(), test.both);
    }
}

TEST(TkString, AllBlankTextLogsItsSpecialCase)
{
    test_support::temp_dir dir;
    tk_logger logger(dir.file("t.log").c_str(), true, 1, false);
    tk_rtrim_w(L"   ");
    EXPECT_EQ(test_support::read_file(dir.file("t.log")),
              "Special processing for all-spaces-string\r\n");
}

TEST(TkString, EndsWithAndCase)
{
    EXPECT_TRUE(tk_wstring::ends_with(L"Table.sql", L".SQL", false));
    EXPECT_FALSE(tk_wstring::ends_with(L"Table.sql", L".SQL", true));
    EXPECT_TRUE(tk_wstring::ends_with(L"caf\u00C9", L"\u00E9", false));
    EXPECT_TRUE(tk_wstring::ends_with(L"x", L"", true));
    EXPECT_FALSE(tk_wstring::ends_with(L"sql", L".sql", false));

    tk_wstring wide(L"\u00C9TAT Abc");
    EXPECT_EQ(wide.to_lower(), L"\u00C9tat abc");
    tk_string narrow("MiXeD");
    EXPECT_EQ(narrow.to_lower(), "mixed");
    EXPECT_EQ(narrow, "mixed");
    EXPECT_EQ(tk_string::compare_no_case("ABC", "abc"), 0);
    EXPECT_LT(tk_string::compare_no_case("abc", "abd"), 0);
}

TEST(TkString, ReplaceAllResumesAfterTheInsertedText)
{
    struct
    {
        std::wstring text;
        std::wstring old_text;
        std::wstring new_text;
        std::wstring expected;
    } cases[] = {
        {L"a-b-c", L"-", L"+", L"a+b+c"},
        {L"aaa", L"a", L"aa", L"aaaaaa"},
        {L"abc", L"", L"x", L"abc"},
        {L"now() now()", L"now()", L"getdate()", L"getdate() getdate()"},
        {L"xyz", L"q", L"r", L"xyz"},
    };
    for (const auto& test : cases)
    {
        EXPECT_EQ(tk_wstring::replace_all(test.text, test.old_text, test.new_text), test.expected);
    }
}

TEST(TkString, ConversionsStopAtNulAndRejectNull)
{
    EXPECT_EQ(tk_string::to_utf8(std::wstring(L"ab\0cd", 5)), "ab");
    EXPECT_EQ(tk_wstring::from_utf8(std::string("ab\0cd", 5)), L"ab");
    EXPECT_EQ(tk_to_narrow(nullptr), std::nullopt);
    EXPECT_EQ(tk_to_wide(nullptr), std::nullopt);
    EXPECT_EQ(tk_to_wide("\xFF"), std::nullopt);
    EXPECT_EQ(tk_to_narrow(L"\u4E2D\u6587"), "\xE4\xB8\xAD\xE6\x96\x87");
}

TEST(TkString, HexEncodeUsesUpperCase)
{
    const unsigned char bytes[] = {0x00, 0xAB, 0x7F};
    EXPECT_EQ(tk_hex_encode(2, bytes), "00AB");
    EXPECT_EQ(tk_hex_encode(3, bytes), "00AB7F");
    EXPECT_THROW(tk_hex_encode(1, nullptr), tk_mail_assertion);
}

} // namespace
