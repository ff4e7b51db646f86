// udb_decimal_extent_test.cpp: the precision and scale chosen for the values a decimal column
// without a declared precision holds.
#include "udb/t_ftd.h"
#include "udb/udb_decimal_extent.h"

#include <gtest/gtest.h>
#include <string>
#include <vector>

namespace
{

struct extent_case
{
    const char* name;
    /// The values as the source prints them; text that is no number is taken in too.
    std::vector<std::string> values;
    int integer_digits;
    int scale;
    int precision;
    int chosen_scale;
};

class UdbDecimalExtent : public testing::TestWithParam<extent_case>
{
};

TEST_P(UdbDecimalExtent, HoldsEveryValueWithin38Digits)
{
    const extent_case& c = GetParam();
    udb_decimal_extent extent;
    for (const std::string& value : c.values)
    {
        extent.add_value(value);
    }
    EXPECT_EQ(extent.integer_digits, c.integer_digits);
    EXPECT_EQ(extent.scale, c.scale);
    EXPECT_EQ(extent.reserved(), t_ftd::make_precision_scale(c.precision, c.chosen_scale));
}

const std::string digits_38 = "12345678901234567890123456789012345678";

INSTANTIATE_TEST_SUITE_P(
    Udb, UdbDecimalExtent,
    testing::Values(
        extent_case{"SmallIntegers", {"1", "-42", "7", "+300"}, 3, 0, 3, 0},
        extent_case{"Zero", {"0"}, 0, 0, 1, 0},
        extent_case{"FractionsBelowOne", {"0.5", "-0.125"}, 0, 3, 3, 3},
        extent_case{"LeadingZerosAreNoDigits", {"-0012.50"}, 2, 2, 4, 2},
        extent_case{"LongFraction", {"3.14159265358979323846264338327950"}, 1, 32, 33, 32},
        extent_case{"ThirtyDigits", {"123456789012345678901234567890"}, 30, 0, 30, 0},
        extent_case{"ThirtyEightDigits", {digits_38, "-" + digits_38}, 38, 0, 38, 0},
        extent_case{
            "ThirtyEightWithDecimals", {"1234567890123456789.0123456789012345678"}, 19, 19, 38, 19},
        // Integer digits and decimals from different values, 20 + 25 > 38: the integer digits
        // stay, the scale is cut to what is left.
        extent_case{"IntegerDigitsKeptScaleCut",
                    {"12345678901234567890", "0.1234567890123456789012345"},
                    20,
                    25,
                    38,
                    18},
        extent_case{"MoreThan38IntegerDigits", {digits_38 + "9.5"}, 39, 1, 38, 0},
        // NULL throughout, or no rows: nothing was taken in.
        extent_case{"NoValues", {}, -1, -1, 38, 10},
        // NaN and the infinities are no values here; their rows are refused one by one.
        extent_case{
            "NaNAndInfinities", {"NaN", "Infinity", "-Infinity", "", "-", "."}, -1, -1, 38, 10},
        extent_case{"NaNAmongValues", {"NaN", "2.5"}, 1, 1, 2, 1},
        // A default wider than the values widens the column.
        extent_case{"DefaultWiderThanValues", {"1.5", "2", "100000.125"}, 6, 3, 9, 3}),
    [](const testing::TestParamInfo<extent_case>& param_info) { return param_info.param.name; });

} // namespace
