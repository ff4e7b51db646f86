// udb_custom_conversion.h: the process-wide list of custom conversion rules and its hooks.
#pragma once

#include "ole/ole_variant.h"
#include "tk/tk_singleton.h"
#include "udb/t_ftd.h"
#include "udb/udb_conversion_rule.h"

#include <memory>
#include <string>
#include <vector>

/// The plug-in point for per-column and per-value conversion rules. Neither program creates the
/// list, so every hook answers that no rule applies and the conversion takes its built-in path;
/// an owner that wants rules builds one instance (on its stack) and adds them.
class udb_custom_conversion : public tk_singleton<udb_custom_conversion>
{
public:
    udb_custom_conversion();
    ~udb_custom_conversion() override;

    /// Appends a rule; rules are consulted in the order added.
    void add_rule(std::unique_ptr<udb_conversion_rule> rule);
    const std::vector<std::unique_ptr<udb_conversion_rule>>& rules() const { return m_rules; }

    /// True when some rule accepts the column.
    static bool is_acceptable1(const t_ftd& column);
    /// True when some rule accepts the value.
    static bool is_acceptable2(const ole_variant& value);
    /// The column text of the first rule that accepts the column; empty when none does.
    static std::wstring handle1(const t_ftd& column);
    /// Lets the first rule that accepts the column handle the pair; nothing when none does.
    static void handle1_1(const t_ftd& column, ole_variant& value);
    /// The value text of the first rule that accepts the value; empty without rules. Throws
    /// tk_mail_assertion ("udb_rule", 88) when there are rules and none accepts (callers ask
    /// is_acceptable2 first).
    static std::wstring handle2(const ole_variant& value);

private:
    std::vector<std::unique_ptr<udb_conversion_rule>> m_rules;
};
