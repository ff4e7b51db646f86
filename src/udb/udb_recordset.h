// udb_recordset.h: a table or query of one side, its columns, indexes and rows.
#pragma once

#include "udb/udb_decimal_extent.h"
#include "udb/udb_indexes.h"
#include "udb/udb_record.h"
#include "udb/udb_schema.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

class tk_exception;

/// Told about a row that a batched write could not store: the row (as it was appended), its
/// number within the table counting from 1, and the failure. Installed by whoever drives the
/// writer, so that each such row still gets its per-row error policy.
using udb_row_failure_handler =
    std::function<void(udb_record& record, std::int64_t row_number, const tk_exception& error)>;

/// What one read over a recordset's rows measures (udb_recordset::measure_columns).
struct udb_column_measures
{
    /// Per text column asked for: as longest_text gives it.
    std::vector<std::int32_t> longest_units;
    /// Per decimal column asked for: the digits its values need.
    std::vector<udb_decimal_extent> decimals;
};

/// The engine-neutral recordset: the source side yields rows through it, the target side takes
/// rows through it. Reading loop: reset(); while (!is_eof()) { get_item(); ...; next(); }.
/// Made by a udb_database and owned by whoever asked for it.
class udb_recordset
{
public:
    /// `schema_tag` goes to the schema. The query text starts empty, key_index at -1.
    udb_recordset(const std::wstring& name, int schema_tag);
    virtual ~udb_recordset();

    udb_recordset(const udb_recordset&) = delete;
    udb_recordset& operator=(const udb_recordset&) = delete;

    /// Contract: writes `record` as a new row of the table; throws on failure.
    virtual void append_record(udb_record& record) = 0;
    /// Contract: writes `record` over the existing row with the same key. The base only logs.
    virtual void update(udb_record& record);
    /// Contract: the current row, or null when there is none. The recordset keeps it; it stays
    /// valid at least until the next get_item, next or reset. The base has no rows: null.
    virtual udb_record* get_item();
    /// Contract: called after `record` failed on a key or constraint in a merge, which drops
    /// the duplicates of stored rows: returns when the record is one (or the side cannot tell),
    /// throws the side's exception when a stored row's key only compares equal to the record's
    /// (another key the server's comparison takes for the same), so that the row is reported.
    /// The base returns.
    virtual void check_duplicate(const udb_record& record);
    /// Contract: true when no current row is left. The base: true.
    virtual bool is_eof();
    /// Contract: true when the recordset reads a query rather than a table. The base: the query
    /// text is not empty.
    virtual bool is_query() const;
    /// Contract: moves to the next row. The base does nothing.
    virtual void next();
    /// Contract: the caller keeps the current row's record (from get_item) and asks for that row
    /// no more, so a side may let go of what it read the row from before next(); get_item then
    /// throws until next() moves on. The base does nothing.
    virtual void row_taken();
    /// Contract: positions before the first row and starts reading. The base does nothing.
    virtual void reset();
    /// Contract: for each of `columns` (text columns of this recordset, by name) the UTF-16
    /// units of the longest value it holds, at most: never fewer than the longest value takes;
    /// 0 for a column without values. Throws the side's exception. The base has no rows: -1
    /// (not known) for each.
    virtual std::vector<std::int32_t> longest_text(const std::vector<std::wstring>& columns);
    /// Contract: in one read of the rows, longest_text of `text_columns` and, for each of
    /// `decimal_columns` (decimal columns by name), the digits its values need. Throws the side's
    /// exception. The base: longest_text, and empty extents (nothing measured).
    virtual udb_column_measures measure_columns(const std::vector<std::wstring>& text_columns,
                                                const std::vector<std::wstring>& decimal_columns);
    /// Contract: a writer stores every row appended so far and ends its load; a row that fails
    /// there goes to the row-failure handler, any other failure throws. After flush() the
    /// destructor has nothing left to report. The base does nothing.
    virtual void flush();
    /// The number (from 1) of the source row that the next append_record carries. Set by whoever
    /// drives a writer, so that a failure reported later names the source row even when earlier
    /// rows never reached the writer; 0 (the default) lets the writer count its own rows.
    void set_next_row_number(std::int64_t number) { m_next_row_number = number; }
    /// Installs the handler for rows that a batched write could not store.
    void set_row_failure_handler(udb_row_failure_handler handler)
    {
        m_row_failure_handler = std::move(handler);
    }

    /// Shares `pool` between the reader and the writer of one run: the writer gives it the
    /// records it has stored for good, the reader fills them again. Null (the default): none.
    void set_record_pool(std::shared_ptr<udb_record_pool> pool) { m_record_pool = std::move(pool); }

    /// Changes each field of `record` to the value type of the schema column at the same
    /// position (fields and columns pair by position, not by name; the caller has checked that
    /// the counts match). Throws ole_cast_exception when a value does not convert.
    void convert_record(udb_record& record) const;
    /// Appends `index` when no index of its name exists (otherwise nothing changes); the first
    /// primary or unique index appended becomes the key index.
    void add_index(const udb_index& index);
    /// Appends a column descriptor that the recordset's schema owns; returns it.
    t_ftd& add_column(std::unique_ptr<t_ftd> column);

    const std::wstring& name() const { return m_name; }
    const std::wstring& query() const { return m_query; }
    void set_query(const std::wstring& query) { m_query = query; }
    udb_schema& schema() { return m_schema; }
    const udb_schema& schema() const { return m_schema; }
    udb_indexes& indexes() { return m_indexes; }
    const udb_indexes& indexes() const { return m_indexes; }
    /// The number of rows the recordset will deliver, set by the deriving class.
    std::int64_t record_count() const { return m_record_count; }
    void set_record_count(std::int64_t count) { m_record_count = count; }
    /// Position in indexes() of the first primary or unique index added; -1 when none.
    int key_index() const { return m_key_index; }

protected:
    void set_name(const std::wstring& name) { m_name = name; }
    /// The installed handler; empty when none.
    const udb_row_failure_handler& row_failure_handler() const { return m_row_failure_handler; }
    std::int64_t next_row_number() const { return m_next_row_number; }
    void set_key_index(int position) { m_key_index = position; }
    /// The shared pool of records; null when none is set.
    udb_record_pool* record_pool() const { return m_record_pool.get(); }

private:
    std::wstring m_query;
    std::wstring m_name;
    udb_schema m_schema;
    udb_indexes m_indexes;
    std::int64_t m_record_count = 0;
    int m_key_index = -1;
    udb_row_failure_handler m_row_failure_handler;
    std::int64_t m_next_row_number = 0;
    std::shared_ptr<udb_record_pool> m_record_pool;
};
