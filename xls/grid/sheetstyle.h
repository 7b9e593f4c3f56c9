#pragma once
// What the sheet grid needs from a workbook's formatting records, decoded without Qt:
// the palette, a cell's font, alignment, fill and borders from its XF and FONT records,
// column and row sizes, and the pictures anchored on a sheet.
#include "xls/workbook.h"

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace quorvane::xls::grid {

struct Rgb {
    std::uint8_t r = 0, g = 0, b = 0;
    bool operator==(const Rgb&) const = default;
};

/// Colour `index` of the workbook's palette: 0..7 the fixed EGA colours, 8..63 the
/// PALETTE record's entries (or the default palette). Other indices (64 and up: the
/// system's window text and background) answer nothing.
std::optional<Rgb> paletteColor(const TWorkbookGlobals& g, int index) noexcept;

struct FontInfo {
    std::u16string name = u"Arial";
    double points = 10;
    bool bold = false, italic = false, underline = false, strikeOut = false;
    int colorIndex = 0x7FFF; // automatic
};

/// One edge: line style (0 none, 1 thin, 2 medium, 3 dashed, 4 dotted, 5 thick,
/// 6 double, 7 hair, 8.. medium dashed and dash-dot kinds) and colour index.
struct BorderLine {
    int style = 0;
    int colorIndex = 0;
};

enum class HAlign { General, Left, Centre, Right, Fill, Justify, CentreAcross };
enum class VAlign { Top, Centre, Bottom };

struct CellStyle {
    FontInfo font;
    HAlign hAlign = HAlign::General;
    VAlign vAlign = VAlign::Bottom;
    bool wrap = false;
    int fillPattern = 0;     // 0 none, 1 solid, 2..18 hatches and greys in fillFg on fillBg
    int fillFg = 64, fillBg = 65;
    BorderLine left, right, top, bottom;
    /// Diagonal lines: from the top left to the bottom right, and from the bottom left to
    /// the top right; one style and colour for both.
    bool diagonalDown = false, diagonalUp = false;
    BorderLine diagonal;
};

/// The style of XF `xf` (defaults when there is none or its records are short).
CellStyle cellStyle(const TWorkbookGlobals& g, int xf);
/// FONT record `index` as XF records count them (index 4 does not exist).
FontInfo fontInfo(const TWorkbookGlobals& g, int index);

/// Width of column `col` in 1/256 of a character and whether it is hidden (COLINFO,
/// else the sheet's default width).
struct ColumnSize {
    std::uint32_t width = 0;
    bool hidden = false;
};
ColumnSize columnSize(const TWorkSheet& ws, int col);
/// Height of row `row` in twips and whether it is hidden (ROW record, else default).
struct RowSize {
    std::uint16_t height = 0;
    bool hidden = false;
};
RowSize rowSize(const TWorkSheet& ws, int row);

/// Writes a column width (1/256 character) into the sheet's COLINFO records, splitting
/// a record that covers more columns and adding one where none covers the column.
void setColumnWidth(TWorkSheet& ws, int col, std::uint32_t width);
/// Writes a row height (twips) into the row's ROW record, adding one where it has none.
void setRowHeight(TWorkSheet& ws, int row, std::uint16_t height);

/// A picture on a sheet: its cell anchor (0-based cells; column offsets in 1/1024 of
/// the column width, row offsets in 1/255 of the row height) and its image file bytes
/// (PNG, JPEG, or a BMP made from a stored device-independent bitmap).
struct Picture {
    int col1 = 0, dx1 = 0, row1 = 0, dy1 = 0, col2 = 0, dx2 = 0, row2 = 0, dy2 = 0;
    std::vector<std::uint8_t> image;
};
/// The pictures anchored on `ws` that refer to an image of the workbook's picture store.
/// Drawing data that cannot be walked is skipped, never trusted past its bounds.
std::vector<Picture> sheetPictures(const TWorkbook& wb, const TWorkSheet& ws);

} // namespace quorvane::xls::grid
