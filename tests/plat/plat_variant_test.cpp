// plat_variant_test.cpp: the change of type between VARIANT kinds, with the Windows results.
#include "plat/plat_variant.h"

#include <clocale>
#include <cmath>
#include <cstdint>
#include <gtest/gtest.h>
#include <string>
#include <vector>

namespace
{

std::string narrow(const std::wstring& text)
{
    std::string out;
    for (const wchar_t c : text)
    {
        out.push_back(c < 128 ? static_cast<char>(c) : '?');
    }
    return out;
}

std::string number(double value)
{
    char text[40];
    std::snprintf(text, sizeof text, "%.17g", value);
    return text;
}

// One line that tells kind and value apart exactly.
std::string describe(const VARIANT& v)
{
    switch (v.vt)
    {
    case VT_EMPTY:
        return "EMPTY";
    case VT_NULL:
        return "NULL";
    case VT_I1:
        return "I1:" + std::to_string(v.cVal);
    case VT_UI1:
        return "UI1:" + std::to_string(v.bVal);
    case VT_I2:
        return "I2:" + std::to_string(v.iVal);
    case VT_UI2:
        return "UI2:" + std::to_string(v.uiVal);
    case VT_I4:
        return "I4:" + std::to_string(v.lVal);
    case VT_UI4:
        return "UI4:" + std::to_string(v.ulVal);
    case VT_INT:
        return "INT:" + std::to_string(v.intVal);
    case VT_UINT:
        return "UINT:" + std::to_string(v.uintVal);
    case VT_I8:
        return "I8:" + std::to_string(v.llVal);
    case VT_UI8:
        return "UI8:" + std::to_string(v.ullVal);
    case VT_R4:
        return "R4:" + number(v.fltVal);
    case VT_R8:
        return "R8:" + number(v.dblVal);
    case VT_DATE:
        return "DATE:" + number(v.date);
    case VT_CY:
        return "CY:" + std::to_string(v.cyVal.int64);
    case VT_DECIMAL:
        return "DEC:" + narrow(plat::dec_to_str(v.decVal)) + "/" + std::to_string(v.decVal.scale);
    case VT_BSTR:
        return "BSTR:" + narrow(v.bstrVal);
    case VT_BOOL:
        return "BOOL:" + std::to_string(v.boolVal);
    default:
        return "vt" + std::to_string(v.vt);
    }
}

template <class T>
VARIANT make(VARTYPE vt, T VARIANT::*member, T value)
{
    VARIANT v;
    v.vt = vt;
    v.*member = value;
    return v;
}

VARIANT i2(std::int16_t x)
{
    return make(VT_I2, &VARIANT::iVal, x);
}
VARIANT i4(std::int32_t x)
{
    return make(VT_I4, &VARIANT::lVal, x);
}
VARIANT i8(std::int64_t x)
{
    return make(VT_I8, &VARIANT::llVal, x);
}
VARIANT ui8(std::uint64_t x)
{
    return make(VT_UI8, &VARIANT::ullVal, x);
}
VARIANT r4(float x)
{
    return make(VT_R4, &VARIANT::fltVal, x);
}
VARIANT r8(double x)
{
    return make(VT_R8, &VARIANT::dblVal, x);
}
VARIANT date(double x)
{
    return make(VT_DATE, &VARIANT::date, x);
}
VARIANT boolean(std::int16_t x)
{
    return make(VT_BOOL, &VARIANT::boolVal, x);
}
VARIANT cy(std::int64_t x)
{
    return make(VT_CY, &VARIANT::cyVal, CY{x});
}
VARIANT bstr(const wchar_t* text)
{
    return make(VT_BSTR, &VARIANT::bstrVal, std::wstring(text));
}

VARIANT dec(const wchar_t* text)
{
    VARIANT v;
    v.vt = VT_DECIMAL;
    EXPECT_EQ(plat::dec_from_str(text, v.decVal), S_OK) << narrow(text);
    return v;
}

VARIANT of_kind(VARTYPE vt)
{
    VARIANT v;
    v.vt = vt;
    return v;
}

struct change_case
{
    VARIANT src;
    VARTYPE vt;
    HRESULT hr;
    std::string result;
};

void run_cases(const std::vector<change_case>& cases)
{
    for (const change_case& c : cases)
    {
        SCOPED_TRACE(describe(c.src) + " to vt " + std::to_string(c.vt));
        VARIANT dest = bstr(L"untouched");
        EXPECT_EQ(plat::var_change_type(dest, c.src, c.vt), c.hr);
        EXPECT_EQ(describe(dest), c.hr == S_OK ? c.result : "BSTR:untouched");
    }
}

const double two_pow_53 = 9007199254740992.0;

TEST(PlatVariant, IntegersChangeWithinRangeAndOverflowOutside)
{
    run_cases({
        {i4(42), VT_BSTR, S_OK, "BSTR:42"},
        {i4(42), VT_R8, S_OK, "R8:42"},
        {i4(42), VT_BOOL, S_OK, "BOOL:-1"},
        {i4(0), VT_BOOL, S_OK, "BOOL:0"},
        {i4(42), VT_CY, S_OK, "CY:420000"},
        {i4(42), VT_DECIMAL, S_OK, "DEC:42/0"},
        {i4(70000), VT_I2, DISP_E_OVERFLOW, ""},
        {i4(-1), VT_UI4, DISP_E_OVERFLOW, ""},
        {i4(INT32_MIN), VT_I2, DISP_E_OVERFLOW, ""},
        {i4(INT32_MAX), VT_UI4, S_OK, "UI4:2147483647"},
        {i4(INT32_MIN), VT_INT, S_OK, "INT:-2147483648"},
        {i2(-129), VT_I1, DISP_E_OVERFLOW, ""},
        {i2(255), VT_UI1, S_OK, "UI1:255"},
        {i2(256), VT_UI1, DISP_E_OVERFLOW, ""},
        {i8(INT64_MAX), VT_I4, DISP_E_OVERFLOW, ""},
        {i8(5000000000), VT_I4, DISP_E_OVERFLOW, ""},
        {i8(INT32_MIN), VT_I4, S_OK, "I4:-2147483648"},
        {i8(INT64_MAX), VT_R8, S_OK, "R8:9.2233720368547758e+18"},
        {i8(INT64_MIN), VT_BSTR, S_OK, "BSTR:-9223372036854775808"},
        {i8(INT64_MIN), VT_DECIMAL, S_OK, "DEC:-9223372036854775808/0"},
        {i8(922337203685477), VT_CY, S_OK, "CY:9223372036854770000"},
        {i8(922337203685478), VT_CY, DISP_E_OVERFLOW, ""},
        {i8(-1), VT_UI8, DISP_E_OVERFLOW, ""},
        {ui8(UINT64_MAX), VT_I8, DISP_E_OVERFLOW, ""},
        {ui8(UINT64_MAX), VT_BSTR, S_OK, "BSTR:18446744073709551615"},
        {ui8(UINT64_MAX), VT_R8, S_OK, "R8:1.8446744073709552e+19"},
        {boolean(-1), VT_BSTR, S_OK, "BSTR:True"},
        {boolean(0), VT_BSTR, S_OK, "BSTR:False"},
        {boolean(-1), VT_I4, S_OK, "I4:-1"},
        {boolean(-1), VT_UI1, DISP_E_OVERFLOW, ""},
        {boolean(-1), VT_R8, S_OK, "R8:-1"},
    });
}

TEST(PlatVariant, FloatingValuesRoundHalfToEvenAndRefuseNaNAndOverflow)
{
    run_cases({
        {r8(2.5), VT_I4, S_OK, "I4:2"},
        {r8(3.5), VT_I4, S_OK, "I4:4"},
        {r8(-2.5), VT_I4, S_OK, "I4:-2"},
        {r8(2.4999999), VT_I4, S_OK, "I4:2"},
        {r8(2147483647.4), VT_I4, S_OK, "I4:2147483647"},
        {r8(2147483647.5), VT_I4, DISP_E_OVERFLOW, ""},
        {r8(-2147483648.5), VT_I4, S_OK, "I4:-2147483648"},
        {r8(-2147483648.6), VT_I4, DISP_E_OVERFLOW, ""},
        {r8(std::nan("")), VT_I4, DISP_E_OVERFLOW, ""},
        {r8(HUGE_VAL), VT_I4, DISP_E_OVERFLOW, ""},
        {r8(two_pow_53), VT_I8, S_OK, "I8:9007199254740992"},
        {r8(9223372036854775808.0), VT_I8, DISP_E_OVERFLOW, ""},
        {r8(18446744073709551616.0), VT_UI8, DISP_E_OVERFLOW, ""},
        {r8(-0.0), VT_I4, S_OK, "I4:0"},
        {r8(-0.0), VT_BOOL, S_OK, "BOOL:0"},
        {r8(std::nan("")), VT_BOOL, S_OK, "BOOL:-1"},
        {r8(2.5), VT_CY, S_OK, "CY:25000"},
        {r8(1e15), VT_CY, DISP_E_OVERFLOW, ""},
        {r8(0.1), VT_DECIMAL, S_OK, "DEC:0.1/1"},
        {r8(two_pow_53), VT_DECIMAL, S_OK, "DEC:9007199254740990/0"},
        {r8(1e300), VT_DECIMAL, DISP_E_OVERFLOW, ""},
        {r8(std::nan("")), VT_DECIMAL, DISP_E_OVERFLOW, ""},
        {r8(1e300), VT_R4, DISP_E_OVERFLOW, ""},
        {r8(3.4028235e38), VT_R4, S_OK, "R4:3.4028234663852886e+38"}, // rounds to FLT_MAX
        {r8(-3.4028236e38), VT_R4, DISP_E_OVERFLOW, ""},
        {r8(std::nan("")), VT_R4, S_OK, "R4:nan"},
        {r8(44190.5), VT_DATE, S_OK, "DATE:44190.5"},
        {r8(1e7), VT_DATE, DISP_E_OVERFLOW, ""},
        {r4(2.5f), VT_I2, S_OK, "I2:2"},
        {r4(0.1f), VT_R8, S_OK, "R8:0.10000000149011612"},
        {r4(0.1f), VT_DECIMAL, S_OK, "DEC:0.1/1"},
        {date(44190.75), VT_I4, S_OK, "I4:44191"},
    });
}

TEST(PlatVariant, NumbersPrintAsWindowsDoes)
{
    run_cases({
        {r8(3.5), VT_BSTR, S_OK, "BSTR:3.5"},
        {r8(1e20), VT_BSTR, S_OK, "BSTR:1E+20"},
        {r8(0.1), VT_BSTR, S_OK, "BSTR:0.1"},
        {r8(1.0 / 3), VT_BSTR, S_OK, "BSTR:0.333333333333333"},
        {r8(123456789012345680000.0), VT_BSTR, S_OK, "BSTR:1.23456789012346E+20"},
        {r8(123456789012345.0), VT_BSTR, S_OK, "BSTR:123456789012345"},
        {r8(two_pow_53), VT_BSTR, S_OK, "BSTR:9.00719925474099E+15"},
        {r8(1e-5), VT_BSTR, S_OK, "BSTR:1E-05"},
        {r8(0.0001), VT_BSTR, S_OK, "BSTR:0.0001"},
        {r8(-0.0), VT_BSTR, S_OK, "BSTR:0"},
        {r8(std::nan("")), VT_BSTR, S_OK, "BSTR:NaN"},
        {r8(-HUGE_VAL), VT_BSTR, S_OK, "BSTR:-Infinity"},
        {r4(0.1f), VT_BSTR, S_OK, "BSTR:0.1"},
        {r4(123456792.0f), VT_BSTR, S_OK, "BSTR:1.234568E+08"},
        {cy(125000), VT_BSTR, S_OK, "BSTR:12.5"},
        {cy(INT64_MIN), VT_BSTR, S_OK, "BSTR:-922337203685477.5808"},
        {dec(L"-0.0100"), VT_BSTR, S_OK, "BSTR:-0.01"},
        {dec(L"0.1234567890123456789012345678"), VT_BSTR, S_OK,
         "BSTR:0.1234567890123456789012345678"},
        {date(44190.0 + 36672.0 / 86400.0), VT_BSTR, S_OK, "BSTR:12/25/2020 10:11:12 AM"},
    });
}

TEST(PlatVariant, CurrencyAndDecimalsRoundHalfToEven)
{
    run_cases({
        {cy(25000), VT_I4, S_OK, "I4:2"},
        {cy(35000), VT_I4, S_OK, "I4:4"},
        {cy(125000), VT_R8, S_OK, "R8:12.5"},
        {cy(125000), VT_DECIMAL, S_OK, "DEC:12.5/4"},
        {cy(0), VT_BOOL, S_OK, "BOOL:0"},
        {cy(INT64_MIN), VT_I8, S_OK, "I8:-922337203685478"},
        {dec(L"2.5"), VT_I4, S_OK, "I4:2"},
        {dec(L"-3.5"), VT_I4, S_OK, "I4:-4"},
        {dec(L"1.23456"), VT_CY, S_OK, "CY:12346"},
        {dec(L"1.00005"), VT_CY, S_OK, "CY:10000"},
        {dec(L"1.00015"), VT_CY, S_OK, "CY:10002"},
        {dec(L"79228162514264337593543950335"), VT_R8, S_OK, "R8:7.9228162514264338e+28"},
        {dec(L"79228162514264337593543950335"), VT_I8, DISP_E_OVERFLOW, ""},
        {dec(L"79228162514264337593543950335"), VT_CY, DISP_E_OVERFLOW, ""},
        {dec(L"9223372036854775807.4"), VT_I8, S_OK, "I8:9223372036854775807"},
        {dec(L"18446744073709551615"), VT_UI8, S_OK, "UI8:18446744073709551615"},
        {dec(L"18446744073709551615.5"), VT_UI8, DISP_E_OVERFLOW, ""},
    });
}

TEST(PlatVariant, TextReadsAsEnUsNumbersDatesAndBooleans)
{
    run_cases({
        {bstr(L"42"), VT_I4, S_OK, "I4:42"},
        {bstr(L" 1,234 "), VT_I4, S_OK, "I4:1234"},
        {bstr(L"2.5"), VT_I4, S_OK, "I4:2"},
        {bstr(L"1e3"), VT_I4, S_OK, "I4:1000"},
        {bstr(L"2147483648"), VT_I4, DISP_E_OVERFLOW, ""},
        {bstr(L"-1"), VT_UI4, DISP_E_OVERFLOW, ""},
        {bstr(L"4294967295"), VT_UI4, S_OK, "UI4:4294967295"},
        {bstr(L"abc"), VT_I4, DISP_E_TYPEMISMATCH, ""},
        {bstr(L""), VT_I4, DISP_E_TYPEMISMATCH, ""},
        {bstr(L"3.5"), VT_R8, S_OK, "R8:3.5"},
        {bstr(L"3,5"), VT_R8, S_OK, "R8:35"}, // en-US: the comma groups digits
        {bstr(L"1e400"), VT_R8, DISP_E_OVERFLOW, ""},
        {bstr(L"1e-400"), VT_R8, S_OK, "R8:0"},
        {bstr(L"True"), VT_BOOL, S_OK, "BOOL:-1"},
        {bstr(L" false "), VT_BOOL, S_OK, "BOOL:0"},
        {bstr(L"TRUE"), VT_BOOL, S_OK, "BOOL:-1"},
        {bstr(L"2"), VT_BOOL, S_OK, "BOOL:-1"},
        {bstr(L"0"), VT_BOOL, S_OK, "BOOL:0"},
        {bstr(L"yes"), VT_BOOL, DISP_E_TYPEMISMATCH, ""},
        {bstr(L"1.5"), VT_DECIMAL, S_OK, "DEC:1.5/1"},
        {bstr(L"1234.5"), VT_CY, S_OK, "CY:12345000"},
        {bstr(L"12/25/2020"), VT_DATE, S_OK, "DATE:44190"},
        {bstr(L"now()"), VT_DATE, DISP_E_TYPEMISMATCH, ""},
        {bstr(L"x"), VT_R4, DISP_E_TYPEMISMATCH, ""},
        {bstr(L"1e39"), VT_R4, DISP_E_OVERFLOW, ""},
    });
}

TEST(PlatVariant, EmptyNullAndKindsWithoutConversion)
{
    VARIANT bytes = of_kind(VT_BYTE_ARRAY);
    bytes.parray = {1, 2};
    run_cases({
        {of_kind(VT_EMPTY), VT_I4, S_OK, "I4:0"},
        {of_kind(VT_EMPTY), VT_BSTR, S_OK, "BSTR:"},
        {of_kind(VT_EMPTY), VT_BOOL, S_OK, "BOOL:0"},
        {of_kind(VT_EMPTY), VT_NULL, S_OK, "NULL"},
        {of_kind(VT_NULL), VT_I4, DISP_E_TYPEMISMATCH, ""},
        {of_kind(VT_NULL), VT_EMPTY, S_OK, "EMPTY"},
        {i4(5), VT_NULL, DISP_E_TYPEMISMATCH, ""},
        {bytes, VT_BSTR, DISP_E_TYPEMISMATCH, ""},
        {i4(5), VT_BLOB, DISP_E_BADVARTYPE, ""},
        {i4(5), VT_LPWSTR, DISP_E_BADVARTYPE, ""},
        {of_kind(VT_ERROR), VT_I4, DISP_E_TYPEMISMATCH, ""},
    });
}

TEST(PlatVariant, ChangeInPlaceAndCopyOfTheSameKind)
{
    VARIANT v = r8(2.5);
    ASSERT_EQ(plat::var_change_type(v, v, VT_BSTR), S_OK);
    EXPECT_EQ(describe(v), "BSTR:2.5");
    v.bstrVal = L"2.5 apples";
    ASSERT_EQ(plat::var_change_type(v, v, VT_I4), DISP_E_TYPEMISMATCH);
    EXPECT_EQ(describe(v), "BSTR:2.5 apples"); // a failed change leaves the value

    const VARIANT text = make(VT_BSTR, &VARIANT::bstrVal, std::wstring(L"a\0b", 3));
    VARIANT copy;
    ASSERT_EQ(plat::var_change_type(copy, text, VT_BSTR), S_OK);
    EXPECT_EQ(copy.bstrVal.size(), 3u);

    VARIANT bytes = of_kind(VT_BYTE_ARRAY);
    bytes.parray = {1, 2, 3};
    ASSERT_EQ(plat::var_change_type(copy, bytes, VT_BYTE_ARRAY), S_OK);
    EXPECT_EQ(copy.parray, bytes.parray);
    copy.clear();
    EXPECT_EQ(copy.vt, VT_EMPTY);
    EXPECT_TRUE(copy.parray.empty());
    EXPECT_TRUE(copy.bstrVal.empty());
}

TEST(PlatVariant, ConversionsIgnoreTheProcessNumericLocale)
{
    const char* previous = std::setlocale(LC_NUMERIC, nullptr);
    const std::string saved = previous != nullptr ? previous : "C";
    if (std::setlocale(LC_NUMERIC, "de_DE.UTF-8") == nullptr)
    {
        GTEST_SKIP() << "de_DE.UTF-8 is not installed";
    }
    VARIANT text;
    const HRESULT to_text = plat::var_change_type(text, r8(3.5), VT_BSTR);
    VARIANT back;
    const HRESULT to_number = plat::var_change_type(back, bstr(L"3.5"), VT_R8);
    std::setlocale(LC_NUMERIC, saved.c_str());
    EXPECT_EQ(to_text, S_OK);
    EXPECT_EQ(text.bstrVal, L"3.5");
    EXPECT_EQ(to_number, S_OK);
    EXPECT_EQ(back.dblVal, 3.5);
}

} // namespace
