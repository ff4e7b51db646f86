// wizard_pagila_test.cpp: the whole wizard driven page by page, from the test PostgreSQL server's
// copy of pagila into the SQL Server of ZOV_TEST_MSSQL; the destination's tables and row counts
// are read back and compared with the source.
#include "agent_sqlserver_check.h"
#include "pgs_test_server.h"
#include "plat/plat_text.h"
#include "wizard/conv_settings_page.h"
#include "wizard/gui_finish_page.h"
#include "wizard/mssql_settings_page.h"
#include "wizard/pgs_settings_page.h"
#include "wizard/popup_combo.h"
#include "wizard/sel_file_page.h"
#include "wizard/wizard_shell.h"
#include "wizard/zov_sel_tables_page.h"
#include "wizard_test_support.h"

#include <QAbstractButton>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTest>
#include <algorithm>
#include <gtest/gtest.h>

using namespace wizard_test;

namespace
{

/// The destination database of this test on the shared server.
const std::string destination_name = "wizb_pagila";

class WizardPagilaToSqlServer : public testing::Test
{
protected:
    void SetUp() override
    {
        const std::optional<agent_test::conversion_servers> servers =
            agent_test::conversion_servers_or_skip();
        if (!servers)
        {
            return;
        }
        m_login = servers->login;
        m_server = servers->source;
        m_source = std::make_unique<pgs_test::scratch_database>(m_server, "wizb_pagila_src");
        m_source->load_file(pgs_test::pagila_dir() / "pagila-schema.sql");
        m_source->load_file(pgs_test::pagila_dir() / "pagila-data.sql");
    }

    void TearDown() override
    {
        if (!m_login || m_source == nullptr)
        {
            return;
        }
        try
        {
            vandrel_convertor& converter = process.converter();
            converter.connect_mssql_server();
            if (converter.mss().is_db_exist(plat::utf8_to_wide_lossy(destination_name)))
            {
                converter.mss().delete_db(plat::utf8_to_wide_lossy(destination_name));
            }
        }
        catch (const std::exception& error)
        {
            ADD_FAILURE() << "the destination could not be dropped: " << error.what();
        }
    }

    /// Presses Next and waits for page `id`.
    void next_to(int id, int timeout_ms = 60000)
    {
        wizard.shell().button(QWizard::NextButton)->click();
        ASSERT_TRUE(wait_until([&] { return wizard.shell().currentId() == id; }, timeout_ms))
            << "still on page " << wizard.shell().currentId()
            << "; prompts so far: " << prompts.lines().size();
    }

    std::optional<agent_test::mssql_login> m_login;
    pgs_test::server_settings m_server;
    std::unique_ptr<pgs_test::scratch_database> m_source;
    scripted_prompts prompts;
    wizard_process process{prompts};
    vandrel_wizard wizard{prompts, false};
};

TEST_F(WizardPagilaToSqlServer, EveryPageLeadsToTheSameTablesAndRowCounts)
{
    wizard_shell& shell = wizard.shell();
    shell.show();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&shell));
    ASSERT_EQ(shell.currentId(), page_id::welcome);
    next_to(page_id::pgs_settings);

    QWidget& pgs = wizard.pgs_settings();
    control<QRadioButton>(pgs, "remote_radio")->click();
    control<QLineEdit>(pgs, "host_edit")->setText(QString::fromStdString(m_server.host));
    control<QLineEdit>(pgs, "port_edit")->setText(QString::number(m_server.port));
    control<QLineEdit>(pgs, "user_edit")->setText(QString::fromStdString(m_server.user));
    control<QLineEdit>(pgs, "password_edit")->setText(QString::fromStdString(m_server.password));
    next_to(page_id::mssql_settings);

    QWidget& mssql = wizard.mssql_settings();
    control<QRadioButton>(mssql, "sql_auth_radio")->click();
    control<QLineEdit>(mssql, "server_edit")->setText(QString::fromStdString(m_login->server));
    control<QLineEdit>(mssql, "login_edit")->setText(QString::fromStdString(m_login->user));
    control<QLineEdit>(mssql, "password_edit")->setText(QString::fromStdString(m_login->password));
    next_to(page_id::databases);

    // The source from the server's list, as a user picks it.
    auto* source = control<popup_combo>(wizard.databases(), "source_combo");
    source->showPopup();
    source->hidePopup();
    const int source_index = source->findText(QString::fromStdString(m_source->name()),
                                              Qt::MatchExactly | Qt::MatchCaseSensitive);
    ASSERT_GE(source_index, 0);
    source->setCurrentIndex(source_index);
    emit source->activated(source_index);
    EXPECT_EQ(control<QLineEdit>(wizard.databases(), "destination_edit")->text().toStdString(),
              m_source->name());
    control<QLineEdit>(wizard.databases(), "destination_edit")
        ->setText(QString::fromStdString(destination_name));
    // A destination left by an earlier, interrupted run is overwritten entirely.
    prompts.overwrite_result = 1;
    prompts.overwrite_mode = 0;
    next_to(page_id::options);

    auto* schema = control<popup_combo>(wizard.options(), "schema_combo");
    schema->showPopup();
    schema->hidePopup();
    const int public_index = schema->findText("public", Qt::MatchExactly | Qt::MatchCaseSensitive);
    ASSERT_GE(public_index, 0);
    schema->setCurrentIndex(public_index);
    next_to(page_id::tables);

    control<QPushButton>(wizard.tables(), "add_all_button")->click();
    next_to(page_id::progress, 5000);
    ASSERT_TRUE(wait_until([&] { return shell.currentId() == page_id::finish; }, 540000));

    const std::vector<std::string> shown = prompts.lines();
    EXPECT_TRUE(std::all_of(shown.begin(), shown.end(),
                            [](const std::string& line)
                            { return line.rfind("overwrite ", 0) == 0; }))
        << testing::PrintToString(shown);
    EXPECT_EQ(control<QLabel>(wizard.finish(), "finish_text")->text().toStdString(),
              "Wizard has migrated your PostgreSQL database to\nMicrosoft SQL server "
              "successfully.\n\nClick 'Finish' to exit the wizard.");

    const std::vector<agent_test::source_table> tables =
        agent_test::read_source_tables(m_server, m_source->name());
    ASSERT_FALSE(tables.empty());
    vandrel_convertor& converter = process.converter();
    // The engine's database list is read at connect, and the run created the destination.
    converter.connect_mssql_server();
    agent_test::destination_reader reader(converter.mss(), destination_name);
    std::vector<std::string> found_tables = reader.tables();
    std::sort(found_tables.begin(), found_tables.end());
    ASSERT_EQ(found_tables, agent_test::dbo_table_names(tables));
    for (const agent_test::source_table& table : tables)
    {
        EXPECT_EQ(reader.row_count(table.name), table.rows) << table.name;
    }

    shell.button(QWizard::FinishButton)->click();
    EXPECT_FALSE(shell.isVisible());
}

} // namespace
