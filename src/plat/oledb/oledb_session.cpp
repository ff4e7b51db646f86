// oledb_session.cpp: the session: commands, table rowsets that stream on a connection of their
// own, and schema rowsets.
#include "plat/oledb/oledb_ddl.h"
#include "plat/oledb/oledb_error.h"
#include "plat/oledb/oledb_objects.h"
#include "plat/oledb/oledb_rowset.h"
#include "plat/plat_text.h"

#include <string_view>

namespace plat::oledb
{
namespace
{

// Reads a table on a connection opened at the first row, so the session's own connection stays
// free for the statements that run while the table is read.
class table_source final : public row_source
{
public:
    table_source(std::shared_ptr<const session_context> context, std::wstring select)
        : m_context(std::move(context))
        , m_select(std::move(select))
    {
    }

    link_status next(row& values) override
    {
        if (!m_statement)
        {
            if (link_status status = open(); !status.ok())
            {
                return status;
            }
        }
        return m_statement->fetch(values);
    }

    link_status restart() override
    {
        m_statement.reset();
        return {};
    }

private:
    link_status open()
    {
        if (!m_link)
        {
            std::unique_ptr<link> connection = m_context->provider->make_link();
            if (link_status status = connection->connect(m_context->connection_string);
                !status.ok())
            {
                return status;
            }
            m_link = std::move(connection);
        }
        std::unique_ptr<link_statement> statement;
        if (link_status status = m_link->new_statement(statement); !status.ok())
        {
            return status;
        }
        if (link_status status = statement->execute(m_select); !status.ok())
        {
            return status;
        }
        m_statement = std::move(statement);
        return {};
    }

    std::shared_ptr<const session_context> m_context;
    std::wstring m_select;
    std::unique_ptr<link> m_link;
    std::unique_ptr<link_statement> m_statement; // after m_link: closed before it
};

// The fast-load options text ("CHECK_CONSTRAINTS", options separated by commas): false, and
// nothing taken, when it is no text or names an option the loader does not take.
bool read_load_options(const VARIANT& value, fast_load_options& options)
{
    if (value.vt != VT_BSTR)
    {
        return false;
    }
    bool check_constraints = false;
    std::wstring_view rest = value.bstrVal;
    while (!rest.empty())
    {
        const std::size_t comma = rest.find(L',');
        std::wstring_view option = rest.substr(0, comma);
        rest = comma == std::wstring_view::npos ? std::wstring_view() : rest.substr(comma + 1);
        while (!option.empty() && option.front() == L' ')
        {
            option.remove_prefix(1);
        }
        while (!option.empty() && option.back() == L' ')
        {
            option.remove_suffix(1);
        }
        if (equal_ci(option, L"CHECK_CONSTRAINTS"))
        {
            check_constraints = true;
        }
        else if (!option.empty())
        {
            return false;
        }
    }
    options.check_constraints = check_constraints;
    return true;
}

class session final : public com_object<IOpenRowset, IDBCreateCommand, IDBSchemaRowset,
                                        ITableDefinition, IIndexDefinition>
{
public:
    session(std::shared_ptr<const session_context> context, std::unique_ptr<link> connection,
            bool fast_load)
        : m_context(std::move(context))
        , m_link(std::move(connection))
        , m_fast_load(fast_load)
    {
    }

    HRESULT CreateCommand(IUnknown* outer, REFIID riid, IUnknown** command) override
    {
        clear_errors();
        if (command == nullptr)
        {
            return post_layer_error(E_INVALIDARG, L"CreateCommand needs its output argument.");
        }
        *command = nullptr;
        if (outer != nullptr)
        {
            return post_layer_error(CLASS_E_NOAGGREGATION, L"Commands cannot be aggregated.");
        }
        com_ref<ICommandText> created =
            make_command(com_ref<IUnknown>::share(static_cast<IOpenRowset*>(this)), *m_link,
                         m_context->provider->native);
        const HRESULT hr = created->QueryInterface(riid, reinterpret_cast<void**>(command));
        return FAILED(hr) ? post_layer_error(hr, L"The command does not offer that interface.")
                          : hr;
    }

    HRESULT OpenRowset(IUnknown* outer, DBID* table_id, DBID* index_id, REFIID riid,
                       ULONG set_count, DBPROPSET sets[], IUnknown** rowset) override
    {
        clear_errors();
        if (rowset == nullptr)
        {
            return post_layer_error(E_INVALIDARG, L"OpenRowset needs its output argument.");
        }
        *rowset = nullptr;
        if (outer != nullptr)
        {
            return post_layer_error(CLASS_E_NOAGGREGATION, L"Rowsets cannot be aggregated.");
        }
        if (table_id == nullptr || table_id->eKind != DBKIND_NAME ||
            table_id->uName.pwszName == nullptr || index_id != nullptr)
        {
            return post_layer_error(E_INVALIDARG, L"OpenRowset needs a table named by text.");
        }
        if (riid == IID_IRowsetFastLoad)
        {
            return open_loader(table_id->uName.pwszName, set_count, sets, rowset);
        }
        const std::wstring name =
            quote_table_name(table_id->uName.pwszName, m_context->provider->driver.kind);
        // The columns come now, from the session's connection, so a missing table fails here.
        std::vector<column_desc> columns;
        if (link_status status = describe_table(*m_link, name, columns); !status.ok())
        {
            post_errors(std::move(status.records));
            return status.hr;
        }
        com_ref<IRowset> created =
            make_rowset(columns_from_driver(columns, m_context->provider->native),
                        std::make_unique<table_source>(m_context, L"SELECT * FROM " + name));
        const HRESULT hr = created->QueryInterface(riid, reinterpret_cast<void**>(rowset));
        return FAILED(hr) ? post_layer_error(hr, L"The rowset does not offer that interface.") : hr;
    }

    HRESULT GetRowset(IUnknown* outer, REFGUID schema, ULONG restriction_count,
                      const VARIANT restrictions[], REFIID riid, ULONG, DBPROPSET[],
                      IUnknown** rowset) override
    {
        clear_errors();
        if (rowset == nullptr)
        {
            return post_layer_error(E_INVALIDARG, L"GetRowset needs its output argument.");
        }
        *rowset = nullptr;
        if (outer != nullptr)
        {
            return post_layer_error(CLASS_E_NOAGGREGATION, L"Rowsets cannot be aggregated.");
        }
        com_ref<IRowset> created;
        const HRESULT hr =
            open_schema_rowset(*m_link, schema, restriction_count, restrictions, created);
        if (FAILED(hr))
        {
            return hr;
        }
        const HRESULT query_hr = created->QueryInterface(riid, reinterpret_cast<void**>(rowset));
        return FAILED(query_hr)
                   ? post_layer_error(query_hr, L"The rowset does not offer that interface.")
                   : query_hr;
    }

    HRESULT CreateTable(IUnknown* outer, DBID* table_id, DBORDINAL column_count,
                        const DBCOLUMNDESC columns[], REFIID riid, ULONG set_count,
                        DBPROPSET sets[], DBID** new_table_id, IUnknown** rowset) override
    {
        return define_table(*m_link, m_context->provider->native, outer, table_id, column_count,
                            columns, riid, set_count, sets, new_table_id, rowset);
    }

    HRESULT CreateIndex(DBID* table_id, DBID* index_id, DBORDINAL column_count,
                        const DBINDEXCOLUMNDESC columns[], ULONG set_count, DBPROPSET sets[],
                        DBID** new_index_id) override
    {
        return define_index(*m_link, m_context->provider->native, table_id, index_id, column_count,
                            columns, set_count, sets, new_index_id);
    }

private:
    HRESULT open_loader(const wchar_t* table, ULONG set_count, DBPROPSET sets[], IUnknown** rowset)
    {
        if (!m_fast_load)
        {
            return post_layer_error(E_NOINTERFACE,
                                    L"Fast load is not switched on for this data source.");
        }
        fast_load_options options;
        for (ULONG set_idx = 0; sets != nullptr && set_idx < set_count; ++set_idx)
        {
            if (sets[set_idx].guidPropertySet != DBPROPSET_SQLSERVERROWSET)
            {
                continue;
            }
            for (ULONG prop_idx = 0; prop_idx < sets[set_idx].cProperties; ++prop_idx)
            {
                DBPROP& prop = sets[set_idx].rgProperties[prop_idx];
                const bool on = prop.vValue.vt == VT_BOOL && prop.vValue.boolVal != VARIANT_FALSE;
                if (prop.dwPropertyID == SSPROP_FASTLOADKEEPIDENTITY)
                {
                    options.keep_identity = on;
                }
                if (prop.dwPropertyID == SSPROP_FASTLOADKEEPNULLS)
                {
                    options.keep_nulls = on;
                }
                bool known = prop.dwPropertyID == SSPROP_FASTLOADKEEPIDENTITY ||
                             prop.dwPropertyID == SSPROP_FASTLOADKEEPNULLS ||
                             prop.dwPropertyID == SSPROP_IRowsetFastLoad;
                if (prop.dwPropertyID == SSPROP_FASTLOADOPTIONS)
                {
                    known = read_load_options(prop.vValue, options);
                }
                prop.dwStatus = known ? DBPROPSTATUS_OK : DBPROPSTATUS_NOTSUPPORTED;
            }
        }
        com_ref<IRowsetFastLoad> loader;
        const HRESULT hr = open_fast_load(com_ref<IUnknown>::share(static_cast<IOpenRowset*>(this)),
                                          *m_link, *m_context, table, options, loader);
        if (FAILED(hr))
        {
            return hr;
        }
        *rowset = loader.detach();
        return S_OK;
    }

    std::shared_ptr<const session_context> m_context;
    std::unique_ptr<link> m_link;
    bool m_fast_load;
};

} // namespace

link_status describe_table(link& connection, const std::wstring& quoted_table,
                           std::vector<column_desc>& columns)
{
    std::unique_ptr<link_statement> statement;
    link_status status = connection.new_statement(statement);
    if (status.ok())
    {
        // An empty SELECT is answered at once whatever the table holds; only a lock that
        // another session holds on the table keeps it waiting, which must not be for ever.
        statement->set_time_limit(answer_limit_seconds());
        status = statement->execute(L"SELECT * FROM " + quoted_table + L" WHERE 1=0");
    }
    if (status.ok())
    {
        status = statement->describe(columns);
    }
    return status;
}

com_ref<IOpenRowset> make_session(std::shared_ptr<const session_context> context,
                                  std::unique_ptr<link> connection, bool fast_load)
{
    return com_ref<IOpenRowset>::attach(
        make_com<session>(std::move(context), std::move(connection), fast_load).detach());
}

} // namespace plat::oledb
