// oledb_pg_test.cpp: the stand-in over psqlODBC against the test PostgreSQL server: SQLSTATEs of
// a real server, errors in later statements of a batch, value texts and catalog rowsets.
#include "oledb_driver_fixture.h"
#include "plat/plat_text.h"
#include "test_support.h"

#include <atomic>
#include <cstdlib>
#include <unistd.h>

using namespace oledb_test;

namespace
{

std::string env_text(const char* name)
{
    const char* value = std::getenv(name);
    return value != nullptr ? value : "";
}

std::atomic<int> g_schema_counter{0};

class PostgresDriver : public driver_fixture
{
protected:
    void SetUp() override
    {
        if (!test_support::pg_server_or_skip("no PostgreSQL test server (scripts/test starts one)"))
        {
            return;
        }
        OLEDB_USE_DRIVER_OR_SKIP("PostgreSQL Unicode");
        m_server = plat::utf8_to_wide_lossy(
            env_text("PGHOST") + "," + (env_text("PGPORT").empty() ? "5432" : env_text("PGPORT")));
        m_user =
            plat::utf8_to_wide_lossy(env_text("PGUSER").empty() ? "postgres" : env_text("PGUSER"));
        m_password = plat::utf8_to_wide_lossy(env_text("PGPASSWORD"));
        ASSERT_EQ(connect(m_server, m_user, m_password, L"postgres", m_source), S_OK)
            << plat::wide_to_utf8(error_records_text());
        m_session = open_session(m_source.get());
        m_schema =
            L"zov_oledb_" + std::to_wstring(getpid()) + L"_" + std::to_wstring(g_schema_counter++);
        run(L"CREATE SCHEMA " + m_schema);
    }

    void TearDown() override
    {
        if (m_session)
        {
            execute(m_session.get(), L"DROP SCHEMA " + m_schema + L" CASCADE", nullptr);
        }
    }

    void run(const std::wstring& sql)
    {
        ASSERT_EQ(execute(m_session.get(), sql, nullptr), S_OK)
            << plat::wide_to_utf8(sql) << "\n"
            << plat::wide_to_utf8(error_records_text());
    }

    rowset_contents query(const std::wstring& sql)
    {
        com_ref<IRowset> rowset;
        EXPECT_EQ(execute(m_session.get(), sql, &rowset), S_OK)
            << plat::wide_to_utf8(error_records_text());
        return rowset ? read_rowset(rowset.get()) : rowset_contents{};
    }

    std::wstring m_server;
    std::wstring m_user;
    std::wstring m_password;
    std::wstring m_schema;
    com_ref<IDBInitialize> m_source;
    com_ref<IOpenRowset> m_session;
};

TEST_F(PostgresDriver, DuplicateKeyInALaterStatementIsAnIntegrityViolation)
{
    const std::wstring table = m_schema + L".t";
    EXPECT_EQ(execute(m_session.get(),
                      L"CREATE TABLE " + table + L" (id INTEGER PRIMARY KEY); INSERT INTO " +
                          table + L" VALUES (1); INSERT INTO " + table + L" VALUES (1)",
                      nullptr),
              DB_E_INTEGRITYVIOLATION);
    const std::wstring records = error_records_text();
    EXPECT_EQ(records.rfind(L"23505 ERROR: duplicate key value violates unique constraint", 0), 0u)
        << plat::wide_to_utf8(records);
}

TEST_F(PostgresDriver, MissingTableIsNoTable)
{
    EXPECT_EQ(execute(m_session.get(), L"SELECT * FROM " + m_schema + L".missing", nullptr),
              DB_E_NOTABLE);
    EXPECT_EQ(error_records_text().rfind(L"42P01 ", 0), 0u);
}

TEST_F(PostgresDriver, WrongPasswordFailsTheConnection)
{
    com_ref<IDBInitialize> source;
    EXPECT_EQ(connect(m_server, m_user, m_password + L"x;Database=other", L"postgres", source),
              E_FAIL);
    EXPECT_NE(error_records_text().find(L"password authentication failed"), std::wstring::npos);
}

TEST_F(PostgresDriver, ValuesReadInTheLayersTextForms)
{
    const std::wstring table = m_schema + L".v";
    run(L"CREATE TABLE " + table +
        L" (id INTEGER, name VARCHAR(20), amount NUMERIC(10,2), stamp TIMESTAMP, "
        L"flag BOOLEAN, ident UUID, data BYTEA, ratio DOUBLE PRECISION)");
    run(L"INSERT INTO " + table +
        L" SELECT n, 'név ' || n, n + 0.25, TIMESTAMP '2024-02-29 13:14:15.6789', n % 2 = 0, "
        L"'a0eebc99-9c0b-4ef8-bb6d-6bb9bd380a11', '\\x0102'::bytea, 0.1 "
        L"FROM generate_series(1, 12) AS n");
    const rowset_contents contents = query(L"SELECT * FROM " + table + L" ORDER BY id");
    EXPECT_EQ(contents.batches, (std::vector<DBCOUNTITEM>{5, 5, 2}));
    ASSERT_EQ(contents.rows.size(), 12u);
    const text_row& last = contents.rows[11];
    EXPECT_EQ(*last[0], L"12");
    EXPECT_EQ(*last[1], L"név 12");
    EXPECT_EQ(*last[2], L"12.25");
    EXPECT_EQ(*last[3], L"2024-02-29 13:14:15.678");
    EXPECT_EQ(*last[5], L"{A0EEBC99-9C0B-4EF8-BB6D-6BB9BD380A11}");
    EXPECT_EQ(*last[6], L"0102");
    EXPECT_EQ(*last[7], L"0.1");
    EXPECT_EQ(contents.types[0], DBTYPE_I4);
    EXPECT_EQ(contents.types[2], DBTYPE_NUMERIC);
    EXPECT_EQ(contents.types[3], DBTYPE_DBTIMESTAMP);
    EXPECT_EQ(contents.types[5], DBTYPE_GUID);
    EXPECT_EQ(contents.types[6], DBTYPE_BYTES);
    EXPECT_EQ(contents.types[7], DBTYPE_R8);
}

TEST_F(PostgresDriver, ForeignKeyRulesComeFromTheCatalog)
{
    run(L"CREATE TABLE " + m_schema + L".parent (id INTEGER PRIMARY KEY, code VARCHAR(5))");
    run(L"CREATE UNIQUE INDEX ix_code ON " + m_schema + L".parent (code)");
    run(L"CREATE TABLE " + m_schema + L".child (cid INTEGER PRIMARY KEY, pid INTEGER, " +
        L"CONSTRAINT fk_child FOREIGN KEY (pid) REFERENCES " + m_schema +
        L".parent (id) ON UPDATE CASCADE ON DELETE SET NULL)");
    IDBSchemaRowset* schema_raw = nullptr;
    ASSERT_EQ(m_session->QueryInterface(IID_IDBSchemaRowset, reinterpret_cast<void**>(&schema_raw)),
              S_OK);
    com_ref<IDBSchemaRowset> schema = com_ref<IDBSchemaRowset>::attach(schema_raw);
    VARIANT owner;
    owner.vt = VT_BSTR;
    owner.bstrVal = m_schema;
    VARIANT parent;
    parent.vt = VT_BSTR;
    parent.bstrVal = L"parent";
    VARIANT type;
    type.vt = VT_BSTR;
    type.bstrVal = L"TABLE";
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

    const rowset_contents tables = open(DBSCHEMA_TABLES, {VARIANT{}, owner, VARIANT{}, type});
    ASSERT_EQ(tables.rows.size(), 2u);
    EXPECT_EQ(*tables.rows[0][2], L"child");
    EXPECT_EQ(*tables.rows[1][2], L"parent");

    const rowset_contents keys = open(DBSCHEMA_PRIMARY_KEYS, {VARIANT{}, owner, parent});
    ASSERT_EQ(keys.rows.size(), 1u);
    EXPECT_EQ(*keys.rows[0][3], L"id");
    EXPECT_EQ(*keys.rows[0][7], L"parent_pkey");

    const rowset_contents indexes =
        open(DBSCHEMA_INDEXES, {VARIANT{}, owner, VARIANT{}, VARIANT{}, parent});
    ASSERT_EQ(indexes.rows.size(), 2u);
    for (const text_row& entry : indexes.rows)
    {
        const bool is_key = *entry[5] == L"parent_pkey";
        EXPECT_EQ(*entry[6], is_key ? L"1" : L"0") << plat::wide_to_utf8(*entry[5]);
        EXPECT_EQ(*entry[7], L"1");
        EXPECT_EQ(*entry[17], is_key ? L"id" : L"code");
    }

    const rowset_contents foreign = open(DBSCHEMA_FOREIGN_KEYS, {VARIANT{}, owner, parent});
    ASSERT_EQ(foreign.rows.size(), 1u);
    const text_row& key = foreign.rows[0];
    EXPECT_EQ(*key[2], L"parent");
    EXPECT_EQ(*key[3], L"id");
    EXPECT_EQ(*key[8], L"child");
    EXPECT_EQ(*key[9], L"pid");
    EXPECT_EQ(*key[13], L"CASCADE");
    EXPECT_EQ(*key[14], L"SET NULL");
    EXPECT_EQ(*key[16], L"fk_child");
}

TEST_F(PostgresDriver, TableRowsetStreamsWhileTheSessionWrites)
{
    const std::wstring table = m_schema + L".s";
    run(L"CREATE TABLE " + table + L" (id INTEGER)");
    run(L"INSERT INTO " + table + L" SELECT n FROM generate_series(1, 7) AS n");
    std::wstring name = L"\"" + m_schema + L"\".\"s\"";
    DBID id{};
    id.eKind = DBKIND_NAME;
    id.uName.pwszName = name.data();
    IUnknown* raw = nullptr;
    ASSERT_EQ(m_session->OpenRowset(nullptr, &id, nullptr, IID_IRowset, 0, nullptr, &raw), S_OK)
        << plat::wide_to_utf8(error_records_text());
    com_ref<IRowset> rowset = com_ref<IRowset>::attach(static_cast<IRowset*>(raw));
    HROW handles[5] = {};
    HROW* rows = handles;
    DBCOUNTITEM obtained = 0;
    ASSERT_EQ(rowset->GetNextRows(DB_NULL_HCHAPTER, 0, 5, &obtained, &rows), S_OK);
    rowset->ReleaseRows(obtained, handles, nullptr, nullptr, nullptr);
    run(L"INSERT INTO " + table + L" VALUES (8)");
    EXPECT_EQ(*query(L"SELECT COUNT(*) FROM " + table).rows.at(0).at(0), L"8");
    rowset.reset();
}

} // namespace
