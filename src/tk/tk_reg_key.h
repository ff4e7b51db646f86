// tk_reg_key.h: one open key of the current user's registry, and the settings serializer over it.
#pragma once

#include "plat/plat_registry.h"

#include <cstdint>
#include <string>

/// One open key under HKEY_CURRENT_USER; reads and writes its values, and moves settings in
/// either direction with the exchange operations. Results are the registry's codes (0 success,
/// plat::reg_* otherwise); registry failures never throw.
class tk_reg_key
{
public:
    /// A closed key.
    tk_reg_key() = default;
    tk_reg_key(tk_reg_key&&) = default;
    tk_reg_key& operator=(tk_reg_key&&) = default;
    tk_reg_key(const tk_reg_key&) = delete;
    tk_reg_key& operator=(const tk_reg_key&) = delete;

    /// Opens or creates `sub_key` ("Software\Vendor\Program") under the current user. On success
    /// the previous key is closed and replaced; on failure it stays open.
    int create(const std::string& sub_key, plat::reg_disposition* disposition = nullptr);
    void close() { m_store.close(); }
    bool is_open() const { return m_store.is_open(); }

    /// Reads a REG_DWORD; another type answers plat::reg_type_mismatch. `out` changes only on
    /// success.
    int get_value(std::uint32_t& out, const std::string& name) const;
    /// Reads a REG_SZ up to its first NUL; `out` changes only on success.
    int get_value(std::string& out, const std::string& name) const;
    int get_value(std::wstring& out, const std::wstring& name) const;

    /// Writes a REG_DWORD. Throws tk_mail_assertion ("tk_regk", 149) on a closed key.
    int set_value(std::uint32_t value, const std::string& name);
    /// Writes a REG_SZ of the text up to its first NUL. Throws tk_mail_assertion ("tk_regk",
    /// 157) on a closed key.
    int set_value(const std::string& text, const std::string& name);
    /// Throws tk_mail_assertion ("tk_regk", 165) on a closed key.
    int set_value(const std::wstring& text, const std::wstring& name);

    /// Stores `value` when `store`, else loads it. A load changes the setting only on success,
    /// so a missing or unreadable value keeps the default. False at once on a closed key.
    bool exchange_dword(const std::string& name, std::uint32_t& value, bool store);
    /// Stored as REG_DWORD 1 or 0; loads true for any non-zero value.
    bool exchange_bool(const std::string& name, bool& value, bool store);
    /// An empty stored text loads as a failure and keeps the setting.
    bool exchange_string(const std::string& name, std::string& value, bool store);
    bool exchange_wstring(const std::wstring& name, std::wstring& value, bool store);

private:
    plat::reg_store m_store;
};

/// A registry key together with the path under which its owner opens it.
class tk_serializer
{
public:
    /// A closed key; `key_path` is kept for the owner to open.
    explicit tk_serializer(std::string key_path);

    tk_reg_key& key() { return m_key; }
    const tk_reg_key& key() const { return m_key; }
    const std::string& key_path() const { return m_key_path; }
    void close() { m_key.close(); }

private:
    tk_reg_key m_key;
    std::string m_key_path;
};
