// pgs_engine.cpp: connecting, reconnecting to a database, and the server-wide lists.
#include "pgs/pgs_engine.h"

#include "pgs/pgs_database.h"
#include "pgs/pgs_exception.h"
#include "tk/tk_logger.h"
#include "tk/tk_string.h"

#include <pqxx/result>
#include <pqxx/transaction>

namespace
{

// The log keeps the password's presence but never its text.
std::string masked(const std::string& password)
{
    return password.empty() ? std::string() : std::string("********");
}

} // namespace

std::string pgs_conninfo_value(const std::string& value)
{
    if (!value.empty() && value.find_first_of(" \t\n\r\f\v'\\") == std::string::npos)
    {
        return value;
    }
    std::string quoted = "'";
    for (const char c : value)
    {
        if (c == '\'' || c == '\\')
        {
            quoted += '\\';
        }
        quoted += c;
    }
    quoted += '\'';
    return quoted;
}

pgs_engine::pgs_engine()
{
    tk_log(2, "pgs_engine::ctor");
}

pgs_engine::~pgs_engine()
{
    tk_log(2, "pgs_engine::dtor");
    m_connection.reset();
}

std::wstring pgs_engine::fold_name(const std::wstring& name) const
{
    if (m_case_sensitive)
    {
        return name;
    }
    return tk_wstring(name).to_lower();
}

pgs_connection_strings pgs_engine::make_connection_strings(const std::string& host,
                                                           const std::string& user,
                                                           const std::string& password,
                                                           const std::string& database, int port)
{
    pgs_connection_strings strings;
    std::string& s1 = strings.with_database;
    m_user = user;
    s1 = "user=" + pgs_conninfo_value(m_user);
    m_password = password;
    s1 += " password=" + pgs_conninfo_value(m_password);
    if (!host.empty())
    {
        m_host = host;
        s1 += " host=" + pgs_conninfo_value(m_host);
    }
    strings.without_database = s1;
    if (!database.empty())
    {
        m_database = m_case_sensitive ? database : tk_string(database).to_lower();
    }
    else
    {
        m_database = "postgres";
    }
    s1 += " dbname=" + pgs_conninfo_value(m_database);
    if (port != 0)
    {
        m_port = port;
        const std::string port_text = " port=" + std::to_string(port);
        s1 += port_text;
        strings.without_database += port_text;
    }
    return strings;
}

void pgs_engine::open_connection(const std::string& conninfo, bool set_variable)
{
    auto opened = std::make_unique<pgs_connection>(conninfo + " " + pgs_liveness_options);
    // The previous connection goes only once the new one is open.
    m_connection = std::move(opened);
    if (set_variable)
    {
        m_connection->get().set_variable("CLIENT_ENCODING", "UTF8");
    }
    else
    {
        m_connection->get().set_client_encoding("UTF8");
    }
    tk_log(1, "The connection has been established");
}

void pgs_engine::connect(const std::string& host, const std::string& user,
                         const std::string& password, const std::string& database, int port)
{
    tk_log(2, "pgs_engine::connect(%s,%s,%s,%d)", host, user, masked(password), port);
    tk_log(1, "database=%s", database);
    const pgs_connection_strings strings =
        make_connection_strings(host, user, password, database, port);
    try
    {
        tk_log(3, "Connecting to PostgreSQL server (1)...");
        pgs_checked([&] { open_connection(strings.with_database, true); });
        return;
    }
    catch (const pgs_exception&)
    {
        if (!database.empty())
        {
            throw;
        }
    }
    tk_log(3, "Connecting to PostgreSQL server (2)...");
    pgs_checked([&] { open_connection(strings.without_database, false); });
}

std::unique_ptr<pgs_database> pgs_engine::open_db(const std::wstring& database, int mode,
                                                  const std::wstring& schema)
{
    tk_wlog(1, L"pgs_engine::open_db(%s,%d,%s)", database, mode, schema);
    connect(m_host, m_user, m_password, tk_string::to_utf8(database), m_port);
    return std::make_unique<pgs_database>(database, schema, mode);
}

pqxx::connection& pgs_engine::connection()
{
    if (m_connection == nullptr)
    {
        throw pgs_exception("Not connected to a PostgreSQL server");
    }
    return m_connection->get();
}

bool pgs_engine::is_db_exist(const std::wstring& name)
{
    tk_wlog(2, L"pgs_engine::is_db_exist(%s)", name);
    const std::string utf8_name = tk_string::to_utf8(fold_name(name));
    static const char sql[] =
        "SELECT datname FROM pg_database WHERE datistemplate = false and datname = $1";
    tk_log(1, "query=%s", sql);
    return pgs_checked(
        [&]
        {
            pqxx::work transaction(connection(), "get_contents");
            return !transaction.exec_params(sql, utf8_name).empty();
        });
}

std::vector<std::wstring> pgs_engine::get_contents()
{
    tk_log(2, "pgs_engine::get_contents");
    const pqxx::result rows = pgs_checked(
        [&]
        {
            pqxx::work transaction(connection(), "get_contents");
            return transaction.exec("SELECT datname FROM pg_database WHERE datistemplate = false");
        });
    std::vector<std::wstring> names;
    names.reserve(rows.size());
    for (const auto& row : rows)
    {
        names.push_back(tk_wstring::from_utf8(row[0].c_str()));
    }
    return names;
}

std::wstring pgs_quote_ident(const std::wstring& identifier)
{
    std::wstring quoted = L"\"";
    for (const wchar_t c : identifier)
    {
        if (c == L'"')
        {
            quoted += L'"';
        }
        quoted += c;
    }
    quoted += L'"';
    return quoted;
}

std::wstring make_name(const std::wstring& name)
{
    const pgs_engine& engine = pgs_engine::instance();
    tk_wlog(1, L"pgs_engine::make_name(%s,%d)", name, engine.case_sensitive());
    const std::wstring folded = engine.fold_name(name);
    const std::size_t dot = folded.find(L'.');
    if (dot == std::wstring::npos)
    {
        return pgs_quote_ident(folded);
    }
    return pgs_quote_ident(folded.substr(0, dot)) + L"." + pgs_quote_ident(folded.substr(dot + 1));
}
