// oledb_fake_link.h: a scripted driver link for unit tests of the OLE DB objects.
#pragma once

#include "plat/oledb/oledb_link.h"
#include "plat/oledb/oledb_providers.h"

#include <functional>
#include <map>
#include <memory>
#include <set>
#include <string>
#include <vector>

namespace oledb_test
{

using namespace plat::oledb;

/// One result of a batch: the status of reaching it (execute for the first, more_results for
/// the rest), its columns and rows, and optionally a failure after `fail_after_rows` rows.
struct fake_result
{
    link_status reached;
    std::vector<column_desc> columns;
    std::vector<row> rows;
    int fail_after_rows = -1;
    link_status fetch_failure;
    /// What SQLRowCount tells for this result.
    std::int64_t rows_affected = -1;
};

/// What the fake links do and what they saw; shared by every link a factory makes.
struct fake_script
{
    link_status connect_status;
    std::map<std::wstring, std::vector<fake_result>> batches;
    std::map<std::wstring, fake_result> catalog; ///< "tables", "primary_keys" ...
    std::wstring escape = L"\\";

    /// Links asked for bulk copy offer it, with FreeTDS's column limit and UTF-8 text.
    bool bulk_copy = false;
    /// Bulk-copy calls ending a batch (batch and done, counted from 1) that the server rolls
    /// back with a duplicate key.
    std::set<int> failing_batches;
    /// The failing batches lose the connection (08S01) instead of breaking a key.
    bool batches_lose_connection = false;
    /// Called with the number of each call ending a batch (as failing_batches counts them)
    /// before it is answered, on the thread that ends the batch: a test holds a commit there.
    std::function<void(int)> on_batch_end;
    /// Batch ends (counted as failing_batches) that lose the connection (08S01).
    std::set<int> losing_batches;
    /// Once a connection was lost, every later bulk call and statement fails as over a dead
    /// connection, until a test clears `dead`; and a failing batch end without rows succeeds.
    bool stay_dead = false;
    bool dead = false;
    /// Statements and catalog calls holding this text (when not empty) fail as timed out
    /// (HYT00), as when the server did not answer within their limit.
    std::wstring silent_on;
    /// The bulk copy cannot pass the CHECK_CONSTRAINTS hint (E_NOTIMPL).
    bool no_check_constraints = false;
    /// Statements that lose their answer when this answers true: the connection is lost (08S01,
    /// and dead as above), or with `lost_statements_silent` the server does not answer within
    /// the limit (HYT00); with `lost_statements_ran` the statement ran before its answer was
    /// lost (it is not among the refused statements), else it did not.
    std::function<bool(const std::wstring&)> lose_statement;
    bool lost_statements_silent = false;
    bool lost_statements_ran = false;
    /// Statements refused with a broken key when this answers true.
    std::function<bool(const std::wstring&)> refuse_statement;
    /// The batch ends (as counted above) that were not stored, and the statements refused.
    std::set<int> failed_batch_calls;
    std::vector<std::wstring> refused_statements;
    /// Connections from now on are refused as by a server that is down (08001).
    bool refuse_connections = false;
    /// The bulk row (counted from 1 over all links) whose sending loses the connection; 0: none.
    int lose_connection_at_row = 0;
    /// Bulk rows (counted as lose_connection_at_row counts them) whose sending fails with the
    /// driver's HY000 "General driver error", the connection kept.
    std::set<int> failing_sends;
    int rows_sent = 0;
    /// init, keep_identity, keep_nulls, check_constraints, bind(column,type), row(values|...),
    /// batch, done, rollback (a bulk copy's connection closed with rows sent and not committed),
    /// in order, with each statement the links execute ("sql" or "sql <- values") in between.
    std::vector<std::wstring> trace;
    int batch_calls = 0;

    std::vector<std::wstring> connection_strings;
    std::vector<std::wstring> executed;
    /// Each statement and catalog call run with a limit on the server's answer, with its
    /// latest limit (seconds).
    std::map<std::wstring, unsigned> time_limits;
    /// Links asked, before connecting, to limit every wait on them.
    int links_limited = 0;
    std::vector<std::wstring> catalog_calls; ///< name(arg|arg...) with <null> for NULL
    int links_made = 0;
    int fetches = 0;
};

/// A factory of fake links over the script.
link_factory fake_links(std::shared_ptr<fake_script> script);

/// Registers the SQL Server providers with every link a fake over the script, FreeTDS as the
/// driver, and fast load offered or not.
void register_scripted_providers(plat::oledb::class_table& table,
                                 std::shared_ptr<fake_script> script, bool fast_load);

/// A failure with one record of the given SQLSTATE and text, mapped as a statement error.
link_status statement_failure(const std::wstring& sqlstate, const std::wstring& text);

/// A text column and a text cell.
column_desc text_column(const std::wstring& name);
cell text(const std::u16string& value);

/// The description of the thread's error object (which it clears), or "<no error object>".
std::wstring last_error_text();

} // namespace oledb_test
