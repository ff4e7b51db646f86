// oledb_convert_test.cpp: the data-conversion library and the choice of each provider's drivers.
#include "plat/oledb/oledb_objects.h"
#include "plat/oledb/oledb_providers.h"
#include "plat/oledb/oledb_text.h"

#include <cstring>
#include <gtest/gtest.h>

using namespace plat::oledb;

namespace
{

struct numeric_case
{
    double value;
    BYTE precision;
    BYTE scale;
    HRESULT hr;
    BYTE sign;
    std::uint64_t magnitude;
};

class DoubleToNumeric : public testing::TestWithParam<numeric_case>
{
};

TEST_P(DoubleToNumeric, RoundsHalfToEvenAndRefusesOverflow)
{
    const numeric_case& c = GetParam();
    com_ref<IDataConvert> convert = make_data_convert();
    double value = c.value;
    DB_NUMERIC numeric{};
    std::memset(&numeric, 0xCC, sizeof numeric);
    DBLENGTH length = 0;
    DBSTATUS status = 99;
    EXPECT_EQ(convert->DataConvert(DBTYPE_R8, DBTYPE_NUMERIC, 8, &length, &value, &numeric,
                                   sizeof numeric, DBSTATUS_S_OK, &status, c.precision, c.scale, 0),
              c.hr);
    if (c.hr != S_OK)
    {
        EXPECT_EQ(status, DBSTATUS_E_DATAOVERFLOW);
        return;
    }
    EXPECT_EQ(status, DBSTATUS_S_OK);
    EXPECT_EQ(length, 19u);
    EXPECT_EQ(numeric.precision, c.precision);
    EXPECT_EQ(numeric.scale, c.scale);
    EXPECT_EQ(numeric.sign, c.sign);
    std::uint64_t low = 0;
    std::memcpy(&low, numeric.val, 8);
    EXPECT_EQ(low, c.magnitude);
    for (int byte_idx = 8; byte_idx < 16; ++byte_idx)
    {
        EXPECT_EQ(numeric.val[byte_idx], 0);
    }
}

INSTANTIATE_TEST_SUITE_P(Values, DoubleToNumeric,
                         testing::Values(numeric_case{12.25, 10, 2, S_OK, 1, 1225},
                                         numeric_case{0.1, 5, 3, S_OK, 1, 100},
                                         numeric_case{-2.5, 5, 0, S_OK, 0, 2},
                                         numeric_case{3.5, 5, 0, S_OK, 1, 4},
                                         numeric_case{0.125, 5, 2, S_OK, 1, 12},
                                         numeric_case{-0.001, 5, 2, S_OK, 1, 0},
                                         numeric_case{99999.5, 5, 0, DB_E_DATAOVERFLOW, 0, 0},
                                         numeric_case{1e30, 38, 10, DB_E_DATAOVERFLOW, 0, 0}));

TEST(DataConvert, DoubleToWideTextAndUnsupportedPairs)
{
    com_ref<IDataConvert> convert = make_data_convert();
    double value = 0.1;
    char16_t text[8] = {};
    DBLENGTH length = 0;
    DBSTATUS status = 99;
    ASSERT_EQ(convert->DataConvert(DBTYPE_R8, DBTYPE_WSTR, 8, &length, &value, text, sizeof text,
                                   DBSTATUS_S_OK, &status, 0, 0, 0),
              S_OK);
    EXPECT_EQ(std::u16string(text), u"0.1");
    EXPECT_EQ(length, 6u);
    std::int32_t number = 0;
    EXPECT_EQ(convert->DataConvert(DBTYPE_R8, DBTYPE_I4, 8, &length, &value, &number, sizeof number,
                                   DBSTATUS_S_OK, &status, 0, 0, 0),
              DB_E_UNSUPPORTEDCONVERSION);
}

TEST(TextForms, TimestampsTruncateToMilliseconds)
{
    EXPECT_EQ(format_timestamp(2024, 2, 29, 23, 59, 59, 999999999), u"2024-02-29 23:59:59.999");
    EXPECT_EQ(format_timestamp(1753, 1, 1, 0, 0, 0, 5000000), u"1753-01-01 00:00:00.005");
    EXPECT_EQ(format_time(1, 2, 3, 123456700, true), u"01:02:03.1234567");
    EXPECT_EQ(format_double(1e20), u"1e+20");
    EXPECT_EQ(format_float(0.1f), u"0.1");
}

struct guid_text_case
{
    const char* name;
    std::string text;
    bool read;
};

class GuidText : public testing::TestWithParam<guid_text_case>
{
};

// Every text form reads alike; anything but the GUID's own digits and dashes is no GUID.
TEST_P(GuidText, ReadsTheDigitsOfAGuidAndNothingElse)
{
    const guid_text_case& given = GetParam();
    const GUID expected{
        0x12345678, 0x9ABC, 0xDEF0, {0x01, 0x23, 0x45, 0x67, 0x89, 0xAB, 0xCD, 0xEF}};
    GUID narrow;
    GUID wide;
    GUID utf16;
    const std::wstring wide_text(given.text.begin(), given.text.end());
    const std::u16string utf16_text(given.text.begin(), given.text.end());
    EXPECT_EQ(parse_guid(given.text, narrow), given.read);
    EXPECT_EQ(parse_guid(wide_text, wide), given.read);
    EXPECT_EQ(parse_guid(utf16_text, utf16), given.read);
    if (given.read)
    {
        EXPECT_EQ(narrow, expected);
        EXPECT_EQ(wide, expected);
        EXPECT_EQ(utf16, expected);
    }
}

INSTANTIATE_TEST_SUITE_P(
    Texts, GuidText,
    testing::Values(guid_text_case{"Lower", "12345678-9abc-def0-0123-456789abcdef", true},
                    guid_text_case{"UpperBraced", "{12345678-9ABC-DEF0-0123-456789ABCDEF}", true},
                    guid_text_case{"Sign", "12345678-+abc-def0-0123-456789abcdef", false},
                    guid_text_case{"HexPrefix", "0x345678-9abc-def0-0123-456789abcdef", false},
                    guid_text_case{"SpaceInAGroup", " 2345678-9abc-def0-0123-456789abcdef", false},
                    guid_text_case{"OneBrace", "{12345678-9abc-def0-0123-456789abcdef", false},
                    guid_text_case{"DashMoved", "1234567-89abc-def0-0123-456789abcdef", false},
                    guid_text_case{"NotHex", "12345678-9abc-def0-0123-456789abcdeg", false},
                    guid_text_case{"Empty", "", false}),
    [](const testing::TestParamInfo<guid_text_case>& param_info)
    { return std::string(param_info.param.name); });

struct override_case
{
    const char* label;
    provider_kind provider;
    const char* value;
    std::vector<std::wstring> names;
};

class DriverOverride : public testing::TestWithParam<override_case>
{
};

TEST_P(DriverOverride, ReplacesTheNamedLists)
{
    const override_case& c = GetParam();
    SCOPED_TRACE(c.label);
    std::vector<std::wstring> names;
    for (const driver_choice& driver :
         drivers_for(c.provider, c.value, [](const std::wstring&) { return std::wstring(); }))
    {
        names.push_back(driver.name);
    }
    EXPECT_EQ(names, c.names);
}

INSTANTIATE_TEST_SUITE_P(
    Forms, DriverOverride,
    testing::Values(
        override_case{
            "defaults",
            provider_kind::native_client_11,
            "",
            {L"ODBC Driver 18 for SQL Server", L"ODBC Driver 17 for SQL Server", L"FreeTDS"}},
        override_case{"one list for all", provider_kind::native_client_10, "SQLite3", {L"SQLite3"}},
        override_case{"named lists",
                      provider_kind::native_client_11,
                      "sqlncli11 = A , B ; sqloledb=C",
                      {L"A", L"B"}},
        override_case{"empty list removes the provider",
                      provider_kind::native_client_10,
                      "sqlncli10=;sqloledb=C",
                      {}},
        override_case{"unnamed provider keeps its default",
                      provider_kind::generic,
                      "sqlncli11=A",
                      {L"FreeTDS"}}));

TEST(DriverChoice, FreetdsGetsTheProvidersProtocolVersion)
{
    const auto library = [](const std::wstring&) { return std::wstring(L"libtdsodbc.so"); };
    EXPECT_EQ(drivers_for(provider_kind::native_client_10, "MyTDS", library).at(0).tds_version,
              L"7.3");
    EXPECT_EQ(drivers_for(provider_kind::generic, "MyTDS", library).at(0).tds_version, L"7.1");
    EXPECT_EQ(default_drivers(provider_kind::native_client_11).at(2).tds_version, L"7.4");
}

} // namespace
