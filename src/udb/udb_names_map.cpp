// udb_names_map.cpp: table and column name mappings and whole-word rewriting of SQL text.
#include "udb/udb_names_map.h"

#include "plat/plat_text.h"
#include "tk/tk_logger.h"

namespace
{
bool same_name(const std::wstring& a, const std::wstring& b, bool case_sensitive)
{
    return case_sensitive ? a == b : plat::equal_ci(a, b);
}

// The first source name of `map` equal to `name`, walked in key order as the logs show it.
const std::wstring* lookup(const udb_name_pairs& map, const std::wstring& name, bool case_sensitive)
{
    for (const auto& [source, target] : map)
    {
        tk_wlog(1, L"Comparing with (%s,%s)", source, target);
        if (same_name(source, name, case_sensitive))
        {
            tk_wlog(1, L"Got mapped name: %s", target);
            return &target;
        }
    }
    return nullptr;
}
} // namespace

void udb_names_map::add_tn_mapping(const std::wstring& source, const std::wstring& target)
{
    tk_wlog(2, L"udb_names_map::add_tn_mapping(%s,%s)", source, target);
    m_tn_map.emplace(source, target);
}

void udb_names_map::add_fn_map(const std::wstring& table, const udb_name_pairs& column_map)
{
    tk_wlog(2, L"udb_names_map::add_fn_map(%s)", table);
    m_fn_map.emplace(table, column_map);
}

void udb_names_map::remove_fn_map(const std::wstring& table)
{
    tk_wlog(2, L"udb_names_map::remove_fn_map(%s)", table);
    m_fn_map.erase(table);
}

std::wstring udb_names_map::get_tn_mapped_name(const std::wstring& table, bool case_sensitive) const
{
    tk_wlog(1, L"udb_names_map::get_tn_mapped_name(%s)", table);
    const std::wstring* target = lookup(m_tn_map, table, case_sensitive);
    return target != nullptr ? *target : table;
}

std::wstring udb_names_map::get_fn_mapped_name(const std::wstring& table,
                                               const std::wstring& column,
                                               bool case_sensitive) const
{
    tk_wlog(1, L"udb_names_map::get_fn_mapped_name(%s,%s)", table, column);
    const auto columns = m_fn_map.find(table);
    if (columns == m_fn_map.end())
    {
        tk_wlog(1, L"Table '%s' not found", table);
        return column;
    }
    const std::wstring* target = lookup(columns->second, column, case_sensitive);
    return target != nullptr ? *target : column;
}

std::wstring udb_names_map::do_global_replace2(const std::wstring& text, const udb_name_pairs& map,
                                               const std::wstring& prefix,
                                               const std::wstring& suffix)
{
    tk_wlog(2, L"udb_names_map::do_global_replace2(%s)", text);
    std::wstring result = text;
    for (const auto& [old_name, new_name] : map)
    {
        // An empty name would be found at every position without the search ever advancing.
        if (old_name.empty())
        {
            continue;
        }
        const std::wstring replacement = prefix + new_name + suffix;
        tk_wlog(1, L"Testing pair ('%s','%s')", old_name, replacement);
        std::size_t pos = result.find(old_name);
        while (pos != std::wstring::npos)
        {
            tk_wlog(1, L"'%s' was found at pos=%d", old_name, pos);
            const std::size_t after = pos + old_name.size();
            const bool joined_before = pos > 0 && plat::is_alnum(result[pos - 1]);
            const bool joined_after = after < result.size() && plat::is_alnum(result[after]);
            if (joined_before || joined_after)
            {
                pos = result.find(old_name, after);
                continue;
            }
            result.replace(pos, old_name.size(), replacement);
            pos = result.find(old_name, pos + replacement.size());
        }
    }
    return result;
}

std::wstring udb_names_map::do_global_replace1(const std::wstring& text, const std::wstring& prefix,
                                               const std::wstring& suffix) const
{
    tk_wlog(2, L"udb_names_map::do_global_replace1(%s)", text);
    std::wstring result = do_global_replace2(text, m_tn_map, prefix, suffix);
    for (const auto& [table, columns] : m_fn_map)
    {
        result = do_global_replace2(result, columns, prefix, suffix);
    }
    return result;
}
