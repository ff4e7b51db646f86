// conversion_source_access_test.cpp: runs over the test PostgreSQL server as logins that may not
// read everything: a table is converted with every column and row it has or reported before
// anything of it reaches the destination; names that are no tables are called what they are; a
// read that fails part way says how many rows were stored.
#include "convertor_fakes.h"
#include "pgs_test_server.h"
#include "plat/plat_text.h"
#include "test_support.h"

#include <gtest/gtest.h>
#include <pqxx/pqxx>

namespace
{

using conv_test::event_log;
using conv_test::filtered;

const char role_password[] = "zov_access_pw";

class SourceAccess : public testing::Test
{
protected:
    void SetUp() override
    {
        if (!test_support::pg_server_or_skip("no PostgreSQL server to convert from"))
        {
            return;
        }
        m_settings = *pgs_test::server_from_env();
        m_database = std::make_unique<pgs_test::scratch_database>(m_settings, "zov_access");
    }

    void TearDown() override
    {
        m_database.reset();
        for (const std::string& database : m_databases)
        {
            admin("DROP DATABASE IF EXISTS " + database);
        }
        for (const std::string& role : m_roles)
        {
            admin("DROP ROLE IF EXISTS " + role);
        }
    }

    void admin(const std::string& sql)
    {
        pqxx::connection connection(pgs_test::conninfo(m_settings, "postgres"));
        pqxx::nontransaction work(connection);
        work.exec(sql);
    }

    /// A login role of its own for this test, with `options` ("BYPASSRLS").
    std::string make_role(const std::string& options = "")
    {
        const std::string role = pgs_test::unique_name("zov_role");
        admin("CREATE ROLE " + role + " LOGIN PASSWORD '" + role_password + "' " + options);
        m_roles.push_back(role);
        return role;
    }

    /// Converts `database` as `user` (the server's own login when empty) in `mode`, the tables
    /// of `listed`, into the bench's fake destination.
    void convert(conv_test::run_bench& bench, const std::string& database, const std::string& user,
                 const std::vector<std::wstring>& listed, int mode = 1)
    {
        vandrel_convertor& converter = bench.converter();
        converter.set_src(plat::utf8_to_wide_lossy(database));
        converter.set_mode(mode);
        converter.set_connection(m_settings.host, user.empty() ? m_settings.user : user,
                                 user.empty() ? m_settings.password : role_password,
                                 m_settings.port);
        converter.connect_pgs_server();
        converter.tables() = listed;
        converter.set_destination(
            std::make_unique<conv_test::fake_destination>(bench.destination, bench.events));
        converter();
    }

    pgs_test::server_settings m_settings;
    std::unique_ptr<pgs_test::scratch_database> m_database;
    std::vector<std::string> m_roles;
    std::vector<std::string> m_databases;
};

const std::vector<std::string> table_events = {"delete_tab", "create_table", "append"};

// information_schema.columns leaves out the columns the login may not read.
TEST_F(SourceAccess, TableWithColumnsTheLoginMayNotReadFailsBeforeItsCopyIsDropped)
{
    if (!m_database)
    {
        return;
    }
    const std::string reader = make_role();
    m_database->execute("CREATE TABLE pub (id int PRIMARY KEY, a text, secret text);"
                        "INSERT INTO pub VALUES (1, 'a', 's1'), (2, 'b', 's2');"
                        "CREATE TABLE open_t (id int PRIMARY KEY); INSERT INTO open_t VALUES (1);"
                        "GRANT SELECT (id, a) ON pub TO " +
                        reader + "; GRANT SELECT ON open_t TO " + reader + ";");
    conv_test::run_bench bench(convertor_flavour::agent);
    bench.destination.tables = {L"[dbo].[pub]"};
    convert(bench, m_database->name(), reader, {L"public.open_t", L"public.pub"});

    EXPECT_EQ(bench.handler->messages,
              (std::vector<std::string>{
                  "public.pub: Table public.pub has columns this login may not read: secret. A "
                  "table is converted with all of its columns or not at all: grant SELECT on "
                  "them to the login, or convert as a login that may read them."}));
    EXPECT_EQ(
        filtered(bench.events, table_events),
        (event_log{"create_table [dbo].[open_t] columns=1 indexes=1", "append [dbo].[open_t] 1"}));
    EXPECT_EQ(bench.converter().failures_reported(), 1);
}

struct row_security_case
{
    const char* name;
    /// Who converts: "owner" (owns the table), "reader" (granted SELECT), "bypass" (granted
    /// SELECT, BYPASSRLS).
    std::string login;
    bool force = false;
    /// A further policy for the converting login.
    std::string policy;
    /// The rows that arrive; none when the table is refused.
    event_log expected_appends;
};

class RowSecurity : public SourceAccess, public testing::WithParamInterface<row_security_case>
{
};

TEST_P(RowSecurity, EveryRowOrTheTableIsReported)
{
    if (!m_database)
    {
        return;
    }
    const row_security_case& test = GetParam();
    const std::string role = make_role(test.login == "bypass" ? "BYPASSRLS" : "");
    m_database->execute(
        "CREATE TABLE tenant_data (id int PRIMARY KEY, tenant text);"
        "INSERT INTO tenant_data VALUES (1, 'a'), (2, 'b'), (3, 'c');"
        "ALTER TABLE tenant_data ENABLE ROW LEVEL SECURITY;"
        "CREATE POLICY per_tenant ON tenant_data USING (tenant = current_setting('app.tenant', "
        "true));" +
        std::string(test.force ? "ALTER TABLE tenant_data FORCE ROW LEVEL SECURITY;" : "") +
        (test.login == "owner" ? "ALTER TABLE tenant_data OWNER TO " + role + ";"
                               : "GRANT SELECT ON tenant_data TO " + role + ";") +
        (test.policy.empty() ? ""
                             : "CREATE POLICY for_login ON tenant_data TO " + role + " USING (" +
                                   test.policy + ");"));
    conv_test::run_bench bench(convertor_flavour::agent);
    bench.destination.tables = {L"[dbo].[tenant_data]"};
    convert(bench, m_database->name(), role, {L"public.tenant_data"});

    if (test.expected_appends.empty())
    {
        // The owner under FORCE also gets the server's hint on that switch.
        const std::string hint = test.login == "owner"
                                     ? "\" HINT:  To disable the policy for the table's owner, use "
                                       "ALTER TABLE NO FORCE ROW LEVEL SECURITY."
                                     : "\".";
        EXPECT_EQ(
            bench.handler->messages,
            (std::vector<std::string>{
                "public.tenant_data: Cannot get number of records (public.tenant_data): ERROR:  "
                "query would be affected by row-level security policy for table \"tenant_data" +
                hint +
                " The table has row-level security for this login, which would read only the rows "
                "its policies let through: convert it as a login that bypasses row security (a "
                "superuser, a role with BYPASSRLS, or the table's owner when the table does not "
                "force row security), which reads every row."}));
        // Refused before its copy is dropped.
        EXPECT_EQ(filtered(bench.events, table_events), event_log{});
        EXPECT_EQ(bench.converter().failures_reported(), 1);
        return;
    }
    EXPECT_TRUE(bench.handler->messages.empty()) << bench.handler->messages.front();
    EXPECT_EQ(filtered(bench.events, {"append"}), test.expected_appends);
}

const event_log all_three = {"append [dbo].[tenant_data] 1", "append [dbo].[tenant_data] 2",
                             "append [dbo].[tenant_data] 3"};

INSTANTIATE_TEST_SUITE_P(
    Logins, RowSecurity,
    testing::Values(row_security_case{"OwnerUnderForcedSecurity", "owner", true, "", {}},
                    row_security_case{"ReaderWithAPolicyForItsRole", "reader", false, "id = 1", {}},
                    row_security_case{"ReaderUnderAPolicyOfTrue", "reader", false, "true", {}},
                    row_security_case{"OwnerWithoutForceReadsEveryRow", "owner", false, "",
                                      all_three},
                    row_security_case{"BypassingRoleReadsEveryRow", "bypass", true, "", all_three}),
    [](const testing::TestParamInfo<row_security_case>& param_info)
    { return std::string(param_info.param.name); });

// A profile's query entry reads under the same rule as a table.
TEST_F(SourceAccess, QueryEntryOverAPolicyFails)
{
    if (!m_database)
    {
        return;
    }
    const std::string reader = make_role();
    m_database->execute("CREATE TABLE tenant_data (id int PRIMARY KEY, tenant text);"
                        "INSERT INTO tenant_data VALUES (1, 'a'), (2, 'b');"
                        "ALTER TABLE tenant_data ENABLE ROW LEVEL SECURITY;"
                        "CREATE POLICY everyone ON tenant_data USING (true);"
                        "GRANT SELECT ON tenant_data TO " +
                        reader + ";");
    conv_test::run_bench bench(convertor_flavour::agent);
    bench.converter().selected()[L"public.q"] = L"SELECT id FROM tenant_data";
    convert(bench, m_database->name(), reader, {});

    ASSERT_EQ(bench.handler->messages.size(), 1u);
    EXPECT_EQ(bench.handler->messages[0].rfind(
                  "public.q: Cannot read the query 'public.q': ERROR:  query would be affected by "
                  "row-level security policy for table \"tenant_data\". The table has row-level "
                  "security for this login",
                  0),
              0u)
        << bench.handler->messages[0];
    EXPECT_EQ(filtered(bench.events, table_events), event_log{});
}

TEST_F(SourceAccess, ViewsAndPartitionsNamedInTheListAreCalledWhatTheyAre)
{
    if (!m_database)
    {
        return;
    }
    m_database->execute(
        "CREATE TABLE m (id int, d date) PARTITION BY RANGE (d);"
        "CREATE TABLE m_2020 PARTITION OF m FOR VALUES FROM ('2020-01-01') TO ('2021-01-01');"
        "CREATE VIEW v AS SELECT 1 AS x; CREATE MATERIALIZED VIEW mv AS SELECT 1 AS x;");
    conv_test::run_bench bench(convertor_flavour::agent);
    convert(bench, m_database->name(), "",
            {L"public.gone", L"public.m_2020", L"public.mv", L"public.v"});

    EXPECT_EQ(filtered(bench.reporter->lines, {"missing"}),
              (event_log{"missing public.gone",
                         "missing public.m_2020 is a partition of public.m: its rows arrive with "
                         "public.m",
                         "missing public.mv is a materialized view: views are not converted",
                         "missing public.v is a view: views are not converted"}));
    EXPECT_EQ(bench.converter().failures_reported(), 4);
}

// In a SQL_ASCII database the server checks the bytes it sends against the client's UTF-8: the
// fetch of the block holding the bad byte fails after the first block's row was written.
TEST_F(SourceAccess, ReadFailingPartWayEndsTheLoadAndSaysWhatWasStored)
{
    if (!m_database)
    {
        return;
    }
    const std::string database = pgs_test::unique_name("zov_ascii");
    admin("CREATE DATABASE " + database +
          " ENCODING 'SQL_ASCII' LC_COLLATE 'C' LC_CTYPE 'C' TEMPLATE template0");
    m_databases.push_back(database);
    {
        pqxx::connection connection(pgs_test::conninfo(m_settings, database));
        pqxx::nontransaction work(connection);
        work.exec("CREATE TABLE t (id int PRIMARY KEY, s varchar(10));"
                  "INSERT INTO t VALUES (1, 'one'), (2, 'two'), (3, E'\\377'), (4, 'four');");
    }
    {
        conv_test::run_bench bench(convertor_flavour::agent);
        bench.destination.faults.batched = true;
        convert(bench, database, "", {L"public.t"});

        EXPECT_EQ(bench.handler->messages,
                  (std::vector<std::string>{
                      "public.t: ERROR: invalid byte sequence for encoding \"UTF8\": 0xff. 1 rows "
                      "of this table had been stored; the rest of it was not read."}));
        EXPECT_EQ(filtered(bench.events, {"append", "flush"}),
                  (event_log{"flush [dbo].[t]", "append [dbo].[t] 1"}));
    }
}

} // namespace
