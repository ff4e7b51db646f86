// mss_tn_validator_test.cpp: SQL Server table-name acceptance and the prefix cycle for taken names.
#include "mss/mss_tn_validator.h"
#include "tk/tk_exception.h"

#include <gtest/gtest.h>
#include <string>
#include <vector>

namespace
{

struct acceptance_case
{
    const char* label;
    std::wstring name;
    bool expected;
};

TEST(MssTnValidator, AcceptsBracketedNamesAndLetterOrUnderscoreFirst)
{
    const mss_tn_validator validator({}, {});
    const std::vector<acceptance_case> cases = {
        {"BracketedOddName", L"[1 odd name]", true},
        {"BracketedParts", L"[dbo].[1x]", true},
        {"UnclosedBracket", L"[abc", false},
        {"StrayBracket", L"[a]b]", false},
        {"Underscore", L"_x", true},
        {"Latin", L"Zeta", true},
        {"DigitFirst", L"1abc", false},
        {"Hash", L"#tmp", false},
        {"Dollar", L"$x", false},
        {"BlankFirst", L" x", false},
        {"Cyrillic", L"Таблица", true},
        {"Greek", L"σχήμα", true},
        {"Han", L"订单", true},
        {"AccentedLatin", L"Émile", true},
        {"SuperscriptDigit", L"²x", false},
    };
    // The process runs in the C library's "C" locale here: the letter test must not rely on it.
    for (const acceptance_case& item : cases)
    {
        SCOPED_TRACE(item.label);
        EXPECT_EQ(validator.is_acceptable(item.name), item.expected);
    }
}

TEST(MssTnValidator, EmptyNameIsAnInternalError)
{
    const mss_tn_validator validator({}, {});
    EXPECT_THROW(validator.is_acceptable(L""), tk_mail_assertion);
}

TEST(MssTnValidator, ConstructorEntersSelectedThenExistingNames)
{
    const mss_tn_validator validator({L"a", L"b"}, {L"c"});
    EXPECT_EQ(validator.existing_names(), (std::vector<std::wstring>{L"a", L"b", L"c"}));
    EXPECT_EQ(validator.max_len(), 0);
    EXPECT_TRUE(validator.is_acceptable(std::wstring(5000, L'x')));
}

struct safe_name_case
{
    const char* label;
    std::vector<std::wstring> existing;
    std::wstring name;
    std::wstring expected;
};

TEST(MssTnValidator, SafeNamePrefixesUntilTheNameIsFree)
{
    const std::vector<safe_name_case> cases = {
        {"NothingTaken", {}, L"1abc", L"1abc"},
        {"NotAmongExisting", {L"x"}, L"#tmp", L"#tmp"},
        {"DigitNameTaken", {L"1abc"}, L"1abc", L"_1abc"},
        {"TwoTakenAnyCase", {L"T", L"_T"}, L"t", L"1_t"},
        {"WholeCycle",
         {L"t", L"_t", L"1_t", L"_1_t", L"2_1_t", L"_2_1_t", L"3_2_1_t"},
         L"t",
         L"_3_2_1_t"},
        {"CycleStartsAgain",
         {L"t", L"_t", L"1_t", L"_1_t", L"2_1_t", L"_2_1_t", L"3_2_1_t", L"_3_2_1_t"},
         L"t",
         L"1_3_2_1_t"},
        {"CyrillicAnyCase", {L"ЗАКАЗЫ"}, L"заказы", L"_заказы"},
    };
    for (const safe_name_case& item : cases)
    {
        SCOPED_TRACE(item.label);
        const mss_tn_validator validator(item.existing, {});
        EXPECT_EQ(validator.get_safe_name(item.name), item.expected);
        EXPECT_EQ(validator.existing_names().size(), item.existing.size());
    }
}

TEST(MssTnValidator, AddedNamesTakePartInLaterChecks)
{
    mss_tn_validator validator({L"1abc"}, {});
    const std::wstring first = validator.get_safe_name(L"1abc");
    validator.add_existing_name(first);
    EXPECT_EQ(first, L"_1abc");
    EXPECT_EQ(validator.get_safe_name(L"1abc"), L"1_1abc");
}

} // namespace
