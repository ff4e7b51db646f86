// udb_schema.h: the columns of a table in column order, as descriptors.
#pragma once

#include "udb/t_ftd.h"

#include <memory>
#include <string>
#include <vector>

/// The column descriptors of a table in the table's column order.
///
/// The vector itself is a view: a descriptor appended with push_back is borrowed and must outlive
/// the schema. A descriptor handed over with adopt belongs to the schema, which frees it and
/// gives each copy of the schema its own clone. So a recordset adopts the descriptors it reads,
/// and a schema passed on to the other side can be copied freely.
class udb_schema : public std::vector<t_ftd*>
{
public:
    /// `tag` is carried along for the engine sides (every recordset passes 1).
    explicit udb_schema(int tag = 1);
    virtual ~udb_schema();

    /// Copies the view; owned descriptors are cloned, borrowed ones stay shared.
    udb_schema(const udb_schema& other);
    udb_schema& operator=(const udb_schema& other);
    udb_schema(udb_schema&& other) noexcept;
    udb_schema& operator=(udb_schema&& other) noexcept;

    /// Appends a descriptor that the schema will own; returns it.
    t_ftd& adopt(std::unique_ptr<t_ftd> column);

    int tag() const { return m_tag; }

    /// True when a column of that name exists (compared without case).
    bool find_field(const std::wstring& name) const;
    /// Position of the first column of that name, -1 when none.
    int get_field_idx(const std::wstring& name) const;
    /// The column's size; throws tk_mail_assertion ("udb_sche", 368) when absent.
    int get_field_size(const std::wstring& name) const;
    /// The column's value type; throws tk_mail_assertion ("udb_sche", 384) when absent.
    VARTYPE get_field_type(const std::wstring& name) const;
    /// The column's descriptor; an absent name logs "Field '%s' not found" (level 3) and gives
    /// an empty descriptor that stays valid for the program's life. Callers test find_field
    /// first.
    const t_ftd& get_field1(const std::wstring& name) const;
    /// The same lookup as get_field1.
    const t_ftd& get_field2(const std::wstring& name) const;

private:
    const t_ftd* lookup(const std::wstring& name) const;
    void copy_from(const udb_schema& other);

    int m_tag;
    std::vector<std::unique_ptr<t_ftd>> m_owned;
};
