// oledb_names.cpp: quoting of table and column names for the connected driver.
#include "plat/oledb/oledb_names.h"

namespace plat::oledb
{

std::wstring quote_identifier(std::wstring_view name, driver_kind kind)
{
    const wchar_t open = kind == driver_kind::postgresql ? L'"' : L'[';
    const wchar_t close = kind == driver_kind::postgresql ? L'"' : L']';
    std::wstring quoted(1, open);
    for (const wchar_t c : name)
    {
        quoted.push_back(c);
        if (c == close)
        {
            quoted.push_back(close);
        }
    }
    quoted.push_back(close);
    return quoted;
}

std::wstring quote_table_name(std::wstring_view name, driver_kind kind)
{
    if (name.starts_with(L'[') || name.starts_with(L'"'))
    {
        return std::wstring(name);
    }
    return quote_identifier(name, kind);
}

std::wstring identity_insert_sql(std::wstring_view quoted_table, bool on)
{
    std::wstring sql = L"SET IDENTITY_INSERT ";
    sql += quoted_table;
    sql += on ? L" ON" : L" OFF";
    return sql;
}

} // namespace plat::oledb
