// pgs_types_test.cpp: the type table, default literals and name splitting, without a server.
#include "pgs/pgs_types.h"
#include "udb/t_ftd.h"

#include <clocale>
#include <gtest/gtest.h>
#include <optional>
#include <string>
#include <vector>

namespace
{

struct vartype_case
{
    std::string type_name;
    int precision;
    VARTYPE expected;
    int date_kind;
};

TEST(PgsTypes, CatalogTypeNamesMapToValueTypes)
{
    const std::vector<vartype_case> cases = {
        {"boolean", 0, VT_BOOL, 0},
        {"bool", 0, VT_BOOL, 0},
        {"smallint", 16, VT_I2, 0},
        {"integer", 32, VT_I4, 0},
        {"bigint", 64, VT_I8, 0},
        {"real", 24, VT_R8, 0},
        {"float4", 0, VT_R4, 0},
        {"double precision", 53, VT_R8, 0},
        {"money", 0, VT_DECIMAL, 0},
        {"numeric", 0, VT_DECIMAL, 0},
        {"numeric", 30, VT_DECIMAL, 0},
        {"numeric", 38, VT_DECIMAL, 0},
        {"numeric", 1, VT_DECIMAL, 0},
        {"numeric", 39, VT_DECIMAL, 0},
        {"numeric", 1000, VT_DECIMAL, 0},
        {"timestamp without time zone", 0, VT_DATE, 1},
        {"timestamp with time zone", 0, VT_DATE, 1},
        {"date", 0, VT_DATE, t_ftd::date_only},
        {"time without time zone", 0, VT_DATE, t_ftd::time_only},
        {"time with time zone", 0, VT_BSTR, 0},
        {"interval", 0, VT_BSTR, 0},
        {"bytea", 0, VT_BLOB, 0},
        {"character varying", 0, VT_BSTR, 0},
        {"character", 0, VT_BSTR, 0},
        {"text", 0, VT_BSTR, 0},
        {"uuid", 0, VT_BSTR, 0},
        {"ARRAY", 0, VT_BSTR, 0},
        {"USER-DEFINED", 0, VT_BSTR, 0},
        {"jsonb", 0, VT_BSTR, 0},
        {"Integer", 0, VT_BSTR, 0},
    };
    for (const vartype_case& entry : cases)
    {
        SCOPED_TRACE(entry.type_name + " " + std::to_string(entry.precision));
        EXPECT_EQ(pgs_get_vartype(entry.type_name), entry.expected);
        EXPECT_EQ(pgs_date_kind(entry.type_name), entry.date_kind);
    }
}

struct reserved_case
{
    const char* name;
    std::string type_name;
    int precision;
    int scale_bits;
    int money_scale;
    std::int32_t expected;
};

class PgsColumnReserved : public testing::TestWithParam<reserved_case>
{
};

// Money is a decimal of 19 digits at the connection's money scale; a numeric without a declared
// precision waits for its values (precision 0); the rest keep their own word.
TEST_P(PgsColumnReserved, MoneyAndNumericsCarryTheirPrecisionAndScale)
{
    const reserved_case& c = GetParam();
    EXPECT_EQ(pgs_column_reserved(c.type_name, c.precision, c.scale_bits, c.money_scale),
              c.expected);
}

INSTANTIATE_TEST_SUITE_P(
    PgsTypes, PgsColumnReserved,
    testing::Values(
        reserved_case{"MoneyInCents", "money", 0, 0, 2, t_ftd::make_precision_scale(19, 2)},
        reserved_case{"MoneyInWholeUnits", "money", 0, 0, 0, t_ftd::make_precision_scale(19, 0)},
        reserved_case{"MoneyInThousandths", "money", 0, 0, 3, t_ftd::make_precision_scale(19, 3)},
        reserved_case{"NumericWithoutPrecision", "numeric", 0, 0, 2, 0},
        reserved_case{"NumericDeclared", "numeric", 12, 4, 2, t_ftd::make_precision_scale(12, 4)},
        reserved_case{"NumericDeclaredFifty", "numeric", 50, 2, 2,
                      t_ftd::make_precision_scale(38, 2)},
        reserved_case{"Date", "date", 0, 0, 2, t_ftd::date_only},
        reserved_case{"Uuid", "uuid", 0, 0, 2, t_ftd::guid_column},
        reserved_case{"DoublePrecision", "double precision", 53, 0, 2, 0}),
    [](const testing::TestParamInfo<reserved_case>& param_info) { return param_info.param.name; });

struct decimal_case
{
    const char* name;
    int precision;
    int scale_bits; // the modifier's low 16 bits, as information_schema reports the scale
    int expected_precision;
    int expected_scale;
};

class PgsDecimalColumns : public testing::TestWithParam<decimal_case>
{
};

// Every value of the source column fits the description: whole digits and decimals both kept,
// within 38 digits.
TEST_P(PgsDecimalColumns, DescribeADecimalThatHoldsEveryValue)
{
    const decimal_case& c = GetParam();
    const std::int32_t reserved =
        pgs_decimal_reserved(c.precision, pgs_numeric_scale(c.scale_bits));
    EXPECT_EQ(reserved, t_ftd::make_precision_scale(c.expected_precision, c.expected_scale));
}

INSTANTIATE_TEST_SUITE_P(PgsTypes, PgsDecimalColumns,
                         testing::Values(decimal_case{"Plain", 10, 2, 10, 2},
                                         decimal_case{"Widest", 38, 0, 38, 0},
                                         decimal_case{"AllDecimals", 38, 38, 38, 38},
                                         decimal_case{"NegativeScale", 5, 2046, 7, 0},
                                         decimal_case{"MostNegativeScale", 1, 0x7FF & -1000, 38, 0},
                                         decimal_case{"ScaleAbovePrecision", 10, 12, 12, 12},
                                         decimal_case{"ScaleFarAbovePrecision", 2, 40, 38, 38},
                                         decimal_case{"PrecisionFifty", 50, 2, 38, 2},
                                         decimal_case{"PrecisionThousand", 1000, 3, 38, 3},
                                         decimal_case{"MostDecimals", 1000, 1000, 38, 38}),
                         [](const testing::TestParamInfo<decimal_case>& param_info)
                         { return param_info.param.name; });

struct default_case
{
    std::string text;
    bool date_column;
    std::optional<std::string> expected;
};

TEST(PgsTypes, OnlyLiteralDefaultsAreCarriedOver)
{
    const std::vector<default_case> cases = {
        {"'n/a'::character varying", false, "n/a"},
        {"'O''Brien'::character varying", false, "O'Brien"},
        {"'a''::b'::text", false, "a'::b"},
        {"''::text", false, ""},
        {"'-1'::integer", false, "-1"},
        {"'2020-01-02 03:04:05'::timestamp without time zone", true, "2020-01-02 03:04:05"},
        {"'{}'::integer[]", false, "{}"},
        {"'x'::\"char\"", false, "x"},
        {"0", false, "0"},
        {"1.50", false, "1.50"},
        {"-2.5e10", false, "-2.5e10"},
        {"42::smallint", false, "42"},
        {"true", false, "true"},
        {"false", false, "false"},
        {"(2 + 3)", false, std::nullopt},
        {"1 + 2", false, std::nullopt},
        {"'a'::text || 'b'::text", false, std::nullopt},
        {"gen_random_uuid()", false, std::nullopt},
        {"now()", false, std::nullopt},
        {"now()", true, "CURRENT_TIMESTAMP"},
        {"CURRENT_TIMESTAMP", true, "CURRENT_TIMESTAMP"},
        {"CURRENT_DATE", true, "CURRENT_TIMESTAMP"},
        {"('now'::text)::date", true, "CURRENT_TIMESTAMP"},
        {"('now'::text)::date", false, std::nullopt},
        {"CURRENT_USER", false, std::nullopt},
        {"'unterminated", false, std::nullopt},
        {"", false, std::nullopt},
    };
    for (const default_case& entry : cases)
    {
        SCOPED_TRACE(entry.text);
        EXPECT_EQ(pgs_default_literal(entry.text, entry.date_column), entry.expected);
    }
}

/// Switches the character classes of the C library to `name` for one test and back after it.
class scoped_ctype_locale
{
public:
    explicit scoped_ctype_locale(const char* name)
        : m_previous(std::setlocale(LC_CTYPE, nullptr))
        , m_active(std::setlocale(LC_CTYPE, name) != nullptr)
    {
    }
    ~scoped_ctype_locale() { std::setlocale(LC_CTYPE, m_previous.c_str()); }
    scoped_ctype_locale(const scoped_ctype_locale&) = delete;
    scoped_ctype_locale& operator=(const scoped_ctype_locale&) = delete;

    bool active() const { return m_active; }

private:
    std::string m_previous;
    bool m_active;
};

TEST(PgsTypes, DefaultWordsMatchWhateverTheProcessLocale)
{
    // Under a Turkish locale the C library lower-cases "I" to a dotless i (or not at all in
    // UTF-8), so a comparison that follows the process locale misses "current_timestamp".
    const scoped_ctype_locale turkish("tr_TR.UTF-8");
    if (!turkish.active())
    {
        GTEST_SKIP() << "locale tr_TR.UTF-8 is not installed (scripts/setup generates it)";
    }
    const std::vector<default_case> cases = {
        {"current_timestamp", true, "CURRENT_TIMESTAMP"},
        {"localtimestamp", true, "CURRENT_TIMESTAMP"},
        {"Current_Date", true, "CURRENT_TIMESTAMP"},
        {"TRANSACTION_TIMESTAMP()", true, "CURRENT_TIMESTAMP"},
        {"NOW()", true, "CURRENT_TIMESTAMP"},
        {"current_timestamp", false, std::nullopt},
    };
    for (const default_case& entry : cases)
    {
        SCOPED_TRACE(entry.text);
        EXPECT_EQ(pgs_default_literal(entry.text, entry.date_column), entry.expected);
    }
}

struct date_time_case
{
    std::string text;
    bool valid;
    SYSTEMTIME expected;
};

TEST(PgsTypes, IsoDateTimeTextBecomesCalendarFields)
{
    const std::vector<date_time_case> cases = {
        {"2020-12-25", true, {2020, 12, 0, 25, 0, 0, 0, 0}},
        {"0025-06-15", true, {25, 6, 0, 15, 0, 0, 0, 0}},
        {"2020-12-25 15:30:12", true, {2020, 12, 0, 25, 15, 30, 12, 0}},
        {"2020-12-25 15:30:12.345678", true, {2020, 12, 0, 25, 15, 30, 12, 345}},
        {"2020-12-25 15:30:12.5", true, {2020, 12, 0, 25, 15, 30, 12, 500}},
        {"2020-12-25 15:30:12.999999", true, {2020, 12, 0, 25, 15, 30, 12, 999}},
        {"2020-12-25 10:30:12.345+00", true, {2020, 12, 0, 25, 10, 30, 12, 345}},
        {"12345-01-02", true, {12345, 1, 0, 2, 0, 0, 0, 0}},
        {"23:59:59.999", true, {0, 0, 0, 0, 23, 59, 59, 999}},
        {"24:00:00", false, {}}, // no time of day
        {"23:60:00", false, {}},
        {"23:59:60", false, {}},
        {"infinity", false, {}},
        {"-infinity", false, {}},
        {"0044-03-15 BC", false, {}},
        {"2020-12-25 10:30:12+05:30", false, {}},
        {"25.12.2020", false, {}},
        {"2020-12-25 15:30:12.", false, {}},
        {"2020-1-5", false, {}},
        {"", false, {}},
    };
    for (const date_time_case& entry : cases)
    {
        SCOPED_TRACE(entry.text);
        SYSTEMTIME actual{};
        EXPECT_EQ(pgs_parse_date_time(entry.text, actual), entry.valid);
        EXPECT_EQ(actual, entry.expected);
    }
}

struct microsecond_case
{
    std::string text;
    std::uint16_t milliseconds;
    std::uint16_t microseconds;
};

// timestamp, timestamptz and time print up to six fraction digits; all six survive.
TEST(PgsTypes, FractionKeepsItsMicroseconds)
{
    const std::vector<microsecond_case> cases = {
        {"10:00:00.123456", 123, 456},
        {"2020-01-02 10:00:00.123456", 123, 456},
        {"2020-01-02 10:00:00.123456+00", 123, 456},
        {"2020-01-02 10:00:00.000001", 0, 1},
        {"23:59:59.999999", 999, 999},
        {"10:00:00.1234", 123, 400},
        {"10:00:00.5", 500, 0},
        {"10:00:00", 0, 0},
        {"2020-01-02", 0, 0},
    };
    for (const microsecond_case& entry : cases)
    {
        SCOPED_TRACE(entry.text);
        SYSTEMTIME time{};
        std::uint16_t microseconds = 1000;
        ASSERT_TRUE(pgs_parse_date_time(entry.text, time, microseconds));
        EXPECT_EQ(time.wMilliseconds, entry.milliseconds);
        EXPECT_EQ(microseconds, entry.microseconds);
    }
}

TEST(PgsTypes, RefusedTextLeavesTheMicrosecondsAlone)
{
    SYSTEMTIME time{};
    std::uint16_t microseconds = 77;
    EXPECT_FALSE(pgs_parse_date_time("2020-01-02 10:00:00.123456+05:30", time, microseconds));
    EXPECT_EQ(microseconds, 77);
}

struct split_case
{
    std::wstring name;
    std::wstring schema;
    std::wstring table;
};

TEST(PgsTypes, SplitNameFindsSchemaAndTable)
{
    const std::vector<split_case> cases = {
        {L"orders", L"public", L"orders"},
        {L"Sales.Order Items", L"Sales", L"Order Items"},
        {L"a.b.c", L"a", L"b.c"},
        {L"\"Sales\".\"Orders\"", L"Sales", L"Orders"},
        {L"\"dotted.name\"", L"public", L"dotted.name"},
        {L"\"a.b\".\"c\"", L"a.b", L"c"},
    };
    for (const split_case& entry : cases)
    {
        const auto [schema, table] = pgs_split_name(entry.name);
        EXPECT_EQ(schema, entry.schema);
        EXPECT_EQ(table, entry.table);
    }
}

} // namespace
