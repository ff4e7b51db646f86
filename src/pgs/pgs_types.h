// pgs_types.h: PostgreSQL type names, column defaults and qualified names in the neutral terms.
#pragma once

#include "ole/ole_variant.h"

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <utility>

/// SET LOCAL statements for every session setting that the server's text of a value or of a
/// catalog expression depends on, so that a database's or role's own defaults (extra_float_digits
/// 0, DateStyle SQL, IntervalStyle sql_standard, bytea_output escape, another time zone) never
/// change what is read: timestamps with time zone in UTC, dates in ISO order, floats with every
/// digit that tells them apart, intervals in the server's own style and bytea in hex. (String
/// constants in printed defaults also depend on standard_conforming_strings, which the catalog
/// reader sets itself: a user's query text may rely on the session's own.)
extern const char pgs_output_settings_sql[];

/// SET LOCAL statement that turns row-level security off for the statements that read a
/// table's rows or count them: a read that a policy would filter then fails instead of
/// delivering part of the table. Logins that bypass row security read every row either way.
extern const char pgs_row_security_sql[];

/// The value type of a PostgreSQL type name as the catalog reports it (information_schema's
/// data_type); any name not in the table is VT_BSTR. A numeric, with a declared precision or
/// without, and money are VT_DECIMAL: every digit is kept.
VARTYPE pgs_get_vartype(const std::string& type_name);

/// The precision of the decimal that holds every money value: a 64-bit count of the currency's
/// smallest unit has at most 19 digits.
constexpr int pgs_money_precision = 19;

/// The descriptor's dw_reserved word of a column: money is (19, `money_scale`), the scale that
/// the connection's lc_monetary gives 0::money::numeric; a numeric with a declared precision is
/// pgs_decimal_reserved of it and `scale_bits` (the modifier's low 16 bits); a numeric without
/// one has precision 0, not known until its values are measured; other types pgs_reserved_of.
std::int32_t pgs_column_reserved(const std::string& type_name, int numeric_precision,
                                 int scale_bits, int money_scale);

/// The widest precision a decimal column description carries.
constexpr int pgs_max_decimal_precision = 38;

/// The scale of a numeric type modifier's low 16 bits (atttypmod - 4, or information_schema's
/// numeric_scale): an 11-bit signed number, so that numeric(5,-2) gives -2, not 2046.
int pgs_numeric_scale(int modifier_low_bits);

/// The column description's precision and scale (t_ftd::make_precision_scale) of a PostgreSQL
/// numeric(precision, scale), as a decimal(p, s) with 0 <= s <= p that holds every value of it:
/// a negative scale adds whole digits (numeric(5,-2) is decimal(7,0)), a scale above the
/// precision adds leading decimals (numeric(10,12) is decimal(12,12)). A precision above 38
/// becomes 38 with the scale capped at 38 (numeric(50,2) is decimal(38,2)); values that do not
/// fit it are refused when written, never rounded.
std::int32_t pgs_decimal_reserved(int precision, int scale);

/// The date kind of a column type: t_ftd::date_and_time, date_only or time_only, or 0
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
