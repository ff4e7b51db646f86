// file_dialogs.h: the open and save dialogs of profiles and log files, and their path rules.
#pragma once

#include <QString>

class QWidget;

/// Where a file dialog starts: the folder and the name field.
struct file_dialog_start
{
    QString folder;
    QString name;
};

/// Splits an initial path into its full folder and its file name without extension ("/d/x.log"
/// gives "/d" and "x"); an empty path gives the folder of the file chosen last in this session
/// (see remember_chosen_file), else the user's home, and an empty name.
file_dialog_start split_initial_path(const QString& path);

/// Remembers the folder of `path`, a file the user chose in a file dialog, for the next dialog
/// that has no initial path; an empty `path` forgets it. GUI thread only.
void remember_chosen_file(const QString& path);

/// A filter of NUL-separated description/pattern pairs ending in an empty entry, as
/// "Profile Files (.zov)\0*.zov\0All Files (*.*)\0*.*\0", in Qt's form:
/// "Profile Files (.zov) (*.zov);;All Files (*.*) (*)". "*.*" matches every file.
QString qt_file_filter(const QString& pairs);

/// The filter pairs of profile files with `extension` ("zov"): "Profile Files (.zov)|*.zov|All
/// Files (*.*)|*.*|" with every "|" replaced by NUL. Throws tk_mail_assertion ("g_finish", 266)
/// unless the extension has 3 or 4 characters.
QString profile_filter(const QString& extension);

/// `default_ext` with a dot in front unless it starts with one. Throws tk_mail_assertion
/// ("g_f_dlg", 111) for an empty extension.
QString dotted_extension(const QString& default_ext);

/// The saved name: `chosen` with `dotted_ext` appended when it occurs nowhere in it (letter case
/// significant: "a.ZOV" gets ".zov", "a.zov.bak" nothing).
QString with_default_extension(const QString& chosen, const QString& dotted_ext);

/// The common part of the two file dialogs: owner, filter, title and starting place.
class file_dialog
{
public:
    /// `filter_pairs` as qt_file_filter takes them.
    file_dialog(QWidget* owner, const QString& filter_pairs, const QString& title,
                const QString& initial_path);
    virtual ~file_dialog() = default;
    file_dialog(const file_dialog&) = delete;
    file_dialog& operator=(const file_dialog&) = delete;

    /// Shows the dialog; true when the user chose a file.
    virtual bool run() = 0;
    /// The chosen file's full path.
    const QString& file_name() const { return m_file_name; }
    const file_dialog_start& start() const { return m_start; }
    const QString& filter() const { return m_filter; }

protected:
    QWidget* m_owner;
    QString m_filter;
    QString m_title;
    file_dialog_start m_start;
    QString m_file_name;
};

/// Opens an existing file only.
class open_file_dialog : public file_dialog
{
public:
    using file_dialog::file_dialog;
    bool run() override;
};

/// Saves a file; the chosen name gets the default extension by with_default_extension, and a
/// final name that exists is replaced only after a Yes to the question (No is the default).
class save_file_dialog : public file_dialog
{
public:
    /// Throws tk_mail_assertion ("g_f_dlg", 111) for an empty extension.
    save_file_dialog(QWidget* owner, const QString& filter_pairs, const QString& title,
                     const QString& initial_path, const QString& default_ext);
    bool run() override;
    const QString& default_ext() const { return m_default_ext; }

private:
    QString m_default_ext;
};
