#pragma once
// `TXlsGrid`: the sheet grid. It shows the active sheet of a `TXlsImport` as the
// spreadsheet draws it (headers, sizes at a zoom factor, values through their number
// formats, fonts, fills, borders, merged cells, pictures) and lets the user edit cells
// of the workbook in memory.
//
// A model/view pair: the model answers only the cells the view asks for, so drawing and
// scrolling cost the visible cells, not the sheet.
#include "xls/grid/sheetstyle.h"
#include "xls/numfmt/cellformat.h"
#include "xls/xlsimport.h"

#include <QImage>
#include <QLocale>
#include <QTableView>

#include <map>
#include <memory>
#include <vector>

namespace quorvane::xls {

class SheetModel;
class SheetDelegate;

class TXlsGrid : public QTableView {
    Q_OBJECT
    Q_PROPERTY(bool ReadOnly READ ReadOnly WRITE SetReadOnly)
    Q_PROPERTY(bool HideCursor READ HideCursor WRITE SetHideCursor)
    Q_PROPERTY(bool FormulaReadOnly READ FormulaReadOnly WRITE SetFormulaReadOnly)
    Q_PROPERTY(bool FullWorksheet READ FullWorksheet WRITE SetFullWorksheet)
    Q_PROPERTY(int PrintLineWidth READ PrintLineWidth WRITE SetPrintLineWidth)
    Q_PROPERTY(bool UseFixedCells READ UseFixedCells WRITE SetUseFixedCells)
    Q_PROPERTY(int Zoom READ Zoom WRITE SetZoom)

public:
    explicit TXlsGrid(QWidget* parent = nullptr);
    ~TXlsGrid() override;

    // Published properties.
    TXlsImport* XlsImport() const noexcept { return import_; }
    void SetXlsImport(TXlsImport* import);
    bool ReadOnly() const noexcept { return readOnly_; }
    void SetReadOnly(bool v);
    bool HideCursor() const noexcept { return hideCursor_; }
    void SetHideCursor(bool v);
    bool FormulaReadOnly() const noexcept { return formulaReadOnly_; }
    void SetFormulaReadOnly(bool v) { formulaReadOnly_ = v; }
    bool FullWorksheet() const noexcept { return fullWorksheet_; }
    void SetFullWorksheet(bool v) { fullWorksheet_ = v; }
    int PrintLineWidth() const noexcept { return printLineWidth_; }
    void SetPrintLineWidth(int v) { printLineWidth_ = v; }
    bool UseFixedCells() const noexcept { return useFixedCells_; }
    void SetUseFixedCells(bool v) { useFixedCells_ = v; }

    /// Display scale in percent, 100 when the grid is created.
    int Zoom() const noexcept { return zoom_; }
    /// Stores the layout, then limits v to 10..400, resizes, and emits ZoomChanged(v).
    void SetZoom(int v);

    /// Shows the active sheet of the bound import component; does nothing when none is
    /// bound or it has no open workbook.
    void LoadSheet();
    /// Ends any edit and writes changed row heights and column widths into the sheet.
    void StoreLayout();

    // What the grid shows, for the window and for tests. Rows and columns count the
    // header row and column: data row r (1-based, as the sheet numbers it) is grid row r.
    bool IsLoaded() const noexcept { return loaded_; }
    bool ShowGridLines() const noexcept { return showGridLines_; }
    double ZoomFactor() const noexcept { return zoom_ / 100.0; }
    int RowCount() const;
    int ColCount() const;
    /// On-screen size of data column / row n (1-based) and of the header column and row.
    int ColumnPixels(int col) const;
    int RowPixels(int row) const;
    int HeaderColumnWidth() const;
    int HeaderRowHeight() const;
    /// Text of a header cell: column letters, or the row number.
    static QString ColumnTitle(int col);
    const std::vector<grid::Picture>& Pictures() const noexcept { return pictures_; }
    /// The text drawn in data cell (row, col), 1-based, and the text its editor starts with.
    QString CellText(int row, int col) const;
    QString EditText(int row, int col) const;
    /// Accepts `text` as the new content of data cell (row, col), 1-based: a formula,
    /// a number, a boolean, a date-time or text, in that order.
    void AcceptEdit(int row, int col, const QString& text);

signals:
    void ZoomChanged(int requested);

protected:
    void paintEvent(QPaintEvent* event) override;
    void currentChanged(const QModelIndex& current, const QModelIndex& previous) override;

private:
    friend class SheetModel;
    friend class SheetDelegate;

    TWorkSheet* sheet() const;
    void recalcSizes();
    void endEdit();
    void applyEditTriggers();
    int toPixels(double units) const;

    TXlsImport* import_ = nullptr;
    bool readOnly_ = false, hideCursor_ = false, formulaReadOnly_ = false, fullWorksheet_ = false,
         useFixedCells_ = false;
    int printLineWidth_ = 0;
    int zoom_ = 100;
    bool loaded_ = false;
    bool showGridLines_ = true;
    bool showHeadings_ = true;
    int loadedSheet_ = 0; // 1-based sheet the grid shows
    std::vector<grid::Picture> pictures_;
    std::vector<QImage> images_;
    SheetModel* model_ = nullptr;
    SheetDelegate* delegate_ = nullptr;
};

} // namespace quorvane::xls
