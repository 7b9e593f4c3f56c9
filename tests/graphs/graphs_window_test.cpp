// The comparative graphs window driven offscreen: loading its three tables with
// the warnings for missing and unreadable files, the three toggles, the Data
// tab's panels, printing either chart, and closing without saving.
#include <gtest/gtest.h>

#include <QLineEdit>
#include <QPushButton>
#include <QSplitter>
#include <QTabWidget>
#include <QTest>
#include <QTimer>

#include "app/settings/settings_store.h"
#include "data/dm_sea.h"
#include "graphs/graphs_window.h"
#include "platform/ui/bound_chart.h"
#include "platform/ui/bound_grid.h"
#include "platform/ui/panel_status_bar.h"
#include "platform/ui/record_navigator.h"
#include "platform/ui/window_parts.h"
#include "support/internal_files.h"
#include "support/scripted_dialogs.h"
#include "support/window_checks.h"

namespace quorvane {
namespace {

using graphs::TfmGraphs;

const std::string NotFound = data::text::RequiredFileNotFound;
const std::string Unable = data::text::UnableToOpenFile;

const std::vector<test::Row> Raw = {{1, 0.70910}, {2, 0.70925}, {3, 0.70918}, {4, 0.70931}};
const std::vector<test::Row> Spline = {
    {1, 0.70912, 0.00010}, {2, 0.70920, 0.00006}, {3, 0.70924, 0.00005}, {4, 0.70929, 0.00004}, {5, 0.70932, 0.0}};
const std::vector<test::Row> MovAv = {{1, 0.70910}, {2, 0.70918}, {3, 0.70925}, {4, 0.70931}};

class GraphsWindowTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        settingsStore().clear();
        settingsStore().setText(key::InternalFiles, files.folder());
        files.write("SeaRaw", Raw);
        files.write("SeaSpl", Spline);
        files.write("MovAv", MovAv);
    }
    static void open(TfmGraphs& w)
    {
        w.show();
        QCoreApplication::processEvents();
    }
    static void selectTab(TfmGraphs& w, QWidget* page) { w.pcSpline->setCurrentWidget(page); }

    test::InternalFiles files;
    test::ScriptedDialogs dialogs;
    data::TdmSea dm;
};

TEST_F(GraphsWindowTest, LaysOutItsControlsAndSeries)
{
    TfmGraphs w(dm);
    EXPECT_EQ(w.windowTitle(), "Comparative graphs");
    EXPECT_EQ(w.size(), QSize(654, 520));
    const std::vector<std::pair<const char*, const char*>> buttons = {
        {"bbClose", "&Close"},         {"bbPrinterSetup", "PrinterSetup"},   {"bbPrintGraph", "Print Graph"},
        {"bbShowData", "Hide Data"},   {"bbShowSpline", "Hide Spline"},      {"bbShowMovAv", "Hide Mov.Av."},
        {"bbSeaRawAv", "Show averaged data"}, {"bbSeaSpl", "Show spline data"}, {"bbSeaSplP", "Show spline +95%"}};
    for (const auto& [name, caption] : buttons) {
        SCOPED_TRACE(name);
        auto* b = w.findChild<QPushButton*>(name);
        ASSERT_NE(b, nullptr);
        EXPECT_EQ(b->text(), caption);
    }
    ASSERT_EQ(w.pcSpline->count(), 3);
    EXPECT_EQ(w.pcSpline->tabText(0), "Graph");
    EXPECT_EQ(w.pcSpline->tabText(1), "Data");
    EXPECT_EQ(w.pcSpline->tabText(2), "Graph of first differential");
    ASSERT_EQ(w.sbSpline->panelCount(), 4);
    for (int i = 0; const int width : {250, 80, 80, 50})
        EXPECT_EQ(w.sbSpline->panel(i++)->width(), width);
    EXPECT_EQ(w.spData->count(), 3);

    struct Series {
        ui::ChartSeries* s;
        const char* title;
        ui::ChartSeries::Kind kind;
        QColor color;
        data::CurveTable* table;
    };
    const Series series[] = {
        {w.Series1, "Data", ui::ChartSeries::Kind::Points, QColor(128, 128, 128), &dm.cdsSeaRaw},
        {w.Series2, "Spline", ui::ChartSeries::Kind::Line, QColor(255, 0, 0), &dm.cdsSeaSpl},
        {w.Series4, "Moving average", ui::ChartSeries::Kind::Line, QColor(0, 0, 255), &dm.cdsMovAv},
        {w.LineSeries1, "Y prime", ui::ChartSeries::Kind::Line, QColor(255, 0, 255), &dm.cdsSeaSpl}};
    for (const Series& s : series) {
        SCOPED_TRACE(s.title);
        EXPECT_EQ(s.s->title(), s.title);
        EXPECT_EQ(s.s->kind(), s.kind);
        EXPECT_EQ(s.s->color(), s.color);
        EXPECT_EQ(s.s->table(), s.table);
    }
    EXPECT_EQ(w.Series1->pointSize(), 3);
    EXPECT_EQ(w.DBChart1->series(0).title(), "Data"); // in this order on the chart
    EXPECT_EQ(w.DBChart1->series(2).title(), "Moving average");
    EXPECT_EQ(w.DBChart1->leftAxis().title(), "Ratio");
    EXPECT_EQ(w.DBChart2->leftAxis().title(), "Y Prime");
    for (ui::DBNavigator* n : {w.dbnSeaRawAv, w.dbnSeaSpl, w.dbnSeaSplP}) {
        EXPECT_FALSE(n->button(ui::NavButton::Last)->isHidden());
        EXPECT_TRUE(n->button(ui::NavButton::Insert)->isHidden());
    }
}

TEST_F(GraphsWindowTest, WarnsForEachMissingOrUnreadableFileAndClosesWithoutACurve)
{
    struct Case {
        const char* name;
        std::vector<std::string> missing, spoiled;
        std::vector<std::pair<std::string, std::string>> warnings; ///< text, table
        bool staysOpen;
    };
    const std::vector<Case> cases = {
        {"all present", {}, {}, {}, true},
        {"SeaSpl missing", {"SeaSpl"}, {}, {{NotFound, "SeaSpl"}}, false},
        {"MovAv missing", {"MovAv"}, {}, {{NotFound, "MovAv"}}, false},
        {"both curves missing", {"MovAv", "SeaSpl"}, {}, {{NotFound, "MovAv"}, {NotFound, "SeaSpl"}}, false},
        {"SeaRaw missing", {"SeaRaw"}, {}, {{NotFound, "SeaRaw"}, {Unable, "SeaRaw"}}, true},
        // Each unreadable file is reported and the next table is loaded all the same.
        {"SeaRaw and MovAv unreadable", {}, {"SeaRaw", "MovAv"}, {{Unable, "SeaRaw"}, {Unable, "MovAv"}}, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        test::InternalFiles own;
        own.write("SeaRaw", Raw);
        own.write("SeaSpl", Spline);
        own.write("MovAv", MovAv);
        for (const auto& t : c.missing)
            own.remove(t);
        for (const auto& t : c.spoiled)
            own.spoil(t);
        dialogs.shown.clear();
        data::TdmSea tables;

        TfmGraphs w(tables);
        open(w);
        std::vector<std::string> expected;
        for (const auto& [text, table] : c.warnings)
            expected.push_back(text + own.path(table));
        EXPECT_EQ(dialogs.warnings(), expected);
        EXPECT_EQ(w.isVisible(), c.staysOpen);
        if (!c.staysOpen) {
            EXPECT_EQ(w.result(), QDialog::Rejected);
            // Shown modally, as the main window shows it, it ends its own modal loop.
            TfmGraphs again(tables);
            // A window left waiting is ended from outside, with a result it never gives itself.
            QTimer::singleShot(2000, &again, [&again] {
                again.show(); // a hidden dialog cannot end its loop
                again.done(QDialog::Accepted);
            });
            EXPECT_EQ(again.exec(), QDialog::Rejected);
            for (data::CurveTable* t : {&tables.cdsSeaRaw, &tables.cdsSeaSpl, &tables.cdsMovAv})
                EXPECT_FALSE(t->isOpen()) << t->name() << " is not loaded";
        } else {
            EXPECT_EQ(w.pcSpline->currentWidget(), w.tsGraph);
            EXPECT_TRUE(w.bbPrintGraph->isEnabled());
            EXPECT_EQ(w.Series2->pointCount(), 5) << "the spline is shown";
            EXPECT_EQ(w.Series1->pointCount(), c.warnings.empty() ? 4 : 0);
        }
        w.close();
    }
}

TEST_F(GraphsWindowTest, AnEmptyMovingAverageLeavesItsSeriesEmpty)
{
    files.write("MovAv", {});
    TfmGraphs w(dm);
    open(w);
    EXPECT_TRUE(dialogs.shown.empty());
    EXPECT_EQ(w.Series1->pointCount(), 4);
    EXPECT_EQ(w.Series2->pointCount(), 5);
    EXPECT_EQ(w.Series4->pointCount(), 0);
    // The first-differential chart shows YPrime of the spline, in table order.
    ASSERT_EQ(w.LineSeries1->pointCount(), 5);
    EXPECT_EQ(w.LineSeries1->x(0), 1);
    EXPECT_EQ(w.LineSeries1->y(0), 0.00010);
    EXPECT_EQ(w.LineSeries1->y(4), 0.0);
    w.close();
}

TEST_F(GraphsWindowTest, EachToggleHidesThenShowsItsSeriesWithItsOwnCaptions)
{
    struct Case {
        const char* button;
        const char* afterOne;
        const char* afterTwo;
        int series;
    };
    const Case cases[] = {{"bbShowData", "Show data", "Hide data", 0},
                          {"bbShowSpline", "Show spline", "Hide spline", 1},
                          {"bbShowMovAv", "Show Mov.Av.", "Hide Mov.Av.", 2}};
    TfmGraphs w(dm);
    open(w);
    for (const Case& c : cases) {
        SCOPED_TRACE(c.button);
        auto* b = w.findChild<QPushButton*>(c.button);
        ui::ChartSeries& s = w.DBChart1->series(c.series);
        QTest::mouseClick(b, Qt::LeftButton);
        EXPECT_EQ(b->text(), c.afterOne);
        EXPECT_FALSE(s.isVisible());
        EXPECT_FALSE(w.DBChart1->legend->hasItemWithPlottable(s.graph()));
        QTest::mouseClick(b, Qt::LeftButton);
        EXPECT_EQ(b->text(), c.afterTwo);
        EXPECT_TRUE(s.isVisible());
    }
    EXPECT_EQ(w.DBChart1->legend->itemCount(), 3);
    w.close();
}

TEST_F(GraphsWindowTest, DataPanelsShowTheirTableWhenOpenAndAreUnboundAfterLeaving)
{
    TfmGraphs w(dm);
    // SeaSplP was left open by an earlier window; SeaRawAv is closed.
    dm.cdsSeaSplP.createDataSet();
    for (double age : {1.0, 2.0}) {
        dm.cdsSeaSplP.append();
        dm.cdsSeaSplP.setFloat(0, age);
        dm.cdsSeaSplP.post();
    }
    open(w);
    struct Case {
        QPushButton* button;
        ui::DBGrid* grid;
        ui::DBNavigator* nav;
        QLineEdit* count;
        data::CurveTable* table;
        const char* rows;
    };
    const Case cases[] = {{w.bbSeaRawAv, w.dbgSeaRawAv, w.dbnSeaRawAv, w.eCountRawDataAv, &dm.cdsSeaRawAv, "0"},
                          {w.bbSeaSpl, w.dbgSeaSpl, w.dbnSeaSpl, w.eCountSpline, &dm.cdsSeaSpl, "5"},
                          {w.bbSeaSplP, w.dbgSeaSplP, w.dbnSeaSplP, w.eCountSplineP, &dm.cdsSeaSplP, "2"}};
    selectTab(w, w.tsData);
    for (const Case& c : cases) {
        SCOPED_TRACE(c.table->name());
        EXPECT_EQ(c.grid->table(), nullptr);
        QTest::mouseClick(c.button, Qt::LeftButton);
        EXPECT_EQ(c.grid->table(), c.table);
        EXPECT_EQ(c.nav->table(), c.table);
        EXPECT_EQ(c.count->text(), c.rows);
        EXPECT_EQ(QString::number(c.grid->model()->rowCount()), c.rows);
    }
    EXPECT_FALSE(dm.cdsSeaRawAv.isOpen()) << "this window does not load SeaRawAv";
    selectTab(w, w.tsYPrime);
    for (const Case& c : cases) {
        SCOPED_TRACE(c.table->name());
        EXPECT_EQ(c.grid->table(), nullptr);
        EXPECT_EQ(c.nav->table(), nullptr);
        EXPECT_EQ(c.count->text(), "");
    }
    w.close();
}

TEST_F(GraphsWindowTest, PrintGraphIsEnabledOnBothGraphTabsAndPrintsLandscapeFromEither)
{
    TfmGraphs w(dm);
    open(w);
    const std::pair<QWidget*, bool> steps[] = {
        {w.tsData, false}, {w.tsYPrime, true}, {w.tsData, false}, {w.tsGraph, true}};
    for (const auto& [page, enabled] : steps) {
        SCOPED_TRACE(w.pcSpline->tabText(w.pcSpline->indexOf(page)).toStdString());
        selectTab(w, page);
        EXPECT_EQ(w.bbPrintGraph->isEnabled(), enabled);
    }
    for (QWidget* page : {w.tsGraph, w.tsYPrime}) {
        const std::string name = page == w.tsGraph ? "graph" : "yprime";
        SCOPED_TRACE(name);
        selectTab(w, page);
        test::screenshot(w, ("graphs-" + name).c_str());
        const std::string pdf = files.temp().file(name + ".pdf");
        {
            test::PrintToPdf print(pdf);
            QTest::mouseClick(w.bbPrintGraph, Qt::LeftButton);
            EXPECT_EQ(print.printer().pageLayout().orientation(), QPageLayout::Portrait);
        }
        const QSizeF box = test::pdfMediaBox(QString::fromStdString(pdf));
        ASSERT_TRUE(box.isValid());
        EXPECT_GT(box.width(), box.height());
    }
    EXPECT_TRUE(dialogs.shown.empty());
    w.close();
}

TEST_F(GraphsWindowTest, AWholeVisitSavesNothingAndLeavesTheTablesOpen)
{
    const std::string before = test::readFile(files.path("MovAv"));
    TfmGraphs w(dm);
    open(w);
    QTest::mouseClick(w.bbShowData, Qt::LeftButton);
    selectTab(w, w.tsData);
    QTest::mouseClick(w.bbSeaSpl, Qt::LeftButton);
    test::screenshot(w, "graphs-data");
    // A change made while the window is open is not written when it closes.
    dm.cdsMovAv.emptyTable();
    QTest::mouseClick(w.bbClose, Qt::LeftButton);
    EXPECT_FALSE(w.isVisible());
    EXPECT_EQ(w.result(), QDialog::Rejected);
    EXPECT_EQ(test::readFile(files.path("MovAv")), before);
    for (data::CurveTable* t : {&dm.cdsSeaRaw, &dm.cdsSeaSpl, &dm.cdsMovAv})
        EXPECT_TRUE(t->isOpen()) << t->name();
    EXPECT_TRUE(dialogs.shown.empty());
}

} // namespace
} // namespace quorvane
