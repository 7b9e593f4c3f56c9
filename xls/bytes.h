#pragma once
// Little-endian access to record bodies, and the small byte buffer that holds them.
// Every reader takes the buffer and an offset and checks the bounds first; callers
// decide what a short body means (usually "Error reading Excel records. File invalid").
#include <cstdint>
#include <cstring>
#include <span>
#include <stdexcept>

namespace quorvane::xls {

using ByteSpan = std::span<const std::uint8_t>;

inline bool fits(ByteSpan b, std::size_t off, std::size_t n) noexcept
{
    return off <= b.size() && n <= b.size() - off;
}

// Unchecked forms: the caller has checked fits(b, off, width).
inline std::uint16_t getU16(const std::uint8_t* p) noexcept
{
    return static_cast<std::uint16_t>(p[0] | (p[1] << 8));
}
inline std::uint32_t getU32(const std::uint8_t* p) noexcept
{
    return static_cast<std::uint32_t>(p[0]) | (static_cast<std::uint32_t>(p[1]) << 8) |
           (static_cast<std::uint32_t>(p[2]) << 16) | (static_cast<std::uint32_t>(p[3]) << 24);
}
inline double getF64(const std::uint8_t* p) noexcept
{
    std::uint64_t bits = static_cast<std::uint64_t>(getU32(p)) |
                         (static_cast<std::uint64_t>(getU32(p + 4)) << 32);
    double d;
    std::memcpy(&d, &bits, sizeof d);
    return d;
}
inline void putU16(std::uint8_t* p, std::uint16_t v) noexcept
{
    p[0] = static_cast<std::uint8_t>(v);
    p[1] = static_cast<std::uint8_t>(v >> 8);
}
inline void putU32(std::uint8_t* p, std::uint32_t v) noexcept
{
    for (int i = 0; i < 4; ++i)
        p[i] = static_cast<std::uint8_t>(v >> (8 * i));
}
inline void putF64(std::uint8_t* p, double d) noexcept
{
    std::uint64_t bits;
    std::memcpy(&bits, &d, sizeof bits);
    putU32(p, static_cast<std::uint32_t>(bits));
    putU32(p + 4, static_cast<std::uint32_t>(bits >> 32));
}

/// Bounds-checked reads; out of range throws std::out_of_range, which the record
/// layer never lets escape (it checks sizes before decoding).
inline std::uint16_t readU16(ByteSpan b, std::size_t off)
{
    if (!fits(b, off, 2))
        throw std::out_of_range("readU16");
    return getU16(b.data() + off);
}
inline std::uint32_t readU32(ByteSpan b, std::size_t off)
{
    if (!fits(b, off, 4))
        throw std::out_of_range("readU32");
    return getU32(b.data() + off);
}
inline double readF64(ByteSpan b, std::size_t off)
{
    if (!fits(b, off, 8))
        throw std::out_of_range("readF64");
    return getF64(b.data() + off);
}

/// A record body: up to InlineCapacity bytes stored in place (cell records, which are
/// the bulk of a workbook, then cost one allocation each), larger bodies on the heap.
class RecordBody {
public:
    static constexpr std::size_t InlineCapacity = 16;

    RecordBody() noexcept = default;
    explicit RecordBody(ByteSpan bytes) { assign(bytes); }
    RecordBody(const RecordBody& other) { assign(other.span()); }
    RecordBody& operator=(const RecordBody& other)
    {
        if (this != &other)
            assign(other.span());
        return *this;
    }
    ~RecordBody() { release(); }

    void assign(ByteSpan bytes)
    {
        resize(bytes.size());
        if (!bytes.empty())
            std::memmove(data(), bytes.data(), bytes.size());
    }
    /// New bytes are zero; existing bytes up to the new size are kept.
    void resize(std::size_t n)
    {
        if (n <= capacity()) {
            if (n > size_)
                std::memset(data() + size_, 0, n - size_);
            size_ = static_cast<std::uint32_t>(n);
            return;
        }
        auto* fresh = new std::uint8_t[n];
        std::memcpy(fresh, data(), size_);
        std::memset(fresh + size_, 0, n - size_);
        release();
        heap_ = fresh;
        heapCapacity_ = static_cast<std::uint32_t>(n);
        size_ = static_cast<std::uint32_t>(n);
    }

    std::uint8_t* data() noexcept { return heap_ ? heap_ : inline_; }
    const std::uint8_t* data() const noexcept { return heap_ ? heap_ : inline_; }
    std::size_t size() const noexcept { return size_; }
    ByteSpan span() const noexcept { return {data(), size_}; }

private:
    std::size_t capacity() const noexcept { return heap_ ? heapCapacity_ : InlineCapacity; }
    void release() noexcept
    {
        delete[] heap_;
        heap_ = nullptr;
        heapCapacity_ = 0;
    }

    std::uint8_t* heap_ = nullptr;
    std::uint32_t size_ = 0;
    std::uint32_t heapCapacity_ = 0;
    std::uint8_t inline_[InlineCapacity] = {};
};

} // namespace quorvane::xls
