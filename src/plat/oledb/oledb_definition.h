// oledb_definition.h: the table and index definition interfaces, their column descriptors and
// the release of the identifiers they answer.
#pragma once

#include "plat/oledb/oledb_interfaces.h"

/// The order of one index column.
using DBINDEX_COL_ORDER = DWORD;
inline constexpr DBINDEX_COL_ORDER DBINDEX_COL_ORDER_ASC = 0;
inline constexpr DBINDEX_COL_ORDER DBINDEX_COL_ORDER_DESC = 1;

/// One column of a table to create. A non-empty pwszTypeName ("DATE", "TIME") names the SQL
/// Server type and wins over wType; the column's properties come in DBPROPSET_COLUMN sets
/// (DBPROP_COL_AUTOINCREMENT, DBPROP_COL_NULLABLE, DBPROP_COL_DEFAULT) and in
/// DBPROPSET_SQLSERVERCOLUMN sets (SSPROP_COL_COLLATIONNAME, a collation name written as
/// COLLATE after the type).
struct DBCOLUMNDESC
{
    LPOLESTR pwszTypeName = nullptr;
    void* pTypeInfo = nullptr;
    DBPROPSET* rgPropertySets = nullptr;
    CLSID* pclsid = nullptr;
    ULONG cPropertySets = 0;
    DBLENGTH ulColumnSize = 0;
    DBID dbcid{};
    DBTYPE wType = DBTYPE_EMPTY;
    BYTE bPrecision = 0;
    BYTE bScale = 0;
};

/// One column of an index to create.
struct DBINDEXCOLUMNDESC
{
    DBID* pColumnID = nullptr;
    DBINDEX_COL_ORDER eIndexColOrder = DBINDEX_COL_ORDER_ASC;
};

struct ITableDefinition : IUnknown
{
    static constexpr IID iid = zov_guid(0x50);
    /// Creates the table `table_id` (DBKIND_NAME). A failure of the statement answers the
    /// mapped code (DB_E_DUPLICATETABLEID for a table that exists) with the error records and
    /// creates nothing; a type it cannot write is DB_E_BADTYPE. On success `new_table_id` (when
    /// asked) receives a copy of the identifier to free with plat::oledb::free_dbid, and
    /// `rowset` (when asked) an empty rowset with the new table's columns. Table property sets
    /// are not supported: any given set answers DB_E_ERRORSOCCURRED.
    virtual HRESULT CreateTable(IUnknown* outer, DBID* table_id, DBORDINAL column_count,
                                const DBCOLUMNDESC columns[], REFIID riid, ULONG set_count,
                                DBPROPSET sets[], DBID** new_table_id, IUnknown** rowset) = 0;
};

struct IIndexDefinition : IUnknown
{
    static constexpr IID iid = zov_guid(0x51);
    /// Creates the index `index_id` on `table_id` (both DBKIND_NAME) over the columns in order,
    /// with the DBPROPSET_INDEX properties DBPROP_INDEX_PRIMARYKEY (a key constraint),
    /// DBPROP_INDEX_UNIQUE and DBPROP_INDEX_CLUSTERED. A failure of the statement answers the
    /// mapped code (DB_E_DUPLICATEINDEXID for a name in use). `new_index_id` (when asked)
    /// receives a copy of the identifier to free with plat::oledb::free_dbid.
    virtual HRESULT CreateIndex(DBID* table_id, DBID* index_id, DBORDINAL column_count,
                                const DBINDEXCOLUMNDESC columns[], ULONG set_count,
                                DBPROPSET sets[], DBID** new_index_id) = 0;
};

inline constexpr const IID& IID_ITableDefinition = ITableDefinition::iid;
inline constexpr const IID& IID_IIndexDefinition = IIndexDefinition::iid;

namespace plat::oledb
{

/// Frees an identifier answered by CreateTable or CreateIndex (the name and the block); null
/// does nothing.
void free_dbid(DBID* id);

} // namespace plat::oledb
