// mss_key_sizes.h: the bytes each key and index of a new table takes on SQL Server, the bounded
// size its unbounded text columns need, and why an index cannot be created.
#pragma once

#include "mss/mss_types.h"
#include "udb/udb_indexes.h"
#include "udb/udb_schema.h"

#include <string>
#include <vector>

/// What table creation does with the keys and indexes of one table.
struct mss_key_plan
{
    /// Per schema column: the nvarchar units a text column without a length SQL Server can index
    /// is created with, so that the indexes over it fit (its longest value, at least 1), or a
    /// text column with a length n whose key would not fit at two units a character (n, or the
    /// units of its longest value up to 2n); 0 keeps the column's own type.
    std::vector<int> text_units;
    /// Per index in list order: empty when the index can be created, else why it cannot.
    std::vector<std::wstring> refusals;
};

/// The largest key SQL Server takes: 900 bytes in a clustered index (the primary key), 1,700
/// in a nonclustered one with `target.wide_index_keys`, else 900.
int mss_max_key_bytes(bool clustered, const mss_target& target);

/// Sizes every index of `indexes` over `schema` as SQL Server stores its key: text as two bytes
/// a unit (a GUID column as 16 bytes), binary as its bytes, numbers and dates by their type. A
/// text or binary column without a length SQL Server can index takes the longest value the
/// source holds (t_ftd::longest_units) when it was measured. Text with a length n takes 2n
/// units, except in a key that would then exceed mss_max_key_bytes and fits when its measured
/// columns with a length take what their values need (n, up to 2n for characters beyond
/// U+FFFF): those columns are created that wide. An index over a column that still has no
/// length, over a name that is no column (an expression), over more columns than a key holds,
/// or whose columns sum to more than mss_max_key_bytes is refused with the reason.
mss_key_plan mss_plan_keys(const udb_schema& schema, const udb_indexes& indexes,
                           const mss_target& target);

/// Per schema column: true for the text whose longest value (t_ftd::longest_units) table
/// creation needs on some server: text without a length SQL Server can index that an index
/// covers, and text with a length in an index that holds such text or whose key at two units
/// a character takes more than 900 bytes.
std::vector<bool> mss_key_text_to_measure(const udb_schema& schema, const udb_indexes& indexes);
