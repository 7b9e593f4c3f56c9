#pragma once
// TfmSplineFit, the spline window: the raw points in a grid, the smoothing
// parameters, the Calculate command (the spline curve run), the averaged points,
// the three curves, the first derivative and the age increments as grids and
// charts. Shown modally by the main window, fresh for each command. When shown
// it loads its six tables from their internal files; when it closes it writes
// them back.
#include <QDialog>
#include <array>

#include "platform/ui/panel_status_bar.h"

class QCheckBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QTabWidget;

namespace quorvane::data {
class CurveTable;
class TdmSea;
} // namespace quorvane::data

namespace quorvane::ui {
class DBChart;
class DBGrid;
class DBNavigator;
class ChartSeries;
} // namespace quorvane::ui

namespace quorvane::spline {

namespace text {
inline constexpr const char* Caption = "Fit Weighted Spline";
inline constexpr const char* PrepareCalibrationCurve = "Prepare Calibration Curve";
/// The file name the import window's open dialog proposes from this window.
inline constexpr const char* ImportFileName = "SeaRaw";
} // namespace text

class TfmSplineFit : public QDialog {
    Q_OBJECT
public:
    explicit TfmSplineFit(QWidget* parent = nullptr);
    TfmSplineFit(data::TdmSea& tables, QWidget* parent = nullptr);
    ~TfmSplineFit() override;

    // ---- handlers -----------------------------------------------------------------
    void FormShow();
    void FormClose();
    void bbDefineClick();
    void sbImportClick();
    void sbPrinterSetupClick();
    void bbPrintGraphClick();
    void bbCloseClick();
    void bbChangeClick();
    void pcSplineChange();
    void bbShowDataClick();
    void bbShowSplineClick();
    void bbShowSplinePClick();
    void bbShowSplineMClick();
    void bbShowDataAvClick();
    void bbSeaRawAvClick();
    void bbSeaSplClick();
    void bbSeaSplPClick();
    void bbShowIncrementsClick();

    /// Whether the last FormShow found every required internal file.
    bool ready() const noexcept { return ready_; }

    // The window's parts, for the tests and for whoever drives it by hand.
    QTabWidget* pcSpline = nullptr;
    QWidget *tsDefine = nullptr, *tsGraph = nullptr, *tsData = nullptr, *tsYPrime = nullptr, *tsTimeStep = nullptr;
    ui::PanelStatusBar* sbSpline = nullptr;
    QPushButton *bbClose = nullptr, *bbPrinterSetup = nullptr, *bbCalculate = nullptr, *bbImport = nullptr,
                *bbPrintGraph = nullptr;
    QLineEdit *eFromAge = nullptr, *eToAge = nullptr, *WMultStr = nullptr, *WConstStr = nullptr, *SStr = nullptr,
              *AgeIncrementStr = nullptr, *eNSpl = nullptr, *eMin = nullptr, *eMax = nullptr;
    QCheckBox *cbDoRawAverages = nullptr, *cbSpline = nullptr, *cbSplineP = nullptr, *cbSplineM = nullptr,
              *cbLogAxis = nullptr, *cbAutoAxis = nullptr;
    QPushButton *bbShowData = nullptr, *bbShowSpline = nullptr, *bbShowSplineP = nullptr, *bbShowSplineM = nullptr,
                *bbShowDataAv = nullptr;
    QPushButton *bbSeaRawAv = nullptr, *bbSeaSpl = nullptr, *bbSeaSplP = nullptr, *bbShowIncrements = nullptr;
    QLineEdit *eCountRawDataAv = nullptr, *eCountSpline = nullptr, *eCountSplineP = nullptr,
              *eCountIncrements = nullptr;
    ui::DBGrid *dbgSeaRaw = nullptr, *dbgSeaRawAv = nullptr, *dbgSeaSpl = nullptr, *dbgSeaSplP = nullptr,
               *dbgIncrements = nullptr;
    ui::DBNavigator *dbnSeaRaw = nullptr, *dbnSeaRawAv = nullptr, *dbnSeaSpl = nullptr, *dbnSeaSplP = nullptr,
                    *dbnIncrements = nullptr;
    ui::DBChart *DBChart1 = nullptr, *DBChart2 = nullptr, *DBChart3 = nullptr;

    void done(int result) override;

protected:
    void showEvent(QShowEvent* event) override;

private:
    void build();
    QWidget* buildDefineTab();
    QWidget* buildGraphTab();
    QWidget* buildDataTab();
    QWidget* buildChartTab(const char* tabName, ui::DBChart*& chart, const char* chartName);
    void setupCharts();
    /// Changes the page without the user's page-change rules.
    void showPage(QWidget* page);
    void toggleSeries(QPushButton* button, const char* series, const char* showCaption, const char* hideCaption);
    void bindPanel(ui::DBGrid* grid, ui::DBNavigator* nav, QLineEdit* count, data::CurveTable& table);
    std::string internalFolder() const;

    data::TdmSea& dm_;
    bool ready_ = false;
    bool changingPage_ = false;
    bool closing_ = false;
};

} // namespace quorvane::spline
