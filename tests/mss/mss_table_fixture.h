// mss_table_fixture.h: the table writer's test bench: a SQL Server 2019 behind the stand-in's
// scripted link (bulk copy on request), a database opened on it, and helpers for columns, rows
// and the failures the writer reports.
#pragma once

#include "mss/mss_database.h"
#include "mss/mss_engine.h"
#include "mss/mss_table_hook.h"
#include "oledb_fake_link.h"
#include "plat/oledb/oledb_providers.h"
#include "plat/plat_text.h"
#include "test_support.h"

#include <chrono>
#include <condition_variable>
#include <gtest/gtest.h>
#include <mutex>
#include <optional>
#include <ostream>

namespace mss_test
{

using oledb_test::fake_result;
using oledb_test::fake_script;
using oledb_test::text;
namespace sql_type = plat::oledb::sql_type;

inline const std::wstring table_name = L"[dbo].[t]";
inline const std::wstring describe_sql = L"SELECT * FROM [dbo].[t] WHERE 1=0";

inline plat::oledb::column_desc described(const wchar_t* name, std::int16_t type,
                                          std::uint64_t size = 0, bool identity = false,
                                          const wchar_t* type_name = L"")
{
    plat::oledb::column_desc column;
    column.name = name;
    column.sql_type = type;
    column.size = size;
    column.auto_unique = identity;
    column.type_name = type_name;
    return column;
}

inline t_ftd column(const wchar_t* name, VARTYPE vt, int size = 0, bool not_null = false,
                    const ole_variant& default_value = ole_variant(), std::int32_t reserved = 0,
                    bool auto_num = false)
{
    return t_ftd(size, name, vt, not_null, auto_num, default_value, reserved, L"");
}

inline ole_variant null_value()
{
    ole_variant value;
    value.value.vt = VT_NULL;
    return value;
}

inline udb_record row_of(const std::vector<std::pair<const wchar_t*, ole_variant>>& values)
{
    udb_record record;
    for (const auto& [name, value] : values)
    {
        record.add_field(std::make_unique<udb_field>(name, 0, value, false, false));
    }
    return record;
}

using cells = std::vector<std::optional<std::wstring>>;

inline const std::wstring sp_columns_sql = L"EXEC sp_columns @table_name=[t], @table_owner=[dbo]";

// sp_columns rows: owner, table, column, type name, precision, scale and default.
inline fake_result sp_columns_rows(const std::vector<cells>& rows)
{
    fake_result result;
    for (const wchar_t* name : {L"TABLE_QUALIFIER", L"TABLE_OWNER", L"TABLE_NAME", L"COLUMN_NAME",
                                L"DATA_TYPE", L"TYPE_NAME", L"PRECISION", L"LENGTH", L"SCALE",
                                L"RADIX", L"NULLABLE", L"REMARKS", L"COLUMN_DEF"})
    {
        result.columns.push_back(described(name, sql_type::wvarchar, 400));
    }
    for (const cells& values : rows)
    {
        plat::oledb::row row;
        for (const std::optional<std::wstring>& value : values)
        {
            row.push_back(value ? plat::oledb::cell(plat::wide_to_utf16(*value))
                                : plat::oledb::cell{});
        }
        result.rows.push_back(row);
    }
    return result;
}

inline cells sp_row(const wchar_t* table, const wchar_t* name, const wchar_t* type,
                    const wchar_t* precision, const wchar_t* length,
                    const std::optional<std::wstring>& scale,
                    const std::optional<std::wstring>& column_default)
{
    return {L"shop", L"dbo", table, name, L"0",         type,          precision,
            length,  scale,  L"10", L"1", std::nullopt, column_default};
}

using test_support::system_time;

struct failure_seen
{
    std::int64_t number;
    int code;
    std::wstring first_value;

    bool operator==(const failure_seen&) const = default;
};

inline void PrintTo(const failure_seen& seen, std::ostream* out)
{
    *out << "row " << seen.number << " code " << std::hex << seen.code << " first "
         << plat::wide_to_utf8(seen.first_value);
}

/// Holds a commit that the loader runs on its own thread until the test lets it go (10 s at
/// most, so that a test that fails early does not hang), so that the rows after it wait.
class commit_gate
{
public:
    /// Holds the batch end numbered `call` (counted from 1, as failing_batches counts).
    void hold(fake_script& script, int call = 1)
    {
        script.on_batch_end = [this, call](int ended)
        {
            if (ended == call)
            {
                std::unique_lock lock(m_mutex);
                m_changed.wait_for(lock, std::chrono::seconds(10), [this] { return m_open; });
            }
        };
    }

    void open()
    {
        const std::lock_guard lock(m_mutex);
        m_open = true;
        m_changed.notify_all();
    }

private:
    std::mutex m_mutex;
    std::condition_variable m_changed;
    bool m_open = false;
};

class MssTable : public testing::Test
{
protected:
    // Connects through the scripted link to a SQL Server of that version (2019 unless told) and
    // opens a database; the table [dbo].[t] has `columns`.
    void open(
        bool fast_load, bool bulk, const std::vector<plat::oledb::column_desc>& columns,
        const std::u16string& version_text = u"Microsoft SQL Server 2019 (RTM) - 15.0.2000.5 (X64)")
    {
        m_script->bulk_copy = bulk;
        fake_result version;
        version.columns = {described(L"v", sql_type::wvarchar, 400)};
        version.rows = {{text(version_text)}};
        m_script->batches[L"SELECT @@VERSION"] = {version};
        fake_result table;
        table.columns = columns;
        m_script->batches[describe_sql] = {table};
        oledb_test::register_scripted_providers(m_table, m_script, fast_load);
        m_engine.connect(L"srv", L"sa", L"pw", true);
        m_database = m_engine.open_db(L"shop", udb_open_mode::existing);
        m_script->trace.clear();
        m_script->catalog_calls.clear();
    }

    std::unique_ptr<odb_table> writer(const std::vector<t_ftd>& columns)
    {
        udb_schema schema;
        for (const t_ftd& entry : columns)
        {
            schema.adopt(entry.clone());
        }
        std::unique_ptr<odb_table> table =
            mss_new_table_writer(table_name, m_database->session(), schema, *m_database);
        watch(*table);
        return table;
    }

    // The writer of the existing table [dbo].[t] opened with `mode`.
    std::unique_ptr<odb_table> existing(int mode)
    {
        std::unique_ptr<odb_table> table =
            mss_open_table_writer(table_name, m_database->session(), mode, *m_database);
        watch(*table);
        return table;
    }

    void watch(udb_recordset& table)
    {
        table.set_row_failure_handler(
            [this](udb_record& record, std::int64_t number, const tk_exception& error) {
                m_failures.push_back({number, error.code(), record[0]->to_wstring()});
            });
    }

    // The trace lines that begin with one of the prefixes, in order.
    std::vector<std::wstring> trace_of(const std::vector<std::wstring>& prefixes) const
    {
        std::vector<std::wstring> lines;
        for (const std::wstring& line : m_script->trace)
        {
            for (const std::wstring& prefix : prefixes)
            {
                if (line.starts_with(prefix))
                {
                    lines.push_back(line);
                    break;
                }
            }
        }
        return lines;
    }

    // Before the script: a batch end held by it has been let go before the script goes.
    commit_gate m_gate;
    std::shared_ptr<fake_script> m_script = std::make_shared<fake_script>();
    plat::oledb::class_table m_table;
    mss_engine m_engine{true};
    std::unique_ptr<mss_database> m_database;
    std::vector<failure_seen> m_failures;
};

} // namespace mss_test
