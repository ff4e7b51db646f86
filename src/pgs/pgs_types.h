// pgs_types.h: PostgreSQL type names, column defaults and qualified names in the neutral terms.
#pragma once

#include "ole/ole_variant.h"

#include <optional>
#include <string>
#include <string_view>
#include <utility>

/// The value type of a PostgreSQL type name as the catalog reports it (information_schema's
/// data_type); any name not in the table is VT_BSTR.
VARTYPE pgs_get_vartype(const std::string& type_name);

/// The value type of a column: "numeric" with a declared precision of 1 to 38 is VT_DECIMAL
/// (every digit kept); everything else as pgs_get_vartype.
VARTYPE pgs_column_vartype(const std::string& type_name, int numeric_precision);

/// The date kind of a column type: 1 date and time, t_ftd::date_only, t_ftd::time_only, or 0
/// for a type that is not a date.
int pgs_date_kind(const std::string& type_name);

/// The descriptor's dw_reserved word for a column type that is not numeric: t_ftd::guid_column
/// for uuid, else the date kind.
int pgs_reserved_of(const std::string& type_name);

/// A default's text as a value of `vartype`; a null text gives VT_EMPTY. Booleans read true/t/
/// yes/on/1 and false/f/no/off/0. Throws what ole_variant::from_string throws.
ole_variant pgs_get_variant(VARTYPE vartype, const char* text);

/// The literal a column default stands for, or nothing when the default is an expression:
/// a quoted literal (its quotes removed, doubled quotes undone) with at most type casts after
/// it, a bare number, true or false. For a date column the expressions of the current time
/// (now(), CURRENT_TIMESTAMP, LOCALTIMESTAMP, CURRENT_DATE, ('now'::text)::date) give
/// "CURRENT_TIMESTAMP".
std::optional<std::string> pgs_default_literal(const std::string& default_text, bool date_column);

/// True for a decimal number as PostgreSQL prints one: sign, digits, fraction, exponent.
bool pgs_is_plain_number(std::string_view text);

/// Reads a date, time or timestamp as the server prints it under DateStyle ISO: "YYYY-MM-DD",
/// "hh:mm:ss[.ffffff]" (year, month and day 0), or both with a blank between, a timestamp with
/// time zone ending in "+00" (the reader runs in UTC). False for anything else: infinities, dates
/// before Christ, years beyond 65535, other zones, and times outside 00:00:00-23:59:59 such as
/// 24:00:00. The first form keeps the fraction to the millisecond; the second also gives the
/// microseconds within it (0-999), so that the server's microseconds survive.
bool pgs_parse_date_time(std::string_view text, SYSTEMTIME& out);
bool pgs_parse_date_time(std::string_view text, SYSTEMTIME& out, std::uint16_t& microseconds);

/// Splits "schema.table" (or "\"schema\".\"table\"") into schema and table; a name without a
/// separator is the table of schema "public". No change of case; inner quotes stay.
std::pair<std::wstring, std::wstring> pgs_split_name(const std::wstring& name);
