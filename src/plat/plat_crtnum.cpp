// plat_crtnum.cpp: number reading with the Windows C runtime's results in the "C" locale.
#include "plat/plat_crtnum.h"

#include <climits>
#include <clocale>
#include <cstdlib>
#include <locale.h>
#include <string>

namespace plat
{

namespace
{

bool is_space(char c)
{
    return c == ' ' || (c >= '\t' && c <= '\r');
}

// The "C" locale object, created once; a GUI toolkit may change the process locale at any time.
locale_t c_numeric_locale()
{
    static const locale_t locale = ::newlocale(LC_ALL_MASK, "C", static_cast<locale_t>(nullptr));
    return locale;
}

} // namespace

crt_integer crt_read_integer(std::string_view text)
{
    crt_integer result;
    std::size_t pos = 0;
    while (pos < text.size() && is_space(text[pos]))
    {
        ++pos;
    }
    if (pos < text.size() && (text[pos] == '+' || text[pos] == '-'))
    {
        result.negative = text[pos] == '-';
        ++pos;
    }
    for (; pos < text.size() && text[pos] >= '0' && text[pos] <= '9'; ++pos)
    {
        result.has_digits = true;
        const auto digit = static_cast<std::uint64_t>(text[pos] - '0');
        if (result.magnitude > (UINT64_MAX - digit) / 10)
        {
            result.overflow = true;
            result.magnitude = UINT64_MAX;
        }
        else if (!result.overflow)
        {
            result.magnitude = result.magnitude * 10 + digit;
        }
    }
    if (!result.has_digits)
    {
        result.negative = false;
    }
    return result;
}

int ms_atoi(std::string_view text)
{
    const crt_integer value = crt_read_integer(text);
    if (value.negative)
    {
        return value.overflow || value.magnitude > 2147483648ULL
                   ? INT_MIN
                   : static_cast<int>(-static_cast<long long>(value.magnitude));
    }
    return value.overflow || value.magnitude > 2147483647ULL ? INT_MAX
                                                             : static_cast<int>(value.magnitude);
}

double ms_atof(std::string_view text)
{
    const std::string copy(text);
    return ::strtod_l(copy.c_str(), nullptr, c_numeric_locale());
}

} // namespace plat
