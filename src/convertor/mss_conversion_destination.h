// mss_conversion_destination.h: the SQL Server engine as the converter's destination side.
#pragma once

#include "convertor/conversion_sides.h"

class mss_engine;

/// Connects, checks, drops, opens and creates destination databases through the process's
/// SQL Server engine. Built only with ZOV_CONVERTOR_SQL_SERVER_SIDE (see CMakeLists.txt).
class mss_conversion_destination final : public conversion_destination
{
public:
    explicit mss_conversion_destination(mss_engine& engine);

    /// Throws odb_exception (a failed data source or statement) or mss_no_perm_exception.
    void connect(const std::wstring& server, const std::wstring& user, const std::wstring& password,
                 bool windows_auth) override;
    bool is_db_exist(const std::wstring& name) override;
    void delete_db(const std::wstring& name) override;
    std::unique_ptr<udb_database> open_db(const std::wstring& name, int open_mode) override;
    std::unique_ptr<udb_database> create_db(const std::wstring& name) override;
    /// Clears the engine's view-owned flag.
    void begin_run() override;

private:
    mss_engine& m_engine;
};
