// mss_exact_text.h: the strict readers of text bound for a column of an existing table: a text
// is one number, one date or time, or one GUID as a whole, or it is none.
#pragma once

#include "plat/plat_date.h"

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

/// A decimal number as sign, whole digits without leading zeros and fraction digits without
/// trailing zeros ("-0012.50" is -, "12", "5"; zero is "", "" and never negative).
struct mss_decimal_parts
{
    bool negative = false;
    std::string integer;
    std::string fraction;

    /// The plain decimal text: "-12.5", "0.25", "0".
    std::string text() const;
};

/// `text` read whole as one number: blanks (space, tab) around it, an optional sign, digits with
/// an optional point that has digits on at least one side, and, when `with_exponent`, an optional
/// exponent (e or E, an optional sign, digits). nullopt for anything else: a thousands separator,
/// a decimal comma, letters, a second number.
std::optional<mss_decimal_parts> mss_read_number(std::wstring_view text, bool with_exponent);

/// The same for narrow ASCII text (the shortest form of a float, a decimal's own text).
std::optional<mss_decimal_parts> mss_read_number(std::string_view text, bool with_exponent);

/// A date, a time of day or both as read from text; a time of day alone has year, month and day
/// 0.
struct mss_text_date
{
    SYSTEMTIME time{};
    /// The microseconds within the millisecond.
    std::uint16_t microseconds = 0;
};

/// `text` read whole, blanks around it allowed, as a time of day alone: "HH:MM" or "HH:MM:SS"
/// with 1 to 6 fractional digits of seconds after a point.
std::optional<mss_text_date> mss_read_time_of_day(std::wstring_view text);

/// `text` read whole, blanks around it allowed, as "YYYY-MM-DD" optionally followed by a blank
/// or "T" and a time of day as above. No zone offset, no other order of the fields.
std::optional<mss_text_date> mss_read_date(std::wstring_view text);

/// `text` read whole, blanks around it allowed, as a GUID in its 36-character form, with or
/// without braces: the 36 characters without braces.
std::optional<std::wstring> mss_read_guid(std::wstring_view text);
