#pragma once
// The byte sink every emitter of the writer writes to. The same emitters compute the
// total sizes: a counting sink runs the very code that writes, so a section's total size
// is what its save writes, byte for byte.
#include "xls/bytes.h"
#include "xls/records.h"

#include <cstdint>
#include <vector>

namespace quorvane::xls {

class ByteSink {
public:
    /// A sink that only counts.
    ByteSink() noexcept = default;
    /// A sink that appends to `out`; positions count from out's size when created.
    explicit ByteSink(std::vector<std::uint8_t>& out) noexcept : out_(&out), base_(out.size()) {}

    bool counting() const noexcept { return out_ == nullptr; }
    /// Bytes written through this sink so far.
    std::size_t written() const noexcept { return out_ ? out_->size() - base_ : count_; }

    void bytes(const std::uint8_t* p, std::size_t n)
    {
        if (out_)
            out_->insert(out_->end(), p, p + n);
        else
            count_ += n;
    }
    void bytes(ByteSpan b) { bytes(b.data(), b.size()); }
    void header(std::uint16_t id, std::size_t bodySize)
    {
        std::uint8_t h[4];
        putU16(h, id);
        putU16(h + 2, static_cast<std::uint16_t>(bodySize));
        bytes(h, 4);
    }
    /// A record as held: header, body and its CONTINUE chain.
    void record(const TBaseRecord& r)
    {
        if (out_)
            r.save(*out_);
        else
            count_ += r.totalSize();
    }
    /// A record with a body of its own making.
    void record(std::uint16_t id, ByteSpan body)
    {
        header(id, body.size());
        bytes(body);
    }

private:
    std::vector<std::uint8_t>* out_ = nullptr;
    std::size_t base_ = 0;
    std::size_t count_ = 0;
};

} // namespace quorvane::xls
