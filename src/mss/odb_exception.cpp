// odb_exception.cpp: reading the thread's OLE DB error object into an exception or a text.
#include "mss/odb_exception.h"

#include "mss/ole_com_ptr.h"
#include "plat/oledb/oledb_interfaces.h"
#include "plat/oledb/oledb_link.h"
#include "plat/plat_fmt.h"
#include "plat/plat_text.h"
#include "tk/tk_logger.h"

#include <algorithm>
#include <optional>
#include <vector>

namespace
{

constexpr LCID user_default_locale = 0x0400;
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

// One record of the error object with what the connection failure reads of it.
struct error_record_texts
{
    std::wstring sqlstate;
    long native = 0;
    error_info_texts texts;
};

std::vector<error_record_texts> read_records(IErrorRecords& records)
{
    ULONG count = 0;
    if (odb_refused(records.GetRecordCount(&count)))
    {
        count = 0;
    }
    tk_log(1, "Got %d record(s)", count);
    std::vector<error_record_texts> read;
    for (ULONG record = 0; record < count; ++record)
    {
        error_record_texts entry;
        ERRORINFO basic{};
        if (!odb_refused(records.GetBasicErrorInfo(record, &basic)))
        {
            entry.native = static_cast<long>(basic.dwMinor);
        }
        tk_log(3, "HRESULT:\t0x%08X", basic.hrError);
        ole_com_ptr<IUnknown> custom;
        ole_com_ptr<ISQLErrorInfo> sql_info;
        LONG native = 0;
        if (!odb_refused(records.GetCustomErrorObject(record, IID_ISQLErrorInfo, custom.put())) &&
            custom &&
            !odb_refused(custom->QueryInterface(IID_ISQLErrorInfo, sql_info.put_void())) &&
            !odb_refused(sql_info->GetSQLInfo(&entry.sqlstate, &native)))
        {
            tk_wlog(3, L"SQLSTATE:\t%s", entry.sqlstate);
            tk_log(3, "Native Error:\t%ld", native);
            entry.native = native;
        }
        ole_com_ptr<IErrorInfo> info;
        if (!odb_refused(records.GetErrorInfo(record, user_default_locale, info.put())) && info)
        {
            entry.texts = read_error_info(*info.get());
        }
        read.push_back(std::move(entry));
    }
    return read;
}

} // namespace

odb_exception odb_exception::connection_failure(HRESULT hr)
{
    tk_log(1, "odb_exception::connection_failure(%08X)", hr);
    odb_exception error(std::wstring{});
    error.set_code(static_cast<int>((static_cast<std::uint32_t>(hr) & 0xFFFF) + 0x80000));
    ole_com_ptr<IErrorInfo> info;
    ole_com_ptr<IErrorRecords> records;
    std::vector<error_record_texts> read;
    if (GetErrorInfo(0, info.put()) == S_OK && info)
    {
        if (!odb_refused(info->QueryInterface(IID_IErrorRecords, records.put_void())) && records)
        {
            read = read_records(*records.get());
        }
        else
        {
            read.push_back({std::wstring(), 0, read_error_info(*info.get())});
        }
    }
    constexpr long login_failed = 18456;
    for (const error_record_texts& entry : read)
    {
        if (error.m_sqlstate.empty() && !entry.sqlstate.empty())
        {
            error.m_sqlstate = entry.sqlstate;
            error.m_native_error = entry.native;
        }
        if (is_connection_state(entry.sqlstate))
        {
            error.set_connection_lost(true);
        }
        if (entry.native == login_failed || entry.sqlstate == L"28000")
        {
            error.set_code(odb_auth_failed_code);
        }
    }
    // Most specific first: a numbered message (the server's, or the driver library's about the
    // host) says why; the driver's own unnumbered "Unable to connect" only that it failed.
    const auto rank = [](const error_record_texts& entry)
    {
        if (entry.texts.description.starts_with(L"Unknown error"))
        {
            return 0;
        }
        return entry.native != 0 ? 2 : 1;
    };
    std::stable_sort(read.begin(), read.end(),
                     [&rank](const error_record_texts& left, const error_record_texts& right)
                     { return rank(left) > rank(right); });
    std::vector<std::wstring> texts;
    for (const error_record_texts& entry : read)
    {
        const std::wstring& text = entry.texts.description;
        if (!text.empty() && std::find(texts.begin(), texts.end(), text) == texts.end())
        {
            if (texts.empty())
            {
                error.m_source = entry.texts.source;
            }
            texts.push_back(text);
        }
    }
    std::wstring joined;
    for (const std::wstring& text : texts)
    {
        joined += (joined.empty() ? L"" : L"\n") + text;
    }
    error.set_message(joined.empty() ? generic_text() : plat::wide_to_utf8(joined));
    return error;
}

std::string odb_exception::generic_text()
{
    return std::string("Generic error occurred while migrating the data.\n") + mss_contact_support;
}

odb_exception::odb_exception(HRESULT hr)
    : tk_exception(tk_severity::recoverable)
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
    if (odb_refused(info->QueryInterface(IID_IErrorRecords, records.put_void())) || !records)
    {
        const error_info_texts texts = read_error_info(*info.get());
        set_message(plat::wide_to_utf8(texts.description));
        m_source = texts.source;
        return;
    }
    tk_log(2, "Got IErrorRecords");
    extract_from_records2(*records.get(), hr, false);
}

odb_exception::odb_exception(const std::wstring& text)
    : tk_exception(text, tk_severity::recoverable)
{
}

odb_exception odb_exception::with_all_texts(HRESULT hr)
{
    odb_exception error(std::wstring{});
    error.set_code(static_cast<int>((static_cast<std::uint32_t>(hr) & 0xFFFF) + 0x80000));
    ole_com_ptr<IErrorInfo> info;
    ole_com_ptr<IErrorRecords> records;
    if (GetErrorInfo(0, info.put()) == S_OK && info &&
        !odb_refused(info->QueryInterface(IID_IErrorRecords, records.put_void())) && records)
    {
        error.extract_from_records2(*records.get(), hr, true);
    }
    else
    {
        error.set_message(generic_text());
    }
    return error;
}

bool odb_exception::is_connection_state(const std::wstring& sqlstate)
{
    return sqlstate.starts_with(L"08") || sqlstate == L"HYT00" || sqlstate == L"HYT01";
}

void odb_exception::extract_from_records2(IErrorRecords& records, HRESULT hr, bool all_texts)
{
    tk_log(2, "odb_exception::extract_from_records2(%d)", hr);
    ULONG count = 0;
    if (odb_refused(records.GetRecordCount(&count)))
    {
        count = 0;
    }
    tk_log(1, "Got %d record(s)", count);
    // Some drivers put a record without a text of its own ("Unknown error") before the one
    // that says what happened: such a text is taken only when no record says more. A record
    // that tells of a lost connection says the most: whatever else failed, that is what the
    // user must learn.
    const auto rank = [](const std::wstring& text, bool lost_record)
    {
        if (text.empty())
        {
            return 0;
        }
        if (text.starts_with(L"Unknown error"))
        {
            return 1;
        }
        return lost_record ? 3 : 2;
    };
    std::optional<error_info_texts> chosen;
    int chosen_rank = -1;
    std::wstring joined;
    bool duplicate_key = false;
    for (ULONG record = 0; record < count; ++record)
    {
        // A record without basic information or SQL information is read as one without them.
        ERRORINFO basic{};
        if (odb_refused(records.GetBasicErrorInfo(record, &basic)))
        {
            basic = ERRORINFO{};
        }
        duplicate_key = duplicate_key || basic.dwMinor == duplicate_key_error;
        ole_com_ptr<IUnknown> custom;
        if (odb_refused(records.GetCustomErrorObject(record, IID_ISQLErrorInfo, custom.put())))
        {
            custom.reset();
        }
        tk_log(3, "HRESULT:\t0x%08X", basic.hrError);
        ole_com_ptr<ISQLErrorInfo> sql_info;
        bool lost_record = false;
        if (custom && !odb_refused(custom->QueryInterface(IID_ISQLErrorInfo, sql_info.put_void())))
        {
            std::wstring sqlstate;
            LONG native = 0;
            if (!odb_refused(sql_info->GetSQLInfo(&sqlstate, &native)))
            {
                tk_wlog(3, L"SQLSTATE:\t%s", sqlstate);
                tk_log(3, "Native Error:\t%ld", native);
                if (m_sqlstate.empty() && !sqlstate.empty())
                {
                    m_sqlstate = sqlstate;
                    m_native_error = native;
                }
                if (is_connection_state(sqlstate))
                {
                    lost_record = true;
                    set_connection_lost(true);
                }
            }
        }
        // Every record's SQLSTATE is looked at (a lost connection may be told by a later one);
        // the texts only until one says what happened.
        if (!all_texts && (chosen_rank == 3 || (chosen_rank == 2 && !lost_record)))
        {
            continue;
        }
        ole_com_ptr<IErrorInfo> entry;
        if (!odb_refused(records.GetErrorInfo(record, user_default_locale, entry.put())) && entry)
        {
            const error_info_texts texts = read_error_info(*entry.get());
            tk_wlog(1, L"Process %d record: msg=%s, source=%s", record, texts.description,
                    texts.source);
            if (!texts.description.empty())
            {
                joined += (joined.empty() ? L"" : L"\n") + texts.description;
            }
            if (const int texts_rank = rank(texts.description, lost_record);
                texts_rank > chosen_rank)
            {
                chosen = texts;
                chosen_rank = texts_rank;
            }
        }
    }
    if (all_texts)
    {
        if (chosen_rank == 3)
        {
            set_message(plat::wide_to_utf8(chosen->description));
        }
        else if (!joined.empty())
        {
            set_message(plat::wide_to_utf8(joined));
        }
        else if (duplicate_key)
        {
            set_message("Violation of PRIMARY KEY constraint.\nCannot insert duplicate key in the "
                        "table.");
        }
        else
        {
            set_message(generic_text());
        }
        m_source = chosen ? chosen->source : std::wstring();
        return;
    }
    if (chosen && !chosen->description.empty())
    {
        set_message(plat::wide_to_utf8(chosen->description));
        m_source = chosen->source;
        return;
    }
    if (chosen)
    {
        m_source = chosen->source;
    }
    set_message(generic_text());
}

std::wstring odb_exception::GetErrorString()
{
    tk_log(2, "odb_exception::GetErrorString");
    // The text does not depend on the result code, which only the exception carries.
    return plat::utf8_to_wide_lossy(with_all_texts(E_FAIL).what());
}

void odb_log_failure(HRESULT hr)
{
    tk_log(2, "Error code: %08X", hr);
}

HRESULT odb_check(HRESULT hr)
{
    return odb_check(hr, [](HRESULT failed) { return odb_exception(failed); });
}

HRESULT odb_check(HRESULT hr, const char* source, int line)
{
    return odb_check(hr, [source, line](HRESULT) { return tk_mail_assertion(source, line); });
}

bool odb_refused(HRESULT hr)
{
    return FAILED(hr);
}

mss_connection_lost::mss_connection_lost(const odb_exception& cause, std::int64_t rows_not_stored,
                                         std::int64_t rows_in_doubt)
    : odb_exception(cause)
    , m_rows_not_stored(rows_not_stored)
    , m_rows_in_doubt(rows_in_doubt)
{
    set_connection_lost(true);
    if (const auto* earlier = dynamic_cast<const mss_connection_lost*>(&cause); earlier != nullptr)
    {
        m_silent_seconds = earlier->m_silent_seconds;
        m_commit_failure = earlier->m_commit_failure;
    }
    else if (cause.sqlstate() == L"HYT00")
    {
        // The driver's limit on a call that moves rows ran out: the server kept the connection
        // but stopped answering, for as long as that limit.
        m_silent_seconds = static_cast<int>(plat::oledb::answer_limit_seconds());
    }
}

mss_no_perm_exception::mss_no_perm_exception(const std::wstring& user, const std::wstring& database)
    : tk_exception(plat::wformat(L"User '%s' does not have permission to access database '%s'",
                                 user, database),
                   tk_severity::recoverable)
{
}
