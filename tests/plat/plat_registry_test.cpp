// plat_registry_test.cpp: the file-backed registry: key files, value round trips, result codes.
#include "plat/plat_registry.h"
#include "test_support.h"

#include <filesystem>
#include <gtest/gtest.h>
#include <sys/stat.h>

namespace
{

namespace fs = std::filesystem;

constexpr const char* key_path = "Software\\Halvern Works\\Corlamig";

class PlatRegistry : public testing::Test
{
protected:
    fs::path key_file() const { return m_dir.path() / "Halvern Works" / "Corlamig.reg"; }
    const fs::path& root() const { return m_dir.path(); }

    plat::reg_store open_key() const
    {
        plat::reg_store store;
        EXPECT_EQ(store.create(key_path), plat::reg_ok);
        return store;
    }

private:
    test_support::temp_dir m_dir;
    test_support::scoped_env m_config{"XDG_CONFIG_HOME", m_dir.path().string()};
};

mode_t mode_of(const fs::path& path)
{
    struct stat status = {};
    EXPECT_EQ(::stat(path.c_str(), &status), 0);
    return status.st_mode & 07777;
}

TEST_F(PlatRegistry, KeyPathsMapToFilesUnderTheConfigRoot)
{
    const struct
    {
        const char* key;
        const char* file; // empty: names no key
    } cases[] = {
        {"Software\\Halvern Works\\Corlamig", "Halvern Works/Corlamig.reg"},
        {"software\\A", "A.reg"},
        {"Other\\B", "Other/B.reg"},
        {"Software", "Software.reg"},
        {"", ""},
        {"A\\\\B", ""},
        {"\\A", ""},
        {"A\\", ""},
        {"A\\..\\..\\B", ""},
        {"A\\.", ""},
        {"A/B", ""},
    };
    for (const auto& test : cases)
    {
        SCOPED_TRACE(test.key);
        const auto file = plat::reg_store::key_file("/r", test.key);
        EXPECT_EQ(file ? file->string() : "", *test.file ? "/r/" + std::string(test.file) : "");
    }
}

TEST_F(PlatRegistry, RootFollowsXdgConfigHomeElseHome)
{
    EXPECT_EQ(plat::reg_store::user_root(), root());
    // The XDG rules ignore a relative path.
    test_support::scoped_env relative("XDG_CONFIG_HOME", "relative/dir");
    test_support::scoped_env home("HOME", "/home/someone");
    EXPECT_EQ(plat::reg_store::user_root(), fs::path("/home/someone/.config"));
}

TEST_F(PlatRegistry, ValuesReadBackExactlyAfterReopen)
{
    const struct
    {
        std::string name;
        std::string text;
    } strings[] = {
        {"plain", "value"},
        {"empty", ""},
        {"non_ascii", "\xC3\xA9t\xC3\xA9 \xE2\x82\xAC \xF0\x9F\x98\x80"},
        {"escapes", "back\\slash\\r line\r\nbreak\n"},
        {"equals", "a=b=c"},
        {"blanks", "  x  "},
        {"odd=name\\with\nall", "v"},
    };
    const std::uint32_t dwords[] = {0, 10, 0xFFFFFFFF};
    {
        plat::reg_store store = open_key();
        for (const auto& test : strings)
        {
            ASSERT_EQ(store.set_string(test.name, test.text), plat::reg_ok) << test.name;
        }
        for (const std::uint32_t value : dwords)
        {
            ASSERT_EQ(store.set_dword("d" + std::to_string(value), value), plat::reg_ok);
        }
    }
    plat::reg_store store = open_key();
    for (const auto& test : strings)
    {
        SCOPED_TRACE(test.name);
        std::string got = "unchanged";
        EXPECT_EQ(store.get_string(test.name, got), plat::reg_ok);
        EXPECT_EQ(got, test.text);
    }
    for (const std::uint32_t value : dwords)
    {
        std::uint32_t got = 7;
        EXPECT_EQ(store.get_dword("d" + std::to_string(value), got), plat::reg_ok);
        EXPECT_EQ(got, value);
    }
}

TEST_F(PlatRegistry, FileHoldsOneEscapedValueALineWithMode0600)
{
    plat::reg_disposition disposition{};
    plat::reg_store store;
    ASSERT_EQ(store.create(key_path, &disposition), plat::reg_ok);
    EXPECT_EQ(disposition, plat::reg_disposition::created_new_key);
    EXPECT_EQ(store.file(), key_file());
    EXPECT_EQ(mode_of(key_file()), 0600u);
    EXPECT_EQ(mode_of(key_file().parent_path()), 0700u);

    ASSERT_EQ(store.set_dword("pgsport", 10), plat::reg_ok);
    ASSERT_EQ(store.set_string("mssqlp", "p\\w\r\n"), plat::reg_ok);
    ASSERT_EQ(store.set_dword("PGSPORT", 5432), plat::reg_ok);
    EXPECT_EQ(test_support::read_file(key_file()),
              "pgsport=dword:00001538\nmssqlp=sz:p\\\\w\\r\\n\n");
    EXPECT_EQ(mode_of(key_file()), 0600u);
    // No temporary file is left beside the key.
    EXPECT_EQ(std::distance(fs::directory_iterator(key_file().parent_path()), {}), 1);

    plat::reg_store again;
    ASSERT_EQ(again.create(key_path, &disposition), plat::reg_ok);
    EXPECT_EQ(disposition, plat::reg_disposition::opened_existing_key);
}

TEST_F(PlatRegistry, MalformedLinesAreSkippedWithoutLosingTheOthers)
{
    fs::create_directories(key_file().parent_path());
    test_support::write_file(key_file(), "good=dword:0000002a\n"
                                         "no equals sign\n"
                                         "short=dword:2a\n"
                                         "hex=dword:0000zz2a\n"
                                         "escape=sz:bad\\q\n"
                                         "cut=sz:end\\\n"
                                         "kind=binary:00\n"
                                         "crlf=sz:ok\r\n"
                                         "\n"
                                         "=sz:default");
    plat::reg_store store = open_key();
    std::uint32_t number = 0;
    std::string text;
    EXPECT_EQ(store.get_dword("good", number), plat::reg_ok);
    EXPECT_EQ(number, 42u);
    EXPECT_EQ(store.get_string("crlf", text), plat::reg_ok);
    EXPECT_EQ(text, "ok");
    EXPECT_EQ(store.get_string("", text), plat::reg_ok);
    EXPECT_EQ(text, "default");
    for (const char* name : {"short", "hex", "escape", "cut", "kind", "no equals sign"})
    {
        plat::reg_value value;
        EXPECT_EQ(store.get(name, value), plat::reg_not_found) << name;
    }
}

TEST_F(PlatRegistry, ReadsAnswerWin32CodesAndKeepTheOutputOnFailure)
{
    plat::reg_store store = open_key();
    ASSERT_EQ(store.set_string("text", "12"), plat::reg_ok);
    ASSERT_EQ(store.set_dword("Number", 3), plat::reg_ok);

    std::uint32_t number = 99;
    std::string text = "default";
    EXPECT_EQ(store.get_dword("text", number), plat::reg_type_mismatch);
    EXPECT_EQ(store.get_string("number", text), plat::reg_type_mismatch);
    EXPECT_EQ(store.get_dword("missing", number), plat::reg_not_found);
    EXPECT_EQ(number, 99u);
    EXPECT_EQ(text, "default");
    // Names compare without case, as in the registry.
    EXPECT_EQ(store.get_dword("NUMBER", number), plat::reg_ok);
    EXPECT_EQ(number, 3u);

    store.close();
    EXPECT_EQ(store.get_dword("Number", number), plat::reg_invalid_handle);
    EXPECT_EQ(store.set_dword("Number", 4), plat::reg_invalid_handle);
}

TEST_F(PlatRegistry, FailedCreateKeepsTheOpenKey)
{
    plat::reg_store store = open_key();
    ASSERT_EQ(store.set_dword("kept", 1), plat::reg_ok);
    // Root may write anywhere, so the location is made impossible: a file where a directory
    // must be.
    test_support::write_file(root() / "blocker", "");
    EXPECT_EQ(store.create("Software\\blocker\\Key"), plat::reg_access_denied);
    EXPECT_EQ(store.create("Software\\..\\Key"), plat::reg_invalid_parameter);

    std::uint32_t value = 0;
    EXPECT_EQ(store.get_dword("kept", value), plat::reg_ok);
    EXPECT_EQ(value, 1u);
    EXPECT_EQ(store.set_dword("after", 2), plat::reg_ok);
    EXPECT_EQ(store.file(), key_file());
}

TEST_F(PlatRegistry, WritesKeepValuesAnotherProgramStoredSinceTheOpen)
{
    plat::reg_store first = open_key();
    plat::reg_store second = open_key();
    ASSERT_EQ(first.set_dword("from_first", 1), plat::reg_ok);
    ASSERT_EQ(second.set_dword("from_second", 2), plat::reg_ok);

    plat::reg_store reopened = open_key();
    std::uint32_t value = 0;
    EXPECT_EQ(reopened.get_dword("from_first", value), plat::reg_ok);
    EXPECT_EQ(reopened.get_dword("from_second", value), plat::reg_ok);
}

} // namespace
