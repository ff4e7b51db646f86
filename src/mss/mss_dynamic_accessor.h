// mss_dynamic_accessor.h: CDynamicAccessorEx, the row buffer and bindings of the bulk loader.
#pragma once

#include "mss/mss_types.h"
#include "mss/ole_com_ptr.h"
#include "plat/oledb/oledb_interfaces.h"
#include "udb/udb_schema.h"

#include <cstdint>
#include <memory>
#include <optional>
#include <vector>

/// Binds every column of a bulk-load rowset into one row buffer: per column the value (at an
/// 8-byte boundary), its length (4 bytes) and its status (4 bytes). Columns of up to
/// `blob_size` bytes are bound in place in their own type; larger ones as a stream pointer.
class CDynamicAccessorEx
{
public:
    explicit CDynamicAccessorEx(std::uint32_t blob_size = 8000);
    ~CDynamicAccessorEx();
    CDynamicAccessorEx(const CDynamicAccessorEx&) = delete;
    CDynamicAccessorEx& operator=(const CDynamicAccessorEx&) = delete;

    /// Reads the rowset's columns, binds them and creates the accessor, narrowing date and time
    /// columns as `target` says. A failure throws odb_exception and keeps no buffer. With
    /// `wanted` not empty, only the columns it marks are bound (the others are left to the
    /// table's defaults); it pairs with the rowset's columns by position.
    void BindColumns(IUnknown* rowset, const udb_schema& schema, const mss_target& target,
                     const std::vector<bool>& wanted = {});

    /// Fills one binding (value, length and status; memory owned by the provider for BYREF
    /// types).
    void Bind(DBBINDING& binding, DBORDINAL ordinal, DBTYPE type, DBLENGTH length, BYTE precision,
              BYTE scale, DBBYTEOFFSET value_offset, DBOBJECT* object);
    /// The same with the memory owner given; without `with_value` only length and status.
    void BindEx(DBBINDING& binding, DBORDINAL ordinal, DBTYPE type, DBLENGTH length, BYTE precision,
                BYTE scale, DBBYTEOFFSET value_offset, DBOBJECT* object, DBMEMOWNER owner,
                bool with_value);

    /// Releases the stream objects the row holds, then the accessor.
    HRESULT release();

    bool bound() const { return !m_buffer.empty(); }
    /// Every column of the rowset, bound or not.
    std::uint32_t column_count() const { return static_cast<std::uint32_t>(m_bindings.size()); }
    /// The column has a slot in the row (0-based).
    bool is_bound(std::uint32_t column_idx) const
    {
        return column_idx < m_bound.size() && m_bound[column_idx];
    }
    /// The column as the rowset described it, after the date adjustments (0-based).
    const DBCOLUMNINFO& column(std::uint32_t column_idx) const { return m_columns[column_idx]; }
    const DBBINDING& binding(std::uint32_t column_idx) const { return m_bindings[column_idx]; }
    /// The column is bound as a stream pointer (its value goes in a CSeqStream).
    bool is_stream(std::uint32_t column_idx) const;
    std::uint8_t* buffer() { return m_buffer.data(); }
    const std::uint8_t* buffer_data() const { return m_buffer.data(); }
    std::uint32_t row_size() const { return static_cast<std::uint32_t>(m_buffer.size()); }
    HACCESSOR handle() const { return m_handle; }

private:
    struct column_info_free
    {
        void operator()(DBCOLUMNINFO* info) const { CoTaskMemFree(info); }
    };

    bool streams_are_sequential(IUnknown* rowset);
    // The steps of BindColumns: the rowset's accessor and columns (read once), a date column
    // narrowed to its kind, one column bound in its own type or as a stream, the accessor.
    void read_columns(IUnknown* rowset);
    static void narrow_date_column(DBCOLUMNINFO& column, std::int32_t date_kind);
    void bind_in_place(std::uint32_t column_idx, std::size_t value_offset);
    // The stream interface the rowset takes is asked once, at the first stream column.
    void bind_stream(IUnknown* rowset, std::uint32_t column_idx, std::size_t value_offset,
                     std::optional<IID>& stream_iid);
    void create_accessor();

    std::uint32_t m_blob_size;
    std::unique_ptr<DBCOLUMNINFO, column_info_free> m_column_block;
    std::vector<DBCOLUMNINFO> m_columns;
    std::vector<DBBINDING> m_bindings;
    std::vector<DBOBJECT> m_objects;
    std::vector<bool> m_client_owned;
    std::vector<bool> m_bound;
    std::vector<std::uint8_t> m_buffer;
    ole_com_ptr<IAccessor> m_accessor;
    HACCESSOR m_handle = DB_NULL_HACCESSOR;
};
