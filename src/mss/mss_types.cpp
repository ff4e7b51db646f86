// mss_types.cpp: SQL Server type names, value range checks, decimal ranges and generated key names.
#include "mss/mss_types.h"

#include "mss/mss_engine.h"
#include "mss/mss_names.h"
#include "plat/plat_fmt.h"
#include "plat/plat_text.h"
#include "tk/tk_exception.h"
#include "tk/tk_logger.h"
#include "udb/udb_value_exception.h"

#include <algorithm>
#include <cmath>
#include <limits>

namespace
{

constexpr int max_nvarchar = 4000;
constexpr int max_varbinary = 8000;
constexpr int max_numeric_precision = 38;
constexpr int max_index_number = 99999;

// "(n) " with its trailing blank, or the bare name for callers that add the size themselves.
std::wstring sized(const wchar_t* type_name, int size, bool type_only)
{
    if (type_only)
    {
        return type_name;
    }
    return type_name + plat::wformat_w(L"(%d) ", size);
}

bool is_time_of_day_only(const SYSTEMTIME& time)
{
    return time.wYear == 0 && time.wMonth == 0 && time.wDay == 0;
}

// The digits of a decimal's text ("-123.456") without sign and point, split at the point.
struct decimal_digits
{
    std::string integer;
    std::string fraction;
};

decimal_digits split_decimal_text(const std::string& text)
{
    decimal_digits digits;
    std::string_view rest(text);
    if (!rest.empty() && (rest.front() == '-' || rest.front() == '+'))
    {
        rest.remove_prefix(1);
    }
    const std::size_t point = rest.find('.');
    digits.integer = std::string(rest.substr(0, point));
    if (point != std::string_view::npos)
    {
        digits.fraction = std::string(rest.substr(point + 1));
    }
    return digits;
}

// Integer digits left once the value is rounded half away from zero to `scale` decimals, as
// SQL Server rounds a literal into a numeric column: 999.996 at scale 2 has four.
int integer_digits_after_rounding(const decimal_digits& digits, int scale)
{
    const std::size_t kept = static_cast<std::size_t>(scale);
    std::string number = digits.integer + digits.fraction.substr(0, kept);
    number.append(kept - std::min(kept, digits.fraction.size()), '0');
    if (digits.fraction.size() > kept && digits.fraction[kept] >= '5')
    {
        std::size_t pos = number.size();
        while (pos > 0 && number[pos - 1] == '9')
        {
            number[--pos] = '0';
        }
        if (pos == 0)
        {
            number.insert(number.begin(), '1');
        }
        else
        {
            ++number[pos - 1];
        }
    }
    std::string integer = number.substr(0, number.size() - kept);
    const std::size_t first = integer.find_first_not_of('0');
    return first == std::string::npos ? 0 : static_cast<int>(integer.size() - first);
}

} // namespace

std::wstring mss_target::get_safe_tname(const std::wstring& name) const
{
    return mss_engine::get_safe_tname(name, user, as_dbo, view_owned);
}

std::wstring get_mss_native_type1(const t_ftd& ftd, bool bTypeOnly, const mss_target& target)
{
    tk_log(2, "get_mss_native_type1(bTypeOnly=%d)", bTypeOnly);
    tk_log(2, "vartype=%08X, size=%d", ftd.vartype, ftd.size);
    switch (ftd.vartype)
    {
    case VT_I2:
    case VT_UI2:
        return L"smallint";
    case VT_I4:
    case VT_UI4:
    case VT_INT:
    case VT_UINT:
        return L"int";
    case VT_R4:
        return L"real";
    case VT_R8:
        return L"float";
    case VT_CY:
        // A currency value holds +-922 trillion; smallmoney would overflow above 214,748.
        return L"money";
    case VT_DATE:
        if (!target.has_date_types())
        {
            return L"datetime";
        }
        if (ftd.dw_reserved == t_ftd::date_only)
        {
            return L"date";
        }
        // Microseconds: as fine as the source's timestamps and the neutral date are, without
        // the 1/300 s steps of datetime.
        if (ftd.dw_reserved == t_ftd::time_only)
        {
            return bTypeOnly ? L"time" : L"time(6)";
        }
        return bTypeOnly ? L"datetime2" : L"datetime2(6)";
    case VT_BSTR:
    {
        if (ftd.is_guid())
        {
            return L"uniqueidentifier";
        }
        const int units = mss_text_column_units(ftd.size);
        if (units > 0)
        {
            return sized(L"nvarchar", units, bTypeOnly);
        }
        return L"nvarchar(max)";
    }
    case VT_BOOL:
        return L"bit";
    case VT_DECIMAL:
        return ftd.get_precision() > max_numeric_precision ? L"float" : L"numeric";
    case VT_I1:
    case VT_UI1:
        return L"tinyint";
    case VT_I8:
    case VT_UI8:
        return L"bigint";
    case VT_BLOB:
    case VT_BLOB_OBJECT:
    case VT_BYTE_ARRAY:
        if (ftd.size > 0 && ftd.size <= max_varbinary)
        {
            return sized(L"varbinary", ftd.size, bTypeOnly);
        }
        return L"varbinary(max)";
    default:
        return L"nvarchar(max)";
    }
}

int mss_decimal_precision(const t_ftd& ftd)
{
    const int precision = ftd.get_precision();
    return precision == 0 ? t_ftd::unmeasured_precision : precision;
}

int mss_decimal_scale(const t_ftd& ftd)
{
    return ftd.get_precision() == 0 ? t_ftd::unmeasured_scale : ftd.get_scale();
}

int mss_text_column_units(int characters)
{
    // A character beyond the basic plane takes two UTF-16 units.
    if (characters <= 0 || characters > max_nvarchar / 2)
    {
        return 0;
    }
    return characters * 2;
}

bool mss_has_wide_date_range(const t_ftd& ftd, const mss_target& target)
{
    return ftd.vartype == VT_DATE && target.has_date_types();
}

void mss_check_value(const ole_variant& value, const t_ftd& ftd, const mss_target& target)
{
    tk_log(1, "mss_check_value");
    const auto refuse = [&](const wchar_t* reason)
    {
        throw udb_value_exception(plat::wformat_w(L"The value '%s' has no form in column %s: %s",
                                                  value.to_wstring(), ftd.name, reason));
    };
    switch (value.get_type())
    {
    case VT_DATE:
    {
        // The calendar fields, not the date number: years 1-99 have no date number.
        const SYSTEMTIME time = value.get_systemtime();
        const bool wide = mss_has_wide_date_range(ftd, target);
        const int first_year = wide ? 1 : 1753;
        if (!is_time_of_day_only(time) && (time.wYear < first_year || time.wYear > 9999))
        {
            refuse(wide ? L"it holds the years 1 to 9999" : L"it holds the years 1753 to 9999");
        }
        break;
    }
    case VT_R8:
    {
        const double number = value.value.dblVal;
        if (!std::isfinite(number))
        {
            refuse(L"a float holds no NaN or infinity");
        }
        if (number != 0 && std::fabs(number) < std::numeric_limits<double>::min())
        {
            refuse(L"a float holds no magnitude below 2.23E-308 but zero");
        }
        break;
    }
    case VT_R4:
    {
        const float number = value.value.fltVal;
        if (!std::isfinite(number))
        {
            refuse(L"a real holds no NaN or infinity");
        }
        if (number != 0 && std::fabs(number) < std::numeric_limits<float>::min())
        {
            refuse(L"a real holds no magnitude below 1.18E-38 but zero");
        }
        break;
    }
    case VT_DECIMAL:
        if (dec_is_out_of_range(value, ftd))
        {
            refuse(L"it has more digits than the column's precision and scale hold");
        }
        break;
    default:
        break;
    }
}

bool dec_is_out_of_range(const ole_variant& field, const t_ftd& ftd)
{
    if (field.get_type() != VT_DECIMAL)
    {
        throw tk_mail_assertion("mss_util", 22);
    }
    const std::string text = field.to_string();
    const decimal_digits digits = split_decimal_text(text);
    tk_log(2, "Got decimal: %s, scale=%d, prec=%d", text, field.value.decVal.scale,
           digits.integer.size() + digits.fraction.size());
    const int precision = mss_decimal_precision(ftd);
    if (precision > max_numeric_precision)
    {
        return false;
    }
    // More decimals than the column keeps would be rounded by the server: a changed value.
    const int scale = mss_decimal_scale(ftd);
    std::string_view fraction = digits.fraction;
    while (!fraction.empty() && fraction.back() == '0')
    {
        fraction.remove_suffix(1);
    }
    if (fraction.size() > static_cast<std::size_t>(scale))
    {
        return true;
    }
    const int integer_room = std::max(precision - scale, 0);
    return integer_digits_after_rounding(digits, scale) > integer_room;
}

std::wstring gen_pk_name(const std::wstring& table_name, bool view_owned)
{
    tk_wlog(1, L"gen_pk_name(%s)", table_name);
    std::wstring table;
    std::wstring owner;
    mss_split_tab_name(table_name, table, owner, view_owned);
    return L"PK_" + (table.empty() ? table_name : table);
}

std::wstring gen_idx_name(const udb_indexes& indexes, const std::vector<std::wstring>& columns)
{
    tk_log(1, "gen_idx_name");
    std::wstring stem = L"UIDX";
    for (const std::wstring& column : columns)
    {
        stem += L"_" + column;
    }
    if (indexes.is_acceptable_name(stem))
    {
        return stem;
    }
    for (int number = 0; number <= max_index_number; ++number)
    {
        std::wstring candidate = stem + plat::wformat_w(L"_%05d", number);
        if (indexes.is_acceptable_name(candidate))
        {
            return candidate;
        }
    }
    throw tk_mail_assertion("mss_util", 750);
}

std::wstring mss_escape_quotes(const std::wstring& text)
{
    std::wstring escaped;
    escaped.reserve(text.size());
    for (const wchar_t c : text)
    {
        escaped += c;
        if (c == L'\'')
        {
            escaped += L'\'';
        }
    }
    return escaped;
}

bool str_starts_with(const std::wstring& text, const std::wstring& prefix, bool case_sensitive)
{
    if (prefix.empty())
    {
        return true;
    }
    if (prefix.size() > text.size())
    {
        return false;
    }
    const std::wstring_view head(text.data(), prefix.size());
    return case_sensitive ? head == prefix : plat::equal_ci(head, prefix);
}

mss_dump_options::mss_dump_options()
{
    tk_log(2, "mss_dump_options::ctor1");
}
