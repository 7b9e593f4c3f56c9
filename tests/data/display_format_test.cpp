#include <gtest/gtest.h>

#include "data/curve_table.h"

namespace quorvane::data {
namespace {

TEST(DisplayFormat, PatternsRoundHalfAwayFromZeroOnTheExactBinaryValue)
{
    struct Case {
        double value;
        const char* pattern;
        char point;
        const char* expected;
    };
    const Case cases[] = {
        {1234.5678, "####0.000", '.', "1234.568"},
        {0.5, "####0.000", '.', "0.500"},
        {0.0625, "####0.000", '.', "0.063"},      // exact tie: away from zero (printf gives 0.062)
        {-0.0625, "####0.000", '.', "-0.063"},
        {2.5, "####0", '.', "3"},                 // exact tie at no decimals
        {0.0005, "####0.000", '.', "0.001"},      // 0.0005 is just above the tie in binary
        {0.0004, "####0.000", '.', "0.000"},
        {-0.0004, "####0.000", '.', "0.000"},     // rounds to zero: no minus sign
        {-0.0, "##0.00000", '.', "0.00000"},
        {0.70921, "##0.00000", ',', "0,70921"},   // locale decimal point
        {123456.0, "##0.00", '.', "123456.00"},   // no group separators, integer part not cut
        {9.9996, "####0.000", '.', "10.000"},     // carry into the integer part
        {1.25, "0.0#", '.', "1.25"},
        {1.2, "0.0#", '.', "1.2"},                // optional decimal dropped
        {0.1, "", '.', "0.1"},                    // no pattern: shortest exact form
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.pattern) + " " + std::to_string(c.value));
        EXPECT_EQ(formatDisplay(c.value, c.pattern, c.point), c.expected);
    }
}

} // namespace
} // namespace quorvane::data
