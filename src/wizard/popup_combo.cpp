// popup_combo.cpp: the on-demand combo box of the database and options pages.
#include "wizard/popup_combo.h"

#include "convertor/error_handler.h"
#include "tk/tk_exception.h"
#include "tk/tk_logger.h"
#include "wizard/gui_bridge.h"
#include "wizard/wizard_dialogs.h"
#include "wizard/wizard_shell.h"

#include <QLineEdit>

popup_combo::popup_combo(QWidget* parent)
    : QComboBox(parent)
{
    setEditable(true);
    setInsertPolicy(QComboBox::NoInsert);
    lineEdit()->setMaxLength(259);
}

void popup_combo::showPopup()
{
    emit about_to_popup();
    QComboBox::showPopup();
}

void popup_combo::set_names(const QStringList& names)
{
    const QString typed = currentText();
    clear();
    addItems(names);
    // Adding the first item would put it into the edit field; the typed text stays instead.
    setCurrentIndex(-1);
    setEditText(typed);
}

void popup_combo::select_prefix(const QString& prefix, bool fallback_first)
{
    if (!prefix.isEmpty())
    {
        // Without Qt::MatchCaseSensitive the prefix match ignores case.
        const int found = findText(prefix, Qt::MatchStartsWith);
        if (found >= 0)
        {
            setCurrentIndex(found);
            return;
        }
    }
    if (fallback_first && count() > 0)
    {
        setCurrentIndex(0);
    }
}

std::vector<std::wstring>
list_behind_wait(QWidget* owner, wizard_worker& worker,
                 const std::function<void(std::vector<std::wstring>&)>& lister,
                 const std::function<void(dlg_animation&)>& dialog_shown)
{
    std::vector<std::wstring> names;
    run_with_wait_dialog(
        owner, dlg_animation::pgs_text, worker,
        [&names, &lister]
        {
            try
            {
                try
                {
                    lister(names);
                }
                catch (const tk_final_exception&)
                {
                    throw;
                }
                catch (const tk_exception& error)
                {
                    if (error_handler* handler = error_handler::find())
                    {
                        handler->handle(error, false);
                    }
                    else
                    {
                        wizard_shell::instance().error_a(error.message());
                    }
                }
                catch (const std::exception& error)
                {
                    wizard_shell::instance().error_a(error.what());
                }
            }
            catch (const tk_final_exception&)
            {
                // The handler has shown the error and ends the listing: keep what was listed.
                tk_log(2, "The listing was ended by its error");
            }
            catch (...)
            {
                // Showing the failure failed as well (the window is going away).
                tk_log(3, "A listing failure could not be shown");
            }
        },
        dialog_shown);
    return names;
}

QStringList to_string_list(const std::vector<std::wstring>& names)
{
    QStringList list;
    list.reserve(static_cast<qsizetype>(names.size()));
    for (const std::wstring& name : names)
    {
        list.push_back(QString::fromStdWString(name));
    }
    return list;
}
