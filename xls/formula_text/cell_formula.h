#pragma once
// A typed formula stored into a cell of a sheet in memory, as the grid's editor and the
// tests that have other programs calculate our formulas both need it.
#include "xls/workbook.h"

#include <string_view>

namespace quorvane::xls::formula {

/// Parses `text` and makes cell (row, col) of `ws` (0-based) a FORMULA record with XF
/// `xf` and those tokens, with no cached result and marked for calculation. Fails with
/// FormulaTextError, leaving the cell as it was, when the text is no formula.
void setCellFormula(TWorkbook& wb, TWorkSheet& ws, int row, int col, std::u16string_view text, int xf);

} // namespace quorvane::xls::formula
