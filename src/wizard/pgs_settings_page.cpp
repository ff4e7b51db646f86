// pgs_settings_page.cpp: the PostgreSQL page's controls, storing and connecting.
#include "wizard/pgs_settings_page.h"

#include "convertor/error_handler.h"
#include "convertor/vandrel_convertor.h"
#include "tk/tk_logger.h"
#include "wizard/help_topics.h"
#include "wizard/wizard_shell.h"

#include <QButtonGroup>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QRadioButton>
#include <QVBoxLayout>
#include <optional>

namespace
{

/// A row of `grid`: the label (whose accelerator reaches `field`), the field, and a note.
void add_labelled(QGridLayout* grid, int row, const char* text, QLineEdit* field, QLabel* note,
                  int width = 220)
{
    auto* label = new QLabel(text, field->parentWidget());
    label->setBuddy(field);
    field->setFixedWidth(width);
    grid->addWidget(label, row, 0);
    grid->addWidget(field, row, 1, Qt::AlignLeft);
    if (note != nullptr)
    {
        grid->addWidget(note, row, 2);
    }
    grid->setColumnStretch(2, 1);
}

} // namespace

pgs_settings_page::pgs_settings_page()
    : wizard_page("Step 1 of 6", "Connect to PostgreSQL server", help_topic::pgs_settings)
    , m_local(new QRadioButton("&Local", this))
    , m_remote(new QRadioButton("&Remote", this))
    , m_user(line_edit(this, "user_edit"))
    , m_password(line_edit(this, "password_edit", true))
    , m_host(line_edit(this, "host_edit"))
    , m_port(line_edit(this, "port_edit"))
{
    setObjectName("pgs_settings_page");
    m_local->setObjectName("local_radio");
    m_remote->setObjectName("remote_radio");
    auto* access = new QButtonGroup(this);
    access->addButton(m_local);
    access->addButton(m_remote);

    auto* layout = new QVBoxLayout(this);
    auto* intro = new QLabel(
        "Provide necessary information to establish connection with PostgreSQL server.", this);
    intro->setWordWrap(true);
    layout->addWidget(intro);

    auto* mode_box = new QGroupBox(" Access mode ", this);
    auto* mode_row = new QHBoxLayout(mode_box);
    mode_row->addWidget(m_local);
    mode_row->addSpacing(24);
    mode_row->addWidget(m_remote);
    mode_row->addStretch(1);
    layout->addWidget(mode_box);

    auto* auth_box = new QGroupBox(" Authorization settings ", this);
    auto* auth_grid = new QGridLayout(auth_box);
    add_labelled(auth_grid, 0, "&User name:", m_user, nullptr);
    add_labelled(auth_grid, 1, "User pa&ssword:", m_password, nullptr);
    layout->addWidget(auth_box);

    auto* remote_box = new QGroupBox(" Remote settings ", this);
    auto* remote_grid = new QGridLayout(remote_box);
    add_labelled(remote_grid, 0, "H&ost:", m_host,
                 new QLabel("(it could be network name or IP address)", remote_box));
    add_labelled(remote_grid, 1, "&Port:", m_port, new QLabel("(default port is 5432)", remote_box),
                 80);
    layout->addWidget(remote_box);
    layout->addStretch(1);

    connect(m_local, &QRadioButton::clicked, this, [this] { set_remote(false); });
    connect(m_remote, &QRadioButton::clicked, this, [this] { set_remote(true); });
}

void pgs_settings_page::set_remote(bool remote)
{
    enable_ctrl(m_host, remote);
    enable_ctrl(m_port, remote);
}

bool pgs_settings_page::page_init()
{
    tk_log(1, "pgs_settings_page_impl<t_converter>::page_init");
    const vandrel_convertor& settings = converter();
    m_user->setText(QString::fromStdString(settings.pgs_user()));
    m_password->setText(QString::fromStdString(settings.pgs_password()));
    if (settings.pgs_host().empty())
    {
        m_local->setChecked(true);
        set_remote(false);
    }
    else
    {
        m_remote->setChecked(true);
        set_remote(true);
        m_host->setText(QString::fromStdString(settings.pgs_host()));
        // 0 is the default port, which the empty field means.
        m_port->setText(settings.port() == 0 ? QString() : QString::number(settings.port()));
    }
    return true;
}

std::wstring pgs_settings_page::port_refusal(const std::wstring& text)
{
    return L"Invalid port number \"" + text +
           L"\" in the field 'Port': enter a whole number from 1 to 65535, or leave the field "
           L"empty for the default port 5432.";
}

bool pgs_settings_page::pgs_settings_store()
{
    vandrel_convertor& settings = converter();
    std::string host;
    std::optional<int> port = 0;
    if (m_remote->isChecked())
    {
        host = m_host->text().toStdString();
        port = pgs_port_from_text(m_port->text().toStdWString());
    }
    settings.pgs_converter_impl::set_connection(host, m_user->text().toStdString(),
                                                m_password->text().toStdString(),
                                                port.value_or(settings.port()));
    return port.has_value();
}

int pgs_settings_page::on_back()
{
    pgs_settings_store();
    return 0;
}

int pgs_settings_page::on_next()
{
    tk_log(1, "pgs_settings_page_impl<>::on_next");
    if (!pgs_settings_store())
    {
        // Never another port than the one shown: the connection is not tried.
        shell().message(port_refusal(m_port->text().toStdWString()));
        m_port->setFocus();
        m_port->selectAll();
        return -1;
    }
    try
    {
        converter().connect_pgs_server();
    }
    catch (const tk_exception& error)
    {
        shell().error_a(mapped_error_text(pgs_error_texts(), error));
        return -1;
    }
    catch (const std::exception& error)
    {
        // A library's own failure is a failed connection as well, not the end of the wizard.
        shell().error_a(error.what());
        return -1;
    }
    return 0;
}
