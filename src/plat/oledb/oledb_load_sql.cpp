// oledb_load_sql.cpp: the INSERT statements of the loader (parameter markers, or T-SQL
// literals for rows that must not travel in binary form) and the numeric structure of bulk copy.
#include "plat/oledb/oledb_load.h"
#include "plat/oledb/oledb_names.h"
#include "plat/oledb/oledb_text.h"
#include "plat/plat_text.h"

#include <algorithm>
#include <cstdio>

namespace plat::oledb
{
namespace
{

__extension__ typedef unsigned __int128 uint128;

std::wstring ascii_wide(const std::string& text)
{
    return std::wstring(text.begin(), text.end());
}

std::wstring column_list(const std::vector<load_column>& columns, driver_kind kind)
{
    std::wstring list;
    for (std::size_t column_idx = 0; column_idx < columns.size(); ++column_idx)
    {
        list +=
            (column_idx == 0 ? L"" : L", ") + quote_identifier(columns[column_idx].desc.name, kind);
    }
    return list;
}

std::wstring quoted_text(const std::wstring& text)
{
    std::wstring out = L"N'";
    for (const wchar_t c : text)
    {
        out.push_back(c);
        if (c == L'\'')
        {
            out.push_back(L'\'');
        }
    }
    out.push_back(L'\'');
    return out;
}

// The fraction digits the column keeps: its declared scale, seven at most.
int fraction_digits(const load_column& column)
{
    return std::clamp<int>(column.desc.decimal_digits, 0, 7);
}

std::string fraction_text(std::uint32_t fraction_ns, int digits)
{
    if (digits == 0)
    {
        return {};
    }
    char text[16];
    std::snprintf(text, sizeof text, ".%09u", static_cast<unsigned>(fraction_ns));
    return std::string(text, static_cast<std::size_t>(digits) + 1);
}

// Written for the column's real type: the forms every language setting reads the same way.
std::wstring date_literal(const load_timestamp& stamp, const load_column& column)
{
    char text[64];
    const std::string type_name = wide_to_utf8(column.desc.type_name);
    if (column.desc.sql_type == sql_type::type_date || column.desc.sql_type == sql_type::date)
    {
        std::snprintf(text, sizeof text, "'%04d-%02d-%02d'", stamp.year, stamp.month, stamp.day);
        return ascii_wide(text);
    }
    if (column.time_only)
    {
        std::snprintf(text, sizeof text, "'%02d:%02d:%02d%s'", stamp.hour, stamp.minute,
                      stamp.second,
                      fraction_text(stamp.fraction_ns, fraction_digits(column)).c_str());
        return ascii_wide(text);
    }
    if (equal_ci(std::string_view(type_name), std::string_view("datetime")) ||
        equal_ci(std::string_view(type_name), std::string_view("smalldatetime")))
    {
        std::snprintf(text, sizeof text, "'%04d%02d%02d %02d:%02d:%02d%s'", stamp.year, stamp.month,
                      stamp.day, stamp.hour, stamp.minute, stamp.second,
                      fraction_text(stamp.fraction_ns, 3).c_str());
        return ascii_wide(text);
    }
    std::snprintf(text, sizeof text, "'%04d-%02d-%02d %02d:%02d:%02d%s'", stamp.year, stamp.month,
                  stamp.day, stamp.hour, stamp.minute, stamp.second,
                  fraction_text(stamp.fraction_ns, fraction_digits(column)).c_str());
    return ascii_wide(text);
}

// The UTF-16 units of a text in N'...' with its apostrophes doubled.
std::size_t quoted_size(std::u16string_view text)
{
    return text.size() + 3 + static_cast<std::size_t>(std::count(text.begin(), text.end(), u'\''));
}

void append_quoted(std::u16string& out, std::u16string_view text)
{
    out += u"N'";
    for (const char16_t c : text)
    {
        out.push_back(c);
        if (c == u'\'')
        {
            out.push_back(u'\'');
        }
    }
    out.push_back(u'\'');
}

// The UTF-16 units append_literal writes for the value.
std::size_t literal_size(const load_value& value, const load_column& column)
{
    if (const auto* wide = std::get_if<std::u16string>(&value))
    {
        return quoted_size(*wide);
    }
    if (const auto* bytes = std::get_if<std::vector<std::uint8_t>>(&value))
    {
        return 2 + 2 * bytes->size();
    }
    if (std::holds_alternative<load_utf8>(value))
    {
        // At most one unit a byte, and the quotes doubled.
        const std::string& text = std::get<load_utf8>(value).text;
        return text.size() + 3 +
               static_cast<std::size_t>(std::count(text.begin(), text.end(), '\''));
    }
    return tsql_literal(value, column).size();
}

// tsql_literal in UTF-16, without a copy of a long text or of bytes in another form.
void append_literal(std::u16string& out, const load_value& value, const load_column& column)
{
    if (const auto* wide = std::get_if<std::u16string>(&value))
    {
        append_quoted(out, *wide);
        return;
    }
    if (const auto* narrow = std::get_if<load_utf8>(&value))
    {
        append_quoted(out, wide_to_utf16(utf8_to_wide_lossy(narrow->text)));
        return;
    }
    if (const auto* bytes = std::get_if<std::vector<std::uint8_t>>(&value))
    {
        static constexpr char16_t digits[] = u"0123456789ABCDEF";
        out += u"0x";
        for (const std::uint8_t byte : *bytes)
        {
            out.push_back(digits[byte >> 4]);
            out.push_back(digits[byte & 0x0F]);
        }
        return;
    }
    out += wide_to_utf16(tsql_literal(value, column));
}

} // namespace

std::wstring insert_params_statement(const std::wstring& table,
                                     const std::vector<load_column>& columns, std::size_t row_count,
                                     driver_kind kind)
{
    std::wstring markers = L"(";
    for (std::size_t column_idx = 0; column_idx < columns.size(); ++column_idx)
    {
        markers += column_idx == 0 ? L"?" : L", ?";
    }
    markers += L")";
    std::wstring sql = L"INSERT INTO " + table + L" (" + column_list(columns, kind) + L") VALUES ";
    for (std::size_t row_idx = 0; row_idx < row_count; ++row_idx)
    {
        sql += (row_idx == 0 ? L"" : L", ") + markers;
    }
    return sql;
}

std::u16string insert_literal_statement(const std::wstring& table,
                                        const std::vector<load_column>& columns,
                                        const load_row& values, driver_kind kind,
                                        const std::vector<bool>& as_marker)
{
    const auto marker = [&as_marker](std::size_t column_idx)
    { return column_idx < as_marker.size() && as_marker[column_idx]; };
    // Written once, in the driver's UTF-16, at its final size: the rows that come this way
    // hold values too wide for bulk copy, megabytes each.
    const std::u16string head =
        wide_to_utf16(L"INSERT INTO " + table + L" (" + column_list(columns, kind) + L") VALUES (");
    std::size_t size = head.size() + 1;
    for (std::size_t column_idx = 0; column_idx < columns.size(); ++column_idx)
    {
        size +=
            2 + (marker(column_idx) ? 1 : literal_size(values[column_idx], columns[column_idx]));
    }
    std::u16string sql;
    sql.reserve(size);
    sql += head;
    for (std::size_t column_idx = 0; column_idx < columns.size(); ++column_idx)
    {
        if (column_idx > 0)
        {
            sql += u", ";
        }
        if (marker(column_idx))
        {
            sql += u"?";
            continue;
        }
        append_literal(sql, values[column_idx], columns[column_idx]);
    }
    sql += u")";
    return sql;
}

std::wstring tsql_literal(const load_value& value, const load_column& column)
{
    if (std::holds_alternative<std::monostate>(value))
    {
        return L"NULL";
    }
    if (const auto* number = std::get_if<std::int64_t>(&value))
    {
        return std::to_wstring(*number);
    }
    if (const auto* flag = std::get_if<bool>(&value))
    {
        return *flag ? L"1" : L"0";
    }
    if (const auto* real = std::get_if<double>(&value))
    {
        return utf16_to_wide(format_double(*real));
    }
    if (const auto* decimal = std::get_if<load_decimal>(&value))
    {
        return ascii_wide(decimal->text);
    }
    if (const auto* stamp = std::get_if<load_timestamp>(&value))
    {
        return date_literal(*stamp, column);
    }
    if (const auto* guid = std::get_if<GUID>(&value))
    {
        const std::u16string braced =
            format_guid(guid->Data1, guid->Data2, guid->Data3, guid->Data4);
        return L"'" + utf16_to_wide(braced.substr(1, 36)) + L"'";
    }
    if (const auto* wide = std::get_if<std::u16string>(&value))
    {
        return quoted_text(utf16_to_wide(*wide));
    }
    if (const auto* narrow = std::get_if<load_utf8>(&value))
    {
        return quoted_text(utf8_to_wide_lossy(narrow->text));
    }
    const auto& bytes = std::get<std::vector<std::uint8_t>>(value);
    return L"0x" + utf16_to_wide(format_hex(bytes.data(), bytes.size()));
}

std::array<std::uint8_t, 19> numeric_struct(const load_decimal& value, const load_column& column)
{
    std::array<std::uint8_t, 19> out{};
    uint128 magnitude = 0;
    int scale = 0;
    bool after_point = false;
    for (const char c : value.text)
    {
        if (c == '.')
        {
            after_point = true;
        }
        else if (c >= '0' && c <= '9')
        {
            magnitude = magnitude * 10 + static_cast<unsigned>(c - '0');
            scale += after_point ? 1 : 0;
        }
    }
    out[0] = static_cast<std::uint8_t>(column.precision > 0 ? column.precision : 38);
    out[1] = static_cast<std::uint8_t>(scale);
    out[2] = value.text.starts_with('-') ? 0 : 1;
    for (int byte_idx = 0; byte_idx < 16; ++byte_idx)
    {
        out[3 + static_cast<std::size_t>(byte_idx)] =
            static_cast<std::uint8_t>(magnitude >> (8 * byte_idx));
    }
    return out;
}

} // namespace plat::oledb
