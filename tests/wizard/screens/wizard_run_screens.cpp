// wizard_run_screens.cpp: saves PNGs of the database, options, table, progress and finish pages in
// their working states (a list dropped down, tables moved, a run under way, both outcomes) over
// the converter suite's fake sides; run by hand: wizard_run_screens docs/screens.
#include "convertor_fakes.h"
#include "wizard/conv_settings_page.h"
#include "wizard/gui_finish_page.h"
#include "wizard/popup_combo.h"
#include "wizard/progress_page.h"
#include "wizard/sel_file_page.h"
#include "wizard/wizard_shell.h"
#include "wizard/zov_sel_tables_page.h"
#include "wizard_test_support.h"

#include <QAbstractButton>
#include <QAbstractItemView>
#include <QApplication>
#include <QDir>
#include <QLineEdit>
#include <QListWidget>
#include <QPainter>
#include <QProgressBar>
#include <QPushButton>
#include <QTest>
#include <cstdio>

using namespace wizard_test;

namespace
{

const std::vector<std::wstring> pagila_tables = {
    L"public.actor",         L"public.address",   L"public.category", L"public.city",
    L"public.country",       L"public.customer",  L"public.film",     L"public.film_actor",
    L"public.film_category", L"public.inventory", L"public.language", L"public.payment",
    L"public.rental",        L"public.staff",     L"public.store"};

/// Saves `image` as <folder>/<name>.png.
bool save_image(const QPixmap& image, const QDir& folder, const QString& name)
{
    const QString file = folder.filePath(name + ".png");
    if (!image.save(file))
    {
        std::fprintf(stderr, "wizard_run_screens: cannot write %s\n", qPrintable(file));
        return false;
    }
    std::printf("%s\n", qPrintable(file));
    return true;
}

/// The window with `popup` (an open list, its own window) drawn where it shows.
QPixmap with_popup(QWidget& window, QWidget* popup)
{
    QPixmap image = window.grab();
    if (popup != nullptr && popup->isVisible())
    {
        QPainter painter(&image);
        painter.drawPixmap(popup->mapToGlobal(QPoint(0, 0)) - window.mapToGlobal(QPoint(0, 0)),
                           popup->grab());
    }
    return image;
}

/// One wizard over fake sides with pagila's table names.
class scene
{
public:
    explicit scene(std::vector<conv_test::source_table> tables = {})
    {
        vandrel_convertor& converter = process.converter();
        converter.pgs_converter_impl::set_connection("pg.example.com", "postgres", "pw", 5432);
        converter.set_src(L"pagila");
        converter.set_dest(L"pagila");
        converter.set_schema(L"public");
        converter.set_skip_idx(false);
        if (tables.empty())
        {
            for (const std::wstring& name : pagila_tables)
            {
                tables.push_back({name, 100});
            }
        }
        source.tables = std::move(tables);
        destination.exists = false;
    }

    void install()
    {
        process.converter().set_source(std::make_unique<conv_test::fake_source>(source, events));
        process.converter().set_destination(
            std::make_unique<conv_test::fake_destination>(destination, events));
    }

    bool show_at(int id)
    {
        install();
        wizard.shell().setStartId(id);
        wizard.shell().show();
        return QTest::qWaitForWindowExposed(&wizard.shell()) &&
               wait_until([&] { return wizard.shell().currentId() == id; });
    }

    void next() { wizard.shell().button(QWizard::NextButton)->click(); }

    scripted_prompts prompts;
    wizard_process process{prompts};
    conv_test::source_setup source;
    conv_test::destination_setup destination;
    conv_test::event_log events;
    vandrel_wizard wizard{prompts, false};
};

bool databases_list_open(const QDir& folder)
{
    scene s;
    s.wizard.databases().set_database_lister(
        [](std::vector<std::wstring>& list) {
            list = {L"dvdrental", L"pagila", L"pagila_archive", L"postgres", L"sales_2020"};
        });
    if (!s.show_at(page_id::databases))
    {
        return false;
    }
    auto* combo = s.wizard.databases().findChild<popup_combo*>("source_combo");
    combo->showPopup();
    QTest::qWait(300);
    const bool saved = save_image(with_popup(s.wizard.shell(), combo->view()->window()), folder,
                                  "20-databases-list-open");
    combo->hidePopup();
    // The fields the open list covers: the destination and the log file.
    combo->setCurrentIndex(1);
    emit combo->activated(1);
    s.wizard.databases()
        .findChild<QLineEdit*>("log_file_edit")
        ->setText("/home/anna/migration/pagila.log");
    QTest::qWait(150);
    return save_image(s.wizard.shell().grab(), folder, "20b-databases") && saved;
}

bool options(const QDir& folder)
{
    scene s;
    s.process.converter().set_skip_idx(true);
    if (!s.show_at(page_id::options))
    {
        return false;
    }
    auto* combo = s.wizard.options().findChild<popup_combo*>("schema_combo");
    combo->showPopup();
    QTest::qWait(300);
    bool saved = save_image(with_popup(s.wizard.shell(), combo->view()->window()), folder,
                            "21-options-schema-list");
    combo->hidePopup();
    QTest::qWait(150);
    saved = save_image(s.wizard.shell().grab(), folder, "21b-options") && saved;
    return saved;
}

bool tables(const QDir& folder)
{
    scene s;
    s.process.converter().selected() = {{L"public.film", L""}, {L"public.actor", L""}};
    if (!s.show_at(page_id::tables))
    {
        return false;
    }
    auto* available = s.wizard.tables().findChild<QListWidget*>("available_list");
    available->setCurrentRow(available->count() - 1); // public.store
    s.wizard.tables().findChild<QPushButton*>("add_button")->click();
    available->setCurrentRow(2); // public.city
    s.wizard.tables().findChild<QPushButton*>("add_button")->click();
    QTest::qWait(150);
    return save_image(s.wizard.shell().grab(), folder, "22-tables-some-moved");
}

bool progress(const QDir& folder)
{
    std::vector<conv_test::source_table> run_tables;
    for (std::size_t index = 0; index < 5; ++index)
    {
        run_tables.push_back({pagila_tables[index], 40 + static_cast<int>(index) * 13});
    }
    // Long enough to be under way when the picture is taken; Cancel then stops it.
    run_tables.push_back({L"public.film", 2000000});
    scene s(run_tables);
    s.prompts.question_answers = {true};
    if (!s.show_at(page_id::tables))
    {
        return false;
    }
    s.wizard.tables().findChild<QPushButton*>("add_all_button")->click();
    s.next();
    auto* bar = s.wizard.progress().findChild<QProgressBar*>("progress_bar");
    if (!wait_until([&] { return bar->value() > 0; }, 20000))
    {
        return false;
    }
    QTest::qWait(400);
    const bool saved = save_image(s.wizard.shell().grab(), folder, "23-progress-running");
    s.wizard.shell().button(QWizard::CancelButton)->click();
    return saved;
}

bool finish(const QDir& folder, bool with_errors)
{
    std::vector<conv_test::source_table> run_tables = {{L"public.actor", 20}, {L"public.film", 30}};
    scene s(run_tables);
    if (with_errors)
    {
        s.destination.faults.integrity_rows = {3, 7};
        s.destination.faults.failing_tables = {L"[dbo].[film]"};
        s.process.converter().selected() = {{L"public.film_text", L""}};
    }
    if (!s.show_at(page_id::tables))
    {
        return false;
    }
    s.wizard.tables().findChild<QPushButton*>("add_all_button")->click();
    s.next();
    if (!wait_until([&] { return s.wizard.shell().currentId() == page_id::finish; }, 20000))
    {
        return false;
    }
    QTest::qWait(400);
    return save_image(s.wizard.shell().grab(), folder,
                      with_errors ? "25-finish-errors" : "24-finish-success");
}

} // namespace

int main(int argc, char** argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
    {
        qputenv("QT_QPA_PLATFORM", "offscreen");
    }
    QApplication::setAttribute(Qt::AA_DontUseNativeDialogs);
    QApplication application(argc, argv);
    const QDir folder(argc > 1 ? argv[1] : "docs/screens");
    if (!QDir().mkpath(folder.path()))
    {
        std::fprintf(stderr, "wizard_run_screens: cannot create %s\n", qPrintable(folder.path()));
        return 1;
    }
    bool saved = databases_list_open(folder);
    saved = options(folder) && saved;
    saved = tables(folder) && saved;
    saved = progress(folder) && saved;
    saved = finish(folder, false) && saved;
    saved = finish(folder, true) && saved;
    return saved ? 0 : 1;
}
