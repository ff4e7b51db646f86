// oledb_rowset_reader.h: reads a whole rowset as text through IAccessor and IRowset, the way the
// consumer does (every column bound as wide text).
#pragma once

#include "plat/oledb/oledb_interfaces.h"

#include <optional>
#include <string>
#include <vector>

namespace oledb_test
{

/// One row of texts; nullopt for NULL.
using text_row = std::vector<std::optional<std::wstring>>;

/// The column names and all rows, read in batches of `batch` rows; an HRESULT failure is an
/// assertion failure of the calling test.
struct rowset_contents
{
    std::vector<std::wstring> names;
    std::vector<DBTYPE> types;
    std::vector<text_row> rows;
    std::vector<DBCOUNTITEM> batches;
};

rowset_contents read_rowset(IRowset* rowset, DBROWCOUNT batch = 5);

} // namespace oledb_test
