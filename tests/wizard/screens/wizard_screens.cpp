// wizard_screens.cpp: walks the wizard page by page and opens each dialog, saving a picture of
// every one as a PNG (scripts/screens runs it); the servers are the converter suite's fakes.
#include "convertor_fakes.h"
#include "wizard/file_dialogs.h"
#include "wizard/wizard_dialogs.h"
#include "wizard/wizard_shell.h"
#include "wizard_test_support.h"

#include <QAbstractButton>
#include <QApplication>
#include <QDir>
#include <QFileDialog>
#include <QMessageBox>
#include <QTest>
#include <cstdio>

using namespace wizard_test;

namespace
{

/// Saves `widget` as <folder>/<name>.png; false (with a message) when it cannot be written.
bool save(QWidget& widget, const QDir& folder, const QString& name)
{
    QTest::qWait(150);
    const QString file = folder.filePath(name + ".png");
    if (!widget.grab().save(file))
    {
        std::fprintf(stderr, "wizard_screens: cannot write %s\n", qPrintable(file));
        return false;
    }
    std::printf("%s\n", qPrintable(file));
    return true;
}

/// Shows a dialog without blocking, saves it and closes it.
bool save_dialog(QDialog& dialog, const QDir& folder, const QString& name)
{
    dialog.show();
    const bool saved = QTest::qWaitForWindowExposed(&dialog) && save(dialog, folder, name);
    dialog.hide();
    return saved;
}

void fill_settings(vandrel_convertor& converter, conv_test::event_log& events)
{
    converter.pgs_converter_impl::set_connection("pg.example.com", "postgres", "pg-secret", 5432);
    converter.set_sec_log(false);
    converter.mssql_converter_impl::set_connection(L"sql.example.com", L"migrator", L"sql-secret");
    converter.set_src(L"pagila");
    converter.set_dest(L"pagila");
    conv_test::source_setup source;
    source.tables = {{L"public.actor", 200}, {L"public.address", 603}, {L"public.category", 16},
                     {L"public.city", 600},  {L"public.country", 109}, {L"public.film", 1000}};
    converter.set_source(std::make_unique<conv_test::fake_source>(source, events));
    converter.set_destination(
        std::make_unique<conv_test::fake_destination>(conv_test::destination_setup{}, events));
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
        std::fprintf(stderr, "wizard_screens: cannot create %s\n", qPrintable(folder.path()));
        return 1;
    }
    scripted_prompts prompts;
    wizard_process process(prompts);
    conv_test::event_log events;
    fill_settings(process.converter(), events);
    bool saved = true;
    {
        vandrel_wizard wizard(prompts, false);
        wizard_shell& shell = wizard.shell();
        const struct
        {
            int id;
            const char* name;
        } pages[] = {
            {page_id::welcome, "01-welcome"},           {page_id::pgs_settings, "02-postgresql"},
            {page_id::mssql_settings, "03-sql-server"}, {page_id::databases, "04-databases"},
            {page_id::options, "05-options"},           {page_id::tables, "06-tables"},
            {page_id::progress, "07-progress"},         {page_id::finish, "08-finish"}};
        shell.show();
        if (!QTest::qWaitForWindowExposed(&shell))
        {
            std::fprintf(stderr, "wizard_screens: the window was never shown\n");
            return 1;
        }
        for (const auto& page : pages)
        {
            shell.setStartId(page.id);
            shell.restart();
            saved = save(shell, folder, page.name) && saved;
        }

        // The connection pages once more, with the controls their choices disable. The finish
        // page turned Cancel off for good (a person never leaves it but through Finish); a
        // restart from there does not turn it on again, so the walker does.
        shell.button(QWizard::CancelButton)->setEnabled(true);
        process.converter().pgs_converter_impl::set_connection("", "postgres", "pg-secret", 0);
        process.converter().set_sec_log(true);
        shell.setStartId(page_id::pgs_settings);
        shell.restart();
        saved = save(shell, folder, "02b-postgresql-local") && saved;
        shell.setStartId(page_id::mssql_settings);
        shell.restart();
        saved = save(shell, folder, "03b-sql-server-windows") && saved;

        // The dialogs, over the wizard as their owner.
        dlg_animation wait(&shell, dlg_animation::pgs_text);
        wait.setModal(false);
        wait.show();
        wait.advance();
        wait.advance();
        saved = save(wait, folder, "10-wait") && saved;
        wait.hide();

        dlg_error_continue go_on(&shell,
                                 "public.film, record #7: The specified record violates the "
                                 "integrity constraints. See 'Troubleshooting' article of the "
                                 "product documentation for solution.",
                                 shell.caption("Error"));
        saved = save_dialog(go_on, folder, "12-continue") && saved;

        dlg_error_ex internal(&shell, "Internal error: \ncode=6d73735f656e67695c313733",
                              shell.caption("Error"), shell.title(), {});
        saved = save_dialog(internal, folder, "13-internal-error") && saved;

        QMessageBox question(QMessageBox::Question, shell.caption("Question"),
                             "Are you sure you want to exit the wizard?",
                             QMessageBox::Yes | QMessageBox::No, &shell);
        question.setDefaultButton(QMessageBox::No);
        saved = save_dialog(question, folder, "15-cancel-question") && saved;

        test_support::temp_dir profiles;
        test_support::write_file(profiles.file("pagila.zov"), "[Generic settings]\r\n");
        test_support::write_file(profiles.file("nightly.zov"), "[Generic settings]\r\n");
        QFileDialog open(&shell, "Select Profile File",
                         QString::fromStdString(profiles.path().string()),
                         qt_file_filter(profile_filter("zov")));
        open.setFileMode(QFileDialog::ExistingFile);
        open.resize(760, 420);
        saved = save_dialog(open, folder, "16-load-settings") && saved;
        shell.hide();
    }
    return saved ? 0 : 1;
}
