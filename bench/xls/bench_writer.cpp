// The workbook writer: a numeric table set cell by cell and saved as a compound document,
// and a table of many distinct shared strings.
#include "xls/write/cells.h"
#include "xls/write/compound_writer.h"
#include "xls/write/writer.h"

#include <benchmark/benchmark.h>

#include <string>

using namespace quorvane::xls;

namespace {

// Globals with one sheet, as a template would give them (no formats needed to write).
std::vector<std::uint8_t> emptyStream()
{
    std::vector<std::uint8_t> s;
    auto rec = [&](std::uint16_t id, std::vector<std::uint8_t> body) {
        std::uint8_t h[4];
        putU16(h, id);
        putU16(h + 2, static_cast<std::uint16_t>(body.size()));
        s.insert(s.end(), h, h + 4);
        s.insert(s.end(), body.begin(), body.end());
    };
    std::vector<std::uint8_t> bofGlobals = {0x00, 0x06, 0x05, 0x00, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0};
    std::vector<std::uint8_t> bofSheet = {0x00, 0x06, 0x10, 0x00, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0};
    rec(rid::Bof, bofGlobals);
    std::vector<std::uint8_t> w1(18, 0);
    w1[14] = 1;
    rec(rid::Window1, w1);
    rec(rid::BoundSheet, {0, 0, 0, 0, 0, 0, 6, 0, 'C', 'u', 'r', 'v', 'e', 's'});
    rec(rid::Eof, {});
    rec(rid::Bof, bofSheet);
    std::vector<std::uint8_t> w2(18, 0);
    w2[0] = 0xB6;
    w2[1] = 0x06;
    rec(rid::Window2, w2);
    rec(rid::Eof, {});
    return s;
}

void fillNumbers(TWorkbook& book, int rows, int cols)
{
    auto& ws = dynamic_cast<TWorkSheet&>(*book.sheets()[0]);
    for (int r = 0; r < rows; ++r)
        for (int c = 0; c < cols; ++c)
            setCellValue(ws, book.sst(), r, c, r * 0.0137 + c * 1000.25 + 1.0 / (r + c + 3));
}

void BM_SetAndSaveNumericTable(benchmark::State& state)
{
    const int rows = static_cast<int>(state.range(0));
    const int cols = static_cast<int>(state.range(1));
    const auto stream = emptyStream();
    for (auto _ : state) {
        TWorkbook book;
        book.load(stream);
        fillNumbers(book, rows, cols);
        const auto records = saveToBytes(book);
        const auto document = buildCompoundDocument({}, records);
        benchmark::DoNotOptimize(document.data());
    }
    state.SetItemsProcessed(state.iterations() * rows * cols);
}
BENCHMARK(BM_SetAndSaveNumericTable)->Args({30000, 5})->Args({65536, 3})->Unit(benchmark::kMillisecond);

void BM_SaveOnlyNumericTable(benchmark::State& state)
{
    TWorkbook book;
    book.load(emptyStream());
    fillNumbers(book, 30000, 5);
    for (auto _ : state) {
        const auto document = buildCompoundDocument({}, saveToBytes(book));
        benchmark::DoNotOptimize(document.data());
    }
}
BENCHMARK(BM_SaveOnlyNumericTable)->Unit(benchmark::kMillisecond);

void BM_SetAndSaveSharedStrings(benchmark::State& state)
{
    const int n = static_cast<int>(state.range(0));
    const auto stream = emptyStream();
    for (auto _ : state) {
        TWorkbook book;
        book.load(stream);
        auto& ws = dynamic_cast<TWorkSheet&>(*book.sheets()[0]);
        for (int i = 0; i < n; ++i) {
            std::u16string text = u"sample ";
            for (char ch : std::to_string(i * 7919 % n))
                text += static_cast<char16_t>(ch);
            setCellValue(ws, book.sst(), i, 0, text);
        }
        const auto document = buildCompoundDocument({}, saveToBytes(book));
        benchmark::DoNotOptimize(document.data());
    }
    state.SetItemsProcessed(state.iterations() * n);
}
BENCHMARK(BM_SetAndSaveSharedStrings)->Arg(60000)->Unit(benchmark::kMillisecond);

} // namespace

BENCHMARK_MAIN();
