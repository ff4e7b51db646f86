// mss_table.h: the destination table writer: rows by bulk load or INSERT statements, updates by
// key, and what an existing destination table looks like.
#pragma once

#include "mss/mss_exact.h"
#include "mss/mss_fast_load.h"
#include "mss/mss_load_rows.h"
#include "mss/mss_types.h"
#include "mss/odb_command.h"
#include "mss/odb_exception.h"
#include "mss/odb_table.h"

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

/// The SQL Server table a conversion writes into. Rows go through the provider's bulk loader
/// when its target has fast load on, else as one INSERT statement each. A bulk batch that fails
/// is written again row by row through INSERT statements; a row that fails there goes, with its
/// number within the table, to the row-failure handler. flush() ends the load; the destructor
/// ends what flush() did not, without throwing. While the loader commits a batch on its own
/// thread, the rows that follow are converted and bound at once and wait, their row buffers
/// copied, until that commit has ended (at most a batch of them): they are sent in order, after
/// the rows of a failed batch were written again.
class mss_table : public odb_table
{
public:
    /// The table that table creation has just made from `schema` (the writer keeps copies of
    /// its descriptors); opens nothing until the first row. `target` is the server it writes to.
    mss_table(const std::wstring& name, IOpenRowset* session, const udb_schema& schema,
              udb_relationships& relationships, const mss_target& target);
    /// An existing table opened with `mode`: its columns, defaults and identity flags (from
    /// sp_columns) and, unless mode bits 0x20 and 0x40 are both set, its keys, indexes and the
    /// foreign keys pointing at it (a failure there is logged and the table goes on without
    /// them, unless the connection was lost or the server did not answer). Unless read-only,
    /// whether it has CHECK constraints and no foreign key: its bulk-copied rows are then
    /// checked against them (foreign keys stay unchecked on the bulk path, so that a child's
    /// rows are not refused before the rows of its parent table arrive). Throws odb_exception
    /// when the table or its columns cannot be read.
    mss_table(const std::wstring& name, IOpenRowset* session, int mode,
              udb_relationships& relationships, const mss_target& target);
    /// The rows of a query under the name `name`. Throws odb_exception.
    mss_table(const std::wstring& name, const std::wstring& query, IOpenRowset* session, int mode,
              udb_relationships& relationships, const mss_target& target);
    /// Ends a load that flush() did not end; failures are logged, never thrown.
    ~mss_table() override;

    /// Writes one row. Fields pair with columns by name. A field that names no column, or a
    /// column that takes no NULL, has no default and no field, throws tk_exception "The
    /// structure of data source does not conform to the destination table."; the other columns
    /// without a field are left out of the row (they take their defaults). A value its column
    /// cannot hold as it is throws udb_value_exception for this row (nothing is written
    /// changed; NULL stays NULL). On the bulk path the writer takes the record's fields (the
    /// record is left empty) and keeps them until their batch is committed: rows of a failed
    /// batch are written again and each one that fails again goes to the row-failure handler
    /// (without one, the first such failure is thrown as tk_exception once the batch is done).
    /// A bulk load that cannot start throws tk_exception; an INSERT that fails odb_exception.
    void append_record(udb_record& record) override;
    /// Rewrites the row with the record's key values ("UPDATE ... SET ... WHERE key=..."). The
    /// row not standing as the record asks afterwards is this row's failure, thrown as
    /// odb_exception: a table without a key index, a record without its key, a failed
    /// statement (the server's error), and a statement that changed no row (the conflict was
    /// on another unique index). A record of key columns only whose key exists is done. A
    /// value its column cannot hold throws udb_value_exception.
    void update(udb_record& record) override;
    /// Commits what the bulk load still holds (rows of a failed final batch are written again,
    /// as in append_record) and switches identity insertion off. Throws what the load's end
    /// throws when it is not about rows.
    void flush() override;

    /// A column default as SQL Server reports it ("((0))", "(N'it''s')", "('2010-01-01')") as
    /// a value of the column's kind; an empty value when it is no value of that kind.
    static ole_variant get_def_value(const t_ftd& column, const std::wstring& text);
    /// "UPDATE <table> SET [c]=<literal>, ... WHERE [k]=<literal> AND ..." for the record's
    /// fields that the schema has, with `key_columns` compared exactly; empty when no field is
    /// a key column. For a record of key columns only: "SELECT COUNT(*) FROM <table> WHERE
    /// [k]=<literal> AND ...", which tells whether its key exists.
    /// `key_types`, in step with `key_columns`, names the SQL Server type of each varchar,
    /// nvarchar, char or nchar key column ("varchar(10)"): those compare exactly (by code points
    /// and length; see key_item in the .cpp), the others, and every one of an empty list, by
    /// value.
    static std::wstring update_sql(const std::wstring& table, const udb_schema& schema,
                                   const std::vector<std::wstring>& key_columns,
                                   const udb_record& record, const mss_target& target,
                                   const std::vector<std::wstring>& key_types = {});
    /// "SELECT COUNT(*), SUM(CASE WHEN <exact key> THEN 1 ELSE 0 END) FROM <table> WHERE
    /// <key as the server compares it>": the rows whose key compares equal to the record's,
    /// and how many of them have exactly its key. Empty when no field is a key column.
    static std::wstring key_match_sql(const std::wstring& table, const udb_schema& schema,
                                      const std::vector<std::wstring>& key_columns,
                                      const udb_record& record, const mss_target& target,
                                      const std::vector<std::wstring>& key_types);
    /// After the record failed on a key or constraint in a merge: returns when it is the
    /// duplicate of a stored row (exactly its key) or the conflict is elsewhere; throws
    /// odb_exception when a stored row's key only compares equal to its key ('a ' and 'a',
    /// 'A' and 'a' under a case-insensitive collation), which would drop another row in
    /// silence. The statement's failure is thrown as odb_exception too.
    void check_duplicate(const udb_record& record) override;

    /// Some column is an identity column whose values the rows bring.
    bool has_identity() const { return m_has_identity; }
    /// The rows this writer has stored in the table so far: committed by the bulk loader or
    /// written by an INSERT statement. Rows still in an uncommitted batch are not counted.
    std::int64_t rows_written() const { return m_rows.stored(); }
    /// The rows the bulk path holds and what became of the others.
    const mss_load_rows& load_rows() const { return m_rows; }
    /// Replaces batch_byte_budget for this table.
    void set_batch_byte_budget(std::size_t bytes) { m_batch_byte_budget = bytes; }

    /// A batch of the bulk load ends early once the rows it holds for a replay pass this many
    /// bytes of values; the loader's 1000 rows stay the most a batch holds.
    static constexpr std::size_t batch_byte_budget = std::size_t{16} << 20;

private:
    // How the stored keys stand to a record's key.
    enum class key_match
    {
        unknown, // no key, no key field, no answer
        none,
        only_equal,
        exact,
    };
    key_match match_key(const udb_record& record);
    void update_row(udb_record& record);
    odb_exception only_equal_key(const udb_record& record) const;
    // The SQL Server type of each of the key columns that compare exactly, else empty.
    std::vector<std::wstring> key_types(const std::vector<std::wstring>& key_columns) const;

    void init_schema();
    // The type name, fractional digits, length and code page of each column (sys.columns).
    void read_column_types(const std::wstring& table_literal);
    void read_indexes(int mode);
    // Whether bulk-copied rows must be checked against the table's constraints: it has CHECK
    // constraints and no foreign key.
    void read_constraints();
    void find_identity(bool created);
    // Pairs the record's fields with the schema's columns by name (again only when the record
    // is not laid out as the last one); throws the structure tk_exception.
    void map_fields(const udb_record& record, const char* caller);
    bool same_layout(const udb_record& record) const;
    // The bytes a row's fields hold whatever their values: their objects and names.
    static std::size_t field_bytes(const udb_record& record);
    bool has_default(std::size_t column_idx) const;
    void convert_fields(udb_record& record) const;

    void slow_record(const udb_record& record);
    void fast_append(udb_record& record, std::int64_t number);
    void open_loader();
    // Binds one field; false when the value does not fit its slot and the row must go by an
    // INSERT statement. Throws udb_value_exception for a value the column cannot take.
    bool bind_field(std::uint32_t column_idx, const udb_field& field);
    bool bind_value(std::uint32_t column_idx, const t_ftd& column, const ole_variant& value);
    bool bind_text(std::uint32_t column_idx, const t_ftd& column, const ole_variant& value);
    bool bind_numeric_text(std::uint32_t column_idx, const t_ftd& column, const ole_variant& value);
    bool bind_number(std::uint32_t column_idx, const t_ftd& column, const ole_variant& value);
    bool bind_date(std::uint32_t column_idx, const t_ftd& column, const ole_variant& value);
    void bind_stream(std::uint32_t column_idx, const ole_variant& value);
    // No data is NULL; data with size 0 an empty value.
    void bind_bytes(std::uint32_t column_idx, const void* data, std::uint32_t size);

    void end_load();
    // Commits the rows sent, and takes the outcome of that commit; the loader is closed.
    void close_load();
    void after_load_closed();
    // Before the bound row is sent: waits for a commit that has ended or for which no more rows
    // can wait, and sends the rows waiting. True when the bound row waits instead (its record
    // is taken). Without a record (the load's end) every row is sent and every commit
    // finished. A failure that stops the table counts the rows not sent (the bound row among
    // them) as not stored.
    bool make_way(udb_record* record, std::int64_t number, std::size_t bytes);
    // Takes the outcome of the running commit: a failed batch is written again.
    void finish_commit();
    // Sends waiting rows in order until none waits or a commit has begun.
    void send_waiting();
    // Inserts the row just sent (`row`: its buffer copy; null: the loader's buffer); a refusal
    // of that row alone goes back to the caller with its record (`own_row`) or to the
    // row-failure handler.
    void send_row(const std::uint8_t* row, udb_record* own_row);
    // Writes the lost rows again; false when the failure lost none (the caller rethrows it).
    bool replay(const mss_fast_load_exception& failure);
    // The table ends on a lost or silent server: every row held is lost (the committing ones
    // in doubt with `commit_in_doubt`, and `replay_in_doubt` rows being written again); the
    // failure to throw, counting them.
    mss_connection_lost lose_rows(const odb_exception& cause, bool commit_in_doubt,
                                  std::size_t replay_in_doubt);
    // Hands a row's failure to the row-failure handler; a lost connection the handler meets
    // ends the table with the rows still held.
    void handle_row_failure(mss_load_row& row, const tk_exception& error);
    // A lost connection met by a statement of a merge (update, key lookup) on the session:
    // the rows the load holds are lost with it (thrown, counting them).
    [[noreturn]] void lose_with_rows(const odb_exception& error);
    void commit_batch();
    // The table stops: the rows held are not written (counted as not stored).
    void drop_rows();
    // Checks the rows' states against the loader's counts.
    void check_rows() const;
    void identity_off();
    /// What each session's first statement starts with: quoted identifiers off, and identity
    /// insertion on when the table has an identity column.
    std::wstring statement_prefix() const;
    odb_command& command();

    mss_target m_target;
    bool m_fast_load = false;
    bool m_prefix_pending = true;
    bool m_has_identity = false;
    // Identity insertion was switched on by the writer's statements and not off since.
    bool m_identity_on = false;
    std::int64_t m_rows_appended = 0;
    std::unique_ptr<odb_command> m_command;
    std::unique_ptr<mss_fast_load> m_loader;
    mss_load_rows m_rows;
    std::size_t m_batch_byte_budget = batch_byte_budget;
    // Per schema column, the position of the record field that fills it, -1 for none.
    std::vector<int> m_field_of_column;
    bool m_fields_mapped = false;
    std::size_t m_mapped_fields = 0;
    std::size_t m_field_bytes = 0;
    // Per schema column of an existing table: the server reported a default (of any kind).
    std::vector<bool> m_server_default;
    // Per schema column of an existing table: its SQL Server type, by which a value goes in
    // only when the column holds it exactly; empty for a table this writer created.
    std::vector<mss_column_type> m_column_types;
    int m_identity_column = -1;
    // The bulk load asks the server to check the table's constraints on its rows.
    bool m_check_constraints = false;
    // A text value's UTF-16 or UTF-8 on its way into its slot, reused value after value.
    std::u16string m_wide_text;
    std::string m_narrow_text;
};
