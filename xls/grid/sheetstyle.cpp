#include "xls/grid/sheetstyle.h"

#include <algorithm>
#include <array>
#include <functional>

namespace quorvane::xls::grid {

namespace {

constexpr std::array<std::uint32_t, 56> DefaultPalette = {
    0x000000, 0xFFFFFF, 0xFF0000, 0x00FF00, 0x0000FF, 0xFFFF00, 0xFF00FF, 0x00FFFF,
    0x800000, 0x008000, 0x000080, 0x808000, 0x800080, 0x008080, 0xC0C0C0, 0x808080,
    0x9999FF, 0x993366, 0xFFFFCC, 0xCCFFFF, 0x660066, 0xFF8080, 0x0066CC, 0xCCCCFF,
    0x000080, 0xFF00FF, 0xFFFF00, 0x00FFFF, 0x800080, 0x800000, 0x008080, 0x0000FF,
    0x00CCFF, 0xCCFFFF, 0xCCFFCC, 0xFFFF99, 0x99CCFF, 0xFF99CC, 0xCC99FF, 0xFFCC99,
    0x3366FF, 0x33CCCC, 0x99CC00, 0xFFCC00, 0xFF9900, 0xFF6600, 0x666699, 0x969696,
    0x003366, 0x339966, 0x003300, 0x333300, 0x993300, 0x993366, 0x333399, 0x333333,
};

Rgb fromHex(std::uint32_t v)
{
    return {static_cast<std::uint8_t>(v >> 16), static_cast<std::uint8_t>(v >> 8), static_cast<std::uint8_t>(v)};
}

std::uint16_t u16At(ByteSpan b, std::size_t off, std::uint16_t fallback = 0) noexcept
{
    return fits(b, off, 2) ? getU16(b.data() + off) : fallback;
}
std::uint32_t u32At(ByteSpan b, std::size_t off) noexcept
{
    return fits(b, off, 4) ? getU32(b.data() + off) : 0;
}

// COLINFO: first column, last column, width, XF, options (bit 0 hidden), reserved.
constexpr std::size_t ColInfoSize = 12;

std::unique_ptr<TBaseRecord> makeColInfo(int first, int last, std::uint32_t width, std::uint16_t xf, std::uint16_t options)
{
    std::array<std::uint8_t, ColInfoSize> b{};
    putU16(b.data(), static_cast<std::uint16_t>(first));
    putU16(b.data() + 2, static_cast<std::uint16_t>(last));
    putU16(b.data() + 4, static_cast<std::uint16_t>(std::min<std::uint32_t>(width, 0xFFFF)));
    putU16(b.data() + 6, xf);
    putU16(b.data() + 8, options);
    return createRecord(rid::ColInfo, ByteSpan(b.data(), b.size()));
}

} // namespace

std::optional<Rgb> paletteColor(const TWorkbookGlobals& g, int index) noexcept
{
    if (index >= 0 && index < 8)
        return fromHex(DefaultPalette[static_cast<std::size_t>(index)]);
    if (index < 8 || index > 63)
        return std::nullopt;
    // PALETTE: a count, then RGB and one unused byte per colour from index 8.
    if (g.palette) {
        const ByteSpan b = g.palette->body();
        const std::size_t off = 2 + static_cast<std::size_t>(index - 8) * 4;
        if (u16At(b, 0) > index - 8 && fits(b, off, 3))
            return Rgb{b[off], b[off + 1], b[off + 2]};
    }
    return fromHex(DefaultPalette[static_cast<std::size_t>(index - 8)]);
}

FontInfo fontInfo(const TWorkbookGlobals& g, int index)
{
    FontInfo f;
    const int at = index >= 4 ? index - 1 : index;
    if (at < 0 || at >= static_cast<int>(g.fonts.size()))
        return f;
    // FONT: height (twips), flags (0x02 italic, 0x08 struck out), colour, weight,
    // escapement, underline, family, charset, reserved, name (1-byte count, flags).
    const ByteSpan b = g.fonts[static_cast<std::size_t>(at)]->body();
    if (b.size() < 16)
        return f;
    f.points = getU16(b.data()) / 20.0;
    const std::uint16_t flags = getU16(b.data() + 2);
    f.italic = flags & 0x02;
    f.strikeOut = flags & 0x08;
    f.colorIndex = getU16(b.data() + 4);
    f.bold = getU16(b.data() + 6) >= 700;
    f.underline = b[10] != 0;
    const std::size_t count = b[14];
    const bool wide = b[15] & 0x01;
    std::u16string name;
    for (std::size_t i = 0; i < count; ++i) {
        const std::size_t off = 16 + i * (wide ? 2 : 1);
        if (!fits(b, off, wide ? 2 : 1))
            break;
        name.push_back(wide ? static_cast<char16_t>(getU16(b.data() + off)) : static_cast<char16_t>(b[off]));
    }
    if (!name.empty())
        f.name = name;
    return f;
}

CellStyle cellStyle(const TWorkbookGlobals& g, int xf)
{
    CellStyle s;
    if (xf < 0 || xf >= static_cast<int>(g.xfs.size()))
        return s;
    const ByteSpan b = g.xfs[static_cast<std::size_t>(xf)]->body();
    s.font = fontInfo(g, u16At(b, 0));
    if (b.size() < 20)
        return s;
    const std::uint8_t align = b[6];
    s.hAlign = static_cast<HAlign>(std::min(align & 0x07, 6));
    s.wrap = align & 0x08;
    const int v = (align >> 4) & 0x07;
    s.vAlign = v == 0 ? VAlign::Top : v == 1 ? VAlign::Centre : VAlign::Bottom;
    const std::uint32_t border1 = u32At(b, 10), border2 = u32At(b, 14);
    s.left = {static_cast<int>(border1 & 0x0F), static_cast<int>((border1 >> 16) & 0x7F)};
    s.right = {static_cast<int>((border1 >> 4) & 0x0F), static_cast<int>((border1 >> 23) & 0x7F)};
    s.top = {static_cast<int>((border1 >> 8) & 0x0F), static_cast<int>(border2 & 0x7F)};
    s.bottom = {static_cast<int>((border1 >> 12) & 0x0F), static_cast<int>((border2 >> 7) & 0x7F)};
    // Diagonals: bits 30 and 31 of the first border field; colour (bits 14..20) and style
    // (bits 21..24) of the second.
    s.diagonalDown = border1 & 0x40000000u;
    s.diagonalUp = border1 & 0x80000000u;
    s.diagonal = {static_cast<int>((border2 >> 21) & 0x0F), static_cast<int>((border2 >> 14) & 0x7F)};
    s.fillPattern = static_cast<int>((border2 >> 26) & 0x3F);
    const std::uint16_t fill = u16At(b, 18);
    s.fillFg = fill & 0x7F;
    s.fillBg = (fill >> 7) & 0x7F;
    return s;
}

ColumnSize columnSize(const TWorkSheet& ws, int col)
{
    for (const auto& rec : ws.colInfos) {
        const ByteSpan b = rec->body();
        if (b.size() < 10)
            continue;
        if (col >= getU16(b.data()) && col <= getU16(b.data() + 2))
            return {getU16(b.data() + 4), (getU16(b.data() + 8) & 0x0001) != 0};
    }
    return {ws.defaultColumnWidth, false};
}

RowSize rowSize(const TWorkSheet& ws, int row)
{
    // ROW: height at offset 6 (15 bits), flags at 12 (0x20: height zero, hidden).
    if (const TRowRecord* r = ws.cells.rowRecord(row)) {
        const ByteSpan b = r->body();
        const bool hidden = fits(b, 12, 2) && (getU16(b.data() + 12) & 0x0020);
        return {static_cast<std::uint16_t>(r->height() & 0x7FFF), hidden};
    }
    return {ws.defaultRowHeight, false};
}

void setColumnWidth(TWorkSheet& ws, int col, std::uint32_t width)
{
    for (std::size_t i = 0; i < ws.colInfos.size(); ++i) {
        const ByteSpan b = ws.colInfos[i]->body();
        if (b.size() < 10)
            continue;
        const int first = getU16(b.data()), last = getU16(b.data() + 2);
        if (col < first || col > last)
            continue;
        const std::uint32_t oldWidth = getU16(b.data() + 4);
        const std::uint16_t xf = getU16(b.data() + 6), options = getU16(b.data() + 8);
        // Split [first, last] into the part before, the column itself and the part after.
        std::vector<std::unique_ptr<TBaseRecord>> parts;
        if (first < col)
            parts.push_back(makeColInfo(first, col - 1, oldWidth, xf, options));
        parts.push_back(makeColInfo(col, col, width, xf, options));
        if (col < last)
            parts.push_back(makeColInfo(col + 1, last, oldWidth, xf, options));
        ws.colInfos.erase(ws.colInfos.begin() + static_cast<std::ptrdiff_t>(i));
        for (std::size_t k = 0; k < parts.size(); ++k)
            ws.colInfos.insert(ws.colInfos.begin() + static_cast<std::ptrdiff_t>(i + k), std::move(parts[k]));
        return;
    }
    // No record covers the column: add one in column order. XF 15 is the default cell XF.
    auto pos = std::find_if(ws.colInfos.begin(), ws.colInfos.end(), [col](const auto& r) {
        return r->bodySize() >= 2 && getU16(r->body().data()) > col;
    });
    ws.colInfos.insert(pos, makeColInfo(col, col, width, 15, 0));
}

void setRowHeight(TWorkSheet& ws, int row, std::uint16_t height)
{
    const TRowRecord* existing = ws.cells.rowRecord(row);
    if (!existing) {
        ws.cells.addRowRecord(TRowRecord::create(static_cast<std::uint16_t>(row), 0, 0, height));
        existing = ws.cells.rowRecord(row);
    }
    auto* r = const_cast<TRowRecord*>(existing);
    RecordBody& body = r->mutableBody();
    putU16(body.data() + 6, static_cast<std::uint16_t>(height & 0x7FFF));
    // 0x40: the height no longer follows the font (set by the user).
    if (body.size() >= 14)
        putU16(body.data() + 12, static_cast<std::uint16_t>(getU16(body.data() + 12) | 0x0040));
}

// ---------------------------------------------------------------------------
// Pictures (OfficeArt records inside MSODRAWINGGROUP and MSODRAWING).

namespace {

struct ArtHeader {
    std::uint16_t ver = 0, instance = 0, type = 0;
    std::uint32_t length = 0;
};

constexpr std::uint16_t ArtFBSE = 0xF007;
constexpr std::uint16_t ArtSpContainer = 0xF004;
constexpr std::uint16_t ArtFOPT = 0xF00B;
constexpr std::uint16_t ArtClientAnchor = 0xF010;
constexpr std::uint16_t ArtBlipFirst = 0xF018, ArtBlipLast = 0xF117;
constexpr std::uint16_t ArtBlipJpeg = 0xF01D, ArtBlipPng = 0xF01E, ArtBlipDib = 0xF01F, ArtBlipJpeg2 = 0xF02A;
constexpr std::uint16_t PropPib = 0x0104;
constexpr int MaxDepth = 16;

std::vector<std::uint8_t> joined(const RecordList& records, std::uint16_t id)
{
    std::vector<std::uint8_t> out;
    for (const auto& r : records) {
        if (r->id() != id)
            continue;
        for (const TBaseRecord* p = r.get(); p; p = p->continuation()) {
            const ByteSpan b = p->body();
            out.insert(out.end(), b.begin(), b.end());
        }
    }
    return out;
}

// Calls visit(header, offset of the body) for each record in [begin, end), descending
// into containers; stops at the first header that does not fit.
void walkArt(ByteSpan s, std::size_t begin, std::size_t end, int depth,
             const std::function<void(const ArtHeader&, std::size_t)>& visit)
{
    std::size_t off = begin;
    while (depth < MaxDepth && fits(s, off, 8) && off + 8 <= end) {
        ArtHeader h;
        const std::uint16_t vi = getU16(s.data() + off);
        h.ver = vi & 0x0F;
        h.instance = vi >> 4;
        h.type = getU16(s.data() + off + 2);
        h.length = getU32(s.data() + off + 4);
        const std::size_t body = off + 8;
        const std::size_t bodyEnd = std::min<std::size_t>(end, body + std::min<std::size_t>(h.length, s.size()));
        visit(h, body);
        if (h.ver == 0x0F)
            walkArt(s, body, bodyEnd, depth + 1, visit);
        if (h.length > end - body)
            return;
        off = body + h.length;
    }
}

std::vector<std::uint8_t> imageOfBlip(ByteSpan s, const ArtHeader& h, std::size_t body)
{
    // The blip's own UIDs and tag byte come first: 17 bytes, or 33 with a second UID
    // (the odd instance of each kind).
    const std::size_t skip = (h.instance & 1) ? 33 : 17;
    if (!fits(s, body, h.length) || h.length < skip)
        return {};
    const std::uint8_t* data = s.data() + body + skip;
    const std::size_t n = h.length - skip;
    if (h.type == ArtBlipPng || h.type == ArtBlipJpeg || h.type == ArtBlipJpeg2)
        return {data, data + n};
    if (h.type == ArtBlipDib && n >= 40) {
        // A device-independent bitmap: give it the 14-byte file header a BMP file has.
        const std::uint32_t headerSize = getU32(data);
        const std::uint16_t bits = getU16(data + 14);
        const std::uint32_t colours = getU32(data + 32);
        const std::uint32_t paletteBytes = (colours ? colours : (bits <= 8 ? 1u << bits : 0u)) * 4;
        std::vector<std::uint8_t> bmp(14);
        bmp[0] = 'B';
        bmp[1] = 'M';
        const std::uint32_t total = static_cast<std::uint32_t>(14 + n);
        const std::uint32_t pixels = 14 + headerSize + paletteBytes;
        for (int i = 0; i < 4; ++i) {
            bmp[2 + i] = static_cast<std::uint8_t>(total >> (8 * i));
            bmp[10 + i] = static_cast<std::uint8_t>(pixels >> (8 * i));
        }
        bmp.insert(bmp.end(), data, data + n);
        return bmp;
    }
    return {};
}

} // namespace

std::vector<Picture> sheetPictures(const TWorkbook& wb, const TWorkSheet& ws)
{
    // The picture store: the n-th FBSE (1-based) holds the image of pib n.
    const std::vector<std::uint8_t> group = joined(wb.globals().drawingGroup.records, rid::MsoDrawingGroup);
    std::vector<std::vector<std::uint8_t>> store;
    const ByteSpan gs(group.data(), group.size());
    walkArt(gs, 0, gs.size(), 0, [&](const ArtHeader& h, std::size_t body) {
        if (h.type != ArtFBSE)
            return;
        std::vector<std::uint8_t> image;
        if (fits(gs, body, 36) && h.length >= 36) {
            const std::size_t nameSize = gs[body + 33];
            const std::size_t blip = body + 36 + nameSize;
            if (fits(gs, blip, 8)) {
                ArtHeader bh;
                bh.instance = getU16(gs.data() + blip) >> 4;
                bh.type = getU16(gs.data() + blip + 2);
                bh.length = getU32(gs.data() + blip + 4);
                if (bh.type >= ArtBlipFirst && bh.type <= ArtBlipLast)
                    image = imageOfBlip(gs, bh, blip + 8);
            }
        }
        store.push_back(std::move(image));
    });

    const std::vector<std::uint8_t> drawing = joined(ws.drawing.records, rid::MsoDrawing);
    const ByteSpan ds(drawing.data(), drawing.size());
    std::vector<Picture> pictures;
    // Each shape container holds its properties (pib) and its anchor.
    walkArt(ds, 0, ds.size(), 0, [&](const ArtHeader& h, std::size_t body) {
        if (h.type != ArtSpContainer)
            return;
        int pib = 0;
        bool anchored = false;
        Picture p;
        const std::size_t end = std::min<std::size_t>(ds.size(), body + h.length);
        walkArt(ds, body, end, 1, [&](const ArtHeader& c, std::size_t cb) {
            if (c.type == ArtFOPT) {
                for (std::size_t k = 0; k < c.instance && fits(ds, cb + k * 6, 6); ++k) {
                    const std::uint16_t id = getU16(ds.data() + cb + k * 6) & 0x3FFF;
                    if (id == PropPib)
                        pib = static_cast<int>(getU32(ds.data() + cb + k * 6 + 2));
                }
            } else if (c.type == ArtClientAnchor && fits(ds, cb, 18)) {
                const std::uint8_t* a = ds.data() + cb + 2;
                p.col1 = getU16(a), p.dx1 = getU16(a + 2), p.row1 = getU16(a + 4), p.dy1 = getU16(a + 6);
                p.col2 = getU16(a + 8), p.dx2 = getU16(a + 10), p.row2 = getU16(a + 12), p.dy2 = getU16(a + 14);
                anchored = true;
            }
        });
        if (anchored && pib >= 1 && pib <= static_cast<int>(store.size()) && !store[static_cast<std::size_t>(pib - 1)].empty()) {
            p.image = store[static_cast<std::size_t>(pib - 1)];
            pictures.push_back(std::move(p));
        }
    });
    return pictures;
}

} // namespace quorvane::xls::grid
