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

/// A conversion into SQL Server for each source case; the destination is named after it.
template <class Case>
class converting_to_sqlserver : public testing::TestWithParam<Case>, protected sqlserver_run_fixture
{
protected:
    void SetUp() override { connect_servers(this->GetParam().name); }
    void TearDown() override { drop_destination(); }
};

class ConversionToSqlServer : public converting_to_sqlserver<conversion_case>
{
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

    convert_into_destination(source.name(), 0);
    vandrel_convertor& converter = m_bench->converter();

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

/// A source database of one encoding to convert, the tables it gets and what the run reports.
struct key_source_case
{
    const char* name;
    std::string encoding;
    /// Statements that make the source's tables.
    std::string tables;
    /// "table.column max_length" for each text key column of the destination, in table order
    /// (sys.columns counts bytes: two a UTF-16 unit).
    std::vector<std::string> key_columns;
    /// The tables that arrive without their primary key, and the reporter's lines.
    std::vector<std::string> keyless;
    std::vector<std::string> lines;
    /// Settings of the source database, for its own sessions (ALTER DATABASE ... SET).
    std::vector<std::string> settings{};
};

class KeysToSqlServer : public converting_to_sqlserver<key_source_case>
{
};

// Every table arrives with every value; its text key is created as wide as its values need
// where two units a character would make the key too large, and elsewhere keeps two.
TEST_P(KeysToSqlServer, TablesArriveWithTheirKeysAndEveryValue)
{
    const key_source_case& test = GetParam();
    pgs_test::scratch_database source(m_server, "zov_conv_keys", test.encoding);
    for (const std::string& setting : test.settings)
    {
        source.execute("ALTER DATABASE " + source.name() + " SET " + setting);
    }
    source.execute(test.tables);
    const std::vector<agent_test::source_table> tables =
        agent_test::read_source_tables(m_server, source.name());
    ASSERT_FALSE(tables.empty());

    convert_into_destination(source.name(), 0);
    vandrel_convertor& converter = m_bench->converter();

    // The values are compared as the reader reads them, in the server's default forms.
    if (!test.settings.empty())
    {
        source.execute("ALTER DATABASE " + source.name() + " RESET ALL");
    }
    converter.connect_mssql_server();
    agent_test::destination_reader reader(converter.mss(), m_dest);
    EXPECT_EQ(m_bench->handler->messages, std::vector<std::string>{});
    std::vector<std::string> index_lines;
    for (const std::string& line : m_bench->reporter->lines)
    {
        if (line.starts_with("index "))
        {
            index_lines.push_back(line);
        }
    }
    EXPECT_EQ(index_lines, test.lines);
    std::vector<std::string> found_tables = reader.tables();
    std::sort(found_tables.begin(), found_tables.end());
    ASSERT_EQ(found_tables, agent_test::dbo_table_names(tables));
    std::vector<std::string> key_columns;
    for (const auto& row : reader.query(
             "SELECT t.name + N'.' + c.name + N' ' + CAST(c.max_length AS nvarchar(10)) FROM "
             "sys.index_columns ic JOIN sys.indexes i ON i.object_id = ic.object_id AND "
             "i.index_id = ic.index_id JOIN sys.columns c ON c.object_id = ic.object_id AND "
             "c.column_id = ic.column_id JOIN sys.tables t ON t.object_id = ic.object_id WHERE "
             "i.is_primary_key = 1 AND TYPE_NAME(c.system_type_id) = N'nvarchar' ORDER BY t.name"))
    {
        key_columns.push_back(row.at(0));
    }
    EXPECT_EQ(key_columns, test.key_columns);
    for (const agent_test::source_table& table : tables)
    {
        SCOPED_TRACE(table.name);
        const bool keyless =
            std::find(test.keyless.begin(), test.keyless.end(), table.name) != test.keyless.end();
        EXPECT_EQ(reader
                      .query("SELECT COUNT(*) FROM sys.indexes WHERE is_primary_key = 1 AND "
                             "object_id = OBJECT_ID(N'dbo." +
                             table.name + "')")
                      .at(0)
                      .at(0),
                  keyless ? "0" : "1");
        EXPECT_EQ(reader.row_count(table.name), table.rows);
        reader.expect_values_equal(m_server, source.name(), table);
    }
}

// The source's own text in each encoding: a text key and a varchar(300) key that takes 600
// bytes as nvarchar(300), 1,200 at two units a character.
std::string encoded_tables(const std::string& text_values, const std::string& varchar_values)
{
    return "CREATE TABLE tk (k text PRIMARY KEY, v int); INSERT INTO tk VALUES " + text_values +
           "; CREATE TABLE kv (k varchar(300) PRIMARY KEY, v int); INSERT INTO kv VALUES " +
           varchar_values;
}

INSTANTIATE_TEST_SUITE_P(
    Sources, KeysToSqlServer,
    testing::Values(
        // varchar(255), varchar(450) and char(300) keys take more than 900 bytes at two units a
        // character: created as wide as their values need. The test server counts characters
        // in nvarchar where SQL Server counts UTF-16 units; the sizes are SQL Server's.
        key_source_case{
            "sizes",
            "UTF8",
            "CREATE TABLE kv255 (email varchar(255) PRIMARY KEY, v int);"
            " INSERT INTO kv255 VALUES ('a@example.com', 1), ('é@bücher.de', 2),"
            " (repeat('x', 255), 3);"
            " CREATE TABLE kv450 (k varchar(450) PRIMARY KEY); INSERT INTO kv450 VALUES"
            " (repeat('日', 450)), ('b');"
            " CREATE TABLE kc300 (k char(300) PRIMARY KEY, v int); INSERT INTO kc300 VALUES"
            " ('abc', 1), ('d😀', 2);"
            " CREATE TABLE kv100 (k varchar(100) PRIMARY KEY); INSERT INTO kv100 VALUES ('z');"
            " CREATE TABLE kastral (k varchar(255) PRIMARY KEY, v int); INSERT INTO kastral VALUES"
            " (repeat('😀', 255), 1), ('a', 2);",
            {"kc300.k 602", "kv100.k 400", "kv255.email 510", "kv450.k 900"},
            {"kastral"},
            {"index public.kastral kastral_pkey: its key takes 1020 bytes, more than the 900 "
             "bytes SQL Server allows in a clustered primary key"}},
        key_source_case{"utf8",
                        "UTF8",
                        encoded_tables("('a😀b', 1), ('héllo', 2)", "('é😀', 1)"),
                        {"kv.k 600", "tk.k 10"},
                        {},
                        {}},
        key_source_case{"latin1",
                        "LATIN1",
                        encoded_tables("('café', 1), ('Größe', 2)", "('über', 1), ('ß', 2)"),
                        {"kv.k 600", "tk.k 10"},
                        {},
                        {}},
        key_source_case{"win1252",
                        "WIN1252",
                        encoded_tables("('€uro', 1), ('naïve “q”', 2)", "('–', 1)"),
                        {"kv.k 600", "tk.k 18"},
                        {},
                        {}},
        // Measured by bytes: é😀 is 6 bytes, 3 units.
        key_source_case{"sql_ascii",
                        "SQL_ASCII",
                        encoded_tables("('é😀', 1), ('ab', 2)", "('é', 1)"),
                        {"kv.k 600", "tk.k 12"},
                        {},
                        {}},
        key_source_case{"euc_jis_2004",
                        "EUC_JIS_2004",
                        encoded_tables("('𠮟る', 1), ('日本', 2)", "('𠮟', 1)"),
                        {"kv.k 600", "tk.k 6"},
                        {},
                        {}},
        // The source's own output settings change nothing of what is measured or read.
        key_source_case{
            "settings",
            "UTF8",
            "CREATE TABLE iv (k interval PRIMARY KEY, note text); INSERT INTO iv VALUES"
            " ('1 year 2 months 3 days 04:05:06', 'a'), ('-7 days', 'b'),"
            " ('1 day 00:00:00.5', 'c');"
            " CREATE TABLE fa (k float8[] PRIMARY KEY, n int); INSERT INTO fa VALUES"
            " ('{0.1234567890123456789,2.5}', 1), ('{7.25e10}', 2);"
            " CREATE TABLE ba (k bytea[] PRIMARY KEY, n int); INSERT INTO ba VALUES"
            " (ARRAY['\\x00ff41'::bytea, 'abc'::bytea], 1);",
            {"ba.k 50", "fa.k 50", "iv.k 58"},
            {},
            {},
            {"IntervalStyle = 'iso_8601'", "extra_float_digits = -15", "bytea_output = 'escape'"}}),
    [](const testing::TestParamInfo<key_source_case>& param_info)
    { return std::string(param_info.param.name); });

} // namespace
