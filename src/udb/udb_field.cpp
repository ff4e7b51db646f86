// udb_field.cpp: the field's constructors and copy.
#include "udb/udb_field.h"

#include "tk/tk_logger.h"

#include <utility>

udb_field::udb_field()
{
    tk_log(1, "udb_field::empty ctor");
}

udb_field::udb_field(const std::wstring& name, std::int32_t size, const ole_variant& field_value,
                     bool b_not_null, bool b_auto_num)
    : ole_variant(field_value)
    , m_size(size)
    , m_name(name)
    , m_not_null(b_not_null)
    , m_auto_num(b_auto_num)
{
    tk_log(1, "udb_field::ctor #2");
    tk_wlog(1, L"name=%s, size=%d", name, size);
}

udb_field::~udb_field() = default;

std::unique_ptr<udb_field> udb_field::clone() const
{
    return std::make_unique<udb_field>(*this);
}

void udb_field::assign_value(const ole_variant& new_value)
{
    ole_variant::operator=(new_value);
}

void udb_field::refill(const std::wstring& name, std::int32_t size, bool b_not_null,
                       bool b_auto_num)
{
    // Moved out, not assigned over: a string assigned a short one keeps its storage.
    const ole_variant freed(std::move(static_cast<ole_variant&>(*this)));
    ole_variant::operator=(ole_variant());
    m_size = size;
    m_name = name;
    m_not_null = b_not_null;
    m_auto_num = b_auto_num;
}
