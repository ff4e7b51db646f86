// popup_combo.h: an editable combo box that lets its page fill the list before it drops down.
#pragma once

#include <QComboBox>
#include <functional>
#include <string>
#include <vector>

class dlg_animation;
class wizard_worker;

/// An editable, unsorted combo box whose list is filled on demand: about_to_popup() is emitted
/// before the list opens, so the page can list the server's names (behind the wait dialog)
/// first. Typed text is never added to the list.
class popup_combo : public QComboBox
{
    Q_OBJECT
public:
    explicit popup_combo(QWidget* parent = nullptr);

    void showPopup() override;

    /// Replaces the list with `names`; the typed text stays in the edit field.
    void set_names(const QStringList& names);
    /// Selects the first entry that begins with `prefix`, ignoring case, when `prefix` is not
    /// empty and an entry matches; otherwise the first entry with `fallback_first`, else nothing
    /// (the edit field keeps its text).
    void select_prefix(const QString& prefix, bool fallback_first);

signals:
    void about_to_popup();
};

/// Runs `lister` on `worker` while the wait dialog (owned by `owner`) animates and answers the
/// names it gave. A tk_exception goes to the error handler; when the handler ends the operation
/// (its final exception) or any other exception is thrown, the failure is shown and the names
/// listed so far are kept. Never throws what the lister threw.
std::vector<std::wstring>
list_behind_wait(QWidget* owner, wizard_worker& worker,
                 const std::function<void(std::vector<std::wstring>&)>& lister,
                 const std::function<void(dlg_animation&)>& dialog_shown);

/// `names` as Qt strings.
QStringList to_string_list(const std::vector<std::wstring>& names);
