// The moving-average window at the largest table a calculation takes: 15,000
// raw points. Measures opening the window (loading SeaRaw and MovAv from their
// files), a Calculate of the 101-point median with the window open against the
// same run with no window, and showing the Graph tab with its chart drawn. The
// window must add no repaint per row to the run.
#include <benchmark/benchmark.h>

#include <QApplication>
#include <QLineEdit>
#include <QRadioButton>
#include <QTabWidget>
#include <cmath>
#include <unistd.h>

#include "app/settings/settings_store.h"
#include "data/dm_sea.h"
#include "movav/moving_average.h"
#include "movav/window/movav_window.h"
#include "platform/ui/bound_chart.h"

namespace {

using namespace quorvane;

constexpr int RawPoints = 15000;

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
        data::CurveTable& raw = scratch.cdsSeaRaw;
        raw.createDataSet();
        for (int i = 0; i < RawPoints; ++i) {
            const double age = i * 0.03;
            raw.append();
            raw.setFloat(0, age);
            raw.setFloat(1, 0.708 + 0.0002 * std::sin(age / 30) + 0.00005 * std::sin(i * 12.9898));
            raw.setFloat(2, 0.00003);
            raw.post();
        }
        raw.saveToFile(data::TdmSea::filePath(folder, raw));
    }
};

Setup& setup()
{
    static Setup s;
    return s;
}

struct Window {
    movav::TfmMovAv w{setup().dm};
    Window()
    {
        w.show();
        QCoreApplication::processEvents();
        w.rbMedian->setChecked(true);
        w.PointIncrementStr->setText(QStringLiteral("101"));
    }
    void calculate()
    {
        w.bbDefineClick();
        QCoreApplication::processEvents(); // the one queued redraw of the chart
    }
};

void BM_OpenWindow(benchmark::State& state)
{
    {
        Window first;
        first.calculate(); // MovAv.cds then holds 15,000 rows as well
        first.w.close();
    }
    for (auto _ : state) {
        Window win;
        win.w.close();
    }
    state.counters["rows per table"] = RawPoints;
}
BENCHMARK(BM_OpenWindow)->Unit(benchmark::kMillisecond);

void BM_CalculateMedian101WindowOpen(benchmark::State& state)
{
    Window win;
    for (auto _ : state)
        win.calculate();
    state.counters["curve rows"] = setup().dm.cdsMovAv.rowCount();
    win.w.close();
}
BENCHMARK(BM_CalculateMedian101WindowOpen)->Unit(benchmark::kMillisecond);

void BM_CalculateMedian101Headless(benchmark::State& state)
{
    Setup& s = setup();
    s.dm.cdsSeaRaw.loadFromFile(data::TdmSea::filePath(s.folder, s.dm.cdsSeaRaw));
    s.dm.cdsMovAv.createDataSet();
    NullStatusSink status;
    for (auto _ : state) {
        MovingAverage calc(s.dm, settingsStore(), status);
        calc.rbMean = false;
        calc.rbMedian = true;
        MovingAverageFields fields{"2", "0.00002", "101", "0", "0", "500"};
        benchmark::DoNotOptimize(calc.bbDefineClick(fields));
    }
    state.counters["curve rows"] = s.dm.cdsMovAv.rowCount();
}
BENCHMARK(BM_CalculateMedian101Headless)->Unit(benchmark::kMillisecond);

void BM_ShowGraphTab(benchmark::State& state)
{
    Window win;
    win.calculate();
    for (auto _ : state) {
        win.w.pcMovAv->setCurrentWidget(win.w.tsDefine);
        QCoreApplication::processEvents();
        win.w.pcMovAv->setCurrentWidget(win.w.tsGraph);
        win.w.DBChart1->redraw();
        QCoreApplication::processEvents();
    }
    state.counters["points drawn"] = 2 * RawPoints;
    win.w.close();
}
BENCHMARK(BM_ShowGraphTab)->Unit(benchmark::kMillisecond);

} // namespace
