// ole_exception.h: the failures of field values: a kind that text cannot become, a failed cast.
#pragma once

#include "tk/tk_exception.h"

/// Text that cannot be read as the requested kind: "The operating type is not supported yet",
/// code 0, severity 1.
class ole_type_exception : public tk_exception
{
public:
    ole_type_exception();
};

/// A value that cannot change to the requested kind (no conversion, or out of range):
/// "Cannot cast from source type to destination type", code 0, severity 1.
class ole_cast_exception : public tk_exception
{
public:
    ole_cast_exception();
};
