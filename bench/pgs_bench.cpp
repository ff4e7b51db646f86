// pgs_bench.cpp: rows per second of the PostgreSQL recordset beside COPY TO STDOUT on one table.
//
// Usage: pgs_bench [rows] [wide rows]   (defaults 1000000 and 2000). The server comes from
// PGHOST, PGPORT, PGUSER and PGPASSWORD. A database of its own is created, filled with an
// 8-column table, a table with a numeric without a precision and a key text, and a table of
// one-megabyte values, and dropped. For the second table it times the query that measures the
// numeric's digits and the text's length beside the recordset's full read of the same table; for
// the third it shows the resident memory while the recordset reads it: flat, whatever the number
// of rows.
#include "bench_pg.h"
#include "pgs/pgs_database.h"
#include "pgs/pgs_engine.h"
#include "pgs/pgs_recordset.h"
#include "tk/tk_logger.h"

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iostream>
#include <pqxx/connection>
#include <pqxx/nontransaction>
#include <pqxx/stream_from>
#include <pqxx/transaction>
#include <string>
#include <unistd.h>

namespace
{

using bench::env_text;
using bench::pg_conninfo;

// Resident set size in MiB, from /proc/self/statm.
double resident_mib()
{
    std::ifstream statm("/proc/self/statm");
    long pages_total = 0;
    long pages_resident = 0;
    statm >> pages_total >> pages_resident;
    return static_cast<double>(pages_resident) * static_cast<double>(::sysconf(_SC_PAGESIZE)) /
           (1024.0 * 1024.0);
}

double seconds_since(std::chrono::steady_clock::time_point start)
{
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

void create_table(const std::string& database, long rows)
{
    pqxx::connection connection(pg_conninfo(database));
    pqxx::nontransaction work(connection);
    work.exec("CREATE TABLE bench_rows (id integer PRIMARY KEY, big bigint, amount numeric(12,2),"
              " label text, stamp timestamp, flag boolean, payload bytea, token uuid)");
    work.exec("INSERT INTO bench_rows SELECT n, n * 1000003::bigint, (n % 100000) / 100.0,"
              " 'label number ' || n, timestamp '2020-01-01' + n * interval '1.5 second',"
              " n % 2 = 0, decode(lpad(to_hex(n), 16, '0'), 'hex'),"
              " md5(n::text)::uuid FROM generate_series(1, " +
              std::to_string(rows) + ") AS n");
    work.exec("VACUUM ANALYZE bench_rows");
}

void create_free_table(const std::string& database, long rows)
{
    pqxx::connection connection(pg_conninfo(database));
    pqxx::nontransaction work(connection);
    work.exec("CREATE TABLE bench_free (id integer PRIMARY KEY, code text, amount numeric)");
    work.exec("CREATE INDEX bench_free_code ON bench_free (code)");
    work.exec("INSERT INTO bench_free SELECT n, 'code ' || n, (n::numeric * 1234567.891) / 1000"
              " FROM generate_series(1, " +
              std::to_string(rows) + ") AS n");
    work.exec("VACUUM ANALYZE bench_free");
}

void create_wide_table(const std::string& database, long rows)
{
    pqxx::connection connection(pg_conninfo(database));
    pqxx::nontransaction work(connection);
    // Random bytes: the server's compression would otherwise shrink them on disk, not on the wire.
    work.exec("CREATE TABLE bench_wide (id integer PRIMARY KEY, payload bytea)");
    work.exec("ALTER TABLE bench_wide ALTER COLUMN payload SET STORAGE EXTERNAL");
    work.exec("INSERT INTO bench_wide SELECT n, (SELECT string_agg(sha256((n * 40000 + k)::text"
              "::bytea), '') FROM generate_series(1, 32768) AS k) FROM generate_series(1, " +
              std::to_string(rows) + ") AS n");
}

long copy_rows(const std::string& database)
{
    pqxx::connection connection(pg_conninfo(database));
    pqxx::work work(connection);
    pqxx::stream_from copy(work, "bench_rows");
    std::string line;
    long count = 0;
    while (copy.get_raw_line(line))
    {
        ++count;
    }
    copy.complete();
    return count;
}

} // namespace

int main(int argc, char** argv)
{
    const long rows = argc > 1 ? std::atol(argv[1]) : 1000000;
    const long wide_rows = argc > 2 ? std::atol(argv[2]) : 2000;
    if (env_text("PGHOST").empty() || rows <= 0)
    {
        std::cerr << "usage: PGHOST=... PGPORT=... PGUSER=... PGPASSWORD=... pgs_bench [rows]\n";
        return 2;
    }
    const std::string database = "zov_bench_" + std::to_string(::getpid());
    int status = 0;
    try
    {
        {
            pqxx::connection admin(pg_conninfo("postgres"));
            pqxx::nontransaction work(admin);
            work.exec("CREATE DATABASE " + work.quote_name(database));
        }
        std::printf("Creating a table of %ld rows...\n", rows);
        create_table(database, rows);
        // Before the database is opened: its table list is read then.
        std::printf("Creating a table of %ld rows with a numeric without a precision...\n", rows);
        create_free_table(database, rows);
        std::printf("Creating a table of %ld rows of 1 MiB...\n", wide_rows);
        create_wide_table(database, wide_rows);

        copy_rows(database); // warms the server's cache the same way for both readers
        auto start = std::chrono::steady_clock::now();
        const long copied = copy_rows(database);
        const double copy_seconds = seconds_since(start);

        // As in the programs, a logger exists; it is off, as it is unless a log file is named.
        tk_logger logger("", false, 0, false);
        pgs_engine engine;
        engine.set_case_sensitive(true);
        engine.connect(env_text("PGHOST"), env_text("PGUSER"), env_text("PGPASSWORD"), database,
                       std::atoi(env_text("PGPORT").c_str()));
        const std::unique_ptr<pgs_database> db = engine.open_db(
            std::wstring(database.begin(), database.end()), udb_open_mode::source, L"public");
        const double rss_before = resident_mib();
        start = std::chrono::steady_clock::now();
        long streamed = 0;
        double rss_first_block = 0;
        double rss_peak = 0;
        {
            const std::unique_ptr<udb_recordset> recordset =
                db->get_table(L"public.bench_rows", udb_open_mode::source);
            recordset->reset();
            for (; !recordset->is_eof(); recordset->next())
            {
                const udb_record* record = recordset->get_item();
                streamed += record != nullptr && record->size() == 8 ? 1 : 0;
                if (streamed % pgs_recordset::block_rows == 0)
                {
                    const double rss = resident_mib();
                    rss_first_block = rss_first_block == 0 ? rss : rss_first_block;
                    rss_peak = rss > rss_peak ? rss : rss_peak;
                }
            }
        }
        const double stream_seconds = seconds_since(start);

        const double copy_rate = static_cast<double>(copied) / copy_seconds;
        const double stream_rate = static_cast<double>(streamed) / stream_seconds;
        std::printf("COPY TO STDOUT:  %ld rows in %.2f s = %.0f rows/s\n", copied, copy_seconds,
                    copy_rate);
        std::printf("pgs_recordset:   %ld rows in %.2f s = %.0f rows/s (%.0f%% of COPY)\n",
                    streamed, stream_seconds, stream_rate, 100.0 * stream_rate / copy_rate);
        std::printf("Resident memory: %.1f MiB before, %.1f MiB after the first block, "
                    "%.1f MiB at most while streaming\n",
                    rss_before, rss_first_block, rss_peak);

        {
            const std::unique_ptr<udb_recordset> recordset =
                db->get_table(L"public.bench_free", udb_open_mode::source);
            recordset->measure_columns({L"code"}, {L"amount"}); // warms the cache for both
            start = std::chrono::steady_clock::now();
            const udb_column_measures measures = recordset->measure_columns({L"code"}, {L"amount"});
            const double measure_seconds = seconds_since(start);
            start = std::chrono::steady_clock::now();
            recordset->measure_columns({}, {L"amount"});
            const double numeric_seconds = seconds_since(start);
            start = std::chrono::steady_clock::now();
            long read = 0;
            recordset->reset();
            for (; !recordset->is_eof(); recordset->next())
            {
                const udb_record* record = recordset->get_item();
                read += record != nullptr && record->size() == 3 ? 1 : 0;
            }
            const double read_seconds = seconds_since(start);
            std::printf("Measuring query: %.2f s over %ld rows (numeric: %d digits before the "
                        "point, %d after; text: %d units at most); the numeric alone %.2f s\n",
                        measure_seconds, read, measures.decimals[0].integer_digits,
                        measures.decimals[0].scale, measures.longest_units[0], numeric_seconds);
            std::printf("Full read:       %ld rows in %.2f s; the measuring query takes %.0f%% of "
                        "it\n",
                        read, read_seconds, 100.0 * measure_seconds / read_seconds);
        }

        const double wide_before = resident_mib();
        double wide_peak = 0;
        long wide_read = 0;
        start = std::chrono::steady_clock::now();
        {
            const std::unique_ptr<udb_recordset> recordset =
                db->get_table(L"public.bench_wide", udb_open_mode::source);
            recordset->reset();
            for (; !recordset->is_eof(); recordset->next())
            {
                const udb_record* record = recordset->get_item();
                wide_read += record != nullptr && record->size() == 2 ? 1 : 0;
                const double rss = resident_mib();
                wide_peak = rss > wide_peak ? rss : wide_peak;
            }
        }
        std::printf("Wide rows:       %ld rows of 1 MiB in %.2f s; resident memory %.1f MiB "
                    "before, %.1f MiB at most while streaming\n",
                    wide_read, seconds_since(start), wide_before, wide_peak);
    }
    catch (const std::exception& error)
    {
        std::fprintf(stderr, "pgs_bench: %s\n", error.what());
        status = 1;
    }
    try
    {
        pqxx::connection admin(pg_conninfo("postgres"));
        pqxx::nontransaction work(admin);
        work.exec("DROP DATABASE IF EXISTS " + work.quote_name(database) + " WITH (FORCE)");
    }
    catch (const std::exception& error)
    {
        std::fprintf(stderr, "pgs_bench: cannot drop %s: %s\n", database.c_str(), error.what());
        return 1;
    }
    return status;
}
