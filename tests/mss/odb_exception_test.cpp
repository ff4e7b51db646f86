// odb_exception_test.cpp: codes, texts and sources of OLE DB failures, the checked call and the
// interface pointer's release trace.
#include "mss/odb_exception.h"
#include "mss/ole_com_ptr.h"
#include "plat/oledb/oledb_error.h"
#include "test_support.h"
#include "tk/tk_logger.h"

#include <gtest/gtest.h>

using plat::oledb::error_record;

namespace
{

struct code_case
{
    std::uint32_t hr;
    int code;
};

class OdbExceptionCode : public testing::TestWithParam<code_case>
{
};

TEST_P(OdbExceptionCode, IsTheLowWordPlus0x80000)
{
    plat::oledb::clear_errors();
    const odb_exception error(make_hresult(GetParam().hr));
    EXPECT_EQ(error.code(), GetParam().code);
    EXPECT_EQ(error.severity(), 0);
}

INSTANTIATE_TEST_SUITE_P(Codes, OdbExceptionCode,
                         testing::Values(code_case{0x80040E2F, 0x80E2F},
                                         code_case{0x80040E2F, 527919},
                                         code_case{0x80040E14, 527892},
                                         code_case{0x80004005, 0x84005}));

struct violation_case
{
    const char* label;
    std::uint32_t hr;
    bool violation;
};

class OdbIntegrityViolation : public testing::TestWithParam<violation_case>
{
};

TEST_P(OdbIntegrityViolation, IsToldByTheCodeAlone)
{
    plat::oledb::clear_errors();
    const odb_exception error(make_hresult(GetParam().hr));
    EXPECT_EQ(is_integrity_violation(error), GetParam().violation);
}

INSTANTIATE_TEST_SUITE_P(Codes, OdbIntegrityViolation,
                         testing::Values(violation_case{"IntegrityViolation", 0x80040E2F, true},
                                         violation_case{"SameLowWordOtherFacility", 0x80000E2F,
                                                        true},
                                         violation_case{"SyntaxError", 0x80040E14, false},
                                         violation_case{"GenericFailure", 0x80004005, false}),
                         [](const testing::TestParamInfo<violation_case>& param_info)
                         { return param_info.param.label; });

TEST(OdbException, AFailureWithoutCodeIsNoViolation)
{
    EXPECT_FALSE(is_integrity_violation(tk_exception("duplicate key", tk_severity::recoverable)));
}

TEST(OdbException, WithoutErrorObjectTheMessageIsUnknown)
{
    plat::oledb::clear_errors();
    const odb_exception error(E_FAIL);
    EXPECT_STREQ(error.what(), "Unknown exception");
    EXPECT_EQ(error.source(), L"");
}

// Error records that count how often each record's texts are read.
class counting_records final : public plat::oledb::com_object<IErrorInfo, IErrorRecords>
{
public:
    explicit counting_records(std::vector<error_record> records)
        : m_records(std::move(records))
    {
        m_reads.assign(m_records.size(), 0);
    }

    HRESULT GetSource(std::wstring* source) override
    {
        *source = m_records.front().source;
        return S_OK;
    }
    HRESULT GetDescription(std::wstring* description) override
    {
        *description = m_records.front().description;
        return S_OK;
    }
    HRESULT GetRecordCount(ULONG* count) override
    {
        *count = static_cast<ULONG>(m_records.size());
        return S_OK;
    }
    HRESULT GetBasicErrorInfo(ULONG record, ERRORINFO* info) override
    {
        *info = ERRORINFO{m_records[record].hr, m_records[record].minor, {}, {}, 0};
        return S_OK;
    }
    HRESULT GetCustomErrorObject(ULONG, REFIID, IUnknown** object) override
    {
        *object = nullptr;
        return S_OK;
    }
    HRESULT GetErrorInfo(ULONG record, LCID, IErrorInfo** info) override
    {
        ++m_reads[record];
        *info = plat::oledb::make_error_object({m_records[record]}).detach();
        return S_OK;
    }

    std::vector<int> m_reads;

private:
    std::vector<error_record> m_records;
};

std::vector<error_record> records_of(std::vector<std::pair<std::wstring, DWORD>> texts)
{
    std::vector<error_record> records;
    int index = 0;
    for (const auto& [description, minor] : texts)
    {
        records.push_back(error_record{DB_E_ERRORSINCOMMAND, minor,
                                       L"source " + std::to_wstring(++index), description,
                                       std::wstring(L"42000")});
    }
    return records;
}

TEST(OdbException, FirstDescribedRecordGivesMessageAndSource)
{
    auto object = plat::oledb::make_com<counting_records>(
        records_of({{L"", 0}, {L"Invalid object name 't'.", 208}, {L"", 0}}));
    SetErrorInfo(0, object.get());
    const odb_exception error(DB_E_ERRORSINCOMMAND);
    EXPECT_STREQ(error.what(), "Invalid object name 't'.");
    EXPECT_EQ(error.source(), L"source 2");
    EXPECT_EQ(object->m_reads, (std::vector<int>{1, 1, 0}));
}

TEST(OdbException, UndescribedRecordsGiveTheGenericText)
{
    plat::oledb::post_errors(records_of({{L"", 0}}));
    const odb_exception error(E_FAIL);
    EXPECT_EQ(std::string(error.what()), "Generic error occurred while migrating the data.\n" +
                                             std::string(mss_contact_support));
}

TEST(OdbException, ErrorObjectIsReadOnce)
{
    plat::oledb::post_errors(records_of({{L"first", 0}}));
    const odb_exception error(E_FAIL);
    IErrorInfo* info = nullptr;
    EXPECT_EQ(GetErrorInfo(0, &info), S_FALSE);
    EXPECT_STREQ(error.what(), "first");
}

struct error_string_case
{
    std::vector<std::pair<std::wstring, DWORD>> records;
    std::wstring expected;
};

class ErrorString : public testing::TestWithParam<error_string_case>
{
};

TEST_P(ErrorString, JoinsDescriptionsOrFallsBack)
{
    plat::oledb::post_errors(records_of(GetParam().records));
    EXPECT_EQ(odb_exception::GetErrorString(), GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(
    Texts, ErrorString,
    testing::Values(error_string_case{{{L"Violation of PRIMARY KEY constraint 'PK_t'.", 2627},
                                       {L"The statement has been terminated.", 3621}},
                                      L"Violation of PRIMARY KEY constraint 'PK_t'.\n"
                                      L"The statement has been terminated."},
                    error_string_case{{{L"", 2627}},
                                      L"Violation of PRIMARY KEY constraint.\n"
                                      L"Cannot insert duplicate key in the table."},
                    error_string_case{{},
                                      L"Generic error occurred while migrating the data.\n"
                                      L"Contact your support team for the solution."}));

TEST(OdbCheck, NegativeResultsThrowAndOthersPass)
{
    test_support::temp_dir dir;
    tk_logger logger(dir.file("trace.log").c_str(), true, 0, false);
    plat::oledb::clear_errors();
    EXPECT_EQ(odb_check(DB_S_ENDOFROWSET), DB_S_ENDOFROWSET);
    try
    {
        odb_check(DB_E_NOTABLE);
        FAIL() << "no exception";
    }
    catch (const odb_exception& error)
    {
        EXPECT_EQ(error.code(), 0x80E37);
    }
    const std::string log = test_support::read_file(dir.file("trace.log"));
    EXPECT_NE(log.find("Error code: 80040E37\r\n"), std::string::npos) << log;
}

// What only an impossible state can refuse is the assertion of the caller's place, not an
// OLE DB failure a run would report and go on after.
TEST(OdbCheck, AssertingFormNamesThePlaceAndPassesOthers)
{
    EXPECT_EQ(odb_check(S_FALSE, "odb_db", 70), S_FALSE);
    try
    {
        odb_check(E_NOINTERFACE, "odb_db", 70);
        FAIL() << "no exception";
    }
    catch (const tk_mail_assertion& error)
    {
        EXPECT_EQ(error.severity(), 2);
        EXPECT_STREQ(error.what(), tk_mail_assertion("odb_db", 70).what());
    }
}

TEST(OdbCheck, RefusedAnswersOnlyNegativeResults)
{
    EXPECT_FALSE(odb_refused(S_OK));
    EXPECT_FALSE(odb_refused(S_FALSE));
    EXPECT_FALSE(odb_refused(DB_S_ENDOFROWSET));
    EXPECT_TRUE(odb_refused(E_NOINTERFACE));
    EXPECT_TRUE(odb_refused(DB_E_NOTABLE));
}

TEST(NoPermission, FormatsTheWholeText)
{
    const std::wstring long_name(2000, L'x');
    const mss_no_perm_exception error(L"bob", long_name);
    EXPECT_EQ(std::string(error.what()),
              "User 'bob' does not have permission to access database '" + std::string(2000, 'x') +
                  "'");
    EXPECT_EQ(error.severity(), 0);
    EXPECT_EQ(error.code(), 0);
}

TEST(OleComPtr, ReleasesWithATraceAndRefusesEmptyAccess)
{
    {
        ole_com_ptr<IErrorInfo> empty;
        EXPECT_THROW(empty->GetSource(nullptr), tk_mail_assertion);
    }
    test_support::temp_dir dir;
    tk_logger logger(dir.file("trace.log").c_str(), true, 0, false);
    {
        ole_com_ptr<IErrorInfo> empty;
    }
    EXPECT_EQ(test_support::read_file(dir.file("trace.log")), "");
    {
        auto object = plat::oledb::make_error_object({});
        ole_com_ptr<IErrorInfo> shared;
        shared.share(object.get());
    }
    EXPECT_EQ(test_support::read_file(dir.file("trace.log")),
              "ole_com_ptr<T>::~ole_com_ptr() - 1 refs left\r\n");
}

} // namespace
