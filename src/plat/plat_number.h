// plat_number.h: exact decimal numbers as digit strings, shared by the currency, decimal and
// variant conversions of the automation layer (not meant for use outside src/plat).
#pragma once

#include "plat/plat_hresult.h"

#include <cstdint>
#include <string>
#include <string_view>

struct DECIMAL;
struct CY;

namespace plat
{

/// An unsigned 128-bit integer, wide enough for a 96-bit mantissa times 10^4 and for 10^38.
__extension__ typedef unsigned __int128 uint128;

/// A number held exactly: (negative ? -1 : 1) * digits * 10^exponent. `digits` holds ASCII
/// decimal digits without leading zeros; empty means zero (the exponent still tells the scale a
/// text such as "0.00" was written with).
struct exact_number
{
    bool negative = false;
    std::string digits;
    int exponent = 0;
};

/// Reads en-US number text: blanks around, a leading sign, digits with ',' group separators in
/// the integer part, a '.' fraction and an 'e'/'E' exponent. Answers false for anything else.
bool parse_number(std::wstring_view text, exact_number& out);

/// The number rounded half to even to `scale` decimals, as an integer count of 10^-scale.
/// Answers false when the count would reach 10^38.
bool round_to_scale(const exact_number& number, int scale, uint128& count);

/// The number magnitude * 10^-scale.
exact_number exact_from_scaled(bool negative, uint128 magnitude, int scale);

/// A finite double as its shortest decimal form with at most `significant` digits (Windows
/// keeps 15 for doubles and 7 for floats when it turns them into decimals).
exact_number exact_from_double(double value, int significant);

/// The nearest double; DISP_E_OVERFLOW beyond the double range (tiny values give zero).
HRESULT exact_to_double(const exact_number& number, double& out);

/// Plain decimal text without exponent and without trailing fraction zeros ("-0.01", "12.5",
/// "0"); zero never carries a sign.
std::wstring exact_to_text(const exact_number& number);

/// Decimal digits of an unsigned 128-bit integer.
std::string uint128_digits(uint128 value);

/// The DECIMAL's value, exactly.
exact_number dec_to_exact(const DECIMAL& value);

/// The number as a DECIMAL with as many of its decimals as fit (at most 28, the rest rounded half
/// to even); DISP_E_OVERFLOW when even the integer part needs 2^96 or more.
HRESULT dec_from_exact(const exact_number& number, DECIMAL& out);

/// The currency's value, exactly.
exact_number cy_to_exact(CY value);

/// The number rounded half to even to 4 decimals; DISP_E_OVERFLOW beyond the 64-bit count.
HRESULT cy_from_exact(const exact_number& number, CY& out);

} // namespace plat
