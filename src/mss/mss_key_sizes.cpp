// mss_key_sizes.cpp: sizing keys and indexes against SQL Server's key limits.
#include "mss/mss_key_sizes.h"

#include "mss/mss_engine.h"
#include "plat/plat_fmt.h"
#include "tk/tk_logger.h"

#include <algorithm>
#include <optional>

namespace
{

constexpr int max_clustered_key_bytes = 900;
constexpr int max_wide_key_bytes = 1700;
constexpr int max_key_columns = 16;
constexpr int max_wide_key_columns = 32;
constexpr int max_nvarchar_units = 4000;
constexpr int max_varbinary_bytes = 8000;
constexpr int guid_bytes = 16;
constexpr int max_numeric_precision = 38;

// The bytes a column takes in a key, and the nvarchar units it is created with when it is text
// sized from its values; a reason when it cannot be in a key.
struct key_column
{
    int bytes = 0;
    int measured_units = 0;
    std::wstring refusal;
};

int numeric_bytes(int precision)
{
    if (precision > max_numeric_precision)
    {
        return 8; // float
    }
    if (precision <= 9)
    {
        return 5;
    }
    if (precision <= 19)
    {
        return 9;
    }
    return precision <= 28 ? 13 : 17;
}

int date_bytes(const t_ftd& column, const mss_target& target)
{
    if (!target.has_date_types())
    {
        return 8; // datetime
    }
    if (column.dw_reserved == t_ftd::date_only)
    {
        return 3;
    }
    return column.dw_reserved == t_ftd::time_only ? 5 : 8; // time(6), datetime2(6)
}

key_column size_in_key(const t_ftd& column, const mss_target& target)
{
    key_column sized;
    switch (column.vartype)
    {
    case VT_BOOL:
    case VT_UI1:
        sized.bytes = 1;
        return sized;
    case VT_I1:
    case VT_I2:
        sized.bytes = 2;
        return sized;
    case VT_I4:
    case VT_UI2:
    case VT_INT:
        sized.bytes = 4;
        return sized;
    case VT_R4:
    case VT_R8:
    case VT_CY:
    case VT_I8:
    case VT_UI4:
    case VT_UINT:
    case VT_UI8:
        sized.bytes = 8;
        return sized;
    case VT_DATE:
        sized.bytes = date_bytes(column, target);
        return sized;
    case VT_DECIMAL:
        sized.bytes = numeric_bytes(mss_decimal_precision(column));
        return sized;
    case VT_BLOB:
    case VT_BLOB_OBJECT:
    case VT_BYTE_ARRAY:
        if (column.size > 0 && column.size <= max_varbinary_bytes)
        {
            sized.bytes = column.size;
            return sized;
        }
        sized.refusal = plat::wformat_w(
            L"the column %s is binary without a length limit (varbinary(max)), which SQL Server "
            L"cannot index",
            column.name);
        return sized;
    default:
        break;
    }
    if (column.is_guid())
    {
        sized.bytes = guid_bytes;
        return sized;
    }
    const int units = mss_text_column_units(column.size);
    if (units > 0)
    {
        sized.bytes = 2 * units;
        return sized;
    }
    if (column.vartype == VT_BSTR && column.longest_units >= 0)
    {
        const int longest = std::max(column.longest_units, 1);
        if (longest <= max_nvarchar_units)
        {
            sized.measured_units = longest;
            sized.bytes = 2 * longest;
            return sized;
        }
        sized.refusal = plat::wformat_w(
            L"the column %s holds text of %d UTF-16 units, more than nvarchar(4000) holds",
            column.name, longest);
        return sized;
    }
    sized.refusal = plat::wformat_w(
        L"the column %s is text without a length limit (nvarchar(max)), which SQL Server "
        L"cannot index",
        column.name);
    return sized;
}

} // namespace

int mss_max_key_bytes(bool clustered, const mss_target& target)
{
    return !clustered && target.wide_index_keys ? max_wide_key_bytes : max_clustered_key_bytes;
}

mss_key_plan mss_plan_keys(const udb_schema& schema, const udb_indexes& indexes,
                           const mss_target& target)
{
    mss_key_plan plan;
    plan.text_units.assign(schema.size(), 0);
    for (const udb_index& index : indexes)
    {
        // The primary key is created clustered; every other index nonclustered.
        const int limit = mss_max_key_bytes(index.primary, target);
        const int column_limit = target.wide_index_keys ? max_wide_key_columns : max_key_columns;
        std::wstring refusal;
        std::vector<std::pair<int, int>> measured;
        int total = 0;
        if (index.columns.empty())
        {
            refusal = L"it has no columns";
        }
        else if (static_cast<int>(index.columns.size()) > column_limit)
        {
            refusal = plat::wformat_w(L"it has %d columns, more than the %d a key holds",
                                      static_cast<int>(index.columns.size()), column_limit);
        }
        for (std::size_t column_idx = 0; refusal.empty() && column_idx < index.columns.size();
             ++column_idx)
        {
            const std::wstring& name = index.columns[column_idx];
            tk_wlog(1, L"Process field #%d - '%s'", column_idx, name);
            const int position = schema.get_field_idx(name);
            if (position < 0)
            {
                refusal = plat::wformat_w(L"%s is no column of the table", name);
                break;
            }
            const key_column sized = size_in_key(*schema[position], target);
            if (!sized.refusal.empty())
            {
                refusal = sized.refusal;
                break;
            }
            total += sized.bytes;
            tk_log(1, "Total index size=%d", total);
            if (sized.measured_units > 0)
            {
                measured.emplace_back(position, sized.measured_units);
            }
        }
        if (refusal.empty() && total > limit)
        {
            refusal = plat::wformat_w(
                L"its key takes %d bytes, more than the %d bytes SQL Server allows in %s", total,
                limit, index.primary ? L"a clustered primary key" : L"an index key");
        }
        if (refusal.empty())
        {
            for (const auto& [position, units] : measured)
            {
                plan.text_units[position] = units;
            }
        }
        plan.refusals.push_back(refusal);
    }
    return plan;
}
