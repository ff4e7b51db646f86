// odb_database.cpp: the destination database's references and the statements it runs.
#include "mss/odb_database.h"

#include "mss/odb_command.h"
#include "tk/tk_logger.h"

odb_database::odb_database(const std::wstring& name, IDBInitialize* data_source,
                           IOpenRowset* session, int open_mode, const mss_target& target)
    : udb_database(name, open_mode, false)
    , m_target(target)
{
    m_session.share(session);
    m_data_source.share(data_source);
    tk_log(2, "odb_database::ctor");
}

odb_database::~odb_database()
{
    tk_log(2, "odb_database::dtor");
}

void odb_database::query(const std::wstring& sql)
{
    tk_wlog(2, L"odb_database::query(%s)", sql);
    odb_command command(m_session.get());
    command.execute(sql);
}

std::unique_ptr<odb_recordset> odb_database::open_query(const std::wstring& sql)
{
    tk_wlog(2, L"odb_database::query(%s)", sql);
    odb_command command(m_session.get());
    ole_com_ptr<IRowset> rowset;
    command.execute(sql, rowset.put());
    if (!rowset)
    {
        return std::make_unique<odb_recordset>(std::wstring());
    }
    return std::make_unique<odb_recordset>(rowset.get());
}

bool odb_database::test_query(const std::wstring& sql)
{
    tk_wlog(2, L"odb_database::test_query(%s)", sql);
    try
    {
        query(sql);
    }
    catch (...)
    {
        tk_log(2, "Query failed");
        return false;
    }
    tk_log(2, "Query succeeded");
    return true;
}

bool odb_database::delete_tab(const std::wstring& name)
{
    tk_wlog(2, L"odb_database::delete_tab(%s)", name);
    query(L"DROP TABLE " + m_target.get_safe_tname(name));
    return udb_database::delete_tab(name);
}
