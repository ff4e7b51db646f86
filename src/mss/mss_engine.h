// mss_engine.h: the process-wide SQL Server engine: its state, defaults and the accessors every
// SQL Server class reads (version code, login, flags, data conversion).
#pragma once

#include "mss/mss_types.h"
#include "mss/odb_initializer.h"
#include "mss/ole_com_ptr.h"
#include "plat/oledb/oledb_interfaces.h"
#include "tk/tk_singleton.h"

#include <memory>
#include <string>
#include <vector>

class mss_database;

/// The SQL Server engine. One instance, built by the converter's SQL Server side (a second one
/// throws tk_mail_assertion), which alone calls it. What the classes below it need of its state
/// they get as an mss_target (target) with the database it opens.
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
    /// The major version number of SQL Server 2016.
    static constexpr int major_2016 = 13;

    /// Calls CoInitialize on this thread unless `no_co_initialize`; creates the data-conversion
    /// object (left empty, silently, when it cannot be created).
    explicit mss_engine(bool no_co_initialize);
    ~mss_engine() override;

    /// The instance; throws tk_mail_assertion when there is none.
    static mss_engine& ref() { return instance(); }

    /// Connects with Windows authentication (the server alone; an earlier SQL Server login is
    /// forgotten), switches fast load to `fast_load` when the provider accepts it, reads the
    /// version and the database list. Throws odb_exception (the provider's refusal or a failed
    /// statement) or the initialiser's tk_exception; the engine is then left disconnected.
    void connect(const std::wstring& server, bool fast_load);
    /// The same with SQL Server authentication.
    void connect(const std::wstring& server, const std::wstring& user, const std::wstring& password,
                 bool fast_load);
    /// Asks the data source for fast load (on or off); false, without throwing, when the
    /// provider refuses. Throws odb_exception when the source has no properties interface.
    bool enable_fast_load(const ole_com_ptr<IDBInitialize>& data_source, bool on);
    /// The version code of the server behind `data_source` ("SELECT @@VERSION"), keeping its
    /// major version number; throws odb_exception when the statement fails.
    int get_version(IDBInitialize* data_source);
    /// The version code of an @@VERSION text: SQL Server by its release year (2012 and every
    /// later release 8, 2011 7, 2010 6, 2008 5, 2005 4, 2000 3, 7.0 2), SQL Azure 100; a text
    /// it does not name by year goes by its version number (major 11 and up 8, 10 5, 9 4, 8 3,
    /// 7 2), and 1 when it has none.
    static int version_code_of(const std::wstring& version_text);
    /// The first dotted version number's major part in an @@VERSION text; 0 when it has none.
    static int major_version_of(const std::wstring& version_text);
    /// Reads the server's database names (none on SQL Azure). Throws odb_exception.
    void init_db_contents(IDBInitialize* data_source);
    /// The database names read at connect. Throws tk_mail_assertion ("mss_engi", 282) before a
    /// connect and tk_exception (severity 1) on SQL Azure, which cannot list them.
    const std::vector<std::wstring>& get_contents();
    /// True when the list holds the name (without case) and the login can open it; false when
    /// the list lacks it. Throws mss_no_perm_exception when it cannot be opened (on SQL Azure,
    /// where there is no list, also for a database that does not exist) and tk_mail_assertion
    /// ("mss_engi", 173) before a connect.
    bool is_db_exist(const std::wstring& name);
    /// Runs CREATE DATABASE, enters the name in the list and opens it (open mode 2). Throws
    /// odb_exception, or tk_mail_assertion ("mss_engi", 230) before a connect.
    std::unique_ptr<mss_database> create_db(const std::wstring& name);
    /// Runs DROP DATABASE and removes the name from the list. Throws odb_exception, or
    /// tk_mail_assertion ("mss_engi", 141) before a connect.
    void delete_db(const std::wstring& name);
    /// Opens the database with its own data source and session. Throws odb_exception, or
    /// tk_mail_assertion ("mss_engi", 257) before a connect.
    std::unique_ptr<mss_database> open_db(const std::wstring& name, int mode);
    /// The two-part name of a table for catalog statements and DROP TABLE, by the stored login
    /// and flags (see the static form).
    std::wstring get_safe_tname(const std::wstring& name) const;
    /// "[owner].[table]": the name's own owner when it has one (mss_split_tab_name), else dbo,
    /// or the user when one is given that is not "sa" (without case) and `as_dbo` is false.
    static std::wstring get_safe_tname(const std::wstring& name, const std::wstring& user,
                                       bool as_dbo, bool view_owned);

    void set_as_dbo(bool as_dbo);
    bool is_view_owned() const { return m_view_owned; }
    /// Connected, and the last data source came from a Native Client provider.
    bool is_native_client() const { return m_connected && m_initializer.native_client(); }
    /// The state the SQL Server classes below the engine read: version, provider, flags and
    /// login (no password). Handed to each database the engine opens.
    mss_target target() const;

    /// Stores the login of a SQL Server authentication connect.
    void store_login(const std::wstring& server, const std::wstring& user,
                     const std::wstring& password);
    /// Stores the server of a Windows authentication connect and clears any earlier login, so
    /// later data sources do not fall back to an old SQL Server login.
    void store_windows_login(const std::wstring& server);

    int version_code() const { return m_version_code; }
    /// The major version number in the server's @@VERSION text (15 for SQL Server 2019); 0 when
    /// it has none or before a connect.
    int major_version() const { return m_major_version; }
    void set_major_version(int major) { m_major_version = major; }
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
    // Runs one statement on a data source of its own, connected to the server without a
    // database; released at once.
    void run_on_server(const std::wstring& sql);

    ole_com_ptr<IDataConvert> m_data_convert;
    int m_version_code = version_unknown;
    int m_major_version = 0;
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
