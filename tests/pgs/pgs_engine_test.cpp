// pgs_engine_test.cpp: connection strings and quoted names, without a server.
#include "pgs/pgs_engine.h"

#include <gtest/gtest.h>
#include <string>
#include <vector>

namespace
{

struct conninfo_case
{
    std::string value;
    std::string expected;
};

TEST(PgsConninfo, QuotesOnlyValuesThatWouldShiftTheKeywords)
{
    const std::vector<conninfo_case> cases = {
        {"alice", "alice"},
        {"p@ss=word", "p@ss=word"},
        {"", "''"},
        {"two words", "'two words'"},
        {"O'Brien", "'O\\'Brien'"},
        {"back\\slash", "'back\\\\slash'"},
        {"tab\there", "'tab\there'"},
    };
    for (const conninfo_case& entry : cases)
    {
        SCOPED_TRACE(entry.value);
        EXPECT_EQ(pgs_conninfo_value(entry.value), entry.expected);
    }
}

TEST(PgsEngine, ConnectionStringsKeepTheKeyOrderAndQuoteAwkwardValues)
{
    pgs_engine engine;
    const pgs_connection_strings plain =
        engine.make_connection_strings("db.example", "alice", "secret", "Sales", 5433);
    EXPECT_EQ(plain.with_database,
              "user=alice password=secret host=db.example dbname=sales port=5433");
    EXPECT_EQ(plain.without_database, "user=alice password=secret host=db.example port=5433");

    const pgs_connection_strings awkward =
        engine.make_connection_strings("localhost", "bob", "", "", 0);
    EXPECT_EQ(awkward.with_database, "user=bob password='' host=localhost dbname=postgres");
    EXPECT_EQ(awkward.without_database, "user=bob password='' host=localhost");
    EXPECT_EQ(engine.database(), "postgres");

    const pgs_connection_strings quoted =
        engine.make_connection_strings("", "carol", "a b'c", "x", 0);
    EXPECT_EQ(quoted.with_database, "user=carol password='a b\\'c' dbname=x");
}

TEST(PgsEngine, ZeroPortAndEmptyHostKeepTheStoredOnes)
{
    pgs_engine engine;
    engine.make_connection_strings("first.host", "u", "p", "d", 5433);
    const pgs_connection_strings later = engine.make_connection_strings("", "u", "p", "d", 0);
    EXPECT_EQ(later.with_database, "user=u password=p dbname=d");
    EXPECT_EQ(engine.port(), 5433);
    EXPECT_EQ(engine.host(), "first.host");
}

TEST(PgsEngine, DatabaseNameKeepsItsCaseWhenCaseSensitive)
{
    pgs_engine engine;
    engine.set_case_sensitive(true);
    engine.make_connection_strings("h", "u", "p", "MixedDb", 0);
    EXPECT_EQ(engine.database(), "MixedDb");
}

struct make_name_case
{
    std::wstring name;
    bool case_sensitive;
    std::wstring expected;
};

TEST(PgsEngine, MakeNameQuotesAroundTheFirstDotAndDoublesQuotes)
{
    const std::vector<make_name_case> cases = {
        {L"Sales.Orders", false, L"\"sales\".\"orders\""},
        {L"Sales.Orders", true, L"\"Sales\".\"Orders\""},
        {L"orders", false, L"\"orders\""},
        {L"a.b.c", true, L"\"a\".\"b.c\""},
        {L"Say \"hi\"", true, L"\"Say \"\"hi\"\"\""},
        {L"s.\"t\"", true, L"\"s\".\"\"\"t\"\"\""},
    };
    pgs_engine engine;
    for (const make_name_case& entry : cases)
    {
        SCOPED_TRACE(std::string(entry.name.begin(), entry.name.end()));
        engine.set_case_sensitive(entry.case_sensitive);
        EXPECT_EQ(make_name(entry.name), entry.expected);
    }
}

} // namespace
