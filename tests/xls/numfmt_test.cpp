// Number formats: checked against a table rendered by an independent implementation
// (tests/fixtures/xls/numfmt/ssf-table.tsv) and against hand-checked cases for what
// that table cannot show (locale symbols, colours, the 1904 date system).
#include "xls/numfmt/numfmt.h"
#include "xls/text.h"

#include <gtest/gtest.h>

#include <charconv>
#include <limits>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

namespace quorvane::xls::numfmt {
namespace {

std::string u8(const std::u16string& s) { return toUtf8(s); }

std::vector<std::string> splitTabs(const std::string& line)
{
    std::vector<std::string> f;
    std::size_t start = 0;
    for (std::size_t i = 0; i <= line.size(); ++i)
        if (i == line.size() || line[i] == '\t') {
            f.push_back(line.substr(start, i - start));
            start = i + 1;
        }
    return f;
}

TEST(NumberFormatOracle, AgreesWithIndependentRendererOnValuesTimesFormats)
{
    const std::string path = std::string(QUORVANE_TEST_FIXTURES) + "/xls/numfmt/ssf-table.tsv";
    std::ifstream in(path);
    ASSERT_TRUE(in) << path;
    std::string line;
    int rows = 0;
    while (std::getline(in, line)) {
        const auto f = splitTabs(line);
        ASSERT_EQ(f.size(), 4u) << line;
        std::u16string code;
        if (f[0].size() > 1 && f[0][0] == '#' && f[0][1] >= '0' && f[0][1] <= '9')
            code = std::u16string(builtinFormat(std::stoi(f[0].substr(1))));
        else
            code = fromUtf8(f[0]);
        CellVariant v;
        if (f[1] == "n") {
            double d = 0;
            std::from_chars(f[2].data(), f[2].data() + f[2].size(), d);
            v = d;
        } else if (f[1] == "b") {
            v = f[2] == "TRUE";
        } else {
            v = fromUtf8(f[2]);
        }
        const std::string got = u8(formatValue(v, code).text);
        if (got != f[3])
            ADD_FAILURE() << f[0] << " with " << f[2] << ": [" << got << "], expected [" << f[3] << "]";
        ++rows;
    }
    EXPECT_GT(rows, 0);
}

struct Case {
    const char* name;
    double value;
    const char16_t* code;
    const char* expected;
};

TEST(NumberFormat, LocaleSymbolsReplaceTheCodesPointAndComma)
{
    const Symbols comma{u',', u'.'};
    const Case cases[] = {
        {"decimals", 1234.5, u"0.00", "1234,50"},
        {"grouping", 1234567.891, u"#,##0.00", "1.234.567,89"},
        {"general", 0.25, u"General", "0,25"},
        {"percent", 0.125, u"0.0%", "12,5%"},
        {"scientific", 12345, u"0.00E+00", "1,23E+04"},
        {"time keeps its point", 0.5 + 1.25 / 86400, u"hh:mm:ss.00", "12:00:01.25"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(u8(formatValue(c.value, c.code, false, comma).text), c.expected);
    }
}

TEST(NumberFormat, ColoursComeFromTheChosenSection)
{
    const struct {
        const char* name;
        double value;
        const char16_t* code;
        int color;
    } cases[] = {
        {"negative red", -1, u"0;[Red]0", 10},
        {"positive none", 1, u"0;[Red]0", -1},
        {"palette number", 5, u"[Color12]0", 19},
        {"named blue", 5, u"[BLUE]0", 12},
        {"condition picks second", 150, u"[Red][<=100]0;[Blue][>100]0", 12},
        {"built-in 38 negative", -3, builtinFormat(38).data(), 10},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(formatValue(c.value, c.code).colorIndex, c.color);
    }
}

TEST(NumberFormat, HandCheckedEdgeCases)
{
    const Case cases[] = {
        // 1904 system is tested separately; these are the 1900 system.
        {"fictitious leap day", 60, u"yyyy-mm-dd", "1900-02-29"},
        {"day after it", 61, u"yyyy-mm-dd", "1900-03-01"},
        {"serial zero", 0, u"yyyy-mm-dd", "1900-01-00"},
        {"negative date", -1, u"yyyy-mm-dd", "########"},
        {"half away from zero on an exact tie", 0.125, u"0.00", "0.13"},
        {"exact binary below the tie", 1.005, u"0.00", "1.00"},
        {"rounds to zero shows no sign", -0.004, u"0.00", "0.00"},
        {"elapsed hours past a day", 2.25, u"[h]:mm", "54:00"},
        {"seconds round up into minutes", 59.9996 / 86400, u"mm:ss", "01:00"},
        {"mixed fraction", 5.75, u"# ?/?", "5 3/4"},
        {"improper fraction", 1.75, u"?/?", "7/4"},
        {"two scaling commas", 12345678, u"0.0,,\" M\"", "12.3 M"},
        {"literal before placeholders", 7, u"\"No. \"000", "No. 007"},
        {"escaped characters", 12, u"\\#0\\!", "#12!"},
        {"engineering exponent", 0.000123, u"##0.0E+0", "123.0E-6"},
        {"unknown bracket ignored", 3, u"[$-409]0.0", "3.0"},
        {"large general", 1e15, u"General", "1E+15"},
        {"nan", std::numeric_limits<double>::quiet_NaN(), u"General", "#NUM!"},
        // Rows the independent table leaves out because its renderer parts from the cell here.
        {"negative tie away from zero", -2.5, u"0", "-3"},
        {"best fraction approximation", 3.14159, u"# ?\?/?\?", "3 14/99"},
        {"closer ninth than zero", 0.0625, u"# ?/?", " 1/9"},
        {"built-in currency keeps its symbol", -1234.5, builtinFormat(7).data(), "($1,234.50)"},
        {"exponent width", 1234.5, u"0.0E-00", "1.2E03"},
        {"engineering mantissa carries", 9.99999, u"##0.0E+0", "10.0E+0"},
        {"digits beyond the placeholders", 123456789, u"000-000", "123456-789"},
        {"sign before literals", -1, u"000-000", "-000-001"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(u8(formatValue(c.value, c.code).text), c.expected);
    }
}

TEST(NumberFormat, DateSystem1904StartsFourYearsLater)
{
    EXPECT_EQ(u8(formatValue(0.0, u"yyyy-mm-dd", true).text), "1904-01-01");
    EXPECT_EQ(u8(formatValue(1.5, u"yyyy-mm-dd hh:mm", true).text), "1904-01-02 12:00");
    EXPECT_EQ(dateSerial(1904, 1, 1), 1462.0);
}

TEST(NumberFormat, NonNumbersIgnoreNumberSections)
{
    EXPECT_EQ(u8(formatValue(true, u"0.00").text), "TRUE");
    EXPECT_EQ(u8(formatValue(false, u"\"t:\"@").text), "FALSE");
    EXPECT_EQ(u8(formatValue(CellError{u"#N/A"}, u"0.00").text), "#N/A");
    EXPECT_EQ(u8(formatValue(CellVariant{}, u"0.00").text), "");
    EXPECT_EQ(u8(formatValue(std::u16string(u"x"), u"0.00;0.00;0;[Red]@").text), "x");
    EXPECT_EQ(formatValue(std::u16string(u"x"), u"0.00;0.00;0;[Red]@").colorIndex, 10);
}

TEST(NumberFormat, BuiltInIndicesAndDateDetection)
{
    EXPECT_EQ(std::u16string(builtinFormat(0)), u"General");
    EXPECT_EQ(std::u16string(builtinFormat(30)), u"General");
    EXPECT_TRUE(builtinFormat(50).empty());
    EXPECT_TRUE(builtinFormat(-1).empty());
    EXPECT_TRUE(NumberFormat(builtinFormat(14)).isDateTime());
    EXPECT_TRUE(NumberFormat(builtinFormat(46)).isDateTime());
    EXPECT_FALSE(NumberFormat(builtinFormat(11)).isDateTime());
    EXPECT_FALSE(NumberFormat(u"\"day\"0").isDateTime());
}

} // namespace
} // namespace quorvane::xls::numfmt
