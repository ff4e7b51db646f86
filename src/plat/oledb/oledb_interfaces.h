// oledb_interfaces.h: the OLE DB interfaces the consumer calls, their identifiers, the class ids
// of the providers, property sets and schema rowset identifiers.
#pragma once

#include "plat/oledb/oledb_types.h"
#include "plat/plat_variant.h"

#include <cstdint>
#include <string>
#include <vector>

/// Our own identifiers where the values need only agree inside this system; the ones that the
/// system's logs print keep their published values.
constexpr GUID zov_guid(std::uint32_t number)
{
    return GUID{0x7A6F7600 + number, 0x0C0D, 0x4B1E, {0x9A, 0x11, 0x5E, 0x0D, 0xB0, 0x00, 0, 0}};
}

using DBPROPID = DWORD;
using DBPROPOPTIONS = DWORD;
using DBPROPSTATUS = DWORD;

inline constexpr DBPROPOPTIONS DBPROPOPTIONS_REQUIRED = 0;
inline constexpr DBPROPOPTIONS DBPROPOPTIONS_OPTIONAL = 1;
inline constexpr DBPROPSTATUS DBPROPSTATUS_OK = 0;
inline constexpr DBPROPSTATUS DBPROPSTATUS_NOTSUPPORTED = 1;
inline constexpr DBPROPSTATUS DBPROPSTATUS_BADVALUE = 2;
inline constexpr DBPROPSTATUS DBPROPSTATUS_NOTSETTABLE = 6;

/// One property: its id, whether it is required, the status the provider gives it and its value.
struct DBPROP
{
    DBPROPID dwPropertyID = 0;
    DBPROPOPTIONS dwOptions = DBPROPOPTIONS_REQUIRED;
    DBPROPSTATUS dwStatus = DBPROPSTATUS_OK;
    DBID colid{};
    VARIANT vValue;
};

struct DBPROPSET
{
    DBPROP* rgProperties;
    ULONG cProperties;
    GUID guidPropertySet;
};

struct DBPROPIDSET
{
    DBPROPID* rgPropertyIDs;
    ULONG cPropertyIDs;
    GUID guidPropertySet;
};

// Property sets.
inline constexpr GUID DBPROPSET_DBINIT{
    0xC8B522BC, 0x5CF3, 0x11CE, {0xAD, 0xE5, 0x00, 0xAA, 0x00, 0x44, 0x77, 0x3D}};
inline constexpr GUID DBPROPSET_SQLSERVERDATASOURCE{
    0x28EFAEE4, 0x2D2C, 0x11D1, {0x98, 0x07, 0x00, 0xC0, 0x4F, 0xC2, 0xAD, 0x98}};
inline constexpr GUID DBPROPSET_SQLSERVERROWSET{
    0x5CF4CA11, 0xEF21, 0x11D0, {0x97, 0xE7, 0x00, 0xC0, 0x4F, 0xC2, 0xAD, 0x98}};
inline constexpr GUID DBPROPSET_SQLSERVERCOLUMN{
    0x3B63FB5E, 0x3FBB, 0x11D3, {0x9F, 0x29, 0x00, 0xC0, 0x4F, 0x8E, 0xE9, 0xDC}};
inline constexpr GUID DBPROPSET_ROWSET = zov_guid(0x01);
inline constexpr GUID DBPROPSET_COLUMN = zov_guid(0x02);
inline constexpr GUID DBPROPSET_INDEX = zov_guid(0x03);

// Property ids.
inline constexpr DBPROPID DBPROP_AUTH_INTEGRATED = 0x07;
inline constexpr DBPROPID DBPROP_AUTH_PASSWORD = 0x09;
inline constexpr DBPROPID DBPROP_AUTH_USERID = 0x0C;
inline constexpr DBPROPID DBPROP_INIT_DATASOURCE = 0x3B;
inline constexpr DBPROPID DBPROP_INIT_CATALOG = 0xE9;
inline constexpr DBPROPID DBPROP_COMMANDTIMEOUT = 0x22;
inline constexpr DBPROPID DBPROP_IRowsetChange = 0x7F;
inline constexpr DBPROPID DBPROP_UPDATABILITY = 0x75;
inline constexpr DBPROPID DBPROP_ISequentialStream = 0x89;
inline constexpr DBPROPID DBPROP_IStream = 0x8B;
inline constexpr DBPROPID DBPROP_COL_AUTOINCREMENT = 0x1A;
inline constexpr DBPROPID DBPROP_COL_DEFAULT = 0x1B;
inline constexpr DBPROPID DBPROP_COL_NULLABLE = 0x1D;
inline constexpr DBPROPID DBPROP_INDEX_CLUSTERED = 0x23;
inline constexpr DBPROPID DBPROP_INDEX_PRIMARYKEY = 0x28;
inline constexpr DBPROPID DBPROP_INDEX_UNIQUE = 0x2B;
inline constexpr DBPROPID SSPROP_ENABLEFASTLOAD = 2;
inline constexpr DBPROPID SSPROP_FASTLOADOPTIONS = 9;
inline constexpr DBPROPID SSPROP_FASTLOADKEEPNULLS = 10;
inline constexpr DBPROPID SSPROP_FASTLOADKEEPIDENTITY = 11;
inline constexpr DBPROPID SSPROP_IRowsetFastLoad = 14;
inline constexpr DBPROPID SSPROP_COL_COLLATIONNAME = 14;

inline constexpr LONG DBPROPVAL_UP_INSERT = 4;

// Command dialect and schema rowsets.
inline constexpr GUID DBGUID_DBSQL = zov_guid(0x10);
inline constexpr GUID DBSCHEMA_TABLES = zov_guid(0x11);
inline constexpr GUID DBSCHEMA_PRIMARY_KEYS = zov_guid(0x12);
inline constexpr GUID DBSCHEMA_INDEXES = zov_guid(0x13);
inline constexpr GUID DBSCHEMA_FOREIGN_KEYS = zov_guid(0x14);

// Classes.
inline constexpr CLSID CLSID_SQLNCLI11{
    0x397C2819, 0x8272, 0x4532, {0xAD, 0x3A, 0xFB, 0x5E, 0x43, 0xBE, 0xAA, 0x39}};
inline constexpr CLSID CLSID_SQLNCLI10{
    0x8F4A6B68, 0x4F36, 0x4E3C, {0xBE, 0x81, 0xBC, 0x7C, 0xA4, 0xE9, 0xC4, 0x5C}};
inline constexpr CLSID CLSID_MSDAINITIALIZE{
    0x2206CDB0, 0x19C1, 0x11D1, {0x89, 0xE0, 0x00, 0xC0, 0x4F, 0xD7, 0xA8, 0x29}};
inline constexpr CLSID CLSID_OLEDB_CONVERSIONLIBRARY{
    0xC8B522D1, 0x5CF3, 0x11CE, {0xAD, 0xE5, 0x00, 0xAA, 0x00, 0x44, 0x77, 0x3D}};

/// Parameters of a command; the system never sends any.
struct DBPARAMS;

struct IDBInitialize : IUnknown
{
    static constexpr IID iid = zov_guid(0x20);
    /// Connects; success means a live connection.
    virtual HRESULT Initialize() = 0;
    virtual HRESULT Uninitialize() = 0;
};

struct IDBProperties : IUnknown
{
    static constexpr IID iid = zov_guid(0x21);
    /// Answers a CoTaskMem array of sets; free it with plat::oledb::free_property_sets.
    virtual HRESULT GetProperties(ULONG id_set_count, const DBPROPIDSET id_sets[], ULONG* set_count,
                                  DBPROPSET** sets) = 0;
    /// Each property's dwStatus tells what became of it.
    virtual HRESULT SetProperties(ULONG set_count, DBPROPSET sets[]) = 0;
};

struct IDBCreateSession : IUnknown
{
    static constexpr IID iid = zov_guid(0x22);
    virtual HRESULT CreateSession(IUnknown* outer, REFIID riid, IUnknown** session) = 0;
};

struct IDataInitialize : IUnknown
{
    static constexpr IID iid = zov_guid(0x23);
    /// A data source, not yet initialised, from an initialisation string.
    virtual HRESULT GetDataSource(IUnknown* outer, DWORD context, LPCOLESTR init_string,
                                  REFIID riid, IUnknown** data_source) = 0;
};

struct IOpenRowset : IUnknown
{
    static constexpr IID iid = zov_guid(0x24);
    virtual HRESULT OpenRowset(IUnknown* outer, DBID* table_id, DBID* index_id, REFIID riid,
                               ULONG set_count, DBPROPSET sets[], IUnknown** rowset) = 0;
};

struct IDBCreateCommand : IUnknown
{
    static constexpr IID iid = zov_guid(0x25);
    virtual HRESULT CreateCommand(IUnknown* outer, REFIID riid, IUnknown** command) = 0;
};

struct ICommand : IUnknown
{
    static constexpr IID iid = zov_guid(0x26);
    /// Runs the whole batch; `riid` IID_IRowset answers the first result with columns (null when
    /// there is none), IID_NULL answers nothing.
    virtual HRESULT Execute(IUnknown* outer, REFIID riid, DBPARAMS* params,
                            DBROWCOUNT* rows_affected, IUnknown** rowset) = 0;
};

struct ICommandText : ICommand
{
    using parent_interface = ICommand;
    static constexpr IID iid = zov_guid(0x27);
    virtual HRESULT SetCommandText(REFGUID dialect, LPCOLESTR text) = 0;
};

/// The properties of a command. The layer takes DBPROP_COMMANDTIMEOUT of DBPROPSET_ROWSET (VT_I4
/// seconds, 0 for no limit): how long each later Execute waits for the server's answer.
struct ICommandProperties : IUnknown
{
    static constexpr IID iid = zov_guid(0x35);
    virtual HRESULT SetProperties(ULONG set_count, DBPROPSET* sets) = 0;
};

struct IColumnsInfo : IUnknown
{
    static constexpr IID iid = zov_guid(0x28);
    /// The names live inside the CoTaskMem array block; `*strings` is always set to null.
    virtual HRESULT GetColumnInfo(DBORDINAL* count, DBCOLUMNINFO** info, OLECHAR** strings) = 0;
};

struct IAccessor : IUnknown
{
    static constexpr IID iid = zov_guid(0x29);
    virtual HRESULT CreateAccessor(DBACCESSORFLAGS flags, DBCOUNTITEM binding_count,
                                   const DBBINDING bindings[], DBLENGTH row_size,
                                   HACCESSOR* accessor, DBBINDSTATUS statuses[]) = 0;
    virtual HRESULT ReleaseAccessor(HACCESSOR accessor, DBREFCOUNT* ref_count) = 0;
};

struct IRowset : IUnknown
{
    static constexpr IID iid = zov_guid(0x2A);
    virtual HRESULT GetData(HROW row, HACCESSOR accessor, void* data) = 0;
    /// S_OK with all rows asked for; DB_S_ENDOFROWSET with fewer (none at the end).
    virtual HRESULT GetNextRows(HCHAPTER chapter, DBROWOFFSET offset, DBROWCOUNT row_count,
                                DBCOUNTITEM* obtained, HROW** rows) = 0;
    virtual HRESULT ReleaseRows(DBCOUNTITEM row_count, const HROW rows[], DBROWOPTIONS options[],
                                DBREFCOUNT ref_counts[], DBROWSTATUS statuses[]) = 0;
    virtual HRESULT RestartPosition(HCHAPTER chapter) = 0;
};

struct IRowsetInfo : IUnknown
{
    static constexpr IID iid = zov_guid(0x2B);
    /// Answers a CoTaskMem array of sets; free it with plat::oledb::free_property_sets.
    virtual HRESULT GetProperties(ULONG id_set_count, const DBPROPIDSET id_sets[], ULONG* set_count,
                                  DBPROPSET** sets) = 0;
};

struct IDBSchemaRowset : IUnknown
{
    static constexpr IID iid = zov_guid(0x2C);
    /// Restrictions are VT_EMPTY (no restriction) or VT_BSTR.
    virtual HRESULT GetRowset(IUnknown* outer, REFGUID schema, ULONG restriction_count,
                              const VARIANT restrictions[], REFIID riid, ULONG set_count,
                              DBPROPSET sets[], IUnknown** rowset) = 0;
};

struct IDataConvert : IUnknown
{
    static constexpr IID iid = zov_guid(0x2D);
    virtual HRESULT DataConvert(DBTYPE src_type, DBTYPE dst_type, DBLENGTH src_length,
                                DBLENGTH* dst_length, void* src, void* dst, DBLENGTH dst_max_length,
                                DBSTATUS src_status, DBSTATUS* dst_status, BYTE precision,
                                BYTE scale, DBDATACONVERT flags) = 0;
};

struct ISequentialStream : IUnknown
{
    static constexpr IID iid = zov_guid(0x2E);
    virtual HRESULT Read(void* buffer, ULONG size, ULONG* read) = 0;
    virtual HRESULT Write(const void* buffer, ULONG size, ULONG* written) = 0;
};

/// A memory stream of this system's own that gives its whole content up instead of being read:
/// the bulk loader then takes a value of megabytes without a second copy of it. Each call answers
/// S_OK when `out` holds the whole content, now no longer the stream's (a later Read fails, so
/// the value can never be read a second time as empty), or S_FALSE, `out` untouched, when the
/// stream does not hold its content in that form or was read in part: then it is read as any
/// stream.
struct IStreamHandOver : IUnknown
{
    static constexpr IID iid = zov_guid(0x34);
    virtual HRESULT TakeBytes(std::vector<std::uint8_t>& out) = 0;
    virtual HRESULT TakeUtf8(std::string& out) = 0;
    virtual HRESULT TakeUtf16(std::u16string& out) = 0;
};

/// The bulk loader of one table: rows given through an accessor are inserted, Commit ends a
/// batch (and with `done` the load).
struct IRowsetFastLoad : IUnknown
{
    static constexpr IID iid{
        0x5CF4CA13, 0xEF21, 0x11D0, {0x97, 0xE7, 0x00, 0xC0, 0x4F, 0xC2, 0xAD, 0x98}};
    virtual HRESULT InsertRow(HACCESSOR accessor, void* data) = 0;
    virtual HRESULT Commit(BOOL done) = 0;
};

/// What an InsertRow did with its row and the rows taken before it.
enum class load_row_path : std::uint32_t
{
    /// The row went into the open batch; nothing was committed.
    batch,
    /// The rows taken before it were committed (an INSERT batch that was full); the row went
    /// into the next batch.
    after_commit,
    /// The rows taken before it were committed, then the row was written by an INSERT statement
    /// of its own (a value too wide for the bulk copy, an early date): every row taken is stored.
    apart,
    /// As `apart`, but the row's own statement failed: its own refusal, or, when the failure
    /// tells of a lost connection, a statement that may have run before its answer was lost.
    apart_failed,
    /// Committing the rows taken before it failed (GetRowsToReplay counts them); the row itself
    /// was not sent.
    commit_failed,
};

/// The stand-in's account of what a failed bulk-load call cost, so the caller can write those
/// rows again another way.
struct IFastLoadReplay : IUnknown
{
    static constexpr IID iid = zov_guid(0x33);
    /// After a failed InsertRow or Commit: how many of the rows taken before that call were not
    /// stored (the batch that held them was rolled back); they are the last rows taken. The row
    /// of a failed InsertRow is never taken. 0 after a successful call.
    virtual HRESULT GetRowsToReplay(DBCOUNTITEM* rows) = 0;
    /// After InsertRow: what the call did besides taking its row into the open batch (the
    /// loader commits the rows before a row it writes apart, so they are stored in order).
    virtual HRESULT GetRowPath(load_row_path* path) = 0;
};

/// InsertRow succeeded and did more than take its row into the open batch: GetRowPath says
/// what.
inline constexpr HRESULT DB_S_ROWPATH = make_hresult(0x00040F80);

/// An error object, or one record of it. Texts are wide strings (the system's BSTR).
struct IErrorInfo : IUnknown
{
    static constexpr IID iid = zov_guid(0x30);
    virtual HRESULT GetSource(std::wstring* source) = 0;
    virtual HRESULT GetDescription(std::wstring* description) = 0;
};

struct IErrorRecords : IUnknown
{
    static constexpr IID iid = zov_guid(0x31);
    virtual HRESULT GetRecordCount(ULONG* count) = 0;
    virtual HRESULT GetBasicErrorInfo(ULONG record, ERRORINFO* info) = 0;
    /// S_OK with a null object when the record has none of that kind.
    virtual HRESULT GetCustomErrorObject(ULONG record, REFIID riid, IUnknown** object) = 0;
    virtual HRESULT GetErrorInfo(ULONG record, LCID locale, IErrorInfo** info) = 0;
};

struct ISQLErrorInfo : IUnknown
{
    static constexpr IID iid = zov_guid(0x32);
    virtual HRESULT GetSQLInfo(std::wstring* sqlstate, LONG* native_error) = 0;
};

inline constexpr const IID& IID_IDBInitialize = IDBInitialize::iid;
inline constexpr const IID& IID_IDBProperties = IDBProperties::iid;
inline constexpr const IID& IID_IDBCreateSession = IDBCreateSession::iid;
inline constexpr const IID& IID_IDataInitialize = IDataInitialize::iid;
inline constexpr const IID& IID_IOpenRowset = IOpenRowset::iid;
inline constexpr const IID& IID_IDBCreateCommand = IDBCreateCommand::iid;
inline constexpr const IID& IID_ICommand = ICommand::iid;
inline constexpr const IID& IID_ICommandText = ICommandText::iid;
inline constexpr const IID& IID_ICommandProperties = ICommandProperties::iid;
inline constexpr const IID& IID_IColumnsInfo = IColumnsInfo::iid;
inline constexpr const IID& IID_IAccessor = IAccessor::iid;
inline constexpr const IID& IID_IRowset = IRowset::iid;
inline constexpr const IID& IID_IRowsetInfo = IRowsetInfo::iid;
inline constexpr const IID& IID_IDBSchemaRowset = IDBSchemaRowset::iid;
inline constexpr const IID& IID_IDataConvert = IDataConvert::iid;
inline constexpr const IID& IID_ISequentialStream = ISequentialStream::iid;
inline constexpr const IID& IID_IStreamHandOver = IStreamHandOver::iid;
inline constexpr const IID& IID_IErrorInfo = IErrorInfo::iid;
inline constexpr const IID& IID_IErrorRecords = IErrorRecords::iid;
inline constexpr const IID& IID_ISQLErrorInfo = ISQLErrorInfo::iid;
inline constexpr IID IID_IStream = zov_guid(0x2F);
inline constexpr const IID& IID_IRowsetFastLoad = IRowsetFastLoad::iid;
inline constexpr const IID& IID_IFastLoadReplay = IFastLoadReplay::iid;

/// The thread's error object: GetErrorInfo hands it over (S_FALSE and null when there is none)
/// and clears it; SetErrorInfo replaces it.
HRESULT GetErrorInfo(DWORD reserved, IErrorInfo** info);
HRESULT SetErrorInfo(DWORD reserved, IErrorInfo* info);

namespace plat::oledb
{

/// Frees property sets answered by GetProperties (values, arrays and the set array).
void free_property_sets(ULONG set_count, DBPROPSET* sets);

} // namespace plat::oledb
