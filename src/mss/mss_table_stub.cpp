// mss_table_stub.cpp: STAND-IN for the table writer until mss_table.cpp exists. It defines the
// three functions of mss_table_hook.h over plain tables that refuse rows; the writer's
// implementation replaces this whole file (delete it when mss_table.cpp defines them).
#include "mss/mss_database.h"
#include "mss/mss_table_hook.h"
#include "tk/tk_exception.h"

namespace
{

class table_without_writer final : public odb_table
{
public:
    using odb_table::odb_table;

    void append_record(udb_record&) override
    {
        throw tk_exception(std::string("The table writer is not available in this build."), 1);
    }
};

} // namespace

std::unique_ptr<odb_table> mss_new_table_writer(const std::wstring& name, IOpenRowset* session,
                                                const udb_schema& schema, mss_database& database)
{
    auto table = std::make_unique<table_without_writer>(name, session, odb_table::mode_new_table,
                                                        database.relationships());
    for (const t_ftd* column : schema)
    {
        table->add_column(column->clone());
    }
    return table;
}

std::unique_ptr<odb_table> mss_open_table_writer(const std::wstring& name, IOpenRowset* session,
                                                 int mode, mss_database& database)
{
    return std::make_unique<table_without_writer>(name, session, mode, database.relationships());
}

std::unique_ptr<odb_table> mss_open_query(const std::wstring& name, const std::wstring& query,
                                          IOpenRowset* session, int mode, mss_database& database)
{
    return std::make_unique<table_without_writer>(name, query, session, mode,
                                                  database.relationships());
}
