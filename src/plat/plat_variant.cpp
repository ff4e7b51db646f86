// plat_variant.cpp: VARIANT clearing and the change of type between kinds.
#include "plat/plat_variant.h"

#include "plat/plat_number.h"

#include <charconv>
#include <cmath>

namespace plat
{

namespace
{

__extension__ typedef __int128 int128;

bool is_integer_kind(VARTYPE vt)
{
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
    case VT_I8:
    case VT_UI8:
        return true;
    default:
        return false;
    }
}

bool is_floating_kind(VARTYPE vt)
{
    return vt == VT_R4 || vt == VT_R8 || vt == VT_DATE;
}

// The target's range as [low, high_end): both ends are powers of two (or zero), so they are
// exact as doubles too.
void integer_range(VARTYPE vt, int128& low, int128& high_end)
{
    int bits = 64;
    bool is_signed = true;
    switch (vt)
    {
    case VT_I1:
        bits = 8;
        break;
    case VT_UI1:
        bits = 8;
        is_signed = false;
        break;
    case VT_I2:
        bits = 16;
        break;
    case VT_UI2:
        bits = 16;
        is_signed = false;
        break;
    case VT_I4:
    case VT_INT:
        bits = 32;
        break;
    case VT_UI4:
    case VT_UINT:
        bits = 32;
        is_signed = false;
        break;
    case VT_UI8:
        is_signed = false;
        break;
    default:
        break;
    }
    const int128 span = static_cast<int128>(1) << (is_signed ? bits - 1 : bits);
    low = is_signed ? -span : 0;
    high_end = span;
}

int128 integer_value(const VARIANT& v)
{
    switch (v.vt)
    {
    case VT_I1:
        return v.cVal;
    case VT_UI1:
        return v.bVal;
    case VT_I2:
        return v.iVal;
    case VT_UI2:
        return v.uiVal;
    case VT_I4:
        return v.lVal;
    case VT_UI4:
        return v.ulVal;
    case VT_INT:
        return v.intVal;
    case VT_UINT:
        return v.uintVal;
    case VT_I8:
        return v.llVal;
    case VT_UI8:
        return v.ullVal;
    case VT_BOOL:
        return v.boolVal;
    default:
        return 0;
    }
}

double floating_value(const VARIANT& v)
{
    switch (v.vt)
    {
    case VT_R4:
        return v.fltVal;
    case VT_DATE:
        return v.date;
    default:
        return v.dblVal;
    }
}

void store_integer(VARIANT& out, VARTYPE vt, int128 value)
{
    out.vt = vt;
    switch (vt)
    {
    case VT_I1:
        out.cVal = static_cast<std::int8_t>(value);
        break;
    case VT_UI1:
        out.bVal = static_cast<std::uint8_t>(value);
        break;
    case VT_I2:
        out.iVal = static_cast<std::int16_t>(value);
        break;
    case VT_UI2:
        out.uiVal = static_cast<std::uint16_t>(value);
        break;
    case VT_I4:
        out.lVal = static_cast<std::int32_t>(value);
        break;
    case VT_UI4:
        out.ulVal = static_cast<std::uint32_t>(value);
        break;
    case VT_INT:
        out.intVal = static_cast<std::int32_t>(value);
        break;
    case VT_UINT:
        out.uintVal = static_cast<std::uint32_t>(value);
        break;
    case VT_I8:
        out.llVal = static_cast<std::int64_t>(value);
        break;
    default:
        out.ullVal = static_cast<std::uint64_t>(value);
        break;
    }
}

// The exactly representable sources: integers, booleans, currency, decimals, text, empty.
HRESULT exact_value(const VARIANT& src, exact_number& out)
{
    if (is_integer_kind(src.vt) || src.vt == VT_BOOL)
    {
        const int128 value = integer_value(src);
        out = exact_from_scaled(value < 0, static_cast<uint128>(value < 0 ? -value : value), 0);
        return S_OK;
    }
    switch (src.vt)
    {
    case VT_EMPTY:
        out = exact_number{};
        return S_OK;
    case VT_CY:
        out = cy_to_exact(src.cyVal);
        return S_OK;
    case VT_DECIMAL:
        out = dec_to_exact(src.decVal);
        return S_OK;
    case VT_BSTR:
        return parse_number(src.bstrVal, out) ? S_OK : DISP_E_TYPEMISMATCH;
    default:
        return DISP_E_TYPEMISMATCH;
    }
}

// Any numeric source as a double (exact ones rounded to the nearest double).
HRESULT double_value(const VARIANT& src, double& out)
{
    if (is_floating_kind(src.vt))
    {
        out = floating_value(src);
        return S_OK;
    }
    exact_number number;
    const HRESULT hr = exact_value(src, number);
    return FAILED(hr) ? hr : exact_to_double(number, out);
}

HRESULT to_integer(const VARIANT& src, VARTYPE vt, VARIANT& out)
{
    int128 low = 0;
    int128 high_end = 0;
    integer_range(vt, low, high_end);
    int128 value = 0;
    if (is_floating_kind(src.vt))
    {
        // nearbyint follows the default rounding mode: to nearest, ties to even.
        const double rounded = std::nearbyint(floating_value(src));
        if (!(rounded >= static_cast<double>(low) && rounded < static_cast<double>(high_end)))
        {
            return DISP_E_OVERFLOW; // NaN included
        }
        value = rounded < 0 ? static_cast<int128>(static_cast<std::int64_t>(rounded))
                            : static_cast<int128>(static_cast<std::uint64_t>(rounded));
    }
    else
    {
        exact_number number;
        if (const HRESULT hr = exact_value(src, number); FAILED(hr))
        {
            return hr;
        }
        uint128 count = 0;
        if (!round_to_scale(number, 0, count))
        {
            return DISP_E_OVERFLOW;
        }
        value = number.negative ? -static_cast<int128>(count) : static_cast<int128>(count);
    }
    if (value < low || value >= high_end)
    {
        return DISP_E_OVERFLOW;
    }
    store_integer(out, vt, value);
    return S_OK;
}

bool text_is(std::wstring_view text, std::wstring_view word)
{
    while (!text.empty() && (text.front() == L' ' || text.front() == L'\t'))
    {
        text.remove_prefix(1);
    }
    while (!text.empty() && (text.back() == L' ' || text.back() == L'\t'))
    {
        text.remove_suffix(1);
    }
    if (text.size() != word.size())
    {
        return false;
    }
    for (std::size_t idx = 0; idx < text.size(); ++idx)
    {
        const wchar_t c = text[idx] >= L'A' && text[idx] <= L'Z' ? text[idx] | 0x20 : text[idx];
        if (c != word[idx])
        {
            return false;
        }
    }
    return true;
}

HRESULT to_bool(const VARIANT& src, VARIANT& out)
{
    bool value = false;
    if (src.vt == VT_BSTR && text_is(src.bstrVal, L"true"))
    {
        value = true;
    }
    else if (src.vt == VT_BSTR && text_is(src.bstrVal, L"false"))
    {
        value = false;
    }
    else if (is_floating_kind(src.vt))
    {
        value = floating_value(src) != 0; // NaN is true, as any value that is not zero
    }
    else
    {
        exact_number number;
        if (const HRESULT hr = exact_value(src, number); FAILED(hr))
        {
            return hr;
        }
        value = !number.digits.empty();
    }
    out.vt = VT_BOOL;
    out.boolVal = value ? VARIANT_TRUE : VARIANT_FALSE;
    return S_OK;
}

HRESULT to_real(const VARIANT& src, VARTYPE vt, VARIANT& out)
{
    double value = 0;
    if (const HRESULT hr = double_value(src, value); FAILED(hr))
    {
        return hr;
    }
    out.vt = vt;
    if (vt == VT_R8)
    {
        out.dblVal = value;
        return S_OK;
    }
    // From 2^128 - 2^103 on a double rounds to an infinite float; below, to FLT_MAX at most.
    if (std::isfinite(value) && std::fabs(value) >= 0x1.ffffffp127)
    {
        return DISP_E_OVERFLOW;
    }
    out.fltVal = static_cast<float>(value);
    return S_OK;
}

HRESULT to_currency(const VARIANT& src, VARIANT& out)
{
    CY value{};
    HRESULT hr = S_OK;
    if (is_floating_kind(src.vt))
    {
        hr = cy_from_r8(floating_value(src), value);
    }
    else
    {
        exact_number number;
        hr = exact_value(src, number);
        if (SUCCEEDED(hr))
        {
            hr = cy_from_exact(number, value);
        }
    }
    if (SUCCEEDED(hr))
    {
        out.vt = VT_CY;
        out.cyVal = value;
    }
    return hr;
}

HRESULT to_decimal(const VARIANT& src, VARIANT& out)
{
    DECIMAL value;
    HRESULT hr = S_OK;
    if (is_floating_kind(src.vt))
    {
        hr = dec_from_r8(floating_value(src), value, src.vt == VT_R4 ? 7 : 15);
    }
    else
    {
        exact_number number;
        hr = exact_value(src, number);
        if (SUCCEEDED(hr))
        {
            hr = dec_from_exact(number, value);
        }
    }
    if (SUCCEEDED(hr))
    {
        out.vt = VT_DECIMAL;
        out.decVal = value;
    }
    return hr;
}

HRESULT to_text(const VARIANT& src, VARIANT& out)
{
    std::wstring text;
    if (is_integer_kind(src.vt))
    {
        const int128 value = integer_value(src);
        text = value < 0 ? std::to_wstring(static_cast<std::int64_t>(value))
                         : std::to_wstring(static_cast<std::uint64_t>(value));
    }
    else
    {
        switch (src.vt)
        {
        case VT_EMPTY:
            break;
        case VT_BOOL:
            text = src.boolVal != 0 ? L"True" : L"False";
            break;
        case VT_R4:
            text = r4_to_str(src.fltVal);
            break;
        case VT_R8:
            text = r8_to_str(src.dblVal);
            break;
        case VT_CY:
            text = cy_to_str(src.cyVal);
            break;
        case VT_DECIMAL:
            text = dec_to_str(src.decVal);
            break;
        case VT_DATE:
            if (const HRESULT hr = var_bstr_from_date(src.date, text); FAILED(hr))
            {
                return hr;
            }
            break;
        default:
            return DISP_E_TYPEMISMATCH;
        }
    }
    out.vt = VT_BSTR;
    out.bstrVal = std::move(text);
    return S_OK;
}

HRESULT to_date(const VARIANT& src, VARIANT& out)
{
    double value = 0;
    if (src.vt == VT_BSTR)
    {
        if (const HRESULT hr = var_date_from_str(src.bstrVal, value); FAILED(hr))
        {
            return hr;
        }
    }
    else if (const HRESULT hr = double_value(src, value); FAILED(hr))
    {
        return hr;
    }
    if (!(value > date_floor && value < date_limit))
    {
        return DISP_E_OVERFLOW;
    }
    out.vt = VT_DATE;
    out.date = value;
    return S_OK;
}

bool is_variant_kind(VARTYPE vt)
{
    return vt <= VT_DECIMAL || (vt >= VT_I1 && vt <= VT_UINT) || (vt & VT_ARRAY) != 0;
}

std::wstring general_text(double value, int significant)
{
    if (std::isnan(value))
    {
        return L"NaN";
    }
    if (std::isinf(value))
    {
        return value < 0 ? L"-Infinity" : L"Infinity";
    }
    if (value == 0)
    {
        return L"0";
    }
    char buffer[64];
    const auto result = std::to_chars(buffer, buffer + sizeof buffer, value,
                                      std::chars_format::general, significant);
    std::wstring text(buffer, result.ptr);
    for (wchar_t& c : text)
    {
        if (c == L'e')
        {
            c = L'E';
        }
    }
    return text;
}

} // namespace

std::wstring r8_to_str(double value)
{
    return general_text(value, 15);
}

std::wstring r4_to_str(float value)
{
    return general_text(value, 7);
}

HRESULT var_change_type(VARIANT& dest, const VARIANT& src, VARTYPE vt)
{
    if (!is_variant_kind(vt))
    {
        return DISP_E_BADVARTYPE;
    }
    if (vt == src.vt)
    {
        if (&dest != &src)
        {
            dest = src;
        }
        return S_OK;
    }
    VARIANT result;
    HRESULT hr = DISP_E_TYPEMISMATCH;
    if (vt == VT_EMPTY)
    {
        hr = S_OK;
    }
    else if (src.vt == VT_NULL || vt == VT_NULL)
    {
        hr = src.vt == VT_EMPTY ? S_OK : DISP_E_TYPEMISMATCH;
        result.vt = VT_NULL;
    }
    else if (is_integer_kind(vt))
    {
        hr = to_integer(src, vt, result);
    }
    else
    {
        switch (vt)
        {
        case VT_BOOL:
            hr = to_bool(src, result);
            break;
        case VT_R4:
        case VT_R8:
            hr = to_real(src, vt, result);
            break;
        case VT_CY:
            hr = to_currency(src, result);
            break;
        case VT_DECIMAL:
            hr = to_decimal(src, result);
            break;
        case VT_BSTR:
            hr = to_text(src, result);
            break;
        case VT_DATE:
            hr = to_date(src, result);
            break;
        default:
            break;
        }
    }
    if (SUCCEEDED(hr))
    {
        dest = std::move(result);
    }
    return hr;
}

} // namespace plat

void VARIANT::clear()
{
    vt = VT_EMPTY;
    llVal = 0;
    decVal = DECIMAL{};
    bstrVal.clear();
    parray.clear();
}
