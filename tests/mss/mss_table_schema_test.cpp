// mss_table_schema_test.cpp: the writer of an existing table: its defaults, identity and decimal
// sizes from sp_columns, its key, updates by key, and column defaults as SQL Server reports them.
#include "mss/mss_table.h"
#include "mss/odb_exception.h"
#include "mss_table_fixture.h"

#include <gtest/gtest.h>

namespace
{

using namespace mss_test;
class MssTableExisting : public MssTable
{
protected:
    // [dbo].[t] (id int identity, name nvarchar(20), amount numeric(18,4), tag nvarchar(3)),
    // with its primary key on id when `keyed`.
    void open_existing(bool keyed)
    {
        m_script->batches[L"SELECT COUNT_BIG(*) FROM [dbo].[t]"] = {count_of(u"3")};
        m_script->batches[sp_columns_sql] = {sp_columns_rows({
            sp_row(L"t", L"id", L"int identity", L"10", L"4", L"0", std::nullopt),
            sp_row(L"t", L"name", L"nvarchar", L"20", L"40", std::nullopt, L"(N'it''s')"),
            sp_row(L"t", L"amount", L"numeric", L"18", L"20", L"4", L"((0))"),
            sp_row(L"t", L"tag", L"nvarchar", L"3", L"6", std::nullopt, L"('toolong')"),
            // sp_columns reads "t" as a LIKE pattern; another table's rows are no part of t.
            sp_row(L"tx", L"name", L"nvarchar", L"20", L"40", std::nullopt, L"('other')"),
        })};
        if (keyed)
        {
            fake_result keys;
            for (const wchar_t* name : {L"TABLE_CAT", L"TABLE_SCHEM", L"TABLE_NAME", L"COLUMN_NAME",
                                        L"KEY_SEQ", L"PK_NAME"})
            {
                keys.columns.push_back(described(name, sql_type::wvarchar, 128));
            }
            keys.rows = {
                {text(u"shop"), text(u"dbo"), text(u"t"), text(u"id"), text(u"1"), text(u"PK_t")}};
            m_script->catalog[L"primary_keys"] = keys;
        }
        open(false, false,
             {described(L"id", sql_type::integer, 10, true),
              described(L"name", sql_type::wvarchar, 20),
              described(L"amount", sql_type::numeric, 18),
              described(L"tag", sql_type::wvarchar, 3)});
    }

    static fake_result count_of(const std::u16string& count)
    {
        fake_result result;
        result.columns = {described(L"n", sql_type::wvarchar, 20)};
        result.rows = {{text(count)}};
        return result;
    }
};

TEST_F(MssTableExisting, DefaultsIdentityAndDecimalSizesComeFromSpColumns)
{
    open_existing(true);
    std::unique_ptr<odb_table> table = existing(udb_open_mode::append);
    const auto& writer = dynamic_cast<const mss_table&>(*table);
    EXPECT_TRUE(writer.has_identity());
    EXPECT_EQ(table->record_count(), 3);
    const udb_schema& schema = table->schema();
    ASSERT_EQ(schema.size(), 4u);
    EXPECT_TRUE(schema[0]->b_auto_num);
    EXPECT_EQ(schema[1]->default_value.to_wstring(), L"it's");
    EXPECT_EQ(schema[2]->dw_reserved, t_ftd::make_precision_scale(18, 4));
    EXPECT_EQ(schema[2]->default_value.to_wstring(), L"0");
    EXPECT_EQ(schema[3]->default_value.get_type(), VT_EMPTY);
    EXPECT_FALSE(schema[3]->b_auto_num);
    ASSERT_EQ(table->indexes().size(), 1u);
    EXPECT_EQ(table->indexes()[0], udb_index(L"PK_t", true, true, {L"id"}));
    EXPECT_EQ(table->key_index(), 0);
}

TEST_F(MssTableExisting, ReadOnlyTableTakesNoIdentityAndBothModeBitsSkipTheIndexes)
{
    open_existing(true);
    std::unique_ptr<odb_table> read_only = existing(1 | 0x20 | 0x40);
    EXPECT_FALSE(dynamic_cast<const mss_table&>(*read_only).has_identity());
    EXPECT_TRUE(read_only->indexes().empty());
    EXPECT_TRUE(m_script->catalog_calls.empty());
}

struct update_case
{
    const char* name;
    std::vector<std::pair<const wchar_t*, ole_variant>> fields;
    std::vector<std::wstring> statements;
    // What the server tells of the statement: rows changed, or the rows that have the key.
    std::int64_t rows_changed;
    // The row's failure, empty when the row stands as asked.
    std::string error;
};

class MssTableUpdate : public MssTableExisting, public testing::WithParamInterface<update_case>
{
};

TEST_P(MssTableUpdate, RowIsRewrittenThroughItsKeyOrReported)
{
    const update_case& param = GetParam();
    open_existing(true);
    fake_result refused;
    refused.reached = oledb_test::statement_failure(L"23000", L"Cannot insert duplicate key.");
    m_script->batches[L"UPDATE [dbo].[t] SET [name]=N'dup' WHERE [id]=5"] = {refused};
    fake_result changed;
    changed.rows_affected = param.rows_changed;
    m_script->batches[L"UPDATE [dbo].[t] SET [name]=N'o''brien', [amount]=1.5 WHERE [id]=5"] = {
        changed};
    m_script->batches[L"SELECT COUNT(*) FROM [dbo].[t] WHERE [id]=5"] = {
        count_of(plat::wide_to_utf16(std::to_wstring(param.rows_changed)))};
    std::unique_ptr<odb_table> table = existing(udb_open_mode::append);
    m_script->executed.clear();
    udb_record record = row_of(param.fields);
    try
    {
        table->update(record);
        EXPECT_EQ(param.error, "") << "no exception";
    }
    catch (const odb_exception& error)
    {
        EXPECT_EQ(error.what(), param.error);
    }
    EXPECT_EQ(m_script->executed, param.statements);
}

INSTANTIATE_TEST_SUITE_P(
    Records, MssTableUpdate,
    testing::Values(
        update_case{"KeyAndValues",
                    {{L"id", ole_variant(5)},
                     {L"name", ole_variant(L"o'brien")},
                     {L"amount", ole_variant(1.5)},
                     {L"elsewhere", ole_variant(1)}},
                    {L"UPDATE [dbo].[t] SET [name]=N'o''brien', [amount]=1.5 WHERE [id]=5"},
                    1,
                    ""},
        update_case{"ConflictOnAnotherUniqueIndex",
                    {{L"id", ole_variant(5)},
                     {L"name", ole_variant(L"o'brien")},
                     {L"amount", ole_variant(1.5)}},
                    {L"UPDATE [dbo].[t] SET [name]=N'o''brien', [amount]=1.5 WHERE [id]=5"},
                    0,
                    "The row conflicts with a row of [dbo].[t] on another unique index than the "
                    "key; no row has its key, so none was updated."},
        update_case{"RefusedUpdate",
                    {{L"id", ole_variant(5)}, {L"name", ole_variant(L"dup")}},
                    {L"UPDATE [dbo].[t] SET [name]=N'dup' WHERE [id]=5"},
                    1,
                    "Cannot insert duplicate key."},
        update_case{"KeyAloneWhoseRowExists",
                    {{L"id", ole_variant(5)}},
                    {L"SELECT COUNT(*) FROM [dbo].[t] WHERE [id]=5"},
                    1,
                    ""},
        update_case{"KeyAloneWithoutItsRow",
                    {{L"id", ole_variant(5)}},
                    {L"SELECT COUNT(*) FROM [dbo].[t] WHERE [id]=5"},
                    0,
                    "The row conflicts with a row of [dbo].[t] on another unique index than the "
                    "key; no row has its key, so none was updated."},
        update_case{"NoKeyField",
                    {{L"name", ole_variant(L"x")}},
                    {},
                    1,
                    "The row conflicts with a row of [dbo].[t] and cannot replace it: it has no "
                    "value for the table's key."}),
    [](const testing::TestParamInfo<update_case>& param_info)
    { return std::string(param_info.param.name); });

TEST_F(MssTableExisting, TableWithoutAKeyCannotTakeTheRowAndSaysSo)
{
    open_existing(false);
    std::unique_ptr<odb_table> table = existing(udb_open_mode::append);
    EXPECT_EQ(table->key_index(), -1);
    m_script->trace.clear();
    udb_record record = row_of({{L"id", ole_variant(5)}, {L"name", ole_variant(L"x")}});
    try
    {
        table->update(record);
        FAIL() << "no exception";
    }
    catch (const odb_exception& error)
    {
        EXPECT_STREQ(error.what(), "The row conflicts with a row of [dbo].[t] and cannot replace "
                                   "it: the table has no primary key or unique index.");
    }
    EXPECT_TRUE(m_script->trace.empty());
}

struct default_case
{
    const wchar_t* reported;
    VARTYPE vt;
    VARTYPE expected_vt;
    const wchar_t* expected_text;
};

class MssTableDefault : public testing::TestWithParam<default_case>
{
};

TEST_P(MssTableDefault, ReportedDefaultBecomesAValueOfTheColumnsKind)
{
    const t_ftd target = column(L"c", GetParam().vt);
    const ole_variant value = mss_table::get_def_value(target, GetParam().reported);
    EXPECT_EQ(value.get_type(), GetParam().expected_vt);
    EXPECT_EQ(value.to_wstring(), GetParam().expected_text);
}

INSTANTIATE_TEST_SUITE_P(
    SqlServerForms, MssTableDefault,
    testing::Values(default_case{L"((0))", VT_I4, VT_I4, L"0"},
                    default_case{L"('abc')", VT_BSTR, VT_BSTR, L"abc"},
                    default_case{L"('it''s')", VT_BSTR, VT_BSTR, L"it's"},
                    default_case{L"(N'it''s')", VT_BSTR, VT_BSTR, L"it's"},
                    default_case{L"('')", VT_BSTR, VT_BSTR, L""},
                    default_case{L"(N'N')", VT_BSTR, VT_BSTR, L"N"},
                    default_case{L"((12.50))", VT_DECIMAL, VT_DECIMAL, L"12.5"},
                    default_case{L"('2010-01-01')", VT_DATE, VT_DATE, L"2010-01-01"},
                    default_case{L"('not a date')", VT_DATE, VT_EMPTY, L""},
                    default_case{L"(getdate())", VT_DATE, VT_EMPTY, L""},
                    default_case{L"((99999999999))", VT_I4, VT_EMPTY, L""}));

} // namespace

namespace
{

struct key_sql_case
{
    const char* name;
    std::wstring key_type;
    std::wstring key;
    std::wstring where;
};

class MssTableKeyComparison : public testing::TestWithParam<key_sql_case>
{
};

// A key of text compares exactly: by code points, and by length for varchar and nvarchar.
TEST_P(MssTableKeyComparison, TextKeyComparesExactlyOtherKeysByValue)
{
    const key_sql_case& given = GetParam();
    udb_schema schema;
    schema.adopt(column(L"k", VT_BSTR, 10).clone());
    schema.adopt(column(L"v", VT_I4).clone());
    const udb_record record = row_of({{L"k", ole_variant(given.key)}, {L"v", ole_variant(2)}});
    EXPECT_EQ(
        mss_table::update_sql(L"[dbo].[t]", schema, {L"k"}, record, mss_target{}, {given.key_type}),
        L"UPDATE [dbo].[t] SET [v]=2 WHERE " + given.where);
}

INSTANTIATE_TEST_SUITE_P(
    Keys, MssTableKeyComparison,
    testing::Values(
        key_sql_case{"ByValue", L"", L"a ", L"[k]=N'a '"},
        key_sql_case{"Nvarchar", L"nvarchar(10)", L"a ",
                     L"[k] COLLATE Latin1_General_100_BIN2 = N'a ' AND DATALENGTH([k]) = "
                     L"DATALENGTH(CAST(N'a ' AS nvarchar(10)))"},
        key_sql_case{"Varchar", L"varchar(10)", L"A",
                     L"[k] COLLATE Latin1_General_100_BIN2 = N'A' AND DATALENGTH([k]) = "
                     L"DATALENGTH(CAST(N'A' AS varchar(10)))"},
        key_sql_case{"Char", L"char(3)", L"a", L"[k] COLLATE Latin1_General_100_BIN2 = N'a'"},
        // char pads with blanks: no stored key is exactly a text that ends in one.
        key_sql_case{"CharEndingInABlank", L"char(3)", L"a ", L"1 = 0"}),
    [](const testing::TestParamInfo<key_sql_case>& param_info)
    { return std::string(param_info.param.name); });

} // namespace
