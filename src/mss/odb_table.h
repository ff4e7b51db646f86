// odb_table.h: one SQL Server table or query opened as a rowset on a session, its row count, and
// its primary key, indexes and the foreign keys that point at it.
#pragma once

#include "mss/mss_types.h"
#include "mss/odb_recordset.h"
#include "mss/ole_com_ptr.h"
#include "udb/udb_database.h"
#include "udb/udb_relationships.h"

#include <cstdint>
#include <string>

/// A table (or query) of the destination. Mode udb_table_mode::new_table opens nothing (a table
/// being created); any other mode opens the rowset, read-only with udb_table_mode::read_only and
/// for appending otherwise, and counts the rows. The writer of the destination derives from it.
class odb_table : public odb_recordset
{
public:
    /// The mode that opens no rowset.
    static constexpr int mode_new_table = udb_table_mode::new_table;

    /// Opens the table `name` of `target`; a table the provider does not find is tried once more
    /// as [dbo].[table]. Throws odb_exception when it cannot be opened or counted.
    odb_table(const std::wstring& name, IOpenRowset* session, int mode,
              udb_relationships& relationships, const mss_target& target);
    /// Opens the result of `query` under the name `name`. Throws odb_exception.
    odb_table(const std::wstring& name, const std::wstring& query, IOpenRowset* session, int mode,
              udb_relationships& relationships, const mss_target& target);
    ~odb_table() override;

    /// Counts the rows (COUNT_BIG, held to the 32-bit range). Throws odb_exception.
    std::int64_t get_records_cnt();
    /// The count statement: "SELECT COUNT_BIG(*) FROM (<query>) as query" for a query, else
    /// "SELECT COUNT_BIG(*) FROM <table>".
    static std::wstring count_sql(const std::wstring& name, const std::wstring& query);

    /// Reads the primary key and the indexes of `table` (owner `owner`, all owners when empty)
    /// into the index list, and the foreign keys that point at it into the relationship list.
    /// Throws odb_exception when a catalog cannot be read.
    void init_indexes(const std::wstring& table, const std::wstring& owner);

    IOpenRowset* session() const { return m_session.get(); }
    int mode() const { return m_mode; }
    udb_relationships& relationships() { return *m_relationships; }

private:
    void open();

    ole_com_ptr<IOpenRowset> m_session;
    udb_relationships* m_relationships;
    int m_mode;
    // How the name splits into owner and table for the retry under dbo.
    bool m_view_owned;
};
