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
#include <climits>

int port_from_text(const std::string& text)
{
    long long value = 0;
    for (const char digit : text)
    {
        if (digit < '0' || digit > '9')
        {
            break;
        }
        value = std::min<long long>(value * 10 + (digit - '0'), INT_MAX);
    }
    return static_cast<int>(value);
}

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
        m_port->setText(QString::number(settings.port()));
    }
    return true;
}

void pgs_settings_page::pgs_settings_store()
{
    std::string host;
    std::string port_text;
    if (m_remote->isChecked())
    {
        host = m_host->text().toStdString();
        port_text = m_port->text().toStdString();
    }
    converter().pgs_converter_impl::set_connection(host, m_user->text().toStdString(),
                                                   m_password->text().toStdString(),
                                                   port_from_text(port_text));
}

int pgs_settings_page::on_back()
{
    pgs_settings_store();
    return 0;
}

int pgs_settings_page::on_next()
{
    tk_log(1, "pgs_settings_page_impl<>::on_next");
    pgs_settings_store();
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
