// agent_sqlserver_check.cpp: the source tables from PostgreSQL's catalog and the destination read
// back from SQL Server, value by value.
#include "agent_sqlserver_check.h"

#include "mss/mss_database.h"
#include "mss/odb_recordset.h"
#include "plat/plat_text.h"
#include "test_support.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <gtest/gtest.h>
#include <limits>
#include <pqxx/pqxx>

namespace agent_test
{

namespace
{

constexpr const char* null_text = "<null>";

/// How a value is compared: its text in a form both servers can give.
enum class value_kind
{
    text,         ///< the text form, exactly
    milliseconds, ///< a timestamp as milliseconds since 1970, within datetime's 1/300 s
    date,         ///< YYYY-MM-DD
    flag,         ///< 1 or 0
    bytes,        ///< lower-case hex
    guid,         ///< lower-case text, as PostgreSQL prints a uuid
    real,         ///< a 4-byte floating number, within its 7 digits
    floating,     ///< an 8-byte floating number, within its 15 digits
    decimal,      ///< money and numeric without a precision: the same number exactly, whatever
                  ///< the scale the destination pads it to
    byte_count    ///< the length of a binary value, where the server cannot give its hex
};

value_kind kind_of(const std::string& type)
{
    if (type == "timestamp with time zone" || type == "timestamp without time zone")
    {
        return value_kind::milliseconds;
    }
    if (type == "date")
    {
        return value_kind::date;
    }
    if (type == "boolean")
    {
        return value_kind::flag;
    }
    if (type == "bytea")
    {
        return value_kind::bytes;
    }
    if (type == "uuid")
    {
        return value_kind::guid;
    }
    if (type == "real")
    {
        return value_kind::real;
    }
    // Money and numeric without a precision arrive in a numeric of the scale their values
    // need; a numeric with one keeps its scale and is compared as text.
    if (type == "money" || type == "numeric without precision")
    {
        return value_kind::decimal;
    }
    if (type == "double precision")
    {
        return value_kind::floating;
    }
    return value_kind::text;
}

std::string source_expression(const std::string& column, value_kind kind)
{
    switch (kind)
    {
    case value_kind::milliseconds:
        return "(extract(epoch from " + column + ") * 1000)::bigint";
    case value_kind::date:
        return "to_char(" + column + ", 'YYYY-MM-DD')";
    case value_kind::flag:
        return "CASE WHEN " + column + " THEN '1' WHEN NOT " + column + " THEN '0' END";
    case value_kind::bytes:
        return "encode(" + column + ", 'hex')";
    case value_kind::real:
    case value_kind::floating:
        return column + "::float8";
    case value_kind::decimal:
        return column + "::numeric::text";
    case value_kind::byte_count:
        return "length(" + column + ")::text";
    case value_kind::guid:
        return column + "::text";
    case value_kind::text:
        break;
    }
    return column;
}

std::string destination_expression(const std::string& column, value_kind kind)
{
    std::string value;
    switch (kind)
    {
    case value_kind::milliseconds:
        // Whole days, then the time of day: DATEDIFF counts in int, and seconds since 1970 pass
        // its range before 1901 and after 2038.
        value = "CAST((CAST(DATEDIFF(day, '19700101', " + column + ") AS bigint) * 86400 + " +
                "DATEPART(hour, " + column + ") * 3600 + DATEPART(minute, " + column +
                ") * 60 + DATEPART(second, " + column + ")) * 1000 + DATEPART(millisecond, " +
                column + ") AS nvarchar(40))";
        break;
    case value_kind::date:
        value = "CONVERT(nvarchar(10), " + column + ", 23)";
        break;
    case value_kind::flag:
        value = "CAST(" + column + " AS nvarchar(1))";
        break;
    case value_kind::bytes:
        value = "LOWER(CONVERT(nvarchar(max), " + column + ", 2))";
        break;
    case value_kind::real:
    case value_kind::floating:
        value = "CONVERT(nvarchar(40), " + column + ", 2)";
        break;
    case value_kind::decimal:
        value = "CAST(" + column + " AS nvarchar(60))";
        break;
    case value_kind::byte_count:
        value = "CAST(DATALENGTH(" + column + ") AS nvarchar(20))";
        break;
    case value_kind::guid:
        // A uniqueidentifier prints in capitals.
        value = "LOWER(CAST(" + column + " AS nvarchar(36)))";
        break;
    case value_kind::text:
        value = "CAST(" + column + " AS nvarchar(max))";
        break;
    }
    return "COALESCE(" + value + ", N'" + null_text + "')";
}

// A decimal's text in one form: no trailing zeros in the fraction, no lone point, a zero before
// it, no sign on zero ("-.50" and "-0.5000" are "-0.5").
std::string plain_decimal(std::string text)
{
    if (text.find('.') != std::string::npos)
    {
        text.erase(text.find_last_not_of('0') + 1);
        if (text.back() == '.')
        {
            text.pop_back();
        }
    }
    const bool negative = !text.empty() && text.front() == '-';
    std::string digits = negative ? text.substr(1) : text;
    if (digits.empty() || digits.front() == '.')
    {
        digits.insert(digits.begin(), '0');
    }
    return (negative && digits != "0" ? "-" : "") + digits;
}

bool values_match(const std::string& source, const std::string& destination, value_kind kind)
{
    if (source == destination)
    {
        return true;
    }
    if (source == null_text || destination == null_text)
    {
        return false;
    }
    switch (kind)
    {
    case value_kind::milliseconds:
        return std::llabs(std::atoll(source.c_str()) - std::atoll(destination.c_str())) <= 3;
    case value_kind::decimal:
        return plain_decimal(source) == plain_decimal(destination);
    case value_kind::real:
    case value_kind::floating:
    {
        const double expected = std::strtod(source.c_str(), nullptr);
        double actual = std::strtod(destination.c_str(), nullptr);
        // Sixteen digits round the largest double up past its range: the text then reads as an
        // infinity, though the value stored is finite.
        if (std::isinf(actual) && !std::isinf(expected))
        {
            actual = std::copysign(std::numeric_limits<double>::max(), actual);
        }
        const double tolerance = kind == value_kind::real ? 1e-6 : 1e-14;
        return std::fabs(expected - actual) <= tolerance * std::fmax(1.0, std::fabs(expected));
    }
    default:
        return false;
    }
}

std::string quoted(const std::string& name)
{
    return "\"" + name + "\"";
}

std::string bracketed(const std::string& name)
{
    return "[" + name + "]";
}

} // namespace

std::optional<mssql_login> mssql_login_from_env()
{
    const std::optional<test_support::mssql_login> login = test_support::mssql_login_from_env();
    if (!login)
    {
        return std::nullopt;
    }
    return mssql_login{plat::wide_to_utf8(login->server), plat::wide_to_utf8(login->user),
                       plat::wide_to_utf8(login->password)};
}

std::optional<conversion_servers> conversion_servers_or_skip()
{
    std::optional<conversion_servers> servers;
    // GTEST_SKIP and FAIL return from the function they are written in: the lambda.
    [&]
    {
        const std::optional<mssql_login> login = mssql_login_from_env();
        if (!login)
        {
            GTEST_SKIP() << "ZOV_TEST_MSSQL is unset (\"server;user;password\"): no SQL Server "
                            "to convert into";
        }
#ifndef ZOV_HAVE_SQL_SERVER_SIDE
        GTEST_SKIP() << "this build has no SQL Server side (ZOV_CONVERTOR_SQL_SERVER_SIDE=OFF)";
#endif
        const std::optional<pgs_test::server_settings> source = pgs_test::server_from_env();
        if (!source)
        {
            FAIL() << "ZOV_TEST_MSSQL is set, but PGHOST is not: the conversion needs the test "
                      "PostgreSQL server too";
        }
        servers = conversion_servers{*login, *source};
    }();
    return servers;
}

std::vector<std::string> dbo_table_names(const std::vector<source_table>& tables)
{
    std::vector<std::string> names;
    for (const source_table& table : tables)
    {
        names.push_back("dbo." + table.name);
    }
    std::sort(names.begin(), names.end());
    return names;
}

std::vector<source_table> read_source_tables(const pgs_test::server_settings& server,
                                             const std::string& database)
{
    pqxx::connection connection(pgs_test::conninfo(server, database));
    pqxx::nontransaction work(connection);
    std::vector<source_table> tables;
    for (const auto& row : work.exec("SELECT c.relname FROM pg_class c JOIN pg_namespace n ON "
                                     "n.oid = c.relnamespace WHERE n.nspname = 'public' AND "
                                     "c.relkind IN ('r', 'p') AND NOT c.relispartition "
                                     "ORDER BY c.relname"))
    {
        source_table table;
        table.name = row[0].as<std::string>();
        const std::string literal = work.quote(table.name);
        for (const auto& column :
             work.exec("SELECT column_name, data_type, numeric_precision FROM "
                       "information_schema.columns WHERE table_schema = 'public' AND "
                       "table_name = " +
                       literal + " ORDER BY ordinal_position"))
        {
            std::string type = column[1].as<std::string>();
            if (type == "numeric" && column[2].is_null())
            {
                type = "numeric without precision";
            }
            table.columns.emplace_back(column[0].as<std::string>(), type);
        }
        for (const auto& key : work.exec(
                 "SELECT a.attname FROM pg_index i JOIN pg_attribute a ON a.attrelid = "
                 "i.indrelid AND a.attnum = ANY(i.indkey) WHERE i.indisprimary AND i.indrelid = "
                 "('public.' || quote_ident(" +
                 literal + "))::regclass ORDER BY array_position(i.indkey, a.attnum)"))
        {
            table.key.push_back(key[0].as<std::string>());
        }
        table.rows =
            work.exec1("SELECT count(*) FROM public." + work.quote_name(table.name))[0].as<long>();
        tables.push_back(std::move(table));
    }
    return tables;
}

destination_reader::destination_reader(mss_engine& engine, const std::string& database)
    : m_engine(engine)
    , m_database(plat::utf8_to_wide_lossy(database))
{
}

std::vector<std::vector<std::string>> destination_reader::query(const std::string& sql)
{
    const std::unique_ptr<mss_database> database =
        m_engine.open_db(m_database, udb_open_mode::append);
    const std::unique_ptr<odb_recordset> rows = database->open_query(plat::utf8_to_wide_lossy(sql));
    std::vector<std::vector<std::string>> result;
    for (rows->reset(); !rows->is_eof(); rows->next())
    {
        std::vector<std::string>& values = result.emplace_back();
        for (const auto& field : *rows->get_item())
        {
            values.push_back(plat::wide_to_utf8(field->to_wstring()));
        }
    }
    return result;
}

std::vector<std::string> destination_reader::tables()
{
    std::vector<std::string> names;
    for (const auto& row : query("SELECT s.name + N'.' + t.name FROM sys.tables t JOIN sys.schemas "
                                 "s ON s.schema_id = t.schema_id ORDER BY t.name"))
    {
        names.push_back(row.at(0));
    }
    return names;
}

bool destination_reader::babelfish()
{
    const std::vector<std::vector<std::string>> version = query("SELECT @@VERSION");
    return version.at(0).at(0).find("Babelfish") != std::string::npos;
}

long destination_reader::row_count(const std::string& table)
{
    return std::stol(query("SELECT COUNT_BIG(*) FROM [dbo]." + bracketed(table)).at(0).at(0));
}

std::vector<std::string> destination_reader::numeric_columns()
{
    std::vector<std::string> columns;
    for (const auto& row :
         query("SELECT t.name + N'.' + c.name + N' ' + TYPE_NAME(c.system_type_id) + N'(' + "
               "CAST(c.precision AS nvarchar(3)) + N',' + CAST(c.scale AS nvarchar(3)) + N')' "
               "FROM sys.columns c JOIN sys.tables t ON t.object_id = c.object_id WHERE "
               "TYPE_NAME(c.system_type_id) IN (N'numeric', N'decimal', N'float', N'money') "
               "ORDER BY t.name, c.column_id"))
    {
        columns.push_back(row.at(0));
    }
    return columns;
}

long destination_reader::index_count()
{
    return std::stol(query("SELECT COUNT_BIG(*) FROM sys.indexes i JOIN sys.tables t ON "
                           "t.object_id = i.object_id WHERE i.type > 0")
                         .at(0)
                         .at(0));
}

void destination_reader::expect_values_equal(const pgs_test::server_settings& server,
                                             const std::string& source, const source_table& table,
                                             const std::string& source_filter)
{
    std::string source_sql = "SELECT ";
    std::string destination_sql = "SELECT ";
    std::vector<value_kind> kinds;
    // Babelfish ignores CONVERT's binary styles and answers the raw bytes as text: there only
    // the length of a binary value can be compared.
    const bool bytes_as_length = babelfish();
    for (const auto& [column, type] : table.columns)
    {
        value_kind kind = kind_of(type);
        if (kind == value_kind::bytes && bytes_as_length)
        {
            kind = value_kind::byte_count;
        }
        kinds.push_back(kind);
        const std::string separator = kinds.size() > 1 ? ", " : "";
        source_sql += separator + source_expression(quoted(column), kind);
        destination_sql += separator + destination_expression(bracketed(column), kind);
    }
    std::string source_order;
    std::string destination_order;
    for (const std::string& column : table.key)
    {
        source_order += (source_order.empty() ? " ORDER BY " : ", ") + quoted(column);
        destination_order += (destination_order.empty() ? " ORDER BY " : ", ") + bracketed(column);
    }
    source_sql += " FROM public." + quoted(table.name) +
                  (source_filter.empty() ? "" : " WHERE " + source_filter) + source_order;
    destination_sql += " FROM [dbo]." + bracketed(table.name) + destination_order;

    pqxx::connection connection(pgs_test::conninfo(server, source));
    pqxx::nontransaction work(connection);
    const pqxx::result expected = work.exec(source_sql);
    const std::vector<std::vector<std::string>> actual = query(destination_sql);
    ASSERT_EQ(actual.size(), expected.size()) << table.name;
    int reported = 0;
    for (std::size_t row = 0; row < actual.size() && reported < 5; ++row)
    {
        for (std::size_t column = 0; column < kinds.size(); ++column)
        {
            const pqxx::field field = expected[static_cast<int>(row)][static_cast<int>(column)];
            const std::string source_value = field.is_null() ? null_text : field.as<std::string>();
            if (!values_match(source_value, actual[row].at(column), kinds[column]))
            {
                // A megabyte value would bury the report: its start tells enough.
                ADD_FAILURE() << table.name << " row " << row + 1 << " column "
                              << table.columns[column].first << ": source "
                              << source_value.substr(0, 120) << ", destination "
                              << actual[row].at(column).substr(0, 120);
                ++reported;
            }
        }
    }
}

} // namespace agent_test
