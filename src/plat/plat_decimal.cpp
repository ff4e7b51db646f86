// plat_decimal.cpp: DECIMAL and CY conversions over exact digit strings.
#include "plat/plat_decimal.h"

#include "plat/plat_number.h"

#include <algorithm>
#include <cmath>

namespace plat
{

namespace
{

constexpr double two_pow_63 = 9223372036854775808.0;

exact_number exact_from_int64(bool negative, std::uint64_t magnitude)
{
    return exact_from_scaled(negative, magnitude, 0);
}

std::uint64_t magnitude_of(std::int64_t value)
{
    // Unsigned negation keeps INT64_MIN defined.
    return value < 0 ? std::uint64_t{0} - static_cast<std::uint64_t>(value)
                     : static_cast<std::uint64_t>(value);
}

} // namespace

exact_number dec_to_exact(const DECIMAL& value)
{
    const uint128 magnitude = (static_cast<uint128>(value.Hi32) << 64) | value.Lo64;
    return exact_from_scaled((value.sign & DECIMAL_NEG) != 0, magnitude, value.scale);
}

HRESULT dec_from_exact(const exact_number& number, DECIMAL& out)
{
    const uint128 limit = static_cast<uint128>(1) << 96;
    if (!number.digits.empty() &&
        static_cast<long long>(number.digits.size()) + number.exponent > 29)
    {
        return DISP_E_OVERFLOW;
    }
    // Keep as many decimals as fit: a long integer part leaves room for fewer.
    const int top = number.exponent < 0 ? std::min(-number.exponent, DECIMAL_MAX_SCALE) : 0;
    for (int scale = top; scale >= 0; --scale)
    {
        uint128 count = 0;
        if (round_to_scale(number, scale, count) && count < limit)
        {
            DECIMAL result;
            result.scale = static_cast<std::uint8_t>(scale);
            result.sign = number.negative && count != 0 ? DECIMAL_NEG : 0;
            result.Hi32 = static_cast<std::uint32_t>(count >> 64);
            result.Lo64 = static_cast<std::uint64_t>(count);
            out = result;
            return S_OK;
        }
    }
    return DISP_E_OVERFLOW;
}

exact_number cy_to_exact(CY value)
{
    return exact_from_scaled(value.int64 < 0, magnitude_of(value.int64), 4);
}

HRESULT cy_from_exact(const exact_number& number, CY& out)
{
    uint128 count = 0;
    if (!round_to_scale(number, 4, count))
    {
        return DISP_E_OVERFLOW;
    }
    const uint128 limit = static_cast<uint128>(1) << 63;
    if (number.negative)
    {
        if (count > limit)
        {
            return DISP_E_OVERFLOW;
        }
        out.int64 = static_cast<std::int64_t>(std::uint64_t{0} - static_cast<std::uint64_t>(count));
        return S_OK;
    }
    if (count >= limit)
    {
        return DISP_E_OVERFLOW;
    }
    out.int64 = static_cast<std::int64_t>(count);
    return S_OK;
}

HRESULT dec_from_str(std::wstring_view text, DECIMAL& out)
{
    exact_number number;
    if (!parse_number(text, number))
    {
        return DISP_E_TYPEMISMATCH;
    }
    return dec_from_exact(number, out);
}

std::wstring dec_to_str(const DECIMAL& value)
{
    return exact_to_text(dec_to_exact(value));
}

HRESULT dec_from_r8(double value, DECIMAL& out, int significant)
{
    if (!std::isfinite(value))
    {
        return DISP_E_OVERFLOW;
    }
    return dec_from_exact(exact_from_double(value, significant), out);
}

double dec_to_r8(const DECIMAL& value)
{
    double result = 0;
    // A DECIMAL is far inside the double range, so this cannot fail.
    exact_to_double(dec_to_exact(value), result);
    return result;
}

DECIMAL dec_from_i8(std::int64_t value)
{
    DECIMAL result;
    dec_from_exact(exact_from_int64(value < 0, magnitude_of(value)), result);
    return result;
}

DECIMAL dec_from_ui8(std::uint64_t value)
{
    DECIMAL result;
    dec_from_exact(exact_from_int64(false, value), result);
    return result;
}

HRESULT dec_to_i4(const DECIMAL& value, std::int32_t& out)
{
    const exact_number number = dec_to_exact(value);
    uint128 count = 0;
    if (!round_to_scale(number, 0, count))
    {
        return DISP_E_OVERFLOW;
    }
    const uint128 limit = static_cast<uint128>(1) << 31;
    if (number.negative ? count > limit : count >= limit)
    {
        return DISP_E_OVERFLOW;
    }
    const auto magnitude = static_cast<std::int64_t>(count);
    out = static_cast<std::int32_t>(number.negative ? -magnitude : magnitude);
    return S_OK;
}

HRESULT cy_from_str(std::wstring_view text, CY& out)
{
    exact_number number;
    if (!parse_number(text, number))
    {
        return DISP_E_TYPEMISMATCH;
    }
    return cy_from_exact(number, out);
}

std::wstring cy_to_str(CY value)
{
    return exact_to_text(cy_to_exact(value));
}

double cy_to_r8(CY value)
{
    return static_cast<double>(value.int64) / 10000.0;
}

HRESULT cy_from_r8(double value, CY& out)
{
    if (!std::isfinite(value))
    {
        return DISP_E_OVERFLOW;
    }
    // nearbyint follows the default rounding mode, which is to nearest, ties to even.
    const double count = std::nearbyint(value * 10000.0);
    if (!(count >= -two_pow_63 && count < two_pow_63))
    {
        return DISP_E_OVERFLOW;
    }
    out.int64 = static_cast<std::int64_t>(count);
    return S_OK;
}

} // namespace plat
