// mss_names.h: bracketed SQL Server names: quoting, reading bracketed parts, owner and table.
#pragma once

#include <optional>
#include <string>
#include <vector>

/// The parts of text written as bracketed T-SQL identifiers joined by dots, with each "]]" read
/// as one "]": "[dbo].[a]]b]" gives {"dbo", "a]b"}. Nothing when the text is anything else: an
/// unbracketed or empty part, a stray "]" or "[", a missing closing bracket, a trailing dot.
std::optional<std::vector<std::wstring>> mss_parse_bracketed(const std::wstring& text);

/// One identifier made safe: "[" + the name with every "]" doubled + "]" ("a]" gives "[a]]]",
/// the empty name "[]").
std::wstring mss_quote_name(const std::wstring& name);

/// A name as T-SQL text: text that already parses as bracketed parts (see mss_parse_bracketed)
/// comes back unchanged, any other text is quoted by mss_quote_name. "[a]" and "[dbo].[t]" stay,
/// "a]" gives "[a]]]", "a.b" gives "[a.b]".
std::wstring mss_bracket_name(const std::wstring& name);

/// Splits a table name into table and owner; always answers true. A name of fewer than 3
/// characters is a table alone. Bracketed parts give the last part as table and the one before
/// it as owner, both with "]]" read as "]". Other text is split at its first "." only when
/// `view_owned` is false; otherwise it is a table alone.
bool mss_split_tab_name(const std::wstring& name, std::wstring& table, std::wstring& owner,
                        bool view_owned);
