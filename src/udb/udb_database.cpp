// udb_database.cpp: the engine-neutral database: table list, its lookups and the default slots.
#include "udb/udb_database.h"

#include "plat/plat_text.h"
#include "tk/tk_exception.h"
#include "tk/tk_logger.h"

#include <algorithm>
#include <utility>

udb_database::udb_database(const std::wstring& name, int open_mode, bool case_sensitive)
    : m_open_mode(open_mode)
    , m_name(name)
    , m_case_sensitive(case_sensitive)
{
    tk_wlog(2, L"udb_database::ctor(%s)", name);
}

udb_database::~udb_database()
{
    tk_log(2, "udb_database::dtor");
}

bool udb_database::same_table_name(const std::wstring& a, const std::wstring& b) const
{
    return m_case_sensitive ? a == b : plat::equal_ci(a, b);
}

void udb_database::create_schema(const std::wstring&) {}

void udb_database::create_views(const std::map<std::wstring, std::wstring>&) {}

bool udb_database::delete_tab(const std::wstring& name)
{
    tk_wlog(2, L"udb_database::delete_tab(%s)", name);
    const auto found =
        std::find_if(m_tables.begin(), m_tables.end(),
                     [&](const std::wstring& table) { return same_table_name(table, name); });
    if (found == m_tables.end())
    {
        tk_log(2, "Table not found!");
        return false;
    }
    m_tables.erase(found);
    return true;
}

void udb_database::get_schema_info(std::vector<std::wstring>& list)
{
    list.clear();
}

void udb_database::query(const std::wstring&)
{
    throw tk_mail_assertion("udb_db", 76);
}

void udb_database::create_relationships(const udb_relationships&) {}

const std::vector<std::wstring>& udb_database::get_tables()
{
    return m_tables;
}

std::wstring udb_database::describe_non_table(const std::wstring&)
{
    return {};
}

std::vector<std::wstring> udb_database::get_all_tables()
{
    return get_tables();
}

bool udb_database::is_table_exist(const std::wstring& name)
{
    tk_wlog(2, L"udb_database::is_table_exist(%s,case_sensitive=%d)", name, m_case_sensitive);
    for (const std::wstring& table : m_tables)
    {
        tk_wlog(1, L"Compare with %s", table);
        if (same_table_name(table, name))
        {
            tk_log(1, "table exists");
            return true;
        }
    }
    tk_log(1, "table not found");
    return false;
}

std::vector<udb_index_failure> udb_database::take_index_failures()
{
    return std::exchange(m_index_failures, {});
}

void udb_database::add_index_failure(udb_index_failure failure)
{
    m_index_failures.push_back(std::move(failure));
}
