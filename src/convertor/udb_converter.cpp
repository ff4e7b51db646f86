// udb_converter.cpp: mode, log file, progress and the engine-neutral profile keys.
#include "convertor/udb_converter.h"

#include "plat/plat_text.h"
#include "tk/tk_exception.h"
#include "tk/tk_logger.h"
#include "udb/udb_profile.h"
#include "udb/udb_table_key.h"

#include <algorithm>

namespace
{

const wchar_t* flag_text(bool on)
{
    return on ? L"1" : L"0";
}

} // namespace

udb_converter::udb_converter()
{
    tk_log(2, "udb_converter::ctor");
}

udb_converter::~udb_converter() = default;

void udb_converter::set_mode(int mode)
{
    tk_log(1, "udb_converter::set_mode(%d)", mode);
    m_mode = mode;
}

std::wstring udb_converter::current_table() const
{
    const std::lock_guard lock(m_current_table_mutex);
    return m_current_table;
}

void udb_converter::set_current_table(const std::wstring& name)
{
    const std::lock_guard lock(m_current_table_mutex);
    m_current_table = name;
}

bool udb_converter::store_profile(udb_profile& profile) const
{
    tk_log(2, "udb_converter::store_profile");
    for (const auto& [name, sql] : m_available_queries)
    {
        profile.set_value(profile_keys::available_queries, name, sql);
    }
    for (const auto& [table, query] : m_selected)
    {
        profile.set_value(profile_keys::selected_tables, table, query);
    }
    // A run merges `tables` into the selection; a profile saved before any run must hold them
    // too, or loading it would lose them. set_value keeps an entry already written.
    for (const std::wstring& table : m_tables)
    {
        profile.set_value(profile_keys::selected_tables, table, L"");
    }
    profile.set_value(profile_keys::generic, L"src", src());
    profile.set_value(profile_keys::generic, L"dest", dest());
    profile.set_value(profile_keys::generic, L"mode", std::to_wstring(m_mode));
    profile.set_value(profile_keys::generic, L"logfile", plat::utf8_to_wide_lossy(log_file()));
    profile.set_value(profile_keys::generic, L"skip indexes", flag_text(m_skip_idx));
    profile.set_value(profile_keys::generic, L"only definitions", flag_text(m_tab_def));
    return true;
}

std::optional<int> udb_converter::profile_mode(const std::wstring& path, const udb_profile& profile)
{
    const std::wstring text = profile.get_value(profile_keys::generic, L"mode");
    const std::size_t first = text.find_first_not_of(L" \t");
    if (first == std::wstring::npos)
    {
        return std::nullopt;
    }
    const std::size_t last = text.find_last_not_of(L" \t");
    // One digit of a mode this program knows: a value it cannot read must not fall back to
    // mode 0, which drops the destination database, nor run as a mode that names nothing.
    if (last != first || text[first] < L'0' || text[first] > L'4')
    {
        throw tk_exception(L"Invalid conversion mode in profile " + path + L": '" + text + L"'",
                           tk_severity::ends_run);
    }
    return text[first] - L'0';
}

void udb_converter::check_profile(const std::wstring& path, const udb_profile& profile)
{
    profile_mode(path, profile);
    check_logfile(plat::wide_to_utf8(profile.get_value(profile_keys::generic, L"logfile")));
}

bool udb_converter::load_profile(const std::wstring& path, const udb_profile& profile)
{
    tk_log(2, "udb_converter::load_profile");
    // A profile that selects tables replaces the selection made before it (a table list or an
    // earlier profile), queries included; one that selects none keeps it, since an empty
    // selection would mean every table.
    const auto tables = profile.sections().find(profile_keys::selected_tables);
    if (tables != profile.sections().end() && !tables->second.empty())
    {
        m_selected.clear();
        m_tables.clear();
        for (const auto& [written, query] : tables->second)
        {
            // As the source writes its keys: `"public".t` is public.t, `"sch.dot".t` stays
            // quoted.
            const std::wstring table = udb_normal_table_key(written);
            m_selected.emplace(table, query);
            if (query.empty())
            {
                tk_wlog(1, L"Push back table '%s'", table);
                m_tables.push_back(table);
            }
        }
    }
    const auto queries = profile.sections().find(profile_keys::available_queries);
    if (queries != profile.sections().end() && !queries->second.empty())
    {
        m_available_queries = queries->second;
    }
    const auto value = [&](const wchar_t* key)
    { return profile.get_value(profile_keys::generic, key); };
    if (const std::wstring text = value(L"src"); !text.empty())
    {
        set_src(text);
    }
    if (const std::wstring text = value(L"dest"); !text.empty())
    {
        set_dest(text);
    }
    if (const std::wstring text = value(L"logfile"); !text.empty())
    {
        set_logfile(plat::wide_to_utf8(text));
    }
    if (const std::wstring text = value(L"only definitions"); !text.empty())
    {
        m_tab_def = text != L"0";
    }
    if (const std::optional<int> mode = profile_mode(path, profile))
    {
        set_mode(*mode);
    }
    if (const std::wstring text = value(L"skip indexes"); !text.empty())
    {
        m_skip_idx = text != L"0";
    }
    return true;
}
