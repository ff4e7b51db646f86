// pgs_ftd.h: the column descriptor of a PostgreSQL column, a t_ftd plus the catalog's type name.
#pragma once

#include "udb/t_ftd.h"

#include <memory>
#include <string>

/// A PostgreSQL column: the neutral descriptor plus the type name as the catalog reports it
/// (for example "character varying", "money").
struct pgs_ftd : public t_ftd
{
    std::string type_name;

    pgs_ftd() = default;
    pgs_ftd(const t_ftd& column, std::string column_type_name)
        : t_ftd(column)
        , type_name(std::move(column_type_name))
    {
    }

    std::unique_ptr<t_ftd> clone() const override { return std::make_unique<pgs_ftd>(*this); }
};
