#include "graphs/graphs_window.h"

#include <QHBoxLayout>
#include <QLineEdit>
#include <QPushButton>
#include <QSplitter>
#include <QTabWidget>
#include <QVBoxLayout>
#include <stdexcept>

#include "app/settings/settings_store.h"
#include "data/dm_sea.h"
#include "platform/ui/bound_chart.h"
#include "platform/ui/bound_grid.h"
#include "platform/ui/chart_printing.h"
#include "platform/ui/dialogs.h"
#include "platform/ui/panel_status_bar.h"
#include "platform/ui/record_navigator.h"
#include "platform/ui/window_parts.h"

namespace quorvane::graphs {

namespace {

data::TdmSea& applicationTables()
{
    data::TdmSea* dm = data::dmSea();
    if (!dm)
        throw std::logic_error("the data module is created before any window");
    return *dm;
}

template <class W>
W* named(W* widget, const char* name)
{
    widget->setObjectName(QString::fromLatin1(name));
    return widget;
}

QPushButton* button(const char* caption, const char* name)
{
    auto* b = named(new QPushButton(QString::fromUtf8(caption)), name);
    b->setAutoDefault(false);
    return b;
}

} // namespace

TfmGraphs::TfmGraphs(QWidget* parent) : TfmGraphs(applicationTables(), parent) {}

TfmGraphs::TfmGraphs(data::TdmSea& tables, QWidget* parent) : QDialog(parent), dm_(tables) { build(); }

TfmGraphs::~TfmGraphs() = default;

// ---- layout -----------------------------------------------------------------------

void TfmGraphs::build()
{
    setObjectName(QStringLiteral("fmGraphs"));
    setWindowTitle(QString::fromUtf8(text::Caption));
    setFont(QFont(QStringLiteral("Arial"), 8));
    resize(654, 520);

    auto* root = new QVBoxLayout(this);
    root->setContentsMargins(0, 0, 0, 0);
    root->setSpacing(0);
    // The window takes the size it is placed at, as stored, even below what its
    // contents would ask for.
    root->setSizeConstraint(QLayout::SetNoConstraint);

    auto* bar = new QHBoxLayout;
    bar->setContentsMargins(4, 4, 4, 4);
    bbClose = button("&Close", "bbClose");
    bbPrinterSetup = button("PrinterSetup", "bbPrinterSetup");
    bbPrintGraph = button("Print Graph", "bbPrintGraph");
    for (QPushButton* b : {bbClose, bbPrinterSetup, bbPrintGraph})
        bar->addWidget(b);
    bar->addStretch();
    root->addLayout(bar);

    pcSpline = named(new QTabWidget, "pcSpline");
    tsGraph = buildGraphTab();
    tsData = buildDataTab();
    tsYPrime = buildYPrimeTab();
    pcSpline->addTab(tsGraph, QStringLiteral("Graph"));
    pcSpline->addTab(tsData, QStringLiteral("Data"));
    pcSpline->addTab(tsYPrime, QStringLiteral("Graph of first differential"));
    root->addWidget(pcSpline, 1);

    sbSpline = named(new ui::PanelStatusBar(this, {250, 80, 80, 50}), "sbSpline");
    root->addWidget(sbSpline);

    connect(bbClose, &QPushButton::clicked, this, &TfmGraphs::bbCloseClick);
    connect(bbPrinterSetup, &QPushButton::clicked, this, &TfmGraphs::sbPrinterSetupClick);
    connect(bbPrintGraph, &QPushButton::clicked, this, &TfmGraphs::bbPrintGraphClick);
    connect(bbShowData, &QPushButton::clicked, this, &TfmGraphs::bbShowDataClick);
    connect(bbShowSpline, &QPushButton::clicked, this, &TfmGraphs::bbShowSplineClick);
    connect(bbShowMovAv, &QPushButton::clicked, this, &TfmGraphs::bbShowMovAvClick);
    connect(bbSeaRawAv, &QPushButton::clicked, this, &TfmGraphs::bbSeaRawAvClick);
    connect(bbSeaSpl, &QPushButton::clicked, this, &TfmGraphs::bbSeaSplClick);
    connect(bbSeaSplP, &QPushButton::clicked, this, &TfmGraphs::bbSeaSplPClick);
    connect(pcSpline, &QTabWidget::currentChanged, this, [this] {
        if (!changingPage_)
            pcSplineChange();
    });
}

QWidget* TfmGraphs::buildGraphTab()
{
    auto* page = named(new QWidget, "tsGraph");
    auto* layout = new QVBoxLayout(page);
    auto* bar = new QHBoxLayout;
    bbShowData = button("Hide Data", "bbShowData");
    bbShowSpline = button("Hide Spline", "bbShowSpline");
    bbShowMovAv = button("Hide Mov.Av.", "bbShowMovAv");
    for (QPushButton* b : {bbShowData, bbShowSpline, bbShowMovAv})
        bar->addWidget(b);
    bar->addStretch();
    layout->addLayout(bar);

    DBChart1 = named(new ui::DBChart, "DBChart1");
    DBChart1->leftAxis().setTitle(QStringLiteral("Ratio"));
    Series1 = &DBChart1->addPointSeries(QStringLiteral("Data"), ui::ChartSeries::PointStyle::Circle, 3,
                                        QColor(128, 128, 128));
    Series2 = &DBChart1->addLineSeries(QStringLiteral("Spline"), QColor(255, 0, 0), 2);
    Series4 = &DBChart1->addLineSeries(QStringLiteral("Moving average"), QColor(0, 0, 255), 2);
    Series1->setTable(&dm_.cdsSeaRaw, "Ratio");
    Series2->setTable(&dm_.cdsSeaSpl, "Ratio");
    Series4->setTable(&dm_.cdsMovAv, "Ratio");
    layout->addWidget(DBChart1, 1);
    return page;
}

QWidget* TfmGraphs::buildDataTab()
{
    auto* page = named(new QWidget, "tsData");
    auto* layout = new QVBoxLayout(page);
    spData = named(new QSplitter(Qt::Horizontal), "spData");
    auto pane = [this](const char* caption, const char* buttonName, QPushButton*& b, const char* countName,
                       QLineEdit*& count, const char* navName, ui::DBNavigator*& nav, const char* gridName,
                       ui::DBGrid*& grid) {
        auto* w = new QWidget;
        auto* v = new QVBoxLayout(w);
        v->setContentsMargins(2, 2, 2, 2);
        auto* top = new QHBoxLayout;
        b = button(caption, buttonName);
        count = named(new QLineEdit, countName);
        top->addWidget(b);
        top->addWidget(count);
        v->addLayout(top);
        nav = named(new ui::DBNavigator, navName);
        nav->setVisibleButtons(ui::DBNavigator::moveButtons());
        grid = named(new ui::DBGrid, gridName);
        connect(nav, &ui::DBNavigator::actionDone, grid, &ui::DBGrid::refresh);
        v->addWidget(nav, 0, Qt::AlignLeft);
        v->addWidget(grid, 1);
        spData->addWidget(w);
    };
    pane("Show averaged data", "bbSeaRawAv", bbSeaRawAv, "eCountRawDataAv", eCountRawDataAv, "dbnSeaRawAv",
         dbnSeaRawAv, "dbgSeaRawAv", dbgSeaRawAv);
    pane("Show spline data", "bbSeaSpl", bbSeaSpl, "eCountSpline", eCountSpline, "dbnSeaSpl", dbnSeaSpl,
         "dbgSeaSpl", dbgSeaSpl);
    pane("Show spline +95%", "bbSeaSplP", bbSeaSplP, "eCountSplineP", eCountSplineP, "dbnSeaSplP", dbnSeaSplP,
         "dbgSeaSplP", dbgSeaSplP);
    layout->addWidget(spData, 1);
    return page;
}

QWidget* TfmGraphs::buildYPrimeTab()
{
    auto* page = named(new QWidget, "tsYPrime");
    auto* layout = new QVBoxLayout(page);
    DBChart2 = named(new ui::DBChart, "DBChart2");
    DBChart2->leftAxis().setTitle(QStringLiteral("Y Prime"));
    LineSeries1 = &DBChart2->addLineSeries(QStringLiteral("Y prime"), QColor(255, 0, 255), 2);
    LineSeries1->setTable(&dm_.cdsSeaSpl, "YPrime");
    layout->addWidget(DBChart2, 1);
    return page;
}

void TfmGraphs::showPage(QWidget* page)
{
    changingPage_ = true;
    pcSpline->setCurrentWidget(page);
    changingPage_ = false;
}

// ---- lifecycle ----------------------------------------------------------------------

void TfmGraphs::showEvent(QShowEvent* event)
{
    QDialog::showEvent(event);
    if (!shown_) {
        shown_ = true;
        FormShow();
    }
}

void TfmGraphs::FormShow()
{
    for (ui::ChartSeries* s : {Series1, Series2, Series4, LineSeries1}) {
        s->clear();
        s->setOrder(ui::ChartSeries::Order::Table);
    }
    // Closing SeaRaw, SeaSpl and MovAv, testing SeaRaw.cds (it only warns),
    // MovAv.cds and SeaSpl.cds (both required), then loading SeaRaw, MovAv and
    // SeaSpl: the loading protocol of the data module.
    const bool ready = data::loadTables(data::graphsWindowPlan(dm_), settingsStore().text(key::InternalFiles),
                                        [this](const std::string& warning) {
                                            ui::dialogs().warning(this, QString::fromStdString(warning));
                                        });
    if (!ready) {
        // Queued: a dialog shown by exec() is not yet in its event loop while
        // it is being shown, and a close now would leave that loop waiting.
        QMetaObject::invokeMethod(this, &QDialog::reject, Qt::QueuedConnection);
    }
    showPage(tsGraph);
    bbPrintGraph->setEnabled(true);
}

// ---- commands -----------------------------------------------------------------------

void TfmGraphs::sbPrinterSetupClick() { ui::printerSetup(this); }

void TfmGraphs::bbPrintGraphClick()
{
    QWidget* page = pcSpline->currentWidget();
    if (page == tsGraph)
        ui::printChartOnAppPrinter(this, *DBChart1);
    else if (page == tsYPrime)
        ui::printChartOnAppPrinter(this, *DBChart2);
}

void TfmGraphs::bbShowDataClick() { ui::toggleSeries(*bbShowData, *DBChart1, *Series1, "Show data", "Hide data"); }

void TfmGraphs::bbShowSplineClick()
{
    ui::toggleSeries(*bbShowSpline, *DBChart1, *Series2, "Show spline", "Hide spline");
}

void TfmGraphs::bbShowMovAvClick()
{
    ui::toggleSeries(*bbShowMovAv, *DBChart1, *Series4, "Show Mov.Av.", "Hide Mov.Av.");
}

// This window loads neither SeaRawAv nor SeaSplP: their panels show what the
// data module holds, an empty grid and 0 while such a table is closed.
void TfmGraphs::bbSeaRawAvClick()
{
    ui::TablePanel{dbgSeaRawAv, dbnSeaRawAv, eCountRawDataAv}.bind(dm_.cdsSeaRawAv);
}

void TfmGraphs::bbSeaSplClick() { ui::TablePanel{dbgSeaSpl, dbnSeaSpl, eCountSpline}.bind(dm_.cdsSeaSpl); }

void TfmGraphs::bbSeaSplPClick() { ui::TablePanel{dbgSeaSplP, dbnSeaSplP, eCountSplineP}.bind(dm_.cdsSeaSplP); }

void TfmGraphs::pcSplineChange()
{
    QWidget* page = pcSpline->currentWidget();
    if (page != tsData) {
        ui::TablePanel{dbgSeaRawAv, dbnSeaRawAv, eCountRawDataAv}.unbind();
        ui::TablePanel{dbgSeaSpl, dbnSeaSpl, eCountSpline}.unbind();
        ui::TablePanel{dbgSeaSplP, dbnSeaSplP, eCountSplineP}.unbind();
    }
    bbPrintGraph->setEnabled(page == tsGraph || page == tsYPrime);
}

void TfmGraphs::bbCloseClick() { close(); }

} // namespace quorvane::graphs
