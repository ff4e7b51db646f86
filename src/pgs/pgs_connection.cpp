// pgs_connection.cpp: opening and quietly closing a libpqxx connection.
#include "pgs/pgs_connection.h"

#include "tk/tk_logger.h"

#include <pqxx/errorhandler>
#include <string_view>

class pgs_connection::notice_logger : public pqxx::errorhandler
{
public:
    explicit notice_logger(pqxx::connection_base& connection)
        : pqxx::errorhandler(connection)
    {
    }

    bool operator()(const char message[]) noexcept override
    {
        try
        {
            std::string_view text(message);
            while (!text.empty() && text.back() == '\n')
            {
                text.remove_suffix(1);
            }
            tk_log(1, "Server notice: %s", text);
        }
        catch (...)
        {
            // A notice that cannot be logged is not worth a failure.
        }
        return false;
    }
};

pgs_connection::pgs_connection(const std::string& conninfo)
    : m_connection(std::make_unique<pqxx::connection>(conninfo))
    , m_notices(std::make_unique<notice_logger>(*m_connection))
{
}

pgs_connection::~pgs_connection()
{
    m_notices.reset();
    try
    {
        pqxx::quiet_errorhandler quiet(*m_connection);
        m_connection->disconnect();
    }
    catch (...)
    {
        // Registering the quiet handler can only fail for memory; the connection then closes
        // in its own destructor, which never throws.
    }
}
