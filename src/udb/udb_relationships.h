// udb_relationships.h: the foreign keys read from a source database, in the order read.
#pragma once

#include "udb/udb_relationship.h"

#include <cstddef>
#include <string>
#include <vector>

/// Foreign keys in the order added. Names compare without regard to case.
class udb_relationships
{
public:
    /// The first foreign key of that name; throws tk_mail_assertion ("udb_rel", 122) when absent
    /// (callers test is_acceptable_name first).
    const udb_relationship& get_index(const std::wstring& name) const;
    /// True when no foreign key has that name.
    bool is_acceptable_name(const std::wstring& name) const;
    /// Appends a copy.
    void push_back(const udb_relationship& relationship);

    std::size_t size() const { return m_items.size(); }
    bool empty() const { return m_items.empty(); }
    const udb_relationship& operator[](std::size_t position) const { return m_items[position]; }
    std::vector<udb_relationship>::const_iterator begin() const { return m_items.begin(); }
    std::vector<udb_relationship>::const_iterator end() const { return m_items.end(); }
    const std::vector<udb_relationship>& items() const { return m_items; }
    void clear() { m_items.clear(); }

private:
    std::vector<udb_relationship> m_items;
};
