// pgs_copy_writer.cpp: the COPY load over libpqxx 6's table writer.
#include "pgs/pgs_copy_writer.h"

#include <pqxx/tablewriter>
#include <pqxx/transaction>

// libpqxx 6.4 marks its table writer deprecated in favour of stream_to, but stream_to there
// takes only std::tuple rows of a width fixed at compile time, and its raw line writer is
// private; a table's width is known only at run time. The table writer is removed in libpqxx
// 7, whose stream_to takes containers: this file is the one place to change then.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wdeprecated-declarations"

pgs_copy_writer::pgs_copy_writer(pqxx::connection_base& connection, const std::string& table)
    : m_transaction(std::make_unique<pqxx::work>(connection, "fast_append"))
    , m_writer(std::make_unique<pqxx::tablewriter>(*m_transaction, table))
{
}

#pragma GCC diagnostic pop

pgs_copy_writer::~pgs_copy_writer()
{
    // The table writer's destructor ends the COPY without throwing (a failure is left with the
    // transaction), and the transaction's destructor rolls it back without throwing.
    m_writer.reset();
    m_transaction.reset();
}

void pgs_copy_writer::write_line(const std::string& line)
{
    m_writer->write_raw_line(line);
}

void pgs_copy_writer::complete()
{
    m_writer->complete();
    m_writer.reset();
    m_transaction->commit();
}
