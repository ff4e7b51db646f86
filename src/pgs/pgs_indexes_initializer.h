// pgs_indexes_initializer.h: the indexes of a new PostgreSQL table and their creation.
#pragma once

#include "pgs/pgs_names_map.h"
#include "udb/udb_indexes.h"
#include "udb/udb_schema.h"

#include <string>
#include <vector>

/// Works out which source indexes a new table gets: columns renamed as the table's columns
/// were, no index on a text or binary column too long to be indexed, no index whose columns
/// begin with those of an index already taken, names PostgreSQL accepts and no other index of
/// the process uses (through the engine's index-name validator).
class pgs_indexes_initializer
{
public:
    /// `new_schema` is the new table's (the schema initializer's); needs the engine.
    pgs_indexes_initializer(const std::wstring& table_name, const udb_schema& new_schema,
                            const udb_indexes& source_indexes, const t_names_map& renamings);

    /// The statement that creates the index at `position` of indexes().
    std::wstring create_index_sql(std::size_t position) const;
    /// Drops an index of each index's name on this table, then creates the index. Throws
    /// pgs_exception "Cannot create index: <statement>. <library's message>".
    void build_indexes() const;

    const udb_indexes& indexes() const { return m_indexes; }

private:
    bool can_be_part_of_index(const std::wstring& column) const;
    void drop_index(const std::wstring& name) const;

    std::wstring m_table_name;
    udb_indexes m_indexes;
    const udb_schema* m_schema;
};
