// udb_table_key.h: the key that names a source table in a selection, a table list and a
// profile: schema and table joined by a dot.
#pragma once

#include <optional>
#include <string>
#include <utility>

/// A source table's schema and name.
using udb_table_pair = std::pair<std::wstring, std::wstring>;

/// schema + "." + table; a part that holds a dot or begins with a double quote is written
/// quoted ("sch.dot".t, a quote inside doubled), so that two tables never share a key and the
/// key reads back as the same pair. So is a part with a blank at either end, '=', a backslash,
/// CR or LF, so that a profile line keeps it (public."t ", s."a=b"), unless either part holds
/// '[' or ']': such keys keep the form above. An empty schema gives the table part alone.
std::wstring udb_table_key(const std::wstring& schema, const std::wstring& table);

/// The pair of a key written as udb_table_key writes it; an unquoted key splits at its first
/// dot, and a key without one has an empty schema. Empty optional for a key that is not
/// written so (a quote left open, text after a closing quote, an empty part beside a dot).
std::optional<udb_table_pair> udb_split_table_key(const std::wstring& key);

/// The key as udb_table_key writes it (`"public".t` becomes public.t); a key that does not
/// parse, and an unquoted key without a schema, stays as it is.
std::wstring udb_normal_table_key(const std::wstring& key);
