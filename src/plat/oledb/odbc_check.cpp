// odbc_check.cpp: the SQLSTATE table and the building of error records from diagnostics.
#include "plat/oledb/odbc_check.h"

namespace plat::oledb
{
namespace
{

struct sqlstate_entry
{
    std::wstring_view prefix; // a whole SQLSTATE, or its class when two characters long
    HRESULT hr;
};

// The first matching entry wins; 42P01 and 42P07 are PostgreSQL's states for the same
// conditions as 42S02 and 42S01, which psqlODBC passes through.
constexpr sqlstate_entry sqlstate_table[] = {
    {L"23", DB_E_INTEGRITYVIOLATION},
    {L"42S02", DB_E_NOTABLE},
    {L"42P01", DB_E_NOTABLE},
    {L"42S01", DB_E_DUPLICATETABLEID},
    {L"42P07", DB_E_DUPLICATETABLEID},
    {L"42S11", DB_E_DUPLICATEINDEXID},
    {L"28000", DB_SEC_E_AUTH_FAILED},
    {L"08", E_FAIL},
    {L"HYT00", E_FAIL},
    {L"HYT01", E_FAIL},
};

const sqlstate_entry* find_entry(std::wstring_view sqlstate)
{
    for (const sqlstate_entry& entry : sqlstate_table)
    {
        if (sqlstate.starts_with(entry.prefix) &&
            (entry.prefix.size() == 2 || sqlstate.size() == entry.prefix.size()))
        {
            return &entry;
        }
    }
    return nullptr;
}

HRESULT default_hresult(odbc_call call)
{
    return call == odbc_call::connect ? E_FAIL : DB_E_ERRORSINCOMMAND;
}

} // namespace

HRESULT hresult_for_sqlstate(std::wstring_view sqlstate, odbc_call call)
{
    const sqlstate_entry* entry = find_entry(sqlstate);
    return entry != nullptr ? entry->hr : default_hresult(call);
}

void split_diag_message(std::wstring_view message, const std::wstring& fallback_source,
                        std::wstring& source, std::wstring& text)
{
    std::size_t end = 0;
    while (end < message.size() && message[end] == L'[')
    {
        const std::size_t close = message.find(L']', end);
        if (close == std::wstring_view::npos)
        {
            break;
        }
        end = close + 1;
    }
    if (end == 0)
    {
        source = fallback_source;
        text = message;
        return;
    }
    source = message.substr(0, end);
    text = message.substr(end);
}

link_status failure_from_diagnostics(const std::vector<diag_record>& diagnostics, odbc_call call,
                                     const std::wstring& driver_name)
{
    HRESULT hr = default_hresult(call);
    for (const diag_record& diagnostic : diagnostics)
    {
        if (const sqlstate_entry* entry = find_entry(diagnostic.sqlstate); entry != nullptr)
        {
            hr = entry->hr;
            break;
        }
    }
    link_status status;
    status.hr = hr;
    for (const diag_record& diagnostic : diagnostics)
    {
        error_record record;
        record.hr = hr;
        record.minor = static_cast<DWORD>(diagnostic.native);
        split_diag_message(diagnostic.message, driver_name, record.source, record.description);
        record.sqlstate = diagnostic.sqlstate;
        status.records.push_back(std::move(record));
    }
    if (status.records.empty())
    {
        error_record record;
        record.hr = hr;
        record.source = driver_name;
        record.description = L"The ODBC driver reported a failure without a diagnostic record.";
        status.records.push_back(std::move(record));
    }
    return status;
}

} // namespace plat::oledb
