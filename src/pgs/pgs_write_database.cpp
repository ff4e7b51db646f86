// pgs_write_database.cpp: a new PostgreSQL table made from a neutral schema, with its indexes.
#include "pgs/pgs_database.h"
#include "pgs/pgs_engine.h"
#include "pgs/pgs_exception.h"
#include "pgs/pgs_indexes_initializer.h"
#include "pgs/pgs_schema_initializer.h"
#include "pgs/pgs_write_types.h"
#include "tk/tk_exception.h"
#include "tk/tk_logger.h"

std::unique_ptr<udb_recordset> pgs_database::create_table(const std::wstring& name,
                                                          const udb_schema& schema,
                                                          const udb_indexes& indexes)
{
    tk_wlog(2, L"pgs_database::create_table(%s)", name);
    if (open_mode() == udb_open_mode::source)
    {
        throw pgs_exception(pgs_source_write_message);
    }
    // Listed as add_full_name1 lists it, so that a bare name opens "public.name".
    const std::wstring listed = get_full_name(pgs_engine::instance().fold_name(name));
    if (is_table_exist(name) || is_table_exist(listed))
    {
        if ((open_mode() & udb_open_mode::append) != 0)
        {
            tk_wlog(1, L"Table '%s' exists, just open it", name);
            return get_table(is_table_exist(name) ? name : listed, udb_table_mode::new_table);
        }
        throw tk_mail_assertion("pgs_db", 467);
    }
    tk_wlog(1, L"Table '%s' is not exist, create it", name);
    const pgs_schema_initializer table(name, schema, indexes);
    table.get_init_str();
    const t_names_map renamings = table.renamings();
    const pgs_indexes_initializer table_indexes(name, table.schema(), indexes, renamings);
    table_indexes.build_indexes();
    add_full_name1(name);
    names_map().add_fn_map(name, renamings.pairs());
    if (listed != name)
    {
        names_map().add_fn_map(listed, renamings.pairs());
    }
    return get_table(listed, udb_table_mode::new_table);
}
