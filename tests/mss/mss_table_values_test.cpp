// mss_table_values_test.cpp: single values through the table writer and the bulk loader down to
// the bytes bulk copy sends: text outside the BMP, empty and NULL, text at its slot's limit,
// binary with zero bytes, decimals at their column's limits and GUID text, each exact or refused.
#include "mss_table_fixture.h"
#include "udb/udb_value_exception.h"

#include <gtest/gtest.h>

namespace
{

using namespace mss_test;

struct value_case
{
    const char* name;
    plat::oledb::column_desc destination;
    t_ftd source;
    ole_variant value;
    // What bulk copy sent ("row(...)") or the INSERT the row went by instead; empty when the
    // row is refused before anything is sent.
    std::vector<std::wstring> sent;
    bool refused = false;
};

plat::oledb::column_desc numeric_12_2()
{
    plat::oledb::column_desc amount = described(L"v", sql_type::numeric, 12);
    amount.decimal_digits = 2;
    return amount;
}

ole_variant decimal(const std::string& digits)
{
    ole_variant value;
    EXPECT_TRUE(value.set_decimal_text(digits));
    return value;
}

ole_variant bytes(const std::vector<std::uint8_t>& data)
{
    return ole_variant(data.size(), data.data());
}

std::wstring repeated(const std::wstring& text, int times)
{
    std::wstring all;
    for (int count = 0; count < times; ++count)
    {
        all += text;
    }
    return all;
}

// A numeric(12,2) host value: precision, scale, sign (1 positive), then the unscaled magnitude
// in 16 little-endian bytes.
const std::wstring zeros_11 = L"0000000000000000000000";

class MssTableValues : public MssTable, public testing::WithParamInterface<value_case>
{
};

TEST_P(MssTableValues, ValueArrivesExactOrFailsItsRow)
{
    const value_case& given = GetParam();
    open(true, true, {given.destination});
    std::unique_ptr<odb_table> table = writer({given.source});
    udb_record record = row_of({{L"v", given.value}});
    bool refused = false;
    try
    {
        table->append_record(record);
    }
    catch (const udb_value_exception&)
    {
        refused = true;
    }
    table->flush();
    EXPECT_EQ(refused, given.refused);
    EXPECT_EQ(trace_of({L"row(", L"INSERT", L"SET QUOTED_IDENTIFIER OFF; INSERT"}), given.sent);
}

INSTANTIATE_TEST_SUITE_P(
    Values, MssTableValues,
    testing::Values(
        value_case{"TextOutsideTheBmp",
                   described(L"v", sql_type::wvarchar, 40),
                   column(L"v", VT_BSTR, 40),
                   ole_variant(L"a\U0001F600b\u00e9"),
                   {L"row(a\U0001F600b\u00e9)"}},
        value_case{"EmptyTextIsNotNull",
                   described(L"v", sql_type::wvarchar, 40),
                   column(L"v", VT_BSTR, 40),
                   ole_variant(L""),
                   {L"row()"}},
        value_case{"NullText",
                   described(L"v", sql_type::wvarchar, 40),
                   column(L"v", VT_BSTR, 40),
                   null_value(),
                   {L"row(NULL)"}},
        // Twenty characters outside the BMP fill the forty UTF-16 units of nvarchar(40).
        value_case{"TextOfSurrogatePairsFillingItsSlot",
                   described(L"v", sql_type::wvarchar, 40),
                   column(L"v", VT_BSTR, 40),
                   ole_variant(repeated(L"\U0001F600", 20)),
                   {L"row(" + repeated(L"\U0001F600", 20) + L")"}},
        value_case{"TextOfSurrogatePairsPastItsSlotGoesByInsert",
                   described(L"v", sql_type::wvarchar, 40),
                   column(L"v", VT_BSTR, 40),
                   ole_variant(repeated(L"\U0001F600", 21)),
                   {L"SET QUOTED_IDENTIFIER OFF; INSERT INTO [dbo].[t]([v]) VALUES( N'" +
                    repeated(L"\U0001F600", 21) + L"')"}},
        value_case{"BinaryWithZeroBytes",
                   described(L"v", sql_type::varbinary, 16),
                   column(L"v", VT_BYTE_ARRAY, 16),
                   bytes({0x00, 0x41, 0x00}),
                   {L"row(0x004100)"}},
        value_case{"EmptyBinaryIsNotNull",
                   described(L"v", sql_type::varbinary, 16),
                   column(L"v", VT_BYTE_ARRAY, 16),
                   bytes({}),
                   {L"row(0x)"}},
        value_case{"LargestDecimal",
                   numeric_12_2(),
                   column(L"v", VT_DECIMAL, 0, false, {}, t_ftd::make_precision_scale(12, 2)),
                   decimal("9999999999.99"),
                   {L"row(0x0C0201FF0FA5D4E8" + zeros_11 + L")"}},
        value_case{"SmallestDecimal",
                   numeric_12_2(),
                   column(L"v", VT_DECIMAL, 0, false, {}, t_ftd::make_precision_scale(12, 2)),
                   decimal("-9999999999.99"),
                   {L"row(0x0C0200FF0FA5D4E8" + zeros_11 + L")"}},
        value_case{"DecimalOfOneHundredth",
                   numeric_12_2(),
                   column(L"v", VT_DECIMAL, 0, false, {}, t_ftd::make_precision_scale(12, 2)),
                   decimal("-0.01"),
                   {L"row(0x0C020001" + zeros_11 + L"00000000)"}},
        value_case{"DecimalPastItsPrecisionIsRefused",
                   numeric_12_2(),
                   column(L"v", VT_DECIMAL, 0, false, {}, t_ftd::make_precision_scale(12, 2)),
                   decimal("10000000000.00"),
                   {},
                   true},
        value_case{"DecimalPastItsScaleIsRefused",
                   numeric_12_2(),
                   column(L"v", VT_DECIMAL, 0, false, {}, t_ftd::make_precision_scale(12, 2)),
                   decimal("0.001"),
                   {},
                   true},
        // The loader takes nothing but the GUID's own digits: a sign where a group's digits
        // stand is no GUID, and the server says so to the INSERT statement.
        value_case{
            "GuidTextWithASignGoesByInsert",
            described(L"v", sql_type::guid),
            column(L"v", VT_BSTR, 0, false, {}, t_ftd::guid_column),
            ole_variant(L"12345678-+234-1234-1234-123456789012"),
            {L"INSERT INTO [dbo].[t]([v]) VALUES( N'12345678-+234-1234-1234-123456789012')"}},
        value_case{
            "GuidTextWithAHexPrefixGoesByInsert",
            described(L"v", sql_type::guid),
            column(L"v", VT_BSTR, 0, false, {}, t_ftd::guid_column),
            ole_variant(L"0x345678-1234-1234-1234-123456789012"),
            {L"INSERT INTO [dbo].[t]([v]) VALUES( N'0x345678-1234-1234-1234-123456789012')"}},
        value_case{"GuidTextInUpperCaseAndBraces",
                   described(L"v", sql_type::guid),
                   column(L"v", VT_BSTR, 0, false, {}, t_ftd::guid_column),
                   ole_variant(L"{B1FFCD88-8D1A-4EF8-BB6D-6BB9BD380A22}"),
                   {L"row(0x88CDFFB11A8DF84EBB6D6BB9BD380A22)"}}),
    [](const testing::TestParamInfo<value_case>& param_info)
    { return std::string(param_info.param.name); });

} // namespace
