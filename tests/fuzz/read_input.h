#pragma once
// What the reader's fuzz target does with one input, shared with the test that replays
// the regression inputs. An input that starts with the compound document signature is
// opened as a whole .xls file; any other input is taken as the "Workbook" record stream
// itself, which reaches the record layer without the container. The reader must answer
// or throw one of the engine's errors (quorvane::Error); anything else is a fault.
#include "xls/errors.h"
#include "xls/xlsfile.h"

#include <cstddef>
#include <cstdint>

namespace quorvane::xls::fuzz {

inline void queryAll(const TWorkbook& book)
{
    for (const auto& sheet : book.sheets()) {
        const auto* ws = dynamic_cast<const TWorkSheet*>(sheet.get());
        if (!ws)
            continue;
        for (int r = 0; r < ws->cells.rowCount(); ++r)
            for (const auto& cell : *ws->cells.row(r))
                (void)variantToText(cell->value());
    }
    for (std::size_t i = 0; i < book.globals().boundSheets.size(); ++i)
        (void)book.globals().boundSheets.name(i);
}

/// Reads one untrusted input; throws only quorvane::Error.
inline void readInput(const std::uint8_t* data, std::size_t size)
{
    const ByteSpan bytes(data, size);
    if (hasCompoundSignature(data, size)) {
        TXLSAdapter adapter;
        auto file = adapter.createFile();
        file->connect();
        file->openBytes(bytes);
        queryAll(file->workbook());
        for (int s = 1; s <= file->sheetCount(); ++s) {
            file->setActiveSheet(s);
            (void)file->sheetName();
            (void)file->cellValue(1, 1);
        }
    } else {
        TWorkbook book;
        book.load(bytes);
        queryAll(book);
    }
}

} // namespace quorvane::xls::fuzz
