// oledb_types.h: the OLE DB data types, structures, constants and result codes of the stand-in.
#pragma once

#include "plat/oledb/oledb_com.h"

#include <cstdint>

// Lengths, ordinals and counts are 32-bit: the consumer's row layout has 4-byte length slots
// (status | length | value), which a 64-bit DBLENGTH would overrun. Pointers and handles stay
// pointer-sized.
using DBLENGTH = std::uint32_t;
using DBORDINAL = std::uint32_t;
using DBCOUNTITEM = std::uint32_t;
using DBREFCOUNT = std::uint32_t;
using DBROWCOUNT = std::intptr_t;
using DBROWOFFSET = std::intptr_t;
using DBBYTEOFFSET = std::size_t;
using DBTYPE = std::uint16_t;
using DBSTATUS = DWORD;
using DBBINDSTATUS = DWORD;
using DBCOLUMNFLAGS = DWORD;
using DBPART = DWORD;
using DBMEMOWNER = DWORD;
using DBPARAMIO = DWORD;
using DBACCESSORFLAGS = DWORD;
using DBKIND = DWORD;
using DBROWOPTIONS = DWORD;
using DBROWSTATUS = DWORD;
using DBDATACONVERT = DWORD;
using HROW = std::uintptr_t;
using HACCESSOR = std::uintptr_t;
using HCHAPTER = std::uintptr_t;

inline constexpr HCHAPTER DB_NULL_HCHAPTER = 0;
inline constexpr HACCESSOR DB_NULL_HACCESSOR = 0;

// Data types.
inline constexpr DBTYPE DBTYPE_EMPTY = 0;
inline constexpr DBTYPE DBTYPE_NULL = 1;
inline constexpr DBTYPE DBTYPE_I2 = 2;
inline constexpr DBTYPE DBTYPE_I4 = 3;
inline constexpr DBTYPE DBTYPE_R4 = 4;
inline constexpr DBTYPE DBTYPE_R8 = 5;
inline constexpr DBTYPE DBTYPE_CY = 6;
inline constexpr DBTYPE DBTYPE_DATE = 7;
inline constexpr DBTYPE DBTYPE_BSTR = 8;
inline constexpr DBTYPE DBTYPE_ERROR = 10;
inline constexpr DBTYPE DBTYPE_BOOL = 11;
inline constexpr DBTYPE DBTYPE_IUNKNOWN = 13;
inline constexpr DBTYPE DBTYPE_DECIMAL = 14;
inline constexpr DBTYPE DBTYPE_I1 = 16;
inline constexpr DBTYPE DBTYPE_UI1 = 17;
inline constexpr DBTYPE DBTYPE_UI2 = 18;
inline constexpr DBTYPE DBTYPE_UI4 = 19;
inline constexpr DBTYPE DBTYPE_I8 = 20;
inline constexpr DBTYPE DBTYPE_UI8 = 21;
inline constexpr DBTYPE DBTYPE_GUID = 72;
inline constexpr DBTYPE DBTYPE_BYTES = 128;
inline constexpr DBTYPE DBTYPE_STR = 129;
inline constexpr DBTYPE DBTYPE_WSTR = 130;
inline constexpr DBTYPE DBTYPE_NUMERIC = 131;
inline constexpr DBTYPE DBTYPE_DBDATE = 133;
inline constexpr DBTYPE DBTYPE_DBTIME = 134;
inline constexpr DBTYPE DBTYPE_DBTIMESTAMP = 135;
inline constexpr DBTYPE DBTYPE_XML = 141;
inline constexpr DBTYPE DBTYPE_DBTIME2 = 145;
inline constexpr DBTYPE DBTYPE_BYREF = 0x4000;

namespace plat::oledb
{

/// The integer types, signed and unsigned, 1 to 8 bytes (the same codes as their VARTYPEs).
constexpr bool is_integer_type(DBTYPE type)
{
    switch (type)
    {
    case DBTYPE_I1:
    case DBTYPE_I2:
    case DBTYPE_I4:
    case DBTYPE_I8:
    case DBTYPE_UI1:
    case DBTYPE_UI2:
    case DBTYPE_UI4:
    case DBTYPE_UI8:
        return true;
    default:
        return false;
    }
}

} // namespace plat::oledb

// Value statuses.
inline constexpr DBSTATUS DBSTATUS_S_OK = 0;
inline constexpr DBSTATUS DBSTATUS_E_BADACCESSOR = 1;
inline constexpr DBSTATUS DBSTATUS_E_CANTCONVERTVALUE = 2;
inline constexpr DBSTATUS DBSTATUS_S_ISNULL = 3;
inline constexpr DBSTATUS DBSTATUS_S_TRUNCATED = 4;
inline constexpr DBSTATUS DBSTATUS_E_DATAOVERFLOW = 6;
inline constexpr DBSTATUS DBSTATUS_E_INTEGRITYVIOLATION = 10;

inline constexpr DBBINDSTATUS DBBINDSTATUS_OK = 0;
inline constexpr DBBINDSTATUS DBBINDSTATUS_BADORDINAL = 1;
inline constexpr DBBINDSTATUS DBBINDSTATUS_UNSUPPORTEDCONVERSION = 2;
inline constexpr DBBINDSTATUS DBBINDSTATUS_BADBINDINFO = 3;

inline constexpr DBPART DBPART_VALUE = 0x1;
inline constexpr DBPART DBPART_LENGTH = 0x2;
inline constexpr DBPART DBPART_STATUS = 0x4;
inline constexpr DBACCESSORFLAGS DBACCESSOR_ROWDATA = 0x2;
inline constexpr DBMEMOWNER DBMEMOWNER_CLIENTOWNED = 0;
inline constexpr DBMEMOWNER DBMEMOWNER_PROVIDEROWNED = 1;
inline constexpr DBPARAMIO DBPARAMIO_NOTPARAM = 0;

inline constexpr DBCOLUMNFLAGS DBCOLUMNFLAGS_ISFIXEDLENGTH = 0x10;
inline constexpr DBCOLUMNFLAGS DBCOLUMNFLAGS_ISNULLABLE = 0x20;
inline constexpr DBCOLUMNFLAGS DBCOLUMNFLAGS_MAYBENULL = 0x40;
inline constexpr DBCOLUMNFLAGS DBCOLUMNFLAGS_ISLONG = 0x80;

inline constexpr DBKIND DBKIND_GUID_NAME = 0;
inline constexpr DBKIND DBKIND_GUID_PROPID = 1;
inline constexpr DBKIND DBKIND_NAME = 2;

/// Column size reported for long (unbounded) columns.
inline constexpr DBLENGTH DB_LONG_COLUMN_SIZE = ~DBLENGTH{0};

/// A table, index or column identifier.
struct DBID
{
    union
    {
        GUID guid;
        GUID* pguid;
    } uGuid;
    DBKIND eKind;
    union
    {
        LPOLESTR pwszName;
        ULONG ulPropid;
    } uName;
};

/// An object bound in place of a value (the fast loader binds streams this way).
struct DBOBJECT
{
    DWORD dwFlags;
    IID iid;
};

/// One column's place and form in a consumer's row buffer.
struct DBBINDING
{
    DBORDINAL iOrdinal;
    DBBYTEOFFSET obValue;
    DBBYTEOFFSET obLength;
    DBBYTEOFFSET obStatus;
    void* pTypeInfo;
    DBOBJECT* pObject;
    void* pBindExt;
    DBPART dwPart;
    DBMEMOWNER dwMemOwner;
    DBPARAMIO eParamIO;
    DBLENGTH cbMaxLen;
    DWORD dwFlags;
    DBTYPE wType;
    BYTE bPrecision;
    BYTE bScale;
};

/// One column as IColumnsInfo describes it.
struct DBCOLUMNINFO
{
    LPOLESTR pwszName;
    void* pTypeInfo;
    DBORDINAL iOrdinal;
    DBCOLUMNFLAGS dwFlags;
    DBLENGTH ulColumnSize;
    DBTYPE wType;
    BYTE bPrecision;
    BYTE bScale;
    DBID columnid;
};

/// An exact numeric: `val` is the little-endian magnitude; sign 1 is positive, 0 negative.
struct DB_NUMERIC
{
    BYTE precision;
    BYTE scale;
    BYTE sign;
    BYTE val[16];
};

/// A date (6 bytes).
struct DBDATE
{
    std::int16_t year;
    std::uint16_t month;
    std::uint16_t day;
};

/// A time of day with its fraction in nanoseconds (12 bytes).
struct DBTIME2
{
    std::uint16_t hour;
    std::uint16_t minute;
    std::uint16_t second;
    std::uint32_t fraction;
};

/// A date and time with its fraction in nanoseconds (16 bytes).
struct DBTIMESTAMP
{
    std::int16_t year;
    std::uint16_t month;
    std::uint16_t day;
    std::uint16_t hour;
    std::uint16_t minute;
    std::uint16_t second;
    std::uint32_t fraction;
};

/// The basic information of one error record.
struct ERRORINFO
{
    HRESULT hrError;
    DWORD dwMinor;
    CLSID clsid;
    IID iid;
    DISPID dispid;
};

// Result codes.
inline constexpr HRESULT DB_S_ENDOFROWSET = make_hresult(0x00040EC6);
inline constexpr HRESULT DB_S_ERRORSOCCURRED = make_hresult(0x00040EDA);
inline constexpr HRESULT STG_E_INVALIDPOINTER = make_hresult(0x80030009);
inline constexpr HRESULT CLASS_E_NOAGGREGATION = make_hresult(0x80040110);
inline constexpr HRESULT DB_E_BADACCESSORHANDLE = make_hresult(0x80040E00);
inline constexpr HRESULT DB_E_BADROWHANDLE = make_hresult(0x80040E04);
inline constexpr HRESULT DB_E_CANTCONVERTVALUE = make_hresult(0x80040E07);
inline constexpr HRESULT DB_E_NOCOMMAND = make_hresult(0x80040E0C);
inline constexpr HRESULT DB_E_BADBINDINFO = make_hresult(0x80040E08);
inline constexpr HRESULT DB_SEC_E_PERMISSIONDENIED = make_hresult(0x80040E09);
inline constexpr HRESULT DB_E_ERRORSINCOMMAND = make_hresult(0x80040E14);
inline constexpr HRESULT DB_E_DIALECTNOTSUPPORTED = make_hresult(0x80040E16);
inline constexpr HRESULT DB_E_ERRORSOCCURRED = make_hresult(0x80040E21);
inline constexpr HRESULT DB_E_BADORDINAL = make_hresult(0x80040E55);
inline constexpr HRESULT DB_E_INTEGRITYVIOLATION = make_hresult(0x80040E2F);
inline constexpr HRESULT DB_E_DUPLICATEINDEXID = make_hresult(0x80040E34);
inline constexpr HRESULT DB_E_NOTABLE = make_hresult(0x80040E37);
inline constexpr HRESULT DB_E_BADTYPE = make_hresult(0x80040E3D);
inline constexpr HRESULT DB_E_DUPLICATETABLEID = make_hresult(0x80040E3F);
inline constexpr HRESULT DB_SEC_E_AUTH_FAILED = make_hresult(0x80040E4D);
inline constexpr HRESULT DB_E_DATAOVERFLOW = make_hresult(0x80040E57);
inline constexpr HRESULT DB_E_UNSUPPORTEDCONVERSION = make_hresult(0x80040E1D);
inline constexpr HRESULT DB_E_NOTSUPPORTED = make_hresult(0x80040E53);
inline constexpr HRESULT DB_E_ALREADYINITIALIZED = make_hresult(0x80040E52);
inline constexpr HRESULT DB_E_BADRECORDNUM = make_hresult(0x80040E2A);
inline constexpr HRESULT DB_E_OBJECTOPEN = make_hresult(0x80040E05);
