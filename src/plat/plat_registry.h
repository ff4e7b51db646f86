// plat_registry.h: the current user's registry, kept as one small text file per key.
#pragma once

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace plat
{

/// Result codes of the store, numbered as the Win32 registry functions number them.
inline constexpr int reg_ok = 0;
inline constexpr int reg_not_found = 2;          ///< no value of that name
inline constexpr int reg_access_denied = 5;      ///< the key cannot be created or written
inline constexpr int reg_invalid_handle = 6;     ///< the key is not open
inline constexpr int reg_invalid_parameter = 87; ///< a key path that names no key
inline constexpr int reg_more_data = 234;        ///< a value larger than the caller's buffer
inline constexpr int reg_type_mismatch = 1629;   ///< the value has another type than asked for

/// Value types with the registry's numbers (REG_SZ, REG_DWORD), which the trace log shows.
enum class reg_type : std::uint32_t
{
    none = 0,
    sz = 1,
    dword = 4
};

/// What create() did, with the registry's numbers.
enum class reg_disposition : std::uint32_t
{
    created_new_key = 1,
    opened_existing_key = 2
};

/// One stored value; `text` (UTF-8) is used for sz, `dword` for dword.
struct reg_value
{
    reg_type type = reg_type::none;
    std::uint32_t dword = 0;
    std::string text;
};

/// One open key of HKEY_CURRENT_USER. The key "Software\A\B" lives in the file
/// <root>/A/B.reg, where <root> is $XDG_CONFIG_HOME or else $HOME/.config. The file holds one
/// value a line, `name=dword:0000000a` or `name=sz:text` (UTF-8; '\\', CR, LF escaped), is
/// created with mode 0600 because it holds passwords, and is replaced atomically on every write.
/// Value names compare without regard to case, as in the registry.
class reg_store
{
public:
    /// A closed key.
    reg_store() = default;

    /// The directory that stands for HKEY_CURRENT_USER; empty optional when the environment
    /// names no home directory.
    static std::optional<std::filesystem::path> user_root();

    /// The file of `key_path` under `root`; empty optional for a path that names no key (empty,
    /// an empty, "." or ".." component, or a '/' or NUL in a component).
    static std::optional<std::filesystem::path> key_file(const std::filesystem::path& root,
                                                         std::string_view key_path);

    /// Opens the key, creating its file and missing directories (mode 0700) when needed, and
    /// loads all its values. On failure the key that was open stays open and unchanged.
    int create(std::string_view key_path, reg_disposition* disposition = nullptr);
    void close();
    bool is_open() const { return m_open; }
    /// The open key's file; empty when closed.
    const std::filesystem::path& file() const { return m_file; }

    /// Reads a value of any type.
    int get(std::string_view name, reg_value& out) const;
    /// Typed reads: reg_type_mismatch when the stored value has the other type; `out` is only
    /// changed on success.
    int get_dword(std::string_view name, std::uint32_t& out) const;
    int get_string(std::string_view name, std::string& out) const;

    /// Writes one value through to the file (merged with what the file holds by then, so that
    /// values other programs wrote since the open survive). On failure nothing changes.
    int set_dword(std::string_view name, std::uint32_t value);
    int set_string(std::string_view name, std::string_view text);

private:
    using value_list = std::vector<std::pair<std::string, reg_value>>;

    int set(std::string_view name, reg_value value);
    const reg_value* find(std::string_view name) const;

    bool m_open = false;
    std::filesystem::path m_file;
    value_list m_values;
};

} // namespace plat
