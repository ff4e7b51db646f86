// agent_cmd_line.cpp: classifying command-line arguments by option prefix.
#include "zovagent/agent_cmd_line.h"

#include "tk/tk_exception.h"

#include <cstring>

ansi_cmd_line::ansi_cmd_line(int argc, char** argv, std::span<const cmd_line_option> table)
    : m_current(argv + 1)
    , m_remaining(argc > 0 ? argc - 1 : 0)
    , m_table(table)
{
    if (has_more())
    {
        classify();
    }
}

void ansi_cmd_line::next()
{
    if (!has_more())
    {
        throw tk_mail_assertion("tk_cmdli", 60);
    }
    ++m_current;
    --m_remaining;
    if (has_more())
    {
        classify();
    }
}

void ansi_cmd_line::classify()
{
    if (!has_more())
    {
        throw tk_mail_assertion("tk_cmdli", 19);
    }
    const char* argument = *m_current;
    for (const cmd_line_option& option : m_table)
    {
        const std::size_t length = std::strlen(option.prefix);
        if (length == 0)
        {
            break;
        }
        if (std::strncmp(argument, option.prefix, length) == 0)
        {
            m_id = option.id;
            m_value = argument + length;
            return;
        }
    }
    // Every unmatched argument is kept: the caller answers them with the usage text, however
    // many there are, instead of failing on a fixed-size list.
    m_id = -1;
    m_value = argument;
    m_unmatched.emplace_back(argument);
}
