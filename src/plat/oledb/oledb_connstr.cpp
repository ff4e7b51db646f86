// oledb_connstr.cpp: driver kinds, connection-string quoting and the initialisation-string parser.
#include "plat/oledb/oledb_connstr.h"

#include "plat/plat_text.h"

namespace plat::oledb
{
namespace
{

bool contains_ci(std::wstring_view text, std::wstring_view part)
{
    std::wstring folded(text);
    std::wstring folded_part(part);
    ascii_lower(folded);
    ascii_lower(folded_part);
    return folded.find(folded_part) != std::wstring::npos;
}

std::wstring_view trim(std::wstring_view text)
{
    const auto first = text.find_first_not_of(L" \t");
    if (first == std::wstring_view::npos)
    {
        return {};
    }
    const auto last = text.find_last_not_of(L" \t");
    return text.substr(first, last - first + 1);
}

// How a driver's parser reads a value. Microsoft's reads "}}" inside braces as one brace;
// FreeTDS's ends a braced value at the first "};" and takes "}}" literally; psqlODBC knows
// braces only for the password and has no escape for '}' there; the SQLite driver knows none.
enum class value_style
{
    braced,
    braced_freetds,
    braced_no_brace,
    plain
};

value_style style_for(driver_kind kind, std::wstring_view keyword)
{
    switch (kind)
    {
    case driver_kind::freetds:
        return value_style::braced_freetds;
    case driver_kind::postgresql:
        return keyword == L"PWD" ? value_style::braced_no_brace : value_style::plain;
    case driver_kind::sqlite:
        return value_style::plain;
    default:
        return value_style::braced;
    }
}

std::wstring driver_label(driver_kind kind)
{
    switch (kind)
    {
    case driver_kind::freetds:
        return L"the FreeTDS driver";
    case driver_kind::postgresql:
        return L"the PostgreSQL driver";
    case driver_kind::sqlite:
        return L"the SQLite driver";
    default:
        return L"the driver";
    }
}

// One connection keyword, or false with the reason when the driver cannot carry the value.
bool append_value(std::wstring& out, std::wstring_view keyword, std::wstring_view value,
                  driver_kind kind, std::wstring& error)
{
    const std::wstring name(keyword);
    if (value.find(L'\0') != std::wstring_view::npos)
    {
        error = L"The value of " + name + L" holds a NUL character.";
        return false;
    }
    const value_style style = style_for(kind, keyword);
    std::wstring refused;
    if (style == value_style::plain && (value.find_first_of(L";{}") != std::wstring_view::npos ||
                                        trim(value).size() != value.size()))
    {
        refused = L"';', a brace or outer blanks";
    }
    else if (style == value_style::braced_freetds && value.find(L"};") != std::wstring_view::npos)
    {
        refused = L"\"};\"";
    }
    else if (style == value_style::braced_no_brace && value.find(L'}') != std::wstring_view::npos)
    {
        refused = L"'}'";
    }
    if (!refused.empty())
    {
        error = L"The value of " + name + L" holds " + refused + L", which " + driver_label(kind) +
                L" cannot take in a connection string.";
        return false;
    }
    out += name;
    if (style == value_style::plain)
    {
        out += L'=';
        out += value;
        out += L';';
        return true;
    }
    out += L"={";
    for (const wchar_t c : value)
    {
        out.push_back(c);
        if (c == L'}' && style == value_style::braced)
        {
            out.push_back(L'}');
        }
    }
    out += L"};";
    return true;
}

// "host,port" as two keywords for the drivers that want them apart.
void split_server(const std::wstring& server, std::wstring& host, std::wstring& port)
{
    const auto comma = server.rfind(L',');
    if (comma == std::wstring::npos)
    {
        host = server;
        port.clear();
        return;
    }
    host = std::wstring(trim(std::wstring_view(server).substr(0, comma)));
    port = std::wstring(trim(std::wstring_view(server).substr(comma + 1)));
}

} // namespace

driver_kind kind_of_driver(std::wstring_view name, std::wstring_view library)
{
    if (contains_ci(library, L"tdsodbc") || contains_ci(name, L"freetds"))
    {
        return driver_kind::freetds;
    }
    if (contains_ci(library, L"msodbcsql") ||
        (contains_ci(name, L"odbc driver") && contains_ci(name, L"sql server")))
    {
        return driver_kind::microsoft;
    }
    if (contains_ci(library, L"psqlodbc") || contains_ci(name, L"postgresql"))
    {
        return driver_kind::postgresql;
    }
    if (contains_ci(library, L"sqlite") || contains_ci(name, L"sqlite"))
    {
        return driver_kind::sqlite;
    }
    return driver_kind::other;
}

std::optional<std::wstring> build_connection_string(const driver_choice& driver,
                                                    const connection_settings& settings,
                                                    std::wstring_view extra, std::wstring& error)
{
    std::wstring out;
    // The driver name is braced like every value; FreeTDS never sees it (the driver manager
    // consumes it).
    if (!append_value(out, L"Driver", driver.name, driver_kind::microsoft, error))
    {
        return std::nullopt;
    }
    const driver_kind kind = driver.kind;
    bool ok = true;
    if (kind == driver_kind::sqlite)
    {
        ok = append_value(out, L"Database", settings.server, kind, error);
    }
    else
    {
        if (kind == driver_kind::freetds || kind == driver_kind::postgresql)
        {
            std::wstring host;
            std::wstring port;
            split_server(settings.server, host, port);
            if (kind == driver_kind::freetds)
            {
                // FreeTDS has no default for either: an empty host ("the local server") is this
                // machine, and without a port or an instance name it would not connect at all.
                if (host.empty() || host == L"." || host == L"(local)")
                {
                    host = L"localhost";
                }
                if (port.empty() && host.find(L'\\') == std::wstring::npos)
                {
                    port = L"1433";
                }
            }
            ok = append_value(out, L"Server", host, kind, error) &&
                 (port.empty() || append_value(out, L"Port", port, kind, error));
        }
        else
        {
            ok = append_value(out, L"Server", settings.server, kind, error);
        }
        if (ok && !settings.catalog.empty())
        {
            ok = append_value(out, L"Database", settings.catalog, kind, error);
        }
        if (ok && settings.integrated)
        {
            out += L"Trusted_Connection=yes;";
        }
        else if (ok && !settings.user.empty())
        {
            ok = append_value(out, L"UID", settings.user, kind, error) &&
                 append_value(out, L"PWD", settings.password, kind, error);
        }
        if (ok && kind == driver_kind::freetds)
        {
            out += L"TDS_Version=" + driver.tds_version + L";ClientCharset=UTF-8;";
        }
    }
    if (!ok)
    {
        return std::nullopt;
    }
    const std::wstring_view more = trim(extra);
    if (!more.empty())
    {
        out += more;
        if (more.back() != L';')
        {
            out += L';';
        }
    }
    return out;
}

std::optional<connection_settings> parse_init_string(std::wstring_view text, std::wstring& error)
{
    connection_settings settings;
    std::size_t position = 0;
    while (position < text.size())
    {
        const auto equals = text.find(L'=', position);
        const auto semicolon = text.find(L';', position);
        if (equals == std::wstring_view::npos || semicolon < equals)
        {
            if (!trim(text.substr(position, semicolon - position)).empty())
            {
                error = L"A part of the initialisation string has no '=': " +
                        std::wstring(trim(text.substr(position, semicolon - position)));
                return std::nullopt;
            }
            position = semicolon == std::wstring_view::npos ? text.size() : semicolon + 1;
            continue;
        }
        std::wstring key(trim(text.substr(position, equals - position)));
        ascii_lower(key);
        std::size_t cursor = equals + 1;
        while (cursor < text.size() && (text[cursor] == L' ' || text[cursor] == L'\t'))
        {
            ++cursor;
        }
        std::wstring value;
        if (cursor < text.size() && (text[cursor] == L'"' || text[cursor] == L'\''))
        {
            const wchar_t quote = text[cursor++];
            bool closed = false;
            while (cursor < text.size())
            {
                if (text[cursor] == quote)
                {
                    if (cursor + 1 < text.size() && text[cursor + 1] == quote)
                    {
                        value.push_back(quote);
                        cursor += 2;
                        continue;
                    }
                    closed = true;
                    ++cursor;
                    break;
                }
                value.push_back(text[cursor++]);
            }
            const auto end = text.find(L';', cursor);
            const std::wstring_view rest =
                trim(text.substr(cursor, end == std::wstring_view::npos ? end : end - cursor));
            if (!closed || !rest.empty())
            {
                error = L"The quoted value of '" + key + L"' is not closed properly.";
                return std::nullopt;
            }
            position = end == std::wstring_view::npos ? text.size() : end + 1;
        }
        else
        {
            const auto end = text.find(L';', cursor);
            value = trim(text.substr(cursor, end == std::wstring_view::npos ? end : end - cursor));
            position = end == std::wstring_view::npos ? text.size() : end + 1;
        }
        if (key == L"data source" || key == L"server")
        {
            settings.server = value;
        }
        else if (key == L"initial catalog" || key == L"database")
        {
            settings.catalog = value;
        }
        else if (key == L"user id" || key == L"uid")
        {
            settings.user = value;
        }
        else if (key == L"password" || key == L"pwd")
        {
            settings.password = value;
        }
        else if (key == L"integrated security" || key == L"trusted_connection")
        {
            settings.integrated =
                equal_ci(value, L"sspi") || equal_ci(value, L"true") || equal_ci(value, L"yes");
        }
    }
    return settings;
}

std::wstring quote_init_value(std::wstring_view value)
{
    const bool needs_quotes = value.find_first_of(L";=\"'") != std::wstring_view::npos ||
                              (!value.empty() && (value.front() == L' ' || value.back() == L' '));
    if (!needs_quotes)
    {
        return std::wstring(value);
    }
    std::wstring out = L"\"";
    for (const wchar_t c : value)
    {
        out.push_back(c);
        if (c == L'"')
        {
            out.push_back(L'"');
        }
    }
    out.push_back(L'"');
    return out;
}

} // namespace plat::oledb
