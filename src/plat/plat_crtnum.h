// plat_crtnum.h: number reading with the Windows C runtime's results, independent of the process
// locale (the decimal point is always '.').
#pragma once

#include <cstdint>
#include <string_view>

namespace plat
{

/// The decimal integer at the start of a text as the C runtime reads it: leading white space, an
/// optional sign, then digits up to the first other character.
struct crt_integer
{
    bool has_digits = false; ///< false: no digits, the value is 0
    bool negative = false;
    bool overflow = false; ///< the magnitude exceeds 2^64 - 1
    std::uint64_t magnitude = 0;
};

/// Reads the integer at the start of `text` (see crt_integer).
crt_integer crt_read_integer(std::string_view text);

/// atoi as the Windows runtime answers it: out-of-range values clamp to INT_MIN / INT_MAX
/// (glibc's atoi wraps them); no digits give 0.
int ms_atoi(std::string_view text);

/// atof in the "C" locale whatever the process locale: the longest prefix that reads as a
/// number ("1.5abc" is 1.5, "abc" is 0; "inf", "nan" and hexadecimal forms as strtod reads them;
/// overflow gives +-HUGE_VAL).
double ms_atof(std::string_view text);

} // namespace plat
