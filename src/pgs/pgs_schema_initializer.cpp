// pgs_schema_initializer.cpp: column names, flags and defaults of a new table; CREATE TABLE.
#include "pgs/pgs_schema_initializer.h"

#include "pgs/pgs_engine.h"
#include "pgs/pgs_exception.h"
#include "pgs/pgs_write_types.h"
#include "tk/tk_logger.h"
#include "tk/tk_string.h"
#include "udb/udb_custom_conversion.h"

#include <memory>
#include <pqxx/transaction>

std::wstring pgs_column_name(const std::wstring& name)
{
    return pgs_quote_ident(pgs_engine::instance().fold_name(name));
}

pgs_schema_initializer::pgs_schema_initializer(const std::wstring& table_name,
                                               const udb_schema& source_schema,
                                               const udb_indexes& source_indexes)
    : m_table_name(table_name)
    , m_schema(1)
    , m_validator(source_schema)
{
    tk_log(2, "pgs_schema_initializer::ctor");
    for (const t_ftd* source : source_schema)
    {
        std::wstring name = source->name;
        if (!m_validator.is_acceptable(name))
        {
            name = m_validator.get_safe_name(name);
            tk_wlog(2, L"Incorrect column name, replace: '%s'=>'%s'", source->name, name);
        }
        bool not_null = source->b_auto_num || source->b_not_null;
        if (!not_null && source_indexes.is_idx_field(source->name, true))
        {
            tk_log(2, "Field is a part of Primary Key");
            not_null = true;
        }
        m_schema.adopt(std::make_unique<t_ftd>(
            source->size, name, source->vartype, not_null, source->b_auto_num,
            source->b_auto_num ? ole_variant() : source->default_value, source->dw_reserved, L""));
        if (name != source->name)
        {
            tk_wlog(2, L"Store generated column safe-name '%s'", name);
            m_validator.add_existing_name(name);
            m_validator.add_mapped_pair(source->name, name);
        }
        m_validator.add_used_name(name);
        if (source->b_auto_num)
        {
            m_auto_num_column = name;
        }
    }
}

std::wstring pgs_schema_initializer::create_table_sql() const
{
    std::wstring sql = L"CREATE TABLE " + make_name(m_table_name) + L" (";
    for (std::size_t position = 0; position < m_schema.size(); ++position)
    {
        const t_ftd& column = *m_schema[position];
        if (position != 0)
        {
            sql += L", ";
        }
        sql += pgs_column_name(column.name) + L" ";
        sql += udb_custom_conversion::is_acceptable1(column)
                   ? udb_custom_conversion::handle1(column)
                   : pgs_column_type(column);
        const std::wstring default_value = make_pgs_def_val(column);
        tk_wlog(1, L"got def value: %s", default_value);
        const bool unbounded = column.size == 0 || column.size > pgs_max_sized_column;
        if (!default_value.empty() &&
            !(unbounded && (column.vartype == VT_BSTR || column.vartype == VT_BLOB)))
        {
            sql += L" DEFAULT " + default_value;
        }
        if (column.b_not_null)
        {
            sql += L" NOT NULL";
        }
    }
    // No WITH OIDS: PostgreSQL 12 and later refuse it.
    return sql + L")";
}

void pgs_schema_initializer::get_init_str() const
{
    tk_log(1, "pgs_schema_initializer::get_init_str(n_columns=%d)",
           static_cast<int>(m_schema.size()));
    const std::wstring sql = create_table_sql();
    tk_wlog(2, L"Build table query:\n%s", sql);
    pgs_checked(
        [&]
        {
            pqxx::work transaction(pgs_engine::instance().connection(), "build_schema");
            transaction.exec(tk_string::to_utf8(sql));
            transaction.commit();
        },
        "Cannot create table: " + tk_string::to_ansi(sql) + ". ");
}
