// wizard_prompts.h: every question the wizard asks its user, behind one replaceable object.
#pragma once

#include <QString>
#include <optional>

class QWidget;

/// The wizard's prompts: message boxes, its dialogs, the file dialogs, the help and mail openers
/// and the end of the process. This base shows the real ones; tests derive a scripted recorder
/// and hand it to the shell. Every call is made on the GUI thread (the shell's bridge sees to
/// it for the workers).
class wizard_prompts
{
public:
    virtual ~wizard_prompts() = default;

    /// An error box (critical icon, OK).
    virtual void error(QWidget* owner, const QString& caption, const QString& text);
    /// An information box (OK).
    virtual void message(QWidget* owner, const QString& caption, const QString& text);
    /// A Yes/No question with No as the default; true for Yes.
    virtual bool question(QWidget* owner, const QString& caption, const QString& text);
    /// The continue/abort dialog: 2 Continue, 1 Abort; `do_not_show` gets the check box.
    virtual int error_continue(QWidget* owner, const QString& caption, const QString& text,
                               bool& do_not_show);
    /// The overwrite dialog: 1 OK (with `mode` set to 0-3) or 2 Cancel (`mode` untouched).
    /// Its Help button calls `open_help` through the shell.
    virtual int overwrite(QWidget* owner, const QString& caption, const QString& text,
                          int help_topic, int& mode);
    /// The internal-error dialog: 1112 Send bug (after send_bug), 1 OK, 1108 Copy to clipboard.
    virtual int internal_error(QWidget* owner, const QString& caption, const QString& product_title,
                               const QString& text);
    /// An open dialog for an existing file; the chosen path or nothing. `filter_pairs` are
    /// NUL-separated description/pattern pairs (see qt_file_filter).
    virtual std::optional<QString> open_file(QWidget* owner, const QString& filter_pairs,
                                             const QString& title, const QString& initial_path);
    /// A save dialog; the chosen path with `default_ext` applied, or nothing.
    virtual std::optional<QString> save_file(QWidget* owner, const QString& filter_pairs,
                                             const QString& title, const QString& initial_path,
                                             const QString& default_ext);
    /// Opens a help file in the desktop's browser; false when it could not be handed over.
    virtual bool open_help(const QString& file);
    /// Hands an error report to the mail program (tk_send_bug).
    virtual void send_bug(const QString& title, const QString& text);
    /// Ends the process after an internal error: flushes the standard streams, then exits with
    /// `code` without running destructors. A test's form records it and returns.
    virtual void end_process(int code);
};
