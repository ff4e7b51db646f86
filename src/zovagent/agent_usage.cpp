// agent_usage.cpp: the usage text and the checks of --mode=, --pgport= and logged arguments.
#include "convertor/udb_converter.h"
#include "zovagent/agent_options.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>

namespace
{

constexpr const char* usage_lines[] = {
    "Usage: ZOVAGENT.EXE OPTIONS",
    "",
    "   --dest=...     Microsoft SQL database name",
    "   --help         display this help message and exit",
    "   --logfile=...  path to the file where execution trace will be written",
    "   --mode=...     how to process an existing MySQL database",
    "                  (0 - overwrite the entire database, 1 - overwrite",
    "                  existing tables only, 2 - skip existing tables,",
    "                  3 - merge)",
    "   --mssqlh=...   MS SQL server IP address or network name",
    "   --mssqlu=...   MS SQL user name",
    "   --mssqlp=...   MS SQL user password",
    "   --pgport=...   PostgreSQL port",
    "   --posgsh=...   PostgreSQL server IP address or network name",
    "   --posgsu=...   PostgreSQL user name",
    "   --posgsp=...   PostgreSQL user password",
    "   --profile=...  path to the file to load conversion settings from",
    "   --silent       disable program output",
    "   --skip_idx     skip converting indexes",
    "   --src=...      PostgreSQL database name",
    "   --tab_def      convert table definitions only",
    "   --tab_file=... file containing the list of tables to convert",
    "                  (one table name per line)",
    "",
    "NOTES:",
    "   1) You can omit 'posgsh' or 'mssqlh' to connect local database server.",
    "   2) It is necessary to specify 'port' parameter only if it deffers from",
    "      the default PostgreSQL port 5432.",
    "   3) If you omit 'tab_file' parameter, all database tables will be converted.",
    "   4) If you omit 'mode' parameter, default mode 'overwrite the entire",
    "      database' will be used."};

constexpr const char* secret_prefixes[] = {"--mssqlp=", "--posgsp="};

} // namespace

std::string usage_text()
{
    std::string text = "zovagent v" + std::to_string(agent_version_major) + "." +
                       std::to_string(agent_version_minor) +
                       ": converts a PostgreSQL database to a Microsoft SQL Server database";
    for (const char* line : usage_lines)
    {
        text += '\n';
        text += line;
    }
    return text;
}

std::optional<int> agent_mode(const char* text)
{
    // strtol, unlike atol, reports a number too large for a long instead of being undefined.
    errno = 0;
    char* end = nullptr;
    const long value = std::strtol(text, &end, 10);
    if (end == text || *end != '\0' || errno == ERANGE)
    {
        return std::nullopt;
    }
    // Only the plain decimal form: no sign, no leading zero, no blank.
    if (std::to_string(value) != text ||
        value < static_cast<long>(conversion_mode::overwrite_database) ||
        value > static_cast<long>(conversion_mode::merge_update))
    {
        return std::nullopt;
    }
    return static_cast<int>(value);
}

std::optional<int> agent_port(const std::string& text)
{
    if (text.empty())
    {
        return 0;
    }
    if (text.find_first_not_of("0123456789") != std::string::npos)
    {
        return std::nullopt;
    }
    errno = 0;
    const long value = std::strtol(text.c_str(), nullptr, 10);
    if (errno == ERANGE || value > 65535)
    {
        return std::nullopt;
    }
    return static_cast<int>(value);
}

std::string masked_argument(const char* argument)
{
    for (const char* prefix : secret_prefixes)
    {
        const std::size_t length = std::strlen(prefix);
        if (std::strncmp(argument, prefix, length) == 0 && argument[length] != '\0')
        {
            return std::string(prefix) + "***";
        }
    }
    return argument;
}
