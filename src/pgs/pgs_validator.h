// pgs_validator.h: PostgreSQL's rules for the names of tables, columns and indexes.
#pragma once

#include "tk/tk_singleton.h"
#include "udb/udb_indexes.h"
#include "udb/udb_record.h"
#include "udb/udb_schema.h"
#include "udb/udb_validator.h"

#include <string>
#include <vector>

/// PostgreSQL identifiers: at most 63 characters, a letter or digit first, then letters,
/// digits, blanks, '$', '.' and '_'; not a restricted word (compared without case).
class pgs_validator : public udb_validator
{
public:
    pgs_validator();

    /// The name is not empty, fits, starts with a letter or digit, holds only allowed
    /// characters and is not restricted. Existing names are is_duplicated's business.
    bool is_acceptable(const std::wstring& name) const override;
    /// Puts "A" before a name that does not start with a letter or digit, cuts it to 62
    /// characters when longer than 63, replaces every other disallowed character by '_', then
    /// takes the base's numbered search for a free form.
    std::wstring get_safe_name(const std::wstring& name) const override;
    /// Makes `name` unacceptable from now on (compared without case), so that a later name
    /// equal to it gets a safe form instead.
    void add_used_name(const std::wstring& name) { add_restricted_name(name); }

    /// Longest PostgreSQL identifier in characters.
    static constexpr int max_identifier = 63;
};

/// Column names of one table: seeded with the table's existing columns.
class pgs_fn_validator : public pgs_validator
{
public:
    /// Enters the name of each column descriptor as an existing name.
    explicit pgs_fn_validator(const udb_schema& columns);
    /// Enters the name of each field as an existing name.
    explicit pgs_fn_validator(const udb_record& fields);
};

/// Index names; one instance for the whole process, held by the engine.
class pgs_in_validator : public tk_singleton<pgs_in_validator>, public pgs_validator
{
public:
    /// Registers the process's instance; a second live one throws tk_mail_assertion.
    pgs_in_validator();
    /// Registers the instance and enters the names of a table's indexes as existing names.
    explicit pgs_in_validator(const udb_indexes& indexes);
    ~pgs_in_validator() override;

    /// Enters the names of a table's indexes as existing names.
    void add_index_names(const udb_indexes& indexes);
};
