#include <filesystem>
#include <fstream>

#include <gtest/gtest.h>

#include "data/dm_sea.h"
#include "data/table_file.h"
#include "support.h"

namespace quorvane::data {
namespace {

using testing::addRow;
using testing::TempDir;

TEST(DataModule, SixTablesClosedAndDeltaTOpenEmptyAtCreation)
{
    TdmSea dm;
    for (CurveTable* t : dm.tables()) {
        SCOPED_TRACE(t->name());
        EXPECT_EQ(t->isOpen(), t == &dm.cdsDeltaT);
    }
    EXPECT_EQ(dm.cdsDeltaT.rowCount(), 0);
    EXPECT_EQ(dm.cdsDeltaT.fieldCount(), 2);
    EXPECT_EQ(dm.table("cdsSeaSplP"), &dm.cdsSeaSplP);
    EXPECT_EQ(dm.table("MovAv"), &dm.cdsMovAv);
    EXPECT_EQ(dm.cdsSeaSpl.fields()[4].name, "S");
    EXPECT_EQ(dm.cdsMovAv.fields()[2].displayFormat, "####0.000");
    EXPECT_EQ(dm.cdsDeltaT.fields()[0].displayFormat, "####0.00000");
}

TEST(DataModule, SeedingCreatesSevenEmptyTablesOnlyInAMissingFolder)
{
    TempDir dir;
    const std::string folder = dir.file("Quorvane");
    ASSERT_TRUE(seedInternalFolder(folder));
    TdmSea dm;
    for (CurveTable* t : dm.tables()) {
        SCOPED_TRACE(t->name());
        const TableFileData file = readTableFile(TdmSea::filePath(folder, *t));
        EXPECT_EQ(file.rowCount(), 0u);
        ASSERT_EQ(file.fields.size(), t->fields().size());
        for (std::size_t f = 0; f < file.fields.size(); ++f)
            EXPECT_EQ(file.fields[f].name, t->fields()[f].name);
    }

    // An existing folder is never seeded, even when files are missing from it.
    std::filesystem::remove(TdmSea::filePath(folder, dm.cdsMovAv));
    ASSERT_TRUE(seedInternalFolder(folder));
    EXPECT_FALSE(std::filesystem::exists(TdmSea::filePath(folder, dm.cdsMovAv)));
}

struct Warnings {
    std::vector<std::string> texts;
    WarningSink sink()
    {
        return [this](const std::string& t) { texts.push_back(t); };
    }
};

TEST(LoadingProtocol, MissingRequiredFilesWarnInOrderAndLoadNothing)
{
    TempDir dir;
    TdmSea dm;
    Warnings w;
    EXPECT_FALSE(loadTables(splineWindowPlan(dm), dir.path(), w.sink()));
    const std::string p = dir.path() + "/";
    EXPECT_EQ(w.texts, (std::vector<std::string>{
                           "Required internal file not found - " + p + "SeaRaw.cds",
                           "Required internal file not found - " + p + "SeaRawAv.cds",
                           "Required internal file not found - " + p + "SeaSpl.cds",
                           "Required internal file not found - " + p + "SeaSplM.cds",
                           "Required internal file not found - " + p + "SeaSplP.cds",
                           "Required internal file not found - " + p + "DeltaT.cds",
                       }));
    for (CurveTable* t : dm.tables())
        EXPECT_FALSE(t->isOpen() && t != &dm.cdsMovAv) << t->name();
}

TEST(LoadingProtocol, MissingOptionalFileWarnsTwiceAndTheWindowGoesOn)
{
    TempDir dir;
    ASSERT_TRUE(seedInternalFolder(dir.file("f")));
    const std::string folder = dir.file("f");
    TdmSea dm;
    std::filesystem::remove(TdmSea::filePath(folder, dm.cdsSeaRaw));
    Warnings w;
    EXPECT_TRUE(loadTables(movingAverageWindowPlan(dm), folder, w.sink()));
    const std::string raw = folder + "/SeaRaw.cds";
    EXPECT_EQ(w.texts, (std::vector<std::string>{"Required internal file not found - " + raw,
                                                 "Unable to open file - " + raw}));
    EXPECT_FALSE(dm.cdsSeaRaw.isOpen());
    EXPECT_TRUE(dm.cdsMovAv.isOpen());
}

TEST(LoadingProtocol, AGivenListOfTablesIsTestedAndLoadedInItsOwnOrder)
{
    TempDir dir;
    TdmSea dm;
    // Three tables, the middle one required and unreadable, the last one fine.
    const std::string folder = dir.path();
    std::ofstream(TdmSea::filePath(folder, dm.cdsSeaSpl)) << "not a table";
    dm.cdsMovAv.createDataSet();
    addRow(dm.cdsMovAv, 1.0, 2.0);
    dm.cdsMovAv.saveToFile(TdmSea::filePath(folder, dm.cdsMovAv));
    dm.cdsMovAv.close();

    TablePlan plan{{&dm.cdsSeaRaw, &dm.cdsSeaSpl, &dm.cdsMovAv},
                   {{&dm.cdsSeaRaw, false}, {&dm.cdsSeaSpl, true}, {&dm.cdsMovAv, true}},
                   {&dm.cdsMovAv}};
    Warnings w;
    EXPECT_TRUE(loadTables(plan, folder, w.sink()));
    EXPECT_EQ(w.texts, (std::vector<std::string>{"Required internal file not found - " + folder + "/SeaRaw.cds",
                                                 "Unable to open file - " + folder + "/SeaRaw.cds",
                                                 "Unable to open file - " + folder + "/SeaSpl.cds"}));
    EXPECT_FALSE(dm.cdsSeaSpl.isOpen());
    ASSERT_TRUE(dm.cdsMovAv.isOpen());
    EXPECT_EQ(dm.cdsMovAv.rowCount(), 1);
    EXPECT_EQ(dm.cdsMovAv.boundFile(), folder + "/MovAv.cds");
}

TEST(SavingProtocol, EachTableIsSavedAndAFailureIsIgnored)
{
    TempDir dir;
    const std::string folder = dir.file("f");
    ASSERT_TRUE(seedInternalFolder(folder));
    TdmSea dm;
    Warnings w;
    ASSERT_TRUE(loadTables(movingAverageWindowPlan(dm), folder, w.sink()));
    addRow(dm.cdsSeaRaw, 3.0, 1.0, 0.1);
    addRow(dm.cdsMovAv, 3.0, 1.0);
    // SeaRaw's file becomes a folder: its save fails, MovAv's still happens.
    std::filesystem::remove(TdmSea::filePath(folder, dm.cdsSeaRaw));
    std::filesystem::create_directory(TdmSea::filePath(folder, dm.cdsSeaRaw));
    saveTables(movingAverageWindowPlan(dm), folder);
    EXPECT_EQ(readTableFile(TdmSea::filePath(folder, dm.cdsMovAv)).rowCount(), 1u);
}

TEST(DataModule, ChangedBoundTablesWriteThemselvesBackWhenTheModuleEnds)
{
    TempDir dir;
    const std::string folder = dir.file("f");
    ASSERT_TRUE(seedInternalFolder(folder));
    {
        TdmSea dm;
        Warnings w;
        ASSERT_TRUE(loadTables(splineWindowPlan(dm), folder, w.sink()));
        addRow(dm.cdsSeaSpl, 1.0, 0.7);
    }
    EXPECT_EQ(readTableFile(folder + "/SeaSpl.cds").rowCount(), 1u);
}

} // namespace
} // namespace quorvane::data
