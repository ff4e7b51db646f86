// oledb_fake_link.cpp: the scripted link and statement.
#include "oledb_fake_link.h"

#include "plat/oledb/odbc_check.h"

namespace oledb_test
{
namespace
{

std::wstring arg_text(const catalog_arg& arg)
{
    return arg ? *arg : std::wstring(L"<null>");
}

class fake_statement final : public link_statement
{
public:
    explicit fake_statement(std::shared_ptr<fake_script> script)
        : m_script(std::move(script))
    {
    }

    link_status execute(const std::wstring& sql) override
    {
        m_script->executed.push_back(sql);
        const auto found = m_script->batches.find(sql);
        if (found == m_script->batches.end())
        {
            m_results = {fake_result{}};
        }
        else
        {
            m_results = found->second;
        }
        m_current = 0;
        m_row = 0;
        return m_results.empty() ? link_status{} : m_results[0].reached;
    }

    link_status tables(const catalog_arg& schema, const catalog_arg& table,
                       const catalog_arg& type) override
    {
        return catalog(L"tables(" + arg_text(schema) + L"|" + arg_text(table) + L"|" +
                           arg_text(type) + L")",
                       L"tables");
    }

    link_status primary_keys(const catalog_arg& schema, const catalog_arg& table) override
    {
        return catalog(L"primary_keys(" + arg_text(schema) + L"|" + arg_text(table) + L")",
                       L"primary_keys");
    }

    link_status statistics(const catalog_arg& schema, const catalog_arg& table) override
    {
        return catalog(L"statistics(" + arg_text(schema) + L"|" + arg_text(table) + L")",
                       L"statistics");
    }

    link_status foreign_keys(const catalog_arg& pk_schema, const catalog_arg& pk_table) override
    {
        return catalog(L"foreign_keys(" + arg_text(pk_schema) + L"|" + arg_text(pk_table) + L")",
                       L"foreign_keys");
    }

    link_status describe(std::vector<column_desc>& columns) override
    {
        columns = m_current < m_results.size() ? m_results[m_current].columns
                                               : std::vector<column_desc>{};
        return {};
    }

    link_status fetch(row& values) override
    {
        values.clear();
        ++m_script->fetches;
        if (m_current >= m_results.size())
        {
            return link_status{S_FALSE, {}};
        }
        const fake_result& result = m_results[m_current];
        if (result.fail_after_rows >= 0 &&
            m_row == static_cast<std::size_t>(result.fail_after_rows))
        {
            return result.fetch_failure;
        }
        if (m_row >= result.rows.size() || result.columns.empty())
        {
            return link_status{S_FALSE, {}};
        }
        values = result.rows[m_row++];
        return {};
    }

    link_status more_results() override
    {
        ++m_current;
        m_row = 0;
        if (m_current >= m_results.size())
        {
            return link_status{S_FALSE, {}};
        }
        return m_results[m_current].reached;
    }

private:
    link_status catalog(const std::wstring& call, const std::wstring& name)
    {
        m_script->catalog_calls.push_back(call);
        const auto found = m_script->catalog.find(name);
        m_results = {found != m_script->catalog.end() ? found->second : fake_result{}};
        m_current = 0;
        m_row = 0;
        return m_results[0].reached;
    }

    std::shared_ptr<fake_script> m_script;
    std::vector<fake_result> m_results;
    std::size_t m_current = 0;
    std::size_t m_row = 0;
};

class fake_link final : public plat::oledb::link
{
public:
    explicit fake_link(std::shared_ptr<fake_script> script)
        : m_script(std::move(script))
    {
    }

    link_status connect(const std::wstring& connection_string) override
    {
        m_script->connection_strings.push_back(connection_string);
        return m_script->connect_status;
    }

    link_status new_statement(std::unique_ptr<link_statement>& statement) override
    {
        statement = std::make_unique<fake_statement>(m_script);
        return {};
    }

    std::wstring search_escape() override { return m_script->escape; }

private:
    std::shared_ptr<fake_script> m_script;
};

} // namespace

link_factory fake_links(std::shared_ptr<fake_script> script)
{
    return [script]() -> std::unique_ptr<plat::oledb::link>
    {
        ++script->links_made;
        return std::make_unique<fake_link>(script);
    };
}

link_status statement_failure(const std::wstring& sqlstate, const std::wstring& text)
{
    return failure_from_diagnostics({diag_record{sqlstate, 0, text}}, odbc_call::statement,
                                    L"fake");
}

column_desc text_column(const std::wstring& name)
{
    column_desc column;
    column.name = name;
    column.sql_type = sql_type::wvarchar;
    column.size = 50;
    return column;
}

cell text(const std::u16string& value)
{
    return value;
}

} // namespace oledb_test
