// oledb_columns_test.cpp: ODBC types to DBTYPEs, column sizes and flags, and value writing.
#include "plat/oledb/oledb_accessor.h"
#include "plat/oledb/oledb_columns.h"

#include <array>
#include <cstring>
#include <gtest/gtest.h>

using namespace plat::oledb;

namespace
{

struct type_case
{
    std::int16_t sql_type;
    const wchar_t* type_name;
    bool native;
    DBTYPE expected;
};

class OdbcTypeMapping : public testing::TestWithParam<type_case>
{
};

TEST_P(OdbcTypeMapping, GivesTheDbtype)
{
    const type_case& c = GetParam();
    EXPECT_EQ(dbtype_for_sql_type(c.sql_type, c.type_name, c.native), c.expected);
}

INSTANTIATE_TEST_SUITE_P(
    Table, OdbcTypeMapping,
    testing::Values(
        type_case{-7, L"bit", true, DBTYPE_BOOL}, type_case{-6, L"tinyint", true, DBTYPE_UI1},
        type_case{5, L"smallint", true, DBTYPE_I2}, type_case{4, L"int", true, DBTYPE_I4},
        type_case{-5, L"bigint", true, DBTYPE_I8}, type_case{7, L"real", true, DBTYPE_R4},
        type_case{6, L"float", true, DBTYPE_R8}, type_case{8, L"double", true, DBTYPE_R8},
        type_case{3, L"money", true, DBTYPE_CY}, type_case{3, L"SmallMoney", true, DBTYPE_CY},
        type_case{2, L"numeric", true, DBTYPE_NUMERIC},
        type_case{3, L"decimal", true, DBTYPE_NUMERIC},
        type_case{93, L"datetime2", true, DBTYPE_DBTIMESTAMP},
        type_case{91, L"date", true, DBTYPE_DBDATE}, type_case{-154, L"time", true, DBTYPE_DBTIME2},
        type_case{-155, L"datetimeoffset", true, DBTYPE_WSTR},
        type_case{-11, L"uniqueidentifier", true, DBTYPE_GUID},
        type_case{12, L"varchar", true, DBTYPE_STR}, type_case{-1, L"text", true, DBTYPE_STR},
        type_case{-9, L"nvarchar", true, DBTYPE_WSTR}, type_case{-10, L"ntext", true, DBTYPE_WSTR},
        type_case{-152, L"xml", true, DBTYPE_XML}, type_case{-152, L"xml", false, DBTYPE_WSTR},
        type_case{-2, L"timestamp", true, DBTYPE_BYTES},
        type_case{-4, L"image", true, DBTYPE_BYTES},
        type_case{-150, L"sql_variant", true, DBTYPE_WSTR}));

struct column_case
{
    const char* label;
    column_desc desc;
    rowset_column expected;
};

class DriverColumn : public testing::TestWithParam<column_case>
{
};

TEST_P(DriverColumn, HasTheSizeAndFlags)
{
    SCOPED_TRACE(GetParam().label);
    EXPECT_EQ(column_from_driver(GetParam().desc, true), GetParam().expected);
}

constexpr DBCOLUMNFLAGS nullable = DBCOLUMNFLAGS_ISNULLABLE | DBCOLUMNFLAGS_MAYBENULL;

INSTANTIATE_TEST_SUITE_P(
    Sizes, DriverColumn,
    testing::Values(
        column_case{"nvarchar(10)",
                    {L"a", -9, L"nvarchar", 10, 0, true, false},
                    {L"a", DBTYPE_WSTR, 10, 255, 255, nullable}},
        column_case{"nvarchar(max) from the Microsoft driver",
                    {L"a", -9, L"nvarchar", 0, 0, false, false},
                    {L"a", DBTYPE_WSTR, DB_LONG_COLUMN_SIZE, 255, 255, DBCOLUMNFLAGS_ISLONG}},
        column_case{
            "varchar(max) from FreeTDS",
            {L"a", -1, L"varchar", 0x7FFFFFFF, 0, true, false},
            {L"a", DBTYPE_STR, DB_LONG_COLUMN_SIZE, 255, 255, nullable | DBCOLUMNFLAGS_ISLONG}},
        column_case{"nchar(4)",
                    {L"a", -8, L"nchar", 4, 0, false, false},
                    {L"a", DBTYPE_WSTR, 4, 255, 255, DBCOLUMNFLAGS_ISFIXEDLENGTH}},
        column_case{"numeric(10,2)",
                    {L"a", 2, L"numeric", 10, 2, false, false},
                    {L"a", DBTYPE_NUMERIC, 19, 10, 2, DBCOLUMNFLAGS_ISFIXEDLENGTH}},
        column_case{"datetime",
                    {L"a", 93, L"datetime", 23, 3, true, false},
                    {L"a", DBTYPE_DBTIMESTAMP, 16, 23, 3, nullable | DBCOLUMNFLAGS_ISFIXEDLENGTH}},
        column_case{"int",
                    {L"id", 4, L"int", 10, 0, false, false},
                    {L"id", DBTYPE_I4, 4, 10, 255, DBCOLUMNFLAGS_ISFIXEDLENGTH}},
        column_case{"varbinary(8000)",
                    {L"b", -3, L"varbinary", 8000, 0, true, false},
                    {L"b", DBTYPE_BYTES, 8000, 255, 255, nullable}}));

DBBINDING binding_of(DBTYPE type, DBBYTEOFFSET offset, DBLENGTH max_length)
{
    DBBINDING binding{};
    binding.iOrdinal = 1;
    binding.obStatus = offset;
    binding.obLength = offset + 4;
    binding.obValue = offset + 8;
    binding.dwPart = DBPART_VALUE | DBPART_LENGTH | DBPART_STATUS;
    binding.cbMaxLen = max_length;
    binding.wType = type;
    return binding;
}

template <class T>
T read_at(const std::uint8_t* data, std::size_t offset)
{
    T value;
    std::memcpy(&value, data + offset, sizeof value);
    return value;
}

TEST(WriteBinding, WideTextFitsWithItsTerminatorAtAnOddOffset)
{
    std::array<std::uint8_t, 64> buffer;
    buffer.fill(0xCC);
    const DBBINDING binding = binding_of(DBTYPE_WSTR, 3, 10);
    EXPECT_EQ(write_binding(binding, cell(std::u16string(u"abcd")), buffer.data()), DBSTATUS_S_OK);
    EXPECT_EQ(read_at<DBSTATUS>(buffer.data(), 3), DBSTATUS_S_OK);
    EXPECT_EQ(read_at<DBLENGTH>(buffer.data(), 7), 8u);
    std::u16string written(5, u'\0');
    std::memcpy(written.data(), buffer.data() + 11, 10);
    EXPECT_EQ(written, std::u16string(u"abcd\0", 5));
    EXPECT_EQ(buffer[21], 0xCC);
}

TEST(WriteBinding, LongTextIsCutInsideTheBuffer)
{
    std::array<std::uint8_t, 64> buffer;
    buffer.fill(0xCC);
    const DBBINDING binding = binding_of(DBTYPE_WSTR, 0, 7);
    EXPECT_EQ(write_binding(binding, cell(std::u16string(u"abcdef")), buffer.data()),
              DBSTATUS_S_TRUNCATED);
    EXPECT_EQ(read_at<DBLENGTH>(buffer.data(), 4), 12u);
    // Room for two characters (4 bytes) and the terminator; the seventh byte stays untouched.
    std::u16string written(3, u'\0');
    std::memcpy(written.data(), buffer.data() + 8, 6);
    EXPECT_EQ(written, std::u16string(u"ab\0", 3));
    EXPECT_EQ(buffer[8 + 6], 0xCC);
}

TEST(WriteBinding, BytesNullsAndNumbers)
{
    std::array<std::uint8_t, 64> buffer{};
    EXPECT_EQ(write_binding(binding_of(DBTYPE_BYTES, 0, 2),
                            cell(std::vector<std::uint8_t>{1, 2, 3}), buffer.data()),
              DBSTATUS_S_TRUNCATED);
    EXPECT_EQ(read_at<DBLENGTH>(buffer.data(), 4), 3u);
    EXPECT_EQ(buffer[8], 1);
    EXPECT_EQ(buffer[9], 2);
    EXPECT_EQ(buffer[10], 0);

    EXPECT_EQ(write_binding(binding_of(DBTYPE_WSTR, 0, 10), cell{}, buffer.data()),
              DBSTATUS_S_ISNULL);
    EXPECT_EQ(read_at<DBSTATUS>(buffer.data(), 0), DBSTATUS_S_ISNULL);

    EXPECT_EQ(
        write_binding(binding_of(DBTYPE_I4, 1, 0), cell(std::u16string(u"-42")), buffer.data()),
        DBSTATUS_S_OK);
    EXPECT_EQ(read_at<std::int32_t>(buffer.data(), 9), -42);
    EXPECT_EQ(
        write_binding(binding_of(DBTYPE_I2, 0, 0), cell(std::u16string(u"40000")), buffer.data()),
        DBSTATUS_E_DATAOVERFLOW);
    EXPECT_EQ(
        write_binding(binding_of(DBTYPE_I4, 0, 0), cell(std::u16string(u"12.5")), buffer.data()),
        DBSTATUS_E_CANTCONVERTVALUE);
    EXPECT_EQ(
        write_binding(binding_of(DBTYPE_BOOL, 0, 0), cell(std::u16string(u"1")), buffer.data()),
        DBSTATUS_S_OK);
    EXPECT_EQ(read_at<std::int16_t>(buffer.data(), 8), -1);
    EXPECT_EQ(
        write_binding(binding_of(DBTYPE_R8, 0, 0), cell(std::u16string(u"0.1")), buffer.data()),
        DBSTATUS_S_OK);
    EXPECT_EQ(read_at<double>(buffer.data(), 8), 0.1);
}

TEST(CheckBinding, RefusesWhatItCannotServe)
{
    DBBINDING binding = binding_of(DBTYPE_WSTR, 0, 10);
    EXPECT_EQ(check_binding(binding, 1), DBBINDSTATUS_OK);
    binding.iOrdinal = 2;
    EXPECT_EQ(check_binding(binding, 1), DBBINDSTATUS_BADORDINAL);
    binding.iOrdinal = 0;
    EXPECT_EQ(check_binding(binding, 1), DBBINDSTATUS_BADORDINAL);
    binding = binding_of(DBTYPE_DBTIMESTAMP, 0, 16);
    EXPECT_EQ(check_binding(binding, 1), DBBINDSTATUS_UNSUPPORTEDCONVERSION);
    binding = binding_of(DBTYPE_WSTR, 0, 10);
    binding.dwPart = 0;
    EXPECT_EQ(check_binding(binding, 1), DBBINDSTATUS_BADBINDINFO);
}

} // namespace
