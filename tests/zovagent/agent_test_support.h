// agent_test_support.h: running the agent as a process or in-process, and the test PostgreSQL
// server's options for it.
#pragma once

#include "pgs_test_server.h"
#include "test_support.h"

class vandrel_convertor;

#include <functional>
#include <gtest/gtest.h>
#include <optional>
#include <string>
#include <vector>

namespace agent_test
{

/// How a run of the agent ended and what it wrote.
struct agent_result
{
    /// The exit status (255 for -1), or 128 + the signal that ended the process.
    int status = -1;
    std::string out;
    std::string err;
};

/// Runs the built zovagent with `arguments` (without the program name), standard input empty,
/// and waits for it.
agent_result run_process(const std::vector<std::string>& arguments);

/// Runs zovagent_main in this process with `arguments` (the program name is added).
/// `prepare` may replace the converter's sides before the options are read.
agent_result run_in_process(const std::vector<std::string>& arguments,
                            const std::function<void(vandrel_convertor&)>& prepare = {});

/// A test that needs the test PostgreSQL server: skips with the reason when PGHOST is unset,
/// and fails instead under ZOV_REQUIRE_PG=1.
template <class Base = ::testing::Test>
class server_test : public Base
{
protected:
    void SetUp() override
    {
        if (!test_support::pg_server_or_skip())
        {
            return;
        }
        m_server = *pgs_test::server_from_env();
    }

    pgs_test::server_settings m_server;
};

/// The options that reach the test server: --posgsh=, --pgport=, --posgsu=, --posgsp=.
std::vector<std::string> server_options(const pgs_test::server_settings& settings);

/// A port on 127.0.0.1 where nothing listens (it was free a moment ago).
int unused_port();

} // namespace agent_test
