// udb_indexes_test.cpp: index merge rules, index lookups and the foreign key list.
#include "tk/tk_exception.h"
#include "udb/udb_indexes.h"
#include "udb/udb_relationships.h"

#include <gtest/gtest.h>
#include <string>
#include <vector>

namespace
{

struct merge_case
{
    const char* label;
    udb_index first;
    udb_index second;
    udb_index expected;
};

class UdbIndexesMerge : public testing::TestWithParam<merge_case>
{
};

TEST_P(UdbIndexesMerge, SameNameTwiceLeavesOneIndex)
{
    const merge_case& c = GetParam();
    udb_indexes indexes;
    indexes.push_back(c.first);
    indexes.push_back(c.second);
    ASSERT_EQ(indexes.size(), 1u);
    EXPECT_EQ(indexes[0], c.expected);
}

const udb_index plain_x{L"PK_x", false, false, {L"a"}};
const udb_index plain_x_upper{L"pk_X", false, false, {L"b"}};
const udb_index unique_x{L"pk_X", true, false, {L"b", L"c"}};
const udb_index primary_x{L"PK_X", true, true, {L"id"}};

INSTANTIATE_TEST_SUITE_P(
    Rules, UdbIndexesMerge,
    testing::Values(merge_case{"PlainThenPrimaryUpgrades", plain_x, primary_x, primary_x},
                    merge_case{"PrimaryThenPlainKeepsPrimary", primary_x, plain_x, primary_x},
                    merge_case{"PrimaryThenUniqueKeepsPrimary", primary_x, unique_x, primary_x},
                    merge_case{"UniqueThenPrimaryUpgrades", unique_x, primary_x, primary_x},
                    merge_case{"UniqueThenPlainKeepsUnique", unique_x, plain_x, unique_x},
                    merge_case{"PlainThenUniqueTakesAll", plain_x, unique_x, unique_x},
                    merge_case{"PlainThenPlainKeepsFirst", plain_x, plain_x_upper, plain_x},
                    merge_case{"PrimaryWithoutUniqueFlagStillUpgrades", plain_x,
                               udb_index{L"pk_x", false, true, {L"k"}},
                               udb_index{L"pk_x", false, true, {L"k"}}}),
    [](const testing::TestParamInfo<merge_case>& param_info) { return param_info.param.label; });

TEST(UdbIndexes, NewNamesAppendInOrder)
{
    udb_indexes indexes;
    indexes.push_back(plain_x);
    indexes.push_back({L"IX_b", false, false, {L"b"}});
    ASSERT_EQ(indexes.size(), 2u);
    EXPECT_EQ(indexes[1].name, L"IX_b");
    EXPECT_TRUE(indexes.find2(L"ix_B"));
    EXPECT_FALSE(indexes.is_acceptable_name(L"PK_X"));
    EXPECT_TRUE(indexes.is_acceptable_name(L"PK_y"));
    EXPECT_EQ(indexes.get_index(L"pk_x").columns, std::vector<std::wstring>{L"a"});
}

TEST(UdbIndexes, AbsentIndexIsAnInternalError)
{
    const udb_indexes indexes;
    try
    {
        indexes.get_index(L"nope");
        FAIL() << "no exception";
    }
    catch (const tk_mail_assertion& error)
    {
        // "..\UDB/udb_idx\187" in hex.
        EXPECT_EQ(error.message(), "Internal error: \ncode=2e2e5c5544422f7564625f6964785c313837");
    }
}

TEST(UdbIndexes, IndexColumnTestIsExactAndCanBeLimitedToPrimaryKeys)
{
    udb_indexes indexes;
    indexes.push_back({L"IX", false, false, {L"ID", L"name"}});
    indexes.push_back({L"PK", true, true, {L"key"}});
    const struct
    {
        const wchar_t* column;
        bool primary_only;
        bool expected;
    } cases[] = {{L"Id", false, false},  {L"ID", false, true}, {L"name", false, true},
                 {L"name", true, false}, {L"key", true, true}, {L"KEY", true, false},
                 {L"", false, false}};
    for (const auto& c : cases)
    {
        SCOPED_TRACE(testing::Message() << c.primary_only);
        EXPECT_EQ(indexes.is_idx_field(c.column, c.primary_only), c.expected);
    }
}

TEST(UdbIndex, StartsWithFieldsComparesLeadingColumnsWithoutCase)
{
    const udb_index abd{L"IX", false, false, {L"A", L"B", L"D"}};
    const udb_index a_only{L"IX", false, false, {L"a"}};
    const udb_index greek{L"IX", false, false, {L"ΣΟΦΙΑ"}};
    const struct
    {
        const udb_index& index;
        std::vector<std::wstring> fields;
        bool expected;
    } cases[] = {{abd, {L"a", L"b"}, true},     {abd, {}, true},
                 {abd, {L"a", L"d"}, false},    {abd, {L"a", L"b", L"d", L"e"}, false},
                 {a_only, {L"a", L"b"}, false}, {greek, {L"σοφια"}, true}};
    int row = 0;
    for (const auto& c : cases)
    {
        SCOPED_TRACE(row++);
        EXPECT_EQ(c.index.starts_with_fields(c.fields), c.expected);
    }
}

TEST(UdbRelationships, LookupsIgnoreCaseAndCopiesAreKept)
{
    udb_relationships relationships;
    udb_relationship fk(L"FK_order", L"PK_customer", L"orders", L"customers", L"CASCADE",
                        {L"customer_id"}, {L"id"});
    relationships.push_back(fk);
    fk.table = L"changed";
    relationships.push_back({L"fk_ORDER", L"", L"second", L"x", L"", {}, {}});

    EXPECT_FALSE(relationships.is_acceptable_name(L"FK_ORDER"));
    EXPECT_TRUE(relationships.is_acceptable_name(L"FK_other"));
    const udb_relationship& found = relationships.get_index(L"fk_order");
    EXPECT_EQ(found.table, L"orders");
    EXPECT_EQ(found.key_name, L"PK_customer");
    EXPECT_EQ(found.referenced_table, L"customers");
    EXPECT_EQ(found.rules, L"CASCADE");
    EXPECT_EQ(found.columns, std::vector<std::wstring>{L"customer_id"});
    EXPECT_EQ(found.referenced_columns, std::vector<std::wstring>{L"id"});
    EXPECT_EQ(relationships.size(), 2u);
    EXPECT_THROW(relationships.get_index(L"FK_none"), tk_mail_assertion);
}

} // namespace
