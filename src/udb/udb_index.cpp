// udb_index.cpp: the index record and its leading-columns test.
#include "udb/udb_index.h"

#include "plat/plat_text.h"
#include "tk/tk_logger.h"

#include <utility>

udb_index::udb_index(std::wstring index_name, bool is_unique, bool is_primary,
                     std::vector<std::wstring> index_columns)
    : name(std::move(index_name))
    , unique(is_unique)
    , primary(is_primary)
    , columns(std::move(index_columns))
{
}

bool udb_index::starts_with_fields(const std::vector<std::wstring>& fields) const
{
    tk_wlog(1, L"udb_index(%s)::starts_with_fields", name);
    if (columns.size() < fields.size())
    {
        return false;
    }
    for (std::size_t field_idx = 0; field_idx < fields.size(); ++field_idx)
    {
        if (!plat::equal_ci(columns[field_idx], fields[field_idx]))
        {
            tk_wlog(1, L"Field '%s' not found", fields[field_idx]);
            return false;
        }
    }
    tk_log(1, "starts_with_fields returns true");
    return true;
}
