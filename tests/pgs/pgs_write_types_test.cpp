// pgs_write_types_test.cpp: column types, SQL literals, defaults and COPY text of the write side.
#include "pgs/pgs_exception.h"
#include "pgs/pgs_names_map.h"
#include "pgs/pgs_write_types.h"
#include "test_support.h"
#include "tk/tk_exception.h"

#include <gtest/gtest.h>
#include <limits>
#include <optional>
#include <ostream>
#include <string>

namespace
{

t_ftd column_of(VARTYPE vartype, int size = 0, int reserved = 0)
{
    return t_ftd(size, L"c", vartype, false, false, ole_variant(), reserved, L"");
}

ole_variant date_value(int year, int month, int day, int hour, int minute, int second,
                       int milliseconds, int microseconds)
{
    return ole_variant(
        test_support::system_time(year, month, day, hour, minute, second, milliseconds),
        static_cast<std::uint16_t>(microseconds));
}

struct type_case
{
    VARTYPE vartype;
    int size;
    int reserved;
    std::wstring expected;
};

class PgsColumnType : public testing::TestWithParam<type_case>
{
};

TEST_P(PgsColumnType, IsThePostgreSqlTypeOfTheDescription)
{
    const type_case& test = GetParam();
    EXPECT_EQ(pgs_column_type(column_of(test.vartype, test.size, test.reserved)), test.expected);
}

INSTANTIATE_TEST_SUITE_P(
    Types, PgsColumnType,
    testing::Values(type_case{VT_R4, 0, 0, L"REAL"}, type_case{VT_R8, 0, 0, L"DOUBLE PRECISION"},
                    type_case{VT_BOOL, 0, 0, L"SMALLINT"}, type_case{VT_UI2, 0, 0, L"INTEGER"},
                    type_case{VT_UI4, 0, 0, L"BIGINT"}, type_case{VT_UI8, 0, 0, L"NUMERIC(20)"},
                    type_case{VT_CY, 0, 0, L"DECIMAL(19, 4)"},
                    type_case{VT_DECIMAL, 0, t_ftd::make_precision_scale(12, 3), L"DECIMAL(12,3)"},
                    type_case{VT_DECIMAL, 0, 0, L"DECIMAL"},
                    type_case{VT_DATE, 0, t_ftd::date_only, L"DATE"},
                    type_case{VT_DATE, 0, t_ftd::time_only, L"TIME"},
                    type_case{VT_DATE, 0, 1, L"TIMESTAMP"},
                    type_case{VT_BSTR, 40, 0, L"VARCHAR(40) "},
                    type_case{VT_BSTR, 32672, 0, L"VARCHAR(32672) "},
                    type_case{VT_BSTR, 32673, 0, L"TEXT"}, type_case{VT_BSTR, 0, 0, L"TEXT"},
                    type_case{VT_BLOB, 0, 0, L"BYTEA"}, type_case{VT_BYTE_ARRAY, 16, 0, L"BYTEA"}));

TEST(PgsColumnTypeFailure, ValueTypeWithoutPostgreSqlTypeIsInternalError)
{
    EXPECT_THROW(pgs_column_type(column_of(VT_VARIANT)), tk_mail_assertion);
}

struct literal_case
{
    std::wstring text;
    VARTYPE vartype;
    int date_kind;
    std::wstring expected;
};

class PgsLiteral : public testing::TestWithParam<literal_case>
{
};

TEST_P(PgsLiteral, TextBecomesItsSqlLiteral)
{
    const literal_case& test = GetParam();
    EXPECT_EQ(to_pgs_str(test.text, test.vartype, test.date_kind), test.expected);
}

INSTANTIATE_TEST_SUITE_P(
    Literals, PgsLiteral,
    testing::Values(literal_case{L"O'Brien", VT_BSTR, 1, L"'O''Brien'"},
                    literal_case{L"", VT_BSTR, 1, L"''"}, literal_case{L"", VT_I4, 1, L"NULL"},
                    literal_case{L"-12.5e3", VT_R8, 1, L"-12.5e3"},
                    // Text that is no number must not reach the statement bare.
                    literal_case{L"1); DROP TABLE t; --", VT_I4, 1, L"'1); DROP TABLE t; --'"},
                    literal_case{L"0x1a2B", VT_BLOB, 1, L"DECODE('1a2B','hex')"},
                    literal_case{L"0xZZ", VT_BLOB, 1, L"''"},
                    literal_case{L"1x00", VT_BLOB, 1, L"''"}, literal_case{L"0", VT_BLOB, 1, L"''"},
                    literal_case{L"1850-03-01 10:20:30", VT_DATE, 1, L"'1850-03-01 10:20:30'"},
                    literal_case{L"1850-03-01 10:20:30", VT_DATE, 2, L"'1850-03-01'"},
                    literal_case{L"10:20:30", VT_DATE, 3, L"'10:20:30'"},
                    literal_case{L"not a date", VT_DATE, 1, L""}));

struct value_case
{
    ole_variant value;
    t_ftd column;
    std::optional<std::string> text;
    std::string copy_field;
    std::wstring literal;
};

void PrintTo(const value_case& test, std::ostream* out)
{
    *out << "value of kind " << test.value.get_type() << " as \"" << test.copy_field << "\"";
}

class PgsValueText : public testing::TestWithParam<value_case>
{
};

TEST_P(PgsValueText, ValueBecomesCopyTextAndLiteral)
{
    const value_case& test = GetParam();
    EXPECT_EQ(pgs_value_text(test.value, test.column), test.text);
    std::string line;
    pgs_append_copy_field(line, pgs_value_text(test.value, test.column));
    EXPECT_EQ(line, test.copy_field);
    EXPECT_EQ(pgs_value_literal(test.value, test.column), test.literal);
}

const std::uint8_t some_bytes[] = {0x00, 0x5c, 0xff};

INSTANTIATE_TEST_SUITE_P(
    Values, PgsValueText,
    testing::Values(value_case{ole_variant(), column_of(VT_I4), std::nullopt, "\\N", L"NULL"},
                    value_case{ole_variant(), column_of(VT_BSTR, 10), std::nullopt, "\\N", L"NULL"},
                    value_case{ole_variant(L""), column_of(VT_BSTR, 10), "", "", L"''"},
                    value_case{ole_variant(L"a\tb\nc\\d\re'f"), column_of(VT_BSTR),
                               "a\tb\nc\\d\re'f", "a\\tb\\nc\\\\d\\re'f", L"'a\tb\nc\\d\re''f'"},
                    value_case{ole_variant(L"\\N"), column_of(VT_BSTR), "\\N", "\\\\N", L"'\\N'"},
                    value_case{ole_variant(L"Grüße, Σ"), column_of(VT_BSTR), "Grüße, Σ", "Grüße, Σ",
                               L"'Grüße, Σ'"},
                    value_case{ole_variant(sizeof some_bytes, some_bytes), column_of(VT_BLOB),
                               "\\x005cff", "\\\\x005cff", L"DECODE('005cff','hex')"},
                    value_case{ole_variant(std::size_t{0}, some_bytes), column_of(VT_BLOB), "\\x",
                               "\\\\x", L"DECODE('','hex')"},
                    value_case{ole_variant(L"0x0aFF"), column_of(VT_BLOB), "\\x0aFF", "\\\\x0aFF",
                               L"DECODE('0aFF','hex')"},
                    value_case{date_value(1850, 3, 1, 0, 0, 0, 0, 0), column_of(VT_DATE, 0, 2),
                               "1850-03-01", "1850-03-01", L"'1850-03-01'"},
                    value_case{date_value(1899, 12, 29, 23, 59, 58, 123, 456),
                               column_of(VT_DATE, 0, 1), "1899-12-29 23:59:58.123456",
                               "1899-12-29 23:59:58.123456", L"'1899-12-29 23:59:58.123456'"},
                    value_case{date_value(45, 6, 7, 8, 9, 10, 0, 0), column_of(VT_DATE, 0, 1),
                               "0045-06-07 08:09:10", "0045-06-07 08:09:10",
                               L"'0045-06-07 08:09:10'"},
                    value_case{date_value(0, 0, 0, 8, 9, 10, 5, 0), column_of(VT_DATE, 0, 3),
                               "08:09:10.005000", "08:09:10.005000", L"'08:09:10.005000'"},
                    value_case{ole_variant(L"1850-03-01"), column_of(VT_DATE, 0, 2), "1850-03-01",
                               "1850-03-01", L"'1850-03-01'"},
                    value_case{ole_variant(-42), column_of(VT_I4), "-42", "-42", L"'-42'"},
                    value_case{ole_variant(true), column_of(VT_BOOL), "1", "1", L"'1'"},
                    value_case{ole_variant(std::numeric_limits<double>::quiet_NaN()),
                               column_of(VT_R8), "NaN", "NaN", L"'NaN'"},
                    value_case{ole_variant(-std::numeric_limits<double>::infinity()),
                               column_of(VT_R8), "-Infinity", "-Infinity", L"'-Infinity'"}));

TEST(PgsValueTextFailure, TextThatIsNoDateForDateColumnNamesValueAndColumn)
{
    const t_ftd column(0, L"born", VT_DATE, false, false, ole_variant(), 2, L"");
    try
    {
        pgs_value_text(ole_variant(L"yesterday"), column);
        FAIL() << "no exception";
    }
    catch (const pgs_exception& error)
    {
        EXPECT_STREQ(error.what(), "The value 'yesterday' of column 'born' is not a date");
    }
}

struct default_case
{
    VARTYPE vartype;
    int size;
    ole_variant value;
    std::wstring expected;
};

class PgsDefault : public testing::TestWithParam<default_case>
{
};

TEST_P(PgsDefault, DefaultBecomesSqlTextOrNothing)
{
    const default_case& test = GetParam();
    const t_ftd column(test.size, L"c", test.vartype, false, false, test.value, 2, L"");
    EXPECT_EQ(make_pgs_def_val(column), test.expected);
}

INSTANTIATE_TEST_SUITE_P(
    Defaults, PgsDefault,
    testing::Values(default_case{VT_I4, 0, ole_variant(42), L"42"},
                    default_case{VT_I4, 0, ole_variant(L"007"), L""},
                    default_case{VT_I4, 0, ole_variant(L"3000000000"), L""},
                    default_case{VT_BOOL, 0, ole_variant(true), L"1"},
                    default_case{VT_R8, 0, ole_variant(L"-1.5e3"), L"-1.5e3"},
                    // Pasted bare into CREATE TABLE: anything but one number is refused.
                    default_case{VT_R8, 0, ole_variant(L"1abc"), L""},
                    default_case{VT_DECIMAL, 0, ole_variant(L"0,0"), L""},
                    default_case{VT_BSTR, 3, ole_variant(L"it's long"), L"'it'''"},
                    default_case{VT_BSTR, 0, ole_variant(L""), L""},
                    default_case{VT_DATE, 0, ole_variant(L"1850-03-01"), L"'1850-03-01'"},
                    default_case{VT_DATE, 0, ole_variant(L"CURRENT_TIMESTAMP"), L""},
                    default_case{VT_BLOB, 0, ole_variant(L"0x00"), L""}));

} // namespace

namespace
{

TEST(PgsNamesMap, LooksUpWithOrWithoutCaseAndKeepsFirstTarget)
{
    t_names_map renamings;
    renamings.add(L"Bad-Name", L"Bad_Name");
    renamings.add(L"Bad-Name", L"other");
    EXPECT_EQ(renamings.get_mapped_name(L"Bad-Name", true), L"Bad_Name");
    EXPECT_EQ(renamings.get_mapped_name(L"bad-name", true), L"bad-name");
    EXPECT_EQ(renamings.get_mapped_name(L"BAD-NAME", false), L"Bad_Name");
    EXPECT_EQ(renamings.get_mapped_name(L"code", false), L"code");
}

} // namespace
