// oledb_load_text.h: the loader's number texts and the conversion of a bound value into the
// form its column takes.
#pragma once

#include "plat/oledb/oledb_load.h"

#include <string>
#include <string_view>

namespace plat::oledb
{

/// A scaled integer as decimal text: 12345 with scale 4 is "1.2345".
std::string scaled_integer_text(std::int64_t value, int scale);

/// A DB_NUMERIC as decimal text.
std::string numeric_text(const DB_NUMERIC& value);

/// Decimal text (an optional sign, digits, '.', digits, an optional exponent) rounded half
/// away from zero to `scale` digits (-1 keeps them all) and checked against `precision`
/// (0: none). False with DB_E_CANTCONVERTVALUE or DB_E_DATAOVERFLOW in `hr`.
bool normalise_decimal(std::string_view text, int precision, int scale, std::string& out,
                       HRESULT& hr);

/// A value as its binding gave it, converted into the form its column takes.
HRESULT to_column_form(load_value raw, const load_column& column, load_value& value,
                       std::wstring& reason);

/// Bytes of the UTF-8 form of UTF-16 text.
std::size_t utf8_length(const std::u16string& text);

/// UTF-16 code units of UTF-8 text.
std::size_t utf16_units(const std::string& text);

} // namespace plat::oledb
