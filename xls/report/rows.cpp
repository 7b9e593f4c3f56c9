#include "xls/report/rows.h"

#include "xls/formula.h"
#include "xls/report/drawing.h"
#include "xls/report/messages.h"

#include <algorithm>
#include <array>
#include <optional>

namespace quorvane::xls {

namespace {

// How rows move. Insertion: `count` rows enter at `at` (= last band row + 1); a range
// elsewhere that covers all the band rows [bandFirst, at - 1] grows with the copies.
// Deletion: rows [bandFirst, at - 1] go and `count` is their number.
struct RowMove {
    bool insert = true;
    int bandFirst = 0;
    int at = 0;
    int count = 0;

    int bandLast() const noexcept { return at - 1; }

    std::optional<int> row(int r) const noexcept
    {
        if (insert)
            return r >= at ? r + count : r;
        if (r > bandLast())
            return r - count;
        if (r >= bandFirst)
            return std::nullopt;
        return r;
    }

    // `grow`: the range is named from outside the band rows.
    std::optional<std::pair<int, int>> range(int a, int b, bool grow) const noexcept
    {
        if (a > b)
            std::swap(a, b);
        if (insert) {
            int na = a >= at ? a + count : a;
            int nb = b >= at ? b + count : b;
            if (grow && a <= bandFirst && b == bandLast())
                nb += count;
            return std::pair{na, nb};
        }
        if (a >= bandFirst && b <= bandLast())
            return std::nullopt;
        const int na = a > bandLast() ? a - count : (a >= bandFirst ? bandFirst : a);
        const int nb = b > bandLast() ? b - count : (b >= bandFirst ? bandFirst - 1 : b);
        return std::pair{na, nb};
    }
};

bool insideBand(const RowMove& m, int r) noexcept { return r >= m.bandFirst && r <= m.bandLast(); }

// Token id of the error form of a reference token, class bits kept.
std::uint8_t errorForm(std::uint8_t id) noexcept
{
    const std::uint8_t base = formula::baseId(id);
    return static_cast<std::uint8_t>(id + (base == formula::PtgRef3d || base == formula::PtgArea3d ? 2 : 6));
}

// Which 3-D references (by EXTERNSHEET index) point at the moved sheet.
struct SheetTarget {
    std::vector<bool> byIxti;
    bool targets(std::uint16_t ixti) const noexcept { return ixti < byIxti.size() && byIxti[ixti]; }
};

SheetTarget targetOf(const TWorkbook& book, std::size_t sheet)
{
    // The internal SUPBOOK: sheet count, then 0x0401 in place of a file name.
    int internal = -1, index = 0;
    for (const auto& r : book.globals().references.records) {
        if (r->id() != rid::SupBook)
            continue;
        if (r->bodySize() == 4 && getU16(r->body().data() + 2) == 0x0401)
            internal = index;
        ++index;
    }
    SheetTarget t;
    for (const ExternSheetRef& e : book.globals().references.externSheets)
        t.byIxti.push_back(static_cast<int>(e.supBook) == internal && e.firstSheet == sheet && e.lastSheet == sheet);
    return t;
}

// Moves the references of a token array that point into the moved sheet. `local`: the
// 2-D references do (a formula on that sheet). `grow`: the formula lives outside the band.
void moveTokens(std::uint8_t* t, std::size_t len, const RowMove& m, bool local, const SheetTarget& target, bool grow)
{
    const ByteSpan view(t, len);
    formula::walk(view, [&](std::size_t off, std::uint8_t id) {
        std::uint8_t* p = t + off;
        const std::uint8_t base = formula::baseId(id);
        std::size_t fields = 0;
        bool area = false;
        switch (base) {
        case formula::PtgRef: if (!local) return; fields = 1; break;
        case formula::PtgArea: if (!local) return; fields = 1; area = true; break;
        case formula::PtgRef3d: if (!target.targets(getU16(p + 1))) return; fields = 3; break;
        case formula::PtgArea3d: if (!target.targets(getU16(p + 1))) return; fields = 3; area = true; break;
        case formula::PtgExp:
        case formula::PtgTbl:
            if (local)
                if (auto r = m.row(getU16(p + 1)))
                    putU16(p + 1, static_cast<std::uint16_t>(*r));
            return;
        default: return;
        }
        if (area) {
            auto r = m.range(getU16(p + fields), getU16(p + fields + 2), grow);
            if (!r) {
                p[0] = errorForm(id);
                return;
            }
            putU16(p + fields, static_cast<std::uint16_t>(r->first));
            putU16(p + fields + 2, static_cast<std::uint16_t>(r->second));
        } else {
            auto r = m.row(getU16(p + fields));
            if (!r) {
                p[0] = errorForm(id);
                return;
            }
            putU16(p + fields, static_cast<std::uint16_t>(*r));
        }
    });
}

// A copied formula: row references marked relative (bit 15 of the column field) move by
// `distance`, as a spreadsheet program moves them when it copies the cell.
void moveRelative(std::uint8_t* t, std::size_t len, int distance)
{
    const ByteSpan view(t, len);
    formula::walk(view, [&](std::size_t off, std::uint8_t id) {
        std::uint8_t* p = t + off;
        auto shift = [&](std::size_t rowAt, std::size_t colAt) {
            if (getU16(p + colAt) & 0x8000)
                putU16(p + rowAt, static_cast<std::uint16_t>(getU16(p + rowAt) + distance));
        };
        switch (formula::baseId(id)) {
        case formula::PtgRef: shift(1, 3); break;
        case formula::PtgArea: shift(1, 5); shift(3, 7); break;
        case formula::PtgRef3d: shift(3, 5); break;
        case formula::PtgArea3d: shift(3, 7); shift(5, 9); break;
        default: break;
        }
    });
}

// A token's error form for the relative forms: PtgRefN becomes PtgRefErr and PtgAreaN
// PtgAreaErr, class bits kept (the sizes agree).
std::uint8_t relativeErrorForm(std::uint8_t id) noexcept { return static_cast<std::uint8_t>(id - 2); }

// Moves the references of a conditional-format rule or a validation formula, which
// lives on the moved sheet and applies to a set of ranges. Its PtgRef/PtgArea tokens
// name cells as a cell formula does; its PtgRefN/PtgAreaN tokens hold, where a row is
// marked relative, an offset from the base cell (the top-left of the first range), so
// such a row is kept naming the same cell: its new offset is the moved cell's row less
// the moved base's row. `grow`: the ranges lie outside the band rows.
void moveRuleTokens(std::uint8_t* t, std::size_t len, const RowMove& m, const SheetTarget& target, bool grow,
                    int oldBase, int newBase)
{
    moveTokens(t, len, m, true, target, grow);
    const auto sites = formula::referenceSites(ByteSpan(t, len));
    if (!sites)
        return;
    for (const formula::ReferenceSite& site : *sites) {
        if (!site.relativeForm)
            continue;
        std::uint8_t* row = t + site.rowField;
        const bool relative = getU16(t + site.colField) & 0x8000;
        const int named = relative ? oldBase + static_cast<std::int16_t>(getU16(row)) : getU16(row);
        const auto moved = m.row(named);
        if (!moved) {
            const std::uint8_t base = formula::baseId(t[site.token]);
            if (base == formula::PtgRefN || base == formula::PtgAreaN)
                t[site.token] = relativeErrorForm(t[site.token]);
            continue;
        }
        putU16(row, static_cast<std::uint16_t>(relative ? *moved - newBase : *moved));
    }
}

std::pair<std::uint8_t*, std::size_t> formulaTokens(TCellRecord& cell)
{
    RecordBody& b = cell.mutableBody();
    if (b.size() < 22)
        return {nullptr, 0};
    const std::size_t len = std::min<std::size_t>(getU16(b.data() + 20), b.size() - 22);
    return {b.data() + 22, len};
}

template <typename T>
std::unique_ptr<T> cloneAs(const TBaseRecord& r)
{
    return std::unique_ptr<T>(static_cast<T*>(r.clone().release()));
}

// NAME: options, shortcut, name length (byte 3), formula length (4), ..., the name as
// a string without count at 14, then the formula.
std::pair<std::uint8_t*, std::size_t> nameTokens(TBaseRecord& name)
{
    RecordBody& b = name.mutableBody();
    if (b.size() < 15)
        return {nullptr, 0};
    const std::size_t chars = b.data()[3];
    const std::size_t at = 15 + chars * ((b.data()[14] & 0x01) ? 2 : 1);
    const std::size_t len = getU16(b.data() + 4);
    if (at > b.size() || len > b.size() - at)
        return {nullptr, 0};
    return {b.data() + at, len};
}

// The last row that holds anything that moves with the rows (cells, ROW records).
int lastUsedRow(const TWorkSheet& s)
{
    return std::max(s.cells.rowCount(), s.cells.rowRecordCount()) - 1;
}

void moveCopiedAnchors(TCellRecord& cell, const RowMove& m, int distance);

void moveCells(TWorkSheet& sheet, const RowMove& m, int copies, int height)
{
    TCells fresh;
    const TCells& old = sheet.cells;
    // Formula cells are moved into `fresh` already adjusted, so copies are made from them.
    for (int r = 0; r < old.rowRecordCount(); ++r)
        if (const TRowRecord* rr = old.rowRecord(r))
            if (auto nr = m.row(r)) {
                auto c = cloneAs<TRowRecord>(*rr);
                c->setRow(static_cast<std::uint16_t>(*nr));
                fresh.addRowRecord(std::move(c));
            }
    for (int r = 0; r < old.rowCount(); ++r) {
        const auto nr = m.row(r);
        if (!nr)
            continue;
        for (const auto& cell : *old.row(r)) {
            auto c = cloneAs<TCellRecord>(*cell);
            c->setRow(static_cast<std::uint16_t>(*nr));
            fresh.insert(std::move(c));
        }
    }
    sheet.cells = std::move(fresh);
    for (int k = 1; k <= copies; ++k) {
        const int distance = k * height;
        for (int r = m.bandFirst; r <= m.bandLast(); ++r) {
            if (const TRowRecord* rr = sheet.cells.rowRecord(r)) {
                auto c = cloneAs<TRowRecord>(*rr);
                c->setRow(static_cast<std::uint16_t>(r + distance));
                sheet.cells.addRowRecord(std::move(c));
            }
            const TCells::Row* row = sheet.cells.row(r);
            if (!row)
                continue;
            std::vector<std::unique_ptr<TCellRecord>> made;
            for (const auto& cell : *row) {
                if (!cell->isFormula())
                    continue;
                auto c = cloneAs<TCellRecord>(*cell);
                c->setRow(static_cast<std::uint16_t>(r + distance));
                auto [t, len] = formulaTokens(*c);
                if (t)
                    moveRelative(t, len, distance);
                moveCopiedAnchors(*c, m, distance);
                made.push_back(std::move(c));
            }
            for (auto& c : made)
                sheet.cells.insert(std::move(c));
        }
    }
}

void moveFormulas(TWorkbook& book, std::size_t sheetIndex, const RowMove& m, const SheetTarget& target)
{
    for (std::size_t s = 0; s < book.sheets().size(); ++s) {
        auto* ws = dynamic_cast<TWorkSheet*>(book.sheets()[s].get());
        if (!ws)
            continue;
        const bool local = s == sheetIndex;
        TCells& cells = ws->cells;
        for (int r = 0; r < cells.rowCount(); ++r) {
            const TCells::Row* row = cells.row(r);
            for (std::size_t i = 0; i < row->size(); ++i) {
                TCellRecord* cell = cells.cell(r, (*row)[i]->col());
                if (!cell->isFormula())
                    continue;
                auto [t, len] = formulaTokens(*cell);
                if (t)
                    moveTokens(t, len, m, local, target, !(local && insideBand(m, r)));
            }
        }
    }
    for (auto& name : book.globals().names) {
        auto [t, len] = nameTokens(*name);
        if (t)
            moveTokens(t, len, m, false, target, true);
    }
}

// Ranges (merged cells, conditional formats) after the move, with the copies of those
// that lie inside the band rows.
std::vector<CellRange> movedRanges(const std::vector<CellRange>& in, const RowMove& m, int copies, int height)
{
    std::vector<CellRange> out;
    for (const CellRange& c : in) {
        const bool inside = m.insert && insideBand(m, c.firstRow) && insideBand(m, c.lastRow);
        auto r = m.range(c.firstRow, c.lastRow, !inside);
        if (!r)
            continue;
        out.push_back({static_cast<std::uint16_t>(r->first), static_cast<std::uint16_t>(r->second), c.firstCol, c.lastCol});
        if (!inside)
            continue;
        for (int k = 1; k <= copies; ++k)
            out.push_back({static_cast<std::uint16_t>(c.firstRow + k * height),
                           static_cast<std::uint16_t>(c.lastRow + k * height), c.firstCol, c.lastCol});
    }
    return out;
}

// MERGEDCELLS holds at most 1026 ranges (the record's 8224-byte limit).
constexpr std::size_t MergedPerRecord = 1026;

void moveMerged(TWorkSheet& sheet, const RowMove& m, int copies, int height)
{
    if (sheet.mergedCells.empty())
        return;
    const std::vector<CellRange> ranges = movedRanges(sheet.mergedRanges(), m, copies, height);
    sheet.mergedCells.clear();
    for (std::size_t at = 0; at < ranges.size(); at += MergedPerRecord) {
        const std::size_t n = std::min(MergedPerRecord, ranges.size() - at);
        std::vector<std::uint8_t> b(2 + 8 * n);
        putU16(b.data(), static_cast<std::uint16_t>(n));
        TMergedCells mc;
        for (std::size_t i = 0; i < n; ++i) {
            const CellRange& c = ranges[at + i];
            std::uint8_t* p = b.data() + 2 + 8 * i;
            putU16(p, c.firstRow);
            putU16(p + 2, c.lastRow);
            putU16(p + 4, c.firstCol);
            putU16(p + 6, c.lastCol);
            mc.ranges.push_back(c);
        }
        mc.record = std::make_unique<TCellMergingRecord>(rid::MergedCells, ByteSpan(b.data(), b.size()));
        sheet.mergedCells.push_back(std::move(mc));
    }
}

// CONDFMT: rule count, options, bounding range (rows 4..7, columns 8..11), range count
// at 12, ranges of 8 bytes from 14. A format whose ranges outgrow one record is split,
// each part with its own copy of the rules.
constexpr std::size_t CondRangesPerRecord = 1000;

void moveCondFormats(TWorkSheet& sheet, const RowMove& m, int copies, int height, const SheetTarget& target)
{
    std::vector<TCondFmt> result;
    for (TCondFmt& cf : sheet.condFormats) {
        const ByteSpan b = cf.record ? cf.record->body() : ByteSpan{};
        if (b.size() < 14) {
            result.push_back(std::move(cf));
            continue;
        }
        std::vector<CellRange> in;
        const std::size_t n = std::min<std::size_t>(getU16(b.data() + 12), (b.size() - 14) / 8);
        for (std::size_t i = 0; i < n; ++i) {
            const std::uint8_t* p = b.data() + 14 + 8 * i;
            in.push_back({getU16(p), getU16(p + 2), getU16(p + 4), getU16(p + 6)});
        }
        const std::vector<CellRange> out = movedRanges(in, m, copies, height);
        if (out.empty() || in.empty())
            continue; // every cell it formatted is gone
        // CF: type, operator, formula lengths at 2 and 4, the formats, then both formulas
        // at the end of the record.
        const bool inside = m.insert && insideBand(m, in.front().firstRow) && insideBand(m, in.front().lastRow);
        for (auto& rule : cf.rules) {
            RecordBody& rb = rule->mutableBody();
            if (rb.size() < 6)
                continue;
            const std::size_t f1 = getU16(rb.data() + 2), f2 = getU16(rb.data() + 4);
            if (f1 + f2 > rb.size() - 6)
                continue;
            std::uint8_t* end = rb.data() + rb.size();
            moveRuleTokens(end - f2 - f1, f1, m, target, !inside, in.front().firstRow, out.front().firstRow);
            moveRuleTokens(end - f2, f2, m, target, !inside, in.front().firstRow, out.front().firstRow);
        }
        const std::vector<std::uint8_t> head(b.begin(), b.begin() + 4);
        for (std::size_t at = 0; at < out.size(); at += CondRangesPerRecord) {
            const std::size_t k = std::min(CondRangesPerRecord, out.size() - at);
            std::vector<std::uint8_t> body(head);
            body.resize(14 + 8 * k);
            CellRange bound = out[at];
            for (std::size_t i = 0; i < k; ++i) {
                const CellRange& c = out[at + i];
                bound.firstRow = std::min(bound.firstRow, c.firstRow);
                bound.lastRow = std::max(bound.lastRow, c.lastRow);
                bound.firstCol = std::min(bound.firstCol, c.firstCol);
                bound.lastCol = std::max(bound.lastCol, c.lastCol);
                std::uint8_t* p = body.data() + 14 + 8 * i;
                putU16(p, c.firstRow);
                putU16(p + 2, c.lastRow);
                putU16(p + 4, c.firstCol);
                putU16(p + 6, c.lastCol);
            }
            putU16(body.data() + 4, bound.firstRow);
            putU16(body.data() + 6, bound.lastRow);
            putU16(body.data() + 8, bound.firstCol);
            putU16(body.data() + 10, bound.lastCol);
            putU16(body.data() + 12, static_cast<std::uint16_t>(k));
            TCondFmt part;
            part.record = std::make_unique<TCondFmtRecord>(rid::CondFmt, ByteSpan(body.data(), body.size()));
            for (const auto& rule : cf.rules)
                part.rules.push_back(rule->clone());
            result.push_back(std::move(part));
        }
    }
    sheet.condFormats = std::move(result);
}

// DV: option flags (32 bits), four texts (16-bit count, flags byte, 8- or 16-bit
// characters), two formulas (16-bit length, 16 unused bits, tokens), then the ranges it
// applies to (count, 8 bytes each). The DVAL before them holds their count at 14.
constexpr std::uint16_t DvId = 0x01BE;

struct DvLayout {
    std::size_t formula[2] = {0, 0}; // offsets of the tokens
    std::size_t length[2] = {0, 0};
    std::size_t ranges = 0;          // offset of the range count
};

std::optional<DvLayout> dvLayout(ByteSpan b)
{
    std::size_t at = 4;
    for (int i = 0; i < 4; ++i) {
        if (at + 3 > b.size())
            return std::nullopt;
        const std::size_t chars = getU16(b.data() + at);
        at += 3 + chars * ((b[at + 2] & 0x01) ? 2 : 1);
    }
    DvLayout l;
    for (int i = 0; i < 2; ++i) {
        if (at + 4 > b.size())
            return std::nullopt;
        l.length[i] = getU16(b.data() + at);
        l.formula[i] = at + 4;
        at += 4 + l.length[i];
    }
    if (at + 2 > b.size() || getU16(b.data() + at) * std::size_t{8} > b.size() - at - 2)
        return std::nullopt;
    l.ranges = at;
    return l;
}

// Validations are kept where the file had them: before WINDOW2 (as LibreOffice writes
// them) or after it.
void moveValidations(RecordList& list, const RowMove& m, int copies, int height, const SheetTarget& target)
{
    std::size_t removed = 0;
    for (auto it = list.begin(); it != list.end();) {
        TBaseRecord& dv = **it;
        const auto layout = dv.id() == DvId ? dvLayout(dv.body()) : std::nullopt;
        if (!layout) {
            ++it;
            continue;
        }
        RecordBody& b = dv.mutableBody();
        std::vector<CellRange> in;
        for (std::size_t i = 0, n = getU16(b.data() + layout->ranges); i < n; ++i) {
            const std::uint8_t* p = b.data() + layout->ranges + 2 + 8 * i;
            in.push_back({getU16(p), getU16(p + 2), getU16(p + 4), getU16(p + 6)});
        }
        const std::vector<CellRange> out = movedRanges(in, m, copies, height);
        if (out.empty() || in.empty()) {
            it = list.erase(it);
            ++removed;
            continue;
        }
        const bool inside = m.insert && insideBand(m, in.front().firstRow) && insideBand(m, in.front().lastRow);
        for (int f = 0; f < 2; ++f)
            moveRuleTokens(b.data() + layout->formula[f], layout->length[f], m, target, !inside, in.front().firstRow,
                           out.front().firstRow);
        std::vector<std::uint8_t> body(b.data(), b.data() + layout->ranges + 2);
        putU16(body.data() + layout->ranges, static_cast<std::uint16_t>(out.size()));
        for (const CellRange& c : out)
            for (std::uint16_t v : {c.firstRow, c.lastRow, c.firstCol, c.lastCol}) {
                body.push_back(static_cast<std::uint8_t>(v));
                body.push_back(static_cast<std::uint8_t>(v >> 8));
            }
        b.assign(body);
        ++it;
    }
    if (!removed)
        return;
    for (auto& r : list)
        if (r->id() == rid::DVal && r->bodySize() >= 18) {
            std::uint8_t* p = r->mutableBody().data() + 14;
            putU32(p, getU32(p) >= removed ? static_cast<std::uint32_t>(getU32(p) - removed) : 0);
        }
}

// ARRAY: range (rows 0..3, columns 4 and 5 as bytes), options, 32 reserved bits, token
// length at 12, tokens from 14. TABLE: range as ARRAY's, options at 6 (bit 3 two input
// cells, bits 4 and 5 the first and second input cell deleted), the first input cell's
// row and column at 8 and 10, the second's at 12 and 14. Both hang on the formula cell
// at the top-left of their range; the cells of the range point at it with PtgExp or
// PtgTbl, which the cell formulas' move takes care of.
constexpr std::uint8_t TableTwoInputs = 0x08, TableFirstDeleted = 0x10, TableSecondDeleted = 0x20;

bool moveRange16(std::uint8_t* p, const RowMove& m, bool grow)
{
    const auto r = m.range(getU16(p), getU16(p + 2), grow);
    if (!r)
        return false;
    putU16(p, static_cast<std::uint16_t>(r->first));
    putU16(p + 2, static_cast<std::uint16_t>(r->second));
    return true;
}

void moveArrays(TWorkSheet& sheet, const RowMove& m, const SheetTarget& target)
{
    TCells& cells = sheet.cells;
    for (int r = 0; r < cells.rowCount(); ++r) {
        for (const auto& cell : *cells.row(r)) {
            auto* f = cell->isFormula() ? dynamic_cast<TFormulaRecord*>(cell.get()) : nullptr;
            if (!f)
                continue;
            if (TArrayRecord* a = f->arrayRecord(); a && a->bodySize() >= 14) {
                RecordBody& b = a->mutableBody();
                moveRange16(b.data(), m, false);
                const std::size_t len = std::min<std::size_t>(getU16(b.data() + 12), b.size() - 14);
                moveTokens(b.data() + 14, len, m, true, target, !insideBand(m, r));
            }
            if (TTableRecord* t = f->tableRecord(); t && t->bodySize() >= 16) {
                std::uint8_t* p = t->mutableBody().data();
                moveRange16(p, m, false);
                const auto input = [&](std::size_t at, std::uint8_t deleted) {
                    if (auto nr = m.row(getU16(p + at)))
                        putU16(p + at, static_cast<std::uint16_t>(*nr));
                    else
                        p[6] |= deleted;
                };
                input(8, TableFirstDeleted);
                if (p[6] & TableTwoInputs)
                    input(12, TableSecondDeleted);
            }
        }
    }
}

// A copied formula cell: its ARRAY or TABLE moves with it, and a PtgExp or PtgTbl that
// points at an anchor in the band rows points at the anchor's copy.
void moveCopiedAnchors(TCellRecord& cell, const RowMove& m, int distance)
{
    auto* f = dynamic_cast<TFormulaRecord*>(&cell);
    if (!f)
        return;
    if (TArrayRecord* a = f->arrayRecord(); a && a->bodySize() >= 14) {
        RecordBody& b = a->mutableBody();
        putU16(b.data(), static_cast<std::uint16_t>(getU16(b.data()) + distance));
        putU16(b.data() + 2, static_cast<std::uint16_t>(getU16(b.data() + 2) + distance));
        moveRelative(b.data() + 14, std::min<std::size_t>(getU16(b.data() + 12), b.size() - 14), distance);
    }
    if (TTableRecord* t = f->tableRecord(); t && t->bodySize() >= 16) {
        std::uint8_t* p = t->mutableBody().data();
        putU16(p, static_cast<std::uint16_t>(getU16(p) + distance));
        putU16(p + 2, static_cast<std::uint16_t>(getU16(p + 2) + distance));
    }
    auto [t, len] = formulaTokens(cell);
    if (!t || len < 5)
        return;
    const std::uint8_t base = formula::baseId(t[0]);
    if ((base == formula::PtgExp || base == formula::PtgTbl) && insideBand(m, getU16(t + 1)))
        putU16(t + 1, static_cast<std::uint16_t>(getU16(t + 1) + distance));
}

// BRAI (chart series and labels): id, type (2: a reference), options, number format,
// formula length at 6, tokens from 8. Chart formulas name cells with 3-D references. A
// series over the one row of a one-row band (a single-cell reference) grows into a
// range over all its copies, as a range over the band rows does.
constexpr std::uint8_t BraiReference = 2;

void moveSeries(TBaseRecord& brai, const RowMove& m, const SheetTarget& target)
{
    RecordBody& b = brai.mutableBody();
    if (b.size() < 8 || b.data()[1] != BraiReference)
        return;
    const std::size_t len = std::min<std::size_t>(getU16(b.data() + 6), b.size() - 8);
    std::uint8_t* t = b.data() + 8;
    const bool single = len == 7 && formula::baseId(t[0]) == formula::PtgRef3d && target.targets(getU16(t + 1));
    const int row = single ? getU16(t + 3) : -1;
    moveTokens(t, len, m, false, target, true);
    if (!single || !m.insert || m.bandFirst != m.bandLast() || row != m.bandFirst)
        return;
    // PtgRef3d: id, sheet reference, row, column; PtgArea3d: id, sheet reference, first
    // and last row, first and last column.
    const std::uint16_t ixti = getU16(t + 1), col = getU16(t + 5);
    std::vector<std::uint8_t> area(11);
    area[0] = static_cast<std::uint8_t>(t[0] + 1); // PtgArea3d of the same class
    putU16(area.data() + 1, ixti);
    putU16(area.data() + 3, static_cast<std::uint16_t>(row));
    putU16(area.data() + 5, static_cast<std::uint16_t>(row + m.count));
    putU16(area.data() + 7, col);
    putU16(area.data() + 9, col);
    std::vector<std::uint8_t> body(b.data(), b.data() + 8);
    putU16(body.data() + 6, static_cast<std::uint16_t>(area.size()));
    body.insert(body.end(), area.begin(), area.end());
    body.insert(body.end(), b.data() + 8 + len, b.data() + b.size());
    b.assign(body);
}

// The charts of every sheet: embedded ones among the drawing records of worksheets,
// and chart sheets.
void moveCharts(TWorkbook& book, const RowMove& m, const SheetTarget& target)
{
    for (auto& sheet : book.sheets()) {
        RecordList* records = nullptr;
        if (auto* ws = dynamic_cast<TWorkSheet*>(sheet.get()))
            records = &ws->drawing.records;
        else if (auto* raw = dynamic_cast<TRawSheet*>(sheet.get()))
            records = &raw->records;
        if (!records)
            continue;
        for (auto& r : *records)
            if (r->id() == rid::ChartAI)
                moveSeries(*r, m, target);
    }
}

// HLINK: first row, last row, first column, last column (16 bits each) at offset 0.
void moveHyperlinks(TWorkSheet& sheet, const RowMove& m, int copies, int height)
{
    std::vector<std::unique_ptr<THLinkRecord>> result;
    for (auto& link : sheet.hyperlinks) {
        if (link->bodySize() < 8) {
            result.push_back(std::move(link));
            continue;
        }
        std::uint8_t* p = link->mutableBody().data();
        const int a = getU16(p), b = getU16(p + 2);
        const bool inside = m.insert && insideBand(m, a) && insideBand(m, b);
        auto r = m.range(a, b, !inside);
        if (!r)
            continue;
        putU16(p, static_cast<std::uint16_t>(r->first));
        putU16(p + 2, static_cast<std::uint16_t>(r->second));
        std::vector<std::unique_ptr<THLinkRecord>> made;
        if (inside) {
            for (int k = 1; k <= copies; ++k) {
                auto c = cloneAs<THLinkRecord>(*link);
                putU16(c->mutableBody().data(), static_cast<std::uint16_t>(a + k * height));
                putU16(c->mutableBody().data() + 2, static_cast<std::uint16_t>(b + k * height));
                made.push_back(std::move(c));
            }
        }
        result.push_back(std::move(link));
        for (auto& c : made)
            result.push_back(std::move(c));
    }
    sheet.hyperlinks = std::move(result);
}

void moveNotes(TWorkSheet& sheet, const RowMove& m)
{
    for (TNote& note : sheet.notes) {
        if (note.record->bodySize() < 2)
            continue;
        // A note on a deleted row stays on the row that takes its place: its drawing
        // object would otherwise be left without its note.
        const int r = note.row();
        const int nr = m.row(r).value_or(m.bandFirst);
        putU16(note.record->mutableBody().data(), static_cast<std::uint16_t>(nr));
    }
}

// OfficeArt records inside MSODRAWING: version/instance (16 bits), type, length (32 bits).
// Containers (version 0xF) are entered; a client anchor (0xF010) holds flags, then left
// column, dx, top row (offset 6), dy, right column, dx, bottom row (offset 14), dy.
constexpr std::uint16_t ClientAnchor = 0xF010;

void moveDrawingAnchors(TWorkSheet& sheet, const RowMove& m)
{
    for (auto& rec : sheet.drawing.records) {
        if (rec->id() != rid::MsoDrawing)
            continue;
        RecordBody& b = rec->mutableBody();
        std::size_t p = 0;
        while (p + 8 <= b.size()) {
            const std::uint16_t verInst = getU16(b.data() + p);
            const std::uint16_t type = getU16(b.data() + p + 2);
            const std::uint32_t len = getU32(b.data() + p + 4);
            if ((verInst & 0x000F) == 0x000F) {
                p += 8;
                continue;
            }
            if (type == ClientAnchor && len >= 18 && p + 8 + 18 <= b.size()) {
                std::uint8_t* a = b.data() + p + 8;
                auto r = m.range(getU16(a + 6), getU16(a + 14), false);
                const std::pair<int, int> rows = r ? *r : std::pair{m.bandFirst, m.bandFirst};
                putU16(a + 6, static_cast<std::uint16_t>(rows.first));
                putU16(a + 14, static_cast<std::uint16_t>(rows.second));
            }
            if (len > b.size() - p - 8)
                break;
            p += 8 + len;
        }
    }
}

// HORIZONTALPAGEBREAKS: count, then row, first column, last column per break.
std::vector<std::array<std::uint16_t, 3>> readBreaks(const TWorkSheet& sheet)
{
    std::vector<std::array<std::uint16_t, 3>> out;
    for (const auto& rec : sheet.hPageBreaks) {
        const ByteSpan b = rec->body();
        if (b.size() < 2)
            continue;
        const std::size_t n = std::min<std::size_t>(getU16(b.data()), (b.size() - 2) / 6);
        for (std::size_t i = 0; i < n; ++i) {
            const std::uint8_t* p = b.data() + 2 + 6 * i;
            out.push_back({getU16(p), getU16(p + 2), getU16(p + 4)});
        }
    }
    return out;
}

void writeBreaks(TWorkSheet& sheet, std::vector<std::array<std::uint16_t, 3>> breaks)
{
    std::sort(breaks.begin(), breaks.end());
    breaks.erase(std::unique(breaks.begin(), breaks.end(),
                             [](const auto& x, const auto& y) { return x[0] == y[0]; }),
                 breaks.end());
    sheet.hPageBreaks.clear();
    if (breaks.empty())
        return;
    std::vector<std::uint8_t> b(2 + 6 * breaks.size());
    putU16(b.data(), static_cast<std::uint16_t>(breaks.size()));
    for (std::size_t i = 0; i < breaks.size(); ++i)
        for (int j = 0; j < 3; ++j)
            putU16(b.data() + 2 + 6 * i + 2 * j, breaks[i][j]);
    sheet.hPageBreaks.push_back(
        std::make_unique<THPageBreakRecord>(rid::HorizontalPageBreaks, ByteSpan(b.data(), b.size())));
}

void moveBreaks(TWorkSheet& sheet, const RowMove& m)
{
    if (sheet.hPageBreaks.empty())
        return;
    std::vector<std::array<std::uint16_t, 3>> out;
    for (auto br : readBreaks(sheet)) {
        // A break before a deleted row stays before the row that takes its place.
        const int r = br[0];
        const bool before = !m.insert && r == m.bandFirst;
        auto nr = before ? std::optional<int>(r) : m.row(r);
        if (!nr)
            continue;
        br[0] = static_cast<std::uint16_t>(*nr);
        out.push_back(br);
    }
    writeBreaks(sheet, std::move(out));
}

void apply(TWorkbook& book, std::size_t sheetIndex, const RowMove& m, int copies, int height)
{
    auto& sheet = static_cast<TWorkSheet&>(*book.sheets().at(sheetIndex));
    const SheetTarget target = targetOf(book, sheetIndex);
    // References first: the copies are made from formulas that already point at the
    // moved rows.
    moveFormulas(book, sheetIndex, m, target);
    moveArrays(sheet, m, target);
    moveCharts(book, m, target);
    moveCells(sheet, m, copies, height);
    moveMerged(sheet, m, copies, height);
    moveCondFormats(sheet, m, copies, height, target);
    moveValidations(sheet.head, m, copies, height, target);
    moveValidations(sheet.tail, m, copies, height, target);
    moveHyperlinks(sheet, m, copies, height);
    if (!m.insert) {
        // A note belongs to its cell: it goes with the deleted row, shape and all.
        std::vector<std::size_t> gone;
        for (std::size_t i = 0; i < sheet.notes.size(); ++i)
            if (insideBand(m, sheet.notes[i].row()))
                gone.push_back(i);
        if (!gone.empty())
            removeNotes(sheet, std::move(gone));
    }
    moveNotes(sheet, m);
    moveDrawingAnchors(sheet, m);
    if (m.insert)
        copyBandShapes(book, sheet, m.bandFirst, m.bandLast(), copies, height);
    moveBreaks(sheet, m);
}

TWorkSheet& worksheetAt(TWorkbook& book, std::size_t sheet)
{
    auto* ws = sheet < book.sheets().size() ? dynamic_cast<TWorkSheet*>(book.sheets()[sheet].get()) : nullptr;
    if (!ws)
        throw ReportError(msg::InsertAndCopyRows);
    return *ws;
}

} // namespace

void insertAndCopyRows(TWorkbook& book, std::size_t sheet, int first, int last, int copies)
{
    TWorkSheet& ws = worksheetAt(book, sheet);
    if (first < 0 || last < first || last >= MaxRows || copies < 0)
        throw ReportError(msg::InsertAndCopyRows);
    if (copies == 0)
        return;
    const long long height = last - first + 1;
    const long long added = height * copies;
    // Nothing may be pushed off the sheet: neither the copies nor what lies below them.
    if (last + added >= MaxRows || std::max<long long>(lastUsedRow(ws), last) + added >= MaxRows)
        throw ReportError(msg::InsertAndCopyRows);
    RowMove m{true, first, last + 1, static_cast<int>(added)};
    apply(book, sheet, m, copies, static_cast<int>(height));
}

void deleteRows(TWorkbook& book, std::size_t sheet, int first, int last)
{
    worksheetAt(book, sheet);
    if (first < 0 || last < first || last >= MaxRows)
        throw ReportError(msg::InsertAndCopyRows);
    RowMove m{false, first, last + 1, last - first + 1};
    apply(book, sheet, m, 0, 0);
}

void addPageBreak(TWorkSheet& sheet, int row)
{
    auto breaks = readBreaks(sheet);
    if (breaks.size() > 1025)
        throw ReportError(msg::TooManyPageBreaks);
    breaks.push_back({static_cast<std::uint16_t>(row), 0, 255});
    writeBreaks(sheet, std::move(breaks));
}

std::vector<int> pageBreakRows(const TWorkSheet& sheet)
{
    std::vector<int> rows;
    for (const auto& b : readBreaks(sheet))
        rows.push_back(b[0]);
    return rows;
}

} // namespace quorvane::xls
