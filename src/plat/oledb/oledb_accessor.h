// oledb_accessor.h: checking a consumer's bindings and writing one value into its row buffer.
#pragma once

#include "plat/oledb/oledb_link.h"
#include "plat/oledb/oledb_types.h"

namespace plat::oledb
{

/// True for the types a binding may ask for: WSTR, STR, BYTES and the fixed numeric types.
bool is_bindable_type(DBTYPE type);

/// DBBINDSTATUS_OK, or why CreateAccessor refuses the binding of a rowset of `column_count`
/// columns.
DBBINDSTATUS check_binding(const DBBINDING& binding, DBORDINAL column_count);

/// Writes the parts the binding asks for (status, length, value) at its offsets in `data`,
/// never past cbMaxLen for variable-length values and never through a cast pointer (offsets may
/// be odd). Text is terminated; a value that does not fit is cut and its status is
/// DBSTATUS_S_TRUNCATED with the full length. Answers the status written.
DBSTATUS write_binding(const DBBINDING& binding, const cell& value, std::uint8_t* data);

} // namespace plat::oledb
