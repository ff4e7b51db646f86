// oledb_text.h: the layer's own text forms of database values, the same whatever the driver.
#pragma once

#include "plat/oledb/oledb_com.h"

#include <cstdint>
#include <string>
#include <string_view>

namespace plat::oledb
{

/// "YYYY-MM-DD".
std::u16string format_date(int year, int month, int day);

/// "hh:mm:ss", with seven fraction digits ("hh:mm:ss.fffffff") when `with_fraction`.
std::u16string format_time(int hour, int minute, int second, std::uint32_t fraction_ns,
                           bool with_fraction);

/// "YYYY-MM-DD hh:mm:ss.fff": milliseconds truncated from the nanosecond fraction, so a value
/// never rounds into the next second.
std::u16string format_timestamp(int year, int month, int day, int hour, int minute, int second,
                                std::uint32_t fraction_ns);

/// "{XXXXXXXX-XXXX-XXXX-XXXX-XXXXXXXXXXXX}" in upper case.
std::u16string format_guid(std::uint32_t data1, std::uint16_t data2, std::uint16_t data3,
                           const std::uint8_t data4[8]);

/// The 16 bytes of a GUID from its text, "xxxxxxxx-xxxx-xxxx-xxxx-xxxxxxxxxxxx" in either
/// case, braced or not; false for any other text (nothing around it, no sign, no "0x").
bool parse_guid(std::string_view text, GUID& guid);
bool parse_guid(std::wstring_view text, GUID& guid);
bool parse_guid(std::u16string_view text, GUID& guid);

/// The shortest text that reads back as the same value, C-locale ("0.1", "1e+20").
std::u16string format_double(double value);
std::u16string format_float(float value);

/// Upper-case hexadecimal text of bytes, two digits a byte.
std::u16string format_hex(const std::uint8_t* bytes, std::size_t size);

/// ASCII text to UTF-16.
std::u16string ascii_to_u16(const std::string& text);

} // namespace plat::oledb
