// mss_seq_stream.h: CSeqStream, the growable memory stream that carries a large value to the
// bulk loader.
#pragma once

#include "plat/oledb/oledb_interfaces.h"

#include <atomic>
#include <cstdint>
#include <string>
#include <variant>
#include <vector>

/// A memory ISequentialStream: Write appends room and copies at the position (which it does
/// not move), Read reads from the position. A value made elsewhere can be handed to it whole
/// (`hold`), and the bulk loader takes it over the same way (IStreamHandOver), so a value of
/// megabytes is never copied on its way in or out. Reference counted; the last Release deletes
/// it.
class CSeqStream : public ISequentialStream, public IStreamHandOver
{
public:
    /// A new empty stream holding one reference, the caller's.
    static CSeqStream* create();

    HRESULT QueryInterface(REFIID riid, void** object) override;
    ULONG AddRef() override;
    ULONG Release() override;
    /// S_OK with `size` bytes, S_FALSE with fewer (none at the end); STG_E_INVALIDPOINTER
    /// without a buffer; E_UNEXPECTED once the content was handed over.
    HRESULT Read(void* buffer, ULONG size, ULONG* read) override;
    /// Grows the stream by `size` bytes and copies them at the position, which stays.
    HRESULT Write(const void* buffer, ULONG size, ULONG* written) override;

    /// The whole content moved into `out` when the stream holds it in that form and nothing of
    /// it was read: the stream is empty then and refuses to be read (see IStreamHandOver).
    HRESULT TakeBytes(std::vector<std::uint8_t>& out) override;
    HRESULT TakeUtf8(std::string& out) override;
    HRESULT TakeUtf16(std::u16string& out) override;

    /// Replaces the content with `content`, moved in, read as its bytes (UTF-16 in the
    /// machine's order); the position goes to 0.
    void hold(std::vector<std::uint8_t> content);
    void hold(std::string content);
    void hold(std::u16string content);

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
    template <class Content>
    HRESULT take(Content& out);
    // The content as bytes, for writing into it.
    std::vector<std::uint8_t>& writable();

    std::atomic<ULONG> m_refs{1};
    std::variant<std::vector<std::uint8_t>, std::string, std::u16string> m_content;
    std::uint32_t m_position = 0;
    bool m_handed_over = false;
};
