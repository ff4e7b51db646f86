// plat_fmt.cpp: printf-dialect formatting over tagged arguments, always in the C locale.
#include "plat/plat_fmt.h"

#include "plat/plat_text.h"

#include <clocale>
#include <cstdio>
#include <locale.h>
#include <vector>

namespace plat
{

fmt_arg::fmt_arg(bool value)
    : m_size(sizeof(int))
    , m_signed(value ? 1 : 0)
{
}

fmt_arg::fmt_arg(char value)
    : m_kind(kind::character)
    , m_text(1, value)
{
}

fmt_arg::fmt_arg(wchar_t value)
    : m_kind(kind::character)
    , m_text(wide_to_utf8(std::wstring_view(&value, 1)))
{
}

fmt_arg::fmt_arg(double value)
    : m_kind(kind::floating)
    , m_double(value)
{
}

fmt_arg::fmt_arg(const char* text)
    : m_kind(kind::text)
    , m_text(text != nullptr ? text : "(null)")
{
}

fmt_arg::fmt_arg(const std::string& text)
    : m_kind(kind::text)
    , m_text(text)
{
}

fmt_arg::fmt_arg(std::string_view text)
    : m_kind(kind::text)
    , m_text(text)
{
}

fmt_arg::fmt_arg(const wchar_t* text)
    : m_kind(kind::text)
    , m_text(text != nullptr ? wide_to_utf8(text) : "(null)")
{
}

fmt_arg::fmt_arg(const std::wstring& text)
    : m_kind(kind::text)
    , m_text(wide_to_utf8(text))
{
}

fmt_arg::fmt_arg(std::wstring_view text)
    : m_kind(kind::text)
    , m_text(wide_to_utf8(text))
{
}

fmt_arg::fmt_arg(const void* pointer)
    : m_kind(kind::pointer)
    , m_pointer(pointer)
{
}

long long fmt_arg::as_signed() const
{
    switch (m_kind)
    {
    case kind::signed_int:
        return m_signed;
    case kind::unsigned_int:
        // Reinterpreted at the argument's own width, as C's %d does with an unsigned value.
        switch (m_size)
        {
        case 1:
            return static_cast<signed char>(m_unsigned);
        case 2:
            return static_cast<short>(m_unsigned);
        case 4:
            return static_cast<int>(m_unsigned);
        default:
            return static_cast<long long>(m_unsigned);
        }
    case kind::floating:
        return static_cast<long long>(m_double);
    case kind::character:
        return m_text.empty() ? 0 : static_cast<unsigned char>(m_text[0]);
    case kind::pointer:
        return static_cast<long long>(reinterpret_cast<std::uintptr_t>(m_pointer));
    case kind::text:
        break;
    }
    return 0;
}

unsigned long long fmt_arg::as_unsigned() const
{
    if (m_kind == kind::signed_int)
    {
        switch (m_size)
        {
        case 1:
            return static_cast<unsigned char>(m_signed);
        case 2:
            return static_cast<unsigned short>(m_signed);
        case 4:
            return static_cast<unsigned int>(m_signed);
        default:
            return static_cast<unsigned long long>(m_signed);
        }
    }
    if (m_kind == kind::unsigned_int)
    {
        return m_unsigned;
    }
    return static_cast<unsigned long long>(as_signed());
}

double fmt_arg::as_double() const
{
    switch (m_kind)
    {
    case kind::floating:
        return m_double;
    case kind::unsigned_int:
        return static_cast<double>(m_unsigned);
    default:
        return static_cast<double>(as_signed());
    }
}

namespace
{

// Switches the calling thread to the C locale for the duration of one formatting call.
class c_locale_scope
{
public:
    c_locale_scope()
    {
        static const locale_t c_locale =
            ::newlocale(LC_ALL_MASK, "C", static_cast<locale_t>(nullptr));
        m_previous = ::uselocale(c_locale);
    }
    ~c_locale_scope() { ::uselocale(m_previous); }
    c_locale_scope(const c_locale_scope&) = delete;
    c_locale_scope& operator=(const c_locale_scope&) = delete;

private:
    locale_t m_previous;
};

template <class... Values>
void append_printf(std::string& out, const std::string& spec, Values... values)
{
    char buffer[128];
    const int length = std::snprintf(buffer, sizeof buffer, spec.c_str(), values...);
    if (length < 0)
    {
        return;
    }
    if (static_cast<std::size_t>(length) < sizeof buffer)
    {
        out.append(buffer, static_cast<std::size_t>(length));
        return;
    }
    std::vector<char> large(static_cast<std::size_t>(length) + 1);
    std::snprintf(large.data(), large.size(), spec.c_str(), values...);
    out.append(large.data(), static_cast<std::size_t>(length));
}

// Width and precision of a string count characters, not UTF-8 bytes.
void append_text(std::string& out, const std::string& text, bool left, int width, int precision)
{
    std::wstring chars = utf8_to_wide_lossy(text);
    if (precision >= 0 && chars.size() > static_cast<std::size_t>(precision))
    {
        chars.resize(static_cast<std::size_t>(precision));
    }
    const std::string body = precision >= 0 ? wide_to_utf8(chars) : text;
    const std::size_t pad =
        width > 0 && chars.size() < static_cast<std::size_t>(width) ? width - chars.size() : 0;
    if (!left)
    {
        out.append(pad, ' ');
    }
    out += body;
    if (left)
    {
        out.append(pad, ' ');
    }
}

bool is_flag(char c)
{
    return c == '-' || c == '+' || c == ' ' || c == '#' || c == '0';
}

// The arguments in order; one asked for past the last reads as null.
class arg_cursor
{
public:
    arg_cursor(const fmt_arg* begin, const fmt_arg* end)
        : m_next(begin)
        , m_end(end)
    {
    }
    const fmt_arg* take() { return m_next != m_end ? m_next++ : nullptr; }

private:
    const fmt_arg* m_next;
    const fmt_arg* m_end;
};

// Flags, width and precision of one conversion as the format gives them.
struct conversion_spec
{
    std::string flags;
    int width = -1;
    int precision = -1;

    bool left() const { return flags.find('-') != std::string::npos; }
    // "%" with the flags, width and precision, for snprintf to finish with a conversion.
    std::string printf_prefix() const
    {
        std::string spec = "%" + flags;
        if (width >= 0)
        {
            spec += std::to_string(width);
        }
        if (precision >= 0)
        {
            spec += "." + std::to_string(precision);
        }
        return spec;
    }
};

int read_number(std::string_view format, std::size_t& pos, int start)
{
    int value = start;
    while (pos < format.size() && format[pos] >= '0' && format[pos] <= '9')
    {
        value = (value < 0 ? 0 : value * 10) + (format[pos] - '0');
        ++pos;
    }
    return value;
}

// The thousands flag "'" is read and dropped: the C locale has no grouping.
void read_flags(std::string_view format, std::size_t& pos, conversion_spec& spec)
{
    while (pos < format.size() && (is_flag(format[pos]) || format[pos] == '\''))
    {
        if (format[pos] != '\'')
        {
            spec.flags += format[pos];
        }
        ++pos;
    }
}

// A negative width from an argument means left alignment, as in printf.
void read_width(std::string_view format, std::size_t& pos, arg_cursor& args, conversion_spec& spec)
{
    if (pos < format.size() && format[pos] == '*')
    {
        const fmt_arg* arg = args.take();
        spec.width = arg != nullptr ? static_cast<int>(arg->as_signed()) : -1;
        if (spec.width < 0 && spec.width != -1)
        {
            spec.flags += '-';
            spec.width = -spec.width;
        }
        ++pos;
        return;
    }
    spec.width = read_number(format, pos, -1);
}

void read_precision(std::string_view format, std::size_t& pos, arg_cursor& args,
                    conversion_spec& spec)
{
    if (pos >= format.size() || format[pos] != '.')
    {
        return;
    }
    ++pos;
    if (pos < format.size() && format[pos] == '*')
    {
        const fmt_arg* arg = args.take();
        spec.precision = arg != nullptr ? static_cast<int>(arg->as_signed()) : -1;
        ++pos;
        return;
    }
    spec.precision = read_number(format, pos, 0);
}

// Length modifiers of either dialect; the argument's own type decides instead.
void skip_length_modifiers(std::string_view format, std::size_t& pos)
{
    while (pos < format.size())
    {
        if (format.substr(pos, 3) == "I64" || format.substr(pos, 3) == "I32")
        {
            pos += 3;
        }
        else if (std::string_view("hlLqjztIw").find(format[pos]) != std::string_view::npos)
        {
            ++pos;
        }
        else
        {
            break;
        }
    }
}

// %d %i %u %x %X %o: a text argument is written as text.
void append_integer(std::string& out, const conversion_spec& spec, char conversion,
                    const fmt_arg& arg)
{
    if (arg.get_kind() == fmt_arg::kind::text)
    {
        append_text(out, arg.text(), spec.left(), spec.width, spec.precision);
    }
    else if (conversion == 'd' || conversion == 'i')
    {
        append_printf(out, spec.printf_prefix() + "lld", arg.as_signed());
    }
    else
    {
        append_printf(out, spec.printf_prefix() + "ll" + conversion, arg.as_unsigned());
    }
}

// %c %C: a character argument, or a number taken as a code point; a text argument writes
// nothing but the padding.
void append_character(std::string& out, const conversion_spec& spec, const fmt_arg& arg)
{
    std::string text;
    if (arg.get_kind() == fmt_arg::kind::character || arg.get_kind() == fmt_arg::kind::text)
    {
        text = arg.text().substr(0, arg.get_kind() == fmt_arg::kind::text ? 0 : 4);
    }
    else
    {
        const auto code = static_cast<wchar_t>(arg.as_unsigned());
        text = wide_to_utf8(std::wstring_view(&code, 1));
    }
    append_text(out, text, spec.left(), spec.width, -1);
}

// %s %S %Z: text as it is; a number in its plain form, without the width.
void append_string(std::string& out, const conversion_spec& spec, const fmt_arg& arg)
{
    if (arg.get_kind() == fmt_arg::kind::text || arg.get_kind() == fmt_arg::kind::character)
    {
        append_text(out, arg.text(), spec.left(), spec.width, spec.precision);
    }
    else if (arg.get_kind() == fmt_arg::kind::floating)
    {
        append_printf(out, std::string("%g"), arg.as_double());
    }
    else if (arg.get_kind() == fmt_arg::kind::unsigned_int)
    {
        append_printf(out, std::string("%llu"), arg.as_unsigned());
    }
    else
    {
        append_printf(out, std::string("%lld"), arg.as_signed());
    }
}

void append_pointer(std::string& out, const conversion_spec& spec, const fmt_arg& arg)
{
    append_printf(
        out, spec.printf_prefix() + "p",
        arg.get_kind() == fmt_arg::kind::pointer
            ? arg.pointer()
            : reinterpret_cast<const void*>(static_cast<std::uintptr_t>(arg.as_unsigned())));
}

bool is_conversion(char conversion)
{
    return std::string_view("diuxXofFeEgGaAcCsSZpn").find(conversion) != std::string_view::npos;
}

// Writes one known conversion; each takes one argument, and a missing argument writes nothing.
void append_conversion(std::string& out, char conversion, const conversion_spec& spec,
                       arg_cursor& args)
{
    const fmt_arg* arg = args.take();
    if (arg == nullptr)
    {
        return;
    }
    switch (conversion)
    {
    case 'd':
    case 'i':
    case 'u':
    case 'x':
    case 'X':
    case 'o':
        append_integer(out, spec, conversion, *arg);
        break;
    case 'c':
    case 'C':
        append_character(out, spec, *arg);
        break;
    case 's':
    case 'S':
    case 'Z':
        append_string(out, spec, *arg);
        break;
    case 'p':
        append_pointer(out, spec, *arg);
        break;
    case 'n':
        break;
    default:
        append_printf(out, spec.printf_prefix() + conversion, arg->as_double());
        break;
    }
}

} // namespace

std::string vformat(std::string_view format, std::initializer_list<fmt_arg> args)
{
    c_locale_scope locale_scope;
    std::string out;
    out.reserve(format.size() + 16);
    arg_cursor cursor(args.begin(), args.end());
    std::size_t pos = 0;
    while (pos < format.size())
    {
        if (format[pos] != '%')
        {
            out += format[pos++];
            continue;
        }
        const std::size_t spec_start = pos++;
        if (pos < format.size() && format[pos] == '%')
        {
            out += '%';
            ++pos;
            continue;
        }
        conversion_spec spec;
        read_flags(format, pos, spec);
        read_width(format, pos, cursor, spec);
        read_precision(format, pos, cursor, spec);
        skip_length_modifiers(format, pos);
        if (pos >= format.size())
        {
            out.append(format.substr(spec_start));
            break;
        }
        const char conversion = format[pos++];
        if (is_conversion(conversion))
        {
            append_conversion(out, conversion, spec, cursor);
        }
        else
        {
            out.append(format.substr(spec_start, pos - spec_start));
        }
    }
    return out;
}

} // namespace plat
