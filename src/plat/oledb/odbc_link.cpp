// odbc_link.cpp: the ODBC implementation of the driver link; every ODBC call goes through check().
#include "plat/oledb/odbc_link.h"

#include "plat/oledb/odbc_bulk.h"
#include "plat/oledb/odbc_calls.h"
#include "plat/plat_text.h"

#include <array>
#include <dlfcn.h>
#include <unistd.h>

namespace plat::oledb
{

class odbc_environment
{
public:
    explicit odbc_environment(odbc_handle handle)
        : m_handle(std::move(handle))
    {
    }
    SQLHENV get() const { return m_handle.get(); }

private:
    odbc_handle m_handle;
};

namespace
{

constexpr SQLULEN login_timeout_seconds = 15;
// How long reaching the server may take before the login starts (FreeTDS takes it as its TCP
// connect timeout; Microsoft's driver ignores it and keeps to the login timeout). Statements get
// no limit from it: CREATE INDEX on a big table or the commit of a large bulk batch may take far
// longer than any fixed figure. A server that vanishes under a statement is noticed by the
// socket's keepalive probes, which the drivers switch on themselves (Microsoft's: 30 s idle,
// then 1 s probes; FreeTDS: 40 s idle, then 2 s probes), and one that closes the connection at
// once.
constexpr SQLULEN connection_timeout_seconds = 30;

class odbc_link final : public link
{
public:
    odbc_link(std::shared_ptr<odbc_environment> environment, std::wstring driver_name,
              driver_kind kind)
        : m_environment(std::move(environment))
        , m_driver_name(std::move(driver_name))
        , m_kind(kind)
    {
    }

    ~odbc_link() override
    {
        m_bulk.reset();
        if (m_connected)
        {
            // A destructor has nobody to report a failed disconnect to.
            check(SQLDisconnect(m_connection.get()), SQL_HANDLE_DBC, m_connection.get(),
                  odbc_call::connect, m_driver_name);
        }
    }

    odbc_link(const odbc_link&) = delete;
    odbc_link& operator=(const odbc_link&) = delete;

    link_status connect(const std::wstring& connection_string) override
    {
        if (m_connected)
        {
            return failure_from_diagnostics({diag_record{L"08002", 0, L"Already connected."}},
                                            odbc_call::connect, m_driver_name);
        }
        SQLHANDLE handle = nullptr;
        link_status status =
            check(SQLAllocHandle(SQL_HANDLE_DBC, m_environment->get(), &handle), SQL_HANDLE_ENV,
                  m_environment->get(), odbc_call::connect, m_driver_name);
        if (!status.ok())
        {
            return status;
        }
        m_connection = odbc_handle(SQL_HANDLE_DBC, handle);
        // A driver without login timeouts still connects: its refusal is not a failure.
        check(SQLSetConnectAttrW(m_connection.get(), SQL_ATTR_LOGIN_TIMEOUT,
                                 reinterpret_cast<SQLPOINTER>(login_timeout_seconds), 0),
              SQL_HANDLE_DBC, m_connection.get(), odbc_call::connect, m_driver_name);
        check(SQLSetConnectAttrW(m_connection.get(), SQL_ATTR_CONNECTION_TIMEOUT,
                                 reinterpret_cast<SQLPOINTER>(connection_timeout_seconds), 0),
              SQL_HANDLE_DBC, m_connection.get(), odbc_call::connect, m_driver_name);
        const bool bulk =
            m_bulk_requested && request_bulk_copy(m_connection.get(), m_driver_name).hr == S_OK;
        std::vector<SQLWCHAR> text = to_sqlw(limited(connection_string));
        std::array<SQLWCHAR, 1024> completed{};
        SQLSMALLINT completed_length = 0;
        status =
            check(SQLDriverConnectW(m_connection.get(), nullptr, text.data(), SQL_NTS,
                                    completed.data(), static_cast<SQLSMALLINT>(completed.size()),
                                    &completed_length, SQL_DRIVER_NOPROMPT),
                  SQL_HANDLE_DBC, m_connection.get(), odbc_call::connect, m_driver_name);
        if (!status.ok())
        {
            m_connection.reset();
            return status;
        }
        m_connected = true;
        if (bulk)
        {
            m_bulk = m_kind == driver_kind::freetds
                         ? make_freetds_bulk_copy(m_connection.get(), m_driver_name)
                         : make_microsoft_bulk_copy(m_connection.get(), m_driver_name);
        }
        return {};
    }

    bool enable_bulk_copy() override
    {
        m_bulk_requested = m_kind == driver_kind::freetds || m_kind == driver_kind::microsoft;
        return m_bulk_requested;
    }

    link_bulk_copy* bulk_copy() override { return m_bulk.get(); }

    void limit_waits() override { m_limit_waits = true; }

    link_status new_statement(std::unique_ptr<link_statement>& statement) override
    {
        statement.reset();
        if (!m_connected)
        {
            return failure_from_diagnostics(
                {diag_record{L"08003", 0, L"The connection is not open."}}, odbc_call::connect,
                m_driver_name);
        }
        SQLHANDLE handle = nullptr;
        link_status status =
            check(SQLAllocHandle(SQL_HANDLE_STMT, m_connection.get(), &handle), SQL_HANDLE_DBC,
                  m_connection.get(), odbc_call::statement, m_driver_name);
        if (status.ok())
        {
            statement = make_odbc_statement(odbc_handle(SQL_HANDLE_STMT, handle), m_driver_name);
            if (m_limit_waits)
            {
                statement->set_time_limit(answer_limit_seconds());
            }
        }
        return status;
    }

    std::wstring search_escape() override
    {
        std::array<SQLWCHAR, 8> text{};
        SQLSMALLINT length = 0;
        if (!m_connected ||
            check(SQLGetInfoW(m_connection.get(), SQL_SEARCH_PATTERN_ESCAPE, text.data(),
                              static_cast<SQLSMALLINT>(sizeof text), &length),
                  SQL_HANDLE_DBC, m_connection.get(), odbc_call::statement, m_driver_name)
                    .hr != S_OK)
        {
            return {};
        }
        return from_sqlw(text.data(),
                         std::min<std::size_t>(static_cast<std::size_t>(length) / 2, 7));
    }

private:
    // A connection whose waits are limited: FreeTDS takes "Timeout" as the limit of every wait
    // for the server on the connection, its bulk copy's included (a send the server does not
    // read, a batch it does not answer): when it is up the driver closes the connection and the
    // call fails with HYT00, without waiting for an answer to a cancel. Microsoft's driver has
    // no such keyword: its statements get SQL_ATTR_QUERY_TIMEOUT (new_statement), its bulk
    // copy only the caller's limit on a commit.
    std::wstring limited(const std::wstring& connection_string) const
    {
        if (!m_limit_waits || m_kind != driver_kind::freetds)
        {
            return connection_string;
        }
        std::wstring text = connection_string;
        if (!text.empty() && text.back() != L';')
        {
            text += L';';
        }
        return text + L"Timeout=" + std::to_wstring(answer_limit_seconds()) + L';';
    }

    std::shared_ptr<odbc_environment> m_environment;
    std::wstring m_driver_name;
    driver_kind m_kind;
    odbc_handle m_connection;
    bool m_connected = false;
    bool m_bulk_requested = false;
    bool m_limit_waits = false;
    std::unique_ptr<link_bulk_copy> m_bulk;
};

} // namespace

std::shared_ptr<odbc_environment> make_odbc_environment()
{
    const std::wstring manager = L"unixODBC";
    // Pooling would hand a session a connection that another session's SET options changed.
    check(SQLSetEnvAttr(nullptr, SQL_ATTR_CONNECTION_POOLING,
                        reinterpret_cast<SQLPOINTER>(SQL_CP_OFF), 0),
          SQL_HANDLE_ENV, nullptr, odbc_call::connect, manager);
    SQLHANDLE handle = nullptr;
    if (!check(SQLAllocHandle(SQL_HANDLE_ENV, SQL_NULL_HANDLE, &handle), SQL_HANDLE_ENV, nullptr,
               odbc_call::connect, manager)
             .ok())
    {
        return nullptr;
    }
    odbc_handle owner(SQL_HANDLE_ENV, handle);
    // ODBC 3 behaviour keeps SQLSTATEs in their 3.x form (42S02, not S0002).
    if (!check(SQLSetEnvAttr(handle, SQL_ATTR_ODBC_VERSION,
                             reinterpret_cast<SQLPOINTER>(SQL_OV_ODBC3), 0),
               SQL_HANDLE_ENV, handle, odbc_call::connect, manager)
             .ok())
    {
        return nullptr;
    }
    return std::make_shared<odbc_environment>(std::move(owner));
}

std::unique_ptr<link> make_odbc_link(std::shared_ptr<odbc_environment> environment,
                                     std::wstring driver_name, driver_kind kind)
{
    return std::make_unique<odbc_link>(std::move(environment), std::move(driver_name), kind);
}

std::wstring odbc_driver_library(const std::shared_ptr<odbc_environment>& environment,
                                 const std::wstring& driver_name)
{
    if (!environment)
    {
        return {};
    }
    // The driver manager lists each registered driver with its attributes as "key=value" texts
    // separated by NULs.
    SQLUSMALLINT direction = SQL_FETCH_FIRST;
    for (;;)
    {
        std::array<SQLWCHAR, 256> description{};
        std::array<SQLWCHAR, 4096> attributes{};
        SQLSMALLINT description_length = 0;
        SQLSMALLINT attributes_length = 0;
        const link_status status =
            check(SQLDriversW(environment->get(), direction, description.data(),
                              static_cast<SQLSMALLINT>(description.size()), &description_length,
                              attributes.data(), static_cast<SQLSMALLINT>(attributes.size()),
                              &attributes_length),
                  SQL_HANDLE_ENV, environment->get(), odbc_call::connect, driver_name);
        if (status.hr != S_OK)
        {
            return {};
        }
        direction = SQL_FETCH_NEXT;
        const std::size_t name_length = std::min<std::size_t>(
            static_cast<std::size_t>(description_length), description.size() - 1);
        if (from_sqlw(description.data(), name_length) != driver_name)
        {
            continue;
        }
        std::size_t start = 0;
        while (start < attributes.size() && attributes[start] != 0)
        {
            std::size_t end = start;
            while (end < attributes.size() && attributes[end] != 0)
            {
                ++end;
            }
            const std::wstring entry = from_sqlw(attributes.data() + start, end - start);
            if (entry.starts_with(L"Driver="))
            {
                return entry.substr(7);
            }
            start = end + 1;
        }
        return {};
    }
}

bool odbc_driver_installed(const std::shared_ptr<odbc_environment>& environment,
                           const std::wstring& driver_name)
{
    const std::string library = wide_to_utf8(odbc_driver_library(environment, driver_name));
    if (library.empty())
    {
        return false;
    }
    if (library.find('/') != std::string::npos)
    {
        return access(library.c_str(), R_OK) == 0;
    }
    // A bare file name is found as the driver manager finds it: in the "odbc" folder beside the
    // manager's own library, or beside it. The file is not loaded here: a driver's start-up code
    // belongs to the connection that uses it.
    Dl_info info{};
    if (dladdr(reinterpret_cast<void*>(&SQLAllocHandle), &info) == 0 || info.dli_fname == nullptr)
    {
        return false;
    }
    const std::string manager = info.dli_fname;
    const std::string folder = manager.substr(0, manager.rfind('/') + 1);
    return access((folder + "odbc/" + library).c_str(), R_OK) == 0 ||
           access((folder + library).c_str(), R_OK) == 0;
}

} // namespace plat::oledb
