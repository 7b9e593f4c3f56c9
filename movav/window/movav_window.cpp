#include "movav/window/movav_window.h"

#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTabWidget>
#include <QVBoxLayout>
#include <stdexcept>

#include "app/settings/settings_store.h"
#include "data/dm_sea.h"
#include "import/window/sheet_import_window.h"
#include "movav/moving_average.h"
#include "platform/ui/bound_chart.h"
#include "platform/ui/bound_grid.h"
#include "platform/ui/chart_printing.h"
#include "platform/ui/dialogs.h"
#include "platform/ui/panel_status_bar.h"
#include "platform/ui/record_navigator.h"
#include "platform/ui/window_parts.h"

namespace quorvane::movav {

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

QLineEdit* edit(const char* name) { return named(new QLineEdit, name); }

} // namespace

TfmMovAv::TfmMovAv(QWidget* parent) : TfmMovAv(applicationTables(), parent) {}

TfmMovAv::TfmMovAv(data::TdmSea& tables, QWidget* parent) : QDialog(parent), dm_(tables) { build(); }

TfmMovAv::~TfmMovAv() = default;

// ---- layout -----------------------------------------------------------------------

void TfmMovAv::build()
{
    setObjectName(QStringLiteral("fmMovAv"));
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
    bbClose = named(new QPushButton(QStringLiteral("&Close")), "bbClose");
    bbPrinterSetup = named(new QPushButton(QStringLiteral("PrinterSetup")), "bbPrinterSetup");
    bbCalculate = named(new QPushButton(QStringLiteral("Calculate")), "bbCalculate");
    bbImport = named(new QPushButton(QStringLiteral("Import")), "bbImport");
    bbPrintGraph = named(new QPushButton(QStringLiteral("Print Graph")), "bbPrintGraph");
    bbPrintGraph->setEnabled(false);
    for (QPushButton* b : {bbClose, bbPrinterSetup, bbCalculate, bbImport, bbPrintGraph}) {
        b->setAutoDefault(false);
        bar->addWidget(b);
    }
    bar->addStretch();
    root->addLayout(bar);

    pcMovAv = named(new QTabWidget, "pcMovAv");
    tsDefine = buildDefineTab();
    tsGraph = buildGraphTab();
    tsData = buildDataTab();
    pcMovAv->addTab(tsDefine, QStringLiteral("Define"));
    pcMovAv->addTab(tsGraph, QStringLiteral("Graph"));
    pcMovAv->addTab(tsData, QStringLiteral("Data"));
    root->addWidget(pcMovAv, 1);

    sbMovAv = named(new ui::PanelStatusBar(this, {250, 80, 80, 50}), "sbMovAv");
    root->addWidget(sbMovAv);

    connect(bbClose, &QPushButton::clicked, this, &TfmMovAv::bbCloseClick);
    connect(bbPrinterSetup, &QPushButton::clicked, this, &TfmMovAv::sbPrinterSetupClick);
    connect(bbCalculate, &QPushButton::clicked, this, &TfmMovAv::bbDefineClick);
    connect(bbImport, &QPushButton::clicked, this, &TfmMovAv::sbImportClick);
    connect(bbPrintGraph, &QPushButton::clicked, this, &TfmMovAv::bbPrintGraphClick);
    connect(bbShowData, &QPushButton::clicked, this, &TfmMovAv::bbShowDataClick);
    connect(bbShowMovAv, &QPushButton::clicked, this, &TfmMovAv::bbShowMovAvClick);
    connect(bbMovAv, &QPushButton::clicked, this, &TfmMovAv::bbMovAvClick);
    connect(pcMovAv, &QTabWidget::currentChanged, this, [this] {
        if (!changingPage_)
            pcMovAvChange();
    });
}

QWidget* TfmMovAv::buildDefineTab()
{
    auto* page = named(new QWidget, "tsDefine");
    auto* layout = new QVBoxLayout(page);
    auto* top = new QHBoxLayout;

    auto* range = named(new QGroupBox(QStringLiteral("Select range")), "gbRange");
    auto* rangeLayout = new QGridLayout(range);
    eFromAge = edit("eFromAge");
    eToAge = edit("eToAge");
    rangeLayout->addWidget(new QLabel(QStringLiteral("From Age")), 0, 0);
    rangeLayout->addWidget(eFromAge, 0, 1);
    rangeLayout->addWidget(new QLabel(QStringLiteral("To Age")), 1, 0);
    rangeLayout->addWidget(eToAge, 1, 1);
    rangeLayout->setRowStretch(2, 1);
    top->addWidget(range);

    // The three statistics are one exclusive choice: they share their group box.
    auto* type = named(new QGroupBox(QStringLiteral("Average Type")), "gbAverageType");
    auto* typeLayout = new QVBoxLayout(type);
    rbMean = named(new QRadioButton(QStringLiteral("Mean")), "rbMean");
    rbMedian = named(new QRadioButton(QStringLiteral("Median")), "rbMedian");
    rbTrimean = named(new QRadioButton(QStringLiteral("Trimean")), "rbTrimean");
    rbMean->setChecked(true);
    for (QRadioButton* b : {rbMean, rbMedian, rbTrimean})
        typeLayout->addWidget(b);
    typeLayout->addStretch();
    top->addWidget(type);

    auto* defaults = named(new QGroupBox(QStringLiteral("Default values")), "gbDefaultValues");
    auto* d = new QGridLayout(defaults);
    WMultStr = edit("WMultStr");
    WConstStr = edit("WConstStr");
    PointIncrementStr = edit("PointIncrementStr");
    MovAvAgeIncrementStr = edit("MovAvAgeIncrementStr");
    RadioButton1 = named(new QRadioButton(QStringLiteral("Average every")), "RadioButton1");
    rbAgeFrame = named(new QRadioButton(QStringLiteral("Average every")), "rbAgeFrame");
    auto* ageUnits = named(new QLabel(QStringLiteral("age units")), "lbAgeUnits");
    d->addWidget(new QLabel(QStringLiteral("Student's t multiplier")), 0, 0);
    d->addWidget(WMultStr, 0, 1);
    d->addWidget(new QLabel(QStringLiteral("Minimum standard deviation")), 1, 0);
    d->addWidget(WConstStr, 1, 1);
    d->addWidget(RadioButton1, 2, 0);
    d->addWidget(PointIncrementStr, 2, 1);
    d->addWidget(new QLabel(QStringLiteral("data points")), 2, 2);
    // The age-window choice is kept only as a stored setting; it is never shown.
    d->addWidget(rbAgeFrame, 3, 0);
    d->addWidget(MovAvAgeIncrementStr, 3, 1);
    d->addWidget(ageUnits, 3, 2);
    for (QWidget* w : std::initializer_list<QWidget*>{rbAgeFrame, MovAvAgeIncrementStr, ageUnits})
        w->setVisible(false);
    RadioButton1->setChecked(true);
    d->setRowStretch(4, 1);
    top->addWidget(defaults);
    layout->addLayout(top);

    auto* source = named(new QGroupBox(QStringLiteral("Available Data From Source")), "gbSource");
    auto* s = new QVBoxLayout(source);
    DBNavigator1 = named(new ui::DBNavigator, "DBNavigator1");
    DBNavigator1->setVisibleButtons(ui::DBNavigator::allButtons());
    dbgSeaRaw = named(new ui::DBGrid, "dbgSeaRaw");
    DBNavigator1->setTable(&dm_.cdsSeaRaw);
    dbgSeaRaw->setTable(&dm_.cdsSeaRaw);
    connect(DBNavigator1, &ui::DBNavigator::actionDone, dbgSeaRaw, &ui::DBGrid::refresh);
    s->addWidget(DBNavigator1, 0, Qt::AlignLeft);
    s->addWidget(dbgSeaRaw, 1);
    layout->addWidget(source, 1);
    return page;
}

QWidget* TfmMovAv::buildGraphTab()
{
    auto* page = named(new QWidget, "tsGraph");
    auto* layout = new QVBoxLayout(page);
    auto* bar = new QHBoxLayout;
    bbShowData = named(new QPushButton(QStringLiteral("Hide Data")), "bbShowData");
    bbShowMovAv = named(new QPushButton(QStringLiteral("Hide Mov.Av.")), "bbShowMovAv");
    for (QPushButton* b : {bbShowData, bbShowMovAv}) {
        b->setAutoDefault(false);
        bar->addWidget(b);
    }
    bar->addStretch();
    layout->addLayout(bar);

    DBChart1 = named(new ui::DBChart, "DBChart1");
    DBChart1->leftAxis().setTitle(QStringLiteral("Ratio"));
    Series1 = &DBChart1->addPointSeries(QStringLiteral("Data"), ui::ChartSeries::PointStyle::Circle, 3,
                                        QColor(128, 128, 128));
    Series4 = &DBChart1->addLineSeries(QStringLiteral("Moving average"), QColor(0, 0, 255), 2);
    Series1->setTable(&dm_.cdsSeaRaw, "Ratio");
    Series4->setTable(&dm_.cdsMovAv, "Ratio");
    layout->addWidget(DBChart1, 1);
    return page;
}

QWidget* TfmMovAv::buildDataTab()
{
    auto* page = named(new QWidget, "tsData");
    auto* layout = new QVBoxLayout(page);
    auto* top = new QHBoxLayout;
    bbMovAv = named(new QPushButton(QStringLiteral("Show moving av.")), "bbMovAv");
    bbMovAv->setAutoDefault(false);
    eCountMovAv = edit("eCountMovAv");
    top->addWidget(bbMovAv);
    top->addWidget(eCountMovAv);
    top->addStretch();
    layout->addLayout(top);
    dbnMovAv = named(new ui::DBNavigator, "dbnMovAv");
    dbnMovAv->setVisibleButtons(ui::DBNavigator::moveButtons());
    dbgMovAv = named(new ui::DBGrid, "dbgMovAv");
    connect(dbnMovAv, &ui::DBNavigator::actionDone, dbgMovAv, &ui::DBGrid::refresh);
    layout->addWidget(dbnMovAv, 0, Qt::AlignLeft);
    layout->addWidget(dbgMovAv, 1);
    return page;
}

void TfmMovAv::showPage(QWidget* page)
{
    changingPage_ = true;
    pcMovAv->setCurrentWidget(page);
    changingPage_ = false;
}

std::string TfmMovAv::internalFolder() const { return settingsStore().text(key::InternalFiles); }

// ---- lifecycle ----------------------------------------------------------------------

void TfmMovAv::showEvent(QShowEvent* event)
{
    QDialog::showEvent(event);
    if (!shown_) {
        shown_ = true;
        FormShow();
    }
}

void TfmMovAv::done(int result)
{
    if (!closed_) {
        closed_ = true;
        FormClose();
    }
    QDialog::done(result);
}

void TfmMovAv::FormShow()
{
    for (ui::ChartSeries* s : {Series1, Series4}) {
        s->clear();
        s->setOrder(ui::ChartSeries::Order::Table);
    }

    const SettingsStore& settings = settingsStore();
    PointIncrementStr->setText(QString::fromStdString(settings.text(key::NumberOfPointsToAverage)));
    WMultStr->setText(QString::fromStdString(settings.text(key::StudentsTMultiplier)));
    WConstStr->setText(QString::fromStdString(settings.text(key::MinimumUncertainty)));
    MovAvAgeIncrementStr->setText(QString::fromStdString(settings.text(key::MovingAverageAgeWindow)));
    eFromAge->setText(QString::fromStdString(settings.text(key::AgeFrom)));
    eToAge->setText(QString::fromStdString(settings.text(key::AgeTo)));

    sbMovAv->setPanelText(0, text::PrepareMovingAverageCurve);

    // Closing the two tables, testing SeaRaw.cds (it only warns) and MovAv.cds
    // (required), then loading both: the loading protocol of the data module.
    const bool ready = data::loadTables(data::movingAverageWindowPlan(dm_), internalFolder(),
                                        [this](const std::string& warning) {
                                            ui::dialogs().warning(this, QString::fromStdString(warning));
                                        });
    if (!ready) {
        // Queued: a dialog shown by exec() is not yet in its event loop while
        // it is being shown, and a close now would leave that loop waiting.
        QMetaObject::invokeMethod(this, &QDialog::reject, Qt::QueuedConnection);
    }
    showPage(tsDefine);
}

void TfmMovAv::FormClose() { data::saveTables(data::movingAverageWindowPlan(dm_), internalFolder()); }

// ---- commands -----------------------------------------------------------------------

void TfmMovAv::bbDefineClick()
{
    MovingAverage calc(dm_, settingsStore(), *sbMovAv);
    calc.rbMean = rbMean->isChecked();
    calc.rbMedian = rbMedian->isChecked();
    calc.rbTrimean = rbTrimean->isChecked();
    MovingAverageFields fields{WMultStr->text().toStdString(),
                               WConstStr->text().toStdString(),
                               PointIncrementStr->text().toStdString(),
                               MovAvAgeIncrementStr->text().toStdString(),
                               eFromAge->text().toStdString(),
                               eToAge->text().toStdString()};
    // The field shows the odd number the run used, also when the run stops early.
    struct ShowPoints {
        QLineEdit* field;
        const std::string& text;
        ~ShowPoints() { field->setText(QString::fromStdString(text)); }
    } showPoints{PointIncrementStr, fields.PointIncrementStr};

    const std::string title = calc.bbDefineClick(fields);
    AverageType = calc.AverageType;
    ui::setChartTitle(*DBChart1, QString::fromStdString(title));
    showPage(tsGraph);
    bbPrintGraph->setEnabled(true);
}

// The callers' procedure of the import window places it, presets its open
// dialog to "MovAv", shows it, and then sets NSpl from the raw points.
void TfmMovAv::sbImportClick() { openSheetImport(this, dm_, QString::fromLatin1(quorvane::text::MovAvImportFileName)); }

void TfmMovAv::sbPrinterSetupClick() { ui::printerSetup(this); }

void TfmMovAv::bbPrintGraphClick() { ui::printChartOnAppPrinter(this, *DBChart1); }

void TfmMovAv::bbShowDataClick() { ui::toggleSeries(*bbShowData, *DBChart1, *Series1, "Show data", "Hide data"); }

void TfmMovAv::bbShowMovAvClick()
{
    ui::toggleSeries(*bbShowMovAv, *DBChart1, *Series4, "Show mov. av.", "Hide mov. av.");
}

void TfmMovAv::bbMovAvClick() { ui::TablePanel{dbgMovAv, dbnMovAv, eCountMovAv}.bind(dm_.cdsMovAv); }

void TfmMovAv::pcMovAvChange()
{
    QWidget* page = pcMovAv->currentWidget();
    if (page != tsData)
        ui::TablePanel{dbgMovAv, dbnMovAv, eCountMovAv}.unbind();
    bbPrintGraph->setEnabled(page == tsGraph);
}

void TfmMovAv::bbCloseClick() { close(); }

} // namespace quorvane::movav
