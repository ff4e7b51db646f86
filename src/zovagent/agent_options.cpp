// agent_options.cpp: the option table and the parser that applies the options to the converter.
#include "zovagent/agent_options.h"

#include "convertor/vandrel_convertor.h"
#include "plat/plat_text.h"
#include "tk/tk_exception.h"
#include "tk/tk_logger.h"
#include "zovagent/agent_cmd_line.h"
#include "zovagent/agent_tab_file.h"

#include <cstdlib>

namespace
{

constexpr cmd_line_option option_table[] = {
    {static_cast<int>(agent_option::dest), "--dest="},
    {static_cast<int>(agent_option::help), "--help"},
    {static_cast<int>(agent_option::logfile), "--logfile="},
    {static_cast<int>(agent_option::mode), "--mode="},
    {static_cast<int>(agent_option::mssqlh), "--mssqlh="},
    {static_cast<int>(agent_option::mssqlu), "--mssqlu="},
    {static_cast<int>(agent_option::mssqlp), "--mssqlp="},
    {static_cast<int>(agent_option::pgport), "--pgport="},
    {static_cast<int>(agent_option::posgsh), "--posgsh="},
    {static_cast<int>(agent_option::posgsu), "--posgsu="},
    {static_cast<int>(agent_option::posgsp), "--posgsp="},
    {static_cast<int>(agent_option::profile), "--profile="},
    {static_cast<int>(agent_option::silent), "--silent"},
    {static_cast<int>(agent_option::skip_idx), "--skip_idx"},
    {static_cast<int>(agent_option::src), "--src="},
    {static_cast<int>(agent_option::tab_def), "--tab_def"},
    {static_cast<int>(agent_option::tab_file), "--tab_file="},
    {-1, ""}};

/// The connection options, kept until the whole line is read.
struct connection_options
{
    std::string pgs_port = "5432";
    std::string pgs_host;
    std::string pgs_user;
    std::string pgs_password;
    std::wstring mss_host;
    std::wstring mss_user;
    std::wstring mss_password;
};

/// A value of a wide option. Text that is not UTF-8 is refused: a replaced character would name
/// another database, or even create one under the wrong name.
std::wstring wide_value(const agent_context& context, const char* option, const char* value)
{
    std::wstring wide;
    if (!plat::utf8_to_wide(value, wide))
    {
        fatal_exit(context, std::string("The value of ") + option + " is not valid UTF-8 text.");
    }
    return wide;
}

/// Applies each server's connection options unless a loaded profile gave that server a
/// connection: that one stands whole, while a profile that names no connection must not send the
/// run to the local defaults, where a database of the destination's name may be another's.
void apply_connection(agent_context& context, const connection_options& options)
{
    vandrel_convertor& converter = context.converter;
    if (!converter.pgs_connection_in_profile())
    {
        const std::optional<int> port = agent_port(options.pgs_port);
        if (!port)
        {
            fatal_exit(context, "Invalid port number");
        }
        converter.set_connection(options.pgs_host, options.pgs_user, options.pgs_password, *port);
    }
    if (!converter.mss_connection_in_profile())
    {
        converter.set_sec_log(options.mss_user.empty() && options.mss_password.empty());
        converter.set_connection(options.mss_host, options.mss_user, options.mss_password);
    }
}

/// Acts on one option; the connection options are only collected.
void apply_option(agent_context& context, agent_option option, const char* value,
                  connection_options& connection)
{
    vandrel_convertor& converter = context.converter;
    switch (option)
    {
    case agent_option::dest:
        converter.set_dest(wide_value(context, "--dest=", value));
        tk_log(2, "\tgot dest %s", value);
        break;
    case agent_option::help:
        fatal_exit(context, usage_text());
    case agent_option::logfile:
        try
        {
            converter.set_logfile(value);
        }
        catch (const tk_exception& error)
        {
            // Said before any connection, naming the option: a log that cannot be written
            // would otherwise be lost in silence.
            throw tk_exception("--logfile=" + std::string(value) + ": " + error.message(),
                               error.severity());
        }
        tk_log(2, "parse_cmd_line - got logfile %s", value);
        break;
    case agent_option::mode:
    {
        const std::optional<int> mode = agent_mode(value);
        // strtol: a number beyond the range of long is clamped, never undefined.
        tk_log(2, "\tgot mode %d", std::strtol(value, nullptr, 10));
        if (!mode)
        {
            fatal_exit(context, "Invalid merge/overwrite mode");
        }
        converter.set_mode(*mode);
        break;
    }
    case agent_option::mssqlh:
        connection.mss_host = wide_value(context, "--mssqlh=", value);
        break;
    case agent_option::mssqlu:
        connection.mss_user = wide_value(context, "--mssqlu=", value);
        break;
    case agent_option::mssqlp:
        connection.mss_password = wide_value(context, "--mssqlp=", value);
        break;
    case agent_option::pgport:
        connection.pgs_port = value;
        break;
    case agent_option::posgsh:
        connection.pgs_host = value;
        break;
    case agent_option::posgsu:
        connection.pgs_user = value;
        break;
    case agent_option::posgsp:
        connection.pgs_password = value;
        break;
    case agent_option::profile:
        // A profile that cannot be read would otherwise be passed over in silence, and the run
        // would go on with the defaults, mode 0 among them, which drops the destination.
        if (!converter.load_profile_file(wide_value(context, "--profile=", value)))
        {
            fatal_exit(context, "Profile cannot be read. Please verify that the file is a "
                                "conversion profile.");
        }
        tk_log(2, "parse_cmd_line - got profile %s", value);
        break;
    case agent_option::silent:
        converter.set_silent(true);
        context.handler.set_quiet(true);
        tk_log(2, "parse_cmd_line - silent mode is ON");
        break;
    case agent_option::skip_idx:
        converter.set_skip_idx(true);
        tk_log(2, "\tskip converting indexes");
        break;
    case agent_option::src:
        converter.set_src(wide_value(context, "--src=", value));
        tk_log(2, "\tparse_cmd_line - got src %s", value);
        break;
    case agent_option::tab_def:
        converter.set_tab_def(true);
        tk_log(2, "\tconvert table definitions only");
        break;
    case agent_option::tab_file:
        process_tab_file(value, context);
        tk_log(2, "\tparse_cmd_line - got tab_file %s", value);
        break;
    }
}

} // namespace

bool parse_cmd_line(int argc, char** argv, agent_context& context)
{
    tk_log(2, "parse_cmd_line");
    for (int index = 0; index < argc; ++index)
    {
        tk_log(1, "parameter #%d: %s", index, masked_argument(argv[index]));
    }
    connection_options connection;
    ansi_cmd_line line(argc, argv, option_table);
    while (line.has_more())
    {
        if (line.id() >= 0)
        {
            apply_option(context, static_cast<agent_option>(line.id()), line.value(), connection);
        }
        line.next();
    }
    if (!line.unmatched().empty())
    {
        return false;
    }
    if (context.converter.src().empty())
    {
        fatal_exit(context, "You should enter source PostgreSQL database name");
    }
    if (context.converter.dest().empty())
    {
        fatal_exit(context, "You should enter destination MS SQL database name");
    }
    apply_connection(context, connection);
    return true;
}
