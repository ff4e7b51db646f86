// ole_variant_change.cpp: the change of a field value's kind.
#include "ole/ole_date.h"
#include "ole/ole_exception.h"
#include "ole/ole_variant.h"
#include "plat/plat_text.h"
#include "tk/tk_logger.h"

#include <cmath>
#include <cstring>

namespace
{

template <class T>
void append_little_endian(std::vector<std::uint8_t>& bytes, T number)
{
    static_assert(std::is_integral_v<T>);
    auto bits = static_cast<std::make_unsigned_t<T>>(number);
    for (std::size_t idx = 0; idx < sizeof(T); ++idx)
    {
        bytes.push_back(static_cast<std::uint8_t>(bits & 0xFF));
        bits = static_cast<std::make_unsigned_t<T>>(bits >> 8);
    }
}

template <class Floating, class Bits>
void append_floating(std::vector<std::uint8_t>& bytes, Floating number)
{
    static_assert(sizeof(Floating) == sizeof(Bits));
    Bits bits = 0;
    std::memcpy(&bits, &number, sizeof bits);
    append_little_endian(bytes, bits);
}

VARIANT sixty_four_bit(VARTYPE vt, std::int64_t signed_value, std::uint64_t unsigned_value)
{
    VARIANT number;
    number.vt = vt;
    if (vt == VT_I8)
    {
        number.llVal = signed_value;
    }
    else
    {
        number.ullVal = unsigned_value;
    }
    return number;
}

} // namespace

void ole_variant::change_type(VARTYPE vt)
{
    const VARTYPE old = value.vt;
    tk_log(1, "ole_variant::change_type(old=%d,new=%d)", old, vt);
    if (vt == old || old == VT_EMPTY || old == VT_NULL ||
        (is_blob_vartype(vt) && is_blob_vartype(old)))
    {
        tk_log(1, "Type cannot be changed");
        return;
    }
    if (old == VT_DECIMAL && !decimal_text.empty())
    {
        set_from_decimal_text(vt);
        return;
    }
    // The bytes of a 64-bit integer or a date are a defined result too, so this comes first.
    if (is_blob_vartype(vt))
    {
        set_to_binary();
        return;
    }
    if (old == VT_I8 || old == VT_UI8)
    {
        set_from_64(vt);
        return;
    }
    if (vt == VT_I8 || vt == VT_UI8)
    {
        set_to_64(vt);
        return;
    }
    if (old == VT_DATE)
    {
        if (vt != VT_BSTR)
        {
            throw ole_cast_exception();
        }
        set_bstr(ole_date(systemtime, microseconds).to_wstring(true));
        return;
    }
    if (vt == VT_DATE)
    {
        if (old != VT_BSTR)
        {
            throw ole_cast_exception();
        }
        const ole_date date(to_string());
        if (!date.is_valid())
        {
            throw ole_cast_exception();
        }
        set_date(date.systemtime);
        microseconds = date.microseconds;
        return;
    }
    VARIANT changed;
    if (FAILED(plat::var_change_type(changed, value, vt)))
    {
        throw ole_cast_exception();
    }
    reset();
    value = std::move(changed);
}

void ole_variant::set_from_decimal_text(VARTYPE vt)
{
    // Such a number lies beyond every integer kind and the currency, or has a fraction finer
    // than they keep: only text and the floating kinds take it (the latter rounded, as a
    // floating value always is).
    const double number = to_double();
    switch (vt)
    {
    case VT_BSTR:
        set_bstr(plat::utf8_to_wide_lossy(decimal_text));
        return;
    case VT_R8:
        reset();
        value.vt = VT_R8;
        value.dblVal = number;
        return;
    case VT_R4:
        if (std::fabs(number) >= 0x1.ffffffp127)
        {
            throw ole_cast_exception();
        }
        reset();
        value.vt = VT_R4;
        value.fltVal = static_cast<float>(number);
        return;
    default:
        throw ole_cast_exception();
    }
}

void ole_variant::set_from_64(VARTYPE vt)
{
    const VARIANT number = sixty_four_bit(value.vt, i64_value, u64_value);
    if (vt == VT_I8 || vt == VT_UI8)
    {
        // Between the two side fields; a number the other one cannot hold is refused.
        VARIANT moved;
        if (FAILED(plat::var_change_type(moved, number, vt)))
        {
            throw ole_cast_exception();
        }
        reset();
        value.vt = vt;
        i64_value = vt == VT_I8 ? moved.llVal : 0;
        u64_value = vt == VT_UI8 ? moved.ullVal : 0;
        return;
    }
    switch (vt)
    {
    case VT_I1:
    case VT_UI1:
    case VT_I2:
    case VT_UI2:
    case VT_I4:
    case VT_UI4:
    case VT_INT:
    case VT_UINT:
    case VT_BOOL:
    case VT_R4:
    case VT_R8:
    case VT_BSTR:
    case VT_CY:
    case VT_DECIMAL:
        break;
    default:
        throw ole_cast_exception();
    }
    if (vt == VT_DECIMAL)
    {
        tk_log(1, "Processing for VT_DECIMAL");
    }
    VARIANT changed;
    if (FAILED(plat::var_change_type(changed, number, vt)))
    {
        throw ole_cast_exception();
    }
    reset();
    value = std::move(changed);
}

void ole_variant::set_to_64(VARTYPE vt)
{
    VARIANT source = value;
    switch (value.vt)
    {
    case VT_R4:
    case VT_R8:
    {
        // Floating values are truncated here, not rounded; out of range is refused below.
        source.vt = VT_R8;
        source.dblVal = std::trunc(value.vt == VT_R4 ? value.fltVal : value.dblVal);
        break;
    }
    case VT_I1:
    case VT_UI1:
    case VT_I2:
    case VT_UI2:
    case VT_I4:
    case VT_UI4:
    case VT_INT:
    case VT_UINT:
    case VT_BOOL:
    case VT_CY:
    case VT_DECIMAL:
        break;
    default:
        throw ole_cast_exception();
    }
    VARIANT changed;
    if (FAILED(plat::var_change_type(changed, source, vt)))
    {
        throw ole_cast_exception();
    }
    reset();
    value.vt = vt;
    i64_value = vt == VT_I8 ? changed.llVal : 0;
    u64_value = vt == VT_UI8 ? changed.ullVal : 0;
}

void ole_variant::set_to_binary()
{
    std::vector<std::uint8_t> bytes;
    switch (value.vt)
    {
    case VT_I2:
        append_little_endian(bytes, value.iVal);
        break;
    case VT_BOOL:
        append_little_endian(bytes, value.boolVal);
        break;
    case VT_UI2:
        append_little_endian(bytes, value.uiVal);
        break;
    case VT_I4:
        append_little_endian(bytes, value.lVal);
        break;
    case VT_UI4:
        append_little_endian(bytes, value.ulVal);
        break;
    case VT_INT:
        append_little_endian(bytes, value.intVal);
        break;
    case VT_UINT:
        append_little_endian(bytes, value.uintVal);
        break;
    case VT_R4:
        append_floating<float, std::uint32_t>(bytes, value.fltVal);
        break;
    case VT_R8:
        append_floating<double, std::uint64_t>(bytes, value.dblVal);
        break;
    case VT_CY:
        append_little_endian(bytes, value.cyVal.int64);
        break;
    case VT_DATE:
        for (const std::uint16_t field :
             {systemtime.wYear, systemtime.wMonth, systemtime.wDayOfWeek, systemtime.wDay,
              systemtime.wHour, systemtime.wMinute, systemtime.wSecond, systemtime.wMilliseconds})
        {
            append_little_endian(bytes, field);
        }
        break;
    case VT_DECIMAL:
        append_little_endian(bytes, value.decVal.wReserved);
        append_little_endian(bytes, value.decVal.scale);
        append_little_endian(bytes, value.decVal.sign);
        append_little_endian(bytes, value.decVal.Hi32);
        append_little_endian(bytes, value.decVal.Lo64);
        break;
    case VT_I1:
        append_little_endian(bytes, value.cVal);
        break;
    case VT_UI1:
        append_little_endian(bytes, value.bVal);
        break;
    case VT_I8:
        append_little_endian(bytes, i64_value);
        break;
    case VT_UI8:
        append_little_endian(bytes, u64_value);
        break;
    case VT_BSTR:
        // The text's UTF-16LE code units: what the platform's string held, and what SQL Server
        // makes of N'...' converted to varbinary.
        for (const char16_t unit : plat::wide_to_utf16(value.bstrVal))
        {
            append_little_endian(bytes, static_cast<std::uint16_t>(unit));
        }
        break;
    default:
        throw ole_cast_exception();
    }
    attach_binary(bytes);
}
