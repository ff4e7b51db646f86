// oledb_com.cpp: CoInitialize counting, the class table behind CoCreateInstance, CoTaskMem.
#include "plat/oledb/oledb_com.h"

#include <cstdio>
#include <cstdlib>
#include <stdexcept>

namespace
{

thread_local int t_co_initialize_count = 0;

// The live table; set and cleared only by class_table's constructor and destructor.
std::atomic<plat::oledb::class_table*> g_current_table{nullptr};

} // namespace

HRESULT CoInitialize(void*)
{
    return t_co_initialize_count++ == 0 ? S_OK : S_FALSE;
}

void CoUninitialize()
{
    if (t_co_initialize_count > 0)
    {
        --t_co_initialize_count;
    }
}

HRESULT CoCreateInstance(REFCLSID clsid, IUnknown* outer, DWORD, REFIID riid, void** object)
{
    if (object == nullptr)
    {
        return E_POINTER;
    }
    *object = nullptr;
    if (outer != nullptr)
    {
        return make_hresult(0x80040110); // CLASS_E_NOAGGREGATION
    }
    const plat::oledb::class_table* table = plat::oledb::class_table::current();
    if (table == nullptr)
    {
        return REGDB_E_CLASSNOTREG;
    }
    return table->create(clsid, riid, object);
}

void* CoTaskMemAlloc(std::size_t size)
{
    return std::malloc(size == 0 ? 1 : size);
}

void CoTaskMemFree(void* block)
{
    std::free(block);
}

namespace plat::oledb
{

int co_initialize_count()
{
    return t_co_initialize_count;
}

std::wstring guid_to_wstring(const GUID& guid)
{
    char text[40];
    std::snprintf(text, sizeof text, "{%08X-%04X-%04X-%02X%02X-%02X%02X%02X%02X%02X%02X}",
                  static_cast<unsigned>(guid.Data1), guid.Data2, guid.Data3, guid.Data4[0],
                  guid.Data4[1], guid.Data4[2], guid.Data4[3], guid.Data4[4], guid.Data4[5],
                  guid.Data4[6], guid.Data4[7]);
    return std::wstring(text, text + 38);
}

HRESULT query_out(IUnknown* object, REFIID riid, void** out)
{
    if (out == nullptr)
    {
        return E_POINTER;
    }
    *out = nullptr;
    if (object == nullptr)
    {
        return E_UNEXPECTED;
    }
    return object->QueryInterface(riid, out);
}

class_table::class_table()
{
    class_table* expected = nullptr;
    if (!g_current_table.compare_exchange_strong(expected, this))
    {
        throw std::logic_error("a class table is already installed");
    }
}

class_table::~class_table()
{
    class_table* expected = this;
    g_current_table.compare_exchange_strong(expected, nullptr);
}

void class_table::register_class(const CLSID& clsid, class_factory factory)
{
    const std::lock_guard lock(m_mutex);
    for (auto& [known, known_factory] : m_classes)
    {
        if (known == clsid)
        {
            known_factory = std::move(factory);
            return;
        }
    }
    m_classes.emplace_back(clsid, std::move(factory));
}

void class_table::unregister_class(const CLSID& clsid)
{
    const std::lock_guard lock(m_mutex);
    std::erase_if(m_classes, [&](const auto& entry) { return entry.first == clsid; });
}

HRESULT class_table::create(const CLSID& clsid, REFIID riid, void** object) const
{
    class_factory factory;
    {
        const std::lock_guard lock(m_mutex);
        for (const auto& [known, known_factory] : m_classes)
        {
            if (known == clsid)
            {
                factory = known_factory;
            }
        }
    }
    // The factory runs outside the lock: it may probe drivers, which takes time.
    return factory ? factory(riid, object) : REGDB_E_CLASSNOTREG;
}

class_table* class_table::current()
{
    return g_current_table.load();
}

} // namespace plat::oledb
