// load_bench.cpp: rows per second of the driver's bulk copy alone beside the conversion of the
// same rows from PostgreSQL by the agent, and the conversion's peak resident memory.
//
// Usage: load_bench [rows [runs [conversion]]]   (default 1000000 rows, 5 runs; "conversion" leaves
// the bulk copy out, for a profiler). Odd runs convert first, even runs bulk-copy first; before
// each load the server gets a CHECKPOINT, where it takes one, and a fixed pause. PostgreSQL comes
// from PGHOST, PGPORT, PGUSER and PGPASSWORD; the TDS server from ZOV_TEST_MSSQL
// (server;user;password). A PostgreSQL database and two destination databases of its own are
// created and dropped.
#include "bench_odbc.h"
#include "bench_pg.h"
#include "zovagent/zovagent.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <optional>
#include <pqxx/connection>
#include <pqxx/nontransaction>
#include <sstream>
#include <string>
#include <sys/resource.h>
#include <thread>
#include <unistd.h>
#include <vector>

namespace
{

using clock_type = std::chrono::steady_clock;

using bench::env_text;
using bench::pg_conninfo;

// The same values as bulk_copy_generated_rows writes from its buffers.
void create_source(const std::string& database, long rows)
{
    pqxx::connection connection(pg_conninfo(database));
    pqxx::nontransaction work(connection);
    work.exec("CREATE TABLE bench_rows (id bigint PRIMARY KEY, qty integer, amount numeric(12,2),"
              " label varchar(40), stamp timestamp(3), flag boolean, token uuid)");
    work.exec("INSERT INTO bench_rows SELECT n, (n * 7) % 1000003, (n % 10000000) / 100.0,"
              " 'label number ' || n, timestamp '2020-01-01' + n * interval '1.5 second',"
              " n % 2 = 0, (lpad(to_hex(n), 8, '0') || '-0000-4000-8000-' ||"
              " lpad(to_hex(n * 7919), 12, '0'))::uuid FROM generate_series(1::bigint, " +
              std::to_string(rows) + ") AS n");
    work.exec("VACUUM ANALYZE bench_rows");
}

// A line of /proc/self/status in MiB: VmRSS (resident now) or VmHWM (the peak since the last
// reset_peak_resident).
double status_mib(const std::string& key)
{
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line))
    {
        if (line.rfind(key + ":", 0) == 0)
        {
            return std::stod(line.substr(key.size() + 1)) / 1024.0;
        }
    }
    return 0;
}

// User and system time of this process so far: beside the wall clock, the rest is waiting.
double cpu_seconds()
{
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    const auto seconds = [](const timeval& time)
    { return static_cast<double>(time.tv_sec) + static_cast<double>(time.tv_usec) / 1e6; };
    return seconds(usage.ru_utime) + seconds(usage.ru_stime);
}

void reset_peak_resident()
{
    std::ofstream clear("/proc/self/clear_refs");
    clear << "5";
}

/// The agent's standard output, remembering when the table line came: the rows follow it.
class marking_buffer : public std::stringbuf
{
public:
    std::optional<clock_type::time_point> table_started;

protected:
    std::streamsize xsputn(const char* text, std::streamsize count) override
    {
        const std::streamsize written = std::stringbuf::xsputn(text, count);
        mark();
        return written;
    }
    int_type overflow(int_type character) override
    {
        const int_type result = std::stringbuf::overflow(character);
        mark();
        return result;
    }

private:
    void mark()
    {
        if (!table_started && str().find("Converting table") != std::string::npos)
        {
            table_started = clock_type::now();
        }
    }
};

struct conversion_result
{
    double rows_seconds = 0;
    double run_seconds = 0;
    double cpu_seconds = 0;
    double start_mib = 0;
    double peak_mib = 0;
};

conversion_result convert(const bench::mssql_login& login, const std::string& source,
                          const std::string& destination)
{
    const std::vector<std::string> arguments{"zovagent",
                                             "--posgsh=" + env_text("PGHOST"),
                                             "--pgport=" + env_text("PGPORT"),
                                             "--posgsu=" + env_text("PGUSER"),
                                             "--posgsp=" + env_text("PGPASSWORD"),
                                             "--src=" + source,
                                             "--mssqlh=" + login.host + "," + login.port,
                                             "--mssqlu=" + login.user,
                                             "--mssqlp=" + login.password,
                                             "--dest=" + destination};
    std::vector<char*> argv;
    for (const std::string& argument : arguments)
    {
        argv.push_back(const_cast<char*>(argument.c_str()));
    }
    argv.push_back(nullptr);
    marking_buffer out_buffer;
    std::ostream out(&out_buffer);
    std::ostringstream err;
    reset_peak_resident();
    const double start_mib = status_mib("VmRSS");
    const double cpu_start = cpu_seconds();
    const auto start = clock_type::now();
    const int code = zovagent_main(static_cast<int>(arguments.size()), argv.data(), out, err);
    const auto end = clock_type::now();
    conversion_result result;
    result.cpu_seconds = cpu_seconds() - cpu_start;
    result.start_mib = start_mib;
    result.peak_mib = status_mib("VmHWM");
    if (code != 0 || !out_buffer.table_started ||
        out_buffer.str().find("Error") != std::string::npos)
    {
        throw std::runtime_error("the conversion failed (exit code " + std::to_string(code) +
                                 "):\n" + out_buffer.str() + err.str());
    }
    result.rows_seconds = std::chrono::duration<double>(end - *out_buffer.table_started).count();
    result.run_seconds = std::chrono::duration<double>(end - start).count();
    return result;
}

const char* const fingerprint_sql =
    "SELECT CONCAT(COUNT_BIG(*), '|', SUM(CAST(qty AS bigint)), '|', SUM(amount), '|',"
    " SUM(CAST(flag AS int)), '|', MIN(label), '|', MAX(label), '|', MIN(stamp), '|',"
    " MAX(stamp), '|', MIN(token), '|', MAX(token)) FROM dbo.bench_rows";

/// A column of the destination table as the conversion created it.
struct column_shape
{
    std::string name;
    std::string type;
    bool text = false;
};

std::vector<std::string> split_bars(const std::string& text)
{
    std::vector<std::string> parts;
    std::istringstream in(text);
    std::string part;
    while (std::getline(in, part, '|'))
    {
        parts.push_back(part);
    }
    return parts;
}

// The bulk copy loads a table of the very shape the conversion loads, so both make the server do
// the same work whatever the type mapping of the day.
std::vector<column_shape> table_shape(bench::odbc_connection& connection)
{
    std::vector<column_shape> columns;
    for (std::size_t column = 1; column <= bench::column_count; ++column)
    {
        const std::vector<std::string> parts = split_bars(connection.text(
            "SELECT CONCAT(COLUMN_NAME, '|', DATA_TYPE, '|', COALESCE(CHARACTER_MAXIMUM_LENGTH, 0),"
            " '|', COALESCE(NUMERIC_PRECISION, 0), '|', COALESCE(NUMERIC_SCALE, 0), '|',"
            " COALESCE(DATETIME_PRECISION, 0)) FROM INFORMATION_SCHEMA.COLUMNS WHERE TABLE_NAME ="
            " 'bench_rows' AND ORDINAL_POSITION = " +
            std::to_string(column)));
        if (parts.size() != 6)
        {
            throw std::runtime_error("cannot read the shape of column " + std::to_string(column));
        }
        const std::string& type = parts[1];
        column_shape shape{parts[0], type, false};
        if (type == "nvarchar" || type == "varchar" || type == "nchar" || type == "char" ||
            type == "varbinary" || type == "binary")
        {
            shape.type += "(" + (parts[2] == "-1" ? std::string("max") : parts[2]) + ")";
        }
        else if (type == "numeric" || type == "decimal")
        {
            shape.type += "(" + parts[3] + "," + parts[4] + ")";
        }
        else if (type == "datetime2" || type == "time" || type == "datetimeoffset")
        {
            shape.type += "(" + parts[5] + ")";
        }
        shape.text = type == "nvarchar" || type == "varchar" || type == "nchar" || type == "char" ||
                     type == "ntext" || type == "text";
        columns.push_back(shape);
    }
    return columns;
}

std::string create_table_sql(const std::vector<column_shape>& columns)
{
    std::string sql = "CREATE TABLE dbo.bench_rows (";
    for (const column_shape& column : columns)
    {
        sql += (&column == &columns.front() ? "" : ", ") + column.name + " " + column.type +
               (column.name == "id" ? " NOT NULL PRIMARY KEY" : " NULL");
    }
    return sql + ")";
}

std::string shape_text(const std::vector<column_shape>& columns)
{
    std::string text;
    for (const column_shape& column : columns)
    {
        text += column.name + " " + column.type + " ";
    }
    return text;
}

// The server may still be closing the session of a connection that has just ended.
void drop_database(bench::odbc_connection& admin, const std::string& name)
{
    for (int attempt = 1;; ++attempt)
    {
        try
        {
            admin.exec("IF DB_ID('" + name + "') IS NOT NULL DROP DATABASE " + name);
            return;
        }
        catch (const std::exception& error)
        {
            if (attempt == 10)
            {
                std::fprintf(stderr, "load_bench: cannot drop %s: %s\n", name.c_str(),
                             error.what());
                return;
            }
            std::this_thread::sleep_for(std::chrono::seconds(1));
        }
    }
}

void recreate_database(bench::odbc_connection& admin, const std::string& name)
{
    drop_database(admin, name);
    admin.exec("CREATE DATABASE " + name);
}

struct spread
{
    double low = 0;
    double middle = 0;
    double high = 0;
};

spread spread_of(std::vector<double> values)
{
    std::sort(values.begin(), values.end());
    return {values.front(), values[values.size() / 2], values.back()};
}

void print_spread(const char* what, const std::vector<double>& values, const char* format)
{
    const spread figures = spread_of(values);
    std::printf("%-28s", what);
    std::printf(format, figures.middle);
    std::printf("  (");
    std::printf(format, figures.low);
    std::printf(" .. ");
    std::printf(format, figures.high);
    std::printf(", %zu runs)\n", values.size());
}

struct round_figures
{
    std::vector<double> bulk_rates;
    std::vector<double> bulk_busy;
    std::vector<double> conversion_rates;
    std::vector<double> conversion_busy;
    std::vector<double> conversion_micros;
    std::vector<double> ratios;
    std::vector<double> peaks;
    std::vector<double> run_rates;
};

struct bench_settings
{
    long rows = 1000000;
    int runs = 5;
    bool bulk = true;
};

/// The bulk copy alone of the rows into a table of `shape` in a fresh `bulk_db`; answers its
/// seconds, its commit waits and its CPU share, and leaves the table's fingerprint in `content`.
struct bulk_result
{
    double seconds = 0;
    double batch_seconds = 0;
    double busy = 0;
};

bulk_result bulk_copy(const bench_settings& settings, const bench::mssql_login& login,
                      bench::odbc_connection& admin, const std::string& bulk_db,
                      const std::vector<column_shape>& shape, std::string& content)
{
    recreate_database(admin, bulk_db);
    bench::odbc_connection setup(login, bulk_db, false);
    setup.exec(create_table_sql(shape));
    std::array<bool, bench::column_count> as_text{};
    for (std::size_t column_idx = 0; column_idx < bench::column_count; ++column_idx)
    {
        as_text[column_idx] = shape[column_idx].text;
    }
    bench::bulk_copy_result bulk;
    // The connection counts, as the conversion's loader connects within its time.
    const double cpu_start = cpu_seconds();
    const auto start = clock_type::now();
    {
        bench::odbc_connection loader(login, bulk_db, true);
        bulk = bench::bulk_copy_generated_rows(loader, "dbo.bench_rows", settings.rows, as_text);
    }
    bulk.seconds = std::chrono::duration<double>(clock_type::now() - start).count();
    const double busy = (cpu_seconds() - cpu_start) / bulk.seconds;
    if (bulk.rows != settings.rows)
    {
        throw std::runtime_error("the bulk copy committed " + std::to_string(bulk.rows) + " rows");
    }
    if (shape_text(table_shape(setup)) != shape_text(shape))
    {
        throw std::runtime_error("the bulk copy's table is " + shape_text(table_shape(setup)) +
                                 ", not " + shape_text(shape));
    }
    content = setup.text(fingerprint_sql);
    return {bulk.seconds, bulk.batch_seconds, busy};
}

/// Lets the server settle the same way before every load: a CHECKPOINT where the server takes
/// one (the first refusal is reported and not tried again), then a fixed pause.
class settler
{
public:
    void operator()(bench::odbc_connection& admin)
    {
        if (m_checkpoint)
        {
            try
            {
                admin.exec("CHECKPOINT");
            }
            catch (const std::exception& error)
            {
                std::printf("  (no CHECKPOINT on this server: %s)\n", error.what());
                m_checkpoint = false;
            }
        }
        std::this_thread::sleep_for(pause);
    }

    static constexpr std::chrono::seconds pause{5};

private:
    bool m_checkpoint = true;
};

/// Each run converts the rows and bulk-copies them into a table of the same shape; odd runs
/// convert first, even runs bulk-copy first, so a server whose commits drift over a sitting
/// slows both alike. The shape is the one the first run's conversion created. Answers false
/// when the two destination tables differ.
bool measure(const bench_settings& settings, const bench::mssql_login& login,
             bench::odbc_connection& admin, const std::string& source, const std::string& bulk_db,
             const std::string& conversion_db)
{
    const double rows = static_cast<double>(settings.rows);
    round_figures figures;
    std::string bulk_content;
    std::string conversion_content;
    std::vector<column_shape> shape;
    settler settle;
    for (int run = 1; run <= settings.runs; ++run)
    {
        const bool bulk_first = settings.bulk && run % 2 == 0;
        bulk_result bulk;
        if (bulk_first)
        {
            settle(admin);
            bulk = bulk_copy(settings, login, admin, bulk_db, shape, bulk_content);
        }
        settle(admin);
        const conversion_result converted = convert(login, source, conversion_db);
        {
            bench::odbc_connection check(login, conversion_db, false);
            const std::vector<column_shape> created = table_shape(check);
            if (!shape.empty() && shape_text(created) != shape_text(shape))
            {
                throw std::runtime_error("the conversion created " + shape_text(created) +
                                         ", before " + shape_text(shape));
            }
            shape = created;
            conversion_content = check.text(fingerprint_sql);
        }
        if (settings.bulk && !bulk_first)
        {
            settle(admin);
            bulk = bulk_copy(settings, login, admin, bulk_db, shape, bulk_content);
        }
        const double rate = rows / converted.rows_seconds;
        const double busy = converted.cpu_seconds / converted.run_seconds;
        const double micros_per_row = 1e6 * converted.cpu_seconds / rows;
        std::printf("run %d (%s first): conversion %.2f s of rows (%.2f s in all) = %.0f rows/s"
                    " (CPU %.0f%%, %.1f us a row), peak %.1f MiB (%.1f before)",
                    run, bulk_first ? "bulk copy" : "conversion", converted.rows_seconds,
                    converted.run_seconds, rate, 100 * busy, micros_per_row, converted.peak_mib,
                    converted.start_mib);
        figures.conversion_micros.push_back(micros_per_row);
        figures.conversion_rates.push_back(rate);
        figures.conversion_busy.push_back(100 * busy);
        figures.peaks.push_back(converted.peak_mib);
        figures.run_rates.push_back(rows / converted.run_seconds);
        if (settings.bulk)
        {
            const double bulk_rate = rows / bulk.seconds;
            std::printf("; bulk copy %.2f s (%.2f s in commits) = %.0f rows/s (CPU %.0f%%); ratio"
                        " %.2f",
                        bulk.seconds, bulk.batch_seconds, bulk_rate, 100 * bulk.busy,
                        rate / bulk_rate);
            figures.bulk_rates.push_back(bulk_rate);
            figures.bulk_busy.push_back(100 * bulk.busy);
            figures.ratios.push_back(rate / bulk_rate);
        }
        std::printf("\n");
        if (run == 1)
        {
            std::printf("  destination: %s\n", shape_text(shape).c_str());
        }
        std::fflush(stdout);
    }
    std::printf("%ld rows of (bigint key, int, numeric(12,2), varchar(40), timestamp(3), bool,"
                " uuid), batches of 1000; median (lowest .. highest):\n",
                settings.rows);
    print_spread("conversion, rows/s:", figures.conversion_rates, "%.0f");
    print_spread("  its CPU, % of wall time:", figures.conversion_busy, "%.0f");
    print_spread("  its CPU, us a row:", figures.conversion_micros, "%.1f");
    print_spread("  whole agent run, rows/s:", figures.run_rates, "%.0f");
    print_spread("  peak resident, MiB:", figures.peaks, "%.1f");
    if (settings.bulk)
    {
        print_spread("bulk copy alone, rows/s:", figures.bulk_rates, "%.0f");
        print_spread("  its CPU, % of wall time:", figures.bulk_busy, "%.0f");
        print_spread("conversion / bulk copy:", figures.ratios, "%.2f");
        std::printf("  each run's ratio:         ");
        for (const double ratio : figures.ratios)
        {
            std::printf(" %.2f", ratio);
        }
        std::printf("\n");
        if (bulk_content != conversion_content)
        {
            std::printf("The two tables hold different rows:\n  conversion: %s\n  bulk copy:  %s\n",
                        conversion_content.c_str(), bulk_content.c_str());
            return false;
        }
    }
    return true;
}

} // namespace

int main(int argc, char** argv)
{
    bench_settings settings;
    settings.rows = argc > 1 ? std::atol(argv[1]) : settings.rows;
    settings.runs = argc > 2 ? std::atoi(argv[2]) : settings.runs;
    const std::string only = argc > 3 ? argv[3] : "";
    settings.bulk = only != "conversion";
    if (env_text("PGHOST").empty() || env_text("ZOV_TEST_MSSQL").empty() || settings.rows <= 0 ||
        settings.runs <= 0 || (!only.empty() && only != "conversion"))
    {
        std::fprintf(stderr, "usage: PGHOST=... PGPORT=... PGUSER=... PGPASSWORD=... "
                             "ZOV_TEST_MSSQL='server;user;password' load_bench [rows [runs "
                             "[conversion]]]\n");
        return 2;
    }
    const std::string suffix = std::to_string(::getpid());
    const std::string source = "zov_load_bench_" + suffix;
    const std::string bulk_db = "perf_bcp_" + suffix;
    const std::string conversion_db = "perf_conv_" + suffix;
    int status = 0;
    try
    {
        const bench::mssql_login login = bench::parse_mssql_login(env_text("ZOV_TEST_MSSQL"));
        bench::odbc_connection admin(login, "", false);
        {
            pqxx::connection pg_admin(pg_conninfo("postgres"));
            pqxx::nontransaction work(pg_admin);
            work.exec("CREATE DATABASE " + work.quote_name(source));
        }
        try
        {
            std::printf("Creating a PostgreSQL table of %ld rows...\n", settings.rows);
            create_source(source, settings.rows);
            status = measure(settings, login, admin, source, bulk_db, conversion_db) ? 0 : 1;
        }
        catch (const std::exception& error)
        {
            std::fprintf(stderr, "load_bench: %s\n", error.what());
            status = 1;
        }
        drop_database(admin, bulk_db);
        drop_database(admin, conversion_db);
        pqxx::connection pg_admin(pg_conninfo("postgres"));
        pqxx::nontransaction work(pg_admin);
        work.exec("DROP DATABASE IF EXISTS " + work.quote_name(source) + " WITH (FORCE)");
    }
    catch (const std::exception& error)
    {
        std::fprintf(stderr, "load_bench: %s\n", error.what());
        return 1;
    }
    return status;
}
