// mss_names.cpp: quoting SQL Server identifiers and splitting owner-qualified table names.
#include "mss/mss_names.h"

#include "tk/tk_logger.h"

std::optional<std::vector<std::wstring>> mss_parse_bracketed(const std::wstring& text)
{
    std::vector<std::wstring> parts;
    std::size_t pos = 0;
    while (true)
    {
        if (pos >= text.size() || text[pos] != L'[')
        {
            return std::nullopt;
        }
        ++pos;
        std::wstring part;
        bool closed = false;
        while (pos < text.size())
        {
            const wchar_t c = text[pos++];
            if (c != L']')
            {
                part += c;
                continue;
            }
            if (pos < text.size() && text[pos] == L']')
            {
                part += L']';
                ++pos;
                continue;
            }
            closed = true;
            break;
        }
        // An empty part names nothing; "[]" is read as a name of its own by the callers.
        if (!closed || part.empty())
        {
            return std::nullopt;
        }
        parts.push_back(std::move(part));
        if (pos == text.size())
        {
            return parts;
        }
        if (text[pos] != L'.')
        {
            return std::nullopt;
        }
        ++pos;
    }
}

std::wstring mss_quote_name(const std::wstring& name)
{
    std::wstring quoted;
    quoted.reserve(name.size() + 2);
    quoted += L'[';
    for (const wchar_t c : name)
    {
        quoted += c;
        if (c == L']')
        {
            quoted += L']';
        }
    }
    quoted += L']';
    return quoted;
}

std::wstring mss_bracket_name(const std::wstring& name)
{
    // Only text that reads back as bracketed parts passes: "[a]b]" or "[x" would otherwise end
    // the identifier early and let the rest of the name into the statement.
    if (mss_parse_bracketed(name))
    {
        return name;
    }
    return mss_quote_name(name);
}

bool mss_split_tab_name(const std::wstring& name, std::wstring& table, std::wstring& owner,
                        bool view_owned)
{
    tk_wlog(1, L"mss_split_tab_name(%s)", name);
    owner.clear();
    if (name.size() < 3)
    {
        table = name;
        return true;
    }
    bool split = false;
    if (const auto parts = mss_parse_bracketed(name))
    {
        tk_log(1, "Name is enclosed in [...]");
        table = parts->back();
        if (parts->size() > 1)
        {
            owner = (*parts)[parts->size() - 2];
            split = true;
        }
    }
    else
    {
        tk_log(1, "Name is NOT enclosed in [...]");
        const std::size_t dot = view_owned ? std::wstring::npos : name.find(L'.');
        if (dot == std::wstring::npos)
        {
            tk_log(1, "Prepare blank owner for simple name (table only)");
            table = name;
        }
        else
        {
            owner = name.substr(0, dot);
            table = name.substr(dot + 1);
            split = true;
        }
    }
    if (split)
    {
        tk_log(1, "Getting owner for compose name");
        tk_wlog(1, L"tab_name=%s, owner=%s", table, owner);
    }
    return true;
}
