// welcome_page.cpp: the welcome page's texts and the profile load.
#include "wizard/welcome_page.h"

#include "convertor/vandrel_convertor.h"
#include "tk/tk_logger.h"
#include "wizard/file_dialogs.h"
#include "wizard/help_topics.h"
#include "wizard/wizard_prompts.h"
#include "wizard/wizard_shell.h"

#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

welcome_page::welcome_page(const QString& extension)
    : wizard_page(QString(), QString(), help_topic::welcome)
    , m_extension(extension)
    , m_title(new QLabel("Welcome to Corlamig\nConversion Wizard", this))
    , m_load(new QPushButton("&Load Settings...", this))
{
    setObjectName("welcome_page");
    m_title->setObjectName("title_label");
    m_title->setFont(title_font());
    m_load->setObjectName("load_settings_button");
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(m_title);
    layout->addSpacing(18);
    layout->addWidget(new QLabel("This wizard helps you to migrate PostgreSQL database to", this));
    layout->addWidget(new QLabel("Microsoft SQL server or SQL Azure.", this));
    layout->addSpacing(12);
    layout->addWidget(new QLabel("Click 'Next' to continue.", this));
    layout->addSpacing(18);
    auto* load_row = new QHBoxLayout;
    load_row->addWidget(m_load);
    load_row->addStretch(1);
    layout->addLayout(load_row);
    layout->addStretch(1);
    layout->addWidget(new QLabel("Corlamig is developed and supported by", this));
    auto* link = new QLabel(QString("<a href=\"%1\">Halvern Works</a>").arg(company_url), this);
    link->setObjectName("company_link");
    link->setTextFormat(Qt::RichText);
    link->setTextInteractionFlags(Qt::TextBrowserInteraction);
    link->setOpenExternalLinks(true);
    layout->addWidget(link);
    connect(m_load, &QPushButton::clicked, this, [this] { run_guarded([this] { on_load(); }); });
}

bool welcome_page::page_init()
{
    tk_log(2, "welcome_page::show");
    m_title->setFont(title_font());
    return true;
}

void welcome_page::on_load()
{
    const QString filter = profile_filter(m_extension);
    const std::optional<QString> path =
        prompts().open_file(shell().box_owner(), filter, "Select Profile File", QString());
    if (!path)
    {
        return;
    }
    // A file that is not a profile changes nothing; say so rather than seem to have loaded it.
    if (!converter().load_profile_file(path->toStdWString()))
    {
        shell().error(L"The file is not a profile of this program: " + path->toStdWString());
    }
}
