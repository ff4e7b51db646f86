// oledb_fast_load_test.cpp: the bulk loader over a scripted link: bulk copy in order with the
// rows it must not carry sent as literals, rolled-back batches and the reconnect, bindings,
// streams and the INSERT-batch fallback.
#include "oledb_fake_link.h"
#include "plat/oledb/odbc_check.h"
#include "plat/oledb/oledb_objects.h"
#include "plat/oledb/oledb_providers.h"
#include "plat/plat_text.h"
#include "test_support.h"

#include <cstring>
#include <gtest/gtest.h>

using namespace oledb_test;

namespace
{

const std::wstring describe_sql = L"SELECT * FROM [t] WHERE 1=0";

// The row the tests bind: id (I4), name (WSTR, 8002 bytes) and stamp (DBTIMESTAMP).
struct test_row
{
    std::int32_t id = 0;
    DBLENGTH id_length = 4;
    DBSTATUS id_status = DBSTATUS_S_OK;
    char16_t name[4001] = {};
    DBLENGTH name_length = 0;
    DBSTATUS name_status = DBSTATUS_S_OK;
    DBTIMESTAMP stamp{2024, 1, 2, 3, 4, 5, 0};
    DBLENGTH stamp_length = sizeof(DBTIMESTAMP);
    DBSTATUS stamp_status = DBSTATUS_S_OK;

    void set(std::int32_t new_id, const std::u16string& text, std::int16_t year)
    {
        id = new_id;
        std::memcpy(name, text.data(), text.size() * 2);
        name_length = static_cast<DBLENGTH>(text.size() * 2);
        stamp.year = year;
    }
};

DBBINDING binding(DBORDINAL ordinal, DBTYPE type, std::size_t value, std::size_t length,
                  std::size_t status, DBLENGTH size)
{
    DBBINDING out{};
    out.iOrdinal = ordinal;
    out.obValue = value;
    out.obLength = length;
    out.obStatus = status;
    out.dwPart = DBPART_VALUE | DBPART_LENGTH | DBPART_STATUS;
    out.cbMaxLen = size;
    out.wType = type;
    return out;
}

class FastLoadTest : public testing::Test
{
protected:
    FastLoadTest()
    {
        m_setup.driver_installed = [](const std::wstring&) { return true; };
        m_setup.driver_library = [](const std::wstring&) { return std::wstring(); };
        m_setup.make_link = [this](const driver_choice&) { return fake_links(m_script)(); };
        m_setup.fast_load = true;
        column_desc id;
        id.name = L"id";
        id.sql_type = sql_type::integer;
        id.auto_unique = true;
        column_desc name = text_column(L"name");
        name.size = 4000;
        column_desc stamp;
        stamp.name = L"stamp";
        stamp.sql_type = sql_type::type_timestamp;
        stamp.type_name = L"datetime2";
        stamp.size = 27;
        stamp.decimal_digits = 7;
        fake_result table;
        table.columns = {id, name, stamp};
        m_script->batches[describe_sql] = {table};
        register_providers(m_table, m_setup);
    }

    // A session whose data source switched fast load on (or tried to).
    com_ref<IOpenRowset> open_session(HRESULT expected_switch = S_OK)
    {
        IDBInitialize* raw = nullptr;
        EXPECT_EQ(CoCreateInstance(CLSID_SQLNCLI11, nullptr, CLSCTX_ALL, IID_IDBInitialize,
                                   reinterpret_cast<void**>(&raw)),
                  S_OK);
        m_source = com_ref<IDBInitialize>::attach(raw);
        EXPECT_EQ(m_source->Initialize(), S_OK);
        IDBProperties* properties = nullptr;
        m_source->QueryInterface(IID_IDBProperties, reinterpret_cast<void**>(&properties));
        DBPROP prop;
        prop.dwPropertyID = SSPROP_ENABLEFASTLOAD;
        prop.vValue.vt = VT_BOOL;
        prop.vValue.boolVal = VARIANT_TRUE;
        DBPROPSET set{&prop, 1, DBPROPSET_SQLSERVERDATASOURCE};
        EXPECT_EQ(properties->SetProperties(1, &set), expected_switch);
        properties->Release();
        IDBCreateSession* create = nullptr;
        m_source->QueryInterface(IID_IDBCreateSession, reinterpret_cast<void**>(&create));
        IUnknown* session = nullptr;
        EXPECT_EQ(create->CreateSession(nullptr, IID_IOpenRowset, &session), S_OK);
        create->Release();
        return com_ref<IOpenRowset>::attach(static_cast<IOpenRowset*>(session));
    }

    // With `options`, the fast-load options text too; `options_status` gets its status.
    HRESULT open_loader(IOpenRowset* session, const std::wstring& table,
                        com_ref<IRowsetFastLoad>& loader, const wchar_t* options = nullptr,
                        DBPROPSTATUS* options_status = nullptr)
    {
        std::wstring name = table;
        DBID id{};
        id.eKind = DBKIND_NAME;
        id.uName.pwszName = name.data();
        DBPROP props[3];
        props[0].dwPropertyID = SSPROP_IRowsetFastLoad;
        props[0].vValue.vt = VT_BOOL;
        props[0].vValue.boolVal = VARIANT_TRUE;
        props[1].dwPropertyID = SSPROP_FASTLOADKEEPIDENTITY;
        props[1].vValue.vt = VT_BOOL;
        props[1].vValue.boolVal = VARIANT_TRUE;
        props[2].dwPropertyID = SSPROP_FASTLOADOPTIONS;
        props[2].vValue.vt = VT_BSTR;
        props[2].vValue.bstrVal = options != nullptr ? options : L"";
        DBPROPSET set{props, options != nullptr ? 3u : 2u, DBPROPSET_SQLSERVERROWSET};
        IUnknown* raw = nullptr;
        const HRESULT hr =
            session->OpenRowset(nullptr, &id, nullptr, IID_IRowsetFastLoad, 1, &set, &raw);
        loader = com_ref<IRowsetFastLoad>::attach(static_cast<IRowsetFastLoad*>(raw));
        if (options_status != nullptr)
        {
            *options_status = props[2].dwStatus;
        }
        return hr;
    }

    HACCESSOR accessor(IRowsetFastLoad* loader)
    {
        IAccessor* raw = nullptr;
        loader->QueryInterface(IID_IAccessor, reinterpret_cast<void**>(&raw));
        com_ref<IAccessor> access = com_ref<IAccessor>::attach(raw);
        const DBBINDING bindings[] = {
            binding(1, DBTYPE_I4, offsetof(test_row, id), offsetof(test_row, id_length),
                    offsetof(test_row, id_status), 4),
            binding(2, DBTYPE_WSTR, offsetof(test_row, name), offsetof(test_row, name_length),
                    offsetof(test_row, name_status), sizeof(test_row::name)),
            binding(3, DBTYPE_DBTIMESTAMP, offsetof(test_row, stamp),
                    offsetof(test_row, stamp_length), offsetof(test_row, stamp_status),
                    sizeof(DBTIMESTAMP))};
        HACCESSOR handle = DB_NULL_HACCESSOR;
        EXPECT_EQ(access->CreateAccessor(DBACCESSOR_ROWDATA, 3, bindings, sizeof(test_row), &handle,
                                         nullptr),
                  S_OK);
        return handle;
    }

    DBCOUNTITEM rows_to_replay(IRowsetFastLoad* loader)
    {
        IFastLoadReplay* replay = nullptr;
        EXPECT_EQ(loader->QueryInterface(IID_IFastLoadReplay, reinterpret_cast<void**>(&replay)),
                  S_OK);
        DBCOUNTITEM rows = 99;
        replay->GetRowsToReplay(&rows);
        replay->Release();
        return rows;
    }

    load_row_path row_path(IRowsetFastLoad* loader)
    {
        IFastLoadReplay* replay = nullptr;
        EXPECT_EQ(loader->QueryInterface(IID_IFastLoadReplay, reinterpret_cast<void**>(&replay)),
                  S_OK);
        load_row_path path = load_row_path::commit_failed;
        EXPECT_EQ(replay->GetRowPath(&path), S_OK);
        replay->Release();
        return path;
    }

    std::vector<std::wstring> load_trace() const
    {
        std::vector<std::wstring> trace;
        for (const std::wstring& entry : m_script->trace)
        {
            trace.push_back(entry.size() > 120 ? entry.substr(0, 120) + L"..." : entry);
        }
        return trace;
    }

    plat::oledb::class_table m_table;
    provider_setup m_setup;
    std::shared_ptr<fake_script> m_script = std::make_shared<fake_script>();
    com_ref<IDBInitialize> m_source;
};

TEST_F(FastLoadTest, LongAndEarlyRowsGoAsLiteralsInOrderAndBulkCopyResumes)
{
    m_script->bulk_copy = true;
    com_ref<IOpenRowset> session = open_session();
    com_ref<IRowsetFastLoad> loader;
    ASSERT_EQ(open_loader(session.get(), L"t", loader), S_OK)
        << plat::wide_to_utf8(last_error_text());
    const HACCESSOR handle = accessor(loader.get());
    auto row = std::make_unique<test_row>();
    // 2001 characters: 4002 bytes once the server has them as UTF-16, past FreeTDS's limit.
    const std::u16string long_text(2001, u'x');
    // A row written apart says so, with the rows before it committed first.
    const struct
    {
        std::int32_t id;
        std::u16string name;
        std::int16_t year;
        HRESULT answer;
        load_row_path path;
    } rows[] = {{1, u"a", 2024, S_OK, load_row_path::batch},
                {2, long_text, 2024, DB_S_ROWPATH, load_row_path::apart},
                {3, u"c'd", 1500, DB_S_ROWPATH, load_row_path::apart},
                {4, u"e", 1601, S_OK, load_row_path::batch}};
    for (const auto& values : rows)
    {
        SCOPED_TRACE(values.id);
        row->set(values.id, values.name, values.year);
        ASSERT_EQ(loader->InsertRow(handle, row.get()), values.answer)
            << plat::wide_to_utf8(last_error_text());
        EXPECT_EQ(row_path(loader.get()), values.path);
    }
    ASSERT_EQ(loader->Commit(1), S_OK);
    const std::wstring columns = L"INSERT INTO [t] ([id], [name], [stamp]) VALUES (";
    const std::vector<std::wstring> expected = {
        L"init([t])",
        L"keep_identity",
        L"bind(1,56)",
        L"bind(2,47)",
        L"bind(3,42)",
        L"row(1|a|year 2024)",
        L"done",
        L"SET IDENTITY_INSERT [t] ON",
        (columns + L"2, N'" + std::wstring(2001, L'x') + L"', '2024-01-02 03:04:05.0000000')")
                .substr(0, 120) +
            L"...",
        columns + L"3, N'c''d', '1500-01-02 03:04:05.0000000')",
        L"init([t])",
        L"keep_identity",
        L"bind(1,56)",
        L"bind(2,47)",
        L"bind(3,42)",
        L"row(4|e|year 1601)",
        L"done",
        L"SET IDENTITY_INSERT [t] OFF"};
    EXPECT_EQ(load_trace(), expected);
    EXPECT_EQ(loader->InsertRow(handle, row.get()), E_UNEXPECTED);
}

// The fast-load options text asks for the table's constraints to be checked: the bulk copy
// passes the hint on; a text that names an option the loader does not take is not taken at all.
TEST_F(FastLoadTest, CheckConstraintsAmongTheOptionsReachesTheBulkCopy)
{
    const struct
    {
        const wchar_t* options;
        DBPROPSTATUS status;
        bool checked;
    } cases[] = {{L"CHECK_CONSTRAINTS", DBPROPSTATUS_OK, true},
                 {L" check_constraints ", DBPROPSTATUS_OK, true},
                 {L"", DBPROPSTATUS_OK, false},
                 {L"FIRE_TRIGGERS", DBPROPSTATUS_NOTSUPPORTED, false},
                 {L"CHECK_CONSTRAINTS, FIRE_TRIGGERS", DBPROPSTATUS_NOTSUPPORTED, false}};
    m_script->bulk_copy = true;
    com_ref<IOpenRowset> session = open_session();
    for (const auto& given : cases)
    {
        SCOPED_TRACE(plat::wide_to_utf8(given.options));
        m_script->trace.clear();
        com_ref<IRowsetFastLoad> loader;
        DBPROPSTATUS status = 99;
        ASSERT_EQ(open_loader(session.get(), L"t", loader, given.options, &status), S_OK)
            << plat::wide_to_utf8(last_error_text());
        EXPECT_EQ(status, given.status);
        const HACCESSOR handle = accessor(loader.get());
        auto row = std::make_unique<test_row>();
        row->set(1, u"a", 2024);
        ASSERT_EQ(loader->InsertRow(handle, row.get()), S_OK);
        ASSERT_EQ(loader->Commit(1), S_OK);
        std::vector<std::wstring> expected{L"init([t])", L"keep_identity"};
        if (given.checked)
        {
            expected.push_back(L"check_constraints");
        }
        expected.insert(expected.end(),
                        {L"bind(1,56)", L"bind(2,47)", L"bind(3,42)", L"row(1|a|year 2024)",
                         L"done", L"SET IDENTITY_INSERT [t] OFF"});
        EXPECT_EQ(load_trace(), expected);
    }
}

TEST_F(FastLoadTest, RolledBackBatchIsReportedAndTheLoaderLoadsAgainOnANewConnection)
{
    m_script->bulk_copy = true;
    m_script->failing_batches = {1};
    com_ref<IOpenRowset> session = open_session();
    com_ref<IRowsetFastLoad> loader;
    ASSERT_EQ(open_loader(session.get(), L"t", loader), S_OK);
    const HACCESSOR handle = accessor(loader.get());
    auto row = std::make_unique<test_row>();
    for (std::int32_t id = 1; id <= 3; ++id)
    {
        row->set(id, u"n", 2024);
        ASSERT_EQ(loader->InsertRow(handle, row.get()), S_OK);
    }
    const int links_before = m_script->links_made;
    EXPECT_EQ(loader->Commit(0), DB_E_INTEGRITYVIOLATION);
    EXPECT_EQ(last_error_text(), L"Violation of PRIMARY KEY constraint.");
    EXPECT_EQ(rows_to_replay(loader.get()), 3u);
    EXPECT_EQ(m_script->links_made, links_before + 1);
    m_script->trace.clear();
    row->set(4, u"m", 2024);
    ASSERT_EQ(loader->InsertRow(handle, row.get()), S_OK);
    EXPECT_EQ(rows_to_replay(loader.get()), 0u);
    ASSERT_EQ(loader->Commit(1), S_OK);
    EXPECT_EQ(load_trace(),
              (std::vector<std::wstring>{L"init([t])", L"keep_identity", L"bind(1,56)",
                                         L"bind(2,47)", L"bind(3,42)", L"row(4|m|year 2024)",
                                         L"done", L"SET IDENTITY_INSERT [t] OFF"}));
}

TEST_F(FastLoadTest, RowThatEndsAFailingBatchIsNotTakenAndTheBatchIsCounted)
{
    m_script->bulk_copy = true;
    m_script->failing_batches = {1};
    com_ref<IOpenRowset> session = open_session();
    com_ref<IRowsetFastLoad> loader;
    ASSERT_EQ(open_loader(session.get(), L"t", loader), S_OK);
    const HACCESSOR handle = accessor(loader.get());
    auto row = std::make_unique<test_row>();
    row->set(1, u"a", 2024);
    ASSERT_EQ(loader->InsertRow(handle, row.get()), S_OK);
    row->set(2, u"b", 1200);
    EXPECT_EQ(loader->InsertRow(handle, row.get()), DB_E_INTEGRITYVIOLATION);
    EXPECT_EQ(rows_to_replay(loader.get()), 1u);
    for (const std::wstring& entry : m_script->trace)
    {
        EXPECT_FALSE(entry.starts_with(L"INSERT")) << plat::wide_to_utf8(entry);
    }
}

TEST_F(FastLoadTest, NullsAndBadHandlesAndNarrowStreamSlots)
{
    m_script->bulk_copy = true;
    com_ref<IOpenRowset> session = open_session();
    com_ref<IRowsetFastLoad> loader;
    ASSERT_EQ(open_loader(session.get(), L"t", loader), S_OK);
    const HACCESSOR handle = accessor(loader.get());
    auto row = std::make_unique<test_row>();
    row->set(7, u"ignored", 2024);
    row->name_status = DBSTATUS_S_ISNULL;
    row->stamp_status = DBSTATUS_S_ISNULL;
    ASSERT_EQ(loader->InsertRow(handle, row.get()), S_OK);
    EXPECT_EQ(m_script->trace.back(), L"row(7|NULL|NULL)");
    EXPECT_EQ(loader->InsertRow(DB_NULL_HACCESSOR, row.get()), DB_E_BADACCESSORHANDLE);
    EXPECT_EQ(loader->InsertRow(handle + 17, row.get()), DB_E_BADACCESSORHANDLE);
    EXPECT_EQ(loader->InsertRow(handle, nullptr), E_INVALIDARG);
    row->name_status = DBSTATUS_S_OK;
    row->name_length = sizeof(test_row::name) + 2;
    EXPECT_EQ(loader->InsertRow(handle, row.get()), DB_E_ERRORSOCCURRED);
    row->name_length = 2;
    row->stamp_status = DBSTATUS_S_OK;
    row->stamp.month = 13;
    EXPECT_EQ(loader->InsertRow(handle, row.get()), DB_E_CANTCONVERTVALUE);

    IAccessor* raw = nullptr;
    loader->QueryInterface(IID_IAccessor, reinterpret_cast<void**>(&raw));
    com_ref<IAccessor> access = com_ref<IAccessor>::attach(raw);
    DBOBJECT object{0, IID_ISequentialStream};
    struct bad_case
    {
        DBBINDING binding;
        DBLENGTH row_size;
        DBBINDSTATUS expected;
    };
    DBBINDING narrow = binding(2, DBTYPE_IUNKNOWN, 0, 8, 12, 4);
    narrow.pObject = &object;
    DBBINDING outside = binding(2, DBTYPE_WSTR, 0, 8002, 8006, 8002);
    const bad_case cases[] = {
        {narrow, 16, DBBINDSTATUS_BADBINDINFO},
        {outside, 8004, DBBINDSTATUS_BADBINDINFO},
        {binding(4, DBTYPE_I4, 0, 4, 8, 4), 12, DBBINDSTATUS_BADORDINAL},
        {binding(1, DBTYPE_DATE, 0, 8, 12, 8), 16, DBBINDSTATUS_UNSUPPORTEDCONVERSION}};
    for (const bad_case& c : cases)
    {
        HACCESSOR refused = 5;
        DBBINDSTATUS status = DBBINDSTATUS_OK;
        EXPECT_EQ(access->CreateAccessor(DBACCESSOR_ROWDATA, 1, &c.binding, c.row_size, &refused,
                                         &status),
                  DB_E_ERRORSOCCURRED);
        EXPECT_EQ(status, c.expected);
        EXPECT_EQ(refused, DB_NULL_HACCESSOR);
    }
}

// A stream that counts its references, to prove the loader reads it and leaves it alone.
class counted_stream final : public plat::oledb::com_object<ISequentialStream>
{
public:
    explicit counted_stream(std::string bytes)
        : m_bytes(std::move(bytes))
    {
    }
    HRESULT Read(void* buffer, ULONG size, ULONG* read) override
    {
        const ULONG count = static_cast<ULONG>(std::min<std::size_t>(size, m_bytes.size() - m_at));
        std::memcpy(buffer, m_bytes.data() + m_at, count);
        m_at += count;
        *read = count;
        return count < size ? S_FALSE : S_OK;
    }
    HRESULT Write(const void*, ULONG, ULONG*) override { return E_NOTIMPL; }

private:
    std::string m_bytes;
    std::size_t m_at = 0;
};

TEST_F(FastLoadTest, StreamIsReadWholeAndNeverReleased)
{
    m_script->bulk_copy = true;
    com_ref<IOpenRowset> session = open_session();
    com_ref<IRowsetFastLoad> loader;
    ASSERT_EQ(open_loader(session.get(), L"t", loader), S_OK);
    IAccessor* raw = nullptr;
    loader->QueryInterface(IID_IAccessor, reinterpret_cast<void**>(&raw));
    com_ref<IAccessor> access = com_ref<IAccessor>::attach(raw);
    DBOBJECT object{0, IID_ISequentialStream};
    DBBINDING stream_binding = binding(2, DBTYPE_IUNKNOWN, 0, 8, 12, sizeof(void*));
    stream_binding.pObject = &object;
    HACCESSOR handle = DB_NULL_HACCESSOR;
    ASSERT_EQ(access->CreateAccessor(DBACCESSOR_ROWDATA, 1, &stream_binding, 16, &handle, nullptr),
              S_OK);
    com_ref<counted_stream> stream = make_com<counted_stream>(std::string(70000, 'q'));
    std::uint8_t buffer[16] = {};
    ISequentialStream* pointer = stream.get();
    std::memcpy(buffer, &pointer, sizeof pointer);
    // One column of three bound: the row goes by an INSERT batch that names only that column.
    ASSERT_EQ(loader->InsertRow(handle, buffer), S_OK);
    ASSERT_EQ(loader->Commit(0), S_OK);
    ASSERT_FALSE(m_script->trace.empty());
    const std::wstring prefix = L"INSERT INTO [t] ([name]) VALUES (?) <- ";
    EXPECT_EQ(m_script->trace.back().substr(0, prefix.size()), prefix);
    EXPECT_EQ(m_script->trace.back().size(), prefix.size() + 35000u);
    EXPECT_EQ(stream->AddRef(), 2u);
    EXPECT_EQ(stream->Release(), 1u);
}

// A stream of the system's own kind: it hands its text over when asked for it in the form it
// holds, and counts the reads it gets.
class handing_stream final : public plat::oledb::com_object<ISequentialStream, IStreamHandOver>
{
public:
    handing_stream(std::u16string text, bool hands_over)
        : m_text(std::move(text))
        , m_hands_over(hands_over)
    {
    }
    HRESULT Read(void* buffer, ULONG size, ULONG* read) override
    {
        ++reads;
        const std::size_t bytes = m_text.size() * 2;
        const ULONG count = static_cast<ULONG>(std::min<std::size_t>(size, bytes - m_at));
        std::memcpy(buffer, reinterpret_cast<const std::uint8_t*>(m_text.data()) + m_at, count);
        m_at += count;
        *read = count;
        return count < size ? S_FALSE : S_OK;
    }
    HRESULT Write(const void*, ULONG, ULONG*) override { return E_NOTIMPL; }
    HRESULT TakeBytes(std::vector<std::uint8_t>&) override { return S_FALSE; }
    HRESULT TakeUtf8(std::string&) override { return S_FALSE; }
    HRESULT TakeUtf16(std::u16string& out) override
    {
        if (!m_hands_over)
        {
            return S_FALSE;
        }
        out = std::move(m_text);
        m_text.clear();
        return S_OK;
    }

    int reads = 0;

private:
    std::u16string m_text;
    bool m_hands_over;
    std::size_t m_at = 0;
};

// A text longer than a megabyte piece, characters beyond U+FFFF across the pieces' edges, bound
// as a stream that hands its text over and as one that must be read: both arrive exactly, and
// the first is never read.
TEST_F(FastLoadTest, StreamThatHandsItsTextOverIsTakenNotRead)
{
    std::u16string text;
    while (text.size() < 600000)
    {
        text += u"a\u00e9\U0001F600'";
    }
    text[524286] = u'x';
    text[524287] = 0xD83D;
    text[524288] = 0xDE00;
    for (const bool hands_over : {true, false})
    {
        SCOPED_TRACE(hands_over ? "hands over" : "read");
        m_script->trace.clear();
        m_script->bulk_copy = true;
        com_ref<IOpenRowset> session = open_session();
        com_ref<IRowsetFastLoad> loader;
        ASSERT_EQ(open_loader(session.get(), L"t", loader), S_OK);
        IAccessor* raw = nullptr;
        loader->QueryInterface(IID_IAccessor, reinterpret_cast<void**>(&raw));
        com_ref<IAccessor> access = com_ref<IAccessor>::attach(raw);
        DBOBJECT object{0, IID_ISequentialStream};
        DBBINDING stream_binding = binding(2, DBTYPE_IUNKNOWN, 0, 8, 12, sizeof(void*));
        stream_binding.pObject = &object;
        HACCESSOR handle = DB_NULL_HACCESSOR;
        ASSERT_EQ(
            access->CreateAccessor(DBACCESSOR_ROWDATA, 1, &stream_binding, 16, &handle, nullptr),
            S_OK);
        com_ref<handing_stream> stream = make_com<handing_stream>(text, hands_over);
        std::uint8_t buffer[16] = {};
        ISequentialStream* pointer = stream.get();
        std::memcpy(buffer, &pointer, sizeof pointer);
        const DBLENGTH length = text.size() * 2;
        std::memcpy(buffer + 8, &length, sizeof length);
        ASSERT_EQ(loader->InsertRow(handle, buffer), S_OK);
        ASSERT_EQ(loader->Commit(1), S_OK);
        EXPECT_EQ(stream->reads == 0, hands_over);
        const std::wstring prefix = L"INSERT INTO [t] ([name]) VALUES (?) <- ";
        const auto sent =
            std::find_if(m_script->trace.begin(), m_script->trace.end(),
                         [&](const std::wstring& entry) { return entry.starts_with(prefix); });
        ASSERT_NE(sent, m_script->trace.end());
        EXPECT_TRUE(sent->substr(prefix.size()) == plat::utf16_to_wide(text));
    }
}

TEST_F(FastLoadTest, WithoutBulkCopyRowsGoAsParameterisedInsertBatches)
{
    com_ref<IOpenRowset> session = open_session();
    com_ref<IRowsetFastLoad> loader;
    ASSERT_EQ(open_loader(session.get(), L"t", loader), S_OK);
    const HACCESSOR handle = accessor(loader.get());
    auto row = std::make_unique<test_row>();
    row->set(1, u"a", 2024);
    ASSERT_EQ(loader->InsertRow(handle, row.get()), S_OK);
    row->set(2, u"b", 2024);
    ASSERT_EQ(loader->InsertRow(handle, row.get()), S_OK);
    EXPECT_TRUE(m_script->trace.empty());
    ASSERT_EQ(loader->Commit(0), S_OK);
    EXPECT_EQ(load_trace(),
              (std::vector<std::wstring>{
                  L"SET IDENTITY_INSERT [t] ON",
                  L"INSERT INTO [t] ([id], [name], [stamp]) VALUES (?, ?, ?), (?, ?, ?) <- "
                  L"1|a|2024-1-2 3:4:5.0|2|b|2024-1-2 3:4:5.0"}));
}

// The columns the first row binds are the load's: the statements name them and no other (bulk
// copy would send every column), and a later accessor over other columns is refused.
TEST_F(FastLoadTest, LoadOfSomeColumnsBindsOnlyThemAndKeepsItsColumnList)
{
    m_script->bulk_copy = true;
    com_ref<IOpenRowset> session = open_session();
    com_ref<IRowsetFastLoad> loader;
    ASSERT_EQ(open_loader(session.get(), L"t", loader), S_OK);
    IAccessor* raw = nullptr;
    loader->QueryInterface(IID_IAccessor, reinterpret_cast<void**>(&raw));
    com_ref<IAccessor> access = com_ref<IAccessor>::attach(raw);
    const DBBINDING stamp_only[] = {binding(3, DBTYPE_DBTIMESTAMP, offsetof(test_row, stamp),
                                            offsetof(test_row, stamp_length),
                                            offsetof(test_row, stamp_status), sizeof(DBTIMESTAMP))};
    HACCESSOR handle = DB_NULL_HACCESSOR;
    ASSERT_EQ(access->CreateAccessor(DBACCESSOR_ROWDATA, 1, stamp_only, sizeof(test_row), &handle,
                                     nullptr),
              S_OK);
    auto row = std::make_unique<test_row>();
    row->set(1, u"a", 2024);
    ASSERT_EQ(loader->InsertRow(handle, row.get()), S_OK);
    const HACCESSOR every_column = accessor(loader.get());
    EXPECT_EQ(loader->InsertRow(every_column, row.get()), DB_E_BADACCESSORHANDLE);
    ASSERT_EQ(loader->Commit(1), S_OK);
    // The identity column is not loaded, so identity insertion stays off.
    EXPECT_EQ(load_trace(), (std::vector<std::wstring>{
                                L"INSERT INTO [t] ([stamp]) VALUES (?) <- 2024-1-2 3:4:5.0"}));
}

TEST_F(FastLoadTest, RefusedSwitchMissingTableAndUnreachableServerLeaveNoLoader)
{
    {
        test_support::scoped_env refuse("ZOV_NO_FAST_LOAD", "1");
        com_ref<IOpenRowset> session = open_session(DB_E_ERRORSOCCURRED);
        com_ref<IRowsetFastLoad> loader;
        EXPECT_EQ(open_loader(session.get(), L"t", loader), E_NOINTERFACE);
        EXPECT_FALSE(loader);
    }
    com_ref<IOpenRowset> session = open_session();
    com_ref<IRowsetFastLoad> loader;
    m_script->batches[L"SELECT * FROM [gone] WHERE 1=0"] = {
        fake_result{statement_failure(L"42S02", L"Invalid object name 'gone'."), {}, {}, -1, {}}};
    EXPECT_EQ(open_loader(session.get(), L"gone", loader), DB_E_NOTABLE);
    EXPECT_FALSE(loader);
    m_script->connect_status = failure_from_diagnostics(
        {diag_record{L"08001", 0, L"[FreeTDS][SQL Server]Unable to connect"}}, odbc_call::connect,
        L"fake");
    EXPECT_EQ(open_loader(session.get(), L"t", loader), E_FAIL);
    EXPECT_FALSE(loader);
}

} // namespace
