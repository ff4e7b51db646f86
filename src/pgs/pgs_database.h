// pgs_database.h: a PostgreSQL database as the conversion's source: its tables and schemas.
#pragma once

#include "udb/udb_database.h"

#include <map>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

/// The PostgreSQL side of the neutral database: table names compare exactly, and each listed
/// name remembers the schema and table it stands for.
class pgs_base_db : public udb_database
{
public:
    pgs_base_db(const std::wstring& name, int mode);
    ~pgs_base_db() override;

    /// A table name ready for SQL: "public." + the quoted name when it has no dot, else the
    /// schema and the table each quoted.
    std::wstring get_safe_name(const std::wstring& name) const;
    /// "public." + name when it has no dot, else the name unchanged.
    std::wstring get_full_name(const std::wstring& name) const;
    /// Lists a table given as "table" (schema public) or "schema.table".
    void add_full_name1(const std::wstring& name);
    /// Lists the table of a catalog row. The listed name is the table alone when the engine's
    /// no-schema switch is on or the schema is empty, else "schema.table"; a name listed
    /// already keeps its first table.
    void add_full_name2(const std::wstring& schema, const std::wstring& table);
    /// The schema and table a listed name stands for; nothing for a name not listed.
    std::optional<std::pair<std::wstring, std::wstring>>
    find_full_name(const std::wstring& name) const;

    /// Lower-cases the name unless the engine is case-sensitive, then looks it up exactly.
    bool is_table_exist(const std::wstring& name) override;

private:
    void list_name(const std::wstring& full_name, const std::wstring& schema,
                   const std::wstring& table);

    std::map<std::wstring, std::pair<std::wstring, std::wstring>> m_full_names;
};

/// One PostgreSQL database opened through the engine. Reads its table list on construction.
class pgs_database : public pgs_base_db
{
public:
    /// Lists the tables of `schema` (of every non-system schema when empty); a partition is not
    /// listed, its rows are read through its partitioned table. Throws pgs_exception.
    pgs_database(const std::wstring& name, const std::wstring& schema, int mode);
    ~pgs_database() override;

    /// Creates the table with its indexes and returns it opened for writing (in append mode an
    /// existing table is only opened). Renamed columns go to the names map. Throws
    /// pgs_exception (also in a database opened as the conversion's source); tk_mail_assertion
    /// ("pgs_db", 467) for an existing table otherwise.
    std::unique_ptr<udb_recordset> create_table(const std::wstring& name, const udb_schema& schema,
                                                const udb_indexes& indexes) override;
    /// A recordset over the rows of a query; throws pgs_exception when the query fails.
    std::unique_ptr<udb_recordset> get_query(const std::wstring& name, const std::wstring& sql,
                                             int mode) override;
    /// Appends the names of the schemas that hold tables. Throws pgs_exception.
    void get_schema_info(std::vector<std::wstring>& list) override;
    /// A recordset over a listed table; tk_mail_assertion ("pgs_db", 503) for a name not
    /// listed; pgs_exception when its catalog cannot be read.
    std::unique_ptr<udb_recordset> get_table(const std::wstring& name, int mode) override;
    /// Runs a statement and commits it. Throws pgs_exception.
    void query(const std::wstring& sql) override;
    /// Runs a statement and rolls it back; true when it ran.
    bool test_query(const std::wstring& sql) override;

private:
    void read_table_list(const std::wstring& schema);
};
