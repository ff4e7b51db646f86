// pgs_catalog.cpp: a table's columns, keys, indexes and foreign keys read from the catalog.
#include "pgs/pgs_database.h"
#include "pgs/pgs_engine.h"
#include "pgs/pgs_exception.h"
#include "pgs/pgs_recordset.h"
#include "pgs/pgs_types.h"
#include "tk/tk_logger.h"
#include "tk/tk_string.h"

#include <optional>
#include <pqxx/subtransaction>
#include <strings.h>

namespace
{

// Every statement selects by the table's own oid or by schema and name given as parameters, so
// same-named tables of other schemas and names holding quotes cannot disturb it.
const char table_sql[] = "SELECT c.oid, c.relkind FROM pg_catalog.pg_class c"
                         " JOIN pg_catalog.pg_namespace n ON n.oid = c.relnamespace"
                         " WHERE n.nspname = $1 AND c.relname = $2 AND c.relkind IN ('r', 'p')";

const char columns_sql[] =
    "SELECT ordinal_position, column_name, data_type, character_maximum_length, column_default,"
    " is_nullable, numeric_precision, numeric_precision_radix, numeric_scale,"
    " datetime_precision, is_identity FROM information_schema.columns"
    " WHERE table_schema = $1 AND table_name = $2 ORDER BY ordinal_position";

// Columns of the table that information_schema.columns leaves out because the login may not
// read them.
const char hidden_columns_sql[] =
    "SELECT a.attname FROM pg_catalog.pg_attribute a WHERE a.attrelid = $1 AND a.attnum > 0"
    " AND NOT a.attisdropped AND NOT has_column_privilege(a.attrelid, a.attnum, 'SELECT')"
    " ORDER BY a.attnum";

// Key columns by name in key order; INCLUDE columns are not key columns. The filter keeps the
// primary key and the indexes that are not unique.
const char indexes_sql[] =
    "SELECT i.relname, ix.indisprimary, ix.indisunique, k.ord, a.attname"
    " FROM pg_catalog.pg_index ix JOIN pg_catalog.pg_class i ON i.oid = ix.indexrelid"
    " CROSS JOIN LATERAL unnest(ix.indkey::int2[]) WITH ORDINALITY AS k(attnum, ord)"
    " LEFT JOIN pg_catalog.pg_attribute a ON a.attrelid = ix.indrelid AND a.attnum = k.attnum"
    " WHERE ix.indrelid = $1 AND k.ord <= ix.indnkeyatts"
    " AND (ix.indisprimary OR NOT ix.indisunique)"
    " ORDER BY ix.indisprimary DESC, i.relname, k.ord";

// Both sides of each foreign key by name, pair by pair, with the referenced table's schema.
const char foreign_keys_sql[] =
    "SELECT c.conname, nr.nspname, r.relname, k.ord, a.attname, af.attname, c.confdeltype"
    " FROM pg_catalog.pg_constraint c JOIN pg_catalog.pg_class r ON r.oid = c.confrelid"
    " JOIN pg_catalog.pg_namespace nr ON nr.oid = r.relnamespace"
    " CROSS JOIN LATERAL unnest(c.conkey, c.confkey) WITH ORDINALITY AS k(att, fatt, ord)"
    " JOIN pg_catalog.pg_attribute a ON a.attrelid = c.conrelid AND a.attnum = k.att"
    " JOIN pg_catalog.pg_attribute af ON af.attrelid = c.confrelid AND af.attnum = k.fatt"
    " WHERE c.contype = 'f' AND c.conrelid = $1 ORDER BY c.conname, k.ord";

std::wstring wide(const pqxx::field& field)
{
    return tk_wstring::from_utf8(field.c_str());
}

int int_or_zero(const pqxx::field& field)
{
    return field.is_null() ? 0 : field.as<int>();
}

bool is_number_type(VARTYPE vartype)
{
    return vartype == VT_I2 || vartype == VT_I4 || vartype == VT_I8 || vartype == VT_R4 ||
           vartype == VT_R8 || vartype == VT_DECIMAL;
}

bool starts_with_nextval(const std::string& text)
{
    return ::strncasecmp(text.c_str(), "nextval", 7) == 0;
}

// The decimals of money as a numeric on this connection (its lc_monetary), read at first need.
int money_scale_of(pqxx::work& transaction, std::optional<int>& known)
{
    if (!known)
    {
        known = transaction.exec1("SELECT scale(0::money::numeric)")[0].as<int>();
        tk_log(2, "Money has %d decimals on this connection", *known);
    }
    return *known;
}

// A money default's literal ('$1,234.50' as the server prints it) as a plain number, read by the
// server under the same lc_monetary; nothing when it reads none.
std::optional<std::string> money_as_number(pqxx::work& transaction, const std::string& literal)
{
    try
    {
        pqxx::subtransaction attempt(transaction, "money_default");
        const pqxx::row number = attempt.exec_params1("SELECT $1::money::numeric", literal);
        attempt.commit();
        return std::string(number[0].c_str());
    }
    catch (const pqxx::sql_error& error)
    {
        tk_log(2, "The money default '%s' reads as no number: %s", literal, error.what());
        return std::nullopt;
    }
}

} // namespace

std::wstring pgs_recordset::get_delete_rule(char letter)
{
    tk_log(1, "pgs_recordset::get_delete_rule");
    switch (letter)
    {
    case 'c':
        return L"CASCADE";
    case 'd':
        return L"SET DEFAULT";
    case 'n':
        return L"SET NULL";
    case 'r':
        return L"RESTRICT";
    default:
        return L"";
    }
}

void pgs_recordset::add_catalog_column(pqxx::work& transaction, const pqxx::row& row,
                                       bool& auto_num_taken, std::optional<int>& money_scale)
{
    const std::wstring name = wide(row[1]);
    const std::string type_name = row[2].c_str();
    const std::string default_text = row[4].is_null() ? "" : row[4].c_str();
    const int precision = int_or_zero(row[6]);
    const VARTYPE vartype = pgs_get_vartype(type_name);
    const bool money = type_name == "money";

    bool auto_num = false;
    const bool sequence_default = starts_with_nextval(default_text);
    if (sequence_default || std::string(row[10].c_str()) == "YES")
    {
        tk_wlog(2, L"Got auto_increment '%s'", name);
        if (auto_num_taken)
        {
            tk_wlog(3, L"Multiple auto_increment columns: '%s'!", name);
        }
        else
        {
            auto_num = true;
            auto_num_taken = true;
        }
    }

    const std::int32_t reserved =
        pgs_column_reserved(type_name, precision, int_or_zero(row[8]),
                            money ? money_scale_of(transaction, money_scale) : 0);
    ole_variant default_value;
    if (!default_text.empty() && !sequence_default)
    {
        tk_log(1, "Got def.value: '%s'", default_text);
        std::optional<std::string> literal = pgs_default_literal(default_text, vartype == VT_DATE);
        // Money prints its literals in the server's currency format ('$12.50'): the server
        // reads them back as numbers.
        if (literal && money)
        {
            literal = money_as_number(transaction, *literal);
        }
        // A number column takes plain numbers only: NaN has no counterpart.
        if (literal && is_number_type(vartype) && !pgs_is_plain_number(*literal))
        {
            literal.reset();
        }
        if (!literal)
        {
            tk_wlog(2,
                    L"Default of column '%s' is no literal of its type and is not carried over: %s",
                    name, default_text);
        }
        else
        {
            if (vartype == VT_BLOB && literal->rfind("\\x", 0) == 0)
            {
                literal->replace(0, 2, "0x");
            }
            const VARTYPE default_vartype =
                vartype == VT_BSTR || vartype == VT_DATE ? VT_BSTR : vartype;
            try
            {
                default_value = pgs_get_variant(default_vartype, literal->c_str());
            }
            catch (const tk_exception& error)
            {
                tk_wlog(2, L"Default of column '%s' does not convert and is not carried over: %s",
                        name, error.what());
            }
        }
    }
    const t_ftd column(int_or_zero(row[3]), name, vartype, std::string(row[5].c_str()) != "YES",
                       auto_num, default_value, reserved, L"");
    add_column(std::make_unique<pgs_ftd>(column, type_name));
}

void pgs_recordset::init_schema()
{
    tk_log(2, "pgs_recordset::init_schema");
    tk_log(1, "pgs_recordset::get_table_sql");
    tk_wlog(1, L"s_name=%s, t_name=%s", m_schema_name, m_table_name);
    const std::string schema = tk_string::to_utf8(m_schema_name);
    const std::string table = tk_string::to_utf8(m_table_name);
    pgs_checked(
        [&]
        {
            pqxx::work transaction(pgs_engine::instance().connection(), "get_schema");
            // Defaults are printed under these settings: a date in ISO order, a timestamp with
            // its whole fraction, a float with every digit.
            transaction.exec(pgs_output_settings_sql);
            transaction.exec("SET LOCAL standard_conforming_strings = on");
            const pqxx::result found = transaction.exec_params(table_sql, schema, table);
            if (found.empty())
            {
                return; // no columns: the count then reports the missing table
            }
            m_table_oid = found[0][0].as<std::uint32_t>();
            m_partitioned = std::string(found[0][1].c_str()) == "p";
            tk_log(1, "Got query: %s", columns_sql);
            bool auto_num_taken = false;
            std::optional<int> money_scale;
            for (const auto& row : transaction.exec_params(columns_sql, schema, table))
            {
                add_catalog_column(transaction, row, auto_num_taken, money_scale);
            }
            // A table is converted with every column it has or not at all.
            std::wstring hidden;
            for (const auto& row : transaction.exec_params(hidden_columns_sql, m_table_oid))
            {
                hidden += (hidden.empty() ? L"" : L", ") + wide(row[0]);
            }
            if (!hidden.empty())
            {
                throw pgs_exception(
                    "Table " + tk_string::to_utf8(name()) +
                    " has columns this login may not read: " + tk_string::to_utf8(hidden) +
                    ". A table is converted with all of its columns or not at all: grant SELECT "
                    "on them to the login, or convert as a login that may read them.");
            }
        });
}

void pgs_recordset::init_indexes()
{
    tk_log(1, "pgs_recordset::init_indexes");
    pgs_checked(
        [&]
        {
            pqxx::work transaction(pgs_engine::instance().connection(), "init_indexes");
            tk_log(1, "QUERY=%s", indexes_sql);
            const pqxx::result index_rows = transaction.exec_params(indexes_sql, m_table_oid);
            for (pqxx::result::size_type first = 0; first < index_rows.size();)
            {
                const std::string index_name = index_rows[first][0].c_str();
                const bool primary = std::string(index_rows[first][1].c_str()) == "t";
                udb_index index(tk_wstring::from_utf8(index_name), primary, primary, {});
                bool expression = false;
                pqxx::result::size_type row = first;
                for (; row < index_rows.size() && index_name == index_rows[row][0].c_str(); ++row)
                {
                    if (index_rows[row][4].is_null())
                    {
                        expression = true;
                        continue;
                    }
                    index.columns.push_back(wide(index_rows[row][4]));
                }
                first = row;
                if (expression)
                {
                    // SQL Server cannot index an expression; the rest of the index alone would
                    // be a different index.
                    tk_wlog(2, L"Index '%s' holds an expression and is skipped", index.name);
                    continue;
                }
                if (primary)
                {
                    tk_wlog(1, L"got PK name: %s", index.name);
                    for (const std::wstring& column : index.columns)
                    {
                        tk_wlog(1, L"got PK fld name: %s", column);
                    }
                    tk_log(1, "Adding primary key");
                }
                else
                {
                    tk_log(1, "Adding index");
                }
                add_index(index);
            }

            tk_log(1, "QUERY=%s", foreign_keys_sql);
            const pqxx::result fk_rows = transaction.exec_params(foreign_keys_sql, m_table_oid);
            const bool no_schema = pgs_engine::instance().no_schema();
            const std::wstring table =
                no_schema ? m_table_name : m_schema_name + L"." + m_table_name;
            for (pqxx::result::size_type first = 0; first < fk_rows.size();)
            {
                const std::string fk_name = fk_rows[first][0].c_str();
                udb_relationship relationship;
                relationship.name = tk_wstring::from_utf8(fk_name);
                relationship.table = table;
                relationship.referenced_table =
                    no_schema ? wide(fk_rows[first][2])
                              : wide(fk_rows[first][1]) + L"." + wide(fk_rows[first][2]);
                relationship.rules = get_delete_rule(fk_rows[first][6].c_str()[0]);
                pqxx::result::size_type row = first;
                for (; row < fk_rows.size() && fk_name == fk_rows[row][0].c_str(); ++row)
                {
                    relationship.columns.push_back(wide(fk_rows[row][4]));
                    relationship.referenced_columns.push_back(wide(fk_rows[row][5]));
                }
                first = row;
                tk_wlog(2, L"Foreign key found: '%s'", relationship.name);
                bool known = false;
                for (const udb_relationship& existing : *m_relationships)
                {
                    known = known || (existing.name == relationship.name &&
                                      existing.table == relationship.table);
                }
                if (known)
                {
                    continue; // the table was opened before
                }
                tk_log(1, "Just before adding FK into cache");
                m_relationships->push_back(relationship);
            }
        });
}

void pgs_recordset::init_query_schema()
{
    tk_log(2, "pgs_recordset::init_query_schema");
    // The query's own result describes its columns; where a column comes straight from a
    // table, that column's declared length, precision and scale are known as well.
    static const char type_sql[] =
        "SELECT format_type(CASE WHEN t.typtype = 'd' THEN t.typbasetype ELSE t.oid END, NULL),"
        " COALESCE(a.atttypmod, -1) FROM pg_catalog.pg_type t"
        " LEFT JOIN pg_catalog.pg_attribute a ON a.attrelid = $2 AND a.attnum = $3"
        " WHERE t.oid = $1";
    const std::string sql = "SELECT * FROM (" + tk_string::to_utf8(query()) + ") AS query LIMIT 0";
    pqxx::connection& connection = pgs_engine::instance().connection();
    pgs_checked(
        [&]
        {
            pqxx::work transaction(connection, "get_schema");
            transaction.exec(pgs_output_settings_sql);
            // A query whose rows a policy would filter fails here already, as its reading would.
            transaction.exec(pgs_row_security_sql);
            const pqxx::result shape = transaction.exec(sql);
            std::optional<int> money_scale;
            for (pqxx::row::size_type column = 0; column < shape.columns(); ++column)
            {
                const std::uint32_t table = shape.column_table(column);
                const int attnum =
                    table == 0 ? 0 : static_cast<int>(shape.table_column(column)) + 1;
                const pqxx::row type = transaction.exec_params1(
                    type_sql, static_cast<std::uint32_t>(shape.column_type(column)), table, attnum);
                const std::string type_name = type[0].c_str();
                const int modifier = type[1].as<int>() - 4;
                const int precision =
                    type_name == "numeric" && modifier >= 0 ? (modifier >> 16) & 0xFFFF : 0;
                const VARTYPE vartype = pgs_get_vartype(type_name);
                const std::int32_t size =
                    (type_name == "character varying" || type_name == "character") && modifier >= 0
                        ? modifier
                        : 0;
                const std::int32_t reserved = pgs_column_reserved(
                    type_name, precision, modifier & 0xFFFF,
                    type_name == "money" ? money_scale_of(transaction, money_scale) : 0);
                const t_ftd descriptor(size, tk_wstring::from_utf8(shape.column_name(column)),
                                       vartype, false, false, ole_variant(), reserved, L"");
                add_column(std::make_unique<pgs_ftd>(descriptor, type_name));
            }
        },
        "Cannot read the query '" + tk_string::to_utf8(name()) + "': ");
}
