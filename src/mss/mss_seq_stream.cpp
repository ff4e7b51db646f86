// mss_seq_stream.cpp: the memory stream's reading, writing, handing over and reference counting.
#include "mss/mss_seq_stream.h"

#include <algorithm>
#include <cstring>
#include <memory>

namespace
{

// The content's bytes: a vector's own, a text's characters in the machine's order.
template <class Content>
std::pair<const std::uint8_t*, std::size_t> bytes_of(const Content& content)
{
    return {reinterpret_cast<const std::uint8_t*>(content.data()),
            content.size() * sizeof(typename Content::value_type)};
}

std::pair<const std::uint8_t*, std::size_t>
bytes_of(const std::variant<std::vector<std::uint8_t>, std::string, std::u16string>& content)
{
    return std::visit([](const auto& held) { return bytes_of(held); }, content);
}

} // namespace

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
    if (riid == IID_IStreamHandOver)
    {
        *object = static_cast<IStreamHandOver*>(this);
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
    if (m_handed_over)
    {
        // Read now, the value would look empty: a failure, never a value lost in silence.
        return E_UNEXPECTED;
    }
    if (size == 0)
    {
        return S_OK;
    }
    const auto [data, held] = bytes_of(m_content);
    if (m_position >= held)
    {
        return S_FALSE;
    }
    const auto copied = static_cast<ULONG>(std::min<std::size_t>(size, held - m_position));
    std::memcpy(buffer, data + m_position, copied);
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
    std::vector<std::uint8_t>& bytes_held = writable();
    const auto* bytes = static_cast<const std::uint8_t*>(buffer);
    if (m_position == bytes_held.size())
    {
        // Writing at the end (a value written whole): appended without zero-filling first.
        bytes_held.insert(bytes_held.end(), bytes, bytes + size);
        if (written != nullptr)
        {
            *written = size;
        }
        return S_OK;
    }
    // The new room is zeroed, so a second Write never leaves unwritten memory in the stream.
    bytes_held.resize(
        std::max<std::size_t>(bytes_held.size() + size, std::size_t{m_position} + size), 0);
    std::memcpy(bytes_held.data() + m_position, buffer, size);
    if (written != nullptr)
    {
        *written = size;
    }
    return S_OK;
}

template <class Content>
HRESULT CSeqStream::take(Content& out)
{
    auto* held = std::get_if<Content>(&m_content);
    if (held == nullptr || m_position != 0 || m_handed_over)
    {
        return S_FALSE;
    }
    out = std::move(*held);
    m_content = std::vector<std::uint8_t>();
    m_handed_over = true;
    return S_OK;
}

HRESULT CSeqStream::TakeBytes(std::vector<std::uint8_t>& out)
{
    return take(out);
}

HRESULT CSeqStream::TakeUtf8(std::string& out)
{
    return take(out);
}

HRESULT CSeqStream::TakeUtf16(std::u16string& out)
{
    return take(out);
}

void CSeqStream::hold(std::vector<std::uint8_t> content)
{
    m_content = std::move(content);
    m_position = 0;
    m_handed_over = false;
}

void CSeqStream::hold(std::string content)
{
    m_content = std::move(content);
    m_position = 0;
    m_handed_over = false;
}

void CSeqStream::hold(std::u16string content)
{
    m_content = std::move(content);
    m_position = 0;
    m_handed_over = false;
}

std::vector<std::uint8_t>& CSeqStream::writable()
{
    if (auto* bytes = std::get_if<std::vector<std::uint8_t>>(&m_content))
    {
        return *bytes;
    }
    // A text held whole and written into afterwards: its bytes become the content.
    const auto [data, held] = bytes_of(m_content);
    std::vector<std::uint8_t> bytes(data, data + held);
    m_content = std::move(bytes);
    return std::get<std::vector<std::uint8_t>>(m_content);
}

bool CSeqStream::seek(std::uint32_t position)
{
    m_position = position;
    return true;
}

bool CSeqStream::clear()
{
    m_content = std::vector<std::uint8_t>();
    m_position = 0;
    m_handed_over = false;
    return true;
}

bool CSeqStream::compare(const void* data, std::uint32_t size) const
{
    const auto [bytes, held] = bytes_of(m_content);
    return size == held && (size == 0 || std::memcmp(bytes, data, size) == 0);
}

std::uint32_t CSeqStream::size() const
{
    return static_cast<std::uint32_t>(bytes_of(m_content).second);
}

const std::uint8_t* CSeqStream::buffer() const
{
    return bytes_of(m_content).first;
}
