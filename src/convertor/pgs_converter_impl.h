// pgs_converter_impl.h: the PostgreSQL side of the converter: connection settings, the engine,
// the source side and the lists the front-ends offer.
#pragma once

#include "convertor/conversion_sides.h"
#include "pgs/pgs_engine.h"

#include <memory>
#include <optional>
#include <string>
#include <vector>

class udb_profile;

/// PostgreSQL connection settings, the process's PostgreSQL engine and the source side over it.
/// Host, user and password are UTF-8.
class pgs_converter_impl
{
public:
    pgs_converter_impl();

    void set_connection(const std::string& host, const std::string& user,
                        const std::string& password, int port);
    /// Connects to the server's default database; throws pgs_exception.
    void connect_pgs_server();
    /// The server's non-template databases; throws pgs_exception.
    void get_databases(std::vector<std::wstring>& list);
    /// The schemas of `database`. Never throws a tk_exception: a failure is logged and the list
    /// holds what was read (nothing when the database cannot be opened).
    void get_pgs_schemas(const std::wstring& database, std::vector<std::wstring>& list);
    /// Logs and answers true.
    bool test_query(const std::wstring& sql);

    /// The schema whose tables are listed and read ("public" by default).
    std::wstring get_schema() const { return m_schema; }
    void set_schema(const std::wstring& schema) { m_schema = schema; }
    /// Table names without their schema; the engine keeps a copy of the flag.
    bool no_schema() const { return m_no_schema; }
    void set_no_schema(bool on);

    const std::string& pgs_host() const { return m_host; }
    const std::string& pgs_user() const { return m_user; }
    const std::string& pgs_password() const { return m_password; }
    /// 0 means the default port.
    int port() const { return m_port; }
    /// True once a loaded profile gave host, port, user or password a value: the agent then
    /// keeps the profile's connection whole instead of its own connection options.
    bool pgs_connection_in_profile() const { return m_connection_in_profile; }

    pgs_engine& pgs() { return m_engine; }
    /// The source side: the engine, unless a test installed another.
    conversion_source& source() { return *m_source; }
    void set_source(std::unique_ptr<conversion_source> source);

protected:
    ~pgs_converter_impl();

    /// Writes [pgs settings]; host, user and password only when set, the port only when not 0.
    bool store_profile(udb_profile& profile) const;
    /// Throws tk_exception (severity 1) naming the key for a port that pgs_port_from_text
    /// refuses; changes nothing.
    static void check_profile(const udb_profile& profile);
    /// Reads [pgs settings]; a port of blanks only is the default port. Call check_profile
    /// first: a refused port throws here after the other keys were applied.
    bool load_profile(const udb_profile& profile);

    /// For the settings store.
    std::string& host_field() { return m_host; }
    std::string& user_field() { return m_user; }
    std::string& password_field() { return m_password; }
    std::wstring& schema_field() { return m_schema; }
    int& port_field() { return m_port; }

private:
    /// The profile's port; none when the key is empty or missing. Throws as check_profile.
    static std::optional<int> profile_port(const udb_profile& profile);

    int m_port = 0;
    pgs_engine m_engine;
    bool m_no_schema = false;
    bool m_connection_in_profile = false;
    std::wstring m_schema = L"public";
    std::string m_host;
    std::string m_user;
    // Kept in plain text: every reconnect needs it, and the profile and settings store keep it.
    std::string m_password;
    std::unique_ptr<conversion_source> m_source;
};

/// The PostgreSQL port of a text that a person typed (the wizard's port field) or a profile
/// holds: empty, or blanks only, is 0 (the default port); a whole number from 1 to 65535, blanks
/// around it aside, is that port; anything else ("abc", "55499abc", "0", "65536", "-1", "+5432")
/// is refused with nothing.
std::optional<int> pgs_port_from_text(const std::wstring& text);
