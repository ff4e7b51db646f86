// mss_table_load.cpp: how the table writer writes rows: INSERT statements, the bulk load with
// the rows of a failed batch written again one by one, and the end of the load.
#include "mss/mss_names.h"
#include "mss/mss_table.h"
#include "mss/odb_exception.h"
#include "ole/ole_exception.h"
#include "plat/oledb/oledb_names.h"
#include "plat/plat_fmt.h"
#include "plat/plat_text.h"
#include "tk/tk_logger.h"
#include "udb/udb_value_exception.h"

#include <algorithm>
#include <iterator>
#include <optional>

namespace
{

const std::string structure_text =
    "The structure of data source does not conform to the destination table.";

} // namespace

mss_table::~mss_table()
{
    tk_log(2, "mss_table::dtor");
    // Ending the load here is what a table that failed before flush() gets: whatever the load
    // still holds is committed, and what goes wrong now can only be logged.
    try
    {
        if (m_loader)
        {
            try
            {
                make_way(nullptr, 0, 0);
            }
            catch (const std::exception& error)
            {
                tk_wlog(3, L"Rows of %s were not stored: %s", name(),
                        plat::utf8_to_wide_lossy(error.what()));
            }
            catch (...)
            {
                // Whatever ended the rows that waited, the rows sent are still committed.
                tk_wlog(3, L"Rows of %s were not stored", name());
            }
            try
            {
                // The rows of a failed final batch are still written again or reported one by
                // one, as flush() would.
                close_load();
            }
            catch (const std::exception& error)
            {
                tk_wlog(3, L"The load of %s ended with an error: %s", name(),
                        plat::utf8_to_wide_lossy(error.what()));
            }
            drop_rows();
        }
        if (m_identity_on)
        {
            identity_off();
        }
    }
    catch (const std::exception& error)
    {
        tk_wlog(3, L"The load of %s ended with an error: %s", name(),
                plat::utf8_to_wide_lossy(error.what()));
    }
    catch (...)
    {
        tk_wlog(3, L"The load of %s ended with an unknown error", name());
    }
}

bool mss_table::has_default(std::size_t column_idx) const
{
    const ole_variant& value = schema()[column_idx]->default_value;
    return (value.get_type() != VT_EMPTY && value.get_type() != VT_NULL) ||
           (column_idx < m_server_default.size() && m_server_default[column_idx]);
}

bool mss_table::same_layout(const udb_record& record) const
{
    if (!m_fields_mapped || record.size() != m_mapped_fields)
    {
        return false;
    }
    for (std::size_t column_idx = 0; column_idx < m_field_of_column.size(); ++column_idx)
    {
        const int field_idx = m_field_of_column[column_idx];
        if (field_idx < 0)
        {
            continue;
        }
        const udb_field* field = record[static_cast<std::size_t>(field_idx)].get();
        if (field == nullptr || !plat::equal_ci(field->name(), schema()[column_idx]->name))
        {
            return false;
        }
    }
    return true;
}

void mss_table::map_fields(const udb_record& record, const char* caller)
{
    tk_log(2, "mss_table::%s(schema size=%d, record size=%d", caller, schema().size(),
           record.size());
    if (same_layout(record))
    {
        return;
    }
    // By name: a destination whose columns stand in another order than the source's still
    // gets every value in its own column.
    std::vector<int> field_of_column(schema().size(), -1);
    for (std::size_t field_idx = 0; field_idx < record.size(); ++field_idx)
    {
        const udb_field* field = record[field_idx].get();
        const int column_idx = field != nullptr ? schema().get_field_idx(field->name()) : -1;
        if (column_idx < 0 || field_of_column[static_cast<std::size_t>(column_idx)] >= 0)
        {
            tk_wlog(2, L"Field %s is not a column of %s", field != nullptr ? field->name() : L"",
                    name());
            throw tk_exception(structure_text, tk_severity::recoverable);
        }
        field_of_column[static_cast<std::size_t>(column_idx)] = static_cast<int>(field_idx);
    }
    for (std::size_t column_idx = 0; column_idx < schema().size(); ++column_idx)
    {
        if (field_of_column[column_idx] >= 0)
        {
            continue;
        }
        const t_ftd& column = *schema()[column_idx];
        if (column.b_not_null && !column.b_auto_num && !has_default(column_idx))
        {
            tk_wlog(2, L"Field %s not found: the column takes no NULL and has no default",
                    column.name);
            throw tk_exception(structure_text, tk_severity::recoverable);
        }
        tk_wlog(2, L"Field %s not found: the column keeps its default", column.name);
    }
    if (m_fields_mapped && m_loader && field_of_column != m_field_of_column)
    {
        // The load's column list is fixed when it opens: other columns need a new load.
        end_load();
    }
    // The identity column left to the server takes no identity insertion.
    if (m_identity_column >= 0 && !m_identity_on)
    {
        m_has_identity = field_of_column[static_cast<std::size_t>(m_identity_column)] >= 0;
    }
    m_field_of_column = std::move(field_of_column);
    m_mapped_fields = record.size();
    m_field_bytes = field_bytes(record);
    m_fields_mapped = true;
}

void mss_table::convert_fields(udb_record& record) const
{
    for (std::size_t column_idx = 0; column_idx < m_field_of_column.size(); ++column_idx)
    {
        const int field_idx = m_field_of_column[column_idx];
        if (field_idx < 0)
        {
            continue;
        }
        udb_field* field = record[static_cast<std::size_t>(field_idx)].get();
        const t_ftd* column = schema()[column_idx];
        if (field == nullptr || column == nullptr)
        {
            continue;
        }
        // One value that has no form in its column is this row's failure, not the table's.
        const auto failure = [&]()
        {
            return udb_value_exception(plat::wformat_w(
                L"The value '%s' has no form in column %s: it does not convert to the column's "
                L"type",
                field->to_wstring(), column->name));
        };
        if (column_idx < m_column_types.size() && !m_column_types[column_idx].name.empty())
        {
            // An existing column: the value goes in as it is or not at all, checked here where
            // the source value is still at hand, for the bulk load and INSERT alike.
            mss_convert_exact(*field, *column, m_column_types[column_idx]);
            continue;
        }
        try
        {
            field->change_type(column->vartype);
        }
        catch (const ole_cast_exception&)
        {
            throw failure();
        }
        catch (const ole_type_exception&)
        {
            throw failure();
        }
    }
}

void mss_table::append_record(udb_record& record)
{
    map_fields(record, "append_record");
    convert_fields(record);
    ++m_rows_appended;
    const std::int64_t number = next_row_number() > 0 ? next_row_number() : m_rows_appended;
    if (m_fast_load)
    {
        fast_append(record, number);
        check_rows();
    }
    else
    {
        slow_record(record);
        m_rows.stored_outside();
    }
}

void mss_table::slow_record(const udb_record& record)
{
    tk_log(2, "mss_table::slow_record(schema size=%d, record size=%d", schema().size(),
           record.size());
    std::wstring sql;
    const bool with_prefix = m_prefix_pending;
    if (with_prefix)
    {
        sql = statement_prefix();
    }
    std::wstring columns;
    std::wstring values;
    for (std::size_t column_idx = 0; column_idx < m_field_of_column.size(); ++column_idx)
    {
        const int field_idx = m_field_of_column[column_idx];
        if (field_idx < 0)
        {
            continue;
        }
        const t_ftd* column = schema()[column_idx];
        const udb_field& field = *record[static_cast<std::size_t>(field_idx)];
        columns += (columns.empty() ? L"" : L", ") + mss_quote_name(column->name);
        values += (values.empty() ? L"" : L", ") + mss_get_fld_append_str(&field, column, m_target);
    }
    if (columns.empty())
    {
        return;
    }
    sql += L"INSERT INTO " + name() + L"(" + columns + L")" + L" VALUES( " + values + L")";
    tk_wlog(2, L"Run SQL query: %s\n", sql);
    // Identity insertion may be on even when the statement fails after its SET.
    m_identity_on = m_identity_on || (with_prefix && m_has_identity);
    command().execute(sql);
    // Kept until a statement carrying it ran: a statement that fails as a whole runs no SET.
    m_prefix_pending = false;
}

void mss_table::open_loader()
{
    auto loader = std::make_unique<mss_fast_load>();
    std::wstring table = name();
    DBID table_id{};
    table_id.eKind = DBKIND_NAME;
    table_id.uName.pwszName = table.data();
    // Only the columns the rows fill: the others keep their defaults.
    std::vector<bool> wanted(schema().size(), false);
    for (std::size_t column_idx = 0; column_idx < m_field_of_column.size(); ++column_idx)
    {
        wanted[column_idx] = m_field_of_column[column_idx] >= 0;
    }
    try
    {
        loader->open_table(session(), &table_id, schema(), m_target, wanted, m_check_constraints);
    }
    catch (const odb_exception& refusal)
    {
        // The whole table, not this row: every later row would meet the same refusal.
        tk_exception failure(plat::wformat_w(L"The bulk load of %s cannot start: %s", name(),
                                             plat::utf8_to_wide_lossy(refusal.what())),
                             tk_severity::recoverable);
        failure.set_connection_lost(refusal.connection_lost());
        throw failure;
    }
    m_loader = std::move(loader);
    // The loader's columns pair with the schema's by position: the same table, read twice.
    const CDynamicAccessorEx& accessor = m_loader->accessor();
    bool same_columns = accessor.column_count() == schema().size();
    for (std::uint32_t column_idx = 0; same_columns && column_idx < accessor.column_count();
         ++column_idx)
    {
        const DBCOLUMNINFO& info = accessor.column(column_idx);
        same_columns =
            info.pwszName == nullptr || plat::equal_ci(info.pwszName, schema()[column_idx]->name);
    }
    if (!same_columns)
    {
        throw tk_exception(structure_text, tk_severity::recoverable);
    }
    const std::wstring prefix = statement_prefix();
    m_identity_on = m_identity_on || m_has_identity;
    try
    {
        command().execute(prefix);
    }
    catch (const odb_exception& error)
    {
        tk_exception failure(plat::wformat_w(L"The bulk load of %s cannot start: %s", name(),
                                             plat::utf8_to_wide_lossy(error.what())),
                             tk_severity::recoverable);
        failure.set_connection_lost(error.connection_lost());
        throw failure;
    }
    // The rows written again by INSERT statements share the session and need no prefix.
    m_prefix_pending = false;
    // The next rows are read and bound while the server commits a batch; rows holding streams
    // cannot wait with a copy of their row buffer.
    m_loader->set_background_commits(m_loader->rows_copyable());
}

namespace
{

// The bytes a row's values hold beyond the fixed part of each field (field_bytes).
std::size_t value_bytes(const udb_record& record)
{
    std::size_t bytes = 0;
    for (const std::unique_ptr<udb_field>& field : record)
    {
        if (field == nullptr)
        {
            continue;
        }
        if (field->get_type() == VT_BSTR)
        {
            bytes += field->value.bstrVal.size() * sizeof(wchar_t);
        }
        else if (field->get_type() == VT_BYTE_ARRAY)
        {
            const std::uint8_t* data = nullptr;
            bytes += field->get_bytes(data);
        }
    }
    return bytes;
}

} // namespace

std::size_t mss_table::field_bytes(const udb_record& record)
{
    std::size_t bytes = 0;
    for (const std::unique_ptr<udb_field>& field : record)
    {
        if (field != nullptr)
        {
            bytes += sizeof(udb_field) + field->name().size() * sizeof(wchar_t);
        }
    }
    return bytes;
}

void mss_table::fast_append(udb_record& record, std::int64_t number)
{
    tk_log(2, "mss_table::fast_append");
    if (!m_loader)
    {
        open_loader();
    }
    bool fits = true;
    try
    {
        for (std::uint32_t column_idx = 0; fits && column_idx < m_field_of_column.size();
             ++column_idx)
        {
            const int field_idx = m_field_of_column[column_idx];
            if (field_idx >= 0)
            {
                fits = bind_field(column_idx, *record[static_cast<std::size_t>(field_idx)]);
            }
        }
    }
    catch (const udb_value_exception&)
    {
        // Refused before it reached the load: the caller reports it with its number.
        m_rows.reported_outside();
        throw;
    }
    if (!fits)
    {
        // In order: the rows loaded so far are committed before this one is written.
        tk_wlog(2, L"Row %d of %s goes by an INSERT statement", number, name());
        try
        {
            end_load();
        }
        catch (const mss_connection_lost& lost)
        {
            // This row went with the connection too.
            m_rows.lost_outside();
            throw mss_connection_lost(lost, lost.rows_not_stored() + 1, lost.rows_in_doubt());
        }
        catch (...)
        {
            m_rows.lost_outside();
            throw;
        }
        try
        {
            slow_record(record);
        }
        catch (const odb_exception& error)
        {
            if (error.connection_lost())
            {
                m_rows.lost_outside();
            }
            else
            {
                m_rows.reported_outside();
            }
            throw;
        }
        m_rows.stored_outside();
        return;
    }
    // The record's fields themselves, not a copy: a row may hold megabytes.
    // The fields' fixed part is the same for every row of the mapping (names equal but for
    // case have the same length).
    const std::size_t bytes = m_field_bytes + value_bytes(record);
    if (make_way(&record, number, bytes))
    {
        return;
    }
    m_rows.send(mss_load_row{number, std::move(record), bytes});
    send_row(nullptr, &record);
}

bool mss_table::make_way(udb_record* record, std::int64_t number, std::size_t bytes)
{
    try
    {
        for (;;)
        {
            if (m_loader->commit_running())
            {
                const std::size_t row_size = m_loader->accessor().row_size();
                if (record != nullptr && !m_loader->commit_ended() &&
                    m_rows.waiting() < mss_fast_load::commit_every &&
                    m_rows.waiting_bytes() + bytes + row_size <= m_batch_byte_budget)
                {
                    m_rows.wait(mss_load_row{number, std::move(*record), bytes},
                                m_loader->accessor().buffer_data(), row_size);
                    return true;
                }
                finish_commit();
            }
            else if (m_rows.waiting() > 0)
            {
                send_waiting();
            }
            else
            {
                m_rows.release(record_pool());
                return false;
            }
        }
    }
    catch (const mss_connection_lost& lost)
    {
        // The rows held went with the connection when it was found lost; the bound row too.
        if (record == nullptr)
        {
            throw;
        }
        m_rows.lost_outside();
        throw mss_connection_lost(lost, lost.rows_not_stored() + 1, lost.rows_in_doubt());
    }
    catch (...)
    {
        // The table stops at a failure of the rows before them: the rows still waiting come
        // after it and are not written.
        if (const std::int64_t dropped = m_rows.drop_waiting(); dropped > 0)
        {
            tk_wlog(3, L"%d rows of %s were not written: the table stopped before them", dropped,
                    name());
        }
        if (record != nullptr)
        {
            m_rows.lost_outside();
        }
        throw;
    }
}

void mss_table::finish_commit()
{
    try
    {
        m_loader->finish_commit();
    }
    catch (const mss_fast_load_exception& failure)
    {
        // No row was sent after the batch: the rows to write again are its last ones.
        replay(failure);
        return;
    }
    m_rows.commit_stored();
    if (m_rows.waiting() == 0)
    {
        m_rows.release(record_pool());
    }
    // Else given back to the pool once the rows that waited for this commit are sent.
}

void mss_table::send_waiting()
{
    while (m_rows.waiting() > 0 && !m_loader->commit_running())
    {
        send_row(m_rows.send_waiting(), nullptr);
    }
    if (m_rows.waiting() == 0)
    {
        m_rows.release(record_pool());
    }
}

void mss_table::drop_rows()
{
    const mss_rows_lost dropped = m_rows.lose(false);
    if (dropped.not_stored > 0)
    {
        tk_wlog(3, L"%d rows of %s were not written: the table stopped before them",
                dropped.not_stored, name());
    }
}

void mss_table::check_rows() const
{
    m_rows.check(m_loader ? static_cast<std::int64_t>(m_loader->rows_since_commit()) : -1);
}

void mss_table::send_row(const std::uint8_t* row, udb_record* own_row)
{
    try
    {
        if (row != nullptr)
        {
            m_loader->insert_data(row);
        }
        else
        {
            m_loader->insert_data();
        }
    }
    catch (const mss_fast_load_exception& failure)
    {
        const load_row_path path = failure.row_path();
        if (path == load_row_path::apart_failed)
        {
            // The provider committed the rows before this one, then this row's own statement
            // failed.
            m_rows.store_before_last();
            if (failure.connection_lost())
            {
                // The statement was sent: it may have run before its answer was lost.
                std::size_t missing = 0;
                m_rows.fail(1, missing);
                throw lose_rows(failure, false, 1);
            }
        }
        else if (path == load_row_path::commit_failed)
        {
            // The provider's commit of the rows before this one failed; this row was not sent.
            m_rows.begin_commit(1);
        }
        else if (failure.in_commit() && m_rows.committing() == 0)
        {
            // The commit every 1000 rows ran in line and failed.
            m_rows.begin_commit();
        }
        if (failure.rows_to_replay() == 0 && !failure.connection_lost() && !failure.in_commit())
        {
            // Nothing to write again: the failure is this row's, with its record. (A commit
            // that failed with nothing to write again stored the row: replay() counts it.)
            mss_load_row refused = m_rows.refuse_last();
            if (own_row != nullptr)
            {
                *own_row = std::move(refused.record);
                throw;
            }
            if (!row_failure_handler())
            {
                throw tk_exception(plat::wformat(L"Row %d of %s could not be stored: %s",
                                                 refused.number, name(),
                                                 plat::utf8_to_wide_lossy(failure.what())),
                                   tk_severity::recoverable);
            }
            handle_row_failure(refused, failure);
            return;
        }
        replay(failure);
        return;
    }
    if (m_loader->last_row_path() == load_row_path::after_commit)
    {
        // The provider committed the rows before this one (a full INSERT batch).
        m_rows.store_before_last();
        if (m_rows.waiting() == 0)
        {
            m_rows.release(record_pool());
        }
    }
    if (m_loader->commit_running())
    {
        m_rows.begin_commit();
    }
    else if (m_loader->rows_since_commit() == 0)
    {
        // The commit every 1000 rows ran in line (rows holding streams) and stored them, or
        // the provider committed the rows before this one and wrote this one apart.
        m_rows.begin_commit();
        m_rows.commit_stored();
        m_rows.release(record_pool());
    }
    else if (m_rows.batch_bytes() >= m_batch_byte_budget)
    {
        commit_batch();
    }
}

void mss_table::commit_batch()
{
    tk_wlog(2, L"A batch of %s ends early: its %d rows hold %d bytes", name(), m_rows.open(),
            m_rows.batch_bytes());
    m_rows.begin_commit();
    try
    {
        m_loader->commit();
    }
    catch (const mss_fast_load_exception& failure)
    {
        if (!replay(failure))
        {
            throw;
        }
        return;
    }
    m_rows.commit_stored();
    if (m_rows.waiting() == 0)
    {
        m_rows.release(record_pool());
    }
}

bool mss_table::replay(const mss_fast_load_exception& failure)
{
    const std::size_t lost = failure.rows_to_replay();
    tk_wlog(2, L"A batch of %s was not stored (%d rows): %s", name(), lost,
            plat::utf8_to_wide_lossy(failure.what()));
    if (failure.connection_lost())
    {
        // Nothing can be written again over a connection that is gone: every row held (those
        // of the batch, those waiting) is counted in the one report of the table, not reported
        // one by one. Every row since the last commit went with the connection, also when the
        // driver said only the failing row was refused; a commit's rows may have arrived.
        // A commit without an answer is in doubt alike: its rows are never written again.
        throw lose_rows(failure, failure.in_commit(), 0);
    }
    // The lost rows are the last ones taken; the ones before them that the loader still
    // holds uncommitted stay in its batch.
    std::size_t missing = 0;
    std::vector<mss_load_row> rows = m_rows.fail(lost, missing);
    if (lost == 0)
    {
        return false;
    }
    std::optional<std::string> unreported;
    if (missing > 0)
    {
        // Rows this writer never held cannot be written again: the table's failure, not
        // silence.
        unreported = plat::wformat(L"%d rows of %s were lost with their batch: %s", missing, name(),
                                   plat::utf8_to_wide_lossy(failure.what()));
        tk_wlog(3, L"%s", plat::utf8_to_wide_lossy(*unreported));
    }
    const auto report = [&](mss_load_row& row, const tk_exception& error)
    {
        m_rows.replayed_reported();
        if (row_failure_handler())
        {
            handle_row_failure(row, error);
            return;
        }
        tk_wlog(3, L"Row %d of %s could not be stored: %s", row.number, name(),
                plat::utf8_to_wide_lossy(error.what()));
        if (!unreported)
        {
            unreported = plat::wformat(L"Row %d of %s could not be stored: %s", row.number, name(),
                                       plat::utf8_to_wide_lossy(error.what()));
        }
    };
    for (mss_load_row& row : rows)
    {
        if (!same_layout(row.record))
        {
            // append_record mapped the rows it takes; a row kept from before a change of the
            // mapping would put its values into other columns.
            drop_rows();
            throw tk_exception(structure_text, tk_severity::recoverable);
        }
        try
        {
            slow_record(row.record);
            m_rows.replayed_stored();
        }
        catch (const odb_exception& error)
        {
            if (error.connection_lost())
            {
                // The statement may have run before its answer was lost.
                throw lose_rows(error, false, 1);
            }
            report(row, error);
        }
        catch (const udb_value_exception& error)
        {
            report(row, error);
        }
    }
    if (unreported)
    {
        throw tk_exception(*unreported, tk_severity::recoverable);
    }
    return true;
}

mss_connection_lost mss_table::lose_rows(const odb_exception& cause, bool commit_in_doubt,
                                         std::size_t replay_in_doubt)
{
    const mss_rows_lost rows = m_rows.lose(commit_in_doubt, replay_in_doubt);
    if (m_loader && !m_loader->commit_running())
    {
        // Rows counted as not stored must stay so: the load is released without its final
        // commit (its connection, where it still stands, rolls back what it was sent).
        m_loader.reset();
        after_load_closed();
    }
    mss_connection_lost lost(cause, rows.not_stored, rows.in_doubt);
    const auto* load_failure = dynamic_cast<const mss_fast_load_exception*>(&cause);
    if (load_failure != nullptr && load_failure->silent_seconds() > 0)
    {
        lost.set_silent_seconds(load_failure->silent_seconds());
    }
    else if (commit_in_doubt && rows.in_doubt > 0 && lost.silent_seconds() == 0)
    {
        // The commit was answered, with an error that leaves its rows in doubt.
        lost.set_commit_failure(plat::utf8_to_wide_lossy(cause.message()));
    }
    return lost;
}

void mss_table::handle_row_failure(mss_load_row& row, const tk_exception& error)
{
    try
    {
        row_failure_handler()(row.record, row.number, error);
    }
    catch (const mss_connection_lost& lost)
    {
        // The handler's own statement (the update of a merge, a key looked up) found the
        // connection gone: the table ends as anywhere else, with the rows still held (those
        // still to write again among them) counted next to the handler's row.
        const mss_connection_lost rest = lose_rows(lost, false, 0);
        throw mss_connection_lost(lost, lost.rows_not_stored() + rest.rows_not_stored(),
                                  lost.rows_in_doubt() + rest.rows_in_doubt());
    }
}

void mss_table::after_load_closed()
{
    // The provider may have switched identity insertion off with the load's end, or may not
    // have known the column for an identity column: the writer switched it on, so the writer
    // switches it off (flush, destructor), and a later INSERT sends its prefix again.
    m_prefix_pending = true;
}

void mss_table::end_load()
{
    if (!m_loader)
    {
        return;
    }
    make_way(nullptr, 0, 0);
    close_load();
}

void mss_table::close_load()
{
    if (!m_loader)
    {
        return;
    }
    const std::unique_ptr<mss_fast_load> loader = std::move(m_loader);
    if (loader->abandoned())
    {
        // Given up with a commit that got no answer: its rows were counted then.
        after_load_closed();
        return;
    }
    if (loader->commit_running())
    {
        // The rows before could not be sent; the commit still running is waited for here.
        throw tk_mail_assertion("mss_tabl", 700);
    }
    // The final commit takes every row sent.
    m_rows.begin_commit();
    try
    {
        loader->close_table();
    }
    catch (const mss_fast_load_exception& failure)
    {
        after_load_closed();
        if (!replay(failure))
        {
            throw;
        }
        return;
    }
    catch (...)
    {
        // The commit went through; what failed came after it.
        after_load_closed();
        m_rows.commit_stored();
        m_rows.release(record_pool());
        throw;
    }
    after_load_closed();
    m_rows.commit_stored();
    m_rows.release(record_pool());
}

std::wstring mss_table::statement_prefix() const
{
    std::wstring prefix = L"SET QUOTED_IDENTIFIER OFF; ";
    if (m_has_identity)
    {
        prefix += plat::oledb::identity_insert_sql(name(), true) + L"; ";
    }
    return prefix;
}

void mss_table::identity_off()
{
    m_identity_on = false;
    m_prefix_pending = true;
    command().execute(plat::oledb::identity_insert_sql(name(), false) + L";");
}

void mss_table::flush()
{
    tk_wlog(2, L"mss_table::flush(%s)", name());
    end_load();
    check_rows();
    if (m_identity_on)
    {
        identity_off();
    }
}
