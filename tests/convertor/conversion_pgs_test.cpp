// conversion_pgs_test.cpp: runs over the test PostgreSQL server as the source, into a
// recording destination: every table of the sample database arrives whole.
#include "convertor_fakes.h"
#include "pgs_test_server.h"
#include "plat/plat_text.h"
#include "test_support.h"
#include "udb/udb_table_key.h"

#include <algorithm>
#include <cstdlib>
#include <gtest/gtest.h>
#include <pqxx/pqxx>

namespace
{

using conv_test::event_log;

class ConversionFromPostgres : public testing::Test
{
protected:
    void SetUp() override
    {
        if (!test_support::pg_server_or_skip("no PostgreSQL server to convert from"))
        {
            return;
        }
        m_settings = *pgs_test::server_from_env();
        m_database = std::make_unique<pgs_test::scratch_database>(m_settings, "zov_conv");
    }

    /// The number of rows of each table of the public schema, keyed "public.<table>", read
    /// straight from the server.
    std::map<std::string, long> row_counts()
    {
        pqxx::connection connection(pgs_test::conninfo(m_settings, m_database->name()));
        pqxx::nontransaction work(connection);
        std::map<std::string, long> counts;
        for (const auto& row : work.exec("SELECT c.relname FROM pg_class c JOIN pg_namespace n "
                                         "ON n.oid = c.relnamespace WHERE n.nspname = 'public' "
                                         "AND c.relkind IN ('r', 'p') AND NOT c.relispartition"))
        {
            const std::string table = row[0].as<std::string>();
            counts["public." + table] =
                work.exec1("SELECT count(*) FROM public." + work.quote_name(table))[0].as<long>();
        }
        return counts;
    }

    // Converts the scratch database into the bench's fake destination.
    void convert_into_fake(conv_test::run_bench& bench)
    {
        vandrel_convertor& converter = bench.converter();
        converter.set_src(plat::utf8_to_wide_lossy(m_database->name()));
        converter.set_connection(m_settings.host, m_settings.user, m_settings.password,
                                 m_settings.port);
        converter.connect_pgs_server();
        converter.set_destination(
            std::make_unique<conv_test::fake_destination>(bench.destination, bench.events));
        converter();
    }

    pgs_test::server_settings m_settings;
    std::unique_ptr<pgs_test::scratch_database> m_database;
};

TEST_F(ConversionFromPostgres, PagilaArrivesTableByTableWithEveryRow)
{
    m_database->load_file(pgs_test::pagila_dir() / "pagila-schema.sql");
    m_database->load_file(pgs_test::pagila_dir() / "pagila-data.sql");
    const std::map<std::string, long> expected = row_counts();
    ASSERT_GT(expected.size(), 10u);

    conv_test::run_bench bench(convertor_flavour::agent);
    convert_into_fake(bench);

    EXPECT_TRUE(bench.handler->messages.empty());
    std::map<std::string, long> appended;
    std::size_t created = 0;
    for (const std::string& event : bench.events)
    {
        if (event.rfind("create_table [dbo].[", 0) == 0)
        {
            ++created;
        }
        if (event.rfind("append [dbo].[", 0) == 0)
        {
            const std::size_t end = event.find("] ");
            ++appended["public." + event.substr(14, end - 14)];
        }
    }
    EXPECT_EQ(created, expected.size());
    for (const auto& [table, count] : expected)
    {
        SCOPED_TRACE(table);
        const auto found = appended.find(table);
        EXPECT_EQ(found == appended.end() ? 0 : found->second, count);
    }
    EXPECT_EQ(bench.converter().tables().size(), expected.size());
}

TEST_F(ConversionFromPostgres, EverySchemaKeepsItsNameAndDboTakesPublic)
{
    m_database->load_file(pgs_test::fixture_path("pgs_catalog.sql"));
    conv_test::run_bench bench(convertor_flavour::agent);
    vandrel_convertor& converter = bench.converter();
    converter.set_src(plat::utf8_to_wide_lossy(m_database->name()));
    converter.set_schema(L"");
    converter.set_connection(m_settings.host, m_settings.user, m_settings.password,
                             m_settings.port);
    converter.connect_pgs_server();
    converter.set_destination(
        std::make_unique<conv_test::fake_destination>(bench.destination, bench.events));
    converter();
    EXPECT_TRUE(bench.handler->messages.empty());

    // Index lists are the source reader's business; names, columns and rows are the run's.
    event_log seen;
    for (std::string event : conv_test::filtered(bench.events, {"create_table", "append"}))
    {
        seen.push_back(event.substr(0, event.find(" indexes=")));
    }
    EXPECT_EQ(seen, (event_log{"create_table [Sales].[O'Name] columns=2",
                               "append [Sales].[O'Name] 1",
                               "create_table [Sales].[Order Items] columns=5",
                               "append [Sales].[Order Items] 1",
                               "append [Sales].[Order Items] 2",
                               "create_table [other].[child] columns=2",
                               "append [other].[child] 10",
                               "create_table [other].[xref] columns=4",
                               "create_table [dbo].[child] columns=4",
                               "append [dbo].[child] 1",
                               "append [dbo].[child] 4",
                               "create_table [dbo].[cycle_a] columns=2",
                               "create_table [dbo].[cycle_b] columns=2",
                               "create_table [dbo].[measure] columns=2",
                               "append [dbo].[measure] 1",
                               "append [dbo].[measure] 2",
                               "append [dbo].[measure] 3",
                               "create_table [dbo].[parent] columns=15",
                               "append [dbo].[parent] 1",
                               "append [dbo].[parent] 2"}));
}

// Money and numerics without a declared precision: each new table gets the decimal its values
// need, measured with its key text in one read; NaN and the infinities refuse their rows, which
// are reported with their numbers while the others arrive.
TEST_F(ConversionFromPostgres, NumericsWithoutPrecisionAreMeasuredAndNaNRowsReported)
{
    m_database->load_file(pgs_test::fixture_path("pgs_numbers.sql"));
    conv_test::run_bench bench(convertor_flavour::agent);
    convert_into_fake(bench);

    const std::string no_number = "' of column 'n' in 'public.too_fine' cannot be carried over: a "
                                  "decimal holds no NaN or infinity";
    EXPECT_EQ(
        bench.handler->messages,
        (std::vector<std::string>{"public.too_fine, record #3: The value 'NaN" + no_number,
                                  "public.too_fine, record #4: The value 'Infinity" + no_number,
                                  "public.too_fine, record #5: The value '-Infinity" + no_number}));
    event_log seen;
    for (std::string event :
         conv_test::filtered(bench.events, {"create_table", "measured", "decimal"}))
    {
        seen.push_back(event.substr(0, event.find(" indexes=")));
    }
    EXPECT_EQ(seen,
              (event_log{"create_table [dbo].[free_numbers] columns=6", "measured code=38",
                         "decimal whole(38,0)", "decimal fraction(38,38)", "decimal mixed(29,10)",
                         "decimal nothing(38,10)", "create_table [dbo].[money_values] columns=3",
                         "decimal amount(19,2)", "decimal fee(19,2)",
                         "create_table [dbo].[too_fine] columns=2", "decimal n(38,18)",
                         "create_table [dbo].[too_long] columns=2", "decimal n(38,0)"}));
    EXPECT_EQ(conv_test::filtered(bench.events, {"append [dbo].[too_fine]"}),
              (event_log{"append [dbo].[too_fine] 1", "append [dbo].[too_fine] 2",
                         "append [dbo].[too_fine] 6"}));
}

// Without a list only the tables of public are converted, but a namesake of another schema that
// the run leaves out still refuses the table that would take its copy.
TEST_F(ConversionFromPostgres, NamesakeOfASchemaTheRunLeavesOutRefusesTheTable)
{
    m_database->execute(
        "CREATE SCHEMA dbo; CREATE TABLE dbo.t (id int PRIMARY KEY);"
        "CREATE TABLE public.t (id int PRIMARY KEY);"
        "CREATE TABLE public.u (id int PRIMARY KEY); INSERT INTO public.u VALUES (1);");
    conv_test::run_bench bench(convertor_flavour::agent);
    bench.converter().set_mode(1);
    bench.destination.tables = {L"[dbo].[t]"};
    convert_into_fake(bench);

    EXPECT_EQ(bench.handler->messages,
              (std::vector<std::string>{
                  "public.t: Table public.t was not converted: it has namesakes in the source "
                  "(dbo.t, public.t) whose destination names are chosen by each run (public.t "
                  "into [dbo].[t]), and this run does not convert dbo.t; convert all of them "
                  "together, or into a new database with --mode=0."}));
    EXPECT_EQ(conv_test::filtered(bench.events, {"delete_tab", "create_table", "append"}),
              (event_log{"create_table [dbo].[u] columns=1 indexes=1", "append [dbo].[u] 1"}));
}

// Tables whose names hold what a profile line could lose or split at, each beside the table the
// line would otherwise be read as: the profile the wizard saves selects exactly the chosen
// ones, and the agent converts those and no other.
TEST_F(ConversionFromPostgres, AProfileSelectsForTheAgentExactlyTheTablesItWasSavedWith)
{
    struct table_name
    {
        std::string schema;
        std::string table;
        bool chosen;
    };
    const std::vector<table_name> tables{
        {" s", "k", true},           {"s", "k", false},
        {"public", "t ", true},      {"public", "t", false},
        {"public", "a=b", true},     {"public", "a", false},
        {"public", "l1\nl2", true},  {"public", "l1", false},
        {"public", "cr\r", true},    {"public", "cr", false},
        {"public", "a;b#c", true},   {"public", "\"q\"", true},
        {"d.o.t", "x.y", true},      {"public", "b\\sl\\", true},
        {"public", "\ttab\t", true}, {"public", "Ωμέγα ключ", true},
        {"e=", " =\\n\" ", true}};
    {
        pqxx::connection connection(pgs_test::conninfo(m_settings, m_database->name()));
        pqxx::nontransaction work(connection);
        for (const table_name& name : tables)
        {
            const std::string full =
                work.quote_name(name.schema) + "." + work.quote_name(name.table);
            work.exec("CREATE SCHEMA IF NOT EXISTS " + work.quote_name(name.schema));
            work.exec("CREATE TABLE " + full + " (id int)");
            work.exec("INSERT INTO " + full + " VALUES (1)");
        }
    }
    test_support::temp_dir files;
    const std::wstring path = plat::utf8_to_wide_lossy(files.file("weird names.zov"));
    std::vector<std::wstring> chosen;
    {
        conv_test::run_bench bench(convertor_flavour::wizard);
        vandrel_convertor& converter = bench.converter();
        converter.set_src(plat::utf8_to_wide_lossy(m_database->name()));
        converter.set_schema(L"");
        converter.set_connection(m_settings.host, m_settings.user, m_settings.password,
                                 m_settings.port);
        converter.connect_pgs_server();
        std::vector<std::wstring> listed;
        converter.get_all_tables(listed);
        for (const table_name& name : tables)
        {
            const std::wstring key = udb_table_key(plat::utf8_to_wide_lossy(name.schema),
                                                   plat::utf8_to_wide_lossy(name.table));
            ASSERT_NE(std::find(listed.begin(), listed.end(), key), listed.end())
                << plat::wide_to_utf8(key);
            if (name.chosen)
            {
                chosen.push_back(key);
            }
        }
        converter.tables() = chosen;
        ASSERT_TRUE(converter.save_profile_file(path));
    }

    conv_test::run_bench bench(convertor_flavour::agent);
    vandrel_convertor& converter = bench.converter();
    converter.set_schema(L"");
    ASSERT_TRUE(converter.load_profile_file(path));
    std::vector<std::wstring> selected = converter.tables();
    std::sort(selected.begin(), selected.end());
    std::sort(chosen.begin(), chosen.end());
    EXPECT_EQ(selected, chosen);
    converter.connect_pgs_server();
    converter.set_destination(
        std::make_unique<conv_test::fake_destination>(bench.destination, bench.events));
    converter();
    EXPECT_TRUE(bench.handler->messages.empty());
    event_log seen;
    for (const std::string& event : conv_test::filtered(bench.events, {"create_table"}))
    {
        seen.push_back(event.substr(0, event.find(" columns=")));
    }
    event_log expected;
    for (const table_name& name : tables)
    {
        if (name.chosen)
        {
            expected.push_back("create_table [" + (name.schema == "public" ? "dbo" : name.schema) +
                               "].[" + name.table + "]");
        }
    }
    std::sort(seen.begin(), seen.end());
    std::sort(expected.begin(), expected.end());
    EXPECT_EQ(seen, expected);
}

} // namespace
