// mss_fast_load_test.cpp: the bulk loader over a recording IRowsetFastLoad: commit cadence,
// binding sizes and kinds, NULLs, refused oversize values, failures to replay; and CSeqStream.
#include "mss/mss_fast_load.h"
#include "mss/mss_seq_stream.h"
#include "plat/oledb/oledb_com.h"

#include <cmath>
#include <cstring>
#include <gtest/gtest.h>
#include <thread>

namespace
{

struct fake_column
{
    const wchar_t* name;
    DBTYPE type;
    DBLENGTH size;
};

// Records InsertRow and Commit; a scripted Commit fails with a replay count.
class recording_loader final
    : public plat::oledb::com_object<IRowsetFastLoad, IAccessor, IColumnsInfo, IFastLoadReplay>
{
public:
    explicit recording_loader(std::vector<fake_column> columns)
        : m_columns(std::move(columns))
    {
    }
    HRESULT InsertRow(HACCESSOR, void* data) override
    {
        ++inserted;
        last_row.assign(static_cast<std::uint8_t*>(data),
                        static_cast<std::uint8_t*>(data) + row_size);
        return S_OK;
    }
    HRESULT Commit(BOOL done) override
    {
        commit_thread = std::this_thread::get_id();
        // S_FALSE: COM was initialised on this thread already.
        com_ready = CoInitialize(nullptr) == S_FALSE;
        CoUninitialize();
        commits.push_back(inserted * 10 + (done != 0 ? 1 : 0));
        if (fail_commit_at == static_cast<int>(commits.size()))
        {
            m_lost = 1000;
            return DB_E_INTEGRITYVIOLATION;
        }
        m_lost = 0;
        return S_OK;
    }
    HRESULT GetRowsToReplay(DBCOUNTITEM* rows) override
    {
        *rows = m_lost;
        return S_OK;
    }
    HRESULT GetRowPath(load_row_path* path) override
    {
        *path = load_row_path::batch;
        return S_OK;
    }
    HRESULT CreateAccessor(DBACCESSORFLAGS, DBCOUNTITEM count, const DBBINDING given[],
                           DBLENGTH size, HACCESSOR* handle, DBBINDSTATUS[]) override
    {
        bindings.assign(given, given + count);
        row_size = size;
        *handle = 1;
        return S_OK;
    }
    HRESULT ReleaseAccessor(HACCESSOR, DBREFCOUNT*) override { return S_OK; }
    HRESULT GetColumnInfo(DBORDINAL* count, DBCOLUMNINFO** info, OLECHAR** strings) override
    {
        auto* entries =
            static_cast<DBCOLUMNINFO*>(CoTaskMemAlloc(m_columns.size() * sizeof(DBCOLUMNINFO)));
        for (std::size_t column_idx = 0; column_idx < m_columns.size(); ++column_idx)
        {
            entries[column_idx] = DBCOLUMNINFO{};
            entries[column_idx].pwszName = const_cast<wchar_t*>(m_columns[column_idx].name);
            entries[column_idx].iOrdinal = static_cast<DBORDINAL>(column_idx + 1);
            entries[column_idx].wType = m_columns[column_idx].type;
            entries[column_idx].ulColumnSize = m_columns[column_idx].size;
            entries[column_idx].bPrecision = 10;
            entries[column_idx].bScale = 7;
        }
        *count = static_cast<DBORDINAL>(m_columns.size());
        *info = entries;
        if (strings != nullptr)
        {
            *strings = nullptr;
        }
        return S_OK;
    }

    int inserted = 0;
    int fail_commit_at = -1;
    std::thread::id commit_thread;
    bool com_ready = false;
    std::vector<int> commits;
    std::vector<DBBINDING> bindings;
    DBLENGTH row_size = 0;
    std::vector<std::uint8_t> last_row;

private:
    std::vector<fake_column> m_columns;
    DBCOUNTITEM m_lost = 0;
};

// A session that opens the recording loader.
class loader_session final : public plat::oledb::com_object<IOpenRowset>
{
public:
    explicit loader_session(recording_loader* loader)
        : m_loader(loader)
    {
    }
    HRESULT OpenRowset(IUnknown*, DBID*, DBID*, REFIID riid, ULONG, DBPROPSET[],
                       IUnknown** rowset) override
    {
        return m_loader->QueryInterface(riid, reinterpret_cast<void**>(rowset));
    }

private:
    recording_loader* m_loader;
};

class FastLoad : public testing::Test
{
protected:
    void open(std::vector<fake_column> columns, const mss_target& target = {})
    {
        m_loader = plat::oledb::make_com<recording_loader>(std::move(columns));
        m_session = plat::oledb::make_com<loader_session>(m_loader.get());
        DBID table{};
        table.eKind = DBKIND_NAME;
        ASSERT_NO_THROW(m_fast_load.open_table(m_session.get(), &table, m_schema, target));
    }

    template <class T>
    T slot(std::uint32_t column_idx, std::size_t extra = 0) const
    {
        T value{};
        std::memcpy(&value, m_loader->last_row.data() + extra, sizeof value);
        (void)column_idx;
        return value;
    }

    udb_schema m_schema;
    plat::oledb::com_ref<recording_loader> m_loader;
    plat::oledb::com_ref<loader_session> m_session;
    mss_fast_load m_fast_load;
};

TEST_F(FastLoad, CommitsAfterEveryThousandRowsAndAtTheEnd)
{
    open({{L"id", DBTYPE_I4, 4}});
    for (std::int32_t id = 1; id <= 2500; ++id)
    {
        ASSERT_TRUE(m_fast_load.bind_data2(&id, 4, 1));
        m_fast_load.insert_data();
    }
    m_fast_load.close_table();
    EXPECT_EQ(m_loader->commits, (std::vector<int>{10000, 20000, 25001}));
    EXPECT_FALSE(m_fast_load.is_open());
}

TEST_F(FastLoad, BackgroundCommitRunsOnItsOwnThreadAndHandsItsFailureOver)
{
    open({{L"id", DBTYPE_I4, 4}});
    m_loader->fail_commit_at = 1;
    m_fast_load.set_background_commits(true);
    ASSERT_TRUE(m_fast_load.rows_copyable());
    for (std::int32_t id = 1; id <= 1000; ++id)
    {
        ASSERT_TRUE(m_fast_load.bind_data2(&id, 4, 1));
        m_fast_load.insert_data();
    }
    EXPECT_TRUE(m_fast_load.commit_running());
    EXPECT_EQ(m_fast_load.rows_since_commit(), 1000u);
    // The next row is bound and copied meanwhile; it may not be sent before the commit ends.
    std::vector<std::uint8_t> waiting(m_fast_load.accessor().row_size());
    std::int32_t next = 1001;
    ASSERT_TRUE(m_fast_load.bind_data2(&next, 4, 1));
    m_fast_load.take_row(waiting.data());
    EXPECT_THROW(m_fast_load.insert_data(waiting.data()), tk_mail_assertion);
    try
    {
        m_fast_load.finish_commit();
        ADD_FAILURE() << "no exception";
    }
    catch (const mss_fast_load_exception& failure)
    {
        EXPECT_EQ(failure.rows_to_replay(), 1000u);
        EXPECT_TRUE(failure.in_commit());
        EXPECT_EQ(failure.code(), odb_integrity_violation_code);
    }
    EXPECT_NE(m_loader->commit_thread, std::this_thread::get_id());
    EXPECT_TRUE(m_loader->com_ready);
    EXPECT_FALSE(m_fast_load.commit_running());
    EXPECT_EQ(m_fast_load.rows_since_commit(), 0u);
    std::int32_t other = 7;
    ASSERT_TRUE(m_fast_load.bind_data2(&other, 4, 1));
    m_fast_load.insert_data(waiting.data());
    EXPECT_EQ(slot<std::int32_t>(0), 1001);
    m_fast_load.close_table();
    EXPECT_EQ(m_loader->commits, (std::vector<int>{10000, 10011}));
}

TEST_F(FastLoad, ColumnsUpTo8000BytesAreBoundInPlaceAndLargerOnesAsPointerSizedStreams)
{
    open({{L"a", DBTYPE_STR, 8000},
          {L"b", DBTYPE_STR, 8001},
          {L"c", DBTYPE_WSTR, 4000},
          {L"d", DBTYPE_NUMERIC, 19},
          {L"e", DBTYPE_BYTES, DB_LONG_COLUMN_SIZE}});
    const std::vector<DBBINDING>& bindings = m_loader->bindings;
    ASSERT_EQ(bindings.size(), 5u);
    const struct
    {
        DBTYPE type;
        DBLENGTH size;
    } expected[] = {{DBTYPE_STR, 8001},
                    {DBTYPE_IUNKNOWN, sizeof(void*)},
                    {DBTYPE_WSTR, 8002},
                    {DBTYPE_WSTR, 102},
                    {DBTYPE_IUNKNOWN, sizeof(void*)}};
    for (std::size_t column_idx = 0; column_idx < 5; ++column_idx)
    {
        SCOPED_TRACE(column_idx);
        EXPECT_EQ(bindings[column_idx].wType, expected[column_idx].type);
        EXPECT_EQ(bindings[column_idx].cbMaxLen, expected[column_idx].size);
        EXPECT_EQ(bindings[column_idx].obValue % 8, 0u);
        EXPECT_GE(bindings[column_idx].obLength,
                  bindings[column_idx].obValue + expected[column_idx].size);
        EXPECT_EQ(bindings[column_idx].obStatus, bindings[column_idx].obLength + 4);
    }
    EXPECT_EQ(bindings[1].pObject->iid, IID_ISequentialStream);
    EXPECT_LE(bindings[4].obStatus + 4, m_loader->row_size);
}

TEST_F(FastLoad, NullOversizeAndStreamValues)
{
    open({{L"a", DBTYPE_I2, 2}, {L"b", DBTYPE_BYTES, DB_LONG_COLUMN_SIZE}});
    const DBBINDING a = m_loader->bindings[0];
    const DBBINDING b = m_loader->bindings[1];
    const std::int32_t four_bytes = 7;
    EXPECT_FALSE(m_fast_load.bind_data2(&four_bytes, 4, 1));
    EXPECT_FALSE(m_fast_load.bind_data2(&four_bytes, 2, 3));
    ASSERT_TRUE(m_fast_load.bind_data2(nullptr, 0, 1));
    CSeqStream* stream = CSeqStream::create();
    stream->Write("xyz", 3, nullptr);
    stream->AddRef();
    ASSERT_TRUE(m_fast_load.bind_data3(&stream, sizeof stream, 3, 2));
    m_fast_load.insert_data();
    EXPECT_EQ(slot<DBSTATUS>(0, a.obStatus), DBSTATUS_S_ISNULL);
    EXPECT_EQ(slot<DBSTATUS>(1, b.obStatus), DBSTATUS_S_OK);
    EXPECT_EQ(slot<DBLENGTH>(1, b.obLength), 3u);
    EXPECT_EQ(slot<CSeqStream*>(1, b.obValue), stream);
    // Binding the next value releases the loader's reference; close_table the last one.
    ASSERT_TRUE(m_fast_load.bind_data3(nullptr, 0, 0, 2));
    EXPECT_EQ(stream->AddRef(), 2u);
    stream->Release();
    stream->Release();
    m_fast_load.close_table();
}

TEST_F(FastLoad, DateColumnsNarrowOnlyWithTheModernDateTypes)
{
    t_ftd date_only(0, L"d", VT_DATE, false, false, ole_variant(), t_ftd::date_only, L"");
    t_ftd time_only(0, L"t", VT_DATE, false, false, ole_variant(), t_ftd::time_only, L"");
    m_schema.push_back(&date_only);
    m_schema.push_back(&time_only);
    const std::vector<fake_column> columns = {{L"d", DBTYPE_DBTIMESTAMP, 16},
                                              {L"t", DBTYPE_DBTIMESTAMP, 16}};
    open(columns, mss_target{.version_code = 5, .native_client = true});
    EXPECT_EQ(m_loader->bindings[0].wType, DBTYPE_DBDATE);
    EXPECT_EQ(m_loader->bindings[0].cbMaxLen, 6u);
    EXPECT_EQ(m_loader->bindings[1].wType, DBTYPE_DBTIME2);
    EXPECT_EQ(m_loader->bindings[1].cbMaxLen, 12u);
    mss_fast_load old_server;
    DBID table{};
    table.eKind = DBKIND_NAME;
    auto loader = plat::oledb::make_com<recording_loader>(columns);
    auto session = plat::oledb::make_com<loader_session>(loader.get());
    ASSERT_NO_THROW(old_server.open_table(session.get(), &table, m_schema,
                                          mss_target{.version_code = 1, .native_client = true}));
    EXPECT_EQ(loader->bindings[0].wType, DBTYPE_DBTIMESTAMP);
    EXPECT_EQ(loader->bindings[0].cbMaxLen, 16u);
}

TEST_F(FastLoad, DoubleIntoANumericColumnIsDecimalText)
{
    open({{L"n", DBTYPE_NUMERIC, 19}});
    m_fast_load.bind_data1(-12.5, 1);
    m_fast_load.insert_data();
    const DBBINDING n = m_loader->bindings[0];
    EXPECT_EQ(slot<DBLENGTH>(0, n.obLength), 10u);
    std::u16string text(5, u'\0');
    std::memcpy(text.data(), m_loader->last_row.data() + n.obValue, 10);
    EXPECT_EQ(text, u"-12.5");
    EXPECT_THROW(m_fast_load.bind_data1(std::nan(""), 1), tk_exception);
}

TEST_F(FastLoad, FailedCommitTellsHowManyRowsToReplay)
{
    open({{L"id", DBTYPE_I4, 4}});
    m_loader->fail_commit_at = 1;
    std::int32_t id = 1;
    ASSERT_TRUE(m_fast_load.bind_data2(&id, 4, 1));
    for (int row = 1; row < 1000; ++row)
    {
        m_fast_load.insert_data();
    }
    try
    {
        m_fast_load.insert_data();
        FAIL() << "the failed commit was not reported";
    }
    catch (const mss_fast_load_exception& failure)
    {
        EXPECT_EQ(failure.rows_to_replay(), 1000u);
        EXPECT_EQ(failure.code(), 0x80E2F);
    }
    EXPECT_TRUE(m_fast_load.is_open());
    m_fast_load.insert_data();
    m_fast_load.close_table();
    EXPECT_EQ(m_loader->commits, (std::vector<int>{10000, 10011}));
}

TEST(SeqStream, ReadsInPiecesAndEndsWithSFalse)
{
    CSeqStream* stream = CSeqStream::create();
    ASSERT_EQ(stream->Write("0123456789", 10, nullptr), S_OK);
    char buffer[4];
    ULONG read = 9;
    const struct
    {
        HRESULT hr;
        ULONG read;
    } steps[] = {{S_OK, 4}, {S_OK, 4}, {S_FALSE, 2}, {S_FALSE, 0}};
    for (const auto& step : steps)
    {
        EXPECT_EQ(stream->Read(buffer, 4, &read), step.hr);
        EXPECT_EQ(read, step.read);
    }
    EXPECT_EQ(stream->Read(nullptr, 4, &read), STG_E_INVALIDPOINTER);
    EXPECT_EQ(stream->Release(), 0u);
}

TEST(SeqStream, SecondWriteLandsAtTheUnmovedPosition)
{
    CSeqStream* stream = CSeqStream::create();
    ULONG written = 0;
    stream->Write("abc", 3, &written);
    stream->Write("def", 3, &written);
    EXPECT_EQ(written, 3u);
    EXPECT_EQ(stream->size(), 6u);
    EXPECT_TRUE(stream->compare("def\0\0\0", 6));
    void* unknown = nullptr;
    EXPECT_EQ(stream->QueryInterface(IID_IDataConvert, &unknown), E_NOINTERFACE);
    EXPECT_EQ(unknown, nullptr);
    // Moved to the end, the position takes a write after what is there.
    ASSERT_TRUE(stream->seek(6));
    stream->Write("gh", 2, &written);
    EXPECT_TRUE(stream->compare("def\0\0\0gh", 8));
    stream->clear();
    EXPECT_EQ(stream->size(), 0u);
    stream->Release();
}

// How a stream was filled, and what the loader asks it for.
struct hand_over_case
{
    const char* name;
    void (*fill)(CSeqStream& stream);
    // 0 bytes, 1 UTF-8, 2 UTF-16.
    int asked;
    bool read_first;
    bool handed_over;
};

void held_utf16(CSeqStream& stream)
{
    stream.hold(std::u16string(u"held whole, not copied: h\u00e9\U0001F600"));
}

void held_utf8(CSeqStream& stream)
{
    stream.hold(std::string("held whole, not copied: h\xc3\xa9"));
}

void held_bytes(CSeqStream& stream)
{
    stream.hold(std::vector<std::uint8_t>{1, 2, 3, 4, 5, 6, 7, 8, 9});
}

void written(CSeqStream& stream)
{
    stream.Write("abc", 3, nullptr);
}

// A value held whole goes to whoever takes it in that form, the very buffer and no copy; the
// stream is empty then and a read fails rather than giving an empty value. Any other form, or a
// stream read in part, is left to be read.
TEST(SeqStream, HandsItsContentOverWholeOnlyInTheFormItHoldsIt)
{
    const std::vector<hand_over_case> cases = {
        {"UTF-16 taken as UTF-16", held_utf16, 2, false, true},
        {"UTF-8 taken as UTF-8", held_utf8, 1, false, true},
        {"bytes taken as bytes", held_bytes, 0, false, true},
        {"written bytes taken as bytes", written, 0, false, true},
        {"UTF-16 asked as bytes", held_utf16, 0, false, false},
        {"UTF-8 asked as UTF-16", held_utf8, 2, false, false},
        {"bytes asked as UTF-8", held_bytes, 1, false, false},
        {"UTF-16 read in part", held_utf16, 2, true, false},
    };
    for (const hand_over_case& entry : cases)
    {
        SCOPED_TRACE(entry.name);
        CSeqStream* stream = CSeqStream::create();
        entry.fill(*stream);
        const std::vector<std::uint8_t> before(stream->buffer(), stream->buffer() + stream->size());
        const std::uint8_t* const held = stream->buffer();
        if (entry.read_first)
        {
            char first[2];
            ASSERT_EQ(stream->Read(first, 2, nullptr), S_OK);
        }
        void* raw = nullptr;
        ASSERT_EQ(stream->QueryInterface(IID_IStreamHandOver, &raw), S_OK);
        auto* hand_over = static_cast<IStreamHandOver*>(raw);
        std::vector<std::uint8_t> bytes;
        std::string utf8;
        std::u16string utf16;
        HRESULT hr = E_FAIL;
        const std::uint8_t* taken = nullptr;
        std::size_t taken_size = 0;
        switch (entry.asked)
        {
        case 0:
            hr = hand_over->TakeBytes(bytes);
            taken = bytes.data();
            taken_size = bytes.size();
            break;
        case 1:
            hr = hand_over->TakeUtf8(utf8);
            taken = reinterpret_cast<const std::uint8_t*>(utf8.data());
            taken_size = utf8.size();
            break;
        default:
            hr = hand_over->TakeUtf16(utf16);
            taken = reinterpret_cast<const std::uint8_t*>(utf16.data());
            taken_size = utf16.size() * 2;
            break;
        }
        hand_over->Release();
        char rest[64];
        ULONG read = 0;
        if (entry.handed_over)
        {
            EXPECT_EQ(hr, S_OK);
            EXPECT_EQ(taken, held);
            EXPECT_EQ(std::vector<std::uint8_t>(taken, taken + taken_size), before);
            EXPECT_EQ(stream->size(), 0u);
            EXPECT_EQ(stream->Read(rest, sizeof rest, &read), E_UNEXPECTED);
            EXPECT_EQ(read, 0u);
        }
        else
        {
            EXPECT_EQ(hr, S_FALSE);
            EXPECT_EQ(taken_size, 0u);
            EXPECT_EQ(stream->size(), before.size());
            const std::size_t from = entry.read_first ? 2 : 0;
            EXPECT_EQ(stream->Read(rest, sizeof rest, &read), S_FALSE);
            EXPECT_EQ(std::vector<std::uint8_t>(rest, rest + read),
                      std::vector<std::uint8_t>(before.begin() + from, before.end()));
        }
        EXPECT_EQ(stream->Release(), 0u);
    }
}

} // namespace
