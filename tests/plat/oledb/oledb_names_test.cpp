// oledb_names_test.cpp: table and column names quoted for each kind of driver.
#include "plat/oledb/oledb_names.h"

#include <gtest/gtest.h>

using namespace plat::oledb;

namespace
{

struct name_case
{
    const char* label;
    driver_kind kind;
    const wchar_t* name;
    const wchar_t* identifier;
    const wchar_t* table;
};

class QuotedName : public testing::TestWithParam<name_case>
{
};

TEST_P(QuotedName, TakesTheDriversQuotes)
{
    const name_case& test = GetParam();
    EXPECT_EQ(quote_identifier(test.name, test.kind), test.identifier);
    EXPECT_EQ(quote_table_name(test.name, test.kind), test.table);
}

INSTANTIATE_TEST_SUITE_P(
    Drivers, QuotedName,
    testing::Values(
        name_case{"Plain", driver_kind::freetds, L"orders", L"[orders]", L"[orders]"},
        name_case{"ClosingBracketDoubled", driver_kind::microsoft, L"a]b", L"[a]]b]", L"[a]]b]"},
        name_case{"QuoteKeptInBrackets", driver_kind::freetds, L"a\"b", L"[a\"b]", L"[a\"b]"},
        name_case{"PostgresqlQuoteDoubled", driver_kind::postgresql, L"a\"b", L"\"a\"\"b\"",
                  L"\"a\"\"b\""},
        name_case{"PostgresqlBracketKept", driver_kind::postgresql, L"a]b", L"\"a]b\"", L"\"a]b\""},
        name_case{"BracketedTableVerbatim", driver_kind::freetds, L"[dbo].[t]", L"[[dbo]].[t]]]",
                  L"[dbo].[t]"},
        name_case{"QuotedTableVerbatim", driver_kind::postgresql, L"\"s\".\"t\"",
                  L"\"\"\"s\"\".\"\"t\"\"\"", L"\"s\".\"t\""},
        name_case{"Empty", driver_kind::sqlite, L"", L"[]", L"[]"}),
    [](const testing::TestParamInfo<name_case>& param_info) { return param_info.param.label; });

} // namespace
