#pragma once
// The cell dump of `quorvane-batch cells FILE [--sheet N]`.
#include <optional>
#include <ostream>
#include <string>
#include <string_view>

namespace quorvane::xls {

/// Writes, for each sheet (or sheet N, 1-based, only), a line "sheet\t<i>\t<name>" and
/// then one line per cell record in row and column order: "<row>\t<col>\t<kind>\t<value>",
/// 1-based, kind one of number, text, bool, error, blank. Numbers are written in the
/// shortest form that reads back exactly, booleans as TRUE/FALSE, a formula as its cached
/// value; tab, newline and backslash in texts and names are escaped as \t, \n, \\.
/// Output is UTF-8. A workbook the engine refuses throws its quorvane::Error, and a sheet
/// N outside the workbook throws "List index out of bounds (%d)" with N - 1; nothing is
/// written to `out` in either case.
void dumpCells(const std::string& path, std::optional<int> sheet, std::ostream& out);

/// A text as the dump writes it: UTF-8 with tab, newline and backslash as \t, \n, \\.
std::string escapedDumpText(std::u16string_view s);

} // namespace quorvane::xls
