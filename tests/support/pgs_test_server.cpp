// pgs_test_server.cpp: throwaway databases on the test server and the loading of SQL fixtures.
#include "pgs_test_server.h"

#include "test_support.h"

#include <atomic>
#include <cstdlib>
#include <pqxx/connection>
#include <pqxx/nontransaction>
#include <pqxx/tablewriter>
#include <random>
#include <sstream>
#include <stdexcept>
#include <unistd.h>

namespace pgs_test
{

namespace
{

std::string env_text(const char* name)
{
    const char* value = std::getenv(name);
    return value != nullptr ? value : "";
}

} // namespace

std::string conninfo(const server_settings& settings, const std::string& database)
{
    return "host=" + pgs_conninfo_value(settings.host) + " port=" + std::to_string(settings.port) +
           " user=" + pgs_conninfo_value(settings.user) +
           " password=" + pgs_conninfo_value(settings.password) +
           " dbname=" + pgs_conninfo_value(database) + " client_encoding=UTF8";
}

std::string unique_name(const std::string& prefix)
{
    static std::atomic<int> counter{0};
    std::random_device random;
    std::ostringstream name;
    name << prefix << '_' << ::getpid() << '_' << counter++ << '_' << std::hex << random();
    return name.str();
}

namespace
{

// A dump's "COPY table (columns) FROM stdin;" line: the table and columns part.
bool copy_target(const std::string& line, std::string& target)
{
    static const std::string head = "COPY ";
    static const std::string tail = " FROM stdin;";
    if (line.rfind(head, 0) != 0 || line.size() < head.size() + tail.size() ||
        line.compare(line.size() - tail.size(), tail.size(), tail) != 0)
    {
        return false;
    }
    target = line.substr(head.size(), line.size() - head.size() - tail.size());
    return true;
}

} // namespace

std::optional<server_settings> server_from_env()
{
    server_settings settings;
    settings.host = env_text("PGHOST");
    if (settings.host.empty())
    {
        return std::nullopt;
    }
    settings.user = env_text("PGUSER");
    settings.password = env_text("PGPASSWORD");
    const std::string port = env_text("PGPORT");
    settings.port = port.empty() ? 5432 : std::stoi(port);
    return settings;
}

std::filesystem::path fixture_path(const std::string& file_name)
{
    return std::filesystem::path(env_text("ZOV_TEST_SOURCE_DIR")) / "tests" / "fixtures" /
           file_name;
}

std::filesystem::path pagila_dir()
{
    return std::filesystem::path(env_text("ZOV_TEST_SOURCE_DIR")) / ".." / "shared" / "data" /
           "pagila";
}

scratch_database::scratch_database(const server_settings& settings, const std::string& prefix,
                                   const std::string& encoding)
    : m_settings(settings)
    , m_name(unique_name(prefix))
{
    pqxx::connection admin(conninfo(m_settings, "postgres"));
    pqxx::nontransaction work(admin);
    work.exec("CREATE DATABASE " + work.quote_name(m_name) + " ENCODING " + work.quote(encoding) +
              (encoding == "UTF8" ? "" : " LC_COLLATE 'C' LC_CTYPE 'C'") + " TEMPLATE template0");
}

scratch_database::~scratch_database()
{
    try
    {
        pqxx::connection admin(conninfo(m_settings, "postgres"));
        pqxx::nontransaction work(admin);
        work.exec("DROP DATABASE IF EXISTS " + work.quote_name(m_name) + " WITH (FORCE)");
    }
    catch (const std::exception& error)
    {
        ADD_FAILURE() << "Cannot drop the test database " << m_name << ": " << error.what();
    }
}

void scratch_database::execute(const std::string& sql)
{
    pqxx::connection connection(conninfo(m_settings, m_name));
    pqxx::nontransaction work(connection);
    work.exec(sql);
}

void scratch_database::load_sql(const std::string& sql)
{
    pqxx::connection connection(conninfo(m_settings, m_name));
    connection.set_variable("client_min_messages", "warning");
    pqxx::nontransaction work(connection);
    std::istringstream lines(sql);
    std::string statements;
    std::string line;
    std::string target;
    while (std::getline(lines, line))
    {
        if (!copy_target(line, target))
        {
            statements += line;
            statements += '\n';
            continue;
        }
        if (!statements.empty())
        {
            work.exec(statements);
            statements.clear();
        }
        // The dump's lines go to the server as they stand; only this older writer of libpqxx 6
        // takes raw lines, and the dump's table name and column list are valid SQL already.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wdeprecated-declarations"
        pqxx::tablewriter copy(work, target);
#pragma GCC diagnostic pop
        while (std::getline(lines, line) && line != "\\.")
        {
            copy.write_raw_line(line);
        }
        copy.complete();
    }
    if (!statements.empty())
    {
        work.exec(statements);
    }
}

void scratch_database::load_file(const std::filesystem::path& path)
{
    const std::string sql = test_support::read_file(path);
    if (sql.empty())
    {
        throw std::runtime_error("Cannot read the fixture " + path.string());
    }
    load_sql(sql);
}

void server_test::SetUp()
{
    if (!test_support::pg_server_or_skip())
    {
        return;
    }
    m_settings = *server_from_env();
    m_logger = std::make_unique<tk_logger>("", false, 0, false);
    m_engine = std::make_unique<pgs_engine>();
    m_engine->set_case_sensitive(true);
    m_database = std::make_unique<scratch_database>(m_settings);
}

void server_test::TearDown()
{
    m_engine.reset();
    m_database.reset();
    m_logger.reset();
}

void server_test::connect_engine()
{
    m_engine->connect(m_settings.host, m_settings.user, m_settings.password, m_database->name(),
                      m_settings.port);
}

std::unique_ptr<pgs_database> server_test::open_fixture(const std::string& fixture,
                                                        const std::wstring& schema)
{
    m_database->load_file(fixture_path(fixture));
    connect_engine();
    return m_engine->open_db(std::wstring(m_database->name().begin(), m_database->name().end()),
                             udb_open_mode::source, schema);
}

} // namespace pgs_test
