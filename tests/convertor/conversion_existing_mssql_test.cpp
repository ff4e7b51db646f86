// conversion_existing_mssql_test.cpp: from the test PostgreSQL server into tables that exist in
// the SQL Server of ZOV_TEST_MSSQL before the run: values go in exactly or their rows are
// reported, by bulk load and by INSERT statements; keys that the server only takes for equal
// ('a ' for 'a', 'A' for 'a') are neither merged nor dropped in silence.
#include "mss/mss_database.h"
#include "mss/odb_command.h"
#include "sqlserver_run_fixture.h"
#include "test_support.h"

#include <gtest/gtest.h>
#include <regex>

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
        convert_into_destination(source, mode);
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

// Decimal and money from floats, numerics and text, text into date, time and GUID columns, a
// time of day into the types with a date and a negative zero: each value stored as the source has
// it, on 1900-01-01 for a time of day, or its row reported; both paths store the same.
TEST_P(ExistingColumnsSqlServer, DecimalMoneyTextAndTimesGoInExactlyOrTheirRowsAreReported)
{
    if (!m_connected)
    {
        return;
    }
    pgs_test::scratch_database source(m_server, "zov_exact2");
    const std::string guid = "6f9619ff-8b86-d011-b42d-00c04fc964ff";
    // Row 1 and 2 are kept; every later row has one value its column does not hold.
    source.execute(
        "CREATE TABLE r (id int PRIMARY KEY, d double precision, d2 double precision, dn text, "
        "m numeric, ds text, ts text, g text, t1 time, t2 time, t3 time, t4 time, "
        "f double precision);"
        "INSERT INTO r VALUES"
        " (1, 0.30000000000000004, 0.25, '1.5', 1.2345, ' 2020-01-01 ', "
        "'2020-01-01 10:00:00.123456', ' {" +
        guid +
        "} ', '10:00', '10:00', '10:00:00.25', '10:00', '-0.0'),"
        " (2, 123456789.12345679, 1, '.5', 0.0001, '2020-01-02', '2020-01-02T10:05', '" +
        guid +
        "', '11:30', '11:30', '11:30', '11:30', 2.5),"
        " (3, 1, 1, '1,5', 1, '2020-01-01', '2020-01-01', '" +
        guid +
        "', '10:00', '10:00', '10:00', '10:00', 1),"
        " (4, 1, 1, '1,000.25', 1, '2020-01-01', '2020-01-01', '" +
        guid +
        "', '10:00', '10:00', '10:00', '10:00', 1),"
        " (5, 1, 1, '1', 1.23456, '2020-01-01', '2020-01-01', '" +
        guid +
        "', '10:00', '10:00', '10:00', '10:00', 1),"
        " (6, 1, 1, '1', 0.00005, '2020-01-01', '2020-01-01', '" +
        guid +
        "', '10:00', '10:00', '10:00', '10:00', 1),"
        " (7, 1, 1, '1', 1, '2020-01-01 garbage', '2020-01-01', '" +
        guid +
        "', '10:00', '10:00', '10:00', '10:00', 1),"
        " (8, 1, 1, '1', 1, '2020-01-01', '2020-01-01 10:00:00+02', '" +
        guid +
        "', '10:00', '10:00', '10:00', '10:00', 1),"
        " (9, 1, 1, '1', 1, '2020-01-01', '2020-01-01 10:00:00 junk', '" +
        guid +
        "', '10:00', '10:00', '10:00', '10:00', 1),"
        " (10, 1, 1, '1', 1, '2020-01-01', '2020-01-01 10:00:00.1234567', '" +
        guid +
        "', '10:00', '10:00', '10:00', '10:00', 1),"
        " (11, 1, 1, '1', 1, '01/02/2020', '2020-01-01', '" +
        guid +
        "', '10:00', '10:00', '10:00', '10:00', 1),"
        " (12, 1, 1, '1', 1, '2020-01-01', '2020-01-01', '" +
        guid +
        "xyz', '10:00', '10:00', '10:00', '10:00', 1),"
        " (13, 1, 0.30000000000000004, '1', 1, '2020-01-01', '2020-01-01', '" +
        guid + "', '10:00', '10:00', '10:00', '10:00', 1);");
    prepare_destination(
        L"CREATE TABLE dbo.r (id int PRIMARY KEY, d decimal(38,20), d2 decimal(10,2), "
        L"dn decimal(10,2), m money, ds date, ts datetime2(7), g uniqueidentifier, "
        L"t1 smalldatetime, t2 datetime, t3 datetime2(7), t4 datetimeoffset(7), f float)");
    run(source.name(), 3, GetParam());

    const std::string text_number = "it is not one number as a whole";
    const std::string text_date = "the column takes text of a date YYYY-MM-DD";
    expect_refusals(m_bench->handler->messages,
                    {{3, "column dn (decimal): " + text_number},
                     {4, "column dn (decimal): " + text_number},
                     {5, "column m (money): money keeps 4 decimals"},
                     {6, "column m (money): money keeps 4 decimals"},
                     {7, "column ds (date): " + text_date},
                     {8, "column ts (datetime2): " + text_date},
                     {9, "column ts (datetime2): " + text_date},
                     {10, "column ts (datetime2): " + text_date},
                     {11, "column ds (date): " + text_date},
                     {12, "column g (uniqueidentifier): a uniqueidentifier takes text of one GUID"},
                     {13, "column d2 (decimal): the column keeps 2 decimals"}});
    const std::vector<std::vector<std::string>> rows = query(
        "SELECT id, CAST(d AS nvarchar(50)), CAST(d2 AS nvarchar(20)), CAST(dn AS nvarchar(20)), "
        "CAST(CAST(m AS decimal(19,4)) AS nvarchar(30)), CONVERT(nvarchar(10), ds, 23), "
        "CONVERT(nvarchar(30), ts, 121), LOWER(CAST(g AS nvarchar(36))), "
        "CONVERT(nvarchar(30), t1, 121), CONVERT(nvarchar(30), t2, 121), "
        "CONVERT(nvarchar(30), t3, 121), CONVERT(nvarchar(40), t4, 121), "
        "CASE WHEN f = 0 AND ATN2(f, -1) < 0 THEN N'-0' ELSE CAST(f AS nvarchar(30)) END "
        "FROM dbo.r ORDER BY id");
    // The test server prints the fractions of datetime2 and datetimeoffset without their
    // trailing zeros: both forms are compared without them.
    const auto without_trailing_zeros = [](std::vector<std::vector<std::string>> table)
    {
        const std::regex fraction(R"((:\d\d)\.(\d*?)0*( |$))");
        const std::regex bare_point(R"((:\d\d)\.( |$))");
        for (std::vector<std::string>& row : table)
        {
            for (std::string& value : row)
            {
                value = std::regex_replace(value, fraction, "$1.$2$3");
                value = std::regex_replace(value, bare_point, "$1$2");
            }
        }
        return table;
    };
    EXPECT_EQ(
        without_trailing_zeros(rows),
        without_trailing_zeros(
            {{"1", "0.30000000000000004000", "0.25", "1.50", "1.2345", "2020-01-01",
              "2020-01-01 10:00:00.1234560", guid, "1900-01-01 10:00:00", "1900-01-01 10:00:00.000",
              "1900-01-01 10:00:00.2500000", "1900-01-01 10:00:00.0000000 +00:00", "-0"},
             {"2", "123456789.12345679000000000000", "1.00", "0.50", "0.0001", "2020-01-02",
              "2020-01-02 10:05:00.0000000", guid, "1900-01-01 11:30:00", "1900-01-01 11:30:00.000",
              "1900-01-01 11:30:00.0000000", "1900-01-01 11:30:00.0000000 +00:00", "2.5"}}));
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
