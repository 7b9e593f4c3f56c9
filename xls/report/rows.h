#pragma once
// Inserting copies of rows into a worksheet and deleting rows, with everything that
// names a row kept pointing at the same content: cell and row records, formulas of
// every sheet, defined names, merged ranges, conditional formats, notes, hyperlinks,
// drawing anchors and horizontal page breaks.
#include "xls/workbook.h"

namespace quorvane::xls {

/// Puts `copies` copies of rows [first, last] (0-based, of the 0-based worksheet
/// `sheet`) directly below them, moving what was below down by copies × (last - first
/// + 1) rows. A copy receives the ROW records and the formula cells of the rows (their
/// relative row references moved by the distance copied), and the merged ranges,
/// conditional-format ranges and hyperlinks that lie inside them. Other cells are not
/// copied: the template filler writes them. A reference elsewhere to a range that
/// covers all the rows grows with them.
/// Fails with "Ivalid arguments to call InsertAndCopyRows" when the copies or anything
/// moved would leave the sheet's 65536 rows; nothing is changed then.
void insertAndCopyRows(TWorkbook& book, std::size_t sheet, int first, int last, int copies);

/// Deletes rows [first, last] and moves the rows below up. References to deleted cells
/// become reference errors; ranges that lose only some of their rows shrink.
void deleteRows(TWorkbook& book, std::size_t sheet, int first, int last);

/// Adds a horizontal page break before `row` over columns 0 to 255; breaks stay sorted
/// by row without duplicates. Fails with "Too many manual Page breaks for this sheet"
/// when the sheet already holds more than 1025.
void addPageBreak(TWorkSheet& sheet, int row);

/// Rows before which the sheet has a horizontal page break, ascending.
std::vector<int> pageBreakRows(const TWorkSheet& sheet);

} // namespace quorvane::xls
