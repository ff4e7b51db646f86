// oledb_streamed_test.cpp: values of megabytes written apart from their INSERT statement, in
// pieces: which values go so, the statement's markers, and their arrival on a SQL Server named by
// ZOV_TEST_MSSQL ("server;user;password"), byte for byte.
#include "plat/oledb/odbc_link.h"
#include "plat/oledb/oledb_load.h"
#include "plat/plat_text.h"
#include "test_support.h"

#include <gtest/gtest.h>

namespace
{

using namespace plat::oledb;

struct streamed_case
{
    const char* name;
    load_value value;
    bool streamed;
};

TEST(StreamedValues, OnlyTextsAndBytesOfMoreThanTheLimitGoApart)
{
    const std::size_t limit = streamed_value_bytes;
    const std::vector<streamed_case> cases = {
        {"null", std::monostate{}, false},
        {"number", std::int64_t{7}, false},
        {"short text", std::u16string(u"short"), false},
        // UTF-16 bytes count: limit / 2 units take the limit exactly.
        {"text at the limit", std::u16string(limit / 2, u'x'), false},
        {"text past the limit", std::u16string(limit / 2 + 1, u'x'), true},
        // UTF-8 of one byte a character takes twice as much as UTF-16.
        {"UTF-8 text past the limit as UTF-16", load_utf8{std::string(limit / 2 + 1, 'x')}, true},
        {"bytes at the limit", std::vector<std::uint8_t>(limit, 1), false},
        {"bytes past the limit", std::vector<std::uint8_t>(limit + 1, 1), true},
        {"decimal", load_decimal{std::string(40, '9')}, false},
    };
    for (const streamed_case& entry : cases)
    {
        SCOPED_TRACE(entry.name);
        const std::vector<bool> streamed = streamed_values(load_row{std::int64_t{1}, entry.value});
        EXPECT_EQ(streamed, (std::vector<bool>{false, entry.streamed}));
    }
}

TEST(StreamedValues, MarkedValuesAreWrittenAsMarkersAndTheOthersAsLiterals)
{
    std::vector<load_column> columns(3);
    columns[0].desc.name = L"id";
    columns[1].desc.name = L"t";
    columns[2].desc.name = L"b";
    const load_row values{std::int64_t{5}, std::u16string(u"it's?"),
                          std::vector<std::uint8_t>{0xAB, 0x01}};
    const std::vector<std::pair<std::vector<bool>, std::u16string>> cases = {
        {{}, u"VALUES (5, N'it''s?', 0xAB01)"},
        {{false, true, false}, u"VALUES (5, ?, 0xAB01)"},
        {{false, true, true}, u"VALUES (5, ?, ?)"},
    };
    for (const auto& [markers, tail] : cases)
    {
        const std::u16string sql =
            insert_literal_statement(L"[dbo].[t]", columns, values, driver_kind::freetds, markers);
        EXPECT_TRUE(sql.ends_with(tail)) << plat::wide_to_utf8(plat::utf16_to_wide(sql));
    }
}

// A text of non-ASCII characters and characters beyond U+FFFF, with a surrogate pair across the
// edge of the first megabyte piece, and bytes of every value, sent apart from their statement:
// both read back equal, unit for unit and byte for byte.
TEST(SqlServerStreamedValues, TextAndBytesOfMegabytesArriveExactly)
{
    const std::optional<test_support::mssql_login> login = test_support::mssql_login_from_env();
    if (!login)
    {
        GTEST_SKIP() << "ZOV_TEST_MSSQL is unset (\"server;user;password\"): no SQL Server to "
                        "test against";
    }
    const auto environment = make_odbc_environment();
    if (!odbc_driver_installed(environment, L"FreeTDS"))
    {
        GTEST_SKIP() << "the ODBC driver \"FreeTDS\" is not registered with unixODBC "
                        "(scripts/setup installs it)";
    }
    std::wstring host = login->server;
    std::wstring port = L"1433";
    if (const auto comma = host.find(L','); comma != std::wstring::npos)
    {
        port = host.substr(comma + 1);
        host.resize(comma);
    }
    const std::unique_ptr<plat::oledb::link> connection =
        make_odbc_link(environment, L"FreeTDS", driver_kind::freetds);
    ASSERT_TRUE(connection
                    ->connect(L"Driver={FreeTDS};Server=" + host + L";Port=" + port + L";UID={" +
                              login->user + L"};PWD={" + login->password +
                              L"};Database=tempdb;TDS_Version=7.4;ClientCharset=UTF-8;")
                    .ok());
    std::unique_ptr<link_statement> statement;
    ASSERT_TRUE(connection->new_statement(statement).ok());
    ASSERT_TRUE(statement->streams_values());
    ASSERT_TRUE(
        statement
            ->execute(L"CREATE TABLE #streamed (id int, t nvarchar(max), b varbinary(max), s int)")
            .ok());
    std::u16string text;
    const std::u16string piece = u"ab'?\u00e9\u65e5\U0001F600-";
    while (text.size() < 1500000)
    {
        text += piece;
    }
    // The first piece sent is a megabyte, 524288 units: a pair sits across its edge.
    text[524286] = u'x';
    text[524287] = 0xD83D;
    text[524288] = 0xDE00;
    std::vector<std::uint8_t> bytes(3000001);
    for (std::size_t byte_idx = 0; byte_idx < bytes.size(); ++byte_idx)
    {
        bytes[byte_idx] = static_cast<std::uint8_t>(byte_idx * 131 + byte_idx / 256);
    }
    load_row apart{text, bytes};
    ASSERT_TRUE(
        statement
            ->execute_streamed(u"INSERT INTO #streamed (id, t, b, s) VALUES (1, ?, ?, 2)", apart)
            .ok());
    // Sent, the values are the driver's.
    EXPECT_TRUE(std::holds_alternative<std::monostate>(apart[0]));
    EXPECT_TRUE(std::holds_alternative<std::monostate>(apart[1]));
    ASSERT_TRUE(statement->execute(L"SELECT id, t, b, s FROM #streamed").ok());
    row values;
    ASSERT_EQ(statement->fetch(values).hr, S_OK);
    ASSERT_EQ(values.size(), 4u);
    EXPECT_EQ(std::get<std::u16string>(values[0]), u"1");
    const auto& text_back = std::get<std::u16string>(values[1]);
    EXPECT_EQ(text_back.size(), text.size());
    EXPECT_TRUE(text_back == text);
    const auto& bytes_back = std::get<std::vector<std::uint8_t>>(values[2]);
    EXPECT_EQ(bytes_back.size(), bytes.size());
    EXPECT_TRUE(bytes_back == bytes);
    EXPECT_EQ(std::get<std::u16string>(values[3]), u"2");
}

} // namespace
