// udb_relationship.cpp: the foreign key record.
#include "udb/udb_relationship.h"

#include <utility>

udb_relationship::udb_relationship(std::wstring fk_name, std::wstring referenced_key_name,
                                   std::wstring fk_table, std::wstring fk_referenced_table,
                                   std::wstring fk_rules, std::vector<std::wstring> fk_columns,
                                   std::vector<std::wstring> fk_referenced_columns)
    : name(std::move(fk_name))
    , key_name(std::move(referenced_key_name))
    , table(std::move(fk_table))
    , referenced_table(std::move(fk_referenced_table))
    , rules(std::move(fk_rules))
    , columns(std::move(fk_columns))
    , referenced_columns(std::move(fk_referenced_columns))
{
}
