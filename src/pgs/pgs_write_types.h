// pgs_write_types.h: PostgreSQL column types, SQL literals, defaults and COPY text for writing.
#pragma once

#include "ole/ole_variant.h"
#include "udb/t_ftd.h"
#include "udb/udb_field.h"

#include <optional>
#include <string>

/// What a write into the conversion's source database is refused with.
inline constexpr char pgs_source_write_message[] =
    "The PostgreSQL database is the conversion's source: nothing is written into it";

/// Longest text or binary column that gets a sized type, an index and a default.
inline constexpr int pgs_max_sized_column = 32672;

/// The PostgreSQL column type of a column description ("INTEGER", "VARCHAR(40) ", "TEXT", ...).
/// Throws tk_mail_assertion ("pgs_util", 78) for a value type without a PostgreSQL type.
std::wstring pgs_column_type(const t_ftd& column);

/// A value's text as an SQL literal for a column of `vartype`; `date_kind` is the column's date
/// kind (1 date and time, 2 date, 3 time). Empty text is '' for VT_BSTR and NULL for the rest;
/// a date that does not read gives an empty literal; binary text ("0x" + hex digits) gives
/// DECODE('digits','hex') and '' when it is not such text.
std::wstring to_pgs_str(const std::wstring& text, VARTYPE vartype, int date_kind);

/// The SQL literal of a field value for a column of that description: NULL for no value,
/// DECODE('hex','hex') for bytes, anything else quoted (a date in ISO form, to the
/// microsecond). Throws pgs_exception for a value the column's kind cannot take (a date column
/// given text that is no date).
std::wstring pgs_value_literal(const ole_variant& value, const t_ftd& column);
/// The same for a field on its own: the column is taken to be of the value's own kind.
std::wstring to_pgs_str(const udb_field& field);

/// The default of a column description as SQL text; empty for none.
std::wstring make_pgs_def_val(const t_ftd& column);

/// A value as the text PostgreSQL reads for the column: ISO dates, C-locale numbers, "\x" + hex
/// for bytes, unescaped; nothing for NULL. Throws pgs_exception as pgs_value_literal does.
std::optional<std::string> pgs_value_text(const ole_variant& value, const t_ftd& column);

/// Appends one field of a COPY text line: "\N" for NULL, else the text with backslash, tab,
/// line feed and carriage return escaped.
void pgs_append_copy_field(std::string& line, const std::optional<std::string>& text);
