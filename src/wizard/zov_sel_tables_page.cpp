// zov_sel_tables_page.cpp: the page that selects the tables to convert.
#include "wizard/zov_sel_tables_page.h"

#include "wizard/help_topics.h"

zov_sel_tables_page::zov_sel_tables_page()
    : wizard_page("Step 5 of 6", "Select tables to convert", help_topic::tables, true)
{
    setObjectName("zov_sel_tables_page");
}
