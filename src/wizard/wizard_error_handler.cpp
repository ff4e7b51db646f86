// wizard_error_handler.cpp: severity decides between the three dialogs and what follows them.
#include "wizard/wizard_error_handler.h"

#include "plat/plat_text.h"
#include "tk/tk_logger.h"
#include "wizard/wizard_prompts.h"
#include "wizard/wizard_shell.h"

wizard_error_handler::wizard_error_handler(std::span<const tk_error_pair> table,
                                           wizard_prompts& prompts)
    : error_handler(table)
    , m_prompts(prompts)
{
}

void wizard_error_handler::handle(const tk_exception& error, bool final_stage)
{
    tk_log(2, "error_handler::handle");
    wizard_shell* shell = wizard_shell::find();
    if (error.level() == tk_severity::internal)
    {
        tk_log(3, "Internal error:\n%s", error.message());
        if (shell != nullptr)
        {
            shell->internal_error(error.message());
        }
        else
        {
            m_prompts.internal_error(nullptr, "Error", QString(),
                                     QString::fromStdString(error.message()));
        }
        m_prompts.end_process(255);
        return;
    }
    const std::string text = build_message(error);
    if (shell != nullptr && shell->is_initialized())
    {
        shell->append_error(text);
    }
    if (error.level() == tk_severity::ends_run)
    {
        tk_log(2, "Got 1-level error");
        if (!quiet())
        {
            tk_log(2, "Step 1");
            if (shell != nullptr)
            {
                shell->error_a(text);
            }
            else
            {
                m_prompts.error(nullptr, "Error", QString::fromStdString(text));
            }
        }
        tk_log(2, "Step 2");
        if (!final_stage)
        {
            throw tk_final_exception();
        }
        return;
    }
    tk_log(2, "Got 0-level error");
    if (quiet())
    {
        return;
    }
    bool do_not_show = false;
    const int result =
        shell != nullptr
            ? shell->error_continue(text, do_not_show)
            : m_prompts.error_continue(nullptr, "Error", QString::fromStdString(text), do_not_show);
    if (result == 1 && !final_stage)
    {
        throw tk_final_exception();
    }
    set_quiet(do_not_show);
}
