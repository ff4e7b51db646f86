// odb_record.cpp: building fields from a row buffer, and the DBTYPE and VARTYPE tables.
#include "mss/odb_record.h"

#include "mss/mss_engine.h"
#include "ole/ole_date.h"
#include "plat/plat_text.h"
#include "tk/tk_exception.h"
#include "tk/tk_logger.h"

#include <cstring>

namespace
{

template <class T>
T read_at(const std::uint8_t* buffer, DBBYTEOFFSET offset)
{
    T value;
    std::memcpy(&value, buffer + offset, sizeof value);
    return value;
}

bool starts_with_ci(const std::wstring& text, const std::wstring& prefix)
{
    return text.size() >= prefix.size() && plat::equal_ci(text.substr(0, prefix.size()), prefix);
}

} // namespace

std::wstring odb_field::to_wstring() const
{
    tk_log(1, "odb_field::to_wstring");
    return udb_field::to_wstring();
}

std::unique_ptr<udb_field> odb_field::clone() const
{
    return std::make_unique<odb_field>(*this);
}

odb_record::odb_record(std::uint32_t column_count, const std::uint8_t* row_buffer,
                       const DBCOLUMNINFO* columns, const DBBINDING* bindings)
    : m_column_count(column_count)
    , m_row_buffer(row_buffer)
    , m_columns(columns)
    , m_bindings(bindings)
{
    tk_log(1, "odb_record::ctor");
    if (m_row_buffer == nullptr && m_column_count > 0)
    {
        throw tk_mail_assertion("odb_rec", 70);
    }
    if ((m_bindings == nullptr || m_columns == nullptr) && m_column_count > 0)
    {
        throw tk_mail_assertion("odb_rec", 71);
    }
    for (std::uint32_t column_idx = 0; column_idx < m_column_count; ++column_idx)
    {
        const DBCOLUMNINFO& column = m_columns[column_idx];
        const DBBINDING& binding = m_bindings[column_idx];
        const std::wstring name = column.pwszName != nullptr ? column.pwszName : L"";
        const auto size = static_cast<std::int32_t>(column.ulColumnSize);
        const auto status = read_at<DBSTATUS>(m_row_buffer, binding.obStatus);
        if (status != DBSTATUS_S_OK)
        {
            tk_log(1, "Field #%d - FAILED, status code=%08X", column_idx, status);
            add_field(std::make_unique<odb_field>(name, size, ole_variant(), false, false));
            tk_log(1, "\t<NULL>");
            continue;
        }
        const auto length = read_at<DBLENGTH>(m_row_buffer, binding.obLength);
        tk_log(1, "offset=%d", binding.obLength);
        tk_log(1, "type1=%d, type2=%d", column.wType, binding.wType);
        tk_log(1, "Field #%d - OK, length=%d", column_idx, length);
        // A length beyond the value's slot cannot be read whole: never read past the slot.
        const DBLENGTH readable = std::min<DBLENGTH>(length, binding.cbMaxLen);
        if (column.wType == DBTYPE_BYTES)
        {
            tk_log(1, "Processing VT_BLOB");
            add_field(std::make_unique<odb_field>(
                name, static_cast<std::int32_t>(readable),
                ole_variant(readable, m_row_buffer + binding.obValue), false, false));
            continue;
        }
        std::u16string utf16(readable / 2, u'\0');
        if (!utf16.empty())
        {
            std::memcpy(utf16.data(), m_row_buffer + binding.obValue, utf16.size() * 2);
        }
        const std::wstring text = plat::utf16_to_wide(utf16);
        add_field(get_field(column, text));
        tk_wlog(1, L"\t%s", text);
    }
}

std::unique_ptr<odb_field> odb_record::get_field(const DBCOLUMNINFO& column,
                                                 const std::wstring& text)
{
    tk_wlog(1, L"odb_record::get_field(%s)", text);
    // A field needs no date kind: its value carries the date.
    std::int32_t reserved = 0;
    const VARTYPE vartype = get_vartype(column.wType, reserved, mss_target{});
    const std::wstring name = column.pwszName != nullptr ? column.pwszName : L"";
    const auto size = static_cast<std::int32_t>(column.ulColumnSize);
    ole_variant value;
    if (text.empty())
    {
        if (vartype == VT_BSTR)
        {
            value = ole_variant(std::wstring());
        }
    }
    else if (column.wType == DBTYPE_DATE || column.wType == DBTYPE_DBTIMESTAMP)
    {
        value = ole_date(text).to_variant();
    }
    else if (vartype == VT_BLOB)
    {
        value = ole_variant(text, VT_BLOB);
    }
    else
    {
        value = ole_variant(text, vartype);
    }
    return std::make_unique<odb_field>(name, size, value, false, false);
}

VARTYPE odb_record::get_vartype(DBTYPE type, std::int32_t& reserved, const mss_target& target)
{
    tk_log(1, "odb_record::get_vartype(%d)", type);
    switch (type)
    {
    case DBTYPE_I2:
    case DBTYPE_I4:
    case DBTYPE_R4:
    case DBTYPE_R8:
    case DBTYPE_CY:
    case DBTYPE_BOOL:
    case DBTYPE_I1:
    case DBTYPE_UI1:
    case DBTYPE_UI2:
    case DBTYPE_UI4:
    case DBTYPE_I8:
    case DBTYPE_UI8:
        return type;
    case DBTYPE_DECIMAL:
    case DBTYPE_NUMERIC:
        return VT_DECIMAL;
    case DBTYPE_DATE:
    case DBTYPE_DBDATE:
        if (target.has_date_types())
        {
            reserved = t_ftd::date_only;
        }
        return VT_DATE;
    case DBTYPE_DBTIME2:
        if (target.has_date_types())
        {
            reserved = t_ftd::time_only;
        }
        return VT_DATE;
    case DBTYPE_DBTIME:
    case DBTYPE_DBTIMESTAMP:
        return VT_DATE;
    case DBTYPE_XML:
        reserved = t_ftd::xml_column;
        tk_log(1, "Got DBTYPE_XML, set dw_reserved = 11");
        return VT_BSTR;
    case DBTYPE_GUID:
        reserved = t_ftd::guid_column;
        return VT_BSTR;
    case DBTYPE_BSTR:
    case DBTYPE_STR:
    case DBTYPE_WSTR:
        return VT_BSTR;
    default:
        return VT_BLOB;
    }
}

DBTYPE odb_record::get_oledb_type(const t_ftd& descriptor, const std::wstring& source_type_name,
                                  const mss_target& target)
{
    tk_log(1, "odb_record::get_oledb_type(%d)", descriptor.vartype);
    switch (descriptor.vartype)
    {
    case VT_I2:
    case VT_I1:
        return DBTYPE_I2;
    case VT_I4:
    case VT_UI2:
    case VT_INT:
        return DBTYPE_I4;
    case VT_R4:
    case VT_R8:
    case VT_UI8:
        return DBTYPE_R8;
    case VT_CY:
        return DBTYPE_CY;
    case VT_DATE:
        tk_log(1, "Got VT_DATE, flags=%d", descriptor.dw_reserved);
        if (target.has_date_types())
        {
            if ((descriptor.dw_reserved & 3) == t_ftd::date_only)
            {
                return DBTYPE_DATE;
            }
            if ((descriptor.dw_reserved & 3) == t_ftd::time_only)
            {
                return DBTYPE_DBTIME2;
            }
        }
        return DBTYPE_DBTIMESTAMP;
    case VT_BSTR:
        if (descriptor.is_guid())
        {
            return DBTYPE_GUID;
        }
        return starts_with_ci(source_type_name, L"varchar") ||
                       starts_with_ci(source_type_name, L"char") ||
                       starts_with_ci(source_type_name, L"text")
                   ? DBTYPE_STR
                   : DBTYPE_WSTR;
    case VT_BOOL:
        return DBTYPE_BOOL;
    case VT_DECIMAL:
        return descriptor.get_precision() < 39 ? DBTYPE_NUMERIC : DBTYPE_R8;
    case VT_UI1:
        return DBTYPE_UI1;
    case VT_UI4:
    case VT_I8:
    case VT_UINT:
        return target.version_code < mss_engine::version_2000 ? DBTYPE_R8 : DBTYPE_I8;
    case VT_BLOB:
    case VT_BLOB_OBJECT:
        return DBTYPE_BYTES;
    default:
        tk_log(1, "Got string!");
        return DBTYPE_WSTR;
    }
}
