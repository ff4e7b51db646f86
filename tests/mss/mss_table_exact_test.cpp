// mss_table_exact_test.cpp: values written into a column of an existing table by its SQL Server
// type, on the bulk load and on INSERT statements alike: one kept and one refused for each type,
// the code page of a varchar column from its collation.
#include "mss/mss_table.h"
#include "mss_table_fixture.h"
#include "udb/udb_value_exception.h"

#include <gtest/gtest.h>

namespace
{

using namespace mss_test;

const std::wstring sys_columns_sql =
    L"SELECT c.name, TYPE_NAME(c.system_type_id), c.scale, c.max_length, "
    L"CAST(COLLATIONPROPERTY(c.collation_name, 'CodePage') AS int), c.precision FROM sys.columns "
    L"AS c WHERE c.object_id = OBJECT_ID(N'[dbo].[t]')";

// What sys.columns tells of the column v.
struct catalog_type
{
    const wchar_t* name;
    int scale;
    int max_length;
    int code_page;
    int precision = 0;
};

struct exact_case
{
    const char* name;
    plat::oledb::column_desc destination;
    catalog_type type;
    ole_variant value;
    // The literal of the INSERT that writes the row; empty when the row is refused.
    std::wstring literal;
};

plat::oledb::column_desc with_digits(plat::oledb::column_desc column, std::int16_t digits)
{
    column.decimal_digits = digits;
    return column;
}

ole_variant decimal(const std::string& digits)
{
    ole_variant value;
    EXPECT_TRUE(value.set_decimal_text(digits));
    return value;
}

ole_variant at(int hour, int minute, int second, int milliseconds, std::uint16_t micro = 0,
               int year = 2020)
{
    return ole_variant(system_time(year, 1, 2, hour, minute, second, milliseconds), micro);
}

ole_variant time_of_day(int hour, int minute, int second, int milliseconds)
{
    return ole_variant(system_time(0, 0, 0, hour, minute, second, milliseconds), 0);
}

// Writes one row {v: value} into the existing [dbo].[t] (v of the case's type) by the bulk load
// or by INSERT statements; true when the writer refused it.
class MssTableExact : public MssTable, public testing::WithParamInterface<exact_case>
{
protected:
    bool write(bool bulk, std::vector<std::wstring>& inserts)
    {
        const exact_case& given = GetParam();
        const std::wstring precision = std::to_wstring(given.destination.size);
        m_script->batches[sp_columns_sql] = {
            sp_columns_rows({sp_row(L"t", L"v", given.type.name, precision.c_str(), L"10",
                                    std::to_wstring(given.type.scale), std::nullopt)})};
        fake_result types;
        for (const wchar_t* name :
             {L"name", L"type", L"scale", L"max_length", L"code_page", L"precision"})
        {
            types.columns.push_back(described(name, sql_type::wvarchar, 128));
        }
        types.rows = {{text(u"v"), text(plat::wide_to_utf16(given.type.name)),
                       text(plat::wide_to_utf16(std::to_wstring(given.type.scale))),
                       text(plat::wide_to_utf16(std::to_wstring(given.type.max_length))),
                       text(plat::wide_to_utf16(std::to_wstring(given.type.code_page))),
                       text(plat::wide_to_utf16(std::to_wstring(given.type.precision)))}};
        m_script->batches[sys_columns_sql] = {types};
        open(bulk, bulk, {given.destination});
        std::unique_ptr<odb_table> table = existing(udb_open_mode::append);
        udb_record record = row_of({{L"v", given.value}});
        bool refused = false;
        try
        {
            table->append_record(record);
        }
        catch (const udb_value_exception& error)
        {
            refused = true;
            EXPECT_NE(std::string(error.what()).find("has no form in column v"), std::string::npos)
                << error.what();
        }
        table->flush();
        inserts = trace_of({L"SET QUOTED_IDENTIFIER OFF; INSERT"});
        // A value the bulk slot does not take goes by an INSERT of its own.
        const std::vector<std::wstring> rows = trace_of({L"row(", L"INSERT"});
        EXPECT_EQ(rows.size() + inserts.size(), refused ? 0u : 1u)
            << "sent as often as kept: " << testing::PrintToString(m_script->trace);
        return refused;
    }
};

TEST_P(MssTableExact, BulkLoadKeepsTheValueExactlyOrRefusesItsRow)
{
    std::vector<std::wstring> inserts;
    EXPECT_EQ(write(true, inserts), GetParam().literal.empty());
}

TEST_P(MssTableExact, InsertKeepsTheValueExactlyOrRefusesItsRow)
{
    std::vector<std::wstring> inserts;
    const bool refused = write(false, inserts);
    EXPECT_EQ(refused, GetParam().literal.empty());
    if (!refused)
    {
        ASSERT_EQ(inserts.size(), 1u);
        EXPECT_TRUE(inserts[0].ends_with(L"VALUES( " + GetParam().literal + L")")) << inserts[0];
    }
}

const plat::oledb::column_desc int_column = described(L"v", sql_type::integer, 10);
const plat::oledb::column_desc bit_column = described(L"v", sql_type::bit, 1);
const plat::oledb::column_desc stamp_column =
    described(L"v", sql_type::type_timestamp, 23, false, L"datetime");

INSTANTIATE_TEST_SUITE_P(
    Types, MssTableExact,
    testing::Values(
        exact_case{"IntTakesTextOfAWholeNumber",
                   int_column,
                   {L"int", 0, 4, 0},
                   ole_variant(L" +03"),
                   L"3"},
        exact_case{
            "IntRefusesTextWithAFraction", int_column, {L"int", 0, 4, 0}, ole_variant(L"2.9"), L""},
        exact_case{
            "IntRefusesTextWithLetters", int_column, {L"int", 0, 4, 0}, ole_variant(L"3x"), L""},
        exact_case{"IntTakesADecimalOfZeroFraction",
                   int_column,
                   {L"int", 0, 4, 0},
                   decimal("-4.00"),
                   L"-4"},
        exact_case{
            "IntRefusesADecimalWithAFraction", int_column, {L"int", 0, 4, 0}, decimal("-3.7"), L""},
        exact_case{"IntRefusesANumberBeyondItsRange",
                   int_column,
                   {L"int", 0, 4, 0},
                   ole_variant(2147483648LL),
                   L""},
        exact_case{"TinyintTakes255",
                   described(L"v", sql_type::tinyint, 3),
                   {L"tinyint", 0, 1, 0},
                   ole_variant(255),
                   L"255"},
        exact_case{"TinyintRefusesANegative",
                   described(L"v", sql_type::tinyint, 3),
                   {L"tinyint", 0, 1, 0},
                   ole_variant(-1),
                   L""},
        exact_case{"SmallintTakesItsLeast",
                   described(L"v", sql_type::smallint, 5),
                   {L"smallint", 0, 2, 0},
                   ole_variant(-32768),
                   L"-32768"},
        exact_case{"SmallintRefuses32768",
                   described(L"v", sql_type::smallint, 5),
                   {L"smallint", 0, 2, 0},
                   ole_variant(32768),
                   L""},
        exact_case{"BigintTakesAWholeDouble",
                   described(L"v", sql_type::bigint, 19),
                   {L"bigint", 0, 8, 0},
                   ole_variant(1e15),
                   L"1000000000000000"},
        exact_case{"BigintRefusesADoubleBeyondItsRange",
                   described(L"v", sql_type::bigint, 19),
                   {L"bigint", 0, 8, 0},
                   ole_variant(1e19),
                   L""},
        exact_case{"BitTakesABoolean", bit_column, {L"bit", 0, 1, 0}, ole_variant(true), L"1"},
        exact_case{"BitTakesOne", bit_column, {L"bit", 0, 1, 0}, ole_variant(1), L"1"},
        exact_case{"BitRefusesTwo", bit_column, {L"bit", 0, 1, 0}, ole_variant(2), L""},
        exact_case{"IntRefusesABoolean", int_column, {L"int", 0, 4, 0}, ole_variant(true), L""},
        exact_case{"DecimalTakesWhatItsScaleHolds",
                   with_digits(described(L"v", sql_type::numeric, 12), 2),
                   {L"decimal", 2, 9, 0},
                   decimal("2.5"),
                   L"2.5"},
        exact_case{"DecimalRefusesDigitsBeyondItsScale",
                   with_digits(described(L"v", sql_type::numeric, 12), 2),
                   {L"decimal", 2, 9, 0},
                   decimal("2.555"),
                   L""},
        exact_case{"RealTakesADoubleOfFewDigits",
                   described(L"v", sql_type::real, 24),
                   {L"real", 0, 4, 0},
                   ole_variant(0.1),
                   L"0.100000001"},
        exact_case{"RealRefusesADoubleOfMoreDigits",
                   described(L"v", sql_type::real, 24),
                   {L"real", 0, 4, 0},
                   ole_variant(0.123456789),
                   L""},
        exact_case{"FloatTakesADecimal",
                   described(L"v", sql_type::double_, 53),
                   {L"float", 0, 8, 0},
                   decimal("2.50"),
                   L"2.5"},
        exact_case{"FloatRefusesADecimalOfMoreDigits",
                   described(L"v", sql_type::double_, 53),
                   {L"float", 0, 8, 0},
                   decimal("0.12345678901234567890123"),
                   L""},
        exact_case{"DateTakesMidnight",
                   described(L"v", sql_type::type_date, 10),
                   {L"date", 0, 3, 0},
                   at(0, 0, 0, 0),
                   L"'20200102'"},
        exact_case{"DateRefusesATimeOfDay",
                   described(L"v", sql_type::type_date, 10),
                   {L"date", 0, 3, 0},
                   at(3, 4, 5, 0),
                   L""},
        exact_case{"SmalldatetimeTakesWholeMinutes",
                   described(L"v", sql_type::type_timestamp, 16, false, L"smalldatetime"),
                   {L"smalldatetime", 0, 4, 0},
                   at(10, 31, 0, 0),
                   L"'20200102 10:31:00'"},
        exact_case{"SmalldatetimeRefusesSeconds",
                   described(L"v", sql_type::type_timestamp, 16, false, L"smalldatetime"),
                   {L"smalldatetime", 0, 4, 0},
                   at(10, 31, 5, 0),
                   L""},
        exact_case{"DatetimeTakesMillisecondsEndingIn3",
                   stamp_column,
                   {L"datetime", 3, 8, 0},
                   at(10, 0, 0, 123),
                   L"'20200102 10:00:00.123'"},
        exact_case{"DatetimeRefusesMicroseconds",
                   stamp_column,
                   {L"datetime", 3, 8, 0},
                   at(10, 0, 0, 123, 456),
                   L""},
        exact_case{"DatetimeRefusesMillisecondsEndingIn5",
                   stamp_column,
                   {L"datetime", 3, 8, 0},
                   at(10, 0, 0, 125),
                   L""},
        exact_case{"DatetimeRefusesTheYear1700",
                   stamp_column,
                   {L"datetime", 3, 8, 0},
                   at(0, 0, 0, 0, 0, 1700),
                   L""},
        exact_case{
            "Datetime2Of3DigitsTakesMilliseconds",
            with_digits(described(L"v", sql_type::type_timestamp, 23, false, L"datetime2"), 3),
            {L"datetime2", 3, 7, 0},
            at(10, 0, 0, 125),
            L"'20200102 10:00:00.125'"},
        exact_case{
            "Datetime2Of3DigitsRefusesMicroseconds",
            with_digits(described(L"v", sql_type::type_timestamp, 23, false, L"datetime2"), 3),
            {L"datetime2", 3, 7, 0},
            at(10, 0, 0, 125, 1),
            L""},
        exact_case{"TimeOf0DigitsTakesWholeSeconds",
                   described(L"v", sql_type::ss_time2, 8),
                   {L"time", 0, 3, 0},
                   time_of_day(10, 0, 1, 0),
                   L"'18991230 10:00:01'"},
        exact_case{"TimeOf0DigitsRefusesAFraction",
                   described(L"v", sql_type::ss_time2, 8),
                   {L"time", 0, 3, 0},
                   time_of_day(10, 0, 1, 500),
                   L""},
        exact_case{"TimeRefusesADate",
                   described(L"v", sql_type::ss_time2, 8),
                   {L"time", 0, 3, 0},
                   at(10, 0, 1, 0),
                   L""},
        exact_case{"VarcharOfCodePage1252TakesAccents",
                   described(L"v", sql_type::varchar, 10),
                   {L"varchar", 0, 10, 1252},
                   ole_variant(L"caf\u00e9"),
                   L"N'caf\u00e9'"},
        exact_case{"VarcharOfCodePage1252RefusesJapanese",
                   described(L"v", sql_type::varchar, 10),
                   {L"varchar", 0, 10, 1252},
                   ole_variant(L"\u65e5\u672c"),
                   L""},
        exact_case{"VarcharOfCodePage932TakesJapanese",
                   described(L"v", sql_type::varchar, 10),
                   {L"varchar", 0, 10, 932},
                   ole_variant(L"\u65e5\u672c"),
                   L"N'\u65e5\u672c'"},
        exact_case{"VarcharOfCodePage932CountsItsBytes",
                   described(L"v", sql_type::varchar, 3),
                   {L"varchar", 0, 3, 932},
                   ole_variant(L"\u65e5\u672c"),
                   L""},
        exact_case{"VarcharOfAUtf8CollationTakesEveryCharacter",
                   described(L"v", sql_type::varchar, 10),
                   {L"varchar", 0, 10, 65001},
                   ole_variant(L"\u65e5\U0001F600"),
                   L"N'\u65e5\U0001F600'"},
        exact_case{"VarcharOfNoKnownCodePageRefusesAccents",
                   described(L"v", sql_type::varchar, 10),
                   {L"varchar", 0, 10, 0},
                   ole_variant(L"caf\u00e9"),
                   L""},
        exact_case{"VarcharRefusesTextPastItsLength",
                   described(L"v", sql_type::varchar, 3),
                   {L"varchar", 0, 3, 1252},
                   ole_variant(L"abcd"),
                   L""},
        exact_case{"VarcharTakesANumberAsText",
                   described(L"v", sql_type::varchar, 10),
                   {L"varchar", 0, 10, 1252},
                   ole_variant(25),
                   L"N'25'"},
        // text reports the size of its pointer as its length: only the code page counts.
        exact_case{"TextOfCodePage1252TakesALongText",
                   described(L"v", sql_type::longvarchar, 0),
                   {L"text", 0, 16, 1252},
                   ole_variant(std::wstring(40, L'\u00e9')),
                   L"N'" + std::wstring(40, L'\u00e9') + L"'"},
        exact_case{"TextOfCodePage1252RefusesJapanese",
                   described(L"v", sql_type::longvarchar, 0),
                   {L"text", 0, 16, 1252},
                   ole_variant(L"\u65e5"),
                   L""},
        exact_case{"CharTakesShorterText",
                   described(L"v", sql_type::char_, 3),
                   {L"char", 0, 3, 1252},
                   ole_variant(L"ab"),
                   L"N'ab'"},
        exact_case{"CharRefusesLongerText",
                   described(L"v", sql_type::char_, 3),
                   {L"char", 0, 3, 1252},
                   ole_variant(L"abcd"),
                   L""},
        exact_case{"NvarcharTakesUnitsItHolds",
                   described(L"v", sql_type::wvarchar, 3),
                   {L"nvarchar", 0, 6, 0},
                   ole_variant(L"\u65e5\u672c\u8a9e"),
                   L"N'\u65e5\u672c\u8a9e'"},
        exact_case{"NvarcharCountsASurrogatePairTwice",
                   described(L"v", sql_type::wvarchar, 3),
                   {L"nvarchar", 0, 6, 0},
                   ole_variant(L"ab\U0001F600"),
                   L""},
        exact_case{"NcharTakesShorterText",
                   described(L"v", sql_type::wchar, 3),
                   {L"nchar", 0, 6, 0},
                   ole_variant(L"a"),
                   L"N'a'"},
        exact_case{"NcharRefusesLongerText",
                   described(L"v", sql_type::wchar, 3),
                   {L"nchar", 0, 6, 0},
                   ole_variant(L"abcd"),
                   L""}),
    [](const testing::TestParamInfo<exact_case>& param_info)
    { return std::string(param_info.param.name); });

plat::oledb::column_desc decimal_column(std::uint64_t precision, std::int16_t scale)
{
    return with_digits(described(L"v", sql_type::decimal, precision), scale);
}

plat::oledb::column_desc money_column(const wchar_t* name)
{
    return with_digits(
        described(L"v", sql_type::decimal, name == std::wstring(L"money") ? 19 : 10, false, name),
        4);
}

ole_variant bytes_value()
{
    const std::uint8_t data[] = {1, 2};
    return ole_variant(sizeof data, data);
}

const catalog_type decimal_10_2{L"decimal", 2, 9, 0, 10};
const catalog_type decimal_38_20{L"decimal", 20, 17, 0, 38};
const catalog_type money_type{L"money", 4, 8, 0, 19};
const catalog_type smallmoney_type{L"smallmoney", 4, 4, 0, 10};
const catalog_type float_type{L"float", 0, 8, 0, 53};
const catalog_type real_type{L"real", 0, 4, 0, 24};
const catalog_type date_type{L"date", 0, 3, 0, 10};
const catalog_type datetime_type{L"datetime", 3, 8, 0, 23};
const catalog_type datetime2_7{L"datetime2", 7, 8, 0, 27};
const catalog_type datetime2_3{L"datetime2", 3, 7, 0, 23};
const catalog_type offset_7{L"datetimeoffset", 7, 10, 0, 34};
const catalog_type smalldatetime_type{L"smalldatetime", 0, 4, 0, 16};
const catalog_type time_6{L"time", 6, 5, 0, 15};
const catalog_type guid_type{L"uniqueidentifier", 0, 16, 0, 0};

const plat::oledb::column_desc float_column = described(L"v", sql_type::double_, 53);
const plat::oledb::column_desc date_column = described(L"v", sql_type::type_date, 10);
const plat::oledb::column_desc datetime2_column =
    with_digits(described(L"v", sql_type::type_timestamp, 27, false, L"datetime2"), 7);
const plat::oledb::column_desc offset_column =
    with_digits(described(L"v", sql_type::ss_timestampoffset, 34, false, L"datetimeoffset"), 7);
const plat::oledb::column_desc time_column =
    with_digits(described(L"v", sql_type::ss_time2, 15), 6);
const plat::oledb::column_desc guid_column = described(L"v", sql_type::guid, 36);
const std::wstring guid_text = L"6F9619FF-8B86-D011-B42D-00C04FC964FF";

// One value kept and one refused around each edge of the rules for decimal, money, text read
// whole as one value, a time of day alone in a column with a date, and negative zero.
INSTANTIATE_TEST_SUITE_P(
    Rules, MssTableExact,
    testing::Values(
        // Precision and scale of decimal(10,2), from each kind of source.
        exact_case{"DecimalTakesEightWholeDigits", decimal_column(10, 2), decimal_10_2,
                   decimal("-99999999.99"), L"-99999999.99"},
        exact_case{"DecimalRefusesNineWholeDigits", decimal_column(10, 2), decimal_10_2,
                   decimal("100000000"), L""},
        exact_case{"DecimalTakesTrailingZerosPastItsScale", decimal_column(10, 2), decimal_10_2,
                   decimal("2.5000"), L"2.5"},
        exact_case{"DecimalRefusesAThirdDecimal", decimal_column(10, 2), decimal_10_2,
                   decimal("0.015"), L""},
        exact_case{"DecimalTakesAWholeNumber", decimal_column(10, 2), decimal_10_2,
                   ole_variant(12345678), L"12345678"},
        exact_case{"DecimalRefusesAWholeNumberPastItsPrecision", decimal_column(10, 2),
                   decimal_10_2, ole_variant(123456789LL), L""},
        exact_case{"DecimalTakesTheShortestFormOfADouble", decimal_column(38, 20), decimal_38_20,
                   ole_variant(0.30000000000000004), L"0.30000000000000004"},
        exact_case{"DecimalTakesADoubleOfSeventeenDigits", decimal_column(38, 20), decimal_38_20,
                   ole_variant(123456789.12345679), L"123456789.12345679"},
        exact_case{"DecimalRefusesADoubleItsScaleWouldRound", decimal_column(10, 2), decimal_10_2,
                   ole_variant(0.30000000000000004), L""},
        exact_case{"DecimalTakesADoubleOfTwoDecimals", decimal_column(10, 2), decimal_10_2,
                   ole_variant(0.25), L"0.25"},
        exact_case{"DecimalRefusesABoolean", decimal_column(10, 2), decimal_10_2, ole_variant(true),
                   L""},
        exact_case{"DecimalRefusesADate", decimal_column(10, 2), decimal_10_2, at(0, 0, 0, 0), L""},
        exact_case{"DecimalRefusesBinary", decimal_column(10, 2), decimal_10_2, bytes_value(), L""},
        exact_case{"NumericTakesTextWithBlanksAround",
                   decimal_column(10, 2),
                   {L"numeric", 2, 9, 0, 10},
                   ole_variant(L" -1.50 "),
                   L"-1.5"},
        exact_case{"DecimalTakesTextWithoutWholeDigits", decimal_column(10, 2), decimal_10_2,
                   ole_variant(L".5"), L"0.5"},
        exact_case{"DecimalTakesTextWithoutDecimals", decimal_column(10, 2), decimal_10_2,
                   ole_variant(L"5."), L"5"},
        exact_case{"DecimalRefusesAPointAlone", decimal_column(10, 2), decimal_10_2,
                   ole_variant(L"."), L""},
        exact_case{"DecimalRefusesADecimalComma", decimal_column(10, 2), decimal_10_2,
                   ole_variant(L"1,5"), L""},
        exact_case{"DecimalRefusesAThousandsSeparator", decimal_column(10, 2), decimal_10_2,
                   ole_variant(L"1,000.25"), L""},
        exact_case{"DecimalRefusesAnExponent", decimal_column(10, 2), decimal_10_2,
                   ole_variant(L"1e2"), L""},
        exact_case{"DecimalRefusesTextLeftOver", decimal_column(10, 2), decimal_10_2,
                   ole_variant(L"2.5 x"), L""},
        exact_case{"DecimalRefusesTextPastItsScale", decimal_column(10, 2), decimal_10_2,
                   ole_variant(L"2.555"), L""},
        // money: four decimals and the range of a 64-bit count of ten-thousandths.
        exact_case{"MoneyTakesFourDecimals", money_column(L"money"), money_type, decimal("1.2345"),
                   L"1.2345"},
        exact_case{"MoneyRefusesAFifthDecimal", money_column(L"money"), money_type,
                   decimal("1.23456"), L""},
        exact_case{"MoneyRefusesATinyFraction", money_column(L"money"), money_type,
                   decimal("0.00005"), L""},
        exact_case{"MoneyTakesItsLargest", money_column(L"money"), money_type,
                   decimal("922337203685477.5807"), L"922337203685477.5807"},
        exact_case{"MoneyRefusesPastItsLargest", money_column(L"money"), money_type,
                   decimal("922337203685477.5808"), L""},
        exact_case{"MoneyTakesItsLeast", money_column(L"money"), money_type,
                   decimal("-922337203685477.5808"), L"-922337203685477.5808"},
        exact_case{"MoneyRefusesPastItsLeast", money_column(L"money"), money_type,
                   decimal("-922337203685477.5809"), L""},
        exact_case{"SmallmoneyTakesItsLargest", money_column(L"smallmoney"), smallmoney_type,
                   decimal("214748.3647"), L"214748.3647"},
        exact_case{"SmallmoneyRefusesPastItsLargest", money_column(L"smallmoney"), smallmoney_type,
                   decimal("214748.3648"), L""},
        exact_case{"SmallmoneyTakesItsLeast", money_column(L"smallmoney"), smallmoney_type,
                   ole_variant(L"-214748.3648"), L"-214748.3648"},
        exact_case{"SmallmoneyRefusesPastItsLeast", money_column(L"smallmoney"), smallmoney_type,
                   ole_variant(L"-214748.3649"), L""},
        exact_case{"MoneyTakesADouble", money_column(L"money"), money_type, ole_variant(0.1),
                   L"0.1"},
        exact_case{"MoneyRefusesADoubleOfFiveDecimals", money_column(L"money"), money_type,
                   ole_variant(0.00001), L""},
        exact_case{"MoneyRefusesABoolean", money_column(L"money"), money_type, ole_variant(true),
                   L""},
        exact_case{"MoneyRefusesADecimalComma", money_column(L"money"), money_type,
                   ole_variant(L"1,5"), L""},
        // real and float: text is one number, an exponent allowed.
        exact_case{"FloatTakesTextWithAnExponent", float_column, float_type,
                   ole_variant(L" 2.5e3 "), L"2500"},
        exact_case{"FloatRefusesTextLeftOver", float_column, float_type, ole_variant(L"2.5e3x"),
                   L""},
        exact_case{"FloatRefusesADecimalComma", float_column, float_type, ole_variant(L"1,5"), L""},
        exact_case{"RealTakesTextWithoutWholeDigits", described(L"v", sql_type::real, 24),
                   real_type, ole_variant(L"+.5"), L"0.5"},
        exact_case{"RealRefusesAnExponentWithoutDigits", described(L"v", sql_type::real, 24),
                   real_type, ole_variant(L"5e"), L""},
        exact_case{"FloatKeepsTheSignOfADoubleZero", float_column, float_type, ole_variant(-0.0),
                   L"-CAST(0 AS float)"},
        exact_case{"FloatKeepsTheSignOfTextZero", float_column, float_type, ole_variant(L"-0.0"),
                   L"-CAST(0 AS float)"},
        // Dates and times: text read whole.
        exact_case{"DateTakesTextOfADate", date_column, date_type, ole_variant(L" 2020-01-02 "),
                   L"'20200102'"},
        exact_case{"DateRefusesTextLeftOver", date_column, date_type,
                   ole_variant(L"2020-01-02 garbage"), L""},
        exact_case{"DateRefusesTheDayFirst", date_column, date_type, ole_variant(L"01/02/2020"),
                   L""},
        exact_case{"DateRefusesADayPastItsMonth", date_column, date_type,
                   ole_variant(L"2021-02-29"), L""},
        exact_case{"Datetime2TakesSixFractionalDigits", datetime2_column, datetime2_7,
                   ole_variant(L"2020-01-02 10:00:00.123456"), L"'20200102 10:00:00.123456'"},
        exact_case{"Datetime2RefusesASeventhFractionalDigit", datetime2_column, datetime2_7,
                   ole_variant(L"2020-01-02 10:00:00.1234567"), L""},
        exact_case{"Datetime2TakesTAndMinutes", datetime2_column, datetime2_7,
                   ole_variant(L"2020-01-02T10:05"), L"'20200102 10:05:00'"},
        exact_case{"Datetime2RefusesAZoneOffset", datetime2_column, datetime2_7,
                   ole_variant(L"2020-01-02 10:00:00+02"), L""},
        exact_case{"Datetime2RefusesTextAfterTheTime", datetime2_column, datetime2_7,
                   ole_variant(L"2020-01-02 10:00:00 junk"), L""},
        exact_case{"Datetime2RefusesATimeOfDayAloneAsText", datetime2_column, datetime2_7,
                   ole_variant(L"10:00:00"), L""},
        exact_case{
            "Datetime2Of3DigitsTakesThreeAsText",
            with_digits(described(L"v", sql_type::type_timestamp, 23, false, L"datetime2"), 3),
            datetime2_3, ole_variant(L"2020-01-02 10:00:00.125"), L"'20200102 10:00:00.125'"},
        exact_case{
            "Datetime2Of3DigitsRefusesFourAsText",
            with_digits(described(L"v", sql_type::type_timestamp, 23, false, L"datetime2"), 3),
            datetime2_3, ole_variant(L"2020-01-02 10:00:00.1255"), L""},
        exact_case{"DatetimeoffsetTakesTextWithoutAnOffset", offset_column, offset_7,
                   ole_variant(L"2020-01-02 10:00:00.5"), L"'20200102 10:00:00.500'"},
        exact_case{"DatetimeoffsetRefusesAZoneOffset", offset_column, offset_7,
                   ole_variant(L"2020-01-02 10:00:00+02:00"), L""},
        // A year that datetimeoffset holds and datetime does not goes as its text.
        exact_case{"DatetimeoffsetTakesTheYear1500", offset_column, offset_7,
                   ole_variant(L"1500-06-01 10:00:00"), L"N'1500-06-01 10:00:00'"},
        exact_case{"TimeTakesHoursAndMinutes", time_column, time_6, ole_variant(L"10:05"),
                   L"'18991230 10:05:00'"},
        exact_case{"TimeRefusesASeventhFractionalDigit", time_column, time_6,
                   ole_variant(L"10:05:00.1234567"), L""},
        exact_case{"TimeRefusesTextWithADate", time_column, time_6,
                   ole_variant(L"2020-01-02 10:05"), L""},
        exact_case{"TimeRefusesHour24", time_column, time_6, ole_variant(L"24:00"), L""},
        // A time of day alone in a column with a date: on 1900-01-01.
        exact_case{"SmalldatetimeTakesATimeOfDayOnItsFirstDay",
                   described(L"v", sql_type::type_timestamp, 16, false, L"smalldatetime"),
                   smalldatetime_type, time_of_day(10, 0, 0, 0), L"'19000101 10:00:00'"},
        exact_case{"DatetimeTakesATimeOfDayOn19000101", stamp_column, datetime_type,
                   time_of_day(10, 0, 0, 0), L"'19000101 10:00:00'"},
        exact_case{"Datetime2TakesATimeOfDayOn19000101", datetime2_column, datetime2_7,
                   time_of_day(10, 0, 0, 250), L"'19000101 10:00:00.250'"},
        exact_case{"DatetimeoffsetTakesATimeOfDayOn19000101", offset_column, offset_7,
                   time_of_day(10, 0, 0, 0), L"'19000101 10:00:00'"},
        // uniqueidentifier: one GUID as a whole.
        exact_case{"GuidTakesBracesAndBlanksAround", guid_column, guid_type,
                   ole_variant(L" {" + guid_text + L"} "), L"N'" + guid_text + L"'"},
        exact_case{"GuidRefusesTextLeftOver", guid_column, guid_type,
                   ole_variant(guid_text + L"xyz"), L""},
        exact_case{"GuidRefusesAShortText", guid_column, guid_type,
                   ole_variant(guid_text.substr(1)), L""}),
    [](const testing::TestParamInfo<exact_case>& param_info)
    { return std::string(param_info.param.name); });

// A batch rolled back for another row's sake is written again by INSERT: a time of day in an
// existing smalldatetime column goes on the day the bulk load gave it, and only the row that
// broke the key is reported.
TEST_F(MssTable, ATimeOfDayWrittenAgainByInsertGoesOnTheDayTheBulkLoadGaveIt)
{
    m_script->batches[sp_columns_sql] = {
        sp_columns_rows({sp_row(L"t", L"id", L"int", L"10", L"4", L"0", std::nullopt),
                         sp_row(L"t", L"v", L"smalldatetime", L"16", L"4", L"0", std::nullopt)})};
    fake_result types;
    for (const wchar_t* name :
         {L"name", L"type", L"scale", L"max_length", L"code_page", L"precision"})
    {
        types.columns.push_back(described(name, sql_type::wvarchar, 128));
    }
    types.rows = {
        {text(u"id"), text(u"int"), text(u"0"), text(u"4"), text(u"0"), text(u"10")},
        {text(u"v"), text(u"smalldatetime"), text(u"0"), text(u"4"), text(u"0"), text(u"16")}};
    m_script->batches[sys_columns_sql] = {types};
    m_script->failing_batches = {1};
    fake_result duplicate;
    duplicate.reached = oledb_test::statement_failure(L"23000", L"Violation of UNIQUE KEY.");
    m_script->batches[L"INSERT INTO [dbo].[t]([id], [v]) VALUES( 2, '19000101 10:00:00')"] = {
        duplicate};
    open(true, true,
         {described(L"id", sql_type::integer, 10),
          described(L"v", sql_type::type_timestamp, 16, false, L"smalldatetime")});
    std::unique_ptr<odb_table> table = existing(udb_open_mode::append);
    for (int id = 1; id <= 3; ++id)
    {
        udb_record record = row_of({{L"id", ole_variant(id)}, {L"v", time_of_day(10, 0, 0, 0)}});
        table->append_record(record);
    }
    table->flush();
    EXPECT_EQ(m_failures, (std::vector<failure_seen>{{2, 0x80E2F, L"2"}}));
    EXPECT_EQ(trace_of({L"INSERT", L"SET QUOTED_IDENTIFIER OFF; INSERT"}),
              (std::vector<std::wstring>{
                  L"SET QUOTED_IDENTIFIER OFF; INSERT INTO [dbo].[t]([id], [v]) VALUES( 1, "
                  L"'19000101 10:00:00')",
                  L"INSERT INTO [dbo].[t]([id], [v]) VALUES( 2, '19000101 10:00:00')",
                  L"INSERT INTO [dbo].[t]([id], [v]) VALUES( 3, '19000101 10:00:00')"}));
}

TEST(MssCodePage, CharactersSurviveTheCodePageOrNot)
{
    EXPECT_TRUE(mss_code_page_holds(L"plain", 1252));
    EXPECT_TRUE(mss_code_page_holds(L"\u20ac", 1252));
    EXPECT_FALSE(mss_code_page_holds(L"\u0141", 1252));
    EXPECT_TRUE(mss_code_page_holds(L"\u0141", 1250));
    EXPECT_FALSE(mss_code_page_holds(L"\U0001F600", 936));
    EXPECT_TRUE(mss_code_page_holds(L"\U0001F600", 65001));
    EXPECT_FALSE(mss_code_page_holds(L"\u00e9", 0));
}

} // namespace
