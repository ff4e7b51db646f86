// convertor_fakes.cpp: the fake sides, the recording reporter and handler, and the run bench.
#include "convertor_fakes.h"

#include "mss/odb_exception.h"
#include "pgs/pgs_exception.h"
#include "plat/oledb/oledb_error.h"
#include "plat/oledb/oledb_types.h"
#include "plat/plat_text.h"
#include "udb/udb_value_exception.h"

#include <sstream>
#include <stdexcept>

namespace conv_test
{

namespace
{

std::string narrow(const std::wstring& text)
{
    return plat::wide_to_utf8(text);
}

constexpr HRESULT overflow_hr = make_hresult(0x80040E57);
constexpr HRESULT errors_occurred_hr = make_hresult(0x80040E21);

/// Source rows: id and name columns, a primary key on id.
class fake_rows : public udb_recordset
{
public:
    fake_rows(const std::wstring& name, int rows, std::int64_t reported_rows, int fail_fetch_at,
              event_log& events, std::set<int> value_error_rows = {}, int lose_connection_at = 0,
              bool text_key = false, const source_table* decimal_table = nullptr)
        : udb_recordset(name, 1)
        , m_rows(rows)
        , m_fail_fetch_at(fail_fetch_at)
        , m_lose_connection_at(lose_connection_at)
        , m_value_error_rows(std::move(value_error_rows))
        , m_events(events)
    {
        add_column(std::make_unique<t_ftd>(0, L"id", VT_I4, true, false, ole_variant(), 0, L""));
        add_column(
            std::make_unique<t_ftd>(40, L"name", VT_BSTR, false, false, ole_variant(), 0, L""));
        add_index(udb_index(L"pk", true, true, {L"id"}));
        if (text_key)
        {
            add_column(
                std::make_unique<t_ftd>(0, L"code", VT_BSTR, false, false, ole_variant(), 0, L""));
            add_index(udb_index(L"ix_code", false, false, {L"code"}));
        }
        if (decimal_table != nullptr)
        {
            add_column(std::make_unique<t_ftd>(0, L"amount", VT_DECIMAL, false, false,
                                               decimal_table->amount_default, 0, L""));
            m_amount_extent = decimal_table->amount_extent;
        }
        set_record_count(reported_rows < 0 ? rows : reported_rows);
    }
    ~fake_rows() override { m_events.push_back("release rows " + narrow(name())); }

    void append_record(udb_record&) override { throw std::logic_error("source rows are read"); }
    std::vector<std::int32_t> longest_text(const std::vector<std::wstring>& columns) override
    {
        std::string names;
        for (const std::wstring& column : columns)
        {
            names += " " + narrow(column);
        }
        m_events.push_back("longest " + narrow(name()) + names);
        return std::vector<std::int32_t>(columns.size(), 7);
    }
    udb_column_measures measure_columns(const std::vector<std::wstring>& text_columns,
                                        const std::vector<std::wstring>& decimal_columns) override
    {
        udb_column_measures measures = udb_recordset::measure_columns(text_columns, {});
        for (const std::wstring& column : decimal_columns)
        {
            m_events.push_back("digits " + narrow(name()) + " " + narrow(column));
            measures.decimals.push_back(m_amount_extent);
        }
        return measures;
    }
    void reset() override { m_position = 0; }
    bool is_eof() override { return m_position >= m_rows; }
    udb_record* get_item() override
    {
        m_record = udb_record();
        const int id = m_position + 1;
        if (m_value_error_rows.count(id) != 0)
        {
            throw udb_value_exception("no form for row " + std::to_string(id));
        }
        m_record.add_field(std::make_unique<udb_field>(L"id", 0, ole_variant(id), true, false));
        m_record.add_field(std::make_unique<udb_field>(
            L"name", 40, ole_variant(L"row " + std::to_wstring(id)), false, false));
        return &m_record;
    }
    void next() override
    {
        ++m_position;
        if (m_position == m_fail_fetch_at)
        {
            throw tk_exception("fetch failed at " + std::to_string(m_position), 0);
        }
        if (m_position == m_lose_connection_at)
        {
            pgs_exception lost("server closed the connection unexpectedly\n\tThis probably means "
                               "the server terminated abnormally\n");
            lost.set_connection_lost(true);
            throw lost;
        }
    }

private:
    int m_rows;
    int m_fail_fetch_at;
    int m_lose_connection_at;
    std::set<int> m_value_error_rows;
    udb_decimal_extent m_amount_extent;
    int m_position = 0;
    udb_record m_record;
    event_log& m_events;
};

class fake_source_db : public udb_database
{
public:
    fake_source_db(const std::wstring& name, const source_setup& setup, event_log& events)
        : udb_database(name, udb_open_mode::source, true)
        , m_setup(setup)
        , m_events(events)
    {
        for (const source_table& table : setup.tables)
        {
            add_table_name(table.key);
        }
    }
    ~fake_source_db() override { m_events.push_back("release source"); }

    std::unique_ptr<udb_recordset> create_table(const std::wstring&, const udb_schema&,
                                                const udb_indexes&) override
    {
        throw std::logic_error("the source is read only");
    }
    std::unique_ptr<udb_recordset> get_query(const std::wstring& name, const std::wstring& sql,
                                             int mode) override
    {
        m_events.push_back("get_query " + narrow(name) + ": " + narrow(sql) +
                           " mode=" + std::to_string(mode));
        return std::make_unique<fake_rows>(name, m_setup.query_rows, -1, 0, m_events);
    }
    std::unique_ptr<udb_recordset> get_table(const std::wstring& name, int mode) override
    {
        m_events.push_back("get_table " + narrow(name) + " mode=" + std::to_string(mode));
        for (const source_table& table : m_setup.tables)
        {
            if (table.key == name)
            {
                if (table.fail_open)
                {
                    throw tk_exception("cannot open " + narrow(name), table.fail_severity);
                }
                return std::make_unique<fake_rows>(
                    name, table.rows, table.reported_rows, table.fail_fetch_at, m_events,
                    m_setup.value_error_rows[name], table.lose_connection_at, table.text_key,
                    table.decimal_amount ? &table : nullptr);
            }
        }
        throw std::logic_error("get_table of a table the source does not list");
    }
    void get_schema_info(std::vector<std::wstring>& list) override { list = m_setup.schemas; }
    bool test_query(const std::wstring&) override { return true; }

private:
    source_setup m_setup;
    event_log& m_events;
};

/// The destination writer: logs each stored row by its id.
class fake_writer : public udb_recordset
{
public:
    fake_writer(const std::wstring& name, const writer_faults& faults, event_log& events)
        : udb_recordset(name, 1)
        , m_faults(faults)
        , m_events(events)
    {
    }
    ~fake_writer() override { m_events.push_back("release " + narrow(name())); }

    void append_record(udb_record& record) override
    {
        check_value(record, m_faults.value_ids);
        ++m_appended;
        if (m_faults.batched)
        {
            m_pending.emplace_back(m_appended, record);
            return;
        }
        store(m_appended, record);
    }
    void update(udb_record& record) override
    {
        check_value(record, m_faults.update_value_ids);
        if (m_faults.update_refused_ids.count(std::stoi(id_of(record))) != 0)
        {
            throw odb_exception(
                plat::utf8_to_wide_lossy("no row of key " + id_of(record) + " was updated"));
        }
        m_events.push_back("update " + narrow(name()) + " " + id_of(record));
    }
    void flush() override
    {
        m_events.push_back("flush " + narrow(name()));
        std::vector<std::pair<int, udb_record>> pending = std::move(m_pending);
        m_pending.clear();
        for (auto& [row_number, record] : pending)
        {
            try
            {
                store(row_number, record);
            }
            catch (const odb_exception& error)
            {
                row_failure_handler()(record, row_number, error);
            }
        }
        if (m_faults.fail_flush.count(name()) != 0)
        {
            throw odb_exception(errors_occurred_hr);
        }
    }

private:
    static std::string id_of(const udb_record& record)
    {
        return narrow(record.at(0)->to_wstring());
    }

    static void check_value(const udb_record& record, const std::set<int>& failing_ids)
    {
        const std::string id = id_of(record);
        if (failing_ids.count(std::stoi(id)) != 0)
        {
            throw udb_value_exception("no literal for id " + id);
        }
    }

    void store(int row_number, const udb_record& record)
    {
        if (!m_faults.failing_tables.empty() && m_faults.failing_tables.count(name()) == 0)
        {
            m_events.push_back("append " + narrow(name()) + " " + id_of(record));
            return;
        }
        if (m_faults.integrity_rows.count(row_number) != 0)
        {
            throw odb_exception(DB_E_INTEGRITYVIOLATION);
        }
        if (m_faults.overflow_rows.count(row_number) != 0)
        {
            throw odb_exception(overflow_hr);
        }
        if (m_faults.lost_rows.count(row_number) != 0)
        {
            plat::oledb::error_record lost;
            lost.hr = E_FAIL;
            lost.source = L"[FreeTDS][SQL Server]";
            lost.description = L"Communication link failure";
            lost.sqlstate = L"08S01";
            plat::oledb::post_errors({lost});
            throw odb_exception(E_FAIL);
        }
        if (m_faults.failed_commit_rows.count(row_number) != 0)
        {
            plat::oledb::error_record lost;
            lost.hr = E_FAIL;
            lost.description = L"Unexpected EOF from the server";
            lost.sqlstate = L"HY000";
            plat::oledb::post_errors({lost});
            mss_connection_lost failure(odb_exception(E_FAIL), 1, 1);
            failure.set_commit_failure(L"Unexpected EOF from the server");
            throw failure;
        }
        m_events.push_back("append " + narrow(name()) + " " + id_of(record));
    }

    writer_faults m_faults;
    event_log& m_events;
    int m_appended = 0;
    std::vector<std::pair<int, udb_record>> m_pending;
};

class fake_destination_db : public udb_database
{
public:
    fake_destination_db(const std::wstring& name, int open_mode, const destination_setup& setup,
                        event_log& events)
        : udb_database(name, open_mode, false)
        , m_faults(setup.faults)
        , m_failing_indexes(setup.failing_indexes)
        , m_on_index(setup.on_index)
        , m_fail_list_tables(setup.fail_list_tables)
        , m_events(events)
    {
        for (const std::wstring& table : setup.tables)
        {
            add_table_name(table);
        }
    }
    ~fake_destination_db() override
    {
        for (const auto& [source_name, target] : names_map().tn_map())
        {
            m_events.push_back("mapped " + narrow(source_name) + " -> " + narrow(target));
        }
        m_events.push_back("release destination");
    }

    void create_schema(const std::wstring& name) override
    {
        m_events.push_back("create_schema " + narrow(name));
    }
    std::unique_ptr<udb_recordset> create_table(const std::wstring& name, const udb_schema& schema,
                                                const udb_indexes& indexes) override
    {
        m_events.push_back("create_table " + narrow(name) +
                           " columns=" + std::to_string(schema.size()) +
                           " indexes=" + std::to_string(indexes.size()));
        for (const t_ftd* column : schema)
        {
            if (column->longest_units >= 0)
            {
                m_events.push_back("measured " + narrow(column->name) + "=" +
                                   std::to_string(column->longest_units));
            }
            if (column->vartype == VT_DECIMAL)
            {
                m_events.push_back("decimal " + narrow(column->name) + "(" +
                                   std::to_string(column->get_precision()) + "," +
                                   std::to_string(column->get_scale()) + ")");
            }
        }
        for (const udb_index& index : indexes)
        {
            if (m_on_index)
            {
                m_on_index(index.name);
            }
            if (m_failing_indexes.count(index.name) != 0)
            {
                add_index_failure({name, index.name, L"too wide"});
            }
        }
        if (!is_table_exist(name))
        {
            add_table_name(name);
        }
        return std::make_unique<fake_writer>(name, m_faults, m_events);
    }
    bool delete_tab(const std::wstring& name) override
    {
        m_events.push_back("delete_tab " + narrow(name));
        return udb_database::delete_tab(name);
    }
    std::unique_ptr<udb_recordset> get_query(const std::wstring&, const std::wstring&, int) override
    {
        throw std::logic_error("the run reads no destination query");
    }
    std::unique_ptr<udb_recordset> get_table(const std::wstring&, int) override
    {
        throw std::logic_error("the run reads no destination table");
    }
    bool test_query(const std::wstring&) override { return true; }
    const std::vector<std::wstring>& get_tables() override
    {
        if (m_fail_list_tables)
        {
            throw odb_exception(L"Incorrect syntax near 'q'.");
        }
        return udb_database::get_tables();
    }

private:
    writer_faults m_faults;
    std::set<std::wstring> m_failing_indexes;
    std::function<void(const std::wstring&)> m_on_index;
    bool m_fail_list_tables;
    event_log& m_events;
};

} // namespace

event_log filtered(const event_log& events, const std::vector<std::string>& prefixes)
{
    event_log kept;
    for (const std::string& event : events)
    {
        for (const std::string& prefix : prefixes)
        {
            if (event.rfind(prefix, 0) == 0)
            {
                kept.push_back(event);
                break;
            }
        }
    }
    return kept;
}

fake_source::fake_source(source_setup setup, event_log& events)
    : m_setup(std::move(setup))
    , m_events(events)
{
}

std::unique_ptr<udb_database> fake_source::open_db(const std::wstring& name,
                                                   const std::wstring& schema)
{
    m_events.push_back("open_source " + narrow(name) + " schema=" + narrow(schema));
    if (m_setup.throw_foreign_failure)
    {
        throw std::runtime_error("disk on fire");
    }
    if (m_setup.fail_open_db)
    {
        throw tk_exception("database " + narrow(name) + " is gone", 0);
    }
    return std::make_unique<fake_source_db>(name, m_setup, m_events);
}

fake_destination::fake_destination(destination_setup setup, event_log& events)
    : m_setup(std::move(setup))
    , m_events(events)
{
}

void fake_destination::connect(const std::wstring& server, const std::wstring& user,
                               const std::wstring& password, bool windows_auth)
{
    m_events.push_back(
        "connect " + narrow(server) +
        (windows_auth ? std::string(" windows") : " " + narrow(user) + " " + narrow(password)));
}

bool fake_destination::is_db_exist(const std::wstring& name)
{
    m_events.push_back("is_db_exist " + narrow(name));
    return m_setup.exists;
}

void fake_destination::delete_db(const std::wstring& name)
{
    m_events.push_back("delete_db " + narrow(name));
    if (m_setup.fail_delete_db)
    {
        throw odb_exception(L"Cannot drop database \"" + name +
                            L"\" because it is currently in use.");
    }
    m_setup.exists = false;
}

std::unique_ptr<udb_database> fake_destination::open_db(const std::wstring& name, int open_mode)
{
    m_events.push_back("open_db " + narrow(name) + " mode=" + std::to_string(open_mode));
    return std::make_unique<fake_destination_db>(name, open_mode, m_setup, m_events);
}

std::unique_ptr<udb_database> fake_destination::create_db(const std::wstring& name)
{
    m_events.push_back("create_db " + narrow(name));
    if (m_setup.fail_create_db)
    {
        throw odb_exception(errors_occurred_hr);
    }
    destination_setup created = m_setup;
    created.tables.clear();
    return std::make_unique<fake_destination_db>(name, udb_open_mode::created, created, m_events);
}

void fake_destination::begin_run()
{
    m_events.push_back("begin_run");
}

recording_reporter::recording_reporter(const udb_converter& converter)
    : m_converter(converter)
{
}

void recording_reporter::start()
{
    lines.push_back("start");
}

void recording_reporter::progress_line(const conversion_progress& line)
{
    text += line.text;
    switch (line.kind)
    {
    case progress_kind::database:
        lines.push_back("database " + narrow(line.name) + " " + std::to_string(line.count));
        break;
    case progress_kind::schema:
        lines.push_back("schema " + narrow(line.name));
        break;
    case progress_kind::table:
        lines.push_back("table " + narrow(line.name) + " " + std::to_string(line.count) +
                        " done=" + std::to_string(m_converter.tables_done()) + "/" +
                        std::to_string(m_converter.tables_total()));
        break;
    }
}

void recording_reporter::table_missing(const std::wstring& table, const std::wstring& what)
{
    lines.push_back("missing " + narrow(table) + (what.empty() ? "" : " " + narrow(what)));
}

void recording_reporter::index_failed(const std::wstring& table, const std::wstring& index,
                                      const std::wstring& reason)
{
    lines.push_back("index " + narrow(table) + " " + narrow(index) + ": " + narrow(reason));
}

void recording_reporter::run_failed(const std::string& failure)
{
    lines.push_back("failed " + failure);
}

recording_handler::recording_handler()
    : error_handler(oledb_error_texts())
{
    load_err_map(pgs_error_texts());
}

void recording_handler::handle(const tk_exception& error, bool final_stage)
{
    messages.push_back(build_message(error) + (final_stage ? " [final]" : ""));
    if (!final_stage && static_cast<int>(messages.size()) == abort_at)
    {
        throw tk_final_exception();
    }
}

run_bench::run_bench(convertor_flavour flavour, bool with_handler)
    : m_config_home("XDG_CONFIG_HOME", m_dir.file("config"))
    , m_logger(m_dir.file("run.log").c_str(), true, 3, false)
{
    if (with_handler)
    {
        handler = std::make_unique<recording_handler>();
    }
    m_converter = std::make_unique<vandrel_convertor>(flavour);
    m_converter->set_src(L"shop");
    m_converter->set_dest(L"shop_copy");
    reporter = std::make_unique<recording_reporter>(*m_converter);
    m_converter->set_reporter(reporter.get());
}

run_bench::~run_bench()
{
    m_converter.reset();
}

void run_bench::run()
{
    run(std::make_unique<fake_destination>(destination, events));
}

void run_bench::run(std::unique_ptr<conversion_destination> destination_side)
{
    m_converter->set_source(std::make_unique<fake_source>(source, events));
    m_converter->set_destination(std::move(destination_side));
    (*m_converter)();
}

std::vector<std::string> run_bench::log_lines() const
{
    std::istringstream text(test_support::read_file(m_dir.path() / "run.log"));
    std::vector<std::string> lines;
    for (std::string line; std::getline(text, line);)
    {
        if (!line.empty() && line.back() == '\r')
        {
            line.pop_back();
        }
        lines.push_back(line);
    }
    return lines;
}

std::vector<std::string> run_bench::log_lines_starting(const std::string& prefix) const
{
    std::vector<std::string> kept;
    for (const std::string& line : log_lines())
    {
        if (line.rfind(prefix, 0) == 0)
        {
            kept.push_back(line);
        }
    }
    return kept;
}

} // namespace conv_test
