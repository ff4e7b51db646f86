// tk_exception_test.cpp: messages, codes and severities of the exception family.
#include "tk/tk_exception.h"
#include "tk/tk_string.h"

#include <cerrno>
#include <cstring>
#include <gtest/gtest.h>

namespace
{

TEST(TkException, TextsCodesAndSeverities)
{
    struct
    {
        tk_exception error;
        std::string message;
        int severity;
    } cases[] = {
        {tk_exception(1), "Unknown exception", 1},
        {tk_exception(std::string(), 1), "Unknown exception", 1},
        {tk_exception(std::string("disk full"), 0), "disk full", 0},
        {tk_exception(std::wstring(L"caf\u00E9"), 2), "caf\xC3\xA9", 2},
    };
    for (const auto& test : cases)
    {
        EXPECT_EQ(test.error.message(), test.message);
        EXPECT_STREQ(test.error.what(), test.message.c_str());
        EXPECT_EQ(test.error.severity(), test.severity);
        EXPECT_EQ(test.error.code(), 0);
    }
}

TEST(TkException, MailAssertionEncodesFileAndLine)
{
    const struct
    {
        const char* file;
        int line;
        const char* hex;
    } cases[] = {
        {"udb_vali", 54, "7564625f76616c695c3534"},
        {"tk_threa", 71, "746b5f74687265615c3731"},
    };
    for (const auto& test : cases)
    {
        const tk_mail_assertion error(test.file, test.line);
        EXPECT_EQ(error.message(), std::string("Internal error: \ncode=") + test.hex);
        EXPECT_EQ(error.severity(), 2);
        EXPECT_EQ(error.code(), 0);
    }
}

TEST(TkException, EveryKindIsCaughtAsStdException)
{
    // A second std::exception base would make the base ambiguous and let these escape.
    auto caught = [](auto thrower)
    {
        try
        {
            thrower();
        }
        catch (const std::exception&)
        {
            return true;
        }
        catch (...)
        {
        }
        return false;
    };
    EXPECT_TRUE(caught([] { throw tk_exception_ex("x: ", 0); }));
    EXPECT_TRUE(caught([] { throw tk_mail_assertion("f", 1); }));
    EXPECT_TRUE(caught([] { throw tk_final_exception(); }));
    EXPECT_STREQ(tk_final_exception().what(), "Unknown exception");
}

TEST(TkException, FinalExceptionIsNotAnOrdinaryFailure)
{
    bool reached_final = false;
    try
    {
        try
        {
            throw tk_final_exception();
        }
        catch (const tk_exception&)
        {
            FAIL() << "a table-level handler swallowed the end of the run";
        }
    }
    catch (const tk_final_exception&)
    {
        reached_final = true;
    }
    EXPECT_TRUE(reached_final);
}

TEST(TkException, FailedConversionCarriesTheSystemError)
{
    try
    {
        tk_wstring::from_utf8("\xC0\x80");
        FAIL() << "invalid UTF-8 accepted";
    }
    catch (const tk_exception_ex& error)
    {
        EXPECT_EQ(error.code(), EILSEQ);
        EXPECT_EQ(error.message(),
                  std::string("Cannot convert to UNICODE string: ") + std::strerror(EILSEQ));
        EXPECT_EQ(error.severity(), 0);
    }
}

} // namespace
