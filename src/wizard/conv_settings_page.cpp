// conv_settings_page.cpp: the options page: the schema list and the two conversion options.
#include "wizard/conv_settings_page.h"

#include "convertor/vandrel_convertor.h"
#include "tk/tk_logger.h"
#include "wizard/help_topics.h"
#include "wizard/popup_combo.h"
#include "wizard/wizard_shell.h"

#include <QCheckBox>
#include <QGroupBox>
#include <QLabel>
#include <QVBoxLayout>

conv_settings_page::conv_settings_page()
    : wizard_page("Step 4 of 6", "Customize conversion settings", help_topic::options, true)
    , m_schema(new popup_combo(this))
    , m_tab_def(new QCheckBox("&Convert table definitions only", this))
    , m_skip_idx(new QCheckBox("S&kip converting indexes", this))
{
    setObjectName("conv_settings_page");
    m_schema->setObjectName("schema_combo");
    m_tab_def->setObjectName("tab_def_check_box");
    m_skip_idx->setObjectName("skip_indexes_check_box");

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(new QLabel("Drop down the combo box to see all available PostgreSQL "
                                 "schemas (you must have\nsufficient permissions). Leave it blank "
                                 "to convert tables from all schemas.",
                                 this));
    layout->addSpacing(8);
    auto* schema_label = new QLabel("Postgre&SQL schema:", this);
    schema_label->setBuddy(m_schema);
    layout->addWidget(schema_label);
    layout->addWidget(m_schema);
    auto* options = new QGroupBox(this);
    auto* options_layout = new QVBoxLayout(options);
    options_layout->addWidget(m_tab_def);
    options_layout->addWidget(m_skip_idx);
    layout->addWidget(options);
    layout->addStretch(1);

    connect(m_schema, &popup_combo::about_to_popup, this,
            [this] { run_guarded([this] { on_dropdown(); }); });
}

conv_settings_page::~conv_settings_page()
{
    m_worker.join();
}

bool conv_settings_page::page_init()
{
    tk_log(1, "conv_settings_page::page_init");
    if (!m_filled)
    {
        m_schema->clear();
    }
    const vandrel_convertor& settings = converter();
    m_skip_idx->setChecked(settings.skip_idx());
    m_tab_def->setChecked(settings.tab_def());
    return true;
}

void conv_settings_page::on_dropdown()
{
    tk_log(1, "conv_settings_page::on_dropdown");
    if (!m_filled)
    {
        const std::wstring database = converter().src();
        const std::vector<std::wstring> names = list_behind_wait(
            shell().box_owner(), m_worker,
            [this, database](std::vector<std::wstring>& list)
            {
                tk_log(1, "conv_settings_page::animation::operator()");
                converter().get_pgs_schemas(database, list);
            },
            m_wait_observer);
        QStringList entries{QString()};
        entries += to_string_list(names);
        m_schema->set_names(entries);
        m_filled = true;
        // Only right after listing: a later drop-down keeps what the user chose meanwhile.
        m_schema->select_prefix(QString::fromStdWString(converter().get_schema()), true);
    }
}

void conv_settings_page::store_file_info()
{
    tk_log(2, "conv_settings_page::store_file_info");
    vandrel_convertor& settings = converter();
    settings.set_schema(m_schema->currentText().toStdWString());
    settings.set_tab_def(m_tab_def->isChecked());
    settings.set_skip_idx(m_skip_idx->isChecked());
    settings.set_no_schema(false);
}

int conv_settings_page::on_back()
{
    m_filled = false;
    store_file_info();
    return 0;
}

int conv_settings_page::on_next()
{
    store_file_info();
    return 0;
}
