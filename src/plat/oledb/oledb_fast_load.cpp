// oledb_fast_load.cpp: the bulk-load rowset (IRowsetFastLoad with its accessor, columns and
// properties) over the load writer, and its opening by the session.
#include "plat/oledb/oledb_accessor.h"
#include "plat/oledb/oledb_error.h"
#include "plat/oledb/oledb_load_writer.h"
#include "plat/oledb/oledb_objects.h"
#include "plat/oledb/oledb_rowset.h"

#include <cstring>
#include <map>
#include <new>

namespace plat::oledb
{
namespace
{

void post_status(link_status& status)
{
    post_errors(std::move(status.records));
}

class fast_load final
    : public com_object<IRowsetFastLoad, IAccessor, IColumnsInfo, IRowsetInfo, IFastLoadReplay>
{
public:
    fast_load(com_ref<IUnknown> session, link& session_link, std::unique_ptr<load_writer> writer)
        : m_session(std::move(session))
        , m_session_link(session_link)
        , m_writer(std::move(writer))
    {
        for (const load_column& column : m_writer->target().columns)
        {
            m_shapes.push_back(column.shape);
        }
    }

    HRESULT InsertRow(HACCESSOR accessor, void* data) override
    {
        clear_errors();
        m_lost = 0;
        if (m_done)
        {
            return post_layer_error(E_UNEXPECTED, L"The load has ended: the final commit ran.");
        }
        const std::vector<DBBINDING>* bound = m_accessors.find(accessor);
        if (accessor == DB_NULL_HACCESSOR || bound == nullptr)
        {
            return post_layer_error(DB_E_BADACCESSORHANDLE, L"The accessor handle is not valid.");
        }
        if (data == nullptr)
        {
            return post_layer_error(E_INVALIDARG, L"No buffer was given for the row.");
        }
        if (const HRESULT hr = choose_columns(*bound); FAILED(hr))
        {
            return hr;
        }
        const std::vector<load_column>& columns = m_writer->target().columns;
        m_row.assign(columns.size(), load_value{});
        for (const DBBINDING& binding : *bound)
        {
            std::wstring reason;
            const std::size_t position = m_position[binding.iOrdinal - 1];
            const HRESULT hr = read_load_value(binding, static_cast<const std::uint8_t*>(data),
                                               columns[position], m_row[position], reason);
            if (FAILED(hr))
            {
                return post_layer_error(hr, reason);
            }
        }
        std::uint32_t lost = 0;
        link_status status = m_writer->insert(m_row, lost);
        m_lost = lost;
        if (!status.ok())
        {
            post_status(status);
            return status.hr;
        }
        return m_writer->row_path() == load_row_path::batch ? S_OK : DB_S_ROWPATH;
    }

    HRESULT Commit(BOOL done) override
    {
        clear_errors();
        m_lost = 0;
        if (m_done)
        {
            return post_layer_error(E_UNEXPECTED, L"The load has ended: the final commit ran.");
        }
        std::uint32_t lost = 0;
        link_status status = m_writer->commit(done != 0, lost);
        m_lost = lost;
        if (done != 0)
        {
            m_done = true;
            identity_off();
        }
        if (!status.ok())
        {
            post_status(status);
            return status.hr;
        }
        return S_OK;
    }

    HRESULT GetRowsToReplay(DBCOUNTITEM* rows) override
    {
        if (rows == nullptr)
        {
            return E_INVALIDARG;
        }
        *rows = m_lost;
        return S_OK;
    }

    HRESULT GetRowPath(load_row_path* path) override
    {
        if (path == nullptr)
        {
            return E_INVALIDARG;
        }
        *path = m_writer->row_path();
        return S_OK;
    }

    HRESULT CreateAccessor(DBACCESSORFLAGS flags, DBCOUNTITEM binding_count,
                           const DBBINDING bindings[], DBLENGTH row_size, HACCESSOR* accessor,
                           DBBINDSTATUS statuses[]) override
    {
        return m_accessors.create(
            flags, binding_count, bindings, accessor, statuses,
            [&](const DBBINDING& binding) {
                return check_load_binding(binding, static_cast<DBORDINAL>(m_shapes.size()),
                                          row_size);
            },
            L"A binding names no column, does not fit the row or asks "
            L"for a type the loader does not read.");
    }

    HRESULT ReleaseAccessor(HACCESSOR accessor, DBREFCOUNT* ref_count) override
    {
        return m_accessors.release(accessor, ref_count);
    }

    HRESULT GetColumnInfo(DBORDINAL* count, DBCOLUMNINFO** info, OLECHAR** strings) override
    {
        return describe_rowset_columns(m_shapes, count, info, strings);
    }

    HRESULT GetProperties(ULONG id_set_count, const DBPROPIDSET id_sets[], ULONG* set_count,
                          DBPROPSET** sets) override
    {
        return stream_rowset_properties(id_set_count, id_sets, set_count, sets);
    }

private:
    // The columns the first row binds are the load's columns; the others take the table's
    // defaults. A later row binding other columns is refused: the load's column list is fixed.
    HRESULT choose_columns(const std::vector<DBBINDING>& bindings)
    {
        // Every row asks: the marks go into a vector kept for it, not a new one per row.
        std::vector<bool>& used = m_row_used;
        used.assign(m_shapes.size(), false);
        for (const DBBINDING& binding : bindings)
        {
            used[binding.iOrdinal - 1] = true;
        }
        if (!m_position.empty())
        {
            return used == m_used ? S_OK
                                  : post_layer_error(DB_E_BADACCESSORHANDLE,
                                                     L"The row binds other columns than the "
                                                     L"load's first row.");
        }
        std::vector<std::size_t> positions;
        m_position.assign(m_shapes.size(), 0);
        for (std::size_t column_idx = 0; column_idx < used.size(); ++column_idx)
        {
            if (used[column_idx])
            {
                m_position[column_idx] = positions.size();
                positions.push_back(column_idx);
            }
        }
        if (positions.size() < used.size() && !m_writer->select_columns(positions))
        {
            m_position.clear();
            return post_layer_error(E_UNEXPECTED, L"The load's columns cannot change now.");
        }
        m_used = used;
        return S_OK;
    }

    // The table writer switched identity insertion on for its own statements on the session;
    // the load's end switches it off, so the next table of the session can take it. Its
    // failure (no such switch was on) changes nothing.
    void identity_off()
    {
        const load_target& target = m_writer->target();
        if (!target.sql_server() || !target.keep_identity || !target.has_identity)
        {
            return;
        }
        std::unique_ptr<link_statement> statement;
        if (m_session_link.new_statement(statement).ok())
        {
            statement->execute(identity_insert_sql(target.table, false));
        }
    }

    com_ref<IUnknown> m_session;
    link& m_session_link;
    std::unique_ptr<load_writer> m_writer;
    accessor_table m_accessors;
    load_row m_row;
    // Every column of the table as IColumnsInfo reports it.
    std::vector<rowset_column> m_shapes;
    // Per table column: loaded by the first row, and its position in the load's columns.
    std::vector<bool> m_used;
    std::vector<bool> m_row_used;
    std::vector<std::size_t> m_position;
    DBCOUNTITEM m_lost = 0;
    bool m_done = false;
};

} // namespace

HRESULT open_fast_load(com_ref<IUnknown> session, link& session_link,
                       const session_context& context, const std::wstring& table,
                       const fast_load_options& options, com_ref<IRowsetFastLoad>& loader)
{
    const driver_kind kind = context.provider->driver.kind;
    const std::wstring name = quote_table_name(table, kind);
    // The columns come from the session's connection, so a missing table fails here.
    std::vector<column_desc> columns;
    if (link_status status = describe_table(session_link, name, columns); !status.ok())
    {
        post_status(status);
        return status.hr;
    }
    load_target target;
    target.table = name;
    target.kind = kind;
    target.keep_identity = options.keep_identity;
    target.keep_nulls = options.keep_nulls;
    target.check_constraints = options.check_constraints;
    target.connection_string = context.connection_string;
    target.make_link = context.provider->make_link;
    for (const column_desc& desc : columns)
    {
        target.columns.push_back(load_column_of(desc));
        target.columns.back().ordinal = target.columns.size();
        target.has_identity = target.has_identity || desc.auto_unique;
    }
    auto writer = std::make_unique<load_writer>(std::move(target));
    // The loader is whole or not at all: a connection it cannot open fails the open.
    if (link_status opened = writer->open(); !opened.ok())
    {
        post_status(opened);
        return opened.hr;
    }
    loader = com_ref<IRowsetFastLoad>::attach(
        make_com<fast_load>(std::move(session), session_link, std::move(writer)).detach());
    return S_OK;
}

} // namespace plat::oledb
