// ole_com_ptr.h: the owner of one COM interface reference of the SQL Server side.
#pragma once

#include "plat/oledb/oledb_com.h"
#include "tk/tk_exception.h"
#include "tk/tk_logger.h"

#include <utility>

/// Holds one reference to an interface and releases it on destruction, tracing how many
/// references remain. The OLE DB call that returns an interface fills the pointer (put); a
/// pointer taken from elsewhere gets a reference of its own (share). Move-only.
template <class I>
class ole_com_ptr
{
public:
    ole_com_ptr() = default;
    ~ole_com_ptr() { reset(); }

    ole_com_ptr(ole_com_ptr&& other) noexcept
        : m_pointer(std::exchange(other.m_pointer, nullptr))
    {
    }
    ole_com_ptr& operator=(ole_com_ptr&& other) noexcept
    {
        if (this != &other)
        {
            reset();
            m_pointer = std::exchange(other.m_pointer, nullptr);
        }
        return *this;
    }
    ole_com_ptr(const ole_com_ptr&) = delete;
    ole_com_ptr& operator=(const ole_com_ptr&) = delete;

    /// Releases what it holds and answers the slot for an OLE DB call to fill; the reference
    /// that call returns becomes this pointer's.
    I** put()
    {
        reset();
        return &m_pointer;
    }
    /// The same slot for the calls that answer through void** or IUnknown**.
    void** put_void() { return reinterpret_cast<void**>(put()); }
    IUnknown** put_unknown() { return reinterpret_cast<IUnknown**>(put()); }

    /// Keeps `pointer` with a reference of its own.
    void share(I* pointer)
    {
        if (pointer != nullptr)
        {
            pointer->AddRef();
        }
        reset();
        m_pointer = pointer;
    }

    /// Releases the reference, logging "ole_com_ptr<T>::~ole_com_ptr() - %d refs left".
    void reset()
    {
        if (m_pointer != nullptr)
        {
            const ULONG left = std::exchange(m_pointer, nullptr)->Release();
            tk_log(1, "ole_com_ptr<T>::~ole_com_ptr() - %d refs left", left);
        }
    }

    /// Throws tk_mail_assertion ("..\OLE/ole_ptr", 94) when empty.
    I* operator->() const
    {
        if (m_pointer == nullptr)
        {
            throw tk_mail_assertion("..\\OLE/ole_ptr", 94);
        }
        return m_pointer;
    }

    I* get() const { return m_pointer; }
    explicit operator bool() const { return m_pointer != nullptr; }

private:
    I* m_pointer = nullptr;
};
