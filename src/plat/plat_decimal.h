// plat_decimal.h: the automation DECIMAL (96-bit, scale and sign) and CY (currency) with their
// conversions, with the Windows results: round half to even, overflow is DISP_E_OVERFLOW.
#pragma once

#include "plat/plat_hresult.h"

#include <cstdint>
#include <string>
#include <string_view>

/// The automation DECIMAL in its 16-byte layout: value = (-1 if sign is DECIMAL_NEG) *
/// (Hi32 * 2^64 + Lo64) / 10^scale, scale 0-28.
struct DECIMAL
{
    std::uint16_t wReserved = 0;
    std::uint8_t scale = 0;
    std::uint8_t sign = 0;
    std::uint32_t Hi32 = 0;
    std::uint64_t Lo64 = 0;

    bool operator==(const DECIMAL&) const = default;
};
static_assert(sizeof(DECIMAL) == 16);

inline constexpr std::uint8_t DECIMAL_NEG = 0x80;
inline constexpr int DECIMAL_MAX_SCALE = 28;

/// Currency: a signed count of ten-thousandths. Trivial (no initialiser) so that it can live in
/// VARIANT's union: write `CY value{}` for zero.
struct CY
{
    std::int64_t int64;

    bool operator==(const CY&) const = default;
};

namespace plat
{

/// VarDecFromStr (en-US): blanks, sign, digits with ',' grouping, '.', exponent. Digits beyond
/// 28 decimals are rounded half to even (fewer when the integer part is long); a value of 2^96
/// or more is DISP_E_OVERFLOW; other text DISP_E_TYPEMISMATCH. `out` changes only on success.
HRESULT dec_from_str(std::wstring_view text, DECIMAL& out);

/// VarBstrFromDec: plain decimal text with the trailing fraction zeros removed ("1.5" for 1.50).
std::wstring dec_to_str(const DECIMAL& value);

/// VarDecFromR8: the double's first 15 significant digits (a float's value converts with
/// `significant` 7); NaN, infinities and magnitudes of 2^96 or more are DISP_E_OVERFLOW.
HRESULT dec_from_r8(double value, DECIMAL& out, int significant = 15);

/// VarR8FromDec: the nearest double.
double dec_to_r8(const DECIMAL& value);

/// VarDecFromI8 / VarDecFromUI8: exact, scale 0.
DECIMAL dec_from_i8(std::int64_t value);
DECIMAL dec_from_ui8(std::uint64_t value);

/// VarI4FromDec: rounded half to even; DISP_E_OVERFLOW beyond the 32-bit range.
HRESULT dec_to_i4(const DECIMAL& value, std::int32_t& out);

/// VarCyFromStr (en-US): as dec_from_str, rounded half to even to 4 decimals; DISP_E_OVERFLOW
/// beyond the 64-bit range of the count.
HRESULT cy_from_str(std::wstring_view text, CY& out);

/// VarBstrFromCy: the fewest digits that show the value ("12.5", "12", "-0.0001").
std::wstring cy_to_str(CY value);

/// VarR8FromCy: count / 10000.
double cy_to_r8(CY value);

/// VarCyFromR8: value * 10000 rounded half to even; NaN and out of range DISP_E_OVERFLOW.
HRESULT cy_from_r8(double value, CY& out);

} // namespace plat
