// odb_exception.h: OLE DB failures as exceptions, the checked OLE DB call, and the refused
// database of a login.
#pragma once

#include "plat/oledb/oledb_interfaces.h"
#include "tk/tk_exception.h"

#include <cstdint>
#include <string>

/// The sentence that sends the user to support, closing the texts of unexplained failures.
inline constexpr const char* mss_contact_support = "Contact your support team for the solution.";

/// A failed OLE DB call. Severity 0. Its code is the HRESULT's low 16 bits + 0x80000 (0x80E2F
/// for an integrity violation); its message is the first record of the thread's error object that
/// says what happened (a lost connection first, a bare "Unknown error" last) and `source` that
/// record's source; connection_lost() is set when any record has a connection SQLSTATE. Build it
/// on the failing thread before any other OLE DB call there.
class odb_exception : public tk_exception
{
public:
    /// Reads the thread's error object (and clears it).
    explicit odb_exception(HRESULT hr);
    /// A failure described by text; code 0, no source.
    explicit odb_exception(const std::wstring& text);
    /// Reads the thread's error object (and clears it) as the constructor does, but the message
    /// is every description joined with "\n" (see GetErrorString), or, when the connection was
    /// lost, the text that says so.
    static odb_exception with_all_texts(HRESULT hr);
    /// Reads the thread's error object (and clears it) after a refused connection: the message
    /// is the text of every distinct record, most specific first (a server's numbered message,
    /// then the driver's own, a bare "Unknown error" last), joined with "\n", so that the
    /// server's reason is not lost behind the driver's "Unable to connect". A record with native
    /// error 18456 or SQLSTATE 28000 makes it a refused login: code 0x80E4D, whatever the
    /// driver's order of records made the HRESULT.
    static odb_exception connection_failure(HRESULT hr);

    const std::wstring& source() const { return m_source; }
    /// The SQLSTATE and native error of the first record that carries them; empty and 0 when
    /// no record did. Two failures with the same pair are the same failure.
    const std::wstring& sqlstate() const { return m_sqlstate; }
    long native_error() const { return m_native_error; }

    /// True for a SQLSTATE that says the connection is gone: class 08 (connection exception,
    /// 08S01 communication link failure) and the driver's timeouts HYT00 and HYT01, which the
    /// layer only sets where a healthy server answers well within them.
    static bool is_connection_state(const std::wstring& sqlstate);

    /// The text of the thread's error object as a whole, as with_all_texts makes its message:
    /// every description, joined with "\n" (the lost connection's text alone when a record tells
    /// of one); with none, the primary-key text when a record's minor code is 2627, else the
    /// generic text. Reads (and clears) the error object.
    static std::wstring GetErrorString();

    /// "Generic error occurred while migrating the data.\n" + the support sentence.
    static std::string generic_text();

private:
    void extract_from_records2(IErrorRecords& records, HRESULT hr, bool all_texts);

    std::wstring m_source;
    std::wstring m_sqlstate;
    long m_native_error = 0;
};

/// The SQL Server connection was lost while a table was being written: the last
/// rows_not_stored() rows handed to the writer (the failing one included) are not known to be in
/// the table; of them, the last rows_in_doubt() were being committed and may have arrived all
/// the same (the answer is what was lost). Carries the driver's text; connection_lost() is set.
class mss_connection_lost : public odb_exception
{
public:
    mss_connection_lost(const odb_exception& cause, std::int64_t rows_not_stored,
                        std::int64_t rows_in_doubt);

    std::int64_t rows_not_stored() const { return m_rows_not_stored; }
    std::int64_t rows_in_doubt() const { return m_rows_in_doubt; }
    /// Not lost but silent: the server did not answer for this many seconds (0: lost).
    int silent_seconds() const { return m_silent_seconds; }
    void set_silent_seconds(int seconds) { m_silent_seconds = seconds; }
    /// The driver's text of the failed commit whose rows are in doubt; empty when the rows in
    /// doubt got no answer at all.
    const std::wstring& commit_failure() const { return m_commit_failure; }
    void set_commit_failure(const std::wstring& text) { m_commit_failure = text; }

private:
    std::int64_t m_rows_not_stored;
    std::int64_t m_rows_in_doubt;
    int m_silent_seconds = 0;
    std::wstring m_commit_failure;
};

/// The code of an odb_exception for DB_SEC_E_AUTH_FAILED: the server refused the login.
inline constexpr int odb_auth_failed_code =
    static_cast<int>((static_cast<std::uint32_t>(DB_SEC_E_AUTH_FAILED) & 0xFFFF) + 0x80000);

/// The code of an odb_exception for DB_E_INTEGRITYVIOLATION: a row or statement that violates
/// a primary key, unique index or other constraint.
inline constexpr int odb_integrity_violation_code =
    static_cast<int>((static_cast<std::uint32_t>(DB_E_INTEGRITYVIOLATION) & 0xFFFF) + 0x80000);

/// True when `error` is a violated key, unique index or other constraint.
inline bool is_integrity_violation(const tk_exception& error)
{
    return error.code() == odb_integrity_violation_code;
}

// Every OLE DB result in src/mss is looked at through one of the calls below, so a call wrapped
// in none of them is unchecked; FAILED and SUCCEEDED belong in their definitions only.

/// The line the checked call writes for a failed call.
void odb_log_failure(HRESULT hr);

/// The checked OLE DB call: a negative result is logged as "Error code: %08X" (level 2) and
/// thrown as odb_exception; any other result is answered.
HRESULT odb_check(HRESULT hr);
/// The checked call for what cannot fail short of an impossible state (an interface every
/// provider's object has): a negative result is logged as above and thrown as
/// tk_mail_assertion(`source`, `line`); any other result is answered.
HRESULT odb_check(HRESULT hr, const char* source, int line);
/// A call whose failure the caller answers itself without an exception (a component that is not
/// installed, a property the provider refuses, a release while an object goes away): true when
/// the result is negative. The thread's error object is left for the caller.
bool odb_refused(HRESULT hr);

/// The same for a call whose failure is a more particular exception (a bulk load's, carrying
/// the rows to write again): `failure(hr)` builds it, on this thread before any other OLE DB
/// call, and it is thrown.
template <class Failure>
HRESULT odb_check(HRESULT hr, Failure&& failure)
{
    if (FAILED(hr))
    {
        odb_log_failure(hr);
        throw failure(hr);
    }
    return hr;
}

/// The login may not open the database: "User '<user>' does not have permission to access
/// database '<database>'", severity 0, code 0.
class mss_no_perm_exception : public tk_exception
{
public:
    mss_no_perm_exception(const std::wstring& user, const std::wstring& database);
};
