// oledb_error_test.cpp: the SQLSTATE table, diagnostic records and the thread's error object.
#include "plat/oledb/odbc_check.h"
#include "plat/oledb/oledb_error.h"

#include <gtest/gtest.h>
#include <thread>

using namespace plat::oledb;

namespace
{

struct sqlstate_case
{
    const wchar_t* sqlstate;
    odbc_call call;
    HRESULT expected;
};

class SqlstateMapping : public testing::TestWithParam<sqlstate_case>
{
};

TEST_P(SqlstateMapping, GivesTheDocumentedCode)
{
    const sqlstate_case& c = GetParam();
    EXPECT_EQ(hresult_for_sqlstate(c.sqlstate, c.call), c.expected);
}

INSTANTIATE_TEST_SUITE_P(
    Table, SqlstateMapping,
    testing::Values(sqlstate_case{L"23000", odbc_call::statement, make_hresult(0x80040E2F)},
                    sqlstate_case{L"23505", odbc_call::statement, DB_E_INTEGRITYVIOLATION},
                    sqlstate_case{L"42S02", odbc_call::statement, DB_E_NOTABLE},
                    sqlstate_case{L"42S01", odbc_call::statement, DB_E_DUPLICATETABLEID},
                    sqlstate_case{L"42S11", odbc_call::statement, DB_E_DUPLICATEINDEXID},
                    sqlstate_case{L"28000", odbc_call::connect, DB_SEC_E_AUTH_FAILED},
                    sqlstate_case{L"08001", odbc_call::connect, E_FAIL},
                    sqlstate_case{L"08S01", odbc_call::statement, E_FAIL},
                    sqlstate_case{L"HYT00", odbc_call::statement, E_FAIL},
                    sqlstate_case{L"42000", odbc_call::statement, make_hresult(0x80040E14)},
                    sqlstate_case{L"HY000", odbc_call::statement, DB_E_ERRORSINCOMMAND},
                    sqlstate_case{L"42S021", odbc_call::statement, DB_E_ERRORSINCOMMAND},
                    sqlstate_case{L"IM002", odbc_call::connect, E_FAIL}));

TEST(DiagnosticRecords, BracketedPrefixBecomesTheSource)
{
    std::wstring source;
    std::wstring text;
    split_diag_message(L"[unixODBC][FreeTDS][SQL Server]Unable to connect", L"FreeTDS", source,
                       text);
    EXPECT_EQ(source, L"[unixODBC][FreeTDS][SQL Server]");
    EXPECT_EQ(text, L"Unable to connect");
    split_diag_message(L"no such table: t", L"SQLite3", source, text);
    EXPECT_EQ(source, L"SQLite3");
    EXPECT_EQ(text, L"no such table: t");
}

TEST(DiagnosticRecords, FirstMappedStateDecidesTheCodeOfEveryRecord)
{
    const link_status status = failure_from_diagnostics(
        {diag_record{L"01000", 0, L"[drv]The statement has been terminated."},
         diag_record{L"23000", 2627, L"[drv]Violation of PRIMARY KEY constraint 'PK_t'."}},
        odbc_call::statement, L"drv");
    ASSERT_EQ(status.records.size(), 2u);
    EXPECT_EQ(status.hr, DB_E_INTEGRITYVIOLATION);
    EXPECT_EQ(status.records[0].hr, DB_E_INTEGRITYVIOLATION);
    EXPECT_EQ(status.records[1].minor, 2627u);
    EXPECT_EQ(status.records[1].description, L"Violation of PRIMARY KEY constraint 'PK_t'.");
    EXPECT_EQ(status.records[1].source, L"[drv]");
    EXPECT_EQ(*status.records[1].sqlstate, L"23000");
}

TEST(DiagnosticRecords, FailureWithoutRecordsStillHasOne)
{
    const link_status status = failure_from_diagnostics({}, odbc_call::connect, L"FreeTDS");
    ASSERT_EQ(status.records.size(), 1u);
    EXPECT_EQ(status.hr, E_FAIL);
    EXPECT_EQ(status.records[0].source, L"FreeTDS");
}

std::vector<error_record> three_records_second_described()
{
    error_record first{DB_E_ERRORSINCOMMAND, 1, L"src1", L"", std::nullopt};
    error_record second{DB_E_ERRORSINCOMMAND, 208, L"[drv][SQL Server]",
                        L"Invalid object name 't'.", std::wstring(L"42S02")};
    error_record third{DB_E_ERRORSINCOMMAND, 3, L"src3", L"", std::nullopt};
    return {first, second, third};
}

TEST(ErrorObject, RecordsAnswerTheirOwnTextsAndSqlInfo)
{
    post_errors(three_records_second_described());
    IErrorInfo* info = nullptr;
    ASSERT_EQ(GetErrorInfo(0, &info), S_OK);
    com_ref<IErrorInfo> owner = com_ref<IErrorInfo>::attach(info);
    IErrorRecords* records_raw = nullptr;
    ASSERT_EQ(info->QueryInterface(IID_IErrorRecords, reinterpret_cast<void**>(&records_raw)),
              S_OK);
    com_ref<IErrorRecords> records = com_ref<IErrorRecords>::attach(records_raw);
    ULONG count = 0;
    ASSERT_EQ(records->GetRecordCount(&count), S_OK);
    EXPECT_EQ(count, 3u);

    for (ULONG record = 0; record < count; ++record)
    {
        SCOPED_TRACE(record);
        ERRORINFO basic{};
        ASSERT_EQ(records->GetBasicErrorInfo(record, &basic), S_OK);
        EXPECT_EQ(basic.hrError, DB_E_ERRORSINCOMMAND);
        IUnknown* custom = nullptr;
        ASSERT_EQ(records->GetCustomErrorObject(record, IID_ISQLErrorInfo, &custom), S_OK);
        com_ref<IUnknown> custom_owner = com_ref<IUnknown>::attach(custom);
        EXPECT_EQ(custom != nullptr, record == 1);
        IErrorInfo* entry_raw = nullptr;
        ASSERT_EQ(records->GetErrorInfo(record, 0, &entry_raw), S_OK);
        com_ref<IErrorInfo> entry = com_ref<IErrorInfo>::attach(entry_raw);
        std::wstring description;
        std::wstring source;
        ASSERT_EQ(entry->GetDescription(&description), S_OK);
        ASSERT_EQ(entry->GetSource(&source), S_OK);
        EXPECT_EQ(description, record == 1 ? L"Invalid object name 't'." : L"");
        EXPECT_EQ(source, record == 0 ? L"src1" : record == 1 ? L"[drv][SQL Server]" : L"src3");
    }

    IUnknown* custom = nullptr;
    ASSERT_EQ(records->GetCustomErrorObject(1, IID_ISQLErrorInfo, &custom), S_OK);
    ISQLErrorInfo* sql_raw = nullptr;
    ASSERT_EQ(custom->QueryInterface(IID_ISQLErrorInfo, reinterpret_cast<void**>(&sql_raw)), S_OK);
    custom->Release();
    com_ref<ISQLErrorInfo> sql = com_ref<ISQLErrorInfo>::attach(sql_raw);
    std::wstring sqlstate;
    LONG native = 0;
    ASSERT_EQ(sql->GetSQLInfo(&sqlstate, &native), S_OK);
    EXPECT_EQ(sqlstate, L"42S02");
    EXPECT_EQ(native, 208);

    ERRORINFO past_end{};
    EXPECT_EQ(records->GetBasicErrorInfo(3, &past_end), DB_E_BADRECORDNUM);
}

TEST(ErrorObject, GetErrorInfoHandsItOverOnce)
{
    post_layer_error(E_FAIL, L"boom");
    IErrorInfo* info = nullptr;
    ASSERT_EQ(GetErrorInfo(0, &info), S_OK);
    ASSERT_NE(info, nullptr);
    std::wstring description;
    info->GetDescription(&description);
    EXPECT_EQ(description, L"boom");
    info->Release();
    EXPECT_EQ(GetErrorInfo(0, &info), S_FALSE);
    EXPECT_EQ(info, nullptr);
}

TEST(ErrorObject, BelongsToTheThreadThatFailed)
{
    post_layer_error(E_FAIL, L"main thread");
    std::thread other(
        []
        {
            IErrorInfo* info = nullptr;
            EXPECT_EQ(GetErrorInfo(0, &info), S_FALSE);
            post_layer_error(E_FAIL, L"left behind at thread exit");
        });
    other.join();
    IErrorInfo* info = nullptr;
    ASSERT_EQ(GetErrorInfo(0, &info), S_OK);
    std::wstring description;
    info->GetDescription(&description);
    info->Release();
    EXPECT_EQ(description, L"main thread");
}

TEST(ErrorObject, ClearErrorsRemovesIt)
{
    post_layer_error(E_FAIL, L"stale");
    clear_errors();
    IErrorInfo* info = nullptr;
    EXPECT_EQ(GetErrorInfo(0, &info), S_FALSE);
}

} // namespace
