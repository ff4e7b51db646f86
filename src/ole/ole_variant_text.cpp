// ole_variant_text.cpp: the text forms of a field value and the reading of text into a kind.
#include "ole/ole_date.h"
#include "ole/ole_exception.h"
#include "ole/ole_variant.h"
#include "plat/plat_crtnum.h"
#include "plat/plat_decimal.h"
#include "plat/plat_number.h"
#include "plat/plat_text.h"
#include "tk/tk_logger.h"
#include "tk/tk_string.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cwchar>

namespace
{

// printf's "%.*e" without the process locale.
std::string scientific(double number, int precision)
{
    char buffer[64];
    const auto result = std::to_chars(buffer, buffer + sizeof buffer, number,
                                      std::chars_format::scientific, precision);
    return std::string(buffer, result.ptr);
}

std::string points_for_commas(std::string text)
{
    std::replace(text.begin(), text.end(), ',', '.');
    return text;
}

int hex_digit(char c)
{
    if (c >= '0' && c <= '9')
    {
        return c - '0';
    }
    if (c >= 'a' && c <= 'f')
    {
        return c - 'a' + 10;
    }
    if (c >= 'A' && c <= 'F')
    {
        return c - 'A' + 10;
    }
    return -1;
}

bool equal_ascii_ci(const std::string& text, const char* word)
{
    std::string lower = text;
    plat::ascii_lower(lower);
    return lower == word;
}

// The range of the integer kinds that text is read into.
void integer_limits(VARTYPE vt, long long& low, unsigned long long& high)
{
    switch (vt)
    {
    case VT_I1:
        low = INT8_MIN;
        high = INT8_MAX;
        break;
    case VT_UI1:
        low = 0;
        high = UINT8_MAX;
        break;
    case VT_I2:
        low = INT16_MIN;
        high = INT16_MAX;
        break;
    case VT_UI2:
        low = 0;
        high = UINT16_MAX;
        break;
    case VT_I4:
        low = INT32_MIN;
        high = INT32_MAX;
        break;
    case VT_UI4:
        low = 0;
        high = UINT32_MAX;
        break;
    case VT_I8:
        low = INT64_MIN;
        high = INT64_MAX;
        break;
    default:
        low = 0;
        high = UINT64_MAX;
        break;
    }
}

} // namespace

std::string ole_variant::to_string() const
{
    tk_log(1, "ole_variant::to_string (vt=%08X)", value.vt);
    switch (value.vt)
    {
    case VT_I2:
        return std::to_string(value.iVal);
    case VT_I1:
        return std::to_string(value.cVal);
    case VT_I4:
        return std::to_string(value.lVal);
    case VT_INT:
        return std::to_string(value.intVal);
    case VT_UI1:
        return std::to_string(value.bVal);
    case VT_UI2:
        return std::to_string(value.uiVal);
    case VT_UI4:
        return std::to_string(value.ulVal);
    case VT_UINT:
        return std::to_string(value.uintVal);
    case VT_I8:
        return std::to_string(i64_value);
    case VT_UI8:
        return std::to_string(u64_value);
    case VT_R4:
        // Nine significant digits: a float read back from its text is the same float.
        return scientific(value.fltVal, 8);
    case VT_R8:
        return scientific(value.dblVal, 16);
    case VT_CY:
    {
        tk_log(1, "Converting VT_CY");
        VARIANT text;
        if (FAILED(plat::var_change_type(text, value, VT_BSTR)))
        {
            return {};
        }
        return points_for_commas(plat::wide_to_utf8(text.bstrVal));
    }
    case VT_DECIMAL:
        tk_log(1, "Converting VT_DECIMAL");
        if (!decimal_text.empty())
        {
            return decimal_text;
        }
        return points_for_commas(plat::wide_to_utf8(plat::dec_to_str(value.decVal)));
    case VT_DATE:
        tk_log(1, "Converting VT_DATE");
        return ole_date(systemtime, microseconds).to_string(true);
    case VT_BSTR:
        return plat::wide_to_utf8(value.bstrVal.c_str());
    case VT_BOOL:
        tk_log(1, "to_string - bool: %d", value.boolVal);
        tk_log(1, "Mapping BOOL like ANSI!");
        return value.boolVal == VARIANT_TRUE ? "1" : "0";
    case VT_BYTE_ARRAY:
        tk_log(1, "Converting VT_ARRAY");
        // Printed whole: a cut array would be a silently different value in the target.
        return value.parray.empty()
                   ? std::string()
                   : "0x" + tk_hex_encode(value.parray.size(), value.parray.data());
    default:
        return {};
    }
}

std::wstring ole_variant::to_wstring() const
{
    if (value.vt == VT_BSTR)
    {
        return std::wstring(value.bstrVal.c_str());
    }
    return plat::utf8_to_wide_lossy(to_string());
}

void ole_variant::set_integer_text(const std::string& text, VARTYPE vt)
{
    const plat::crt_integer number = plat::crt_read_integer(text);
    long long low = 0;
    unsigned long long high = 0;
    integer_limits(vt, low, high);
    const unsigned long long low_magnitude =
        low < 0 ? 0ULL - static_cast<unsigned long long>(low) : 0ULL;
    // The runtime's readers wrap or clamp out-of-range text; a wrong number is worse than none.
    if (number.overflow ||
        (number.negative ? number.magnitude > low_magnitude : number.magnitude > high))
    {
        tk_log(2, "Number out of range for type %d: '%s'", vt, text);
        throw ole_type_exception();
    }
    const long long signed_value = number.negative ? static_cast<long long>(0ULL - number.magnitude)
                                                   : static_cast<long long>(number.magnitude);
    value.vt = vt;
    switch (vt)
    {
    case VT_I1:
        value.cVal = static_cast<std::int8_t>(signed_value);
        break;
    case VT_UI1:
        value.bVal = static_cast<std::uint8_t>(number.magnitude);
        break;
    case VT_I2:
        value.iVal = static_cast<std::int16_t>(signed_value);
        break;
    case VT_UI2:
        value.uiVal = static_cast<std::uint16_t>(number.magnitude);
        break;
    case VT_I4:
        value.lVal = static_cast<std::int32_t>(signed_value);
        break;
    case VT_UI4:
        value.ulVal = static_cast<std::uint32_t>(number.magnitude);
        break;
    case VT_I8:
        i64_value = signed_value;
        break;
    default:
        u64_value = number.magnitude;
        break;
    }
}

void ole_variant::set_hex_text(const std::string& text)
{
    if (text.size() % 2 != 0)
    {
        tk_log(2, "Incorrect BLOB (size is odd)");
        return;
    }
    std::size_t first = 0;
    // "0x" is the system's own prefix, "\x" the one of PostgreSQL's hex bytea text.
    if (text.size() >= 2 && (text[0] == '0' || text[0] == '\\') &&
        (text[1] == 'x' || text[1] == 'X'))
    {
        first = 2;
    }
    tk_log(1, "Got BLOB size: %d", text.size());
    std::vector<std::uint8_t> bytes;
    bytes.reserve((text.size() - first) / 2);
    for (std::size_t pos = first; pos < text.size(); pos += 2)
    {
        const int high = hex_digit(text[pos]);
        const int low = hex_digit(text[pos + 1]);
        if (high < 0 || low < 0)
        {
            tk_log(3, "Incorrect BLOB (not hexadecimal at %d)", pos);
            return;
        }
        bytes.push_back(static_cast<std::uint8_t>(high * 16 + low));
    }
    attach_binary(bytes);
}

bool ole_variant::set_decimal_text(std::string_view text)
{
    std::string_view digits = text;
    bool negative = false;
    if (!digits.empty() && (digits.front() == '-' || digits.front() == '+'))
    {
        negative = digits.front() == '-';
        digits.remove_prefix(1);
    }
    const std::size_t point = digits.find('.');
    const std::string_view integer = digits.substr(0, point);
    std::string_view fraction =
        point == std::string_view::npos ? std::string_view() : digits.substr(point + 1);
    const auto all_digits = [](std::string_view part)
    { return std::all_of(part.begin(), part.end(), [](char c) { return c >= '0' && c <= '9'; }); };
    if ((integer.empty() && fraction.empty()) || !all_digits(integer) || !all_digits(fraction))
    {
        return false;
    }
    reset();
    value.vt = VT_DECIMAL;
    while (!fraction.empty() && fraction.back() == '0')
    {
        fraction.remove_suffix(1);
    }
    // The DECIMAL when it holds the number exactly: 28 decimals at most and fewer than 2^96
    // units. Never rounded: a rounded amount would be a silently changed row.
    const plat::uint128 limit = static_cast<plat::uint128>(1) << 96;
    plat::uint128 count = 0;
    bool fits = fraction.size() <= static_cast<std::size_t>(DECIMAL_MAX_SCALE);
    for (const std::string_view part : {integer, fraction})
    {
        for (std::size_t pos = 0; fits && pos < part.size(); ++pos)
        {
            count = count * 10 + static_cast<unsigned>(part[pos] - '0');
            fits = count < limit;
        }
    }
    if (!fits)
    {
        decimal_text.assign(negative ? "-" : "");
        decimal_text.append(digits);
        return true;
    }
    value.decVal.scale = static_cast<std::uint8_t>(fraction.size());
    value.decVal.sign = negative && count != 0 ? DECIMAL_NEG : 0;
    value.decVal.Hi32 = static_cast<std::uint32_t>(count >> 64);
    value.decVal.Lo64 = static_cast<std::uint64_t>(count);
    return true;
}

void ole_variant::from_string(const std::string& text, VARTYPE vt)
{
    tk_log(1, "ole_variant::from_string('%s', 0x%08X)", text, vt);
    reset();
    if (text.empty() && vt != VT_BSTR)
    {
        return;
    }
    switch (vt)
    {
    case VT_I2:
    case VT_I4:
    case VT_I1:
    case VT_UI1:
    case VT_UI2:
    case VT_UI4:
    case VT_I8:
    case VT_UI8:
        set_integer_text(text, vt);
        return;
    case VT_R4:
    case VT_R8:
    {
        const double number = plat::ms_atof(points_for_commas(text));
        if (vt == VT_R8)
        {
            value.vt = VT_R8;
            value.dblVal = number;
            return;
        }
        // From 2^128 - 2^103 on a double rounds to an infinite float; below, to FLT_MAX at most.
        if (std::isfinite(number) && std::fabs(number) >= 0x1.ffffffp127)
        {
            tk_log(2, "Number out of range for type %d: '%s'", vt, text);
            throw ole_type_exception();
        }
        value.vt = VT_R4;
        value.fltVal = static_cast<float>(number);
        return;
    }
    case VT_CY:
    {
        tk_log(1, "GOT VT_CY");
        CY currency{};
        const HRESULT hr =
            plat::cy_from_str(plat::utf8_to_wide_lossy(points_for_commas(text)), currency);
        if (FAILED(hr))
        {
            tk_log(3, "VarCyFromStr failed: %08X", static_cast<std::uint32_t>(hr));
            return;
        }
        value.vt = VT_CY;
        value.cyVal = currency;
        return;
    }
    case VT_DECIMAL:
    {
        tk_log(1, "GOT VT_DECIMAL");
        DECIMAL decimal;
        const HRESULT hr =
            plat::dec_from_str(plat::utf8_to_wide_lossy(points_for_commas(text)), decimal);
        if (FAILED(hr))
        {
            // A plain number with more digits than the DECIMAL holds is kept as its text.
            if (set_decimal_text(text))
            {
                return;
            }
            tk_log(3, "VarDecFromStr failed: %08X", static_cast<std::uint32_t>(hr));
            return;
        }
        value.vt = VT_DECIMAL;
        value.decVal = decimal;
        return;
    }
    case VT_DATE:
    {
        tk_log(1, "GOT VT_DATE");
        const ole_date date(text);
        if (date.is_valid())
        {
            tk_log(1, "Construct ole_variant from SYSTEMTIME");
            set_date(date.systemtime);
            microseconds = date.microseconds;
        }
        return;
    }
    case VT_BOOL:
    {
        // The words are read in any case: "True" meaning false would be plainly wrong.
        bool flag = false;
        if (equal_ascii_ci(text, "yes") || equal_ascii_ci(text, "true"))
        {
            flag = true;
        }
        else if (!equal_ascii_ci(text, "no") && !equal_ascii_ci(text, "false"))
        {
            flag = plat::ms_atoi(text) != 0;
        }
        value.vt = VT_BOOL;
        value.boolVal = flag ? VARIANT_TRUE : VARIANT_FALSE;
        return;
    }
    case VT_BLOB:
    case VT_BLOB_OBJECT:
    case VT_BYTE_ARRAY:
        set_hex_text(text);
        return;
    default:
        break;
    }
    tk_log(1, "ole_variant::ctor from string(%s)", text);
    attach_string(text);
    if (FAILED(plat::var_change_type(value, value, vt)))
    {
        throw ole_type_exception();
    }
    tk_log(1, "VariantChangeType succeeded");
}

void ole_variant::from_wstring(const std::wstring& text, VARTYPE vt)
{
    const std::wstring up_to_zero(text.c_str());
    if (vt == VT_BSTR)
    {
        tk_log(1, "Construct ole_variant from BSTR");
        set_bstr(up_to_zero);
        return;
    }
    tk_log(1, "=== RIGHT BEFORE W2A_EX ===");
    from_string(plat::wide_to_utf8(up_to_zero), vt);
}
