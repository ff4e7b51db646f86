// wizard_error_handler.h: the error handler's wizard form, which shows the wizard's dialogs.
#pragma once

#include "convertor/error_handler.h"

class wizard_prompts;

/// Shows errors with the wizard's dialogs, from any thread (through the shell's bridge; before
/// the shell exists, directly with bare captions). Severity 2: the internal-error dialog, then
/// the end of the process (255). Severity 1: an error box, then tk_final_exception unless
/// `final_stage`. Severity 0: the continue/abort dialog; Abort throws tk_final_exception unless
/// `final_stage`, and "Do not show this dialog box again" silences later ones.
class wizard_error_handler : public error_handler
{
public:
    /// `prompts` must outlive the handler.
    wizard_error_handler(std::span<const tk_error_pair> table, wizard_prompts& prompts);

    void handle(const tk_exception& error, bool final_stage) override;

private:
    wizard_prompts& m_prompts;
};
