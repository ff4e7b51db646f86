// odbc_link.h: the driver link over ODBC 3 (unixODBC): the process's environment, connections
// and statements, with every call checked by the one checking function.
#pragma once

#include "plat/oledb/oledb_connstr.h"
#include "plat/oledb/oledb_link.h"

#include <memory>
#include <string>

namespace plat::oledb
{

/// The process's ODBC environment (ODBC 3 behaviour, connection pooling off). Shared by the
/// providers and every link they made, since those may outlive the registration.
class odbc_environment;

/// Null when the driver manager cannot give an environment.
std::shared_ptr<odbc_environment> make_odbc_environment();

/// A link for the named driver; `driver_name` is also the source of errors whose message carries
/// no bracketed source. `kind` tells which bulk-copy extension the driver has.
std::unique_ptr<link> make_odbc_link(std::shared_ptr<odbc_environment> environment,
                                     std::wstring driver_name,
                                     driver_kind kind = driver_kind::other);

/// True when the driver is registered with unixODBC and its library file is there.
bool odbc_driver_installed(const std::shared_ptr<odbc_environment>& environment,
                           const std::wstring& driver_name);

/// The library file registered for the driver; empty when it is not registered.
std::wstring odbc_driver_library(const std::shared_ptr<odbc_environment>& environment,
                                 const std::wstring& driver_name);

} // namespace plat::oledb
