// bench_odbc.h: a bare FreeTDS ODBC connection for the load benchmark, and the driver's own bulk
// copy of generated rows through it, with nothing of the program's between them.
#pragma once

#include <array>
#include <memory>
#include <sql.h>
#include <string>

namespace bench
{

/// Where the TDS server is and how to log in (ZOV_TEST_MSSQL: "host[,port];user;password").
struct mssql_login
{
    std::string host;
    std::string port = "1433";
    std::string user;
    std::string password;
};

/// Splits ZOV_TEST_MSSQL; throws std::runtime_error when it has no three parts.
mssql_login parse_mssql_login(const std::string& text);

/// One FreeTDS connection (TDS 7.4, UTF-8 client text, as the program connects). Throws
/// std::runtime_error with the driver's diagnostics on any failed call.
class odbc_connection
{
public:
    /// `bulk_copy` asks the driver for its bulk-copy extension before connecting.
    odbc_connection(const mssql_login& login, const std::string& database, bool bulk_copy);
    ~odbc_connection();
    odbc_connection(const odbc_connection&) = delete;
    odbc_connection& operator=(const odbc_connection&) = delete;

    void exec(const std::string& sql);
    /// The first column of the first row as a number.
    long long scalar(const std::string& sql);
    /// The first column of the first row as text.
    std::string text(const std::string& sql);
    SQLHDBC handle() const;

private:
    struct handles;
    std::unique_ptr<handles> m_handles;
};

/// What the bulk copy of the generated rows took.
struct bulk_copy_result
{
    long rows = 0;
    double seconds = 0;
    /// Of `seconds`, the time spent waiting in bcp_batch and bcp_done for the server's commit.
    double batch_seconds = 0;
};

/// Columns of the benchmark's rows: id, qty, amount, label, stamp, flag, token.
constexpr std::size_t column_count = 7;

/// The rows 1..`rows` of the benchmark's shape (the same values the PostgreSQL side generates),
/// written from bound buffers into `table` by the driver's bcp calls, committed every 1000 rows;
/// each value in its native C form, or as UTF-8 text where `as_text` says the column is a text
/// column. The clock runs from bcp_init to bcp_done. Throws std::runtime_error on a failure.
bulk_copy_result bulk_copy_generated_rows(odbc_connection& connection, const std::string& table,
                                          long rows, const std::array<bool, column_count>& as_text);

} // namespace bench
