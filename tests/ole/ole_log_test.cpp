// ole_log_test.cpp: the trace lines that field values and dates write.
#include "ole/ole_date.h"
#include "ole/ole_exception.h"
#include "ole/ole_guid.h"
#include "ole/ole_variant.h"
#include "test_support.h"
#include "tk/tk_logger.h"

#include <gtest/gtest.h>
#include <string>

namespace
{

using test_support::read_file;
using test_support::temp_dir;

TEST(OleLog, RefusedTextIsLoggedWithItsResult)
{
    temp_dir dir;
    const std::string path = dir.file("ole.log");
    {
        tk_logger logger(path.c_str(), true, 2, false);
        EXPECT_EQ(ole_variant("x", VT_CY).get_type(), VT_EMPTY);
        EXPECT_EQ(ole_variant("1e30", VT_DECIMAL).get_type(), VT_EMPTY);
        EXPECT_EQ(ole_variant("0x0A1", VT_BLOB).get_type(), VT_EMPTY);
        EXPECT_EQ(ole_variant("0x0AZZ", VT_BLOB).get_type(), VT_EMPTY);
        EXPECT_FALSE(ole_date(std::string("now()")).is_valid());
    }
    EXPECT_EQ(read_file(path), "VarCyFromStr failed: 80020005\r\n"
                               "VarDecFromStr failed: 8002000A\r\n"
                               "Incorrect BLOB (size is odd)\r\n"
                               "Incorrect BLOB (not hexadecimal at 4)\r\n"
                               "Invalid date/time format: 'now()'\r\n");
}

TEST(OleLog, OperationsNameThemselvesAtLevelOne)
{
    temp_dir dir;
    const std::string path = dir.file("ole.log");
    {
        tk_logger logger(path.c_str(), true, 1, false);
        ole_variant value(42);
        value.change_type(VT_BSTR);
    }
    EXPECT_EQ(read_file(path), "ole_variant::ctor from int(42)\r\n"
                               "ole_variant::change_type(old=3,new=8)\r\n");
}

// Every kind through every operation with all lines written: the formats must match their
// arguments (the sanitizers watch).
TEST(OleLog, EveryOperationFormatsItsLines)
{
    temp_dir dir;
    const std::string path = dir.file("ole.log");
    tk_logger logger(path.c_str(), true, 1, false);
    const VARTYPE kinds[] = {VT_I2,   VT_I4,   VT_R4,      VT_R8,  VT_CY,   VT_DATE,
                             VT_BSTR, VT_BOOL, VT_DECIMAL, VT_I1,  VT_UI1,  VT_UI2,
                             VT_UI4,  VT_I8,   VT_UI8,     VT_INT, VT_UINT, VT_BYTE_ARRAY};
    for (const VARTYPE from : kinds)
    {
        const std::string text = from == VT_DATE ? "2020-12-25 10:11:12.5" : "12";
        for (const VARTYPE to : kinds)
        {
            ole_variant value(text, from);
            value.to_string();
            value.to_wstring();
            try
            {
                value.change_type(to);
            }
            catch (const ole_cast_exception&)
            {
            }
            ole_variant copy(value);
            copy = value;
        }
    }
    const ole_guid_extractor guid(
        L"guid {6F9619FF-8B86-D011-B42D-00C04FC964FF} and some more text");
    EXPECT_TRUE(guid.found);
    EXPECT_EQ(ole_date(std::string("Dec 25 2020 10:11PM")).to_string(true), "2020-12-25 22:11:00");
    const std::string log = read_file(path);
    EXPECT_NE(log.find("ole_date::ole_date('Dec 25 2020 10:11PM')\r\n"), std::string::npos);
    EXPECT_NE(log.find("Got datetime using Microsoft API\r\n"), std::string::npos);
    EXPECT_NE(log.find("Locating 'guid' (0 : -1)\r\n"), std::string::npos);
}

} // namespace
