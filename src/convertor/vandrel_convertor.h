// vandrel_convertor.h: the one converter of the process: every setting of a conversion, both
// sides, the profile and settings-store keys, and the conversion run.
#pragma once

#include "convertor/conversion_reporter.h"
#include "convertor/mssql_converter_impl.h"
#include "convertor/pgs_converter_impl.h"
#include "convertor/udb_converter.h"
#include "tk/tk_reg_key.h"
#include "tk/tk_singleton.h"

#include <string>
#include <vector>

/// Which program built the converter: the wizard remembers its settings in the settings store
/// and converts only what was selected; the agent converts every table when nothing was.
enum class convertor_flavour
{
    agent,
    wizard
};

/// The converter. Built once per process on the front-end's stack after the logger and the
/// error handler; reached elsewhere as tk_singleton<vandrel_convertor>.
class vandrel_convertor : public udb_converter,
                          public pgs_converter_impl,
                          public mssql_converter_impl,
                          public tk_serializer,
                          public tk_singleton<vandrel_convertor>
{
public:
    /// The settings-store key of the wizard.
    static constexpr const char* settings_key = "Software\\Halvern Works\\Corlamig";

    /// Throws tk_mail_assertion when a converter (or either engine) exists already. The wizard
    /// form loads the settings store; both make PostgreSQL names case-sensitive and start with
    /// "connect as database owner" off.
    explicit vandrel_convertor(convertor_flavour flavour);
    /// The wizard form stores its settings.
    ~vandrel_convertor() override;

    using mssql_converter_impl::set_connection;
    using pgs_converter_impl::set_connection;

    /// The conversion run (see conversion_run.cpp). Ends normally after its last table or
    /// through its error levels; `done` is true afterwards on every way out. Only the
    /// handler's own ways of ending the program (process_exit in the agent) leave it.
    void operator()();
    /// The thread body: the run.
    void run() override;
    /// Forwards to the PostgreSQL side.
    bool test_query(const std::wstring& sql) override;

    /// Where the run reports; null for nobody. The reporter must outlive the run.
    void set_reporter(conversion_reporter* reporter);

    /// Every table of the source database `src` in the current schema, in the database's order.
    /// Throws the source side's exception.
    void get_all_tables(std::vector<std::wstring>& list);
    /// Drops the destination database when it exists and the mode is 0 (overwrite the
    /// database). Throws the destination side's exception.
    void check_dest();

    /// Writes every setting to a profile; false when the file cannot be written.
    bool save_profile_file(const std::wstring& path);
    /// Reads a profile into the settings. The profile is read and checked whole first: a
    /// missing file, an invalid mode or port and a refused log file throw tk_exception
    /// (severity 1) and a malformed file, or one that holds no selected table or query and no
    /// setting with a value, answers false, and then nothing is applied.
    bool load_profile_file(const std::wstring& path);
    /// Stores the 17 settings in the settings store, or loads them (each first given its
    /// default). A value that is missing or unreadable keeps the field; false when any value
    /// failed or the key cannot be opened. Never throws.
    bool serialize(bool store);

    convertor_flavour flavour() const { return m_flavour; }

private:
    friend class conversion_run;

    conversion_reporter& reporter() { return *m_reporter; }

    convertor_flavour m_flavour;
    null_reporter m_null_reporter;
    conversion_reporter* m_reporter = &m_null_reporter;
};
