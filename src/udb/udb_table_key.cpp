// udb_table_key.cpp: writing and reading the schema.table keys of source tables.
#include "udb/udb_table_key.h"

#include <algorithm>

namespace
{

bool has_bracket(const std::wstring& part)
{
    return part.find_first_of(L"[]") != std::wstring::npos;
}

/// Whether a part must be quoted so that the key reads back as the same pair: a dot or an
/// opening quote would split or open it; unless the key holds a bracket (such keys keep the
/// form they have always had, which the destination reads its own way), so must blanks at
/// either end, which a profile line loses, and '=', a backslash, CR or LF, which split a
/// profile line or are escaped inside a quoted part.
bool needs_quotes(const std::wstring& part, bool bracketed)
{
    if (part.find(L'.') != std::wstring::npos || (!part.empty() && part.front() == L'"'))
    {
        return true;
    }
    if (bracketed || part.empty())
    {
        return false;
    }
    return part.front() == L' ' || part.back() == L' ' ||
           part.find_first_of(L"=\\\r\n") != std::wstring::npos;
}

std::wstring key_part(const std::wstring& part, bool bracketed)
{
    if (!needs_quotes(part, bracketed))
    {
        return part;
    }
    std::wstring quoted = L"\"";
    for (const wchar_t c : part)
    {
        quoted += c;
        if (c == L'"')
        {
            quoted += L'"';
        }
    }
    return quoted + L'"';
}

/// Reads one part from `pos`: quoted up to its closing quote, else up to the next dot (or the
/// end when `last`). Moves `pos` past it; empty optional when a quote is left open.
std::optional<std::wstring> read_part(const std::wstring& key, std::size_t& pos, bool last)
{
    if (pos < key.size() && key[pos] == L'"')
    {
        std::wstring part;
        for (std::size_t at = pos + 1; at < key.size(); ++at)
        {
            if (key[at] != L'"')
            {
                part += key[at];
                continue;
            }
            if (at + 1 < key.size() && key[at + 1] == L'"')
            {
                part += L'"';
                ++at;
                continue;
            }
            pos = at + 1;
            return part;
        }
        return std::nullopt;
    }
    const std::size_t end = last ? key.size() : std::min(key.find(L'.', pos), key.size());
    std::wstring part = key.substr(pos, end - pos);
    pos = end;
    return part;
}

} // namespace

std::wstring udb_table_key(const std::wstring& schema, const std::wstring& table)
{
    const bool bracketed = has_bracket(schema) || has_bracket(table);
    return schema.empty() ? key_part(table, bracketed)
                          : key_part(schema, bracketed) + L"." + key_part(table, bracketed);
}

std::optional<udb_table_pair> udb_split_table_key(const std::wstring& key)
{
    std::size_t pos = 0;
    std::optional<std::wstring> first = read_part(key, pos, false);
    if (!first)
    {
        return std::nullopt;
    }
    if (pos == key.size())
    {
        return udb_table_pair{std::wstring(), std::move(*first)};
    }
    if (key[pos] != L'.')
    {
        return std::nullopt;
    }
    ++pos;
    std::optional<std::wstring> second = read_part(key, pos, true);
    // Both parts are there: ".t" and "s." name no table of a schema.
    if (!second || pos != key.size() || first->empty() || second->empty())
    {
        return std::nullopt;
    }
    return udb_table_pair{std::move(*first), std::move(*second)};
}

std::wstring udb_normal_table_key(const std::wstring& key)
{
    const std::optional<udb_table_pair> pair = udb_split_table_key(key);
    // A bare name without schema is the key the source gives such a table (it never quotes
    // one), so it stays as written.
    if (!pair || (pair->first.empty() && !key.starts_with(L'"')))
    {
        return key;
    }
    return udb_table_key(pair->first, pair->second);
}
