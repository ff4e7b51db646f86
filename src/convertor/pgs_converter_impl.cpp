// pgs_converter_impl.cpp: connecting to PostgreSQL, its lists, and the [pgs settings] keys.
#include "convertor/pgs_converter_impl.h"

#include "convertor/pgs_conversion_source.h"
#include "convertor/udb_converter.h"
#include "plat/plat_text.h"
#include "tk/tk_exception.h"
#include "tk/tk_logger.h"
#include "udb/udb_profile.h"

#include <cwctype>

std::optional<int> pgs_port_from_text(const std::wstring& text)
{
    const auto blank = [](wchar_t c) { return std::iswspace(static_cast<wint_t>(c)) != 0; };
    auto first = text.begin();
    auto last = text.end();
    while (first != last && blank(*first))
    {
        ++first;
    }
    while (last != first && blank(*(last - 1)))
    {
        --last;
    }
    if (first == last)
    {
        return 0;
    }
    // Digits only: a sign, a letter or a blank inside would otherwise name another port than
    // the one the text shows, or none at all.
    long value = 0;
    for (auto position = first; position != last; ++position)
    {
        if (*position < L'0' || *position > L'9')
        {
            return std::nullopt;
        }
        value = value * 10 + (*position - L'0');
        if (value > 65535)
        {
            return std::nullopt; // stops before the number can overflow
        }
    }
    if (value < 1)
    {
        return std::nullopt;
    }
    return static_cast<int>(value);
}

pgs_converter_impl::pgs_converter_impl()
    : m_source(std::make_unique<pgs_conversion_source>(m_engine))
{
}

pgs_converter_impl::~pgs_converter_impl() = default;

void pgs_converter_impl::set_connection(const std::string& host, const std::string& user,
                                        const std::string& password, int port)
{
    m_host = host;
    m_user = user;
    m_password = password;
    m_port = port;
}

void pgs_converter_impl::connect_pgs_server()
{
    tk_log(2, "pgs_converter_impl::connect_pgs_server");
    m_engine.connect(m_host, m_user, m_password, "", m_port);
}

void pgs_converter_impl::get_databases(std::vector<std::wstring>& list)
{
    tk_log(2, "pgs_converter_impl::get_databases");
    list = m_engine.get_contents();
}

void pgs_converter_impl::get_pgs_schemas(const std::wstring& database,
                                         std::vector<std::wstring>& list)
{
    tk_wlog(2, L"pgs_converter_impl::get_pgs_schemas(%s)", database);
    list.clear();
    try
    {
        const std::unique_ptr<udb_database> opened = m_source->open_db(database, L"");
        opened->get_schema_info(list);
    }
    catch (const tk_exception& error)
    {
        tk_log(3, "Cannot extract list of schemas: %s", error.message());
    }
}

bool pgs_converter_impl::test_query(const std::wstring&)
{
    tk_log(2, "pgs_converter_impl::test_query");
    return true;
}

void pgs_converter_impl::set_no_schema(bool on)
{
    m_no_schema = on;
    m_engine.set_no_schema(on);
}

void pgs_converter_impl::set_source(std::unique_ptr<conversion_source> source)
{
    m_source = std::move(source);
}

bool pgs_converter_impl::store_profile(udb_profile& profile) const
{
    tk_log(2, "pgs_converter_impl::store_profile");
    const auto set_when_given = [&](const wchar_t* key, const std::string& value)
    {
        if (!value.empty())
        {
            profile.set_value(profile_keys::pgs, key, plat::utf8_to_wide_lossy(value));
        }
    };
    set_when_given(L"host", m_host);
    set_when_given(L"user", m_user);
    set_when_given(L"password", m_password);
    profile.set_value(profile_keys::pgs, L"schema", m_schema);
    if (m_port != 0)
    {
        profile.set_value(profile_keys::pgs, L"port", std::to_wstring(m_port));
    }
    return true;
}

std::optional<int> pgs_converter_impl::profile_port(const udb_profile& profile)
{
    const std::wstring text = profile.get_value(profile_keys::pgs, L"port");
    if (text.empty())
    {
        return std::nullopt;
    }
    const std::optional<int> port = pgs_port_from_text(text);
    if (!port)
    {
        throw tk_exception(plat::wide_to_utf8(L"Invalid port number \"" + text +
                                              L"\" in the key \"port\" of [" + profile_keys::pgs +
                                              L"]: a whole number from 1 to 65535 is expected."),
                           tk_severity::ends_run);
    }
    return port;
}

void pgs_converter_impl::check_profile(const udb_profile& profile)
{
    profile_port(profile);
}

bool pgs_converter_impl::load_profile(const udb_profile& profile)
{
    tk_log(2, "pgs_converter_impl::load_profile");
    const auto take_when_given = [&](const wchar_t* key, std::string& field)
    {
        if (const std::wstring text = profile.get_value(profile_keys::pgs, key); !text.empty())
        {
            field = plat::wide_to_utf8(text);
        }
    };
    for (const wchar_t* key : {L"host", L"port", L"user", L"password"})
    {
        m_connection_in_profile =
            m_connection_in_profile || !profile.get_value(profile_keys::pgs, key).empty();
    }
    take_when_given(L"host", m_host);
    take_when_given(L"user", m_user);
    take_when_given(L"password", m_password);
    if (const std::wstring text = profile.get_value(profile_keys::pgs, L"schema"); !text.empty())
    {
        m_schema = text;
    }
    if (const std::optional<int> port = profile_port(profile))
    {
        m_port = *port;
    }
    return true;
}
