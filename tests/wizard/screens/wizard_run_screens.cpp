// wizard_run_screens.cpp: saves PNGs of the database, options, table, progress and finish pages in
// their working states (a list dropped down, tables moved, a run under way and being stopped,
// its outcomes), the welcome page in a large window, and the boxes the pages open, drawn over
// the wizard (the SQL Server page's wait, error and refused login, the overwrite dialog, a
// refused port, a failed drop, help that cannot be opened), over the converter suite's fake
// sides; run by hand: wizard_run_screens docs/screens.
#include "convertor/mss_conversion_destination.h"
#include "convertor_fakes.h"
#include "oledb_fake_link.h"
#include "plat/oledb/odbc_check.h"
#include "wizard/conv_settings_page.h"
#include "wizard/gui_finish_page.h"
#include "wizard/mssql_settings_page.h"
#include "wizard/pgs_settings_page.h"
#include "wizard/popup_combo.h"
#include "wizard/progress_page.h"
#include "wizard/sel_file_page.h"
#include "wizard/wizard_dialogs.h"
#include "wizard/wizard_shell.h"
#include "wizard/zov_sel_tables_page.h"
#include "wizard_test_support.h"

#include <QAbstractButton>
#include <QAbstractItemView>
#include <QApplication>
#include <QDir>
#include <QLineEdit>
#include <QListWidget>
#include <QMessageBox>
#include <QPainter>
#include <QProgressBar>
#include <QPushButton>
#include <QTest>
#include <QTimer>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <thread>

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

/// The scripted prompts, except that a box asked for while `picture` names one is also shown
/// for real over its owner, saved as that picture drawn over `window` (the wizard) and closed
/// again; the scripted answer stands.
class picture_prompts : public scripted_prompts
{
public:
    void error(QWidget* owner, const QString& caption, const QString& text) override
    {
        scripted_prompts::error(owner, caption, text);
        QMessageBox box(QMessageBox::Critical, caption, text, QMessageBox::Ok, owner);
        take(box);
    }
    void message(QWidget* owner, const QString& caption, const QString& text) override
    {
        scripted_prompts::message(owner, caption, text);
        QMessageBox box(QMessageBox::Information, caption, text, QMessageBox::Ok, owner);
        take(box);
    }
    int overwrite(QWidget* owner, const QString& caption, const QString& text, int help_topic,
                  int& mode) override
    {
        const int result = scripted_prompts::overwrite(owner, caption, text, help_topic, mode);
        overwrite_dlg2 dialog(owner, help_topic, text, caption, {});
        take(dialog);
        return result;
    }

    QDir folder;
    QWidget* window = nullptr;
    QString picture;
    bool saved = true;

private:
    void take(QDialog& box)
    {
        if (picture.isEmpty() || window == nullptr)
        {
            return;
        }
        box.show();
        const bool shown = QTest::qWaitForWindowExposed(&box);
        QTest::qWait(150);
        // The window's edge, which a desktop draws and the offscreen platform does not.
        QPixmap image = with_popup(*window, &box);
        QPainter painter(&image);
        painter.setPen(QColor(96, 96, 96));
        painter.drawRect(
            QRect(box.mapToGlobal(QPoint(0, 0)) - window->mapToGlobal(QPoint(0, 0)), box.size())
                .adjusted(-1, -1, 0, 0));
        painter.end();
        saved = shown && save_image(image, folder, picture) && saved;
        picture.clear();
        box.hide();
    }
};

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

    picture_prompts prompts;
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

/// Cancel and Yes during a run that is inside a statement: the page says that the run is
/// stopping while it waits for the statement to end.
bool progress_stopping(const QDir& folder)
{
    std::vector<conv_test::source_table> run_tables;
    for (std::size_t index = 0; index < 5; ++index)
    {
        run_tables.push_back({pagila_tables[index], 40 + static_cast<int>(index) * 13});
    }
    scene s(run_tables);
    std::atomic<bool> held{false};
    std::atomic<bool> released{false};
    // Held in the fourth table's key, three tables into the run.
    s.destination.on_index = [&, indexes = 0](const std::wstring&) mutable
    {
        if (++indexes < 4)
        {
            return;
        }
        held = true;
        while (!released)
        {
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
    };
    s.prompts.question_answers = {true};
    if (!s.show_at(page_id::tables))
    {
        return false;
    }
    s.wizard.tables().findChild<QPushButton*>("add_all_button")->click();
    s.next();
    if (!wait_until([&] { return held.load(); }, 20000))
    {
        released = true;
        return false;
    }
    // The bar and the status line catch up with the run first.
    QTest::qWait(400);
    bool saved = false;
    // Taken from the events that the stop serves while it waits for the run.
    QTimer::singleShot(400,
                       [&]
                       {
                           saved =
                               save_image(s.wizard.shell().grab(), folder, "23b-progress-stopping");
                           released = true;
                       });
    s.wizard.shell().button(QWizard::CancelButton)->click();
    return saved;
}

/// A run that ended early: the server refused to list the destination's tables.
bool finish_not_complete(const QDir& folder)
{
    scene s({{L"public.actor", 20}, {L"public.film", 30}});
    s.destination.fail_list_tables = true;
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
    return save_image(s.wizard.shell().grab(), folder, "26-finish-not-complete");
}

/// The welcome page in a large window: the watermark fills its column.
bool welcome_large(const QDir& folder)
{
    scene s;
    if (!s.show_at(page_id::welcome))
    {
        return false;
    }
    s.wizard.shell().resize(1100, 860);
    wait_until([&] { return s.wizard.shell().size() == QSize(1100, 860); });
    QTest::qWait(400);
    return save_image(s.wizard.shell().grab(), folder, "01b-welcome-large");
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

/// The real SQL Server side, whose connect waits until it is let go (so that the wait dialog
/// stays up for its picture).
class held_destination : public conversion_destination
{
public:
    explicit held_destination(mss_engine& engine)
        : m_real(engine)
    {
    }
    void connect(const std::wstring& server, const std::wstring& user, const std::wstring& password,
                 bool windows_auth) override
    {
        while (!released)
        {
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        }
        m_real.connect(server, user, password, windows_auth);
    }
    bool is_db_exist(const std::wstring& name) override { return m_real.is_db_exist(name); }
    void delete_db(const std::wstring& name) override { m_real.delete_db(name); }
    std::unique_ptr<udb_database> open_db(const std::wstring& name, int open_mode) override
    {
        return m_real.open_db(name, open_mode);
    }
    std::unique_ptr<udb_database> create_db(const std::wstring& name) override
    {
        return m_real.create_db(name);
    }
    void begin_run() override { m_real.begin_run(); }

    std::atomic<bool> released{false};

private:
    mss_conversion_destination m_real;
};

/// Step 2 connecting (the wait dialog over the page), then its error once the wait has closed:
/// the real driver, refused on a port nobody listens on.
bool sql_server_wait_and_error(const QDir& folder)
{
    scene s;
    vandrel_convertor& converter = s.process.converter();
    converter.set_sec_log(false);
    converter.mssql_converter_impl::set_connection(L"127.0.0.1,1", L"migrator", L"sql-secret");
    if (!s.show_at(page_id::mssql_settings))
    {
        return false;
    }
    auto held = std::make_unique<held_destination>(converter.mss());
    held_destination& destination = *held;
    converter.set_destination(std::move(held));
    bool saved = true;
    s.wizard.mssql_settings().set_wait_observer(
        [&](dlg_animation& dialog)
        {
            QTest::qWait(1100);
            saved =
                save_image(with_popup(s.wizard.shell(), &dialog), folder, "10b-wait-sql-server");
            destination.released = true;
        });
    s.prompts.folder = folder;
    s.prompts.window = &s.wizard.shell();
    s.prompts.picture = "14-error";
    s.next();
    return saved && s.prompts.saved && s.prompts.picture.isEmpty();
}

/// Step 2 with a wrong password: the real SQL Server side over a scripted driver that answers
/// as FreeTDS does for a refused login (the server's record, then its own 08001).
bool sql_server_login_refused(const QDir& folder)
{
    scene s;
    vandrel_convertor& converter = s.process.converter();
    converter.set_sec_log(false);
    converter.mssql_converter_impl::set_connection(L"sql.example.com", L"migrator", L"wrong");
    if (!s.show_at(page_id::mssql_settings))
    {
        return false;
    }
    auto script = std::make_shared<oledb_test::fake_script>();
    script->connect_status = plat::oledb::failure_from_diagnostics(
        {{L"42000", 18456, L"[FreeTDS][SQL Server]Login failed for user 'migrator'."},
         {L"08001", 0, L"[FreeTDS][SQL Server]Unable to connect to data source"}},
        plat::oledb::odbc_call::connect, L"FreeTDS");
    oledb_test::register_scripted_providers(*plat::oledb::class_table::current(), script, true);
    converter.set_destination(std::make_unique<mss_conversion_destination>(converter.mss()));
    s.prompts.folder = folder;
    s.prompts.window = &s.wizard.shell();
    s.prompts.picture = "27-sql-server-login-refused";
    s.next();
    return s.prompts.saved && s.prompts.picture.isEmpty();
}

/// Step 3's Next with a destination that exists: the overwrite dialog over the page.
bool overwrite(const QDir& folder)
{
    scene s;
    s.destination.exists = true;
    s.wizard.databases().set_source_checker([](const std::wstring&) { return true; });
    if (!s.show_at(page_id::databases))
    {
        return false;
    }
    s.prompts.folder = folder;
    s.prompts.window = &s.wizard.shell();
    s.prompts.picture = "11-overwrite";
    s.prompts.overwrite_result = 2;
    s.next();
    return s.prompts.saved && s.prompts.picture.isEmpty();
}

/// Step 1's Next with a port that names none.
bool port_refused(const QDir& folder)
{
    scene s;
    if (!s.show_at(page_id::pgs_settings))
    {
        return false;
    }
    s.wizard.pgs_settings().findChild<QLineEdit*>("port_edit")->setText("55499abc");
    s.prompts.folder = folder;
    s.prompts.window = &s.wizard.shell();
    s.prompts.picture = "17-port-refused";
    s.next();
    return s.prompts.saved && s.prompts.picture.isEmpty();
}

/// Mode 0 for a destination that cannot be dropped: the error when the run should start, then
/// the finish page that lists it.
bool drop_failed(const QDir& folder)
{
    scene s({{L"public.actor", 20}, {L"public.film", 30}});
    s.destination.exists = true;
    s.destination.fail_delete_db = true;
    s.process.converter().set_mode(0);
    if (!s.show_at(page_id::tables))
    {
        return false;
    }
    s.wizard.tables().findChild<QPushButton*>("add_all_button")->click();
    s.prompts.folder = folder;
    s.prompts.window = &s.wizard.shell();
    s.prompts.picture = "18-drop-failed";
    s.next();
    if (!wait_until([&] { return s.wizard.shell().currentId() == page_id::finish; }, 20000))
    {
        return false;
    }
    QTest::qWait(400);
    return save_image(s.wizard.shell().grab(), folder, "18b-drop-failed-finish") &&
           s.prompts.saved && s.prompts.picture.isEmpty();
}

/// F1 on a desktop without a program to open the topic.
bool help_not_opened(const QDir& folder)
{
    scene s;
    s.prompts.help_opens = false;
    // Where an installed program keeps its topics, rather than this build's source tree.
    const test_support::temp_dir home;
    const QString help = QString::fromStdString(home.file(".local/share/vandrel/help"));
    QDir().mkpath(help);
    s.wizard.shell().set_help_folder(help);
    if (!s.show_at(page_id::databases))
    {
        return false;
    }
    s.prompts.folder = folder;
    s.prompts.window = &s.wizard.shell();
    s.prompts.picture = "19-help-not-opened";
    s.wizard.shell().help_requested();
    return s.prompts.saved && s.prompts.picture.isEmpty();
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
    saved = progress_stopping(folder) && saved;
    saved = finish(folder, false) && saved;
    saved = finish(folder, true) && saved;
    saved = finish_not_complete(folder) && saved;
    saved = welcome_large(folder) && saved;
    saved = sql_server_login_refused(folder) && saved;
    saved = sql_server_wait_and_error(folder) && saved;
    saved = overwrite(folder) && saved;
    saved = port_refused(folder) && saved;
    saved = drop_failed(folder) && saved;
    saved = help_not_opened(folder) && saved;
    return saved ? 0 : 1;
}
