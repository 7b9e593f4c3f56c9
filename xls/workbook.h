#pragma once
// The in-memory workbook: the globals substream and the sheets, each record kept so that
// the workbook can be written back, with the cells indexed by row and found by column.
//
// Ownership: a TWorkbook owns its globals and sheets; sheets are destroyed before the
// globals, because LABELSST cells hold references into the globals' shared strings.
#include "xls/records.h"
#include "xls/sst.h"

#include <cstdint>
#include <memory>
#include <set>
#include <string>
#include <vector>

namespace quorvane::xls {

using RecordList = std::vector<std::unique_ptr<TBaseRecord>>;

/// Sheet limits: rows 0..65535, columns 0..255.
inline constexpr int MaxRows = 65536;
inline constexpr int MaxColumns = 256;

/// `TSubListRecord`: a placeholder in the globals' miscellaneous list where a whole
/// list (all XF, all FONT or all FORMAT records) is written back.
class TSubListRecord final : public RecordOf<TSubListRecord> {
public:
    enum class List { XF, Font, Format };
    explicit TSubListRecord(List list) : RecordOf(0, {}), list_(list) {}
    List list() const noexcept { return list_; }

private:
    List list_;
};

/// `TBaseSection`: a substream of the workbook, read from its BOF to its EOF.
class TBaseSection {
public:
    virtual ~TBaseSection() = default;
    /// Reads the substream that `bof` opened, up to and including its EOF.
    virtual void loadFromStream(RecordStream& s, std::unique_ptr<TBOFRecord> bof, TSST& sst) = 0;
    virtual void clear() = 0;

    const TBOFRecord* bof() const noexcept { return bof_.get(); }
    const TEOFRecord* eof() const noexcept { return eof_.get(); }

protected:
    std::unique_ptr<TBOFRecord> bof_;
    std::unique_ptr<TEOFRecord> eof_;
};

/// `TBoundSheetList`: the BOUNDSHEET records in order and the sheet names.
class TBoundSheetList {
public:
    /// Fails with "Sheet name already exists: %s" for a name already held (exact
    /// comparison, letter case counts).
    void add(std::unique_ptr<TBoundSheetRecord> r);
    void clear();
    std::size_t size() const noexcept { return records_.size(); }
    TBoundSheetRecord& record(std::size_t i) { return *records_.at(i); }
    const TBoundSheetRecord& record(std::size_t i) const { return *records_.at(i); }
    const std::u16string& name(std::size_t i) const { return names_.at(i); }
    const std::vector<std::u16string>& names() const noexcept { return names_; }

private:
    std::set<std::u16string> known_; // the names, for the duplicate check
    std::vector<std::unique_ptr<TBoundSheetRecord>> records_; // TBoundSheetRecordList
    std::vector<std::u16string> names_;                       // TSheetNameList
};

/// One entry of EXTERNSHEET: the SUPBOOK it refers to and a range of its sheets.
struct ExternSheetRef {
    std::uint16_t supBook = 0;
    std::uint16_t firstSheet = 0;
    std::uint16_t lastSheet = 0;
};

/// `TReferences`: SUPBOOK and EXTERNNAME records in file order, and the decoded
/// EXTERNSHEET (the record itself is regenerated when the workbook is written).
struct TReferences {
    RecordList records;
    std::vector<ExternSheetRef> externSheets;
    bool hasExternSheet = false;
    void clear()
    {
        records.clear();
        externSheets.clear();
        hasExternSheet = false;
    }
};

/// `TDrawingGroup`: the MSODRAWINGGROUP records with their continuations; the picture
/// store inside them is kept as read.
struct TDrawingGroup {
    RecordList records;
};

/// `TWorkbookGlobals`: everything of the workbook-globals substream.
class TWorkbookGlobals : public TBaseSection {
public:
    void loadFromStream(RecordStream& s, std::unique_ptr<TBOFRecord> bof, TSST& sst) override;
    void clear() override;

    /// Globals records not held elsewhere, in file order, with TSubListRecord
    /// placeholders where the first XF, FONT and FORMAT record stood.
    RecordList misc;
    TBoundSheetList boundSheets;
    /// The shared string table (owned by the workbook, which outlives its cells).
    TSST* sst = nullptr;
    TReferences references;
    RecordList names;        // TNameRecordList
    TDrawingGroup drawingGroup;
    RecordList xfs;          // TXFRecordList
    RecordList fonts;        // TFontRecordList
    RecordList formats;      // TFormatRecordList

    // Links into `misc`.
    TWindow1Record* window1 = nullptr;
    T1904Record* date1904 = nullptr;
    TBookBoolRecord* bookBool = nullptr;
    TPrecisionRecord* precision = nullptr;
    TPaletteRecord* palette = nullptr;
    /// Where a PALETTE record goes into `misc` when a colour is changed in a workbook that
    /// has none: after the last XF or STYLE record.
    std::size_t paletteInsertionPoint = 0;
    bool hasMacros = false;
    std::u16string codeName;
};

class TSheet : public TBaseSection {};

/// A sheet kept as its records, as read (chart sheets, macro sheets and the rest).
class TRawSheet : public TSheet {
public:
    void loadFromStream(RecordStream& s, std::unique_ptr<TBOFRecord> bof, TSST& sst) override;
    void clear() override { records.clear(); }
    /// The records between BOF and EOF (embedded substreams included).
    RecordList records;
};
class TXlsChartSheet final : public TRawSheet {};
class TXlsUnsupportedSheet final : public TRawSheet {};

/// A rectangle of cells, 0-based and inclusive.
struct CellRange {
    std::uint16_t firstRow = 0, lastRow = 0, firstCol = 0, lastCol = 0;
    bool operator==(const CellRange&) const = default;
};

/// `TMergedCells`: one MERGEDCELLS record and its ranges.
struct TMergedCells {
    std::unique_ptr<TBaseRecord> record;
    std::vector<CellRange> ranges;
};

/// `TCondFmt`: a CONDFMT record and the CF records that follow it.
struct TCondFmt {
    std::unique_ptr<TBaseRecord> record;
    RecordList rules;
};

/// `TDrawing`: the drawing records of a sheet in order (MSODRAWING, OBJ, TXO and the
/// substreams of embedded charts), kept as read.
struct TDrawing {
    RecordList records;
    /// Object id (ftCmo) of each OBJ record in `records`, by index (-1 when unreadable).
    std::vector<std::pair<std::size_t, int>> objects;
};

/// A NOTE record and the drawing record (index into TDrawing::records) of its object.
struct TNote {
    std::unique_ptr<TBaseRecord> record;
    int drawingIndex = -1;
    std::uint16_t row() const noexcept { return record->bodySize() >= 2 ? getU16(record->body().data()) : 0; }
};

/// `TCells`: ROW records by row (`TRowRecordList`) and cell records by row in ascending
/// column order (`TCellList`), both indexed by the 0-based row.
class TCells {
public:
    using Row = std::vector<std::unique_ptr<TCellRecord>>;

    /// Puts a cell in its row at its column; a cell already there is replaced.
    void insert(std::unique_ptr<TCellRecord> cell);
    /// While a sheet is read: appends without ordering (cells of a file normally come in
    /// column order; a hostile file must not make each insertion cost a row's length).
    void append(std::unique_ptr<TCellRecord> cell);
    /// After reading: orders every row by column; of two cells at one column the later
    /// read is kept.
    void settle();
    /// The cell at (row, col), found by bisection, or null.
    const TCellRecord* cell(int row, int col) const noexcept;
    TCellRecord* cell(int row, int col) noexcept;
    /// Removes the cell at (row, col), if any.
    void remove(int row, int col);

    /// Number of entries of the cell list (last row with cells + 1).
    int rowCount() const noexcept { return static_cast<int>(cells_.size()); }
    const Row* row(int r) const noexcept { return r >= 0 && r < rowCount() ? &cells_[r] : nullptr; }

    /// Fails with "Duplicated ROW record" when the row already has one.
    void addRowRecord(std::unique_ptr<TRowRecord> r);
    const TRowRecord* rowRecord(int r) const noexcept
    {
        return r >= 0 && r < static_cast<int>(rows_.size()) ? rows_[r].get() : nullptr;
    }
    /// Number of entries of the row record list (last row with a ROW record + 1).
    int rowRecordCount() const noexcept { return static_cast<int>(rows_.size()); }
    /// For the value setters: the ROW record of a row, to widen it.
    TRowRecord* mutableRowRecord(int r) noexcept
    {
        return r >= 0 && r < static_cast<int>(rows_.size()) ? rows_[r].get() : nullptr;
    }
    /// Removes the ROW record of a row, if any.
    void removeRowRecord(int r) noexcept;
    /// Drops the rows at the end that hold neither cells nor a ROW record.
    void dropEmptyTrailingRows() noexcept;
    /// Gives every row that has cells but no ROW record one spanning its cells.
    void addMissingRowRecords(std::uint16_t height);
    void clear();

private:
    std::vector<std::unique_ptr<TRowRecord>> rows_;
    std::vector<Row> cells_;
    std::vector<int> unordered_; // rows that append() left out of column order
};

/// Bounds the DIMENSIONS record gave (it is regenerated when writing).
struct SheetDimensions {
    std::uint32_t firstRow = 0, lastRowPlus1 = 0;
    std::uint16_t firstCol = 0, lastColPlus1 = 0;
};

/// `TWorkSheet`.
class TWorkSheet final : public TSheet {
public:
    static constexpr std::uint16_t DefaultRowHeight = 255;   // twips
    static constexpr std::uint32_t DefaultColumnWidth = 2930; // 1/256 character

    void loadFromStream(RecordStream& s, std::unique_ptr<TBOFRecord> bof, TSST& sst) override;
    void clear() override;

    RecordList head; // records before WINDOW2
    RecordList tail; // WINDOW2 and what follows, not held elsewhere
    RecordList hPageBreaks; // THPageBreakList
    RecordList vPageBreaks; // TVPageBreakList
    RecordList colInfos;    // TColInfoList
    TCells cells;
    std::vector<TMergedCells> mergedCells;
    std::vector<TCondFmt> condFormats;
    std::vector<TNote> notes; // by row
    std::vector<std::unique_ptr<THLinkRecord>> hyperlinks;
    TDrawing drawing;
    std::unique_ptr<TBaseRecord> codeName;

    // Links into head and tail.
    TBaseRecord* header = nullptr;
    TBaseRecord* footer = nullptr;
    TBaseRecord* leftMargin = nullptr;
    TBaseRecord* rightMargin = nullptr;
    TBaseRecord* topMargin = nullptr;
    TBaseRecord* bottomMargin = nullptr;
    TBaseRecord* printGridLines = nullptr;
    TBaseRecord* pls = nullptr;
    TBaseRecord* wsBool = nullptr;
    TBaseRecord* scl = nullptr;
    TBaseRecord* setup = nullptr;
    TWindow2Record* window2 = nullptr;
    TBaseRecord* pane = nullptr;
    TBaseRecord* guts = nullptr;
    TBaseRecord* refMode = nullptr;

    std::uint16_t defaultRowHeight = DefaultRowHeight;
    std::uint32_t defaultColumnWidth = DefaultColumnWidth;
    SheetDimensions dimensions;

    /// Every merged range of the sheet.
    std::vector<CellRange> mergedRanges() const;
};

/// `TWorkbook`: the globals and the sheets in file order; the n-th sheet belongs to the
/// n-th BOUNDSHEET record.
class TWorkbook {
public:
    TWorkbook();
    ~TWorkbook();

    /// Replaces the whole content from a "Workbook" record stream.
    void load(ByteSpan stream);
    void clear();

    TWorkbookGlobals& globals() noexcept { return *globals_; }
    const TWorkbookGlobals& globals() const noexcept { return *globals_; }
    TSST& sst() noexcept { return sst_; }
    const TSST& sst() const noexcept { return sst_; }
    std::vector<std::unique_ptr<TSheet>>& sheets() noexcept { return sheets_; }
    const std::vector<std::unique_ptr<TSheet>>& sheets() const noexcept { return sheets_; }

private:
    TSST sst_;
    std::unique_ptr<TWorkbookGlobals> globals_;
    std::vector<std::unique_ptr<TSheet>> sheets_; // TSheetList
};

} // namespace quorvane::xls
