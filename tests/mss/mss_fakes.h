// mss_fakes.h: a data source that accepts every property and connects, for tests that need a
// Native Client connection without a server.
#pragma once

#include "mss/mss_engine.h"
#include "plat/oledb/oledb_com.h"
#include "plat/oledb/oledb_interfaces.h"

namespace mss_test
{

class accepting_data_source final : public plat::oledb::com_object<IDBInitialize, IDBProperties>
{
public:
    HRESULT Initialize() override { return S_OK; }
    HRESULT Uninitialize() override { return S_OK; }
    HRESULT GetProperties(ULONG, const DBPROPIDSET[], ULONG*, DBPROPSET**) override
    {
        return E_NOTIMPL;
    }
    HRESULT SetProperties(ULONG, DBPROPSET[]) override { return S_OK; }
};

/// Connects the engine's initialiser through a fake Native Client 11.0 and marks the engine
/// connected, so is_native_client() answers true.
inline void connect_native(mss_engine& engine)
{
    plat::oledb::class_table table;
    table.register_class(
        CLSID_SQLNCLI11, [](REFIID riid, void** object)
        { return plat::oledb::make_com<accepting_data_source>()->QueryInterface(riid, object); });
    ole_com_ptr<IDBInitialize> source;
    engine.initializer().test_connection(source, L"S", L"U", L"P", L"");
    engine.set_connected(true);
}

} // namespace mss_test
