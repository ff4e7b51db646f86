// mssql_settings_page.h: Step 2, the SQL Server connection, made on a worker behind the wait.
#pragma once

#include "wizard/gui_bridge.h"
#include "wizard/wizard_page.h"

#include <atomic>
#include <functional>
#include <optional>
#include <string>

class QCheckBox;
class QLineEdit;
class QRadioButton;
class dlg_animation;

/// The SQL Server page. Next stores the fields and connects on the page's worker while the wait
/// dialog animates; the page stays unless the connection was made. A failed connection (any
/// error of severity 0 or 1, or a library's exception) is shown once the wait dialog has closed,
/// with the driver's own text under the wizard's; only an internal error ends the program.
class mssql_settings_page : public wizard_page
{
    Q_OBJECT
public:
    mssql_settings_page();
    ~mssql_settings_page() override;

    bool page_init() override;
    int on_next() override;
    int on_back() override;
    void join_worker() override { m_worker.join(); }

    /// The fields into the converter: Windows authentication, server, login, password and
    /// "connect as database owner".
    void mss_settings_store();
    /// Connects on the worker behind the wait dialog (owned by the active window) with the
    /// converter's settings; true when connected. The quick launch uses it too.
    bool connect_with_wait();
    bool connected() const { return m_connected.load(std::memory_order_acquire); }

    /// For tests and pictures: called with the wait dialog once it shows.
    void set_wait_observer(std::function<void(dlg_animation&)> observer)
    {
        m_wait_observer = std::move(observer);
    }

    /// The text shown for a refused connection whose code is E_FAIL's: the wizard's sentence,
    /// then `driver_text` (the driver's own message, as the agent prints it) under it when
    /// there is one.
    static std::string host_refusal(const std::string& driver_text);

private:
    /// Why the worker's connection failed, for the GUI thread to show after the wait.
    struct connect_failure
    {
        bool internal = false;
        std::string text;
    };

    void set_windows_auth(bool windows);
    /// The worker's body: connect, and keep a failure for connect_with_wait to show; never
    /// throws and shows nothing.
    void connect_worker();

    QLineEdit* m_server;
    QRadioButton* m_windows_auth;
    QRadioButton* m_sql_auth;
    QLineEdit* m_login;
    QLineEdit* m_password;
    QCheckBox* m_as_dbo;
    std::atomic<bool> m_connected{false};
    /// Written by the worker, read after it was joined.
    std::optional<connect_failure> m_failure;
    std::function<void(dlg_animation&)> m_wait_observer;
    // Last: destroyed (joined) first, before the controls it may still read go.
    wizard_worker m_worker;
};
