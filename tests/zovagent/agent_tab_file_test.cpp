// agent_tab_file_test.cpp: the table-list file: line ends, blank lines, the byte-order mark,
// non-ASCII and long names, and the refusals.
#include "agent_options_fixture.h"
#include "zovagent/agent_tab_file.h"

#include <gtest/gtest.h>

namespace
{

using agent_test::AgentOptions;

struct tab_file_case
{
    const char* name;
    std::string bytes;
    std::vector<std::wstring> tables;
};

/// Shows a case by its name in failure messages.
void PrintTo(const tab_file_case& test, std::ostream* out)
{
    *out << test.name;
}

class AgentTabFile : public AgentOptions, public testing::WithParamInterface<tab_file_case>
{
};

TEST_P(AgentTabFile, GivesTheExactNamesInFileOrder)
{
    const tab_file_case& test = GetParam();
    const std::string path = m_dir.file("tables.txt");
    test_support::write_file(path, test.bytes);
    m_converter.tables() = {L"earlier"};
    process_tab_file(path, m_context);
    EXPECT_EQ(m_converter.tables(), test.tables);
    EXPECT_EQ(m_err.str(), "");
}

const std::string long_name = "public." + std::string(1000, 'x');

// A name keeps its blanks; one at either end is in the key the source lists that table under
// (public."film ").
INSTANTIATE_TEST_SUITE_P(
    Files, AgentTabFile,
    testing::Values(
        tab_file_case{"MarkCrLfBlankLinesAndTrailingBlank",
                      "\xEF\xBB\xBFpublic.actor\r\n\r\npublic.film \r\nventes.\xC3\xA9t\xC3\xA9\r\n"
                      "\r\n",
                      {L"public.actor", L"public.\"film \"", L"ventes.été"}},
        tab_file_case{"SameWithoutTheMark",
                      "public.actor\r\n\r\npublic.film \r\nventes.\xC3\xA9t\xC3\xA9\r\n\r\n",
                      {L"public.actor", L"public.\"film \"", L"ventes.été"}},
        tab_file_case{"LineFeedsAndLeadingBlankLines",
                      "\n\n\npublic.a\n\npublic.b\n",
                      {L"public.a", L"public.b"}},
        tab_file_case{"NoFinalLineEnd", "a\r\nb", {L"a", L"b"}},
        tab_file_case{"MarkAloneOnTheFirstLine", "\xEF\xBB\xBF\r\nt1\r\n", {L"t1"}},
        tab_file_case{"MarkOnlyCountsBeforeTheFirstName",
                      "a\n\xEF\xBB\xBF"
                      "b\n",
                      {L"a", L"\uFEFFb"}},
        tab_file_case{"BlankLinesAreSkipped", " \t\r\npublic.a\r\n  \r\n\t\n", {L"public.a"}},
        tab_file_case{"QuotedPartsReadAsTheSourceWritesThem",
                      "\"public\".a\n\"sch.dot\".t\na.b.c\n",
                      {L"public.a", L"\"sch.dot\".t", L"a.\"b.c\""}},
        tab_file_case{"LongLineIsReadWhole",
                      long_name + "\r\nt2\r\n",
                      {std::wstring(long_name.begin(), long_name.end()), L"t2"}}),
    [](const testing::TestParamInfo<tab_file_case>& param_info) { return param_info.param.name; });

TEST_F(AgentOptions, TableListThatNamesNoTableEndsTheProgram)
{
    const std::string path = m_dir.file("empty.txt");
    for (const std::string bytes :
         {std::string(), std::string("\r\n\n"), std::string(" \t \r\n  \n"),
          std::string("\xEF\xBB\xBF"), std::string("\xEF\xBB\xBF  \r\n\r\n")})
    {
        SCOPED_TRACE(testing::PrintToString(bytes));
        test_support::write_file(path, bytes);
        m_err.str("");
        m_converter.tables() = {L"earlier"};
        EXPECT_THROW(process_tab_file(path, m_context), process_exit);
        EXPECT_EQ(m_err.str(), "Table list " + path + " names no table\n");
        EXPECT_EQ(m_converter.tables(), std::vector<std::wstring>{L"earlier"});
    }
}

TEST_F(AgentOptions, SecondTableListFileReplacesTheFirst)
{
    const std::string first = m_dir.file("first.txt");
    const std::string second = m_dir.file("second.txt");
    test_support::write_file(first, "a\nb\n");
    test_support::write_file(second, "c\n");
    ASSERT_TRUE(parse({"--src=s", "--dest=d", "--tab_file=" + first, "--tab_file=" + second}));
    EXPECT_EQ(m_converter.tables(), std::vector<std::wstring>{L"c"});
}

TEST_F(AgentOptions, MissingTableListFileEndsTheProgram)
{
    for (const std::string& path : {m_dir.file("absent.txt"), m_dir.path().string()})
    {
        SCOPED_TRACE(path);
        m_err.str("");
        EXPECT_THROW(process_tab_file(path, m_context), process_exit);
        EXPECT_EQ(m_err.str(), "Table names file does not exist.\n"
                               "Please verify the correct path/name was given.\n");
    }
    m_err.str("");
    m_converter.set_silent(true);
    EXPECT_THROW(process_tab_file(m_dir.file("absent.txt"), m_context), process_exit);
    EXPECT_EQ(m_err.str(), "");
}

TEST_F(AgentOptions, TableListThatIsNotUtf8NamesTheLine)
{
    const std::string path = m_dir.file("latin1.txt");
    test_support::write_file(path, "\xEF\xBB\xBFpublic.a\r\n\r\npublic.caf\xE9\r\n");
    m_converter.tables() = {L"earlier"};
    EXPECT_THROW(process_tab_file(path, m_context), process_exit);
    EXPECT_EQ(m_err.str(), "Table names file is not valid UTF-8 text at line 3.\n");
    EXPECT_EQ(m_converter.tables(), std::vector<std::wstring>{L"earlier"});
}

} // namespace
