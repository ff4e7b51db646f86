// udb_conversion_rule.h: the interface of a plug-in rule for converting columns and values.
#pragma once

#include "ole/ole_variant.h"
#include "udb/t_ftd.h"

#include <string>

/// A custom conversion rule, consulted through udb_custom_conversion.
class udb_conversion_rule
{
public:
    virtual ~udb_conversion_rule() = default;

    /// Contract: true when the rule handles this value.
    virtual bool accepts_value(const ole_variant& value) const = 0;
    /// Contract: true when the rule handles this column.
    virtual bool accepts_column(const t_ftd& column) const = 0;
    /// Contract: the text the rule makes of an accepted value.
    virtual std::wstring value_text(const ole_variant& value) const = 0;
    /// Contract: handles an accepted column with one of its values (may change the value).
    virtual void handle_column_value(const t_ftd& column, ole_variant& value) const = 0;
    /// Contract: the text the rule makes of an accepted column (its type text).
    virtual std::wstring column_text(const t_ftd& column) const = 0;
};
