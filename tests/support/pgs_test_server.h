// pgs_test_server.h: the test PostgreSQL server: its settings, throwaway databases, fixtures.
#pragma once

#include "pgs/pgs_database.h"
#include "pgs/pgs_engine.h"
#include "tk/tk_logger.h"

#include <filesystem>
#include <gtest/gtest.h>
#include <memory>
#include <optional>
#include <string>

namespace pgs_test
{

/// Where the test server listens, from libpq's own variables.
struct server_settings
{
    std::string host;
    std::string user;
    std::string password;
    int port = 0;
};

/// The settings from PGHOST, PGPORT, PGUSER and PGPASSWORD; nothing when PGHOST is unset.
std::optional<server_settings> server_from_env();

/// A name no other test process uses at the same time: prefix, process id, counter, random.
std::string unique_name(const std::string& prefix);

/// A libpq connection string for the test server and `database`; the client speaks UTF-8,
/// whatever the database's encoding.
std::string conninfo(const server_settings& settings, const std::string& database);

/// A path under tests/fixtures of the source tree (found through ZOV_TEST_SOURCE_DIR).
std::filesystem::path fixture_path(const std::string& file_name);

/// The sample database shipped beside the source tree (../shared/data/pagila).
std::filesystem::path pagila_dir();

/// A database with a unique name, created on construction and dropped on destruction, so test
/// processes running side by side never meet.
class scratch_database
{
public:
    /// The name starts with `prefix` (which may hold capitals). An `encoding` other than UTF8
    /// comes with the C locale, which goes with every encoding.
    explicit scratch_database(const server_settings& settings,
                              const std::string& prefix = "zov_test",
                              const std::string& encoding = "UTF8");
    ~scratch_database();
    scratch_database(const scratch_database&) = delete;
    scratch_database& operator=(const scratch_database&) = delete;

    const std::string& name() const { return m_name; }
    /// Runs SQL text (any number of statements) and the COPY ... FROM stdin blocks of a dump.
    void load_sql(const std::string& sql);
    void load_file(const std::filesystem::path& path);
    void execute(const std::string& sql);

private:
    server_settings m_settings;
    std::string m_name;
};

/// A test against the server: skips with the reason when there is none, fails instead under
/// ZOV_REQUIRE_PG=1. Builds a logger (disabled), an engine, and a scratch database.
class server_test : public ::testing::Test
{
protected:
    void SetUp() override;
    void TearDown() override;

    /// Connects the engine to the scratch database.
    void connect_engine();
    /// Loads a fixture of tests/fixtures into the scratch database, connects the engine and
    /// opens the database for `schema` (every schema when empty).
    std::unique_ptr<pgs_database> open_fixture(const std::string& fixture,
                                               const std::wstring& schema = L"");

    server_settings m_settings;
    std::unique_ptr<tk_logger> m_logger;
    std::unique_ptr<pgs_engine> m_engine;
    std::unique_ptr<scratch_database> m_database;
};

} // namespace pgs_test
