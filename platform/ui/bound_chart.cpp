#include "platform/ui/bound_chart.h"

#include <cmath>
#include <limits>
#include <type_traits>

#include "platform/ui/bound_grid.h"

namespace quorvane::ui {

namespace {

// Colours handed to series that ask for an automatic one, by series position;
// white is left out, the chart's background is white.
const QColor Palette[] = {Qt::red,        Qt::darkGreen, Qt::darkYellow, Qt::blue,    Qt::gray,
                          Qt::magenta,    Qt::darkCyan,  Qt::darkBlue,   Qt::darkRed, Qt::green,
                          Qt::darkMagenta, Qt::black};

// The label pattern shows at most three decimals, so ticks closer than 0.001
// would repeat the same label.
constexpr double FinestLabelStep = 0.001;

template <class Base>
class PatternTicker final : public Base {
public:
    QString getTickLabel(double tick, const QLocale&, QChar, int) override
    {
        return formatGroupedNumber(tick, QString::fromLatin1(text::LeftAxisLabelFormat), QLocale::system());
    }

protected:
    double getTickStep(const QCPRange& range) override
    {
        if constexpr (std::is_same_v<Base, QCPAxisTicker>)
            return std::max(Base::getTickStep(range), FinestLabelStep);
        else
            return Base::getTickStep(range);
    }
};

bool lessByKey(const QCPGraphData& a, const QCPGraphData& b) { return a.key < b.key; }

} // namespace

QString formatGroupedNumber(double value, const QString& pattern, const QLocale& locale)
{
    const qsizetype point = pattern.indexOf(QLatin1Char('.'));
    const QString intPart = point < 0 ? pattern : pattern.left(point);
    const QString decPart = point < 0 ? QString() : pattern.mid(point + 1);
    const int minDecimals = static_cast<int>(decPart.count(QLatin1Char('0')));
    const int maxDecimals = minDecimals + static_cast<int>(decPart.count(QLatin1Char('#')));
    const bool grouped = intPart.contains(QLatin1Char(','));
    const int minInteger = static_cast<int>(intPart.count(QLatin1Char('0')));

    // The rounding rule of the display formats, then trailing zeros beyond the
    // minimum number of decimals are dropped.
    std::string fixed = std::string(static_cast<std::size_t>(std::max(minInteger, 1)), '0');
    if (maxDecimals > 0)
        fixed += "." + std::string(static_cast<std::size_t>(maxDecimals), '0');
    QString s = QString::fromStdString(data::formatDisplay(value, fixed, '.'));
    const bool negative = s.startsWith(QLatin1Char('-'));
    if (negative)
        s.remove(0, 1);
    QString digits = s;
    QString decimals;
    if (const qsizetype p = s.indexOf(QLatin1Char('.')); p >= 0) {
        digits = s.left(p);
        decimals = s.mid(p + 1);
        while (decimals.size() > minDecimals && decimals.endsWith(QLatin1Char('0')))
            decimals.chop(1);
    }
    if (grouped) {
        const QString sep = locale.groupSeparator();
        for (qsizetype i = digits.size() - 3; i > 0; i -= 3)
            digits.insert(i, sep);
    }
    QString out = negative ? locale.negativeSign() + digits : digits;
    if (!decimals.isEmpty())
        out += locale.decimalPoint() + decimals;
    return out;
}

// ---- series ---------------------------------------------------------------------

ChartSeries::ChartSeries(DBChart& chart, QCPGraph* graph, Kind kind) : chart_(chart), graph_(graph), kind_(kind) {}

ChartSeries::~ChartSeries()
{
    if (table_)
        table_->removeObserver(this);
}

QString ChartSeries::title() const { return graph_->name(); }

QColor ChartSeries::color() const
{
    return kind_ == Kind::Line ? graph_->pen().color() : graph_->scatterStyle().brush().color();
}

int ChartSeries::width() const { return graph_->pen().width(); }

void ChartSeries::setTable(data::CurveTable* table, const std::string& yField)
{
    if (table_)
        table_->removeObserver(this);
    table_ = table;
    yField_ = table ? table->field(yField) : -1;
    if (table_)
        table_->addObserver(this);
    tableChanged();
}

void ChartSeries::setOrder(Order order)
{
    order_ = order;
    tableChanged();
}

void ChartSeries::clear()
{
    graph_->data()->clear();
    stale_ = false;
    chart_.scheduleRedraw();
}

void ChartSeries::setVisible(bool visible)
{
    graph_->setVisible(visible);
    chart_.scheduleRedraw();
}

bool ChartSeries::isVisible() const { return graph_->visible(); }

int ChartSeries::pointCount()
{
    refill();
    return graph_->data()->size();
}

double ChartSeries::x(int i)
{
    refill();
    return graph_->data()->at(i)->key;
}

double ChartSeries::y(int i)
{
    refill();
    return graph_->data()->at(i)->value;
}

void ChartSeries::tableChanged()
{
    stale_ = true;
    chart_.scheduleRedraw();
}

void ChartSeries::refill()
{
    if (!stale_)
        return;
    stale_ = false;
    QVector<QCPGraphData> points;
    if (table_ && table_->isOpen()) {
        const int n = table_->rowCount();
        points.reserve(n);
        constexpr int ageField = 0; // the table's ordering field
        for (int row = 0; row < n; ++row) {
            if (table_->isNull(row, ageField))
                continue;
            // An empty value leaves a gap rather than a point at zero.
            const double v = table_->isNull(row, yField_) ? std::numeric_limits<double>::quiet_NaN()
                                                          : table_->value(row, yField_);
            points.push_back(QCPGraphData(table_->value(row, ageField), v));
        }
    }
    if (order_ == Order::SortedByX)
        std::stable_sort(points.begin(), points.end(), lessByKey);
    // Rows come in ascending Age, so both orders are already sorted by key; the
    // container is told so and keeps equal ages in the order given.
    graph_->data()->set(points, true);
}

// ---- axis -------------------------------------------------------------------------

ChartAxis::ChartAxis(DBChart& chart, QCPAxis* axis) : chart_(chart), axis_(axis) {}

void ChartAxis::setAutomatic(bool automatic)
{
    automatic_ = automatic;
    apply();
}

void ChartAxis::setMinimum(double value)
{
    // With automatic scaling the limits to check against are those of the data now.
    if (automatic_)
        chart_.refreshData();
    if (value > max_)
        throw ChartError(text::AxisMinimumAboveMaximum);
    min_ = value;
    apply();
}

void ChartAxis::setMaximum(double value)
{
    if (automatic_)
        chart_.refreshData();
    if (value < min_)
        throw ChartError(text::AxisMaximumBelowMinimum);
    max_ = value;
    apply();
}

void ChartAxis::setLogarithmic(bool logarithmic)
{
    if (logarithmic && !log_) {
        double lowest = min_;
        if (automatic_) {
            bool found = false;
            for (int i = 0; i < chart_.seriesCount(); ++i) {
                ChartSeries& s = chart_.series(i);
                s.refill();
                if (!s.isVisible())
                    continue;
                bool any = false;
                const QCPRange r = s.graph()->getValueRange(any, QCP::sdBoth);
                if (any) {
                    lowest = found ? std::min(lowest, r.lower) : r.lower;
                    found = true;
                }
            }
            if (!found)
                lowest = 1.0;
        }
        if (!(lowest > 0.0))
            throw ChartError(text::AxisLogNeedsPositive);
    }
    log_ = logarithmic;
    if (log_) {
        axis_->setScaleType(QCPAxis::stLogarithmic);
        axis_->setTicker(QSharedPointer<QCPAxisTicker>(new PatternTicker<QCPAxisTickerLog>));
    } else {
        axis_->setScaleType(QCPAxis::stLinear);
        axis_->setTicker(QSharedPointer<QCPAxisTicker>(new PatternTicker<QCPAxisTicker>));
    }
    apply();
}

void ChartAxis::setTitle(const QString& title)
{
    axis_->setLabel(title);
    chart_.scheduleRedraw();
}

QString ChartAxis::title() const { return axis_->label(); }

void ChartAxis::apply()
{
    if (!automatic_)
        axis_->setRange(min_, max_);
    chart_.scheduleRedraw();
}

// ---- chart --------------------------------------------------------------------------

DBChart::DBChart(QWidget* parent) : QCustomPlot(parent), left_(*this, yAxis)
{
    setBackground(Qt::white);
    legend->setVisible(true);
    legend->setBrush(Qt::white);
    // The legend stands right of the plot, so it never hides a curve.
    axisRect()->insetLayout()->take(legend);
    auto* side = new QCPLayoutGrid;
    plotLayout()->addElement(0, 1, side);
    plotLayout()->setColumnStretchFactor(1, 0.001);
    side->addElement(0, 0, legend);
    side->addElement(1, 0, new QCPLayoutElement(this)); // takes the height the legend leaves
    side->setRowStretchFactor(0, 0.001);
    side->setMargins(QMargins(0, 12, 8, 0));
    legend->setMargins(QMargins(6, 4, 6, 4));
    legend->setLayer(QStringLiteral("legend"));
    xAxis->setLabel(QStringLiteral("Age"));
    yAxis->setTicker(QSharedPointer<QCPAxisTicker>(new PatternTicker<QCPAxisTicker>));
    setNoAntialiasingOnDrag(true);
    connect(this, &QCustomPlot::beforeReplot, this, &DBChart::refreshData);
}

DBChart::~DBChart()
{
    // Series unbind from their tables before the plottables go.
    series_.clear();
}

ChartSeries& DBChart::addLineSeries(const QString& title, const QColor& color, int width)
{
    QCPGraph* g = addGraph(xAxis, yAxis);
    g->setName(title);
    g->setPen(QPen(color, width));
    g->setLineStyle(QCPGraph::lsLine);
    g->setScatterStyle(QCPScatterStyle(QCPScatterStyle::ssNone));
    g->setAdaptiveSampling(true);
    series_.push_back(std::unique_ptr<ChartSeries>(new ChartSeries(*this, g, ChartSeries::Kind::Line)));
    return *series_.back();
}

ChartSeries& DBChart::addPointSeries(const QString& title, ChartSeries::PointStyle style, int size, const QColor& color)
{
    const QColor c = color.isValid() ? color : Palette[series_.size() % std::size(Palette)];
    QCPGraph* g = addGraph(xAxis, yAxis);
    g->setName(title);
    g->setLineStyle(QCPGraph::lsNone);
    g->setPen(QPen(c));
    const auto shape = style == ChartSeries::PointStyle::Circle ? QCPScatterStyle::ssDisc : QCPScatterStyle::ssSquare;
    // `size` is measured from the centre, so a point is 2 * size + 1 pixels across.
    QCPScatterStyle scatter(shape, c, c, 2 * size + 1);
    if (style == ChartSeries::PointStyle::Circle)
        scatter.setPen(Qt::NoPen);
    g->setScatterStyle(scatter);
    g->setAdaptiveSampling(true);
    auto* s = new ChartSeries(*this, g, ChartSeries::Kind::Points);
    s->pointStyle_ = style;
    s->pointSize_ = size;
    series_.push_back(std::unique_ptr<ChartSeries>(s));
    return *series_.back();
}

ChartSeries* DBChart::series(const QString& title)
{
    for (auto& s : series_)
        if (s->title() == title)
            return s.get();
    return nullptr;
}

void DBChart::setBottomTitle(const QString& title)
{
    xAxis->setLabel(title);
    scheduleRedraw();
}

void DBChart::redraw()
{
    redrawPending_ = false;
    replot(QCustomPlot::rpImmediateRefresh);
}

void DBChart::scheduleRedraw()
{
    if (!isVisible()) {
        redrawPending_ = true;
        return;
    }
    replot(QCustomPlot::rpQueuedReplot);
}

void DBChart::showEvent(QShowEvent* event)
{
    QCustomPlot::showEvent(event);
    if (redrawPending_) {
        redrawPending_ = false;
        replot(QCustomPlot::rpQueuedReplot);
    }
}

void DBChart::refreshData()
{
    for (auto& s : series_)
        s->refill();
    xAxis->rescale(true);
    if (left_.automatic_) {
        bool found = false;
        QCPRange range;
        const QCP::SignDomain domain = left_.log_ ? QCP::sdPositive : QCP::sdBoth;
        for (auto& s : series_) {
            if (!s->isVisible())
                continue;
            bool any = false;
            const QCPRange r = s->graph()->getValueRange(any, domain);
            if (!any)
                continue;
            range = found ? QCPRange(std::min(range.lower, r.lower), std::max(range.upper, r.upper)) : r;
            found = true;
        }
        if (found) {
            left_.min_ = range.lower;
            left_.max_ = range.upper;
            yAxis->setRange(range);
        }
    }
}

} // namespace quorvane::ui
