// mss_table_hook.h: how the destination database makes its table writers and query readers.
#pragma once

#include "mss/odb_table.h"
#include "plat/oledb/oledb_interfaces.h"
#include "udb/udb_schema.h"

#include <memory>
#include <string>

class mss_database;

/// The writer of the table `name` that the database has just created from `schema`; it opens
/// nothing until the first row. Throws what the writer throws.
std::unique_ptr<odb_table> mss_new_table_writer(const std::wstring& name, IOpenRowset* session,
                                                const udb_schema& schema, mss_database& database);

/// The writer of the existing table `name`, opened with `mode` (its columns, defaults, keys and
/// indexes read from the server). Throws odb_exception when the table cannot be opened, and
/// mss_connection_lost (no row stored) when the server was lost or did not answer within the
/// answer limit on the way (a lock held by another session on the table).
std::unique_ptr<odb_table> mss_open_table_writer(const std::wstring& name, IOpenRowset* session,
                                                 int mode, mss_database& database);

/// The rows of `query` under the name `name`. Throws odb_exception.
std::unique_ptr<odb_table> mss_open_query(const std::wstring& name, const std::wstring& query,
                                          IOpenRowset* session, int mode, mss_database& database);
