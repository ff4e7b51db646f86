// gui_finish_page.h: the last page: the outcome, the errors and saving the settings.
#pragma once

#include "wizard/wizard_page.h"

/// The finish page (a placeholder with its final header and help; its controls come later).
class gui_finish_page : public wizard_page
{
    Q_OBJECT
public:
    gui_finish_page(const QString& success_text, const QString& error_text,
                    const QString& extension);
};
