#pragma once
// The main of the benchmarks that need widgets (bench/support/gui_bench_main.cpp):
// one application object, offscreen unless a platform is named, and a place to
// destroy widgets kept between benchmarks before that object goes.
#include <functional>

namespace quorvane::bench {

/// Runs `cleanup` after the benchmarks, while the application object still exists.
void atBenchmarksEnd(std::function<void()> cleanup);

} // namespace quorvane::bench
