// oledb_data_source.cpp: the data source: initialisation properties, connecting, the fast-load
// switch and sessions.
#include "plat/oledb/oledb_error.h"
#include "plat/oledb/oledb_objects.h"

#include <cstdlib>
#include <new>

namespace plat::oledb
{
namespace
{

class data_source final : public com_object<IDBInitialize, IDBProperties, IDBCreateSession>
{
public:
    data_source(std::shared_ptr<const provider_context> provider, const connection_settings* preset)
        : m_provider(std::move(provider))
    {
        if (preset != nullptr)
        {
            m_settings = *preset;
        }
    }

    HRESULT Initialize() override
    {
        clear_errors();
        if (m_context)
        {
            return post_layer_error(DB_E_ALREADYINITIALIZED,
                                    L"The data source is already initialised.");
        }
        std::wstring error;
        const std::optional<std::wstring> connection_string = build_connection_string(
            m_provider->driver, m_settings, m_provider->extra_keywords, error);
        if (!connection_string)
        {
            return post_layer_error(E_FAIL, error);
        }
        std::unique_ptr<link> connection = m_provider->make_link();
        link_status status = connection->connect(*connection_string);
        if (!status.ok())
        {
            post_errors(std::move(status.records));
            return status.hr;
        }
        m_first_link = std::move(connection);
        m_context = std::make_shared<const session_context>(
            session_context{m_provider, *connection_string});
        return S_OK;
    }

    HRESULT Uninitialize() override
    {
        clear_errors();
        m_first_link.reset();
        m_context.reset();
        m_fast_load = false;
        return S_OK;
    }

    HRESULT GetProperties(ULONG id_set_count, const DBPROPIDSET id_sets[], ULONG* set_count,
                          DBPROPSET** sets) override
    {
        clear_errors();
        if (set_count == nullptr || sets == nullptr || (id_set_count > 0 && id_sets == nullptr))
        {
            return post_layer_error(E_INVALIDARG, L"GetProperties needs its arguments.");
        }
        *set_count = 0;
        *sets = nullptr;
        std::vector<std::pair<GUID, DBPROPID>> wanted;
        for (ULONG set_idx = 0; set_idx < id_set_count; ++set_idx)
        {
            for (ULONG id_idx = 0; id_idx < id_sets[set_idx].cPropertyIDs; ++id_idx)
            {
                wanted.emplace_back(id_sets[set_idx].guidPropertySet,
                                    id_sets[set_idx].rgPropertyIDs[id_idx]);
            }
        }
        if (wanted.empty())
        {
            for (const DBPROPID id : {DBPROP_INIT_DATASOURCE, DBPROP_AUTH_USERID,
                                      DBPROP_AUTH_PASSWORD, DBPROP_INIT_CATALOG})
            {
                wanted.emplace_back(DBPROPSET_DBINIT, id);
            }
        }
        auto* set_array =
            static_cast<DBPROPSET*>(CoTaskMemAlloc(wanted.size() * sizeof(DBPROPSET)));
        if (set_array == nullptr)
        {
            return post_layer_error(E_OUTOFMEMORY, L"Out of memory for properties.");
        }
        bool any_unknown = false;
        for (std::size_t idx = 0; idx < wanted.size(); ++idx)
        {
            auto* prop = static_cast<DBPROP*>(CoTaskMemAlloc(sizeof(DBPROP)));
            new (prop) DBPROP();
            prop->dwPropertyID = wanted[idx].second;
            if (!read_property(wanted[idx].first, wanted[idx].second, prop->vValue))
            {
                prop->dwStatus = DBPROPSTATUS_NOTSUPPORTED;
                any_unknown = true;
            }
            set_array[idx] = DBPROPSET{prop, 1, wanted[idx].first};
        }
        *set_count = static_cast<ULONG>(wanted.size());
        *sets = set_array;
        return any_unknown ? DB_S_ERRORSOCCURRED : S_OK;
    }

    HRESULT SetProperties(ULONG set_count, DBPROPSET sets[]) override
    {
        clear_errors();
        return set_each_property(set_count, sets,
                                 [this](const GUID& set, const DBPROP& prop)
                                 { return set_property(set, prop); });
    }

    HRESULT CreateSession(IUnknown* outer, REFIID riid, IUnknown** session) override
    {
        clear_errors();
        if (session == nullptr)
        {
            return post_layer_error(E_INVALIDARG, L"CreateSession needs its output argument.");
        }
        *session = nullptr;
        if (outer != nullptr)
        {
            return post_layer_error(CLASS_E_NOAGGREGATION, L"Sessions cannot be aggregated.");
        }
        if (!m_context)
        {
            return post_layer_error(E_UNEXPECTED, L"The data source is not initialised.");
        }
        // The first session takes the connection Initialize opened; each later one opens its
        // own, so a session's SET options never leak into another.
        std::unique_ptr<link> connection = std::move(m_first_link);
        if (!connection)
        {
            connection = m_provider->make_link();
            link_status status = connection->connect(m_context->connection_string);
            if (!status.ok())
            {
                post_errors(std::move(status.records));
                return status.hr;
            }
        }
        com_ref<IOpenRowset> created = make_session(m_context, std::move(connection), m_fast_load);
        const HRESULT hr = created->QueryInterface(riid, reinterpret_cast<void**>(session));
        return FAILED(hr) ? post_layer_error(hr, L"The session does not offer that interface.")
                          : hr;
    }

private:
    DBPROPSTATUS set_property(const GUID& set, const DBPROP& prop)
    {
        if (set == DBPROPSET_DBINIT)
        {
            if (m_context)
            {
                return DBPROPSTATUS_NOTSETTABLE;
            }
            std::wstring* target = nullptr;
            switch (prop.dwPropertyID)
            {
            case DBPROP_INIT_DATASOURCE:
                target = &m_settings.server;
                break;
            case DBPROP_AUTH_USERID:
                target = &m_settings.user;
                break;
            case DBPROP_AUTH_PASSWORD:
                target = &m_settings.password;
                break;
            case DBPROP_INIT_CATALOG:
                target = &m_settings.catalog;
                break;
            case DBPROP_AUTH_INTEGRATED:
                if (prop.vValue.vt != VT_BSTR && prop.vValue.vt != VT_EMPTY)
                {
                    return DBPROPSTATUS_BADVALUE;
                }
                m_settings.integrated = prop.vValue.vt == VT_BSTR;
                return DBPROPSTATUS_OK;
            default:
                return DBPROPSTATUS_NOTSUPPORTED;
            }
            if (prop.vValue.vt != VT_BSTR)
            {
                return DBPROPSTATUS_BADVALUE;
            }
            *target = prop.vValue.bstrVal;
            return DBPROPSTATUS_OK;
        }
        if (set == DBPROPSET_SQLSERVERDATASOURCE && prop.dwPropertyID == SSPROP_ENABLEFASTLOAD)
        {
            if (prop.vValue.vt != VT_BOOL)
            {
                return DBPROPSTATUS_BADVALUE;
            }
            if (prop.vValue.boolVal != VARIANT_FALSE && !fast_load_allowed())
            {
                return DBPROPSTATUS_NOTSUPPORTED;
            }
            m_fast_load = prop.vValue.boolVal != VARIANT_FALSE;
            return DBPROPSTATUS_OK;
        }
        return DBPROPSTATUS_NOTSUPPORTED;
    }

    bool fast_load_allowed() const
    {
        const char* refused = std::getenv("ZOV_NO_FAST_LOAD");
        return m_provider->fast_load && !(refused != nullptr && std::string(refused) == "1");
    }

    bool read_property(const GUID& set, DBPROPID id, VARIANT& value) const
    {
        const std::wstring* source = nullptr;
        if (set == DBPROPSET_DBINIT)
        {
            switch (id)
            {
            case DBPROP_INIT_DATASOURCE:
                source = &m_settings.server;
                break;
            case DBPROP_AUTH_USERID:
                source = &m_settings.user;
                break;
            case DBPROP_AUTH_PASSWORD:
                source = &m_settings.password;
                break;
            case DBPROP_INIT_CATALOG:
                source = &m_settings.catalog;
                break;
            default:
                return false;
            }
            value.vt = VT_BSTR;
            value.bstrVal = *source;
            return true;
        }
        if (set == DBPROPSET_SQLSERVERDATASOURCE && id == SSPROP_ENABLEFASTLOAD)
        {
            value.vt = VT_BOOL;
            value.boolVal = m_fast_load ? VARIANT_TRUE : VARIANT_FALSE;
            return true;
        }
        return false;
    }

    std::shared_ptr<const provider_context> m_provider;
    connection_settings m_settings;
    std::shared_ptr<const session_context> m_context;
    std::unique_ptr<link> m_first_link;
    bool m_fast_load = false;
};

} // namespace

com_ref<IDBInitialize> make_data_source(std::shared_ptr<const provider_context> provider,
                                        const connection_settings* preset)
{
    return com_ref<IDBInitialize>::attach(
        make_com<data_source>(std::move(provider), preset).detach());
}

} // namespace plat::oledb
