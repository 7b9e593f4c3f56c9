#include "xls/formula.h"

namespace quorvane::xls::formula {

namespace {

// Bytes after the id byte, for tokens of fixed size; -1 for tokens sized by their data,
// -2 for ids that are not BIFF8 tokens.
constexpr int fixedDataSize(std::uint8_t base) noexcept
{
    switch (base) {
    case PtgExp: case PtgTbl: return 4;
    case 0x03: case 0x04: case 0x05: case 0x06: case 0x07: case 0x08: case 0x09:
    case 0x0A: case 0x0B: case 0x0C: case 0x0D: case 0x0E: case 0x0F: case 0x10:
    case 0x11: case 0x12: case 0x13: case 0x14: case 0x15: case 0x16:
        return 0; // operators, parentheses, missing argument
    case PtgStr: case PtgAttr: return -1;
    case 0x1C: case 0x1D: return 1; // PtgErr, PtgBool
    case 0x1E: return 2;            // PtgInt
    case 0x1F: return 8;            // PtgNum
    case 0x20: return 7;            // PtgArray (its values follow the token array)
    case 0x21: return 2;            // PtgFunc
    case 0x22: return 3;            // PtgFuncVar
    case 0x23: return 4;            // PtgName
    case PtgRef: return 4;
    case PtgArea: return 8;
    case 0x26: case 0x27: case 0x28: return 6; // PtgMemArea, PtgMemErr, PtgMemNoMem
    case 0x29: return 2;                       // PtgMemFunc
    case 0x2A: return 4;                       // PtgRefErr
    case 0x2B: return 8;                       // PtgAreaErr
    case PtgRefN: return 4;
    case PtgAreaN: return 8;
    case 0x2E: case 0x2F: return 2; // PtgMemAreaN, PtgMemNoMemN
    case 0x39: return 6;            // PtgNameX
    case PtgRef3d: return 6;
    case PtgArea3d: return 10;
    case 0x3C: return 6;  // PtgRefErr3d
    case 0x3D: return 10; // PtgAreaErr3d
    default: return -2;
    }
}

// A relative row field: the offset (signed 16 bits) added to the cell's row.
std::uint16_t rebaseRow(std::uint16_t field, bool relative, std::uint16_t row) noexcept
{
    return relative ? static_cast<std::uint16_t>(row + static_cast<std::int16_t>(field)) : field;
}

// A column field: column in bits 0..7 (a signed 8-bit offset when relative), bit 14
// column relative, bit 15 row relative.
std::uint16_t rebaseCol(std::uint16_t field, std::uint16_t col) noexcept
{
    if (!(field & 0x4000))
        return field;
    const auto offset = static_cast<std::int8_t>(field & 0xFF);
    const auto c = static_cast<std::uint8_t>(col + offset);
    return static_cast<std::uint16_t>((field & 0xFF00) | c);
}

void rebaseRefAt(std::uint8_t* p, std::uint16_t row, std::uint16_t col) noexcept
{
    const std::uint16_t colField = getU16(p + 2);
    putU16(p, rebaseRow(getU16(p), colField & 0x8000, row));
    putU16(p + 2, rebaseCol(colField, col));
}

void rebaseAreaAt(std::uint8_t* p, std::uint16_t row, std::uint16_t col) noexcept
{
    const std::uint16_t firstCol = getU16(p + 4);
    const std::uint16_t lastCol = getU16(p + 6);
    putU16(p, rebaseRow(getU16(p), firstCol & 0x8000, row));
    putU16(p + 2, rebaseRow(getU16(p + 2), lastCol & 0x8000, row));
    putU16(p + 4, rebaseCol(firstCol, col));
    putU16(p + 6, rebaseCol(lastCol, col));
}

} // namespace

std::optional<std::size_t> tokenSize(ByteSpan t, std::size_t off) noexcept
{
    if (off >= t.size())
        return std::nullopt;
    const std::uint8_t base = baseId(t[off]);
    const int fixed = fixedDataSize(base);
    std::size_t size;
    if (fixed >= 0) {
        size = 1 + static_cast<std::size_t>(fixed);
    } else if (base == PtgStr) {
        // 8-bit character count, option flags (bit 0: 16-bit characters), characters.
        if (!fits(t, off + 1, 2))
            return std::nullopt;
        const std::size_t count = t[off + 1];
        size = 3 + count * ((t[off + 2] & 0x01) ? 2 : 1);
    } else if (base == PtgAttr) {
        // Options, a 16-bit value; a choose (bit 0x04) adds a jump table of value + 1 entries.
        if (!fits(t, off + 1, 3))
            return std::nullopt;
        size = 4;
        if (t[off + 1] & 0x04)
            size += 2 * (static_cast<std::size_t>(getU16(t.data() + off + 2)) + 1);
    } else {
        return std::nullopt;
    }
    if (!fits(t, off, size))
        return std::nullopt;
    return size;
}

std::optional<std::uint8_t> walk(ByteSpan tokens, const std::function<void(std::size_t, std::uint8_t)>& visit)
{
    std::size_t off = 0;
    while (off < tokens.size()) {
        const auto size = tokenSize(tokens, off);
        if (!size)
            return tokens[off];
        visit(off, tokens[off]);
        off += *size;
    }
    return std::nullopt;
}

std::optional<std::vector<ReferenceSite>> referenceSites(ByteSpan tokens, std::uint8_t* bad)
{
    std::vector<ReferenceSite> sites;
    const auto failed = walk(tokens, [&](std::size_t off, std::uint8_t id) {
        const std::uint8_t base = baseId(id);
        auto ref = [&](std::size_t fields, bool relative) {
            sites.push_back({off, off + fields, off + fields + 2, relative, false});
        };
        auto area = [&](std::size_t fields, bool relative) {
            sites.push_back({off, off + fields, off + fields + 4, relative, false});
            sites.push_back({off, off + fields + 2, off + fields + 6, relative, false});
        };
        switch (base) {
        case PtgExp:
        case PtgTbl: sites.push_back({off, off + 1, off + 3, false, true}); break;
        case PtgRef: ref(1, false); break;
        case PtgRefN: ref(1, true); break;
        case PtgArea: area(1, false); break;
        case PtgAreaN: area(1, true); break;
        case PtgRef3d: ref(3, false); break;
        case PtgArea3d: area(3, false); break;
        default: break;
        }
    });
    if (failed) {
        if (bad)
            *bad = *failed;
        return std::nullopt;
    }
    return sites;
}

std::optional<std::uint8_t> rebaseShared(std::span<std::uint8_t> tokens, std::uint16_t row, std::uint16_t col)
{
    const ByteSpan view(tokens.data(), tokens.size());
    return walk(view, [&](std::size_t off, std::uint8_t id) {
        std::uint8_t* p = tokens.data() + off;
        switch (baseId(id)) {
        case PtgRefN:
            rebaseRefAt(p + 1, row, col);
            p[0] = static_cast<std::uint8_t>(id - (PtgRefN - PtgRef));
            break;
        case PtgAreaN:
            rebaseAreaAt(p + 1, row, col);
            p[0] = static_cast<std::uint8_t>(id - (PtgAreaN - PtgArea));
            break;
        case PtgRef3d: rebaseRefAt(p + 3, row, col); break;
        case PtgArea3d: rebaseAreaAt(p + 3, row, col); break;
        default: break;
        }
    });
}

} // namespace quorvane::xls::formula

