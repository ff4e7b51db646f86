// odbc_bulk_microsoft.cpp: the bcp functions of Microsoft's ODBC driver, found in its loaded
// library and called with the driver's own connection handle (the driver manager's handle
// means nothing to them).
#include "plat/oledb/odbc_bulk.h"
#include "plat/oledb/odbc_calls.h"
#include "plat/plat_text.h"

#include <array>
#include <dlfcn.h>
#include <link.h>

namespace plat::oledb
{
namespace
{

constexpr int bcp_direction_in = 1;
constexpr int bcp_keep_identity = 8;
constexpr int bcp_keep_nulls = 5;
// BCPHINTSA: the hint text, narrow.
constexpr int bcp_hints = 10;
constexpr char check_constraints_hint[] = "CHECK_CONSTRAINTS";
constexpr int bcp_prefix_length = 8;
constexpr int bcp_varlen_data = -10;
constexpr SQLRETURN bcp_succeed = 1;

using init_fn = SQLRETURN (*)(SQLHDBC, const SQLWCHAR*, const SQLWCHAR*, const SQLWCHAR*, int);
using control_fn = SQLRETURN (*)(SQLHDBC, int, void*);
using bind_fn = SQLRETURN (*)(SQLHDBC, const unsigned char*, int, int, const unsigned char*, int,
                              int, int);
using colptr_fn = SQLRETURN (*)(SQLHDBC, const unsigned char*, int);
using sendrow_fn = SQLRETURN (*)(SQLHDBC);
using count_fn = int (*)(SQLHDBC);
using diag_fn = SQLRETURN (*)(SQLSMALLINT, SQLHANDLE, SQLSMALLINT, SQLWCHAR*, SQLINTEGER*,
                              SQLWCHAR*, SQLSMALLINT, SQLSMALLINT*);

struct library_closer
{
    void operator()(void* library) const { dlclose(library); }
};
using library_handle = std::unique_ptr<void, library_closer>;

struct functions
{
    init_fn init = nullptr;
    control_fn control = nullptr;
    bind_fn bind = nullptr;
    colptr_fn colptr = nullptr;
    sendrow_fn sendrow = nullptr;
    count_fn batch = nullptr;
    count_fn done = nullptr;
    diag_fn diag = nullptr;
};

// The path of the loaded object whose file name is `file`.
std::string loaded_path(const std::string& file)
{
    struct search
    {
        std::string file;
        std::string found;
    } state{file, {}};
    dl_iterate_phdr(
        [](dl_phdr_info* info, std::size_t, void* data) -> int
        {
            auto* wanted = static_cast<search*>(data);
            const std::string path = info->dlpi_name != nullptr ? info->dlpi_name : "";
            if (path.size() >= wanted->file.size() &&
                path.compare(path.size() - wanted->file.size(), wanted->file.size(),
                             wanted->file) == 0 &&
                (path.size() == wanted->file.size() ||
                 path[path.size() - wanted->file.size() - 1] == '/'))
            {
                wanted->found = path;
                return 1;
            }
            return 0;
        },
        &state);
    return state.found;
}

template <class F>
bool find(void* library, const char* name, F& function)
{
    function = reinterpret_cast<F>(dlsym(library, name));
    return function != nullptr;
}

class microsoft_bulk_copy final : public link_bulk_copy
{
public:
    microsoft_bulk_copy(library_handle library, functions calls, SQLHDBC connection,
                        const std::wstring& driver_name)
        : m_library(std::move(library))
        , m_calls(calls)
        , m_connection(connection)
        , m_driver_name(driver_name)
    {
    }

    link_status init(const std::wstring& table) override
    {
        const std::vector<SQLWCHAR> name = to_sqlw(table);
        return checked(m_calls.init(m_connection, name.data(), nullptr, nullptr, bcp_direction_in));
    }

    link_status keep_identity() override
    {
        return checked(
            m_calls.control(m_connection, bcp_keep_identity, reinterpret_cast<void*>(1)));
    }

    link_status keep_nulls() override
    {
        return checked(m_calls.control(m_connection, bcp_keep_nulls, reinterpret_cast<void*>(1)));
    }

    link_status check_constraints() override
    {
        return checked(
            m_calls.control(m_connection, bcp_hints, const_cast<char*>(check_constraints_hint)));
    }

    link_status bind(const std::uint8_t* block, int host_type, int column) override
    {
        return checked(m_calls.bind(m_connection, block, bcp_prefix_length, bcp_varlen_data,
                                    nullptr, 0, host_type, column));
    }

    link_status rebind(const std::uint8_t* block, int column) override
    {
        return checked(m_calls.colptr(m_connection, block, column));
    }

    link_status send_row() override { return checked(m_calls.sendrow(m_connection)); }

    link_status batch(std::int32_t& rows) override
    {
        rows = m_calls.batch(m_connection);
        return rows >= 0 ? link_status{} : failure();
    }

    link_status done(std::int32_t& rows) override
    {
        rows = m_calls.done(m_connection);
        return rows >= 0 ? link_status{} : failure();
    }

    std::size_t column_limit() const override { return 0; }

    bool wide_text() const override { return true; }

private:
    link_status checked(SQLRETURN rc) { return rc == bcp_succeed ? link_status{} : failure(); }

    // The records of a direct call sit on the driver's handle, outside the manager's records.
    link_status failure()
    {
        std::vector<diag_record> records;
        for (SQLSMALLINT record_idx = 1; record_idx < 100; ++record_idx)
        {
            std::array<SQLWCHAR, 6> state{};
            SQLINTEGER native = 0;
            std::array<SQLWCHAR, 1024> message{};
            SQLSMALLINT length = 0;
            const SQLRETURN rc =
                m_calls.diag(SQL_HANDLE_DBC, m_connection, record_idx, state.data(), &native,
                             message.data(), static_cast<SQLSMALLINT>(message.size()), &length);
            if (!SQL_SUCCEEDED(rc))
            {
                break;
            }
            const std::size_t text_length = std::min<std::size_t>(
                static_cast<std::size_t>(std::max<SQLSMALLINT>(length, 0)), message.size() - 1);
            records.push_back(diag_record{from_sqlw(state.data(), 5), native,
                                          from_sqlw(message.data(), text_length)});
        }
        return failure_from_diagnostics(records, odbc_call::statement, m_driver_name);
    }

    library_handle m_library;
    functions m_calls;
    SQLHDBC m_connection;
    std::wstring m_driver_name;
};

} // namespace

std::unique_ptr<link_bulk_copy> make_microsoft_bulk_copy(SQLHDBC connection,
                                                         const std::wstring& driver_name)
{
    SQLHDBC driver_connection = nullptr;
    if (!SQL_SUCCEEDED(SQLGetInfo(connection, SQL_DRIVER_HDBC, &driver_connection,
                                  sizeof driver_connection, nullptr)) ||
        driver_connection == nullptr)
    {
        return nullptr;
    }
    std::array<SQLWCHAR, 512> file{};
    SQLSMALLINT length = 0;
    if (!SQL_SUCCEEDED(SQLGetInfoW(connection, SQL_DRIVER_NAME, file.data(),
                                   static_cast<SQLSMALLINT>(sizeof file), &length)))
    {
        return nullptr;
    }
    const std::string file_name = wide_to_utf8(
        from_sqlw(file.data(),
                  std::min<std::size_t>(static_cast<std::size_t>(std::max<SQLSMALLINT>(length, 0)) /
                                            sizeof(SQLWCHAR),
                                        file.size() - 1)));
    const std::string path = loaded_path(file_name);
    if (path.empty())
    {
        return nullptr;
    }
    // The driver manager loaded it; NOLOAD only takes another reference to that instance.
    library_handle library(dlopen(path.c_str(), RTLD_NOW | RTLD_NOLOAD));
    functions calls;
    if (!library || !find(library.get(), "bcp_initW", calls.init) ||
        !find(library.get(), "bcp_control", calls.control) ||
        !find(library.get(), "bcp_bind", calls.bind) ||
        !find(library.get(), "bcp_colptr", calls.colptr) ||
        !find(library.get(), "bcp_sendrow", calls.sendrow) ||
        !find(library.get(), "bcp_batch", calls.batch) ||
        !find(library.get(), "bcp_done", calls.done) ||
        !find(library.get(), "SQLGetDiagRecW", calls.diag))
    {
        return nullptr;
    }
    return std::make_unique<microsoft_bulk_copy>(std::move(library), calls, driver_connection,
                                                 driver_name);
}

} // namespace plat::oledb
