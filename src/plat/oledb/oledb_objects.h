// oledb_objects.h: the stand-in's objects (data source, session, command, data initialisation,
// data conversion) and the contexts they share; internal to the layer and its tests.
#pragma once

#include "plat/oledb/oledb_connstr.h"
#include "plat/oledb/oledb_interfaces.h"
#include "plat/oledb/oledb_link.h"
#include "plat/oledb/oledb_names.h"

#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace plat::oledb
{

/// What a provider's data sources connect through.
struct provider_context
{
    /// The driver chosen when the provider's object was created.
    driver_choice driver;
    /// Makes unconnected links to that driver.
    link_factory make_link;
    /// Keywords appended to every connection string (ZOV_ODBC_EXTRA).
    std::wstring extra_keywords;
    /// A Native Client provider over a SQL Server driver (XML columns stay DBTYPE_XML).
    bool native = false;
    /// Whether SSPROP_ENABLEFASTLOAD may be switched on.
    bool fast_load = false;
};

/// What every object under one initialised data source shares.
struct session_context
{
    std::shared_ptr<const provider_context> provider;
    std::wstring connection_string;
};

/// A data source (IDBInitialize, IDBProperties, IDBCreateSession), uninitialised; `preset`
/// holds the initialisation properties an initialisation string gave.
com_ref<IDBInitialize> make_data_source(std::shared_ptr<const provider_context> provider,
                                        const connection_settings* preset = nullptr);

/// A session (IOpenRowset, IDBCreateCommand, IDBSchemaRowset) owning a connected link;
/// `fast_load` offers IRowsetFastLoad from OpenRowset.
com_ref<IOpenRowset> make_session(std::shared_ptr<const session_context> context,
                                  std::unique_ptr<link> connection, bool fast_load = false);

/// The bulk loader of `table` (IRowsetFastLoad, IAccessor, IColumnsInfo, IRowsetInfo,
/// IFastLoadReplay), writing on a connection of its own; keeps the session alive. A missing
/// table or a refused connection posts the records and answers the failure, with no loader.
/// The columns of a table (its name already quoted), read on `connection` from an empty
/// SELECT, so that a missing table fails here.
link_status describe_table(link& connection, const std::wstring& quoted_table,
                           std::vector<column_desc>& columns);

/// What the bulk loader's rowset properties asked for.
struct fast_load_options
{
    bool keep_identity = false;
    bool keep_nulls = false;
    /// CHECK_CONSTRAINTS among the fast-load options.
    bool check_constraints = false;
};

HRESULT open_fast_load(com_ref<IUnknown> session, link& session_link,
                       const session_context& context, const std::wstring& table,
                       const fast_load_options& options, com_ref<IRowsetFastLoad>& loader);

/// The body of an object's SetProperties: gives each property of `sets` to `set_one`, which
/// answers its status, and answers DB_E_ERRORSOCCURRED (posted) when a required one failed,
/// DB_S_ERRORSOCCURRED when only optional ones did, else S_OK.
HRESULT
set_each_property(ULONG set_count, DBPROPSET* sets,
                  const std::function<DBPROPSTATUS(const GUID& set, const DBPROP& prop)>& set_one);

/// A command (ICommandText, ICommand) on a session's link; keeps the session alive.
com_ref<ICommandText> make_command(com_ref<IUnknown> session, link& connection, bool native);

/// Runs a batch and walks every one of its results, so an error in any statement surfaces.
/// With `want_rowset`, the first result with columns is read whole into `rowset` (left empty
/// when the batch has none); `rows_affected`, when given, gets the rows the batch's statements
/// changed (-1 when the driver told none). With `time_limit` (seconds) the statement waits no
/// longer for the server's answer. Posts the error records and answers the failure's HRESULT.
HRESULT run_batch(link& connection, const std::wstring& sql, bool want_rowset, bool native,
                  com_ref<IRowset>& rowset, DBROWCOUNT* rows_affected = nullptr,
                  unsigned time_limit = 0);

/// A schema rowset read whole from the driver's catalog functions.
HRESULT open_schema_rowset(link& connection, REFGUID schema, ULONG restriction_count,
                           const VARIANT restrictions[], com_ref<IRowset>& rowset);

/// The data-initialisation service bound to a provider.
com_ref<IDataInitialize> make_data_initialize(std::shared_ptr<const provider_context> provider);

/// The data-conversion library.
com_ref<IDataConvert> make_data_convert();

} // namespace plat::oledb
