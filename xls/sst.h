#pragma once
// `TSST`, the shared string table: one growable buffer of entries and a list of entry
// offsets kept in a total order (length first, then bytes), searched by bisection.
//
// Entry layout in the buffer (offsets from the entry start):
//   0  u16  reference count (LABELSST cells that use the entry)
//   2  u32  absolute stream position of the entry, set while writing (EXTSST)
//   6  u16  offset inside its SST or CONTINUE record, set while writing
//   8  u32  index in the written SST, set while writing
//  12  the string as BIFF8 stores it: u16 count, u8 flags, [u16 runs], [u32 ext size],
//      characters (1 or 2 bytes), runs (4 bytes each), extension block
#include "xls/bytes.h"
#include "xls/records.h"

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace quorvane::xls {

class TSST {
public:
    /// The buffer's first capacity and its growth step.
    static constexpr std::size_t CapacityStep = 0x7E8000; // 8,290,304 bytes
    static constexpr std::size_t EntryHeaderSize = 12;

    TSST();

    void clear();

    /// Appends the strings of an SST record (total references u32, unique count u32,
    /// then the strings, continued across its CONTINUE chain), in file order, each with
    /// reference count 0. Fails with "Error reading record".
    void loadFromRecord(const TBaseRecord& sst);

    /// Number of entries.
    std::size_t count() const noexcept { return entries_.size(); }
    /// Offset of the i-th entry of the list (file order until sort(), then table order).
    std::uint32_t entryAt(std::size_t i) const { return entries_.at(i); }
    const std::vector<std::uint32_t>& entries() const noexcept { return entries_; }

    /// Sorts the entry list into the table's order (done once the workbook is read).
    void sort();

    /// The entry whose stored form equals `stored`, by bisection in the table's order.
    std::optional<std::uint32_t> find(ByteSpan stored) const;
    /// Enters a string: an identical entry gets one more reference; otherwise a new entry
    /// with reference count 1 is inserted at its sorted place. Returns its offset.
    /// `stored` must not point into this table.
    std::uint32_t addString(ByteSpan stored);

    /// True when `entry` is the offset of an entry of this table's buffer.
    bool isEntry(std::uint32_t entry) const noexcept;

    std::u16string text(std::uint32_t entry) const;
    /// The string's stored form (from entry offset 12), and the entry's whole size.
    ByteSpan storedForm(std::uint32_t entry) const;
    std::size_t entrySize(std::uint32_t entry) const;

    std::uint16_t refCount(std::uint32_t entry) const;
    /// Reference counts are 16 bits wide. A count that reaches 0xFFFF stays there:
    /// a string used by more cells than that is never taken for unused.
    void addRef(std::uint32_t entry);
    void release(std::uint32_t entry);

    /// Header fields the writer fills in.
    std::uint8_t* entryHeader(std::uint32_t entry) { return buffer_.data() + entry; }

private:
    std::uint32_t append(ByteSpan stored);
    bool less(std::uint32_t a, std::uint32_t b) const noexcept;
    int compare(ByteSpan a, ByteSpan b) const noexcept;

    std::vector<std::uint8_t> buffer_;
    std::vector<std::uint32_t> entries_;
};

} // namespace quorvane::xls
