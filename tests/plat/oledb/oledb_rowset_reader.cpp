// oledb_rowset_reader.cpp: the test-side reader of rowsets.
#include "oledb_rowset_reader.h"

#include "plat/plat_text.h"

#include <cstring>
#include <gtest/gtest.h>

namespace oledb_test
{

rowset_contents read_rowset(IRowset* rowset, DBROWCOUNT batch)
{
    rowset_contents contents;
    IColumnsInfo* info = nullptr;
    EXPECT_EQ(rowset->QueryInterface(IID_IColumnsInfo, reinterpret_cast<void**>(&info)), S_OK);
    DBORDINAL count = 0;
    DBCOLUMNINFO* columns = nullptr;
    EXPECT_EQ(info->GetColumnInfo(&count, &columns, nullptr), S_OK);
    info->Release();
    constexpr DBLENGTH value_size = 2002;
    std::vector<DBBINDING> bindings(count);
    for (DBORDINAL column = 0; column < count; ++column)
    {
        contents.names.emplace_back(columns[column].pwszName);
        contents.types.push_back(columns[column].wType);
        DBBINDING& binding = bindings[column];
        binding = DBBINDING{};
        binding.iOrdinal = column + 1;
        binding.obStatus = column * (value_size + 8);
        binding.obLength = binding.obStatus + 4;
        binding.obValue = binding.obStatus + 8;
        binding.dwPart = DBPART_VALUE | DBPART_LENGTH | DBPART_STATUS;
        binding.cbMaxLen = value_size;
        binding.wType = DBTYPE_WSTR;
    }
    CoTaskMemFree(columns);
    IAccessor* accessor = nullptr;
    EXPECT_EQ(rowset->QueryInterface(IID_IAccessor, reinterpret_cast<void**>(&accessor)), S_OK);
    HACCESSOR handle = 0;
    EXPECT_EQ(
        accessor->CreateAccessor(DBACCESSOR_ROWDATA, count, bindings.data(), 0, &handle, nullptr),
        S_OK);
    std::vector<std::uint8_t> buffer(count * (value_size + 8) + 1);
    for (;;)
    {
        std::vector<HROW> handles(static_cast<std::size_t>(batch));
        HROW* rows = handles.data();
        DBCOUNTITEM obtained = 0;
        const HRESULT hr = rowset->GetNextRows(DB_NULL_HCHAPTER, 0, batch, &obtained, &rows);
        EXPECT_TRUE(hr == S_OK || hr == DB_S_ENDOFROWSET) << std::hex << hr;
        contents.batches.push_back(obtained);
        for (DBCOUNTITEM row_idx = 0; row_idx < obtained; ++row_idx)
        {
            EXPECT_EQ(rowset->GetData(handles[row_idx], handle, buffer.data()), S_OK);
            text_row values;
            for (const DBBINDING& binding : bindings)
            {
                DBSTATUS status = 0;
                DBLENGTH length = 0;
                std::memcpy(&status, buffer.data() + binding.obStatus, 4);
                std::memcpy(&length, buffer.data() + binding.obLength, 4);
                if (status == DBSTATUS_S_ISNULL)
                {
                    values.emplace_back(std::nullopt);
                    continue;
                }
                std::u16string text(length / 2, u'\0');
                std::memcpy(text.data(), buffer.data() + binding.obValue, length);
                values.emplace_back(plat::utf16_to_wide(text));
            }
            contents.rows.push_back(std::move(values));
        }
        rowset->ReleaseRows(obtained, handles.data(), nullptr, nullptr, nullptr);
        if (hr != S_OK || obtained == 0)
        {
            break;
        }
    }
    accessor->ReleaseAccessor(handle, nullptr);
    accessor->Release();
    return contents;
}

} // namespace oledb_test
