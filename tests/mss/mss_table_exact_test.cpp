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
    L"CAST(COLLATIONPROPERTY(c.collation_name, 'CodePage') AS int) FROM sys.columns AS c WHERE "
    L"c.object_id = OBJECT_ID(N'[dbo].[t]')";

// What sys.columns tells of the column v.
struct catalog_type
{
    const wchar_t* name;
    int scale;
    int max_length;
    int code_page;
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
        for (const wchar_t* name : {L"name", L"type", L"scale", L"max_length", L"code_page"})
        {
            types.columns.push_back(described(name, sql_type::wvarchar, 128));
        }
        types.rows = {{text(u"v"), text(plat::wide_to_utf16(given.type.name)),
                       text(plat::wide_to_utf16(std::to_wstring(given.type.scale))),
                       text(plat::wide_to_utf16(std::to_wstring(given.type.max_length))),
                       text(plat::wide_to_utf16(std::to_wstring(given.type.code_page)))}};
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
