// odb_initializer.cpp: the provider order, the DBINIT property set and the generic string.
#include "mss/odb_initializer.h"

#include "mss/odb_exception.h"
#include "plat/oledb/oledb_connstr.h"
#include "tk/tk_logger.h"

#include <vector>

odb_initializer::odb_initializer()
{
    tk_log(1, "odb_initializer::ctor");
}

void odb_initializer::test_connection(ole_com_ptr<IDBInitialize>& source,
                                      const std::wstring& server, const std::wstring& user,
                                      const std::wstring& password, const std::wstring& database)
{
    tk_wlog(1, L"odb_initializer::test_connection(%s,%s,%s,%s)", server, user, password, database);
    if (test_native_connection(source, CLSID_SQLNCLI11, server, user, password, database))
    {
        tk_log(1, "CLSID_SQLNCLI11 succeeded");
        m_native_client = true;
        return;
    }
    if (test_native_connection(source, CLSID_SQLNCLI10, server, user, password, database))
    {
        tk_log(1, "CLSID_SQLNCLI10 succeeded");
        m_native_client = true;
        return;
    }
    if (!test_generic_connection(source, make_init_string(server, user, password, database)))
    {
        throw tk_exception(std::string("Failed to load OLE DB support library. You should "
                                       "install it\r\nto proceed with the application.\r\n"),
                           tk_severity::ends_run);
    }
    m_native_client = false;
}

bool odb_initializer::test_native_connection(ole_com_ptr<IDBInitialize>& source,
                                             const CLSID& provider, const std::wstring& server,
                                             const std::wstring& user, const std::wstring& password,
                                             const std::wstring& database)
{
    tk_log(1, "odb_initializer::test_native_connection");
    if (odb_refused(CoCreateInstance(provider, nullptr, CLSCTX_INPROC_SERVER, IID_IDBInitialize,
                                     source.put_void())))
    {
        tk_log(1, "CoCreateInstance failed");
        return false;
    }
    tk_log(1, "SQLNCLI1X initialization SUCCEEDED!");
    std::vector<DBPROP> props;
    const auto add = [&props](DBPROPID id, const std::wstring& value)
    {
        DBPROP prop;
        prop.dwPropertyID = id;
        prop.dwOptions = DBPROPOPTIONS_REQUIRED;
        prop.colid.eKind = DBKIND_NAME;
        prop.vValue.vt = VT_BSTR;
        prop.vValue.bstrVal = value;
        props.push_back(std::move(prop));
    };
    add(DBPROP_INIT_DATASOURCE, server);
    if (!user.empty())
    {
        add(DBPROP_AUTH_USERID, user);
        add(DBPROP_AUTH_PASSWORD, password);
    }
    else
    {
        add(DBPROP_AUTH_INTEGRATED, L"SSPI");
    }
    if (!database.empty())
    {
        add(DBPROP_INIT_CATALOG, database);
    }
    DBPROPSET set{props.data(), static_cast<ULONG>(props.size()), DBPROPSET_DBINIT};
    {
        ole_com_ptr<IDBProperties> properties;
        odb_check(source->QueryInterface(IID_IDBProperties, properties.put_void()));
        odb_check(properties->SetProperties(1, &set));
    }
    odb_check(source->Initialize(), odb_exception::connection_failure);
    return true;
}

bool odb_initializer::test_generic_connection(ole_com_ptr<IDBInitialize>& source,
                                              const std::wstring& init_string)
{
    tk_wlog(1, L"odb_initializer::test_generic_connection(%s)", init_string);
    ole_com_ptr<IDataInitialize> service;
    const HRESULT hr = CoCreateInstance(CLSID_MSDAINITIALIZE, nullptr, CLSCTX_INPROC_SERVER,
                                        IID_IDataInitialize, service.put_void());
    if (odb_refused(hr))
    {
        tk_log(2, "Failed to initialize CLSID_MSDAINITIALIZE: %08X", hr);
        return false;
    }
    ole_com_ptr<IUnknown> unknown;
    odb_check(service->GetDataSource(nullptr, CLSCTX_INPROC_SERVER, init_string.c_str(),
                                     IID_IUnknown, unknown.put()));
    odb_check(unknown->QueryInterface(IID_IDBInitialize, source.put_void()));
    odb_check(source->Initialize(), odb_exception::connection_failure);
    return true;
}

std::wstring odb_initializer::make_init_string(const std::wstring& server, const std::wstring& user,
                                               const std::wstring& password,
                                               const std::wstring& database)
{
    using plat::oledb::quote_init_value;
    std::wstring text = L"Provider=sqloledb;Data Source=" + quote_init_value(server);
    if (!database.empty())
    {
        text += L";Initial Catalog=" + quote_init_value(database);
    }
    if (!user.empty())
    {
        text += L";User Id=" + quote_init_value(user) + L";Password=" + quote_init_value(password) +
                L";";
    }
    else
    {
        text += L";Integrated Security=SSPI;";
    }
    return text;
}
