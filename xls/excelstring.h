#pragma once
// BIFF8 strings (MS-XLS XLUnicodeRichExtendedString and its shorter forms) read from a
// record and its CONTINUE chain.
#include "xls/records.h"

#include <string>
#include <vector>

namespace quorvane::xls {

/// Reads a record body and its continuations as one sequence of bytes. Plain reads
/// cross record boundaries without a flags byte; characters cross them with the fresh
/// option flags byte that BIFF8 puts at the start of a CONTINUE record. Reading past
/// the end of the last record fails with "Error reading record".
class ChainReader {
public:
    ChainReader(const TBaseRecord& first, std::size_t pos) noexcept : rec_(&first), pos_(pos) {}

    std::uint8_t u8();
    std::uint16_t u16();
    std::uint32_t u32();
    /// Appends n bytes to out; fails before allocating when the chain holds fewer.
    void bytes(std::size_t n, std::vector<std::uint8_t>& out);
    /// Appends `count` characters; `wide` is the width of the current segment and becomes
    /// true for good once a 16-bit segment is met.
    void chars(std::size_t count, bool& wide, std::u16string& out);
    /// Bytes left in this record and the continuations after it.
    std::size_t remaining() const noexcept;
    /// True when nothing is left in the whole chain.
    bool exhausted() const noexcept;

private:
    void nextRecord();
    const TBaseRecord* rec_;
    std::size_t pos_;
};

/// `TExcelString`: a decoded BIFF8 string with its option flags (bit 0 16-bit, bit 2
/// extension block, bit 3 rich-text runs), its runs (4 bytes each, raw) and its
/// extension block (raw).
class TExcelString {
public:
    static constexpr std::uint8_t Wide = 0x01;
    static constexpr std::uint8_t HasExtension = 0x04;
    static constexpr std::uint8_t HasRuns = 0x08;

    /// Decodes at the reader's position; `countWidth` is 1 (sheet names) or 2 (SST,
    /// LABEL, STRING). When an 8-bit start continues 16-bit, the whole text is 16-bit.
    static TExcelString read(ChainReader& reader, int countWidth);

    /// A string of plain characters: 8-bit when every one is below 256.
    static TExcelString fromText(std::u16string text);

    const std::u16string& text() const noexcept { return text_; }
    std::uint8_t flags() const noexcept { return flags_; }
    bool isWide() const noexcept { return flags_ & Wide; }
    const std::vector<std::uint8_t>& runs() const noexcept { return runs_; }
    const std::vector<std::uint8_t>& extension() const noexcept { return ext_; }

    /// The string as BIFF8 stores it in one piece with a 2-byte count: count, flags,
    /// [run count], [extension size], characters, runs, extension.
    std::vector<std::uint8_t> storedForm() const;

private:
    std::u16string text_;
    std::uint8_t flags_ = 0;
    std::vector<std::uint8_t> runs_;
    std::vector<std::uint8_t> ext_;
};

} // namespace quorvane::xls
