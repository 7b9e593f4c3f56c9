#include "xls/report/drawing.h"

#include "xls/report/messages.h"

#include <algorithm>
#include <map>

namespace quorvane::xls {

namespace {

// OfficeArt record types (MS-ODRAW 2.2, 2.3).
constexpr std::uint16_t DggContainer = 0xF000;
constexpr std::uint16_t BStoreContainer = 0xF001;
constexpr std::uint16_t DgContainer = 0xF002;
constexpr std::uint16_t SpgrContainer = 0xF003;
constexpr std::uint16_t SpContainer = 0xF004;
constexpr std::uint16_t Fdgg = 0xF006;
constexpr std::uint16_t Fbse = 0xF007;
constexpr std::uint16_t Fdg = 0xF008;
constexpr std::uint16_t Fsp = 0xF00A;
constexpr std::uint16_t Fopt = 0xF00B;
constexpr std::uint16_t ClientAnchor = 0xF010;
constexpr std::uint16_t BlipFirst = 0xF018;
// FOPT property ids: the BLIP index (1-based into the picture store) and the shape name.
constexpr std::uint16_t PropPib = 0x0104;
constexpr std::uint16_t PropName = 0x0380;
constexpr std::size_t HeaderSize = 8;
// Shape ids come in clusters of 1024 (FDGG's id clusters).
constexpr std::uint32_t ClusterSize = 1024;
// Record bodies are cut at this size; the rest goes on in CONTINUE records.
constexpr std::size_t MaxBody = 8224;
// OBJ: ftCmo first (ft 0x15, size, object type, object id at offset 6).
constexpr std::uint16_t FtCmo = 0x15;

struct Header {
    std::uint16_t verInst = 0, type = 0;
    std::uint32_t len = 0;
    bool container() const noexcept { return (verInst & 0x000F) == 0x000F; }
    std::uint16_t instance() const noexcept { return verInst >> 4; }
};

std::optional<Header> headerAt(const std::vector<std::uint8_t>& b, std::size_t p, std::size_t end)
{
    if (p + HeaderSize > end)
        return std::nullopt;
    Header h{getU16(b.data() + p), getU16(b.data() + p + 2), getU32(b.data() + p + 4)};
    if (h.len > end - p - HeaderSize)
        return std::nullopt;
    return h;
}

// Offsets of the records directly inside the container whose body is [from, to).
std::vector<std::size_t> children(const std::vector<std::uint8_t>& b, std::size_t from, std::size_t to)
{
    std::vector<std::size_t> out;
    std::size_t p = from;
    while (auto h = headerAt(b, p, to)) {
        out.push_back(p);
        p += HeaderSize + h->len;
    }
    return out;
}

// The first record of `type` anywhere inside [from, to), containers entered.
std::optional<std::size_t> find(const std::vector<std::uint8_t>& b, std::size_t from, std::size_t to, std::uint16_t type)
{
    for (std::size_t p : children(b, from, to)) {
        const Header h = *headerAt(b, p, to);
        if (h.type == type)
            return p;
        if (h.container())
            if (auto q = find(b, p + HeaderSize, p + HeaderSize + h.len, type))
                return q;
    }
    return std::nullopt;
}

void addToLength(std::vector<std::uint8_t>& b, std::size_t at, long long delta)
{
    putU32(b.data() + at + 4, static_cast<std::uint32_t>(getU32(b.data() + at + 4) + delta));
}

// Body and continuations of a record, joined.
void appendBody(const TBaseRecord& r, std::vector<std::uint8_t>& out)
{
    for (const TBaseRecord* c = &r; c; c = c->continuation()) {
        const ByteSpan b = c->body();
        out.insert(out.end(), b.begin(), b.end());
    }
}

template <typename T>
std::unique_ptr<TBaseRecord> cut(std::uint16_t id, const std::uint8_t* p, std::size_t n)
{
    auto first = std::make_unique<T>(id, ByteSpan(p, std::min(n, MaxBody)));
    TBaseRecord* tail = first.get();
    for (std::size_t at = MaxBody; at < n; at += MaxBody) {
        tail->attachContinuation(std::make_unique<TContinueRecord>(rid::Continue, ByteSpan(p + at, std::min(MaxBody, n - at))));
        tail = tail->continuation();
    }
    return first;
}

int objectIdOf(const TBaseRecord& obj) noexcept
{
    const ByteSpan b = obj.body();
    if (obj.id() != rid::Obj || b.size() < 8 || getU16(b.data()) != FtCmo)
        return -1;
    return getU16(b.data() + 6);
}

// The sheet's drawing joined: the OfficeArt bytes, and the other records with the
// stream position they follow.
struct Art {
    struct Item {
        std::size_t at;
        std::unique_ptr<TBaseRecord> rec;
    };
    std::vector<std::uint8_t> bytes;
    std::vector<Item> items;

    // Positions found by layout(): the FDG atom, the group container, the shapes.
    std::size_t fdg = 0, group = 0;
    struct Shape {
        std::size_t begin, end;
    };
    std::vector<Shape> shapes; // below the patriarch
    bool valid = false;

    explicit Art(TDrawing& d)
    {
        for (auto& r : d.records) {
            if (r->id() == rid::MsoDrawing)
                appendBody(*r, bytes);
            else
                items.push_back({bytes.size(), std::move(r)});
        }
        d.records.clear();
        layout();
    }

    void layout()
    {
        shapes.clear();
        valid = false;
        auto dg = headerAt(bytes, 0, bytes.size());
        if (!dg || dg->type != DgContainer)
            return;
        std::optional<std::size_t> f, g;
        for (std::size_t p : children(bytes, HeaderSize, HeaderSize + dg->len)) {
            const Header h = *headerAt(bytes, p, bytes.size());
            if (h.type == Fdg && h.len >= 8 && !f)
                f = p;
            if (h.type == SpgrContainer && !g)
                g = p;
        }
        if (!f || !g)
            return;
        fdg = *f;
        group = *g;
        const Header gh = *headerAt(bytes, group, bytes.size());
        const auto kids = children(bytes, group + HeaderSize, group + HeaderSize + gh.len);
        for (std::size_t i = 1; i < kids.size(); ++i)
            shapes.push_back({kids[i], kids[i] + HeaderSize + headerAt(bytes, kids[i], bytes.size())->len});
        valid = true;
    }

    // Items that belong to a shape: those after its first byte up to its last.
    std::pair<std::size_t, std::size_t> itemsOf(const Shape& s) const
    {
        std::size_t a = 0;
        while (a < items.size() && items[a].at <= s.begin)
            ++a;
        std::size_t b = a;
        while (b < items.size() && items[b].at <= s.end)
            ++b;
        return {a, b};
    }

    std::optional<std::pair<int, int>> anchorRows(const Shape& s) const
    {
        auto a = find(bytes, s.begin + HeaderSize, s.end, ClientAnchor);
        if (!a || headerAt(bytes, *a, s.end)->len < 18)
            return std::nullopt;
        return std::pair<int, int>{getU16(bytes.data() + *a + HeaderSize + 6), getU16(bytes.data() + *a + HeaderSize + 14)};
    }

    // Back into MSODRAWING records cut where the other records stand.
    void store(TDrawing& d)
    {
        d.records.clear();
        d.objects.clear();
        std::size_t from = 0;
        auto flush = [&](std::size_t to) {
            if (to > from)
                d.records.push_back(cut<TDrawingRecord>(rid::MsoDrawing, bytes.data() + from, to - from));
            from = to;
        };
        for (auto& item : items) {
            flush(item.at);
            if (item.rec->id() == rid::Obj)
                d.objects.emplace_back(d.records.size(), objectIdOf(*item.rec));
            d.records.push_back(std::move(item.rec));
        }
        flush(bytes.size());
        items.clear();
    }
};

// Notes point at their OBJ record by index; after an edit the indexes are found again.
void relinkNotes(TWorkSheet& sheet)
{
    std::stable_sort(sheet.notes.begin(), sheet.notes.end(), [](const TNote& a, const TNote& b) { return a.row() < b.row(); });
    std::map<int, std::size_t> byId;
    for (const auto& [index, id] : sheet.drawing.objects)
        byId[id] = index;
    for (TNote& note : sheet.notes) {
        note.drawingIndex = -1;
        const ByteSpan nb = note.record->body();
        if (nb.size() < 8)
            continue;
        if (auto it = byId.find(getU16(nb.data() + 6)); it != byId.end())
            note.drawingIndex = static_cast<int>(it->second);
    }
}

// The drawing group's FDGG as bytes of the joined MSODRAWINGGROUP stream.
struct Group {
    std::vector<std::uint8_t> bytes;
    std::size_t fdgg = 0;
    bool valid = false;

    explicit Group(const TDrawingGroup& g)
    {
        for (const auto& r : g.records)
            appendBody(*r, bytes);
        auto dgg = headerAt(bytes, 0, bytes.size());
        if (!dgg || dgg->type != DggContainer)
            return;
        auto f = find(bytes, HeaderSize, HeaderSize + dgg->len, Fdgg);
        if (!f || headerAt(bytes, *f, bytes.size())->len < 16)
            return;
        fdgg = *f;
        valid = true;
    }

    std::uint32_t clusters() const { return getU32(bytes.data() + fdgg + HeaderSize + 4); }
    std::size_t cluster(std::uint32_t i) const { return fdgg + HeaderSize + 16 + 8 * (i - 1); } // i from 1

    // Makes `n` new shape ids for drawing `dgid`, continuing its last cluster, then in
    // new clusters.
    std::vector<std::uint32_t> allocate(std::uint32_t dgid, std::uint32_t current, std::size_t n)
    {
        std::vector<std::uint32_t> out;
        std::uint8_t* f = bytes.data() + fdgg + HeaderSize;
        std::uint32_t c = current / ClusterSize; // cluster i holds ids i*1024 .. (i+1)*1024-1
        while (out.size() < n) {
            const bool ours = c >= 1 && c < clusters() && getU32(bytes.data() + cluster(c)) == dgid;
            const std::uint32_t used = ours ? getU32(bytes.data() + cluster(c) + 4) : ClusterSize;
            if (used < ClusterSize) {
                out.push_back(c * ClusterSize + used);
                putU32(bytes.data() + cluster(c) + 4, used + 1);
                continue;
            }
            // A new cluster at the end of FDGG: 8 more bytes in it and its container.
            c = clusters();
            const std::size_t at = cluster(c);
            const std::uint8_t entry[8] = {static_cast<std::uint8_t>(dgid), static_cast<std::uint8_t>(dgid >> 8),
                                           static_cast<std::uint8_t>(dgid >> 16), static_cast<std::uint8_t>(dgid >> 24),
                                           0, 0, 0, 0};
            bytes.insert(bytes.begin() + static_cast<std::ptrdiff_t>(at), entry, entry + 8);
            addToLength(bytes, 0, 8);
            addToLength(bytes, fdgg, 8);
            f = bytes.data() + fdgg + HeaderSize;
            putU32(f + 4, c + 1);
        }
        f = bytes.data() + fdgg + HeaderSize;
        std::uint32_t top = getU32(f);
        for (std::uint32_t id : out)
            top = std::max(top, id + 1);
        putU32(f, top);                                                          // spidMax
        putU32(f + 8, static_cast<std::uint32_t>(getU32(f + 8) + out.size())); // cspSaved
        return out;
    }

    void store(TDrawingGroup& g)
    {
        g.records.clear();
        g.records.push_back(cut<TDrawingGroupRecord>(rid::MsoDrawingGroup, bytes.data(), bytes.size()));
    }
};

// Shape ids and object ids in a copy are given new values; returns the FSP count.
std::size_t renumber(std::vector<std::uint8_t>& b, std::size_t from, std::size_t to,
                     const std::vector<std::uint32_t>& ids, std::size_t& next)
{
    std::size_t n = 0;
    for (std::size_t p : children(b, from, to)) {
        const Header h = *headerAt(b, p, to);
        if (h.container())
            n += renumber(b, p + HeaderSize, p + HeaderSize + h.len, ids, next);
        else if (h.type == Fsp && h.len >= 4) {
            putU32(b.data() + p + HeaderSize, ids.at(next++));
            ++n;
        }
    }
    return n;
}

void moveAnchors(std::vector<std::uint8_t>& b, std::size_t from, std::size_t to, int distance)
{
    for (std::size_t p : children(b, from, to)) {
        const Header h = *headerAt(b, p, to);
        if (h.container())
            moveAnchors(b, p + HeaderSize, p + HeaderSize + h.len, distance);
        else if (h.type == ClientAnchor && h.len >= 18) {
            std::uint8_t* a = b.data() + p + HeaderSize;
            putU16(a + 6, static_cast<std::uint16_t>(getU16(a + 6) + distance));
            putU16(a + 14, static_cast<std::uint16_t>(getU16(a + 14) + distance));
        }
    }
}

std::size_t countShapes(const std::vector<std::uint8_t>& b, std::size_t from, std::size_t to)
{
    std::size_t n = 0;
    for (std::size_t p : children(b, from, to)) {
        const Header h = *headerAt(b, p, to);
        if (h.container())
            n += countShapes(b, p + HeaderSize, p + HeaderSize + h.len);
        else if (h.type == Fsp)
            ++n;
    }
    return n;
}

// The TXO of a note: the first TXO after the note's OBJ, before the next OBJ.
TBaseRecord* txoOf(TWorkSheet& sheet, const TNote& note)
{
    if (note.drawingIndex < 0)
        return nullptr;
    auto& recs = sheet.drawing.records;
    for (std::size_t i = static_cast<std::size_t>(note.drawingIndex) + 1; i < recs.size(); ++i) {
        if (recs[i]->id() == rid::Obj)
            return nullptr;
        if (recs[i]->id() == rid::Txo)
            return recs[i].get();
    }
    return nullptr;
}

// FOPT of a shape: (property id, value) pairs and the complex data after them.
struct Properties {
    std::size_t at = 0, count = 0, complexAt = 0;
};

std::optional<Properties> foptOf(const std::vector<std::uint8_t>& b, std::size_t from, std::size_t to)
{
    // The shape's own FOPT: directly in its SpContainer.
    for (std::size_t p : children(b, from, to)) {
        const Header h = *headerAt(b, p, to);
        if (h.type == Fopt && h.len >= 6u * h.instance())
            return Properties{p, h.instance(), p + HeaderSize + 6u * h.instance()};
    }
    return std::nullopt;
}

std::optional<std::uint32_t> property(const std::vector<std::uint8_t>& b, const Properties& fopt, std::uint16_t id,
                                      std::u16string* complex = nullptr)
{
    std::size_t c = fopt.complexAt;
    const std::size_t end = fopt.at + HeaderSize + getU32(b.data() + fopt.at + 4);
    for (std::size_t i = 0; i < fopt.count; ++i) {
        const std::uint8_t* p = b.data() + fopt.at + HeaderSize + 6 * i;
        const std::uint16_t pid = getU16(p);
        const std::uint32_t value = getU32(p + 2);
        const bool isComplex = pid & 0x8000;
        if ((pid & 0x3FFF) == id) {
            // Earlier complex sizes may already claim more than the FOPT holds.
            if (complex && isComplex && c <= end && value <= end - c) {
                complex->clear();
                for (std::size_t k = 0; k + 1 < value; k += 2) {
                    const char16_t ch = getU16(b.data() + c + k);
                    if (ch == 0)
                        break;
                    complex->push_back(ch);
                }
            }
            return value;
        }
        if (isComplex)
            c += value;
    }
    return std::nullopt;
}

} // namespace

void copyBandShapes(TWorkbook& book, TWorkSheet& sheet, int first, int last, int copies, int height)
{
    if (copies <= 0 || sheet.drawing.records.empty())
        return;
    Art art(sheet.drawing);
    // A shape is in the band when its anchor is, or when it is the text box of a note on
    // a band row (a note's box is drawn beside its cell, often over other rows).
    std::vector<int> bandNotes;
    for (const TNote& n : sheet.notes)
        if (n.record->bodySize() >= 8 && n.row() >= first && n.row() <= last)
            bandNotes.push_back(getU16(n.record->body().data() + 6));
    std::vector<std::size_t> inBand;
    for (std::size_t i = 0; art.valid && i < art.shapes.size(); ++i) {
        auto rows = art.anchorRows(art.shapes[i]);
        bool banded = rows && rows->first >= first && rows->second <= last;
        const auto [a, b] = art.itemsOf(art.shapes[i]);
        for (std::size_t k = a; k < b && !banded; ++k)
            banded = std::find(bandNotes.begin(), bandNotes.end(), objectIdOf(*art.items[k].rec)) != bandNotes.end();
        if (banded)
            inBand.push_back(i);
    }
    Group group(book.globals().drawingGroup);
    if (inBand.empty() || !group.valid) {
        art.store(sheet.drawing);
        relinkNotes(sheet);
        return;
    }

    // Object ids: one per OBJ of each copy, above the sheet's largest.
    int nextObj = 0;
    std::size_t objsPerCopy = 0, fspPerCopy = 0;
    for (const auto& item : art.items)
        nextObj = std::max(nextObj, objectIdOf(*item.rec));
    for (std::size_t i : inBand) {
        const auto [a, b] = art.itemsOf(art.shapes[i]);
        for (std::size_t k = a; k < b; ++k)
            objsPerCopy += art.items[k].rec->id() == rid::Obj;
        fspPerCopy += countShapes(art.bytes, art.shapes[i].begin, art.shapes[i].end);
    }
    if (nextObj + 1 + static_cast<long long>(objsPerCopy) * copies > 0xFFFF) {
        art.store(sheet.drawing);
        relinkNotes(sheet);
        throw ReportError(msg::InsertAndCopyRows);
    }
    const std::uint8_t* fdg = art.bytes.data() + art.fdg;
    const std::uint32_t dgid = getU16(fdg) >> 4;
    const std::vector<std::uint32_t> ids =
        group.allocate(dgid, getU32(fdg + HeaderSize + 4), fspPerCopy * static_cast<std::size_t>(copies));

    std::map<int, const TNote*> notesById;
    for (const TNote& n : sheet.notes)
        if (n.record->bodySize() >= 8)
            notesById[getU16(n.record->body().data() + 6)] = &n;
    std::vector<TNote> newNotes;

    // The new stream: everything up to the end of each banded shape, then its copies.
    std::vector<std::uint8_t> out;
    std::vector<Art::Item> items;
    std::size_t from = 0, item = 0, nextId = 0;
    for (std::size_t i : inBand) {
        const Art::Shape s = art.shapes[i];
        const auto [a, b] = art.itemsOf(s);
        out.insert(out.end(), art.bytes.begin() + static_cast<std::ptrdiff_t>(from), art.bytes.begin() + static_cast<std::ptrdiff_t>(s.end));
        const std::size_t shift = out.size() - s.end;
        for (; item < b; ++item)
            items.push_back({art.items[item].at + shift, std::move(art.items[item].rec)});
        const std::size_t origFirst = items.size() - (b - a); // this shape's records, moved
        for (int k = 1; k <= copies; ++k) {
            const std::size_t base = out.size();
            out.insert(out.end(), art.bytes.begin() + static_cast<std::ptrdiff_t>(s.begin), art.bytes.begin() + static_cast<std::ptrdiff_t>(s.end));
            renumber(out, base, out.size(), ids, nextId);
            moveAnchors(out, base, out.size(), k * height);
            for (std::size_t r = 0; r < b - a; ++r) {
                const std::size_t at = items[origFirst + r].at - shift - s.begin;
                auto rec = items[origFirst + r].rec->clone();
                if (const int old = objectIdOf(*rec); old >= 0) {
                    const int id = ++nextObj;
                    putU16(rec->mutableBody().data() + 6, static_cast<std::uint16_t>(id));
                    if (auto it = notesById.find(old); it != notesById.end()) {
                        TNote note{it->second->record->clone(), -1};
                        std::uint8_t* nb = note.record->mutableBody().data();
                        putU16(nb, static_cast<std::uint16_t>(getU16(nb) + k * height));
                        putU16(nb + 6, static_cast<std::uint16_t>(id));
                        newNotes.push_back(std::move(note));
                    }
                }
                items.push_back({base + at, std::move(rec)});
            }
        }
        from = s.end;
    }
    out.insert(out.end(), art.bytes.begin() + static_cast<std::ptrdiff_t>(from), art.bytes.end());
    const std::size_t added = out.size() - art.bytes.size();
    for (; item < art.items.size(); ++item)
        items.push_back({art.items[item].at + added, std::move(art.items[item].rec)});

    art.bytes = std::move(out);
    art.items = std::move(items);
    addToLength(art.bytes, 0, static_cast<long long>(added));
    addToLength(art.bytes, art.group, static_cast<long long>(added));
    std::uint8_t* f = art.bytes.data() + art.fdg + HeaderSize;
    putU32(f, static_cast<std::uint32_t>(getU32(f) + ids.size()));
    if (!ids.empty())
        putU32(f + 4, std::max(getU32(f + 4), *std::max_element(ids.begin(), ids.end())));
    art.store(sheet.drawing);
    group.store(book.globals().drawingGroup);
    for (auto& n : newNotes)
        sheet.notes.push_back(std::move(n));
    relinkNotes(sheet);
}

std::optional<std::u16string> noteText(const TWorkSheet& sheet, std::size_t note)
{
    if (note >= sheet.notes.size())
        return std::nullopt;
    const TBaseRecord* txo = txoOf(const_cast<TWorkSheet&>(sheet), sheet.notes[note]);
    // TXO: options, rotation, 6 reserved bytes, character count at 10, run bytes at 12;
    // the text follows in CONTINUE records, each opened by a flags byte (bit 0: 16-bit).
    if (!txo || txo->bodySize() < 14)
        return std::nullopt;
    const std::size_t count = getU16(txo->body().data() + 10);
    std::u16string text;
    for (const TBaseRecord* c = txo->continuation(); c && text.size() < count; c = c->continuation()) {
        const ByteSpan b = c->body();
        if (b.empty())
            continue;
        const bool wide = b[0] & 0x01;
        for (std::size_t p = 1; p + (wide ? 1 : 0) < b.size() && text.size() < count; p += wide ? 2 : 1)
            text.push_back(wide ? static_cast<char16_t>(getU16(b.data() + p)) : b[p]);
    }
    return text;
}

void setNoteText(TWorkSheet& sheet, std::size_t note, std::u16string_view text)
{
    TBaseRecord* txo = note < sheet.notes.size() ? txoOf(sheet, sheet.notes[note]) : nullptr;
    if (!txo || txo->bodySize() < 14 || text.size() > 0xFFFF)
        return;
    const std::size_t oldCount = getU16(txo->body().data() + 10);
    // The runs (8 bytes: first character, font, 4 reserved) are in the continuations
    // after the text.
    std::vector<std::uint8_t> runs;
    {
        std::size_t chars = 0;
        for (const TBaseRecord* c = txo->continuation(); c; c = c->continuation()) {
            const ByteSpan b = c->body();
            if (chars < oldCount && !b.empty()) {
                chars += (b.size() - 1) / ((b[0] & 0x01) ? 2 : 1);
                continue;
            }
            runs.insert(runs.end(), b.begin(), b.end());
        }
    }
    std::vector<std::uint8_t> kept;
    std::uint16_t lastFont = 0;
    for (std::size_t p = 0; p + 8 <= runs.size(); p += 8) {
        const std::uint16_t at = getU16(runs.data() + p);
        if (at < text.size())
            kept.insert(kept.end(), runs.begin() + static_cast<std::ptrdiff_t>(p), runs.begin() + static_cast<std::ptrdiff_t>(p + 8));
        lastFont = getU16(runs.data() + p + 2);
    }
    if (kept.empty()) {
        kept.assign(8, 0);
        putU16(kept.data() + 2, lastFont);
    }
    std::uint8_t end[8] = {};
    putU16(end, static_cast<std::uint16_t>(text.size()));
    putU16(end + 2, lastFont);
    kept.insert(kept.end(), end, end + 8);

    std::vector<std::uint8_t> body(txo->body().begin(), txo->body().end());
    putU16(body.data() + 10, static_cast<std::uint16_t>(text.size()));
    putU16(body.data() + 12, static_cast<std::uint16_t>(kept.size()));
    auto fresh = std::make_unique<TTXORecord>(rid::Txo, ByteSpan(body.data(), body.size()));
    TBaseRecord* tail = fresh.get();
    // Text in 16-bit characters, as many per CONTINUE as its body holds.
    constexpr std::size_t PerRecord = (MaxBody - 1) / 2;
    for (std::size_t at = 0; at < text.size(); at += PerRecord) {
        const std::size_t n = std::min(PerRecord, text.size() - at);
        std::vector<std::uint8_t> c(1 + 2 * n);
        c[0] = 0x01;
        for (std::size_t i = 0; i < n; ++i)
            putU16(c.data() + 1 + 2 * i, text[at + i]);
        tail->attachContinuation(std::make_unique<TContinueRecord>(rid::Continue, ByteSpan(c.data(), c.size())));
        tail = tail->continuation();
    }
    tail->attachContinuation(std::make_unique<TContinueRecord>(rid::Continue, ByteSpan(kept.data(), kept.size())));
    for (auto& r : sheet.drawing.records)
        if (r.get() == txo) {
            r = std::move(fresh);
            break;
        }
}

void removeNotes(TWorkSheet& sheet, std::vector<std::size_t> notes)
{
    std::sort(notes.begin(), notes.end());
    notes.erase(std::unique(notes.begin(), notes.end()), notes.end());
    std::vector<const TBaseRecord*> objs;
    for (auto it = notes.rbegin(); it != notes.rend(); ++it) {
        if (*it >= sheet.notes.size())
            continue;
        if (const int obj = sheet.notes[*it].drawingIndex; obj >= 0)
            objs.push_back(sheet.drawing.records[static_cast<std::size_t>(obj)].get());
        sheet.notes.erase(sheet.notes.begin() + static_cast<std::ptrdiff_t>(*it));
    }
    Art art(sheet.drawing);
    if (art.valid && !objs.empty()) {
        std::vector<std::uint8_t> out;
        std::vector<Art::Item> items;
        std::size_t from = 0, item = 0, removed = 0, shapes = 0;
        for (const Art::Shape& s : art.shapes) {
            const auto [a, b] = art.itemsOf(s);
            bool owns = false;
            for (std::size_t k = a; k < b; ++k)
                owns = owns || std::find(objs.begin(), objs.end(), art.items[k].rec.get()) != objs.end();
            if (!owns)
                continue;
            out.insert(out.end(), art.bytes.begin() + static_cast<std::ptrdiff_t>(from), art.bytes.begin() + static_cast<std::ptrdiff_t>(s.begin));
            for (; item < a; ++item)
                items.push_back({art.items[item].at - removed, std::move(art.items[item].rec)});
            item = b;
            removed += s.end - s.begin;
            shapes += countShapes(art.bytes, s.begin, s.end);
            from = s.end;
        }
        out.insert(out.end(), art.bytes.begin() + static_cast<std::ptrdiff_t>(from), art.bytes.end());
        for (; item < art.items.size(); ++item)
            items.push_back({art.items[item].at - removed, std::move(art.items[item].rec)});
        art.bytes = std::move(out);
        art.items = std::move(items);
        addToLength(art.bytes, 0, -static_cast<long long>(removed));
        addToLength(art.bytes, art.group, -static_cast<long long>(removed));
        std::uint8_t* f = art.bytes.data() + art.fdg + HeaderSize;
        putU32(f, static_cast<std::uint32_t>(getU32(f) - shapes));
    }
    art.store(sheet.drawing);
    relinkNotes(sheet);
}

std::vector<PictureShape> pictures(TWorkSheet& sheet)
{
    Art art(sheet.drawing);
    std::vector<PictureShape> out;
    for (std::size_t i = 0; art.valid && i < art.shapes.size(); ++i) {
        const Art::Shape& s = art.shapes[i];
        auto rows = art.anchorRows(s);
        auto fopt = foptOf(art.bytes, s.begin + HeaderSize, s.end);
        if (!rows || !fopt || !property(art.bytes, *fopt, PropPib))
            continue;
        PictureShape p{i, rows->first, {}};
        property(art.bytes, *fopt, PropName, &p.name);
        out.push_back(std::move(p));
    }
    art.store(sheet.drawing);
    relinkNotes(sheet);
    return out;
}

namespace {

// The picture store entry: FBSE (type twice, a 16-byte id, tag, size, reference count,
// delay offset, 4 bytes) holding the BLIP record: a 16-byte id, then for a metafile its
// 34-byte header, for a bitmap one tag byte, then the data.
std::vector<std::uint8_t> storeEntry(BlipType type, std::span<const std::uint8_t> data)
{
    const bool metafile = type == BlipType::EMF || type == BlipType::WMF;
    static constexpr std::uint16_t Instance[] = {0, 0, 0x3D4, 0x216, 0, 0x46A, 0x6E0};
    const auto t = static_cast<std::size_t>(type);
    std::vector<std::uint8_t> blip(HeaderSize + 16 + (metafile ? 34 : 1));
    putU16(blip.data(), static_cast<std::uint16_t>(Instance[t] << 4));
    putU16(blip.data() + 2, static_cast<std::uint16_t>(BlipFirst + t));
    // The id only lets readers share equal entries: a hash of the data stands for it.
    std::uint32_t h = 2166136261u;
    for (std::uint8_t byte : data)
        h = (h ^ byte) * 16777619u;
    for (int i = 0; i < 4; ++i)
        putU32(blip.data() + HeaderSize + 4 * i, h + static_cast<std::uint32_t>(i));
    if (metafile) {
        std::uint8_t* m = blip.data() + HeaderSize + 16;
        putU32(m, static_cast<std::uint32_t>(data.size()));
        putU32(m + 28, static_cast<std::uint32_t>(data.size()));
        m[32] = 0xFE; // not compressed
        m[33] = 0xFE;
    } else {
        blip.back() = 0xFF;
    }
    blip.insert(blip.end(), data.begin(), data.end());
    putU32(blip.data() + 4, static_cast<std::uint32_t>(blip.size() - HeaderSize));

    std::vector<std::uint8_t> bse(HeaderSize + 36);
    putU16(bse.data(), static_cast<std::uint16_t>((t << 4) | 0x2));
    putU16(bse.data() + 2, Fbse);
    putU32(bse.data() + 4, static_cast<std::uint32_t>(36 + blip.size()));
    bse[8] = bse[9] = static_cast<std::uint8_t>(t);
    std::copy(blip.begin() + HeaderSize, blip.begin() + HeaderSize + 16, bse.begin() + 10);
    putU16(bse.data() + 26, 0x00FF);
    putU32(bse.data() + 28, static_cast<std::uint32_t>(blip.size()));
    putU32(bse.data() + 32, 1);
    bse.insert(bse.end(), blip.begin(), blip.end());
    return bse;
}

} // namespace

void replacePictures(TWorkbook& book, TWorkSheet& sheet, const std::vector<PictureData>& pictures)
{
    if (pictures.empty())
        return;
    Group group(book.globals().drawingGroup);
    Art art(sheet.drawing);
    if (!group.valid || !art.valid) {
        art.store(sheet.drawing);
        relinkNotes(sheet);
        return;
    }
    std::vector<std::uint8_t>& g = group.bytes;
    const std::size_t dggEnd = HeaderSize + getU32(g.data() + 4);
    auto store = find(g, HeaderSize, dggEnd, BStoreContainer);
    if (!store) {
        const std::uint8_t head[8] = {0x0F, 0x00, 0x01, 0xF0, 0, 0, 0, 0};
        g.insert(g.begin() + static_cast<std::ptrdiff_t>(dggEnd), head, head + 8);
        addToLength(g, 0, 8);
        store = dggEnd;
    }
    for (const PictureData& pic : pictures) {
        std::optional<Properties> fopt;
        if (pic.shape < art.shapes.size())
            fopt = foptOf(art.bytes, art.shapes[pic.shape].begin + HeaderSize, art.shapes[pic.shape].end);
        if (!fopt || !property(art.bytes, *fopt, PropPib))
            continue;
        const std::vector<std::uint8_t> bse = storeEntry(pic.type, pic.data);
        const std::size_t end = *store + HeaderSize + getU32(g.data() + *store + 4);
        g.insert(g.begin() + static_cast<std::ptrdiff_t>(end), bse.begin(), bse.end());
        addToLength(g, 0, static_cast<long long>(bse.size()));
        addToLength(g, *store, static_cast<long long>(bse.size()));
        const std::uint16_t entries = static_cast<std::uint16_t>((getU16(g.data() + *store) >> 4) + 1);
        putU16(g.data() + *store, static_cast<std::uint16_t>((entries << 4) | 0x0F));
        // The shape's BLIP index (1-based) names the new entry.
        for (std::size_t i = 0; i < fopt->count; ++i) {
            std::uint8_t* p = art.bytes.data() + fopt->at + HeaderSize + 6 * i;
            if ((getU16(p) & 0x3FFF) == PropPib)
                putU32(p + 2, entries);
        }
    }
    art.store(sheet.drawing);
    group.store(book.globals().drawingGroup);
    relinkNotes(sheet);
}

} // namespace quorvane::xls
