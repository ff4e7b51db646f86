// pgs_schema_initializer.h: the PostgreSQL table made from a neutral schema, and its CREATE TABLE.
#pragma once

#include "pgs/pgs_names_map.h"
#include "pgs/pgs_validator.h"
#include "udb/udb_indexes.h"
#include "udb/udb_schema.h"

#include <string>

/// Works out the columns of a new table from a source schema: names PostgreSQL accepts (a
/// renamed column is remembered as a renaming), NOT NULL for auto-increment and primary key
/// columns, no default for an auto-increment column (the rows bring its values).
class pgs_schema_initializer
{
public:
    pgs_schema_initializer(const std::wstring& table_name, const udb_schema& source_schema,
                           const udb_indexes& source_indexes);

    /// The CREATE TABLE statement for the new columns.
    std::wstring create_table_sql() const;
    /// Runs CREATE TABLE on the engine's connection and commits. Throws pgs_exception "Cannot
    /// create table: <statement>. <library's message>".
    void get_init_str() const;

    /// The new columns, in source order.
    const udb_schema& schema() const { return m_schema; }
    /// Source column name -> new name, for each column that was renamed.
    t_names_map renamings() const { return t_names_map(m_validator.mapped_pairs()); }
    /// The new name of the auto-increment column; empty when none.
    const std::wstring& auto_num_column() const { return m_auto_num_column; }

private:
    std::wstring m_table_name;
    udb_schema m_schema;
    std::wstring m_auto_num_column;
    pgs_fn_validator m_validator;
};

/// A column name ready for SQL: lower-cased unless the engine is case-sensitive, then quoted as
/// one identifier (a dot inside stays part of the name).
std::wstring pgs_column_name(const std::wstring& name);
