// mss_table_bind.cpp: one value of a row put into the bulk loader's slot for its column, in the
// form that slot takes (never more bytes than it holds), or refused for its row.
#include "mss/mss_seq_stream.h"
#include "mss/mss_table.h"
#include "mss/odb_exception.h"
#include "ole/ole_exception.h"
#include "plat/oledb/oledb_text.h"
#include "plat/plat_fmt.h"
#include "plat/plat_text.h"
#include "tk/tk_logger.h"
#include "udb/udb_custom_conversion.h"
#include "udb/udb_value_exception.h"

#include <algorithm>
#include <cmath>
#include <limits>

namespace
{

// What an empty value points at: bind_data2 reads no data at all as NULL.
constexpr std::uint8_t no_bytes = 0;

struct stream_release
{
    void operator()(CSeqStream* stream) const { stream->Release(); }
};
// The stream's one reference until the loader takes it over.
using stream_ref = std::unique_ptr<CSeqStream, stream_release>;

bool is_empty(const ole_variant& value)
{
    return value.get_type() == VT_EMPTY || value.get_type() == VT_NULL;
}

bool is_whole_number(VARTYPE vt)
{
    return plat::oledb::is_integer_type(vt) || vt == VT_INT || vt == VT_UINT;
}

// The value's text, or what a custom conversion rule makes of it (without its quotes).
std::wstring text_of(const ole_variant& value)
{
    if (!udb_custom_conversion::is_acceptable2(value))
    {
        return value.to_wstring();
    }
    tk_log(2, "Custom conversion is acceptable");
    const std::wstring converted = udb_custom_conversion::handle2(value);
    return converted.size() >= 2 ? converted.substr(1, converted.size() - 2) : std::wstring();
}

// text_of without a copy for a text value that no custom rule takes: a view of its BSTR up to
// the first zero character, as to_wstring gives it. `scratch` holds any other value's text.
std::wstring_view text_view(const ole_variant& value, std::wstring& scratch)
{
    if (value.get_type() == VT_BSTR && !udb_custom_conversion::is_acceptable2(value))
    {
        const std::wstring_view text = value.value.bstrVal;
        return text.substr(0, text.find(L'\0'));
    }
    scratch = text_of(value);
    return scratch;
}

// The row's failure: the value is not written changed.
udb_value_exception refusal(const t_ftd& column, const ole_variant& value, const std::wstring& why)
{
    return udb_value_exception(plat::wformat_w(L"The value '%s' has no form in column %s: %s",
                                               value.to_wstring(), column.name, why));
}

// The value changed to `vt`; a value without that form is its row's failure.
ole_variant converted(const ole_variant& value, VARTYPE vt, const t_ftd& column)
{
    ole_variant result = value;
    try
    {
        result.change_type(vt);
    }
    catch (const ole_cast_exception&)
    {
        throw refusal(column, value, L"it has no form in the column's type");
    }
    catch (const ole_type_exception&)
    {
        throw refusal(column, value, L"it has no form in the column's type");
    }
    return result;
}

// The value itself when it has the kind `vt` already, else its conversion kept in `scratch`.
const ole_variant& as_type(const ole_variant& value, VARTYPE vt, const t_ftd& column,
                           ole_variant& scratch)
{
    if (value.get_type() == vt)
    {
        return value;
    }
    scratch = converted(value, vt, column);
    return scratch;
}

// The number of an integer kind read as it stands; false for any other kind.
bool whole_number_of(const ole_variant& value, std::int64_t& number)
{
    switch (value.get_type())
    {
    case VT_I1:
        number = value.value.cVal;
        return true;
    case VT_UI1:
        number = value.value.bVal;
        return true;
    case VT_I2:
        number = value.value.iVal;
        return true;
    case VT_UI2:
        number = value.value.uiVal;
        return true;
    case VT_I4:
        number = value.value.lVal;
        return true;
    case VT_INT:
        number = value.value.intVal;
        return true;
    case VT_UI4:
        number = value.value.ulVal;
        return true;
    case VT_UINT:
        number = value.value.uintVal;
        return true;
    case VT_I8:
        number = value.i64_value;
        return true;
    default:
        return false;
    }
}

// The integer range of a slot type and its width in bytes.
struct integer_slot
{
    std::int64_t min;
    std::uint64_t max;
    std::uint32_t width;
};

integer_slot slot_of(DBTYPE type)
{
    switch (type)
    {
    case DBTYPE_I1:
        return {-128, 127, 1};
    case DBTYPE_UI1:
        return {0, 255, 1};
    case DBTYPE_I2:
        return {-32768, 32767, 2};
    case DBTYPE_UI2:
        return {0, 65535, 2};
    case DBTYPE_I4:
        return {std::numeric_limits<std::int32_t>::min(), std::numeric_limits<std::int32_t>::max(),
                4};
    case DBTYPE_UI4:
        return {0, std::numeric_limits<std::uint32_t>::max(), 4};
    case DBTYPE_UI8:
        return {0, std::numeric_limits<std::uint64_t>::max(), 8};
    default:
        return {std::numeric_limits<std::int64_t>::min(),
                static_cast<std::uint64_t>(std::numeric_limits<std::int64_t>::max()), 8};
    }
}

} // namespace

bool mss_table::bind_field(std::uint32_t column_idx, const udb_field& field)
{
    const t_ftd& column = *schema()[column_idx];
    tk_log(1, "Field %d has vartype=%d", column_idx + 1, field.get_type());
    // NULL stays NULL, in a NOT NULL column too: the server refuses it there with its own
    // error, where a stand-in value would be a row the source never had.
    if (is_empty(field))
    {
        bind_bytes(column_idx, nullptr, 0);
        return true;
    }
    mss_check_value(field, column, m_target);
    return bind_value(column_idx, column, field);
}

bool mss_table::bind_value(std::uint32_t column_idx, const t_ftd& column, const ole_variant& value)
{
    const CDynamicAccessorEx& accessor = m_loader->accessor();
    if (accessor.is_stream(column_idx))
    {
        bind_stream(column_idx, value);
        return true;
    }
    const DBBINDING& binding = accessor.binding(column_idx);
    if (plat::oledb::is_integer_type(binding.wType))
    {
        return bind_number(column_idx, column, value);
    }
    switch (binding.wType)
    {
    case DBTYPE_STR:
    case DBTYPE_WSTR:
        return bind_text(column_idx, column, value);
    case DBTYPE_BYTES:
    {
        if (value.get_type() != VT_BYTE_ARRAY)
        {
            std::wstring scratch;
            const std::string text = plat::wide_to_utf8(text_view(value, scratch));
            if (text.size() > binding.cbMaxLen)
            {
                return false;
            }
            bind_bytes(column_idx, text.data(), static_cast<std::uint32_t>(text.size()));
            return true;
        }
        const std::uint8_t* bytes = nullptr;
        const std::size_t size = value.get_bytes(bytes);
        if (size > binding.cbMaxLen)
        {
            return false;
        }
        // An empty array is an empty value, not NULL.
        bind_bytes(column_idx, bytes != nullptr ? bytes : &no_bytes,
                   static_cast<std::uint32_t>(size));
        return true;
    }
    case DBTYPE_DBTIMESTAMP:
    case DBTYPE_DBDATE:
    case DBTYPE_DBTIME2:
        return bind_date(column_idx, column, value);
    case DBTYPE_BOOL:
    case DBTYPE_R4:
    case DBTYPE_R8:
    case DBTYPE_CY:
        return bind_number(column_idx, column, value);
    case DBTYPE_GUID:
    {
        // Text that is no GUID goes by INSERT, where the server says why it refuses it.
        std::wstring scratch;
        GUID guid;
        if (!plat::oledb::parse_guid(text_view(value, scratch), guid) ||
            sizeof guid > binding.cbMaxLen)
        {
            return false;
        }
        bind_bytes(column_idx, &guid, sizeof guid);
        return true;
    }
    default:
        // A slot kind the writer does not fill: the row's literal in an INSERT statement is
        // read by the server instead.
        tk_log(2, "Column %d is bound as type %d, which the writer does not fill", column_idx + 1,
               binding.wType);
        return false;
    }
}

bool mss_table::bind_text(std::uint32_t column_idx, const t_ftd& column, const ole_variant& value)
{
    const CDynamicAccessorEx& accessor = m_loader->accessor();
    const DBBINDING& binding = accessor.binding(column_idx);
    const DBCOLUMNINFO& info = accessor.column(column_idx);
    if (info.wType == DBTYPE_NUMERIC && binding.wType == DBTYPE_WSTR)
    {
        return bind_numeric_text(column_idx, column, value);
    }
    tk_log(1, "Convert as a string");
    std::wstring scratch;
    const std::wstring_view text = text_view(value, scratch);
    if (binding.wType == DBTYPE_STR)
    {
        m_narrow_text = plat::wide_to_utf8(text);
        tk_log(2, "Binding ANSI string: expected size=%d, actual size=%d", info.ulColumnSize,
               m_narrow_text.size());
        tk_wlog(1, L"String value=%s", text);
        // The slot's last byte is the terminator's; a longer text goes by INSERT, where the
        // server measures it in the column's own terms.
        if (m_narrow_text.size() + 1 > binding.cbMaxLen)
        {
            return false;
        }
        bind_bytes(column_idx, m_narrow_text.data(),
                   static_cast<std::uint32_t>(m_narrow_text.size()));
        return true;
    }
    plat::wide_to_utf16(text, m_wide_text);
    tk_log(2, "Binding UNICODE string: expected size=%d, actual size=%d", info.ulColumnSize,
           m_wide_text.size());
    tk_wlog(1, L"String value=%s", text);
    if ((m_wide_text.size() + 1) * 2 > binding.cbMaxLen)
    {
        return false;
    }
    bind_bytes(column_idx, m_wide_text.data(), static_cast<std::uint32_t>(m_wide_text.size() * 2));
    return true;
}

bool mss_table::bind_numeric_text(std::uint32_t column_idx, const t_ftd& column,
                                  const ole_variant& value)
{
    const DBBINDING& binding = m_loader->accessor().binding(column_idx);
    // A numeric column takes decimal text: exact for decimals and whole numbers.
    if (value.get_type() == VT_DECIMAL || is_whole_number(value.get_type()))
    {
        // The text is ASCII: its characters are the UTF-16 units.
        const std::string text = value.to_string();
        tk_log(2, "Binding as wstring: '%s'", text);
        m_wide_text.assign(text.begin(), text.end());
        const auto bytes = static_cast<std::uint32_t>(m_wide_text.size() * 2 + 2);
        if (bytes > binding.cbMaxLen)
        {
            return false;
        }
        bind_bytes(column_idx, m_wide_text.c_str(), bytes);
        return true;
    }
    const ole_variant number = converted(value, VT_R8, column);
    if (!std::isfinite(number.value.dblVal))
    {
        throw refusal(column, value, L"a numeric column holds no infinity or NaN");
    }
    tk_log(2, "Binding as double: %lg", number.value.dblVal);
    m_loader->bind_data1(number.value.dblVal, column_idx + 1);
    return true;
}

bool mss_table::bind_number(std::uint32_t column_idx, const t_ftd& column, const ole_variant& value)
{
    const DBBINDING& binding = m_loader->accessor().binding(column_idx);
    switch (binding.wType)
    {
    case DBTYPE_BOOL:
    {
        ole_variant scratch;
        const VARIANT_BOOL flag = as_type(value, VT_BOOL, column, scratch).value.boolVal != 0
                                      ? VARIANT_TRUE
                                      : VARIANT_FALSE;
        bind_bytes(column_idx, &flag,
                   static_cast<std::uint32_t>(std::min<DBLENGTH>(sizeof flag, binding.cbMaxLen)));
        return true;
    }
    case DBTYPE_R4:
    {
        const double number = converted(value, VT_R8, column).value.dblVal;
        if (std::isfinite(number) && std::fabs(number) > std::numeric_limits<float>::max())
        {
            throw refusal(column, value, L"the number is out of the column's range");
        }
        const auto single = static_cast<float>(number);
        bind_bytes(column_idx, &single, sizeof single);
        return true;
    }
    case DBTYPE_R8:
    {
        ole_variant scratch;
        const double number = as_type(value, VT_R8, column, scratch).value.dblVal;
        bind_bytes(column_idx, &number, sizeof number);
        return true;
    }
    case DBTYPE_CY:
    {
        const std::int64_t scaled = converted(value, VT_CY, column).value.cyVal.int64;
        bind_bytes(column_idx, &scaled, sizeof scaled);
        return true;
    }
    default:
        break;
    }
    const integer_slot slot = slot_of(binding.wType);
    std::uint64_t bits = 0;
    bool in_range = false;
    if (value.get_type() == VT_UI8)
    {
        bits = value.u64_value;
        in_range = value.u64_value <= slot.max;
    }
    else
    {
        std::int64_t number = 0;
        if (!whole_number_of(value, number))
        {
            number = converted(value, VT_I8, column).i64_value;
        }
        bits = static_cast<std::uint64_t>(number);
        in_range =
            number >= slot.min && (number < 0 || static_cast<std::uint64_t>(number) <= slot.max);
    }
    if (!in_range)
    {
        throw refusal(column, value, L"the number is out of the column's range");
    }
    if (slot.width > binding.cbMaxLen)
    {
        return false;
    }
    // Little-endian: the low bytes of the 64-bit form are the narrower integer.
    bind_bytes(column_idx, &bits, slot.width);
    return true;
}

bool mss_table::bind_date(std::uint32_t column_idx, const t_ftd& column, const ole_variant& value)
{
    const DBBINDING& binding = m_loader->accessor().binding(column_idx);
    const ole_variant as_date = converted(value, VT_DATE, column);
    SYSTEMTIME time = as_date.get_systemtime();
    // A time of day alone takes the date that stands for "no date" in a column with a date.
    if (time.wYear == 0 && time.wMonth == 0 && time.wDay == 0)
    {
        tk_log(2, "Found 0000-00-00 date");
        time.wYear = 1899;
        time.wMonth = 12;
        time.wDay = 30;
    }
    // Nanoseconds: the milliseconds and, for datetime2 and time, the microseconds within them
    // (datetime refuses a fraction finer than its milliseconds).
    const std::uint32_t microseconds = m_target.has_date_types() ? as_date.microseconds : 0u;
    const std::uint32_t fraction = time.wMilliseconds * 1000000u + microseconds * 1000u;
    const auto year = static_cast<std::int16_t>(time.wYear);
    if (binding.wType == DBTYPE_DBDATE)
    {
        const DBDATE date{year, time.wMonth, time.wDay};
        if (sizeof date > binding.cbMaxLen)
        {
            return false;
        }
        bind_bytes(column_idx, &date, sizeof date);
        return true;
    }
    if (binding.wType == DBTYPE_DBTIME2)
    {
        const DBTIME2 clock{time.wHour, time.wMinute, time.wSecond, fraction};
        if (sizeof clock > binding.cbMaxLen)
        {
            return false;
        }
        bind_bytes(column_idx, &clock, sizeof clock);
        return true;
    }
    const DBTIMESTAMP stamp{year,         time.wMonth,  time.wDay, time.wHour,
                            time.wMinute, time.wSecond, fraction};
    if (sizeof stamp > binding.cbMaxLen)
    {
        return false;
    }
    bind_bytes(column_idx, &stamp, sizeof stamp);
    return true;
}

void mss_table::bind_stream(std::uint32_t column_idx, const ole_variant& value)
{
    tk_log(2, "Binding via CSeqStream");
    const DBCOLUMNINFO& info = m_loader->accessor().column(column_idx);
    stream_ref stream(CSeqStream::create());
    // Each value is made once, in the form the loader keeps, and handed to the stream whole: the
    // loader takes it over from there without a copy.
    if (info.wType == DBTYPE_BYTES && value.get_type() == VT_BYTE_ARRAY)
    {
        const std::uint8_t* bytes = nullptr;
        const std::size_t size = value.get_bytes(bytes);
        stream->hold(std::vector<std::uint8_t>(bytes, bytes + size));
    }
    else if (info.wType == DBTYPE_STR || info.wType == DBTYPE_BYTES)
    {
        tk_log(2, "MAPPING WSTRING->STRING");
        std::wstring scratch;
        stream->hold(plat::wide_to_utf8(text_view(value, scratch)));
    }
    else
    {
        // Not m_wide_text: a text of megabytes would keep its room there after its row.
        std::wstring scratch;
        stream->hold(plat::wide_to_utf16(text_view(value, scratch)));
    }
    tk_log(2, "%d bytes processed", stream->size());
    CSeqStream* pointer = stream.get();
    if (!m_loader->bind_data3(&pointer, sizeof pointer, stream->size(), column_idx + 1))
    {
        throw odb_exception(
            plat::wformat_w(L"Column %d of %s takes no stream.", column_idx + 1, name()));
    }
    // The row holds the stream's reference now.
    static_cast<void>(stream.release());
}

void mss_table::bind_bytes(std::uint32_t column_idx, const void* data, std::uint32_t size)
{
    if (!m_loader->bind_data2(data, size, column_idx + 1))
    {
        throw odb_exception(plat::wformat_w(L"Column %d of %s does not hold a value of %d bytes.",
                                            column_idx + 1, name(), size));
    }
}
