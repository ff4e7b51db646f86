// pgs_validator.cpp: PostgreSQL identifier rules and the repair of names that break them.
#include "pgs/pgs_validator.h"

#include "plat/plat_text.h"
#include "tk/tk_logger.h"

#include <algorithm>

namespace
{
// Letters and digits follow the fixed C.UTF-8 classes, so é or Σ count as letters whatever
// locale the process runs in.
bool is_allowed(wchar_t c)
{
    return plat::is_alnum(c) || c == L' ' || c == L'$' || c == L'.' || c == L'_';
}
} // namespace

pgs_validator::pgs_validator()
    : udb_validator(max_identifier)
{
    tk_log(2, "pgs_validator::ctor");
}

bool pgs_validator::is_acceptable(const std::wstring& name) const
{
    tk_wlog(1, L"pgs_validator::is_acceptable(%s)", name);
    if (name.empty() || name.size() > static_cast<std::size_t>(max_identifier))
    {
        return false;
    }
    if (!plat::is_alnum(name.front()))
    {
        return false;
    }
    const auto invalid = std::find_if_not(name.begin(), name.end(), is_allowed);
    if (invalid != name.end())
    {
        tk_wlog(2, L"Name contains invalid symbol: '%c'", *invalid);
        return false;
    }
    return !is_restricted(name);
}

std::wstring pgs_validator::get_safe_name(const std::wstring& name) const
{
    tk_wlog(1, L"pgs_validator::get_safe_name(%s)", name);
    std::wstring safe = name;
    if (safe.empty() || !plat::is_alnum(safe.front()))
    {
        safe.insert(0, 1, L'A');
    }
    if (safe.size() > static_cast<std::size_t>(max_identifier))
    {
        safe.resize(max_identifier - 1);
    }
    std::replace_if(
        safe.begin(), safe.end(), [](wchar_t c) { return !is_allowed(c); }, L'_');
    return udb_validator::get_safe_name(safe);
}

pgs_fn_validator::pgs_fn_validator(const udb_schema& columns)
{
    tk_log(2, "pgs_fn_validator::ctor1");
    for (const t_ftd* column : columns)
    {
        if (column != nullptr)
        {
            add_existing_name(column->name);
        }
    }
}

pgs_fn_validator::pgs_fn_validator(const udb_record& fields)
{
    tk_log(2, "pgs_fn_validator::ctor1");
    for (const auto& field : fields)
    {
        if (field != nullptr)
        {
            add_existing_name(field->name());
        }
    }
}

pgs_in_validator::pgs_in_validator() = default;

pgs_in_validator::pgs_in_validator(const udb_indexes& indexes)
{
    add_index_names(indexes);
}

pgs_in_validator::~pgs_in_validator() = default;

void pgs_in_validator::add_index_names(const udb_indexes& indexes)
{
    tk_log(2, "pgs_in_validator::ctor");
    for (const udb_index& index : indexes)
    {
        add_existing_name(index.name);
    }
}
