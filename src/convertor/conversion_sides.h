// conversion_sides.h: the two sides a converter reaches: the source and the destination server.
#pragma once

#include "udb/udb_database.h"

#include <memory>
#include <string>

/// The source server as the converter uses it. The real one is the PostgreSQL engine; tests put
/// fakes of the neutral model in its place.
class conversion_source
{
public:
    virtual ~conversion_source() = default;

    /// Opens the database `name` as the conversion's source, listing the tables of `schema`
    /// (of every schema when empty). Never null; throws the side's exception on failure.
    virtual std::unique_ptr<udb_database> open_db(const std::wstring& name,
                                                  const std::wstring& schema) = 0;
};

/// The destination server as the converter uses it. The real one is the SQL Server engine;
/// tests put fakes of the neutral model in its place. Every operation throws the side's
/// exception on failure.
class conversion_destination
{
public:
    virtual ~conversion_destination() = default;

    /// Connects with fast load requested: with Windows authentication (server only) when
    /// `windows_auth`, else with the user and password.
    virtual void connect(const std::wstring& server, const std::wstring& user,
                         const std::wstring& password, bool windows_auth) = 0;
    /// True when the server has a database of that name.
    virtual bool is_db_exist(const std::wstring& name) = 0;
    /// Drops the database.
    virtual void delete_db(const std::wstring& name) = 0;
    /// Opens an existing database with the open mode (udb_open_mode::existing or ::append).
    /// Never null.
    virtual std::unique_ptr<udb_database> open_db(const std::wstring& name, int open_mode) = 0;
    /// Creates the database and opens it (open mode udb_open_mode::created). Never null.
    virtual std::unique_ptr<udb_database> create_db(const std::wstring& name) = 0;
    /// Called once at the start of each run, before any database is opened: from then on the
    /// destination lists tables of every owner, named "[owner].[table]".
    virtual void begin_run() = 0;
};
