// ole_exception.cpp: the failures of field values.
#include "ole/ole_exception.h"

ole_type_exception::ole_type_exception()
    : tk_exception(std::string("The operating type is not supported yet"), tk_severity::ends_run)
{
}

ole_cast_exception::ole_cast_exception()
    : tk_exception(std::string("Cannot cast from source type to destination type"),
                   tk_severity::ends_run)
{
}
