// pgs_write_types.cpp: the PostgreSQL forms of neutral columns and values for the write side.
#include "pgs/pgs_write_types.h"

#include "ole/ole_date.h"
#include "pgs/pgs_exception.h"
#include "pgs/pgs_types.h"
#include "plat/plat_text.h"
#include "tk/tk_exception.h"
#include "tk/tk_logger.h"
#include "tk/tk_string.h"

#include <charconv>
#include <cmath>
#include <cstdint>
#include <cstdio>

namespace
{

bool is_hex_digit(wchar_t c)
{
    return (c >= L'0' && c <= L'9') || (c >= L'a' && c <= L'f') || (c >= L'A' && c <= L'F');
}

bool is_digit(wchar_t c)
{
    return c >= L'0' && c <= L'9';
}

std::wstring quoted(const std::wstring& text)
{
    return L"'" + tk_wstring::replace_all(text, L"'", L"''") + L"'";
}

// Always printed from the fields, to the microsecond: the text form of a date value stops at
// the millisecond and writes years below 100 as 19xx or 20xx.
std::string iso_text(const SYSTEMTIME& time, unsigned microseconds, int date_kind)
{
    char buffer[64];
    int length = 0;
    if (date_kind == t_ftd::date_only)
    {
        length = std::snprintf(buffer, sizeof buffer, "%04u-%02u-%02u", time.wYear, time.wMonth,
                               time.wDay);
        return std::string(buffer, static_cast<std::size_t>(length));
    }
    const unsigned fraction = time.wMilliseconds * 1000U + microseconds;
    if (date_kind == t_ftd::time_only)
    {
        length = std::snprintf(buffer, sizeof buffer, "%02u:%02u:%02u", time.wHour, time.wMinute,
                               time.wSecond);
    }
    else
    {
        length = std::snprintf(buffer, sizeof buffer, "%04u-%02u-%02u %02u:%02u:%02u", time.wYear,
                               time.wMonth, time.wDay, time.wHour, time.wMinute, time.wSecond);
    }
    std::string text(buffer, static_cast<std::size_t>(length));
    if (fraction != 0)
    {
        length = std::snprintf(buffer, sizeof buffer, ".%06u", fraction);
        text.append(buffer, static_cast<std::size_t>(length));
    }
    return text;
}

int column_date_kind(const t_ftd& column)
{
    if (column.vartype != VT_DATE)
    {
        return t_ftd::date_and_time;
    }
    return column.dw_reserved == t_ftd::date_only || column.dw_reserved == t_ftd::time_only
               ? column.dw_reserved
               : t_ftd::date_and_time;
}

[[noreturn]] void throw_unfit(const std::wstring& text, const t_ftd& column, const char* what)
{
    const std::string message = "The value '" + tk_string::to_utf8(text) + "' of column '" +
                                tk_string::to_utf8(column.name) + "' is not " + what;
    tk_log(3, "%s", message);
    throw pgs_exception(message);
}

// "0x" + hexadecimal digits as "\x" + the digits; nothing for any other text.
std::optional<std::string> hex_text(const std::wstring& text)
{
    if (text.size() < 2 || text[0] != L'0' || (text[1] != L'x' && text[1] != L'X'))
    {
        return std::nullopt;
    }
    for (std::size_t position = 2; position < text.size(); ++position)
    {
        if (!is_hex_digit(text[position]))
        {
            return std::nullopt;
        }
    }
    return "\\x" + tk_string::to_utf8(text.substr(2));
}

} // namespace

std::wstring pgs_column_type(const t_ftd& column)
{
    switch (column.vartype)
    {
    case VT_I2:
    case VT_BOOL:
    case VT_I1:
    case VT_UI1:
        return L"SMALLINT";
    case VT_I4:
    case VT_UI2:
    case VT_INT:
        return L"INTEGER";
    // A single for a single and a double for a double: FLOAT for VT_R4 would take more room
    // than the value has, and REAL for VT_R8 would lose a double's digits.
    case VT_R4:
        return L"REAL";
    case VT_R8:
        return L"DOUBLE PRECISION";
    case VT_CY:
        return L"DECIMAL(19, 4)";
    case VT_DATE:
        if (column.dw_reserved == t_ftd::date_only)
        {
            return L"DATE";
        }
        return column.dw_reserved == t_ftd::time_only ? L"TIME" : L"TIMESTAMP";
    case VT_BSTR:
    case VT_LPWSTR:
        if (column.size >= 1 && column.size <= pgs_max_sized_column)
        {
            tk_log(1, "process as text");
            return L"VARCHAR(" + std::to_wstring(column.size) + L") ";
        }
        return L"TEXT";
    case VT_DECIMAL:
        // A decimal whose reader gave no precision keeps every digit it brings.
        if (column.get_precision() == 0)
        {
            return L"DECIMAL";
        }
        return L"DECIMAL(" + std::to_wstring(column.get_precision()) + L"," +
               std::to_wstring(column.get_scale()) + L")";
    case VT_UI4:
    case VT_I8:
    case VT_UINT:
        return L"BIGINT";
    case VT_UI8:
        // BIGINT stops at 2^63 - 1.
        return L"NUMERIC(20)";
    case VT_BLOB:
    case VT_BLOB_OBJECT:
    case VT_BYTE_ARRAY:
        tk_log(1, "process as binary");
        return L"BYTEA";
    default:
        throw tk_mail_assertion("pgs_util", 78);
    }
}

std::wstring to_pgs_str(const std::wstring& text, VARTYPE vartype, int date_kind)
{
    tk_wlog(1, L"to_pgs_str(%s,%d,%d)", text, vartype, date_kind);
    if (text.empty())
    {
        return vartype == VT_BSTR ? L"''" : L"NULL";
    }
    if (vartype == VT_DATE)
    {
        const ole_date date(text);
        if (!date.is_valid())
        {
            return {};
        }
        if (date_kind == t_ftd::time_only || date.kind == ole_date::kind_time)
        {
            tk_log(2, "Null date has been found");
            return quoted(plat::utf8_to_wide_lossy(iso_text(date.systemtime, 0, t_ftd::time_only)));
        }
        return quoted(plat::utf8_to_wide_lossy(
            iso_text(date.systemtime, 0,
                     date_kind == t_ftd::date_only ? t_ftd::date_only : t_ftd::date_and_time)));
    }
    if (ole_variant::is_blob_vartype(vartype))
    {
        tk_log(1, "GOT BLOB");
        if (text.size() <= 1 || !is_digit(text[0]))
        {
            return L"''";
        }
        const bool hex = text[1] == L'x' || text[1] == L'X';
        if ((hex && text[0] != L'0') || (!hex && !is_digit(text[1])))
        {
            return L"''";
        }
        for (std::size_t position = 2; position < text.size(); ++position)
        {
            if (hex ? !is_hex_digit(text[position]) : !is_digit(text[position]))
            {
                return L"''";
            }
        }
        tk_log(1, "BLOB IS VALID");
        return L"DECODE('" + text.substr(2) + L"','hex')";
    }
    // Only a number goes in bare: any other text would be read as SQL.
    if (vartype == VT_BSTR || !pgs_is_plain_number(tk_string::to_utf8(text)))
    {
        return quoted(text);
    }
    return text;
}

std::optional<std::string> pgs_value_text(const ole_variant& value, const t_ftd& column)
{
    const VARTYPE kind = value.get_type();
    if (kind == VT_EMPTY || kind == VT_NULL)
    {
        return std::nullopt;
    }
    if (kind == VT_DATE)
    {
        return iso_text(value.systemtime, value.microseconds, column_date_kind(column));
    }
    if (kind == VT_BYTE_ARRAY)
    {
        const std::uint8_t* bytes = nullptr;
        const std::size_t count = value.get_bytes(bytes);
        static const char digits[] = "0123456789abcdef";
        std::string text = "\\x";
        text.reserve(2 + 2 * count);
        for (std::size_t position = 0; position < count; ++position)
        {
            text += digits[bytes[position] >> 4];
            text += digits[bytes[position] & 0x0F];
        }
        return text;
    }
    if (kind == VT_R8 || kind == VT_R4)
    {
        const double number = kind == VT_R8 ? value.value.dblVal : value.value.fltVal;
        if (std::isnan(number))
        {
            return "NaN";
        }
        if (std::isinf(number))
        {
            return number < 0 ? "-Infinity" : "Infinity";
        }
    }
    if (column.vartype == VT_DATE && kind == VT_BSTR)
    {
        const ole_date date(value.to_wstring());
        if (!date.is_valid())
        {
            throw_unfit(value.to_wstring(), column, "a date");
        }
        return iso_text(date.systemtime, 0,
                        date.kind == ole_date::kind_time ? t_ftd::time_only
                                                         : column_date_kind(column));
    }
    if (ole_variant::is_blob_vartype(column.vartype) && kind == VT_BSTR)
    {
        auto bytes = hex_text(value.to_wstring());
        if (!bytes)
        {
            throw_unfit(value.to_wstring(), column, "binary text (0x and hexadecimal digits)");
        }
        return bytes;
    }
    return value.to_string();
}

std::wstring pgs_value_literal(const ole_variant& value, const t_ftd& column)
{
    const std::optional<std::string> text = pgs_value_text(value, column);
    if (!text)
    {
        return L"NULL";
    }
    if (value.get_type() == VT_BYTE_ARRAY || ole_variant::is_blob_vartype(column.vartype))
    {
        return L"DECODE('" + plat::utf8_to_wide_lossy(text->substr(2)) + L"','hex')";
    }
    // A quoted literal takes the column's type, numbers included.
    return quoted(value.get_type() == VT_BSTR ? value.to_wstring()
                                              : plat::utf8_to_wide_lossy(*text));
}

std::wstring to_pgs_str(const udb_field& field)
{
    tk_log(1, "to_pgs_str");
    t_ftd column;
    column.name = field.name();
    column.vartype = field.get_type();
    return pgs_value_literal(field, column);
}

std::wstring make_pgs_def_val(const t_ftd& column)
{
    const std::wstring text = column.default_value.to_wstring();
    tk_wlog(1, L"make_pgs_def_val(%s)", text);
    if (text.empty())
    {
        tk_log(1, "Got empty def value");
        return {};
    }
    const std::string narrow = tk_string::to_utf8(text);
    switch (column.vartype)
    {
    case VT_I2:
    case VT_I4:
    case VT_BOOL:
    case VT_I1:
    case VT_UI1:
    case VT_UI2:
    case VT_UI4:
    case VT_INT:
    case VT_UINT:
    {
        std::int32_t number = 0;
        const auto [end, error] =
            std::from_chars(narrow.data(), narrow.data() + narrow.size(), number);
        if (error != std::errc() || end != narrow.data() + narrow.size() ||
            std::to_string(number) != narrow)
        {
            return {};
        }
        return text;
    }
    case VT_R4:
    case VT_R8:
    case VT_CY:
    case VT_DECIMAL:
        // Pasted into the statement as it stands, so it must be one whole number.
        return pgs_is_plain_number(narrow) ? text : std::wstring();
    case VT_DATE:
    {
        tk_log(1, "Got DATE def value");
        const std::wstring printed = ole_date(text).to_wstring(true);
        tk_wlog(1, L"After canonization: %s", printed);
        if (printed.empty())
        {
            return {};
        }
        return to_pgs_str(printed, VT_DATE, column_date_kind(column));
    }
    case VT_BSTR:
    {
        tk_wlog(1, L"Got BSTR or DATE def value: %s", text);
        std::wstring cut = text;
        if (column.size > 0 && cut.size() > static_cast<std::size_t>(column.size))
        {
            cut.resize(static_cast<std::size_t>(column.size));
        }
        return to_pgs_str(cut, VT_BSTR, 1);
    }
    default:
        return {};
    }
}

void pgs_append_copy_field(std::string& line, const std::optional<std::string>& text)
{
    if (!text)
    {
        line += "\\N";
        return;
    }
    for (const char c : *text)
    {
        switch (c)
        {
        case '\\':
            line += "\\\\";
            break;
        case '\t':
            line += "\\t";
            break;
        case '\n':
            line += "\\n";
            break;
        case '\r':
            line += "\\r";
            break;
        default:
            line += c;
            break;
        }
    }
}
