// odb_recordset_test.cpp: reading rowsets five rows at a time, end of rows, resets and the
// schema built from the column information.
#include "mss/odb_recordset.h"
#include "plat/oledb/oledb_rowset.h"

#include <gtest/gtest.h>

namespace
{

using plat::oledb::com_ref;
using plat::oledb::rowset_column;

// Passes every call to a real rowset and counts the calls the recordset makes.
class counting_rowset final : public plat::oledb::com_object<IRowset, IAccessor, IColumnsInfo>
{
public:
    explicit counting_rowset(com_ref<IRowset> inner)
        : m_inner(std::move(inner))
    {
        m_inner->QueryInterface(IID_IAccessor, reinterpret_cast<void**>(&m_accessor));
        m_inner->QueryInterface(IID_IColumnsInfo, reinterpret_cast<void**>(&m_info));
    }
    ~counting_rowset() override
    {
        m_accessor->Release();
        m_info->Release();
    }

    HRESULT GetData(HROW row, HACCESSOR accessor, void* data) override
    {
        return m_inner->GetData(row, accessor, data);
    }
    HRESULT GetNextRows(HCHAPTER chapter, DBROWOFFSET offset, DBROWCOUNT count,
                        DBCOUNTITEM* obtained, HROW** rows) override
    {
        const HRESULT hr = m_inner->GetNextRows(chapter, offset, count, obtained, rows);
        fills.push_back(*obtained);
        return hr;
    }
    HRESULT ReleaseRows(DBCOUNTITEM count, const HROW rows[], DBROWOPTIONS options[],
                        DBREFCOUNT refs[], DBROWSTATUS statuses[]) override
    {
        return m_inner->ReleaseRows(count, rows, options, refs, statuses);
    }
    HRESULT RestartPosition(HCHAPTER chapter) override
    {
        ++restarts;
        return m_inner->RestartPosition(chapter);
    }
    HRESULT CreateAccessor(DBACCESSORFLAGS flags, DBCOUNTITEM count, const DBBINDING bindings[],
                           DBLENGTH size, HACCESSOR* accessor, DBBINDSTATUS statuses[]) override
    {
        return m_accessor->CreateAccessor(flags, count, bindings, size, accessor, statuses);
    }
    HRESULT ReleaseAccessor(HACCESSOR accessor, DBREFCOUNT* refs) override
    {
        return m_accessor->ReleaseAccessor(accessor, refs);
    }
    HRESULT GetColumnInfo(DBORDINAL* count, DBCOLUMNINFO** info, OLECHAR** strings) override
    {
        return m_info->GetColumnInfo(count, info, strings);
    }

    std::vector<DBCOUNTITEM> fills;
    int restarts = 0;

private:
    com_ref<IRowset> m_inner;
    IAccessor* m_accessor = nullptr;
    IColumnsInfo* m_info = nullptr;
};

com_ref<counting_rowset> numbers_rowset(int count)
{
    rowset_column column;
    column.name = L"n";
    column.type = DBTYPE_I4;
    column.size = 4;
    column.flags = DBCOLUMNFLAGS_ISFIXEDLENGTH;
    std::vector<plat::oledb::row> rows;
    for (int row_idx = 1; row_idx <= count; ++row_idx)
    {
        const std::string text = std::to_string(row_idx);
        rows.push_back({std::u16string(text.begin(), text.end())});
    }
    return plat::oledb::make_com<counting_rowset>(
        plat::oledb::make_rowset({column}, plat::oledb::make_materialised_source(rows)));
}

std::vector<int> read_all(odb_recordset& recordset)
{
    std::vector<int> values;
    for (recordset.reset(); !recordset.is_eof(); recordset.next())
    {
        values.push_back((*recordset.get_item())[0]->to_long());
    }
    return values;
}

TEST(OdbRecordset, TwelveRowsComeInFillsOfFiveFiveAndTwo)
{
    auto rowset = numbers_rowset(12);
    odb_recordset recordset(rowset.get());
    const std::vector<int> values = read_all(recordset);
    ASSERT_EQ(values.size(), 12u);
    EXPECT_EQ(values.front(), 1);
    EXPECT_EQ(values.back(), 12);
    EXPECT_EQ(rowset->fills, (std::vector<DBCOUNTITEM>{5, 5, 2, 0}));
    EXPECT_TRUE(recordset.is_eof());
}

TEST(OdbRecordset, NoRowsIsEndAfterResetAndGetItemAsserts)
{
    auto rowset = numbers_rowset(0);
    odb_recordset recordset(rowset.get());
    recordset.reset();
    EXPECT_TRUE(recordset.is_eof());
    try
    {
        recordset.get_item();
        FAIL() << "no assertion";
    }
    catch (const tk_mail_assertion& error)
    {
        const tk_mail_assertion expected("..\\MSS/odb_recs", 99);
        EXPECT_STREQ(error.what(), expected.what());
    }
    EXPECT_THROW(recordset.next(), tk_mail_assertion);
}

TEST(OdbRecordset, SecondResetBeforeReadingKeepsTheFirstRows)
{
    auto rowset = numbers_rowset(7);
    odb_recordset recordset(rowset.get());
    recordset.reset();
    const std::vector<int> values = read_all(recordset);
    EXPECT_EQ(values, (std::vector<int>{1, 2, 3, 4, 5, 6, 7}));
    EXPECT_EQ(rowset->restarts, 0);
}

TEST(OdbRecordset, ResetAfterReadingRestartsOnce)
{
    auto rowset = numbers_rowset(7);
    odb_recordset recordset(rowset.get());
    recordset.reset();
    recordset.next();
    recordset.next();
    EXPECT_EQ(read_all(recordset), (std::vector<int>{1, 2, 3, 4, 5, 6, 7}));
    EXPECT_EQ(rowset->restarts, 1);
}

TEST(OdbRecordset, AppendRecordAsserts)
{
    auto rowset = numbers_rowset(1);
    odb_recordset recordset(rowset.get());
    udb_record record;
    try
    {
        recordset.append_record(record);
        FAIL() << "no assertion";
    }
    catch (const tk_mail_assertion& error)
    {
        EXPECT_STREQ(error.what(), tk_mail_assertion("odb_recs", 55).what());
    }
}

TEST(OdbRecordset, SchemaCarriesSizesFlagsAndReservedValues)
{
    const auto column = [](const wchar_t* name, DBTYPE type, DBLENGTH size, BYTE precision,
                           BYTE scale, DBCOLUMNFLAGS flags)
    {
        rowset_column entry;
        entry.name = name;
        entry.type = type;
        entry.size = size;
        entry.precision = precision;
        entry.scale = scale;
        entry.flags = flags;
        return entry;
    };
    auto rowset = plat::oledb::make_rowset(
        {column(L"amount", DBTYPE_NUMERIC, 19, 10, 2, DBCOLUMNFLAGS_ISNULLABLE),
         column(L"stamp", DBTYPE_DBTIMESTAMP, 16, 23, 3, 0),
         column(L"doc", DBTYPE_XML, DB_LONG_COLUMN_SIZE, 255, 255, DBCOLUMNFLAGS_ISLONG),
         column(L"bin", DBTYPE_BYTES, 8, 255, 255, 0), column(L"id", DBTYPE_GUID, 16, 255, 255, 0)},
        plat::oledb::make_materialised_source({}));
    odb_recordset recordset(rowset.get());
    const udb_schema& schema = recordset.schema();
    ASSERT_EQ(schema.size(), 5u);
    EXPECT_EQ(schema[0]->vartype, VT_DECIMAL);
    EXPECT_EQ(schema[0]->dw_reserved, 2562);
    EXPECT_FALSE(schema[0]->b_not_null);
    EXPECT_EQ(schema[1]->vartype, VT_DATE);
    EXPECT_EQ(schema[1]->dw_reserved, 1);
    EXPECT_TRUE(schema[1]->b_not_null);
    EXPECT_EQ(schema[2]->vartype, VT_BSTR);
    EXPECT_EQ(schema[2]->dw_reserved, 11);
    EXPECT_EQ(schema[3]->vartype, VT_BLOB);
    EXPECT_EQ(schema[3]->size, 0);
    EXPECT_EQ(schema[4]->size, 38);
}

} // namespace
