// udb_database.h: one database of either side: its tables, names map and foreign keys.
#pragma once

#include "udb/udb_indexes.h"
#include "udb/udb_names_map.h"
#include "udb/udb_recordset.h"
#include "udb/udb_relationships.h"
#include "udb/udb_schema.h"

#include <map>
#include <memory>
#include <string>
#include <vector>

/// How a database was opened (the open_mode word; the values are bits).
namespace udb_open_mode
{
/// The conversion's source; creating a table in it is an internal error.
inline constexpr int source = 1;
/// A target database created for this run.
inline constexpr int created = 2;
/// An existing target.
inline constexpr int existing = 4;
/// An existing target whose existing tables are reopened and appended to.
inline constexpr int append = 8;
} // namespace udb_open_mode

/// How a table is opened (the mode of get_table and get_query; the values are bits).
namespace udb_table_mode
{
/// Rows are read, none written.
inline constexpr int read_only = 1;
/// A table just created: no rowset is opened on it.
inline constexpr int new_table = 2;
/// An existing table reopened to append rows to.
inline constexpr int append = 8;
/// With both bits set, the table's keys, indexes and foreign keys are not read.
inline constexpr int skip_indexes = 0x20 | 0x40;
} // namespace udb_table_mode

/// An index of a created table that the destination could not create, and why.
struct udb_index_failure
{
    /// The table as the destination names it.
    std::wstring table;
    std::wstring index;
    std::wstring reason;
};

/// The engine-neutral database. Made by an engine, owned by the run, deleted through the virtual
/// destructor. Recordsets it returns belong to the caller.
class udb_database
{
public:
    /// `case_sensitive`: table names compare exactly (true) or without case (false).
    udb_database(const std::wstring& name, int open_mode, bool case_sensitive);
    virtual ~udb_database();

    udb_database(const udb_database&) = delete;
    udb_database& operator=(const udb_database&) = delete;

    /// Contract: creates the schema (namespace) `name` when it is missing. The base does nothing.
    virtual void create_schema(const std::wstring& name);
    /// Contract: creates the table `name` with those columns and indexes (or reopens it in
    /// append mode) and returns its writer, owned by the caller. Throws on failure.
    virtual std::unique_ptr<udb_recordset> create_table(const std::wstring& name,
                                                        const udb_schema& schema,
                                                        const udb_indexes& indexes) = 0;
    /// Contract: creates the views of `views` (view name -> SELECT text). The base does nothing.
    virtual void create_views(const std::map<std::wstring, std::wstring>& views);
    /// Contract: drops the table and forgets its name; false (list unchanged) when the name is
    /// not known. The base only removes the first matching name from the table list.
    virtual bool delete_tab(const std::wstring& name);
    /// Contract: a recordset over the query `sql`, named `name`, opened with `mode`; owned by the
    /// caller. Throws on failure.
    virtual std::unique_ptr<udb_recordset> get_query(const std::wstring& name,
                                                     const std::wstring& sql, int mode) = 0;
    /// Contract: fills `list` with the database's schema names. The base empties it.
    virtual void get_schema_info(std::vector<std::wstring>& list);
    /// Contract: a recordset over the table `name`, opened with `mode`; owned by the caller.
    /// Throws on failure.
    virtual std::unique_ptr<udb_recordset> get_table(const std::wstring& name, int mode) = 0;
    /// Contract: runs a statement that returns no rows; throws on failure. The base throws
    /// tk_mail_assertion ("udb_db", 76): a side that runs statements overrides it.
    virtual void query(const std::wstring& sql);
    /// Contract: runs `sql` without keeping its effects; true when it succeeds. Never throws.
    virtual bool test_query(const std::wstring& sql) = 0;
    /// Contract: creates the foreign keys of `relationships` on the existing tables. The base
    /// does nothing.
    virtual void create_relationships(const udb_relationships& relationships);
    /// Contract: the names of the tables known in this database.
    virtual const std::vector<std::wstring>& get_tables();
    /// Contract: true when `name` is a known table (compared exactly when case-sensitive, else
    /// without case).
    virtual bool is_table_exist(const std::wstring& name);
    /// Contract: for a name that is no table of the list but some other object of the database
    /// (a view, a partition), why it is not converted alone ("is a view: views are not
    /// converted"); empty when the database has nothing of that name. The base answers empty.
    virtual std::wstring describe_non_table(const std::wstring& name);
    /// Contract: the names of every table of the database, of every schema, as get_tables
    /// names them (the list may hold one schema only). The base answers get_tables.
    virtual std::vector<std::wstring> get_all_tables();

    /// The indexes that table creation could not create since the last call, in order; the
    /// list is emptied.
    std::vector<udb_index_failure> take_index_failures();

    const std::wstring& name() const { return m_name; }
    int open_mode() const { return m_open_mode; }
    bool is_case_sensitive() const { return m_case_sensitive; }
    const std::vector<std::wstring>& tables() const { return m_tables; }
    udb_names_map& names_map() { return m_names_map; }
    const udb_names_map& names_map() const { return m_names_map; }
    udb_relationships& relationships() { return m_relationships; }
    const udb_relationships& relationships() const { return m_relationships; }
    /// The views of the database (view name -> SELECT text), filled by the side that reads them.
    std::map<std::wstring, std::wstring>& views() { return m_views; }
    const std::map<std::wstring, std::wstring>& views() const { return m_views; }

protected:
    /// For the deriving classes, as they read the catalog or create a table.
    void add_table_name(const std::wstring& name) { m_tables.push_back(name); }
    std::vector<std::wstring>& table_list() { return m_tables; }
    /// Notes an index that table creation could not create, for take_index_failures.
    void add_index_failure(udb_index_failure failure);
    /// True when the two table names are the same under this database's case rule.
    bool same_table_name(const std::wstring& a, const std::wstring& b) const;

private:
    int m_open_mode;
    std::wstring m_name;
    bool m_case_sensitive;
    std::map<std::wstring, std::wstring> m_views;
    std::vector<std::wstring> m_tables;
    udb_names_map m_names_map;
    udb_relationships m_relationships;
    std::vector<udb_index_failure> m_index_failures;
};
