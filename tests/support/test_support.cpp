// test_support.cpp: temporary directories and file helpers shared by the test suites.
#include "test_support.h"

#include "plat/plat_text.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <sstream>
#include <stdexcept>
#include <sys/file.h>
#include <unistd.h>

namespace test_support
{

SYSTEMTIME system_time(int year, int month, int day, int hour, int minute, int second,
                       int milliseconds)
{
    SYSTEMTIME time{};
    time.wYear = static_cast<std::uint16_t>(year);
    time.wMonth = static_cast<std::uint16_t>(month);
    time.wDay = static_cast<std::uint16_t>(day);
    time.wHour = static_cast<std::uint16_t>(hour);
    time.wMinute = static_cast<std::uint16_t>(minute);
    time.wSecond = static_cast<std::uint16_t>(second);
    time.wMilliseconds = static_cast<std::uint16_t>(milliseconds);
    return time;
}

temp_dir::temp_dir()
{
    std::string pattern = (std::filesystem::temp_directory_path() / "zov-test-XXXXXX").string();
    if (::mkdtemp(pattern.data()) == nullptr)
    {
        throw std::runtime_error("mkdtemp failed for " + pattern);
    }
    m_path = pattern;
}

temp_dir::~temp_dir()
{
    std::error_code ignored;
    std::filesystem::remove_all(m_path, ignored);
}

std::string temp_dir::file(const std::string& name) const
{
    return (m_path / name).string();
}

std::string read_file(const std::filesystem::path& path)
{
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

void write_file(const std::filesystem::path& path, const std::string& bytes)
{
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out << bytes;
}

scoped_env::scoped_env(const char* name, const std::string& value)
    : m_name(name)
{
    if (const char* old = std::getenv(name))
    {
        m_had_value = true;
        m_old_value = old;
    }
    ::setenv(name, value.c_str(), 1);
}

scoped_env::~scoped_env()
{
    if (m_had_value)
    {
        ::setenv(m_name.c_str(), m_old_value.c_str(), 1);
    }
    else
    {
        ::unsetenv(m_name.c_str());
    }
}

bool pg_server_or_skip(const std::string& missing)
{
    const char* host = std::getenv("PGHOST");
    if (host != nullptr && *host != '\0')
    {
        return true;
    }
    const char* required = std::getenv("ZOV_REQUIRE_PG");
    // FAIL and GTEST_SKIP return from the function they are written in: the lambda.
    [&]
    {
        if (required != nullptr && std::string(required) == "1")
        {
            FAIL() << "PGHOST is not set, but ZOV_REQUIRE_PG=1 requires the PostgreSQL server";
        }
        GTEST_SKIP() << "PGHOST is not set: " << missing;
    }();
    return false;
}

namespace
{

// Fails the running test unless CTest runs it under the SQL Server lock (its full name holds
// "SqlServer").
void expect_sql_server_test_name()
{
    const testing::TestInfo* test = testing::UnitTest::GetInstance()->current_test_info();
    if (test == nullptr)
    {
        return;
    }
    const std::string name = std::string(test->test_suite_name()) + "." + test->name();
    if (name.find("SqlServer") == std::string::npos)
    {
        ADD_FAILURE() << name << " uses the SQL Server of ZOV_TEST_MSSQL: put \"SqlServer\" in its "
                      << "name, so that CTest runs it alone under the lock zov_sql_server";
    }
}

// The file lock that keeps the SQL Server tests of two test runs apart; the descriptor stays open
// until the process ends, which releases it.
void lock_sql_server_for_this_process()
{
    static const int descriptor = []
    {
        const std::filesystem::path path =
            std::filesystem::temp_directory_path() / "zov-test-sql-server.lock";
        const int fd = ::open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0666);
        if (fd < 0)
        {
            throw std::runtime_error("cannot open " + path.string() + ": " + std::strerror(errno));
        }
        while (::flock(fd, LOCK_EX) != 0)
        {
            if (errno != EINTR)
            {
                throw std::runtime_error("cannot lock " + path.string() + ": " +
                                         std::strerror(errno));
            }
        }
        return fd;
    }();
    (void)descriptor;
}

} // namespace

std::optional<mssql_login> mssql_login_from_env()
{
    const char* value = std::getenv("ZOV_TEST_MSSQL");
    if (value == nullptr)
    {
        return std::nullopt;
    }
    const std::wstring text = plat::utf8_to_wide_lossy(value);
    const auto first = text.find(L';');
    const auto second = first == std::wstring::npos ? first : text.find(L';', first + 1);
    if (second == std::wstring::npos)
    {
        return std::nullopt;
    }
    expect_sql_server_test_name();
    lock_sql_server_for_this_process();
    return mssql_login{text.substr(0, first), text.substr(first + 1, second - first - 1),
                       text.substr(second + 1)};
}

} // namespace test_support

// libpqxx 6.4 leaves the error result of a connection that broke under it unreleased (inside
// the library, whatever its caller does): the tests that break the PostgreSQL connection on
// purpose would otherwise fail on that leak alone.
extern "C" const char* __lsan_default_suppressions();
extern "C" const char* __lsan_default_suppressions()
{
    return "leak:libpqxx-6.4.so\n";
}
