// oledb_definition.cpp: creating tables and indexes on a session's link from the definition
// interfaces' descriptors, and the identifiers those calls hand back.
#include "plat/oledb/oledb_definition.h"

#include "plat/oledb/oledb_ddl.h"
#include "plat/oledb/oledb_error.h"
#include "plat/oledb/oledb_objects.h"
#include "plat/oledb/oledb_rowset.h"

#include <cstring>

namespace plat::oledb
{
namespace
{

// A CoTaskMem copy of a named identifier, as the caller of the definition calls frees it.
DBID* copy_dbid(const DBID& id)
{
    const std::size_t length = std::wcslen(id.uName.pwszName);
    auto* name = static_cast<wchar_t*>(CoTaskMemAlloc((length + 1) * sizeof(wchar_t)));
    auto* copy = static_cast<DBID*>(CoTaskMemAlloc(sizeof(DBID)));
    if (name == nullptr || copy == nullptr)
    {
        CoTaskMemFree(name);
        CoTaskMemFree(copy);
        return nullptr;
    }
    std::memcpy(name, id.uName.pwszName, (length + 1) * sizeof(wchar_t));
    *copy = DBID{};
    copy->eKind = DBKIND_NAME;
    copy->uName.pwszName = name;
    return copy;
}

// The name a rowset column shows: a single bracketed part without its brackets.
std::wstring plain_name(const wchar_t* name)
{
    std::wstring text = name;
    if (text.size() >= 2 && text.front() == L'[' && text.back() == L']' &&
        ddl_identifier(text, false) == text)
    {
        std::wstring inner;
        for (std::size_t pos = 1; pos + 1 < text.size(); ++pos)
        {
            inner += text[pos];
            if (text[pos] == L']')
            {
                ++pos;
            }
        }
        return inner;
    }
    return text;
}

// The new table's columns as its descriptors give them, with no rows: what the caller of
// CreateTable asks a rowset for is the table's shape, and it never needs a second round trip.
com_ref<IRowset> metadata_rowset(DBORDINAL column_count, const DBCOLUMNDESC columns[])
{
    std::vector<rowset_column> described;
    for (DBORDINAL column_idx = 0; column_idx < column_count; ++column_idx)
    {
        const DBCOLUMNDESC& column = columns[column_idx];
        rowset_column entry;
        entry.name = plain_name(column.dbcid.uName.pwszName);
        entry.type = column.wType;
        const DBLENGTH fixed = fixed_size_of(column.wType);
        entry.size = fixed != 0 ? fixed : column.ulColumnSize;
        entry.precision = column.bPrecision;
        entry.scale = column.bScale;
        entry.flags = DBCOLUMNFLAGS_ISNULLABLE | DBCOLUMNFLAGS_MAYBENULL;
        described.push_back(std::move(entry));
    }
    return make_rowset(std::move(described), make_materialised_source({}));
}

HRESULT run_definition(link& connection, bool native, const ddl_text& statement)
{
    if (FAILED(statement.hr))
    {
        return post_layer_error(statement.hr, statement.error);
    }
    com_ref<IRowset> unused;
    return run_batch(connection, statement.text, false, native, unused);
}

} // namespace

void free_dbid(DBID* id)
{
    if (id == nullptr)
    {
        return;
    }
    if (id->eKind == DBKIND_NAME || id->eKind == DBKIND_GUID_NAME)
    {
        CoTaskMemFree(id->uName.pwszName);
    }
    CoTaskMemFree(id);
}

HRESULT define_table(link& connection, bool native, IUnknown* outer, DBID* table_id,
                     DBORDINAL column_count, const DBCOLUMNDESC columns[], REFIID riid,
                     ULONG set_count, DBPROPSET[], DBID** new_table_id, IUnknown** rowset)
{
    clear_errors();
    if (new_table_id != nullptr)
    {
        *new_table_id = nullptr;
    }
    if (rowset != nullptr)
    {
        *rowset = nullptr;
    }
    if (outer != nullptr)
    {
        return post_layer_error(CLASS_E_NOAGGREGATION, L"Rowsets cannot be aggregated.");
    }
    if (set_count > 0)
    {
        return post_layer_error(DB_E_ERRORSOCCURRED, L"Table properties are not supported.");
    }
    const ddl_text statement = create_table_text(table_id, column_count, columns);
    const HRESULT hr = run_definition(connection, native, statement);
    if (FAILED(hr))
    {
        return hr;
    }
    if (rowset != nullptr && riid != IID_NULL)
    {
        com_ref<IRowset> created = metadata_rowset(column_count, columns);
        const HRESULT query_hr = created->QueryInterface(riid, reinterpret_cast<void**>(rowset));
        if (FAILED(query_hr))
        {
            return post_layer_error(query_hr, L"The rowset does not offer that interface.");
        }
    }
    if (new_table_id != nullptr)
    {
        *new_table_id = copy_dbid(*table_id);
        if (*new_table_id == nullptr)
        {
            return post_layer_error(E_OUTOFMEMORY, L"The table identifier could not be copied.");
        }
    }
    return S_OK;
}

HRESULT define_index(link& connection, bool native, DBID* table_id, DBID* index_id,
                     DBORDINAL column_count, const DBINDEXCOLUMNDESC columns[], ULONG set_count,
                     DBPROPSET sets[], DBID** new_index_id)
{
    clear_errors();
    if (new_index_id != nullptr)
    {
        *new_index_id = nullptr;
    }
    if (set_count > 0 && sets == nullptr)
    {
        return post_layer_error(E_INVALIDARG, L"CreateIndex needs its property sets.");
    }
    const ddl_text statement =
        create_index_text(table_id, index_id, column_count, columns, set_count, sets);
    const HRESULT hr = run_definition(connection, native, statement);
    if (FAILED(hr))
    {
        return hr;
    }
    if (new_index_id != nullptr)
    {
        *new_index_id = copy_dbid(*index_id);
        if (*new_index_id == nullptr)
        {
            return post_layer_error(E_OUTOFMEMORY, L"The index identifier could not be copied.");
        }
    }
    return S_OK;
}

} // namespace plat::oledb
