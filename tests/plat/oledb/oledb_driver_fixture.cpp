// oledb_driver_fixture.cpp: registering the real providers and the calls the tests repeat.
#include "oledb_driver_fixture.h"

#include "plat/oledb/odbc_link.h"
#include "plat/plat_text.h"

namespace oledb_test
{

std::wstring error_records_text()
{
    IErrorInfo* info = nullptr;
    if (GetErrorInfo(0, &info) != S_OK)
    {
        return L"<no error object>";
    }
    com_ref<IErrorInfo> owner = com_ref<IErrorInfo>::attach(info);
    IErrorRecords* records_raw = nullptr;
    if (info->QueryInterface(IID_IErrorRecords, reinterpret_cast<void**>(&records_raw)) != S_OK)
    {
        return L"<no records>";
    }
    com_ref<IErrorRecords> records = com_ref<IErrorRecords>::attach(records_raw);
    ULONG count = 0;
    records->GetRecordCount(&count);
    std::wstring text;
    for (ULONG record = 0; record < count; ++record)
    {
        IUnknown* custom = nullptr;
        records->GetCustomErrorObject(record, IID_ISQLErrorInfo, &custom);
        if (custom != nullptr)
        {
            ISQLErrorInfo* sql = nullptr;
            custom->QueryInterface(IID_ISQLErrorInfo, reinterpret_cast<void**>(&sql));
            std::wstring state;
            LONG native = 0;
            sql->GetSQLInfo(&state, &native);
            sql->Release();
            custom->Release();
            text += state + L" ";
        }
        IErrorInfo* entry = nullptr;
        records->GetErrorInfo(record, 0, &entry);
        std::wstring description;
        entry->GetDescription(&description);
        entry->Release();
        text += description + L"\n";
    }
    return text;
}

std::string driver_fixture::use_driver(const std::string& driver)
{
    if (!driver.empty())
    {
        std::shared_ptr<plat::oledb::odbc_environment> environment =
            plat::oledb::make_odbc_environment();
        if (!plat::oledb::odbc_driver_installed(environment, plat::utf8_to_wide_lossy(driver)))
        {
            return "the ODBC driver \"" + driver +
                   "\" is not registered with unixODBC (scripts/setup installs it)";
        }
    }
    m_drivers_env = std::make_unique<test_support::scoped_env>("ZOV_ODBC_DRIVERS", driver);
    m_table = std::make_unique<plat::oledb::class_table>();
    plat::oledb::register_providers(*m_table);
    return {};
}

HRESULT driver_fixture::connect(const std::wstring& server, const std::wstring& user,
                                const std::wstring& password, const std::wstring& catalog,
                                com_ref<IDBInitialize>& source)
{
    IDBInitialize* raw = nullptr;
    HRESULT hr = CoCreateInstance(CLSID_SQLNCLI11, nullptr, CLSCTX_INPROC_SERVER, IID_IDBInitialize,
                                  reinterpret_cast<void**>(&raw));
    if (FAILED(hr))
    {
        return hr;
    }
    source = com_ref<IDBInitialize>::attach(raw);
    IDBProperties* properties = nullptr;
    source->QueryInterface(IID_IDBProperties, reinterpret_cast<void**>(&properties));
    DBPROP props[4];
    ULONG count = 0;
    const auto add = [&](DBPROPID id, const std::wstring& value)
    {
        props[count].dwPropertyID = id;
        props[count].vValue.vt = VT_BSTR;
        props[count].vValue.bstrVal = value;
        ++count;
    };
    add(DBPROP_INIT_DATASOURCE, server);
    if (!user.empty())
    {
        add(DBPROP_AUTH_USERID, user);
        add(DBPROP_AUTH_PASSWORD, password);
    }
    if (!catalog.empty())
    {
        add(DBPROP_INIT_CATALOG, catalog);
    }
    DBPROPSET set{props, count, DBPROPSET_DBINIT};
    hr = properties->SetProperties(1, &set);
    properties->Release();
    return FAILED(hr) ? hr : source->Initialize();
}

com_ref<IOpenRowset> driver_fixture::open_session(IDBInitialize* source)
{
    IDBCreateSession* create = nullptr;
    EXPECT_EQ(source->QueryInterface(IID_IDBCreateSession, reinterpret_cast<void**>(&create)),
              S_OK);
    IUnknown* session = nullptr;
    EXPECT_EQ(create->CreateSession(nullptr, IID_IOpenRowset, &session), S_OK);
    create->Release();
    return com_ref<IOpenRowset>::attach(static_cast<IOpenRowset*>(session));
}

HRESULT driver_fixture::execute(IOpenRowset* session, const std::wstring& sql,
                                com_ref<IRowset>* rowset)
{
    IDBCreateCommand* create = nullptr;
    EXPECT_EQ(session->QueryInterface(IID_IDBCreateCommand, reinterpret_cast<void**>(&create)),
              S_OK);
    IUnknown* command = nullptr;
    EXPECT_EQ(create->CreateCommand(nullptr, IID_ICommand, &command), S_OK);
    create->Release();
    ICommandText* text = nullptr;
    EXPECT_EQ(command->QueryInterface(IID_ICommandText, reinterpret_cast<void**>(&text)), S_OK);
    command->Release();
    EXPECT_EQ(text->SetCommandText(DBGUID_DBSQL, sql.c_str()), S_OK);
    IUnknown* result = nullptr;
    const HRESULT hr = text->Execute(nullptr, rowset != nullptr ? IID_IRowset : IID_NULL, nullptr,
                                     nullptr, rowset != nullptr ? &result : nullptr);
    text->Release();
    if (rowset != nullptr)
    {
        *rowset = com_ref<IRowset>::attach(static_cast<IRowset*>(result));
    }
    return hr;
}

} // namespace oledb_test
