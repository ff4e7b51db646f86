// mss_seq_stream.h: CSeqStream, the growable memory stream that carries a large value to the
// bulk loader.
#pragma once

#include "plat/oledb/oledb_interfaces.h"

#include <atomic>
#include <cstdint>
#include <vector>

/// A memory ISequentialStream: Write appends room and copies at the position (which it does
/// not move), Read reads from the position. Reference counted; the last Release deletes it.
class CSeqStream : public ISequentialStream
{
public:
    /// A new empty stream holding one reference, the caller's.
    static CSeqStream* create();

    HRESULT QueryInterface(REFIID riid, void** object) override;
    ULONG AddRef() override;
    ULONG Release() override;
    /// S_OK with `size` bytes, S_FALSE with fewer (none at the end); STG_E_INVALIDPOINTER
    /// without a buffer.
    HRESULT Read(void* buffer, ULONG size, ULONG* read) override;
    /// Grows the stream by `size` bytes and copies them at the position, which stays.
    HRESULT Write(const void* buffer, ULONG size, ULONG* written) override;

    // Public so that the last Release can delete through this type.
    ~CSeqStream() override;

    virtual bool seek(std::uint32_t position);
    /// Frees the buffer; size and position become 0.
    virtual bool clear();
    /// True when the stream's bytes equal the `size` bytes given.
    virtual bool compare(const void* data, std::uint32_t size) const;
    virtual std::uint32_t size() const;
    virtual const std::uint8_t* buffer() const;

protected:
    CSeqStream() = default;

private:
    std::atomic<ULONG> m_refs{1};
    std::vector<std::uint8_t> m_buffer;
    std::uint32_t m_position = 0;
};
