// pgs_names_map.cpp: adding and looking up column renamings.
#include "pgs/pgs_names_map.h"

#include "plat/plat_text.h"
#include "tk/tk_logger.h"

#include <utility>

t_names_map::t_names_map(std::map<std::wstring, std::wstring> pairs)
    : m_pairs(std::move(pairs))
{
}

void t_names_map::add(const std::wstring& from, const std::wstring& to)
{
    tk_wlog(1, L"t_names_map::add(%s,%s)", from, to);
    m_pairs.emplace(from, to);
}

std::wstring t_names_map::get_mapped_name(const std::wstring& name, bool case_sensitive) const
{
    tk_wlog(1, L"t_names_map::get_mapped_name(%s)", name);
    for (const auto& [from, to] : m_pairs)
    {
        if (case_sensitive ? from == name : plat::equal_ci(from, name))
        {
            tk_wlog(1, L"Got mapped name: %s", to);
            return to;
        }
    }
    return name;
}
