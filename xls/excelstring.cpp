#include "xls/excelstring.h"

#include "xls/errors.h"
#include "xls/messages.h"

#include <algorithm>

namespace quorvane::xls {

void ChainReader::nextRecord()
{
    const TBaseRecord* next = rec_->continuation();
    if (!next)
        throw RecordError(msg::RecordRead);
    rec_ = next;
    pos_ = 0;
}

std::size_t ChainReader::remaining() const noexcept
{
    std::size_t n = rec_->bodySize() > pos_ ? rec_->bodySize() - pos_ : 0;
    for (const TBaseRecord* r = rec_->continuation(); r; r = r->continuation())
        n += r->bodySize();
    return n;
}

bool ChainReader::exhausted() const noexcept
{
    if (pos_ < rec_->bodySize())
        return false;
    for (const TBaseRecord* r = rec_->continuation(); r; r = r->continuation())
        if (r->bodySize() > 0)
            return false;
    return true;
}

std::uint8_t ChainReader::u8()
{
    while (pos_ >= rec_->bodySize())
        nextRecord();
    return rec_->body()[pos_++];
}

std::uint16_t ChainReader::u16()
{
    const std::uint16_t lo = u8();
    return static_cast<std::uint16_t>(lo | (u8() << 8));
}

std::uint32_t ChainReader::u32()
{
    const std::uint32_t lo = u16();
    return lo | (static_cast<std::uint32_t>(u16()) << 16);
}

void ChainReader::bytes(std::size_t n, std::vector<std::uint8_t>& out)
{
    // No reservation up front: the count is the file's claim, and walking the rest of
    // the chain to check it would cost a walk per string in a long SST. The output grows
    // only with bytes actually read; the end of the chain fails the read.
    while (n > 0) {
        while (pos_ >= rec_->bodySize())
            nextRecord();
        const std::size_t take = std::min(n, rec_->bodySize() - pos_);
        const std::uint8_t* p = rec_->body().data() + pos_;
        out.insert(out.end(), p, p + take);
        pos_ += take;
        n -= take;
    }
}

void ChainReader::chars(std::size_t count, bool& wide, std::u16string& out)
{
    bool segmentWide = wide;
    while (count > 0) {
        if (pos_ >= rec_->bodySize()) {
            nextRecord();
            // A string continued in a CONTINUE record starts it with fresh option flags.
            segmentWide = (u8() & TExcelString::Wide) != 0;
            wide = wide || segmentWide;
            continue;
        }
        const std::uint8_t* p = rec_->body().data() + pos_;
        const std::size_t avail = rec_->bodySize() - pos_;
        if (segmentWide) {
            const std::size_t n = std::min(count, avail / 2);
            if (n == 0) // half a character before the boundary
                throw RecordError(msg::RecordRead);
            for (std::size_t i = 0; i < n; ++i)
                out.push_back(static_cast<char16_t>(getU16(p + 2 * i)));
            pos_ += 2 * n;
            count -= n;
        } else {
            const std::size_t n = std::min(count, avail);
            for (std::size_t i = 0; i < n; ++i)
                out.push_back(static_cast<char16_t>(p[i]));
            pos_ += n;
            count -= n;
        }
    }
}

TExcelString TExcelString::read(ChainReader& reader, int countWidth)
{
    TExcelString s;
    const std::size_t count = countWidth == 1 ? reader.u8() : reader.u16();
    if (count == 0 && reader.exhausted()) {
        // A zero count with no flags byte after it: some writers store an empty string
        // that way (LABEL records of real files); it reads as the empty text.
        return s;
    }
    s.flags_ = reader.u8();
    std::size_t runCount = 0;
    std::uint32_t extSize = 0;
    if (s.flags_ & HasRuns)
        runCount = reader.u16();
    if (s.flags_ & HasExtension)
        extSize = reader.u32();
    bool wide = (s.flags_ & Wide) != 0;
    // At most one record's worth up front: the count is the file's claim, not yet checked.
    s.text_.reserve(std::min<std::size_t>(count, 8224));
    reader.chars(count, wide, s.text_);
    s.flags_ = static_cast<std::uint8_t>(wide ? (s.flags_ | Wide) : (s.flags_ & ~Wide));
    reader.bytes(runCount * 4, s.runs_);
    reader.bytes(extSize, s.ext_);
    return s;
}

TExcelString TExcelString::fromText(std::u16string text)
{
    TExcelString s;
    s.text_ = std::move(text);
    for (char16_t c : s.text_)
        if (c > 0xFF)
            s.flags_ = Wide;
    return s;
}

std::vector<std::uint8_t> TExcelString::storedForm() const
{
    std::vector<std::uint8_t> out;
    const std::size_t count = text_.size();
    out.reserve(9 + count * (isWide() ? 2 : 1) + runs_.size() + ext_.size());
    auto push16 = [&](std::uint16_t v) {
        out.push_back(static_cast<std::uint8_t>(v));
        out.push_back(static_cast<std::uint8_t>(v >> 8));
    };
    push16(static_cast<std::uint16_t>(count));
    out.push_back(flags_);
    if (flags_ & HasRuns)
        push16(static_cast<std::uint16_t>(runs_.size() / 4));
    if (flags_ & HasExtension) {
        push16(static_cast<std::uint16_t>(ext_.size()));
        push16(static_cast<std::uint16_t>(ext_.size() >> 16));
    }
    for (char16_t c : text_) {
        if (isWide())
            push16(static_cast<std::uint16_t>(c));
        else
            out.push_back(static_cast<std::uint8_t>(c));
    }
    out.insert(out.end(), runs_.begin(), runs_.end());
    out.insert(out.end(), ext_.begin(), ext_.end());
    return out;
}

} // namespace quorvane::xls
