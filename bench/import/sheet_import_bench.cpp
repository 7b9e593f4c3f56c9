// Importing the 65,536 x 3 numeric sheet of a peer-written workbook into SeaRaw
// and DeltaT, both saved to internal files: the import proper (emptying the rows
// of the previous import, the row loop, saving SeaRaw, rebuilding and saving
// DeltaT). Opening the workbook is not counted: bench_xls_reader measures it.
// The workbooks are the peer fixtures in ../shared/fixtures/xls (skipped when absent).
#include <benchmark/benchmark.h>

#include <unistd.h>

#include <filesystem>
#include <string>

#include "data/dm_sea.h"
#include "import/sheet_import.h"
#include "platform/status_sink.h"
#include "xls/xlsimport.h"

namespace {

void BM_ImportWholeSheet(benchmark::State& state, const char* writer)
{
    const std::string path = std::string(QUORVANE_SHARED_DIR) + "/fixtures/xls/" + writer + "-big.xls";
    if (!std::filesystem::exists(path)) {
        state.SkipWithError("peer fixture absent");
        return;
    }
    std::string folder = (std::filesystem::temp_directory_path() / "quorvane-bench-XXXXXX").string();
    if (!::mkdtemp(folder.data())) {
        state.SkipWithError("no temporary folder");
        return;
    }
    quorvane::data::TdmSea dm;
    for (quorvane::data::CurveTable* t : {&dm.cdsSeaRaw, &dm.cdsDeltaT}) {
        t->createDataSet();
        t->bindToFile(quorvane::data::TdmSea::filePath(folder, *t));
    }
    quorvane::xls::TXLSAdapter adapter;
    quorvane::xls::TXlsImport workbook;
    workbook.SetAdapter(&adapter);
    workbook.OpenWorkbook(path);
    workbook.SetActiveSheet(1);
    quorvane::NullStatusSink status;
    quorvane::SheetImport import(workbook, dm.cdsSeaRaw, dm.cdsDeltaT, folder, status);
    quorvane::SheetImportOutcome outcome;
    for (auto _ : state)
        outcome = import.run({1, 65536, 1, 2, 3});
    state.counters["rows"] = outcome.imported;
    state.counters["deltaT_rows"] = dm.cdsDeltaT.rowCount();
    std::filesystem::remove_all(folder);
}

BENCHMARK_CAPTURE(BM_ImportWholeSheet, xlwt, "xlwt")->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_ImportWholeSheet, sheetjs, "sheetjs")->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_ImportWholeSheet, poi, "poi")->Unit(benchmark::kMillisecond);

} // namespace

BENCHMARK_MAIN();
