// pgs_connect_test.cpp: connecting to the test server, its database list and connection failures.
#include "pgs/pgs_exception.h"
#include "pgs_test_server.h"
#include "test_support.h"

#include <algorithm>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <pqxx/connection>
#include <pqxx/nontransaction>
#include <string>
#include <sys/socket.h>
#include <unistd.h>
#include <vector>

namespace
{

using pgs_test::server_test;

class PgsConnect : public server_test
{
protected:
    std::string connect_error(const std::string& password, const std::string& database, int port)
    {
        try
        {
            m_engine->connect(m_settings.host, m_settings.user, password, database, port);
        }
        catch (const pgs_exception& error)
        {
            EXPECT_EQ(error.severity(), 0);
            EXPECT_EQ(error.code(), 0);
            return error.what();
        }
        ADD_FAILURE() << "connect did not fail";
        return "";
    }

    std::string server_prefix(int port) const
    {
        return "connection to server at \"" + m_settings.host + "\", port " + std::to_string(port) +
               " failed: ";
    }
};

std::wstring wide(const std::string& text)
{
    return std::wstring(text.begin(), text.end());
}

// A TCP port on 127.0.0.1 that nothing listens on: bound once by the system, then released.
int closed_port()
{
    const int sock = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof(address);
    ::bind(sock, reinterpret_cast<sockaddr*>(&address), sizeof(address));
    ::getsockname(sock, reinterpret_cast<sockaddr*>(&address), &length);
    ::close(sock);
    return ntohs(address.sin_port);
}

TEST_F(PgsConnect, DatabaseListHoldsNamesOfEveryCase)
{
    pgs_test::scratch_database mixed(m_settings, "ZovMixedDb");
    connect_engine();
    const std::vector<std::wstring> names = m_engine->get_contents();
    EXPECT_NE(std::find(names.begin(), names.end(), wide(mixed.name())), names.end());
    EXPECT_NE(std::find(names.begin(), names.end(), wide(m_database->name())), names.end());
    EXPECT_NE(std::find(names.begin(), names.end(), L"postgres"), names.end());
    EXPECT_EQ(std::find(names.begin(), names.end(), L"template1"), names.end());

    EXPECT_TRUE(m_engine->is_db_exist(wide(mixed.name())));
    EXPECT_FALSE(m_engine->is_db_exist(L"template1"));
    EXPECT_FALSE(m_engine->is_db_exist(L"x' OR '1'='1"));
}

TEST_F(PgsConnect, SocketProbesASilentServerWithinSeconds)
{
    // A server that vanishes without closing the connection is given up by the socket itself,
    // not after the system's two hours of keepalive silence.
    connect_engine();
    const int sock = m_engine->connection().sock();
    ASSERT_GE(sock, 0);
    const auto option = [&](int level, int name)
    {
        int value = -1;
        socklen_t length = sizeof value;
        EXPECT_EQ(::getsockopt(sock, level, name, &value, &length), 0);
        return value;
    };
    EXPECT_EQ(option(SOL_SOCKET, SO_KEEPALIVE), 1);
    EXPECT_EQ(option(IPPROTO_TCP, TCP_KEEPIDLE), 10);
    EXPECT_EQ(option(IPPROTO_TCP, TCP_KEEPINTVL), 5);
    EXPECT_EQ(option(IPPROTO_TCP, TCP_KEEPCNT), 3);
    EXPECT_EQ(option(IPPROTO_TCP, TCP_USER_TIMEOUT), 30000);
}

TEST_F(PgsConnect, BrokenConnectionIsTheLostConnectionAndAFailedStatementIsNot)
{
    connect_engine();
    try
    {
        pgs_checked([&] { pqxx::nontransaction(m_engine->connection()).exec("SELECT nothing"); });
        ADD_FAILURE() << "no failure";
    }
    catch (const pgs_exception& error)
    {
        EXPECT_FALSE(error.connection_lost()) << error.what();
    }
    // The server ends this session as it would on a restart.
    pqxx::connection admin("host=" + m_settings.host + " port=" + std::to_string(m_settings.port) +
                           " user=" + m_settings.user + " password=" + m_settings.password +
                           " dbname=postgres");
    const int pid = m_engine->connection().backendpid();
    pqxx::nontransaction(admin).exec("SELECT pg_terminate_backend(" + std::to_string(pid) + ")");
    try
    {
        pgs_checked([&] { pqxx::nontransaction(m_engine->connection()).exec("SELECT 1"); });
        ADD_FAILURE() << "no failure";
    }
    catch (const pgs_exception& error)
    {
        EXPECT_TRUE(error.connection_lost()) << error.what();
    }
}

TEST_F(PgsConnect, NameLookupLowerCasesUnlessCaseSensitive)
{
    pgs_test::scratch_database mixed(m_settings, "ZovMixedDb");
    connect_engine();
    m_engine->set_case_sensitive(false);
    EXPECT_FALSE(m_engine->is_db_exist(wide(mixed.name())));
    EXPECT_TRUE(m_engine->is_db_exist(L"POSTGRES"));
}

TEST_F(PgsConnect, WrongPasswordGivesTheServersText)
{
    EXPECT_EQ(connect_error("wrong", m_database->name(), m_settings.port),
              server_prefix(m_settings.port) +
                  "FATAL:  password authentication failed for user \"" + m_settings.user + "\"\n");
    EXPECT_FALSE(m_engine->is_connected());
}

TEST_F(PgsConnect, ClosedPortGivesTheLibrarysText)
{
    const int port = closed_port();
    EXPECT_EQ(connect_error(m_settings.password, m_database->name(), port),
              server_prefix(port) +
                  "Connection refused\n\tIs the server running on that host and accepting "
                  "TCP/IP connections?\n");
}

TEST_F(PgsConnect, EmptyPasswordStillReachesTheNamedHost)
{
    // Unquoted, the empty value would swallow "host=..." and libpq would try its local socket.
    EXPECT_EQ(connect_error("", m_database->name(), m_settings.port),
              server_prefix(m_settings.port) + "fe_sendauth: no password supplied\n");
}

TEST_F(PgsConnect, NamedMissingDatabaseFailsWithoutFallingBack)
{
    const std::string missing = pgs_test::unique_name("zov_missing");
    EXPECT_EQ(connect_error(m_settings.password, missing, m_settings.port),
              server_prefix(m_settings.port) + "FATAL:  database \"" + missing +
                  "\" does not exist\n");
    EXPECT_FALSE(m_engine->is_connected());
}

TEST_F(PgsConnect, FailedConnectKeepsThePreviousConnection)
{
    connect_engine();
    connect_error("wrong", m_database->name(), m_settings.port);
    ASSERT_TRUE(m_engine->is_connected());
    EXPECT_EQ(m_engine->connection().dbname(), m_database->name());
}

TEST_F(PgsConnect, UnnamedDatabaseFallsBackToTheLoginsDefault)
{
    // A login whose name is also its database, whose password holds a blank, a quote and a
    // backslash, and who may not enter "postgres": the first attempt fails, the second lands
    // in libpq's default database, named after the login.
    const std::string role = m_database->name();
    const std::string password = "a b'c\\d";
    {
        pqxx::connection admin(pgs_test::conninfo(m_settings, "postgres"));
        pqxx::nontransaction work(admin);
        work.exec("CREATE ROLE " + work.quote_name(role) + " LOGIN PASSWORD " +
                  work.quote(password));
        work.exec("REVOKE CONNECT ON DATABASE postgres FROM PUBLIC");
    }
    std::string error;
    std::string connected_to;
    try
    {
        m_engine->connect(m_settings.host, role, password, "", m_settings.port);
        connected_to = m_engine->connection().dbname();
    }
    catch (const pgs_exception& failure)
    {
        error = failure.what();
    }
    {
        pqxx::connection admin(pgs_test::conninfo(m_settings, "postgres"));
        pqxx::nontransaction work(admin);
        work.exec("GRANT CONNECT ON DATABASE postgres TO PUBLIC");
        m_engine.reset();
        m_database.reset();
        work.exec("DROP ROLE " + work.quote_name(role));
    }
    EXPECT_EQ(error, "");
    EXPECT_EQ(connected_to, role);
}

TEST_F(PgsConnect, OpenDbReconnectsWithTheStoredPortAfterPortZero)
{
    pgs_test::scratch_database other(m_settings);
    m_engine->connect(m_settings.host, m_settings.user, m_settings.password, "", m_settings.port);
    EXPECT_EQ(m_engine->database(), "postgres");
    // libpq's own default port now leads nowhere: only the stored port can reach the server.
    test_support::scoped_env port("PGPORT", std::to_string(closed_port()));
    EXPECT_THROW(m_engine->connect("", m_settings.user, m_settings.password, "postgres", 0),
                 pgs_exception);
    EXPECT_EQ(m_engine->port(), m_settings.port);
    const auto database = m_engine->open_db(wide(other.name()), udb_open_mode::source, L"");
    EXPECT_EQ(m_engine->connection().dbname(), other.name());
    EXPECT_EQ(m_engine->connection().port(), std::to_string(m_settings.port));
    EXPECT_EQ(database->name(), wide(other.name()));
    EXPECT_TRUE(database->get_tables().empty());
}

} // namespace
