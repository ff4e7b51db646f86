// udb_indexes.h: the index list of a table with the rules that merge repeated catalog entries.
#pragma once

#include "udb/udb_index.h"

#include <cstddef>
#include <string>
#include <vector>

/// Indexes in the order they were accepted. Names compare without regard to case.
class udb_indexes
{
public:
    /// True when an index of that name exists.
    bool find2(const std::wstring& name) const;
    /// The index of that name; throws tk_mail_assertion ("..\UDB/udb_idx", 187) when absent
    /// (callers test find2 first).
    udb_index& get_index(const std::wstring& name);
    const udb_index& get_index(const std::wstring& name) const;
    /// True when no index of that name exists.
    bool is_acceptable_name(const std::wstring& name) const;
    /// True when `column` is among the columns of any index (of a primary key only, with
    /// `primary_only`). Column names compare exactly, with case.
    bool is_idx_field(const std::wstring& column, bool primary_only) const;

    /// Appends a copy of a new index. For a name already present: an existing primary key stays;
    /// a primary key replaces a non-primary index (name, flags, columns); an existing unique
    /// index stays; a unique index replaces a plain one wholly; two plain ones leave it alone.
    void push_back(const udb_index& index);

    std::size_t size() const { return m_indexes.size(); }
    bool empty() const { return m_indexes.empty(); }
    const udb_index& operator[](std::size_t position) const { return m_indexes[position]; }
    udb_index& operator[](std::size_t position) { return m_indexes[position]; }
    std::vector<udb_index>::const_iterator begin() const { return m_indexes.begin(); }
    std::vector<udb_index>::const_iterator end() const { return m_indexes.end(); }
    const std::vector<udb_index>& items() const { return m_indexes; }
    void clear() { m_indexes.clear(); }

private:
    const udb_index* find(const std::wstring& name) const;

    std::vector<udb_index> m_indexes;
};
