// odbc_params.cpp: binding the values of a loaded row to the markers of a prepared statement.
#include "plat/oledb/odbc_calls.h"
#include "plat/oledb/oledb_text.h"
#include "plat/plat_text.h"

#include <cstring>

namespace plat::oledb
{
namespace
{

constexpr std::uint64_t long_column = 0x3FFFFFFF;

struct param_form
{
    SQLSMALLINT c_type = SQL_C_WCHAR;
    SQLSMALLINT sql_type = SQL_WVARCHAR;
    SQLULEN size = 1;
    SQLSMALLINT digits = 0;
};

template <class T>
std::vector<std::uint8_t> bytes_of(const T& value)
{
    std::vector<std::uint8_t> out(sizeof value);
    std::memcpy(out.data(), &value, sizeof value);
    return out;
}

std::vector<std::uint8_t> bytes_of_text(const std::u16string& text)
{
    std::vector<std::uint8_t> out(text.size() * 2 + 2, 0);
    if (!text.empty())
    {
        std::memcpy(out.data(), text.data(), text.size() * 2);
    }
    return out;
}

bool is_date_type(std::int16_t type)
{
    return type == sql_type::type_date || type == sql_type::date;
}

bool is_time_type(std::int16_t type)
{
    return type == sql_type::type_time || type == sql_type::time;
}

// The column's own type and size where the driver described them, else what the value is.
param_form form_for(const column_desc* column, SQLSMALLINT fallback_type, SQLULEN length)
{
    param_form form;
    form.sql_type = column != nullptr && column->sql_type != 0 ? column->sql_type : fallback_type;
    const std::uint64_t declared = column != nullptr ? column->size : 0;
    form.size = declared > 0 && declared < long_column ? std::max<SQLULEN>(declared, length)
                                                       : std::max<SQLULEN>(length, 1);
    form.digits = column != nullptr ? column->decimal_digits : 0;
    return form;
}

// The form and bytes of one value.
param_form prepare(const column_desc* column, const load_value& value,
                   std::vector<std::uint8_t>& data, SQLLEN& indicator)
{
    param_form form;
    indicator = 0;
    if (std::holds_alternative<std::monostate>(value))
    {
        const bool binary = column != nullptr && (column->sql_type == sql_type::binary ||
                                                  column->sql_type == sql_type::varbinary ||
                                                  column->sql_type == sql_type::longvarbinary);
        form = form_for(column, SQL_WVARCHAR, 1);
        form.c_type = binary ? SQL_C_BINARY : SQL_C_WCHAR;
        data.assign(2, 0);
        indicator = SQL_NULL_DATA;
        return form;
    }
    if (const auto* number = std::get_if<std::int64_t>(&value))
    {
        form = form_for(column, SQL_BIGINT, 19);
        form.c_type = SQL_C_SBIGINT;
        data = bytes_of(static_cast<SQLBIGINT>(*number));
    }
    else if (const auto* flag = std::get_if<bool>(&value))
    {
        form = form_for(column, SQL_BIT, 1);
        form.c_type = SQL_C_BIT;
        data = {static_cast<std::uint8_t>(*flag ? 1 : 0)};
    }
    else if (const auto* real = std::get_if<double>(&value))
    {
        form = form_for(column, SQL_DOUBLE, 15);
        form.c_type = SQL_C_DOUBLE;
        data = bytes_of(*real);
    }
    else if (const auto* decimal = std::get_if<load_decimal>(&value))
    {
        form = form_for(column, SQL_NUMERIC, decimal->text.size());
        form.c_type = SQL_C_CHAR;
        data.assign(decimal->text.begin(), decimal->text.end());
        data.push_back(0);
        indicator = static_cast<SQLLEN>(decimal->text.size());
        return form;
    }
    else if (const auto* stamp = std::get_if<load_timestamp>(&value))
    {
        form = form_for(column, SQL_TYPE_TIMESTAMP, 27);
        if (is_date_type(form.sql_type))
        {
            form.c_type = SQL_C_TYPE_DATE;
            data = bytes_of(SQL_DATE_STRUCT{stamp->year, stamp->month, stamp->day});
        }
        else if (is_time_type(form.sql_type) || form.sql_type == sql_type::ss_time2)
        {
            // No ODBC structure carries a time with its fraction (SQL_TIME_STRUCT would drop
            // it); its text does.
            const std::u16string text =
                format_time(stamp->hour, stamp->minute, stamp->second, stamp->fraction_ns, true);
            form.c_type = SQL_C_WCHAR;
            data = bytes_of_text(text);
            indicator = static_cast<SQLLEN>(text.size() * 2);
            return form;
        }
        else
        {
            form.c_type = SQL_C_TYPE_TIMESTAMP;
            data = bytes_of(SQL_TIMESTAMP_STRUCT{stamp->year, stamp->month, stamp->day, stamp->hour,
                                                 stamp->minute, stamp->second, stamp->fraction_ns});
        }
    }
    else if (const auto* guid = std::get_if<GUID>(&value))
    {
        if (column != nullptr && column->sql_type == sql_type::guid)
        {
            form = form_for(column, SQL_GUID, 16);
            form.c_type = SQL_C_GUID;
            SQLGUID out{};
            out.Data1 = guid->Data1;
            out.Data2 = guid->Data2;
            out.Data3 = guid->Data3;
            std::memcpy(out.Data4, guid->Data4, sizeof out.Data4);
            data = bytes_of(out);
        }
        else
        {
            const std::u16string text =
                format_guid(guid->Data1, guid->Data2, guid->Data3, guid->Data4);
            form = form_for(column, SQL_WVARCHAR, text.size());
            data = bytes_of_text(text);
            indicator = static_cast<SQLLEN>(text.size() * 2);
            return form;
        }
    }
    else if (std::holds_alternative<std::u16string>(value) ||
             std::holds_alternative<load_utf8>(value))
    {
        const std::u16string text =
            std::holds_alternative<std::u16string>(value)
                ? std::get<std::u16string>(value)
                : wide_to_utf16(utf8_to_wide_lossy(std::get<load_utf8>(value).text));
        form = form_for(column, SQL_WVARCHAR, text.size());
        form.c_type = SQL_C_WCHAR;
        data = bytes_of_text(text);
        indicator = static_cast<SQLLEN>(text.size() * 2);
        return form;
    }
    else
    {
        const auto& bytes = std::get<std::vector<std::uint8_t>>(value);
        form = form_for(column, SQL_VARBINARY, bytes.size());
        form.c_type = SQL_C_BINARY;
        data = bytes.empty() ? std::vector<std::uint8_t>(1, 0) : bytes;
        indicator = static_cast<SQLLEN>(bytes.size());
        return form;
    }
    indicator = static_cast<SQLLEN>(data.size());
    return form;
}

} // namespace

link_status bind_load_params(SQLHSTMT statement, const std::vector<const column_desc*>& columns,
                             const load_row& values, odbc_param_buffers& buffers,
                             const std::wstring& driver_name)
{
    buffers.data.assign(values.size(), {});
    buffers.indicators.assign(values.size(), 0);
    for (std::size_t value_idx = 0; value_idx < values.size(); ++value_idx)
    {
        const column_desc* column = value_idx < columns.size() ? columns[value_idx] : nullptr;
        std::vector<std::uint8_t>& data = buffers.data[value_idx];
        SQLLEN& indicator = buffers.indicators[value_idx];
        const param_form form = prepare(column, values[value_idx], data, indicator);
        link_status status = check(
            SQLBindParameter(statement, static_cast<SQLUSMALLINT>(value_idx + 1), SQL_PARAM_INPUT,
                             form.c_type, form.sql_type, form.size, form.digits, data.data(),
                             static_cast<SQLLEN>(data.size()), &indicator),
            SQL_HANDLE_STMT, statement, odbc_call::statement, driver_name);
        if (!status.ok())
        {
            return status;
        }
    }
    return {};
}

} // namespace plat::oledb
