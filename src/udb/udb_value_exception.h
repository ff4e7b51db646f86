// udb_value_exception.h: the failure of one value that has no faithful form on the other side.
#pragma once

#include "tk/tk_exception.h"

#include <string>

/// One value of one row cannot be carried over as it is: a number beyond the precision that
/// holds it, an infinite or BC date, NaN where the other side has none, a time of 24:00. The row
/// is not written; the run reports it with the row's number and goes on with the next row
/// (severity 0). Never replaced by NULL, a rounded or a clamped value: that would be a silent
/// change of the data.
class udb_value_exception : public tk_exception
{
public:
    explicit udb_value_exception(const std::string& text)
        : tk_exception(text, tk_severity::recoverable)
    {
    }
    explicit udb_value_exception(const std::wstring& text)
        : tk_exception(text, tk_severity::recoverable)
    {
    }
};
