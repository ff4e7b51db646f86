// oledb_fake_link.cpp: the scripted link and statement.
#include "oledb_fake_link.h"

#include "plat/oledb/odbc_check.h"
#include "plat/oledb/oledb_interfaces.h"
#include "plat/plat_text.h"

#include <cstring>
#include <utility>

namespace oledb_test
{
namespace
{

std::wstring arg_text(const catalog_arg& arg)
{
    return arg ? *arg : std::wstring(L"<null>");
}

std::wstring hex_of(const std::uint8_t* data, std::size_t size)
{
    static constexpr wchar_t digits[] = L"0123456789ABCDEF";
    std::wstring text = L"0x";
    for (std::size_t byte_idx = 0; byte_idx < size; ++byte_idx)
    {
        text.push_back(digits[data[byte_idx] >> 4]);
        text.push_back(digits[data[byte_idx] & 0x0F]);
    }
    return text;
}

// A value as a test reads it: numbers, text, dates "Y-M-D h:m:s.ns", anything else as hex.
std::wstring value_text(const load_value& value)
{
    if (std::holds_alternative<std::monostate>(value))
    {
        return L"NULL";
    }
    if (const auto* number = std::get_if<std::int64_t>(&value))
    {
        return std::to_wstring(*number);
    }
    if (const auto* flag = std::get_if<bool>(&value))
    {
        return *flag ? L"true" : L"false";
    }
    if (const auto* real = std::get_if<double>(&value))
    {
        return std::to_wstring(*real);
    }
    if (const auto* decimal = std::get_if<load_decimal>(&value))
    {
        return plat::utf8_to_wide_lossy(decimal->text);
    }
    if (const auto* stamp = std::get_if<load_timestamp>(&value))
    {
        return std::to_wstring(stamp->year) + L"-" + std::to_wstring(stamp->month) + L"-" +
               std::to_wstring(stamp->day) + L" " + std::to_wstring(stamp->hour) + L":" +
               std::to_wstring(stamp->minute) + L":" + std::to_wstring(stamp->second) + L"." +
               std::to_wstring(stamp->fraction_ns);
    }
    if (const auto* wide = std::get_if<std::u16string>(&value))
    {
        return plat::utf16_to_wide(*wide);
    }
    if (const auto* narrow = std::get_if<load_utf8>(&value))
    {
        return plat::utf8_to_wide_lossy(narrow->text);
    }
    if (const auto* bytes = std::get_if<std::vector<std::uint8_t>>(&value))
    {
        return hex_of(bytes->data(), bytes->size());
    }
    return hex_of(reinterpret_cast<const std::uint8_t*>(&std::get<GUID>(value)), 16);
}

// Reads the staging blocks as the driver would: an 8-byte length (-1 NULL), then the data.
class fake_bulk_copy final : public link_bulk_copy
{
public:
    explicit fake_bulk_copy(std::shared_ptr<fake_script> script)
        : m_script(std::move(script))
    {
    }

    ~fake_bulk_copy() override
    {
        if (m_rows_in_batch > 0)
        {
            // The server rolls back what its connection sent and did not commit.
            m_script->trace.push_back(L"rollback");
        }
    }

    link_status init(const std::wstring& table) override
    {
        m_script->trace.push_back(L"init(" + table + L")");
        m_blocks.clear();
        return {};
    }

    link_status keep_identity() override
    {
        m_script->trace.push_back(L"keep_identity");
        return {};
    }

    link_status keep_nulls() override
    {
        m_script->trace.push_back(L"keep_nulls");
        return {};
    }

    link_status check_constraints() override
    {
        if (m_script->no_check_constraints)
        {
            return link_status::failure(E_NOTIMPL, {});
        }
        m_script->trace.push_back(L"check_constraints");
        return {};
    }

    link_status bind(const std::uint8_t* block, int host_type, int column) override
    {
        m_script->trace.push_back(L"bind(" + std::to_wstring(column) + L"," +
                                  std::to_wstring(host_type) + L")");
        m_blocks[column] = {block, host_type};
        return {};
    }

    link_status rebind(const std::uint8_t* block, int column) override
    {
        m_blocks[column].first = block;
        return {};
    }

    link_status send_row() override
    {
        if (++m_script->rows_sent == m_script->lose_connection_at_row || m_script->dead)
        {
            m_script->dead = m_script->stay_dead;
            return failure_from_diagnostics(
                {diag_record{L"08S01", 20006, L"[FreeTDS][SQL Server]Write to the server failed"}},
                odbc_call::statement, L"fake");
        }
        if (m_script->failing_sends.count(m_script->rows_sent) > 0)
        {
            return failure_from_diagnostics(
                {diag_record{L"HY000", 0, L"[FreeTDS][SQL Server]General driver error"}},
                odbc_call::statement, L"fake");
        }
        ++m_rows_in_batch;
        std::wstring text = L"row(";
        for (const auto& [column, bound] : m_blocks)
        {
            std::int64_t length = 0;
            std::memcpy(&length, bound.first, sizeof length);
            const std::uint8_t* data = bound.first + 8;
            std::wstring value;
            if (length < 0)
            {
                value = L"NULL";
            }
            else if (length > 4096)
            {
                // FreeTDS would write past its 4096-byte column buffer here.
                value = L"OVERFLOW";
            }
            else if (bound.second == 56)
            {
                std::int32_t number = 0;
                std::memcpy(&number, data, sizeof number);
                value = std::to_wstring(number);
            }
            else if (bound.second == 47)
            {
                value = plat::utf8_to_wide_lossy(std::string(reinterpret_cast<const char*>(data),
                                                             static_cast<std::size_t>(length)));
            }
            else if (bound.second == 42)
            {
                std::int16_t year = 0;
                std::memcpy(&year, data, sizeof year);
                value = L"year " + std::to_wstring(year);
            }
            else
            {
                value = hex_of(data, static_cast<std::size_t>(length));
            }
            text += (column == 1 ? L"" : L"|") + value;
        }
        m_script->trace.push_back(text + L")");
        return {};
    }

    link_status batch(std::int32_t& rows) override { return end(L"batch", rows); }

    link_status done(std::int32_t& rows) override { return end(L"done", rows); }

    std::size_t column_limit() const override { return 4000; }

    bool wide_text() const override { return false; }

private:
    link_status end(const std::wstring& name, std::int32_t& rows)
    {
        m_script->trace.push_back(name);
        const int call = ++m_script->batch_calls;
        if (m_script->on_batch_end)
        {
            m_script->on_batch_end(call);
        }
        const int rows_in_batch = std::exchange(m_rows_in_batch, 0);
        // A batch end without rows breaks no key (it can still find the connection gone).
        const bool breaks_key = m_script->failing_batches.count(call) > 0 &&
                                (rows_in_batch > 0 || !m_script->stay_dead);
        if (breaks_key || m_script->losing_batches.count(call) > 0 || m_script->dead)
        {
            rows = -1;
            m_script->failed_batch_calls.insert(call);
            if (m_script->batches_lose_connection || m_script->losing_batches.count(call) > 0 ||
                m_script->dead)
            {
                m_script->dead = m_script->stay_dead;
                return failure_from_diagnostics(
                    {diag_record{L"08S01", 0, L"[FreeTDS][SQL Server]Communication link failure"}},
                    odbc_call::statement, L"fake");
            }
            return failure_from_diagnostics(
                {diag_record{L"23000", 2627,
                             L"[FreeTDS][SQL Server]Violation of PRIMARY KEY constraint."}},
                odbc_call::statement, L"fake");
        }
        rows = 0;
        return {};
    }

    std::shared_ptr<fake_script> m_script;
    std::map<int, std::pair<const std::uint8_t*, int>> m_blocks;
    int m_rows_in_batch = 0;
};

class fake_statement final : public link_statement
{
public:
    explicit fake_statement(std::shared_ptr<fake_script> script)
        : m_script(std::move(script))
    {
    }

    link_status execute_params(const std::wstring& sql, const std::vector<const column_desc*>&,
                               const load_row& values) override
    {
        std::wstring text = sql + L" <- ";
        for (std::size_t value_idx = 0; value_idx < values.size(); ++value_idx)
        {
            text += (value_idx == 0 ? L"" : L"|") + value_text(values[value_idx]);
        }
        m_script->trace.push_back(text);
        return run(sql);
    }

    link_status execute(const std::wstring& sql) override
    {
        if (!sql.starts_with(L"SELECT"))
        {
            m_script->trace.push_back(sql);
        }
        return run(sql);
    }

    void set_time_limit(unsigned seconds) override { m_time_limit = seconds; }

    link_status run(const std::wstring& sql)
    {
        m_script->executed.push_back(sql);
        if (m_time_limit > 0)
        {
            m_script->time_limits[sql] = m_time_limit;
        }
        if (m_script->dead)
        {
            m_script->refused_statements.push_back(sql);
            return failure_from_diagnostics(
                {diag_record{L"08S01", 0, L"[FreeTDS][SQL Server]Communication link failure"}},
                odbc_call::statement, L"fake");
        }
        if (m_script->lose_statement && m_script->lose_statement(sql))
        {
            if (!m_script->lost_statements_ran)
            {
                m_script->refused_statements.push_back(sql);
            }
            m_script->dead = m_script->stay_dead;
            return failure_from_diagnostics(
                {m_script->lost_statements_silent
                     ? diag_record{L"HYT00", 0, L"[FreeTDS][SQL Server]Timeout expired"}
                     : diag_record{L"08S01", 0,
                                   L"[FreeTDS][SQL Server]Communication link failure"}},
                odbc_call::statement, L"fake");
        }
        if (!m_script->silent_on.empty() && sql.find(m_script->silent_on) != std::wstring::npos)
        {
            return failure_from_diagnostics(
                {diag_record{L"HYT00", 0, L"[FreeTDS][SQL Server]Timeout expired"}},
                odbc_call::statement, L"fake");
        }
        if (m_script->refuse_statement && m_script->refuse_statement(sql))
        {
            m_script->refused_statements.push_back(sql);
            return failure_from_diagnostics(
                {diag_record{L"23000", 2627,
                             L"[FreeTDS][SQL Server]Violation of PRIMARY KEY constraint."}},
                odbc_call::statement, L"fake");
        }
        const auto found = m_script->batches.find(sql);
        if (found == m_script->batches.end())
        {
            m_results = {fake_result{}};
        }
        else
        {
            m_results = found->second;
        }
        m_current = 0;
        m_row = 0;
        return m_results.empty() ? link_status{} : m_results[0].reached;
    }

    link_status tables(const catalog_arg& schema, const catalog_arg& table,
                       const catalog_arg& type) override
    {
        return catalog(L"tables(" + arg_text(schema) + L"|" + arg_text(table) + L"|" +
                           arg_text(type) + L")",
                       L"tables");
    }

    link_status primary_keys(const catalog_arg& schema, const catalog_arg& table) override
    {
        return catalog(L"primary_keys(" + arg_text(schema) + L"|" + arg_text(table) + L")",
                       L"primary_keys");
    }

    link_status statistics(const catalog_arg& schema, const catalog_arg& table) override
    {
        return catalog(L"statistics(" + arg_text(schema) + L"|" + arg_text(table) + L")",
                       L"statistics");
    }

    link_status foreign_keys(const catalog_arg& pk_schema, const catalog_arg& pk_table) override
    {
        return catalog(L"foreign_keys(" + arg_text(pk_schema) + L"|" + arg_text(pk_table) + L")",
                       L"foreign_keys");
    }

    link_status describe(std::vector<column_desc>& columns) override
    {
        columns = m_current < m_results.size() ? m_results[m_current].columns
                                               : std::vector<column_desc>{};
        return {};
    }

    link_status fetch(row& values) override
    {
        values.clear();
        ++m_script->fetches;
        if (m_current >= m_results.size())
        {
            return link_status{S_FALSE, {}};
        }
        const fake_result& result = m_results[m_current];
        if (result.fail_after_rows >= 0 &&
            m_row == static_cast<std::size_t>(result.fail_after_rows))
        {
            return result.fetch_failure;
        }
        if (m_row >= result.rows.size() || result.columns.empty())
        {
            return link_status{S_FALSE, {}};
        }
        values = result.rows[m_row++];
        return {};
    }

    std::int64_t rows_affected() override
    {
        return m_current < m_results.size() ? m_results[m_current].rows_affected : -1;
    }

    link_status more_results() override
    {
        ++m_current;
        m_row = 0;
        if (m_current >= m_results.size())
        {
            return link_status{S_FALSE, {}};
        }
        return m_results[m_current].reached;
    }

private:
    link_status catalog(const std::wstring& call, const std::wstring& name)
    {
        m_script->catalog_calls.push_back(call);
        if (m_time_limit > 0)
        {
            m_script->time_limits[call] = m_time_limit;
        }
        if (!m_script->silent_on.empty() && call.find(m_script->silent_on) != std::wstring::npos)
        {
            return failure_from_diagnostics(
                {diag_record{L"HYT00", 0, L"[FreeTDS][SQL Server]Timeout expired"}},
                odbc_call::statement, L"fake");
        }
        const auto found = m_script->catalog.find(name);
        m_results = {found != m_script->catalog.end() ? found->second : fake_result{}};
        m_current = 0;
        m_row = 0;
        return m_results[0].reached;
    }

    std::shared_ptr<fake_script> m_script;
    std::vector<fake_result> m_results;
    std::size_t m_current = 0;
    std::size_t m_row = 0;
    unsigned m_time_limit = 0;
};

class fake_link final : public plat::oledb::link
{
public:
    explicit fake_link(std::shared_ptr<fake_script> script)
        : m_script(std::move(script))
    {
    }

    link_status connect(const std::wstring& connection_string) override
    {
        m_script->connection_strings.push_back(connection_string);
        if (m_script->refuse_connections)
        {
            return failure_from_diagnostics(
                {diag_record{L"08001", 20009,
                             L"[FreeTDS][SQL Server]Unable to connect: Adaptive Server is "
                             L"unavailable or does not exist"}},
                odbc_call::connect, L"fake");
        }
        return m_script->connect_status;
    }

    link_status new_statement(std::unique_ptr<link_statement>& statement) override
    {
        statement = std::make_unique<fake_statement>(m_script);
        return {};
    }

    std::wstring search_escape() override { return m_script->escape; }

    bool enable_bulk_copy() override
    {
        m_bulk_asked = m_script->bulk_copy;
        return m_bulk_asked;
    }

    void limit_waits() override { ++m_script->links_limited; }

    link_bulk_copy* bulk_copy() override
    {
        if (m_bulk_asked && !m_bulk)
        {
            m_bulk = std::make_unique<fake_bulk_copy>(m_script);
        }
        return m_bulk.get();
    }

private:
    std::shared_ptr<fake_script> m_script;
    bool m_bulk_asked = false;
    std::unique_ptr<fake_bulk_copy> m_bulk;
};

} // namespace

link_factory fake_links(std::shared_ptr<fake_script> script)
{
    return [script]() -> std::unique_ptr<plat::oledb::link>
    {
        ++script->links_made;
        return std::make_unique<fake_link>(script);
    };
}

void register_scripted_providers(plat::oledb::class_table& table,
                                 std::shared_ptr<fake_script> script, bool fast_load)
{
    plat::oledb::provider_setup setup;
    setup.driver_installed = [](const std::wstring&) { return true; };
    setup.driver_library = [](const std::wstring&) { return std::wstring(); };
    setup.make_link = [script](const plat::oledb::driver_choice&) { return fake_links(script)(); };
    setup.drivers_override = "FreeTDS";
    setup.fast_load = fast_load;
    plat::oledb::register_providers(table, setup);
}

link_status statement_failure(const std::wstring& sqlstate, const std::wstring& text)
{
    return failure_from_diagnostics({diag_record{sqlstate, 0, text}}, odbc_call::statement,
                                    L"fake");
}

column_desc text_column(const std::wstring& name)
{
    column_desc column;
    column.name = name;
    column.sql_type = sql_type::wvarchar;
    column.size = 50;
    return column;
}

cell text(const std::u16string& value)
{
    return value;
}

std::wstring last_error_text()
{
    IErrorInfo* info = nullptr;
    if (GetErrorInfo(0, &info) != S_OK)
    {
        return L"<no error object>";
    }
    std::wstring description;
    info->GetDescription(&description);
    info->Release();
    return description;
}

} // namespace oledb_test
