// odbc_check.h: the one place where driver diagnostics become HRESULTs and error records.
#pragma once

#include "plat/oledb/oledb_link.h"

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace plat::oledb
{

/// What kind of call failed: a failed connect that the table does not place is a connection
/// failure (E_FAIL), a failed statement or catalog call an error in the command.
enum class odbc_call
{
    connect,
    statement
};

/// One diagnostic record as SQLGetDiagRecW gives it.
struct diag_record
{
    std::wstring sqlstate;
    std::int32_t native = 0;
    std::wstring message;
};

/// The HRESULT of a SQLSTATE: the one mapping table of the layer.
HRESULT hresult_for_sqlstate(std::wstring_view sqlstate, odbc_call call);

/// Splits "[vendor][driver][server]text" into the bracketed source and the text; without
/// brackets the source is `fallback_source`.
void split_diag_message(std::wstring_view message, const std::wstring& fallback_source,
                        std::wstring& source, std::wstring& text);

/// Error records for a failed call: every record carries the HRESULT of the first record whose
/// SQLSTATE the table names (else the call's default) and its native error as the minor code.
/// No records at all still give one record, so a failure always has an error object.
link_status failure_from_diagnostics(const std::vector<diag_record>& diagnostics, odbc_call call,
                                     const std::wstring& driver_name);

} // namespace plat::oledb
