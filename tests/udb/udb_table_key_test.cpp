// udb_table_key_test.cpp: the schema.table keys: quoting of dotted parts, reading them back,
// and the keys that do not parse.
#include "udb/udb_table_key.h"

#include <gtest/gtest.h>

namespace
{

struct key_case
{
    const char* name;
    std::wstring schema;
    std::wstring table;
    std::wstring key;
};

class TableKey : public testing::TestWithParam<key_case>
{
};

TEST_P(TableKey, IsWrittenSoAndReadsBackAsTheSamePair)
{
    const key_case& test = GetParam();
    EXPECT_EQ(udb_table_key(test.schema, test.table), test.key);
    EXPECT_EQ(udb_split_table_key(test.key), (udb_table_pair{test.schema, test.table}));
    EXPECT_EQ(udb_normal_table_key(test.key), test.key);
}

INSTANTIATE_TEST_SUITE_P(
    Pairs, TableKey,
    testing::Values(key_case{"Plain", L"public", L"actor", L"public.actor"},
                    key_case{"NoSchema", L"", L"actor", L"actor"},
                    key_case{"DottedSchema", L"sch.dot", L"t", L"\"sch.dot\".t"},
                    key_case{"DottedTable", L"a", L"b.c", L"a.\"b.c\""},
                    key_case{"BothDotted", L"a.b", L"c.d", L"\"a.b\".\"c.d\""},
                    key_case{"LeadingQuote", L"\"q", L"t", L"\"\"\"q\".t"},
                    key_case{"QuoteInsideADottedPart", L"x\"y.z", L"t", L"\"x\"\"y.z\".t"},
                    key_case{"QuoteInsideAPlainPart", L"s", L"a\"b", L"s.a\"b"},
                    key_case{"InnerBlankAndTabPlain", L"my s", L"a\tb", L"my s.a\tb"},
                    key_case{"TrailingBlank", L"public", L"film ", L"public.\"film \""},
                    key_case{"LeadingBlank", L" s", L"k", L"\" s\".k"},
                    key_case{"Equals", L"public", L"a=b", L"public.\"a=b\""},
                    key_case{"Backslash", L"a\\b", L"t", L"\"a\\b\".t"},
                    key_case{"LineBreaks", L"s", L"a\r\nb", L"s.\"a\r\nb\""},
                    key_case{"BracketKeepsItsForm", L"s", L"[t] ", L"s.[t] "},
                    key_case{"BracketedSchemaKeepsItsForm", L"[a=b]", L"t", L"[a=b].t"},
                    key_case{"BlankTableWithoutSchema", L"", L" x", L"\" x\""},
                    key_case{"DottedTableWithoutSchema", L"", L"b.c", L"\"b.c\""}),
    [](const testing::TestParamInfo<key_case>& param_info) { return param_info.param.name; });

TEST(TableKey, TwoTablesNeverShareAKey)
{
    EXPECT_NE(udb_table_key(L"a", L"b.c"), udb_table_key(L"a.b", L"c"));
}

TEST(TableKey, UnquotedKeysSplitAtTheirFirstDotAndNormalQuotedOnesLoseTheirQuotes)
{
    EXPECT_EQ(udb_split_table_key(L"a.b.c"), (udb_table_pair{L"a", L"b.c"}));
    EXPECT_EQ(udb_normal_table_key(L"a.b.c"), L"a.\"b.c\"");
    EXPECT_EQ(udb_normal_table_key(L"\"public\".\"actor\""), L"public.actor");
    // A list's line names the table the source writes quoted.
    EXPECT_EQ(udb_normal_table_key(L"public.a=b"), L"public.\"a=b\"");
    EXPECT_EQ(udb_normal_table_key(L"public.film "), L"public.\"film \"");
}

TEST(TableKey, AnUnquotedNameWithoutSchemaStaysAsTheSourceWritesIt)
{
    for (const std::wstring key : {L"a=b", L"a\\b", L"film "})
    {
        SCOPED_TRACE(testing::PrintToString(key));
        EXPECT_EQ(udb_normal_table_key(key), key);
    }
}

TEST(TableKey, KeysNotWrittenSoDoNotParseAndStayAsTheyAre)
{
    for (const std::wstring key :
         {L"\"open", L"\"a\"b.c", L"\"a\".", L"s.\"t\"x", L"s.\"t", L"public.", L".t", L"\"\".t"})
    {
        SCOPED_TRACE(testing::PrintToString(key));
        EXPECT_EQ(udb_split_table_key(key), std::nullopt);
        EXPECT_EQ(udb_normal_table_key(key), key);
    }
}

} // namespace
