// oledb_objects_test.cpp: the OLE DB objects over a scripted link: providers, data sources,
// batches walked to their last result, batched reading and schema rowsets.
#include "oledb_fake_link.h"
#include "plat/oledb/odbc_check.h"
#include "plat/oledb/oledb_objects.h"
#include "plat/oledb/oledb_providers.h"
#include "plat/oledb/oledb_rowset.h"
#include "plat/plat_text.h"

#include <cstring>
#include <gtest/gtest.h>
#include <set>

using namespace oledb_test;

namespace
{

template <class I>
com_ref<I> query(IUnknown* object)
{
    void* out = nullptr;
    EXPECT_EQ(object->QueryInterface(I::iid, &out), S_OK);
    return com_ref<I>::attach(static_cast<I*>(out));
}

class ObjectsTest : public testing::Test
{
protected:
    ObjectsTest()
    {
        m_setup.driver_installed = [this](const std::wstring& driver)
        { return m_installed.count(driver) > 0; };
        m_setup.driver_library = [](const std::wstring&) { return std::wstring(); };
        m_setup.make_link = [this](const driver_choice& driver)
        {
            m_drivers_used.push_back(driver);
            return fake_links(m_script)();
        };
    }

    void register_all() { register_providers(m_table, m_setup); }

    // A connected session on the SQLite-like fake.
    com_ref<IOpenRowset> open_session()
    {
        m_installed = {L"FreeTDS"};
        register_all();
        IDBInitialize* raw = nullptr;
        EXPECT_EQ(CoCreateInstance(CLSID_SQLNCLI11, nullptr, CLSCTX_INPROC_SERVER,
                                   IID_IDBInitialize, reinterpret_cast<void**>(&raw)),
                  S_OK);
        com_ref<IDBInitialize> source = com_ref<IDBInitialize>::attach(raw);
        EXPECT_EQ(source->Initialize(), S_OK);
        auto create = query<IDBCreateSession>(source.get());
        IUnknown* session = nullptr;
        EXPECT_EQ(create->CreateSession(nullptr, IID_IOpenRowset, &session), S_OK);
        return com_ref<IOpenRowset>::attach(static_cast<IOpenRowset*>(session));
    }

    HRESULT execute(IOpenRowset* session, const std::wstring& sql, REFIID riid,
                    com_ref<IRowset>& rowset)
    {
        auto create = query<IDBCreateCommand>(session);
        IUnknown* raw = nullptr;
        EXPECT_EQ(create->CreateCommand(nullptr, IID_ICommandText, &raw), S_OK);
        com_ref<ICommandText> text = com_ref<ICommandText>::attach(static_cast<ICommandText*>(raw));
        EXPECT_EQ(text->SetCommandText(DBGUID_DBSQL, sql.c_str()), S_OK);
        IUnknown* result = nullptr;
        const HRESULT hr = text->Execute(nullptr, riid, nullptr, nullptr, &result);
        rowset = com_ref<IRowset>::attach(static_cast<IRowset*>(result));
        return hr;
    }

    plat::oledb::class_table m_table;
    provider_setup m_setup;
    std::set<std::wstring> m_installed;
    std::vector<driver_choice> m_drivers_used;
    std::shared_ptr<fake_script> m_script = std::make_shared<fake_script>();
};

TEST_F(ObjectsTest, EachClassIdGivesItsInterfaceOrClassNotRegistered)
{
    struct class_case
    {
        const CLSID* clsid;
        const IID* iid;
        std::set<std::wstring> installed;
        HRESULT expected;
    };
    const std::vector<class_case> cases = {
        {&CLSID_SQLNCLI11, &IID_IDBInitialize, {L"FreeTDS"}, S_OK},
        {&CLSID_SQLNCLI11, &IID_IDBInitialize, {L"ODBC Driver 17 for SQL Server"}, S_OK},
        {&CLSID_SQLNCLI11, &IID_IDBInitialize, {}, REGDB_E_CLASSNOTREG},
        {&CLSID_SQLNCLI10, &IID_IDBInitialize, {L"FreeTDS"}, S_OK},
        {&CLSID_SQLNCLI10,
         &IID_IDBInitialize,
         {L"ODBC Driver 18 for SQL Server"},
         REGDB_E_CLASSNOTREG},
        {&CLSID_MSDAINITIALIZE, &IID_IDataInitialize, {L"FreeTDS"}, S_OK},
        {&CLSID_MSDAINITIALIZE, &IID_IDataInitialize, {}, REGDB_E_CLASSNOTREG},
        {&CLSID_OLEDB_CONVERSIONLIBRARY, &IID_IDataConvert, {}, S_OK},
        {&DBGUID_DBSQL, &IID_IUnknown, {L"FreeTDS"}, REGDB_E_CLASSNOTREG},
        {&CLSID_SQLNCLI11, &IID_IRowset, {L"FreeTDS"}, E_NOINTERFACE},
    };
    register_all();
    for (const class_case& c : cases)
    {
        SCOPED_TRACE(std::string(plat::wide_to_utf8(guid_to_wstring(*c.clsid))));
        m_installed = c.installed;
        void* object = reinterpret_cast<void*>(1);
        EXPECT_EQ(CoCreateInstance(*c.clsid, nullptr, CLSCTX_ALL, *c.iid, &object), c.expected);
        EXPECT_EQ(object != nullptr, c.expected == S_OK);
        if (object != nullptr)
        {
            static_cast<IUnknown*>(object)->Release();
        }
    }
}

TEST_F(ObjectsTest, NativeClient11TakesTheBestInstalledDriver)
{
    m_installed = {L"FreeTDS", L"ODBC Driver 17 for SQL Server"};
    register_all();
    IDBInitialize* raw = nullptr;
    ASSERT_EQ(CoCreateInstance(CLSID_SQLNCLI11, nullptr, CLSCTX_ALL, IID_IDBInitialize,
                               reinterpret_cast<void**>(&raw)),
              S_OK);
    com_ref<IDBInitialize> source = com_ref<IDBInitialize>::attach(raw);
    auto properties = query<IDBProperties>(source.get());
    DBPROP props[3];
    props[0].dwPropertyID = DBPROP_INIT_DATASOURCE;
    props[0].vValue.vt = VT_BSTR;
    props[0].vValue.bstrVal = L"srv";
    props[1].dwPropertyID = DBPROP_AUTH_USERID;
    props[1].vValue.vt = VT_BSTR;
    props[1].vValue.bstrVal = L"u";
    props[2].dwPropertyID = DBPROP_AUTH_PASSWORD;
    props[2].vValue.vt = VT_BSTR;
    props[2].vValue.bstrVal = L"";
    DBPROPSET set{props, 3, DBPROPSET_DBINIT};
    ASSERT_EQ(properties->SetProperties(1, &set), S_OK);
    ASSERT_EQ(source->Initialize(), S_OK);
    ASSERT_EQ(m_drivers_used.size(), 1u);
    EXPECT_EQ(m_drivers_used[0].name, L"ODBC Driver 17 for SQL Server");
    ASSERT_EQ(m_script->connection_strings.size(), 1u);
    EXPECT_EQ(m_script->connection_strings[0],
              L"Driver={ODBC Driver 17 for SQL Server};Server={srv};UID={u};PWD={};");
    EXPECT_EQ(source->Initialize(), DB_E_ALREADYINITIALIZED);
}

TEST_F(ObjectsTest, UnknownRequiredPropertyIsRefusedWithItsStatus)
{
    m_installed = {L"FreeTDS"};
    register_all();
    IDBInitialize* raw = nullptr;
    ASSERT_EQ(CoCreateInstance(CLSID_SQLNCLI10, nullptr, CLSCTX_ALL, IID_IDBInitialize,
                               reinterpret_cast<void**>(&raw)),
              S_OK);
    com_ref<IDBInitialize> source = com_ref<IDBInitialize>::attach(raw);
    auto properties = query<IDBProperties>(source.get());
    DBPROP props[2];
    props[0].dwPropertyID = DBPROP_INIT_DATASOURCE;
    props[0].vValue.vt = VT_BSTR;
    props[0].vValue.bstrVal = L"srv";
    props[1].dwPropertyID = 0x999;
    DBPROPSET set{props, 2, DBPROPSET_DBINIT};
    EXPECT_EQ(properties->SetProperties(1, &set), DB_E_ERRORSOCCURRED);
    EXPECT_EQ(props[0].dwStatus, DBPROPSTATUS_OK);
    EXPECT_EQ(props[1].dwStatus, DBPROPSTATUS_NOTSUPPORTED);
    EXPECT_NE(last_error_text(), L"<no error object>");
}

TEST_F(ObjectsTest, FastLoadIsRefusedWhileTheProviderHasNone)
{
    com_ref<IOpenRowset> session = open_session();
    IDBInitialize* raw = nullptr;
    ASSERT_EQ(CoCreateInstance(CLSID_SQLNCLI11, nullptr, CLSCTX_ALL, IID_IDBInitialize,
                               reinterpret_cast<void**>(&raw)),
              S_OK);
    com_ref<IDBInitialize> source = com_ref<IDBInitialize>::attach(raw);
    ASSERT_EQ(source->Initialize(), S_OK);
    auto properties = query<IDBProperties>(source.get());
    DBPROP prop;
    prop.dwPropertyID = SSPROP_ENABLEFASTLOAD;
    prop.vValue.vt = VT_BOOL;
    prop.vValue.boolVal = VARIANT_TRUE;
    DBPROPSET set{&prop, 1, DBPROPSET_SQLSERVERDATASOURCE};
    EXPECT_EQ(properties->SetProperties(1, &set), DB_E_ERRORSOCCURRED);
    prop.vValue.boolVal = VARIANT_FALSE;
    EXPECT_EQ(properties->SetProperties(1, &set), S_OK);
}

TEST_F(ObjectsTest, GenericPathParsesTheInitialisationString)
{
    m_installed = {L"FreeTDS"};
    register_all();
    IDataInitialize* raw = nullptr;
    ASSERT_EQ(CoCreateInstance(CLSID_MSDAINITIALIZE, nullptr, CLSCTX_INPROC_SERVER,
                               IID_IDataInitialize, reinterpret_cast<void**>(&raw)),
              S_OK);
    com_ref<IDataInitialize> service = com_ref<IDataInitialize>::attach(raw);
    IUnknown* unknown = nullptr;
    ASSERT_EQ(service->GetDataSource(nullptr, CLSCTX_INPROC_SERVER,
                                     L"Provider=sqloledb;Data Source=h,1500;Initial Catalog=D;"
                                     L"User Id=U;Password=\"p;w\";",
                                     IID_IUnknown, &unknown),
              S_OK);
    com_ref<IUnknown> owner = com_ref<IUnknown>::attach(unknown);
    auto source = query<IDBInitialize>(unknown);
    ASSERT_EQ(source->Initialize(), S_OK);
    ASSERT_EQ(m_script->connection_strings.size(), 1u);
    EXPECT_EQ(m_script->connection_strings[0],
              L"Driver={FreeTDS};Server={h};Port={1500};Database={D};UID={U};PWD={p;w};"
              L"TDS_Version=7.1;ClientCharset=UTF-8;");
    EXPECT_EQ(service->GetDataSource(nullptr, 0, L"Data Source", IID_IUnknown, &unknown),
              E_INVALIDARG);
}

TEST_F(ObjectsTest, RefusedLoginPostsTheDriverRecords)
{
    m_script->connect_status = failure_from_diagnostics(
        {diag_record{L"28000", 18456, L"[FreeTDS][SQL Server]Login failed for user 'u'."}},
        odbc_call::connect, L"FreeTDS");
    m_installed = {L"FreeTDS"};
    register_all();
    IDBInitialize* raw = nullptr;
    ASSERT_EQ(CoCreateInstance(CLSID_SQLNCLI11, nullptr, CLSCTX_ALL, IID_IDBInitialize,
                               reinterpret_cast<void**>(&raw)),
              S_OK);
    com_ref<IDBInitialize> source = com_ref<IDBInitialize>::attach(raw);
    EXPECT_EQ(source->Initialize(), DB_SEC_E_AUTH_FAILED);
    EXPECT_EQ(last_error_text(), L"Login failed for user 'u'.");
}

TEST_F(ObjectsTest, LaterSessionsOpenTheirOwnConnection)
{
    com_ref<IOpenRowset> first = open_session();
    EXPECT_EQ(m_script->links_made, 1);
    IDBInitialize* raw = nullptr;
    ASSERT_EQ(CoCreateInstance(CLSID_SQLNCLI11, nullptr, CLSCTX_ALL, IID_IDBInitialize,
                               reinterpret_cast<void**>(&raw)),
              S_OK);
    com_ref<IDBInitialize> source = com_ref<IDBInitialize>::attach(raw);
    ASSERT_EQ(source->Initialize(), S_OK);
    auto create = query<IDBCreateSession>(source.get());
    for (int session_idx = 0; session_idx < 2; ++session_idx)
    {
        IUnknown* session = nullptr;
        ASSERT_EQ(create->CreateSession(nullptr, IID_IOpenRowset, &session), S_OK);
        session->Release();
    }
    EXPECT_EQ(m_script->links_made, 3);
    EXPECT_EQ(m_script->connection_strings.size(), 3u);
}

TEST_F(ObjectsTest, ErrorInALaterStatementOfABatchSurfaces)
{
    fake_result first;
    fake_result second;
    second.reached = statement_failure(L"23000", L"[drv]Violation of PRIMARY KEY constraint.");
    fake_result third;
    m_script->batches[L"SET A; SET B; INSERT"] = {first, second, third};
    com_ref<IOpenRowset> session = open_session();
    com_ref<IRowset> rowset;
    EXPECT_EQ(execute(session.get(), L"SET A; SET B; INSERT", IID_NULL, rowset),
              DB_E_INTEGRITYVIOLATION);
    EXPECT_EQ(last_error_text(), L"Violation of PRIMARY KEY constraint.");
}

TEST_F(ObjectsTest, RowsetIsTheFirstResultWithColumnsAndTheRestIsDrained)
{
    fake_result count_only;
    fake_result data;
    data.columns = {text_column(L"name")};
    data.rows = {{text(u"a")}, {text(u"b")}};
    fake_result later;
    later.columns = {text_column(L"x")};
    later.rows = {{text(u"1")}};
    m_script->batches[L"batch"] = {count_only, data, later};
    com_ref<IOpenRowset> session = open_session();
    com_ref<IRowset> rowset;
    ASSERT_EQ(execute(session.get(), L"batch", IID_IRowset, rowset), S_OK);
    ASSERT_TRUE(rowset);
    // Two rows plus the end of each of the two results with columns.
    EXPECT_EQ(m_script->fetches, 5);
    HROW handles[5];
    HROW* rows = handles;
    DBCOUNTITEM obtained = 0;
    EXPECT_EQ(rowset->GetNextRows(DB_NULL_HCHAPTER, 0, 5, &obtained, &rows), DB_S_ENDOFROWSET);
    EXPECT_EQ(obtained, 2u);
}

TEST_F(ObjectsTest, BatchWithoutResultSetGivesNoRowset)
{
    com_ref<IOpenRowset> session = open_session();
    com_ref<IRowset> rowset;
    EXPECT_EQ(execute(session.get(), L"CREATE TABLE t(a int)", IID_IRowset, rowset), S_OK);
    EXPECT_FALSE(rowset);
}

TEST_F(ObjectsTest, FetchFailureInsideAResultSurfaces)
{
    fake_result data;
    data.columns = {text_column(L"v")};
    data.rows = {{text(u"1")}, {text(u"2")}};
    data.fail_after_rows = 1;
    data.fetch_failure = statement_failure(L"22003", L"[drv]Arithmetic overflow.");
    m_script->batches[L"q"] = {data};
    com_ref<IOpenRowset> session = open_session();
    com_ref<IRowset> rowset;
    EXPECT_EQ(execute(session.get(), L"q", IID_IRowset, rowset), DB_E_ERRORSINCOMMAND);
    EXPECT_FALSE(rowset);
    EXPECT_EQ(last_error_text(), L"Arithmetic overflow.");
}

TEST_F(ObjectsTest, GetNextRowsHandsOutBatchesAndEndsWithFewerRows)
{
    fake_result data;
    data.columns = {text_column(L"n")};
    for (int row_idx = 1; row_idx <= 12; ++row_idx)
    {
        const std::string number = std::to_string(row_idx);
        data.rows.push_back({text(std::u16string(number.begin(), number.end()))});
    }
    m_script->batches[L"twelve"] = {data};
    com_ref<IOpenRowset> session = open_session();
    com_ref<IRowset> rowset;
    ASSERT_EQ(execute(session.get(), L"twelve", IID_IRowset, rowset), S_OK);
    auto accessor = query<IAccessor>(rowset.get());
    DBBINDING binding{};
    binding.iOrdinal = 1;
    binding.obStatus = 0;
    binding.obLength = 4;
    binding.obValue = 8;
    binding.dwPart = DBPART_VALUE | DBPART_LENGTH | DBPART_STATUS;
    binding.cbMaxLen = 22;
    binding.wType = DBTYPE_WSTR;
    HACCESSOR handle = 0;
    DBBINDSTATUS status = 99;
    ASSERT_EQ(accessor->CreateAccessor(DBACCESSOR_ROWDATA, 1, &binding, 0, &handle, &status), S_OK);
    EXPECT_EQ(status, DBBINDSTATUS_OK);

    struct batch_case
    {
        HRESULT hr;
        DBCOUNTITEM rows;
    };
    const batch_case batches[] = {
        {S_OK, 5}, {S_OK, 5}, {DB_S_ENDOFROWSET, 2}, {DB_S_ENDOFROWSET, 0}};
    std::vector<std::u16string> seen;
    for (const batch_case& expected : batches)
    {
        HROW handles[5] = {};
        HROW* rows = handles;
        DBCOUNTITEM obtained = 99;
        EXPECT_EQ(rowset->GetNextRows(DB_NULL_HCHAPTER, 0, 5, &obtained, &rows), expected.hr);
        ASSERT_EQ(obtained, expected.rows);
        for (DBCOUNTITEM row_idx = 0; row_idx < obtained; ++row_idx)
        {
            std::uint8_t buffer[30] = {};
            EXPECT_EQ(rowset->GetData(handles[row_idx], handle, buffer), S_OK);
            DBLENGTH length = 0;
            std::memcpy(&length, buffer + 4, 4);
            std::u16string value(length / 2, u'\0');
            std::memcpy(value.data(), buffer + 8, length);
            seen.push_back(value);
        }
        EXPECT_EQ(rowset->ReleaseRows(obtained, handles, nullptr, nullptr, nullptr), S_OK);
        if (obtained > 0)
        {
            std::uint8_t buffer[30] = {};
            EXPECT_EQ(rowset->GetData(handles[0], handle, buffer), DB_E_BADROWHANDLE);
        }
    }
    ASSERT_EQ(seen.size(), 12u);
    EXPECT_EQ(seen.front(), u"1");
    EXPECT_EQ(seen.back(), u"12");

    EXPECT_EQ(rowset->RestartPosition(DB_NULL_HCHAPTER), S_OK);
    HROW handles[5] = {};
    HROW* rows = handles;
    DBCOUNTITEM obtained = 0;
    EXPECT_EQ(rowset->GetNextRows(DB_NULL_HCHAPTER, 0, 5, &obtained, &rows), S_OK);
    EXPECT_EQ(obtained, 5u);
    EXPECT_EQ(rowset->ReleaseRows(obtained, handles, nullptr, nullptr, nullptr), S_OK);
    EXPECT_EQ(accessor->ReleaseAccessor(handle, nullptr), S_OK);
    EXPECT_EQ(accessor->ReleaseAccessor(handle, nullptr), DB_E_BADACCESSORHANDLE);
}

TEST_F(ObjectsTest, ColumnInfoKeepsNamesInsideTheArrayBlock)
{
    fake_result data;
    data.columns = {text_column(L"first"), text_column(L"second")};
    m_script->batches[L"cols"] = {data};
    com_ref<IOpenRowset> session = open_session();
    com_ref<IRowset> rowset;
    ASSERT_EQ(execute(session.get(), L"cols", IID_IRowset, rowset), S_OK);
    auto info = query<IColumnsInfo>(rowset.get());
    DBORDINAL count = 0;
    DBCOLUMNINFO* columns = nullptr;
    OLECHAR* strings = reinterpret_cast<OLECHAR*>(1);
    ASSERT_EQ(info->GetColumnInfo(&count, &columns, &strings), S_OK);
    EXPECT_EQ(strings, nullptr);
    ASSERT_EQ(count, 2u);
    EXPECT_EQ(std::wstring(columns[1].pwszName), L"second");
    EXPECT_EQ(columns[1].iOrdinal, 2u);
    EXPECT_EQ(columns[1].wType, DBTYPE_WSTR);
    EXPECT_EQ(columns[1].ulColumnSize, 50u);
    CoTaskMemFree(columns);
}

TEST_F(ObjectsTest, RowsetInfoAnswersSequentialStreams)
{
    com_ref<IRowset> rowset = make_rowset({}, make_materialised_source({}));
    auto info = query<IRowsetInfo>(rowset.get());
    ULONG count = 0;
    DBPROPSET* sets = nullptr;
    ASSERT_EQ(info->GetProperties(0, nullptr, &count, &sets), S_OK);
    ASSERT_EQ(count, 1u);
    ASSERT_EQ(sets[0].cProperties, 2u);
    EXPECT_EQ(sets[0].rgProperties[0].dwPropertyID, DBPROP_ISequentialStream);
    EXPECT_EQ(sets[0].rgProperties[0].vValue.boolVal, VARIANT_TRUE);
    EXPECT_EQ(sets[0].rgProperties[1].dwPropertyID, DBPROP_IStream);
    EXPECT_EQ(sets[0].rgProperties[1].vValue.boolVal, VARIANT_FALSE);
    free_property_sets(count, sets);
}

TEST_F(ObjectsTest, TableRowsetStreamsOnAConnectionOfItsOwn)
{
    fake_result shape;
    shape.columns = {text_column(L"a")};
    fake_result data = shape;
    data.rows = {{text(u"x")}, {text(u"y")}};
    m_script->batches[L"SELECT * FROM [my]]t] WHERE 1=0"] = {shape};
    m_script->batches[L"SELECT * FROM [my]]t]"] = {data};
    com_ref<IOpenRowset> session = open_session();
    std::wstring name = L"my]t";
    DBID table{};
    table.eKind = DBKIND_NAME;
    table.uName.pwszName = name.data();
    IUnknown* raw = nullptr;
    ASSERT_EQ(session->OpenRowset(nullptr, &table, nullptr, IID_IRowset, 0, nullptr, &raw), S_OK);
    com_ref<IRowset> rowset = com_ref<IRowset>::attach(static_cast<IRowset*>(raw));
    EXPECT_EQ(m_script->links_made, 1); // nothing read yet
    for (int pass = 0; pass < 2; ++pass)
    {
        HROW handles[5] = {};
        HROW* rows = handles;
        DBCOUNTITEM obtained = 0;
        EXPECT_EQ(rowset->GetNextRows(DB_NULL_HCHAPTER, 0, 5, &obtained, &rows), DB_S_ENDOFROWSET);
        EXPECT_EQ(obtained, 2u);
        rowset->ReleaseRows(obtained, handles, nullptr, nullptr, nullptr);
        rowset->RestartPosition(DB_NULL_HCHAPTER);
    }
    EXPECT_EQ(m_script->links_made, 2);
    EXPECT_EQ(m_script->executed,
              (std::vector<std::wstring>{L"SELECT * FROM [my]]t] WHERE 1=0",
                                         L"SELECT * FROM [my]]t]", L"SELECT * FROM [my]]t]"}));
}

TEST_F(ObjectsTest, MissingTableFailsAtOpenRowset)
{
    fake_result missing;
    missing.reached = statement_failure(L"42S02", L"[drv]Invalid object name 'nope'.");
    m_script->batches[L"SELECT * FROM [dbo].[nope] WHERE 1=0"] = {missing};
    com_ref<IOpenRowset> session = open_session();
    std::wstring name = L"[dbo].[nope]";
    DBID table{};
    table.eKind = DBKIND_NAME;
    table.uName.pwszName = name.data();
    IUnknown* raw = nullptr;
    EXPECT_EQ(session->OpenRowset(nullptr, &table, nullptr, IID_IRowset, 0, nullptr, &raw),
              DB_E_NOTABLE);
    EXPECT_EQ(raw, nullptr);
    EXPECT_EQ(last_error_text(), L"Invalid object name 'nope'.");
}

} // namespace
