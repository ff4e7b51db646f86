// oledb_connstr.h: ODBC drivers for the providers, connection strings built from the
// initialisation properties, and the parsing of initialisation strings.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace plat::oledb
{

/// How a driver takes its connection keywords.
enum class driver_kind
{
    microsoft, ///< Microsoft's ODBC Driver 17/18 for SQL Server
    freetds,
    postgresql,
    sqlite,
    other
};

/// A driver a provider may use.
struct driver_choice
{
    std::wstring name;
    driver_kind kind = driver_kind::other;
    /// TDS protocol version for FreeTDS ("7.4"); empty for other drivers.
    std::wstring tds_version;

    bool operator==(const driver_choice&) const = default;
};

/// The kind of a driver from its registered name and library file.
driver_kind kind_of_driver(std::wstring_view name, std::wstring_view library);

/// The initialisation properties a data source connects with.
struct connection_settings
{
    std::wstring server;
    std::wstring user;
    std::wstring password;
    std::wstring catalog;
    /// Windows authentication (DBPROP_AUTH_INTEGRATED, "Integrated Security=SSPI").
    bool integrated = false;

    bool operator==(const connection_settings&) const = default;
};

/// Builds the ODBC connection string. Every value is brace-quoted; a value the driver cannot
/// carry (a NUL anywhere, "};" for FreeTDS, whose parser ends a braced value there) gives
/// nullopt and the reason in `error`. `extra` (ZOV_ODBC_EXTRA) is appended as it stands.
std::optional<std::wstring> build_connection_string(const driver_choice& driver,
                                                    const connection_settings& settings,
                                                    std::wstring_view extra, std::wstring& error);

/// Parses an initialisation string ("Provider=sqloledb;Data Source=S;User Id=U;Password=P;").
/// Keys are case-insensitive; values may be quoted with " or ' (the quote doubled inside).
/// Unknown keys are ignored. nullopt and the reason in `error` for a malformed string.
std::optional<connection_settings> parse_init_string(std::wstring_view text, std::wstring& error);

/// Quotes an initialisation-string value when it needs it (a ';', '=', quote or outer blank):
/// double quotes with embedded double quotes doubled. Plain values come back as they are.
std::wstring quote_init_value(std::wstring_view value);

} // namespace plat::oledb
