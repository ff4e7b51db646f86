// odbc_bulk.h: the SQL Server bulk-copy extension of the ODBC drivers: FreeTDS's through
// connection attributes, Microsoft's through the functions its library exports.
#pragma once

#include "plat/oledb/oledb_link.h"

#include <memory>
#include <sql.h>
#include <string>

namespace plat::oledb
{

/// SQL_COPT_SS_BCP on: both drivers offer bulk copy only on connections that asked for it
/// before connecting.
link_status request_bulk_copy(SQLHDBC connection, const std::wstring& driver_name);

/// FreeTDS's bulk copy: its bcp calls travel as connection attributes through the driver
/// manager, so errors are read from the manager's connection handle.
std::unique_ptr<link_bulk_copy> make_freetds_bulk_copy(SQLHDBC connection,
                                                       const std::wstring& driver_name);

/// Microsoft's bulk copy: the bcp functions of the loaded driver library, called with the
/// driver's own connection handle. Null when the library or a function cannot be found.
std::unique_ptr<link_bulk_copy> make_microsoft_bulk_copy(SQLHDBC connection,
                                                         const std::wstring& driver_name);

} // namespace plat::oledb
