#pragma once
// Writing the in-memory workbook back as a BIFF8 record stream. Each section writes its
// records in a fixed order; DIMENSIONS, ROW blocks, MULRK and MULBLANK runs, the shared
// string table, EXTSST and the BOUNDSHEET offsets are regenerated. Every saveToStream
// has a totalSize that runs the same code on a counting sink, so the two always agree.
//
// Sections lacking their BOF or EOF fail with "A section of the workbook is not loaded".
#include "xls/workbook.h"
#include "xls/write/sink.h"

#include <cstdint>
#include <vector>

namespace quorvane::xls {

/// Globals: BOF, the miscellaneous records (each list placeholder writes its whole XF,
/// FONT or FORMAT list), BOUNDSHEET records, SUPBOOK/EXTERNNAME and EXTERNSHEET, NAME
/// records, the drawing group, SST with CONTINUE and EXTSST, EOF.
void saveToStream(TWorkbookGlobals& globals, ByteSink& sink);
std::size_t totalSize(const TWorkbookGlobals& globals);

/// Worksheet: BOF, head records, page breaks, COLINFO, cells, drawing, notes, tail
/// records, merged cells and conditional formats, hyperlinks, CODENAME, EOF. Rows that
/// have cells but no ROW record get one (the only change made to the sheet).
void saveToStream(TWorkSheet& sheet, ByteSink& sink);
std::size_t totalSize(TWorkSheet& sheet);

/// Chart and unsupported sheets: their records as read.
void saveToStream(const TRawSheet& sheet, ByteSink& sink);
std::size_t totalSize(const TRawSheet& sheet);

/// Any sheet, by its kind.
void saveToStream(TSheet& sheet, ByteSink& sink);
std::size_t totalSize(TSheet& sheet);

/// The cells of a worksheet: DIMENSIONS, then blocks of 32 rows (the block's ROW records,
/// then its cells row by row), runs of two or more RK or BLANK cells joined into MULRK or
/// MULBLANK, LABELSST with the index its string received when the SST was written,
/// FORMULA followed by its ARRAY and TABLE records.
void saveCells(TWorkSheet& sheet, ByteSink& sink);

/// The whole "Workbook" stream. Before writing: code names for the sheets of a macro
/// workbook, BOUNDSHEET offsets from the total sizes, the visibility checks ("To save
/// this file, you must select a visible sheet", "There are not visible sheets on the
/// file") and WINDOW1's first visible tab. Fails with "Error reading Excel records. File
/// invalid" when the sheets and the BOUNDSHEET records differ in number. Strings that no
/// cell references are not written.
void saveToStream(TWorkbook& workbook, std::vector<std::uint8_t>& out);
std::vector<std::uint8_t> saveToBytes(TWorkbook& workbook);
std::size_t totalSize(TWorkbook& workbook);

} // namespace quorvane::xls
