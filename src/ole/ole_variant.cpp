// ole_variant.cpp: construction, copying, byte arrays and the numeric readers of a field value.
#include "ole/ole_variant.h"

#include "plat/plat_text.h"
#include "tk/tk_exception.h"
#include "tk/tk_logger.h"

#include <charconv>
#include <cmath>
#include <limits>
#include <utility>

namespace
{

// Clamping keeps readers that ask for an int from wrapping a larger value silently.
std::int32_t clamp_to_int32(long double number)
{
    if (std::isnan(number))
    {
        return 0;
    }
    if (number <= std::numeric_limits<std::int32_t>::min())
    {
        return std::numeric_limits<std::int32_t>::min();
    }
    if (number >= std::numeric_limits<std::int32_t>::max())
    {
        return std::numeric_limits<std::int32_t>::max();
    }
    return static_cast<std::int32_t>(number);
}

} // namespace

ole_variant::ole_variant(const SYSTEMTIME& time)
{
    tk_log(1, "Construct ole_variant from SYSTEMTIME");
    set_date(time);
}

ole_variant::ole_variant(const SYSTEMTIME& time, std::uint16_t sub_millisecond)
{
    tk_log(1, "Construct ole_variant from SYSTEMTIME and microseconds");
    if (sub_millisecond > 999)
    {
        throw tk_mail_assertion("ole_var", 41);
    }
    set_date(time);
    microseconds = sub_millisecond;
}

ole_variant::ole_variant(CY currency)
{
    tk_log(1, "Construct ole_variant from CY");
    value.vt = VT_CY;
    value.cyVal = currency;
}

ole_variant::ole_variant(const DECIMAL& decimal)
{
    tk_log(1, "Construct ole_variant from DECIMAL");
    value.vt = VT_DECIMAL;
    value.decVal = decimal;
}

ole_variant::ole_variant(bool flag)
{
    tk_log(1, "ole_variant::ctor from bool (%d)", static_cast<int>(flag));
    value.vt = VT_BOOL;
    value.boolVal = flag ? VARIANT_TRUE : VARIANT_FALSE;
}

ole_variant::ole_variant(char number)
    : ole_variant(static_cast<signed char>(number))
{
}

ole_variant::ole_variant(signed char number)
{
    tk_log(1, "ole_variant::ctor from char(%d)", static_cast<int>(number));
    value.vt = VT_I1;
    value.cVal = number;
}

ole_variant::ole_variant(unsigned char number)
{
    tk_log(1, "ole_variant::ctor from byte(%d)", static_cast<int>(number));
    value.vt = VT_UI1;
    value.bVal = number;
}

ole_variant::ole_variant(short number)
{
    tk_log(1, "ole_variant::ctor from short(%d)", static_cast<int>(number));
    value.vt = VT_I2;
    value.iVal = number;
}

ole_variant::ole_variant(unsigned short number)
{
    tk_log(1, "ole_variant::ctor from ushort(%d)", static_cast<int>(number));
    value.vt = VT_UI2;
    value.uiVal = number;
}

ole_variant::ole_variant(int number)
{
    tk_log(1, "ole_variant::ctor from int(%d)", number);
    value.vt = VT_I4;
    value.lVal = number;
}

ole_variant::ole_variant(unsigned int number)
{
    tk_log(1, "ole_variant::ctor from uint(%u)", number);
    value.vt = VT_UI4;
    value.ulVal = number;
}

ole_variant::ole_variant(long long number)
{
    tk_log(1, "ole_variant::ctor(hyper, %I64d)", number);
    value.vt = VT_I8;
    i64_value = number;
}

ole_variant::ole_variant(long number)
    : ole_variant(static_cast<long long>(number))
{
}

ole_variant::ole_variant(unsigned long long number)
{
    tk_log(1, "ole_variant::ctor(uhyper, %I64u)", number);
    value.vt = VT_UI8;
    u64_value = number;
}

ole_variant::ole_variant(unsigned long number)
    : ole_variant(static_cast<unsigned long long>(number))
{
}

ole_variant::ole_variant(float number)
{
    tk_log(1, "ole_variant::ctor from float(%f)", static_cast<double>(number));
    value.vt = VT_R4;
    value.fltVal = number;
}

ole_variant::ole_variant(double number)
{
    tk_log(1, "ole_variant::ctor from double(%e)", number);
    value.vt = VT_R8;
    value.dblVal = number;
}

ole_variant::ole_variant(std::size_t count, const std::uint8_t* bytes)
{
    attach_binary(count, bytes);
}

ole_variant::ole_variant(const std::wstring& text)
{
    tk_wlog(1, L"ole_variant::ctor from wstring(%s)", text);
    attach_wstring(text);
}

ole_variant::ole_variant(const wchar_t* text)
    : ole_variant(std::wstring(text != nullptr ? text : L""))
{
}

ole_variant::ole_variant(const std::string& text, VARTYPE vt)
{
    from_string(text, vt);
}

ole_variant::ole_variant(const std::wstring& text, VARTYPE vt)
{
    tk_log(1, "ole_variant::from_wstring");
    from_wstring(text, vt);
}

ole_variant::ole_variant(const ole_variant& other)
    : i64_value(other.i64_value)
    , u64_value(other.u64_value)
    , systemtime(other.systemtime)
    , microseconds(other.microseconds)
    , value(other.value)
    , decimal_text(other.decimal_text)
{
    tk_log(1, "ole_variant::copy ctor");
    if (value.vt == VT_DATE)
    {
        tk_log(1, "Special processing for VT_DATE");
    }
    else if (value.vt == VT_I8 || value.vt == VT_UI8)
    {
        tk_log(1, "Special processing for VT_(U)I8 type");
    }
}

ole_variant& ole_variant::operator=(const ole_variant& other)
{
    if (this == &other)
    {
        return *this;
    }
    value = other.value;
    i64_value = other.i64_value;
    u64_value = other.u64_value;
    systemtime = other.systemtime;
    microseconds = other.microseconds;
    decimal_text = other.decimal_text;
    if (value.vt == VT_DATE)
    {
        tk_log(1, "%04d-%02d-%02d %02d:%02d:%02d", systemtime.wYear, systemtime.wMonth,
               systemtime.wDay, systemtime.wHour, systemtime.wMinute, systemtime.wSecond);
    }
    return *this;
}

void ole_variant::reset()
{
    value.clear();
    i64_value = 0;
    u64_value = 0;
    systemtime = SYSTEMTIME{};
    microseconds = 0;
    decimal_text.clear();
}

void ole_variant::set_date(const SYSTEMTIME& time)
{
    reset();
    value.vt = VT_DATE;
    systemtime = time;
    if (!plat::system_time_to_variant_time(time, value.date))
    {
        tk_log(2, "Failed to convert SYSTEMTIME->VARIANT");
    }
}

void ole_variant::set_bstr(const std::wstring& text)
{
    reset();
    value.vt = VT_BSTR;
    value.bstrVal = text;
}

void ole_variant::attach_string(const std::string& text)
{
    tk_log(1, "ole_variant::attach_string('%s')", text);
    tk_log(1, "=== RIGHT BEFORE A2W_EX ===");
    reset();
    value.vt = VT_BSTR;
    value.bstrVal = plat::utf8_to_wide_lossy(text);
}

void ole_variant::attach_wstring(const std::wstring& text)
{
    tk_wlog(1, L"ole_variant::attach_wstring('%s')", text);
    tk_log(1, "=== RIGHT BEFORE SysAllocStringLen ===");
    set_bstr(text);
}

void ole_variant::attach_binary(const std::vector<std::uint8_t>& bytes)
{
    tk_log(1, "ole_variant::attach_binary(1)");
    allocate_safe_array(bytes.size());
    value.parray = bytes;
}

void ole_variant::attach_binary(std::size_t count, const std::uint8_t* bytes)
{
    tk_log(1, "ole_variant::attach_binary(2)");
    // An empty array may come with a null pointer (an empty vector's data()).
    if (bytes == nullptr && count != 0)
    {
        throw tk_mail_assertion("ole_var", 738);
    }
    allocate_safe_array(count);
    if (count != 0)
    {
        value.parray.assign(bytes, bytes + count);
    }
}

void ole_variant::allocate_safe_array(std::size_t count)
{
    tk_log(1, "ole_variant::allocate_safe_array (size=%d)", count);
    if (value.vt == VT_BYTE_ARRAY)
    {
        tk_log(1, "Redimension array");
        value.parray.resize(count);
        return;
    }
    reset();
    value.vt = VT_BYTE_ARRAY;
    value.parray.assign(count, 0);
}

std::size_t ole_variant::get_bytes(const std::uint8_t*& data) const
{
    tk_log(1, "ole_variant::get_bytes(%d)", value.vt);
    data = nullptr;
    if (value.vt == VT_EMPTY || value.vt == VT_NULL)
    {
        return 0;
    }
    if (value.vt != VT_BYTE_ARRAY)
    {
        throw tk_mail_assertion("ole_var", 672);
    }
    tk_log(1, "get_safe_array_size");
    tk_log(1, "lower=%d, upper=%d", 0, static_cast<long long>(value.parray.size()) - 1);
    data = value.parray.data();
    return value.parray.size();
}

std::size_t ole_variant::get_bytes(std::uint8_t*& data)
{
    const std::uint8_t* bytes = nullptr;
    const std::size_t count = std::as_const(*this).get_bytes(bytes);
    data = count != 0 ? value.parray.data() : nullptr;
    return count;
}

SYSTEMTIME ole_variant::get_systemtime() const
{
    return value.vt == VT_DATE ? systemtime : SYSTEMTIME{};
}

std::int32_t ole_variant::to_long() const
{
    tk_log(1, "ole_variant::to_long(vt=%08X)", value.vt);
    switch (value.vt)
    {
    case VT_EMPTY:
    case VT_NULL:
        return 0;
    case VT_I2:
        return value.iVal;
    case VT_BOOL:
        return value.boolVal;
    case VT_I4:
        return value.lVal;
    case VT_UI4:
        return clamp_to_int32(value.ulVal);
    case VT_R4:
        return clamp_to_int32(std::trunc(value.fltVal));
    case VT_R8:
        return clamp_to_int32(std::trunc(value.dblVal));
    case VT_DECIMAL:
    {
        if (!decimal_text.empty())
        {
            // More digits than 96 bits: beyond the range, or a fraction smaller than 10^-28.
            const double rounded = std::nearbyint(to_double());
            return std::fabs(rounded) <= 2147483647.0 ? static_cast<std::int32_t>(rounded) : 0;
        }
        std::int32_t number = 0;
        const HRESULT hr = plat::dec_to_i4(value.decVal, number);
        tk_log(1, "from DECIMAL, hr=%08X", static_cast<std::uint32_t>(hr));
        return SUCCEEDED(hr) ? number : 0;
    }
    case VT_I1:
        return value.cVal;
    case VT_UI1:
        return value.bVal;
    case VT_UI2:
        return value.uiVal;
    case VT_I8:
        return clamp_to_int32(static_cast<long double>(i64_value));
    case VT_UI8:
        return clamp_to_int32(static_cast<long double>(u64_value));
    default:
        throw tk_mail_assertion("ole_var", 480);
    }
}

double ole_variant::to_double() const
{
    tk_log(1, "ole_variant::to_double(%08X)", value.vt);
    switch (value.vt)
    {
    case VT_EMPTY:
    case VT_NULL:
        return 0;
    case VT_I1:
        return value.cVal;
    case VT_UI1:
        return value.bVal;
    case VT_I2:
        return value.iVal;
    case VT_UI2:
        return value.uiVal;
    case VT_I4:
        return value.lVal;
    case VT_UI4:
        return value.ulVal;
    case VT_INT:
        return value.intVal;
    case VT_UINT:
        return value.uintVal;
    case VT_BOOL:
        return value.boolVal;
    case VT_R4:
        return value.fltVal;
    case VT_R8:
        return value.dblVal;
    case VT_CY:
    {
        const double number = plat::cy_to_r8(value.cyVal);
        tk_log(1, "from CURRECY: res=%lg, hr=%08X", number, 0);
        return number;
    }
    case VT_DECIMAL:
    {
        double number = 0;
        if (decimal_text.empty())
        {
            number = plat::dec_to_r8(value.decVal);
        }
        else
        {
            const std::string_view text = decimal_text.front() == '+'
                                              ? std::string_view(decimal_text).substr(1)
                                              : std::string_view(decimal_text);
            std::from_chars(text.data(), text.data() + text.size(), number);
        }
        tk_log(1, "from DECIMAL: res=%lg, hr=%08X", number, 0);
        return number;
    }
    case VT_I8:
        return static_cast<double>(i64_value);
    case VT_UI8:
        return static_cast<double>(u64_value);
    default:
        throw tk_mail_assertion("ole_var", 521);
    }
}

bool ole_variant::to_bool() const
{
    tk_log(1, "ole_variant::to_bool(vt=%08X)", value.vt);
    switch (value.vt)
    {
    case VT_EMPTY:
    case VT_NULL:
        return false;
    case VT_BOOL:
        return value.boolVal == VARIANT_TRUE;
    case VT_I2:
        return value.iVal != 0;
    case VT_UI2:
        return value.uiVal != 0;
    case VT_I4:
        return value.lVal != 0;
    case VT_UI4:
        return value.ulVal != 0;
    case VT_R4:
        return value.fltVal != 0;
    case VT_R8:
        return value.dblVal != 0;
    case VT_I1:
        return value.cVal != 0;
    case VT_UI1:
        return value.bVal != 0;
    case VT_I8:
        return i64_value != 0;
    case VT_UI8:
        return u64_value != 0;
    case VT_DECIMAL:
        return to_long() != 0;
    default:
        throw tk_mail_assertion("ole_var", 448);
    }
}

bool ole_variant::is_quoted_vartype(VARTYPE vt)
{
    return vt == VT_BSTR || vt == VT_DATE;
}

bool ole_variant::is_blob_vartype(VARTYPE vt)
{
    return vt == VT_BLOB || vt == VT_BLOB_OBJECT || vt == VT_BYTE_ARRAY;
}
