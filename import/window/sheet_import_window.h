#pragma once
// The import window TfmSheetImport: the user picks a workbook, a sheet, the
// column of each field and a range of rows; OK replaces SeaRaw by those rows
// and rebuilds DeltaT (SheetImport does the work). The window is opened only
// through openSheetImport(), from the "Import" buttons of the spline and the
// moving-average windows.
#include <QDialog>
#include <QString>

#include "xls/xlsfile.h"
#include "xls/xlsimport.h"

class QComboBox;
class QGroupBox;
class QLineEdit;
class QPushButton;
class QTabBar;
class QToolButton;
class QWidget;

namespace quorvane::data {
class TdmSea;
}
namespace quorvane::ui {
class PanelStatusBar;
}
namespace quorvane::xls {
class TXlsGrid;
}

namespace quorvane {

namespace text {
inline constexpr const char* SheetImportCaption = "Import spreadsheet";
inline constexpr const char* FindEndOfFile = "Find end of file";
inline constexpr const char* DefineFieldsHint = "Specify column letter or 0 (zero) to omit.";
/// The open dialog's preset file name in the spline window and in the moving-average window.
inline constexpr const char* SplineImportFileName = "SeaRaw";
inline constexpr const char* MovAvImportFileName = "MovAv";
} // namespace text

/// What the open dialog `OpenDialogSprdSheet` is asked with.
struct OpenDialogSettings {
    QString fileName;
    QString defaultExt = QStringLiteral("xls");
    /// Two entries as the platform dialog had them, both matching .xls in either case.
    QString filter = QStringLiteral("Excel 97/Excel 8|*.xls;*.XLS|Excel 5 and 7/95|*.xls;*.XLS");
};

class TfmSheetImport : public QDialog {
    Q_OBJECT
public:
    /// Imports into the tables of `tables` (the data module of the run).
    explicit TfmSheetImport(data::TdmSea& tables, QWidget* parent = nullptr);
    ~TfmSheetImport() override;

    OpenDialogSettings OpenDialogSprdSheet;
    /// The workbook reader; it holds the open workbook for as long as the window lives.
    xls::TXlsImport& XlsImport1() { return xlsImport_; }

    // ---- handlers ---------------------------------------------------------------
    /// Hides tabs, OK and the row and field groups, fills the five fields from the
    /// settings store and runs the open dialog at once.
    void FormShow();
    void bbOpenSheetClick();
    void TabControlChange();
    void cbSheetNameChange();
    /// The end-of-data search in the age column; any error ends it silently.
    void sbFindLastRowClick();
    void bbImportClick();
    void bbCancelClick();

    // ---- controls, also found by their object names ------------------------------
    QWidget* Panel1 = nullptr;
    QPushButton *bbCancel = nullptr, *bbOpenSheet = nullptr, *bbImport = nullptr;
    /// The tab strip with one tab per sheet, tabs at the bottom, below the sheet's area.
    QWidget* TabControl = nullptr;
    /// The sheet grid over XlsImport1, above the tabs; it shows the sheet the tabs select.
    xls::TXlsGrid* Data = nullptr;
    QTabBar* TabControlTabs = nullptr;
    QWidget* Panel3 = nullptr;
    QGroupBox *gbDefineTabSheet = nullptr, *gbDefineRows = nullptr, *gbDefineFields = nullptr;
    QComboBox* cbSheetName = nullptr;
    QLineEdit *eFromRow = nullptr, *eToRow = nullptr, *eX = nullptr, *eY = nullptr, *eYerr = nullptr;
    QToolButton* sbFindLastRow = nullptr;
    ui::PanelStatusBar* sbSheet = nullptr;

protected:
    void showEvent(QShowEvent* event) override;

private:
    void build();
    /// Makes sheet `position` + 1 active and shows it (the steps both selectors share).
    void changeSheet(int position);

    data::TdmSea& dm_;
    xls::TXLSAdapter xlsAdapter1_;
    xls::TXlsImport xlsImport_;
};

/// The callers' procedure, the one way the spline window and the moving-average
/// window open the import window:
///  1. create a new TfmSheetImport owned by `owner`, importing into `tables`;
///  2. place it from "Sheet Left", "Sheet Top", "Sheet Height", "Sheet Width";
///  3. preset the open dialog's file name to `fileName`
///     (text::SplineImportFileName or text::MovAvImportFileName);
///  4. show it modally;
///  5. when it closed with OK (an import was started), store its position back
///     into the four "Sheet" values;
///  6. destroy it, also when an error ends these steps early;
///  7. when no error escaped, set NSpl to twice the row count of SeaRaw, or to
///     DefaultNSpl when that is below 1 (a closed SeaRaw fails here).
/// Returns the window's result (QDialog::Accepted or QDialog::Rejected).
int openSheetImport(QWidget* owner, data::TdmSea& tables, const QString& fileName);

} // namespace quorvane
