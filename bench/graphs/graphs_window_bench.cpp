// The comparative graphs window at the sizes an import leads to: 65,535 raw
// points, a spline of 131,070 rows (NSpl twice the raw count) and a moving
// average of 15,000 rows. Measures opening the window (loading the three tables
// from their files) and drawing the comparison chart.
#include <benchmark/benchmark.h>

#include <QApplication>
#include <QTabWidget>
#include <cmath>
#include <unistd.h>

#include "app/settings/settings_store.h"
#include "data/dm_sea.h"
#include "graphs/graphs_window.h"
#include "platform/ui/bound_chart.h"

namespace {

using namespace quorvane;

constexpr int RawPoints = 65535;
constexpr int SplineRows = 2 * RawPoints;
constexpr int MovAvRows = 15000;

double curve(double age) { return 0.708 + 0.0002 * std::sin(age / 300); }

struct Setup {
    std::string folder;
    data::TdmSea dm;

    Setup()
    {
        char pattern[] = "/tmp/quorvane-bench-XXXXXX";
        folder = std::string(::mkdtemp(pattern)) + "/internal";
        data::seedInternalFolder(folder);
        settingsStore().setText(key::InternalFiles, folder);
        data::TdmSea scratch;
        auto fill = [&](data::CurveTable& t, int rows, double step, double scatter) {
            t.createDataSet();
            for (int i = 0; i < rows; ++i) {
                const double age = i * step;
                t.append();
                t.setFloat(0, age);
                t.setFloat(1, curve(age) + scatter * std::sin(i * 12.9898));
                t.post();
            }
            t.saveToFile(data::TdmSea::filePath(folder, t));
        };
        fill(scratch.cdsSeaRaw, RawPoints, 0.1, 0.00005);
        fill(scratch.cdsSeaSpl, SplineRows, 0.05, 0.0);
        fill(scratch.cdsMovAv, MovAvRows, 0.1 * RawPoints / MovAvRows, 0.0);
    }
};

Setup& setup()
{
    static Setup s;
    return s;
}

void BM_OpenWindow(benchmark::State& state)
{
    for (auto _ : state) {
        graphs::TfmGraphs w(setup().dm);
        w.show();
        QCoreApplication::processEvents();
        w.close();
    }
    state.counters["rows loaded"] = RawPoints + SplineRows + MovAvRows;
}
BENCHMARK(BM_OpenWindow)->Unit(benchmark::kMillisecond);

void BM_DrawComparisonChart(benchmark::State& state)
{
    graphs::TfmGraphs w(setup().dm);
    w.show();
    QCoreApplication::processEvents();
    for (auto _ : state)
        w.DBChart1->redraw();
    state.counters["points"] = RawPoints + SplineRows + MovAvRows;
    w.close();
}
BENCHMARK(BM_DrawComparisonChart)->Unit(benchmark::kMillisecond);

} // namespace
