// pgs_settings_page.h: Step 1, the PostgreSQL connection: local or remote, login, host, port.
#pragma once

#include "wizard/wizard_page.h"

#include <string>

class QLineEdit;
class QRadioButton;

/// The PostgreSQL page. Next stores the fields and connects on the GUI thread; a port the field
/// cannot name (see pgs_port_from_text) or a failed connection is shown and the page stays.
/// Back stores the fields.
class pgs_settings_page : public wizard_page
{
    Q_OBJECT
public:
    pgs_settings_page();

    bool page_init() override;
    int on_next() override;
    int on_back() override;

    /// The fields into the converter: with Local, host "" and port 0 (the default port). False
    /// when the port field holds no port: the converter then keeps its port.
    bool pgs_settings_store();

    /// What Next says about a port field holding `text`, which names no port.
    static std::wstring port_refusal(const std::wstring& text);

private:
    void set_remote(bool remote);

    QRadioButton* m_local;
    QRadioButton* m_remote;
    QLineEdit* m_user;
    QLineEdit* m_password;
    QLineEdit* m_host;
    QLineEdit* m_port;
};
