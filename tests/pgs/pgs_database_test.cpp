// pgs_database_test.cpp: table and schema lists, name lookups and statements of a source database.
#include "pgs/pgs_exception.h"
#include "pgs/pgs_recordset.h"
#include "pgs_test_server.h"

#include <string>
#include <vector>

namespace
{

using pgs_test::server_test;
using names = std::vector<std::wstring>;

class PgsDatabase : public server_test
{
};

TEST_F(PgsDatabase, EverySchemaListsTablesButNotPartitionsOrViews)
{
    const auto database = open_fixture("pgs_catalog.sql");
    EXPECT_EQ(database->get_tables(),
              (names{L"Sales.O'Name", L"Sales.Order Items", L"other.child", L"other.xref",
                     L"public.child", L"public.cycle_a", L"public.cycle_b", L"public.measure",
                     L"public.parent"}));
}

TEST_F(PgsDatabase, OneSchemaListsItsOwnTables)
{
    const auto database = open_fixture("pgs_catalog.sql", L"Sales");
    EXPECT_EQ(database->get_tables(), (names{L"Sales.O'Name", L"Sales.Order Items"}));
}

TEST_F(PgsDatabase, SchemaNameWithQuoteListsNothingWithoutError)
{
    const auto database = open_fixture("pgs_catalog.sql", L"x' OR '1'='1");
    EXPECT_TRUE(database->get_tables().empty());
}

TEST_F(PgsDatabase, SchemaInfoAppendsSchemasThatHoldTables)
{
    const auto database = open_fixture("pgs_catalog.sql");
    std::vector<std::wstring> schemas{L"kept"};
    database->get_schema_info(schemas);
    database->get_schema_info(schemas);
    EXPECT_EQ(schemas,
              (names{L"kept", L"Sales", L"other", L"public", L"Sales", L"other", L"public"}));
}

TEST_F(PgsDatabase, NoSchemaListsEachBareNameOnceAndOpensItsTable)
{
    m_engine->set_no_schema(true);
    const auto database = open_fixture("pgs_catalog.sql");
    EXPECT_EQ(database->get_tables(), (names{L"O'Name", L"Order Items", L"child", L"xref",
                                             L"cycle_a", L"cycle_b", L"measure", L"parent"}));
    // "child" is other.child (listed first); it must read that table's columns and rows.
    const auto child = database->get_table(L"child", udb_table_mode::read_only);
    ASSERT_EQ(child->schema().size(), 2u);
    EXPECT_EQ(child->schema()[0]->name, L"x");
    EXPECT_EQ(child->record_count(), 1);
    const auto items = database->get_table(L"Order Items", udb_table_mode::read_only);
    EXPECT_EQ(items->record_count(), 2);
}

TEST_F(PgsDatabase, TableNamesCompareExactly)
{
    const auto database = open_fixture("pgs_catalog.sql");
    EXPECT_TRUE(database->is_table_exist(L"public.parent"));
    EXPECT_FALSE(database->is_table_exist(L"public.Parent"));
    EXPECT_FALSE(database->is_table_exist(L"public.parent_view"));
    EXPECT_FALSE(database->is_table_exist(L"public.measure_2020"));
    EXPECT_THROW(database->get_table(L"public.parent_view", udb_table_mode::read_only),
                 tk_mail_assertion);
}

TEST_F(PgsDatabase, FullAndSafeNames)
{
    const auto database = open_fixture("pgs_catalog.sql");
    EXPECT_EQ(database->get_full_name(L"orders"), L"public.orders");
    EXPECT_EQ(database->get_full_name(L"Sales.Order Items"), L"Sales.Order Items");
    EXPECT_EQ(database->get_safe_name(L"orders"), L"public.\"orders\"");
    EXPECT_EQ(database->get_safe_name(L"Sales.Order Items"), L"\"Sales\".\"Order Items\"");
}

TEST_F(PgsDatabase, QueryCommitsAndTestQueryRollsBack)
{
    const auto database = open_fixture("pgs_catalog.sql");
    EXPECT_TRUE(database->test_query(L"INSERT INTO public.child (a, b) VALUES (7, 8)"));
    EXPECT_FALSE(database->test_query(L"SELECT nosuch FROM public.child"));
    database->query(L"INSERT INTO public.child (a, b) VALUES (9, 9)");
    EXPECT_EQ(database->get_table(L"public.child", udb_table_mode::read_only)->record_count(), 3);
    try
    {
        database->query(L"SELECT nosuch FROM public.child");
        ADD_FAILURE() << "query did not fail";
    }
    catch (const pgs_exception& error)
    {
        EXPECT_EQ(std::string(error.what()).substr(0, 38),
                  "ERROR:  column \"nosuch\" does not exist");
    }
}

TEST_F(PgsDatabase, WritingIsRefused)
{
    const auto database = open_fixture("pgs_catalog.sql");
    EXPECT_THROW(database->create_table(L"public.made", udb_schema(), udb_indexes()),
                 pgs_exception);
    const auto child = database->get_table(L"public.child", udb_table_mode::read_only);
    udb_record record;
    EXPECT_THROW(child->append_record(record), pgs_exception);
}

} // namespace
