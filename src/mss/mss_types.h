// mss_types.h: SQL Server type names, T-SQL literals, value range checks and generated key names.
#pragma once

#include "ole/ole_variant.h"
#include "udb/t_ftd.h"
#include "udb/udb_indexes.h"

#include <string>
#include <vector>

/// What the SQL Server side needs to know of its server and login: the version, the provider,
/// the flags and the owner of unqualified names. The engine builds it (mss_engine::target) and
/// hands it down with each database it opens; a database hands it to its tables, and they to
/// their loaders. Nothing below the engine reads the engine itself, so a test can give any
/// state here without one.
struct mss_target
{
    /// The engine's version code (mss_engine::version_*).
    int version_code = 0;
    /// Connected through a native-client provider (mss_engine::is_native_client).
    bool native_client = false;
    /// Text literals carry the N prefix.
    bool unicode = true;
    /// Unbracketed names are never split at a dot.
    bool view_owned = true;
    /// Nonclustered index keys may take 1,700 bytes (SQL Server 2016 and later, SQL Azure);
    /// else 900, as every clustered key.
    bool wide_index_keys = false;
    /// The login's user; empty with Windows authentication.
    std::wstring user{};
    /// Tables are named and read as the database owner's whatever the login.
    bool as_dbo = false;
    /// Rows go through the provider's bulk loader; else one INSERT statement each.
    bool fast_load = true;

    /// The SQL Server 2008 date and time types are available: a version code above 4 through a
    /// native-client provider.
    bool has_date_types() const { return version_code > 4 && native_client; }
    /// The two-part name of a table for catalog statements and DROP TABLE, by this login and
    /// flags (mss_engine::get_safe_tname).
    std::wstring get_safe_tname(const std::wstring& name) const;
};

/// The SQL Server type name of a column: "nvarchar(2n) " for a text of up to 2000 characters
/// (each may take two UTF-16 units) and "varbinary(n) " up to 8000 bytes (the bare name with
/// `bTypeOnly`), "(max)" beyond and for a size of 0; "numeric", or "float" above precision 38;
/// with the 2008 types "date", "time(6)" and "datetime2(6)" ("time", "datetime2" with
/// `bTypeOnly`), else "datetime".
std::wstring get_mss_native_type1(const t_ftd& ftd, bool bTypeOnly, const mss_target& target);

/// The precision and scale of the numeric a VT_DECIMAL column is created with and holds values
/// to: its own, or t_ftd's unmeasured precision and scale, numeric(38,10), while its precision
/// is 0 (not known); never float for want of a precision.
int mss_decimal_precision(const t_ftd& ftd);
int mss_decimal_scale(const t_ftd& ftd);

/// The UTF-16 units of the nvarchar column that holds any text of `characters` characters;
/// 0 when only nvarchar(max) does (more than 2000 characters, or no size).
int mss_text_column_units(int characters);

/// True when `ftd` is a date or time column created with a SQL Server 2008 type (date, time,
/// datetime2), which holds every date from year 1 to 9999.
bool mss_has_wide_date_range(const t_ftd& ftd, const mss_target& target);

/// Throws udb_value_exception naming the value and the column when column `ftd` cannot hold
/// `value` as it is: a date outside 1753-9999 (1-9999 with the 2008 types), NaN, an infinity or
/// a subnormal float or real, a decimal with more integer digits or decimals than the column's
/// precision and scale hold. Nothing is clamped or rounded: a changed value is a corrupted row.
void mss_check_value(const ole_variant& value, const t_ftd& ftd, const mss_target& target);

/// The T-SQL literal for the text form of a value of kind `vt`: dates as
/// 'YYYYMMDD[ hh:mm:ss[.mmm]]' (a time alone on 18991230, empty text NULL, other text that is
/// no date throws udb_value_exception); "''" for other empty text; text quoted with apostrophes
/// doubled and N in front when `unicode`; binary text as 0x hex; numbers bare when the text is
/// a number, else quoted as text.
std::wstring to_mssql_str(const std::wstring& text, VARTYPE vt, bool unicode);

/// The literal for one field of a row written by INSERT or UPDATE into column `ftd`: NULL for
/// a null or empty value, whatever the column's nullability (the server refuses it for a NOT
/// NULL column with its own error); else the value's literal once mss_check_value has found
/// that the column holds it. Throws udb_value_exception for a value the column cannot hold and
/// for one that has no literal, tk_mail_assertion ("mss_util", 75 / 76) for a null field or
/// descriptor.
std::wstring mss_get_fld_append_str(const ole_variant* field, const t_ftd* ftd,
                                    const mss_target& target);

/// True when the decimal value has more decimals (trailing zeros aside) than the column's scale,
/// or more integer digits than its precision leaves (mss_decimal_precision and
/// mss_decimal_scale: a column of precision 0 holds what numeric(38,10) holds). Float columns
/// (precision above 38) never report. Throws tk_mail_assertion ("mss_util", 22) when the value
/// is not VT_DECIMAL.
bool dec_is_out_of_range(const ole_variant& field, const t_ftd& ftd);

/// "PK_" + the table part of the name (the whole name when it has none; see mss_split_tab_name
/// for `view_owned`).
std::wstring gen_pk_name(const std::wstring& table_name, bool view_owned);
/// "UIDX_c1_c2..." or, when an index of `indexes` has that name, the first free form with
/// "_00000" to "_99999" after it; throws tk_mail_assertion ("mss_util", 750) when none is free.
std::wstring gen_idx_name(const udb_indexes& indexes, const std::vector<std::wstring>& columns);

/// Each apostrophe doubled: the text of a string literal, once per level of nesting.
std::wstring mss_escape_quotes(const std::wstring& text);

/// True when `text` begins with `prefix`, compared exactly or without case (C.UTF-8 folding).
/// An empty prefix is always true, a prefix longer than the text always false.
bool str_starts_with(const std::wstring& text, const std::wstring& prefix, bool case_sensitive);

/// The dump settings of the SQL Server side, kept with the profile; no step of a run reads them.
struct mss_dump_options
{
    bool dump_insert_comments = true;
    bool dump_create_database = false;
    bool dump_create_table = true;

    /// Logs "mss_dump_options::ctor1" at level 2.
    mss_dump_options();
};
