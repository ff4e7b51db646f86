// mss_database_test.cpp: the destination database against the pretend server: the owner it reads
// the catalog as, the table-list fallback, schemas, append mode, date kinds, schema names, views
// and foreign keys.
#include "mss/mss_database.h"
#include "mss/mss_engine.h"
#include "mss/odb_exception.h"
#include "mss_fake_server.h"
#include "plat/plat_text.h"

#include <gtest/gtest.h>

namespace
{

using mss_test::fake_answer;
using mss_test::fake_server;

const std::wstring columns_sql_all =
    L"select table_schema, table_name, column_name, data_type from INFORMATION_SCHEMA.COLUMNS "
    L"where table_name not in ('sysalternates','sysconstraints','syssegments')";

std::wstring wide(const char* text)
{
    return plat::utf8_to_wide_lossy(text);
}

fake_answer table_rows(const std::vector<std::vector<std::optional<std::wstring>>>& rows)
{
    fake_answer answer;
    answer.columns = {L"TABLE_CAT", L"TABLE_SCHEM", L"TABLE_NAME", L"TABLE_TYPE", L"REMARKS"};
    answer.rows = rows;
    return answer;
}

class MssDatabase : public testing::Test
{
protected:
    void SetUp() override
    {
        mss_test::install_fake_server(m_table, m_server);
        m_server->answer(L"SELECT @@VERSION", L"", {mss_test::version_2019});
    }

    std::unique_ptr<mss_database> open(const std::wstring& user, bool in_run,
                                       int mode = udb_open_mode::existing)
    {
        m_engine.connect(L"srv", user, L"pw", true);
        m_engine.set_view_owned(!in_run);
        m_mark = m_server->sent.size();
        return m_engine.open_db(L"shop", mode);
    }

    std::shared_ptr<fake_server> m_server = std::make_shared<fake_server>();
    plat::oledb::class_table m_table;
    mss_engine m_engine{true};
    std::size_t m_mark = 0;
};

struct owner_case
{
    const wchar_t* user;
    bool as_dbo;
    const wchar_t* owner;
    const wchar_t* owner_literal;
};

class MssDatabaseOwner : public MssDatabase, public testing::WithParamInterface<owner_case>
{
};

TEST_P(MssDatabaseOwner, CatalogIsReadAsTheLoginsOwner)
{
    m_engine.set_as_dbo(GetParam().as_dbo);
    if (std::wstring(GetParam().user).empty())
    {
        m_engine.connect(L"srv", true);
    }
    else
    {
        m_engine.connect(L"srv", GetParam().user, L"pw", true);
    }
    m_mark = m_server->sent.size();
    m_engine.open_db(L"shop", udb_open_mode::existing);
    const std::wstring owner = GetParam().owner_literal;
    EXPECT_EQ(m_server->sent[m_mark],
              L"tables(" + std::wstring(GetParam().owner) + L"|<null>|TABLE)");
    EXPECT_EQ(
        m_server->statements(m_mark),
        (std::vector<std::wstring>{
            L"exec sp_tables @table_owner=N'" + owner + L"', @table_type=\"'TABLE'\"",
            L"select table_schema, table_name, column_name, data_type from "
            L"INFORMATION_SCHEMA.COLUMNS where table_schema=N'" +
                owner + L"' and table_name not in ('sysalternates','sysconstraints','syssegments')",
            L"select table_name, view_definition from information_schema.views where "
            L"table_schema=N'" +
                owner +
                L"' and table_name not in ('sysalternates','sysconstraints','syssegments')"}));
}

INSTANTIATE_TEST_SUITE_P(Logins, MssDatabaseOwner,
                         testing::Values(owner_case{L"SA", false, L"dbo", L"dbo"},
                                         owner_case{L"bob", true, L"dbo", L"dbo"},
                                         owner_case{L"", false, L"dbo", L"dbo"},
                                         owner_case{L"o'brien", false, L"o'brien", L"o''brien"}));

TEST_F(MssDatabase, RunListsTablesOfEveryOwnerAsTwoPartNames)
{
    m_server->catalog[L"tables"] =
        table_rows({{L"shop", L"dbo", L"orders", L"TABLE", std::nullopt},
                    {L"shop", L"sales", L"odd]name", L"TABLE", std::nullopt}});
    std::unique_ptr<mss_database> database = open(L"bob", true);
    EXPECT_EQ(m_server->sent[m_mark], L"tables(<null>|<null>|TABLE)");
    EXPECT_EQ(database->tables(),
              (std::vector<std::wstring>{L"[dbo].[orders]", L"[sales].[odd]]name]"}));
    EXPECT_TRUE(database->is_table_exist(L"[DBO].[Orders]"));
    EXPECT_FALSE(database->is_table_exist(L""));
}

TEST_F(MssDatabase, EmptySchemaRowsetFallsBackToSpTablesWithoutOwnerInARun)
{
    fake_answer listed;
    listed.columns = {L"TABLE_QUALIFIER", L"TABLE_OWNER", L"TABLE_NAME", L"TABLE_TYPE"};
    listed.rows = {{L"shop", L"dbo", L"orders", L"TABLE"}};
    m_server->answers[L"exec sp_tables @table_type=\"'TABLE'\""] = listed;
    std::unique_ptr<mss_database> database = open(L"bob", true);
    EXPECT_EQ(m_server->statements(m_mark).front(), L"exec sp_tables @table_type=\"'TABLE'\"");
    EXPECT_EQ(database->tables(), std::vector<std::wstring>{L"[dbo].[orders]"});
}

TEST_F(MssDatabase, FailedViewReadingIsLoggedAndTheDatabaseOpens)
{
    m_server->fail(L"select table_name, view_definition from information_schema.views where "
                   L"table_name not in ('sysalternates','sysconstraints','syssegments')",
                   L"42000", L"denied");
    EXPECT_NE(open(L"bob", true), nullptr);
}

TEST_F(MssDatabase, SchemaStatementEscapesEachLevel)
{
    EXPECT_EQ(mss_database::create_schema_sql(L"sales"),
              L"IF NOT EXISTS (SELECT  schema_name FROM    information_schema.schemata WHERE   "
              L"schema_name = N'sales' ) BEGIN EXEC sp_executesql N'CREATE SCHEMA [sales]' END");
    EXPECT_EQ(mss_database::create_schema_sql(L"o'k]x"),
              L"IF NOT EXISTS (SELECT  schema_name FROM    information_schema.schemata WHERE   "
              L"schema_name = N'o''k]x' ) BEGIN EXEC sp_executesql N'CREATE SCHEMA [o''k]]x]' "
              L"END");
    std::unique_ptr<mss_database> database = open(L"bob", true);
    m_mark = m_server->sent.size();
    database->create_schema(L"DBO");
    EXPECT_TRUE(m_server->statements(m_mark).empty());
    database->create_schema(L"sales");
    EXPECT_EQ(m_server->statements(m_mark),
              std::vector<std::wstring>{mss_database::create_schema_sql(L"sales")});
}

TEST_F(MssDatabase, AppendModeReturnsTheExistingTablesWriter)
{
    m_server->catalog[L"tables"] = table_rows({{L"shop", L"dbo", L"t", L"TABLE", std::nullopt}});
    fake_answer types;
    types.columns = {L"table_schema", L"table_name", L"column_name", L"data_type"};
    types.rows = {{L"dbo", L"t", L"d", L"date"},
                  {L"dbo", L"t", L"w", L"time"},
                  {L"sales", L"t", L"x", L"date"}};
    m_server->answers[columns_sql_all] = types;
    fake_answer shape;
    shape.columns = {L"d", L"w", L"x"};
    m_server->answers[L"SELECT * FROM [dbo].[t] WHERE 1=0"] = shape;
    m_server->answer(L"SELECT COUNT_BIG(*) FROM [dbo].[t]", L"", {L"3000000000"});
    std::unique_ptr<mss_database> database = open(L"bob", true, udb_open_mode::append);

    t_ftd source(0, L"x", VT_DATE, false, false, ole_variant(), t_ftd::time_only, L"");
    udb_schema schema;
    schema.push_back(&source);
    m_mark = m_server->sent.size();
    std::unique_ptr<udb_recordset> table = database->create_table(L"[dbo].[t]", schema, {});
    for (const std::wstring& sent : m_server->statements(m_mark))
    {
        EXPECT_EQ(sent.find(L"CREATE"), std::wstring::npos) << plat::wide_to_utf8(sent);
    }
    EXPECT_EQ(table->name(), L"[dbo].[t]");
    EXPECT_EQ(table->record_count(), 3000000000LL); // counted whole, never cut to 32 bits
    const udb_schema& result = table->schema();
    ASSERT_EQ(result.size(), 3u);
    EXPECT_EQ(result[0]->vartype, VT_DATE);
    EXPECT_EQ(result[0]->dw_reserved, t_ftd::date_only);
    EXPECT_EQ(result[1]->vartype, VT_DATE);
    EXPECT_EQ(result[1]->dw_reserved, t_ftd::time_only);
    // Not a date in [dbo].[t] (only in [sales].[t]); the source's kind comes by name.
    EXPECT_EQ(result[2]->vartype, VT_DATE);
    EXPECT_EQ(result[2]->dw_reserved, t_ftd::time_only);
}

TEST_F(MssDatabase, ImpossibleCreationsAreInternalErrors)
{
    m_server->catalog[L"tables"] = table_rows({{L"shop", L"dbo", L"t", L"TABLE", std::nullopt}});
    std::unique_ptr<mss_database> existing = open(L"bob", true);
    EXPECT_THROW(existing->create_table(L"[dbo].[t]", udb_schema(), {}), tk_mail_assertion);
    std::unique_ptr<mss_database> source = m_engine.open_db(L"shop", udb_open_mode::source);
    EXPECT_THROW(source->create_table(L"[dbo].[u]", udb_schema(), {}), tk_mail_assertion);
}

TEST_F(MssDatabase, SchemaNamesOrDboAlone)
{
    std::unique_ptr<mss_database> database = open(L"bob", true);
    const std::wstring sql = L"SELECT name FROM sys.schemas where principal_id < 16384";
    m_server->answer(sql, L"name", {L"dbo", L"sales"});
    std::vector<std::wstring> names{L"stale"};
    database->get_schema_info(names);
    EXPECT_EQ(names, (std::vector<std::wstring>{L"dbo", L"sales"}));
    m_server->fail(sql, L"42000", L"denied");
    database->get_schema_info(names);
    EXPECT_EQ(names, std::vector<std::wstring>{L"dbo"});
}

TEST_F(MssDatabase, DropTableUsesTheTwoPartName)
{
    m_server->catalog[L"tables"] = table_rows({{L"shop", L"dbo", L"t", L"TABLE", std::nullopt}});
    std::unique_ptr<mss_database> database = open(L"bob", true);
    m_mark = m_server->sent.size();
    EXPECT_TRUE(database->delete_tab(L"[dbo].[t]"));
    EXPECT_EQ(m_server->statements(m_mark), std::vector<std::wstring>{L"DROP TABLE [dbo].[t]"});
    EXPECT_FALSE(database->is_table_exist(L"[dbo].[t]"));
}

struct view_case
{
    const wchar_t* definition;
    bool view_owned;
    const wchar_t* expected;
};

class MssViewText : public testing::TestWithParam<view_case>
{
};

TEST_P(MssViewText, IsTheSelectItRuns)
{
    EXPECT_EQ(mss_database::view_select_text(GetParam().definition, GetParam().view_owned),
              GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(
    Definitions, MssViewText,
    testing::Values(view_case{L"CREATE VIEW dbo.v AS SELECT TOP 100 PERCENT a FROM dbo.t", true,
                              L"SELECT  a FROM t"},
                    view_case{L"create view v\r\nas\tselect a,\r\n  'x\r\n y' from [dbo].[t]  ",
                              true, L"select a, 'x\r\n y' from [t]"},
                    view_case{L"create view v as select a from dbo.t", false,
                              L"select a from dbo.t"},
                    view_case{L"create view v as(select 1)", true, L""}));

TEST_F(MssDatabase, ViewTextsBecomeTransactSql)
{
    std::unique_ptr<mss_database> database = open(L"bob", true);
    EXPECT_EQ(database->refine_view(L"select ifnull(a,0), now() from `t`"),
              L"select isnull(a,0), getdate() from [t]");
    EXPECT_EQ(database->refine_view(L"select IFNULL(a,0) from t"), L"select ISNULL(a,0) from t");
    EXPECT_EQ(database->refine_view(L"select _utf8'x'"), L"select 'x'");
    EXPECT_EQ(database->refine_view(L"select isnull(b) from t"), L"select (b) is null from t");
    EXPECT_EQ(database->refine_view(L"select from_unixtime(s) from t"),
              L"select DateAdd(ss,(s),'01-01-1970') from t");
}

TEST_F(MssDatabase, ViewsAreDroppedAndCreatedAndFailuresReported)
{
    std::unique_ptr<mss_database> database = open(L"bob", true);
    std::vector<std::wstring> failures;
    database->set_object_failure_handler(
        [&](const std::wstring& context, const tk_exception& error)
        { failures.push_back(context + L": " + wide(error.what())); });
    m_server->fail(L"CREATE VIEW [bad] AS select x", L"42000", L"no");
    m_mark = m_server->sent.size();
    database->create_views({{L"bad", L"select x"}, {L"it's", L"select `a` from t"}});
    EXPECT_EQ(m_server->statements(m_mark),
              (std::vector<std::wstring>{L"IF OBJECT_ID(N'[bad]') IS NOT NULL DROP VIEW [bad]",
                                         L"CREATE VIEW [bad] AS select x",
                                         L"IF OBJECT_ID(N'[it''s]') IS NOT NULL DROP VIEW [it's]",
                                         L"CREATE VIEW [it's] AS select [a] from t"}));
    EXPECT_EQ(failures, std::vector<std::wstring>{
                            L"View 'bad': Can't create view. Contact your support team for the "
                            L"solution."});
}

TEST_F(MssDatabase, ForeignKeysAreAddedWithTheirRulesAndFailuresReported)
{
    std::unique_ptr<mss_database> database = open(L"bob", true);
    database->names_map().add_tn_mapping(L"public.child", L"[dbo].[child]");
    std::vector<std::wstring> failures;
    database->set_object_failure_handler(
        [&](const std::wstring& context, const tk_exception& error)
        { failures.push_back(context + L": " + wide(error.what())); });
    udb_relationships keys;
    keys.push_back(udb_relationship(L"fk_one", L"pk", L"public.child", L"[dbo].[parent]",
                                    L"on delete cascade", {L"pid", L"pcode"}, {L"id", L"code"}));
    keys.push_back(udb_relationship(L"fk_two", L"pk", L"[dbo].[child]", L"[dbo].[parent]",
                                    L" ON UPDATE CASCADE ON DELETE NO ACTION", {L"p"}, {L"id"}));
    keys.push_back(udb_relationship(L"fk_bad", L"pk", L"[dbo].[child]", L"[dbo].[parent]",
                                    L"ON DELETE EXPLODE", {L"q"}, {L"id"}));
    m_server->fail(L"ALTER TABLE [dbo].[child] ADD CONSTRAINT [fk_bad] FOREIGN KEY ([q]) "
                   L"REFERENCES [dbo].[parent]([id])",
                   L"23000", L"conflict");
    m_mark = m_server->sent.size();
    database->create_relationships(keys);
    EXPECT_EQ(m_server->statements(m_mark),
              (std::vector<std::wstring>{
                  L"ALTER TABLE [dbo].[child] ADD CONSTRAINT [fk_one] FOREIGN KEY ([pid], "
                  L"[pcode]) REFERENCES [dbo].[parent]([id], [code]) on delete cascade",
                  L"ALTER TABLE [dbo].[child] ADD CONSTRAINT [fk_two] FOREIGN KEY ([p]) "
                  L"REFERENCES [dbo].[parent]([id]) ON UPDATE CASCADE ON DELETE NO ACTION",
                  L"ALTER TABLE [dbo].[child] ADD CONSTRAINT [fk_bad] FOREIGN KEY ([q]) "
                  L"REFERENCES [dbo].[parent]([id])"}));
    EXPECT_EQ(failures, std::vector<std::wstring>{
                            L"Foreign key 'fk_bad': There are orphaned records that prevent from "
                            L"creating foreign key. For more\ninformation see Troubleshooting "
                            L"article of the product documentation."});
}

} // namespace
