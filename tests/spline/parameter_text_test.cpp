// Parameter texts and the fill-from-table rule, shared by both calculations.
#include <gtest/gtest.h>

#include <clocale>
#include <cmath>
#include <optional>

#include "spline/calc_fixture.h"
#include "work/fill_from_table.h"
#include "work/parameter_text.h"

namespace quorvane {
namespace {

TEST(ParameterText, DecimalNumbersWithAPointInAnyLocale)
{
    // A German numeric locale must not change what "1.5" means (if installed).
    const char* before = std::setlocale(LC_NUMERIC, nullptr);
    const std::string saved = before ? before : "C";
    std::setlocale(LC_NUMERIC, "de_DE.UTF-8");
    struct Case {
        const char* text;
        std::optional<double> value;
    };
    const Case cases[] = {
        {"1.5", 1.5},     {" 0.8 ", 0.8},  {"-.5", -0.5},     {"+2", 2.0},       {"2E-5", 2e-5},
        {"1e3", 1000.0},  {"5.", 5.0},     {"1,5", std::nullopt}, // a comma is not a decimal point here
        {"", std::nullopt}, {"abc", std::nullopt}, {"inf", std::nullopt}, {"nan", std::nullopt},
        {"1.5x", std::nullopt}, {"1e", std::nullopt}, {".", std::nullopt}, {"0x10", std::nullopt},
        {"1e999", HUGE_VAL}, // beyond the doubles: the largest the type holds
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        EXPECT_EQ(parseDecimal(c.text), c.value);
    }
    EXPECT_EQ(parameterNumber("not a number"), 0.0);
    std::setlocale(LC_NUMERIC, saved.c_str());
}

TEST(ParameterText, IntegersKeepTheirSignOnlyWhenWhole)
{
    struct Case {
        const char* text;
        int value;
    };
    const Case cases[] = {
        {"5", 5},    {"+4", 4},  {"-7", -7}, {"  12", 12}, {"12.5", 12}, {"1e3", 1},
        {"-3x", 3},  {"abc", 0}, {"", 0},    {"0", 0},     {"99999999999", 2147483647},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        EXPECT_EQ(parameterInteger(c.text), c.value);
    }
    EXPECT_EQ(upperCase("1e-3 abc"), "1E-3 ABC");
}

TEST(FillFromTable, CopiesInAgeOrderAndStopsAtTheCapacity)
{
    test::BoundTables tables;
    data::CurveTable& raw = tables.dm.cdsSeaRaw;
    WorkArrays& w = workArrays();

    // Out of order, with a null Ratio that reads as 0.
    test::appendRows(raw, {{3, 30, 0}, {1, 10, 0}, {2, 20, 0}});
    raw.first();
    raw.edit();
    raw.setNull(raw.field("Ratio"));
    raw.post();
    w.X[4] = 99; // beyond N: left alone
    EXPECT_EQ(fillFromTable(raw, {{0, &w.X}, {1, &w.Y}}), 3);
    EXPECT_EQ(w.X[1], 1);
    EXPECT_EQ(w.X[3], 3);
    EXPECT_EQ(w.Y[1], 0);
    EXPECT_EQ(w.Y[3], 30);
    EXPECT_EQ(w.X[4], 99);

    raw.emptyTable();
    EXPECT_EQ(fillFromTable(raw, {{0, &w.X}}), 0); // an empty table is no point at all

    raw.disableControls();
    for (int i = 1; i <= MaxPoints + 1; ++i)
        test::appendRows(raw, {{static_cast<double>(i), 0, 0}});
    raw.enableControls();
    EXPECT_EQ(fillFromTable(raw, {{0, &w.X}}), MaxPoints); // the row of the greatest age takes no part
    EXPECT_EQ(w.X[MaxPoints], MaxPoints);
}

} // namespace
} // namespace quorvane
