// mss_foreign_keys.cpp: adding the source's foreign keys to the destination tables.
#include "mss/mss_database.h"
#include "mss/mss_engine.h"
#include "mss/mss_names.h"
#include "mss/odb_exception.h"
#include "plat/plat_text.h"
#include "tk/tk_logger.h"

namespace
{

constexpr const wchar_t* fk_patterns[] = {
    L"ON DELETE CASCADE", L"ON DELETE NO ACTION", L"ON DELETE SET DEFAULT", L"ON DELETE SET NULL",
    L"ON UPDATE CASCADE", L"ON UPDATE NO ACTION", L"ON UPDATE SET DEFAULT", L"ON UPDATE SET NULL"};

std::wstring trim_blanks(const std::wstring& text)
{
    const auto first = text.find_first_not_of(L' ');
    if (first == std::wstring::npos)
    {
        return {};
    }
    return text.substr(first, text.find_last_not_of(L' ') - first + 1);
}

// The rule text as clauses that each match a pattern ("ON UPDATE CASCADE ON DELETE NO ACTION"
// is two): empty when any part is not a rule, so nothing unknown reaches the statement.
std::wstring accepted_rules(const std::wstring& rules)
{
    const std::wstring text = trim_blanks(rules);
    std::size_t second = std::wstring::npos;
    for (std::size_t pos = 1; pos + 3 <= text.size(); ++pos)
    {
        if (plat::equal_ci(std::wstring_view(text).substr(pos, 4), L" ON "))
        {
            second = pos;
            break;
        }
    }
    if (second == std::wstring::npos)
    {
        return mss_database::is_valid_fk_props(text) ? text : std::wstring();
    }
    const std::wstring first_rule = trim_blanks(text.substr(0, second));
    const std::wstring second_rule = trim_blanks(text.substr(second));
    if (!mss_database::is_valid_fk_props(first_rule) ||
        !mss_database::is_valid_fk_props(second_rule) ||
        plat::equal_ci(first_rule.substr(0, 9), second_rule.substr(0, 9)))
    {
        return {};
    }
    return first_rule + L" " + second_rule;
}

std::wstring column_list(const udb_names_map& names, const std::wstring& table,
                         const std::vector<std::wstring>& columns)
{
    std::wstring list;
    for (const std::wstring& column : columns)
    {
        list += list.empty() ? L"" : L", ";
        list += mss_quote_name(names.get_fn_mapped_name(table, column, true));
    }
    return list;
}

} // namespace

bool mss_database::is_valid_fk_props(const std::wstring& rules)
{
    tk_wlog(2, L"mss_database::is_valid_fk_props(%s)", rules);
    int pattern_idx = 0;
    for (const wchar_t* pattern : fk_patterns)
    {
        tk_log(1, "Processing pattern #%i", ++pattern_idx);
        if (plat::equal_ci(rules, pattern))
        {
            tk_log(1, "At the end - TRUE");
            return true;
        }
    }
    tk_log(1, "At the end - FALSE");
    return false;
}

void mss_database::create_relationships(const udb_relationships& relationships)
{
    tk_log(2, "mss_database::create_relationships");
    tk_log(3, "Converting foreign keys...");
    if (open_mode() == udb_open_mode::append)
    {
        tk_log(3, "Foreign keys are not converted in append mode");
        return;
    }
    const mss_target& server = target();
    for (const udb_relationship& key : relationships)
    {
        tk_wlog(3, L"Processing '%s'", key.name);
        const std::wstring table = names_map().get_tn_mapped_name(key.table, true);
        const std::wstring referenced = names_map().get_tn_mapped_name(key.referenced_table, true);
        std::wstring sql = L"ALTER TABLE " + server.get_safe_tname(table) + L" ADD CONSTRAINT " +
                           mss_quote_name(key.name) + L" FOREIGN KEY (" +
                           column_list(names_map(), table, key.columns) + L") REFERENCES " +
                           server.get_safe_tname(referenced) + L"(" +
                           column_list(names_map(), referenced, key.referenced_columns) + L")";
        const std::wstring rules = accepted_rules(key.rules);
        if (!rules.empty() && server.version_code >= mss_engine::version_2000)
        {
            sql += L" " + rules;
        }
        tk_wlog(1, L"Right before calling query: '%s'", sql);
        try
        {
            query(sql);
        }
        catch (const odb_exception& error)
        {
            const std::wstring context =
                key.name.empty() ? key.table : L"Foreign key '" + key.name + L"'";
            if (is_integrity_violation(error))
            {
                report_failure(context,
                               tk_exception(std::string("There are orphaned records that prevent "
                                                        "from creating foreign key. For more\n"
                                                        "information see Troubleshooting "
                                                        "article of the product documentation."),
                                            tk_severity::recoverable));
            }
            else
            {
                report_failure(context, error);
            }
        }
    }
}
