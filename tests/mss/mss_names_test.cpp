// mss_names_test.cpp: bracketing, bracket parsing and owner/table splitting of hostile names.
#include "mss/mss_engine.h"
#include "mss/mss_names.h"
#include "tk/tk_exception.h"

#include <gtest/gtest.h>
#include <string>
#include <vector>

namespace
{

struct bracket_case
{
    std::wstring name;
    std::wstring expected;
};

TEST(MssNames, BracketNameLeavesOnlyWellFormedBracketsAsTheyAre)
{
    const std::vector<bracket_case> cases = {
        {L"orders", L"[orders]"},
        {L"", L"[]"},
        {L"[a]", L"[a]"},
        {L"a]", L"[a]]]"},
        {L"[a].[b]", L"[a].[b]"},
        {L"a.b", L"[a.b]"},
        {L"[a]]b]", L"[a]]b]"},
        {L"[a]b]", L"[[a]]b]]]"},
        {L"[abc", L"[[abc]"},
        {L"[a].b", L"[[a]].b]"},
        {L"[a].", L"[[a]].]"},
        {L"[]", L"[[]]]"},
        {L"[a]; DROP TABLE t; --]", L"[[a]]; DROP TABLE t; --]]]"},
        {L"x'y", L"[x'y]"},
    };
    for (const bracket_case& item : cases)
    {
        SCOPED_TRACE(testing::Message() << "name=" << testing::PrintToString(item.name));
        EXPECT_EQ(mss_bracket_name(item.name), item.expected);
    }
}

TEST(MssNames, QuotedNameParsesBackToTheSameName)
{
    for (const std::wstring name : {L"a]", L"]", L"[x].[y]", L"a.b", L"]]]["})
    {
        SCOPED_TRACE(testing::Message() << "name=" << testing::PrintToString(name));
        const auto parts = mss_parse_bracketed(mss_quote_name(name));
        ASSERT_TRUE(parts.has_value());
        EXPECT_EQ(*parts, std::vector<std::wstring>{name});
    }
}

TEST(MssNames, ParseBracketedReadsPartsAndRefusesEverythingElse)
{
    using parts = std::vector<std::wstring>;
    EXPECT_EQ(mss_parse_bracketed(L"[dbo].[a]]b]"), (parts{L"dbo", L"a]b"}));
    EXPECT_EQ(mss_parse_bracketed(L"[db].[dbo].[t]"), (parts{L"db", L"dbo", L"t"}));
    EXPECT_EQ(mss_parse_bracketed(L"[a.b]"), (parts{L"a.b"}));
    for (const std::wstring text : {L"", L"a", L"[a", L"[a]]", L"[a]x", L"[a].", L"[a]..[b]",
                                    L"[a].b", L"[]", L"[a].[]", L" [a]", L"[a] "})
    {
        SCOPED_TRACE(testing::Message() << "text=" << testing::PrintToString(text));
        EXPECT_FALSE(mss_parse_bracketed(text).has_value());
    }
}

struct split_case
{
    std::wstring name;
    bool view_owned;
    std::wstring table;
    std::wstring owner;
};

TEST(MssNames, SplitTabNameSeparatesOwnerAndTable)
{
    const std::vector<split_case> cases = {
        {L"ab", false, L"ab", L""},
        {L"", false, L"", L""},
        {L"[]", true, L"[]", L""},
        {L"[x].[y]", true, L"y", L"x"},
        {L"[dbo].[T]", true, L"T", L"dbo"},
        {L"[orders]", true, L"orders", L""},
        {L"[a]]b]", true, L"a]b", L""},
        {L"[o]]x].[t]]y]", true, L"t]y", L"o]x"},
        {L"[db].[dbo].[t]", true, L"t", L"dbo"},
        {L"x.y", true, L"x.y", L""},
        {L"x.y", false, L"y", L"x"},
        {L"a.b.c", false, L"b.c", L"a"},
        {L"[a].b", false, L"b", L"[a]"},
        {L"[a]b]", true, L"[a]b]", L""},
    };
    for (const split_case& item : cases)
    {
        SCOPED_TRACE(testing::Message() << "name=" << testing::PrintToString(item.name)
                                        << " view_owned=" << item.view_owned);
        std::wstring table = L"stale";
        std::wstring owner = L"stale";
        EXPECT_TRUE(mss_split_tab_name(item.name, table, owner, item.view_owned));
        EXPECT_EQ(table, item.table);
        EXPECT_EQ(owner, item.owner);
    }
}

TEST(MssNames, SplitTabNameFollowsTheEnginesViewOwnedFlagThroughItsTarget)
{
    std::wstring table;
    std::wstring owner;
    mss_engine engine(true);
    mss_split_tab_name(L"a.b", table, owner, engine.target().view_owned);
    EXPECT_EQ(table, L"a.b");
    engine.set_view_owned(false);
    mss_split_tab_name(L"a.b", table, owner, engine.target().view_owned);
    EXPECT_EQ(owner, L"a");
    EXPECT_EQ(table, L"b");
}

} // namespace
