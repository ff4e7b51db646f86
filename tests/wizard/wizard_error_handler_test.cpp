// wizard_error_handler_test.cpp: what each severity shows, from the run's thread, and what
// follows: the run's end, the quiet choice, the error list and the end of the process.
#include "mss/odb_exception.h"
#include "tk/tk_exception.h"
#include "wizard/gui_bridge.h"
#include "wizard/wizard_page.h"
#include "wizard/wizard_shell.h"
#include "wizard_test_support.h"

#include <QTest>
#include <gtest/gtest.h>
#include <thread>

using namespace wizard_test;

namespace
{

class WizardErrorHandler : public testing::Test
{
protected:
    void SetUp() override
    {
        shell.add_page(0, new wizard_page("Step", "A page", 0));
        shell.show();
        ASSERT_TRUE(wait_until([&] { return shell.is_initialized(); }));
    }

    /// Handles `error` on a worker, as the conversion run does; answers whether the run was
    /// told to end (tk_final_exception).
    bool handle_on_worker(const tk_exception& error, bool final_stage = false)
    {
        bool ended = false;
        wizard_worker worker;
        worker.start(
            [&]
            {
                try
                {
                    error_handler::instance().handle(error, final_stage);
                }
                catch (const tk_final_exception&)
                {
                    ended = true;
                }
            });
        worker.join();
        EXPECT_FALSE(worker.failure());
        return ended;
    }

    scripted_prompts prompts;
    wizard_process process{prompts};
    wizard_shell shell{wizard_title(), prompts};
};

TEST_F(WizardErrorHandler, SeverityOneShowsAnErrorBoxOnTheGuiThreadAndEndsTheRun)
{
    EXPECT_TRUE(handle_on_worker(tk_exception("Cannot open the source table.", 1)));
    EXPECT_EQ(prompts.lines(), std::vector<std::string>{"error Corlamig 1.5  Error|Cannot open "
                                                        "the source table."});
    EXPECT_EQ(prompts.error_thread, std::this_thread::get_id());
    EXPECT_EQ(shell.errors(), std::vector<std::string>{"Cannot open the source table."});
}

TEST_F(WizardErrorHandler, SeverityOneAtTheFinalStageDoesNotEndAnything)
{
    EXPECT_FALSE(handle_on_worker(tk_exception("late", 1), true));
    EXPECT_EQ(prompts.lines().size(), 1U);
}

TEST_F(WizardErrorHandler, ContextAndMapWordTheMessageWithoutLineFeeds)
{
    error_handler::instance().set_context(L"orders, record #7");
    EXPECT_FALSE(handle_on_worker(odb_exception(static_cast<HRESULT>(0x80040E2F))));
    const std::string expected =
        "orders, record #7: The specified record violates the integrity constraints. See "
        "'Troubleshooting' article of the product documentation for solution.";
    EXPECT_EQ(prompts.lines(),
              std::vector<std::string>{"continue Corlamig 1.5  Error|" + expected});
    EXPECT_EQ(shell.errors(), std::vector<std::string>{expected});
}

TEST_F(WizardErrorHandler, AbortEndsTheRun)
{
    prompts.continue_result = 1;
    EXPECT_TRUE(handle_on_worker(tk_exception("row refused", 0)));
    EXPECT_FALSE(error_handler::instance().quiet());
}

TEST_F(WizardErrorHandler, DoNotShowAgainSilencesLaterWarningsButKeepsListingThem)
{
    prompts.continue_do_not_show = true;
    EXPECT_FALSE(handle_on_worker(tk_exception("first", 0)));
    EXPECT_TRUE(error_handler::instance().quiet());
    EXPECT_FALSE(handle_on_worker(tk_exception("second", 0)));
    EXPECT_EQ(prompts.lines(), std::vector<std::string>{"continue Corlamig 1.5  Error|first"});
    EXPECT_EQ(shell.errors(), (std::vector<std::string>{"first", "second"}));
}

TEST_F(WizardErrorHandler, TheListKeepsTwentyErrors)
{
    error_handler::instance().set_quiet(true);
    for (int error_idx = 1; error_idx <= 25; ++error_idx)
    {
        handle_on_worker(tk_exception("error " + std::to_string(error_idx), 0));
    }
    const std::vector<std::string> kept = shell.errors();
    ASSERT_EQ(kept.size(), wizard_shell::max_errors);
    EXPECT_EQ(kept.front(), "error 1");
    EXPECT_EQ(kept.back(), "error 20");
}

TEST_F(WizardErrorHandler, InternalErrorShowsItsDialogThenEndsTheProcess)
{
    handle_on_worker(tk_mail_assertion("conv_run", 12));
    EXPECT_EQ(prompts.lines(),
              (std::vector<std::string>{
                  "internal Corlamig 1.5  Error|Corlamig 1.5 |Internal error: \ncode=" +
                      std::string("636f6e765f72756e5c3132"),
                  "end 255"}));
    EXPECT_TRUE(shell.errors().empty());
}

TEST(WizardErrorHandlerWithoutWindow, BoxesHaveBareCaptionsAndNothingIsListed)
{
    scripted_prompts prompts;
    wizard_process process(prompts);
    error_handler::instance().handle(tk_exception("Profile is damaged.", 1), true);
    error_handler::instance().handle(tk_exception("warning", 0), true);
    EXPECT_EQ(prompts.lines(), (std::vector<std::string>{"error Error|Profile is damaged.",
                                                         "continue Error|warning"}));
}

} // namespace
