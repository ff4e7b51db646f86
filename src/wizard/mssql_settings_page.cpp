// mssql_settings_page.cpp: the SQL Server page's controls, storing, and the connect worker.
#include "wizard/mssql_settings_page.h"

#include "convertor/error_handler.h"
#include "convertor/vandrel_convertor.h"
#include "mss/odb_exception.h"
#include "tk/tk_logger.h"
#include "wizard/help_topics.h"
#include "wizard/wizard_dialogs.h"
#include "wizard/wizard_prompts.h"
#include "wizard/wizard_shell.h"

#include <QButtonGroup>
#include <QCheckBox>
#include <QFormLayout>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QRadioButton>
#include <QVBoxLayout>

mssql_settings_page::mssql_settings_page()
    : wizard_page("Step 2 of 6", "Connect to MS SQL server", help_topic::mssql_settings)
    , m_server(line_edit(this, "server_edit"))
    , m_windows_auth(new QRadioButton("&Windows authentication", this))
    , m_sql_auth(new QRadioButton("S&QL Server authentication", this))
    , m_login(line_edit(this, "login_edit"))
    , m_password(line_edit(this, "password_edit", true))
    , m_as_dbo(new QCheckBox("&Connect as database owner", this))
{
    setObjectName("mssql_settings_page");
    m_windows_auth->setObjectName("windows_auth_radio");
    m_sql_auth->setObjectName("sql_auth_radio");
    m_as_dbo->setObjectName("as_dbo_check_box");
    auto* auth = new QButtonGroup(this);
    auth->addButton(m_windows_auth);
    auth->addButton(m_sql_auth);

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(
        new QLabel("Provide necessary information to establish MS SQL server connection.", this));
    layout->addWidget(
        new QLabel("Leave 'MS SQL Server' field empty to connect to local server.", this));
    auto* server_form = new QFormLayout;
    server_form->addRow("MS &SQL Server:", m_server);
    layout->addLayout(server_form);

    auto* using_box = new QGroupBox(" Connect using: ", this);
    auto* using_layout = new QVBoxLayout(using_box);
    using_layout->addWidget(m_windows_auth);
    using_layout->addWidget(m_sql_auth);
    auto* login_form = new QFormLayout;
    login_form->setContentsMargins(24, 0, 0, 0);
    login_form->addRow("&Login name:", m_login);
    login_form->addRow("&Password:", m_password);
    using_layout->addLayout(login_form);
    layout->addWidget(using_box);
    layout->addWidget(m_as_dbo);
    layout->addStretch(1);

    connect(m_windows_auth, &QRadioButton::clicked, this, [this] { set_windows_auth(true); });
    connect(m_sql_auth, &QRadioButton::clicked, this, [this] { set_windows_auth(false); });
}

mssql_settings_page::~mssql_settings_page()
{
    m_worker.join();
}

void mssql_settings_page::set_windows_auth(bool windows)
{
    enable_ctrl(m_login, !windows);
    enable_ctrl(m_password, !windows);
}

bool mssql_settings_page::page_init()
{
    tk_log(1, "mssql_settings_page::page_init");
    const vandrel_convertor& settings = converter();
    m_server->setText(QString::fromStdWString(settings.mss_host()));
    m_login->setText(QString::fromStdWString(settings.mss_user()));
    m_password->setText(QString::fromStdWString(settings.mss_password()));
    if (settings.sec_log())
    {
        m_windows_auth->setChecked(true);
    }
    else
    {
        m_sql_auth->setChecked(true);
    }
    set_windows_auth(settings.sec_log());
    m_as_dbo->setChecked(settings.mss().as_dbo());
    return true;
}

void mssql_settings_page::mss_settings_store()
{
    vandrel_convertor& settings = converter();
    settings.set_sec_log(m_windows_auth->isChecked());
    settings.mssql_converter_impl::set_connection(m_server->text().toStdWString(),
                                                  m_login->text().toStdWString(),
                                                  m_password->text().toStdWString());
    tk_log(1, "mss_engine::set_as_dbo(%d)", m_as_dbo->isChecked() ? 1 : 0);
    settings.mss().set_as_dbo(m_as_dbo->isChecked());
}

int mssql_settings_page::on_back()
{
    mss_settings_store();
    return 0;
}

int mssql_settings_page::on_next()
{
    mss_settings_store();
    return connect_with_wait() ? 0 : -1;
}

std::string mssql_settings_page::host_refusal(const std::string& driver_text)
{
    std::string text = "MS SQL Server does not exist or access denied.\nCheck to verify the "
                       "correct host was given.";
    if (!driver_text.empty())
    {
        text += "\n\n" + driver_text;
    }
    return text;
}

bool mssql_settings_page::connect_with_wait()
{
    m_connected = false;
    m_failure.reset();
    run_with_wait_dialog(
        shell().box_owner(), dlg_animation::mssql_text, m_worker, [this] { connect_worker(); },
        m_wait_observer);
    // Shown here, after the wait dialog has closed, and not by the worker while the dialog is
    // still up: a box opened from the worker would stand over the wait.
    if (m_failure)
    {
        wizard_shell& owner = shell();
        if (m_failure->internal)
        {
            owner.internal_error(m_failure->text);
            owner.prompts().end_process(255);
        }
        else
        {
            owner.error_a(m_failure->text);
        }
    }
    return connected();
}

void mssql_settings_page::connect_worker()
{
    tk_log(2, "mssql_settings_page::animation::operator()");
    const com_scope com;
    m_connected = false;
    try
    {
        try
        {
            tk_log(1, "mssql_converter_impl::connect_mssql_server");
            converter().connect_mssql_server();
            m_connected = true;
        }
        catch (const odb_exception& error)
        {
            // The driver's texts (every distinct record, most specific first) go under the
            // wizard's sentence, when a record of the driver carried them: they tell an unknown
            // host from a closed port, and say which login the server refused.
            const bool from_driver = !error.sqlstate().empty() || !error.source().empty();
            const std::string driver_text = from_driver ? error.message() : "";
            if ((error.code() & 0xFFFF) == 0x4005)
            {
                m_failure = connect_failure{false, host_refusal(driver_text)};
            }
            else
            {
                std::string text = mapped_error_text(oledb_error_texts(), error);
                if (!driver_text.empty() && driver_text != text)
                {
                    text += "\n\n" + driver_text;
                }
                m_failure = connect_failure{false, text};
            }
        }
        catch (const tk_exception& error)
        {
            if (error.level() >= tk_severity::internal)
            {
                m_failure = connect_failure{true, error.message()};
            }
            else
            {
                // Severity 0 or 1: a refused connection, shown like the provider's refusals.
                m_failure = connect_failure{false, mapped_error_text(oledb_error_texts(), error)};
            }
        }
        catch (const std::exception& error)
        {
            m_failure = connect_failure{false, error.what()};
        }
    }
    catch (...)
    {
        // Keeping the text failed (no memory left): the page simply stays.
        tk_log(3, "mssql_settings_page: the connection failure could not be kept");
    }
}
