// The moving median and trimean of 101 points over 15,000 raw points: every
// window copied and Shell-sorted anew, as the calculation does. The whole
// Calculate command (MovAv emptied, 15,000 rows appended, both tables closed
// and reopened, which writes MovAv's internal file), and the statistics alone.
#include <benchmark/benchmark.h>

#include <cmath>
#include <filesystem>
#include <random>
#include <unistd.h>

#include "app/settings/settings_store.h"
#include "data/dm_sea.h"
#include "movav/moving_average.h"

namespace {

using namespace quorvane;

constexpr int Raw = 15000;

struct Module {
    Module()
    {
        char pattern[] = "/tmp/quorvane-bench-XXXXXX";
        folder = ::mkdtemp(pattern);
        data::seedInternalFolder(folder + "/internal");
        for (data::CurveTable* t : dm.tables()) {
            t->bindToFile(data::TdmSea::filePath(folder + "/internal", *t));
            t->loadFromFile(t->boundFile());
        }
        std::mt19937_64 rng(3);
        std::normal_distribution<double> noise(0.0, 0.1);
        data::CurveTable& raw = dm.cdsSeaRaw;
        for (int i = 0; i < Raw; ++i) {
            raw.append();
            raw.setFloat(0, i * 0.37);
            raw.setFloat(1, 3.5 + std::sin(i / 300.0) + noise(rng));
            raw.setFloat(2, 0.05);
            raw.post();
        }
    }
    ~Module()
    {
        for (data::CurveTable* t : dm.tables())
            t->bindToFile({});
        std::error_code ec;
        std::filesystem::remove_all(folder, ec);
    }
    std::string folder;
    data::TdmSea dm;
};

void BM_MovingAverageCommand(benchmark::State& state, const char* type)
{
    Module module;
    SettingsStore settings;
    NullStatusSink status;
    MovingAverage calc(module.dm, settings, status);
    calc.rbMean = std::string(type) == "Mean";
    calc.rbMedian = std::string(type) == "Median";
    calc.rbTrimean = std::string(type) == "Trimean";
    for (auto _ : state) {
        MovingAverageFields fields{"1.96", "0.1", "101", "1.0", "0.0", "1.0"};
        benchmark::DoNotOptimize(calc.bbDefineClick(fields));
    }
    state.counters["rows"] = module.dm.cdsMovAv.rowCount();
}
BENCHMARK_CAPTURE(BM_MovingAverageCommand, median, "Median")->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_MovingAverageCommand, trimean, "Trimean")->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_MovingAverageCommand, mean, "Mean")->Unit(benchmark::kMillisecond);

} // namespace

BENCHMARK_MAIN();
