// oledb_text.cpp: the fixed text forms of dates, times, GUIDs and floating values.
#include "plat/oledb/oledb_text.h"

#include <charconv>
#include <cstdio>

namespace plat::oledb
{

std::u16string ascii_to_u16(const std::string& text)
{
    return std::u16string(text.begin(), text.end());
}

std::u16string format_date(int year, int month, int day)
{
    char text[32];
    std::snprintf(text, sizeof text, "%04d-%02d-%02d", year, month, day);
    return ascii_to_u16(text);
}

std::u16string format_time(int hour, int minute, int second, std::uint32_t fraction_ns,
                           bool with_fraction)
{
    char text[40];
    if (with_fraction)
    {
        std::snprintf(text, sizeof text, "%02d:%02d:%02d.%07u", hour, minute, second,
                      static_cast<unsigned>(fraction_ns / 100));
    }
    else
    {
        std::snprintf(text, sizeof text, "%02d:%02d:%02d", hour, minute, second);
    }
    return ascii_to_u16(text);
}

std::u16string format_timestamp(int year, int month, int day, int hour, int minute, int second,
                                std::uint32_t fraction_ns)
{
    char text[48];
    std::snprintf(text, sizeof text, "%04d-%02d-%02d %02d:%02d:%02d.%03u", year, month, day, hour,
                  minute, second, static_cast<unsigned>(fraction_ns / 1000000));
    return ascii_to_u16(text);
}

std::u16string format_guid(std::uint32_t data1, std::uint16_t data2, std::uint16_t data3,
                           const std::uint8_t data4[8])
{
    char text[40];
    std::snprintf(text, sizeof text, "{%08X-%04X-%04X-%02X%02X-%02X%02X%02X%02X%02X%02X}",
                  static_cast<unsigned>(data1), data2, data3, data4[0], data4[1], data4[2],
                  data4[3], data4[4], data4[5], data4[6], data4[7]);
    return ascii_to_u16(text);
}

std::u16string format_double(double value)
{
    char text[64];
    const auto result = std::to_chars(text, text + sizeof text, value);
    return ascii_to_u16(std::string(text, result.ptr));
}

std::u16string format_float(float value)
{
    char text[64];
    const auto result = std::to_chars(text, text + sizeof text, value);
    return ascii_to_u16(std::string(text, result.ptr));
}

std::u16string format_hex(const std::uint8_t* bytes, std::size_t size)
{
    static constexpr char16_t digits[] = u"0123456789ABCDEF";
    std::u16string text;
    text.reserve(size * 2);
    for (std::size_t byte_idx = 0; byte_idx < size; ++byte_idx)
    {
        text.push_back(digits[bytes[byte_idx] >> 4]);
        text.push_back(digits[bytes[byte_idx] & 0x0F]);
    }
    return text;
}

} // namespace plat::oledb
