// udb_table_key.cpp: writing and reading the schema.table keys of source tables.
#include "udb/udb_table_key.h"

#include <algorithm>

namespace
{

std::wstring key_part(const std::wstring& part)
{
    if (part.find(L'.') == std::wstring::npos && (part.empty() || part.front() != L'"'))
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
    return schema.empty() ? key_part(table) : key_part(schema) + L"." + key_part(table);
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
    return pair ? udb_table_key(pair->first, pair->second) : key;
}
