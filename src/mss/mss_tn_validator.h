// mss_tn_validator.h: SQL Server's rules for table and view names and their repair by prefixing.
#pragma once

#include "udb/udb_validator.h"

#include <string>
#include <vector>

/// SQL Server names: no length limit, no restricted words, no illegal characters. A name is
/// acceptable when it is bracketed or starts with a letter (any script) or "_".
class mss_validator : public udb_validator
{
public:
    mss_validator();

    /// True for well-formed bracketed parts ("[1 odd name]") and for names whose first
    /// character is a letter in the C.UTF-8 classes or "_". Throws tk_mail_assertion
    /// ("mss_vali", 65) for the empty name.
    bool is_acceptable(const std::wstring& name) const override;
    /// The name with prefixes from the cycle "_", "1", "_", "2", "_", "3", ... put in front
    /// until no existing name equals it without regard to case (T, then _T, 1_T, _1_T, 2_1_T).
    /// A name that is not taken comes back unchanged; the result is not added to the list.
    std::wstring get_safe_name(const std::wstring& name) const override;
};

/// The table-name validator of a conversion run and of view creation.
class mss_tn_validator : public mss_validator
{
public:
    /// Enters every name of `selected` and then of `existing` as existing names.
    mss_tn_validator(const std::vector<std::wstring>& selected,
                     const std::vector<std::wstring>& existing);
};
