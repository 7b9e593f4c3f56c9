#pragma once
// The cell dump of `quorvane-batch cells FILE --formatted`.
#include <optional>
#include <ostream>
#include <string>

namespace quorvane::xls::numfmt {

/// Writes what dumpCells() writes, with each cell's value replaced by its text as the
/// sheet grid draws it (through the number format of its XF, in the workbook's date
/// system, with "." and "," as separators), and for a formula cell a fifth field with
/// its formula text ("=SUM(A1:B2)"; "?" when its tokens have no text). Errors as
/// dumpCells(); nothing is written when the workbook is refused.
void dumpFormattedCells(const std::string& path, std::optional<int> sheet, std::ostream& out);

} // namespace quorvane::xls::numfmt
