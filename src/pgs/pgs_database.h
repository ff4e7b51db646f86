// pgs_database.h: a PostgreSQL database: its tables and schemas as the conversion's source, and
// the schemas, tables and foreign keys written into it as a target.
#pragma once

#include "udb/udb_database.h"

#include <map>
#include <memory>
#include <optional>
#include <pqxx/result>
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
    /// The name add_full_name2 lists the table under.
    static std::wstring list_key(const std::wstring& schema, const std::wstring& table);
    /// The schema and table a listed name stands for; nothing for a name not listed.
    std::optional<std::pair<std::wstring, std::wstring>>
    find_full_name(const std::wstring& name) const;

    /// Lower-cases the name unless the engine is case-sensitive, then looks it up exactly.
    bool is_table_exist(const std::wstring& name) override;

    /// The listed name that `name` stands for: the name itself, else "public." + name when it
    /// has no dot; nothing when neither is listed.
    std::optional<std::wstring> find_listed_name(const std::wstring& name) const;
    /// A table name ready for SQL: for a listed name the schema and the table it was made from,
    /// each quoted as it stands (a dot inside either stays inside it); else get_safe_name.
    std::wstring sql_table_name(const std::wstring& name) const;

protected:
    /// Removes a listed name from the table list and forgets its schema and table, so that a
    /// table made again under it is listed again; false (nothing changes) when not listed.
    bool unlist_table(const std::wstring& name);

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
    /// Creates the schema when it is missing; "public" is left alone. The name is quoted as it
    /// stands. Throws pgs_exception ("Cannot create schema:" + the server's text), also in a
    /// database opened as the conversion's source.
    void create_schema(const std::wstring& name) override;
    /// Drops the table (with what depends on it) and takes it off the table list; a bare name
    /// is the table of public. False, after the drop, when the name is not listed. The table's
    /// column renamings are forgotten. Throws pgs_exception ("Cannot drop table: " + the name +
    /// ". " + the server's text), also in a database opened as the conversion's source.
    bool delete_tab(const std::wstring& name) override;
    /// Adds each foreign key to its table, the tables and columns under the names they were
    /// created with. Throws pgs_exception ("Cannot create foreign key:" + the server's text) at
    /// the first key that fails, also in a database opened as the conversion's source.
    void create_relationships(const udb_relationships& relationships) override;
    /// The ALTER TABLE statement that adds the foreign key: tables and columns mapped through the
    /// names map, names quoted as they stand, the rule written only when it is a referential
    /// action ("CASCADE", "SET NULL", "SET DEFAULT", "RESTRICT" alone are delete actions; or
    /// ON DELETE / ON UPDATE clauses of those and NO ACTION); any other rule is logged and left
    /// out.
    std::wstring foreign_key_sql(const udb_relationship& relationship) const;
    /// A recordset over the rows of a query; throws pgs_exception when the query fails.
    std::unique_ptr<udb_recordset> get_query(const std::wstring& name, const std::wstring& sql,
                                             int mode) override;
    /// Appends the names of the schemas that hold tables. Throws pgs_exception.
    void get_schema_info(std::vector<std::wstring>& list) override;
    /// A recordset over a listed table; tk_mail_assertion ("pgs_db", 503) for a name not
    /// listed; pgs_exception when its catalog cannot be read.
    std::unique_ptr<udb_recordset> get_table(const std::wstring& name, int mode) override;
    /// "is a view: views are not converted", "is a materialized view: ...", "is a partition of
    /// <schema>.<table>: its rows arrive with <schema>.<table>"; empty for any other name. The
    /// name is read as get_table reads it. Throws pgs_exception.
    std::wstring describe_non_table(const std::wstring& name) override;
    /// The tables of every schema, named as the table list names them, whatever schema the
    /// list was read for. Throws pgs_exception.
    std::vector<std::wstring> get_all_tables() override;
    /// Runs a statement and commits it. Throws pgs_exception.
    void query(const std::wstring& sql) override;
    /// Runs a statement and rolls it back; true when it ran.
    bool test_query(const std::wstring& sql) override;

private:
    void read_table_list(const std::wstring& schema);
    /// The (schema, table) rows of the tables of `schema`, of every schema when empty.
    pqxx::result table_rows(const std::wstring& schema);

    /// The schema the table list was read for; empty for every schema.
    std::wstring m_list_schema;
    /// Throws pgs_exception when the database was opened as the conversion's source.
    void refuse_in_source() const;
    /// Runs one statement in a transaction of that name and commits it; a library failure
    /// leaves as pgs_exception carrying `failure_prefix` + the library's text.
    void execute(const std::wstring& sql, const char* transaction_name,
                 const std::string& failure_prefix);
};
