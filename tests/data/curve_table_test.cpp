#include <cmath>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <limits>

#include <gtest/gtest.h>

#include "data/curve_table.h"
#include "data/table_file.h"
#include "support.h"

namespace quorvane::data {
namespace {

using testing::addRow;
using testing::ages;
using testing::TempDir;

TEST(CurveTable, RowsPostedOutOfOrderReadBackAscendingWithEqualAgesInPostingOrder)
{
    struct Case {
        const char* name;
        std::vector<double> posted;
    };
    const Case cases[] = {
        {"ascending", {1, 2, 3, 4}},
        {"descending", {4, 3, 2, 1}},
        {"shuffled", {3, 1, 4, 1.5, 9, 2.6, 5}},
        {"equal ages", {2, 1, 2, 2, 1}},
        {"single", {7}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        CurveTable t("SeaRaw", testing::rawFields());
        t.createDataSet();
        // Ratio carries the posting order so the stability of equal ages shows.
        for (std::size_t i = 0; i < c.posted.size(); ++i)
            addRow(t, c.posted[i], static_cast<double>(i));
        std::vector<double> expected = c.posted;
        std::stable_sort(expected.begin(), expected.end());
        EXPECT_EQ(ages(t), expected);
        for (int r = 1; r < t.rowCount(); ++r)
            if (t.value(r, 0) == t.value(r - 1, 0))
                EXPECT_LT(t.value(r - 1, 1), t.value(r, 1)) << "equal ages keep posting order";
    }
}

TEST(CurveTable, PostLeavesTheCursorOnThePostedRowAndScanStopsOnTheLastRow)
{
    CurveTable t("SeaRaw", testing::rawFields());
    t.createDataSet();
    addRow(t, 5, 50.0);
    addRow(t, 1, 10.0);
    addRow(t, 3, 30.0);
    EXPECT_EQ(t.asFloat(1), 30.0);
    EXPECT_EQ(t.recNo(), 1);

    std::vector<double> seen;
    for (t.first(); !t.eof(); t.next())
        seen.push_back(t.asFloat(0));
    EXPECT_EQ(seen, (std::vector<double>{1, 3, 5}));
    EXPECT_EQ(t.asFloat(0), 5.0) << "moving past the last row leaves the cursor on it";
    t.last();
    EXPECT_TRUE(t.eof());
    t.first();
    EXPECT_TRUE(t.bof());
}

TEST(CurveTable, EditingARowMovesItToItsNewAge)
{
    CurveTable t("SeaRaw", testing::rawFields());
    t.createDataSet();
    for (double a : {1.0, 2.0, 3.0})
        addRow(t, a, a * 10);
    t.first();
    t.edit();
    t.setFloat(0, 2.5);
    t.post();
    EXPECT_EQ(ages(t), (std::vector<double>{2, 2.5, 3}));
    EXPECT_EQ(t.asFloat(1), 10.0);
    EXPECT_EQ(t.recNo(), 1);
}

TEST(CurveTable, NullFieldsReadAsEmptyTextAndZero)
{
    CurveTable t("SeaRaw", testing::rawFields());
    t.createDataSet();
    addRow(t, 1.0, 2.5, std::nullopt);
    EXPECT_TRUE(t.isNull(2));
    EXPECT_EQ(t.asText(2), "");
    EXPECT_EQ(t.asFloat(2), 0.0);
    EXPECT_FALSE(t.isNull(1));
}

TEST(CurveTable, SetTextFollowsTheLocaleAndRefusesNonNumbers)
{
    CurveTable t("SeaRaw", testing::rawFields());
    t.createDataSet();
    t.append();
    t.setText(0, "12.5");
    t.setText(1, "");
    EXPECT_EQ(t.asFloat(0), 12.5);
    EXPECT_TRUE(t.isNull(1));
    try {
        t.setText(2, "abc");
        FAIL() << "text that is not a number must fail";
    } catch (const TableError& e) {
        EXPECT_STREQ(e.what(), "'abc' is not a valid floating point value");
    }
    t.post();
    EXPECT_EQ(t.rowCount(), 1);
}

TEST(CurveTable, SmallIntFieldsAreWholeAndRangeChecked)
{
    CurveTable t("SeaRawAv", {{"Age", FieldType::Float, ""}, {"N", FieldType::SmallInt, ""}});
    t.createDataSet();
    t.append();
    t.setFloat(1, 7.9);
    EXPECT_EQ(t.asFloat(1), 7.0);
    EXPECT_EQ(t.asText(1), "7");
    EXPECT_THROW(t.setFloat(1, 40000), RangeError);
    EXPECT_THROW(t.setText(1, "1.5"), TableError);
}

TEST(CurveTable, DeleteAbandonsAnAppendedRowAndFailsOnAnEmptyTable)
{
    CurveTable t("SeaRaw", testing::rawFields());
    t.createDataSet();
    EXPECT_THROW(t.deleteRow(), TableError);
    addRow(t, 1);
    t.append();
    t.setFloat(0, 2);
    t.deleteRow(); // abandons the appended row
    EXPECT_EQ(t.rowCount(), 1);
    t.deleteRow();
    EXPECT_EQ(t.rowCount(), 0);
}

TEST(CurveTable, WorkOnAClosedTableFails)
{
    CurveTable t("SeaRaw", testing::rawFields());
    struct Op {
        const char* name;
        std::function<void()> run;
    };
    const Op ops[] = {
        {"row count", [&] { (void)t.rowCount(); }},
        {"append", [&] { t.append(); }},
        {"delete", [&] { t.deleteRow(); }},
        {"first", [&] { t.first(); }},
        {"empty", [&] { t.emptyTable(); }},
    };
    for (const Op& op : ops) {
        SCOPED_TRACE(op.name);
        EXPECT_THROW(op.run(), TableError);
    }
    try {
        t.open();
        FAIL();
    } catch (const TableError& e) {
        EXPECT_STREQ(e.what(), "Missing data provider or data packet");
    }
}

TEST(CurveTableFile, SaveAndLoadKeepFieldsRowsOrderNullsAndExactDoubles)
{
    TempDir dir;
    CurveTable t("SeaRaw", testing::rawFields());
    t.createDataSet();
    const double awkward[] = {0.1, 1.0 / 3.0, -0.0, 1e-300, std::numeric_limits<double>::denorm_min(),
                              std::numeric_limits<double>::max(), 123456789.123456789};
    double age = 10;
    for (double v : awkward)
        addRow(t, age--, v, std::nullopt);
    addRow(t, 0.5, std::nullopt, 2.0);
    const auto before = t.rows();
    t.saveToFile(dir.file("SeaRaw.cds"));

    CurveTable back("SeaRaw", testing::rawFields());
    back.loadFromFile(dir.file("SeaRaw.cds"));
    const auto after = back.rows();
    ASSERT_EQ(after.size(), before.size());
    for (std::size_t r = 0; r < after.size(); ++r)
        for (std::size_t f = 0; f < 3; ++f) {
            ASSERT_EQ(after[r][f].has_value(), before[r][f].has_value()) << r << "," << f;
            if (after[r][f])
                EXPECT_EQ(std::memcmp(&*after[r][f], &*before[r][f], sizeof(double)), 0) << r << "," << f;
        }
    EXPECT_TRUE(std::signbit(*after[5][1])) << "the sign of -0.0 (age 8, sixth by age) survives";
    EXPECT_EQ(back.fields().size(), 3u);
    EXPECT_FALSE(back.changed());
}

TEST(CurveTableFile, InvalidFilesFailToLoadAndLeaveTheTableClosed)
{
    TempDir dir;
    const std::string text = dir.file("text.cds");
    std::ofstream(text) << "Age,Ratio\n1,2\n";
    const std::string other = dir.file("other.cds");
    {
        CurveTable t("DeltaT", {{"Age", FieldType::Float, ""}, {"DeltaT", FieldType::Float, ""}});
        t.createDataSet();
        t.saveToFile(other);
    }
    const std::string empty = dir.file("empty.cds");
    std::ofstream(empty).close();

    for (const std::string& path : {text, other, empty, dir.file("missing.cds")}) {
        SCOPED_TRACE(path);
        CurveTable t("SeaRaw", testing::rawFields());
        EXPECT_THROW(t.loadFromFile(path), TableError);
        EXPECT_FALSE(t.isOpen());
    }
}

TEST(CurveTableFile, SavingAClosedTableLeavesTheFileUntouched)
{
    TempDir dir;
    const std::string path = dir.file("SeaRaw.cds");
    std::ofstream(path) << "former content";
    CurveTable t("SeaRaw", testing::rawFields());
    t.saveToFile(path);
    std::ifstream in(path);
    std::string content((std::istreambuf_iterator<char>(in)), {});
    EXPECT_EQ(content, "former content");
}

TEST(CurveTableFile, ASaveIntoAReadOnlyFolderFailsAndLeavesTheFormerFileIntact)
{
    TempDir dir;
    const std::string folder = dir.file("ro");
    std::filesystem::create_directory(folder);
    const std::string path = folder + "/SeaRaw.cds";
    CurveTable t("SeaRaw", testing::rawFields());
    t.createDataSet();
    addRow(t, 1, 1.0);
    t.saveToFile(path);
    addRow(t, 2, 2.0);
    using std::filesystem::perms;
    std::filesystem::permissions(dir.path(), perms::all);
    std::filesystem::permissions(folder, perms::owner_read | perms::owner_exec | perms::group_read |
                                             perms::group_exec | perms::others_read | perms::others_exec);
    const int rc = testing::runUnprivileged([&] {
        try {
            t.saveToFile(path);
            return 1;
        } catch (const TableError& e) {
            return std::string(e.what()) == "Cannot write the table file \"" + path + "\"" ? 0 : 2;
        }
    });
    std::filesystem::permissions(folder, perms::owner_all);
    ASSERT_EQ(rc, 0) << "the save must fail with its text";
    CurveTable back("SeaRaw", testing::rawFields());
    back.loadFromFile(path);
    EXPECT_EQ(back.rowCount(), 1);
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(folder), {}), 1) << "no temporary file left";
}

TEST(CurveTableFile, AFailedSaveIntoAMissingFolderLeavesNothingBehind)
{
    // Runs as root too: a folder that does not exist cannot take the temporary file.
    TempDir dir;
    CurveTable t("SeaRaw", testing::rawFields());
    t.createDataSet();
    addRow(t, 1, 1.0);
    EXPECT_THROW(t.saveToFile(dir.file("no/such/SeaRaw.cds")), TableError);
    EXPECT_TRUE(std::filesystem::is_empty(dir.path()));
}

TEST(CurveTableFile, BoundTableWritesBackOnCloseOnlyWhenChangedOrMissing)
{
    TempDir dir;
    const std::string path = dir.file("SeaRaw.cds");
    const auto mtime = [&] { return std::filesystem::last_write_time(path); };

    CurveTable t("SeaRaw", testing::rawFields());
    t.createDataSet();
    t.bindToFile(path);
    t.close(); // file missing: written although nothing changed
    ASSERT_TRUE(std::filesystem::exists(path));

    t.open(); // a closed bound table reads its file again
    EXPECT_EQ(t.rowCount(), 0);
    const auto written = mtime();
    std::filesystem::last_write_time(path, written - std::chrono::hours(1));
    const auto aged = mtime();
    t.close(); // unchanged: no write
    EXPECT_EQ(mtime(), aged);

    t.open();
    addRow(t, 4, 4.0);
    t.close(); // changed: written
    EXPECT_NE(mtime(), aged);
    t.open();
    EXPECT_EQ(t.rowCount(), 1);
}

TEST(CurveTable, DisabledControlsSuspendNotificationsAndResumeWithOne)
{
    struct Counter : TableObserver {
        int changes = 0;
        void tableChanged() override { ++changes; }
    } counter;
    CurveTable t("SeaRaw", testing::rawFields());
    t.createDataSet();
    t.addObserver(&counter);
    t.disableControls();
    for (int i = 0; i < 100; ++i)
        addRow(t, i);
    EXPECT_EQ(counter.changes, 0);
    t.enableControls();
    EXPECT_EQ(counter.changes, 1);
    addRow(t, 200);
    EXPECT_EQ(counter.changes, 2);
    t.removeObserver(&counter);
}

} // namespace
} // namespace quorvane::data
