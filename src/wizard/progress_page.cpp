// progress_page.cpp: the page that runs the conversion and shows its progress.
#include "wizard/progress_page.h"

#include "wizard/help_topics.h"

progress_page::progress_page()
    : wizard_page("Step 6 of 6", "Database conversion is in progress", help_topic::none, true)
{
    setObjectName("progress_page");
}
