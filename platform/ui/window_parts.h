#pragma once
// Pieces that the calculation and chart windows build from: a chart title that
// takes no room until it is first set, the show/hide buttons of chart series,
// and the panels of a grid, a navigator and a row count bound to one table at a
// time.
#include <QString>

class QLineEdit;
class QPushButton;

namespace quorvane::data {
class CurveTable;
}

namespace quorvane::ui {

class ChartSeries;
class DBChart;
class DBGrid;
class DBNavigator;

/// Sets the one-line title above the plot area and shows it. A chart gets its
/// title row only when a title is first set, so a chart without one keeps all
/// its height for the plot.
void setChartTitle(DBChart& chart, const QString& title);
/// The title shown, or an empty text when the chart shows none.
QString chartTitle(const DBChart& chart);

/// Shows `series` if it is hidden, or hides it, and sets the button's caption
/// to `showCaption` after hiding or `hideCaption` after showing. A hidden series
/// leaves the legend as well as the plot, so neither the screen nor a print
/// shows it; the legend keeps the series order.
void toggleSeries(QPushButton& button, DBChart& chart, ChartSeries& series, const char* showCaption,
                  const char* hideCaption);

/// A grid, its navigator and the field showing its row count.
struct TablePanel {
    DBGrid* grid;
    DBNavigator* navigator;
    QLineEdit* count;

    /// Binds grid and navigator to `table` and shows its row count as a decimal
    /// integer. A closed table shows an empty grid, disabled buttons and 0.
    void bind(data::CurveTable& table) const;
    /// Unbinds grid and navigator and clears the count.
    void unbind() const;
};

} // namespace quorvane::ui
