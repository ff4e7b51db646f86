// conv_settings_page.h: the page of the conversion options: schema, definitions only, skip indexes.
#pragma once

#include "wizard/wizard_page.h"

/// The options page (a placeholder with its final header and help; its controls come later).
class conv_settings_page : public wizard_page
{
    Q_OBJECT
public:
    conv_settings_page();
};
