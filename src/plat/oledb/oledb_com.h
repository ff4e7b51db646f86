// oledb_com.h: COM basics of the stand-in: GUID, IUnknown, reference-counted objects, the class
// table behind CoCreateInstance, CoInitialize counting and CoTaskMem memory.
#pragma once

// The platform's own names (IUnknown, CoCreateInstance, GUID ...) stay at global scope, as the
// consumer code calls them by those names; our helpers live in namespace plat::oledb.

#include "plat/plat_hresult.h"

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <utility>
#include <vector>

// unsigned long as the ODBC headers declare it; no buffer layout depends on its width.
using ULONG = unsigned long;
using DWORD = std::uint32_t;
using LONG = std::int32_t;
using BYTE = std::uint8_t;
using BOOL = std::int32_t;
using LCID = DWORD;
using DISPID = LONG;

/// Text in interface arguments is wide like the rest of the system; only DBTYPE_WSTR data is
/// UTF-16.
using OLECHAR = wchar_t;
using LPOLESTR = OLECHAR*;
using LPCOLESTR = const OLECHAR*;

/// A 128-bit identifier in the platform's field layout.
struct GUID
{
    std::uint32_t Data1 = 0;
    std::uint16_t Data2 = 0;
    std::uint16_t Data3 = 0;
    std::uint8_t Data4[8] = {};

    constexpr bool operator==(const GUID&) const = default;
};
using IID = GUID;
using CLSID = GUID;
using REFGUID = const GUID&;
using REFIID = const IID&;
using REFCLSID = const CLSID&;

inline constexpr GUID GUID_NULL{};
inline constexpr IID IID_NULL{};

inline constexpr DWORD CLSCTX_INPROC_SERVER = 0x1;
inline constexpr DWORD CLSCTX_ALL = 0x17;

/// The root of every interface: reference counting and interface discovery.
struct IUnknown
{
    static constexpr IID iid{0x00000000, 0x0000, 0x0000, {0xC0, 0, 0, 0, 0, 0, 0, 0x46}};
    virtual HRESULT QueryInterface(REFIID riid, void** object) = 0;
    virtual ULONG AddRef() = 0;
    virtual ULONG Release() = 0;

protected:
    virtual ~IUnknown() = default;
};
inline constexpr const IID& IID_IUnknown = IUnknown::iid;

/// Counts per thread; the stand-in needs no apartment. The first call on a thread answers S_OK,
/// later ones S_FALSE.
HRESULT CoInitialize(void* reserved);
void CoUninitialize();

/// Looks the class up in the installed plat::oledb::class_table; an unknown class, or one whose
/// driver is missing, answers REGDB_E_CLASSNOTREG with a null object.
HRESULT CoCreateInstance(REFCLSID clsid, IUnknown* outer, DWORD context, REFIID riid,
                         void** object);

void* CoTaskMemAlloc(std::size_t size);
void CoTaskMemFree(void* block);

namespace plat::oledb
{

/// CoInitialize's count on the calling thread.
int co_initialize_count();

/// Text of a GUID as the platform prints it: {XXXXXXXX-XXXX-XXXX-XXXX-XXXXXXXXXXXX}.
std::wstring guid_to_wstring(const GUID& guid);

/// True for the interfaces that declare a parent (`using parent_interface = ...`).
template <class I>
concept has_parent_interface = requires
{
    typename I::parent_interface;
};

/// Answers the interface `riid` when it is I or one of I's parents.
template <class I, class Object>
bool query_one(Object* self, REFIID riid, void** object)
{
    if (riid == I::iid)
    {
        *object = static_cast<I*>(self);
        return true;
    }
    if constexpr (has_parent_interface<I>)
    {
        if (riid == I::parent_interface::iid)
        {
            *object = static_cast<typename I::parent_interface*>(static_cast<I*>(self));
            return true;
        }
    }
    return false;
}

/// The implementation of IUnknown for an object answering the listed interfaces: an atomic
/// reference count starting at 1, and deletion on the last Release.
template <class... Interfaces>
class com_object : public Interfaces...
{
public:
    HRESULT QueryInterface(REFIID riid, void** object) override
    {
        if (object == nullptr)
        {
            return E_POINTER;
        }
        *object = nullptr;
        if (riid == IID_IUnknown)
        {
            *object = static_cast<IUnknown*>(static_cast<first_interface*>(this));
        }
        else if (!(query_one<Interfaces>(this, riid, object) || ...))
        {
            return E_NOINTERFACE;
        }
        AddRef();
        return S_OK;
    }

    ULONG AddRef() override { return m_refs.fetch_add(1, std::memory_order_relaxed) + 1; }

    ULONG Release() override
    {
        const ULONG left = m_refs.fetch_sub(1, std::memory_order_acq_rel) - 1;
        if (left == 0)
        {
            // The object was handed out through a raw interface pointer; the last Release owns it.
            std::unique_ptr<com_object> owned(this);
        }
        return left;
    }

    // Public so that the last Release can delete through this type.
    ~com_object() override = default;

protected:
    com_object() = default;
    com_object(const com_object&) = delete;
    com_object& operator=(const com_object&) = delete;

private:
    template <class First, class...>
    struct first_of
    {
        using type = First;
    };
    using first_interface = typename first_of<Interfaces...>::type;

    std::atomic<ULONG> m_refs{1};
};

/// A counted reference to an interface, used inside the stand-in (the consumer has its own).
template <class I>
class com_ref
{
public:
    com_ref() = default;
    /// Takes over a reference the caller already holds.
    static com_ref attach(I* pointer)
    {
        com_ref ref;
        ref.m_pointer = pointer;
        return ref;
    }
    /// Adds a reference of its own.
    static com_ref share(I* pointer)
    {
        if (pointer != nullptr)
        {
            pointer->AddRef();
        }
        return attach(pointer);
    }
    com_ref(const com_ref& other)
        : m_pointer(other.m_pointer)
    {
        if (m_pointer != nullptr)
        {
            m_pointer->AddRef();
        }
    }
    com_ref(com_ref&& other) noexcept
        : m_pointer(std::exchange(other.m_pointer, nullptr))
    {
    }
    com_ref& operator=(com_ref other) noexcept
    {
        std::swap(m_pointer, other.m_pointer);
        return *this;
    }
    ~com_ref() { reset(); }

    void reset()
    {
        if (m_pointer != nullptr)
        {
            std::exchange(m_pointer, nullptr)->Release();
        }
    }
    I* get() const { return m_pointer; }
    I* operator->() const { return m_pointer; }
    explicit operator bool() const { return m_pointer != nullptr; }
    /// Hands the reference to a caller's out-parameter.
    I* detach() { return std::exchange(m_pointer, nullptr); }

private:
    I* m_pointer = nullptr;
};

/// Builds a COM object with one reference, held by the returned com_ref.
template <class T, class... Args>
com_ref<T> make_com(Args&&... args)
{
    return com_ref<T>::attach(std::make_unique<T>(std::forward<Args>(args)...).release());
}

/// Answers interface `riid` of `object` into `*out` (null on failure), as the platform's
/// creation calls do.
HRESULT query_out(IUnknown* object, REFIID riid, void** out);

/// Creates an object of one class for CoCreateInstance: answers its interface `riid`.
using class_factory = std::function<HRESULT(REFIID riid, void** object)>;

/// The process's table of creatable classes. Built on the owner's stack at start-up (one at a
/// time: a second live table throws std::logic_error); while it lives, CoCreateInstance looks
/// classes up in it. Providers are entered by an explicit registration call, tests enter fakes.
class class_table
{
public:
    class_table();
    ~class_table();
    class_table(const class_table&) = delete;
    class_table& operator=(const class_table&) = delete;

    /// Adds or replaces the factory of a class.
    void register_class(const CLSID& clsid, class_factory factory);
    void unregister_class(const CLSID& clsid);
    /// REGDB_E_CLASSNOTREG when the class is not registered or its factory refuses.
    HRESULT create(const CLSID& clsid, REFIID riid, void** object) const;

    /// The live table, or null.
    static class_table* current();

private:
    mutable std::mutex m_mutex;
    std::vector<std::pair<CLSID, class_factory>> m_classes;
};

} // namespace plat::oledb
