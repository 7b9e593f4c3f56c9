#pragma once
// A data grid bound to a curve table at run time and unbound again: one column
// per field in field order, headed by the field name, each cell shown with its
// field's display format in the user's locale. Editing a cell goes through the
// table's own set-from-text rule (edit, setText, post), so the grid accepts
// exactly what the table accepts. The grid follows every change of the table
// and its cursor, except while the table's views are suspended.
#include <QAbstractTableModel>
#include <QTableView>
#include <vector>

#include "data/curve_table.h"

namespace quorvane::ui {

/// The user's decimal separator for display formats (a single character; '.'
/// when the locale's is not one byte).
char displayDecimalPoint();

class CurveTableModel final : public QAbstractTableModel, public data::TableObserver {
    Q_OBJECT
public:
    explicit CurveTableModel(QObject* parent = nullptr);
    ~CurveTableModel() override;

    /// Binds to `table` (not owned), or unbinds with nullptr.
    void setTable(data::CurveTable* table);
    data::CurveTable* table() const noexcept { return table_; }

    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;
    Qt::ItemFlags flags(const QModelIndex& index) const override;
    /// Edits the row through the table; a refusal is shown by the default error
    /// display and leaves the row as it was.
    bool setData(const QModelIndex& index, const QVariant& value, int role) override;

    void tableChanged() override;
    void cursorMoved() override;
    /// Shows a change of the table's state that it does not announce itself (a row
    /// being appended appears as an extra last row until it is posted or cancelled).
    void refresh() { tableChanged(); }

signals:
    /// The table's cursor moved to `row` (0-based, -1 on an empty table).
    void cursorRowChanged(int row);

private:
    void snapshot();
    bool isPendingRow(int row) const;

    data::CurveTable* table_ = nullptr;
    int rows_ = 0;
    int columns_ = 0;
    char decimalPoint_ = '.';
};

class DBGrid : public QTableView {
    Q_OBJECT
public:
    explicit DBGrid(QWidget* parent = nullptr);

    /// Binds the grid to `table` (not owned); nullptr unbinds it and empties the grid.
    void setTable(data::CurveTable* table);
    data::CurveTable* table() const noexcept { return model_.table(); }
    CurveTableModel& tableModel() noexcept { return model_; }
    /// Redraws after a navigator action on the same table.
    void refresh() { model_.refresh(); }

    /// Read only grids show the table but refuse editing.
    void setReadOnly(bool readOnly);

private:
    void followCursor(int row);

    CurveTableModel model_;
    bool movingCursor_ = false;
};

} // namespace quorvane::ui
