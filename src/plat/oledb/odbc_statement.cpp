// odbc_statement.cpp: the ODBC statement of the driver link: execution, catalog calls, column
// descriptions and values read in the layer's text forms.
#include "plat/oledb/odbc_calls.h"
#include "plat/oledb/oledb_text.h"

#include <algorithm>
#include <array>
#include <cstring>

namespace plat::oledb
{
namespace
{

constexpr std::size_t chunk_bytes = 16384;

std::optional<std::vector<SQLWCHAR>> to_arg(const catalog_arg& arg)
{
    if (!arg)
    {
        return std::nullopt;
    }
    return to_sqlw(*arg);
}

SQLWCHAR* arg_text(std::optional<std::vector<SQLWCHAR>>& arg)
{
    return arg ? arg->data() : nullptr;
}

SQLSMALLINT arg_length(const std::optional<std::vector<SQLWCHAR>>& arg)
{
    return arg ? SQL_NTS : 0;
}

class odbc_statement final : public link_statement
{
public:
    odbc_statement(odbc_handle handle, const std::wstring& driver_name)
        : m_handle(std::move(handle))
        , m_driver_name(driver_name)
    {
    }

    void set_time_limit(unsigned seconds) override
    {
        // Rows are what is timed (a batch of them, one INSERT), and the looks at a table's
        // columns and catalog on the way to its load, which a healthy server answers far
        // within the limit, lock waits behind another session's short transaction included.
        // When it is up FreeTDS sends a cancel and waits as long again for its answer before
        // it closes the connection; either way the call fails with HYT00.
        SQLSetStmtAttrW(m_handle.get(), SQL_ATTR_QUERY_TIMEOUT,
                        reinterpret_cast<SQLPOINTER>(static_cast<SQLULEN>(seconds)), 0);
    }

    link_status execute(const std::wstring& sql) override
    {
        m_described = false;
        m_prepared.clear();
        std::vector<SQLWCHAR> text = to_sqlw(sql);
        link_status status = checked(SQLExecDirectW(m_handle.get(), text.data(), SQL_NTS));
        // SQL_NO_DATA here is a searched statement that touched no row: a success.
        if (status.hr == S_FALSE)
        {
            status.hr = S_OK;
        }
        return status;
    }

    link_status execute_utf16(const std::u16string& sql) override
    {
        static_assert(sizeof(SQLWCHAR) == sizeof(char16_t));
        m_described = false;
        m_prepared.clear();
        // The driver only reads the text, whose length it is told.
        auto* text = reinterpret_cast<SQLWCHAR*>(const_cast<char16_t*>(sql.data()));
        link_status status =
            checked(SQLExecDirectW(m_handle.get(), text, static_cast<SQLINTEGER>(sql.size())));
        if (status.hr == S_FALSE)
        {
            status.hr = S_OK;
        }
        return status;
    }

    std::int64_t rows_affected() override
    {
        SQLLEN rows = -1;
        if (!SQL_SUCCEEDED(SQLRowCount(m_handle.get(), &rows)))
        {
            return -1;
        }
        return rows;
    }

    link_status tables(const catalog_arg& schema, const catalog_arg& table,
                       const catalog_arg& type) override
    {
        m_described = false;
        auto schema_arg = to_arg(schema);
        auto table_arg = to_arg(table);
        auto type_arg = to_arg(type);
        return checked(SQLTablesW(m_handle.get(), nullptr, 0, arg_text(schema_arg),
                                  arg_length(schema_arg), arg_text(table_arg),
                                  arg_length(table_arg), arg_text(type_arg), arg_length(type_arg)));
    }

    link_status primary_keys(const catalog_arg& schema, const catalog_arg& table) override
    {
        m_described = false;
        auto schema_arg = to_arg(schema);
        auto table_arg = to_arg(table);
        return checked(SQLPrimaryKeysW(m_handle.get(), nullptr, 0, arg_text(schema_arg),
                                       arg_length(schema_arg), arg_text(table_arg),
                                       arg_length(table_arg)));
    }

    link_status statistics(const catalog_arg& schema, const catalog_arg& table) override
    {
        m_described = false;
        auto schema_arg = to_arg(schema);
        auto table_arg = to_arg(table);
        return checked(SQLStatisticsW(m_handle.get(), nullptr, 0, arg_text(schema_arg),
                                      arg_length(schema_arg), arg_text(table_arg),
                                      arg_length(table_arg), SQL_INDEX_ALL, SQL_QUICK));
    }

    link_status foreign_keys(const catalog_arg& pk_schema, const catalog_arg& pk_table) override
    {
        m_described = false;
        auto schema_arg = to_arg(pk_schema);
        auto table_arg = to_arg(pk_table);
        return checked(SQLForeignKeysW(m_handle.get(), nullptr, 0, arg_text(schema_arg),
                                       arg_length(schema_arg), arg_text(table_arg),
                                       arg_length(table_arg), nullptr, 0, nullptr, 0, nullptr, 0));
    }

    link_status describe(std::vector<column_desc>& columns) override
    {
        link_status status = describe_current();
        columns = m_columns;
        return status;
    }

    link_status fetch(row& values) override
    {
        values.clear();
        if (!m_described)
        {
            if (link_status status = describe_current(); !status.ok())
            {
                return status;
            }
        }
        if (m_columns.empty())
        {
            return link_status{S_FALSE, {}};
        }
        link_status status = checked(SQLFetch(m_handle.get()));
        if (status.hr != S_OK)
        {
            return status;
        }
        values.reserve(m_columns.size());
        for (std::size_t column_idx = 0; column_idx < m_columns.size(); ++column_idx)
        {
            cell value;
            status =
                read_cell(static_cast<SQLUSMALLINT>(column_idx + 1), m_columns[column_idx], value);
            if (!status.ok())
            {
                values.clear();
                return status;
            }
            values.push_back(std::move(value));
        }
        return {};
    }

    link_status more_results() override
    {
        m_described = false;
        return checked(SQLMoreResults(m_handle.get()));
    }

    link_status execute_params(const std::wstring& sql,
                               const std::vector<const column_desc*>& columns,
                               const load_row& values) override
    {
        m_described = false;
        SQLFreeStmt(m_handle.get(), SQL_CLOSE);
        if (sql != m_prepared)
        {
            m_prepared.clear();
            std::vector<SQLWCHAR> text = to_sqlw(sql);
            if (link_status status = checked(SQLPrepareW(m_handle.get(), text.data(), SQL_NTS));
                !status.ok())
            {
                return status;
            }
            m_prepared = sql;
        }
        SQLFreeStmt(m_handle.get(), SQL_RESET_PARAMS);
        odbc_param_buffers buffers;
        link_status status =
            bind_load_params(m_handle.get(), columns, values, buffers, m_driver_name);
        if (status.ok())
        {
            status = checked(SQLExecute(m_handle.get()));
        }
        return finish_params(std::move(status));
    }

    bool streams_values() const override { return true; }

    link_status execute_streamed(const std::u16string& sql, load_row& values) override
    {
        static_assert(sizeof(SQLWCHAR) == sizeof(char16_t));
        m_described = false;
        m_prepared.clear();
        SQLFreeStmt(m_handle.get(), SQL_CLOSE);
        SQLFreeStmt(m_handle.get(), SQL_RESET_PARAMS);
        std::vector<SQLLEN> lengths(values.size(), 0);
        for (std::size_t value_idx = 0; value_idx < values.size(); ++value_idx)
        {
            load_value& value = values[value_idx];
            if (auto* narrow = std::get_if<load_utf8>(&value))
            {
                // As the literal would have read it.
                value = wide_to_utf16(utf8_to_wide_lossy(narrow->text));
            }
            SQLSMALLINT c_type = SQL_C_BINARY;
            SQLSMALLINT sql_type = SQL_LONGVARBINARY;
            std::size_t bytes = 0;
            SQLULEN size = 0;
            if (const auto* text = std::get_if<std::u16string>(&value))
            {
                c_type = SQL_C_WCHAR;
                sql_type = SQL_WLONGVARCHAR;
                bytes = text->size() * 2;
                size = text->size();
            }
            else if (const auto* data = std::get_if<std::vector<std::uint8_t>>(&value))
            {
                bytes = data->size();
                size = data->size();
            }
            else
            {
                return link_status::failure(E_INVALIDARG, {});
            }
            lengths[value_idx] = SQL_LEN_DATA_AT_EXEC(static_cast<SQLLEN>(bytes));
            // The token is the value's position plus one: SQLParamData hands it back.
            if (link_status status = checked(SQLBindParameter(
                    m_handle.get(), static_cast<SQLUSMALLINT>(value_idx + 1), SQL_PARAM_INPUT,
                    c_type, sql_type, std::max<SQLULEN>(size, 1), 0,
                    reinterpret_cast<SQLPOINTER>(value_idx + 1), 0, &lengths[value_idx]));
                !status.ok())
            {
                SQLFreeStmt(m_handle.get(), SQL_RESET_PARAMS);
                return status;
            }
        }
        // The driver only reads the text, whose length it is told.
        auto* text = reinterpret_cast<SQLWCHAR*>(const_cast<char16_t*>(sql.data()));
        SQLRETURN rc = SQLExecDirectW(m_handle.get(), text, static_cast<SQLINTEGER>(sql.size()));
        link_status status;
        while (rc == SQL_NEED_DATA)
        {
            SQLPOINTER token = nullptr;
            rc = SQLParamData(m_handle.get(), &token);
            if (rc != SQL_NEED_DATA)
            {
                break;
            }
            const auto value_idx = reinterpret_cast<std::size_t>(token) - 1;
            if (value_idx >= values.size())
            {
                SQLCancel(m_handle.get());
                status = link_status::failure(E_UNEXPECTED, {});
                break;
            }
            status = put_value(values[value_idx]);
            // Sent: the driver holds the value now.
            values[value_idx] = std::monostate{};
            if (!status.ok())
            {
                SQLCancel(m_handle.get());
                break;
            }
        }
        if (status.ok())
        {
            status = checked(rc);
        }
        return finish_params(std::move(status));
    }

private:
    // The end of a statement with parameters: later results (row counts) may still carry an
    // error of the statement; the cursor and the parameters go.
    link_status finish_params(link_status status)
    {
        while (status.hr == S_OK)
        {
            link_status next = checked(SQLMoreResults(m_handle.get()));
            if (next.hr != S_OK)
            {
                if (!next.ok())
                {
                    status = std::move(next);
                }
                break;
            }
        }
        if (status.hr == S_FALSE)
        {
            status.hr = S_OK;
        }
        SQLFreeStmt(m_handle.get(), SQL_CLOSE);
        SQLFreeStmt(m_handle.get(), SQL_RESET_PARAMS);
        return status;
    }

    // One value of execute_streamed, in pieces of a megabyte; a text's piece never ends between
    // the two halves of a surrogate pair.
    link_status put_value(const load_value& value)
    {
        constexpr std::size_t piece = 1u << 20;
        const std::uint8_t* data = nullptr;
        std::size_t size = 0;
        bool text = false;
        if (const auto* wide = std::get_if<std::u16string>(&value))
        {
            data = reinterpret_cast<const std::uint8_t*>(wide->data());
            size = wide->size() * 2;
            text = true;
        }
        else if (const auto* bytes = std::get_if<std::vector<std::uint8_t>>(&value))
        {
            data = bytes->data();
            size = bytes->size();
        }
        if (size == 0)
        {
            return checked(SQLPutData(m_handle.get(), const_cast<std::uint8_t*>(data), 0));
        }
        for (std::size_t offset = 0; offset < size;)
        {
            std::size_t length = std::min(piece, size - offset);
            if (text && offset + length < size)
            {
                char16_t last = 0;
                std::memcpy(&last, data + offset + length - 2, 2);
                if (last >= 0xD800 && last <= 0xDBFF)
                {
                    length -= 2;
                }
            }
            if (link_status status =
                    checked(SQLPutData(m_handle.get(), const_cast<std::uint8_t*>(data + offset),
                                       static_cast<SQLLEN>(length)));
                !status.ok())
            {
                return status;
            }
            offset += length;
        }
        return {};
    }

    link_status checked(SQLRETURN rc)
    {
        return check(rc, SQL_HANDLE_STMT, m_handle.get(), odbc_call::statement, m_driver_name);
    }

    link_status describe_current()
    {
        m_columns.clear();
        m_described = true;
        SQLSMALLINT count = 0;
        if (link_status status = checked(SQLNumResultCols(m_handle.get(), &count)); !status.ok())
        {
            return status;
        }
        for (SQLUSMALLINT column = 1; column <= count; ++column)
        {
            std::vector<SQLWCHAR> name(256);
            SQLSMALLINT name_length = 0;
            SQLSMALLINT type = 0;
            SQLULEN size = 0;
            SQLSMALLINT digits = 0;
            SQLSMALLINT nullable = SQL_NULLABLE_UNKNOWN;
            link_status status = checked(SQLDescribeColW(
                m_handle.get(), column, name.data(), static_cast<SQLSMALLINT>(name.size()),
                &name_length, &type, &size, &digits, &nullable));
            if (status.ok() && static_cast<std::size_t>(name_length) >= name.size())
            {
                name.resize(static_cast<std::size_t>(name_length) + 1);
                status = checked(SQLDescribeColW(m_handle.get(), column, name.data(),
                                                 static_cast<SQLSMALLINT>(name.size()),
                                                 &name_length, &type, &size, &digits, &nullable));
            }
            if (!status.ok())
            {
                m_columns.clear();
                return status;
            }
            column_desc desc;
            desc.name = from_sqlw(name.data(),
                                  std::min(static_cast<std::size_t>(name_length), name.size() - 1));
            desc.sql_type = type;
            desc.size = size;
            desc.decimal_digits = digits;
            desc.nullable = nullable != SQL_NO_NULLS;
            desc.type_name = text_attribute(column, SQL_DESC_TYPE_NAME);
            SQLLEN is_unsigned = SQL_FALSE;
            if (checked(SQLColAttributeW(m_handle.get(), column, SQL_DESC_UNSIGNED, nullptr, 0,
                                         nullptr, &is_unsigned))
                    .hr == S_OK)
            {
                desc.is_unsigned = is_unsigned == SQL_TRUE;
            }
            SQLLEN auto_unique = SQL_FALSE;
            if (checked(SQLColAttributeW(m_handle.get(), column, SQL_DESC_AUTO_UNIQUE_VALUE,
                                         nullptr, 0, nullptr, &auto_unique))
                    .hr == S_OK)
            {
                desc.auto_unique = auto_unique == SQL_TRUE;
            }
            m_columns.push_back(std::move(desc));
        }
        return {};
    }

    // Descriptive only: a driver that cannot name the type leaves it empty.
    std::wstring text_attribute(SQLUSMALLINT column, SQLUSMALLINT field)
    {
        std::array<SQLWCHAR, 130> text{};
        SQLSMALLINT length = 0;
        if (checked(SQLColAttributeW(m_handle.get(), column, field, text.data(),
                                     static_cast<SQLSMALLINT>(sizeof text), &length, nullptr))
                .hr != S_OK)
        {
            return {};
        }
        const std::size_t chars = std::min(
            static_cast<std::size_t>(std::max<SQLSMALLINT>(length, 0)) / 2, text.size() - 1);
        return from_sqlw(text.data(), chars);
    }

    link_status read_fixed(SQLUSMALLINT column, SQLSMALLINT c_type, void* value, SQLLEN size,
                           bool& is_null)
    {
        SQLLEN indicator = 0;
        link_status status =
            checked(SQLGetData(m_handle.get(), column, c_type, value, size, &indicator));
        is_null = status.ok() && indicator == SQL_NULL_DATA;
        if (status.hr == S_FALSE)
        {
            is_null = true;
            status.hr = S_OK;
        }
        return status;
    }

    // Reads a long value in chunks; `terminator` is the size of the driver's terminator in the
    // buffer (2 for SQL_C_WCHAR, 0 for binary).
    link_status read_chunks(SQLUSMALLINT column, SQLSMALLINT c_type, std::size_t terminator,
                            std::vector<std::uint8_t>& out, bool& is_null)
    {
        out.clear();
        is_null = false;
        std::vector<std::uint8_t> buffer(chunk_bytes);
        for (bool first = true;; first = false)
        {
            SQLLEN indicator = 0;
            const SQLRETURN rc = SQLGetData(m_handle.get(), column, c_type, buffer.data(),
                                            static_cast<SQLLEN>(buffer.size()), &indicator);
            if (rc == SQL_NO_DATA && !first)
            {
                return {};
            }
            link_status status = checked(rc);
            if (!status.ok())
            {
                return status;
            }
            if (status.hr == S_FALSE || indicator == SQL_NULL_DATA)
            {
                is_null = first;
                return {};
            }
            const std::size_t room = buffer.size() - terminator;
            const bool truncated =
                indicator == SQL_NO_TOTAL || static_cast<std::size_t>(indicator) > room;
            const std::size_t got = truncated ? room : static_cast<std::size_t>(indicator);
            out.insert(out.end(), buffer.begin(), buffer.begin() + static_cast<long>(got));
            if (rc == SQL_SUCCESS || !truncated)
            {
                return {};
            }
        }
    }

    link_status read_cell(SQLUSMALLINT column, const column_desc& desc, cell& value)
    {
        bool is_null = false;
        link_status status;
        switch (desc.sql_type)
        {
        case SQL_BIT:
        {
            unsigned char bit = 0;
            status = read_fixed(column, SQL_C_BIT, &bit, sizeof bit, is_null);
            value = std::u16string(bit != 0 ? u"1" : u"0");
            break;
        }
        case SQL_TINYINT:
        case SQL_SMALLINT:
        case SQL_INTEGER:
        case SQL_BIGINT:
            if (desc.is_unsigned && desc.sql_type == SQL_BIGINT)
            {
                SQLUBIGINT number = 0;
                status = read_fixed(column, SQL_C_UBIGINT, &number, sizeof number, is_null);
                value = ascii_to_u16(std::to_string(number));
            }
            else
            {
                SQLBIGINT number = 0;
                status = read_fixed(column, SQL_C_SBIGINT, &number, sizeof number, is_null);
                value = ascii_to_u16(std::to_string(number));
            }
            break;
        case SQL_REAL:
        {
            float number = 0;
            status = read_fixed(column, SQL_C_FLOAT, &number, sizeof number, is_null);
            value = format_float(number);
            break;
        }
        case SQL_FLOAT:
        case SQL_DOUBLE:
        {
            double number = 0;
            status = read_fixed(column, SQL_C_DOUBLE, &number, sizeof number, is_null);
            value = format_double(number);
            break;
        }
        case SQL_TYPE_DATE:
        case SQL_DATE:
        {
            SQL_DATE_STRUCT date{};
            status = read_fixed(column, SQL_C_TYPE_DATE, &date, sizeof date, is_null);
            value = format_date(date.year, date.month, date.day);
            break;
        }
        case SQL_TYPE_TIME:
        case SQL_TIME:
        {
            SQL_TIME_STRUCT time{};
            status = read_fixed(column, SQL_C_TYPE_TIME, &time, sizeof time, is_null);
            value = format_time(time.hour, time.minute, time.second, 0, false);
            break;
        }
        case SQL_TYPE_TIMESTAMP:
        case SQL_TIMESTAMP:
        {
            SQL_TIMESTAMP_STRUCT stamp{};
            status = read_fixed(column, SQL_C_TYPE_TIMESTAMP, &stamp, sizeof stamp, is_null);
            value = format_timestamp(stamp.year, stamp.month, stamp.day, stamp.hour, stamp.minute,
                                     stamp.second, stamp.fraction);
            break;
        }
        case SQL_GUID:
        {
            SQLGUID guid{};
            status = read_fixed(column, SQL_C_GUID, &guid, sizeof guid, is_null);
            value = format_guid(guid.Data1, guid.Data2, guid.Data3, guid.Data4);
            break;
        }
        case SQL_BINARY:
        case SQL_VARBINARY:
        case SQL_LONGVARBINARY:
        {
            std::vector<std::uint8_t> bytes;
            status = read_chunks(column, SQL_C_BINARY, 0, bytes, is_null);
            value = std::move(bytes);
            break;
        }
        default:
        {
            std::vector<std::uint8_t> bytes;
            status = read_chunks(column, SQL_C_WCHAR, sizeof(SQLWCHAR), bytes, is_null);
            std::u16string text(bytes.size() / 2, u'\0');
            if (!text.empty())
            {
                std::memcpy(text.data(), bytes.data(), text.size() * 2);
            }
            value = std::move(text);
            break;
        }
        }
        if (is_null || !status.ok())
        {
            value = std::monostate{};
        }
        return status;
    }

    odbc_handle m_handle;
    std::wstring m_driver_name;
    std::vector<column_desc> m_columns;
    bool m_described = false;
    std::wstring m_prepared;
};

} // namespace

std::unique_ptr<link_statement> make_odbc_statement(odbc_handle handle,
                                                    const std::wstring& driver_name)
{
    return std::make_unique<odbc_statement>(std::move(handle), driver_name);
}

} // namespace plat::oledb
