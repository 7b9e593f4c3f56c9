// The moving average over bound tables, its statistics, and the oracle's
// independent moving mean, median and trimean on a real data set.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <cstring>
#include <fstream>
#include <sstream>

#include "app/settings/settings_store.h"
#include "data/table_file.h"
#include "import/csv_import.h"
#include "movav/moving_average.h"
#include "spline/calc_fixture.h"
#include "work/parameter_text.h"

namespace quorvane {
namespace {

using test::Point;

class MovingAverageTest : public ::testing::Test {
protected:
    std::string run(const char* type, const char* points)
    {
        calc.rbMean = std::string(type) == "Mean";
        calc.rbMedian = std::string(type) == "Median";
        calc.rbTrimean = std::string(type) == "Trimean";
        fields.PointIncrementStr = points;
        return calc.bbDefineClick(fields);
    }
    std::vector<double> ratios()
    {
        std::vector<double> out;
        for (const auto& row : tables.dm.cdsMovAv.rows())
            out.push_back(*row[1]);
        return out;
    }

    test::BoundTables tables;
    test::RecordingStatus status;
    SettingsStore settings;
    MovingAverage calc{tables.dm, settings, status};
    MovingAverageFields fields{"1.96", "0.1", "5", "1.0", "0.0", "1.0"};
};

TEST_F(MovingAverageTest, TheWorkedExampleUnderTheThreeStatistics)
{
    test::appendRows(tables.dm.cdsSeaRaw, {{1, 5, 0}, {2, 1, 0}, {3, 4, 0}, {4, 2, 0}, {5, 3, 0}});
    struct Case {
        const char* type;
        std::vector<double> expected;
    };
    const Case cases[] = {
        {"Mean", {5, 10.0 / 3, 7.0 / 3, 3, 3}},
        {"Median", {5, 4, 2, 3, 3}},
        {"Trimean", {5, 3.5, 2.25, 3, 3}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.type);
        EXPECT_EQ(run(c.type, "3"), std::string("Moving ") + c.type + " (3 point)");
        const auto got = ratios();
        ASSERT_EQ(got.size(), c.expected.size());
        for (std::size_t i = 0; i < got.size(); ++i)
            EXPECT_DOUBLE_EQ(got[i], c.expected[i]) << "point " << i + 1;
        for (const auto& row : tables.dm.cdsMovAv.rows()) {
            EXPECT_FALSE(row[2].has_value()); // Error and N stay null
            EXPECT_FALSE(row[3].has_value());
        }
    }
    EXPECT_EQ(status.textsOf(0), (std::vector<std::string>{"Emptying data tables", "Calculating curve", "All completed",
                                                            "Emptying data tables", "Calculating curve", "All completed",
                                                            "Emptying data tables", "Calculating curve", "All completed"}));
    // Closing and reopening wrote MovAv to its internal file.
    EXPECT_EQ(data::readTableFile(tables.file(tables.dm.cdsMovAv)).rowCount(), 5u);
}

TEST_F(MovingAverageTest, NumberOfPointsTextAndTheChartTitle)
{
    test::appendRows(tables.dm.cdsSeaRaw, {{1, 5, 0}, {1, 1, 0}, {3, 4, 0}});
    struct Case {
        const char* typed;
        const char* shown; ///< the field after the run
        const char* title;
    };
    const Case cases[] = {
        {"4", "5", "Moving Median (5 point)"},  {"0", "1", "Moving Median (1 point)"},
        {"7", "7", "Moving Median (7 point)"},  {"12.5", "13", "Moving Median (13 point)"},
        {"abc", "1", "Moving Median (1 point)"}, {"101", "101", "Moving Median (101 point)"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.typed);
        EXPECT_EQ(run("Median", c.typed), c.title);
        EXPECT_EQ(fields.PointIncrementStr, c.shown);
        EXPECT_EQ(settings.text(key::NumberOfPointsToAverage), upperCase(c.typed)); // as typed
        EXPECT_EQ(tables.dm.cdsMovAv.rowCount(), 3); // one row per raw point, equal ages included
    }
    run("Mean", "1");
    EXPECT_EQ(ratios(), (std::vector<double>{5, 1, 4})); // n = 1: every value its own
}

TEST_F(MovingAverageTest, RefusedNumbersLeaveMovAvAsItWas)
{
    test::appendRows(tables.dm.cdsSeaRaw, {{1, 5, 0}, {2, 1, 0}});
    run("Mean", "1");
    struct Case {
        const char* type;
        const char* typed;
        const char* text;
    };
    const Case cases[] = {
        {"Mean", "-7", text::NegativePointsToAverage},
        {"Median", "102", text::TooManyPointsToSort},
        {"Trimean", "+500", text::TooManyPointsToSort},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.typed);
        try {
            run(c.type, c.typed);
            ADD_FAILURE() << "not refused";
        } catch (const Error& e) {
            EXPECT_STREQ(e.what(), c.text);
        }
        EXPECT_EQ(tables.dm.cdsMovAv.rowCount(), 2);
        EXPECT_EQ(settings.text(key::NumberOfPointsToAverage), c.typed); // stored before the check
    }
    EXPECT_EQ(run("Mean", "501"), "Moving Mean (501 point)"); // the mean has no buffer to outgrow
}

TEST_F(MovingAverageTest, ARawTableThatCannotBeOpenedLeavesThePreviousCurve)
{
    test::appendRows(tables.dm.cdsSeaRaw, {{1, 5, 0}, {2, 1, 0}, {3, 4, 0}});
    run("Mean", "3");
    ASSERT_EQ(tables.dm.cdsMovAv.rowCount(), 3);
    // SeaRaw closed with no file to open, as when SeaRaw.cds was missing at show.
    tables.dm.cdsSeaRaw.close();
    std::filesystem::remove(tables.file(tables.dm.cdsSeaRaw));
    tables.dm.cdsSeaRaw.bindToFile("");
    try {
        run("Mean", "3");
        FAIL() << "ran without raw points";
    } catch (const data::TableError& e) {
        EXPECT_STREQ(e.what(), "Missing data provider or data packet");
    }
    EXPECT_EQ(tables.dm.cdsMovAv.rowCount(), 3) << "the former moving average is kept";
}

TEST_F(MovingAverageTest, ShortTablesAndAFreshRunAfterALongOne)
{
    std::vector<Point> many;
    for (int i = 0; i < 3000; ++i)
        many.push_back({static_cast<double>(i), static_cast<double>(i % 7), 0});
    test::appendRows(tables.dm.cdsSeaRaw, many);
    run("Trimean", "9");
    EXPECT_EQ(tables.dm.cdsMovAv.rowCount(), 3000);

    tables.dm.cdsSeaRaw.emptyTable();
    test::appendRows(tables.dm.cdsSeaRaw, {{1, 2, 0}, {2, 4, 0}, {3, 9, 0}});
    run("Mean", "9"); // h = 4 on three points: r = min(h, j - 1, N - j)
    EXPECT_EQ(ratios(), (std::vector<double>{2, 5, 9}));

    tables.dm.cdsSeaRaw.emptyTable();
    test::appendRows(tables.dm.cdsSeaRaw, {{1, 2, 0}});
    run("Median", "5");
    EXPECT_EQ(ratios(), (std::vector<double>{2}));

    tables.dm.cdsSeaRaw.emptyTable();
    run("Median", "5");
    EXPECT_TRUE(tables.dm.cdsMovAv.isEmpty()); // an empty table writes no row
}

TEST_F(MovingAverageTest, TheSlidingWindowGivesWhatSortingEachWindowAfreshGives)
{
    // Values with many ties (a coarse grid) and signed zeros, so the order of
    // equal values and the kept path for -0.0 both show.
    struct Case {
        const char* name;
        bool negativeZero;
    };
    const Case cases[] = {{"ties", false}, {"with -0.0: each window sorted anew", true}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        std::vector<Point> points;
        unsigned seed = 12345;
        for (int i = 0; i < 1500; ++i) {
            seed = seed * 1103515245u + 12345u;
            double y = static_cast<double>((seed >> 16) % 13) * 0.25 - 1.5;
            if (c.negativeZero && i % 97 == 0)
                y = -0.0;
            points.push_back({i * 0.5, y, 0});
        }
        tables.dm.cdsSeaRaw.emptyTable();
        test::appendRows(tables.dm.cdsSeaRaw, points);
        for (const char* type : {"Median", "Trimean"}) {
            for (const char* n : {"3", "10", "101"}) {
                SCOPED_TRACE(std::string(type) + " " + n);
                run(type, n);
                const auto got = ratios();
                const int N = static_cast<int>(points.size());
                const int h = std::atoi(fields.PointIncrementStr.c_str()) / 2;
                ASSERT_EQ(static_cast<int>(got.size()), N);
                for (int j = 1; j <= N; ++j) {
                    const int r = std::min({h, j - 1, N - j});
                    const double fresh = std::string(type) == "Median" ? calc.MedianOf(j - r, j + r)
                                                                        : calc.TrimeanOf(j - r, j + r);
                    ASSERT_EQ(std::memcmp(&fresh, &got[static_cast<std::size_t>(j - 1)], sizeof fresh), 0)
                        << "point " << j << ": " << fresh << " vs " << got[static_cast<std::size_t>(j - 1)];
                }
            }
        }
    }
}

TEST(SortValues, GapsShrinkByTheDecimalFactor)
{
    struct Case {
        const char* name;
        std::vector<double> values;
    };
    std::vector<double> descending;
    for (int i = 101; i >= 1; --i)
        descending.push_back(i);
    const Case cases[] = {
        {"one", {3}},
        {"two", {2, 1}},
        {"four, one pass of gap 1", {4, 3, 1, 2}},
        {"five, gaps 2 and 1", {5, 1, 4, 2, 3}},
        {"with duplicates", {2, 2, 1, 3, 1, 2, 0}},
        {"101 descending, gaps 45 20 9 4 1", descending},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        SortBuffer buffer;
        const int k = static_cast<int>(c.values.size());
        for (int i = 1; i <= k; ++i)
            buffer[i] = c.values[static_cast<std::size_t>(i - 1)];
        MovingAverage::SortValues(buffer, k, 1);
        std::vector<double> sorted = c.values;
        std::sort(sorted.begin(), sorted.end());
        for (int i = 1; i <= k; ++i)
            EXPECT_EQ(buffer[i], sorted[static_cast<std::size_t>(i - 1)]);
    }
    EXPECT_THROW(SortBuffer()[102], RangeError);
}

TEST(QuartilesOf, TheQuartileSlotForEachWindowCount)
{
    // q = (k + 3) div 4: k = 3 gives 1, 5 and 7 give 2, 9 and 11 give 3.
    for (const auto& [k, q] : std::vector<std::pair<int, int>>{{3, 1}, {5, 2}, {7, 2}, {9, 3}, {11, 3}, {101, 26}}) {
        SCOPED_TRACE(k);
        SortBuffer buffer;
        for (int i = 1; i <= k; ++i)
            buffer[i] = i * 10.0;
        double lower = 0, upper = 0;
        MovingAverage::QuartilesOf(buffer, k, lower, upper);
        EXPECT_EQ(lower, q * 10.0);
        EXPECT_EQ(upper, (k + 1 - q) * 10.0);
    }
}

TEST(MovingAverageOracle, AgreesWithTheOracleOnARealDataSet)
{
    QUORVANE_REQUIRE_ORACLE(python);
    const std::string raw = test::sharedDir() + "/data/devils_hole_d18o.csv";
    for (const char* type : {"Mean", "Median", "Trimean"}) {
        for (const char* n : {"7", "100"}) {
            SCOPED_TRACE(std::string(type) + " n = " + n);
            test::BoundTables tables;
            importCsv(raw, tables.dm.cdsSeaRaw, tables.dm.cdsDeltaT);
            SettingsStore settings;
            test::RecordingStatus status;
            MovingAverage calc(tables.dm, settings, status);
            calc.rbMean = std::string(type) == "Mean";
            calc.rbMedian = std::string(type) == "Median";
            calc.rbTrimean = std::string(type) == "Trimean";
            MovingAverageFields fields{"1.96", "0.1", n, "1.0", "0.0", "1.0"};
            calc.bbDefineClick(fields);

            const std::string out = tables.dir.file("movav.csv");
            std::string stat = type;
            std::transform(stat.begin(), stat.end(), stat.begin(), ::tolower);
            std::string log;
            ASSERT_EQ(test::runCommand(python + " " + test::oracleDir() + "/movav_oracle.py movav " + raw + " --n " + n +
                                           " --stat " + stat + " -o " + out,
                                       log),
                      0)
                << log;
            std::ifstream in(out);
            std::string line;
            std::getline(in, line);
            int row = 0;
            const data::CurveTable& movav = tables.dm.cdsMovAv;
            while (std::getline(in, line)) {
                std::stringstream ss(line);
                std::string age, ratio;
                std::getline(ss, age, ',');
                std::getline(ss, ratio, ',');
                ASSERT_LT(row, movav.rowCount());
                EXPECT_EQ(movav.value(row, 0), std::stod(age));
                // The mean is a sequential sum in both programs; order statistics are exact.
                EXPECT_NEAR(movav.value(row, 1), std::stod(ratio), 1e-13) << "row " << row;
                ++row;
            }
            EXPECT_EQ(row, movav.rowCount());
        }
    }
}

} // namespace
} // namespace quorvane
