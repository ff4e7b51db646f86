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

namespace
{

template <class Char>
bool parse_guid_text(std::basic_string_view<Char> text, GUID& guid)
{
    if (text.size() == 38 && text.front() == Char('{') && text.back() == Char('}'))
    {
        text = text.substr(1, 36);
    }
    if (text.size() != 36)
    {
        return false;
    }
    std::uint8_t bytes[16] = {};
    std::size_t byte_idx = 0;
    for (std::size_t pos = 0; pos < text.size();)
    {
        if (pos == 8 || pos == 13 || pos == 18 || pos == 23)
        {
            if (text[pos] != Char('-'))
            {
                return false;
            }
            ++pos;
            continue;
        }
        int value = 0;
        for (int half = 0; half < 2; ++half, ++pos)
        {
            const auto c = static_cast<char32_t>(text[pos]);
            const int digit = c >= U'0' && c <= U'9'   ? static_cast<int>(c - U'0')
                              : c >= U'a' && c <= U'f' ? static_cast<int>(c - U'a') + 10
                              : c >= U'A' && c <= U'F' ? static_cast<int>(c - U'A') + 10
                                                       : -1;
            if (digit < 0)
            {
                return false;
            }
            value = value * 16 + digit;
        }
        bytes[byte_idx++] = static_cast<std::uint8_t>(value);
    }
    guid.Data1 = (std::uint32_t{bytes[0]} << 24) | (std::uint32_t{bytes[1]} << 16) |
                 (std::uint32_t{bytes[2]} << 8) | bytes[3];
    guid.Data2 = static_cast<std::uint16_t>((bytes[4] << 8) | bytes[5]);
    guid.Data3 = static_cast<std::uint16_t>((bytes[6] << 8) | bytes[7]);
    for (int data_idx = 0; data_idx < 8; ++data_idx)
    {
        guid.Data4[data_idx] = bytes[8 + data_idx];
    }
    return true;
}

} // namespace

bool parse_guid(std::string_view text, GUID& guid)
{
    return parse_guid_text(text, guid);
}

bool parse_guid(std::wstring_view text, GUID& guid)
{
    return parse_guid_text(text, guid);
}

bool parse_guid(std::u16string_view text, GUID& guid)
{
    return parse_guid_text(text, guid);
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
