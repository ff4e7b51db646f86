// conv_settings_page.cpp: the page of the conversion options: schema, definitions only, skip
// indexes.
#include "wizard/conv_settings_page.h"

#include "wizard/help_topics.h"

conv_settings_page::conv_settings_page()
    : wizard_page("Step 4 of 6", "Customize conversion settings", help_topic::options, true)
{
    setObjectName("conv_settings_page");
}
