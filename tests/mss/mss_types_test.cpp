// mss_types_test.cpp: SQL Server type names, clamping, literals and generated names.
#include "mss/mss_engine.h"
#include "mss/mss_types.h"
#include "mss_fakes.h"
#include "test_support.h"
#include "tk/tk_exception.h"
#include "tk/tk_logger.h"
#include "udb/udb_value_exception.h"

#include <gtest/gtest.h>
#include <limits>
#include <string>
#include <vector>

namespace
{

const mss_target modern_native{.version_code = mss_engine::version_2012, .native_client = true};
const mss_target modern_generic{.version_code = mss_engine::version_2012, .native_client = false};
const mss_target old_native{.version_code = mss_engine::version_2005, .native_client = true};
const mss_target azure_native{.version_code = mss_engine::version_azure, .native_client = true};

t_ftd column(VARTYPE vt, int size = 0, int reserved = 0, bool not_null = false,
             const ole_variant& default_value = {})
{
    return t_ftd(size, L"c", vt, not_null, false, default_value, reserved, L"");
}

t_ftd decimal_column(int precision, int scale)
{
    return column(VT_DECIMAL, 0, t_ftd::make_precision_scale(precision, scale));
}

ole_variant date(int year, int month, int day, int hour = 0, int minute = 0, int second = 0,
                 int milliseconds = 0)
{
    return ole_variant(
        test_support::system_time(year, month, day, hour, minute, second, milliseconds));
}

// A date with microseconds within its millisecond, as the PostgreSQL reader makes one.
ole_variant date_us(int year, int month, int day, int hour, int minute, int second,
                    int milliseconds, int microseconds)
{
    SYSTEMTIME time = date(year, month, day, hour, minute, second, milliseconds).systemtime;
    return ole_variant(time, static_cast<std::uint16_t>(microseconds));
}

// A decimal with more digits than 96 bits hold, as the PostgreSQL reader carries it.
ole_variant decimal_text(const std::string& text)
{
    ole_variant value;
    EXPECT_TRUE(value.set_decimal_text(text));
    return value;
}

ole_variant null_value()
{
    ole_variant value;
    value.value.vt = VT_NULL;
    return value;
}

struct type_case
{
    const char* label;
    t_ftd ftd;
    bool type_only;
    mss_target target;
    std::wstring expected;
};

TEST(MssTypes, NativeTypeNamesFollowSizesPrecisionAndDateSupport)
{
    const std::vector<type_case> cases = {
        // Two UTF-16 units per character: any n characters fit.
        {"Text3", column(VT_BSTR, 3), false, modern_native, L"nvarchar(6) "},
        {"Text2000", column(VT_BSTR, 2000), false, modern_native, L"nvarchar(4000) "},
        {"Text2001", column(VT_BSTR, 2001), false, modern_native, L"nvarchar(max)"},
        {"Text4000", column(VT_BSTR, 4000), false, modern_native, L"nvarchar(max)"},
        {"TextSize0", column(VT_BSTR, 0), false, modern_native, L"nvarchar(max)"},
        {"TextNegative", column(VT_BSTR, -1), false, modern_native, L"nvarchar(max)"},
        {"TextTypeOnly", column(VT_BSTR, 50), true, modern_native, L"nvarchar"},
        {"TextTypeOnlyOver", column(VT_BSTR, 4001), true, modern_native, L"nvarchar(max)"},
        {"Blob8000", column(VT_BLOB, 8000), false, modern_native, L"varbinary(8000) "},
        {"Blob8001", column(VT_BLOB, 8001), false, modern_native, L"varbinary(max)"},
        {"BlobSize0", column(VT_BLOB_OBJECT, 0), false, modern_native, L"varbinary(max)"},
        {"ByteArray", column(VT_BYTE_ARRAY, 16), false, modern_native, L"varbinary(16) "},
        {"Precision38", decimal_column(38, 2), false, modern_native, L"numeric"},
        {"Precision39", decimal_column(39, 2), false, modern_native, L"float"},
        {"Currency", column(VT_CY), false, modern_native, L"money"},
        {"Other", column(VT_LPWSTR, 10), false, modern_native, L"nvarchar(max)"},
        {"DateNative2012", column(VT_DATE, 0, t_ftd::date_only), false, modern_native, L"date"},
        {"TimeNative2012", column(VT_DATE, 0, t_ftd::time_only), false, modern_native, L"time(6)"},
        {"TimeTypeOnly", column(VT_DATE, 0, t_ftd::time_only), true, modern_native, L"time"},
        {"DateTimeNative", column(VT_DATE, 0, 1), false, modern_native, L"datetime2(6)"},
        {"DateTimeTypeOnly", column(VT_DATE, 0, 1), true, modern_native, L"datetime2"},
        {"DateTimeGenericDriver", column(VT_DATE, 0, 1), false, modern_generic, L"datetime"},
        {"DateTime2005", column(VT_DATE, 0, 1), false, old_native, L"datetime"},
        {"DateGenericDriver", column(VT_DATE, 0, t_ftd::date_only), false, modern_generic,
         L"datetime"},
        {"TimeGenericDriver", column(VT_DATE, 0, t_ftd::time_only), false, modern_generic,
         L"datetime"},
        {"Date2005", column(VT_DATE, 0, t_ftd::date_only), false, old_native, L"datetime"},
        {"DateAzure", column(VT_DATE, 0, t_ftd::date_only), false, azure_native, L"date"},
    };
    for (const type_case& item : cases)
    {
        SCOPED_TRACE(item.label);
        EXPECT_EQ(get_mss_native_type1(item.ftd, item.type_only, item.target), item.expected);
    }
}

// What the classes below the engine read of it comes only through the target it hands down.
TEST(MssTypes, EngineHandsItsStateDownAsTheTarget)
{
    mss_engine engine(true);
    const mss_target fresh = engine.target();
    EXPECT_EQ(fresh.version_code, mss_engine::version_unknown);
    EXPECT_FALSE(fresh.native_client);
    EXPECT_TRUE(fresh.unicode);
    EXPECT_TRUE(fresh.view_owned);
    EXPECT_FALSE(fresh.wide_index_keys);
    EXPECT_EQ(fresh.user, L"");
    EXPECT_FALSE(fresh.as_dbo);
    EXPECT_TRUE(fresh.fast_load);

    const t_ftd date_column = column(VT_DATE, 0, t_ftd::date_only);
    engine.set_version_code(mss_engine::version_2012);
    // Not connected, so no native client: the 2008 types are not used.
    EXPECT_EQ(get_mss_native_type1(date_column, false, engine.target()), L"datetime");
    mss_test::connect_native(engine);
    EXPECT_EQ(get_mss_native_type1(date_column, false, engine.target()), L"date");

    engine.store_login(L"srv", L"bob", L"secret");
    engine.set_unicode(false);
    engine.set_view_owned(false);
    engine.set_fast_load(false);
    engine.set_major_version(mss_engine::major_2016);
    const mss_target changed = engine.target();
    EXPECT_TRUE(changed.native_client);
    EXPECT_FALSE(changed.unicode);
    EXPECT_FALSE(changed.view_owned);
    EXPECT_TRUE(changed.wide_index_keys);
    EXPECT_EQ(changed.user, L"bob");
    EXPECT_FALSE(changed.fast_load);
    EXPECT_EQ(to_mssql_str(L"x", VT_BSTR, changed.unicode), L"'x'");
    const ole_variant value(L"a'b");
    const t_ftd text_column = column(VT_BSTR, 10);
    EXPECT_EQ(mss_get_fld_append_str(&value, &text_column, changed), L"'a''b'");
    EXPECT_EQ(changed.get_safe_tname(L"t"), L"[bob].[t]");
    EXPECT_EQ(changed.get_safe_tname(L"t"), engine.get_safe_tname(L"t"));
    engine.set_as_dbo(true);
    EXPECT_TRUE(engine.target().as_dbo);
    EXPECT_EQ(engine.target().get_safe_tname(L"t"), L"[dbo].[t]");
}

struct check_case
{
    const char* label;
    ole_variant value;
    t_ftd ftd;
    mss_target target;
    bool refused;
};

TEST(MssTypes, ValuesOutsideTheColumnsRangeAreRefusedNeverClamped)
{
    const double infinity = std::numeric_limits<double>::infinity();
    const double nan = std::numeric_limits<double>::quiet_NaN();
    const std::vector<check_case> cases = {
        {"TinyDouble", ole_variant(1e-320), column(VT_R8), modern_native, true},
        {"NegativeTinyDouble", ole_variant(-1e-320), column(VT_R8), modern_native, true},
        {"SmallestNormalDouble", ole_variant(std::numeric_limits<double>::min()), column(VT_R8),
         modern_native, false},
        {"ZeroDouble", ole_variant(0.0), column(VT_R8), modern_native, false},
        {"LargestDouble", ole_variant(std::numeric_limits<double>::max()), column(VT_R8),
         modern_native, false},
        {"InfiniteDouble", ole_variant(infinity), column(VT_R8), modern_native, true},
        {"NegativeInfiniteDouble", ole_variant(-infinity), column(VT_R8), modern_native, true},
        {"NaNDouble", ole_variant(nan), column(VT_R8), modern_native, true},
        {"InfiniteFloat", ole_variant(std::numeric_limits<float>::infinity()), column(VT_R4),
         modern_native, true},
        {"NaNFloat", ole_variant(std::numeric_limits<float>::quiet_NaN()), column(VT_R4),
         modern_native, true},
        {"LargestFloat", ole_variant(std::numeric_limits<float>::max()), column(VT_R4),
         modern_native, false},
        {"1752DateTime", date(1752, 12, 31), column(VT_DATE, 0, 1), old_native, true},
        {"1753DateTime", date(1753, 1, 1), column(VT_DATE, 0, 1), old_native, false},
        {"Year1DateTime2", date(1, 1, 1), column(VT_DATE, 0, 1), modern_native, false},
        {"Year1DateColumn", date(1, 1, 1), column(VT_DATE, 0, t_ftd::date_only), modern_native,
         false},
        {"Year1DateGenericDriver", date(1, 1, 1), column(VT_DATE, 0, t_ftd::date_only),
         modern_generic, true},
        {"Year9999DateColumn", date(9999, 12, 31), column(VT_DATE, 0, t_ftd::date_only),
         modern_native, false},
        {"Year10000DateColumn", date(10000, 1, 1), column(VT_DATE, 0, t_ftd::date_only),
         modern_native, true},
        {"TimeAloneInDateTime", date(0, 0, 0, 10, 20, 30), column(VT_DATE, 0, 1), old_native,
         false},
        {"DecimalInRange", ole_variant(L"123.45", VT_DECIMAL), decimal_column(5, 2), modern_native,
         false},
        {"DecimalTrailingZeros", ole_variant(L"123.4500", VT_DECIMAL), decimal_column(5, 2),
         modern_native, false},
        {"DecimalTooWide", ole_variant(L"1234.5", VT_DECIMAL), decimal_column(5, 2), modern_native,
         true},
        {"DecimalTooManyDecimals", ole_variant(L"999.994", VT_DECIMAL), decimal_column(5, 2),
         modern_native, true},
        // A column whose precision is still unknown is created numeric(38,10) and holds what
        // that holds, no more.
        {"DecimalNoPrecision", ole_variant(L"123456789.123", VT_DECIMAL), column(VT_DECIMAL),
         modern_native, false},
        {"NoPrecisionTenDecimals", ole_variant(L"-0.1234567891", VT_DECIMAL), column(VT_DECIMAL),
         modern_native, false},
        {"NoPrecisionElevenDecimals", ole_variant(L"0.12345678912", VT_DECIMAL), column(VT_DECIMAL),
         modern_native, true},
        {"NoPrecision28WholeDigits", decimal_text(std::string(28, '7') + ".5"), column(VT_DECIMAL),
         modern_native, false},
        {"NoPrecision29WholeDigits", decimal_text(std::string(29, '7')), column(VT_DECIMAL),
         modern_native, true},
        {"ThirtyEightDigitsFit", decimal_text(std::string(38, '9')), decimal_column(38, 0),
         modern_native, false},
        {"ThirtyNineDigitsDoNot", decimal_text(std::string(39, '9')), decimal_column(38, 0),
         modern_native, true},
        {"ThirtySevenWholeDigitsAtScaleTwo", decimal_text(std::string(37, '1') + ".5"),
         decimal_column(38, 2), modern_native, true},
        {"ThirtySixWholeDigitsAtScaleTwo", decimal_text("-" + std::string(36, '1') + ".25"),
         decimal_column(38, 2), modern_native, false},
        {"ThirtyEightDecimals", decimal_text("0." + std::string(37, '0') + "1"),
         decimal_column(38, 38), modern_native, false},
        {"ThirtyNineDecimalsAreNotRounded", decimal_text("0." + std::string(38, '0') + "1"),
         decimal_column(38, 38), modern_native, true},
    };
    for (const check_case& item : cases)
    {
        SCOPED_TRACE(item.label);
        if (item.refused)
        {
            EXPECT_THROW(mss_check_value(item.value, item.ftd, item.target), udb_value_exception);
        }
        else
        {
            EXPECT_NO_THROW(mss_check_value(item.value, item.ftd, item.target));
        }
    }
}

TEST(MssTypes, RefusalNamesTheValueAndTheColumn)
{
    try
    {
        mss_check_value(date(1600, 5, 5, 10), column(VT_DATE, 0, 1), old_native);
        FAIL() << "no refusal";
    }
    catch (const udb_value_exception& error)
    {
        EXPECT_EQ(error.message(),
                  "The value '1600-05-05 10:00:00' has no form in column c: it holds the years "
                  "1753 to 9999");
        EXPECT_EQ(error.severity(), 0);
    }
}

struct literal_case
{
    const char* label;
    std::wstring text;
    VARTYPE vt;
    bool unicode;
    std::wstring expected;
};

TEST(MssTypes, TextLiteralsAreQuotedEscapedOrBareByKind)
{
    const std::vector<literal_case> cases = {
        {"QuoteInText", L"O'Brien", VT_BSTR, true, L"N'O''Brien'"},
        {"QuoteNoUnicode", L"O'Brien", VT_BSTR, false, L"'O''Brien'"},
        {"EmptyText", L"", VT_BSTR, true, L"''"},
        {"EmptyNumber", L"", VT_I4, true, L"''"},
        {"EmptyDate", L"", VT_DATE, true, L"NULL"},
        {"GuidTextKeptWhole", L"see guid {12345678-1234-1234-1234-123456789ABC} here", VT_BSTR,
         true, L"N'see guid {12345678-1234-1234-1234-123456789ABC} here'"},
        {"DateTime", L"2021-03-04 05:06:07", VT_DATE, true, L"'20210304 05:06:07'"},
        {"Milliseconds", L"2021-03-04 05:06:07.005", VT_DATE, true, L"'20210304 05:06:07.005'"},
        {"DateOnly", L"2021-03-04", VT_DATE, true, L"'20210304'"},
        {"TimeOnly", L"10:20:30", VT_DATE, true, L"'18991230 10:20:30'"},
        {"Year1", L"0001-01-01", VT_DATE, true, L"'00010101'"},
        {"HexBlob", L"0x1F2e", VT_BLOB, true, L"0x1F2e"},
        {"EmptyHexBlob", L"0x", VT_BYTE_ARRAY, true, L"0x"},
        {"DigitBlob", L"1234", VT_BLOB, true, L"1234"},
        {"OneCharBlob", L"5", VT_BLOB, true, L""},
        {"PostgresHexBlob", L"\\x1f2e", VT_BLOB_OBJECT, true, L"0x1f2e"},
        {"OtherBlobAsBytes", L"12AB", VT_BLOB, true, L"0x31324142"},
        {"QuoteBlobAsBytes", L"a'b", VT_BLOB, true, L"0x612762"},
        {"Integer", L"42", VT_I4, true, L"42"},
        {"Scientific", L"-1.5e+10", VT_R8, true, L"-1.5e+10"},
        {"Decimal", L"123.456", VT_DECIMAL, true, L"123.456"},
        {"Bit", L"1", VT_BOOL, true, L"1"},
        {"InjectedNumber", L"1); DROP TABLE t; --", VT_I4, true, L"N'1); DROP TABLE t; --'"},
        {"QuotedNumber", L"it's", VT_I8, false, L"'it''s'"},
        {"UnknownKind", L"x'y", VT_EMPTY, true, L"N'x''y'"},
    };
    for (const literal_case& item : cases)
    {
        SCOPED_TRACE(item.label);
        EXPECT_EQ(to_mssql_str(item.text, item.vt, item.unicode), item.expected);
    }
    EXPECT_THROW(to_mssql_str(L"tomorrow", VT_DATE, true), udb_value_exception);
}

struct field_case
{
    const char* label;
    ole_variant value;
    t_ftd ftd;
    mss_target target;
    std::wstring expected;
};

TEST(MssTypes, FieldLiteralsForInsertAndUpdate)
{
    std::vector<field_case> cases = {
        {"Text", ole_variant(L"a'b"), column(VT_BSTR, 10), modern_native, L"N'a''b'"},
        {"EmptyTextIsNotNull", ole_variant(L""), column(VT_BSTR, 10), modern_native, L"''"},
        {"NullNullable", null_value(), column(VT_I4), modern_native, L"NULL"},
        // NULL whatever the column: the server refuses it for a NOT NULL column, never a
        // default or '' (0, 1900-01-01) in its place.
        {"EmptyNotNullDefault", ole_variant(), column(VT_I4, 0, 0, true, ole_variant(7)),
         modern_native, L"NULL"},
        {"NullNotNullTextDefault", null_value(), column(VT_BSTR, 10, 0, true, ole_variant(L"n/a")),
         modern_native, L"NULL"},
        {"NullNotNullNoDefault", null_value(), column(VT_I4, 0, 0, true), modern_native, L"NULL"},
        {"NullNotNullDateTime", null_value(), column(VT_DATE, 0, 1, true), old_native, L"NULL"},
        {"DateTimeMs", date(2021, 3, 4, 5, 6, 7, 5), column(VT_DATE, 0, 1), modern_native,
         L"'20210304 05:06:07.005'"},
        {"DateTimeMicroseconds", date_us(2020, 1, 2, 10, 0, 0, 123, 456), column(VT_DATE, 0, 1),
         modern_native, L"'20200102 10:00:00.123456'"},
        {"MicrosecondsWithoutMilliseconds", date_us(2020, 1, 2, 10, 0, 0, 0, 7),
         column(VT_DATE, 0, 1), modern_native, L"'20200102 10:00:00.000007'"},
        {"MidnightWithMicrosecondsIsNoDateAlone", date_us(2020, 1, 2, 0, 0, 0, 0, 1),
         column(VT_DATE, 0, 1), modern_native, L"'20200102 00:00:00.000001'"},
        {"TimeColumnMicroseconds", date_us(0, 0, 0, 10, 20, 30, 1, 500),
         column(VT_DATE, 0, t_ftd::time_only), modern_native, L"'18991230 10:20:30.001500'"},
        // datetime refuses text finer than milliseconds: the older targets keep today's form.
        {"DatetimeKeepsMilliseconds", date_us(2020, 1, 2, 10, 0, 0, 123, 456),
         column(VT_DATE, 0, 1), old_native, L"'20200102 10:00:00.123'"},
        {"Before1753DateTime2", date(1700, 5, 6), column(VT_DATE, 0, 1), modern_native,
         L"'17000506'"},
        {"Year1DateColumn", date(1, 1, 1), column(VT_DATE, 0, t_ftd::date_only), modern_native,
         L"'00010101'"},
        {"Year50DateColumn", date(50, 6, 7), column(VT_DATE, 0, t_ftd::date_only), modern_native,
         L"'00500607'"},
        {"TimeColumn", date(0, 0, 0, 10, 20, 30), column(VT_DATE, 0, t_ftd::time_only),
         modern_native, L"'18991230 10:20:30'"},
        {"DateDefaultNotNull", null_value(),
         column(VT_DATE, 0, t_ftd::date_only, true, date(1, 2, 3)), modern_native, L"NULL"},
        {"HugeDouble", ole_variant(-std::numeric_limits<double>::max()), column(VT_R8),
         modern_native, L"-1.7976931348623157e+308"},
        {"ZeroDouble", ole_variant(0.0), column(VT_R8), modern_native, L"0"},
        {"FullPrecisionDouble", ole_variant(0.1), column(VT_R8), modern_native,
         L"0.10000000000000001"},
        {"FloatNineDigits", ole_variant(0.1f), column(VT_R4), modern_native, L"0.100000001"},
        {"BigInt", ole_variant(9007199254740993LL), column(VT_I8), modern_native,
         L"9007199254740993"},
        {"Bool", ole_variant(true), column(VT_BOOL), modern_native, L"1"},
        {"DecimalInRange", ole_variant(L"123.45", VT_DECIMAL), decimal_column(5, 2), modern_native,
         L"123.45"},
        {"DecimalFull", ole_variant(L"-999.99", VT_DECIMAL), decimal_column(5, 2), modern_native,
         L"-999.99"},
        {"ScaleZeroFull", ole_variant(L"12345", VT_DECIMAL), decimal_column(5, 0), modern_native,
         L"12345"},
        {"FractionOnlyColumn", ole_variant(L"0.5", VT_DECIMAL), decimal_column(1, 1), modern_native,
         L"0.5"},
        {"NoPrecision", ole_variant(L"123456789", VT_DECIMAL), column(VT_DECIMAL), modern_native,
         L"123456789"},
        {"FloatColumnPrecision", ole_variant(L"123456789", VT_DECIMAL), decimal_column(40, 35),
         modern_native, L"123456789"},
        {"ThirtyEightDigitDecimal", decimal_text("-1234567890123456789012345678901234567.8"),
         decimal_column(38, 1), modern_native, L"-1234567890123456789012345678901234567.8"},
    };
    std::vector<std::uint8_t> bytes = {0x00, 0xFF};
    cases.push_back({"Binary", ole_variant(bytes.size(), bytes.data()), column(VT_BLOB, 10),
                     modern_native, L"0x00FF"});
    cases.push_back({"EmptyBinaryIsNotNull", ole_variant(std::size_t{0}, bytes.data()),
                     column(VT_BLOB, 10), modern_native, L"0x"});
    for (const field_case& item : cases)
    {
        SCOPED_TRACE(item.label);
        EXPECT_EQ(mss_get_fld_append_str(&item.value, &item.ftd, item.target), item.expected);
    }
}

TEST(MssTypes, FieldLiteralsRefuseValuesTheColumnCannotHold)
{
    const std::vector<field_case> cases = {
        {"Before1753DateTime", date(1600, 5, 5, 10), column(VT_DATE, 0, 1), old_native, L""},
        {"Year1DateGenericDriver", date(1, 1, 1), column(VT_DATE, 0, t_ftd::date_only),
         modern_generic, L""},
        {"InfiniteDouble", ole_variant(std::numeric_limits<double>::infinity()), column(VT_R8),
         modern_native, L""},
        {"NaNNotNull", ole_variant(std::numeric_limits<double>::quiet_NaN()),
         column(VT_R8, 0, 0, true, ole_variant(0.0)), modern_native, L""},
        {"TinyDouble", ole_variant(1e-320), column(VT_R8), modern_native, L""},
        {"DecimalTooWide", ole_variant(L"1234.5", VT_DECIMAL), decimal_column(5, 2), modern_native,
         L""},
        {"NegativeTooWide", ole_variant(L"-1234.5", VT_DECIMAL), decimal_column(5, 2),
         modern_native, L""},
        {"RoundsIntoOverflow", ole_variant(L"999.996", VT_DECIMAL), decimal_column(5, 2),
         modern_native, L""},
        {"ScaleZeroOver", ole_variant(L"123456", VT_DECIMAL), decimal_column(5, 0), modern_native,
         L""},
    };
    for (const field_case& item : cases)
    {
        SCOPED_TRACE(item.label);
        EXPECT_THROW(mss_get_fld_append_str(&item.value, &item.ftd, item.target),
                     udb_value_exception);
    }
}

TEST(MssTypes, NullFieldOrColumnIsAnInternalError)
{
    const ole_variant value(1);
    const t_ftd ftd = column(VT_I4);
    EXPECT_THROW(mss_get_fld_append_str(nullptr, &ftd, modern_native), tk_mail_assertion);
    EXPECT_THROW(mss_get_fld_append_str(&value, nullptr, modern_native), tk_mail_assertion);
    EXPECT_THROW(dec_is_out_of_range(value, ftd), tk_mail_assertion);
}

TEST(MssTypes, PrimaryKeyNameTakesTheTablePart)
{
    EXPECT_EQ(gen_pk_name(L"[dbo].[orders]", true), L"PK_orders");
    EXPECT_EQ(gen_pk_name(L"orders", true), L"PK_orders");
    EXPECT_EQ(gen_pk_name(L"a.b", true), L"PK_a.b");
    EXPECT_EQ(gen_pk_name(L"a.b", false), L"PK_b");
    EXPECT_EQ(gen_pk_name(L"a.", false), L"PK_a.");
}

TEST(MssTypes, IndexNamesCountPastTakenNames)
{
    udb_indexes indexes;
    EXPECT_EQ(gen_idx_name(indexes, {L"id"}), L"UIDX_id");
    EXPECT_EQ(gen_idx_name(indexes, {L"a", L"b"}), L"UIDX_a_b");
    indexes.push_back(udb_index(L"uidx_ID", true, false, {L"id"}));
    EXPECT_EQ(gen_idx_name(indexes, {L"id"}), L"UIDX_id_00000");
    indexes.push_back(udb_index(L"UIDX_id_00000", true, false, {L"id"}));
    EXPECT_EQ(gen_idx_name(indexes, {L"id"}), L"UIDX_id_00001");
}

TEST(MssTypes, StartsWithComparesExactlyOrWithoutCase)
{
    EXPECT_TRUE(str_starts_with(L"abc", L"", true));
    EXPECT_FALSE(str_starts_with(L"ab", L"abc", false));
    EXPECT_TRUE(str_starts_with(L"varchar(10)", L"varchar", true));
    EXPECT_FALSE(str_starts_with(L"VARCHAR(10)", L"varchar", true));
    EXPECT_TRUE(str_starts_with(L"VARCHAR(10)", L"varchar", false));
    EXPECT_TRUE(str_starts_with(L"ΣΕΙΡΆ", L"σει", false));
}

TEST(MssTypes, QuotesAreDoubledOncePerNestingLevel)
{
    EXPECT_EQ(mss_escape_quotes(L"o'k"), L"o''k");
    EXPECT_EQ(mss_escape_quotes(mss_escape_quotes(L"o'k")), L"o''''k");
}

TEST(MssTypes, OutOfRangeDecimalIsLoggedAndRefused)
{
    test_support::temp_dir dir;
    const std::string path = dir.file("mss.log");
    {
        tk_logger logger(path.c_str(), true, 2, false);
        const ole_variant value(L"-1234.5", VT_DECIMAL);
        const t_ftd ftd = decimal_column(5, 2);
        EXPECT_THROW(mss_get_fld_append_str(&value, &ftd, modern_native), udb_value_exception);
    }
    EXPECT_EQ(test_support::read_file(path), "Got initial string: -1234.5\r\n"
                                             "Got decimal: -1234.5, scale=1, prec=5\r\n");
}

} // namespace
