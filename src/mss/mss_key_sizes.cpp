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

// The units a text column with a length (varchar(n), char(n)) needs for the values measured
// when the table is created: n, more where they hold characters beyond U+FFFF, never more than
// the 2n it takes otherwise; 0 when it has no length SQL Server can index or was not measured.
int narrowed_units(const t_ftd& column)
{
    const int units = mss_text_column_units(column.size);
    if (column.vartype != VT_BSTR || column.is_guid() || units == 0 || column.longest_units < 0)
    {
        return 0;
    }
    return std::min(std::max(column.size, column.longest_units), units);
}

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

// `narrowed`: the units a text column with a length is created with instead of two a
// character, or 0.
key_column size_in_key(const t_ftd& column, const mss_target& target, int narrowed)
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
    const int units = narrowed > 0 ? narrowed : mss_text_column_units(column.size);
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

namespace
{

// One index summed over its columns: the key's bytes and, per column, where it stands in the
// schema and what it takes.
struct key_total
{
    int bytes = 0;
    std::wstring refusal;
    std::vector<std::pair<int, key_column>> columns;
};

// Sums the index with each text column with a length at `narrowed` units where that is not 0,
// else at two units a character.
key_total sum_key(const udb_schema& schema, const udb_index& index, const mss_target& target,
                  const std::vector<int>& narrowed)
{
    key_total total;
    const int column_limit = target.wide_index_keys ? max_wide_key_columns : max_key_columns;
    if (index.columns.empty())
    {
        total.refusal = L"it has no columns";
        return total;
    }
    if (static_cast<int>(index.columns.size()) > column_limit)
    {
        total.refusal = plat::wformat_w(L"it has %d columns, more than the %d a key holds",
                                        static_cast<int>(index.columns.size()), column_limit);
        return total;
    }
    for (std::size_t column_idx = 0; column_idx < index.columns.size(); ++column_idx)
    {
        const std::wstring& name = index.columns[column_idx];
        tk_wlog(1, L"Process field #%d - '%s'", column_idx, name);
        const int position = schema.get_field_idx(name);
        if (position < 0)
        {
            total.refusal = plat::wformat_w(L"%s is no column of the table", name);
            return total;
        }
        key_column sized =
            size_in_key(*schema[position], target, narrowed[static_cast<std::size_t>(position)]);
        if (!sized.refusal.empty())
        {
            total.refusal = sized.refusal;
            return total;
        }
        total.bytes += sized.bytes;
        tk_log(1, "Total index size=%d", total.bytes);
        total.columns.emplace_back(position, std::move(sized));
    }
    return total;
}

} // namespace

mss_key_plan mss_plan_keys(const udb_schema& schema, const udb_indexes& indexes,
                           const mss_target& target)
{
    mss_key_plan plan;
    plan.text_units.assign(schema.size(), 0);
    // Text with a length takes two units a character, so that characters beyond U+FFFF fit.
    // Only where that makes a key too large for the server are its columns created with the
    // units their values need, and only when the key then fits: a value that comes later and
    // needs more is refused, which a key that fits at the full size never makes happen.
    const std::vector<int> full(schema.size(), 0);
    std::vector<int> narrowed(schema.size(), 0);
    for (const udb_index& index : indexes)
    {
        const int limit = mss_max_key_bytes(index.primary, target);
        const key_total today = sum_key(schema, index, target, full);
        if (!today.refusal.empty() || today.bytes <= limit)
        {
            continue;
        }
        std::vector<int> units(schema.size(), 0);
        for (const auto& [position, sized] : today.columns)
        {
            units[static_cast<std::size_t>(position)] = narrowed_units(*schema[position]);
        }
        const key_total tried = sum_key(schema, index, target, units);
        if (!tried.refusal.empty() || tried.bytes > limit)
        {
            continue;
        }
        for (std::size_t position = 0; position < units.size(); ++position)
        {
            if (units[position] > 0 &&
                (narrowed[position] == 0 || units[position] < narrowed[position]))
            {
                narrowed[position] = units[position];
            }
        }
    }
    for (std::size_t position = 0; position < narrowed.size(); ++position)
    {
        if (narrowed[position] > 0)
        {
            tk_wlog(2, L"Text column '%s' takes %d units for its key", schema[position]->name,
                    narrowed[position]);
            plan.text_units[position] = narrowed[position];
        }
    }
    for (const udb_index& index : indexes)
    {
        // The primary key is created clustered; every other index nonclustered.
        const int limit = mss_max_key_bytes(index.primary, target);
        const key_total total = sum_key(schema, index, target, narrowed);
        std::wstring refusal = total.refusal;
        if (refusal.empty() && total.bytes > limit)
        {
            refusal = plat::wformat_w(
                L"its key takes %d bytes, more than the %d bytes SQL Server allows in %s",
                total.bytes, limit, index.primary ? L"a clustered primary key" : L"an index key");
        }
        if (refusal.empty())
        {
            for (const auto& [position, sized] : total.columns)
            {
                if (sized.measured_units > 0)
                {
                    plan.text_units[static_cast<std::size_t>(position)] = sized.measured_units;
                }
            }
        }
        plan.refusals.push_back(refusal);
    }
    return plan;
}

std::vector<bool> mss_key_text_to_measure(const udb_schema& schema, const udb_indexes& indexes)
{
    // Every server holds 900 bytes in every key, and the oldest date types take the most: a key
    // within that at two units a character needs no measuring anywhere.
    const mss_target any_server;
    std::vector<bool> measure(schema.size(), false);
    const std::vector<int> full(schema.size(), 0);
    for (const udb_index& index : indexes)
    {
        bool unbounded = false;
        for (const std::wstring& name : index.columns)
        {
            const int position = schema.get_field_idx(name);
            if (position < 0)
            {
                continue;
            }
            const t_ftd& column = *schema[position];
            if (column.vartype == VT_BSTR && !column.is_guid() &&
                mss_text_column_units(column.size) == 0)
            {
                measure[static_cast<std::size_t>(position)] = true;
                unbounded = true;
            }
        }
        // With unbounded text the key's size is known only from the values: measured in the
        // same read, its text with a length can narrow where the sum then needs it.
        const key_total today = sum_key(schema, index, any_server, full);
        const bool too_large = today.refusal.empty() && today.bytes > max_clustered_key_bytes;
        if (!too_large && !unbounded)
        {
            continue;
        }
        for (const std::wstring& name : index.columns)
        {
            const int position = schema.get_field_idx(name);
            if (position >= 0 && mss_text_column_units(schema[position]->size) > 0 &&
                schema[position]->vartype == VT_BSTR && !schema[position]->is_guid())
            {
                measure[static_cast<std::size_t>(position)] = true;
            }
        }
    }
    return measure;
}
