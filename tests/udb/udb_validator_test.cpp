// udb_validator_test.cpp: acceptance, duplicates and numbered safe names of the neutral rules.
#include "test_support.h"
#include "tk/tk_exception.h"
#include "tk/tk_logger.h"
#include "udb/udb_validator.h"

#include <gtest/gtest.h>
#include <string>
#include <vector>

namespace
{

// The neutral rules with the lists a side's constructor would fill.
class rules : public udb_validator
{
public:
    rules(int max_len, const std::vector<std::wstring>& existing,
          const std::vector<std::wstring>& restricted, const std::wstring& illegal)
        : udb_validator(max_len)
    {
        for (const std::wstring& name : existing)
        {
            add_existing_name(name);
        }
        for (const std::wstring& word : restricted)
        {
            add_restricted_name(word);
        }
        for (wchar_t c : illegal)
        {
            add_illegal_char(c);
        }
    }
};

struct safe_name_case
{
    const char* label;
    int max_len;
    std::vector<std::wstring> existing;
    std::vector<std::wstring> restricted;
    std::wstring illegal;
    std::wstring name;
    std::wstring expected;
};

class UdbValidatorSafeName : public testing::TestWithParam<safe_name_case>
{
};

TEST_P(UdbValidatorSafeName, GivesTheFirstFreeAcceptableForm)
{
    const safe_name_case& c = GetParam();
    const rules validator(c.max_len, c.existing, c.restricted, c.illegal);
    EXPECT_EQ(validator.get_safe_name(c.name), c.expected);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, UdbValidatorSafeName,
    testing::Values(
        safe_name_case{"FreeNameStays", 0, {L"Customers"}, {}, L"", L"Orders", L"Orders"},
        safe_name_case{"TakenInOtherCase", 0, {L"ORDERS"}, {}, L"", L"Orders", L"Orders00000"},
        safe_name_case{"SkipsTakenNumbers",
                       0,
                       {L"orders", L"ORDERS00000", L"Orders00001"},
                       {},
                       L"",
                       L"Orders",
                       L"Orders00002"},
        safe_name_case{
            "LongFreeNameCutOneUnderLimit", 10, {}, {}, L"", L"abcdefghijkl", L"abcdefghi"},
        safe_name_case{
            "CutNameTakenIsNumbered", 10, {L"abcdefghi"}, {}, L"", L"abcdefghijkl", L"abcd00000"},
        safe_name_case{
            "FiveLettersReachTheLimit", 10, {L"abcde"}, {}, L"", L"abcde", L"abcde00000"},
        safe_name_case{"SixLettersCutToFour", 10, {L"abcdef"}, {}, L"", L"abcdef", L"abcd00000"},
        safe_name_case{
            "SmallestLimitKeepsOneLetter", 7, {L"abcdefg"}, {}, L"", L"abcdefg", L"a00000"},
        safe_name_case{"IllegalCharacterReplaced", 0, {}, {}, L"-", L"my-table", L"my_table"},
        safe_name_case{"EveryIllegalOccurrence", 0, {}, {}, L"-/", L"a-b/c-d", L"a_b_c_d"},
        safe_name_case{
            "ReplacedNameTaken", 0, {L"MY_TABLE"}, {}, L"-", L"my-table", L"my_table00000"},
        safe_name_case{
            "RestrictedWordNumbered", 0, {}, {L"SELECT"}, L"", L"select", L"select00000"},
        safe_name_case{"NonLatinCaseFolded", 0, {L"ÉTÉ"}, {}, L"", L"été", L"été00000"},
        safe_name_case{"GreekCaseFolded", 0, {L"ΣΟΦΙΑ"}, {}, L"", L"σοφια", L"σοφια00000"},
        safe_name_case{"NonLatinFirstLetterKept", 0, {}, {}, L"-", L"Ωmega-1", L"Ωmega_1"}),
    [](const testing::TestParamInfo<safe_name_case>& param_info)
    { return param_info.param.label; });

struct acceptance_case
{
    const char* label;
    int max_len;
    std::wstring name;
    bool expected;
};

class UdbValidatorAcceptance : public testing::TestWithParam<acceptance_case>
{
};

TEST_P(UdbValidatorAcceptance, ChecksLengthRestrictedAndIllegal)
{
    const acceptance_case& c = GetParam();
    const rules validator(c.max_len, {L"taken"}, {L"Select", L"Straße"}, L"-");
    EXPECT_EQ(validator.is_acceptable(c.name), c.expected);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, UdbValidatorAcceptance,
    testing::Values(acceptance_case{"AtTheLimit", 8, L"abcdefgh", true},
                    acceptance_case{"OverTheLimit", 8, L"abcdefghi", false},
                    acceptance_case{"UnlimitedLong", 0, std::wstring(500, L'x'), true},
                    acceptance_case{"RestrictedOtherCase", 0, L"SELECT", false},
                    acceptance_case{"RestrictedNonAscii", 0, L"STRASSE", true},
                    acceptance_case{"RestrictedNonAsciiCase", 0, L"STRAßE", false},
                    acceptance_case{"RestrictedAsPrefixIsFine", 0, L"selected", true},
                    acceptance_case{"IllegalCharacter", 0, L"a-b", false},
                    acceptance_case{"ExistingNamesNotTested", 0, L"TAKEN", true}),
    [](const testing::TestParamInfo<acceptance_case>& param_info)
    { return param_info.param.label; });

TEST(UdbValidator, DuplicatesIgnoreCaseAndRepeatedEntriesAreHarmless)
{
    rules validator(0, {L"Orders", L"Orders"}, {}, L"");
    EXPECT_TRUE(validator.is_duplicated(L"oRDERS"));
    EXPECT_FALSE(validator.is_duplicated(L"Order"));
    validator.add_existing_name(L"Order");
    EXPECT_TRUE(validator.is_duplicated(L"ORDER"));
    EXPECT_EQ(validator.existing_names().size(), 3u);
}

TEST(UdbValidator, LimitsWithoutRoomForTheSuffixAreRefused)
{
    for (int max_len : {-1, 1, 2, 5, 6})
    {
        SCOPED_TRACE(max_len);
        EXPECT_THROW(udb_validator validator(max_len), tk_mail_assertion);
    }
    for (int max_len : {0, 7, 63, 128})
    {
        SCOPED_TRACE(max_len);
        EXPECT_NO_THROW(udb_validator validator(max_len));
    }
}

// The base algorithm must call the derived rules through the virtual table.
class no_trailing_zero : public rules
{
public:
    no_trailing_zero()
        : rules(0, {L"Orders"}, {}, L"")
    {
    }
    bool is_acceptable(const std::wstring& name) const override
    {
        return !name.empty() && name.back() != L'0' && rules::is_acceptable(name);
    }
};

TEST(UdbValidator, SafeNameUsesTheDerivedRules)
{
    const no_trailing_zero validator;
    EXPECT_EQ(validator.get_safe_name(L"Orders"), L"Orders00001");
    const udb_validator& base = validator;
    EXPECT_EQ(base.get_safe_name(L"Items0"), L"Items000001");
}

class refuses_everything : public udb_validator
{
public:
    refuses_everything()
        : udb_validator(0)
    {
    }
    bool is_acceptable(const std::wstring&) const override { return false; }
};

TEST(UdbValidator, ExhaustedNumbersAreAnInternalError)
{
    const refuses_everything validator;
    try
    {
        validator.get_safe_name(L"x");
        FAIL() << "no exception";
    }
    catch (const tk_mail_assertion& error)
    {
        // "udb_vali\54" in hex.
        EXPECT_EQ(error.message(), "Internal error: \ncode=7564625f76616c695c3534");
        EXPECT_EQ(error.severity(), 2);
    }
}

TEST(UdbValidator, RefusalIsLoggedWithTheWideCharacter)
{
    test_support::temp_dir dir;
    tk_logger logger(dir.file("v.log").c_str(), true, 2, false);
    const rules validator(7, {}, {L"Σ"}, L"→");
    EXPECT_FALSE(validator.is_acceptable(L"a→b"));
    EXPECT_FALSE(validator.is_acceptable(L"σ"));
    EXPECT_FALSE(validator.is_acceptable(L"too_long"));
    EXPECT_EQ(test_support::read_file(dir.file("v.log")),
              "udb_validator::ctor\r\n"
              "udb_validator::is_acceptable(a→b)\r\n"
              "The name contains illegal: →\r\n"
              "udb_validator::is_acceptable(σ)\r\n"
              "The name is restricted\r\n"
              "udb_validator::is_acceptable(too_long)\r\n");
}

} // namespace
