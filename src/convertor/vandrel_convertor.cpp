// vandrel_convertor.cpp: the converter's life, its lists and checks, and its profile files.
#include "convertor/vandrel_convertor.h"

#include "tk/tk_logger.h"
#include "udb/udb_profile.h"

#include <algorithm>
#include <array>
#include <utility>

namespace
{

/// Whether the profile holds anything the converter reads: a selected table or query, or a
/// setting with a value. A file without one (empty, of other sections, of keys this program
/// does not know) is no profile, and loading it must not pass for loading settings.
bool holds_settings(const udb_profile& profile)
{
    static const std::array<std::pair<const wchar_t*, const wchar_t*>, 20> keys{{
        {profile_keys::generic, L"src"},
        {profile_keys::generic, L"dest"},
        {profile_keys::generic, L"mode"},
        {profile_keys::generic, L"logfile"},
        {profile_keys::generic, L"skip indexes"},
        {profile_keys::generic, L"only definitions"},
        {profile_keys::generic, L"no schema"},
        {profile_keys::mssql, L"server"},
        {profile_keys::mssql, L"windows authentication"},
        {profile_keys::mssql, L"login"},
        {profile_keys::mssql, L"password"},
        {profile_keys::mssql, L"connect as DBO"},
        {profile_keys::mssql, L"dump insert comments"},
        {profile_keys::mssql, L"dump create database"},
        {profile_keys::mssql, L"dump create table"},
        {profile_keys::pgs, L"host"},
        {profile_keys::pgs, L"user"},
        {profile_keys::pgs, L"password"},
        {profile_keys::pgs, L"schema"},
        {profile_keys::pgs, L"port"},
    }};
    const auto has_entries = [&](const wchar_t* section)
    {
        const auto found = profile.sections().find(section);
        return found != profile.sections().end() && !found->second.empty();
    };
    return has_entries(profile_keys::selected_tables) ||
           has_entries(profile_keys::available_queries) ||
           std::any_of(keys.begin(), keys.end(),
                       [&](const auto& key)
                       { return !profile.get_value(key.first, key.second).empty(); });
}

} // namespace

vandrel_convertor::vandrel_convertor(convertor_flavour flavour)
    : tk_serializer(settings_key)
    , m_flavour(flavour)
{
    tk_log(2, "vandrel_convertor::ctor");
    if (m_flavour == convertor_flavour::wizard)
    {
        serialize(false);
        set_no_schema(no_schema());
    }
    else
    {
        set_no_schema(false);
    }
    mss().set_as_dbo(false);
    pgs().set_case_sensitive(true);
}

vandrel_convertor::~vandrel_convertor()
{
    try
    {
        tk_log(2, "vandrel_convertor::dtor");
        if (m_flavour == convertor_flavour::wizard)
        {
            serialize(true);
        }
    }
    catch (...)
    {
        // Settings that cannot be stored are lost like an unwritable store; nothing may leave
        // a destructor.
    }
}

void vandrel_convertor::run()
{
    (*this)();
}

bool vandrel_convertor::test_query(const std::wstring& sql)
{
    return pgs_converter_impl::test_query(sql);
}

void vandrel_convertor::set_reporter(conversion_reporter* reporter)
{
    m_reporter = reporter != nullptr ? reporter : &m_null_reporter;
}

void vandrel_convertor::get_all_tables(std::vector<std::wstring>& list)
{
    tk_log(2, "vandrel_convertor::get_all_tables");
    const std::unique_ptr<udb_database> database = source().open_db(src(), get_schema());
    list = database->get_tables();
}

void vandrel_convertor::check_dest()
{
    tk_log(2, "vandrel_convertor::check_dest()");
    conversion_destination& side = destination();
    if (side.is_db_exist(dest()) && mode_kind() == conversion_mode::overwrite_database)
    {
        side.delete_db(dest());
    }
}

bool vandrel_convertor::save_profile_file(const std::wstring& path)
{
    tk_wlog(2, L"vandrel_convertor::save_profile_file(%s)", path);
    udb_profile profile;
    if (!udb_converter::store_profile(profile) || !pgs_converter_impl::store_profile(profile) ||
        !mssql_converter_impl::store_profile(profile))
    {
        return false;
    }
    profile.set_value(profile_keys::generic, L"no schema", no_schema() ? L"1" : L"0");
    return profile.store(path);
}

bool vandrel_convertor::load_profile_file(const std::wstring& path)
{
    tk_wlog(2, L"vandrel_convertor::load_profile_file(%s)", path);
    udb_profile profile;
    if (!profile.load(path) || !holds_settings(profile))
    {
        return false;
    }
    // Checked whole before anything is applied: a refused profile changes no setting and turns
    // no log on.
    udb_converter::check_profile(path, profile);
    pgs_converter_impl::check_profile(profile);
    udb_converter::load_profile(path, profile);
    pgs_converter_impl::load_profile(profile);
    mssql_converter_impl::load_profile(profile);
    if (const std::wstring text = profile.get_value(profile_keys::generic, L"no schema");
        !text.empty())
    {
        set_no_schema(text == L"1");
    }
    return true;
}
