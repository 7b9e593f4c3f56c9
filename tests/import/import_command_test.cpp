// quorvane-batch import run in-process on the workbooks of tests/fixtures/import,
// with a settings file and internal folder of the test's own.
#include <filesystem>
#include <sstream>

#include <gtest/gtest.h>

#include "app/settings/settings_store.h"
#include "cli/cli.h"
#include "import/sheet_import.h"
#include "support/temp_dir.h"

namespace quorvane::cli {
namespace {

struct BatchRun {
    int rc;
    std::string out, err;
};

class ImportCommand : public ::testing::Test {
protected:
    // Each run is a process of its own in use: the import's numbers start at 0.
    void SetUp() override { importNumbers() = {}; }
    void TearDown() override
    {
        settingsStore().clear();
        importNumbers() = {};
    }
    BatchRun run(Args args)
    {
        Args full{"--settings", dir.file("Quorvane.INI"), "--internal", dir.file("internal")};
        full.insert(full.end(), args.begin(), args.end());
        std::ostringstream out, err;
        const int rc = runBatch(full, out, err);
        return {rc, out.str(), err.str()};
    }
    /// Back to the settings of a first start.
    void fresh()
    {
        std::filesystem::remove(dir.file("Quorvane.INI"));
        settingsStore().clear();
        importNumbers() = {};
    }
    static std::string workbook(const char* name) { return std::string(QUORVANE_TEST_FIXTURES) + "/import/" + name; }

    test::TempDir dir;
};

TEST_F(ImportCommand, ImportsWhatTheWindowWould)
{
    struct Case {
        const char* name;
        Args options;
        const char* out;  ///< the command's report
        const char* dump; ///< SeaRaw afterwards
    };
    const Case cases[] = {
        {"defaults: rows 2 to the end of the age column, A to C", {},
         "Sheet\t1\tPoints\nRows\t2\t9\nSeaRaw\t5 rows from 8 sheet rows\nDeltaT\t4 rows\n",
         "Age,Ratio,Error\n5,0.7085,3e-05\n5,0.7086,\n10,0.7091,2e-05\n12.5,0.709,1e-04\n20.5,0.709123456789012,1e-05\n"},
        {"rows 2 to 3", {"--from", "2", "--to", "3"},
         "Sheet\t1\tPoints\nRows\t2\t3\nSeaRaw\t2 rows from 2 sheet rows\nDeltaT\t1 rows\n",
         "Age,Ratio,Error\n5,0.7085,3e-05\n10,0.7091,2e-05\n"},
        {"another sheet, other columns", {"--sheet", "4", "--x", "aa", "--y", " a b ", "--err", "iv"},
         "Sheet\t4\tWide\nRows\t2\t4\nSeaRaw\t3 rows from 3 sheet rows\nDeltaT\t2 rows\n",
         "Age,Ratio,Error\n100,0.72,0.001\n200,0.73,0.002\n300,0.74,0.003\n"},
        {"uncertainty omitted", {"--from", "9", "--to", "0x9", "--err", "0"},
         "Sheet\t1\tPoints\nRows\t9\t9\nSeaRaw\t1 rows from 1 sheet rows\nDeltaT\t0 rows\n",
         "Age,Ratio,Error\n40,0.71,\n"},
    };
    for (const char* writer : {"xlwt-import.xls", "sheetjs-import.xls"}) {
        for (const Case& c : cases) {
            SCOPED_TRACE(std::string(writer) + ": " + c.name);
            Args args{"import", workbook(writer)};
            args.insert(args.end(), c.options.begin(), c.options.end());
            const BatchRun r = run(args);
            ASSERT_EQ(r.rc, 0) << r.err;
            EXPECT_EQ(r.out, c.out);
            const BatchRun d = run({"dump", "SeaRaw"});
            EXPECT_EQ(d.out, c.dump);
            fresh(); // a case's entries are the next run's defaults
        }
    }
}

TEST_F(ImportCommand, EntriesAreStoredInUpperCaseEvenWhenRefused)
{
    const BatchRun r = run({"import", workbook("xlwt-import.xls"), "--from", "x", "--x", "aa", "--y", "b"});
    EXPECT_EQ(r.rc, 1);
    EXPECT_EQ(r.err, "Incorrect value entered for From row\n");
    const std::string ini = test::readFile(dir.file("Quorvane.INI"));
    for (const char* line : {"From Row=X\n", "X Column=AA\n", "Y Column=B\n"})
        EXPECT_NE(ini.find(line), std::string::npos) << line << ini;
}

TEST_F(ImportCommand, FailuresEndWithTheSystemsText)
{
    struct Case {
        const char* name;
        Args options;
        const char* err;
    };
    const Case cases[] = {
        {"to row not a number", {"--to", "3.5"}, "Incorrect value entered for To row\n"},
        {"to row below from row", {"--from", "5", "--to", "4"}, "Incorrect values entered for rows to import\n"},
        {"an empty column entry", {"--y", "  "}, "Range check error\n"},
        {"a sheet the workbook lacks", {"--sheet", "9"}, "List index out of bounds (8)\n"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Args args{"import", workbook("xlwt-import.xls")};
        args.insert(args.end(), c.options.begin(), c.options.end());
        const BatchRun r = run(args);
        EXPECT_EQ(r.rc, 1);
        EXPECT_EQ(r.err, c.err);
        fresh();
    }
}

} // namespace
} // namespace quorvane::cli
