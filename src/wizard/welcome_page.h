// welcome_page.h: the first page: what the wizard does, and loading a saved profile.
#pragma once

#include "wizard/wizard_page.h"

class QLabel;
class QPushButton;

/// The welcome page (no header; the watermark at its left). "&Load Settings..." reads a
/// profile into the converter; every later page shows the loaded values when it opens.
class welcome_page : public wizard_page
{
    Q_OBJECT
public:
    /// The company's web site behind the link at the bottom of the page.
    static constexpr const char* company_url = "https://halvern-works.example/corlamig";

    /// `extension`: the profile extension without its dot ("zov").
    explicit welcome_page(const QString& extension);

    bool page_init() override;
    /// "&Load Settings...": the open dialog, then the profile load. Throws tk_mail_assertion for
    /// an extension other than 3 or 4 characters, and the profile's tk_exception.
    void on_load();

private:
    QString m_extension;
    QLabel* m_title;
    QPushButton* m_load;
};
