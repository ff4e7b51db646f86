// progress_page.h: the page that runs the conversion and shows its progress.
#pragma once

#include "wizard/wizard_page.h"

/// The progress page (a placeholder with its final header and help; its controls come later).
class progress_page : public wizard_page
{
    Q_OBJECT
public:
    progress_page();
};
