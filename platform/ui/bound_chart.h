#pragma once
// A chart whose series are bound to curve tables. Each series draws the rows of
// its table with Age on the horizontal axis and one field on the vertical axis,
// and follows every change of the table in bulk: a change marks the series stale
// and the chart refills it from the table once, when it next draws (never row by
// row, and not at all while the table's views are suspended).
//
// Left-axis labels use the pattern "#,##0.0##" in the user's locale. The left
// axis scales automatically to the visible data, or runs between a fixed minimum
// and maximum, linearly or logarithmically.
#include <QColor>
#include <QString>
#include <memory>
#include <vector>

#include <qcustomplot.h>

#include "data/curve_table.h"
#include "platform/errors.h"

namespace quorvane::ui {

/// A refusal of the chart (an axis limit past the other one, a logarithmic
/// scale over values that are not positive).
class ChartError : public Error {
public:
    using Error::Error;
};

namespace text {
inline constexpr const char* AxisMinimumAboveMaximum = "Axis Minimum Value must be <= Maximum";
inline constexpr const char* AxisMaximumBelowMinimum = "Axis Maximum Value must be >= Minimum";
inline constexpr const char* AxisLogNeedsPositive = "A logarithmic axis needs positive values";
inline constexpr const char* LeftAxisLabelFormat = "#,##0.0##";
} // namespace text

/// Formats a number with a pattern of '#', '0', ',' and '.' such as "#,##0.0##":
/// at least as many decimals as '0' after the point and at most as many as '0'
/// and '#' there (rounded half away from zero), thousands grouped when the
/// pattern holds ',', with the locale's group separator and decimal point.
QString formatGroupedNumber(double value, const QString& pattern, const QLocale& locale);

class DBChart;

class ChartSeries final : public data::TableObserver {
public:
    enum class Kind { Line, Points };
    enum class PointStyle { Circle, Square };
    enum class Order { Table, SortedByX };

    ChartSeries(const ChartSeries&) = delete;
    ChartSeries& operator=(const ChartSeries&) = delete;
    ~ChartSeries() override;

    QString title() const;
    Kind kind() const noexcept { return kind_; }
    QColor color() const;
    int width() const;
    PointStyle pointStyle() const noexcept { return pointStyle_; }
    /// Half the width of a point, in pixels from its centre.
    int pointSize() const noexcept { return pointSize_; }

    /// Binds the series to `table` (not owned) and a field of it for the
    /// vertical value; nullptr unbinds it and empties it.
    void setTable(data::CurveTable* table, const std::string& yField);
    data::CurveTable* table() const noexcept { return table_; }

    /// Table order keeps rows exactly as the table visits them (equal ages in
    /// posting order); SortedByX sorts the points by their horizontal value.
    void setOrder(Order order);
    Order order() const noexcept { return order_; }

    /// Removes the points; the next change of the table fills them again.
    void clear();
    void setVisible(bool visible);
    bool isVisible() const;

    /// The points now drawn (refilled first if the table changed).
    int pointCount();
    /// Horizontal and vertical value of a point, in drawing order.
    double x(int i);
    double y(int i);

    QCPGraph* graph() const noexcept { return graph_; }

    void tableChanged() override;

private:
    friend class DBChart;
    friend class ChartAxis;
    ChartSeries(DBChart& chart, QCPGraph* graph, Kind kind);
    void refill();

    DBChart& chart_;
    QCPGraph* graph_;
    Kind kind_;
    PointStyle pointStyle_ = PointStyle::Circle;
    int pointSize_ = 0;
    Order order_ = Order::Table;
    data::CurveTable* table_ = nullptr;
    int yField_ = -1;
    bool stale_ = false;
};

/// The vertical scale of a chart: automatic or between fixed limits, linear or
/// logarithmic. Limits are checked against each other when they are set.
class ChartAxis {
public:
    explicit ChartAxis(DBChart& chart, QCPAxis* axis);

    void setAutomatic(bool automatic);
    bool automatic() const noexcept { return automatic_; }
    /// Throws ChartError(AxisMinimumAboveMaximum) when `value` is above the maximum.
    void setMinimum(double value);
    /// Throws ChartError(AxisMaximumBelowMinimum) when `value` is below the minimum.
    void setMaximum(double value);
    /// The limits in force: with automatic scaling, those fitted to the data at the last drawing.
    double minimum() const noexcept { return min_; }
    double maximum() const noexcept { return max_; }
    /// Throws ChartError(AxisLogNeedsPositive) when the axis reaches zero or below.
    void setLogarithmic(bool logarithmic);
    bool logarithmic() const noexcept { return log_; }
    void setTitle(const QString& title);
    QString title() const;

    QCPAxis* axis() const noexcept { return axis_; }

private:
    friend class DBChart;
    void apply();

    DBChart& chart_;
    QCPAxis* axis_;
    bool automatic_ = true;
    bool log_ = false;
    double min_ = 0.0;
    double max_ = 0.0;
};

class DBChart : public QCustomPlot {
    Q_OBJECT
public:
    /// White, two-dimensional, no title, a legend of the series titles, the
    /// bottom axis titled "Age", left-axis labels "#,##0.0##".
    explicit DBChart(QWidget* parent = nullptr);
    ~DBChart() override;

    ChartSeries& addLineSeries(const QString& title, const QColor& color, int width);
    /// `color` invalid: the next colour of the chart's palette.
    ChartSeries& addPointSeries(const QString& title, ChartSeries::PointStyle style, int size,
                                const QColor& color = QColor());
    int seriesCount() const noexcept { return static_cast<int>(series_.size()); }
    ChartSeries& series(int i) { return *series_.at(static_cast<std::size_t>(i)); }
    /// A series by title, or nullptr.
    ChartSeries* series(const QString& title);

    ChartAxis& leftAxis() noexcept { return left_; }
    void setBottomTitle(const QString& title);

    /// Refills the stale series, fits the automatic axes and draws now.
    void redraw();
    /// Refills the stale series and fits the automatic axes, without drawing.
    void refreshData();
    /// Draws at the next turn of the event loop, once however often it is asked;
    /// a hidden chart draws when it is shown.
    void scheduleRedraw();

protected:
    void showEvent(QShowEvent* event) override;

private:
    std::vector<std::unique_ptr<ChartSeries>> series_;
    ChartAxis left_;
    bool redrawPending_ = false;
};

} // namespace quorvane::ui
