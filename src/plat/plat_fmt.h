// plat_fmt.h: type-safe formatting of the system's printf-dialect texts (wide %s = wide string).
#pragma once

#include "plat/plat_text.h"

#include <cstdint>
#include <initializer_list>
#include <string>
#include <string_view>
#include <type_traits>

namespace plat
{

/// One formatting argument, tagged with its kind; strings are held as UTF-8.
class fmt_arg
{
public:
    enum class kind
    {
        signed_int,
        unsigned_int,
        floating,
        text,
        character,
        pointer
    };

    template <class T>
    requires std::is_integral_v<T> &&(!std::is_same_v<T, bool>)&&(!std::is_same_v<T, char>)&&(
        !std::is_same_v<T, wchar_t>)fmt_arg(T value)
    {
        m_size = sizeof(T);
        if constexpr (std::is_signed_v<T>)
        {
            m_kind = kind::signed_int;
            m_signed = static_cast<long long>(value);
        }
        else
        {
            m_kind = kind::unsigned_int;
            m_unsigned = static_cast<unsigned long long>(value);
        }
    }
    fmt_arg(bool value);
    fmt_arg(char value);
    fmt_arg(wchar_t value);
    fmt_arg(double value);
    fmt_arg(const char* text);
    fmt_arg(const std::string& text);
    fmt_arg(std::string_view text);
    fmt_arg(const wchar_t* text);
    fmt_arg(const std::wstring& text);
    fmt_arg(std::wstring_view text);
    fmt_arg(const void* pointer);

    kind get_kind() const { return m_kind; }
    long long as_signed() const;
    unsigned long long as_unsigned() const;
    double as_double() const;
    const std::string& text() const { return m_text; }
    const void* pointer() const { return m_pointer; }
    /// The byte size of an integer argument, for printing it as C would (-1 with %X is FFFFFFFF).
    std::size_t size() const { return m_size; }

private:
    kind m_kind = kind::signed_int;
    std::size_t m_size = sizeof(long long);
    long long m_signed = 0;
    unsigned long long m_unsigned = 0;
    double m_double = 0;
    std::string m_text; // UTF-8 for text and character kinds
    const void* m_pointer = nullptr;
};

/// Formats `format` (UTF-8) with the arguments. Conversions follow printf (flags, width,
/// precision, `*`); length modifiers (h, l, ll, I64, I32, z ...) are accepted and ignored, since
/// each argument carries its own type. Strings of either width print as UTF-8; a missing argument
/// prints nothing; numbers always use C-locale rules. Never throws for a bad format.
std::string vformat(std::string_view format, std::initializer_list<fmt_arg> args);

/// Narrow dialect.
template <class... Args>
std::string format(const char* format_text, const Args&... args)
{
    return vformat(format_text, {fmt_arg(args)...});
}

/// Wide dialect (%s takes a wide string, but narrow ones are accepted too); the result is UTF-8.
template <class... Args>
std::string wformat(const wchar_t* format_text, const Args&... args)
{
    return vformat(fmt_arg(format_text).text(), {fmt_arg(args)...});
}

/// Wide dialect with a wide result.
template <class... Args>
std::wstring wformat_w(const wchar_t* format_text, const Args&... args)
{
    return utf8_to_wide_lossy(wformat(format_text, args...));
}

} // namespace plat
