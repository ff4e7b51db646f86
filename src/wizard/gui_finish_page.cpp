// gui_finish_page.cpp: the last page: the outcome, the errors and saving the settings.
#include "wizard/gui_finish_page.h"

#include "wizard/help_topics.h"

gui_finish_page::gui_finish_page(const QString& /*success_text*/, const QString& /*error_text*/,
                                 const QString& /*extension*/)
    : wizard_page(QString(), QString(), help_topic::none, false)
{
    setObjectName("gui_finish_page");
    setFinalPage(true);
}
