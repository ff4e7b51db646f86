// mss_conversion_destination.cpp: destination databases through the SQL Server engine.
#include "convertor/mss_conversion_destination.h"

#include "mss/mss_database.h"
#include "mss/mss_engine.h"

mss_conversion_destination::mss_conversion_destination(mss_engine& engine)
    : m_engine(engine)
{
}

void mss_conversion_destination::connect(const std::wstring& server, const std::wstring& user,
                                         const std::wstring& password, bool windows_auth)
{
    constexpr bool fast_load = true;
    if (windows_auth)
    {
        m_engine.connect(server, fast_load);
    }
    else
    {
        m_engine.connect(server, user, password, fast_load);
    }
}

bool mss_conversion_destination::is_db_exist(const std::wstring& name)
{
    return m_engine.is_db_exist(name);
}

void mss_conversion_destination::delete_db(const std::wstring& name)
{
    m_engine.delete_db(name);
}

std::unique_ptr<udb_database> mss_conversion_destination::open_db(const std::wstring& name,
                                                                  int open_mode)
{
    return m_engine.open_db(name, open_mode);
}

std::unique_ptr<udb_database> mss_conversion_destination::create_db(const std::wstring& name)
{
    return m_engine.create_db(name);
}

void mss_conversion_destination::begin_run()
{
    m_engine.set_view_owned(false);
}
