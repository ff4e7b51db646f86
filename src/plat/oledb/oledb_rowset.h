// oledb_rowset.h: the rowset object (IRowset, IAccessor, IColumnsInfo, IRowsetInfo) over a source
// of rows, and the materialised source that command and schema rowsets use.
#pragma once

#include "plat/oledb/oledb_columns.h"
#include "plat/oledb/oledb_interfaces.h"

#include <memory>
#include <vector>

namespace plat::oledb
{

/// Where a rowset's rows come from.
class row_source
{
public:
    virtual ~row_source() = default;
    /// S_OK with the next row, S_FALSE at the end, or a failure with its records.
    virtual link_status next(row& values) = 0;
    /// Back before the first row.
    virtual link_status restart() = 0;
};

/// Rows already read whole.
std::unique_ptr<row_source> make_materialised_source(std::vector<row> rows);

/// A rowset answering IRowset, IAccessor, IColumnsInfo and IRowsetInfo.
com_ref<IRowset> make_rowset(std::vector<rowset_column> columns,
                             std::unique_ptr<row_source> source);

/// GetColumnInfo's answer for `columns`: one block holds the array and then the names, so freeing
/// the array frees everything.
HRESULT describe_rowset_columns(const std::vector<rowset_column>& columns, DBORDINAL* count,
                                DBCOLUMNINFO** info, OLECHAR** strings);

/// IRowsetInfo::GetProperties of every rowset here: large values come through
/// ISequentialStream, never IStream; other properties are not supported.
HRESULT stream_rowset_properties(ULONG id_set_count, const DBPROPIDSET id_sets[], ULONG* set_count,
                                 DBPROPSET** sets);

} // namespace plat::oledb
