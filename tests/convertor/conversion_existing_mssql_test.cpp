// conversion_existing_mssql_test.cpp: from the test PostgreSQL server into tables that exist in
// the SQL Server of ZOV_TEST_MSSQL before the run: values go in exactly or their rows are
// reported, by bulk load and by INSERT statements; keys that the server only takes for equal
// ('a ' for 'a', 'A' for 'a') are neither merged nor dropped in silence.
#include "mss/mss_database.h"
#include "mss/odb_command.h"
#include "sqlserver_run_fixture.h"
#include "test_support.h"

#include <gtest/gtest.h>

namespace
{

class ConversionIntoExistingSqlServer : public testing::Test, protected sqlserver_run_fixture
{
protected:
    void TearDown() override { drop_destination(); }

    // Creates the destination database and runs `sql` in it.
    void prepare_destination(const std::wstring& sql)
    {
        const std::unique_ptr<mss_database> database =
            m_bench->converter().mss().create_db(plat::utf8_to_wide_lossy(m_dest));
        odb_command command(database->session());
        command.execute_counted(sql);
    }

    // Converts the source `source` into the destination in `mode`; by INSERT statements when
    // `by_insert`.
    void run(const std::string& source, int mode, bool by_insert)
    {
        std::optional<test_support::scoped_env> no_fast_load;
        if (by_insert)
        {
            no_fast_load.emplace("ZOV_NO_FAST_LOAD", "1");
        }
        vandrel_convertor& converter = m_bench->converter();
        // The fast-load switch is asked for when the engine connects.
        converter.connect_mssql_server();
        converter.set_src(plat::utf8_to_wide_lossy(source));
        converter.set_dest(plat::utf8_to_wide_lossy(m_dest));
        converter.set_mode(mode);
        converter.check_dest();
        converter();
        converter.connect_mssql_server();
    }

    std::vector<std::vector<std::string>> query(const std::string& sql)
    {
        agent_test::destination_reader reader(m_bench->converter().mss(), m_dest);
        return reader.query(sql);
    }
};

// What a refused row's report must hold: its record number and the column's reason.
struct refusal
{
    int record;
    std::string reason;
};

void expect_refusals(const std::vector<std::string>& messages, const std::vector<refusal>& refusals)
{
    ASSERT_EQ(messages.size(), refusals.size()) << testing::PrintToString(messages);
    for (std::size_t idx = 0; idx < refusals.size(); ++idx)
    {
        const std::string prefix = "record #" + std::to_string(refusals[idx].record) + ": ";
        EXPECT_NE(messages[idx].find(prefix), std::string::npos) << messages[idx];
        EXPECT_NE(messages[idx].find(refusals[idx].reason), std::string::npos) << messages[idx];
    }
}

class ExistingColumnsSqlServer : public ConversionIntoExistingSqlServer,
                                 public testing::WithParamInterface<bool>
{
protected:
    void SetUp() override { connect_servers(GetParam() ? "exact_insert" : "exact_bulk"); }
};

TEST_P(ExistingColumnsSqlServer, ValueGoesInExactlyOrItsRowIsReported)
{
    if (!m_connected)
    {
        return;
    }
    pgs_test::scratch_database source(m_server, "zov_exact");
    source.execute(
        "CREATE TABLE t (id int PRIMARY KEY, n numeric, ts timestamp, b int, s text, v text, "
        "dt timestamp);"
        "INSERT INTO t VALUES"
        " (1, 2.5, '2020-01-02 03:04:05', 2, '2.9', 'x', '2020-01-02 10:00:00'),"
        " (2, -3.7, '2020-01-02 00:00:00', 1, '3', 'x', '2020-01-02 10:00:00'),"
        " (3, 4, '2020-01-03 00:00:00', 1, '03', 'caf\xc3\xa9', '2020-01-03 10:00:00.123'),"
        " (4, 5, '2020-01-04 00:00:00', 0, '+4', '\xe6\x97\xa5\xe6\x9c\xac', "
        "'2020-01-04 10:00:00'),"
        " (5, 6, '2020-01-05 00:00:00', 0, '5', 'x', '2020-01-05 10:00:00.123456'),"
        " (6, 7, '2020-01-06 00:00:00', 0, '6', 'x', '2020-01-06 10:00:00.999999'),"
        " (7, 8, '2020-01-07 00:00:00', 0, '3x', 'x', '2020-01-07 10:00:00');");
    prepare_destination(L"CREATE TABLE dbo.t (id int PRIMARY KEY, n int, ts date, b bit, s int, "
                        L"v varchar(10) COLLATE Latin1_General_CI_AS, dt datetime)");
    run(source.name(), 3, GetParam());

    expect_refusals(m_bench->handler->messages,
                    {{1, "has no form in column n (int): it is no whole number"},
                     {2, "has no form in column n (int): it is no whole number"},
                     {4, "has no form in column v (varchar): a character has no form in the "
                         "column's code page 1252"},
                     {5, "has no form in column dt (datetime): a datetime holds whole "
                         "milliseconds"},
                     {6, "has no form in column dt (datetime): a datetime holds whole "
                         "milliseconds"},
                     {7, "has no form in column s (int): it is no whole number"}});
    const std::vector<std::vector<std::string>> rows =
        query("SELECT id, n, CONVERT(varchar(10), ts, 23), CAST(b AS int), s, v, "
              "CONVERT(varchar(23), dt, 121) FROM dbo.t ORDER BY id");
    ASSERT_EQ(rows.size(), 1u);
    EXPECT_EQ(rows[0], (std::vector<std::string>{"3", "4", "2020-01-03", "1", "3", "caf\xc3\xa9",
                                                 "2020-01-03 10:00:00.123"}));
}

INSTANTIATE_TEST_SUITE_P(LoadPaths, ExistingColumnsSqlServer, testing::Values(false, true),
                         [](const testing::TestParamInfo<bool>& param_info)
                         { return std::string(param_info.param ? "ByInsert" : "ByBulkLoad"); });

class ExistingKeysSqlServer : public ConversionIntoExistingSqlServer,
                              public testing::WithParamInterface<int>
{
protected:
    void SetUp() override { connect_servers("keys_" + std::to_string(GetParam())); }
};

// By INSERT statements: the test server's bulk copy lets rows past a key.
TEST_P(ExistingKeysSqlServer, KeyThatOnlyComparesEqualIsReportedAndNothingIsOverwritten)
{
    if (!m_connected)
    {
        return;
    }
    const int mode = GetParam();
    pgs_test::scratch_database source(m_server, "zov_keys");
    source.execute("CREATE TABLE tks (k text PRIMARY KEY, v int);"
                   "INSERT INTO tks VALUES ('a', 1), ('bb', 5), ('a ', 2), ('A', 3);");
    // A key collation that ignores case, as a table made by hand may have.
    prepare_destination(
        L"CREATE TABLE dbo.tks (k nvarchar(10) COLLATE Latin1_General_CI_AS PRIMARY KEY, v int);"
        L"INSERT INTO dbo.tks VALUES (N'a', 1), (N'bb', 7);");
    run(source.name(), mode, true);

    const std::string only_equal = "only compares equal to the key of a stored row";
    expect_refusals(m_bench->handler->messages, {{3, only_equal}, {4, only_equal}});
    const std::vector<std::vector<std::string>> rows =
        query("SELECT k + N'|', v FROM dbo.tks ORDER BY v");
    // Mode 4 updates the row whose key is exactly the source's; mode 3 keeps it.
    const std::string bb = mode == 4 ? "5" : "7";
    EXPECT_EQ(rows, (std::vector<std::vector<std::string>>{{"a|", "1"}, {"bb|", bb}}));
}

INSTANTIATE_TEST_SUITE_P(Modes, ExistingKeysSqlServer, testing::Values(3, 4),
                         [](const testing::TestParamInfo<int>& param_info)
                         { return "Mode" + std::to_string(param_info.param); });

} // namespace
