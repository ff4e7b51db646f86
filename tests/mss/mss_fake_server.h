// mss_fake_server.h: a pretend SQL Server behind the real providers: the stand-in's own data
// sources, sessions and commands run over links that answer scripted statements and catalog
// calls and record what they were sent.
#pragma once

#include "plat/oledb/oledb_com.h"
#include "plat/oledb/oledb_link.h"

#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace mss_test
{

/// One answer: a failure, or text columns with rows (nullopt is NULL).
struct fake_answer
{
    plat::oledb::link_status status;
    std::vector<std::wstring> columns;
    std::vector<std::vector<std::optional<std::wstring>>> rows;
};

/// The script and the record of one pretend server.
struct fake_server
{
    /// Statements by their exact text; any other statement succeeds with no result.
    std::map<std::wstring, fake_answer> answers;
    /// Catalog calls by "name(arg|arg...)" (<null> for no restriction), else by name alone
    /// ("tables", "primary_keys", "statistics", "foreign_keys"); none: no rows.
    std::map<std::wstring, fake_answer> catalog;
    /// Every statement and catalog call sent, in order.
    std::vector<std::wstring> sent;
    std::vector<std::wstring> connection_strings;
    /// Connection strings naming a database (";Database=") fail with 28000 when listed here.
    std::vector<std::wstring> refused_databases;

    /// Answers `sql` with one text column and these rows.
    void answer(const std::wstring& sql, const std::wstring& column,
                const std::vector<std::optional<std::wstring>>& values);
    /// Fails `sql` with a record of that SQLSTATE and text.
    void fail(const std::wstring& sql, const std::wstring& sqlstate, const std::wstring& text);
    /// The statements sent (catalog calls left out) from position `from` on.
    std::vector<std::wstring> statements(std::size_t from = 0) const;
};

/// A failure as the driver would report it.
plat::oledb::link_status fake_failure(const std::wstring& sqlstate, const std::wstring& text);

/// Enters the providers into `table` with every class answered by FreeTDS over links to
/// `server` (a Native Client, so the 2008 date and time types are on), accepting fast load
/// when `fast_load`.
void install_fake_server(plat::oledb::class_table& table, std::shared_ptr<fake_server> server,
                         bool fast_load = false);

/// The @@VERSION texts of a few releases.
inline constexpr const wchar_t* version_2000 =
    L"Microsoft SQL Server  2000 - 8.00.2039 (Intel X86) May  3 2005 23:18:38";
inline constexpr const wchar_t* version_2019 =
    L"Microsoft SQL Server 2019 (RTM-CU15) (KB5008996) - 15.0.4198.2 (X64) Jan 12 2022";
inline constexpr const wchar_t* version_azure = L"Microsoft SQL Azure (RTM) - 12.0.2000.8";

} // namespace mss_test
