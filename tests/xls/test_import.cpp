// TXlsImport and TXLSFile: opening, sheet selection and cell values on a workbook
// written by xlwt (tests/fixtures/xls/queries.xls, see make-fixtures.py there) and on
// compound documents built here for the cases no peer writes.
#include "biff_builder.h"

#include "xls/errors.h"
#include "xls/text.h"
#include "xls/xlsimport.h"

#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>
#include <fstream>

using namespace quorvane::xls;
using namespace quorvane::xls::test;

namespace {

const std::string fixtures = QUORVANE_TEST_FIXTURES "/xls";
const std::string queries = fixtures + "/queries.xls";

template <typename F>
std::string errorOf(F&& f)
{
    try {
        f();
    } catch (const quorvane::Error& e) {
        return e.what();
    }
    return "(no error)";
}

class ImportTest : public ::testing::Test {
protected:
    void SetUp() override { imp.SetAdapter(&adapter); }
    TXLSAdapter adapter;
    TXlsImport imp;
};

} // namespace

TEST_F(ImportTest, SheetsAndTheStoredActiveSheet)
{
    imp.OpenWorkbook(queries);
    ASSERT_EQ(imp.SheetCount(), 3);
    EXPECT_EQ(imp.ActiveSheet(), 2); // saved with the second sheet active
    const std::u16string names[] = {u"Points", u"Types", u"Leer"};
    for (int i = 1; i <= 3; ++i) {
        imp.SetActiveSheet(i);
        EXPECT_EQ(imp.SheetName(), names[i - 1]);
    }
}

TEST_F(ImportTest, CellValuesAsXlwtWroteThem)
{
    imp.OpenWorkbook(queries);
    imp.SetActiveSheet(1);
    struct Case {
        int row, col;
        CellVariant value;
    };
    const Case cases[] = {
        {1, 1, u"Age"},        {2, 1, 0.0},           {2, 2, 0.709175}, {2, 3, 1.2e-05},
        {3, 1, 1.5},           {5, 1, 123456789.0},   {5, 2, 1e10},     {5, 3, -7.0},
        {4, 3, {}},            // an empty Error cell
        {6, 1, u"unknown"},    {7, 1, {}},            // beyond the used rows
        {2, 200, {}},          // a column with no cell record
        {65536, 256, {}},      // the last cell of the sheet
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::to_string(c.row) + "," + std::to_string(c.col));
        EXPECT_EQ(imp.CellValue(c.row, c.col), c.value);
    }
    imp.SetActiveSheet(2);
    EXPECT_EQ(imp.CellValue(1, 1), CellVariant(true));
    EXPECT_EQ(imp.CellValue(1, 2), CellVariant(false));
    EXPECT_EQ(imp.CellValue(3, 1), CellVariant(u"tab\there"));
    EXPECT_EQ(imp.CellValue(6, 1), CellVariant(fromUtf8("\u0394-\u03a9 \U0001d11e")));
    EXPECT_EQ(imp.CellValue(7, 1), CellVariant(std::u16string(9000, u'x')));
    // xlwt stores formulas without a computed result (result type 3): empty.
    EXPECT_TRUE(isEmpty(imp.CellValue(2, 1)));
    EXPECT_TRUE(imp.File()->cellValue(2, 1).isFormula);
    imp.SetActiveSheet(3);
    EXPECT_TRUE(isEmpty(imp.CellValue(1, 1)));
}

TEST_F(ImportTest, QueryErrors)
{
    EXPECT_EQ(errorOf([&] { imp.SheetCount(); }), "There is no open file");
    imp.OpenWorkbook(queries);
    struct Case {
        int row, col;
        const char* error;
    };
    const Case cases[] = {
        {0, 1, "Invalid Row (-1)"},
        {65537, 1, "Invalid Row (65536)"},
        {1, 0, "Invalid Column (-1)"},
        {1, 257, "Invalid Column (256)"},
        {-2147483647 - 1, 1, "Invalid Row (-2147483649)"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.error);
        EXPECT_EQ(errorOf([&] { imp.CellValue(c.row, c.col); }), c.error);
    }
    imp.SetActiveSheet(0);
    EXPECT_EQ(errorOf([&] { imp.SheetName(); }), "List index out of bounds (-1)");
    EXPECT_EQ(errorOf([&] { imp.CellValue(1, 1); }), "List index out of bounds (-1)");
    imp.SetActiveSheet(4);
    EXPECT_EQ(errorOf([&] { imp.CellValue(1, 1); }), "List index out of bounds (3)");
}

TEST_F(ImportTest, PathsAndFailedOpens)
{
    TempDir tmp;
    std::filesystem::copy_file(queries, tmp.file("book.xls"));
    imp.OpenWorkbook("  " + tmp.file("book") + " "); // blanks trimmed, ".xls" added
    EXPECT_EQ(imp.SheetCount(), 3);

    const std::string missing = tmp.file("nothing");
    EXPECT_EQ(errorOf([&] { imp.OpenWorkbook(missing); }), "Can't find the file \"" + missing + "\"");
    EXPECT_FALSE(imp.IsOpen()); // the first workbook was closed, the failed one freed
    EXPECT_EQ(errorOf([&] { imp.SheetCount(); }), "There is no open file");

    const std::string text = tmp.file("points.csv");
    std::ofstream(text) << "Age,Ratio\n1,2\n";
    EXPECT_EQ(errorOf([&] { imp.OpenWorkbook(text); }), "The file \"" + text + "\" is invalid");

    TXlsImport lonely;
    EXPECT_EQ(errorOf([&] { lonely.OpenWorkbook(queries); }), "There is no Adapter linked to the report");
    {
        TXLSAdapter shortLived;
        lonely.SetAdapter(&shortLived);
    }
    EXPECT_EQ(lonely.Adapter(), nullptr);
}

TEST_F(ImportTest, SelectionMarks)
{
    imp.OpenWorkbook(queries);
    imp.SetActiveSheet(3);
    const TWorkbook& book = imp.File()->workbook();
    const ByteSpan w1 = book.globals().window1->body();
    EXPECT_EQ(getU16(w1.data() + 10), 2);
    EXPECT_EQ(getU16(w1.data() + 12), 0);
    EXPECT_EQ(getU16(w1.data() + 14), 1);
    for (int selected : {3, 1, 1, 2}) {
        imp.SetActiveSheet(selected);
        for (int i = 0; i < 3; ++i) {
            SCOPED_TRACE(std::to_string(selected) + "/" + std::to_string(i));
            const auto& ws = dynamic_cast<const TWorkSheet&>(*book.sheets()[i]);
            EXPECT_EQ(ws.window2->flags() & 0x0600, i == selected - 1 ? 0x0600 : 0);
        }
    }
}

TEST_F(ImportTest, ChartSheetStoragesAndStreamNames)
{
    TempDir tmp;
    Biff b;
    b.bof(0x0005).window1(5).boundSheet("Data").boundSheet("Chart", 2).eof();
    b.bof(0x0010).number(0, 0, 1.25).window2().eof();
    b.bof(0x0020).rec(0x1051, Bytes(8, 0)).eof();
    const Bytes summary{1, 2, 3};
    const std::string path = tmp.file("chart.xls");
    ASSERT_TRUE(writeCompoundDocument(path, {{"Workbook", b.data}, {"\x05SummaryInformation", summary}},
                                      "_VBA_PROJECT_CUR", "dir", Bytes{9, 9}));
    imp.OpenWorkbook(path);
    EXPECT_EQ(imp.ActiveSheet(), 1); // stored tab 5 is beyond the two sheets
    EXPECT_EQ(imp.CellValue(1, 1), CellVariant(1.25));
    imp.SetActiveSheet(2);
    EXPECT_EQ(imp.SheetName(), u"Chart");
    EXPECT_TRUE(isEmpty(imp.CellValue(1, 1)));
    EXPECT_TRUE(isEmpty(imp.CellValue(0, 1))); // a chart sheet answers empty before any check

    // Every element but the Workbook stream is kept, storages with their elements.
    const TXlsStorageList& kept = imp.File()->storages();
    ASSERT_EQ(kept.size(), 2u);
    auto find = [&](const std::string& name) {
        return std::find_if(kept.begin(), kept.end(), [&](const TXlsStorage& s) { return s.name == name; });
    };
    ASSERT_NE(find("\x05SummaryInformation"), kept.end());
    EXPECT_EQ(find("\x05SummaryInformation")->bytes, summary);
    ASSERT_NE(find("_VBA_PROJECT_CUR"), kept.end());
    EXPECT_TRUE(find("_VBA_PROJECT_CUR")->isStorage);
    ASSERT_EQ(find("_VBA_PROJECT_CUR")->elements.size(), 1u);
    EXPECT_EQ(find("_VBA_PROJECT_CUR")->elements[0].bytes, (Bytes{9, 9}));

    // The same document from memory.
    auto file = adapter.createFile();
    file->connect();
    file->openBytes(readFile(path));
    EXPECT_EQ(file->sheetCount(), 2);

    struct Case {
        const char* name;
        std::vector<std::pair<std::string, Bytes>> streams;
        std::string error;
    };
    Biff biff5;
    biff5.bof(0x0005, 0x0500).eof();
    const Case cases[] = {
        {"stream name in capitals", {{"WORKBOOK", b.data}}, ""},
        {"BIFF8 stream under the Excel 5 name", {{"Book", b.data}}, ""},
        {"Excel 5 workbook", {{"Book", biff5.data}}, "Error reading Excel records. File invalid"},
        {"no workbook stream", {{"WordDocument", Bytes(100, 0)}}, "Error reading Excel records. File invalid"},
        {"BIFF5 records in a Workbook stream", {{"Workbook", biff5.data}},
         "Template file is saved with an invalid Excel version"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const std::string p = tmp.file("case.xls");
        std::filesystem::remove(p);
        ASSERT_TRUE(writeCompoundDocument(p, c.streams));
        const std::string error = errorOf([&] { imp.OpenWorkbook(p); });
        EXPECT_EQ(error, c.error.empty() ? "(no error)" : c.error);
        if (c.error.empty())
            EXPECT_TRUE(imp.File()->storages().empty());
    }
}

TEST_F(ImportTest, TemplateStoreTakesThePlaceOfTheFile)
{
    Biff b;
    b.globals({"FromStore"});
    b.bof(0x0010).number(1, 1, 2.5).eof();
    TXlsStorageList store;
    store.push_back({"WorkBook", false, b.data, {}});
    store.push_back({"\x05SummaryInformation", false, {7}, {}});
    adapter.SetTemplateStore(&store);
    imp.OpenWorkbook("/no/such/file.xls");
    EXPECT_EQ(imp.SheetName(), u"FromStore");
    EXPECT_EQ(imp.CellValue(2, 2), CellVariant(2.5));
    ASSERT_EQ(imp.File()->storages().size(), 1u);
    EXPECT_EQ(imp.File()->storages()[0].bytes, (Bytes{7}));
    store.erase(store.begin());
    EXPECT_EQ(errorOf([&] { imp.OpenWorkbook("x"); }), "Error reading Excel records. File invalid");
}
