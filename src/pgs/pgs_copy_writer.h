// pgs_copy_writer.h: one COPY ... FROM STDIN load in its own transaction, fed whole text lines.
#pragma once

#include <memory>
#include <string>

namespace pqxx
{
class connection_base;
class tablewriter;
class transaction_base;
} // namespace pqxx

/// A COPY in text format into one table, inside a transaction of its own on `connection` (the
/// connection's only transaction until the load ends). The server checks the rows as they
/// arrive but reports a bad one only when the load ends: complete() either stores every line
/// written or none.
class pgs_copy_writer
{
public:
    /// Starts the transaction and the COPY into `table` (ready for SQL, quoted). Throws what
    /// libpqxx throws.
    pgs_copy_writer(pqxx::connection_base& connection, const std::string& table);
    /// Abandons a load that complete() did not end: nothing of it is stored. Never throws.
    ~pgs_copy_writer();
    pgs_copy_writer(const pgs_copy_writer&) = delete;
    pgs_copy_writer& operator=(const pgs_copy_writer&) = delete;

    /// Sends one line of COPY text (fields already escaped, tab-separated, no line end).
    /// Throws what libpqxx throws.
    void write_line(const std::string& line);
    /// Ends the COPY and commits. Throws what libpqxx throws; nothing is stored then.
    void complete();

private:
    // Declared first, destroyed last: the COPY must end before its transaction does.
    std::unique_ptr<pqxx::transaction_base> m_transaction;
    std::unique_ptr<pqxx::tablewriter> m_writer;
};
