// mss_server_fixture.h: the fixture of the suites that run against the SQL Server named by
// ZOV_TEST_MSSQL: connects, owns a database name of the test process, drops it before and after.
#pragma once

#include "mss/mss_engine.h"
#include "plat/oledb/oledb_providers.h"
#include "test_support.h"

#include <gtest/gtest.h>
#include <optional>
#include <string>
#include <unistd.h>

class mss_server_fixture : public testing::Test
{
protected:
    /// `prefix` names the suite's database; the process id keeps parallel runs apart.
    explicit mss_server_fixture(const std::wstring& prefix)
        : m_name(prefix + std::to_wstring(getpid()))
    {
    }

    void SetUp() override
    {
        m_login = test_support::mssql_login_from_env();
        if (!m_login)
        {
            GTEST_SKIP() << "ZOV_TEST_MSSQL is unset (\"server;user;password\"): no SQL Server to "
                            "test against";
        }
        plat::oledb::register_providers(m_table);
        m_engine.connect(m_login->server, m_login->user, m_login->password, true);
        m_engine.set_view_owned(false);
        if (m_engine.is_db_exist(m_name))
        {
            m_engine.delete_db(m_name);
        }
    }

    void TearDown() override
    {
        if (m_login && m_engine.connected() && m_engine.is_db_exist(m_name))
        {
            m_engine.delete_db(m_name);
        }
    }

    std::optional<test_support::mssql_login> m_login;
    plat::oledb::class_table m_table;
    mss_engine m_engine{true};
    const std::wstring m_name;
};
