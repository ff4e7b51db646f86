// agent_sqlserver_check.h: reading a converted database back from SQL Server and comparing its
// tables, row counts and values with the PostgreSQL source.
#pragma once

#include "mss/mss_engine.h"
#include "pgs_test_server.h"

#include <map>
#include <optional>
#include <string>
#include <vector>

namespace agent_test
{

/// test_support::mssql_login_from_env in UTF-8, the form of the agent's options.
struct mssql_login
{
    std::string server;
    std::string user;
    std::string password;
};
std::optional<mssql_login> mssql_login_from_env();

/// The two servers of a test that converts from PostgreSQL into SQL Server.
struct conversion_servers
{
    mssql_login login;
    pgs_test::server_settings source;
};
/// Both servers, or nothing after the test was skipped (ZOV_TEST_MSSQL unset, or a build
/// without the converter's SQL Server side) or failed (ZOV_TEST_MSSQL set but PGHOST not:
/// asked for the SQL Server test, a missing source is a failure, never a skip). The caller
/// returns when it answers nothing.
std::optional<conversion_servers> conversion_servers_or_skip();

/// A source table of the public schema, its columns in order and its key columns.
struct source_table
{
    std::string name;
    std::vector<std::pair<std::string, std::string>> columns; ///< name, information_schema type
    std::vector<std::string> key;
    long rows = 0;
};

/// The tables of the public schema of `database` (partitions counted in their parent).
std::vector<source_table> read_source_tables(const pgs_test::server_settings& server,
                                             const std::string& database);

/// The destination names of `tables` ("dbo.<name>", public becomes dbo), sorted, to compare
/// with a sorted destination_reader::tables().
std::vector<std::string> dbo_table_names(const std::vector<source_table>& tables);

/// Reads the destination database `database` through `engine` (connected).
class destination_reader
{
public:
    destination_reader(mss_engine& engine, const std::string& database);

    /// The tables of the destination, as "schema.table".
    std::vector<std::string> tables();
    /// Whether the server is Babelfish (a TDS front of PostgreSQL), not SQL Server.
    bool babelfish();
    /// The rows of [dbo].[table].
    long row_count(const std::string& table);
    /// The indexes (primary keys included) of the user tables.
    long index_count();
    /// Every numeric column of the user tables as "table.column numeric(p,s)", by table name
    /// and column order.
    std::vector<std::string> numeric_columns();
    /// Adds a failure for every value of [dbo].[table] that differs from the source: equal, or
    /// within the destination type's precision where the mapping narrows (timestamps to
    /// milliseconds of datetime, real and floating numbers). `source_filter`, when given, is a
    /// condition on the source rows that are expected (the others must not have arrived).
    void expect_values_equal(const pgs_test::server_settings& server, const std::string& source,
                             const source_table& table, const std::string& source_filter = "");

    /// The rows of a query on the destination, each value as its text.
    std::vector<std::vector<std::string>> query(const std::string& sql);

private:
    mss_engine& m_engine;
    std::wstring m_database;
};

} // namespace agent_test
