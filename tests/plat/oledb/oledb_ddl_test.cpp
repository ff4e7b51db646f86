// oledb_ddl_test.cpp: the T-SQL of the table and index definition interfaces: type mapping at the
// size boundaries, column properties, default literals, key and index statements, refusals.
#include "plat/oledb/oledb_ddl.h"

#include <gtest/gtest.h>
#include <limits>
#include <vector>

namespace
{

using namespace plat::oledb;

DBID name_id(const wchar_t* name)
{
    DBID id{};
    id.eKind = DBKIND_NAME;
    id.uName.pwszName = const_cast<wchar_t*>(name);
    return id;
}

DBCOLUMNDESC described(DBTYPE type, DBLENGTH size = 0, BYTE precision = 0, BYTE scale = 0,
                       const wchar_t* type_name = nullptr)
{
    DBCOLUMNDESC column;
    column.wType = type;
    column.ulColumnSize = size;
    column.bPrecision = precision;
    column.bScale = scale;
    column.pwszTypeName = const_cast<wchar_t*>(type_name);
    return column;
}

struct type_case
{
    DBCOLUMNDESC column;
    const wchar_t* expected;
};

class OledbDdlType : public testing::TestWithParam<type_case>
{
};

TEST_P(OledbDdlType, NamesTheSqlServerType)
{
    const std::optional<std::wstring> type = ddl_column_type(GetParam().column);
    ASSERT_TRUE(type.has_value());
    EXPECT_EQ(*type, GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(
    Boundaries, OledbDdlType,
    testing::Values(
        type_case{described(DBTYPE_WSTR, 4000), L"nvarchar(4000)"},
        type_case{described(DBTYPE_WSTR, 4001), L"nvarchar(max)"},
        type_case{described(DBTYPE_WSTR, 0), L"nvarchar(max)"},
        type_case{described(DBTYPE_STR, 8000), L"varchar(8000)"},
        type_case{described(DBTYPE_STR, 8001), L"varchar(max)"},
        type_case{described(DBTYPE_BYTES, 8000), L"varbinary(8000)"},
        type_case{described(DBTYPE_BYTES, 8001), L"varbinary(max)"},
        type_case{described(DBTYPE_NUMERIC, 0, 38, 4), L"numeric(38,4)"},
        type_case{described(DBTYPE_NUMERIC), L"numeric"}, type_case{described(DBTYPE_BOOL), L"bit"},
        type_case{described(DBTYPE_UI1), L"tinyint"}, type_case{described(DBTYPE_I2), L"smallint"},
        type_case{described(DBTYPE_I4), L"int"}, type_case{described(DBTYPE_I8), L"bigint"},
        type_case{described(DBTYPE_R4), L"real"}, type_case{described(DBTYPE_R8), L"float"},
        type_case{described(DBTYPE_CY), L"money"},
        type_case{described(DBTYPE_GUID), L"uniqueidentifier"},
        type_case{described(DBTYPE_DBTIMESTAMP, 0, 0, 3), L"datetime"},
        // The type name wins over the type.
        type_case{described(DBTYPE_DATE, 0, 0, 0, L"DATE"), L"date"},
        type_case{described(DBTYPE_DBTIME2, 0, 0, 4, L"TIME"), L"time(4)"},
        type_case{described(DBTYPE_WSTR, 10, 0, 0, L"decimal(10, 2)"), L"decimal(10, 2)"}));

TEST(OledbDdl, UnwritableTypesAndTypeNamesAreRefused)
{
    EXPECT_FALSE(ddl_column_type(described(DBTYPE_IUNKNOWN)).has_value());
    EXPECT_FALSE(ddl_column_type(described(DBTYPE_I4, 0, 0, 0, L"int; DROP TABLE t")));
    EXPECT_FALSE(ddl_column_type(described(DBTYPE_I4, 0, 0, 0, L"varchar(10) --")));
    const DBID table = name_id(L"t");
    DBCOLUMNDESC column = described(DBTYPE_IUNKNOWN);
    column.dbcid = name_id(L"c");
    const ddl_text result = create_table_text(&table, 1, &column);
    EXPECT_EQ(result.hr, DB_E_BADTYPE);
    EXPECT_EQ(result.error, L"Column [c] has a type this provider cannot create (13).");
}

TEST(OledbDdl, IdentifiersAreQuotedUnlessWellFormedBrackets)
{
    EXPECT_EQ(ddl_identifier(L"t", true), L"[t]");
    EXPECT_EQ(ddl_identifier(L"[dbo].[t]", true), L"[dbo].[t]");
    EXPECT_EQ(ddl_identifier(L"[a]]b]", false), L"[a]]b]");
    EXPECT_EQ(ddl_identifier(L"[dbo].[t]", false), L"[[dbo]].[t]]]");
    EXPECT_EQ(ddl_identifier(L"[a]; DROP TABLE x --", true), L"[[a]]; DROP TABLE x --]");
    EXPECT_EQ(ddl_identifier(L"[a", true), L"[[a]");
    EXPECT_EQ(ddl_identifier(L"[]", true), L"[[]]]");
}

TEST(OledbDdl, CreateTableWithIdentityNullabilityAndDefaults)
{
    DBPROP id_props[2];
    id_props[0].dwPropertyID = DBPROP_COL_AUTOINCREMENT;
    id_props[0].vValue.vt = VT_BOOL;
    id_props[0].vValue.boolVal = VARIANT_TRUE;
    id_props[1].dwPropertyID = DBPROP_COL_NULLABLE;
    id_props[1].vValue.vt = VT_BOOL;
    id_props[1].vValue.boolVal = VARIANT_FALSE;
    DBPROPSET id_set{id_props, 2, DBPROPSET_COLUMN};
    DBPROP name_props[1];
    name_props[0].dwPropertyID = DBPROP_COL_DEFAULT;
    name_props[0].vValue.vt = VT_BSTR;
    name_props[0].vValue.bstrVal = L"N'it''s'";
    DBPROPSET name_set{name_props, 1, DBPROPSET_COLUMN};
    DBPROP ratio_props[1];
    ratio_props[0].dwPropertyID = DBPROP_COL_DEFAULT;
    ratio_props[0].vValue.vt = VT_R8;
    ratio_props[0].vValue.dblVal = 0.1;
    DBPROPSET ratio_set{ratio_props, 1, DBPROPSET_COLUMN};

    std::vector<DBCOLUMNDESC> columns{described(DBTYPE_I4), described(DBTYPE_WSTR, 20),
                                      described(DBTYPE_R8)};
    columns[0].dbcid = name_id(L"[id]");
    columns[0].rgPropertySets = &id_set;
    columns[0].cPropertySets = 1;
    columns[1].dbcid = name_id(L"name");
    columns[1].rgPropertySets = &name_set;
    columns[1].cPropertySets = 1;
    columns[2].dbcid = name_id(L"ratio");
    columns[2].rgPropertySets = &ratio_set;
    columns[2].cPropertySets = 1;
    const DBID table = name_id(L"[dbo].[t]");
    const ddl_text result = create_table_text(&table, 3, columns.data());
    ASSERT_EQ(result.hr, S_OK) << std::string(result.error.begin(), result.error.end());
    EXPECT_EQ(result.text, L"CREATE TABLE [dbo].[t] ([id] int IDENTITY(1,1) NOT NULL, [name] "
                           L"nvarchar(20) NULL DEFAULT N'it''s', [ratio] float NULL DEFAULT "
                           L"0.10000000000000001)");
    EXPECT_EQ(id_props[0].dwStatus, DBPROPSTATUS_OK);
}

TEST(OledbDdl, CollationNameIsWrittenAfterTheTypeAndAForgedOneIsRefused)
{
    DBPROP column_props[1];
    column_props[0].dwPropertyID = DBPROP_COL_NULLABLE;
    column_props[0].vValue.vt = VT_BOOL;
    column_props[0].vValue.boolVal = VARIANT_FALSE;
    DBPROP server_props[1];
    server_props[0].dwPropertyID = SSPROP_COL_COLLATIONNAME;
    server_props[0].vValue.vt = VT_BSTR;
    server_props[0].vValue.bstrVal = L"Latin1_General_100_BIN2";
    DBPROPSET sets[2]{{column_props, 1, DBPROPSET_COLUMN},
                      {server_props, 1, DBPROPSET_SQLSERVERCOLUMN}};
    DBCOLUMNDESC column = described(DBTYPE_WSTR, 12);
    column.dbcid = name_id(L"code");
    column.rgPropertySets = sets;
    column.cPropertySets = 2;
    const DBID table = name_id(L"t");
    const ddl_text result = create_table_text(&table, 1, &column);
    ASSERT_EQ(result.hr, S_OK);
    EXPECT_EQ(result.text,
              L"CREATE TABLE [t] ([code] nvarchar(12) COLLATE Latin1_General_100_BIN2 NOT NULL)");
    EXPECT_EQ(server_props[0].dwStatus, DBPROPSTATUS_OK);

    server_props[0].vValue.bstrVal = L"Latin1_General_BIN2 NULL, x int";
    EXPECT_EQ(create_table_text(&table, 1, &column).hr, DB_E_ERRORSOCCURRED);
    EXPECT_EQ(server_props[0].dwStatus, DBPROPSTATUS_BADVALUE);
}

TEST(OledbDdl, UnknownRequiredPropertyFailsAndOptionalOneIsMarked)
{
    DBPROP props[1];
    props[0].dwPropertyID = 0x7777;
    props[0].vValue.vt = VT_BOOL;
    DBPROPSET set{props, 1, DBPROPSET_COLUMN};
    DBCOLUMNDESC column = described(DBTYPE_I4);
    column.dbcid = name_id(L"c");
    column.rgPropertySets = &set;
    column.cPropertySets = 1;
    const DBID table = name_id(L"t");
    EXPECT_EQ(create_table_text(&table, 1, &column).hr, DB_E_ERRORSOCCURRED);
    EXPECT_EQ(props[0].dwStatus, DBPROPSTATUS_NOTSUPPORTED);
    props[0].dwOptions = DBPROPOPTIONS_OPTIONAL;
    const ddl_text result = create_table_text(&table, 1, &column);
    EXPECT_EQ(result.hr, S_OK);
    EXPECT_EQ(result.text, L"CREATE TABLE [t] ([c] int NULL)");
}

TEST(OledbDdl, DefaultLiteralsOfEachKind)
{
    VARIANT value;
    EXPECT_FALSE(ddl_default_literal(value).has_value());
    value.vt = VT_NULL;
    EXPECT_EQ(ddl_default_literal(value), L"NULL");
    value.vt = VT_BOOL;
    value.boolVal = VARIANT_TRUE;
    EXPECT_EQ(ddl_default_literal(value), L"1");
    value.vt = VT_I8;
    value.llVal = -9007199254740993LL;
    EXPECT_EQ(ddl_default_literal(value), L"-9007199254740993");
    value.vt = VT_R8;
    value.dblVal = 1e300;
    EXPECT_EQ(ddl_default_literal(value), L"1.0000000000000001e+300");
    value.dblVal = std::numeric_limits<double>::quiet_NaN();
    EXPECT_FALSE(ddl_default_literal(value).has_value());
    value.vt = VT_CY;
    value.cyVal.int64 = -12345;
    EXPECT_EQ(ddl_default_literal(value), L"-1.2345");
    value.vt = VT_DATE;
    value.date = 40179.5 + 5.0 / 86400000.0; // 2010-01-01 12:00:00.005
    EXPECT_EQ(ddl_default_literal(value), L"'20100101 12:00:00.005'");
    value.date = -1.25; // 1899-12-29 06:00
    EXPECT_EQ(ddl_default_literal(value), L"'18991229 06:00:00.000'");
}

TEST(OledbDdl, KeyUniqueAndPlainIndexStatements)
{
    const DBID table = name_id(L"[dbo].[t]");
    DBID first = name_id(L"a");
    DBID second = name_id(L"[b]");
    DBINDEXCOLUMNDESC columns[2]{{&first, DBINDEX_COL_ORDER_ASC},
                                 {&second, DBINDEX_COL_ORDER_DESC}};
    DBPROP props[2];
    props[0].dwPropertyID = DBPROP_INDEX_PRIMARYKEY;
    props[0].vValue.vt = VT_BOOL;
    props[0].vValue.boolVal = VARIANT_TRUE;
    props[1].dwPropertyID = DBPROP_INDEX_CLUSTERED;
    props[1].vValue.vt = VT_BOOL;
    props[1].vValue.boolVal = VARIANT_TRUE;
    DBPROPSET set{props, 2, DBPROPSET_INDEX};
    const DBID key = name_id(L"PK_t");
    EXPECT_EQ(create_index_text(&table, &key, 2, columns, 1, &set).text,
              L"ALTER TABLE [dbo].[t] ADD CONSTRAINT [PK_t] PRIMARY KEY CLUSTERED ([a], [b] DESC)");
    props[0].dwPropertyID = DBPROP_INDEX_UNIQUE;
    props[1].vValue.boolVal = VARIANT_FALSE;
    const DBID unique = name_id(L"u]x");
    EXPECT_EQ(create_index_text(&table, &unique, 1, columns, 1, &set).text,
              L"CREATE UNIQUE NONCLUSTERED INDEX [u]]x] ON [dbo].[t] ([a])");
    DBPROPSET empty{nullptr, 0, DBPROPSET_INDEX};
    EXPECT_EQ(create_index_text(&table, &unique, 1, columns, 1, &empty).text,
              L"CREATE NONCLUSTERED INDEX [u]]x] ON [dbo].[t] ([a])");
    columns[0].eIndexColOrder = 7;
    EXPECT_EQ(create_index_text(&table, &unique, 1, columns, 1, &empty).hr, E_INVALIDARG);
    EXPECT_EQ(create_index_text(&table, nullptr, 1, columns, 1, &empty).hr, E_INVALIDARG);
}

} // namespace
