// odb_sqlite_test.cpp: the consumer classes end to end over the stand-in and the real SQLite
// ODBC driver: connect, commands, recordsets and the schema-rowset readers.
#include "mss/mss_engine.h"
#include "mss/odb_command.h"
#include "mss/odb_exception.h"
#include "mss/odb_recordset.h"
#include "plat/oledb/odbc_link.h"
#include "plat/oledb/oledb_providers.h"
#include "plat/plat_text.h"
#include "test_support.h"

#include <gtest/gtest.h>

namespace
{

// A recordset that opens a table or query the way the table classes do.
class opened_recordset : public odb_recordset
{
public:
    opened_recordset(IOpenRowset* session, const std::wstring& name, const std::wstring& query,
                     bool read_only)
        : odb_recordset(name)
    {
        set_query(query);
        internal_initialize(session, read_only);
    }
};

class OdbOverSqlite : public testing::Test
{
protected:
    void SetUp() override
    {
        if (!plat::oledb::odbc_driver_installed(plat::oledb::make_odbc_environment(), L"SQLite3"))
        {
            GTEST_SKIP() << "the ODBC driver \"SQLite3\" is not registered with unixODBC "
                            "(scripts/setup installs it)";
        }
        plat::oledb::register_providers(m_table);
        m_engine.initializer().test_connection(m_source, plat::utf8_to_wide_lossy(m_path), L"", L"",
                                               L"");
        ole_com_ptr<IDBCreateSession> create;
        odb_check(m_source->QueryInterface(IID_IDBCreateSession, create.put_void()));
        odb_check(create->CreateSession(nullptr, IID_IOpenRowset, m_session.put_unknown()));
    }

    std::vector<std::wstring> column_texts(odb_recordset& recordset, std::size_t column)
    {
        std::vector<std::wstring> texts;
        for (recordset.reset(); !recordset.is_eof(); recordset.next())
        {
            texts.push_back((*recordset.get_item())[column]->to_wstring());
        }
        return texts;
    }

    test_support::temp_dir m_dir;
    std::string m_path = m_dir.file("consumer.db");
    test_support::scoped_env m_drivers{"ZOV_ODBC_DRIVERS", "SQLite3"};
    plat::oledb::class_table m_table;
    mss_engine m_engine{true};
    ole_com_ptr<IDBInitialize> m_source;
    ole_com_ptr<IOpenRowset> m_session;
};

TEST_F(OdbOverSqlite, CommandRowsReadThroughTheRecordset)
{
    EXPECT_TRUE(m_engine.initializer().native_client());
    odb_command command(m_session.get());
    command.execute(L"CREATE TABLE t (id INTEGER PRIMARY KEY, name VARCHAR(20), stamp TIMESTAMP)");
    for (int row_idx = 1; row_idx <= 12; ++row_idx)
    {
        command.execute(L"INSERT INTO t VALUES (" + std::to_wstring(row_idx) + L", 'row " +
                        std::to_wstring(row_idx) + L"', '2024-01-0" +
                        std::to_wstring(row_idx % 9 + 1) + L" 10:00:00')");
    }
    ole_com_ptr<IRowset> rowset;
    command.execute(L"SELECT id, name, stamp FROM t ORDER BY id", rowset.put());
    odb_recordset recordset(rowset.get());
    ASSERT_EQ(recordset.schema().size(), 3u);
    EXPECT_EQ(recordset.schema()[0]->vartype, VT_I4);
    EXPECT_EQ(recordset.schema()[1]->vartype, VT_BSTR);
    EXPECT_EQ(recordset.schema()[2]->vartype, VT_DATE);
    const std::vector<std::wstring> names = column_texts(recordset, 1);
    ASSERT_EQ(names.size(), 12u);
    EXPECT_EQ(names[11], L"row 12");
    recordset.reset();
    EXPECT_EQ((*recordset.get_item())[2]->get_type(), VT_DATE);
    EXPECT_EQ((*recordset.get_item())[2]->get_systemtime().wDay, 2);
}

TEST_F(OdbOverSqlite, TablesAndQueriesOpenOnTheSession)
{
    odb_command command(m_session.get());
    command.execute(L"CREATE TABLE t (id INTEGER)");
    command.execute(L"INSERT INTO t VALUES (1)");
    command.execute(L"INSERT INTO t VALUES (2)");
    {
        opened_recordset table(m_session.get(), L"t", L"", true);
        EXPECT_EQ(column_texts(table, 0), (std::vector<std::wstring>{L"1", L"2"}));
        // The session stays usable while the table is open.
        command.execute(L"INSERT INTO t VALUES (4)");
    }
    {
        opened_recordset table(m_session.get(), L"t", L"", false);
        EXPECT_EQ(column_texts(table, 0), (std::vector<std::wstring>{L"1", L"2", L"4"}));
        command.execute(L"INSERT INTO t VALUES (3)");
    }
    opened_recordset query(m_session.get(), L"", L"SELECT id * 10 FROM t WHERE id > 2", true);
    EXPECT_EQ(column_texts(query, 0), (std::vector<std::wstring>{L"40", L"30"}));
    try
    {
        opened_recordset missing(m_session.get(), L"[missing]", L"", true);
        FAIL() << "no exception";
    }
    catch (const odb_exception& error)
    {
        EXPECT_STREQ(error.what(), "no such table: missing (1)");
    }
}

TEST_F(OdbOverSqlite, FailedStatementThrowsWithTheDriverText)
{
    odb_command command(m_session.get());
    try
    {
        command.execute(L"SELECT * FROM missing_table");
        FAIL() << "no exception";
    }
    catch (const odb_exception& error)
    {
        EXPECT_EQ(error.code(), 0x80E14);
        EXPECT_STREQ(error.what(), "no such table: missing_table (1)");
        EXPECT_EQ(error.source(), L"[SQLite]");
    }
}

TEST_F(OdbOverSqlite, SchemaReadersListKeysIndexesAndForeignKeys)
{
    odb_command command(m_session.get());
    command.execute(L"CREATE TABLE parent (id INTEGER, code VARCHAR(5), PRIMARY KEY (id))");
    command.execute(L"CREATE UNIQUE INDEX ix_code ON parent (code)");
    command.execute(L"CREATE TABLE child (cid INTEGER PRIMARY KEY, pid INTEGER REFERENCES "
                    L"parent (id) ON UPDATE CASCADE)");

    odb_tl_meta_data tables(m_session.get(), L"");
    std::vector<std::wstring> names = column_texts(tables, 2);
    std::sort(names.begin(), names.end());
    EXPECT_EQ(names, (std::vector<std::wstring>{L"child", L"parent"}));

    odb_pk_meta_data keys(m_session.get(), L"parent", L"");
    EXPECT_EQ(column_texts(keys, 3), std::vector<std::wstring>{L"id"});

    odb_id_meta_data indexes(m_session.get(), L"parent", L"");
    bool found = false;
    for (indexes.reset(); !indexes.is_eof(); indexes.next())
    {
        const udb_record& row = *indexes.get_item();
        if (row[5]->to_wstring() == L"ix_code")
        {
            found = true;
            EXPECT_TRUE(row[7]->to_bool());
            EXPECT_EQ(row[17]->to_wstring(), L"code");
        }
    }
    EXPECT_TRUE(found);

    odb_fk_meta_data foreign(m_session.get(), L"parent", L"");
    foreign.reset();
    ASSERT_FALSE(foreign.is_eof());
    const udb_record& key = *foreign.get_item();
    EXPECT_EQ(key[8]->to_wstring(), L"child");
    EXPECT_EQ(key[9]->to_wstring(), L"pid");
    EXPECT_EQ(key[13]->to_wstring(), L"CASCADE");
}

} // namespace
