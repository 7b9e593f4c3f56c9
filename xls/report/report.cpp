#include "xls/report/report.h"

#include "xls/messages.h"
#include "xls/report/drawing.h"
#include "xls/report/messages.h"
#include "xls/report/rows.h"
#include "xls/text.h"
#include "xls/write/cells.h"
#include "xls/write/save.h"
#include "xls/formula.h"

#include <algorithm>
#include <map>

namespace quorvane::xls {

namespace {

constexpr std::u16string_view FieldMark = u"##";
constexpr std::u16string_view PropertyMark = u"#.";
constexpr std::u16string_view DeleteRowMarker = u"...delete row...";
constexpr std::u16string_view PageBreakMarker = u"...page break...";
// Records between two progress reports.
constexpr int ProgressStep = 10;

bool startsWith(std::u16string_view s, std::u16string_view p) { return s.substr(0, p.size()) == p; }

std::string utf8(std::u16string_view s) { return toUtf8(s); }

// Thrown when the progress event cancels; Run ends without saving.
struct Cancelled {};

} // namespace

// --- band names ------------------------------------------------------------

std::vector<std::u16string> bandDataSetNames(std::u16string_view name)
{
    if (auto bang = name.rfind(u'!'); bang != std::u16string_view::npos)
        name.remove_prefix(bang + 1);
    std::vector<std::u16string> out;
    if (!startsWith(name, u"__"))
        return out;
    name.remove_prefix(2);
    while (!name.empty()) {
        const auto end = name.find(u"__");
        if (end == 0)
            break;
        out.emplace_back(name.substr(0, end));
        if (end == std::u16string_view::npos)
            break;
        name.remove_prefix(end + 2);
    }
    return out;
}

std::vector<BandName> bandNames(const TWorkbook& book)
{
    // The internal SUPBOOK (sheet count, then 0x0401) that 3-D references go through.
    int internal = -1, supIndex = 0;
    for (const auto& r : book.globals().references.records) {
        if (r->id() != rid::SupBook)
            continue;
        if (r->bodySize() == 4 && getU16(r->body().data() + 2) == 0x0401)
            internal = supIndex;
        ++supIndex;
    }
    const auto& ext = book.globals().references.externSheets;
    std::vector<BandName> out;
    const auto& names = book.globals().names;
    for (std::size_t i = 0; i < names.size(); ++i) {
        // NAME: options (0x0020 built-in), shortcut, name length, formula length, ...,
        // the name at 14 (flags byte, then 8- or 16-bit characters), the formula.
        const ByteSpan b = names[i]->body();
        if (b.size() < 15 || (getU16(b.data()) & 0x0020))
            continue;
        const std::size_t chars = b[3];
        const bool wide = b[14] & 0x01;
        const std::size_t at = 15 + chars * (wide ? 2 : 1);
        const std::size_t len = getU16(b.data() + 4);
        if (at > b.size() || len > b.size() - at)
            continue;
        std::u16string text;
        for (std::size_t c = 0; c < chars; ++c)
            text.push_back(wide ? static_cast<char16_t>(getU16(b.data() + 15 + 2 * c)) : b[15 + c]);
        BandName band;
        band.dataSets = bandDataSetNames(text);
        if (band.dataSets.empty() || len < 7)
            continue;
        const std::uint8_t* f = b.data() + at;
        const std::uint8_t base = formula::baseId(f[0]);
        const std::uint16_t ixti = getU16(f + 1);
        if (ixti >= ext.size() || static_cast<int>(ext[ixti].supBook) != internal)
            continue;
        band.sheet = ext[ixti].firstSheet;
        if (base == formula::PtgArea3d && len >= 11) {
            band.firstRow = getU16(f + 3) + 1;
            band.lastRow = getU16(f + 5) + 1;
            band.firstCol = getU16(f + 7) & 0xFF;
            band.lastCol = getU16(f + 9) & 0xFF;
        } else if (base == formula::PtgRef3d) {
            band.firstRow = band.lastRow = getU16(f + 3) + 1;
            band.firstCol = band.lastCol = getU16(f + 5) & 0xFF;
        } else {
            continue;
        }
        band.index = static_cast<int>(i);
        out.push_back(std::move(band));
    }
    return out;
}

// --- the run ---------------------------------------------------------------

int TCustomXlsReport::recordCount(IXlsDataSet& ds) const
{
    if (OnRecordCount) {
        int n = 0;
        OnRecordCount(ds, n);
        return n;
    }
    switch (CalcRecordCount) {
    case TCalcRecordCount::cr_None: return ds.recordCount();
    case TCalcRecordCount::cr_Count:
        ds.last();
        ds.first();
        return ds.recordCount();
    case TCalcRecordCount::cr_SlowCount: {
        int n = 0;
        for (ds.first(); !ds.eof(); ds.next())
            ++n;
        ds.first();
        return n;
    }
    }
    return ds.recordCount();
}

class TCustomXlsReport::Run_ {
public:
    Run_(TCustomXlsReport& report, TXLSFile& file) : r_(report), file_(file) {}

    void generateSheet(int sheetNumber);
    void closeOpened(bool quiet);

private:
    struct WholeTable {
        int row, col, xf;
        std::u16string name;
    };

    TWorkSheet& sheet() { return static_cast<TWorkSheet&>(*file_.workbook().sheets()[sheetIndex_]); }
    std::optional<TExcelBand> findBand(int first, int last, int exceptFirst, int exceptLast);
    TExcelBand buildBand(const BandName& n);
    void openDataSet(IXlsDataSet& ds);
    void parseCells(const TExcelBand& main);
    TOneBandValue parsePart(std::u16string_view text, const CellVariant& asRead, const TXlsCellValue& cell, int row, int col);
    using Runs = std::vector<std::pair<std::uint16_t, std::uint16_t>>;
    std::vector<TOneBandValue> parseCell(const TXlsCellValue& cell, int row, int col, const Runs& runs = {});
    static Runs runsOf(const TCellRecord& cell);
    void writeText(int row, int col, const std::u16string& text, const Runs& runs, int xf);
    CellVariant evaluateParts(const std::vector<TOneBandValue>& parts, int row, int col, Runs* runs, int xf);
    void evaluateDrawings(int row);
    void prepareDrawings();
    void finishDrawings();
    int fillBand(const TExcelBand& band, int base);
    void writeRow(int templateRow, int row);
    CellVariant evaluate(const TOneBandValue& part, int row, int col);
    CellVariant propertyValue(const TOneBandValue& part);
    void expandWholeTables();
    void applyMarkers();
    std::u16string dateTimeFormat() const;
    int deriveDateXF(int xf);

    TCustomXlsReport& r_;
    TXLSFile& file_;
    std::size_t sheetIndex_ = 0;
    int sheetNumber_ = 1;
    std::vector<BandName> names_;
    std::map<int, std::vector<TBandValue>> cells_; // by template row, 0-based
    std::vector<WholeTable> wholeTables_;
    std::vector<IXlsDataSet*> opened_;
    std::map<int, int> dateXFs_;
    // Notes and pictures whose texts hold tags, evaluated as their rows are written.
    bool taggedNotes_ = false, taggedPictures_ = false;
    std::vector<PictureShape> pictures_;
    bool picturesStale_ = true;
    std::vector<const TBaseRecord*> emptiedNotes_;
    std::vector<PictureData> newPictures_;
};

void TCustomXlsReport::Run_::openDataSet(IXlsDataSet& ds)
{
    if (ds.active())
        return;
    ds.open();
    opened_.push_back(&ds);
}

void TCustomXlsReport::Run_::closeOpened(bool quiet)
{
    for (IXlsDataSet* ds : opened_) {
        if (!quiet) {
            ds->close();
            continue;
        }
        try {
            ds->close();
        } catch (const std::exception&) {
            // The run has failed already; its error is the one the caller sees.
        }
    }
    opened_.clear();
}

TExcelBand TCustomXlsReport::Run_::buildBand(const BandName& n)
{
    TExcelBand band;
    band.firstRow = n.firstRow;
    band.lastRow = n.lastRow;
    band.firstCol = n.firstCol;
    band.lastCol = n.lastCol;
    band.nameIndex = n.index;
    for (const auto& name : n.dataSets)
        band.dataSets.push_back(r_.DataModule ? r_.DataModule->findDataSet(name) : nullptr);
    // Children, one after the other; the band's own range is never its child.
    int from = band.firstRow;
    while (from <= band.lastRow) {
        auto child = findBand(from, band.lastRow, band.firstRow, band.lastRow);
        if (!child)
            break;
        from = child->lastRow + 1;
        band.children.push_back(std::move(*child));
    }
    return band;
}

std::optional<TExcelBand> TCustomXlsReport::Run_::findBand(int first, int last, int exceptFirst, int exceptLast)
{
    const BandName* best = nullptr;
    for (const BandName& n : names_) {
        if (n.sheet != static_cast<int>(sheetIndex_) || n.firstRow < first || n.lastRow > last)
            continue;
        if (n.firstRow == exceptFirst && n.lastRow == exceptLast)
            continue;
        // Smallest first row, then largest last row; on a tie the name defined last.
        if (!best || n.firstRow < best->firstRow || (n.firstRow == best->firstRow && n.lastRow >= best->lastRow))
            best = &n;
    }
    if (!best)
        return std::nullopt;
    return buildBand(*best);
}

TOneBandValue TCustomXlsReport::Run_::parsePart(std::u16string_view text, const CellVariant& asRead,
                                                const TXlsCellValue&, int, int)
{
    TOneBandValue part;
    part.text = std::u16string(text);
    if (startsWith(text, FieldMark)) {
        std::u16string_view rest = text.substr(2);
        const auto sep = rest.find(FieldMark);
        const std::u16string_view dsName = rest.substr(0, sep);
        std::u16string_view fieldName;
        if (sep != std::u16string_view::npos) {
            fieldName = rest.substr(sep + 2);
            fieldName = fieldName.substr(0, fieldName.find(FieldMark));
        }
        IXlsDataSet* ds = r_.DataModule ? r_.DataModule->findDataSet(dsName) : nullptr;
        if (!ds)
            throw ReportError(formatMessage(msg::DataSetNotFound, utf8(dsName).c_str()));
        part.dataSet = ds;
        if (fieldName == u"*") {
            part.kind = TOneBandValue::Kind::WholeDataSet;
            return part;
        }
        openDataSet(*ds);
        IXlsField* field = nullptr;
        if (r_.UseDisplayNames) {
            for (int i = 0; i < ds->fieldCount() && !field; ++i)
                if (equalNoCase(ds->field(i).displayName(), fieldName))
                    field = &ds->field(i);
        } else {
            field = &ds->fieldByName(fieldName);
        }
        if (!field || (!field->visible() && !r_.UseHiddenFields))
            throw ReportError(formatMessage(msg::FieldNotFound, utf8(fieldName).c_str()));
        part.kind = TOneBandValue::Kind::Field;
        part.field = field;
        return part;
    }
    if (startsWith(text, PropertyMark)) {
        std::u16string_view rest = text.substr(2);
        const auto sep = rest.find(PropertyMark);
        const std::u16string_view name = rest.substr(0, sep);
        part.name = std::u16string(name);
        while (sep != std::u16string_view::npos) {
            rest.remove_prefix(rest.find(PropertyMark) + 2);
            const auto next = rest.find(PropertyMark);
            const std::string digits = utf8(rest.substr(0, next));
            part.indexPath.push_back(static_cast<int>(std::strtol(digits.c_str(), nullptr, 10)));
            if (next == std::u16string_view::npos)
                break;
        }
        for (const auto& [key, value] : r_.Values) {
            if (equalNoCase(key, name)) {
                part.kind = TOneBandValue::Kind::ValuesList;
                part.literal = value;
                return part;
            }
        }
        if (r_.DataModule && r_.DataModule->findProperty(name))
            part.kind = TOneBandValue::Kind::Property;
        else if (r_.DataModule && r_.DataModule->findMethod(name))
            part.kind = TOneBandValue::Kind::Method;
        else
            throw ReportError(formatMessage(msg::PropertyNotPublished, utf8(name).c_str()));
        return part;
    }
    part.kind = TOneBandValue::Kind::Literal;
    part.literal = asRead;
    return part;
}

// Runs of a shared-string cell: the stored form is count, flags (bit 3 runs, bit 2
// extension), [run count], [extension size], characters, then 4-byte runs.
TCustomXlsReport::Run_::Runs TCustomXlsReport::Run_::runsOf(const TCellRecord& cell)
{
    Runs runs;
    const auto* label = dynamic_cast<const TLabelSSTRecord*>(&cell);
    if (!label || !label->sst())
        return runs;
    const ByteSpan f = label->sst()->storedForm(label->entry());
    if (f.size() < 3 || !(f[2] & 0x08))
        return runs;
    const std::size_t chars = getU16(f.data());
    std::size_t at = 3;
    const std::size_t count = at + 2 <= f.size() ? getU16(f.data() + at) : 0;
    at += 2;
    if (f[2] & 0x04)
        at += 4;
    at += chars * ((f[2] & 0x01) ? 2 : 1);
    for (std::size_t i = 0; i < count && at + 4 <= f.size(); ++i, at += 4)
        runs.emplace_back(getU16(f.data() + at), getU16(f.data() + at + 2));
    return runs;
}

std::vector<TOneBandValue> TCustomXlsReport::Run_::parseCell(const TXlsCellValue& cell, int row, int col, const Runs& runs)
{
    std::vector<TOneBandValue> parts;
    // A literal part keeps the runs that fall inside it, counted from its start; the
    // run in effect at its first character starts it.
    std::size_t consumed = 0;
    auto keepRuns = [&](TOneBandValue& part, std::size_t start, std::size_t length) {
        if (part.kind != TOneBandValue::Kind::Literal)
            return;
        std::optional<std::uint16_t> inEffect;
        for (const auto& [at, font] : runs) {
            if (at <= start)
                inEffect = font;
            else if (at < start + length)
                part.runs.emplace_back(static_cast<std::uint16_t>(at - start), font);
        }
        if (inEffect && !part.runs.empty() && part.runs.front().first == 0)
            inEffect.reset();
        if (inEffect)
            part.runs.insert(part.runs.begin(), {0, *inEffect});
    };
    const auto* textValue = std::get_if<std::u16string>(&cell.value);
    if (!textValue) {
        TOneBandValue literal;
        literal.literal = cell.value;
        parts.push_back(std::move(literal));
        return parts;
    }
    std::u16string_view t = *textValue;
    for (;;) {
        const auto a = t.find(u"<##");
        const auto b = t.find(u"<#.");
        const auto tag = std::min(a, b);
        if (tag == std::u16string_view::npos) {
            if (parts.empty())
                parts.push_back(parsePart(t, cell.value, cell, row, col));
            else if (!t.empty())
                parts.push_back(parsePart(u"", std::u16string(t), cell, row, col));
            if (!t.empty())
                keepRuns(parts.back(), consumed, t.size());
            return parts;
        }
        if (tag > 0) {
            parts.push_back(parsePart(u"", std::u16string(t.substr(0, tag)), cell, row, col));
            keepRuns(parts.back(), consumed, tag);
            consumed += tag;
            t.remove_prefix(tag);
            continue;
        }
        const auto close = t.find(u'>');
        if (close == std::u16string_view::npos)
            throw ReportError(formatMessage(msg::InvalidFieldCell, row + 1, col + 1, sheetNumber_,
                                            utf8(*textValue).c_str()));
        const std::u16string_view inner = t.substr(1, close - 1);
        parts.push_back(parsePart(inner, std::u16string(inner), cell, row, col));
        consumed += close + 1;
        t.remove_prefix(close + 1);
        if (t.empty())
            return parts;
    }
}

void TCustomXlsReport::Run_::parseCells(const TExcelBand& main)
{
    cells_.clear();
    const TCells& cells = sheet().cells;
    for (int r = main.firstRow - 1; r <= main.lastRow - 1; ++r) {
        const TCells::Row* row = cells.row(r);
        if (!row)
            continue;
        for (const auto& cell : *row) {
            if (cell->col() < main.firstCol || cell->col() > main.lastCol || cell->isFormula())
                continue;
            TBandValue v;
            v.row = r;
            v.col = cell->col();
            v.xf = cell->xf();
            v.parts = parseCell(cell->cellValue(), r, cell->col(), runsOf(*cell));
            cells_[r].push_back(std::move(v));
        }
    }
}

CellVariant TCustomXlsReport::Run_::propertyValue(const TOneBandValue& part)
{
    const std::string name = utf8(part.name);
    PublishedValue value;
    try {
        value = (*r_.DataModule->findProperty(part.name))();
    } catch (const std::exception&) {
        throw ReportError(formatMessage(msg::PropertyNotVariant, name.c_str()));
    }
    if (auto* date = std::get_if<PublishedDate>(&value))
        value = CellVariant(date->days);
    if (auto* scalar = std::get_if<CellVariant>(&value)) {
        if (!part.indexPath.empty())
            throw ReportError(formatMessage(msg::PropertyDimensions, name.c_str(), 0));
        return *scalar;
    }
    const VariantArray& array = std::get<VariantArray>(value);
    const int dims = static_cast<int>(array.bounds.size());
    if (static_cast<int>(part.indexPath.size()) > dims)
        throw ReportError(formatMessage(msg::PropertyDimensions, name.c_str(), dims));
    if (static_cast<int>(part.indexPath.size()) < dims)
        throw ReportError(formatMessage(msg::PropertyNotVariant, name.c_str()));
    std::size_t flat = 0;
    for (int d = 0; d < dims; ++d) {
        const auto [lo, hi] = array.bounds[d];
        const int i = part.indexPath[d];
        if (i < lo || i > hi)
            throw ReportError(formatMessage(msg::PropertyIndexRange, i, name.c_str(), lo, hi));
        flat = flat * static_cast<std::size_t>(hi - lo + 1) + static_cast<std::size_t>(i - lo);
    }
    if (flat >= array.values.size())
        throw ReportError(formatMessage(msg::PropertyNotVariant, name.c_str()));
    return array.values[flat];
}

CellVariant TCustomXlsReport::Run_::evaluate(const TOneBandValue& part, int row, int col)
{
    switch (part.kind) {
    case TOneBandValue::Kind::Literal:
    case TOneBandValue::Kind::ValuesList: return part.literal;
    case TOneBandValue::Kind::Property: return propertyValue(part);
    case TOneBandValue::Kind::Method: return (*r_.DataModule->findMethod(part.name))(part.indexPath);
    case TOneBandValue::Kind::WholeDataSet:
        wholeTables_.push_back({row, col, 0, part.dataSet->name()});
        return {};
    case TOneBandValue::Kind::Field: {
        if (part.dataSet->eof())
            return {};
        const IXlsField& f = *part.field;
        if (f.isDateTime()) {
            const CellVariant v = f.value();
            return isEmpty(v) ? CellVariant{} : CellVariant(f.asFloat());
        }
        if (f.isMemo()) {
            CellVariant v = f.value();
            if (auto* s = std::get_if<std::u16string>(&v))
                s->erase(std::remove(s->begin(), s->end(), u'\r'), s->end());
            return v;
        }
        return f.value();
    }
    }
    return {};
}

// The value of a cell's parts; several are joined as texts. `runs` receives the
// rich-text runs of the literal parts at their places in the joined text, with the
// cell's own font (`xf`'s) put back where an evaluated part follows a run.
CellVariant TCustomXlsReport::Run_::evaluateParts(const std::vector<TOneBandValue>& parts, int row, int col,
                                                  Runs* runs, int xf)
{
    auto value = [&](const TOneBandValue& part) {
        CellVariant v = evaluate(part, row, col);
        if (r_.OnGetCellValueX)
            r_.OnGetCellValueX(sheetNumber_, row, col, part, v);
        return v;
    };
    if (parts.size() == 1) {
        if (runs)
            *runs = parts.front().runs;
        return value(parts.front());
    }
    std::u16string joined;
    for (const auto& part : parts) {
        const std::size_t at = joined.size();
        joined += variantToText(value(part));
        if (!runs || at >= joined.size())
            continue;
        if (!part.runs.empty()) {
            for (const auto& [first, font] : part.runs)
                runs->emplace_back(static_cast<std::uint16_t>(at + first), font);
        } else if (!runs->empty()) {
            const auto& xfs = file_.workbook().globals().xfs;
            const std::uint16_t font = xf >= 0 && static_cast<std::size_t>(xf) < xfs.size() && xfs[xf]->bodySize() >= 2
                                           ? getU16(xfs[xf]->body().data())
                                           : 0;
            runs->emplace_back(static_cast<std::uint16_t>(at), font);
        }
    }
    return joined;
}

// A text cell with rich-text runs: the shared string gets the runs (those past the text
// dropped), and the cell is bound to it.
void TCustomXlsReport::Run_::writeText(int row, int col, const std::u16string& text, const Runs& runs, int xf)
{
    TWorkSheet& ws = sheet();
    TSST& sst = file_.workbook().sst();
    setCellValue(ws, sst, row, col, text, xf);
    Runs kept;
    for (const auto& run : runs)
        if (run.first < text.size() && (kept.empty() || run.first > kept.back().first))
            kept.push_back(run);
    auto* cell = dynamic_cast<TLabelSSTRecord*>(ws.cells.cell(row, col));
    if (kept.empty() || !cell)
        return;
    std::vector<std::uint8_t> stored(5);
    putU16(stored.data(), static_cast<std::uint16_t>(text.size()));
    stored[2] = 0x01 | 0x08; // 16-bit characters, runs
    putU16(stored.data() + 3, static_cast<std::uint16_t>(kept.size()));
    for (char16_t c : text) {
        stored.push_back(static_cast<std::uint8_t>(c));
        stored.push_back(static_cast<std::uint8_t>(c >> 8));
    }
    for (const auto& [first, font] : kept) {
        std::uint8_t r[4];
        putU16(r, first);
        putU16(r + 2, font);
        stored.insert(stored.end(), r, r + 4);
    }
    const std::uint32_t entry = sst.addString(ByteSpan(stored.data(), stored.size()));
    const ByteSpan body = cell->body();
    auto rich = std::make_unique<TLabelSSTRecord>(rid::LabelSst, body);
    rich->bind(sst, entry);
    sst.release(entry);
    ws.cells.insert(std::move(rich));
}

void TCustomXlsReport::Run_::writeRow(int templateRow, int row)
{
    if (taggedNotes_ || taggedPictures_)
        evaluateDrawings(row);
    auto it = cells_.find(templateRow);
    if (it == cells_.end())
        return;
    TWorkSheet& ws = sheet();
    TSST& sst = file_.workbook().sst();
    // The row's values are all taken before any is written, so that a row handler sees
    // (and may change) them together.
    struct Pending {
        const TBandValue* cell;
        Runs runs;
    };
    std::vector<Pending> pending;
    std::vector<std::pair<int, CellVariant>> values;
    for (const TBandValue& cell : it->second) {
        const std::size_t tables = wholeTables_.size();
        Runs runs;
        CellVariant value = evaluateParts(cell.parts, row, cell.col, &runs, cell.xf);
        if (wholeTables_.size() != tables) {
            // The tag cell is emptied; the table's header takes its place after the fill.
            wholeTables_.back().xf = cell.xf;
            setCellValue(ws, sst, row, cell.col, CellVariant{}, cell.xf);
            continue;
        }
        if (r_.OnGetCellValue)
            r_.OnGetCellValue(sheetNumber_, row, cell.col, value);
        pending.push_back({&cell, std::move(runs)});
        values.emplace_back(cell.col, std::move(value));
    }
    if (r_.OnGetCellValueXRow)
        r_.OnGetCellValueXRow(sheetNumber_, row, templateRow, values);
    for (std::size_t i = 0; i < pending.size() && i < values.size(); ++i) {
        const TBandValue& cell = *pending[i].cell;
        const CellVariant& value = values[i].second;
        const auto* text = std::get_if<std::u16string>(&value);
        if (text && !pending[i].runs.empty())
            writeText(row, cell.col, *text, pending[i].runs, cell.xf);
        else
            setCellValue(ws, sst, row, cell.col, value, cell.xf);
    }
}

namespace {

bool hasTag(std::u16string_view t)
{
    return t.substr(0, 2) == u"##" || t.substr(0, 2) == u"#." || t.find(u"<##") != std::u16string_view::npos ||
           t.find(u"<#.") != std::u16string_view::npos;
}

// The picture type a name ends with: after its last "##" or "#.", "JPEG" without either.
std::optional<BlipType> pictureType(std::u16string_view name, std::u16string& suffix)
{
    const auto a = name.rfind(u"##"), b = name.rfind(u"#.");
    const auto at = a == std::u16string_view::npos ? b : (b == std::u16string_view::npos ? a : std::max(a, b));
    suffix = at == std::u16string_view::npos ? u"JPEG" : std::u16string(name.substr(at + 2));
    if (equalNoCase(suffix, u"WMF")) return BlipType::WMF;
    if (equalNoCase(suffix, u"EMF")) return BlipType::EMF;
    if (equalNoCase(suffix, u"PNG")) return BlipType::PNG;
    if (equalNoCase(suffix, u"JPEG")) return BlipType::JPEG;
    return std::nullopt;
}

} // namespace

// Which notes and pictures of the sheet name tags, found once before the fill.
void TCustomXlsReport::Run_::prepareDrawings()
{
    taggedNotes_ = taggedPictures_ = false;
    pictures_.clear();
    picturesStale_ = true;
    emptiedNotes_.clear();
    newPictures_.clear();
    for (std::size_t i = 0; i < sheet().notes.size() && !taggedNotes_; ++i)
        if (auto t = noteText(sheet(), i))
            taggedNotes_ = hasTag(*t);
    for (const PictureShape& p : pictures(sheet()))
        taggedPictures_ = taggedPictures_ || hasTag(p.name);
}

void TCustomXlsReport::Run_::evaluateDrawings(int row)
{
    TWorkSheet& ws = sheet();
    if (taggedNotes_) {
        auto first = std::lower_bound(ws.notes.begin(), ws.notes.end(), row,
                                      [](const TNote& n, int r) { return n.row() < r; });
        for (auto n = first; n != ws.notes.end() && n->row() == row; ++n) {
            const std::size_t index = static_cast<std::size_t>(n - ws.notes.begin());
            const auto text = noteText(ws, index);
            if (!text || !hasTag(*text))
                continue;
            const int col = n->record->bodySize() >= 4 ? getU16(n->record->body().data() + 2) : 0;
            TXlsCellValue asCell;
            asCell.value = *text;
            const auto parts = parseCell(asCell, row, col);
            const std::u16string result = variantToText(evaluateParts(parts, row, col, nullptr, -1));
            if (result == *text)
                continue;
            if (result.empty())
                emptiedNotes_.push_back(n->record.get());
            else
                setNoteText(ws, index, result);
        }
    }
    if (taggedPictures_) {
        if (picturesStale_) {
            pictures_ = pictures(ws);
            picturesStale_ = false;
        }
        for (const PictureShape& p : pictures_) {
            if (p.topRow != row || !hasTag(p.name))
                continue;
            TXlsCellValue asCell;
            asCell.value = p.name;
            const auto parts = parseCell(asCell, row, 0);
            const std::u16string result = variantToText(evaluateParts(parts, row, 0, nullptr, -1));
            if (result == p.name || (result.empty() && !r_.KeepEmptyPictures))
                continue;
            std::u16string suffix;
            const auto type = pictureType(p.name, suffix);
            if (!type)
                throw ReportError(formatMessage(msg::DrawingTypeInvalid, utf8(suffix).c_str()));
            // A picture value is its bytes, one per character, as a binary field reads.
            std::vector<std::uint8_t> data(result.begin(), result.end());
            newPictures_.push_back({p.shape, *type, std::move(data)});
        }
    }
}

void TCustomXlsReport::Run_::finishDrawings()
{
    TWorkSheet& ws = sheet();
    if (!emptiedNotes_.empty()) {
        std::vector<std::size_t> gone;
        for (std::size_t i = 0; i < ws.notes.size(); ++i)
            if (std::find(emptiedNotes_.begin(), emptiedNotes_.end(), ws.notes[i].record.get()) != emptiedNotes_.end())
                gone.push_back(i);
        removeNotes(ws, std::move(gone));
    }
    replacePictures(file_.workbook(), ws, newPictures_);
    emptiedNotes_.clear();
    newPictures_.clear();
}

int TCustomXlsReport::Run_::fillBand(const TExcelBand& band, int base)
{
    int n = r_.DeleteEmptyRows ? 0 : 1;
    if (band.dataSets.empty())
        n = 1;
    for (IXlsDataSet* ds : band.dataSets) {
        if (!ds) {
            n = std::max(n, 1);
            continue;
        }
        openDataSet(*ds);
        n = std::max(n, r_.recordCount(*ds));
        ds->first();
    }
    const int height = band.lastRow - band.firstRow + 1;
    const bool insert = r_.ReportModeRows == TXlsReportMode::frm_FullCopyAndInsert;
    // Pictures are found by their place among the shapes, which a row copy changes.
    if (!newPictures_.empty() && insert && (n == 0 || n >= 2)) {
        replacePictures(file_.workbook(), sheet(), newPictures_);
        newPictures_.clear();
    }
    if (n == 0) {
        if (!insert)
            return height;
        deleteRows(file_.workbook(), sheetIndex_, base, base + height - 1);
        picturesStale_ = true;
        return 0;
    }
    if (n >= 2 && insert) {
        insertAndCopyRows(file_.workbook(), sheetIndex_, base, base + height - 1, n - 1);
        picturesStale_ = true;
    }

    int r = base;
    for (int record = 0; record < n; ++record) {
        std::size_t child = 0;
        for (int t = band.firstRow; t <= band.lastRow;) {
            if (child < band.children.size() && band.children[child].firstRow == t) {
                r += fillBand(band.children[child], r);
                t = band.children[child].lastRow + 1;
                ++child;
                continue;
            }
            writeRow(t - 1, r);
            ++r;
            ++t;
        }
        if (band.dataSets.empty())
            break;
        for (IXlsDataSet* ds : band.dataSets)
            if (ds && !ds->eof())
                ds->next();
        ++r_.progress_;
        if (r_.OnProgress && r_.progress_ % ProgressStep == 0) {
            bool cancel = false;
            r_.OnProgress(r_.progress_, cancel);
            if (cancel)
                throw Cancelled{};
        }
    }
    return r - base;
}

std::u16string TCustomXlsReport::Run_::dateTimeFormat() const
{
    const bool blank = std::all_of(r_.DateTimeFormat.begin(), r_.DateTimeFormat.end(), [](char16_t c) { return c == u' '; });
    return blank ? std::u16string(u"mm/dd/yyyy hh:mm") : r_.DateTimeFormat;
}

// A cell format like `xf` whose number format is the date-time format: a FORMAT record
// with the next free user index (164 on) and a copy of the XF pointing at it.
int TCustomXlsReport::Run_::deriveDateXF(int xf)
{
    if (auto it = dateXFs_.find(xf); it != dateXFs_.end())
        return it->second;
    TWorkbookGlobals& g = file_.workbook().globals();
    if (xf < 0 || static_cast<std::size_t>(xf) >= g.xfs.size())
        xf = DefaultCellXF < g.xfs.size() ? DefaultCellXF : 0;
    if (g.xfs.empty())
        return xf;
    // FORMAT: index, then the code as a string with a 16-bit count.
    std::uint16_t index = 164;
    for (const auto& f : g.formats)
        if (f->bodySize() >= 2)
            index = std::max<std::uint16_t>(index, static_cast<std::uint16_t>(getU16(f->body().data()) + 1));
    const std::u16string code = dateTimeFormat();
    std::vector<std::uint8_t> body(5 + 2 * code.size());
    putU16(body.data(), index);
    putU16(body.data() + 2, static_cast<std::uint16_t>(code.size()));
    body[4] = 0x01;
    for (std::size_t i = 0; i < code.size(); ++i)
        putU16(body.data() + 5 + 2 * i, code[i]);
    g.formats.push_back(std::make_unique<TFormatRecord>(rid::Format, ByteSpan(body.data(), body.size())));
    // XF: font, number format index at offset 2.
    auto copy = g.xfs[static_cast<std::size_t>(xf)]->clone();
    if (copy->bodySize() >= 4)
        putU16(copy->mutableBody().data() + 2, index);
    g.xfs.push_back(std::move(copy));
    const int made = static_cast<int>(g.xfs.size() - 1);
    dateXFs_[xf] = made;
    return made;
}

void TCustomXlsReport::Run_::expandWholeTables()
{
    // Bottom up, so that a table's rows do not move the positions still to expand.
    std::stable_sort(wholeTables_.begin(), wholeTables_.end(),
                     [](const WholeTable& a, const WholeTable& b) { return a.row > b.row; });
    TSST& sst = file_.workbook().sst();
    if (!wholeTables_.empty())
        prepareDrawings();
    for (const WholeTable& table : wholeTables_) {
        IXlsDataSet* ds = r_.DataModule ? r_.DataModule->findDataSet(table.name) : nullptr;
        if (!ds)
            throw ReportError(formatMessage(msg::DataSetNotFound, utf8(table.name).c_str()));
        openDataSet(*ds);
        std::vector<IXlsField*> fields;
        for (int i = 0; i < ds->fieldCount(); ++i)
            if (r_.UseHiddenFields || ds->field(i).visible())
                fields.push_back(&ds->field(i));
        const int n = r_.recordCount(*ds);
        for (std::size_t j = 0; j < fields.size(); ++j)
            setCellValue(sheet(), sst, table.row, table.col + static_cast<int>(j), fields[j]->displayName(), table.xf);
        const int dataRow = table.row + 1;
        if (n == 0) {
            deleteRows(file_.workbook(), sheetIndex_, dataRow, dataRow);
            continue;
        }
        if (n >= 2) {
            insertAndCopyRows(file_.workbook(), sheetIndex_, dataRow, dataRow, n - 1);
            picturesStale_ = true;
        }
        std::vector<int> formats;
        for (std::size_t j = 0; j < fields.size(); ++j) {
            const TCellRecord* c = sheet().cells.cell(dataRow, table.col + static_cast<int>(j));
            formats.push_back(c ? c->xf() : -1);
        }
        int r = dataRow;
        for (ds->first(); !ds->eof(); ds->next(), ++r) {
            for (std::size_t j = 0; j < fields.size(); ++j) {
                const IXlsField& f = *fields[j];
                CellVariant v = f.value();
                int xf = formats[j];
                if (f.isDateTime() && !isEmpty(v)) {
                    v = f.asFloat();
                    xf = deriveDateXF(xf);
                } else if (f.isMemo()) {
                    if (auto* s = std::get_if<std::u16string>(&v))
                        s->erase(std::remove(s->begin(), s->end(), u'\r'), s->end());
                }
                setCellValue(sheet(), sst, r, table.col + static_cast<int>(j), v, xf);
            }
            // The notes of the record's row (copies of the template row's) name this record.
            if (taggedNotes_ || taggedPictures_)
                evaluateDrawings(r);
        }
        finishDrawings();
    }
    wholeTables_.clear();
}

void TCustomXlsReport::Run_::applyMarkers()
{
    auto textAt = [&](int r) -> const std::u16string* {
        const TCellRecord* c = sheet().cells.cell(r, 0);
        if (!c)
            return nullptr;
        static thread_local CellVariant held;
        held = c->value();
        return std::get_if<std::u16string>(&held);
    };
    for (int r = sheet().cells.rowCount() - 1; r >= 0; --r) {
        const std::u16string* t = textAt(r);
        if (!t || *t != DeleteRowMarker)
            continue;
        try {
            deleteRows(file_.workbook(), sheetIndex_, r, r);
        } catch (const std::exception&) {
            // As specified: a row that cannot be deleted is left, and the next is tried.
        }
    }
    for (int r = sheet().cells.rowCount() - 1; r >= 0; --r) {
        const std::u16string* t = textAt(r);
        if (!t || *t != PageBreakMarker)
            continue;
        const int xf = sheet().cells.cell(r, 0)->xf();
        setCellValue(sheet(), file_.workbook().sst(), r, 0, CellVariant{}, xf);
        addPageBreak(sheet(), r);
    }
}

void TCustomXlsReport::Run_::generateSheet(int sheetNumber)
{
    sheetNumber_ = sheetNumber;
    sheetIndex_ = static_cast<std::size_t>(sheetNumber - 1);
    names_ = bandNames(file_.workbook());
    auto main = findBand(1, MaxRows - 1, 1, MaxRows - 1);
    if (!main)
        return;
    file_.columnOffset = main->firstCol;
    file_.lastColumn = main->lastCol;
    parseCells(*main);
    prepareDrawings();
    fillBand(*main, main->firstRow - 1);
    finishDrawings();
    expandWholeTables();
    applyMarkers();
}

void TCustomXlsReport::Run()
{
    progress_ = 0;
    if (!Adapter)
        throw ReportError(msg::NoAdapter);
    std::unique_ptr<TXLSFile> file = Adapter->createFile();
    Run_ run(*this, *file);
    try {
        file->connect();
        file->openFile(Template);
        if (OnBeforeGenerateWorkbook)
            OnBeforeGenerateWorkbook();
        const int sheets = file->sheetCount();
        for (int i = 1; i <= sheets; ++i) {
            if (OnBeforeGeneratePage)
                OnBeforeGeneratePage(i);
            // A sheet name whose sheet stream the file lacks has no cells to fill.
            const auto& loaded = file->workbook().sheets();
            if (static_cast<std::size_t>(i) > loaded.size()
                || !dynamic_cast<TWorkSheet*>(loaded[static_cast<std::size_t>(i - 1)].get()))
                continue;
            file->setActiveSheet(i);
            run.generateSheet(i);
            if (OnAfterGeneratePage)
                OnAfterGeneratePage(i);
        }
        run.closeOpened(false);
        file->setActiveSheet(1);
        if (OnAfterGenerateWorkbook)
            OnAfterGenerateWorkbook();
        SaveTarget target;
        target.path = FileName;
        target.OnGetOutStream = OnGetOutStream;
        target.OnGetFilename = OnGetFilename;
        saveFile(*file, target);
        // AutoClose: the file adapter's close has nothing to do.
        file->disconnect();
    } catch (const Cancelled&) {
        run.closeOpened(true);
        file->disconnect();
    } catch (...) {
        run.closeOpened(true);
        file->disconnect();
        throw;
    }
}

} // namespace quorvane::xls
