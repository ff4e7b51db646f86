// sqlserver_run_fixture.h: a converter connected to the test PostgreSQL server and to the SQL
// Server of ZOV_TEST_MSSQL, as the agent connects them, with a destination name of the test
// process that is dropped afterwards.
#pragma once

#include "agent_sqlserver_check.h"
#include "convertor_fakes.h"
#include "pgs_test_server.h"
#include "plat/oledb/oledb_providers.h"
#include "plat/plat_text.h"

#include <gtest/gtest.h>
#include <memory>
#include <string>
#include <unistd.h>

class sqlserver_run_fixture
{
protected:
    /// Connects both servers (false, with the test skipped, when either is missing); the
    /// destination is "zov_conv_<pid>_" + `suffix`.
    bool connect_servers(const std::string& suffix)
    {
        const std::optional<agent_test::conversion_servers> servers =
            agent_test::conversion_servers_or_skip();
        if (!servers)
        {
            return false;
        }
        const agent_test::mssql_login* login = &servers->login;
        m_server = servers->source;
        m_dest = "zov_conv_" + std::to_string(::getpid()) + "_" + suffix;

        // As the agent does: the providers before the converter, whose engine needs them.
        plat::oledb::register_providers(m_classes);
        m_bench = std::make_unique<conv_test::run_bench>(convertor_flavour::agent);
        vandrel_convertor& converter = m_bench->converter();
        converter.set_connection(m_server.host, m_server.user, m_server.password, m_server.port);
        converter.connect_pgs_server();
        converter.set_sec_log(false);
        converter.set_connection(plat::utf8_to_wide_lossy(login->server),
                                 plat::utf8_to_wide_lossy(login->user),
                                 plat::utf8_to_wide_lossy(login->password));
        converter.connect_mssql_server();
        m_connected = true;
        return true;
    }

    /// Converts the PostgreSQL database `source` into the destination in `mode`.
    void convert_into_destination(const std::string& source, int mode)
    {
        vandrel_convertor& converter = m_bench->converter();
        converter.set_src(plat::utf8_to_wide_lossy(source));
        converter.set_dest(plat::utf8_to_wide_lossy(m_dest));
        converter.set_mode(mode);
        converter.check_dest();
        converter();
    }

    /// Drops the destination when the run or the test made it.
    void drop_destination()
    {
        if (!m_connected)
        {
            return;
        }
        // The engine reads the database list at connect, and the run created the destination.
        vandrel_convertor& converter = m_bench->converter();
        converter.connect_mssql_server();
        const std::wstring dest = plat::utf8_to_wide_lossy(m_dest);
        if (converter.mss().is_db_exist(dest))
        {
            converter.mss().delete_db(dest);
        }
    }

    pgs_test::server_settings m_server;
    std::string m_dest;
    plat::oledb::class_table m_classes;
    std::unique_ptr<conv_test::run_bench> m_bench;
    bool m_connected = false;
};
