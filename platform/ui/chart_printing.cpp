#include "platform/ui/chart_printing.h"

#include <QPageLayout>
#include <QPainter>
#include <QPixmap>
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

    // Drawn at the chart's own size in screen units, three times as fine, and
    // the image scaled onto the page. Drawn straight onto the printer, fonts
    // given in points would be sized for the printer's resolution and then
    // scaled again with the plot; an image also keeps a print of 65,535 points
    // small where a vector page would carry every one of them.
    QPainter painter;
    if (!painter.begin(&printer))
        throw Error(text::PrinterNotStarted);
    const QRect page = painter.viewport();
    // The chart's width on screen, and the height that fills the page.
    const int w = std::max(chart.width(), 846);
    const int h = std::max(1, static_cast<int>(w * double(page.height()) / std::max(1, page.width())));
    constexpr double Fineness = 3.0;
    const QPixmap image = chart.toPixmap(w, h, Fineness);
    painter.setRenderHint(QPainter::SmoothPixmapTransform);
    painter.drawPixmap(QRectF(page), image, QRectF(image.rect()));
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
