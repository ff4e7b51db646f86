// ole_variant_test.cpp: field values read from text, printed, and changed between kinds.
#include "ole/ole_exception.h"
#include "ole/ole_variant.h"
#include "tk/tk_exception.h"

#include <clocale>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <functional>
#include <gtest/gtest.h>
#include <limits>
#include <string>
#include <vector>

namespace
{

struct text_case
{
    std::string text;
    VARTYPE vt;
    VARTYPE kind;
    std::string printed;
};

TEST(OleVariant, FromStringGivesTheKindAndToStringItsTextForm)
{
    const text_case cases[] = {
        {"-9223372036854775808", VT_I8, VT_I8, "-9223372036854775808"},
        {"9223372036854775807", VT_I8, VT_I8, "9223372036854775807"},
        {"18446744073709551615", VT_UI8, VT_UI8, "18446744073709551615"},
        {"2147483647", VT_I4, VT_I4, "2147483647"},
        {"-2147483648", VT_I4, VT_I4, "-2147483648"},
        {"42abc", VT_I4, VT_I4, "42"},
        {"abc", VT_I4, VT_I4, "0"},
        {"", VT_I4, VT_EMPTY, ""},
        {"-32768", VT_I2, VT_I2, "-32768"},
        {"-128", VT_I1, VT_I1, "-128"},
        {"255", VT_UI1, VT_UI1, "255"},
        {"65535", VT_UI2, VT_UI2, "65535"},
        {"4294967295", VT_UI4, VT_UI4, "4294967295"},
        {"3,5", VT_R8, VT_R8, "3.5000000000000000e+00"},
        {"0.1", VT_R8, VT_R8, "1.0000000000000001e-01"},
        {"9007199254740993", VT_R8, VT_R8, "9.0071992547409920e+15"},
        {"123456792", VT_R4, VT_R4, "1.23456792e+08"},
        {"1234.5", VT_CY, VT_CY, "1234.5"},
        {"12,5", VT_CY, VT_CY, "12.5"},
        {"x", VT_CY, VT_EMPTY, ""},
        {"-0.0100", VT_DECIMAL, VT_DECIMAL, "-0.01"},
        {"0.1234567890123456789012345678", VT_DECIMAL, VT_DECIMAL,
         "0.1234567890123456789012345678"},
        {"79228162514264337593543950335", VT_DECIMAL, VT_DECIMAL, "79228162514264337593543950335"},
        {"1e30", VT_DECIMAL, VT_EMPTY, ""},
        // Beyond the 96-bit DECIMAL: kept as the exact text.
        {"-12345678901234567890123456789012345678", VT_DECIMAL, VT_DECIMAL,
         "-12345678901234567890123456789012345678"},
        {"yes", VT_BOOL, VT_BOOL, "1"},
        {"True", VT_BOOL, VT_BOOL, "1"},
        {"2", VT_BOOL, VT_BOOL, "1"},
        {"x", VT_BOOL, VT_BOOL, "0"},
        {"No", VT_BOOL, VT_BOOL, "0"},
        {"false", VT_BOOL, VT_BOOL, "0"},
        {"2020-12-25 10:11:12.5", VT_DATE, VT_DATE, "2020-12-25 10:11:12.500"},
        {"1753-01-01", VT_DATE, VT_DATE, "1753-01-01"},
        {"9999-12-31 23:59:59", VT_DATE, VT_DATE, "9999-12-31 23:59:59"},
        {"garbage text", VT_DATE, VT_EMPTY, ""},
        {"", VT_BSTR, VT_BSTR, ""},
        {"h\xc3\xa9llo", VT_BSTR, VT_BSTR, "h\xc3\xa9llo"},
        {"42", VT_INT, VT_INT, "42"},
        {"42", VT_UINT, VT_UINT, "42"},
        {"0x0A1B", VT_BYTE_ARRAY, VT_BYTE_ARRAY, "0x0A1B"},
        {"\\x0a1b", VT_BLOB, VT_BYTE_ARRAY, "0x0A1B"},
        {"0A1b", VT_BLOB_OBJECT, VT_BYTE_ARRAY, "0x0A1B"},
        {"0x", VT_BYTE_ARRAY, VT_BYTE_ARRAY, ""},
        {"0x0A1", VT_BYTE_ARRAY, VT_EMPTY, ""},
        {"0xZZ", VT_BYTE_ARRAY, VT_EMPTY, ""},
        {"0x0G", VT_BLOB, VT_EMPTY, ""},
    };
    for (const text_case& c : cases)
    {
        SCOPED_TRACE("'" + c.text + "' as " + std::to_string(c.vt));
        const ole_variant value(c.text, c.vt);
        EXPECT_EQ(value.get_type(), c.kind);
        EXPECT_EQ(value.to_string(), c.printed);
    }
}

TEST(OleVariant, FromStringRefusesNumbersOutsideTheKind)
{
    const std::pair<const char*, VARTYPE> cases[] = {
        {"3000000000", VT_I4},
        {"9223372036854775808", VT_I8},
        {"-1", VT_UI4},
        {"70000", VT_I2},
        {"256", VT_UI1},
        {"-129", VT_I1},
        {"18446744073709551616", VT_UI8},
        {"-1", VT_UI8},
        {"1e39", VT_R4},
        {"abc", VT_ERROR},
        {"abc", VT_LPWSTR},
    };
    for (const auto& [text, vt] : cases)
    {
        SCOPED_TRACE(std::string(text) + " as " + std::to_string(vt));
        try
        {
            ole_variant value(text, vt);
            ADD_FAILURE() << "no exception, kind " << value.get_type();
        }
        catch (const ole_type_exception& error)
        {
            EXPECT_STREQ(error.what(), "The operating type is not supported yet");
            EXPECT_EQ(error.severity(), 1);
            EXPECT_EQ(error.code(), 0);
        }
    }
}

TEST(OleVariant, FloatingTextFormsReadBackToTheSameBits)
{
    const double doubles[] = {0.1,    1.0 / 3, 9007199254740993.0,
                              1e-300, 5e-324,  std::numeric_limits<double>::max(),
                              -0.0,   -2.5e-10};
    for (const double number : doubles)
    {
        const std::string text = ole_variant(number).to_string();
        SCOPED_TRACE(text);
        const double back = ole_variant(text, VT_R8).value.dblVal;
        EXPECT_EQ(std::memcmp(&back, &number, sizeof number), 0);
    }
    const float floats[] = {123456792.0f, 0.1f, std::numeric_limits<float>::max(),
                            std::numeric_limits<float>::denorm_min(), -1.17549435e-38f};
    for (const float number : floats)
    {
        const std::string text = ole_variant(number).to_string();
        SCOPED_TRACE(text);
        const float back = ole_variant(text, VT_R4).value.fltVal;
        EXPECT_EQ(std::memcmp(&back, &number, sizeof number), 0);
    }
}

TEST(OleVariant, WideTextReadsLikeNarrowAndBstrStopsAtZero)
{
    const ole_variant number(std::wstring(L"42"), VT_I4);
    EXPECT_EQ(number.get_type(), VT_I4);
    EXPECT_EQ(number.value.lVal, 42);
    const ole_variant text(std::wstring(L"a\0b", 3), VT_BSTR);
    EXPECT_EQ(text.value.bstrVal, L"a");
    const ole_variant whole(std::wstring(L"a\0b", 3));
    EXPECT_EQ(whole.value.bstrVal.size(), 3u);
    EXPECT_EQ(whole.to_wstring(), L"a");
    EXPECT_EQ(whole.to_string(), "a");
    EXPECT_EQ(ole_variant(L"\u00e9t\u00e9").to_string(), "\xc3\xa9t\xc3\xa9");
    EXPECT_EQ(ole_variant(2.5).to_wstring(), L"2.5000000000000000e+00");
}

TEST(OleVariant, BooleansPrintOneOnlyForMinusOne)
{
    EXPECT_EQ(ole_variant(true).to_string(), "1");
    EXPECT_EQ(ole_variant(false).to_string(), "0");
    EXPECT_EQ(ole_variant(true).value.boolVal, -1);
    ole_variant one(true);
    one.value.boolVal = 1; // what a reader that forgot the -1 rule would store
    EXPECT_EQ(one.to_string(), "0");
    EXPECT_FALSE(one.to_bool());
}

TEST(OleVariant, ByteArraysPrintWhole)
{
    std::vector<std::uint8_t> bytes(10000001, 0xAB);
    bytes.back() = 0x01;
    const ole_variant value(bytes.size(), bytes.data());
    const std::string text = value.to_string();
    ASSERT_EQ(text.size(), 2 + 2 * bytes.size());
    EXPECT_EQ(text.substr(0, 6), "0xABAB");
    EXPECT_EQ(text.substr(text.size() - 4), "AB01");
}

struct change_case
{
    ole_variant value;
    VARTYPE vt;
    VARTYPE kind; // VT_ERROR: ole_cast_exception expected
    std::string printed;
};

SYSTEMTIME christmas(int milliseconds)
{
    SYSTEMTIME time;
    time.wYear = 2020;
    time.wMonth = 12;
    time.wDay = 25;
    time.wHour = 10;
    time.wMinute = 11;
    time.wSecond = 12;
    time.wMilliseconds = static_cast<std::uint16_t>(milliseconds);
    return time;
}

void run_changes(const std::vector<change_case>& cases)
{
    for (const change_case& c : cases)
    {
        SCOPED_TRACE("'" + c.value.to_string() + "' kind " + std::to_string(c.value.get_type()) +
                     " to " + std::to_string(c.vt));
        ole_variant value = c.value;
        if (c.kind == VT_ERROR)
        {
            EXPECT_THROW(value.change_type(c.vt), ole_cast_exception);
            continue;
        }
        value.change_type(c.vt);
        EXPECT_EQ(value.get_type(), c.kind);
        EXPECT_EQ(value.to_string(), c.printed);
    }
}

struct decimal_text_case
{
    const char* name;
    std::string text;
    bool accepted;
    bool as_text; // kept as text: more digits than 96 bits hold
    std::string printed;
    double number;
};

class OleVariantDecimalText : public testing::TestWithParam<decimal_text_case>
{
};

TEST_P(OleVariantDecimalText, HoldsEveryDigitOfTheNumber)
{
    const decimal_text_case& c = GetParam();
    ole_variant value(int{7});
    ASSERT_EQ(value.set_decimal_text(c.text), c.accepted);
    if (!c.accepted)
    {
        EXPECT_EQ(value.get_type(), VT_I4); // unchanged
        return;
    }
    EXPECT_EQ(value.get_type(), VT_DECIMAL);
    EXPECT_EQ(value.decimal_text.empty(), !c.as_text);
    EXPECT_EQ(value.to_string(), c.printed);
    EXPECT_EQ(value.to_wstring(), std::wstring(c.printed.begin(), c.printed.end()));
    EXPECT_DOUBLE_EQ(value.to_double(), c.number);
    const ole_variant copy = value;
    EXPECT_EQ(copy.to_string(), c.printed);
    ole_variant assigned;
    assigned = value;
    EXPECT_EQ(assigned.to_string(), c.printed);
    ole_variant text = value;
    text.change_type(VT_BSTR);
    EXPECT_EQ(text.get_type(), VT_BSTR);
    ole_variant floating = value;
    floating.change_type(VT_R8);
    EXPECT_DOUBLE_EQ(floating.value.dblVal, c.number);
}

INSTANTIATE_TEST_SUITE_P(
    OleVariant, OleVariantDecimalText,
    testing::Values(
        decimal_text_case{"ThirtyEightDigits", "12345678901234567890123456789012345678", true, true,
                          "12345678901234567890123456789012345678", 1.2345678901234568e37},
        decimal_text_case{"ThirtyDigitsNegative", "-123456789012345678901234567.891", true, true,
                          "-123456789012345678901234567.891", -1.2345678901234568e26},
        decimal_text_case{"ThirtyEightDecimals", "0.00000000000000000000000000000000000001", true,
                          true, "0.00000000000000000000000000000000000001", 1e-38},
        decimal_text_case{"FitsTheDecimal", "79228162514264337593543950335", true, false,
                          "79228162514264337593543950335", 7.9228162514264338e28},
        decimal_text_case{"TrailingZerosDoNotCount", "-12.5000000000000000000000000000000", true,
                          false, "-12.5", -12.5},
        decimal_text_case{"PlusSign", "+79228162514264337593543950336", true, true,
                          "79228162514264337593543950336", 7.9228162514264338e28},
        decimal_text_case{"NaN", "NaN", false, false, "", 0},
        decimal_text_case{"Exponent", "1e40", false, false, "", 0},
        decimal_text_case{"Empty", "", false, false, "", 0},
        decimal_text_case{"PointAlone", "-.", false, false, "", 0}),
    [](const testing::TestParamInfo<decimal_text_case>& param_info)
    { return param_info.param.name; });

TEST(OleVariant, DecimalTextGoesOnlyToKindsThatHoldIt)
{
    ole_variant value;
    ASSERT_TRUE(value.set_decimal_text("123456789012345678901234567890"));
    for (const VARTYPE kind : {VT_I4, VT_I8, VT_UI8, VT_CY, VT_BLOB, VT_DATE})
    {
        ole_variant changed = value;
        EXPECT_THROW(changed.change_type(kind), ole_cast_exception) << kind;
    }
    EXPECT_EQ(value.to_long(), 0);
    ole_variant small;
    ASSERT_TRUE(small.set_decimal_text("0.00000000000000000000000000000000001"));
    EXPECT_EQ(small.to_long(), 0);
    // A new value drops the text.
    value.from_string("1.5", VT_DECIMAL);
    EXPECT_TRUE(value.decimal_text.empty());
    EXPECT_EQ(value.to_string(), "1.5");
}

TEST(OleVariant, ChangeTypeBetweenScalarKinds)
{
    run_changes({
        {ole_variant("42", VT_BSTR), VT_I4, VT_I4, "42"},
        {ole_variant(2.5), VT_I4, VT_I4, "2"},
        {ole_variant(3.5), VT_I4, VT_I4, "4"},
        {ole_variant(2147483647.5), VT_I4, VT_ERROR, ""},
        {ole_variant(std::nan("")), VT_I4, VT_ERROR, ""},
        {ole_variant(3.5), VT_BSTR, VT_BSTR, "3.5"},
        {ole_variant(1e20), VT_BSTR, VT_BSTR, "1E+20"},
        {ole_variant(-0.0), VT_BSTR, VT_BSTR, "0"},
        {ole_variant(1e300), VT_R4, VT_ERROR, ""},
        {ole_variant(true), VT_BSTR, VT_BSTR, "True"},
        {ole_variant(CY{125000}), VT_BSTR, VT_BSTR, "12.5"},
        {ole_variant("1.50", VT_DECIMAL), VT_BSTR, VT_BSTR, "1.5"},
        {ole_variant("2.5", VT_DECIMAL), VT_I2, VT_I2, "2"},
        {ole_variant("abc", VT_BSTR), VT_I4, VT_ERROR, ""},
        {ole_variant(70000), VT_I2, VT_ERROR, ""},
        {ole_variant(), VT_I4, VT_EMPTY, ""},
        {ole_variant("", VT_BSTR), VT_BSTR, VT_BSTR, ""},
    });
}

TEST(OleVariant, ChangeTypeFromAndToSixtyFourBitIntegersChecksTheRange)
{
    const auto i8 = [](long long number) { return ole_variant(number); };
    run_changes({
        {i8(5000000000), VT_I4, VT_ERROR, ""},
        {i8(42), VT_I4, VT_I4, "42"},
        {i8(INT32_MIN), VT_I4, VT_I4, "-2147483648"},
        {i8(42), VT_UI8, VT_UI8, "42"},
        {i8(-1), VT_UI8, VT_ERROR, ""},
        {ole_variant(UINT64_MAX), VT_I8, VT_ERROR, ""},
        {i8(42), VT_BOOL, VT_BOOL, "1"},
        {i8(INT64_MIN), VT_BSTR, VT_BSTR, "-9223372036854775808"},
        {i8(INT64_MAX), VT_R8, VT_R8, "9.2233720368547758e+18"},
        {i8(INT64_MIN), VT_DECIMAL, VT_DECIMAL, "-9223372036854775808"},
        {i8(922337203685477), VT_CY, VT_CY, "922337203685477"},
        {i8(INT64_MAX), VT_CY, VT_ERROR, ""},
        {i8(42), VT_DATE, VT_ERROR, ""},
        {ole_variant(INT32_MIN), VT_I8, VT_I8, "-2147483648"},
        {ole_variant(true), VT_I8, VT_I8, "-1"},
        {ole_variant(true), VT_UI8, VT_ERROR, ""},
        {ole_variant(2.7), VT_I8, VT_I8, "2"},
        {ole_variant(-2.7), VT_I8, VT_I8, "-2"},
        {ole_variant(9007199254740992.0), VT_I8, VT_I8, "9007199254740992"},
        {ole_variant(1e19), VT_I8, VT_ERROR, ""},
        {ole_variant(1e19), VT_UI8, VT_UI8, "10000000000000000000"},
        {ole_variant(std::nan("")), VT_I8, VT_ERROR, ""},
        {ole_variant(CY{25000}), VT_I8, VT_I8, "2"},
        {ole_variant("3.5", VT_DECIMAL), VT_I8, VT_I8, "4"},
        {ole_variant("79228162514264337593543950335", VT_DECIMAL), VT_UI8, VT_ERROR, ""},
        {ole_variant("42", VT_BSTR), VT_I8, VT_ERROR, ""},
    });
}

TEST(OleVariant, ChangeTypeToBinaryTakesTheBytesAsHeld)
{
    run_changes({
        {ole_variant(0x01020304), VT_BYTE_ARRAY, VT_BYTE_ARRAY, "0x04030201"},
        {ole_variant(static_cast<short>(-2)), VT_BLOB, VT_BYTE_ARRAY, "0xFEFF"},
        {ole_variant(true), VT_BLOB, VT_BYTE_ARRAY, "0xFFFF"},
        {ole_variant(1.0), VT_BLOB, VT_BYTE_ARRAY, "0x000000000000F03F"},
        {ole_variant(1.0f), VT_BLOB, VT_BYTE_ARRAY, "0x0000803F"},
        {ole_variant(static_cast<unsigned char>(7)), VT_BLOB, VT_BYTE_ARRAY, "0x07"},
        {ole_variant(1LL), VT_BLOB, VT_BYTE_ARRAY, "0x0100000000000000"},
        {ole_variant(CY{1}), VT_BLOB, VT_BYTE_ARRAY, "0x0100000000000000"},
        {ole_variant("1.5", VT_DECIMAL), VT_BLOB, VT_BYTE_ARRAY,
         "0x00000100000000000F00000000000000"},
        {ole_variant(christmas(5)), VT_BLOB, VT_BYTE_ARRAY, "0xE4070C00000019000A000B000C000500"},
        {ole_variant(L"A\u00e9\U0001F600"), VT_BLOB, VT_BYTE_ARRAY, "0x4100E9003DD800DE"},
        {ole_variant("0x0102", VT_BYTE_ARRAY), VT_BLOB, VT_BYTE_ARRAY, "0x0102"},
        {ole_variant("0x0102", VT_BYTE_ARRAY), VT_BSTR, VT_ERROR, ""},
    });
}

TEST(OleVariant, ChangeTypeOfDatesGoesThroughTheDateText)
{
    run_changes({
        {ole_variant(christmas(5)), VT_BSTR, VT_BSTR, "2020-12-25 10:11:12.005"},
        {ole_variant(christmas(0)), VT_I4, VT_ERROR, ""},
        {ole_variant("2020-12-25", VT_BSTR), VT_DATE, VT_DATE, "2020-12-25"},
        {ole_variant("25-12-2020 10:11:12", VT_BSTR), VT_DATE, VT_DATE, "2020-12-25 10:11:12"},
        {ole_variant("garbage text", VT_BSTR), VT_DATE, VT_ERROR, ""},
        {ole_variant(44190), VT_DATE, VT_ERROR, ""},
    });
    ole_variant text("1899-12-30 06:00:00", VT_BSTR);
    text.change_type(VT_DATE);
    EXPECT_EQ(text.value.date, 0.25);
    EXPECT_EQ(text.get_systemtime().wHour, 6);
    ole_variant nothing;
    nothing.value.vt = VT_NULL;
    nothing.change_type(VT_BSTR);
    EXPECT_EQ(nothing.get_type(), VT_NULL);
}

TEST(OleVariant, CastFailureCarriesItsMessage)
{
    ole_variant value(5000000000LL);
    try
    {
        value.change_type(VT_I4);
        FAIL() << "no exception";
    }
    catch (const tk_exception& error)
    {
        EXPECT_STREQ(error.what(), "Cannot cast from source type to destination type");
        EXPECT_EQ(error.severity(), 1);
    }
    EXPECT_EQ(value.get_type(), VT_I8); // a failed change keeps the value
    EXPECT_EQ(value.i64_value, 5000000000LL);
}

TEST(OleVariant, NumericReadersTruncateClampOrAssert)
{
    EXPECT_EQ(ole_variant(2.9).to_long(), 2);
    EXPECT_EQ(ole_variant(-2.9).to_long(), -2);
    EXPECT_EQ(ole_variant(1e10).to_long(), INT32_MAX);
    EXPECT_EQ(ole_variant(-1e10f).to_long(), INT32_MIN);
    EXPECT_EQ(ole_variant(std::nan("")).to_long(), 0);
    EXPECT_EQ(ole_variant(5000000000LL).to_long(), INT32_MAX);
    EXPECT_EQ(ole_variant(4000000000u).to_long(), INT32_MAX);
    EXPECT_EQ(ole_variant("2.5", VT_DECIMAL).to_long(), 2);
    EXPECT_EQ(ole_variant("1e20", VT_DECIMAL).to_long(), 0);
    EXPECT_EQ(ole_variant(true).to_long(), -1);
    EXPECT_EQ(ole_variant().to_long(), 0);
    EXPECT_THROW(ole_variant(L"1").to_long(), tk_mail_assertion);
    EXPECT_THROW(ole_variant(CY{1}).to_long(), tk_mail_assertion);

    EXPECT_EQ(ole_variant(CY{125000}).to_double(), 12.5);
    EXPECT_EQ(ole_variant("-0.01", VT_DECIMAL).to_double(), -0.01);
    EXPECT_EQ(ole_variant(4294967295u).to_double(), 4294967295.0);
    EXPECT_EQ(ole_variant(UINT64_MAX).to_double(), 18446744073709551616.0);
    EXPECT_EQ(ole_variant(true).to_double(), -1.0);
    EXPECT_THROW(ole_variant(christmas(0)).to_double(), tk_mail_assertion);

    EXPECT_FALSE(ole_variant("0.4", VT_DECIMAL).to_bool());
    EXPECT_TRUE(ole_variant(std::nan("")).to_bool());
    EXPECT_FALSE(ole_variant(0LL).to_bool());
    EXPECT_TRUE(ole_variant(static_cast<unsigned short>(3)).to_bool());
    EXPECT_THROW(ole_variant(L"x").to_bool(), tk_mail_assertion);
}

TEST(OleVariant, ByteArraysResizeKeepTheirBytesAndAssertOnNull)
{
    ole_variant value(std::size_t{3}, std::vector<std::uint8_t>{1, 2, 3}.data());
    value.allocate_safe_array(5);
    const std::uint8_t* data = nullptr;
    ASSERT_EQ(value.get_bytes(data), 5u);
    EXPECT_EQ(std::vector<std::uint8_t>(data, data + 5),
              (std::vector<std::uint8_t>{1, 2, 3, 0, 0}));
    value.allocate_safe_array(2);
    EXPECT_EQ(value.to_string(), "0x0102");
    std::uint8_t* writable = nullptr;
    ASSERT_EQ(value.get_bytes(writable), 2u);
    writable[1] = 0xFF;
    EXPECT_EQ(value.to_string(), "0x01FF");

    EXPECT_THROW(value.attach_binary(3, nullptr), tk_mail_assertion);
    value.attach_binary(0, nullptr);
    EXPECT_EQ(value.get_type(), VT_BYTE_ARRAY);
    EXPECT_EQ(value.get_bytes(data), 0u);

    EXPECT_EQ(ole_variant().get_bytes(data), 0u);
    EXPECT_EQ(data, nullptr);
    EXPECT_THROW(ole_variant(1).get_bytes(data), tk_mail_assertion);
}

TEST(OleVariant, CopiesKeepSideFieldsAndAreIndependent)
{
    const ole_variant big(-5000000000LL);
    ole_variant copy = big;
    EXPECT_EQ(copy.get_type(), VT_I8);
    EXPECT_EQ(copy.i64_value, -5000000000LL);

    const ole_variant date(christmas(5));
    ole_variant assigned;
    assigned = date;
    EXPECT_EQ(assigned.get_systemtime(), christmas(5));
    EXPECT_EQ(assigned.value.date, date.value.date);
    EXPECT_EQ(ole_variant(1).get_systemtime(), SYSTEMTIME{});

    ole_variant text(std::wstring(L"left"));
    ole_variant other = text;
    other.value.bstrVal[0] = L'L';
    EXPECT_EQ(text.to_string(), "left");
    EXPECT_EQ(other.to_string(), "Left");
    ole_variant& self = text;
    text = self;
    EXPECT_EQ(text.to_string(), "left");

    ole_variant moved = std::move(other);
    EXPECT_EQ(moved.to_string(), "Left");
}

struct microsecond_step
{
    const char* label;
    std::function<ole_variant(const ole_variant&)> step;
    VARTYPE kind;
    std::uint16_t microseconds;
};

// The microseconds travel with the calendar fields through every copy and go with them when the
// value stops being a date.
TEST(OleVariant, MicrosecondsTravelWithTheDate)
{
    const ole_variant fine(christmas(123), 456);
    const std::vector<microsecond_step> steps = {
        {"Constructed", [](const ole_variant& v) { return v; }, VT_DATE, 456},
        {"CopyConstructed", [](const ole_variant& v) { return ole_variant(v); }, VT_DATE, 456},
        {"Assigned",
         [](const ole_variant& v)
         {
             ole_variant target(7);
             target = v;
             return target;
         },
         VT_DATE, 456},
        {"Moved",
         [](const ole_variant& v)
         {
             ole_variant source = v;
             ole_variant target = std::move(source);
             return target;
         },
         VT_DATE, 456},
        {"ChangedToItsOwnKind",
         [](const ole_variant& v)
         {
             ole_variant target = v;
             target.change_type(VT_DATE);
             return target;
         },
         VT_DATE, 456},
        {"ChangedToText",
         [](const ole_variant& v)
         {
             ole_variant target = v;
             target.change_type(VT_BSTR);
             return target;
         },
         VT_BSTR, 0},
        {"TextAssigned",
         [](const ole_variant& v)
         {
             ole_variant target = v;
             target.set_bstr(L"x");
             return target;
         },
         VT_BSTR, 0},
        {"ReadFromDateText",
         [](const ole_variant& v)
         {
             ole_variant target = v;
             target.from_string("2020-01-02 10:00:00", VT_DATE);
             return target;
         },
         VT_DATE, 0},
        {"PlainDate", [](const ole_variant&) { return ole_variant(christmas(123)); }, VT_DATE, 0},
    };
    for (const microsecond_step& entry : steps)
    {
        SCOPED_TRACE(entry.label);
        const ole_variant result = entry.step(fine);
        EXPECT_EQ(result.get_type(), entry.kind);
        EXPECT_EQ(result.microseconds, entry.microseconds);
        if (entry.kind == VT_DATE && entry.microseconds != 0)
        {
            EXPECT_EQ(result.get_systemtime(), christmas(123));
        }
    }
}

TEST(OleVariant, MicrosecondsBeyondAMillisecondAreRefused)
{
    EXPECT_NO_THROW(ole_variant(christmas(0), 999));
    EXPECT_THROW(ole_variant(christmas(0), 1000), tk_mail_assertion);
}

TEST(OleVariant, DatesWithoutADateNumberKeepTheirFields)
{
    SYSTEMTIME time_only;
    time_only.wHour = 10;
    time_only.wMinute = 11;
    time_only.wSecond = 12;
    const ole_variant value(time_only);
    EXPECT_EQ(value.get_type(), VT_DATE);
    EXPECT_EQ(value.value.date, 0.0);
    EXPECT_EQ(value.to_string(), "0000-00-00 10:11:12");
}

TEST(OleVariant, KindClassification)
{
    EXPECT_TRUE(ole_variant::is_quoted_vartype(VT_BSTR));
    EXPECT_TRUE(ole_variant::is_quoted_vartype(VT_DATE));
    EXPECT_FALSE(ole_variant::is_quoted_vartype(VT_I4));
    EXPECT_TRUE(ole_variant::is_blob_vartype(VT_BLOB));
    EXPECT_TRUE(ole_variant::is_blob_vartype(VT_BLOB_OBJECT));
    EXPECT_TRUE(ole_variant::is_blob_vartype(8209));
    EXPECT_FALSE(ole_variant::is_blob_vartype(VT_UI1));
}

TEST(OleVariant, TextFormsIgnoreTheProcessNumericLocale)
{
    const char* previous = std::setlocale(LC_NUMERIC, nullptr);
    const std::string saved = previous != nullptr ? previous : "C";
    if (std::setlocale(LC_NUMERIC, "de_DE.UTF-8") == nullptr)
    {
        GTEST_SKIP() << "de_DE.UTF-8 is not installed";
    }
    const std::string printed = ole_variant(3.5).to_string();
    const double read = ole_variant("3.5", VT_R8).value.dblVal;
    const std::string currency = ole_variant("1234.5", VT_CY).to_string();
    std::setlocale(LC_NUMERIC, saved.c_str());
    EXPECT_EQ(printed, "3.5000000000000000e+00");
    EXPECT_EQ(read, 3.5);
    EXPECT_EQ(currency, "1234.5");
}

} // namespace
