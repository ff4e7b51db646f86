// odb_exception.cpp: reading the thread's OLE DB error object into an exception or a text.
#include "mss/odb_exception.h"

#include "mss/ole_com_ptr.h"
#include "plat/oledb/oledb_interfaces.h"
#include "plat/plat_fmt.h"
#include "plat/plat_text.h"
#include "tk/tk_logger.h"

namespace
{

constexpr LCID user_default_locale = 0x0400;
constexpr LCID system_default_locale = 0x0800;
constexpr DWORD duplicate_key_error = 2627;

// Source and description of one error object (the error_info_dispatcher of the design).
struct error_info_texts
{
    std::wstring source;
    std::wstring description;
};

error_info_texts read_error_info(IErrorInfo& info)
{
    tk_log(1, "odb_exception::error_info_dispatcher::ctor");
    error_info_texts texts;
    std::wstring source;
    if (info.GetSource(&source) == S_OK)
    {
        tk_log(1, "Processing source");
        tk_wlog(3, L"Source:\t\t%s\n", source);
        texts.source = source;
    }
    std::wstring description;
    if (info.GetDescription(&description) == S_OK)
    {
        tk_log(1, "Processing description");
        tk_wlog(3, L"Error message:\t%s", description);
        texts.description = description;
    }
    return texts;
}

} // namespace

std::string odb_exception::generic_text()
{
    return std::string("Generic error occurred while migrating the data.\n") + mss_contact_support;
}

odb_exception::odb_exception(HRESULT hr)
    : tk_exception(0)
{
    tk_log(1, "odb_exception::odb_exception(%08X)", hr);
    set_code(static_cast<int>((static_cast<std::uint32_t>(hr) & 0xFFFF) + 0x80000));
    ole_com_ptr<IErrorInfo> info;
    if (GetErrorInfo(0, info.put()) != S_OK || !info)
    {
        tk_log(2, "dump_error: GetErrorInfo failed");
        return;
    }
    ole_com_ptr<IErrorRecords> records;
    if (FAILED(info->QueryInterface(IID_IErrorRecords, records.put_void())) || !records)
    {
        const error_info_texts texts = read_error_info(*info.get());
        set_message(plat::wide_to_utf8(texts.description));
        m_source = texts.source;
        return;
    }
    tk_log(2, "Got IErrorRecords");
    extract_from_records2(*records.get(), hr);
}

odb_exception::odb_exception(const std::wstring& text)
    : tk_exception(text, 0)
{
}

void odb_exception::extract_from_records2(IErrorRecords& records, HRESULT hr)
{
    tk_log(2, "odb_exception::extract_from_records2(%d)", hr);
    ULONG count = 0;
    if (FAILED(records.GetRecordCount(&count)))
    {
        count = 0;
    }
    tk_log(1, "Got %d record(s)", count);
    for (ULONG record = 0; record < count; ++record)
    {
        ERRORINFO basic{};
        records.GetBasicErrorInfo(record, &basic);
        ole_com_ptr<IUnknown> custom;
        records.GetCustomErrorObject(record, IID_ISQLErrorInfo, custom.put());
        tk_log(3, "HRESULT:\t0x%08X", basic.hrError);
        ole_com_ptr<ISQLErrorInfo> sql_info;
        if (custom && SUCCEEDED(custom->QueryInterface(IID_ISQLErrorInfo, sql_info.put_void())))
        {
            std::wstring sqlstate;
            LONG native = 0;
            if (SUCCEEDED(sql_info->GetSQLInfo(&sqlstate, &native)))
            {
                tk_wlog(3, L"SQLSTATE:\t%s", sqlstate);
                tk_log(3, "Native Error:\t%ld", native);
            }
        }
        ole_com_ptr<IErrorInfo> entry;
        if (SUCCEEDED(records.GetErrorInfo(record, user_default_locale, entry.put())) && entry)
        {
            const error_info_texts texts = read_error_info(*entry.get());
            set_message(plat::wide_to_utf8(texts.description));
            m_source = texts.source;
            tk_wlog(1, L"Process %d record: msg=%s, source=%s", record, texts.description,
                    texts.source);
            if (!texts.description.empty())
            {
                return;
            }
        }
    }
    set_message(generic_text());
}

std::wstring odb_exception::GetErrorString()
{
    tk_log(2, "odb_exception::GetErrorString");
    const std::wstring generic = plat::utf8_to_wide_lossy(generic_text());
    ole_com_ptr<IErrorInfo> info;
    ole_com_ptr<IErrorRecords> records;
    ULONG count = 0;
    if (GetErrorInfo(0, info.put()) != S_OK || !info ||
        FAILED(info->QueryInterface(IID_IErrorRecords, records.put_void())) || !records ||
        FAILED(records->GetRecordCount(&count)))
    {
        return generic;
    }
    tk_log(2, "odb_exception::extract_from_records1");
    std::wstring joined;
    int described = 0;
    bool duplicate_key = false;
    for (ULONG record = 0; record < count; ++record)
    {
        ERRORINFO basic{};
        records->GetBasicErrorInfo(record, &basic);
        tk_log(1, "GetBasicErrorInfo: HRESULT=%08X, Minor Code=%d", basic.hrError, basic.dwMinor);
        duplicate_key = duplicate_key || basic.dwMinor == duplicate_key_error;
        ole_com_ptr<IErrorInfo> entry;
        if (FAILED(records->GetErrorInfo(record, system_default_locale, entry.put())) || !entry)
        {
            tk_log(1, "pIErrorRecords->GetErrorInfo FAILED");
            continue;
        }
        tk_log(1, "pIErrorRecords->GetErrorInfo SUCCEEDED");
        std::wstring description;
        if (entry->GetDescription(&description) == S_OK)
        {
            tk_log(1, "pIErrorRecords->GetDescription SUCCEEDED");
            // An empty description describes nothing: it neither joins nor hides the fallback.
            if (!description.empty())
            {
                joined += (described++ == 0 ? L"" : L"\n") + description;
            }
        }
        else
        {
            tk_log(1, "pIErrorRecords->GetDescription FAILED");
        }
    }
    if (described > 0)
    {
        return joined;
    }
    return duplicate_key ? L"Violation of PRIMARY KEY constraint.\nCannot insert duplicate key in "
                           L"the table."
                         : generic;
}

HRESULT odb_check(HRESULT hr)
{
    if (FAILED(hr))
    {
        tk_log(2, "Error code: %08X", hr);
        throw odb_exception(hr);
    }
    return hr;
}

mss_no_perm_exception::mss_no_perm_exception(const std::wstring& user, const std::wstring& database)
    : tk_exception(plat::wformat(L"User '%s' does not have permission to access database '%s'",
                                 user, database),
                   0)
{
}
