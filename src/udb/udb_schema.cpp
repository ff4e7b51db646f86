// udb_schema.cpp: column lookups by name and the ownership of adopted descriptors.
#include "udb/udb_schema.h"

#include "plat/plat_text.h"
#include "tk/tk_exception.h"
#include "tk/tk_logger.h"

#include <algorithm>
#include <cstdint>
#include <utility>

udb_schema::udb_schema(int tag)
    : m_tag(tag)
{
}

udb_schema::~udb_schema() = default;

udb_schema::udb_schema(const udb_schema& other)
    : std::vector<t_ftd*>()
    , m_tag(other.m_tag)
{
    copy_from(other);
}

udb_schema& udb_schema::operator=(const udb_schema& other)
{
    if (this != &other)
    {
        udb_schema copy(other);
        *this = std::move(copy);
    }
    return *this;
}

udb_schema::udb_schema(udb_schema&& other) noexcept
    : std::vector<t_ftd*>(std::move(static_cast<std::vector<t_ftd*>&>(other)))
    , m_tag(other.m_tag)
    , m_owned(std::move(other.m_owned))
{
    other.clear();
    other.m_owned.clear();
}

udb_schema& udb_schema::operator=(udb_schema&& other) noexcept
{
    if (this != &other)
    {
        static_cast<std::vector<t_ftd*>&>(*this) =
            std::move(static_cast<std::vector<t_ftd*>&>(other));
        m_tag = other.m_tag;
        m_owned = std::move(other.m_owned);
        other.clear();
        other.m_owned.clear();
    }
    return *this;
}

// A copy must not point at descriptors that die with `other`: owned ones are cloned, and only
// borrowed ones (whose owner outlives both schemas) are shared.
void udb_schema::copy_from(const udb_schema& other)
{
    reserve(other.size());
    for (t_ftd* column : other)
    {
        const bool owned =
            std::any_of(other.m_owned.begin(), other.m_owned.end(),
                        [&](const std::unique_ptr<t_ftd>& held) { return held.get() == column; });
        if (owned)
        {
            adopt(column->clone());
        }
        else
        {
            push_back(column);
        }
    }
}

t_ftd& udb_schema::adopt(std::unique_ptr<t_ftd> column)
{
    t_ftd& held = *column;
    reserve(size() + 1);
    m_owned.push_back(std::move(column));
    push_back(&held);
    return held;
}

const t_ftd* udb_schema::lookup(const std::wstring& name) const
{
    for (const t_ftd* column : *this)
    {
        if (column != nullptr && plat::equal_ci(column->name, name))
        {
            return column;
        }
    }
    return nullptr;
}

bool udb_schema::find_field(const std::wstring& name) const
{
    tk_wlog(1, L"udb_schema::find_field(%s)", name);
    tk_log(1, "Schema size=%d", size());
    for (std::size_t column_idx = 0; column_idx < size(); ++column_idx)
    {
        const t_ftd* column = (*this)[column_idx];
        tk_log(1, "Processing field #%d, ptr=%08X", column_idx,
               reinterpret_cast<std::uintptr_t>(column));
        if (column == nullptr)
        {
            continue;
        }
        tk_wlog(1, L"Field name: '%s'", column->name);
        if (plat::equal_ci(column->name, name))
        {
            return true;
        }
    }
    return false;
}

int udb_schema::get_field_idx(const std::wstring& name) const
{
    tk_wlog(1, L"udb_schema::get_field_idx(%s)", name);
    for (std::size_t column_idx = 0; column_idx < size(); ++column_idx)
    {
        const t_ftd* column = (*this)[column_idx];
        if (column != nullptr && plat::equal_ci(column->name, name))
        {
            return static_cast<int>(column_idx);
        }
    }
    return -1;
}

int udb_schema::get_field_size(const std::wstring& name) const
{
    tk_wlog(1, L"udb_schema::get_field_size(%s)", name);
    if (const t_ftd* column = lookup(name))
    {
        return column->size;
    }
    throw tk_mail_assertion("udb_sche", 368);
}

VARTYPE udb_schema::get_field_type(const std::wstring& name) const
{
    tk_wlog(1, L"udb_schema::get_field_type(%s)", name);
    if (const t_ftd* column = lookup(name))
    {
        return column->vartype;
    }
    throw tk_mail_assertion("udb_sche", 384);
}

namespace
{
// Shared and immutable, so handing it out for every absent name is safe on any thread.
const t_ftd& empty_column()
{
    static const t_ftd empty;
    return empty;
}

const t_ftd& found_or_empty(const t_ftd* column, const std::wstring& name)
{
    if (column != nullptr)
    {
        return *column;
    }
    tk_wlog(3, L"Field '%s' not found", name);
    return empty_column();
}
} // namespace

const t_ftd& udb_schema::get_field1(const std::wstring& name) const
{
    tk_wlog(1, L"udb_schema::get_field1(%s)", name);
    return found_or_empty(lookup(name), name);
}

const t_ftd& udb_schema::get_field2(const std::wstring& name) const
{
    tk_wlog(1, L"udb_schema::get_field2(%s)", name);
    return found_or_empty(lookup(name), name);
}
