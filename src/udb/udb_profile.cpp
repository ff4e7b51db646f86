// udb_profile.cpp: the profile in memory and its UTF-8, CRLF, mode-0600 file form.
#include "udb/udb_profile.h"

#include "plat/plat_err.h"
#include "plat/plat_fd.h"
#include "plat/plat_fs.h"
#include "plat/plat_text.h"
#include "tk/tk_exception.h"
#include "tk/tk_logger.h"
#include "tk/tk_string.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cwchar>
#include <fcntl.h>
#include <fstream>
#include <string_view>
#include <sys/stat.h>
#include <unistd.h>

namespace
{
const std::wstring queries_section = L"Available Queries";
const std::wstring tables_section = L"Selected Tables";
const std::wstring generic_section = L"Generic settings";
const char line_end[] = "\r\n";

// The two sections whose values are SQL texts, which may run over several lines.
bool holds_sql(const std::wstring& section)
{
    return section == queries_section || section == tables_section;
}

std::wstring escape(const std::wstring& value)
{
    std::wstring out;
    out.reserve(value.size());
    for (wchar_t c : value)
    {
        switch (c)
        {
        case L'\\':
            out += L"\\\\";
            break;
        case L'\r':
            out += L"\\r";
            break;
        case L'\n':
            out += L"\\n";
            break;
        default:
            out += c;
        }
    }
    return out;
}

// A backslash before anything but '\', 'r' or 'n' stays as written, so hand-written text keeps
// its meaning.
std::wstring unescape(const std::wstring& value)
{
    std::wstring out;
    out.reserve(value.size());
    for (std::size_t pos = 0; pos < value.size(); ++pos)
    {
        const wchar_t c = value[pos];
        const wchar_t next = pos + 1 < value.size() ? value[pos + 1] : L'\0';
        if (c == L'\\' && (next == L'\\' || next == L'r' || next == L'n'))
        {
            out += next == L'\\' ? L'\\' : next == L'r' ? L'\r' : L'\n';
            ++pos;
        }
        else
        {
            out += c;
        }
    }
    return out;
}

// A quoted part of a table key: from its opening quote to its closing one, both included.
struct quoted_span
{
    std::size_t open;
    std::size_t close;
};

// The closing quote of the part that opens at `open` (a doubled quote is one inside it), or npos.
std::size_t closing_quote(const std::wstring& text, std::size_t open)
{
    for (std::size_t at = open + 1; at < text.size(); ++at)
    {
        if (text[at] != L'"')
        {
            continue;
        }
        if (at + 1 < text.size() && text[at + 1] == L'"')
        {
            ++at;
            continue;
        }
        return at;
    }
    return std::wstring::npos;
}

// Where the table key at the start of a [Selected Tables] line ends its quoted parts, read as
// the table keys are written: a quoted part opens the key or follows its dot and closes before
// the dot, the '=', a blank or the end. The line splits at the first '=' from there; without a
// closed quoted part (or with one followed by anything else) at the first '=' of the line.
std::size_t key_quoted_parts(const std::wstring& text, std::vector<quoted_span>& spans)
{
    spans.clear();
    const auto ends_part = [&](std::size_t at, const wchar_t* allowed)
    { return at >= text.size() || std::wcschr(allowed, text[at]) != nullptr; };
    std::size_t pos = 0;
    if (!text.empty() && text.front() == L'"')
    {
        const std::size_t close = closing_quote(text, 0);
        if (close == std::wstring::npos || !ends_part(close + 1, L".= "))
        {
            return 0;
        }
        spans.push_back({0, close});
        pos = close + 1;
    }
    else
    {
        pos = text.find_first_of(L".=");
        if (pos == std::wstring::npos || text[pos] == L'=')
        {
            return 0;
        }
    }
    if (pos < text.size() && text[pos] == L'.' && pos + 1 < text.size() && text[pos + 1] == L'"')
    {
        const std::size_t close = closing_quote(text, pos + 1);
        if (close == std::wstring::npos || !ends_part(close + 1, L"= "))
        {
            spans.clear();
            return 0;
        }
        spans.push_back({pos + 1, close});
        pos = close + 1;
    }
    return pos;
}

// A table key with `\`, CR and LF escaped (or, reading, unescaped) inside its quoted parts
// only: the key writer quotes every part that holds one, and text outside stays as written.
std::wstring convert_quoted_parts(const std::wstring& key, const std::vector<quoted_span>& spans,
                                  std::wstring (*convert)(const std::wstring&))
{
    std::wstring out;
    std::size_t pos = 0;
    for (const quoted_span& span : spans)
    {
        out += key.substr(pos, span.open - pos);
        out += convert(key.substr(span.open, span.close - span.open + 1));
        pos = span.close + 1;
    }
    return out + key.substr(std::min(pos, key.size()));
}

// A table key as its [Selected Tables] line holds it.
std::wstring written_table_key(const std::wstring& key)
{
    std::vector<quoted_span> spans;
    key_quoted_parts(key, spans);
    return convert_quoted_parts(key, spans, escape);
}

// A bare key reads back as the same key only when the reader cannot take it for something else:
// an empty line is skipped, a bracketed one is a section header ("[dbo].[orders]" would open a
// section) and one with '=' splits; such keys keep their "=".
bool can_be_bare(const std::wstring& key)
{
    const std::wstring trimmed = tk_trim_w(key);
    const bool header_like =
        trimmed.size() >= 2 && trimmed.front() == L'[' && trimmed.back() == L']';
    return !trimmed.empty() && !header_like && key.find(L'=') == std::wstring::npos;
}

void append_line(std::string& out, const std::wstring& line)
{
    out += plat::wide_to_utf8(line);
    out += line_end;
}

// Readers never see a half-written profile, a failure leaves the previous one whole, and the
// file is 0600 from its creation since it may hold passwords.
bool write_atomically(const std::string& path, const std::string& content)
{
    return plat::write_file_atomically(path, content, S_IRUSR | S_IWUSR);
}

// A wide path holding a NUL has no narrow form the system could open.
bool to_narrow_path(const std::wstring& path, std::string& out)
{
    if (path.empty() || path.find(L'\0') != std::wstring::npos)
    {
        return false;
    }
    out = plat::wide_to_utf8(path);
    return true;
}
} // namespace

udb_profile::udb_profile()
{
    add_section(queries_section);
    add_section(tables_section);
    add_section(generic_section);
}

void udb_profile::add_section(const std::wstring& name)
{
    m_sections.try_emplace(name);
}

void udb_profile::set_value(const std::wstring& section, const std::wstring& key,
                            const std::wstring& value)
{
    m_sections[section].emplace(key, value);
}

std::wstring udb_profile::get_value(const std::wstring& section, const std::wstring& key) const
{
    const auto found_section = m_sections.find(section);
    if (found_section == m_sections.end())
    {
        return {};
    }
    const auto found_key = found_section->second.find(key);
    return found_key == found_section->second.end() ? std::wstring() : found_key->second;
}

udb_profile::section_map& udb_profile::get_section(const std::wstring& name)
{
    return m_sections[name];
}

udb_profile::section_map& udb_profile::get_queries_section()
{
    const auto found = m_sections.find(queries_section);
    if (found == m_sections.end())
    {
        throw tk_exception_ex("", tk_severity::ends_run);
    }
    return found->second;
}

udb_profile::section_map& udb_profile::get_tables_section()
{
    const auto found = m_sections.find(tables_section);
    if (found == m_sections.end())
    {
        throw tk_exception_ex("", tk_severity::ends_run);
    }
    return found->second;
}

void udb_profile::check_values_kept() const
{
    for (const auto& [section, entries] : m_sections)
    {
        for (const auto& [key, value] : entries)
        {
            // The reader trims each line, and only the SQL texts are escaped.
            const bool trailing_blank = !value.empty() && value.back() == L' ';
            if (trailing_blank ||
                (!holds_sql(section) && value.find_first_of(L"\r\n") != std::wstring::npos))
            {
                throw tk_exception(
                    L"The setting \"" + key + L"\" of [" + section + L"] " +
                        (trailing_blank ? L"ends with a blank" : L"holds a line break") +
                        L", which a profile cannot keep; the profile was not saved.",
                    tk_severity::ends_run);
            }
        }
    }
}

bool udb_profile::store(const std::wstring& path) const
{
    tk_wlog(2, L"udb_profile::store)");
    std::string narrow_path;
    if (!to_narrow_path(path, narrow_path))
    {
        return false;
    }
    check_values_kept();
    std::string content;
    for (const auto& [section, entries] : m_sections)
    {
        append_line(content, L"[" + section + L"]");
        const bool sql = holds_sql(section);
        for (const auto& [entry_key, value] : entries)
        {
            const std::wstring key =
                section == tables_section ? written_table_key(entry_key) : entry_key;
            if (section == tables_section && value.empty() && can_be_bare(key))
            {
                append_line(content, key);
            }
            else
            {
                append_line(content, key + L"=" + (sql ? escape(value) : value));
            }
        }
        content += line_end;
    }
    for (const auto& [section, lines] : m_raw_lines)
    {
        append_line(content, L"[" + section + L"]");
        for (const std::wstring& line : lines)
        {
            append_line(content, line);
        }
    }
    return write_atomically(narrow_path, content);
}

bool udb_profile::load(const std::wstring& path)
{
    tk_wlog(2, L"udb_profile::load(%s)", path);
    std::string narrow_path;
    // A directory would open as a stream that reads nothing, and an empty profile would pass
    // for a loaded one.
    if (!to_narrow_path(path, narrow_path) || !plat::can_open(narrow_path, false))
    {
        throw tk_exception("Profile does not exist. Please verify the correct path/name was given.",
                           tk_severity::ends_run);
    }
    std::ifstream stream(narrow_path, std::ios::binary);
    if (!stream)
    {
        return false;
    }
    const std::wstring* current = nullptr;
    std::string bytes;
    // Lines of any length: the wizard writes a long query as one line.
    while (std::getline(stream, bytes))
    {
        // Text conversion stops at a NUL: a binary file would read as an empty profile, and its
        // caller would go on with the settings it had.
        if (bytes.find('\0') != std::string::npos)
        {
            return false;
        }
        if (!bytes.empty() && bytes.back() == '\r')
        {
            bytes.pop_back();
        }
        const std::wstring line = tk_wstring::from_utf8(bytes);
        const std::wstring trimmed = tk_trim_w(line);
        if (trimmed.empty())
        {
            continue;
        }
        if (trimmed.size() >= 2 && trimmed.front() == L'[' && trimmed.back() == L']')
        {
            current = &m_sections.try_emplace(trimmed.substr(1, trimmed.size() - 2)).first->first;
            continue;
        }
        if (current == nullptr)
        {
            return false;
        }
        section_map& entries = m_sections[*current];
        std::vector<quoted_span> spans;
        // Only a table key's quoted parts may hold an '=' that does not split the line.
        const std::size_t key_end =
            *current == tables_section ? key_quoted_parts(trimmed, spans) : 0;
        const std::size_t equals = trimmed.find(L'=', key_end);
        const auto key_of = [&](const std::wstring& text)
        { return tk_trim_w(convert_quoted_parts(text, spans, unescape)); };
        if (equals != std::wstring::npos)
        {
            const std::wstring value = trimmed.substr(equals + 1);
            entries.emplace(key_of(trimmed.substr(0, equals)),
                            holds_sql(*current) ? unescape(value) : value);
        }
        else
        {
            m_raw_lines[*current].push_back(line);
            entries.emplace(key_of(trimmed), std::wstring());
        }
    }
    return !stream.bad();
}
