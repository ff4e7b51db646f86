// conversion_run.cpp: the conversion run: opening both databases, naming, creating and filling
// each destination table, and sorting failures into record, table and run level.
#include "convertor/error_handler.h"
#include "convertor/vandrel_convertor.h"
#include "mss/mss_fast_load.h"
#include "mss/mss_key_sizes.h"
#include "mss/mss_names.h"
#include "mss/mss_tn_validator.h"
#include "mss/mss_types.h"
#include "mss/odb_exception.h"
#include "pgs/pgs_exception.h"
#include "plat/oledb/oledb_com.h"
#include "plat/plat_fmt.h"
#include "plat/plat_text.h"
#include "tk/tk_logger.h"
#include "udb/udb_table_key.h"
#include "udb/udb_value_exception.h"

#include <algorithm>
#include <cctype>
#include <ctime>
#include <map>
#include <typeinfo>

namespace
{

/// After this many consecutive rows of one table failed with the same error, the rest of the
/// table would only fail the same way: the table stops with one summary line.
constexpr int same_failure_limit = 100;

/// What makes two row failures the same failure: the SQLSTATE and native error of an OLE DB
/// failure, else the kind and code of the failure (the row number aside).
std::wstring failure_identity(const tk_exception& error)
{
    if (const auto* odb = dynamic_cast<const odb_exception*>(&error);
        odb != nullptr && !odb->sqlstate().empty())
    {
        return odb->sqlstate() + L"/" + std::to_wstring(odb->native_error());
    }
    return plat::utf8_to_wide_lossy(typeid(error).name()) + L"/" + std::to_wstring(error.code());
}

/// The user asked the run to stop (the wizard's Cancel): ends the run like Abort does, after
/// the stop line.
class stop_by_user : public tk_final_exception
{
};

/// Ends a table whose rows keep failing alike. Carries the last failure, which is reported
/// once for them all.
class same_failure_stop : public tk_exception
{
public:
    same_failure_stop(const tk_exception& last, std::int64_t first_row, std::int64_t last_row)
        : tk_exception(last.message(), last.severity())
        , m_last(last)
        , m_first_row(first_row)
        , m_last_row(last_row)
    {
    }

    const tk_exception& last() const { return m_last; }
    std::int64_t first_row() const { return m_first_row; }
    std::int64_t last_row() const { return m_last_row; }

private:
    tk_exception m_last;
    std::int64_t m_first_row;
    std::int64_t m_last_row;
};

/// `text` as one line that another sentence can follow: libpq's texts run over several
/// indented lines.
std::string as_sentence(const std::string& original)
{
    std::string text;
    for (const char c : original)
    {
        if (std::isspace(static_cast<unsigned char>(c)) == 0)
        {
            text += c;
        }
        else if (!text.empty() && text.back() != ' ')
        {
            text += ' ';
        }
    }
    if (!text.empty() && text.back() == ' ')
    {
        text.pop_back();
    }
    if (!text.empty() && text.back() != '.')
    {
        text += '.';
    }
    return text;
}

/// The run's scope object: the start and end lines of the log and the `done` flag, which is set
/// on every way out of the run. COM is initialised for the run's thread, as for any thread that
/// reaches the SQL Server side.
class init_conversion
{
public:
    explicit init_conversion(tk_converter& converter)
        : m_converter(converter)
    {
        tk_log(2, "init_conversion::ctor");
        m_converter.set_done(false);
        log_time("Conversion started on %02d/%02d/%04d at %02d:%02d:%02d\n");
        CoInitialize(nullptr);
    }

    ~init_conversion()
    {
        try
        {
            tk_log(2, "init_conversion::dtor");
            CoUninitialize();
            log_time("Conversion ended on %02d/%02d/%04d at %02d:%02d:%02d\n");
        }
        catch (...)
        {
            // The log is the only thing that can fail here, and `done` must still be set.
        }
        m_converter.set_done(true);
    }

    init_conversion(const init_conversion&) = delete;
    init_conversion& operator=(const init_conversion&) = delete;

private:
    static void log_time(const char* format)
    {
        const std::time_t now = std::time(nullptr);
        std::tm local{};
        localtime_r(&now, &local);
        tk_log(3, format, local.tm_mday, local.tm_mon + 1, local.tm_year + 1900, local.tm_hour,
               local.tm_min, local.tm_sec);
    }

    tk_converter& m_converter;
};

/// The schema a new table is created with, measured in one read of the source rows: text that
/// an index covers and that SQL Server would hold only as nvarchar(max), which no index takes,
/// and text with a length whose key may be too large at two units a character, carry the
/// longest value the source holds, so that the destination can give them the size its keys
/// hold; a decimal without a declared precision gets the precision and scale that hold its
/// values and its default.
udb_schema measured_schema(udb_recordset& rows, const udb_indexes& indexes)
{
    udb_schema schema = rows.schema();
    std::vector<std::wstring> text_names;
    std::vector<t_ftd*> texts;
    std::vector<std::wstring> decimal_names;
    std::vector<t_ftd*> decimals;
    const std::vector<bool> key_text = mss_key_text_to_measure(schema, indexes);
    for (std::size_t position = 0; position < schema.size(); ++position)
    {
        t_ftd* column = schema[position];
        if (key_text[position])
        {
            text_names.push_back(column->name);
            texts.push_back(column);
        }
        if (column->is_unmeasured_decimal())
        {
            decimal_names.push_back(column->name);
            decimals.push_back(column);
        }
    }
    if (texts.empty() && decimals.empty())
    {
        return schema;
    }
    const udb_column_measures measures = rows.measure_columns(text_names, decimal_names);
    for (std::size_t column_idx = 0; column_idx < texts.size(); ++column_idx)
    {
        const std::int32_t longest = measures.longest_units[column_idx];
        tk_wlog(2, L"Longest value of column '%s': %d", text_names[column_idx], longest);
        texts[column_idx]->longest_units = longest;
    }
    for (std::size_t column_idx = 0; column_idx < decimals.size(); ++column_idx)
    {
        t_ftd& column = *decimals[column_idx];
        udb_decimal_extent extent = measures.decimals[column_idx];
        // The default fills rows that come later: it must fit as well as the values.
        if (column.default_value.get_type() == VT_DECIMAL)
        {
            extent.add_value(column.default_value.to_string());
        }
        column.dw_reserved = extent.reserved();
        tk_wlog(2, L"Digits of column '%s': %d before the point, %d after; decimal(%d,%d)",
                column.name, extent.integer_digits, extent.scale, column.get_precision(),
                column.get_scale());
    }
    return schema;
}

/// The name the table-name renaming started from, when `table` is one it makes (the prefixes
/// "_", "1", "_", "2", ... in front of a taken name: t, _t, 1_t, _1_t, 2_1_t), peeled again
/// while it is one (a taken "_t" becomes "__t"); else `table`.
std::wstring renaming_base(std::wstring table)
{
    for (;;)
    {
        std::wstring inner = table;
        if (inner.size() > 1 && inner.front() == L'_')
        {
            inner.erase(0, 1);
        }
        // "m_" ... "1_" in front, counting down to 1.
        std::size_t digits = 0;
        while (digits < inner.size() && inner[digits] >= L'0' && inner[digits] <= L'9')
        {
            ++digits;
        }
        if (digits > 0 && digits < 6 && inner[0] != L'0' && digits < inner.size() &&
            inner[digits] == L'_')
        {
            std::wstring rest = inner;
            bool whole = true;
            for (int number = std::stoi(inner.substr(0, digits)); number >= 1; --number)
            {
                const std::wstring prefix = std::to_wstring(number) + L"_";
                if (!rest.starts_with(prefix) || rest.size() == prefix.size())
                {
                    whole = false;
                    break;
                }
                rest.erase(0, prefix.size());
            }
            if (whole)
            {
                inner = rest;
            }
        }
        if (inner == table)
        {
            return table;
        }
        table = inner;
    }
}

/// Text compared as SQL Server compares names (without case).
std::wstring folded(const std::wstring& text)
{
    std::wstring out = text;
    for (wchar_t& c : out)
    {
        c = plat::fold_case(c);
    }
    return out;
}

/// Which namesake group a destination name "[schema].[table]" belongs to: its schema and the
/// name the renaming would have started from, compared without case.
std::wstring namesake_key(const std::wstring& name)
{
    std::wstring table;
    std::wstring schema;
    mss_split_tab_name(name, table, schema, false);
    return folded(schema) + L"\n" + folded(renaming_base(table));
}

std::wstring joined(const std::vector<std::wstring>& items)
{
    std::wstring text;
    for (const std::wstring& item : items)
    {
        text += (text.empty() ? L"" : L", ") + item;
    }
    return text;
}

/// True when the two lists hold the same names, compared without case.
bool same_names(std::vector<std::wstring> a, std::vector<std::wstring> b)
{
    const auto fold_all = [](std::vector<std::wstring>& names)
    {
        for (std::wstring& name : names)
        {
            name = folded(name);
        }
        std::sort(names.begin(), names.end());
        names.erase(std::unique(names.begin(), names.end()), names.end());
    };
    fold_all(a);
    fold_all(b);
    return a == b;
}

} // namespace

/// One run over the converter's settings. Owns the run's objects: they are released, in the
/// reverse order of their making, when the run ends or fails.
class conversion_run
{
public:
    conversion_run(vandrel_convertor& converter, conversion_reporter& reporter)
        : m_converter(converter)
        , m_reporter(reporter)
        , m_handler(error_handler::instance())
    {
    }

    /// Opens both databases and converts every entry of the selection. Failures of a table are
    /// handled inside; anything else leaves for the run level.
    void execute();

private:
    void open_databases();
    /// The destination name of an entry and the name before it was made safe and unique.
    struct destination_choice
    {
        std::wstring name;
        std::wstring plain_name;
    };

    /// Gives every entry of the run its destination name, in the order of the run, and refuses
    /// the entries whose namesakes this run would mix up with another's copy.
    void plan_destinations();
    void refuse_namesakes();
    void convert_entry(const std::wstring& key, const std::wstring& query);
    void begin_entry(const std::wstring& key);
    /// False (reported) for a listed table the source lacks; throws for an entry without a name.
    bool source_entry_exists(const std::wstring& key, const std::wstring& query);
    destination_choice choose_destination(const std::wstring& key);
    /// Applies the mode to an existing destination table; false when the entry is skipped.
    bool prepare_existing_table(const std::wstring& name);
    std::unique_ptr<udb_recordset> create_writer(const std::wstring& key, const std::wstring& name,
                                                 udb_recordset& rows);
    void remember_generated_name(const std::wstring& key, const destination_choice& destination);
    void fill_table(const std::wstring& key, udb_recordset& rows, udb_recordset& writer);
    void report_same_failure(const same_failure_stop& stop);
    // The trace log's line of a stop in table `key`: the rows stored and those in doubt.
    void log_stop(const std::wstring& key, std::int64_t not_stored, std::int64_t in_doubt);
    /// Reports a table's failure; throws tk_final_exception when a server's connection is lost.
    void report_entry_failure(const tk_exception& error);
    /// Ends the load of a table whose source failed part way and says how many of its rows
    /// were stored.
    [[noreturn]] void end_read_failure(const tk_exception& error, udb_recordset& writer);
    void convert_rows(udb_recordset& rows, udb_recordset& writer);
    void write_row(udb_recordset& writer, udb_record& record, std::int64_t row_number);
    void apply_row_policy(udb_recordset& writer, udb_record& record, std::int64_t row_number,
                          const tk_exception& error);
    void report_row(std::int64_t row_number, const tk_exception& error);
    void report_table(const tk_exception& error);
    void report_lost_connection(const tk_exception& error);
    [[noreturn]] static void escalate_lost_row(const odb_exception& error);
    [[noreturn]] static void escalate_lost_merge(const odb_exception& error,
                                                 std::int64_t not_stored, std::int64_t in_doubt);
    /// The destination name of the key: "[schema].[table]", public and sys taken as dbo.
    std::wstring plain_destination_name(const std::wstring& key) const;
    /// Makes sure of the destination name's schema (the schema line first).
    void prepare_schema(const std::wstring& name);
    std::wstring unused_name(const std::wstring& name) const;
    /// Renames the primary and unique keys of the table `name` whose names an earlier table of
    /// this run gave its own keys in that schema (compared without case), and notes the names.
    void unused_key_names(const std::wstring& name, udb_indexes& indexes);
    void check_stop() const;

    vandrel_convertor& m_converter;
    conversion_reporter& m_reporter;
    error_handler& m_handler;
    std::unique_ptr<udb_database> m_source;
    std::unique_ptr<udb_database> m_destination;
    std::unique_ptr<mss_tn_validator> m_validator;
    /// Destination names given to earlier entries of this run.
    std::vector<std::wstring> m_used_names;
    /// Every entry's destination, chosen before the first table.
    std::map<std::wstring, destination_choice> m_planned;
    /// The entries refused for their namesakes, with the report of each.
    std::map<std::wstring, std::wstring> m_refused;
    /// The names of the primary and unique keys of this run's tables, by schema: the server
    /// keeps them as objects of the schema, so two tables cannot have keys of one name.
    std::vector<std::pair<std::wstring, std::wstring>> m_used_key_names;
    /// Of the current table: the last row handed to the writer, the rows it refused or
    /// dropped, and the run of identical failures on consecutive rows.
    std::int64_t m_rows_handed = 0;
    std::int64_t m_rows_refused = 0;
    std::wstring m_same_failure;
    std::int64_t m_same_failure_last_row = 0;
    int m_same_failure_rows = 0;
};

void conversion_run::execute()
{
    m_converter.reset_outcome();
    open_databases();
    vandrel_convertor& conv = m_converter;
    if (conv.flavour() == convertor_flavour::agent && conv.tables().empty() &&
        conv.selected().empty())
    {
        conv.tables() = m_source->get_tables();
    }
    m_validator = std::make_unique<mss_tn_validator>(conv.tables(), m_destination->get_tables());
    for (const std::wstring& table : conv.tables())
    {
        conv.selected().emplace(table, std::wstring());
    }
    // Counted after the merge, so that query entries and profile entries count too and the
    // progress never passes its total.
    plan_destinations();
    const int total = static_cast<int>(conv.selected().size());
    conv.set_tables_total(total);
    conv.set_tables_done(0);
    const std::wstring line =
        plat::wformat_w(L"Converting database %s (%d tables)\n", conv.src(), total);
    tk_wlog(3, L"%s", line);
    m_reporter.progress_line({progress_kind::database, line, conv.src(), total});

    for (const auto& [key, query] : conv.selected())
    {
        if (conv.stop_requested())
        {
            tk_log(3, "Conversion stopped by the user after %d of %d tables", conv.tables_done(),
                   total);
        }
        check_stop();
        convert_entry(key, query);
        conv.set_tables_done(conv.tables_done() + 1);
    }
    m_handler.set_context(L"");
    conv.set_tables_done(0);
    conv.set_tables_total(0);
}

void conversion_run::open_databases()
{
    vandrel_convertor& conv = m_converter;
    conversion_destination& destination = conv.destination();
    destination.begin_run();
    // Tables named by a table list or a profile keep their schemas: the source then lists every
    // schema, so that "not exists" is said only of a table the source lacks. Keys without a
    // schema (the no-schema switch) still name tables of the run's schema.
    const bool named = !conv.tables().empty() || !conv.selected().empty();
    m_source = conv.source().open_db(conv.src(), named && !conv.no_schema() ? std::wstring()
                                                                            : conv.get_schema());
    if (destination.is_db_exist(conv.dest()))
    {
        m_destination =
            destination.open_db(conv.dest(), conv.mode_kind() == conversion_mode::overwrite_database
                                                 ? udb_open_mode::existing
                                                 : udb_open_mode::append);
    }
    else
    {
        m_destination = destination.create_db(conv.dest());
    }
    tk_log(2, "After initializing DBs");
}

void conversion_run::plan_destinations()
{
    for (const auto& [key, query] : m_converter.selected())
    {
        if (key.empty() || (query.empty() && !m_source->is_table_exist(key)))
        {
            continue; // reported at its turn
        }
        destination_choice choice;
        choice.name = plain_destination_name(key);
        choice.plain_name = choice.name;
        if (!m_validator->is_acceptable(choice.name))
        {
            tk_wlog(2, L"Table name '%s' is not acceptable", choice.name);
            choice.name = m_validator->get_safe_name(choice.name);
        }
        choice.name = unused_name(choice.name);
        m_used_names.push_back(choice.name);
        m_planned.emplace(key, choice);
    }
    if (m_converter.mode_kind() != conversion_mode::overwrite_database)
    {
        refuse_namesakes();
    }
}

void conversion_run::refuse_namesakes()
{
    // Names are chosen per run: a table whose namesake is left out of the run, or that came
    // after the last run, gets the destination table of another's copy. Such a group is
    // converted only whole, into destination tables that are all of them its own or none yet.
    struct namesake_group
    {
        std::vector<std::wstring> sources;
        std::vector<std::wstring> entries;
        std::vector<std::wstring> names;
        std::vector<std::wstring> existing;
    };
    std::map<std::wstring, namesake_group> groups;
    for (const std::wstring& table : m_source->get_all_tables())
    {
        groups[namesake_key(plain_destination_name(table))].sources.push_back(table);
    }
    for (const auto& [key, choice] : m_planned)
    {
        namesake_group& group = groups[namesake_key(choice.name)];
        group.entries.push_back(key);
        group.names.push_back(choice.name);
    }
    for (const std::wstring& table : m_destination->get_tables())
    {
        if (const auto found = groups.find(namesake_key(table)); found != groups.end())
        {
            found->second.existing.push_back(table);
        }
    }
    for (const auto& [group_key, group] : groups)
    {
        if (group.sources.size() < 2 || group.entries.empty())
        {
            continue;
        }
        std::vector<std::wstring> left_out;
        for (const std::wstring& source : group.sources)
        {
            if (!m_planned.contains(source))
            {
                left_out.push_back(source);
            }
        }
        std::wstring reason;
        if (!left_out.empty())
        {
            reason = L"this run does not convert " + joined(left_out);
        }
        else if (!group.existing.empty() && !same_names(group.existing, group.names))
        {
            reason = L"the destination holds " + joined(group.existing) + L", not the tables " +
                     L"this run gives them";
        }
        else
        {
            continue;
        }
        std::vector<std::wstring> destinations;
        for (std::size_t idx = 0; idx < group.entries.size(); ++idx)
        {
            destinations.push_back(group.entries[idx] + L" into " + group.names[idx]);
        }
        for (const std::wstring& key : group.entries)
        {
            const std::wstring text =
                L"Table " + key + L" was not converted: it has namesakes in the source (" +
                joined(group.sources) + L") whose destination names are chosen by each run (" +
                joined(destinations) + L"), and " + reason +
                L"; convert all of them together, or into a new database with --mode=0.";
            tk_wlog(2, L"%s", text);
            m_refused.emplace(key, text);
        }
    }
}

void conversion_run::convert_entry(const std::wstring& key, const std::wstring& query)
{
    begin_entry(key);
    try
    {
        if (const auto refused = m_refused.find(key); refused != m_refused.end())
        {
            // Nothing of it is dropped, written or skipped.
            report_table(
                tk_exception(plat::wide_to_utf8(refused->second), tk_severity::recoverable));
            return;
        }
        if (!source_entry_exists(key, query))
        {
            return;
        }
        // Declared before the writer so that the writer goes first: the source rows hold the
        // source connection's transaction until they are released.
        const std::unique_ptr<udb_recordset> rows =
            query.empty() ? m_source->get_table(key, udb_table_mode::read_only)
                          : m_source->get_query(key, query, udb_table_mode::read_only);
        const destination_choice destination = choose_destination(key);
        if (!prepare_existing_table(destination.name))
        {
            return;
        }
        const std::unique_ptr<udb_recordset> writer = create_writer(key, destination.name, *rows);
        remember_generated_name(key, destination);
        fill_table(key, *rows, *writer);
    }
    catch (const same_failure_stop& stop)
    {
        report_same_failure(stop);
    }
    catch (const tk_exception& error)
    {
        report_entry_failure(error);
    }
}

void conversion_run::report_entry_failure(const tk_exception& error)
{
    if (error.connection_lost())
    {
        report_lost_connection(error);
        // The table was reported; nothing further can be done against a server that is gone,
        // so the run ends without trying the next tables.
        throw tk_final_exception();
    }
    report_table(error);
}

void conversion_run::begin_entry(const std::wstring& key)
{
    m_converter.set_current_table(key);
    m_converter.set_records_total(0);
    m_converter.set_records_done(0);
    m_rows_handed = 0;
    m_rows_refused = 0;
    m_same_failure.clear();
    m_same_failure_rows = 0;
}

bool conversion_run::source_entry_exists(const std::wstring& key, const std::wstring& query)
{
    if (key.empty())
    {
        throw tk_exception("A selected table has no name.", tk_severity::recoverable);
    }
    if (query.empty() && !m_source->is_table_exist(key))
    {
        m_converter.count_failure();
        m_reporter.table_missing(key, m_source->describe_non_table(key));
        return false;
    }
    return true;
}

conversion_run::destination_choice conversion_run::choose_destination(const std::wstring& key)
{
    const destination_choice& choice = m_planned.at(key);
    prepare_schema(choice.plain_name);
    return choice;
}

bool conversion_run::prepare_existing_table(const std::wstring& name)
{
    if (m_destination->is_table_exist(name))
    {
        if (m_converter.mode_kind() == conversion_mode::skip_tables)
        {
            return false;
        }
        if (m_converter.mode_kind() == conversion_mode::overwrite_tables)
        {
            m_destination->delete_tab(name);
        }
    }
    return true;
}

std::unique_ptr<udb_recordset> conversion_run::create_writer(const std::wstring& key,
                                                             const std::wstring& name,
                                                             udb_recordset& rows)
{
    udb_indexes indexes;
    if (!m_converter.skip_idx())
    {
        indexes = rows.indexes();
        unused_key_names(name, indexes);
    }
    const udb_schema schema =
        m_destination->is_table_exist(name) ? rows.schema() : measured_schema(rows, indexes);
    std::unique_ptr<udb_recordset> writer = m_destination->create_table(name, schema, indexes);
    for (const udb_index_failure& failure : m_destination->take_index_failures())
    {
        m_converter.count_failure();
        m_reporter.index_failed(key, failure.index, failure.reason);
    }
    writer->set_row_failure_handler(
        [this, &target = *writer](udb_record& record, std::int64_t row_number,
                                  const tk_exception& error)
        { apply_row_policy(target, record, row_number, error); });
    return writer;
}

void conversion_run::remember_generated_name(const std::wstring& key,
                                             const destination_choice& destination)
{
    const std::wstring& name = destination.name;
    if (m_validator->is_acceptable(key) && name == destination.plain_name)
    {
        return;
    }
    tk_wlog(2, L"Store generated table name '%s'", name);
    tk_wlog(1, L"udb_validator::add_existing_name(%s)", name);
    m_validator->add_existing_name(name);
    udb_names_map& names = m_destination->names_map();
    names.add_tn_mapping(key, name);
    std::wstring unbracketed = key;
    std::erase_if(unbracketed, [](wchar_t c) { return c == L'[' || c == L']'; });
    if (unbracketed != key)
    {
        names.add_tn_mapping(unbracketed, name);
    }
}

void conversion_run::fill_table(const std::wstring& key, udb_recordset& rows, udb_recordset& writer)
{
    vandrel_convertor& conv = m_converter;
    conv.set_records_total(rows.record_count());
    const std::wstring line =
        plat::wformat_w(L"Converting table %s (%d records)\n", key, conv.records_total());
    tk_wlog(3, L"%s", line);
    m_reporter.progress_line({progress_kind::table, line, key, conv.records_total()});
    if (conv.records_total() != 0 && !conv.tab_def())
    {
        try
        {
            convert_rows(rows, writer);
        }
        catch (const stop_by_user&)
        {
            // Committed first, so that the line counts what the table holds. A commit given up
            // on the way (no answer within the stop's wait) leaves its rows in doubt.
            try
            {
                writer.flush();
            }
            catch (const mss_connection_lost& lost)
            {
                // Still the user's stop, not a lost server.
                log_stop(key, lost.rows_not_stored(), lost.rows_in_doubt());
                throw stop_by_user();
            }
            log_stop(key, 0, 0);
            throw;
        }
        catch (const mss_connection_lost& lost)
        {
            if (!conv.stop_requested())
            {
                throw;
            }
            // The stop gave up a commit that was not answering: the run ends as stopped.
            log_stop(key, lost.rows_not_stored(), lost.rows_in_doubt());
            throw stop_by_user();
        }
        catch (const pgs_exception& error)
        {
            if (error.connection_lost())
            {
                throw;
            }
            end_read_failure(error, writer);
        }
    }
    // Ends the load here, where its failure is still this table's error; the destructor then
    // has nothing left to report.
    try
    {
        writer.flush();
    }
    catch (const mss_connection_lost& lost)
    {
        if (!conv.stop_requested())
        {
            throw;
        }
        // The stop gave up the last commit, which was not answering.
        log_stop(key, lost.rows_not_stored(), lost.rows_in_doubt());
        throw stop_by_user();
    }
}

void conversion_run::end_read_failure(const tk_exception& error, udb_recordset& writer)
{
    // The rows handed over so far are stored first, so that the count says what the table
    // holds; a writer that fails now reports that failure instead.
    writer.flush();
    const std::int64_t stored = std::max<std::int64_t>(0, m_rows_handed - m_rows_refused);
    throw tk_exception(
        plat::format("%s %d rows of this table had been stored; the rest of it was not read.",
                     as_sentence(error.message()), stored),
        error.severity());
}

void conversion_run::log_stop(const std::wstring& key, std::int64_t not_stored,
                              std::int64_t in_doubt)
{
    not_stored = std::min(not_stored, m_rows_handed - m_rows_refused);
    in_doubt = std::min(in_doubt, not_stored);
    std::wstring text = plat::wformat_w(
        L"Conversion stopped by the user in table %s: %d of its %d records were stored", key,
        m_rows_handed - m_rows_refused - not_stored, m_converter.records_total());
    if (in_doubt > 0)
    {
        text += plat::wformat_w(L", %d more may have been", in_doubt);
    }
    tk_wlog(3, L"%s", text);
}

void conversion_run::report_same_failure(const same_failure_stop& stop)
{
    m_converter.count_failure();
    m_handler.set_context(plat::wformat_w(
        L"%s, records #%d to #%d (%d consecutive rows failed alike; the rest of the table was "
        L"not converted)",
        m_converter.current_table(), stop.first_row(), stop.last_row(), same_failure_limit));
    m_handler.handle(stop.last(), false);
}

void conversion_run::report_table(const tk_exception& error)
{
    m_converter.count_failure();
    m_handler.set_context(m_converter.current_table());
    m_handler.handle(error, false);
}

void conversion_run::report_lost_connection(const tk_exception& error)
{
    std::int64_t not_stored = 0;
    std::int64_t in_doubt = 0;
    if (const auto* lost = dynamic_cast<const mss_connection_lost*>(&error); lost != nullptr)
    {
        not_stored = lost->rows_not_stored();
        in_doubt = lost->rows_in_doubt();
    }
    const std::int64_t stored = std::max<std::int64_t>(0, m_rows_handed - m_rows_refused -
                                                              std::min(not_stored, m_rows_handed));
    const char* server = "the server";
    if (dynamic_cast<const odb_exception*>(&error) != nullptr)
    {
        server = "SQL Server";
    }
    else if (dynamic_cast<const pgs_exception*>(&error) != nullptr)
    {
        server = "the PostgreSQL server";
    }
    if (const auto* silent = dynamic_cast<const mss_connection_lost*>(&error);
        silent != nullptr && silent->silent_seconds() > 0)
    {
        // Not lost but silent: the same report, with its own first words.
        std::string text = plat::format(
            "SQL Server did not answer for %d seconds while storing %s: %d rows stored",
            silent->silent_seconds(), plat::wide_to_utf8(m_converter.current_table()), stored);
        if (in_doubt > 0)
        {
            text +=
                plat::format(", %d more may have been", std::min(in_doubt, m_rows_handed - stored));
        }
        tk_exception report(text + "; the conversion stops.", error.severity());
        report.set_connection_lost(true);
        m_converter.set_connection_lost();
        report_table(report);
        return;
    }
    std::string outcome = plat::format("%d rows of this table had been stored", stored);
    if (in_doubt > 0)
    {
        const auto* lost = dynamic_cast<const mss_connection_lost*>(&error);
        std::string why = "their commit got no answer";
        if (lost != nullptr && !lost->commit_failure().empty())
        {
            std::string text = as_sentence(plat::wide_to_utf8(lost->commit_failure()));
            if (!text.empty() && text.back() == '.')
            {
                text.pop_back();
            }
            why = "their commit failed: " + text;
        }
        outcome += plat::format(", and %d more may have been (%s)",
                                std::min(in_doubt, m_rows_handed - stored), why);
    }
    tk_exception report(plat::format("The connection to %s was lost: %s %s; the conversion stops.",
                                     server, as_sentence(error.message()), outcome),
                        error.severity());
    report.set_connection_lost(true);
    m_converter.set_connection_lost();
    report_table(report);
}

void conversion_run::escalate_lost_row(const odb_exception& error)
{
    if (const auto* lost = dynamic_cast<const mss_connection_lost*>(&error); lost != nullptr)
    {
        throw *lost;
    }
    // The row being written went with the connection, unless its statement ran before the
    // answer was lost.
    throw mss_connection_lost(error, 1, 1);
}

void conversion_run::escalate_lost_merge(const odb_exception& error, std::int64_t not_stored,
                                         std::int64_t in_doubt)
{
    // The writer counted the rows it held (a lost connection ends them all); the row of the
    // merge is counted here.
    if (const auto* lost = dynamic_cast<const mss_connection_lost*>(&error); lost != nullptr)
    {
        throw mss_connection_lost(*lost, lost->rows_not_stored() + not_stored,
                                  lost->rows_in_doubt() + in_doubt);
    }
    throw mss_connection_lost(error, not_stored, in_doubt);
}

void conversion_run::convert_rows(udb_recordset& rows, udb_recordset& writer)
{
    vandrel_convertor& conv = m_converter;
    // Room for two batches of rows: one the server commits while the next is read, whose
    // records come back together when that commit has ended.
    const auto pool = std::make_shared<udb_record_pool>(2048);
    rows.set_record_pool(pool);
    writer.set_record_pool(pool);
    rows.reset();
    while (!rows.is_eof())
    {
        check_stop();
        tk_log(1, "Converting %d record", conv.records_done());
        const std::int64_t row_number = conv.records_done() + 1;
        udb_record* record = nullptr;
        try
        {
            record = rows.get_item();
            if (record == nullptr)
            {
                break;
            }
        }
        catch (const udb_value_exception& error)
        {
            // The source stays on this row, so the next one is still read; this one is not
            // written.
            ++m_rows_refused;
            report_row(row_number, error);
        }
        if (record != nullptr)
        {
            // The record is all that is kept of the row from here on (also for its report).
            rows.row_taken();
            write_row(writer, *record, row_number);
        }
        rows.next();
        conv.set_records_done(row_number);
    }
}

void conversion_run::write_row(udb_recordset& writer, udb_record& record, std::int64_t row_number)
{
    try
    {
        writer.set_next_row_number(row_number);
        m_rows_handed = row_number;
        writer.append_record(record);
    }
    catch (const udb_value_exception& error)
    {
        ++m_rows_refused;
        report_row(row_number, error);
    }
    catch (const odb_exception& error)
    {
        if (error.connection_lost())
        {
            escalate_lost_row(error);
        }
        apply_row_policy(writer, record, row_number, error);
    }
}

void conversion_run::apply_row_policy(udb_recordset& writer, udb_record& record,
                                      std::int64_t row_number, const tk_exception& error)
{
    const conversion_mode mode = m_converter.mode_kind();
    tk_log(2, "n_mode=%d, error=%d", m_converter.mode(), error.code());
    if (error.connection_lost())
    {
        if (const auto* odb = dynamic_cast<const odb_exception*>(&error); odb != nullptr)
        {
            escalate_lost_row(*odb);
        }
        throw error;
    }
    if (is_integrity_violation(error))
    {
        if (mode == conversion_mode::merge_update)
        {
            try
            {
                writer.update(record);
            }
            catch (const udb_value_exception& value_error)
            {
                // The row stays as it was in the table: that is this row's failure.
                ++m_rows_refused;
                report_row(row_number, value_error);
            }
            catch (const odb_exception& update_error)
            {
                if (update_error.connection_lost())
                {
                    // The update may have run before its answer was lost.
                    escalate_lost_merge(update_error, 1, 1);
                }
                // No key, no row of its key, or a refused UPDATE: the row asked for is not
                // there, so it is reported like any row that could not be written.
                ++m_rows_refused;
                report_row(row_number, update_error);
            }
            return;
        }
        if (mode == conversion_mode::merge)
        {
            ++m_rows_refused;
            try
            {
                // A duplicate of a stored row is dropped; a row whose key the server only takes
                // for a stored one ('a ' for 'a') is another row, and is reported.
                writer.check_duplicate(record);
            }
            catch (const odb_exception& key_error)
            {
                if (key_error.connection_lost())
                {
                    // The row itself was refused (counted above); the lookup wrote nothing.
                    escalate_lost_merge(key_error, 0, 0);
                }
                report_row(row_number, key_error);
            }
            return;
        }
    }
    ++m_rows_refused;
    report_row(row_number, error);
}

void conversion_run::report_row(std::int64_t row_number, const tk_exception& error)
{
    const std::wstring identity = failure_identity(error);
    if (m_same_failure_rows > 0 && identity == m_same_failure &&
        row_number == m_same_failure_last_row + 1)
    {
        ++m_same_failure_rows;
    }
    else
    {
        m_same_failure = identity;
        m_same_failure_rows = 1;
    }
    m_same_failure_last_row = row_number;
    if (m_same_failure_rows >= same_failure_limit)
    {
        // Not an OLE DB failure: it leaves every row level and ends the table.
        throw same_failure_stop(error, row_number - same_failure_limit + 1, row_number);
    }
    m_converter.count_failure();
    m_handler.set_context(
        plat::wformat_w(L"%s, record #%d", m_converter.current_table(), row_number));
    m_handler.handle(error, false);
}

std::wstring conversion_run::plain_destination_name(const std::wstring& key) const
{
    std::wstring table;
    std::wstring schema;
    if (m_converter.no_schema())
    {
        // Keys are bare table names then, which may hold dots; only a bracketed key is split.
        mss_split_tab_name(key, table, schema, true);
        return L"[dbo]." + mss_quote_name(table);
    }
    tk_log(1, "Create full table name in 'Full replication' mode");
    // The key's own (schema, table), read as the source and the lists write it ("sch.dot".t),
    // never split again at its first dot. A bracketed key keeps its old reading.
    const std::optional<udb_table_pair> pair =
        key.starts_with(L'[') ? std::nullopt : udb_split_table_key(key);
    if (pair)
    {
        schema = pair->first;
        table = pair->second;
    }
    else
    {
        mss_split_tab_name(key, table, schema, false);
    }
    if (schema.empty() || plat::equal_ci(schema, L"public") || plat::equal_ci(schema, L"sys"))
    {
        schema = L"dbo";
    }
    const std::wstring name = mss_quote_name(schema) + L"." + mss_quote_name(table);
    tk_wlog(2, L"Got full table name: '%s'", name);
    return name;
}

void conversion_run::prepare_schema(const std::wstring& name)
{
    if (m_converter.no_schema())
    {
        return; // the schema is dbo
    }
    std::wstring table;
    std::wstring schema;
    mss_split_tab_name(name, table, schema, false);
    const std::wstring line = plat::wformat_w(L"Creating schema if necessary: '%s'\n", schema);
    tk_wlog(3, L"%s", line);
    m_reporter.progress_line({progress_kind::schema, line, schema, 0});
    m_destination->create_schema(schema);
}

std::wstring conversion_run::unused_name(const std::wstring& name) const
{
    const auto same = [&](const std::wstring& used) { return plat::equal_ci(used, name); };
    if (std::none_of(m_used_names.begin(), m_used_names.end(), same))
    {
        return name;
    }
    // Two entries would fill one table (SQL Server compares names without case, and public
    // and sys both become dbo): the later one gets a table name of its own in that schema.
    const auto parts_of = [](const std::wstring& full)
    {
        std::wstring table;
        std::wstring schema;
        mss_split_tab_name(full, table, schema, false);
        return std::pair{schema, table};
    };
    const auto [schema, table] = parts_of(name);
    mss_validator taken;
    for (const std::wstring& used : m_used_names)
    {
        const auto [used_schema, used_table] = parts_of(used);
        if (plat::equal_ci(used_schema, schema))
        {
            taken.add_existing_name(used_table);
        }
    }
    const std::wstring unique = mss_quote_name(schema.empty() ? L"dbo" : schema) + L"." +
                                mss_quote_name(taken.get_safe_name(table));
    tk_wlog(2, L"Table name '%s' is taken by an earlier table of this run; using '%s'", name,
            unique);
    return unique;
}

void conversion_run::unused_key_names(const std::wstring& name, udb_indexes& indexes)
{
    std::wstring table;
    std::wstring schema;
    mss_split_tab_name(name, table, schema, false);
    // A table renamed because another differs from it only by case ("Case" and case) brings
    // that table's key name in another case ("Case_pkey" and "case_pkey").
    mss_validator taken;
    for (const auto& [used_schema, used_name] : m_used_key_names)
    {
        if (plat::equal_ci(used_schema, schema))
        {
            taken.add_existing_name(used_name);
        }
    }
    for (std::size_t idx = 0; idx < indexes.size(); ++idx)
    {
        udb_index& index = indexes[idx];
        if ((!index.primary && !index.unique) || index.name.empty())
        {
            continue;
        }
        const std::wstring unique = taken.get_safe_name(index.name);
        if (unique != index.name)
        {
            tk_wlog(2, L"Key name '%s' is taken by an earlier table of this run; using '%s'",
                    index.name, unique);
            index.name = unique;
        }
        taken.add_existing_name(unique);
        m_used_key_names.emplace_back(schema, unique);
    }
}

void conversion_run::check_stop() const
{
    if (m_converter.stop_requested())
    {
        tk_log(2, "The conversion was asked to stop");
        throw stop_by_user();
    }
}

void vandrel_convertor::operator()()
{
    tk_log(2, "vandrel_convertor::operator()");
    const init_conversion scope(*this);
    conversion_reporter& outlet = reporter();
    // Every way out but the end of execute() is a run that ended early.
    set_ended_early(true);
    // A stop of an earlier run no longer shortens the commits' waits.
    mss_fast_load::hurry(std::nullopt);
    try
    {
        outlet.start();
        conversion_run run(*this, outlet);
        run.execute();
        set_ended_early(false);
    }
    catch (const tk_final_exception&)
    {
        tk_log(2, "The conversion was stopped");
    }
    catch (const tk_exception& error)
    {
        if (error.connection_lost())
        {
            set_connection_lost();
        }
        error_handler* handler = error_handler::find();
        if (handler == nullptr)
        {
            // A program that runs without an error handler still learns why the run ended.
            outlet.run_failed(error.message());
            return;
        }
        try
        {
            handler->handle(error, true);
        }
        catch (const tk_final_exception&)
        {
            // With final_stage set no form should throw it; the run is over either way.
        }
    }
    catch (const std::exception& error)
    {
        outlet.run_failed(error.what());
    }
}
