// udb_names_map.h: the target names chosen for source tables and columns, and SQL text rewriting.
#pragma once

#include <map>
#include <string>

/// Source name -> target name; keys ordered by plain code-unit comparison, looked up exactly.
using udb_name_pairs = std::map<std::wstring, std::wstring>;

/// Remembers the target name chosen for each source table and column of a database.
class udb_names_map
{
public:
    /// Maps a source table to its target name; an existing source name keeps its first target.
    void add_tn_mapping(const std::wstring& source, const std::wstring& target);
    /// Stores a copy of a table's column map; an existing table keeps its first map.
    void add_fn_map(const std::wstring& table, const udb_name_pairs& column_map);
    /// Forgets the column map of exactly `table` (a table dropped), so that a table made again
    /// under that name gets its own.
    void remove_fn_map(const std::wstring& table);

    /// The target name of `table` (compared exactly when `case_sensitive`, else without case),
    /// or `table` itself when it has none.
    std::wstring get_tn_mapped_name(const std::wstring& table, bool case_sensitive) const;
    /// The target name of `column` in the column map of exactly `table`, or `column` itself when
    /// the table or the column has none. Other tables' maps are never consulted.
    std::wstring get_fn_mapped_name(const std::wstring& table, const std::wstring& column,
                                    bool case_sensitive) const;

    /// Replaces, pair after pair in key order, each whole-word case-sensitive occurrence of a
    /// source name in `text` by prefix + target + suffix. A hit next to a letter or digit is part
    /// of a longer word and stays; '_' and other punctuation are word borders. A later pair may
    /// match the output of an earlier one. Empty source names are skipped.
    static std::wstring do_global_replace2(const std::wstring& text, const udb_name_pairs& map,
                                           const std::wstring& prefix, const std::wstring& suffix);
    /// do_global_replace2 with the table map, then with each table's column map in key order.
    std::wstring do_global_replace1(const std::wstring& text, const std::wstring& prefix,
                                    const std::wstring& suffix) const;

    const udb_name_pairs& tn_map() const { return m_tn_map; }
    const std::map<std::wstring, udb_name_pairs>& fn_map() const { return m_fn_map; }

private:
    udb_name_pairs m_tn_map;
    std::map<std::wstring, udb_name_pairs> m_fn_map;
};
