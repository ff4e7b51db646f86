// mss_fast_load_driver_test.cpp: the bulk loader end to end through real drivers: INSERT
// batches over SQLite ODBC and psqlODBC, bulk copy against a SQL Server named by
// ZOV_TEST_MSSQL ("server;user;password"), each read back value by value.
#include "mss/mss_engine.h"
#include "mss/mss_fast_load.h"
#include "mss/mss_seq_stream.h"
#include "mss/odb_command.h"
#include "mss/odb_recordset.h"
#include "plat/oledb/odbc_link.h"
#include "plat/oledb/oledb_providers.h"
#include "plat/plat_text.h"
#include "test_support.h"

#include <cstdlib>
#include <gtest/gtest.h>
#include <unistd.h>

namespace
{

std::string env_text(const char* name)
{
    const char* value = std::getenv(name);
    return value != nullptr ? value : "";
}

struct driver_case
{
    const char* name;
    const char* driver;
};

class FastLoadDriver : public testing::TestWithParam<driver_case>
{
protected:
    void SetUp() override
    {
        const std::string driver = GetParam().driver;
        std::wstring server = plat::utf8_to_wide_lossy(m_dir.file("load.db"));
        std::wstring user;
        std::wstring password;
        std::wstring database;
        if (driver == "PostgreSQL Unicode")
        {
            if (!test_support::pg_server_or_skip("no PostgreSQL test server (scripts/test starts "
                                                 "one)"))
            {
                return;
            }
            server = plat::utf8_to_wide_lossy(
                env_text("PGHOST") + "," +
                (env_text("PGPORT").empty() ? "5432" : env_text("PGPORT")));
            user = plat::utf8_to_wide_lossy(env_text("PGUSER").empty() ? "postgres"
                                                                       : env_text("PGUSER"));
            password = plat::utf8_to_wide_lossy(env_text("PGPASSWORD"));
            database = L"postgres";
        }
        else if (driver == "FreeTDS")
        {
            const std::optional<test_support::mssql_login> login =
                test_support::mssql_login_from_env();
            if (!login)
            {
                GTEST_SKIP() << "ZOV_TEST_MSSQL is unset (\"server;user;password\"): no SQL "
                                "Server to test against";
            }
            server = login->server;
            user = login->user;
            password = login->password;
            database = L"tempdb";
        }
        if (!plat::oledb::odbc_driver_installed(plat::oledb::make_odbc_environment(),
                                                plat::utf8_to_wide_lossy(driver)))
        {
            GTEST_SKIP() << "the ODBC driver \"" << driver
                         << "\" is not registered with unixODBC (scripts/setup installs it)";
        }
        m_drivers = std::make_unique<test_support::scoped_env>("ZOV_ODBC_DRIVERS", driver);
        plat::oledb::register_providers(m_table);
        m_engine.initializer().test_connection(m_source, server, user, password, database);
        ole_com_ptr<IDBProperties> properties;
        odb_check(m_source->QueryInterface(IID_IDBProperties, properties.put_void()));
        DBPROP prop;
        prop.dwPropertyID = SSPROP_ENABLEFASTLOAD;
        prop.vValue.vt = VT_BOOL;
        prop.vValue.boolVal = VARIANT_TRUE;
        DBPROPSET set{&prop, 1, DBPROPSET_SQLSERVERDATASOURCE};
        odb_check(properties->SetProperties(1, &set));
        ole_com_ptr<IDBCreateSession> create;
        odb_check(m_source->QueryInterface(IID_IDBCreateSession, create.put_void()));
        odb_check(create->CreateSession(nullptr, IID_IOpenRowset, m_session.put_unknown()));
        m_table_name = L"zov_load_" + std::to_wstring(getpid());
    }

    void TearDown() override
    {
        if (m_session)
        {
            try
            {
                odb_command(m_session.get()).execute(L"DROP TABLE " + m_table_name);
            }
            catch (const tk_exception&)
            {
            }
        }
    }

    std::vector<std::vector<std::wstring>> read_back(const std::wstring& sql)
    {
        ole_com_ptr<IRowset> rowset;
        odb_command(m_session.get()).execute(sql, rowset.put());
        odb_recordset recordset(rowset.get());
        std::vector<std::vector<std::wstring>> rows;
        for (recordset.reset(); !recordset.is_eof(); recordset.next())
        {
            std::vector<std::wstring> row;
            for (std::size_t column = 0; column < recordset.get_item()->size(); ++column)
            {
                row.push_back((*recordset.get_item())[column]->to_wstring());
            }
            rows.push_back(row);
        }
        return rows;
    }

    test_support::temp_dir m_dir;
    std::unique_ptr<test_support::scoped_env> m_drivers;
    plat::oledb::class_table m_table;
    mss_engine m_engine{true};
    ole_com_ptr<IDBInitialize> m_source;
    ole_com_ptr<IOpenRowset> m_session;
    std::wstring m_table_name;
    udb_schema m_schema;
};

TEST_P(FastLoadDriver, RowsWithNullsTextAndLongValuesArriveInOrder)
{
    odb_command(m_session.get())
        .execute(L"CREATE TABLE " + m_table_name +
                 L" (id INTEGER NOT NULL PRIMARY KEY, name VARCHAR(40), big TEXT)");
    mss_fast_load loader;
    std::wstring name = m_table_name;
    DBID table{};
    table.eKind = DBKIND_NAME;
    table.uName.pwszName = name.data();
    ASSERT_NO_THROW(loader.open_table(m_session.get(), &table, m_schema, mss_target{}));
    const std::string long_text(9000, 'L');
    const int rows = 2500;
    for (std::int32_t id = 1; id <= rows; ++id)
    {
        ASSERT_TRUE(loader.bind_data2(&id, 4, 1));
        const std::string text = id % 7 == 0 ? std::string() : "név " + std::to_string(id);
        const bool is_text_slot = loader.accessor().binding(1).wType == DBTYPE_STR;
        const std::u16string wide = plat::wide_to_utf16(plat::utf8_to_wide_lossy(text));
        if (text.empty())
        {
            ASSERT_TRUE(loader.bind_data2(nullptr, 0, 2));
        }
        else if (is_text_slot)
        {
            ASSERT_TRUE(loader.bind_data2(text.data(), static_cast<std::uint32_t>(text.size()), 2));
        }
        else
        {
            ASSERT_TRUE(
                loader.bind_data2(wide.data(), static_cast<std::uint32_t>(wide.size() * 2), 2));
        }
        ASSERT_TRUE(loader.accessor().is_stream(2));
        CSeqStream* stream = CSeqStream::create();
        if (loader.accessor().column(2).wType == DBTYPE_STR)
        {
            stream->Write(long_text.data(), static_cast<ULONG>(long_text.size()), nullptr);
        }
        else
        {
            const std::u16string wide_long(long_text.begin(), long_text.end());
            stream->Write(wide_long.data(), static_cast<ULONG>(wide_long.size() * 2), nullptr);
        }
        ASSERT_TRUE(loader.bind_data3(&stream, sizeof stream, stream->size(), 3));
        loader.insert_data();
    }
    loader.close_table();
    const auto counted = read_back(L"SELECT COUNT(*), SUM(id), COUNT(name) FROM " + m_table_name);
    ASSERT_EQ(counted.size(), 1u);
    EXPECT_EQ(counted[0], (std::vector<std::wstring>{L"2500", L"3126250", L"2143"}));
    const auto sample = read_back(L"SELECT id, name, big FROM " + m_table_name +
                                  L" WHERE id IN (1, 7, 2500) ORDER BY id");
    ASSERT_EQ(sample.size(), 3u);
    EXPECT_EQ(sample[0][1], L"név 1");
    EXPECT_EQ(sample[1][1], L"");
    EXPECT_EQ(sample[2][1], L"név 2500");
    EXPECT_EQ(sample[2][2], std::wstring(9000, L'L'));
}

// Values of megabytes handed to their streams whole (a text with characters beyond U+FFFF, one
// of them across the edge of the first megabyte piece, and bytes of every value): the loader
// takes them over, leaving the streams empty, and both read back exactly.
TEST_P(FastLoadDriver, ValuesOfMegabytesHandedToStreamsArriveExactly)
{
    if (std::string(GetParam().driver) != "FreeTDS")
    {
        GTEST_SKIP() << "values sent apart from an INSERT in pieces are the SQL Server path";
    }
    odb_command(m_session.get())
        .execute(L"CREATE TABLE " + m_table_name +
                 L" (id INTEGER NOT NULL PRIMARY KEY, t NVARCHAR(MAX), b VARBINARY(MAX))");
    mss_fast_load loader;
    std::wstring name = m_table_name;
    DBID table{};
    table.eKind = DBKIND_NAME;
    table.uName.pwszName = name.data();
    ASSERT_NO_THROW(loader.open_table(m_session.get(), &table, m_schema, mss_target{}));
    ASSERT_TRUE(loader.accessor().is_stream(1));
    ASSERT_TRUE(loader.accessor().is_stream(2));
    std::u16string text;
    while (text.size() < 600000)
    {
        text += u"ab'?\u00e9\u65e5\U0001F600-";
    }
    text[524286] = u'x';
    text[524287] = 0xD83D;
    text[524288] = 0xDE00;
    std::vector<std::uint8_t> bytes(1100001);
    for (std::size_t byte_idx = 0; byte_idx < bytes.size(); ++byte_idx)
    {
        bytes[byte_idx] = static_cast<std::uint8_t>(byte_idx * 131 + byte_idx / 256);
    }
    const std::int32_t id = 1;
    ASSERT_TRUE(loader.bind_data2(&id, 4, 1));
    CSeqStream* text_stream = CSeqStream::create();
    text_stream->hold(std::u16string(text));
    CSeqStream* bytes_stream = CSeqStream::create();
    bytes_stream->hold(std::vector<std::uint8_t>(bytes));
    // Kept to look at after the row: the loader releases the row's references.
    text_stream->AddRef();
    bytes_stream->AddRef();
    ASSERT_TRUE(loader.bind_data3(&text_stream, sizeof text_stream, text_stream->size(), 2));
    ASSERT_TRUE(loader.bind_data3(&bytes_stream, sizeof bytes_stream, bytes_stream->size(), 3));
    loader.insert_data();
    EXPECT_EQ(text_stream->size(), 0u);
    EXPECT_EQ(bytes_stream->size(), 0u);
    text_stream->Release();
    bytes_stream->Release();
    loader.close_table();
    const auto back = read_back(L"SELECT id, t FROM " + m_table_name);
    ASSERT_EQ(back.size(), 1u);
    EXPECT_EQ(back[0][0], L"1");
    EXPECT_TRUE(back[0][1] == plat::utf16_to_wide(text));
    ole_com_ptr<IRowset> rowset;
    odb_command(m_session.get()).execute(L"SELECT b FROM " + m_table_name, rowset.put());
    odb_recordset recordset(rowset.get());
    recordset.reset();
    ASSERT_FALSE(recordset.is_eof());
    const std::uint8_t* data = nullptr;
    const std::size_t size = (*recordset.get_item())[0]->get_bytes(data);
    EXPECT_EQ(size, bytes.size());
    EXPECT_TRUE(std::vector<std::uint8_t>(data, data + size) == bytes);
}

TEST_P(FastLoadDriver, DuplicateKeyInABatchIsReportedWithTheRowsToReplay)
{
    odb_command(m_session.get())
        .execute(L"CREATE TABLE " + m_table_name + L" (id INTEGER NOT NULL PRIMARY KEY)");
    mss_fast_load loader;
    std::wstring name = m_table_name;
    DBID table{};
    table.eKind = DBKIND_NAME;
    table.uName.pwszName = name.data();
    ASSERT_NO_THROW(loader.open_table(m_session.get(), &table, m_schema, mss_target{}));
    std::uint32_t replay = 0;
    for (std::int32_t row = 1; row <= 1000; ++row)
    {
        const std::int32_t id = row == 500 ? 499 : row;
        ASSERT_TRUE(loader.bind_data2(&id, 4, 1));
        try
        {
            loader.insert_data();
        }
        catch (const mss_fast_load_exception& failure)
        {
            // The SQLite driver reports constraint failures without SQLSTATE 23000.
            if (std::string(GetParam().driver) != "SQLite3")
            {
                EXPECT_EQ(failure.code(), 0x80E2F) << failure.what();
            }
            replay = failure.rows_to_replay();
        }
    }
    EXPECT_GT(replay, 0u);
    const std::int32_t after = 2000;
    ASSERT_TRUE(loader.bind_data2(&after, 4, 1));
    loader.insert_data();
    loader.close_table();
    const auto counted = read_back(L"SELECT COUNT(*) FROM " + m_table_name);
    EXPECT_EQ(counted[0][0], std::to_wstring(1000 - replay + 1));
}

INSTANTIATE_TEST_SUITE_P(Drivers, FastLoadDriver,
                         testing::Values(driver_case{"Sqlite", "SQLite3"},
                                         driver_case{"Postgres", "PostgreSQL Unicode"},
                                         driver_case{"SqlServer", "FreeTDS"}),
                         [](const testing::TestParamInfo<driver_case>& param_info)
                         { return std::string(param_info.param.name); });

} // namespace
