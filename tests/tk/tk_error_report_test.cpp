// tk_error_report_test.cpp: error-code texts and the clipboard and mail reports.
#include "plat/plat_desktop.h"
#include "test_support.h"
#include "tk/tk_error_report.h"
#include "tk/tk_exception.h"
#include "tk/tk_logger.h"

#include <filesystem>
#include <gtest/gtest.h>

namespace
{

TEST(TkErrorConverter, FirstTextOfARepeatedCodeWinsAndUnknownCodesGiveNothing)
{
    const tk_error_pair first[] = {{0x80E2F, "integrity"}, {-1032, "cannot connect"}};
    const tk_error_pair second[] = {{0x80E2F, "later text"}, {0x80E37, "no table"}};
    tk_error_converter converter{std::span<const tk_error_pair>(first)};
    converter.load_map(second);
    EXPECT_EQ(converter.convert(0x80E2F), "integrity");
    EXPECT_EQ(converter.convert(-1032), "cannot connect");
    EXPECT_EQ(converter.convert(0x80E37), "no table");
    EXPECT_EQ(converter.convert(12345), "");
    EXPECT_THROW(converter.load_map(1, nullptr), tk_mail_assertion);
}

TEST(TkErrorReport, ClipboardGetsTheTextThroughTheFrontEndsHook)
{
    std::wstring copied = L"untouched";
    plat::set_clipboard_hook(
        [&](const std::wstring& text)
        {
            copied = text;
            return true;
        });
    tk_copy_to_clipboard2(L"Internal error: \ncode=7564");
    EXPECT_EQ(copied, L"Internal error: \ncode=7564");
    tk_copy_to_clipboard2(L"");
    EXPECT_EQ(copied, L"");
    plat::set_clipboard_hook(nullptr);
    tk_copy_to_clipboard2(L"no clipboard: nothing happens");
}

TEST(TkErrorReport, BugReportIsMailedToTheReportAddressAndKeepsTheWorkingDirectory)
{
    std::string subject;
    std::string body;
    std::string recipient;
    const auto before = std::filesystem::current_path();
    plat::set_mail_hook(
        [&](const std::string& mail_subject, const std::string& mail_body,
            const std::string& mail_recipient)
        {
            subject = mail_subject;
            body = mail_body;
            recipient = mail_recipient;
            std::filesystem::current_path("/");
            return 0;
        });
    EXPECT_EQ(tk_send_bug("vandrel", "Internal error: \ncode=00"), 0);
    plat::set_mail_hook(nullptr);
    EXPECT_EQ(subject, "Bug report on vandrel");
    EXPECT_EQ(body, "Internal error: \ncode=00");
    EXPECT_EQ(recipient, "zov-bugs@example.com");
    EXPECT_EQ(std::filesystem::current_path(), before);
}

TEST(TkErrorReport, MissingMailProgramIsLoggedNotThrown)
{
    test_support::temp_dir dir;
    test_support::scoped_env path("PATH", dir.path().string());
    tk_logger logger(dir.file("t.log").c_str(), true, 1, false);
    EXPECT_EQ(tk_send_bug("t", "x"), -1);
    const std::string log = test_support::read_file(dir.file("t.log"));
    EXPECT_NE(log.find("Failed to locate xdg-email\r\n"), std::string::npos) << log;
}

TEST(PlatDesktop, RunProgramReportsExitStatusWithoutAShell)
{
    EXPECT_EQ(plat::run_program({"sh", "-c", "exit 3"}), 3);
    // An argument with shell syntax is passed as it is, never interpreted.
    EXPECT_EQ(plat::run_program({"test", "a;b", "=", "a;b"}), 0);
    EXPECT_EQ(plat::run_program({"zov-no-such-program"}), -1);
    EXPECT_EQ(plat::run_program({}), -1);
}

} // namespace
