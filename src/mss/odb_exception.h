// odb_exception.h: OLE DB failures as exceptions, the checked OLE DB call, and the refused
// database of a login.
#pragma once

#include "plat/oledb/oledb_interfaces.h"
#include "tk/tk_exception.h"

#include <string>

/// The sentence that sends the user to support, closing the texts of unexplained failures.
inline constexpr const char* mss_contact_support = "Contact your support team for the solution.";

/// A failed OLE DB call. Severity 0. Its code is the HRESULT's low 16 bits + 0x80000 (0x80E2F
/// for an integrity violation); its message is the first described record of the thread's error
/// object and `source` that record's source. Build it on the failing thread before any other
/// OLE DB call there.
class odb_exception : public tk_exception
{
public:
    /// Reads the thread's error object (and clears it).
    explicit odb_exception(HRESULT hr);
    /// A failure described by text; code 0, no source.
    explicit odb_exception(const std::wstring& text);

    const std::wstring& source() const { return m_source; }

    /// The text of the thread's error object as a whole: every description, joined with "\n";
    /// with none, the primary-key text when a record's minor code is 2627, else the generic
    /// text. Reads (and clears) the error object.
    static std::wstring GetErrorString();

    /// "Generic error occurred while migrating the data.\n" + the support sentence.
    static std::string generic_text();

private:
    void extract_from_records2(IErrorRecords& records, HRESULT hr);

    std::wstring m_source;
};

/// The checked OLE DB call: a negative result is logged as "Error code: %08X" (level 2) and
/// thrown as odb_exception; any other result is answered.
HRESULT odb_check(HRESULT hr);

/// The login may not open the database: "User '<user>' does not have permission to access
/// database '<database>'", severity 0, code 0.
class mss_no_perm_exception : public tk_exception
{
public:
    mss_no_perm_exception(const std::wstring& user, const std::wstring& database);
};
