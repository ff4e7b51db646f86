// gui_finish_page.h: the last page: the outcome, the errors and saving the settings.
#pragma once

#include "wizard/wizard_page.h"

class QLabel;
class QPlainTextEdit;
class QPushButton;

/// The finish page: the success text, or the error text with the errors the run kept, each on
/// one line with a blank line after it; Cancel and Help are off and Finish has the focus. "Save
/// Settings..." writes the settings to a profile file. Its title tells the outcome: "Conversion
/// is Completed" for a run that went through every table (with or without failed rows or
/// tables), "Conversion did not complete" with its own text for one that ended early, and
/// "Conversion did not start" for one stopped before it started.
class gui_finish_page : public wizard_page
{
    Q_OBJECT
public:
    /// `extension`: the profile extension without a dot (3 or 4 characters).
    gui_finish_page(const QString& success_text, const QString& error_text,
                    const QString& extension);

    bool page_init() override;

    /// Save Settings: the save dialog, then the profile. A profile that cannot be written is
    /// reported. Throws tk_mail_assertion ("g_finish", 141) for an extension that is not 3 or 4
    /// characters long.
    void on_store();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void focus_finish();

    QString m_success_text;
    QString m_error_text;
    QString m_extension;
    QLabel* m_title;
    QLabel* m_text;
    QPlainTextEdit* m_errors;
    QPushButton* m_save;
    bool m_first_focus = true;
};
