// udb_record.h: one row, an owning list of its fields in column order; a pool of rows to refill.
#pragma once

#include "udb/udb_field.h"

#include <cstddef>
#include <memory>
#include <string>
#include <vector>

/// One row. Owns its fields; copying a record copies every field (through udb_field::clone).
class udb_record : public std::vector<std::unique_ptr<udb_field>>
{
public:
    udb_record() = default;
    virtual ~udb_record();

    udb_record(const udb_record& other);
    udb_record& operator=(const udb_record& other);
    udb_record(udb_record&&) noexcept = default;
    udb_record& operator=(udb_record&&) noexcept = default;

    /// Appends a field and returns it.
    udb_field& add_field(std::unique_ptr<udb_field> field);

    /// True when a field of that name exists (compared without case).
    bool find_field(const std::wstring& name) const;
    /// The first field of that name; an absent name gives an empty field (VT_EMPTY, empty name,
    /// size 0, flags false) that stays valid for the program's life. Callers test find_field
    /// first.
    const udb_field& get_field(const std::wstring& name) const;
};

/// Records a writer has stored for good, kept (values emptied) for a reader to fill again
/// instead of allocating a record and its fields for every row. Bounded: past its capacity a
/// record given back is freed. One thread: the reader and the writer of one run share it.
class udb_record_pool
{
public:
    explicit udb_record_pool(std::size_t capacity)
        : m_capacity(capacity)
    {
    }

    /// Keeps `record` when there is room; its values are freed now either way.
    void give(udb_record&& record);
    /// Moves a kept record into `record`; false (and `record` untouched) when none is kept.
    bool take(udb_record& record);
    std::size_t size() const { return m_records.size(); }

private:
    std::size_t m_capacity;
    std::vector<udb_record> m_records;
};
