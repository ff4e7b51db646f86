// pgs_exception.cpp: the PostgreSQL side's exception.
#include "pgs/pgs_exception.h"

#include "pgs/pgs_engine.h"
#include "tk/tk_logger.h"

#include <pqxx/except>
#include <string_view>

pgs_exception::pgs_exception(const std::string& message)
    : tk_exception(message, tk_severity::recoverable)
{
    tk_log(2, "pgs_exception::ctor");
}

bool pgs_connection_broken(const std::exception& error)
{
    if (dynamic_cast<const pqxx::broken_connection*>(&error) != nullptr)
    {
        return true;
    }
    // libpqxx reports a server that closed the connection mid-statement as an ordinary SQL
    // error; libpq's state of the connection tells the difference.
    pgs_engine* engine = pgs_engine::find();
    return engine != nullptr && engine->is_connected() && !engine->connection().is_open();
}

std::string pgs_error_text(const std::exception& error)
{
    std::string text = error.what();
    // The server's words when row_security is off and a policy would apply to the statement.
    if (dynamic_cast<const pqxx::sql_error*>(&error) == nullptr ||
        text.find("would be affected by row-level security policy") == std::string::npos)
    {
        return text;
    }
    while (!text.empty() && (text.back() == '\n' || text.back() == ' '))
    {
        text.pop_back();
    }
    if (!text.empty() && text.back() != '.')
    {
        text += '.';
    }
    return text + " The table has row-level security for this login, which would read only the "
                  "rows its policies let through: convert it as a login that bypasses row "
                  "security (a superuser, a role with BYPASSRLS, or the table's owner when the "
                  "table does not force row security), which reads every row.";
}
