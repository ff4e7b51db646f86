// mss_engine.cpp: the engine's construction, login storage and flags.
#include "mss/mss_engine.h"

#include "mss/odb_exception.h"
#include "tk/tk_logger.h"

mss_engine::mss_engine(bool no_co_initialize)
    : m_no_co_initialize(no_co_initialize)
{
    if (!m_no_co_initialize)
    {
        CoInitialize(nullptr);
    }
    if (odb_refused(CoCreateInstance(CLSID_OLEDB_CONVERSIONLIBRARY, nullptr, CLSCTX_ALL,
                                     IID_IDataConvert, m_data_convert.put_void())))
    {
        m_data_convert.reset();
    }
}

mss_engine::~mss_engine() = default;

void mss_engine::set_as_dbo(bool as_dbo)
{
    tk_log(1, "mss_engine::set_as_dbo(%d)", as_dbo);
    m_as_dbo = as_dbo;
}

void mss_engine::store_login(const std::wstring& server, const std::wstring& user,
                             const std::wstring& password)
{
    m_server = server;
    m_user = user;
    m_password = password;
    m_windows_auth = false;
}

void mss_engine::store_windows_login(const std::wstring& server)
{
    m_server = server;
    m_user.clear();
    m_password.clear();
    m_windows_auth = true;
}

mss_target mss_engine::target() const
{
    mss_target target;
    target.version_code = m_version_code;
    target.native_client = is_native_client();
    target.unicode = m_unicode;
    target.view_owned = m_view_owned;
    target.wide_index_keys = m_major_version >= major_2016 || m_version_code == version_azure;
    target.user = m_user;
    target.as_dbo = m_as_dbo;
    target.fast_load = m_fast_load;
    return target;
}
