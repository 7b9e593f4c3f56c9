#pragma once
// The spreadsheet engine's public face, in one include:
//   TXlsImport        - open a workbook, list and select sheets, read cell values (1-based)
//   TXLSAdapter       - creates file objects (TXLSFile) with the adapter's properties
//   TXLSFile          - one workbook with the compound document's other elements; the
//                       object the writer saves and the template filler fills
//   TWorkbook         - globals (TWorkbookGlobals) and sheets (TWorkSheet, TXlsChartSheet,
//                       TXlsUnsupportedSheet), every record kept for writing back
//   TCells            - ROW records and cell records by row, cells by column
//   TSST              - the shared string table
//   TXlsCellValue     - a cell's value (CellVariant), XF index and formula flag
//   dumpCells         - the cell dump of `quorvane-batch cells`
// Errors are XlsError and its subclasses (xls/errors.h) carrying the texts of
// xls/messages.h.
#include "xls/cellvalue.h"
#include "xls/dumpcells.h"
#include "xls/errors.h"
#include "xls/excelstring.h"
#include "xls/formula.h"
#include "xls/messages.h"
#include "xls/records.h"
#include "xls/sst.h"
#include "xls/storage.h"
#include "xls/text.h"
#include "xls/workbook.h"
#include "xls/xlsfile.h"
#include "xls/xlsimport.h"
