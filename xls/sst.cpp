#include "xls/sst.h"

#include "xls/errors.h"
#include "xls/excelstring.h"
#include "xls/messages.h"

#include <algorithm>
#include <cstdint>
#include <cstring>

namespace quorvane::xls {

namespace {

// Size of a stored string from its own header fields; the entry was built by us, so the
// fields are consistent with the bytes that follow.
std::size_t storedSize(const std::uint8_t* p) noexcept
{
    const std::size_t count = getU16(p);
    const std::uint8_t flags = p[2];
    std::size_t size = 3;
    std::size_t runs = 0;
    std::size_t ext = 0;
    if (flags & TExcelString::HasRuns) {
        runs = getU16(p + size);
        size += 2;
    }
    if (flags & TExcelString::HasExtension) {
        ext = getU32(p + size);
        size += 4;
    }
    return size + count * ((flags & TExcelString::Wide) ? 2 : 1) + runs * 4 + ext;
}

} // namespace

TSST::TSST()
{
    buffer_.reserve(CapacityStep);
}

void TSST::clear()
{
    buffer_.clear();
    entries_.clear();
}

std::uint32_t TSST::append(ByteSpan stored)
{
    const std::size_t need = buffer_.size() + EntryHeaderSize + stored.size();
    if (need > UINT32_MAX) // entries are addressed by 32-bit offsets
        throw RecordError(msg::RecordRead);
    if (need >= buffer_.capacity()) {
        std::size_t cap = buffer_.capacity();
        while (need >= cap)
            cap += CapacityStep;
        buffer_.reserve(cap);
    }
    const auto offset = static_cast<std::uint32_t>(buffer_.size());
    buffer_.resize(buffer_.size() + EntryHeaderSize, 0);
    buffer_.insert(buffer_.end(), stored.begin(), stored.end());
    return offset;
}

void TSST::loadFromRecord(const TBaseRecord& sst)
{
    if (sst.bodySize() < 8)
        throw RecordError(msg::RecordRead);
    const std::uint32_t unique = getU32(sst.body().data() + 4);
    ChainReader reader(sst, 8);
    for (std::uint32_t i = 0; i < unique; ++i) {
        // Real files announce more strings than they hold (corpus:
        // calamine/gh548_incorrect_sst_unique_count.xls); the strings present are kept and
        // a cell that points past them is refused when its sheet is read.
        if (reader.exhausted())
            break;
        const TExcelString s = TExcelString::read(reader, 2);
        const std::vector<std::uint8_t> stored = s.storedForm();
        entries_.push_back(append(stored));
    }
}

bool TSST::isEntry(std::uint32_t entry) const noexcept
{
    // Offsets come from this table; the check guards cells that outlive a cleared table.
    if (static_cast<std::size_t>(entry) + EntryHeaderSize + 3 > buffer_.size())
        return false;
    const std::uint8_t* p = buffer_.data() + entry + EntryHeaderSize;
    std::size_t header = 3;
    if (p[2] & TExcelString::HasRuns)
        header += 2;
    if (p[2] & TExcelString::HasExtension)
        header += 4;
    if (entry + EntryHeaderSize + header > buffer_.size())
        return false;
    return entry + EntryHeaderSize + storedSize(p) <= buffer_.size();
}

ByteSpan TSST::storedForm(std::uint32_t entry) const
{
    const std::uint8_t* p = buffer_.data() + entry + EntryHeaderSize;
    return {p, storedSize(p)};
}

std::size_t TSST::entrySize(std::uint32_t entry) const
{
    return EntryHeaderSize + storedSize(buffer_.data() + entry + EntryHeaderSize);
}

std::u16string TSST::text(std::uint32_t entry) const
{
    if (!isEntry(entry))
        return {};
    const std::uint8_t* p = buffer_.data() + entry + EntryHeaderSize;
    const std::size_t count = getU16(p);
    const std::uint8_t flags = p[2];
    std::size_t at = 3;
    if (flags & TExcelString::HasRuns)
        at += 2;
    if (flags & TExcelString::HasExtension)
        at += 4;
    std::u16string out(count, u'\0');
    if (flags & TExcelString::Wide) {
        for (std::size_t i = 0; i < count; ++i)
            out[i] = static_cast<char16_t>(getU16(p + at + 2 * i));
    } else {
        for (std::size_t i = 0; i < count; ++i)
            out[i] = static_cast<char16_t>(p[at + i]);
    }
    return out;
}

std::uint16_t TSST::refCount(std::uint32_t entry) const
{
    if (!isEntry(entry))
        return 0;
    return getU16(buffer_.data() + entry);
}

void TSST::addRef(std::uint32_t entry)
{
    if (!isEntry(entry))
        return;
    const std::uint16_t n = refCount(entry);
    if (n != 0xFFFF)
        putU16(buffer_.data() + entry, static_cast<std::uint16_t>(n + 1));
}

void TSST::release(std::uint32_t entry)
{
    if (!isEntry(entry))
        return;
    const std::uint16_t n = refCount(entry);
    if (n != 0 && n != 0xFFFF)
        putU16(buffer_.data() + entry, static_cast<std::uint16_t>(n - 1));
}

int TSST::compare(ByteSpan a, ByteSpan b) const noexcept
{
    // Length of the whole entry first (the header is the same size for all), then the
    // stored bytes unsigned.
    if (a.size() != b.size())
        return a.size() < b.size() ? -1 : 1;
    const int c = a.empty() ? 0 : std::memcmp(a.data(), b.data(), a.size());
    return c;
}

bool TSST::less(std::uint32_t a, std::uint32_t b) const noexcept
{
    return compare(storedForm(a), storedForm(b)) < 0;
}

void TSST::sort()
{
    std::sort(entries_.begin(), entries_.end(), [this](std::uint32_t a, std::uint32_t b) { return less(a, b); });
}

std::optional<std::uint32_t> TSST::find(ByteSpan stored) const
{
    auto it = std::lower_bound(entries_.begin(), entries_.end(), stored,
                               [this](std::uint32_t e, ByteSpan s) { return compare(storedForm(e), s) < 0; });
    if (it != entries_.end() && compare(storedForm(*it), stored) == 0)
        return *it;
    return std::nullopt;
}

std::uint32_t TSST::addString(ByteSpan stored)
{
    auto it = std::lower_bound(entries_.begin(), entries_.end(), stored,
                               [this](std::uint32_t e, ByteSpan s) { return compare(storedForm(e), s) < 0; });
    if (it != entries_.end() && compare(storedForm(*it), stored) == 0) {
        addRef(*it);
        return *it;
    }
    const std::size_t pos = static_cast<std::size_t>(it - entries_.begin());
    const std::uint32_t entry = append(stored);
    entries_.insert(entries_.begin() + static_cast<std::ptrdiff_t>(pos), entry);
    addRef(entry);
    return entry;
}

} // namespace quorvane::xls
