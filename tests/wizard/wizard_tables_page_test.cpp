// wizard_tables_page_test.cpp: the table page: sorting without case, the moves and their
// selection and focus rules, the profile's preselection, and what Next hands to the converter.
#include "convertor_fakes.h"
#include "wizard/wizard_shell.h"
#include "wizard/zov_sel_tables_page.h"
#include "wizard_test_support.h"

#include <QAbstractButton>
#include <QApplication>
#include <QListWidget>
#include <QPushButton>
#include <QTest>
#include <gtest/gtest.h>

using namespace wizard_test;

namespace
{

class TablesPage : public testing::Test
{
protected:
    /// Shows the table page over a source with these tables.
    void show_with(const std::vector<std::wstring>& tables)
    {
        for (const std::wstring& table : tables)
        {
            source.tables.push_back({table, 1});
        }
        process.converter().set_source(std::make_unique<conv_test::fake_source>(source, events));
        process.converter().set_destination(
            std::make_unique<conv_test::fake_destination>(conv_test::destination_setup{}, events));
        process.converter().set_src(L"sales");
        wizard.shell().setStartId(page_id::tables);
        wizard.shell().show();
        ASSERT_TRUE(wait_until([&] { return wizard.shell().currentId() == page_id::tables; }));
        ASSERT_TRUE(QTest::qWaitForWindowActive(&wizard.shell()));
    }

    QListWidget& available() { return *list("available_list"); }
    QListWidget& selected() { return *list("selected_list"); }

    QListWidget* list(const char* name)
    {
        auto* found = wizard.tables().findChild<QListWidget*>(name);
        EXPECT_NE(found, nullptr) << name;
        return found;
    }

    void press(const char* name)
    {
        auto* button = wizard.tables().findChild<QPushButton*>(name);
        ASSERT_NE(button, nullptr) << name;
        button->click();
    }

    static QStringList names(const QListWidget& widget)
    {
        return zov_sel_tables_page::names_of(widget);
    }

    /// The selected row of `widget`, -1 for none.
    static int selected_row(const QListWidget& widget)
    {
        const QList<QListWidgetItem*> items = widget.selectedItems();
        return items.isEmpty() ? -1 : widget.row(items.front());
    }

    void next() { wizard.shell().button(QWizard::NextButton)->click(); }

    scripted_prompts prompts;
    wizard_process process{prompts};
    conv_test::source_setup source;
    conv_test::event_log events;
    vandrel_wizard wizard{prompts, false};
};

TEST_F(TablesPage, ListsEveryTableSortedWithoutCaseAndSelectsTheFirst)
{
    show_with({L"public.b", L"public.C", L"public.a", L"public.B2"});
    EXPECT_EQ(names(available()), (QStringList{"public.a", "public.b", "public.B2", "public.C"}));
    EXPECT_TRUE(names(selected()).isEmpty());
    EXPECT_EQ(selected_row(available()), 0);
    EXPECT_EQ(conv_test::filtered(events, {"open_source"}),
              conv_test::event_log{"open_source sales schema=public"});
}

TEST_F(TablesPage, AddWithNothingSelectedDoesNothing)
{
    show_with({L"public.a", L"public.b"});
    available().clearSelection();
    press("add_button");
    EXPECT_EQ(names(available()), (QStringList{"public.a", "public.b"}));
    EXPECT_TRUE(names(selected()).isEmpty());
}

TEST_F(TablesPage, AddSelectsTheEntryAtTheSamePlaceThenTheLast)
{
    show_with({L"public.a", L"public.b", L"public.c"});
    available().setCurrentRow(1);
    press("add_button");
    EXPECT_EQ(names(available()), (QStringList{"public.a", "public.c"}));
    EXPECT_EQ(names(selected()), QStringList{"public.b"});
    EXPECT_EQ(selected_row(available()), 1);
    press("add_button");
    EXPECT_EQ(names(available()), QStringList{"public.a"});
    EXPECT_EQ(selected_row(available()), 0);
}

TEST_F(TablesPage, AddingTheLastEntryFocusesTheSelectedList)
{
    show_with({L"public.a", L"public.B"});
    press("add_button");
    press("add_button");
    EXPECT_TRUE(names(available()).isEmpty());
    EXPECT_EQ(names(selected()), (QStringList{"public.a", "public.B"}));
    EXPECT_EQ(QApplication::focusWidget(), &selected());
    EXPECT_EQ(selected_row(selected()), 0);
}

TEST_F(TablesPage, RemoveMovesBackAndKeepsBothListsSorted)
{
    show_with({L"public.D", L"public.a", L"public.c", L"public.B"});
    press("add_all_button");
    EXPECT_TRUE(names(available()).isEmpty());
    EXPECT_EQ(names(selected()), (QStringList{"public.a", "public.B", "public.c", "public.D"}));
    EXPECT_EQ(QApplication::focusWidget(), &selected());
    selected().setCurrentRow(2);
    press("remove_button");
    selected().setCurrentRow(0);
    press("remove_button");
    EXPECT_EQ(names(available()), (QStringList{"public.a", "public.c"}));
    EXPECT_EQ(names(selected()), (QStringList{"public.B", "public.D"}));
    EXPECT_EQ(selected_row(selected()), 0);
    press("remove_all_button");
    EXPECT_EQ(names(available()), (QStringList{"public.a", "public.B", "public.c", "public.D"}));
    EXPECT_TRUE(names(selected()).isEmpty());
    EXPECT_EQ(QApplication::focusWidget(), &available());
}

TEST_F(TablesPage, DoubleClickAddsOnlyFromAvailable)
{
    show_with({L"public.a", L"public.b"});
    emit available().itemDoubleClicked(available().item(1));
    EXPECT_EQ(names(selected()), QStringList{"public.a"});
    emit selected().itemDoubleClicked(selected().item(0));
    EXPECT_EQ(names(selected()), QStringList{"public.a"});
}

TEST_F(TablesPage, OnlyExactCaseProfileEntriesArePreselected)
{
    process.converter().selected() = {{L"public.A", L""}, {L"public.b", L""}};
    show_with({L"public.a", L"public.b"});
    EXPECT_EQ(names(available()), QStringList{"public.a"});
    EXPECT_EQ(names(selected()), QStringList{"public.b"});
}

TEST_F(TablesPage, NothingSelectedAsksWithNoKeepingThePage)
{
    show_with({L"public.a"});
    prompts.question_answers = {false};
    next();
    EXPECT_EQ(wizard.shell().currentId(), page_id::tables);
    EXPECT_EQ(prompts.lines(),
              std::vector<std::string>{"question Corlamig 1.5  Question|There are no tables "
                                       "selected. Continue anyway?"});
}

TEST_F(TablesPage, NothingSelectedAndYesMovesOnWithNoTables)
{
    process.converter().tables() = {L"public.old"};
    show_with({L"public.a"});
    prompts.question_answers = {true};
    next();
    EXPECT_NE(wizard.shell().currentId(), page_id::tables);
    EXPECT_TRUE(process.converter().tables().empty());
    ASSERT_TRUE(wait_until([&] { return wizard.shell().currentId() == page_id::finish; }));
}

TEST_F(TablesPage, ASourceWithoutTablesAsksNothing)
{
    show_with({});
    next();
    EXPECT_TRUE(prompts.lines_starting("question ").empty());
    EXPECT_NE(wizard.shell().currentId(), page_id::tables);
    ASSERT_TRUE(wait_until([&] { return wizard.shell().currentId() == page_id::finish; }));
}

TEST_F(TablesPage, NextHandsOverTheSelectedListAndDropsDeselectedProfileTables)
{
    vandrel_convertor& converter = process.converter();
    converter.selected() = {
        {L"public.a", L""}, {L"public.gone", L""}, {L"q_totals", L"select 1"}, {L"Report", L""}};
    show_with({L"public.B", L"public.a", L"public.d", L"Report"});
    EXPECT_EQ(names(selected()), (QStringList{"public.a", "Report"}));
    // The user takes public.a back and picks public.d and public.B.
    selected().setCurrentRow(0);
    press("remove_button");
    available().setCurrentRow(available().count() - 1);
    press("add_button");
    available().setCurrentRow(1);
    press("add_button");
    EXPECT_EQ(names(selected()), (QStringList{"public.B", "public.d", "Report"}));
    next();
    ASSERT_TRUE(wait_until([&] { return wizard.shell().currentId() == page_id::finish; }));
    EXPECT_EQ(converter.tables(), (std::vector<std::wstring>{L"public.B", L"public.d", L"Report"}));
    // The run converted the selection: public.a was deselected; the table the source lacks is
    // reported; the query entry is converted too.
    EXPECT_EQ(
        conv_test::filtered(events, {"get_table", "get_query"}),
        (conv_test::event_log{"get_table Report mode=1", "get_table public.B mode=1",
                              "get_table public.d mode=1", "get_query q_totals: select 1 mode=1"}));
    EXPECT_EQ(wizard.shell().errors(), std::vector<std::string>{"Table public.gone not exists"});
}

TEST_F(TablesPage, AListingErrorIsShownAndThePageOpensEmpty)
{
    source.fail_open_db = true;
    show_with({L"public.a"});
    EXPECT_EQ(prompts.lines(),
              std::vector<std::string>{"error Corlamig 1.5  Error|database sales is gone"});
    EXPECT_TRUE(names(available()).isEmpty());
    EXPECT_EQ(wizard.shell().currentId(), page_id::tables);
}

} // namespace
