// The four curve exports driven from the main window offscreen: the save dialog, "Data
// export path", the template each command uses, and the workbooks read by python3-xlrd.
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>

#include <QAction>

#include <gtest/gtest.h>

#include "app/export_commands.h"
#include "app/main_window.h"
#include "app/settings/settings_store.h"
#include "data/dm_sea.h"
#include "support/scripted_dialogs.h"
#include "support/temp_dir.h"

namespace quorvane::app {
namespace {

const std::string Templates = std::string(QUORVANE_SOURCE_DIR) + "/templates/";

std::string xlrdPython()
{
    for (const char* p : {"/usr/bin/python3", "python3"})
        if (std::system((std::string(p) + " -c 'import xlrd' >/dev/null 2>&1").c_str()) == 0)
            return p;
    return {};
}

// Rows of the first sheet as python3-xlrd reads them: cells joined by tabs, numbers in
// repr form, empty cells empty.
std::vector<std::string> xlrdRows(const std::string& python, const std::string& path)
{
    const std::string cmd = python +
                            " -c 'import sys, xlrd\n"
                            "s = xlrd.open_workbook(sys.argv[1]).sheet_by_index(0)\n"
                            "for r in range(s.nrows):\n"
                            "    print(\"\\t\".join(repr(c.value) if c.ctype == 2 else str(c.value) for c in s.row(r)))' '" +
                            path + "'";
    FILE* p = ::popen(cmd.c_str(), "r");
    std::string out;
    char buf[4096];
    while (std::size_t n = std::fread(buf, 1, sizeof buf, p))
        out.append(buf, n);
    EXPECT_EQ(::pclose(p), 0);
    std::vector<std::string> rows;
    std::istringstream in(out);
    for (std::string line; std::getline(in, line);)
        rows.push_back(line);
    return rows;
}

std::string repr(double v)
{
    // Python's repr is the shortest form that reads back.
    char b[32];
    for (int prec = 1; prec <= 17; ++prec) {
        std::snprintf(b, sizeof b, "%.*g", prec, v);
        if (std::strtod(b, nullptr) == v)
            break;
    }
    std::string s = b;
    if (s.find_first_of(".e") == std::string::npos)
        s += ".0";
    return s;
}

std::string readText(const std::string& path)
{
    std::ifstream in(path);
    return std::string((std::istreambuf_iterator<char>(in)), {});
}

class ExportTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        settingsStore().clear();
        setSettingsFilePath(dir.file("Quorvane.INI"));
        dm = std::make_unique<data::TdmSea>();
        data::setDmSea(dm.get());
        settingsStore().setText(key::TemplatePath, Templates);
        settingsStore().setText(key::DataExportPath, dir.path() + "/");
    }
    void TearDown() override
    {
        data::setDmSea(nullptr);
        dm.reset();
        settingsStore().clear();
    }
    // Rows whose fields are distinct per table and row; the S and N fields stay null.
    void fill(data::CurveTable& t, int rows, double base)
    {
        t.createDataSet();
        for (int i = 0; i < rows; ++i) {
            t.append();
            t.setFloat(0, base + i * 0.25);
            t.setFloat(1, 0.7075 + i * 1.5e-5);
            t.setFloat(2, 1.25e-5 * (i + 1));
            t.post();
        }
    }

    test::TempDir dir;
    test::ScriptedDialogs dialogs;
    std::unique_ptr<data::TdmSea> dm;
};

TEST_F(ExportTest, EachCommandFillsItsOwnTemplateFromItsTable)
{
    struct Case {
        const char* action;
        data::CurveTable data::TdmSea::*table;
        xls::TXlsReport data::TdmSea::*report;
        const char* templateFile;
        const char* suggested;
        const char* title;
    };
    const Case cases[] = {
        {"ExportSpline", &data::TdmSea::cdsSeaSpl, &data::TdmSea::RepSpline, "Quorvane_Smoothed_Spline.xls",
         "Quorvane_Smoothed_Spline_1.xls", "Smoothed spline curve"},
        {"ExportSplineP", &data::TdmSea::cdsSeaSplP, &data::TdmSea::RepSplP, "Quorvane_Smoothed_SplineP.xls",
         "Quorvane_Smoothed_SplineP_1.xls", "Smoothed spline curve, +95% envelope"},
        {"ExportSplineM", &data::TdmSea::cdsSeaSplM, &data::TdmSea::RepSplM, "Quorvane_Smoothed_SplineM.xls",
         "Quorvane_Smoothed_SplineM_1.xls", "Smoothed spline curve, -95% envelope"},
        {"ExportMovingAverage", &data::TdmSea::cdsMovAv, &data::TdmSea::RepMovAv, "Quorvane_Smoothed_MovAv.xls",
         "Quorvane_Smoothed_MovAv_1.xls", "Moving average curve"},
    };
    const std::string python = xlrdPython();
    TfmMain w;
    double base = 1;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.action);
        data::CurveTable& table = (*dm).*(c.table);
        fill(table, 3, base += 10);
        const std::string out = dir.file(std::string(c.action) + ".xls");
        dialogs.saveAnswers.push_back(QString::fromStdString(out));
        w.findChild<QAction*>(c.action)->trigger();

        ASSERT_FALSE(dialogs.saveAsked.empty());
        const ui::FileDialogOptions& asked = dialogs.saveAsked.back();
        EXPECT_EQ(asked.filter, "Excel|*.xls");
        EXPECT_EQ(asked.fileName, c.suggested);
        EXPECT_EQ(asked.initialFolder.toStdString(), dir.path() + "/");
        EXPECT_TRUE(asked.confirmOverwrite);
        EXPECT_EQ(((*dm).*(c.report)).Template, Templates + c.templateFile);
        EXPECT_EQ(((*dm).*(c.report)).FileName, out);
        ASSERT_TRUE(std::filesystem::exists(out));
        EXPECT_TRUE(table.eof()) << "the report leaves its table at its end";
        if (python.empty())
            continue;
        const auto rows = xlrdRows(python, out);
        ASSERT_EQ(rows.size(), 5u);
        EXPECT_EQ(rows[0].substr(0, rows[0].find('\t')), c.title);
        for (int r = 0; r < 3; ++r) {
            SCOPED_TRACE(r);
            std::string want;
            for (int f = 0; f < table.fieldCount(); ++f)
                want += (f ? "\t" : "") + (table.isNull(r, f) ? std::string() : repr(table.value(r, f)));
            EXPECT_EQ(rows[2 + r], want);
        }
    }
    if (python.empty())
        GTEST_SKIP() << "python3-xlrd not found";
}

TEST_F(ExportTest, ATemplatePathWithoutItsSeparatorFailsAndTheFolderIsStillRemembered)
{
    const std::string noSlash = Templates.substr(0, Templates.size() - 1);
    settingsStore().setText(key::TemplatePath, noSlash);
    std::filesystem::create_directories(dir.file("elsewhere"));
    const std::string out = dir.file("elsewhere/curve.xls");
    std::ofstream(out) << "former content";
    dialogs.saveAnswers.push_back(QString::fromStdString(out));
    TfmMain w;
    try {
        w.ExportSplineClick();
        ADD_FAILURE() << "the run did not fail";
    } catch (const std::exception& e) {
        EXPECT_EQ(std::string(e.what()), "Can't find the file \"" + noSlash + "Quorvane_Smoothed_Spline.xls\"");
    }
    EXPECT_EQ(settingsStore().text(key::DataExportPath), dir.file("elsewhere") + "/");
    EXPECT_EQ(readText(out), "former content") << "a failed run keeps the former output file";

    // The next export of any kind opens in that folder, and succeeds over the old file.
    settingsStore().setText(key::TemplatePath, Templates);
    fill(dm->cdsMovAv, 2, 5);
    dialogs.saveAnswers.push_back(QString::fromStdString(out));
    w.ExportMovingAverageClick();
    EXPECT_EQ(dialogs.saveAsked.back().initialFolder.toStdString(), dir.file("elsewhere") + "/");
    EXPECT_NE(readText(out), "former content");
    for (const auto& e : std::filesystem::directory_iterator(dir.file("elsewhere")))
        EXPECT_EQ(e.path().string(), out) << "nothing is left beside the output";
    const std::string python = xlrdPython();
    if (python.empty())
        GTEST_SKIP() << "python3-xlrd not found";
    const auto rows = xlrdRows(python, out);
    ASSERT_EQ(rows.size(), 4u);
    EXPECT_EQ(rows[2], "5.0\t0.7075\t1.25e-05\t");
}

TEST_F(ExportTest, CancellingTheDialogChangesNothing)
{
    TfmMain w;
    w.ExportSplineMClick();
    EXPECT_EQ(dialogs.saveAsked.size(), 1u);
    EXPECT_EQ(settingsStore().text(key::DataExportPath), dir.path() + "/");
    EXPECT_EQ(dm->RepSplM.Template, Templates + "Quorvane_Smoothed_SplineM.xls") << "the report keeps its new template";
    EXPECT_TRUE(dm->RepSplM.FileName.empty());
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.path()), {}), 0);
}

TEST_F(ExportTest, ReportsHaveTheSettingsOfTheDataModule)
{
    for (xls::TXlsReport* r : {&dm->RepSpline, &dm->RepSplP, &dm->RepSplM, &dm->RepMovAv}) {
        EXPECT_EQ(r->Adapter, &dm->XLSAdapter1);
        EXPECT_TRUE(r->AutoClose);
        EXPECT_EQ(r->DateTimeFormat, u"yyyy/mm/dd hh:mm");
        EXPECT_FALSE(r->KeepEmptyPictures);
        EXPECT_EQ(r->DataModule, &dm->reportModule());
    }
    EXPECT_FALSE(dm->XLSAdapter1.AllowOverwritingFiles());
    EXPECT_NE(dm->reportModule().findDataSet(u"CDSSEASPL"), nullptr);
    EXPECT_EQ(dm->reportModule().findDataSet(u"SeaSpl"), nullptr) << "templates use component names";
    EXPECT_NE(dm->reportModule().findProperty(u"name"), nullptr);
    EXPECT_EQ(dm->reportModule().findProperty(u"cdsSeaSpl"), nullptr) << "only what is registered is published";
}

} // namespace
} // namespace quorvane::app
