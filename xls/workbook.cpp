#include "xls/workbook.h"

#include "xls/errors.h"
#include "xls/excelstring.h"
#include "xls/formula.h"
#include "xls/messages.h"
#include "xls/text.h"

#include <algorithm>
#include <map>

namespace quorvane::xls {

namespace {

template <typename T>
std::unique_ptr<T> downcast(std::unique_ptr<TBaseRecord> r)
{
    return std::unique_ptr<T>(static_cast<T*>(r.release()));
}

// The kinds the factory makes TIgnoreRecord (by id: no cast per record on the hot path).
bool isIgnored(const TBaseRecord& r) noexcept
{
    switch (r.id()) {
    case rid::Xct: case rid::Crn: case rid::DbCell: case rid::MsoDrawingSelection:
    case rid::ExtSst: case rid::RecalcId: case rid::Index: case rid::ChartFontX:
        return true;
    default:
        return false;
    }
}

bool isCell(std::uint16_t id) noexcept
{
    switch (id) {
    case rid::Blank: case rid::Number: case rid::Rk: case rid::Label:
    case rid::LabelSst: case rid::BoolErr: case rid::Formula:
        return true;
    default:
        return false;
    }
}

// Peeks whether another record follows; the caller then reads it.
bool hasRecord(RecordStream& s) noexcept
{
    RecordHeader h;
    if (!s.readHeader(h))
        return false;
    s.unreadHeader();
    return true;
}

// Reads the records of a substream that an embedded BOF opened, up to its EOF, into `out`.
void readSubstream(RecordStream& s, std::unique_ptr<TBaseRecord> bof, RecordList& out)
{
    out.push_back(std::move(bof));
    int depth = 0;
    for (;;) {
        std::unique_ptr<TBaseRecord> r = readNextRecord(s);
        const std::uint16_t id = r->id();
        out.push_back(std::move(r));
        if (id == rid::Bof)
            ++depth;
        else if (id == rid::Eof && depth-- == 0)
            return;
    }
}

} // namespace

// --- bound sheets ----------------------------------------------------------

void TBoundSheetList::add(std::unique_ptr<TBoundSheetRecord> r)
{
    std::u16string name = r->name();
    if (!known_.insert(name).second)
        throw RecordError(formatMessage(msg::SheetNameExists, toUtf8(name).c_str()));
    records_.push_back(std::move(r));
    names_.push_back(std::move(name));
}

void TBoundSheetList::clear()
{
    known_.clear();
    records_.clear();
    names_.clear();
}

// --- globals ---------------------------------------------------------------

void TWorkbookGlobals::clear()
{
    bof_.reset();
    eof_.reset();
    misc.clear();
    boundSheets.clear();
    references.clear();
    names.clear();
    drawingGroup.records.clear();
    xfs.clear();
    fonts.clear();
    formats.clear();
    window1 = nullptr;
    date1904 = nullptr;
    bookBool = nullptr;
    precision = nullptr;
    palette = nullptr;
    paletteInsertionPoint = 0;
    hasMacros = false;
    codeName.clear();
    if (sst)
        sst->clear();
}

void TWorkbookGlobals::loadFromStream(RecordStream& s, std::unique_ptr<TBOFRecord> bof, TSST& table)
{
    sst = &table;
    clear();
    bof_ = std::move(bof);
    bool xfPlaced = false, fontPlaced = false, formatPlaced = false;
    for (;;) {
        std::unique_ptr<TBaseRecord> rec = readNextRecord(s);
        const std::uint16_t id = rec->id();

        if (id == rid::Xf && !xfPlaced) {
            misc.push_back(std::make_unique<TSubListRecord>(TSubListRecord::List::XF));
            xfPlaced = true;
        } else if (id == rid::Font && !fontPlaced) {
            misc.push_back(std::make_unique<TSubListRecord>(TSubListRecord::List::Font));
            fontPlaced = true;
        } else if (id == rid::Format && !formatPlaced) {
            misc.push_back(std::make_unique<TSubListRecord>(TSubListRecord::List::Format));
            formatPlaced = true;
        }

        switch (id) {
        case rid::Palette: palette = static_cast<TPaletteRecord*>(rec.get()); break;
        case rid::Xf:
        case rid::Style: paletteInsertionPoint = misc.size(); break;
        case rid::ObProj: hasMacros = true; break;
        case rid::CodeName: {
            ChainReader reader(*rec, 0);
            codeName = TExcelString::read(reader, 2).text();
            break;
        }
        case rid::Bof: throwRecordsInvalid();
        default: break;
        }

        if (isIgnored(*rec))
            continue;
        switch (id) {
        case rid::BoundSheet: boundSheets.add(downcast<TBoundSheetRecord>(std::move(rec))); break;
        case rid::Name: names.push_back(std::move(rec)); break;
        case rid::Xf: xfs.push_back(std::move(rec)); break;
        case rid::Font: fonts.push_back(std::move(rec)); break;
        case rid::Format: formats.push_back(std::move(rec)); break;
        case rid::Eof: eof_ = downcast<TEOFRecord>(std::move(rec)); return;
        case rid::Sst: table.loadFromRecord(*rec); break;
        case rid::SupBook:
        case rid::ExternName:
        case rid::ExternName2: references.records.push_back(std::move(rec)); break;
        case rid::ExternSheet: {
            // Count, then per entry SUPBOOK index, first and last sheet (16 bits each).
            ChainReader reader(*rec, 0);
            const std::uint16_t n = reader.u16();
            if (static_cast<std::size_t>(n) * 6 > reader.remaining())
                throw RecordError(msg::RecordRead);
            for (std::uint16_t i = 0; i < n; ++i) {
                ExternSheetRef ref;
                ref.supBook = reader.u16();
                ref.firstSheet = reader.u16();
                ref.lastSheet = reader.u16();
                references.externSheets.push_back(ref);
            }
            references.hasExternSheet = true;
            break;
        }
        case rid::MsoDrawingGroup: drawingGroup.records.push_back(std::move(rec)); break;
        default:
            switch (id) {
            case rid::Window1: window1 = static_cast<TWindow1Record*>(rec.get()); break;
            case rid::Date1904: date1904 = static_cast<T1904Record*>(rec.get()); break;
            case rid::BookBool: bookBool = static_cast<TBookBoolRecord*>(rec.get()); break;
            case rid::Precision: precision = static_cast<TPrecisionRecord*>(rec.get()); break;
            default: break;
            }
            misc.push_back(std::move(rec));
            break;
        }
    }
}

// --- raw sheets ------------------------------------------------------------

void TRawSheet::loadFromStream(RecordStream& s, std::unique_ptr<TBOFRecord> bof, TSST&)
{
    clear();
    bof_ = std::move(bof);
    int depth = 0; // embedded substreams
    for (;;) {
        std::unique_ptr<TBaseRecord> rec = readNextRecord(s);
        if (rec->id() == rid::Bof) {
            ++depth;
        } else if (rec->id() == rid::Eof) {
            if (depth == 0) {
                eof_ = downcast<TEOFRecord>(std::move(rec));
                return;
            }
            --depth;
        }
        records.push_back(std::move(rec));
    }
}

// --- cells -----------------------------------------------------------------

void TCells::insert(std::unique_ptr<TCellRecord> cell)
{
    const int r = cell->row();
    if (r >= rowCount())
        cells_.resize(static_cast<std::size_t>(r) + 1);
    Row& row = cells_[r];
    const std::uint16_t c = cell->col();
    if (row.empty() || row.back()->col() < c) {
        row.push_back(std::move(cell));
        return;
    }
    auto it = std::lower_bound(row.begin(), row.end(), c,
                               [](const std::unique_ptr<TCellRecord>& x, std::uint16_t col) { return x->col() < col; });
    if (it != row.end() && (*it)->col() == c)
        *it = std::move(cell);
    else
        row.insert(it, std::move(cell));
}

void TCells::append(std::unique_ptr<TCellRecord> cell)
{
    const int r = cell->row();
    if (r >= rowCount())
        cells_.resize(static_cast<std::size_t>(r) + 1);
    Row& row = cells_[r];
    if (row.empty())
        row.reserve(4); // a data row holds a few cells: one allocation instead of three
    else if (row.back()->col() >= cell->col() && (unordered_.empty() || unordered_.back() != r))
        unordered_.push_back(r);
    row.push_back(std::move(cell));
}

void TCells::settle()
{
    auto byColumn = [](const std::unique_ptr<TCellRecord>& a, const std::unique_ptr<TCellRecord>& b) {
        return a->col() < b->col();
    };
    std::sort(unordered_.begin(), unordered_.end());
    unordered_.erase(std::unique(unordered_.begin(), unordered_.end()), unordered_.end());
    for (int r : unordered_) {
        Row& row = cells_[r];
        std::stable_sort(row.begin(), row.end(), byColumn);
        // Keep the last of each run of equal columns.
        std::size_t out = 0;
        for (std::size_t i = 0; i < row.size(); ++i) {
            if (i + 1 < row.size() && row[i + 1]->col() == row[i]->col())
                continue;
            row[out++] = std::move(row[i]);
        }
        row.resize(out);
    }
    unordered_.clear();
}

TCellRecord* TCells::cell(int r, int c) noexcept
{
    if (r < 0 || r >= rowCount())
        return nullptr;
    Row& row = cells_[r];
    auto it = std::lower_bound(row.begin(), row.end(), c,
                               [](const std::unique_ptr<TCellRecord>& x, int col) { return x->col() < col; });
    return it != row.end() && (*it)->col() == c ? it->get() : nullptr;
}

const TCellRecord* TCells::cell(int r, int c) const noexcept
{
    return const_cast<TCells*>(this)->cell(r, c);
}

void TCells::remove(int r, int c)
{
    if (r < 0 || r >= rowCount())
        return;
    Row& row = cells_[r];
    auto it = std::lower_bound(row.begin(), row.end(), c,
                               [](const std::unique_ptr<TCellRecord>& x, int col) { return x->col() < col; });
    if (it != row.end() && (*it)->col() == c)
        row.erase(it);
}

void TCells::addRowRecord(std::unique_ptr<TRowRecord> r)
{
    const int row = r->row();
    if (row >= static_cast<int>(rows_.size()))
        rows_.resize(static_cast<std::size_t>(row) + 1);
    if (rows_[row])
        throw RecordError(msg::DuplicatedRow);
    rows_[row] = std::move(r);
}

void TCells::addMissingRowRecords(std::uint16_t height)
{
    for (int r = 0; r < rowCount(); ++r) {
        const Row& row = cells_[r];
        if (row.empty() || rowRecord(r))
            continue;
        addRowRecord(TRowRecord::create(static_cast<std::uint16_t>(r), row.front()->col(),
                                        static_cast<std::uint16_t>(row.back()->col() + 1), height));
    }
}

void TCells::removeRowRecord(int r) noexcept
{
    if (r >= 0 && r < static_cast<int>(rows_.size()))
        rows_[r].reset();
}

void TCells::dropEmptyTrailingRows() noexcept
{
    while (!rows_.empty() && !rows_.back())
        rows_.pop_back();
    while (!cells_.empty() && cells_.back().empty())
        cells_.pop_back();
}

void TCells::clear()
{
    rows_.clear();
    cells_.clear();
    unordered_.clear();
}

// --- worksheet -------------------------------------------------------------

void TWorkSheet::clear()
{
    bof_.reset();
    eof_.reset();
    head.clear();
    tail.clear();
    hPageBreaks.clear();
    vPageBreaks.clear();
    colInfos.clear();
    cells.clear();
    mergedCells.clear();
    condFormats.clear();
    notes.clear();
    hyperlinks.clear();
    drawing.records.clear();
    drawing.objects.clear();
    codeName.reset();
    header = footer = leftMargin = rightMargin = topMargin = bottomMargin = nullptr;
    printGridLines = pls = wsBool = scl = setup = pane = guts = refMode = nullptr;
    window2 = nullptr;
    defaultRowHeight = DefaultRowHeight;
    defaultColumnWidth = DefaultColumnWidth;
    dimensions = {};
}

std::vector<CellRange> TWorkSheet::mergedRanges() const
{
    std::vector<CellRange> out;
    for (const auto& m : mergedCells)
        out.insert(out.end(), m.ranges.begin(), m.ranges.end());
    return out;
}

namespace {

// OBJ records start with their common data (ftCmo: ft 0x15, size, object type, id).
int objectId(const TBaseRecord& obj) noexcept
{
    const ByteSpan b = obj.body();
    if (b.size() < 8 || getU16(b.data()) != 0x15)
        return -1;
    return getU16(b.data() + 6);
}

// Reads the drawing records that follow an MSODRAWING, and returns the first record that
// is not one of them (null at the end of the stream).
std::unique_ptr<TBaseRecord> loadDrawing(TDrawing& d, std::unique_ptr<TBaseRecord> first, RecordStream& s)
{
    d.records.push_back(std::move(first));
    while (hasRecord(s)) {
        std::unique_ptr<TBaseRecord> rec = readNextRecord(s);
        switch (rec->id()) {
        case rid::MsoDrawing:
        case rid::Txo: d.records.push_back(std::move(rec)); break;
        case rid::Obj:
            d.objects.emplace_back(d.records.size(), objectId(*rec));
            d.records.push_back(std::move(rec));
            break;
        case rid::Bof: readSubstream(s, std::move(rec), d.records); break; // an embedded chart
        default: return rec;
        }
    }
    return nullptr;
}

std::uint32_t cellKey(std::uint16_t row, std::uint16_t col) noexcept
{
    return (static_cast<std::uint32_t>(row) << 16) | col;
}

} // namespace

void TWorkSheet::loadFromStream(RecordStream& s, std::unique_ptr<TBOFRecord> bof, TSST& sst)
{
    clear();
    bof_ = std::move(bof);
    RecordList* target = &head;
    TFormulaRecord* lastFormula = nullptr;
    std::map<std::uint32_t, std::unique_ptr<TBaseRecord>> shared; // SHRFMLA by anchor cell
    std::uint16_t lastDefColWidth = 8;
    bool standardWidthSet = false;
    std::unique_ptr<TBaseRecord> pending;

    for (;;) {
        std::unique_ptr<TBaseRecord> rec = pending ? std::move(pending) : readNextRecord(s);
        const std::uint16_t id = rec->id();
        const ByteSpan b = rec->body();

        if (id == rid::Window2)
            target = &tail;
        switch (id) {
        case rid::Header: header = rec.get(); break;
        case rid::Footer: footer = rec.get(); break;
        case rid::LeftMargin: leftMargin = rec.get(); break;
        case rid::RightMargin: rightMargin = rec.get(); break;
        case rid::TopMargin: topMargin = rec.get(); break;
        case rid::BottomMargin: bottomMargin = rec.get(); break;
        case rid::PrintGridLines: printGridLines = rec.get(); break;
        case rid::Pls: pls = rec.get(); break;
        case rid::WsBool: wsBool = rec.get(); break;
        case rid::Scl: scl = rec.get(); break;
        case rid::Setup: setup = rec.get(); break;
        case rid::Window2: window2 = static_cast<TWindow2Record*>(rec.get()); break;
        case rid::Pane: pane = rec.get(); break;
        case rid::Guts: guts = rec.get(); break;
        case rid::RefMode: refMode = rec.get(); break;
        case rid::Formula: lastFormula = static_cast<TFormulaRecord*>(rec.get()); break;
        case rid::DefColWidth:
            if (b.size() >= 2) {
                const std::uint16_t v = getU16(b.data());
                if (!(standardWidthSet && v == 8))
                    defaultColumnWidth = static_cast<std::uint32_t>(v) * 293;
                lastDefColWidth = v;
            }
            break;
        case rid::StandardWidth:
            if (b.size() >= 2 && lastDefColWidth == 8) {
                defaultColumnWidth = getU16(b.data());
                standardWidthSet = true;
            }
            break;
        case rid::DefaultRowHeight:
            if (b.size() >= 4)
                defaultRowHeight = getU16(b.data() + 2);
            break;
        case rid::LabelSst: {
            auto* label = static_cast<TLabelSSTRecord*>(rec.get());
            if (label->sstIndex() >= sst.count())
                throwRecordsInvalid();
            label->bind(sst, sst.entryAt(label->sstIndex()));
            break;
        }
        case rid::Label:
            // Decoded once here so that a malformed text fails the open, not a later query.
            static_cast<TLabelRecord*>(rec.get())->value();
            break;
        case rid::Bof: throwRecordsInvalid();
        default: break;
        }

        if (id == rid::MsoDrawing) {
            pending = loadDrawing(drawing, std::move(rec), s);
            continue;
        }
        if (isIgnored(*rec))
            continue;
        if (isCell(id)) {
            cells.append(downcast<TCellRecord>(std::move(rec)));
            continue;
        }
        switch (id) {
        case rid::Dimensions:
            if (b.size() >= 12) {
                dimensions.firstRow = getU32(b.data());
                dimensions.lastRowPlus1 = getU32(b.data() + 4);
                dimensions.firstCol = getU16(b.data() + 8);
                dimensions.lastColPlus1 = getU16(b.data() + 10);
            }
            break;
        case rid::Note: notes.push_back(TNote{std::move(rec), -1}); break; // ordered by row below
        case rid::ColInfo: colInfos.push_back(std::move(rec)); break;
        case rid::MulRk:
        case rid::MulBlank:
            for (auto& cell : static_cast<const TMultipleValueRecord&>(*rec).expand())
                cells.append(std::move(cell));
            break;
        case rid::Row: cells.addRowRecord(downcast<TRowRecord>(std::move(rec))); break;
        case rid::CondFmt: {
            TCondFmt cf;
            cf.record = std::move(rec);
            while (hasRecord(s)) {
                std::unique_ptr<TBaseRecord> next = readNextRecord(s);
                if (next->id() != rid::Cf) {
                    pending = std::move(next);
                    break;
                }
                cf.rules.push_back(std::move(next));
            }
            condFormats.push_back(std::move(cf));
            break;
        }
        case rid::MergedCells: {
            // Count, then per range first row, last row, first column, last column.
            TMergedCells m;
            const std::size_t count = b.size() >= 2 ? getU16(b.data()) : 0;
            const std::size_t fitting = b.size() >= 2 ? (b.size() - 2) / 8 : 0;
            for (std::size_t i = 0; i < std::min(count, fitting); ++i) {
                const std::uint8_t* p = b.data() + 2 + 8 * i;
                m.ranges.push_back({getU16(p), getU16(p + 2), getU16(p + 4), getU16(p + 6)});
            }
            m.record = std::move(rec);
            mergedCells.push_back(std::move(m));
            break;
        }
        case rid::HLink: hyperlinks.push_back(downcast<THLinkRecord>(std::move(rec))); break;
        case rid::ShrFmla:
            if (!lastFormula)
                throwRecordsInvalid();
            shared[cellKey(lastFormula->row(), lastFormula->col())] = std::move(rec);
            break;
        case rid::HorizontalPageBreaks: hPageBreaks.push_back(std::move(rec)); break;
        case rid::VerticalPageBreaks: vPageBreaks.push_back(std::move(rec)); break;
        case rid::String: {
            if (!lastFormula)
                throwRecordsInvalid();
            ChainReader reader(*rec, 0);
            lastFormula->setCachedResult(TExcelString::read(reader, 2).text());
            break;
        }
        case rid::Array:
            if (!lastFormula)
                throwRecordsInvalid();
            lastFormula->attachArray(downcast<TArrayRecord>(std::move(rec)));
            break;
        case rid::Eof: eof_ = downcast<TEOFRecord>(std::move(rec)); goto loaded;
        case rid::CodeName: codeName = std::move(rec); break;
        default: target->push_back(std::move(rec)); break;
        }
    }
loaded:
    cells.settle();
    std::stable_sort(notes.begin(), notes.end(), [](const TNote& a, const TNote& b) { return a.row() < b.row(); });
    std::map<int, std::size_t> objectsById; // the last OBJ of an id wins, as a file read in order
    for (const auto& [index, id] : drawing.objects)
        objectsById[id] = index;
    for (auto& note : notes) {
        const ByteSpan nb = note.record->body();
        if (nb.size() < 8)
            continue;
        if (auto it = objectsById.find(getU16(nb.data() + 6)); it != objectsById.end())
            note.drawingIndex = static_cast<int>(it->second);
    }

    // A formula that only points at a shared formula (PtgExp with the anchor cell) takes
    // the shared tokens, re-based onto its own cell.
    if (!shared.empty()) {
        for (int r = 0; r < cells.rowCount(); ++r) {
            for (const auto& cell : *cells.row(r)) {
                if (cell->id() != rid::Formula)
                    continue;
                const ByteSpan fb = cell->body();
                if (fb.size() != 27 || getU16(fb.data() + 20) != 5 || fb[22] != formula::PtgExp)
                    continue;
                auto it = shared.find(cellKey(getU16(fb.data() + 23), getU16(fb.data() + 25)));
                if (it == shared.end())
                    continue;
                const ByteSpan sb = it->second->body();
                // The expanded body must still fit a record (its size is written in 16 bits).
                if (sb.size() < 10 || sb.size() + 12 > MaxRecordBody)
                    throwRecordsInvalid();
                std::vector<std::uint8_t> body(fb.begin(), fb.begin() + 20);
                body.insert(body.end(), sb.begin() + 8, sb.end());
                RecordBody& mb = cell->mutableBody();
                mb.assign(body);
                const std::size_t len = std::min<std::size_t>(getU16(mb.data() + 20), mb.size() - 22);
                const auto bad = formula::rebaseShared({mb.data() + 22, len}, cell->row(), cell->col());
                if (bad)
                    throw RecordError(formatMessage(msg::FormulaNotSupported, cell->row() + 1, cell->col() + 1,
                                                    static_cast<unsigned>(*bad)));
            }
        }
    }
    cells.addMissingRowRecords(defaultRowHeight);
}

// --- workbook --------------------------------------------------------------

TWorkbook::TWorkbook() : globals_(std::make_unique<TWorkbookGlobals>())
{
    globals_->sst = &sst_;
}

TWorkbook::~TWorkbook()
{
    sheets_.clear();
}

void TWorkbook::clear()
{
    sheets_.clear();
    globals_->clear();
}

void TWorkbook::load(ByteSpan stream)
{
    clear();
    RecordStream s(stream);
    RecordHeader h;
    while (s.readHeader(h) && h.id != 0) {
        std::unique_ptr<TBaseRecord> rec = readRecord(s, h);
        if (rec->id() == rid::Eof)
            continue; // between substreams
        if (rec->id() != rid::Bof)
            throwRecordsInvalid();
        auto bofRecord = downcast<TBOFRecord>(std::move(rec));
        switch (bofRecord->substreamType()) {
        case bof::Globals: globals_->loadFromStream(s, std::move(bofRecord), sst_); break;
        case bof::Worksheet: {
            sheets_.push_back(std::make_unique<TWorkSheet>());
            sheets_.back()->loadFromStream(s, std::move(bofRecord), sst_);
            break;
        }
        case bof::Chart:
            sheets_.push_back(std::make_unique<TXlsChartSheet>());
            sheets_.back()->loadFromStream(s, std::move(bofRecord), sst_);
            break;
        default:
            sheets_.push_back(std::make_unique<TXlsUnsupportedSheet>());
            sheets_.back()->loadFromStream(s, std::move(bofRecord), sst_);
            break;
        }
    }
    sst_.sort();
}

} // namespace quorvane::xls
