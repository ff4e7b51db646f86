// mss_exact.h: a value put into a column of an existing destination table only when the column
// holds it exactly, by the column's SQL Server type.
#pragma once

#include "ole/ole_variant.h"
#include "udb/t_ftd.h"

#include <string>

/// What the catalog tells of a column of an existing table beyond its value kind: the SQL
/// Server type that decides which values it holds unchanged.
struct mss_column_type
{
    /// The system type's name in lower case ("int", "datetime2", "varchar"); empty when the
    /// catalog did not say (the value is then only changed to the column's kind).
    std::wstring name;
    /// datetime2, time and datetimeoffset: the fractional digits of seconds; decimal: the scale.
    int scale = 0;
    /// decimal and numeric: the digits the column holds (0 when the catalog did not say: the
    /// column's descriptor tells them then).
    int precision = 0;
    /// The bytes the column holds (nvarchar: two a UTF-16 unit); -1 for (max).
    int max_length = -1;
    /// char and varchar: the code page of the column's collation (65001 for a UTF-8 collation);
    /// 0 when the catalog did not tell one.
    int code_page = 0;
};

/// The code page that a UTF-8 collation stores text in: it holds every character.
constexpr int mss_utf8_code_page = 65001;

/// Changes `value` to the kind of `column`, an existing column of SQL Server type `type`, when
/// the column holds it exactly; throws udb_value_exception naming the value, the column and the
/// reason otherwise (the value is then left unchanged). NULL and empty values pass as they are.
/// The rules, by type:
/// - tinyint, smallint, int, bigint and bit: a whole number in the type's range (bit: 0, 1 or a
///   boolean); a text must read whole as one, blanks around it and a leading + allowed;
/// - decimal and numeric: a number whose digits the precision and scale hold, never rounded;
///   money and smallmoney: a number of at most 4 decimals within the type's range. A float is
///   the number its shortest round-trip text shows; a boolean, a date or binary is refused;
/// - real and float: the shortest decimal text of the stored number is the source's number;
/// - date: a date at midnight; smalldatetime: 1900-01-01 to 2079-06-06 23:59, seconds 0;
///   datetime: from 1753, whole milliseconds ending in 0, 3 or 7; datetime2(n) and
///   datetimeoffset(n): no more than n fractional digits; time(n): a time of day alone with no
///   more than n. A time of day alone goes into the types with a date on 1900-01-01;
/// - uniqueidentifier: a text is one GUID of 36 characters, with or without braces;
/// - text into the numeric (but the integer), date and time types and uniqueidentifier reads
///   whole as one value, blanks around it allowed: a number is a sign, digits with an optional
///   point that has digits on at least one side and, for real and float only, an exponent; a
///   time of day is HH:MM or HH:MM:SS with up to 6 fractional digits; a date is YYYY-MM-DD
///   optionally followed by a blank or T and a time of day (text into time: a time of day
///   alone). A zone offset, a thousands separator or anything left over is refused;
/// - char, varchar, nchar, nvarchar (and text, ntext): the text fits the column's length and,
///   for char, varchar and text, every character has a form in the column's code page (with
///   none known, ASCII only, which every code page holds). Blank padding of char(n) is no
///   change;
/// - other types: changed to the column's kind as before (date ranges and floats are checked
///   again by mss_check_value when the row is written).
void mss_convert_exact(ole_variant& value, const t_ftd& column, const mss_column_type& type);

/// True when every character of `text` has a form in Windows code page `code_page` that reads
/// back as the same character; 65001 holds every character.
bool mss_code_page_holds(const std::wstring& text, int code_page);
