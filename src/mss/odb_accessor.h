// odb_accessor.h: binds every column of a rowset into one row buffer and reads rows as records.
#pragma once

#include "mss/odb_record.h"
#include "mss/ole_com_ptr.h"
#include "plat/oledb/oledb_interfaces.h"

#include <cstdint>
#include <memory>
#include <vector>

/// The row reader of a rowset. Each column takes status (4 bytes) | length (4 bytes) | value in
/// one buffer; bytes columns are bound as bytes, every other column as wide (UTF-16) text that
/// the record converts itself.
class odb_accessor
{
public:
    /// The largest value slot of one column.
    static constexpr std::uint32_t max_bind_size = 20000000;

    odb_accessor();
    ~odb_accessor();
    odb_accessor(const odb_accessor&) = delete;
    odb_accessor& operator=(const odb_accessor&) = delete;

    /// Lays out the buffer and creates the accessor on `rowset`. `columns` is borrowed from the
    /// recordset and must outlive the accessor; null throws tk_mail_assertion ("odb_acc", 103).
    void bind(IRowset* rowset, std::uint32_t column_count, const DBCOLUMNINFO* columns);
    /// The value slot of column `column_idx` in bytes (before the cap).
    std::uint32_t get_bind_size(std::uint32_t column_idx) const;
    /// Reads one row; a zero handle throws tk_mail_assertion ("odb_acc", 174).
    std::unique_ptr<odb_record> get_record(IRowset* rowset, HROW row);

    const std::vector<DBBINDING>& bindings() const { return m_bindings; }
    std::uint32_t row_size() const { return m_row_size; }

private:
    std::uint32_t m_column_count = 0;
    std::uint32_t m_row_size = 0;
    HACCESSOR m_handle = DB_NULL_HACCESSOR;
    const DBCOLUMNINFO* m_columns = nullptr;
    std::vector<std::uint8_t> m_buffer;
    std::vector<DBBINDING> m_bindings;
    std::vector<DBBINDSTATUS> m_statuses;
    ole_com_ptr<IAccessor> m_accessor;
};
