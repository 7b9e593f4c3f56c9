#pragma once
// BIFF8 records as the engine holds them: the raw body as read, a chain of CONTINUE
// records, and a class per kind that the engine treats specially. Everything the
// engine does not decode stays a plain TBaseRecord and is written back as read.
#include "xls/bytes.h"
#include "xls/cellvalue.h"

#include <cstdint>
#include <memory>
#include <vector>

namespace quorvane::xls {

class TSST;

/// Record ids (MS-XLS record numbers) the engine names.
namespace rid {
inline constexpr std::uint16_t Formula = 0x0006;
// FORMULA ids of BIFF3 and BIFF4 that some BIFF8 writers still use.
inline constexpr std::uint16_t FormulaBiff3 = 0x0206;
inline constexpr std::uint16_t FormulaBiff4 = 0x0406;
inline constexpr std::uint16_t Eof = 0x000A;
inline constexpr std::uint16_t Precision = 0x000E;
inline constexpr std::uint16_t RefMode = 0x000F;
inline constexpr std::uint16_t Header = 0x0014;
inline constexpr std::uint16_t Footer = 0x0015;
inline constexpr std::uint16_t ExternSheet = 0x0017;
inline constexpr std::uint16_t Name = 0x0018;
inline constexpr std::uint16_t VerticalPageBreaks = 0x001A;
inline constexpr std::uint16_t HorizontalPageBreaks = 0x001B;
inline constexpr std::uint16_t Note = 0x001C;
inline constexpr std::uint16_t Date1904 = 0x0022;
inline constexpr std::uint16_t ExternName = 0x0023;
inline constexpr std::uint16_t ExternName2 = 0x0223;
inline constexpr std::uint16_t LeftMargin = 0x0026;
inline constexpr std::uint16_t RightMargin = 0x0027;
inline constexpr std::uint16_t TopMargin = 0x0028;
inline constexpr std::uint16_t BottomMargin = 0x0029;
inline constexpr std::uint16_t PrintGridLines = 0x002B;
inline constexpr std::uint16_t FilePass = 0x002F;
inline constexpr std::uint16_t Font = 0x0031;
inline constexpr std::uint16_t Continue = 0x003C;
inline constexpr std::uint16_t Window1 = 0x003D;
inline constexpr std::uint16_t Pane = 0x0041;
inline constexpr std::uint16_t Pls = 0x004D;
inline constexpr std::uint16_t DefColWidth = 0x0055;
inline constexpr std::uint16_t Xct = 0x0059;
inline constexpr std::uint16_t Crn = 0x005A;
inline constexpr std::uint16_t Obj = 0x005D;
inline constexpr std::uint16_t ColInfo = 0x007D;
inline constexpr std::uint16_t Guts = 0x0080;
inline constexpr std::uint16_t WsBool = 0x0081;
inline constexpr std::uint16_t BoundSheet = 0x0085;
inline constexpr std::uint16_t Palette = 0x0092;
inline constexpr std::uint16_t StandardWidth = 0x0099;
inline constexpr std::uint16_t Scl = 0x00A0;
inline constexpr std::uint16_t Setup = 0x00A1;
inline constexpr std::uint16_t MulRk = 0x00BD;
inline constexpr std::uint16_t MulBlank = 0x00BE;
inline constexpr std::uint16_t ObProj = 0x00D3;
inline constexpr std::uint16_t DbCell = 0x00D7;
inline constexpr std::uint16_t BookBool = 0x00DA;
inline constexpr std::uint16_t Xf = 0x00E0;
inline constexpr std::uint16_t MergedCells = 0x00E5;
inline constexpr std::uint16_t MsoDrawingGroup = 0x00EB;
inline constexpr std::uint16_t MsoDrawing = 0x00EC;
inline constexpr std::uint16_t MsoDrawingSelection = 0x00ED;
inline constexpr std::uint16_t Sst = 0x00FC;
inline constexpr std::uint16_t LabelSst = 0x00FD;
inline constexpr std::uint16_t ExtSst = 0x00FF;
inline constexpr std::uint16_t SupBook = 0x01AE;
inline constexpr std::uint16_t CondFmt = 0x01B0;
inline constexpr std::uint16_t Cf = 0x01B1;
inline constexpr std::uint16_t DVal = 0x01B2;
inline constexpr std::uint16_t Txo = 0x01B6;
inline constexpr std::uint16_t HLink = 0x01B8;
inline constexpr std::uint16_t CodeName = 0x01BA;
inline constexpr std::uint16_t RecalcId = 0x01C1;
inline constexpr std::uint16_t Dimensions = 0x0200;
inline constexpr std::uint16_t Blank = 0x0201;
inline constexpr std::uint16_t Number = 0x0203;
inline constexpr std::uint16_t Label = 0x0204;
inline constexpr std::uint16_t BoolErr = 0x0205;
inline constexpr std::uint16_t String = 0x0207;
inline constexpr std::uint16_t Row = 0x0208;
inline constexpr std::uint16_t Index = 0x020B;
inline constexpr std::uint16_t Array = 0x0221;
inline constexpr std::uint16_t DefaultRowHeight = 0x0225;
inline constexpr std::uint16_t Table = 0x0236;
inline constexpr std::uint16_t Window2 = 0x023E;
inline constexpr std::uint16_t Rk = 0x027E;
inline constexpr std::uint16_t Style = 0x0293;
inline constexpr std::uint16_t Format = 0x041E;
inline constexpr std::uint16_t ShrFmla = 0x04BC;
inline constexpr std::uint16_t ScreenTip = 0x0800;
inline constexpr std::uint16_t Bof = 0x0809;
inline constexpr std::uint16_t ChartAI = 0x1051;
inline constexpr std::uint16_t ChartFontX = 0x1060;
} // namespace rid

/// BOF substream types (16 bits at body offset 2).
namespace bof {
inline constexpr std::uint16_t Biff8Version = 0x0600;
inline constexpr std::uint16_t Globals = 0x0005;
inline constexpr std::uint16_t Worksheet = 0x0010;
inline constexpr std::uint16_t Chart = 0x0020;
} // namespace bof

/// The largest body a record header can announce.
inline constexpr std::size_t MaxRecordBody = 0xFFFF;

class TContinueRecord;

/// `TBaseRecord`: id, the body as read, and the CONTINUE record that followed it (which
/// may have its own). Bodies are never reinterpreted by pointer casts; subclasses read
/// them through xls/bytes.h after checking the size.
class TBaseRecord {
public:
    TBaseRecord(std::uint16_t id, ByteSpan body) : id_(id), body_(body) {}
    virtual ~TBaseRecord();
    TBaseRecord& operator=(const TBaseRecord&) = delete;

    std::uint16_t id() const noexcept { return id_; }
    ByteSpan body() const noexcept { return body_.span(); }
    std::size_t bodySize() const noexcept { return body_.size(); }
    /// For the writer and the value setters; the caller keeps the body a valid record.
    RecordBody& mutableBody() noexcept { return body_; }

    const TContinueRecord* continuation() const noexcept { return continuation_.get(); }
    TContinueRecord* continuation() noexcept { return continuation_.get(); }
    /// Fails with "Trying to add more than one CONTINUE record to the same record".
    void attachContinuation(std::unique_ptr<TContinueRecord> next);

    /// A deep copy, continuation chain included.
    std::unique_ptr<TBaseRecord> clone() const;
    /// Header, body, then the continuations, as they are written to a stream.
    void save(std::vector<std::uint8_t>& out) const;
    /// 4 + body size, plus the continuations' total size.
    std::size_t totalSize() const noexcept;
    /// Body size plus the bodies of the continuations.
    std::size_t bodySizeWithContinuations() const noexcept;

protected:
    /// Copies id and body; the continuation is copied by clone().
    TBaseRecord(const TBaseRecord& other) : id_(other.id_), body_(other.body_) {}
    virtual std::unique_ptr<TBaseRecord> cloneSelf() const { return std::unique_ptr<TBaseRecord>(new TBaseRecord(*this)); }

private:
    std::uint16_t id_;
    RecordBody body_;
    std::unique_ptr<TContinueRecord> continuation_;
};

/// Gives a record class its clone. Kinds that add no behaviour are one line each.
template <typename Derived, typename Base = TBaseRecord>
class RecordOf : public Base {
public:
    using Base::Base;

protected:
    std::unique_ptr<TBaseRecord> cloneSelf() const override
    {
        return std::unique_ptr<TBaseRecord>(new Derived(static_cast<const Derived&>(*this)));
    }
};

class TContinueRecord final : public RecordOf<TContinueRecord> { public: using RecordOf::RecordOf; };

/// Records read and dropped: their content is regenerated or meaningless after a write
/// (XCT, CRN, DBCELL, MSODRAWINGSELECTION, EXTSST, RECALCID, INDEX, chart FONTX).
class TIgnoreRecord final : public RecordOf<TIgnoreRecord> { public: using RecordOf::RecordOf; };

/// `TBaseRowColRecord`: row at body offset 0, column at 2 (16 bits each, 0-based).
class TBaseRowColRecord : public TBaseRecord {
public:
    using TBaseRecord::TBaseRecord;
    std::uint16_t row() const noexcept { return getU16(body().data()); }
    std::uint16_t col() const noexcept { return getU16(body().data() + 2); }
    void setRow(std::uint16_t r) noexcept { putU16(mutableBody().data(), r); }
    void setCol(std::uint16_t c) noexcept { putU16(mutableBody().data() + 2, c); }
};

/// `TCellRecord`: a cell record; the XF index at body offset 4. The factory has checked
/// that the body is long enough for its kind.
class TCellRecord : public TBaseRowColRecord {
public:
    using TBaseRowColRecord::TBaseRowColRecord;
    std::uint16_t xf() const noexcept { return getU16(body().data() + 4); }
    void setXF(std::uint16_t xf) noexcept { putU16(mutableBody().data() + 4, xf); }
    /// The value the cell gives when read (the cached result for a formula).
    virtual CellVariant value() const = 0;
    virtual bool isFormula() const noexcept { return false; }
    TXlsCellValue cellValue() const { return {value(), xf(), isFormula()}; }
};

class TBlankRecord final : public RecordOf<TBlankRecord, TCellRecord> {
public:
    using RecordOf::RecordOf;
    CellVariant value() const override { return {}; }
};

class TNumberRecord final : public RecordOf<TNumberRecord, TCellRecord> {
public:
    using RecordOf::RecordOf;
    CellVariant value() const override { return getF64(body().data() + 6); }
};

class TRKRecord final : public RecordOf<TRKRecord, TCellRecord> {
public:
    using RecordOf::RecordOf;
    std::uint32_t rk() const noexcept { return getU32(body().data() + 6); }
    CellVariant value() const override { return decodeRK(rk()); }
};

/// LABEL: a BIFF8 string with a 2-byte count at offset 6, possibly continued.
class TLabelRecord final : public RecordOf<TLabelRecord, TCellRecord> {
public:
    using RecordOf::RecordOf;
    CellVariant value() const override;
};

class TBoolErrRecord final : public RecordOf<TBoolErrRecord, TCellRecord> {
public:
    using RecordOf::RecordOf;
    bool isError() const noexcept { return body()[7] != 0; }
    std::uint8_t code() const noexcept { return body()[6]; }
    CellVariant value() const override;
};

/// LABELSST: shared string index at offset 6. Bound to its entry of the shared string
/// table while the sheet is read; it holds one reference to that entry for as long as
/// it lives.
class TLabelSSTRecord final : public RecordOf<TLabelSSTRecord, TCellRecord> {
public:
    using RecordOf::RecordOf;
    TLabelSSTRecord(const TLabelSSTRecord& other);
    ~TLabelSSTRecord() override;

    /// Binds to the entry at `entryOffset` of `sst` and takes a reference to it.
    void bind(TSST& sst, std::uint32_t entryOffset);
    TSST* sst() const noexcept { return sst_; }
    /// Offset of the entry in the table's buffer; meaningful when sst() is set.
    std::uint32_t entry() const noexcept { return entry_; }
    std::uint32_t sstIndex() const noexcept { return getU32(body().data() + 6); }
    CellVariant value() const override;

private:
    TSST* sst_ = nullptr;
    std::uint32_t entry_ = 0;
};

class TArrayRecord final : public RecordOf<TArrayRecord> { public: using RecordOf::RecordOf; };
class TTableRecord final : public RecordOf<TTableRecord> { public: using RecordOf::RecordOf; };

/// FORMULA: cached result at offsets 6..13, option flags at 14, token length at 20,
/// tokens from 22. The cached result is decoded when the record is created and the
/// body is then reset so that the formula is written back as needing calculation.
class TFormulaRecord final : public RecordOf<TFormulaRecord, TCellRecord> {
public:
    TFormulaRecord(std::uint16_t id, ByteSpan body);
    TFormulaRecord(const TFormulaRecord& other);

    CellVariant value() const override { return cached_; }
    bool isFormula() const noexcept override { return true; }
    const CellVariant& cachedResult() const noexcept { return cached_; }
    void setCachedResult(CellVariant v) { cached_ = std::move(v); }

    /// The formula's token bytes (length at offset 20), bounded by the body.
    ByteSpan tokens() const noexcept;
    /// The bytes after the tokens: the values of the formula's array constants.
    ByteSpan extraData() const noexcept;

    const TArrayRecord* arrayRecord() const noexcept { return array_.get(); }
    const TTableRecord* tableRecord() const noexcept { return table_.get(); }
    /// For row moves: the attached ranges and tokens follow the cells they name.
    TArrayRecord* arrayRecord() noexcept { return array_.get(); }
    TTableRecord* tableRecord() noexcept { return table_.get(); }
    /// A second ARRAY (or TABLE) replaces the first.
    void attachArray(std::unique_ptr<TArrayRecord> r) { array_ = std::move(r); }
    void attachTable(std::unique_ptr<TTableRecord> r) { table_ = std::move(r); }

private:
    CellVariant cached_;
    std::unique_ptr<TArrayRecord> array_;
    std::unique_ptr<TTableRecord> table_;
};

/// MULRK and MULBLANK exist only while a sheet is read: each becomes one RK or BLANK
/// record per column.
class TMultipleValueRecord : public TBaseRecord {
public:
    using TBaseRecord::TBaseRecord;
    virtual std::vector<std::unique_ptr<TCellRecord>> expand() const = 0;
};
class TMulRKRecord final : public RecordOf<TMulRKRecord, TMultipleValueRecord> {
public:
    using RecordOf::RecordOf;
    std::vector<std::unique_ptr<TCellRecord>> expand() const override;
};
class TMulBlankRecord final : public RecordOf<TMulBlankRecord, TMultipleValueRecord> {
public:
    using RecordOf::RecordOf;
    std::vector<std::unique_ptr<TCellRecord>> expand() const override;
};

/// BOF: version at offset 0 (must be BIFF8), substream type at offset 2.
class TBOFRecord final : public RecordOf<TBOFRecord> {
public:
    TBOFRecord(std::uint16_t id, ByteSpan body);
    std::uint16_t substreamType() const noexcept { return getU16(body().data() + 2); }
};
class TEOFRecord final : public RecordOf<TEOFRecord> { public: using RecordOf::RecordOf; };

/// BOUNDSHEET: stream offset of the sheet's BOF (32 bits at 0), visibility (offset 4),
/// sheet type (offset 5), name with a 1-byte character count at offset 6.
class TBoundSheetRecord final : public RecordOf<TBoundSheetRecord> {
public:
    using RecordOf::RecordOf;
    std::u16string name() const;
    std::uint8_t visibility() const noexcept { return body()[4] & 0x03; }
    std::uint8_t sheetType() const noexcept { return body()[5]; }
};

/// ROW: row, first column, last column + 1, height, (offset 8 cleared on reading),
/// reserved, flags and default XF.
class TRowRecord final : public RecordOf<TRowRecord, TBaseRowColRecord> {
public:
    TRowRecord(std::uint16_t id, ByteSpan body);
    /// A ROW record for `row` spanning [firstCol, lastColPlus1) with the given height.
    static std::unique_ptr<TRowRecord> create(std::uint16_t row, std::uint16_t firstCol,
                                              std::uint16_t lastColPlus1, std::uint16_t height);
    std::uint16_t firstCol() const noexcept { return getU16(body().data() + 2); }
    std::uint16_t lastColPlus1() const noexcept { return getU16(body().data() + 4); }
    std::uint16_t height() const noexcept { return getU16(body().data() + 6); }
};

/// WINDOW1: active tab (offset 10), first visible tab (12), selected tab count (14).
class TWindow1Record final : public RecordOf<TWindow1Record> {
public:
    using RecordOf::RecordOf;
    bool hasTabFields() const noexcept { return bodySize() >= 16; }
    std::uint16_t activeTab() const noexcept { return bodySize() >= 12 ? getU16(body().data() + 10) : 0; }
    void setTabs(std::uint16_t active, std::uint16_t firstVisible, std::uint16_t selectedCount) noexcept;
};

/// WINDOW2: option flags at offset 0 (0x0002 grid lines, 0x0004 headings, 0x0200
/// selected, 0x0400 paged).
class TWindow2Record final : public RecordOf<TWindow2Record> {
public:
    using RecordOf::RecordOf;
    static constexpr std::uint16_t ShowGridLines = 0x0002;
    static constexpr std::uint16_t ShowHeadings = 0x0004;
    static constexpr std::uint16_t Selected = 0x0200;
    static constexpr std::uint16_t Paged = 0x0400;
    std::uint16_t flags() const noexcept { return bodySize() >= 2 ? getU16(body().data()) : 0; }
    void setFlags(std::uint16_t f) noexcept
    {
        if (bodySize() >= 2)
            putU16(mutableBody().data(), f);
    }
};

/// The kinds that are kept as read and only named, so that the loaders and the writer
/// can tell them apart.
class TPrecisionRecord final : public RecordOf<TPrecisionRecord> { public: using RecordOf::RecordOf; };
class TRefModeRecord final : public RecordOf<TRefModeRecord> { public: using RecordOf::RecordOf; };
class TPageHeaderRecord final : public RecordOf<TPageHeaderRecord> { public: using RecordOf::RecordOf; };
class TPageFooterRecord final : public RecordOf<TPageFooterRecord> { public: using RecordOf::RecordOf; };
class TExternSheetRecord final : public RecordOf<TExternSheetRecord> { public: using RecordOf::RecordOf; };
class TNameRecord final : public RecordOf<TNameRecord> { public: using RecordOf::RecordOf; };
class TVPageBreakRecord final : public RecordOf<TVPageBreakRecord> { public: using RecordOf::RecordOf; };
class THPageBreakRecord final : public RecordOf<THPageBreakRecord> { public: using RecordOf::RecordOf; };
/// NOTE: row at 0, column at 2, object id at 6.
class TNoteRecord final : public RecordOf<TNoteRecord> { public: using RecordOf::RecordOf; };
class T1904Record final : public RecordOf<T1904Record> { public: using RecordOf::RecordOf; };
class TExternNameRecord final : public RecordOf<TExternNameRecord> { public: using RecordOf::RecordOf; };
class TMarginRecord final : public RecordOf<TMarginRecord> { public: using RecordOf::RecordOf; };
class TPrintGridLinesRecord final : public RecordOf<TPrintGridLinesRecord> { public: using RecordOf::RecordOf; };
class TFontRecord final : public RecordOf<TFontRecord> { public: using RecordOf::RecordOf; };
class TPaneRecord final : public RecordOf<TPaneRecord> { public: using RecordOf::RecordOf; };
class TPlsRecord final : public RecordOf<TPlsRecord> { public: using RecordOf::RecordOf; };
class TDefColWidthRecord final : public RecordOf<TDefColWidthRecord> { public: using RecordOf::RecordOf; };
class TObjRecord final : public RecordOf<TObjRecord> { public: using RecordOf::RecordOf; };
class TColInfoRecord final : public RecordOf<TColInfoRecord> { public: using RecordOf::RecordOf; };
class TGutsRecord final : public RecordOf<TGutsRecord> { public: using RecordOf::RecordOf; };
class TWsBoolRecord final : public RecordOf<TWsBoolRecord> { public: using RecordOf::RecordOf; };
class TPaletteRecord final : public RecordOf<TPaletteRecord> { public: using RecordOf::RecordOf; };
class TStandardWidthRecord final : public RecordOf<TStandardWidthRecord> { public: using RecordOf::RecordOf; };
class TSCLRecord final : public RecordOf<TSCLRecord> { public: using RecordOf::RecordOf; };
class TSetupRecord final : public RecordOf<TSetupRecord> { public: using RecordOf::RecordOf; };
class TObProjRecord final : public RecordOf<TObProjRecord> { public: using RecordOf::RecordOf; };
class TBookBoolRecord final : public RecordOf<TBookBoolRecord> { public: using RecordOf::RecordOf; };
class TXFRecord final : public RecordOf<TXFRecord> { public: using RecordOf::RecordOf; };
class TCellMergingRecord final : public RecordOf<TCellMergingRecord> { public: using RecordOf::RecordOf; };
class TDrawingGroupRecord final : public RecordOf<TDrawingGroupRecord> { public: using RecordOf::RecordOf; };
class TDrawingRecord final : public RecordOf<TDrawingRecord> { public: using RecordOf::RecordOf; };
class TSSTRecord final : public RecordOf<TSSTRecord> { public: using RecordOf::RecordOf; };
class TSupBookRecord final : public RecordOf<TSupBookRecord> { public: using RecordOf::RecordOf; };
class TCondFmtRecord final : public RecordOf<TCondFmtRecord> { public: using RecordOf::RecordOf; };
class TCFRecord final : public RecordOf<TCFRecord> { public: using RecordOf::RecordOf; };
class TDValRecord final : public RecordOf<TDValRecord> { public: using RecordOf::RecordOf; };
class TTXORecord final : public RecordOf<TTXORecord> { public: using RecordOf::RecordOf; };
class TScreenTipRecord final : public RecordOf<TScreenTipRecord> { public: using RecordOf::RecordOf; };
class TCodeNameRecord final : public RecordOf<TCodeNameRecord> { public: using RecordOf::RecordOf; };
class TDimensionsRecord final : public RecordOf<TDimensionsRecord> { public: using RecordOf::RecordOf; };
class TStringRecord final : public RecordOf<TStringRecord> { public: using RecordOf::RecordOf; };
class TDefRowHeightRecord final : public RecordOf<TDefRowHeightRecord> { public: using RecordOf::RecordOf; };
class TStyleRecord final : public RecordOf<TStyleRecord> { public: using RecordOf::RecordOf; };
class TFormatRecord final : public RecordOf<TFormatRecord> { public: using RecordOf::RecordOf; };
/// SHRFMLA: range (rows 0..3, columns 4..5), reserved, use count, then from offset 8
/// the token length, tokens and any trailing data. Consumed when formulas are expanded.
class TShrFmlaRecord final : public RecordOf<TShrFmlaRecord> { public: using RecordOf::RecordOf; };
class TChartAIRecord final : public RecordOf<TChartAIRecord> { public: using RecordOf::RecordOf; };

/// HLINK, with the screen tip record (0x0800) that followed it, if any.
class THLinkRecord final : public RecordOf<THLinkRecord> {
public:
    using RecordOf::RecordOf;
    THLinkRecord(const THLinkRecord& other);
    const TScreenTipRecord* screenTip() const noexcept { return tip_.get(); }
    void attachScreenTip(std::unique_ptr<TScreenTipRecord> tip) { tip_ = std::move(tip); }

private:
    std::unique_ptr<TScreenTipRecord> tip_;
};

/// Creates the record object that `id` selects, checking the body of the kinds whose
/// bytes the engine decodes. Fails with "Template file is saved with an invalid Excel
/// version" (BOF not BIFF8), "File is password protected" (FILEPASS) or "Error reading
/// Excel records. File invalid" (a body too short for its kind).
std::unique_ptr<TBaseRecord> createRecord(std::uint16_t id, ByteSpan body);

/// A record header: id and body size, both 16 bits little-endian.
struct RecordHeader {
    std::uint16_t id = 0;
    std::uint16_t size = 0;
};

/// The "Workbook" stream held in memory, read record by record.
class RecordStream {
public:
    explicit RecordStream(ByteSpan data) : data_(data) {}
    /// False when fewer than 4 bytes remain.
    bool readHeader(RecordHeader& h) noexcept;
    /// Steps back over the header just read.
    void unreadHeader() noexcept { pos_ -= 4; }
    /// The next n bytes; fails with "Error reading Excel records. File invalid" when fewer remain.
    ByteSpan readBytes(std::size_t n);
    std::size_t position() const noexcept { return pos_; }
    void seek(std::size_t pos) noexcept { pos_ = pos <= data_.size() ? pos : data_.size(); }
    std::size_t size() const noexcept { return data_.size(); }

private:
    ByteSpan data_;
    std::size_t pos_ = 0;
};

/// `ReadRecord`: reads the body announced by `h`, creates the record and applies the
/// peeking rules for CONTINUE, STRING, ARRAY, TABLE and the hyperlink screen tip.
std::unique_ptr<TBaseRecord> readRecord(RecordStream& s, RecordHeader h);

/// Reads the next header and record. Fails with "Error reading Excel records. File
/// invalid" when fewer than 4 header bytes remain (a substream cut short).
std::unique_ptr<TBaseRecord> readNextRecord(RecordStream& s);

} // namespace quorvane::xls
