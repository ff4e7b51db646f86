// tk_reg_key.cpp: registry key reads, writes and setting exchanges over the file-backed store.
#include "tk/tk_reg_key.h"

#include "plat/plat_text.h"
#include "tk/tk_exception.h"
#include "tk/tk_logger.h"

namespace
{

// The registry reports sizes in bytes of the caller's character type, terminator included.
std::size_t value_size(const plat::reg_value& value, std::size_t char_size)
{
    switch (value.type)
    {
    case plat::reg_type::dword:
        return sizeof(std::uint32_t);
    case plat::reg_type::sz:
        return char_size == 1 ? value.text.size() + 1
                              : char_size * (plat::utf8_to_wide_lossy(value.text).size() + 1);
    case plat::reg_type::none:
        break;
    }
    return 0;
}

int read_value(const plat::reg_store& store, const std::string& name, plat::reg_value& value,
               std::size_t char_size)
{
    const int code = store.get(name, value);
    tk_log(1, "type=%d, size=%d", static_cast<int>(value.type),
           static_cast<int>(value_size(value, char_size)));
    return code;
}

// A registry string ends at its first NUL, whichever way it came in.
template <class String>
String up_to_nul(const String& text)
{
    return text.substr(0, text.find(typename String::value_type()));
}

} // namespace

int tk_reg_key::create(const std::string& sub_key, plat::reg_disposition* disposition)
{
    return m_store.create(sub_key, disposition);
}

int tk_reg_key::get_value(std::uint32_t& out, const std::string& name) const
{
    tk_log(2, "tk_reg_key::get_value(ulong, %s)", name);
    plat::reg_value value;
    const int code = read_value(m_store, name, value, 1);
    if (code != plat::reg_ok)
    {
        return code;
    }
    if (value.type != plat::reg_type::dword)
    {
        return plat::reg_type_mismatch;
    }
    out = value.dword;
    return plat::reg_ok;
}

int tk_reg_key::get_value(std::string& out, const std::string& name) const
{
    tk_log(2, "tk_reg_key::get_value(LPSTR, %s)", name);
    plat::reg_value value;
    const int code = read_value(m_store, name, value, 1);
    if (code != plat::reg_ok)
    {
        return code;
    }
    if (value.type != plat::reg_type::sz)
    {
        return plat::reg_type_mismatch;
    }
    out = up_to_nul(value.text);
    return plat::reg_ok;
}

int tk_reg_key::get_value(std::wstring& out, const std::wstring& name) const
{
    tk_wlog(2, L"tk_reg_key::get_value(LPWSTR, %s)", name);
    plat::reg_value value;
    const int code = read_value(m_store, plat::wide_to_utf8(name), value, sizeof(wchar_t));
    if (code != plat::reg_ok)
    {
        return code;
    }
    if (value.type != plat::reg_type::sz)
    {
        return plat::reg_type_mismatch;
    }
    out = up_to_nul(plat::utf8_to_wide_lossy(value.text));
    return plat::reg_ok;
}

int tk_reg_key::set_value(std::uint32_t value, const std::string& name)
{
    if (!is_open())
    {
        throw tk_mail_assertion("tk_regk", 149);
    }
    return m_store.set_dword(name, value);
}

int tk_reg_key::set_value(const std::string& text, const std::string& name)
{
    if (!is_open())
    {
        throw tk_mail_assertion("tk_regk", 157);
    }
    return m_store.set_string(name, up_to_nul(text));
}

int tk_reg_key::set_value(const std::wstring& text, const std::wstring& name)
{
    if (!is_open())
    {
        throw tk_mail_assertion("tk_regk", 165);
    }
    return m_store.set_string(plat::wide_to_utf8(name), plat::wide_to_utf8(up_to_nul(text)));
}

bool tk_reg_key::exchange_dword(const std::string& name, std::uint32_t& value, bool store)
{
    if (!is_open())
    {
        return false;
    }
    if (store)
    {
        return set_value(value, name) == plat::reg_ok;
    }
    std::uint32_t loaded = 0;
    if (get_value(loaded, name) != plat::reg_ok)
    {
        return false;
    }
    value = loaded;
    return true;
}

bool tk_reg_key::exchange_bool(const std::string& name, bool& value, bool store)
{
    std::uint32_t number = value ? 1 : 0;
    if (!exchange_dword(name, number, store))
    {
        return false;
    }
    value = number != 0;
    return true;
}

bool tk_reg_key::exchange_string(const std::string& name, std::string& value, bool store)
{
    if (!is_open())
    {
        return false;
    }
    if (store)
    {
        return set_value(value, name) == plat::reg_ok;
    }
    std::string loaded;
    if (get_value(loaded, name) != plat::reg_ok || loaded.empty())
    {
        return false;
    }
    value = std::move(loaded);
    return true;
}

bool tk_reg_key::exchange_wstring(const std::wstring& name, std::wstring& value, bool store)
{
    if (!is_open())
    {
        return false;
    }
    if (store)
    {
        return set_value(value, name) == plat::reg_ok;
    }
    std::wstring loaded;
    if (get_value(loaded, name) != plat::reg_ok || loaded.empty())
    {
        return false;
    }
    value = std::move(loaded);
    return true;
}

tk_serializer::tk_serializer(std::string key_path)
    : m_key_path(std::move(key_path))
{
}
