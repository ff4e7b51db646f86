// odbc_bulk_freetds.cpp: FreeTDS's bcp calls, which its driver takes as connection attributes
// (the attribute codes and parameter blocks of its odbcss.h).
#include "plat/oledb/odbc_bulk.h"
#include "plat/oledb/odbc_calls.h"

#include <string>

namespace plat::oledb
{
namespace
{

constexpr SQLINTEGER attr_bcp_control = 1501;
constexpr SQLINTEGER attr_bcp_colptr = 1502;
constexpr SQLINTEGER attr_bcp_sendrow = 1503;
constexpr SQLINTEGER attr_bcp_batch = 1504;
constexpr SQLINTEGER attr_bcp_done = 1505;
constexpr SQLINTEGER attr_bcp_bind = 1506;
constexpr SQLINTEGER attr_bcp_initw = 1507;

constexpr int bcp_direction_in = 1;
constexpr int bcp_keep_identity = 8;
// FreeTDS takes no BCPKEEPNULLS: the hint text goes into the INSERT BULK statement instead,
// within "WITH (...)". A BCPHINTS replaces the text before it (and some versions lose the
// earlier copy), so the hints given since bcp_init go in one text, separated by ", ", sent
// with the first bind.
constexpr int bcp_hints = 6;
constexpr char keep_nulls_hint[] = "KEEP_NULLS";
constexpr char check_constraints_hint[] = "CHECK_CONSTRAINTS";
constexpr int bcp_prefix_length = 8;
constexpr int bcp_varlen_data = -10;

// FreeTDS's buffer for one bound column is 4096 bytes and it writes a longer value past it;
// the margin keeps server-side conversions (UTF-8 to UTF-16) out of reach as well.
constexpr std::size_t freetds_column_limit = 4000;

struct init_params
{
    const void* table;
    const void* data_file;
    const void* error_file;
    int direction;
};

struct control_params
{
    int field;
    void* value;
};

struct colptr_params
{
    const unsigned char* data;
    int column;
};

struct rows_params
{
    int rows;
};

struct bind_params
{
    const unsigned char* data;
    int prefix_length;
    int data_length;
    const unsigned char* terminator;
    int terminator_length;
    int host_type;
    int column;
};

class freetds_bulk_copy final : public link_bulk_copy
{
public:
    freetds_bulk_copy(SQLHDBC connection, const std::wstring& driver_name)
        : m_connection(connection)
        , m_driver_name(driver_name)
    {
    }

    link_status init(const std::wstring& table) override
    {
        const std::vector<SQLWCHAR> name = to_sqlw(table);
        init_params params{name.data(), nullptr, nullptr, bcp_direction_in};
        // bcp_init drops the hints of the copy before.
        m_hints.clear();
        m_hints_sent = false;
        return call(attr_bcp_initw, &params);
    }

    link_status keep_identity() override
    {
        control_params params{bcp_keep_identity, reinterpret_cast<void*>(1)};
        return call(attr_bcp_control, &params);
    }

    link_status keep_nulls() override { return add_hint(keep_nulls_hint); }

    link_status check_constraints() override { return add_hint(check_constraints_hint); }

    link_status bind(const std::uint8_t* block, int host_type, int column) override
    {
        if (!m_hints.empty() && !m_hints_sent)
        {
            m_hints_sent = true;
            control_params hints{bcp_hints, m_hints.data()};
            if (link_status status = call(attr_bcp_control, &hints); !status.ok())
            {
                return status;
            }
        }
        bind_params params{block, bcp_prefix_length, bcp_varlen_data, nullptr,
                           0,     host_type,         column};
        return call(attr_bcp_bind, &params);
    }

    link_status rebind(const std::uint8_t* block, int column) override
    {
        colptr_params params{block, column};
        return call(attr_bcp_colptr, &params);
    }

    link_status send_row() override { return call(attr_bcp_sendrow, nullptr); }

    link_status batch(std::int32_t& rows) override { return counted(attr_bcp_batch, rows); }

    link_status done(std::int32_t& rows) override { return counted(attr_bcp_done, rows); }

    std::size_t column_limit() const override { return freetds_column_limit; }

    bool wide_text() const override { return false; }

private:
    link_status add_hint(const char* hint)
    {
        m_hints += (m_hints.empty() ? "" : ", ") + std::string(hint);
        return {};
    }

    link_status call(SQLINTEGER attribute, void* params)
    {
        return check(SQLSetConnectAttr(m_connection, attribute, params, SQL_IS_POINTER),
                     SQL_HANDLE_DBC, m_connection, odbc_call::statement, m_driver_name);
    }

    // The count comes back in the parameter block; -1 there is a rolled-back batch even when
    // the attribute call itself reported success.
    link_status counted(SQLINTEGER attribute, std::int32_t& rows)
    {
        rows_params params{-1};
        const SQLRETURN rc = SQLSetConnectAttr(m_connection, attribute, &params, SQL_IS_POINTER);
        rows = params.rows;
        if (SQL_SUCCEEDED(rc) && params.rows >= 0)
        {
            return {};
        }
        return check(SQL_ERROR, SQL_HANDLE_DBC, m_connection, odbc_call::statement, m_driver_name);
    }

    SQLHDBC m_connection;
    std::wstring m_driver_name;
    std::string m_hints;
    bool m_hints_sent = false;
};

} // namespace

link_status request_bulk_copy(SQLHDBC connection, const std::wstring& driver_name)
{
    constexpr SQLINTEGER attr_ss_bcp = 1219;
    return check(
        SQLSetConnectAttr(connection, attr_ss_bcp, reinterpret_cast<SQLPOINTER>(1), SQL_IS_INTEGER),
        SQL_HANDLE_DBC, connection, odbc_call::connect, driver_name);
}

std::unique_ptr<link_bulk_copy> make_freetds_bulk_copy(SQLHDBC connection,
                                                       const std::wstring& driver_name)
{
    return std::make_unique<freetds_bulk_copy>(connection, driver_name);
}

} // namespace plat::oledb
