// udb_relationships.cpp: the foreign key list and its lookups by name.
#include "udb/udb_relationships.h"

#include "plat/plat_text.h"
#include "tk/tk_exception.h"
#include "tk/tk_logger.h"

#include <algorithm>

const udb_relationship& udb_relationships::get_index(const std::wstring& name) const
{
    tk_wlog(1, L"udb_relationships::get_index(%s)", name);
    for (const udb_relationship& relationship : m_items)
    {
        if (plat::equal_ci(relationship.name, name))
        {
            return relationship;
        }
    }
    throw tk_mail_assertion("udb_rel", 122);
}

bool udb_relationships::is_acceptable_name(const std::wstring& name) const
{
    tk_wlog(1, L"udb_relationships::is_acceptable_name(%s)", name);
    return std::none_of(m_items.begin(), m_items.end(),
                        [&](const udb_relationship& relationship)
                        { return plat::equal_ci(relationship.name, name); });
}

void udb_relationships::push_back(const udb_relationship& relationship)
{
    m_items.push_back(relationship);
}
