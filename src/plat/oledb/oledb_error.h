// oledb_error.h: the per-thread error object of the stand-in and the records it carries.
#pragma once

#include "plat/oledb/oledb_interfaces.h"

#include <optional>
#include <string>
#include <vector>

namespace plat::oledb
{

/// One error record: the failing call's code, the native error (the minor code), the texts and,
/// for errors that came from the database, the SQLSTATE.
struct error_record
{
    HRESULT hr = E_FAIL;
    DWORD minor = 0;
    std::wstring source;
    std::wstring description;
    std::optional<std::wstring> sqlstate;

    bool operator==(const error_record&) const = default;
};

/// The source name of errors the stand-in raises itself.
inline constexpr const wchar_t* layer_error_source = L"zov OLE DB over ODBC";

/// An error object (IErrorInfo and IErrorRecords) holding the records; its own IErrorInfo
/// answers the first record's texts.
com_ref<IErrorInfo> make_error_object(std::vector<error_record> records);

/// Replaces the calling thread's error object; no records clears it.
void post_errors(std::vector<error_record> records);

/// Posts one record of the stand-in's own and answers `hr`, for failures found before any
/// driver was called.
HRESULT post_layer_error(HRESULT hr, const std::wstring& description);

/// Clears the thread's error object: every entry point of the stand-in starts with this, so an
/// error object always belongs to the last failing call.
void clear_errors();

} // namespace plat::oledb
