// odb_recordset.cpp: the schema from the column information, the five-row cache, and the
// schema-rowset readers.
#include "mss/odb_recordset.h"

#include "mss/odb_command.h"
#include "mss/odb_exception.h"
#include "tk/tk_exception.h"
#include "tk/tk_logger.h"

odb_recordset::odb_recordset(IRowset* rowset)
    : udb_recordset(L"", 1)
{
    m_rowset.share(rowset);
    tk_log(2, "odb_recordset::ctor");
    initialize();
}

odb_recordset::odb_recordset(const std::wstring& name)
    : udb_recordset(name, 1)
{
}

odb_recordset::~odb_recordset()
{
    tk_log(2, "odb_recordset::dtor");
    clean_cache();
    tk_log(2, "odb_recordset::dtor - END");
}

void odb_recordset::set_rowset(ole_com_ptr<IRowset> rowset)
{
    m_rowset = std::move(rowset);
}

void odb_recordset::internal_initialize(IOpenRowset* session, bool read_only)
{
    tk_log(2, "odb_table::internal_initialize");
    ole_com_ptr<IRowset> opened;
    if (!query().empty())
    {
        odb_command command(session);
        command.execute(query(), opened.put());
    }
    else
    {
        std::wstring name = this->name();
        DBID table{};
        table.eKind = DBKIND_NAME;
        table.uName.pwszName = name.data();
        if (read_only)
        {
            tk_log(2, "Open rowset in read_only mode");
            odb_check(session->OpenRowset(nullptr, &table, nullptr, IID_IRowset, 0, nullptr,
                                          opened.put_unknown()));
        }
        else
        {
            tk_log(2, "Open rowset in create/append mode");
            DBPROP props[2];
            props[0].dwPropertyID = DBPROP_IRowsetChange;
            props[0].vValue.vt = VT_BOOL;
            props[0].vValue.boolVal = VARIANT_TRUE;
            props[1].dwPropertyID = DBPROP_UPDATABILITY;
            props[1].vValue.vt = VT_I4;
            props[1].vValue.lVal = DBPROPVAL_UP_INSERT;
            DBPROPSET set{props, 2, DBPROPSET_ROWSET};
            odb_check(session->OpenRowset(nullptr, &table, nullptr, IID_IRowset, 1, &set,
                                          opened.put_unknown()));
        }
    }
    m_rowset = std::move(opened);
    initialize();
}

void odb_recordset::initialize()
{
    if (!m_rowset)
    {
        tk_log(2, "Rowset isn't defined");
        return;
    }
    ole_com_ptr<IColumnsInfo> info;
    odb_check(m_rowset->QueryInterface(IID_IColumnsInfo, info.put_void()));
    DBORDINAL count = 0;
    DBCOLUMNINFO* columns = nullptr;
    OLECHAR* strings = nullptr;
    odb_check(info->GetColumnInfo(&count, &columns, &strings));
    // The stand-in keeps the names inside the array block; a provider that does not would hand
    // a separate block, freed here rather than leaked.
    CoTaskMemFree(strings);
    m_column_info.reset(columns);
    m_column_count = count;
    tk_log(1, "*** Got %d columns ***", count);
    for (std::uint32_t column_idx = 0; column_idx < m_column_count; ++column_idx)
    {
        const DBCOLUMNINFO& column = columns[column_idx];
        tk_log(2, "Column #%d has type=%d,size=%08X", column_idx, column.wType,
               column.ulColumnSize);
        // Every date column's kind is set to 1 below, whatever the server's date types.
        std::int32_t reserved = 0;
        const VARTYPE vartype = odb_record::get_vartype(column.wType, reserved, mss_target{});
        std::int64_t size = column.ulColumnSize;
        if (column.wType == DBTYPE_BYTES)
        {
            size *= 2;
        }
        else if (column.wType == DBTYPE_GUID)
        {
            size = 38;
        }
        const std::wstring name = column.pwszName != nullptr ? column.pwszName : L"";
        tk_wlog(2, L"Field '%s' has type %d", name, column.wType);
        if (vartype == VT_DATE)
        {
            reserved = 1;
        }
        tk_log(2, ">>> reserved=%d", reserved);
        if (vartype == VT_DECIMAL)
        {
            tk_wlog(1, L"Scale/precision for decimal column '%s': (%d, %d)", name, column.bScale,
                    column.bPrecision);
            reserved = t_ftd::make_precision_scale(column.bPrecision, column.bScale);
        }
        // Sizes beyond 31 bits are the long columns' "unlimited".
        const auto descriptor_size =
            vartype == VT_BLOB ? 0
                               : static_cast<std::int32_t>(std::min<std::int64_t>(size, INT32_MAX));
        add_column(std::make_unique<t_ftd>(descriptor_size, name, vartype,
                                           (column.dwFlags & DBCOLUMNFLAGS_ISNULLABLE) == 0, false,
                                           ole_variant(), reserved, L""));
    }
    clean_cache();
    m_accessor.bind(m_rowset.get(), m_column_count, m_column_info.get());
}

void odb_recordset::append_record(udb_record&)
{
    throw tk_mail_assertion("odb_recs", 55);
}

void odb_recordset::fill_cache()
{
    tk_log(1, "odb_recordset::fill_cache");
    if (!m_rowset)
    {
        throw tk_mail_assertion("odb_recs", 167);
    }
    // Emptied first: refilling over cached records would leak them.
    clean_cache();
    std::array<HROW, cache_size> handles{};
    HROW* rows = handles.data();
    DBCOUNTITEM obtained = 0;
    odb_check(m_rowset->GetNextRows(DB_NULL_HCHAPTER, 0, cache_size, &obtained, &rows));
    tk_log(1, "GetNextRows extracts %d records", obtained);
    m_started = true;
    for (DBCOUNTITEM row_idx = 0; row_idx < obtained && row_idx < cache_size; ++row_idx)
    {
        m_cache[row_idx] = m_accessor.get_record(m_rowset.get(), handles[row_idx]);
        m_cached = static_cast<std::uint32_t>(row_idx + 1);
    }
    odb_check(m_rowset->ReleaseRows(obtained, handles.data(), nullptr, nullptr, nullptr));
    tk_log(1, "End of odb_recordset::fill_cache");
}

void odb_recordset::clean_cache()
{
    tk_log(2, "odb_recordset::clean_cache(rows_obtaind=%d)", m_cached);
    for (std::unique_ptr<odb_record>& record : m_cache)
    {
        record.reset();
    }
    m_cached = 0;
    tk_log(2, "odb_recordset::clean_cache - END");
}

udb_record* odb_recordset::get_item()
{
    tk_log(1, "odb_recordset::get_item(local_pos=%d)", m_position);
    if (m_position >= m_cached)
    {
        throw tk_mail_assertion("..\\MSS/odb_recs", 99);
    }
    return m_cache[m_position].get();
}

bool odb_recordset::is_eof()
{
    tk_log(1, "odb_recordset::is_eof(%d)", m_cached);
    return !m_rowset || m_cached == 0;
}

void odb_recordset::next()
{
    tk_log(1, "odb_table::next(%d)", m_position);
    if (!m_cache[0])
    {
        throw tk_mail_assertion("..\\MSS/odb_recs", 79);
    }
    if (m_position + 1 < m_cached)
    {
        ++m_position;
    }
    else
    {
        fill_cache();
        m_position = 0;
    }
    ++m_rows_read;
}

void odb_recordset::reset()
{
    tk_log(1, "odb_table::reset");
    if (!m_rowset)
    {
        return;
    }
    if (!m_started)
    {
        fill_cache();
        return;
    }
    if (m_rows_read == 0 && m_position == 0)
    {
        // The cache still holds the rowset's first rows: fetching again would skip them.
        return;
    }
    odb_check(m_rowset->RestartPosition(DB_NULL_HCHAPTER));
    clean_cache();
    m_rows_read = 0;
    m_position = 0;
    fill_cache();
}

template <std::size_t N>
odb_meta_data<N>::odb_meta_data(IOpenRowset* session)
    : odb_recordset(std::wstring())
{
    tk_log(1, "odb_meta_data::ctor");
    if (session == nullptr)
    {
        throw tk_mail_assertion("odb_mdat", 30);
    }
    odb_check(session->QueryInterface(IID_IDBSchemaRowset, m_schema_rowset.put_void()));
}

template <std::size_t N>
void odb_meta_data<N>::set_restriction(std::size_t index, const std::wstring& value)
{
    m_restrictions[index].vt = VT_BSTR;
    m_restrictions[index].bstrVal = value;
}

template <std::size_t N>
void odb_meta_data<N>::internal_initialize(const GUID& schema)
{
    tk_log(1, "odb_meta_data::internal_initialize");
    if (!m_schema_rowset)
    {
        throw tk_mail_assertion("odb_mdat", 62);
    }
    ole_com_ptr<IRowset> rowset;
    odb_check(m_schema_rowset->GetRowset(nullptr, schema, static_cast<ULONG>(N),
                                         m_restrictions.data(), IID_IRowset, 0, nullptr,
                                         rowset.put_unknown()));
    set_rowset(std::move(rowset));
    initialize();
}

template class odb_meta_data<3>;
template class odb_meta_data<4>;
template class odb_meta_data<5>;
template class odb_meta_data<6>;

odb_pk_meta_data::odb_pk_meta_data(IOpenRowset* session, const std::wstring& table,
                                   const std::wstring& owner)
    : odb_meta_data<3>(session)
{
    tk_wlog(1, L"odb_pk_meta_data::ctor(%s)", table);
    if (!owner.empty())
    {
        set_restriction(1, owner);
    }
    set_restriction(2, table);
    internal_initialize(DBSCHEMA_PRIMARY_KEYS);
}

odb_tl_meta_data::odb_tl_meta_data(IOpenRowset* session, const std::wstring& owner)
    : odb_meta_data<4>(session)
{
    tk_log(1, "odb_tl_meta_data::ctor");
    if (!owner.empty())
    {
        set_restriction(1, owner);
    }
    set_restriction(3, L"TABLE");
    internal_initialize(DBSCHEMA_TABLES);
}

odb_id_meta_data::odb_id_meta_data(IOpenRowset* session, const std::wstring& table,
                                   const std::wstring& owner)
    : odb_meta_data<5>(session)
{
    tk_wlog(1, L"odb_id_meta_data::ctor(%s)", table);
    if (!owner.empty())
    {
        set_restriction(1, owner);
    }
    set_restriction(4, table);
    internal_initialize(DBSCHEMA_INDEXES);
}

odb_fk_meta_data::odb_fk_meta_data(IOpenRowset* session, const std::wstring& table,
                                   const std::wstring& owner)
    : odb_meta_data<6>(session)
{
    tk_wlog(1, L"odb_fk_meta_data::ctor(%s)", table);
    if (!owner.empty())
    {
        set_restriction(1, owner);
    }
    set_restriction(2, table);
    internal_initialize(DBSCHEMA_FOREIGN_KEYS);
}
