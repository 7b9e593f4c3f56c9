// quorvane-batch run in-process, with a settings file and internal folder of the test's own.
#include <algorithm>
#include <filesystem>
#include <fstream>
#include <sstream>

#include <gtest/gtest.h>

#include "app/settings/settings_store.h"
#include "cli/cli.h"
#include "data/dm_sea.h"
#include "support/temp_dir.h"

namespace quorvane::cli {
namespace {

struct BatchRun {
    int rc;
    std::string out, err;
};

class BatchTest : public ::testing::Test {
protected:
    BatchRun run(Args args)
    {
        Args full{"--settings", dir.file("Quorvane.INI"), "--internal", dir.file("internal")};
        full.insert(full.end(), args.begin(), args.end());
        std::ostringstream out, err;
        const int rc = runBatch(full, out, err);
        return {rc, out.str(), err.str()};
    }
    void TearDown() override { settingsStore().clear(); }

    test::TempDir dir;
};

TEST_F(BatchTest, InfoSeedsTheInternalFolderAndListsEveryTableFile)
{
    const BatchRun r = run({"info"});
    ASSERT_EQ(r.rc, 0) << r.err;
    const std::string folder = dir.file("internal");
    EXPECT_EQ(r.out.rfind("Internal files\t" + folder + "\n", 0), 0u) << r.out;
    for (const char* name : {"SeaRaw", "SeaRawAv", "SeaSpl", "SeaSplP", "SeaSplM", "MovAv", "DeltaT"})
        EXPECT_NE(r.out.find(std::string(name) + "\t" + folder + "/" + name + ".cds\t0 rows\n"), std::string::npos)
            << name;
}

TEST_F(BatchTest, DumpPrintsTheTableInAgeOrderWithExactNumbersAndEmptyNulls)
{
    ASSERT_EQ(run({"info"}).rc, 0);
    {
        data::TdmSea dm;
        data::CurveTable& t = dm.cdsSeaRawAv;
        t.loadFromFile(data::TdmSea::filePath(dir.file("internal"), t));
        t.append();
        t.setFloat(0, 2.0);
        t.setFloat(1, 0.1);
        t.setFloat(3, 4);
        t.post();
        t.append();
        t.setFloat(0, 1.0 / 3.0);
        t.setFloat(1, 0.70921);
        t.setFloat(2, 1e-5);
        t.post();
        t.saveToFile(data::TdmSea::filePath(dir.file("internal"), t));
    }
    const BatchRun r = run({"dump", "SeaRawAv"});
    ASSERT_EQ(r.rc, 0) << r.err;
    EXPECT_EQ(r.out, "Age,Ratio,Error,N\n"
                     "0.3333333333333333,0.70921,1e-05,\n"
                     "2,0.1,,4\n");
}

TEST_F(BatchTest, FailuresPrintTheTextOnStandardErrorAndExitNonZero)
{
    struct Case {
        const char* name;
        Args args;
        const char* errStart;
    };
    const Case cases[] = {
        {"unknown command", {"frobnicate"}, "Unknown command frobnicate"},
        {"unknown table", {"dump", "Nope"}, "Unknown table Nope"},
        {"unknown option", {"info", "--loud"}, "Unknown option --loud"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const BatchRun r = run(c.args);
        EXPECT_NE(r.rc, 0);
        EXPECT_EQ(r.err.rfind(c.errStart, 0), 0u) << r.err;
    }
    // A table file that is not a table: the table component's own text.
    ASSERT_EQ(run({"info"}).rc, 0);
    std::ofstream(dir.file("internal/MovAv.cds")) << "garbage";
    const BatchRun r = run({"dump", "MovAv"});
    EXPECT_EQ(r.rc, 1);
    EXPECT_EQ(r.err, "The file \"" + dir.file("internal/MovAv.cds") + "\" is not a valid table file\n");
}

TEST_F(BatchTest, CellsListsAWorkbookAnotherProgramWroteAndRefusesOneItCannotRead)
{
    const std::string fixtures = std::string(QUORVANE_SHARED_DIR) + "/fixtures/xls/";
    if (!std::filesystem::exists(fixtures + "libreoffice-points.xls"))
        GTEST_SKIP() << "shared fixtures absent";
    const BatchRun ok = run({"cells", fixtures + "libreoffice-points.xls", "--sheet", "1"});
    ASSERT_EQ(ok.rc, 0) << ok.err;
    EXPECT_EQ(ok.out.rfind("sheet\t1\tPoints\n1\t1\ttext\tAge\n", 0), 0u) << ok.out.substr(0, 200);

    const BatchRun bad = run({"cells", fixtures + "bad-zero-bytes.xls"});
    EXPECT_EQ(bad.rc, 1);
    EXPECT_FALSE(bad.err.empty());
    EXPECT_TRUE(bad.out.empty());
}

TEST_F(BatchTest, CopyWritesAWorkbookBackAndNeverReplacesAFile)
{
    const std::string fixtures = std::string(QUORVANE_SHARED_DIR) + "/fixtures/xls/";
    if (!std::filesystem::exists(fixtures + "libreoffice-points.xls"))
        GTEST_SKIP() << "shared fixtures absent";
    const std::string out = dir.file("copy.xls");
    const BatchRun ok = run({"copy", fixtures + "libreoffice-points.xls", out});
    ASSERT_EQ(ok.rc, 0) << ok.err;
    const BatchRun cells = run({"cells", out, "--sheet", "1"});
    ASSERT_EQ(cells.rc, 0) << cells.err;
    EXPECT_EQ(cells.out.rfind("sheet\t1\tPoints\n1\t1\ttext\tAge\n", 0), 0u) << cells.out.substr(0, 200);
    const BatchRun again = run({"copy", fixtures + "libreoffice-points.xls", out});
    EXPECT_EQ(again.rc, 1);
    EXPECT_EQ(again.err, "Can't write to file \"" + out + "\". Check it is not in use by another user\n");
}

TEST_F(BatchTest, CalculationsRunOnImportedPointsAndTheirParametersBecomeTheNextDefaults)
{
    // Out of order, an empty Error, a word in Ratio and an empty Age.
    std::ofstream(dir.file("points.csv")) << "Age,Ratio,Error\n3,0.70,0.01\n1,0.71,\n2,abc,0.1\n,0.5,0.1\n"
                                             "1.5,0.72,0.02\n2.5,0.715,0.01\n";
    const BatchRun imported = run({"import-csv", dir.file("points.csv")});
    ASSERT_EQ(imported.rc, 0) << imported.err;
    EXPECT_EQ(run({"dump", "SeaRaw"}).out, "Age,Ratio,Error\n1,0.71,\n1.5,0.72,0.02\n2.5,0.715,0.01\n3,0.7,0.01\n");

    const BatchRun spline = run({"spline", "--average", "--central", "--plus", "--minus", "--precision", "1e-3",
                                 "--from-age", "0", "--to-age", "10", "--bin-width", "0.1", "--points", "8"});
    ASSERT_EQ(spline.rc, 0) << spline.err;
    EXPECT_NE(spline.out.find("MSWD = "), std::string::npos) << spline.out;
    // Four averaged points and 8 spline points: two rows per interval, three intervals.
    for (const char* table : {"SeaSpl", "SeaSplP", "SeaSplM"}) {
        const std::string csv = run({"dump", table}).out;
        EXPECT_EQ(std::count(csv.begin(), csv.end(), '\n'), 1 + 3 * 2) << table << "\n" << csv;
    }
    // A second run without options takes the stored parameters, stored upper case.
    const BatchRun again = run({"spline", "--central"});
    ASSERT_EQ(again.rc, 0) << again.err;
    std::ifstream in(dir.file("Quorvane.INI"));
    const std::string ini((std::istreambuf_iterator<char>(in)), {});
    EXPECT_NE(ini.find("Required smoothing precision=1E-3\n"), std::string::npos) << ini;
    EXPECT_NE(ini.find("Age to=10\n"), std::string::npos);

    const BatchRun movav = run({"movav", "--type", "median", "--points", "4"});
    ASSERT_EQ(movav.rc, 0) << movav.err;
    EXPECT_NE(movav.out.find("Moving Median (5 point)"), std::string::npos) << movav.out;
    EXPECT_EQ(run({"dump", "MovAv"}).out, "Age,Ratio,Error,N\n1,0.71,,\n1.5,0.715,,\n2.5,0.715,,\n3,0.7,,\n");
    EXPECT_NE(run({"movav", "--type", "median", "--points", "-3"}).rc, 0);
}

TEST_F(BatchTest, SettingsAreLoadedAndWrittenBackButTheInternalOverrideIsNot)
{
    std::ofstream(dir.file("Quorvane.INI")) << "; mine\n[Curve parameters]\nStudents t multiplier=2.5\n";
    ASSERT_EQ(run({"info"}).rc, 0);
    std::ifstream in(dir.file("Quorvane.INI"));
    const std::string ini((std::istreambuf_iterator<char>(in)), {});
    EXPECT_EQ(ini.rfind("; mine\n", 0), 0u);
    EXPECT_NE(ini.find("Students t multiplier=2.5\n"), std::string::npos);
    EXPECT_NE(ini.find("Export Width=800"), std::string::npos);
    EXPECT_EQ(ini.find(dir.file("internal")), std::string::npos) << "--internal is for one run only";
}

} // namespace
} // namespace quorvane::cli
