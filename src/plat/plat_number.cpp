// plat_number.cpp: exact decimal numbers as digit strings (parse, round, print).
#include "plat/plat_number.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <system_error>

namespace plat
{

namespace
{

bool is_blank(wchar_t c)
{
    return c == L' ' || c == L'\t' || c == L'\r' || c == L'\n';
}

bool is_digit(wchar_t c)
{
    return c >= L'0' && c <= L'9';
}

// Exponents beyond this only ever mean overflow or zero; capping keeps the arithmetic in int.
constexpr long long exponent_cap = 1000000;

constexpr uint128 pow10_38()
{
    uint128 value = 1;
    for (int power = 0; power < 38; ++power)
    {
        value *= 10;
    }
    return value;
}

} // namespace

bool parse_number(std::wstring_view text, exact_number& out)
{
    std::size_t pos = 0;
    std::size_t end = text.size();
    while (pos < end && is_blank(text[pos]))
    {
        ++pos;
    }
    while (end > pos && is_blank(text[end - 1]))
    {
        --end;
    }
    exact_number result;
    if (pos < end && (text[pos] == L'+' || text[pos] == L'-'))
    {
        result.negative = text[pos] == L'-';
        ++pos;
    }
    std::string mantissa;
    long long fraction_digits = 0;
    bool any_digit = false;
    while (pos < end)
    {
        const wchar_t c = text[pos];
        if (is_digit(c))
        {
            mantissa.push_back(static_cast<char>(c));
            any_digit = true;
            ++pos;
        }
        else if (c == L',' && any_digit && pos + 1 < end && is_digit(text[pos + 1]))
        {
            ++pos; // a group separator between digits
        }
        else
        {
            break;
        }
    }
    if (pos < end && text[pos] == L'.')
    {
        ++pos;
        while (pos < end && is_digit(text[pos]))
        {
            mantissa.push_back(static_cast<char>(text[pos]));
            ++fraction_digits;
            any_digit = true;
            ++pos;
        }
    }
    if (!any_digit)
    {
        return false;
    }
    long long exponent = 0;
    if (pos < end && (text[pos] == L'e' || text[pos] == L'E'))
    {
        ++pos;
        bool exponent_negative = false;
        if (pos < end && (text[pos] == L'+' || text[pos] == L'-'))
        {
            exponent_negative = text[pos] == L'-';
            ++pos;
        }
        if (pos == end || !is_digit(text[pos]))
        {
            return false;
        }
        while (pos < end && is_digit(text[pos]))
        {
            exponent = std::min(exponent * 10 + (text[pos] - L'0'), exponent_cap);
            ++pos;
        }
        if (exponent_negative)
        {
            exponent = -exponent;
        }
    }
    if (pos != end)
    {
        return false;
    }
    const std::size_t first = mantissa.find_first_not_of('0');
    if (first == std::string::npos)
    {
        mantissa.clear();
    }
    else
    {
        mantissa.erase(0, first);
    }
    result.digits = std::move(mantissa);
    result.exponent = static_cast<int>(
        std::clamp(exponent - fraction_digits, -4 * exponent_cap, 4 * exponent_cap));
    out = std::move(result);
    return true;
}

bool round_to_scale(const exact_number& number, int scale, uint128& count)
{
    const std::string& digits = number.digits;
    if (digits.empty())
    {
        count = 0;
        return true;
    }
    const long long digit_count = static_cast<long long>(digits.size());
    const long long shift = static_cast<long long>(number.exponent) + scale;
    uint128 value = 0;
    if (shift >= 0)
    {
        if (digit_count + shift > 38)
        {
            return false;
        }
        for (const char digit : digits)
        {
            value = value * 10 + static_cast<unsigned>(digit - '0');
        }
        for (long long power = 0; power < shift; ++power)
        {
            value *= 10;
        }
        count = value;
        return true;
    }
    const long long kept = digit_count + shift;
    if (kept > 38)
    {
        return false;
    }
    for (long long idx = 0; idx < kept; ++idx)
    {
        value = value * 10 + static_cast<unsigned>(digits[static_cast<std::size_t>(idx)] - '0');
    }
    // With kept < 0 the number is below a tenth of the unit and rounds to zero.
    if (kept >= 0)
    {
        const char first_dropped = digits[static_cast<std::size_t>(kept)];
        bool up = first_dropped > '5';
        if (first_dropped == '5')
        {
            const bool beyond_half = digits.find_first_not_of('0', static_cast<std::size_t>(kept) +
                                                                       1) != std::string::npos;
            up = beyond_half || (value & 1) != 0;
        }
        if (up)
        {
            ++value;
        }
    }
    if (value >= pow10_38())
    {
        return false;
    }
    count = value;
    return true;
}

exact_number exact_from_scaled(bool negative, uint128 magnitude, int scale)
{
    exact_number result;
    result.negative = negative && magnitude != 0;
    if (magnitude != 0)
    {
        result.digits = uint128_digits(magnitude);
    }
    result.exponent = -scale;
    return result;
}

exact_number exact_from_double(double value, int significant)
{
    exact_number result;
    char buffer[64];
    const auto [ptr, ec] = std::to_chars(buffer, buffer + sizeof buffer, value,
                                         std::chars_format::scientific, significant - 1);
    if (ec != std::errc() || !std::isfinite(value))
    {
        return result;
    }
    const std::string_view text(buffer, static_cast<std::size_t>(ptr - buffer));
    std::size_t pos = 0;
    if (text[pos] == '-')
    {
        result.negative = true;
        ++pos;
    }
    const std::size_t e_pos = text.find('e');
    for (; pos < e_pos; ++pos)
    {
        if (text[pos] != '.')
        {
            result.digits.push_back(text[pos]);
        }
    }
    int exponent = 0;
    const char* exp_begin = text.data() + e_pos + 1;
    if (*exp_begin == '+')
    {
        ++exp_begin;
    }
    std::from_chars(exp_begin, text.data() + text.size(), exponent);
    result.exponent = exponent - (significant - 1);
    while (!result.digits.empty() && result.digits.back() == '0')
    {
        result.digits.pop_back();
        ++result.exponent;
    }
    const std::size_t first = result.digits.find_first_not_of('0');
    if (first == std::string::npos)
    {
        result = exact_number{};
    }
    return result;
}

HRESULT exact_to_double(const exact_number& number, double& out)
{
    if (number.digits.empty())
    {
        out = 0.0;
        return S_OK;
    }
    const std::string text = number.digits + "e" + std::to_string(number.exponent);
    double value = 0;
    const auto [ptr, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
    (void)ptr;
    if (ec == std::errc::result_out_of_range)
    {
        const long long magnitude =
            static_cast<long long>(number.digits.size()) + static_cast<long long>(number.exponent);
        if (magnitude > 0)
        {
            return DISP_E_OVERFLOW;
        }
        value = 0.0;
    }
    else if (ec != std::errc())
    {
        return DISP_E_TYPEMISMATCH;
    }
    out = number.negative ? -value : value;
    return S_OK;
}

std::wstring exact_to_text(const exact_number& number)
{
    std::string digits = number.digits;
    long long exponent = number.exponent;
    while (exponent < 0 && !digits.empty() && digits.back() == '0')
    {
        digits.pop_back();
        ++exponent;
    }
    if (digits.empty())
    {
        return L"0";
    }
    std::string text;
    if (exponent >= 0)
    {
        text = digits + std::string(static_cast<std::size_t>(exponent), '0');
    }
    else
    {
        const long long point = static_cast<long long>(digits.size()) + exponent;
        if (point <= 0)
        {
            text = "0." + std::string(static_cast<std::size_t>(-point), '0') + digits;
        }
        else
        {
            text = digits.substr(0, static_cast<std::size_t>(point)) + "." +
                   digits.substr(static_cast<std::size_t>(point));
        }
    }
    if (number.negative)
    {
        text.insert(text.begin(), '-');
    }
    return std::wstring(text.begin(), text.end());
}

std::string uint128_digits(uint128 value)
{
    if (value == 0)
    {
        return "0";
    }
    std::string digits;
    while (value != 0)
    {
        digits.push_back(static_cast<char>('0' + static_cast<int>(value % 10)));
        value /= 10;
    }
    std::reverse(digits.begin(), digits.end());
    return digits;
}

} // namespace plat
