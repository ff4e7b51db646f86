// agent_options.h: the agent's options: the option table, the parser that applies them to the
// converter, the usage text and the checks of option values.
#pragma once

#include "zovagent/agent_console.h"

#include <optional>
#include <string>

/// The agent's version, shown in the first line of the usage text.
inline constexpr int agent_version_major = 1;
inline constexpr int agent_version_minor = 5;

/// The options, by their ids in the option table.
enum class agent_option : int
{
    dest = 0,
    help = 1,
    logfile = 2,
    mode = 3,
    mssqlh = 4,
    mssqlu = 5,
    mssqlp = 6,
    pgport = 7,
    posgsh = 8,
    posgsu = 9,
    posgsp = 10,
    profile = 11,
    silent = 12,
    skip_idx = 13,
    src = 14,
    tab_def = 15,
    tab_file = 16
};

/// Reads the options into the converter. Most act at once, in command-line order (a later
/// --src= overrides a profile loaded before it); the eight connection options act after the
/// whole line, and only when no profile was loaded. Answers false when an argument matched no
/// option (the caller prints the usage text). Ends the program through fatal_exit for --help,
/// an invalid --mode= or --pgport=, a missing --src= or --dest=, a missing or unreadable
/// table-list file or profile, and option text that is not UTF-8. Lets the converter's
/// tk_exception through (a refused --logfile=, a missing profile, an invalid profile port).
bool parse_cmd_line(int argc, char** argv, agent_context& context);

/// The usage text: the version line, then the options and notes, without a final line end.
std::string usage_text();

/// The mode of a --mode= value: exactly the decimal form of 0 to 4 ("04", "+1", "1x", "-1" and
/// an empty text are refused); nothing when refused.
std::optional<int> agent_mode(const char* text);

/// The PostgreSQL port of a --pgport= value: 0 (the driver's default) for an empty text, else
/// digits only with a value of at most 65535; nothing when refused.
std::optional<int> agent_port(const std::string& text);

/// An argument as the log shows it: the values of --mssqlp= and --posgsp= are masked.
std::string masked_argument(const char* argument);
