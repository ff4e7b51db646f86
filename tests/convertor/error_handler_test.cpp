// error_handler_test.cpp: messages, context and severity policy of the console error handler.
#include "convertor/console_error_handler.h"

#include <gtest/gtest.h>
#include <sstream>

namespace
{

class coded_error : public tk_exception
{
public:
    coded_error(const std::string& text, int code, int severity)
        : tk_exception(text, severity)
    {
        set_code(code);
    }
};

struct handle_case
{
    const char* name;
    std::wstring context;
    int code;
    int severity;
    bool quiet;
    std::string printed;
    bool ends_program;
    /// The exception's own text (the driver's or server's message); empty for none.
    std::string text = "own text\nsecond line";
};

class ConsoleErrorHandler : public testing::TestWithParam<handle_case>
{
};

TEST_P(ConsoleErrorHandler, PrintsAndDecidesBySeverity)
{
    const handle_case& test = GetParam();
    std::ostringstream out;
    console_error_handler handler(pgs_error_texts(), out);
    handler.load_err_map(oledb_error_texts());
    handler.set_context(test.context);
    handler.set_quiet(test.quiet);
    bool ended = false;
    try
    {
        handler.handle(coded_error(test.text, test.code, test.severity), false);
    }
    catch (const process_exit& exit)
    {
        ended = true;
        EXPECT_EQ(exit.code, -1);
    }
    EXPECT_EQ(ended, test.ends_program);
    EXPECT_EQ(out.str(), test.printed);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, ConsoleErrorHandler,
    testing::Values(
        handle_case{"MappedCodeWithRecordContext", L"orders, record #7", 0x80E2F, 0, false,
                    "Error:\norders, record #7: The specified record violates the integrity "
                    "constraints. See 'Troubleshooting' article of the product documentation for "
                    "solution. own text second line\n",
                    false},
        handle_case{"MappedCodeWithoutADriverTextShowsTheMapOnly", L"orders, record #7", 0x80E57, 0,
                    false,
                    "Error:\norders, record #7: Literal value overflowed the range of the type of "
                    "the associated column.\n",
                    false, ""},
        handle_case{"MappedCodeWithTheGenericTextShowsTheMapOnly", L"", 0x80E21, 0, false,
                    "Error:\nErrors occurred.\n", false,
                    "Generic error occurred while migrating the data.\nContact your support team "
                    "for the solution."},
        handle_case{"UnknownCodeShowsOwnText", L"", 42, 0, false, "Error:\nown text second line\n",
                    false},
        handle_case{"PostgresTable", L"", -30082, 1, false,
                    "Error:\nIncorrect username or password own text second line\n", true},
        handle_case{"QuietWarningPrintsNothingAndGoesOn", L"t", 42, 0, true, "", false},
        handle_case{"QuietSeverityOneStillEnds", L"t", 42, 1, true, "", true},
        handle_case{"InternalErrorIgnoresQuiet", L"t", 0, 2, true,
                    "Internal error: own text\nsecond line\n", true}),
    [](const testing::TestParamInfo<handle_case>& param_info) { return param_info.param.name; });

TEST(ErrorHandler, IsASingletonAndTheTablesHoldEveryCode)
{
    std::ostringstream out;
    console_error_handler handler(oledb_error_texts(), out);
    EXPECT_EQ(&error_handler::instance(), &handler);
    EXPECT_THROW(console_error_handler(pgs_error_texts(), out), tk_mail_assertion);
    EXPECT_EQ(oledb_error_texts().size(), 27u);
    EXPECT_EQ(pgs_error_texts().size(), 2u);
}

} // namespace
