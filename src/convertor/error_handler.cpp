// error_handler.cpp: the error-code texts and the shared part of the error handler.
#include "convertor/error_handler.h"

#include "mss/odb_exception.h"
#include "plat/plat_text.h"
#include "tk/tk_logger.h"

#include <algorithm>

namespace
{

constexpr tk_error_pair oledb_texts[] = {
    {0x80E03, "Given values violate the database schema."},
    {0x80E07, "Literal value could not be converted to the correct type."},
    {0x80E09, "You are not allowed to access MS SQL database. Ask your\nsystem administrator to "
              "grant you necessary privileges."},
    {0x80E11, "Invalid column ID."},
    {0x80E13, "Invalid value."},
    {0x80E17, "Data source with the specified name already exists."},
    {0x80E1D, "Requested conversion is not supported."},
    {0x80E21, "Errors occurred."},
    {0x80E2F, "The specified record violates the integrity constraints.\nSee 'Troubleshooting' "
              "article of the product documentation\nfor solution."},
    {0x80E30, "The given type name is unrecognized."},
    {0x80E34, "The specified index already exists."},
    {0x80E35, "The specified index does not exist."},
    {0x80E37, "The specified table does not exist."},
    {0x80E3A, "The specified precision is invalid."},
    {0x80E3B, "The specified scale is invalid."},
    {0x80E3C, "Invalid table ID."},
    {0x80E3D, "The specified type is invalid."},
    {0x80E3E, "The column ID is occurred more than once in the "
              "specification."},
    {0x80E3F, "The specified table already exists. Try to connect as database owner\nusing the "
              "appropriate checkbox on 'Connect to MS SQL server' wizard page."},
    {0x80E42, "The specified record number is invalid."},
    {0x80E4D, "Invalid user name or password."},
    {0x80E55, "The specified column did not exist."},
    {0x80E57, "Literal value overflowed the range of the type of the associated column."},
    {0x80E65, "The supplied columnID is invalid."},
    {0x80E72, "The index ID is invalid."},
    {0x80EC1, "One or more column types are incompatible; conversion errors will\noccur during "
              "copying."},
    {0x80EDA, "Errors occurred."},
};

constexpr tk_error_pair pgs_texts[] = {
    {-1032, "Cannot connect to pgs server. Check to verify that pgs server is launched and allows "
            "connection."},
    {-30082, "Incorrect username or password"},
};

} // namespace

std::span<const tk_error_pair> oledb_error_texts()
{
    return oledb_texts;
}

std::span<const tk_error_pair> pgs_error_texts()
{
    return pgs_texts;
}

error_handler::error_handler(std::span<const tk_error_pair> table)
    : m_err_map(table)
{
    tk_log(2, "error_handler::ctor");
}

error_handler::~error_handler() = default;

void error_handler::load_err_map(std::span<const tk_error_pair> table)
{
    tk_log(2, "error_handler::load_err_map");
    m_err_map.load_map(table);
}

void error_handler::set_context(const std::wstring& context)
{
    m_context = plat::wide_to_utf8(context);
}

bool error_handler::carries_own_text(const tk_exception& error)
{
    // The texts an exception has when neither the driver nor the server gave one.
    const tk_exception unknown(0);
    return !error.message().empty() && error.message() != unknown.message() &&
           error.message().find(mss_contact_support) == std::string::npos;
}

std::string error_handler::build_message(const tk_exception& error) const
{
    std::string message;
    if (!m_context.empty())
    {
        message = m_context + ": ";
    }
    const std::string mapped = m_err_map.convert(error.code());
    message += mapped.empty() ? error.message() : mapped;
    // The friendlier text says what kind of failure it was; the driver's or server's own text
    // says which row, key or object, and is never dropped for it.
    if (!mapped.empty() && carries_own_text(error) && error.message() != mapped)
    {
        message += "\n" + error.message();
    }
    tk_log(3, "Error:\n%s", message);
    std::replace(message.begin(), message.end(), '\n', ' ');
    return message;
}
