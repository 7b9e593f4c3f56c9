// The spline window at the largest sizes an import leads to: 65,535 raw points
// (the rows of a sheet), averaged into about 10,000 bins, and NSpl = 131,070
// (twice the raw count), so each curve holds about 130,000 rows. Measures
// showing the Graph tab with its chart drawn, and a Calculate with the window
// open against the same run with no window at all: the window must add no
// repaint per row.
#include <benchmark/benchmark.h>

#include <QApplication>
#include <QCheckBox>
#include <QLineEdit>
#include <QTabWidget>
#include <cmath>
#include <cstdlib>
#include <unistd.h>

#include "app/settings/settings_store.h"
#include "data/dm_sea.h"
#include "import/delta_t.h"
#include "platform/ui/bound_chart.h"
#include "spline/spline_run.h"
#include "spline/window/spline_fit.h"
#include "work/nspl.h"

namespace {

using namespace quorvane;

constexpr int RawPoints = 65535;

struct Setup {
    std::string folder;
    data::TdmSea dm;

    Setup()
    {
        char pattern[] = "/tmp/quorvane-bench-XXXXXX";
        folder = std::string(::mkdtemp(pattern)) + "/internal";
        data::seedInternalFolder(folder);
        SettingsStore& s = settingsStore();
        s.setText(key::InternalFiles, folder);
        s.setText(key::StudentsTMultiplier, "2");
        s.setText(key::MinimumUncertainty, "0.00002");
        s.setText(key::RequiredSmoothingPrecision, "1");
        s.setText(key::AgeRangeToAverage, "0.65"); // ages 0 .. 6553.4 in about 10,000 bins
        s.setText(key::AgeFrom, "0");
        s.setText(key::AgeTo, "7000");

        data::CurveTable& raw = dm.cdsSeaRaw;
        raw.loadFromFile(data::TdmSea::filePath(folder, raw));
        dm.cdsDeltaT.loadFromFile(data::TdmSea::filePath(folder, dm.cdsDeltaT));
        for (int i = 0; i < RawPoints; ++i) {
            const double age = i * 0.1;
            raw.append();
            raw.setFloat(0, age);
            raw.setFloat(1, 0.708 + 0.0002 * std::sin(age / 300) + 0.00005 * std::sin(i * 12.9898));
            raw.setFloat(2, 0.00003);
            raw.post();
        }
        rebuildDeltaT(raw, dm.cdsDeltaT);
        for (data::CurveTable* t : {&raw, &dm.cdsDeltaT})
            t->saveToFile(data::TdmSea::filePath(folder, *t));
        NSpl() = 2 * RawPoints;
    }
};

Setup& setup()
{
    static Setup s;
    return s;
}

struct Window {
    spline::TfmSplineFit w{setup().dm};
    Window()
    {
        w.show();
        QCoreApplication::processEvents();
        for (QCheckBox* c : {w.cbDoRawAverages, w.cbSpline, w.cbSplineP, w.cbSplineM})
            c->setChecked(true);
    }
    void calculate()
    {
        w.eNSpl->setText(QString::number(2 * RawPoints));
        w.bbDefineClick();
        QCoreApplication::processEvents(); // the one queued redraw of each chart
    }
};

void BM_ShowGraphTab(benchmark::State& state)
{
    Window win;
    win.calculate();
    for (auto _ : state) {
        win.w.pcSpline->setCurrentWidget(win.w.tsDefine);
        QCoreApplication::processEvents();
        win.w.pcSpline->setCurrentWidget(win.w.tsGraph);
        win.w.DBChart1->redraw();
        QCoreApplication::processEvents();
    }
    state.counters["curve rows"] = setup().dm.cdsSeaSpl.rowCount();
    state.counters["raw rows"] = setup().dm.cdsSeaRaw.rowCount();
}
BENCHMARK(BM_ShowGraphTab)->Unit(benchmark::kMillisecond);

void BM_CalculateWindowOpen(benchmark::State& state)
{
    Window win;
    for (auto _ : state)
        win.calculate();
    state.counters["curve rows"] = setup().dm.cdsSeaSpl.rowCount();
}
BENCHMARK(BM_CalculateWindowOpen)->Unit(benchmark::kMillisecond)->Iterations(3);

void BM_CalculateHeadless(benchmark::State& state)
{
    Setup& s = setup();
    NullStatusSink status;
    for (auto _ : state) {
        SplineFields fields{"2", "0.00002", "1", "0.65", "0", "7000", std::to_string(2 * RawPoints)};
        SplineCurveRun run(s.dm, settingsStore(), status);
        run.bbDefineClick(fields, SplineSelections{true, true, true, true});
    }
    state.counters["curve rows"] = s.dm.cdsSeaSpl.rowCount();
}
BENCHMARK(BM_CalculateHeadless)->Unit(benchmark::kMillisecond)->Iterations(3);

} // namespace
