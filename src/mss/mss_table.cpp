// mss_table.cpp: the table writer's construction, what an existing table's catalog says of it
// (defaults, identity, decimal sizes, keys), updates by key, and the writers the destination
// database hands out.
#include "mss/mss_table.h"

#include "mss/mss_database.h"
#include "mss/mss_engine.h"
#include "mss/mss_names.h"
#include "mss/mss_table_hook.h"
#include "mss/odb_database.h"
#include "mss/odb_exception.h"
#include "ole/ole_date.h"
#include "ole/ole_exception.h"
#include "plat/oledb/oledb_link.h"
#include "plat/plat_fmt.h"
#include "plat/plat_text.h"
#include "tk/tk_logger.h"

#include <algorithm>

namespace
{

// Result columns of sp_columns, counted from 0.
constexpr std::size_t sp_table_owner = 1;
constexpr std::size_t sp_table_name = 2;
constexpr std::size_t sp_column_name = 3;
constexpr std::size_t sp_type_name = 5;
constexpr std::size_t sp_precision = 6;
constexpr std::size_t sp_scale = 8;
constexpr std::size_t sp_column_def = 12;

std::wstring text_at(const udb_record& row, std::size_t column)
{
    return column < row.size() ? row[column]->to_wstring() : std::wstring();
}

int number_at(const udb_record& row, std::size_t column, std::size_t from = 0)
{
    int value = 0;
    const std::wstring text = text_at(row, column);
    for (const wchar_t c : std::wstring_view(text).substr(std::min(from, text.size())))
    {
        if (c < L'0' || c > L'9' || value > 100000)
        {
            break;
        }
        value = value * 10 + (c - L'0');
    }
    return value;
}

// A catalog number that may be negative (a length of -1 for max); 0 when there is none.
int signed_at(const udb_record& row, std::size_t column)
{
    const std::wstring text = text_at(row, column);
    return text.starts_with(L'-') ? -number_at(row, column, 1) : number_at(row, column);
}

bool quoted(const std::wstring& text)
{
    return text.size() >= 2 && text.front() == L'\'' && text.back() == L'\'';
}

} // namespace

mss_table::mss_table(const std::wstring& name, IOpenRowset* session, const udb_schema& schema,
                     udb_relationships& relationships, const mss_target& target)
    : odb_table(name, session, mode_new_table, relationships, target)
    , m_target(target)
    , m_fast_load(target.fast_load)
{
    tk_wlog(2, L"mss_table::ctor3(%s)", name);
    for (const t_ftd* column : schema)
    {
        add_column(column->clone());
    }
    find_identity(true);
}

mss_table::mss_table(const std::wstring& name, IOpenRowset* session, int mode,
                     udb_relationships& relationships, const mss_target& target)
    : odb_table(name, session, mode, relationships, target)
    , m_target(target)
    , m_fast_load(target.fast_load)
{
    tk_wlog(2, L"mss_table::ctor1(%s)", name);
    init_schema();
    read_indexes(mode);
    if ((mode & udb_table_mode::read_only) == 0)
    {
        find_identity(false);
        read_constraints();
    }
}

mss_table::mss_table(const std::wstring& name, const std::wstring& query, IOpenRowset* session,
                     int mode, udb_relationships& relationships, const mss_target& target)
    : odb_table(name, query, session, mode, relationships, target)
    , m_target(target)
    , m_fast_load(target.fast_load)
{
    tk_wlog(2, L"mss_table::ctor2(%s)", name);
}

void mss_table::find_identity(bool created)
{
    for (std::size_t column_idx = 0; column_idx < schema().size(); ++column_idx)
    {
        const t_ftd& column = *schema()[column_idx];
        // Table creation makes identity columns of some kinds only; identity insertion on a table
        // without identity would fail every row.
        if (column.b_auto_num &&
            (!created || odb_is_identity_column(column, m_target.version_code)))
        {
            tk_log(2, "Auto-increment found: field #%d", column_idx);
            m_has_identity = true;
            m_identity_column = static_cast<int>(column_idx);
            return;
        }
    }
}

void mss_table::read_indexes(int mode)
{
    if ((mode & udb_table_mode::skip_indexes) == udb_table_mode::skip_indexes)
    {
        return;
    }
    if (m_target.version_code == mss_engine::version_azure)
    {
        tk_log(2, "Skip init_indexes for SQL Azure");
        return;
    }
    std::wstring table;
    std::wstring owner;
    mss_split_tab_name(name(), table, owner, m_target.view_owned);
    // A catalog value that has no form in its column (a driver's -1 for an unknown count, say)
    // is a failure of reading like any other: the table goes on with what was read.
    const auto skip = [](const tk_exception& error)
    { tk_log(2, "Error while init_indexes: %s", error.what()); };
    try
    {
        init_indexes(table, owner);
    }
    catch (const odb_exception& error)
    {
        // A server that is gone, or that did not answer (a lock held by another session), is
        // no table without indexes: the load could not go on either.
        if (error.connection_lost())
        {
            throw;
        }
        skip(error);
    }
    catch (const ole_type_exception& error)
    {
        skip(error);
    }
    catch (const ole_cast_exception& error)
    {
        skip(error);
    }
}

void mss_table::read_constraints()
{
    if (m_target.version_code < mss_engine::version_2005)
    {
        return;
    }
    const std::wstring table_literal = L"N'" + mss_escape_quotes(name()) + L"'";
    const std::wstring sql =
        L"SELECT (SELECT COUNT(*) FROM sys.check_constraints WHERE parent_object_id = "
        L"OBJECT_ID(" +
        table_literal +
        L")), (SELECT COUNT(*) FROM sys.foreign_keys WHERE parent_object_id = OBJECT_ID(" +
        table_literal + L"))";
    try
    {
        ole_com_ptr<IRowset> rowset;
        command().execute(sql, rowset.put());
        if (!rowset)
        {
            return;
        }
        odb_recordset rows(rowset.get());
        rows.reset();
        if (rows.is_eof())
        {
            return;
        }
        const udb_record& row = *rows.get_item();
        const int checks = number_at(row, 0);
        const int foreign_keys = number_at(row, 1);
        tk_wlog(2, L"%s has %d check constraints and %d foreign keys", name(), checks,
                foreign_keys);
        m_check_constraints = checks > 0 && foreign_keys == 0;
    }
    catch (const odb_exception& error)
    {
        if (error.connection_lost())
        {
            throw;
        }
        // Not known: the rows are loaded as into a table without constraints.
        tk_log(2, "Error while reading the constraints: %s", error.what());
    }
}

void mss_table::init_schema()
{
    tk_log(2, "mss_table::init_schema");
    std::wstring table;
    std::wstring owner;
    mss_split_tab_name(name(), table, owner, m_target.view_owned);
    std::wstring sql = L"EXEC sp_columns @table_name=" + mss_quote_name(table);
    if (!owner.empty())
    {
        sql += L", @table_owner=" + mss_quote_name(owner);
    }
    ole_com_ptr<IRowset> rowset;
    command().execute(sql, rowset.put());
    if (!rowset)
    {
        return;
    }
    odb_recordset rows(rowset.get());
    for (rows.reset(); !rows.is_eof(); rows.next())
    {
        const udb_record& row = *rows.get_item();
        // The procedure reads its arguments as LIKE patterns: "t_1" also brings the columns of
        // a table "tx1".
        if (!plat::equal_ci(text_at(row, sp_table_name), table) ||
            (!owner.empty() && !plat::equal_ci(text_at(row, sp_table_owner), owner)))
        {
            continue;
        }
        const std::wstring column_name = text_at(row, sp_column_name);
        const std::wstring type_name = text_at(row, sp_type_name);
        tk_wlog(2, L"Got field name/type: %s/%s", column_name, type_name);
        const int column_idx = schema().get_field_idx(column_name);
        if (column_idx < 0)
        {
            continue;
        }
        t_ftd& column = *schema()[static_cast<std::size_t>(column_idx)];
        const std::wstring default_text = text_at(row, sp_column_def);
        if (!default_text.empty())
        {
            // Any default, one this writer cannot read as a value too (getdate()), fills the
            // column when the source has no such column.
            m_server_default.resize(schema().size(), false);
            m_server_default[static_cast<std::size_t>(column_idx)] = true;
            tk_wlog(2, L"Got default string: %s", default_text);
            ole_variant value = get_def_value(column, default_text);
            const std::wstring value_text = value.to_wstring();
            tk_wlog(2, L"Got default variant: %s", value_text);
            if (column.vartype == VT_BSTR && column.size > 0 &&
                static_cast<std::size_t>(column.size) < value_text.size())
            {
                tk_wlog(2, L"Def.value '%s' is out of range", value_text);
                continue;
            }
            column.default_value = std::move(value);
        }
        column.b_auto_num = type_name.ends_with(L"identity");
        if (column.vartype == VT_DECIMAL)
        {
            // PRECISION, not LENGTH: a numeric's LENGTH is its precision + 2.
            column.dw_reserved =
                t_ftd::make_precision_scale(number_at(row, sp_precision), number_at(row, sp_scale));
            tk_log(1, ">>> reserved=%d", column.dw_reserved);
        }
    }
    read_column_types(L"N'" + mss_escape_quotes(name()) + L"'");
}

void mss_table::read_column_types(const std::wstring& table_literal)
{
    // sp_columns names an alias type, not the system type that decides what a column holds,
    // and no collation.
    const std::wstring sql =
        L"SELECT c.name, TYPE_NAME(c.system_type_id), c.scale, c.max_length, "
        L"CAST(COLLATIONPROPERTY(c.collation_name, 'CodePage') AS int), c.precision FROM "
        L"sys.columns AS c "
        L"WHERE c.object_id = OBJECT_ID(" +
        table_literal + L")";
    ole_com_ptr<IRowset> rowset;
    command().execute(sql, rowset.put());
    if (!rowset)
    {
        return;
    }
    odb_recordset rows(rowset.get());
    for (rows.reset(); !rows.is_eof(); rows.next())
    {
        const udb_record& row = *rows.get_item();
        const int column_idx = schema().get_field_idx(text_at(row, 0));
        if (column_idx < 0)
        {
            continue;
        }
        mss_column_type type;
        type.name = text_at(row, 1);
        plat::ascii_lower(type.name);
        type.scale = signed_at(row, 2);
        type.max_length = signed_at(row, 3);
        type.code_page = signed_at(row, 4);
        type.precision = signed_at(row, 5);
        tk_wlog(2, L"Column %s is %s, scale %d, length %d, code page %d", text_at(row, 0),
                type.name, type.scale, type.max_length, type.code_page);
        m_column_types.resize(schema().size());
        m_column_types[static_cast<std::size_t>(column_idx)] = std::move(type);
    }
}

ole_variant mss_table::get_def_value(const t_ftd& column, const std::wstring& source)
{
    tk_wlog(2, L"mss_table::get_def_value(type=0x%08X, src='%s')", column.vartype, source);
    std::wstring text = source;
    if (text.starts_with(L'('))
    {
        const std::size_t opening = std::min(text.find_first_not_of(L'('), text.size());
        const std::size_t size = text.size() >= 2 * opening ? text.size() - 2 * opening : 0;
        tk_log(1, "Before removing round brackets, pos0=%d, size=%d", opening, size);
        text = text.substr(opening, size);
        tk_wlog(1, L"mss_table::get_def_value - buf=[%s]", text);
    }
    // A national text literal N'...': the N is no part of the value.
    if (text.size() > 2 && text.front() == L'N' && quoted(text.substr(1)))
    {
        text.erase(0, 1);
    }
    // Two characters too: the empty text literal '' is an empty text, not two apostrophes.
    if (quoted(text))
    {
        text = text.substr(1, text.size() - 2);
    }
    if (column.vartype == VT_DATE)
    {
        if (quoted(text))
        {
            text = text.substr(1, text.size() - 2);
        }
        const ole_date date(text);
        return date.is_valid() ? date.to_variant() : ole_variant();
    }
    if (text.size() > 1)
    {
        for (std::size_t pos = text.find(L"''"); pos != std::wstring::npos;
             pos = text.find(L"''", pos + 1))
        {
            text.erase(pos, 1);
        }
    }
    try
    {
        ole_variant value;
        value.from_wstring(text, column.vartype);
        return value;
    }
    catch (const ole_type_exception&)
    {
        return {};
    }
    catch (const ole_cast_exception&)
    {
        return {};
    }
}

namespace
{

// The collation that compares text by its code points, case and accents included (trailing
// blanks are still ignored: the lengths are compared besides).
constexpr const wchar_t* binary_collation = L"Latin1_General_100_BIN2";

// The WHERE item that finds the stored row whose key column holds exactly `literal`. A
// varchar or nvarchar key compares by code points and length, so that 'a ' is not 'a' and 'A'
// not 'a' whatever the column's collation; a char or nchar key is padded with blanks by
// nature, so a text ending in a blank has no stored row that is exactly it; other keys compare
// by value.
std::wstring key_item(const std::wstring& quoted_column, const std::wstring& literal,
                      const std::wstring& literal_text, const std::wstring& key_type)
{
    const std::wstring equal = quoted_column + L"=" + literal;
    if (key_type.empty() || literal == L"NULL")
    {
        return equal;
    }
    const std::wstring binary = quoted_column + L" COLLATE " + binary_collation + L" = " + literal;
    if (key_type.starts_with(L"char") || key_type.starts_with(L"nchar"))
    {
        return literal_text.ends_with(L' ') ? L"1 = 0" : binary;
    }
    return binary + L" AND DATALENGTH(" + quoted_column + L") = DATALENGTH(CAST(" + literal +
           L" AS " + key_type + L"))";
}

// The SET and WHERE lists of an UPDATE by key from the record's fields that the schema has;
// `loose_key_list` compares the key as the server does.
void update_lists(const udb_schema& schema, const std::vector<std::wstring>& key_columns,
                  const std::vector<std::wstring>& key_types, const udb_record& record,
                  const mss_target& target, std::wstring& set_list, std::wstring& key_list,
                  std::wstring* loose_key_list = nullptr)
{
    for (const std::unique_ptr<udb_field>& field : record)
    {
        tk_wlog(1, L"Process field: %s", field->name());
        const int column_idx = schema.get_field_idx(field->name());
        if (column_idx < 0)
        {
            tk_wlog(2, L"Field '%s' is not found in schema", field->name());
            continue;
        }
        const t_ftd* column = schema[static_cast<std::size_t>(column_idx)];
        const std::wstring quoted_column = mss_quote_name(column->name);
        const std::wstring literal = mss_get_fld_append_str(field.get(), column, target);
        const auto key = std::find(key_columns.begin(), key_columns.end(), column->name);
        if (key == key_columns.end())
        {
            tk_wlog(1, L"Field %s is NOT a part of UKey", field->name());
            set_list += (set_list.empty() ? L"" : L", ") + quoted_column + L"=" + literal;
        }
        else
        {
            tk_wlog(1, L"Field %s is a part of UKey", field->name());
            const std::size_t key_idx = static_cast<std::size_t>(key - key_columns.begin());
            const std::wstring key_type =
                key_idx < key_types.size() ? key_types[key_idx] : std::wstring();
            key_list += (key_list.empty() ? L"" : L" AND ") +
                        key_item(quoted_column, literal, field->to_wstring(), key_type);
            if (loose_key_list != nullptr)
            {
                *loose_key_list +=
                    (loose_key_list->empty() ? L"" : L" AND ") + quoted_column + L"=" + literal;
            }
        }
    }
}

} // namespace

std::wstring mss_table::update_sql(const std::wstring& table, const udb_schema& schema,
                                   const std::vector<std::wstring>& key_columns,
                                   const udb_record& record, const mss_target& target,
                                   const std::vector<std::wstring>& key_types)
{
    std::wstring set_list;
    std::wstring key_list;
    update_lists(schema, key_columns, key_types, record, target, set_list, key_list);
    if (key_list.empty())
    {
        return {};
    }
    if (set_list.empty())
    {
        // Nothing to change: whether a row has the key is all there is to know.
        return L"SELECT COUNT(*) FROM " + table + L" WHERE " + key_list;
    }
    return L"UPDATE " + table + L" SET " + set_list + L" WHERE " + key_list;
}

std::wstring mss_table::key_match_sql(const std::wstring& table, const udb_schema& schema,
                                      const std::vector<std::wstring>& key_columns,
                                      const udb_record& record, const mss_target& target,
                                      const std::vector<std::wstring>& key_types)
{
    std::wstring set_list;
    std::wstring key_list;
    std::wstring loose_key_list;
    update_lists(schema, key_columns, key_types, record, target, set_list, key_list,
                 &loose_key_list);
    if (key_list.empty())
    {
        return {};
    }
    return L"SELECT COUNT(*), SUM(CASE WHEN " + key_list + L" THEN 1 ELSE 0 END) FROM " + table +
           L" WHERE " + loose_key_list;
}

std::vector<std::wstring> mss_table::key_types(const std::vector<std::wstring>& key_columns) const
{
    std::vector<std::wstring> types;
    for (const std::wstring& key : key_columns)
    {
        const int column_idx = schema().get_field_idx(key);
        std::wstring type;
        if (column_idx >= 0)
        {
            const auto idx = static_cast<std::size_t>(column_idx);
            const t_ftd& column = *schema()[idx];
            if (idx < m_column_types.size() && !m_column_types[idx].name.empty())
            {
                const mss_column_type& known = m_column_types[idx];
                const bool wide = known.name == L"nvarchar" || known.name == L"nchar";
                if (wide || known.name == L"varchar" || known.name == L"char")
                {
                    type = known.name + (known.max_length < 0
                                             ? std::wstring(L"(max)")
                                             : plat::wformat_w(L"(%d)", wide ? known.max_length / 2
                                                                             : known.max_length));
                }
            }
            else if (column.vartype == VT_BSTR)
            {
                // A table this writer created: text columns are nvarchar (or a GUID's type).
                type = get_mss_native_type1(column, false, m_target);
                while (!type.empty() && type.back() == L' ')
                {
                    type.pop_back();
                }
                if (!type.starts_with(L"nvarchar"))
                {
                    type.clear();
                }
            }
        }
        types.push_back(type);
    }
    return types;
}

mss_table::key_match mss_table::match_key(const udb_record& record)
{
    if (key_index() < 0)
    {
        return key_match::unknown;
    }
    const std::vector<std::wstring>& key_columns =
        indexes()[static_cast<std::size_t>(key_index())].columns;
    const std::vector<std::wstring> types = key_types(key_columns);
    // Keys that compare by value are equal only when they are the same.
    if (std::all_of(types.begin(), types.end(),
                    [](const std::wstring& type) { return type.empty(); }))
    {
        return key_match::unknown;
    }
    const std::wstring sql = key_match_sql(name(), schema(), key_columns, record, m_target, types);
    if (sql.empty())
    {
        return key_match::unknown;
    }
    tk_wlog(2, L"KEY QUERY: %s", sql);
    ole_com_ptr<IRowset> rowset;
    command().execute(sql, rowset.put());
    if (!rowset)
    {
        return key_match::unknown;
    }
    odb_recordset rows(rowset.get());
    rows.reset();
    if (rows.is_eof())
    {
        return key_match::unknown;
    }
    const udb_record& row = *rows.get_item();
    if (number_at(row, 1) > 0)
    {
        return key_match::exact;
    }
    return number_at(row, 0) > 0 ? key_match::only_equal : key_match::none;
}

odb_exception mss_table::only_equal_key(const udb_record& record) const
{
    std::wstring key_text;
    if (key_index() >= 0)
    {
        for (const std::wstring& key : indexes()[static_cast<std::size_t>(key_index())].columns)
        {
            key_text += (key_text.empty() ? L"" : L", ") + key + L"='" +
                        record.get_field(key).to_wstring() + L"'";
        }
    }
    return odb_exception(plat::wformat_w(
        L"The row's key (%s) only compares equal to the key of a stored row of %s (by trailing "
        L"blanks or the column's collation); it is another key, so the stored row was left as "
        L"it is and this row was not written.",
        key_text, name()));
}

void mss_table::check_duplicate(const udb_record& record)
{
    tk_log(2, "mss_table::check_duplicate");
    key_match match = key_match::unknown;
    try
    {
        match = match_key(record);
    }
    catch (const odb_exception& error)
    {
        if (error.connection_lost())
        {
            lose_with_rows(error);
        }
        throw;
    }
    if (match == key_match::only_equal)
    {
        throw only_equal_key(record);
    }
}

void mss_table::lose_with_rows(const odb_exception& error)
{
    if (m_loader && m_loader->commit_running())
    {
        // The rows of the running commit are the load's to settle when it is waited for.
        throw mss_connection_lost(error, 0, 0);
    }
    throw lose_rows(error, false, 0);
}

void mss_table::update(udb_record& record)
{
    try
    {
        update_row(record);
    }
    catch (const odb_exception& error)
    {
        if (error.connection_lost())
        {
            lose_with_rows(error);
        }
        throw;
    }
}

void mss_table::update_row(udb_record& record)
{
    tk_log(2, "mss_table::update");
    // The run asked for this row to replace the one it conflicts with: a row that does not
    // stand as asked afterwards is reported, never dropped in silence.
    if (key_index() < 0)
    {
        tk_log(2, "There's no primary/unique key");
        throw odb_exception(plat::wformat_w(
            L"The row conflicts with a row of %s and cannot replace it: the table has no primary "
            L"key or unique index.",
            name()));
    }
    const std::vector<std::wstring>& key_columns =
        indexes()[static_cast<std::size_t>(key_index())].columns;
    const std::wstring sql =
        update_sql(name(), schema(), key_columns, record, m_target, key_types(key_columns));
    tk_wlog(2, L"UPDATE QUERY: %s", sql);
    if (sql.empty())
    {
        tk_log(2, "Missing primary/unique key");
        throw odb_exception(plat::wformat_w(
            L"The row conflicts with a row of %s and cannot replace it: it has no value for the "
            L"table's key.",
            name()));
    }
    for (const std::wstring& key : key_columns)
    {
        if (!record.find_field(key))
        {
            throw odb_exception(plat::wformat_w(
                L"The row conflicts with a row of %s and cannot replace it: it has no value for "
                L"the key column %s.",
                name(), key));
        }
    }
    std::int64_t changed = -1;
    if (sql.starts_with(L"SELECT "))
    {
        ole_com_ptr<IRowset> rowset;
        command().execute(sql, rowset.put());
        // Without an answer the key is not known to be there: the row is reported, not taken
        // for done.
        changed = 0;
        if (rowset)
        {
            odb_recordset rows(rowset.get());
            rows.reset();
            changed = rows.is_eof() ? 0 : number_at(*rows.get_item(), 0);
        }
    }
    else
    {
        changed = command().execute_counted(sql);
    }
    if (changed == 0)
    {
        // No row has exactly its key: one whose key only compares equal is another row, which
        // this one must not overwrite.
        if (match_key(record) == key_match::only_equal)
        {
            throw only_equal_key(record);
        }
        throw odb_exception(plat::wformat_w(
            L"The row conflicts with a row of %s on another unique index than the key; no row "
            L"has its key, so none was updated.",
            name()));
    }
}

odb_command& mss_table::command()
{
    if (!m_command)
    {
        m_command = std::make_unique<odb_command>(session());
        // Every statement of the writer is about rows (the table's columns, a key looked up, a
        // row inserted or updated, identity insertion switched): none may wait for ever on a
        // server that stopped answering. Indexes are created elsewhere, without a limit.
        m_command->set_time_limit(plat::oledb::answer_limit_seconds());
    }
    return *m_command;
}

std::unique_ptr<odb_table> mss_new_table_writer(const std::wstring& name, IOpenRowset* session,
                                                const udb_schema& schema, mss_database& database)
{
    return std::make_unique<mss_table>(name, session, schema, database.relationships(),
                                       database.target());
}

std::unique_ptr<odb_table> mss_open_table_writer(const std::wstring& name, IOpenRowset* session,
                                                 int mode, mss_database& database)
{
    try
    {
        return std::make_unique<mss_table>(name, session, mode, database.relationships(),
                                           database.target());
    }
    catch (const mss_connection_lost&)
    {
        throw;
    }
    catch (const odb_exception& error)
    {
        // Lost, or silent (a lock held by another session on the table), before any row: the
        // table ends as it would with rows, none of them stored.
        if (error.connection_lost())
        {
            throw mss_connection_lost(error, 0, 0);
        }
        throw;
    }
}

std::unique_ptr<odb_table> mss_open_query(const std::wstring& name, const std::wstring& query,
                                          IOpenRowset* session, int mode, mss_database& database)
{
    return std::make_unique<mss_table>(name, query, session, mode, database.relationships(),
                                       database.target());
}
