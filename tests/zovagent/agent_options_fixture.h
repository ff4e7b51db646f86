// agent_options_fixture.h: the agent's objects built in-process for reading options: a logger
// writing every level to a temporary file, the console error handler and the converter.
#pragma once

#include "convertor/vandrel_convertor.h"
#include "test_support.h"
#include "tk/tk_logger.h"
#include "zovagent/agent_console.h"
#include "zovagent/agent_options.h"

#include <gtest/gtest.h>
#include <sstream>
#include <string>
#include <vector>

namespace agent_test
{

class AgentOptions : public testing::Test
{
protected:
    /// parse_cmd_line over `arguments` with the program name before them.
    bool parse(std::vector<std::string> arguments)
    {
        arguments.insert(arguments.begin(), "zovagent");
        std::vector<char*> argv;
        for (std::string& text : arguments)
        {
            argv.push_back(text.data());
        }
        return parse_cmd_line(static_cast<int>(argv.size()), argv.data(), m_context);
    }

    std::string log_text() const { return test_support::read_file(m_log_path); }

    /// The log's lines that begin with `prefix`, without their line ends.
    std::vector<std::string> log_lines_starting(const std::string& prefix) const
    {
        std::istringstream lines(log_text());
        std::vector<std::string> found;
        std::string line;
        while (std::getline(lines, line))
        {
            if (!line.empty() && line.back() == '\r')
            {
                line.pop_back();
            }
            if (line.rfind(prefix, 0) == 0)
            {
                found.push_back(line);
            }
        }
        return found;
    }

    test_support::temp_dir m_dir;
    std::string m_log_path = m_dir.file("agent.log");
    std::ostringstream m_out;
    std::ostringstream m_err;
    tk_logger m_logger{m_log_path.c_str(), true, 0, false};
    agent_error_handler m_handler{pgs_error_texts(), m_out, m_err};
    vandrel_convertor m_converter{convertor_flavour::agent};
    agent_context m_context{m_out, m_err, m_converter, m_handler};
};

} // namespace agent_test
