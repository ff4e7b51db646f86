// odbc_handle.h: move-only owners of ODBC handles (include after the ODBC headers).
#pragma once

#include <sql.h>
#include <utility>

namespace plat::oledb
{

/// Owns one ODBC handle of a given type and frees it on destruction.
class odbc_handle
{
public:
    odbc_handle() = default;
    odbc_handle(SQLSMALLINT type, SQLHANDLE handle)
        : m_type(type)
        , m_handle(handle)
    {
    }
    odbc_handle(odbc_handle&& other) noexcept
        : m_type(other.m_type)
        , m_handle(std::exchange(other.m_handle, nullptr))
    {
    }
    odbc_handle& operator=(odbc_handle&& other) noexcept
    {
        if (this != &other)
        {
            reset();
            m_type = other.m_type;
            m_handle = std::exchange(other.m_handle, nullptr);
        }
        return *this;
    }
    odbc_handle(const odbc_handle&) = delete;
    odbc_handle& operator=(const odbc_handle&) = delete;
    ~odbc_handle() { reset(); }

    void reset()
    {
        if (m_handle != nullptr)
        {
            // Releasing a handle has no failure anyone could act on.
            SQLFreeHandle(m_type, std::exchange(m_handle, nullptr));
        }
    }
    SQLHANDLE get() const { return m_handle; }
    SQLSMALLINT type() const { return m_type; }
    explicit operator bool() const { return m_handle != nullptr; }

private:
    SQLSMALLINT m_type = 0;
    SQLHANDLE m_handle = nullptr;
};

} // namespace plat::oledb
