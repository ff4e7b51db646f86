// pgs_values_test.cpp: every mapped type read from the server, value by value, edge values
// included.
#include "pgs/pgs_recordset.h"
#include "pgs_test_server.h"
#include "plat/plat_text.h"
#include "test_support.h"
#include "udb/udb_value_exception.h"

#include <cmath>
#include <cstdint>
#include <limits>
#include <map>
#include <string>
#include <vector>

namespace
{

using pgs_test::server_test;

struct expected_value
{
    std::wstring column;
    VARTYPE vartype;
    std::wstring text;
};

using test_support::system_time;

void expect_time(const udb_field& field, const SYSTEMTIME& expected)
{
    SCOPED_TRACE(std::string(field.name().begin(), field.name().end()));
    ASSERT_EQ(field.get_type(), VT_DATE);
    SYSTEMTIME actual = field.get_systemtime();
    actual.wDayOfWeek = 0;
    EXPECT_EQ(actual, expected) << actual.wYear << '-' << actual.wMonth << '-' << actual.wDay << ' '
                                << actual.wHour << ':' << actual.wMinute << ':' << actual.wSecond
                                << '.' << actual.wMilliseconds;
}

std::vector<std::uint8_t> bytes_of(const udb_field& field)
{
    const std::uint8_t* data = nullptr;
    const std::size_t count = field.get_bytes(data);
    return std::vector<std::uint8_t>(data, data + count);
}

class PgsValues : public server_test
{
protected:
    // Every row of the type table by its id, read with a client zone of +05:30 and a client
    // date style that puts the day first.
    std::map<int, udb_record> read_rows()
    {
        test_support::scoped_env zone("PGTZ", "Asia/Kolkata");
        test_support::scoped_env style("PGDATESTYLE", "SQL, DMY");
        const auto database = open_fixture("pgs_types.sql");
        const auto recordset = database->get_table(L"public.all_types", udb_table_mode::read_only);
        EXPECT_EQ(recordset->record_count(), 5);
        std::map<int, udb_record> rows;
        for (recordset->reset(); !recordset->is_eof(); recordset->next())
        {
            try
            {
                const udb_record* record = recordset->get_item();
                rows.emplace((*record)[0]->to_long(), *record);
            }
            catch (const udb_value_exception& error)
            {
                m_refusals.push_back(error.what());
            }
        }
        return rows;
    }

    /// The messages of the rows read_rows found refused, in row order.
    std::vector<std::string> m_refusals;

    static const udb_field& field(const udb_record& record, const std::wstring& name)
    {
        return record.get_field(name);
    }

    static void expect_values(const udb_record& record, const std::vector<expected_value>& values)
    {
        for (const expected_value& value : values)
        {
            SCOPED_TRACE(std::string(value.column.begin(), value.column.end()));
            const udb_field& actual = record.get_field(value.column);
            EXPECT_EQ(actual.get_type(), value.vartype);
            EXPECT_EQ(actual.to_wstring(), value.text);
        }
    }
};

TEST_F(PgsValues, NullInEveryColumnIsEmptyNeverFalse)
{
    const auto rows = read_rows();
    const udb_record& nulls = rows.at(1);
    ASSERT_EQ(nulls.size(), 26u);
    for (std::size_t position = 1; position < nulls.size(); ++position)
    {
        SCOPED_TRACE(position);
        EXPECT_EQ(nulls[position]->get_type(), VT_EMPTY);
    }
}

TEST_F(PgsValues, LowerLimitsAndEmptyValues)
{
    const auto rows = read_rows();
    const udb_record& row = rows.at(2);
    expect_values(row, {
                           {L"c_bool", VT_BOOL, L"0"},
                           {L"c_int2", VT_I2, L"-32768"},
                           {L"c_int4", VT_I4, L"-2147483648"},
                           {L"c_int8", VT_I8, L"-9223372036854775808"},
                           {L"c_num", VT_DECIMAL, L"-1234567890123456789.0123456789"},
                           {L"c_num_free", VT_DECIMAL, L"-0.5"},
                           // The least money value, every digit of it.
                           {L"c_money", VT_DECIMAL, L"-92233720368547758.08"},
                           {L"c_text", VT_BSTR, L""},
                           {L"c_char", VT_BSTR, L"ab   "},
                           {L"c_varchar", VT_BSTR, L""},
                           {L"c_timetz", VT_BSTR, L"00:00:00+00"},
                           {L"c_interval", VT_BSTR, L"-1 days"},
                           {L"c_int_arr", VT_BSTR, L"{}"},
                           {L"c_jsonb", VT_BSTR, L"[]"},
                           {L"c_uuid", VT_BSTR, L"00000000-0000-0000-0000-000000000000"},
                           {L"c_xml", VT_BSTR, L"<a/>"},
                           {L"c_mood", VT_BSTR, L"sad"},
                           {L"c_positive", VT_I4, L"1"},
                       });
    EXPECT_EQ(field(row, L"c_bool").value.boolVal, VARIANT_FALSE);
    EXPECT_EQ(field(row, L"c_real").value.dblVal, -3.4e38);
    EXPECT_EQ(field(row, L"c_double").value.dblVal, -1.7976931348623157e308);
    expect_time(field(row, L"c_ts"), system_time(1, 1, 1, 0, 0, 0, 0));
    // 15:30:12.345 at +05 is 10:30:12.345 UTC, whatever the client's own zone.
    expect_time(field(row, L"c_tstz"), system_time(2020, 12, 25, 10, 30, 12, 345));
    expect_time(field(row, L"c_date"), system_time(25, 6, 15, 0, 0, 0, 0));
    expect_time(field(row, L"c_time"), system_time(0, 0, 0, 0, 0, 0, 0));
    ASSERT_EQ(field(row, L"c_bytea").get_type(), VT_BYTE_ARRAY);
    EXPECT_TRUE(bytes_of(field(row, L"c_bytea")).empty());
}

TEST_F(PgsValues, UpperLimitsMillisecondsAndUnicode)
{
    const auto rows = read_rows();
    const udb_record& row = rows.at(3);
    expect_values(row, {
                           {L"c_bool", VT_BOOL, L"1"},
                           {L"c_int2", VT_I2, L"32767"},
                           {L"c_int4", VT_I4, L"2147483647"},
                           {L"c_int8", VT_I8, L"9223372036854775807"},
                           // 29 digits: as many as a 96-bit decimal holds.
                           {L"c_num", VT_DECIMAL, L"12345678901234567890.123456789"},
                           {L"c_num_free", VT_DECIMAL, L"123.456"},
                           {L"c_money", VT_DECIMAL, L"92233720368547758.07"},
                           {L"c_text", VT_BSTR, L"Grüße, 😀 and ✓"},
                           {L"c_char", VT_BSTR, L"abcde"},
                           {L"c_varchar", VT_BSTR, L"forty characters of text, exactly forty!"},
                           {L"c_timetz", VT_BSTR, L"10:11:12.5+05"},
                           {L"c_interval", VT_BSTR, L"1 year 2 mons 3 days 04:05:06.5"},
                           {L"c_int_arr", VT_BSTR, L"{1,2,NULL}"},
                           {L"c_jsonb", VT_BSTR, L"{\"k\": [1, 2], \"s\": \"ü\"}"},
                           {L"c_uuid", VT_BSTR, L"a0eebc99-9c0b-4ef8-bb6d-6bb9bd380a11"},
                           {L"c_xml", VT_BSTR, L"<r><v>1</v></r>"},
                           {L"c_mood", VT_BSTR, L"happy"},
                           {L"c_positive", VT_I4, L"2147483647"},
                       });
    // One wide character per code point: the emoji is not split in two.
    EXPECT_EQ(field(row, L"c_text").value.bstrVal.size(), 14u);
    EXPECT_EQ(field(row, L"c_real").value.dblVal, 3.4028235e38);
    EXPECT_EQ(field(row, L"c_double").value.dblVal, 1e308);
    expect_time(field(row, L"c_ts"), system_time(2020, 12, 25, 15, 30, 12, 345));
    EXPECT_EQ(field(row, L"c_ts").microseconds, 678); // the server's .345678 whole
    expect_time(field(row, L"c_tstz"), system_time(2021, 1, 1, 0, 0, 0, 500));
    EXPECT_EQ(field(row, L"c_tstz").microseconds, 0);
    expect_time(field(row, L"c_date"), system_time(2000, 2, 29, 0, 0, 0, 0));
    expect_time(field(row, L"c_time"), system_time(0, 0, 0, 23, 59, 59, 999));
    std::vector<std::uint8_t> all_bytes(256);
    for (std::size_t value = 0; value < all_bytes.size(); ++value)
    {
        all_bytes[value] = static_cast<std::uint8_t>(value);
    }
    EXPECT_EQ(bytes_of(field(row, L"c_bytea")), all_bytes);
}

TEST_F(PgsValues, FloatsWithoutANumberArriveAsThemselvesANumericNaNRefusesItsRow)
{
    const auto rows = read_rows();
    // A decimal holds no NaN: row 4 is refused, never rounded or changed.
    EXPECT_EQ(rows.count(4), 0u);
    EXPECT_EQ(m_refusals, std::vector<std::string>{
                              "The value 'NaN' of column 'c_num_free' in 'public.all_types' cannot "
                              "be carried over: a decimal holds no NaN or infinity"});
    const auto database =
        m_engine->open_db(std::wstring(m_database->name().begin(), m_database->name().end()),
                          udb_open_mode::source, L"");
    const auto floats =
        database->get_query(L"floats", L"SELECT c_real, c_double FROM all_types WHERE id = 4",
                            udb_table_mode::read_only);
    floats->reset();
    const udb_record& row = *floats->get_item();
    EXPECT_EQ(field(row, L"c_real").value.dblVal, std::numeric_limits<double>::infinity());
    EXPECT_EQ(field(row, L"c_double").value.dblVal, 0.0);
    EXPECT_TRUE(std::signbit(field(row, L"c_double").value.dblVal));
}

// Each row as "<id> <column>=<text>" for its one non-null value, or the refusal's message.
std::vector<std::wstring> read_bad_values(udb_recordset& recordset)
{
    std::vector<std::wstring> outcomes;
    for (recordset.reset(); !recordset.is_eof(); recordset.next())
    {
        try
        {
            const udb_record& record = *recordset.get_item();
            std::wstring line = record[0]->to_wstring();
            for (std::size_t position = 1; position < record.size(); ++position)
            {
                if (record[position]->get_type() != VT_EMPTY)
                {
                    line += L" " + record[position]->name() + L"=" + record[position]->to_wstring();
                }
            }
            outcomes.push_back(line);
        }
        catch (const udb_value_exception& error)
        {
            outcomes.push_back(plat::utf8_to_wide_lossy(error.what()));
        }
    }
    return outcomes;
}

TEST_F(PgsValues, ValuesWithoutAnExactNeutralFormRefuseTheirRowOnly)
{
    const auto database = open_fixture("pgs_types.sql");
    const auto recordset = database->get_table(L"public.bad_values", udb_table_mode::read_only);
    const std::wstring in = L"' in 'public.bad_values' cannot be carried over: ";
    const std::wstring decimal_reason = L"a decimal holds no NaN or infinity";
    const std::wstring date_reason =
        L"no neutral date holds it (years 1 to 65535, times of day 00:00:00 to "
        L"23:59:59.999999)";
    const std::vector<std::wstring> expected = {
        L"1",
        // More digits than a 96-bit decimal holds: carried as their exact text.
        L"2 c_num=1234567890123456789012.1234567890",
        L"3 c_num=0.0000000001",
        L"4 c_num0=123456789012345678901234567890",
        L"5 c_num0=79228162514264337593543950335",
        L"6 c_num0=-79228162514264337593543950336",
        L"The value 'NaN' of column 'c_num" + in + decimal_reason,
        L"The value 'infinity' of column 'c_ts" + in + date_reason,
        L"The value '-infinity' of column 'c_date" + in + date_reason,
        L"The value '0044-03-15 12:00:00+00 BC' of column 'c_tstz" + in + date_reason,
        L"The value '24:00:00' of column 'c_time" + in + date_reason,
        L"12 c_num=-1234567890123456789.0123456789 c_time=0000-00-00 23:59:59.999",
    };
    EXPECT_EQ(read_bad_values(*recordset), expected);
}

TEST_F(PgsValues, MegabyteValuesArriveWhole)
{
    const auto rows = read_rows();
    const udb_record& row = rows.at(5);
    const std::vector<std::uint8_t> bytes = bytes_of(field(row, L"c_bytea"));
    ASSERT_EQ(bytes.size(), 1048576u);
    const std::uint8_t pattern[] = {0x01, 0x23, 0x45, 0x67, 0x89, 0xab, 0xcd, 0xef};
    for (std::size_t position = 0; position < bytes.size(); ++position)
    {
        if (bytes[position] != pattern[position % 8])
        {
            FAIL() << "byte " << position;
        }
    }
    std::wstring text;
    for (int repeat = 0; repeat < 262144; ++repeat)
    {
        text += L"xyzé";
    }
    EXPECT_EQ(field(row, L"c_text").value.bstrVal, text);
}

TEST_F(PgsValues, FieldsCarryTheColumnsNameSizeAndFlags)
{
    const auto rows = read_rows();
    const udb_record& row = rows.at(3);
    EXPECT_EQ(row[0]->name(), L"id");
    EXPECT_TRUE(row[0]->is_not_null());
    EXPECT_FALSE(row[0]->is_auto_num());
    EXPECT_EQ(field(row, L"c_varchar").size(), 40);
    EXPECT_EQ(field(row, L"c_char").size(), 5);
    EXPECT_FALSE(field(row, L"c_char").is_not_null());
}

TEST_F(PgsValues, NumericsOfEveryDeclarationArriveExactlyAsDecimals)
{
    m_database->load_sql(R"(
        CREATE TABLE wide_numbers (
            id integer PRIMARY KEY,
            n_fifty numeric(50,2),
            n_negative numeric(5,-2),
            n_small numeric(10,12),
            n_widest numeric(38,0)
        );
        INSERT INTO wide_numbers VALUES
            (1, 12345678901234567.89, 12345, 0.001234567891,
             99999999999999999999999999999999999999),
            (2, -123456789012345678901234567890123456.78, -99900, -0.009999999999,
             -12345678901234567890123456789012345678);
    )");
    connect_engine();
    const auto database =
        m_engine->open_db(std::wstring(m_database->name().begin(), m_database->name().end()),
                          udb_open_mode::source, L"");
    const auto recordset = database->get_table(L"public.wide_numbers", udb_table_mode::read_only);
    std::vector<std::wstring> columns;
    for (const t_ftd* column : recordset->schema())
    {
        columns.push_back(column->name + L" " + std::to_wstring(column->vartype) + L" " +
                          std::to_wstring(column->get_precision()) + L"," +
                          std::to_wstring(column->get_scale()));
    }
    EXPECT_EQ(columns,
              (std::vector<std::wstring>{L"id 3 0,0", L"n_fifty 14 38,2", L"n_negative 14 7,0",
                                         L"n_small 14 12,12", L"n_widest 14 38,0"}));
    EXPECT_EQ(read_bad_values(*recordset),
              (std::vector<std::wstring>{
                  L"1 n_fifty=12345678901234567.89 n_negative=12300 n_small=0.001234567891 "
                  L"n_widest=99999999999999999999999999999999999999",
                  L"2 n_fifty=-123456789012345678901234567890123456.78 n_negative=-99900 "
                  L"n_small=-0.009999999999 n_widest=-12345678901234567890123456789012345678"}));
}

// A database's or role's own session settings (here through PGOPTIONS, as ALTER ROLE ... SET
// gives them) change neither the values read nor the defaults taken from the catalog.
struct session_case
{
    const char* name;
    std::string options;
};

class PgsSessionSettings : public server_test, public testing::WithParamInterface<session_case>
{
};

TEST_P(PgsSessionSettings, ChangeNoValueAndNoDefault)
{
    m_database->load_sql(R"(
        CREATE TABLE probe (
            id integer PRIMARY KEY,
            c_real real,
            c_double double precision,
            c_interval interval,
            c_bytea bytea,
            c_ts timestamp(6),
            c_tstz timestamptz,
            c_date date,
            c_time time,
            d_date date DEFAULT '2020-02-01',
            d_ts timestamp(6) DEFAULT '2020-02-01 12:34:56.123456',
            d_double double precision DEFAULT 0.30000000000000004,
            d_text text DEFAULT 'it''s',
            d_path text DEFAULT 'C:\dir'
        );
        INSERT INTO probe VALUES (1, 16777216, 0.30000000000000004,
            '1 year 2 mons 3 days 04:05:06.5', '\x0102ff', '2020-02-01 12:34:56.123456',
            '2020-02-01 12:00:00+00', '0099-01-01', '10:11:12.000001');
    )");
    const test_support::scoped_env options("PGOPTIONS", GetParam().options);
    connect_engine();
    const auto database =
        m_engine->open_db(std::wstring(m_database->name().begin(), m_database->name().end()),
                          udb_open_mode::source, L"");
    const auto recordset = database->get_table(L"public.probe", udb_table_mode::read_only);

    std::vector<std::wstring> defaults;
    for (const t_ftd* column : recordset->schema())
    {
        if (column->name.rfind(L"d_", 0) == 0)
        {
            defaults.push_back(column->name + L"=" + column->default_value.to_wstring());
        }
    }
    EXPECT_EQ(defaults,
              (std::vector<std::wstring>{L"d_date=2020-02-01", L"d_ts=2020-02-01 12:34:56.123456",
                                         L"d_double=3.0000000000000004e-01", L"d_text=it's",
                                         L"d_path=C:\\dir"}));

    recordset->reset();
    const udb_record* row = recordset->get_item();
    ASSERT_NE(row, nullptr);
    EXPECT_EQ(row->get_field(L"c_real").value.dblVal, 16777216.0);
    EXPECT_EQ(row->get_field(L"c_double").value.dblVal, 0.30000000000000004);
    EXPECT_EQ(row->get_field(L"c_interval").to_wstring(), L"1 year 2 mons 3 days 04:05:06.5");
    EXPECT_EQ(bytes_of(row->get_field(L"c_bytea")), (std::vector<std::uint8_t>{0x01, 0x02, 0xff}));
    EXPECT_EQ(row->get_field(L"c_ts").to_wstring(), L"2020-02-01 12:34:56.123456");
    EXPECT_EQ(row->get_field(L"c_tstz").to_wstring(), L"2020-02-01 12:00:00");
    EXPECT_EQ(row->get_field(L"c_date").to_wstring(), L"0099-01-01");
    EXPECT_EQ(row->get_field(L"c_time").to_wstring(), L"0000-00-00 10:11:12.000001");
}

INSTANTIATE_TEST_SUITE_P(
    PgsValues, PgsSessionSettings,
    testing::Values(session_case{"ServerDefaults", ""},
                    session_case{"FloatDigitsZero", "-c extra_float_digits=0"},
                    session_case{"FloatDigitsMinusFifteen", "-c extra_float_digits=-15"},
                    session_case{"IntervalSqlStandard", "-c IntervalStyle=sql_standard"},
                    session_case{"IntervalIso", "-c IntervalStyle=iso_8601"},
                    session_case{"ByteaEscape", "-c bytea_output=escape"},
                    session_case{"DateStyleSqlMonthFirst", "-c DateStyle=SQL,MDY"},
                    session_case{"DateStylePostgres", "-c DateStyle=Postgres,DMY"},
                    session_case{"DateStyleGerman", "-c DateStyle=German"},
                    session_case{"TimeZoneTokyo", "-c TimeZone=Asia/Tokyo"},
                    session_case{"BackslashEscapes", "-c standard_conforming_strings=off"}),
    [](const testing::TestParamInfo<session_case>& param_info) { return param_info.param.name; });

} // namespace
