// pgs_conversion_source.cpp: opening source databases through the PostgreSQL engine.
#include "convertor/pgs_conversion_source.h"

#include "pgs/pgs_database.h"
#include "pgs/pgs_engine.h"

pgs_conversion_source::pgs_conversion_source(pgs_engine& engine)
    : m_engine(engine)
{
}

std::unique_ptr<udb_database> pgs_conversion_source::open_db(const std::wstring& name,
                                                             const std::wstring& schema)
{
    return m_engine.open_db(name, udb_open_mode::source, schema);
}
