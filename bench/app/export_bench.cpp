// Exporting a 30,000-row spline curve through its template: reading the template,
// inserting the band rows in one operation, filling five fields per row and writing
// the workbook, as the "&Spline" export command does.
#include <benchmark/benchmark.h>

#include <filesystem>
#include <unistd.h>

#include "app/export_commands.h"
#include "data/dm_sea.h"

namespace {

void BM_ExportSpline(benchmark::State& state)
{
    using namespace quorvane;
    data::TdmSea dm;
    data::CurveTable& t = dm.cdsSeaSpl;
    t.createDataSet();
    const int rows = static_cast<int>(state.range(0));
    for (int i = 0; i < rows; ++i) {
        t.append();
        t.setFloat(0, i * 0.01);
        t.setFloat(1, 0.7075 + i * 1e-7);
        t.setFloat(2, 1.5e-5);
        t.setFloat(3, 1e-4 / (i + 1));
        t.setFloat(4, 0.5);
        t.post();
    }
    app::setExportTemplate(dm, app::ExportCurve::Spline, std::string(QUORVANE_SOURCE_DIR) + "/templates/");
    const std::string out = std::filesystem::temp_directory_path() / ("quorvane-export-bench-" + std::to_string(::getpid()) + ".xls");
    for (auto _ : state) {
        app::runExport(dm, app::ExportCurve::Spline, out);
        state.PauseTiming();
        std::filesystem::remove(out);
        state.ResumeTiming();
    }
    state.SetItemsProcessed(state.iterations() * rows);
}
BENCHMARK(BM_ExportSpline)->Arg(30000)->Unit(benchmark::kMillisecond);

} // namespace

BENCHMARK_MAIN();
