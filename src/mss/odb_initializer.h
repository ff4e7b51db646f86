// odb_initializer.h: turns a server, a login and a database into an initialised OLE DB data
// source, trying the Native Client providers before the generic one.
#pragma once

#include "mss/ole_com_ptr.h"
#include "plat/oledb/oledb_interfaces.h"

#include <string>

/// Opens data sources for the SQL Server engine and remembers whether the last one came from a
/// Native Client provider.
class odb_initializer
{
public:
    odb_initializer();

    /// Fills `source` with an initialised data source: Native Client 11.0, then 10.0, then
    /// "sqloledb" through the data-initialisation service. An empty `database` is the server's
    /// default; an empty `user` is Windows authentication. A provider that exists but refuses
    /// throws odb_exception from its own step (no later provider is tried); no provider at all
    /// throws tk_exception of severity 1.
    void test_connection(ole_com_ptr<IDBInitialize>& source, const std::wstring& server,
                         const std::wstring& user, const std::wstring& password,
                         const std::wstring& database);

    /// False only when the provider cannot be created; throws odb_exception when it refuses.
    bool test_native_connection(ole_com_ptr<IDBInitialize>& source, const CLSID& provider,
                                const std::wstring& server, const std::wstring& user,
                                const std::wstring& password, const std::wstring& database);

    /// False only when the data-initialisation service cannot be created; throws odb_exception
    /// when the string is refused or the connection fails.
    bool test_generic_connection(ole_com_ptr<IDBInitialize>& source,
                                 const std::wstring& init_string);

    /// The initialisation string of the generic path. Values that need it are quoted, so a ';'
    /// or '=' in a password never adds a keyword; plain values are pasted as they are.
    static std::wstring make_init_string(const std::wstring& server, const std::wstring& user,
                                         const std::wstring& password,
                                         const std::wstring& database);

    bool native_client() const { return m_native_client; }

private:
    bool m_native_client = false;
};
