// mss_database.cpp: the destination database's catalog reading, schemas, table creation and the
// writers it hands out.
#include "mss/mss_database.h"

#include "mss/mss_engine.h"
#include "mss/mss_names.h"
#include "mss/mss_table_hook.h"
#include "mss/odb_exception.h"
#include "plat/plat_text.h"
#include "tk/tk_exception.h"
#include "tk/tk_logger.h"

namespace
{

std::wstring text_at(const udb_record& row, std::size_t column)
{
    return column < row.size() ? row[column]->to_wstring() : std::wstring();
}

bool is_sa(const std::wstring& owner)
{
    return plat::equal_ci(owner, L"sa");
}

// A table of the list as a run names it: "[owner].[table]", each part quoted.
std::wstring listed_name(const std::wstring& owner, const std::wstring& table, bool view_owned)
{
    return view_owned ? table : mss_quote_name(owner) + L"." + mss_quote_name(table);
}

} // namespace

mss_database::mss_database(const std::wstring& name, IDBInitialize* data_source,
                           IOpenRowset* session, int open_mode, const mss_target& target)
    : odb_database(name, data_source, session, open_mode, target)
{
    tk_wlog(2, L"mss_database::ctor(%s)", name);
    std::wstring owner = target.user;
    tk_wlog(2, L"user=%s", owner);
    if (owner.empty() || target.as_dbo || is_sa(owner))
    {
        tk_log(2, "Setting 'dbo' user");
        owner = L"dbo";
    }
    init_tables(owner);
    if ((open_mode & 0x80) == 0)
    {
        try
        {
            init_views(owner);
        }
        catch (const odb_exception& error)
        {
            tk_log(3, "Error while extracting views:\n%s\n", error.what());
        }
    }
}

mss_database::~mss_database()
{
    tk_log(2, "mss_database::dtor");
}

void mss_database::init_tables(const std::wstring& owner)
{
    tk_wlog(2, L"mss_database::init_tables(%s)", owner);
    const bool view_owned = target().view_owned;
    tk_log(1, "mss_engine::ref().is_view_owned()=%d", view_owned);
    const std::wstring restriction = view_owned && !is_sa(owner) ? owner : std::wstring();
    try
    {
        odb_tl_meta_data tables(session(), restriction);
        for (tables.reset(); !tables.is_eof(); tables.next())
        {
            const udb_record& row = *tables.get_item();
            const std::wstring table_owner = text_at(row, 1);
            const std::wstring table = text_at(row, 2);
            tk_wlog(2, L"Got table (1): (name=%s, owner=%s)", table, table_owner);
            const std::wstring stored = listed_name(table_owner, table, view_owned);
            add_table_name(stored);
            tk_wlog(2, L"Stored as %s", stored);
        }
    }
    catch (const std::exception& error)
    {
        // What was read so far stands; the statement below tries another way when it is none.
        tk_log(2, "Table list from the schema rowset failed: %s", error.what());
    }
    if (tables().empty())
    {
        tk_log(2, "No tables were found! Trying another method.");
        std::wstring sql = L"exec sp_tables ";
        if (view_owned && !is_sa(owner))
        {
            sql += L"@table_owner=N'" + mss_escape_quotes(owner) + L"', ";
        }
        sql += L"@table_type=\"'TABLE'\"";
        std::unique_ptr<odb_recordset> rows = open_query(sql);
        for (rows->reset(); !rows->is_eof(); rows->next())
        {
            const udb_record& row = *rows->get_item();
            const std::wstring table_owner = text_at(row, 1);
            const std::wstring table = text_at(row, 2);
            tk_wlog(2, L"Got table (2): (name=%s, owner=%s)", table, table_owner);
            const std::wstring stored = listed_name(table_owner, table, view_owned);
            add_table_name(stored);
            tk_wlog(2, L"Stored as %s", stored);
        }
    }
    tk_log(2, "Tables count: %d", tables().size());
    init_columns(owner);
}

void mss_database::init_columns(const std::wstring& owner)
{
    tk_wlog(2, L"mss_database::init_columns(%s)", owner);
    if (!m_column_types.empty())
    {
        return;
    }
    // Keyed by the real schema: tables of the same name in two schemas keep their own types.
    std::wstring sql = L"select table_schema, table_name, column_name, data_type from "
                       L"INFORMATION_SCHEMA.COLUMNS where ";
    if (target().view_owned)
    {
        sql += L"table_schema=N'" + mss_escape_quotes(owner) + L"' and ";
    }
    sql += L"table_name not in ('sysalternates','sysconstraints','syssegments')";
    std::unique_ptr<odb_recordset> rows = open_query(sql);
    for (rows->reset(); !rows->is_eof(); rows->next())
    {
        const udb_record& row = *rows->get_item();
        const std::wstring table =
            mss_quote_name(text_at(row, 0)) + L"." + mss_quote_name(text_at(row, 1));
        const std::wstring column = text_at(row, 2);
        const std::wstring type = text_at(row, 3);
        m_column_types[table][column] = type;
        tk_wlog(2, L"Database column (table, column, type): %s, %s, %s", table, column, type);
    }
}

bool mss_database::is_table_exist(const std::wstring& name)
{
    tk_wlog(2, L"mss_database::is_table_exist(%s)", name);
    return !name.empty() && udb_database::is_table_exist(name);
}

std::wstring mss_database::create_schema_sql(const std::wstring& schema)
{
    // The name is a string literal outside and a bracketed identifier inside the dynamic
    // statement, itself one string literal: each level escapes its own way.
    return L"IF NOT EXISTS (SELECT  schema_name FROM    information_schema.schemata WHERE   "
           L"schema_name = N'" +
           mss_escape_quotes(schema) + L"' ) BEGIN EXEC sp_executesql N'CREATE SCHEMA " +
           mss_escape_quotes(mss_quote_name(schema)) + L"' END";
}

void mss_database::create_schema(const std::wstring& schema)
{
    tk_wlog(2, L"mss_database::create_schema(%s)", schema);
    if (plat::equal_ci(schema, L"dbo"))
    {
        tk_log(2, "Skip 'dbo' schema");
        return;
    }
    query(create_schema_sql(schema));
}

std::unique_ptr<udb_recordset> mss_database::create_table(const std::wstring& name,
                                                          const udb_schema& schema,
                                                          const udb_indexes& indexes)
{
    tk_wlog(2, L"mss_database::create_table(%s)", name);
    if ((open_mode() & udb_open_mode::source) != 0)
    {
        throw tk_mail_assertion("mss_db", 174);
    }
    const bool exists = is_table_exist(name);
    std::unique_ptr<odb_table> table;
    if ((open_mode() & udb_open_mode::append) != 0 && exists)
    {
        tk_wlog(2, L"mss_database::get_table1(%s)", name);
        table = mss_open_table_writer(target().get_safe_tname(name), session(),
                                      udb_table_mode::append, *this);
        amend_schema(table.get());
    }
    else if (exists)
    {
        throw tk_mail_assertion("mss_db", 183);
    }
    else
    {
        define_table(name, schema, indexes);
        add_table_name(name);
        table = get_table2(name, schema);
    }
    if (target().version_code >= mss_engine::version_2008)
    {
        // Paired by name: a reopened table may order or count its columns differently.
        for (const t_ftd* source : schema)
        {
            if (source->vartype != VT_DATE)
            {
                continue;
            }
            for (t_ftd* column : table->schema())
            {
                if (plat::equal_ci(column->name, source->name))
                {
                    column->vartype = VT_DATE;
                    column->dw_reserved = source->dw_reserved;
                    break;
                }
            }
        }
    }
    return table;
}

std::unique_ptr<udb_recordset> mss_database::get_table(const std::wstring& name, int mode)
{
    tk_wlog(2, L"mss_database::get_table1(%s)", name);
    std::unique_ptr<odb_table> table =
        mss_open_table_writer(target().get_safe_tname(name), session(), mode, *this);
    amend_schema(table.get());
    return table;
}

std::unique_ptr<odb_table> mss_database::get_table2(const std::wstring& name,
                                                    const udb_schema& schema)
{
    tk_wlog(2, L"mss_database::get_table2(%s)", name);
    std::unique_ptr<odb_table> table =
        mss_new_table_writer(target().get_safe_tname(name), session(), schema, *this);
    amend_schema(table.get());
    return table;
}

std::unique_ptr<udb_recordset> mss_database::get_query(const std::wstring& name,
                                                       const std::wstring& sql, int mode)
{
    tk_wlog(2, L"mss_database::get_table(%s: %s)", name, sql);
    std::unique_ptr<odb_table> table = mss_open_query(name, sql, session(), mode, *this);
    amend_schema(table.get());
    return table;
}

odb_table* mss_database::amend_schema(odb_table* table)
{
    tk_log(2, "mss_database::amend_schema");
    if (table == nullptr)
    {
        return nullptr;
    }
    const auto types = m_column_types.find(table->name());
    if (types == m_column_types.end())
    {
        return table;
    }
    for (t_ftd* column : table->schema())
    {
        const auto type = types->second.find(column->name);
        if (type == types->second.end())
        {
            continue;
        }
        if (type->second == L"date")
        {
            column->vartype = VT_DATE;
            column->dw_reserved = t_ftd::date_only;
        }
        else if (type->second == L"time")
        {
            column->vartype = VT_DATE;
            column->dw_reserved = t_ftd::time_only;
        }
    }
    return table;
}

void mss_database::get_schema_info(std::vector<std::wstring>& list)
{
    tk_log(2, "mss_database::get_schema_info");
    list.clear();
    try
    {
        // This database's schemas (master's would be the wrong list).
        std::unique_ptr<odb_recordset> rows =
            open_query(L"SELECT name FROM sys.schemas where principal_id < 16384");
        for (rows->reset(); !rows->is_eof(); rows->next())
        {
            const std::wstring name = text_at(*rows->get_item(), 0);
            tk_wlog(2, L"Got schema: name=%s", name);
            list.push_back(name);
        }
    }
    catch (const odb_exception& error)
    {
        tk_log(2, "%s", error.what());
    }
    if (list.empty())
    {
        list.push_back(L"dbo");
    }
}

void mss_database::report_failure(const std::wstring& context, const tk_exception& error)
{
    tk_wlog(2, L"%s: %s", context, plat::utf8_to_wide_lossy(error.what()));
    if (m_failure_handler)
    {
        m_failure_handler(context, error);
    }
}
