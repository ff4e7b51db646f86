// vandrel_convertor_settings.cpp: the converter's settings in the settings store (the wizard's
// memory of the last conversion).
#include "convertor/vandrel_convertor.h"
#include "tk/tk_logger.h"

bool vandrel_convertor::serialize(bool store)
{
    tk_log(1, "serialize( %d )", store);
    tk_reg_key& settings = key();
    if (settings.create(key_path()) != plat::reg_ok)
    {
        return false;
    }
    const bool load = !store;
    bool ok = true;
    // Each value in the store's fixed order; on load a flag first takes its default, so a
    // missing or unreadable value leaves the default (strings keep what they hold).
    const auto flag = [&](const char* name, bool& field, bool default_value)
    {
        if (load)
        {
            field = default_value;
        }
        ok = settings.exchange_bool(name, field, store) && ok;
    };
    const auto narrow = [&](const char* name, std::string& field)
    { ok = settings.exchange_string(name, field, store) && ok; };
    const auto wide = [&](const wchar_t* name, std::wstring& field)
    { ok = settings.exchange_wstring(name, field, store) && ok; };

    bool as_dbo = mss().as_dbo();
    flag("as_dbo", as_dbo, true);
    if (load)
    {
        mss().set_as_dbo(as_dbo);
    }
    bool views = convert_views();
    flag("convert_views", views, true);
    set_convert_views(views);
    std::wstring dest_name = dest();
    wide(L"dest", dest_name);
    set_dest(dest_name);
    // Loading the path only remembers it: the log is enabled when the user confirms it.
    std::string log_path = log_file();
    narrow("log_file", log_path);
    remember_log_file(log_path);
    wide(L"mssqlh", mssql_converter_impl::host_field());
    wide(L"mssqlp", mssql_converter_impl::password_field());
    wide(L"mssqlu", mssql_converter_impl::user_field());
    bool without_schema = no_schema();
    flag("no_schema", without_schema, false);
    set_no_schema(without_schema);
    narrow("pgshost", pgs_converter_impl::host_field());
    narrow("pgspswd", pgs_converter_impl::password_field());
    std::uint32_t port_number = load ? 0 : static_cast<std::uint32_t>(port());
    ok = settings.exchange_dword("pgsport", port_number, store) && ok;
    if (load)
    {
        port_field() = static_cast<int>(port_number);
    }
    narrow("pgsuser", pgs_converter_impl::user_field());
    wide(L"schema", schema_field());
    bool windows_auth = sec_log();
    flag("sec_log", windows_auth, true);
    set_sec_log(windows_auth);
    bool skip_indexes = skip_idx();
    flag("skip_idx", skip_indexes, false);
    set_skip_idx(skip_indexes);
    std::wstring src_name = src();
    wide(L"src", src_name);
    set_src(src_name);
    bool definitions_only = tab_def();
    flag("tab_def", definitions_only, false);
    set_tab_def(definitions_only);
    close();
    return ok;
}
