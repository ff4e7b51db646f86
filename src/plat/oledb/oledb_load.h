// oledb_load.h: what the bulk loader knows of the columns it fills, reading a consumer's bound
// row into values in the forms those columns take, and the statements that write rows.
#pragma once

#include "plat/oledb/oledb_columns.h"
#include "plat/oledb/oledb_connstr.h"
#include "plat/oledb/oledb_link.h"
#include "plat/oledb/oledb_types.h"

#include <array>
#include <string>
#include <vector>

namespace plat::oledb
{

/// What a column of the loaded table takes.
enum class load_class
{
    integer,
    bit,
    real,
    decimal,
    date_time,
    guid,
    text,
    binary
};

/// A column of the loaded table: the driver's description and what follows from it.
struct load_column
{
    column_desc desc;
    load_class kind = load_class::text;
    /// The column as the loader's IColumnsInfo reports it (the shape the table writer writes).
    rowset_column shape;
    /// Integer columns: the range they hold.
    std::int64_t min = 0;
    std::int64_t max = 0;
    /// Decimal columns: precision and scale (0 and 0 when the driver gave none).
    int precision = 0;
    int scale = 0;
    /// Date and time columns: the column holds a time of day only.
    bool time_only = false;
    /// The column's position in the table, from 1 (0: its position in the load's column list).
    std::size_t ordinal = 0;
};

load_column load_column_of(const column_desc& desc);

/// DBBINDSTATUS_OK, or why the loader's CreateAccessor refuses a binding: a pointer-sized slot
/// for stream columns, slots inside `row_size` (when it is given) and the types it reads.
DBBINDSTATUS check_load_binding(const DBBINDING& binding, DBORDINAL column_count,
                                DBLENGTH row_size);

/// Reads one bound value of a row buffer into the form its column takes. A failure answers
/// DB_E_CANTCONVERTVALUE, DB_E_DATAOVERFLOW or DB_E_ERRORSOCCURRED with the reason. Streams
/// are read to their end and never released (the consumer owns them).
HRESULT read_load_value(const DBBINDING& binding, const std::uint8_t* data,
                        const load_column& column, load_value& value, std::wstring& reason);

/// True when a value of the row is a date before 1600-03-01, which the TDS drivers shift
/// silently when they send it in binary form; a literal in the statement text is read right.
bool has_early_date(const load_row& values, const std::vector<load_column>& columns);

/// The most bytes one value of the row may take on the way to the server (text counted as
/// the larger of its UTF-8 and UTF-16 forms).
std::size_t widest_value(const load_row& values);

/// "INSERT INTO table (cols) VALUES (?, ...), (?, ...)" for `row_count` rows.
std::wstring insert_params_statement(const std::wstring& table,
                                     const std::vector<load_column>& columns, std::size_t row_count,
                                     driver_kind kind);

/// "INSERT INTO table (cols) VALUES (literals)": one row written as T-SQL literals, in UTF-16
/// (the driver's form) and at its final size, whatever the size of its values. A value that
/// `as_marker` names (by position) is written as a '?' marker instead, to be sent apart.
std::u16string insert_literal_statement(const std::wstring& table,
                                        const std::vector<load_column>& columns,
                                        const load_row& values, driver_kind kind,
                                        const std::vector<bool>& as_marker = {});

/// The values of a row that go to the server apart from an INSERT of literals, sent in pieces:
/// texts and bytes of more than `streamed_value_bytes` (text counted as the larger of its UTF-8
/// and UTF-16 forms).
std::vector<bool> streamed_values(const load_row& values);
constexpr std::size_t streamed_value_bytes = 65536;

/// The T-SQL literal of a value for its column.
std::wstring tsql_literal(const load_value& value, const load_column& column);

/// The decimal's digits as a SQL_NUMERIC_STRUCT (precision, scale, sign 1 positive, 16
/// little-endian bytes of the unscaled value).
std::array<std::uint8_t, 19> numeric_struct(const load_decimal& value, const load_column& column);

} // namespace plat::oledb
