// oledb_names.h: table and column names quoted the way the connected driver reads identifiers.
#pragma once

#include "plat/oledb/oledb_connstr.h"

#include <string>
#include <string_view>

namespace plat::oledb
{

/// One identifier: [name] with ']' doubled, or "name" with '"' doubled for PostgreSQL.
std::wstring quote_identifier(std::wstring_view name, driver_kind kind);

/// The name as the driver quotes identifiers: verbatim when it is already quoted ([..] or
/// ".."); else quote_identifier.
std::wstring quote_table_name(std::wstring_view name, driver_kind kind);

/// "SET IDENTITY_INSERT <table> ON" or "... OFF", for a table name already quoted.
std::wstring identity_insert_sql(std::wstring_view quoted_table, bool on);

} // namespace plat::oledb
