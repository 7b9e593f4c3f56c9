// The smoothing spline at the largest sizes the work area takes, on data like
// the oracle's performance anchor (bench.py: N ages on [0, 5000] with random
// spacing, a smooth signal plus noise, dy in [0.03, 0.1], S = 0.8), so the
// figures compare with scipy and R fits of the same size measured beside them.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <random>
#include <unistd.h>

#include "app/settings/settings_store.h"
#include "data/dm_sea.h"
#include "spline/smooth_spline.h"
#include "spline/spline_run.h"
#include "spline/spline_values.h"
#include "work/nspl.h"

namespace {

using namespace quorvane;

struct Points {
    std::vector<double> x, y, dy;
};

Points anchorData(int n, double span)
{
    std::mt19937_64 rng(12345);
    std::uniform_real_distribution<double> age(0.0, span), noise(-0.05, 0.05), sd(0.03, 0.1);
    Points p;
    for (int i = 0; i < n; ++i)
        p.x.push_back(age(rng));
    std::sort(p.x.begin(), p.x.end());
    for (int i = 1; i < n; ++i) // distinct ages, more than 1e-7 apart
        p.x[static_cast<std::size_t>(i)] = std::max(p.x[static_cast<std::size_t>(i)], p.x[static_cast<std::size_t>(i - 1)] + 1e-6);
    for (double x : p.x) {
        p.y.push_back(4.0 + 0.6 * std::sin(x / 41.0) + 0.3 * std::sin(x / 23.0) + noise(rng));
        p.dy.push_back(sd(rng));
    }
    return p;
}

/// Seven tables bound to empty files in a fresh temporary folder.
struct BoundModule {
    BoundModule()
    {
        char pattern[] = "/tmp/quorvane-bench-XXXXXX";
        folder = ::mkdtemp(pattern);
        data::seedInternalFolder(folder + "/internal");
        for (data::CurveTable* t : dm.tables()) {
            t->bindToFile(data::TdmSea::filePath(folder + "/internal", *t));
            t->loadFromFile(t->boundFile());
        }
    }
    ~BoundModule()
    {
        for (data::CurveTable* t : dm.tables())
            t->bindToFile({}); // nothing to write back into the removed folder
        std::error_code ec;
        std::filesystem::remove_all(folder, ec);
    }
    void fill(data::CurveTable& t, const Points& p, bool withN)
    {
        t.disableControls();
        for (std::size_t i = 0; i < p.x.size(); ++i) {
            t.append();
            t.setFloat(0, p.x[i]);
            t.setFloat(1, p.y[i]);
            t.setFloat(2, p.dy[i]);
            if (withN)
                t.setFloat(3, 1);
            t.post();
        }
        t.enableControls();
    }
    std::string folder;
    data::TdmSea dm;
};

// SmoothSpline alone at N = 14999 and NSpl = 29998: the fit, 29996 curve rows
// appended and the MSWD over the averaged points ("SeaSpl"); with the target
// "none" the fit and the evaluation only, which is what the scipy and R figures
// of the anchor measure.
void BM_SmoothSpline(benchmark::State& state, const char* target)
{
    const int n = MaxPoints - 1;
    const Points p = anchorData(n, 5000.0);
    BoundModule module;
    module.fill(module.dm.cdsSeaRawAv, p, true);
    WorkArrays& w = workArrays();
    for (int i = 1; i <= n; ++i) {
        w.X[i] = p.x[static_cast<std::size_t>(i - 1)];
        w.Y[i] = p.y[static_cast<std::size_t>(i - 1)];
        w.E[i] = p.dy[static_cast<std::size_t>(i - 1)];
    }
    NullStatusSink status;
    SmoothSpline solver(module.dm, status);
    splineValues().TargetTable = target;
    splineValues().WMult = 1.96;
    splineValues().WConst = 0.01;
    NSpl() = 2 * n;
    for (auto _ : state) {
        state.PauseTiming();
        module.dm.cdsSeaSpl.emptyTable();
        state.ResumeTiming();
        solver(w.X, w.Y, w.E, n, 0.8);
    }
    state.counters["passes"] = solver.lastFit().passes;
    state.counters["rows"] = module.dm.cdsSeaSpl.rowCount();
}
BENCHMARK_CAPTURE(BM_SmoothSpline, fit_and_evaluate, "none")->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_SmoothSpline, fit_append_mswd, "SeaSpl")->Unit(benchmark::kMillisecond);

// The whole Calculate run: averaging of the raw points, the three curves and
// the five tables closed and reopened, which writes their internal files.
// 14999 raw points in bins of their own (NSpl 29998, about 90,000 rows), and
// 65535 raw points averaged five to a bin with NSpl 131070 (about 390,000 rows).
void BM_SplineRun(benchmark::State& state)
{
    const int raw = static_cast<int>(state.range(0));
    const int perBin = static_cast<int>(state.range(1));
    Points p;
    std::mt19937_64 rng(7);
    std::uniform_real_distribution<double> noise(-0.05, 0.05), sd(0.03, 0.1);
    for (int i = 0; i < raw; ++i) {
        const double x = i * 1.0;
        p.x.push_back(x);
        p.y.push_back(4.0 + 0.6 * std::sin(x / 410.0) + 0.3 * std::sin(x / 230.0) + noise(rng));
        p.dy.push_back(sd(rng));
    }
    BoundModule module;
    module.fill(module.dm.cdsSeaRaw, p, false);
    SettingsStore settings;
    NullStatusSink status;
    SplineCurveRun run(module.dm, settings, status);
    const std::string width = std::to_string(perBin) + ".0"; // ages 1 apart: perBin points per bin
    const std::string nspl = std::to_string(2 * raw);
    for (auto _ : state) {
        SplineFields fields{"1.96", "0.01", "0.8", width, "-1", "1E9", nspl};
        run.bbDefineClick(fields, SplineSelections{true, true, true, true});
    }
    state.counters["averaged"] = module.dm.cdsSeaRawAv.rowCount();
    state.counters["rows"] = module.dm.cdsSeaSpl.rowCount() + module.dm.cdsSeaSplP.rowCount() +
                             module.dm.cdsSeaSplM.rowCount();
}
BENCHMARK(BM_SplineRun)->Args({MaxPoints - 1, 1})->Args({65535, 5})->Unit(benchmark::kMillisecond);

} // namespace

BENCHMARK_MAIN();
