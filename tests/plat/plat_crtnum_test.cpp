// plat_crtnum_test.cpp: integer and floating reading with the Windows runtime's results.
#include "plat/plat_crtnum.h"

#include <climits>
#include <clocale>
#include <cmath>
#include <gtest/gtest.h>
#include <string>

namespace
{

TEST(PlatCrtNum, MsAtoiReadsThePrefixAndClampsOverflow)
{
    const std::pair<const char*, int> cases[] = {
        {"42", 42},
        {"  -17xyz", -17},
        {"+8", 8},
        {"abc", 0},
        {"", 0},
        {"2147483647", INT_MAX},
        {"2147483648", INT_MAX},
        {"3000000000", INT_MAX}, // glibc's atoi wraps this to -1294967296
        {"-2147483648", INT_MIN},
        {"-2147483649", INT_MIN},
        {"99999999999999999999999", INT_MAX},
    };
    for (const auto& [text, value] : cases)
    {
        SCOPED_TRACE(text);
        EXPECT_EQ(plat::ms_atoi(text), value);
    }
}

TEST(PlatCrtNum, ReadIntegerReportsDigitsSignAndOverflow)
{
    plat::crt_integer value = plat::crt_read_integer(" -18446744073709551615");
    EXPECT_TRUE(value.has_digits);
    EXPECT_TRUE(value.negative);
    EXPECT_FALSE(value.overflow);
    EXPECT_EQ(value.magnitude, UINT64_MAX);
    value = plat::crt_read_integer("18446744073709551616");
    EXPECT_TRUE(value.overflow);
    value = plat::crt_read_integer("-x");
    EXPECT_FALSE(value.has_digits);
    EXPECT_FALSE(value.negative);
    EXPECT_EQ(value.magnitude, 0u);
}

TEST(PlatCrtNum, MsAtofUsesThePointWhateverTheLocale)
{
    const char* previous = std::setlocale(LC_NUMERIC, nullptr);
    const std::string saved = previous != nullptr ? previous : "C";
    const bool german = std::setlocale(LC_NUMERIC, "de_DE.UTF-8") != nullptr;
    const double half = plat::ms_atof("3.5");
    const double prefix = plat::ms_atof(" -1.25e2xyz");
    const double none = plat::ms_atof("abc");
    const double huge = plat::ms_atof("1e400");
    const bool nan = std::isnan(plat::ms_atof("NaN"));
    std::setlocale(LC_NUMERIC, saved.c_str());
    EXPECT_EQ(half, 3.5) << (german ? "under de_DE" : "under C");
    EXPECT_EQ(prefix, -125.0);
    EXPECT_EQ(none, 0.0);
    EXPECT_EQ(huge, HUGE_VAL);
    EXPECT_TRUE(nan);
}

} // namespace
