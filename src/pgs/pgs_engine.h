// pgs_engine.h: the PostgreSQL engine, owner of the process's one PostgreSQL connection.
#pragma once

#include "pgs/pgs_connection.h"
#include "pgs/pgs_validator.h"
#include "tk/tk_singleton.h"

#include <memory>
#include <string>
#include <vector>

class pgs_database;

/// The two libpq connection strings of a connect: with the database and without it (the
/// fallback that lets libpq pick its default database).
struct pgs_connection_strings
{
    std::string with_database;
    std::string without_database;
};

/// A value as a libpq connection string carries it: unchanged when plain, else in single quotes
/// with quotes and backslashes escaped, so an empty value or one holding blanks or quotes never
/// shifts the keywords after it.
std::string pgs_conninfo_value(const std::string& value);

/// Added to every connection string: how soon a server that is gone is noticed. A server
/// that closes the connection is seen at the next call anyway; one that vanishes without a word
/// (host down, cable cut) would otherwise leave a read waiting for hours. Probes start after 10
/// idle seconds and three unanswered ones 5 seconds apart end the connection, so a silent
/// server is given up after about 25 seconds while the socket waits. A row fetch that waits on a
/// long server-side scan is not affected: the server's kernel answers the probes. Sent data
/// unacknowledged for 30 seconds ends it too, and a connection attempt gives up after 30.
inline constexpr const char* pgs_liveness_options =
    "connect_timeout=30 keepalives=1 keepalives_idle=10 keepalives_interval=5 "
    "keepalives_count=3 tcp_user_timeout=30000";

/// The process's PostgreSQL engine: connection settings, the one connection, the switches the
/// source database and recordsets read through the singleton.
class pgs_engine : public tk_singleton<pgs_engine>
{
public:
    /// Throws tk_mail_assertion when an engine already exists. Does not connect.
    pgs_engine();
    ~pgs_engine() override;

    /// Connects, replacing the current connection once the new one is open. With an empty
    /// `database` a failure of "postgres" falls back to libpq's default database; a named
    /// database never falls back. A zero `port` and an empty `host` keep the stored ones out
    /// of the string. Throws pgs_exception with libpq's text.
    void connect(const std::string& host, const std::string& user, const std::string& password,
                 const std::string& database, int port);

    /// Reconnects to `database` with the stored settings and opens it as a source database
    /// listing the tables of `schema` (every non-system schema when empty). Throws
    /// pgs_exception.
    std::unique_ptr<pgs_database> open_db(const std::wstring& database, int mode,
                                          const std::wstring& schema);

    /// True when a non-template database of that name exists. Throws pgs_exception.
    bool is_db_exist(const std::wstring& name);
    /// The names of the non-template databases. Throws pgs_exception.
    std::vector<std::wstring> get_contents();

    /// Builds both connection strings for `connect`, storing the values as connect does.
    pgs_connection_strings make_connection_strings(const std::string& host, const std::string& user,
                                                   const std::string& password,
                                                   const std::string& database, int port);

    /// The open connection; throws pgs_exception when there is none.
    pqxx::connection& connection();
    bool is_connected() const { return m_connection != nullptr; }

    bool case_sensitive() const { return m_case_sensitive; }
    void set_case_sensitive(bool on) { m_case_sensitive = on; }
    bool no_schema() const { return m_no_schema; }
    void set_no_schema(bool on) { m_no_schema = on; }
    bool fast_append_enabled() const { return m_fast_append_enabled; }
    void set_fast_append_enabled(bool on) { m_fast_append_enabled = on; }

    const std::string& database() const { return m_database; }
    const std::string& host() const { return m_host; }
    const std::string& user() const { return m_user; }
    const std::string& password() const { return m_password; }
    int port() const { return m_port; }

    /// The name lower-cased unless the engine is case-sensitive.
    std::wstring fold_name(const std::wstring& name) const;

private:
    void open_connection(const std::string& conninfo, bool set_variable);

    bool m_case_sensitive = false;
    std::string m_database;
    std::string m_host;
    std::string m_user;
    std::string m_password;
    int m_port = 0;
    std::unique_ptr<pgs_connection> m_connection;
    pgs_in_validator m_index_validator;
    bool m_fast_append_enabled = true;
    bool m_no_schema = false;
};

/// A PostgreSQL name ready for SQL: lower-cased unless the engine is case-sensitive, embedded
/// double quotes doubled, and quoted around its first dot ("schema"."table", or "table" alone).
/// Throws tk_mail_assertion when no engine exists.
std::wstring make_name(const std::wstring& name);

/// One identifier in double quotes, embedded double quotes doubled; no change of case.
std::wstring pgs_quote_ident(const std::wstring& identifier);
