#include "bench/support/gui_bench.h"

#include <vector>

#include <QApplication>
#include <benchmark/benchmark.h>

namespace quorvane::bench {

namespace {
std::vector<std::function<void()>>& cleanups()
{
    static std::vector<std::function<void()>> list;
    return list;
}
} // namespace

void atBenchmarksEnd(std::function<void()> cleanup) { cleanups().push_back(std::move(cleanup)); }

} // namespace quorvane::bench

int main(int argc, char** argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    for (auto& cleanup : quorvane::bench::cleanups())
        cleanup();
    return 0;
}
