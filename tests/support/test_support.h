// test_support.h: temporary directories and file helpers shared by the test suites.
#pragma once

#include "plat/plat_date.h"

#include <filesystem>
#include <optional>
#include <string>

namespace test_support
{

/// A fresh directory under the system temp directory, removed with everything in it on destruction.
class temp_dir
{
public:
    temp_dir();
    ~temp_dir();
    temp_dir(const temp_dir&) = delete;
    temp_dir& operator=(const temp_dir&) = delete;

    const std::filesystem::path& path() const { return m_path; }
    /// The path of a file named `name` inside the directory, as a UTF-8 string.
    std::string file(const std::string& name) const;

private:
    std::filesystem::path m_path;
};

/// The calendar fields of a date and time; the day of the week is left zero.
SYSTEMTIME system_time(int year, int month, int day, int hour = 0, int minute = 0, int second = 0,
                       int milliseconds = 0);

/// The whole content of a file as bytes; empty when it cannot be read.
std::string read_file(const std::filesystem::path& path);

/// Writes bytes to a file, replacing it.
void write_file(const std::filesystem::path& path, const std::string& bytes);

/// Sets an environment variable for the lifetime of the object and restores it afterwards.
class scoped_env
{
public:
    scoped_env(const char* name, const std::string& value);
    ~scoped_env();
    scoped_env(const scoped_env&) = delete;
    scoped_env& operator=(const scoped_env&) = delete;

private:
    std::string m_name;
    bool m_had_value = false;
    std::string m_old_value;
};

/// The SQL Server login that ZOV_TEST_MSSQL names as "server;user;password" (the server may be
/// "host,port"); nothing when the variable is unset or malformed.
///
/// Tests that use that server create, drop and convert into databases on it, and a server may
/// refuse a CREATE DATABASE while another session creates one (the TDS test server does; SQL
/// Server queues it). So such tests run one at a time: CTest gives every test with "SqlServer" in
/// its full name the lock zov_sql_server, and this call fails a test named otherwise. Two test
/// runs on one machine share the server too: the first call also takes a file lock in the
/// temporary directory and holds it until the test process ends.
struct mssql_login
{
    std::wstring server;
    std::wstring user;
    std::wstring password;
};
std::optional<mssql_login> mssql_login_from_env();

/// For a test that needs the PostgreSQL test server: true when PGHOST is set. Otherwise the
/// test is skipped with "PGHOST is not set: " + `missing`, or fails under ZOV_REQUIRE_PG=1 (a run
/// that must not pass without the server), and the caller returns.
bool pg_server_or_skip(const std::string& missing = "no PostgreSQL server to test against");

} // namespace test_support
