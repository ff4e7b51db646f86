// console_reporter_test.cpp: the agent's console lines of a run and its silent flag.
#include "convertor/console_reporter.h"
#include "convertor/udb_converter.h"
#include "tk/tk_logger.h"

#include <functional>
#include <gtest/gtest.h>
#include <sstream>

namespace
{

class plain_converter : public tk_converter
{
};

struct console_case
{
    const char* name;
    std::function<void(console_reporter&)> event;
    std::string out;
    std::string err;
};

class ConsoleReporter : public testing::TestWithParam<console_case>
{
};

TEST_P(ConsoleReporter, WritesItsLineUnlessSilent)
{
    const console_case& test = GetParam();
    tk_logger logger("", false, 3, false);
    for (const bool silent : {false, true})
    {
        SCOPED_TRACE(silent ? "silent" : "talking");
        plain_converter converter;
        converter.set_silent(silent);
        std::ostringstream out;
        std::ostringstream err;
        console_reporter reporter(out, err, converter);
        test.event(reporter);
        EXPECT_EQ(out.str(), silent ? "" : test.out);
        EXPECT_EQ(err.str(), silent ? "" : test.err);
    }
}

INSTANTIATE_TEST_SUITE_P(
    Events, ConsoleReporter,
    testing::Values(
        console_case{"DatabaseLineInTheConsolesWording",
                     [](console_reporter& reporter)
                     {
                         reporter.progress_line({progress_kind::database,
                                                 L"Converting database shop (3 tables)\n", L"shop",
                                                 3});
                     },
                     "Converting database shop(3 tables)\n", ""},
        console_case{"SchemaLineAsTheRunWordsIt",
                     [](console_reporter& reporter)
                     {
                         reporter.progress_line({progress_kind::schema,
                                                 L"Creating schema if necessary: 'Ventes'\n",
                                                 L"Ventes", 0});
                     },
                     "Creating schema if necessary: 'Ventes'\n", ""},
        console_case{"TableLineInUtf8",
                     [](console_reporter& reporter)
                     {
                         reporter.progress_line({progress_kind::table,
                                                 L"Converting table public.été (7 records)\n",
                                                 L"public.été", 7});
                     },
                     "Converting table public.été(7 records)\n", ""},
        console_case{"MissingTableOnTheErrorStream",
                     [](console_reporter& reporter)
                     { reporter.table_missing(L"public.gone", L""); },
                     "", "Table public.gone not exists\n"},
        console_case{"ViewNamedWhatItIs",
                     [](console_reporter& reporter) {
                         reporter.table_missing(L"public.v", L"is a view: views are not converted");
                     },
                     "", "Table public.v is a view: views are not converted\n"},
        console_case{"IndexNotCreatedOnStandardOutputWithItsReason",
                     [](console_reporter& reporter)
                     {
                         reporter.index_failed(L"public.été", L"ix_nom",
                                               L"the column nom is text without a length limit");
                     },
                     "Error: index ix_nom of table public.été was not created: the column nom is "
                     "text without a length limit\n",
                     ""},
        console_case{"RunFailureOnTheErrorStream",
                     [](console_reporter& reporter) { reporter.run_failed("disk on fire"); }, "",
                     "disk on fire\n"}),
    [](const testing::TestParamInfo<console_case>& param_info) { return param_info.param.name; });

} // namespace
