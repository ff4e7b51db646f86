// mss_seq_stream.cpp: the memory stream's reading, writing and reference counting.
#include "mss/mss_seq_stream.h"

#include <algorithm>
#include <cstring>
#include <memory>

CSeqStream* CSeqStream::create()
{
    return std::unique_ptr<CSeqStream>(new CSeqStream()).release();
}

CSeqStream::~CSeqStream() = default;

HRESULT CSeqStream::QueryInterface(REFIID riid, void** object)
{
    if (object == nullptr)
    {
        return E_POINTER;
    }
    if (riid == IID_IUnknown || riid == IID_ISequentialStream)
    {
        *object = static_cast<ISequentialStream*>(this);
        AddRef();
        return S_OK;
    }
    *object = nullptr;
    return E_NOINTERFACE;
}

ULONG CSeqStream::AddRef()
{
    return m_refs.fetch_add(1, std::memory_order_relaxed) + 1;
}

ULONG CSeqStream::Release()
{
    const ULONG left = m_refs.fetch_sub(1, std::memory_order_acq_rel) - 1;
    if (left == 0)
    {
        // Handed out through raw interface pointers; the last Release owns it.
        std::unique_ptr<CSeqStream> owned(this);
    }
    return left;
}

HRESULT CSeqStream::Read(void* buffer, ULONG size, ULONG* read)
{
    if (read != nullptr)
    {
        *read = 0;
    }
    if (buffer == nullptr)
    {
        return STG_E_INVALIDPOINTER;
    }
    if (size == 0)
    {
        return S_OK;
    }
    if (m_position >= m_buffer.size())
    {
        return S_FALSE;
    }
    const auto copied =
        static_cast<ULONG>(std::min<std::size_t>(size, m_buffer.size() - m_position));
    std::memcpy(buffer, m_buffer.data() + m_position, copied);
    m_position += static_cast<std::uint32_t>(copied);
    if (read != nullptr)
    {
        *read = copied;
    }
    return copied < size ? S_FALSE : S_OK;
}

HRESULT CSeqStream::Write(const void* buffer, ULONG size, ULONG* written)
{
    if (buffer == nullptr)
    {
        return STG_E_INVALIDPOINTER;
    }
    if (written != nullptr)
    {
        *written = 0;
    }
    if (size == 0)
    {
        return S_OK;
    }
    const auto* bytes = static_cast<const std::uint8_t*>(buffer);
    if (m_position == m_buffer.size())
    {
        // Writing at the end (a value written whole): appended without zero-filling first.
        m_buffer.insert(m_buffer.end(), bytes, bytes + size);
        if (written != nullptr)
        {
            *written = size;
        }
        return S_OK;
    }
    // The new room is zeroed, so a second Write never leaves unwritten memory in the stream.
    m_buffer.resize(std::max<std::size_t>(m_buffer.size() + size, std::size_t{m_position} + size),
                    0);
    std::memcpy(m_buffer.data() + m_position, buffer, size);
    if (written != nullptr)
    {
        *written = size;
    }
    return S_OK;
}

bool CSeqStream::seek(std::uint32_t position)
{
    m_position = position;
    return true;
}

bool CSeqStream::clear()
{
    m_buffer = {};
    m_position = 0;
    return true;
}

bool CSeqStream::compare(const void* data, std::uint32_t size) const
{
    return size == m_buffer.size() && (size == 0 || std::memcmp(m_buffer.data(), data, size) == 0);
}

std::uint32_t CSeqStream::size() const
{
    return static_cast<std::uint32_t>(m_buffer.size());
}

const std::uint8_t* CSeqStream::buffer() const
{
    return m_buffer.data();
}
