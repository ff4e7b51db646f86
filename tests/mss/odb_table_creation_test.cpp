// odb_table_creation_test.cpp: the exact T-SQL a destination table is created with (columns,
// identity, defaults, key collation, keys sized to SQL Server's limits, indexes), through the
// real definition interfaces over the pretend server, and the column defaults on their own.
#include "mss/mss_database.h"
#include "mss/mss_engine.h"
#include "mss/mss_key_sizes.h"
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
            L"CREATE TABLE [dbo].[t] ([id] int IDENTITY(1,1) NOT NULL, [code] nvarchar(20) "
            L"COLLATE Latin1_General_100_BIN2 NOT NULL, [name] nvarchar(40) COLLATE "
            L"Latin1_General_100_BIN2 NOT NULL DEFAULT N'it''s', [amount] numeric(10,2) NULL "
            L"DEFAULT 0, [ratio] float NULL DEFAULT 1.5, [created] datetime2(6) NULL DEFAULT "
            L"current_timestamp, [born] date NULL DEFAULT '20100101', [alarm] time(6) NULL "
            L"DEFAULT '10:20:30', [big] bigint NULL, [flag] bit NULL, [notes] "
            L"nvarchar(max) NULL DEFAULT N'x', [data] varbinary(max) NULL, [price] money NULL)",
            L"ALTER TABLE [dbo].[t] ADD CONSTRAINT [PK_t] PRIMARY KEY CLUSTERED ([id], [code])",
            L"CREATE UNIQUE NONCLUSTERED INDEX [ix_name] ON [dbo].[t] ([name])",
            L"CREATE NONCLUSTERED INDEX [ix_created] ON [dbo].[t] ([created])",
            L"CREATE NONCLUSTERED INDEX [ix_flag] ON [dbo].[t] ([code], [flag])",
            L"CREATE UNIQUE NONCLUSTERED INDEX [UIDX_amount_ratio] ON [dbo].[t] ([amount], "
            L"[ratio])"}));
    EXPECT_TRUE(m_database->is_table_exist(L"[DBO].[T]"));
    const std::vector<udb_index_failure> failures = m_database->take_index_failures();
    ASSERT_EQ(failures.size(), 1u);
    EXPECT_EQ(failures[0].table, L"[dbo].[t]");
    EXPECT_EQ(failures[0].index, L"ix_notes");
    EXPECT_EQ(failures[0].reason, L"the column notes is text without a length limit "
                                  L"(nvarchar(max)), which SQL Server cannot index");
    EXPECT_TRUE(m_database->take_index_failures().empty());
}

TEST_F(OdbTableCreation, HostileNamesAreQuoted)
{
    open();
    std::vector<t_ftd> columns{column(L"a]b", VT_I4, 0), column(L"[c]", VT_BSTR, 5)};
    udb_indexes indexes;
    indexes.push_back(udb_index(L"k]", true, true, {L"[c]"}));
    EXPECT_EQ(create(L"[s]].x].[t]]y]", columns, indexes),
              (std::vector<std::wstring>{
                  L"CREATE TABLE [s]].x].[t]]y] ([a]]b] int NULL, [[c]]] nvarchar(10) COLLATE "
                  L"Latin1_General_100_BIN2 NOT NULL)",
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

TEST_F(OdbTableCreation, KeyTextIsBinaryInTheTableItselfWithoutALaterAlter)
{
    // The key column's collation is part of CREATE TABLE: no ALTER COLUMN that would have to
    // restate type and nullability.
    open();
    std::vector<t_ftd> columns{column(L"k", VT_BSTR, 3), column(L"v", VT_BSTR, 3, true)};
    udb_indexes indexes;
    indexes.push_back(udb_index(L"pk", true, true, {L"k"}));
    EXPECT_EQ(create(L"[t]", columns, indexes),
              (std::vector<std::wstring>{
                  L"CREATE TABLE [t] ([k] nvarchar(6) COLLATE Latin1_General_100_BIN2 NOT NULL, "
                  L"[v] nvarchar(6) NOT NULL)",
                  L"ALTER TABLE [t] ADD CONSTRAINT [pk] PRIMARY KEY CLUSTERED ([k])"}));
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

// A decimal whose precision is still unknown is numeric(38,10), never float.
TEST_F(OdbTableCreation, NumericWithoutPrecisionIsDecimal38And10BeyondItFloat)
{
    open();
    std::vector<t_ftd> columns{
        column(L"free", VT_DECIMAL, 0),
        column(L"wide", VT_DECIMAL, 0, false, {}, t_ftd::make_precision_scale(40, 2)),
        column(L"full", VT_DECIMAL, 0, false, {}, t_ftd::make_precision_scale(38, 0))};
    EXPECT_EQ(create(L"t", columns, {}).front(),
              L"CREATE TABLE [t] ([free] numeric(38,10) NULL, [wide] float NULL, [full] "
              L"numeric(38,0) NULL)");
}

TEST_F(OdbTableCreation, IndexesBeyondSqlServerLimitsAreSkipped)
{
    open();
    std::vector<t_ftd> columns{column(L"a", VT_BSTR, 300), column(L"b", VT_BSTR, 300),
                               column(L"c", VT_BSTR, 425), column(L"bin", VT_BLOB, 9000)};
    udb_indexes indexes;
    indexes.push_back(udb_index(L"ab", false, false, {L"a", L"b"}));
    indexes.push_back(udb_index(L"c425", false, false, {L"c"}));
    indexes.push_back(udb_index(L"wide_bin", false, false, {L"bin"}));
    indexes.push_back(udb_index(L"expression", false, false, {L"lower(a)"}));
    const std::vector<std::wstring> sent = create(L"t", columns, indexes);
    ASSERT_EQ(sent.size(), 2u);
    EXPECT_EQ(sent[1], L"CREATE NONCLUSTERED INDEX [c425] ON [t] ([c])");
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

t_ftd measured(const wchar_t* name, int longest_units, bool not_null = false)
{
    t_ftd text = column(name, VT_BSTR, 0, not_null);
    text.longest_units = longest_units;
    return text;
}

// Text with a length, measured as the run measures a key that may be too large.
t_ftd measured_sized(const wchar_t* name, int size, int longest_units)
{
    t_ftd text = column(name, VT_BSTR, size);
    text.longest_units = longest_units;
    return text;
}

t_ftd guid(const wchar_t* name)
{
    return column(name, VT_BSTR, 0, false, {}, t_ftd::guid_column);
}

constexpr const wchar_t* version_2012 =
    L"Microsoft SQL Server 2012 - 11.0.2100.60 (X64) Feb 10 2012 19:39:15";

struct key_case
{
    const char* label;
    const wchar_t* version;
    std::vector<t_ftd> columns;
    std::vector<udb_index> indexes;
    std::vector<std::wstring> statements;
    // "index: reason" for each index that is not created.
    std::vector<std::wstring> failures;
};

class OdbTableKeys : public OdbTableCreation, public testing::WithParamInterface<key_case>
{
};

TEST_P(OdbTableKeys, AreCreatedWithinSqlServerLimitsOrReported)
{
    const key_case& c = GetParam();
    SCOPED_TRACE(c.label);
    open(c.version);
    std::vector<t_ftd> columns = c.columns;
    udb_indexes indexes;
    for (const udb_index& index : c.indexes)
    {
        indexes.push_back(index);
    }
    EXPECT_EQ(create(L"[t]", columns, indexes), c.statements);
    std::vector<std::wstring> failures;
    for (const udb_index_failure& failure : m_database->take_index_failures())
    {
        EXPECT_EQ(failure.table, L"[t]");
        failures.push_back(failure.index + L": " + failure.reason);
    }
    EXPECT_EQ(failures, c.failures);
}

INSTANTIATE_TEST_SUITE_P(
    Schemas, OdbTableKeys,
    testing::Values(
        key_case{"uuid key is uniqueidentifier",
                 mss_test::version_2019,
                 {guid(L"id"), column(L"name", VT_BSTR, 0)},
                 {udb_index(L"pk", true, true, {L"id"})},
                 {L"CREATE TABLE [t] ([id] uniqueidentifier NOT NULL, [name] nvarchar(max) NULL)",
                  L"ALTER TABLE [t] ADD CONSTRAINT [pk] PRIMARY KEY CLUSTERED ([id])"},
                 {}},
        key_case{"unbounded text key sized from its longest value",
                 mss_test::version_2019,
                 {measured(L"code", 12), measured(L"memo", 5000)},
                 {udb_index(L"pk", true, true, {L"code"})},
                 {L"CREATE TABLE [t] ([code] nvarchar(12) COLLATE Latin1_General_100_BIN2 NOT "
                  L"NULL, [memo] nvarchar(max) NULL)",
                  L"ALTER TABLE [t] ADD CONSTRAINT [pk] PRIMARY KEY CLUSTERED ([code])"},
                 {}},
        key_case{"composite key of text and integers, index over text and bounded text",
                 mss_test::version_2019,
                 {measured(L"region", 30), column(L"id", VT_I4, 0, true),
                  column(L"tag", VT_BSTR, 10), column(L"seq", VT_I8, 0)},
                 {udb_index(L"pk", true, true, {L"region", L"id", L"seq"}),
                  udb_index(L"ix_tag", false, false, {L"tag", L"region"})},
                 {L"CREATE TABLE [t] ([region] nvarchar(30) COLLATE Latin1_General_100_BIN2 NOT "
                  L"NULL, [id] int NOT NULL, [tag] nvarchar(20) NULL, [seq] bigint NOT NULL)",
                  L"ALTER TABLE [t] ADD CONSTRAINT [pk] PRIMARY KEY CLUSTERED ([region], [id], "
                  L"[seq])",
                  L"CREATE NONCLUSTERED INDEX [ix_tag] ON [t] ([tag], [region])"},
                 {}},
        key_case{"text key of an empty table takes one unit",
                 mss_test::version_2019,
                 {measured(L"code", 0)},
                 {udb_index(L"pk", true, true, {L"code"})},
                 {L"CREATE TABLE [t] ([code] nvarchar(1) COLLATE Latin1_General_100_BIN2 NOT "
                  L"NULL)",
                  L"ALTER TABLE [t] ADD CONSTRAINT [pk] PRIMARY KEY CLUSTERED ([code])"},
                 {}},
        // 450 CJK characters: 900 bytes as nvarchar, the most a primary key takes.
        key_case{"text primary key of 900 bytes",
                 mss_test::version_2019,
                 {measured(L"k", 450)},
                 {udb_index(L"pk", true, true, {L"k"})},
                 {L"CREATE TABLE [t] ([k] nvarchar(450) COLLATE Latin1_General_100_BIN2 NOT "
                  L"NULL)",
                  L"ALTER TABLE [t] ADD CONSTRAINT [pk] PRIMARY KEY CLUSTERED ([k])"},
                 {}},
        key_case{"text primary key of 902 bytes",
                 mss_test::version_2019,
                 {measured(L"k", 451)},
                 {udb_index(L"pk", true, true, {L"k"})},
                 {L"CREATE TABLE [t] ([k] nvarchar(max) COLLATE Latin1_General_100_BIN2 NOT NULL)"},
                 {L"pk: its key takes 902 bytes, more than the 900 bytes SQL Server allows in a "
                  L"clustered primary key"}},
        key_case{"primary key beyond 900 bytes is reported, its text stays unbounded",
                 mss_test::version_2019,
                 {measured(L"a", 300), measured(L"b", 160), column(L"n", VT_I4, 0)},
                 {udb_index(L"pk", true, true, {L"a", L"b", L"n"})},
                 {L"CREATE TABLE [t] ([a] nvarchar(max) COLLATE Latin1_General_100_BIN2 NOT NULL, "
                  L"[b] nvarchar(max) COLLATE Latin1_General_100_BIN2 NOT NULL, [n] int NOT NULL)"},
                 {L"pk: its key takes 924 bytes, more than the 900 bytes SQL Server allows in a "
                  L"clustered primary key"}},
        key_case{"index of 1,700 bytes from SQL Server 2016",
                 mss_test::version_2019,
                 {measured(L"a", 850)},
                 {udb_index(L"ix_a", false, false, {L"a"})},
                 {L"CREATE TABLE [t] ([a] nvarchar(850) NULL)",
                  L"CREATE NONCLUSTERED INDEX [ix_a] ON [t] ([a])"},
                 {}},
        key_case{"index of 900 bytes before SQL Server 2016",
                 version_2012,
                 {measured(L"a", 850)},
                 {udb_index(L"ix_a", false, false, {L"a"})},
                 {L"CREATE TABLE [t] ([a] nvarchar(max) NULL)"},
                 {L"ix_a: its key takes 1700 bytes, more than the 900 bytes SQL Server allows in "
                  L"an index key"}},
        // Text with a length takes two units a character unless that makes its key too large.
        key_case{"varchar(255) key of plain values takes 255 units",
                 mss_test::version_2019,
                 {measured_sized(L"email", 255, 40), column(L"v", VT_I4, 0)},
                 {udb_index(L"pk", true, true, {L"email"})},
                 {L"CREATE TABLE [t] ([email] nvarchar(255) COLLATE Latin1_General_100_BIN2 NOT "
                  L"NULL, [v] int NULL)",
                  L"ALTER TABLE [t] ADD CONSTRAINT [pk] PRIMARY KEY CLUSTERED ([email])"},
                 {}},
        key_case{"varchar(450) key of an empty table takes 450 units, 900 bytes",
                 mss_test::version_2019,
                 {measured_sized(L"k", 450, 0)},
                 {udb_index(L"pk", true, true, {L"k"})},
                 {L"CREATE TABLE [t] ([k] nvarchar(450) COLLATE Latin1_General_100_BIN2 NOT NULL)",
                  L"ALTER TABLE [t] ADD CONSTRAINT [pk] PRIMARY KEY CLUSTERED ([k])"},
                 {}},
        key_case{"varchar(300) key with characters beyond U+FFFF takes their units",
                 mss_test::version_2019,
                 {measured_sized(L"k", 300, 350), column(L"n", VT_I4, 0, true)},
                 {udb_index(L"pk", true, true, {L"k", L"n"})},
                 {L"CREATE TABLE [t] ([k] nvarchar(350) COLLATE Latin1_General_100_BIN2 NOT "
                  L"NULL, [n] int NOT NULL)",
                  L"ALTER TABLE [t] ADD CONSTRAINT [pk] PRIMARY KEY CLUSTERED ([k], [n])"},
                 {}},
        key_case{"varchar(255) key of 255 characters beyond U+FFFF takes 510 units and is "
                 "refused",
                 mss_test::version_2019,
                 {measured_sized(L"k", 255, 510)},
                 {udb_index(L"pk", true, true, {L"k"})},
                 {L"CREATE TABLE [t] ([k] nvarchar(510) COLLATE Latin1_General_100_BIN2 NOT NULL)"},
                 {L"pk: its key takes 1020 bytes, more than the 900 bytes SQL Server allows in a "
                  L"clustered primary key"}},
        key_case{"varchar(100) key that fits at two units a character keeps them",
                 mss_test::version_2019,
                 {measured_sized(L"k", 100, 10)},
                 {udb_index(L"pk", true, true, {L"k"})},
                 {L"CREATE TABLE [t] ([k] nvarchar(200) COLLATE Latin1_General_100_BIN2 NOT NULL)",
                  L"ALTER TABLE [t] ADD CONSTRAINT [pk] PRIMARY KEY CLUSTERED ([k])"},
                 {}},
        key_case{"two varchar columns too large even at their values' units keep two a character",
                 mss_test::version_2019,
                 {measured_sized(L"a", 300, 300), measured_sized(L"b", 200, 10)},
                 {udb_index(L"pk", true, true, {L"a", L"b"})},
                 {L"CREATE TABLE [t] ([a] nvarchar(600) COLLATE Latin1_General_100_BIN2 NOT NULL, "
                  L"[b] nvarchar(400) COLLATE Latin1_General_100_BIN2 NOT NULL)"},
                 {L"pk: its key takes 2000 bytes, more than the 900 bytes SQL Server allows in a "
                  L"clustered primary key"}},
        key_case{"text with a length never measured keeps two units a character",
                 mss_test::version_2019,
                 {column(L"k", VT_BSTR, 300)},
                 {udb_index(L"pk", true, true, {L"k"})},
                 {L"CREATE TABLE [t] ([k] nvarchar(600) COLLATE Latin1_General_100_BIN2 NOT NULL)"},
                 {L"pk: its key takes 1200 bytes, more than the 900 bytes SQL Server allows in a "
                  L"clustered primary key"}},
        key_case{"index of 1,600 bytes fits from SQL Server 2016 and the column keeps its size",
                 mss_test::version_2019,
                 {measured_sized(L"a", 400, 20)},
                 {udb_index(L"ix_a", false, false, {L"a"})},
                 {L"CREATE TABLE [t] ([a] nvarchar(800) NULL)",
                  L"CREATE NONCLUSTERED INDEX [ix_a] ON [t] ([a])"},
                 {}},
        key_case{"index of 1,600 bytes before SQL Server 2016 narrows to fit",
                 version_2012,
                 {measured_sized(L"a", 400, 20)},
                 {udb_index(L"ix_a", false, false, {L"a"})},
                 {L"CREATE TABLE [t] ([a] nvarchar(400) NULL)",
                  L"CREATE NONCLUSTERED INDEX [ix_a] ON [t] ([a])"},
                 {}},
        key_case{"a column narrowed for the primary key is narrow in every other index",
                 mss_test::version_2019,
                 {measured_sized(L"k", 300, 300), measured_sized(L"tag", 50, 5)},
                 {udb_index(L"pk", true, true, {L"k"}),
                  udb_index(L"ix_tag", false, false, {L"tag", L"k"})},
                 {L"CREATE TABLE [t] ([k] nvarchar(300) COLLATE Latin1_General_100_BIN2 NOT NULL, "
                  L"[tag] nvarchar(100) NULL)",
                  L"ALTER TABLE [t] ADD CONSTRAINT [pk] PRIMARY KEY CLUSTERED ([k])",
                  L"CREATE NONCLUSTERED INDEX [ix_tag] ON [t] ([tag], [k])"},
                 {}},
        key_case{"unmeasured unbounded text and an expression are reported",
                 mss_test::version_2019,
                 {column(L"a", VT_BSTR, 0), column(L"b", VT_BLOB, 0)},
                 {udb_index(L"ix_a", true, false, {L"a"}), udb_index(L"ix_b", false, false, {L"b"}),
                  udb_index(L"ix_e", false, false, {L"lower(a)"})},
                 {L"CREATE TABLE [t] ([a] nvarchar(max) COLLATE Latin1_General_100_BIN2 NULL, [b] "
                  L"varbinary(max) NULL)"},
                 {L"ix_a: the column a is text without a length limit (nvarchar(max)), which SQL "
                  L"Server cannot index",
                  L"ix_b: the column b is binary without a length limit (varbinary(max)), which "
                  L"SQL Server cannot index",
                  L"ix_e: lower(a) is no column of the table"}}),
    [](const testing::TestParamInfo<key_case>& param_info)
    { return "Case" + std::to_string(param_info.index); });

struct measure_case
{
    const char* label;
    std::vector<t_ftd> columns;
    std::vector<udb_index> indexes;
    std::vector<bool> measured;
};

class KeyTextToMeasure : public testing::TestWithParam<measure_case>
{
};

// Only text whose key may be too large somewhere is read before the table is created.
TEST_P(KeyTextToMeasure, IsTheTextWhoseKeyMayNotFit)
{
    const measure_case& c = GetParam();
    std::vector<t_ftd> columns = c.columns;
    udb_schema schema;
    for (t_ftd& entry : columns)
    {
        schema.push_back(&entry);
    }
    udb_indexes indexes;
    for (const udb_index& index : c.indexes)
    {
        indexes.push_back(index);
    }
    EXPECT_EQ(mss_key_text_to_measure(schema, indexes), c.measured);
}

INSTANTIATE_TEST_SUITE_P(
    Schemas, KeyTextToMeasure,
    testing::Values(measure_case{"varchar(255) key",
                                 {column(L"k", VT_BSTR, 255), column(L"v", VT_I4, 0)},
                                 {udb_index(L"pk", true, true, {L"k"})},
                                 {true, false}},
                    measure_case{"char(226) key, just above 900 bytes",
                                 {column(L"k", VT_BSTR, 226)},
                                 {udb_index(L"pk", true, true, {L"k"})},
                                 {true}},
                    measure_case{"varchar(225) key of 900 bytes",
                                 {column(L"k", VT_BSTR, 225)},
                                 {udb_index(L"pk", true, true, {L"k"})},
                                 {false}},
                    measure_case{"varchar(100) with dates and integers",
                                 {column(L"k", VT_BSTR, 100), column(L"d", VT_DATE, 0),
                                  column(L"n", VT_I8, 0)},
                                 {udb_index(L"pk", true, true, {L"k", L"d", L"n"})},
                                 {false, false, false}},
                    measure_case{"unbounded text in an index, and the bounded text beside it",
                                 {column(L"memo", VT_BSTR, 0), column(L"code", VT_BSTR, 10),
                                  column(L"other", VT_BSTR, 10), column(L"free", VT_BSTR, 0)},
                                 {udb_index(L"ix", false, false, {L"memo", L"code"})},
                                 {true, true, false, false}},
                    measure_case{"a plain index of 1,200 bytes, a GUID and an expression",
                                 {column(L"a", VT_BSTR, 600),
                                  column(L"id", VT_BSTR, 0, false, {}, t_ftd::guid_column)},
                                 {udb_index(L"ix", false, false, {L"a", L"id"}),
                                  udb_index(L"ix_e", false, false, {L"lower(a)"})},
                                 {true, false}}),
    [](const testing::TestParamInfo<measure_case>& param_info)
    { return "Case" + std::to_string(param_info.index); });

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
    const std::vector<udb_index_failure> failures = m_database->take_index_failures();
    ASSERT_EQ(failures.size(), 1u);
    EXPECT_EQ(failures[0].index, L"one");
    EXPECT_EQ(failures[0].reason, L"no room");
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
                     mss_target{.version_code = 4, .view_owned = false}, nullptr, VT_EMPTY},
        default_case{"time of day",
                     column(L"c", VT_DATE, 0, false, ole_variant(L"10:20:30.5"), t_ftd::time_only),
                     modern, L"'10:20:30.500'", VT_BSTR},
        default_case{"time of day in a datetime column",
                     column(L"c", VT_DATE, 0, false, ole_variant(L"10:20:30"), t_ftd::time_only),
                     mss_target{.version_code = 4, .view_owned = false}, L"'18991230 10:20:30'",
                     VT_BSTR},
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
                     mss_target{.version_code = 4, .view_owned = false}, L"'20200201 12:34:56.123'",
                     VT_BSTR},
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
