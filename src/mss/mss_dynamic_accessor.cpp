// mss_dynamic_accessor.cpp: the bulk loader's column bindings, the row layout and the accessor.
#include "mss/mss_dynamic_accessor.h"

#include "tk/tk_logger.h"

#include <cstring>

namespace
{

constexpr DBLENGTH numeric_text_bytes = 102;
constexpr std::size_t value_alignment = 8;

std::size_t aligned(std::size_t offset, std::size_t alignment)
{
    return (offset + alignment - 1) / alignment * alignment;
}

} // namespace

CDynamicAccessorEx::CDynamicAccessorEx(std::uint32_t blob_size)
    : m_blob_size(blob_size)
{
}

CDynamicAccessorEx::~CDynamicAccessorEx()
{
    release();
}

bool CDynamicAccessorEx::is_stream(std::uint32_t column_idx) const
{
    return m_bindings[column_idx].wType == DBTYPE_IUNKNOWN;
}

bool CDynamicAccessorEx::streams_are_sequential(IUnknown* rowset)
{
    tk_log(1, "Testing streams support... ");
    ole_com_ptr<IRowsetInfo> info;
    if (FAILED(rowset->QueryInterface(IID_IRowsetInfo, info.put_void())))
    {
        return true;
    }
    DBPROPID ids[] = {DBPROP_ISequentialStream, DBPROP_IStream};
    DBPROPIDSET id_set{ids, 2, DBPROPSET_ROWSET};
    ULONG set_count = 0;
    DBPROPSET* sets = nullptr;
    bool sequential = false;
    bool stream = false;
    if (SUCCEEDED(info->GetProperties(1, &id_set, &set_count, &sets)) && sets != nullptr)
    {
        for (ULONG prop_idx = 0; prop_idx < sets[0].cProperties; ++prop_idx)
        {
            const DBPROP& prop = sets[0].rgProperties[prop_idx];
            const bool on = prop.vValue.vt == VT_BOOL && prop.vValue.boolVal != VARIANT_FALSE;
            sequential = sequential || (prop.dwPropertyID == DBPROP_ISequentialStream && on);
            stream = stream || (prop.dwPropertyID == DBPROP_IStream && on);
        }
        plat::oledb::free_property_sets(set_count, sets);
    }
    return sequential || !stream;
}

HRESULT CDynamicAccessorEx::BindColumns(IUnknown* rowset, const udb_schema& schema,
                                        const mss_target& target, const std::vector<bool>& wanted)
{
    tk_log(1, "CDynamicAccessorEx::BindColumns");
    release();
    HRESULT hr = rowset->QueryInterface(IID_IAccessor, m_accessor.put_void());
    if (FAILED(hr))
    {
        return hr;
    }
    if (!m_column_block)
    {
        ole_com_ptr<IColumnsInfo> info;
        if (FAILED(hr = rowset->QueryInterface(IID_IColumnsInfo, info.put_void())))
        {
            return hr;
        }
        DBORDINAL count = 0;
        DBCOLUMNINFO* columns = nullptr;
        if (FAILED(hr = info->GetColumnInfo(&count, &columns, nullptr)))
        {
            return hr;
        }
        m_column_block.reset(columns);
        m_columns.assign(columns, columns + count);
    }
    const auto count = static_cast<std::uint32_t>(m_columns.size());
    m_bindings.assign(count, DBBINDING{});
    m_objects.assign(count, DBOBJECT{});
    m_client_owned.assign(count, true);
    m_bound.assign(count, false);
    bool streams_tested = false;
    IID stream_iid = IID_ISequentialStream;
    std::size_t offset = 0;
    for (std::uint32_t column_idx = 0; column_idx < count; ++column_idx)
    {
        if (!wanted.empty() && (column_idx >= wanted.size() || !wanted[column_idx]))
        {
            tk_log(1, "Column ordinal %d: - left to its default", column_idx + 1);
            continue;
        }
        m_bound[column_idx] = true;
        DBCOLUMNINFO& column = m_columns[column_idx];
        const t_ftd* field = column_idx < schema.size() ? schema[column_idx] : nullptr;
        if (field != nullptr && field->vartype == VT_DATE && target.has_date_types())
        {
            tk_log(1, "Adjusting date/time columns (schema[i]->dw_reserved=%d)",
                   field->dw_reserved);
            switch (field->dw_reserved & 3)
            {
            case t_ftd::date_and_time:
                tk_log(1, "Got DATETIME");
                column.bScale = 3;
                break;
            case t_ftd::date_only:
                tk_log(1, "Got pure DATE");
                column.wType = DBTYPE_DBDATE;
                column.bPrecision = 0;
                column.bScale = 0;
                column.ulColumnSize = sizeof(DBDATE);
                break;
            case t_ftd::time_only:
                tk_log(1, "Got pure TIME");
                column.wType = DBTYPE_DBTIME2;
                column.bPrecision = 0;
                column.bScale = 4;
                column.ulColumnSize = sizeof(DBTIME2);
                break;
            default:
                break;
            }
        }
        DBBINDING& binding = m_bindings[column_idx];
        const std::size_t value_offset = aligned(offset, value_alignment);
        DBLENGTH size = column.ulColumnSize;
        if (column.ulColumnSize <= m_blob_size && column.wType != DBTYPE_IUNKNOWN)
        {
            tk_log(1, "Column ordinal %d: - Binding as native data type", column.iOrdinal);
            DBTYPE type = column.wType;
            if (type == DBTYPE_STR)
            {
                size = column.ulColumnSize + 1;
            }
            else if (type == DBTYPE_WSTR)
            {
                size = column.ulColumnSize * 2 + 2;
            }
            else if (type == DBTYPE_NUMERIC)
            {
                type = DBTYPE_WSTR;
                size = numeric_text_bytes;
            }
            Bind(binding, column.iOrdinal, type, size, column.bPrecision, column.bScale,
                 value_offset, nullptr);
        }
        else
        {
            if (column.wType != DBTYPE_IUNKNOWN)
            {
                tk_log(1, "Binding BLOB (column #%d)", column.iOrdinal);
                if (!streams_tested)
                {
                    streams_tested = true;
                    stream_iid =
                        streams_are_sequential(rowset) ? IID_ISequentialStream : IID_IStream;
                }
                m_objects[column_idx] = DBOBJECT{0 /* STGM_READ */, stream_iid};
            }
            else
            {
                m_objects[column_idx] = DBOBJECT{0, IID_IUnknown};
            }
            // A pointer-sized slot: the stream's address would not fit a narrower one.
            size = sizeof(void*);
            Bind(binding, column.iOrdinal, DBTYPE_IUNKNOWN, size, column.bPrecision, column.bScale,
                 value_offset, &m_objects[column_idx]);
        }
        m_client_owned[column_idx] = binding.dwMemOwner == DBMEMOWNER_CLIENTOWNED;
        offset = binding.obStatus + sizeof(DBSTATUS);
    }
    m_buffer.assign(std::max<std::size_t>(aligned(offset, value_alignment), 1), 0);
    std::vector<DBBINDING> bound;
    for (std::uint32_t column_idx = 0; column_idx < count; ++column_idx)
    {
        if (m_bound[column_idx])
        {
            bound.push_back(m_bindings[column_idx]);
        }
    }
    std::vector<DBBINDSTATUS> statuses(bound.size(), DBBINDSTATUS_OK);
    hr = m_accessor->CreateAccessor(DBACCESSOR_ROWDATA, bound.size(), bound.data(),
                                    static_cast<DBLENGTH>(m_buffer.size()), &m_handle,
                                    statuses.data());
    if (FAILED(hr))
    {
        for (std::size_t entry_idx = 0; entry_idx < bound.size(); ++entry_idx)
        {
            if (statuses[entry_idx] != DBBINDSTATUS_OK)
            {
                tk_log(1, "Binding entry %d failed. Status: %d", bound[entry_idx].iOrdinal - 1,
                       statuses[entry_idx]);
            }
        }
        tk_log(1, "Failed to create Accessor!!!");
        m_buffer.clear();
        m_handle = DB_NULL_HACCESSOR;
    }
    return hr;
}

void CDynamicAccessorEx::Bind(DBBINDING& binding, DBORDINAL ordinal, DBTYPE type, DBLENGTH length,
                              BYTE precision, BYTE scale, DBBYTEOFFSET value_offset,
                              DBOBJECT* object)
{
    tk_log(1, "CDynamicAccessorEx::Bind");
    BindEx(binding, ordinal, type, length, precision, scale, value_offset, object,
           (type & DBTYPE_BYREF) != 0 ? DBMEMOWNER_PROVIDEROWNED : DBMEMOWNER_CLIENTOWNED, true);
}

void CDynamicAccessorEx::BindEx(DBBINDING& binding, DBORDINAL ordinal, DBTYPE type, DBLENGTH length,
                                BYTE precision, BYTE scale, DBBYTEOFFSET value_offset,
                                DBOBJECT* object, DBMEMOWNER owner, bool with_value)
{
    tk_log(1, "nOrdinal=%d, wType=%d, nLength=%d, nPrecision=%d, nScale=%d, nDataOffset=%d",
           ordinal, type, length, precision, scale, value_offset);
    binding = DBBINDING{};
    binding.iOrdinal = ordinal;
    binding.obValue = value_offset;
    binding.obLength = aligned(value_offset + length, 4);
    binding.obStatus = binding.obLength + sizeof(DBLENGTH);
    binding.pObject = object;
    binding.dwPart = (with_value ? DBPART_VALUE : 0) | DBPART_LENGTH | DBPART_STATUS;
    binding.dwMemOwner = owner;
    binding.eParamIO = DBPARAMIO_NOTPARAM;
    binding.cbMaxLen = length;
    binding.wType = type;
    binding.bPrecision = precision;
    binding.bScale = scale;
}

HRESULT CDynamicAccessorEx::release()
{
    // The row owns one reference of each stream it still holds.
    for (std::size_t column_idx = 0; column_idx < m_bindings.size() && !m_buffer.empty();
         ++column_idx)
    {
        const DBBINDING& binding = m_bindings[column_idx];
        if (!m_bound[column_idx] || binding.wType != DBTYPE_IUNKNOWN || !m_client_owned[column_idx])
        {
            continue;
        }
        IUnknown* object = nullptr;
        std::memcpy(&object, m_buffer.data() + binding.obValue, sizeof object);
        if (object != nullptr)
        {
            object->Release();
            std::memset(m_buffer.data() + binding.obValue, 0, sizeof object);
        }
    }
    HRESULT hr = S_OK;
    if (m_accessor && m_handle != DB_NULL_HACCESSOR)
    {
        hr = m_accessor->ReleaseAccessor(m_handle, nullptr);
    }
    m_handle = DB_NULL_HACCESSOR;
    m_accessor.reset();
    m_buffer.clear();
    return hr;
}
