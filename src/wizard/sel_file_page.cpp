// sel_file_page.cpp: the page that selects the source and destination databases and the log file.
#include "wizard/sel_file_page.h"

#include "wizard/help_topics.h"

sel_file_page::sel_file_page()
    : wizard_page("Step 3 of 6", "Select databases", help_topic::databases, true)
{
    setObjectName("sel_file_page");
}
