// conversion_mssql_test.cpp: end to end from the test PostgreSQL server to a real SQL Server: the
// converter run in-process, the destination read back table by table and value by value.
#include "sqlserver_run_fixture.h"

#include <algorithm>
#include <gtest/gtest.h>
#include <map>

namespace
{

/// A source database to convert and what the run must report about it.
struct conversion_case
{
    const char* name;
    /// The files to load, found when the test runs (they need the test environment).
    std::vector<std::filesystem::path> (*files)();
    /// By table, the ids of the rows that must arrive where some rows hold values with no
    /// faithful form (every row of the other tables arrives), and the messages the refused rows
    /// must be reported with, in order.
    std::map<std::string, std::vector<int>> arriving_ids;
    std::vector<std::string> messages;
    /// When not empty: the numeric, decimal, float and money columns of the destination as
    /// destination_reader::numeric_columns gives them.
    std::vector<std::string> numeric_columns{};
};

/// On Babelfish, takes out of `messages` the rows refused because its time parser does not take
/// the date-and-time literal SQL Server takes for a time column, and out of `arriving` their ids
/// (the fixture's rows are read in id order, so record #n is id n).
void forgive_babelfish_time_literals(std::vector<std::string>& messages,
                                     std::map<std::string, std::vector<int>>& arriving)
{
    const std::string record = ", record #";
    std::vector<std::string> kept;
    for (const std::string& message : messages)
    {
        const std::size_t at = message.find(record);
        if (at == std::string::npos ||
            message.find("invalid input syntax for type time: \"18991230 ") == std::string::npos)
        {
            kept.push_back(message);
            continue;
        }
        const std::string table = message.substr(message.find('.') + 1, at - message.find('.') - 1);
        std::vector<int>& ids = arriving[table];
        ids.erase(
            std::remove(ids.begin(), ids.end(), std::stoi(message.substr(at + record.size()))),
            ids.end());
    }
    messages = kept;
}

std::string id_list(const std::vector<int>& ids)
{
    std::string list;
    for (const int id : ids)
    {
        list += (list.empty() ? "" : ", ") + std::to_string(id);
    }
    return "id IN (" + list + ")";
}

class ConversionToSqlServer : public testing::TestWithParam<conversion_case>,
                              protected sqlserver_run_fixture
{
protected:
    void SetUp() override { connect_servers(GetParam().name); }
    void TearDown() override { drop_destination(); }
};

TEST_P(ConversionToSqlServer, EveryTableArrivesWithEveryValueAndRefusedRowsAreReported)
{
    const conversion_case& test = GetParam();
    pgs_test::scratch_database source(m_server, "zov_conv_mssql");
    for (const std::filesystem::path& file : test.files())
    {
        source.load_file(file);
    }
    const std::vector<agent_test::source_table> tables =
        agent_test::read_source_tables(m_server, source.name());
    ASSERT_FALSE(tables.empty());

    vandrel_convertor& converter = m_bench->converter();
    converter.set_src(plat::utf8_to_wide_lossy(source.name()));
    converter.set_dest(plat::utf8_to_wide_lossy(m_dest));
    converter.set_mode(0);
    converter.check_dest();
    converter();

    // The engine's database list is read at connect, and the run created the destination.
    converter.connect_mssql_server();
    agent_test::destination_reader reader(converter.mss(), m_dest);
    std::vector<std::string> messages = m_bench->handler->messages;
    std::map<std::string, std::vector<int>> arriving = test.arriving_ids;
    if (reader.babelfish())
    {
        forgive_babelfish_time_literals(messages, arriving);
    }
    EXPECT_EQ(messages, test.messages);
    if (!test.numeric_columns.empty())
    {
        EXPECT_EQ(reader.numeric_columns(), test.numeric_columns);
    }
    std::vector<std::string> found_tables = reader.tables();
    std::sort(found_tables.begin(), found_tables.end());
    ASSERT_EQ(found_tables, agent_test::dbo_table_names(tables));

    for (const agent_test::source_table& table : tables)
    {
        SCOPED_TRACE(table.name);
        const auto refusing = arriving.find(table.name);
        if (refusing != arriving.end())
        {
            // The refused rows are absent, every other row is there with its values.
            EXPECT_EQ(reader.row_count(table.name), static_cast<long>(refusing->second.size()));
            reader.expect_values_equal(m_server, source.name(), table, id_list(refusing->second));
            continue;
        }
        EXPECT_EQ(reader.row_count(table.name), table.rows);
        reader.expect_values_equal(m_server, source.name(), table);
    }
}

std::vector<std::string> refused_value_messages()
{
    const std::string decimal_reason = "a decimal holds no NaN or infinity";
    const std::string date_reason =
        "no neutral date holds it (years 1 to 65535, times of day 00:00:00 to 23:59:59.999999)";
    const std::vector<std::tuple<int, std::string, std::string, std::string>> refusals = {
        // Rows 2, 4 and 6 hold numerics of 30 to 32 digits: decimal(38, s) holds them exactly.
        {7, "NaN", "c_num", decimal_reason},
        {8, "infinity", "c_ts", date_reason},
        {9, "-infinity", "c_date", date_reason},
        {10, "0044-03-15 12:00:00+00 BC", "c_tstz", date_reason},
        {11, "24:00:00", "c_time", date_reason},
    };
    // A numeric without a precision is a decimal, which holds no NaN: the row of the type
    // table that holds one is refused too.
    std::vector<std::string> messages = {
        "public.all_types, record #4: The value 'NaN' of column 'c_num_free' in "
        "'public.all_types' cannot be carried over: " +
        decimal_reason};
    for (const auto& [row, value, column, reason] : refusals)
    {
        messages.push_back("public.bad_values, record #" + std::to_string(row) + ": The value '" +
                           value + "' of column '" + column +
                           "' in 'public.bad_values' cannot be carried over: " + reason);
    }
    return messages;
}

std::vector<std::string> refused_number_messages()
{
    const std::string wider = "it has more digits than the column's precision and scale hold";
    const std::string no_number = "' of column 'n' in 'public.too_fine' cannot be carried over: a "
                                  "decimal holds no NaN or infinity";
    return {"public.too_fine, record #2: The value '0.1234567890123456789012345' has no form in "
            "column n: " +
                wider,
            "public.too_fine, record #3: The value 'NaN" + no_number,
            "public.too_fine, record #4: The value 'Infinity" + no_number,
            "public.too_fine, record #5: The value '-Infinity" + no_number,
            "public.too_long, record #2: The value '12345678901234567890123456789012345678901' "
            "has no form in column n: " +
                wider};
}

INSTANTIATE_TEST_SUITE_P(
    Sources, ConversionToSqlServer,
    testing::Values(
        conversion_case{"pagila",
                        []
                        {
                            return std::vector<std::filesystem::path>{
                                pgs_test::pagila_dir() / "pagila-schema.sql",
                                pgs_test::pagila_dir() / "pagila-data.sql"};
                        },
                        {},
                        {}},
        conversion_case{"types",
                        [] {
                            return std::vector<std::filesystem::path>{
                                pgs_test::fixture_path("pgs_types.sql")};
                        },
                        {{"all_types", {1, 2, 3, 5}}, {"bad_values", {1, 2, 3, 4, 5, 6, 12}}},
                        refused_value_messages()},
        // Money and numerics without a precision arrive exactly; values no numeric
        // of 38 digits holds are refused row by row, never rounded.
        conversion_case{"numbers",
                        [] {
                            return std::vector<std::filesystem::path>{
                                pgs_test::fixture_path("pgs_numbers.sql")};
                        },
                        {{"too_fine", {1, 6}}, {"too_long", {1, 3}}},
                        refused_number_messages(),
                        {"free_numbers.whole numeric(38,0)", "free_numbers.fraction numeric(38,38)",
                         "free_numbers.mixed numeric(29,10)", "free_numbers.nothing numeric(38,10)",
                         "money_values.amount numeric(19,2)", "money_values.fee numeric(19,2)",
                         "too_fine.n numeric(38,18)", "too_long.n numeric(38,0)"}}),
    [](const testing::TestParamInfo<conversion_case>& param_info)
    { return std::string(param_info.param.name); });

} // namespace
