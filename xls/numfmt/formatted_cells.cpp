#include "xls/numfmt/formatted_cells.h"

#include "xls/dumpcells.h"
#include "xls/errors.h"
#include "xls/formula_text/formula_text.h"
#include "xls/messages.h"
#include "xls/numfmt/cellformat.h"
#include "xls/xlsfile.h"

#include <sstream>

namespace quorvane::xls::numfmt {

namespace {

const char* kindOf(const CellVariant& v)
{
    switch (v.index()) {
    case 1: return "number";
    case 2: return "text";
    case 3: return "bool";
    case 4: return "error";
    default: return "blank";
    }
}

} // namespace

void dumpFormattedCells(const std::string& path, std::optional<int> sheet, std::ostream& out)
{
    TXLSAdapter adapter;
    std::unique_ptr<TXLSFile> file = adapter.createFile();
    file->connect();
    file->openFile(path);

    TWorkbook& wb = file->workbook();
    const auto& bound = wb.globals().boundSheets;
    const int count = static_cast<int>(bound.size());
    int first = 1, last = count;
    if (sheet) {
        if (*sheet < 1 || *sheet > count)
            throw QueryError(formatNumber(msg::ListIndex, static_cast<long long>(*sheet) - 1));
        first = last = *sheet;
    }

    const CellFormatter formatter(wb);
    formula::WorkbookSheets sheets(wb);
    std::ostringstream text;
    for (int i = first; i <= last; ++i) {
        text << "sheet\t" << i << '\t' << escapedDumpText(bound.name(static_cast<std::size_t>(i - 1))) << '\n';
        if (i - 1 >= static_cast<int>(wb.sheets().size()))
            continue;
        const auto* ws = dynamic_cast<const TWorkSheet*>(wb.sheets()[static_cast<std::size_t>(i - 1)].get());
        if (!ws)
            continue;
        for (int r = 0; r < ws->cells.rowCount(); ++r) {
            for (const auto& cell : *ws->cells.row(r)) {
                const CellVariant v = cell->value();
                text << (r + 1) << '\t' << (cell->col() + 1) << '\t' << kindOf(v) << '\t'
                     << escapedDumpText(formatter.render(v, cell->xf()).text);
                if (const auto* f = dynamic_cast<const TFormulaRecord*>(cell.get())) {
                    std::string shown = "?";
                    try {
                        shown = escapedDumpText(formula::formulaText(*f, &sheets));
                    } catch (const formula::FormulaTextError&) {
                    }
                    text << '\t' << shown;
                }
                text << '\n';
            }
        }
    }
    out << text.str();
}

} // namespace quorvane::xls::numfmt
