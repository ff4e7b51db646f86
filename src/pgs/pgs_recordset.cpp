// pgs_recordset.cpp: construction, the select list, and streaming rows through the cursor.
#include "pgs/pgs_recordset.h"

#include "pgs/pgs_database.h"
#include "pgs/pgs_engine.h"
#include "pgs/pgs_exception.h"
#include "pgs/pgs_types.h"
#include "plat/plat_text.h"
#include "tk/tk_logger.h"
#include "tk/tk_string.h"
#include "udb/udb_value_exception.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cwctype>
#include <limits>
#include <pqxx/binarystring>
#include <pqxx/pipeline>
#include <string_view>
#include <typeinfo>

namespace
{

std::string fetch_sql(int rows)
{
    return "FETCH FORWARD " + std::to_string(rows) + " FROM mycursor";
}

// The bytes of the widest row of a block: the values' text, a few bytes of bookkeeping each.
std::size_t widest_row(const pqxx::result& block)
{
    std::size_t widest = 0;
    const auto columns = block.columns();
    for (const auto& row : block)
    {
        std::size_t bytes = 0;
        for (pqxx::row::size_type column = 0; column < columns; ++column)
        {
            bytes += row[column].size() + 16;
        }
        widest = std::max(widest, bytes);
    }
    return widest;
}

const std::string& type_name_of(const t_ftd& column)
{
    static const std::string none;
    const auto* pgs_column = dynamic_cast<const pgs_ftd*>(&column);
    return pgs_column != nullptr ? pgs_column->type_name : none;
}

// A whole number as the server prints it; false for anything from_chars does not take whole.
template <class Number>
bool read_number(std::string_view text, Number& out)
{
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), out);
    return error == std::errc() && end == text.data() + text.size();
}

// The server's words for the floating values without a number.
bool special_double(std::string_view text, double& out)
{
    if (text == "NaN")
    {
        out = std::numeric_limits<double>::quiet_NaN();
        return true;
    }
    if (text == "Infinity" || text == "-Infinity")
    {
        out = text.front() == '-' ? -std::numeric_limits<double>::infinity()
                                  : std::numeric_limits<double>::infinity();
        return true;
    }
    return false;
}

} // namespace

pgs_recordset::pgs_recordset(pgs_database& database, const std::wstring& name,
                             udb_relationships& relationships, int mode)
    : udb_recordset(name, 1)
    , m_db_name(database.name())
    , m_relationships(&relationships)
    , m_database(&database)
{
    tk_wlog(2, L"pgs_recordset::pgs_recordset2(%s)", name);
    tk_log(1, "mode=%d", mode);
    resolve_name(name);
    init_schema();
    if (schema().empty())
    {
        tk_log(2, "Empty table");
    }
    else
    {
        init_indexes();
    }
    set_record_count(get_rec_count());
}

pgs_recordset::pgs_recordset(pgs_database& database, const std::wstring& name,
                             const std::wstring& sql, udb_relationships& relationships, int mode)
    : udb_recordset(name, 1)
    , m_db_name(database.name())
    , m_relationships(&relationships)
    , m_database(&database)
{
    tk_wlog(2, L"pgs_recordset::pgs_recordset1(%s)", name);
    tk_log(1, "mode=%d", mode);
    resolve_name(name);
    // A statement terminator would end the subquery the query is read through.
    std::wstring text = sql;
    while (!text.empty() && (text.back() == L';' || std::iswspace(text.back()) != 0))
    {
        text.pop_back();
    }
    set_query(text);
    init_query_schema();
    set_record_count(get_rec_count());
}

pgs_recordset::~pgs_recordset()
{
    tk_log(1, "pgs_recordset::~pgs_recordset");
    close_writing();
    close_reading();
    tk_log(1, "pgs_recordset::~pgs_recordset - END");
}

void pgs_recordset::close_reading() noexcept
{
    // Over a broken connection nothing more can arrive: waiting for it would only meet the
    // same failure again.
    if (m_pipeline && m_read_transaction && m_read_transaction->conn().is_open())
    {
        try
        {
            // The fetch on its way must arrive before the transaction can end.
            m_pipeline->complete();
        }
        catch (const std::exception& error)
        {
            tk_log(3, "ERROR: %s", error.what());
        }
        catch (...)
        {
            tk_log(3, "ERROR: %s", "unknown failure while closing the cursor");
        }
    }
    // Neither destructor throws; the transaction is rolled back, as nothing was written.
    m_pipeline.reset();
    m_pending = -1;
    m_read_transaction.reset();
}

void pgs_recordset::resolve_name(const std::wstring& name)
{
    if (const auto listed = m_database->find_full_name(name))
    {
        m_schema_name = listed->first;
        m_table_name = listed->second;
    }
    else
    {
        const pgs_engine& engine = pgs_engine::instance();
        const auto [schema, table] = pgs_split_name(name);
        m_schema_name = engine.fold_name(schema);
        m_table_name = engine.fold_name(table);
    }
    tk_wlog(2, L"tname=(%s,%s)", m_schema_name, m_table_name);
}

std::wstring pgs_recordset::column_reference(std::size_t position) const
{
    if (is_query())
    {
        return pgs_quote_ident(L"c" + std::to_wstring(position + 1));
    }
    return pgs_quote_ident(schema()[position]->name);
}

std::wstring pgs_recordset::source_sql() const
{
    if (is_query())
    {
        std::wstring columns;
        for (std::size_t position = 0; position < schema().size(); ++position)
        {
            columns += (position == 0 ? L"" : L", ") + column_reference(position);
        }
        return L"(" + query() + L") AS query" + (columns.empty() ? L"" : L"(" + columns + L")");
    }
    return (m_partitioned ? L"" : L"ONLY ") + pgs_quote_ident(m_schema_name) + L"." +
           pgs_quote_ident(m_table_name);
}

std::wstring pgs_recordset::get_select_fields() const
{
    tk_log(1, "pgs_recordset::get_select_fields");
    std::wstring fields;
    for (std::size_t position = 0; position < schema().size(); ++position)
    {
        const t_ftd& column = *schema()[position];
        const std::wstring reference = column_reference(position);
        const std::wstring alias = L" AS " + pgs_quote_ident(column.name);
        const std::string& type_name = type_name_of(column);
        std::wstring expression = reference;
        if (column.vartype == VT_BOOL)
        {
            expression = L"CASE WHEN " + reference + L" THEN 'true' WHEN NOT " + reference +
                         L" THEN 'false' END" + alias;
        }
        else if (type_name == "money")
        {
            expression = reference + L"::numeric" + alias;
        }
        else if (is_query())
        {
            expression = reference + alias;
        }
        fields += (position == 0 ? L"" : L", ") + expression;
    }
    tk_wlog(1, L"res=%s", fields);
    return fields;
}

std::wstring pgs_recordset::get_select_sql() const
{
    return L"SELECT " + get_select_fields() + L" FROM " + source_sql();
}

std::int64_t pgs_recordset::get_rec_count()
{
    tk_log(1, "pgs_recordset::get_rec_count");
    const std::wstring sql = L"SELECT COUNT(*) FROM " + source_sql();
    tk_wlog(1, L"Running query: %s", sql);
    pqxx::connection& connection = pgs_engine::instance().connection();
    return pgs_checked(
        [&]
        {
            pqxx::work transaction(connection, "get_rec_count");
            // The count is what the run promises: a policy may not shorten it either.
            transaction.exec(pgs_row_security_sql);
            return transaction.exec(tk_string::to_utf8(sql))[0][0].as<std::int64_t>();
        },
        "Cannot get number of records (" + tk_string::to_ansi(name()) + "): ");
}

std::vector<std::int32_t> pgs_recordset::longest_text(const std::vector<std::wstring>& columns)
{
    tk_log(1, "pgs_recordset::longest_text");
    return measure_columns(columns, {}).longest_units;
}

namespace
{

// A text column to measure: how the statement names it, and whether it is char(n), which
// arrives padded to its length.
struct measured_text
{
    std::wstring reference;
    bool padded = false;
};

// The statement that measures the columns in one scan of `source`: the aggregates inside,
// what is made of them outside. `bytes_only`: the server does not interpret its text's bytes.
std::wstring measure_sql(const std::vector<measured_text>& texts,
                         const std::vector<std::wstring>& decimals, const std::wstring& source,
                         bool bytes_only)
{
    std::wstring aggregates;
    std::wstring results;
    const auto add = [](std::wstring& list, const std::wstring& item)
    { list += (list.empty() ? L"" : L", ") + item; };
    for (std::size_t column_idx = 0; column_idx < texts.size(); ++column_idx)
    {
        const std::wstring& value = texts[column_idx].reference;
        const bool padded = texts[column_idx].padded;
        // The cast to text drops the padding of char(n).
        const std::wstring text = value + L"::text";
        std::wstring units;
        if (bytes_only)
        {
            // As many bytes as UTF-16 units of UTF-8 text, or more.
            units = L"octet_length(" + (padded ? value : text) + L")";
        }
        else
        {
            // One unit a character, two for a character beyond U+FFFF: in UTF-8 each of those
            // begins with the one byte from F0 on of its four (the hex pairs from f0, kept one
            // character each). Text of one byte a character holds none, in every encoding, and
            // no such character is named here: the server's encoding may have none.
            units =
                L"char_length(" + text + L")" +
                (padded ? L" + octet_length(" + value + L") - octet_length(" + text + L")" : L"") +
                L" + CASE WHEN octet_length(" + text + L") = char_length(" + text +
                L") THEN 0 ELSE length(regexp_replace(encode(convert_to(" + text +
                L", 'UTF8'), 'hex'), '[0-9a-e].|f(.)', E'\\\\1', 'g')) END";
        }
        const std::wstring alias = L"t" + std::to_wstring(column_idx + 1);
        add(aggregates, L"COALESCE(MAX(" + units + L"), 0) AS " + alias);
        add(results, alias);
    }
    for (std::size_t column_idx = 0; column_idx < decimals.size(); ++column_idx)
    {
        // scale() is NULL for NaN and the infinities: they are no values to hold, and the
        // largest magnitude has the most digits before the point.
        const std::wstring& value = decimals[column_idx];
        const std::wstring number = std::to_wstring(column_idx + 1);
        add(aggregates, L"MAX(abs(" + value + L")) FILTER (WHERE scale(" + value +
                            L") IS NOT NULL) AS m" + number + L", MAX(scale(" + value + L")) AS s" +
                            number);
        add(results, L"CASE WHEN m" + number + L" >= 1 THEN length(trunc(m" + number +
                         L")::text) WHEN m" + number + L" IS NOT NULL THEN 0 END, s" + number);
    }
    return L"SELECT " + results + L" FROM (SELECT " + aggregates + L" FROM " + source +
           L") AS measured";
}

} // namespace

udb_column_measures pgs_recordset::measure_columns(const std::vector<std::wstring>& text_columns,
                                                   const std::vector<std::wstring>& decimal_columns)
{
    tk_log(1, "pgs_recordset::measure_columns");
    udb_column_measures measures;
    measures.longest_units.assign(text_columns.size(), 0);
    measures.decimals.resize(decimal_columns.size());
    if (text_columns.empty() && decimal_columns.empty())
    {
        return measures;
    }
    const std::string failure =
        "Cannot measure the values of (" + tk_string::to_ansi(name()) + "): ";
    const auto position_of = [&](const std::wstring& column)
    {
        const int position = schema().get_field_idx(column);
        if (position < 0)
        {
            throw pgs_exception(failure + "no column " + tk_string::to_ansi(column));
        }
        return static_cast<std::size_t>(position);
    };
    std::vector<measured_text> texts;
    for (const std::wstring& column : text_columns)
    {
        const std::size_t position = position_of(column);
        texts.push_back(
            {column_reference(position), type_name_of(*schema()[position]) == "character"});
    }
    std::vector<std::wstring> decimals;
    for (const std::wstring& column : decimal_columns)
    {
        decimals.push_back(column_reference(position_of(column)));
    }
    pqxx::connection& connection = pgs_engine::instance().connection();
    return pgs_checked(
        [&]
        {
            pqxx::work transaction(connection, "measure_columns");
            transaction.exec(pgs_row_security_sql);
            // The text measured is the text the rows are read as: intervals, and floats and
            // bytea inside arrays, print by these settings.
            transaction.exec(pgs_output_settings_sql);
            const bool bytes_only =
                transaction.exec1("SHOW server_encoding")[0].as<std::string>() == "SQL_ASCII";
            const std::wstring sql = measure_sql(texts, decimals, source_sql(), bytes_only);
            tk_wlog(1, L"Running query: %s", sql);
            const pqxx::row row = transaction.exec1(tk_string::to_utf8(sql));
            pqxx::row::size_type field = 0;
            for (std::int32_t& longest : measures.longest_units)
            {
                longest = row[field++].as<std::int32_t>();
            }
            for (udb_decimal_extent& extent : measures.decimals)
            {
                const pqxx::field digits = row[field++];
                const pqxx::field scale = row[field++];
                if (!digits.is_null())
                {
                    extent.integer_digits = digits.as<std::int32_t>();
                    extent.scale = scale.as<std::int32_t>();
                }
            }
            return measures;
        },
        failure);
}

void pgs_recordset::plan_values()
{
    m_value_kinds.clear();
    for (const t_ftd* column : schema())
    {
        switch (column->vartype)
        {
        case VT_BSTR:
            m_value_kinds.push_back(value_kind::text);
            break;
        case VT_BLOB:
            m_value_kinds.push_back(value_kind::binary);
            break;
        case VT_BOOL:
            m_value_kinds.push_back(value_kind::boolean);
            break;
        case VT_DATE:
            m_value_kinds.push_back(value_kind::date);
            break;
        case VT_I2:
        case VT_I4:
        case VT_I8:
            m_value_kinds.push_back(value_kind::integer);
            break;
        case VT_DECIMAL:
            m_value_kinds.push_back(value_kind::decimal);
            break;
        default:
            m_value_kinds.push_back(value_kind::other);
            break;
        }
    }
}

void pgs_recordset::reset()
{
    tk_log(2, "pgs_recordset::reset");
    close_reading();
    m_eof = true;
    plan_values();
    const std::string sql = tk_string::to_utf8(get_select_sql());
    pqxx::connection& connection = pgs_engine::instance().connection();
    pgs_checked(
        [&]
        {
            m_read_transaction = std::make_unique<pqxx::work>(connection);
            // timestamptz values then arrive as UTC instants whatever the client's zone, every
            // date in one fixed form that the reader takes apart itself (formatting on the
            // server would cost more than all the rest of the reading), and floats with all
            // their digits, whatever the database's or role's own settings say.
            m_read_transaction->exec(pgs_output_settings_sql);
            // Every row or a failure: a policy must not filter the rows without a word.
            m_read_transaction->exec(pgs_row_security_sql);
            tk_log(2, "SQL=%s", sql);
            m_read_transaction->exec("DECLARE mycursor NO SCROLL CURSOR FOR " + sql);
            // Each block is asked for as soon as the one before it arrives, so the server
            // reads it while this side converts the rows in hand (a cursor stream would leave
            // both sides waiting in turn). At most two blocks exist at a time.
            m_pipeline = std::make_unique<pqxx::pipeline>(*m_read_transaction);
            m_pipeline->retain(0);
            m_widest_row = 0;
            m_requested_rows = first_block_rows;
            m_pending = m_pipeline->insert(fetch_sql(m_requested_rows));
            fetch_block();
        });
    tk_log(2, "pgs_recordset::reset - END");
}

void pgs_recordset::fetch_block()
{
    m_block.clear();
    if (m_pending >= 0)
    {
        m_block = m_pipeline->retrieve(m_pending);
        m_pending = -1;
        // A short block is the last one: nothing to ask for after it.
        if (m_block.size() == static_cast<pqxx::result::size_type>(m_requested_rows))
        {
            // The next block holds what the widest row so far allows, twice this one at most
            // (after the first, which is one row): with the current block in hand, two blocks
            // stay within about twice the budget. A row wider than the budget comes alone.
            m_widest_row = std::max(m_widest_row, widest_row(m_block));
            const std::size_t by_bytes = block_bytes / std::max<std::size_t>(m_widest_row, 1);
            const std::size_t grown = std::max<std::size_t>(
                static_cast<std::size_t>(m_requested_rows) * 2, early_block_rows);
            const std::size_t rows = std::min<std::size_t>({by_bytes, grown, block_rows});
            m_requested_rows = static_cast<int>(std::max<std::size_t>(rows, 1));
            m_pending = m_pipeline->insert(fetch_sql(m_requested_rows));
        }
    }
    m_row = 0;
    m_block_rows = m_block.size();
    m_block_freed = false;
    m_eof = m_block.empty();
}

bool pgs_recordset::is_eof()
{
    tk_log(1, "pgs_recordset::is_eof(%d)", m_eof);
    return m_eof;
}

void pgs_recordset::next()
{
    tk_log(1, "pgs_recordset::next");
    if (m_eof)
    {
        return;
    }
    if (++m_row >= m_block_rows)
    {
        pgs_checked([&] { fetch_block(); });
    }
}

void pgs_recordset::row_taken()
{
    if (!m_eof && m_row + 1 == m_block_rows)
    {
        m_block.clear();
        m_block_freed = true;
    }
}

ole_variant pgs_recordset::read_value(std::size_t position, const pqxx::field& field)
{
    if (field.is_null())
    {
        return {};
    }
    const t_ftd& column = *schema()[position];
    switch (m_value_kinds[position])
    {
    case value_kind::text:
    {
        // The text is decoded straight into the value: no narrow or wide copy on the way.
        ole_variant value;
        if (!plat::utf8_to_wide(std::string_view(field.c_str(), field.size()), value.value.bstrVal))
        {
            throw tk_exception_ex("Cannot convert to UNICODE string: ", tk_severity::recoverable);
        }
        value.value.vt = VT_BSTR;
        return value;
    }
    case value_kind::binary:
    {
        const pqxx::binarystring bytes(field);
        static const std::uint8_t no_bytes = 0;
        return ole_variant(bytes.size(), bytes.size() == 0 ? &no_bytes : bytes.data());
    }
    case value_kind::boolean:
        return ole_variant(field.c_str()[0] == 't');
    case value_kind::date:
    {
        // Under DateStyle ISO the server prints nothing else, except infinities, dates before
        // Christ, years beyond 65535 and the time 24:00:00, which no neutral date holds.
        SYSTEMTIME time;
        std::uint16_t microseconds = 0;
        const std::string_view text(field.c_str(), field.size());
        if (pgs_parse_date_time(text, time, microseconds))
        {
            return ole_variant(time, microseconds);
        }
        throw_unrepresentable(text, column.name,
                              L"no neutral date holds it (years 1 to 65535, times of day "
                              L"00:00:00 to 23:59:59.999999)");
    }
    case value_kind::integer:
    {
        const std::string_view digits(field.c_str(), field.size());
        std::int64_t number = 0;
        if (read_number(digits, number))
        {
            if (column.vartype == VT_I8)
            {
                return ole_variant(static_cast<long long>(number));
            }
            if (column.vartype == VT_I4)
            {
                return ole_variant(static_cast<int>(number));
            }
            return ole_variant(static_cast<short>(number));
        }
        break;
    }
    case value_kind::decimal:
    {
        // Exactly as the server prints it: in the DECIMAL when that holds it, else as its text
        // (a numeric(38) has more digits than 96 bits). The destination decides what it holds.
        ole_variant number;
        const std::string_view digits(field.c_str(), field.size());
        if (number.set_decimal_text(digits))
        {
            return number;
        }
        throw_unrepresentable(digits, column.name, L"a decimal holds no NaN or infinity");
    }
    case value_kind::other:
        break;
    }
    const std::string text(field.c_str(), field.size());
    double special = 0;
    if ((column.vartype == VT_R8 || column.vartype == VT_R4) && special_double(text, special))
    {
        // The value itself: whether the destination has a form for it is its own decision.
        return column.vartype == VT_R8 ? ole_variant(special)
                                       : ole_variant(static_cast<float>(special));
    }
    ole_variant value;
    try
    {
        value = ole_variant(text, column.vartype);
    }
    catch (const tk_exception& error)
    {
        throw_unrepresentable(text, column.name, plat::utf8_to_wide_lossy(error.what()));
    }
    if (value.get_type() == VT_EMPTY && !text.empty())
    {
        throw_unrepresentable(text, column.name, L"its type has no value of that text");
    }
    return value;
}

void pgs_recordset::throw_unrepresentable(std::string_view text, const std::wstring& column,
                                          const std::wstring& reason) const
{
    const std::wstring message = L"The value '" + plat::utf8_to_wide_lossy(text) +
                                 L"' of column '" + column + L"' in '" + name() +
                                 L"' cannot be carried over: " + reason;
    tk_wlog(3, L"%s", message);
    throw udb_value_exception(message);
}

namespace
{

// A record whose fields get_item can fill again: one plain field per column.
bool fits_columns(const udb_record& record, std::size_t count)
{
    if (record.size() != count)
    {
        return false;
    }
    return std::all_of(record.begin(), record.end(),
                       [](const std::unique_ptr<udb_field>& field)
                       { return field != nullptr && typeid(*field) == typeid(udb_field); });
}

} // namespace

udb_record* pgs_recordset::get_item()
{
    tk_log(1, "pgs_recordset::get_item");
    if (m_eof || m_row >= m_block_rows) // the second test: before reset() nothing is read
    {
        return nullptr;
    }
    if (m_block_freed)
    {
        // The row was taken and its block freed: read again, it would be lost.
        throw tk_mail_assertion("pgs_recs", 911);
    }
    m_record = std::make_unique<udb_record>();
    udb_record& record = *m_record;
    const std::size_t count = schema().size();
    // Fields of rows the writer has stored for good where it gave some back: no allocation of
    // fields, nor of the names most of the time.
    if (record_pool() == nullptr || !record_pool()->take(record) || !fits_columns(record, count))
    {
        record = udb_record();
        record.reserve(count);
        for (std::size_t position = 0; position < count; ++position)
        {
            record.add_field(std::make_unique<udb_field>());
        }
    }
    const pqxx::row row = m_block[m_row];
    for (std::size_t position = 0; position < count; ++position)
    {
        const t_ftd& column = *schema()[position];
        udb_field& field = *record[position];
        field.refill(column.name, column.size, column.b_not_null, column.b_auto_num);
        // Moved, not copied: a value may be a megabyte of bytes.
        static_cast<ole_variant&>(field) =
            read_value(position, row[static_cast<pqxx::row::size_type>(position)]);
    }
    return m_record.get();
}
