// udb_custom_conversion.cpp: the hooks that consult the custom rules, when a rule list exists.
#include "udb/udb_custom_conversion.h"

#include "tk/tk_exception.h"
#include "tk/tk_logger.h"

#include <utility>

namespace
{
const udb_conversion_rule* first_for_column(const t_ftd& column)
{
    if (const udb_custom_conversion* list = udb_custom_conversion::find())
    {
        for (const auto& rule : list->rules())
        {
            if (rule->accepts_column(column))
            {
                return rule.get();
            }
        }
    }
    return nullptr;
}

const udb_conversion_rule* first_for_value(const ole_variant& value)
{
    if (const udb_custom_conversion* list = udb_custom_conversion::find())
    {
        for (const auto& rule : list->rules())
        {
            if (rule->accepts_value(value))
            {
                return rule.get();
            }
        }
    }
    return nullptr;
}
} // namespace

udb_custom_conversion::udb_custom_conversion() = default;

udb_custom_conversion::~udb_custom_conversion() = default;

void udb_custom_conversion::add_rule(std::unique_ptr<udb_conversion_rule> rule)
{
    if (rule != nullptr)
    {
        m_rules.push_back(std::move(rule));
    }
}

bool udb_custom_conversion::is_acceptable1(const t_ftd& column)
{
    tk_log(1, "udb_custom_conversion::is_acceptable1");
    return first_for_column(column) != nullptr;
}

bool udb_custom_conversion::is_acceptable2(const ole_variant& value)
{
    tk_log(1, "udb_custom_conversion::is_acceptable2");
    return first_for_value(value) != nullptr;
}

std::wstring udb_custom_conversion::handle1(const t_ftd& column)
{
    tk_log(1, "udb_custom_conversion::handle1");
    const udb_conversion_rule* rule = first_for_column(column);
    return rule != nullptr ? rule->column_text(column) : std::wstring();
}

void udb_custom_conversion::handle1_1(const t_ftd& column, ole_variant& value)
{
    tk_log(1, "udb_custom_conversion::handle1_1");
    if (const udb_conversion_rule* rule = first_for_column(column))
    {
        rule->handle_column_value(column, value);
    }
}

std::wstring udb_custom_conversion::handle2(const ole_variant& value)
{
    tk_log(1, "udb_custom_conversion::handle2");
    const udb_custom_conversion* list = find();
    if (list == nullptr || list->rules().empty())
    {
        return {};
    }
    if (const udb_conversion_rule* rule = first_for_value(value))
    {
        return rule->value_text(value);
    }
    throw tk_mail_assertion("udb_rule", 88);
}
