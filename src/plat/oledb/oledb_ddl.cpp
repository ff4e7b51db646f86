// oledb_ddl.cpp: building CREATE TABLE, CREATE INDEX and key-constraint text from the
// definition interfaces' descriptors.
#include "plat/oledb/oledb_ddl.h"

#include "plat/plat_date.h"
#include "plat/plat_decimal.h"
#include "plat/plat_fmt.h"
#include "plat/plat_text.h"

#include <algorithm>
#include <cmath>

namespace plat::oledb
{
namespace
{

constexpr DBLENGTH max_varchar = 8000;
constexpr DBLENGTH max_nvarchar = 4000;
constexpr DBLENGTH max_varbinary = 8000;

// Well-formed bracketed parts: "[" part "]" with "]]" for a bracket inside, joined by dots.
bool is_bracketed(std::wstring_view text, bool multi_part)
{
    std::size_t pos = 0;
    std::size_t parts = 0;
    while (true)
    {
        if (pos >= text.size() || text[pos] != L'[')
        {
            return false;
        }
        ++pos;
        std::size_t length = 0;
        bool closed = false;
        while (pos < text.size())
        {
            if (text[pos] != L']')
            {
                ++pos;
                ++length;
                continue;
            }
            if (pos + 1 < text.size() && text[pos + 1] == L']')
            {
                pos += 2;
                ++length;
                continue;
            }
            ++pos;
            closed = true;
            break;
        }
        if (!closed || length == 0)
        {
            return false;
        }
        ++parts;
        if (pos == text.size())
        {
            return multi_part || parts == 1;
        }
        if (text[pos] != L'.')
        {
            return false;
        }
        ++pos;
    }
}

std::optional<std::wstring> name_of(const DBID* id, bool multi_part)
{
    if (id == nullptr || id->eKind != DBKIND_NAME || id->uName.pwszName == nullptr ||
        id->uName.pwszName[0] == L'\0')
    {
        return std::nullopt;
    }
    return ddl_identifier(id->uName.pwszName, multi_part);
}

// A type name the caller may give: a word or words, optionally "(n)", "(n,m)" or "(max)".
bool is_plain_type_name(std::wstring_view name)
{
    std::size_t pos = 0;
    const auto is_word_char = [](wchar_t c)
    {
        return (c >= L'a' && c <= L'z') || (c >= L'A' && c <= L'Z') || (c >= L'0' && c <= L'9') ||
               c == L'_' || c == L' ';
    };
    if (name.empty() || !((name[0] >= L'a' && name[0] <= L'z') ||
                          (name[0] >= L'A' && name[0] <= L'Z') || name[0] == L'_'))
    {
        return false;
    }
    while (pos < name.size() && is_word_char(name[pos]))
    {
        ++pos;
    }
    if (pos == name.size())
    {
        return true;
    }
    if (name[pos] != L'(' || name.back() != L')')
    {
        return false;
    }
    const std::wstring_view inside = name.substr(pos + 1, name.size() - pos - 2);
    if (plat::equal_ci(inside, L"max"))
    {
        return true;
    }
    bool digit_seen = false;
    for (const wchar_t c : inside)
    {
        if (c >= L'0' && c <= L'9')
        {
            digit_seen = true;
        }
        else if (c != L',' && c != L' ')
        {
            return false;
        }
    }
    return digit_seen;
}

std::wstring sized(const wchar_t* type, DBLENGTH size, DBLENGTH limit)
{
    if (size == 0 || size > limit)
    {
        return std::wstring(type) + L"(max)";
    }
    return std::wstring(type) + L"(" + std::to_wstring(size) + L")";
}

// A collation name as SQL Server spells one: letters, digits and underscores.
bool is_collation_name(const VARIANT& value)
{
    if (value.vt != VT_BSTR || value.bstrVal.empty())
    {
        return false;
    }
    return std::all_of(value.bstrVal.begin(), value.bstrVal.end(),
                       [](wchar_t c)
                       {
                           return (c >= L'a' && c <= L'z') || (c >= L'A' && c <= L'Z') ||
                                  (c >= L'0' && c <= L'9') || c == L'_';
                       });
}

bool is_true(const VARIANT& value)
{
    return value.vt == VT_BOOL && value.boolVal != VARIANT_FALSE;
}

// The milliseconds of a date number: its fraction of a day, counted away from 1899-12-30 on
// both sides as the DATE format does.
std::optional<std::wstring> date_literal(DATE date)
{
    if (!std::isfinite(date))
    {
        return std::nullopt;
    }
    double whole = std::trunc(date);
    auto millis = std::llround(std::fabs(date - whole) * 86400000.0);
    if (millis >= 86400000)
    {
        whole += date < 0 ? -1 : 1;
        millis = 0;
    }
    SYSTEMTIME day{};
    if (!plat::variant_time_to_system_time(whole, day))
    {
        return std::nullopt;
    }
    const long long seconds = millis / 1000;
    return plat::wformat_w(L"'%04d%02d%02d %02d:%02d:%02d.%03d'", day.wYear, day.wMonth, day.wDay,
                           seconds / 3600, seconds / 60 % 60, seconds % 60, millis % 1000);
}

} // namespace

std::wstring ddl_identifier(std::wstring_view name, bool multi_part)
{
    if (is_bracketed(name, multi_part))
    {
        return std::wstring(name);
    }
    std::wstring quoted = L"[";
    for (const wchar_t c : name)
    {
        quoted += c;
        if (c == L']')
        {
            quoted += L']';
        }
    }
    return quoted + L"]";
}

std::optional<std::wstring> ddl_column_type(const DBCOLUMNDESC& column)
{
    if (column.pwszTypeName != nullptr && column.pwszTypeName[0] != L'\0')
    {
        const std::wstring_view name = column.pwszTypeName;
        if (plat::equal_ci(name, L"DATE"))
        {
            return L"date";
        }
        if (plat::equal_ci(name, L"TIME"))
        {
            return L"time(" + std::to_wstring(column.bScale) + L")";
        }
        if (plat::equal_ci(name, L"DATETIME2"))
        {
            return L"datetime2(" + std::to_wstring(column.bScale) + L")";
        }
        if (is_plain_type_name(name))
        {
            return std::wstring(name);
        }
        return std::nullopt;
    }
    switch (column.wType)
    {
    case DBTYPE_BOOL:
        return L"bit";
    case DBTYPE_UI1:
        return L"tinyint";
    case DBTYPE_I2:
        return L"smallint";
    case DBTYPE_I4:
        return L"int";
    case DBTYPE_I8:
        return L"bigint";
    case DBTYPE_R4:
        return L"real";
    case DBTYPE_R8:
        return L"float";
    case DBTYPE_CY:
        return L"money";
    case DBTYPE_NUMERIC:
    case DBTYPE_DECIMAL:
        if (column.bPrecision == 0)
        {
            return L"numeric";
        }
        return L"numeric(" + std::to_wstring(column.bPrecision) + L"," +
               std::to_wstring(column.bScale) + L")";
    case DBTYPE_DBTIMESTAMP:
    case DBTYPE_DATE:
        return L"datetime";
    case DBTYPE_DBDATE:
        return L"date";
    case DBTYPE_DBTIME2:
        return L"time(" + std::to_wstring(column.bScale) + L")";
    case DBTYPE_GUID:
        return L"uniqueidentifier";
    case DBTYPE_STR:
        return sized(L"varchar", column.ulColumnSize, max_varchar);
    case DBTYPE_WSTR:
    case DBTYPE_BSTR:
        return sized(L"nvarchar", column.ulColumnSize, max_nvarchar);
    case DBTYPE_BYTES:
        return sized(L"varbinary", column.ulColumnSize, max_varbinary);
    case DBTYPE_XML:
        return L"xml";
    default:
        return std::nullopt;
    }
}

std::optional<std::wstring> ddl_default_literal(const VARIANT& value)
{
    switch (value.vt)
    {
    case VT_EMPTY:
        return std::nullopt;
    case VT_NULL:
        return L"NULL";
    case VT_BSTR:
        return value.bstrVal;
    case VT_BOOL:
        return value.boolVal != VARIANT_FALSE ? L"1" : L"0";
    case VT_I1:
        return std::to_wstring(value.cVal);
    case VT_UI1:
        return std::to_wstring(value.bVal);
    case VT_I2:
        return std::to_wstring(value.iVal);
    case VT_UI2:
        return std::to_wstring(value.uiVal);
    case VT_I4:
        return std::to_wstring(value.lVal);
    case VT_INT:
        return std::to_wstring(value.intVal);
    case VT_UI4:
        return std::to_wstring(value.ulVal);
    case VT_UINT:
        return std::to_wstring(value.uintVal);
    case VT_I8:
        return std::to_wstring(value.llVal);
    case VT_UI8:
        return std::to_wstring(value.ullVal);
    case VT_R4:
        if (!std::isfinite(value.fltVal))
        {
            return std::nullopt;
        }
        return plat::wformat_w(L"%.9g", static_cast<double>(value.fltVal));
    case VT_R8:
        if (!std::isfinite(value.dblVal))
        {
            return std::nullopt;
        }
        return plat::wformat_w(L"%.17g", value.dblVal);
    case VT_CY:
        return plat::cy_to_str(value.cyVal);
    case VT_DECIMAL:
        return plat::dec_to_str(value.decVal);
    case VT_DATE:
        return date_literal(value.date);
    default:
        return std::nullopt;
    }
}

ddl_text create_table_text(const DBID* table_id, DBORDINAL column_count,
                           const DBCOLUMNDESC columns[])
{
    const std::optional<std::wstring> table = name_of(table_id, true);
    if (!table)
    {
        return {E_INVALIDARG, {}, L"CreateTable needs a table named by text."};
    }
    if (column_count == 0 || columns == nullptr)
    {
        return {E_INVALIDARG, {}, L"CreateTable needs at least one column."};
    }
    std::wstring text = L"CREATE TABLE " + *table + L" (";
    for (DBORDINAL column_idx = 0; column_idx < column_count; ++column_idx)
    {
        const DBCOLUMNDESC& column = columns[column_idx];
        const std::optional<std::wstring> name = name_of(&column.dbcid, false);
        if (!name)
        {
            return {E_INVALIDARG, {}, L"Every column needs a name."};
        }
        const std::optional<std::wstring> type = ddl_column_type(column);
        if (!type)
        {
            return {DB_E_BADTYPE,
                    {},
                    L"Column " + *name + L" has a type this provider cannot create (" +
                        std::to_wstring(column.wType) + L")."};
        }
        bool identity = false;
        bool nullable = true;
        std::optional<std::wstring> default_text;
        std::wstring collation;
        for (ULONG set_idx = 0; set_idx < column.cPropertySets; ++set_idx)
        {
            DBPROPSET& set = column.rgPropertySets[set_idx];
            for (ULONG prop_idx = 0; prop_idx < set.cProperties; ++prop_idx)
            {
                DBPROP& prop = set.rgProperties[prop_idx];
                prop.dwStatus = DBPROPSTATUS_OK;
                const bool is_bool = prop.vValue.vt == VT_BOOL;
                if (set.guidPropertySet == DBPROPSET_SQLSERVERCOLUMN &&
                    prop.dwPropertyID == SSPROP_COL_COLLATIONNAME)
                {
                    if (is_collation_name(prop.vValue))
                    {
                        collation = prop.vValue.bstrVal;
                    }
                    else
                    {
                        prop.dwStatus = DBPROPSTATUS_BADVALUE;
                    }
                }
                else if (set.guidPropertySet != DBPROPSET_COLUMN)
                {
                    prop.dwStatus = DBPROPSTATUS_NOTSUPPORTED;
                }
                else if (prop.dwPropertyID == DBPROP_COL_AUTOINCREMENT && is_bool)
                {
                    identity = is_true(prop.vValue);
                }
                else if (prop.dwPropertyID == DBPROP_COL_NULLABLE && is_bool)
                {
                    nullable = is_true(prop.vValue);
                }
                else if (prop.dwPropertyID == DBPROP_COL_DEFAULT)
                {
                    default_text = ddl_default_literal(prop.vValue);
                    if (!default_text && prop.vValue.vt != VT_EMPTY)
                    {
                        prop.dwStatus = DBPROPSTATUS_BADVALUE;
                    }
                }
                else
                {
                    prop.dwStatus = prop.dwPropertyID == DBPROP_COL_AUTOINCREMENT ||
                                            prop.dwPropertyID == DBPROP_COL_NULLABLE
                                        ? DBPROPSTATUS_BADVALUE
                                        : DBPROPSTATUS_NOTSUPPORTED;
                }
                if (prop.dwStatus != DBPROPSTATUS_OK && prop.dwOptions == DBPROPOPTIONS_REQUIRED)
                {
                    return {DB_E_ERRORSOCCURRED,
                            {},
                            L"A required property of column " + *name +
                                L" was not supported or had a bad value."};
                }
            }
        }
        text += column_idx == 0 ? L"" : L", ";
        text += *name + L" " + *type;
        if (!collation.empty())
        {
            text += L" COLLATE " + collation;
        }
        if (identity)
        {
            text += L" IDENTITY(1,1)";
        }
        text += nullable ? L" NULL" : L" NOT NULL";
        if (default_text)
        {
            text += L" DEFAULT " + *default_text;
        }
    }
    return {S_OK, text + L")", {}};
}

ddl_text create_index_text(const DBID* table_id, const DBID* index_id, DBORDINAL column_count,
                           const DBINDEXCOLUMNDESC columns[], ULONG set_count, DBPROPSET sets[])
{
    const std::optional<std::wstring> table = name_of(table_id, true);
    const std::optional<std::wstring> index = name_of(index_id, false);
    if (!table || !index)
    {
        return {E_INVALIDARG, {}, L"CreateIndex needs a table and an index named by text."};
    }
    if (column_count == 0 || columns == nullptr)
    {
        return {E_INVALIDARG, {}, L"CreateIndex needs at least one column."};
    }
    bool primary = false;
    bool unique = false;
    bool clustered = false;
    for (ULONG set_idx = 0; set_idx < set_count; ++set_idx)
    {
        DBPROPSET& set = sets[set_idx];
        for (ULONG prop_idx = 0; prop_idx < set.cProperties; ++prop_idx)
        {
            DBPROP& prop = set.rgProperties[prop_idx];
            prop.dwStatus = DBPROPSTATUS_OK;
            const bool known = set.guidPropertySet == DBPROPSET_INDEX &&
                               (prop.dwPropertyID == DBPROP_INDEX_PRIMARYKEY ||
                                prop.dwPropertyID == DBPROP_INDEX_UNIQUE ||
                                prop.dwPropertyID == DBPROP_INDEX_CLUSTERED);
            if (!known)
            {
                prop.dwStatus = DBPROPSTATUS_NOTSUPPORTED;
            }
            else if (prop.vValue.vt != VT_BOOL)
            {
                prop.dwStatus = DBPROPSTATUS_BADVALUE;
            }
            else if (prop.dwPropertyID == DBPROP_INDEX_PRIMARYKEY)
            {
                primary = is_true(prop.vValue);
            }
            else if (prop.dwPropertyID == DBPROP_INDEX_UNIQUE)
            {
                unique = is_true(prop.vValue);
            }
            else
            {
                clustered = is_true(prop.vValue);
            }
            if (prop.dwStatus != DBPROPSTATUS_OK && prop.dwOptions == DBPROPOPTIONS_REQUIRED)
            {
                return {DB_E_ERRORSOCCURRED,
                        {},
                        L"A required property of index " + *index +
                            L" was not supported or had a bad value."};
            }
        }
    }
    std::wstring column_list;
    for (DBORDINAL column_idx = 0; column_idx < column_count; ++column_idx)
    {
        const DBINDEXCOLUMNDESC& column = columns[column_idx];
        const std::optional<std::wstring> name = name_of(column.pColumnID, false);
        if (!name || (column.eIndexColOrder != DBINDEX_COL_ORDER_ASC &&
                      column.eIndexColOrder != DBINDEX_COL_ORDER_DESC))
        {
            return {E_INVALIDARG, {}, L"Every index column needs a name and an order."};
        }
        column_list += column_idx == 0 ? L"" : L", ";
        column_list += *name;
        if (column.eIndexColOrder == DBINDEX_COL_ORDER_DESC)
        {
            column_list += L" DESC";
        }
    }
    const wchar_t* kind = clustered ? L"CLUSTERED" : L"NONCLUSTERED";
    if (primary)
    {
        return {S_OK,
                L"ALTER TABLE " + *table + L" ADD CONSTRAINT " + *index + L" PRIMARY KEY " + kind +
                    L" (" + column_list + L")",
                {}};
    }
    return {S_OK,
            std::wstring(L"CREATE ") + (unique ? L"UNIQUE " : L"") + kind + L" INDEX " + *index +
                L" ON " + *table + L" (" + column_list + L")",
            {}};
}

} // namespace plat::oledb
