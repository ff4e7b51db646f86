// bench_odbc.cpp: the bare FreeTDS connection and the driver's own bcp calls (its odbcss.h).
#include "bench_odbc.h"

#include <array>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <sqlext.h>
// After sqlext.h: the driver's bcp calls, inline functions over connection attributes.
#define TDSODBC_BCP
#include <odbcss.h>
#include <stdexcept>
#include <vector>

namespace bench
{
namespace
{

constexpr int prefix_bytes = 8;
constexpr long batch_rows = 1000;

// Host types (TDS codes) in the forms the program's loader hands the driver.
constexpr int host_int4 = 56;
constexpr int host_int8 = 127;
constexpr int host_bit = 50;
constexpr int host_guid = 36;
constexpr int host_decimal = 106;
constexpr int host_datetime2 = 42;
constexpr int host_char = 47;

struct handle_deleter
{
    SQLSMALLINT type;
    void operator()(void* handle) const { SQLFreeHandle(type, handle); }
};
using handle_ptr = std::unique_ptr<void, handle_deleter>;

std::string diagnostics(SQLSMALLINT type, SQLHANDLE handle)
{
    std::string text;
    std::array<SQLCHAR, 6> state{};
    std::array<SQLCHAR, 1024> message{};
    SQLINTEGER native = 0;
    SQLSMALLINT length = 0;
    for (SQLSMALLINT record = 1;
         SQL_SUCCEEDED(SQLGetDiagRecA(type, handle, record, state.data(), &native, message.data(),
                                      static_cast<SQLSMALLINT>(message.size()), &length));
         ++record)
    {
        text += std::string(reinterpret_cast<const char*>(state.data())) + ": " +
                reinterpret_cast<const char*>(message.data()) + "\n";
    }
    return text.empty() ? "no diagnostics\n" : text;
}

void check(SQLRETURN rc, SQLSMALLINT type, SQLHANDLE handle, const std::string& what)
{
    if (!SQL_SUCCEEDED(rc))
    {
        throw std::runtime_error(what + " failed: " + diagnostics(type, handle));
    }
}

// The value slot behind the 8-byte length of one bound column.
template <class T>
void put(std::vector<std::uint8_t>& block, const T& value)
{
    const std::int64_t length = sizeof value;
    std::memcpy(block.data(), &length, sizeof length);
    std::memcpy(block.data() + prefix_bytes, &value, sizeof value);
}

void put_text(std::vector<std::uint8_t>& block, const char* text, std::size_t size)
{
    const auto length = static_cast<std::int64_t>(size);
    std::memcpy(block.data(), &length, sizeof length);
    std::memcpy(block.data() + prefix_bytes, text, size);
}

} // namespace

mssql_login parse_mssql_login(const std::string& text)
{
    const std::size_t first = text.find(';');
    const std::size_t second = first == std::string::npos ? first : text.find(';', first + 1);
    if (second == std::string::npos)
    {
        throw std::runtime_error("ZOV_TEST_MSSQL must read server;user;password");
    }
    mssql_login login;
    const std::string server = text.substr(0, first);
    const std::size_t comma = server.find(',');
    login.host = server.substr(0, comma);
    if (comma != std::string::npos)
    {
        login.port = server.substr(comma + 1);
    }
    login.user = text.substr(first + 1, second - first - 1);
    login.password = text.substr(second + 1);
    return login;
}

struct odbc_connection::handles
{
    handle_ptr environment{nullptr, {SQL_HANDLE_ENV}};
    handle_ptr connection{nullptr, {SQL_HANDLE_DBC}};
};

odbc_connection::odbc_connection(const mssql_login& login, const std::string& database,
                                 bool bulk_copy)
    : m_handles(std::make_unique<handles>())
{
    SQLHANDLE handle = nullptr;
    check(SQLAllocHandle(SQL_HANDLE_ENV, SQL_NULL_HANDLE, &handle), SQL_HANDLE_ENV, nullptr,
          "SQLAllocHandle");
    m_handles->environment.reset(handle);
    check(
        SQLSetEnvAttr(handle, SQL_ATTR_ODBC_VERSION, reinterpret_cast<SQLPOINTER>(SQL_OV_ODBC3), 0),
        SQL_HANDLE_ENV, handle, "SQLSetEnvAttr");
    SQLHANDLE connection = nullptr;
    check(SQLAllocHandle(SQL_HANDLE_DBC, handle, &connection), SQL_HANDLE_ENV, handle,
          "SQLAllocHandle");
    m_handles->connection.reset(connection);
    if (bulk_copy)
    {
        check(SQLSetConnectAttr(connection, SQL_COPT_SS_BCP,
                                reinterpret_cast<SQLPOINTER>(SQL_BCP_ON), SQL_IS_INTEGER),
              SQL_HANDLE_DBC, connection, "SQL_COPT_SS_BCP");
    }
    std::string text = "DRIVER={FreeTDS};Server=" + login.host + ";Port=" + login.port +
                       ";UID=" + login.user + ";PWD={" + login.password +
                       "};TDS_Version=7.4;ClientCharset=UTF-8;";
    if (!database.empty())
    {
        text += "Database=" + database + ";";
    }
    std::vector<SQLCHAR> in(text.begin(), text.end());
    in.push_back(0);
    check(SQLDriverConnectA(connection, nullptr, in.data(), SQL_NTS, nullptr, 0, nullptr,
                            SQL_DRIVER_NOPROMPT),
          SQL_HANDLE_DBC, connection, "SQLDriverConnect");
}

odbc_connection::~odbc_connection()
{
    if (m_handles->connection)
    {
        SQLDisconnect(m_handles->connection.get());
    }
}

SQLHDBC odbc_connection::handle() const
{
    return m_handles->connection.get();
}

void odbc_connection::exec(const std::string& sql)
{
    SQLHANDLE statement = nullptr;
    check(SQLAllocHandle(SQL_HANDLE_STMT, handle(), &statement), SQL_HANDLE_DBC, handle(),
          "SQLAllocHandle");
    const handle_ptr owner(statement, {SQL_HANDLE_STMT});
    std::vector<SQLCHAR> text(sql.begin(), sql.end());
    text.push_back(0);
    const SQLRETURN rc = SQLExecDirectA(statement, text.data(), SQL_NTS);
    if (rc != SQL_NO_DATA)
    {
        check(rc, SQL_HANDLE_STMT, statement, sql);
    }
}

// The statement of `sql` on its first row.
handle_ptr first_row(SQLHDBC connection, const std::string& sql)
{
    SQLHANDLE statement = nullptr;
    check(SQLAllocHandle(SQL_HANDLE_STMT, connection, &statement), SQL_HANDLE_DBC, connection,
          "SQLAllocHandle");
    handle_ptr owner(statement, {SQL_HANDLE_STMT});
    std::vector<SQLCHAR> text(sql.begin(), sql.end());
    text.push_back(0);
    check(SQLExecDirectA(statement, text.data(), SQL_NTS), SQL_HANDLE_STMT, statement, sql);
    check(SQLFetch(statement), SQL_HANDLE_STMT, statement, "SQLFetch");
    return owner;
}

long long odbc_connection::scalar(const std::string& sql)
{
    const handle_ptr statement = first_row(handle(), sql);
    SQLBIGINT value = 0;
    SQLLEN indicator = 0;
    check(SQLGetData(statement.get(), 1, SQL_C_SBIGINT, &value, sizeof value, &indicator),
          SQL_HANDLE_STMT, statement.get(), "SQLGetData");
    return indicator == SQL_NULL_DATA ? 0 : value;
}

std::string odbc_connection::text(const std::string& sql)
{
    const handle_ptr statement = first_row(handle(), sql);
    std::array<char, 4096> value{};
    SQLLEN indicator = 0;
    check(SQLGetData(statement.get(), 1, SQL_C_CHAR, value.data(), value.size(), &indicator),
          SQL_HANDLE_STMT, statement.get(), "SQLGetData");
    return indicator == SQL_NULL_DATA ? std::string() : std::string(value.data());
}

namespace
{

constexpr std::time_t epoch_2020 = 1577836800;

double seconds_since(std::chrono::steady_clock::time_point start)
{
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

// Row n of the benchmark in the bound blocks: each value in its native C form, or as UTF-8 text
// where the destination column is a text column.
void fill_row(long n, std::vector<std::vector<std::uint8_t>>& blocks,
              const std::array<bool, column_count>& as_text)
{
    std::array<char, 64> text{};
    const auto put_formatted = [&](std::size_t column_idx, int size)
    { put_text(blocks[column_idx], text.data(), static_cast<std::size_t>(size)); };

    if (as_text[0])
    {
        put_formatted(0, std::snprintf(text.data(), text.size(), "%ld", n));
    }
    else
    {
        put(blocks[0], static_cast<std::int64_t>(n));
    }
    const auto qty = static_cast<std::int32_t>((n * 7) % 1000003);
    if (as_text[1])
    {
        put_formatted(1, std::snprintf(text.data(), text.size(), "%d", qty));
    }
    else
    {
        put(blocks[1], qty);
    }
    const auto unscaled = static_cast<std::uint32_t>(n % 10000000);
    if (as_text[2])
    {
        put_formatted(
            2, std::snprintf(text.data(), text.size(), "%u.%02u", unscaled / 100, unscaled % 100));
    }
    else
    {
        SQL_NUMERIC_STRUCT amount{};
        amount.precision = 12;
        amount.scale = 2;
        amount.sign = 1;
        std::memcpy(amount.val, &unscaled, sizeof unscaled);
        put(blocks[2], amount);
    }
    put_formatted(3, std::snprintf(text.data(), text.size(), "label number %ld", n));

    const std::time_t seconds = epoch_2020 + n * 3 / 2;
    std::tm parts{};
    gmtime_r(&seconds, &parts);
    const int milliseconds = n % 2 == 1 ? 500 : 0;
    if (as_text[4])
    {
        put_formatted(4,
                      std::snprintf(text.data(), text.size(), "%04d-%02d-%02d %02d:%02d:%02d.%03d",
                                    parts.tm_year + 1900, parts.tm_mon + 1, parts.tm_mday,
                                    parts.tm_hour, parts.tm_min, parts.tm_sec, milliseconds));
    }
    else
    {
        const SQL_TIMESTAMP_STRUCT stamp{static_cast<SQLSMALLINT>(parts.tm_year + 1900),
                                         static_cast<SQLUSMALLINT>(parts.tm_mon + 1),
                                         static_cast<SQLUSMALLINT>(parts.tm_mday),
                                         static_cast<SQLUSMALLINT>(parts.tm_hour),
                                         static_cast<SQLUSMALLINT>(parts.tm_min),
                                         static_cast<SQLUSMALLINT>(parts.tm_sec),
                                         static_cast<SQLUINTEGER>(milliseconds) * 1000000u};
        put(blocks[4], stamp);
    }
    const bool flag = n % 2 == 0;
    if (as_text[5])
    {
        put_formatted(5, std::snprintf(text.data(), text.size(), "%d", flag ? 1 : 0));
    }
    else
    {
        put(blocks[5], static_cast<std::uint8_t>(flag ? 1 : 0));
    }
    const auto tail = static_cast<unsigned long long>(n) * 7919u;
    if (as_text[6])
    {
        put_formatted(6, std::snprintf(text.data(), text.size(), "%08lx-0000-4000-8000-%012llx",
                                       static_cast<unsigned long>(n), tail));
    }
    else
    {
        SQLGUID token{};
        token.Data1 = static_cast<std::uint32_t>(n);
        token.Data3 = 0x4000;
        token.Data4[0] = 0x80;
        for (int byte_idx = 0; byte_idx < 6; ++byte_idx)
        {
            token.Data4[2 + byte_idx] = static_cast<unsigned char>(tail >> (8 * (5 - byte_idx)));
        }
        put(blocks[6], token);
    }
}

} // namespace

bulk_copy_result bulk_copy_generated_rows(odbc_connection& connection, const std::string& table,
                                          long rows, const std::array<bool, column_count>& as_text)
{
    SQLHDBC dbc = connection.handle();
    const auto check_bcp = [dbc](bool ok, const char* what)
    {
        if (!ok)
        {
            throw std::runtime_error(std::string(what) +
                                     " failed: " + diagnostics(SQL_HANDLE_DBC, dbc));
        }
    };

    // id, qty, amount, label, stamp, flag, token
    const std::array<int, column_count> native_types{
        host_int8, host_int4, host_decimal, host_char, host_datetime2, host_bit, host_guid};
    std::vector<std::vector<std::uint8_t>> blocks(column_count,
                                                  std::vector<std::uint8_t>(prefix_bytes + 64, 0));

    const auto start = std::chrono::steady_clock::now();
    check_bcp(bcp_initA(dbc, table.c_str(), nullptr, nullptr, BCP_DIRECTION_IN) == SUCCEED,
              "bcp_init");
    for (std::size_t column_idx = 0; column_idx < column_count; ++column_idx)
    {
        const int host_type = as_text[column_idx] ? host_char : native_types[column_idx];
        check_bcp(bcp_bind(dbc, blocks[column_idx].data(), prefix_bytes, SQL_VARLEN_DATA, nullptr,
                           0, host_type, static_cast<int>(column_idx + 1)) == SUCCEED,
                  "bcp_bind");
    }
    long committed = 0;
    double batch_seconds = 0;
    for (long n = 1; n <= rows; ++n)
    {
        fill_row(n, blocks, as_text);
        check_bcp(bcp_sendrow(dbc) == SUCCEED, "bcp_sendrow");
        if (n % batch_rows == 0)
        {
            const auto batch_start = std::chrono::steady_clock::now();
            const int batch = bcp_batch(dbc);
            batch_seconds += seconds_since(batch_start);
            check_bcp(batch >= 0, "bcp_batch");
            committed += batch;
        }
    }
    const auto done_start = std::chrono::steady_clock::now();
    const int last = bcp_done(dbc);
    batch_seconds += seconds_since(done_start);
    check_bcp(last >= 0, "bcp_done");
    committed += last;
    return {committed, seconds_since(start), batch_seconds};
}

} // namespace bench
