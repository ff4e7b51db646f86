// conv_settings_page.h: the page of the conversion options: schema, definitions only, skip indexes.
#pragma once

#include "wizard/gui_bridge.h"
#include "wizard/wizard_page.h"

#include <functional>

class QCheckBox;
class dlg_animation;
class popup_combo;

/// Step 4: the PostgreSQL schema (an editable list filled from the source database, behind the
/// wait dialog, the first time it drops down; its first entry is empty, meaning every schema),
/// "convert table definitions only" and "skip converting indexes".
class conv_settings_page : public wizard_page
{
    Q_OBJECT
public:
    conv_settings_page();
    ~conv_settings_page() override;

    bool page_init() override;
    int on_next() override;
    int on_back() override;
    void join_worker() override { m_worker.join(); }

    /// The drop-down: lists the schemas once (until Back), then selects the first one that
    /// begins with the stored schema, else the empty entry.
    void on_dropdown();
    /// The fields into the converter: schema, definitions only, skip indexes; schema-qualified
    /// table names from now on.
    void store_file_info();
    bool filled() const { return m_filled; }

    /// For tests and pictures: called with the wait dialog once it shows.
    void set_wait_observer(std::function<void(dlg_animation&)> observer)
    {
        m_wait_observer = std::move(observer);
    }

private:
    popup_combo* m_schema;
    QCheckBox* m_tab_def;
    QCheckBox* m_skip_idx;
    bool m_filled = false;
    std::function<void(dlg_animation&)> m_wait_observer;
    // Last: destroyed (joined) first.
    wizard_worker m_worker;
};
