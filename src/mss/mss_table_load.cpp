// mss_table_load.cpp: how the table writer writes rows: INSERT statements, the bulk load with
// the rows of a failed batch written again one by one, and the end of the load.
#include "mss/mss_names.h"
#include "mss/mss_table.h"
#include "mss/odb_exception.h"
#include "ole/ole_exception.h"
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

std::wstring wide(const char* text)
{
    return plat::utf8_to_wide_lossy(text);
}

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
            const std::unique_ptr<mss_fast_load> loader = std::move(m_loader);
            try
            {
                loader->close_table();
            }
            catch (const mss_fast_load_exception& failure)
            {
                tk_wlog(3, L"%d rows of %s were not stored: %s", failure.rows_to_replay(), name(),
                        wide(failure.what()));
            }
            catch (const std::exception& error)
            {
                tk_wlog(3, L"The load of %s ended with an error: %s", name(), wide(error.what()));
            }
            after_load_closed();
        }
        if (m_identity_on)
        {
            identity_off();
        }
    }
    catch (const std::exception& error)
    {
        tk_wlog(3, L"The load of %s ended with an error: %s", name(), wide(error.what()));
    }
    catch (...)
    {
        tk_wlog(3, L"The load of %s ended with an unknown error", name());
    }
}

void mss_table::check_field_count(const udb_record& record, const char* caller) const
{
    tk_log(2, "mss_table::%s(schema size=%d, record size=%d", caller, schema().size(),
           record.size());
    if (schema().size() != record.size())
    {
        throw tk_exception(structure_text, 0);
    }
}

void mss_table::convert_fields(udb_record& record) const
{
    for (std::size_t field_idx = 0; field_idx < record.size(); ++field_idx)
    {
        udb_field* field = record[field_idx].get();
        const t_ftd* column = schema()[field_idx];
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
    check_field_count(record, "append_record");
    convert_fields(record);
    ++m_rows_appended;
    const std::int64_t number = next_row_number() > 0 ? next_row_number() : m_rows_appended;
    if (m_fast_load)
    {
        fast_append(record, number);
    }
    else
    {
        slow_record(record);
    }
}

void mss_table::slow_record(const udb_record& record)
{
    check_field_count(record, "slow_record");
    std::wstring sql;
    const bool with_prefix = m_prefix_pending;
    if (with_prefix)
    {
        sql = L"SET QUOTED_IDENTIFIER OFF; ";
        if (m_has_identity)
        {
            sql += L"SET IDENTITY_INSERT " + name() + L" ON; ";
        }
    }
    std::wstring columns;
    std::wstring values;
    for (const t_ftd* column : schema())
    {
        if (!record.find_field(column->name))
        {
            tk_wlog(2, L"Field %s not found", column->name);
            throw tk_exception(structure_text, 0);
        }
        const udb_field& field = record.get_field(column->name);
        columns += (columns.empty() ? L"" : L", ") + mss_quote_name(column->name);
        values += (values.empty() ? L"" : L", ") + mss_get_fld_append_str(&field, column, m_target);
    }
    if (schema().empty() || record.empty())
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
    const HRESULT hr = loader->open_table(session(), &table_id, schema(), m_target);
    if (FAILED(hr))
    {
        // The whole table, not this row: every later row would meet the same refusal.
        const odb_exception refusal(hr);
        tk_exception failure(
            plat::wformat_w(L"The bulk load of %s cannot start: %s", name(), wide(refusal.what())),
            0);
        failure.set_connection_lost(refusal.connection_lost());
        throw failure;
    }
    m_loader = std::move(loader);
    if (m_loader->accessor().column_count() != schema().size())
    {
        throw tk_exception(structure_text, 0);
    }
    std::wstring prefix = L"SET QUOTED_IDENTIFIER OFF; ";
    if (m_has_identity)
    {
        prefix += L"SET IDENTITY_INSERT " + name() + L" ON; ";
    }
    m_identity_on = m_identity_on || m_has_identity;
    try
    {
        command().execute(prefix);
    }
    catch (const odb_exception& error)
    {
        tk_exception failure(
            plat::wformat_w(L"The bulk load of %s cannot start: %s", name(), wide(error.what())),
            0);
        failure.set_connection_lost(error.connection_lost());
        throw failure;
    }
    // The rows written again by INSERT statements share the session and need no prefix.
    m_prefix_pending = false;
}

void mss_table::fast_append(udb_record& record, std::int64_t number)
{
    tk_log(2, "mss_table::fast_append");
    if (!m_loader)
    {
        open_loader();
    }
    bool fits = true;
    for (std::uint32_t column_idx = 0; fits && column_idx < record.size(); ++column_idx)
    {
        fits = bind_field(column_idx, *record[column_idx]);
    }
    if (!fits)
    {
        // In order: the rows loaded so far are committed before this one is written.
        tk_wlog(2, L"Row %d of %s goes by an INSERT statement", number, name());
        end_load();
        slow_record(record);
        return;
    }
    m_batch.push_back(kept_row{number, record});
    try
    {
        m_loader->insert_data();
    }
    catch (const mss_fast_load_exception& failure)
    {
        if (!replay(failure))
        {
            throw;
        }
        return;
    }
    if (m_loader->rows_since_commit() == 0)
    {
        m_batch.clear();
    }
}

bool mss_table::replay(const mss_fast_load_exception& failure)
{
    const std::size_t lost = failure.rows_to_replay();
    tk_wlog(2, L"A batch of %s was not stored (%d rows): %s", name(), lost, wide(failure.what()));
    if (lost > m_batch.size())
    {
        tk_wlog(3, L"%d rows of %s were lost with their batch and are no longer held: %s",
                lost - m_batch.size(), name(), wide(failure.what()));
    }
    if (failure.connection_lost())
    {
        // Nothing can be written again over a connection that is gone: the rows of the batch
        // are counted in the one report of the table, not reported one by one. Every row since
        // the last commit went with the connection, also when the driver said only the failing
        // row was refused.
        const auto not_stored = static_cast<std::int64_t>(std::max(lost, m_batch.size()));
        m_batch.clear();
        throw mss_connection_lost(failure, not_stored, failure.in_commit() ? not_stored : 0);
    }
    std::vector<kept_row> rows;
    const std::size_t first = m_batch.size() - std::min(lost, m_batch.size());
    std::move(m_batch.begin() + static_cast<std::ptrdiff_t>(first), m_batch.end(),
              std::back_inserter(rows));
    m_batch.clear();
    if (lost == 0)
    {
        return false;
    }
    std::optional<std::string> unreported;
    const auto report = [&](kept_row& row, const tk_exception& error)
    {
        if (row_failure_handler())
        {
            row_failure_handler()(row.record, row.number, error);
            return;
        }
        tk_wlog(3, L"Row %d of %s could not be stored: %s", row.number, name(), wide(error.what()));
        if (!unreported)
        {
            unreported = plat::wformat(L"Row %d of %s could not be stored: %s", row.number, name(),
                                       wide(error.what()));
        }
    };
    for (std::size_t row_idx = 0; row_idx < rows.size(); ++row_idx)
    {
        kept_row& row = rows[row_idx];
        try
        {
            slow_record(row.record);
        }
        catch (const odb_exception& error)
        {
            if (error.connection_lost())
            {
                // The statement may have run before its answer was lost.
                throw mss_connection_lost(error, static_cast<std::int64_t>(rows.size() - row_idx),
                                          1);
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
        throw tk_exception(*unreported, 0);
    }
    return true;
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
    const std::unique_ptr<mss_fast_load> loader = std::move(m_loader);
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
        after_load_closed();
        m_batch.clear();
        throw;
    }
    after_load_closed();
    m_batch.clear();
}

void mss_table::identity_off()
{
    m_identity_on = false;
    m_prefix_pending = true;
    command().execute(L"SET IDENTITY_INSERT " + name() + L" OFF;");
}

void mss_table::flush()
{
    tk_wlog(2, L"mss_table::flush(%s)", name());
    end_load();
    if (m_identity_on)
    {
        identity_off();
    }
}
