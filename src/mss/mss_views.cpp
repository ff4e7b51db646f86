// mss_views.cpp: reading the destination's views, rewriting view texts into T-SQL and creating
// views.
#include "mss/mss_database.h"
#include "mss/mss_names.h"
#include "mss/mss_tn_validator.h"
#include "mss/odb_exception.h"
#include "plat/plat_text.h"
#include "tk/tk_logger.h"

namespace
{

// Text at `pos` equals `pattern` without case and at least one character follows it.
bool matches_at(const std::wstring& text, std::size_t pos, std::wstring_view pattern)
{
    if (pos + pattern.size() >= text.size())
    {
        return false;
    }
    const bool equal = plat::equal_ci(std::wstring_view(text).substr(pos, pattern.size()), pattern);
    if (equal)
    {
        tk_wlog(1, L"Got substring: '%s'", std::wstring(pattern));
    }
    return equal;
}

std::size_t find_ci(const std::wstring& text, std::wstring_view pattern)
{
    for (std::size_t pos = 0; pos + pattern.size() <= text.size(); ++pos)
    {
        if (plat::equal_ci(std::wstring_view(text).substr(pos, pattern.size()), pattern))
        {
            return pos;
        }
    }
    return std::wstring::npos;
}

void remove_all(std::wstring& text, std::wstring_view pattern)
{
    for (std::size_t pos = text.find(pattern); pos != std::wstring::npos;
         pos = text.find(pattern, pos))
    {
        text.erase(pos, pattern.size());
    }
}

void replace_all(std::wstring& text, std::wstring_view from, std::wstring_view to)
{
    for (std::size_t pos = text.find(from); pos != std::wstring::npos;
         pos = text.find(from, pos + to.size()))
    {
        text.replace(pos, from.size(), to);
    }
}

// Runs of line breaks, tabs and blanks outside quoted stretches become one blank.
std::wstring collapse_blanks(const std::wstring& text)
{
    std::wstring out;
    wchar_t quote = 0;
    bool in_run = false;
    for (const wchar_t c : text)
    {
        if (quote != 0)
        {
            out += c;
            if (c == quote)
            {
                quote = 0;
            }
            continue;
        }
        if (c == L'\r' || c == L'\n' || c == L'\t' || c == L' ')
        {
            if (!in_run)
            {
                out += L' ';
            }
            in_run = true;
            continue;
        }
        in_run = false;
        if (c == L'\'' || c == L'"')
        {
            quote = c;
        }
        out += c;
    }
    return out;
}

} // namespace

std::wstring mss_database::view_select_text(const std::wstring& definition, bool view_owned)
{
    std::wstring text = collapse_blanks(definition);
    const std::size_t found = find_ci(text, L" as select");
    if (found == std::wstring::npos)
    {
        return {};
    }
    text = text.substr(found + 4);
    for (const wchar_t* top :
         {L"TOP 100 PERCENT", L"TOP (100) PERCENT", L"top 100 percent", L"top (100) percent"})
    {
        remove_all(text, top);
    }
    if (view_owned)
    {
        remove_all(text, L"dbo.");
        remove_all(text, L"[dbo].");
    }
    const auto last = text.find_last_not_of(L' ');
    text.erase(last == std::wstring::npos ? 0 : last + 1);
    text.erase(0, text.find_first_not_of(L' ') == std::wstring::npos
                      ? text.size()
                      : text.find_first_not_of(L' '));
    return text;
}

void mss_database::init_views(const std::wstring& owner)
{
    tk_wlog(2, L"mss_database::init_views(%s)", owner);
    const bool view_owned = target().view_owned;
    std::wstring sql = L"select table_name, view_definition from information_schema.views where ";
    if (view_owned)
    {
        sql += L"table_schema=N'" + mss_escape_quotes(owner) + L"' and ";
    }
    sql += L"table_name not in ('sysalternates','sysconstraints','syssegments')";
    std::unique_ptr<odb_recordset> rows = open_query(sql);
    for (rows->reset(); !rows->is_eof(); rows->next())
    {
        const udb_record& row = *rows->get_item();
        const std::wstring name = row.size() > 0 ? row[0]->to_wstring() : std::wstring();
        const std::wstring definition = row.size() > 1 ? row[1]->to_wstring() : std::wstring();
        const std::wstring text = view_select_text(definition, view_owned);
        if (text.empty())
        {
            tk_log(2, "'as select' not found in the view");
            continue;
        }
        tk_wlog(1, L"Got view: ('%s', '%s')", name, text);
        views().emplace(name, text);
    }
}

std::wstring mss_database::refine_view(const std::wstring& text) const
{
    tk_log(2, "mss_database::refine_view");
    std::wstring out;
    std::wstring suffix;
    int suffix_depth = -1;
    int depth = 0;
    bool in_quotes = false;
    bool backquote_opens = true;
    bool after_delimiter = false;
    bool skipping = false;
    for (std::size_t pos = 0; pos < text.size(); ++pos)
    {
        const wchar_t c = text[pos];
        if (c == L'\'')
        {
            out += c;
            in_quotes = !in_quotes;
            skipping = skipping && !in_quotes;
            continue;
        }
        if (in_quotes)
        {
            out += c;
            continue;
        }
        if (c == L'`')
        {
            out += backquote_opens ? L'[' : L']';
            skipping = skipping && !backquote_opens;
            backquote_opens = !backquote_opens;
            continue;
        }
        if (c == L'(')
        {
            skipping = false;
            ++depth;
        }
        else if (c == L')')
        {
            --depth;
            if (!suffix.empty() && depth == suffix_depth)
            {
                out += suffix;
                tk_wlog(1, L"After adding suffix: '%s'", out);
                suffix.clear();
                continue;
            }
        }
        if (c == L' ' || c == L',' || c == L'(')
        {
            if (!skipping)
            {
                out += c;
            }
            after_delimiter = true;
            continue;
        }
        if (after_delimiter && text.size() - pos > 3)
        {
            after_delimiter = false;
            if (matches_at(text, pos, L"_cp") || matches_at(text, pos, L"_utf") ||
                matches_at(text, pos, L"_latin"))
            {
                skipping = true;
            }
            else if (matches_at(text, pos, L"now"))
            {
                out += L"getdate";
                skipping = true;
            }
            else if (matches_at(text, pos, L"isnull"))
            {
                suffix = L") is null";
                suffix_depth = depth;
                skipping = true;
            }
            else if (matches_at(text, pos, L"from_unixtime"))
            {
                out += L"DateAdd(ss,";
                suffix = L"),'01-01-1970')";
                suffix_depth = depth;
                skipping = true;
            }
            else if (!skipping)
            {
                out += c;
            }
            continue;
        }
        after_delimiter = false;
        if (!skipping)
        {
            out += c;
        }
    }
    replace_all(out, L"IFNULL", L"ISNULL");
    replace_all(out, L"ifnull", L"isnull");
    return names_map().do_global_replace1(out, L"", L"");
}

void mss_database::create_views(const std::map<std::wstring, std::wstring>& views)
{
    tk_log(2, "mss_database::create_views");
    std::vector<std::wstring> names;
    for (const auto& [name, text] : views)
    {
        names.push_back(name);
    }
    mss_tn_validator validator(names, {});
    for (const auto& [name, text] : views)
    {
        tk_wlog(1, L"Processing '%s'", name);
        tk_wlog(1, L"\t'%s'", text);
        try
        {
            std::wstring target = name;
            if (!validator.is_acceptable(name))
            {
                target = validator.get_safe_name(name);
                names_map().add_tn_mapping(name, target);
                tk_wlog(2, L"Store generated column name '%s'", target);
                validator.add_existing_name(target);
            }
            const std::wstring quoted = mss_quote_name(target);
            query(L"IF OBJECT_ID(N'" + mss_escape_quotes(quoted) + L"') IS NOT NULL DROP VIEW " +
                  quoted);
            query(L"CREATE VIEW " + quoted + L" AS " + refine_view(text));
        }
        catch (const tk_exception& error)
        {
            tk_log(3, "Error while creating view:\n%s\n", error.what());
            report_failure(L"View '" + name + L"'",
                           tk_exception(std::string("Can't create view. ") + mss_contact_support,
                                        tk_severity::recoverable));
        }
    }
}
