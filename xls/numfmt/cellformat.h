#pragma once
// A cell's text as the sheet shows it: its value rendered through the number format of
// its XF (FORMAT records of the workbook, else the built-in formats), in the date system
// of the workbook.
#include "xls/numfmt/numfmt.h"
#include "xls/workbook.h"

#include <map>
#include <string>

namespace quorvane::xls::numfmt {

/// Format index (offset 2) of XF `xf`, or 0 (General) when there is no such XF.
int formatIndexOfXF(const TWorkbookGlobals& g, int xf) noexcept;

/// Renders cells of one workbook, parsing each format code once.
class CellFormatter {
public:
    explicit CellFormatter(const TWorkbook& wb, Symbols symbols = {});

    /// The code of format `index`: the FORMAT record's, else the built-in one, else General.
    std::u16string formatCode(int index) const;
    const NumberFormat& formatOfXF(int xf) const;
    Rendered render(const CellVariant& v, int xf) const;
    bool date1904() const noexcept { return date1904_; }
    const Symbols& symbols() const noexcept { return symbols_; }
    /// Forgets parsed formats (after FORMAT or XF records changed).
    void reset();

private:
    const TWorkbook& wb_;
    Symbols symbols_;
    bool date1904_ = false;
    std::map<int, std::u16string> codes_;
    mutable std::map<int, NumberFormat> parsed_;
};

} // namespace quorvane::xls::numfmt
