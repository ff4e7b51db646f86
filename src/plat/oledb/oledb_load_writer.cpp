// oledb_load_writer.cpp: bulk copy with its staging blocks, INSERT batches, the rows sent as
// literals, and the recovery after a rolled-back batch.
#include "plat/oledb/oledb_load_writer.h"

#include "plat/oledb/oledb_names.h"
#include "plat/plat_text.h"

#include <cstring>
#include <utility>

namespace plat::oledb
{
namespace
{

// TDS type codes of the host data (the forms the bulk-copy functions take).
constexpr int host_int4 = 56;
constexpr int host_int8 = 127;
constexpr int host_float8 = 62;
constexpr int host_bit = 50;
constexpr int host_guid = 36;
constexpr int host_decimal = 106;
constexpr int host_datetime2 = 42;
constexpr int host_varbinary = 37;
constexpr int host_char = 47;
constexpr int host_nchar = 0xEF;

constexpr std::size_t prefix_bytes = 8;
constexpr std::int64_t null_data = -1;
constexpr std::size_t max_rows_per_statement = 1000;
// SQL Server takes 2100 parameters in one statement; SQLite 999 in its older builds.
constexpr std::size_t sql_server_parameters = 2099;
constexpr std::size_t other_parameters = 999;

int host_type(const load_column& column, bool wide_text)
{
    switch (column.kind)
    {
    case load_class::integer:
        return column.desc.sql_type == sql_type::bigint ? host_int8 : host_int4;
    case load_class::bit:
        return host_bit;
    case load_class::real:
        return host_float8;
    case load_class::decimal:
        return host_decimal;
    case load_class::date_time:
        return host_datetime2;
    case load_class::guid:
        return host_guid;
    case load_class::binary:
        return host_varbinary;
    default:
        return wide_text ? host_nchar : host_char;
    }
}

template <class T>
void append(std::vector<std::uint8_t>& out, const T& value)
{
    const auto* bytes = reinterpret_cast<const std::uint8_t*>(&value);
    out.insert(out.end(), bytes, bytes + sizeof value);
}

// The host form of one value, as host_type() says it travels; `text` is room for a text's
// UTF-8 that the caller reuses.
void host_bytes(const load_value& value, const load_column& column, bool wide_text,
                std::vector<std::uint8_t>& out, std::string& text)
{
    out.clear();
    if (const auto* number = std::get_if<std::int64_t>(&value))
    {
        if (column.desc.sql_type == sql_type::bigint)
        {
            append(out, *number);
        }
        else
        {
            append(out, static_cast<std::int32_t>(*number));
        }
    }
    else if (const auto* flag = std::get_if<bool>(&value))
    {
        out.push_back(*flag ? 1 : 0);
    }
    else if (const auto* real = std::get_if<double>(&value))
    {
        append(out, *real);
    }
    else if (const auto* decimal = std::get_if<load_decimal>(&value))
    {
        const auto numeric = numeric_struct(*decimal, column);
        out.assign(numeric.begin(), numeric.end());
    }
    else if (const auto* stamp = std::get_if<load_timestamp>(&value))
    {
        append(out, DBTIMESTAMP{stamp->year, stamp->month, stamp->day, stamp->hour, stamp->minute,
                                stamp->second, stamp->fraction_ns});
    }
    else if (const auto* guid = std::get_if<GUID>(&value))
    {
        append(out, *guid);
    }
    else if (const auto* bytes = std::get_if<std::vector<std::uint8_t>>(&value))
    {
        out.assign(bytes->begin(), bytes->end());
    }
    else if (wide_text)
    {
        const std::u16string converted =
            std::holds_alternative<std::u16string>(value)
                ? std::u16string()
                : wide_to_utf16(utf8_to_wide_lossy(std::get<load_utf8>(value).text));
        const std::u16string& wide = std::holds_alternative<std::u16string>(value)
                                         ? std::get<std::u16string>(value)
                                         : converted;
        const auto* units = reinterpret_cast<const std::uint8_t*>(wide.data());
        out.assign(units, units + wide.size() * 2);
    }
    else if (const auto* narrow = std::get_if<load_utf8>(&value))
    {
        out.assign(narrow->text.begin(), narrow->text.end());
    }
    else
    {
        // The driver takes UTF-8: straight from the UTF-16 the consumer bound.
        utf16_to_utf8(std::get<std::u16string>(value), text);
        out.assign(text.begin(), text.end());
    }
}

// The failure is the server's answer (a broken key, a refused statement), not the driver's
// own (HY000 "General driver error", a text without SQLSTATE).
bool answered_by_server(const link_status& failure)
{
    return !failure.records.empty() && failure.records.front().sqlstate &&
           !failure.records.front().sqlstate->starts_with(L"HY");
}

} // namespace

load_writer::load_writer(load_target target)
    : m_target(std::move(target))
{
    for (std::size_t column_idx = 0; column_idx < m_target.columns.size(); ++column_idx)
    {
        if (m_target.columns[column_idx].ordinal == 0)
        {
            m_target.columns[column_idx].ordinal = column_idx + 1;
        }
    }
    columns_changed();
}

void load_writer::columns_changed()
{
    const std::size_t columns = std::max<std::size_t>(m_target.columns.size(), 1);
    const std::size_t parameters = m_target.sql_server() ? sql_server_parameters : other_parameters;
    m_capacity = std::clamp<std::size_t>(parameters / columns, 1, max_rows_per_statement);
    m_param_columns.clear();
    for (const load_column& column : m_target.columns)
    {
        m_param_columns.push_back(&column.desc);
    }
}

bool load_writer::select_columns(const std::vector<std::size_t>& positions)
{
    if (m_rows_taken || m_bulk_active || !m_pending.empty())
    {
        return false;
    }
    std::vector<load_column> chosen;
    for (const std::size_t position : positions)
    {
        if (position >= m_target.columns.size())
        {
            return false;
        }
        chosen.push_back(m_target.columns[position]);
    }
    if (chosen.size() < m_target.columns.size())
    {
        // The drivers' bulk copy sends every column of the table (FreeTDS cannot even leave
        // one unbound), and its NULL is not the column's default: INSERT batches that name the
        // chosen columns load them instead.
        m_bulk_wanted = false;
        m_bulk = nullptr;
    }
    m_target.columns = std::move(chosen);
    // Identity insertion with the identity column left out would refuse every row.
    m_target.has_identity = false;
    for (const load_column& column : m_target.columns)
    {
        m_target.has_identity = m_target.has_identity || column.desc.auto_unique;
    }
    columns_changed();
    return true;
}

load_writer::~load_writer() = default;

link_status load_writer::open()
{
    m_bulk_wanted = m_target.sql_server();
    return connect();
}

link_status load_writer::connect()
{
    m_statement.reset();
    m_link.reset();
    m_bulk = nullptr;
    m_bulk_active = false;
    m_identity_on = false;
    std::unique_ptr<link> connection = m_target.make_link();
    const bool bulk_asked = m_bulk_wanted && connection->enable_bulk_copy();
    // This connection only moves rows: a server silent for longer than the limit is given up
    // (no index is created here, which could rightly take longer).
    connection->limit_waits();
    link_status status = connection->connect(m_target.connection_string);
    if (!status.ok())
    {
        return status;
    }
    m_link = std::move(connection);
    m_bulk = bulk_asked ? m_link->bulk_copy() : nullptr;
    m_bulk_wanted = m_bulk != nullptr;
    return {};
}

// A rolled-back batch leaves the connection unable to bulk copy again: the next rows go on a
// new one. When that fails too, every later call reports it. A connection that is gone, or
// whose server stopped answering, is not opened again: its table stops, and a new login to a
// silent server would only wait for its own limit.
link_status load_writer::recover(link_status failure)
{
    m_bulk_rows = 0;
    if (failure.connection_gone())
    {
        m_statement.reset();
        m_bulk = nullptr;
        m_bulk_active = false;
        m_broken = failure;
        return failure;
    }
    if (link_status status = connect(); !status.ok())
    {
        if (answered_by_server(failure))
        {
            // The server was there to refuse the batch: what ends the table is the new
            // connection it then refused.
            for (error_record& record : status.records)
            {
                failure.records.push_back(std::move(record));
            }
            m_broken = failure;
            return failure;
        }
        // The driver's own failure (the server gone from under it) ended the table: told as
        // the loss of the connection, and by its own text, not by the login that could not
        // replace the connection.
        error_record gone;
        gone.hr = failure.hr;
        gone.source = layer_error_source;
        gone.sqlstate = L"08S01";
        failure.records.push_back(std::move(gone));
        m_broken = failure;
    }
    return failure;
}

bool load_writer::routed(const load_row& values) const
{
    if (m_target.sql_server() && has_early_date(values, m_target.columns))
    {
        return true;
    }
    return m_bulk != nullptr && m_bulk->column_limit() > 0 &&
           widest_value(values) > m_bulk->column_limit();
}

link_status load_writer::insert(load_row& values, std::uint32_t& lost)
{
    lost = 0;
    m_rows_taken = true;
    m_row_path = load_row_path::batch;
    if (!m_broken.ok())
    {
        return m_broken;
    }
    if (routed(values))
    {
        // In order: what came before is stored before this row is written. The caller learns
        // of both (row_path), so its count of rows stored covers them.
        link_status status = m_bulk_active ? end_bulk(true, lost) : flush(lost);
        if (!status.ok())
        {
            m_row_path = load_row_path::commit_failed;
            return status;
        }
        status = insert_literal(values);
        m_row_path = status.ok() ? load_row_path::apart : load_row_path::apart_failed;
        return status;
    }
    if (m_bulk != nullptr)
    {
        if (!m_bulk_active)
        {
            link_status status = start_bulk();
            if (!status.ok() && m_bulk_started_once)
            {
                return status;
            }
            if (!status.ok())
            {
                // The table refused bulk copy before any row went that way: INSERT batches
                // load it instead.
                m_bulk = nullptr;
                m_bulk_active = false;
            }
        }
        if (m_bulk != nullptr)
        {
            link_status status = send_bulk(values);
            if (status.ok())
            {
                return status;
            }
            // A failed send leaves the bulk copy in no known state (a connection closed under
            // it, a driver error): the batch ends as a failed commit does, its rows and this
            // one to be written again, and the next rows go on a new connection.
            lost = std::exchange(m_bulk_rows, 0);
            m_bulk_active = false;
            return recover(std::move(status));
        }
    }
    if (m_pending.size() >= m_capacity)
    {
        if (link_status status = flush(lost); !status.ok())
        {
            m_row_path = load_row_path::commit_failed;
            return status;
        }
        m_row_path = load_row_path::after_commit;
    }
    m_pending.push_back(values);
    return {};
}

link_status load_writer::commit(bool final, std::uint32_t& lost)
{
    lost = 0;
    link_status status = m_broken;
    if (status.ok())
    {
        if (m_bulk_active && (final || m_bulk_rows > 0))
        {
            status = end_bulk(final, lost);
        }
        else if (!m_bulk_active)
        {
            status = flush(lost);
        }
    }
    if (final)
    {
        m_statement.reset();
        m_link.reset();
        m_bulk = nullptr;
        m_bulk_active = false;
    }
    return status;
}

link_status load_writer::start_bulk()
{
    link_status status = m_bulk->init(m_target.table);
    if (status.ok() && m_target.keep_identity)
    {
        status = m_bulk->keep_identity();
    }
    if (status.ok() && m_target.keep_nulls)
    {
        status = m_bulk->keep_nulls();
    }
    if (status.ok() && m_target.check_constraints)
    {
        status = m_bulk->check_constraints();
    }
    m_staging.assign(m_target.columns.size(), std::vector<std::uint8_t>(prefix_bytes + 64, 0));
    for (std::size_t column_idx = 0; status.ok() && column_idx < m_target.columns.size();
         ++column_idx)
    {
        std::memcpy(m_staging[column_idx].data(), &null_data, sizeof null_data);
        // The table's own column number: a load of some columns leaves the others unbound.
        status = m_bulk->bind(m_staging[column_idx].data(),
                              host_type(m_target.columns[column_idx], m_bulk->wide_text()),
                              static_cast<int>(m_target.columns[column_idx].ordinal));
    }
    if (status.ok())
    {
        m_bulk_active = true;
        m_bulk_started_once = true;
        m_bulk_rows = 0;
    }
    return status;
}

link_status load_writer::send_bulk(const load_row& values)
{
    std::vector<std::uint8_t>& data = m_host;
    for (std::size_t column_idx = 0; column_idx < m_target.columns.size(); ++column_idx)
    {
        std::vector<std::uint8_t>& block = m_staging[column_idx];
        const load_value& value = values[column_idx];
        if (std::holds_alternative<std::monostate>(value))
        {
            std::memcpy(block.data(), &null_data, sizeof null_data);
            continue;
        }
        host_bytes(value, m_target.columns[column_idx], m_bulk->wide_text(), data, m_host_text);
        if (prefix_bytes + data.size() > block.size())
        {
            block.resize(prefix_bytes + data.size() * 2);
            if (link_status status = m_bulk->rebind(
                    block.data(), static_cast<int>(m_target.columns[column_idx].ordinal));
                !status.ok())
            {
                return status;
            }
        }
        const auto length = static_cast<std::int64_t>(data.size());
        std::memcpy(block.data(), &length, sizeof length);
        if (!data.empty())
        {
            std::memcpy(block.data() + prefix_bytes, data.data(), data.size());
        }
    }
    link_status status = m_bulk->send_row();
    if (status.ok())
    {
        ++m_bulk_rows;
    }
    return status;
}

link_status load_writer::end_bulk(bool done, std::uint32_t& lost)
{
    std::int32_t rows = 0;
    link_status status = done ? m_bulk->done(rows) : m_bulk->batch(rows);
    const std::uint32_t sent = m_bulk_rows;
    m_bulk_rows = 0;
    if (done)
    {
        m_bulk_active = false;
    }
    if (status.ok())
    {
        return status;
    }
    lost = sent;
    return recover(std::move(status));
}

link_status load_writer::flush(std::uint32_t& lost)
{
    if (m_pending.empty())
    {
        return {};
    }
    if (link_status status = identity_on(); !status.ok())
    {
        lost = static_cast<std::uint32_t>(m_pending.size());
        m_pending.clear();
        return status;
    }
    load_row values;
    std::vector<const column_desc*> columns;
    for (load_row& pending_row : m_pending)
    {
        for (load_value& value : pending_row)
        {
            values.push_back(std::move(value));
        }
        columns.insert(columns.end(), m_param_columns.begin(), m_param_columns.end());
    }
    const std::wstring sql =
        insert_params_statement(m_target.table, m_target.columns, m_pending.size(), m_target.kind);
    const auto rows = static_cast<std::uint32_t>(m_pending.size());
    m_pending.clear();
    link_status status;
    if (!m_statement)
    {
        status = m_link->new_statement(m_statement);
    }
    if (status.ok())
    {
        status = m_statement->execute_params(sql, columns, values);
    }
    if (!status.ok())
    {
        lost = rows;
    }
    return status;
}

link_status load_writer::insert_literal(load_row& values)
{
    if (link_status status = identity_on(); !status.ok())
    {
        return status;
    }
    return run(
        [this, &values](link_statement& statement)
        {
            // Values of megabytes go apart from the statement, in pieces, where the driver
            // takes them so: neither the statement nor the driver's copy of it then holds them
            // as literals.
            std::vector<bool> streamed;
            if (m_target.sql_server() && statement.streams_values())
            {
                streamed = streamed_values(values);
            }
            const std::u16string sql = insert_literal_statement(m_target.table, m_target.columns,
                                                                values, m_target.kind, streamed);
            load_row apart;
            for (std::size_t value_idx = 0; value_idx < streamed.size(); ++value_idx)
            {
                if (streamed[value_idx])
                {
                    apart.push_back(std::move(values[value_idx]));
                }
            }
            // The statement holds the other values now; megabytes of them need not be held
            // twice while the driver sends it.
            load_row().swap(values);
            return apart.empty() ? statement.execute_utf16(sql)
                                 : statement.execute_streamed(sql, apart);
        });
}

// Identity values written by INSERT need the session switch; the loader's connection is its
// own, so the switch dies with it.
link_status load_writer::identity_on()
{
    if (m_identity_on || !m_target.sql_server() || !m_target.keep_identity ||
        !m_target.has_identity)
    {
        return {};
    }
    link_status status = run(identity_insert_sql(m_target.table, true));
    m_identity_on = status.ok();
    return status;
}

link_status load_writer::run(const std::wstring& sql)
{
    return run([&sql](link_statement& statement) { return statement.execute(sql); });
}

link_status load_writer::run(const std::function<link_status(link_statement&)>& execute)
{
    std::unique_ptr<link_statement> statement;
    link_status status = m_link->new_statement(statement);
    if (status.ok())
    {
        status = execute(*statement);
    }
    while (status.ok() && statement)
    {
        link_status next = statement->more_results();
        if (next.hr != S_OK)
        {
            if (!next.ok())
            {
                status = std::move(next);
            }
            break;
        }
    }
    if (status.hr == S_FALSE)
    {
        status.hr = S_OK;
    }
    return status;
}

} // namespace plat::oledb
