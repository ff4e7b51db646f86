// tk_reg_key_test.cpp: settings exchanged through the registry key, loads that keep defaults.
#include "plat/plat_text.h"
#include "test_support.h"
#include "tk/tk_exception.h"
#include "tk/tk_logger.h"
#include "tk/tk_reg_key.h"

#include <filesystem>
#include <functional>
#include <gtest/gtest.h>
#include <sys/stat.h>

namespace
{

using test_support::read_file;

constexpr const char* key_path = "Software\\Halvern Works\\Corlamig";

class TkRegKey : public testing::Test
{
protected:
    void SetUp() override { ASSERT_EQ(m_key.create(key_path), plat::reg_ok); }

    tk_reg_key& key() { return m_key; }
    std::filesystem::path file() const { return m_dir.path() / "Halvern Works" / "Corlamig.reg"; }
    const test_support::temp_dir& dir() const { return m_dir; }

    void reopen()
    {
        m_key.close();
        ASSERT_EQ(m_key.create(key_path), plat::reg_ok);
    }

private:
    test_support::temp_dir m_dir;
    test_support::scoped_env m_config{"XDG_CONFIG_HOME", m_dir.path().string()};
    tk_reg_key m_key;
};

TEST_F(TkRegKey, SettingsReadBackAfterCloseAndReopen)
{
    std::uint32_t port = 5432;
    bool on = true;
    bool off = false;
    std::string password = "p\xC3\xA4sswort \xE2\x82\xAC";
    std::wstring server = L"\u00DCn\u00EFc\u00F6d\u00E9 \U0001F600 \u03A3";
    ASSERT_TRUE(key().exchange_dword("pgsport", port, true));
    ASSERT_TRUE(key().exchange_bool("sec_log", on, true));
    ASSERT_TRUE(key().exchange_bool("skip_idx", off, true));
    ASSERT_TRUE(key().exchange_string("pgspswd", password, true));
    ASSERT_TRUE(key().exchange_wstring(L"mssqlh", server, true));
    reopen();

    std::uint32_t loaded_port = 0;
    bool loaded_on = false;
    bool loaded_off = true;
    std::string loaded_password;
    std::wstring loaded_server;
    EXPECT_TRUE(key().exchange_dword("pgsport", loaded_port, false));
    EXPECT_TRUE(key().exchange_bool("sec_log", loaded_on, false));
    EXPECT_TRUE(key().exchange_bool("skip_idx", loaded_off, false));
    EXPECT_TRUE(key().exchange_string("pgspswd", loaded_password, false));
    EXPECT_TRUE(key().exchange_wstring(L"mssqlh", loaded_server, false));
    EXPECT_EQ(loaded_port, 5432u);
    EXPECT_TRUE(loaded_on);
    EXPECT_FALSE(loaded_off);
    EXPECT_EQ(loaded_password, password);
    EXPECT_EQ(loaded_server, server);

    // The file holds passwords.
    struct stat status = {};
    ASSERT_EQ(::stat(file().c_str(), &status), 0);
    EXPECT_EQ(status.st_mode & 07777, 0600u);
}

TEST_F(TkRegKey, LoadsChangeTheSettingOnlyOnSuccess)
{
    ASSERT_EQ(key().set_value(2u, "two"), plat::reg_ok);
    ASSERT_EQ(key().set_value(0u, "zero"), plat::reg_ok);
    ASSERT_EQ(key().set_value("1", "text"), plat::reg_ok);
    ASSERT_EQ(key().set_value("", "empty"), plat::reg_ok);
    ASSERT_EQ(key().set_value(L"", L"wempty"), plat::reg_ok);
    ASSERT_EQ(key().set_value(std::string("ab\0cd", 5), "nul"), plat::reg_ok);
    reopen();

    const struct
    {
        const char* name;
        bool default_value;
        bool ok;
        bool expected;
    } bools[] = {
        {"two", false, true, true},     {"zero", true, true, false},
        {"missing", true, false, true}, {"missing", false, false, false},
        {"text", true, false, true},    {"text", false, false, false},
    };
    for (const auto& test : bools)
    {
        SCOPED_TRACE(std::string(test.name) + (test.default_value ? " default true" : ""));
        bool value = test.default_value;
        EXPECT_EQ(key().exchange_bool(test.name, value, false), test.ok);
        EXPECT_EQ(value, test.expected);
    }

    const struct
    {
        const char* name;
        bool ok;
        const char* expected;
    } strings[] = {
        {"empty", false, "default"}, {"wempty", false, "default"}, {"missing", false, "default"},
        {"two", false, "default"},   {"text", true, "1"},          {"nul", true, "ab"},
    };
    for (const auto& test : strings)
    {
        SCOPED_TRACE(test.name);
        std::string narrow = "default";
        EXPECT_EQ(key().exchange_string(test.name, narrow, false), test.ok);
        EXPECT_EQ(narrow, test.expected);
        std::wstring wide = L"default";
        EXPECT_EQ(key().exchange_wstring(plat::utf8_to_wide_lossy(test.name), wide, false),
                  test.ok);
        EXPECT_EQ(wide, plat::utf8_to_wide_lossy(test.expected));
    }

    std::uint32_t number = 77;
    EXPECT_FALSE(key().exchange_dword("text", number, false));
    EXPECT_EQ(key().get_value(number, "text"), plat::reg_type_mismatch);
    EXPECT_EQ(key().get_value(number, "missing"), plat::reg_not_found);
    EXPECT_EQ(number, 77u);
}

TEST_F(TkRegKey, ClosedKeyRefusesEveryExchangeWithoutTouchingTheSetting)
{
    key().close();
    std::uint32_t number = 9;
    bool flag = true;
    std::string narrow = "n";
    std::wstring wide = L"w";
    for (const bool store : {false, true})
    {
        EXPECT_FALSE(key().exchange_dword("d", number, store));
        EXPECT_FALSE(key().exchange_bool("b", flag, store));
        EXPECT_FALSE(key().exchange_string("s", narrow, store));
        EXPECT_FALSE(key().exchange_wstring(L"w", wide, store));
    }
    EXPECT_EQ(number, 9u);
    EXPECT_TRUE(flag);
    EXPECT_EQ(narrow, "n");
    EXPECT_EQ(wide, L"w");
    EXPECT_EQ(key().get_value(number, "d"), plat::reg_invalid_handle);
    EXPECT_EQ(read_file(file()), "");
}

TEST_F(TkRegKey, WritingToAClosedKeyIsAnInternalError)
{
    key().close();
    const struct
    {
        std::function<void()> write;
        const char* message;
    } cases[] = {
        {[this] { key().set_value(1u, "d"); }, "Internal error: \ncode=746b5f7265676b5c313439"},
        {[this] { key().set_value("t", "s"); }, "Internal error: \ncode=746b5f7265676b5c313537"},
        {[this] { key().set_value(L"t", L"w"); }, "Internal error: \ncode=746b5f7265676b5c313635"},
    };
    for (const auto& test : cases)
    {
        try
        {
            test.write();
            ADD_FAILURE() << "no exception for " << test.message;
        }
        catch (const tk_mail_assertion& error)
        {
            EXPECT_STREQ(error.what(), test.message);
        }
    }
}

TEST_F(TkRegKey, FailedCreateKeepsThePreviousKeyUsable)
{
    // Root may write anywhere, so a regular file stands where a directory would have to be.
    test_support::write_file(dir().path() / "blocker", "");
    plat::reg_disposition disposition = plat::reg_disposition::created_new_key;
    EXPECT_EQ(key().create("Software\\blocker\\Other", &disposition), plat::reg_access_denied);
    EXPECT_EQ(disposition, plat::reg_disposition::created_new_key);

    ASSERT_TRUE(key().is_open());
    std::uint32_t value = 3;
    EXPECT_TRUE(key().exchange_dword("after", value, true));
    EXPECT_EQ(read_file(file()), "after=dword:00000003\n");

    EXPECT_EQ(key().create(key_path, &disposition), plat::reg_ok);
    EXPECT_EQ(disposition, plat::reg_disposition::opened_existing_key);
}

TEST_F(TkRegKey, ReadsLogTheirTypeAndSizeInTheCallersCharacters)
{
    ASSERT_EQ(key().set_value(7u, "port"), plat::reg_ok);
    ASSERT_EQ(key().set_value(L"\u00E9\u00E9", L"host"), plat::reg_ok);
    tk_logger logger(dir().file("t.log").c_str(), true, 1, false);
    std::uint32_t number = 0;
    std::string narrow;
    std::wstring wide;
    EXPECT_EQ(key().get_value(number, "port"), plat::reg_ok);
    EXPECT_EQ(key().get_value(narrow, "host"), plat::reg_ok);
    EXPECT_EQ(key().get_value(wide, L"host"), plat::reg_ok);
    EXPECT_EQ(key().get_value(number, "missing"), plat::reg_not_found);
    EXPECT_EQ(read_file(dir().file("t.log")), "tk_reg_key::get_value(ulong, port)\r\n"
                                              "type=4, size=4\r\n"
                                              "tk_reg_key::get_value(LPSTR, host)\r\n"
                                              "type=1, size=5\r\n"
                                              "tk_reg_key::get_value(LPWSTR, host)\r\n"
                                              "type=1, size=12\r\n"
                                              "tk_reg_key::get_value(ulong, missing)\r\n"
                                              "type=0, size=0\r\n");
}

} // namespace
