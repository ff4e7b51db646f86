// oledb_columns.cpp: ODBC SQL types to DBTYPEs, sizes and column flags.
#include "plat/oledb/oledb_columns.h"

#include "plat/plat_text.h"

#include <algorithm>

namespace plat::oledb
{
namespace
{

// Drivers give long columns a huge or zero size: the MS driver 0 for (max), FreeTDS 2^31-1 or
// 2^30-1.
constexpr std::uint64_t long_size_threshold = 0x3FFFFFFF;

bool is_long_type(std::int16_t sql_type)
{
    return sql_type == sql_type::longvarchar || sql_type == sql_type::wlongvarchar ||
           sql_type == sql_type::longvarbinary || sql_type == sql_type::ss_xml;
}

bool is_variable_type(DBTYPE type)
{
    return type == DBTYPE_WSTR || type == DBTYPE_STR || type == DBTYPE_BYTES || type == DBTYPE_XML;
}

bool is_fixed_width_text(std::int16_t sql_type)
{
    return sql_type == sql_type::char_ || sql_type == sql_type::wchar ||
           sql_type == sql_type::binary;
}

} // namespace

DBTYPE dbtype_for_sql_type(std::int16_t sql_type, std::wstring_view type_name, bool native)
{
    switch (sql_type)
    {
    case sql_type::bit:
        return DBTYPE_BOOL;
    case sql_type::tinyint:
        return DBTYPE_UI1;
    case sql_type::smallint:
        return DBTYPE_I2;
    case sql_type::integer:
        return DBTYPE_I4;
    case sql_type::bigint:
        return DBTYPE_I8;
    case sql_type::real:
        return DBTYPE_R4;
    case sql_type::float_:
    case sql_type::double_:
        return DBTYPE_R8;
    case sql_type::decimal:
    case sql_type::numeric:
        return equal_ci(type_name, L"money") || equal_ci(type_name, L"smallmoney") ? DBTYPE_CY
                                                                                   : DBTYPE_NUMERIC;
    case sql_type::type_timestamp:
    case sql_type::timestamp:
        return DBTYPE_DBTIMESTAMP;
    case sql_type::type_date:
    case sql_type::date:
        return DBTYPE_DBDATE;
    case sql_type::ss_time2:
        return DBTYPE_DBTIME2;
    case sql_type::type_time:
    case sql_type::time:
        return DBTYPE_DBTIME;
    case sql_type::guid:
        return DBTYPE_GUID;
    case sql_type::char_:
    case sql_type::varchar:
    case sql_type::longvarchar:
        return DBTYPE_STR;
    case sql_type::wchar:
    case sql_type::wvarchar:
    case sql_type::wlongvarchar:
        return DBTYPE_WSTR;
    case sql_type::ss_xml:
        return native ? DBTYPE_XML : DBTYPE_WSTR;
    case sql_type::binary:
    case sql_type::varbinary:
    case sql_type::longvarbinary:
        return DBTYPE_BYTES;
    default:
        return DBTYPE_WSTR;
    }
}

DBLENGTH fixed_size_of(DBTYPE type)
{
    switch (type)
    {
    case DBTYPE_BOOL:
    case DBTYPE_I2:
    case DBTYPE_UI2:
        return 2;
    case DBTYPE_I1:
    case DBTYPE_UI1:
        return 1;
    case DBTYPE_I4:
    case DBTYPE_UI4:
    case DBTYPE_R4:
        return 4;
    case DBTYPE_I8:
    case DBTYPE_UI8:
    case DBTYPE_R8:
    case DBTYPE_CY:
    case DBTYPE_DATE:
        return 8;
    case DBTYPE_DBDATE:
    case DBTYPE_DBTIME:
        return 6;
    case DBTYPE_DBTIME2:
        return 12;
    case DBTYPE_DBTIMESTAMP:
    case DBTYPE_GUID:
    case DBTYPE_DECIMAL:
        return 16;
    case DBTYPE_NUMERIC:
        return 19;
    default:
        return 0;
    }
}

rowset_column column_from_driver(const column_desc& desc, bool native)
{
    rowset_column column;
    column.name = desc.name;
    column.type = dbtype_for_sql_type(desc.sql_type, desc.type_name, native);
    if (desc.nullable)
    {
        column.flags |= DBCOLUMNFLAGS_ISNULLABLE | DBCOLUMNFLAGS_MAYBENULL;
    }
    if (is_variable_type(column.type))
    {
        const bool is_long =
            is_long_type(desc.sql_type) || desc.size == 0 || desc.size >= long_size_threshold;
        if (is_long)
        {
            column.flags |= DBCOLUMNFLAGS_ISLONG;
            column.size = DB_LONG_COLUMN_SIZE;
        }
        else
        {
            column.size = static_cast<DBLENGTH>(desc.size);
            if (is_fixed_width_text(desc.sql_type))
            {
                column.flags |= DBCOLUMNFLAGS_ISFIXEDLENGTH;
            }
        }
        return column;
    }
    column.flags |= DBCOLUMNFLAGS_ISFIXEDLENGTH;
    column.size = fixed_size_of(column.type);
    const auto digits = static_cast<BYTE>(std::min<std::uint64_t>(desc.size, 255));
    switch (column.type)
    {
    case DBTYPE_NUMERIC:
    case DBTYPE_CY:
        column.precision = digits;
        column.scale = static_cast<BYTE>(std::clamp<int>(desc.decimal_digits, 0, 255));
        break;
    case DBTYPE_DBTIMESTAMP:
    case DBTYPE_DBTIME2:
        column.precision = digits;
        column.scale = static_cast<BYTE>(std::clamp<int>(desc.decimal_digits, 0, 255));
        break;
    case DBTYPE_UI1:
    case DBTYPE_I2:
    case DBTYPE_I4:
    case DBTYPE_I8:
    case DBTYPE_R4:
    case DBTYPE_R8:
        column.precision = digits;
        break;
    default:
        break;
    }
    return column;
}

std::vector<rowset_column> columns_from_driver(const std::vector<column_desc>& descs, bool native)
{
    std::vector<rowset_column> columns;
    columns.reserve(descs.size());
    for (const column_desc& desc : descs)
    {
        columns.push_back(column_from_driver(desc, native));
    }
    return columns;
}

} // namespace plat::oledb
