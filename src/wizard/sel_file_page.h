// sel_file_page.h: the page that selects the source and destination databases and the log file.
#pragma once

#include "wizard/wizard_page.h"

/// The databases page (a placeholder with its final header and help; its controls come later).
class sel_file_page : public wizard_page
{
    Q_OBJECT
public:
    sel_file_page();
};
