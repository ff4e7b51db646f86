// udb_record.cpp: one row: deep copies and lookups of its fields by name.
#include "udb/udb_record.h"

#include "plat/plat_text.h"
#include "tk/tk_logger.h"

#include <utility>

udb_record::~udb_record() = default;

udb_record::udb_record(const udb_record& other)
    : std::vector<std::unique_ptr<udb_field>>()
{
    reserve(other.size());
    for (const auto& field : other)
    {
        push_back(field != nullptr ? field->clone() : nullptr);
    }
}

udb_record& udb_record::operator=(const udb_record& other)
{
    if (this != &other)
    {
        udb_record copy(other);
        *this = std::move(copy);
    }
    return *this;
}

udb_field& udb_record::add_field(std::unique_ptr<udb_field> field)
{
    push_back(std::move(field));
    return *back();
}

bool udb_record::find_field(const std::wstring& name) const
{
    tk_wlog(1, L"udb_record::find_field(%s)", name);
    for (const auto& field : *this)
    {
        if (field == nullptr)
        {
            continue;
        }
        tk_wlog(1, L"Processing %s", field->name());
        if (plat::equal_ci(field->name(), name))
        {
            return true;
        }
    }
    return false;
}

namespace
{
// Shared and immutable, so handing it out for every absent name is safe on any thread.
const udb_field& empty_field()
{
    static const udb_field empty;
    return empty;
}
} // namespace

const udb_field& udb_record::get_field(const std::wstring& name) const
{
    tk_wlog(1, L"udb_schema::find_field(%s)", name);
    for (const auto& field : *this)
    {
        if (field != nullptr && plat::equal_ci(field->name(), name))
        {
            return *field;
        }
    }
    return empty_field();
}

void udb_record_pool::give(udb_record&& record)
{
    if (m_records.size() >= m_capacity)
    {
        udb_record freed(std::move(record));
        return;
    }
    for (const std::unique_ptr<udb_field>& field : record)
    {
        if (field != nullptr)
        {
            // A kept record must not hold a megabyte value until the reader comes back for it.
            field->refill(field->name(), field->size(), field->is_not_null(), field->is_auto_num());
        }
    }
    m_records.push_back(std::move(record));
}

bool udb_record_pool::take(udb_record& record)
{
    if (m_records.empty())
    {
        return false;
    }
    record = std::move(m_records.back());
    m_records.pop_back();
    return true;
}
