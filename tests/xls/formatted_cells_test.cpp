// The formatted cell dump over workbooks LibreOffice wrote (tests/fixtures/xls/grid).
#include "xls/errors.h"
#include "xls/numfmt/formatted_cells.h"

#include <gtest/gtest.h>

#include <sstream>

namespace quorvane::xls::numfmt {
namespace {

const std::string Fixtures = std::string(QUORVANE_TEST_FIXTURES) + "/xls/grid/";

std::string dump(const std::string& file, std::optional<int> sheet)
{
    std::ostringstream out;
    dumpFormattedCells(Fixtures + file, sheet, out);
    return out.str();
}

TEST(FormattedCells, ValuesShowThroughTheirFormats)
{
    const std::string out = dump("lo-styled.xls", 1);
    for (const char* line : {"sheet\t1\tStyled\n", "3\t1\tnumber\t1234.57\n", "3\t2\tnumber\t1,234,567\n",
                             "3\t3\tnumber\t25.6%\n", "3\t4\tnumber\t2024-01-15\n", "3\t5\tnumber\t-42.50\n",
                             "1\t1\ttext\tQuarterly figures\n"}) {
        SCOPED_TRACE(line);
        EXPECT_NE(out.find(line), std::string::npos) << out;
    }
}

TEST(FormattedCells, FormulaCellsCarryTheirText)
{
    const std::string out = dump("lo-formulas.xls", 1);
    for (const char* line : {"1\t4\tnumber\t7\t=1+2*3\n", "11\t4\tnumber\t20\t=Other!A1*2\n",
                             "13\t4\ttext\tpos\t=IF(A1>0,\"pos\",\"neg\")\n", "19\t4\terror\t#DIV/0!\t=1/0\n",
                             "1\t1\tnumber\t1\n"}) {
        SCOPED_TRACE(line);
        EXPECT_NE(out.find(line), std::string::npos) << out;
    }
}

TEST(FormattedCells, RefusesASheetOutsideTheWorkbook)
{
    std::ostringstream out;
    EXPECT_THROW(dumpFormattedCells(Fixtures + "lo-formulas.xls", 3, out), QueryError);
    EXPECT_TRUE(out.str().empty());
}

} // namespace
} // namespace quorvane::xls::numfmt
