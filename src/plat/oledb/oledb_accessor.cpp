// oledb_accessor.cpp: bindings and value writing for GetData.
#include "plat/oledb/oledb_accessor.h"

#include "plat/oledb/oledb_columns.h"
#include "plat/oledb/oledb_error.h"
#include "plat/oledb/oledb_text.h"
#include "plat/plat_text.h"
#include "plat/plat_variant.h"

#include <charconv>
#include <cmath>
#include <cstring>
#include <limits>
#include <string>

namespace plat::oledb
{
namespace
{

constexpr DBPART all_parts = DBPART_VALUE | DBPART_LENGTH | DBPART_STATUS;

void put(std::uint8_t* data, DBBYTEOFFSET offset, const void* value, std::size_t size)
{
    std::memcpy(data + offset, value, size);
}

std::u16string text_of(const cell& value)
{
    if (const auto* text = std::get_if<std::u16string>(&value))
    {
        return *text;
    }
    const auto& bytes = std::get<std::vector<std::uint8_t>>(value);
    return format_hex(bytes.data(), bytes.size());
}

std::string ascii_of(const std::u16string& text)
{
    std::string out;
    for (const char16_t unit : text)
    {
        if (unit > 0x7F)
        {
            return {};
        }
        out.push_back(static_cast<char>(unit));
    }
    // Drivers pad some numeric text with blanks.
    const auto first = out.find_first_not_of(' ');
    const auto last = out.find_last_not_of(' ');
    return first == std::string::npos ? std::string() : out.substr(first, last - first + 1);
}

DBSTATUS parse_integer(const std::string& text, long long min, long long max, long long& out)
{
    long long number = 0;
    const auto result = std::from_chars(text.data(), text.data() + text.size(), number);
    if (result.ec == std::errc() && result.ptr == text.data() + text.size())
    {
        if (number < min || number > max)
        {
            return DBSTATUS_E_DATAOVERFLOW;
        }
        out = number;
        return DBSTATUS_S_OK;
    }
    if (result.ec == std::errc::result_out_of_range)
    {
        return DBSTATUS_E_DATAOVERFLOW;
    }
    // Integral text with a fraction of zeros ("12.00") converts; anything else does not.
    double real = 0;
    const auto real_result = std::from_chars(text.data(), text.data() + text.size(), real);
    if (real_result.ec != std::errc() || real_result.ptr != text.data() + text.size() ||
        !std::isfinite(real) || std::trunc(real) != real)
    {
        return DBSTATUS_E_CANTCONVERTVALUE;
    }
    if (real < static_cast<double>(min) || real > static_cast<double>(max))
    {
        return DBSTATUS_E_DATAOVERFLOW;
    }
    out = static_cast<long long>(real);
    return DBSTATUS_S_OK;
}

template <class T>
DBSTATUS write_integer(const std::string& text, std::uint8_t* data, DBBYTEOFFSET offset)
{
    long long number = 0;
    const DBSTATUS status =
        parse_integer(text, std::numeric_limits<T>::min(), std::numeric_limits<T>::max(), number);
    if (status == DBSTATUS_S_OK)
    {
        const T value = static_cast<T>(number);
        put(data, offset, &value, sizeof value);
    }
    return status;
}

DBSTATUS write_fixed(DBTYPE type, const std::string& text, std::uint8_t* data, DBBYTEOFFSET offset)
{
    switch (type)
    {
    case DBTYPE_I2:
        return write_integer<std::int16_t>(text, data, offset);
    case DBTYPE_I4:
        return write_integer<std::int32_t>(text, data, offset);
    case DBTYPE_I8:
        return write_integer<std::int64_t>(text, data, offset);
    case DBTYPE_UI1:
        return write_integer<std::uint8_t>(text, data, offset);
    case DBTYPE_BOOL:
    {
        VARIANT_BOOL value = VARIANT_FALSE;
        if (text == "1" || equal_ci(std::string_view(text), std::string_view("true")))
        {
            value = VARIANT_TRUE;
        }
        else if (text != "0" && !equal_ci(std::string_view(text), std::string_view("false")))
        {
            return DBSTATUS_E_CANTCONVERTVALUE;
        }
        put(data, offset, &value, sizeof value);
        return DBSTATUS_S_OK;
    }
    case DBTYPE_R4:
    case DBTYPE_R8:
    {
        double value = 0;
        const auto result = std::from_chars(text.data(), text.data() + text.size(), value);
        if (result.ec != std::errc() || result.ptr != text.data() + text.size())
        {
            return result.ec == std::errc::result_out_of_range ? DBSTATUS_E_DATAOVERFLOW
                                                               : DBSTATUS_E_CANTCONVERTVALUE;
        }
        if (type == DBTYPE_R8)
        {
            put(data, offset, &value, sizeof value);
            return DBSTATUS_S_OK;
        }
        if (std::isfinite(value) && std::fabs(value) > std::numeric_limits<float>::max())
        {
            return DBSTATUS_E_DATAOVERFLOW;
        }
        const auto single = static_cast<float>(value);
        put(data, offset, &single, sizeof single);
        return DBSTATUS_S_OK;
    }
    default:
        return DBSTATUS_E_CANTCONVERTVALUE;
    }
}

// Writes variable-length bytes with an optional terminator; answers the status.
DBSTATUS write_variable(const DBBINDING& binding, const void* bytes, std::size_t size,
                        std::size_t terminator, std::size_t unit, std::uint8_t* data,
                        DBLENGTH& length)
{
    length = static_cast<DBLENGTH>(std::min<std::size_t>(size, ~DBLENGTH{0}));
    if ((binding.dwPart & DBPART_VALUE) == 0)
    {
        return DBSTATUS_S_OK;
    }
    if (binding.cbMaxLen < terminator)
    {
        return DBSTATUS_S_TRUNCATED;
    }
    std::size_t room = binding.cbMaxLen - terminator;
    room -= room % unit;
    const std::size_t copied = std::min(size, room);
    if (copied > 0)
    {
        put(data, binding.obValue, bytes, copied);
    }
    if (terminator > 0)
    {
        std::memset(data + binding.obValue + copied, 0, terminator);
    }
    return copied < size ? DBSTATUS_S_TRUNCATED : DBSTATUS_S_OK;
}

} // namespace

bool is_bindable_type(DBTYPE type)
{
    switch (type)
    {
    case DBTYPE_WSTR:
    case DBTYPE_STR:
    case DBTYPE_BYTES:
    case DBTYPE_I2:
    case DBTYPE_I4:
    case DBTYPE_I8:
    case DBTYPE_UI1:
    case DBTYPE_BOOL:
    case DBTYPE_R4:
    case DBTYPE_R8:
        return true;
    default:
        return false;
    }
}

DBBINDSTATUS check_binding(const DBBINDING& binding, DBORDINAL column_count)
{
    if (binding.iOrdinal == 0 || binding.iOrdinal > column_count)
    {
        return DBBINDSTATUS_BADORDINAL;
    }
    if ((binding.dwPart & all_parts) == 0 || (binding.dwPart & ~all_parts) != 0 ||
        binding.dwMemOwner != DBMEMOWNER_CLIENTOWNED || binding.pObject != nullptr)
    {
        return DBBINDSTATUS_BADBINDINFO;
    }
    if (!is_bindable_type(binding.wType))
    {
        return DBBINDSTATUS_UNSUPPORTEDCONVERSION;
    }
    return DBBINDSTATUS_OK;
}

DBSTATUS write_binding(const DBBINDING& binding, const cell& value, std::uint8_t* data)
{
    DBSTATUS status = DBSTATUS_S_OK;
    DBLENGTH length = 0;
    if (std::holds_alternative<std::monostate>(value))
    {
        status = DBSTATUS_S_ISNULL;
    }
    else if (binding.wType == DBTYPE_WSTR)
    {
        const std::u16string text = text_of(value);
        status = write_variable(binding, text.data(), text.size() * 2, 2, 2, data, length);
    }
    else if (binding.wType == DBTYPE_STR)
    {
        const std::string text = wide_to_utf8(utf16_to_wide(text_of(value)));
        status = write_variable(binding, text.data(), text.size(), 1, 1, data, length);
    }
    else if (binding.wType == DBTYPE_BYTES)
    {
        if (const auto* bytes = std::get_if<std::vector<std::uint8_t>>(&value))
        {
            status = write_variable(binding, bytes->data(), bytes->size(), 0, 1, data, length);
        }
        else
        {
            const auto& text = std::get<std::u16string>(value);
            status = write_variable(binding, text.data(), text.size() * 2, 0, 1, data, length);
        }
    }
    else
    {
        length = fixed_size_of(binding.wType);
        const std::string text = std::holds_alternative<std::u16string>(value)
                                     ? ascii_of(std::get<std::u16string>(value))
                                     : std::string();
        status = (binding.dwPart & DBPART_VALUE) != 0
                     ? write_fixed(binding.wType, text, data, binding.obValue)
                     : DBSTATUS_S_OK;
    }
    if ((binding.dwPart & DBPART_LENGTH) != 0)
    {
        put(data, binding.obLength, &length, sizeof length);
    }
    if ((binding.dwPart & DBPART_STATUS) != 0)
    {
        put(data, binding.obStatus, &status, sizeof status);
    }
    return status;
}

HRESULT accessor_table::create(DBACCESSORFLAGS flags, DBCOUNTITEM binding_count,
                               const DBBINDING bindings[], HACCESSOR* accessor,
                               DBBINDSTATUS statuses[], const binding_check& check,
                               const wchar_t* refusal)
{
    clear_errors();
    if (accessor == nullptr || (binding_count > 0 && bindings == nullptr))
    {
        return post_layer_error(E_INVALIDARG, L"CreateAccessor needs its arguments.");
    }
    *accessor = DB_NULL_HACCESSOR;
    if ((flags & DBACCESSOR_ROWDATA) == 0)
    {
        return post_layer_error(DB_E_NOTSUPPORTED, L"Only row accessors are supported.");
    }
    bool all_ok = true;
    for (DBCOUNTITEM binding_idx = 0; binding_idx < binding_count; ++binding_idx)
    {
        const DBBINDSTATUS status = check(bindings[binding_idx]);
        all_ok = all_ok && status == DBBINDSTATUS_OK;
        if (statuses != nullptr)
        {
            statuses[binding_idx] = status;
        }
    }
    if (!all_ok)
    {
        return post_layer_error(DB_E_ERRORSOCCURRED, refusal);
    }
    const HACCESSOR handle = ++m_last_accessor;
    m_accessors.emplace(handle, std::vector<DBBINDING>(bindings, bindings + binding_count));
    *accessor = handle;
    return S_OK;
}

HRESULT accessor_table::release(HACCESSOR accessor, DBREFCOUNT* ref_count)
{
    clear_errors();
    if (m_accessors.erase(accessor) == 0)
    {
        return post_layer_error(DB_E_BADACCESSORHANDLE, L"The accessor handle is not valid.");
    }
    if (ref_count != nullptr)
    {
        *ref_count = 0;
    }
    return S_OK;
}

const std::vector<DBBINDING>* accessor_table::find(HACCESSOR accessor) const
{
    const auto bound = m_accessors.find(accessor);
    return bound != m_accessors.end() ? &bound->second : nullptr;
}

} // namespace plat::oledb
