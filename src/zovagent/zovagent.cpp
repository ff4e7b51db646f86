// zovagent.cpp: the agent's construction order, connect sequence, run and exit codes.
#include "zovagent/zovagent.h"

#include "convertor/vandrel_convertor.h"
#include "plat/oledb/oledb_providers.h"
#include "plat/plat_text.h"
#include "tk/tk_logger.h"
#include "zovagent/agent_console.h"
#include "zovagent/agent_options.h"

namespace
{

/// Points the converter at a reporter for the length of a run, also when the run's error
/// handler ends the program from inside it.
class scoped_reporter
{
public:
    scoped_reporter(vandrel_convertor& converter, conversion_reporter& reporter)
        : m_converter(converter)
    {
        m_converter.set_reporter(&reporter);
    }
    ~scoped_reporter() { m_converter.set_reporter(nullptr); }
    scoped_reporter(const scoped_reporter&) = delete;
    scoped_reporter& operator=(const scoped_reporter&) = delete;

private:
    vandrel_convertor& m_converter;
};

/// Says once, at the end, that the trace log lost lines (a full disk); the exit status stays
/// the run's, since the rows arrived.
void report_lost_log_lines(const agent_context& context)
{
    const tk_logger* logger = tk_logger::find();
    if (logger == nullptr || !logger->write_failed() || context.converter.silent())
    {
        return;
    }
    context.err << logger->write_failure_text() << std::endl;
}

/// Parse, connect, check, run. Answers the exit code of a run that was started.
int connect_and_run(int argc, char** argv, agent_context& context, agent_error_handler& handler)
{
    vandrel_convertor& converter = context.converter;
    bool parsed = false;
    try
    {
        parsed = argc > 1 && parse_cmd_line(argc, argv, context);
    }
    catch (const tk_exception& error)
    {
        // An option, a profile or a table list was refused: said where the other refusals are.
        handler.refuse(error);
    }
    if (!parsed)
    {
        fatal_exit(context, usage_text());
    }
    converter.connect_pgs_server();
    if (!converter.pgs().is_db_exist(converter.src()))
    {
        fatal_exit(context,
                   "Database '" + plat::wide_to_utf8(converter.src()) + "' does not exist");
    }
    converter.connect_mssql_server();
    converter.check_dest();

    agent_reporter reporter(context.out, context.err, converter);
    {
        const scoped_reporter scope(converter, reporter);
        converter();
    }
    report_lost_log_lines(context);
    // A run that ended early through an error, a failure or a lost server did not convert the
    // database; one that went through but reported failures on the way did not convert all of
    // it, and a script must be able to tell.
    if (reporter.run_failed_seen() || handler.run_ended_by_error() || converter.connection_lost())
    {
        return -1;
    }
    return converter.failures_reported() > 0 ? 1 : 0;
}

int run_agent(int argc, char** argv, std::ostream& out, std::ostream& err, const agent_hooks& hooks)
{
    tk_logger logger(nullptr, false, 3, false);
    // Before the converter: its SQL Server engine creates a platform object at construction.
    plat::oledb::class_table classes;
    plat::oledb::register_providers(classes);
    agent_error_handler handler(pgs_error_texts(), out, err);
    handler.load_err_map(oledb_error_texts());
    vandrel_convertor converter(convertor_flavour::agent);
    agent_context context{out, err, converter, handler};
    try
    {
        if (hooks.prepare)
        {
            hooks.prepare(converter);
        }
        return connect_and_run(argc, argv, context, handler);
    }
    catch (const tk_exception& error)
    {
        // Severity 1 and 2 end the program from inside the handler (process_exit).
        handler.handle(error, false);
        // Severity 0, for example a failed connection or destination check: it was printed,
        // and nothing was converted, so the program must not report success.
        return -1;
    }
    catch (const std::exception& error)
    {
        fatal_exit(context, error.what());
    }
}

} // namespace

int zovagent_main(int argc, char** argv, std::ostream& out, std::ostream& err,
                  const agent_hooks& hooks)
{
    int code = -1;
    try
    {
        code = run_agent(argc, argv, out, err, hooks);
    }
    catch (const process_exit& exit)
    {
        code = exit.code;
    }
    catch (const std::exception& error)
    {
        // The start-up itself failed, before the converter could report anything.
        err << error.what() << '\n';
    }
    catch (...)
    {
        err << "Unknown exception\n";
    }
    out.flush();
    err.flush();
    return code;
}
