// pgs_exception.cpp: the PostgreSQL side's exception.
#include "pgs/pgs_exception.h"

#include "pgs/pgs_engine.h"
#include "tk/tk_logger.h"

#include <pqxx/except>

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
