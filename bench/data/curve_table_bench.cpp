// Curve tables at the size of a large import: 30,000 rows appended and posted in
// ascending Age order, and a table of that size saved to and loaded from its file.
#include <benchmark/benchmark.h>

#include <filesystem>
#include <unistd.h>

#include "data/dm_sea.h"

namespace {

using quorvane::data::CurveTable;
using quorvane::data::TdmSea;

constexpr int Rows = 30000;

void fill(CurveTable& t, int rows)
{
    for (int i = 0; i < rows; ++i) {
        t.append();
        t.setFloat(0, i * 0.01);
        t.setFloat(1, 0.7071 + i * 1e-7);
        t.setFloat(2, 1e-5);
        t.post();
    }
}

/// A curve table of Rows rows with all five fields set, as a spline run leaves it.
void fillCurve(CurveTable& t)
{
    t.createDataSet();
    for (int i = 0; i < Rows; ++i) {
        t.append();
        for (int f = 0; f < 5; ++f)
            t.setFloat(f, i * 0.01 + f);
        t.post();
    }
}

std::string tempFolder()
{
    std::string pattern = (std::filesystem::temp_directory_path() / "quorvane-bench-XXXXXX").string();
    return ::mkdtemp(pattern.data());
}

void BM_AppendPostAscending(benchmark::State& state)
{
    TdmSea dm;
    for (auto _ : state) {
        dm.cdsSeaRaw.createDataSet();
        fill(dm.cdsSeaRaw, Rows);
        benchmark::DoNotOptimize(dm.cdsSeaRaw.rowCount());
    }
    state.SetItemsProcessed(state.iterations() * Rows);
}
BENCHMARK(BM_AppendPostAscending)->Unit(benchmark::kMillisecond);

void BM_AppendPostShuffled(benchmark::State& state)
{
    TdmSea dm;
    for (auto _ : state) {
        dm.cdsSeaRaw.createDataSet();
        for (int i = 0; i < Rows; ++i) {
            dm.cdsSeaRaw.append();
            dm.cdsSeaRaw.setFloat(0, (i * 7919) % Rows); // a permutation of 0..Rows-1
            dm.cdsSeaRaw.post();
        }
        dm.cdsSeaRaw.first(); // merges the rows into Age order
    }
}
BENCHMARK(BM_AppendPostShuffled)->Unit(benchmark::kMillisecond);

void BM_SaveToFile(benchmark::State& state)
{
    const std::string folder = tempFolder();
    TdmSea dm;
    fillCurve(dm.cdsSeaSpl);
    const std::string path = folder + "/SeaSpl.cds";
    for (auto _ : state)
        dm.cdsSeaSpl.saveToFile(path);
    std::filesystem::remove_all(folder);
}
BENCHMARK(BM_SaveToFile)->Unit(benchmark::kMillisecond);

void BM_LoadFromFile(benchmark::State& state)
{
    const std::string folder = tempFolder();
    const std::string path = folder + "/SeaSpl.cds";
    {
        TdmSea dm;
        fillCurve(dm.cdsSeaSpl);
        dm.cdsSeaSpl.saveToFile(path);
    }
    TdmSea dm;
    for (auto _ : state) {
        dm.cdsSeaSpl.loadFromFile(path);
        benchmark::DoNotOptimize(dm.cdsSeaSpl.rowCount());
    }
    std::filesystem::remove_all(folder);
}
BENCHMARK(BM_LoadFromFile)->Unit(benchmark::kMillisecond);

} // namespace

BENCHMARK_MAIN();
