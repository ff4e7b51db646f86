// ole_variant.h: the field value: one column value of one row, its text forms and its changes of
// kind.
#pragma once

#include "plat/plat_variant.h"

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

/// One column value of one row, whatever engine it came from or goes to. The kind is always
/// `value.vt`. 64-bit integers live in the side fields (the VARIANT holds only the kind); a date
/// holds both `systemtime` and the VARIANT's date number. Byte arrays have the kind
/// VT_ARRAY | VT_UI1. Values are held and passed by value; each owns its text or array.
/// Every operation writes its name to the trace log at level 1.
class ole_variant
{
public:
    /// The value when the kind is VT_I8.
    std::int64_t i64_value = 0;
    /// The value when the kind is VT_UI8.
    std::uint64_t u64_value = 0;
    /// The value when the kind is VT_DATE; all zero otherwise.
    SYSTEMTIME systemtime{};
    /// The microseconds within `systemtime.wMilliseconds` (0-999) when the kind is VT_DATE; 0
    /// otherwise. SYSTEMTIME stops at milliseconds, the source and target engines do not.
    std::uint16_t microseconds = 0;
    /// The kind and, for every kind but VT_I8 and VT_UI8, the value.
    VARIANT value;
    /// The exact text of a VT_DECIMAL value with more digits than the 96-bit DECIMAL holds
    /// ("-123456789012345678901234567890.12": digits with an optional sign and point); empty
    /// otherwise. `value.decVal` is zero while it is set: the text is the value.
    std::string decimal_text;

    /// VT_EMPTY.
    ole_variant() = default;
    /// VT_DATE; a time the date number cannot hold (a time alone, an impossible day) keeps the
    /// fields and the number 0.
    ole_variant(const SYSTEMTIME& time);
    /// The same with the microseconds within the millisecond; throws tk_mail_assertion for a
    /// value above 999, which belongs in the milliseconds.
    ole_variant(const SYSTEMTIME& time, std::uint16_t sub_millisecond);
    ole_variant(CY currency);
    ole_variant(const DECIMAL& decimal);
    /// VT_BOOL, -1 for true.
    ole_variant(bool flag);
    ole_variant(char number);
    ole_variant(signed char number);
    ole_variant(unsigned char number);
    ole_variant(short number);
    ole_variant(unsigned short number);
    ole_variant(int number);
    ole_variant(unsigned int number);
    /// VT_I8 / VT_UI8 for every 64-bit type.
    ole_variant(long number);
    ole_variant(long long number);
    ole_variant(unsigned long number);
    ole_variant(unsigned long long number);
    ole_variant(float number);
    ole_variant(double number);
    /// A byte array holding a copy of `count` bytes; throws tk_mail_assertion for null bytes.
    ole_variant(std::size_t count, const std::uint8_t* bytes);
    /// VT_BSTR holding the whole string (zero characters included).
    ole_variant(const std::wstring& text);
    ole_variant(const wchar_t* text);
    /// from_string: throws ole_type_exception as from_string does.
    ole_variant(const std::string& text, VARTYPE vt);
    /// from_wstring: throws ole_type_exception as from_string does.
    ole_variant(const std::wstring& text, VARTYPE vt);
    /// A narrow text alone would silently become a bool; say the kind instead.
    ole_variant(const char* text) = delete;

    ole_variant(const ole_variant& other);
    ole_variant(ole_variant&& other) noexcept = default;
    ole_variant& operator=(const ole_variant& other);
    ole_variant& operator=(ole_variant&& other) noexcept = default;
    virtual ~ole_variant() = default;

    /// The system's text form of the value (see the .cpp for the form of each kind); empty for
    /// VT_EMPTY, VT_NULL and kinds without one.
    virtual std::string to_string() const;
    /// The same as wide text; a BSTR gives its characters up to the first zero character.
    virtual std::wstring to_wstring() const;

    VARTYPE get_type() const { return value.vt; }

    /// Replaces the value by the VT_DECIMAL of `text` (an optional sign, digits, an optional
    /// point and digits): in the DECIMAL when it holds the number exactly, else as its text.
    /// False, and the value unchanged, for anything else.
    bool set_decimal_text(std::string_view text);
    /// Replaces the value by a BSTR copy of `text`.
    void set_bstr(const std::wstring& text);
    /// Replaces the value by a BSTR of the UTF-8 text (invalid bytes become U+FFFD).
    void attach_string(const std::string& text);
    /// Replaces the value by a BSTR of the whole string.
    void attach_wstring(const std::wstring& text);
    /// Replaces the value by a byte array holding a copy of the bytes.
    void attach_binary(const std::vector<std::uint8_t>& bytes);
    /// The same from a pointer; throws tk_mail_assertion for null bytes with a non-zero count.
    void attach_binary(std::size_t count, const std::uint8_t* bytes);
    /// Makes the value a byte array of `count` bytes: an existing array keeps its leading bytes
    /// (new ones are zero), any other value is replaced by zeroes.
    void allocate_safe_array(std::size_t count);
    /// The byte count of a byte array and, in `data`, its bytes (writable in the second form);
    /// 0 and null for VT_EMPTY and VT_NULL; throws tk_mail_assertion for other kinds.
    std::size_t get_bytes(const std::uint8_t*& data) const;
    std::size_t get_bytes(std::uint8_t*& data);

    /// `systemtime` for VT_DATE, all zero for other kinds.
    SYSTEMTIME get_systemtime() const;
    /// The value as a 32-bit integer: floating values truncated toward zero, decimals rounded
    /// half to even (0 when out of range); other values beyond the range clamp to it. Throws
    /// tk_mail_assertion for kinds without a number (text, date, currency, ...).
    std::int32_t to_long() const;
    /// The value as a double; throws tk_mail_assertion for kinds without a number.
    double to_double() const;
    /// False for empty values and zero; a VT_BOOL is true only when it holds -1. Throws
    /// tk_mail_assertion for kinds without a truth value.
    bool to_bool() const;

    /// Replaces the value by `text` read as kind `vt`. Empty text gives VT_EMPTY (an empty BSTR
    /// for VT_BSTR). Text that is not a valid currency, decimal, date or hexadecimal byte text
    /// gives VT_EMPTY and a log line. Throws ole_type_exception for an integer beyond the kind's
    /// range and for text the other kinds cannot read.
    void from_string(const std::string& text, VARTYPE vt);
    /// The same for wide text; VT_BSTR keeps the text up to its first zero character.
    void from_wstring(const std::wstring& text, VARTYPE vt);
    /// Changes the value to kind `vt` in place; VT_EMPTY and VT_NULL stay as they are. Throws
    /// ole_cast_exception when the value has no form in that kind or lies outside its range.
    void change_type(VARTYPE vt);

    /// VT_BSTR and VT_DATE: the kinds written as quoted text in SQL.
    static bool is_quoted_vartype(VARTYPE vt);
    /// VT_BLOB, VT_BLOB_OBJECT and byte arrays.
    static bool is_blob_vartype(VARTYPE vt);

private:
    void reset();
    void set_date(const SYSTEMTIME& time);
    void set_integer_text(const std::string& text, VARTYPE vt);
    void set_hex_text(const std::string& text);
    void set_from_decimal_text(VARTYPE vt);
    void set_from_64(VARTYPE vt);
    void set_to_64(VARTYPE vt);
    void set_to_binary();
};
