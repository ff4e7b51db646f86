// oledb_link.h: the driver link under the OLE DB objects: connect, execute, describe, fetch and
// catalog calls. One implementation talks ODBC; tests script a fake.
#pragma once

#include "plat/oledb/oledb_error.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <variant>
#include <vector>

namespace plat::oledb
{

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

    bool operator==(const column_desc&) const = default;
};

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
};

/// Makes unconnected links: the data source uses it for each session and for table rowsets that
/// stream on a connection of their own.
using link_factory = std::function<std::unique_ptr<link>()>;

} // namespace plat::oledb
