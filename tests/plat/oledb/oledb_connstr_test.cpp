// oledb_connstr_test.cpp: connection strings and initialisation strings with hostile values.
#include "plat/oledb/oledb_connstr.h"

#include <gtest/gtest.h>

using namespace plat::oledb;

namespace
{

const driver_choice microsoft{L"ODBC Driver 18 for SQL Server", driver_kind::microsoft, L""};
const driver_choice freetds{L"FreeTDS", driver_kind::freetds, L"7.4"};
const driver_choice postgresql{L"PostgreSQL Unicode", driver_kind::postgresql, L""};
const driver_choice sqlite{L"SQLite3", driver_kind::sqlite, L""};

struct connstr_case
{
    const char* label;
    driver_choice driver;
    connection_settings settings;
    const wchar_t* extra;
    const wchar_t* expected; // nullptr: refused
};

class ConnectionString : public testing::TestWithParam<connstr_case>
{
};

TEST_P(ConnectionString, IsBuiltOrRefused)
{
    const connstr_case& c = GetParam();
    std::wstring error;
    const std::optional<std::wstring> built =
        build_connection_string(c.driver, c.settings, c.extra, error);
    if (c.expected == nullptr)
    {
        EXPECT_FALSE(built.has_value()) << *built;
        EXPECT_FALSE(error.empty());
        return;
    }
    ASSERT_TRUE(built.has_value()) << std::string(error.begin(), error.end());
    EXPECT_EQ(*built, c.expected);
}

INSTANTIATE_TEST_SUITE_P(
    Drivers, ConnectionString,
    testing::Values(
        connstr_case{"microsoft login",
                     microsoft,
                     {L"db1,1433", L"sa", L"pw", L"sales", false},
                     L"",
                     L"Driver={ODBC Driver 18 for SQL Server};Server={db1,1433};"
                     L"Database={sales};UID={sa};PWD={pw};"},
        connstr_case{"microsoft injection attempt stays one value",
                     microsoft,
                     {L"s", L"u", L"x};Trusted_Connection=yes;{", L"", false},
                     L"",
                     L"Driver={ODBC Driver 18 for SQL Server};Server={s};UID={u};"
                     L"PWD={x}};Trusted_Connection=yes;{};"},
        connstr_case{"microsoft windows authentication ignores the login",
                     microsoft,
                     {L"s", L"u", L"p", L"", true},
                     L"Encrypt=yes;TrustServerCertificate=yes",
                     L"Driver={ODBC Driver 18 for SQL Server};Server={s};Trusted_Connection=yes;"
                     L"Encrypt=yes;TrustServerCertificate=yes;"},
        connstr_case{"freetds splits host and port",
                     freetds,
                     {L"127.0.0.1,14330", L"u", L"a;b=c}", L"d", false},
                     L"",
                     L"Driver={FreeTDS};Server={127.0.0.1};Port={14330};Database={d};UID={u};"
                     L"PWD={a;b=c}};TDS_Version=7.4;ClientCharset=UTF-8;"},
        connstr_case{"freetds named instance",
                     freetds,
                     {L"host\\inst", L"", L"", L"", false},
                     L"",
                     L"Driver={FreeTDS};Server={host\\inst};TDS_Version=7.4;"
                     L"ClientCharset=UTF-8;"},
        connstr_case{"freetds gets the default port it lacks",
                     freetds,
                     {L"db.example.com", L"u", L"p", L"", false},
                     L"",
                     L"Driver={FreeTDS};Server={db.example.com};Port={1433};UID={u};PWD={p};"
                     L"TDS_Version=7.4;ClientCharset=UTF-8;"},
        connstr_case{"freetds empty host is the local server",
                     freetds,
                     {L"", L"u", L"p", L"", false},
                     L"",
                     L"Driver={FreeTDS};Server={localhost};Port={1433};UID={u};PWD={p};"
                     L"TDS_Version=7.4;ClientCharset=UTF-8;"},
        connstr_case{"freetds refuses a brace-semicolon password",
                     freetds,
                     {L"s", L"u", L"x};UID=sa", L"", false},
                     L"",
                     nullptr},
        connstr_case{"nul in a value is refused",
                     microsoft,
                     {L"s", L"u", std::wstring(L"a\0b", 3), L"", false},
                     L"",
                     nullptr},
        connstr_case{"postgresql braces only the password",
                     postgresql,
                     {L"localhost,5433", L"me", L"p w;x=1", L"db", false},
                     L"",
                     L"Driver={PostgreSQL Unicode};Server=localhost;Port=5433;"
                     L"Database=db;UID=me;PWD={p w;x=1};"},
        connstr_case{"postgresql refuses a brace in the password",
                     postgresql,
                     {L"localhost", L"me", L"a}b", L"", false},
                     L"",
                     nullptr},
        connstr_case{"postgresql refuses a semicolon in the user",
                     postgresql,
                     {L"localhost", L"me;PWD=x", L"", L"", false},
                     L"",
                     nullptr},
        connstr_case{"sqlite takes the server as a plain file name",
                     sqlite,
                     {L"/tmp/a b.db", L"u", L"p", L"", false},
                     L"",
                     L"Driver={SQLite3};Database=/tmp/a b.db;"},
        connstr_case{"sqlite refuses a file name it cannot carry",
                     sqlite,
                     {L"/tmp/a;b.db", L"", L"", L"", false},
                     L"",
                     nullptr}),
    [](const testing::TestParamInfo<connstr_case>& param_info)
    {
        std::string name;
        for (const char* c = param_info.param.label; *c != '\0'; ++c)
        {
            name.push_back(std::isalnum(static_cast<unsigned char>(*c)) ? *c : '_');
        }
        return name;
    });

TEST(DriverKind, ComesFromTheLibraryOrTheName)
{
    EXPECT_EQ(kind_of_driver(L"Custom", L"/usr/lib/x86_64-linux-gnu/odbc/libtdsodbc.so"),
              driver_kind::freetds);
    EXPECT_EQ(kind_of_driver(L"ODBC Driver 17 for SQL Server", L""), driver_kind::microsoft);
    EXPECT_EQ(kind_of_driver(L"PostgreSQL Unicode", L"psqlodbcw.so"), driver_kind::postgresql);
    EXPECT_EQ(kind_of_driver(L"SQLite3", L"libsqlite3odbc.so"), driver_kind::sqlite);
    EXPECT_EQ(kind_of_driver(L"Other", L"libother.so"), driver_kind::other);
}

struct init_case
{
    const wchar_t* text;
    connection_settings expected;
};

class InitString : public testing::TestWithParam<init_case>
{
};

TEST_P(InitString, ParsesToTheProperties)
{
    std::wstring error;
    const auto parsed = parse_init_string(GetParam().text, error);
    ASSERT_TRUE(parsed.has_value()) << std::string(error.begin(), error.end());
    EXPECT_EQ(*parsed, GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(
    Forms, InitString,
    testing::Values(
        init_case{L"Provider=sqloledb;Data Source=S;Initial Catalog=D;User Id=U;Password=P;",
                  {L"S", L"U", L"P", L"D", false}},
        init_case{L"Provider=sqloledb;Data Source=S;Integrated Security=SSPI;",
                  {L"S", L"", L"", L"", true}},
        init_case{L"Provider=sqloledb;Data Source=S;User Id=U;Password=;",
                  {L"S", L"U", L"", L"", false}},
        init_case{L"Provider=sqloledb;Data Source=S;User Id=U;"
                  L"Password=\"x;Integrated Security=SSPI\";",
                  {L"S", L"U", L"x;Integrated Security=SSPI", L"", false}},
        init_case{L" data source = S ; PASSWORD='it''s' ", {L"S", L"", L"it's", L"", false}}));

TEST(InitString, MalformedTextIsRefused)
{
    for (const wchar_t* text :
         {L"Provider=sqloledb;Data Source", L"Password=\"open;", L"Password=\"a\"b;"})
    {
        SCOPED_TRACE(std::string(text, text + std::wcslen(text)));
        std::wstring error;
        EXPECT_FALSE(parse_init_string(text, error).has_value());
        EXPECT_FALSE(error.empty());
    }
}

TEST(InitString, QuotedValuesRoundTrip)
{
    for (const wchar_t* value : {L"plain", L"", L"x;Integrated Security=SSPI", L"a=b",
                                 L"say \"hi\"", L"it's", L" padded "})
    {
        SCOPED_TRACE(std::string(value, value + std::wcslen(value)));
        const std::wstring text = L"Data Source=S;Password=" + quote_init_value(value) + L";";
        std::wstring error;
        const auto parsed = parse_init_string(text, error);
        ASSERT_TRUE(parsed.has_value());
        EXPECT_EQ(parsed->password, value);
        EXPECT_EQ(parsed->server, L"S");
        EXPECT_FALSE(parsed->integrated);
    }
    EXPECT_EQ(quote_init_value(L"plain"), L"plain");
    EXPECT_EQ(quote_init_value(L"a;b"), L"\"a;b\"");
    EXPECT_EQ(quote_init_value(L"say \"hi\""), L"\"say \"\"hi\"\"\"");
}

} // namespace
