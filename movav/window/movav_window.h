#pragma once
// TfmMovAv, the moving-average window: the raw points in a grid, the average
// type and the number of points, the Calculate command (the moving average),
// the chart of the data and the curve, and the curve's rows on demand. Shown
// modally by the main window, fresh for each command. When shown it loads
// SeaRaw and MovAv from their internal files; when it closes it writes both back.
#include <QDialog>
#include <string>

class QGroupBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QRadioButton;
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

namespace quorvane::movav {

namespace text {
inline constexpr const char* Caption = "Fit Moving Average";
inline constexpr const char* PrepareMovingAverageCurve = "Prepare Moving Average Curve";
} // namespace text

class TfmMovAv : public QDialog {
    Q_OBJECT
public:
    /// On the application's data module.
    explicit TfmMovAv(QWidget* parent = nullptr);
    TfmMovAv(data::TdmSea& tables, QWidget* parent = nullptr);
    ~TfmMovAv() override;

    // ---- handlers -----------------------------------------------------------------
    void FormShow();
    void FormClose();
    void bbDefineClick();
    void sbImportClick();
    void sbPrinterSetupClick();
    void bbPrintGraphClick();
    void bbShowDataClick();
    void bbShowMovAvClick();
    void bbMovAvClick();
    void pcMovAvChange();
    void bbCloseClick();

    /// "Mean", "Median" or "Trimean": the statistic of the last calculation.
    std::string AverageType = "Mean";

    // The window's parts, for the tests and for whoever drives it by hand.
    QPushButton *bbClose = nullptr, *bbPrinterSetup = nullptr, *bbCalculate = nullptr, *bbImport = nullptr,
                *bbPrintGraph = nullptr;
    QTabWidget* pcMovAv = nullptr;
    QWidget *tsDefine = nullptr, *tsGraph = nullptr, *tsData = nullptr;
    ui::PanelStatusBar* sbMovAv = nullptr;
    QLineEdit *eFromAge = nullptr, *eToAge = nullptr, *WMultStr = nullptr, *WConstStr = nullptr,
              *PointIncrementStr = nullptr, *MovAvAgeIncrementStr = nullptr;
    QRadioButton *rbMean = nullptr, *rbMedian = nullptr, *rbTrimean = nullptr, *RadioButton1 = nullptr,
                 *rbAgeFrame = nullptr;
    ui::DBNavigator* DBNavigator1 = nullptr;
    ui::DBGrid* dbgSeaRaw = nullptr;
    QPushButton *bbShowData = nullptr, *bbShowMovAv = nullptr;
    ui::DBChart* DBChart1 = nullptr;
    ui::ChartSeries *Series1 = nullptr, *Series4 = nullptr;
    QPushButton* bbMovAv = nullptr;
    QLineEdit* eCountMovAv = nullptr;
    ui::DBNavigator* dbnMovAv = nullptr;
    ui::DBGrid* dbgMovAv = nullptr;

    void done(int result) override;

protected:
    void showEvent(QShowEvent* event) override;

private:
    void build();
    QWidget* buildDefineTab();
    QWidget* buildGraphTab();
    QWidget* buildDataTab();
    /// Changes the page without the rules of a change by the user.
    void showPage(QWidget* page);
    std::string internalFolder() const;

    data::TdmSea& dm_;
    bool shown_ = false;
    bool closed_ = false;
    bool changingPage_ = false;
};

} // namespace quorvane::movav
