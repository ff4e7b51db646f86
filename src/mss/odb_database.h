// odb_database.h: the OLE DB half of the destination database: creating a table with its keys and
// indexes through the definition interfaces, column defaults, and running statements.
#pragma once

#include "mss/mss_types.h"
#include "mss/odb_recordset.h"
#include "mss/ole_com_ptr.h"
#include "plat/oledb/oledb_definition.h"
#include "udb/udb_database.h"

#include <memory>
#include <string>
#include <vector>

/// True when table creation makes `column` an identity column: an auto-number column of an
/// integer kind the server can count with (64-bit and unsigned 32-bit kinds from SQL Server 2000).
bool odb_is_identity_column(const t_ftd& column, int version_code);

/// A SQL Server database over a data source and a session of its own. Table names compare
/// without case, as SQL Server's default collation does.
class odb_database : public udb_database
{
public:
    /// Takes a reference on the data source and on the session (either may be null); `target`
    /// is the server and login they belong to.
    odb_database(const std::wstring& name, IDBInitialize* data_source, IOpenRowset* session,
                 int open_mode, const mss_target& target);
    ~odb_database() override;

    /// Creates the table `name` (DBKIND_NAME, bracketed by mss_bracket_name) with a column per
    /// descriptor (text of a primary key or unique index in a binary collation; unbounded text
    /// that an index covers sized by mss_plan_keys), and creates the indexes that fit SQL
    /// Server's limits (a primary key as a clustered key constraint). On SQL Azure a table
    /// without a key gets a clustered index on its first indexable column. Throws odb_exception
    /// when the session or the table cannot be created; an index that does not fit or fails is
    /// skipped and noted with its reason (take_index_failures), a failing clustered index is
    /// logged.
    void define_table(const std::wstring& name, const udb_schema& schema,
                      const udb_indexes& indexes);

    /// Adds the column's default to `props` as DBPROP_COL_DEFAULT: CURRENT_TIMESTAMP as it
    /// stands; text and dates as quoted literals (text cut to the column's size - 1, dates as
    /// 'YYYYMMDD hh:mm:ss'); other kinds as the converted value. Nothing for no default or for
    /// one that does not convert to the column's kind ("Invalid default value").
    static void set_def_value(const t_ftd& column, std::vector<DBPROP>& props,
                              const mss_target& target);

    /// Runs `sql` on the database's session; throws odb_exception.
    void query(const std::wstring& sql) override;
    /// Runs `sql` and reads its first result (an empty recordset when it has none); throws
    /// odb_exception.
    std::unique_ptr<odb_recordset> open_query(const std::wstring& sql);
    /// True when `sql` runs; never throws.
    bool test_query(const std::wstring& sql) override;
    /// Runs DROP TABLE on the two-part name (mss_target::get_safe_tname) and forgets the table;
    /// throws odb_exception.
    bool delete_tab(const std::wstring& name) override;

    IOpenRowset* session() const { return m_session.get(); }
    IDBInitialize* data_source() const { return m_data_source.get(); }
    /// The server and login of the database: what its tables and statements are made for.
    const mss_target& target() const { return m_target; }

private:
    mss_target m_target;
    // Declared so that the data source is released before the session.
    ole_com_ptr<IOpenRowset> m_session;
    ole_com_ptr<IDBInitialize> m_data_source;
};
