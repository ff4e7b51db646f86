// odb_initializer_test.cpp: the provider order, the property set and the generic string, over
// fake providers entered in the class table.
#include "mss/odb_exception.h"
#include "mss/odb_initializer.h"
#include "plat/oledb/oledb_error.h"

#include <gtest/gtest.h>
#include <map>

namespace
{

using plat::oledb::com_object;
using plat::oledb::make_com;

// What the fakes saw, in order: "create <provider>", "set <id>=<value>", "initialize",
// "string <text>".
struct fake_world
{
    std::vector<std::wstring> calls;
    std::map<std::wstring, HRESULT> initialize_results;
};

class fake_data_source final : public com_object<IDBInitialize, IDBProperties>
{
public:
    fake_data_source(fake_world& world, std::wstring provider)
        : m_world(world)
        , m_provider(std::move(provider))
    {
    }

    HRESULT Initialize() override
    {
        m_world.calls.push_back(L"initialize " + m_provider);
        const HRESULT hr = m_world.initialize_results[m_provider];
        if (FAILED(hr))
        {
            plat::oledb::post_layer_error(hr, L"Login failed for user 'u'.");
        }
        return hr;
    }
    HRESULT Uninitialize() override { return S_OK; }
    HRESULT GetProperties(ULONG, const DBPROPIDSET[], ULONG*, DBPROPSET**) override
    {
        return E_NOTIMPL;
    }
    HRESULT SetProperties(ULONG set_count, DBPROPSET sets[]) override
    {
        for (ULONG set_idx = 0; set_idx < set_count; ++set_idx)
        {
            EXPECT_EQ(sets[set_idx].guidPropertySet, DBPROPSET_DBINIT);
            for (ULONG prop_idx = 0; prop_idx < sets[set_idx].cProperties; ++prop_idx)
            {
                const DBPROP& prop = sets[set_idx].rgProperties[prop_idx];
                EXPECT_EQ(prop.dwOptions, DBPROPOPTIONS_REQUIRED);
                EXPECT_EQ(prop.vValue.vt, VT_BSTR);
                m_world.calls.push_back(L"set " + std::to_wstring(prop.dwPropertyID) + L"=" +
                                        prop.vValue.bstrVal);
            }
        }
        return S_OK;
    }

private:
    fake_world& m_world;
    std::wstring m_provider;
};

class fake_data_initialize final : public com_object<IDataInitialize>
{
public:
    explicit fake_data_initialize(fake_world& world)
        : m_world(world)
    {
    }

    HRESULT GetDataSource(IUnknown*, DWORD, LPCOLESTR init_string, REFIID riid,
                          IUnknown** data_source) override
    {
        m_world.calls.push_back(L"string " + std::wstring(init_string));
        auto source = make_com<fake_data_source>(m_world, L"sqloledb");
        return source->QueryInterface(riid, reinterpret_cast<void**>(data_source));
    }

private:
    fake_world& m_world;
};

class OdbInitializer : public testing::Test
{
protected:
    void install(const CLSID& clsid, const std::wstring& provider)
    {
        m_table.register_class(
            clsid,
            [this, provider](REFIID riid, void** object)
            {
                m_world.calls.push_back(L"create " + provider);
                return make_com<fake_data_source>(m_world, provider)->QueryInterface(riid, object);
            });
    }
    void install_generic()
    {
        m_table.register_class(
            CLSID_MSDAINITIALIZE, [this](REFIID riid, void** object)
            { return make_com<fake_data_initialize>(m_world)->QueryInterface(riid, object); });
    }

    plat::oledb::class_table m_table;
    fake_world m_world;
    odb_initializer m_initializer;
    ole_com_ptr<IDBInitialize> m_source;
};

TEST_F(OdbInitializer, NativeClient11SuccessStopsThere)
{
    install(CLSID_SQLNCLI11, L"nc11");
    install(CLSID_SQLNCLI10, L"nc10");
    m_initializer.test_connection(m_source, L"S", L"U", L"P", L"D");
    EXPECT_TRUE(m_initializer.native_client());
    EXPECT_TRUE(m_source);
    EXPECT_EQ(m_world.calls,
              (std::vector<std::wstring>{L"create nc11", L"set 59=S", L"set 12=U", L"set 9=P",
                                         L"set 233=D", L"initialize nc11"}));
}

TEST_F(OdbInitializer, WindowsAuthenticationSendsIntegratedAndAnEmptyPasswordIsSent)
{
    install(CLSID_SQLNCLI10, L"nc10");
    m_initializer.test_connection(m_source, L"S", L"", L"ignored", L"");
    EXPECT_EQ(m_world.calls, (std::vector<std::wstring>{L"create nc10", L"set 59=S", L"set 7=SSPI",
                                                        L"initialize nc10"}));
    m_world.calls.clear();
    m_initializer.test_connection(m_source, L"S", L"U", L"", L"");
    EXPECT_EQ(m_world.calls, (std::vector<std::wstring>{L"create nc10", L"set 59=S", L"set 12=U",
                                                        L"set 9=", L"initialize nc10"}));
}

TEST_F(OdbInitializer, NativeRefusalThrowsAndTriesNothingElse)
{
    install(CLSID_SQLNCLI11, L"nc11");
    install(CLSID_SQLNCLI10, L"nc10");
    install_generic();
    m_world.initialize_results[L"nc11"] = DB_SEC_E_AUTH_FAILED;
    try
    {
        m_initializer.test_connection(m_source, L"S", L"U", L"bad", L"");
        FAIL() << "no exception";
    }
    catch (const odb_exception& error)
    {
        EXPECT_EQ(error.code(), 0x80E4D);
        EXPECT_STREQ(error.what(), "Login failed for user 'u'.");
    }
    EXPECT_FALSE(m_initializer.native_client());
    EXPECT_EQ(m_world.calls.back(), L"initialize nc11");
    EXPECT_EQ(std::count_if(m_world.calls.begin(), m_world.calls.end(),
                            [](const std::wstring& call) { return call.starts_with(L"create"); }),
              1);
}

TEST_F(OdbInitializer, WithoutNativeClientTheGenericStringIsUsed)
{
    install_generic();
    m_initializer.test_connection(m_source, L"S", L"U", L"P", L"D");
    EXPECT_FALSE(m_initializer.native_client());
    m_initializer.test_connection(m_source, L"S", L"", L"", L"");
    EXPECT_EQ(m_world.calls,
              (std::vector<std::wstring>{
                  L"string Provider=sqloledb;Data Source=S;Initial Catalog=D;User Id=U;Password=P;",
                  L"initialize sqloledb",
                  L"string Provider=sqloledb;Data Source=S;Integrated Security=SSPI;",
                  L"initialize sqloledb"}));
}

TEST_F(OdbInitializer, GenericStringQuotesValuesThatWouldInjectKeywords)
{
    EXPECT_EQ(odb_initializer::make_init_string(L"S", L"U", L"x;Integrated Security=SSPI", L""),
              L"Provider=sqloledb;Data Source=S;User Id=U;"
              L"Password=\"x;Integrated Security=SSPI\";");
    EXPECT_EQ(odb_initializer::make_init_string(L"S", L"U", L"", L""),
              L"Provider=sqloledb;Data Source=S;User Id=U;Password=;");
}

TEST_F(OdbInitializer, NothingInstalledIsASeverityOneError)
{
    try
    {
        m_initializer.test_connection(m_source, L"S", L"U", L"P", L"");
        FAIL() << "no exception";
    }
    catch (const odb_exception&)
    {
        FAIL() << "odb_exception";
    }
    catch (const tk_exception& error)
    {
        EXPECT_EQ(error.severity(), 1);
        EXPECT_STREQ(error.what(), "Failed to load OLE DB support library. You should install "
                                   "it\r\nto proceed with the application.\r\n");
    }
}

} // namespace
