// zov_sel_tables_page.h: the page that selects the tables to convert.
#pragma once

#include "wizard/wizard_page.h"

/// The table selection page (a placeholder with its final header and help; its controls come
/// later).
class zov_sel_tables_page : public wizard_page
{
    Q_OBJECT
public:
    zov_sel_tables_page();
};
