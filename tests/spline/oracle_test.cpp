// Agreement with an independent program: the oracle in the shared folder fits
// the same natural smoothing spline with scipy (make_smoothing_spline, lam =
// p / 2, the 1e-7 shift modelled in its knots). Our stop test may end with the
// residual sum above s, so the oracle is run at our own final p and must then
// give our curve, our derivative, our residual sum and our MSWD; the
// tolerances are those its README gives (compare.py's defaults). The binning
// of the real data sets is checked against the oracle's own binning as well.
#include <gtest/gtest.h>

#include <cmath>
#include <fstream>
#include <random>
#include <regex>

#include "app/settings/settings_store.h"
#include "import/csv_import.h"
#include "spline/calc_fixture.h"
#include "spline/smooth_spline.h"
#include "spline/spline_run.h"
#include "spline/spline_values.h"
#include "work/nspl.h"

namespace quorvane {
namespace {

using test::Point;

double printed(const std::string& output, const std::string& name)
{
    const std::regex re("(^|[ \\n])" + name + "=([-+0-9.eE]+|nan|inf)");
    std::smatch m;
    if (!std::regex_search(output, m, re))
        return std::nan("");
    return std::stod(m[2]);
}

struct OracleRun {
    int status = -1;
    std::string fitOutput, compareOutput;
};

/// Runs the oracle at our p on the points file and compares our curve file with it.
OracleRun runOracle(const std::string& python, const std::string& folder, const std::string& points,
                    const std::string& ours, double S, int nspl, double wmult, double wconst, double p)
{
    OracleRun run;
    const std::string oracle = folder + "/oracle.csv";
    const std::string fit = python + " " + test::oracleDir() + "/spline_oracle.py " + points + " --S " +
                            test::exact(S) + " --nspl " + std::to_string(nspl) + " --wmult " + test::exact(wmult) +
                            " --wconst " + test::exact(wconst) + " --p " + test::exact(p) + " -o " + oracle;
    if (test::runCommand(fit, run.fitOutput) != 0)
        return run;
    run.status = test::runCommand(python + " " + test::oracleDir() + "/compare.py " + ours + " " + oracle,
                                  run.compareOutput);
    return run;
}

TEST(SplineOracle, GeneratedDataSets)
{
    QUORVANE_REQUIRE_ORACLE(python);
    struct Case {
        const char* name;
        int n;
        double span;
        double S;
        unsigned seed;
    };
    const Case cases[] = {
        {"small, unit span", 7, 1.0, 0.8, 1},
        {"irregular ages over 100", 60, 100.0, 0.5, 2},
        {"wide span, loose fit", 400, 5000.0, 1.2, 3},
        {"tight fit", 150, 10.0, 0.3, 4},
        {"close ages", 80, 0.01, 1.0, 5},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        test::BoundTables tables;
        std::mt19937 rng(c.seed);
        std::uniform_real_distribution<double> unit(0.0, 1.0);
        std::vector<Point> points;
        double age = 0.0;
        for (int i = 0; i < c.n; ++i) {
            age += c.span / c.n * (0.2 + 1.6 * unit(rng));
            const double phase = age / c.span * 6.283185307179586;
            points.push_back({age, std::sin(3 * phase) + 0.3 * std::cos(7 * phase) + 0.1 * (unit(rng) - 0.5),
                              0.03 + 0.07 * unit(rng)});
        }
        WorkArrays& w = workArrays();
        for (int i = 1; i <= c.n; ++i) {
            w.X[i] = points[static_cast<std::size_t>(i - 1)].age;
            w.Y[i] = points[static_cast<std::size_t>(i - 1)].ratio;
            w.E[i] = points[static_cast<std::size_t>(i - 1)].error;
        }
        test::appendRows(tables.dm.cdsSeaRawAv, points, true);
        test::RecordingStatus status;
        SmoothSpline solver(tables.dm, status);
        splineValues().TargetTable = "SeaSpl";
        splineValues().WMult = 1.0;
        splineValues().WConst = 0.01;
        NSpl() = 3 * c.n;
        solver(w.X, w.Y, w.E, c.n, c.S);
        const SplineFit& fit = solver.lastFit();
        EXPECT_TRUE(fit.f2 >= fit.s || fit.passes > 1) << "stopped before the residual sum grew";

        const std::string pointsCsv = tables.dir.file("points.csv"), ours = tables.dir.file("ours.csv");
        test::writePointsCsv(points, pointsCsv);
        test::writeCurveCsv(tables.dm.cdsSeaSpl, ours);
        const OracleRun run = runOracle(python, tables.dir.path(), pointsCsv, ours, c.S, NSpl(), 1.0, 0.01, fit.p);
        EXPECT_EQ(run.status, 0) << run.fitOutput << run.compareOutput;
        EXPECT_NEAR(printed(run.fitOutput, "f2") / fit.f2, 1.0, 1e-8) << run.fitOutput;
        EXPECT_NEAR(printed(run.fitOutput, "MSWD"), fit.mswd, 1e-8 * std::max(1.0, fit.mswd)) << run.fitOutput;
    }
}

TEST(SplineOracle, RealDataSetsThroughTheWholeRun)
{
    QUORVANE_REQUIRE_ORACLE(python);
    struct Case {
        const char* file;
        const char *increment, *wconst, *from, *to;
    };
    // Binnings of the oracle's README: per-mil values want a small WConst, the
    // 87Sr/86Sr values one of the order of their analytical precision.
    const Case cases[] = {
        {"bralower1997_sr_fossil.csv", "0.1", "2E-5", "0", "200"},
        {"devils_hole_d18o.csv", "2", "0.07", "0", "1000"},
        {"lr04_benthic_d18o.csv", "0.1", "0.01", "-1", "6000"},
    };
    for (const Case& c : cases) {
        for (const char* S : {"0.8", "1.2"}) {
            SCOPED_TRACE(std::string(c.file) + " S = " + S);
            test::BoundTables tables;
            data::TdmSea& dm = tables.dm;
            const std::string raw = test::sharedDir() + "/data/" + c.file;
            importCsv(raw, dm.cdsSeaRaw, dm.cdsDeltaT);

            SettingsStore settings;
            test::RecordingStatus status;
            SplineCurveRun run(dm, settings, status);
            SplineFields fields{"1.96", c.wconst, S, c.increment, c.from, c.to, "0"};
            run.bbDefineClick(fields, SplineSelections{true, true, false, false});
            const SplineFit& fit = run.centralFit();
            const int n = dm.cdsSeaRawAv.rowCount();
            ASSERT_GT(n, 10);

            // Our binning against the oracle's.
            const std::string binned = tables.dir.file("oracle-bins.csv");
            std::string out;
            ASSERT_EQ(test::runCommand(python + " " + test::oracleDir() + "/movav_oracle.py bin " + raw +
                                           " --age-increment " + c.increment + " --wconst " + c.wconst +
                                           " --from-age " + c.from + " --to-age " + c.to + " -o " + binned,
                                       out),
                      0)
                << out;
            std::ifstream bins(binned);
            std::string line;
            std::getline(bins, line);
            int row = 0;
            while (std::getline(bins, line) && row < n) {
                std::stringstream ss(line);
                std::string cell;
                for (int f = 0; f < 4 && std::getline(ss, cell, ','); ++f) {
                    const double want = std::stod(cell), got = dm.cdsSeaRawAv.value(row, f);
                    EXPECT_NEAR(got, want, 1e-12 * std::max(1.0, std::fabs(want))) << "bin " << row << " field " << f;
                }
                ++row;
            }
            EXPECT_EQ(row, n);

            // The central curve at our p.
            const std::string points = tables.dir.file("averaged.csv"), ours = tables.dir.file("ours.csv");
            std::vector<Point> av;
            for (int r = 0; r < n; ++r)
                av.push_back({dm.cdsSeaRawAv.value(r, 0), dm.cdsSeaRawAv.value(r, 1), dm.cdsSeaRawAv.value(r, 2)});
            test::writePointsCsv(av, points);
            test::writeCurveCsv(dm.cdsSeaSpl, ours);
            const OracleRun check = runOracle(python, tables.dir.path(), points, ours, std::stod(S), NSpl(), 1.96,
                                              std::stod(c.wconst), fit.p);
            EXPECT_EQ(check.status, 0) << check.fitOutput << check.compareOutput;
            EXPECT_NEAR(printed(check.fitOutput, "f2") / fit.f2, 1.0, 1e-8) << check.fitOutput;
        }
    }
}

} // namespace
} // namespace quorvane
