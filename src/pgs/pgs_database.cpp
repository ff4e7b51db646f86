// pgs_database.cpp: the table list, the schema list, recordsets and statements of a database.
#include "pgs/pgs_database.h"

#include "pgs/pgs_engine.h"
#include "pgs/pgs_exception.h"
#include "pgs/pgs_recordset.h"
#include "pgs/pgs_types.h"
#include "tk/tk_logger.h"
#include "tk/tk_string.h"
#include "udb/udb_table_key.h"

#include <pqxx/result>
#include <pqxx/transaction>
#include <set>

pgs_base_db::pgs_base_db(const std::wstring& name, int mode)
    : udb_database(name, mode, true)
{
    tk_log(2, "pgs_base_db::ctor");
}

pgs_base_db::~pgs_base_db() = default;

std::wstring pgs_base_db::get_safe_name(const std::wstring& name) const
{
    tk_wlog(1, L"pgs_base_db::get_safe_name(%s)", name);
    if (name.find(L'.') == std::wstring::npos)
    {
        return L"public." + make_name(name);
    }
    return make_name(name);
}

std::wstring pgs_base_db::get_full_name(const std::wstring& name) const
{
    tk_wlog(1, L"pgs_base_db::get_full_name(%s)", name);
    if (name.find(L'.') == std::wstring::npos)
    {
        return L"public." + name;
    }
    return name;
}

void pgs_base_db::list_name(const std::wstring& full_name, const std::wstring& schema,
                            const std::wstring& table)
{
    // One entry per listed name: with the no-schema switch two schemas may hold a table of
    // the same name, and a name must open one table only.
    if (m_full_names.contains(full_name))
    {
        tk_wlog(2, L"Table '%s' of schema '%s' is listed already; skipped", full_name, schema);
        return;
    }
    add_table_name(full_name);
    tk_wlog(1, L"sname=%s, tname=%s", schema, table);
    m_full_names.emplace(full_name, std::make_pair(schema, table));
}

void pgs_base_db::add_full_name1(const std::wstring& name)
{
    tk_wlog(1, L"pgs_base_db::add_full_name1(%s)", name);
    const pgs_engine& engine = pgs_engine::instance();
    if (!engine.case_sensitive())
    {
        tk_log(1, "Case-sensitive is OFF, make table name lowercase");
    }
    const std::wstring folded = engine.fold_name(name);
    std::wstring schema = L"public";
    std::wstring table = folded;
    const std::size_t dot = folded.find(L'.');
    if (dot == std::wstring::npos)
    {
        tk_log(1, "Got 'pure' table form");
    }
    else
    {
        tk_log(1, "Got schema.table form");
        schema = folded.substr(0, dot);
        table = folded.substr(dot + 1);
    }
    const std::wstring full_name = schema + L"." + table;
    tk_wlog(1, L"full_tab_name=%s", full_name);
    list_name(full_name, schema, table);
}

std::wstring pgs_base_db::list_key(const std::wstring& schema, const std::wstring& table)
{
    const pgs_engine& engine = pgs_engine::instance();
    // A schema or table holding a dot is quoted in the key, so that two tables never share
    // one ("a"."b.c" and "a.b"."c").
    const std::wstring full_name =
        engine.no_schema() || schema.empty() ? table : udb_table_key(schema, table);
    return engine.fold_name(full_name);
}

void pgs_base_db::add_full_name2(const std::wstring& schema, const std::wstring& table)
{
    tk_wlog(1, L"pgs_base_db::add_full_name2(%s,%s)", schema, table);
    if (!pgs_engine::instance().case_sensitive())
    {
        tk_log(1, "Case-sensitive is OFF, make table name lowercase");
    }
    const std::wstring full_name = list_key(schema, table);
    tk_wlog(1, L"full_name=%s", full_name);
    list_name(full_name, schema, table);
}

std::optional<std::pair<std::wstring, std::wstring>>
pgs_base_db::find_full_name(const std::wstring& name) const
{
    const auto found = m_full_names.find(name);
    if (found == m_full_names.end())
    {
        return std::nullopt;
    }
    return found->second;
}

std::optional<std::wstring> pgs_base_db::find_listed_name(const std::wstring& name) const
{
    if (m_full_names.contains(name))
    {
        return name;
    }
    const std::wstring full_name = get_full_name(name);
    if (m_full_names.contains(full_name))
    {
        return full_name;
    }
    return std::nullopt;
}

std::wstring pgs_base_db::sql_table_name(const std::wstring& name) const
{
    const std::optional<std::wstring> listed = find_listed_name(name);
    if (!listed)
    {
        return get_safe_name(name);
    }
    const auto& [schema, table] = m_full_names.at(*listed);
    return schema.empty() ? pgs_quote_ident(table)
                          : pgs_quote_ident(schema) + L"." + pgs_quote_ident(table);
}

bool pgs_base_db::unlist_table(const std::wstring& name)
{
    if (!udb_database::delete_tab(name))
    {
        return false;
    }
    m_full_names.erase(name);
    return true;
}

bool pgs_base_db::is_table_exist(const std::wstring& name)
{
    tk_wlog(1, L"pgs_base_db::is_table_exist(%s)", name);
    const pgs_engine& engine = pgs_engine::instance();
    if (!engine.case_sensitive())
    {
        tk_log(1, "Case-sensitive is OFF, make table name lowercase");
    }
    return udb_database::is_table_exist(engine.fold_name(name));
}

pgs_database::pgs_database(const std::wstring& name, const std::wstring& schema, int mode)
    : pgs_base_db(name, mode)
{
    tk_wlog(2, L"pgs_database::ctor2(%s,%s)", name, schema);
    read_table_list(schema);
}

pgs_database::~pgs_database() = default;

void pgs_database::read_table_list(const std::wstring& schema)
{
    tk_log(2, "pgs_database::get_schema_info #2");
    tk_wlog(2, L"schema_pattern=%s", schema);
    m_list_schema = schema;
    for (const auto& row : table_rows(schema))
    {
        add_full_name2(tk_wstring::from_utf8(row[0].c_str()),
                       tk_wstring::from_utf8(row[1].c_str()));
    }
}

std::vector<std::wstring> pgs_database::get_all_tables()
{
    tk_log(2, "pgs_database::get_all_tables");
    if (m_list_schema.empty())
    {
        return get_tables();
    }
    std::vector<std::wstring> names;
    std::set<std::wstring> seen;
    for (const auto& row : table_rows(L""))
    {
        std::wstring name =
            list_key(tk_wstring::from_utf8(row[0].c_str()), tk_wstring::from_utf8(row[1].c_str()));
        // As in the list: with the no-schema switch a name stands for its first table only.
        if (seen.insert(name).second)
        {
            names.push_back(std::move(name));
        }
    }
    return names;
}

std::wstring pgs_database::describe_non_table(const std::wstring& name)
{
    tk_wlog(2, L"pgs_database::describe_non_table(%s)", name);
    pgs_engine& engine = pgs_engine::instance();
    const auto [schema, table] = pgs_split_name(name);
    // What the user may name besides tables: views and partitions (a partition is no table of
    // the list because its partitioned table reads it).
    static const char sql[] =
        "SELECT c.relkind, c.relispartition, pn.nspname, p.relname"
        " FROM pg_catalog.pg_class c JOIN pg_catalog.pg_namespace n ON n.oid = c.relnamespace"
        " LEFT JOIN pg_catalog.pg_inherits i ON i.inhrelid = c.oid AND c.relispartition"
        " LEFT JOIN pg_catalog.pg_class p ON p.oid = i.inhparent"
        " LEFT JOIN pg_catalog.pg_namespace pn ON pn.oid = p.relnamespace"
        " WHERE n.nspname = $1 AND c.relname = $2 AND c.relkind IN ('r', 'p', 'v', 'm')";
    const pqxx::result rows = pgs_checked(
        [&]
        {
            pqxx::work transaction(engine.connection(), "describe_non_table");
            return transaction.exec_params(sql, tk_string::to_utf8(engine.fold_name(schema)),
                                           tk_string::to_utf8(engine.fold_name(table)));
        });
    if (rows.empty())
    {
        return {};
    }
    const std::string kind = rows[0][0].c_str();
    if (kind == "v")
    {
        return L"is a view: views are not converted";
    }
    if (kind == "m")
    {
        return L"is a materialized view: views are not converted";
    }
    if (std::string(rows[0][1].c_str()) == "t" && !rows[0][3].is_null())
    {
        const std::wstring parent = list_key(tk_wstring::from_utf8(rows[0][2].c_str()),
                                             tk_wstring::from_utf8(rows[0][3].c_str()));
        return L"is a partition of " + parent + L": its rows arrive with " + parent;
    }
    return {};
}

pqxx::result pgs_database::table_rows(const std::wstring& schema)
{
    // Ordinary and partitioned tables; partitions are left out because their partitioned table
    // already delivers their rows.
    static const std::string base_sql =
        "SELECT n.nspname, c.relname FROM pg_catalog.pg_class c"
        " JOIN pg_catalog.pg_namespace n ON n.oid = c.relnamespace"
        " WHERE c.relkind IN ('r', 'p') AND NOT c.relispartition AND ";
    return pgs_checked(
        [&]
        {
            pqxx::work transaction(pgs_engine::instance().connection(), "get_tables");
            if (!schema.empty())
            {
                return transaction.exec_params(base_sql + "n.nspname = $1 ORDER BY 1, 2",
                                               tk_string::to_utf8(schema));
            }
            return transaction.exec(base_sql +
                                    "n.nspname NOT IN ('pg_catalog', 'information_schema')"
                                    " AND n.nspname NOT LIKE 'pg\\_toast%'"
                                    " AND n.nspname NOT LIKE 'pg\\_temp\\_%' ORDER BY 1, 2");
        });
}

std::unique_ptr<udb_recordset> pgs_database::get_query(const std::wstring& name,
                                                       const std::wstring& sql, int mode)
{
    tk_wlog(2, L"pgs_database::get_query([%s]=%s)", name, sql);
    return std::make_unique<pgs_recordset>(*this, name, sql, relationships(), mode);
}

void pgs_database::get_schema_info(std::vector<std::wstring>& list)
{
    tk_log(2, "pgs_database::get_schema_info #1");
    const pqxx::result rows = pgs_checked(
        [&]
        {
            pqxx::work transaction(pgs_engine::instance().connection(), "get_schemas");
            return transaction.exec("SELECT DISTINCT schemaname FROM pg_tables WHERE schemaname"
                                    " NOT IN ('pg_catalog', 'information_schema') ORDER BY 1");
        });
    for (const auto& row : rows)
    {
        tk_log(1, "got schema: %s", row[0].c_str());
        list.push_back(tk_wstring::from_utf8(row[0].c_str()));
    }
}

std::unique_ptr<udb_recordset> pgs_database::get_table(const std::wstring& name, int mode)
{
    tk_wlog(2, L"pgs_database::get_table(%s)", name);
    if (!is_table_exist(name))
    {
        throw tk_mail_assertion("pgs_db", 503);
    }
    return std::make_unique<pgs_recordset>(*this, name, relationships(), mode);
}

void pgs_database::query(const std::wstring& sql)
{
    tk_wlog(2, L"pgs_database::query(%s)", sql);
    execute(sql, "run_query", "");
}

void pgs_database::execute(const std::wstring& sql, const char* transaction_name,
                           const std::string& failure_prefix)
{
    pgs_checked(
        [&]
        {
            pqxx::work transaction(pgs_engine::instance().connection(), transaction_name);
            transaction.exec(tk_string::to_utf8(sql));
            transaction.commit();
        },
        failure_prefix);
}

bool pgs_database::test_query(const std::wstring& sql)
{
    tk_wlog(2, L"pgs_database::test_query(%s)", sql);
    try
    {
        pqxx::work transaction(pgs_engine::instance().connection(), "init_indexes");
        transaction.exec(tk_string::to_utf8(sql));
        return true;
    }
    catch (...)
    {
        return false;
    }
}
