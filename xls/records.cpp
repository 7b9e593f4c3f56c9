#include "xls/records.h"

#include "xls/errors.h"
#include "xls/excelstring.h"
#include "xls/messages.h"
#include "xls/sst.h"

namespace quorvane::xls {

// --- TBaseRecord -----------------------------------------------------------

TBaseRecord::~TBaseRecord()
{
    // A file may hold long runs of CONTINUE records: release the chain iteratively so
    // that destroying it never recurses once per link.
    std::unique_ptr<TContinueRecord> next = std::move(continuation_);
    while (next) {
        std::unique_ptr<TContinueRecord> after = std::move(static_cast<TBaseRecord&>(*next).continuation_);
        next = std::move(after);
    }
}

void TBaseRecord::attachContinuation(std::unique_ptr<TContinueRecord> next)
{
    if (continuation_)
        throw RecordError(msg::TwoContinues);
    continuation_ = std::move(next);
}

std::unique_ptr<TBaseRecord> TBaseRecord::clone() const
{
    std::unique_ptr<TBaseRecord> copy = cloneSelf();
    TBaseRecord* tail = copy.get();
    for (const TBaseRecord* c = continuation_.get(); c; c = c->continuation_.get()) {
        tail->continuation_ = std::make_unique<TContinueRecord>(c->id(), c->body());
        tail = tail->continuation_.get();
    }
    return copy;
}

void TBaseRecord::save(std::vector<std::uint8_t>& out) const
{
    for (const TBaseRecord* r = this; r; r = r->continuation_.get()) {
        std::uint8_t header[4];
        putU16(header, r->id_);
        putU16(header + 2, static_cast<std::uint16_t>(r->body_.size()));
        out.insert(out.end(), header, header + 4);
        out.insert(out.end(), r->body_.data(), r->body_.data() + r->body_.size());
    }
}

std::size_t TBaseRecord::totalSize() const noexcept
{
    std::size_t n = 0;
    for (const TBaseRecord* r = this; r; r = r->continuation_.get())
        n += 4 + r->body_.size();
    return n;
}

std::size_t TBaseRecord::bodySizeWithContinuations() const noexcept
{
    std::size_t n = 0;
    for (const TBaseRecord* r = this; r; r = r->continuation_.get())
        n += r->body_.size();
    return n;
}

// --- cell records ----------------------------------------------------------

CellVariant TLabelRecord::value() const
{
    ChainReader reader(*this, 6);
    return TExcelString::read(reader, 2).text();
}

CellVariant TBoolErrRecord::value() const
{
    if (isError())
        return CellError{errorText(code())};
    return code() != 0;
}

TLabelSSTRecord::TLabelSSTRecord(const TLabelSSTRecord& other) : RecordOf(other)
{
    if (other.sst_)
        bind(*other.sst_, other.entry_);
}

TLabelSSTRecord::~TLabelSSTRecord()
{
    if (sst_)
        sst_->release(entry_);
}

void TLabelSSTRecord::bind(TSST& sst, std::uint32_t entryOffset)
{
    sst.addRef(entryOffset);
    if (sst_)
        sst_->release(entry_);
    sst_ = &sst;
    entry_ = entryOffset;
}

CellVariant TLabelSSTRecord::value() const
{
    if (!sst_)
        return {};
    return sst_->text(entry_);
}

// Cached results (MS-XLS FormulaValue): a double unless the 16 bits at offset 12 are
// 0xFFFF; then the byte at 6 is the type: 0 text (from the following STRING), 1
// boolean, 2 error, 3 empty text.
TFormulaRecord::TFormulaRecord(std::uint16_t id, ByteSpan b) : RecordOf(id, b)
{
    std::uint8_t* p = mutableBody().data();
    if (getU16(p + 12) != 0xFFFF) {
        cached_ = getF64(p + 6);
    } else {
        switch (p[6]) {
        case 0: cached_ = std::u16string(); break;
        case 1: cached_ = p[8] == 1; break;
        case 2:
            if (auto text = knownErrorText(p[8]))
                cached_ = CellError{*text};
            break;
        default: break;
        }
    }
    // Written back as needing calculation: type 2 with the 0xFFFF marker, no cache
    // chain, calculate on load.
    for (int i = 6; i < 14; ++i)
        p[i] = 0;
    p[6] = 2;
    putU16(p + 12, 0xFFFF);
    for (int i = 16; i < 20; ++i)
        p[i] = 0;
    p[14] |= 0x02;
}

TFormulaRecord::TFormulaRecord(const TFormulaRecord& other)
    : RecordOf(other), cached_(other.cached_),
      array_(other.array_ ? std::unique_ptr<TArrayRecord>(static_cast<TArrayRecord*>(other.array_->clone().release())) : nullptr),
      table_(other.table_ ? std::unique_ptr<TTableRecord>(static_cast<TTableRecord*>(other.table_->clone().release())) : nullptr)
{
}

ByteSpan TFormulaRecord::tokens() const noexcept
{
    const ByteSpan b = body();
    const std::size_t len = getU16(b.data() + 20);
    const std::size_t avail = b.size() - 22;
    return b.subspan(22, len < avail ? len : avail);
}

ByteSpan TFormulaRecord::extraData() const noexcept
{
    const ByteSpan b = body();
    const std::size_t used = 22 + tokens().size();
    return used < b.size() ? b.subspan(used) : ByteSpan{};
}

std::vector<std::unique_ptr<TCellRecord>> TMulRKRecord::expand() const
{
    // row, first column, (XF, RK) per cell, last column: cell k while 6k + 10 < size.
    std::vector<std::unique_ptr<TCellRecord>> cells;
    const ByteSpan b = body();
    const std::uint16_t row = getU16(b.data());
    const std::uint16_t first = getU16(b.data() + 2);
    for (std::size_t k = 0; 6 * k + 10 < b.size(); ++k) {
        std::uint8_t rk[10];
        putU16(rk, row);
        putU16(rk + 2, static_cast<std::uint16_t>(first + k));
        std::memcpy(rk + 4, b.data() + 4 + 6 * k, 6);
        cells.push_back(std::make_unique<TRKRecord>(rid::Rk, ByteSpan(rk, sizeof rk)));
    }
    return cells;
}

std::vector<std::unique_ptr<TCellRecord>> TMulBlankRecord::expand() const
{
    // row, first column, one XF per cell, last column: cell k while 2k + 6 < size.
    std::vector<std::unique_ptr<TCellRecord>> cells;
    const ByteSpan b = body();
    const std::uint16_t row = getU16(b.data());
    const std::uint16_t first = getU16(b.data() + 2);
    for (std::size_t k = 0; 2 * k + 6 < b.size(); ++k) {
        std::uint8_t blank[6];
        putU16(blank, row);
        putU16(blank + 2, static_cast<std::uint16_t>(first + k));
        std::memcpy(blank + 4, b.data() + 4 + 2 * k, 2);
        cells.push_back(std::make_unique<TBlankRecord>(rid::Blank, ByteSpan(blank, sizeof blank)));
    }
    return cells;
}

// --- other decoded kinds ---------------------------------------------------

TBOFRecord::TBOFRecord(std::uint16_t id, ByteSpan b) : RecordOf(id, b)
{
    if (b.size() < 2)
        throwRecordsInvalid();
    if (getU16(b.data()) != bof::Biff8Version)
        throw RecordError(msg::InvalidVersion);
    if (b.size() < 4)
        throwRecordsInvalid();
}

std::u16string TBoundSheetRecord::name() const
{
    ChainReader reader(*this, 6);
    return TExcelString::read(reader, 1).text();
}

TRowRecord::TRowRecord(std::uint16_t id, ByteSpan b) : RecordOf(id, b)
{
    // Offset 8 locates the row block's DBCELL in the file read; it means nothing here.
    putU16(mutableBody().data() + 8, 0);
}

std::unique_ptr<TRowRecord> TRowRecord::create(std::uint16_t row, std::uint16_t firstCol,
                                               std::uint16_t lastColPlus1, std::uint16_t height)
{
    // Flags 0x0100 (a bit BIFF8 sets always) with the default XF 15 in bits 16..27.
    std::uint8_t b[16] = {};
    putU16(b, row);
    putU16(b + 2, firstCol);
    putU16(b + 4, lastColPlus1);
    putU16(b + 6, height);
    putU32(b + 12, 0x000F0100u);
    return std::make_unique<TRowRecord>(rid::Row, ByteSpan(b, sizeof b));
}

void TWindow1Record::setTabs(std::uint16_t active, std::uint16_t firstVisible, std::uint16_t selectedCount) noexcept
{
    if (!hasTabFields())
        return;
    std::uint8_t* p = mutableBody().data();
    putU16(p + 10, active);
    putU16(p + 12, firstVisible);
    putU16(p + 14, selectedCount);
}

THLinkRecord::THLinkRecord(const THLinkRecord& other)
    : RecordOf(other),
      tip_(other.tip_ ? std::unique_ptr<TScreenTipRecord>(static_cast<TScreenTipRecord*>(other.tip_->clone().release())) : nullptr)
{
}

// --- factory ---------------------------------------------------------------

namespace {

template <typename T>
std::unique_ptr<TBaseRecord> make(std::uint16_t id, ByteSpan body, std::size_t minSize = 0)
{
    if (body.size() < minSize)
        throwRecordsInvalid();
    return std::make_unique<T>(id, body);
}

} // namespace

std::unique_ptr<TBaseRecord> createRecord(std::uint16_t id, ByteSpan b)
{
    switch (id) {
    case rid::Formula: return make<TFormulaRecord>(id, b, 22);
    case rid::FormulaBiff3:
    case rid::FormulaBiff4:
        // Met in BIFF8 files (corpus: poi/WrongFormulaRecordType.xls); read as the BIFF8
        // FORMULA they stand for, and so written back.
        return make<TFormulaRecord>(rid::Formula, b, 22);
    case rid::Eof: return make<TEOFRecord>(id, b);
    case rid::Precision: return make<TPrecisionRecord>(id, b);
    case rid::RefMode: return make<TRefModeRecord>(id, b);
    case rid::Header: return make<TPageHeaderRecord>(id, b);
    case rid::Footer: return make<TPageFooterRecord>(id, b);
    case rid::ExternSheet: return make<TExternSheetRecord>(id, b);
    case rid::Name: return make<TNameRecord>(id, b);
    case rid::VerticalPageBreaks: return make<TVPageBreakRecord>(id, b);
    case rid::HorizontalPageBreaks: return make<THPageBreakRecord>(id, b);
    case rid::Note: return make<TNoteRecord>(id, b);
    case rid::Date1904: return make<T1904Record>(id, b);
    case rid::ExternName:
    case rid::ExternName2: return make<TExternNameRecord>(id, b);
    case rid::LeftMargin:
    case rid::RightMargin:
    case rid::TopMargin:
    case rid::BottomMargin: return make<TMarginRecord>(id, b);
    case rid::PrintGridLines: return make<TPrintGridLinesRecord>(id, b);
    case rid::FilePass: throw RecordError(msg::PasswordProtected);
    case rid::Font: return make<TFontRecord>(id, b);
    case rid::Continue: return make<TContinueRecord>(id, b);
    case rid::Window1: return make<TWindow1Record>(id, b);
    case rid::Pane: return make<TPaneRecord>(id, b);
    case rid::Pls: return make<TPlsRecord>(id, b);
    case rid::DefColWidth: return make<TDefColWidthRecord>(id, b);
    case rid::Xct:
    case rid::Crn:
    case rid::DbCell:
    case rid::MsoDrawingSelection:
    case rid::ExtSst:
    case rid::RecalcId:
    case rid::Index:
    case rid::ChartFontX: return make<TIgnoreRecord>(id, b);
    case rid::Obj: return make<TObjRecord>(id, b);
    case rid::ColInfo: return make<TColInfoRecord>(id, b);
    case rid::Guts: return make<TGutsRecord>(id, b);
    case rid::WsBool: return make<TWsBoolRecord>(id, b);
    case rid::BoundSheet: return make<TBoundSheetRecord>(id, b, 8);
    case rid::Palette: return make<TPaletteRecord>(id, b);
    case rid::StandardWidth: return make<TStandardWidthRecord>(id, b);
    case rid::Scl: return make<TSCLRecord>(id, b);
    case rid::Setup: return make<TSetupRecord>(id, b);
    case rid::MulRk: return make<TMulRKRecord>(id, b, 6);
    case rid::MulBlank: return make<TMulBlankRecord>(id, b, 6);
    case rid::ObProj: return make<TObProjRecord>(id, b);
    case rid::BookBool: return make<TBookBoolRecord>(id, b);
    case rid::Xf: return make<TXFRecord>(id, b);
    case rid::MergedCells: return make<TCellMergingRecord>(id, b);
    case rid::MsoDrawingGroup: return make<TDrawingGroupRecord>(id, b);
    case rid::MsoDrawing: return make<TDrawingRecord>(id, b);
    case rid::Sst: return make<TSSTRecord>(id, b);
    case rid::LabelSst: return make<TLabelSSTRecord>(id, b, 10);
    case rid::SupBook: return make<TSupBookRecord>(id, b);
    case rid::CondFmt: return make<TCondFmtRecord>(id, b);
    case rid::Cf: return make<TCFRecord>(id, b);
    case rid::DVal: return make<TDValRecord>(id, b);
    case rid::Txo: return make<TTXORecord>(id, b);
    case rid::HLink: return make<THLinkRecord>(id, b);
    case rid::CodeName: return make<TCodeNameRecord>(id, b);
    case rid::Dimensions: return make<TDimensionsRecord>(id, b);
    case rid::Blank: return make<TBlankRecord>(id, b, 6);
    case rid::Number: return make<TNumberRecord>(id, b, 14);
    case rid::Label: return make<TLabelRecord>(id, b, 8); // an empty text may lack its flags byte
    case rid::BoolErr: return make<TBoolErrRecord>(id, b, 8);
    case rid::String: return make<TStringRecord>(id, b);
    case rid::Row: return make<TRowRecord>(id, b, 10);
    case rid::Array: return make<TArrayRecord>(id, b);
    case rid::DefaultRowHeight: return make<TDefRowHeightRecord>(id, b);
    case rid::Table: return make<TTableRecord>(id, b);
    case rid::Window2: return make<TWindow2Record>(id, b);
    case rid::Rk: return make<TRKRecord>(id, b, 10);
    case rid::Style: return make<TStyleRecord>(id, b);
    case rid::Format: return make<TFormatRecord>(id, b);
    case rid::ShrFmla: return make<TShrFmlaRecord>(id, b);
    case rid::ScreenTip: return make<TScreenTipRecord>(id, b);
    case rid::Bof: return make<TBOFRecord>(id, b);
    case rid::ChartAI: return make<TChartAIRecord>(id, b);
    default: return std::make_unique<TBaseRecord>(id, b);
    }
}

// --- stream ----------------------------------------------------------------

bool RecordStream::readHeader(RecordHeader& h) noexcept
{
    if (data_.size() - pos_ < 4)
        return false;
    h.id = getU16(data_.data() + pos_);
    h.size = getU16(data_.data() + pos_ + 2);
    pos_ += 4;
    return true;
}

ByteSpan RecordStream::readBytes(std::size_t n)
{
    if (data_.size() - pos_ < n)
        throwRecordsInvalid();
    ByteSpan out = data_.subspan(pos_, n);
    pos_ += n;
    return out;
}

namespace {

bool takesString(std::uint16_t id) noexcept
{
    return id == rid::Formula || id == rid::ShrFmla || id == rid::Array || id == rid::Table;
}

} // namespace

std::unique_ptr<TBaseRecord> readRecord(RecordStream& s, RecordHeader h)
{
    std::unique_ptr<TBaseRecord> rec = createRecord(h.id, s.readBytes(h.size));

    // The rules apply to the record just read; a run of CONTINUE records forms a chain,
    // each attached to the one before, and the last of the run peeks at what follows.
    // Iterative, so that a long run costs no stack.
    TBaseRecord* cur = rec.get();
    RecordHeader next;
    while (s.readHeader(next)) {
        if (next.id == rid::Continue) {
            auto cont = std::make_unique<TContinueRecord>(next.id, s.readBytes(next.size));
            TContinueRecord* raw = cont.get();
            cur->attachContinuation(std::move(cont));
            cur = raw;
            continue;
        }
        if (next.id == rid::String) {
            if (!takesString(cur->id()))
                throwRecordsInvalid();
            s.unreadHeader();
        } else if (next.id == rid::Array || next.id == rid::Table) {
            auto* formula = dynamic_cast<TFormulaRecord*>(cur);
            if (!formula)
                throwRecordsInvalid();
            std::unique_ptr<TBaseRecord> attached = readRecord(s, next);
            if (next.id == rid::Array)
                formula->attachArray(std::unique_ptr<TArrayRecord>(static_cast<TArrayRecord*>(attached.release())));
            else
                formula->attachTable(std::unique_ptr<TTableRecord>(static_cast<TTableRecord*>(attached.release())));
        } else if (next.id == rid::ScreenTip) {
            auto* link = dynamic_cast<THLinkRecord*>(cur);
            if (!link)
                throwRecordsInvalid();
            std::unique_ptr<TBaseRecord> tip = readRecord(s, next);
            link->attachScreenTip(std::unique_ptr<TScreenTipRecord>(static_cast<TScreenTipRecord*>(tip.release())));
        } else {
            s.unreadHeader();
        }
        break;
    }
    return rec;
}

std::unique_ptr<TBaseRecord> readNextRecord(RecordStream& s)
{
    RecordHeader h;
    if (!s.readHeader(h))
        throwRecordsInvalid();
    return readRecord(s, h);
}

} // namespace quorvane::xls
