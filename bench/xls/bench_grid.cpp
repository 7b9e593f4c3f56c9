// The sheet grid on a 65,536-row sheet (three numbers a row, written by LibreOffice; the
// shared peer fixture): LoadSheet until the first frame is drawn, and scrolling a page at
// a time through the whole sheet, each step drawn. Also the number-format renderer alone.
#include "xls/grid/xlsgrid.h"
#include "xls/numfmt/numfmt.h"

#include <benchmark/benchmark.h>

#include <QApplication>
#include <QImage>
#include <QScrollBar>

#include <filesystem>

namespace {

using namespace quorvane::xls;

const std::string BigSheet = std::string(QUORVANE_SHARED_DIR) + "/fixtures/xls/libreoffice-big.xls";

struct Opened {
    Opened()
    {
        import.SetAdapter(&adapter);
        import.OpenWorkbook(BigSheet);
        grid.SetXlsImport(&import);
        grid.resize(1024, 768);
        grid.show();
    }
    TXLSAdapter adapter;
    TXlsImport import;
    TXlsGrid grid;
};

void BM_LoadSheetAndDraw(benchmark::State& state)
{
    if (!std::filesystem::exists(BigSheet)) {
        state.SkipWithError("shared fixture libreoffice-big.xls absent");
        return;
    }
    Opened o;
    QImage frame(o.grid.size(), QImage::Format_RGB32);
    for (auto _ : state) {
        o.grid.LoadSheet();
        o.grid.SetZoom(70);
        o.grid.render(&frame);
    }
    state.counters["rows"] = o.grid.RowCount() - 1;
}
BENCHMARK(BM_LoadSheetAndDraw)->Unit(benchmark::kMillisecond);

void BM_ScrollOnePage(benchmark::State& state)
{
    if (!std::filesystem::exists(BigSheet)) {
        state.SkipWithError("shared fixture libreoffice-big.xls absent");
        return;
    }
    Opened o;
    o.grid.LoadSheet();
    QImage frame(o.grid.size(), QImage::Format_RGB32);
    QScrollBar* bar = o.grid.verticalScrollBar();
    for (auto _ : state) {
        const int next = bar->value() + bar->pageStep();
        bar->setValue(next > bar->maximum() ? 0 : next);
        o.grid.render(&frame);
    }
    state.counters["pages"] = benchmark::Counter(static_cast<double>(state.iterations()));
}
BENCHMARK(BM_ScrollOnePage)->Unit(benchmark::kMillisecond);

void BM_RenderNumber(benchmark::State& state)
{
    const numfmt::NumberFormat f(u"#,##0.00;[Red]-#,##0.00");
    double v = 1234.5678;
    for (auto _ : state) {
        benchmark::DoNotOptimize(f.format(v));
        v += 1.25;
    }
}
BENCHMARK(BM_RenderNumber);

void BM_RenderDate(benchmark::State& state)
{
    const numfmt::NumberFormat f(u"yyyy-mm-dd hh:mm:ss");
    double v = 45306.5;
    for (auto _ : state) {
        benchmark::DoNotOptimize(f.format(v));
        v += 0.37;
    }
}
BENCHMARK(BM_RenderDate);

} // namespace
