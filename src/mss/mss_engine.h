// mss_engine.h: the process-wide SQL Server engine: its state, defaults and the accessors every
// SQL Server class reads (version code, login, flags, data conversion).
#pragma once

#include "mss/odb_initializer.h"
#include "mss/ole_com_ptr.h"
#include "plat/oledb/oledb_interfaces.h"
#include "tk/tk_singleton.h"

#include <string>
#include <vector>

/// The SQL Server engine. One instance, built by the converter's SQL Server side (a second one
/// throws tk_mail_assertion) and reached through mss_engine::ref.
class mss_engine : public tk_singleton<mss_engine>
{
public:
    /// Version codes (version_code): what each selects is told where it is read.
    static constexpr int version_unknown = 0;
    static constexpr int version_other = 1; ///< any release detection does not name (2014+)
    static constexpr int version_7 = 2;
    static constexpr int version_2000 = 3;
    static constexpr int version_2005 = 4;
    static constexpr int version_2008 = 5;
    static constexpr int version_2010 = 6;
    static constexpr int version_2011 = 7;
    static constexpr int version_2012 = 8;
    static constexpr int version_azure = 100;

    /// Calls CoInitialize on this thread unless `no_co_initialize`; creates the data-conversion
    /// object (left empty, silently, when it cannot be created).
    explicit mss_engine(bool no_co_initialize);
    ~mss_engine() override;

    /// The instance; throws tk_mail_assertion when there is none.
    static mss_engine& ref() { return instance(); }

    void set_as_dbo(bool as_dbo);
    bool is_view_owned() const { return m_view_owned; }
    /// Connected, and the last data source came from a Native Client provider.
    bool is_native_client() const { return m_connected && m_initializer.native_client(); }

    /// Stores the login of a SQL Server authentication connect.
    void store_login(const std::wstring& server, const std::wstring& user,
                     const std::wstring& password);
    /// Stores the server of a Windows authentication connect and clears any earlier login, so
    /// later data sources do not fall back to an old SQL Server login.
    void store_windows_login(const std::wstring& server);

    int version_code() const { return m_version_code; }
    void set_version_code(int code) { m_version_code = code; }
    const std::wstring& server() const { return m_server; }
    const std::wstring& user() const { return m_user; }
    const std::wstring& password() const { return m_password; }
    bool connected() const { return m_connected; }
    void set_connected(bool connected) { m_connected = connected; }
    bool fast_load() const { return m_fast_load; }
    void set_fast_load(bool fast_load) { m_fast_load = fast_load; }
    bool windows_auth() const { return m_windows_auth; }
    bool unicode() const { return m_unicode; }
    void set_unicode(bool unicode) { m_unicode = unicode; }
    bool no_co_initialize() const { return m_no_co_initialize; }
    bool as_dbo() const { return m_as_dbo; }
    void set_view_owned(bool view_owned) { m_view_owned = view_owned; }
    odb_initializer& initializer() { return m_initializer; }
    std::vector<std::wstring>& databases() { return m_databases; }
    /// The data-conversion object; null when it could not be created.
    IDataConvert* data_convert() const { return m_data_convert.get(); }

private:
    ole_com_ptr<IDataConvert> m_data_convert;
    int m_version_code = version_unknown;
    std::wstring m_server;
    std::wstring m_user;
    // Held in plain text for the life of the process: every data source needs it again.
    std::wstring m_password;
    bool m_connected = false;
    bool m_fast_load = true;
    bool m_windows_auth = false;
    bool m_unicode = true;
    bool m_no_co_initialize;
    odb_initializer m_initializer;
    std::vector<std::wstring> m_databases;
    bool m_as_dbo = false;
    bool m_view_owned = true;
};
