// A chart bound to curve tables at the largest sizes an import leads to: the
// raw points (at most 65,535 rows of a sheet) as points and curves of 130,000
// rows as lines. Measures the bulk refill after a table change and the drawing
// at the spline window's chart size; the chart samples adaptively, the data
// are never thinned here.
#include <benchmark/benchmark.h>

#include <memory>

#include "bench/support/gui_bench.h"

#include <QApplication>
#include <cmath>

#include "data/curve_table.h"
#include "platform/ui/bound_chart.h"

namespace {

using namespace quorvane;

std::unique_ptr<data::CurveTable> table(int rows, double noise)
{
    auto t = std::make_unique<data::CurveTable>(
        "T", std::vector<data::FieldDef>{{"Age", data::FieldType::Float, ""}, {"Ratio", data::FieldType::Float, ""}});
    t->createDataSet();
    t->disableControls();
    for (int i = 0; i < rows; ++i) {
        const double age = i * (6553.5 / rows);
        t->append();
        t->setFloat(0, age);
        t->setFloat(1, 0.708 + 0.0002 * std::sin(age / 300) + noise * std::sin(i * 12.9898));
        t->post();
    }
    t->enableControls();
    return t;
}

struct Fixture {
    std::unique_ptr<data::CurveTable> raw = table(65535, 0.00005);
    std::unique_ptr<data::CurveTable> curve = table(130000, 0);
    ui::DBChart chart;
    Fixture()
    {
        chart.resize(846, 420);
        chart.addPointSeries("Data", ui::ChartSeries::PointStyle::Circle, 2, QColor(128, 0, 64))
            .setTable(raw.get(), "Ratio");
        for (const char* title : {"Spline", "+95%", "-95%"})
            chart.addLineSeries(title, Qt::red, 2).setTable(curve.get(), "Ratio");
        chart.addPointSeries("Data (av)", ui::ChartSeries::PointStyle::Square, 2).setTable(raw.get(), "Ratio");
        chart.show();
        chart.redraw();
    }
};

// Made on first use and destroyed when the benchmarks end, before the
// application object: a widget must not outlive it.
std::unique_ptr<Fixture>& fixtureSlot()
{
    static std::unique_ptr<Fixture> f;
    return f;
}

Fixture& fixture()
{
    if (!fixtureSlot()) {
        fixtureSlot() = std::make_unique<Fixture>();
        quorvane::bench::atBenchmarksEnd([] { fixtureSlot().reset(); });
    }
    return *fixtureSlot();
}

// A table change: every series refilled from its table, then one drawing.
void BM_ChartRefillAndRedraw(benchmark::State& state)
{
    Fixture& f = fixture();
    for (auto _ : state) {
        for (int i = 0; i < f.chart.seriesCount(); ++i)
            f.chart.series(i).tableChanged();
        f.chart.redraw();
    }
}
BENCHMARK(BM_ChartRefillAndRedraw)->Unit(benchmark::kMillisecond);

// Drawing alone, as a repaint after hiding or showing a series. Argument: the
// series drawn (bit i: series i), to see which kind costs what.
void BM_ChartRedraw(benchmark::State& state)
{
    Fixture& f = fixture();
    const auto mask = state.range(0);
    for (int i = 0; i < f.chart.seriesCount(); ++i)
        f.chart.series(i).setVisible((mask >> i) & 1);
    for (auto _ : state)
        f.chart.redraw();
    for (int i = 0; i < f.chart.seriesCount(); ++i)
        f.chart.series(i).setVisible(true);
}
// All five; the three lines; the two point series.
BENCHMARK(BM_ChartRedraw)->Arg(0b11111)->Arg(0b01110)->Arg(0b10001)->Unit(benchmark::kMillisecond);

} // namespace
