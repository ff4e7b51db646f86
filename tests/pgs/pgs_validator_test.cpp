// pgs_validator_test.cpp: PostgreSQL identifier acceptance, repair and the index-name instance.
#include "pgs/pgs_validator.h"
#include "test_support.h"
#include "tk/tk_exception.h"
#include "tk/tk_logger.h"

#include <gtest/gtest.h>
#include <memory>
#include <string>

namespace
{

// The rules with one reserved word, as a caller that needs one would add it.
class with_reserved : public pgs_validator
{
public:
    explicit with_reserved(const std::wstring& word) { add_restricted_name(word); }
};

struct acceptance_case
{
    const char* label;
    std::wstring name;
    bool expected;
};

class PgsValidatorAcceptance : public testing::TestWithParam<acceptance_case>
{
};

TEST_P(PgsValidatorAcceptance, FollowsTheIdentifierRules)
{
    const with_reserved validator(L"select");
    EXPECT_EQ(validator.is_acceptable(GetParam().name), GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, PgsValidatorAcceptance,
    testing::Values(
        acceptance_case{"Plain", L"orders", true},
        acceptance_case{"DigitFirst", L"1st_table", true},
        acceptance_case{"UnderscoreFirst", L"_orders", false}, acceptance_case{"Empty", L"", false},
        acceptance_case{"Exactly63", std::wstring(63, L'a'), true},
        acceptance_case{"Over63", std::wstring(64, L'a'), false},
        acceptance_case{"Hyphen", L"my-table", false},
        acceptance_case{"BlankDollarDotInside", L"a b$c.d_e", true},
        acceptance_case{"BlankFirst", L" ab", false}, acceptance_case{"DollarFirst", L"$ab", false},
        acceptance_case{"DotFirst", L".ab", false},
        acceptance_case{"LatinAccentFirst", L"été", true},
        acceptance_case{"GreekFirst", L"Ωmega", true},
        acceptance_case{"CyrillicName", L"заказы", true}, acceptance_case{"Tab", L"a\tb", false},
        acceptance_case{"RestrictedOtherCase", L"SELECT", false},
        acceptance_case{"RestrictedPrefixIsFine", L"selected", true}),
    [](const testing::TestParamInfo<acceptance_case>& param_info)
    { return param_info.param.label; });

struct safe_name_case
{
    const char* label;
    std::wstring existing;
    std::wstring name;
    std::wstring expected;
};

class PgsValidatorSafeName : public testing::TestWithParam<safe_name_case>
{
};

TEST_P(PgsValidatorSafeName, RepairsThenNumbers)
{
    with_reserved validator(L"select");
    if (!GetParam().existing.empty())
    {
        validator.add_existing_name(GetParam().existing);
    }
    EXPECT_EQ(validator.get_safe_name(GetParam().name), GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, PgsValidatorSafeName,
    testing::Values(
        safe_name_case{"AcceptableStays", L"", L"orders", L"orders"},
        safe_name_case{"UnderscoreFirstGetsA", L"", L"_orders", L"A_orders"},
        safe_name_case{"EmptyBecomesA", L"", L"", L"A"},
        safe_name_case{"BadFirstThenReplaced", L"", L"-x", L"A_x"},
        safe_name_case{"HyphenReplaced", L"", L"my-table", L"my_table"},
        safe_name_case{"Over63CutTo62", L"", std::wstring(64, L'a'), std::wstring(62, L'a')},
        safe_name_case{"PrefixThenCut", L"", L"_" + std::wstring(63, L'b'),
                       L"A_" + std::wstring(60, L'b')},
        safe_name_case{"Exactly63Stays", L"", std::wstring(63, L'c'), std::wstring(63, L'c')},
        safe_name_case{"LongTakenNumberedWithinLimit", std::wstring(62, L'd'),
                       std::wstring(70, L'd'), std::wstring(57, L'd') + L"00000"},
        safe_name_case{"TakenInOtherCase", L"ORDERS", L"orders", L"orders00000"},
        safe_name_case{"RestrictedNumbered", L"", L"Select", L"Select00000"},
        safe_name_case{"NonLatinKept", L"", L"Straße-Ω", L"Straße_Ω"},
        safe_name_case{"NonLatinTakenFolded", L"ÉTÉ", L"été", L"été00000"}),
    [](const testing::TestParamInfo<safe_name_case>& param_info)
    { return param_info.param.label; });

TEST(PgsValidator, InvalidSymbolIsLogged)
{
    test_support::temp_dir dir;
    tk_logger logger(dir.file("p.log").c_str(), true, 2, false);
    const pgs_validator validator;
    EXPECT_FALSE(validator.is_acceptable(L"a-b"));
    EXPECT_FALSE(validator.is_acceptable(L"a→b"));
    EXPECT_EQ(test_support::read_file(dir.file("p.log")),
              "udb_validator::ctor\r\npgs_validator::ctor\r\n"
              "Name contains invalid symbol: '-'\r\nName contains invalid symbol: '→'\r\n");
}

TEST(PgsValidator, ColumnValidatorsStartWithTheTableColumns)
{
    udb_schema schema;
    schema.adopt(std::make_unique<t_ftd>(4, L"Id", VT_I4, true, false, ole_variant(), 0, L""));
    schema.adopt(
        std::make_unique<t_ftd>(10, L"name", VT_BSTR, false, false, ole_variant(), 0, L""));
    const pgs_fn_validator from_schema(schema);
    EXPECT_EQ(from_schema.get_safe_name(L"ID"), L"ID00000");
    EXPECT_EQ(from_schema.get_safe_name(L"Name"), L"Name00000");
    EXPECT_EQ(from_schema.get_safe_name(L"other"), L"other");

    udb_record record;
    record.add_field(std::make_unique<udb_field>(L"qty", 4, ole_variant(), false, false));
    const pgs_fn_validator from_record(record);
    EXPECT_EQ(from_record.existing_names(), std::vector<std::wstring>{L"qty"});
    EXPECT_EQ(from_record.max_len(), 63);
}

TEST(PgsValidator, IndexValidatorIsOneInstanceAtATime)
{
    {
        udb_indexes indexes;
        indexes.push_back({L"PK_orders", true, true, {L"id"}});
        pgs_in_validator validator(indexes);
        EXPECT_EQ(&pgs_in_validator::instance(), &validator);
        EXPECT_THROW(pgs_in_validator second, tk_mail_assertion);
        EXPECT_EQ(&pgs_in_validator::instance(), &validator);
        EXPECT_EQ(validator.get_safe_name(L"pk_orders"), L"pk_orders00000");
    }
    EXPECT_EQ(pgs_in_validator::find(), nullptr);
    pgs_in_validator again;
    EXPECT_TRUE(again.existing_names().empty());
}

} // namespace
