// mss_literals.cpp: T-SQL literals for field values written by INSERT and UPDATE statements.
#include "mss/mss_types.h"
#include "ole/ole_date.h"
#include "plat/plat_fmt.h"
#include "plat/plat_text.h"
#include "tk/tk_exception.h"
#include "tk/tk_logger.h"
#include "udb/udb_custom_conversion.h"
#include "udb/udb_value_exception.h"

#include <algorithm>
#include <cmath>

namespace
{

bool is_digit(wchar_t c)
{
    return c >= L'0' && c <= L'9';
}

bool is_hex_digit(wchar_t c)
{
    return is_digit(c) || (c >= L'a' && c <= L'f') || (c >= L'A' && c <= L'F');
}

bool all_of(std::wstring_view text, bool (*test)(wchar_t))
{
    return std::all_of(text.begin(), text.end(), test);
}

// A number as T-SQL reads it bare: sign, digits with an optional point, optional exponent.
bool is_number_text(std::wstring_view text)
{
    std::size_t pos = 0;
    if (pos < text.size() && (text[pos] == L'-' || text[pos] == L'+'))
    {
        ++pos;
    }
    std::size_t digits = 0;
    for (; pos < text.size() && is_digit(text[pos]); ++pos)
    {
        ++digits;
    }
    if (pos < text.size() && text[pos] == L'.')
    {
        for (++pos; pos < text.size() && is_digit(text[pos]); ++pos)
        {
            ++digits;
        }
    }
    if (digits == 0)
    {
        return false;
    }
    if (pos < text.size() && (text[pos] == L'e' || text[pos] == L'E'))
    {
        ++pos;
        if (pos < text.size() && (text[pos] == L'-' || text[pos] == L'+'))
        {
            ++pos;
        }
        const std::size_t exponent_start = pos;
        while (pos < text.size() && is_digit(text[pos]))
        {
            ++pos;
        }
        if (pos == exponent_start)
        {
            return false;
        }
    }
    return pos == text.size();
}

bool is_numeric_vartype(VARTYPE vt)
{
    switch (vt)
    {
    case VT_I2:
    case VT_I4:
    case VT_R4:
    case VT_R8:
    case VT_CY:
    case VT_BOOL:
    case VT_DECIMAL:
    case VT_I1:
    case VT_UI1:
    case VT_UI2:
    case VT_UI4:
    case VT_I8:
    case VT_UI8:
    case VT_INT:
    case VT_UINT:
        return true;
    default:
        return false;
    }
}

std::wstring text_literal(const std::wstring& text, bool unicode)
{
    return (unicode ? L"N'" : L"'") + mss_escape_quotes(text) + L"'";
}

// 'YYYYMMDD[ hh:mm:ss[.mmm|.ffffff]]': the unseparated form is read the same under every language
// and DATEFORMAT setting. Years print as they are (0001, not 2001). Microseconds within the
// millisecond print six digits; without them the three of the milliseconds do, which datetime
// (no finer than 1/300 s) reads too.
std::wstring date_literal(const SYSTEMTIME& time, std::uint16_t microseconds)
{
    std::wstring text;
    if (time.wYear == 0 && time.wMonth == 0 && time.wDay == 0)
    {
        tk_log(2, "Null date has been found");
        text = L"18991230";
    }
    else
    {
        text = plat::wformat_w(L"%04d%02d%02d", time.wYear, time.wMonth, time.wDay);
        if (time.wHour == 0 && time.wMinute == 0 && time.wSecond == 0 && time.wMilliseconds == 0 &&
            microseconds == 0)
        {
            return L"'" + text + L"'";
        }
    }
    text += plat::wformat_w(L" %02d:%02d:%02d", time.wHour, time.wMinute, time.wSecond);
    if (microseconds != 0)
    {
        text += plat::wformat_w(L".%03d%03d", time.wMilliseconds, microseconds);
    }
    else if (time.wMilliseconds != 0)
    {
        text += plat::wformat_w(L".%03d", time.wMilliseconds);
    }
    return L"'" + text + L"'";
}

std::wstring hex_of(const std::string& bytes)
{
    static constexpr wchar_t digits[] = L"0123456789ABCDEF";
    std::wstring hex = L"0x";
    for (const char c : bytes)
    {
        const auto byte = static_cast<unsigned char>(c);
        hex += digits[byte >> 4];
        hex += digits[byte & 0x0F];
    }
    return hex;
}

std::wstring blob_literal(const std::wstring& text)
{
    tk_log(1, "GOT BLOB!!!");
    if (text.size() == 1)
    {
        return {};
    }
    const std::wstring_view rest = std::wstring_view(text).substr(2);
    if (text[0] == L'0' && (text[1] == L'x' || text[1] == L'X') && all_of(rest, is_hex_digit))
    {
        return text;
    }
    if (all_of(text, is_digit))
    {
        return text;
    }
    // PostgreSQL's hex form of binary text.
    if (text[0] == L'\\' && (text[1] == L'x' || text[1] == L'X') && all_of(rest, is_hex_digit))
    {
        return L"0x" + std::wstring(rest);
    }
    // Anything else is written as its own bytes: never pasted into the statement.
    return hex_of(plat::wide_to_utf8(text));
}

// The literal of a value written into a column of kind `vt` (the value's own kind for a field,
// the column's for a default). Dates and floating values are printed from the value itself:
// their text forms lose years below 100 and digits. Microseconds go only to a target with the
// newer date types: datetime refuses text finer than milliseconds.
std::wstring value_literal(const ole_variant& value, VARTYPE vt, const mss_target& target)
{
    const bool unicode = target.unicode;
    const VARTYPE kind = value.get_type();
    if (kind == VT_DATE && vt == VT_DATE)
    {
        return date_literal(value.get_systemtime(),
                            target.has_date_types() ? value.microseconds : std::uint16_t{0});
    }
    const bool negative_zero =
        (kind == VT_R8 && value.value.dblVal == 0 && std::signbit(value.value.dblVal)) ||
        (kind == VT_R4 && value.value.fltVal == 0 && std::signbit(value.value.fltVal));
    if (negative_zero && kind == vt)
    {
        // "-0" and "-0e0" may be read as the number 0; a float zero negated keeps its sign, as
        // the bulk load keeps it.
        return kind == VT_R8 ? L"-CAST(0 AS float)" : L"-CAST(0 AS real)";
    }
    if (kind == VT_R8 && vt == VT_R8)
    {
        return plat::wformat_w(L"%.17g", value.value.dblVal);
    }
    if (kind == VT_R4 && vt == VT_R4)
    {
        return plat::wformat_w(L"%.9g", static_cast<double>(value.value.fltVal));
    }
    if (kind == VT_BYTE_ARRAY && ole_variant::is_blob_vartype(vt) && value.value.parray.empty())
    {
        return L"0x"; // an empty binary value is not NULL
    }
    return to_mssql_str(value.to_wstring(), vt, unicode);
}

} // namespace

std::wstring to_mssql_str(const std::wstring& text, VARTYPE vt, bool unicode)
{
    tk_wlog(1, L"to_mssql_str(%s), unicode=%d", text, unicode);
    if (vt == VT_DATE)
    {
        // '' would silently become 1900-01-01 in a datetime column: no text is no date.
        if (text.empty())
        {
            return L"NULL";
        }
        const ole_date date(text);
        if (!date.is_valid())
        {
            throw udb_value_exception(L"The text '" + text + L"' is no date");
        }
        return date_literal(date.systemtime, 0);
    }
    if (text.empty())
    {
        return L"''";
    }
    // No GUID is picked out of a text or a blob: a text of 45 characters or more holding
    // "guid" or "GUID" and then "{" would become only that braced GUID (a blob only the GUID's
    // hex digits), the rest of the value lost. Every value is written whole.
    if (ole_variant::is_blob_vartype(vt))
    {
        return blob_literal(text);
    }
    if (is_numeric_vartype(vt) && is_number_text(text))
    {
        return text;
    }
    // Text, and anything that claims a number's kind but is not one, is quoted.
    return text_literal(text, unicode);
}

std::wstring mss_get_fld_append_str(const ole_variant* field, const t_ftd* ftd,
                                    const mss_target& target)
{
    tk_log(1, "mss_get_fld_append_str");
    if (field == nullptr)
    {
        throw tk_mail_assertion("mss_util", 75);
    }
    if (ftd == nullptr)
    {
        throw tk_mail_assertion("mss_util", 76);
    }
    const VARTYPE vt = field->get_type();
    if (tk_log_on(2))
    {
        // The text of a byte array is its hex dump: built only for a line that is written.
        tk_wlog(2, L"Got initial string: %s", field->to_wstring());
    }
    if (udb_custom_conversion::is_acceptable2(*field))
    {
        return udb_custom_conversion::handle2(*field);
    }
    if (vt == VT_EMPTY || vt == VT_NULL)
    {
        // Never a default or an empty literal in its place: for a NOT NULL column the server
        // refuses the row, and the row's failure is reported.
        tk_log(1, "Put NULL-field");
        return L"NULL";
    }
    mss_check_value(*field, *ftd, target);
    const std::wstring literal = value_literal(*field, vt, target);
    tk_wlog(1, L"Got string: %s", literal);
    if (literal.empty() || (vt != VT_BSTR && literal == L"''"))
    {
        // '' would be read as 0 or 1900-01-01: an invented value.
        throw udb_value_exception(plat::wformat_w(L"The value '%s' has no literal for column %s",
                                                  field->to_wstring(), ftd->name));
    }
    return literal;
}
