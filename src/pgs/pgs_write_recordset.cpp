// pgs_write_recordset.cpp: rows written into a PostgreSQL table by COPY or INSERT, updates by key.
#include "pgs/pgs_copy_writer.h"
#include "pgs/pgs_database.h"
#include "pgs/pgs_engine.h"
#include "pgs/pgs_exception.h"
#include "pgs/pgs_recordset.h"
#include "pgs/pgs_validator.h"
#include "pgs/pgs_write_types.h"
#include "tk/tk_exception.h"
#include "tk/tk_logger.h"
#include "tk/tk_string.h"

#include <algorithm>
#include <pqxx/transaction>

namespace
{

const char structure_message[] =
    "The structure of data source does not conform to the destination table.";

} // namespace

void pgs_copy_writer_deleter::operator()(pgs_copy_writer* writer) const noexcept
{
    delete writer;
}

void pgs_recordset::refuse_source_write() const
{
    if (m_database->open_mode() == udb_open_mode::source)
    {
        throw pgs_exception(pgs_source_write_message);
    }
}

std::wstring pgs_recordset::write_table_name() const
{
    return pgs_quote_ident(schema_name()) + L"." + pgs_quote_ident(table_name());
}

void pgs_recordset::append_record(udb_record& record)
{
    tk_log(1, "pgs_recordset::append_record");
    tk_wlog(1, L"get_name()=%s", name());
    refuse_source_write();
    if (pgs_engine::instance().fast_append_enabled())
    {
        fast_append(record);
    }
    else
    {
        slow_append(record);
    }
}

void pgs_recordset::fast_append(udb_record& record)
{
    tk_log(1, "pgs_recordset::fast_append");
    if (record.size() < schema().size())
    {
        tk_log(2, "Size of schema is less or equal to the size of record");
        throw tk_mail_assertion("pgs_recs", 804);
    }
    // Fields pair with columns by position: one beyond the last column would be lost unseen.
    if (record.size() > schema().size())
    {
        tk_log(2, "The record has %d fields, the table %d columns", static_cast<int>(record.size()),
               static_cast<int>(schema().size()));
        throw tk_exception(std::string(structure_message), tk_severity::recoverable);
    }
    // The line is built whole before anything is sent: a value its column cannot take fails
    // this row alone and leaves the load going.
    tk_log(1, "schema.size=%d, r.size=%d", static_cast<int>(schema().size()),
           static_cast<int>(record.size()));
    std::string line;
    for (std::size_t position = 0; position < schema().size(); ++position)
    {
        const udb_field& field = *record[position];
        // The value's text is made only for a log that takes it: it may be megabytes.
        if (const tk_logger* logger = tk_logger::find(); logger != nullptr && logger->wants(1))
        {
            tk_wlog(1, L"field #%d has value: %s/%s, type=%d", static_cast<int>(position),
                    field.name(), field.to_wstring(), field.get_type());
        }
        if (position != 0)
        {
            line += '\t';
        }
        pgs_append_copy_field(line, pgs_value_text(field, *schema()[position]));
    }
    if (!m_copy)
    {
        pqxx::connection& connection = pgs_engine::instance().connection();
        pgs_checked(
            [&] {
                m_copy.reset(
                    new pgs_copy_writer(connection, tk_string::to_utf8(write_table_name())));
            },
            "Cannot start loading rows into " + tk_string::to_ansi(name()) + ": ");
        m_copy_rows = 0;
    }
    try
    {
        m_copy->write_line(line);
        ++m_copy_rows;
    }
    catch (const std::exception& error)
    {
        tk_log(1, "Got pqxx::pqxx_exception");
        tk_log(3, "%s", error.what());
        // The load is broken: the rows sent before this one are gone with it.
        const std::int64_t lost = m_copy_rows;
        m_copy.reset();
        m_copy_rows = 0;
        throw pgs_exception("The load of " + tk_string::to_ansi(name()) + " failed; " +
                            std::to_string(lost) + " rows written before this one are not " +
                            "stored: " + error.what());
    }
    tk_log(1, "pgs_recordset::fast_append - END");
}

void pgs_recordset::end_copy()
{
    if (!m_copy)
    {
        return;
    }
    const auto copy = std::move(m_copy);
    const std::int64_t rows = m_copy_rows;
    m_copy_rows = 0;
    try
    {
        copy->complete();
    }
    catch (const std::exception& error)
    {
        tk_log(3, "%s", error.what());
        throw pgs_exception("The load of " + tk_string::to_ansi(name()) + " failed; the " +
                            std::to_string(rows) +
                            " rows written in it are not stored: " + error.what());
    }
}

void pgs_recordset::flush()
{
    tk_wlog(2, L"pgs_recordset::flush(%s)", name());
    end_copy();
}

void pgs_recordset::close_writing() noexcept
{
    try
    {
        end_copy();
    }
    catch (const std::exception& error)
    {
        tk_log(3, "ERROR: %s", error.what());
    }
    catch (...)
    {
        tk_log(3, "ERROR: %s", "unknown failure while ending the load");
    }
}

std::vector<std::wstring> pgs_recordset::target_columns(const udb_record& record,
                                                        bool update_names) const
{
    const pgs_engine& engine = pgs_engine::instance();
    pgs_fn_validator names(record);
    std::vector<std::wstring> columns;
    for (std::size_t position = 0; position < record.size(); ++position)
    {
        const std::wstring& source = record[position]->name();
        // A column renamed when the table was made is found under its new name.
        std::wstring name = m_database->names_map().get_fn_mapped_name(this->name(), source, true);
        if (name == source)
        {
            name = engine.fold_name(source);
            if (!names.is_acceptable(name))
            {
                name = names.get_safe_name(name);
            }
        }
        tk_wlog(1,
                update_names ? L"Got safe-name for field#%d: %s"
                             : L"Got safe-name for field#%d: '%s'",
                static_cast<int>(position), name);
        if (name != source)
        {
            tk_wlog(1, L"Store generated field's safe-name '%s'", name);
            names.add_existing_name(name);
        }
        names.add_used_name(name);
        const int column = schema().get_field_idx(name);
        columns.push_back(column < 0 ? std::wstring() : schema()[column]->name);
    }
    return columns;
}

void pgs_recordset::slow_append(udb_record& record)
{
    tk_log(1, "pgs_recordset::slow_append");
    if (record.size() < schema().size())
    {
        tk_log(2, "Size of schema is less or equal to the size of record");
        throw tk_mail_assertion("pgs_recs", 804);
    }
    end_copy();
    const std::vector<std::wstring> columns = target_columns(record, false);
    std::wstring column_list;
    std::wstring values;
    for (std::size_t position = 0; position < record.size(); ++position)
    {
        if (columns[position].empty())
        {
            tk_wlog(2, L"Field %s not found in the schema", record[position]->name());
            throw tk_exception(std::string(structure_message), tk_severity::recoverable);
        }
        const t_ftd& column = *schema()[schema().get_field_idx(columns[position])];
        column_list += (position == 0 ? L"" : L", ") + pgs_quote_ident(column.name);
        values += (position == 0 ? L"" : L", ") + pgs_value_literal(*record[position], column);
    }
    const std::wstring sql =
        L"INSERT INTO " + write_table_name() + L"(" + column_list + L") VALUES (" + values + L")";
    tk_wlog(2, L"Run SQL query: %s", sql);
    try
    {
        m_database->query(sql);
    }
    catch (const pgs_exception& error)
    {
        tk_log(1, "Got pqxx::pqxx_exception");
        tk_log(3, "%s", error.what());
        throw pgs_exception("Cannot insert a row into " + tk_string::to_ansi(name()) + ": " +
                            error.what());
    }
}

void pgs_recordset::update(udb_record& record)
{
    tk_log(1, "pgs_recordset::update(n_u_index=%d)", key_index());
    refuse_source_write();
    if (key_index() < 0)
    {
        tk_log(1, "There's no primary/unique key");
        return;
    }
    if (static_cast<std::size_t>(key_index()) >= indexes().size())
    {
        throw tk_mail_assertion("pgs_recs", 909);
    }
    end_copy();
    const std::vector<std::wstring>& keys =
        indexes()[static_cast<std::size_t>(key_index())].columns;
    const std::vector<std::wstring> columns = target_columns(record, true);
    std::wstring set_list;
    std::wstring where_list;
    for (std::size_t position = 0; position < record.size(); ++position)
    {
        const udb_field& field = *record[position];
        if (columns[position].empty())
        {
            tk_wlog(1, L"Field '%s' is not found in schema", field.name());
            continue;
        }
        const t_ftd& column = *schema()[schema().get_field_idx(columns[position])];
        const std::wstring literal = pgs_value_literal(field, column);
        if (std::find(keys.begin(), keys.end(), column.name) != keys.end())
        {
            tk_wlog(1, L"Field %s is a part of UKey", column.name);
            // "= NULL" is never true; a unique key may hold NULL.
            where_list += (where_list.empty() ? L"" : L" AND ") + pgs_quote_ident(column.name) +
                          (literal == L"NULL" ? L" IS NULL" : L"=" + literal);
        }
        else
        {
            tk_wlog(1, L"Field %s is NOT a part of UKey", column.name);
            set_list +=
                (set_list.empty() ? L"" : L", ") + pgs_quote_ident(column.name) + L"=" + literal;
        }
    }
    if (where_list.empty())
    {
        tk_log(2, "Missing primary/unique key");
        return;
    }
    if (set_list.empty())
    {
        tk_log(2, "Nothing to update: every field is part of the key");
        return;
    }
    const std::wstring sql =
        L"UPDATE " + write_table_name() + L" SET " + set_list + L" WHERE " + where_list;
    tk_wlog(2, L"UPDATE QUERY: %s", sql);
    std::size_t rows = 0;
    try
    {
        pqxx::work transaction(pgs_engine::instance().connection(), "run_query");
        rows = transaction.exec(tk_string::to_utf8(sql)).affected_rows();
        transaction.commit();
    }
    catch (const std::exception& error)
    {
        tk_log(3, "%s", error.what());
        throw pgs_exception("Cannot update a row of " + tk_string::to_ansi(name()) + ": " +
                            error.what());
    }
    if (rows == 0)
    {
        tk_wlog(3, L"No row of %s matches the key: %s", name(), where_list);
    }
}
