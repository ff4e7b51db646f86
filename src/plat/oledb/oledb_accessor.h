// oledb_accessor.h: checking a consumer's bindings and writing one value into its row buffer.
#pragma once

#include "plat/oledb/oledb_link.h"
#include "plat/oledb/oledb_types.h"

#include <functional>
#include <map>
#include <vector>

namespace plat::oledb
{

/// True for the types a binding may ask for: WSTR, STR, BYTES and the fixed numeric types.
bool is_bindable_type(DBTYPE type);

/// DBBINDSTATUS_OK, or why CreateAccessor refuses the binding of a rowset of `column_count`
/// columns.
DBBINDSTATUS check_binding(const DBBINDING& binding, DBORDINAL column_count);

/// Writes the parts the binding asks for (status, length, value) at its offsets in `data`,
/// never past cbMaxLen for variable-length values and never through a cast pointer (offsets may
/// be odd). Text is terminated; a value that does not fit is cut and its status is
/// DBSTATUS_S_TRUNCATED with the full length. Answers the status written.
DBSTATUS write_binding(const DBBINDING& binding, const cell& value, std::uint8_t* data);

/// The accessors of one rowset: IAccessor's CreateAccessor and ReleaseAccessor over a check of
/// each binding. Answers HRESULTs and posts error records as the interface does.
class accessor_table
{
public:
    using binding_check = std::function<DBBINDSTATUS(const DBBINDING&)>;

    /// Keeps the bindings under a new handle when every one passes `check`; otherwise answers
    /// DB_E_ERRORSOCCURRED with `refusal` (statuses, when given, tell which binding failed).
    HRESULT create(DBACCESSORFLAGS flags, DBCOUNTITEM binding_count, const DBBINDING bindings[],
                   HACCESSOR* accessor, DBBINDSTATUS statuses[], const binding_check& check,
                   const wchar_t* refusal);
    HRESULT release(HACCESSOR accessor, DBREFCOUNT* ref_count);
    /// The bindings of `accessor`; null for an unknown handle.
    const std::vector<DBBINDING>* find(HACCESSOR accessor) const;

private:
    std::map<HACCESSOR, std::vector<DBBINDING>> m_accessors;
    HACCESSOR m_last_accessor = 0;
};

} // namespace plat::oledb
