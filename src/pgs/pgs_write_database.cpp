// pgs_write_database.cpp: a PostgreSQL database as a target: its schemas, new tables with their
// indexes, dropped tables and foreign keys.
#include "pgs/pgs_database.h"
#include "pgs/pgs_engine.h"
#include "pgs/pgs_exception.h"
#include "pgs/pgs_indexes_initializer.h"
#include "pgs/pgs_schema_initializer.h"
#include "pgs/pgs_write_types.h"
#include "plat/plat_text.h"
#include "tk/tk_exception.h"
#include "tk/tk_logger.h"
#include "tk/tk_string.h"

#include <cwctype>
#include <optional>
#include <vector>

namespace
{

std::vector<std::wstring> split_words(const std::wstring& text)
{
    std::vector<std::wstring> words;
    std::wstring word;
    for (const wchar_t c : text)
    {
        if (std::iswspace(static_cast<wint_t>(c)) != 0)
        {
            if (!word.empty())
            {
                words.push_back(std::move(word));
                word.clear();
            }
            continue;
        }
        word += c;
    }
    if (!word.empty())
    {
        words.push_back(std::move(word));
    }
    return words;
}

// The action that starts at `words[position]`, in capitals, and the position after it; nothing
// when the words there are no action. NO ACTION only when `no_action` allows it.
std::optional<std::wstring> take_action(const std::vector<std::wstring>& words,
                                        std::size_t& position, bool no_action)
{
    const auto word = [&](std::size_t offset, const wchar_t* expected) {
        return position + offset < words.size() &&
               plat::equal_ci(words[position + offset], expected);
    };
    if (word(0, L"CASCADE") || word(0, L"RESTRICT"))
    {
        const std::wstring action = word(0, L"CASCADE") ? L"CASCADE" : L"RESTRICT";
        position += 1;
        return action;
    }
    if (word(0, L"SET") && (word(1, L"NULL") || word(1, L"DEFAULT")))
    {
        const std::wstring action = word(1, L"NULL") ? L"SET NULL" : L"SET DEFAULT";
        position += 2;
        return action;
    }
    if (no_action && word(0, L"NO") && word(1, L"ACTION"))
    {
        position += 2;
        return std::wstring(L"NO ACTION");
    }
    return std::nullopt;
}

// The rule of a foreign key as SQL: a delete action alone, as the PostgreSQL reader stores it,
// becomes "ON DELETE <action>"; one ON DELETE and one ON UPDATE clause at most, as the SQL Server
// reader builds them, are kept in their order. Empty for no rule; nothing for any other text,
// which must not reach the statement.
std::optional<std::wstring> referential_actions(const std::wstring& rules)
{
    const std::vector<std::wstring> words = split_words(rules);
    if (words.empty())
    {
        return std::wstring();
    }
    std::size_t position = 0;
    if (!plat::equal_ci(words[0], L"ON"))
    {
        const std::optional<std::wstring> action = take_action(words, position, false);
        if (!action || position != words.size())
        {
            return std::nullopt;
        }
        return L"ON DELETE " + *action;
    }
    std::wstring clauses;
    bool on_delete = false;
    bool on_update = false;
    while (position < words.size())
    {
        if (!plat::equal_ci(words[position], L"ON") || position + 1 >= words.size())
        {
            return std::nullopt;
        }
        const bool is_delete = plat::equal_ci(words[position + 1], L"DELETE");
        if (!is_delete && !plat::equal_ci(words[position + 1], L"UPDATE"))
        {
            return std::nullopt;
        }
        bool& seen = is_delete ? on_delete : on_update;
        if (seen)
        {
            return std::nullopt;
        }
        seen = true;
        position += 2;
        const std::optional<std::wstring> action = take_action(words, position, true);
        if (!action)
        {
            return std::nullopt;
        }
        clauses += std::wstring(clauses.empty() ? L"" : L" ") +
                   (is_delete ? L"ON DELETE " : L"ON UPDATE ") + *action;
    }
    return clauses;
}

} // namespace

void pgs_database::refuse_in_source() const
{
    if (open_mode() == udb_open_mode::source)
    {
        throw pgs_exception(pgs_source_write_message);
    }
}

std::unique_ptr<udb_recordset> pgs_database::create_table(const std::wstring& name,
                                                          const udb_schema& schema,
                                                          const udb_indexes& indexes)
{
    tk_wlog(2, L"pgs_database::create_table(%s)", name);
    refuse_in_source();
    // Listed as add_full_name1 lists it, so that a bare name opens "public.name".
    const std::wstring listed = get_full_name(pgs_engine::instance().fold_name(name));
    if (is_table_exist(name) || is_table_exist(listed))
    {
        if ((open_mode() & udb_open_mode::append) != 0)
        {
            tk_wlog(1, L"Table '%s' exists, just open it", name);
            return get_table(is_table_exist(name) ? name : listed, udb_table_mode::new_table);
        }
        throw tk_mail_assertion("pgs_db", 467);
    }
    tk_wlog(1, L"Table '%s' is not exist, create it", name);
    const pgs_schema_initializer table(name, schema, indexes);
    table.get_init_str();
    const t_names_map renamings = table.renamings();
    const pgs_indexes_initializer table_indexes(name, table.schema(), indexes, renamings);
    table_indexes.build_indexes();
    add_full_name1(name);
    names_map().add_fn_map(name, renamings.pairs());
    if (listed != name)
    {
        names_map().add_fn_map(listed, renamings.pairs());
    }
    return get_table(listed, udb_table_mode::new_table);
}

void pgs_database::create_schema(const std::wstring& name)
{
    tk_wlog(2, L"pgs_database::create_schema(%s)", name);
    refuse_in_source();
    if (name == L"public")
    {
        tk_log(2, "Skip 'public' schema");
        return;
    }
    // Quoted as it stands: a dot belongs to the name, and its case is kept.
    const std::wstring sql = L"CREATE SCHEMA IF NOT EXISTS " + pgs_quote_ident(name);
    tk_wlog(2, L"Run SQL query: %s", sql);
    execute(sql, "run_query", "Cannot create schema:");
}

bool pgs_database::delete_tab(const std::wstring& name)
{
    tk_wlog(2, L"pgs_database::delete_tab(%s)", name);
    refuse_in_source();
    const pgs_engine& engine = pgs_engine::instance();
    if (!engine.case_sensitive())
    {
        tk_log(1, "'case sensitive' is OFF, make table name lowercase");
    }
    const std::wstring folded = engine.fold_name(name);
    // A listed table is dropped by the schema and table it was listed from, so that a dot in
    // either never makes the statement name another table.
    const std::wstring sql = L"DROP TABLE IF EXISTS " + sql_table_name(folded) + L" CASCADE";
    tk_wlog(2, L"Run SQL query: %s", sql);
    execute(sql, "drop_table", "Cannot drop table: " + tk_string::to_utf8(folded) + ". ");
    const std::wstring listed = find_listed_name(folded).value_or(get_full_name(folded));
    for (const std::wstring& key : {name, folded, get_full_name(folded), listed})
    {
        names_map().remove_fn_map(key);
    }
    return unlist_table(listed);
}

std::wstring pgs_database::foreign_key_sql(const udb_relationship& relationship) const
{
    const udb_names_map& names = names_map();
    const std::wstring table = names.get_tn_mapped_name(relationship.table, true);
    const std::wstring referenced = names.get_tn_mapped_name(relationship.referenced_table, true);
    const auto column_list =
        [&](const std::wstring& owner, const std::vector<std::wstring>& columns)
    {
        // A table made here keeps its renamings under its listed name too, which a bare name
        // of public stands for.
        const std::wstring key = find_listed_name(owner).value_or(owner);
        std::wstring list;
        for (const std::wstring& column : columns)
        {
            list += (list.empty() ? L"" : L", ") +
                    pgs_quote_ident(names.get_fn_mapped_name(key, column, true));
        }
        return list;
    };
    std::wstring sql = L"ALTER TABLE " + sql_table_name(table) + L" ADD CONSTRAINT " +
                       pgs_quote_ident(relationship.name) + L" FOREIGN KEY (" +
                       column_list(table, relationship.columns) + L") REFERENCES " +
                       sql_table_name(referenced) + L"(" +
                       column_list(referenced, relationship.referenced_columns) + L")";
    const std::optional<std::wstring> rules = referential_actions(relationship.rules);
    if (!rules)
    {
        tk_wlog(3,
                L"Foreign key '%s': '%s' is not a referential action; the key is created "
                L"without it",
                relationship.name, relationship.rules);
    }
    else if (!rules->empty())
    {
        sql += L" " + *rules;
    }
    return sql;
}

void pgs_database::create_relationships(const udb_relationships& relationships)
{
    tk_log(2, "pgs_database::create_relationships");
    refuse_in_source();
    if (open_mode() == udb_open_mode::append)
    {
        tk_log(2, "Foreign Keys are not converted in append mode");
    }
    for (const udb_relationship& relationship : relationships)
    {
        tk_wlog(1, L"Processing '%s'", relationship.name);
        const std::wstring sql = foreign_key_sql(relationship);
        tk_wlog(2, L"Run SQL query: %s", sql);
        execute(sql, "run_query", "Cannot create foreign key:");
    }
}
