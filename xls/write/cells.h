#pragma once
// Cell records as the writer makes them: the RK encoding, the records for a value, and
// setting or removing a cell of a worksheet with its ROW record and shared strings kept
// in step.
#include "xls/cellvalue.h"
#include "xls/workbook.h"

#include <cstdint>
#include <optional>

namespace quorvane::xls {

/// The most characters a cell's text may have.
inline constexpr std::size_t MaxCellText = 32767;

/// The XF a cell gets when nothing else gives one.
inline constexpr std::uint16_t DefaultCellXF = 15;

/// The RK value of `x`, or nothing when x needs a NUMBER record. Tries x, then x × 100:
/// a double whose low 34 bits are zero keeps its high 32 bits; a whole number in the
/// 30-bit signed range is stored as an integer. Bit 0 marks the × 100.
std::optional<std::uint32_t> encodeRK(double x) noexcept;

/// The format of the position when no XF is given and no cell is there: the row's XF
/// when its ROW record has a default format, else the XF of the COLINFO covering the
/// column, else 15. Row and column are 0-based.
std::uint16_t defaultFormat(const TWorkSheet& sheet, int row, int col);

/// Sets the cell at (row, col), 0-based, to `value`. `xf` of 0 or more is the cell's
/// format; -1 keeps the format of the cell already there, else the position's default.
/// Numbers become RK or NUMBER, texts LABELSST (entered in `sst` with reference
/// counting), booleans BOOLERR; an empty value or empty text becomes a BLANK when its
/// format differs from the default of the position and removes the cell otherwise; an
/// error value removes the cell. Fails with QueryError for a position off the sheet and
/// with WriteError for a text longer than MaxCellText, leaving the cell as it was.
void setCellValue(TWorkSheet& sheet, TSST& sst, int row, int col, const CellVariant& value, int xf = -1);

/// Removes the cell at (row, col), if any. A row left without cells loses its ROW record
/// unless that record carries formatting of its own, and rows emptied at the end of the
/// sheet are dropped.
void removeCell(TWorkSheet& sheet, int row, int col);

} // namespace quorvane::xls
