// convertor_fakes.h: fake source and destination sides of the neutral model, a recording
// reporter and error handler, and a bench that runs a conversion over them.
#pragma once

#include "convertor/conversion_reporter.h"
#include "convertor/conversion_sides.h"
#include "convertor/error_handler.h"
#include "convertor/vandrel_convertor.h"
#include "test_support.h"
#include "tk/tk_logger.h"

#include <functional>
#include <map>
#include <memory>
#include <set>
#include <string>
#include <vector>

namespace conv_test
{

/// Every call the fake sides see, in order, as text ("create_table [dbo].[t] columns=2
/// indexes=1", "append [dbo].[t] 3", "flush [dbo].[t]", "release [dbo].[t]" ...).
using event_log = std::vector<std::string>;

/// The lines of `events` that begin with one of `prefixes`.
event_log filtered(const event_log& events, const std::vector<std::string>& prefixes);

/// A source table: rows (id 1..rows, name "row <id>"), a primary key on id, and faults.
struct source_table
{
    std::wstring key;
    int rows = 0;
    /// The row count the recordset reports; -1: the number of rows.
    std::int64_t reported_rows = -1;
    /// get_table throws tk_exception "cannot open <key>" with `fail_severity`.
    bool fail_open = false;
    int fail_severity = 0;
    /// Moving past this row (1-based) throws tk_exception "fetch failed at <n>"; 0: never.
    int fail_fetch_at = 0;
    /// Moving past this row (1-based) throws libpq's two-line "server closed the connection
    /// unexpectedly" as the source side translates a broken connection; 0: never.
    int lose_connection_at = 0;
    /// The table has a third column, "code", text without a length, under the index
    /// "ix_code"; its longest value measures 7 ("longest <key> code" in the log).
    bool text_key = false;
    /// The table has a further column, "amount", a decimal without a declared precision and
    /// with `amount_default` (VT_EMPTY: none); its values measure `amount_extent` ("digits
    /// <key> amount" in the log).
    bool decimal_amount = false;
    ole_variant amount_default{};
    udb_decimal_extent amount_extent{};
};

/// How the destination writer fails: rows numbered from 1 by append order.
struct writer_faults
{
    std::set<int> integrity_rows; ///< odb_exception code 0x80E2F
    std::set<int> overflow_rows;  ///< odb_exception code 0x80E57
    /// odb_exception read from the error records of a lost connection (SQLSTATE 08S01,
    /// "Communication link failure").
    std::set<int> lost_rows;
    /// Rows whose append ends the table as the writer does after a commit answered with an
    /// error that leaves its rows in doubt: that row not stored, one row in doubt.
    std::set<int> failed_commit_rows;
    /// append_record throws udb_value_exception "no literal for id <id>" for rows with these
    /// ids, whatever the table; update does for rows with `update_value_ids`.
    std::set<int> value_ids;
    std::set<int> update_value_ids;
    /// update throws odb_exception "no row of key <id> was updated" for rows with these ids.
    std::set<int> update_refused_ids;
    /// The tables whose rows fail; empty: every table.
    std::set<std::wstring> failing_tables;
    /// Rows are only kept by append_record and stored (or refused, through the row-failure
    /// handler) at flush, as a batching writer does.
    bool batched = false;
    /// flush throws odb_exception code 0x80E21 for these tables.
    std::set<std::wstring> fail_flush;
};

struct source_setup
{
    std::vector<source_table> tables;
    int query_rows = 2;
    bool fail_open_db = false;          ///< open_db throws a severity-0 tk_exception
    bool throw_foreign_failure = false; ///< open_db throws std::runtime_error("disk on fire")
    std::vector<std::wstring> schemas = {L"public", L"Sales"};
    /// By table key: get_item throws udb_value_exception "no form for row <id>" at these rows
    /// (1-based).
    std::map<std::wstring, std::set<int>> value_error_rows{};
};

struct destination_setup
{
    bool exists = true;
    std::vector<std::wstring> tables; ///< existing destination tables
    writer_faults faults;
    bool fail_create_db = false; ///< create_db throws odb_exception code 0x80E21
    /// delete_db throws odb_exception "Cannot drop database "<name>" because it is currently in
    /// use." (the database stays)
    bool fail_delete_db = false;
    /// Indexes of these names are not created, with the reason "too wide".
    std::set<std::wstring> failing_indexes;
    /// Called with each index's name as the server is asked to create it, on the run's thread:
    /// a test holds a long statement there.
    std::function<void(const std::wstring&)> on_index;
    /// The destination database's get_tables throws odb_exception "Incorrect syntax near
    /// 'q'." as a server does that refuses to list the tables of a database whose name it
    /// cannot parse.
    bool fail_list_tables = false;
};

/// The fake source side: source databases over `source_setup`.
class fake_source : public conversion_source
{
public:
    fake_source(source_setup setup, event_log& events);
    std::unique_ptr<udb_database> open_db(const std::wstring& name,
                                          const std::wstring& schema) override;

private:
    source_setup m_setup;
    event_log& m_events;
};

/// The fake destination side: destination databases over `destination_setup`.
class fake_destination : public conversion_destination
{
public:
    fake_destination(destination_setup setup, event_log& events);
    void connect(const std::wstring& server, const std::wstring& user, const std::wstring& password,
                 bool windows_auth) override;
    bool is_db_exist(const std::wstring& name) override;
    void delete_db(const std::wstring& name) override;
    std::unique_ptr<udb_database> open_db(const std::wstring& name, int open_mode) override;
    std::unique_ptr<udb_database> create_db(const std::wstring& name) override;
    void begin_run() override;

private:
    destination_setup m_setup;
    event_log& m_events;
};

/// Records the reporter's calls: "start", "database <src> <n>", "schema <name>",
/// "table <key> <rows> done=<d>/<total>", "missing <key>", "failed <text>",
/// "index <key> <index>: <reason>".
class recording_reporter : public conversion_reporter
{
public:
    explicit recording_reporter(const udb_converter& converter);
    void start() override;
    void progress_line(const conversion_progress& line) override;
    void table_missing(const std::wstring& table, const std::wstring& what) override;
    void run_failed(const std::string& text) override;
    void index_failed(const std::wstring& table, const std::wstring& index,
                      const std::wstring& reason) override;

    std::vector<std::string> lines;
    /// The texts of the progress lines, concatenated as the wizard's log box shows them.
    std::wstring text;

private:
    const udb_converter& m_converter;
};

/// Records each message as the user would see it; " [final]" marks the run level. Chooses
/// Abort (tk_final_exception) at the `abort_at`-th call unless final_stage.
class recording_handler : public error_handler
{
public:
    recording_handler();
    void handle(const tk_exception& error, bool final_stage) override;

    std::vector<std::string> messages;
    int abort_at = 0;
};

/// A converter with a logger (to a file), a recording handler and reporter, and fake sides
/// built from the setups when run() is called. The settings store points at a temporary
/// directory.
class run_bench
{
public:
    /// Without `with_handler` the test builds its own error handler before run().
    explicit run_bench(convertor_flavour flavour = convertor_flavour::agent,
                       bool with_handler = true);
    ~run_bench();

    vandrel_convertor& converter() { return *m_converter; }
    /// Installs fresh fake sides from the setups and runs the conversion.
    void run();
    /// The same with `destination` in place of the fake destination side.
    void run(std::unique_ptr<conversion_destination> destination);
    /// The log's lines (CRLF removed).
    std::vector<std::string> log_lines() const;
    /// The log lines that begin with `prefix`.
    std::vector<std::string> log_lines_starting(const std::string& prefix) const;

    source_setup source;
    destination_setup destination;
    event_log events;
    std::unique_ptr<recording_handler> handler;
    std::unique_ptr<recording_reporter> reporter;

private:
    test_support::temp_dir m_dir;
    test_support::scoped_env m_config_home;
    tk_logger m_logger;
    std::unique_ptr<vandrel_convertor> m_converter;
};

} // namespace conv_test
