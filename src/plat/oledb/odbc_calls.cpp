// odbc_calls.cpp: reading diagnostic records and the UTF-16 conversions at the ODBC boundary.
#include "plat/oledb/odbc_calls.h"

#include "plat/plat_text.h"

#include <algorithm>
#include <array>

namespace plat::oledb
{

std::vector<SQLWCHAR> to_sqlw(const std::wstring& text)
{
    const std::u16string utf16 = wide_to_utf16(text);
    std::vector<SQLWCHAR> out(utf16.begin(), utf16.end());
    out.push_back(0);
    return out;
}

std::wstring from_sqlw(const SQLWCHAR* text, std::size_t length)
{
    return utf16_to_wide(std::u16string(text, text + length));
}

namespace
{

std::vector<diag_record> read_diagnostics(SQLSMALLINT type, SQLHANDLE handle)
{
    std::vector<diag_record> records;
    for (SQLSMALLINT record_idx = 1;; ++record_idx)
    {
        std::array<SQLWCHAR, 6> state{};
        SQLINTEGER native = 0;
        std::vector<SQLWCHAR> message(1024);
        SQLSMALLINT length = 0;
        SQLRETURN rc =
            SQLGetDiagRecW(type, handle, record_idx, state.data(), &native, message.data(),
                           static_cast<SQLSMALLINT>(message.size()), &length);
        if (rc == SQL_SUCCESS_WITH_INFO && static_cast<std::size_t>(length) >= message.size())
        {
            message.resize(static_cast<std::size_t>(length) + 1);
            rc = SQLGetDiagRecW(type, handle, record_idx, state.data(), &native, message.data(),
                                static_cast<SQLSMALLINT>(message.size()), &length);
        }
        if (rc != SQL_SUCCESS && rc != SQL_SUCCESS_WITH_INFO)
        {
            break;
        }
        const std::size_t text_length =
            std::min(static_cast<std::size_t>(length), message.size() - 1);
        records.push_back(diag_record{from_sqlw(state.data(), 5), native,
                                      from_sqlw(message.data(), text_length)});
    }
    return records;
}

} // namespace

link_status check(SQLRETURN rc, SQLSMALLINT type, SQLHANDLE handle, odbc_call call,
                  const std::wstring& driver_name)
{
    if (rc == SQL_SUCCESS || rc == SQL_SUCCESS_WITH_INFO)
    {
        return {};
    }
    if (rc == SQL_NO_DATA)
    {
        return link_status{S_FALSE, {}};
    }
    if (rc == SQL_INVALID_HANDLE)
    {
        return failure_from_diagnostics({}, call, driver_name);
    }
    return failure_from_diagnostics(read_diagnostics(type, handle), call, driver_name);
}

} // namespace plat::oledb
