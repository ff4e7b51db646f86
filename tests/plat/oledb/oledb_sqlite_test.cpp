// oledb_sqlite_test.cpp: the stand-in over the real SQLite ODBC driver on a temporary file:
// commands, batched reading, column information, table rowsets and catalog rowsets.
#include "oledb_driver_fixture.h"
#include "plat/plat_text.h"

#include <algorithm>

using namespace oledb_test;

namespace
{

class SqliteDriver : public driver_fixture
{
protected:
    void SetUp() override
    {
        OLEDB_USE_DRIVER_OR_SKIP("SQLite3");
        m_path = plat::utf8_to_wide_lossy(m_dir.file("test.db"));
        ASSERT_EQ(connect(m_path, L"", L"", L"", m_source), S_OK)
            << plat::wide_to_utf8(error_records_text());
        m_session = open_session(m_source.get());
    }

    void run(const std::wstring& sql)
    {
        ASSERT_EQ(execute(m_session.get(), sql, nullptr), S_OK)
            << plat::wide_to_utf8(sql) << "\n"
            << plat::wide_to_utf8(error_records_text());
    }

    rowset_contents query(const std::wstring& sql, DBROWCOUNT batch = 5)
    {
        com_ref<IRowset> rowset;
        EXPECT_EQ(execute(m_session.get(), sql, &rowset), S_OK)
            << plat::wide_to_utf8(error_records_text());
        return rowset ? read_rowset(rowset.get(), batch) : rowset_contents{};
    }

    void make_twelve_rows()
    {
        run(L"CREATE TABLE t (id INTEGER PRIMARY KEY, name NVARCHAR(20) NOT NULL, "
            L"amount NUMERIC(10,2), stamp TIMESTAMP, blob VARBINARY(8))");
        for (int row_idx = 1; row_idx <= 12; ++row_idx)
        {
            run(L"INSERT INTO t VALUES (" + std::to_wstring(row_idx) + L", 'név " +
                std::to_wstring(row_idx) + L"', " + std::to_wstring(row_idx) +
                L".25, '2024-02-29 13:14:15.678', NULL)");
        }
    }

    test_support::temp_dir m_dir;
    std::wstring m_path;
    com_ref<IDBInitialize> m_source;
    com_ref<IOpenRowset> m_session;
};

TEST_F(SqliteDriver, RowsComeInBatchesAndTheShortBatchEndsTheRowset)
{
    make_twelve_rows();
    const rowset_contents contents =
        query(L"SELECT id, name, amount, stamp, blob FROM t ORDER BY id");
    EXPECT_EQ(contents.batches, (std::vector<DBCOUNTITEM>{5, 5, 2}));
    ASSERT_EQ(contents.rows.size(), 12u);
    EXPECT_EQ(*contents.rows[11][0], L"12");
    EXPECT_EQ(*contents.rows[11][1], L"név 12");
    EXPECT_EQ(*contents.rows[11][2], L"12.25");
    EXPECT_EQ(*contents.rows[11][3], L"2024-02-29 13:14:15.678");
    EXPECT_FALSE(contents.rows[11][4].has_value());
}

TEST_F(SqliteDriver, ExactBatchMultipleEndsWithAnEmptyBatch)
{
    make_twelve_rows();
    const rowset_contents contents = query(L"SELECT id FROM t WHERE id <= 10", 5);
    EXPECT_EQ(contents.batches, (std::vector<DBCOUNTITEM>{5, 5, 0}));
}

TEST_F(SqliteDriver, ColumnInformationDescribesTheResult)
{
    make_twelve_rows();
    com_ref<IRowset> rowset;
    ASSERT_EQ(execute(m_session.get(), L"SELECT id, name, amount, blob FROM t", &rowset), S_OK);
    IColumnsInfo* info = nullptr;
    ASSERT_EQ(rowset->QueryInterface(IID_IColumnsInfo, reinterpret_cast<void**>(&info)), S_OK);
    DBORDINAL count = 0;
    DBCOLUMNINFO* columns = nullptr;
    ASSERT_EQ(info->GetColumnInfo(&count, &columns, nullptr), S_OK);
    info->Release();
    ASSERT_EQ(count, 4u);
    EXPECT_EQ(std::wstring(columns[0].pwszName), L"id");
    EXPECT_EQ(columns[0].wType, DBTYPE_I4);
    EXPECT_EQ(std::wstring(columns[1].pwszName), L"name");
    // The SQLite driver describes NVARCHAR as VARCHAR and NUMERIC as DOUBLE.
    EXPECT_EQ(columns[1].wType, DBTYPE_STR);
    EXPECT_EQ(columns[1].ulColumnSize, 20u);
    EXPECT_EQ(columns[2].wType, DBTYPE_R8);
    EXPECT_EQ(columns[2].dwFlags,
              DBCOLUMNFLAGS_ISFIXEDLENGTH | DBCOLUMNFLAGS_ISNULLABLE | DBCOLUMNFLAGS_MAYBENULL);
    EXPECT_EQ(columns[3].wType, DBTYPE_BYTES);
    EXPECT_EQ(columns[3].ulColumnSize, 8u);
    CoTaskMemFree(columns);
}

TEST_F(SqliteDriver, FailingStatementPostsTheDriverText)
{
    EXPECT_EQ(execute(m_session.get(), L"SELECT * FROM missing_table", nullptr),
              DB_E_ERRORSINCOMMAND);
    EXPECT_NE(error_records_text().find(L"no such table: missing_table"), std::wstring::npos)
        << plat::wide_to_utf8(error_records_text());
}

TEST_F(SqliteDriver, LaterStatementOfABatchThatFailsIsReported)
{
    // The SQLite driver runs a batch that starts with DDL statement by statement.
    EXPECT_EQ(execute(m_session.get(),
                      L"CREATE TABLE a (x INTEGER); CREATE TABLE b (y INTEGER); "
                      L"INSERT INTO missing_table VALUES (2)",
                      nullptr),
              DB_E_ERRORSINCOMMAND);
    EXPECT_EQ(error_records_text(), L"HY000 no such table: missing_table (1)\n");
    const rowset_contents tables =
        query(L"SELECT name FROM sqlite_master WHERE type = 'table' ORDER BY name");
    ASSERT_EQ(tables.rows.size(), 2u);
    EXPECT_EQ(*tables.rows[0][0], L"a");
    EXPECT_EQ(*tables.rows[1][0], L"b");
}

TEST_F(SqliteDriver, TableRowsetLeavesTheSessionFreeForCommands)
{
    make_twelve_rows();
    std::wstring name = L"t";
    DBID table{};
    table.eKind = DBKIND_NAME;
    table.uName.pwszName = name.data();
    IUnknown* raw = nullptr;
    ASSERT_EQ(m_session->OpenRowset(nullptr, &table, nullptr, IID_IRowset, 0, nullptr, &raw), S_OK);
    com_ref<IRowset> rowset = com_ref<IRowset>::attach(static_cast<IRowset*>(raw));
    HROW handles[5] = {};
    HROW* rows = handles;
    DBCOUNTITEM obtained = 0;
    ASSERT_EQ(rowset->GetNextRows(DB_NULL_HCHAPTER, 0, 5, &obtained, &rows), S_OK);
    rowset->ReleaseRows(obtained, handles, nullptr, nullptr, nullptr);
    // The writer counts and changes rows on the session while the table is being read.
    const rowset_contents count = query(L"SELECT COUNT(*) FROM t");
    EXPECT_EQ(*count.rows.at(0).at(0), L"12");
    ASSERT_EQ(rowset->RestartPosition(DB_NULL_HCHAPTER), S_OK);
    const rowset_contents all = read_rowset(rowset.get(), 5);
    EXPECT_EQ(all.rows.size(), 12u);
    EXPECT_EQ(all.names, (std::vector<std::wstring>{L"id", L"name", L"amount", L"stamp", L"blob"}));
}

TEST_F(SqliteDriver, MissingTableFailsAtOpenRowset)
{
    std::wstring name = L"[nope]";
    DBID table{};
    table.eKind = DBKIND_NAME;
    table.uName.pwszName = name.data();
    IUnknown* raw = nullptr;
    EXPECT_TRUE(
        FAILED(m_session->OpenRowset(nullptr, &table, nullptr, IID_IRowset, 0, nullptr, &raw)));
    EXPECT_EQ(raw, nullptr);
    EXPECT_NE(error_records_text().find(L"no such table"), std::wstring::npos);
}

TEST_F(SqliteDriver, CatalogRowsetsDescribeTablesKeysAndIndexes)
{
    run(L"CREATE TABLE parent (id INTEGER, code VARCHAR(5), PRIMARY KEY (id))");
    run(L"CREATE UNIQUE INDEX ix_code ON parent (code)");
    run(L"CREATE TABLE child (cid INTEGER PRIMARY KEY, pid INTEGER REFERENCES parent (id) "
        L"ON DELETE CASCADE)");
    IDBSchemaRowset* schema_raw = nullptr;
    ASSERT_EQ(m_session->QueryInterface(IID_IDBSchemaRowset, reinterpret_cast<void**>(&schema_raw)),
              S_OK);
    com_ref<IDBSchemaRowset> schema = com_ref<IDBSchemaRowset>::attach(schema_raw);
    const auto open = [&](const GUID& which, std::vector<VARIANT> restrictions)
    {
        IUnknown* raw = nullptr;
        EXPECT_EQ(schema->GetRowset(nullptr, which, static_cast<ULONG>(restrictions.size()),
                                    restrictions.data(), IID_IRowset, 0, nullptr, &raw),
                  S_OK)
            << plat::wide_to_utf8(error_records_text());
        com_ref<IRowset> rowset = com_ref<IRowset>::attach(static_cast<IRowset*>(raw));
        return rowset ? read_rowset(rowset.get()) : rowset_contents{};
    };
    VARIANT type;
    type.vt = VT_BSTR;
    type.bstrVal = L"TABLE";
    VARIANT parent;
    parent.vt = VT_BSTR;
    parent.bstrVal = L"parent";

    const rowset_contents tables = open(DBSCHEMA_TABLES, {VARIANT{}, VARIANT{}, VARIANT{}, type});
    std::vector<std::wstring> names;
    for (const text_row& entry : tables.rows)
    {
        names.push_back(*entry[2]);
        EXPECT_EQ(*entry[3], L"TABLE");
    }
    std::sort(names.begin(), names.end());
    EXPECT_EQ(names, (std::vector<std::wstring>{L"child", L"parent"}));

    const rowset_contents keys = open(DBSCHEMA_PRIMARY_KEYS, {VARIANT{}, VARIANT{}, parent});
    ASSERT_EQ(keys.rows.size(), 1u);
    EXPECT_EQ(*keys.rows[0][2], L"parent");
    EXPECT_EQ(*keys.rows[0][3], L"id");
    EXPECT_EQ(*keys.rows[0][6], L"1");

    const rowset_contents indexes =
        open(DBSCHEMA_INDEXES, {VARIANT{}, VARIANT{}, VARIANT{}, VARIANT{}, parent});
    bool found = false;
    for (const text_row& entry : indexes.rows)
    {
        if (entry[5] == std::wstring(L"ix_code"))
        {
            found = true;
            EXPECT_EQ(*entry[7], L"1");
            EXPECT_EQ(*entry[16], L"1");
            EXPECT_EQ(*entry[17], L"code");
        }
    }
    EXPECT_TRUE(found);

    const rowset_contents foreign = open(DBSCHEMA_FOREIGN_KEYS, {VARIANT{}, VARIANT{}, parent});
    ASSERT_EQ(foreign.rows.size(), 1u);
    EXPECT_EQ(*foreign.rows[0][2], L"parent");
    EXPECT_EQ(*foreign.rows[0][3], L"id");
    EXPECT_EQ(*foreign.rows[0][8], L"child");
    EXPECT_EQ(*foreign.rows[0][9], L"pid");
    EXPECT_EQ(*foreign.rows[0][14], L"CASCADE");
}

TEST_F(SqliteDriver, DriverMissingFromUnixOdbcCannotBeCreated)
{
    test_support::scoped_env drivers("ZOV_ODBC_DRIVERS", "No Such Driver");
    plat::oledb::class_table* table = m_table.release();
    std::unique_ptr<plat::oledb::class_table> owner(table);
    owner.reset();
    plat::oledb::class_table fresh;
    plat::oledb::register_providers(fresh);
    void* object = nullptr;
    EXPECT_EQ(CoCreateInstance(CLSID_SQLNCLI11, nullptr, CLSCTX_ALL, IID_IDBInitialize, &object),
              REGDB_E_CLASSNOTREG);
    EXPECT_EQ(object, nullptr);
}

} // namespace
