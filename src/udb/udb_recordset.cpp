// udb_recordset.cpp: the recordset's default slots, row conversion and key-index bookkeeping.
#include "udb/udb_recordset.h"

#include "tk/tk_logger.h"

#include <algorithm>
#include <utility>

udb_recordset::udb_recordset(const std::wstring& name, int schema_tag)
    : m_name(name)
    , m_schema(schema_tag)
{
}

udb_recordset::~udb_recordset() = default;

void udb_recordset::check_duplicate(const udb_record&) {}

void udb_recordset::update(udb_record&)
{
    tk_log(1, "udb_recordset::update");
}

udb_record* udb_recordset::get_item()
{
    return nullptr;
}

bool udb_recordset::is_eof()
{
    return true;
}

bool udb_recordset::is_query() const
{
    return !m_query.empty();
}

void udb_recordset::next() {}

void udb_recordset::row_taken() {}

void udb_recordset::reset() {}

void udb_recordset::flush() {}

void udb_recordset::convert_record(udb_record& record) const
{
    tk_log(1, "udb_recordset::convert_record");
    // The caller has matched the counts; stopping at the shorter list keeps a mismatch from
    // reading past the schema.
    const std::size_t count = std::min(record.size(), m_schema.size());
    for (std::size_t position = 0; position < count; ++position)
    {
        udb_field* field = record[position].get();
        const t_ftd* column = m_schema[position];
        if (field == nullptr || column == nullptr)
        {
            continue;
        }
        tk_wlog(1, L"from=%s, to=%s", field->name(), column->name);
        field->change_type(column->vartype);
    }
}

void udb_recordset::add_index(const udb_index& index)
{
    tk_wlog(1, L"udb_recordset::add_index (%s)", index.name);
    // A name the list holds already is not offered: the readers that meet one index twice call
    // the list's own merge.
    if (!m_indexes.is_acceptable_name(index.name))
    {
        return;
    }
    const std::size_t position = m_indexes.size();
    m_indexes.push_back(index);
    if (m_key_index == -1 && (index.primary || index.unique))
    {
        tk_log(1, "Store primary/unique key");
        m_key_index = static_cast<int>(position);
    }
}

t_ftd& udb_recordset::add_column(std::unique_ptr<t_ftd> column)
{
    return m_schema.adopt(std::move(column));
}

std::vector<std::int32_t> udb_recordset::longest_text(const std::vector<std::wstring>& columns)
{
    return std::vector<std::int32_t>(columns.size(), -1);
}

udb_column_measures udb_recordset::measure_columns(const std::vector<std::wstring>& text_columns,
                                                   const std::vector<std::wstring>& decimal_columns)
{
    udb_column_measures measures;
    if (!text_columns.empty())
    {
        measures.longest_units = longest_text(text_columns);
    }
    measures.decimals.resize(decimal_columns.size());
    return measures;
}
