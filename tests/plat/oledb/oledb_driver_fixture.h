// oledb_driver_fixture.h: a test fixture that registers the real providers over one ODBC driver
// and opens data sources, sessions and commands through them.
#pragma once

#include "oledb_rowset_reader.h"
#include "plat/oledb/oledb_interfaces.h"
#include "plat/oledb/oledb_providers.h"
#include "test_support.h"

#include <gtest/gtest.h>
#include <memory>
#include <string>

/// Skips the test, with the reason, when the driver is not installed.
#define OLEDB_USE_DRIVER_OR_SKIP(driver)                                                           \
    if (const std::string skip_reason = use_driver(driver); !skip_reason.empty())                  \
    GTEST_SKIP() << skip_reason

namespace oledb_test
{

using plat::oledb::com_ref;

/// The text of the thread's error object: every record's SQLSTATE and description.
std::wstring error_records_text();

class driver_fixture : public testing::Test
{
protected:
    /// Registers the providers with ZOV_ODBC_DRIVERS naming `driver` (empty: the defaults).
    /// Answers why not when the driver is not installed (the test then skips with that reason).
    std::string use_driver(const std::string& driver);

    /// A data source of the Native Client 11.0 class with the given properties, initialised.
    HRESULT connect(const std::wstring& server, const std::wstring& user,
                    const std::wstring& password, const std::wstring& catalog,
                    com_ref<IDBInitialize>& source);

    com_ref<IOpenRowset> open_session(IDBInitialize* source);

    /// Runs a command; `rowset` is left empty for IID_NULL or a batch without a result set.
    HRESULT execute(IOpenRowset* session, const std::wstring& sql, com_ref<IRowset>* rowset);

    std::unique_ptr<test_support::scoped_env> m_drivers_env;
    std::unique_ptr<plat::oledb::class_table> m_table;
};

} // namespace oledb_test
