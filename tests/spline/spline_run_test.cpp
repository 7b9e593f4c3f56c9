// The spline curve run over bound tables: binning, loading, NSpl, the three
// curves, the internal files, the status texts and the failures.
#include <gtest/gtest.h>

#include "app/settings/settings_store.h"
#include "data/table_file.h"
#include "spline/calc_fixture.h"
#include "spline/spline_run.h"
#include "spline/spline_values.h"
#include "work/nspl.h"

namespace quorvane {
namespace {

using test::Point;

class SplineRunTest : public ::testing::Test {
protected:
    SplineFields fields(const char* ageIncrement = "0.1", const char* from = "0", const char* to = "10")
    {
        return {"1.96", "0.05", "0.8", ageIncrement, from, to, "15000"};
    }
    void run(SplineFields& f, const SplineSelections& sel) { splineRun.bbDefineClick(f, sel); }

    test::BoundTables tables;
    test::RecordingStatus status;
    SettingsStore settings;
    SplineCurveRun splineRun{tables.dm, settings, status};
    data::TdmSea& dm = tables.dm;
};

const SplineSelections averageOnly{true, false, false, false};
const SplineSelections everything{true, true, true, true};

TEST_F(SplineRunTest, BinsOfTheWorkedExample)
{
    test::appendRows(dm.cdsSeaRaw, {{1.00, 10, 0.2}, {1.05, 11, 0.2}, {1.08, 12, 0.2}, {1.12, 13, 0.01}, {1.30, 14, 0.3}});
    SplineFields f = fields();
    run(f, averageOnly);
    const auto rows = dm.cdsSeaRawAv.rows();
    ASSERT_EQ(rows.size(), 3u);
    EXPECT_DOUBLE_EQ(*rows[0][0], (1.00 + 1.05 + 1.08) / 3); // about 1.0433
    EXPECT_DOUBLE_EQ(*rows[0][1], 11);
    EXPECT_DOUBLE_EQ(*rows[0][2], 1.0); // sample standard deviation of 10, 11, 12
    EXPECT_EQ(*rows[0][3], 3);
    EXPECT_EQ(*rows[1][2], 0.05); // a one-point bin's own error, raised to WConst
    EXPECT_EQ(*rows[1][3], 1);
    EXPECT_EQ(*rows[2][2], 0.3);

    f = fields("0.1", "0", "1.0"); // the default "Age to": every bin lies above it
    run(f, averageOnly);
    EXPECT_TRUE(dm.cdsSeaRawAv.isEmpty());
}

TEST_F(SplineRunTest, BinEdgeCases)
{
    struct Case {
        const char* name;
        std::vector<Point> raw;
        const char *from, *to, *increment;
        std::vector<std::vector<double>> expected; // Age, Ratio, Error, N
    };
    const Case cases[] = {
        {"equal ratios get WConst", {{2, 5, 0.3}, {2.02, 5, 0.3}}, "0", "10", "0.1", {{2.01, 5, 0.05, 2}}},
        {"ages equal to FromAge and ToAge are dropped", {{1, 1, 0.1}, {2, 2, 0.1}, {3, 3, 0.1}}, "1", "3", "0.1",
         {{2, 2, 0.1, 1}}},
        {"a null Error reads as 0 and is raised", {{4, 4, -1}}, "0", "10", "0.1", {{4, 4, 0.05, 1}}},
        {"an increment of 0 gives one bin per point and no empty bin", {{1, 1, 0.1}, {1, 2, 0.1}}, "0", "10", "0",
         {{1, 1, 0.1, 1}, {1, 2, 0.1, 1}}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        dm.cdsSeaRaw.emptyTable();
        test::appendRows(dm.cdsSeaRaw, c.raw);
        if (c.raw[0].error < 0) {
            dm.cdsSeaRaw.first();
            dm.cdsSeaRaw.edit();
            dm.cdsSeaRaw.setNull(dm.cdsSeaRaw.field("Error"));
            dm.cdsSeaRaw.post();
        }
        SplineFields f = fields(c.increment, c.from, c.to);
        run(f, averageOnly);
        const auto rows = dm.cdsSeaRawAv.rows();
        ASSERT_EQ(rows.size(), c.expected.size());
        for (std::size_t r = 0; r < rows.size(); ++r)
            for (std::size_t k = 0; k < 4; ++k)
                EXPECT_DOUBLE_EQ(*rows[r][k], c.expected[r][k]) << "row " << r << " field " << k;
    }
}

TEST_F(SplineRunTest, AHundredAndFirstPointInABinIsARangeError)
{
    std::vector<Point> raw = {{0.5, 1, 0.1}}; // a bin of its own, written before the failure
    for (int i = 0; i < 101; ++i)
        raw.push_back({1 + i * 1e-4, 2, 0.1});
    test::appendRows(dm.cdsSeaRaw, raw);
    SplineFields f = fields();
    try {
        run(f, everything);
        FAIL() << "no failure";
    } catch (const RangeError& e) {
        EXPECT_STREQ(e.what(), "Range check error");
    }
    EXPECT_EQ(dm.cdsSeaRawAv.rowCount(), 1);
    EXPECT_FALSE(dm.cdsSeaRaw.controlsDisabled());
    EXPECT_FALSE(dm.cdsSeaRawAv.controlsDisabled());

    raw.pop_back(); // exactly 100 points fit
    dm.cdsSeaRaw.emptyTable();
    test::appendRows(dm.cdsSeaRaw, raw);
    run(f, averageOnly);
    EXPECT_EQ(dm.cdsSeaRawAv.rowCount(), 2);
}

TEST_F(SplineRunTest, TenPointsRaiseNSplToTwentyAndWriteEveryFile)
{
    std::vector<Point> raw;
    for (int i = 0; i < 10; ++i)
        raw.push_back({1.0 + i, 5.0 + (i % 3), 0.2});
    test::appendRows(dm.cdsSeaRaw, raw);
    SplineFields f = fields("0.1", "0", "100");
    f.eNSpl = "5";
    f.WMultStr = "1.96";
    f.SStr = "8e-1"; // stored upper case
    run(f, everything);

    EXPECT_EQ(NSpl(), 20);
    EXPECT_EQ(f.eNSpl, "20");
    EXPECT_EQ(settings.text(key::RequiredSmoothingPrecision), "8E-1");
    EXPECT_EQ(settings.text(key::AgeRangeToAverage), "0.1");
    for (data::CurveTable* t : {&dm.cdsSeaSpl, &dm.cdsSeaSplP, &dm.cdsSeaSplM}) {
        SCOPED_TRACE(t->name());
        EXPECT_EQ(t->rowCount(), 9 * 2);
        // Closing and reopening wrote the rows to the internal file.
        EXPECT_EQ(data::readTableFile(tables.file(*t)).rowCount(), 18u);
    }
    EXPECT_EQ(data::readTableFile(tables.file(dm.cdsSeaRawAv)).rowCount(), 10u);
    // The envelopes are separate fits of Y +- WMult * E0, so they lie on either side.
    for (int r = 0; r < 18; ++r)
        EXPECT_LT(dm.cdsSeaSplM.value(r, 1), dm.cdsSeaSpl.value(r, 1));

    const std::vector<std::string> panel0 = {
        "Emptying data tables",    "Copying and Averaging data", "Reading average data",
        "Smoothing central curve", "Central curve completed",    "Smoothing plus error curve",
        "Plus error curve completed", "Smoothing minus error curve", "Minus error curve completed",
        "All completed"};
    EXPECT_EQ(status.textsOf(0), panel0);
    EXPECT_EQ(status.panel(1), "");
    EXPECT_EQ(status.panel(2), "10");
    EXPECT_EQ(status.panel(3), "0.553 < S < 1.447");
    EXPECT_EQ(status.panel(4).rfind("MSWD = ", 0), 0u);
}

TEST_F(SplineRunTest, RecommendedRangeOfSForFiftyRowsAndAUserDecimalComma)
{
    std::vector<Point> av;
    for (int i = 0; i < 50; ++i)
        av.push_back({static_cast<double>(i), 1, 0.1});
    test::appendRows(dm.cdsSeaRawAv, av, true);
    SplineCurveRun comma(dm, settings, status, ',');
    SplineFields f = fields();
    comma.bbDefineClick(f, SplineSelections{}); // nothing selected: the averaged rows stay as they are
    EXPECT_EQ(status.panel(3), "0,800 < S < 1,200");
    EXPECT_EQ(dm.cdsSeaRawAv.rowCount(), 50);
}

TEST_F(SplineRunTest, UncheckedCurvesKeepTheirRows)
{
    test::appendRows(dm.cdsSeaSplP, {{7, 7, 7}});
    test::appendRows(dm.cdsSeaRaw, {{1, 1, 0.1}, {2, 3, 0.1}, {3, 2, 0.1}, {4, 5, 0.1}});
    SplineFields f = fields();
    run(f, SplineSelections{true, true, false, false});
    EXPECT_EQ(dm.cdsSeaSplP.rowCount(), 1);
    EXPECT_EQ(dm.cdsSeaSpl.rowCount(), 3 * 15000 / 4);
}

TEST_F(SplineRunTest, AnEmptyTableGivesNoCurveRowsAndSaysSo)
{
    test::appendRows(dm.cdsSeaSpl, {{7, 7, 7}});
    SplineFields f = fields();
    run(f, everything);
    EXPECT_TRUE(dm.cdsSeaRawAv.isEmpty());
    EXPECT_TRUE(dm.cdsSeaSpl.isEmpty());
    EXPECT_EQ(status.panel(3), "No averaged points to smooth");
    EXPECT_EQ(status.panel(0), "All completed");
}

TEST_F(SplineRunTest, FifteenThousandAveragedPointsAreRefusedBeforeFitting)
{
    std::vector<Point> av;
    for (int i = 0; i < MaxPoints + 1; ++i)
        av.push_back({static_cast<double>(i), 1, 0.1});
    dm.cdsSeaRawAv.disableControls();
    test::appendRows(dm.cdsSeaRawAv, av, true);
    dm.cdsSeaRawAv.enableControls();
    SplineFields f = fields();
    try {
        run(f, SplineSelections{false, true, false, false});
        FAIL() << "no failure";
    } catch (const Error& e) {
        EXPECT_STREQ(e.what(), text::TooManyAveragedPoints);
    }
    EXPECT_EQ(NSpl(), 2 * MaxPoints); // loaded N = 15000 before the refusal
    EXPECT_TRUE(dm.cdsSeaSpl.isEmpty());
}

TEST_F(SplineRunTest, TwoAveragedPointsStopInTheMswdWithTheRowsKept)
{
    test::appendRows(dm.cdsSeaRaw, {{1, 1, 0.1}, {2, 3, 0.1}});
    SplineFields f = fields();
    try {
        run(f, everything);
        FAIL() << "no failure";
    } catch (const FloatingPointError& e) {
        EXPECT_STREQ(e.what(), "Invalid floating point operation");
    }
    EXPECT_EQ(dm.cdsSeaSpl.rowCount(), 15000 / 2);
    EXPECT_EQ(status.panel(0), "Smoothing central curve");
}

TEST_F(SplineRunTest, ApplicationWideValuesAndRawGridHooks)
{
    test::appendRows(dm.cdsSeaRaw, {{1, 1, 0.1}, {2, 3, 0.1}, {3, 2, 0.1}});
    std::vector<bool> hook;
    splineRun.rawGridAttachment = [&](bool attached) { hook.push_back(attached); };
    SplineFields f{"2", "0.01", "1.2", "0.5", "0.5", "2.5E0", "7"};
    run(f, SplineSelections{true, false, false, true});
    const SplineValues& v = splineValues();
    EXPECT_EQ(v.WMult, 2);
    EXPECT_EQ(v.WConst, 0.01);
    EXPECT_EQ(v.S, 1.2);
    EXPECT_EQ(v.AgeIncrement, 0.5);
    EXPECT_EQ(v.FromAge, 0.5);
    EXPECT_EQ(v.ToAge, 2.5);
    EXPECT_EQ(v.TargetTable, "SeaSplM");
    EXPECT_EQ(NSpl(), 7); // 2N = 4 is not greater
    EXPECT_EQ(hook, (std::vector<bool>{false, true}));
    EXPECT_EQ(dm.cdsSeaRawAv.rowCount(), 2); // age 3 lies above ToAge
}

} // namespace
} // namespace quorvane
