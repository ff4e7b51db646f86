// pgs_settings_page.h: Step 1, the PostgreSQL connection: local or remote, login, host, port.
#pragma once

#include "wizard/wizard_page.h"

#include <string>

class QLineEdit;
class QRadioButton;

/// The leading decimal digits of a port text as a number ("5433x" 5433, "x1" and "" 0); a
/// value too large for any port is kept as the largest int, which the server then refuses.
int port_from_text(const std::string& text);

/// The PostgreSQL page. Next stores the fields and connects on the GUI thread; a failed
/// connection is shown and the page stays. Back stores the fields.
class pgs_settings_page : public wizard_page
{
    Q_OBJECT
public:
    pgs_settings_page();

    bool page_init() override;
    int on_next() override;
    int on_back() override;

    /// The fields into the converter: with Local, host "" and port 0.
    void pgs_settings_store();

private:
    void set_remote(bool remote);

    QRadioButton* m_local;
    QRadioButton* m_remote;
    QLineEdit* m_user;
    QLineEdit* m_password;
    QLineEdit* m_host;
    QLineEdit* m_port;
};
