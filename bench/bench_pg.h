// bench_pg.h: environment values and the benchmarks' PostgreSQL connection string.
#pragma once

#include "pgs/pgs_engine.h"

#include <cstdlib>
#include <string>

namespace bench
{

/// The value of environment variable `name`; empty when it is unset.
inline std::string env_text(const char* name)
{
    const char* value = std::getenv(name);
    return value != nullptr ? value : "";
}

/// A libpq connection string for `database` on the server PGHOST, PGPORT, PGUSER and PGPASSWORD
/// name.
inline std::string pg_conninfo(const std::string& database)
{
    return "host=" + pgs_conninfo_value(env_text("PGHOST")) +
           " port=" + pgs_conninfo_value(env_text("PGPORT")) +
           " user=" + pgs_conninfo_value(env_text("PGUSER")) +
           " password=" + pgs_conninfo_value(env_text("PGPASSWORD")) +
           " dbname=" + pgs_conninfo_value(database);
}

} // namespace bench
