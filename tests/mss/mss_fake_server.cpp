// mss_fake_server.cpp: the scripted links of the pretend server.
#include "mss_fake_server.h"

#include "plat/oledb/odbc_check.h"
#include "plat/oledb/oledb_providers.h"
#include "plat/plat_text.h"

namespace mss_test
{
namespace
{

using plat::oledb::catalog_arg;
using plat::oledb::cell;
using plat::oledb::column_desc;
using plat::oledb::link_status;
using plat::oledb::row;

std::wstring arg_text(const catalog_arg& arg)
{
    return arg ? *arg : std::wstring(L"<null>");
}

class fake_statement final : public plat::oledb::link_statement
{
public:
    explicit fake_statement(std::shared_ptr<fake_server> server)
        : m_server(std::move(server))
    {
    }

    link_status execute(const std::wstring& sql) override
    {
        m_server->sent.push_back(sql);
        const auto found = m_server->answers.find(sql);
        return take(found != m_server->answers.end() ? found->second : fake_answer{});
    }

    link_status tables(const catalog_arg& schema, const catalog_arg& table,
                       const catalog_arg& type) override
    {
        return catalog(L"tables",
                       arg_text(schema) + L"|" + arg_text(table) + L"|" + arg_text(type));
    }

    link_status primary_keys(const catalog_arg& schema, const catalog_arg& table) override
    {
        return catalog(L"primary_keys", arg_text(schema) + L"|" + arg_text(table));
    }

    link_status statistics(const catalog_arg& schema, const catalog_arg& table) override
    {
        return catalog(L"statistics", arg_text(schema) + L"|" + arg_text(table));
    }

    link_status foreign_keys(const catalog_arg& pk_schema, const catalog_arg& pk_table) override
    {
        return catalog(L"foreign_keys", arg_text(pk_schema) + L"|" + arg_text(pk_table));
    }

    link_status describe(std::vector<column_desc>& columns) override
    {
        columns.clear();
        for (const std::wstring& name : m_answer.columns)
        {
            column_desc column;
            column.name = name;
            column.sql_type = plat::oledb::sql_type::wvarchar;
            column.size = 4000;
            columns.push_back(column);
        }
        return {};
    }

    link_status fetch(row& values) override
    {
        values.clear();
        if (m_row >= m_answer.rows.size() || m_answer.columns.empty())
        {
            return link_status{S_FALSE, {}};
        }
        for (const std::optional<std::wstring>& value : m_answer.rows[m_row])
        {
            values.push_back(value ? cell(plat::wide_to_utf16(*value)) : cell{});
        }
        ++m_row;
        return {};
    }

    link_status more_results() override { return link_status{S_FALSE, {}}; }

    link_status execute_params(const std::wstring& sql, const std::vector<const column_desc*>&,
                               const plat::oledb::load_row&) override
    {
        m_server->sent.push_back(sql);
        return fake_failure(L"HY000", L"The pretend server takes no parameters.");
    }

private:
    link_status take(const fake_answer& answer)
    {
        m_answer = answer;
        m_row = 0;
        return answer.status;
    }

    link_status catalog(const std::wstring& name, const std::wstring& args)
    {
        const std::wstring call = name + L"(" + args + L")";
        m_server->sent.push_back(call);
        auto found = m_server->catalog.find(call);
        if (found == m_server->catalog.end())
        {
            found = m_server->catalog.find(name);
        }
        return take(found != m_server->catalog.end() ? found->second : fake_answer{});
    }

    std::shared_ptr<fake_server> m_server;
    fake_answer m_answer;
    std::size_t m_row = 0;
};

class fake_link final : public plat::oledb::link
{
public:
    explicit fake_link(std::shared_ptr<fake_server> server)
        : m_server(std::move(server))
    {
    }

    link_status connect(const std::wstring& connection_string) override
    {
        m_server->connection_strings.push_back(connection_string);
        for (const std::wstring& database : m_server->refused_databases)
        {
            if (connection_string.find(L";Database={" + database + L"}") != std::wstring::npos)
            {
                return plat::oledb::failure_from_diagnostics(
                    {{L"28000", 4060, L"Cannot open database \"" + database + L"\"."}},
                    plat::oledb::odbc_call::connect, L"fake");
            }
        }
        return {};
    }

    link_status new_statement(std::unique_ptr<plat::oledb::link_statement>& statement) override
    {
        statement = std::make_unique<fake_statement>(m_server);
        return {};
    }

    std::wstring search_escape() override { return L"\\"; }

private:
    std::shared_ptr<fake_server> m_server;
};

} // namespace

void fake_server::answer(const std::wstring& sql, const std::wstring& column,
                         const std::vector<std::optional<std::wstring>>& values)
{
    fake_answer result;
    result.columns = {column};
    for (const std::optional<std::wstring>& value : values)
    {
        result.rows.push_back({value});
    }
    answers[sql] = result;
}

void fake_server::fail(const std::wstring& sql, const std::wstring& sqlstate,
                       const std::wstring& text)
{
    fake_answer result;
    result.status = fake_failure(sqlstate, text);
    answers[sql] = result;
}

std::vector<std::wstring> fake_server::statements(std::size_t from) const
{
    static const std::wstring catalog_calls[] = {L"tables(", L"primary_keys(", L"statistics(",
                                                 L"foreign_keys("};
    std::vector<std::wstring> result;
    for (std::size_t index = from; index < sent.size(); ++index)
    {
        bool is_catalog = false;
        for (const std::wstring& prefix : catalog_calls)
        {
            is_catalog = is_catalog || sent[index].rfind(prefix, 0) == 0;
        }
        if (!is_catalog)
        {
            result.push_back(sent[index]);
        }
    }
    return result;
}

plat::oledb::link_status fake_failure(const std::wstring& sqlstate, const std::wstring& text)
{
    return plat::oledb::failure_from_diagnostics({{sqlstate, 0, text}},
                                                 plat::oledb::odbc_call::statement, L"fake");
}

void install_fake_server(plat::oledb::class_table& table, std::shared_ptr<fake_server> server,
                         bool fast_load)
{
    plat::oledb::provider_setup setup;
    setup.driver_installed = [](const std::wstring&) { return true; };
    setup.driver_library = [](const std::wstring&) { return std::wstring(); };
    setup.make_link = [server](const plat::oledb::driver_choice&)
    { return std::unique_ptr<plat::oledb::link>(std::make_unique<fake_link>(server)); };
    setup.drivers_override = "FreeTDS";
    setup.fast_load = fast_load;
    plat::oledb::register_providers(table, setup);
}

} // namespace mss_test
