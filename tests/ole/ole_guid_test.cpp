// ole_guid_test.cpp: finding a braced GUID after "guid" in a longer text.
#include "ole/ole_guid.h"

#include <gtest/gtest.h>
#include <string>

namespace
{

const std::wstring guid = L"{6F9619FF-8B86-D011-B42D-00C04FC964FF}";
const std::wstring other = L"{0000BEEF-0000-0000-0000-00000000CAFE}";

struct guid_case
{
    std::wstring text;
    int position; // -1: not found
    std::wstring hex;
};

TEST(OleGuid, FindsOnlyAWellFormedGuidAfterTheWord)
{
    const guid_case cases[] = {
        {L"row guid = " + guid + L" end", 11, L"6F9619FF8B86D011B42D00C04FC964FF"},
        {L"GUID: " + guid + L" and more text", 6, L"6F9619FF8B86D011B42D00C04FC964FF"},
        {L"guid {not-a-guid} then " + guid, 23, L"6F9619FF8B86D011B42D00C04FC964FF"},
        {L"GUID " + other + L" guid " + guid, 49, L"6F9619FF8B86D011B42D00C04FC964FF"},
        {L"guid " + guid, -1, L""}, // 43 characters: too short
        {L"{\"guid\": {\"a\": 1}, \"other\": \"xxxxxxxxxxxxxxxxxxxxxxxx\"}", -1, L""},
        {L"some text with guid and a long tail of words {abc", -1, L""},
        {L"some text with guid and a long tail of words " + guid.substr(0, 30), -1, L""},
        {guid + L" is the guid value here", -1, L""},
        {L"guid {6F9619FG-8B86-D011-B42D-00C04FC964FF} padding", -1, L""},
        {L"guid {6F9619FF08B86-D011-B42D-00C04FC964FF} padding", -1, L""},
        {L"guid {6F9619FF-8B86-D011-B42D-00C04FC964FF) padding", -1, L""},
        {L"a long text that holds " + guid + L" without the word", -1, L""},
    };
    for (const guid_case& c : cases)
    {
        SCOPED_TRACE(testing::Message() << "text '" << c.text << "'");
        const ole_guid_extractor extractor(c.text);
        EXPECT_EQ(extractor.found, c.position >= 0);
        EXPECT_EQ(extractor.position, c.position);
        EXPECT_EQ(extractor.get_hex_digits(), c.hex);
        EXPECT_EQ(extractor.get(), c.position >= 0 ? c.text.substr(c.position, 38) : L"");
        EXPECT_EQ(extractor.text, c.text);
    }
}

} // namespace
