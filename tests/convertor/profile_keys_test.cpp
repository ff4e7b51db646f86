// profile_keys_test.cpp: saving and loading every setting through a profile file, the read
// rules of each key, and the profile errors.
#include "convertor_fakes.h"
#include "plat/plat_text.h"

#include <filesystem>
#include <functional>
#include <gtest/gtest.h>
#include <optional>
#include <sys/stat.h>

namespace
{

using conv_test::run_bench;

/// Every setting a profile carries, with the selection as the run will see it (the tables
/// merged into the selection).
struct profile_settings
{
    std::wstring src, dest;
    int mode = 0;
    std::string log_file;
    bool skip_idx = false, tab_def = false, no_schema = false, engine_no_schema = false;
    std::map<std::wstring, std::wstring> selection, queries;
    std::string pgs_host, pgs_user, pgs_password;
    std::wstring schema;
    int port = 0;
    std::wstring mss_host, mss_user, mss_password;
    bool sec_log = false, as_dbo = false;
    bool dump_insert_comments = false, dump_create_database = false, dump_create_table = false;

    bool operator==(const profile_settings&) const = default;
};

profile_settings settings_of(vandrel_convertor& converter)
{
    profile_settings settings;
    settings.src = converter.src();
    settings.dest = converter.dest();
    settings.mode = converter.mode();
    settings.log_file = converter.log_file();
    settings.skip_idx = converter.skip_idx();
    settings.tab_def = converter.tab_def();
    settings.no_schema = converter.no_schema();
    settings.engine_no_schema = converter.pgs().no_schema();
    settings.selection = converter.selected();
    for (const std::wstring& table : converter.tables())
    {
        settings.selection.emplace(table, L"");
    }
    settings.queries = converter.available_queries();
    settings.pgs_host = converter.pgs_host();
    settings.pgs_user = converter.pgs_user();
    settings.pgs_password = converter.pgs_password();
    settings.schema = converter.get_schema();
    settings.port = converter.port();
    settings.mss_host = converter.mss_host();
    settings.mss_user = converter.mss_user();
    settings.mss_password = converter.mss_password();
    settings.sec_log = converter.sec_log();
    settings.as_dbo = converter.mss().as_dbo();
    settings.dump_insert_comments = converter.dump_options().dump_insert_comments;
    settings.dump_create_database = converter.dump_options().dump_create_database;
    settings.dump_create_table = converter.dump_options().dump_create_table;
    return settings;
}

TEST(ProfileKeys, SaveThenLoadGivesEverySettingBack)
{
    test_support::temp_dir files;
    const std::wstring path = plat::utf8_to_wide_lossy(files.file("profil é.zov"));
    const std::wstring long_query = L"SELECT " + std::wstring(20000, L'x') + L" FROM t";
    const std::wstring multi_line = L"SELECT a,\r\n       b\nFROM t\\x\nWHERE c = 'd\\n'";
    profile_settings saved;
    {
        run_bench bench;
        vandrel_convertor& converter = bench.converter();
        converter.set_src(L"Données");
        converter.set_dest(L"目标");
        converter.set_mode(4);
        converter.set_logfile(files.file("trace.log"));
        converter.set_skip_idx(true);
        converter.set_tab_def(true);
        converter.set_no_schema(true);
        converter.tables() = {L"public.extra", L"public.orders"};
        converter.selected() = {{L"public.orders", L""},
                                {L"q long", long_query},
                                {L"q multi", multi_line},
                                {L"Ωmega", L"SELECT 'é' AS \"ü\""}};
        converter.available_queries() = {{L"monthly", multi_line}, {L"empty", L""}};
        converter.set_connection("hôte.example", "usér", "pa ss=wörd", 5433);
        converter.set_schema(L"Ventes");
        converter.set_connection(std::wstring(L"srv\\inst"), L"sa", L"pässword");
        converter.set_sec_log(false);
        converter.mss().set_as_dbo(true);
        converter.dump_options().dump_insert_comments = false;
        converter.dump_options().dump_create_database = true;
        converter.dump_options().dump_create_table = false;
        saved = settings_of(converter);
        ASSERT_TRUE(converter.save_profile_file(path));
    }
    struct stat file_status
    {
    };
    ASSERT_EQ(::stat(files.file("profil é.zov").c_str(), &file_status), 0);
    EXPECT_EQ(file_status.st_mode & 0777, 0600u);

    run_bench bench;
    ASSERT_TRUE(bench.converter().load_profile_file(path));
    EXPECT_EQ(settings_of(bench.converter()), saved);
    EXPECT_TRUE(tk_logger::instance().enabled());
    EXPECT_EQ(tk_logger::instance().file_name(), files.file("trace.log"));
}

TEST(ProfileKeys, DefaultsRoundTripWithoutWritingEmptySecrets)
{
    test_support::temp_dir files;
    const std::wstring path = plat::utf8_to_wide_lossy(files.file("p.zov"));
    profile_settings saved;
    {
        run_bench bench;
        saved = settings_of(bench.converter());
        ASSERT_TRUE(bench.converter().save_profile_file(path));
    }
    const std::string text = test_support::read_file(files.file("p.zov"));
    EXPECT_EQ(text.find("password"), std::string::npos);
    EXPECT_EQ(text.find("host"), std::string::npos);
    EXPECT_EQ(text.find("port"), std::string::npos);
    run_bench bench;
    ASSERT_TRUE(bench.converter().load_profile_file(path));
    EXPECT_EQ(settings_of(bench.converter()), saved);
}

struct read_rule_case
{
    const char* name;
    std::string body;
    std::function<void(vandrel_convertor&)> check;
};

class ProfileReadRules : public testing::TestWithParam<read_rule_case>
{
};

TEST_P(ProfileReadRules, ApplyToAConverterWithSettings)
{
    const read_rule_case& test = GetParam();
    test_support::temp_dir files;
    test_support::write_file(files.path() / "p.zov", test.body);
    run_bench bench;
    vandrel_convertor& converter = bench.converter();
    converter.set_mode(2);
    converter.set_connection("host0", "user0", "secret0", 5000);
    converter.set_connection(std::wstring(L"srv0"), L"login0", L"pass0");
    ASSERT_TRUE(converter.load_profile_file(plat::utf8_to_wide_lossy(files.file("p.zov"))));
    test.check(converter);
}

INSTANTIATE_TEST_SUITE_P(
    Keys, ProfileReadRules,
    testing::Values(
        read_rule_case{"OnlyDefinitionsIsTrueForAnythingButZero",
                       "[Generic settings]\r\nonly definitions=yes\r\nskip indexes=0\r\n",
                       [](vandrel_convertor& c)
                       {
                           EXPECT_TRUE(c.tab_def());
                           EXPECT_FALSE(c.skip_idx());
                       }},
        read_rule_case{"NoSchemaIsTrueOnlyForOne", "[Generic settings]\nno schema=yes\n",
                       [](vandrel_convertor& c)
                       {
                           EXPECT_FALSE(c.no_schema());
                           EXPECT_FALSE(c.pgs().no_schema());
                       }},
        read_rule_case{"NoSchemaOneReachesTheEngine", "[Generic settings]\nno schema=1\n",
                       [](vandrel_convertor& c)
                       {
                           EXPECT_TRUE(c.no_schema());
                           EXPECT_TRUE(c.pgs().no_schema());
                       }},
        read_rule_case{"WindowsAuthenticationIsTrueOnlyForOne",
                       "[MS SQL Server settings]\nwindows authentication=yes\nconnect as DBO=1\n",
                       [](vandrel_convertor& c)
                       {
                           EXPECT_FALSE(c.sec_log());
                           EXPECT_TRUE(c.mss().as_dbo());
                       }},
        read_rule_case{"MissingAndEmptyKeysKeepTheSettings",
                       "[Generic settings]\nsrc=\n[pgs settings]\nhost=\n[MS SQL Server "
                       "settings]\nserver=srv1\n",
                       [](vandrel_convertor& c)
                       {
                           EXPECT_EQ(c.src(), L"shop");
                           EXPECT_EQ(c.pgs_host(), "host0");
                           EXPECT_EQ(c.pgs_password(), "secret0");
                           EXPECT_EQ(c.port(), 5000);
                           EXPECT_EQ(c.mss_host(), L"srv1");
                           EXPECT_EQ(c.mss_password(), L"pass0");
                           EXPECT_EQ(c.mode(), 2);
                       }},
        read_rule_case{"PortMayHaveBlanksAround", "[pgs settings]\nport= 5433 \n",
                       [](vandrel_convertor& c) { EXPECT_EQ(c.port(), 5433); }},
        read_rule_case{
            "WholeTablesAreListedOnce",
            "[Selected Tables]\npublic.a\npublic.b=\nq=SELECT 1\n[Selected "
            "Tables]\npublic.a\n",
            [](vandrel_convertor& c)
            {
                EXPECT_EQ(c.tables(), (std::vector<std::wstring>{L"public.a", L"public.b"}));
                EXPECT_EQ(c.selected().at(L"q"), L"SELECT 1");
            }}),
    [](const testing::TestParamInfo<read_rule_case>& param_info) { return param_info.param.name; });

TEST(ProfileKeys, InvalidPortIsRefusedAndNothingIsApplied)
{
    for (const std::string port :
         {"0", "abc", "55499abc", "-5", "+5432", "54 32", "65536", "99999999999999999999999"})
    {
        SCOPED_TRACE(port);
        test_support::temp_dir files;
        test_support::write_file(files.path() / "p.zov",
                                 "[Generic settings]\nsrc=from_profile\n[MS SQL Server "
                                 "settings]\nserver=later\n[pgs settings]\nhost=pg1\nport=" +
                                     port + "\n");
        run_bench bench;
        const profile_settings before = settings_of(bench.converter());
        try
        {
            bench.converter().load_profile_file(plat::utf8_to_wide_lossy(files.file("p.zov")));
            FAIL() << "port " << port << " was taken";
        }
        catch (const tk_exception& error)
        {
            EXPECT_EQ(error.message(), "Invalid port number \"" + port +
                                           "\" in the key \"port\" of [pgs settings]: a whole "
                                           "number from 1 to 65535 is expected.");
            EXPECT_EQ(error.severity(), 1);
        }
        EXPECT_EQ(settings_of(bench.converter()), before);
    }
}

struct profile_mode_case
{
    const char* name;
    /// The line of [Generic settings], as written in the file.
    std::string line;
    /// The mode taken; none when the profile is refused.
    std::optional<int> mode;
    /// The value the refusal quotes.
    std::string quoted;
};

class ProfileMode : public testing::TestWithParam<profile_mode_case>
{
};

TEST_P(ProfileMode, IsADigitFromZeroToFourOrTheWholeProfileIsRefused)
{
    const profile_mode_case& test = GetParam();
    test_support::temp_dir files;
    const std::string trace = files.file("from_profile.log");
    const std::string path = files.file("p.zov");
    test_support::write_file(path, "[Selected Tables]\r\npublic.other\r\n"
                                   "[Generic settings]\r\nsrc=from_profile\r\nlogfile=" +
                                       trace + "\r\n" + test.line +
                                       "\r\nskip indexes=1\r\n[pgs settings]\r\nhost=pg1\r\n");
    run_bench bench;
    vandrel_convertor& converter = bench.converter();
    converter.set_mode(2);
    converter.tables() = {L"public.mine"};
    const std::string log_before = tk_logger::instance().file_name();
    const profile_settings before = settings_of(converter);
    const std::wstring wide_path = plat::utf8_to_wide_lossy(path);
    if (test.mode)
    {
        ASSERT_TRUE(converter.load_profile_file(wide_path));
        EXPECT_EQ(converter.mode(), *test.mode);
        EXPECT_EQ(converter.src(), L"from_profile");
        EXPECT_EQ(converter.log_file(), trace);
        return;
    }
    try
    {
        converter.load_profile_file(wide_path);
        FAIL() << "the profile was taken";
    }
    catch (const tk_exception& error)
    {
        EXPECT_EQ(error.message(),
                  "Invalid conversion mode in profile " + path + ": '" + test.quoted + "'");
        EXPECT_EQ(error.severity(), 1);
    }
    // Nothing applied: no setting, no table, no log turned on, no file made.
    EXPECT_EQ(settings_of(converter), before);
    EXPECT_EQ(converter.tables(), std::vector<std::wstring>{L"public.mine"});
    EXPECT_EQ(tk_logger::instance().file_name(), log_before);
    EXPECT_FALSE(std::filesystem::exists(trace));
}

INSTANTIATE_TEST_SUITE_P(
    Values, ProfileMode,
    testing::Values(profile_mode_case{"Zero", "mode=0", 0, ""},
                    profile_mode_case{"One", "mode=1", 1, ""},
                    profile_mode_case{"Two", "mode=2", 2, ""},
                    profile_mode_case{"Three", "mode=3", 3, ""},
                    profile_mode_case{"Four", "mode=4", 4, ""},
                    profile_mode_case{"BlanksAround", "mode = 2 ", 2, ""},
                    profile_mode_case{"TabsAround", "mode=\t3\t", 3, ""},
                    profile_mode_case{"EmptyKeepsTheMode", "mode=", 2, ""},
                    profile_mode_case{"LeadingZero", "mode=02", std::nullopt, "02"},
                    profile_mode_case{"Ten", "mode=10", std::nullopt, "10"},
                    profile_mode_case{"Seven", "mode=7", std::nullopt, "7"},
                    profile_mode_case{"Five", "mode=5", std::nullopt, "5"},
                    profile_mode_case{"Letter", "mode=x", std::nullopt, "x"},
                    profile_mode_case{"Negative", "mode=-1", std::nullopt, "-1"},
                    profile_mode_case{"TwoDigitsApart", "mode= 1 2", std::nullopt, " 1 2"}),
    [](const testing::TestParamInfo<profile_mode_case>& param_info)
    { return param_info.param.name; });

TEST(ProfileKeys, RefusedLogFileRefusesTheProfile)
{
    test_support::temp_dir files;
    std::filesystem::create_directory(files.path() / "logs");
    test_support::write_file(files.path() / "p.zov",
                             "[Generic settings]\nsrc=from_profile\nmode=3\n"
                             "logfile=" +
                                 files.file("logs") + "\n");
    run_bench bench;
    const profile_settings before = settings_of(bench.converter());
    const std::string log_before = tk_logger::instance().file_name();
    try
    {
        bench.converter().load_profile_file(plat::utf8_to_wide_lossy(files.file("p.zov")));
        FAIL() << "a directory was taken for the log file";
    }
    catch (const tk_exception& error)
    {
        EXPECT_EQ(error.message(), "Logfile name specifies a directory: " + files.file("logs"));
    }
    EXPECT_EQ(settings_of(bench.converter()), before);
    EXPECT_EQ(tk_logger::instance().file_name(), log_before);
}

struct selection_order_case
{
    const char* name;
    /// The [Selected Tables] and [Available Queries] sections of the two profiles, loaded in
    /// this order.
    std::vector<std::string> profiles;
    std::map<std::wstring, std::wstring> selection;
    std::map<std::wstring, std::wstring> queries;
};

class ProfileSelection : public testing::TestWithParam<selection_order_case>
{
};

TEST_P(ProfileSelection, ReplacesWhatCameBeforeOnlyWhenItSelectsTables)
{
    const selection_order_case& test = GetParam();
    test_support::temp_dir files;
    run_bench bench;
    vandrel_convertor& converter = bench.converter();
    int number = 0;
    for (const std::string& body : test.profiles)
    {
        const std::string path = files.file("p" + std::to_string(++number) + ".zov");
        test_support::write_file(path, body);
        ASSERT_TRUE(converter.load_profile_file(plat::utf8_to_wide_lossy(path)));
    }
    EXPECT_EQ(settings_of(converter).selection, test.selection);
    EXPECT_EQ(converter.available_queries(), test.queries);
}

INSTANTIATE_TEST_SUITE_P(
    Orders, ProfileSelection,
    testing::Values(
        selection_order_case{
            "SecondProfileReplacesTheFirst",
            {"[Selected Tables]\npublic.t1\nq=SELECT 1\n[Available Queries]\nm=SELECT 9\n",
             "[Selected Tables]\npublic.t2\nq=SELECT 2\n[Available Queries]\nn=SELECT 8\n"},
            {{L"public.t2", L""}, {L"q", L"SELECT 2"}},
            {{L"n", L"SELECT 8"}}},
        selection_order_case{
            "ProfileWithoutTablesKeepsThem",
            {"[Selected Tables]\npublic.t1\n[Available Queries]\nm=SELECT 9\n",
             "[Generic settings]\nsrc=other\n[Selected Tables]\n[Available Queries]\n"},
            {{L"public.t1", L""}},
            {{L"m", L"SELECT 9"}}},
        selection_order_case{"QuotedKeysReadAsTheSourceWritesThem",
                             {"[Selected Tables]\n\"public\".t1\n\"sch.dot\".t\n"
                              "a.b.c\n\"q.x\"=SELECT 1\n"},
                             {{L"public.t1", L""},
                              {L"\"sch.dot\".t", L""},
                              {L"a.\"b.c\"", L""},
                              {L"\"q.x\"", L"SELECT 1"}},
                             {}}),
    [](const testing::TestParamInfo<selection_order_case>& param_info)
    { return param_info.param.name; });

TEST(ProfileKeys, MissingFileIsASevereError)
{
    test_support::temp_dir files;
    run_bench bench;
    try
    {
        bench.converter().load_profile_file(plat::utf8_to_wide_lossy(files.file("none.zov")));
        FAIL() << "a missing profile was loaded";
    }
    catch (const tk_exception& error)
    {
        EXPECT_EQ(error.message(),
                  "Profile does not exist. Please verify the correct path/name was given.");
        EXPECT_EQ(error.severity(), 1);
    }
}

TEST(ProfileKeys, MalformedFileChangesNothing)
{
    test_support::temp_dir files;
    test_support::write_file(files.path() / "p.zov", "src=early\n[Generic settings]\nsrc=x\n");
    run_bench bench;
    EXPECT_FALSE(
        bench.converter().load_profile_file(plat::utf8_to_wide_lossy(files.file("p.zov"))));
    EXPECT_EQ(bench.converter().src(), L"shop");
}

struct no_profile_case
{
    const char* name;
    std::string content;
};

class NoProfile : public testing::TestWithParam<no_profile_case>
{
};

// A file the converter would read nothing from must not pass for a loaded profile: its caller
// would go on with the settings it had (a remembered destination, mode 0) as if the user had
// chosen them.
TEST_P(NoProfile, AnswersFalseAndChangesNothing)
{
    test_support::temp_dir files;
    test_support::write_file(files.path() / "p.zov", GetParam().content);
    run_bench bench;
    vandrel_convertor& converter = bench.converter();
    converter.tables() = {L"public.mine"};
    const profile_settings before = settings_of(converter);
    EXPECT_FALSE(converter.load_profile_file(plat::utf8_to_wide_lossy(files.file("p.zov"))));
    EXPECT_EQ(settings_of(converter), before);
}

INSTANTIATE_TEST_SUITE_P(
    Files, NoProfile,
    testing::Values(
        no_profile_case{"Empty", ""}, no_profile_case{"BlankLines", "\r\n   \r\n"},
        no_profile_case{"ForeignSections",
                        "[core]\n\trepositoryformatversion = 0\n\tbare = false\n[remote "
                        "\"origin\"]\n\turl = https://example.com/x.git\n"},
        no_profile_case{"UnknownKeyOnly", "[Generic settings]\r\nfoo=1\r\n"},
        no_profile_case{"EmptySectionsOnly",
                        "[Available Queries]\r\n\r\n[Selected Tables]\r\n\r\n[Generic "
                        "settings]\r\n"},
        no_profile_case{"KeysWithoutValues",
                        "[Generic settings]\r\nsrc=\r\ndest=\r\nmode=\r\n[MS SQL Server "
                        "settings]\r\nserver=\r\nlogin=\r\n[pgs settings]\r\nschema=\r\n"},
        no_profile_case{"KnownKeyInAnotherSection", "[pgs settings]\r\ndest=shop\r\n"},
        no_profile_case{"NulBytes", std::string(64, '\0')},
        no_profile_case{"ProfileWithANulByte",
                        std::string("[Generic settings]\r\ndest=other\0\r\nmode=3\r\n", 41)}),
    [](const testing::TestParamInfo<no_profile_case>& param_info)
    { return param_info.param.name; });

TEST(ProfileKeys, OneSettingOrOneSelectedTableOrQueryMakesAProfile)
{
    for (const std::string body :
         {"[Selected Tables]\r\npublic.t\r\n", "[Available Queries]\r\nq=SELECT 1\r\n",
          "[pgs settings]\r\nport=5433\r\n", "[MS SQL Server settings]\r\nconnect as DBO=0\r\n",
          "[Generic settings]\r\nno schema=0\r\n"})
    {
        SCOPED_TRACE(body);
        test_support::temp_dir files;
        test_support::write_file(files.path() / "p.zov", body);
        run_bench bench;
        EXPECT_TRUE(
            bench.converter().load_profile_file(plat::utf8_to_wide_lossy(files.file("p.zov"))));
    }
}

TEST(ProfileKeys, ASettingTheFileWouldNotGiveBackIsRefusedAndNothingIsWritten)
{
    test_support::temp_dir files;
    const std::string path = files.file("p.zov");
    run_bench bench;
    vandrel_convertor& converter = bench.converter();
    converter.set_connection(std::wstring(L"srv"), L"sa", L" p=w ");
    try
    {
        converter.save_profile_file(plat::utf8_to_wide_lossy(path));
        FAIL() << "the profile was saved";
    }
    catch (const tk_exception& error)
    {
        EXPECT_EQ(error.message(), "The setting \"password\" of [MS SQL Server settings] ends "
                                   "with a blank, which a profile cannot keep; the profile was "
                                   "not saved.");
    }
    EXPECT_FALSE(std::filesystem::exists(path));
    // A leading blank reads back.
    converter.set_connection(std::wstring(L"srv"), L"sa", L" p=w");
    ASSERT_TRUE(converter.save_profile_file(plat::utf8_to_wide_lossy(path)));
    converter.set_connection(std::wstring(L"srv"), L"sa", L"other");
    ASSERT_TRUE(converter.load_profile_file(plat::utf8_to_wide_lossy(path)));
    EXPECT_EQ(converter.mss_password(), L" p=w");
}

struct port_text_case
{
    const wchar_t* text;
    std::optional<int> port;
};

class PortText : public testing::TestWithParam<port_text_case>
{
};

TEST_P(PortText, IsTheDefaultAWholePortOrNothing)
{
    EXPECT_EQ(pgs_port_from_text(GetParam().text), GetParam().port);
}

INSTANTIATE_TEST_SUITE_P(
    Texts, PortText,
    testing::Values(port_text_case{L"", 0}, port_text_case{L"   ", 0},
                    port_text_case{L"5432", 5432}, port_text_case{L" 55499\t", 55499},
                    port_text_case{L"1", 1}, port_text_case{L"65535", 65535},
                    port_text_case{L"05433", 5433}, port_text_case{L"abc", std::nullopt},
                    port_text_case{L"55499abc", std::nullopt}, port_text_case{L"0", std::nullopt},
                    port_text_case{L"65536", std::nullopt}, port_text_case{L"-1", std::nullopt},
                    port_text_case{L"+5432", std::nullopt}, port_text_case{L"54 32", std::nullopt},
                    port_text_case{L"99999999999999999999", std::nullopt}));

} // namespace
