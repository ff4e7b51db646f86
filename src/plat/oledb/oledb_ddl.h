// oledb_ddl.h: the T-SQL the table and index definition interfaces run: CREATE TABLE from
// column descriptors, CREATE INDEX or a key constraint from index columns; internal to the layer
// and its tests.
#pragma once

#include "plat/oledb/oledb_definition.h"
#include "plat/oledb/oledb_link.h"

#include <optional>
#include <string>
#include <string_view>

namespace plat::oledb
{

/// A statement built from descriptors: S_OK and its text, or the code to answer and the reason.
struct ddl_text
{
    HRESULT hr = S_OK;
    std::wstring text;
    std::wstring error;
};

/// A name as T-SQL: text that reads as well-formed bracketed parts ("[t]", "[dbo].[t]", "]]"
/// inside a part) is used as it stands, anything else becomes one identifier with every "]"
/// doubled. `multi_part` allows the dotted form (tables); indexes and columns are one part.
std::wstring ddl_identifier(std::wstring_view name, bool multi_part);

/// The T-SQL type of a column: the type name when given ("DATE", "TIME" with the scale, or a
/// plain type such as "xml" or "decimal(10,2)"), else by wType (see the table in the .cpp).
/// nullopt for a type the layer cannot write.
std::optional<std::wstring> ddl_column_type(const DBCOLUMNDESC& column);

/// The DEFAULT expression of a value: text is the expression itself (the caller quotes it);
/// numbers in the C locale ("%.17g" for doubles), booleans 1 or 0, dates
/// 'YYYYMMDD hh:mm:ss.fff', VT_NULL NULL. nullopt for VT_EMPTY (no default) and for kinds or
/// values without a literal (a NaN, an infinity, an impossible date).
std::optional<std::wstring> ddl_default_literal(const VARIANT& value);

/// "CREATE TABLE <t> (<column>, ...)" with each column "<name> <type>[ IDENTITY(1,1)]
/// NULL|NOT NULL[ DEFAULT <d>]". Sets each column property's dwStatus; an unknown required
/// property or an unwritable value answers DB_E_ERRORSOCCURRED, an unknown type DB_E_BADTYPE,
/// a missing name E_INVALIDARG.
ddl_text create_table_text(const DBID* table_id, DBORDINAL column_count,
                           const DBCOLUMNDESC columns[]);

/// A primary key as "ALTER TABLE <t> ADD CONSTRAINT <n> PRIMARY KEY CLUSTERED|NONCLUSTERED
/// (<c>, ...)"; any other index as "CREATE [UNIQUE ]CLUSTERED|NONCLUSTERED INDEX <n> ON <t>
/// (<c>, ...)"; a descending column gets " DESC". Sets each property's dwStatus.
ddl_text create_index_text(const DBID* table_id, const DBID* index_id, DBORDINAL column_count,
                           const DBINDEXCOLUMNDESC columns[], ULONG set_count, DBPROPSET sets[]);

/// ITableDefinition::CreateTable on a session's link (the session forwards to it).
HRESULT define_table(link& connection, bool native, IUnknown* outer, DBID* table_id,
                     DBORDINAL column_count, const DBCOLUMNDESC columns[], REFIID riid,
                     ULONG set_count, DBPROPSET sets[], DBID** new_table_id, IUnknown** rowset);

/// IIndexDefinition::CreateIndex on a session's link (the session forwards to it).
HRESULT define_index(link& connection, bool native, DBID* table_id, DBID* index_id,
                     DBORDINAL column_count, const DBINDEXCOLUMNDESC columns[], ULONG set_count,
                     DBPROPSET sets[], DBID** new_index_id);

} // namespace plat::oledb
