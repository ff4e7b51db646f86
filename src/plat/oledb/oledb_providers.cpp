// oledb_providers.cpp: choosing each provider's driver and the factories of the class table.
#include "plat/oledb/oledb_providers.h"

#include "plat/oledb/odbc_link.h"
#include "plat/oledb/oledb_objects.h"
#include "plat/plat_text.h"

#include <cstdlib>

namespace plat::oledb
{
namespace
{

const wchar_t* tds_version_of(provider_kind provider)
{
    switch (provider)
    {
    case provider_kind::native_client_11:
        return L"7.4";
    case provider_kind::native_client_10:
        return L"7.3";
    default:
        return L"7.1";
    }
}

const char* key_of(provider_kind provider)
{
    switch (provider)
    {
    case provider_kind::native_client_11:
        return "sqlncli11";
    case provider_kind::native_client_10:
        return "sqlncli10";
    default:
        return "sqloledb";
    }
}

std::string trim(const std::string& text)
{
    const auto first = text.find_first_not_of(" \t");
    if (first == std::string::npos)
    {
        return {};
    }
    return text.substr(first, text.find_last_not_of(" \t") - first + 1);
}

std::vector<std::string> split(const std::string& text, char separator)
{
    std::vector<std::string> parts;
    std::size_t start = 0;
    for (;;)
    {
        const auto end = text.find(separator, start);
        parts.push_back(trim(text.substr(start, end - start)));
        if (end == std::string::npos)
        {
            return parts;
        }
        start = end + 1;
    }
}

std::string env_text(const char* name)
{
    const char* value = std::getenv(name);
    return value != nullptr ? std::string(value) : std::string();
}

class_factory native_factory(provider_kind provider, const provider_setup& setup)
{
    return [provider, setup](REFIID riid, void** object) -> HRESULT
    {
        for (driver_choice& driver :
             drivers_for(provider, setup.drivers_override, setup.driver_library))
        {
            if (!setup.driver_installed(driver.name))
            {
                continue;
            }
            auto context = std::make_shared<provider_context>();
            context->native =
                provider != provider_kind::generic &&
                (driver.kind == driver_kind::microsoft || driver.kind == driver_kind::freetds);
            context->make_link = [make_link = setup.make_link, driver]()
            { return make_link(driver); };
            context->driver = std::move(driver);
            context->extra_keywords = setup.extra_keywords;
            context->fast_load = setup.fast_load;
            if (provider == provider_kind::generic)
            {
                return query_out(make_data_initialize(std::move(context)).get(), riid, object);
            }
            return query_out(make_data_source(std::move(context)).get(), riid, object);
        }
        return REGDB_E_CLASSNOTREG;
    };
}

} // namespace

std::vector<driver_choice> default_drivers(provider_kind provider)
{
    const std::wstring tds = tds_version_of(provider);
    if (provider == provider_kind::native_client_11)
    {
        return {{L"ODBC Driver 18 for SQL Server", driver_kind::microsoft, L""},
                {L"ODBC Driver 17 for SQL Server", driver_kind::microsoft, L""},
                {L"FreeTDS", driver_kind::freetds, tds}};
    }
    return {{L"FreeTDS", driver_kind::freetds, tds}};
}

std::vector<driver_choice>
drivers_for(provider_kind provider, const std::string& override_value,
            const std::function<std::wstring(const std::wstring&)>& library_of)
{
    if (trim(override_value).empty())
    {
        return default_drivers(provider);
    }
    std::optional<std::string> list;
    for (const std::string& entry : split(override_value, ';'))
    {
        const auto equals = entry.find('=');
        if (equals == std::string::npos)
        {
            if (!entry.empty())
            {
                list = entry;
            }
            continue;
        }
        std::string key = trim(entry.substr(0, equals));
        ascii_lower(key);
        if (key == key_of(provider))
        {
            list = entry.substr(equals + 1);
        }
    }
    if (!list)
    {
        return default_drivers(provider);
    }
    std::vector<driver_choice> drivers;
    for (const std::string& name : split(*list, ','))
    {
        if (name.empty())
        {
            continue;
        }
        driver_choice driver;
        driver.name = utf8_to_wide_lossy(name);
        driver.kind = kind_of_driver(driver.name, library_of ? library_of(driver.name) : L"");
        if (driver.kind == driver_kind::freetds)
        {
            driver.tds_version = tds_version_of(provider);
        }
        drivers.push_back(std::move(driver));
    }
    return drivers;
}

provider_setup odbc_provider_setup()
{
    provider_setup setup;
    std::shared_ptr<odbc_environment> environment = make_odbc_environment();
    setup.driver_installed = [environment](const std::wstring& driver)
    { return odbc_driver_installed(environment, driver); };
    setup.driver_library = [environment](const std::wstring& driver)
    { return odbc_driver_library(environment, driver); };
    setup.make_link = [environment](const driver_choice& driver)
    { return make_odbc_link(environment, driver.name, driver.kind); };
    setup.drivers_override = env_text("ZOV_ODBC_DRIVERS");
    setup.extra_keywords = utf8_to_wide_lossy(env_text("ZOV_ODBC_EXTRA"));
    // Bulk copy where the driver has it, INSERT batches elsewhere; ZOV_NO_FAST_LOAD=1 still
    // refuses the switch at the data source.
    setup.fast_load = true;
    return setup;
}

void register_providers(class_table& table, provider_setup setup)
{
    table.register_class(CLSID_SQLNCLI11, native_factory(provider_kind::native_client_11, setup));
    table.register_class(CLSID_SQLNCLI10, native_factory(provider_kind::native_client_10, setup));
    table.register_class(CLSID_MSDAINITIALIZE, native_factory(provider_kind::generic, setup));
    table.register_class(CLSID_OLEDB_CONVERSIONLIBRARY, [](REFIID riid, void** object)
                         { return query_out(make_data_convert().get(), riid, object); });
}

void register_providers(class_table& table)
{
    register_providers(table, odbc_provider_setup());
}

} // namespace plat::oledb
