// udb_decimal_extent.cpp: counting a decimal value's digits and choosing the precision and scale.
#include "udb/udb_decimal_extent.h"

#include "udb/t_ftd.h"

#include <algorithm>

void udb_decimal_extent::add_value(std::string_view text)
{
    if (!text.empty() && (text.front() == '-' || text.front() == '+'))
    {
        text.remove_prefix(1);
    }
    const std::size_t point = text.find('.');
    std::string_view integer = text.substr(0, point);
    const std::string_view fraction =
        point == std::string_view::npos ? std::string_view() : text.substr(point + 1);
    const auto is_digits = [](std::string_view part)
    { return std::all_of(part.begin(), part.end(), [](char c) { return c >= '0' && c <= '9'; }); };
    if ((integer.empty() && fraction.empty()) || !is_digits(integer) || !is_digits(fraction))
    {
        return;
    }
    // Leading zeros are no digits of the value: 0.5 has none before the point.
    integer.remove_prefix(std::min(integer.find_first_not_of('0'), integer.size()));
    integer_digits = std::max(integer_digits, static_cast<std::int32_t>(integer.size()));
    scale = std::max(scale, static_cast<std::int32_t>(fraction.size()));
}

std::int32_t udb_decimal_extent::reserved() const
{
    constexpr int widest = t_ftd::max_decimal_precision;
    if (empty())
    {
        return t_ftd::make_precision_scale(t_ftd::unmeasured_precision, t_ftd::unmeasured_scale);
    }
    if (integer_digits > widest)
    {
        return t_ftd::make_precision_scale(widest, 0);
    }
    const int decimals = std::min(scale, widest - integer_digits);
    return t_ftd::make_precision_scale(std::max(1, integer_digits + decimals), decimals);
}
