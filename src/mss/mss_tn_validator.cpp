// mss_tn_validator.cpp: SQL Server table-name acceptance and the prefix cycle for taken names.
#include "mss/mss_tn_validator.h"

#include "mss/mss_names.h"
#include "plat/plat_text.h"
#include "tk/tk_exception.h"
#include "tk/tk_logger.h"

#include <array>

namespace
{

// A letter of any script in the fixed C.UTF-8 classes: the process locale (the C library's
// "C" at start) would refuse Cyrillic or Greek names and rename those tables.
bool is_letter(wchar_t c)
{
    return plat::is_alnum(c) && !(c >= L'0' && c <= L'9');
}

} // namespace

mss_validator::mss_validator()
    : udb_validator(0)
{
}

bool mss_validator::is_acceptable(const std::wstring& name) const
{
    tk_wlog(1, L"mss_validator::is_acceptable(%s)", name);
    if (!udb_validator::is_acceptable(name))
    {
        return false;
    }
    tk_log(1, "udb_validator::is_acceptable has been passed");
    if (name.empty())
    {
        throw tk_mail_assertion("mss_vali", 65);
    }
    if (mss_parse_bracketed(name))
    {
        tk_log(1, "Names enclosed in [...] are always acceptable");
        return true;
    }
    return is_letter(name.front()) || name.front() == L'_';
}

std::wstring mss_validator::get_safe_name(const std::wstring& name) const
{
    tk_wlog(1, L"mss_validator::get_safe_name(%s)", name);
    static constexpr std::array<const wchar_t*, 6> prefixes = {L"_", L"1", L"_", L"2", L"_", L"3"};
    std::wstring result = name;
    // Each attempt makes the name longer and the list is finite, so the loop ends.
    for (std::size_t attempt = 0; is_duplicated(result); ++attempt)
    {
        tk_log(2, "Duplicate table name was found");
        result.insert(0, prefixes[attempt % prefixes.size()]);
    }
    return result;
}

mss_tn_validator::mss_tn_validator(const std::vector<std::wstring>& selected,
                                   const std::vector<std::wstring>& existing)
{
    tk_log(1, "mss_tn_validator::ctor");
    for (const std::wstring& name : selected)
    {
        add_existing_name(name);
    }
    for (const std::wstring& name : existing)
    {
        add_existing_name(name);
    }
}
