// mssql_converter_impl.cpp: connecting to SQL Server and the [MS SQL Server settings] keys.
#include "convertor/mssql_converter_impl.h"

#include "convertor/udb_converter.h"
#include "tk/tk_exception.h"
#include "tk/tk_logger.h"
#include "udb/udb_profile.h"

#ifdef ZOV_HAVE_SQL_SERVER_SIDE
#include "convertor/mss_conversion_destination.h"
#endif

namespace
{

const wchar_t* flag_text(bool on)
{
    return on ? L"1" : L"0";
}

} // namespace

mssql_converter_impl::mssql_converter_impl()
    : m_engine(false)
{
#ifdef ZOV_HAVE_SQL_SERVER_SIDE
    m_destination = std::make_unique<mss_conversion_destination>(m_engine);
#endif
}

mssql_converter_impl::~mssql_converter_impl() = default;

void mssql_converter_impl::set_connection(const std::wstring& host, const std::wstring& user,
                                          const std::wstring& password)
{
    m_host = host;
    m_user = user;
    m_password = password;
}

void mssql_converter_impl::connect_mssql_server()
{
    tk_log(2, "mssql_converter_impl::connect_mssql_server");
    destination().connect(m_host, m_user, m_password, m_sec_log);
}

conversion_destination& mssql_converter_impl::destination()
{
    if (!m_destination)
    {
        throw tk_exception("This build of the program cannot reach MS SQL Server.",
                           tk_severity::ends_run);
    }
    return *m_destination;
}

void mssql_converter_impl::set_destination(std::unique_ptr<conversion_destination> destination)
{
    m_destination = std::move(destination);
}

bool mssql_converter_impl::store_profile(udb_profile& profile) const
{
    tk_log(2, "mssql_converter_impl::store_profile");
    profile.set_value(profile_keys::mssql, L"server", m_host);
    profile.set_value(profile_keys::mssql, L"windows authentication", flag_text(m_sec_log));
    profile.set_value(profile_keys::mssql, L"login", m_user);
    if (!m_password.empty())
    {
        profile.set_value(profile_keys::mssql, L"password", m_password);
    }
    profile.set_value(profile_keys::mssql, L"connect as DBO", flag_text(m_engine.as_dbo()));
    profile.set_value(profile_keys::mssql, L"dump insert comments",
                      flag_text(m_dump_options.dump_insert_comments));
    profile.set_value(profile_keys::mssql, L"dump create database",
                      flag_text(m_dump_options.dump_create_database));
    profile.set_value(profile_keys::mssql, L"dump create table",
                      flag_text(m_dump_options.dump_create_table));
    return true;
}

bool mssql_converter_impl::load_profile(const udb_profile& profile)
{
    tk_log(2, "mssql_converter_impl::load_profile");
    const auto value = [&](const wchar_t* key)
    { return profile.get_value(profile_keys::mssql, key); };
    const auto take_when_given = [&](const wchar_t* key, std::wstring& field)
    {
        if (std::wstring text = value(key); !text.empty())
        {
            field = std::move(text);
        }
    };
    // Flags are true only for "1"; an empty or missing value keeps the flag.
    const auto flag_when_given = [&](const wchar_t* key, bool& field)
    {
        if (const std::wstring text = value(key); !text.empty())
        {
            field = text == L"1";
        }
    };
    // The wizard writes server= and login= even when they are empty: only a value counts.
    for (const wchar_t* key : {L"server", L"login", L"password", L"windows authentication"})
    {
        m_connection_in_profile = m_connection_in_profile || !value(key).empty();
    }
    take_when_given(L"server", m_host);
    flag_when_given(L"windows authentication", m_sec_log);
    take_when_given(L"login", m_user);
    take_when_given(L"password", m_password);
    if (const std::wstring text = value(L"connect as DBO"); !text.empty())
    {
        m_engine.set_as_dbo(text == L"1");
    }
    flag_when_given(L"dump insert comments", m_dump_options.dump_insert_comments);
    flag_when_given(L"dump create database", m_dump_options.dump_create_database);
    flag_when_given(L"dump create table", m_dump_options.dump_create_table);
    return true;
}
