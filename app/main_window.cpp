#include "app/main_window.h"

#include <QAction>
#include <QCloseEvent>
#include <QFrame>
#include <QHBoxLayout>
#include <QMenu>
#include <QMenuBar>
#include <QPushButton>
#include <QStyle>
#include <QVBoxLayout>

#include "app/about_box.h"
#include "app/export_dialog.h"
#include "app/settings/settings_store.h"
#include "app/window_placement.h"
#include "data/dm_sea.h"
#include "graphs/graphs_window.h"
#include "movav/window/movav_window.h"
#include "platform/ui/application.h"
#include "platform/ui/dialogs.h"
#include "spline/window/spline_fit.h"
#include "work/nspl.h"

namespace quorvane::app {

namespace {

QFrame* panel(QWidget* parent, const char* name)
{
    auto* p = new QFrame(parent);
    p->setObjectName(QString::fromLatin1(name));
    p->setFrameShape(QFrame::StyledPanel);
    p->setFixedHeight(41);
    return p;
}

} // namespace

TfmMain::TfmMain(QWidget* parent) : QMainWindow(parent)
{
    setObjectName(QStringLiteral("fmMain"));
    setWindowTitle(QStringLiteral("Time series curve fitting"));
    QFont font(QStringLiteral("Arial"));
    font.setPixelSize(11);
    setFont(font);

    QMenuBar* bar = menuBar();
    bar->setObjectName(QStringLiteral("MainMenu1"));

    QMenu* file = bar->addMenu(QStringLiteral("&File"));
    file->setObjectName(QStringLiteral("File1"));
    QMenu* exportMenu = file->addMenu(QStringLiteral("&Export curve data"));
    exportMenu->setObjectName(QStringLiteral("Exportcurvedata1"));
    addItem(exportMenu, "ExportSpline", "&Spline", &TfmMain::ExportSplineClick);
    addItem(exportMenu, "ExportSplineP", "S&pline +95% envelope", &TfmMain::ExportSplinePClick);
    addItem(exportMenu, "ExportSplineM", "Sp&line -95% envelope", &TfmMain::ExportSplineMClick);
    addItem(exportMenu, "ExportMovingAverage", "&Moving Average", &TfmMain::ExportMovingAverageClick);
    file->addSeparator()->setObjectName(QStringLiteral("N2"));
    addItem(file, "Printersetup1", "Printer se&tup", &TfmMain::Printersetup1Click);
    file->addSeparator()->setObjectName(QStringLiteral("N1"));
    addItem(file, "Exit1", "E&xit", &TfmMain::Exit1Click);

    QMenu* curve = bar->addMenu(QStringLiteral("&Define Curve"));
    curve->setObjectName(QStringLiteral("Curve1"));
    addItem(curve, "MovingAverage1", "&Moving average", &TfmMain::MovingAverage1Click);
    addItem(curve, "Spline1", "&Spline", &TfmMain::Spline1Click);

    // A command straight on the menu bar.
    QAction* compare = bar->addAction(QStringLiteral("&Compare Graphs"));
    compare->setObjectName(QStringLiteral("CompareGraphs1"));
    connect(compare, &QAction::triggered, this, &TfmMain::CompareGraphs1Click);

    QMenu* help = bar->addMenu(QStringLiteral("&Help"));
    help->setObjectName(QStringLiteral("Help1"));
    addItem(help, "About1", "&About", &TfmMain::About1Click);

    auto* central = new QWidget(this);
    auto* column = new QVBoxLayout(central);
    column->setContentsMargins(0, 0, 0, 0);
    column->setSpacing(0);
    QFrame* top = panel(central, "Panel1");
    auto* topRow = new QHBoxLayout(top);
    topRow->setContentsMargins(4, 4, 4, 4);
    auto* exitButton = new QPushButton(style()->standardIcon(QStyle::SP_DialogCloseButton), QStringLiteral("E&xit"), top);
    exitButton->setObjectName(QStringLiteral("bbExit"));
    connect(exitButton, &QPushButton::clicked, this, &TfmMain::Exit1Click);
    topRow->addWidget(exitButton);
    topRow->addStretch();
    column->addWidget(top);
    column->addStretch();
    column->addWidget(panel(central, "Panel2"));
    setCentralWidget(central);
}

QAction* TfmMain::addItem(QMenu* menu, const char* name, const char* caption, void (TfmMain::*handler)())
{
    QAction* action = menu->addAction(QString::fromUtf8(caption));
    action->setObjectName(QString::fromLatin1(name));
    connect(action, &QAction::triggered, this, handler);
    return action;
}

void TfmMain::showEvent(QShowEvent* event)
{
    if (!shown_) {
        shown_ = true;
        FormShow();
    }
    QMainWindow::showEvent(event);
}

void TfmMain::FormShow()
{
    SettingsStore& store = settingsStore();
    LoadSettings(store, settingsFilePath());
    applyPosition(*this, "Main");

    NSpl() = DefaultNSpl;
    if (data::TdmSea* dm = data::dmSea()) {
        try {
            if (const int n = dm->cdsSeaRaw.rowCount(); n >= 1)
                NSpl() = n;
        } catch (const std::exception&) {
            // SeaRaw is not open yet: NSpl stays at its default.
        }
    }
    // First start on this machine: an internal files folder with seven empty tables.
    data::seedInternalFolder(store.text(key::InternalFiles));
}

bool TfmMain::FormClose()
{
    storePosition(*this, "Main");
    try {
        SaveSettings(settingsStore(), settingsFilePath());
    } catch (const std::exception& e) {
        ui::showError(e);
        return false;
    }
    return true;
}

void TfmMain::closeEvent(QCloseEvent* event)
{
    if (FormClose())
        event->accept();
    else
        event->ignore(); // the settings were not written: the window stays open
}

void TfmMain::ExportSplineClick() { exportCurveData(this, ExportCurve::Spline); }
void TfmMain::ExportSplinePClick() { exportCurveData(this, ExportCurve::SplineP); }
void TfmMain::ExportSplineMClick() { exportCurveData(this, ExportCurve::SplineM); }
void TfmMain::ExportMovingAverageClick() { exportCurveData(this, ExportCurve::MovingAverage); }

void TfmMain::Printersetup1Click() { ui::dialogs().printerSetup(this, ui::appPrinter()); }

void TfmMain::Exit1Click() { close(); }

void TfmMain::MovingAverage1Click()
{
    runPlacedDialog(this, "Moving Average", [](QWidget* owner) { return std::make_unique<movav::TfmMovAv>(owner); });
}
void TfmMain::Spline1Click()
{
    runPlacedDialog(this, "Spline", [](QWidget* owner) { return std::make_unique<spline::TfmSplineFit>(owner); });
}
void TfmMain::CompareGraphs1Click()
{
    runPlacedDialog(this, "Graph", [](QWidget* owner) { return std::make_unique<graphs::TfmGraphs>(owner); });
}

void TfmMain::About1Click()
{
    // Destroyed when it closes, also on error.
    TAboutBox box(this);
    box.exec();
}

} // namespace quorvane::app
