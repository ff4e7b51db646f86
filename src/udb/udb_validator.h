// udb_validator.h: the engine-neutral rules for object names on one side of a conversion.
#pragma once

#include <map>
#include <string>
#include <vector>

/// Says whether a table, column or index name may be used as it is, whether it is already taken,
/// and makes a safe replacement. The engine sides derive from it: their constructors set the
/// limit and fill the illegal characters and restricted names; callers add each name they create
/// with add_existing_name so that later names do not collide with it.
class udb_validator
{
public:
    /// `max_len` is the longest name in characters (code points); 0 means unlimited. A limit of
    /// 1 to 6 leaves no room for the five-digit suffix of a numbered name, and a negative one
    /// means nothing: both throw tk_mail_assertion ("udb_vali", 31).
    explicit udb_validator(int max_len);
    virtual ~udb_validator();

    udb_validator(const udb_validator&) = default;
    udb_validator& operator=(const udb_validator&) = default;

    /// Remembers a name already used in this scope; adding one twice is harmless.
    void add_existing_name(const std::wstring& name);
    /// Remembers the name chosen for a source name; the base rules never consult it.
    void add_mapped_pair(const std::wstring& from, const std::wstring& to);

    /// Contract: true when `name` may be used as it stands (length, restricted words, illegal
    /// characters). Must not consult the existing names; that is is_duplicated's job.
    virtual bool is_acceptable(const std::wstring& name) const;
    /// Contract: true when `name` equals an existing name without regard to case.
    virtual bool is_duplicated(const std::wstring& name) const;
    /// Contract: an acceptable, not yet used form of `name`; does not add it to the existing
    /// names (the caller does). The base throws tk_mail_assertion ("udb_vali", 54) when no
    /// numbered form 00000-99999 is free.
    virtual std::wstring get_safe_name(const std::wstring& name) const;

    int max_len() const { return m_max_len; }
    const std::map<std::wstring, std::wstring>& mapped_pairs() const { return m_mapped_pairs; }
    const std::vector<wchar_t>& illegal_chars() const { return m_illegal_chars; }
    const std::vector<std::wstring>& restricted_names() const { return m_restricted_names; }
    const std::vector<std::wstring>& existing_names() const { return m_existing_names; }

protected:
    /// For derived constructors: a character that get_safe_name replaces by '_'.
    void add_illegal_char(wchar_t c);
    /// For derived constructors: a reserved word, matched without regard to case.
    void add_restricted_name(const std::wstring& name);
    /// True when `name` equals a restricted name without regard to case.
    bool is_restricted(const std::wstring& name) const;

private:
    int m_max_len;
    std::map<std::wstring, std::wstring> m_mapped_pairs;
    std::vector<wchar_t> m_illegal_chars;
    std::vector<std::wstring> m_restricted_names;
    std::vector<std::wstring> m_existing_names;
};
