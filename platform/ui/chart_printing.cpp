#include "platform/ui/chart_printing.h"

#include <QPageLayout>
#include <QPainter>
#include <QPrinter>
#include <QPrinterInfo>

#include "platform/errors.h"
#include "platform/ui/application.h"
#include "platform/ui/bound_chart.h"
#include "platform/ui/dialogs.h"

namespace quorvane::ui {

namespace text {
inline constexpr const char* PrinterNotStarted = "Printing could not be started";
}

void printChart(DBChart& chart, QPrinter& printer)
{
    const QPageLayout::Orientation previous = printer.pageLayout().orientation();
    // The orientation must be set before the painter begins, or the first page
    // keeps the old one.
    printer.setPageOrientation(QPageLayout::Landscape);
    struct Restore {
        QPrinter& p;
        QPageLayout::Orientation o;
        ~Restore() { p.setPageOrientation(o); }
    } restore{printer, previous};

    QCPPainter painter;
    if (!painter.begin(&printer))
        throw Error(text::PrinterNotStarted);
    painter.setMode(QCPPainter::pmVectorized);
    painter.setMode(QCPPainter::pmNoCaching);
    const QRect page = painter.viewport();
    // Drawn at the chart's own pixel size and scaled to the page, so fonts and
    // line widths keep their proportions.
    const int w = std::max(chart.width(), 846);
    const int h = std::max(chart.height(), 400);
    const double scale = std::min(page.width() / double(w), page.height() / double(h));
    painter.scale(scale, scale);
    chart.toPainter(&painter, w, h);
    painter.end();
}

void printChartOnAppPrinter(QWidget* parent, DBChart& chart)
{
    QPrinter& printer = appPrinter();
    // A printer object made where no printer is installed falls back to PDF
    // output with no file: that file is asked for each time.
    const bool needsFile = printer.outputFormat() == QPrinter::PdfFormat
                               ? printer.outputFileName().isEmpty()
                               : QPrinterInfo::availablePrinters().isEmpty();
    if (!needsFile) {
        printChart(chart, printer);
        return;
    }
    FileDialogOptions options;
    options.title = QStringLiteral("Print to PDF");
    options.filter = QStringLiteral("PDF|*.pdf");
    options.defaultSuffix = QStringLiteral("pdf");
    options.fileName = QStringLiteral("chart.pdf");
    const std::optional<QString> file = dialogs().saveFile(parent, options);
    if (!file)
        return;
    struct Restore {
        QPrinter& p;
        QPrinter::OutputFormat format;
        QString name;
        ~Restore()
        {
            p.setOutputFormat(format);
            p.setOutputFileName(name);
        }
    } restore{printer, printer.outputFormat(), printer.outputFileName()};
    printer.setOutputFormat(QPrinter::PdfFormat);
    printer.setOutputFileName(*file);
    printChart(chart, printer);
}

void printerSetup(QWidget* parent) { dialogs().printerSetup(parent, appPrinter()); }

} // namespace quorvane::ui
