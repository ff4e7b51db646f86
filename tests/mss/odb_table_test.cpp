// odb_table_test.cpp: opening destination tables and queries (the retry under dbo, row counts)
// and reading their keys, indexes and referencing foreign keys, against the pretend server.
#include "mss/mss_database.h"
#include "mss/mss_engine.h"
#include "mss/odb_exception.h"
#include "mss/odb_table.h"
#include "mss_fake_server.h"

#include <gtest/gtest.h>

namespace
{

using mss_test::fake_answer;
using mss_test::fake_server;
using cells = std::vector<std::optional<std::wstring>>;

fake_answer rows_of(std::vector<std::wstring> columns, std::vector<cells> rows)
{
    fake_answer answer;
    answer.columns = std::move(columns);
    answer.rows = std::move(rows);
    return answer;
}

class OdbTable : public testing::Test
{
protected:
    void SetUp() override
    {
        mss_test::install_fake_server(m_table, m_server);
        m_server->answer(L"SELECT @@VERSION", L"", {mss_test::version_2019});
        m_engine.connect(L"srv", L"sa", L"pw", true);
        m_engine.set_view_owned(false);
        m_database = m_engine.open_db(L"shop", udb_open_mode::existing);
        m_mark = m_server->sent.size();
    }

    std::shared_ptr<fake_server> m_server = std::make_shared<fake_server>();
    plat::oledb::class_table m_table;
    mss_engine m_engine{true};
    std::unique_ptr<mss_database> m_database;
    udb_relationships m_relationships;
    std::size_t m_mark = 0;
};

TEST_F(OdbTable, MissingTableIsTriedOnceMoreUnderDbo)
{
    m_server->fail(L"SELECT * FROM [sales] WHERE 1=0", L"42S02", L"Invalid object name 'sales'.");
    m_server->answers[L"SELECT * FROM [dbo].[sales] WHERE 1=0"] = rows_of({L"id"}, {});
    m_server->answer(L"SELECT COUNT_BIG(*) FROM [dbo].[sales]", L"", {L"7"});
    odb_table table(L"sales", m_database->session(), 1, m_relationships, m_database->target());
    EXPECT_EQ(table.name(), L"[dbo].[sales]");
    EXPECT_EQ(table.record_count(), 7);
    EXPECT_EQ(m_server->statements(m_mark),
              (std::vector<std::wstring>{L"SELECT * FROM [sales] WHERE 1=0",
                                         L"SELECT * FROM [dbo].[sales] WHERE 1=0",
                                         L"SELECT COUNT_BIG(*) FROM [dbo].[sales]"}));
}

// The table splits a dotted name by the target it is given, whatever the engine's flag says
// (the fixture's engine reads all owners).
TEST_F(OdbTable, RetryUnderDboSplitsTheNameAsItsTargetSays)
{
    struct retry_case
    {
        bool view_owned;
        const wchar_t* retried;
    };
    for (const retry_case& item :
         {retry_case{false, L"[dbo].[sales]"}, retry_case{true, L"[dbo].[shop.sales]"}})
    {
        SCOPED_TRACE(item.view_owned);
        m_server->fail(L"SELECT * FROM [shop.sales] WHERE 1=0", L"42S02",
                       L"Invalid object name 'shop.sales'.");
        m_server->answers[L"SELECT * FROM " + std::wstring(item.retried) + L" WHERE 1=0"] =
            rows_of({L"id"}, {});
        m_server->answer(L"SELECT COUNT_BIG(*) FROM " + std::wstring(item.retried), L"", {L"3"});
        mss_target target = m_database->target();
        target.view_owned = item.view_owned;
        odb_table table(L"shop.sales", m_database->session(), 1, m_relationships, target);
        EXPECT_EQ(table.name(), item.retried);
        EXPECT_EQ(table.record_count(), 3);
    }
}

TEST_F(OdbTable, SecondMissingTableIsPassedOn)
{
    m_server->fail(L"SELECT * FROM [sales] WHERE 1=0", L"42S02", L"Invalid object name 'sales'.");
    m_server->fail(L"SELECT * FROM [dbo].[sales] WHERE 1=0", L"42S02",
                   L"Invalid object name 'dbo.sales'.");
    try
    {
        odb_table table(L"sales", m_database->session(), 1, m_relationships, m_database->target());
        FAIL() << "no exception";
    }
    catch (const odb_exception& error)
    {
        EXPECT_EQ(error.code(), 0x80E37);
        EXPECT_STREQ(error.what(), "Invalid object name 'dbo.sales'.");
    }
}

TEST_F(OdbTable, QueryIsCountedAsADerivedTableAndNewTableOpensNothing)
{
    EXPECT_EQ(odb_table::count_sql(L"q", L"SELECT a FROM t"),
              L"SELECT COUNT_BIG(*) FROM (SELECT a FROM t) as query");
    EXPECT_EQ(odb_table::count_sql(L"t", L""), L"SELECT COUNT_BIG(*) FROM [t]");
    m_server->answers[L"SELECT a FROM t"] = rows_of({L"a"}, {{L"1"}, {L"2"}});
    m_server->answer(L"SELECT COUNT_BIG(*) FROM (SELECT a FROM t) as query", L"", {L"2"});
    odb_table query(L"q", L"SELECT a FROM t", m_database->session(), 1, m_relationships,
                    m_database->target());
    EXPECT_EQ(query.record_count(), 2);
    m_mark = m_server->sent.size();
    odb_table created(L"[dbo].[new]", m_database->session(), odb_table::mode_new_table,
                      m_relationships, m_database->target());
    EXPECT_EQ(m_server->sent.size(), m_mark);
}

TEST_F(OdbTable, KeysIndexesAndReferencingForeignKeysAreRead)
{
    m_server->catalog[L"primary_keys"] = rows_of(
        {L"TABLE_CAT", L"TABLE_SCHEM", L"TABLE_NAME", L"COLUMN_NAME", L"KEY_SEQ", L"PK_NAME"},
        {{L"shop", L"dbo", L"t", L"b", L"1", L"PK_t"},
         {L"shop", L"dbo", L"t", L"a", L"2", L"PK_t"}});
    const std::vector<std::wstring> statistics_columns{
        L"TABLE_CAT",   L"TABLE_SCHEM", L"TABLE_NAME",       L"NON_UNIQUE",  L"INDEX_QUALIFIER",
        L"INDEX_NAME",  L"TYPE",        L"ORDINAL_POSITION", L"COLUMN_NAME", L"ASC_OR_DESC",
        L"CARDINALITY", L"PAGES",       L"FILTER_CONDITION"};
    m_server->catalog[L"statistics"] = rows_of(
        statistics_columns, {{L"shop", L"dbo", L"t", std::nullopt, std::nullopt, std::nullopt, L"0",
                              std::nullopt, std::nullopt, std::nullopt, L"10", L"1", std::nullopt},
                             {L"shop", L"dbo", L"t", L"0", L"t", L"PK_t", L"1", L"1", L"b", L"A",
                              std::nullopt, std::nullopt, std::nullopt},
                             {L"shop", L"dbo", L"t", L"0", L"t", L"PK_t", L"1", L"2", L"a", L"A",
                              std::nullopt, std::nullopt, std::nullopt},
                             {L"shop", L"dbo", L"t", L"0", L"t", L"ux_cd", L"3", L"1", L"c", L"A",
                              std::nullopt, std::nullopt, std::nullopt},
                             {L"shop", L"dbo", L"t", L"0", L"t", L"ux_cd", L"3", L"2", L"d", L"A",
                              std::nullopt, std::nullopt, std::nullopt},
                             {L"shop", L"dbo", L"t", L"1", L"t", L"ix_e", L"3", L"1", L"e", L"A",
                              std::nullopt, std::nullopt, std::nullopt}});
    const std::vector<std::wstring> foreign_columns{
        L"PKTABLE_CAT",   L"PKTABLE_SCHEM", L"PKTABLE_NAME",  L"PKCOLUMN_NAME", L"FKTABLE_CAT",
        L"FKTABLE_SCHEM", L"FKTABLE_NAME",  L"FKCOLUMN_NAME", L"KEY_SEQ",       L"UPDATE_RULE",
        L"DELETE_RULE",   L"FK_NAME",       L"PK_NAME",       L"DEFERRABILITY"};
    m_server->catalog[L"foreign_keys"] =
        rows_of(foreign_columns, {{L"shop", L"dbo", L"t", L"a", L"shop", L"dbo", L"child", L"pa",
                                   L"1", L"0", L"3", L"fk_child", L"PK_t", L"7"},
                                  {L"shop", L"dbo", L"t", L"b", L"shop", L"dbo", L"child", L"pb",
                                   L"2", L"0", L"3", L"fk_child", L"PK_t", L"7"},
                                  {L"shop", L"dbo", L"t", L"a", L"shop", L"dbo", L"other", L"oa",
                                   L"1", std::nullopt, std::nullopt, L"fk_other", L"PK_t", L"7"}});
    odb_table table(L"[dbo].[t]", m_database->session(), odb_table::mode_new_table, m_relationships,
                    m_database->target());
    table.init_indexes(L"t", L"dbo");

    ASSERT_EQ(table.indexes().size(), 3u);
    EXPECT_EQ(table.indexes()[0], udb_index(L"PK_t", true, true, {L"b", L"a"}));
    EXPECT_EQ(table.indexes()[1], udb_index(L"ux_cd", true, false, {L"c", L"d"}));
    EXPECT_EQ(table.indexes()[2], udb_index(L"ix_e", false, false, {L"e"}));
    EXPECT_EQ(table.key_index(), 0);
    ASSERT_EQ(m_relationships.size(), 2u);
    EXPECT_EQ(m_relationships[0], udb_relationship(L"fk_child", L"PK_t", L"child", L"t",
                                                   L" ON UPDATE CASCADE ON DELETE NO ACTION",
                                                   {L"pa", L"pb"}, {L"a", L"b"}));
    EXPECT_EQ(m_relationships[1],
              udb_relationship(L"fk_other", L"PK_t", L"other", L"t", L"", {L"oa"}, {L"a"}));
    EXPECT_EQ(m_server->sent[m_mark], L"primary_keys(dbo|t)");
}

} // namespace
