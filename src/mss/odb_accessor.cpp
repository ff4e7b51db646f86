// odb_accessor.cpp: bind sizes, the buffer layout and reading one row.
#include "mss/odb_accessor.h"

#include "mss/odb_exception.h"
#include "tk/tk_exception.h"
#include "tk/tk_logger.h"

#include <algorithm>

namespace
{

// Slots are 4 bytes each before the value: status, then length.
constexpr std::uint32_t slot_header = 8;
constexpr std::uint32_t text_slot_for_numbers = 52;
constexpr std::uint32_t text_slot_for_dates = 102;

} // namespace

odb_accessor::odb_accessor()
{
    tk_log(2, "odb_accessor::ctor");
}

odb_accessor::~odb_accessor()
{
    tk_log(2, "odb_accessor::dtor");
    if (m_accessor && m_handle != DB_NULL_HACCESSOR)
    {
        // Nothing can be done about a failed release while the recordset goes away.
        if (odb_refused(m_accessor->ReleaseAccessor(m_handle, nullptr)))
        {
            tk_log(2, "odb_accessor::dtor - the accessor was not released");
        }
    }
    tk_log(2, "odb_accessor::dtor - END");
}

std::uint32_t odb_accessor::get_bind_size(std::uint32_t column_idx) const
{
    tk_log(1, "odb_accessor::get_bind_size(%d)", column_idx);
    if (m_columns == nullptr)
    {
        throw tk_mail_assertion("odb_acc", 187);
    }
    const DBCOLUMNINFO& column = m_columns[column_idx];
    // 64-bit sums: a long column reports a size of ~0u, which must not wrap to a small slot.
    const std::uint64_t size = column.ulColumnSize;
    switch (column.wType)
    {
    case DBTYPE_EMPTY:
    case DBTYPE_NULL:
    case DBTYPE_I2:
    case DBTYPE_I4:
    case DBTYPE_R4:
    case DBTYPE_R8:
    case DBTYPE_CY:
    case DBTYPE_ERROR:
    case DBTYPE_BOOL:
    case DBTYPE_I1:
    case DBTYPE_UI1:
    case DBTYPE_UI2:
    case DBTYPE_UI4:
    case DBTYPE_I8:
    case DBTYPE_UI8:
        return text_slot_for_numbers;
    case DBTYPE_DATE:
    case DBTYPE_DECIMAL:
    case DBTYPE_GUID:
    case DBTYPE_NUMERIC:
    case DBTYPE_DBDATE:
    case DBTYPE_DBTIMESTAMP:
    case DBTYPE_DBTIME2:
        return text_slot_for_dates;
    case DBTYPE_BSTR:
    case DBTYPE_STR:
    case DBTYPE_WSTR:
        return static_cast<std::uint32_t>(std::min<std::uint64_t>(size + 1, max_bind_size) * 2);
    case DBTYPE_BYTES:
        return static_cast<std::uint32_t>(std::min<std::uint64_t>(2 * size + 1, max_bind_size) * 2);
    default:
        return size == 0 ? max_bind_size
                         : static_cast<std::uint32_t>(std::min<std::uint64_t>(size, max_bind_size));
    }
}

void odb_accessor::bind(IRowset* rowset, std::uint32_t column_count, const DBCOLUMNINFO* columns)
{
    tk_log(2, "odb_accessor::bind(n_cols=%d)", column_count);
    if (columns == nullptr && column_count > 0)
    {
        throw tk_mail_assertion("odb_acc", 103);
    }
    m_columns = columns;
    m_column_count = column_count;
    m_bindings.assign(column_count, DBBINDING{});
    std::uint32_t offset = 0;
    for (std::uint32_t column_idx = 0; column_idx < column_count; ++column_idx)
    {
        const DBCOLUMNINFO& column = columns[column_idx];
        DBBINDING& binding = m_bindings[column_idx];
        binding.iOrdinal = column_idx + 1;
        binding.obStatus = offset;
        binding.obLength = offset + 4;
        binding.obValue = offset + slot_header;
        binding.dwPart = DBPART_VALUE | DBPART_LENGTH | DBPART_STATUS;
        binding.dwMemOwner = DBMEMOWNER_CLIENTOWNED;
        binding.eParamIO = DBPARAMIO_NOTPARAM;
        std::uint32_t size = std::min(get_bind_size(column_idx), max_bind_size);
        if (size == 0 && (column.wType == DBTYPE_BSTR || column.wType == DBTYPE_STR ||
                          column.wType == DBTYPE_WSTR))
        {
            size = max_bind_size;
        }
        binding.cbMaxLen = size;
        binding.wType = column.wType == DBTYPE_BYTES ? DBTYPE_BYTES : DBTYPE_WSTR;
        binding.bPrecision = column.bPrecision;
        binding.bScale = column.bScale;
        tk_log(2, "Bind column #%d, type=%d, size=%d", column_idx, column.wType, size);
        offset += size + slot_header;
    }
    m_row_size = offset;
    tk_log(2, "Allocating bind-bufer, %d bytes", offset);
    m_buffer.assign(offset, 0);
    m_statuses.assign(column_count, DBBINDSTATUS_OK);
    odb_check(rowset->QueryInterface(IID_IAccessor, m_accessor.put_void()));
    odb_check(m_accessor->CreateAccessor(DBACCESSOR_ROWDATA, column_count, m_bindings.data(), 0,
                                         &m_handle, m_statuses.data()));
}

std::unique_ptr<odb_record> odb_accessor::get_record(IRowset* rowset, HROW row)
{
    tk_log(1, "odb_accessor::get_record");
    if (row == 0)
    {
        throw tk_mail_assertion("odb_acc", 174);
    }
    odb_check(rowset->GetData(row, m_handle, m_buffer.data()));
    return std::make_unique<odb_record>(m_column_count, m_buffer.data(), m_columns,
                                        m_bindings.data());
}
