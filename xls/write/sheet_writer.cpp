// Worksheet, chart and unsupported sheet substreams, and the cells of a worksheet.
#include "xls/write/messages.h"
#include "xls/write/writer.h"

#include <algorithm>
#include <array>

namespace quorvane::xls {

namespace {

// Rows are written in blocks of this many consecutive row numbers.
constexpr int RowBlock = 32;
// The largest record body, and so the most cells one MULRK (6 bytes each) or MULBLANK
// (2 bytes each) holds next to its 6 bytes of row and columns. A sheet read from a
// hostile file can hold longer runs (columns past 255): they are split.
constexpr std::size_t MaxBody = 8224;
constexpr std::size_t MaxRunCells[2] = {(MaxBody - 6) / 2, (MaxBody - 6) / 6};

void saveList(const RecordList& list, ByteSink& sink)
{
    for (const auto& r : list)
        sink.record(*r);
}

void requireBofEof(const TBaseSection& s)
{
    if (!s.bof() || !s.eof())
        throw WriteError(msg::SectionNotLoaded);
}

// DIMENSIONS from the ROW records: first row with one, last such row + 1, the smallest
// first column and the largest last column + 1, 16 reserved bits. ROW records are kept as
// read, and files are met whose ROW records do not span all their cells; the bounds are
// widened to the cells too, since readers size their sheets from this record.
void saveDimensions(const TCells& cells, ByteSink& sink)
{
    std::uint32_t firstRow = 0, lastRowPlus1 = 0;
    std::uint16_t firstCol = 0, lastColPlus1 = 0;
    bool any = false;
    auto include = [&](int r, std::uint16_t first, std::uint16_t lastPlus1) {
        if (!any) {
            firstRow = static_cast<std::uint32_t>(r);
            firstCol = first;
            any = true;
        }
        firstRow = std::min(firstRow, static_cast<std::uint32_t>(r));
        lastRowPlus1 = std::max(lastRowPlus1, static_cast<std::uint32_t>(r) + 1);
        firstCol = std::min(firstCol, first);
        lastColPlus1 = std::max(lastColPlus1, lastPlus1);
    };
    for (int r = 0; r < cells.rowRecordCount(); ++r)
        if (const TRowRecord* row = cells.rowRecord(r))
            include(r, row->firstCol(), row->lastColPlus1());
    for (int r = 0; r < cells.rowCount(); ++r)
        if (const TCells::Row* row = cells.row(r); row && !row->empty())
            include(r, row->front()->col(), static_cast<std::uint16_t>(row->back()->col() + 1));
    std::uint8_t b[14] = {};
    putU32(b, firstRow);
    putU32(b + 4, lastRowPlus1);
    putU16(b + 8, firstCol);
    putU16(b + 10, lastColPlus1);
    sink.record(rid::Dimensions, ByteSpan(b, sizeof b));
}

// MULRK: row, first column, (XF, RK) per cell, last column. MULBLANK: row, first
// column, XF per cell, last column. cells[first, last] are consecutive columns.
void saveRun(const TCells::Row& cells, std::size_t first, std::size_t last, bool rk, ByteSink& sink)
{
    const std::size_t n = last - first + 1;
    const std::size_t per = rk ? 6 : 2;
    const std::size_t size = 6 + per * n;
    sink.header(rk ? rid::MulRk : rid::MulBlank, size);
    if (sink.counting()) {
        sink.bytes(nullptr, size);
        return;
    }
    std::array<std::uint8_t, MaxBody> buffer;
    std::uint8_t* b = buffer.data();
    putU16(b, cells[first]->row());
    putU16(b + 2, cells[first]->col());
    std::uint8_t* p = b + 4;
    for (std::size_t i = first; i <= last; ++i) {
        putU16(p, cells[i]->xf());
        if (rk)
            putU32(p + 2, static_cast<const TRKRecord&>(*cells[i]).rk());
        p += per;
    }
    putU16(p, cells[last]->col());
    sink.bytes(b, size);
}

void saveCell(TCellRecord& cell, ByteSink& sink)
{
    if (cell.id() == rid::LabelSst && !sink.counting()) {
        auto& label = static_cast<TLabelSSTRecord&>(cell);
        if (label.sst())
            putU32(label.mutableBody().data() + 6, getU32(label.sst()->entryHeader(label.entry()) + 8));
    }
    sink.record(cell);
    if (cell.id() == rid::Formula) {
        const auto& formula = static_cast<const TFormulaRecord&>(cell);
        if (formula.arrayRecord())
            sink.record(*formula.arrayRecord());
        if (formula.tableRecord())
            sink.record(*formula.tableRecord());
    }
}

void saveRowCells(const TCells::Row& row, ByteSink& sink)
{
    for (std::size_t i = 0; i < row.size();) {
        const std::uint16_t id = row[i]->id();
        std::size_t j = i;
        if (id == rid::Rk || id == rid::Blank) {
            const std::size_t most = MaxRunCells[id == rid::Rk];
            while (j + 1 < row.size() && j + 1 - i < most && row[j + 1]->id() == id &&
                   row[j + 1]->col() == row[j]->col() + 1)
                ++j;
        }
        if (j > i)
            saveRun(row, i, j, id == rid::Rk, sink);
        else
            saveCell(*row[i], sink);
        i = j + 1;
    }
}

void writeSheet(TWorkSheet& sheet, ByteSink& sink)
{
    requireBofEof(sheet);
    sink.record(*sheet.bof());
    saveList(sheet.head, sink);
    saveList(sheet.hPageBreaks, sink);
    saveList(sheet.vPageBreaks, sink);
    saveList(sheet.colInfos, sink);
    saveCells(sheet, sink);
    saveList(sheet.drawing.records, sink);
    for (const auto& note : sheet.notes)
        sink.record(*note.record);
    saveList(sheet.tail, sink);
    for (const auto& merged : sheet.mergedCells)
        if (merged.record)
            sink.record(*merged.record);
    for (const auto& cf : sheet.condFormats) {
        if (cf.record)
            sink.record(*cf.record);
        saveList(cf.rules, sink);
    }
    for (const auto& link : sheet.hyperlinks) {
        sink.record(*link);
        if (link->screenTip())
            sink.record(*link->screenTip());
    }
    if (sheet.codeName)
        sink.record(*sheet.codeName);
    sink.record(*sheet.eof());
}

} // namespace

void saveCells(TWorkSheet& sheet, ByteSink& sink)
{
    TCells& cells = sheet.cells;
    cells.addMissingRowRecords(sheet.defaultRowHeight);
    saveDimensions(cells, sink);
    const int rows = std::max(cells.rowCount(), cells.rowRecordCount());
    for (int block = 0; block < rows; block += RowBlock) {
        const int end = std::min(rows, block + RowBlock);
        for (int r = block; r < end; ++r)
            if (const TRowRecord* row = cells.rowRecord(r))
                sink.record(*row);
        for (int r = block; r < end; ++r)
            if (const TCells::Row* row = cells.row(r))
                saveRowCells(*row, sink);
    }
}

void saveToStream(TWorkSheet& sheet, ByteSink& sink) { writeSheet(sheet, sink); }

std::size_t totalSize(TWorkSheet& sheet)
{
    ByteSink counter;
    writeSheet(sheet, counter);
    return counter.written();
}

void saveToStream(const TRawSheet& sheet, ByteSink& sink)
{
    requireBofEof(sheet);
    sink.record(*sheet.bof());
    saveList(sheet.records, sink);
    sink.record(*sheet.eof());
}

std::size_t totalSize(const TRawSheet& sheet)
{
    ByteSink counter;
    saveToStream(sheet, counter);
    return counter.written();
}

void saveToStream(TSheet& sheet, ByteSink& sink)
{
    if (auto* ws = dynamic_cast<TWorkSheet*>(&sheet))
        saveToStream(*ws, sink);
    else if (auto* raw = dynamic_cast<TRawSheet*>(&sheet))
        saveToStream(*raw, sink);
    else
        throw WriteError(msg::LogicalError);
}

std::size_t totalSize(TSheet& sheet)
{
    ByteSink counter;
    saveToStream(sheet, counter);
    return counter.written();
}

} // namespace quorvane::xls
