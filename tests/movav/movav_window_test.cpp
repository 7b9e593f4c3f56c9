// The moving-average window driven offscreen: loading its two tables with the
// warnings for missing and unreadable files, the Calculate command wired to the
// calculation, the toggles, the Data tab, printing, import and saving on close.
#include <gtest/gtest.h>

#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTabWidget>
#include <QTest>
#include <QTimer>
#include <filesystem>

#include "app/settings/settings_store.h"
#include "data/dm_sea.h"
#include "import/window/sheet_import_window.h"
#include "movav/moving_average.h"
#include "movav/window/movav_window.h"
#include "platform/ui/bound_chart.h"
#include "platform/ui/bound_grid.h"
#include "platform/ui/panel_status_bar.h"
#include "platform/ui/record_navigator.h"
#include "platform/ui/window_parts.h"
#include "support/internal_files.h"
#include "support/modal_guard.h"
#include "support/scripted_dialogs.h"
#include "support/window_checks.h"
#include "work/nspl.h"

namespace quorvane {
namespace {

using movav::TfmMovAv;

const std::string NotFound = data::text::RequiredFileNotFound;
const std::string Unable = data::text::UnableToOpenFile;

// Values 5, 1, 4, 2, 3 at ascending ages: the worked example of the statistics.
const std::vector<test::Row> FivePoints = {{1, 5}, {2, 1}, {3, 4}, {4, 2}, {5, 3}};

class MovAvWindowTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        settingsStore().clear();
        settingsStore().setText(key::InternalFiles, files.folder());
    }
    /// Shows the window and lets a close it asked for while showing happen.
    static void open(TfmMovAv& w)
    {
        w.show();
        QCoreApplication::processEvents();
    }
    /// A change of page as the user makes it, through the tab bar.
    static void selectTab(TfmMovAv& w, QWidget* page) { w.pcMovAv->setCurrentWidget(page); }

    test::InternalFiles files;
    test::ScriptedDialogs dialogs;
    data::TdmSea dm;
};

TEST_F(MovAvWindowTest, LaysOutItsControlsWithTheirCaptions)
{
    TfmMovAv w(dm);
    EXPECT_EQ(w.windowTitle(), "Fit Moving Average");
    EXPECT_EQ(w.size(), QSize(654, 520));
    EXPECT_EQ(w.font().family(), "Arial");
    EXPECT_EQ(w.font().pointSize(), 8);
    const std::vector<std::pair<const char*, const char*>> buttons = {
        {"bbClose", "&Close"},           {"bbPrinterSetup", "PrinterSetup"}, {"bbCalculate", "Calculate"},
        {"bbImport", "Import"},          {"bbPrintGraph", "Print Graph"},    {"bbShowData", "Hide Data"},
        {"bbShowMovAv", "Hide Mov.Av."}, {"bbMovAv", "Show moving av."}};
    for (const auto& [name, caption] : buttons) {
        SCOPED_TRACE(name);
        auto* b = w.findChild<QPushButton*>(name);
        ASSERT_NE(b, nullptr);
        EXPECT_EQ(b->text(), caption);
    }
    EXPECT_FALSE(w.bbPrintGraph->isEnabled());
    ASSERT_EQ(w.pcMovAv->count(), 3);
    EXPECT_EQ(w.pcMovAv->tabText(0), "Define");
    EXPECT_EQ(w.pcMovAv->tabText(1), "Graph");
    EXPECT_EQ(w.pcMovAv->tabText(2), "Data");

    ASSERT_EQ(w.sbMovAv->panelCount(), 4);
    for (int i = 0; const int width : {250, 80, 80, 50})
        EXPECT_EQ(w.sbMovAv->panel(i++)->width(), width);

    EXPECT_TRUE(w.rbMean->isChecked());
    EXPECT_EQ(w.rbMedian->text(), "Median");
    EXPECT_EQ(w.rbTrimean->text(), "Trimean");
    EXPECT_TRUE(w.RadioButton1->isChecked());
    EXPECT_EQ(w.RadioButton1->text(), "Average every");
    // The age-window choice exists but is never shown.
    EXPECT_TRUE(w.rbAgeFrame->isHidden());
    EXPECT_TRUE(w.MovAvAgeIncrementStr->isHidden());
    EXPECT_TRUE(w.findChild<QLabel*>("lbAgeUnits")->isHidden());

    EXPECT_EQ(w.dbgSeaRaw->table(), &dm.cdsSeaRaw);
    EXPECT_EQ(w.DBNavigator1->table(), &dm.cdsSeaRaw);
    EXPECT_FALSE(w.DBNavigator1->button(ui::NavButton::Insert)->isHidden());
    EXPECT_EQ(w.dbgMovAv->table(), nullptr);
    EXPECT_TRUE(w.dbnMovAv->button(ui::NavButton::Insert)->isHidden());

    EXPECT_EQ(w.DBChart1->leftAxis().title(), "Ratio");
    EXPECT_EQ(w.Series1->title(), "Data");
    EXPECT_EQ(w.Series1->kind(), ui::ChartSeries::Kind::Points);
    EXPECT_EQ(w.Series1->pointSize(), 3);
    EXPECT_EQ(w.Series1->color(), QColor(128, 128, 128));
    EXPECT_EQ(w.Series4->title(), "Moving average");
    EXPECT_EQ(w.Series4->kind(), ui::ChartSeries::Kind::Line);
    EXPECT_EQ(w.Series4->color(), QColor(0, 0, 255));
    EXPECT_EQ(w.Series4->width(), 2);
    EXPECT_EQ(ui::chartTitle(*w.DBChart1), "") << "no title before a calculation";
}

TEST_F(MovAvWindowTest, ShowingFillsTheFieldsFromTheSettingsAndLoadsBothTables)
{
    settingsStore().setText(key::NumberOfPointsToAverage, "7");
    settingsStore().setText(key::StudentsTMultiplier, "1.96");
    settingsStore().setText(key::MinimumUncertainty, "0.00002");
    settingsStore().setText(key::MovingAverageAgeWindow, "0.5");
    settingsStore().setText(key::AgeFrom, "0");
    settingsStore().setText(key::AgeTo, "100");
    files.write("SeaRaw", FivePoints);
    files.write("MovAv", {{1, 2}, {3, 4}});

    TfmMovAv w(dm);
    open(w);
    EXPECT_TRUE(w.isVisible());
    EXPECT_TRUE(dialogs.shown.empty());
    EXPECT_EQ(w.PointIncrementStr->text(), "7");
    EXPECT_EQ(w.WMultStr->text(), "1.96");
    EXPECT_EQ(w.WConstStr->text(), "0.00002");
    EXPECT_EQ(w.MovAvAgeIncrementStr->text(), "0.5");
    EXPECT_EQ(w.eFromAge->text(), "0");
    EXPECT_EQ(w.eToAge->text(), "100");
    EXPECT_EQ(w.sbMovAv->panelText(0), "Prepare Moving Average Curve");
    EXPECT_EQ(w.pcMovAv->currentWidget(), w.tsDefine);
    EXPECT_EQ(dm.cdsSeaRaw.rowCount(), 5);
    EXPECT_EQ(dm.cdsMovAv.rowCount(), 2);
    EXPECT_EQ(w.dbgSeaRaw->model()->rowCount(), 5);
    EXPECT_EQ(w.Series1->pointCount(), 5);
    EXPECT_EQ(w.Series4->pointCount(), 2);
    w.close();
}

TEST_F(MovAvWindowTest, WarnsForEachMissingOrUnreadableFileAndClosesWithoutMovAv)
{
    struct Case {
        const char* name;
        std::vector<std::string> missing, spoiled;
        std::vector<std::string> warnings; ///< table names after the warning text
        bool staysOpen;
    };
    const std::vector<Case> cases = {
        {"all present", {}, {}, {}, true},
        // A missing raw-point file is tested, warned and then fails to load: two warnings.
        {"SeaRaw missing", {"SeaRaw"}, {}, {NotFound + "SeaRaw", Unable + "SeaRaw"}, true},
        {"SeaRaw unreadable", {}, {"SeaRaw"}, {Unable + "SeaRaw"}, true},
        {"MovAv missing", {"MovAv"}, {}, {NotFound + "MovAv"}, false},
        {"MovAv unreadable", {}, {"MovAv"}, {Unable + "MovAv"}, true},
        {"both missing", {"SeaRaw", "MovAv"}, {}, {NotFound + "SeaRaw", NotFound + "MovAv"}, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        test::InternalFiles own;
        own.write("SeaRaw", FivePoints);
        own.write("MovAv", {{1, 2}});
        for (const auto& t : c.missing)
            own.remove(t);
        for (const auto& t : c.spoiled)
            own.spoil(t);
        dialogs.shown.clear();
        data::TdmSea tables;

        TfmMovAv w(tables);
        open(w);
        std::vector<std::string> expected;
        for (const auto& text : c.warnings) {
            const std::string table = text.substr(text.rfind(' ') + 1);
            expected.push_back(text.substr(0, text.rfind(' ') + 1) + own.path(table));
        }
        EXPECT_EQ(dialogs.warnings(), expected);
        EXPECT_TRUE(dialogs.messages().empty());
        EXPECT_EQ(w.isVisible(), c.staysOpen);
        if (!c.staysOpen) {
            EXPECT_EQ(w.result(), QDialog::Rejected);
            // Shown modally, as the main window shows it, it ends its own modal loop.
            TfmMovAv again(tables);
            // A window left waiting is ended from outside, with a result it never gives itself.
            QTimer::singleShot(2000, &again, [&again] {
                again.show(); // a hidden dialog cannot end its loop
                again.done(QDialog::Accepted);
            });
            EXPECT_EQ(again.exec(), QDialog::Rejected);
            EXPECT_FALSE(tables.cdsSeaRaw.isOpen()) << "nothing is loaded";
            EXPECT_FALSE(tables.cdsMovAv.isOpen());
        }
        // The files the window found stay as they were.
        if (c.missing.empty() && c.spoiled.empty())
            EXPECT_EQ(own.read("MovAv").size(), 1u);
        w.close();
    }
}

TEST_F(MovAvWindowTest, EachToggleHidesThenShowsItsSeriesWithItsOwnCaptions)
{
    struct Case {
        const char* button;
        const char* afterOne;
        const char* afterTwo;
        int series;
    };
    const Case cases[] = {{"bbShowData", "Show data", "Hide data", 0},
                          {"bbShowMovAv", "Show mov. av.", "Hide mov. av.", 1}};
    files.write("SeaRaw", FivePoints);
    TfmMovAv w(dm);
    open(w);
    for (const Case& c : cases) {
        SCOPED_TRACE(c.button);
        auto* b = w.findChild<QPushButton*>(c.button);
        ui::ChartSeries& s = w.DBChart1->series(c.series);
        QTest::mouseClick(b, Qt::LeftButton);
        EXPECT_EQ(b->text(), c.afterOne);
        EXPECT_FALSE(s.isVisible());
        EXPECT_FALSE(w.DBChart1->legend->hasItemWithPlottable(s.graph())) << "hidden from the legend too";
        QTest::mouseClick(b, Qt::LeftButton);
        EXPECT_EQ(b->text(), c.afterTwo) << "the start caption does not come back";
        EXPECT_TRUE(s.isVisible());
        EXPECT_TRUE(w.DBChart1->legend->hasItemWithPlottable(s.graph()));
    }
    // The legend keeps the series order after a series comes back.
    ASSERT_EQ(w.DBChart1->legend->itemCount(), 2);
    EXPECT_TRUE(w.DBChart1->legend->itemWithPlottable(w.Series1->graph()) == w.DBChart1->legend->item(0));
    w.close();
}

TEST_F(MovAvWindowTest, ImportPresetsMovAvAndSetsNSplFromTheRawPoints)
{
    // The import window on a workbook xlwt wrote: sheet "NoError" holds ages 1
    // to 99 in A2:A100 with Y in B; rows past 100 are empty.
    struct Case {
        const char* name;
        const char* fromRow;
        const char* toRow;
        int imported;
        int nspl;
    };
    const Case cases[] = {{"ten points", "2", "11", 10, 20},
                          {"one point", "5", "5", 1, 2},
                          {"an import of empty rows", "150", "160", 0, 15000}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        files.write("SeaRaw", FivePoints);
        dialogs.openAsked.clear();
        dialogs.openAnswers = {QStringLiteral(QUORVANE_TEST_FIXTURES "/import/xlwt-import.xls")};
        TfmMovAv w(dm);
        open(w);
        NSpl() = 7;
        QWidget* importOwner = nullptr;
        test::ModalGuard importWindow([&](QWidget* modal) {
            auto* im = qobject_cast<TfmSheetImport*>(modal);
            ASSERT_NE(im, nullptr);
            importOwner = im->parentWidget();
            im->cbSheetName->setCurrentIndex(im->cbSheetName->findText("NoError"));
            im->eFromRow->setText(c.fromRow);
            im->eToRow->setText(c.toRow);
            im->eX->setText("A");
            im->eY->setText("B");
            im->eYerr->setText("0");
            QTest::mouseClick(im->bbImport, Qt::LeftButton);
        });
        QTest::mouseClick(w.bbImport, Qt::LeftButton);
        ASSERT_TRUE(importWindow.answered());
        EXPECT_EQ(importOwner, &w);
        ASSERT_EQ(dialogs.openAsked.size(), 1u);
        EXPECT_EQ(dialogs.openAsked[0].fileName, "MovAv");
        EXPECT_TRUE(dialogs.messages().empty());
        EXPECT_EQ(dm.cdsSeaRaw.rowCount(), c.imported);
        EXPECT_EQ(NSpl(), c.nspl);
        // The grid and the data series are bound to SeaRaw: they show the import at once.
        EXPECT_EQ(w.dbgSeaRaw->model()->rowCount(), c.imported);
        EXPECT_EQ(w.Series1->pointCount(), c.imported);
        w.close();
    }
    NSpl() = DefaultNSpl;
}

TEST_F(MovAvWindowTest, TheDataTabIsUnboundAgainAfterLeavingIt)
{
    files.write("SeaRaw", FivePoints);
    files.write("MovAv", {{1, 2}, {2, 3}, {3, 4}});
    TfmMovAv w(dm);
    open(w);
    selectTab(w, w.tsData);
    EXPECT_EQ(w.dbgMovAv->table(), nullptr) << "bound to nothing until the button is pressed";
    QTest::mouseClick(w.bbMovAv, Qt::LeftButton);
    EXPECT_EQ(w.dbgMovAv->table(), &dm.cdsMovAv);
    EXPECT_EQ(w.dbnMovAv->table(), &dm.cdsMovAv);
    EXPECT_EQ(w.dbgMovAv->model()->rowCount(), 3);
    EXPECT_EQ(w.eCountMovAv->text(), "3");

    for (QWidget* away : {w.tsGraph, w.tsDefine}) {
        selectTab(w, away);
        selectTab(w, w.tsData);
        EXPECT_EQ(w.dbgMovAv->table(), nullptr);
        EXPECT_EQ(w.dbnMovAv->table(), nullptr);
        EXPECT_EQ(w.dbgMovAv->model()->rowCount(), 0);
        EXPECT_EQ(w.eCountMovAv->text(), "");
        QTest::mouseClick(w.bbMovAv, Qt::LeftButton);
        EXPECT_EQ(w.eCountMovAv->text(), "3");
    }
    w.close();
}

TEST_F(MovAvWindowTest, PrintGraphIsEnabledOnTheGraphTabOnly)
{
    files.write("SeaRaw", FivePoints);
    TfmMovAv w(dm);
    open(w);
    EXPECT_FALSE(w.bbPrintGraph->isEnabled());
    const std::pair<QWidget*, bool> steps[] = {
        {w.tsGraph, true}, {w.tsData, false}, {w.tsGraph, true}, {w.tsDefine, false}};
    for (const auto& [page, enabled] : steps) {
        SCOPED_TRACE(w.pcMovAv->tabText(w.pcMovAv->indexOf(page)).toStdString());
        selectTab(w, page);
        EXPECT_EQ(w.bbPrintGraph->isEnabled(), enabled);
    }
    // A calculation started on the Define tab ends on the Graph tab with printing enabled.
    QTest::mouseClick(w.bbCalculate, Qt::LeftButton);
    EXPECT_EQ(w.pcMovAv->currentWidget(), w.tsGraph);
    EXPECT_TRUE(w.bbPrintGraph->isEnabled());
    w.close();
}

TEST_F(MovAvWindowTest, ARefusedNumberOfPointsIsShownAndLeavesTheCurve)
{
    files.write("SeaRaw", FivePoints);
    files.write("MovAv", {{1, 2}, {2, 3}});
    TfmMovAv w(dm);
    open(w);
    struct Case {
        const char* points;
        QRadioButton* type;
        const char* message;
    };
    const Case cases[] = {{"-3", w.rbMean, text::NegativePointsToAverage},
                          {"103", w.rbMedian, text::TooManyPointsToSort}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.points);
        dialogs.shown.clear();
        c.type->setChecked(true);
        w.PointIncrementStr->setText(c.points);
        QTest::mouseClick(w.bbCalculate, Qt::LeftButton);
        EXPECT_EQ(dialogs.messages(), std::vector<std::string>{c.message});
        EXPECT_EQ(dm.cdsMovAv.rowCount(), 2);
        EXPECT_EQ(w.pcMovAv->currentWidget(), w.tsDefine);
        EXPECT_FALSE(w.bbPrintGraph->isEnabled());
        EXPECT_EQ(ui::chartTitle(*w.DBChart1), "");
    }
    w.close();
}

TEST_F(MovAvWindowTest, ClosingSavesBothTablesAndIgnoresAFailedSave)
{
    files.write("SeaRaw", FivePoints);
    files.write("MovAv", {{1, 2}});
    TfmMovAv w(dm);
    open(w);
    dm.cdsSeaRaw.append();
    dm.cdsSeaRaw.setFloat(0, 6);
    dm.cdsSeaRaw.setFloat(1, 9);
    dm.cdsSeaRaw.post();
    // MovAv.cds can no longer be replaced: a folder now stands in its place.
    files.remove("MovAv");
    std::filesystem::create_directory(files.path("MovAv"));
    QTest::mouseClick(w.bbClose, Qt::LeftButton);
    EXPECT_FALSE(w.isVisible());
    EXPECT_EQ(w.result(), QDialog::Rejected);
    EXPECT_TRUE(dialogs.shown.empty()) << "a failed save is not reported";
    EXPECT_EQ(files.read("SeaRaw").size(), 6u);
    EXPECT_TRUE(std::filesystem::is_directory(files.path("MovAv")));
}

TEST_F(MovAvWindowTest, AWholeRunFromShowingToALandscapePrintAndTheSavedCurve)
{
    files.write("SeaRaw", FivePoints);
    TfmMovAv w(dm);
    open(w);
    w.rbMedian->setChecked(true);
    w.PointIncrementStr->setText("2");
    QTest::mouseClick(w.bbCalculate, Qt::LeftButton);
    ASSERT_TRUE(dialogs.shown.empty());

    // n = 2 is made odd; the setting keeps the text as typed.
    EXPECT_EQ(w.PointIncrementStr->text(), "3");
    EXPECT_EQ(settingsStore().text(key::NumberOfPointsToAverage), "2");
    EXPECT_EQ(w.AverageType, "Median");
    EXPECT_EQ(ui::chartTitle(*w.DBChart1), "Moving Median (3 point)");
    EXPECT_EQ(w.sbMovAv->panelText(0), "All completed");
    EXPECT_EQ(w.pcMovAv->currentWidget(), w.tsGraph);
    // The median of the worked example: 5, 4, 2, 3, 3.
    const double expected[] = {5, 4, 2, 3, 3};
    ASSERT_EQ(w.Series4->pointCount(), 5);
    for (int i = 0; i < 5; ++i) {
        EXPECT_EQ(w.Series4->x(i), i + 1);
        EXPECT_EQ(w.Series4->y(i), expected[i]);
    }
    EXPECT_EQ(w.Series1->pointCount(), 5);
    QTest::mouseClick(w.bbShowData, Qt::LeftButton); // the printed chart shows the curve alone
    test::screenshot(w, "movav-graph");

    const std::string pdf = files.temp().file("movav.pdf");
    {
        test::PrintToPdf print(pdf);
        QTest::mouseClick(w.bbPrintGraph, Qt::LeftButton);
        EXPECT_EQ(print.printer().pageLayout().orientation(), QPageLayout::Portrait) << "orientation restored";
    }
    const QSizeF box = test::pdfMediaBox(QString::fromStdString(pdf));
    ASSERT_TRUE(box.isValid());
    EXPECT_GT(box.width(), box.height());

    selectTab(w, w.tsData);
    QTest::mouseClick(w.bbMovAv, Qt::LeftButton);
    EXPECT_EQ(w.eCountMovAv->text(), "5");
    test::screenshot(w, "movav-data");
    selectTab(w, w.tsDefine);
    test::screenshot(w, "movav-define");

    QTest::mouseClick(w.bbClose, Qt::LeftButton);
    const std::vector<std::pair<double, double>> saved = files.read("MovAv");
    ASSERT_EQ(saved.size(), 5u);
    for (int i = 0; i < 5; ++i)
        EXPECT_EQ(saved[static_cast<std::size_t>(i)], std::make_pair(double(i + 1), expected[i]));
}

} // namespace
} // namespace quorvane
