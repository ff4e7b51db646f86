// oledb_load_writer.h: the writer under the bulk loader: bulk copy through the driver where it
// has it, parameterised multi-row INSERT batches elsewhere, and single INSERT statements with
// literals for the rows bulk copy must not carry; on a connection of its own.
#pragma once

#include "plat/oledb/oledb_connstr.h"
#include "plat/oledb/oledb_load.h"

#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace plat::oledb
{

/// The table a writer loads and how it reaches it.
struct load_target
{
    /// The table's name quoted as the driver reads it.
    std::wstring table;
    std::vector<load_column> columns;
    driver_kind kind = driver_kind::other;
    /// Identity values come from the rows.
    bool keep_identity = false;
    /// NULL values stay NULL where the column has a default.
    bool keep_nulls = false;
    /// The server checks the table's constraints on bulk-copied rows; a driver that cannot ask
    /// for it loads the table by INSERT batches, which are checked anyway.
    bool check_constraints = false;
    /// Some column is an identity column.
    bool has_identity = false;
    std::wstring connection_string;
    link_factory make_link;

    bool sql_server() const
    {
        return kind == driver_kind::freetds || kind == driver_kind::microsoft;
    }
};

/// Writes the rows of one table in order. A failed call never takes its row and tells in
/// `lost` how many of the rows taken before it were rolled back with their batch (the last
/// ones taken); the writer is then able to load again, on a new connection where the driver
/// needs one.
class load_writer
{
public:
    explicit load_writer(load_target target);
    ~load_writer();
    load_writer(const load_writer&) = delete;
    load_writer& operator=(const load_writer&) = delete;

    /// Connects, asking for bulk copy on SQL Server drivers.
    link_status open();
    /// Loads only these columns of the target (their positions in target().columns, in order),
    /// leaving the others to the table's defaults: the load's column list names only them, and
    /// fewer columns than the table's go by INSERT batches, never by bulk copy. Before the first
    /// row only; false when rows were taken or a position is out of range.
    bool select_columns(const std::vector<std::size_t>& positions);
    /// Takes one row. A row that goes by an INSERT statement of its own (values too wide for
    /// bulk copy, early dates) gives up its values once the statement holds them: `values` is
    /// left empty then.
    link_status insert(load_row& values, std::uint32_t& lost);
    /// What the last insert() did with its row and the rows taken before it.
    load_row_path row_path() const { return m_row_path; }
    /// Ends the batch; `final` also ends the load and closes the connection.
    link_status commit(bool final, std::uint32_t& lost);
    /// True while rows go by bulk copy.
    bool bulk() const { return m_bulk != nullptr; }
    const load_target& target() const { return m_target; }

private:
    void columns_changed();
    link_status connect();
    link_status recover(link_status failure);
    link_status start_bulk();
    link_status end_bulk(bool done, std::uint32_t& lost);
    link_status send_bulk(const load_row& values);
    link_status flush(std::uint32_t& lost);
    link_status insert_literal(load_row& values);
    link_status identity_on();
    link_status run(const std::wstring& sql);
    // Runs what `execute` sends on a new statement and walks its results.
    link_status run(const std::function<link_status(link_statement&)>& execute);
    bool routed(const load_row& values) const;

    load_target m_target;
    std::unique_ptr<link> m_link;
    link_bulk_copy* m_bulk = nullptr;
    bool m_bulk_wanted = false;
    bool m_bulk_active = false;
    bool m_bulk_started_once = false;
    bool m_rows_taken = false;
    std::uint32_t m_bulk_rows = 0;
    std::vector<std::vector<std::uint8_t>> m_staging;
    // One value's host form and a text's UTF-8 on their way into a staging block, reused row
    // after row.
    std::vector<std::uint8_t> m_host;
    std::string m_host_text;
    bool m_identity_on = false;
    std::size_t m_capacity = 1;
    std::vector<load_row> m_pending;
    std::vector<const column_desc*> m_param_columns;
    std::unique_ptr<link_statement> m_statement; // after m_link: closed before it
    link_status m_broken;
    load_row_path m_row_path = load_row_path::batch;
};

} // namespace plat::oledb
