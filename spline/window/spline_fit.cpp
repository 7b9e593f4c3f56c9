#include "spline/window/spline_fit.h"

#include <QCheckBox>
#include <QFormLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QShowEvent>
#include <QSplitter>
#include <QStyle>
#include <QTabWidget>
#include <QTimer>
#include <QVBoxLayout>

#include "app/settings/settings_store.h"
#include "data/dm_sea.h"
#include "import/window/sheet_import_window.h"
#include "platform/ui/bound_chart.h"
#include "platform/ui/bound_grid.h"
#include "platform/ui/chart_printing.h"
#include "platform/ui/dialogs.h"
#include "platform/ui/record_navigator.h"
#include "platform/ui/window_parts.h"
#include "spline/spline_run.h"
#include "work/nspl.h"
#include "work/parameter_text.h"

namespace quorvane::spline {

namespace {

QString qs(const std::string& s) { return QString::fromStdString(s); }
std::string ss(const QLineEdit* e) { return e->text().toStdString(); }

template <class W>
W* named(W* w, const char* name)
{
    w->setObjectName(QString::fromLatin1(name));
    return w;
}

QLineEdit* edit(QWidget* parent, const char* name)
{
    auto* e = named(new QLineEdit(parent), name);
    e->setMaximumWidth(90);
    return e;
}

const QColor DataColor(128, 0, 64);
const QColor Green(0, 128, 0);
const QColor Fuchsia(255, 0, 255);

} // namespace

// ---- window -------------------------------------------------------------------------

TfmSplineFit::TfmSplineFit(QWidget* parent) : TfmSplineFit(*data::dmSea(), parent) {}

TfmSplineFit::TfmSplineFit(data::TdmSea& tables, QWidget* parent) : QDialog(parent), dm_(tables)
{
    setObjectName(QStringLiteral("fmSplineFit"));
    setWindowTitle(QString::fromLatin1(text::Caption));
    setFont(QFont(QStringLiteral("Arial"), 8));
    build();
    setupCharts();
    resize(846, 520);
}

TfmSplineFit::~TfmSplineFit() = default;

void TfmSplineFit::build()
{
    auto* root = new QVBoxLayout(this);
    root->setContentsMargins(0, 0, 0, 0);
    root->setSpacing(0);
    // The window takes the size it is placed at, as stored, even below what its
    // contents would ask for.
    root->setSizeConstraint(QLayout::SetNoConstraint);

    auto* bar = named(new QWidget(this), "pnButtons");
    auto* barLayout = new QHBoxLayout(bar);
    barLayout->setContentsMargins(4, 4, 4, 4);
    bbClose = named(new QPushButton(style()->standardIcon(QStyle::SP_DialogCloseButton), QStringLiteral("&Close"), bar),
                    "bbClose");
    bbPrinterSetup = named(new QPushButton(QStringLiteral("PrinterSetup"), bar), "bbPrinterSetup");
    bbCalculate = named(new QPushButton(QStringLiteral("Calculate"), bar), "bbCalculate");
    bbImport = named(new QPushButton(QStringLiteral("Import"), bar), "bbImport");
    bbPrintGraph = named(new QPushButton(QStringLiteral("Print Graph"), bar), "bbPrintGraph");
    bbPrintGraph->setEnabled(false);
    for (QPushButton* b : {bbClose, bbPrinterSetup, bbCalculate, bbImport, bbPrintGraph}) {
        b->setAutoDefault(false);
        barLayout->addWidget(b);
    }
    barLayout->addStretch(1);
    root->addWidget(bar);

    pcSpline = named(new QTabWidget(this), "pcSpline");
    tsDefine = buildDefineTab();
    tsGraph = buildGraphTab();
    tsData = buildDataTab();
    tsYPrime = buildChartTab("tsYPrime", DBChart2, "DBChart2");
    tsTimeStep = buildChartTab("tsTimeStep", DBChart3, "DBChart3");
    pcSpline->addTab(tsDefine, QStringLiteral("Define"));
    pcSpline->addTab(tsGraph, QStringLiteral("Graph"));
    pcSpline->addTab(tsData, QStringLiteral("Data"));
    pcSpline->addTab(tsYPrime, QStringLiteral("Graph of first differential"));
    pcSpline->addTab(tsTimeStep, QStringLiteral("Time Step"));
    root->addWidget(pcSpline, 1);

    sbSpline = new ui::PanelStatusBar(this, {250, 80, 80, 180, 180, 50});
    sbSpline->setObjectName(QStringLiteral("sbSpline"));
    root->addWidget(sbSpline);

    connect(bbClose, &QPushButton::clicked, this, &TfmSplineFit::bbCloseClick);
    connect(bbPrinterSetup, &QPushButton::clicked, this, &TfmSplineFit::sbPrinterSetupClick);
    connect(bbCalculate, &QPushButton::clicked, this, &TfmSplineFit::bbDefineClick);
    connect(bbImport, &QPushButton::clicked, this, &TfmSplineFit::sbImportClick);
    connect(bbPrintGraph, &QPushButton::clicked, this, &TfmSplineFit::bbPrintGraphClick);
    connect(pcSpline, &QTabWidget::currentChanged, this, [this] {
        if (!changingPage_)
            pcSplineChange();
    });
}

QWidget* TfmSplineFit::buildDefineTab()
{
    auto* tab = named(new QWidget, "tsDefine");
    auto* layout = new QVBoxLayout(tab);
    auto* top = new QHBoxLayout;

    auto* range = named(new QGroupBox(QStringLiteral("Select range"), tab), "gbSelectRange");
    auto* rangeForm = new QFormLayout(range);
    eFromAge = edit(range, "eFromAge");
    eToAge = edit(range, "eToAge");
    rangeForm->addRow(QStringLiteral("From Age"), eFromAge);
    rangeForm->addRow(QStringLiteral("To Age"), eToAge);
    top->addWidget(range);

    auto* processing = named(new QGroupBox(QStringLiteral("Select data processing"), tab), "gbDataProcessing");
    auto* procLayout = new QVBoxLayout(processing);
    cbDoRawAverages = named(new QCheckBox(QStringLiteral("Average the raw data"), processing), "cbDoRawAverages");
    cbSpline = named(new QCheckBox(QStringLiteral("Calculate  curve"), processing), "cbSpline");
    cbSplineP = named(new QCheckBox(QStringLiteral("Calculate +95% curve"), processing), "cbSplineP");
    cbSplineM = named(new QCheckBox(QStringLiteral("Calculate -95% curve"), processing), "cbSplineM");
    for (QCheckBox* c : {cbDoRawAverages, cbSpline, cbSplineP, cbSplineM})
        procLayout->addWidget(c);
    top->addWidget(processing);
    top->addStretch(1);

    auto* defaults = named(new QGroupBox(QStringLiteral("Default values"), tab), "gbDefaultValues");
    auto* defForm = new QFormLayout(defaults);
    WMultStr = edit(defaults, "WMultStr");
    WConstStr = edit(defaults, "WConstStr");
    SStr = edit(defaults, "SStr");
    AgeIncrementStr = edit(defaults, "AgeIncrementStr");
    eNSpl = edit(defaults, "eNSpl");
    defForm->addRow(QStringLiteral("Student's t multiplier"), WMultStr);
    defForm->addRow(QStringLiteral("Minimum standard deviation"), WConstStr);
    defForm->addRow(QStringLiteral("Required smoothing precision"), SStr);
    auto* every = new QHBoxLayout;
    every->addWidget(AgeIncrementStr);
    every->addWidget(new QLabel(QStringLiteral("age units"), defaults));
    defForm->addRow(QStringLiteral("Average every"), every);
    defForm->addRow(QStringLiteral("Number of spline points"), eNSpl);
    top->addWidget(defaults);
    layout->addLayout(top);

    auto* source = named(new QGroupBox(QStringLiteral("Available Data From Source"), tab), "gbAvailableData");
    auto* srcLayout = new QVBoxLayout(source);
    dbnSeaRaw = named(new ui::DBNavigator(source), "dbnSeaRaw");
    dbgSeaRaw = named(new ui::DBGrid(source), "dbgSeaRaw");
    connect(dbnSeaRaw, &ui::DBNavigator::actionDone, dbgSeaRaw, &ui::DBGrid::refresh);
    srcLayout->addWidget(dbnSeaRaw);
    srcLayout->addWidget(dbgSeaRaw, 1);
    layout->addWidget(source, 1);
    dbnSeaRaw->setTable(&dm_.cdsSeaRaw);
    dbgSeaRaw->setTable(&dm_.cdsSeaRaw);
    return tab;
}

QWidget* TfmSplineFit::buildGraphTab()
{
    auto* tab = named(new QWidget, "tsGraph");
    auto* layout = new QVBoxLayout(tab);
    auto* bar = new QHBoxLayout;
    bbShowData = named(new QPushButton(QStringLiteral("Hide Data"), tab), "bbShowData");
    bbShowSpline = named(new QPushButton(QStringLiteral("Hide Spline"), tab), "bbShowSpline");
    bbShowSplineP = named(new QPushButton(QStringLiteral("Hide +95%"), tab), "bbShowSplineP");
    bbShowSplineM = named(new QPushButton(QStringLiteral("Hide -95%"), tab), "bbShowSplineM");
    bbShowDataAv = named(new QPushButton(QStringLiteral("Hide Data (av)"), tab), "bbShowDataAv");
    for (QPushButton* b : {bbShowData, bbShowSpline, bbShowSplineP, bbShowSplineM, bbShowDataAv}) {
        b->setAutoDefault(false);
        bar->addWidget(b);
    }
    bar->addSpacing(12);
    eMin = edit(tab, "eMin");
    eMax = edit(tab, "eMax");
    eMin->setText(QStringLiteral("eMin"));
    eMax->setText(QStringLiteral("eMax"));
    bar->addWidget(new QLabel(QStringLiteral("Min."), tab));
    bar->addWidget(eMin);
    bar->addWidget(new QLabel(QStringLiteral("Max."), tab));
    bar->addWidget(eMax);
    cbLogAxis = named(new QCheckBox(QStringLiteral("log"), tab), "cbLogAxis");
    cbAutoAxis = named(new QCheckBox(QStringLiteral("auto"), tab), "cbAutoAxis");
    cbAutoAxis->setChecked(true);
    bar->addWidget(cbLogAxis);
    bar->addWidget(cbAutoAxis);
    bar->addStretch(1);
    layout->addLayout(bar);
    DBChart1 = named(new ui::DBChart(tab), "DBChart1");
    layout->addWidget(DBChart1, 1);

    connect(bbShowData, &QPushButton::clicked, this, &TfmSplineFit::bbShowDataClick);
    connect(bbShowSpline, &QPushButton::clicked, this, &TfmSplineFit::bbShowSplineClick);
    connect(bbShowSplineP, &QPushButton::clicked, this, &TfmSplineFit::bbShowSplinePClick);
    connect(bbShowSplineM, &QPushButton::clicked, this, &TfmSplineFit::bbShowSplineMClick);
    connect(bbShowDataAv, &QPushButton::clicked, this, &TfmSplineFit::bbShowDataAvClick);
    // Only a click applies the axis settings; editing the limits or "log" alone does not.
    connect(cbAutoAxis, &QCheckBox::clicked, this, &TfmSplineFit::bbChangeClick);
    return tab;
}

QWidget* TfmSplineFit::buildDataTab()
{
    auto* tab = named(new QWidget, "tsData");
    auto* layout = new QVBoxLayout(tab);
    auto* splitter = named(new QSplitter(Qt::Horizontal, tab), "spData");
    struct Panel {
        const char *button, *caption, *grid, *nav, *count;
        QPushButton** b;
        ui::DBGrid** g;
        ui::DBNavigator** n;
        QLineEdit** c;
    };
    const Panel panels[] = {
        {"bbSeaRawAv", "Show averaged data", "dbgSeaRawAv", "dbnSeaRawAv", "eCountRawDataAv", &bbSeaRawAv,
         &dbgSeaRawAv, &dbnSeaRawAv, &eCountRawDataAv},
        {"bbSeaSpl", "Show spline data", "dbgSeaSpl", "dbnSeaSpl", "eCountSpline", &bbSeaSpl, &dbgSeaSpl, &dbnSeaSpl,
         &eCountSpline},
        {"bbSeaSplP", "Show spline +95%", "dbgSeaSplP", "dbnSeaSplP", "eCountSplineP", &bbSeaSplP, &dbgSeaSplP,
         &dbnSeaSplP, &eCountSplineP},
        {"bbShowIncrements", "Show increments", "dbgIncrements", "dbnIncrements", "eCountIncrements",
         &bbShowIncrements, &dbgIncrements, &dbnIncrements, &eCountIncrements},
    };
    for (const Panel& p : panels) {
        auto* w = new QWidget(splitter);
        auto* v = new QVBoxLayout(w);
        v->setContentsMargins(2, 2, 2, 2);
        auto* head = new QHBoxLayout;
        *p.b = named(new QPushButton(QString::fromLatin1(p.caption), w), p.button);
        (*p.b)->setAutoDefault(false);
        *p.c = edit(w, p.count);
        head->addWidget(*p.b);
        head->addWidget(*p.c);
        v->addLayout(head);
        *p.n = named(new ui::DBNavigator(w), p.nav);
        (*p.n)->setVisibleButtons(ui::DBNavigator::moveButtons());
        *p.g = named(new ui::DBGrid(w), p.grid);
        connect(*p.n, &ui::DBNavigator::actionDone, *p.g, &ui::DBGrid::refresh);
        v->addWidget(*p.n);
        v->addWidget(*p.g, 1);
        splitter->addWidget(w);
    }
    layout->addWidget(splitter);
    connect(bbSeaRawAv, &QPushButton::clicked, this, &TfmSplineFit::bbSeaRawAvClick);
    connect(bbSeaSpl, &QPushButton::clicked, this, &TfmSplineFit::bbSeaSplClick);
    connect(bbSeaSplP, &QPushButton::clicked, this, &TfmSplineFit::bbSeaSplPClick);
    connect(bbShowIncrements, &QPushButton::clicked, this, &TfmSplineFit::bbShowIncrementsClick);
    return tab;
}

QWidget* TfmSplineFit::buildChartTab(const char* tabName, ui::DBChart*& chart, const char* chartName)
{
    auto* tab = named(new QWidget, tabName);
    auto* layout = new QVBoxLayout(tab);
    chart = named(new ui::DBChart(tab), chartName);
    layout->addWidget(chart);
    return tab;
}

void TfmSplineFit::setupCharts()
{
    using Style = ui::ChartSeries::PointStyle;
    DBChart1->leftAxis().setTitle(QStringLiteral("Ratio"));
    DBChart1->addPointSeries(QStringLiteral("Data"), Style::Circle, 2, DataColor).setTable(&dm_.cdsSeaRaw, "Ratio");
    DBChart1->addLineSeries(QStringLiteral("Spline"), Qt::red, 2).setTable(&dm_.cdsSeaSpl, "Ratio");
    DBChart1->addLineSeries(QStringLiteral("+95%"), Green, 1).setTable(&dm_.cdsSeaSplP, "Ratio");
    DBChart1->addLineSeries(QStringLiteral("-95%"), Qt::blue, 1).setTable(&dm_.cdsSeaSplM, "Ratio");
    DBChart1->addPointSeries(QStringLiteral("Data (av)"), Style::Square, 2).setTable(&dm_.cdsSeaRawAv, "Ratio");

    DBChart2->leftAxis().setTitle(QStringLiteral("Y Prime"));
    DBChart2->addLineSeries(QStringLiteral("Y prime"), Fuchsia, 2).setTable(&dm_.cdsSeaSpl, "YPrime");

    DBChart3->leftAxis().setTitle(QStringLiteral("Time increment"));
    auto& deltaT = DBChart3->addLineSeries(QStringLiteral("delta t"), Green, 2);
    deltaT.setOrder(ui::ChartSeries::Order::SortedByX);
    deltaT.setTable(&dm_.cdsDeltaT, "DeltaT");
}

std::string TfmSplineFit::internalFolder() const { return settingsStore().text(key::InternalFiles); }

void TfmSplineFit::showPage(QWidget* page)
{
    changingPage_ = true;
    pcSpline->setCurrentWidget(page);
    changingPage_ = false;
}

// ---- handlers -----------------------------------------------------------------------

void TfmSplineFit::showEvent(QShowEvent* event)
{
    QDialog::showEvent(event);
    if (!event->spontaneous())
        FormShow();
}

void TfmSplineFit::FormShow()
{
    closing_ = false;
    for (ui::DBChart* chart : {DBChart1, DBChart2})
        for (int i = 0; i < chart->seriesCount(); ++i) {
            chart->series(i).clear();
            chart->series(i).setOrder(ui::ChartSeries::Order::Table);
        }

    const SettingsStore& s = settingsStore();
    SStr->setText(qs(s.text(key::RequiredSmoothingPrecision)));
    WMultStr->setText(qs(s.text(key::StudentsTMultiplier)));
    WConstStr->setText(qs(s.text(key::MinimumUncertainty)));
    AgeIncrementStr->setText(qs(s.text(key::AgeRangeToAverage)));
    eFromAge->setText(qs(s.text(key::AgeFrom)));
    eToAge->setText(qs(s.text(key::AgeTo)));
    eNSpl->setText(QString::number(NSpl()));
    sbSpline->setPanelText(0, text::PrepareCalibrationCurve);

    // The protocol closes the six tables first, then tests and loads the files.
    ready_ = data::loadTables(data::splineWindowPlan(dm_), internalFolder(),
                              [this](const std::string& t) { ui::dialogs().warning(this, qs(t)); });
    showPage(tsDefine);
    if (!ready_) {
        // Closed as soon as the modal loop runs: closing inside the show would
        // end the window before its loop started.
        QTimer::singleShot(0, this, [this] { reject(); });
    }
}

void TfmSplineFit::done(int result)
{
    if (!closing_) {
        closing_ = true;
        FormClose();
    }
    QDialog::done(result);
}

void TfmSplineFit::FormClose() { data::saveTables(data::splineWindowPlan(dm_), internalFolder()); }

void TfmSplineFit::bbDefineClick()
{
    SplineFields fields{ss(WMultStr), ss(WConstStr), ss(SStr), ss(AgeIncrementStr), ss(eFromAge), ss(eToAge),
                        ss(eNSpl)};
    const SplineSelections selections{cbDoRawAverages->isChecked(), cbSpline->isChecked(), cbSplineP->isChecked(),
                                      cbSplineM->isChecked()};
    SplineCurveRun run(dm_, settingsStore(), *sbSpline, ui::displayDecimalPoint());
    run.rawGridAttachment = [this](bool attached) { dbgSeaRaw->setTable(attached ? &dm_.cdsSeaRaw : nullptr); };
    try {
        run.bbDefineClick(fields, selections);
    } catch (...) {
        // NSpl may have been raised before the failure; the field shows it.
        eNSpl->setText(qs(fields.eNSpl));
        throw;
    }
    eNSpl->setText(qs(fields.eNSpl));
    showPage(tsGraph);
    bbPrintGraph->setEnabled(true);
}

void TfmSplineFit::sbImportClick()
{
    // The import window, placed from the "Sheet" settings, then NSpl from the raw
    // points; eNSpl is left as it is: a Calculate reads NSpl back from it.
    openSheetImport(this, dm_, QString::fromLatin1(text::ImportFileName));
}

void TfmSplineFit::sbPrinterSetupClick() { ui::printerSetup(this); }

void TfmSplineFit::bbPrintGraphClick()
{
    QWidget* page = pcSpline->currentWidget();
    if (page == tsGraph)
        ui::printChartOnAppPrinter(this, *DBChart1);
    else if (page == tsYPrime)
        ui::printChartOnAppPrinter(this, *DBChart2);
}

void TfmSplineFit::bbCloseClick() { reject(); }

void TfmSplineFit::bbChangeClick()
{
    ui::ChartAxis& axis = DBChart1->leftAxis();
    axis.setAutomatic(cbAutoAxis->isChecked());
    // A refused limit ends the click here, through the default error display.
    if (const auto v = parseDecimal(ss(eMin)))
        axis.setMinimum(*v);
    if (const auto v = parseDecimal(ss(eMax)))
        axis.setMaximum(*v);
    try {
        axis.setLogarithmic(cbLogAxis->isChecked());
    } catch (const ui::ChartError&) {
        // The chart keeps its scale; no message.
    }
}

void TfmSplineFit::pcSplineChange()
{
    QWidget* page = pcSpline->currentWidget();
    if (page != tsData) {
        // The increments panel keeps its binding and count.
        ui::TablePanel{dbgSeaRawAv, dbnSeaRawAv, eCountRawDataAv}.unbind();
        ui::TablePanel{dbgSeaSpl, dbnSeaSpl, eCountSpline}.unbind();
        ui::TablePanel{dbgSeaSplP, dbnSeaSplP, eCountSplineP}.unbind();
    }
    bbPrintGraph->setEnabled(page == tsGraph || page == tsYPrime);
}

void TfmSplineFit::toggleSeries(QPushButton* button, const char* series, const char* showCaption,
                                const char* hideCaption)
{
    ui::toggleSeries(*button, *DBChart1, *DBChart1->series(QString::fromLatin1(series)), showCaption, hideCaption);
}

void TfmSplineFit::bbShowDataClick() { toggleSeries(bbShowData, "Data", "Show data", "Hide data"); }
void TfmSplineFit::bbShowSplineClick() { toggleSeries(bbShowSpline, "Spline", "Show spline", "Hide spline"); }
void TfmSplineFit::bbShowSplinePClick() { toggleSeries(bbShowSplineP, "+95%", "Show +95%", "Hide +95%"); }
void TfmSplineFit::bbShowSplineMClick() { toggleSeries(bbShowSplineM, "-95%", "Show -95%", "Hide -95%"); }
void TfmSplineFit::bbShowDataAvClick()
{
    toggleSeries(bbShowDataAv, "Data (av)", "Show data (av)", "Hide data (av)");
}

void TfmSplineFit::bindPanel(ui::DBGrid* grid, ui::DBNavigator* nav, QLineEdit* count, data::CurveTable& table)
{
    ui::TablePanel{grid, nav, count}.bind(table);
}

void TfmSplineFit::bbSeaRawAvClick() { bindPanel(dbgSeaRawAv, dbnSeaRawAv, eCountRawDataAv, dm_.cdsSeaRawAv); }
void TfmSplineFit::bbSeaSplClick() { bindPanel(dbgSeaSpl, dbnSeaSpl, eCountSpline, dm_.cdsSeaSpl); }
void TfmSplineFit::bbSeaSplPClick() { bindPanel(dbgSeaSplP, dbnSeaSplP, eCountSplineP, dm_.cdsSeaSplP); }
void TfmSplineFit::bbShowIncrementsClick()
{
    bindPanel(dbgIncrements, dbnIncrements, eCountIncrements, dm_.cdsDeltaT);
}

} // namespace quorvane::spline
