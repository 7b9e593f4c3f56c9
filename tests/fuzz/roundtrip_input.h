#pragma once
// What the writer's fuzz target does with one input, shared with the test that replays
// the regression inputs: an input the reader accepts is written, and what was written
// must read back with the same sheets and cell values (formula cells aside, whose cached
// results are reset on writing). A save may refuse the workbook with an engine error;
// a written workbook that does not read back, or reads back different, is a fault.
#include "read_input.h"
#include "xls/write/save.h"
#include "xls/write/writer.h"

#include <cstdlib>
#include <vector>

namespace quorvane::xls::fuzz {

inline std::vector<std::pair<std::u16string, std::vector<TXlsCellValue>>> cellsOf(const TWorkbook& book)
{
    std::vector<std::pair<std::u16string, std::vector<TXlsCellValue>>> out;
    for (std::size_t i = 0; i < book.sheets().size(); ++i) {
        out.emplace_back(i < book.globals().boundSheets.size() ? book.globals().boundSheets.name(i) : u"",
                         std::vector<TXlsCellValue>{});
        const auto* ws = dynamic_cast<const TWorkSheet*>(book.sheets()[i].get());
        if (!ws)
            continue;
        for (int r = 0; r < ws->cells.rowCount(); ++r)
            for (const auto& cell : *ws->cells.row(r))
                if (!cell->isFormula())
                    out.back().second.push_back(cell->cellValue());
    }
    return out;
}

inline bool sameCells(const TWorkbook& a, const TWorkbook& b)
{
    const auto x = cellsOf(a), y = cellsOf(b);
    if (x.size() != y.size())
        return false;
    for (std::size_t i = 0; i < x.size(); ++i) {
        if (x[i].first != y[i].first || x[i].second.size() != y[i].second.size())
            return false;
        for (std::size_t k = 0; k < x[i].second.size(); ++k) {
            const TXlsCellValue& p = x[i].second[k];
            const TXlsCellValue& q = y[i].second[k];
            const auto* dp = std::get_if<double>(&p.value);
            const auto* dq = std::get_if<double>(&q.value);
            const bool sameValue = dp && dq ? (*dp == *dq || (*dp != *dp && *dq != *dq)) : p.value == q.value;
            if (!sameValue || p.xf != q.xf)
                return false;
        }
    }
    return true;
}

/// Reads one untrusted input and writes it back; aborts on a fault, throws only
/// quorvane::Error otherwise.
inline void roundTripInput(const std::uint8_t* data, std::size_t size)
{
    TXLSAdapter adapter;
    auto file = adapter.createFile();
    file->connect();
    if (hasCompoundSignature(data, size))
        file->openBytes(ByteSpan(data, size));
    else
        file->workbook().load(ByteSpan(data, size));
    std::vector<std::uint8_t> document;
    try {
        document = saveToDocument(*file);
    } catch (const quorvane::Error&) {
        return; // refused by the writer's rules (no visible sheet, a section not loaded ...)
    }
    auto again = adapter.createFile();
    again->connect();
    try {
        again->openBytes(document);
    } catch (const quorvane::Error&) {
        std::abort(); // written, but not readable
    }
    if (!sameCells(file->workbook(), again->workbook()))
        std::abort();
}

} // namespace quorvane::xls::fuzz
