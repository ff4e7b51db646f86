// plat_decimal_test.cpp: DECIMAL and CY text, rounding and range against the Windows results.
#include "plat/plat_decimal.h"

#include <cmath>
#include <cstdint>
#include <gtest/gtest.h>
#include <limits>
#include <string>

namespace
{

struct dec_text_case
{
    const wchar_t* text;
    HRESULT hr;
    const wchar_t* printed; // dec_to_str of the result
    int scale;
};

TEST(PlatDecimal, DecFromStrReadsEnUsTextAndPrintsWithoutTrailingZeros)
{
    const dec_text_case cases[] = {
        {L"1.50", S_OK, L"1.5", 2},
        {L"-0.0100", S_OK, L"-0.01", 4},
        {L"  +12,345.678  ", S_OK, L"12345.678", 3},
        {L"1e3", S_OK, L"1000", 0},
        {L"1.5E-3", S_OK, L"0.0015", 4},
        {L"0.00", S_OK, L"0", 2},
        {L"-0", S_OK, L"0", 0},
        {L"0.1234567890123456789012345678", S_OK, L"0.1234567890123456789012345678", 28},
        // A 29th decimal rounds half to even.
        {L"0.12345678901234567890123456785", S_OK, L"0.1234567890123456789012345678", 28},
        {L"0.12345678901234567890123456775", S_OK, L"0.1234567890123456789012345678", 28},
        {L"0.123456789012345678901234567851", S_OK, L"0.1234567890123456789012345679", 28},
        {L"79228162514264337593543950335", S_OK, L"79228162514264337593543950335", 0},
        {L"-79228162514264337593543950335", S_OK, L"-79228162514264337593543950335", 0},
        {L"7.9228162514264337593543950335", S_OK, L"7.9228162514264337593543950335", 28},
        // A long integer part leaves room for fewer decimals.
        {L"1234567890.12345678901234567890123", S_OK, L"1234567890.1234567890123456789", 19},
        {L"1e-40", S_OK, L"0", 28},
        {L"79228162514264337593543950336", DISP_E_OVERFLOW, nullptr, 0},
        {L"1e29", DISP_E_OVERFLOW, nullptr, 0},
        {L"abc", DISP_E_TYPEMISMATCH, nullptr, 0},
        {L"", DISP_E_TYPEMISMATCH, nullptr, 0},
        {L"1.2.3", DISP_E_TYPEMISMATCH, nullptr, 0},
        {L"1e", DISP_E_TYPEMISMATCH, nullptr, 0},
        {L",5", DISP_E_TYPEMISMATCH, nullptr, 0},
        {L"12 34", DISP_E_TYPEMISMATCH, nullptr, 0},
        {L"1,5", S_OK, L"15", 0},
    };
    for (const dec_text_case& c : cases)
    {
        SCOPED_TRACE(testing::Message() << "text '" << std::wstring(c.text) << "'");
        DECIMAL value;
        value.Lo64 = 77; // must stay when the text is refused
        ASSERT_EQ(plat::dec_from_str(c.text, value), c.hr);
        if (c.hr == S_OK)
        {
            EXPECT_EQ(plat::dec_to_str(value), c.printed);
            EXPECT_EQ(value.scale, c.scale);
        }
        else
        {
            EXPECT_EQ(value.Lo64, 77u);
        }
    }
}

TEST(PlatDecimal, NegativeZeroCarriesNoSign)
{
    DECIMAL value;
    ASSERT_EQ(plat::dec_from_str(L"-0.000", value), S_OK);
    EXPECT_EQ(value.sign, 0);
    ASSERT_EQ(plat::dec_from_r8(-0.0, value), S_OK);
    EXPECT_EQ(value.sign, 0);
    EXPECT_EQ(plat::dec_to_str(value), L"0");
}

struct cy_text_case
{
    const wchar_t* text;
    HRESULT hr;
    std::int64_t count;
};

TEST(PlatDecimal, CyFromStrRoundsHalfEvenToFourDecimalsAndRefusesOverflow)
{
    const cy_text_case cases[] = {
        {L"1234.5", S_OK, 12345000},
        {L"0.00005", S_OK, 0},
        {L"0.00015", S_OK, 2},
        {L"0.00025", S_OK, 2},
        {L"0.000251", S_OK, 3},
        {L"-0.00015", S_OK, -2},
        {L"922337203685477.5807", S_OK, INT64_MAX},
        {L"-922337203685477.5808", S_OK, INT64_MIN},
        {L"922337203685477.5808", DISP_E_OVERFLOW, 0},
        {L"-922337203685477.5809", DISP_E_OVERFLOW, 0},
        {L"1e30", DISP_E_OVERFLOW, 0},
        {L"x", DISP_E_TYPEMISMATCH, 0},
    };
    for (const cy_text_case& c : cases)
    {
        SCOPED_TRACE(testing::Message() << "text '" << std::wstring(c.text) << "'");
        CY value{};
        ASSERT_EQ(plat::cy_from_str(c.text, value), c.hr);
        if (c.hr == S_OK)
        {
            EXPECT_EQ(value.int64, c.count);
        }
    }
}

TEST(PlatDecimal, CyToStrUsesTheFewestDigits)
{
    const std::pair<std::int64_t, const wchar_t*> cases[] = {
        {125000, L"12.5"},
        {120000, L"12"},
        {-1, L"-0.0001"},
        {0, L"0"},
        {INT64_MIN, L"-922337203685477.5808"},
        {INT64_MAX, L"922337203685477.5807"},
    };
    for (const auto& [count, text] : cases)
    {
        SCOPED_TRACE(count);
        EXPECT_EQ(plat::cy_to_str(CY{count}), text);
    }
}

TEST(PlatDecimal, DecFromR8KeepsFifteenSignificantDigits)
{
    const std::pair<double, const wchar_t*> cases[] = {
        {0.1, L"0.1"},
        {1.0 / 3, L"0.333333333333333"},
        {9007199254740992.0, L"9007199254740990"}, // 2^53: only 15 digits survive
        {-2.5, L"-2.5"},
        {1e28, L"10000000000000000000000000000"},
        {1e-30, L"0"},
    };
    for (const auto& [number, text] : cases)
    {
        SCOPED_TRACE(number);
        DECIMAL value;
        ASSERT_EQ(plat::dec_from_r8(number, value), S_OK);
        EXPECT_EQ(plat::dec_to_str(value), text);
    }
    DECIMAL value;
    EXPECT_EQ(plat::dec_from_r8(0.1f, value, 7), S_OK);
    EXPECT_EQ(plat::dec_to_str(value), L"0.1");
    EXPECT_EQ(plat::dec_from_r8(1e29, value), DISP_E_OVERFLOW);
    EXPECT_EQ(plat::dec_from_r8(std::nan(""), value), DISP_E_OVERFLOW);
    EXPECT_EQ(plat::dec_from_r8(-HUGE_VAL, value), DISP_E_OVERFLOW);
}

TEST(PlatDecimal, DecToI4RoundsHalfEvenWithinTheRange)
{
    const struct
    {
        const wchar_t* text;
        HRESULT hr;
        std::int32_t value;
    } cases[] = {
        {L"2.5", S_OK, 2},
        {L"3.5", S_OK, 4},
        {L"-2.5", S_OK, -2},
        {L"2.5000000001", S_OK, 3},
        {L"2147483647.4", S_OK, INT32_MAX},
        {L"2147483647.5", DISP_E_OVERFLOW, 0},
        {L"-2147483648.5", S_OK, INT32_MIN},
        {L"-2147483648.6", DISP_E_OVERFLOW, 0},
        {L"79228162514264337593543950335", DISP_E_OVERFLOW, 0},
    };
    for (const auto& c : cases)
    {
        SCOPED_TRACE(testing::Message() << "text '" << std::wstring(c.text) << "'");
        DECIMAL dec;
        ASSERT_EQ(plat::dec_from_str(c.text, dec), S_OK);
        std::int32_t value = 0;
        ASSERT_EQ(plat::dec_to_i4(dec, value), c.hr);
        if (c.hr == S_OK)
        {
            EXPECT_EQ(value, c.value);
        }
    }
}

TEST(PlatDecimal, ConversionsToDoubleAndFromSixtyFourBitIntegers)
{
    DECIMAL dec;
    ASSERT_EQ(plat::dec_from_str(L"0.1", dec), S_OK);
    EXPECT_EQ(plat::dec_to_r8(dec), 0.1);
    ASSERT_EQ(plat::dec_from_str(L"-79228162514264337593543950335", dec), S_OK);
    EXPECT_EQ(plat::dec_to_r8(dec), -7.922816251426434e28);
    EXPECT_EQ(plat::dec_to_str(plat::dec_from_i8(INT64_MIN)), L"-9223372036854775808");
    EXPECT_EQ(plat::dec_to_str(plat::dec_from_ui8(UINT64_MAX)), L"18446744073709551615");
    EXPECT_EQ(plat::cy_to_r8(CY{125000}), 12.5);

    CY cy{};
    EXPECT_EQ(plat::cy_from_r8(2.5, cy), S_OK);
    EXPECT_EQ(cy.int64, 25000);
    EXPECT_EQ(plat::cy_from_r8(0.00125, cy), S_OK);
    EXPECT_EQ(cy.int64, 12); // 12.5 ten-thousandths, to even
    EXPECT_EQ(plat::cy_from_r8(1e15, cy), DISP_E_OVERFLOW);
    EXPECT_EQ(plat::cy_from_r8(std::nan(""), cy), DISP_E_OVERFLOW);
}

} // namespace
