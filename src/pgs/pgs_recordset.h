// pgs_recordset.h: a PostgreSQL table or named query read as neutral records through a cursor.
#pragma once

#include "pgs/pgs_ftd.h"
#include "udb/udb_recordset.h"
#include "udb/udb_relationships.h"

#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <pqxx/pipeline>
#include <pqxx/result>
#include <pqxx/transaction>
#include <string>
#include <string_view>

class pgs_copy_writer;
class pgs_database;

/// Ends an abandoned COPY load without throwing.
struct pgs_copy_writer_deleter
{
    void operator()(pgs_copy_writer* writer) const noexcept;
};

/// Reads one table or named query. The constructor reads the catalog (columns, keys, indexes,
/// foreign keys) and counts the rows; reset() opens the connection's only transaction and a
/// cursor that fetches rows in blocks, the next block always on its way while the current one is
/// read. A block holds at most 10000 rows and, by the widest row read so far, about 32 MiB: the
/// first blocks are small and grow while the rows allow, so that wide rows (a megabyte of bytea
/// each) never gather by the ten thousand. The transaction stays open until the recordset is
/// destroyed: other work on the connection fails (pgs_exception) until then.
class pgs_recordset : public udb_recordset
{
public:
    /// The most rows one cursor read fetches.
    static constexpr int block_rows = 10000;
    /// The bytes of values one cursor read aims at, judged by the widest row read so far.
    static constexpr std::size_t block_bytes = 32u << 20;
    /// Rows fetched by the first cursor read: one, whose width sizes the next read, so that a
    /// table of rows of hundreds of megabytes never has two of them in hand at once.
    static constexpr int first_block_rows = 1;
    /// Rows the second read may reach when the rows allow; each later read at most doubles the
    /// one before.
    static constexpr int early_block_rows = 32;

    /// A listed table of `database`; its foreign keys go to `relationships`. Throws
    /// pgs_exception when the catalog or the count cannot be read.
    pgs_recordset(pgs_database& database, const std::wstring& name,
                  udb_relationships& relationships, int mode);
    /// The rows of `sql`, a SELECT, under `name`. Its columns come from the query's result.
    /// Throws pgs_exception naming the query when it does not run.
    pgs_recordset(pgs_database& database, const std::wstring& name, const std::wstring& sql,
                  udb_relationships& relationships, int mode);
    /// Never throws: a failure while closing the cursor or transaction is logged.
    ~pgs_recordset() override;

    /// Writes a row: through COPY when the engine has fast append on, else as one INSERT. A
    /// COPY load holds the connection's only transaction until flush() or the recordset's end;
    /// a bad row makes the whole load fail there. A table of the conversion's source database
    /// is never written: pgs_exception.
    void append_record(udb_record& record) override;
    /// Rewrites the row with the record's values of the key index's columns (ends a COPY load
    /// first). A table without a key index is left alone; a row that matches no key is logged.
    /// Throws pgs_exception with the library's message when the statement fails.
    void update(udb_record& record) override;
    /// Ends the COPY load: every row written since it began is stored, or none is and
    /// pgs_exception says so with the library's message.
    void flush() override;
    /// The current row; null at the end. The record stays owned by the recordset and is valid
    /// until the next get_item or the recordset's end. Numerics and money arrive as decimals of
    /// every digit. A value with no neutral form (an infinite or BC date, a time of 24:00, NaN or
    /// an infinity in a numeric) throws udb_value_exception naming table, column and value; the
    /// cursor stays on the row, so next() moves on to the following one.
    udb_record* get_item() override;
    bool is_eof() override;
    /// Moves to the next row, fetching the next block at the end of one. Throws pgs_exception.
    void next() override;
    /// On the last row of a block, frees the block: a row of tens of megabytes is then no
    /// longer held twice (as the server sent it and as its record) while it is written.
    void row_taken() override;
    /// Opens the read transaction and the cursor and fetches the first block. Throws
    /// pgs_exception.
    void reset() override;

    /// The rows of the block in hand.
    std::size_t block_size() const { return m_block_rows; }
    /// The select list: one expression per column, in schema order.
    std::wstring get_select_fields() const;
    /// The whole statement reset() runs.
    std::wstring get_select_sql() const;
    /// The number of rows. Throws pgs_exception "Cannot get number of records (name): ...".
    std::int64_t get_rec_count();
    /// Reads every row once, under the reader's output settings. A column's figure is exact:
    /// one UTF-16 unit a character, two for a character beyond U+FFFF, a char(n) with its
    /// padding; in a SQL_ASCII database, whose bytes the server does not interpret, its bytes.
    /// Throws pgs_exception "Cannot measure the values of (name): ..." and for a name that is no
    /// column of the table.
    std::vector<std::int32_t> longest_text(const std::vector<std::wstring>& columns) override;
    /// longest_text of the text columns and the digits of the numeric columns, in one aggregate
    /// query over the table (a query entry is run for it). NaN and infinities are left aside;
    /// a column without other values gives an empty extent. Throws as longest_text.
    udb_column_measures measure_columns(const std::vector<std::wstring>& text_columns,
                                        const std::vector<std::wstring>& decimal_columns) override;

    const std::wstring& schema_name() const { return m_schema_name; }
    const std::wstring& table_name() const { return m_table_name; }
    const std::wstring& db_name() const { return m_db_name; }

    /// The rule word of a foreign key's delete action letter; empty for no action and others.
    static std::wstring get_delete_rule(char letter);

private:
    /// How a column's text becomes a value; chosen once per column.
    enum class value_kind
    {
        text,
        binary,
        boolean,
        date,
        integer,
        decimal,
        other
    };

    void resolve_name(const std::wstring& name);
    void init_schema();
    void init_indexes();
    void init_query_schema();
    /// Reads money's scale into `money_scale` at the first money column.
    void add_catalog_column(pqxx::work& transaction, const pqxx::row& row, bool& auto_num_taken,
                            std::optional<int>& money_scale);
    std::wstring source_sql() const;
    std::wstring column_reference(std::size_t position) const;
    void plan_values();
    void fetch_block();
    void close_reading() noexcept;
    void fast_append(udb_record& record);
    void slow_append(udb_record& record);
    void end_copy();
    void close_writing() noexcept;
    /// The table's columns the record's fields go to, by name; an empty name for a field
    /// whose column the schema lacks.
    std::vector<std::wstring> target_columns(const udb_record& record, bool update_names) const;
    std::wstring write_table_name() const;
    /// Throws pgs_exception when the database is the conversion's source.
    void refuse_source_write() const;
    ole_variant read_value(std::size_t position, const pqxx::field& field);
    /// Throws udb_value_exception naming the value, the column and the table.
    [[noreturn]] void throw_unrepresentable(std::string_view text, const std::wstring& column,
                                            const std::wstring& reason) const;

    std::wstring m_db_name;
    udb_relationships* m_relationships;
    bool m_eof = false;
    pgs_database* m_database;
    std::wstring m_schema_name;
    std::wstring m_table_name;
    /// The table's oid in the catalog; 0 for a query or a table that was not found.
    std::uint32_t m_table_oid = 0;
    /// Partitioned tables are read whole; ordinary ones without their inheritance children,
    /// which are listed (and read) as tables of their own.
    bool m_partitioned = false;
    std::vector<value_kind> m_value_kinds;
    std::unique_ptr<udb_record> m_record;
    pqxx::result m_block;
    /// The rows of the block in hand, also once row_taken() freed it.
    pqxx::result::size_type m_block_rows = 0;
    pqxx::result::size_type m_row = 0;
    /// row_taken() freed the block: its rows can be read no more.
    bool m_block_freed = false;
    std::unique_ptr<pqxx::work> m_read_transaction;
    /// Carries the cursor's fetches; m_pending is the fetch on its way, -1 when none.
    std::unique_ptr<pqxx::pipeline> m_pipeline;
    pqxx::pipeline::query_id m_pending = -1;
    std::unique_ptr<pgs_copy_writer, pgs_copy_writer_deleter> m_copy;
    /// Rows written into the COPY load since it began.
    std::int64_t m_copy_rows = 0;
    /// Rows asked for by the fetch on its way, and the bytes of the widest row read so far.
    int m_requested_rows = 0;
    std::size_t m_widest_row = 0;
};
