// odb_record_test.cpp: bind sizes and offsets, records from hand-made buffers, the type maps and
// the target state they read, and the engine's state.
#include "mss/mss_engine.h"
#include "mss/odb_accessor.h"
#include "mss/odb_record.h"
#include "mss_fakes.h"
#include "plat/oledb/oledb_providers.h"
#include "plat/oledb/oledb_rowset.h"

#include <cstring>
#include <gtest/gtest.h>

namespace
{

DBCOLUMNINFO column_of(const wchar_t* name, DBTYPE type, DBLENGTH size)
{
    DBCOLUMNINFO column{};
    column.pwszName = const_cast<wchar_t*>(name);
    column.wType = type;
    column.ulColumnSize = size;
    return column;
}

plat::oledb::com_ref<IRowset> empty_rowset(std::size_t columns)
{
    std::vector<plat::oledb::rowset_column> layout(columns);
    return plat::oledb::make_rowset(layout, plat::oledb::make_materialised_source({}));
}

TEST(OdbAccessor, BindSizesAndOffsets)
{
    const DBCOLUMNINFO columns[] = {
        column_of(L"n", DBTYPE_WSTR, 10), column_of(L"b", DBTYPE_BYTES, 8000),
        column_of(L"m", DBTYPE_WSTR, DB_LONG_COLUMN_SIZE), column_of(L"i", DBTYPE_I4, 4),
        column_of(L"d", DBTYPE_DBTIMESTAMP, 16)};
    odb_accessor accessor;
    auto rowset = empty_rowset(5);
    accessor.bind(rowset.get(), 5, columns);
    const std::vector<DBBINDING>& bindings = accessor.bindings();
    ASSERT_EQ(bindings.size(), 5u);
    const DBLENGTH sizes[] = {22, 32002, 20000000, 52, 102};
    DBBYTEOFFSET offset = 0;
    for (std::size_t column_idx = 0; column_idx < 5; ++column_idx)
    {
        SCOPED_TRACE(column_idx);
        EXPECT_EQ(bindings[column_idx].cbMaxLen, sizes[column_idx]);
        EXPECT_EQ(bindings[column_idx].obStatus, offset);
        EXPECT_EQ(bindings[column_idx].obLength, offset + 4);
        EXPECT_EQ(bindings[column_idx].obValue, offset + 8);
        EXPECT_EQ(bindings[column_idx].iOrdinal, column_idx + 1);
        EXPECT_EQ(bindings[column_idx].wType, column_idx == 1 ? DBTYPE_BYTES : DBTYPE_WSTR);
        offset += sizes[column_idx] + 8;
    }
    EXPECT_EQ(accessor.row_size(), offset);
    EXPECT_EQ(accessor.get_bind_size(2), 40000000u);
}

// A row buffer laid out as the accessor lays it out, filled by hand.
class row_buffer
{
public:
    explicit row_buffer(const std::vector<DBCOLUMNINFO>& columns)
        : m_columns(columns)
    {
        DBBYTEOFFSET offset = 0;
        for (std::size_t column_idx = 0; column_idx < columns.size(); ++column_idx)
        {
            DBBINDING binding{};
            binding.iOrdinal = static_cast<DBORDINAL>(column_idx + 1);
            binding.obStatus = offset;
            binding.obLength = offset + 4;
            binding.obValue = offset + 8;
            binding.cbMaxLen = 102;
            binding.wType = columns[column_idx].wType == DBTYPE_BYTES ? DBTYPE_BYTES : DBTYPE_WSTR;
            m_bindings.push_back(binding);
            offset += 110;
        }
        m_data.assign(offset, 0xCC);
    }

    void set_null(std::size_t column_idx)
    {
        const DBSTATUS status = DBSTATUS_S_ISNULL;
        std::memcpy(&m_data[m_bindings[column_idx].obStatus], &status, 4);
    }

    void set_text(std::size_t column_idx, const std::u16string& text)
    {
        const DBSTATUS status = DBSTATUS_S_OK;
        const DBLENGTH length = static_cast<DBLENGTH>(text.size() * 2);
        std::memcpy(&m_data[m_bindings[column_idx].obStatus], &status, 4);
        std::memcpy(&m_data[m_bindings[column_idx].obLength], &length, 4);
        std::memcpy(&m_data[m_bindings[column_idx].obValue], text.c_str(), length + 2);
    }

    odb_record record() const
    {
        return odb_record(static_cast<std::uint32_t>(m_columns.size()), m_data.data(),
                          m_columns.data(), m_bindings.data());
    }

private:
    std::vector<DBCOLUMNINFO> m_columns;
    std::vector<DBBINDING> m_bindings;
    std::vector<std::uint8_t> m_data;
};

TEST(OdbRecord, BuiltFromAHandMadeBuffer)
{
    row_buffer buffer(
        {column_of(L"null_int", DBTYPE_I4, 4), column_of(L"empty_text", DBTYPE_WSTR, 10),
         column_of(L"empty_int", DBTYPE_I4, 4), column_of(L"stamp", DBTYPE_DBTIMESTAMP, 16),
         column_of(L"amount", DBTYPE_NUMERIC, 19), column_of(L"name", DBTYPE_WSTR, 20)});
    buffer.set_null(0);
    buffer.set_text(1, u"");
    buffer.set_text(2, u"");
    buffer.set_text(3, u"2024-02-29 13:14:15.678");
    buffer.set_text(4, u"12.25");
    buffer.set_text(5, u"Zoë");
    const odb_record record = buffer.record();
    ASSERT_EQ(record.size(), 6u);
    EXPECT_EQ(record[0]->get_type(), VT_EMPTY);
    EXPECT_EQ(record[0]->name(), L"null_int");
    EXPECT_EQ(record[1]->get_type(), VT_BSTR);
    EXPECT_EQ(record[1]->to_wstring(), L"");
    EXPECT_EQ(record[2]->get_type(), VT_EMPTY);
    EXPECT_EQ(record[3]->get_type(), VT_DATE);
    EXPECT_EQ(record[3]->get_systemtime().wYear, 2024);
    EXPECT_EQ(record[3]->get_systemtime().wMilliseconds, 678);
    EXPECT_EQ(record[4]->get_type(), VT_DECIMAL);
    EXPECT_EQ(record[4]->to_wstring(), L"12.25");
    EXPECT_EQ(record[5]->to_wstring(), L"Zoë");
    EXPECT_EQ(record[5]->size(), 20);
}

struct vartype_case
{
    DBTYPE type;
    int version;
    bool native;
    VARTYPE vartype;
    std::int32_t reserved;
};

class OdbVartype : public testing::TestWithParam<vartype_case>
{
};

TEST_P(OdbVartype, FollowsTheTable)
{
    const vartype_case& c = GetParam();
    mss_target target;
    target.version_code = c.version;
    target.native_client = c.native;
    std::int32_t reserved = 0;
    EXPECT_EQ(odb_record::get_vartype(c.type, reserved, target), c.vartype);
    EXPECT_EQ(reserved, c.reserved);
}

INSTANTIATE_TEST_SUITE_P(Table, OdbVartype,
                         testing::Values(vartype_case{DBTYPE_I8, 1, false, VT_I8, 0},
                                         vartype_case{DBTYPE_BOOL, 1, false, VT_BOOL, 0},
                                         vartype_case{DBTYPE_NUMERIC, 1, false, VT_DECIMAL, 0},
                                         vartype_case{DBTYPE_DBDATE, 5, false, VT_DATE, 0},
                                         vartype_case{DBTYPE_DBDATE, 5, true, VT_DATE, 2},
                                         vartype_case{DBTYPE_DBDATE, 4, true, VT_DATE, 0},
                                         vartype_case{DBTYPE_DBTIME2, 5, false, VT_DATE, 0},
                                         vartype_case{DBTYPE_DBTIME2, 8, true, VT_DATE, 3},
                                         vartype_case{DBTYPE_DBTIMESTAMP, 8, false, VT_DATE, 0},
                                         vartype_case{DBTYPE_XML, 1, false, VT_BSTR, 11},
                                         vartype_case{DBTYPE_GUID, 1, false, VT_BSTR,
                                                      t_ftd::guid_column},
                                         vartype_case{DBTYPE_STR, 1, false, VT_BSTR, 0},
                                         vartype_case{DBTYPE_BYTES, 1, false, VT_BLOB, 0}));

struct oledb_type_case
{
    VARTYPE vartype;
    std::int32_t reserved;
    const wchar_t* source_type;
    int version;
    DBTYPE expected;
};

class OdbOledbType : public testing::TestWithParam<oledb_type_case>
{
};

TEST_P(OdbOledbType, FollowsTheTable)
{
    const oledb_type_case& c = GetParam();
    mss_target target;
    target.version_code = c.version;
    t_ftd descriptor(0, L"c", c.vartype, false, false, ole_variant(), c.reserved, L"");
    EXPECT_EQ(odb_record::get_oledb_type(descriptor, c.source_type, target), c.expected);
}

INSTANTIATE_TEST_SUITE_P(
    Table, OdbOledbType,
    testing::Values(oledb_type_case{VT_I8, 0, L"", 1, DBTYPE_R8},
                    oledb_type_case{VT_I8, 0, L"", 5, DBTYPE_I8},
                    oledb_type_case{VT_UI4, 0, L"", 2, DBTYPE_R8},
                    oledb_type_case{VT_I1, 0, L"", 1, DBTYPE_I2},
                    oledb_type_case{VT_UI2, 0, L"", 1, DBTYPE_I4},
                    oledb_type_case{VT_UI8, 0, L"", 1, DBTYPE_R8},
                    oledb_type_case{VT_BSTR, 0, L"character varying", 1, DBTYPE_STR},
                    oledb_type_case{VT_BSTR, 0, L"TEXT", 1, DBTYPE_STR},
                    oledb_type_case{VT_BSTR, 0, L"nvarchar", 1, DBTYPE_WSTR},
                    oledb_type_case{VT_DECIMAL, (10 << 8) | 2, L"", 1, DBTYPE_NUMERIC},
                    oledb_type_case{VT_DECIMAL, (39 << 8), L"", 1, DBTYPE_R8},
                    oledb_type_case{VT_DATE, 2, L"", 5, DBTYPE_DBTIMESTAMP},
                    oledb_type_case{VT_DATE, 1, L"", 5, DBTYPE_DBTIMESTAMP},
                    oledb_type_case{VT_BLOB, 0, L"", 1, DBTYPE_BYTES},
                    oledb_type_case{VT_ARRAY | VT_UI1, 0, L"", 1, DBTYPE_WSTR}));

TEST(MssEngine, FreshEngineHasTheDefaults)
{
    mss_engine engine(true);
    EXPECT_EQ(engine.version_code(), 0);
    EXPECT_TRUE(engine.fast_load());
    EXPECT_TRUE(engine.unicode());
    EXPECT_FALSE(engine.as_dbo());
    EXPECT_TRUE(engine.is_view_owned());
    EXPECT_FALSE(engine.is_native_client());
    EXPECT_EQ(&mss_engine::ref(), &engine);
    EXPECT_THROW(mss_engine second(true), tk_mail_assertion);
}

TEST(MssEngine, WindowsLoginClearsTheEarlierSqlLogin)
{
    mss_engine engine(true);
    engine.store_login(L"srv", L"sa", L"secret");
    engine.store_windows_login(L"srv2");
    EXPECT_EQ(engine.server(), L"srv2");
    EXPECT_EQ(engine.user(), L"");
    EXPECT_EQ(engine.password(), L"");
    EXPECT_TRUE(engine.windows_auth());
}

TEST(MssEngine, NativeClientNeedsAConnectionThroughNativeClient)
{
    mss_engine engine(true);
    engine.set_connected(true);
    EXPECT_FALSE(engine.is_native_client());
    mss_test::connect_native(engine);
    EXPECT_TRUE(engine.is_native_client());
    engine.set_connected(false);
    EXPECT_FALSE(engine.is_native_client());
}

TEST(MssEngine, CreatesTheDataConversionObjectAndCountsCoInitialize)
{
    {
        // No class table: no conversion library, and nothing is reported.
        mss_engine engine(true);
        EXPECT_EQ(engine.data_convert(), nullptr);
    }
    plat::oledb::class_table table;
    plat::oledb::register_providers(
        table, plat::oledb::provider_setup{[](const std::wstring&) { return false; },
                                           [](const std::wstring&) { return std::wstring(); },
                                           nullptr, "", L"", false});
    const int before = plat::oledb::co_initialize_count();
    {
        mss_engine engine(false);
        EXPECT_NE(engine.data_convert(), nullptr);
        EXPECT_EQ(plat::oledb::co_initialize_count(), before + 1);
    }
    CoUninitialize();
    EXPECT_EQ(plat::oledb::co_initialize_count(), before);
}

} // namespace
