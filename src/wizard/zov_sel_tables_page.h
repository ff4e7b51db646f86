// zov_sel_tables_page.h: the page that selects the tables to convert.
#pragma once

#include "wizard/wizard_page.h"

#include <QStringList>
#include <string>
#include <vector>

class QLabel;
class QListWidget;
class QPushButton;

/// Step 5: every table of the source database and schema in an Available list; the user moves
/// tables to a Selected list (both sorted ignoring case). Next hands the Selected list, top to
/// bottom, to the converter as its tables. A commit page: the run that follows cannot be undone
/// by Back.
class zov_sel_tables_page : public wizard_page
{
    Q_OBJECT
public:
    /// The question of Next when tables are available and none is selected.
    static constexpr const wchar_t* question_text =
        L"There are no tables selected. Continue anyway?";

    zov_sel_tables_page();

    bool page_init() override;
    int on_next() override;

    /// Add: the selected Available entry moves; the entry at the same place (or the last one)
    /// is selected next, or, when Available is empty, the first Selected entry gets the focus.
    void on_add();
    void on_add_all();
    /// Remove and Remove all: the same with the lists swapped.
    void on_delete();
    void on_del_all();

    /// The names of a list, top to bottom.
    static QStringList names_of(const QListWidget& list);

private:
    /// Fills Available with `names` (Selected empty) and selects its first entry.
    void do_page_init(const std::vector<std::wstring>& names);
    /// Moves the entry at `row` of `from` to `to`.
    static void move_entry(QListWidget& from, int row, QListWidget& to);
    static void move_selected(QListWidget& from, QListWidget& to);
    static void move_all(QListWidget& from, QListWidget& to);

    QLabel* m_text;
    QLabel* m_available_label;
    QListWidget* m_available;
    QLabel* m_selected_label;
    QListWidget* m_selected;
    QPushButton* m_add;
    QPushButton* m_add_all;
    QPushButton* m_remove;
    QPushButton* m_remove_all;
};
