// odb_command.h: one T-SQL text run on a session, with or without a rowset.
#pragma once

#include "mss/ole_com_ptr.h"
#include "plat/oledb/oledb_interfaces.h"

#include <cstdint>
#include <string>

/// Runs statements on a session. Every call is checked (odb_exception on failure).
class odb_command
{
public:
    /// On an open session (a reference of its own is taken).
    explicit odb_command(IOpenRowset* session);
    /// On a new session of an initialised data source.
    explicit odb_command(IDBInitialize* data_source);

    /// Runs `sql` whole; with `rowset` the first result with columns comes back there (null
    /// when the batch has none), with `rows` the rows its statements changed (-1 when the
    /// provider does not tell). Answers Execute's non-negative result.
    HRESULT execute(const std::wstring& sql, IRowset** rowset = nullptr,
                    DBROWCOUNT* rows = nullptr);
    /// Runs `sql` whole and answers the rows its statements changed; -1 when the provider does
    /// not tell.
    std::int64_t execute_counted(const std::wstring& sql);
    /// Every later statement waits at most `seconds` for the server's answer (0: no limit); one
    /// that gets none fails with a timeout (SQLSTATE HYT00), which tells of a silent server.
    void set_time_limit(unsigned seconds);

private:
    void prepare();

    ole_com_ptr<IOpenRowset> m_session;
    ole_com_ptr<ICommandText> m_command_text;
};
