// plat_registry.cpp: the key files of the registry stand-in: locating, parsing, atomic writing.
#include "plat/plat_registry.h"

#include "plat/plat_err.h"
#include "plat/plat_fd.h"
#include "plat/plat_fs.h"
#include "plat/plat_text.h"

#include <cerrno>
#include <charconv>
#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

namespace plat
{

namespace
{

constexpr mode_t file_mode = 0600;
constexpr mode_t dir_mode = 0700;

using value_list = std::vector<std::pair<std::string, reg_value>>;

// Names also escape '=', which ends the name on the line.
std::string escape(std::string_view text, bool is_name)
{
    std::string out;
    out.reserve(text.size());
    for (const char c : text)
    {
        switch (c)
        {
        case '\\':
            out += "\\\\";
            break;
        case '\r':
            out += "\\r";
            break;
        case '\n':
            out += "\\n";
            break;
        case '=':
            out += is_name ? "\\=" : "=";
            break;
        default:
            out += c;
        }
    }
    return out;
}

// Reads escaped text up to an unescaped '=' (when `stop_at_equals`) or the end; answers the
// position after what it read, or npos for an unknown or cut escape.
std::size_t unescape(std::string_view text, bool stop_at_equals, std::string& out)
{
    std::size_t pos = 0;
    while (pos < text.size())
    {
        const char c = text[pos];
        if (c == '=' && stop_at_equals)
        {
            return pos;
        }
        if (c != '\\')
        {
            out += c;
            ++pos;
            continue;
        }
        if (pos + 1 == text.size())
        {
            return std::string_view::npos;
        }
        switch (text[pos + 1])
        {
        case '\\':
            out += '\\';
            break;
        case 'r':
            out += '\r';
            break;
        case 'n':
            out += '\n';
            break;
        case '=':
            out += '=';
            break;
        default:
            return std::string_view::npos;
        }
        pos += 2;
    }
    return stop_at_equals ? std::string_view::npos : pos;
}

bool parse_line(std::string_view line, std::string& name, reg_value& value)
{
    const std::size_t equals = unescape(line, true, name);
    if (equals == std::string_view::npos)
    {
        return false;
    }
    const std::string_view rest = line.substr(equals + 1);
    constexpr std::string_view dword_tag = "dword:";
    constexpr std::string_view sz_tag = "sz:";
    if (rest.starts_with(dword_tag))
    {
        const std::string_view digits = rest.substr(dword_tag.size());
        const char* end = digits.data() + digits.size();
        const auto [stop, error] = std::from_chars(digits.data(), end, value.dword, 16);
        value.type = reg_type::dword;
        return digits.size() == 8 && error == std::errc() && stop == end;
    }
    if (rest.starts_with(sz_tag))
    {
        value.type = reg_type::sz;
        return unescape(rest.substr(sz_tag.size()), false, value.text) != std::string_view::npos;
    }
    return false;
}

// Works on the const and the mutable list alike.
template <class List>
auto* find_in(List& values, std::string_view name)
{
    for (auto& entry : values)
    {
        if (equal_ci(std::string_view(entry.first), name))
        {
            return &entry;
        }
    }
    return static_cast<decltype(&values.front())>(nullptr);
}

// An existing name keeps its place and its spelling, as the registry keeps a value's name.
void upsert(value_list& values, std::string_view name, reg_value value)
{
    if (auto* entry = find_in(values, name))
    {
        entry->second = std::move(value);
        return;
    }
    values.emplace_back(std::string(name), std::move(value));
}

// A line that cannot be read is skipped so that one damaged line never costs the others.
value_list parse(std::string_view content)
{
    value_list values;
    while (!content.empty())
    {
        std::size_t end = content.find('\n');
        std::string_view line = content.substr(0, end);
        content = end == std::string_view::npos ? std::string_view() : content.substr(end + 1);
        if (line.ends_with('\r'))
        {
            line.remove_suffix(1);
        }
        std::string name;
        reg_value value;
        if (!line.empty() && parse_line(line, name, value))
        {
            upsert(values, name, std::move(value));
        }
    }
    return values;
}

std::string serialise(const value_list& values)
{
    std::string out;
    for (const auto& [name, value] : values)
    {
        out += escape(name, true);
        if (value.type == reg_type::dword)
        {
            char digits[16];
            std::snprintf(digits, sizeof digits, "%08x", static_cast<unsigned>(value.dword));
            out += "=dword:";
            out += digits;
        }
        else
        {
            out += "=sz:" + escape(value.text, false);
        }
        out += '\n';
    }
    return out;
}

bool read_whole_file(const std::filesystem::path& file, std::string& content)
{
    const unique_fd fd(::open(file.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY));
    struct stat status = {};
    if (!fd.valid() || ::fstat(fd.get(), &status) != 0)
    {
        set_last_error(errno);
        return false;
    }
    if (!S_ISREG(status.st_mode))
    {
        set_last_error(EINVAL);
        return false;
    }
    char buffer[4096];
    for (;;)
    {
        const ssize_t count = ::read(fd.get(), buffer, sizeof buffer);
        if (count == 0)
        {
            return true;
        }
        if (count < 0 && errno != EINTR)
        {
            set_last_error(errno);
            return false;
        }
        if (count > 0)
        {
            content.append(buffer, static_cast<std::size_t>(count));
        }
    }
}

// Readers see either the old file or the new one, never a half-written one; the temporary file
// is 0600 from its creation, so the values are never readable by others, not even briefly.
bool write_atomically(const std::filesystem::path& file, const std::string& content)
{
    return write_file_atomically(file.string(), content, file_mode);
}

bool make_dirs(const std::filesystem::path& dir)
{
    std::filesystem::path partial;
    for (const auto& component : dir)
    {
        partial /= component;
        if (component.empty() || partial == partial.root_path())
        {
            continue;
        }
        struct stat status = {};
        if (::stat(partial.c_str(), &status) != 0)
        {
            if (::mkdir(partial.c_str(), dir_mode) == 0)
            {
                continue;
            }
            if (errno != EEXIST || ::stat(partial.c_str(), &status) != 0)
            {
                set_last_error(errno);
                return false;
            }
        }
        if (!S_ISDIR(status.st_mode))
        {
            set_last_error(ENOTDIR);
            return false;
        }
    }
    return true;
}

std::optional<std::filesystem::path> absolute_env(const char* name)
{
    const char* value = std::getenv(name);
    // The XDG rules ignore a relative path: it would depend on the working directory.
    if (value == nullptr || value[0] != '/')
    {
        return std::nullopt;
    }
    return std::filesystem::path(value);
}

} // namespace

std::optional<std::filesystem::path> reg_store::user_root()
{
    if (auto config = absolute_env("XDG_CONFIG_HOME"))
    {
        return config;
    }
    if (auto home = absolute_env("HOME"))
    {
        return *home / ".config";
    }
    long size = ::sysconf(_SC_GETPW_R_SIZE_MAX);
    std::string buffer(size > 0 ? static_cast<std::size_t>(size) : 16384, '\0');
    struct passwd entry = {};
    struct passwd* found = nullptr;
    if (::getpwuid_r(::getuid(), &entry, buffer.data(), buffer.size(), &found) == 0 &&
        found != nullptr && found->pw_dir != nullptr && found->pw_dir[0] == '/')
    {
        return std::filesystem::path(found->pw_dir) / ".config";
    }
    return std::nullopt;
}

std::optional<std::filesystem::path> reg_store::key_file(const std::filesystem::path& root,
                                                         std::string_view key_path)
{
    std::vector<std::string_view> components;
    for (std::size_t start = 0;;)
    {
        const std::size_t end = key_path.find('\\', start);
        components.push_back(key_path.substr(start, end - start));
        if (end == std::string_view::npos)
        {
            break;
        }
        start = end + 1;
    }
    if (components.size() > 1 && equal_ci(components.front(), std::string_view("Software")))
    {
        components.erase(components.begin());
    }
    std::filesystem::path file = root;
    for (const std::string_view component : components)
    {
        // Each component must stay one directory level below the root.
        if (component.empty() || component == "." || component == ".." ||
            component.find_first_of(std::string_view("/\0", 2)) != std::string_view::npos)
        {
            return std::nullopt;
        }
        file /= component;
    }
    file += ".reg";
    return file;
}

int reg_store::create(std::string_view key_path, reg_disposition* disposition)
{
    const std::optional<std::filesystem::path> root = user_root();
    if (!root)
    {
        set_last_error(ENOENT);
        return reg_access_denied;
    }
    std::optional<std::filesystem::path> file = key_file(*root, key_path);
    if (!file)
    {
        set_last_error(EINVAL);
        return reg_invalid_parameter;
    }
    // Every write replaces the file through its directory, so that directory must be writable.
    const std::filesystem::path dir = file->parent_path();
    if (!make_dirs(dir))
    {
        return reg_access_denied;
    }
    if (::access(dir.c_str(), W_OK) != 0)
    {
        set_last_error(errno);
        return reg_access_denied;
    }
    value_list values;
    reg_disposition what = reg_disposition::created_new_key;
    unique_fd fd(::open(file->c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, file_mode));
    if (fd.valid())
    {
        if (::fchmod(fd.get(), file_mode) != 0 || fd.close() != 0)
        {
            set_last_error(errno);
            ::unlink(file->c_str());
            return reg_access_denied;
        }
    }
    else
    {
        if (errno != EEXIST)
        {
            set_last_error(errno);
            return reg_access_denied;
        }
        std::string content;
        if (!read_whole_file(*file, content))
        {
            return reg_access_denied;
        }
        values = parse(content);
        what = reg_disposition::opened_existing_key;
    }
    m_open = true;
    m_file = std::move(*file);
    m_values = std::move(values);
    if (disposition != nullptr)
    {
        *disposition = what;
    }
    return reg_ok;
}

void reg_store::close()
{
    m_open = false;
    m_file.clear();
    m_values.clear();
}

const reg_value* reg_store::find(std::string_view name) const
{
    const auto* entry = find_in(m_values, name);
    return entry != nullptr ? &entry->second : nullptr;
}

int reg_store::get(std::string_view name, reg_value& out) const
{
    if (!m_open)
    {
        return reg_invalid_handle;
    }
    const reg_value* value = find(name);
    if (value == nullptr)
    {
        return reg_not_found;
    }
    out = *value;
    return reg_ok;
}

int reg_store::get_dword(std::string_view name, std::uint32_t& out) const
{
    reg_value value;
    const int code = get(name, value);
    if (code != reg_ok)
    {
        return code;
    }
    if (value.type != reg_type::dword)
    {
        return reg_type_mismatch;
    }
    out = value.dword;
    return reg_ok;
}

int reg_store::get_string(std::string_view name, std::string& out) const
{
    reg_value value;
    const int code = get(name, value);
    if (code != reg_ok)
    {
        return code;
    }
    if (value.type != reg_type::sz)
    {
        return reg_type_mismatch;
    }
    out = std::move(value.text);
    return reg_ok;
}

int reg_store::set_dword(std::string_view name, std::uint32_t value)
{
    return set(name, reg_value{reg_type::dword, value, {}});
}

int reg_store::set_string(std::string_view name, std::string_view text)
{
    return set(name, reg_value{reg_type::sz, 0, std::string(text)});
}

int reg_store::set(std::string_view name, reg_value value)
{
    if (!m_open)
    {
        return reg_invalid_handle;
    }
    // Start from the file as it is now: another program may have written other values since.
    value_list values;
    std::string content;
    if (read_whole_file(m_file, content))
    {
        values = parse(content);
    }
    else
    {
        values = m_values;
    }
    upsert(values, name, std::move(value));
    if (!write_atomically(m_file, serialise(values)))
    {
        return reg_access_denied;
    }
    m_values = std::move(values);
    return reg_ok;
}

} // namespace plat
