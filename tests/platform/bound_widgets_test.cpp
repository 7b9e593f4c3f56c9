// Grids, navigators and charts bound to curve tables, and chart printing.
#include <gtest/gtest.h>

#include <QFile>
#include <QLocale>
#include <QPrinter>
#include <QRegularExpression>
#include <QToolButton>
#include <cmath>

#include "data/curve_table.h"
#include "platform/ui/application.h"
#include "platform/ui/bound_chart.h"
#include "platform/ui/bound_grid.h"
#include "platform/ui/chart_printing.h"
#include "platform/ui/record_navigator.h"
#include "support/scripted_dialogs.h"
#include "support/temp_dir.h"

using namespace quorvane;
using data::CurveTable;
using data::FieldDef;
using data::FieldType;

namespace {

std::unique_ptr<CurveTable> rawTable()
{
    auto t = std::make_unique<CurveTable>("SeaRaw", std::vector<FieldDef>{{"Age", FieldType::Float, "####0.000"},
                                                                         {"Ratio", FieldType::Float, "##0.00000"},
                                                                         {"N", FieldType::SmallInt, ""}});
    t->createDataSet();
    return t;
}

void addRow(CurveTable& t, double age, std::optional<double> ratio, std::optional<int> n = {})
{
    t.append();
    t.setFloat(0, age);
    if (ratio)
        t.setFloat(1, *ratio);
    if (n)
        t.setFloat(2, *n);
    t.post();
}

QString cell(ui::DBGrid& g, int row, int col, int role = Qt::DisplayRole)
{
    return g.model()->data(g.model()->index(row, col), role).toString();
}

} // namespace

TEST(BoundGrid, ShowsFieldsInOrderWithTheirDisplayFormats)
{
    auto t = rawTable();
    addRow(*t, 12.5, 0.7092345, 3);
    addRow(*t, 1.25, std::nullopt);
    ui::DBGrid g;
    g.setTable(t.get());
    ASSERT_EQ(g.model()->columnCount(), 3);
    EXPECT_EQ(g.model()->headerData(0, Qt::Horizontal).toString(), "Age");
    EXPECT_EQ(g.model()->headerData(2, Qt::Horizontal).toString(), "N");
    ASSERT_EQ(g.model()->rowCount(), 2);
    EXPECT_EQ(cell(g, 0, 0), "1.250"); // rows in Age order
    EXPECT_EQ(cell(g, 0, 1), "");      // an empty field shows nothing
    EXPECT_EQ(cell(g, 1, 1), "0.70923");
    EXPECT_EQ(cell(g, 1, 2), "3");
    EXPECT_EQ(cell(g, 1, 1, Qt::EditRole), "0.7092345"); // editing starts from the full value

    g.setTable(nullptr);
    EXPECT_EQ(g.model()->rowCount(), 0);
    EXPECT_EQ(g.model()->columnCount(), 0);
}

TEST(BoundGrid, FollowsChangesUnlessViewsAreSuspended)
{
    auto t = rawTable();
    ui::DBGrid g;
    g.setTable(t.get());
    addRow(*t, 1, 0.1);
    EXPECT_EQ(g.model()->rowCount(), 1);

    t->disableControls();
    addRow(*t, 2, 0.2);
    addRow(*t, 3, 0.3);
    EXPECT_EQ(g.model()->rowCount(), 1);
    t->enableControls();
    EXPECT_EQ(g.model()->rowCount(), 3);

    t->close();
    EXPECT_EQ(g.model()->rowCount(), 0);
}

TEST(BoundGrid, EditsThroughTheTablesTextRule)
{
    ui::DBGrid g;
    auto t = rawTable();
    addRow(*t, 1, 0.1);
    addRow(*t, 2, 0.2);
    g.setTable(t.get());
    test::ScriptedDialogs dialogs;

    struct Case {
        const char* name;
        int row, col;
        QString text;
        bool accepted;
        std::vector<std::vector<CurveTable::Value>> rows;
        std::vector<std::string> messages;
    };
    const Case cases[] = {
        {"value", 0, 1, "0.5", true, {{1, 0.5, {}}, {2, 0.2, {}}}, {}},
        {"empty text empties the field", 1, 1, "", true, {{1, 0.5, {}}, {2, {}, {}}}, {}},
        {"a new age moves the row", 0, 0, "3", true, {{2, {}, {}}, {3, 0.5, {}}}, {}},
        {"not a number is refused", 0, 1, "abc", false, {{2, {}, {}}, {3, 0.5, {}}},
         {"'abc' is not a valid floating point value"}},
        {"smallint out of range", 0, 2, "40000", false, {{2, {}, {}}, {3, 0.5, {}}}, {"Range check error"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        dialogs.shown.clear();
        EXPECT_EQ(g.model()->setData(g.model()->index(c.row, c.col), c.text, Qt::EditRole), c.accepted);
        EXPECT_EQ(t->rows(), c.rows);
        EXPECT_EQ(dialogs.messages(), c.messages);
        EXPECT_EQ(t->state(), CurveTable::State::Browse);
    }
}

TEST(RecordNavigator, EnablesWhatTheTableStateAllows)
{
    using B = ui::NavButton;
    auto t = rawTable();
    ui::DBNavigator nav;
    nav.setTable(t.get());
    auto enabled = [&] {
        std::string s;
        for (B b : ui::DBNavigator::allButtons())
            s += nav.button(b)->isEnabled() ? '1' : '0';
        return s;
    };
    //                  F P N L I D E P C R
    EXPECT_EQ(enabled(), "0000100001"); // open, empty
    addRow(*t, 1, 0.1);
    addRow(*t, 2, 0.2);
    nav.click(B::First);
    EXPECT_EQ(enabled(), "0011111001");
    nav.click(B::Next);
    EXPECT_EQ(t->recNo(), 1);
    EXPECT_EQ(enabled(), "1100111001");
    nav.click(B::Edit);
    EXPECT_EQ(enabled(), "0000010110");
    nav.click(B::Cancel);
    nav.click(B::Delete);
    EXPECT_EQ(t->rowCount(), 1);
    nav.setTable(nullptr);
    EXPECT_EQ(enabled(), "0000000000");

    nav.setVisibleButtons(ui::DBNavigator::moveButtons());
    for (B b : ui::DBNavigator::allButtons()) {
        SCOPED_TRACE(nav.button(b)->objectName().toStdString());
        EXPECT_EQ(!nav.button(b)->isHidden(), b <= B::Last);
    }
}

TEST(RecordNavigator, InsertShowsTheNewRowInTheGridUntilPosted)
{
    auto t = rawTable();
    addRow(*t, 5, 0.5);
    ui::DBGrid g;
    ui::DBNavigator nav;
    g.setTable(t.get());
    nav.setTable(t.get());
    QObject::connect(&nav, &ui::DBNavigator::actionDone, &g, [&g] { g.refresh(); });
    test::ScriptedDialogs dialogs;

    nav.click(ui::NavButton::Insert);
    ASSERT_EQ(g.model()->rowCount(), 2);
    EXPECT_TRUE(g.model()->setData(g.model()->index(1, 0), "1", Qt::EditRole));
    EXPECT_TRUE(g.model()->setData(g.model()->index(1, 1), "0.25", Qt::EditRole));
    EXPECT_EQ(cell(g, 1, 1), "0.25000");
    nav.click(ui::NavButton::Post);
    EXPECT_EQ(t->rows(), (std::vector<std::vector<CurveTable::Value>>{{1, 0.25, {}}, {5, 0.5, {}}}));
    EXPECT_EQ(g.model()->rowCount(), 2);

    // Cancel drops the extra row again.
    nav.click(ui::NavButton::Insert);
    EXPECT_EQ(g.model()->rowCount(), 3);
    nav.click(ui::NavButton::Cancel);
    EXPECT_EQ(g.model()->rowCount(), 2);
    EXPECT_TRUE(dialogs.messages().empty());
}

TEST(ChartLabels, FormatWithThePatternInTheLocale)
{
    struct Case {
        double value;
        const char* locale;
        const char* expected;
    };
    const Case cases[] = {
        {1234.5, "C", "1,234.5"},
        {0, "C", "0.0"},                 // at least one decimal
        {0.70921, "C", "0.709"},         // at most three
        {0.7095, "C", "0.71"},           // rounding, then trailing zeros go
        {-1234567.0005, "C", "-1,234,567.001"},
        {-0.0001, "C", "0.0"},           // rounds to zero: no sign
        {999.9996, "C", "1,000.0"},
        {1234.5, "de_DE", "1.234,5"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::to_string(c.value) + " " + c.locale);
        EXPECT_EQ(ui::formatGroupedNumber(c.value, "#,##0.0##", QLocale(QString::fromLatin1(c.locale))).toStdString(),
                  c.expected);
    }
}

TEST(BoundChart, SeriesFollowTheirTablesInBulk)
{
    auto t = rawTable();
    addRow(*t, 2, 0.2);
    addRow(*t, 1, std::nullopt);
    ui::DBChart chart;
    auto& line = chart.addLineSeries("Spline", Qt::red, 2);
    auto& points = chart.addPointSeries("Data", ui::ChartSeries::PointStyle::Circle, 2, QColor(128, 0, 64));
    auto& automatic = chart.addPointSeries("Data (av)", ui::ChartSeries::PointStyle::Square, 2);
    line.setTable(t.get(), "Ratio");
    points.setTable(t.get(), "Ratio");

    EXPECT_EQ(line.color(), QColor(Qt::red));
    EXPECT_EQ(line.width(), 2);
    EXPECT_EQ(points.color(), QColor(128, 0, 64));
    EXPECT_NE(automatic.color(), QColor(Qt::white));
    EXPECT_EQ(chart.xAxis->label(), "Age");
    ASSERT_EQ(chart.legend->itemCount(), 3);
    EXPECT_TRUE(chart.legend->hasItemWithPlottable(points.graph()));

    ASSERT_EQ(line.pointCount(), 2);
    EXPECT_EQ(line.x(0), 1);
    EXPECT_TRUE(std::isnan(line.y(0))); // an empty value is a gap
    EXPECT_EQ(line.y(1), 0.2);

    t->disableControls();
    for (int i = 3; i < 100; ++i)
        addRow(*t, i, i / 100.0);
    EXPECT_EQ(line.pointCount(), 2);
    t->enableControls();
    EXPECT_EQ(line.pointCount(), 99);
    EXPECT_EQ(automatic.pointCount(), 0);

    line.clear();
    EXPECT_EQ(line.pointCount(), 0);
    t->close();
    EXPECT_EQ(points.pointCount(), 0);

    points.setVisible(false);
    EXPECT_FALSE(points.isVisible());
    EXPECT_FALSE(points.graph()->visible());
    points.setTable(nullptr, "");
}

TEST(BoundChart, LeftAxisScalesAutomaticallyOrBetweenCheckedLimits)
{
    auto t = rawTable();
    addRow(*t, 1, -0.5);
    addRow(*t, 2, 1.5);
    ui::DBChart chart;
    chart.addLineSeries("Spline", Qt::red, 2).setTable(t.get(), "Ratio");
    ui::ChartAxis& axis = chart.leftAxis();
    chart.redraw();
    EXPECT_EQ(axis.minimum(), -0.5);
    EXPECT_EQ(axis.maximum(), 1.5);

    // Values that are not positive refuse the logarithmic scale.
    try {
        axis.setLogarithmic(true);
        FAIL() << "logarithmic scale accepted";
    } catch (const ui::ChartError& e) {
        EXPECT_STREQ(e.what(), ui::text::AxisLogNeedsPositive);
    }
    EXPECT_FALSE(axis.logarithmic());

    struct Case {
        const char* name;
        bool setMinimum;
        double value;
        const char* refusal; // nullptr: accepted
        double min, max;
    };
    axis.setAutomatic(false);
    const Case cases[] = {
        {"minimum below maximum", true, 0.25, nullptr, 0.25, 1.5},
        {"minimum equal to maximum", true, 1.5, nullptr, 1.5, 1.5},
        {"minimum above maximum", true, 2, "Axis Minimum Value must be <= Maximum", 1.5, 1.5},
        {"maximum below minimum", false, 1, "Axis Maximum Value must be >= Minimum", 1.5, 1.5},
        {"maximum above minimum", false, 10, nullptr, 1.5, 10},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        try {
            c.setMinimum ? axis.setMinimum(c.value) : axis.setMaximum(c.value);
            EXPECT_EQ(c.refusal, nullptr);
        } catch (const ui::ChartError& e) {
            ASSERT_NE(c.refusal, nullptr);
            EXPECT_STREQ(e.what(), c.refusal);
        }
        EXPECT_EQ(axis.minimum(), c.min);
        EXPECT_EQ(axis.maximum(), c.max);
    }
    chart.redraw();
    EXPECT_EQ(chart.yAxis->range(), QCPRange(1.5, 10));
    axis.setLogarithmic(true);
    EXPECT_EQ(chart.yAxis->scaleType(), QCPAxis::stLogarithmic);
    axis.setLogarithmic(false);
    axis.setAutomatic(true);
    chart.redraw();
    EXPECT_EQ(chart.yAxis->range(), QCPRange(-0.5, 1.5));
}

namespace {

// The page box of the first page: Qt writes "/MediaBox [0 0 w h]".
QSizeF mediaBox(const QString& pdf)
{
    QFile f(pdf);
    if (!f.open(QIODevice::ReadOnly))
        return {};
    const QString content = QString::fromLatin1(f.readAll());
    const auto m = QRegularExpression(R"(/MediaBox \[\s*0 0 ([0-9.]+) ([0-9.]+)\s*\])").match(content);
    return m.hasMatch() ? QSizeF(m.captured(1).toDouble(), m.captured(2).toDouble()) : QSizeF();
}

} // namespace

TEST(ChartPrinting, PrintsLandscapeAndRestoresTheOrientation)
{
    test::TempDir dir;
    auto t = rawTable();
    addRow(*t, 1, 0.5);
    addRow(*t, 2, 1.5);
    ui::DBChart chart;
    chart.resize(846, 400);
    chart.addLineSeries("Spline", Qt::red, 2).setTable(t.get(), "Ratio");

    QPrinter printer(QPrinter::HighResolution);
    printer.setOutputFormat(QPrinter::PdfFormat);
    printer.setOutputFileName(QString::fromStdString(dir.file("direct.pdf")));
    printer.setPageOrientation(QPageLayout::Portrait);
    ui::printChart(chart, printer);
    EXPECT_EQ(printer.pageLayout().orientation(), QPageLayout::Portrait);
    const QSizeF box = mediaBox(QString::fromStdString(dir.file("direct.pdf")));
    ASSERT_TRUE(box.isValid());
    EXPECT_GT(box.width(), box.height());
}

TEST(ChartPrinting, WithoutAPrinterWritesThePdfChosenInTheSaveDialog)
{
    test::TempDir dir;
    ui::DBChart chart;
    test::ScriptedDialogs dialogs;
    QPrinter& printer = ui::appPrinter();
    if (printer.outputFormat() != QPrinter::PdfFormat || !printer.outputFileName().isEmpty())
        GTEST_SKIP() << "a printer is installed";
    const QString pdf = QString::fromStdString(dir.file("chart.pdf"));

    ui::printChartOnAppPrinter(nullptr, chart); // cancelled: nothing written
    ASSERT_EQ(dialogs.saveAsked.size(), 1u);
    EXPECT_EQ(dialogs.saveAsked[0].defaultSuffix, "pdf");
    EXPECT_FALSE(QFile::exists(pdf));

    dialogs.saveAnswers.push_back(pdf);
    ui::printChartOnAppPrinter(nullptr, chart);
    EXPECT_GT(mediaBox(pdf).width(), mediaBox(pdf).height());
    EXPECT_TRUE(printer.outputFileName().isEmpty()); // the next print asks again
    EXPECT_EQ(printer.pageLayout().orientation(), QPageLayout::Portrait);
}
