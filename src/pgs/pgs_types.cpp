// pgs_types.cpp: PostgreSQL type names, default literals, date text and qualified names.
#include "pgs/pgs_types.h"

#include "plat/plat_text.h"
#include "tk/tk_logger.h"
#include "udb/t_ftd.h"

#include <algorithm>
#include <array>
#include <cctype>
#include <string_view>

namespace
{

struct type_entry
{
    std::string_view name;
    VARTYPE vartype;
};

// Order matters only where a name would appear twice; the first match decides.
constexpr std::array<type_entry, 44> type_table{{
    {"bool", VT_BOOL},
    {"time_stamp", VT_DATE},
    {"timestamp", VT_DATE},
    {"timestampz", VT_DATE},
    {"abstime", VT_DATE},
    {"date", VT_DATE},
    {"time without time zone", VT_DATE},
    {"time", VT_DATE},
    {"timestamp without time zone", VT_DATE},
    {"timestamp with time zone", VT_DATE},
    {"boolean", VT_BOOL},
    {"character varying", VT_BSTR},
    {"\"char\"", VT_BSTR},
    {"character_data", VT_BSTR},
    {"char", VT_BSTR},
    {"text", VT_BSTR},
    {"bit", VT_BSTR},
    {"xml", VT_BSTR},
    {"macaddt", VT_BSTR},
    {"bigint", VT_I8},
    {"bigserial", VT_I8},
    {"int8", VT_I8},
    {"integer", VT_I4},
    {"int4", VT_I4},
    {"serial", VT_I4},
    {"smallint", VT_I2},
    {"int2", VT_I2},
    {"float4", VT_R4},
    {"real", VT_R8},
    {"money", VT_DECIMAL},
    {"numeric", VT_DECIMAL},
    {"double precision", VT_R8},
    {"anyarray", VT_BSTR},
    {"cardinal_number", VT_BSTR},
    {"interval", VT_BSTR},
    {"name", VT_BSTR},
    {"oid", VT_BSTR},
    {"cid", VT_BSTR},
    {"xid", VT_BSTR},
    {"tid", VT_BSTR},
    {"uuid", VT_BSTR},
    {"oidvector", VT_BSTR},
    {"bytea", VT_BLOB},
    {"inet", VT_BSTR},
}};

// In the fixed locale: under the process locale a Turkish "I" would not match "i".
bool equal_no_case(std::string_view a, std::string_view b)
{
    return plat::equal_ci(a, b);
}

// What may follow a literal: one or more casts such as ::character varying(20) or ::text[].
bool is_cast_chain(std::string_view rest)
{
    if (rest.empty())
    {
        return true;
    }
    if (rest.substr(0, 2) != "::")
    {
        return false;
    }
    for (const char c : rest)
    {
        const bool allowed = std::isalnum(static_cast<unsigned char>(c)) != 0 || c == '_' ||
                             c == ' ' || c == ':' || c == '"' || c == '.' || c == '[' || c == ']' ||
                             c == '(' || c == ')' || c == ',';
        if (!allowed)
        {
            return false;
        }
    }
    return true;
}

// A decimal number as PostgreSQL prints a constant: sign, digits, fraction, exponent.
std::size_t number_length(std::string_view text)
{
    std::size_t pos = 0;
    if (pos < text.size() && (text[pos] == '-' || text[pos] == '+'))
    {
        ++pos;
    }
    const std::size_t digits_start = pos;
    while (pos < text.size() && std::isdigit(static_cast<unsigned char>(text[pos])) != 0)
    {
        ++pos;
    }
    std::size_t digit_count = pos - digits_start;
    if (pos < text.size() && text[pos] == '.')
    {
        ++pos;
        const std::size_t fraction_start = pos;
        while (pos < text.size() && std::isdigit(static_cast<unsigned char>(text[pos])) != 0)
        {
            ++pos;
        }
        digit_count += pos - fraction_start;
    }
    if (digit_count == 0)
    {
        return 0;
    }
    if (pos < text.size() && (text[pos] == 'e' || text[pos] == 'E'))
    {
        std::size_t exponent = pos + 1;
        if (exponent < text.size() && (text[exponent] == '-' || text[exponent] == '+'))
        {
            ++exponent;
        }
        const std::size_t exponent_digits = exponent;
        while (exponent < text.size() &&
               std::isdigit(static_cast<unsigned char>(text[exponent])) != 0)
        {
            ++exponent;
        }
        if (exponent > exponent_digits)
        {
            pos = exponent;
        }
    }
    return pos;
}

// Exactly `count` digits at `pos` as a number; false when one is missing.
bool read_digits(std::string_view text, std::size_t& pos, std::size_t count, int& out)
{
    if (pos + count > text.size())
    {
        return false;
    }
    int value = 0;
    for (std::size_t digit = 0; digit < count; ++digit)
    {
        const char c = text[pos + digit];
        if (c < '0' || c > '9')
        {
            return false;
        }
        value = value * 10 + (c - '0');
    }
    pos += count;
    out = value;
    return true;
}

bool read_char(std::string_view text, std::size_t& pos, char expected)
{
    if (pos < text.size() && text[pos] == expected)
    {
        ++pos;
        return true;
    }
    return false;
}

// "hh:mm:ss" (00:00:00 to 23:59:59) and an optional fraction: its first three digits in the
// milliseconds, the next three in `microseconds`; the server prints no more than six.
bool read_time(std::string_view text, std::size_t& pos, SYSTEMTIME& out,
               std::uint16_t& microseconds)
{
    int hour = 0;
    int minute = 0;
    int second = 0;
    if (!read_digits(text, pos, 2, hour) || !read_char(text, pos, ':') ||
        !read_digits(text, pos, 2, minute) || !read_char(text, pos, ':') ||
        !read_digits(text, pos, 2, second) || hour > 23 || minute > 59 || second > 59)
    {
        // 24:00:00, which a time column of the server may hold, is no time of day here.
        return false;
    }
    int fraction = 0; // in microseconds
    if (read_char(text, pos, '.'))
    {
        int digits = 0;
        while (pos < text.size() && text[pos] >= '0' && text[pos] <= '9')
        {
            if (digits < 6)
            {
                fraction = fraction * 10 + (text[pos] - '0');
            }
            ++digits;
            ++pos;
        }
        if (digits == 0)
        {
            return false;
        }
        for (; digits < 6; ++digits)
        {
            fraction *= 10;
        }
    }
    out.wHour = static_cast<std::uint16_t>(hour);
    out.wMinute = static_cast<std::uint16_t>(minute);
    out.wSecond = static_cast<std::uint16_t>(second);
    out.wMilliseconds = static_cast<std::uint16_t>(fraction / 1000);
    microseconds = static_cast<std::uint16_t>(fraction % 1000);
    return true;
}

std::string_view trimmed(std::string_view text)
{
    while (!text.empty() && std::isspace(static_cast<unsigned char>(text.front())) != 0)
    {
        text.remove_prefix(1);
    }
    while (!text.empty() && std::isspace(static_cast<unsigned char>(text.back())) != 0)
    {
        text.remove_suffix(1);
    }
    return text;
}

} // namespace

const char pgs_output_settings_sql[] =
    "SET LOCAL TimeZone = 'UTC'; SET LOCAL DateStyle = 'ISO, YMD';"
    " SET LOCAL IntervalStyle = 'postgres'; SET LOCAL extra_float_digits = 3;"
    " SET LOCAL bytea_output = 'hex'";

const char pgs_row_security_sql[] = "SET LOCAL row_security = off";

bool pgs_is_plain_number(std::string_view text)
{
    return !text.empty() && number_length(text) == text.size();
}

VARTYPE pgs_get_vartype(const std::string& type_name)
{
    tk_log(1, "pgs_get_vartype(%s)", type_name);
    for (const type_entry& entry : type_table)
    {
        if (entry.name == type_name)
        {
            return entry.vartype;
        }
    }
    return VT_BSTR;
}

std::int32_t pgs_column_reserved(const std::string& type_name, int numeric_precision,
                                 int scale_bits, int money_scale)
{
    if (type_name == "money")
    {
        return t_ftd::make_precision_scale(pgs_money_precision, money_scale);
    }
    if (type_name == "numeric")
    {
        // Without a declared precision the values decide it: 0 until they are measured.
        return numeric_precision >= 1
                   ? pgs_decimal_reserved(numeric_precision, pgs_numeric_scale(scale_bits))
                   : 0;
    }
    return pgs_reserved_of(type_name);
}

int pgs_numeric_scale(int modifier_low_bits)
{
    return ((modifier_low_bits & 0x7FF) ^ 0x400) - 0x400;
}

std::int32_t pgs_decimal_reserved(int precision, int scale)
{
    const int whole_digits = std::max(precision - scale, 0);
    int decimals = std::max(scale, 0);
    int digits = whole_digits + decimals;
    if (digits > pgs_max_decimal_precision)
    {
        digits = pgs_max_decimal_precision;
        decimals = std::min(decimals, pgs_max_decimal_precision);
    }
    return t_ftd::make_precision_scale(digits, decimals);
}

int pgs_date_kind(const std::string& type_name)
{
    if (type_name == "time_stamp" || type_name == "timestamp" || type_name == "timestampz" ||
        type_name == "timestamp without time zone" || type_name == "timestamp with time zone")
    {
        return t_ftd::date_and_time;
    }
    if (type_name == "date")
    {
        return t_ftd::date_only;
    }
    if (type_name == "abstime" || type_name == "time" || type_name == "time without time zone")
    {
        return t_ftd::time_only;
    }
    return 0;
}

int pgs_reserved_of(const std::string& type_name)
{
    return type_name == "uuid" ? t_ftd::guid_column : pgs_date_kind(type_name);
}

std::optional<std::string> pgs_default_literal(const std::string& default_text, bool date_column)
{
    const std::string_view text = trimmed(default_text);
    if (text.empty())
    {
        return std::nullopt;
    }
    if (text.front() == '\'')
    {
        std::string literal;
        std::size_t pos = 1;
        while (pos < text.size())
        {
            if (text[pos] == '\'')
            {
                if (pos + 1 < text.size() && text[pos + 1] == '\'')
                {
                    literal += '\'';
                    pos += 2;
                    continue;
                }
                return is_cast_chain(text.substr(pos + 1)) ? std::optional<std::string>(literal)
                                                           : std::nullopt;
            }
            literal += text[pos++];
        }
        return std::nullopt; // no closing quote
    }
    const std::size_t length = number_length(text);
    if (length > 0)
    {
        if (is_cast_chain(text.substr(length)))
        {
            return std::string(text.substr(0, length));
        }
        return std::nullopt;
    }
    if (text == "true" || text == "false")
    {
        return std::string(text);
    }
    if (date_column)
    {
        for (const std::string_view now_form :
             {"now()", "CURRENT_TIMESTAMP", "LOCALTIMESTAMP", "CURRENT_DATE", "('now'::text)::date",
              "('now'::text)::timestamp without time zone",
              "('now'::text)::timestamp with time zone", "transaction_timestamp()"})
        {
            if (equal_no_case(text, now_form))
            {
                return std::string("CURRENT_TIMESTAMP");
            }
        }
    }
    return std::nullopt;
}

bool pgs_parse_date_time(std::string_view text, SYSTEMTIME& out)
{
    std::uint16_t microseconds = 0;
    return pgs_parse_date_time(text, out, microseconds);
}

bool pgs_parse_date_time(std::string_view text, SYSTEMTIME& out, std::uint16_t& microseconds)
{
    SYSTEMTIME time{};
    std::uint16_t sub_millisecond = 0;
    std::size_t pos = 0;
    if (text.size() > 2 && text[2] == ':')
    {
        if (!read_time(text, pos, time, sub_millisecond) || pos != text.size())
        {
            return false;
        }
        out = time;
        microseconds = sub_millisecond;
        return true;
    }
    // The year has four digits or more (up to 294276), then "-MM-DD".
    std::size_t year_end = 0;
    while (year_end < text.size() && text[year_end] >= '0' && text[year_end] <= '9')
    {
        ++year_end;
    }
    int year = 0;
    int month = 0;
    int day = 0;
    if (year_end < 4 || year_end > 5 || !read_digits(text, pos, year_end, year) || year > 65535 ||
        !read_char(text, pos, '-') || !read_digits(text, pos, 2, month) ||
        !read_char(text, pos, '-') || !read_digits(text, pos, 2, day))
    {
        return false;
    }
    time.wYear = static_cast<std::uint16_t>(year);
    time.wMonth = static_cast<std::uint16_t>(month);
    time.wDay = static_cast<std::uint16_t>(day);
    if (pos < text.size() &&
        (!read_char(text, pos, ' ') || !read_time(text, pos, time, sub_millisecond)))
    {
        return false;
    }
    if (text.substr(pos) != "" && text.substr(pos) != "+00")
    {
        return false;
    }
    out = time;
    microseconds = sub_millisecond;
    return true;
}

std::pair<std::wstring, std::wstring> pgs_split_name(const std::wstring& name)
{
    tk_wlog(1, L"pgs_split_name(%s)", name);
    std::wstring body = name;
    std::wstring separator = L".";
    if (name.size() >= 2 && name.front() == L'"' && name.back() == L'"')
    {
        tk_log(1, "Name is enclosed in double quotes");
        body = name.substr(1, name.size() - 2);
        separator = L"\".\"";
    }
    else
    {
        tk_log(1, "Name is NOT enclosed in double quotes");
    }
    const std::size_t pos = body.find(separator);
    if (pos == std::wstring::npos)
    {
        tk_log(1, "Prepare default schema for simple name (table only)");
        return {L"public", body};
    }
    std::wstring schema = body.substr(0, pos);
    tk_log(1, "Getting schema for composed name");
    tk_wlog(1, L"schema=%s", schema);
    return {std::move(schema), body.substr(pos + separator.size())};
}

ole_variant pgs_get_variant(VARTYPE vartype, const char* text)
{
    tk_log(1, "pgs_get_variant(char)");
    if (text == nullptr)
    {
        return {};
    }
    tk_log(1, "Type=%d, src=%s", vartype, text);
    if (vartype == VT_BOOL)
    {
        const std::string_view word = trimmed(text);
        for (const std::string_view yes : {"true", "t", "yes", "on", "1"})
        {
            if (equal_no_case(word, yes))
            {
                return ole_variant(true);
            }
        }
        for (const std::string_view no : {"false", "f", "no", "off", "0"})
        {
            if (equal_no_case(word, no))
            {
                return ole_variant(false);
            }
        }
    }
    ole_variant value;
    value.from_string(text, vartype);
    return value;
}
