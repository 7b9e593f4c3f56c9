#include "xls/write/cells.h"

#include "xls/errors.h"
#include "xls/excelstring.h"
#include "xls/messages.h"
#include "xls/write/messages.h"

#include <bit>
#include <cmath>

namespace quorvane::xls {

namespace {

// ROW record: options at offset 12 (outline level 0x07, collapsed 0x10, hidden 0x20,
// custom height 0x40, default format 0x80), default XF in the 12 low bits at offset 14.
constexpr std::size_t RowOptionsAt = 12;
constexpr std::uint8_t RowHasDefaultFormat = 0x80;
constexpr std::uint8_t RowOwnFormatting = 0xF7;
// COLINFO: first column at 0, last column at 2, XF at 6.
constexpr std::size_t ColInfoXFAt = 6;

// The XF of `row` when its ROW record gives the row a default format.
std::optional<std::uint16_t> rowFormat(const TRowRecord* r)
{
    if (!r || r->bodySize() < 16 || !(r->body()[RowOptionsAt] & RowHasDefaultFormat))
        return std::nullopt;
    return static_cast<std::uint16_t>(getU16(r->body().data() + 14) & 0x0FFF);
}

std::unique_ptr<TCellRecord> makeCell(std::uint16_t id, int row, int col, std::uint16_t xf, std::size_t size)
{
    std::uint8_t b[14] = {};
    putU16(b, static_cast<std::uint16_t>(row));
    putU16(b + 2, static_cast<std::uint16_t>(col));
    putU16(b + 4, xf);
    const ByteSpan body(b, size);
    switch (id) {
    case rid::Blank: return std::make_unique<TBlankRecord>(id, body);
    case rid::Rk: return std::make_unique<TRKRecord>(id, body);
    case rid::Number: return std::make_unique<TNumberRecord>(id, body);
    case rid::BoolErr: return std::make_unique<TBoolErrRecord>(id, body);
    default: return std::make_unique<TLabelSSTRecord>(id, body);
    }
}

// Puts the cell in its row and widens the row's ROW record to include it.
void placeCell(TWorkSheet& sheet, std::unique_ptr<TCellRecord> cell)
{
    const int row = cell->row();
    const int col = cell->col();
    sheet.cells.insert(std::move(cell));
    if (TRowRecord* r = sheet.cells.mutableRowRecord(row)) {
        if (r->firstCol() > col || r->firstCol() >= r->lastColPlus1())
            putU16(r->mutableBody().data() + 2, static_cast<std::uint16_t>(col));
        if (r->lastColPlus1() < col + 1)
            putU16(r->mutableBody().data() + 4, static_cast<std::uint16_t>(col + 1));
    } else {
        sheet.cells.addRowRecord(TRowRecord::create(static_cast<std::uint16_t>(row), static_cast<std::uint16_t>(col),
                                                    static_cast<std::uint16_t>(col + 1), sheet.defaultRowHeight));
    }
}

// A text as BIFF8 stores it with a 2-byte count: 8-bit when every character is below 256.
std::vector<std::uint8_t> storedText(const std::u16string& text)
{
    return TExcelString::fromText(text).storedForm();
}

} // namespace

std::optional<std::uint32_t> encodeRK(double x) noexcept
{
    const auto candidate = [](double x) -> std::optional<std::uint32_t> {
        for (int scaled = 0; scaled < 2; ++scaled) {
            const double y = scaled ? x * 100.0 : x;
            const auto bits = std::bit_cast<std::uint64_t>(y);
            const auto high = static_cast<std::uint32_t>(bits >> 32);
            if (static_cast<std::uint32_t>(bits) == 0 && (high & 0x3) == 0)
                return high | static_cast<std::uint32_t>(scaled);
            if (y == std::floor(y) && y >= -536870912.0 && y <= 536870911.0) {
                const auto n = static_cast<std::int32_t>(y);
                return (static_cast<std::uint32_t>(n) << 2) | 0x2u | static_cast<std::uint32_t>(scaled);
            }
        }
        return std::nullopt;
    };
    // x * 100 is rounded: 0.45999999999999996 * 100 gives exactly 46, which would
    // read back as 0.46. A form is used only when it reads back as x, bit for bit.
    const std::optional<std::uint32_t> rk = candidate(x);
    if (rk && std::bit_cast<std::uint64_t>(decodeRK(*rk)) == std::bit_cast<std::uint64_t>(x))
        return rk;
    return std::nullopt;
}

std::uint16_t defaultFormat(const TWorkSheet& sheet, int row, int col)
{
    if (auto xf = rowFormat(sheet.cells.rowRecord(row)))
        return *xf;
    for (const auto& rec : sheet.colInfos) {
        const ByteSpan b = rec->body();
        if (b.size() < ColInfoXFAt + 2)
            continue;
        if (col >= getU16(b.data()) && col <= getU16(b.data() + 2))
            return getU16(b.data() + ColInfoXFAt);
    }
    return DefaultCellXF;
}

void removeCell(TWorkSheet& sheet, int row, int col)
{
    TCells& cells = sheet.cells;
    if (!cells.cell(row, col))
        return;
    cells.remove(row, col);
    const TCells::Row* cellsOfRow = cells.row(row);
    if (cellsOfRow && cellsOfRow->empty()) {
        const TRowRecord* r = cells.rowRecord(row);
        if (r && !(r->bodySize() > RowOptionsAt && (r->body()[RowOptionsAt] & RowOwnFormatting)))
            cells.removeRowRecord(row);
    }
    cells.dropEmptyTrailingRows();
}

void setCellValue(TWorkSheet& sheet, TSST& sst, int row, int col, const CellVariant& value, int xf)
{
    if (row < 0 || row >= MaxRows)
        throw QueryError(formatMessage(msg::InvalidRow, row + 1));
    if (col < 0 || col >= MaxColumns)
        throw QueryError(formatMessage(msg::InvalidColumn, col + 1));

    const std::uint16_t positionFormat = defaultFormat(sheet, row, col);
    std::uint16_t format = positionFormat;
    if (xf >= 0)
        format = static_cast<std::uint16_t>(xf);
    else if (const TCellRecord* old = sheet.cells.cell(row, col))
        format = old->xf();

    const auto* text = std::get_if<std::u16string>(&value);
    if (isEmpty(value) || (text && text->empty())) {
        if (format == positionFormat)
            removeCell(sheet, row, col);
        else
            placeCell(sheet, makeCell(rid::Blank, row, col, format, 6));
        return;
    }
    if (const auto* number = std::get_if<double>(&value)) {
        if (auto rk = encodeRK(*number)) {
            auto cell = makeCell(rid::Rk, row, col, format, 10);
            putU32(cell->mutableBody().data() + 6, *rk);
            placeCell(sheet, std::move(cell));
        } else {
            auto cell = makeCell(rid::Number, row, col, format, 14);
            putF64(cell->mutableBody().data() + 6, *number);
            placeCell(sheet, std::move(cell));
        }
        return;
    }
    if (text) {
        // Checked before anything changes: a longer text would wrap the 16-bit count.
        if (text->size() > MaxCellText)
            throw WriteError(formatNumber(msg::TextTooLong, static_cast<long long>(text->size())));
        const std::vector<std::uint8_t> stored = storedText(*text);
        // addString takes one reference and bind() another: the cell keeps one.
        const std::uint32_t entry = sst.addString(stored);
        auto cell = makeCell(rid::LabelSst, row, col, format, 10);
        static_cast<TLabelSSTRecord&>(*cell).bind(sst, entry);
        sst.release(entry);
        // Replacing the cell frees the old one, which gives back its own reference.
        placeCell(sheet, std::move(cell));
        return;
    }
    if (const auto* flag = std::get_if<bool>(&value)) {
        auto cell = makeCell(rid::BoolErr, row, col, format, 8);
        cell->mutableBody().data()[6] = *flag ? 1 : 0;
        placeCell(sheet, std::move(cell));
        return;
    }
    // Any other kind (an error value) stores nothing.
    removeCell(sheet, row, col);
}

} // namespace quorvane::xls
