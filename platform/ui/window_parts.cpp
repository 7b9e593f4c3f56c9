#include "platform/ui/window_parts.h"

#include <QLineEdit>
#include <QPushButton>

#include "data/curve_table.h"
#include "platform/ui/bound_chart.h"
#include "platform/ui/bound_grid.h"
#include "platform/ui/record_navigator.h"

namespace quorvane::ui {

namespace {

constexpr const char* TitleElementName = "chartTitle";

QCPTextElement* titleElement(const DBChart& chart)
{
    QCPLayoutGrid* layout = chart.plotLayout();
    for (int i = 0; i < layout->elementCount(); ++i)
        if (auto* t = qobject_cast<QCPTextElement*>(layout->elementAt(i)); t && t->objectName() == TitleElementName)
            return t;
    return nullptr;
}

} // namespace

void setChartTitle(DBChart& chart, const QString& title)
{
    QCPTextElement* element = titleElement(chart);
    if (!element) {
        chart.plotLayout()->insertRow(0);
        element = new QCPTextElement(&chart, title, QFont(chart.font().family(), 10, QFont::Bold));
        element->setObjectName(TitleElementName);
        chart.plotLayout()->addElement(0, 0, element);
    }
    element->setText(title);
    element->setVisible(true);
    chart.scheduleRedraw();
}

QString chartTitle(const DBChart& chart)
{
    const QCPTextElement* element = titleElement(chart);
    return element && element->visible() ? element->text() : QString();
}

void toggleSeries(QPushButton& button, DBChart& chart, ChartSeries& series, const char* showCaption,
                  const char* hideCaption)
{
    const bool show = !series.isVisible();
    series.setVisible(show);
    button.setText(QString::fromUtf8(show ? hideCaption : showCaption));
    chart.legend->clearItems();
    for (int i = 0; i < chart.seriesCount(); ++i)
        if (chart.series(i).isVisible())
            chart.series(i).graph()->addToLegend();
    chart.scheduleRedraw();
}

void TablePanel::bind(data::CurveTable& table) const
{
    grid->setTable(&table);
    navigator->setTable(&table);
    count->setText(QString::number(table.isOpen() ? table.rowCount() : 0));
}

void TablePanel::unbind() const
{
    grid->setTable(nullptr);
    navigator->setTable(nullptr);
    count->clear();
}

} // namespace quorvane::ui
