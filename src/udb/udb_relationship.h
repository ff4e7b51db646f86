// udb_relationship.h: one foreign key as the model carries it between the engines.
#pragma once

#include <string>
#include <vector>

/// A foreign key record.
struct udb_relationship
{
    /// The foreign key's name, the lookup key of udb_relationships.
    std::wstring name;
    /// The referenced key's name (empty when the reader does not know it).
    std::wstring key_name;
    /// The table that holds the foreign key.
    std::wstring table;
    /// The table it points to.
    std::wstring referenced_table;
    /// The referential actions as the reader built them (engine-specific text).
    std::wstring rules;
    std::vector<std::wstring> columns;
    /// The referenced columns, in the order of `columns`.
    std::vector<std::wstring> referenced_columns;

    udb_relationship() = default;
    udb_relationship(std::wstring fk_name, std::wstring referenced_key_name, std::wstring fk_table,
                     std::wstring fk_referenced_table, std::wstring fk_rules,
                     std::vector<std::wstring> fk_columns,
                     std::vector<std::wstring> fk_referenced_columns);

    bool operator==(const udb_relationship&) const = default;
};
