// oledb_rowset.cpp: reading rows in batches, bindings, column information and rowset properties.
#include "plat/oledb/oledb_rowset.h"

#include "plat/oledb/oledb_accessor.h"
#include "plat/oledb/oledb_error.h"

#include <cstring>
#include <map>
#include <new>

namespace plat::oledb
{
namespace
{

class materialised_source final : public row_source
{
public:
    explicit materialised_source(std::vector<row> rows)
        : m_rows(std::move(rows))
    {
    }

    link_status next(row& values) override
    {
        if (m_position >= m_rows.size())
        {
            return link_status{S_FALSE, {}};
        }
        values = m_rows[m_position++];
        return {};
    }

    link_status restart() override
    {
        m_position = 0;
        return {};
    }

private:
    std::vector<row> m_rows;
    std::size_t m_position = 0;
};

class rowset final : public com_object<IRowset, IAccessor, IColumnsInfo, IRowsetInfo>
{
public:
    rowset(std::vector<rowset_column> columns, std::unique_ptr<row_source> source)
        : m_columns(std::move(columns))
        , m_source(std::move(source))
    {
    }

    HRESULT GetData(HROW row_handle, HACCESSOR accessor, void* data) override
    {
        clear_errors();
        const auto held = m_rows.find(row_handle);
        if (held == m_rows.end())
        {
            return post_layer_error(DB_E_BADROWHANDLE, L"The row handle is not valid.");
        }
        const std::vector<DBBINDING>* bound = m_accessors.find(accessor);
        if (bound == nullptr)
        {
            return post_layer_error(DB_E_BADACCESSORHANDLE, L"The accessor handle is not valid.");
        }
        if (data == nullptr && !bound->empty())
        {
            return post_layer_error(E_INVALIDARG, L"No buffer was given for the row.");
        }
        std::size_t errors = 0;
        std::size_t warnings = 0;
        for (const DBBINDING& binding : *bound)
        {
            const row& values = held->second;
            const DBSTATUS status = write_binding(
                binding,
                binding.iOrdinal <= values.size() ? values[binding.iOrdinal - 1] : null_cell,
                static_cast<std::uint8_t*>(data));
            if (status == DBSTATUS_S_TRUNCATED)
            {
                ++warnings;
            }
            else if (status != DBSTATUS_S_OK && status != DBSTATUS_S_ISNULL)
            {
                ++errors;
            }
        }
        if (errors > 0 && errors == bound->size())
        {
            return post_layer_error(DB_E_ERRORSOCCURRED,
                                    L"No column of the row could be converted.");
        }
        return errors + warnings > 0 ? DB_S_ERRORSOCCURRED : S_OK;
    }

    HRESULT GetNextRows(HCHAPTER, DBROWOFFSET offset, DBROWCOUNT row_count, DBCOUNTITEM* obtained,
                        HROW** rows) override
    {
        clear_errors();
        if (obtained == nullptr || rows == nullptr)
        {
            return post_layer_error(E_INVALIDARG, L"GetNextRows needs its output arguments.");
        }
        *obtained = 0;
        if (offset < 0 || row_count < 0)
        {
            return post_layer_error(DB_E_NOTSUPPORTED, L"The rowset reads forward only.");
        }
        for (DBROWOFFSET skipped = 0; skipped < offset; ++skipped)
        {
            row ignored;
            link_status status = m_source->next(ignored);
            if (!status.ok())
            {
                return fail(status);
            }
            if (status.hr == S_FALSE)
            {
                return DB_S_ENDOFROWSET;
            }
        }
        if (row_count == 0)
        {
            return S_OK;
        }
        std::vector<row> batch;
        for (DBROWCOUNT row_idx = 0; row_idx < row_count; ++row_idx)
        {
            row values;
            link_status status = m_source->next(values);
            if (!status.ok())
            {
                return fail(status);
            }
            if (status.hr == S_FALSE)
            {
                break;
            }
            batch.push_back(std::move(values));
        }
        if (batch.empty())
        {
            return DB_S_ENDOFROWSET;
        }
        if (*rows == nullptr)
        {
            *rows = static_cast<HROW*>(CoTaskMemAlloc(batch.size() * sizeof(HROW)));
            if (*rows == nullptr)
            {
                return post_layer_error(E_OUTOFMEMORY, L"Out of memory for row handles.");
            }
        }
        for (row& values : batch)
        {
            const HROW handle = ++m_last_row;
            m_rows.emplace(handle, std::move(values));
            (*rows)[*obtained] = handle;
            ++*obtained;
        }
        return static_cast<DBROWCOUNT>(batch.size()) == row_count ? S_OK : DB_S_ENDOFROWSET;
    }

    HRESULT ReleaseRows(DBCOUNTITEM row_count, const HROW rows[], DBROWOPTIONS[],
                        DBREFCOUNT ref_counts[], DBROWSTATUS statuses[]) override
    {
        clear_errors();
        if (row_count > 0 && rows == nullptr)
        {
            return post_layer_error(E_INVALIDARG, L"ReleaseRows needs the row handles.");
        }
        DBCOUNTITEM invalid = 0;
        for (DBCOUNTITEM row_idx = 0; row_idx < row_count; ++row_idx)
        {
            const bool released = m_rows.erase(rows[row_idx]) > 0;
            invalid += released ? 0 : 1;
            if (ref_counts != nullptr)
            {
                ref_counts[row_idx] = 0;
            }
            if (statuses != nullptr)
            {
                statuses[row_idx] = released ? 0 : 4; // DBROWSTATUS_E_INVALID
            }
        }
        if (invalid > 0 && invalid == row_count)
        {
            return post_layer_error(DB_E_ERRORSOCCURRED, L"No row handle was valid.");
        }
        return invalid > 0 ? DB_S_ERRORSOCCURRED : S_OK;
    }

    HRESULT RestartPosition(HCHAPTER) override
    {
        clear_errors();
        link_status status = m_source->restart();
        return status.ok() ? S_OK : fail(status);
    }

    HRESULT CreateAccessor(DBACCESSORFLAGS flags, DBCOUNTITEM binding_count,
                           const DBBINDING bindings[], DBLENGTH, HACCESSOR* accessor,
                           DBBINDSTATUS statuses[]) override
    {
        return m_accessors.create(
            flags, binding_count, bindings, accessor, statuses,
            [&](const DBBINDING& binding)
            { return check_binding(binding, static_cast<DBORDINAL>(m_columns.size())); },
            L"A binding names no column or asks for an unsupported "
            L"conversion.");
    }

    HRESULT ReleaseAccessor(HACCESSOR accessor, DBREFCOUNT* ref_count) override
    {
        return m_accessors.release(accessor, ref_count);
    }

    HRESULT GetColumnInfo(DBORDINAL* count, DBCOLUMNINFO** info, OLECHAR** strings) override
    {
        return describe_rowset_columns(m_columns, count, info, strings);
    }

    HRESULT GetProperties(ULONG id_set_count, const DBPROPIDSET id_sets[], ULONG* set_count,
                          DBPROPSET** sets) override
    {
        return stream_rowset_properties(id_set_count, id_sets, set_count, sets);
    }

private:
    inline static const cell null_cell{};

    HRESULT fail(link_status& status)
    {
        post_errors(std::move(status.records));
        return status.hr;
    }

    std::vector<rowset_column> m_columns;
    std::unique_ptr<row_source> m_source;
    std::map<HROW, row> m_rows;
    HROW m_last_row = 0;
    accessor_table m_accessors;
};

} // namespace

std::unique_ptr<row_source> make_materialised_source(std::vector<row> rows)
{
    return std::make_unique<materialised_source>(std::move(rows));
}

com_ref<IRowset> make_rowset(std::vector<rowset_column> columns, std::unique_ptr<row_source> source)
{
    return com_ref<IRowset>::attach(
        make_com<rowset>(std::move(columns), std::move(source)).detach());
}

HRESULT describe_rowset_columns(const std::vector<rowset_column>& columns, DBORDINAL* count,
                                DBCOLUMNINFO** info, OLECHAR** strings)
{
    clear_errors();
    if (count == nullptr || info == nullptr)
    {
        return post_layer_error(E_INVALIDARG, L"GetColumnInfo needs its output arguments.");
    }
    *count = 0;
    *info = nullptr;
    if (strings != nullptr)
    {
        *strings = nullptr;
    }
    if (columns.empty())
    {
        return S_OK;
    }
    // One block holds the array and then the names, so freeing the array frees everything.
    std::size_t name_chars = 0;
    for (const rowset_column& column : columns)
    {
        name_chars += column.name.size() + 1;
    }
    const std::size_t array_bytes = columns.size() * sizeof(DBCOLUMNINFO);
    void* block = CoTaskMemAlloc(array_bytes + name_chars * sizeof(OLECHAR));
    if (block == nullptr)
    {
        return post_layer_error(E_OUTOFMEMORY, L"Out of memory for column information.");
    }
    auto* entries = static_cast<DBCOLUMNINFO*>(block);
    auto* names = reinterpret_cast<OLECHAR*>(static_cast<std::uint8_t*>(block) + array_bytes);
    for (std::size_t column_idx = 0; column_idx < columns.size(); ++column_idx)
    {
        const rowset_column& column = columns[column_idx];
        std::memcpy(names, column.name.c_str(), (column.name.size() + 1) * sizeof(OLECHAR));
        DBCOLUMNINFO entry{};
        entry.pwszName = names;
        entry.iOrdinal = static_cast<DBORDINAL>(column_idx + 1);
        entry.dwFlags = column.flags;
        entry.ulColumnSize = column.size;
        entry.wType = column.type;
        entry.bPrecision = column.precision;
        entry.bScale = column.scale;
        entry.columnid.eKind = DBKIND_NAME;
        entry.columnid.uName.pwszName = names;
        new (&entries[column_idx]) DBCOLUMNINFO(entry);
        names += column.name.size() + 1;
    }
    *count = static_cast<DBORDINAL>(columns.size());
    *info = entries;
    return S_OK;
}

HRESULT stream_rowset_properties(ULONG id_set_count, const DBPROPIDSET id_sets[], ULONG* set_count,
                                 DBPROPSET** sets)
{
    clear_errors();
    if (set_count == nullptr || sets == nullptr || (id_set_count > 0 && id_sets == nullptr))
    {
        return post_layer_error(E_INVALIDARG, L"GetProperties needs its arguments.");
    }
    *set_count = 0;
    *sets = nullptr;
    // Large values travel to the provider through ISequentialStream, never IStream.
    std::vector<DBPROPID> ids = {DBPROP_ISequentialStream, DBPROP_IStream};
    if (id_set_count > 0)
    {
        ids.clear();
        for (ULONG set_idx = 0; set_idx < id_set_count; ++set_idx)
        {
            if (id_sets[set_idx].guidPropertySet == DBPROPSET_ROWSET)
            {
                ids.insert(ids.end(), id_sets[set_idx].rgPropertyIDs,
                           id_sets[set_idx].rgPropertyIDs + id_sets[set_idx].cPropertyIDs);
            }
        }
    }
    auto* set = static_cast<DBPROPSET*>(CoTaskMemAlloc(sizeof(DBPROPSET)));
    auto* props =
        static_cast<DBPROP*>(CoTaskMemAlloc(std::max<std::size_t>(ids.size(), 1) * sizeof(DBPROP)));
    if (set == nullptr || props == nullptr)
    {
        CoTaskMemFree(set);
        CoTaskMemFree(props);
        return post_layer_error(E_OUTOFMEMORY, L"Out of memory for properties.");
    }
    bool any_unknown = false;
    for (std::size_t prop_idx = 0; prop_idx < ids.size(); ++prop_idx)
    {
        DBPROP* prop = new (&props[prop_idx]) DBPROP();
        prop->dwPropertyID = ids[prop_idx];
        if (ids[prop_idx] == DBPROP_ISequentialStream || ids[prop_idx] == DBPROP_IStream)
        {
            prop->vValue.vt = VT_BOOL;
            prop->vValue.boolVal =
                ids[prop_idx] == DBPROP_ISequentialStream ? VARIANT_TRUE : VARIANT_FALSE;
        }
        else
        {
            prop->dwStatus = DBPROPSTATUS_NOTSUPPORTED;
            any_unknown = true;
        }
    }
    *set = DBPROPSET{props, static_cast<ULONG>(ids.size()), DBPROPSET_ROWSET};
    *set_count = 1;
    *sets = set;
    return any_unknown ? DB_S_ERRORSOCCURRED : S_OK;
}

} // namespace plat::oledb
