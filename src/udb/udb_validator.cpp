// udb_validator.cpp: the engine-neutral name rules and the numbered search for a free name.
#include "udb/udb_validator.h"

#include "plat/plat_text.h"
#include "tk/tk_exception.h"
#include "tk/tk_logger.h"

#include <algorithm>

namespace
{
// Five decimal digits follow the stem of a numbered name.
constexpr int suffix_digits = 5;
constexpr int suffix_count = 100000;

std::wstring numbered(const std::wstring& stem, int number)
{
    std::wstring digits = std::to_wstring(number);
    return stem + std::wstring(suffix_digits - digits.size(), L'0') + digits;
}
} // namespace

udb_validator::udb_validator(int max_len)
    : m_max_len(max_len)
{
    tk_log(2, "udb_validator::ctor");
    // A limit below the suffix plus one stem character would make the numbered search cut to a
    // negative length and then fail 100,000 times; no engine has such a limit.
    if (max_len < 0 || (max_len > 0 && max_len <= suffix_digits + 1))
    {
        throw tk_mail_assertion("udb_vali", 31);
    }
}

udb_validator::~udb_validator() = default;

void udb_validator::add_existing_name(const std::wstring& name)
{
    tk_wlog(1, L"udb_validator::add_existing_name(%s)", name);
    m_existing_names.push_back(name);
}

void udb_validator::add_mapped_pair(const std::wstring& from, const std::wstring& to)
{
    tk_wlog(1, L"udb_validator::add_mapped_pair(%s,%s)", from, to);
    m_mapped_pairs.emplace(from, to);
}

void udb_validator::add_illegal_char(wchar_t c)
{
    m_illegal_chars.push_back(c);
}

void udb_validator::add_restricted_name(const std::wstring& name)
{
    m_restricted_names.push_back(name);
}

bool udb_validator::is_restricted(const std::wstring& name) const
{
    return std::any_of(m_restricted_names.begin(), m_restricted_names.end(),
                       [&](const std::wstring& word) { return plat::equal_ci(word, name); });
}

bool udb_validator::is_acceptable(const std::wstring& name) const
{
    tk_wlog(2, L"udb_validator::is_acceptable(%s)", name);
    if (m_max_len != 0 && name.size() > static_cast<std::size_t>(m_max_len))
    {
        tk_log(1, "The name is too long");
        return false;
    }
    if (is_restricted(name))
    {
        tk_log(2, "The name is restricted");
        return false;
    }
    for (wchar_t c : m_illegal_chars)
    {
        if (name.find(c) != std::wstring::npos)
        {
            tk_wlog(2, L"The name contains illegal: %c", c);
            return false;
        }
    }
    return true;
}

bool udb_validator::is_duplicated(const std::wstring& name) const
{
    tk_wlog(2, L"udb_validator::is_duplicated(%s)", name);
    for (const std::wstring& existing : m_existing_names)
    {
        tk_wlog(1, L"Processing %s", existing);
        if (plat::equal_ci(existing, name))
        {
            tk_log(2, "Name is duplicated");
            return true;
        }
    }
    return false;
}

std::wstring udb_validator::get_safe_name(const std::wstring& name) const
{
    tk_wlog(1, L"udb_validator::get_safe_name(%s)", name);
    const auto limit = static_cast<std::size_t>(m_max_len);
    std::wstring safe = name;
    // One under the limit, as the numbered names of a cut stem are too.
    if (m_max_len != 0 && safe.size() > limit)
    {
        safe.resize(limit - 1);
    }
    for (wchar_t c : m_illegal_chars)
    {
        std::replace(safe.begin(), safe.end(), c, L'_');
    }
    if (is_acceptable(safe) && !is_duplicated(safe))
    {
        return safe;
    }
    if (m_max_len != 0 && safe.size() > limit - suffix_digits)
    {
        safe.resize(limit - suffix_digits - 1);
    }
    for (int number = 0; number < suffix_count; ++number)
    {
        std::wstring candidate = numbered(safe, number);
        if (is_acceptable(candidate) && !is_duplicated(candidate))
        {
            return candidate;
        }
    }
    throw tk_mail_assertion("udb_vali", 54);
}
