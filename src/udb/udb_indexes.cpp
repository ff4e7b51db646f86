// udb_indexes.cpp: the index list and the merge rules for an index the catalog lists twice.
#include "udb/udb_indexes.h"

#include "plat/plat_text.h"
#include "tk/tk_exception.h"
#include "tk/tk_logger.h"

#include <algorithm>
#include <utility>

const udb_index* udb_indexes::find(const std::wstring& name) const
{
    for (const udb_index& index : m_indexes)
    {
        if (plat::equal_ci(index.name, name))
        {
            return &index;
        }
    }
    return nullptr;
}

bool udb_indexes::find2(const std::wstring& name) const
{
    tk_log(1, "udb_indexes::find2");
    return find(name) != nullptr;
}

const udb_index& udb_indexes::get_index(const std::wstring& name) const
{
    tk_wlog(1, L"udb_indexes::get_index(%s)", name);
    if (const udb_index* index = find(name))
    {
        return *index;
    }
    throw tk_mail_assertion("..\\UDB/udb_idx", 187);
}

udb_index& udb_indexes::get_index(const std::wstring& name)
{
    return const_cast<udb_index&>(std::as_const(*this).get_index(name));
}

bool udb_indexes::is_acceptable_name(const std::wstring& name) const
{
    tk_wlog(1, L"udb_indexes::is_acceptable_name(%s)", name);
    return find(name) == nullptr;
}

bool udb_indexes::is_idx_field(const std::wstring& column, bool primary_only) const
{
    tk_wlog(1, L"udb_indexes::is_idx_field(%s)", column);
    for (const udb_index& index : m_indexes)
    {
        if (primary_only && !index.primary)
        {
            continue;
        }
        if (std::find(index.columns.begin(), index.columns.end(), column) != index.columns.end())
        {
            tk_log(1, "index field");
            return true;
        }
    }
    tk_log(1, "non-index field");
    return false;
}

void udb_indexes::push_back(const udb_index& index)
{
    tk_wlog(1, L"udb_indexes::push_back(%s)", index.name);
    if (!find2(index.name))
    {
        tk_log(2, "Index does not exist, add it");
        m_indexes.push_back(index);
        return;
    }
    udb_index& existing = get_index(index.name);
    if (existing.primary)
    {
        tk_log(2, "Primary key with the same name exists, skip it.");
    }
    else if (index.primary)
    {
        tk_log(2, "Upgrade existing index to primary key.");
        existing.name = index.name;
        existing.unique = index.unique;
        existing.primary = index.primary;
        existing.columns = index.columns;
    }
    else if (existing.unique)
    {
        tk_log(2, "Unique index with the same name exists, skip it.");
    }
    else if (index.unique)
    {
        tk_log(2, "Set unique attribute for existing index.");
        existing = index;
    }
}
