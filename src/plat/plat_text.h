// plat_text.h: the UTF-8 / UTF-32 / UTF-16 codec and locale-independent text comparison.
#pragma once

#include <string>
#include <string_view>

namespace plat
{

/// Decodes strict UTF-8 into wide (UTF-32) text. Overlong forms, surrogates, code points above
/// U+10FFFF and truncated sequences make it answer false, set last_error() to EILSEQ and leave
/// `out` empty. Never throws for bad input.
bool utf8_to_wide(std::string_view in, std::wstring& out);

/// Encodes wide text as UTF-8; never fails (an invalid code point becomes U+FFFD).
std::string wide_to_utf8(std::wstring_view in);

/// Encodes wide text as UTF-16 (the form of OLE DB text buffers and ODBC's SQLWCHAR).
std::u16string wide_to_utf16(std::wstring_view in);

/// Decodes UTF-16; a lone surrogate becomes U+FFFD.
std::wstring utf16_to_wide(std::u16string_view in);

/// wide_to_utf16 into a buffer the caller reuses (its content is replaced), so that a value a
/// row takes costs no allocation once the buffer has grown.
void wide_to_utf16(std::wstring_view in, std::u16string& out);

/// UTF-16 straight to UTF-8, replacing `out`'s content; a lone surrogate becomes U+FFFD as in
/// utf16_to_wide.
void utf16_to_utf8(std::u16string_view in, std::string& out);
std::string utf16_to_utf8(std::u16string_view in);

/// Lenient UTF-8 decoding for text that must be shown whatever it holds: bad bytes become U+FFFD.
std::wstring utf8_to_wide_lossy(std::string_view in);

/// Case-insensitive equality and order of wide text, folding each code point in the fixed
/// C.UTF-8 locale (never the process locale, which a GUI toolkit may change).
bool equal_ci(std::wstring_view a, std::wstring_view b);
int compare_ci(std::wstring_view a, std::wstring_view b);

/// The same for UTF-8 text (decoded leniently first).
bool equal_ci(std::string_view a, std::string_view b);
int compare_ci(std::string_view a, std::string_view b);

/// One code point folded to lower case in the C.UTF-8 locale.
wchar_t fold_case(wchar_t c);

/// Letter or digit in the C.UTF-8 locale (É, Σ and İ are letters).
bool is_alnum(wchar_t c);

/// Lower-cases the ASCII letters A-Z only, in place.
void ascii_lower(std::string& text);
void ascii_lower(std::wstring& text);

} // namespace plat
