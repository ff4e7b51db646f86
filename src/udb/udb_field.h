// udb_field.h: one column value of one row, with the column's name, size and flags.
#pragma once

#include "ole/ole_variant.h"

#include <cstdint>
#include <memory>
#include <string>

/// A typed value (the ole_variant base; get_type, to_string and to_wstring come from it) plus
/// what the row's reader copied from the column descriptor. Engine sides may derive their own
/// fields (overriding to_wstring, say); such a class overrides clone.
class udb_field : public ole_variant
{
public:
    /// An empty value (VT_EMPTY) with an empty name, size 0 and both flags false.
    udb_field();
    udb_field(const std::wstring& name, std::int32_t size, const ole_variant& field_value,
              bool b_not_null, bool b_auto_num);
    ~udb_field() override;

    udb_field(const udb_field&) = default;
    udb_field& operator=(const udb_field&) = default;

    /// Contract: a heap copy of the whole field, derived part included. A derived field that
    /// adds state must override it.
    virtual std::unique_ptr<udb_field> clone() const;

    const std::wstring& name() const { return m_name; }
    std::int32_t size() const { return m_size; }
    bool is_not_null() const { return m_not_null; }
    bool is_auto_num() const { return m_auto_num; }

    /// Replaces the value; name, size and flags stay.
    void assign_value(const ole_variant& new_value);
    /// Makes the field what the constructor with these arguments and an empty value makes,
    /// keeping the name's storage when it is large enough: a reader refills kept fields row
    /// after row.
    void refill(const std::wstring& name, std::int32_t size, bool b_not_null, bool b_auto_num);

private:
    std::int32_t m_size = 0;
    std::wstring m_name;
    bool m_not_null = false;
    bool m_auto_num = false;
};
