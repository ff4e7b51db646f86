// udb_custom_conversion_test.cpp: the conversion hooks with and without a rule list.
#include "tk/tk_exception.h"
#include "udb/udb_custom_conversion.h"

#include <gtest/gtest.h>
#include <memory>

namespace
{

// Handles 32-bit integer columns and values.
class int_rule : public udb_conversion_rule
{
public:
    bool accepts_value(const ole_variant& value) const override
    {
        return value.get_type() == VT_I4;
    }
    bool accepts_column(const t_ftd& column) const override { return column.vartype == VT_I4; }
    std::wstring value_text(const ole_variant& value) const override
    {
        return L"int:" + value.to_wstring();
    }
    void handle_column_value(const t_ftd&, ole_variant& value) const override
    {
        value = ole_variant(value.to_long() + 1);
    }
    std::wstring column_text(const t_ftd& column) const override { return L"INT " + column.name; }
};

const t_ftd int_column(4, L"n", VT_I4, false, false, ole_variant(), 0, L"");
const t_ftd text_column(4, L"s", VT_BSTR, false, false, ole_variant(), 0, L"");

TEST(UdbCustomConversion, WithoutRulesNothingApplies)
{
    ole_variant value(5);
    EXPECT_FALSE(udb_custom_conversion::is_acceptable1(int_column));
    EXPECT_FALSE(udb_custom_conversion::is_acceptable2(value));
    EXPECT_EQ(udb_custom_conversion::handle1(int_column), L"");
    udb_custom_conversion::handle1_1(int_column, value);
    EXPECT_EQ(value.to_long(), 5);
    EXPECT_EQ(udb_custom_conversion::handle2(value), L"");

    const udb_custom_conversion empty_list;
    EXPECT_EQ(udb_custom_conversion::handle2(value), L"");
}

TEST(UdbCustomConversion, FirstAcceptingRuleAnswers)
{
    udb_custom_conversion list;
    list.add_rule(std::make_unique<int_rule>());
    ole_variant value(5);
    EXPECT_TRUE(udb_custom_conversion::is_acceptable1(int_column));
    EXPECT_FALSE(udb_custom_conversion::is_acceptable1(text_column));
    EXPECT_TRUE(udb_custom_conversion::is_acceptable2(value));
    EXPECT_EQ(udb_custom_conversion::handle1(int_column), L"INT n");
    EXPECT_EQ(udb_custom_conversion::handle1(text_column), L"");
    EXPECT_EQ(udb_custom_conversion::handle2(value), L"int:5");
    udb_custom_conversion::handle1_1(int_column, value);
    EXPECT_EQ(value.to_long(), 6);
    // Callers ask is_acceptable2 first; a value no rule takes is a programming error.
    EXPECT_THROW(udb_custom_conversion::handle2(ole_variant(L"text")), tk_mail_assertion);
}

} // namespace
