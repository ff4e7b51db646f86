// vandrel_convertor_test.cpp: the converter's construction in both programs, its destination
// check, lists and connection through the sides.
#include "convertor_fakes.h"

#include <gtest/gtest.h>

namespace
{

using conv_test::event_log;
using conv_test::fake_destination;
using conv_test::fake_source;

struct check_case
{
    int mode;
    bool exists;
    event_log expected;
};

TEST(VandrelConvertor, CheckDestDropsAnExistingDatabaseOnlyInModeZero)
{
    const check_case cases[] = {
        {0, true, {"is_db_exist shop_copy", "delete_db shop_copy"}},
        {0, false, {"is_db_exist shop_copy"}},
        {1, true, {"is_db_exist shop_copy"}},
        {2, true, {"is_db_exist shop_copy"}},
        {3, true, {"is_db_exist shop_copy"}},
        {4, true, {"is_db_exist shop_copy"}},
    };
    conv_test::run_bench bench;
    for (const check_case& test : cases)
    {
        SCOPED_TRACE(testing::Message() << "mode=" << test.mode << " exists=" << test.exists);
        event_log events;
        conv_test::destination_setup setup;
        setup.exists = test.exists;
        bench.converter().set_mode(test.mode);
        bench.converter().set_destination(std::make_unique<fake_destination>(setup, events));
        bench.converter().check_dest();
        EXPECT_EQ(events, test.expected);
    }
}

TEST(VandrelConvertor, ConnectsToSqlServerWithTheChosenAuthentication)
{
    conv_test::run_bench bench;
    event_log events;
    bench.converter().set_destination(
        std::make_unique<fake_destination>(conv_test::destination_setup{}, events));
    bench.converter().set_connection(std::wstring(L"srv"), L"bob", L"secret");
    bench.converter().connect_mssql_server();
    bench.converter().set_sec_log(false);
    bench.converter().connect_mssql_server();
    EXPECT_EQ(events, (event_log{"connect srv windows", "connect srv bob secret"}));
}

TEST(VandrelConvertor, WithoutADestinationSideItsOperationsFailPlainly)
{
    conv_test::run_bench bench;
    bench.converter().set_destination(nullptr);
    try
    {
        bench.converter().check_dest();
        FAIL() << "check_dest without a destination side";
    }
    catch (const tk_exception& error)
    {
        EXPECT_EQ(error.message(), "This build of the program cannot reach MS SQL Server.");
        EXPECT_EQ(error.severity(), 1);
    }
}

TEST(VandrelConvertor, ListsTheSourceTablesAndSchemas)
{
    conv_test::run_bench bench;
    event_log events;
    conv_test::source_setup setup;
    setup.tables = {{L"public.b", 0}, {L"public.a", 0}};
    bench.converter().set_source(std::make_unique<fake_source>(setup, events));
    bench.converter().set_schema(L"Sales");

    std::vector<std::wstring> tables;
    bench.converter().get_all_tables(tables);
    EXPECT_EQ(tables, (std::vector<std::wstring>{L"public.b", L"public.a"}));
    std::vector<std::wstring> schemas{L"stale"};
    bench.converter().get_pgs_schemas(L"other", schemas);
    EXPECT_EQ(schemas, (std::vector<std::wstring>{L"public", L"Sales"}));
    EXPECT_EQ(events, (event_log{"open_source shop schema=Sales", "release source",
                                 "open_source other schema=", "release source"}));
}

TEST(VandrelConvertor, SchemaListOfADatabaseThatCannotBeOpenedIsEmpty)
{
    conv_test::run_bench bench;
    event_log events;
    conv_test::source_setup setup;
    setup.fail_open_db = true;
    bench.converter().set_source(std::make_unique<fake_source>(setup, events));
    std::vector<std::wstring> schemas{L"stale"};
    EXPECT_NO_THROW(bench.converter().get_pgs_schemas(L"gone", schemas));
    EXPECT_TRUE(schemas.empty());
    EXPECT_EQ(bench.log_lines_starting("Cannot extract list of schemas: "),
              (std::vector<std::string>{"Cannot extract list of schemas: database gone is gone"}));
}

TEST(VandrelConvertor, StartsWithTheFlagsBothProgramsRelyOn)
{
    for (const convertor_flavour flavour : {convertor_flavour::agent, convertor_flavour::wizard})
    {
        SCOPED_TRACE(flavour == convertor_flavour::agent ? "agent" : "wizard");
        conv_test::run_bench bench(flavour);
        vandrel_convertor& converter = bench.converter();
        EXPECT_FALSE(converter.mss().as_dbo());
        EXPECT_TRUE(converter.pgs().case_sensitive());
        EXPECT_TRUE(converter.sec_log());
        EXPECT_EQ(converter.get_schema(), L"public");
        EXPECT_EQ(converter.mode(), 0);
        EXPECT_EQ(&tk_singleton<vandrel_convertor>::instance(), &converter);
        EXPECT_THROW(vandrel_convertor second(flavour), tk_mail_assertion);
        EXPECT_EQ(&tk_singleton<vandrel_convertor>::instance(), &converter);
    }
}

} // namespace
