// mss_database.h: the destination database as a conversion run sees it: its tables, schemas,
// column types and views, table creation, and the views and foreign keys it can create.
#pragma once

#include "mss/odb_database.h"
#include "mss/odb_table.h"

#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

class tk_exception;

/// Told about a view or foreign key that could not be created: the context ("View 'v'",
/// "Foreign key 'fk'") and the failure. The run installs one that reports through its error
/// handler; without one the failure is only logged.
using mss_object_failure_handler =
    std::function<void(const std::wstring& context, const tk_exception& error)>;

/// A database of the SQL Server engine. Reads its table list, the data types of all its columns
/// and its views on construction.
class mss_database : public odb_database
{
public:
    /// Column types: table ("[owner].[table]") -> column -> SQL Server data type name.
    using column_type_map = std::map<std::wstring, std::map<std::wstring, std::wstring>>;

    /// Reads the catalog as the owner the target's login gives (dbo for Windows
    /// authentication, "connect as database owner" and "sa"). Throws odb_exception when the
    /// table list or the column types cannot be read; a failure reading views is logged.
    mss_database(const std::wstring& name, IDBInitialize* data_source, IOpenRowset* session,
                 int open_mode, const mss_target& target);
    ~mss_database() override;

    /// False for the empty name, else whether the table list holds it (without case).
    bool is_table_exist(const std::wstring& name) override;
    /// Creates the schema when it is missing; "dbo" (any case) is skipped. Throws
    /// odb_exception.
    void create_schema(const std::wstring& schema) override;
    /// Creates the table with its indexes and returns its writer; in append mode an existing
    /// table's writer is returned instead. Date and time columns of the writer take the
    /// source's date kinds. Throws tk_mail_assertion ("mss_db", 174) in a source database and
    /// ("mss_db", 183) for an existing table outside append mode, odb_exception on failure.
    std::unique_ptr<udb_recordset> create_table(const std::wstring& name, const udb_schema& schema,
                                                const udb_indexes& indexes) override;
    /// The writer of an existing table (two-part name by the target's rules). Throws
    /// odb_exception.
    std::unique_ptr<udb_recordset> get_table(const std::wstring& name, int mode) override;
    /// The rows of a query. Throws odb_exception.
    std::unique_ptr<udb_recordset> get_query(const std::wstring& name, const std::wstring& sql,
                                             int mode) override;
    /// The database's schema names; "dbo" alone when they cannot be read.
    void get_schema_info(std::vector<std::wstring>& list) override;
    /// Creates each view (dropping one of the same name first); a failing view goes to the
    /// failure handler and the others are still created.
    void create_views(const std::map<std::wstring, std::wstring>& views) override;
    /// Adds each foreign key to its table (nothing in append mode); a failing key goes to the
    /// failure handler and the others are still added.
    void create_relationships(const udb_relationships& relationships) override;

    /// The writer of a table just created from `schema`.
    std::unique_ptr<odb_table> get_table2(const std::wstring& name, const udb_schema& schema);
    /// Marks the table's date-only and time-only columns (by the column types read at
    /// construction) as VT_DATE with their kind. Null gives null.
    odb_table* amend_schema(odb_table* table);

    void set_object_failure_handler(mss_object_failure_handler handler)
    {
        m_failure_handler = std::move(handler);
    }
    const column_type_map& column_types() const { return m_column_types; }

    /// The statement that creates `schema` when it is missing, the name escaped for the string
    /// literal and for the bracketed identifier inside the dynamic statement.
    static std::wstring create_schema_sql(const std::wstring& schema);
    /// A view's text as T-SQL: backquoted names bracketed, now() as getdate(), isnull(x) as
    /// (x) is null, from_unixtime(x) as a DateAdd, character-set introducers dropped, ifnull as
    /// isnull, then mapped names replaced.
    std::wstring refine_view(const std::wstring& text) const;
    /// True when the whole text is one referential rule ("ON DELETE CASCADE" ..., without
    /// case).
    static bool is_valid_fk_props(const std::wstring& rules);
    /// A view's stored definition as the SELECT it runs: blanks outside quotes collapsed, the
    /// text from " as select" on, TOP 100 PERCENT and (with `view_owned`) dbo prefixes removed.
    /// Empty when the definition has no " as select".
    static std::wstring view_select_text(const std::wstring& definition, bool view_owned);

private:
    void init_tables(const std::wstring& owner);
    void init_columns(const std::wstring& owner);
    void init_views(const std::wstring& owner);
    void report_failure(const std::wstring& context, const tk_exception& error);

    column_type_map m_column_types;
    mss_object_failure_handler m_failure_handler;
};
