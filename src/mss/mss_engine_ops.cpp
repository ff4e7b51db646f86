// mss_engine_ops.cpp: the engine's operations: connect, fast load, version detection, the
// database list, creating, dropping and opening databases, and two-part table names.
#include "mss/mss_database.h"
#include "mss/mss_engine.h"
#include "mss/mss_names.h"
#include "mss/odb_command.h"
#include "mss/odb_exception.h"
#include "mss/odb_recordset.h"
#include "plat/plat_text.h"
#include "tk/tk_logger.h"

#include <algorithm>

namespace
{

bool is_digit(wchar_t c)
{
    return c >= L'0' && c <= L'9';
}

bool starts_with(const std::wstring& text, std::wstring_view prefix)
{
    return text.compare(0, prefix.size(), prefix) == 0;
}

std::wstring trim_blanks(const std::wstring& text)
{
    const auto first = text.find_first_not_of(L' ');
    if (first == std::wstring::npos)
    {
        return {};
    }
    return text.substr(first, text.find_last_not_of(L' ') - first + 1);
}

// The major number of the first "a.b.c" version in the text; -1 when there is none.
int major_of_version_text(const std::wstring& text)
{
    for (std::size_t pos = 0; pos < text.size(); ++pos)
    {
        if (!is_digit(text[pos]) || (pos > 0 && is_digit(text[pos - 1])))
        {
            continue;
        }
        std::size_t end = pos;
        int groups = 0;
        while (end < text.size() && is_digit(text[end]))
        {
            while (end < text.size() && is_digit(text[end]))
            {
                ++end;
            }
            ++groups;
            if (end + 1 < text.size() && text[end] == L'.' && is_digit(text[end + 1]))
            {
                ++end;
                continue;
            }
            break;
        }
        if (groups >= 3)
        {
            return std::stoi(text.substr(pos, 4));
        }
    }
    return -1;
}

// Releases newer than those named by year run every statement and type of the newest code
// (SQL Server 2014 and later report 12 and up): the oldest paths would create 64-bit integers
// as float and leave out the date and time types.
int code_of_major(int major)
{
    if (major >= 11)
    {
        return mss_engine::version_2012;
    }
    switch (major)
    {
    case 10:
        return mss_engine::version_2008;
    case 9:
        return mss_engine::version_2005;
    case 8:
        return mss_engine::version_2000;
    case 7:
        return mss_engine::version_7;
    default:
        return mss_engine::version_other;
    }
}

std::vector<std::wstring> read_first_column(odb_recordset& recordset)
{
    std::vector<std::wstring> values;
    for (recordset.reset(); !recordset.is_eof(); recordset.next())
    {
        values.push_back((*recordset.get_item())[0]->to_wstring());
    }
    return values;
}

} // namespace

void mss_engine::connect(const std::wstring& server, bool fast_load)
{
    tk_wlog(2, L"mss_engine::connect(%s, %d)", server, fast_load);
    tk_log(3, "Connecting to MS SQL server...");
    m_connected = false;
    ole_com_ptr<IDBInitialize> source;
    m_initializer.test_connection(source, server, L"", L"", L"");
    m_fast_load = enable_fast_load(source, fast_load);
    store_windows_login(server);
    m_version_code = get_version(source.get());
    tk_log(2, "Got MS SQL version: %d", m_version_code);
    init_db_contents(source.get());
    m_connected = true;
}

void mss_engine::connect(const std::wstring& server, const std::wstring& user,
                         const std::wstring& password, bool fast_load)
{
    tk_wlog(2, L"mss_engine::connect( %s, %s, %s, %d )", server, user, password, fast_load);
    tk_log(3, "Connecting to MS SQL server...");
    m_connected = false;
    ole_com_ptr<IDBInitialize> source;
    m_initializer.test_connection(source, server, user, password, L"");
    m_fast_load = enable_fast_load(source, fast_load);
    store_login(server, user, password);
    m_version_code = get_version(source.get());
    tk_log(2, "Got MS SQL version: %d", m_version_code);
    init_db_contents(source.get());
    m_connected = true;
}

bool mss_engine::enable_fast_load(const ole_com_ptr<IDBInitialize>& data_source, bool on)
{
    tk_log(2, "mss_engine::enable_fast_load(%d)", on);
    DBPROP prop;
    prop.dwPropertyID = SSPROP_ENABLEFASTLOAD;
    prop.dwOptions = DBPROPOPTIONS_REQUIRED;
    prop.vValue.vt = VT_BOOL;
    prop.vValue.boolVal = on ? VARIANT_TRUE : VARIANT_FALSE;
    DBPROPSET set{&prop, 1, DBPROPSET_SQLSERVERDATASOURCE};
    ole_com_ptr<IDBProperties> properties;
    odb_check(data_source->QueryInterface(IID_IDBProperties, properties.put_void()));
    if (odb_refused(properties->SetProperties(1, &set)))
    {
        tk_log(2, "Fast load was refused by the provider");
        return false;
    }
    m_fast_load = on;
    return on;
}

int mss_engine::get_version(IDBInitialize* data_source)
{
    tk_log(2, "mss_engine::get_version(priv)");
    odb_command command(data_source);
    ole_com_ptr<IRowset> rowset;
    command.execute(L"SELECT @@VERSION", rowset.put());
    std::wstring text;
    if (rowset)
    {
        odb_recordset recordset(rowset.get());
        recordset.reset();
        if (!recordset.is_eof())
        {
            text = (*recordset.get_item())[0]->to_wstring();
        }
    }
    tk_wlog(1, L"MS SQL version string: %s", text);
    m_major_version = major_version_of(text);
    return version_code_of(text);
}

int mss_engine::version_code_of(const std::wstring& version_text)
{
    static constexpr std::wstring_view server_prefix = L"Microsoft SQL Server";
    static constexpr std::wstring_view azure_prefix = L"Microsoft SQL Azure";
    if (starts_with(version_text, server_prefix) && version_text.size() > server_prefix.size() + 10)
    {
        const std::wstring token = trim_blanks(version_text.substr(server_prefix.size(), 10));
        tk_wlog(1, L"str_ver_num=%s", token);
        static constexpr std::pair<std::wstring_view, int> years[] = {
            {L"2012", version_2012}, {L"2011", version_2011}, {L"2010", version_2010},
            {L"2008", version_2008}, {L"2005", version_2005}, {L"200", version_2000},
            {L"7.", version_7}};
        for (const auto& [year, code] : years)
        {
            if (starts_with(token, year))
            {
                return code;
            }
        }
        return code_of_major(major_of_version_text(version_text));
    }
    if (starts_with(version_text, azure_prefix) && version_text.size() > azure_prefix.size())
    {
        return version_azure;
    }
    return code_of_major(major_of_version_text(version_text));
}

int mss_engine::major_version_of(const std::wstring& version_text)
{
    return std::max(major_of_version_text(version_text), 0);
}

void mss_engine::init_db_contents(IDBInitialize* data_source)
{
    tk_log(2, "mss_engine::init_db_contents");
    m_databases.clear();
    if (m_version_code == version_azure)
    {
        return;
    }
    ole_com_ptr<IDBCreateSession> create;
    odb_check(data_source->QueryInterface(IID_IDBCreateSession, create.put_void()));
    ole_com_ptr<IOpenRowset> session;
    odb_check(create->CreateSession(nullptr, IID_IOpenRowset, session.put_unknown()));
    odb_command command(session.get());
    ole_com_ptr<IRowset> rowset;
    try
    {
        command.execute(m_version_code < version_2005 ? L"SELECT name from master.sys.sysdatabases"
                                                      : L"SELECT name from master.sys.databases",
                        rowset.put());
    }
    catch (const odb_exception&)
    {
        if (m_version_code > version_2000)
        {
            throw;
        }
        tk_log(2, "Try the second approach for MS SQL <= v2000...");
        command.execute(L"SELECT name from master.dbo.sysdatabases", rowset.put());
    }
    if (!rowset)
    {
        return;
    }
    odb_recordset recordset(rowset.get());
    for (const std::wstring& name : read_first_column(recordset))
    {
        tk_wlog(1, L"Got database: %s", name);
        m_databases.push_back(name);
    }
}

const std::vector<std::wstring>& mss_engine::get_contents()
{
    tk_log(1, "mss_engine::get_contents");
    if (!m_connected)
    {
        throw tk_mail_assertion("mss_engi", 282);
    }
    if (m_version_code == version_azure)
    {
        tk_log(2, "Cannot get list of databases on Azure SQL");
        throw tk_exception(
            std::string("Azure SQL does not allow to list databases.\r\nEnter database name "
                        "directly."),
            tk_severity::ends_run);
    }
    return m_databases;
}

bool mss_engine::is_db_exist(const std::wstring& name)
{
    tk_wlog(2, L"mss_engine::is_db_exist(%s)", name);
    if (!m_connected)
    {
        throw tk_mail_assertion("mss_engi", 173);
    }
    if (m_version_code != version_azure)
    {
        tk_log(1, "Step #1: check via get_contents()");
        const std::vector<std::wstring> list = get_contents();
        const bool found =
            std::any_of(list.begin(), list.end(),
                        [&](const std::wstring& entry) { return plat::equal_ci(entry, name); });
        if (!found)
        {
            tk_wlog(1, L"Database %s has NOT been found", name);
            return false;
        }
        tk_wlog(1, L"Database %s has been found", name);
    }
    tk_log(1, "Step #2: check via test_connection(...)");
    try
    {
        ole_com_ptr<IDBInitialize> source;
        m_initializer.test_connection(source, m_server, m_user, m_password, name);
    }
    catch (const odb_exception& error)
    {
        tk_log(1, "ERROR: %s", error.what());
        throw mss_no_perm_exception(m_user, name);
    }
    tk_log(2, "mss_engine::is_db_exist -- end");
    return true;
}

void mss_engine::run_on_server(const std::wstring& sql)
{
    ole_com_ptr<IDBInitialize> source;
    m_initializer.test_connection(source, m_server, m_user, m_password, L"");
    odb_command command(source.get());
    command.execute(sql);
}

std::unique_ptr<mss_database> mss_engine::create_db(const std::wstring& name)
{
    tk_wlog(2, L"mss_engine::create_db(%s)", name);
    tk_wlog(3, L"Creating MS SQL database '%s'", name);
    if (!m_connected)
    {
        throw tk_mail_assertion("mss_engi", 230);
    }
    // A database name is the user's plain text: quoted whole, never taken as pre-bracketed.
    run_on_server(L"CREATE DATABASE " + mss_quote_name(name));
    // Listed at once, so a later existence test in this process finds it.
    m_databases.push_back(name);
    return open_db(name, udb_open_mode::created);
}

void mss_engine::delete_db(const std::wstring& name)
{
    tk_wlog(2, L"mss_engine::delete_db(%s)", name);
    tk_wlog(3, L"Deleting MS SQL database '%s'", name);
    if (!m_connected)
    {
        throw tk_mail_assertion("mss_engi", 141);
    }
    run_on_server(L"DROP DATABASE " + mss_quote_name(name));
    const auto found =
        std::find_if(m_databases.begin(), m_databases.end(),
                     [&](const std::wstring& entry)
                     { return entry.size() == name.size() && plat::equal_ci(entry, name); });
    if (found == m_databases.end())
    {
        tk_log(2, "Database was not found in the list");
        return;
    }
    m_databases.erase(found);
    tk_log(1, "Database has been removed from the list");
}

std::unique_ptr<mss_database> mss_engine::open_db(const std::wstring& name, int mode)
{
    tk_wlog(2, L"mss_engine::open_db(%s)", name);
    if (!m_connected)
    {
        throw tk_mail_assertion("mss_engi", 257);
    }
    ole_com_ptr<IDBInitialize> source;
    m_initializer.test_connection(source, m_server, m_user, m_password, name);
    // The switch belongs to each data source: the database's tables load in bulk only with it.
    if (m_fast_load)
    {
        m_fast_load = enable_fast_load(source, true);
    }
    ole_com_ptr<IDBCreateSession> create;
    odb_check(source->QueryInterface(IID_IDBCreateSession, create.put_void()));
    ole_com_ptr<IOpenRowset> session;
    odb_check(create->CreateSession(nullptr, IID_IOpenRowset, session.put_unknown()));
    tk_log(1, "Connection to the database was establish successfully");
    return std::make_unique<mss_database>(name, source.get(), session.get(), mode, target());
}

std::wstring mss_engine::get_safe_tname(const std::wstring& name) const
{
    return get_safe_tname(name, m_user, m_as_dbo, m_view_owned);
}

std::wstring mss_engine::get_safe_tname(const std::wstring& name, const std::wstring& user,
                                        bool as_dbo, bool view_owned)
{
    tk_wlog(1, L"mss_engine::get_safe_tname(%s)", name);
    std::wstring table;
    std::wstring owner;
    mss_split_tab_name(name, table, owner, view_owned);
    // The split gives plain parts ("]]" already read as "]"): they are quoted afresh.
    if (!owner.empty())
    {
        tk_log(1, "This is a full canonized table name");
        return mss_quote_name(owner) + L"." + mss_quote_name(table);
    }
    std::wstring owner_part = L"[dbo].";
    if (!user.empty() && !as_dbo && !plat::equal_ci(user, L"sa"))
    {
        owner_part = mss_quote_name(user) + L".";
    }
    std::wstring result = owner_part + mss_bracket_name(name);
    tk_wlog(1, L"result=%s", result);
    return result;
}
