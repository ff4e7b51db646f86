// oledb_freetds_test.cpp: the connection-failure path through the real FreeTDS driver.
#include "oledb_driver_fixture.h"
#include "plat/plat_text.h"

using namespace oledb_test;

namespace
{

class FreetdsDriver : public driver_fixture
{
};

TEST_F(FreetdsDriver, ClosedPortFailsWithTheDriverRecords)
{
    OLEDB_USE_DRIVER_OR_SKIP("FreeTDS");
    com_ref<IDBInitialize> source;
    // Port 1 on the loopback address: nothing listens there.
    EXPECT_EQ(connect(L"127.0.0.1,1", L"sa", L"secret", L"master", source), E_FAIL);
    const std::wstring records = error_records_text();
    EXPECT_NE(records.find(L"08001"), std::wstring::npos) << plat::wide_to_utf8(records);
    IDBCreateSession* create = nullptr;
    ASSERT_EQ(source->QueryInterface(IID_IDBCreateSession, reinterpret_cast<void**>(&create)),
              S_OK);
    IUnknown* session = nullptr;
    EXPECT_EQ(create->CreateSession(nullptr, IID_IOpenRowset, &session), E_UNEXPECTED);
    create->Release();
}

TEST_F(FreetdsDriver, PasswordTheDriverCannotCarryIsRefusedBeforeConnecting)
{
    OLEDB_USE_DRIVER_OR_SKIP("FreeTDS");
    com_ref<IDBInitialize> source;
    EXPECT_EQ(connect(L"127.0.0.1,1", L"sa", L"x};UID=other", L"", source), E_FAIL);
    EXPECT_EQ(error_records_text(),
              L"The value of PWD holds \"};\", which the FreeTDS driver cannot take in a "
              L"connection string.\n");
}

} // namespace
