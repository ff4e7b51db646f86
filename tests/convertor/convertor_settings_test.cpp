// convertor_settings_test.cpp: the wizard's settings in the file-backed settings store.
#include "convertor/vandrel_convertor.h"
#include "plat/plat_registry.h"
#include "test_support.h"
#include "tk/tk_logger.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

namespace
{

/// A settings store in a temporary directory, with the logger a converter needs.
class SettingsStore : public testing::Test
{
protected:
    /// The store's own view of the converter's key.
    plat::reg_store open_store()
    {
        plat::reg_store store;
        EXPECT_EQ(store.create(vandrel_convertor::settings_key), plat::reg_ok);
        return store;
    }

    test_support::temp_dir m_dir;
    test_support::scoped_env m_config_home{"XDG_CONFIG_HOME", m_dir.file("config")};
    tk_logger m_logger{"", false, 3, false};
};

TEST_F(SettingsStore, FirstStartGivesTheDefaults)
{
    vandrel_convertor converter(convertor_flavour::wizard);
    EXPECT_TRUE(converter.sec_log());
    EXPECT_TRUE(converter.convert_views());
    EXPECT_FALSE(converter.skip_idx());
    EXPECT_FALSE(converter.tab_def());
    EXPECT_FALSE(converter.no_schema());
    EXPECT_FALSE(converter.mss().as_dbo());
    EXPECT_EQ(converter.port(), 0);
    EXPECT_EQ(converter.get_schema(), L"public");
    EXPECT_EQ(converter.src(), L"");
    EXPECT_EQ(converter.dest(), L"");
    EXPECT_EQ(converter.log_file(), "");
    EXPECT_EQ(converter.pgs_host(), "");
    EXPECT_EQ(converter.mss_password(), L"");
}

TEST_F(SettingsStore, StoreThenLoadGivesEveryValueBack)
{
    const std::string log_path = m_dir.file("trace.log");
    {
        vandrel_convertor converter(convertor_flavour::wizard);
        converter.mss().set_as_dbo(true);
        converter.set_convert_views(false);
        converter.set_dest(L"Ziel_Δ");
        converter.remember_log_file(log_path);
        converter.set_connection(std::wstring(L"srv\\inst"), L"bob", L"pässwörd");
        converter.set_no_schema(true);
        converter.set_connection("hôte", "usér", "pg secret", 5433);
        converter.set_schema(L"Ventes");
        converter.set_sec_log(false);
        converter.set_skip_idx(true);
        converter.set_src(L"Données");
        converter.set_tab_def(true);
    }
    struct stat file_status
    {
    };
    ASSERT_EQ(::stat(open_store().file().c_str(), &file_status), 0);
    EXPECT_EQ(file_status.st_mode & 0777, 0600u);
    std::uint32_t as_dbo = 0;
    EXPECT_EQ(open_store().get_dword("as_dbo", as_dbo), plat::reg_ok);
    EXPECT_EQ(as_dbo, 1u);

    vandrel_convertor converter(convertor_flavour::wizard);
    EXPECT_FALSE(converter.mss().as_dbo()); // loaded, then every start turns it off
    EXPECT_FALSE(converter.convert_views());
    EXPECT_EQ(converter.dest(), L"Ziel_Δ");
    EXPECT_EQ(converter.log_file(), log_path);
    EXPECT_FALSE(tk_logger::instance().enabled());
    EXPECT_EQ(converter.mss_host(), L"srv\\inst");
    EXPECT_EQ(converter.mss_user(), L"bob");
    EXPECT_EQ(converter.mss_password(), L"pässwörd");
    EXPECT_TRUE(converter.no_schema());
    EXPECT_TRUE(converter.pgs().no_schema());
    EXPECT_EQ(converter.pgs_host(), "hôte");
    EXPECT_EQ(converter.pgs_user(), "usér");
    EXPECT_EQ(converter.pgs_password(), "pg secret");
    EXPECT_EQ(converter.port(), 5433);
    EXPECT_EQ(converter.get_schema(), L"Ventes");
    EXPECT_FALSE(converter.sec_log());
    EXPECT_TRUE(converter.skip_idx());
    EXPECT_EQ(converter.src(), L"Données");
    EXPECT_TRUE(converter.tab_def());
}

TEST_F(SettingsStore, UnreadableOrMissingValuesKeepTheDefault)
{
    {
        plat::reg_store store = open_store();
        ASSERT_EQ(store.set_string("pgsport", "abc"), plat::reg_ok);
        ASSERT_EQ(store.set_string("sec_log", "xyz"), plat::reg_ok);
        ASSERT_EQ(store.set_dword("skip_idx", 7), plat::reg_ok);
        ASSERT_EQ(store.set_dword("schema", 1), plat::reg_ok);
    }
    vandrel_convertor converter(convertor_flavour::wizard);
    EXPECT_EQ(converter.port(), 0);
    EXPECT_TRUE(converter.sec_log());
    EXPECT_TRUE(converter.skip_idx());
    EXPECT_EQ(converter.get_schema(), L"public");
    EXPECT_EQ(converter.src(), L"");
    EXPECT_FALSE(converter.serialize(false));
}

TEST_F(SettingsStore, TheAgentNeitherLoadsNorStores)
{
    {
        plat::reg_store store = open_store();
        ASSERT_EQ(store.set_dword("tab_def", 1), plat::reg_ok);
        ASSERT_EQ(store.set_dword("no_schema", 1), plat::reg_ok);
    }
    {
        vandrel_convertor converter(convertor_flavour::agent);
        EXPECT_FALSE(converter.tab_def());
        EXPECT_FALSE(converter.no_schema());
        converter.set_src(L"shop");
    }
    std::string src;
    EXPECT_EQ(open_store().get_string("src", src), plat::reg_not_found);
}

} // namespace
