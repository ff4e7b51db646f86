// convert_bench.cpp: peak resident memory of the agent converting rows of 1 MB values into SQL
// Server.
//
// Usage: convert_bench [rows] [bytea|text|large] [destination]   (default 2000 rows of bytea into
// zov_writer_bench; "large": rows of a 20.8 MB bytea and a 34 MB text, whose peak must stay
// under 8 times such a row plus 64 MiB). PostgreSQL comes from PGHOST, PGPORT, PGUSER and
// PGPASSWORD, SQL Server from ZOV_TEST_MSSQL ("server;user;password"). A source database of its own
// is created, filled and dropped; the destination database is created again by the conversion (mode
// 0) and kept.
#include "bench_pg.h"
#include "zovagent/zovagent.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <iostream>
#include <pqxx/connection>
#include <pqxx/nontransaction>
#include <string>
#include <sys/resource.h>
#include <unistd.h>
#include <vector>

namespace
{

using bench::env_text;
using bench::pg_conninfo;

// The process's peak resident set so far, in MiB.
double peak_mib()
{
    rusage usage{};
    ::getrusage(RUSAGE_SELF, &usage);
    return static_cast<double>(usage.ru_maxrss) / 1024.0;
}

// The largest row of the "large" kind: a bytea of 20.8 MB and a text of 34 MB.
constexpr double large_row_mib = (20800000.0 + 34000000.0) / (1024.0 * 1024.0);

// Rows of a 20.8 MB bytea and a 34 MB text each, made on the server.
void fill_large(pqxx::nontransaction& work, long rows)
{
    work.exec("CREATE TABLE blobs (id integer PRIMARY KEY, data bytea, note text)");
    for (long id = 1; id <= rows; ++id)
    {
        work.exec("INSERT INTO blobs SELECT g, convert_to(repeat(md5(g::text), 650000), 'UTF8'), "
                  "repeat(md5((g + 1)::text), 1062500) FROM generate_series(" +
                  std::to_string(id) + ", " + std::to_string(id) + ") AS g");
    }
}

// 1 MiB per row, made on the server: the bench's own memory stays out of the figure.
void fill_source(const std::string& database, long rows, bool text, bool large)
{
    pqxx::connection connection(pg_conninfo(database));
    pqxx::nontransaction work(connection);
    if (large)
    {
        fill_large(work, rows);
        return;
    }
    const std::string value = "repeat(md5(g::text), 32768)";
    work.exec(std::string("CREATE TABLE blobs (id integer PRIMARY KEY, payload ") +
              (text ? "text" : "bytea") + ")");
    for (long first = 1; first <= rows; first += 100)
    {
        const long last = std::min(rows, first + 99);
        work.exec("INSERT INTO blobs SELECT g, " +
                  (text ? value : "convert_to(" + value + ", 'UTF8')") + " FROM generate_series(" +
                  std::to_string(first) + ", " + std::to_string(last) + ") AS g");
    }
}

// ZOV_TEST_MSSQL split at its first two semicolons.
bool split_login(const std::string& login, std::string& server, std::string& user,
                 std::string& password)
{
    const std::size_t first = login.find(';');
    const std::size_t second = first == std::string::npos ? first : login.find(';', first + 1);
    if (second == std::string::npos)
    {
        return false;
    }
    server = login.substr(0, first);
    user = login.substr(first + 1, second - first - 1);
    password = login.substr(second + 1);
    return true;
}

} // namespace

int main(int argc, char** argv)
{
    const long rows = argc > 1 ? std::atol(argv[1]) : 2000;
    const bool text = argc > 2 && std::string(argv[2]) == "text";
    const bool large = argc > 2 && std::string(argv[2]) == "large";
    const std::string destination = argc > 3 ? argv[3] : "zov_writer_bench";
    std::string server;
    std::string user;
    std::string password;
    if (!split_login(env_text("ZOV_TEST_MSSQL"), server, user, password))
    {
        std::cerr << "ZOV_TEST_MSSQL is unset or not \"server;user;password\"\n";
        return 2;
    }
    const std::string database = "zov_convert_bench_" + std::to_string(::getpid());
    int status = 1;
    try
    {
        {
            pqxx::connection admin(pg_conninfo("postgres"));
            pqxx::nontransaction work(admin);
            work.exec("CREATE DATABASE " + work.quote_name(database));
        }
        const auto fill_start = std::chrono::steady_clock::now();
        fill_source(database, rows, text, large);
        std::printf(
            "source: %ld rows of %s in %.1f s\n", rows,
            large  ? "a 20.8 MB bytea and a 34 MB text"
            : text ? "1 MiB text"
                   : "1 MiB bytea",
            std::chrono::duration<double>(std::chrono::steady_clock::now() - fill_start).count());
        const double before = peak_mib();
        std::vector<std::string> args{"convert_bench",
                                      "--posgsh=" + env_text("PGHOST"),
                                      "--pgport=" + env_text("PGPORT"),
                                      "--posgsu=" + env_text("PGUSER"),
                                      "--posgsp=" + env_text("PGPASSWORD"),
                                      "--src=" + database,
                                      "--mssqlh=" + server,
                                      "--mssqlu=" + user,
                                      "--mssqlp=" + password,
                                      "--dest=" + destination,
                                      "--mode=0"};
        std::vector<char*> argv_agent;
        for (std::string& arg : args)
        {
            argv_agent.push_back(arg.data());
        }
        argv_agent.push_back(nullptr);
        const auto start = std::chrono::steady_clock::now();
        const int code =
            zovagent_main(static_cast<int>(args.size()), argv_agent.data(), std::cout, std::cerr);
        const double seconds =
            std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        std::printf("agent exit code %d after %.1f s\n", code, seconds);
        std::printf("peak resident memory: %.0f MiB (%.0f MiB before the conversion)\n", peak_mib(),
                    before);
        status = code == 0 ? 0 : 1;
        if (large)
        {
            // A row's values are held a few times on their way (read, converted, bound, sent),
            // never once per step of the whole table.
            const double bound = 8 * large_row_mib + 64;
            std::printf("bound for rows of %.0f MiB: %.0f MiB (%s)\n", large_row_mib, bound,
                        peak_mib() <= bound ? "kept" : "exceeded");
            status = status == 0 && peak_mib() <= bound ? 0 : 1;
        }
    }
    catch (const std::exception& error)
    {
        std::cerr << "convert_bench: " << error.what() << "\n";
    }
    try
    {
        pqxx::connection admin(pg_conninfo("postgres"));
        pqxx::nontransaction work(admin);
        work.exec("DROP DATABASE IF EXISTS " + work.quote_name(database) + " WITH (FORCE)");
    }
    catch (const std::exception& error)
    {
        std::cerr << "convert_bench: " << error.what() << "\n";
    }
    return status;
}
