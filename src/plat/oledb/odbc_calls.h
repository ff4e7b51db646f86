// odbc_calls.h: the one checking function of ODBC calls and the UTF-16 conversions at the ODBC
// boundary (include after the layer's own headers: the ODBC headers define BOOL as a macro).
#pragma once

#include "plat/oledb/odbc_check.h"
#include "plat/oledb/odbc_handle.h"

#include <sql.h>
#include <sqlext.h>
#include <string>
#include <vector>

namespace plat::oledb
{

/// Wide text as NUL-terminated SQLWCHAR (UTF-16).
std::vector<SQLWCHAR> to_sqlw(const std::wstring& text);

/// `length` SQLWCHARs as wide text.
std::wstring from_sqlw(const SQLWCHAR* text, std::size_t length);

/// The one checking function: a successful return answers S_OK (S_FALSE for SQL_NO_DATA);
/// anything else reads every diagnostic record of the handle into a failure.
link_status check(SQLRETURN rc, SQLSMALLINT type, SQLHANDLE handle, odbc_call call,
                  const std::wstring& driver_name);

/// The buffers of bound parameters, which must outlive the statement's execution.
struct odbc_param_buffers
{
    std::vector<std::vector<std::uint8_t>> data;
    std::vector<SQLLEN> indicators;
};

/// Binds `values` to the markers of a prepared statement, each as its column takes it.
link_status bind_load_params(SQLHSTMT statement, const std::vector<const column_desc*>& columns,
                             const load_row& values, odbc_param_buffers& buffers,
                             const std::wstring& driver_name);

/// A statement over an allocated ODBC statement handle.
std::unique_ptr<link_statement> make_odbc_statement(odbc_handle handle,
                                                    const std::wstring& driver_name);

} // namespace plat::oledb
