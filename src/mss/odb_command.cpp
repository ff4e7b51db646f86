// odb_command.cpp: preparing a command on a session and running text through it.
#include "mss/odb_command.h"

#include "mss/odb_exception.h"
#include "tk/tk_logger.h"

odb_command::odb_command(IOpenRowset* session)
{
    m_session.share(session);
    tk_log(1, "odb_command::ctor(1)");
    prepare();
}

odb_command::odb_command(IDBInitialize* data_source)
{
    tk_log(1, "odb_command::ctor(2)");
    ole_com_ptr<IDBCreateSession> create;
    odb_check(data_source->QueryInterface(IID_IDBCreateSession, create.put_void()));
    odb_check(create->CreateSession(nullptr, IID_IOpenRowset, m_session.put_unknown()));
    prepare();
}

void odb_command::prepare()
{
    ole_com_ptr<IDBCreateCommand> create;
    odb_check(m_session->QueryInterface(IID_IDBCreateCommand, create.put_void()));
    ole_com_ptr<IUnknown> command;
    odb_check(create->CreateCommand(nullptr, IID_ICommand, command.put()));
    odb_check(command->QueryInterface(IID_ICommandText, m_command_text.put_void()));
}

HRESULT odb_command::execute(const std::wstring& sql, IRowset** rowset, DBROWCOUNT* rows)
{
    tk_wlog(2, L"odb_command::execute(%s)", sql);
    odb_check(m_command_text->SetCommandText(DBGUID_DBSQL, sql.c_str()));
    return odb_check(m_command_text->Execute(nullptr, rowset != nullptr ? IID_IRowset : IID_NULL,
                                             nullptr, rows, reinterpret_cast<IUnknown**>(rowset)));
}

std::int64_t odb_command::execute_counted(const std::wstring& sql)
{
    DBROWCOUNT rows = -1;
    execute(sql, nullptr, &rows);
    return rows;
}

void odb_command::set_time_limit(unsigned seconds)
{
    ole_com_ptr<ICommandProperties> properties;
    odb_check(m_command_text->QueryInterface(IID_ICommandProperties, properties.put_void()));
    DBPROP prop;
    prop.dwPropertyID = DBPROP_COMMANDTIMEOUT;
    prop.vValue.vt = VT_I4;
    prop.vValue.lVal = static_cast<std::int32_t>(seconds);
    DBPROPSET set{&prop, 1, DBPROPSET_ROWSET};
    odb_check(properties->SetProperties(1, &set));
}
