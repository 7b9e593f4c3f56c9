#pragma once
// The main window: the menu through which every window and command is reached.
// It loads the settings when it is first shown and writes them when it closes.
#include <QMainWindow>

class QAction;
class QFrame;
class QMenu;
class QPushButton;

namespace quorvane::app {

class TfmMain : public QMainWindow {
    Q_OBJECT
public:
    explicit TfmMain(QWidget* parent = nullptr);

    // Menu commands, by the names of their items.
    void ExportSplineClick();
    void ExportSplinePClick();
    void ExportSplineMClick();
    void ExportMovingAverageClick();
    void Printersetup1Click();
    void Exit1Click();
    void MovingAverage1Click();
    void Spline1Click();
    void CompareGraphs1Click();
    void About1Click();

protected:
    void showEvent(QShowEvent* event) override;
    void closeEvent(QCloseEvent* event) override;

private:
    void FormShow();
    /// Stores the position and writes the settings; false when the write failed.
    bool FormClose();
    QAction* addItem(QMenu* menu, const char* name, const char* caption, void (TfmMain::*handler)());

    bool shown_ = false;
};

} // namespace quorvane::app
