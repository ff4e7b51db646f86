// zovagent.h: the console agent as a function: arguments and streams in, exit code out.
#pragma once

#include <functional>
#include <ostream>

class vandrel_convertor;

/// What a caller may do to the agent's converter before the options are read (tests install
/// fake sides there).
struct agent_hooks
{
    std::function<void(vandrel_convertor&)> prepare;
};

/// The program: reads the options, connects PostgreSQL, checks the source database, connects
/// SQL Server, checks the destination and runs the conversion, writing to `out` and `err`.
/// Answers 0 when the run went through (per-row and per-table errors included), -1 otherwise:
/// the usage text, a refused option, a missing database name, source database or table-list
/// file, any error that reaches this function (a failed connection or destination check among
/// them), a run ended by an error or a failure, and an error of severity 1 or 2 anywhere. Both
/// streams are flushed before it returns. Never throws and never ends the process.
int zovagent_main(int argc, char** argv, std::ostream& out, std::ostream& err,
                  const agent_hooks& hooks = {});
