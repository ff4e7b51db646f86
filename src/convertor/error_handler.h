// error_handler.h: turns a caught failure into a message and a decision by its severity.
#pragma once

#include "tk/tk_error_report.h"
#include "tk/tk_exception.h"
#include "tk/tk_singleton.h"

#include <span>
#include <string>

/// The OLE DB half of the error-code table (codes are the low 16 bits of the HRESULT + 0x80000).
std::span<const tk_error_pair> oledb_error_texts();
/// The PostgreSQL half of the error-code table.
std::span<const tk_error_pair> pgs_error_texts();

/// The process-wide error handler. The shared part keeps the code-to-text map, the context and
/// the quiet flag; each front-end derives its own form of handle(): the agent prints, the wizard
/// shows dialogs.
class error_handler : public tk_singleton<error_handler>
{
public:
    /// Registers the singleton (a second one is an internal error) and loads `table`.
    explicit error_handler(std::span<const tk_error_pair> table);
    ~error_handler() override;

    void load_err_map(std::span<const tk_error_pair> table);

    /// The context put before every message ("orders, record #7"); empty for none.
    void set_context(const std::wstring& context);
    const std::string& context() const { return m_context; }

    bool quiet() const { return m_quiet; }
    void set_quiet(bool quiet) { m_quiet = quiet; }

    /// Reports `error` and decides by its severity. A front-end's form may throw
    /// tk_final_exception to end a run (never when `final_stage` is set) or end the program.
    virtual void handle(const tk_exception& error, bool final_stage) = 0;

protected:
    /// Context + ": " + the map's text for the code (else the exception's own text), followed on
    /// a line of its own by the exception's text when that came from the driver; logged as
    /// "Error:\n%s" and returned with every line feed replaced by a blank.
    std::string build_message(const tk_exception& error) const;
    /// True when the exception's text came from a driver or a server, not a placeholder.
    static bool carries_own_text(const tk_exception& error);

private:
    std::string m_context;
    bool m_quiet = false;
    tk_error_converter m_err_map;
};
