// odb_record.h: one row read through an accessor as the neutral record, and the type maps
// between OLE DB column types and value kinds.
#pragma once

#include "mss/mss_types.h"
#include "plat/oledb/oledb_interfaces.h"
#include "udb/t_ftd.h"
#include "udb/udb_field.h"
#include "udb/udb_record.h"

#include <cstdint>
#include <memory>
#include <string>

/// A field read from SQL Server.
class odb_field : public udb_field
{
public:
    using udb_field::udb_field;
    std::wstring to_wstring() const override;
    std::unique_ptr<udb_field> clone() const override;
};

/// One row: a field per column built from the accessor's row buffer.
class odb_record : public udb_record
{
public:
    /// Reads `column_count` columns from `row_buffer` as `bindings` lay them out; a column
    /// whose status is not OK becomes an empty field. Null inputs throw tk_mail_assertion
    /// ("odb_rec", 70 / 71).
    odb_record(std::uint32_t column_count, const std::uint8_t* row_buffer,
               const DBCOLUMNINFO* columns, const DBBINDING* bindings);

    /// The field of one column from its wide text: empty text is an empty BSTR for text
    /// columns and VT_EMPTY otherwise; dates are read by ole_date.
    static std::unique_ptr<odb_field> get_field(const DBCOLUMNINFO& column,
                                                const std::wstring& text);
    /// The value kind of a column type, and the reserved word for its descriptor (the date kind
    /// of a date or time column only when `target` has the SQL Server 2008 types).
    static VARTYPE get_vartype(DBTYPE type, std::int32_t& reserved, const mss_target& target);
    /// The column type a field of this descriptor is created with on `target`.
    /// `source_type_name` is the type the other side read it as (a text type starting
    /// "varchar", "char" or "text" stays narrow).
    static DBTYPE get_oledb_type(const t_ftd& descriptor, const std::wstring& source_type_name,
                                 const mss_target& target);

private:
    std::uint32_t m_column_count;
    const std::uint8_t* m_row_buffer;
    const DBCOLUMNINFO* m_columns;
    const DBBINDING* m_bindings;
};
