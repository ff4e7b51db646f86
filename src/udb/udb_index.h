// udb_index.h: one index of a table as the model carries it between the engines.
#pragma once

#include <string>
#include <vector>

/// An index record. A primary key is also reported as unique by the readers.
struct udb_index
{
    std::wstring name;
    bool unique = false;
    bool primary = false;
    /// The indexed columns in key order.
    std::vector<std::wstring> columns;

    udb_index() = default;
    udb_index(std::wstring index_name, bool is_unique, bool is_primary,
              std::vector<std::wstring> index_columns);

    /// True when the first columns of the index equal `fields` one by one, without regard to
    /// case; an empty list is always true, an index with fewer columns than the list is false.
    bool starts_with_fields(const std::vector<std::wstring>& fields) const;

    bool operator==(const udb_index&) const = default;
};
