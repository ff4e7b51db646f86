// udb_names_map_test.cpp: name mappings and whole-word rewriting of SQL text.
#include "udb/udb_names_map.h"

#include <chrono>
#include <future>
#include <gtest/gtest.h>
#include <string>

namespace
{

struct replace_case
{
    const char* label;
    udb_name_pairs map;
    std::wstring prefix;
    std::wstring suffix;
    std::wstring text;
    std::wstring expected;
};

class UdbNamesMapReplace : public testing::TestWithParam<replace_case>
{
};

TEST_P(UdbNamesMapReplace, ReplacesWholeWordsOnly)
{
    const replace_case& c = GetParam();
    EXPECT_EQ(udb_names_map::do_global_replace2(c.text, c.map, c.prefix, c.suffix), c.expected);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, UdbNamesMapReplace,
    testing::Values(
        replace_case{"DotIsABorder",
                     {{L"t1", L"dbo_t1"}},
                     L"",
                     L"",
                     L"select * from t1 join t10 on t1.id=x",
                     L"select * from dbo_t1 join t10 on dbo_t1.id=x"},
        replace_case{"UnderscoreIsABorder", {{L"b", L"c"}}, L"", L"", L"a_b b_a ab", L"a_c c_a ab"},
        replace_case{"CaseSensitive", {{L"t1", L"x"}}, L"", L"", L"T1 t1", L"T1 x"},
        replace_case{"PrefixAndSuffix", {{L"t1", L"T"}}, L"[", L"]", L"t1,t1", L"[T],[T]"},
        replace_case{
            "ReplacementHoldingTheNameDoesNotLoop", {{L"t", L"t t"}}, L"", L"", L"t.t", L"t t.t t"},
        replace_case{
            "NonLatinLettersJoinWords", {{L"t", L"x"}}, L"", L"", L"Σt tΣ t é", L"Σt tΣ x é"},
        replace_case{
            "LaterPairSeesEarlierOutput", {{L"a", L"b"}, {L"b", L"c"}}, L"", L"", L"a", L"c"},
        replace_case{"EmptyKeySkipped", {{L"", L"x"}, {L"t", L"u"}}, L"", L"", L"t t", L"u u"},
        replace_case{"AtTextEdges", {{L"t", L"u"}}, L"", L"", L"t", L"u"},
        replace_case{"EmptyText", {{L"t", L"u"}}, L"", L"", L"", L""}),
    [](const testing::TestParamInfo<replace_case>& param_info) { return param_info.param.label; });

TEST(UdbNamesMap, EmptyKeyFinishesInTime)
{
    auto done = std::async(
        std::launch::async,
        [] {
            return udb_names_map::do_global_replace2(L"select a from b", {{L"", L"x"}}, L"[", L"]");
        });
    ASSERT_EQ(done.wait_for(std::chrono::seconds(5)), std::future_status::ready)
        << "an empty key must not loop";
    EXPECT_EQ(done.get(), L"select a from b");
}

TEST(UdbNamesMap, TableNamesFirstTargetWinsAndCaseRuleApplies)
{
    udb_names_map map;
    map.add_tn_mapping(L"Orders", L"[dbo].[Orders]");
    map.add_tn_mapping(L"Orders", L"[dbo].[other]");
    EXPECT_EQ(map.get_tn_mapped_name(L"Orders", true), L"[dbo].[Orders]");
    EXPECT_EQ(map.get_tn_mapped_name(L"ORDERS", true), L"ORDERS");
    EXPECT_EQ(map.get_tn_mapped_name(L"ORDERS", false), L"[dbo].[Orders]");
    EXPECT_EQ(map.get_tn_mapped_name(L"missing", false), L"missing");
}

TEST(UdbNamesMap, ColumnNamesAreLookedUpInTheirOwnTableOnly)
{
    udb_names_map map;
    map.add_fn_map(L"orders", {{L"Id", L"order_id"}});
    map.add_fn_map(L"orders", {{L"Id", L"ignored"}});
    map.add_fn_map(L"items", {{L"Name", L"item_name"}});
    EXPECT_EQ(map.get_fn_mapped_name(L"orders", L"Id", true), L"order_id");
    EXPECT_EQ(map.get_fn_mapped_name(L"orders", L"ID", true), L"ID");
    EXPECT_EQ(map.get_fn_mapped_name(L"orders", L"ID", false), L"order_id");
    EXPECT_EQ(map.get_fn_mapped_name(L"orders", L"Name", false), L"Name");
    // The table itself is matched exactly whatever the column rule.
    EXPECT_EQ(map.get_fn_mapped_name(L"ORDERS", L"Id", false), L"Id");
    EXPECT_EQ(map.get_fn_mapped_name(L"missing", L"Id", false), L"Id");
}

TEST(UdbNamesMap, GlobalReplaceAppliesTablesThenEachColumnMap)
{
    udb_names_map map;
    map.add_tn_mapping(L"orders", L"dbo_orders");
    map.add_fn_map(L"orders", {{L"id", L"order_id"}});
    map.add_fn_map(L"items", {{L"qty", L"quantity"}});
    EXPECT_EQ(map.do_global_replace1(L"select orders.id, qty from orders", L"", L""),
              L"select dbo_orders.order_id, quantity from dbo_orders");
}

} // namespace
