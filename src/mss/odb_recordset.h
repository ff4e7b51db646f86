// odb_recordset.h: an OLE DB rowset read as a neutral recordset through a cache of five rows,
// and the schema-rowset readers built on it.
#pragma once

#include "mss/odb_accessor.h"
#include "mss/odb_record.h"
#include "mss/ole_com_ptr.h"
#include "plat/oledb/oledb_interfaces.h"
#include "udb/udb_recordset.h"

#include <array>
#include <cstdint>
#include <memory>
#include <string>

/// Reads a rowset: reset() fills the cache with the first rows, next() walks it and refills it,
/// is_eof() is true once a refill brings nothing. Only reads: append_record throws.
class odb_recordset : public udb_recordset
{
public:
    /// Rows fetched per GetNextRows.
    static constexpr std::uint32_t cache_size = 5;

    /// Over a rowset a command returned (a reference of its own is taken); reads its columns.
    explicit odb_recordset(IRowset* rowset);
    /// Named, without a rowset yet (a table opens it later and calls initialize).
    explicit odb_recordset(const std::wstring& name);
    ~odb_recordset() override;

    /// Builds the schema from the rowset's columns and binds the accessor.
    void initialize();

    /// Throws tk_mail_assertion ("odb_recs", 55): this recordset only reads.
    void append_record(udb_record& record) override;
    /// The current row; throws tk_mail_assertion ("..\MSS/odb_recs", 99) when there is none.
    udb_record* get_item() override;
    bool is_eof() override;
    /// Throws tk_mail_assertion ("..\MSS/odb_recs", 79) when no row is cached.
    void next() override;
    void reset() override;

protected:
    /// Opens the recordset's rowset on `session` and reads its columns: the query text when
    /// there is one, else the table of the recordset's name, read-only or for appending (row
    /// change with insert-only updatability). Every call is checked.
    void internal_initialize(IOpenRowset* session, bool read_only);
    /// The rowset the recordset reads (a table or schema reader sets it before initialize).
    void set_rowset(ole_com_ptr<IRowset> rowset);
    IRowset* rowset() const { return m_rowset.get(); }

private:
    void fill_cache();
    void clean_cache();

    struct column_info_free
    {
        void operator()(DBCOLUMNINFO* info) const { CoTaskMemFree(info); }
    };

    std::uint32_t m_column_count = 0;
    std::int32_t m_rows_read = 0;
    // Members go in reverse order: the cached records and the accessor, which borrow the column
    // information, before it, and the rowset last.
    ole_com_ptr<IRowset> m_rowset;
    std::unique_ptr<DBCOLUMNINFO, column_info_free> m_column_info;
    odb_accessor m_accessor;
    std::uint32_t m_position = 0;
    std::uint32_t m_cached = 0;
    std::array<std::unique_ptr<odb_record>, cache_size> m_cache;
    // A fill since the start of the rowset: the cache then already holds the first rows.
    bool m_started = false;
};

/// A schema-rowset reader: N restrictions (VT_EMPTY until set) and the session's
/// IDBSchemaRowset.
template <std::size_t N>
class odb_meta_data : public odb_recordset
{
public:
    /// A null session throws tk_mail_assertion ("odb_mdat", 30).
    explicit odb_meta_data(IOpenRowset* session);

protected:
    /// Opens the schema rowset `schema` with the restrictions and reads its columns.
    void internal_initialize(const GUID& schema);
    void set_restriction(std::size_t index, const std::wstring& value);

private:
    std::array<VARIANT, N> m_restrictions{};
    ole_com_ptr<IDBSchemaRowset> m_schema_rowset;
};

/// DBSCHEMA_PRIMARY_KEYS of one table.
class odb_pk_meta_data : public odb_meta_data<3>
{
public:
    odb_pk_meta_data(IOpenRowset* session, const std::wstring& table, const std::wstring& owner);
};

/// DBSCHEMA_TABLES (tables only) of one owner, or of all when the owner is empty.
class odb_tl_meta_data : public odb_meta_data<4>
{
public:
    odb_tl_meta_data(IOpenRowset* session, const std::wstring& owner);
};

/// DBSCHEMA_INDEXES of one table.
class odb_id_meta_data : public odb_meta_data<5>
{
public:
    odb_id_meta_data(IOpenRowset* session, const std::wstring& table, const std::wstring& owner);
};

/// DBSCHEMA_FOREIGN_KEYS pointing at one table.
class odb_fk_meta_data : public odb_meta_data<6>
{
public:
    odb_fk_meta_data(IOpenRowset* session, const std::wstring& table, const std::wstring& owner);
};

extern template class odb_meta_data<3>;
extern template class odb_meta_data<4>;
extern template class odb_meta_data<5>;
extern template class odb_meta_data<6>;
