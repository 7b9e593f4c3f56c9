// The spline window driven offscreen: loading and saving its tables, the page,
// axis and series rules, and one whole path from import to printed chart.
#include <gtest/gtest.h>

#include <QCheckBox>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QPrinter>
#include <QPushButton>
#include <QRegularExpression>
#include <QTabWidget>
#include <QTest>
#include <cmath>
#include <filesystem>

#include "app/settings/settings_store.h"
#include "data/dm_sea.h"
#include "import/csv_import.h"
#include "import/window/sheet_import_window.h"
#include "platform/ui/application.h"
#include "platform/ui/bound_chart.h"
#include "platform/ui/bound_grid.h"
#include "platform/ui/record_navigator.h"
#include "spline/window/spline_fit.h"
#include "support/modal_guard.h"
#include "support/scripted_dialogs.h"
#include "support/temp_dir.h"
#include "work/nspl.h"

using namespace quorvane;
using spline::TfmSplineFit;

namespace {

class SplineWindow : public ::testing::Test {
protected:
    void SetUp() override
    {
        folder = dir.file("internal");
        ASSERT_TRUE(data::seedInternalFolder(folder));
        SettingsStore& s = settingsStore();
        s.clear();
        s.setText(key::InternalFiles, folder);
        s.setText(key::StudentsTMultiplier, "2");
        s.setText(key::MinimumUncertainty, "0.00002");
        s.setText(key::RequiredSmoothingPrecision, "1");
        s.setText(key::AgeRangeToAverage, "0.5");
        s.setText(key::AgeFrom, "0");
        s.setText(key::AgeTo, "100");
        NSpl() = DefaultNSpl;
    }

    std::string path(const char* file) const { return folder + "/" + file; }

    /// Shows the window as the main window would, and lets a self-close happen.
    void show()
    {
        window = std::make_unique<TfmSplineFit>(dm);
        window->show();
        QCoreApplication::processEvents();
    }

    /// Raw points of a smooth curve with a fixed wiggle, written as CSV.
    std::string rawCsv(int n) const
    {
        std::string csv = "Age,Ratio,Error\n";
        for (int i = 0; i < n; ++i) {
            const double age = i * 0.37;
            const double ratio = 0.7085 + 0.00002 * age + 0.00001 * std::sin(i * 1.7);
            csv += std::to_string(age) + "," + std::to_string(ratio) + ",0.00002\n";
        }
        const std::string file = dir.file("raw.csv");
        test::writeFile(file, csv);
        return file;
    }

    void click(QWidget* w) { QTest::mouseClick(w, Qt::LeftButton); }

    test::TempDir dir;
    std::string folder;
    data::TdmSea dm;
    test::ScriptedDialogs dialogs;
    std::unique_ptr<TfmSplineFit> window;
};

QSizeF pdfMediaBox(const QString& pdf)
{
    QFile f(pdf);
    if (!f.open(QIODevice::ReadOnly))
        return {};
    const auto m = QRegularExpression(R"(/MediaBox \[\s*0 0 ([0-9.]+) ([0-9.]+)\s*\])")
                       .match(QString::fromLatin1(f.readAll()));
    return m.hasMatch() ? QSizeF(m.captured(1).toDouble(), m.captured(2).toDouble()) : QSizeF();
}

} // namespace

TEST_F(SplineWindow, OpensWithItsControlsAndTheSettings)
{
    NSpl() = 1234;
    show();
    EXPECT_TRUE(window->isVisible());
    EXPECT_EQ(window->windowTitle(), "Fit Weighted Spline");
    EXPECT_EQ(window->sbSpline->panelText(0), "Prepare Calibration Curve");
    EXPECT_EQ(window->pcSpline->currentWidget(), window->tsDefine);
    EXPECT_FALSE(window->bbPrintGraph->isEnabled());
    EXPECT_EQ(window->eNSpl->text(), "1234");
    EXPECT_EQ(window->WMultStr->text(), "2");
    EXPECT_EQ(window->WConstStr->text(), "0.00002");
    EXPECT_EQ(window->AgeIncrementStr->text(), "0.5");
    EXPECT_EQ(window->eToAge->text(), "100");
    EXPECT_TRUE(dialogs.shown.empty());

    const int widths[] = {250, 80, 80, 180, 180, 50};
    ASSERT_EQ(window->sbSpline->panelCount(), 6);
    for (int i = 0; i < 6; ++i)
        EXPECT_EQ(window->sbSpline->panel(i)->width(), widths[i]) << "panel " << i;

    const char* tabs[] = {"Define", "Graph", "Data", "Graph of first differential", "Time Step"};
    for (int i = 0; i < 5; ++i)
        EXPECT_EQ(window->pcSpline->tabText(i), tabs[i]);

    struct Chart {
        ui::DBChart* chart;
        const char* leftTitle;
        std::vector<const char*> series;
    };
    const Chart charts[] = {
        {window->DBChart1, "Ratio", {"Data", "Spline", "+95%", "-95%", "Data (av)"}},
        {window->DBChart2, "Y Prime", {"Y prime"}},
        {window->DBChart3, "Time increment", {"delta t"}},
    };
    for (const Chart& c : charts) {
        SCOPED_TRACE(c.leftTitle);
        EXPECT_EQ(c.chart->leftAxis().title(), c.leftTitle);
        EXPECT_EQ(c.chart->xAxis->label(), "Age");
        ASSERT_EQ(c.chart->seriesCount(), static_cast<int>(c.series.size()));
        for (std::size_t i = 0; i < c.series.size(); ++i)
            EXPECT_EQ(c.chart->series(static_cast<int>(i)).title(), c.series[i]);
    }
    using Kind = ui::ChartSeries::Kind;
    struct Drawing {
        ui::ChartSeries* s;
        Kind kind;
        QColor color;
        int width;
    };
    const Drawing drawings[] = {
        {&window->DBChart1->series(0), Kind::Points, QColor(128, 0, 64), 0},
        {&window->DBChart1->series(1), Kind::Line, QColor(255, 0, 0), 2},
        {&window->DBChart1->series(2), Kind::Line, QColor(0, 128, 0), 1},
        {&window->DBChart1->series(3), Kind::Line, QColor(0, 0, 255), 1},
        {&window->DBChart2->series(0), Kind::Line, QColor(255, 0, 255), 2},
        {&window->DBChart3->series(0), Kind::Line, QColor(0, 128, 0), 2},
    };
    for (const Drawing& d : drawings) {
        SCOPED_TRACE(d.s->title().toStdString());
        EXPECT_EQ(d.s->kind(), d.kind);
        EXPECT_EQ(d.s->color(), d.color);
        if (d.kind == Kind::Line)
            EXPECT_EQ(d.s->width(), d.width);
    }
    EXPECT_EQ(window->DBChart1->series(4).pointStyle(), ui::ChartSeries::PointStyle::Square);
    EXPECT_EQ(window->DBChart3->series(0).order(), ui::ChartSeries::Order::SortedByX);
    EXPECT_EQ(window->DBChart1->series(0).order(), ui::ChartSeries::Order::Table);
}

TEST_F(SplineWindow, MissingRawFileWarnsTwiceAndLeavesTheRawGridEmpty)
{
    std::filesystem::remove(path("SeaRaw.cds"));
    show();
    EXPECT_EQ(dialogs.warnings(), (std::vector<std::string>{"Required internal file not found - " + path("SeaRaw.cds"),
                                                            "Unable to open file - " + path("SeaRaw.cds")}));
    EXPECT_TRUE(window->isVisible());
    EXPECT_TRUE(window->ready());
    EXPECT_FALSE(dm.cdsSeaRaw.isOpen());
    EXPECT_TRUE(dm.cdsSeaSpl.isOpen());
    EXPECT_EQ(window->dbgSeaRaw->model()->rowCount(), 0);
}

TEST_F(SplineWindow, MissingCurveFileReportsEveryMissingFileAndCloses)
{
    std::filesystem::remove(path("SeaSpl.cds"));
    std::filesystem::remove(path("DeltaT.cds"));
    show();
    EXPECT_EQ(dialogs.warnings(), (std::vector<std::string>{"Required internal file not found - " + path("SeaSpl.cds"),
                                                            "Required internal file not found - " + path("DeltaT.cds")}));
    EXPECT_FALSE(window->ready());
    EXPECT_FALSE(window->isVisible());
    EXPECT_EQ(window->result(), QDialog::Rejected);
    EXPECT_FALSE(dm.cdsSeaRaw.isOpen()); // nothing was loaded
    // Closing saved nothing over the files that were there, and made no new ones.
    EXPECT_FALSE(std::filesystem::exists(path("SeaSpl.cds")));

    // Shown modally, as the main window shows it, it ends its own modal loop.
    window = std::make_unique<TfmSplineFit>(dm);
    test::ModalGuard stillOpen([](QWidget* modal) { static_cast<QDialog*>(modal)->done(QDialog::Accepted); });
    EXPECT_EQ(window->exec(), QDialog::Rejected);
    EXPECT_FALSE(stillOpen.answered());
}

TEST_F(SplineWindow, AxisSettingsApplyOnlyOnAClickOnAuto)
{
    show();
    importCsv(rawCsv(20), dm.cdsSeaRaw, dm.cdsDeltaT);
    window->pcSpline->setCurrentWidget(window->tsGraph);
    window->DBChart1->redraw();
    ui::ChartAxis& axis = window->DBChart1->leftAxis();
    const double min = axis.minimum(), max = axis.maximum();
    ASSERT_LT(min, max);

    // Changing the limits or "log" alone does nothing.
    window->cbLogAxis->setChecked(true);
    window->eMax->setText("0.75");
    EXPECT_FALSE(axis.logarithmic());
    window->eMax->setText("eMax");

    // "eMin" and "eMax" are no numbers: only the scaling mode and the log setting change.
    click(window->cbAutoAxis);
    EXPECT_FALSE(window->cbAutoAxis->isChecked());
    EXPECT_FALSE(axis.automatic());
    EXPECT_TRUE(axis.logarithmic());
    EXPECT_EQ(axis.minimum(), min);
    EXPECT_EQ(axis.maximum(), max);
    EXPECT_TRUE(dialogs.messages().empty());

    // A minimum above the maximum is refused with the chart's message and the
    // remaining steps are not taken.
    window->cbLogAxis->setChecked(false);
    window->eMin->setText("5");
    window->eMax->setText("6");
    click(window->cbAutoAxis);
    EXPECT_EQ(dialogs.messages(), (std::vector<std::string>{"Axis Minimum Value must be <= Maximum"}));
    EXPECT_TRUE(axis.automatic());
    EXPECT_EQ(axis.maximum(), max);
    EXPECT_TRUE(axis.logarithmic());

    // Fixed limits in order, then a logarithmic scale refused silently for 0.
    dialogs.shown.clear();
    window->eMin->setText(" 0 ");
    window->eMax->setText("0.8");
    window->cbLogAxis->setChecked(true);
    click(window->cbAutoAxis); // unchecks: fixed limits
    EXPECT_TRUE(dialogs.messages().empty());
    EXPECT_EQ(axis.minimum(), 0);
    EXPECT_EQ(axis.maximum(), 0.8);
}

TEST_F(SplineWindow, SeriesTogglesHideAndShowWithTheirCaptions)
{
    show();
    struct Toggle {
        QPushButton* button;
        const char* series;
        const char* initial;
        const char* afterHide;
        const char* afterShow;
    };
    const Toggle toggles[] = {
        {window->bbShowData, "Data", "Hide Data", "Show data", "Hide data"},
        {window->bbShowSpline, "Spline", "Hide Spline", "Show spline", "Hide spline"},
        {window->bbShowSplineP, "+95%", "Hide +95%", "Show +95%", "Hide +95%"},
        {window->bbShowSplineM, "-95%", "Hide -95%", "Show -95%", "Hide -95%"},
        {window->bbShowDataAv, "Data (av)", "Hide Data (av)", "Show data (av)", "Hide data (av)"},
    };
    window->pcSpline->setCurrentWidget(window->tsGraph);
    for (const Toggle& t : toggles) {
        SCOPED_TRACE(t.series);
        ui::ChartSeries* s = window->DBChart1->series(QString::fromLatin1(t.series));
        EXPECT_EQ(t.button->text(), t.initial);
        EXPECT_TRUE(s->isVisible());
        click(t.button);
        EXPECT_EQ(t.button->text(), t.afterHide);
        EXPECT_FALSE(s->isVisible());
        EXPECT_FALSE(window->DBChart1->legend->hasItemWithPlottable(s->graph()));
        click(t.button);
        EXPECT_EQ(t.button->text(), t.afterShow);
        EXPECT_TRUE(s->isVisible());
        EXPECT_TRUE(window->DBChart1->legend->hasItemWithPlottable(s->graph()));
    }
}

TEST_F(SplineWindow, LeavingTheDataTabUnbindsThreePanelsButNotTheIncrements)
{
    show();
    importCsv(rawCsv(12), dm.cdsSeaRaw, dm.cdsDeltaT);
    window->pcSpline->setCurrentWidget(window->tsData);
    for (QPushButton* b : {window->bbSeaRawAv, window->bbSeaSpl, window->bbSeaSplP, window->bbShowIncrements})
        click(b);
    EXPECT_EQ(window->eCountRawDataAv->text(), "0");
    const QString increments = QString::number(dm.cdsDeltaT.rowCount()); // one per step between raw points
    EXPECT_EQ(increments, "11");
    EXPECT_EQ(window->eCountIncrements->text(), increments);
    EXPECT_EQ(window->dbgIncrements->model()->rowCount(), 11);
    EXPECT_FALSE(window->bbPrintGraph->isEnabled());

    struct Page {
        QWidget* page;
        bool printEnabled;
    };
    const Page pages[] = {{window->tsGraph, true}, {window->tsTimeStep, false}, {window->tsYPrime, true},
                          {window->tsDefine, false}};
    for (const Page& p : pages) {
        SCOPED_TRACE(p.page->objectName().toStdString());
        window->pcSpline->setCurrentWidget(p.page);
        EXPECT_EQ(window->bbPrintGraph->isEnabled(), p.printEnabled);
        for (QLineEdit* e : {window->eCountRawDataAv, window->eCountSpline, window->eCountSplineP})
            EXPECT_EQ(e->text(), "");
        for (ui::DBGrid* g : {window->dbgSeaRawAv, window->dbgSeaSpl, window->dbgSeaSplP})
            EXPECT_EQ(g->table(), nullptr);
        EXPECT_EQ(window->dbnSeaSpl->table(), nullptr);
        EXPECT_EQ(window->eCountIncrements->text(), increments);
        EXPECT_EQ(window->dbgIncrements->table(), &dm.cdsDeltaT);
    }
}

TEST_F(SplineWindow, AFailedRunIsShownAndLeavesThePageAndPrintingAlone)
{
    show();
    // 101 raw points in one age bin: more than a bin takes.
    std::string csv = "Age,Ratio,Error\n";
    for (int i = 0; i < 101; ++i)
        csv += "1.0,0.709,0.00002\n";
    test::writeFile(dir.file("bin.csv"), csv);
    importCsv(dir.file("bin.csv"), dm.cdsSeaRaw, dm.cdsDeltaT);
    window->cbDoRawAverages->setChecked(true);
    window->cbSpline->setChecked(true);
    click(window->bbCalculate);
    EXPECT_EQ(dialogs.messages(), (std::vector<std::string>{"Range check error"}));
    EXPECT_TRUE(window->isVisible());
    EXPECT_EQ(window->pcSpline->currentWidget(), window->tsDefine);
    EXPECT_FALSE(window->bbPrintGraph->isEnabled());
    EXPECT_EQ(window->dbgSeaRaw->table(), &dm.cdsSeaRaw); // the raw grid is bound again
}

TEST_F(SplineWindow, ImportCalculatePrintAndCloseKeepTheSixTables)
{
    show();
    // The import window on a workbook xlwt wrote: sheet "NoError", ages 1 to 99
    // in A2:A100 with Y in B and no uncertainty column.
    dialogs.openAnswers.push_back(QStringLiteral(QUORVANE_TEST_FIXTURES "/import/xlwt-import.xls"));
    test::ModalGuard importWindow([](QWidget* modal) {
        auto* w = qobject_cast<TfmSheetImport*>(modal);
        ASSERT_NE(w, nullptr);
        w->cbSheetName->setCurrentIndex(w->cbSheetName->findText("NoError"));
        w->eFromRow->setText("2");
        w->eToRow->setText("100");
        w->eX->setText("A");
        w->eY->setText("B");
        w->eYerr->setText("0");
        QTest::mouseClick(w->bbImport, Qt::LeftButton);
    });
    click(window->bbImport);
    EXPECT_TRUE(importWindow.answered());
    ASSERT_EQ(dialogs.openAsked.size(), 1u);
    EXPECT_EQ(dialogs.openAsked[0].fileName, "SeaRaw");
    ASSERT_EQ(dm.cdsSeaRaw.rowCount(), 99);
    EXPECT_EQ(NSpl(), 198);
    EXPECT_EQ(window->eNSpl->text(), "15000"); // the field keeps what it showed
    window->eNSpl->setText("198");

    for (QCheckBox* c : {window->cbDoRawAverages, window->cbSpline, window->cbSplineP, window->cbSplineM})
        c->setChecked(true);
    click(window->bbCalculate);
    ASSERT_TRUE(dialogs.messages().empty()) << dialogs.messages().front();
    EXPECT_EQ(window->pcSpline->currentWidget(), window->tsGraph);
    EXPECT_TRUE(window->bbPrintGraph->isEnabled());
    EXPECT_EQ(window->sbSpline->panelText(0), "All completed");
    EXPECT_GT(dm.cdsSeaSpl.rowCount(), 0);

    struct Bound {
        ui::ChartSeries* series;
        data::CurveTable* table;
        const char* field;
    };
    const Bound bound[] = {
        {&window->DBChart1->series(0), &dm.cdsSeaRaw, "Ratio"},  {&window->DBChart1->series(1), &dm.cdsSeaSpl, "Ratio"},
        {&window->DBChart1->series(2), &dm.cdsSeaSplP, "Ratio"}, {&window->DBChart1->series(3), &dm.cdsSeaSplM, "Ratio"},
        {&window->DBChart1->series(4), &dm.cdsSeaRawAv, "Ratio"}, {&window->DBChart2->series(0), &dm.cdsSeaSpl, "YPrime"},
        {&window->DBChart3->series(0), &dm.cdsDeltaT, "DeltaT"},
    };
    for (const Bound& b : bound) {
        SCOPED_TRACE(b.series->title().toStdString());
        ASSERT_EQ(b.series->pointCount(), b.table->rowCount());
        const int f = b.table->field(b.field);
        for (int row : {0, b.table->rowCount() / 2, b.table->rowCount() - 1}) {
            EXPECT_EQ(b.series->x(row), b.table->value(row, 0));
            EXPECT_EQ(b.series->y(row), b.table->value(row, f));
        }
    }

    QPrinter& printer = ui::appPrinter();
    if (printer.outputFormat() == QPrinter::PdfFormat && printer.outputFileName().isEmpty()) {
        const QString pdf = QString::fromStdString(dir.file("graph.pdf"));
        dialogs.saveAnswers.push_back(pdf);
        click(window->bbPrintGraph);
        const QSizeF box = pdfMediaBox(pdf);
        ASSERT_TRUE(box.isValid());
        EXPECT_GT(box.width(), box.height());
    }

    auto expected = [&] {
        std::vector<std::vector<std::vector<data::CurveTable::Value>>> all;
        for (data::CurveTable* t : {&dm.cdsSeaRaw, &dm.cdsSeaRawAv, &dm.cdsSeaSpl, &dm.cdsSeaSplM, &dm.cdsSeaSplP,
                                    &dm.cdsDeltaT})
            all.push_back(t->rows());
        return all;
    }();
    click(window->bbClose);
    EXPECT_FALSE(window->isVisible());
    data::TdmSea reread;
    const char* files[] = {"SeaRaw.cds", "SeaRawAv.cds", "SeaSpl.cds", "SeaSplM.cds", "SeaSplP.cds", "DeltaT.cds"};
    data::CurveTable* tables[] = {&reread.cdsSeaRaw, &reread.cdsSeaRawAv, &reread.cdsSeaSpl,
                                  &reread.cdsSeaSplM, &reread.cdsSeaSplP, &reread.cdsDeltaT};
    for (int i = 0; i < 6; ++i) {
        SCOPED_TRACE(files[i]);
        tables[i]->loadFromFile(path(files[i]));
        EXPECT_EQ(tables[i]->rows(), expected[static_cast<std::size_t>(i)]);
        EXPECT_FALSE(expected[static_cast<std::size_t>(i)].empty());
    }
}
