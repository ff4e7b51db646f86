// odb_table_creation.cpp: a destination table from a neutral schema: its columns through
// ITableDefinition (key text in a binary collation), its indexes through IIndexDefinition, and
// the column defaults.
#include "mss/mss_engine.h"
#include "mss/mss_key_sizes.h"
#include "mss/mss_names.h"
#include "mss/odb_database.h"
#include "mss/odb_exception.h"
#include "mss/odb_record.h"
#include "ole/ole_exception.h"
#include "plat/plat_fmt.h"
#include "plat/plat_text.h"
#include "tk/tk_logger.h"
#include "udb/udb_custom_conversion.h"
#include "udb/udb_value_exception.h"

#include <algorithm>
#include <array>

namespace
{

constexpr DBLENGTH unlimited_size = 8001;
constexpr int max_numeric_precision = 38;
// A binary collation: the source tells keys apart byte by byte, and a collation that ignores
// case, accents or width would make distinct source keys collide.
constexpr const wchar_t* key_collation = L"Latin1_General_100_BIN2";

// What one column hands to CreateTable: the texts and properties its descriptor points at,
// alive until the call returns.
struct column_request
{
    std::wstring name;
    std::wstring type_name;
    std::vector<DBPROP> props;
    std::vector<DBPROP> server_props;
    std::array<DBPROPSET, 2> sets{DBPROPSET{nullptr, 0, DBPROPSET_COLUMN},
                                  DBPROPSET{nullptr, 0, DBPROPSET_SQLSERVERCOLUMN}};
};

DBPROP bool_prop(DBPROPID id, bool value)
{
    DBPROP prop;
    prop.dwPropertyID = id;
    prop.dwOptions = DBPROPOPTIONS_REQUIRED;
    prop.vValue.vt = VT_BOOL;
    prop.vValue.boolVal = value ? VARIANT_TRUE : VARIANT_FALSE;
    return prop;
}

DBID name_id(std::wstring& name)
{
    DBID id{};
    id.eKind = DBKIND_NAME;
    id.uName.pwszName = name.data();
    return id;
}

bool ends_with_ci(const std::wstring& text, std::wstring_view suffix)
{
    return text.size() >= suffix.size() &&
           plat::equal_ci(std::wstring_view(text).substr(text.size() - suffix.size()), suffix);
}

// The neutral descriptor carries the source's type name in its text, when the reader sets it.
const std::wstring& source_type_name(const t_ftd& column)
{
    return column.text;
}

// True when the column is text in a primary key or unique index, whose values must stay apart
// exactly as the source keeps them.
bool is_key_text(const t_ftd& column, const udb_indexes& indexes)
{
    if (column.vartype != VT_BSTR || column.is_guid())
    {
        return false;
    }
    return std::any_of(indexes.begin(), indexes.end(),
                       [&](const udb_index& index)
                       {
                           return (index.primary || index.unique) &&
                                  std::find(index.columns.begin(), index.columns.end(),
                                            column.name) != index.columns.end();
                       });
}

void fill_column(const t_ftd& column, const udb_indexes& indexes, const mss_target& target,
                 int key_text_units, column_request& request, DBCOLUMNDESC& desc)
{
    const std::wstring& source_type = source_type_name(column);
    tk_wlog(2, L"Creating column '%s', type=%d, size=%d, native_type=%s", column.name,
            column.vartype, column.size, source_type);
    tk_log(2, "schema[i]->b_auto_num=%d", column.b_auto_num);
    const bool auto_increment = odb_is_identity_column(column, target.version_code);
    request.props.push_back(bool_prop(DBPROP_COL_AUTOINCREMENT, auto_increment));
    bool nullable = !(column.b_not_null || auto_increment);
    if (indexes.is_idx_field(column.name, true))
    {
        tk_log(2, "Field is a part of Primary Key");
        nullable = false;
    }
    request.props.push_back(bool_prop(DBPROP_COL_NULLABLE, nullable));
    request.name = mss_quote_name(column.name);
    desc.dbcid = name_id(request.name);

    if (udb_custom_conversion::is_acceptable1(column))
    {
        request.type_name = udb_custom_conversion::handle1(column);
    }
    else
    {
        desc.wType = odb_record::get_oledb_type(column, source_type, target);
        desc.ulColumnSize = static_cast<DBLENGTH>(std::max(column.size, 0));
        if (column.vartype == VT_BSTR && desc.wType == DBTYPE_WSTR)
        {
            // Sizes count characters, nvarchar counts UTF-16 units: room for n characters
            // beyond the basic plane, or no limit (0) when that is more than 4000 units.
            desc.ulColumnSize = static_cast<DBLENGTH>(mss_text_column_units(column.size));
        }
        tk_log(1, ">> Binding column #%d (%d, %d)", desc.wType, desc.ulColumnSize, column.size);
        if (ends_with_ci(source_type, L"text"))
        {
            tk_log(2, "Setting huge size for text/ntext column");
            desc.ulColumnSize = unlimited_size;
        }
        if (key_text_units > 0)
        {
            // Unbounded text that an index covers: as wide as the longest value the source
            // holds, since SQL Server indexes no nvarchar(max).
            tk_log(2, "Text column sized from its values for its index: %d", key_text_units);
            desc.wType = DBTYPE_WSTR;
            desc.ulColumnSize = static_cast<DBLENGTH>(key_text_units);
        }
        if (is_key_text(column, indexes))
        {
            DBPROP collation;
            collation.dwPropertyID = SSPROP_COL_COLLATIONNAME;
            collation.dwOptions = DBPROPOPTIONS_REQUIRED;
            collation.vValue.vt = VT_BSTR;
            collation.vValue.bstrVal = key_collation;
            request.server_props.push_back(std::move(collation));
        }
    }
    if (column.vartype == VT_DATE && target.has_date_types())
    {
        tk_log(2, "Got VT_DATE, cols[i].wType=%d", desc.wType);
        if (desc.wType == DBTYPE_DBTIMESTAMP)
        {
            // datetime2(6): every year from 1 and the neutral date's microseconds exactly.
            tk_log(2, "Processing datetime in MS SQL 2008+ way");
            request.type_name = L"DATETIME2";
            desc.ulColumnSize = 0;
            desc.bScale = 6;
        }
        else if (desc.wType == DBTYPE_DATE)
        {
            tk_log(2, "Processing pure date in MS SQL 2008+ way");
            request.type_name = L"DATE";
            desc.ulColumnSize = 0;
        }
        else if (desc.wType == DBTYPE_DBTIME2)
        {
            tk_log(2, "Processing pure time in MS SQL 2008+ way");
            request.type_name = L"TIME";
            desc.ulColumnSize = 0;
            desc.bScale = 6;
        }
    }
    if (column.vartype == VT_DECIMAL)
    {
        // A precision still unknown (0) here gives numeric(38,10): never float, which would
        // round every value beyond 15 digits.
        const int precision = mss_decimal_precision(column);
        const int scale = mss_decimal_scale(column);
        tk_log(2, "Scale/precision for decimal column: (%d, %d)", scale, precision);
        if (precision > max_numeric_precision)
        {
            desc.wType = DBTYPE_R8;
        }
        else
        {
            desc.bPrecision = static_cast<BYTE>(precision);
            desc.bScale = static_cast<BYTE>(scale);
        }
    }
    if (desc.ulColumnSize == 0 &&
        (desc.wType == DBTYPE_BYTES || desc.wType == DBTYPE_STR || desc.wType == DBTYPE_WSTR))
    {
        tk_log(2, "Got MEMO/BLOB field");
        desc.ulColumnSize = unlimited_size;
    }
    // An unbounded text column (nvarchar(max)) takes a default as any other text column does.
    if (!column.b_auto_num && desc.wType != DBTYPE_BYTES)
    {
        odb_database::set_def_value(column, request.props, target);
    }
}

// Creates one index unless the plan refused it; an index that is not created is noted with
// its reason for the run to report.
void create_index(IIndexDefinition& definition, DBID& table_id, const std::wstring& table,
                  const udb_index& index, const udb_indexes& indexes, const std::wstring& refusal,
                  bool view_owned, bool& primary_sent, std::vector<udb_index_failure>& failures)
{
    tk_wlog(2, L"Creating index '%s'", index.name);
    std::wstring name = index.name;
    if (name.empty())
    {
        name =
            index.primary ? gen_pk_name(table, view_owned) : gen_idx_name(indexes, index.columns);
    }
    if (!refusal.empty())
    {
        tk_wlog(3, L"Index '%s' has been skipped: %s", name, refusal);
        tk_wlog(2, L"Skip index '%s'", name);
        failures.push_back({table, name, refusal});
        return;
    }
    std::wstring quoted_name = mss_quote_name(name);
    DBID index_id = name_id(quoted_name);
    std::vector<std::wstring> column_names;
    column_names.reserve(index.columns.size());
    std::vector<DBID> column_ids;
    column_ids.reserve(index.columns.size());
    std::vector<DBINDEXCOLUMNDESC> columns;
    for (const std::wstring& column : index.columns)
    {
        column_names.push_back(mss_quote_name(column));
        column_ids.push_back(name_id(column_names.back()));
        columns.push_back(DBINDEXCOLUMNDESC{&column_ids.back(), DBINDEX_COL_ORDER_ASC});
    }
    std::vector<DBPROP> props;
    if (index.primary)
    {
        props.push_back(bool_prop(DBPROP_INDEX_CLUSTERED, true));
        props.push_back(bool_prop(DBPROP_INDEX_PRIMARYKEY, true));
        primary_sent = true;
    }
    else if (index.unique)
    {
        props.push_back(bool_prop(DBPROP_INDEX_UNIQUE, true));
    }
    DBPROPSET set{props.data(), static_cast<ULONG>(props.size()), DBPROPSET_INDEX};
    try
    {
        DBID* created = nullptr;
        odb_check(definition.CreateIndex(&table_id, &index_id,
                                         static_cast<DBORDINAL>(columns.size()), columns.data(), 1,
                                         &set, &created));
        plat::oledb::free_dbid(created);
    }
    catch (const odb_exception& error)
    {
        tk_log(3, "ERROR: %s", error.what());
        failures.push_back({table, name, plat::utf8_to_wide_lossy(error.what())});
    }
}

// A session of its own on the data source, for the table and index definitions.
struct definition_session
{
    ole_com_ptr<IUnknown> session;
    ole_com_ptr<ITableDefinition> tables;
};

definition_session open_definition_session(IDBInitialize* data_source)
{
    if (data_source == nullptr)
    {
        throw tk_mail_assertion("odb_db", 61);
    }
    ole_com_ptr<IDBCreateSession> create;
    odb_check(data_source->QueryInterface(IID_IDBCreateSession, create.put_void()), "odb_db", 61);
    definition_session opened;
    odb_check(create->CreateSession(nullptr, IID_IUnknown, opened.session.put()));
    odb_check(opened.session->QueryInterface(IID_ITableDefinition, opened.tables.put_void()),
              "odb_db", 70);
    return opened;
}

// The table with its columns, through ITableDefinition::CreateTable.
void create_columns(ITableDefinition& table_definition, DBID& table_id, const udb_schema& schema,
                    const udb_indexes& indexes, const mss_target& target, const mss_key_plan& plan)
{
    std::vector<column_request> requests(schema.size());
    std::vector<DBCOLUMNDESC> columns(schema.size());
    for (std::size_t column_idx = 0; column_idx < schema.size(); ++column_idx)
    {
        fill_column(*schema[column_idx], indexes, target, plan.text_units[column_idx],
                    requests[column_idx], columns[column_idx]);
    }
    // Pointed at only now: the requests no longer move.
    for (std::size_t column_idx = 0; column_idx < schema.size(); ++column_idx)
    {
        column_request& request = requests[column_idx];
        request.sets[0].rgProperties = request.props.data();
        request.sets[0].cProperties = static_cast<ULONG>(request.props.size());
        request.sets[1].rgProperties = request.server_props.data();
        request.sets[1].cProperties = static_cast<ULONG>(request.server_props.size());
        columns[column_idx].rgPropertySets = request.sets.data();
        columns[column_idx].cPropertySets = request.server_props.empty() ? 1 : 2;
        if (!request.type_name.empty())
        {
            columns[column_idx].pwszTypeName = request.type_name.data();
        }
    }
    tk_log(2, "Right before creating the table");
    ole_com_ptr<IUnknown> rowset;
    odb_check(table_definition.CreateTable(nullptr, &table_id,
                                           static_cast<DBORDINAL>(columns.size()), columns.data(),
                                           IID_IUnknown, 0, nullptr, nullptr, rowset.put()));
}

// Every index the plan lets through, through IIndexDefinition; true when a primary key was
// among them. The failures are noted for the run to report.
bool create_indexes(IUnknown& session, DBID& table_id, const std::wstring& table,
                    const udb_indexes& indexes, const mss_key_plan& plan, bool view_owned,
                    std::vector<udb_index_failure>& failures)
{
    ole_com_ptr<IIndexDefinition> index_definition;
    odb_check(session.QueryInterface(IID_IIndexDefinition, index_definition.put_void()), "odb_db",
              120);
    bool primary_sent = false;
    for (std::size_t index_idx = 0; index_idx < indexes.size(); ++index_idx)
    {
        create_index(*index_definition.get(), table_id, table, indexes[index_idx], indexes,
                     plan.refusals[index_idx], view_owned, primary_sent, failures);
    }
    return primary_sent;
}

// SQL Azure wants a clustered index on every table: one on the first column that can carry
// it. A failure is only logged; the table is there.
void add_azure_clustered_index(odb_database& database, const udb_schema& schema,
                               const std::wstring& bracketed_table)
{
    tk_log(2, "Building clustered index for SQL Azure");
    const t_ftd* chosen = nullptr;
    for (const t_ftd* column : schema)
    {
        const bool long_kind = column->vartype == VT_BSTR || column->vartype == VT_BLOB;
        if (long_kind && (column->size == 0 || column->size >= 8000))
        {
            tk_wlog(2, L"Field '%s' is not suitable for building index", column->name);
            continue;
        }
        chosen = column;
        break;
    }
    if (chosen == nullptr)
    {
        tk_log(2, "Failed to find a field for building clustered index");
        return;
    }
    const std::wstring sql = L"CREATE CLUSTERED INDEX " +
                             mss_quote_name(chosen->name + L"_clust_idx") + L" ON " +
                             bracketed_table + L"(" + mss_quote_name(chosen->name) + L")";
    tk_wlog(2, L"CLUSTERED-index-query: %s", sql);
    try
    {
        database.query(sql);
    }
    catch (const tk_exception& error)
    {
        tk_log(2, "ERROR: %s", error.what());
    }
}

} // namespace

bool odb_is_identity_column(const t_ftd& column, int version_code)
{
    if (!column.b_auto_num)
    {
        return false;
    }
    switch (column.vartype)
    {
    case VT_I1:
    case VT_I2:
    case VT_I4:
    case VT_INT:
    case VT_UI1:
    case VT_UI2:
    case VT_BOOL:
        return true;
    case VT_UI4:
    case VT_I8:
    case VT_UINT:
        return version_code >= mss_engine::version_2000;
    default:
        return false;
    }
}

void odb_database::define_table(const std::wstring& name, const udb_schema& schema,
                                const udb_indexes& indexes)
{
    const mss_target& target = m_target;
    tk_wlog(2, L"odb_database::create_table(%s, n_indexes=%d)", name, indexes.size());
    const definition_session definitions = open_definition_session(m_data_source.get());
    std::wstring table = mss_bracket_name(name);
    tk_wlog(2, L"Got safe table name: %s", table);
    DBID table_id = name_id(table);

    tk_log(2, "Schema size=%d", schema.size());
    const mss_key_plan plan = mss_plan_keys(schema, indexes, target);
    create_columns(*definitions.tables.get(), table_id, schema, indexes, target, plan);
    tk_log(2, "Right after CreateTable");

    std::vector<udb_index_failure> failures;
    const bool primary_sent = create_indexes(*definitions.session.get(), table_id, name, indexes,
                                             plan, target.view_owned, failures);
    for (udb_index_failure& failure : failures)
    {
        add_index_failure(std::move(failure));
    }
    if (target.version_code == mss_engine::version_azure && !primary_sent)
    {
        add_azure_clustered_index(*this, schema, table);
    }
}

void odb_database::set_def_value(const t_ftd& column, std::vector<DBPROP>& props,
                                 const mss_target& target)
{
    tk_log(1, "odb_database::set_def_value");
    const std::wstring text = column.default_value.to_wstring();
    tk_wlog(1, L"Got default value: '%s'", text);
    DBPROP prop;
    prop.dwPropertyID = DBPROP_COL_DEFAULT;
    prop.dwOptions = DBPROPOPTIONS_REQUIRED;
    if (plat::equal_ci(text, L"CURRENT_TIMESTAMP"))
    {
        tk_log(1, "Special processing for CURRENT_TIMESTAMP");
        prop.vValue.vt = VT_BSTR;
        prop.vValue.bstrVal = text;
        props.push_back(std::move(prop));
        return;
    }
    // An empty text is a default of its own for a text column ('' is not NULL).
    if (text.empty() && !(column.vartype == VT_BSTR && column.default_value.get_type() == VT_BSTR))
    {
        return;
    }
    ole_variant converted;
    try
    {
        converted.from_wstring(text, column.vartype);
    }
    catch (const ole_type_exception&)
    {
        tk_log(2, "Invalid default value");
        return;
    }
    // Text that is no date or decimal reads as an empty value: '' would be 1900-01-01.
    if (converted.get_type() == VT_EMPTY || converted.get_type() == VT_NULL)
    {
        tk_log(2, "Invalid default value");
        return;
    }
    try
    {
        mss_check_value(converted, column, target);
    }
    catch (const udb_value_exception& error)
    {
        // No invented default in its place: the column goes without one, and the log says so.
        tk_log(3, "The default of a column is left out: %s", error.what());
        return;
    }
    const ole_variant& safe = converted;
    std::wstring safe_text = safe.to_wstring();
    if (!ole_variant::is_quoted_vartype(column.vartype))
    {
        tk_wlog(1, L"Got safe default value: %s", safe_text);
        prop.vValue = safe.value;
        if (safe.get_type() == VT_I8)
        {
            prop.vValue.llVal = safe.i64_value;
        }
        else if (safe.get_type() == VT_UI8)
        {
            prop.vValue.ullVal = safe.u64_value;
        }
        else if (safe.get_type() == VT_DECIMAL && !safe.decimal_text.empty())
        {
            // More digits than the VARIANT's decimal holds: the number goes as its own text.
            prop.vValue.clear();
            prop.vValue.vt = VT_BSTR;
            prop.vValue.bstrVal = safe_text;
        }
        props.push_back(std::move(prop));
        return;
    }
    std::wstring literal;
    if (column.vartype == VT_BSTR)
    {
        if (column.size > 0 && static_cast<std::size_t>(column.size) < safe_text.size())
        {
            safe_text.resize(static_cast<std::size_t>(column.size - 1));
            tk_wlog(1, L"Truncate def.value to %d bytes: '%s'", column.size - 1, safe_text);
        }
        tk_wlog(1, L"Got safe default value: %s", safe_text);
        literal = (target.unicode ? L"N'" : L"'") + mss_escape_quotes(safe_text) + L"'";
    }
    else
    {
        tk_wlog(1, L"Got safe default value: %s", safe_text);
        // A date as 'YYYYMMDD hh:mm:ss', read alike under every DATEFORMAT. A time column takes
        // the time of day alone; in a datetime column it stands on 1899-12-30.
        if (safe.get_type() == VT_DATE && column.dw_reserved == t_ftd::time_only &&
            target.has_date_types())
        {
            const SYSTEMTIME time = safe.get_systemtime();
            literal = plat::wformat_w(L"'%02d:%02d:%02d", time.wHour, time.wMinute, time.wSecond);
            if (safe.microseconds != 0)
            {
                literal += plat::wformat_w(L".%03d%03d", time.wMilliseconds, safe.microseconds);
            }
            else if (time.wMilliseconds != 0)
            {
                literal += plat::wformat_w(L".%03d", time.wMilliseconds);
            }
            literal += L"'";
        }
        else if (safe.get_type() == VT_DATE)
        {
            literal = mss_get_fld_append_str(&safe, &column, target);
        }
        else
        {
            try
            {
                literal = to_mssql_str(safe_text, VT_DATE, target.unicode);
            }
            catch (const udb_value_exception& error)
            {
                tk_log(3, "The default of a column is left out: %s", error.what());
                return;
            }
        }
    }
    prop.vValue.vt = VT_BSTR;
    prop.vValue.bstrVal = literal;
    props.push_back(std::move(prop));
}
