// Opening a workbook with a 65,536 x 3 numeric sheet and reading every cell with
// CellValue, against python3-xlrd doing the same on the same file in the same run.
// The workbooks are the peer fixtures in ../shared/fixtures/xls (skipped when absent).
#include "xls/xlsimport.h"

#include <benchmark/benchmark.h>

#include <sys/resource.h>

#include <cstdio>
#include <filesystem>
#include <memory>
#include <string>

namespace {

std::string bigFixture(const char* writer)
{
    return std::string(QUORVANE_SHARED_DIR) + "/fixtures/xls/" + writer + "-big.xls";
}

double peakRssMiB()
{
    rusage u{};
    getrusage(RUSAGE_SELF, &u);
    return static_cast<double>(u.ru_maxrss) / 1024.0;
}

void BM_OpenAndReadEveryCell(benchmark::State& state, const char* writer)
{
    const std::string path = bigFixture(writer);
    if (!std::filesystem::exists(path)) {
        state.SkipWithError("peer fixture absent");
        return;
    }
    quorvane::xls::TXLSAdapter adapter;
    double sum = 0;
    for (auto _ : state) {
        auto imp = std::make_unique<quorvane::xls::TXlsImport>();
        imp->SetAdapter(&adapter);
        imp->OpenWorkbook(path);
        imp->SetActiveSheet(1);
        for (int r = 1; r <= 65536; ++r)
            for (int c = 1; c <= 3; ++c) {
                const auto v = imp->CellValue(r, c);
                if (const double* d = std::get_if<double>(&v))
                    sum += *d;
            }
        benchmark::DoNotOptimize(sum);
        // Closing the workbook is not part of opening and reading it.
        state.PauseTiming();
        imp.reset();
        state.ResumeTiming();
    }
    state.counters["peak_rss_MiB"] = peakRssMiB();
}

// xlrd opens the file and reads every cell value; it times itself, so that interpreter
// start-up is not counted, and reports its own peak memory.
void BM_XlrdSameFile(benchmark::State& state, const char* writer)
{
    const std::string path = bigFixture(writer);
    if (!std::filesystem::exists(path)) {
        state.SkipWithError("peer fixture absent");
        return;
    }
    const std::string cmd =
        "/usr/bin/python3 -c \"import sys,time,resource,xlrd\n"
        "t=time.perf_counter(); c0=time.process_time(); b=xlrd.open_workbook(sys.argv[1]); s=b.sheet_by_index(0)\n"
        "x=sum(s.cell_value(r,c) for r in range(s.nrows) for c in range(3) if s.cell_type(r,c)==2)\n"
        "print(time.perf_counter()-t, time.process_time()-c0, resource.getrusage(resource.RUSAGE_SELF).ru_maxrss/1024)\" '" + path + "'";
    double rss = 0;
    double cpuTotal = 0;
    for (auto _ : state) {
        FILE* p = popen(cmd.c_str(), "r");
        double seconds = -1;
        double cpu = 0;
        if (!p || std::fscanf(p, "%lf %lf %lf", &seconds, &cpu, &rss) != 3 || seconds < 0) {
            if (p)
                pclose(p);
            state.SkipWithError("python3-xlrd failed");
            return;
        }
        pclose(p);
        state.SetIterationTime(seconds);
        cpuTotal += cpu;
    }
    // xlrd's own processor time: on a shared machine the fair one to compare with the
    // engine's CPU column.
    state.counters["xlrd_cpu_ms"] = benchmark::Counter(cpuTotal * 1000.0, benchmark::Counter::kAvgIterations);
    state.counters["peak_rss_MiB"] = rss;
}

} // namespace

BENCHMARK_CAPTURE(BM_OpenAndReadEveryCell, libreoffice, "libreoffice")->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_OpenAndReadEveryCell, poi, "poi")->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_OpenAndReadEveryCell, xlwt, "xlwt")->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_XlrdSameFile, libreoffice, "libreoffice")->UseManualTime()->Iterations(3)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_XlrdSameFile, poi, "poi")->UseManualTime()->Iterations(3)->Unit(benchmark::kMillisecond);
BENCHMARK_MAIN();
