// oledb_error.cpp: the thread's error object, its records and SQL error information.
#include "plat/oledb/oledb_error.h"

#include <utility>

namespace plat::oledb
{
namespace
{

// Released at thread exit, so an error nobody read does not leak.
thread_local com_ref<IErrorInfo> t_error_object;

class sql_error_info final : public com_object<ISQLErrorInfo>
{
public:
    sql_error_info(std::wstring sqlstate, LONG native)
        : m_sqlstate(std::move(sqlstate))
        , m_native(native)
    {
    }

    HRESULT GetSQLInfo(std::wstring* sqlstate, LONG* native_error) override
    {
        if (sqlstate != nullptr)
        {
            *sqlstate = m_sqlstate;
        }
        if (native_error != nullptr)
        {
            *native_error = m_native;
        }
        return S_OK;
    }

private:
    std::wstring m_sqlstate;
    LONG m_native;
};

class record_info final : public com_object<IErrorInfo>
{
public:
    explicit record_info(const error_record& record)
        : m_record(record)
    {
    }

    HRESULT GetSource(std::wstring* source) override
    {
        if (source == nullptr)
        {
            return E_INVALIDARG;
        }
        *source = m_record.source;
        return S_OK;
    }

    HRESULT GetDescription(std::wstring* description) override
    {
        if (description == nullptr)
        {
            return E_INVALIDARG;
        }
        *description = m_record.description;
        return S_OK;
    }

private:
    error_record m_record;
};

class error_object final : public com_object<IErrorInfo, IErrorRecords>
{
public:
    explicit error_object(std::vector<error_record> records)
        : m_records(std::move(records))
    {
    }

    HRESULT GetSource(std::wstring* source) override
    {
        if (source == nullptr)
        {
            return E_INVALIDARG;
        }
        *source = m_records.empty() ? std::wstring() : m_records.front().source;
        return S_OK;
    }

    HRESULT GetDescription(std::wstring* description) override
    {
        if (description == nullptr)
        {
            return E_INVALIDARG;
        }
        *description = m_records.empty() ? std::wstring() : m_records.front().description;
        return S_OK;
    }

    HRESULT GetRecordCount(ULONG* count) override
    {
        if (count == nullptr)
        {
            return E_INVALIDARG;
        }
        *count = static_cast<ULONG>(m_records.size());
        return S_OK;
    }

    HRESULT GetBasicErrorInfo(ULONG record, ERRORINFO* info) override
    {
        if (info == nullptr)
        {
            return E_INVALIDARG;
        }
        if (record >= m_records.size())
        {
            return DB_E_BADRECORDNUM;
        }
        *info = ERRORINFO{m_records[record].hr, m_records[record].minor, GUID_NULL, IID_NULL, 0};
        return S_OK;
    }

    HRESULT GetCustomErrorObject(ULONG record, REFIID riid, IUnknown** object) override
    {
        if (object == nullptr)
        {
            return E_INVALIDARG;
        }
        *object = nullptr;
        if (record >= m_records.size())
        {
            return DB_E_BADRECORDNUM;
        }
        const error_record& entry = m_records[record];
        if (riid != IID_ISQLErrorInfo || !entry.sqlstate)
        {
            return S_OK;
        }
        auto info = make_com<sql_error_info>(*entry.sqlstate, static_cast<LONG>(entry.minor));
        *object = info.detach();
        return S_OK;
    }

    HRESULT GetErrorInfo(ULONG record, LCID, IErrorInfo** info) override
    {
        if (info == nullptr)
        {
            return E_INVALIDARG;
        }
        *info = nullptr;
        if (record >= m_records.size())
        {
            return DB_E_BADRECORDNUM;
        }
        *info = make_com<record_info>(m_records[record]).detach();
        return S_OK;
    }

private:
    std::vector<error_record> m_records;
};

void replace_error_object(IErrorInfo* info)
{
    t_error_object = com_ref<IErrorInfo>::share(info);
}

} // namespace

com_ref<IErrorInfo> make_error_object(std::vector<error_record> records)
{
    return com_ref<IErrorInfo>::attach(make_com<error_object>(std::move(records)).detach());
}

void post_errors(std::vector<error_record> records)
{
    if (records.empty())
    {
        clear_errors();
        return;
    }
    replace_error_object(make_error_object(std::move(records)).get());
}

HRESULT post_layer_error(HRESULT hr, const std::wstring& description)
{
    error_record record;
    record.hr = hr;
    record.source = layer_error_source;
    record.description = description;
    post_errors({record});
    return hr;
}

void clear_errors()
{
    replace_error_object(nullptr);
}

void free_property_sets(ULONG set_count, DBPROPSET* sets)
{
    if (sets == nullptr)
    {
        return;
    }
    for (ULONG set_idx = 0; set_idx < set_count; ++set_idx)
    {
        DBPROPSET& set = sets[set_idx];
        for (ULONG prop_idx = 0; prop_idx < set.cProperties; ++prop_idx)
        {
            std::destroy_at(&set.rgProperties[prop_idx]);
        }
        CoTaskMemFree(set.rgProperties);
    }
    CoTaskMemFree(sets);
}

} // namespace plat::oledb

HRESULT GetErrorInfo(DWORD, IErrorInfo** info)
{
    if (info == nullptr)
    {
        return E_INVALIDARG;
    }
    *info = plat::oledb::t_error_object.detach();
    return *info != nullptr ? S_OK : S_FALSE;
}

HRESULT SetErrorInfo(DWORD, IErrorInfo* info)
{
    plat::oledb::replace_error_object(info);
    return S_OK;
}
