// odb_table.cpp: opening a table with the retry under dbo, counting rows, and reading keys,
// indexes and referencing foreign keys from the schema rowsets.
#include "mss/odb_table.h"

#include "mss/mss_names.h"
#include "mss/odb_command.h"
#include "mss/odb_exception.h"
#include "plat/plat_text.h"
#include "tk/tk_logger.h"

#include <algorithm>
#include <limits>

namespace
{

constexpr int code_no_table = 0x80E37;

std::wstring text_at(const udb_record& row, std::size_t column)
{
    return column < row.size() ? row[column]->to_wstring() : std::wstring();
}

bool flag_at(const udb_record& row, std::size_t column)
{
    if (column >= row.size())
    {
        return false;
    }
    const udb_field& field = *row[column];
    if (field.get_type() == VT_BOOL)
    {
        return field.to_bool();
    }
    const std::wstring text = field.to_wstring();
    return text == L"1" || text == L"-1" || plat::equal_ci(text, L"true");
}

// The leading decimal digits of a count; 0 when the text does not begin with one.
std::int64_t leading_number(const std::wstring& text)
{
    std::int64_t value = 0;
    for (const wchar_t c : text)
    {
        if (c < L'0' || c > L'9')
        {
            break;
        }
        if (value > (std::numeric_limits<std::int64_t>::max() - 9) / 10)
        {
            return std::numeric_limits<std::int64_t>::max();
        }
        value = value * 10 + (c - L'0');
    }
    return value;
}

} // namespace

odb_table::odb_table(const std::wstring& name, IOpenRowset* session, int mode,
                     udb_relationships& relationships, const mss_target& target)
    : odb_recordset(name)
    , m_relationships(&relationships)
    , m_mode(mode)
    , m_view_owned(target.view_owned)
{
    tk_wlog(2, L"odb_table::odb_table(%s,%d)", name, mode);
    m_session.share(session);
    open();
}

odb_table::odb_table(const std::wstring& name, const std::wstring& query, IOpenRowset* session,
                     int mode, udb_relationships& relationships, const mss_target& target)
    : odb_recordset(name)
    , m_relationships(&relationships)
    , m_mode(mode)
    , m_view_owned(target.view_owned)
{
    tk_wlog(2, L"odb_table::odb_table(%s,%d)", name, mode);
    set_query(query);
    m_session.share(session);
    open();
}

odb_table::~odb_table()
{
    tk_log(2, "odb_table::dtor");
}

void odb_table::open()
{
    if (m_mode == mode_new_table)
    {
        return;
    }
    const bool read_only = (m_mode & udb_table_mode::read_only) != 0;
    try
    {
        internal_initialize(m_session.get(), read_only);
    }
    catch (const odb_exception& error)
    {
        if (error.code() != code_no_table || !query().empty())
        {
            throw;
        }
        tk_log(2, "Got table_not_exists error");
        std::wstring table;
        std::wstring owner;
        mss_split_tab_name(name(), table, owner, m_view_owned);
        set_name(L"[dbo]." + mss_quote_name(table));
        tk_wlog(2, L"Creating %s", name());
        internal_initialize(m_session.get(), read_only);
    }
    set_record_count(get_records_cnt());
    tk_log(2, "Got %d records", record_count());
}

std::wstring odb_table::count_sql(const std::wstring& name, const std::wstring& query)
{
    // COUNT_BIG: COUNT overflows past 2^31 - 1 rows and fails the statement.
    if (!query.empty())
    {
        return L"SELECT COUNT_BIG(*) FROM (" + query + L") as query";
    }
    return L"SELECT COUNT_BIG(*) FROM " + mss_bracket_name(name);
}

std::int64_t odb_table::get_records_cnt()
{
    tk_log(2, "odb_table::get_records_cnt");
    odb_command command(m_session.get());
    ole_com_ptr<IRowset> rowset;
    command.execute(count_sql(name(), query()), rowset.put());
    if (!rowset)
    {
        return 0;
    }
    odb_recordset result(rowset.get());
    result.reset();
    if (result.is_eof())
    {
        return 0;
    }
    return leading_number(text_at(*result.get_item(), 0));
}

void odb_table::init_indexes(const std::wstring& table, const std::wstring& owner)
{
    tk_wlog(2, L"odb_table::init_indexes(%s,%s)", table, owner);
    {
        odb_pk_meta_data keys(m_session.get(), table, owner);
        std::wstring key_name;
        std::vector<std::wstring> key_columns;
        for (keys.reset(); !keys.is_eof(); keys.next())
        {
            const udb_record& row = *keys.get_item();
            const std::wstring row_key = text_at(row, 7);
            if (key_columns.empty())
            {
                key_name = row_key;
                tk_wlog(2, L"Got pr.key: %s", key_name);
            }
            else if (row_key != key_name)
            {
                throw tk_mail_assertion("mss_tab", 352);
            }
            key_columns.push_back(text_at(row, 3));
        }
        if (!key_columns.empty())
        {
            add_index(udb_index(key_name, true, true, key_columns));
        }
    }
    {
        odb_fk_meta_data keys(m_session.get(), table, owner);
        for (keys.reset(); !keys.is_eof(); keys.next())
        {
            const udb_record& row = *keys.get_item();
            const std::wstring fk_name = text_at(row, 16);
            const std::wstring pk_column = text_at(row, 3);
            const std::wstring fk_column = text_at(row, 9);
            if (m_relationships->is_acceptable_name(fk_name))
            {
                tk_wlog(2, L"GOT FOREIGN KEY: %s", fk_name);
                const std::wstring update_rule = text_at(row, 13);
                const std::wstring delete_rule = text_at(row, 14);
                tk_wlog(2, L"update rule=%s, delete_rule=%s", update_rule, delete_rule);
                std::wstring rules;
                if (!update_rule.empty())
                {
                    rules += L" ON UPDATE " + update_rule;
                }
                if (!delete_rule.empty())
                {
                    rules += L" ON DELETE " + delete_rule;
                }
                m_relationships->push_back(udb_relationship(fk_name, text_at(row, 15),
                                                            text_at(row, 8), text_at(row, 2), rules,
                                                            {fk_column}, {pk_column}));
                continue;
            }
            // A key over several columns arrives as one row per column pair.
            std::vector<udb_relationship> items = m_relationships->items();
            for (udb_relationship& item : items)
            {
                if (plat::equal_ci(item.name, fk_name))
                {
                    item.columns.push_back(fk_column);
                    item.referenced_columns.push_back(pk_column);
                    break;
                }
            }
            m_relationships->clear();
            for (const udb_relationship& item : items)
            {
                m_relationships->push_back(item);
            }
        }
    }
    odb_id_meta_data index_rows(m_session.get(), table, owner);
    for (index_rows.reset(); !index_rows.is_eof(); index_rows.next())
    {
        const udb_record& row = *index_rows.get_item();
        const std::wstring index_name = text_at(row, 5);
        const std::wstring column = text_at(row, 17);
        if (indexes().is_acceptable_name(index_name))
        {
            tk_wlog(2, L"Got index: %s", index_name);
            add_index(udb_index(index_name, flag_at(row, 7), flag_at(row, 6), {column}));
            continue;
        }
        udb_index& index = indexes().get_index(index_name);
        if (index.primary)
        {
            tk_log(1, "Skip Primary Key DoubleInitialization");
            continue;
        }
        index.columns.push_back(column);
    }
}
