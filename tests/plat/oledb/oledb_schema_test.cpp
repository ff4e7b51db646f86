// oledb_schema_test.cpp: schema rowsets laid out from scripted catalog results.
#include "oledb_fake_link.h"
#include "oledb_rowset_reader.h"
#include "plat/oledb/oledb_objects.h"

#include <gtest/gtest.h>

using namespace oledb_test;

namespace
{

fake_result catalog_result(std::size_t columns, std::vector<row> rows)
{
    fake_result result;
    for (std::size_t column = 0; column < columns; ++column)
    {
        result.columns.push_back(text_column(L"c" + std::to_wstring(column + 1)));
    }
    result.rows = std::move(rows);
    return result;
}

cell t(const char16_t* value)
{
    return std::u16string(value);
}

VARIANT bstr(const wchar_t* value)
{
    VARIANT variant;
    variant.vt = VT_BSTR;
    variant.bstrVal = value;
    return variant;
}

class SchemaRowsets : public testing::Test
{
protected:
    rowset_contents open(const GUID& schema, std::vector<VARIANT> restrictions,
                         HRESULT expected = S_OK)
    {
        std::unique_ptr<plat::oledb::link> connection = fake_links(m_script)();
        com_ref<IRowset> rowset;
        EXPECT_EQ(open_schema_rowset(*connection, schema, static_cast<ULONG>(restrictions.size()),
                                     restrictions.data(), rowset),
                  expected);
        return rowset ? read_rowset(rowset.get()) : rowset_contents{};
    }

    std::shared_ptr<fake_script> m_script = std::make_shared<fake_script>();
};

TEST_F(SchemaRowsets, TablesEscapeTheSchemaPattern)
{
    m_script->catalog[L"tables"] =
        catalog_result(5, {{t(u"db"), t(u"my_user"), t(u"t1"), t(u"TABLE"), cell{}}});
    const rowset_contents contents =
        open(DBSCHEMA_TABLES, {VARIANT{}, bstr(L"my_user"), VARIANT{}, bstr(L"TABLE")});
    EXPECT_EQ(m_script->catalog_calls,
              std::vector<std::wstring>{L"tables(my\\_user|<null>|TABLE)"});
    ASSERT_EQ(contents.names.size(), 9u);
    EXPECT_EQ(contents.names[2], L"TABLE_NAME");
    ASSERT_EQ(contents.rows.size(), 1u);
    EXPECT_EQ(*contents.rows[0][1], L"my_user");
    EXPECT_EQ(*contents.rows[0][2], L"t1");
    EXPECT_EQ(*contents.rows[0][3], L"TABLE");
    EXPECT_FALSE(contents.rows[0][4].has_value());
}

TEST_F(SchemaRowsets, PrimaryKeysTakeOrdinalAndName)
{
    m_script->catalog[L"primary_keys"] =
        catalog_result(6, {{cell{}, t(u"dbo"), t(u"t"), t(u"a"), t(u"1"), t(u"PK_t")},
                           {cell{}, t(u"dbo"), t(u"t"), t(u"b"), t(u"2"), t(u"PK_t")}});
    const rowset_contents contents =
        open(DBSCHEMA_PRIMARY_KEYS, {VARIANT{}, bstr(L"dbo"), bstr(L"t")});
    EXPECT_EQ(m_script->catalog_calls, std::vector<std::wstring>{L"primary_keys(dbo|t)"});
    ASSERT_EQ(contents.rows.size(), 2u);
    EXPECT_EQ(*contents.rows[1][3], L"b");
    EXPECT_EQ(*contents.rows[1][6], L"2");
    EXPECT_EQ(*contents.rows[1][7], L"PK_t");
}

TEST_F(SchemaRowsets, IndexesDropStatisticsRowsAndMarkTheKey)
{
    m_script->catalog[L"primary_keys"] =
        catalog_result(6, {{cell{}, t(u"dbo"), t(u"t"), t(u"a"), t(u"1"), t(u"PK_t")}});
    m_script->catalog[L"statistics"] =
        catalog_result(13, {{cell{}, t(u"dbo"), t(u"t"), cell{}, cell{}, cell{}, t(u"0"), cell{},
                             cell{}, cell{}, t(u"7"), t(u"1"), cell{}},
                            {cell{}, t(u"dbo"), t(u"t"), t(u"0"), cell{}, t(u"PK_t"), t(u"1"),
                             t(u"1"), t(u"a"), t(u"A"), cell{}, cell{}, cell{}},
                            {cell{}, t(u"dbo"), t(u"t"), t(u"1"), cell{}, t(u"ix_b"), t(u"3"),
                             t(u"1"), t(u"b"), t(u"D"), t(u"-1"), cell{}, cell{}}});
    const rowset_contents contents =
        open(DBSCHEMA_INDEXES, {VARIANT{}, bstr(L"dbo"), VARIANT{}, VARIANT{}, bstr(L"t")});
    ASSERT_EQ(contents.names.size(), 25u);
    EXPECT_EQ(contents.names[17], L"COLUMN_NAME");
    ASSERT_EQ(contents.rows.size(), 2u);
    const auto expect_row = [&](std::size_t row_idx, const wchar_t* name, const wchar_t* primary,
                                const wchar_t* unique, const wchar_t* clustered,
                                const wchar_t* column)
    {
        SCOPED_TRACE(row_idx);
        EXPECT_EQ(*contents.rows[row_idx][5], name);
        EXPECT_EQ(*contents.rows[row_idx][6], primary);
        EXPECT_EQ(*contents.rows[row_idx][7], unique);
        EXPECT_EQ(*contents.rows[row_idx][8], clustered);
        EXPECT_EQ(*contents.rows[row_idx][16], L"1");
        EXPECT_EQ(*contents.rows[row_idx][17], column);
    };
    expect_row(0, L"PK_t", L"1", L"1", L"1", L"a");
    expect_row(1, L"ix_b", L"0", L"0", L"0", L"b");
    // A driver's -1 ("unknown") for the unsigned CARDINALITY reads as NULL, not as a failure.
    EXPECT_FALSE(contents.rows[1][21].has_value());
}

TEST_F(SchemaRowsets, ForeignKeyRulesBecomeText)
{
    m_script->catalog[L"foreign_keys"] = catalog_result(
        14, {{cell{}, t(u"dbo"), t(u"p"), t(u"id"), cell{}, t(u"dbo"), t(u"c"), t(u"pid"), t(u"1"),
              t(u"0"), t(u"1"), t(u"FK_c"), t(u"PK_p"), t(u"7")},
             {cell{}, t(u"dbo"), t(u"p"), t(u"id2"), cell{}, t(u"dbo"), t(u"c"), t(u"pid2"),
              t(u"2"), t(u"2"), t(u"4"), t(u"FK_c"), t(u"PK_p"), t(u"7")}});
    const rowset_contents contents =
        open(DBSCHEMA_FOREIGN_KEYS, {VARIANT{}, bstr(L"dbo"), bstr(L"p")});
    EXPECT_EQ(m_script->catalog_calls, std::vector<std::wstring>{L"foreign_keys(dbo|p)"});
    ASSERT_EQ(contents.rows.size(), 2u);
    const text_row& first = contents.rows[0];
    EXPECT_EQ(*first[2], L"p");
    EXPECT_EQ(*first[3], L"id");
    EXPECT_EQ(*first[8], L"c");
    EXPECT_EQ(*first[9], L"pid");
    EXPECT_EQ(*first[13], L"CASCADE");
    EXPECT_EQ(*first[14], L"NO ACTION");
    EXPECT_EQ(*first[15], L"PK_p");
    EXPECT_EQ(*first[16], L"FK_c");
    EXPECT_EQ(*contents.rows[1][13], L"SET NULL");
    EXPECT_EQ(*contents.rows[1][14], L"SET DEFAULT");
}

TEST_F(SchemaRowsets, BadRestrictionsAreRefused)
{
    VARIANT number;
    number.vt = VT_I4;
    number.lVal = 3;
    open(DBSCHEMA_TABLES, {number}, E_INVALIDARG);
    open(DBSCHEMA_PRIMARY_KEYS, {VARIANT{}, bstr(L"dbo")}, E_INVALIDARG);
    open(DBGUID_DBSQL, {}, E_INVALIDARG);
    EXPECT_TRUE(m_script->catalog_calls.empty());
}

} // namespace
