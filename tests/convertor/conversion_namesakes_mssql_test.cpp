// conversion_namesakes_mssql_test.cpp: from the test PostgreSQL server into the SQL Server of
// ZOV_TEST_MSSQL over several runs with different table lists: tables whose destination names
// meet (a schema taken as dbo, names that differ only by case) are converted only all together
// into their own destination tables; otherwise nothing of theirs is touched.
#include "mss/mss_database.h"
#include "sqlserver_run_fixture.h"
#include "test_support.h"

#include <gtest/gtest.h>

namespace
{

using rows = std::vector<std::vector<std::string>>;

class NamesakesIntoSqlServer : public testing::Test, protected sqlserver_run_fixture
{
protected:
    void TearDown() override { drop_destination(); }

    /// Converts `listed` of `source` in `mode`; answers the messages reported.
    std::vector<std::string> run(const std::string& source, const std::vector<std::wstring>& listed,
                                 int mode)
    {
        vandrel_convertor& converter = m_bench->converter();
        m_bench->handler->messages.clear();
        converter.connect_mssql_server();
        converter.set_src(plat::utf8_to_wide_lossy(source));
        converter.set_dest(plat::utf8_to_wide_lossy(m_dest));
        converter.set_mode(mode);
        // The run adds its list to the selection: each run here has its own list only.
        converter.selected().clear();
        converter.tables() = listed;
        converter.check_dest();
        converter();
        converter.connect_mssql_server();
        return m_bench->handler->messages;
    }

    rows ids(const std::string& table)
    {
        agent_test::destination_reader reader(m_bench->converter().mss(), m_dest);
        return reader.query("SELECT id FROM " + table + " ORDER BY id");
    }

    /// The destination tables of dbo, as the server names them.
    std::vector<std::string> dbo_tables()
    {
        agent_test::destination_reader reader(m_bench->converter().mss(), m_dest);
        std::vector<std::string> names;
        for (const std::string& name : reader.tables())
        {
            if (name.rfind("dbo.", 0) == 0)
            {
                names.push_back(name);
            }
        }
        std::sort(names.begin(), names.end());
        return names;
    }
};

void expect_refused(const std::vector<std::string>& messages, const std::vector<std::string>& keys,
                    const std::string& reason)
{
    ASSERT_EQ(messages.size(), keys.size()) << testing::PrintToString(messages);
    for (std::size_t idx = 0; idx < keys.size(); ++idx)
    {
        EXPECT_EQ(messages[idx].rfind(keys[idx] + ": Table " + keys[idx] +
                                          " was not converted: it "
                                          "has namesakes",
                                      0),
                  0u)
            << messages[idx];
        EXPECT_NE(messages[idx].find(reason + "; convert all of them together, or into a new "
                                              "database with --mode=0."),
                  std::string::npos)
            << messages[idx];
    }
}

// Run 1 puts public.t into [dbo].[_t]; a run of public.t alone would drop dbo.t's copy.
TEST_F(NamesakesIntoSqlServer, SchemaTakenAsDboOverwritesOnlyWholeInModeOne)
{
    if (!connect_servers("namesakes_schema"))
    {
        return;
    }
    pgs_test::scratch_database source(m_server, "zov_names");
    source.execute("CREATE SCHEMA dbo; CREATE TABLE dbo.t (id int PRIMARY KEY, v text);"
                   "INSERT INTO dbo.t VALUES (1, 'dbo');"
                   "CREATE TABLE public.t (id int PRIMARY KEY, v text);"
                   "INSERT INTO public.t VALUES (2, 'public');");
    const std::vector<std::wstring> both = {L"dbo.t", L"public.t"};
    const rows dbo_copy = {{"1"}};
    const rows public_copy = {{"2"}};

    EXPECT_EQ(run(source.name(), both, 1), std::vector<std::string>{});
    EXPECT_EQ(ids("dbo.t"), dbo_copy);
    EXPECT_EQ(ids("dbo._t"), public_copy);

    expect_refused(run(source.name(), {L"public.t"}, 1), {"public.t"},
                   "this run does not convert dbo.t");
    EXPECT_EQ(ids("dbo.t"), dbo_copy);
    EXPECT_EQ(ids("dbo._t"), public_copy);

    EXPECT_EQ(run(source.name(), both, 1), std::vector<std::string>{});
    EXPECT_EQ(ids("dbo.t"), dbo_copy);
    EXPECT_EQ(ids("dbo._t"), public_copy);

    // A namesake that came after the last run would take [dbo].[t] and push the others on.
    source.execute("CREATE TABLE public.\"T\" (id int PRIMARY KEY, v text);"
                   "INSERT INTO public.\"T\" VALUES (3, 'T');");
    expect_refused(run(source.name(), {L"dbo.t", L"public.T", L"public.t"}, 1),
                   {"dbo.t", "public.T", "public.t"},
                   "the destination holds [dbo].[_t], [dbo].[t], not the tables this run gives "
                   "them");
    EXPECT_EQ(ids("dbo.t"), dbo_copy);
    EXPECT_EQ(ids("dbo._t"), public_copy);
    EXPECT_EQ(dbo_tables(), (std::vector<std::string>{"dbo._t", "dbo.t"}));
}

// Under the destination's case-blind names "Mixed" and mixed meet; a later "MIXED" would take
// "Mixed"'s copy and merge its rows into it.
TEST_F(NamesakesIntoSqlServer, CaseCollisionMergesOnlyWholeInModeThree)
{
    if (!connect_servers("namesakes_case"))
    {
        return;
    }
    pgs_test::scratch_database source(m_server, "zov_names");
    source.execute("CREATE TABLE \"Mixed\" (id int PRIMARY KEY, v text);"
                   "INSERT INTO \"Mixed\" VALUES (1, 'a'), (2, 'b');"
                   "CREATE TABLE mixed (id int PRIMARY KEY, v text);"
                   "INSERT INTO mixed VALUES (3, 'c'), (4, 'd');");
    const std::vector<std::wstring> both = {L"public.Mixed", L"public.mixed"};
    const rows upper_copy = {{"1"}, {"2"}};
    const rows lower_copy = {{"3"}, {"4"}};

    EXPECT_EQ(run(source.name(), both, 3), std::vector<std::string>{});
    EXPECT_EQ(ids("dbo.Mixed"), upper_copy);
    EXPECT_EQ(ids("dbo._mixed"), lower_copy);

    expect_refused(run(source.name(), {L"public.mixed"}, 3), {"public.mixed"},
                   "this run does not convert public.Mixed");
    EXPECT_EQ(ids("dbo.Mixed"), upper_copy);
    EXPECT_EQ(ids("dbo._mixed"), lower_copy);

    // The same list again: each merges into its own copy, whose rows are all there already.
    EXPECT_EQ(run(source.name(), both, 3), std::vector<std::string>{});
    EXPECT_EQ(ids("dbo.Mixed"), upper_copy);
    EXPECT_EQ(ids("dbo._mixed"), lower_copy);

    source.execute("CREATE TABLE \"MIXED\" (id int PRIMARY KEY, v text);"
                   "INSERT INTO \"MIXED\" VALUES (1, 'x'), (5, 'y');");
    expect_refused(run(source.name(), {L"public.MIXED", L"public.Mixed", L"public.mixed"}, 3),
                   {"public.MIXED", "public.Mixed", "public.mixed"},
                   "not the tables this run gives them");
    expect_refused(run(source.name(), both, 3), {"public.Mixed", "public.mixed"},
                   "this run does not convert public.MIXED");
    EXPECT_EQ(ids("dbo.Mixed"), upper_copy);
    EXPECT_EQ(ids("dbo._mixed"), lower_copy);
}

} // namespace
