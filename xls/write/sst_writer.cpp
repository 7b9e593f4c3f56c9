#include "xls/write/sst_writer.h"

#include "xls/excelstring.h"

#include <algorithm>
#include <array>

namespace quorvane::xls {

namespace {

constexpr std::size_t HeaderSize = 4;
// An entry's fixed part (count, flags, run count, extension size) never straddles two
// records: a record with less room than this left is closed first.
constexpr std::size_t MinRoomForEntry = 32;
constexpr std::uint16_t ExtSstId = rid::ExtSst;

// Positions of the first entry of each EXTSST bucket.
struct BucketStart {
    std::uint32_t streamPos;
    std::uint16_t recordOffset;
};

// The 8228-byte assembly buffer. Each flush writes it as one record and restarts it as
// an empty CONTINUE record.
class Assembler {
public:
    explicit Assembler(ByteSink& sink) : sink_(sink)
    {
        id_ = rid::Sst;
        recordStart_ = sink_.written();
    }

    std::size_t room() const noexcept { return SstRecordLimit - fill_; }
    std::size_t fill() const noexcept { return fill_; }
    // Absolute stream position of the next byte put into the buffer.
    std::size_t position() const noexcept { return recordStart_ + fill_; }
    std::uint8_t* at(std::size_t i) noexcept { return buf_.data() + i; }

    void put(const std::uint8_t* p, std::size_t n)
    {
        std::copy(p, p + n, buf_.begin() + static_cast<std::ptrdiff_t>(fill_));
        fill_ += n;
    }
    void putU8(std::uint8_t v) { buf_[fill_++] = v; }
    void putU16(std::uint16_t v)
    {
        xls::putU16(buf_.data() + fill_, v);
        fill_ += 2;
    }
    void putU32(std::uint32_t v)
    {
        xls::putU32(buf_.data() + fill_, v);
        fill_ += 4;
    }

    void flush()
    {
        xls::putU16(buf_.data(), id_);
        xls::putU16(buf_.data() + 2, static_cast<std::uint16_t>(fill_ - HeaderSize));
        sink_.bytes(buf_.data(), fill_);
        recordStart_ = sink_.written();
        id_ = rid::Continue;
        fill_ = HeaderSize;
    }

private:
    ByteSink& sink_;
    std::array<std::uint8_t, SstRecordLimit> buf_{};
    std::size_t fill_ = HeaderSize;
    std::size_t recordStart_ = 0;
    std::uint16_t id_;
};

// Writes `n` bytes that carry no flags byte across a record boundary (runs, extension
// block), in pieces of whole multiples of 4 bytes that fit.
void putPieces(Assembler& a, const std::uint8_t* p, std::size_t n)
{
    while (n > 0) {
        std::size_t piece = std::min(n, a.room() & ~std::size_t{3});
        if (piece == 0 && n < 4 && a.room() >= n)
            piece = n; // a tail shorter than 4 bytes (a malformed extension size)
        if (piece == 0) {
            a.flush();
            continue;
        }
        a.put(p, piece);
        p += piece;
        n -= piece;
    }
}

// One entry. `stored` is the string as BIFF8 stores it (from the count on).
void putEntry(Assembler& a, ByteSpan stored)
{
    const std::uint8_t* s = stored.data();
    const std::size_t count = getU16(s);
    const std::uint8_t flags = s[2];
    std::size_t at = 3;
    std::uint16_t runCount = 0;
    std::uint32_t extSize = 0;
    if (flags & TExcelString::HasRuns) {
        runCount = getU16(s + at);
        at += 2;
    }
    if (flags & TExcelString::HasExtension) {
        extSize = getU32(s + at);
        at += 4;
    }
    const bool wide = flags & TExcelString::Wide;
    const std::uint8_t* chars = s + at;

    a.putU16(static_cast<std::uint16_t>(count));
    std::size_t flagsAt = a.fill(); // the flags byte that governs the first segment
    a.putU8(flags);
    if (flags & TExcelString::HasRuns)
        a.putU16(runCount);
    if (flags & TExcelString::HasExtension)
        a.putU32(extSize);

    auto charAt = [&](std::size_t i) -> std::uint16_t { return wide ? getU16(chars + 2 * i) : chars[i]; };

    std::size_t done = 0;
    while (done < count) {
        const std::size_t left = count - done;
        std::size_t single = std::min(left, a.room());
        const std::size_t dbl = std::min(left, a.room() / 2);
        if (wide) {
            std::size_t k = 0;
            while (k < single && charAt(done + k) < 256)
                ++k;
            single = k;
        }
        if (single < dbl) {
            *a.at(flagsAt) |= TExcelString::Wide;
            for (std::size_t i = 0; i < dbl; ++i)
                a.putU16(charAt(done + i));
            done += dbl;
        } else {
            *a.at(flagsAt) &= static_cast<std::uint8_t>(~TExcelString::Wide);
            for (std::size_t i = 0; i < single; ++i)
                a.putU8(static_cast<std::uint8_t>(charAt(done + i)));
            done += single;
        }
        if (done < count) {
            a.flush();
            // A continued segment's flags byte carries only the width bit: the other bits
            // are reserved there, and readers that check the whole byte refuse any other.
            flagsAt = a.fill();
            a.putU8(0);
        }
    }
    const std::size_t charBytes = wide ? 2 * count : count;
    putPieces(a, chars + charBytes, 4 * std::size_t{runCount});
    putPieces(a, chars + charBytes + 4 * std::size_t{runCount}, extSize);
}

void write(const TSST& table, TSST* update, ByteSink& sink)
{
    std::uint32_t total = 0;
    std::uint32_t unique = 0;
    for (std::uint32_t e : table.entries()) {
        const std::uint16_t n = table.refCount(e);
        if (n == 0)
            continue;
        total += n;
        ++unique;
    }

    Assembler a(sink);
    a.putU32(total);
    a.putU32(unique);

    const std::uint32_t bucketSize = std::max<std::uint32_t>(8, unique / 128 + 1);
    std::vector<BucketStart> buckets;
    std::uint32_t index = 0;
    for (std::uint32_t e : table.entries()) {
        if (table.refCount(e) == 0)
            continue;
        if (a.room() < MinRoomForEntry)
            a.flush();
        const auto pos = static_cast<std::uint32_t>(a.position());
        const auto offset = static_cast<std::uint16_t>(a.fill());
        if (index % bucketSize == 0)
            buckets.push_back({pos, offset});
        if (update) {
            std::uint8_t* h = update->entryHeader(e);
            putU32(h + 2, pos);
            putU16(h + 6, offset);
            putU32(h + 8, index);
        }
        putEntry(a, table.storedForm(e));
        ++index;
    }
    a.flush();

    // EXTSST: bucket size, then per bucket the position and in-record offset of its
    // first entry and 16 reserved bits.
    std::vector<std::uint8_t> ext(2 + 8 * buckets.size());
    putU16(ext.data(), static_cast<std::uint16_t>(bucketSize));
    for (std::size_t i = 0; i < buckets.size(); ++i) {
        putU32(ext.data() + 2 + 8 * i, buckets[i].streamPos);
        putU16(ext.data() + 6 + 8 * i, buckets[i].recordOffset);
    }
    sink.record(ExtSstId, ext);
}

} // namespace

void writeSharedStrings(TSST& sst, ByteSink& sink)
{
    write(sst, sink.counting() ? nullptr : &sst, sink);
}

std::size_t sharedStringsSize(const TSST& sst)
{
    ByteSink counter;
    write(sst, nullptr, counter);
    return counter.written();
}

} // namespace quorvane::xls
