// oledb_providers.h: the providers of the stand-in, the ODBC drivers each one uses, and their
// registration in the class table at start-up.
#pragma once

#include "plat/oledb/oledb_com.h"
#include "plat/oledb/oledb_connstr.h"
#include "plat/oledb/oledb_link.h"

#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace plat::oledb
{

/// The three ways to a SQL Server the system knows.
enum class provider_kind
{
    native_client_11,
    native_client_10,
    generic ///< the data-initialisation service's "sqloledb"
};

/// The drivers a provider tries, best first: Native Client 11.0 takes Microsoft's Driver 18,
/// then 17, then FreeTDS with TDS 7.4; Native Client 10.0 FreeTDS with TDS 7.3; the generic
/// path FreeTDS with TDS 7.1.
std::vector<driver_choice> default_drivers(provider_kind provider);

/// The drivers after the ZOV_ODBC_DRIVERS override: "A,B" replaces every provider's list;
/// "sqlncli11=A,B;sqlncli10=;sqloledb=C" replaces the lists named (an empty list leaves that
/// provider without a driver). An empty override keeps the defaults. `library_of` gives a
/// driver's library file, which tells its kind.
std::vector<driver_choice>
drivers_for(provider_kind provider, const std::string& override_value,
            const std::function<std::wstring(const std::wstring&)>& library_of);

/// What the providers need from the outside world; tests replace the ODBC parts with fakes.
struct provider_setup
{
    /// True when the driver is registered with unixODBC and its library file is there.
    std::function<bool(const std::wstring& driver)> driver_installed;
    /// The driver's library file (empty when unknown).
    std::function<std::wstring(const std::wstring& driver)> driver_library;
    /// Makes an unconnected link to a driver.
    std::function<std::unique_ptr<link>(const driver_choice& driver)> make_link;
    /// ZOV_ODBC_DRIVERS.
    std::string drivers_override;
    /// ZOV_ODBC_EXTRA.
    std::wstring extra_keywords;
    /// Whether data sources may switch fast load on.
    bool fast_load = false;
};

/// The setup over unixODBC, with the overrides read from the environment. The ODBC environment
/// is made here and shared by everything the providers create.
provider_setup odbc_provider_setup();

/// Enters the Native Client 11.0 and 10.0 providers, the data-initialisation service and the
/// data-conversion library into the table. A provider none of whose drivers is installed answers
/// REGDB_E_CLASSNOTREG when created.
void register_providers(class_table& table, provider_setup setup);

/// register_providers(table, odbc_provider_setup()): the call programs make at start-up.
void register_providers(class_table& table);

} // namespace plat::oledb
