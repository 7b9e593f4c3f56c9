// DeltaT from SeaRaw, and raw points from a CSV file.
#include <gtest/gtest.h>

#include "data/table_file.h"
#include "import/csv_import.h"
#include "import/delta_t.h"
#include "spline/calc_fixture.h"

namespace quorvane {
namespace {

std::vector<std::vector<double>> plain(const data::CurveTable& t)
{
    std::vector<std::vector<double>> out;
    for (const auto& row : t.rows()) {
        auto& r = out.emplace_back();
        for (const auto& v : row)
            r.push_back(v ? *v : -999);
    }
    return out;
}

TEST(DeltaT, IncrementsBetweenConsecutiveAgesInAgeOrder)
{
    struct Case {
        const char* name;
        std::vector<test::Point> raw;
        std::vector<std::vector<double>> expected;
    };
    const Case cases[] = {
        {"out of order, equal ages give 0", {{3, 0, 0}, {1, 0, 0}, {1, 0, 0}, {2.5, 0, 0}},
         {{1, 0}, {2.5, 1.5}, {3, 0.5}}},
        {"one row leaves DeltaT empty", {{4, 0, 0}}, {}},
        {"no row", {}, {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        test::BoundTables tables;
        data::CurveTable& deltaT = tables.dm.cdsDeltaT;
        deltaT.append(); // replaced
        deltaT.setFloat(0, 9);
        deltaT.post();
        test::appendRows(tables.dm.cdsSeaRaw, c.raw);
        rebuildDeltaT(tables.dm.cdsSeaRaw, tables.dm.cdsDeltaT);
        EXPECT_EQ(plain(tables.dm.cdsDeltaT), c.expected);
        EXPECT_FALSE(tables.dm.cdsDeltaT.controlsDisabled());
    }
}

TEST(CsvImport, DropsRowsWithoutAgeOrRatioAndSavesBothTables)
{
    test::BoundTables tables;
    const std::string csv = tables.dir.file("points.csv");
    test::writeFile(csv,
                    "\xEF\xBB\xBF"
                    "Ratio, Age ,Error\r\n"
                    "10,3,0.5\r\n"
                    "11,1,\r\n"       // empty Error stays null
                    ",2,0.1\r\n"      // no Ratio: dropped
                    "12,word,0.1\r\n" // Age not a number: dropped
                    "13,2.5,abc\r\n"  // Error neither empty nor a number: dropped
                    "\r\n"
                    "\"14\",4E0,1e-3\r\n");
    test::appendRows(tables.dm.cdsSeaRaw, {{100, 1, 1}}); // replaced
    const CsvImportResult result = importCsv(csv, tables.dm.cdsSeaRaw, tables.dm.cdsDeltaT);
    EXPECT_EQ(result.linesRead, 6);
    EXPECT_EQ(result.imported, 3);
    const std::vector<std::vector<double>> raw = {{1, 11, -999}, {3, 10, 0.5}, {4, 14, 1e-3}};
    EXPECT_EQ(plain(tables.dm.cdsSeaRaw), raw);
    EXPECT_EQ(plain(tables.dm.cdsDeltaT), (std::vector<std::vector<double>>{{3, 2}, {4, 1}}));
    EXPECT_EQ(data::readTableFile(tables.file(tables.dm.cdsSeaRaw)).rowCount(), 3u);
    EXPECT_EQ(data::readTableFile(tables.file(tables.dm.cdsDeltaT)).rowCount(), 2u);
}

TEST(CsvImport, RefusesAFileWithoutTheColumnsAndKeepsSeaRaw)
{
    test::BoundTables tables;
    test::appendRows(tables.dm.cdsSeaRaw, {{100, 1, 1}});
    const std::string csv = tables.dir.file("points.csv");
    for (const char* content : {"", "x,y\n1,2\n", "Age,Error\n1,2\n"}) {
        SCOPED_TRACE(content);
        test::writeFile(csv, content);
        EXPECT_THROW(importCsv(csv, tables.dm.cdsSeaRaw, tables.dm.cdsDeltaT), Error);
        EXPECT_EQ(tables.dm.cdsSeaRaw.rowCount(), 1);
    }
    EXPECT_THROW(importCsv(tables.dir.file("missing.csv"), tables.dm.cdsSeaRaw, tables.dm.cdsDeltaT), Error);
}

} // namespace
} // namespace quorvane
