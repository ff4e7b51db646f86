// file_dialogs.cpp: the path split, the filter conversion, the extension rule and the dialogs.
#include "wizard/file_dialogs.h"

#include "tk/tk_exception.h"
#include "tk/tk_logger.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QMessageBox>
#include <QStringList>

namespace
{

/// The folder of the file chosen last in this session; empty before the first.
QString& last_chosen_folder()
{
    static QString folder;
    return folder;
}

} // namespace

void remember_chosen_file(const QString& path)
{
    last_chosen_folder() = path.isEmpty() ? QString() : QFileInfo(path).absolutePath();
}

file_dialog_start split_initial_path(const QString& path)
{
    if (path.isEmpty())
    {
        // Not the program's own folder (build/src/wizard, ~/.local/bin), where no profile or log
        // belongs: where the user went last in this session, else home.
        const QString& last = last_chosen_folder();
        return {last.isEmpty() ? QDir::homePath() : last, QString()};
    }
    const QFileInfo info(QDir::current(), path);
    return {info.absolutePath(), info.completeBaseName()};
}

QString qt_file_filter(const QString& pairs)
{
    QStringList entries = pairs.split(QChar(u'\0'));
    QStringList filters;
    for (qsizetype entry_idx = 0; entry_idx + 1 < entries.size(); entry_idx += 2)
    {
        const QString& description = entries[entry_idx];
        if (description.isEmpty())
        {
            break;
        }
        QStringList patterns = entries[entry_idx + 1].split(u';', Qt::SkipEmptyParts);
        for (QString& pattern : patterns)
        {
            // Qt's "*.*" would want a dot in every name; the Windows pattern means any file.
            if (pattern == "*.*")
            {
                pattern = "*";
            }
        }
        filters << QString("%1 (%2)").arg(description, patterns.join(u' '));
    }
    return filters.join(";;");
}

QString profile_filter(const QString& extension)
{
    const QString text = QString("Profile Files (.%1)|*.%1|All Files (*.*)|*.*|").arg(extension);
    tk_log(1, "welcome_page_t::on_load(%s)", text.toStdString());
    if (extension.size() != 3 && extension.size() != 4)
    {
        throw tk_mail_assertion("g_finish", 266);
    }
    QString pairs = text;
    pairs.replace(u'|', QChar(u'\0'));
    return pairs;
}

QString dotted_extension(const QString& default_ext)
{
    if (default_ext.isEmpty())
    {
        throw tk_mail_assertion("g_f_dlg", 111);
    }
    return default_ext.startsWith(u'.') ? default_ext : "." + default_ext;
}

QString with_default_extension(const QString& chosen, const QString& dotted_ext)
{
    return chosen.contains(dotted_ext, Qt::CaseSensitive) ? chosen : chosen + dotted_ext;
}

file_dialog::file_dialog(QWidget* owner, const QString& filter_pairs, const QString& title,
                         const QString& initial_path)
    : m_owner(owner)
    , m_filter(qt_file_filter(filter_pairs))
    , m_title(title)
    , m_start(split_initial_path(initial_path))
{
}

namespace
{

// Tests run without a desktop: Qt's own dialog then behaves the same everywhere.
QFileDialog::Options dialog_options()
{
    QFileDialog::Options options;
    if (QCoreApplication::testAttribute(Qt::AA_DontUseNativeDialogs) ||
        qEnvironmentVariableIsSet("ZOV_WIZARD_QT_DIALOGS"))
    {
        options |= QFileDialog::DontUseNativeDialog;
    }
    return options;
}

} // namespace

bool open_file_dialog::run()
{
    QFileDialog dialog(m_owner, m_title, m_start.folder, m_filter);
    dialog.setOptions(dialog_options());
    dialog.setFileMode(QFileDialog::ExistingFile);
    dialog.setAcceptMode(QFileDialog::AcceptOpen);
    dialog.selectFile(m_start.name);
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
    {
        return false;
    }
    m_file_name = dialog.selectedFiles().front();
    remember_chosen_file(m_file_name);
    return true;
}

save_file_dialog::save_file_dialog(QWidget* owner, const QString& filter_pairs,
                                   const QString& title, const QString& initial_path,
                                   const QString& default_ext)
    : file_dialog(owner, filter_pairs, title, initial_path)
    , m_default_ext(dotted_extension(default_ext))
{
}

bool save_file_dialog::run()
{
    QString start_name = m_start.name;
    for (;;)
    {
        QFileDialog dialog(m_owner, m_title, m_start.folder, m_filter);
        // Qt would ask about the name before the extension is added, and so miss "p.zov" when
        // "p" is typed; the question is asked below about the final name instead.
        dialog.setOptions(dialog_options() | QFileDialog::DontConfirmOverwrite);
        dialog.setFileMode(QFileDialog::AnyFile);
        dialog.setAcceptMode(QFileDialog::AcceptSave);
        dialog.selectFile(start_name);
        if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
        {
            return false;
        }
        const QString chosen =
            with_default_extension(dialog.selectedFiles().front(), m_default_ext);
        if (!QFileInfo::exists(chosen) ||
            QMessageBox::question(m_owner, m_title,
                                  QString("%1 already exists.\nDo you want to replace it?")
                                      .arg(QDir::toNativeSeparators(chosen)),
                                  QMessageBox::Yes | QMessageBox::No,
                                  QMessageBox::No) == QMessageBox::Yes)
        {
            m_file_name = chosen;
            remember_chosen_file(m_file_name);
            return true;
        }
        start_name = QFileInfo(chosen).fileName();
    }
}
