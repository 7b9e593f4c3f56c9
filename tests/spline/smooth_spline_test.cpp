// The solver alone: the points are loaded into the work arrays by hand.
#include <gtest/gtest.h>

#include <cmath>

#include "platform/errors.h"
#include "spline/calc_fixture.h"
#include "spline/smooth_spline.h"
#include "spline/spline_values.h"
#include "work/nspl.h"

namespace quorvane {
namespace {

using test::Point;

class SmoothSplineTest : public ::testing::Test {
protected:
    void load(const std::vector<Point>& points)
    {
        WorkArrays& w = workArrays();
        int i = 0;
        for (const Point& p : points) {
            ++i;
            w.X[i] = p.age;
            w.Y[i] = p.ratio;
            w.E[i] = p.error;
        }
        n = i;
        // SeaRawAv holds the same points, as the spline run leaves it.
        test::appendRows(tables.dm.cdsSeaRawAv, points, true);
    }
    void fit(double S, const std::string& target = "SeaSpl")
    {
        splineValues().TargetTable = target;
        WorkArrays& w = workArrays();
        solver(w.X, w.Y, w.E, n, S);
    }
    void SetUp() override
    {
        splineValues().WMult = 1.96;
        splineValues().WConst = 0.05;
    }

    test::BoundTables tables;
    test::RecordingStatus status;
    SmoothSpline solver{tables.dm, status};
    int n = 0;
};

// The five-point case of the oracle's README, where the stop test accepts a
// step beyond s: p = 0 -> 0.355204 -> 2.949226 -> 28.991074, f2 = 3.530760.
const std::vector<Point> overshoot = {{3, 6, 0.5}, {6, 8, 2}, {7, 6, 0.5}, {9, 4, 1}, {11, 0, 0.5}};

TEST_F(SmoothSplineTest, FiveProgressTextsPerPassAndTheIterationThatOvershootsS)
{
    load(overshoot);
    NSpl() = 20;
    fit(0.8);
    const SplineFit& f = solver.lastFit();
    EXPECT_DOUBLE_EQ(f.s, 3.2);
    EXPECT_NEAR(f.p, 28.991074, 1e-6);
    EXPECT_NEAR(f.f2, 3.530760, 1e-6);
    EXPECT_EQ(f.passes, 4);

    std::vector<std::string> expected = {"1st loop", "2nd loop"};
    for (int pass = 0; pass < 3; ++pass)
        expected.insert(expected.end(), {"3rd loop", "4th loop", "5th loop", "6th loop"});
    expected.insert(expected.end(), {"3rd loop", "4th loop", "5th loop", "7th loop", "8th loop", "Complete"});
    EXPECT_EQ(status.textsOf(1), expected);
}

TEST_F(SmoothSplineTest, RowsPerIntervalNoRowAtTheLastAgeAndTheFixedColumns)
{
    load(overshoot);
    NSpl() = 20; // 20 div 5 = 4 rows per interval
    fit(0.8);
    const data::CurveTable& spl = tables.dm.cdsSeaSpl;
    ASSERT_EQ(spl.rowCount(), (5 - 1) * 4);
    for (int interval = 0; interval < 4; ++interval)
        EXPECT_EQ(spl.value(interval * 4, 0), overshoot[static_cast<std::size_t>(interval)].age);
    // The last row: x[N-1] + 3/4 of the shifted spacing; x[N] has no row.
    EXPECT_DOUBLE_EQ(spl.value(15, 0), 9 + 3 * 1.0 * (11 - 9 - 1e-7) / 4);
    for (int r = 0; r < spl.rowCount(); ++r) {
        EXPECT_EQ(spl.value(r, 2), 1.96 * 0.05); // WMult * WConst, whatever the point's dy
        EXPECT_EQ(spl.value(r, 4), 0.8);         // the argument S, not s
    }
}

TEST_F(SmoothSplineTest, ZeroPrecisionInterpolatesEveryPoint)
{
    load({{0, 1, 0.1}, {1, 3, 0.2}, {2.5, 2, 0.1}, {3, 5, 0.3}, {4.5, 4, 0.1}, {6, 0, 0.2}});
    NSpl() = 12;
    fit(0.0);
    EXPECT_EQ(solver.lastFit().p, 0.0);
    EXPECT_EQ(solver.lastFit().passes, 1);
    const data::CurveTable& spl = tables.dm.cdsSeaSpl;
    ASSERT_EQ(spl.rowCount(), 5 * 2);
    const double ys[] = {1, 3, 2, 5, 4};
    for (int j = 0; j < 5; ++j)
        EXPECT_EQ(spl.value(2 * j, 1), ys[j]) << "row at data age " << j;
    EXPECT_EQ(status.panel(4), "MSWD = 0.000"); // the curve meets every averaged point it reaches
    EXPECT_EQ(status.panel(2), "i = 5");
}

TEST_F(SmoothSplineTest, TwoPointsGiveTheStraightLine)
{
    load({{1, 2, 0.1}, {3, 6, 0.1}});
    NSpl() = 8;
    EXPECT_THROW(fit(0.8), FloatingPointError); // the MSWD over one point; the rows stay
    const data::CurveTable& spl = tables.dm.cdsSeaSpl;
    ASSERT_EQ(spl.rowCount(), 4);
    const double slope = 4 / (2 - 1e-7);
    for (int r = 0; r < 4; ++r) {
        const double age = spl.value(r, 0);
        EXPECT_NEAR(spl.value(r, 1), 2 + slope * (age - 1), 1e-12);
        EXPECT_NEAR(spl.value(r, 3), slope * 10000, 1e-8);
    }
    EXPECT_EQ(solver.lastFit().passes, 1);
    EXPECT_FALSE(tables.dm.cdsSeaSpl.controlsDisabled()); // resumed despite the failure
}

TEST_F(SmoothSplineTest, EqualAgesGiveANegativeSpacingAndNoFailure)
{
    load({{0, 1, 0.1}, {1, 2, 0.1}, {1, 2.5, 0.1}, {2, 1, 0.1}, {3, 0, 0.1}});
    NSpl() = 10;
    EXPECT_NO_THROW(fit(0.8, "none")); // an unknown target appends nothing and skips the MSWD
    EXPECT_TRUE(tables.dm.cdsSeaSpl.isEmpty());
    EXPECT_EQ(status.panel(1), "Complete");
}

TEST_F(SmoothSplineTest, EachTargetGetsItsRowsAndOnlyTheCentralCurveAnMswd)
{
    struct Case {
        const char* target;
        data::CurveTable data::TdmSea::*table;
    };
    for (const Case c : {Case{"SeaSplP", &data::TdmSea::cdsSeaSplP}, Case{"SeaSplM", &data::TdmSea::cdsSeaSplM}}) {
        SCOPED_TRACE(c.target);
        status.panels.clear();
        workArrays().X[1] = 0; // reloaded below
        tables.dm.cdsSeaRawAv.emptyTable();
        load(overshoot);
        NSpl() = 10;
        fit(0.8, c.target);
        EXPECT_EQ((tables.dm.*c.table).rowCount(), 4 * 2);
        EXPECT_TRUE(tables.dm.cdsSeaSpl.isEmpty());
        EXPECT_EQ(status.panel(4), "");
    }
}

TEST_F(SmoothSplineTest, ArithmeticFailuresStopWithTheirTexts)
{
    struct Case {
        const char* name;
        std::vector<Point> points;
        const char* text;
        int rowsLeft; ///< rows appended before the failure
    };
    const Case cases[] = {
        // ages exactly 1e-7 apart: (x2 - x1) - 1e-7 == 0 divides y2 - y1
        {"zero spacing", {{0, 1, 0.1}, {1e-7, 2, 0.1}, {1, 0, 0.1}}, "Floating point division by zero", 0},
        {"zero spacing, equal values", {{0, 1, 0.1}, {1e-7, 1, 0.1}, {1, 0, 0.1}}, "Invalid floating point operation", 0},
        // a zero dy is harmless to the fit and fails in the MSWD weights 1 / dy^2
        {"zero dy", {{0, 1, 0.1}, {1, 3, 0}, {2, 2, 0.1}, {3, 1, 0.1}}, "Floating point division by zero", 6},
        // only the first averaged point lies within the curve: count - 1 = 0
        {"one point in the MSWD", {{0, 1, 0.1}, {1, 3, 0.1}}, "Invalid floating point operation", 2},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        tables.dm.cdsSeaSpl.emptyTable();
        tables.dm.cdsSeaRawAv.emptyTable();
        load(c.points);
        NSpl() = 2 * n;
        try {
            fit(0.0);
            ADD_FAILURE() << "no failure";
        } catch (const FloatingPointError& e) {
            EXPECT_STREQ(e.what(), c.text);
        }
        EXPECT_EQ(tables.dm.cdsSeaSpl.rowCount(), c.rowsLeft);
        EXPECT_FALSE(tables.dm.cdsSeaSpl.controlsDisabled());
    }
}

TEST_F(SmoothSplineTest, AFullWorkAreaIsARangeError)
{
    // Slot N + 1 lies beyond the work area: 15000 points cannot be fitted.
    EXPECT_THROW(solver(workArrays().X, workArrays().Y, workArrays().E, MaxPoints, 0.8), RangeError);
    EXPECT_TRUE(tables.dm.cdsSeaSpl.isEmpty());
}

TEST_F(SmoothSplineTest, TooFewSplinePointsAppendNothing)
{
    load(overshoot);
    NSpl() = 4; // 4 div 5 = 0 points per interval
    fit(0.8, "SeaSplP");
    EXPECT_TRUE(tables.dm.cdsSeaSplP.isEmpty());
}

} // namespace
} // namespace quorvane
