// The cell dump behind `quorvane-batch cells`, on the xlwt fixture.
#include "xls/dumpcells.h"
#include "xls/errors.h"

#include <gtest/gtest.h>

#include <sstream>

using quorvane::xls::dumpCells;

namespace {
const std::string queries = QUORVANE_TEST_FIXTURES "/xls/queries.xls";
}

TEST(DumpCells, OneSheet)
{
    std::ostringstream out;
    dumpCells(queries, 1, out);
    EXPECT_EQ(out.str(),
              "sheet\t1\tPoints\n"
              "1\t1\ttext\tAge\n1\t2\ttext\tRatio\n1\t3\ttext\tError\n"
              "2\t1\tnumber\t0\n2\t2\tnumber\t0.709175\n2\t3\tnumber\t1.2e-05\n"
              "3\t1\tnumber\t1.5\n3\t2\tnumber\t0.70918\n3\t3\tnumber\t1e-05\n"
              "4\t1\tnumber\t10\n4\t2\tnumber\t0.7089\n"
              "5\t1\tnumber\t123456789\n5\t2\tnumber\t1e+10\n5\t3\tnumber\t-7\n"
              "6\t1\ttext\tunknown\n");
}

TEST(DumpCells, EscapesKindsAndAllSheets)
{
    std::ostringstream out;
    dumpCells(queries, std::nullopt, out);
    const std::string s = out.str();
    for (const char* line : {"sheet\t2\tTypes\n", "1\t1\tbool\tTRUE\n", "1\t2\tbool\tFALSE\n",
                             "3\t1\ttext\ttab\\there\n", "4\t1\ttext\tline1\\nline2\n",
                             "5\t1\ttext\tback\\\\slash\n", "6\t1\ttext\t\u0394-\u03a9 \U0001d11e\n",
                             "2\t1\tblank\t\n", // a formula xlwt stored with an empty result (type 3)
                             "sheet\t3\tLeer\n"}) {
        SCOPED_TRACE(line);
        EXPECT_NE(s.find(line), std::string::npos);
    }
    EXPECT_EQ(s.rfind("sheet\t3\tLeer\n"), s.size() - 13); // an empty sheet lists no cells
}

TEST(DumpCells, Refusals)
{
    std::ostringstream out;
    try {
        dumpCells(queries, 4, out);
        FAIL();
    } catch (const quorvane::Error& e) {
        EXPECT_STREQ(e.what(), "List index out of bounds (3)");
    }
    try {
        dumpCells("/nonexistent/book.xls", std::nullopt, out);
        FAIL();
    } catch (const quorvane::Error& e) {
        EXPECT_STREQ(e.what(), "Can't find the file \"/nonexistent/book.xls\"");
    }
    EXPECT_EQ(out.str(), "");
}
