// oledb_columns.h: rowset columns as IColumnsInfo describes them, and the mapping from the
// driver's column descriptions.
#pragma once

#include "plat/oledb/oledb_link.h"
#include "plat/oledb/oledb_types.h"

#include <string>
#include <string_view>
#include <vector>

namespace plat::oledb
{

/// One column of a rowset.
struct rowset_column
{
    std::wstring name;
    DBTYPE type = DBTYPE_WSTR;
    /// Characters for text, bytes for binary, the value's size for fixed types;
    /// DB_LONG_COLUMN_SIZE for long columns.
    DBLENGTH size = 0;
    BYTE precision = 255;
    BYTE scale = 255;
    DBCOLUMNFLAGS flags = 0;

    bool operator==(const rowset_column&) const = default;
};

/// The DBTYPE of an ODBC SQL type. `type_name` tells money from other decimals; `native` (a
/// Native Client provider over a SQL Server driver) keeps XML as DBTYPE_XML.
DBTYPE dbtype_for_sql_type(std::int16_t sql_type, std::wstring_view type_name, bool native);

/// The byte size of a fixed-size DBTYPE's value; 0 for variable-length types.
DBLENGTH fixed_size_of(DBTYPE type);

/// The rowset column for a driver column.
rowset_column column_from_driver(const column_desc& desc, bool native);

std::vector<rowset_column> columns_from_driver(const std::vector<column_desc>& descs, bool native);

} // namespace plat::oledb
