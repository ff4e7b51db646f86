// mssql_converter_impl.h: the SQL Server side of the converter: connection settings, the engine
// and the destination side over it.
#pragma once

#include "convertor/conversion_sides.h"
#include "mss/mss_engine.h"
#include "mss/mss_types.h"

#include <memory>
#include <string>

class udb_profile;

/// SQL Server connection settings, the dump settings kept with a profile, the process's SQL
/// Server engine and the destination side over it.
class mssql_converter_impl
{
public:
    mssql_converter_impl();

    void set_connection(const std::wstring& host, const std::wstring& user,
                        const std::wstring& password);
    /// Connects with fast load requested: Windows authentication when sec_log(), else with the
    /// user and password. Throws the destination side's exception.
    void connect_mssql_server();

    /// Windows authentication (no user or password). True by default: the agent's rule for no
    /// login and the settings store's default agree on it.
    bool sec_log() const { return m_sec_log; }
    void set_sec_log(bool on) { m_sec_log = on; }
    const std::wstring& mss_host() const { return m_host; }
    const std::wstring& mss_user() const { return m_user; }
    const std::wstring& mss_password() const { return m_password; }
    /// True once a loaded profile gave server, login, password or windows authentication a
    /// value: the agent then keeps the profile's connection whole instead of its own options.
    bool mss_connection_in_profile() const { return m_connection_in_profile; }
    /// Kept with the profile only; no step of a run reads it.
    mss_dump_options& dump_options() { return m_dump_options; }
    const mss_dump_options& dump_options() const { return m_dump_options; }

    mss_engine& mss() { return m_engine; }
    const mss_engine& mss() const { return m_engine; }
    /// The destination side. Throws tk_exception (severity 1) when this build has none.
    conversion_destination& destination();
    void set_destination(std::unique_ptr<conversion_destination> destination);

protected:
    ~mssql_converter_impl();

    /// Writes [MS SQL Server settings]; the password only when set.
    bool store_profile(udb_profile& profile) const;
    /// Reads [MS SQL Server settings]; a missing or empty key changes nothing.
    bool load_profile(const udb_profile& profile);

    /// For the settings store.
    std::wstring& host_field() { return m_host; }
    std::wstring& user_field() { return m_user; }
    std::wstring& password_field() { return m_password; }

private:
    bool m_sec_log = true;
    bool m_connection_in_profile = false;
    mss_dump_options m_dump_options;
    mss_engine m_engine;
    std::wstring m_host;
    std::wstring m_user;
    // Kept in plain text: the profile and the settings store keep it for the next start.
    std::wstring m_password;
    std::unique_ptr<conversion_destination> m_destination;
};
