// test_support.cpp: temporary directories and file helpers shared by the test suites.
#include "test_support.h"

#include "plat/plat_text.h"

#include <cstdlib>
#include <fstream>
#include <gtest/gtest.h>
#include <sstream>
#include <stdexcept>

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
    return mssql_login{text.substr(0, first), text.substr(first + 1, second - first - 1),
                       text.substr(second + 1)};
}

bool is_concurrent_catalog_refusal(const std::string& text)
{
    return text.find("tuple concurrently updated") != std::string::npos;
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
