// udb_profile.h: a profile file in memory, the settings of one conversion as sections of keys.
#pragma once

#include <map>
#include <string>
#include <vector>

/// Sections of key/value pairs plus the raw lines of each section (lines without "=").
/// Section names and keys are ordered by plain code-unit comparison and matched exactly.
///
/// The file: UTF-8 without a byte-order mark, CRLF line ends on write (LF or CRLF on read), mode
/// 0600 (it may hold passwords); "[name]" headers, "key=value" entries. In [Selected Tables] an
/// empty value is written as the bare key, unless the reader would take that line for a header
/// or an empty line. Values of [Available Queries] and [Selected Tables]
/// (SQL texts) are written with "\" as "\\", CR as "\r" and LF as "\n", so a multi-line query
/// reads back as one value. A key of [Selected Tables] is a table key (udb_table_key): inside
/// its quoted parts the same three are escaped, and an '=' there does not end the key.
class udb_profile
{
public:
    using section_map = std::map<std::wstring, std::wstring>;

    /// The empty profile with the sections "Available Queries", "Selected Tables" and
    /// "Generic settings".
    udb_profile();

    /// Adds an empty section unless one of that name exists.
    void add_section(const std::wstring& name);
    /// Creates the section if needed and inserts the pair; an existing key keeps its value.
    void set_value(const std::wstring& section, const std::wstring& key, const std::wstring& value);
    /// The value, or an empty text when the section or the key is absent.
    std::wstring get_value(const std::wstring& section, const std::wstring& key) const;
    /// The section, created empty when absent.
    section_map& get_section(const std::wstring& name);
    /// The section "Available Queries"; throws tk_exception_ex (severity 1) when absent.
    section_map& get_queries_section();
    /// The section "Selected Tables"; throws tk_exception_ex (severity 1) when absent.
    section_map& get_tables_section();

    /// Writes the profile to `path` (through a temporary file renamed over it, so a failure
    /// leaves the previous file whole); false when the file cannot be written. A value the file
    /// would not give back (one ending with a blank, or holding CR or LF outside the two SQL
    /// sections) throws tk_exception (severity 1) naming its key and section, before anything is
    /// written.
    bool store(const std::wstring& path) const;
    /// Reads `path` into this profile. Throws tk_exception "Profile does not exist. Please verify
    /// the correct path/name was given." (severity 1) when it is not a readable regular file, and
    /// tk_exception_ex "Cannot convert to UNICODE string: ..." for invalid UTF-8. False when an
    /// entry or raw line comes before any section header or a line holds a NUL byte (what was
    /// read before stays).
    bool load(const std::wstring& path);

    const std::map<std::wstring, section_map>& sections() const { return m_sections; }
    const std::map<std::wstring, std::vector<std::wstring>>& raw_lines() const
    {
        return m_raw_lines;
    }

private:
    /// Throws for the first value the file would not give back.
    void check_values_kept() const;

    std::map<std::wstring, section_map> m_sections;
    std::map<std::wstring, std::vector<std::wstring>> m_raw_lines;
};
