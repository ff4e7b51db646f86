// oledb_link.h: the driver link under the OLE DB objects: connect, execute, describe, fetch and
// catalog calls. One implementation talks ODBC; tests script a fake.
#pragma once

#include "plat/oledb/oledb_error.h"
#include "plat/plat_text.h"

#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <variant>
#include <vector>

namespace plat::oledb
{

/// How long a call that moves rows (a bulk send or commit, an INSERT of rows), or that looks at
/// a table on the way to its load (its columns, its catalog), may go without the server's
/// answer before the server is taken for silent: 120 seconds, unless a test set another limit
/// (set_answer_limit, or ZOV_TEST_ANSWER_LIMIT_MS for a program under test).
std::chrono::milliseconds answer_limit();
void set_answer_limit(std::chrono::milliseconds limit);
/// answer_limit() in whole seconds, rounded up: drivers take their limits in seconds.
unsigned answer_limit_seconds();

/// The outcome of one driver call: S_OK, S_FALSE for "nothing more", or a failure with the error
/// records (already mapped to the call's HRESULT) that the OLE DB object posts.
struct link_status
{
    HRESULT hr = S_OK;
    std::vector<error_record> records;

    bool ok() const { return SUCCEEDED(hr); }
    static link_status failure(HRESULT hr, std::vector<error_record> records)
    {
        return link_status{hr, std::move(records)};
    }
    /// A failure that tells of a connection gone (SQLSTATE class 08) or of a server that did
    /// not answer in time (HYT00, after which the driver drops the connection).
    bool connection_gone() const;
};

/// ODBC SQL type codes the layer maps (the SQL Server ones are the driver's extensions).
namespace sql_type
{
inline constexpr std::int16_t char_ = 1, numeric = 2, decimal = 3, integer = 4, smallint = 5,
                              float_ = 6, real = 7, double_ = 8, date = 9, time = 10,
                              timestamp = 11, varchar = 12, type_date = 91, type_time = 92,
                              type_timestamp = 93, longvarchar = -1, binary = -2, varbinary = -3,
                              longvarbinary = -4, bigint = -5, tinyint = -6, bit = -7, wchar = -8,
                              wvarchar = -9, wlongvarchar = -10, guid = -11, ss_variant = -150,
                              ss_udt = -151, ss_xml = -152, ss_time2 = -154,
                              ss_timestampoffset = -155;
} // namespace sql_type

/// A result column as the driver describes it.
struct column_desc
{
    std::wstring name;
    std::int16_t sql_type = 0;
    /// The driver's type name (money, datetime2, xml ...); may be empty.
    std::wstring type_name;
    /// Characters for text, bytes for binary, digits for numbers; 0 when unknown.
    std::uint64_t size = 0;
    std::int16_t decimal_digits = 0;
    bool nullable = true;
    bool is_unsigned = false;
    /// An identity (auto-increment) column (SQL_DESC_AUTO_UNIQUE_VALUE).
    bool auto_unique = false;

    bool operator==(const column_desc&) const = default;
};

/// A date and time on its way to the server, in the fields of ODBC's timestamp structure.
struct load_timestamp
{
    std::int16_t year = 0;
    std::uint16_t month = 0;
    std::uint16_t day = 0;
    std::uint16_t hour = 0;
    std::uint16_t minute = 0;
    std::uint16_t second = 0;
    std::uint32_t fraction_ns = 0;

    bool operator==(const load_timestamp&) const = default;
};

/// An exact number as C-locale text: an optional '-', digits, and '.' with the column's scale
/// of digits when it has one.
struct load_decimal
{
    std::string text;

    bool operator==(const load_decimal&) const = default;
};

/// Text as a narrow binding gave it (UTF-8).
struct load_utf8
{
    std::string text;

    bool operator==(const load_utf8&) const = default;
};

/// One value on its way to the server, already in the form its column takes: whole numbers
/// (integer columns), bool (bit), double (float and real), load_decimal (numeric and money),
/// load_timestamp (date and time kinds), GUID, text (UTF-16 or UTF-8) or bytes.
using load_value =
    std::variant<std::monostate, std::int64_t, bool, double, load_decimal, load_timestamp, GUID,
                 std::u16string, load_utf8, std::vector<std::uint8_t>>;
using load_row = std::vector<load_value>;

/// One value: null, text (UTF-16, in the layer's fixed formats) or bytes.
using cell = std::variant<std::monostate, std::u16string, std::vector<std::uint8_t>>;
using row = std::vector<cell>;

/// An argument of a catalog call; nullopt is SQL NULL (no restriction).
using catalog_arg = std::optional<std::wstring>;

/// A statement on a link. Calls after a failure are still allowed (the command walks the
/// remaining results of its batch).
class link_statement
{
public:
    virtual ~link_statement() = default;

    /// Runs a batch of one or more statements; positions on its first result.
    virtual link_status execute(const std::wstring& sql) = 0;
    /// The same for a batch already in UTF-16, the driver's own form, so that a statement of
    /// large literals is not copied again on its way. The base converts it for execute.
    virtual link_status execute_utf16(const std::u16string& sql)
    {
        return execute(utf16_to_wide(sql));
    }
    /// SQLTables(NULL, schema, table, type); `schema` and `table` are search patterns.
    virtual link_status tables(const catalog_arg& schema, const catalog_arg& table,
                               const catalog_arg& type) = 0;
    /// SQLPrimaryKeys(NULL, schema, table).
    virtual link_status primary_keys(const catalog_arg& schema, const catalog_arg& table) = 0;
    /// SQLStatistics(NULL, schema, table, all indexes, quick).
    virtual link_status statistics(const catalog_arg& schema, const catalog_arg& table) = 0;
    /// SQLForeignKeys(NULL, pk_schema, pk_table, NULL, NULL, NULL).
    virtual link_status foreign_keys(const catalog_arg& pk_schema, const catalog_arg& pk_table) = 0;
    /// The columns of the current result; none for a row count.
    virtual link_status describe(std::vector<column_desc>& columns) = 0;
    /// The next row of the current result: S_OK with a row, S_FALSE at its end.
    virtual link_status fetch(row& values) = 0;
    /// Moves to the next result of the batch: S_OK, or S_FALSE when there is none.
    virtual link_status more_results() = 0;
    /// Limits the wait for the server's answer to each later execution to `seconds` (0: no
    /// limit). A driver that cannot time statements ignores it.
    virtual void set_time_limit(unsigned seconds) { static_cast<void>(seconds); }
    /// The rows the current result's statement changed (SQLRowCount); -1 when the driver does
    /// not tell.
    virtual std::int64_t rows_affected() { return -1; }
    /// Runs a statement with '?' markers once, binding one value to each marker as the column
    /// it is meant for takes it; the statement is prepared again only when its text changed.
    virtual link_status execute_params(const std::wstring& sql,
                                       const std::vector<const column_desc*>& columns,
                                       const load_row& values) = 0;
    /// True when execute_streamed can send values apart from the statement.
    virtual bool streams_values() const { return false; }
    /// Runs a statement whose '?' markers take `values` in order, each text (as nvarchar(max))
    /// or bytes (as varbinary(max)) sent to the driver in pieces while the statement runs, and
    /// freed (set to null) once sent, so that a value of megabytes is never also held as the
    /// text of a literal. Other kinds of value are not taken. E_NOTIMPL where not streams_values().
    virtual link_status execute_streamed(const std::u16string& sql, load_row& values)
    {
        static_cast<void>(sql);
        static_cast<void>(values);
        return link_status::failure(E_NOTIMPL, {});
    }
};

/// The SQL Server bulk-copy extension of a connection (the driver's bcp functions), loading
/// one table. Each column is bound once to a staging block: an 8-byte length (SQL_NULL_DATA,
/// -1, for NULL) followed by the data.
class link_bulk_copy
{
public:
    virtual ~link_bulk_copy() = default;

    /// bcp_initW(table, no data file, no error file, into the table).
    virtual link_status init(const std::wstring& table) = 0;
    /// bcp_control(BCPKEEPIDENTITY): identity values come from the rows.
    virtual link_status keep_identity() = 0;
    /// NULL stays NULL in a column that has a default (the server's KEEP_NULLS hint); without
    /// it the server stores the default in its place.
    virtual link_status keep_nulls() = 0;
    /// The server checks the table's constraints on the rows (the CHECK_CONSTRAINTS hint, which
    /// covers foreign keys too); without it a bulk copy skips CHECK and FOREIGN KEY constraints.
    /// E_NOTIMPL where the driver cannot pass the hint.
    virtual link_status check_constraints() { return link_status::failure(E_NOTIMPL, {}); }
    /// bcp_bind(block, 8-byte prefix, SQL_VARLEN_DATA, no terminator, host type, column).
    virtual link_status bind(const std::uint8_t* block, int host_type, int column) = 0;
    /// bcp_colptr: the column's staging block moved.
    virtual link_status rebind(const std::uint8_t* block, int column) = 0;
    /// bcp_sendrow: fails only on the client's side; the server judges the rows at batch time.
    virtual link_status send_row() = 0;
    /// bcp_batch: commits the rows sent since the last batch. A failure means the server
    /// rolled the batch back; the connection cannot bulk copy again.
    virtual link_status batch(std::int32_t& rows) = 0;
    /// bcp_done: commits the last batch and ends the bulk copy (same failure as batch).
    virtual link_status done(std::int32_t& rows) = 0;
    /// The most bytes one column's data may take in a row, 0 for no limit.
    virtual std::size_t column_limit() const = 0;
    /// Text goes as UTF-16 (SQLNCHAR) rather than UTF-8 (SQLCHARACTER).
    virtual bool wide_text() const = 0;
};

/// One connection to the database.
class link
{
public:
    virtual ~link() = default;

    virtual link_status connect(const std::wstring& connection_string) = 0;
    virtual link_status new_statement(std::unique_ptr<link_statement>& statement) = 0;
    /// The escape character of catalog search patterns (SQL_SEARCH_PATTERN_ESCAPE); empty when
    /// the driver has none.
    virtual std::wstring search_escape() = 0;
    /// Asks, before connect, for the driver's bulk-copy extension; false when it has none.
    virtual bool enable_bulk_copy() { return false; }
    /// Asks, before connect, that every wait for the server on this connection end after
    /// answer_limit_seconds(): for a connection that only moves rows (a load's own), never for
    /// one that creates indexes. A driver that offers no such limit ignores it.
    virtual void limit_waits() {}
    /// The bulk-copy extension of a connected link that asked for it; null otherwise. Owned by
    /// the link.
    virtual link_bulk_copy* bulk_copy() { return nullptr; }
};

/// Makes unconnected links: the data source uses it for each session and for table rowsets that
/// stream on a connection of their own.
using link_factory = std::function<std::unique_ptr<link>()>;

} // namespace plat::oledb
