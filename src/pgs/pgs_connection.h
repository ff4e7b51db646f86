// pgs_connection.h: one open libpqxx connection with its server notices routed to the trace log.
#pragma once

#include <memory>
#include <pqxx/connection>
#include <string>

/// Owns one libpqxx connection. Server notices go to the trace log (level 1) instead of the
/// library's default, standard error. Closing is quiet: a failing close reports nothing.
class pgs_connection
{
public:
    /// Opens a connection from a libpq connection string; throws the library's exception.
    explicit pgs_connection(const std::string& conninfo);
    ~pgs_connection();

    pgs_connection(const pgs_connection&) = delete;
    pgs_connection& operator=(const pgs_connection&) = delete;

    pqxx::connection& get() { return *m_connection; }

private:
    class notice_logger;

    std::unique_ptr<pqxx::connection> m_connection;
    std::unique_ptr<notice_logger> m_notices;
};
