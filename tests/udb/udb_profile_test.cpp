// udb_profile_test.cpp: the profile file's exact form, its reader's rules and round trips.
#include "plat/plat_text.h"
#include "test_support.h"
#include "tk/tk_exception.h"
#include "udb/udb_profile.h"
#include "udb/udb_table_key.h"

#include <filesystem>
#include <gtest/gtest.h>
#include <string>
#include <sys/stat.h>

namespace
{

using test_support::read_file;
using test_support::temp_dir;
using test_support::write_file;

std::wstring wide(const std::string& utf8)
{
    return plat::utf8_to_wide_lossy(utf8);
}

// Every section but the untouched default ones, as "[name]{key=value;...}" in UTF-8.
std::string dump(const udb_profile& profile)
{
    const udb_profile fresh;
    std::string out;
    for (const auto& [section, entries] : profile.sections())
    {
        if (entries.empty() && fresh.sections().count(section) != 0)
        {
            continue;
        }
        out += "[" + plat::wide_to_utf8(section) + "]{";
        const char* separator = "";
        for (const auto& [key, value] : entries)
        {
            out += separator + plat::wide_to_utf8(key) + "=" + plat::wide_to_utf8(value);
            separator = ";";
        }
        out += "}";
    }
    return out;
}

unsigned file_mode(const std::string& path)
{
    struct stat info
    {
    };
    return ::stat(path.c_str(), &info) == 0 ? (info.st_mode & 07777) : 0;
}

TEST(UdbProfile, StoreWritesSortedSectionsWithCrlfAndMode0600)
{
    udb_profile profile;
    profile.set_value(L"pgs settings", L"host", L"localhost");
    profile.set_value(L"MS SQL Server settings", L"password", L"pässwörd ключ");
    profile.set_value(L"MS SQL Server settings", L"empty", L"");
    profile.set_value(L"Selected Tables", L"orders", L"");
    profile.set_value(L"Selected Tables", L"q1", L"SELECT * FROM orders");
    profile.set_value(L"Available Queries", L"q1", L"SELECT * FROM orders");
    profile.set_value(L"Generic settings", L"skip_idx", L"0");

    temp_dir dir;
    const std::string path = dir.file("p.zov");
    write_file(path, "previous profile");
    ::chmod(path.c_str(), 0644);
    ASSERT_TRUE(profile.store(wide(path)));
    EXPECT_EQ(read_file(path), "[Available Queries]\r\n"
                               "q1=SELECT * FROM orders\r\n"
                               "\r\n"
                               "[Generic settings]\r\n"
                               "skip_idx=0\r\n"
                               "\r\n"
                               "[MS SQL Server settings]\r\n"
                               "empty=\r\n"
                               "password=pässwörd ключ\r\n"
                               "\r\n"
                               "[Selected Tables]\r\n"
                               "orders\r\n"
                               "q1=SELECT * FROM orders\r\n"
                               "\r\n"
                               "[pgs settings]\r\n"
                               "host=localhost\r\n"
                               "\r\n");
    EXPECT_EQ(file_mode(path), 0600u);
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.path()),
                            std::filesystem::directory_iterator()),
              1)
        << "no temporary file is left behind";

    udb_profile loaded;
    ASSERT_TRUE(loaded.load(wide(path)));
    EXPECT_EQ(loaded.sections(), profile.sections());
}

struct parse_case
{
    const char* label;
    std::string content;
    bool result;
    std::string sections;
};

class UdbProfileLoad : public testing::TestWithParam<parse_case>
{
};

// Each file is read as written with LF and again with CRLF line ends: both must read the same.
TEST_P(UdbProfileLoad, ReadsLfAndCrlfAlike)
{
    const parse_case& c = GetParam();
    std::string crlf;
    for (char ch : c.content)
    {
        crlf += ch == '\n' ? std::string("\r\n") : std::string(1, ch);
    }
    temp_dir dir;
    for (const std::string& content : {c.content, crlf})
    {
        SCOPED_TRACE(content == c.content ? "LF" : "CRLF");
        write_file(dir.file("in.zov"), content);
        udb_profile profile;
        EXPECT_EQ(profile.load(wide(dir.file("in.zov"))), c.result);
        EXPECT_EQ(dump(profile), c.sections);
    }
}

INSTANTIATE_TEST_SUITE_P(
    Syntax, UdbProfileLoad,
    testing::Values(
        parse_case{"BlankAfterEqualsKept", "[s]\nk= v\n", true, "[s]{k= v}"},
        parse_case{"KeyTrimmed", "[s]\n  k  =v  \n", true, "[s]{k=v}"},
        parse_case{"HeaderWithBlanks", "  [s]  \nk=v\n", true, "[s]{k=v}"},
        parse_case{"TabBeforeHeaderIsRawLine", "[s]\n\t[t]\n", true, "[s]{\t[t]=}"},
        parse_case{"DuplicateKeyKeepsFirst", "[s]\nk=1\nk=2\n", true, "[s]{k=1}"},
        parse_case{"RepeatedHeaderContinues", "[s]\na=1\n[t]\nb=2\n[s]\nc=3\n", true,
                   "[s]{a=1;c=3}[t]{b=2}"},
        parse_case{"EmptyLinesSkipped", "\n\n[s]\n\n   \nk=v\n\n", true, "[s]{k=v}"},
        parse_case{"SplitAtFirstEquals", "[s]\nk=a=b\n", true, "[s]{k=a=b}"},
        parse_case{"EmptyValue", "[s]\nk=\n", true, "[s]{k=}"},
        parse_case{"BareLineIsKeyWithEmptyValue", "[Selected Tables]\norders\n", true,
                   "[Selected Tables]{orders=}"},
        parse_case{"NonAscii", "[Ünïcode]\nключ=значение Σ\n", true, "[Ünïcode]{ключ=значение Σ}"},
        parse_case{"QueryValuesUnescaped", "[Available Queries]\nq=a\\r\\nb\\\\n\\x\\\n", true,
                   "[Available Queries]{q=a\r\nb\\n\\x\\}"},
        parse_case{"OtherValuesKeepBackslashes", "[Generic settings]\npath=C:\\new\\table\n", true,
                   "[Generic settings]{path=C:\\new\\table}"},
        parse_case{"EntryBeforeHeaderFails", "k=v\n[s]\na=b\n", false, ""},
        parse_case{"RawLineBeforeHeaderFails", "junk\n[s]\n", false, ""},
        parse_case{"ByteOrderMarkFails", "\xEF\xBB\xBF[Available Queries]\nq=x\n", false, ""},
        parse_case{"NoFinalLineEnd", "[s]\nk=v", true, "[s]{k=v}"},
        parse_case{"EmptyFile", "", true, ""},
        parse_case{"NulByteFails", std::string("[s]\nk=v\0w\nl=x\n", 14), false, "[s]{}"},
        parse_case{"QuotedTableKeyPartsKeepEqualsAndEscapes",
                   "[Selected Tables]\npublic.\"a=b\"=SELECT 1\n\" s\".\"x\\\\y\\r\\n\"\n", true,
                   "[Selected Tables]{\" s\".\"x\\y\r\n\"=;public.\"a=b\"=SELECT 1}"},
        parse_case{"EscapesOutsideQuotedPartsStay", "[Selected Tables]\npublic.a\\nb=\n", true,
                   "[Selected Tables]{public.a\\nb=}"}),
    [](const testing::TestParamInfo<parse_case>& param_info) { return param_info.param.label; });

TEST(UdbProfile, OnlyAClosedQuotedPartOfATableKeyHoldsAnEqualsThatDoesNotSplit)
{
    temp_dir dir;
    write_file(dir.file("in.zov"), "[Selected Tables]\n\"ab=c\n\"d=e\"x=f\n\"g\\\\=h\n"
                                   "[s]\n\"a=b\".\"c\"=d\n");
    udb_profile profile;
    ASSERT_TRUE(profile.load(wide(dir.file("in.zov"))));
    EXPECT_EQ(profile.sections().at(L"Selected Tables"),
              (udb_profile::section_map{{L"\"ab", L"c"}, {L"\"d", L"e\"x=f"}, {L"\"g\\\\", L"h"}}));
    EXPECT_EQ(profile.sections().at(L"s"), (udb_profile::section_map{{L"\"a", L"b\".\"c\"=d"}}));
}

TEST(UdbProfile, LongAndMultiLineValuesSurviveARoundTrip)
{
    std::wstring long_query = L"SELECT ";
    while (long_query.size() < 70000)
    {
        long_query += L"column_é, ";
    }
    long_query += L"x FROM t";
    const std::wstring multi_line = L"SELECT *\r\nFROM t\nWHERE a = E'\\n' -- \\\\ \r";
    udb_profile profile;
    profile.set_value(L"Available Queries", L"long", long_query);
    profile.set_value(L"Available Queries", L"multi", multi_line);
    profile.set_value(L"Selected Tables", L"multi", multi_line);
    profile.set_value(L"Generic settings", L"long", long_query);

    temp_dir dir;
    ASSERT_TRUE(profile.store(wide(dir.file("long.zov"))));
    udb_profile loaded;
    ASSERT_TRUE(loaded.load(wide(dir.file("long.zov"))));
    EXPECT_EQ(loaded.get_value(L"Available Queries", L"long"), long_query);
    EXPECT_EQ(loaded.get_value(L"Available Queries", L"multi"), multi_line);
    EXPECT_EQ(loaded.get_value(L"Selected Tables", L"multi"), multi_line);
    EXPECT_EQ(loaded.get_value(L"Generic settings", L"long"), long_query);
    EXPECT_EQ(loaded.sections(), profile.sections());
}

TEST(UdbProfile, SelectedTablesThatLookLikeHeadersKeepTheirEquals)
{
    udb_profile profile;
    profile.set_value(L"Selected Tables", L"[dbo].[orders]", L"");
    profile.set_value(L"Selected Tables", L"", L"");
    profile.set_value(L"Selected Tables", L"public.items", L"");
    temp_dir dir;
    ASSERT_TRUE(profile.store(wide(dir.file("t.zov"))));
    EXPECT_EQ(read_file(dir.file("t.zov")), "[Available Queries]\r\n\r\n"
                                            "[Generic settings]\r\n\r\n"
                                            "[Selected Tables]\r\n"
                                            "=\r\n"
                                            "[dbo].[orders]=\r\n"
                                            "public.items\r\n"
                                            "\r\n");
    udb_profile loaded;
    ASSERT_TRUE(loaded.load(wide(dir.file("t.zov"))));
    EXPECT_EQ(loaded.sections(), profile.sections());
}

TEST(UdbProfile, RawLinesAreWrittenBackAfterTheSections)
{
    temp_dir dir;
    write_file(dir.file("raw.zov"), "[s]\n  bare  \nk=v\n");
    udb_profile profile;
    ASSERT_TRUE(profile.load(wide(dir.file("raw.zov"))));
    ASSERT_TRUE(profile.store(wide(dir.file("out.zov"))));
    EXPECT_EQ(read_file(dir.file("out.zov")), "[Available Queries]\r\n\r\n"
                                              "[Generic settings]\r\n\r\n"
                                              "[Selected Tables]\r\n\r\n"
                                              "[s]\r\nbare=\r\nk=v\r\n\r\n"
                                              "[s]\r\n  bare  \r\n");
}

TEST(UdbProfile, MissingFileOrDirectoryDoesNotExist)
{
    temp_dir dir;
    for (const std::string& path : {dir.file("missing.zov"), dir.path().string()})
    {
        SCOPED_TRACE(path);
        udb_profile profile;
        try
        {
            profile.load(wide(path));
            FAIL() << "no exception";
        }
        catch (const tk_exception& error)
        {
            EXPECT_EQ(error.message(),
                      "Profile does not exist. Please verify the correct path/name was given.");
            EXPECT_EQ(error.severity(), 1);
        }
    }
}

TEST(UdbProfile, InvalidUtf8IsAConversionError)
{
    temp_dir dir;
    write_file(dir.file("bad.zov"), "[s]\nk=\xC3\x28\n");
    udb_profile profile;
    try
    {
        profile.load(wide(dir.file("bad.zov")));
        FAIL() << "no exception";
    }
    catch (const tk_exception_ex& error)
    {
        EXPECT_EQ(error.message().rfind("Cannot convert to UNICODE string: ", 0), 0u)
            << error.message();
    }
}

TEST(UdbProfile, UnwritableTargetAnswersFalseAndKeepsNothing)
{
    temp_dir dir;
    const udb_profile profile;
    EXPECT_FALSE(profile.store(wide(dir.file("no/such/dir/p.zov"))));
    EXPECT_FALSE(profile.store(L""));
    EXPECT_TRUE(std::filesystem::is_empty(dir.path()));
}

TEST(UdbProfile, ValuesSectionsAndTheFirstValueWins)
{
    udb_profile profile;
    EXPECT_EQ(dump(profile), "");
    EXPECT_TRUE(profile.get_queries_section().empty());
    EXPECT_TRUE(profile.get_tables_section().empty());
    profile.set_value(L"s", L"k", L"first");
    profile.set_value(L"s", L"k", L"second");
    EXPECT_EQ(profile.get_value(L"s", L"k"), L"first");
    EXPECT_EQ(profile.get_value(L"s", L"K"), L"");
    EXPECT_EQ(profile.get_value(L"S", L"k"), L"");
    EXPECT_EQ(profile.get_value(L"none", L"k"), L"");
    EXPECT_EQ(profile.sections().count(L"none"), 0u);
    profile.get_section(L"new")[L"a"] = L"b";
    profile.add_section(L"new");
    profile.get_tables_section()[L"orders"] = L"";
    EXPECT_EQ(dump(profile), "[Selected Tables]{orders=}[new]{a=b}[s]{k=first}");
}

struct unkept_value_case
{
    const char* label;
    std::wstring section;
    std::wstring key;
    std::wstring value;
    std::string message;
};

class UdbProfileUnkeptValue : public testing::TestWithParam<unkept_value_case>
{
};

// The reader trims each line and unescapes only the SQL texts: such a value would come back as
// another one (a password that no longer logs in), so nothing is written.
TEST_P(UdbProfileUnkeptValue, IsRefusedNamingItsSettingAndNothingIsWritten)
{
    const unkept_value_case& c = GetParam();
    temp_dir dir;
    const std::string path = dir.file("p.zov");
    write_file(path, "[Generic settings]\r\nsrc=earlier\r\n");
    udb_profile profile;
    profile.set_value(L"Generic settings", L"src", L"kept");
    profile.set_value(c.section, c.key, c.value);
    try
    {
        profile.store(wide(path));
        FAIL() << "the value was written";
    }
    catch (const tk_exception& error)
    {
        EXPECT_EQ(error.message(), c.message);
        EXPECT_EQ(error.severity(), 1);
    }
    EXPECT_EQ(read_file(path), "[Generic settings]\r\nsrc=earlier\r\n");
}

INSTANTIATE_TEST_SUITE_P(
    Values, UdbProfileUnkeptValue,
    testing::Values(
        unkept_value_case{"TrailingBlank", L"MS SQL Server settings", L"password", L" p=w ",
                          "The setting \"password\" of [MS SQL Server settings] ends with a "
                          "blank, which a profile cannot keep; the profile was not saved."},
        unkept_value_case{"OnlyBlanks", L"pgs settings", L"user", L"  ",
                          "The setting \"user\" of [pgs settings] ends with a blank, which a "
                          "profile cannot keep; the profile was not saved."},
        unkept_value_case{"QueryEndingWithABlank", L"Available Queries", L"q", L"SELECT 1 ",
                          "The setting \"q\" of [Available Queries] ends with a blank, which a "
                          "profile cannot keep; the profile was not saved."},
        unkept_value_case{"LineFeed", L"Generic settings", L"dest", L"shop\nx",
                          "The setting \"dest\" of [Generic settings] holds a line break, which "
                          "a profile cannot keep; the profile was not saved."},
        unkept_value_case{"CarriageReturn", L"pgs settings", L"password", L"a\rb",
                          "The setting \"password\" of [pgs settings] holds a line break, which "
                          "a profile cannot keep; the profile was not saved."}),
    [](const testing::TestParamInfo<unkept_value_case>& param_info)
    { return param_info.param.label; });

TEST(UdbProfile, LeadingBlanksTabsAndLineBreaksOfQueriesReadBack)
{
    udb_profile profile;
    profile.set_value(L"MS SQL Server settings", L"password", L" p=w");
    profile.set_value(L"pgs settings", L"password", L"\tx\t");
    profile.set_value(L"Available Queries", L"q", L"SELECT 1\r\n");
    profile.set_value(L"Selected Tables", L"public.t", L" SELECT\n2");
    temp_dir dir;
    ASSERT_TRUE(profile.store(wide(dir.file("p.zov"))));
    udb_profile loaded;
    ASSERT_TRUE(loaded.load(wide(dir.file("p.zov"))));
    EXPECT_EQ(loaded.sections(), profile.sections());
}

// Table keys as the source writes them, whole tables and with a query: each reads back as the
// same key and value, whatever the names hold.
TEST(UdbProfile, TableKeysReadBackAsStored)
{
    const std::vector<std::pair<std::wstring, std::wstring>> names{
        {L" s", L"k"},       {L"s", L"k"},      {L"public", L"t "}, {L"public", L"t"},
        {L"public", L"a=b"}, {L"public", L"a"}, {L"a=b", L"=c="},   {L"x", L"a;b#c"},
        {L"x", L"\"q"},      {L"x", L"q\"\""},  {L"d.o.t", L"x.y"}, {L"x", L"b\\sl\\"},
        {L"x", L"cr\rlf\n"}, {L"\n", L"\r\n"},  {L"x", L"\ttab\t"}, {L"x", L"Ωμέγα ключ"},
        {L"x", L" =\\n\" "}, {L"x", L"\\r\\n"}, {L"", L"lone"},     {L"", L" lone="}};
    for (const bool with_query : {false, true})
    {
        SCOPED_TRACE(with_query ? "with a query" : "whole tables");
        udb_profile profile;
        for (const auto& [schema, table] : names)
        {
            profile.set_value(L"Selected Tables", udb_table_key(schema, table),
                              with_query ? L"SELECT '" + table + L"'" : L"");
        }
        temp_dir dir;
        ASSERT_TRUE(profile.store(wide(dir.file("t.zov"))));
        udb_profile loaded;
        ASSERT_TRUE(loaded.load(wide(dir.file("t.zov"))));
        EXPECT_EQ(loaded.sections(), profile.sections());
    }
}

} // namespace
