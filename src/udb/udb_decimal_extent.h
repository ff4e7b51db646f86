// udb_decimal_extent.h: the digits the values of a decimal column without a declared precision
// need, and the precision and scale that hold them.
#pragma once

#include <cstdint>
#include <string_view>

/// What the values of a decimal column need, as one read of the rows finds them: the most digits
/// before the point (0 for values below 1) and the most digits after it. NaN and infinities are
/// no values here: their rows are refused one by one.
struct udb_decimal_extent
{
    /// -1 while no value was taken in.
    std::int32_t integer_digits = -1;
    /// -1 while no value was taken in.
    std::int32_t scale = -1;

    /// True while no value was taken in.
    bool empty() const { return integer_digits < 0; }
    /// Takes in one value given as decimal text (an optional sign, digits, an optional point and
    /// digits; "-0012.50" counts 2 and 2). Any other text changes nothing.
    void add_value(std::string_view text);
    /// The column description's precision and scale (t_ftd::make_precision_scale) of the decimal
    /// that holds every value taken in: scale s = the most decimals, precision max(1, integer
    /// digits + s). Beyond 38 digits the integer digits are kept and the scale cut to what is
    /// left (values with more decimals are refused when written, never rounded); more than 38
    /// integer digits give (38, 0). Without values: t_ftd's unmeasured precision and scale.
    std::int32_t reserved() const;
};
