// oledb_command.cpp: command text and execution, walking every result of a batch.
#include "plat/oledb/oledb_error.h"
#include "plat/oledb/oledb_objects.h"
#include "plat/oledb/oledb_rowset.h"

#include <algorithm>

namespace plat::oledb
{
namespace
{

// A driver that keeps failing on the same result would otherwise never end the walk.
constexpr int max_results = 100000;

// Keeps the first failure's code and gathers the records of every failure.
void note_failure(link_status& first, link_status&& failure)
{
    if (first.ok())
    {
        first.hr = failure.hr;
    }
    for (error_record& record : failure.records)
    {
        record.hr = first.hr;
        first.records.push_back(std::move(record));
    }
}

class command final : public com_object<ICommandText, ICommandProperties>
{
public:
    command(com_ref<IUnknown> session, link& connection, bool native)
        : m_session(std::move(session))
        , m_link(connection)
        , m_native(native)
    {
    }

    HRESULT SetCommandText(REFGUID dialect, LPCOLESTR text) override
    {
        clear_errors();
        if (dialect != DBGUID_DBSQL)
        {
            return post_layer_error(DB_E_DIALECTNOTSUPPORTED, L"Only SQL text is supported.");
        }
        m_text = text != nullptr ? std::wstring(text) : std::wstring();
        return S_OK;
    }

    HRESULT SetProperties(ULONG set_count, DBPROPSET* sets) override
    {
        clear_errors();
        return set_each_property(set_count, sets,
                                 [this](const GUID& set, const DBPROP& prop)
                                 {
                                     if (set != DBPROPSET_ROWSET ||
                                         prop.dwPropertyID != DBPROP_COMMANDTIMEOUT)
                                     {
                                         return DBPROPSTATUS_NOTSUPPORTED;
                                     }
                                     if (prop.vValue.vt != VT_I4 || prop.vValue.lVal < 0)
                                     {
                                         return DBPROPSTATUS_BADVALUE;
                                     }
                                     m_time_limit = static_cast<unsigned>(prop.vValue.lVal);
                                     return DBPROPSTATUS_OK;
                                 });
    }

    HRESULT Execute(IUnknown* outer, REFIID riid, DBPARAMS* params, DBROWCOUNT* rows_affected,
                    IUnknown** rowset) override
    {
        clear_errors();
        if (rows_affected != nullptr)
        {
            *rows_affected = -1;
        }
        if (rowset != nullptr)
        {
            *rowset = nullptr;
        }
        if (outer != nullptr)
        {
            return post_layer_error(CLASS_E_NOAGGREGATION, L"Rowsets cannot be aggregated.");
        }
        if (params != nullptr)
        {
            return post_layer_error(DB_E_NOTSUPPORTED, L"Command parameters are not supported.");
        }
        if (m_text.empty())
        {
            return post_layer_error(DB_E_NOCOMMAND, L"No command text was set.");
        }
        const bool want_rowset = riid != IID_NULL;
        if (want_rowset && rowset == nullptr)
        {
            return post_layer_error(E_INVALIDARG, L"Execute needs somewhere to put the rowset.");
        }
        com_ref<IRowset> result;
        const HRESULT hr =
            run_batch(m_link, m_text, want_rowset, m_native, result, rows_affected, m_time_limit);
        if (FAILED(hr) || !want_rowset || !result)
        {
            return hr;
        }
        const HRESULT query_hr = result->QueryInterface(riid, reinterpret_cast<void**>(rowset));
        return FAILED(query_hr)
                   ? post_layer_error(query_hr, L"The rowset does not offer that interface.")
                   : query_hr;
    }

private:
    com_ref<IUnknown> m_session; // keeps the session, and so m_link, alive
    link& m_link;
    bool m_native;
    std::wstring m_text;
    unsigned m_time_limit = 0; // seconds; 0: none
};

// Reads the current result whole (or drains it) and answers the first failure.
link_status read_result(link_statement& statement, bool keep, std::vector<row>& rows)
{
    for (;;)
    {
        row values;
        link_status status = statement.fetch(values);
        if (!status.ok())
        {
            return status;
        }
        if (status.hr == S_FALSE)
        {
            return {};
        }
        if (keep)
        {
            rows.push_back(std::move(values));
        }
    }
}

} // namespace

HRESULT
set_each_property(ULONG set_count, DBPROPSET* sets,
                  const std::function<DBPROPSTATUS(const GUID& set, const DBPROP& prop)>& set_one)
{
    if (set_count > 0 && sets == nullptr)
    {
        return post_layer_error(E_INVALIDARG, L"SetProperties needs its property sets.");
    }
    bool failed_required = false;
    bool failed_optional = false;
    for (ULONG set_idx = 0; set_idx < set_count; ++set_idx)
    {
        DBPROPSET& set = sets[set_idx];
        for (ULONG prop_idx = 0; prop_idx < set.cProperties; ++prop_idx)
        {
            DBPROP& prop = set.rgProperties[prop_idx];
            prop.dwStatus = set_one(set.guidPropertySet, prop);
            if (prop.dwStatus != DBPROPSTATUS_OK)
            {
                (prop.dwOptions == DBPROPOPTIONS_OPTIONAL ? failed_optional : failed_required) =
                    true;
            }
        }
    }
    if (failed_required)
    {
        return post_layer_error(DB_E_ERRORSOCCURRED,
                                L"A required property was not supported or not settable.");
    }
    return failed_optional ? DB_S_ERRORSOCCURRED : S_OK;
}

com_ref<ICommandText> make_command(com_ref<IUnknown> session, link& connection, bool native)
{
    return com_ref<ICommandText>::attach(
        make_com<command>(std::move(session), connection, native).detach());
}

HRESULT run_batch(link& connection, const std::wstring& sql, bool want_rowset, bool native,
                  com_ref<IRowset>& rowset, DBROWCOUNT* rows_affected, unsigned time_limit)
{
    rowset.reset();
    // The rows the batch's statements changed, summed over the results that have no columns.
    DBROWCOUNT changed = -1;
    std::unique_ptr<link_statement> statement;
    link_status failure = connection.new_statement(statement);
    if (failure.ok())
    {
        if (time_limit > 0)
        {
            statement->set_time_limit(time_limit);
        }
        failure = statement->execute(sql);
    }
    if (!failure.ok() && (!statement || failure.connection_gone()))
    {
        post_errors(std::move(failure.records));
        return failure.hr;
    }
    if (!failure.ok())
    {
        // The first statement failed; the batch's later results still get walked.
        link_status first = std::move(failure);
        failure = link_status{};
        note_failure(failure, std::move(first));
    }
    bool taken = false;
    std::vector<column_desc> columns;
    std::vector<row> rows;
    for (int result_idx = 0; result_idx < max_results; ++result_idx)
    {
        if (failure.ok() || result_idx > 0)
        {
            std::vector<column_desc> described;
            link_status status = statement->describe(described);
            if (status.ok() && described.empty())
            {
                if (const std::int64_t count = statement->rows_affected(); count >= 0)
                {
                    changed = std::max<DBROWCOUNT>(changed, 0) + count;
                }
            }
            if (status.ok() && !described.empty())
            {
                const bool keep = want_rowset && !taken;
                status = read_result(*statement, keep, rows);
                if (keep)
                {
                    taken = true;
                    columns = std::move(described);
                }
            }
            if (!status.ok())
            {
                const bool fatal = status.connection_gone();
                note_failure(failure, std::move(status));
                if (fatal)
                {
                    break;
                }
            }
        }
        link_status more = statement->more_results();
        if (more.hr == S_FALSE)
        {
            break;
        }
        if (!more.ok())
        {
            const bool fatal = more.connection_gone();
            // A driver that answers the same failure again has no further result to give.
            const bool repeated =
                !failure.ok() && !more.records.empty() &&
                failure.records.back().description == more.records.back().description;
            note_failure(failure, std::move(more));
            if (fatal || repeated)
            {
                break;
            }
        }
    }
    if (!failure.ok())
    {
        post_errors(std::move(failure.records));
        return failure.hr;
    }
    if (rows_affected != nullptr)
    {
        *rows_affected = changed;
    }
    if (taken)
    {
        rowset = make_rowset(columns_from_driver(columns, native),
                             make_materialised_source(std::move(rows)));
    }
    return S_OK;
}

} // namespace plat::oledb
