// pgs_names_map.h: the column renamings of one table, source name to the name it was given.
#pragma once

#include <map>
#include <string>

/// Source column name -> target column name, in key order (plain code-unit comparison).
class t_names_map
{
public:
    t_names_map() = default;
    /// The pairs a validator collected while it renamed columns.
    explicit t_names_map(std::map<std::wstring, std::wstring> pairs);

    /// Adds the pair; a source name already present keeps its first target.
    void add(const std::wstring& from, const std::wstring& to);
    /// The target of the first key (in key order) equal to `name`, exactly when
    /// `case_sensitive`, else without case; `name` itself when no key matches.
    std::wstring get_mapped_name(const std::wstring& name, bool case_sensitive) const;

    const std::map<std::wstring, std::wstring>& pairs() const { return m_pairs; }
    bool empty() const { return m_pairs.empty(); }

private:
    std::map<std::wstring, std::wstring> m_pairs;
};
