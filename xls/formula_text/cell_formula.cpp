#include "xls/formula_text/cell_formula.h"

#include "xls/formula_text/formula_text.h"
#include "xls/write/cells.h"

#include <algorithm>

namespace quorvane::xls::formula {

namespace {

// FORMULA: row, column, XF, cached result (8 bytes), option flags, chain (4 bytes),
// token length, tokens, extra data. The result is left as an empty value (0x03 at offset
// 6, 0xFFFF at offset 12): nothing here calculates, and bit 1 of the flags asks for
// calculation.
std::vector<std::uint8_t> formulaBody(int row, int col, std::uint16_t xf, const CompiledFormula& f)
{
    std::vector<std::uint8_t> b(22, 0);
    putU16(b.data(), static_cast<std::uint16_t>(row));
    putU16(b.data() + 2, static_cast<std::uint16_t>(col));
    putU16(b.data() + 4, xf);
    b[6] = 0x03;
    putU16(b.data() + 12, 0xFFFF);
    putU16(b.data() + 14, 0x0002);
    putU16(b.data() + 20, static_cast<std::uint16_t>(f.tokens.size()));
    b.insert(b.end(), f.tokens.begin(), f.tokens.end());
    b.insert(b.end(), f.extra.begin(), f.extra.end());
    return b;
}

// What one record body holds (BIFF8 records are at most 8224 bytes).
constexpr std::size_t MaxBody = 8224;

} // namespace

void setCellFormula(TWorkbook& wb, TWorkSheet& ws, int row, int col, std::u16string_view text, int xf)
{
    WorkbookSheets sheets(wb);
    const CompiledFormula f = compileFormula(text, &sheets);
    if (22 + f.tokens.size() + f.extra.size() > MaxBody)
        throw FormulaTextError("formula too long for its record");
    // A value first, so that the row and any shared string the cell held are kept in
    // step; then the formula record takes its place.
    setCellValue(ws, wb.sst(), row, col, 0.0, xf);
    const std::vector<std::uint8_t> body = formulaBody(row, col, static_cast<std::uint16_t>(xf), f);
    std::unique_ptr<TBaseRecord> rec = createRecord(rid::Formula, ByteSpan(body.data(), body.size()));
    auto* cell = dynamic_cast<TCellRecord*>(rec.get());
    if (!cell)
        throw FormulaTextError("no formula record made");
    rec.release();
    ws.cells.insert(std::unique_ptr<TCellRecord>(cell));
}

} // namespace quorvane::xls::formula
