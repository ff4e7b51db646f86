// pgs_exception.cpp: the PostgreSQL side's exception.
#include "pgs/pgs_exception.h"

#include "tk/tk_logger.h"

pgs_exception::pgs_exception(const std::string& message)
    : tk_exception(message, 0)
{
    tk_log(2, "pgs_exception::ctor");
}
