// oledb_schema.cpp: the TABLES, PRIMARY_KEYS, INDEXES and FOREIGN_KEYS schema rowsets, read from
// the driver's catalog functions and laid out as OLE DB lays them out.
#include "plat/oledb/oledb_error.h"
#include "plat/oledb/oledb_objects.h"
#include "plat/oledb/oledb_rowset.h"
#include "plat/plat_text.h"

#include <functional>
#include <span>

namespace plat::oledb
{
namespace
{

struct schema_column
{
    const wchar_t* name;
    DBTYPE type;
};

constexpr schema_column tables_layout[] = {
    {L"TABLE_CATALOG", DBTYPE_WSTR}, {L"TABLE_SCHEMA", DBTYPE_WSTR},
    {L"TABLE_NAME", DBTYPE_WSTR},    {L"TABLE_TYPE", DBTYPE_WSTR},
    {L"TABLE_GUID", DBTYPE_GUID},    {L"DESCRIPTION", DBTYPE_WSTR},
    {L"TABLE_PROPID", DBTYPE_UI4},   {L"DATE_CREATED", DBTYPE_DATE},
    {L"DATE_MODIFIED", DBTYPE_DATE}};

constexpr schema_column primary_keys_layout[] = {
    {L"TABLE_CATALOG", DBTYPE_WSTR}, {L"TABLE_SCHEMA", DBTYPE_WSTR}, {L"TABLE_NAME", DBTYPE_WSTR},
    {L"COLUMN_NAME", DBTYPE_WSTR},   {L"COLUMN_GUID", DBTYPE_GUID},  {L"COLUMN_PROPID", DBTYPE_UI4},
    {L"ORDINAL", DBTYPE_UI4},        {L"PK_NAME", DBTYPE_WSTR}};

constexpr schema_column indexes_layout[] = {{L"TABLE_CATALOG", DBTYPE_WSTR},
                                            {L"TABLE_SCHEMA", DBTYPE_WSTR},
                                            {L"TABLE_NAME", DBTYPE_WSTR},
                                            {L"INDEX_CATALOG", DBTYPE_WSTR},
                                            {L"INDEX_SCHEMA", DBTYPE_WSTR},
                                            {L"INDEX_NAME", DBTYPE_WSTR},
                                            {L"PRIMARY_KEY", DBTYPE_BOOL},
                                            {L"UNIQUE", DBTYPE_BOOL},
                                            {L"CLUSTERED", DBTYPE_BOOL},
                                            {L"TYPE", DBTYPE_UI2},
                                            {L"FILL_FACTOR", DBTYPE_I4},
                                            {L"INITIAL_SIZE", DBTYPE_I4},
                                            {L"NULLS", DBTYPE_I4},
                                            {L"SORT_BOOKMARKS", DBTYPE_BOOL},
                                            {L"AUTO_UPDATE", DBTYPE_BOOL},
                                            {L"NULL_COLLATION", DBTYPE_I4},
                                            {L"ORDINAL_POSITION", DBTYPE_UI4},
                                            {L"COLUMN_NAME", DBTYPE_WSTR},
                                            {L"COLUMN_GUID", DBTYPE_GUID},
                                            {L"COLUMN_PROPID", DBTYPE_UI4},
                                            {L"COLLATION", DBTYPE_I2},
                                            {L"CARDINALITY", DBTYPE_UI8},
                                            {L"PAGES", DBTYPE_I4},
                                            {L"FILTER_CONDITION", DBTYPE_WSTR},
                                            {L"INTEGRATED", DBTYPE_BOOL}};

constexpr schema_column foreign_keys_layout[] = {
    {L"PK_TABLE_CATALOG", DBTYPE_WSTR}, {L"PK_TABLE_SCHEMA", DBTYPE_WSTR},
    {L"PK_TABLE_NAME", DBTYPE_WSTR},    {L"PK_COLUMN_NAME", DBTYPE_WSTR},
    {L"PK_COLUMN_GUID", DBTYPE_GUID},   {L"PK_COLUMN_PROPID", DBTYPE_UI4},
    {L"FK_TABLE_CATALOG", DBTYPE_WSTR}, {L"FK_TABLE_SCHEMA", DBTYPE_WSTR},
    {L"FK_TABLE_NAME", DBTYPE_WSTR},    {L"FK_COLUMN_NAME", DBTYPE_WSTR},
    {L"FK_COLUMN_GUID", DBTYPE_GUID},   {L"FK_COLUMN_PROPID", DBTYPE_UI4},
    {L"ORDINAL", DBTYPE_UI4},           {L"UPDATE_RULE", DBTYPE_WSTR},
    {L"DELETE_RULE", DBTYPE_WSTR},      {L"PK_NAME", DBTYPE_WSTR},
    {L"FK_NAME", DBTYPE_WSTR},          {L"DEFERRABILITY", DBTYPE_I2}};

std::vector<rowset_column> columns_of(std::span<const schema_column> layout)
{
    std::vector<rowset_column> columns;
    for (const schema_column& entry : layout)
    {
        rowset_column column;
        column.name = entry.name;
        column.type = entry.type;
        column.flags = DBCOLUMNFLAGS_ISNULLABLE | DBCOLUMNFLAGS_MAYBENULL;
        const DBLENGTH fixed = fixed_size_of(entry.type);
        column.size = fixed != 0 ? fixed : 128;
        if (fixed != 0)
        {
            column.flags |= DBCOLUMNFLAGS_ISFIXEDLENGTH;
        }
        columns.push_back(std::move(column));
    }
    return columns;
}

std::u16string text16(const cell& value)
{
    const auto* text = std::get_if<std::u16string>(&value);
    return text != nullptr ? *text : std::u16string();
}

cell take(const row& source, std::size_t odbc_column)
{
    return odbc_column <= source.size() ? source[odbc_column - 1] : cell{};
}

// A count that a driver reports as negative (-1 for "unknown") is unknown: NULL, since the
// column is unsigned and a negative text would fail its conversion.
cell non_negative(const cell& value)
{
    const std::u16string text = text16(value);
    return !text.empty() && text.front() == u'-' ? cell{} : value;
}

cell flag(bool value)
{
    return std::u16string(value ? u"1" : u"0");
}

// The OLE DB text of an ODBC referential rule code.
cell rule_text(const cell& code)
{
    const std::u16string text = text16(code);
    if (text == u"0")
    {
        return std::u16string(u"CASCADE");
    }
    if (text == u"1" || text == u"3")
    {
        return std::u16string(u"NO ACTION");
    }
    if (text == u"2")
    {
        return std::u16string(u"SET NULL");
    }
    if (text == u"4")
    {
        return std::u16string(u"SET DEFAULT");
    }
    return cell{};
}

// Catalog functions take search patterns for schema and table names in SQLTables; a name
// holding '_' or '%' must not match other names.
catalog_arg escape_pattern(const catalog_arg& name, const std::wstring& escape)
{
    if (!name || escape.empty())
    {
        return name;
    }
    std::wstring escaped;
    for (const wchar_t c : *name)
    {
        if (c == L'_' || c == L'%' || escape.find(c) != std::wstring::npos)
        {
            escaped += escape;
        }
        escaped.push_back(c);
    }
    return escaped;
}

using catalog_call = std::function<link_status(link_statement&)>;

// Runs a catalog call and reads all its rows.
link_status read_catalog(link& connection, const catalog_call& call, std::vector<row>& rows)
{
    std::unique_ptr<link_statement> statement;
    link_status status = connection.new_statement(statement);
    if (status.ok())
    {
        // A catalog is read in a moment; a lock held by another session on the table it asks
        // about must not hold the call for ever.
        statement->set_time_limit(answer_limit_seconds());
        status = call(*statement);
    }
    while (status.ok())
    {
        row values;
        status = statement->fetch(values);
        if (status.hr == S_FALSE)
        {
            return {};
        }
        if (status.ok())
        {
            rows.push_back(std::move(values));
        }
    }
    return status;
}

HRESULT fail(link_status& status)
{
    post_errors(std::move(status.records));
    return status.hr;
}

// The restrictions of a schema rowset by position; one not given is no restriction.
class restriction_args
{
public:
    explicit restriction_args(std::vector<catalog_arg> args)
        : m_args(std::move(args))
    {
    }
    catalog_arg operator()(std::size_t index) const
    {
        return index < m_args.size() ? m_args[index] : catalog_arg{};
    }

private:
    std::vector<catalog_arg> m_args;
};

// Each restriction is text or empty; false for any other kind.
bool read_restrictions(ULONG restriction_count, const VARIANT restrictions[],
                       std::vector<catalog_arg>& args)
{
    for (ULONG restriction_idx = 0; restriction_idx < restriction_count; ++restriction_idx)
    {
        const VARIANT& value = restrictions[restriction_idx];
        if (value.vt == VT_BSTR)
        {
            args.emplace_back(value.bstrVal);
        }
        else if (value.vt == VT_EMPTY)
        {
            args.emplace_back(std::nullopt);
        }
        else
        {
            return false;
        }
    }
    return true;
}

HRESULT tables_rows(link& connection, const restriction_args& arg, std::vector<row>& rows)
{
    const std::wstring escape = connection.search_escape();
    std::vector<row> source;
    link_status status = read_catalog(
        connection,
        [&](link_statement& statement)
        {
            return statement.tables(escape_pattern(arg(1), escape), escape_pattern(arg(2), escape),
                                    arg(3));
        },
        source);
    if (!status.ok())
    {
        return fail(status);
    }
    for (const row& entry : source)
    {
        rows.push_back(row{take(entry, 1), take(entry, 2), take(entry, 3), take(entry, 4), cell{},
                           take(entry, 5), cell{}, cell{}, cell{}});
    }
    return S_OK;
}

HRESULT primary_keys_rows(link& connection, const restriction_args& arg, std::vector<row>& rows)
{
    if (!arg(2))
    {
        return post_layer_error(E_INVALIDARG, L"PRIMARY_KEYS needs the table restriction.");
    }
    std::vector<row> source;
    link_status status = read_catalog(
        connection,
        [&](link_statement& statement) { return statement.primary_keys(arg(1), arg(2)); }, source);
    if (!status.ok())
    {
        return fail(status);
    }
    for (const row& entry : source)
    {
        rows.push_back(row{take(entry, 1), take(entry, 2), take(entry, 3), take(entry, 4), cell{},
                           cell{}, take(entry, 5), take(entry, 6)});
    }
    return S_OK;
}

// One statistics row of an index column in the INDEXES layout.
row index_row(const row& entry, const std::u16string& key_name)
{
    const std::u16string index_name = text16(take(entry, 6));
    const std::u16string type = text16(take(entry, 7));
    const std::u16string order = text16(take(entry, 10));
    const bool clustered = type == u"1";
    return row{take(entry, 1),
               take(entry, 2),
               take(entry, 3),
               take(entry, 1),
               take(entry, 2),
               take(entry, 6),
               flag(!key_name.empty() && index_name == key_name),
               flag(text16(take(entry, 4)) == u"0"),
               flag(clustered),
               std::u16string(u"1"),
               cell{},
               cell{},
               cell{},
               cell{},
               cell{},
               cell{},
               take(entry, 8),
               take(entry, 9),
               cell{},
               cell{},
               order == u"A"   ? cell(std::u16string(u"1"))
               : order == u"D" ? cell(std::u16string(u"2"))
                               : cell{},
               non_negative(take(entry, 11)),
               take(entry, 12),
               take(entry, 13),
               flag(clustered)};
}

HRESULT indexes_rows(link& connection, const restriction_args& arg, std::vector<row>& rows)
{
    if (!arg(4))
    {
        return post_layer_error(E_INVALIDARG, L"INDEXES needs the table restriction.");
    }
    // ODBC has no primary-key column among the statistics: the key's name tells it.
    std::vector<row> keys;
    std::vector<row> source;
    link_status status = read_catalog(
        connection,
        [&](link_statement& statement) { return statement.primary_keys(arg(1), arg(4)); }, keys);
    if (status.ok())
    {
        status = read_catalog(
            connection,
            [&](link_statement& statement) { return statement.statistics(arg(1), arg(4)); },
            source);
    }
    if (!status.ok())
    {
        return fail(status);
    }
    const std::u16string key_name = keys.empty() ? std::u16string() : text16(take(keys[0], 6));
    for (const row& entry : source)
    {
        if (std::holds_alternative<std::monostate>(take(entry, 6)) ||
            text16(take(entry, 7)) == u"0")
        {
            continue; // the table's own statistics row
        }
        if (arg(2) && plat::utf16_to_wide(text16(take(entry, 6))) != *arg(2))
        {
            continue;
        }
        rows.push_back(index_row(entry, key_name));
    }
    return S_OK;
}

HRESULT foreign_keys_rows(link& connection, const restriction_args& arg, std::vector<row>& rows)
{
    if (!arg(2))
    {
        return post_layer_error(E_INVALIDARG, L"FOREIGN_KEYS needs the primary-key table.");
    }
    std::vector<row> source;
    link_status status = read_catalog(
        connection,
        [&](link_statement& statement) { return statement.foreign_keys(arg(1), arg(2)); }, source);
    if (!status.ok())
    {
        return fail(status);
    }
    for (const row& entry : source)
    {
        if (arg(5) && plat::utf16_to_wide(text16(take(entry, 7))) != *arg(5))
        {
            continue;
        }
        rows.push_back(row{take(entry, 1), take(entry, 2), take(entry, 3), take(entry, 4), cell{},
                           cell{}, take(entry, 5), take(entry, 6), take(entry, 7), take(entry, 8),
                           cell{}, cell{}, take(entry, 9), rule_text(take(entry, 10)),
                           rule_text(take(entry, 11)), take(entry, 13), take(entry, 12),
                           take(entry, 14)});
    }
    return S_OK;
}

// A schema rowset this layer offers: its columns and how its rows are read.
struct schema_kind
{
    const GUID& guid;
    std::span<const schema_column> layout;
    HRESULT (*read_rows)(link&, const restriction_args&, std::vector<row>&);
};

const schema_kind schema_kinds[] = {
    {DBSCHEMA_TABLES, tables_layout, tables_rows},
    {DBSCHEMA_PRIMARY_KEYS, primary_keys_layout, primary_keys_rows},
    {DBSCHEMA_INDEXES, indexes_layout, indexes_rows},
    {DBSCHEMA_FOREIGN_KEYS, foreign_keys_layout, foreign_keys_rows},
};

} // namespace

HRESULT open_schema_rowset(link& connection, REFGUID schema, ULONG restriction_count,
                           const VARIANT restrictions[], com_ref<IRowset>& rowset)
{
    rowset.reset();
    std::vector<catalog_arg> args;
    if (!read_restrictions(restriction_count, restrictions, args))
    {
        return post_layer_error(E_INVALIDARG, L"A restriction is neither empty nor text.");
    }
    for (const schema_kind& kind : schema_kinds)
    {
        if (schema == kind.guid)
        {
            std::vector<row> rows;
            const HRESULT hr = kind.read_rows(connection, restriction_args(std::move(args)), rows);
            if (FAILED(hr))
            {
                return hr;
            }
            rowset =
                make_rowset(columns_of(kind.layout), make_materialised_source(std::move(rows)));
            return S_OK;
        }
    }
    return post_layer_error(E_INVALIDARG, L"That schema rowset is not supported.");
}

} // namespace plat::oledb
