// pgs_indexes_initializer.cpp: choosing the indexes of a new table; DROP and CREATE INDEX.
#include "pgs/pgs_indexes_initializer.h"

#include "pgs/pgs_engine.h"
#include "pgs/pgs_exception.h"
#include "pgs/pgs_schema_initializer.h"
#include "pgs/pgs_types.h"
#include "pgs/pgs_validator.h"
#include "pgs/pgs_write_types.h"
#include "tk/tk_logger.h"
#include "tk/tk_string.h"

#include <pqxx/transaction>

pgs_indexes_initializer::pgs_indexes_initializer(const std::wstring& table_name,
                                                 const udb_schema& new_schema,
                                                 const udb_indexes& source_indexes,
                                                 const t_names_map& renamings)
    : m_table_name(table_name)
    , m_schema(&new_schema)
{
    pgs_in_validator& names = pgs_in_validator::instance();
    names.add_index_names(source_indexes);
    for (const udb_index& source : source_indexes)
    {
        std::wstring name = source.name;
        if (!names.is_acceptable(name))
        {
            name = names.get_safe_name(name);
        }
        std::vector<std::wstring> columns;
        bool indexable = true;
        for (const std::wstring& column : source.columns)
        {
            // Exactly: "Code" and "code" are two columns, and only one of them was renamed.
            columns.push_back(renamings.get_mapped_name(column, true));
            if (!can_be_part_of_index(columns.back()))
            {
                tk_wlog(2, L"Field '%s' cannot be part of index", column);
                indexable = false;
                break;
            }
        }
        if (!indexable)
        {
            continue;
        }
        tk_log(1, "udb_indexes::has_index_on_fields");
        bool covered = false;
        for (const udb_index& taken : m_indexes)
        {
            covered = covered || taken.starts_with_fields(columns);
        }
        // A key is a rule on the rows, which a longer index does not keep.
        if (covered && !source.unique && !source.primary)
        {
            tk_wlog(2, L"Index '%s' is covered by an earlier index, skipped", source.name);
            continue;
        }
        m_indexes.push_back(udb_index(name, source.unique, source.primary, columns));
        if (name != source.name)
        {
            tk_wlog(2, L"Store generated index name '%s'", name);
            names.add_existing_name(name);
        }
        names.add_used_name(name);
    }
}

bool pgs_indexes_initializer::can_be_part_of_index(const std::wstring& column) const
{
    tk_log(1, "pgs_indexes_initializer::can_be_part_of_index");
    const t_ftd& field = m_schema->get_field1(column);
    tk_log(1, "GOT FIELD: vt=%d, size=%d", field.vartype, field.size);
    const bool unbounded = field.size == 0 || field.size > pgs_max_sized_column;
    const bool long_kind = field.vartype == VT_BSTR || field.vartype == VT_BLOB ||
                           field.vartype == VT_BLOB_OBJECT || field.vartype == VT_BYTE_ARRAY;
    return !(unbounded && long_kind);
}

std::wstring pgs_indexes_initializer::create_index_sql(std::size_t position) const
{
    const udb_index& index = m_indexes[position];
    std::wstring sql = index.primary
                           ? L"ALTER TABLE " + make_name(m_table_name) + L" ADD PRIMARY KEY ("
                           : std::wstring(L"CREATE ") + (index.unique ? L"UNIQUE " : L"") +
                                 L"INDEX ON " + make_name(m_table_name) + L" (";
    for (std::size_t column_idx = 0; column_idx < index.columns.size(); ++column_idx)
    {
        tk_wlog(1, L"Process idx.field %s", index.columns[column_idx]);
        sql += (column_idx == 0 ? L"" : L", ") + pgs_column_name(index.columns[column_idx]);
    }
    return sql + L")";
}

void pgs_indexes_initializer::drop_index(const std::wstring& name) const
{
    // Only an index of this table: the name alone would also find another table's index
    // in the search path, and dropping that is not ours to do. A failure changes nothing.
    const pgs_engine& engine = pgs_engine::instance();
    const auto [schema, table] = pgs_split_name(engine.fold_name(m_table_name));
    try
    {
        pqxx::work transaction(pgs_engine::instance().connection(), "build_indicies");
        const pqxx::result found = transaction.exec_params(
            "SELECT format('%I.%I', n.nspname, i.relname) FROM pg_catalog.pg_index x"
            " JOIN pg_catalog.pg_class i ON i.oid = x.indexrelid"
            " JOIN pg_catalog.pg_class t ON t.oid = x.indrelid"
            " JOIN pg_catalog.pg_namespace n ON n.oid = t.relnamespace"
            " WHERE n.nspname = $1 AND t.relname = $2 AND i.relname = $3",
            tk_string::to_utf8(schema), tk_string::to_utf8(table),
            tk_string::to_utf8(engine.fold_name(name)));
        if (!found.empty())
        {
            transaction.exec("DROP INDEX IF EXISTS " + std::string(found[0][0].c_str()));
            transaction.commit();
        }
    }
    catch (const std::exception& error)
    {
        tk_log(2, "DROP INDEX failed: %s", error.what());
    }
}

void pgs_indexes_initializer::build_indexes() const
{
    tk_log(1, "pgs_indexes_initializer::build_indexes(n_indexes=%d)",
           static_cast<int>(m_indexes.size()));
    for (std::size_t position = 0; position < m_indexes.size(); ++position)
    {
        drop_index(m_indexes[position].name);
        const std::wstring sql = create_index_sql(position);
        tk_wlog(3, L"Create index '%s': %s\n", m_indexes[position].name, sql);
        pgs_checked(
            [&]
            {
                pqxx::work transaction(pgs_engine::instance().connection(), "build_indicies");
                transaction.exec(tk_string::to_utf8(sql));
                transaction.commit();
            },
            "Cannot create index: " + tk_string::to_ansi(sql) + ". ");
    }
}
