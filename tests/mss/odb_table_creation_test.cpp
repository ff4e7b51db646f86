// odb_table_creation_test.cpp: the exact T-SQL a destination table is created with (columns,
// identity, defaults, key, collation change, indexes), through the real definition interfaces
// over the pretend server, and the column defaults on their own.
#include "mss/mss_database.h"
#include "mss/mss_engine.h"
#include "mss/odb_exception.h"
#include "mss_fake_server.h"

#include <gtest/gtest.h>

namespace
{

using mss_test::fake_server;

t_ftd column(const wchar_t* name, VARTYPE vt, int size, bool not_null = false,
             const ole_variant& default_value = ole_variant(), std::int32_t reserved = 0,
             bool auto_num = false)
{
    return t_ftd(size, name, vt, not_null, auto_num, default_value, reserved, L"");
}

class OdbTableCreation : public testing::Test
{
protected:
    void SetUp() override { mss_test::install_fake_server(m_table, m_server); }

    // Connects as sa to a server of that version and opens the database as a run does.
    void open(const wchar_t* version = mss_test::version_2019)
    {
        m_server->answer(L"SELECT @@VERSION", L"", {version});
        m_engine.connect(L"srv", L"sa", L"pw", true);
        m_engine.set_view_owned(false);
        m_database = m_engine.open_db(L"shop", udb_open_mode::created);
        m_mark = m_server->sent.size();
    }

    std::vector<std::wstring> create(const std::wstring& name, std::vector<t_ftd>& columns,
                                     const udb_indexes& indexes)
    {
        udb_schema schema;
        for (t_ftd& entry : columns)
        {
            schema.push_back(&entry);
        }
        m_mark = m_server->sent.size();
        m_database->create_table(name, schema, indexes);
        return m_server->statements(m_mark);
    }

    std::shared_ptr<fake_server> m_server = std::make_shared<fake_server>();
    plat::oledb::class_table m_table;
    mss_engine m_engine{true};
    std::unique_ptr<mss_database> m_database;
    std::size_t m_mark = 0;
};

TEST_F(OdbTableCreation, FixtureTableWithIdentityDefaultsCompositeKeyAndIndexes)
{
    open();
    std::vector<t_ftd> columns{
        column(L"id", VT_I4, 0, false, {}, 0, true),
        column(L"code", VT_BSTR, 10),
        column(L"name", VT_BSTR, 20, true, ole_variant(L"it's")),
        column(L"amount", VT_DECIMAL, 0, false, ole_variant(L"0"),
               t_ftd::make_precision_scale(10, 2)),
        column(L"ratio", VT_R8, 0, false, ole_variant(L"1.5")),
        column(L"created", VT_DATE, 0, false, ole_variant(L"current_timestamp"), 1),
        column(L"born", VT_DATE, 0, false, ole_variant(L"2010-01-01"), t_ftd::date_only),
        column(L"alarm", VT_DATE, 0, false, ole_variant(L"10:20:30"), t_ftd::time_only),
        column(L"big", VT_I8, 0),
        column(L"flag", VT_BOOL, 0),
        column(L"notes", VT_BSTR, 0, false, ole_variant(L"x")),
        column(L"data", VT_BLOB, 0),
        column(L"price", VT_CY, 0)};
    udb_indexes indexes;
    indexes.push_back(udb_index(L"PK_t", true, true, {L"id", L"code"}));
    indexes.push_back(udb_index(L"ix_name", true, false, {L"name"}));
    indexes.push_back(udb_index(L"ix_created", false, false, {L"created"}));
    indexes.push_back(udb_index(L"ix_notes", false, false, {L"notes"}));
    indexes.push_back(udb_index(L"ix_flag", false, false, {L"code", L"flag"}));
    indexes.push_back(udb_index(L"", true, false, {L"amount", L"ratio"}));

    EXPECT_EQ(
        create(L"[dbo].[t]", columns, indexes),
        (std::vector<std::wstring>{
            L"CREATE TABLE [dbo].[t] ([id] int IDENTITY(1,1) NOT NULL, [code] nvarchar(20) NOT "
            L"NULL, [name] nvarchar(40) NOT NULL DEFAULT N'it''s', [amount] numeric(10,2) NULL "
            L"DEFAULT 0, [ratio] float NULL DEFAULT 1.5, [created] datetime2(6) NULL DEFAULT "
            L"current_timestamp, [born] date NULL DEFAULT '20100101', [alarm] time(6) NULL "
            L"DEFAULT '10:20:30', [big] bigint NULL, [flag] bit NULL, [notes] "
            L"nvarchar(max) NULL DEFAULT N'x', [data] varbinary(max) NULL, [price] money NULL)",
            L"ALTER TABLE [dbo].[t] ALTER COLUMN [code] nvarchar(20) collate "
            L"Latin1_General_100_BIN2 NOT NULL",
            L"ALTER TABLE [dbo].[t] ADD CONSTRAINT [PK_t] PRIMARY KEY CLUSTERED ([id], [code])",
            L"CREATE UNIQUE NONCLUSTERED INDEX [ix_name] ON [dbo].[t] ([name])",
            L"CREATE NONCLUSTERED INDEX [ix_created] ON [dbo].[t] ([created])",
            L"CREATE UNIQUE NONCLUSTERED INDEX [UIDX_amount_ratio] ON [dbo].[t] ([amount], "
            L"[ratio])"}));
    EXPECT_TRUE(m_database->is_table_exist(L"[DBO].[T]"));
}

TEST_F(OdbTableCreation, HostileNamesAreQuoted)
{
    open();
    std::vector<t_ftd> columns{column(L"a]b", VT_I4, 0), column(L"[c]", VT_BSTR, 5)};
    udb_indexes indexes;
    indexes.push_back(udb_index(L"k]", true, true, {L"[c]"}));
    EXPECT_EQ(create(L"[s]].x].[t]]y]", columns, indexes),
              (std::vector<std::wstring>{
                  L"CREATE TABLE [s]].x].[t]]y] ([a]]b] int NULL, [[c]]] nvarchar(10) NOT NULL)",
                  L"ALTER TABLE [s]].x].[t]]y] ALTER COLUMN [[c]]] nvarchar(10) collate "
                  L"Latin1_General_100_BIN2 NOT NULL",
                  L"ALTER TABLE [s]].x].[t]]y] ADD CONSTRAINT [k]]] PRIMARY KEY CLUSTERED "
                  L"([[c]]])"}));
}

TEST_F(OdbTableCreation, TextColumnsHoldTwoUnitsPerCharacter)
{
    open();
    std::vector<t_ftd> columns{column(L"a", VT_BSTR, 1), column(L"b", VT_BSTR, 2000),
                               column(L"c", VT_BSTR, 2001)};
    EXPECT_EQ(create(L"t", columns, {}).front(),
              L"CREATE TABLE [t] ([a] nvarchar(2) NULL, [b] nvarchar(4000) NULL, [c] "
              L"nvarchar(max) NULL)");
}

TEST_F(OdbTableCreation, FailedBinaryCollationOfAKeyIsTheTablesError)
{
    open();
    const std::wstring alter =
        L"ALTER TABLE [t] ALTER COLUMN [k] nvarchar(6) collate Latin1_General_100_BIN2 NOT NULL";
    m_server->fail(alter, L"42000", L"denied");
    std::vector<t_ftd> columns{column(L"k", VT_BSTR, 3)};
    udb_indexes indexes;
    indexes.push_back(udb_index(L"pk", true, true, {L"k"}));
    try
    {
        create(L"[t]", columns, indexes);
        FAIL() << "the table was created without its binary key";
    }
    catch (const tk_exception& error)
    {
        EXPECT_EQ(std::string(error.what())
                      .rfind("The key column k of [t] cannot be made binary "
                             "(collation Latin1_General_100_BIN2): ",
                             0),
                  0u)
            << error.what();
        EXPECT_EQ(error.severity(), 0);
    }
    EXPECT_EQ(m_server->statements(m_mark).back(), alter);
}

TEST_F(OdbTableCreation, OlderServersAndGenericProvidersGetOlderTypes)
{
    // SQL Server 7.0: 64-bit integers are created as float, without identity.
    open(L"Microsoft SQL Server  7.00 - 7.00.623 (Intel X86)");
    std::vector<t_ftd> columns{column(L"n", VT_I8, 0, false, {}, 0, true),
                               column(L"d", VT_DATE, 0, false, {}, t_ftd::date_only)};
    EXPECT_EQ(create(L"t", columns, {}).front(),
              L"CREATE TABLE [t] ([n] float NULL, [d] datetime NULL)");
}

TEST_F(OdbTableCreation, NumericWithoutPrecisionOrBeyondItIsFloat)
{
    open();
    std::vector<t_ftd> columns{
        column(L"free", VT_DECIMAL, 0),
        column(L"wide", VT_DECIMAL, 0, false, {}, t_ftd::make_precision_scale(40, 2)),
        column(L"full", VT_DECIMAL, 0, false, {}, t_ftd::make_precision_scale(38, 0))};
    EXPECT_EQ(create(L"t", columns, {}).front(),
              L"CREATE TABLE [t] ([free] float NULL, [wide] float NULL, [full] numeric(38,0) "
              L"NULL)");
}

TEST_F(OdbTableCreation, IndexesBeyondSqlServerLimitsAreSkipped)
{
    open();
    std::vector<t_ftd> columns{column(L"a", VT_BSTR, 300), column(L"b", VT_BSTR, 300),
                               column(L"c", VT_BSTR, 450), column(L"bin", VT_BLOB, 9000)};
    udb_indexes indexes;
    indexes.push_back(udb_index(L"ab", false, false, {L"a", L"b"}));
    indexes.push_back(udb_index(L"c450", false, false, {L"c"}));
    indexes.push_back(udb_index(L"wide_bin", false, false, {L"bin"}));
    indexes.push_back(udb_index(L"expression", false, false, {L"lower(a)"}));
    const std::vector<std::wstring> sent = create(L"t", columns, indexes);
    ASSERT_EQ(sent.size(), 2u);
    EXPECT_EQ(sent[1], L"CREATE NONCLUSTERED INDEX [c450] ON [t] ([c])");
}

TEST_F(OdbTableCreation, UnboundedTextColumnsKeepTheirDefaults)
{
    open();
    std::vector<t_ftd> columns{column(L"memo", VT_BSTR, 0, false, ole_variant(L"it's")),
                               column(L"empty", VT_BSTR, 0, true, ole_variant(L""))};
    EXPECT_EQ(create(L"t", columns, {}).front(),
              L"CREATE TABLE [t] ([memo] nvarchar(max) NULL DEFAULT N'it''s', [empty] "
              L"nvarchar(max) NOT NULL DEFAULT N'')");
}

TEST_F(OdbTableCreation, AzureTableWithoutKeyGetsAClusteredIndex)
{
    open(mss_test::version_azure);
    std::vector<t_ftd> columns{column(L"memo", VT_BSTR, 0), column(L"id", VT_I4, 0)};
    EXPECT_EQ(create(L"t", columns, {}).back(),
              L"CREATE CLUSTERED INDEX [id_clust_idx] ON [t]([id])");
}

TEST_F(OdbTableCreation, FailingIndexIsSkippedAndTheOthersFollow)
{
    open();
    m_server->fail(L"CREATE NONCLUSTERED INDEX [one] ON [t] ([a])", L"42000", L"no room");
    std::vector<t_ftd> columns{column(L"a", VT_I4, 0)};
    udb_indexes indexes;
    indexes.push_back(udb_index(L"one", false, false, {L"a"}));
    indexes.push_back(udb_index(L"two", false, false, {L"a"}));
    EXPECT_EQ(create(L"t", columns, indexes).back(),
              L"CREATE NONCLUSTERED INDEX [two] ON [t] ([a])");
}

TEST_F(OdbTableCreation, ExistingTableFailsWithTheDuplicateCode)
{
    open();
    m_server->fail(L"CREATE TABLE [t] ([a] int NULL)", L"42S01",
                   L"There is already an object named 't' in the database.");
    std::vector<t_ftd> columns{column(L"a", VT_I4, 0)};
    try
    {
        create(L"t", columns, {});
        FAIL() << "no exception";
    }
    catch (const odb_exception& error)
    {
        EXPECT_EQ(error.code(), 0x80E3F);
        EXPECT_STREQ(error.what(), "There is already an object named 't' in the database.");
    }
    EXPECT_FALSE(m_database->is_table_exist(L"t"));
}

TEST_F(OdbTableCreation, TestQueryAnswersWithoutThrowing)
{
    open();
    m_server->fail(L"SELECT 1/0", L"22012", L"Divide by zero error encountered.");
    EXPECT_FALSE(m_database->test_query(L"SELECT 1/0"));
    EXPECT_TRUE(m_database->test_query(L"SELECT 1"));
}

struct default_case
{
    const char* label;
    t_ftd column;
    mss_target target;
    // The DEFAULT property's value as text; nullptr for no property.
    const wchar_t* expected;
    VARTYPE expected_vt;
};

const mss_target modern{8, true, true, false};
const mss_target ansi{8, true, false, false};

class OdbDefaultValue : public testing::TestWithParam<default_case>
{
};

TEST_P(OdbDefaultValue, BecomesTheColumnDefault)
{
    const default_case& c = GetParam();
    SCOPED_TRACE(c.label);
    std::vector<DBPROP> props;
    odb_database::set_def_value(c.column, props, c.target);
    if (c.expected == nullptr)
    {
        EXPECT_TRUE(props.empty());
        return;
    }
    ASSERT_EQ(props.size(), 1u);
    EXPECT_EQ(props[0].dwPropertyID, DBPROP_COL_DEFAULT);
    EXPECT_EQ(props[0].vValue.vt, c.expected_vt);
    if (c.expected_vt == VT_BSTR)
    {
        EXPECT_EQ(props[0].vValue.bstrVal, c.expected);
    }
    else if (c.expected_vt == VT_I8)
    {
        EXPECT_EQ(std::to_wstring(props[0].vValue.llVal), c.expected);
    }
    else
    {
        EXPECT_EQ(std::to_wstring(props[0].vValue.lVal), c.expected);
    }
}

INSTANTIATE_TEST_SUITE_P(
    Kinds, OdbDefaultValue,
    testing::Values(
        default_case{"apostrophe doubled", column(L"c", VT_BSTR, 20, false, ole_variant(L"it's")),
                     modern, L"N'it''s'", VT_BSTR},
        default_case{"narrow literal", column(L"c", VT_BSTR, 20, false, ole_variant(L"x")), ansi,
                     L"'x'", VT_BSTR},
        default_case{
            "cut to size - 1",
            column(L"c", VT_BSTR, 10, false, ole_variant(L"abcdefghijklmnopqrstuvwxyz0123")),
            modern, L"N'abcdefghi'", VT_BSTR},
        default_case{"current timestamp as it stands",
                     column(L"c", VT_DATE, 0, false, ole_variant(L"current_timestamp")), modern,
                     L"current_timestamp", VT_BSTR},
        default_case{"integer", column(L"c", VT_I4, 0, false, ole_variant(L"42")), modern, L"42",
                     VT_I4},
        default_case{"64-bit integer keeps every digit",
                     column(L"c", VT_I8, 0, false, ole_variant(L"9007199254740993")), modern,
                     L"9007199254740993", VT_I8},
        default_case{"beyond the column's range",
                     column(L"c", VT_I4, 0, false, ole_variant(L"99999999999")), modern, nullptr,
                     VT_EMPTY},
        default_case{"not a date", column(L"c", VT_DATE, 0, false, ole_variant(L"soon")), modern,
                     nullptr, VT_EMPTY},
        default_case{"datetime unseparated",
                     column(L"c", VT_DATE, 0, false, ole_variant(L"2010-01-02 03:04:05"), 1),
                     modern, L"'20100102 03:04:05'", VT_BSTR},
        default_case{"datetime2 keeps a year before 1753",
                     column(L"c", VT_DATE, 0, false, ole_variant(L"1600-01-01"), 1), modern,
                     L"'16000101'", VT_BSTR},
        default_case{"datetime before 1753 left out, never replaced",
                     column(L"c", VT_DATE, 0, false, ole_variant(L"1600-01-01"), 1),
                     mss_target{4, false, true, false}, nullptr, VT_EMPTY},
        default_case{"time of day",
                     column(L"c", VT_DATE, 0, false, ole_variant(L"10:20:30.5"), t_ftd::time_only),
                     modern, L"'10:20:30.500'", VT_BSTR},
        default_case{"time of day in a datetime column",
                     column(L"c", VT_DATE, 0, false, ole_variant(L"10:20:30"), t_ftd::time_only),
                     mss_target{4, false, true, false}, L"'18991230 10:20:30'", VT_BSTR},
        default_case{"date column keeps year 1",
                     column(L"c", VT_DATE, 0, false, ole_variant(L"0001-01-01"), t_ftd::date_only),
                     modern, L"'00010101'", VT_BSTR},
        default_case{"no default", column(L"c", VT_I4, 0), modern, nullptr, VT_EMPTY},
        default_case{"datetime2 keeps the microseconds",
                     column(L"c", VT_DATE, 0, false, ole_variant(L"2020-02-01 12:34:56.123456"), 1),
                     modern, L"'20200201 12:34:56.123456'", VT_BSTR},
        default_case{"microseconds alone at midnight",
                     column(L"c", VT_DATE, 0, false, ole_variant(L"2020-02-01 00:00:00.000001"), 1),
                     modern, L"'20200201 00:00:00.000001'", VT_BSTR},
        default_case{"datetime keeps the milliseconds it holds",
                     column(L"c", VT_DATE, 0, false, ole_variant(L"2020-02-01 12:34:56.123456"), 1),
                     mss_target{4, false, true, false}, L"'20200201 12:34:56.123'", VT_BSTR},
        default_case{
            "time keeps the microseconds",
            column(L"c", VT_DATE, 0, false, ole_variant(L"10:20:30.000001"), t_ftd::time_only),
            modern, L"'10:20:30.000001'", VT_BSTR},
        default_case{"decimal of 38 digits keeps every digit",
                     column(L"c", VT_DECIMAL, 0, false,
                            ole_variant(L"-1234567890123456789012345678901234567.8"),
                            t_ftd::make_precision_scale(38, 1)),
                     modern, L"-1234567890123456789012345678901234567.8", VT_BSTR},
        default_case{"year 99 stays the year 99",
                     column(L"c", VT_DATE, 0, false, ole_variant(L"0099-01-01"), t_ftd::date_only),
                     modern, L"'00990101'", VT_BSTR}),
    [](const testing::TestParamInfo<default_case>& param_info)
    { return "Case" + std::to_string(param_info.index); });

} // namespace
