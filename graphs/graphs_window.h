#pragma once
// TfmGraphs, the comparative graphs window: the raw points, the central spline
// and the moving average on one chart, the first derivative of the spline on a
// second, and the rows of the averaged points, the spline and the +95% curve on
// demand. It only reads: it computes nothing and saves nothing. Shown modally by
// the main window, fresh for each command; when shown it loads SeaRaw, MovAv and
// SeaSpl from their internal files, and they stay open when it closes.
#include <QDialog>
#include <string>

class QLineEdit;
class QPushButton;
class QSplitter;
class QTabWidget;

namespace quorvane::data {
class TdmSea;
}

namespace quorvane::ui {
class ChartSeries;
class DBChart;
class DBGrid;
class DBNavigator;
class PanelStatusBar;
} // namespace quorvane::ui

namespace quorvane::graphs {

namespace text {
inline constexpr const char* Caption = "Comparative graphs";
}

class TfmGraphs : public QDialog {
    Q_OBJECT
public:
    /// On the application's data module.
    explicit TfmGraphs(QWidget* parent = nullptr);
    TfmGraphs(data::TdmSea& tables, QWidget* parent = nullptr);
    ~TfmGraphs() override;

    // ---- handlers -----------------------------------------------------------------
    void FormShow();
    void sbPrinterSetupClick();
    void bbPrintGraphClick();
    void bbShowDataClick();
    void bbShowSplineClick();
    void bbShowMovAvClick();
    void bbSeaRawAvClick();
    void bbSeaSplClick();
    void bbSeaSplPClick();
    void pcSplineChange();
    void bbCloseClick();

    // The window's parts, for the tests and for whoever drives it by hand.
    QPushButton *bbClose = nullptr, *bbPrinterSetup = nullptr, *bbPrintGraph = nullptr;
    QTabWidget* pcSpline = nullptr;
    QWidget *tsGraph = nullptr, *tsData = nullptr, *tsYPrime = nullptr;
    ui::PanelStatusBar* sbSpline = nullptr;
    QPushButton *bbShowData = nullptr, *bbShowSpline = nullptr, *bbShowMovAv = nullptr;
    ui::DBChart *DBChart1 = nullptr, *DBChart2 = nullptr;
    ui::ChartSeries *Series1 = nullptr, *Series2 = nullptr, *Series4 = nullptr, *LineSeries1 = nullptr;
    QSplitter* spData = nullptr;
    QPushButton *bbSeaRawAv = nullptr, *bbSeaSpl = nullptr, *bbSeaSplP = nullptr;
    QLineEdit *eCountRawDataAv = nullptr, *eCountSpline = nullptr, *eCountSplineP = nullptr;
    ui::DBNavigator *dbnSeaRawAv = nullptr, *dbnSeaSpl = nullptr, *dbnSeaSplP = nullptr;
    ui::DBGrid *dbgSeaRawAv = nullptr, *dbgSeaSpl = nullptr, *dbgSeaSplP = nullptr;

protected:
    void showEvent(QShowEvent* event) override;

private:
    void build();
    QWidget* buildGraphTab();
    QWidget* buildDataTab();
    QWidget* buildYPrimeTab();
    /// Changes the page without the rules of a change by the user.
    void showPage(QWidget* page);

    data::TdmSea& dm_;
    bool shown_ = false;
    bool changingPage_ = false;
};

} // namespace quorvane::graphs
