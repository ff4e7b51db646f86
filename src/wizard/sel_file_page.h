// sel_file_page.h: the page that selects the source and destination databases and the log file.
#pragma once

#include "wizard/gui_bridge.h"
#include "wizard/wizard_page.h"

#include <functional>
#include <string>
#include <vector>

class QLineEdit;
class QPushButton;
class dlg_animation;
class popup_combo;

/// Step 3: the source PostgreSQL database (an editable list filled from the server, behind the
/// wait dialog, the first time it drops down), the destination SQL Server database and the
/// trace-log file. Next checks both names and both databases and asks what to do with an
/// existing destination; the answer is only recorded as the mode: nothing is dropped before the
/// progress page starts the run.
class sel_file_page : public wizard_page
{
    Q_OBJECT
public:
    /// The text of the overwrite dialog for an existing destination.
    static constexpr const wchar_t* overwrite_text =
        L"The destination database already exists. Select one of the options below. Click "
        L"'Help' button for more information.";

    sel_file_page();
    ~sel_file_page() override;

    bool page_init() override;
    int on_next() override;
    int on_back() override;
    void join_worker() override { m_worker.join(); }

    /// The drop-down: lists the databases once (until Back), then selects the first one that
    /// begins with the stored source name.
    void on_dropdown();
    /// The user chose a source database: it becomes the destination name and the table
    /// selection starts empty.
    void on_sel_change();
    /// The fields into the converter: source, destination and log file (which an empty field
    /// switches off). Throws tk_exception when the log file is refused. Without `check_log`
    /// (Back) the log file is only kept, unchecked, and the log left as it is.
    void store_file_info(bool check_log = true);
    /// True once the list holds the server's databases.
    bool filled() const { return m_filled; }

    /// For tests and pictures: where the names and the existence of a source database come
    /// from (the converter's PostgreSQL engine by default), and the wait dialog once it shows.
    void set_database_lister(std::function<void(std::vector<std::wstring>&)> lister)
    {
        m_lister = std::move(lister);
    }
    void set_source_checker(std::function<bool(const std::wstring&)> checker)
    {
        m_source_exists = std::move(checker);
    }
    void set_wait_observer(std::function<void(dlg_animation&)> observer)
    {
        m_wait_observer = std::move(observer);
    }

private:
    void browse_log_file();
    int check_databases();

    popup_combo* m_source;
    QLineEdit* m_destination;
    QLineEdit* m_log_file;
    QPushButton* m_browse;
    bool m_filled = false;
    std::function<void(std::vector<std::wstring>&)> m_lister;
    std::function<bool(const std::wstring&)> m_source_exists;
    std::function<void(dlg_animation&)> m_wait_observer;
    // Last: destroyed (joined) first, before anything its listing writes to goes.
    wizard_worker m_worker;
};
