// zov_sel_tables_page.cpp: the table page: two sorted lists, the moves between them, the
// profile's preselection and the hand-over of the selection.
#include "wizard/zov_sel_tables_page.h"

#include "convertor/vandrel_convertor.h"
#include "tk/tk_exception.h"
#include "tk/tk_logger.h"
#include "wizard/help_topics.h"
#include "wizard/wizard_shell.h"

#include <QGridLayout>
#include <QLabel>
#include <QListWidget>
#include <QPushButton>
#include <QVBoxLayout>
#include <set>

namespace
{

/// A list entry that sorts ignoring case (exact case only breaks ties), as a sorted list of
/// names is read.
class table_item : public QListWidgetItem
{
public:
    explicit table_item(const QString& name)
        : QListWidgetItem(name, nullptr, QListWidgetItem::UserType)
    {
    }

    bool operator<(const QListWidgetItem& other) const override
    {
        const int order = QString::compare(text(), other.text(), Qt::CaseInsensitive);
        return order != 0 ? order < 0 : text() < other.text();
    }
};

QListWidget* table_list(QWidget* parent, const char* name)
{
    auto* list = new QListWidget(parent);
    list->setObjectName(name);
    list->setSelectionMode(QAbstractItemView::SingleSelection);
    list->setSortingEnabled(true);
    list->setHorizontalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    return list;
}

QPushButton* move_button(const QString& text, const char* name, QWidget* parent)
{
    auto* button = new QPushButton(text, parent);
    button->setObjectName(name);
    return button;
}

} // namespace

zov_sel_tables_page::zov_sel_tables_page()
    : wizard_page("Step 5 of 6", "Select tables to convert", help_topic::tables, true)
    , m_text(new QLabel(this))
    , m_available_label(new QLabel(this))
    , m_available(table_list(this, "available_list"))
    , m_selected_label(new QLabel(this))
    , m_selected(table_list(this, "selected_list"))
    , m_add(move_button("A&dd >", "add_button", this))
    , m_add_all(move_button("Add a&ll >", "add_all_button", this))
    , m_remove(move_button("< &Remove", "remove_button", this))
    , m_remove_all(move_button("< Re&move all", "remove_all_button", this))
{
    tk_log(2, "sel_tables_page::ctor");
    setObjectName("zov_sel_tables_page");
    // After this page the run starts; Back cannot undo it.
    setCommitPage(true);
    setButtonText(QWizard::CommitButton, "&Next >");
    m_available_label->setBuddy(m_available);
    m_selected_label->setBuddy(m_selected);

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(m_text);
    auto* grid = new QGridLayout;
    grid->addWidget(m_available_label, 0, 0);
    grid->addWidget(m_selected_label, 0, 2);
    grid->addWidget(m_available, 1, 0);
    auto* buttons = new QVBoxLayout;
    buttons->addStretch(1);
    buttons->addWidget(m_add);
    buttons->addWidget(m_add_all);
    buttons->addSpacing(12);
    buttons->addWidget(m_remove);
    buttons->addWidget(m_remove_all);
    buttons->addStretch(1);
    grid->addLayout(buttons, 1, 1);
    grid->addWidget(m_selected, 1, 2);
    grid->setColumnStretch(0, 1);
    grid->setColumnStretch(2, 1);
    layout->addLayout(grid, 1);

    connect(m_add, &QPushButton::clicked, this, [this] { run_guarded([this] { on_add(); }); });
    connect(m_add_all, &QPushButton::clicked, this,
            [this] { run_guarded([this] { on_add_all(); }); });
    connect(m_remove, &QPushButton::clicked, this,
            [this] { run_guarded([this] { on_delete(); }); });
    connect(m_remove_all, &QPushButton::clicked, this,
            [this] { run_guarded([this] { on_del_all(); }); });
    // A double click in Available adds; one in Selected does nothing.
    connect(m_available, &QListWidget::itemDoubleClicked, this,
            [this] { run_guarded([this] { on_add(); }); });
}

bool zov_sel_tables_page::page_init()
{
    tk_log(1, "zov_sel_tables_page::page_init");
    m_text->setText("Select PostgreSQL tables to convert into MS SQL format.");
    m_available_label->setText("&Available tables:");
    m_selected_label->setText("&Selected tables:");
    m_available->clear();
    m_selected->clear();
    try
    {
        std::vector<std::wstring> names;
        converter().get_all_tables(names);
        do_page_init(names);
        for (const auto& [name, query] : converter().selected())
        {
            tk_wlog(1, L"Processing '%s'", name);
            const QString wanted = QString::fromStdWString(name);
            for (int row = 0; row < m_available->count(); ++row)
            {
                // Exact text: PostgreSQL names that differ in case are different tables.
                if (m_available->item(row)->text() == wanted)
                {
                    move_entry(*m_available, row, *m_selected);
                    break;
                }
            }
        }
    }
    catch (const tk_exception& error)
    {
        tk_log(3, "ERROR: %s", error.message());
        shell().error_a(error.message());
    }
    return true;
}

void zov_sel_tables_page::do_page_init(const std::vector<std::wstring>& names)
{
    tk_log(2, "sel_tables_page::do_page_init");
    m_available->clear();
    m_selected->clear();
    for (const std::wstring& name : names)
    {
        m_available->addItem(new table_item(QString::fromStdWString(name)));
    }
    if (m_available->count() > 0)
    {
        m_available->setCurrentRow(0);
    }
}

void zov_sel_tables_page::move_entry(QListWidget& from, int row, QListWidget& to)
{
    std::unique_ptr<QListWidgetItem> item(from.takeItem(row));
    if (item == nullptr)
    {
        return;
    }
    to.addItem(item.release());
}

void zov_sel_tables_page::move_selected(QListWidget& from, QListWidget& to)
{
    const QList<QListWidgetItem*> chosen = from.selectedItems();
    if (chosen.isEmpty())
    {
        return;
    }
    const int row = from.row(chosen.front());
    move_entry(from, row, to);
    if (from.count() > 0)
    {
        from.setCurrentRow(std::min(row, from.count() - 1));
        return;
    }
    to.setFocus();
    to.setCurrentRow(0);
}

void zov_sel_tables_page::move_all(QListWidget& from, QListWidget& to)
{
    while (from.count() > 0)
    {
        move_entry(from, 0, to);
    }
    to.setFocus();
    if (to.count() > 0)
    {
        to.setCurrentRow(0);
    }
}

void zov_sel_tables_page::on_add()
{
    tk_log(2, "sel_tables_page::on_add");
    move_selected(*m_available, *m_selected);
}

void zov_sel_tables_page::on_add_all()
{
    tk_log(2, "sel_tables_page::on_add_all");
    move_all(*m_available, *m_selected);
}

void zov_sel_tables_page::on_delete()
{
    tk_log(2, "sel_tables_page::on_delete");
    move_selected(*m_selected, *m_available);
}

void zov_sel_tables_page::on_del_all()
{
    tk_log(2, "sel_tables_page::on_del_all");
    move_all(*m_selected, *m_available);
}

QStringList zov_sel_tables_page::names_of(const QListWidget& list)
{
    QStringList names;
    for (int row = 0; row < list.count(); ++row)
    {
        names.push_back(list.item(row)->text());
    }
    return names;
}

int zov_sel_tables_page::on_next()
{
    if (m_available->count() > 0 && m_selected->count() == 0 && !shell().question(question_text))
    {
        return -1;
    }
    vandrel_convertor& settings = converter();
    std::vector<std::wstring> tables;
    for (const QString& name : names_of(*m_selected))
    {
        tables.push_back(name.toStdWString());
    }
    // A whole table the user moved back to Available is not converted, even when a loaded
    // profile had selected it; entries with a query and names the source lacks stay.
    for (const QString& name : names_of(*m_available))
    {
        const auto entry = settings.selected().find(name.toStdWString());
        if (entry != settings.selected().end() && entry->second.empty())
        {
            settings.selected().erase(entry);
        }
    }
    settings.tables() = std::move(tables);
    return 0;
}
